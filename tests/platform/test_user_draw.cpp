// Frame drawing in the classic look (DrawEdge) and the flat scroll bar layer: what a window
// paints on the screen and what it prints into a device context.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gdi_dib_canvas.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

constexpr COLORREF kBack = RGB(255, 0, 255);

COLORREF Sys(int i) { return static_cast<COLORREF>(GetSysColor(i)); }

// One letter per pixel of a 6 x 5 canvas after a DrawEdge over (0, 0, 6, 5): the system
// colours by a letter each ('W' white: button highlight and window colour are both white;
// 'L' 3D light and button face are one colour too), '.' for the untouched background.
std::vector<std::string> EdgePicture(UINT edge, UINT flags, RECT* adjusted = nullptr) {
    gditest::Canvas c(6, 5, 32);
    c.Fill32(0x00FF00FF);
    RECT r{0, 0, 6, 5};
    EXPECT_TRUE(DrawEdge(c.dc, &r, edge, flags));
    if (adjusted) *adjusted = r;
    const std::pair<int, char> letters[] = {{COLOR_3DLIGHT, 'L'},
                                            {COLOR_3DDKSHADOW, 'D'},
                                            {COLOR_BTNHIGHLIGHT, 'W'},
                                            {COLOR_BTNSHADOW, 'S'},
                                            {COLOR_WINDOWFRAME, 'F'}};
    std::vector<std::string> rows;
    for (int y = 0; y < 5; ++y) {
        std::string row;
        for (int x = 0; x < 6; ++x) {
            COLORREF p = GetPixel(c.dc, x, y);
            char ch = p == kBack ? '.' : '?';
            for (const auto& l : letters)
                if (p == Sys(l.first)) ch = l.second;
            row += ch;
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(DrawEdge, RingsSidesAndCornersInTheClassicColours) {
    struct Case {
        const char* what;
        UINT edge, flags;
        std::vector<std::string> picture;
        // clang-format off
    } cases[] = {
        {"raised", EDGE_RAISED, BF_RECT, {"LLLLLD", "LWWWSD", "LW..SD", "LSSSSD", "DDDDDD"}},
        {"sunken", EDGE_SUNKEN, BF_RECT, {"SSSSSW", "SDDDLW", "SD..LW", "SLLLLW", "WWWWWW"}},
        {"soft raised", EDGE_RAISED, BF_RECT | BF_SOFT, {"WWWWWD", "WLLLSD", "WL..SD", "WSSSSD", "DDDDDD"}},
        {"soft sunken", EDGE_SUNKEN, BF_RECT | BF_SOFT, {"DDDDDW", "DSSSLW", "DS..LW", "DLLLLW", "WWWWWW"}},
        {"flat", EDGE_SUNKEN, BF_RECT | BF_FLAT, {"SSSSSS", "SLLLLS", "SL..LS", "SLLLLS", "SSSSSS"}},
        {"mono over flat", EDGE_RAISED, BF_RECT | BF_MONO | BF_FLAT, {"FFFFFF", "FWWWWF", "FW..WF", "FWWWWF", "FFFFFF"}},
        {"outer only, two sides", BDR_SUNKENOUTER, BF_LEFT | BF_BOTTOM, {"S.....", "S.....", "S.....", "S.....", "WWWWWW"}},
        {"inner only, top and right", BDR_RAISEDINNER, BF_TOP | BF_RIGHT, {"WWWWWS", ".....S", ".....S", ".....S", ".....S"}},
        {"middle", BDR_RAISEDOUTER, BF_RECT | BF_MIDDLE, {"LLLLLD", "LLLLLD", "LLLLLD", "LLLLLD", "DDDDDD"}},
        {"no edge bits", 0, BF_RECT, {"......", "......", "......", "......", "......"}},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(EdgePicture(c.edge, c.flags), c.picture) << c.what;
}

TEST(DrawEdge, AdjustShrinksByWhatWasDrawnOnEachSide) {
    struct Case {
        UINT edge, flags;
        RECT after;
    } cases[] = {
        {EDGE_SUNKEN, BF_RECT | BF_ADJUST, {2, 2, 4, 3}},
        {BDR_RAISEDINNER, BF_RECT | BF_ADJUST, {1, 1, 5, 4}},
        {EDGE_RAISED, BF_LEFT | BF_BOTTOM | BF_ADJUST, {2, 0, 6, 3}},
        {EDGE_RAISED, BF_RECT, {0, 0, 6, 5}},  // without BF_ADJUST the rectangle stays
    };
    for (const Case& c : cases) {
        RECT r;
        EdgePicture(c.edge, c.flags, &r);
        EXPECT_EQ(r.left, c.after.left);
        EXPECT_EQ(r.top, c.after.top);
        EXPECT_EQ(r.right, c.after.right);
        EXPECT_EQ(r.bottom, c.after.bottom);
    }
}

TEST(DrawEdge, FollowsTheOriginAndClipAndRefusesWhatItCannotDraw) {
    gditest::Canvas c(10, 10, 32);
    c.Fill32(0x00FF00FF);
    SetWindowOrgEx(c.dc, -2, -3, nullptr);  // logical (0, 0) at device (2, 3)
    IntersectClipRect(c.dc, 0, 0, 3, 10);
    RECT r{0, 0, 5, 4};
    EXPECT_TRUE(DrawEdge(c.dc, &r, BDR_SUNKENOUTER, BF_RECT));
    EXPECT_EQ(GetPixel(c.dc, 0, 0), Sys(COLOR_BTNSHADOW));
    SetWindowOrgEx(c.dc, 0, 0, nullptr);
    SelectClipRgn(c.dc, nullptr);
    EXPECT_EQ(GetPixel(c.dc, 2, 3), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(GetPixel(c.dc, 2, 6), Sys(COLOR_BTNHIGHLIGHT));  // bottom-left corner
    EXPECT_EQ(GetPixel(c.dc, 6, 3), kBack) << "the right side lies outside the clip";
    EXPECT_EQ(GetPixel(c.dc, 1, 3), kBack);
    RECT d{0, 0, 5, 5};
    EXPECT_FALSE(DrawEdge(c.dc, &d, EDGE_RAISED, BF_RECT | BF_DIAGONAL));
    EXPECT_FALSE(DrawEdge(c.dc, nullptr, EDGE_RAISED, BF_RECT));
    EXPECT_FALSE(DrawEdge(nullptr, &d, EDGE_RAISED, BF_RECT));
    RECT empty{4, 4, 2, 2};
    EXPECT_TRUE(DrawEdge(c.dc, &empty, EDGE_RAISED, BF_RECT | BF_ADJUST | BF_MIDDLE))
        << "an empty rectangle draws nothing";
}

// ---------------------------------------------------------------- flat scroll bars

namespace {

class FlatScrollBars : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockMode(ClockMode::Virtual);
        test::ResetUser(320, 240);
        WNDCLASSA wc;
        wc.lpfnWndProc = DefWindowProcA;  // paints its frame, validates its client
        wc.lpszClassName = "FlatSBTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        // A 60 x 50 window at (20, 30) with a one-pixel border and a vertical bar: the bar
        // covers window columns 42 .. 58.
        w = CreateWindowExA(0, "FlatSBTest", "", WS_POPUP | WS_VISIBLE | WS_BORDER | WS_VSCROLL, 20, 30, 60, 50,
                            nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        Pump();
    }
    void TearDown() override {
        test::ResetUser(320, 240);
        SetClockMode(ClockMode::Real);
    }
    static void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    // Window pixel (x, y) as the screen shows it and as the window prints its frame.
    COLORREF OnScreen(int x, int y) {
        uint32_t v = test::ScreenComposite().At(20 + x, 30 + y);
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    COLORREF Printed(int x, int y) {
        gditest::Canvas c(60, 50, 32);
        c.Fill32(0x00FF00FF);
        SendMessageA(w, WM_PRINT, reinterpret_cast<WPARAM>(c.dc), PRF_NONCLIENT);
        return GetPixel(c.dc, x, y);
    }
    HWND w = nullptr;
};

}  // namespace

TEST_F(FlatScrollBars, BarsOfTheFlatLayerAreLeftOutOfAPrintedFrame) {
    EXPECT_EQ(Printed(50, 20), Sys(COLOR_SCROLLBAR));
    int mode = -1;
    EXPECT_FALSE(FlatSB_GetScrollProp(w, WSB_PROP_VSTYLE, &mode)) << "not the flat layer's yet";
    EXPECT_FALSE(FlatSB_SetScrollProp(w, WSB_PROP_VSTYLE, FSB_FLAT_MODE, TRUE));
    ASSERT_TRUE(InitializeFlatSB(w));
    ASSERT_TRUE(FlatSB_GetScrollProp(w, WSB_PROP_VSTYLE, &mode));
    EXPECT_EQ(mode, FSB_REGULAR_MODE);
    EXPECT_EQ(Printed(50, 20), kBack) << "the flat layer paints only on the screen";
    EXPECT_EQ(Printed(0, 0), Sys(COLOR_WINDOWFRAME)) << "the rest of the frame prints as before";
    Pump();
    EXPECT_EQ(OnScreen(50, 20), Sys(COLOR_SCROLLBAR));
    EXPECT_EQ(OnScreen(42, 1), Sys(COLOR_BTNHIGHLIGHT)) << "regular mode looks like a plain bar (a raised arrow box)";
    EXPECT_EQ(UninitializeFlatSB(w), 0);
    EXPECT_FALSE(FlatSB_GetScrollProp(w, WSB_PROP_VSTYLE, &mode));
    EXPECT_EQ(Printed(50, 20), Sys(COLOR_SCROLLBAR)) << "given back to the window, the bar prints again";
}

TEST_F(FlatScrollBars, ModesAreKeptPerBarAndDrawnOnTheScreen) {
    ASSERT_TRUE(InitializeFlatSB(w));
    EXPECT_TRUE(FlatSB_SetScrollProp(w, WSB_PROP_VSTYLE, FSB_FLAT_MODE, TRUE));
    EXPECT_TRUE(FlatSB_SetScrollProp(w, WSB_PROP_HSTYLE, FSB_ENCARTA_MODE, FALSE));
    Pump();
    EXPECT_EQ(OnScreen(42, 1), Sys(COLOR_BTNSHADOW)) << "a flat bar is framed";
    EXPECT_EQ(OnScreen(50, 20), Sys(COLOR_SCROLLBAR));
    int v = -1, h = -1;
    ASSERT_TRUE(FlatSB_GetScrollProp(w, WSB_PROP_VSTYLE, &v));
    ASSERT_TRUE(FlatSB_GetScrollProp(w, WSB_PROP_HSTYLE, &h));
    EXPECT_EQ(v, FSB_FLAT_MODE);
    EXPECT_EQ(h, FSB_ENCARTA_MODE);
    EXPECT_TRUE(InitializeFlatSB(w)) << "a second initialisation keeps the modes";
    ASSERT_TRUE(FlatSB_GetScrollProp(w, WSB_PROP_VSTYLE, &v));
    EXPECT_EQ(v, FSB_FLAT_MODE);
    EXPECT_FALSE(FlatSB_SetScrollProp(w, WSB_PROP_VSTYLE, 7, TRUE)) << "unknown mode";
    EXPECT_FALSE(FlatSB_SetScrollProp(w, 0x400, FSB_FLAT_MODE, TRUE)) << "unknown property";
    EXPECT_FALSE(FlatSB_GetScrollProp(w, WSB_PROP_VSTYLE, nullptr));
    EXPECT_EQ(UninitializeFlatSB(w), 0);
    Pump();
    EXPECT_EQ(OnScreen(42, 1), Sys(COLOR_BTNHIGHLIGHT)) << "a plain bar again";
    DestroyWindow(w);
    EXPECT_FALSE(InitializeFlatSB(w));
    EXPECT_NE(UninitializeFlatSB(w), 0);
    EXPECT_FALSE(FlatSB_SetScrollProp(w, WSB_PROP_VSTYLE, FSB_FLAT_MODE, TRUE));
}
