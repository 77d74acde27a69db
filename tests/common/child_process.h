// A child program of a test: started with its own environment, waited for with a deadline,
// signalled, and never left running.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace lumetra_test {

// A program started with its own environment on top of the test's (an empty value unsets
// the variable); stderr and stdout go to files when they are named. Killed at the end of
// the object when it has not ended by then.
class Program {
public:
    Program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const std::string& stderrFile = "", const std::string& stdoutFile = "") {
        pid_ = fork();
        if (pid_ == 0) {
            for (const auto& [k, v] : env) {
                if (v.empty())
                    unsetenv(k.c_str());
                else
                    setenv(k.c_str(), v.c_str(), 1);
            }
            if (!stderrFile.empty()) {
                if (FILE* f = std::fopen(stderrFile.c_str(), "w")) dup2(fileno(f), 2);
            }
            if (!stdoutFile.empty()) {
                if (FILE* f = std::fopen(stdoutFile.c_str(), "w")) dup2(fileno(f), 1);
            }
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Program() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }
    bool Signal(int signo) const { return pid_ > 0 && !ended_ && kill(pid_, signo) == 0; }
    // Waits up to `ms` for the end; true when it ended (its status then in Status()).
    bool WaitEnd(int ms) {
        if (ended_) return true;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                ended_ = true;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
    bool Running() { return !WaitEnd(0); }
    int Status() const { return status_; }
    bool ExitedWith(int code) const { return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code; }
    bool KilledBy(int signo) const { return ended_ && WIFSIGNALED(status_) && WTERMSIG(status_) == signo; }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

}  // namespace lumetra_test
