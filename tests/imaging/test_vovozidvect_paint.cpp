// The vector view's object painter: every object kind drawn in bitmap coordinates onto a
// white 24-bit bitmap, with the vector (cairo) path on and off; line end shapes in every
// direction; the highlighter; pictures with an alpha channel; text and labels in the
// fixed-metric test font; angles with a missing point; the drawn rectangle of each kind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"
#include "imaging/view/vovozidvect_label.h"
#include "platform/gdi_testhooks.h"

namespace ie::test {
namespace {

std::unique_ptr<cl::TBitmap> Canvas(uint8_t Value, int32_t Size = 120) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(Size, Size);
    for (int y = 0; y < Size; ++y) std::memset(b->ScanLine(y), Value, static_cast<size_t>(Size) * 3);
    return b;
}

// Blue, green, red of a pixel.
const uint8_t* Px(cl::TBitmap* B, int32_t X, int32_t Y) { return static_cast<const uint8_t*>(B->ScanLine(Y)) + 3 * X; }
bool Marked(cl::TBitmap* B, int32_t X, int32_t Y) {
    const uint8_t* p = Px(B, X, Y);
    return p[0] != 0xFF || p[1] != 0xFF || p[2] != 0xFF;
}
int32_t MarkedCount(cl::TBitmap* B) {
    int32_t n = 0;
    for (int32_t y = 0; y < B->GetHeight(); ++y)
        for (int32_t x = 0; x < B->GetWidth(); ++x) n += Marked(B, x, y);
    return n;
}

TIEVObjRecord Obj(TIEVObjKind Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    TIEVObjRecord r;
    r.Kind = Kind;
    r.X1 = X1, r.Y1 = Y1, r.X2 = X2, r.Y2 = Y2;
    return r;
}

// Parameter: the vector path is used.
class VectPaint : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        win::test::UseTestFont(true);
        IEGDIPlusEnabled = GetParam();
        IEGDIPlusLoad();
    }
    void TearDown() override {
        IEGDIPlusUnload();
        IEGDIPlusEnabled = true;
        win::test::UseTestFont(false);
    }
    bool Draw(TIEVObjRecord& O, cl::TBitmap* B) { return v->DrawObject(O, 0, false, 1, nullptr, false, false, B); }
    std::unique_ptr<TVovozIdVect> v = std::make_unique<TVovozIdVect>(nullptr);
};

TEST_P(VectPaint, ShapesCoverTheirGeometry) {
    ASSERT_EQ(IEGDIPlusUsable(), GetParam());
    struct Case {
        const char* Name;
        TIEVObjKind Kind;
        uint8_t BrushStyle;
        std::vector<cl::TPoint> In, Out;
    };
    const Case cases[] = {
        {"line", ievkLINE, cl::bsClear, {{20, 20}, {60, 60}, {100, 100}}, {{60, 20}, {20, 100}, {101, 101}}},
        {"box outline",
         ievkBOX,
         cl::bsClear,
         {{20, 20}, {100, 20}, {20, 100}, {100, 60}},
         {{60, 60}, {19, 60}, {102, 60}}},
        {"filled box", ievkBOX, cl::bsSolid, {{60, 60}, {21, 99}}, {{18, 60}, {60, 102}}},
        {"ellipse", ievkELLIPSE, cl::bsClear, {{60, 20}, {20, 60}, {100, 60}, {60, 100}}, {{22, 22}, {60, 60}}},
        {"filled ellipse", ievkELLIPSE, cl::bsSolid, {{60, 60}, {60, 25}}, {{22, 22}, {98, 98}}},
        {"arc", ievkARC, cl::bsClear, {{100, 60}, {60, 20}, {20, 60}, {60, 100}}, {{60, 60}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto b = Canvas(0xFF);
        TIEVObjRecord o = Obj(c.Kind, 20, 20, 100, 100);
        o.BrushStyle = c.BrushStyle;
        o.BrushColor = 0x00FF00;
        ASSERT_TRUE(Draw(o, b.get()));
        for (const cl::TPoint& p : c.In) EXPECT_TRUE(Marked(b.get(), p.x, p.y)) << p.x << "," << p.y;
        for (const cl::TPoint& p : c.Out) EXPECT_FALSE(Marked(b.get(), p.x, p.y)) << p.x << "," << p.y;
        EXPECT_LE(o.DrawnRect.left, 20);
        EXPECT_LE(o.DrawnRect.top, 20);
        EXPECT_GE(o.DrawnRect.right, 100);
        EXPECT_GE(o.DrawnRect.bottom, 100);
        EXPECT_EQ(o.DrawnPenWidth, 1);
    }
}

TEST_P(VectPaint, HalfArcStaysOnItsSide) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkARC, 20, 20, 100, 100);
    // From angle 0 (right) to pi (left), counter-clockwise on screen: the upper half.
    o.ArcStart = 0, o.ArcEnd = 3.14159265358979;
    ASSERT_TRUE(Draw(o, b.get()));
    EXPECT_TRUE(Marked(b.get(), 60, 20));
    EXPECT_FALSE(Marked(b.get(), 60, 100));
}

TEST_P(VectPaint, InvisibleObjectsAndSuspendedDrawing) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkBOX, 20, 20, 100, 100);
    o.Options = ievoSelectable;
    EXPECT_FALSE(Draw(o, b.get()));
    o.Options = IEVAllObjOptions;
    v->ObjectsSuspended = true;
    EXPECT_FALSE(Draw(o, b.get()));
    EXPECT_EQ(MarkedCount(b.get()), 0);
}

// Arrow heads (shape 2) point at their end and triangles (shape 1) are based on it, for every
// direction, horizontal ones included.
TEST_P(VectPaint, LineEndShapesInEveryDirection) {
    const int32_t c = 60;
    const int32_t dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    for (uint8_t shape : {1, 2}) {
        for (const auto& d : dirs) {
            SCOPED_TRACE(::testing::Message() << "shape " << int(shape) << " dir " << d[0] << "," << d[1]);
            auto b = Canvas(0xFF);
            // The line from the centre out to (c + 40 d); the end shape is at the far end.
            TIEVObjRecord o = Obj(ievkLINE, c, c, c + 40 * d[0], c + 40 * d[1]);
            o.EndShape = shape;
            o.ShapeWidth = 16, o.ShapeLength = 16;
            o.BrushStyle = cl::bsSolid;
            o.BrushColor = 0;
            ASSERT_TRUE(Draw(o, b.get()));
            // Across the line, 6 pixels to the side: near the end for a triangle, 14 back
            // along the line for an arrow head; nothing beyond the end.
            const double len = std::sqrt(double(d[0] * d[0] + d[1] * d[1]));
            const double ux = d[0] / len, uy = d[1] / len, nx = -uy, ny = ux;
            const double ex = c + 40 * d[0], ey = c + 40 * d[1];
            const double back = shape == 1 ? 3 : 13;
            const int32_t wx = int32_t(std::lround(ex - back * ux + 4 * nx));
            const int32_t wy = int32_t(std::lround(ey - back * uy + 4 * ny));
            EXPECT_TRUE(Marked(b.get(), wx, wy)) << wx << "," << wy;
            const int32_t ox = int32_t(std::lround(ex + 4 * ux)), oy = int32_t(std::lround(ey + 4 * uy));
            EXPECT_FALSE(Marked(b.get(), ox, oy)) << ox << "," << oy;
            // The shape's points are in the drawn rectangle.
            EXPECT_LE(o.DrawnRect.left, std::min<int32_t>(wx, c));
            EXPECT_GE(o.DrawnRect.right, std::max<int32_t>(wx, c));
        }
    }
}

TEST_P(VectPaint, HighlighterAndsItsColour) {
    for (uint8_t ground : {uint8_t(0xFF), uint8_t(0)}) {
        auto b = Canvas(ground);
        TIEVObjRecord o = Obj(ievkBOX, 10, 10, 50, 50);
        o.Highlight = true;
        o.PenWidth = 5;
        o.BrushColor = 0x00FFFF;  // yellow
        ASSERT_TRUE(Draw(o, b.get()));
        EXPECT_EQ(o.PenWidth, 1);
        const uint8_t* in = Px(b.get(), 30, 30);
        const uint8_t* edge = Px(b.get(), 50, 50);
        const uint8_t* out = Px(b.get(), 51, 30);
        EXPECT_EQ(in[0], 0);
        EXPECT_EQ(in[1], ground);
        EXPECT_EQ(in[2], ground);
        EXPECT_EQ(edge[0], 0);
        EXPECT_EQ(out[0], ground);
    }
}

TEST_P(VectPaint, PictureWithAlphaAndMissingPicture) {
    auto b = Canvas(0xFF);
    TIEBitmap pic(4, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            pic.SetPixel24(x, y, TRGB{0, 0, 255});
            pic.GetAlphaChannel()->SetPixel8(x, y, x < 2 ? 0 : 255);
        }
    pic.GetAlphaChannel()->Full = false;
    const int32_t h = v->AddObjectCopy(Obj(ievkBITMAP, 20, 20, 59, 59));
    v->SetObjBitmap(h, &pic);
    TIEVObjRecord* o = v->GetObjRecord(h);
    ASSERT_TRUE(v->DrawObject(*o, h, false, 1, nullptr, false, false, b.get()));
    EXPECT_FALSE(Marked(b.get(), 25, 40));  // transparent half
    const uint8_t* p = Px(b.get(), 50, 40);
    EXPECT_EQ(p[2], 255);
    EXPECT_EQ(p[0], 0);
    EXPECT_FALSE(Marked(b.get(), 60, 40));
    // Without a picture: a box with both diagonals.
    auto e = Canvas(0xFF);
    TIEVObjRecord none = Obj(ievkBITMAP, 20, 20, 60, 60);
    none.BitmapIndex = -1;
    ASSERT_TRUE(Draw(none, e.get()));
    for (const auto& [x, y] : {std::pair{40, 40}, std::pair{30, 30}, std::pair{50, 30}, std::pair{20, 40}})
        EXPECT_TRUE(Marked(e.get(), x, y)) << x << "," << y;
    EXPECT_FALSE(Marked(e.get(), 40, 30));
}

TEST_P(VectPaint, TextInItsBoxAndLabels) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkTEXT, 10, 10, 100, 40);
    o.Text = "HELLO";
    o.PenStyle = cl::psClear;
    ASSERT_TRUE(Draw(o, b.get()));
    // Five test-font glyphs (7 wide), centred vertically, starting left: the inner box of
    // the first glyph is drawn, nothing to the right of the fifth.
    int32_t inside = 0, outside = 0;
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            if (!Marked(b.get(), x, y)) continue;
            if (x >= 10 && x < 10 + 5 * 7 + 8 && y >= 10 && y <= 40)
                ++inside;
            else
                ++outside;
        }
    EXPECT_GE(inside, 5 * 5 * 8 / 2);
    EXPECT_EQ(outside, 0);
    // Empty text: only nothing (no box either).
    auto e = Canvas(0xFF);
    TIEVObjRecord empty = o;
    empty.Text.clear();
    empty.PenStyle = cl::psSolid;
    Draw(empty, e.get());
    EXPECT_EQ(MarkedCount(e.get()), 0);
    // A line with a label at its end (down-right): the label box is below-right of the end.
    auto l = Canvas(0xFF);
    TIEVObjRecord ll = Obj(ievkLINELABEL, 10, 10, 50, 50);
    ll.Text = "AB";
    ll.LabelBrushStyle = cl::bsSolid;
    ll.LabelBrushColor = 0x00FF00;
    ASSERT_TRUE(Draw(ll, l.get()));
    EXPECT_EQ(ll.LabelX1, 50);
    EXPECT_EQ(ll.LabelY1, 50);
    EXPECT_EQ(ll.LabelX2, 50 + 14);
    EXPECT_EQ(ll.LabelY2, 50 + 13);
    EXPECT_GE(ll.DrawnRect.right, 65);
    EXPECT_TRUE(Marked(l.get(), 60, 63));  // the label's bottom border
    if (!GetParam()) {
        const uint8_t* fill = Px(l.get(), 57, 61);  // between the glyphs, inside the border
        EXPECT_EQ(fill[1], 0xFF);
        EXPECT_EQ(fill[2], 0);
    }
}

TEST_P(VectPaint, CurvedTextFollowsItsPath) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkTEXT, 10, 10, 110, 110);
    o.Text = "ABCD";
    o.CurvePoints = {{0, 0.5}, {1, 0.5}};  // a horizontal path through the middle
    ASSERT_TRUE(Draw(o, b.get()));
    // Glyphs along the row y = 60, none near the top or bottom of the box.
    int32_t near = 0, far = 0;
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 120; ++x)
            if (Marked(b.get(), x, y)) (std::abs(y - 60) <= 12 ? near : far)++;
    EXPECT_GT(near, 4 * 20);
    EXPECT_EQ(far, 0);
}

TEST_P(VectPaint, PolylineMapsItsPointsIntoTheBox) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkPOLYLINE, 20, 20, 100, 100);
    o.Points = {{0, 0}, {10, 0}, {10, 10}};
    o.PointsX1 = 0, o.PointsY1 = 0, o.PointsX2 = 10, o.PointsY2 = 10;
    ASSERT_TRUE(Draw(o, b.get()));
    EXPECT_TRUE(Marked(b.get(), 60, 20));
    EXPECT_TRUE(Marked(b.get(), 100, 60));
    EXPECT_FALSE(Marked(b.get(), 20, 60));
    ASSERT_EQ(o.DrawPoints.size(), 3u);
    EXPECT_EQ(o.DrawPoints[2].x, 100);
    EXPECT_EQ(o.DrawPoints[2].y, 100);
    o.Closed = true;
    auto c = Canvas(0xFF);
    ASSERT_TRUE(Draw(o, c.get()));
    EXPECT_TRUE(Marked(c.get(), 60, 60));  // the closing edge
    double sx = 0, sy = 0;
    v->GetPolylineScale(o, sx, sy);
    EXPECT_DOUBLE_EQ(sx, 8.0);
    o.Points.push_back({20, 5});
    v->UpdatePolylineBounds(o);
    EXPECT_EQ(o.X2, 180);
    EXPECT_EQ(o.PointsX2, 20);
}

TEST_P(VectPaint, AngleNeedsThreePointsForItsLabel) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkANGLE, 0, 0, 0, 0);
    o.AnglePoints[0] = {100, 80};
    o.AnglePoints[1] = {20, 80};
    o.AnglePoints[2] = {IEVUnsetPoint, 0};
    ASSERT_TRUE(Draw(o, b.get()));
    EXPECT_TRUE(Marked(b.get(), 60, 80));
    EXPECT_EQ(MarkedCount(b.get()) <= 82 * 2, true);  // one leg, no label
    o.AnglePoints[2] = {20, 0};
    auto c = Canvas(0xFF);
    ASSERT_TRUE(Draw(o, c.get()));
    EXPECT_TRUE(Marked(c.get(), 20, 40));
    EXPECT_GT(MarkedCount(c.get()), MarkedCount(b.get()) + 80);  // second leg, arc and "90.00°"
    o.AnglePoints[0] = {IEVUnsetPoint, 0};
    auto d = Canvas(0xFF);
    Draw(o, d.get());
    EXPECT_EQ(MarkedCount(d.get()), 0);
}

// The label ends in the degree sign as UTF-8 (a lone byte 0xB0 is no character there and
// draws as a missing glyph), and it is the text the painter writes at the vertex.
TEST_P(VectPaint, AngleLabelEndsInTheDegreeSign) {
    const struct {
        double Degrees;
        int32_t Digits;
        const char* Label;
    } cases[] = {{90, 2, "90.00\u00B0"}, {45.5, 1, "45.5\u00B0"}, {0, 0, "0\u00B0"}, {359.994, 2, "359.99\u00B0"}};
    for (const auto& c : cases) {
        const cl::String label = IEVectAngleLabel(c.Degrees, 15, c.Digits);
        EXPECT_EQ(label, c.Label);
        EXPECT_EQ(label.find('\xB0'), label.size() - 1);
        EXPECT_EQ(static_cast<uint8_t>(label[label.size() - 2]), 0xC2);
    }
    // A right angle at (20, 80): the drawn rectangle reaches the end of "90.00°".
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkANGLE, 0, 0, 0, 0);
    o.AnglePoints[0] = {100, 80};
    o.AnglePoints[1] = {20, 80};
    o.AnglePoints[2] = {20, 0};
    ASSERT_TRUE(Draw(o, b.get()));
    cl::TBitmap measure;
    measure.SetSize(8, 8);
    const int32_t width = measure.GetCanvas()->TextWidth(IEVectAngleLabel(90, 15, 2));
    EXPECT_EQ(width, 6 * 7);  // six characters of the test font, the degree sign one of them
    EXPECT_GE(o.DrawnRect.right, 20 + width);
}

TEST_P(VectPaint, RulerDrawsItsLineTicksAndLength) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkRULER, 10, 60, 110, 60);
    o.RulerType = 2;
    cl::String shown;
    double value = 0;
    v->OnPresentMeasure = [&](cl::TObject*, cl::String& Text, double Value, TIEVValType) {
        shown = Text, value = Value;
    };
    ASSERT_TRUE(Draw(o, b.get()));
    EXPECT_DOUBLE_EQ(value, 100.0);
    EXPECT_EQ(shown, "100.00 pixels");
    EXPECT_TRUE(Marked(b.get(), 60, 60));
    EXPECT_TRUE(Marked(b.get(), 10, 52));  // end ticks across the line
    EXPECT_TRUE(Marked(b.get(), 110, 68));
    // Scale ruler: a long tick (12 each side) at the start, the number "0" beside it.
    auto s = Canvas(0xFF);
    o.RulerType = 0;
    ASSERT_TRUE(Draw(o, s.get()));
    EXPECT_TRUE(Marked(s.get(), 10, 49));
    EXPECT_FALSE(Marked(s.get(), 10, 40));
    EXPECT_LE(o.DrawnRect.top, 48);
}

TEST_P(VectPaint, EventsCanTakeOverTheDrawing) {
    auto b = Canvas(0xFF);
    TIEVObjRecord o = Obj(ievkBOX, 20, 20, 100, 100);
    int32_t before = 0, after = 0;
    v->OnBeforeDrawObject = [&](cl::TObject*, int32_t, cl::TBitmap*, const cl::TRect& R, bool, bool& Handled) {
        ++before;
        EXPECT_EQ(R.right, 100);
        Handled = true;
    };
    v->OnAfterDrawObject = [&](cl::TObject*, int32_t, cl::TBitmap*, const cl::TRect&, bool, bool& Handled) {
        ++after;
        EXPECT_TRUE(Handled);
    };
    ASSERT_TRUE(Draw(o, b.get()));
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(MarkedCount(b.get()), 0);
    EXPECT_EQ(v->GetDrawnObjectsCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, VectPaint, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& I) { return I.param ? "Vector" : "Plain"; });

TEST(VectPaintHelpers, FrameAndHighlighterClampIntoTheBitmap) {
    TIEBitmap b(10, 10, ie24RGB);
    for (int32_t y = 0; y < 10; ++y) std::memset(b.GetScanline(y), 0xFF, 30);
    IEDrawRectFrame(&b, -5, 2, 7, 20, 2, 0x0000FF);
    EXPECT_EQ(b.GetPixel24(0, 2).r, 255);
    EXPECT_EQ(b.GetPixel24(0, 2).b, 0);
    EXPECT_EQ(b.GetPixel24(7, 5).b, 0);  // right column
    EXPECT_EQ(b.GetPixel24(6, 5).b, 0);  // second ring
    EXPECT_EQ(b.GetPixel24(5, 5).b, 255);
    EXPECT_EQ(b.GetPixel24(8, 5).b, 255);
    auto v = Canvas(0xFF, 10);
    IEAndRectWithColor(v.get(), 20, 20, -3, 5, 0x0000FF);
    EXPECT_EQ(Px(v.get(), 0, 5)[0], 0);
    EXPECT_EQ(Px(v.get(), 0, 5)[2], 0xFF);
    EXPECT_EQ(Px(v.get(), 9, 5)[1], 0);
    EXPECT_EQ(Px(v.get(), 9, 4)[1], 0xFF);
}

}  // namespace
}  // namespace ie::test
