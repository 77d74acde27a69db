// The real program: packed by the real packer, played headless with screen captures, and
// played on the SDL backend under a virtual X server: transitions seen on the X screen,
// termination signals, a preview whose host goes away, and no display at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/child_process.h"
#include "../common/private_dir.h"
#include "../common/xvfb_desktop.h"

#if defined(LUMETRA_SCR_PATH) && defined(LUMETRA_PACK_PATH)

namespace fs = std::filesystem;
using lumetra_test::PrivateDir;
using lumetra_test::Program;
using lumetra_test::XServer;
using lumetra_test::XwdImage;
using Clock = std::chrono::steady_clock;

namespace {

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// 'r', 'g' or 'b' for a pure colour, else '?'.
char Classify(uint32_t rgb) {
    int r = static_cast<int>(rgb >> 16 & 255), g = static_cast<int>(rgb >> 8 & 255), b = static_cast<int>(rgb & 255);
    if (r > 230 && g < 30 && b < 30) return 'r';
    if (g > 230 && r < 30 && b < 30) return 'g';
    if (b > 230 && r < 30 && g < 30) return 'b';
    return '?';
}

// The colour at a point of a picture file, as ImageMagick reads it: 'r', 'g', 'b' or '?'.
char ColourAt(const std::string& file, int x, int y) {
    std::string cmd = "/usr/bin/convert '" + file + "' -format '%[fx:int(255*p{" + std::to_string(x) + "," +
                      std::to_string(y) + "}.r)] %[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(y) +
                      "}.g)] %[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(y) + "}.b)]' info:";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return '?';
    int r = -1, g = -1, b = -1;
    if (fscanf(p, "%d %d %d", &r, &g, &b) != 3) r = -1;
    pclose(p);
    if (r < 0 || g < 0 || b < 0) return '?';
    return Classify(static_cast<uint32_t>((r << 16) | (g << 8) | b));
}

std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Executable : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
        ASSERT_TRUE(dir_.Ok());
        tmp_ = dir_ / "tmp";
        fs::create_directories(tmp_);
        show_ = dir_ / "show.scr";
    }

    // Packs a show of the test pictures named (or files of the private folder) with the
    // options given.
    void Pack(const std::string& options, const std::vector<std::string>& pictures) {
        std::string cmd =
            std::string(LUMETRA_PACK_PATH) + " --player " + LUMETRA_SCR_PATH + " -o " + show_ + " " + options;
        for (const auto& p : pictures) cmd += " '" + p + "'";
        ASSERT_EQ(Shell(cmd + " >/dev/null"), 0) << cmd;
    }
    void PackRgb(const std::string& options = "--interval 1000 --effect-interval 400 --effect 45 --no-fader") {
        const std::string data = LUMETRA_TEST_DATA;
        Pack(options + " --music " + data + "/tone.wav", {data + "/red.jpg", data + "/green.jpg", data + "/blue.jpg"});
    }

    // The environment of a run on the X server given ("" : headless, on the real clock).
    std::map<std::string, std::string> Env(const std::string& display) const {
        if (!display.empty()) return lumetra_test::SdlProgramEnv(display, tmp_);
        return {{"TMPDIR", tmp_},
                {"LUMETRA_AUDIO", "null"},
                {"SDL_AUDIODRIVER", "dummy"},
                {"LUMETRA_CLOCK", "real"},
                {"LUMETRA_INPUT", ""},
                {"LUMETRA_DISPLAY", "headless"},
                {"LUMETRA_SCREEN", "320x240"}};
    }

    bool TmpEmpty() const { return fs::is_empty(tmp_); }

    // Sends the signal to the running program, which must then end as on a key press:
    // through the window's own close path, with exit code 0 and nothing left behind. A
    // program whose windows do not close is ended by the signal itself once the grace period
    // is over (win::kTerminationGraceMs), so exit code 0 is the sign of the close path; the
    // wait for the end is only bounded against a hang.
    void ExpectEndsLikeAKeyOn(Program& p, int signo) {
        ASSERT_TRUE(p.Signal(signo));
        ASSERT_TRUE(p.WaitEnd(60000));
        EXPECT_TRUE(p.ExitedWith(0)) << Describe(p.Status());
        EXPECT_TRUE(TmpEmpty());
    }

    PrivateDir dir_{"lumetra_exe"};
    std::string tmp_;
    std::string show_;
};

// Waits until the screen's centre shows `colour` ('r', 'g', 'b'); false after `ms`.
bool WaitForColour(const std::string& display, char colour, int x, int y, int ms) {
    return lumetra_test::WaitForScreen(display, ms, [&](const XwdImage& img) {
        return x < img.width && y < img.height && Classify(img.At(x, y)) == colour;
    });
}

}  // namespace

TEST_F(Executable, PlaysHeadlessWithCapturesAndEndsOnAKey) {
    PackRgb();
    const std::string captures = dir_ / "cap";
    fs::create_directories(captures);
    // The file opens at once, then 500 ms pass; each slide stands 1000 + 1.2 x 400 ms.
    int rc =
        Shell("TMPDIR=" + tmp_ +
              " LUMETRA_DISPLAY=headless LUMETRA_CLOCK=virtual LUMETRA_SCREEN=320x240 LUMETRA_CAPTURE_DIR=" + captures +
              " LUMETRA_CAPTURE_EVERY_MS=250 LUMETRA_INPUT='5000 key 32' timeout 120 " + show_ + " /s");
    EXPECT_EQ(rc, 0);
    std::string seen;
    for (const char* f : {"00001000", "00001750", "00002250", "00003250", "00003750", "00004750"})
        seen += ColourAt(captures + "/" + f + ".png", 160, 120);
    EXPECT_EQ(seen, "rrggbb");
    // The key at 5000 ms ended the program.
    EXPECT_FALSE(fs::exists(captures + "/00006000.png"));
    // Nothing is left in the temporary folder.
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(Executable, AboutBoxAndPreviewSwitches) {
    PackRgb();
    const std::string env = "TMPDIR=" + tmp_ + " LUMETRA_DISPLAY=headless LUMETRA_CLOCK=virtual ";
    // "/p" alone ends at once; "s" (one character) and "/c" show the About box, closed here by Escape.
    EXPECT_EQ(Shell(env + "timeout 60 " + show_ + " /p"), 0);
    for (const char* arg : {"s", "/c", ""})
        EXPECT_EQ(Shell(env + "LUMETRA_INPUT='1000 key 27' timeout 60 " + show_ + " " + arg), 0) << arg;
    // A preview handle that is not a number ends the program with the conversion error.
    EXPECT_NE(Shell(env + "timeout 60 " + show_ + " /p notanumber"), 0);
}

// Without a display the show and the preview say so and end, instead of playing unseen;
// asking for headless keeps the headless screen.
TEST_F(Executable, WithoutADisplayTheShowAndThePreviewSaySoAndFail) {
    PackRgb();
    // A display nobody serves: far above the numbers the tests' own servers take (they count
    // up from 0), with no server's lock or socket behind it.
    std::string stale;
    for (int n = 4000; n < 5000 && stale.empty(); ++n)
        if (!fs::exists("/tmp/.X" + std::to_string(n) + "-lock") && !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            stale = ":" + std::to_string(n);
    ASSERT_FALSE(stale.empty());
    struct Case {
        std::string display;  // "" : DISPLAY unset
        std::string backend;  // LUMETRA_DISPLAY ("" : unset)
        std::vector<std::string> args;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"", "", {"/s"}, "DISPLAY is not set"},
        {"", "sdl", {"/s"}, "DISPLAY is not set"},
        {stale, "", {"/s"}, "cannot open X display '" + stale + "'"},
        {stale, "sdl", {"/p", "12345"}, "cannot open X display '" + stale + "'"},
        {"", "", {"/p", "12345"}, "DISPLAY is not set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("DISPLAY='" + c.display + "' LUMETRA_DISPLAY='" + c.backend + "' " + c.args[0]);
        auto env = Env("");
        env["DISPLAY"] = c.display;
        env["WAYLAND_DISPLAY"] = "";
        env["LUMETRA_DISPLAY"] = c.backend;
        const std::string err = dir_ / "stderr.txt";
        std::vector<std::string> args{show_};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Program p(args, env, err);
        ASSERT_TRUE(p.WaitEnd(30000)) << "the program played on without a display";
        EXPECT_TRUE(p.ExitedWith(2)) << Describe(p.Status());
        EXPECT_NE(ReadFile(err).find("lumetra: no display: " + c.why + "\n"), std::string::npos) << ReadFile(err);
        EXPECT_TRUE(TmpEmpty());
    }
    // Headless asked for: the show plays (and a key ends it).
    auto env = Env("");
    env["DISPLAY"] = "";
    env["LUMETRA_CLOCK"] = "virtual";
    env["LUMETRA_INPUT"] = "2000 key 32";
    Program p({show_, "/s"}, env);
    ASSERT_TRUE(p.WaitEnd(60000));
    EXPECT_TRUE(p.ExitedWith(0)) << Describe(p.Status());
}

// A screensaver host ends its program with SIGTERM, a terminal with SIGINT or SIGHUP: the
// show ends as on a key press, with exit code 0 and nothing left behind.
TEST_F(Executable, TerminationSignalsEndTheHeadlessShowLikeAKey) {
    PackRgb();
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signo));
        Program p({show_, "/s"}, Env(""));
        // Playing: the music track was written to the temporary folder.
        auto end = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < end && p.Running() && fs::is_empty(tmp_))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ASSERT_TRUE(p.Running()) << Describe(p.Status());
        ExpectEndsLikeAKeyOn(p, signo);
    }
}

// A signal at any moment of the start-up leaves nothing behind: the program either ends
// before it had written anything, or closes its window once it has one, or runs its exit
// cleanups when start-up outlasts the grace period.
TEST_F(Executable, ASignalDuringStartUpLeavesNoFiles) {
    PackRgb();
    for (int delayMs : {0, 5, 20, 60, 150, 400}) {
        SCOPED_TRACE("SIGTERM after " + std::to_string(delayMs) + " ms");
        Program p({show_, "/s"}, Env(""));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        p.Signal(SIGTERM);
        ASSERT_TRUE(p.WaitEnd(30000)) << "still running after SIGTERM";
        EXPECT_TRUE(p.ExitedWith(0) || p.KilledBy(SIGTERM)) << Describe(p.Status());
        EXPECT_TRUE(TmpEmpty());
    }
}

TEST_F(Executable, PlaysFullScreenOnTheDesktopAndEndsOnAKey) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    PackRgb();
    XServer x;
    ASSERT_TRUE(x.Start(400, 300)) << "no virtual X server could start";
    Program p({show_, "/s"}, Env(x.Display()));
    // The first slide (red) fills the screen once the program has started.
    EXPECT_TRUE(WaitForColour(x.Display(), 'r', 200, 150, 30000));
    EXPECT_TRUE(WaitForColour(x.Display(), 'r', 2, 2, 5000));  // 64x48 fits 400x300 exactly: full screen
    lumetra_test::XdoTool(x.Display(), "key space");
    ASSERT_TRUE(p.WaitEnd(10000)) << "the program did not end on the key press";
    EXPECT_TRUE(p.ExitedWith(0)) << Describe(p.Status());
    EXPECT_TRUE(TmpEmpty());
}

// A camera-sized slide reduced to the screen: the fit runs in bands over the processor's
// cores, and the screen must show one seamless picture, the four quadrants meeting in the
// middle, nothing shifted or left out at the bands' edges.
TEST_F(Executable, ShowsALargeSlideFittedOnTheDesktop) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    const std::string slide = dir_ / "quadrants.jpg";
    ASSERT_EQ(Shell("/usr/bin/convert -size 1600x1200 xc:blue -fill red -draw 'rectangle 0,0 799,599' -fill lime "
                    "-draw 'rectangle 800,0 1599,599' -draw 'rectangle 0,600 799,1199' -quality 95 '" +
                    slide + "'"),
              0);
    Pack("--interval 60000 --effect 45 --no-fader", {slide});
    XServer x;
    ASSERT_TRUE(x.Start(800, 600)) << "no virtual X server could start";
    Program p({show_, "/s"}, Env(x.Display()));
    ASSERT_TRUE(WaitForColour(x.Display(), 'r', 200, 150, 30000)) << "the slide did not appear";
    struct Point {
        int x, y;
        char colour;
    } points[] = {{600, 150, 'g'}, {200, 450, 'g'}, {600, 450, 'b'}, {396, 296, 'r'}, {404, 296, 'g'},
                  {396, 304, 'g'}, {404, 304, 'b'}, {1, 1, 'r'},     {798, 598, 'b'}};
    for (const Point& pt : points)
        EXPECT_TRUE(WaitForColour(x.Display(), pt.colour, pt.x, pt.y, 5000)) << pt.x << "," << pt.y;
    lumetra_test::XdoTool(x.Display(), "key space");
    ASSERT_TRUE(p.WaitEnd(10000)) << "the program did not end on the key press";
    EXPECT_TRUE(p.ExitedWith(0)) << Describe(p.Status());
    EXPECT_TRUE(TmpEmpty());
}

// On the desktop SDL must not swallow the signals: each ends the show (here while the
// transitions run back to back) with exit code 0 and the files removed.
TEST_F(Executable, TerminationSignalsEndTheShowOnTheDesktop) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    PackRgb("--interval 100 --effect-interval 600 --effect 0 --no-fader");
    XServer x;
    ASSERT_TRUE(x.Start(400, 300));
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signo));
        Program p({show_, "/s"}, Env(x.Display()));
        ASSERT_TRUE(WaitForColour(x.Display(), 'g', 200, 150, 30000)) << "the show did not reach its second slide";
        ExpectEndsLikeAKeyOn(p, signo);
    }
}

// The preview draws into the host's window and ends (exit code 0) when the host destroys
// that window, or on SIGTERM.
TEST_F(Executable, PreviewEndsWhenItsHostWindowGoesAway) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    PackRgb();
    XServer x;
    ASSERT_TRUE(x.Start(400, 300));
    for (bool destroyHost : {true, false}) {
        SCOPED_TRACE(destroyHost ? "host destroyed" : "SIGTERM");
        lumetra_test::ForeignXWindow host(x.Display(), 100, 80, 180, 136, 0x0000FF);
        ASSERT_NE(host.Id(), 0u);
        XwdImage before;
        ASSERT_TRUE(lumetra_test::Screenshot(x.Display(), &before));
        ASSERT_EQ(before.At(190, 148), 0x0000FFu);
        Program p({show_, "/p", std::to_string(host.Id())}, Env(x.Display()));
        // The preview picture covers the host's blue.
        bool drawn = false;
        auto end = Clock::now() + std::chrono::seconds(30);
        while (!drawn && Clock::now() < end && p.Running()) {
            XwdImage img;
            drawn = lumetra_test::Screenshot(x.Display(), &img) && img.At(190, 148) != 0x0000FFu;
            if (!drawn) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(drawn) << "the preview never drew into its host";
        // The end itself is what is waited for (bounded only against a hang): a preview that
        // missed its host's end would run on until the bound, and one that missed its close
        // request would be ended by the signal after the grace period, not with exit code 0.
        if (destroyHost)
            host.Destroy();
        else
            p.Signal(SIGTERM);
        ASSERT_TRUE(p.WaitEnd(60000)) << "the preview outlived its host";
        EXPECT_TRUE(p.ExitedWith(0)) << Describe(p.Status());
        EXPECT_TRUE(TmpEmpty());
    }
}

// ---------------------------------------------------------------- transitions on the X screen

namespace {

struct EffectCase {
    const char* name;
    int index;
};
void PrintTo(const EffectCase& c, std::ostream* os) { *os << c.name << " (effect " << c.index << ")"; }

// One screenshot: when it was taken (ms since the program started), a digest of all its
// pixels, and whether any sampled point is black (the desktop or the loading window).
struct Shot {
    double ms = 0;
    size_t digest = 0;
    bool blackSeen = false;
};

Shot Take(const std::string& display, Clock::time_point origin, bool* ok) {
    Shot s;
    auto before = Clock::now();
    XwdImage img;
    *ok = lumetra_test::Screenshot(display, &img);
    auto after = Clock::now();
    s.ms = std::chrono::duration<double, std::milli>((before - origin) + (after - before) / 2).count();
    if (!*ok) return s;
    std::string pixels;
    pixels.reserve(static_cast<size_t>(img.width) * img.height * 3);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            uint32_t c = img.At(x, y);
            pixels.append(reinterpret_cast<const char*>(&c), 3);
            if (x % 20 == 10 && y % 20 == 10 && (c >> 16 & 255) + (c >> 8 & 255) + (c & 255) < 30) s.blackSeen = true;
        }
    s.digest = std::hash<std::string>{}(pixels);
    return s;
}

// A run of screenshots that are all the same.
struct ShotRun {
    size_t first = 0, last = 0;  // indexes of the shots
};

class DesktopTransition : public Executable, public ::testing::WithParamInterface<EffectCase> {};

}  // namespace

// A 3000 ms transition between two pictures, seen on the X screen every 100 ms: the old
// picture before, frames that are neither picture during, the new one after, and the
// change lasts its duration.
TEST_P(DesktopTransition, ShowsItsFramesOnTheXScreenForItsDuration) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    constexpr double kDuration = 3000, kStep = 100, kTolerance = 150;
    // Two pictures with detail everywhere (so that even a fine pixelation differs from them).
    const std::string a = dir_ / "a.jpg", b = dir_ / "b.jpg";
    ASSERT_EQ(Shell("/usr/bin/convert -size 400x300 gradient:'#ff2000-#2000ff' '" + a + "'"), 0);
    ASSERT_EQ(Shell("/usr/bin/convert -size 300x400 gradient:'#20ff20-#ffff20' -rotate 90 '" + b + "'"), 0);
    Pack("--interval 2500 --effect-interval 3000 --effect " + std::to_string(GetParam().index) + " --no-fader", {a, b});

    // One run of the show, watched until the second picture has stood for a while. A busy
    // machine may stretch a capture step around either end of the transition, and then the
    // bounds below say less: such a run is watched again (up to three times), since what is
    // measured is the program, not the capture.
    std::vector<Shot> shots;
    std::vector<ShotRun> runs;
    size_t lastOld = 0, firstNew = 0;
    for (int attempt = 1;; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        shots.clear();
        runs.clear();
        XServer x;
        ASSERT_TRUE(x.Start(400, 300));
        auto origin = Clock::now();
        Program p({show_, "/s"}, Env(x.Display()));
        auto end = origin + std::chrono::seconds(90);
        int longRuns = 0;
        while (Clock::now() < end && longRuns < 2 && p.Running()) {
            auto next = Clock::now() + std::chrono::milliseconds(static_cast<int>(kStep));
            bool ok = false;
            Shot s = Take(x.Display(), origin, &ok);
            if (ok) {
                shots.push_back(s);
                if (!runs.empty() && shots[runs.back().last].digest == s.digest)
                    runs.back().last = shots.size() - 1;
                else
                    runs.push_back(ShotRun{shots.size() - 1, shots.size() - 1});
                longRuns = 0;
                for (const ShotRun& r : runs)
                    if (!shots[r.first].blackSeen && shots[r.last].ms - shots[r.first].ms >= 1000) ++longRuns;
            }
            std::this_thread::sleep_until(next);
        }
        p.Signal(SIGTERM);
        ASSERT_TRUE(p.WaitEnd(30000));
        EXPECT_TRUE(p.ExitedWith(0)) << Describe(p.Status());

        // The old picture: the first full-screen picture that stood for a second; the new
        // one: the next that did.
        auto standing = [&](const ShotRun& r) {
            return !shots[r.first].blackSeen && shots[r.last].ms - shots[r.first].ms >= 1000;
        };
        size_t oldRun = runs.size(), newRun = runs.size();
        for (size_t i = 0; i < runs.size(); ++i) {
            if (!standing(runs[i])) continue;
            if (oldRun == runs.size())
                oldRun = i;
            else if (shots[runs[i].first].digest != shots[runs[oldRun].first].digest) {
                newRun = i;
                break;
            }
        }
        ASSERT_LT(oldRun, runs.size()) << "the old picture never stood on the screen";
        ASSERT_LT(newRun, runs.size()) << "the new picture never stood on the screen";
        lastOld = runs[oldRun].last;
        firstNew = runs[newRun].first;
        ASSERT_GT(firstNew, lastOld);
        const bool stretched = shots[lastOld + 1].ms - shots[lastOld].ms > 3 * kStep ||
                               shots[firstNew].ms - shots[firstNew - 1].ms > 3 * kStep;
        if (!stretched) break;
        ASSERT_LT(attempt, 3) << "the machine never left the captures around the transition one step apart";
    }
    const size_t between = firstNew - lastOld - 1;
    // Frozen frames would show the old picture until the new one appears at once.
    ASSERT_GE(between, 10u) << "too few in-between frames seen";
    for (size_t i = lastOld + 1; i < firstNew; ++i) {
        EXPECT_NE(shots[i].digest, shots[lastOld].digest);
        EXPECT_NE(shots[i].digest, shots[firstNew].digest);
    }
    // The transition began after the last old shot and by the first changed one, and ended
    // at the earliest with the last changed shot and before the first new one.
    const double shortest = shots[firstNew - 1].ms - shots[lastOld + 1].ms;
    const double longest = shots[firstNew].ms - shots[lastOld].ms;
    EXPECT_LE(shortest, kDuration + kTolerance);
    EXPECT_GE(longest, kDuration - kTolerance);
}

INSTANTIATE_TEST_SUITE_P(Effects, DesktopTransition,
                         ::testing::Values(EffectCase{"Blend", 0}, EffectCase{"Wipe", 44}, EffectCase{"Page", 17},
                                           EffectCase{"Fuse", 11}, EffectCase{"Pixelate", 20}, EffectCase{"Slide", 33}),
                         [](const ::testing::TestParamInfo<EffectCase>& info) { return std::string(info.param.name); });

#endif
