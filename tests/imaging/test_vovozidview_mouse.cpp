// The view's mouse and keyboard on the headless screen, driven by the platform's scripted
// input (the LUMETRA_INPUT form): how the interaction modes combine, zooming by click,
// drag scrolling, selecting by drag, by clicks and by the wand, the cursors and the key
// events; and on the SDL backend under a private X server, a drag with the X pointer that
// selects a rectangle whose marching ants show on the X screen.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "../classlib/desktop_controls.h"
#include "../classlib/test_Controls_fixture.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/vovozidview.h"
#include "platform/user_testhooks.h"
#include "view_testutil.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

void FillPicture(TIEBitmap* Bmp, int X1, int Y1, int X2, int Y2, uint8_t R, uint8_t G, uint8_t B) {
    for (int y = Y1; y < Y2; ++y) {
        auto* row = static_cast<uint8_t*>(Bmp->GetScanline(y));
        for (int x = X1; x < X2; ++x) {
            row[3 * x] = B;
            row[3 * x + 1] = G;
            row[3 * x + 2] = R;
        }
    }
}

bool MaskIsRect(TIEMask* M, int X1, int Y1, int X2, int Y2) {
    for (int y = 0; y < M->Height; ++y)
        for (int x = 0; x < M->Width; ++x)
            if (M->IsPointInside(x, y) != (x >= X1 && x < X2 && y >= Y1 && y < Y2)) return false;
    return true;
}

// A 100 x 80 white picture in a 200 x 150 view placed at (10, 20) of a borderless form at the
// screen's origin; the picture is centred, so bitmap (0, 0) is at client (50, 35).
class ViewMouse : public ControlsTest {
protected:
    static constexpr int kLeft = 10, kTop = 20;  // the view on the screen
    void SetUp() override {
        ControlsTest::SetUp();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 300, 220);
        view = new TVovozIdView(form);
        view->SetBorderStyle(cl::bsNone);
        view->SetParent(form);
        view->SetBounds(kLeft, kTop, 200, 150);
        view->GetIEBitmap()->Allocate(100, 80, ie24RGB);
        FillPicture(view->GetIEBitmap(), 0, 0, 100, 80, 255, 255, 255);
        view->Update();
        form->Show();
        cl::Application->ProcessMessages();
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    // Screen position of a bitmap pixel at the current zoom and origin.
    int SX(int BX) { return kLeft + view->BitmapToClientX(BX); }
    int SY(int BY) { return kTop + view->BitmapToClientY(BY); }
    // Runs an input script from now on.
    void Play(const std::string& Script) {
        long long last = 0;
        const std::string timed = ie::test::TimedInputScript(Script, win::ClockNowTicks() / win::kTicksPerMs, last);
        ASSERT_TRUE(win::test::SetInputScript(timed)) << timed;
        RunFor(static_cast<int>(last) + 300);
    }
    std::string At(int X, int Y) { return std::to_string(X) + " " + std::to_string(Y); }
    cl::TForm* form = nullptr;
    TVovozIdView* view = nullptr;
};

TEST_F(ViewMouse, ModesCombineByTheFirstRuleThatApplies) {
    struct Case {
        TIEMouseInteract From, Set, Want;
    };
    const auto m = [](std::initializer_list<TIEMouseInteractItem> Items) {
        TIEMouseInteract v = 0;
        for (auto i : Items) v |= IEMouseOpt(i);
        return v;
    };
    const Case cases[] = {
        {0, m({miSelect, miSelectPolygon}), m({miSelect})},
        {0, m({miScroll, miZoom, miSelect}), m({miScroll, miZoom})},
        {m({miZoom}), m({miZoom, miSelectPolygon}), m({miSelectPolygon})},
        {m({miSelect}), m({miSelect, miZoom, miSelectMagicWand}), m({miSelect, miZoom})},
        {0, m({miZoom, miSelectLasso, miMoveLayers}), m({miZoom, miSelectLasso})},
        {0, m({miSelectMagicWand, miZoom}), m({miZoom})},
        {m({miSelectMagicWand}), m({miSelectMagicWand, miScroll}), m({miScroll})},
        {m({miMoveLayers, miRotateLayers}), m({miMoveLayers, miRotateLayers, miResizeLayers}),
         m({miMoveLayers, miRotateLayers})},
        {0, m({miMoveLayers, miResizeLayers}), m({miMoveLayers, miResizeLayers})},
        {0, m({miSelectCircle, miMovingScroll}), m({miSelectCircle, miMovingScroll})},
    };
    for (const Case& c : cases) {
        view->SetMouseInteract(c.From);
        view->SetMouseInteract(c.Set);
        EXPECT_EQ(view->GetMouseInteract(), c.Want) << c.From << " + " << c.Set;
    }
}

TEST_F(ViewMouse, ZoomClicksStepThroughTheZoomTable) {
    view->SetMouseInteract(IEMouseOpt(miZoom));
    struct Case {
        double From;
        bool Left;
        double Want;
    };
    for (Case c : {Case{40, true, 50},
                   {100, true, 200},
                   {150, false, 100},
                   {2, false, 2},
                   {250, false, 150},
                   {75, false, 50},
                   {4, true, 5}}) {
        view->SetZoom(c.From);
        const int x = kLeft + 100, y = kTop + 75;
        Play(c.Left ? "0 down " + At(x, y) + "; 20 up " + At(x, y) : "0 rdown " + At(x, y) + "; 20 rup " + At(x, y));
        EXPECT_DOUBLE_EQ(view->GetZoom(), c.Want) << c.From << (c.Left ? " left" : " right");
    }
    // The application may change the step.
    view->SetZoom(100);
    view->OnZoomIn = [](cl::TObject*, double& Z) { Z = 300; };
    Play("0 down " + At(kLeft + 100, kTop + 75) + "; 20 up " + At(kLeft + 100, kTop + 75));
    EXPECT_DOUBLE_EQ(view->GetZoom(), 300);
}

TEST_F(ViewMouse, DragScrollMovesTheOriginByTheDrag) {
    view->SetZoom(400);  // 400 x 320 in a 200 x 150 view
    view->SetMouseInteract(IEMouseOpt(miScroll));
    const int ox = view->GetOriginX(), oy = view->GetOriginY();
    Play("0 down " + At(kLeft + 150, kTop + 100) + "; 20 move " + At(kLeft + 120, kTop + 90) + "; 40 move " +
         At(kLeft + 110, kTop + 80) + "; 60 up " + At(kLeft + 110, kTop + 80));
    EXPECT_EQ(view->GetOriginX(), ox + 40);
    EXPECT_EQ(view->GetOriginY(), oy + 20);
    EXPECT_EQ(view->GetShownCursor(), IEDefaultViewCursor);  // the hand went away
}

// Drag scrolling goes through the view's own scrolling: the scroll bar thumbs follow, as
// they do for SetViewXY, and a selection keeps being mapped to where it now shows.
TEST_F(ViewMouse, DragScrollMovesTheScrollBarThumbs) {
    view->SetZoom(400);
    view->SetMouseInteract(IEMouseOpt(miScroll));
    const int ox = view->GetOriginX(), oy = view->GetOriginY();
    const int hx = win::GetScrollPos(view->GetHandle(), win::SB_HORZ);
    const int vy = win::GetScrollPos(view->GetHandle(), win::SB_VERT);
    Play("0 down " + At(kLeft + 150, kTop + 100) + "; 20 move " + At(kLeft + 110, kTop + 80) + "; 40 up " +
         At(kLeft + 110, kTop + 80));
    ASSERT_EQ(view->GetOriginX(), ox + 40);
    const int dragH = win::GetScrollPos(view->GetHandle(), win::SB_HORZ);
    const int dragV = win::GetScrollPos(view->GetHandle(), win::SB_VERT);
    EXPECT_GT(dragH, hx);
    EXPECT_GT(dragV, vy);
    view->SetViewXY(0, 0);
    view->SetViewXY(ox + 40, oy + 20);
    EXPECT_EQ(win::GetScrollPos(view->GetHandle(), win::SB_HORZ), dragH);
    EXPECT_EQ(win::GetScrollPos(view->GetHandle(), win::SB_VERT), dragV);
    // The mapping follows the origin at once, even while painting is held.
    view->LockUpdate();
    view->SetViewXY(ox, oy);
    EXPECT_EQ(view->ClientToBitmapX(view->BitmapToClientX(30)), 30);
    const int32_t atZero = view->BitmapToClientX(0);
    view->SetViewXY(ox + 40, oy);
    EXPECT_EQ(view->BitmapToClientX(0), atZero - 40);
    view->UnlockUpdate();
}

// The wheel and the keys of the scripted input: a notch zooms at the mouse, keeping the
// bitmap point under it; with the wheel set to scroll, a notch scrolls down and, with Ctrl
// held, across.
TEST_F(ViewMouse, ScriptedWheelAndKeysZoomAndScroll) {
    win::SetFocus(view->GetHandle());  // the wheel goes to the focused window
    view->GetMouseWheelParams()->Action = 2;
    view->GetMouseWheelParams()->ZoomPosition = 1;
    view->SetZoom(300);  // 300 x 240: the view scrolls both ways
    view->SetViewXY(20, 30);
    const int px = SX(30), py = SY(20);
    Play("0 move " + At(px, py) + "; 20 wheel -120");
    EXPECT_DOUBLE_EQ(view->GetZoom(), 324);
    EXPECT_NEAR(view->ClientToBitmapX(px - kLeft), 30, 1);
    EXPECT_NEAR(view->ClientToBitmapY(py - kTop), 20, 1);
    const double zoomed = view->GetZoom();
    Play("0 wheel 120");
    EXPECT_LT(view->GetZoom(), zoomed);

    view->SetZoom(400);
    view->SetViewXY(0, 0);
    view->GetMouseWheelParams()->Action = 1;
    view->GetMouseWheelParams()->Variation = 1;
    view->GetMouseWheelParams()->Value = 10;
    Play("0 move " + At(kLeft + 100, kTop + 75) + "; 20 wheel -120");
    EXPECT_EQ(view->GetOriginX(), 0);
    const int32_t stepY = static_cast<int32_t>(std::lround(view->GetViewHeight() * 0.1));
    const int32_t stepX = static_cast<int32_t>(std::lround(view->GetViewWidth() * 0.1));
    EXPECT_EQ(view->GetOriginY(), stepY);  // 10 % of the view's height
    Play("0 keydown 17; 20 wheel -120; 40 keyup 17");
    EXPECT_EQ(view->GetOriginX(), stepX);  // 10 % of the view's width
    EXPECT_EQ(view->GetOriginY(), stepY);
    Play("0 keydown 17; 20 wheel 120; 40 keyup 17; 60 wheel 120");
    EXPECT_EQ(view->GetOriginX(), 0);
    EXPECT_EQ(view->GetOriginY(), 0);
}

TEST_F(ViewMouse, DraggingSelectsARectangleInBitmapPixels) {
    view->SetMouseInteract(IEMouseOpt(miSelect));
    int changes = 0, changing = 0;
    view->OnSelectionChange = [&](cl::TObject*) { ++changes; };
    view->OnSelectionChanging = [&](cl::TObject*) { ++changing; };
    Play("0 down " + At(SX(10), SY(20)) + "; 20 move " + At(SX(20), SY(30)) + "; 40 move " + At(SX(40), SY(50)) +
         "; 60 up " + At(SX(40), SY(50)));
    EXPECT_TRUE(view->GetSelected());
    EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 10, 20, 40, 50));
    EXPECT_EQ(changes, 1);
    EXPECT_GE(changing, 2);
    EXPECT_FALSE(view->GetDrawingRectangle());

    // Dragging inside moves it.
    Play("0 down " + At(SX(20), SY(30)) + "; 20 move " + At(SX(25), SY(33)) + "; 40 up " + At(SX(25), SY(33)));
    EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 15, 23, 45, 53));

    // Shift adds a second rectangle.
    Play("0 keydown 16; 10 down " + At(SX(60), SY(5)) + "; 20 move " + At(SX(70), SY(10)) + "; 40 up " +
         At(SX(70), SY(10)) + "; 50 keyup 16");
    EXPECT_TRUE(view->GetSelectionMask()->IsPointInside(65, 7));
    EXPECT_TRUE(view->GetSelectionMask()->IsPointInside(20, 30));

    // A plain click outside removes the selection.
    Play("0 down " + At(SX(90), SY(70)) + "; 20 up " + At(SX(90), SY(70)));
    EXPECT_FALSE(view->GetSelected());
}

TEST_F(ViewMouse, GripDragResizesTheSelection) {
    view->SetMouseInteract(IEMouseOpt(miSelect));
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 30, 30, 0);
    view->SetSelectionBase(iesbClientArea);
    // The bottom-right corner dragged 20 pixels right and 10 down.
    Play("0 move " + At(SX(30), SY(30)) + "; 10 down " + At(SX(30), SY(30)) + "; 30 move " +
         At(SX(50) - 1, SY(40) - 1) + "; 50 up " + At(SX(50) - 1, SY(40) - 1));
    EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 10, 10, 50, 40));
}

TEST_F(ViewMouse, EllipseAndLassoByDrag) {
    view->SetMouseInteract(IEMouseOpt(miSelectCircle));
    Play("0 down " + At(SX(10), SY(10)) + "; 20 move " + At(SX(30), SY(20)) + "; 40 move " + At(SX(50), SY(50)) +
         "; 60 up " + At(SX(50), SY(50)));
    TIEMask* m = view->GetSelectionMask();
    EXPECT_TRUE(m->IsPointInside(30, 30));
    EXPECT_FALSE(m->IsPointInside(11, 11));
    EXPECT_FALSE(m->IsPointInside(48, 48));

    view->SetMouseInteract(IEMouseOpt(miSelectLasso));
    Play("0 down " + At(SX(60), SY(10)) + "; 20 move " + At(SX(90), SY(10)) + "; 40 move " + At(SX(90), SY(40)) +
         "; 60 move " + At(SX(60), SY(40)) + "; 80 up " + At(SX(60), SY(40)));
    EXPECT_TRUE(m->IsPointInside(75, 25));
    EXPECT_FALSE(m->IsPointInside(30, 30));  // the ellipse was replaced
    EXPECT_FALSE(view->GetDrawingPolygon());
}

TEST_F(ViewMouse, PolygonByClicksEndsWithADoubleClick) {
    view->SetMouseInteract(IEMouseOpt(miSelectPolygon));
    Play("0 click " + At(SX(10), SY(10)) + "; 600 click " + At(SX(60), SY(10)) + "; 1200 dblclick " +
         At(SX(10), SY(60)));
    RunFor(200);
    EXPECT_FALSE(view->GetDrawingPolygon());
    ASSERT_EQ(view->GetSelectionRecord()->Points.size(), 3u);
    TIEMask* m = view->GetSelectionMask();
    EXPECT_TRUE(m->IsPointInside(15, 15));
    EXPECT_FALSE(m->IsPointInside(50, 50));
}

TEST_F(ViewMouse, MagicWandClickSelectsTheRegion) {
    FillPicture(view->GetIEBitmap(), 20, 20, 40, 35, 0, 0, 255);
    view->SetMouseInteract(IEMouseOpt(miSelectMagicWand));
    view->MagicWandMode = 1;
    Play("0 down " + At(SX(25), SY(25)) + "; 20 up " + At(SX(25), SY(25)));
    EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 20, 20, 40, 35));
}

TEST_F(ViewMouse, ShiftShowsTheAddingCursorOnlyWithAnOwner) {
    view->SetMouseInteract(IEMouseOpt(miSelect));
    view->SetFocus();
    cl::Application->ProcessMessages();
    EXPECT_EQ(view->GetShownCursor(), 1785);
    Play("0 keydown 16");
    EXPECT_EQ(view->GetShownCursor(), 1791);
    EXPECT_EQ(win::GetCursor(), cl::Screen->Cursors(1791));
    Play("0 keyup 16");
    EXPECT_EQ(view->GetShownCursor(), 1785);

    // Every cursor number of the view is registered, and they differ where the shapes do.
    for (int i = 1778; i <= 1814; ++i) EXPECT_NE(cl::Screen->Cursors(i), cl::Screen->Cursors(cl::crDefault)) << i;
    EXPECT_NE(cl::Screen->Cursors(1785), cl::Screen->Cursors(1791));
    EXPECT_EQ(cl::Screen->Cursors(1795), cl::Screen->Cursors(1796));

    // A view without an owner never changes its cursor during interaction.
    auto* lone = new TVovozIdView(nullptr);
    lone->SetParent(form);
    lone->SetBounds(220, 20, 60, 60);
    lone->SetMouseInteract(IEMouseOpt(miSelect));
    lone->ShowViewCursor(1790);
    EXPECT_EQ(lone->GetShownCursor(), IEDefaultViewCursor);
    delete lone;
}

TEST_F(ViewMouse, KeysReachTheVirtualKeyAndSpecialKeyEvents) {
    std::vector<std::pair<uint32_t, bool>> keys;
    view->OnVirtualKey = [&](cl::TObject*, uint32_t Key, uint32_t, bool Down) { keys.emplace_back(Key, Down); };
    view->SetFocus();
    cl::Application->ProcessMessages();
    Play("0 key 65");
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[0], (std::pair<uint32_t, bool>{65, true}));
    EXPECT_EQ(keys.back(), (std::pair<uint32_t, bool>{65, false}));
    bool asked = false;
    view->OnSpecialKey = [&](cl::TObject*, uint16_t Key, cl::TShiftState, bool& Handled) {
        asked = Key == win::VK_LEFT;
        Handled = true;
    };
    EXPECT_EQ(view->Perform(cl::CM_WANTSPECIALKEY, win::VK_LEFT, 0), 1);
    EXPECT_TRUE(asked);
}

TEST_F(ViewMouse, InputScriptWordsAreCheckedBeforeAnythingIsScheduled) {
    for (const char* bad :
         {"0 down 5", "0 up x y", "0 wheel", "0 keydown 0", "0 keyup 300", "0 rdown 1 2 3", "0 wheel 99999"})
        EXPECT_FALSE(win::test::SetInputScript(bad)) << bad;
    EXPECT_TRUE(
        win::test::SetInputScript("0 down 1 2; 1 up 1 2; 2 rdown 1 2; 3 rup 1 2; 4 wheel -120; 5 keydown 16; "
                                  "6 keyup 16"));
    RunFor(50);
}

TEST_F(ViewMouse, MovingScrollGlidesTowardsTheMouse) {
    view->SetZoom(400);
    view->SetMouseInteract(IEMouseOpt(miMovingScroll));
    view->Perform(win::WM_MOUSEMOVE, 0, win::MAKELPARAM(190, 140));
    EXPECT_TRUE(view->GetGliding());
    RunFor(1500);
    int32_t mx = 0, my = 0;
    view->GetMaxOrigin(mx, my);
    EXPECT_GT(view->GetOriginX(), mx * 3 / 4);
    EXPECT_GT(view->GetOriginY(), my * 3 / 4);
    EXPECT_FALSE(view->GetGliding());
    // A zoom change ends a glide: its target was an origin of the old zoom.
    view->Perform(win::WM_MOUSEMOVE, 0, win::MAKELPARAM(5, 5));
    ASSERT_TRUE(view->GetGliding());
    view->SetZoom(300);
    EXPECT_FALSE(view->GetGliding());
}

// ---------------------------------------------------------------------------------------
// Under SDL: the X pointer drags a rectangle; the selection is made and the ants are on the
// X screen.

void PumpFor(int Ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    while (std::chrono::steady_clock::now() < end) {
        cl::Application->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST_F(ViewMouse, PolygonRubberBandSurvivesARepaintAndIsErasedByTheNextMove) {
    view->SetMouseInteract(IEMouseOpt(miSelectPolygon));
    const win::POINT o = view->ClientToScreen({0, 0});
    auto white = [&](int BX, int BY) {
        const win::test::Screen s = win::test::ScreenComposite();
        return (s.At(o.x + view->BitmapToClientX(BX), o.y + view->BitmapToClientY(BY)) & 0xFFFFFFu) == 0xFFFFFFu;
    };
    // A first point, then the mouse to its right: the band is the inverted line between them.
    Play("0 down " + At(SX(10), SY(10)) + "; 10 up " + At(SX(10), SY(10)) + "; 40 move " + At(SX(60), SY(10)));
    EXPECT_FALSE(white(35, 10));
    // A repaint of the whole view paints the picture over it; the band shows again.
    view->Invalidate();
    cl::Application->ProcessMessages();
    EXPECT_FALSE(white(35, 10));
    // The next move erases the old band (drawn inverted once more) and draws the new one.
    Play("0 move " + At(SX(10), SY(60)));
    EXPECT_TRUE(white(35, 10));
    EXPECT_FALSE(white(10, 35));
}

// A second layer, 20 x 20 at image (30, 20), on top of the picture; it is current.
class ViewLayerMouse : public ViewMouse {
protected:
    void SetUp() override {
        ViewMouse::SetUp();
        view->LayersAdd();
        view->GetIEBitmap()->Allocate(20, 20, ie24RGB);
        FillPicture(view->GetIEBitmap(), 0, 0, 20, 20, 255, 0, 0);
        top = view->GetLayer(1);
        top->PositionX = 30;
        top->PositionY = 20;
        view->Update();
        cl::Application->ProcessMessages();
        view->OnLayerNotify = [this](cl::TObject*, int32_t Layer, TIELayerEvent Event) {
            events.push_back({Layer, Event});
        };
    }
    // The events of the last drag with repeated ones folded into one.
    std::vector<std::pair<int32_t, TIELayerEvent>> Folded() {
        std::vector<std::pair<int32_t, TIELayerEvent>> out;
        for (const auto& e : events)
            if (out.empty() || out.back() != e) out.push_back(e);
        return out;
    }
    TIELayer* top = nullptr;
    std::vector<std::pair<int32_t, TIELayerEvent>> events;
};

using LayerEvents = std::vector<std::pair<int32_t, TIELayerEvent>>;

TEST_F(ViewLayerMouse, DragInsideMovesTheLayerButNotAnImmovableOne) {
    view->SetMouseInteract(IEMouseOpt(miMoveLayers));
    Play("0 move " + At(SX(35), SY(25)));
    EXPECT_EQ(view->GetShownCursor(), 1790);
    Play("0 down " + At(SX(35), SY(25)) + "; 20 move " + At(SX(40), SY(28)) + "; 40 move " + At(SX(45), SY(30)) +
         "; 60 up " + At(SX(45), SY(30)));
    EXPECT_EQ(top->PositionX, 40);
    EXPECT_EQ(top->PositionY, 25);
    EXPECT_EQ(Folded(), (LayerEvents{{1, ielSelected}, {1, ielMoving}, {1, ielMoved}}));
    EXPECT_EQ(view->GetShownCursor(), 1785);

    top->Immovable = true;
    events.clear();
    Play("0 down " + At(SX(45), SY(35)) + "; 20 move " + At(SX(55), SY(45)) + "; 40 up " + At(SX(55), SY(45)));
    EXPECT_EQ(top->PositionX, 40);
    EXPECT_EQ(top->PositionY, 25);
    EXPECT_EQ(Folded(), (LayerEvents{{1, ielSelected}}));
}

TEST_F(ViewLayerMouse, GripDragsResizeTheLayer) {
    view->SetMouseInteract(IEMouseOpt(miMoveLayers) | IEMouseOpt(miResizeLayers));
    // The layer's client rectangle is (80, 55)-(100, 75): bitmap 30..50 by 20..40.
    struct Case {
        int FromX, FromY, ToX, ToY;  // bitmap pixels
        cl::TCursor Cursor;
        int X, Y, W, H;  // the layer afterwards
    } cases[] = {
        {50, 40, 60, 45, 1786, 30, 20, 30, 25},  // bottom-right corner
        {30, 20, 25, 10, 1786, 25, 10, 25, 30},  // top-left corner
        {30, 30, 40, 33, 1789, 40, 20, 10, 20},  // left side: only the left edge follows
        {40, 40, 45, 50, 1787, 30, 20, 20, 30},  // bottom side: only the bottom edge follows
        {50, 20, 20, 30, 1788, 30, 30, 1, 10},   // top-right dragged past the left edge keeps a pixel
    };
    for (const Case& c : cases) {
        top->PositionX = 30;
        top->PositionY = 20;
        top->ShownWidth = top->ShownHeight = 0;
        view->Update();
        cl::Application->ProcessMessages();
        events.clear();
        Play("0 move " + At(SX(c.FromX), SY(c.FromY)));
        EXPECT_EQ(view->GetShownCursor(), c.Cursor) << c.FromX << "," << c.FromY;
        Play("0 down " + At(SX(c.FromX), SY(c.FromY)) + "; 20 move " + At(SX(c.ToX), SY(c.ToY)) + "; 40 up " +
             At(SX(c.ToX), SY(c.ToY)));
        EXPECT_EQ(top->PositionX, c.X) << c.FromX << "," << c.FromY;
        EXPECT_EQ(top->PositionY, c.Y) << c.FromX << "," << c.FromY;
        EXPECT_EQ(top->GetShownWidth(), c.W) << c.FromX << "," << c.FromY;
        EXPECT_EQ(top->GetShownHeight(), c.H) << c.FromX << "," << c.FromY;
        EXPECT_EQ(Folded(), (LayerEvents{{1, ielResizing}, {1, ielResized}})) << c.FromX << "," << c.FromY;
    }

    // Alt keeps the height/width ratio of the layer.
    top->ShownWidth = 40;
    top->ShownHeight = 20;
    top->PositionX = 30;
    top->PositionY = 20;
    view->Update();
    cl::Application->ProcessMessages();
    Play("0 keydown 18; 10 down " + At(SX(70), SY(40)) + "; 30 move " + At(SX(80), SY(60)) + "; 50 up " +
         At(SX(80), SY(60)) + "; 60 keyup 18");
    EXPECT_EQ(top->GetShownWidth(), 50);
    EXPECT_EQ(top->GetShownHeight(), 25);

    // An immovable layer has no grips: a press on a corner picks and does not resize it.
    top->Immovable = true;
    events.clear();
    Play("0 down " + At(SX(80) - 1, SY(45) - 1) + "; 20 move " + At(SX(90), SY(60)) + "; 40 up " + At(SX(90), SY(60)));
    EXPECT_EQ(top->GetShownWidth(), 50);
    EXPECT_EQ(top->GetShownHeight(), 25);
    EXPECT_EQ(Folded(), (LayerEvents{{1, ielSelected}}));
}

TEST_F(ViewLayerMouse, DragOutsideTheLayerRotatesItAndAClickPicksAnother) {
    view->SetMouseInteract(IEMouseOpt(miMoveLayers) | IEMouseOpt(miRotateLayers));
    // The rotation centre is the layer's middle, image (40, 30); below and right of it 1813.
    Play("0 move " + At(SX(80), SY(70)));
    EXPECT_EQ(view->GetShownCursor(), 1813);
    Play("0 move " + At(SX(10), SY(5)));
    EXPECT_EQ(view->GetShownCursor(), 1814);
    // The rotation-centre grip drags the centre, as a fraction of the layer.
    Play("0 down " + At(SX(40), SY(30)) + "; 20 move " + At(SX(35), SY(45)) + "; 40 up " + At(SX(35), SY(45)));
    EXPECT_DOUBLE_EQ(top->PivotX, 0.25);
    EXPECT_DOUBLE_EQ(top->PivotY, 1.25);
    EXPECT_DOUBLE_EQ(top->Angle, 0.0);
    EXPECT_TRUE(events.empty());
    top->PivotX = top->PivotY = 0.5;
    view->Update();
    cl::Application->ProcessMessages();
    // Below the centre 20 pixels right and 8 down: a quarter degree for each.
    Play("0 down " + At(SX(60), SY(60)) + "; 20 move " + At(SX(80), SY(60)) + "; 40 move " + At(SX(80), SY(68)) +
         "; 60 up " + At(SX(80), SY(68)));
    EXPECT_DOUBLE_EQ(top->Angle, 7.0);
    EXPECT_EQ(Folded(), (LayerEvents{{1, ielRotating}, {1, ielRotated}}));

    // Above the centre moving right turns the other way; Shift snaps to 45 degrees.
    events.clear();
    Play("0 down " + At(SX(10), SY(5)) + "; 20 move " + At(SX(90), SY(5)) + "; 40 up " + At(SX(90), SY(5)));
    EXPECT_DOUBLE_EQ(top->Angle, -13.0);
    // Round the layer: +45, -32.5, +45, +32.5 from -13 give 77, stored as 45 with Shift.
    Play("0 keydown 16; 10 down " + At(SX(-40), SY(100)) + "; 30 move " + At(SX(140), SY(100)) + "; 50 move " +
         At(SX(140), SY(-30)) + "; 70 move " + At(SX(-40), SY(-30)) + "; 90 move " + At(SX(-40), SY(100)) +
         "; 110 up " + At(SX(-40), SY(100)) + "; 120 keyup 16");
    EXPECT_DOUBLE_EQ(top->Angle, 45.0);

    // A click outside the current layer, without moving, picks the layer under the mouse.
    top->SetRotate(0);
    view->Update();
    cl::Application->ProcessMessages();
    events.clear();
    Play("0 down " + At(SX(5), SY(70)) + "; 20 up " + At(SX(5), SY(70)));
    EXPECT_EQ(view->GetCurrentLayer(), 0);
    EXPECT_EQ(Folded(), (LayerEvents{{0, ielSelected}}));
}

TEST_F(ViewLayerMouse, ChangingTheCurrentLayerKeepsTheSelectedImagePixels) {
    view->SetCurrentLayer(0);
    view->SetSelectionBase(iesbBitmap);
    view->Select(35, 25, 45, 35, 0);
    view->SetCurrentLayer(1);
    ASSERT_TRUE(view->GetSelected());
    EXPECT_EQ(view->GetSelectionMask()->Width, 20);
    EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 5, 5, 15, 15));
    view->SetCurrentLayer(0);
    EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 35, 25, 45, 35));

    // Without a selection nothing is carried over.
    view->Deselect();
    view->SetCurrentLayer(1);
    EXPECT_FALSE(view->GetSelected());
}

TEST(ViewSelectOnX, DragWithTheXPointerSelectsAndTheAntsShow) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    desktoptest::ControlsDesktop desk;
    ASSERT_TRUE(desk.Start());
    {
        auto* form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 320, 240);
        auto* view = new TVovozIdView(form);
        view->SetBorderStyle(cl::bsNone);
        view->SetParent(form);
        view->SetBounds(0, 0, 320, 240);
        view->GetIEBitmap()->Allocate(320, 240, ie24RGB);
        FillPicture(view->GetIEBitmap(), 0, 0, 320, 240, 128, 128, 128);
        view->Update();
        view->SetMouseInteract(IEMouseOpt(miSelect));
        form->Show();
        PumpFor(500);
        const uint64_t xid = win::test::NativeWindowId(form->GetHandle());
        ASSERT_NE(xid, 0u);
        // Grey under the ants, as the picture would be painted.
        {
            win::HDC dc = win::GetDC(view->GetHandle());
            win::RECT r{0, 0, 320, 240};
            win::HBRUSH b = win::CreateSolidBrush(win::RGB(128, 128, 128));
            win::FillRect(dc, &r, b);
            win::DeleteObject(b);
            win::ReleaseDC(view->GetHandle(), dc);
            win::GdiFlush();
        }
        const int x1 = view->BitmapToClientX(40), y1 = view->BitmapToClientY(30);
        const int x2 = view->BitmapToClientX(200), y2 = view->BitmapToClientY(150);
        ASSERT_EQ(lumetra_test::XdoTool(desk.Display(), "mousemove --sync " + std::to_string(x1) + " " +
                                                            std::to_string(y1) + " mousedown 1"),
                  0);
        PumpFor(200);
        ASSERT_EQ(lumetra_test::XdoTool(desk.Display(), "mousemove --sync " + std::to_string((x1 + x2) / 2) + " " +
                                                            std::to_string((y1 + y2) / 2)),
                  0);
        PumpFor(200);
        ASSERT_EQ(lumetra_test::XdoTool(desk.Display(), "mousemove --sync " + std::to_string(x2) + " " +
                                                            std::to_string(y2) + " mouseup 1"),
                  0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!view->GetSelected() && std::chrono::steady_clock::now() < end) PumpFor(50);
        PumpFor(300);
        ASSERT_TRUE(view->GetSelected());
        EXPECT_TRUE(MaskIsRect(view->GetSelectionMask(), 40, 30, 200, 150));

        lumetra_test::XwdImage img;
        ASSERT_TRUE(lumetra_test::Screenshot(desk.Display(), &img));
        // The outline's top and left sides in black and white dashes; no white beside the outline.
        int black = 0, white = 0, whiteLeft = 0, whiteOff = 0;
        for (int x = 40; x < 200; ++x) {
            const uint32_t p = img.At(x, 30) & 0xFFFFFF;
            black += p == 0;
            white += p == 0xFFFFFF;
            whiteOff += (img.At(x, 26) & 0xFFFFFF) == 0xFFFFFF;
            whiteOff += (img.At(x, 170) & 0xFFFFFF) == 0xFFFFFF;
        }
        for (int y = 30; y < 150; ++y) {
            whiteLeft += (img.At(40, y) & 0xFFFFFF) == 0xFFFFFF;
            whiteOff += (img.At(30, y) & 0xFFFFFF) == 0xFFFFFF;
        }
        EXPECT_EQ(black + white, 160);
        EXPECT_GT(black, 30);
        EXPECT_GT(white, 30);
        EXPECT_GT(whiteLeft, 20);
        EXPECT_EQ(whiteOff, 0);
        delete form;
    }
}

}  // namespace
}  // namespace ie
