#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/shell_testhooks.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

extern char** environ;

namespace win {

namespace {

std::mutex& RecordMutex() {
    static std::mutex m;
    return m;
}
std::vector<test::ShellExecuteRecord>& Records() {
    static std::vector<test::ShellExecuteRecord> r;
    return r;
}

HINSTANCE Result(intptr_t v) { return reinterpret_cast<HINSTANCE>(v); }

// Starts xdg-open in a grandchild, so that nothing is left to reap and the caller does
// not wait for the handler.
bool OpenWithDesktop(const std::string& target) {
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        pid_t grandchild;
        char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target.c_str()), nullptr};
        int rc = posix_spawnp(&grandchild, "xdg-open", nullptr, nullptr, argv, environ);
        _exit(rc == 0 ? 0 : 1);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

HINSTANCE ShellExecuteA(HWND, const char* operation, const char* file, const char* parameters, const char* directory,
                        int showCmd) {
    std::string verb = operation ? operation : "";
    if (!file || !*file) return Result(2);
    {
        std::lock_guard<std::mutex> lock(RecordMutex());
        Records().push_back({verb, file, parameters ? parameters : "", directory ? directory : "", showCmd});
    }
    if (!verb.empty() && strcasecmp(verb.c_str(), "open") != 0) return Result(31);
    // Only a desktop backend hands the request on; headless runs just record it.
    if (std::strcmp(test::BackendName(), "sdl") != 0) return Result(42);
    return OpenWithDesktop(file) ? Result(42) : Result(8);
}

namespace test {

std::vector<ShellExecuteRecord> ShellExecutes() {
    std::lock_guard<std::mutex> lock(RecordMutex());
    return Records();
}

void ClearShellExecutes() {
    std::lock_guard<std::mutex> lock(RecordMutex());
    Records().clear();
}

}  // namespace test

}  // namespace win
