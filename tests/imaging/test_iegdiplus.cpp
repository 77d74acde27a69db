// The drawing wrapper on the headless screen's bitmaps: the backend's loader and its use
// count, each shape's coverage and geometry with the vector path on and off (coverage is
// measured as darkness on white, not as exact anti-aliased bytes), pens and brushes kept in
// step, dashes, joins, hatches, even-odd fill, targets of 8, 24 and 32 bits, and the plain
// path's raster operations (drawn twice, xor and not put every pixel back).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/view/iegdiplus.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

// A 24-bit white bitmap.
std::unique_ptr<cl::TBitmap> White(int w, int h) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(w, h);
    for (int y = 0; y < h; ++y) std::memset(b->ScanLine(y), 255, static_cast<size_t>(w) * 3);
    return b;
}

// B, G, R of a 24-bit pixel.
const uint8_t* Px(cl::TBitmap& b, int x, int y) { return static_cast<const uint8_t*>(b.ScanLine(y)) + 3 * x; }

// How much of black lies on a white pixel, 0 .. 1 (the mean of the three channels).
double Cover(cl::TBitmap& b, int x, int y) {
    if (x < 0 || y < 0 || x >= b.GetWidth() || y >= b.GetHeight()) return 0;
    const uint8_t* p = Px(b, x, y);
    return (765 - p[0] - p[1] - p[2]) / 765.0;
}

// The largest coverage in the 3 x 3 pixels around (x, y): tolerant of where exactly an
// anti-aliased edge falls.
double Near(cl::TBitmap& b, int x, int y) {
    double m = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) m = std::max(m, Cover(b, x + dx, y + dy));
    return m;
}

double Total(cl::TBitmap& b) {
    double s = 0;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) s += Cover(b, x, y);
    return s;
}

// The box (inclusive) of the pixels with any coverage; left > right when none.
cl::TRect Inked(cl::TBitmap& b) {
    cl::TRect r{b.GetWidth(), b.GetHeight(), -1, -1};
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x)
            if (Cover(b, x, y) > 0) {
                r.left = std::min<long>(r.left, x);
                r.top = std::min<long>(r.top, y);
                r.right = std::max<long>(r.right, x);
                r.bottom = std::max<long>(r.bottom, y);
            }
    return r;
}

// Sets the backend switch and a probe for a test, holds one use, and puts all back.
class GdiPlusTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        savedEnabled_ = IEGDIPlusEnabled;
        savedProbe_ = IEGDIPlusStartupProbe;
    }
    void TearDown() override {
        while (IEGDIPlusUseCount() > 0) IEGDIPlusUnload();
        while (IEGDIPlusUseCount() < 0) IEGDIPlusLoad();
        IEGDIPlusEnabled = savedEnabled_;
        IEGDIPlusStartupProbe = savedProbe_;
        ControlsTest::TearDown();
    }
    // Vector path on or off for the rest of the test.
    static void Use(bool vector) {
        IEGDIPlusEnabled = vector;
        IEGDIPlusLoad();
        ASSERT_EQ(IEGDIPlusUsable(), vector);
    }

private:
    bool savedEnabled_ = false;
    TIEGDIPlusStartup savedProbe_ = nullptr;
};

bool FailingStart() { return false; }

// ---------------------------------------------------------------------------------------
// The loader

TEST_F(GdiPlusTest, StaticInitEnablesAndTheUseCountLoadsAndUnloads) {
    IEGDIPlusStaticInit();
    EXPECT_TRUE(IEGDIPlusEnabled);
    EXPECT_FALSE(IEGDIPlusLoaded());
    EXPECT_EQ(IEGDIPlusUseCount(), 0);
    IEGDIPlusLoad();  // the first view
    EXPECT_TRUE(IEGDIPlusLoaded());
    EXPECT_TRUE(IEGDIPlusUsable());
    IEGDIPlusLoad();    // the second view
    IEGDIPlusUnload();  // the first goes
    EXPECT_TRUE(IEGDIPlusLoaded());
    IEGDIPlusUnload();  // the second goes
    EXPECT_FALSE(IEGDIPlusLoaded());
    EXPECT_EQ(IEGDIPlusUseCount(), 0);
}

TEST_F(GdiPlusTest, TheLibraryStartUpEnablesTheBackend) {
    while (IELibraryStarted()) IELibraryStaticFinal();
    IEGDIPlusEnabled = false;
    IEGDIPlusRegisterStaticHooks();
    IELibraryStaticInit();
    EXPECT_TRUE(IEGDIPlusEnabled);
    EXPECT_FALSE(IEGDIPlusLoaded());
    IELibraryStaticFinal();
    IERegisterStaticHooks(iesuGDIPlus, nullptr, nullptr);
}

TEST_F(GdiPlusTest, DisabledCountsUsesButNeverLoads) {
    IEGDIPlusEnabled = false;
    IEGDIPlusLoad();
    EXPECT_EQ(IEGDIPlusUseCount(), 1);
    EXPECT_FALSE(IEGDIPlusLoaded());
    EXPECT_FALSE(IEGDIPlusUsable());
    // Enabled later: the next load starts it.
    IEGDIPlusEnabled = true;
    IEGDIPlusLoad();
    EXPECT_TRUE(IEGDIPlusUsable());
}

TEST_F(GdiPlusTest, FailedStartLeavesThePlainPathWorkingAndALaterLoadRetries) {
    IEGDIPlusEnabled = true;
    IEGDIPlusStartupProbe = &FailingStart;
    IEGDIPlusLoad();
    EXPECT_FALSE(IEGDIPlusLoaded());
    EXPECT_FALSE(IEGDIPlusUsable());
    auto b = White(30, 30);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        EXPECT_FALSE(c.GetUseGDIPlus());
        EXPECT_EQ(c.GetGraphics(), nullptr);
        c.GetBrush()->SetColor(cl::clBlack);
        c.FillRect(cl::Rect(10, 10, 20, 20));
    }
    EXPECT_DOUBLE_EQ(Total(*b), 100.0);  // the plain path's 10 x 10
    IEGDIPlusStartupProbe = &IEGDIPlusDefaultStartup;
    IEGDIPlusLoad();
    EXPECT_TRUE(IEGDIPlusUsable());
}

TEST_F(GdiPlusTest, CanvasWithoutALoadedBackendDrawsThePlainWay) {
    IEGDIPlusEnabled = true;
    ASSERT_FALSE(IEGDIPlusLoaded());
    auto b = White(20, 20);
    TIECanvas c(b->GetCanvas(), true, true);
    EXPECT_FALSE(c.GetUseGDIPlus());
    c.GetPen()->SetColor(cl::clBlack);
    c.MoveTo(2, 5);
    c.LineTo(12, 5);
    EXPECT_DOUBLE_EQ(Total(*b), 10.0);
    EXPECT_EQ(c.GetPenPos().x, 12);
}

TEST_F(GdiPlusTest, VectorCanvasWithoutADeviceContextRaises) {
    Use(true);
    cl::TCanvas bare;  // no device context
    try {
        TIECanvas c(&bare, true, true);
        FAIL() << "no exception";
    } catch (const cl::Exception& e) {
        EXPECT_EQ(e.Message, "Cannot create TIECanvas. GdipCreateFromHDC failed.");
    }
}

// ---------------------------------------------------------------------------------------
// Shapes: coverage and geometry on both paths

struct ShapeCase {
    const char* name;
    std::function<void(TIECanvas&)> draw;
    std::vector<cl::TPoint> inked;  // covered (somewhere in the 3 x 3 around)
    std::vector<cl::TPoint> clear;  // untouched (the 3 x 3 around)
    cl::TRect bounds;               // every covered pixel lies inside (inclusive)
};

std::vector<ShapeCase> ShapeCases() {
    return {
        {"line",
         [](TIECanvas& c) { c.DrawLine(5, 5, 40, 30); },
         {{5, 5}, {22, 17}, {39, 29}},
         {{5, 30}, {40, 5}, {22, 30}},
         {4, 4, 41, 31}},
        {"line to",
         [](TIECanvas& c) {
             c.MoveTo(10, 40);
             c.LineTo(40, 40);
             c.LineTo(40, 10);
         },
         {{10, 40}, {25, 40}, {40, 25}},
         {{25, 25}, {10, 10}},
         {9, 9, 41, 41}},
        {"rectangle",
         [](TIECanvas& c) { c.Rectangle(10, 10, 40, 30); },
         {{10, 20}, {25, 10}, {38, 20}, {25, 28}},
         {{25, 20}, {5, 5}, {44, 34}},
         {9, 9, 40, 30}},
        {"rectangle corners reversed",
         [](TIECanvas& c) { c.Rectangle(cl::Rect(40, 30, 10, 10)); },
         {{10, 20}, {25, 10}, {38, 20}, {25, 28}},
         {{25, 20}, {5, 5}, {44, 34}},
         {9, 9, 40, 30}},
        {"ellipse",
         [](TIECanvas& c) { c.Ellipse(10, 10, 51, 31); },
         {{10, 20}, {30, 10}, {49, 20}, {30, 29}},
         {{30, 20}, {11, 11}, {49, 29}},
         {9, 9, 51, 31}},
        {"polygon",
         [](TIECanvas& c) {
             c.Polygon({{10, 40}, {30, 5}, {50, 40}});
         },
         {{10, 40}, {30, 6}, {50, 40}, {30, 40}, {20, 22}},
         {{30, 28}, {10, 10}, {50, 10}},
         {9, 4, 51, 41}},
        {"polyline",
         [](TIECanvas& c) {
             c.Polyline({{5, 5}, {45, 5}, {45, 40}});
         },
         {{5, 5}, {25, 5}, {45, 20}},
         {{25, 25}, {5, 40}},
         {4, 4, 46, 41}},
        // The upper right quarter of the circle in 10 .. 50: from the direction of the right
        // counter-clockwise to the direction of the top.
        {"arc",
         [](TIECanvas& c) { c.Arc(10, 10, 50, 50, 60, 30, 30, 0); },
         {{44, 16}, {50, 28}, {32, 10}},
         {{16, 44}, {16, 16}, {44, 44}, {30, 30}},
         {28, 9, 52, 32}},
        {"round rectangle",
         [](TIECanvas& c) { c.RoundRect(10, 10, 50, 40, 16, 16); },
         {{30, 10}, {10, 25}, {49, 25}, {30, 39}},
         {{30, 25}, {10, 10}, {50, 40}},
         {9, 9, 51, 41}},
    };
}

class ShapeTest : public GdiPlusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ShapeTest, EachShapeCoversItsOutlineAndNothingOutside) {
    Use(GetParam());
    for (const ShapeCase& sc : ShapeCases()) {
        SCOPED_TRACE(sc.name);
        auto b = White(60, 50);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            EXPECT_EQ(c.GetUseGDIPlus(), GetParam());
            c.GetPen()->SetColor(cl::clBlack);
            c.GetBrush()->SetStyle(cl::bsClear);
            sc.draw(c);
        }
        for (const cl::TPoint& p : sc.inked) EXPECT_GT(Near(*b, p.x, p.y), 0.4) << p.x << "," << p.y;
        for (const cl::TPoint& p : sc.clear) EXPECT_EQ(Near(*b, p.x, p.y), 0.0) << p.x << "," << p.y;
        const cl::TRect box = Inked(*b);
        EXPECT_GE(box.left, sc.bounds.left);
        EXPECT_GE(box.top, sc.bounds.top);
        EXPECT_LE(box.right, sc.bounds.right);
        EXPECT_LE(box.bottom, sc.bounds.bottom);
    }
}

TEST_P(ShapeTest, FilledShapesCoverTheirInside) {
    Use(GetParam());
    struct Fill {
        const char* name;
        std::function<void(TIECanvas&)> draw;
        cl::TPoint inside;
        cl::TPoint outside;
    };
    const Fill fills[] = {
        {"rectangle", [](TIECanvas& c) { c.Rectangle(10, 10, 40, 30); }, {25, 20}, {45, 20}},
        {"ellipse", [](TIECanvas& c) { c.Ellipse(10, 10, 51, 31); }, {30, 20}, {11, 11}},
        {"polygon",
         [](TIECanvas& c) {
             c.Polygon({{10, 40}, {30, 5}, {50, 40}});
         },
         {30, 30},
         {12, 12}},
        {"round rectangle", [](TIECanvas& c) { c.RoundRect(10, 10, 50, 40, 16, 16); }, {30, 25}, {10, 10}},
    };
    for (const Fill& f : fills) {
        SCOPED_TRACE(f.name);
        auto b = White(60, 50);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            c.GetPen()->SetStyle(cl::psClear);
            c.GetBrush()->SetColor(cl::clBlack);
            f.draw(c);
        }
        EXPECT_DOUBLE_EQ(Cover(*b, f.inside.x, f.inside.y), 1.0);
        EXPECT_EQ(Cover(*b, f.outside.x, f.outside.y), 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ShapeTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Vector" : "Plain"; });

TEST_F(GdiPlusTest, FillRectCoversNineByNineOnTheVectorPathAndTenByTenOnThePlainOne) {
    for (const bool vector : {true, false}) {
        SCOPED_TRACE(vector);
        IEGDIPlusEnabled = vector;
        IEGDIPlusLoad();
        auto b = White(30, 30);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            c.GetBrush()->SetColor(cl::clBlack);
            c.FillRect(cl::Rect(10, 10, 20, 20));
        }
        const cl::TRect box = Inked(*b);
        EXPECT_EQ(box.left, 10);
        EXPECT_EQ(box.top, 10);
        EXPECT_EQ(box.right, 19);
        EXPECT_EQ(box.bottom, 19);
        if (vector) {
            EXPECT_NEAR(Total(*b), 81.0, 0.5);
            EXPECT_DOUBLE_EQ(Cover(*b, 15, 15), 1.0);
            EXPECT_NEAR(Cover(*b, 10, 15), 0.5, 0.01);  // the edge runs through the middle
        } else {
            EXPECT_DOUBLE_EQ(Total(*b), 100.0);
        }
        IEGDIPlusUnload();
    }
}

TEST_F(GdiPlusTest, FractionalPenWidthIsKeptOnlyByTheVectorPath) {
    for (const bool vector : {true, false}) {
        SCOPED_TRACE(vector);
        IEGDIPlusEnabled = vector;
        IEGDIPlusLoad();
        auto b = White(40, 20);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            c.GetPen()->SetColor(cl::clBlack);
            c.GetPen()->SetWidth(2.5f);
            EXPECT_EQ(b->GetCanvas()->GetPen()->GetWidth(), 2);
            c.DrawLine(5, 10, 35, 10);
        }
        double column = 0;
        for (int y = 0; y < 20; ++y) column += Cover(*b, 20, y);
        EXPECT_NEAR(column, vector ? 2.5 : 2.0, 0.05);
        IEGDIPlusUnload();
    }
}

TEST_F(GdiPlusTest, PenOfNoWidthDrawsOnePixelAndAHugeOneStaysInTheTarget) {
    Use(true);
    auto b = White(40, 20);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetPen()->SetColor(cl::clBlack);
        c.GetPen()->SetWidth(0.0f);
        c.DrawLine(5, 10, 35, 10);
    }
    double column = 0;
    for (int y = 0; y < 20; ++y) column += Cover(*b, 20, y);
    EXPECT_NEAR(column, 1.0, 0.05);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetPen()->SetWidth(1e30f);
        EXPECT_EQ(b->GetCanvas()->GetPen()->GetWidth(), 65536);
        c.GetPen()->SetWidth(100.0f);
        c.DrawLine(5, 10, 35, 10);
    }
    // Flat ends: every row of the columns the line spans (centres 5 .. 35), nothing beyond.
    EXPECT_NEAR(Total(*b), 30.0 * 20, 1.0);
    EXPECT_EQ(Cover(*b, 2, 0), 0.0);
    EXPECT_DOUBLE_EQ(Cover(*b, 20, 0), 1.0);
}

TEST_F(GdiPlusTest, AntiAliasOffGivesWholePixels) {
    Use(true);
    auto b = White(40, 40);
    {
        TIECanvas c(b->GetCanvas(), false, true);
        c.GetPen()->SetStyle(cl::psClear);
        c.GetBrush()->SetColor(cl::clBlack);
        c.Ellipse(5, 5, 36, 30);
    }
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const double v = Cover(*b, x, y);
            EXPECT_TRUE(v == 0.0 || v == 1.0) << x << "," << y << " " << v;
        }
    EXPECT_DOUBLE_EQ(Cover(*b, 20, 17), 1.0);
}

// ---------------------------------------------------------------------------------------
// Pens and brushes in step

TEST_F(GdiPlusTest, ClearPenComesBackInEitherOrder) {
    Use(true);
    for (const bool colourFirst : {true, false}) {
        SCOPED_TRACE(colourFirst);
        auto b = White(30, 20);
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetPen()->SetStyle(cl::psClear);
        c.DrawLine(2, 10, 28, 10);
        EXPECT_EQ(Total(*b), 0.0);
        EXPECT_EQ(c.GetPen()->GetGPPen()->ARGB >> 24, 0u);
        if (colourFirst) {
            c.GetPen()->SetColor(cl::clBlack);
            c.GetPen()->SetStyle(cl::psSolid);
        } else {
            c.GetPen()->SetStyle(cl::psSolid);
            c.GetPen()->SetColor(cl::clBlack);
        }
        c.DrawLine(2, 10, 28, 10);
        EXPECT_GT(Total(*b), 20.0);
    }
}

TEST_F(GdiPlusTest, ClearBrushPaintsNothingUntilSolidAgain) {
    Use(true);
    auto b = White(30, 30);
    TIECanvas c(b->GetCanvas(), true, true);
    c.GetBrush()->SetColor(cl::clRed);
    c.GetBrush()->SetStyle(cl::bsClear);
    EXPECT_EQ(c.GetBrush()->GetGPBrush()->ForeARGB, 0x00FF0000u);
    c.FillRect(cl::Rect(5, 5, 25, 25));
    EXPECT_EQ(Total(*b), 0.0);
    c.GetBrush()->SetStyle(cl::bsSolid);
    EXPECT_EQ(c.GetBrush()->GetGPBrush()->ForeARGB, 0xFFFF0000u);
    c.FillRect(cl::Rect(5, 5, 25, 25));
    const uint8_t* p = Px(*b, 15, 15);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[2], 255);
    EXPECT_EQ(b->GetCanvas()->GetBrush()->GetStyle(), cl::bsSolid);
    EXPECT_EQ(b->GetCanvas()->GetBrush()->GetColor(), cl::clRed);
}

TEST_F(GdiPlusTest, TransparencyBlendsWithWhatIsThere) {
    Use(true);
    auto b = White(30, 30);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetBrush()->SetColor(cl::clBlack);
        c.GetBrush()->SetTransparency(128);
        c.FillRect(cl::Rect(5, 5, 25, 25));
        c.GetPen()->SetColor(cl::clBlack);
        c.GetPen()->SetTransparency(64);
        c.GetPen()->SetWidth(3);
        c.DrawLine(2, 28, 28, 28);
    }
    EXPECT_NEAR(Cover(*b, 15, 15), 128 / 255.0, 0.01);
    EXPECT_NEAR(Cover(*b, 15, 28), 64 / 255.0, 0.01);
}

TEST_F(GdiPlusTest, PenAndBrushTakeTheClassLibraryValuesAtConstruction) {
    Use(true);
    auto b = White(10, 10);
    b->GetCanvas()->GetPen()->SetColor(cl::clBlue);
    b->GetCanvas()->GetPen()->SetWidth(4);
    b->GetCanvas()->GetPen()->SetStyle(cl::psDot);
    b->GetCanvas()->GetPen()->SetMode(cl::pmXor);
    b->GetCanvas()->GetBrush()->SetColor(cl::clLime);
    b->GetCanvas()->GetBrush()->SetStyle(cl::bsCross);
    TIECanvas c(b->GetCanvas(), true, true);
    const TIEPen& pen = *c.GetPen();
    EXPECT_EQ(pen.GetColor(), cl::clBlue);
    EXPECT_EQ(pen.GetWidth(), 4.0f);
    EXPECT_EQ(pen.GetStyle(), cl::psDot);
    EXPECT_EQ(pen.GetMode(), cl::pmXor);
    EXPECT_EQ(pen.GetTransparency(), 255);
    EXPECT_EQ(pen.GetLineJoin(), ieljRound);
    ASSERT_NE(pen.GetGPPen(), nullptr);
    EXPECT_EQ(pen.GetGPPen()->ARGB, 0xFF0000FFu);
    EXPECT_EQ(pen.GetGPPen()->DashStyle, 2);
    const TIEBrush& brush = *c.GetBrush();
    ASSERT_NE(brush.GetGPBrush(), nullptr);
    EXPECT_TRUE(brush.GetGPBrush()->Hatched);
    EXPECT_EQ(brush.GetGPBrush()->Hatch, 4);
    EXPECT_EQ(brush.GetGPBrush()->ForeARGB, 0xFF00FF00u);
    EXPECT_EQ(brush.GetGPBrush()->BackARGB, 0x00000000u);
}

TEST_F(GdiPlusTest, PenSetHandleReachesOnlyTheClassLibraryPen) {
    Use(true);
    auto b = White(10, 10);
    TIECanvas c(b->GetCanvas(), true, true);
    win::HPEN h = win::CreatePen(win::PS_DASH, 1, win::RGB(1, 2, 3));
    c.GetPen()->SetHandle(h);
    win::DeleteObject(h);
    EXPECT_EQ(b->GetCanvas()->GetPen()->GetColor(), static_cast<cl::TColor>(win::RGB(1, 2, 3)));
    EXPECT_EQ(b->GetCanvas()->GetPen()->GetStyle(), cl::psDash);
    h = win::CreatePen(win::PS_SOLID, 3, win::RGB(4, 5, 6));
    c.GetPen()->SetHandle(h);
    win::DeleteObject(h);
    EXPECT_EQ(b->GetCanvas()->GetPen()->GetWidth(), 3);
    EXPECT_EQ(b->GetCanvas()->GetPen()->GetStyle(), cl::psSolid);
    EXPECT_EQ(c.GetPen()->GetColor(), cl::clBlack);
}

// ---------------------------------------------------------------------------------------
// Dashes, joins, hatches, even-odd

TEST_F(GdiPlusTest, DashesScaleWithTheWidth) {
    Use(true);
    struct Dash {
        cl::TPenStyle style;
        int width;
        std::vector<int> pattern;  // on, off, ... in units of the width
    };
    const Dash dashes[] = {
        {cl::psDash, 1, {3, 1}},
        {cl::psDash, 3, {3, 1}},
        {cl::psDot, 2, {1, 1}},
        {cl::psDashDot, 2, {3, 1, 1, 1}},
        {cl::psDashDotDot, 1, {3, 1, 1, 1, 1, 1}},
        {cl::psDashDotDot, 3, {3, 1, 1, 1, 1, 1}},
    };
    for (const Dash& d : dashes) {
        SCOPED_TRACE(testing::Message() << d.style << " width " << d.width);
        auto b = White(120, 20);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            c.GetPen()->SetColor(cl::clBlack);
            c.GetPen()->SetStyle(d.style);
            c.GetPen()->SetWidth(static_cast<float>(d.width));
            c.DrawLine(10, 10, 110, 10);
        }
        int period = 0, on = 0;
        for (size_t i = 0; i < d.pattern.size(); ++i) {
            period += d.pattern[i] * d.width;
            if (i % 2 == 0) on += d.pattern[i] * d.width;
        }
        // The ink of each column across the line, in units of the width.
        std::vector<double> ink(120, 0.0);
        for (int x = 0; x < 120; ++x)
            for (int y = 0; y < 20; ++y) ink[x] += Cover(*b, x, y) / d.width;
        double sum = 0;
        for (int x = 12; x < 12 + 2 * period; ++x) {
            sum += ink[x];
            EXPECT_NEAR(ink[x], ink[x + period], 0.05) << x;
        }
        EXPECT_NEAR(sum, 2.0 * on, 0.2);
        if (d.width > 1) {
            // Not repeating at the pattern's length in pixels: the lengths were scaled.
            const int unscaled = period / d.width;
            double differ = 0;
            for (int x = 12; x < 12 + period; ++x) differ = std::max(differ, std::fabs(ink[x] - ink[x + unscaled]));
            EXPECT_GT(differ, 0.5);
        }
        // The first dash starts with the line.
        EXPECT_GT(ink[11], 0.9);
    }
}

TEST_F(GdiPlusTest, LineJoinsShapeTheOuterCorner) {
    Use(true);
    struct Join {
        uint8_t join;
        bool cornerSquare;  // the outer corner pixel is covered
        bool roundBulge;    // the pixel on the rounded part is touched
    };
    const Join joins[] = {
        {ieljMiter, true, true}, {ieljMiterClipped, true, true}, {ieljBevel, false, false}, {ieljRound, false, true}};
    for (const Join& j : joins) {
        SCOPED_TRACE(static_cast<int>(j.join));
        auto b = White(50, 50);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            c.GetPen()->SetColor(cl::clBlack);
            c.GetPen()->SetWidth(9);
            c.GetPen()->SetLineJoin(j.join);
            c.Polyline({{5, 30}, {30, 30}, {30, 5}});
        }
        EXPECT_EQ(Cover(*b, 34, 34) > 0.9, j.cornerSquare);
        EXPECT_EQ(Cover(*b, 33, 33) > 0.2, j.roundBulge);
        EXPECT_DOUBLE_EQ(Cover(*b, 29, 29), 1.0);
    }
}

TEST_F(GdiPlusTest, HatchBrushesRepeatTheirEightByEightCells) {
    Use(true);
    // Fore pixels of the cell: (x, y) in 0 .. 7.
    const std::function<bool(int, int)> cells[] = {
        [](int, int y) { return y == 0; },
        [](int x, int) { return x == 0; },
        [](int x, int y) { return x == y; },
        [](int x, int y) { return x == 7 - y; },
        [](int x, int y) { return x == 0 || y == 0; },
        [](int x, int y) { return x == y || x == 7 - y; },
    };
    for (int hatch = 0; hatch < 6; ++hatch) {
        SCOPED_TRACE(hatch);
        auto b = White(40, 40);
        {
            TIECanvas c(b->GetCanvas(), true, true);
            c.GetBrush()->BackColor = cl::clWhite;
            c.GetBrush()->BackTransparency = 255;
            c.GetBrush()->SetColor(cl::clBlack);
            c.GetBrush()->SetStyle(static_cast<cl::TBrushStyle>(cl::bsHorizontal + hatch));
            c.FillRect(cl::Rect(0, 0, 41, 41));
        }
        for (int y = 1; y < 39; ++y)
            for (int x = 1; x < 39; ++x)
                ASSERT_EQ(Cover(*b, x, y), cells[hatch](x % 8, y % 8) ? 1.0 : 0.0) << x << "," << y;
    }
}

TEST_F(GdiPlusTest, HatchWithoutBackgroundLeavesTheGapsAlone) {
    Use(true);
    auto b = White(20, 20);
    for (int y = 0; y < 20; ++y) std::memset(b->ScanLine(y), 77, 60);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetBrush()->SetColor(cl::clBlack);
        c.GetBrush()->SetStyle(cl::bsHorizontal);
        c.FillRect(cl::Rect(0, 0, 21, 21));
    }
    EXPECT_EQ(Px(*b, 5, 8)[0], 0);
    EXPECT_EQ(Px(*b, 5, 9)[0], 77);
}

TEST_P(ShapeTest, SelfCrossingPolygonLeavesItsMiddleOpen) {
    Use(GetParam());
    auto b = White(60, 60);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetPen()->SetStyle(cl::psClear);
        c.GetBrush()->SetColor(cl::clBlack);
        // A five-pointed star drawn in one stroke: its pentagon is wound twice.
        std::vector<cl::TPoint> star;
        for (int i = 0; i < 5; ++i) {
            const double a = -M_PI / 2 + i * 4 * M_PI / 5;
            star.push_back({static_cast<int>(std::lround(30 + 25 * std::cos(a))),
                            static_cast<int>(std::lround(30 + 25 * std::sin(a)))});
        }
        c.Polygon(star);
    }
    EXPECT_EQ(Cover(*b, 30, 31), 0.0);         // the middle
    EXPECT_DOUBLE_EQ(Cover(*b, 30, 12), 1.0);  // the top point
    EXPECT_DOUBLE_EQ(Cover(*b, 12, 25), 1.0);  // the left point
}

TEST_F(GdiPlusTest, PolygonFillCoversTheInnerHalfOfItsOutline) {
    Use(true);
    auto b = White(50, 50);
    {
        TIECanvas c(b->GetCanvas(), false, true);
        c.GetPen()->SetColor(cl::clRed);
        c.GetPen()->SetWidth(6);
        c.GetBrush()->SetColor(cl::clBlue);
        c.Polygon({{10, 10}, {40, 10}, {40, 40}, {10, 40}});
    }
    auto isRed = [&](int x, int y) { return Px(*b, x, y)[2] == 255 && Px(*b, x, y)[0] == 0; };
    auto isBlue = [&](int x, int y) { return Px(*b, x, y)[0] == 255 && Px(*b, x, y)[2] == 0; };
    EXPECT_TRUE(isRed(25, 8));    // outer half of the top edge
    EXPECT_TRUE(isBlue(25, 11));  // inner half: the fill came second
    EXPECT_TRUE(isBlue(25, 25));
    EXPECT_TRUE(isRed(42, 25));
    EXPECT_TRUE(isBlue(38, 25));
}

// ---------------------------------------------------------------------------------------
// Targets and clipping

TEST_F(GdiPlusTest, GreyTargetStaysGreyAndIsDrawn) {
    Use(true);
    cl::TBitmap b;
    b.SetPixelFormat(cl::pf8bit);
    b.SetSize(30, 30);
    IESetGrayPalette(&b);
    for (int y = 0; y < 30; ++y) std::memset(b.ScanLine(y), 200, 30);
    {
        TIECanvas c(b.GetCanvas(), true, true);
        c.GetBrush()->SetColor(cl::clBlack);
        c.GetBrush()->SetTransparency(128);
        c.FillRect(cl::Rect(5, 5, 25, 25));
    }
    EXPECT_EQ(b.GetPixelFormat(), cl::pf8bit);
    const auto* row = static_cast<const uint8_t*>(b.ScanLine(15));
    EXPECT_NEAR(row[15], 100, 2);  // half of 200
    EXPECT_EQ(row[2], 200);
}

TEST_F(GdiPlusTest, ThirtyTwoBitTargetKeepsItsAlpha) {
    Use(true);
    cl::TBitmap b;
    b.SetPixelFormat(cl::pf32bit);
    b.SetSize(20, 20);
    for (int y = 0; y < 20; ++y) {
        auto* row = static_cast<uint32_t*>(b.ScanLine(y));
        for (int x = 0; x < 20; ++x) row[x] = (static_cast<uint32_t>(x * 10) << 24) | 0xFFFFFF;
    }
    {
        TIECanvas c(b.GetCanvas(), true, true);
        c.GetBrush()->SetColor(cl::clBlack);
        c.FillRect(cl::Rect(2, 2, 18, 18));
    }
    const auto* row = static_cast<const uint32_t*>(b.ScanLine(10));
    for (int x = 0; x < 20; ++x) EXPECT_EQ(row[x] >> 24, static_cast<uint32_t>(x * 10)) << x;
    EXPECT_EQ(row[10] & 0xFFFFFF, 0u);
}

TEST_P(ShapeTest, ShapesReachingPastTheEdgesAreClipped) {
    Use(GetParam());
    auto b = White(20, 20);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetPen()->SetColor(cl::clBlack);
        c.GetPen()->SetWidth(3);
        c.GetBrush()->SetColor(cl::clBlack);
        c.Ellipse(-30, -30, 10, 10);
        c.DrawLine(-100000, 15, 100000, 15);
        c.Polygon({{15, -50}, {50, 50}, {-20, 50}});
        c.RoundRect(-5, -5, 1000000, 1000000, 40, 40);
    }
    EXPECT_GT(Total(*b), 100.0);
}

TEST_F(GdiPlusTest, VectorDrawingFollowsTheCanvasClip) {
    Use(true);
    auto b = White(30, 30);
    win::HRGN rgn = win::CreateRectRgn(0, 0, 15, 30);
    win::SelectClipRgn(b->GetCanvas()->GetHandle(), rgn);
    win::DeleteObject(rgn);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetBrush()->SetColor(cl::clBlack);
        c.FillRect(cl::Rect(5, 5, 25, 25));
    }
    win::SelectClipRgn(b->GetCanvas()->GetHandle(), nullptr);
    EXPECT_DOUBLE_EQ(Cover(*b, 10, 10), 1.0);
    EXPECT_EQ(Cover(*b, 20, 10), 0.0);
}

// ---------------------------------------------------------------------------------------
// The plain path's raster operations

TEST_F(GdiPlusTest, XorAndNotDrawnTwicePutEveryPixelBack) {
    Use(false);
    const std::function<void(TIECanvas&)> shapes[] = {
        [](TIECanvas& c) { c.DrawLine(3, 4, 50, 37); },
        [](TIECanvas& c) {
            c.MoveTo(5, 5);
            c.LineTo(50, 5);
            c.LineTo(50, 40);
            c.LineTo(5, 5);
        },
        [](TIECanvas& c) { c.Rectangle(5, 6, 45, 38); },
        [](TIECanvas& c) { c.Ellipse(4, 4, 52, 40); },
        [](TIECanvas& c) {
            c.Polygon({{5, 40}, {30, 3}, {55, 40}, {30, 20}});
        },
        [](TIECanvas& c) {
            c.Polyline({{2, 2}, {50, 10}, {10, 40}, {55, 44}});
        },
        [](TIECanvas& c) { c.Arc(5, 5, 50, 45, 60, 20, 0, 45); },
        [](TIECanvas& c) { c.RoundRect(3, 3, 50, 42, 18, 12); },
    };
    auto pixels = [](cl::TBitmap& b) {
        std::vector<uint8_t> v;
        for (int y = 0; y < b.GetHeight(); ++y) {
            const auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
            v.insert(v.end(), row, row + 3 * b.GetWidth());
        }
        return v;
    };
    for (const cl::TPenMode mode : {cl::pmXor, cl::pmNot, cl::pmNotXor}) {
        for (const int width : {1, 3}) {
            for (size_t i = 0; i < std::size(shapes); ++i) {
                SCOPED_TRACE(testing::Message() << "mode " << mode << " width " << width << " shape " << i);
                auto b = White(60, 50);
                for (int y = 0; y < 50; ++y) {
                    auto* row = static_cast<uint8_t*>(b->ScanLine(y));
                    for (int x = 0; x < 180; ++x) row[x] = static_cast<uint8_t>(x * 7 + y * 13);
                }
                const std::vector<uint8_t> before = pixels(*b);
                TIECanvas c(b->GetCanvas(), true, true);
                ASSERT_FALSE(c.GetUseGDIPlus());
                c.GetBrush()->SetStyle(cl::bsClear);
                c.GetPen()->SetColor(static_cast<cl::TColor>(0x3C8A5F));
                c.GetPen()->SetWidth(static_cast<float>(width));
                c.GetPen()->SetMode(mode);
                shapes[i](c);
                EXPECT_NE(pixels(*b), before);
                shapes[i](c);
                EXPECT_EQ(pixels(*b), before);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Bevel and text

TEST_P(ShapeTest, BevelLightAboveLeftDarkBelowRight) {
    Use(GetParam());
    auto b = White(30, 30);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetPen()->SetMode(cl::pmXor);
        c.GetPen()->SetWidth(5);
        IEDrawBevelIE(&c, 3, 4, 20, 22, cl::clRed, cl::clBlack);
        EXPECT_EQ(c.GetPen()->GetMode(), cl::pmCopy);
        EXPECT_EQ(c.GetPen()->GetWidth(), 1.0f);
    }
    auto red = [&](int x, int y) { return Px(*b, x, y)[2] > 200 && Px(*b, x, y)[1] < 60; };
    auto dark = [&](int x, int y) { return Cover(*b, x, y) > 0.9; };
    EXPECT_TRUE(red(3, 12));    // left
    EXPECT_TRUE(red(12, 4));    // top
    EXPECT_TRUE(dark(12, 22));  // bottom
    EXPECT_TRUE(dark(20, 12));  // right
    EXPECT_EQ(Cover(*b, 12, 12), 0.0);
    EXPECT_EQ(Cover(*b, 24, 12), 0.0);
}

TEST_F(GdiPlusTest, TextRectExClipsToTheRectangle) {
    Use(true);
    auto b = White(120, 30);
    {
        TIECanvas c(b->GetCanvas(), true, true);
        c.GetFont()->SetColor(cl::clBlack);
        b->GetCanvas()->GetBrush()->SetStyle(cl::bsClear);
        c.TextRectEx(cl::Rect(0, 0, 20, 30), 2, 5, "WWWWWWWWWW");
    }
    const cl::TRect box = Inked(*b);
    EXPECT_GE(box.left, 0);
    EXPECT_LE(box.right, 19);
    EXPECT_GT(Total(*b), 5.0);
    EXPECT_GT(b->GetCanvas()->TextWidth("WWWWWWWWWW"), 20);
}

// A label box filled on the vector path, then its text drawn clipped with a clear brush: the
// text must come out in the canvas's current font and leave the fill around the glyphs,
// whatever an earlier text left selected in the device context.
TEST_F(GdiPlusTest, TextRectExDrawsWithTheCurrentFontAndBrushOverTheFill) {
    Use(true);
    auto label = [](cl::TBitmap& b, bool Ex) {
        cl::TCanvas* cv = b.GetCanvas();
        if (Ex) {
            // An earlier text in another font over a white solid brush.
            cv->GetFont()->SetHeight(-30);
            cv->GetBrush()->SetColor(cl::clWhite);
            cv->GetBrush()->SetStyle(cl::bsSolid);
            cv->TextOut(-200, -200, "x");
        }
        TIECanvas c(cv, true, true);
        c.GetBrush()->SetColor(cl::clRed);
        c.GetBrush()->SetStyle(cl::bsSolid);
        c.FillRect(cl::Rect(0, 0, 81, 31));
        c.GetFont()->SetHeight(-12);
        c.GetFont()->SetColor(cl::clBlack);
        c.GetBrush()->SetStyle(cl::bsClear);
        if (Ex)
            c.TextRectEx(cl::Rect(0, 0, 60, 30), 2, 5, "Label");
        else
            cv->TextRect(cl::Rect(0, 0, 60, 30), 2, 5, "Label");
    };
    auto want = White(80, 30), got = White(80, 30);
    label(*want, false);
    label(*got, true);
    int differ = 0, red = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 80; ++x) {
            differ += std::memcmp(Px(*want, x, y), Px(*got, x, y), 3) != 0;
            const uint8_t* p = Px(*got, x, y);
            red += p[0] == 0 && p[1] == 0 && p[2] == 255;
        }
    EXPECT_EQ(differ, 0) << "pixels unlike the class library's clipped text over the same fill";
    EXPECT_GT(red, 80 * 30 / 2);
    EXPECT_GT(Total(*got), 0.0);
}

}  // namespace
}  // namespace ie
