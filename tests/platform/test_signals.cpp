// Termination signals: SIGTERM, SIGINT and SIGHUP become WM_CLOSE for the program's
// windows; a program that does not end within the grace period, or gets a second signal,
// still runs its exit cleanups and dies of the signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "../common/private_dir.h"
#include "platform/signals.h"

#ifdef LUMETRA_SIGNAL_PROBE

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The probe program with its stdout read line by line.
class Probe {
public:
    Probe(const std::string& mode, const std::string& file) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            setenv("LUMETRA_DISPLAY", "headless", 1);
            setenv("LUMETRA_CLOCK", "real", 1);
            unsetenv("LUMETRA_INPUT");
            execl(LUMETRA_SIGNAL_PROBE, LUMETRA_SIGNAL_PROBE, mode.c_str(), file.c_str(), nullptr);
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Probe() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    // Waits for a line; false after `timeout` or at the end of the output.
    bool ReadLine(std::string* line, std::chrono::milliseconds timeout) {
        auto end = Clock::now() + timeout;
        for (;;) {
            size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                *line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return false;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[256];
            ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) return false;
            buffer_.append(buf, static_cast<size_t>(n));
        }
    }
    bool Signal(int signo) { return kill(pid_, signo) == 0; }
    bool WaitEnd(std::chrono::milliseconds timeout) {
        auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                ended_ = true;
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    bool ExitedWith(int code) const { return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code; }
    bool KilledBy(int signo) const { return ended_ && WIFSIGNALED(status_) && WTERMSIG(status_) == signo; }
    int Status() const { return status_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    bool ended_ = false;
    int status_ = 0;
};

class Signals : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.Ok()); }
    std::string File() const { return dir_ / "run-file"; }
    // Starts the probe and waits until it has made its file.
    void Start(Probe& p) {
        std::string line;
        ASSERT_TRUE(p.ReadLine(&line, 30s));
        ASSERT_EQ(line, "ready");
        ASSERT_TRUE(std::filesystem::exists(File()));
    }
    lumetra_test::PrivateDir dir_{"lumetra_signals"};
};

}  // namespace

// Each of the three signals closes the window: the loop ends and the program exits with 0
// through its normal exit, which runs the cleanups.
TEST_F(Signals, EachSignalClosesTheWindowsAndTheProgramEndsNormally) {
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signo));
        Probe p("close", File());
        Start(p);
        std::this_thread::sleep_for(200ms);
        auto sent = Clock::now();
        ASSERT_TRUE(p.Signal(signo));
        ASSERT_TRUE(p.WaitEnd(30s));
        EXPECT_TRUE(p.ExitedWith(0)) << p.Status();
        EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(win::kTerminationGraceMs));
        EXPECT_FALSE(std::filesystem::exists(File()));
    }
}

// A signal that comes before the message loop runs is kept: the window made later is
// asked to close as soon as the loop looks at its queue.
TEST_F(Signals, ASignalBeforeTheLoopClosesTheWindowMadeLater) {
    Probe p("late", File());
    Start(p);
    ASSERT_TRUE(p.Signal(SIGTERM));
    ASSERT_TRUE(p.WaitEnd(30s));
    EXPECT_TRUE(p.ExitedWith(0)) << p.Status();
    EXPECT_FALSE(std::filesystem::exists(File()));
}

// A window that will not close, or a start-up that does not end: after the grace period
// the cleanups run and the program dies of the signal. A second signal does not wait.
TEST_F(Signals, AProgramThatDoesNotEndStillLosesItsFiles) {
    struct Case {
        const char* mode;
        bool second;
    };
    for (Case c : {Case{"stubborn", false}, Case{"startup", false}, Case{"stubborn", true}, Case{"startup", true}}) {
        SCOPED_TRACE(std::string(c.mode) + (c.second ? ", two signals" : ", one signal"));
        Probe p(c.mode, File());
        Start(p);
        auto sent = Clock::now();
        ASSERT_TRUE(p.Signal(SIGTERM));
        if (std::string(c.mode) == "stubborn") {
            // The signal reached the window as WM_CLOSE.
            std::string line;
            ASSERT_TRUE(p.ReadLine(&line, 10s));
            EXPECT_EQ(line, "close");
        }
        if (c.second) {
            std::this_thread::sleep_for(300ms);
            ASSERT_TRUE(p.Signal(SIGINT));
        }
        ASSERT_TRUE(p.WaitEnd(30s));
        auto took = Clock::now() - sent;
        EXPECT_TRUE(p.KilledBy(c.second ? SIGINT : SIGTERM)) << p.Status();
        if (c.second)
            EXPECT_LT(took, std::chrono::milliseconds(win::kTerminationGraceMs - 1000));
        else
            EXPECT_GE(took, std::chrono::milliseconds(win::kTerminationGraceMs - 100));
        EXPECT_FALSE(std::filesystem::exists(File()));
    }
}

#endif
