// A program of the platform layer for the signal tests: it creates FILE, registers its
// removal as an exit cleanup, says "ready" on stdout and then, by MODE:
//   close     shows a window that closes on WM_CLOSE (the loop then ends: exit code 0)
//   stubborn  shows a window that takes WM_CLOSE (saying "close" on stdout) and stays
//   startup   never runs a message loop (a start-up that does not end)
//   late      runs the loop with a closing window only after a second
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/exit_cleanup.h"
#include "platform/signals.h"
#include "platform/user.h"

using namespace win;

namespace {

bool g_stubborn = false;

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE && g_stubborn) {
        std::printf("close\n");
        std::fflush(stdout);
        return 0;
    }
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: signal_probe close|stubborn|startup|late FILE\n");
        return 64;
    }
    const std::string mode = argv[1], file = argv[2];
    InstallTerminationSignals();
    PlatformStartUp();
    std::ofstream(file) << "probe\n";
    AddExitCleanup([file] {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    if (mode == "startup") {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (mode == "late") std::this_thread::sleep_for(std::chrono::seconds(1));
    g_stubborn = mode == "stubborn";
    WNDCLASSA wc;
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Probe";
    RegisterClassA(&wc);
    CreateWindowExA(0, "Probe", "probe", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    PlatformShutDown();
    return 0;
}
