// The real program and the files of its runs: several shows at once in one temporary
// folder, libraries planted where the player once wrote its own, documents that cannot be
// read, inputs and a termination signal that end the show while a long transition runs
// (headless and on the SDL backend under a virtual X server), and the memory a huge effect
// rectangle costs.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/private_dir.h"
#include "../common/xvfb_desktop.h"
#include "FileProbes.h"

#if defined(LUMETRA_SCR_PATH) && defined(LUMETRA_PACK_PATH)

extern char** environ;

namespace fs = std::filesystem;
using lumetra_test::PrivateDir;
using lumetra_test::XServer;
using player_test::ModeOf;
using player_test::Names;
using player_test::PictureColour;
using player_test::ReadFile;

namespace {

using Clock = std::chrono::steady_clock;
using Env = std::map<std::string, std::string>;

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts `program` with `args` in this environment plus `env`. The child's environment is
// built before the fork: the child only execs.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const Env& env) {
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (!env.count(v.substr(0, v.find('=')))) vars.push_back(v);
    }
    for (const auto& [k, v] : env) vars.push_back(k + "=" + v);
    std::vector<char*> envp, argv;
    for (auto& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        // A show a test kills or crashes leaves no core file behind.
        const rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

struct Ended {
    bool exited = false;
    int code = -1;
    int signal = 0;
    bool timedOut = false;
    long maxRssKb = 0;
    double seconds = 0;  // from the call of Wait
};

// Whether the child has not ended yet (it is not reaped here).
bool Running(pid_t pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
}

// Waits for the child (killing it after `limit`) and reports how it ended.
Ended Wait(pid_t pid, std::chrono::seconds limit) {
    Ended r;
    const auto start = Clock::now();
    int status = 0;
    rusage ru{};
    for (;;) {
        pid_t got = wait4(pid, &status, WNOHANG, &ru);
        if (got == pid) break;
        if (Clock::now() - start > limit) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &ru);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.exited = WIFEXITED(status);
    r.code = r.exited ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.maxRssKb = ru.ru_maxrss;
    return r;
}

// The children a test started: whatever a failed assertion leaves running is killed when
// the test ends.
class Children {
public:
    Children() = default;
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;
    ~Children() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    pid_t Start(const std::string& program, const std::vector<std::string>& args, const Env& env) {
        pid_t pid = Spawn(program, args, env);
        if (pid > 0) pids_.push_back(pid);
        return pid;
    }
    Ended Wait(pid_t pid, std::chrono::seconds limit) {
        std::erase(pids_, pid);
        return ::Wait(pid, limit);
    }

private:
    std::vector<pid_t> pids_;
};

std::string Describe(const Ended& e) {
    if (e.timedOut) return "did not end in time";
    if (e.signal) return "killed by signal " + std::to_string(e.signal);
    return "exit status " + std::to_string(e.code);
}

// 'r', 'g', 'k' (black) for a nearly pure colour, '?' for any other (or none).
char Kind(int64_t rgb) {
    if (rgb < 0) return '?';
    const int r = static_cast<int>(rgb >> 16 & 255), g = static_cast<int>(rgb >> 8 & 255),
              b = static_cast<int>(rgb & 255);
    if (r > 230 && g < 30 && b < 30) return 'r';
    if (g > 230 && r < 30 && b < 30) return 'g';
    if (r < 16 && g < 16 && b < 16) return 'k';
    return '?';
}

class RunFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(box_.Ok());
        dir_ = box_.Path();
        fs::create_directories(tmp());
    }

    fs::path tmp() const { return dir_ / "tmp"; }
    std::string data(const char* name) const { return std::string(LUMETRA_TEST_DATA) + "/" + name; }

    // Packs a show of the given pictures with the packer's options.
    std::string Pack(const std::string& name, const std::string& options, const std::vector<std::string>& pictures) {
        std::string out = (dir_ / name).string();
        std::string cmd =
            std::string(LUMETRA_PACK_PATH) + " --player " + LUMETRA_SCR_PATH + " -o " + out + " " + options;
        for (const auto& p : pictures) cmd += " " + data(p.c_str());
        EXPECT_EQ(Shell(cmd + " >/dev/null"), 0) << cmd;
        return out;
    }
    // Packs a show from a project document whose <File> elements name the test pictures.
    std::string PackProject(const std::string& name, const std::string& document) {
        const fs::path doc = dir_ / (name + ".xml");
        std::ofstream(doc, std::ios::binary) << document;
        std::string out = (dir_ / name).string();
        std::string cmd = std::string(LUMETRA_PACK_PATH) + " --player " + LUMETRA_SCR_PATH + " -o " + out +
                          " --project " + doc.string();
        EXPECT_EQ(Shell(cmd + " >/dev/null"), 0) << cmd;
        return out;
    }

    // Headless, on the temporary folder of this test, without sound.
    Env Headless() const {
        return {{"TMPDIR", tmp().string()},
                {"LUMETRA_DISPLAY", "headless"},
                {"LUMETRA_SCREEN", "320x240"},
                {"LUMETRA_AUDIO", "null"},
                {"SDL_AUDIODRIVER", "dummy"}};
    }

    PrivateDir box_{"lumetra_run"};
    fs::path dir_;
};

}  // namespace

TEST_F(RunFolder, FourShowsAtOnceInOneTemporaryFolderEachKeepTheirOwnFiles) {
    const std::string show = Pack(
        "show.scr",
        "--interval 400 --effect-interval 300 --effect 0 --repeat-music --fader-in 500 --music " + data("tone.wav"),
        {"red.jpg", "green.jpg", "blue.jpg"});
    // The shows play until they are ended with the signal a screensaver host sends, so a
    // slow start on a loaded machine cannot end one before the others have started.
    Env env = Headless();
    Children children;
    std::vector<pid_t> shows;
    for (int i = 0; i < 4; ++i) shows.push_back(children.Start(show, {"/s"}, env));

    // While they play: one private folder each, with the libraries and the track folder.
    size_t mostAtOnce = 0;
    std::set<std::string> seen, modes, strays;
    const auto start = Clock::now();
    while (mostAtOnce < 4 && Clock::now() - start < std::chrono::seconds(120)) {
        size_t complete = 0;
        for (const std::string& name : Names(tmp())) {
            if (name.rfind("lumetra-", 0) != 0) strays.insert(name);
            const fs::path run = tmp() / name;
            if (fs::exists(run / "Bass.dll") && fs::exists(run / "BassWma.dll") && fs::exists(run / "music")) {
                ++complete;
                seen.insert(name);
                modes.insert(ModeOf(run));
            }
        }
        mostAtOnce = std::max(mostAtOnce, complete);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (pid_t pid : shows) kill(pid, SIGTERM);
    for (pid_t pid : shows) {
        Ended e = children.Wait(pid, std::chrono::seconds(120));
        EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
    }
    EXPECT_EQ(strays, std::set<std::string>{}) << "files outside the runs' own folders";
    EXPECT_EQ(mostAtOnce, 4u);
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(modes, std::set<std::string>{"700"});
    EXPECT_EQ(Names(tmp()), std::vector<std::string>{});
}

TEST_F(RunFolder, ALibraryPlantedInTheSharedFolderIsNeverLoadedNorTouched) {
    const fs::path marker = dir_ / "loaded.txt";
    // The planted object marks every process that loads it; the mark works.
    {
        const fs::path probe = dir_ / "probe.txt";
        setenv("LUMETRA_TEST_PLANT_MARKER", probe.c_str(), 1);
        void* h = dlopen(LUMETRA_PLANTED_MODULE, RTLD_NOW | RTLD_LOCAL);
        unsetenv("LUMETRA_TEST_PLANT_MARKER");
        ASSERT_NE(h, nullptr) << dlerror();
        dlclose(h);
        ASSERT_TRUE(fs::exists(probe));
    }
    const std::string planted = ReadFile(LUMETRA_PLANTED_MODULE);
    for (const char* name : {"Bass.dll", "BassWma.dll", "bass.dll", "basswma.dll"}) {
        fs::copy_file(LUMETRA_PLANTED_MODULE, tmp() / name);
        fs::permissions(tmp() / name, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    }
    const std::string show =
        Pack("show.scr", "--interval 500 --effect-interval 200 --effect 0 --repeat-music --music " + data("tone.wav"),
             {"red.jpg", "green.jpg"});
    Env env = Headless();
    env["LUMETRA_CLOCK"] = "virtual";
    env["LUMETRA_INPUT"] = "4000 key 32";
    env["LUMETRA_TEST_PLANT_MARKER"] = marker.string();
    Children children;
    Ended e = children.Wait(children.Start(show, {"/s"}, env), std::chrono::seconds(120));
    EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
    EXPECT_FALSE(fs::exists(marker));
    for (const char* name : {"Bass.dll", "BassWma.dll", "bass.dll", "basswma.dll"})
        EXPECT_EQ(ReadFile(tmp() / name), planted) << name;
    EXPECT_EQ(Names(tmp()), (std::vector<std::string>{"Bass.dll", "BassWma.dll", "bass.dll", "basswma.dll"}));
}

TEST_F(RunFolder, AShowWhoseDocumentFailsToLoadLeavesNothingInTheTemporaryFolder) {
    // The player with a document of the wrong kind appended.
    const fs::path show = dir_ / "broken.scr";
    {
        std::string bytes = ReadFile(LUMETRA_SCR_PATH);
        const uint64_t offset = bytes.size();
        bytes += "<Other><Slide><StartPos>0</StartPos></Slide></Other>";
        for (int i = 0; i < 8; ++i) bytes += static_cast<char>((offset >> (8 * i)) & 0xFF);
        std::ofstream(show, std::ios::binary) << bytes;
        fs::permissions(show, fs::perms::owner_all);
    }
    Env env = Headless();
    env["LUMETRA_INPUT"] = "10000 key 32";
    Children children;
    pid_t pid = children.Start(show.string(), {"/s"}, env);
    // The run's folder comes first; once the document has failed it is gone, while the
    // window still waits for the key.
    bool appeared = false, emptiedWhileRunning = false;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(10) && Running(pid)) {
        const bool empty = Names(tmp()).empty();
        if (!appeared) {
            appeared = !empty;
        } else if (empty) {
            emptiedWhileRunning = Running(pid);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Ended e = children.Wait(pid, std::chrono::seconds(60));
    EXPECT_TRUE(appeared);
    EXPECT_TRUE(emptiedWhileRunning);
    EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
    EXPECT_EQ(Names(tmp()), std::vector<std::string>{});
}

TEST_F(RunFolder, AKeyEndsASixtySecondTransitionWithinHalfASecondOfClock) {
    if (!fs::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string show =
        Pack("show.scr", "--interval 1000 --effect-interval 60000 --effect 0 --no-fader", {"red.jpg", "green.jpg"});
    const fs::path captures = dir_ / "cap";
    fs::create_directories(captures);
    Env env = Headless();
    env["LUMETRA_CLOCK"] = "virtual";
    env["LUMETRA_CAPTURE_DIR"] = captures.string();
    env["LUMETRA_CAPTURE_EVERY_MS"] = "250";
    env["LUMETRA_INPUT"] = "20000 key 32";
    Children children;
    Ended e = children.Wait(children.Start(show, {"/s"}, env), std::chrono::seconds(120));
    EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
    // The transition from red to green started at 1500 ms: at 19.75 s it is a third done.
    EXPECT_EQ(Kind(PictureColour((captures / "00001250.png").string(), 160, 120)), 'r');
    EXPECT_EQ(Kind(PictureColour((captures / "00019750.png").string(), 160, 120)), '?');
    int64_t last = -1;
    for (const std::string& name : Names(captures)) last = std::max<int64_t>(last, std::stoll(name.substr(0, 8)));
    EXPECT_GE(last, 19750);
    EXPECT_LT(last, 20500);
    EXPECT_EQ(Names(tmp()), std::vector<std::string>{});
}

TEST_F(RunFolder, ExitInputsEndALongTransitionOnTheDesktop) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is not installed";
    const std::string show =
        Pack("show.scr", "--interval 1000 --effect-interval 60000 --effect 0 --no-fader", {"red.jpg", "green.jpg"});
    struct Case {
        const char* name;
        std::vector<std::string> input;  // xdotool commands, a short pause between them
        int signal = 0;                  // or the signal a screensaver host ends it with
    };
    const Case cases[] = {
        {"key", {"key space"}},
        {"click", {"click 1"}},
        {"mouse movement", {"mousemove 100 100", "mousemove 140 130"}},
        {"termination signal", {}, SIGTERM},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        XServer x;
        ASSERT_TRUE(x.Start(400, 300)) << "no virtual X server could start";
        fs::remove_all(tmp());
        fs::create_directories(tmp());
        const Env env = lumetra_test::SdlProgramEnv(x.Display(), tmp().string());
        Children children;
        pid_t pid = children.Start(show, {"/s"}, env);
        // Red first, then the minute-long blend towards green.
        std::string seen;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(40) && Running(pid)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            lumetra_test::XwdImage shot;
            if (!lumetra_test::Screenshot(x.Display(), &shot) || shot.width <= 200 || shot.height <= 150) continue;
            char c = Kind(shot.At(200, 150));
            if (seen.empty() || seen.back() != c) seen += c;
            if (seen.find("r?") != std::string::npos) break;
        }
        ASSERT_NE(seen.find("r?"), std::string::npos) << "the transition was not seen on the screen: " << seen;
        for (const std::string& command : k.input) {
            lumetra_test::XdoTool(x.Display(), command);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        if (k.signal) kill(pid, k.signal);
        // The blend has most of its minute left: ending well within it is the input's doing.
        Ended e = children.Wait(pid, std::chrono::seconds(45));
        EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
        EXPECT_LT(e.seconds, 45.0);
        EXPECT_EQ(Names(tmp()), std::vector<std::string>{});
    }
}

namespace {

// Waits until a run folder in `tmp` holds the libraries and a track; its name, or "".
std::string WaitForPlayingRun(const fs::path& tmp, pid_t pid, const std::set<std::string>& others = {}) {
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(60) && Running(pid)) {
        for (const std::string& name : Names(tmp)) {
            if (others.count(name) || name.rfind("lumetra-", 0) != 0) continue;
            const fs::path run = tmp / name;
            if (fs::exists(run / "Bass.dll") && fs::exists(run / "BassWma.dll") && !Names(run / "music").empty())
                return name;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::string();
}

std::string Show(const std::string& name) { return "lumetra-" + name; }

}  // namespace

// A playing show that is killed or crashes cannot remove its folder; the next show does,
// and leaves nothing itself.
TEST_F(RunFolder, AKilledOrCrashedShowsFilesGoWithTheNextShow) {
    const std::string show =
        Pack("show.scr", "--interval 400 --effect-interval 300 --effect 0 --repeat-music --music " + data("tone.wav"),
             {"red.jpg", "green.jpg"});
    const struct {
        const char* name;
        int signal;
    } cases[] = {{"SIGKILL", SIGKILL}, {"SIGSEGV", SIGSEGV}, {"SIGABRT", SIGABRT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Env env = Headless();
        // The crash as a build without the memory checker meets it: the signal's own end.
        const char* asan = std::getenv("ASAN_OPTIONS");
        env["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":handle_segv=0:handle_abort=0";
        Children children;
        const pid_t pid = children.Start(show, {"/s"}, env);
        const std::string run = WaitForPlayingRun(tmp(), pid);
        ASSERT_NE(run, "") << "the show did not start its music";
        kill(pid, c.signal);
        const Ended e = children.Wait(pid, std::chrono::seconds(30));
        EXPECT_EQ(e.signal, c.signal) << Describe(e);
        ASSERT_EQ(Names(tmp()), std::vector<std::string>{run}) << "the killed show's folder stays until the next";

        Env next = Headless();
        next["LUMETRA_CLOCK"] = "virtual";
        next["LUMETRA_INPUT"] = "2000 key 32";
        const Ended n = children.Wait(children.Start(show, {"/s"}, next), std::chrono::seconds(120));
        EXPECT_TRUE(n.exited && n.code == 0) << Describe(n);
        EXPECT_EQ(Names(tmp()), std::vector<std::string>{});
    }
}

// A show that starts while another plays leaves the other's folder whole, and so it does
// with a folder whose owner lives, another user's folder and folders of other names.
TEST_F(RunFolder, AStartingShowLeavesLiveAndForeignFoldersAlone) {
    const std::string show =
        Pack("show.scr", "--interval 400 --effect-interval 300 --effect 0 --repeat-music --music " + data("tone.wav"),
             {"red.jpg", "green.jpg"});
    // Named for a live process (this test's), for a process that has ended but given to
    // another user (when the test may do that), and with no owner in the name at all.
    std::string selfStart;
    {
        std::ifstream stat("/proc/self/stat");
        std::string line;
        std::getline(stat, line);
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        std::string field;
        for (int index = 3; index <= 22 && fields >> field; ++index) selfStart = field;
    }
    std::vector<std::string> planted = {Show(std::to_string(getpid()) + "-" + selfStart + "-Live00"),
                                        Show("abc123")};
    pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    if (geteuid() == 0) planted.push_back(Show(std::to_string(ended) + "-1-Other0"));
    for (const std::string& name : planted) {
        fs::create_directory(tmp() / name);
        std::ofstream(tmp() / name / "Bass.dll") << "theirs";
    }
    if (geteuid() == 0) {
        const fs::path other = tmp() / planted.back();
        ASSERT_EQ(chown((other / "Bass.dll").c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(other.c_str(), 65534, 65534), 0);
    }

    Children children;
    const pid_t first = children.Start(show, {"/s"}, Headless());
    const std::set<std::string> plantedSet(planted.begin(), planted.end());
    const std::string firstRun = WaitForPlayingRun(tmp(), first, plantedSet);
    ASSERT_NE(firstRun, "");

    Env second = Headless();
    second["LUMETRA_CLOCK"] = "virtual";
    second["LUMETRA_INPUT"] = "2000 key 32";
    const Ended e = children.Wait(children.Start(show, {"/s"}, second), std::chrono::seconds(120));
    EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
    EXPECT_TRUE(Running(first));
    EXPECT_TRUE(fs::exists(tmp() / firstRun / "Bass.dll"));
    EXPECT_TRUE(fs::exists(tmp() / firstRun / "BassWma.dll"));
    EXPECT_TRUE(fs::is_directory(tmp() / firstRun / "music"));
    for (const std::string& name : planted) EXPECT_EQ(ReadFile(tmp() / name / "Bass.dll"), "theirs") << name;

    kill(first, SIGTERM);
    const Ended f = children.Wait(first, std::chrono::seconds(60));
    EXPECT_TRUE(f.exited && f.code == 0) << Describe(f);
    std::vector<std::string> left = planted;
    std::sort(left.begin(), left.end());
    EXPECT_EQ(Names(tmp()), left);
}

TEST_F(RunFolder, AHugeEffectRectangleCostsNoMoreMemoryThanTheWholeScreen) {
    auto document = [](const std::string& rectangle) {
        std::string d =
            "<LumetraProject><Settings><DefaultInterval>300</DefaultInterval>"
            "<DefaultEffectInterval>300</DefaultEffectInterval><FaderEnabled>0</FaderEnabled>" +
            rectangle + "</Settings>";
        for (const char* p : {"red.jpg", "green.jpg", "blue.jpg"})
            d += "<Slide><File>" + std::string(LUMETRA_TEST_DATA) + "/" + p +
                 "</File><Effect>0</Effect><TimeInterval>-1</TimeInterval><EffectInterval>-1</EffectInterval></Slide>";
        return d + "</LumetraProject>";
    };
    // The 64x48 slides fill the 640x480 screen ten times enlarged: a rectangle of 400
    // slide pixels is 4000 screen pixels wide.
    const std::string normal = PackProject("normal.scr", document(""));
    const std::string huge = PackProject(
        "huge.scr", document("<EffectL>0</EffectL><EffectT>0</EffectT><EffectR>400</EffectR><EffectB>400</EffectB>"));
    auto peak = [&](const std::string& show) {
        Env env = Headless();
        env["LUMETRA_SCREEN"] = "640x480";
        env["LUMETRA_CLOCK"] = "virtual";
        env["LUMETRA_INPUT"] = "4000 key 32";
        Children children;
        Ended e = children.Wait(children.Start(show, {"/s"}, env), std::chrono::seconds(120));
        EXPECT_TRUE(e.exited && e.code == 0) << Describe(e);
        return e.maxRssKb;
    };
    const long normalKb = peak(normal);
    const long hugeKb = peak(huge);
    ASSERT_GT(normalKb, 0);
    // Each of the transition's pictures at 4000x4000 would be 64 MB.
    EXPECT_LT(hugeKb, normalKb + normalKb / 5 + 16 * 1024) << "normal " << normalKb << " kB, huge " << hugeKb << " kB";
}

#endif
