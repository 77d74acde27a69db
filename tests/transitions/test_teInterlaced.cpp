// The interlaced effect's geometry: the line orders, the skip band, the rings.
#include <gtest/gtest.h>

#include <algorithm>

#include "te_mask_geometry.h"
#include "transitions/teInterlaced.h"

namespace {

using te::TInterlacedGeometry;

std::vector<int> Lines(int W, int H, int sub) {
    TInterlacedGeometry g;
    g.Setup(W, H, 1, sub);
    std::vector<int> v;
    const int n = TInterlacedGeometry::FrameCount(1, sub, W, H, false);
    for (int i = 1; i <= n; ++i) v.push_back(g.LineIndex(i));
    return v;
}

TEST(InterlacedGeometry, LineOrders) {
    EXPECT_EQ(Lines(9, 5, 3), (std::vector<int>{0, 2, 4, 3, 1}));
    EXPECT_EQ(Lines(9, 5, 4), (std::vector<int>{3, 1, 0, 2, 4}));
    EXPECT_EQ(Lines(9, 6, 7), (std::vector<int>{0, 2, 4, 1, 3, 5}));
    EXPECT_EQ(Lines(9, 6, 8), (std::vector<int>{5, 3, 1, 4, 2, 0}));
    EXPECT_EQ(Lines(9, 6, 1), (std::vector<int>{5, 0, 3, 2, 1, 4}));
    EXPECT_EQ(Lines(6, 9, 2), (std::vector<int>{5, 0, 3, 2, 1, 4}));
    EXPECT_EQ(Lines(5, 9, 9), (std::vector<int>{0, 2, 4, 1, 3}));
    EXPECT_EQ(Lines(5, 9, 10), (std::vector<int>{3, 1, 4, 2, 0}));
}

// Sub-styles 3 to 10 draw every line once, on odd and even sizes.
TEST(InterlacedGeometry, PhasedOrdersArePermutations) {
    for (int n : {1, 2, 5, 6, 17, 32})
        for (int sub = 3; sub <= 10; ++sub) {
            const bool cols = sub >= 5 && sub <= 10 && sub != 7 && sub != 8;
            auto v = cols ? Lines(n, 3, sub) : Lines(3, n, sub);
            std::sort(v.begin(), v.end());
            for (int i = 0; i < n; ++i) ASSERT_EQ(v[i], i) << "size " << n << " sub " << sub;
        }
}

TEST(InterlacedGeometry, FrameCounts) {
    EXPECT_EQ(TInterlacedGeometry::FrameCount(1, 1, 640, 480, false), 480);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(1, 1, 640, 480, true), 240);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(1, 2, 640, 480, true), 320);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(1, 8, 640, 480, true), 480);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(1, 9, 640, 480, false), 640);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(2, 1, 640, 480, false), 240);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(2, 1, 640, 480, true), 120);
    EXPECT_EQ(TInterlacedGeometry::FrameCount(3, 1, 640, 480, false), 0);
    TInterlacedGeometry g;
    g.Setup(640, 480, 2, 1);
    EXPECT_EQ(g.Last, 240);
    EXPECT_EQ(te::InterlacedReversedSubStyle(1, 3), 4);
    EXPECT_EQ(te::InterlacedReversedSubStyle(1, 10), 9);
    EXPECT_EQ(te::InterlacedReversedSubStyle(1, 2), 2);
    EXPECT_EQ(te::InterlacedReversedSubStyle(2, 1), 1);
    EXPECT_EQ(te::InterlacedSubStyleCount(1), 10);
}

// Frame by frame and in jumps, smooth or not: what a frame paints lies in its update
// rectangle and outside its skip rectangle, and the lines reached by a frame are those of a
// run that showed every frame.
TEST(InterlacedGeometry, FramesReportWhatTheyPaint) {
    const int W = 12, H = 9;
    for (int style = 1; style <= 2; ++style)
        for (int sub = 1; sub <= (style == 1 ? 10 : 1); ++sub)
            for (bool smooth : {false, true}) {
                TInterlacedGeometry g;
                g.Setup(W, H, style, sub);
                const int FC = TInterlacedGeometry::FrameCount(style, sub, W, H, smooth);
                auto data = tegeom::RunData(W, H, FC);
                auto total = tegeom::WhiteMask(W, H);
                auto every = tegeom::WhiteMask(W, H);
                int last = 0;
                for (int step : {1, 1, 2, 3, 1, 4, 2, 30}) {
                    const int k = std::min(FC, last + step);
                    if (k <= last) break;
                    for (int j = last + 1; j <= k; ++j)
                        g.DrawFrame(every->GetCanvas(), j, j - 1, smooth, true, data.get());
                    auto mask = tegeom::WhiteMask(W, H);
                    data->UnUpdateRect = te::MakeRect(0, 0, 0, 0);
                    g.DrawFrame(mask->GetCanvas(), k, last, smooth, true, data.get());
                    g.DrawFrame(total->GetCanvas(), k, last, smooth, true, data.get());
                    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
                    for (int y = 0; y < H; ++y)
                        for (int x = 0; x < W; ++x) {
                            if (!drawn[y * W + x]) continue;
                            ASSERT_TRUE(tegeom::InRect(data->UpdateRect, x, y))
                                << style << "/" << sub << " frame " << k << " at " << x << "," << y;
                            ASSERT_FALSE(tegeom::InRect(data->UnUpdateRect, x, y))
                                << style << "/" << sub << " frame " << k << " at " << x << "," << y;
                        }
                    ASSERT_EQ(tegeom::BlackPixels(total.get(), W, H), tegeom::BlackPixels(every.get(), W, H))
                        << style << "/" << sub << " smooth " << smooth << " frame " << k;
                    last = k;
                }
            }
}

// The rings of style 2 reach every pixel, outer and inner rings alternating, when the
// shorter side is a multiple of 4 (on other sizes the final picture completes a ring).
TEST(InterlacedGeometry, RingsCoverThePicture) {
    for (auto [W, H] : {std::pair{20, 12}, std::pair{8, 13}, std::pair{16, 16}, std::pair{4, 5}})
        for (bool smooth : {false, true}) {
            TInterlacedGeometry g;
            g.Setup(W, H, 2, 1);
            const int FC = TInterlacedGeometry::FrameCount(2, 1, W, H, smooth);
            auto data = tegeom::RunData(W, H, FC);
            auto mask = tegeom::WhiteMask(W, H);
            g.DrawFrame(mask->GetCanvas(), 1, 0, smooth, true, data.get());
            EXPECT_TRUE(cl::EqualRect(data->UpdateRect, cl::Rect(0, 0, W, H)));
            for (int k = 2; k <= FC; ++k) g.DrawFrame(mask->GetCanvas(), k, k - 1, smooth, true, data.get());
            for (bool b : tegeom::BlackPixels(mask.get(), W, H)) ASSERT_TRUE(b) << W << "x" << H << " " << smooth;
        }
}

}  // namespace

// ---- the effect

namespace {

class InterlacedEffect : public tegeom::MaskedEffectTest {
protected:
    void SetUp() override {
        tegeom::MaskedEffectTest::SetUp();
        te::StartUpteInterlaced();
    }
    static void Style(te::TInterlacedTransition& e, int style, int sub, int level = 0) {
        e.SetStyle(static_cast<uint16_t>(style));
        e.SetSubStyle(static_cast<uint16_t>(sub));
        e.SetSmoothingLevel(static_cast<uint16_t>(level));
    }
};

TEST_F(InterlacedEffect, FrameCounts) {
    te::TInterlacedTransition e(nullptr);
    EXPECT_EQ(tegeom::FramesOf(&e, 17, 12), 12);
    Style(e, 1, 2, 2);
    EXPECT_EQ(tegeom::FramesOf(&e, 17, 12), 8 + 14);
    Style(e, 2, 1, 1);
    EXPECT_EQ(tegeom::FramesOf(&e, 17, 12), 3 + 7);
    EXPECT_EQ(tegeom::FramesOf(&e, 17, 12, cl::pf8bit), 6);
    Style(e, 1, 7);
    e.Reversed = true;
    EXPECT_EQ(e.EffectiveSubStyle(), 8);
}

TEST_F(InterlacedEffect, RunsArePathIndependent) {
    const int cases[][3] = {{1, 1, 2}, {1, 2, 0}, {1, 5, 3}, {1, 8, 0}, {1, 10, 1}, {2, 1, 2}, {2, 1, 0}};
    for (const auto& c : cases) {
        te::TInterlacedTransition e(nullptr);
        Style(e, c[0], c[1], c[2]);
        EXPECT_TRUE(tegeom::PathIndependent(&e, 16, 12)) << c[0] << "/" << c[1] << " level " << c[2];
    }
}

TEST_F(InterlacedEffect, FirstFrameIsTheFirstLine) {
    const int W = 16, H = 12;
    te::TInterlacedTransition e(nullptr);
    // Sub-style 1: the last odd row first; sub-style 6: the last odd column; style 2: the
    // outer ring. All hard-edge runs of these sizes end on the new picture.
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [](int, int y) { return y == 11; }, true));
    Style(e, 1, 6);
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [](int x, int) { return x == 15; }, true));
    Style(e, 2, 1);
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [](int x, int y) { return x == 0 || y == 0 || x == 15 || y == 11; }, true));
}

}  // namespace
