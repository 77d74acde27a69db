// Start-up and shut-down of the window manager and display, and the test seams over the
// display (screen composite, restart on the headless backend, backend names and ids).
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/user_state_internal.h"
#include "platform/user_testhooks.h"

namespace win {

using namespace user;

void PlatformStartUp() {
    ClockModeFromEnvironment();
    FreeClipboardData();
    ResetWindowing();
    display::StartFromEnvironment();
    if (const char* script = std::getenv("LUMETRA_INPUT"); script && *script) {
        if (!test::SetInputScript(script)) std::fprintf(stderr, "LUMETRA_INPUT: not a valid input script, ignored\n");
    }
}

void PlatformShutDown() {
    FreeClipboardData();
    DestroyAllWindows();
    display::ShutDown();
}

namespace test {

Screen ScreenComposite() {
    Screen s;
    s.width = display::ScreenWidth();
    s.height = display::ScreenHeight();
    s.pixels = display::ComposeRect(RECT{0, 0, s.width, s.height}, nullptr);
    return s;
}

void ResetUser(int width, int height) {
    display::StopCaptures();
    FreeClipboardData();
    ResetWindowing();
    display::SetBackend(display::MakeHeadlessBackend(width, height));
}

HWND CreateForeignWindow(int width, int height) { return CreateForeign(0, 0, width, height, 0); }

uint64_t NativeWindowId(HWND hwnd) {
    auto* b = display::CurrentBackend();
    return b ? b->NativeId(hwnd) : 0;
}

const char* BackendName() {
    auto* b = display::CurrentBackend();
    return b ? b->Name() : "none";
}

}  // namespace test

}  // namespace win
