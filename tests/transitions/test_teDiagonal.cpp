// The diagonal effect's geometry: the two families of diagonals, the bands, the two fronts.
#include <gtest/gtest.h>

#include <algorithm>

#include "te_mask_geometry.h"
#include "transitions/teDiagonal.h"

namespace {

using te::TDiagonalGeometry;

std::vector<bool> DrawFrames(const TDiagonalGeometry& g, int W, int H, const std::vector<int>& frames,
                             bool checkReported) {
    auto data = tegeom::RunData(W, H, TDiagonalGeometry::FrameCount(W, H));
    auto total = tegeom::WhiteMask(W, H);
    int last = 0;
    for (int k : frames) {
        auto mask = tegeom::WhiteMask(W, H);
        data->DirtyRects->Clear();
        g.DrawFrame(mask->GetCanvas(), k, k - last, true, true, data.get());
        g.DrawFrame(total->GetCanvas(), k, k - last, false, true, data.get());
        if (checkReported) {
            auto drawn = tegeom::BlackPixels(mask.get(), W, H);
            // Drawn again without a report: the update rectangle is the same.
            win::RECT update = data->UpdateRect;
            g.DrawFrame(nullptr, k, k - last, true, false, data.get());
            EXPECT_TRUE(cl::EqualRect(update, data->UpdateRect));
            win::POINT out = tegeom::OutsideReported(drawn, W, H, data->UpdateRect, data->DirtyRects->Rects);
            EXPECT_EQ(out.x, -1) << "style " << g.Style << " sub " << g.SubStyle << " frame " << k << " pixel " << out.x
                                 << "," << out.y;
        }
        last = k;
    }
    return tegeom::BlackPixels(total.get(), W, H);
}

TEST(DiagonalGeometry, FrameCountIsTheNumberOfDiagonals) {
    EXPECT_EQ(TDiagonalGeometry::FrameCount(640, 480), 1119);
    EXPECT_EQ(TDiagonalGeometry::FrameCount(1, 1), 1);
}

// Diagonal k of each family is exactly the set x + y = k - 1 (falling) or x - y = k - H
// (rising) inside the picture, on wide, tall and square runs.
TEST(DiagonalGeometry, EachDiagonalIsItsPixelSet) {
    for (auto [W, H] : {std::pair{11, 7}, std::pair{7, 11}, std::pair{6, 6}, std::pair{1, 5}}) {
        for (int sub : {1, 3}) {
            TDiagonalGeometry g{1, sub};
            for (int k = 1; k <= W + H - 1; ++k) {
                auto data = tegeom::RunData(W, H, W + H - 1);
                auto mask = tegeom::WhiteMask(W, H);
                g.DrawFrame(mask->GetCanvas(), k, 1, false, true, data.get());
                auto drawn = tegeom::BlackPixels(mask.get(), W, H);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x) {
                        const bool on = sub == 1 ? x + y == k - 1 : x - y == k - H;
                        ASSERT_EQ(drawn[y * W + x], on)
                            << W << "x" << H << " sub " << sub << " k " << k << " at " << x << "," << y;
                    }
            }
        }
    }
}

// Every sub-style, frame by frame and in jumps: painted pixels are reported, and the pixels
// reached by a frame equal those of a run that showed every frame.
TEST(DiagonalGeometry, JumpsReachWhatEveryFrameReaches) {
    const int W = 13, H = 9;
    const int FC = W + H - 1;
    const std::vector<int> jumps = {1, 2, 5, 6, 7, 11, 12, 16, 21};
    for (int style = 1; style <= 2; ++style)
        for (int sub = 1; sub <= 4; ++sub) {
            TDiagonalGeometry g{style, sub};
            std::vector<int> every;
            for (int k = 1; k <= FC; ++k) every.push_back(k);
            for (size_t n = 1; n <= jumps.size(); ++n) {
                std::vector<int> part(jumps.begin(), jumps.begin() + static_cast<long>(n));
                std::vector<int> all(every.begin(), every.begin() + part.back());
                EXPECT_EQ(DrawFrames(g, W, H, part, true), DrawFrames(g, W, H, all, false))
                    << "style " << style << " sub " << sub << " up to frame " << part.back();
            }
            // All frames reach the whole picture.
            for (bool b : DrawFrames(g, W, H, every, false)) ASSERT_TRUE(b);
        }
}

TEST(DiagonalGeometry, TwoFrontsTakeTurns) {
    const int W = 10, H = 6;
    TDiagonalGeometry g{2, 1};
    auto data = tegeom::RunData(W, H, W + H - 1);
    auto mask = tegeom::WhiteMask(W, H);
    g.DrawFrame(mask->GetCanvas(), 1, 1, false, true, data.get());
    EXPECT_TRUE(cl::EqualRect(data->UpdateRect, cl::Rect(0, 0, 1, 1)));
    g.DrawFrame(mask->GetCanvas(), 2, 1, false, true, data.get());
    EXPECT_TRUE(cl::EqualRect(data->UpdateRect, cl::Rect(W - 1, H - 1, W, H)));
    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), true), 2);
}

TEST(DiagonalGeometry, ReversedSubStyles) {
    const int cases[][3] = {{1, 1, 2}, {1, 4, 3}, {2, 1, 3}, {2, 4, 2}, {3, 1, 1}, {1, 5, 5}};
    for (const auto& c : cases) EXPECT_EQ(te::DiagonalReversedSubStyle(c[0], c[1]), c[2]);
    EXPECT_EQ(te::DiagonalSubStyleCount(0), 0);
    EXPECT_EQ(te::DiagonalSubStyleCount(2), 4);
}

}  // namespace

// ---- the effect

namespace {

class DiagonalEffect : public tegeom::MaskedEffectTest {
protected:
    void SetUp() override {
        tegeom::MaskedEffectTest::SetUp();
        te::StartUpteDiagonal();
    }
    static void Style(te::TDiagonalTransition& e, int style, int sub, int level = 0) {
        e.SetStyle(static_cast<uint16_t>(style));
        e.SetSubStyle(static_cast<uint16_t>(sub));
        e.SetSmoothingLevel(static_cast<uint16_t>(level));
    }
};

// Style 2 never smooths: its run keeps the display's format and the plain frame count.
TEST_F(DiagonalEffect, FrameCountsAndSmoothingPerStyle) {
    te::TDiagonalTransition e(nullptr);
    EXPECT_EQ(tegeom::FramesOf(&e, 13, 9), 21);
    Style(e, 1, 1, 3);
    EXPECT_EQ(tegeom::FramesOf(&e, 13, 9, cl::pf24bit), 21 + 30);
    tetest::TTestDevice dev;
    dev.Format = cl::pf24bit;
    EXPECT_EQ(e.GetPixelFormat(&dev), cl::pf32bit);
    Style(e, 2, 1, 3);
    EXPECT_EQ(tegeom::FramesOf(&e, 13, 9, cl::pf24bit), 21);
    EXPECT_EQ(e.GetPixelFormat(&dev), cl::pf24bit);
}

TEST_F(DiagonalEffect, RunsArePathIndependent) {
    const int cases[][3] = {{1, 1, 2}, {1, 2, 5}, {1, 3, 1}, {1, 4, 3}, {2, 1, 0},
                            {2, 2, 0}, {2, 3, 4}, {2, 4, 0}, {1, 3, 0}};
    for (const auto& c : cases) {
        te::TDiagonalTransition e(nullptr);
        Style(e, c[0], c[1], c[2]);
        EXPECT_TRUE(tegeom::PathIndependent(&e, 19, 11)) << c[0] << "/" << c[1] << " level " << c[2];
    }
}

TEST_F(DiagonalEffect, FirstFrameIsTheCornerPixel) {
    const int W = 14, H = 9;
    struct Case {
        int style, sub;
        int x, y;
    };
    const Case cases[] = {{1, 1, 0, 0}, {1, 2, W - 1, H - 1}, {1, 3, 0, H - 1}, {1, 4, W - 1, 0}, {2, 1, 0, 0}};
    for (const Case& c : cases) {
        te::TDiagonalTransition e(nullptr);
        Style(e, c.style, c.sub);
        EXPECT_TRUE(tegeom::FirstAndLastFrame(
            &e, W, H, [&](int x, int y) { return x == c.x && y == c.y; }, true))
            << c.style << "/" << c.sub;
    }
}

}  // namespace
