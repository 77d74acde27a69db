// The real program: packed by the real packer, played headless with screen captures, and
// played on the SDL backend under a virtual X server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#if defined(LUMETRA_SCR_PATH) && defined(LUMETRA_PACK_PATH)

namespace fs = std::filesystem;

namespace {

bool Installed(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    if (r > 230 && g < 30 && b < 30) return 'r';
    if (g > 230 && r < 30 && b < 30) return 'g';
    if (b > 230 && r < 30 && g < 30) return 'b';
    return '?';
}

class Executable : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
        dir_ = fs::temp_directory_path() / ("lumetra_exe_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        show_ = (dir_ / "show.scr").string();
        const std::string data = LUMETRA_TEST_DATA;
        ASSERT_EQ(Shell(std::string(LUMETRA_PACK_PATH) + " --player " + LUMETRA_SCR_PATH + " -o " + show_ +
                      " --interval 1000 --effect-interval 400 --effect 45 --no-fader --music " + data + "/tone.wav " +
                      data + "/red.jpg " + data + "/green.jpg " + data + "/blue.jpg"),
                  0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string show_;
};

}  // namespace

TEST_F(Executable, PlaysHeadlessWithCapturesAndEndsOnAKey) {
    const std::string captures = (dir_ / "cap").string();
    fs::create_directories(captures);
    // The file opens at once, then 500 ms pass; each slide stands 1000 + 1.2 x 400 ms.
    int rc = Shell("TMPDIR=" + (dir_ / "tmp").string() +
                 " LUMETRA_DISPLAY=headless LUMETRA_CLOCK=virtual LUMETRA_SCREEN=320x240 LUMETRA_CAPTURE_DIR=" +
                 captures + " LUMETRA_CAPTURE_EVERY_MS=250 LUMETRA_INPUT='5000 key 32' timeout 120 " + show_ + " /s");
    EXPECT_EQ(rc, 0);
    std::string seen;
    for (const char* f : {"00001000", "00001750", "00002250", "00003250", "00003750", "00004750"})
        seen += ColourAt(captures + "/" + f + ".png", 160, 120);
    EXPECT_EQ(seen, "rrggbb");
    // The key at 5000 ms ended the program.
    EXPECT_FALSE(fs::exists(captures + "/00006000.png"));
    // Nothing is left in the temporary folder.
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(Executable, AboutBoxAndPreviewSwitches) {
    const std::string env = "TMPDIR=" + (dir_ / "tmp").string() + " LUMETRA_DISPLAY=headless LUMETRA_CLOCK=virtual ";
    // "/p" alone ends at once; "s" (one character) and "/c" show the About box, closed here by Escape.
    EXPECT_EQ(Shell(env + "timeout 60 " + show_ + " /p"), 0);
    for (const char* arg : {"s", "/c", ""})
        EXPECT_EQ(Shell(env + "LUMETRA_INPUT='1000 key 27' timeout 60 " + show_ + " " + arg), 0) << arg;
    // A preview handle that is not a number ends the program with the conversion error.
    EXPECT_NE(Shell(env + "timeout 60 " + show_ + " /p notanumber"), 0);
}

TEST_F(Executable, PlaysFullScreenOnTheDesktopAndEndsOnAKey) {
    if (!Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Installed("xwd") && Installed("xdotool"));
    std::string display;
    pid_t xvfb = -1;
    for (int n = 141; n < 190 && xvfb < 0; ++n) {
        if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock") || fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            continue;
        display = ":" + std::to_string(n);
        pid_t pid = fork();
        if (pid == 0) {
            execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "400x300x24", "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
                xvfb = pid;
                break;
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        }
        if (xvfb < 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    ASSERT_GT(xvfb, 0) << "no virtual X server could start";

    pid_t player = fork();
    if (player == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("LUMETRA_DISPLAY", "sdl", 1);
        setenv("LUMETRA_AUDIO", "null", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
        execl(show_.c_str(), show_.c_str(), "/s", nullptr);
        _exit(127);
    }
    // The first slide (red) fills the screen once the program has started.
    const std::string shot = (dir_ / "shot.png").string();
    char centre = '?', corner = '?';
    for (int i = 0; i < 60 && (centre != 'r' || corner != 'r'); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (Shell("xwd -root -silent -display " + display + " | /usr/bin/convert xwd:- " + shot + " 2>/dev/null") != 0)
            continue;
        centre = ColourAt(shot, 200, 150);
        corner = ColourAt(shot, 2, 2);
    }
    EXPECT_EQ(centre, 'r');
    EXPECT_EQ(corner, 'r');  // 64x48 fits 400x300 exactly: full screen
    Shell("DISPLAY=" + display + " xdotool key space");
    int status = -1;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(player, &status, WNOHANG) == player) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        status = -1;
    }
    if (status == -1) {
        kill(player, SIGKILL);
        waitpid(player, nullptr, 0);
        ADD_FAILURE() << "the program did not end on the key press";
    } else {
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

#endif
