// The view's geometry on the headless screen: a 4000 x 3000 picture in a 1024 x 768 client at
// every zoom mode (extent, offsets, visible part, scroll bars and the pixels on the screen),
// keeping the centre when zooming, scrolling by origin, scroll bar and wheel, the lookup
// tables, and the overview view.
#include <gtest/gtest.h>

#include <cmath>

#include "classlib/TypInfo.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/io/ieds.h"
#include "view_testutil.h"

namespace ie::test {
namespace {

// The bitmap column the lookup tables give for zoomed column Z: at most 100 % the first
// bitmap column that lands on Z, above 100 % the column that holds Z.
int32_t TableColumn(int32_t Z, double ZoomPercent, int32_t Image) {
    const double f = ZoomPercent / 100, inv = 100 / ZoomPercent;
    if (ZoomPercent > 100) return std::min(static_cast<int32_t>(Z * inv), Image - 1);
    for (int32_t b = std::max(0, static_cast<int32_t>(Z * inv) - 2);; ++b) {
        const auto z = static_cast<int32_t>(b * f);
        if (z == Z) return std::min(b, Image - 1);
        if (z > Z) return -1;
    }
}

class ViewZoomScreen : public ViewScreenTest {
protected:
    TVovozIdView* MakePictureView() {
        TVovozIdView* v = MakeView(1024, 768);
        FillCoordPicture(v->GetIEBitmap(), 4000, 3000);
        v->Update();
        Pump();
        return v;
    }
    // Every 23rd client pixel of the displayed image shows the pixel the tables say.
    static void ExpectScreenShowsTables(TVovozIdView* V) {
        const win::test::Screen s = Shot(V);
        int failures = 0;
        for (int32_t y = 0; y < V->GetDisplayHeight(); y += 23)
            for (int32_t x = 0; x < V->GetDisplayWidth(); x += 23) {
                const uint32_t p = At(s, V, V->GetOffsetX() + x, V->GetOffsetY() + y);
                const int32_t wantX = TableColumn(V->SnapOriginX(V->GetOriginX()) + x, V->GetZoomX(), 4000);
                const int32_t wantY = TableColumn(V->SnapOriginY(V->GetOriginY()) + y, V->GetZoomY(), 3000);
                if ((CoordX(p) != wantX || CoordY(p) != wantY) && failures++ < 5)
                    ADD_FAILURE() << "client " << x << "," << y << " shows " << CoordX(p) << "," << CoordY(p)
                                  << " want " << wantX << "," << wantY;
            }
    }
};

TEST_F(ViewZoomScreen, ZoomModesPlaceA4000x3000PictureAsTheGeometrySays) {
    const int sbw = win::GetSystemMetrics(win::SM_CXVSCROLL), sbh = win::GetSystemMetrics(win::SM_CYHSCROLL);
    struct Case {
        const char* Mode;
        double Zoom;  // 0: fit
        bool Center;
        double WantZoom;
        int32_t ExtentW, ExtentH, OffsetX, OffsetY, ViewW, ViewH;
    };
    // clang-format off
    const Case cases[] = {
        {"fit",         0,   true,  25.6, 1024, 768,  0,   0,   1024,       768},
        {"10 %",        10,  true,  10,   400,  300,  312, 234, 1024,       768},
        {"20 %",        20,  true,  20,   800,  600,  112, 84,  1024,       768},
        {"10 % left",   10,  false, 10,   400,  300,  0,   0,   1024,       768},
        {"50 %",        50,  true,  50,   2000, 1500, 0,   0,   1024 - sbw, 768 - sbh},
        {"100 %",       100, true,  100,  4000, 3000, 0,   0,   1024 - sbw, 768 - sbh},
        {"300 %",       300, true,  300,  12000, 9000, 0,  0,   1024 - sbw, 768 - sbh},
    };
    // clang-format on
    TVovozIdView* v = MakePictureView();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Mode);
        v->SetCenter(c.Center);
        if (c.Zoom == 0)
            v->ZoomToFit();
        else
            v->SetZoom(c.Zoom);
        v->SetViewXY(0, 0);
        Pump();
        EXPECT_DOUBLE_EQ(v->GetZoomX(), c.WantZoom);
        EXPECT_DOUBLE_EQ(v->GetZoomY(), c.WantZoom);
        EXPECT_EQ(v->GetViewWidth(), c.ViewW);
        EXPECT_EQ(v->GetViewHeight(), c.ViewH);
        EXPECT_EQ(v->GetExtentWidth(), c.ExtentW);
        EXPECT_EQ(v->GetExtentHeight(), c.ExtentH);
        EXPECT_EQ(v->GetOffsetX(), c.OffsetX);
        EXPECT_EQ(v->GetOffsetY(), c.OffsetY);
        EXPECT_EQ(v->GetDisplayWidth(), std::min(c.ExtentW, c.ViewW));
        EXPECT_EQ(v->GetDisplayHeight(), std::min(c.ExtentH, c.ViewH));
        int32_t mx = 0, my = 0;
        v->GetMaxOrigin(mx, my);
        EXPECT_EQ(mx > 0, c.ViewW < 1024);
        ExpectScreenShowsTables(v);
    }
}

TEST_F(ViewZoomScreen, AutoFitFitsThePictureAtEveryUpdate) {
    TVovozIdView* v = MakePictureView();
    v->SetAutoFit(true);
    v->Update();
    EXPECT_DOUBLE_EQ(v->GetZoom(), 25.6);
    FillCoordPicture(v->GetIEBitmap(), 4000, 1000);
    v->Update();
    EXPECT_DOUBLE_EQ(v->GetZoom(), 25.6);  // the width limits
    EXPECT_EQ(v->GetOffsetY(), (768 - 256) / 2);
    // The wheel does nothing while the view fits itself.
    v->MouseWheelAction(120, 10, 10, false);
    EXPECT_DOUBLE_EQ(v->GetZoom(), 25.6);
}

TEST_F(ViewZoomScreen, ZoomingKeepsTheCentreAndScrollingMovesThePicture) {
    TVovozIdView* v = MakePictureView();
    v->ZoomToFit();
    int changes = 0;
    v->OnViewChange = [&](cl::TObject*, int32_t) { ++changes; };
    v->SetZoom(100);
    // The bitmap point at the centre of the fitted view (2000, 1500) stays at the centre of
    // the 1024 x 768 view it was computed for.
    EXPECT_EQ(v->GetOriginX(), 2000 - 512);
    EXPECT_EQ(v->GetOriginY(), 1500 - 384);
    EXPECT_EQ(changes, 1);
    ExpectScreenShowsTables(v);
    v->SetViewXY(100, 200);
    EXPECT_EQ(v->GetOriginX(), 100);
    EXPECT_EQ(v->GetOriginY(), 200);
    EXPECT_EQ(changes, 2);
    ExpectScreenShowsTables(v);
    v->SetViewXY(-5, -5);
    EXPECT_EQ(v->GetOriginX(), 0);
    EXPECT_EQ(v->GetOriginY(), 0);
    int32_t mx = 0, my = 0;
    v->GetMaxOrigin(mx, my);
    v->SetViewXY(100000, 100000);
    EXPECT_EQ(v->GetOriginX(), mx);
    EXPECT_EQ(v->GetOriginY(), my);
    ExpectScreenShowsTables(v);
}

TEST_F(ViewZoomScreen, ScrollBarMessagesMoveTheOrigin) {
    TVovozIdView* v = MakePictureView();
    v->SetZoom(100);
    v->SetViewXY(0, 0);
    win::HWND h = v->GetHandle();
    auto send = [&](unsigned msg, int code, int pos = 0) {
        win::SendMessageA(h, msg, static_cast<win::WPARAM>(code | (pos << 16)), 0);
    };
    struct Case {
        const char* What;
        unsigned Msg;
        int Code, Pos;
        int32_t WantX, WantY;
    };
    int32_t mx = 0, my = 0;
    v->GetMaxOrigin(mx, my);
    const int32_t page = v->GetViewHeight();
    // clang-format off
    const Case cases[] = {
        {"line down", win::WM_VSCROLL, win::SB_LINEDOWN, 0, 0, 1},
        {"page down", win::WM_VSCROLL, win::SB_PAGEDOWN, 0, 0, 1 + page},
        {"line up", win::WM_VSCROLL, win::SB_LINEUP, 0, 0, page},
        {"bottom", win::WM_VSCROLL, win::SB_BOTTOM, 0, 0, my},
        {"top", win::WM_VSCROLL, win::SB_TOP, 0, 0, 0},
        {"right line", win::WM_HSCROLL, win::SB_LINEDOWN, 0, 1, 0},
        {"thumb", win::WM_HSCROLL, win::SB_THUMBPOSITION, 32768, 0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        send(c.Msg, c.Code, c.Pos);
        if (c.Code == win::SB_THUMBPOSITION) {
            // Position x (view width + largest origin) / 65536.
            const double factor = (v->GetViewWidth() + mx) / 65536.0;
            EXPECT_EQ(v->GetOriginX(), static_cast<int32_t>(std::nearbyint(32768 * factor))) << c.What;
        } else {
            EXPECT_EQ(v->GetOriginX(), c.WantX) << c.What;
            EXPECT_EQ(v->GetOriginY(), c.WantY) << c.What;
        }
    }
    // A thumb being dragged moves the view only with tracking on.
    const int32_t before = v->GetOriginX();
    v->GetHorizScrollBarParams()->Tracking = false;
    send(win::WM_HSCROLL, win::SB_THUMBTRACK, 100);
    EXPECT_EQ(v->GetOriginX(), before);
    v->GetHorizScrollBarParams()->Tracking = true;
    send(win::WM_HSCROLL, win::SB_THUMBTRACK, 0);
    EXPECT_EQ(v->GetOriginX(), 0);
    // Line steps of three lines.
    v->GetVertScrollBarParams()->LineStep = 3;
    send(win::WM_VSCROLL, win::SB_LINEDOWN);
    EXPECT_EQ(v->GetOriginY(), 3);
}

TEST_F(ViewZoomScreen, ScrollBarStylesAndFlatBars) {
    TVovozIdView* v = MakePictureView();
    v->SetZoom(100);
    const int sbw = win::GetSystemMetrics(win::SM_CXVSCROLL), sbh = win::GetSystemMetrics(win::SM_CYHSCROLL);
    struct Case {
        TScrollStyle Style;
        bool Flat;
        int32_t ViewW, ViewH;
    };
    const Case cases[] = {{ssNone, false, 1024, 768},
                          {ssVertical, false, 1024 - sbw, 768},
                          {ssHorizontal, false, 1024, 768 - sbh},
                          {ssBoth, false, 1024 - sbw, 768 - sbh},
                          {ssBoth, true, 1024 - sbw, 768 - sbh},
                          {ssNone, true, 1024, 768}};
    for (const Case& c : cases) {
        v->SetFlatScrollBars(c.Flat);
        v->SetScrollBars(c.Style);
        v->Update();
        Pump();
        EXPECT_EQ(v->GetViewWidth(), c.ViewW) << c.Style << " flat " << c.Flat;
        EXPECT_EQ(v->GetViewHeight(), c.ViewH) << c.Style << " flat " << c.Flat;
    }
}

TEST_F(ViewZoomScreen, ScriptedWheelZoomsOutAndInByEightPercent) {
    TVovozIdView* v = MakePictureView();
    v->SetZoom(50);
    Pump();
    const win::POINT c = v->ClientToScreen(win::POINT{500, 300});
    win::test::MouseMove(c.x, c.y);
    win::SetFocus(v->GetHandle());  // the wheel goes to the focused window
    Pump();
    double zoomOut = 0;
    v->OnZoomOut = [&](cl::TObject*, double& Z) { zoomOut = Z; };
    win::test::Wheel(120);  // away from the user
    Pump();
    EXPECT_DOUBLE_EQ(zoomOut, 46);
    EXPECT_DOUBLE_EQ(v->GetZoom(), 46);
    win::test::Wheel(-120);
    Pump();
    EXPECT_DOUBLE_EQ(v->GetZoom(), 50);  // 46 + Round(8 % of 46)
    // Scrolling by wheel: 10 % of the view per notch.
    v->GetMouseWheelParams()->Action = 1;
    v->GetMouseWheelParams()->Value = 10;
    const int32_t y = v->GetOriginY();
    win::test::Wheel(-120);
    Pump();
    EXPECT_EQ(v->GetOriginY(), y + static_cast<int32_t>(std::nearbyint(v->GetViewHeight() * 0.1)));
}

// With the delayed filter a zoom change is first shown unfiltered; four ticks of the ants
// timer later the filter is used again and the timer stops.
TEST_F(ViewZoomScreen, DelayedZoomFilterComesBackAfterFourTicks) {
    VovozIdProcStaticInit();  // the filtered resampler of the renderer
    TVovozIdView* v = MakePictureView();
    ASSERT_NE(v->GetAntsTimer(), nullptr);
    v->SetZoomFilter(rfTriangle);
    v->SetDelayZoomFilter(true);
    v->SetZoom(50);  // from 100 %: no delay
    EXPECT_EQ(v->GetFilterDelayCount(), 0);
    EXPECT_EQ(v->GetViewChangeCount(), 2);
    v->SetZoom(25);
    EXPECT_EQ(v->GetFilterDelayCount(), 4);
    EXPECT_TRUE(v->GetAntsTimer()->GetEnabled());
    const win::test::Screen unfiltered = Shot(v);
    RunFor(3 * 210 + 100);
    EXPECT_EQ(v->GetFilterDelayCount(), 1);
    EXPECT_EQ(v->GetViewChangeCount(), 0);
    RunFor(210);
    EXPECT_EQ(v->GetFilterDelayCount(), 0);
    EXPECT_FALSE(v->GetAntsTimer()->GetEnabled());
    const win::test::Screen filtered = Shot(v);
    // The triangle filter averages neighbours: the coordinate picture's pixels change.
    int differ = 0;
    for (int y = 10; y < 700; y += 37)
        for (int x = 10; x < 1000; x += 37) differ += At(unfiltered, v, x, y) != At(filtered, v, x, y);
    EXPECT_GT(differ, 10);
    VovozIdProcStaticFinal();
}

TEST_F(ViewZoomScreen, ZoomAtPointKeepsTheBitmapPointUnderTheMouse) {
    TVovozIdView* v = MakePictureView();
    v->SetZoom(100);
    v->SetViewXY(1000, 1000);
    const int32_t bx = v->ClientToBitmapX(300), by = v->ClientToBitmapY(200);
    v->ZoomAtPoint(300, 200, false, 200);
    EXPECT_DOUBLE_EQ(v->GetZoom(), 200);
    EXPECT_NEAR(v->ClientToBitmapX(300), bx, 1);
    EXPECT_NEAR(v->ClientToBitmapY(200), by, 1);
    v->ZoomAtPoint(300, 200, true, 100);
    EXPECT_NEAR(v->ClientToBitmapX(v->GetViewWidth() / 2), bx, 1);
    EXPECT_NEAR(v->ClientToBitmapY(v->GetViewHeight() / 2), by, 1);
}

// The messages of the background input/output and of the video glue, and the erase that
// never happens.
TEST_F(ViewZoomScreen, ViewAnswersItsMessages) {
    TVovozIdView* v = MakePictureView();
    win::HWND h = v->GetHandle();
    int progress = -1, finished = 0, frames = 0, events = 0;
    v->SetOnProgress([&](cl::TObject* Sender, int Per) {
        EXPECT_EQ(Sender, v);
        progress = Per;
    });
    v->SetOnFinishWork([&](cl::TObject*) { ++finished; });
    v->OnDShowNewFrame = [&](cl::TObject*) { ++frames; };
    v->OnDShowEvent = [&](cl::TObject*) { ++events; };
    win::SendMessageA(h, IEM_PROGRESS, 42, 0);
    EXPECT_EQ(progress, 42);
    win::SendMessageA(h, IEM_FINISHWORK, 0, 0);
    EXPECT_EQ(finished, 1);
    // The update message catches up with a picture changed behind the view's back.
    v->GetIEBitmap()->Allocate(640, 480, ie24RGB);
    win::SendMessageA(h, IEM_UPDATE, 0, 0);
    EXPECT_EQ(v->GetImageWidth(), 640);
    EXPECT_EQ(v->GetSelectionMask()->Width, 640);
    // No video object, or one without a graph: nothing.
    TIEDirectShow idle;
    win::SendMessageA(h, IEM_NEWFRAME, 0, 0);
    win::SendMessageA(h, IEM_EVENT, 0, reinterpret_cast<win::LPARAM>(&idle));
    EXPECT_EQ(frames + events, 0);
    EXPECT_EQ(win::SendMessageA(h, win::WM_ERASEBKGND, 0, 0), 0);
}

TEST_F(ViewZoomScreen, PublishedSettingsAreReachedByName) {
    TVovozIdView* v = MakePictureView();
    EXPECT_EQ(cl::GetEnumProp(v, "BackgroundStyle"), cl::String("iebsSolid"));
    EXPECT_EQ(cl::GetEnumProp(v, "ScrollBars"), cl::String("ssBoth"));
    EXPECT_EQ(cl::GetOrdProp(v, "Center"), 1);
    cl::SetEnumProp(v, "ScrollBars", "ssNone");
    EXPECT_EQ(v->GetScrollBars(), ssNone);
    cl::SetEnumProp(v, "ZoomFilter", "rfLanczos3");
    EXPECT_EQ(v->GetZoomFilter(), rfLanczos3);
    cl::SetOrdProp(v, "AutoFit", 1);
    EXPECT_TRUE(v->GetAutoFit());
    EXPECT_EQ(cl::GetClass("TVovozIdView"), &TVovozIdView::StaticClass());
}

// ---------------------------------------------------------------------------------------
// Without a window (a view of 50 x 50)

TEST(ViewZoom, ZoomingTo200KeepsTheCentrePoint) {
    TVovozIdView v(nullptr);
    v.GetIEBitmap()->Allocate(100, 100, ie24RGB);
    v.Update();
    EXPECT_EQ(v.GetViewWidth(), 50);
    v.SetZoom(200);
    EXPECT_EQ(v.GetOriginX(), 25);
    EXPECT_EQ(v.GetOriginY(), 25);
}

TEST(ViewZoom, NonPositiveZoomOnlyTellsTheHandler) {
    TVovozIdView v(nullptr);
    v.GetIEBitmap()->Allocate(100, 100, ie24RGB);
    v.Update();
    std::vector<std::pair<int32_t, double>> changing;
    int changes = 0;
    v.OnViewChanging = [&](cl::TObject*, int32_t C, double V) { changing.emplace_back(C, V); };
    v.OnViewChange = [&](cl::TObject*, int32_t) { ++changes; };
    for (double z : {0.0, -20.0}) v.SetZoom(z);
    ASSERT_EQ(changing.size(), 2u);
    EXPECT_EQ(changing[0], std::make_pair(2, 0.0));
    EXPECT_EQ(changing[1], std::make_pair(2, -20.0));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(v.GetZoom(), 100);
}

TEST(ViewZoom, TablesMapColumnsAtLargeAndSmallZooms) {
    TVovozIdView v(nullptr);
    v.GetIEBitmap()->Allocate(100, 100, ie24RGB);
    v.Update();
    v.SetZoom(300);
    v.SetViewXY(0, 0);
    // Three client columns from a pixel boundary show one bitmap column.
    for (int32_t b = 0; b < 10; ++b) {
        EXPECT_EQ(v.ClientToBitmapX(3 * b), b);
        EXPECT_EQ(v.ClientToBitmapX(3 * b + 1), b);
        EXPECT_EQ(v.ClientToBitmapX(3 * b + 2), b);
        EXPECT_EQ(v.BitmapToClientX(b), 3 * b);
    }
    v.SetZoom(50);
    EXPECT_EQ(v.BitmapToClientX(0), v.BitmapToClientX(1));
    EXPECT_EQ(v.BitmapToClientX(2), v.BitmapToClientX(0) + 1);
    // Outside the tables the arithmetic answers.
    EXPECT_EQ(v.ClientToBitmapX(-10), -20);
}

TEST(ViewZoom, LayerCoordinatesFollowPositionAndShownSize) {
    TVovozIdView v(nullptr);
    v.GetIEBitmap()->Allocate(100, 100, ie24RGB);
    v.Update();
    v.SetZoom(200);
    v.SetViewXY(0, 0);
    TIEBitmap shape(50, 40, ie24RGB);
    TIELayer layer(&v, false, &shape);
    layer.PositionX = 10;
    layer.PositionY = 5;
    layer.ShownWidth = 100;  // shown twice as wide as its bitmap
    // Client 60 is bitmap column 30 of the view, 20 columns into the layer's shown width:
    // column 10 of its bitmap.
    EXPECT_EQ(layer.ClientToLayerX(60), 10);
    EXPECT_EQ(layer.ClientToLayerY(30), 10);
    EXPECT_EQ(layer.LayerToClientX(10), 60);
    EXPECT_EQ(layer.LayerToClientY(10), 30);
    TIELayer alone(nullptr, false, &shape);
    EXPECT_EQ(alone.ClientToLayerX(60), 0);
}

// A view whose selection the test sets straight in the mask.
class MaskedView : public TVovozIdView {
public:
    using TVovozIdView::TVovozIdView;
    void SelectBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        FSelectionMask->Clear();
        for (int32_t y = Y1; y <= Y2; ++y) FSelectionMask->FillRow(1, X1, y, X2);
        FSelectionMask->SyncRect();
        FSelected = true;
    }
};

TEST(ViewZoom, ZoomToSelectionFillsTheControlWithTheBox) {
    MaskedView v(nullptr);  // a control of 105 x 105, a view of 50 x 50
    v.GetIEBitmap()->Allocate(400, 400, ie24RGB);
    v.Update();
    v.ZoomToSelection(true, false);  // no selection: nothing
    EXPECT_EQ(v.GetZoom(), 100);
    v.SelectBox(100, 60, 120, 74);  // 21 x 15
    double asked = 0;
    v.OnZoomIn = [&](cl::TObject*, double& Z) {
        asked = Z;
        Z = 300;
    };
    v.ZoomToSelection(true, true);
    EXPECT_DOUBLE_EQ(asked, 105 / (21 / 100.0));
    EXPECT_DOUBLE_EQ(v.GetZoom(), 300);
    EXPECT_EQ(v.GetOriginX(), 300 - (50 - 63) / 2);
    EXPECT_EQ(v.GetOriginY(), 180 - (50 - 45) / 2);
    v.ZoomToSelection(false, false);
    EXPECT_DOUBLE_EQ(v.GetZoomX(), 105 / (21 / 100.0));
    EXPECT_DOUBLE_EQ(v.GetZoomY(), 105 / (15 / 100.0));
    v.SelectBox(10, 10, 10, 40);  // one column wide: nothing
    v.ZoomToSelection(true, false);
    EXPECT_DOUBLE_EQ(v.GetZoomX(), 105 / (21 / 100.0));
}

TEST(ViewZoom, SmallPictureIsCentredAndCannotScroll) {
    TVovozIdView v(nullptr);
    v.GetIEBitmap()->Allocate(20, 10, ie24RGB);
    v.Update();
    v.UpdateExtent();
    EXPECT_EQ(v.GetOffsetX(), 15);
    EXPECT_EQ(v.GetOffsetY(), 20);
    int32_t mx = -1, my = -1;
    v.GetMaxOrigin(mx, my);
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(my, 0);
}

TEST(ViewZoom, AutoFitZoomDecidesByTheLimitingSide) {
    TVovozIdView v(nullptr);
    struct Case {
        int32_t W, H;
        bool Shrink, Stretch;
        int32_t AvailH, AvailW;
        double Want;
    };
    // clang-format off
    const Case cases[] = {
        {4000, 3000, true, false, 768, 1024, 25.6},
        {4000, 3000, false, true, 768, 1024, 100},
        {100, 50, false, true, 768, 1024, 1024},
        {100, 50, true, false, 768, 1024, 100},
        {0, 50, true, true, 768, 1024, 100},
        {100, 50, true, true, 0, 1024, 100},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(v.GetAutoFitZoom(c.W, c.H, c.Shrink, c.Stretch, c.AvailH, c.AvailW), c.Want)
            << c.W << "x" << c.H;
}

// ---------------------------------------------------------------------------------------
// The overview view

TEST_F(ViewZoomScreen, OverviewShowsTheVisiblePartAndScrollsWithEachAxisOwnZoom) {
    TVovozIdView* v = MakePictureView();
    auto* overview = new TVovozIdView(form);
    overview->SetParent(form);
    overview->SetBounds(0, 0, 200, 150);
    v->SetZoomHorz(200);
    v->SetZoomVert(100);
    v->SetViewXY(400, 300);
    v->LinkOverviewView(overview, 1);
    EXPECT_TRUE(overview->GetIsOverview());
    EXPECT_EQ(overview->GetIEBitmap(), v->GetIEBitmap());
    EXPECT_TRUE(overview->GetAutoFit());
    const TIESelectionRecord* rec = overview->GetSelectionRecord();
    EXPECT_EQ(rec->X1, v->ClientToBitmapX(v->GetOffsetX()));
    EXPECT_EQ(rec->Y1, v->ClientToBitmapY(v->GetOffsetY()));
    EXPECT_TRUE(overview->GetSelected());
    // The mark is a fixed-size selection of the visible part: dragged, never sized.
    EXPECT_EQ(overview->GetSelectionRatio(), 0);
    EXPECT_EQ(overview->FixedSelectionWidth, rec->X2 - rec->X1);
    EXPECT_EQ(overview->FixedSelectionHeight, rec->Y2 - rec->Y1);
    EXPECT_EQ(overview->GetSelectionOptions() & IESelOpt(iesoSizeable), 0u);
    EXPECT_TRUE(overview->GetSelectionMask()->IsPointInside(rec->X1 + 1, rec->Y1 + 1));
    EXPECT_EQ(v->GetOriginX(), 400);  // marking does not scroll the served view
    EXPECT_EQ(v->GetOriginY(), 300);
    // Moving the overview's rectangle scrolls the served view, each axis by its own zoom.
    overview->GetSelectionRecord()->X1 = 100;
    overview->GetSelectionRecord()->Y1 = 80;
    overview->OnSelectionChanging(overview);
    EXPECT_EQ(v->GetOriginX(), 200);
    EXPECT_EQ(v->GetOriginY(), 80);
    // The wheel over the overview zooms the served view.
    bool handled = false;
    overview->OnMouseWheel(overview, 0, 120, win::POINT{10, 10}, handled);
    EXPECT_TRUE(handled);
    EXPECT_DOUBLE_EQ(v->GetZoomX(), 184);
    // Unlinking gives the overview an empty bitmap of its own.
    v->LinkOverviewView(nullptr, 0);
    EXPECT_NE(overview->GetIEBitmap(), v->GetIEBitmap());
    EXPECT_FALSE(overview->GetIsOverview());
    EXPECT_EQ(overview->GetIEBitmap()->GetWidth(), 0);
}

TEST_F(ViewZoomScreen, OverviewDarkensOutsideTheVisiblePart) {
    TVovozIdView* v = MakePictureView();
    auto* overview = new TVovozIdView(form);
    overview->SetBorderStyle(cl::bsNone);
    overview->SetParent(form);
    overview->SetBounds(0, 0, 400, 300);  // the picture at 10 %
    overview->BringToFront();
    v->SetZoom(100);
    v->SetViewXY(1000, 1000);
    v->LinkOverviewView(overview, 2);
    overview->Update();
    const win::test::Screen s = Shot(overview);
    EXPECT_DOUBLE_EQ(overview->GetZoom(), 10);
    // Inside the rectangle (bitmap 1000.. of the served view) the picture as it is; outside
    // darker.
    const uint32_t inside = At(s, overview, 150, 150), outside = At(s, overview, 20, 20);
    EXPECT_EQ(inside, CoordColor(overview->ClientToBitmapX(150), overview->ClientToBitmapY(150)));
    const uint32_t plain = CoordColor(overview->ClientToBitmapX(20), overview->ClientToBitmapY(20));
    EXPECT_NE(outside, plain);
    EXPECT_LE((outside >> 16) & 255, (plain >> 16) & 255);
    v->LinkOverviewView(nullptr, 0);
}

TEST_F(ViewZoomScreen, FreeingAnOverviewUnlinksIt) {
    TVovozIdView* v = MakePictureView();
    auto* overview = new TVovozIdView(form);
    overview->SetParent(form);
    v->LinkOverviewView(overview, 0);
    delete overview;
    EXPECT_EQ(v->GetOverviewView(), nullptr);
    v->SetZoom(50);  // nothing left to refresh
}

}  // namespace
}  // namespace ie::test
