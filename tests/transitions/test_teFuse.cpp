// The fuse effect: which pattern cells each style has blackened after each frame, and the
// frames that show the new picture exactly there.
#include <gtest/gtest.h>

#include <set>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "platform/clock.h"
#include "te_frame_driver.h"
#include "transitions/teBlndWk.h"
#include "transitions/teFuse.h"

namespace {

// The cell set of step s of a style, from the styles' geometric descriptions.
bool CellOfStep(int style, int s, int n, int x, int y) {
    if (style >= 3 && style % 2 == 1) {
        s = n - s + 2;
        --style;
    }
    const auto mod8 = [](int v) { return ((v % 8) + 8) % 8; };
    switch (style) {
        case 1: return te::FusePatternOrder[s - 1].x == x && te::FusePatternOrder[s - 1].y == y;
        case 2: return y == s - 1;
        case 4: return x == s - 1;
        case 6: return std::max(x, y) == s - 1;
        case 8: return te::FuseSpiralOrder[y][x] == s;
        case 10: return mod8(x - y) == mod8(s);
        case 12: return mod8(x + y) == mod8(s - 1);
        default: return false;
    }
}

class Fuse : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { te::StartUpteFuse(); }
};

TEST_P(Fuse, FramesShowTheNewPictureOnTheBlackenedCells) {
    const int style = GetParam();
    for (bool reversed : {false, true}) {
        te::TFuseTransition e(nullptr);
        e.SetStyle(static_cast<uint16_t>(style));
        e.Reversed = reversed;
        const int eff = e.EffectiveStyle();
        if (style >= 2) {
            EXPECT_EQ(eff, reversed ? (style % 2 == 0 ? style + 1 : style - 1) : style);
        }
        tetest::FrameDriver d(&e, 19, 11, cl::pf24bit, static_cast<uint32_t>(style));
        const int n = d.Frames();
        EXPECT_EQ(n, (eff == 1 || eff == 8 || eff == 9) ? 63 : 7);
        // Every frame of the plain loop, then the membership after each.
        for (int k = 1; k <= n; ++k) {
            d.Frame(k);
            for (int y = 0; y < 11; ++y)
                for (int x = 0; x < 19; ++x) {
                    bool black = false;
                    for (int s = 1; s <= k; ++s) black = black || CellOfStep(eff, s, n, x % 8, y % 8);
                    ASSERT_EQ(tetest::RawPixel(d.Work(), x, y),
                              tetest::RawPixel(black ? d.New.get() : d.Old.get(), x, y))
                        << "style " << eff << " frame " << k << " at " << x << "," << y;
                }
        }
        // The last step is left to the final picture: one cell row, column or pixel stays old.
        int white = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                white += tetest::RawPixel(d.Work(), x, y) == tetest::RawPixel(d.Old.get(), x, y);
        EXPECT_GE(white, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, Fuse, ::testing::Range(1, 14));

TEST(FuseEffect, SkippedFramesDrawAllTheirSteps) {
    te::StartUpteFuse();
    for (int style : {1, 6, 9, 12}) {
        te::TFuseTransition e(nullptr);
        e.SetStyle(static_cast<uint16_t>(style));
        std::unique_ptr<cl::TBitmap> reference;
        {
            tetest::FrameDriver d(&e, 17, 9, cl::pf32bit, 4);
            for (int k = 1; k <= 5; ++k) d.Frame(k);
            reference = tetest::CopyOf(d.Work());
        }
        tetest::FrameDriver d(&e, 17, 9, cl::pf32bit, 4);
        d.Frame(2);
        d.Frame(5);
        EXPECT_TRUE(tetest::SamePicture(d.Work(), reference.get(), 17, 9)) << style;
    }
}

TEST(FuseEffect, StyleZeroPicksOnceForTheRun) {
    te::TFuseTransition e(nullptr);
    e.SetStyle(0);
    EXPECT_EQ(e.GetStyle(), 0);
    e.SetStyle(14);
    EXPECT_EQ(e.GetStyle(), 0);
    std::set<int> seen;
    for (int run = 0; run < 30; ++run) {
        te::TTETransitionData data;
        data.PassCount = 2;
        data.Width = 8;
        data.Height = 8;
        int32_t frames = 0;
        data.Pass = 1;
        e.Initialize(&data, frames);
        const int s = e.EffectiveStyle();
        e.Finalize(&data);
        data.Pass = 2;
        e.Initialize(&data, frames);
        EXPECT_EQ(e.EffectiveStyle(), s);  // both passes
        e.Finalize(&data);
        seen.insert(s);
        win::ClockAdvance(37 * win::kTicksPerMs);  // the next run seeds from a later clock
    }
    EXPECT_GT(seen.size(), 3u);
}

TEST(FuseEffect, EveryRunReseedsTheSharedGenerator) {
    te::TFuseTransition e(nullptr);
    te::TTETransitionData data;
    data.Width = 8;
    data.Height = 8;
    int32_t frames = 0;
    cl::SetRandSeed(123456789);
    e.Initialize(&data, frames);
    EXPECT_NE(cl::GetRandSeed(), 123456789u);
    e.Finalize(&data);
}

TEST(FuseEffect, InfoSettingsAndAssign) {
    te::StartUpteFuse();
    te::TFuseTransition e(nullptr);
    tetest::TTestDevice dev;
    EXPECT_EQ(e.GetInfo(&dev), 0x20A | 0x1B5);
    EXPECT_EQ(e.GetInfo(nullptr), 0x20A | 0x135);
    cl::TStringList s;
    e.SaveToStrings(&s, true, "F");
    EXPECT_EQ(s.Values("FTransition"), "TFuseTransition");
    EXPECT_EQ(s.Values("FStyle"), "");
    e.SetStyle(9);
    e.SaveToStrings(&s, true, "F");
    EXPECT_EQ(s.Values("FStyle"), "9");
    te::TFuseTransition f(nullptr);
    f.LoadFromStrings(&s, "F");
    EXPECT_EQ(f.GetStyle(), 9);
    te::TFuseTransition g(nullptr);
    g.Assign(&f);
    EXPECT_EQ(g.GetStyle(), 9);
    EXPECT_TRUE(cl::IsPublishedProp(&e, "Style"));
    EXPECT_TRUE(cl::IsPublishedProp(&e, "Reversed"));
    EXPECT_FALSE(cl::IsPublishedProp(&e, "Direction"));
    EXPECT_EQ(e.Description(), "Fuse");
}

}  // namespace
