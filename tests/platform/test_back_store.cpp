// Every top-level window keeps its pixels in a software back store: drawing through a
// window DC outside WM_PAINT (rubber bands, grips, marching ants) changes that store, the
// backend shows it without a paint, it stays when another window passes over it, and an
// inverting pen drawn twice puts the pixels back. Checked on the headless screen and on
// the SDL backend under a private X server.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "../common/sdl_desktop.h"
#include "../common/xvfb_desktop.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

int g_paints = 0;

// Paints its client grey on WM_PAINT.
LRESULT PaintGrey(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
        ++g_paints;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH b = CreateSolidBrush(RGB(128, 128, 128));
        FillRect(dc, &rc, b);
        DeleteObject(b);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// What the tests draw outside WM_PAINT: a blue square and an inverted frame.
void DrawSquare(HWND w) {
    HDC dc = GetDC(w);
    RECT r{20, 20, 60, 60};
    HBRUSH b = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &r, b);
    DeleteObject(b);
    ReleaseDC(w, dc);
}

void InvertFrame(HWND w) {
    HDC dc = GetDC(w);
    SetROP2(dc, R2_NOT);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 10, 10, 90, 70);
    SelectObject(dc, oldBrush);
    ReleaseDC(w, dc);
}

void RegisterGrey(const char* name) {
    WNDCLASSA wc;
    wc.lpfnWndProc = PaintGrey;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

class BackStore : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockMode(ClockMode::Virtual);
        test::ResetUser(320, 240);
        g_paints = 0;
        RegisterGrey("BackStoreGrey");
    }
    void TearDown() override {
        test::ResetUser(320, 240);
        SetClockMode(ClockMode::Real);
    }
    static void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    static uint32_t Px(int x, int y) { return test::ScreenComposite().At(x, y) & 0xFFFFFF; }
};

TEST_F(BackStore, DrawingOutsidePaintIsShownAndStaysUnderPassingWindows) {
    HWND w = CreateWindowExA(0, "BackStoreGrey", "", WS_POPUP | WS_VISIBLE, 40, 30, 120, 90, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(w, nullptr);
    Pump();
    ASSERT_EQ(Px(40 + 30, 30 + 30), 0x808080u);
    const int painted = g_paints;
    DrawSquare(w);
    EXPECT_EQ(Px(40 + 30, 30 + 30), 0x0000FFu);  // shown at once, no paint asked
    Pump();
    EXPECT_EQ(g_paints, painted);
    EXPECT_EQ(Px(40 + 30, 30 + 30), 0x0000FFu);

    // Another window over the square, moved about and closed.
    HWND over = CreateWindowExA(0, "BackStoreGrey", "", WS_POPUP | WS_VISIBLE, 50, 40, 60, 60, nullptr, nullptr,
                                nullptr, nullptr);
    Pump();
    EXPECT_EQ(Px(40 + 30, 30 + 30), 0x808080u);  // the other window's grey
    SetWindowPos(over, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    EXPECT_EQ(Px(40 + 30, 30 + 30), 0x0000FFu);
    DestroyWindow(over);
    Pump();
    EXPECT_EQ(Px(40 + 30, 30 + 30), 0x0000FFu);
    EXPECT_EQ(g_paints - painted, 1) << "only the passing window painted";
}

TEST_F(BackStore, InvertedFrameDrawnTwiceLeavesTheWindowAsItWas) {
    HWND w = CreateWindowExA(0, "BackStoreGrey", "", WS_POPUP | WS_VISIBLE, 40, 30, 120, 90, nullptr, nullptr, nullptr,
                             nullptr);
    Pump();
    DrawSquare(w);
    auto window = [] {
        const auto screen = test::ScreenComposite();
        std::vector<uint32_t> v;
        for (int y = 30; y < 120; ++y)
            for (int x = 40; x < 160; ++x) v.push_back(screen.At(x, y) & 0xFFFFFF);
        return v;
    };
    const std::vector<uint32_t> before = window();
    InvertFrame(w);
    EXPECT_EQ(Px(40 + 10, 30 + 40), 0x7F7F7Fu);  // the frame's left edge over grey
    EXPECT_EQ(Px(40 + 40, 30 + 10), 0x7F7F7Fu);
    InvertFrame(w);
    EXPECT_EQ(window(), before);
}

// ---------------------------------------------------------------------------------------
// The SDL backend

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

}  // namespace

TEST(SdlBackend, DrawingOutsidePaintReachesTheXScreenAndStays) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::SdlDesktop desk;
    ASSERT_TRUE(desk.Start(320, 240));
    g_paints = 0;
    RegisterGrey("SdlBackStoreGrey");
    HWND w = CreateWindowExA(0, "SdlBackStoreGrey", "", WS_POPUP | WS_VISIBLE, 40, 30, 120, 90, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    PumpFor(500);
    lumetra_test::XwdImage img;
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    ASSERT_EQ(img.At(40 + 30, 30 + 30), 0x808080u);

    DrawSquare(w);
    PumpFor(200);
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    EXPECT_EQ(img.At(40 + 30, 30 + 30), 0x0000FFu);

    InvertFrame(w);
    PumpFor(200);
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    EXPECT_EQ(img.At(40 + 10, 30 + 40), 0x7F7F7Fu);
    InvertFrame(w);
    PumpFor(200);
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    EXPECT_EQ(img.At(40 + 10, 30 + 40), 0x808080u);
    EXPECT_EQ(img.At(40 + 30, 30 + 30), 0x0000FFu);

    // A window passing over the square and closing again.
    HWND over = CreateWindowExA(0, "SdlBackStoreGrey", "", WS_POPUP | WS_VISIBLE, 50, 40, 60, 60, nullptr, nullptr,
                                nullptr, nullptr);
    PumpFor(300);
    DestroyWindow(over);
    PumpFor(300);
    ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
    EXPECT_EQ(img.At(40 + 30, 30 + 30), 0x0000FFu);
    DestroyWindow(w);
    PumpFor(100);
}
