// The vector view's hit testing, grips and measuring: distances to every kind of object, the
// top-most object under a point at 100 % and zoomed, the selection distance limit, grip codes
// (and a non-resizable object that only moves), measure units as a table, the length and area
// of the polygon selection, and the measure hint's text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/vovozidvect.h"
#include "view_testutil.h"

namespace ie::test {
namespace {

// A vector view with a 40 x 40 picture; exposes the mouse point and whether the polygon
// selection is still open.
class TTestVect : public TVovozIdVect {
public:
    explicit TTestVect(cl::TComponent* AOwner = nullptr) : TVovozIdVect(AOwner) {
        GetIEBitmap()->Allocate(40, 40, ie24RGB);
        Update();
    }
    void SetMouse(int32_t X, int32_t Y) { FMouseX = X, FMouseY = Y; }
    void SetDown(int32_t X, int32_t Y) { FDownX = X, FDownY = Y; }
    int32_t MouseX() const { return FMouseX; }
    int32_t MouseY() const { return FMouseY; }
    int32_t DownX() const { return FDownX; }
    int32_t DownY() const { return FDownY; }
    bool ViewPolygonOpen() { return TVovozIdVect::SelectionPolygonOpen(); }
    void Offset(int32_t DX, int32_t DY) { OffsetSelectionPoints(DX, DY); }
    bool Open = false;

protected:
    bool SelectionPolygonOpen() override { return Open; }
};

TIEVObjRecord Obj(TIEVObjKind Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    TIEVObjRecord r;
    r.Kind = Kind;
    r.X1 = X1, r.Y1 = Y1, r.X2 = X2, r.Y2 = Y2;
    return r;
}

// The view fills a 100 x 100 borderless form on the headless screen: at 100 % the picture is
// centred at (30, 30).
class VectHit : public ViewScreenTest {
protected:
    void SetUp() override {
        ViewScreenTest::SetUp();
        form->SetBounds(0, 0, 100, 100);
        v = new TTestVect(form);  // owned by the form
        v->SetBorderStyle(cl::bsNone);
        v->SetParent(form);
        v->SetAlign(cl::alClient);
        form->Show();
        Pump();
        v->Update();
    }
    TTestVect* v = nullptr;
};

TEST_F(VectHit, DistanceByKind) {
    TIEVObjRecord line = Obj(ievkLINE, 0, 10, 30, 10);
    TIEVObjRecord thick = line;
    thick.PenWidth = 6;
    TIEVObjRecord box = Obj(ievkBOX, 10, 10, 30, 30);
    TIEVObjRecord filledBox = box;
    filledBox.BrushStyle = cl::bsSolid;
    TIEVObjRecord text = Obj(ievkTEXT, 10, 10, 30, 30);
    TIEVObjRecord ellipse = Obj(ievkELLIPSE, 10, 10, 30, 30);
    TIEVObjRecord filledEllipse = ellipse;
    filledEllipse.BrushStyle = cl::bsSolid;
    TIEVObjRecord arc = filledEllipse;
    arc.Kind = ievkARC;
    TIEVObjRecord ruler = Obj(ievkRULER, 0, 0, 0, 20);
    TIEVObjRecord label = line;
    label.Kind = ievkLINELABEL;
    label.LabelX1 = 20, label.LabelY1 = 20, label.LabelX2 = 30, label.LabelY2 = 25;
    TIEVObjRecord poly = Obj(ievkPOLYLINE, 0, 0, 20, 20);
    poly.Points = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};  // recorded at half the box size
    poly.PointsX2 = 10, poly.PointsY2 = 10;
    TIEVObjRecord closedPoly = poly;
    closedPoly.Closed = true;
    closedPoly.BrushStyle = cl::bsSolid;
    TIEVObjRecord angle = Obj(ievkANGLE, 0, 0, 20, 20);
    angle.AnglePoints[0] = {20, 0};
    angle.AnglePoints[1] = {0, 0};
    angle.AnglePoints[2] = {IEVUnsetPoint, 0};  // only the first leg is set
    TIEVObjRecord none = Obj(ievkNONE, 0, 0, 10, 10);
    struct Case {
        const char* Name;
        const TIEVObjRecord* O;
        int32_t X, Y;
        double Expected;
    };
    const Case cases[] = {
        {"line, off its middle", &line, 15, 14, 4},
        {"line, beyond its end", &line, 33, 14, 5},
        {"thick line, within the half width", &thick, 15, 12, 0},
        {"thick line, reduced by the half width", &thick, 15, 17, 4},
        {"empty box, inside", &box, 20, 20, 10},
        {"empty box, on the edge", &box, 10, 20, 0},
        {"filled box, inside", &filledBox, 20, 20, 0},
        {"text, always filled", &text, 20, 20, 0},
        {"ruler", &ruler, 3, 10, 3},
        {"line with label, in its label", &label, 25, 22, 0},
        {"line with label, near the line", &label, 15, 12, 2},
        {"polyline, mapped onto its box", &poly, 20, 10, 0},
        {"polyline, open inside", &poly, 10, 10, 10},
        {"closed filled polyline, inside", &closedPoly, 10, 10, 0},
        {"angle, its first leg", &angle, 10, 3, 3},
        {"angle, an unset leg is not there", &angle, 0, 10, 10},
        {"filled ellipse, centre", &filledEllipse, 20, 20, 0},
        {"kind none", &none, 5, 5, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_NEAR(v->ObjectDistance(*c.O, c.X, c.Y), c.Expected, 0.5);
    }
    // The outline is a polygon of a few edges: near, not exact.
    EXPECT_GT(v->ObjectDistance(ellipse, 20, 20), 7);
    EXPECT_LE(v->ObjectDistance(ellipse, 10, 20), 1);
    EXPECT_EQ(v->ObjectDistance(arc, 20, 20), v->ObjectDistance(ellipse, 20, 20));  // never filled
    // A box test that fills empty boxes.
    v->FillBoxHitTest = true;
    EXPECT_EQ(v->ObjectDistance(box, 20, 20), 0);
}

TEST_F(VectHit, PictureAlphaDecidesInsideTheBox) {
    auto pic = std::make_unique<TIEBitmap>(4, 4, ie24RGB);
    TIEBitmap* alpha = pic->GetAlphaChannel();
    for (int32_t y = 0; y < 4; ++y) std::memset(alpha->GetScanline(y), 255, 4);
    static_cast<uint8_t*>(alpha->GetScanline(3))[3] = 0;  // bottom-right pixel transparent
    const int32_t h = v->AddObjectCopy(Obj(ievkBITMAP, 0, 0, 30, 30));
    v->SetObjBitmap(h, pic.get());
    const TIEVObjRecord& o = *v->GetObjRecord(h);
    EXPECT_EQ(v->ObjectDistance(o, 2, 2), 0);
    EXPECT_EQ(v->ObjectDistance(o, 29, 29), 1000);
    EXPECT_EQ(v->ObjectDistance(o, 33, 30), 3);  // outside: the distance to the box
    v->BitmapAlphaHitTest = false;
    EXPECT_EQ(v->ObjectDistance(o, 29, 29), 0);
    // A box of no width maps every point to the first column.
    v->BitmapAlphaHitTest = true;
    TIEVObjRecord flat = o;
    flat.X2 = flat.X1;
    EXPECT_EQ(v->ObjectDistance(flat, 0, 2), 0);
}

TEST_F(VectHit, FindObjectAtTopMostNearestVisible) {
    const int32_t a = v->AddObjectCopy(Obj(ievkBOX, 5, 5, 20, 20));
    const int32_t b = v->AddObjectCopy(Obj(ievkBOX, 5, 5, 20, 20));  // same place, drawn later
    double d = 0;
    EXPECT_EQ(v->FindObjectAt(5, 10, false, d), b);
    EXPECT_EQ(d, 0);
    v->SendObjectToBack(a);
    v->BringObjectToFront(a);
    EXPECT_EQ(v->FindObjectAt(5, 10, false, d), a);
    // Hidden objects are never found, even selectable ones.
    v->GetObjRecord(a)->Options = ievoSelectable;
    EXPECT_EQ(v->FindObjectAt(5, 10, false, d), b);
    // Selectable only.
    v->GetObjRecord(b)->Options = ievoVisible;
    EXPECT_EQ(v->FindObjectAt(5, 10, true, d), IEV_ALL_OBJECTS);
    EXPECT_EQ(v->FindObjectAt(5, 10, false, d), b);
    // The nearest wins over the top-most.
    const int32_t c = v->AddObjectCopy(Obj(ievkLINE, 30, 0, 30, 39));
    EXPECT_EQ(v->FindObjectAt(28, 10, false, d), c);
    EXPECT_EQ(d, 2);
    // A record of no kind has no distance and is never found.
    v->AddObjectCopy(Obj(ievkNONE, 0, 0, 39, 39));
    EXPECT_EQ(v->FindObjectAt(28, 10, false, d), c);
    // Nothing at all gives -3 and the largest distance.
    auto empty = std::make_unique<TTestVect>();
    EXPECT_EQ(empty->FindObjectAt(1, 1, false, d), IEV_ALL_OBJECTS);
    EXPECT_EQ(d, 2147483647.0);
}

TEST_F(VectHit, MaxSelectionDistanceInClientPixelsAtEveryZoom) {
    const int32_t h = v->AddObjectCopy(Obj(ievkLINE, 0, 10, 20, 10));
    struct Case {
        double Zoom;
        int32_t MaxDistance;
        int32_t Y;  // bitmap row of the point
        bool Found;
    };
    const Case cases[] = {
        {100, -1, 30, true}, {100, 0, 10, true},  {100, 0, 11, false}, {100, 3, 13, true}, {100, 3, 14, false},
        {200, 4, 12, true},  {200, 4, 13, false}, {50, 2, 14, true},   {50, 2, 15, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Zoom << "% max " << c.MaxDistance << " y " << c.Y);
        v->SetZoom(c.Zoom);
        v->MaxSelectionDistance = c.MaxDistance;
        double d = 0;
        EXPECT_EQ(v->FindObjectAt(5, c.Y, false, d) == h, c.Found);
    }
}

TEST_F(VectHit, OnlyObjectsInTheVisibleAreaAreFound) {
    const int32_t far = v->AddObjectCopy(Obj(ievkBOX, 30, 30, 38, 38));
    const int32_t near = v->AddObjectCopy(Obj(ievkBOX, 2, 2, 8, 8));
    double d = 0;
    EXPECT_EQ(v->FindObjectAt(34, 30, false, d), far);
    // At 400 % scrolled to the top-left the 100-pixel view shows bitmap 0 .. 25.
    v->SetZoom(400);
    v->SetViewXY(0, 0);
    EXPECT_EQ(v->FindObjectAt(34, 30, false, d), near);
    // The client point converts through the zoom.
    EXPECT_EQ(v->FindObjectAtClient(8, 20, d), near);
    EXPECT_EQ(d, 0);
}

TEST_F(VectHit, GripCodes) {
    const int32_t box = v->AddObjectCopy(Obj(ievkBOX, 2, 2, 38, 38));
    v->SelectObject(box);
    struct Case {
        int32_t X, Y;
        int32_t Grip;  // 0: none
    };
    const int32_t o = v->BitmapToClientX(0);
    const Case cases[] = {
        {2, 2, 1},  {38, 38, 2}, {38, 2, 4},  {2, 38, 5}, {2, 20, 6}, {38, 20, 7},
        {20, 2, 8}, {20, 38, 9}, {20, 12, 0}, {6, 2, 1},  {8, 2, 3},  {38, 10, 3},  // past the grips: the edge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.X << "," << c.Y);
        uint8_t grip = 0;
        const int32_t pos = v->FindGripAt(c.X + o, c.Y + o, grip);
        if (c.Grip == 0) {
            EXPECT_EQ(pos, IEV_NO_OBJECT);
        } else {
            EXPECT_EQ(pos, 0);
            EXPECT_EQ(grip, c.Grip);
        }
    }
    // A non-resizable object only moves.
    v->GetObjRecord(box)->Options &= static_cast<TIEVObjOptions>(~ievoResizable);
    for (const Case& c : cases) {
        if (c.Grip == 0) continue;
        uint8_t grip = 0;
        EXPECT_EQ(v->FindGripAt(c.X + o, c.Y + o, grip), 0);
        EXPECT_EQ(grip, 3);
    }
}

// Zoomed, a picture's bottom-right grip sits on the last client pixel of its last bitmap pixel;
// other kinds keep it on the first.
TEST_F(VectHit, ZoomedPictureGripCoversItsLastPixel) {
    v->SetZoom(200);
    v->SetViewXY(0, 0);
    const int32_t pic = v->AddObjectCopy(Obj(ievkBITMAP, 2, 2, 10, 10));
    const int32_t box = v->AddObjectCopy(Obj(ievkBOX, 2, 2, 10, 10));
    const int32_t last = v->BitmapToClientX(11) - 1;
    ASSERT_EQ(last, v->BitmapToClientX(10) + 1);
    v->GripSize = 1;  // a grip of 2 x 2 client pixels: from X - 1 to X
    uint8_t grip = 0;
    v->SelectObject(pic);
    EXPECT_EQ(v->FindGripAt(last + 1, last + 1, grip), IEV_NO_OBJECT);
    EXPECT_EQ(v->FindGripAt(last, last, grip), 0);
    EXPECT_EQ(grip, 2);
    v->ClearSelection();
    v->SelectObject(box);
    EXPECT_EQ(v->FindGripAt(last, last, grip), 0);
    EXPECT_EQ(grip, 3);  // past the corner grip: on the outline
}

TEST_F(VectHit, LineAngleLabelAndCentreGrips) {
    const int32_t o = v->BitmapToClientX(0);
    TIEVObjRecord label = Obj(ievkLINELABEL, 0, 0, 20, 0);
    label.LabelX1 = 20, label.LabelY1 = 25, label.LabelX2 = 35, label.LabelY2 = 35;
    const int32_t l = v->AddObjectCopy(label);
    TIEVObjRecord angle = Obj(ievkANGLE, 0, 0, 30, 30);
    angle.AnglePoints[0] = {30, 5};
    angle.AnglePoints[1] = {5, 30};
    angle.AnglePoints[2] = {30, 30};
    const int32_t a = v->AddObjectCopy(angle);
    v->SelectObject(l);
    v->SelectObject(a);
    uint8_t grip = 0;
    EXPECT_EQ(v->FindGripAt(o + 20, o + 0, grip), 0);
    EXPECT_EQ(grip, 2);
    EXPECT_EQ(v->FindGripAt(o + 30, o + 30, grip), 0);  // inside the label box
    EXPECT_EQ(grip, 2);
    EXPECT_EQ(v->FindGripAt(o + 10, o + 0, grip), 0);  // the line's body
    EXPECT_EQ(grip, 3);
    EXPECT_EQ(v->FindGripAt(o + 10, o + 10, grip), IEV_NO_OBJECT);  // a line has no side grips
    v->UnselectObject(l);
    const int32_t angleCodes[3][3] = {{30, 5, 10}, {5, 30, 11}, {30, 30, 12}};
    for (const auto& c : angleCodes) {
        EXPECT_EQ(v->FindGripAt(o + c[0], o + c[1], grip), 0);
        EXPECT_EQ(grip, c[2]);
    }
    EXPECT_EQ(v->FindGripAt(o + 30, o + 17, grip), 0);  // on the first leg
    EXPECT_EQ(grip, 3);
    // The centre grip replaces the body test.
    v->ClearSelection();
    const int32_t b = v->AddObjectCopy(Obj(ievkBOX, 0, 0, 30, 30));
    v->SelectObject(b);
    v->ShowCenterGrip = true;
    EXPECT_EQ(v->FindGripAt(o + 15, o + 15, grip), 0);
    EXPECT_EQ(grip, 3);
    EXPECT_EQ(v->FindGripAt(o + 15, o + 8, grip), IEV_NO_OBJECT);
}

// Grips drawn on a white 24-bit bitmap: a box gets eight, a line two; nothing is drawn for an
// object that cannot be selected.
TEST_F(VectHit, DrawnGrips) {
    const int32_t o = v->BitmapToClientX(0);
    auto white = [] {
        auto b = std::make_unique<cl::TBitmap>();
        b->SetPixelFormat(cl::pf24bit);
        b->SetSize(120, 120);
        for (int y = 0; y < 120; ++y) std::memset(b->ScanLine(y), 0xFF, 120 * 3);
        return b;
    };
    auto marked = [&](cl::TBitmap* B, int32_t X, int32_t Y) {
        const auto* p = static_cast<const uint8_t*>(B->ScanLine(o + Y)) + 3 * (o + X);
        return p[0] != 0xFF || p[1] != 0xFF || p[2] != 0xFF;
    };
    v->GripShape = 0;
    const TIEVObjRecord box = Obj(ievkBOX, 4, 4, 40, 40);
    auto b = white();
    v->DrawObjectGrips(b->GetCanvas(), box);
    const int32_t at[8][2] = {{4, 4}, {40, 40}, {40, 4}, {4, 40}, {4, 22}, {40, 22}, {22, 4}, {22, 40}};
    for (const auto& p : at) EXPECT_TRUE(marked(b.get(), p[0], p[1])) << p[0] << "," << p[1];
    EXPECT_FALSE(marked(b.get(), 22, 22));
    EXPECT_FALSE(marked(b.get(), 13, 4));
    TIEVObjRecord line = Obj(ievkLINE, 4, 4, 40, 40);
    b = white();
    v->DrawObjectGrips(b->GetCanvas(), line);
    EXPECT_TRUE(marked(b.get(), 4, 4));
    EXPECT_TRUE(marked(b.get(), 40, 40));
    EXPECT_FALSE(marked(b.get(), 40, 4));
    EXPECT_FALSE(marked(b.get(), 22, 4));
    line.Options = ievoVisible;
    b = white();
    v->DrawObjectGrips(b->GetCanvas(), line);
    EXPECT_FALSE(marked(b.get(), 4, 4));
    // The centre diamond is an outline: its tips are drawn, its middle is not.
    v->ShowCenterGrip = true;
    b = white();
    v->DrawObjectGrips(b->GetCanvas(), box);
    EXPECT_TRUE(marked(b.get(), 22, 22 - v->GripSize));
}

TEST_F(VectHit, IsOverGripEdges) {
    v->GripSize = 3;
    EXPECT_TRUE(v->IsOverGrip(10, 10, 7, 7));
    EXPECT_TRUE(v->IsOverGrip(10, 10, 12, 12));
    EXPECT_FALSE(v->IsOverGrip(10, 10, 13, 10));
    EXPECT_FALSE(v->IsOverGrip(10, 10, 10, 6));
}

// ---------------------------------------------------------------------------------------
// Measuring

TEST_F(VectHit, MeasureScaleByUnit) {
    v->SetDpi(254, 127);
    struct Case {
        TIEUnits Unit;
        double PerPixelX, PerPixelY;
        const char* Suffix;
    };
    const Case cases[] = {
        {ieuPIXELS, 1, 1, "pixels"},
        {ieuINCHES, 1 / 254.0, 1 / 127.0, "inches"},
        {ieuKM, 0.01 / 100000, 0.02 / 100000, "km"},
        {ieuMETERS, 0.01 / 100, 0.02 / 100, "mt"},
        {ieuCENTIMETERS, 0.01, 0.02, "cm"},
        {ieuMILLIMETERS, 0.1, 0.2, "mm"},
        {ieuMICRONS, 100, 200, "microns"},
        {ieuNANOMETERS, 100000, 200000, "nanometers"},
        {ieuFEET, 1 / 254.0 / 12, 1 / 127.0 / 12, "feet"},
        {ieuYARDS, 1 / 254.0 / 36, 1 / 127.0 / 36, "yards"},
        {ieuMILES, 1 / 254.0 / 63360, 1 / 127.0 / 63360, "miles"},
    };
    for (double scale : {1.0, 3.0}) {
        v->SetMeasureScale(scale);
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.Suffix << " x" << scale);
            v->SetMUnit(c.Unit);
            EXPECT_NEAR(v->GetUnitsPerPixelX() / (c.PerPixelX * scale), 1, 1e-12);
            EXPECT_NEAR(v->GetUnitsPerPixelY() / (c.PerPixelY * scale), 1, 1e-12);
            EXPECT_STREQ(IEUnitSuffix(c.Unit), c.Suffix);
        }
    }
    // The resolution follows DPI changes.
    v->SetMeasureScale(1);
    v->SetMUnit(ieuINCHES);
    v->SetDpiX(100);
    EXPECT_DOUBLE_EQ(v->GetUnitsPerPixelX(), 0.01);
    double sx = 0, sy = 0;
    v->SetMeasureScale(2);
    v->CalcMeasureScale(sx, sy, ieuPIXELS);  // pixels give the measure scale, whatever the resolution
    EXPECT_EQ(sx, 2);
    EXPECT_EQ(sy, 2);
}

TEST_F(VectHit, SelectionLengthsAndAreas) {
    const cl::TPoint sep{IEVPolygonSeparator, IEVPolygonSeparator};
    struct Case {
        const char* Name;
        std::vector<cl::TPoint> Points;
        bool Open;
        double Length, Area;  // in pixels
    };
    const Case cases[] = {
        {"closed square", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false, 40, 100},
        {"open square runs to the mouse at (0, 20)", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, 40, 100},
        {"two squares",
         {{0, 0}, {10, 0}, {10, 10}, {0, 10}, sep, {20, 20}, {24, 20}, {24, 24}, {20, 24}},
         false,
         56,
         116},
        {"a segment", {{0, 0}, {3, 4}}, false, 5, 0},
        {"a 3-4-5 triangle", {{0, 0}, {4, 0}, {4, 3}}, false, 12, 6},
        {"nothing", {}, false, 0, 0},
    };
    v->SetMouse(v->BitmapToClientX(0), v->BitmapToClientY(20));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        v->GetSelectionRecord()->Points = c.Points;
        v->Open = c.Open;
        EXPECT_NEAR(v->GetSelectionLength(), c.Length, 1e-9);
        EXPECT_NEAR(v->GetSelectionArea(), c.Area, 1e-9);
    }
    // In centimetres at 254 dpi a pixel is 0.01 cm.
    v->SetDpi(254, 254);
    v->SetMUnit(ieuCENTIMETERS);
    v->GetSelectionRecord()->Points = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    v->Open = false;
    EXPECT_NEAR(v->GetSelectionLength(), 0.4, 1e-12);
    EXPECT_NEAR(v->GetSelectionArea(), 0.01, 1e-12);
    v->IncludeCursorInLength = false;
    v->Open = true;
    EXPECT_NEAR(v->GetSelectionLength(), 0.3, 1e-12);
}

// With fewer than three points the area counts the set pixels of a 1-bit selection mask.
TEST_F(VectHit, AreaFromTheSelectionMask) {
    v->GetSelectionRecord()->Points = {{0, 0}, {3, 4}};
    TIEMask* mask = v->GetSelectionMask();
    ASSERT_EQ(mask->BitsPerPixel, 1);
    EXPECT_EQ(v->GetSelectionArea(), 0);  // empty
    for (int32_t y = 5; y < 10; ++y)
        for (int32_t x = 2; x < 8; ++x) mask->SetPixel(x, y, 1);
    mask->SetPixel(30, 30, 1);
    EXPECT_EQ(v->GetSelectionArea(), 31);
    v->SetDpi(254, 254);
    v->SetMUnit(ieuMILLIMETERS);
    EXPECT_NEAR(v->GetSelectionArea(), 0.31, 1e-12);
}

// The hint box is drawn over the view and its pixels come back when it hides.
TEST_F(VectHit, MeasureHintRestoresThePixelsItCovered) {
    v->SetBackground(0x00336699);
    v->MouseInteractVect = IEVMouseOpt(mivDragLength);
    v->SetMeasureHintActive(true);
    v->SetDown(0, 0);
    const win::test::Screen before = Shot(v);
    v->ShowMeasureHint(10, 10);
    Pump();
    const win::test::Screen shown = win::test::ScreenComposite();
    int changed = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) changed += At(shown, v, x, y) != At(before, v, x, y);
    EXPECT_GT(changed, 50);
    v->HideMeasureHint();
    Pump();
    const win::test::Screen hidden = win::test::ScreenComposite();
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(At(hidden, v, x, y), At(before, v, x, y)) << x << "," << y;
}

TEST_F(VectHit, MeasureHintTextAndEvents) {
    cl::String seen;
    double seenValue = -1;
    TIEVValType seenType = ievtLENGTH;
    v->OnMeasureHint = [&](cl::TObject*, cl::String& Text, double Value) {
        seen = Text;
        seenValue = Value;
    };
    v->OnPresentMeasure = [&](cl::TObject*, cl::String& Text, double, TIEVValType Type) {
        seenType = Type;
        Text += "!";
    };
    // Inactive: nothing happens.
    v->MouseInteractVect = IEVMouseOpt(mivDragLength);
    v->ShowMeasureHint(10, 10);
    EXPECT_EQ(seenValue, -1);
    // A drag of 3 x 4 pixels (each axis counts the end pixel).
    v->SetMeasureHintActive(true);
    v->SetDown(0, 0);
    v->ShowMeasureHint(2, 3);
    EXPECT_EQ(seenValue, 5);
    EXPECT_EQ(seen, "5.00 pixels");
    EXPECT_EQ(seenType, ievtLENGTH);
    EXPECT_EQ(v->GetLastMeasure(), 5);
    // The area, with the superscript two.
    v->MouseInteractVect = IEVMouseOpt(mivMeasureArea);
    v->GetSelectionRecord()->Points = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    v->SetFloatDigits(1);
    v->ShowMeasureHint(0, 0);
    EXPECT_EQ(seen, "100.0 pixels\xC2\xB2");
    EXPECT_EQ(seenType, ievtAREA);
    // A value of 0 shows the last one.
    v->GetSelectionRecord()->Points.clear();
    v->ShowMeasureHint(0, 0);
    EXPECT_EQ(seenValue, 100);
    v->HideMeasureHint();
}

// The measures see the view's own mouse: the press point, the last move, and the scrolling
// of a selection being edited; the length runs to the mouse while a polygon is being drawn.
TEST_F(VectHit, MeasuresFollowTheViewsMouseAndPolygonState) {
    v->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::MAKELPARAM(35, 40));
    v->Perform(win::WM_MOUSEMOVE, win::MK_LBUTTON, win::MAKELPARAM(50, 45));
    EXPECT_EQ(v->DownX(), 35);
    EXPECT_EQ(v->DownY(), 40);
    EXPECT_EQ(v->MouseX(), 50);
    EXPECT_EQ(v->MouseY(), 45);
    v->Perform(win::WM_LBUTTONUP, 0, win::MAKELPARAM(50, 45));
    v->Offset(4, -2);
    EXPECT_EQ(v->MouseX(), 46);
    EXPECT_EQ(v->MouseY(), 47);
    EXPECT_FALSE(v->ViewPolygonOpen());
    v->SetMouseInteract(IEMouseOpt(miSelectPolygon));
    v->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::MAKELPARAM(35, 35));
    v->Perform(win::WM_LBUTTONUP, 0, win::MAKELPARAM(35, 35));
    EXPECT_TRUE(v->ViewPolygonOpen());
}

}  // namespace
}  // namespace ie::test
