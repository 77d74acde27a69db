// Range bars: handle geometry, zones, positions and their clamping, centring, the mouse (arrow
// auto-repeat on the virtual clock, track paging, handle drag, wheel) and the classic look.
#include <gtest/gtest.h>

#include <vector>

#include "pix32/Pix32_RangeBars.h"
#include "platform/user_testhooks.h"
#include "test_MicroTiles_Rect.h"
#include "test_RangeBars_fixture.h"

namespace pix32 {
namespace {

class TestBar : public TCustomRangeBar {
public:
    explicit TestBar(cl::TComponent* o) : TCustomRangeBar(o) {}
    using TCustomRangeBar::GetHandleRect;
};

class RangeBarTest : public testing::ControlTest {
protected:
    // A bar on the form at (10, 10) of the given size.
    TestBar* MakeBar(int w, int h, bool arrows = true, TBorderStyle border = cl::bsNone) {
        auto* b = new TestBar(form);
        b->SetParent(form);
        b->SetBorderStyle(border);
        b->SetShowArrows(arrows);
        if (h > w) b->SetKind(sbVertical);
        b->SetBounds(10, 10, w, h);
        return b;
    }
};

TEST_F(RangeBarTest, HandleGeometryTable) {
    struct Case {
        int range, window, track;
        float position;
        int start, size;
    };
    // clang-format off
    const Case cases[] = {
        {100, 20, 200, 0, 0, 40},       {100, 20, 200, 40, 80, 40},     {100, 20, 200, 80, 160, 40},
        {1000, 10, 100, 990, 83, 17},   {1000, 10, 100, 0, 0, 17},      {1000, 10, 100, 495, 42, 17},
        {100, 200, 200, 0, 0, 200},  // the window covers the range: the whole track
    };
    // clang-format on
    for (const Case& c : cases) {
        TestBar* b = MakeBar(c.track, 16, false);
        b->SetParams(c.range, c.window);
        b->SetPosition(c.position);
        const win::RECT h = b->GetHandleRect();
        EXPECT_EQ(c.start, h.left) << c.range << "/" << c.window << " at " << c.position;
        EXPECT_EQ(c.size, h.right - h.left) << c.range << "/" << c.window << " at " << c.position;
        EXPECT_EQ(0, h.top);
        EXPECT_EQ(16, h.bottom);
        delete b;
    }
    // With arrows the track lies between the buttons; a track of 17 pixels has no handle.
    TestBar* a = MakeBar(232, 16);
    a->SetParams(100, 20);
    EXPECT_EQ(16, a->GetButtonSize());
    EXPECT_EQ((win::RECT{16, 0, 56, 16}), a->GetHandleRect());
    TestBar* tiny = MakeBar(17, 16, false);
    tiny->SetParams(100, 20);
    EXPECT_EQ((win::RECT{0, 0, 0, 0}), tiny->GetHandleRect());
}

TEST_F(RangeBarTest, ButtonSizeTable) {
    struct Case {
        int w, h, buttonSize;
        TRBStyle style;
        bool arrows;
        int expected;
    };
    // clang-format off
    const Case cases[] = {
        {100, 16, 0, rbsDefault, true, 16},  {100, 40, 0, rbsDefault, true, 32}, {20, 16, 0, rbsDefault, true, 10},
        {100, 16, 20, rbsDefault, true, 20}, {100, 16, 0, rbsMac, true, 15},     {100, 16, 0, rbsDefault, false, 0},
        {3, 2, 0, rbsMac, true, 0},  // 3 div 2 - 1 = 0
        {16, 100, 0, rbsDefault, true, 16},  // vertical: the width is the thickness
    };
    // clang-format on
    for (const Case& c : cases) {
        TestBar* b = MakeBar(c.w, c.h, c.arrows);
        b->SetButtonSize(c.buttonSize);
        b->SetStyle(c.style);
        EXPECT_EQ(c.expected, b->GetButtonSize()) << c.w << "x" << c.h;
        delete b;
    }
}

TEST_F(RangeBarTest, ZonesAlongTheBar) {
    TestBar* b = MakeBar(232, 16);
    b->SetParams(100, 20);
    b->SetPosition(40);  // handle from 16 + 80 to 16 + 120
    struct Case {
        int x, y;
        TRBZone zone;
    };
    const Case cases[] = {{0, 8, rzPrevButton},   {15, 8, rzPrevButton},  {16, 8, rzPrevTrack},  {95, 8, rzPrevTrack},
                          {96, 8, rzHandle},      {135, 8, rzHandle},     {136, 8, rzNextTrack}, {215, 8, rzNextTrack},
                          {216, 8, rzNextButton}, {231, 0, rzNextButton}, {232, 8, rzNone},      {50, 16, rzNone},
                          {-1, 8, rzNone}};
    for (const Case& c : cases) EXPECT_EQ(c.zone, b->GetZone(c.x, c.y)) << c.x << "," << c.y;
}

TEST_F(RangeBarTest, PositionIsClampedAndReported) {
    TestBar* b = MakeBar(100, 16);
    b->SetParams(100, 20);
    int changes = 0, userChanges = 0;
    b->OnChange = [&](cl::TObject*) { ++changes; };
    b->OnUserChange = [&](cl::TObject*) { ++userChanges; };
    b->SetPosition(-5);
    EXPECT_EQ(0.0f, b->Position());
    EXPECT_EQ(0, changes);  // 0 already
    b->SetPosition(100);
    EXPECT_EQ(80.0f, b->Position());
    EXPECT_EQ(1, changes);
    b->SetPosition(90);  // clamped to the same 80: nothing fires
    EXPECT_EQ(1, changes);
    b->SetPosition(12.5f);
    EXPECT_EQ(12.5f, b->Position());
    EXPECT_EQ(2, changes);
    EXPECT_EQ(0, userChanges);  // programmatic changes are not the user's

    b->SetParams(-10, -3);
    EXPECT_EQ(0, b->Range());
    EXPECT_EQ(0, b->Window());
    EXPECT_EQ(0.0f, b->Position());
}

TEST_F(RangeBarTest, WindowZeroMeansTheBarsLength) {
    TestBar* h = MakeBar(150, 16);
    h->SetParams(400, 0);
    EXPECT_EQ(150, h->EffectiveWindow());
    TestBar* v = MakeBar(16, 120);
    v->SetParams(400, 0);
    EXPECT_EQ(120, v->EffectiveWindow());
    h->SetParams(400, 30);
    EXPECT_EQ(30, h->EffectiveWindow());
}

TEST_F(RangeBarTest, CentredBarKeepsTheMiddleOfItsWindow) {
    TestBar* b = MakeBar(100, 16);
    b->SetCentered(true);
    b->SetParams(200, 50);
    // From an empty range the window is centred: (200 x 0.5) - 25.
    EXPECT_FLOAT_EQ(75.0f, b->Position());
    b->SetPosition(25);  // middle at 50 of 200: a quarter
    b->SetParams(400, 50);
    EXPECT_FLOAT_EQ(75.0f, b->Position());  // middle at 100 of 400
    b->SetParams(400, 100);                 // the window grows around the same middle
    EXPECT_FLOAT_EQ(50.0f, b->Position());

    // Resizing a centred bar with window 0 keeps the middle too.
    TestBar* r = MakeBar(100, 16);
    r->SetCentered(true);
    r->SetParams(1000, 0);  // effective window 100, centred: 450
    EXPECT_FLOAT_EQ(450.0f, r->Position());
    r->SetBounds(10, 10, 200, 16);
    EXPECT_EQ(200, r->EffectiveWindow());
    EXPECT_FLOAT_EQ(400.0f, r->Position());
}

TEST_F(RangeBarTest, HoldingAnArrowRepeatsOnTheVirtualClock) {
    TestBar* b = MakeBar(200, 16);
    b->SetParams(100, 40);  // positions 0 .. 60, increment 8
    form->Show();
    cl::Application->ProcessMessages();
    std::vector<std::pair<int64_t, float>> seen;
    b->OnUserChange = [&](cl::TObject*) { seen.emplace_back(NowMs(), b->Position()); };
    MoveTo(b, 195, 8);  // the next button
    const int64_t t0 = NowMs();
    Press(true);
    ASSERT_EQ(1u, seen.size());  // once at once
    EXPECT_EQ(8.0f, seen[0].second);
    RunFor(599);
    EXPECT_EQ(1u, seen.size());
    RunFor(1);
    ASSERT_EQ(2u, seen.size());  // again after 600 ms
    EXPECT_EQ(600, seen[1].first - t0);
    RunFor(2000);
    // Then every 100 ms until the end: 24, 32, 40, 48, 56, 60.
    ASSERT_EQ(8u, seen.size());
    for (size_t i = 2; i < seen.size(); ++i)
        EXPECT_EQ(600 + 100 * static_cast<int64_t>(i - 1), seen[i].first - t0) << i;
    EXPECT_EQ(60.0f, b->Position());
    EXPECT_EQ(3, b->TimerMode());  // at the end the bar only tracks the hot zone
    Press(false);
    EXPECT_EQ(rzNone, b->DragZone());
}

TEST_F(RangeBarTest, PressOnTheTrackPagesByTheWindow) {
    TestBar* b = MakeBar(232, 16);
    b->SetParams(100, 20);
    form->Show();
    cl::Application->ProcessMessages();
    int userChanges = 0;
    b->OnUserChange = [&](cl::TObject*) { ++userChanges; };
    MoveTo(b, 200, 8);  // the track after the handle
    Press(true);
    EXPECT_EQ(20.0f, b->Position());
    RunFor(600);
    EXPECT_EQ(40.0f, b->Position());
    Press(false);
    RunFor(1000);
    EXPECT_EQ(40.0f, b->Position());
    EXPECT_EQ(2, userChanges);
    // Paging stops once the handle has reached the cursor.
    MoveTo(b, 150, 8);  // handle now at 16 + 80 .. 16 + 120: the track after it
    Press(true);
    EXPECT_EQ(60.0f, b->Position());  // handle 136 .. 176: under the cursor now
    RunFor(1000);
    EXPECT_EQ(60.0f, b->Position());
    Press(false);
}

TEST_F(RangeBarTest, DraggingTheHandle) {
    TestBar* b = MakeBar(232, 16);
    b->SetParams(100, 20);
    form->Show();
    cl::Application->ProcessMessages();
    int userChanges = 0;
    b->OnUserChange = [&](cl::TObject*) { ++userChanges; };
    MoveTo(b, 30, 8);  // on the handle
    Press(true);
    EXPECT_EQ(rzHandle, b->DragZone());
    MoveTo(b, 80, 8);  // 50 pixels of a 200-pixel track: a quarter of the range
    EXPECT_FLOAT_EQ(25.0f, b->Position());
    MoveTo(b, 500, 8);  // far beyond the end: clamped
    EXPECT_FLOAT_EQ(80.0f, b->Position());
    MoveTo(b, 10, 8);  // back before the start
    EXPECT_FLOAT_EQ(0.0f, b->Position());
    Press(false);
    EXPECT_EQ(3, userChanges);

    // A handle of the minimum size moves over the track less its 17 pixels.
    delete b;
    TestBar* m = MakeBar(132, 16);
    m->SetParams(1000, 10);  // track 100, handle 17
    MoveTo(m, 20, 8);
    Press(true);
    MoveTo(m, 20 + 83, 8);
    EXPECT_FLOAT_EQ(990.0f, m->Position());
    Press(false);
}

TEST_F(RangeBarTest, BarWithoutRoomTakesNoPress) {
    TestBar* b = MakeBar(200, 16);
    b->SetParams(100, 200);
    form->Show();
    cl::Application->ProcessMessages();
    MoveTo(b, 195, 8);
    Press(true);
    EXPECT_EQ(rzNone, b->DragZone());
    EXPECT_EQ(0.0f, b->Position());
    Press(false);
}

TEST_F(RangeBarTest, WheelMovesByTheIncrement) {
    TestBar* b = MakeBar(200, 16);
    b->SetParams(100, 20);
    b->SetPosition(50);
    b->Perform(win::WM_MOUSEWHEEL, static_cast<uintptr_t>(static_cast<uint16_t>(-240)) << 16, 0);
    EXPECT_FLOAT_EQ(34.0f, b->Position());
    b->Perform(win::WM_MOUSEWHEEL, static_cast<uintptr_t>(120) << 16, 0);
    EXPECT_FLOAT_EQ(42.0f, b->Position());
}

TEST_F(RangeBarTest, HotTrackingEndsWhenTheCursorLeaves) {
    TestBar* b = MakeBar(200, 16);
    b->SetParams(100, 20);
    form->Show();
    cl::Application->ProcessMessages();
    MoveTo(b, 5, 8);
    EXPECT_EQ(rzPrevButton, b->HotZone());
    EXPECT_EQ(3, b->TimerMode());
    EXPECT_TRUE(b->Timer()->GetEnabled());
    MoveTo(b, 100, 200);  // off the bar, onto the form
    RunFor(300);
    EXPECT_EQ(rzNone, b->HotZone());
    EXPECT_FALSE(b->Timer()->GetEnabled());
}

TEST_F(RangeBarTest, ClassicLookOnTheScreen) {
    TestBar* b = MakeBar(200, 20, true, cl::bsSingle);
    b->SetParams(100, 50);  // handle over half of the track
    form->Show();
    cl::Application->ProcessMessages();
    b->Update();
    const win::test::Screen s = win::test::ScreenComposite();
    auto px = [&](int x, int y) { return s.At(10 + x, 10 + y) & 0xFFFFFF; };
    auto sys = [](int i) {
        const uint32_t c = win::GetSysColor(i);  // 0x00BBGGRR
        return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    };
    EXPECT_EQ(198, b->GetClientWidth());             // one pixel of border on each side
    EXPECT_EQ(sys(win::COLOR_BTNSHADOW), px(0, 0));  // the sunken outer edge
    EXPECT_EQ(sys(win::COLOR_BTNHIGHLIGHT), px(199, 19));
    EXPECT_EQ(sys(win::COLOR_BTNFACE), px(1 + 9, 1 + 3));  // inside the first button
    EXPECT_EQ(sys(win::COLOR_BTNTEXT), px(1 + 9, 1 + 9));  // its arrow
    const win::RECT h = b->GetHandleRect();
    EXPECT_EQ(sys(win::COLOR_BTNFACE), px(1 + (h.left + h.right) / 2, 1 + 9));  // the raised handle
    // The track after the handle: a pattern of the highlight and the bar's colour.
    const uint32_t t1 = px(1 + h.right + 5, 1 + 5), t2 = px(1 + h.right + 6, 1 + 5);
    EXPECT_NE(t1, t2);
    EXPECT_TRUE((t1 == sys(win::COLOR_BTNHIGHLIGHT) && t2 == sys(win::COLOR_SCROLLBAR)) ||
                (t2 == sys(win::COLOR_BTNHIGHLIGHT) && t1 == sys(win::COLOR_SCROLLBAR)));
}

TEST_F(RangeBarTest, BarWithoutHandleAndFlatStyle) {
    auto sys = [](int i) {
        const uint32_t c = win::GetSysColor(i);
        return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    };
    TestBar* full = MakeBar(200, 20);
    full->SetParams(100, 200);  // the window covers the range: nothing to drag, no handle
    TestBar* off = MakeBar(200, 20);
    off->SetTop(40);
    off->SetParams(100, 20);
    off->SetEnabled(false);
    TestBar* flat = MakeBar(200, 20);
    flat->SetTop(70);
    flat->SetParams(100, 20);
    flat->SetStyle(rbsMac);
    form->Show();
    RunFor(20);
    const win::test::Screen s = win::test::ScreenComposite();
    auto isTrack = [&](uint32_t c) { return c == sys(win::COLOR_BTNHIGHLIGHT) || c == sys(win::COLOR_SCROLLBAR); };
    for (int x = 25; x < 175; x += 5) {
        EXPECT_TRUE(isTrack(s.At(10 + x, 10 + 10) & 0xFFFFFF)) << x;  // no handle face anywhere
        EXPECT_TRUE(isTrack(s.At(10 + x, 40 + 10) & 0xFFFFFF)) << x;  // a disabled bar draws none
    }
    // The disabled bar's arrows are embossed: no button-text pixel in its first button.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_NE(sys(win::COLOR_BTNTEXT), s.At(10 + x, 40 + y) & 0xFFFFFF);
    // The flat style edges its buttons in the border colour.
    EXPECT_EQ(sys(win::COLOR_WINDOWFRAME), s.At(10 + 0, 70 + 10) & 0xFFFFFF);
    EXPECT_EQ(sys(win::COLOR_WINDOWFRAME), s.At(10 + 5, 70 + 0) & 0xFFFFFF);
}

TEST_F(RangeBarTest, BorderIsPaintedIntoAHandedDC) {
    TestBar* b = MakeBar(50, 20, true, cl::bsSingle);
    form->Show();
    RunFor(20);
    win::BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 50;
    bi.bmiHeader.biHeight = -20;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    win::HBITMAP bmp = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, &bits, nullptr, 0);
    win::HDC dc = win::CreateCompatibleDC(nullptr);
    win::HGDIOBJ old = win::SelectObject(dc, bmp);
    auto* px = static_cast<uint32_t*>(bits);
    std::fill(px, px + 50 * 20, 0x00ABCDEFu);
    win::SendMessageA(b->GetHandle(), win::WM_NCPAINT, 0, reinterpret_cast<win::LPARAM>(dc));
    const uint32_t c = win::GetSysColor(win::COLOR_BTNSHADOW);
    const uint32_t shadow = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    EXPECT_EQ(shadow, px[0] & 0xFFFFFF);
    EXPECT_EQ(shadow, px[25] & 0xFFFFFF);
    EXPECT_EQ(0xABCDEFu, px[10 * 50 + 25] & 0xFFFFFF);  // the client is left alone
    win::SelectObject(dc, old);
    win::DeleteDC(dc);
    win::DeleteObject(bmp);
}

TEST_F(RangeBarTest, AccessCopiesTheLookToTheSlave) {
    TestBar* m = MakeBar(100, 16);
    TestBar* s = MakeBar(100, 16);
    TArrowBarAccess access;
    access.Master = m;
    access.SetColor(cl::clRed);
    access.SetShowArrows(false);
    EXPECT_EQ(cl::clRed, m->GetColor());
    EXPECT_EQ(cl::clScrollBar, s->GetColor());
    access.Slave = s;
    access.SetStyle(rbsMac);
    access.SetButtonSize(12);
    access.SetHandleColor(cl::clBlue);
    EXPECT_EQ(rbsMac, s->Style());
    EXPECT_EQ(12, s->ButtonSize());
    EXPECT_EQ(cl::clBlue, s->HandleColor());
    EXPECT_EQ(rbsMac, access.Style());
    EXPECT_FALSE(access.ShowArrows());
}

}  // namespace
}  // namespace pix32
