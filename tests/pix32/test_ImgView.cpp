// The image view: the player's slide geometry (centred, fitted), the viewport with and without
// scroll bars, centring through the bars' positions, scrolling by the user, the size grip.
#include <gtest/gtest.h>

#include "pix32/Pix32_Image.h"
#include "test_MicroTiles_Rect.h"
#include "test_RangeBars_fixture.h"

namespace pix32 {
namespace {

class ImgViewTest : public testing::ControlTest {
protected:
    TImgView32* MakeView(int w, int h, TScrollBarVisibility vis) {
        form->SetBounds(0, 0, w, h);
        auto* v = new TImgView32(form);
        v->SetParent(form);
        v->SetAlign(cl::alClient);
        v->ScrollBars()->SetVisibility(vis);
        return v;
    }
    // The player's settings: centred, resized to fit, bars hidden.
    TImgView32* MakeSlideView(int w, int h) {
        TImgView32* v = MakeView(w, h, svHidden);
        v->SetBitmapAlign(baCenter);
        v->SetScaleMode(smResize);
        v->SetScale(1.0f);
        v->SetOverSize(0);
        v->Bitmap()->SetResamplerClassName("TLinearResampler");
        return v;
    }
};

TEST_F(ImgViewTest, DefaultsOfTheView) {
    auto* v = new TImgView32(form);
    EXPECT_TRUE(v->Centered());
    EXPECT_EQ(smScale, v->ScaleMode());
    EXPECT_EQ(baCustom, v->BitmapAlign());
    EXPECT_EQ(svAlways, v->ScrollBars()->Visibility());
    EXPECT_EQ(sgAuto, v->SizeGrip());
    EXPECT_TRUE(v->HScroll()->Centered());
    EXPECT_EQ(sbVertical, v->VScroll()->Kind());
    EXPECT_EQ(cl::bsNone, v->HScroll()->BorderStyle());
    EXPECT_EQ(v, v->HScroll()->GetParent());
}

TEST_F(ImgViewTest, SlideOf4000x3000FillsA1024x768Client) {
    TImgView32* v = MakeSlideView(1024, 768);
    v->Bitmap()->SetSize(4000, 3000);
    EXPECT_EQ((win::RECT{0, 0, 1024, 768}), v->GetViewportRect());
    EXPECT_EQ((win::RECT{0, 0, 1024, 768}), v->GetBitmapRect());
    v->UpdateCache();
    EXPECT_EQ(16777, v->CachedScaleX());  // MulDiv(1024, 65536, 4000) = 16777.216 rounded
    EXPECT_EQ(16777, v->CachedScaleY());
    EXPECT_EQ(256000, v->CachedRecScaleX());
    EXPECT_EQ(256000, v->CachedRecScaleY());
    EXPECT_EQ(0, v->CachedShiftX());
    EXPECT_EQ((win::POINT{0, 0}), v->BitmapToControl(win::POINT{0, 0}));
    EXPECT_EQ((win::POINT{511, 383}), v->BitmapToControl(win::POINT{2000, 1500}));
    EXPECT_EQ((win::POINT{1023, 767}), v->BitmapToControl(win::POINT{4000, 3000}));
}

TEST_F(ImgViewTest, SlidesOfOtherShapesAreCentred) {
    struct Case {
        int bw, bh;
        win::RECT expected;
    };
    const Case cases[] = {
        {4000, 2000, {0, 128, 1024, 640}},  // wide: RX 0.256 < RY 0.384
        {3000, 4000, {224, 0, 800, 768}},   // tall: 3000 x 0.192 = 576
        {640, 480, {0, 0, 1024, 768}},      // enlarged
        {1, 1, {128, 0, 896, 768}},
    };
    TImgView32* v = MakeSlideView(1024, 768);
    for (const Case& c : cases) {
        v->Bitmap()->SetSize(c.bw, c.bh);
        EXPECT_EQ(c.expected, v->GetBitmapRect()) << c.bw << "x" << c.bh;
        v->UpdateCache();
        EXPECT_EQ((win::POINT{c.expected.left, c.expected.top}), v->BitmapToControl(win::POINT{0, 0}));
    }
}

TEST_F(ImgViewTest, ViewportAndCornerWithVisibleBars) {
    TImgView32* v = MakeView(400, 300, svAlways);
    const int s = win::GetSystemMetrics(win::SM_CYHSCROLL);
    ASSERT_GT(s, 0);
    EXPECT_EQ(s, v->GetScrollBarSize());
    EXPECT_EQ((win::RECT{0, 0, 400 - s, 300 - s}), v->GetViewportRect());
    EXPECT_EQ((win::RECT{0, 300 - s, 400 - s, 300}), v->HScroll()->GetBoundsRect());
    EXPECT_EQ((win::RECT{400 - s, 0, 400, 300 - s}), v->VScroll()->GetBoundsRect());
    EXPECT_TRUE(v->HScroll()->GetVisible());
    v->ScrollBars()->SetSize(10);
    EXPECT_EQ((win::RECT{0, 0, 390, 290}), v->GetViewportRect());
    EXPECT_EQ((win::RECT{390, 290, 400, 300}), v->GetSizeGripRect());
    v->ScrollBars()->SetVisibility(svHidden);
    EXPECT_EQ((win::RECT{0, 0, 400, 300}), v->GetViewportRect());
    EXPECT_FALSE(v->HScroll()->GetVisible());
    EXPECT_TRUE(RectIsEmpty(v->GetSizeGripRect()));
}

TEST_F(ImgViewTest, AutoBarsAppearOnlyWhenThePictureIsLarger) {
    TImgView32* v = MakeView(400, 300, svAuto);
    v->Bitmap()->SetSize(100, 50);
    EXPECT_FALSE(v->GetScrollBarsVisible());
    EXPECT_EQ((win::RECT{0, 0, 400, 300}), v->GetViewportRect());
    v->Bitmap()->SetSize(1000, 50);
    EXPECT_TRUE(v->GetScrollBarsVisible());
    EXPECT_TRUE(v->HScroll()->GetVisible());
    v->Bitmap()->SetSize(100, 50);
    EXPECT_FALSE(v->GetScrollBarsVisible());
}

TEST_F(ImgViewTest, CentringPlacesTheMiddleOfThePicture) {
    TImgView32* v = MakeView(400, 300, svHidden);
    v->Bitmap()->SetSize(100, 50);  // smaller than the view: centred by the offsets
    EXPECT_EQ((win::RECT{150, 125, 250, 175}), v->GetBitmapRect());
    v->Bitmap()->SetSize(1000, 1000);  // larger: the bars' positions put its middle in the middle
    EXPECT_FLOAT_EQ(300.0f, v->HScroll()->Position());
    EXPECT_FLOAT_EQ(350.0f, v->VScroll()->Position());
    EXPECT_EQ((win::RECT{-300, -350, 700, 650}), v->GetBitmapRect());
    v->ScrollToCenter(0, 0);  // clamped to the picture's corner
    EXPECT_EQ((win::RECT{0, 0, 1000, 1000}), v->GetBitmapRect());
    v->SetOverSize(20);
    v->UpdateScrollBars();
    EXPECT_EQ(1040, v->HScroll()->Range());
    v->SetScale(2);
    EXPECT_EQ(2080, v->HScroll()->Range());  // round(2 x 20 x 2) + 2000
    v->SetCentered(false);
    v->ScrollToCenter(0, 0);
    EXPECT_EQ((win::RECT{40, 40, 2040, 2040}), v->GetBitmapRect());  // the margin, scaled
}

TEST_F(ImgViewTest, UserScrollMovesThePictureAndFiresOnScroll) {
    TImgView32* v = MakeView(300, 200, svAlways);
    v->Bitmap()->SetSize(1000, 1000);
    int scrolls = 0;
    v->OnScroll = [&](cl::TObject*) { ++scrolls; };
    form->Show();
    RunFor(50);
    const win::RECT before = v->GetBitmapRect();
    const float pos = v->HScroll()->Position();
    const int s = v->GetScrollBarSize();
    MoveTo(v->HScroll(), v->HScroll()->GetWidth() - s / 2, s / 2);  // its next button
    Press(true);
    Press(false);
    EXPECT_FLOAT_EQ(pos + 8, v->HScroll()->Position());
    EXPECT_EQ(1, scrolls);
    EXPECT_EQ(before.left - 8, v->GetBitmapRect().left);
    // Programmatic positions are not the user's: no scroll event.
    v->HScroll()->SetPosition(0);
    EXPECT_EQ(1, scrolls);
}

TEST_F(ImgViewTest, SizeGripVisibility) {
    TImgView32* v = MakeView(300, 200, svAlways);
    EXPECT_TRUE(v->IsSizeGripVisible());  // client-aligned on its form
    v->SetAlign(cl::alNone);
    EXPECT_FALSE(v->IsSizeGripVisible());
    v->SetSizeGrip(sgAlways);
    EXPECT_TRUE(v->IsSizeGripVisible());
    v->SetSizeGrip(sgNone);
    v->SetAlign(cl::alClient);
    EXPECT_FALSE(v->IsSizeGripVisible());
}

}  // namespace
}  // namespace pix32
