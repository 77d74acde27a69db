// The view's painting on the headless screen: each background style around a centred
// picture, the wallpaper, the gradient without its library, the version text, the back
// buffer that is composed only when dirty, and a view without a window that never paints.
#include <gtest/gtest.h>

#include <set>

#include "imaging/processing/vovozidproc.h"
#include "platform/kernel.h"
#include "view_testutil.h"

namespace ie::test {
namespace {

constexpr cl::TColor kBack = 0x00336699;  // TColor: red 0x99, green 0x66, blue 0x33

class ViewPaintScreen : public ViewScreenTest {
protected:
    // A 320 x 240 view with a 100 x 60 picture at 100 %, centred at (110, 90).
    TVovozIdView* MakeStyledView(TIEBackgroundStyle Style, cl::TColor Background = kBack) {
        TVovozIdView* v = MakeView(320, 240);
        FillCoordPicture(v->GetIEBitmap(), 100, 60);
        v->SetBackground(Background);
        v->SetBackgroundStyle(Style);
        Pump();
        return v;
    }
    static constexpr int L = 110, T = 90, R = 210, B = 150;  // the picture's client rectangle
    static bool InPicture(int X, int Y) { return X >= L && X < R && Y >= T && Y < B; }
    static void ExpectPictureShown(const win::test::Screen& S, TVovozIdView* V) {
        for (int y = T; y < B; y += 7)
            for (int x = L; x < R; x += 7) ASSERT_EQ(At(S, V, x, y), CoordColor(x - L, y - T)) << x << "," << y;
    }
};

TEST_F(ViewPaintScreen, SolidBackgroundAroundTheCentredPicture) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    EXPECT_EQ(v->GetOffsetX(), L);
    EXPECT_EQ(v->GetOffsetY(), T);
    const win::test::Screen s = Shot(v);
    ExpectPictureShown(s, v);
    for (int y = 0; y < 240; y += 5)
        for (int x = 0; x < 320; x += 5)
            if (!InPicture(x, y)) {
                ASSERT_EQ(At(s, v, x, y), ScreenRGB(kBack)) << x << "," << y;
            }
}

// Hatches: lines of the background colour over its complement, running the style's way.
TEST_F(ViewPaintScreen, HatchedStylesDrawLinesTheirWay) {
    const uint32_t line = ScreenRGB(kBack), gap = ~line & 0xFFFFFF;
    struct Case {
        TIEBackgroundStyle Style;
        int DX, DY;  // a step along which the pattern repeats at once (0, 0: both ways are checked)
    };
    const Case cases[] = {{iebsHorizontal, 1, 0}, {iebsVertical, 0, 1}, {iebsFDiagonal, 1, 1},
                          {iebsBDiagonal, 1, -1}, {iebsCross, 0, 0},    {iebsDiagCross, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Style));
        TVovozIdView* v = MakeStyledView(c.Style);
        const win::test::Screen s = Shot(v);
        ExpectPictureShown(s, v);
        std::set<uint32_t> seen;
        for (int y = 8; y < 80; ++y)
            for (int x = 8; x < 100; ++x) {
                const uint32_t p = At(s, v, x, y);
                seen.insert(p);
                if (c.DX || c.DY) {
                    ASSERT_EQ(p, At(s, v, x + c.DX, y + c.DY)) << x << "," << y;
                }
            }
        EXPECT_EQ(seen, (std::set<uint32_t>{line, gap}));
        delete v;
    }
}

// Palette and 16-bit displays take the DrawDib and the half-tone copies: the same pixels on
// our true-colour screen, also for a part of the view.
TEST_F(ViewPaintScreen, EveryCopyToTheWindowShowsTheSamePixels) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    const int32_t saved = IEScreenBitsPerPixel;
    for (int32_t bits : {8, 16, 32}) {
        SCOPED_TRACE(bits);
        IEScreenBitsPerPixel = bits;
        win::test::Screen s = Shot(v);
        ExpectPictureShown(s, v);
        EXPECT_EQ(At(s, v, 3, 3), ScreenRGB(kBack));
        // A part: the picture moves and only its top-left quarter is copied.
        FillCoordPicture(v->GetIEBitmap(), 100, 60);
        v->GetIEBitmap()->FillRect(0, 0, 99, 59, 0xFFFFFF);
        v->SetBackBufferDirty(true);
        v->PaintBackBuffer(cl::TRect{0, 0, 160, 120});
        s = win::test::ScreenComposite();
        EXPECT_EQ(At(s, v, L + 5, T + 5), 0xFFFFFFu);
        EXPECT_EQ(At(s, v, 200, 140), CoordColor(200 - L, 140 - T));  // not copied yet
        FillCoordPicture(v->GetIEBitmap(), 100, 60);
        v->Update();
    }
    IEScreenBitsPerPixel = saved;
}

TEST_F(ViewPaintScreen, ChessboardOfSixteenPixelSquares) {
    TVovozIdView* v = MakeStyledView(iebsChessboard, cl::clWhite);
    const win::test::Screen s = Shot(v);
    ExpectPictureShown(s, v);
    for (int y = 0; y < 240; y += 3)
        for (int x = 0; x < 320; x += 3) {
            if (InPicture(x, y)) continue;
            const bool white = ((x / 16) + (y / 16)) % 2 == 0;
            ASSERT_EQ(At(s, v, x, y), white ? 0xFFFFFFu : 0u) << x << "," << y;
        }
}

TEST_F(ViewPaintScreen, DiagonalsCrossTheView) {
    TVovozIdView* v = MakeStyledView(iebsDiagonals);
    const win::test::Screen s = Shot(v);
    const uint32_t line = ~ScreenRGB(kBack) & 0xFFFFFF;
    EXPECT_EQ(At(s, v, 0, 0), line);
    EXPECT_EQ(At(s, v, 280, 30), line);  // on the line from (320, 0) to (0, 240)
    EXPECT_EQ(At(s, v, 40, 30), line);   // on the line from (0, 0) to (320, 240)
    EXPECT_EQ(At(s, v, 160, 10), ScreenRGB(kBack));
    ExpectPictureShown(s, v);
}

TEST_F(ViewPaintScreen, CroppedStylesFrameAndShadowThePicture) {
    {
        TVovozIdView* v = MakeStyledView(iebsCropped);
        const win::test::Screen s = Shot(v);
        ExpectPictureShown(s, v);
        const uint32_t face = ScreenRGB(cl::clBtnFace);
        EXPECT_EQ(At(s, v, 5, 5), face);
        EXPECT_NE(At(s, v, L - 1, T + 10), face);  // the sunken edge
        EXPECT_NE(At(s, v, L + 10, B + 1), face);
        delete v;
    }
    // The soft shadow is blurred by the processing unit's blur.
    VovozIdProcStaticInit();
    for (TIEBackgroundStyle style : {iebsCropShadow, iebsSoftShadow}) {
        SCOPED_TRACE(static_cast<int>(style));
        TVovozIdView* v = MakeStyledView(style);
        const win::test::Screen s = Shot(v);
        ExpectPictureShown(s, v);
        const uint32_t back = ScreenRGB(kBack);
        EXPECT_EQ(At(s, v, 5, 5), back);
        const uint32_t right = At(s, v, R + 2, T + 20), below = At(s, v, L + 30, B + 2);
        // Darker than the background on every channel.
        for (uint32_t p : {right, below})
            for (int shift : {0, 8, 16}) EXPECT_LT((p >> shift) & 255, (back >> shift) & 255);
        delete v;
    }
    VovozIdProcStaticFinal();
}

TEST_F(ViewPaintScreen, GradientRunsFromBackgroundToTheEndColour) {
    TVovozIdView* v = MakeStyledView(iebsGradient, cl::clWhite);
    v->GradientEndColor = cl::clBlack;
    v->Update();
    const win::test::Screen s = Shot(v);
    ExpectPictureShown(s, v);
    const uint32_t top = At(s, v, 5, 0), middle = At(s, v, 5, 120), bottom = At(s, v, 5, 239);
    EXPECT_GE(top & 255, 0xF0u);
    EXPECT_LE(bottom & 255, 0x08u);
    EXPECT_NEAR(static_cast<int>(middle & 255), 128, 4);
    EXPECT_EQ(At(s, v, 300, 120), middle);  // vertical: rows are uniform
}

TEST_F(ViewPaintScreen, GradientWithoutItsLibraryLeavesTheAreaUnpainted) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    Shot(v);
    IEGradientLibraryRelease();
    win::RemoveBuiltinModule("MSIMG32.DLL");
    v->SetBackgroundStyle(iebsGradient);
    const win::test::Screen s = Shot(v);
    EXPECT_FALSE(IEGradientRect(cl::TRect{0, 0, 1, 1}, nullptr, 0, true, 0));
    win::RestoreBuiltinModules();
    EXPECT_EQ(At(s, v, 5, 5), ScreenRGB(kBack));  // what was there before
    EXPECT_EQ(At(s, v, 5, 235), ScreenRGB(kBack));
    // With the library back the gradient is drawn again.
    v->SetBackgroundStyle(iebsSolid);
    v->SetBackgroundStyle(iebsGradient);
    const win::test::Screen s2 = Shot(v);
    EXPECT_NE(At(s2, v, 5, 0), At(s2, v, 5, 235));
}

TEST_F(ViewPaintScreen, PhotoLikeFramesThePictureOnGrey) {
    TVovozIdView* v = MakeStyledView(iebsPhotoLike);
    const win::test::Screen s = Shot(v);
    ExpectPictureShown(s, v);
    EXPECT_EQ(At(s, v, 5, 5), 0xB0B0B0u);
    for (int x = L - 1; x <= R; x += 9) {
        EXPECT_EQ(At(s, v, x, T - 1), 0u) << x;
        EXPECT_EQ(At(s, v, x, B), 0u) << x;
    }
    EXPECT_EQ(At(s, v, L - 1, T + 30), 0u);
    EXPECT_EQ(At(s, v, R, T + 30), 0u);
    EXPECT_EQ(At(s, v, L - 2, T + 30), 0xB0B0B0u);
}

TEST_F(ViewPaintScreen, WallPaperTilesAndStretches) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    cl::TBitmap tile;
    tile.SetPixelFormat(cl::pf24bit);
    tile.SetSize(7, 5);
    tile.GetCanvas()->GetBrush()->SetColor(cl::clRed);
    tile.GetCanvas()->FillRect(cl::TRect{0, 0, 7, 5});
    tile.GetCanvas()->SetPixels(0, 0, cl::clBlue);
    cl::TPicture picture;
    picture.SetGraphic(&tile);
    v->SetWallPaper(&picture);
    v->SetWallPaperStyle(iewoTile);
    win::test::Screen s = Shot(v);
    for (int y = 0; y < 80; y += 5)
        for (int x = 0; x < 105; x += 7) EXPECT_EQ(At(s, v, x, y), 0x0000FFu) << x << "," << y;
    EXPECT_EQ(At(s, v, 8, 6), 0xFF0000u);
    ExpectPictureShown(s, v);
    v->SetWallPaperStyle(iewoNormal);
    s = Shot(v);
    EXPECT_EQ(At(s, v, 0, 0), 0x0000FFu);
    EXPECT_EQ(At(s, v, 7, 0), ScreenRGB(kBack));
    v->SetWallPaperStyle(iewoStretch);
    s = Shot(v);
    EXPECT_EQ(At(s, v, 300, 200), 0xFF0000u);
}

TEST_F(ViewPaintScreen, VersionTextInTheBottomRightCorner) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    win::test::Screen before = Shot(v);
    v->SetDrawVersion(true);
    win::test::Screen after = Shot(v);
    int changed = 0;
    for (int y = 200; y < 240; ++y)
        for (int x = 200; x < 320; ++x) changed += At(before, v, x, y) != At(after, v, x, y);
    EXPECT_GT(changed, 50);
    EXPECT_EQ(At(after, v, 5, 5), ScreenRGB(kBack));
    EXPECT_EQ(TVovozIdView::VersionText(), cl::String("VovozId 3.1.0"));
}

TEST_F(ViewPaintScreen, BackBufferIsComposedOnlyWhenDirty) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    int composed = 0, painted = 0;
    v->OnDrawBackBuffer = [&](cl::TObject*) { ++composed; };
    v->OnPaint = [&](cl::TObject*) { ++painted; };
    Shot(v);
    const int c1 = composed;
    Shot(v);
    EXPECT_EQ(composed, c1);  // a plain repaint copies
    EXPECT_GT(painted, 1);
    v->InvalidateRectDirty(cl::TRect{0, 0, 10, 10});
    Pump();
    EXPECT_EQ(composed, c1 + 1);
    // DrawBackgroundTo paints the style without the picture.
    cl::TBitmap target;
    target.SetPixelFormat(cl::pf24bit);
    target.SetSize(v->GetWidth(), v->GetHeight());
    v->DrawBackgroundTo(target.GetCanvas());
    EXPECT_EQ(target.GetCanvas()->Pixels(L + 10, T + 10), cl::ColorToRGB(kBack));
}

TEST(ViewPaint, AViewWithoutAWindowNeverPaints) {
    TVovozIdView v(nullptr);
    int paints = 0, composed = 0;
    v.OnPaint = [&](cl::TObject*) { ++paints; };
    v.OnDrawBackBuffer = [&](cl::TObject*) { ++composed; };
    FillCoordPicture(v.GetIEBitmap(), 30, 20);
    v.Update();
    v.SetZoom(200);
    v.SetDrawVersion(true);
    EXPECT_EQ(paints, 0);
    EXPECT_EQ(composed, 0);
    EXPECT_FALSE(v.HandleAllocated());
}

}  // namespace
}  // namespace ie::test

namespace ie::test {
namespace {

// A second layer placed over the picture shows on the screen at its place, over the
// picture, and the picture and the background show around it.
TEST_F(ViewPaintScreen, APlacedLayerShowsOverThePicture) {
    TVovozIdView* v = MakeStyledView(iebsSolid);
    const int32_t index = v->LayersAdd();
    TIELayer* layer = v->GetLayer(index);
    layer->GetBitmap()->Allocate(20, 10, ie24RGB);
    layer->GetBitmap()->Fill(0x0000FF);  // a TColor: red
    layer->PositionX = 30;
    layer->PositionY = 20;
    v->Update();
    const win::test::Screen s = Shot(v);
    for (int y = T; y < B; y += 3)
        for (int x = L; x < R; x += 3) {
            const bool inLayer = x >= L + 30 && x < L + 50 && y >= T + 20 && y < T + 30;
            ASSERT_EQ(At(s, v, x, y), inLayer ? 0xFF0000u : CoordColor(x - L, y - T)) << x << "," << y;
        }
    EXPECT_EQ(At(s, v, 5, 5), ScreenRGB(kBack));
}

}  // namespace
}  // namespace ie::test
