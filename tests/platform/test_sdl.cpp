// The SDL backend on a private X server: what a window paints is on the X screen, and an
// X key press reaches the window as WM_KEYDOWN.
#include <gtest/gtest.h>

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

#include "../common/sdl_desktop.h"
#include "../common/xvfb_desktop.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;
using lumetra_test::ForeignXWindow;
using lumetra_test::SdlDesktop;
using lumetra_test::XServer;
using lumetra_test::XwdImage;

namespace {

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

// Paints nothing: what is on the window is what the test draws.
LRESULT Plain(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(SdlBackend, PaintedColourOnTheXScreenAndXKeysAsWmKeyDown) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    SdlDesktop desk;
    ASSERT_TRUE(desk.Start(320, 240));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    WNDCLASSA wc;
    wc.lpfnWndProc = PaintRed;
    wc.lpszClassName = "SdlRed";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND w =
        CreateWindowExA(0, "SdlRed", "red", WS_POPUP | WS_VISIBLE, 40, 30, 100, 80, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    // A preview: a form made a child of a foreign X window draws inside it.
    ForeignXWindow host(desk.Display(), 200, 150, 100, 80);
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

    XwdImage img;
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    ASSERT_EQ(img.width, 320);
    EXPECT_EQ(img.At(90, 70), 0xFF0000u);
    EXPECT_NE(img.At(10, 10), 0xFF0000u);
    EXPECT_EQ(img.At(250, 190), 0xFF0000u);  // inside the foreign window

    g_keys.clear();
    ASSERT_EQ(
        lumetra_test::XdoTool(desk.Display(), "windowfocus --sync " + std::to_string(xid) + " key --clearmodifiers a"),
        0);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_keys.empty() && std::chrono::steady_clock::now() < end) PumpFor(20);
    ASSERT_FALSE(g_keys.empty());
    EXPECT_EQ(g_keys.front(), (std::pair<UINT, WPARAM>{WM_KEYDOWN, 'A'}));

    // The host goes away: the window inside it is asked to close; nothing ends the program.
    host.Destroy();
    MSG m;
    bool closeSeen = false;
    end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!closeSeen && std::chrono::steady_clock::now() < end) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_CLOSE && m.hwnd == preview) closeSeen = true;
            DispatchMessageA(&m);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(closeSeen);
}

// A frame drawn through a DC held across frames (a running animation) is on the X screen
// as soon as GdiFlush returns, with no message pumped; without the flush it is not.
TEST(SdlBackend, GdiFlushPresentsWhatAHeldDcDrewAtOnce) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    SdlDesktop desk;
    ASSERT_TRUE(desk.Start(320, 240));
    WNDCLASSA wc;
    wc.lpfnWndProc = Plain;
    wc.lpszClassName = "SdlPlain";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "SdlPlain", "frames", WS_POPUP | WS_VISIBLE, 20, 20, 200, 150, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    PumpFor(500);  // the X window is mapped
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    struct Frame {
        COLORREF colour;
        RECT part;
        bool flush;
        uint32_t seenInside, seenOutside;  // at the part's centre, and at (30, 30)
    };
    const Frame frames[] = {
        {RGB(0, 0, 255), RECT{0, 0, 200, 150}, true, 0x0000FF, 0x0000FF},
        {RGB(0, 255, 0), RECT{100, 80, 160, 120}, true, 0x00FF00, 0x0000FF},
        {RGB(255, 0, 0), RECT{100, 80, 160, 120}, false, 0x00FF00, 0x0000FF},  // not flushed: not shown
        {RGB(255, 255, 0), RECT{0, 0, 20, 20}, true, 0xFFFF00, 0xFFFF00},
    };
    for (const Frame& f : frames) {
        HBRUSH b = CreateSolidBrush(f.colour);
        FillRect(dc, &f.part, b);
        DeleteObject(b);
        if (f.flush) GdiFlush();
        XwdImage img;
        ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
        int cx = 20 + (f.part.left + f.part.right) / 2, cy = 20 + (f.part.top + f.part.bottom) / 2;
        EXPECT_EQ(img.At(cx, cy), f.seenInside) << "frame " << std::hex << f.colour;
        EXPECT_EQ(img.At(30, 30), f.seenOutside) << "frame " << std::hex << f.colour;
    }
    // The frame left unflushed was presented together with the last one.
    XwdImage img;
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    EXPECT_EQ(img.At(150, 120), 0xFF0000u);
    ReleaseDC(w, dc);
}

}  // namespace
