// The window layer on the SDL backend of a private X server for the time of a test.
#pragma once

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "xvfb_desktop.h"

// X libraries and SDL's D-Bus connection keep some allocations for the life of the
// process. Weak, so that one list for the whole test program can take its place.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libX11\nleak:libxcb\nleak:libSDL2\nleak:libdbus\nleak:libXcursor\nleak:libXi\nleak:libXext\nleak:"
           "libXrandr\nleak:libXrender\nleak:libxkbcommon\nleak:libXfixes\n";
}

namespace lumetra_test {

// Starts the layer on the SDL backend of a fresh X server; undone by the destructor.
class SdlDesktop {
public:
    bool Start(int width, int height) {
        if (!x_.Start(width, height)) return false;
        oldDisplay_ = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
        setenv("DISPLAY", x_.Display().c_str(), 1);
        setenv("LUMETRA_DISPLAY", "sdl", 1);
        // SDL loads the X libraries at run time and unloads them at the end; keeping them
        // mapped lets the leak checker name (and so skip) what they keep for good.
        for (const char* lib :
             {"libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXi.so.6", "libXrandr.so.2", "libXfixes.so.3",
              "libXss.so.1", "libXinerama.so.1", "libxkbcommon.so.0", "libXrender.so.1"})
            dlopen(lib, RTLD_NOW | RTLD_NODELETE);
        win::SetClockMode(win::ClockMode::Real);
        win::PlatformStartUp();
        started_ = true;
        return std::string(win::test::BackendName()) == "sdl";
    }
    ~SdlDesktop() {
        if (!started_) return;
        win::PlatformShutDown();
        unsetenv("LUMETRA_DISPLAY");
        if (oldDisplay_.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", oldDisplay_.c_str(), 1);
        win::test::ResetUser();
    }
    const std::string& Display() const { return x_.Display(); }

private:
    XServer x_;
    std::string oldDisplay_;
    bool started_ = false;
};

}  // namespace lumetra_test
