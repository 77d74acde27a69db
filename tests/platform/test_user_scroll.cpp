// Standard scroll bars on the headless screen: range, page and position clamping, showing
// and hiding the frame bars (the client shrinks, WM_SIZE follows), disabling, their drawing,
// and the mouse on the arrows, the track and the thumb, scripted on the virtual clock.
#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

constexpr int64_t Ms(int64_t ms) { return ms * kTicksPerMs; }

struct Scrolled {
    UINT msg;
    WORD code;
    int pos;       // HIWORD of wParam
    int trackPos;  // SIF_TRACKPOS when the message came
};
std::vector<Scrolled> g_scrolls;
std::vector<std::pair<int, int>> g_sizes;

LRESULT ScrollProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_HSCROLL || msg == WM_VSCROLL) {
        SCROLLINFO si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(hwnd, msg == WM_VSCROLL ? SB_VERT : SB_HORZ, &si);
        g_scrolls.push_back({msg, LOWORD(wParam), HIWORD(wParam), si.nTrackPos});
        return 0;
    }
    if (msg == WM_SIZE) g_sizes.emplace_back(LOWORD(static_cast<DWORD>(lParam)), HIWORD(static_cast<DWORD>(lParam)));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

constexpr const char* kClass = "ScrollTestWindow";

class Scroll : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockMode(ClockMode::Virtual);
        test::ResetUser(320, 240);
        g_scrolls.clear();
        g_sizes.clear();
        WNDCLASSA wc;
        wc.lpfnWndProc = ScrollProc;
        wc.lpszClassName = kClass;
        wc.hbrBackground = CreateSolidBrush(RGB(255, 255, 255));
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        test::ResetUser(320, 240);
        SetClockMode(ClockMode::Real);
    }
    // A 200 x 150 window at (10, 10) without a frame.
    static HWND Make(DWORD style = WS_POPUP | WS_VISIBLE) {
        return CreateWindowExA(0, kClass, "", style, 10, 10, 200, 150, nullptr, nullptr, nullptr, nullptr);
    }
    static void RunFor(int64_t ms) {
        ClockSetHorizon(ClockNowTicks() + Ms(ms));
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        ClockSetHorizon(kNoDeadline);
    }
    static std::pair<int, int> ClientSize(HWND h) {
        RECT r;
        GetClientRect(h, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    static void Set(HWND h, int bar, UINT mask, int mn, int mx, UINT page, int pos) {
        SCROLLINFO si;
        si.fMask = mask;
        si.nMin = mn;
        si.nMax = mx;
        si.nPage = page;
        si.nPos = pos;
        SetScrollInfo(h, bar, &si, TRUE);
    }
    static SCROLLINFO Get(HWND h, int bar) {
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        EXPECT_TRUE(GetScrollInfo(h, bar, &si));
        return si;
    }
    // A press at a screen point, released `holdMs` later.
    static void Click(int x, int y, int64_t holdMs = 10) {
        const int64_t t = ClockElapsedMs();
        test::MouseMove(x, y);
        test::MouseButton(test::Button::Left, true);
        test::ScheduleInput(t + holdMs, [] { test::MouseButton(test::Button::Left, false); });
        RunFor(holdMs + 40);
    }
    static std::vector<WORD> Codes() {
        std::vector<WORD> v;
        for (const Scrolled& s : g_scrolls) v.push_back(s.code);
        return v;
    }
    static uint32_t Px(int x, int y) { return test::ScreenComposite().At(x, y) & 0xFFFFFF; }
    static uint32_t Hex(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
};

// ---------------------------------------------------------------------------------------
// Values

struct ClampCase {
    const char* name;
    int min, max;
    UINT page;
    int pos;
    int wantMin, wantMax;
    UINT wantPage;
    int wantPos;
};

class ScrollClamp : public Scroll, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(ScrollClamp, PositionStaysWithinTheRangeLessThePage) {
    const ClampCase& c = GetParam();
    HWND h = Make();
    Set(h, SB_VERT, SIF_ALL, c.min, c.max, c.page, c.pos);
    const SCROLLINFO si = Get(h, SB_VERT);
    EXPECT_EQ(si.nMin, c.wantMin);
    EXPECT_EQ(si.nMax, c.wantMax);
    EXPECT_EQ(si.nPage, c.wantPage);
    EXPECT_EQ(si.nPos, c.wantPos);
    EXPECT_EQ(GetScrollPos(h, SB_VERT), c.wantPos);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScrollClamp,
                         ::testing::Values(ClampCase{"inside", 0, 100, 10, 50, 0, 100, 10, 50},
                                           ClampCase{"past_the_last_page", 0, 100, 10, 95, 0, 100, 10, 91},
                                           ClampCase{"no_page", 0, 100, 0, 150, 0, 100, 0, 100},
                                           ClampCase{"below_the_start", 0, 100, 10, -5, 0, 100, 10, 0},
                                           ClampCase{"page_of_one", 0, 100, 1, 100, 0, 100, 1, 100},
                                           ClampCase{"page_larger_than_range", 0, 100, 500, 50, 0, 100, 101, 0},
                                           ClampCase{"offset_range", 10, 20, 5, 0, 10, 20, 5, 10},
                                           ClampCase{"negative_range", -50, -10, 0, 0, -50, -10, 0, -10},
                                           ClampCase{"reversed_range_is_none", 20, 10, 0, 15, 0, 0, 0, 0},
                                           ClampCase{"wider_than_31_bits_is_none", -2000000000, 2000000000, 0, 5, 0, 0,
                                                     0, 0},
                                           ClampCase{"full_int_range_page", 0, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0,
                                                     0x7FFFFFFF, 0x7FFFFFFF, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Scroll, SettersReturnWhatCallersExpect) {
    HWND h = Make();
    EXPECT_EQ(Get(h, SB_HORZ).nMax, 100);              // the default range is 0 .. 100
    EXPECT_EQ(SetScrollPos(h, SB_HORZ, 40, TRUE), 0);  // the previous position
    EXPECT_EQ(SetScrollPos(h, SB_HORZ, 400, TRUE), 40);
    EXPECT_EQ(GetScrollPos(h, SB_HORZ), 100);
    EXPECT_TRUE(SetScrollRange(h, SB_HORZ, 0, 30, TRUE));  // the position follows the range
    EXPECT_EQ(GetScrollPos(h, SB_HORZ), 30);
    int mn = -1, mx = -1;
    EXPECT_TRUE(GetScrollRange(h, SB_HORZ, &mn, &mx));
    EXPECT_EQ(mn, 0);
    EXPECT_EQ(mx, 30);
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = 7;
    EXPECT_EQ(SetScrollInfo(h, SB_HORZ, &si, FALSE), 7);  // the new position
    // Each bar keeps its own values.
    EXPECT_EQ(GetScrollPos(h, SB_VERT), 0);
    SetScrollPos(h, SB_CTL, 60, FALSE);
    EXPECT_EQ(GetScrollPos(h, SB_CTL), 60);
    EXPECT_EQ(GetScrollPos(h, SB_HORZ), 7);
    // Bad windows, bars and masks.
    EXPECT_EQ(SetScrollPos(nullptr, SB_HORZ, 1, TRUE), 0);
    EXPECT_EQ(SetScrollPos(h, 7, 1, TRUE), 0);
    si.fMask = 0;
    EXPECT_FALSE(GetScrollInfo(h, SB_HORZ, &si));
    EXPECT_FALSE(GetScrollInfo(h, 5, &si));
    EXPECT_FALSE(GetScrollRange(h, SB_HORZ, nullptr, &mx));
}

// ---------------------------------------------------------------------------------------
// Showing, hiding, disabling

TEST_F(Scroll, ShowingABarShrinksTheClientAndSendsSize) {
    HWND h = Make();
    EXPECT_EQ(ClientSize(h), std::make_pair(200, 150));
    g_sizes.clear();
    EXPECT_TRUE(ShowScrollBar(h, SB_VERT, TRUE));
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(ClientSize(h), std::make_pair(183, 150));
    EXPECT_TRUE(ShowScrollBar(h, SB_BOTH, TRUE));
    EXPECT_EQ(ClientSize(h), std::make_pair(183, 133));
    EXPECT_TRUE(ShowScrollBar(h, SB_VERT, FALSE));
    EXPECT_EQ(ClientSize(h), std::make_pair(200, 133));
    EXPECT_TRUE(ShowScrollBar(h, SB_HORZ, FALSE));
    EXPECT_EQ(ClientSize(h), std::make_pair(200, 150));
    EXPECT_EQ(g_sizes, (std::vector<std::pair<int, int>>{{183, 150}, {183, 133}, {200, 133}, {200, 150}}));
    // Showing what is shown changes nothing.
    ShowScrollBar(h, SB_HORZ, FALSE);
    EXPECT_EQ(g_sizes.size(), 4u);
    // The window rectangle stays.
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.right - r.left, 200);
}

TEST_F(Scroll, RangeAndPageShowTheBarWhenItCanScrollAndHideItWhenNot) {
    HWND h = Make();
    Set(h, SB_HORZ, SIF_RANGE | SIF_PAGE, 0, 999, 200, 0);
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(ClientSize(h), std::make_pair(200, 133));
    Set(h, SB_HORZ, SIF_PAGE, 0, 0, 1000, 0);  // the page holds everything
    EXPECT_FALSE(GetWindowLongA(h, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(ClientSize(h), std::make_pair(200, 150));
    // A position alone shows nothing.
    Set(h, SB_HORZ, SIF_POS, 0, 0, 0, 3);
    EXPECT_FALSE(GetWindowLongA(h, GWL_STYLE) & WS_HSCROLL);
    // Disabled instead of hidden on request.
    Set(h, SB_VERT, SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL, 0, 10, 50, 0);
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_VSCROLL);
    g_scrolls.clear();
    Click(10 + 191, 10 + 140);  // the down arrow of a disabled bar
    EXPECT_TRUE(g_scrolls.empty());
    Set(h, SB_VERT, SIF_RANGE | SIF_DISABLENOSCROLL, 0, 500, 0, 0);
    Click(10 + 191, 10 + 140);
    EXPECT_EQ(Codes(), (std::vector<WORD>{SB_LINEDOWN, SB_ENDSCROLL}));
}

TEST_F(Scroll, EnableScrollBarReportsChangesAndBlocksItsArrows) {
    HWND h = Make();
    Set(h, SB_VERT, SIF_RANGE | SIF_PAGE, 0, 100, 10, 0);
    EXPECT_TRUE(EnableScrollBar(h, SB_VERT, ESB_DISABLE_DOWN));
    EXPECT_FALSE(EnableScrollBar(h, SB_VERT, ESB_DISABLE_DOWN));  // already so
    Click(10 + 191, 10 + 140);                                    // down arrow: blocked
    EXPECT_TRUE(g_scrolls.empty());
    Click(10 + 191, 10 + 5);  // up arrow: still works
    EXPECT_EQ(Codes(), (std::vector<WORD>{SB_LINEUP, SB_ENDSCROLL}));
    EXPECT_TRUE(EnableScrollBar(h, SB_BOTH, ESB_ENABLE_BOTH));
    g_scrolls.clear();
    Click(10 + 191, 10 + 140);
    EXPECT_EQ(Codes(), (std::vector<WORD>{SB_LINEDOWN, SB_ENDSCROLL}));
    EXPECT_FALSE(EnableScrollBar(h, 9, ESB_ENABLE_BOTH));
}

// ---------------------------------------------------------------------------------------
// Drawing

TEST_F(Scroll, BarsAreDrawnWithArrowsAndAThumbWhereThePositionSays) {
    HWND h = Make();
    Set(h, SB_VERT, SIF_RANGE | SIF_PAGE, 0, 99, 10, 0);
    RunFor(20);
    const uint32_t face = Hex(GetSysColor(COLOR_BTNFACE)), track = Hex(GetSysColor(COLOR_SCROLLBAR));
    const uint32_t light = Hex(GetSysColor(COLOR_BTNHIGHLIGHT)), shadow = Hex(GetSysColor(COLOR_BTNSHADOW));
    ASSERT_NE(light, track);
    ASSERT_NE(shadow, track);
    const int x = 10 + 191;  // the middle of the bar
    // Arrow boxes 17 high at both ends (raised: light top, dark bottom), the track of 116
    // between, a thumb of 11 at its top (17 .. 27).
    EXPECT_EQ(Px(x + 4, 10 + 3), face);
    EXPECT_EQ(Px(x + 4, 10 + 0), light);
    EXPECT_EQ(Px(x + 4, 10 + 16), shadow);
    EXPECT_EQ(Px(x + 4, 10 + 146), face);
    EXPECT_EQ(Px(x, 10 + 8), Hex(GetSysColor(COLOR_BTNTEXT)));  // the arrow glyph
    EXPECT_EQ(Px(x, 10 + 17), light);                           // the thumb's top
    EXPECT_EQ(Px(x, 10 + 22), face);
    EXPECT_EQ(Px(x, 10 + 27), shadow);  // ... and its bottom
    EXPECT_EQ(Px(x, 10 + 28), track);
    EXPECT_EQ(Px(x, 10 + 100), track);
    SetScrollPos(h, SB_VERT, 90, TRUE);
    RunFor(20);
    EXPECT_EQ(Px(x, 10 + 17), track);
    EXPECT_EQ(Px(x, 10 + 121), track);  // the thumb at the end of the track (122 .. 132)
    EXPECT_EQ(Px(x, 10 + 122), light);
    EXPECT_EQ(Px(x, 10 + 132), shadow);
    // Hidden: the client's white background is painted where the bar was.
    ShowScrollBar(h, SB_VERT, FALSE);
    RunFor(20);
    EXPECT_EQ(Px(x, 10 + 127), 0xFFFFFFu);
}

// ---------------------------------------------------------------------------------------
// The mouse

TEST_F(Scroll, ArrowsAndTrackSendLineAndPageCodes) {
    HWND h = Make();
    Set(h, SB_VERT, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 40);
    Set(h, SB_HORZ, SIF_RANGE | SIF_PAGE, 0, 99, 10, 0);
    struct Press {
        const char* name;
        int x, y;  // in the window
        UINT msg;
        WORD code;
    };
    // The bars: vertical at x 183 .. 199 (y 0 .. 132), horizontal at y 133 .. 149 (x 0 .. 182).
    // The vertical track is 17 .. 115 with a thumb of 9: at 40 of 90 it lies at
    // 17 + 90 x 40 / 90 = 57 .. 65.
    const Press presses[] = {
        {"up_arrow", 191, 5, WM_VSCROLL, SB_LINEUP},
        {"down_arrow", 191, 125, WM_VSCROLL, SB_LINEDOWN},
        {"track_above_thumb", 191, 30, WM_VSCROLL, SB_PAGEUP},
        {"track_below_thumb", 191, 100, WM_VSCROLL, SB_PAGEDOWN},
        {"left_arrow", 5, 141, WM_HSCROLL, SB_LINEUP},
        {"right_arrow", 175, 141, WM_HSCROLL, SB_LINEDOWN},
        {"horizontal_track", 120, 141, WM_HSCROLL, SB_PAGEDOWN},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(p.name);
        g_scrolls.clear();
        Click(10 + p.x, 10 + p.y);
        ASSERT_EQ(g_scrolls.size(), 2u);
        EXPECT_EQ(g_scrolls[0].msg, p.msg);
        EXPECT_EQ(g_scrolls[0].code, p.code);
        EXPECT_EQ(g_scrolls[1].msg, p.msg);
        EXPECT_EQ(g_scrolls[1].code, SB_ENDSCROLL);
        EXPECT_EQ(GetCapture(), nullptr);
    }
    // The corner between the bars and the client send nothing.
    g_scrolls.clear();
    Click(10 + 191, 10 + 141);
    Click(10 + 50, 10 + 50);
    EXPECT_TRUE(g_scrolls.empty());
    (void)h;
}

TEST_F(Scroll, HeldArrowRepeatsAfterADelay) {
    HWND h = Make();
    Set(h, SB_VERT, SIF_RANGE | SIF_PAGE, 0, 99, 10, 0);
    Click(10 + 191, 10 + 140, 600);  // 400 ms, then every 50 ms
    std::vector<WORD> codes = Codes();
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes.back(), SB_ENDSCROLL);
    codes.pop_back();
    EXPECT_GE(codes.size(), 4u);
    EXPECT_LE(codes.size(), 6u);
    for (WORD c : codes) EXPECT_EQ(c, SB_LINEDOWN);
    (void)h;
}

TEST_F(Scroll, DraggingTheThumbTracksAndLetsGoAtItsPosition) {
    HWND h = Make();
    Set(h, SB_VERT, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0);
    // Thumb at 17 .. 27 of a track 17 .. 133: 105 pixels of travel for 90 positions.
    const int64_t t = ClockElapsedMs();
    test::MouseMove(10 + 191, 10 + 20);
    test::MouseButton(test::Button::Left, true);
    test::ScheduleInput(t + 10, [] { test::MouseMove(10 + 191, 10 + 20 + 35); });   // a third
    test::ScheduleInput(t + 20, [] { test::MouseMove(10 + 250, 10 + 20 + 300); });  // far past the end
    test::ScheduleInput(t + 30, [] { test::MouseMove(10 + 191, 10 + 20 + 70); });   // two thirds
    test::ScheduleInput(t + 40, [] { test::MouseButton(test::Button::Left, false); });
    RunFor(80);
    std::vector<Scrolled> expect = {
        {WM_VSCROLL, SB_THUMBTRACK, 30, 30}, {WM_VSCROLL, SB_THUMBTRACK, 90, 90},
        {WM_VSCROLL, SB_THUMBTRACK, 60, 60}, {WM_VSCROLL, SB_THUMBPOSITION, 60, 60},
        {WM_VSCROLL, SB_ENDSCROLL, 0, 0},
    };
    ASSERT_EQ(g_scrolls.size(), expect.size());
    for (size_t i = 0; i < expect.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g_scrolls[i].code, expect[i].code);
        if (expect[i].code != SB_ENDSCROLL) {
            EXPECT_EQ(g_scrolls[i].pos, expect[i].pos);
            EXPECT_EQ(g_scrolls[i].trackPos, expect[i].trackPos);
        }
    }
    // The position is the application's to set.
    EXPECT_EQ(GetScrollPos(h, SB_VERT), 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Scroll, FlatCallsReachTheSameBars) {
    HWND h = Make();
    ASSERT_TRUE(InitializeFlatSB(h));
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 50;
    si.nPage = 10;
    si.nPos = 45;
    EXPECT_EQ(FlatSB_SetScrollInfo(h, SB_HORZ, &si, TRUE), 41);
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(FlatSB_SetScrollPos(h, SB_HORZ, 3, TRUE), 41);
    EXPECT_EQ(GetScrollPos(h, SB_HORZ), 3);
    EXPECT_EQ(FlatSB_GetScrollPos(h, SB_HORZ), 3);
    EXPECT_TRUE(FlatSB_SetScrollRange(h, SB_HORZ, 0, 2, TRUE));
    int mn = 0, mx = 0;
    EXPECT_TRUE(FlatSB_GetScrollRange(h, SB_HORZ, &mn, &mx));
    EXPECT_EQ(mx, 2);
    EXPECT_TRUE(FlatSB_EnableScrollBar(h, SB_HORZ, ESB_DISABLE_BOTH));
    // A page of 10 over 0 .. 2 cannot scroll: the range hid the bar.
    EXPECT_FALSE(GetWindowLongA(h, GWL_STYLE) & WS_HSCROLL);
    EXPECT_TRUE(FlatSB_ShowScrollBar(h, SB_VERT, TRUE));
    EXPECT_EQ(ClientSize(h), std::make_pair(183, 150));
    si.fMask = SIF_ALL;
    EXPECT_TRUE(FlatSB_GetScrollInfo(h, SB_HORZ, &si));
    EXPECT_EQ(si.nPage, 3u);
}

}  // namespace
