// The SDL backend on a private X server: what a window paints is on the X screen, and an
// X key press reaches the window as WM_KEYDOWN.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/user.h"

// X libraries and SDL's D-Bus connection keep some allocations for the life of the
// process. Weak, so that one list for the whole test program can take its place.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libX11\nleak:libxcb\nleak:libSDL2\nleak:libdbus\nleak:libXcursor\nleak:libXi\nleak:libXext\nleak:libXrandr\nleak:libXrender\nleak:libxkbcommon\nleak:libXfixes\n";
}

using namespace win;

namespace {

struct XwdImage {
    int width = 0, height = 0;
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    int bpp = 0, bytesPerLine = 0;
    bool msbFirst = false;
    std::vector<uint8_t> data;
    size_t offset = 0;

    // The pixel as 0xRRGGBB (8 bits per channel masks only).
    uint32_t At(int x, int y) const {
        const uint8_t* p = data.data() + offset + static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * (bpp / 8);
        uint32_t v = 0;
        int n = bpp / 8;
        for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(msbFirst ? p[n - 1 - i] : p[i]) << (8 * i);
        auto channel = [v](uint32_t mask) {
            if (!mask) return 0u;
            int shift = __builtin_ctz(mask);
            return (v & mask) >> shift;
        };
        return (channel(redMask) << 16) | (channel(greenMask) << 8) | channel(blueMask);
    }
};

bool ReadXwd(const std::string& path, XwdImage* img) {
    std::ifstream f(path, std::ios::binary);
    img->data.assign(std::istreambuf_iterator<char>(f), {});
    if (img->data.size() < 100) return false;
    auto field = [&](int i) {
        const uint8_t* p = img->data.data() + i * 4;
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    uint32_t headerSize = field(0);
    img->width = static_cast<int>(field(4));
    img->height = static_cast<int>(field(5));
    img->msbFirst = field(7) == 1;
    img->bpp = static_cast<int>(field(11));
    img->bytesPerLine = static_cast<int>(field(12));
    img->redMask = field(14);
    img->greenMask = field(15);
    img->blueMask = field(16);
    uint32_t ncolors = field(19);
    img->offset = headerSize + static_cast<size_t>(ncolors) * 12;
    return img->bpp >= 24 && img->offset + static_cast<size_t>(img->height) * img->bytesPerLine <= img->data.size();
}

bool Installed(const char* tool) {
    std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::vector<std::pair<UINT, WPARAM>> g_keys;

LRESULT PaintRed(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN) g_keys.emplace_back(msg, wParam);
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH b = CreateSolidBrush(RGB(255, 0, 0));
        HGDIOBJ old = SelectObject(dc, b);
        RECT rc;
        GetClientRect(hwnd, &rc);
        PatBlt(dc, 0, 0, rc.right, rc.bottom, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(b);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class XServer {
public:
    bool Start() {
        for (int n = 91; n < 140; ++n) {
            if (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock") ||
                std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
                continue;
            display_ = ":" + std::to_string(n);
            pid_ = fork();
            if (pid_ == 0) {
                execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "320x240x24", "-nolisten", "tcp", nullptr);
                _exit(127);
            }
            for (int i = 0; i < 100; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) return true;
                int status;
                if (waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
            }
            Stop();
        }
        return false;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    ~XServer() { Stop(); }
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A plain X window made on a connection of the test's own (the host of a preview).
class ForeignXWindow {
public:
    explicit ForeignXWindow(const std::string& display) {
        lib_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!lib_) return;
        auto open = reinterpret_cast<Display* (*)(const char*)>(dlsym(lib_, "XOpenDisplay"));
        auto root = reinterpret_cast<Window (*)(Display*)>(dlsym(lib_, "XDefaultRootWindow"));
        auto create = reinterpret_cast<Window (*)(Display*, Window, int, int, unsigned, unsigned, unsigned, unsigned long,
                                                  unsigned long)>(dlsym(lib_, "XCreateSimpleWindow"));
        auto map = reinterpret_cast<int (*)(Display*, Window)>(dlsym(lib_, "XMapWindow"));
        auto sync = reinterpret_cast<int (*)(Display*, Bool)>(dlsym(lib_, "XSync"));
        close_ = reinterpret_cast<int (*)(Display*)>(dlsym(lib_, "XCloseDisplay"));
        display_ = open(display.c_str());
        if (!display_) return;
        id_ = create(display_, root(display_), 200, 150, 100, 80, 0, 0, 0);
        map(display_, id_);
        sync(display_, False);
    }
    ~ForeignXWindow() {
        if (display_) close_(display_);
    }
    uint64_t Id() const { return id_; }

private:
    void* lib_ = nullptr;
    Display* display_ = nullptr;
    Window id_ = 0;
    int (*close_)(Display*) = nullptr;
};

void PumpFor(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG m;
    while (std::chrono::steady_clock::now() < end) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(SdlBackend, PaintedColourOnTheXScreenAndXKeysAsWmKeyDown) {
    if (!Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Installed("xwd") && Installed("xdotool")) << "xwd and xdotool come with Xvfb in scripts/setup";
    XServer x;
    ASSERT_TRUE(x.Start());
    std::string oldDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", x.Display().c_str(), 1);
    setenv("LUMETRA_DISPLAY", "sdl", 1);
    // SDL loads the X libraries at run time and unloads them at the end; keeping them
    // mapped lets the leak checker name (and so skip) what they keep for good.
    for (const char* lib : {"libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXi.so.6", "libXrandr.so.2",
                            "libXfixes.so.3", "libXss.so.1", "libXinerama.so.1", "libxkbcommon.so.0", "libXrender.so.1"})
        dlopen(lib, RTLD_NOW | RTLD_NODELETE);
    SetClockMode(ClockMode::Real);
    PlatformStartUp();
    ASSERT_STREQ(test::BackendName(), "sdl");
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    WNDCLASSA wc;
    wc.lpfnWndProc = PaintRed;
    wc.lpszClassName = "SdlRed";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND w = CreateWindowExA(0, "SdlRed", "red", WS_POPUP | WS_VISIBLE, 40, 30, 100, 80, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(w, nullptr);
    // A preview: a form made a child of a foreign X window draws inside it.
    ForeignXWindow host(x.Display());
    ASSERT_NE(host.Id(), 0u);
    EXPECT_EQ(HandleFromInt(12345), nullptr);  // not a window: refused, not fatal
    HWND adopted = HandleFromInt(static_cast<intptr_t>(host.Id()));
    ASSERT_NE(adopted, nullptr);
    RECT hr;
    ASSERT_TRUE(GetClientRect(adopted, &hr));
    EXPECT_EQ(hr.right, 100);
    EXPECT_EQ(hr.bottom, 80);
    EXPECT_EQ(HandleFromInt(static_cast<intptr_t>(host.Id())), adopted);
    HWND preview = CreateWindowExA(0, "SdlRed", "Preview", WS_CHILD | WS_VISIBLE, 0, 0, 100, 80, adopted, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(preview, nullptr);
    PumpFor(500);
    uint64_t xid = test::NativeWindowId(w);
    ASSERT_NE(xid, 0u);

    std::string shot = (std::filesystem::temp_directory_path() / ("lumetra-sdl-" + std::to_string(getpid()) + ".xwd")).string();
    std::string cmd = "xwd -root -silent -display " + x.Display() + " > " + shot;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    XwdImage img;
    ASSERT_TRUE(ReadXwd(shot, &img));
    std::filesystem::remove(shot);
    ASSERT_EQ(img.width, 320);
    EXPECT_EQ(img.At(90, 70), 0xFF0000u);
    EXPECT_NE(img.At(10, 10), 0xFF0000u);
    EXPECT_EQ(img.At(250, 190), 0xFF0000u);  // inside the foreign window

    g_keys.clear();
    cmd = "xdotool windowfocus --sync " + std::to_string(xid) + " key --clearmodifiers a";
    cmd = "DISPLAY=" + x.Display() + " " + cmd;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_keys.empty() && std::chrono::steady_clock::now() < end) PumpFor(20);
    ASSERT_FALSE(g_keys.empty());
    EXPECT_EQ(g_keys.front(), (std::pair<UINT, WPARAM>{WM_KEYDOWN, 'A'}));

    PlatformShutDown();
    unsetenv("LUMETRA_DISPLAY");
    if (oldDisplay.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", oldDisplay.c_str(), 1);
    test::ResetUser();
}

}  // namespace
