// The circle effect's geometry: frame counts, the points, the update and skip squares.
#include <gtest/gtest.h>

#include <cmath>

#include "te_mask_geometry.h"
#include "transitions/teCircle.h"

namespace {

using te::TCircleGeometry;

TEST(CircleGeometry, FrameCountsOfA640x480Run) {
    EXPECT_EQ(TCircleGeometry::FrameCount(1, 1, 640, 480), 401);
    EXPECT_EQ(TCircleGeometry::FrameCount(1, 2, 640, 480), 401);
    EXPECT_EQ(TCircleGeometry::FrameCount(2, 5, 640, 480), 801);
    EXPECT_EQ(TCircleGeometry::FrameCount(3, 1, 640, 480), 685);
    EXPECT_EQ(TCircleGeometry::FrameCount(3, 3, 640, 480),
              static_cast<int>(std::lround(std::sqrt(480.0 * 480 + 320 * 320))) + 1);
    EXPECT_EQ(TCircleGeometry::FrameCount(4, 1, 640, 480), 0);
}

// The radius is the square root rounded to the nearest integer, plus one.
TEST(CircleGeometry, FrameCountRoundsTheRadius) {
    EXPECT_EQ(TCircleGeometry::FrameCount(2, 1, 4, 3), 6);  // sqrt(25) = 5
    EXPECT_EQ(TCircleGeometry::FrameCount(2, 1, 1, 1), 2);  // sqrt(2) = 1.41
    EXPECT_EQ(TCircleGeometry::FrameCount(2, 1, 2, 1), 3);  // sqrt(5) = 2.24
    EXPECT_EQ(TCircleGeometry::FrameCount(2, 1, 3, 2), 5);  // sqrt(13) = 3.61
}

TEST(CircleGeometry, ReversedSubStylesSwapGrowingAndShrinking) {
    EXPECT_EQ(te::CircleReversedSubStyle(1, 1), 2);
    EXPECT_EQ(te::CircleReversedSubStyle(1, 2), 1);
    EXPECT_EQ(te::CircleReversedSubStyle(2, 3), 7);
    EXPECT_EQ(te::CircleReversedSubStyle(3, 8), 4);
    EXPECT_EQ(te::CircleReversedSubStyle(4, 3), 3);
    EXPECT_EQ(te::CircleSubStyleCount(0), 0);
    EXPECT_EQ(te::CircleSubStyleCount(1), 2);
    EXPECT_EQ(te::CircleSubStyleCount(3), 8);
    EXPECT_TRUE(TCircleGeometry::Shrinking(2, 7));
    EXPECT_FALSE(TCircleGeometry::Shrinking(3, 4));
}

TEST(CircleGeometry, InnerSquareLiesInsideTheCircle) {
    const win::POINT c{50, 40};
    for (int r = 0; r <= 30; ++r) {
        win::RECT in = TCircleGeometry::Inner(c, r);
        if (r <= 1) {
            EXPECT_TRUE(te::RectEmpty(in)) << r;
            continue;
        }
        for (int x : {in.left, in.right - 1})
            for (int y : {in.top, in.bottom - 1}) {
                const double dx = x + 0.5 - c.x, dy = y + 0.5 - c.y;
                EXPECT_LT(dx * dx + dy * dy, double(r) * r) << "r " << r;
            }
    }
}

// Growing sub-styles: the circle of radius Frame around the sub-style's point; everything it
// paints is in the update square, and the skip square lies inside the previous circle.
TEST(CircleGeometry, GrowingFramesPaintInsideTheirBox) {
    const int W = 21, H = 13;
    struct Case {
        int style, sub;
        win::POINT centre;
    };
    const Case cases[] = {{1, 1, {10, 6}}, {2, 1, {0, 0}},  {2, 2, {21, 13}}, {2, 3, {0, 13}}, {2, 4, {21, 0}},
                          {3, 1, {0, 6}},  {3, 2, {21, 6}}, {3, 3, {10, 0}},  {3, 4, {10, 13}}};
    for (const Case& cs : cases) {
        TCircleGeometry g{cs.style, cs.sub};
        const int FC = TCircleGeometry::FrameCount(cs.style, cs.sub, W, H);
        auto data = tegeom::RunData(W, H, FC);
        std::vector<bool> previous(W * H, false);
        int last = 0;
        for (int k : {1, 2, 3, 6, 7, 12, FC - 1, FC}) {
            auto mask = tegeom::WhiteMask(W, H);
            g.DrawFrame(mask->GetCanvas(), k, k - last, FC, false, true, data.get());
            EXPECT_EQ(data->UpdateRect.left, cs.centre.x - k);
            EXPECT_EQ(data->UpdateRect.bottom, cs.centre.y + k);
            auto drawn = tegeom::BlackPixels(mask.get(), W, H);
            win::POINT out = tegeom::OutsideReported(drawn, W, H, data->UpdateRect, {});
            EXPECT_EQ(out.x, -1) << cs.style << "/" << cs.sub << " frame " << k;
            // What the skip square spares was painted by the previous frame already.
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    if (tegeom::InRect(data->UnUpdateRect, x, y)) {
                        ASSERT_TRUE(previous[y * W + x]) << cs.style << "/" << cs.sub << " frame " << k;
                    }
            previous = drawn;
            last = k;
        }
        // The last circle covers the picture.
        for (bool b : previous) ASSERT_TRUE(b) << cs.style << "/" << cs.sub;
    }
}

// Shrinking sub-styles: the circle of radius FC - Frame marks what still shows the old
// picture; the update square covers the previous circle, which held more.
TEST(CircleGeometry, ShrinkingFramesCoverThePreviousCircle) {
    const int W = 19, H = 14;
    for (auto [style, sub] : {std::pair{1, 2}, std::pair{2, 5}, std::pair{2, 8}, std::pair{3, 6}, std::pair{3, 7}}) {
        TCircleGeometry g{style, sub};
        const int FC = TCircleGeometry::FrameCount(style, sub, W, H);
        auto data = tegeom::RunData(W, H, FC);
        std::vector<bool> previous(W * H, true);
        int last = 0;
        for (int k : {1, 2, 4, 5, 9, FC - 2, FC}) {
            auto mask = tegeom::WhiteMask(W, H);
            g.DrawFrame(mask->GetCanvas(), k, k - last, FC, false, true, data.get());
            auto drawn = tegeom::BlackPixels(mask.get(), W, H);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const bool changed = previous[y * W + x] != drawn[y * W + x];
                    if (changed) {
                        ASSERT_TRUE(tegeom::InRect(data->UpdateRect, x, y)) << style << "/" << sub << " " << k;
                    }
                    if (tegeom::InRect(data->UnUpdateRect, x, y)) {
                        ASSERT_TRUE(drawn[y * W + x]);
                    }
                }
            previous = drawn;
            last = k;
        }
        // Radius 0 at the end: nothing of the old picture is left but the centre's pixel at most.
        int left = 0;
        for (bool b : previous) left += b;
        EXPECT_LE(left, 1) << style << "/" << sub;
    }
}

// With smoothing, the shrinking centre circle keeps the inside of its skip square out of
// the drawing, and the canvas has no clipping left afterwards.
TEST(CircleGeometry, SmoothShrinkingCircleSparesTheInnerSquare) {
    const int W = 40, H = 40;
    TCircleGeometry g{1, 2};
    const int FC = TCircleGeometry::FrameCount(1, 2, W, H);
    auto data = tegeom::RunData(W, H, FC);
    auto mask = tegeom::WhiteMask(W, H);
    g.DrawFrame(mask->GetCanvas(), 5, 1, FC, true, true, data.get());
    const win::RECT skip = data->UnUpdateRect;
    ASSERT_FALSE(te::RectEmpty(skip));
    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
    EXPECT_FALSE(drawn[(skip.top + 2) * W + skip.left + 2]);
    EXPECT_TRUE(drawn[skip.top * W + skip.left]);
    // No clipping is left: a later fill reaches the centre.
    mask->GetCanvas()->FillRect(cl::Rect(0, 0, W, H));
    EXPECT_TRUE(tegeom::BlackPixels(mask.get(), W, H)[20 * W + 20]);
}

}  // namespace

// ---- the effect

namespace {

class CircleEffect : public tegeom::MaskedEffectTest {
protected:
    void SetUp() override {
        tegeom::MaskedEffectTest::SetUp();
        te::StartUpteCircle();
    }
    static void Style(te::TCircleTransition& e, int style, int sub, int level = 0) {
        e.SetStyle(static_cast<uint16_t>(style));
        e.SetSubStyle(static_cast<uint16_t>(sub));
        e.SetSmoothingLevel(static_cast<uint16_t>(level));
    }
};

TEST_F(CircleEffect, FrameCountsAndReversedSubStyles) {
    te::TCircleTransition e(nullptr);
    EXPECT_EQ(tegeom::FramesOf(&e, 20, 10), 12);  // rnd(sqrt(5*5 + 10*10)) + 1
    Style(e, 1, 1, 2);
    EXPECT_EQ(tegeom::FramesOf(&e, 20, 10), 12 + 14);
    EXPECT_EQ(tegeom::FramesOf(&e, 20, 10, cl::pf8bit), 12);
    Style(e, 3, 3);
    EXPECT_EQ(tegeom::FramesOf(&e, 20, 10), 15);  // rnd(sqrt(10*10 + 10*10)) + 1
    Style(e, 2, 3);
    e.Reversed = true;
    EXPECT_EQ(e.EffectiveSubStyle(), 7);
}

// Growing circles and the shrinking centre circle smooth alike however the loop skips;
// shrinking circles at corners and edges alike with a hard edge. (A smoothed shrinking run
// whose first frame jumps past the band leaves the area outside its oldest circle on the
// old picture: the band's lost frames are cleared only inside the previous frame's update
// area, and the first frame has none.)
TEST_F(CircleEffect, SmoothAndHardRunsArePathIndependent) {
    const int cases[][3] = {{1, 1, 3}, {1, 2, 3}, {2, 2, 2}, {3, 3, 4}, {3, 2, 1},
                            {2, 2, 0}, {1, 2, 0}, {3, 6, 0}, {2, 7, 0}};
    for (const auto& c : cases) {
        te::TCircleTransition e(nullptr);
        Style(e, c[0], c[1], c[2]);
        EXPECT_TRUE(tegeom::PathIndependent(&e, 23, 14)) << c[0] << "/" << c[1] << " level " << c[2];
    }
}

// A growing circle starts in the square of radius 1 around its point; a shrinking one starts
// far from its point (from a corner it still covers the whole picture); both show the new
// picture at their last hard-edge frame.
TEST_F(CircleEffect, FirstAndLastFrames) {
    const int W = 21, H = 13;
    te::TCircleTransition e(nullptr);
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [](int x, int y) { return x >= 9 && x < 11 && y >= 5 && y < 7; }, true));
    Style(e, 2, 5);
    const int FC = te::TCircleGeometry::FrameCount(2, 5, W, H);
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [FC](int x, int y) { return (x + 1) * (x + 1) + (y + 1) * (y + 1) >= (FC - 3) * (FC - 3); }, true,
        cl::pf32bit, false));
}

}  // namespace
