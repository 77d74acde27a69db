#include "classlib/StartUp.h"

#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace cl {

namespace {
std::vector<String>& Args() {
    static std::vector<String> args;
    return args;
}
uint32_t mainThread = 0;
}  // namespace

void StartUp(int argc, char** argv) {
    Args().assign(argv, argv + argc);
    mainThread = win::GetCurrentThreadId();
    win::ClockModeFromEnvironment();
    win::PlatformStartUp();
    ControlsStartUp();
}

void ShutDown() {
    ControlsShutDown();
    win::PlatformShutDown();
}

int ParamCount() { return Args().empty() ? 0 : static_cast<int>(Args().size()) - 1; }

String ParamStr(int index) {
    if (index == 0) {
        char path[4096];
        win::DWORD n = win::GetModuleFileNameA(nullptr, path, sizeof path);
        if (n > 0 && n < sizeof path) return String(path, n);
    }
    if (index < 0 || index >= static_cast<int>(Args().size())) return String();
    return Args()[index];
}

uint32_t MainThreadID() { return mainThread; }

}  // namespace cl
