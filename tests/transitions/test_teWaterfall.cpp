// The waterfall effect's geometry: frame counts, one random draw per line and frame, the
// pieces each line adds.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "classlib/SysUtils.h"
#include "te_mask_geometry.h"
#include "transitions/teWaterfall.h"

namespace {

using te::TWaterfallGeometry;

TEST(WaterfallGeometry, FrameCountsAndLines) {
    EXPECT_EQ(TWaterfallGeometry::FrameCount(te::tedDown, 800, 600), 480);
    EXPECT_EQ(TWaterfallGeometry::FrameCount(te::tedUp, 800, 600), 480);
    EXPECT_EQ(TWaterfallGeometry::FrameCount(te::tedLeft, 801, 600), 640);
    EXPECT_EQ(TWaterfallGeometry::FrameCount(te::tedNone, 801, 600), 0);
    TWaterfallGeometry g;
    g.Setup(te::tedDown, 800, 600);
    EXPECT_EQ(g.Progress.size(), 800u);
    g.Setup(te::tedRight, 800, 600);
    EXPECT_EQ(g.Progress.size(), 600u);
}

// Each line of each direction shows the new picture exactly from its side to its progress:
// the pieces of successive frames join without gaps, whatever the steps.
TEST(WaterfallGeometry, LinesGrowFromTheirSide) {
    const int W = 14, H = 11;
    for (auto dir : {te::tedDown, te::tedUp, te::tedRight, te::tedLeft}) {
        cl::SetRandSeed(4711);
        TWaterfallGeometry g;
        g.Setup(dir, W, H);
        auto data = tegeom::RunData(W, H, TWaterfallGeometry::FrameCount(dir, W, H));
        auto mask = tegeom::WhiteMask(W, H);
        for (int step : {1, 1, 2, 1, 3, 1, 1}) {
            g.DrawFrame(mask->GetCanvas(), step, true, data.get());
            auto drawn = tegeom::BlackPixels(mask.get(), W, H);
            for (size_t i = 0; i < g.Progress.size(); ++i) {
                const int p = g.Progress[i];
                const int L = (dir == te::tedDown || dir == te::tedUp) ? H : W;
                for (int d = 0; d < L; ++d) {
                    int x = 0, y = 0;
                    switch (dir) {
                        case te::tedDown:
                            x = int(i);
                            y = d;
                            break;
                        case te::tedUp:
                            x = int(i);
                            y = H - 1 - d;
                            break;
                        case te::tedRight:
                            x = d;
                            y = int(i);
                            break;
                        default:
                            x = W - 1 - d;
                            y = int(i);
                            break;
                    }
                    // Up and left pieces end one pixel further, at H - e and W - e.
                    const int reach = (dir == te::tedUp || dir == te::tedLeft) ? p - 1 : p;
                    const bool expect = p > 0 && d <= reach;
                    ASSERT_EQ(drawn[y * W + x], expect) << "direction " << int(dir) << " line " << i << " at " << d;
                }
            }
        }
    }
}

// One Random(4) per line and frame, moving or not, finished or not.
TEST(WaterfallGeometry, OneRandomDrawPerLineAndFrame) {
    const int W = 9, H = 4;
    TWaterfallGeometry g;
    g.Setup(te::tedDown, W, H);
    auto data = tegeom::RunData(W, H, 3);
    cl::SetRandSeed(99);
    for (int frame = 0; frame < 12; ++frame) g.DrawFrame(nullptr, 2, false, data.get());
    const uint32_t after = cl::GetRandSeed();
    cl::SetRandSeed(99);
    for (int n = 0; n < 12 * W; ++n) cl::Random(4);
    EXPECT_EQ(after, cl::GetRandSeed());
    for (uint16_t p : g.Progress) EXPECT_GE(p, H - 1);  // every line finished long ago
}

TEST(WaterfallGeometry, UpdateRectangleSpansTheMovingLines) {
    const int W = 6, H = 40;
    TWaterfallGeometry g;
    g.Setup(te::tedDown, W, H);
    g.Progress = {3, 10, 40, 5, 7, 2};
    auto data = tegeom::RunData(W, H, 32);
    cl::SetRandSeed(12345);
    std::vector<int> r;
    for (int i = 0; i < W; ++i) r.push_back(cl::Random(4));
    cl::SetRandSeed(12345);
    g.DrawFrame(nullptr, 1, false, data.get());
    int lo = H, hi = 0;
    const int before[] = {3, 10, 40, 5, 7, 2};
    for (int i = 0; i < W; ++i) {
        if (r[i] == 0) continue;
        lo = std::min(lo, before[i]);  // a finished line still counts for the top
        if (before[i] < H) hi = std::max(hi, before[i] + r[i]);
    }
    if (hi < lo) {
        hi = g.Progress[0];
        --lo;
    }
    EXPECT_TRUE(cl::EqualRect(data->UpdateRect, cl::Rect(0, lo, W, hi)));
}

}  // namespace

// ---- the effect

namespace {

class WaterfallEffect : public tegeom::MaskedEffectTest {
protected:
    void SetUp() override {
        tegeom::MaskedEffectTest::SetUp();
        te::StartUpteWaterfall();
    }
};

TEST_F(WaterfallEffect, DirectionsItAccepts) {
    te::TWaterfallTransition e(nullptr);
    EXPECT_EQ(e.AllowedDirections, 0x81E);
    EXPECT_EQ(e.GetDirection(), te::tedDown);
    e.SetDirection(te::tedDownRight);
    EXPECT_EQ(e.GetDirection(), te::tedDown);
    e.SetDirection(te::tedNone);
    EXPECT_EQ(e.GetDirection(), te::tedDown);
    e.SetDirection(te::tedLeft);
    EXPECT_EQ(e.GetDirection(), te::tedLeft);
    e.Reversed = true;
    EXPECT_EQ(e.EffectiveDirection(), te::tedRight);
}

// A random direction becomes one of the four for the run, all four in time.
TEST_F(WaterfallEffect, RandomDirectionPicksOneOfTheFour) {
    te::TWaterfallTransition e(nullptr);
    e.SetDirection(te::tedRandom);
    ASSERT_EQ(e.GetDirection(), te::tedRandom);
    std::set<int> seen;
    cl::SetRandSeed(321);
    for (int run = 0; run < 60; ++run) {
        tetest::TTestDevice dev;
        dev.SetTransition(&e);
        dev.CreateRunData();
        const int d = dev.WorkingTransition->GetDirection();
        EXPECT_TRUE(d >= te::tedRight && d <= te::tedUp) << d;
        seen.insert(d);
        dev.FreeRunData();
    }
    EXPECT_EQ(seen.size(), 4u);
}

// Smoothing is never active: the display's format and 80 % of the length as frames.
TEST_F(WaterfallEffect, NeverSmooths) {
    te::TWaterfallTransition e(nullptr);
    e.SetSmoothingLevel(3);
    tetest::TTestDevice dev;
    dev.Format = cl::pf24bit;
    EXPECT_EQ(e.GetPixelFormat(&dev), cl::pf24bit);
    EXPECT_EQ(tegeom::FramesOf(&e, 30, 25, cl::pf24bit), 20);
    e.SetDirection(te::tedRight);
    EXPECT_EQ(tegeom::FramesOf(&e, 30, 25, cl::pf24bit), 24);
}

// The first frame runs at most three pixels from the starting side.
TEST_F(WaterfallEffect, FirstFrameStartsAtItsSide) {
    const int W = 24, H = 20;
    struct Case {
        te::TTEEffectDirection dir;
        bool reversed;
        std::function<bool(int, int)> allowed;
    };
    const Case cases[] = {
        {te::tedDown, false, [](int, int y) { return y <= 3; }},
        {te::tedDown, true, [](int, int y) { return y >= H - 4; }},
        {te::tedRight, false, [](int x, int) { return x <= 3; }},
        {te::tedLeft, false, [](int x, int) { return x >= W - 4; }},
    };
    for (const Case& c : cases) {
        te::TWaterfallTransition e(nullptr);
        e.SetDirection(c.dir);
        e.Reversed = c.reversed;
        cl::SetRandSeed(77);
        EXPECT_TRUE(tegeom::FirstAndLastFrame(&e, W, H, c.allowed, false)) << int(c.dir) << " " << c.reversed;
    }
}

}  // namespace
