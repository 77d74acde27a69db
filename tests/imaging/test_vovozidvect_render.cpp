// The vector view's rendering: objects merged into pictures of several pixel formats change
// exactly the pixels under them; semi-transparent texts and soft shadows are blended through
// the work bitmap; the overlay puts objects at their client place at every zoom.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"
#include "platform/gdi_testhooks.h"
#include "view_testutil.h"

namespace ie::test {
namespace {

TIEVObjRecord Obj(TIEVObjKind Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    TIEVObjRecord r;
    r.Kind = Kind;
    r.X1 = X1, r.Y1 = Y1, r.X2 = X2, r.Y2 = Y2;
    return r;
}

std::unique_ptr<TIEBitmap> White(int32_t W, int32_t H) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y) std::memset(b->GetScanline(y), 0xFF, static_cast<size_t>(W) * 3);
    return b;
}

class VectRender : public ::testing::Test {
protected:
    void SetUp() override {
        win::test::UseTestFont(true);
        IEGDIPlusEnabled = false;  // exact pixels: the plain rasteriser
    }
    void TearDown() override {
        IEGDIPlusEnabled = true;
        win::test::UseTestFont(false);
    }
    std::unique_ptr<TVovozIdVect> v = std::make_unique<TVovozIdVect>(nullptr);
};

TEST_F(VectRender, MergingChangesExactlyThePixelsUnderTheObjects) {
    auto pic = White(40, 30);
    TIEVObjRecord box = Obj(ievkBOX, 5, 6, 20, 25);
    box.PenColor = 0x0000FF;
    v->AddObjectCopy(box);
    v->MergeObjectsInto(pic.get(), false, IEV_ALL_OBJECTS);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const bool border =
                ((x == 5 || x == 20) && y >= 6 && y <= 25) || ((y == 6 || y == 25) && x >= 5 && x <= 20);
            const TRGB p = pic->GetPixel24(x, y);
            if (border) {
                EXPECT_TRUE(p.r == 255 && p.g == 0 && p.b == 0) << x << "," << y;
            } else {
                EXPECT_TRUE(p.r == 255 && p.g == 255 && p.b == 255) << x << "," << y;
            }
        }
    EXPECT_EQ(v->GetObjectsCount(), 1);
}

TEST_F(VectRender, MergingIntoGreyKeepsTheFormat) {
    TIEBitmap pic(20, 20, ie8g);
    for (int32_t y = 0; y < 20; ++y) std::memset(pic.GetScanline(y), 200, 20);
    TIEVObjRecord box = Obj(ievkBOX, 2, 2, 10, 10);
    box.BrushStyle = cl::bsSolid;
    box.BrushColor = 0;
    v->AddObjectCopy(box);
    v->MergeObjectsInto(&pic, false, IEV_ALL_OBJECTS);
    EXPECT_EQ(pic.GetPixelFormat(), ie8g);
    EXPECT_EQ(pic.GetPixel8(5, 5), 0);
    EXPECT_EQ(pic.GetPixel8(15, 15), 200);
    EXPECT_EQ(pic.GetPixel8(11, 5), 200);
}

TEST_F(VectRender, SemiTransparentTextBlendsItsBackground) {
    auto pic = White(60, 30);
    TIEVObjRecord t = Obj(ievkTEXT, 0, 0, 59, 29);
    t.Text = "A";
    t.Transparency = 128;
    t.BrushStyle = cl::bsSolid;
    t.BrushColor = 0x000000;
    t.PenStyle = cl::psClear;
    v->AddObjectCopy(t);
    v->MergeObjectsInto(pic.get(), false, IEV_ALL_OBJECTS);
    // Far from the glyph, the background is half black over white.
    const TRGB p = pic->GetPixel24(50, 25);
    EXPECT_NEAR(p.r, 127, 2);
    EXPECT_NEAR(p.g, 127, 2);
}

TEST_F(VectRender, SoftShadowDarkensBesideTheObject) {
    auto pic = White(60, 60);
    TIEVObjRecord box = Obj(ievkBOX, 10, 10, 30, 30);
    box.BrushStyle = cl::bsSolid;
    box.BrushColor = 0x00FF00;
    box.Shadow.Enabled = true;
    box.Shadow.OffsetX = 6, box.Shadow.OffsetY = 6, box.Shadow.Radius = 3;
    v->AddObjectCopy(box);
    v->MergeObjectsInto(pic.get(), false, IEV_ALL_OBJECTS);
    EXPECT_EQ(pic->GetPixel24(20, 20).g, 255);  // the box itself
    EXPECT_EQ(pic->GetPixel24(20, 20).r, 0);
    EXPECT_LT(pic->GetPixel24(33, 33).r, 200);  // shadow below-right
    EXPECT_EQ(pic->GetPixel24(5, 5).r, 255);    // nothing above-left
    EXPECT_EQ(pic->GetPixel24(55, 5).r, 255);
}

// The view fills a 100 x 100 borderless form on the headless screen with a 40 x 40 picture.
class VectOverlay : public ViewScreenTest {
protected:
    void SetUp() override {
        ViewScreenTest::SetUp();
        IEGDIPlusEnabled = false;
        form->SetBounds(0, 0, 100, 100);
        v = new TVovozIdVect(form);
        v->SetBorderStyle(cl::bsNone);
        v->SetParent(form);
        v->SetAlign(cl::alClient);
        v->GetIEBitmap()->Allocate(40, 40, ie24RGB);
        for (int32_t y = 0; y < 40; ++y) std::memset(v->GetIEBitmap()->GetScanline(y), 0xFF, 120);
        form->Show();
        Pump();
        v->Update();
    }
    void TearDown() override {
        IEGDIPlusEnabled = true;
        ViewScreenTest::TearDown();
    }
    TVovozIdVect* v = nullptr;
};

TEST_F(VectOverlay, ObjectsAtTheirClientPlaceAtEveryZoom) {
    TIEVObjRecord box = Obj(ievkBOX, 10, 10, 19, 19);
    box.BrushStyle = cl::bsSolid;
    box.BrushColor = 0xFF0000;
    box.PenColor = 0xFF0000;
    v->AddObjectCopy(box);
    for (double zoom : {100.0, 200.0, 50.0}) {
        SCOPED_TRACE(zoom);
        v->SetZoom(zoom);
        v->Update();
        TIEBitmap dest(v->GetClientWidth(), v->GetClientHeight(), ie24RGB);
        v->DrawLayers(&dest, false, true, nullptr);
        EXPECT_EQ(v->GetDrawnObjectsCount(), 1);
        const int32_t cx = v->BitmapToClientX(15), cy = v->BitmapToClientY(15);
        EXPECT_EQ(dest.GetPixel24(cx, cy).b, 255);
        EXPECT_EQ(dest.GetPixel24(cx, cy).r, 0);
        const int32_t ox = v->BitmapToClientX(25), oy = v->BitmapToClientY(25);
        EXPECT_EQ(dest.GetPixel24(ox, oy).r, 255);
        v->ObjectsHidden = true;
        TIEBitmap hidden(v->GetClientWidth(), v->GetClientHeight(), ie24RGB);
        v->DrawLayers(&hidden, false, true, nullptr);
        EXPECT_EQ(hidden.GetPixel24(cx, cy).r, 255);
        v->ObjectsHidden = false;
    }
}

}  // namespace
}  // namespace ie::test
