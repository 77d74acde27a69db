// The radial effect's geometry: the perimeter, the frame counts, the slices its hands sweep.
#include <gtest/gtest.h>

#include <cstdlib>

#include "te_mask_geometry.h"
#include "transitions/teRadial.h"

namespace {

using te::TRadialGeometry;

TEST(RadialGeometry, PerimeterOfA640x480Run) {
    TRadialGeometry g;
    g.Setup(640, 480, 1, 1);
    EXPECT_EQ(g.W1, 641);
    EXPECT_EQ(g.H1, 481);
    EXPECT_EQ(g.CX, 320);
    EXPECT_EQ(g.CY, 240);
    EXPECT_EQ(g.T, 2248);
    EXPECT_EQ(g.P1, 643);
    EXPECT_EQ(g.P2, 1125);
    EXPECT_EQ(g.P3, 1767);
    EXPECT_EQ(g.FrameCount(false), 2248);
    g.Setup(640, 480, 3, 1);
    EXPECT_EQ(g.FrameCount(false), 562);
}

// Positions 1..T walk the ring one pixel outside the picture clockwise, one pixel per step,
// passing the corners at their positions.
TEST(RadialGeometry, PerimeterWalksTheRingPixelByPixel) {
    for (auto [w, h] : {std::pair{7, 5}, std::pair{8, 6}, std::pair{1, 1}, std::pair{30, 3}}) {
        TRadialGeometry g;
        g.Setup(w, h, 1, 1);
        EXPECT_EQ(g.PerimeterPoint(1).x, -1);
        EXPECT_EQ(g.PerimeterPoint(1).y, -1);
        EXPECT_EQ(g.PerimeterPoint(g.P1).x, g.W1);
        EXPECT_EQ(g.PerimeterPoint(g.P1).y, -1);
        EXPECT_EQ(g.PerimeterPoint(g.P2).x, g.W1);
        EXPECT_EQ(g.PerimeterPoint(g.P2).y, g.H1);
        EXPECT_EQ(g.PerimeterPoint(g.P3).x, -1);
        EXPECT_EQ(g.PerimeterPoint(g.P3).y, g.H1);
        for (int p = 1; p <= g.T; ++p) {
            win::POINT a = g.PerimeterPoint(p);
            win::POINT b = g.PerimeterPoint(p == g.T ? 1 : p + 1);
            ASSERT_EQ(std::abs(a.x - b.x) + std::abs(a.y - b.y), 1) << w << "x" << h << " position " << p;
            const bool onRing = a.x == -1 || a.y == -1 || a.x == g.W1 || a.y == g.H1;
            ASSERT_TRUE(onRing) << "position " << p;
        }
    }
}

TEST(RadialGeometry, FrameCountsPerStyle) {
    TRadialGeometry g;
    struct Case {
        int style, sub;
        bool smooth;
        int frames;
    };
    // 20 x 10: W' 21, H' 11, T 68.
    // clang-format off
    const Case cases[] = {
        {1, 3, false, 68}, {1, 3, true, 68}, {2, 1, false, 68}, {2, 1, true, 34},  {3, 1, false, 17},
        {3, 5, true, 18},  {3, 4, true, 17}, {4, 2, false, 57}, {4, 6, true, 47},  {5, 3, false, 57},
        {5, 3, true, 28},  {5, 9, true, 23}, {5, 16, false, 47}, {6, 7, true, 34}, {7, 1, false, 34},
        {7, 1, true, 17},  {8, 1, false, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        g.Setup(20, 10, c.style, c.sub);
        EXPECT_EQ(g.FrameCount(c.smooth), c.frames) << "style " << c.style << " sub " << c.sub;
    }
}

TEST(RadialGeometry, SubStylesAndTheirReversedForms) {
    EXPECT_EQ(te::RadialSubStyleCount(0), 0);
    EXPECT_EQ(te::RadialSubStyleCount(6), 8);
    EXPECT_EQ(te::RadialSubStyleCount(7), 16);
    EXPECT_EQ(te::RadialSubStyleCount(9), 1);
    EXPECT_EQ(te::RadialReversedSubStyle(5, 8), 7);
    EXPECT_EQ(te::RadialReversedSubStyle(5, 7), 8);
    EXPECT_EQ(te::RadialReversedSubStyle(7, 15), 16);
    EXPECT_EQ(te::RadialReversedSubStyle(1, 9), 9);  // beyond the style's sub-styles
    EXPECT_EQ(te::RadialReversedSubStyle(8, 1), 1);
}

// Every style, sub-style and mode, frame by frame and in jumps: whatever a frame paints
// lies inside the rectangles it reports (the copy through the mask touches only those).
TEST(RadialGeometry, EveryPaintedPixelIsReported) {
    const int W = 15, H = 9;
    for (int style = 1; style <= 7; ++style)
        for (int sub = 1; sub <= te::RadialSubStyleCount(style); ++sub)
            for (bool smooth : {false, true}) {
                TRadialGeometry g;
                g.Setup(W, H, style, sub);
                const int FC = g.FrameCount(smooth);
                auto data = tegeom::RunData(W, H, FC);
                int last = 0;
                for (int step : {1, 2, 1, 5, 3, 1, 11, 4, 7, 2, 1, 9, 1, 40}) {
                    const int frame = std::min(FC, last + step);
                    if (frame <= last) break;
                    auto mask = tegeom::WhiteMask(W, H);
                    data->DirtyRects->Clear();
                    g.DrawFrame(mask->GetCanvas(), frame, frame - last, FC, smooth, true, true, data.get());
                    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
                    win::POINT out = tegeom::OutsideReported(drawn, W, H, data->UpdateRect, data->DirtyRects->Rects);
                    ASSERT_EQ(out.x, -1) << "style " << style << " sub " << sub << " smooth " << smooth << " frame "
                                         << frame << " pixel " << out.x << "," << out.y;
                    last = frame;
                }
            }
}

// An edge or corner hand's sweep over the whole run, drawn as one slice, covers the whole
// picture: the polygon passes every corner the hand goes round.
TEST(RadialGeometry, OneSliceOverTheWholeRunCoversThePicture) {
    const int W = 12, H = 7;
    for (int style : {4, 6})
        for (int sub = 1; sub <= 8; ++sub) {
            TRadialGeometry g;
            g.Setup(W, H, style, sub);
            const int FC = g.FrameCount(false);
            auto data = tegeom::RunData(W, H, FC);
            auto mask = tegeom::WhiteMask(W, H);
            g.DrawFrame(mask->GetCanvas(), FC, FC, FC, false, false, true, data.get());
            auto drawn = tegeom::BlackPixels(mask.get(), W, H);
            for (int i = 0; i < W * H; ++i)
                ASSERT_TRUE(drawn[i]) << "style " << style << " sub " << sub << " pixel " << i % W << "," << i / W;
        }
}

// The centre hands, one line per frame, reach every pixel over the run.
TEST(RadialGeometry, LinesOfACentreHandCoverThePicture) {
    const int W = 12, H = 7;
    for (int sub = 1; sub <= 8; ++sub) {
        TRadialGeometry g;
        g.Setup(W, H, 1, sub);
        const int FC = g.FrameCount(false);
        auto data = tegeom::RunData(W, H, FC);
        auto mask = tegeom::WhiteMask(W, H);
        for (int k = 1; k <= FC; ++k) g.DrawFrame(mask->GetCanvas(), k, 1, FC, false, false, true, data.get());
        auto drawn = tegeom::BlackPixels(mask.get(), W, H);
        for (int i = 0; i < W * H; ++i) ASSERT_TRUE(drawn[i]) << "sub " << sub << " pixel " << i % W << "," << i / W;
    }
}

// Step 1 draws a line from the pivot: the first frame of style 1 sub-style 1 runs from the
// centre to the top edge just right of the middle.
TEST(RadialGeometry, FirstFrameIsALineFromThePivot) {
    const int W = 9, H = 7;
    TRadialGeometry g;
    g.Setup(W, H, 1, 1);
    auto data = tegeom::RunData(W, H, g.FrameCount(false));
    auto mask = tegeom::WhiteMask(W, H);
    g.DrawFrame(mask->GetCanvas(), 1, 1, data->Frames, false, true, true, data.get());
    // The hand ends at position W' div 2 + 2: (W' div 2, -1), straight above the centre.
    EXPECT_EQ(data->UpdateRect.left, 4);
    EXPECT_EQ(data->UpdateRect.right, 5);
    EXPECT_EQ(data->UpdateRect.top, -1);
    EXPECT_EQ(data->UpdateRect.bottom, 4);
    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) EXPECT_EQ(drawn[y * W + x], x == 4 && y >= 0 && y <= 3) << x << "," << y;
}

}  // namespace

// ---- the effect

namespace {

class RadialEffect : public tegeom::MaskedEffectTest {
protected:
    void SetUp() override {
        tegeom::MaskedEffectTest::SetUp();
        te::StartUpteRadial();
    }
};

TEST_F(RadialEffect, FrameCountsWithAndWithoutSmoothing) {
    struct Case {
        int style, sub, level;
        cl::TPixelFormat pf;
        int frames;
    };
    // 20 x 10: T = 68.
    const Case cases[] = {
        {1, 1, 0, cl::pf32bit, 68}, {1, 1, 3, cl::pf32bit, 68 + 30},  {2, 1, 1, cl::pf24bit, 34 + 7},
        {2, 1, 1, cl::pf8bit, 68},  {5, 12, 2, cl::pf16bit, 23 + 14}, {7, 3, 0, cl::pf32bit, 34},
    };
    for (const Case& c : cases) {
        te::TRadialTransition e(nullptr);
        e.SetStyle(static_cast<uint16_t>(c.style));
        e.SetSubStyle(static_cast<uint16_t>(c.sub));
        e.SetSmoothingLevel(static_cast<uint16_t>(c.level));
        EXPECT_EQ(tegeom::FramesOf(&e, 20, 10, c.pf), c.frames) << c.style << "/" << c.sub;
    }
}

TEST_F(RadialEffect, ReversedRunsTheMirroredSubStyle) {
    te::TRadialTransition e(nullptr);
    e.SetStyle(5);
    e.SetSubStyle(8);
    e.Reversed = true;
    EXPECT_EQ(e.EffectiveSubStyle(), 7);
    e.SetSubStyle(7);
    EXPECT_EQ(e.EffectiveSubStyle(), 8);
}

// The smoothed hands reach every frame's picture whether the loop shows every frame or
// skips some, on one- and two-hand styles and every kind of pivot. (Styles whose hands
// start a second round during the band's last frames paint revealed areas again; there the
// two smooth masks' leftovers make skipped frames differ.)
TEST_F(RadialEffect, SmoothRunsArePathIndependent) {
    for (auto [style, sub] : {std::pair{3, 6}, std::pair{3, 1}, std::pair{4, 3}, std::pair{4, 8}, std::pair{5, 15},
                              std::pair{5, 2}, std::pair{6, 8}, std::pair{6, 1}, std::pair{7, 5}, std::pair{7, 12}}) {
        te::TRadialTransition e(nullptr);
        e.SetStyle(static_cast<uint16_t>(style));
        e.SetSubStyle(static_cast<uint16_t>(sub));
        e.SetSmoothingLevel(2);
        EXPECT_TRUE(tegeom::PathIndependent(&e, 13, 9)) << style << "/" << sub;
    }
}

// Frame 1 of style 1 is the line from the centre straight up; the hard-edge hand has shown
// the whole new picture by its last frame (a smoothed band still fades then: the device's
// final copy ends it).
TEST_F(RadialEffect, FirstFrameIsTheHandAndTheLastShowsTheNewPicture) {
    te::TRadialTransition e(nullptr);
    const int W = 12, H = 7;  // W' 13, H' 7: centre (6, 3)
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [](int x, int y) { return x == 6 && y <= 3; }, true));
    e.SetSmoothingLevel(4);
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [](int x, int y) { return x == 6 && y <= 3; }, false));
}

}  // namespace
