// The window manager: tree and geometry, z-order, the queue and timers on the virtual
// clock, painting and invalidation, DCs and redirection, input routing and the rest of
// USER, checked through messages and the screen composite.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "platform/user_region_internal.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

constexpr int64_t Ms(int64_t ms) { return ms * kTicksPerMs; }

struct Logged {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    int64_t ms;
    bool operator==(const Logged&) const = default;
};

std::vector<Logged> g_log;
std::map<HWND, COLORREF> g_paintColour;  // windows that paint their client in one colour
std::map<HWND, RECT> g_lastPaintRect;
std::map<HWND, int> g_paintCount;
std::map<HWND, BOOL> g_lastErase;
std::map<HWND, LRESULT> g_answer;  // fixed answers per window for WM_MOUSEACTIVATE etc.

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH b = CreateSolidBrush(colour);
    HGDIOBJ old = SelectObject(dc, b);
    PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
    SelectObject(dc, old);
    DeleteObject(b);
}

bool Interesting(UINT m) { return m != WM_NCHITTEST && m != WM_SETCURSOR && m != WM_GETTEXT && m != WM_NCCALCSIZE; }

LRESULT CALLBACK_Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (Interesting(msg)) g_log.push_back({hwnd, msg, wParam, lParam, ClockElapsedMs()});
    if (msg == WM_PAINT) {
        auto it = g_paintColour.find(hwnd);
        if (it == g_paintColour.end()) return DefWindowProcA(hwnd, msg, wParam, lParam);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        g_lastPaintRect[hwnd] = ps.rcPaint;
        g_lastErase[hwnd] = ps.fErase;
        ++g_paintCount[hwnd];
        RECT rc;
        GetClientRect(hwnd, &rc);
        Fill(dc, rc, it->second);  // the whole client: the DC clips
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND && !GetClassLongPtrA(hwnd, GCL_HBRBACKGROUND)) return 1;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

const char* kClass = "TestWindow";
const char* kDblClass = "TestWindowDbl";
const char* kBgClass = "TestWindowBg";

class User : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockMode(ClockMode::Virtual);
        test::ResetUser(320, 240);
        g_log.clear();
        g_paintColour.clear();
        g_lastPaintRect.clear();
        g_paintCount.clear();
        g_lastErase.clear();
        g_answer.clear();
        WNDCLASSA wc;
        wc.lpfnWndProc = CALLBACK_Proc;
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
        wc.style = CS_DBLCLKS;
        wc.lpszClassName = kDblClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
        wc.style = 0;
        wc.hbrBackground = CreateSolidBrush(RGB(0, 128, 0));
        wc.lpszClassName = kBgClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        test::ResetUser(320, 240);
        SetClockMode(ClockMode::Real);
    }

    static HWND Top(int x, int y, int w, int h, DWORD style = WS_POPUP | WS_VISIBLE, DWORD ex = 0,
                    const char* cls = kClass, HWND owner = nullptr) {
        return CreateWindowExA(ex, cls, "", style, x, y, w, h, owner, nullptr, nullptr, nullptr);
    }
    static HWND Child(HWND parent, int x, int y, int w, int h, DWORD style = WS_CHILD | WS_VISIBLE,
                      const char* cls = kClass) {
        return CreateWindowExA(0, cls, "", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    }
    // Dispatches everything retrievable now (never advances time).
    static void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    // Runs the message loop until the clock's horizon, `ms` from now.
    static void RunFor(int64_t ms) {
        ClockSetHorizon(ClockNowTicks() + Ms(ms));
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        ClockSetHorizon(kNoDeadline);
    }
    static std::vector<Logged> Only(UINT msg) {
        std::vector<Logged> out;
        for (const Logged& l : g_log)
            if (l.msg == msg) out.push_back(l);
        return out;
    }
    static uint32_t Px(int x, int y) { return test::ScreenComposite().At(x, y); }
    static constexpr uint32_t Hex(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
};

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

// ---------------------------------------------------------------- tree and geometry

TEST_F(User, TreeGeometryAndCoordinateMapping) {
    HWND top = Top(30, 20, 200, 150, WS_POPUP | WS_VISIBLE | WS_CAPTION);  // caption: dialog frame 3 + 19
    HWND child = Child(top, 10, 5, 50, 40, WS_CHILD | WS_VISIBLE | WS_BORDER);
    HWND grand = Child(child, 2, 3, 10, 10);
    RECT r;
    ASSERT_TRUE(GetWindowRect(top, &r));
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{30, 20, 230, 170}));
    ASSERT_TRUE(GetClientRect(top, &r));
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{0, 0, 194, 125}));
    ASSERT_TRUE(GetWindowRect(child, &r));  // client of top at (33, 42)
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{43, 47, 93, 87}));
    POINT p{0, 0};
    ClientToScreen(grand, &p);  // child's client at (44, 48), grand at +2,+3
    EXPECT_EQ(p.x, 46);
    EXPECT_EQ(p.y, 51);
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 13);
    EXPECT_EQ(p.y, 9);
    POINT pts[2] = {{0, 0}, {5, 5}};
    int off = MapWindowPoints(grand, top, pts, 2);
    EXPECT_EQ(pts[0].x, 13);
    EXPECT_EQ(pts[1].y, 14);
    EXPECT_EQ(GET_X_LPARAM(off), 13);
    EXPECT_EQ(GetParent(grand), child);
    EXPECT_TRUE(IsChild(top, grand));
    EXPECT_FALSE(IsChild(grand, top));
    EXPECT_EQ(GetAncestor(grand, GA_ROOT), top);
    char name[64];
    EXPECT_EQ(GetClassNameA(child, name, 5), 4);
    EXPECT_STREQ(name, "Test");
}

TEST_F(User, DefaultFrameIsPaintedInSystemColours) {
    HWND w = Top(10, 10, 100, 80, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_VSCROLL, WS_EX_CLIENTEDGE);
    g_paintColour[w] = kRed;
    Pump();
    EXPECT_EQ(Px(10, 10), Hex(GetSysColor(COLOR_BTNFACE)));             // dialog frame, 3 pixels
    EXPECT_EQ(Px(50, 15), Hex(GetSysColor(COLOR_ACTIVECAPTION)));       // the active window's caption
    EXPECT_EQ(Px(50, 10 + 3 + 19), Hex(GetSysColor(COLOR_BTNSHADOW)));  // client edge, 2 pixels
    // The vertical bar (columns 88 .. 104, rows 34 .. 84): arrow boxes 17 high at both ends,
    // the track between them filled by the thumb of the default range.
    EXPECT_EQ(Px(10 + 100 - 3 - 2 - 5, 40), Hex(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(Px(10 + 100 - 3 - 2 - 5, 50), Hex(GetSysColor(COLOR_BTNSHADOW)));
    EXPECT_EQ(Px(10 + 100 - 3 - 2 - 5, 60), Hex(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(Px(50, 50), Hex(kRed));
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 100 - 2 * 5 - 17);
    EXPECT_EQ(c.bottom, 80 - 2 * 5 - 19);
}

TEST_F(User, StaleAndForeignIntegersFailHarmlessly) {
    HWND w = Top(0, 0, 10, 10);
    ASSERT_TRUE(DestroyWindow(w));
    RECT r{1, 2, 3, 4};
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(SendMessageA(w, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(GetDC(w), nullptr);
    EXPECT_EQ(SetTimer(w, 1, 10, nullptr), 0u);
    EXPECT_FALSE(SetWindowPos(w, nullptr, 0, 0, 5, 5, 0));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetLastError(), 1400u);  // ERROR_INVALID_WINDOW_HANDLE
    EXPECT_EQ(HandleFromInt(12345), nullptr);
    EXPECT_EQ(HandleFromInt(reinterpret_cast<intptr_t>(w)), nullptr);
}

TEST_F(User, OversizedWindowsExistButCannotPaint) {
    HWND w = Top(0, 0, 1'000'000, 50);
    ASSERT_NE(w, nullptr);
    g_paintColour[w] = kRed;
    EXPECT_EQ(GetDC(w), nullptr);
    EXPECT_NO_THROW(Pump());
    SetWindowPos(w, nullptr, 0, 0, 40, 40, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(w, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Px(20, 20), Hex(kRed));  // back within bounds it paints again
}

TEST_F(User, CreationAndDestructionMessageOrder) {
    HWND owner = Top(0, 0, 50, 50);
    HWND owned = Top(0, 0, 20, 20, WS_POPUP, 0, kClass, owner);
    HWND child = Child(owner, 0, 0, 10, 10);
    std::vector<UINT> created;
    for (const Logged& l : g_log)
        if (l.hwnd == child) created.push_back(l.msg);
    ASSERT_GE(created.size(), 4u);
    EXPECT_EQ((std::vector<UINT>(created.begin(), created.begin() + 4)),
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    g_log.clear();
    ASSERT_TRUE(DestroyWindow(owner));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Logged& l : g_log)
        if (l.msg == WM_DESTROY || l.msg == WM_NCDESTROY) order.emplace_back(l.hwnd, l.msg);
    std::vector<std::pair<HWND, UINT>> want{{owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {owner, WM_DESTROY},
                                            {child, WM_DESTROY}, {child, WM_NCDESTROY}, {owner, WM_NCDESTROY}};
    EXPECT_EQ(order, want);
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(User, ZOrderTopmostBandAndOwnedWindows) {
    HWND a = Top(0, 0, 10, 10);
    HWND b = Top(0, 0, 10, 10);
    HWND t = Top(0, 0, 10, 10, WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST);
    HWND c = Top(0, 0, 10, 10);  // shown and activated last, still below the topmost one
    auto order = [] {
        std::vector<HWND> v;
        for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) v.push_back(h);
        return v;
    };
    EXPECT_EQ(order(), (std::vector<HWND>{t, c, b, a}));
    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{t, a, c, b}));
    SetWindowPos(t, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{t, a, c, b}));
    SetWindowPos(t, b, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{a, c, b, t}));
    SetWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // An owned window stays above its (topmost) owner.
    HWND owned = Top(0, 0, 10, 10, WS_POPUP | WS_VISIBLE, 0, kClass, b);
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{owned, b, a, c, t}));
    EXPECT_EQ(GetWindow(owned, GW_OWNER), b);
    EXPECT_EQ(GetParent(owned), b);
}

TEST_F(User, ForeignParentAndHandleFromInt) {
    HWND host = test::CreateForeignWindow(180, 136);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(HandleFromInt(reinterpret_cast<intptr_t>(host)), host);
    RECT r;
    ASSERT_TRUE(GetWindowRect(host, &r));
    EXPECT_EQ(r.right - r.left, 180);
    HWND form = Top(500, 400, 180, 136, WS_POPUP);
    EXPECT_EQ(SetParent(form, host), GetDesktopWindow());
    EXPECT_TRUE(GetWindowLongA(form, GWL_STYLE) & WS_CHILD);
    SetWindowPos(form, nullptr, 0, 0, 180, 136, SWP_NOZORDER | SWP_SHOWWINDOW);
    g_paintColour[form] = kRed;
    Pump();
    EXPECT_EQ(GetParent(form), host);
    EXPECT_EQ(Px(90, 60), Hex(kRed));  // the form draws into the host on screen
}

// ---------------------------------------------------------------- queue and timers

// Timers, a message posted by a worker thread at a virtual time, and the horizon.
std::vector<Logged> RunTimerScenario() {
    std::vector<Logged> out;
    HWND w = CreateWindowExA(0, kClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetTimer(w, 1, 30, nullptr);
    SetTimer(w, 2, 50, nullptr);
    for (int64_t at : {45, 100}) {
        ClockSchedule(Ms(at), [w, at] {
            std::thread t([w, at] { PostMessageA(w, WM_USER, static_cast<WPARAM>(at), 0); });
            t.join();
        });
    }
    g_log.clear();
    ClockSetHorizon(Ms(160));
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) DispatchMessageA(&m);
    for (const Logged& l : g_log)
        if (l.msg == WM_TIMER || l.msg == WM_USER) out.push_back(l);
    return out;
}

TEST_F(User, TimersAndPostedMessagesFollowVirtualTimeRepeatably) {
    std::vector<Logged> first = RunTimerScenario();
    std::vector<std::pair<int64_t, int>> got;  // (ms, timer id or 100 + posted value)
    for (const Logged& l : first)
        got.emplace_back(l.ms, l.msg == WM_TIMER ? static_cast<int>(l.wParam) : 1000 + static_cast<int>(l.wParam));
    std::vector<std::pair<int64_t, int>> want{{30, 1},     {45, 1045}, {50, 2},  {60, 1},  {90, 1},
                                              {100, 1100}, {100, 2},   {120, 1}, {150, 1}, {150, 2}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(ClockElapsedMs(), 160);  // GetMessage returned 0 at the horizon

    SetClockMode(ClockMode::Virtual);
    test::ResetUser(320, 240);
    WNDCLASSA wc;
    wc.lpfnWndProc = CALLBACK_Proc;
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
    std::vector<Logged> second = RunTimerScenario();
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].ms, first[i].ms);
        EXPECT_EQ(second[i].msg, first[i].msg);
        EXPECT_EQ(second[i].wParam, first[i].wParam);
    }
}

TEST_F(User, TimersCoalesceRestartAndDie) {
    HWND w = Top(0, 0, 10, 10, WS_POPUP);
    SetTimer(w, 7, 10, nullptr);
    ClockAdvance(Ms(95));  // nine periods pass without a pump: one WM_TIMER waits
    MSG m;
    int timers = 0;
    while (PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) ++timers;
    EXPECT_EQ(timers, 1);
    ClockAdvance(Ms(9));  // next due 10 ms after the dispatch, not at the next multiple
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    ClockAdvance(Ms(1));
    EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 7u);
    // Setting it again restarts the interval and drops the pending one.
    SetTimer(w, 7, 0, nullptr);  // 0 is raised to the minimum of 10 ms
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    ClockAdvance(Ms(10));
    EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_FALSE(KillTimer(w, 7));
    // Thread timers get their own ids and call their procedure on dispatch.
    static int called = 0;
    called = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { ++called; });
    EXPECT_NE(id, 0u);
    ClockAdvance(Ms(20));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.hwnd, nullptr);
    DispatchMessageA(&m);
    EXPECT_EQ(called, 1);
}

TEST_F(User, PeekFiltersRemovalAndQuitOrder) {
    HWND a = Top(0, 0, 10, 10, WS_POPUP);
    HWND b = Top(0, 0, 10, 10, WS_POPUP);
    HWND ac = Child(a, 0, 0, 5, 5, WS_CHILD);
    PostMessageA(a, WM_USER + 1, 0, 0);
    PostQuitMessage(3);
    PostMessageA(b, WM_USER + 2, 0, 0);
    PostMessageA(ac, WM_USER + 3, 0, 0);
    PostMessageA(nullptr, WM_USER + 4, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 2);
    ASSERT_TRUE(PeekMessageA(&m, a, WM_USER + 3, WM_USER + 3, PM_REMOVE));  // a's child matches a
    EXPECT_EQ(m.hwnd, ac);
    ASSERT_TRUE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));  // thread messages only
    EXPECT_EQ(m.message, WM_USER + 4);
    std::vector<UINT> rest;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) rest.push_back(m.message);
    EXPECT_EQ(rest, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_QUIT}));
    PostQuitMessage(5);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.wParam, 5u);
}

TEST_F(User, PostFromAnotherThreadWakesARealClockWait) {
    SetClockMode(ClockMode::Real);
    HWND w = Top(0, 0, 5, 5, WS_POPUP);
    std::thread t([w] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessageA(w, WM_USER + 9, 0, 0);
    });
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));  // no timer, no input: only the post ends the wait
    EXPECT_EQ(m.message, WM_USER + 9);
    t.join();
}

TEST_F(User, SendMessageFromAnotherThreadRunsOnTheUiThread) {
    static std::thread::id ranOn;
    struct P {
        static LRESULT Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
            if (msg == WM_USER) {
                ranOn = std::this_thread::get_id();
                return 42;
            }
            return DefWindowProcA(h, msg, wp, lp);
        }
    };
    WNDCLASSA wc;
    wc.lpfnWndProc = P::Proc;
    wc.lpszClassName = "CrossThread";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "CrossThread", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
    LRESULT result = 0;
    std::thread t([&] {
        result = SendMessageA(w, WM_USER, 0, 0);
        PostQuitMessage(0);
    });
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) DispatchMessageA(&m);
    t.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// ---------------------------------------------------------------- painting

TEST_F(User, PaintOnlyForInvalidAreasAndClippedToThem) {
    HWND w = Top(10, 10, 100, 80);
    g_paintColour[w] = kBlue;
    Pump();
    EXPECT_EQ(g_paintCount[w], 1);
    EXPECT_EQ(Px(50, 50), Hex(kBlue));
    Pump();
    EXPECT_EQ(g_paintCount[w], 1);  // validated: no second WM_PAINT

    g_paintColour[w] = kRed;
    RECT r{10, 10, 30, 20};
    InvalidateRect(w, &r, FALSE);
    Pump();
    EXPECT_EQ(g_paintCount[w], 2);
    RECT p = g_lastPaintRect[w];
    EXPECT_EQ((std::vector<LONG>{p.left, p.top, p.right, p.bottom}), (std::vector<LONG>{10, 10, 30, 20}));
    EXPECT_EQ(Px(10 + 10, 10 + 10), Hex(kRed));
    EXPECT_EQ(Px(10 + 29, 10 + 19), Hex(kRed));
    EXPECT_EQ(Px(10 + 30, 10 + 10), Hex(kBlue));  // outside the update region: untouched
    EXPECT_EQ(Px(10 + 9, 10 + 10), Hex(kBlue));

    // Two separate areas: one WM_PAINT, clipped to both, not to their bounding box.
    RECT a{0, 0, 5, 5}, b{50, 50, 60, 60};
    g_paintColour[w] = kGreen;
    InvalidateRect(w, &a, FALSE);
    InvalidateRect(w, &b, FALSE);
    Pump();
    EXPECT_EQ(g_paintCount[w], 3);
    EXPECT_EQ(Px(10 + 2, 10 + 2), Hex(kGreen));
    EXPECT_EQ(Px(10 + 55, 10 + 55), Hex(kGreen));
    EXPECT_EQ(Px(10 + 30, 10 + 30), Hex(kBlue));

    // Validated areas are not painted.
    InvalidateRect(w, nullptr, FALSE);
    ValidateRect(w, nullptr);
    Pump();
    EXPECT_EQ(g_paintCount[w], 3);
    RECT half{0, 0, 50, 80};
    InvalidateRect(w, nullptr, FALSE);
    ValidateRect(w, &half);
    RECT u;
    EXPECT_TRUE(GetUpdateRect(w, &u, FALSE));
    EXPECT_EQ((std::vector<LONG>{u.left, u.top, u.right, u.bottom}), (std::vector<LONG>{50, 0, 100, 80}));
}

TEST_F(User, UpdateWindowAndRedrawWindowPaintNow) {
    HWND parent = Top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE, 0, kBgClass);
    HWND child = Child(parent, 10, 10, 20, 20);
    g_paintColour[parent] = kBlue;
    g_paintColour[child] = kRed;
    Pump();
    g_log.clear();
    InvalidateRect(parent, nullptr, TRUE);
    ASSERT_TRUE(UpdateWindow(parent));  // no pumping: sent now, the parent before its child
    std::vector<HWND> painted;
    for (const Logged& l : Only(WM_PAINT)) painted.push_back(l.hwnd);
    EXPECT_EQ(painted, (std::vector<HWND>{parent, child}));
    EXPECT_TRUE(g_lastErase[parent] == FALSE);
    g_log.clear();
    UpdateWindow(parent);  // nothing invalid: nothing sent
    EXPECT_TRUE(Only(WM_PAINT).empty());
    // The renderer's flags: 0x45 leaves the children alone, 0x85 includes them.
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN);
    RECT u;
    EXPECT_FALSE(GetUpdateRect(child, &u, FALSE));
    EXPECT_TRUE(GetUpdateRect(parent, &u, FALSE));
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    EXPECT_TRUE(GetUpdateRect(child, &u, FALSE));
    // RDW_ERASENOW erases and frames at once, the painting comes later.
    g_log.clear();
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ERASENOW | RDW_NOCHILDREN);
    std::vector<UINT> msgs;
    for (const Logged& l : g_log)
        if (l.hwnd == parent) msgs.push_back(l.msg);
    EXPECT_EQ(msgs, (std::vector<UINT>{WM_NCPAINT, WM_ERASEBKGND}));
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetUpdateRgn(parent, rgn, FALSE), SIMPLEREGION);
    DeleteObject(rgn);
    RedrawWindow(parent, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(GetUpdateRect(parent, &u, FALSE));
    EXPECT_FALSE(GetUpdateRect(child, &u, FALSE));
}

TEST_F(User, ExceptionsStopAtTheWindowProcedure) {
    struct P {
        static LRESULT Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
            if (msg == WM_USER) throw std::runtime_error("handler failed");
            return DefWindowProcA(h, msg, wp, lp);
        }
    };
    WNDCLASSA wc;
    wc.lpfnWndProc = P::Proc;
    wc.lpszClassName = "Throws";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "Throws", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(SendMessageA(w, WM_USER, 0, 0), 0);
    PostMessageA(w, WM_USER, 0, 0);
    EXPECT_NO_THROW(Pump());
    SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { throw std::runtime_error("timer failed"); });
    ClockAdvance(Ms(10));
    EXPECT_NO_THROW(Pump());
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(User, EraseBackgroundAndPaintOrder) {
    HWND parent = Top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE, 0, kBgClass);
    HWND child = Child(parent, 10, 10, 20, 20);
    g_paintColour[child] = kRed;
    Pump();
    EXPECT_EQ(Px(50, 50), Hex(RGB(0, 128, 0)));  // the class brush erased the parent
    EXPECT_EQ(Px(15, 15), Hex(kRed));
    EXPECT_FALSE(g_lastErase[parent]);  // DefWindowProc erased it: fErase FALSE
    std::vector<HWND> painted;
    for (const Logged& l : Only(WM_PAINT)) painted.push_back(l.hwnd);
    EXPECT_EQ(painted, (std::vector<HWND>{parent, child}));  // a window before its children
}

TEST_F(User, ChildClippingAndZOrderInTheComposite) {
    HWND parent = Top(0, 0, 200, 150);
    HWND a = Child(parent, 0, 0, 100, 100);
    HWND b = Child(parent, 50, 50, 200, 200);  // created later: below a; reaches outside the parent
    g_paintColour[parent] = kBlue;
    g_paintColour[a] = kGreen;
    g_paintColour[b] = kRed;
    Pump();
    EXPECT_EQ(Px(75, 75), Hex(kGreen));  // a is above b
    EXPECT_EQ(Px(120, 120), Hex(kRed));
    EXPECT_EQ(Px(150, 20), Hex(kBlue));
    EXPECT_EQ(Px(210, 120), 0u);  // clipped to the parent: the desktop shows
    // b repaints everything it owns: a keeps its pixels.
    InvalidateRect(b, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Px(75, 75), Hex(kGreen));
    // Raise b above a.
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Pump();
    EXPECT_EQ(Px(75, 75), Hex(kRed));
    // Top-level windows compose in z-order.
    HWND over = Top(100, 100, 50, 50);
    g_paintColour[over] = kMagenta;
    Pump();
    EXPECT_EQ(Px(120, 120), Hex(kMagenta));
    SetWindowPos(over, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(Px(120, 120), Hex(kRed));
}

TEST_F(User, ClipChildrenKeepsChildPixelsWhenTheParentPaints) {
    for (bool clip : {false, true}) {
        SCOPED_TRACE(clip);
        HWND parent = Top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE | (clip ? WS_CLIPCHILDREN : 0));
        HWND child = Child(parent, 10, 10, 20, 20);
        g_paintColour[parent] = kBlue;
        g_paintColour[child] = kRed;
        Pump();
        g_paintCount[child] = 0;
        InvalidateRect(parent, nullptr, FALSE);  // children are included unless WS_CLIPCHILDREN
        MSG m;
        ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
        ASSERT_EQ(m.hwnd, parent);
        DispatchMessageA(&m);  // the parent alone
        EXPECT_EQ(Px(15, 15), clip ? Hex(kRed) : Hex(kBlue));
        Pump();
        EXPECT_EQ(g_paintCount[child], clip ? 0 : 1);
        EXPECT_EQ(Px(15, 15), Hex(kRed));
        DestroyWindow(parent);
    }
}

TEST_F(User, NoRedrawLeavesPixelsOfHiddenAndMovedWindows) {
    HWND parent = Top(0, 0, 100, 100);
    HWND render = Child(parent, 20, 20, 30, 30);
    g_paintColour[parent] = kBlue;
    g_paintColour[render] = kMagenta;
    Pump();
    ASSERT_EQ(Px(30, 30), Hex(kMagenta));
    SetWindowPos(render, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    EXPECT_EQ(Px(30, 30), Hex(kMagenta));
    // Shown again without redraw and hidden normally: the parent repaints the area.
    SetWindowPos(render, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
    SetWindowPos(render, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    EXPECT_EQ(Px(30, 30), Hex(kBlue));

    // A pop-up hidden without redraw leaves its picture on the window below it.
    HWND popup = Top(80, 80, 30, 30, WS_POPUP | WS_VISIBLE, 0, kClass, parent);
    g_paintColour[popup] = kGreen;
    Pump();
    ASSERT_EQ(Px(90, 90), Hex(kGreen));
    SetWindowPos(popup, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    EXPECT_EQ(Px(90, 90), Hex(kGreen));
    EXPECT_EQ(Px(105, 105), Hex(kGreen));  // also where it hung over the desktop
    InvalidateRect(parent, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Px(90, 90), Hex(kBlue));
    EXPECT_EQ(Px(105, 105), Hex(kGreen));
}

TEST_F(User, NewTopLevelStartsFromTheScreenBelowAndResizeInvalidation) {
    HWND below = Top(0, 0, 100, 100);
    g_paintColour[below] = kBlue;
    Pump();
    HWND frozen = Top(20, 20, 40, 40);  // paints nothing (default WM_PAINT validates)
    ValidateRect(frozen, nullptr);
    Pump();
    EXPECT_EQ(Px(30, 30), Hex(kBlue));
    g_paintColour[below] = kRed;
    InvalidateRect(below, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Px(30, 30), Hex(kBlue));  // the frozen copy covers it
    EXPECT_EQ(Px(10, 10), Hex(kRed));
    // Growing a window without CS_HREDRAW/CS_VREDRAW invalidates only the new part.
    g_paintColour[frozen] = kGreen;
    SetWindowPos(frozen, nullptr, 0, 0, 60, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump();
    RECT p = g_lastPaintRect[frozen];
    EXPECT_EQ((std::vector<LONG>{p.left, p.top, p.right, p.bottom}), (std::vector<LONG>{40, 0, 60, 40}));
    EXPECT_EQ(Px(30, 30), Hex(kBlue));
    EXPECT_EQ(Px(70, 30), Hex(kGreen));
}

TEST_F(User, GetDcOfScreenReadsTheComposite) {
    HWND w = Top(40, 30, 50, 50);
    g_paintColour[w] = kMagenta;
    Pump();
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(WindowFromDC(screen), nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 10, 10);
    HGDIOBJ old = SelectObject(mem, bmp);
    ASSERT_TRUE(BitBlt(mem, 0, 0, 10, 10, screen, 35, 25, SRCCOPY));
    EXPECT_EQ(GetPixel(mem, 9, 9), kMagenta);  // screen (44, 34)
    EXPECT_EQ(GetPixel(mem, 0, 0), RGB(0, 0, 0));
    // Drawing into the screen DC changes nothing on screen.
    Fill(screen, RECT{0, 0, 320, 240}, kGreen);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(Px(60, 60), Hex(kMagenta));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
}

TEST_F(User, WindowDcsClipAndReportTheirOrigin) {
    HWND w = Top(30, 40, 100, 80, WS_POPUP | WS_VISIBLE | WS_BORDER);
    HWND c = Child(w, 10, 10, 20, 20);
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(WindowFromDC(dc), w);
    POINT org;
    ASSERT_TRUE(GetDCOrgEx(dc, &org));
    EXPECT_EQ(org.x, 31);
    EXPECT_EQ(org.y, 41);
    RECT big{-50, -50, 500, 500};
    Fill(dc, big, kRed);
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    EXPECT_EQ(Px(31, 41), Hex(kRed));
    EXPECT_EQ(Px(45, 55), Hex(kRed));  // no WS_CLIPCHILDREN: the child area is drawn over
    EXPECT_NE(Px(30, 40), Hex(kRed));  // the frame is not the client's
    HDC wdc = GetWindowDC(w);
    Fill(wdc, big, kRed);
    ReleaseDC(w, wdc);
    EXPECT_EQ(Px(30, 40), Hex(kRed));
    EXPECT_EQ(Px(131, 40), 0u);
    (void)c;
}

TEST_F(User, DcRedirectionNestsAndLeavesOtherWindowsAlone) {
    HWND w = Top(0, 0, 50, 50);
    HWND other = Top(60, 0, 50, 50);
    Pump();
    HDC memA = CreateCompatibleDC(nullptr);
    HDC memB = CreateCompatibleDC(nullptr);
    PushDCRedirect(w, memA);
    EXPECT_EQ(GetDC(w), memA);
    PushDCRedirect(w, memB);
    EXPECT_EQ(GetDC(w), memB);
    EXPECT_EQ(GetWindowDC(w), memB);
    EXPECT_EQ(GetDCEx(w, nullptr, DCX_WINDOW), memB);
    EXPECT_EQ(ReleaseDC(w, memB), 1);
    HDC real = GetDC(other);
    EXPECT_NE(real, memA);
    EXPECT_NE(real, memB);
    ReleaseDC(other, real);
    HDC screen = GetDC(nullptr);
    EXPECT_NE(screen, memB);
    ReleaseDC(nullptr, screen);
    InvalidateRect(w, nullptr, TRUE);
    PAINTSTRUCT ps;
    EXPECT_EQ(BeginPaint(w, &ps), memB);
    EXPECT_EQ(EndPaint(w, &ps), -1) << "the redirected EndPaint releases nothing and answers -1";
    RECT u;
    EXPECT_TRUE(GetUpdateRect(w, &u, FALSE));  // redirected painting does not validate
    {
        DCRedirectSuspend suspend;
        HDC d = GetDC(w);
        EXPECT_NE(d, memB);
        EXPECT_EQ(WindowFromDC(d), w);
        ReleaseDC(w, d);
    }
    PopDCRedirect();
    EXPECT_EQ(GetDC(w), memA);
    PopDCRedirect();
    HDC d = GetDC(w);
    EXPECT_NE(d, memA);
    EXPECT_EQ(WindowFromDC(d), w);
    ReleaseDC(w, d);
    EXPECT_TRUE(DeleteDC(memA));
    EXPECT_TRUE(DeleteDC(memB));
}

TEST_F(User, PrintPaintsFrameBackgroundClientAndChildrenIntoADc) {
    HWND w = Top(0, 0, 40, 40, WS_POPUP | WS_BORDER, 0, kBgClass);
    HWND c = Child(w, 5, 5, 10, 10, WS_CHILD | WS_VISIBLE, kBgClass);
    (void)c;
    HDC mem = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 40, 40);
    ReleaseDC(nullptr, screen);
    SelectObject(mem, bmp);
    PatBlt(mem, 0, 0, 40, 40, WHITENESS);
    SendMessageA(w, WM_PRINT, reinterpret_cast<WPARAM>(mem),
                 PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CLIENT | PRF_CHILDREN);
    EXPECT_EQ(GetPixel(mem, 0, 0), RGB(0, 0, 0));    // the one-pixel frame, COLOR_WINDOWFRAME
    EXPECT_EQ(GetPixel(mem, 1, 1), RGB(0, 128, 0));  // the class background
    EXPECT_EQ(GetPixel(mem, 39, 39), RGB(0, 0, 0));
    // The check for visibility skips a hidden window.
    PatBlt(mem, 0, 0, 40, 40, WHITENESS);
    SendMessageA(w, WM_PRINT, reinterpret_cast<WPARAM>(mem), PRF_CHECKVISIBLE | PRF_NONCLIENT | PRF_ERASEBKGND);
    EXPECT_EQ(GetPixel(mem, 0, 0), RGB(255, 255, 255));
    bool sawPrintClient = false, sawChildErase = false;
    for (const Logged& l : g_log) {
        sawPrintClient |= l.msg == WM_PRINTCLIENT && l.hwnd == w;
        sawChildErase |= l.msg == WM_ERASEBKGND && l.hwnd == c;
    }
    EXPECT_TRUE(sawPrintClient);
    EXPECT_TRUE(sawChildErase);
    DeleteDC(mem);
    DeleteObject(bmp);
}

TEST_F(User, WindowRegionsClipTheScreenAndHitTesting) {
    HWND w = Top(0, 0, 100, 100);
    g_paintColour[w] = kRed;
    Pump();
    HRGN rgn = CreateRectRgn(0, 0, 50, 100);
    EXPECT_NE(SetWindowRgn(w, rgn, TRUE), 0);
    EXPECT_EQ(Px(25, 50), Hex(kRed));
    EXPECT_EQ(Px(75, 50), 0u);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(w, copy), SIMPLEREGION);
    RECT box;
    GetRgnBox(copy, &box);
    EXPECT_EQ(box.right, 50);
    EXPECT_EQ(WindowFromPoint(POINT{75, 50}), nullptr);
    EXPECT_EQ(WindowFromPoint(POINT{25, 50}), w);
    EXPECT_NE(SetWindowRgn(w, nullptr, TRUE), 0);
    EXPECT_EQ(GetWindowRgn(w, copy), ERROR);
    DeleteObject(copy);
}

// ---------------------------------------------------------------- input

TEST_F(User, MouseMessagesCarryClientCoordinatesAndSkipDisabledWindows) {
    HWND form = Top(50, 40, 200, 150, WS_POPUP | WS_VISIBLE | WS_CAPTION);  // client at (53, 62)
    HWND panel = Child(form, 0, 0, 200, 100, WS_CHILD | WS_VISIBLE | WS_DISABLED);
    HWND picture = Child(panel, 10, 10, 50, 50);
    HWND button = Child(form, 0, 100, 50, 20);
    Pump();
    g_log.clear();
    test::MouseMove(53 + 20, 62 + 20);  // over the picture inside the disabled panel
    test::MouseMove(53 + 5, 62 + 110);  // over the button
    test::MouseMove(53 + 5, 62 + 110);  // no motion: no message
    test::MouseButton(test::Button::Left, true);
    Pump();
    auto moves = Only(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].hwnd, form);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), 20);
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lParam), 20);
    EXPECT_EQ(moves[1].hwnd, button);
    EXPECT_EQ(GET_X_LPARAM(moves[1].lParam), 5);
    EXPECT_EQ(GET_Y_LPARAM(moves[1].lParam), 10);
    auto downs = Only(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, button);
    EXPECT_EQ(downs[0].wParam & MK_LBUTTON, MK_LBUTTON);
    // Signed coordinates and capture.
    SetCapture(button);
    test::MouseMove(20, 20);
    Pump();
    auto last = Only(WM_MOUSEMOVE).back();
    EXPECT_EQ(last.hwnd, button);
    EXPECT_EQ(GET_X_LPARAM(last.lParam), 20 - 53);
    EXPECT_EQ(GET_Y_LPARAM(last.lParam), 20 - 162);
    HWND other = Top(0, 0, 5, 5, WS_POPUP);
    SetCapture(other);
    Pump();
    ASSERT_FALSE(Only(WM_CAPTURECHANGED).empty());
    EXPECT_EQ(Only(WM_CAPTURECHANGED).back().hwnd, button);
    ReleaseCapture();
    (void)picture;
}

TEST_F(User, TransparentWindowsPassThePointerOn) {
    struct P {
        static LRESULT Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
            if (msg == WM_NCHITTEST) return HTTRANSPARENT;
            return CALLBACK_Proc(h, msg, wp, lp);
        }
    };
    WNDCLASSA wc;
    wc.lpfnWndProc = P::Proc;
    wc.lpszClassName = "Transparent";
    RegisterClassA(&wc);
    HWND form = Top(0, 0, 100, 100);
    HWND below = Child(form, 10, 10, 50, 50);
    HWND glass = Child(form, 0, 0, 100, 100, WS_CHILD | WS_VISIBLE, "Transparent");
    SetWindowPos(glass, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Pump();
    g_log.clear();
    test::MouseMove(20, 20);
    test::MouseMove(80, 80);
    Pump();
    auto moves = Only(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].hwnd, below);
    EXPECT_EQ(moves[1].hwnd, form);
}

struct DblCase {
    const char* name;
    int64_t gapMs;
    int dx;
    bool classDbl;
    UINT second;
};

class DoubleClick : public User, public ::testing::WithParamInterface<DblCase> {};

TEST_P(DoubleClick, ByTimeDistanceAndClassStyle) {
    const DblCase& c = GetParam();
    HWND w = Top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE, 0, c.classDbl ? kDblClass : kClass);
    Pump();
    test::MouseMove(50, 50);
    test::MouseButton(test::Button::Left, true);
    test::MouseButton(test::Button::Left, false);
    ClockAdvance(Ms(c.gapMs));
    test::MouseMove(50 + c.dx, 50);
    test::MouseButton(test::Button::Left, true);
    test::MouseButton(test::Button::Left, false);
    Pump();
    std::vector<UINT> presses;
    for (const Logged& l : g_log)
        if (l.hwnd == w && (l.msg == WM_LBUTTONDOWN || l.msg == WM_LBUTTONDBLCLK)) presses.push_back(l.msg);
    EXPECT_EQ(presses, (std::vector<UINT>{WM_LBUTTONDOWN, c.second}));
}

INSTANTIATE_TEST_SUITE_P(User, DoubleClick,
                         ::testing::Values(DblCase{"quick_same_place", 100, 0, true, WM_LBUTTONDBLCLK},
                                           DblCase{"two_pixels_away", 100, 2, true, WM_LBUTTONDBLCLK},
                                           DblCase{"three_pixels_away", 100, 3, true, WM_LBUTTONDOWN},
                                           DblCase{"at_500_ms", 500, 0, true, WM_LBUTTONDBLCLK},
                                           DblCase{"too_slow", 501, 0, true, WM_LBUTTONDOWN},
                                           DblCase{"class_without_dblclks", 100, 0, false, WM_LBUTTONDOWN}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(User, DraggingTheFrameOrTheSizeGripResizes) {
    HWND form = Top(10, 10, 100, 80, WS_POPUP | WS_VISIBLE | WS_THICKFRAME);
    Pump();
    int64_t t = ClockElapsedMs();
    test::MouseMove(108, 88);  // the bottom-right corner of the frame
    test::MouseButton(test::Button::Left, true);
    test::ScheduleInput(t + 10, [] { test::MouseMove(128, 98); });
    test::ScheduleInput(t + 20, [] { test::MouseButton(test::Button::Left, false); });
    RunFor(50);
    RECT r;
    GetWindowRect(form, &r);
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{10, 10, 130, 100}));
    EXPECT_EQ(GetCapture(), nullptr);
    std::vector<UINT> loop;
    for (const Logged& l : g_log)
        if (l.msg == WM_ENTERSIZEMOVE || l.msg == WM_EXITSIZEMOVE || l.msg == WM_NCLBUTTONDOWN) loop.push_back(l.msg);
    EXPECT_EQ(loop, (std::vector<UINT>{WM_NCLBUTTONDOWN, WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE}));
    // A size grip asks the form directly; Escape puts the window back.
    t = ClockElapsedMs();
    test::ScheduleInput(t + 10, [] { test::MouseMove(200, 200); });
    test::ScheduleInput(t + 20, [] { test::Key(VK_ESCAPE, true); });
    PostMessageA(form, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTBOTTOMRIGHT), MAKELPARAM(128, 98));
    RunFor(50);
    GetWindowRect(form, &r);
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{10, 10, 130, 100}));
}

TEST_F(User, KeysGoToFocusThenActiveWindowWithTheirBits) {
    HWND form = Top(0, 0, 100, 100);
    HWND edit = Child(form, 0, 0, 10, 10);
    EXPECT_EQ(GetActiveWindow(), form);
    EXPECT_EQ(GetFocus(), form);  // DefWindowProc focused the activated window
    g_log.clear();
    test::Key('A', true);
    test::Key('A', true);  // auto-repeat
    test::Key('A', false);
    EXPECT_EQ(SetFocus(edit), form);
    test::Key(VK_MENU, true);
    test::Key(VK_F4, true);
    test::Key(VK_F4, false);
    test::Key(VK_MENU, false);
    test::Key(VK_F10, true);
    Pump();
    std::vector<std::tuple<HWND, UINT, WPARAM>> keys;
    std::vector<LPARAM> bits;
    for (const Logged& l : g_log)
        if (l.msg >= WM_KEYFIRST && l.msg <= WM_KEYLAST) {
            keys.emplace_back(l.hwnd, l.msg, l.wParam);
            bits.push_back(l.lParam);
        }
    std::vector<std::tuple<HWND, UINT, WPARAM>> want{{form, WM_KEYDOWN, 'A'},
                                                     {form, WM_KEYDOWN, 'A'},
                                                     {form, WM_KEYUP, 'A'},
                                                     {edit, WM_SYSKEYDOWN, WPARAM{VK_MENU}},
                                                     {edit, WM_SYSKEYDOWN, WPARAM{VK_F4}},
                                                     {edit, WM_SYSKEYUP, WPARAM{VK_F4}},
                                                     {edit, WM_SYSKEYUP, WPARAM{VK_MENU}},
                                                     {edit, WM_SYSKEYDOWN, WPARAM{VK_F10}},
                                                     {form, WM_CHAR, 'a'},
                                                     {form, WM_CHAR, 'a'}};  // translation queues the characters behind
    EXPECT_EQ(keys, want);
    ASSERT_EQ(bits.size(), want.size());
    EXPECT_EQ(bits[0] & (1 << 30), 0);
    EXPECT_NE(bits[1] & (1 << 30), 0);  // repeat: previously down
    EXPECT_NE(static_cast<uint32_t>(bits[2]) & 0x80000000u, 0u);
    EXPECT_NE(bits[4] & (1 << 29), 0);  // Alt held
    EXPECT_TRUE(GetAsyncKeyState(VK_F10) & 0x8000);
    EXPECT_TRUE(GetKeyState(VK_F10) & 0x8000);
    auto focus = Only(WM_SETFOCUS);
    ASSERT_FALSE(focus.empty());
    EXPECT_EQ(focus.back().hwnd, edit);
    EXPECT_EQ(reinterpret_cast<HWND>(focus.back().wParam), form);
}

TEST_F(User, ActivationFocusAndDisabledWindows) {
    HWND a = Top(0, 0, 50, 50);
    HWND b = Top(60, 0, 50, 50);
    EXPECT_EQ(GetActiveWindow(), b);
    g_log.clear();
    EXPECT_EQ(SetActiveWindow(a), b);
    auto acts = Only(WM_ACTIVATE);
    ASSERT_EQ(acts.size(), 2u);
    EXPECT_EQ(acts[0].hwnd, b);
    EXPECT_EQ(LOWORD(acts[0].wParam), WA_INACTIVE);
    EXPECT_EQ(acts[1].hwnd, a);
    EXPECT_EQ(LOWORD(acts[1].wParam), WA_ACTIVE);
    // A click on an inactive window activates it with WA_CLICKACTIVE.
    g_log.clear();
    test::MouseMove(70, 10);
    test::MouseButton(test::Button::Left, true);
    test::MouseButton(test::Button::Left, false);
    EXPECT_EQ(GetActiveWindow(), b);
    EXPECT_EQ(LOWORD(Only(WM_ACTIVATE).back().wParam), WA_CLICKACTIVE);
    // Disabled and hidden windows take no focus and no input.
    HWND c = Child(b, 0, 0, 10, 10, WS_CHILD | WS_VISIBLE | WS_DISABLED);
    EXPECT_EQ(SetFocus(c), nullptr);
    HWND hidden = Child(b, 20, 0, 10, 10, WS_CHILD);
    EXPECT_EQ(SetFocus(hidden), nullptr);
    EnableWindow(b, FALSE);
    Pump();
    g_log.clear();
    test::MouseMove(75, 15);
    test::Key('Q', true);
    Pump();
    EXPECT_TRUE(Only(WM_MOUSEMOVE).empty());
    EXPECT_TRUE(Only(WM_KEYDOWN).empty());
    EXPECT_FALSE(IsWindowEnabled(b));
    test::Deactivate();
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(User, ScriptedInputArrivesAtItsTimes) {
    HWND w = Top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE, 0, kDblClass);
    ASSERT_TRUE(test::SetInputScript("100 move 10 10; 250 click 20 20;400 key 27 ; 600 dblclick 30 30"));
    Pump();
    g_log.clear();
    RunFor(1000);
    std::vector<std::pair<int64_t, UINT>> got;
    for (const Logged& l : g_log)
        if (l.hwnd == w &&
            ((l.msg >= WM_MOUSEFIRST && l.msg <= WM_MOUSELAST) || l.msg == WM_KEYDOWN || l.msg == WM_KEYUP))
            got.emplace_back(l.ms, l.msg);
    std::vector<std::pair<int64_t, UINT>> want{{100, WM_MOUSEMOVE},     {250, WM_MOUSEMOVE},   {250, WM_LBUTTONDOWN},
                                               {250, WM_LBUTTONUP},     {400, WM_KEYDOWN},     {400, WM_KEYUP},
                                               {600, WM_MOUSEMOVE},     {600, WM_LBUTTONDOWN}, {600, WM_LBUTTONUP},
                                               {600, WM_LBUTTONDBLCLK}, {600, WM_LBUTTONUP}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(Only(WM_KEYDOWN).back().wParam, static_cast<WPARAM>(VK_ESCAPE));
    // Any injection can be scheduled the same way.
    int64_t start = ClockElapsedMs();
    test::ScheduleInput(start + 50, [] { test::MouseButton(test::Button::Right, true); });
    test::ScheduleInput(start + 20, [] { test::MouseMove(40, 40); });
    g_log.clear();
    RunFor(100);
    std::vector<std::pair<int64_t, UINT>> later;
    for (const Logged& l : g_log)
        if (l.msg == WM_MOUSEMOVE || l.msg == WM_RBUTTONDOWN) later.emplace_back(l.ms - start, l.msg);
    EXPECT_EQ(later, (std::vector<std::pair<int64_t, UINT>>{{20, WM_MOUSEMOVE}, {50, WM_RBUTTONDOWN}}));
    for (const char* bad : {"10 jump 1 2", "x move 1 2", "10 move 1", "10 key 999", "10 move 1 2 3", "-5 key 27",
                            "99999999999999999 key 27", "10 move 99999 1", "10 key 0x1B junk"})
        EXPECT_FALSE(test::SetInputScript(bad)) << bad;
}

// Drags, held keys and the wheel in a script: a press and a release each at its own point.
TEST_F(User, ScriptedDragsHeldKeysAndTheWheel) {
    HWND w = Top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE, 0, kDblClass);
    ASSERT_TRUE(
        test::SetInputScript("100 down 10 10; 150 move 30 20; 200 up 40 25; 300 rdown 5 5; 310 rup 5 5; "
                             "400 keydown 16; 450 keyup 16; 500 wheel -120"));
    Pump();
    g_log.clear();
    RunFor(700);
    std::vector<std::pair<int64_t, UINT>> got;
    for (const Logged& l : g_log)
        if (l.hwnd == w && ((l.msg >= WM_MOUSEFIRST && l.msg <= WM_MOUSELAST) || l.msg == WM_KEYDOWN ||
                            l.msg == WM_KEYUP || l.msg == WM_MOUSEWHEEL))
            got.emplace_back(l.ms, l.msg);
    const std::vector<std::pair<int64_t, UINT>> want{{100, WM_MOUSEMOVE},   {100, WM_LBUTTONDOWN}, {150, WM_MOUSEMOVE},
                                                     {200, WM_MOUSEMOVE},   {200, WM_LBUTTONUP},   {300, WM_MOUSEMOVE},
                                                     {300, WM_RBUTTONDOWN}, {310, WM_RBUTTONUP},   {400, WM_KEYDOWN},
                                                     {450, WM_KEYUP},       {500, WM_MOUSEWHEEL}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(Only(WM_LBUTTONUP).back().lParam, MAKELPARAM(40, 25));
    EXPECT_EQ(static_cast<SHORT>(HIWORD(Only(WM_MOUSEWHEEL).back().wParam)), -120);
    for (const char* bad :
         {"10 down 1", "10 up a b", "10 wheel", "10 wheel 40000", "10 keydown 0", "10 keyup 256", "10 rdown 1 2 3"})
        EXPECT_FALSE(test::SetInputScript(bad)) << bad;
}

// Cursors made from AND and XOR planes are cursors of their own until destroyed.
TEST_F(User, CreatedCursorsAreDistinctUntilDestroyed) {
    uint8_t andPlane[128], xorPlane[128];
    std::memset(andPlane, 0xFF, sizeof andPlane);
    std::memset(xorPlane, 0, sizeof xorPlane);
    HCURSOR a = CreateCursor(nullptr, 15, 15, 32, 32, andPlane, xorPlane);
    HCURSOR b = CreateCursor(nullptr, 0, 0, 32, 32, andPlane, xorPlane);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(CreateCursor(nullptr, 0, 0, 0, 32, andPlane, xorPlane), nullptr);
    EXPECT_EQ(CreateCursor(nullptr, 0, 0, 32, 32, nullptr, xorPlane), nullptr);
    HCURSOR old = SetCursor(a);
    EXPECT_EQ(test::CurrentCursor(), a);
    EXPECT_FALSE(DestroyCursor(a));  // in use
    SetCursor(old);
    EXPECT_TRUE(DestroyCursor(a));
    EXPECT_FALSE(DestroyCursor(a));  // already gone
    EXPECT_TRUE(DestroyCursor(b));
}

// ---------------------------------------------------------------- the rest of USER

TEST_F(User, CursorCaretMetricsAndSystemColours) {
    HCURSOR arrow = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW)), arrow);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(test::CurrentCursor(), arrow);  // the pointer starts as the arrow
    EXPECT_TRUE(test::CursorVisible());
    EXPECT_EQ(SetCursor(nullptr), arrow);  // 0 hides the pointer
    EXPECT_FALSE(test::CursorVisible());
    SetCursor(arrow);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(test::CursorVisible());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(test::CursorVisible());

    // Over a client area, DefWindowProc's WM_SETCURSOR sets the class cursor.
    HCURSOR hand = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_HAND));
    WNDCLASSA wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hCursor = hand;
    wc.lpszClassName = "HandCursor";
    RegisterClassA(&wc);
    CreateWindowExA(0, "HandCursor", "", WS_POPUP | WS_VISIBLE, 200, 200, 20, 20, nullptr, nullptr, nullptr, nullptr);
    test::MouseMove(205, 205);
    EXPECT_EQ(test::CurrentCursor(), hand);

    EXPECT_FALSE(HideCaret(nullptr));  // no caret: nothing to do
    HWND w = Top(0, 0, 20, 20);
    ASSERT_TRUE(CreateCaret(w, nullptr, 0, 12));
    test::CaretState cs;
    ASSERT_TRUE(test::GetCaretState(&cs));
    EXPECT_EQ(cs.width, 1);
    EXPECT_TRUE(ShowCaret(w));
    EXPECT_TRUE(HideCaret(nullptr));
    SetCaretPos(3, 4);
    test::GetCaretState(&cs);
    EXPECT_EQ(cs.hideCount, 1);
    EXPECT_EQ(cs.pos.x, 3);
    EXPECT_TRUE(DestroyCaret());
    EXPECT_FALSE(ShowCaret(w));

    struct M {
        int index, value;
    };
    for (M m :
         {M{SM_CXSCREEN, 320}, M{SM_CYSCREEN, 240}, M{SM_CYCAPTION, 19}, M{SM_CXDOUBLECLK, 4}, M{SM_CXVSCROLL, 17},
          M{SM_CXEDGE, 2}, M{SM_CMONITORS, 1}, M{SM_CYVIRTUALSCREEN, 240}, M{SM_REMOTESESSION, 0}})
        EXPECT_EQ(GetSystemMetrics(m.index), m.value) << m.index;
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    EXPECT_EQ(GetSysColor(COLOR_INFOBK), RGB(255, 255, 225));
    EXPECT_EQ(GetSysColor(25), 0u);
    EXPECT_EQ(GetSysColorBrush(COLOR_WINDOW), GetSysColorBrush(COLOR_WINDOW));
}

TEST_F(User, MessageBoxesAreRecordedAndAnswered) {
    HWND w = Top(0, 0, 10, 10);
    ClockAdvance(Ms(7));
    EXPECT_EQ(MessageBoxA(w, "Файл не найден", "", MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
    test::QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_OKCANCEL), IDCANCEL);
    auto boxes = test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].owner, w);
    EXPECT_EQ(boxes[0].text, "Файл не найден");
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(boxes[0].time, GetTickCount());
    EXPECT_EQ(boxes[2].answer, IDCANCEL);
}

TEST_F(User, ClipboardFormatsAndOwnership) {
    UINT raw = RegisterClipboardFormatA("Imaging Raw");
    EXPECT_GE(raw, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormatA("imaging RAW"), raw);
    EXPECT_NE(RegisterClipboardFormatA("Imaging Vector"), raw);
    EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
    HWND a = Top(0, 0, 5, 5, WS_POPUP);
    HWND b = Top(0, 0, 5, 5, WS_POPUP);
    EXPECT_EQ(SetClipboardData(CF_TEXT, nullptr), nullptr);  // not open
    ASSERT_TRUE(OpenClipboard(a));
    EXPECT_FALSE(OpenClipboard(b));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_FALSE(IsClipboardFormatAvailable(raw));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 4);
    EXPECT_EQ(SetClipboardData(raw, block), block);
    EXPECT_EQ(SetClipboardData(CF_TEXT, text), text);
    EXPECT_TRUE(IsClipboardFormatAvailable(raw));
    EXPECT_EQ(GetClipboardData(raw), block);
    EXPECT_EQ(GlobalSize(block), 16u);
    EXPECT_TRUE(EmptyClipboard());  // the clipboard owned the blocks and frees them
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalSize(text), 0u);
    EXPECT_EQ(GetClipboardData(raw), nullptr);
    CloseClipboard();
    EXPECT_TRUE(OpenClipboard(b));
    EXPECT_EQ(GetOpenClipboardWindow(), b);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
}

TEST_F(User, ShowWindowAndSetWindowPosNotifications) {
    HWND w = Top(10, 10, 50, 50, WS_POPUP);
    g_log.clear();
    EXPECT_FALSE(ShowWindow(w, SW_SHOWNA));
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(GetActiveWindow(), nullptr);  // shown without activation
    EXPECT_TRUE(ShowWindow(w, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(w));
    g_log.clear();
    SetWindowPos(w, nullptr, 20, 30, 60, 70, SWP_NOZORDER | SWP_NOACTIVATE);
    std::vector<UINT> msgs;
    for (const Logged& l : g_log) msgs.push_back(l.msg);
    EXPECT_EQ(msgs, (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
    EXPECT_EQ(Only(WM_SIZE)[0].lParam, MAKELPARAM(60, 70));
    EXPECT_EQ(Only(WM_MOVE)[0].lParam, MAKELPARAM(20, 30));
    ShowWindow(w, SW_SHOWMAXIMIZED);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{0, 0, 320, 240}));
    EXPECT_TRUE(IsZoomed(w));
    EXPECT_EQ(GetActiveWindow(), w);
    ShowWindow(w, SW_RESTORE);
    GetWindowRect(w, &r);
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{20, 30, 80, 100}));
    // Minimised: off the screen and inactive, back in place on restore.
    g_paintColour[w] = kRed;
    Pump();
    ASSERT_EQ(Px(30, 40), Hex(kRed));
    ShowWindow(w, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(w));
    EXPECT_EQ(Px(30, 40), 0u);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(Only(WM_SIZE).back().wParam, SIZE_MINIMIZED);
    ShowWindow(w, SW_RESTORE);
    Pump();
    EXPECT_FALSE(IsIconic(w));
    EXPECT_EQ(Px(30, 40), Hex(kRed));
    // Owned pop-ups are hidden with their owner.
    HWND owned = Top(0, 0, 5, 5, WS_POPUP | WS_VISIBLE, 0, kClass, w);
    ShowWindow(w, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(owned));
    ShowWindow(w, SW_SHOW);
    // Style changes through SetWindowLong answer the previous value.
    LONG old = SetWindowLongA(w, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN));
    EXPECT_EQ(static_cast<DWORD>(old) & WS_CLIPCHILDREN, 0u);
    EXPECT_TRUE(GetWindowLongA(w, GWL_STYLE) & WS_CLIPCHILDREN);
    // A frame change takes effect with SWP_FRAMECHANGED.
    SetWindowLongA(w, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_CAPTION));
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 70);
    SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 70 - 3 - 19 - 3);
    EXPECT_EQ(c.right, 60 - 6);
}

}  // namespace

namespace {

struct RectCase {
    RECT a, b;
    RECT inter;
    BOOL interOk;
    RECT uni;
    RECT sub;
    BOOL subOk;
};

std::vector<LONG> V(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

TEST(Rectangles, IntersectUnionSubtract) {
    const RectCase cases[] = {
        // b covers a's left part over its full height: the right part is left
        {{0, 0, 10, 10}, {-5, -5, 4, 20}, {0, 0, 4, 10}, TRUE, {-5, -5, 10, 20}, {4, 0, 10, 10}, TRUE},
        // b covers the bottom over the full width
        {{0, 0, 10, 10}, {0, 6, 10, 10}, {0, 6, 10, 10}, TRUE, {0, 0, 10, 10}, {0, 0, 10, 6}, TRUE},
        // a hole in the middle: a stays
        {{0, 0, 10, 10}, {3, 3, 6, 6}, {3, 3, 6, 6}, TRUE, {0, 0, 10, 10}, {0, 0, 10, 10}, TRUE},
        // a band through the middle leaves two pieces: a stays
        {{0, 0, 10, 10}, {0, 4, 10, 6}, {0, 4, 10, 6}, TRUE, {0, 0, 10, 10}, {0, 0, 10, 10}, TRUE},
        // b covers a: empty
        {{2, 2, 4, 4}, {0, 0, 10, 10}, {2, 2, 4, 4}, TRUE, {0, 0, 10, 10}, {0, 0, 0, 0}, FALSE},
        // apart, touching at the exclusive edge
        {{0, 0, 5, 5}, {5, 0, 9, 5}, {0, 0, 0, 0}, FALSE, {0, 0, 9, 5}, {0, 0, 5, 5}, TRUE},
        // an empty b is ignored by the union
        {{1, 1, 3, 3}, {7, 7, 7, 9}, {0, 0, 0, 0}, FALSE, {1, 1, 3, 3}, {1, 1, 3, 3}, TRUE},
    };
    for (const RectCase& c : cases) {
        RECT r{9, 9, 9, 9};
        EXPECT_EQ(IntersectRect(&r, &c.a, &c.b), c.interOk);
        EXPECT_EQ(V(r), V(c.inter));
        UnionRect(&r, &c.a, &c.b);
        EXPECT_EQ(V(r), V(c.uni));
        EXPECT_EQ(SubtractRect(&r, &c.a, &c.b), c.subOk);
        EXPECT_EQ(V(r), V(c.sub));
    }
    RECT e{5, 5, 5, 9}, z{};
    RECT u{1, 1, 1, 1};
    EXPECT_FALSE(UnionRect(&u, &e, &z));
    EXPECT_EQ(V(u), V(RECT{}));
    RECT p{0, 0, 10, 10};
    EXPECT_TRUE(PtInRect(&p, POINT{0, 9}));
    EXPECT_FALSE(PtInRect(&p, POINT{10, 5}));
    EXPECT_TRUE(IsRectEmpty(&e));
    InflateRect(&p, 2, -1);
    OffsetRect(&p, 1, 1);
    EXPECT_EQ(V(p), (std::vector<LONG>{-1, 2, 13, 10}));
    EXPECT_FALSE(SetRect(nullptr, 0, 0, 1, 1));
}

}  // namespace

namespace {

TEST(RectSetTest, KeepsDisjointCoverage) {
    // Random edits against a pixel map: the set must cover exactly the marked pixels.
    uint32_t seed = 12345;
    auto rnd = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<uint32_t>(n));
    };
    win::user::RectSet set;
    bool map[40][40] = {};
    for (int step = 0; step < 300; ++step) {
        int l = rnd(40), t = rnd(40);
        RECT r{l, t, std::min(40, l + 1 + rnd(15)), std::min(40, t + 1 + rnd(15))};
        int op = rnd(3);
        if (op == 0) set.Add(r);
        if (op == 1) set.Subtract(r);
        if (op == 2 && step % 10 == 0) set.Intersect(RECT{5, 5, 35, 35});
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                bool in = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                if (op == 0 && in) map[y][x] = true;
                if (op == 1 && in) map[y][x] = false;
                if (op == 2 && step % 10 == 0 && !(x >= 5 && x < 35 && y >= 5 && y < 35)) map[y][x] = false;
            }
        long area = 0;
        for (const RECT& a : set.Rects()) area += static_cast<long>(a.right - a.left) * (a.bottom - a.top);
        long marked = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                marked += map[y][x];
                ASSERT_EQ(set.Contains(x, y), map[y][x]) << "step " << step << " at " << x << "," << y;
            }
        ASSERT_EQ(area, marked) << "overlapping rectangles at step " << step;
    }
}

}  // namespace
