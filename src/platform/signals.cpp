#include "platform/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/exit_cleanup.h"

namespace win {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> g_pipeWrite{-1};
std::atomic<uint64_t> g_closeRequested{0};
std::atomic<bool> g_exiting{false};

// Async-signal-safe: one byte (the signal number) into the pipe, nothing else.
void OnSignal(int signo) {
    int saved = errno;
    int fd = g_pipeWrite.load(std::memory_order_relaxed);
    if (fd >= 0) {
        unsigned char b = static_cast<unsigned char>(signo);
        ssize_t n = write(fd, &b, 1);
        (void)n;
    }
    errno = saved;
}

// Blocks until a signal number can be read, or `timeoutMs` passes (-1: no limit).
// 0 on time-out or a broken pipe.
int NextSignal(int fd, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return 0;
            wait = static_cast<int>(left.count());
        }
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return 0;
        if (r == 0) continue;  // the deadline is checked above
        unsigned char b = 0;
        ssize_t n = read(fd, &b, 1);
        if (n == 1) return b;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return 0;
    }
}

// The program did not end in time: its private files go, then it ends as the signal
// would have ended it without a handler.
[[noreturn]] void Die(int signo) {
    RunExitCleanups();
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(signo, &sa, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signo);
    _exit(128 + signo);
}

void Watch(int readFd) {
    int signo = NextSignal(readFd, -1);
    if (!signo) return;
    RequestCloseAll();
    int second = NextSignal(readFd, kTerminationGraceMs);
    if (!second && g_exiting.load()) {
        // Already on the way out: let the exit finish, with the files gone in any case.
        RunExitCleanups();
        second = NextSignal(readFd, -1);
        if (!second) return;
    }
    Die(second ? second : signo);
}

}  // namespace

void InstallTerminationSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
        g_pipeWrite = fds[1];
        std::atexit([] { g_exiting = true; });
        // The watcher must not take the signals itself while it is being made: it is
        // started with them blocked (it reads the pipe, the handler runs on any thread).
        sigset_t block, old;
        sigemptyset(&block);
        for (int s : kSignals) sigaddset(&block, s);
        pthread_sigmask(SIG_BLOCK, &block, &old);
        std::thread(Watch, fds[0]).detach();
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        for (int s : kSignals) {
            struct sigaction sa {};
            sa.sa_handler = OnSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            sigaction(s, &sa, nullptr);
        }
    });
}

void RequestCloseAll() {
    g_closeRequested.fetch_add(1);
    ClockNotify();
}

uint64_t CloseRequested() { return g_closeRequested.load(); }

}  // namespace win
