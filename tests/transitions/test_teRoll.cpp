// The roll effect: the folded band, the laid strip and the cylinder shading.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/teRoll.h"

using namespace te;
using namespace tetest;

namespace {

class RollTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUpteRoll();
        savedMMX = MMXAvailable;
    }
    void TearDown() override { MMXAvailable = savedMMX; }
    bool savedMMX = false;
};

}  // namespace

TEST_F(RollTest, ShadeTablesOfTheCylinder) {
    std::vector<int8_t> eight = {-110, -37, 37, 110, 110, 37, -37, -110};
    EXPECT_EQ(RollShadeTable(8), eight);
    EXPECT_EQ(RollShadeTable(1), std::vector<int8_t>{110});
    EXPECT_EQ(RollShadeTable(2), (std::vector<int8_t>{-110, 110}));
    EXPECT_EQ(RollShadeTable(5), (std::vector<int8_t>{-110, 0, 110, 0, -110}));
    std::vector<int8_t> sixty = RollShadeTable(60);
    ASSERT_EQ(sixty.size(), 60u);
    EXPECT_EQ(sixty[0], -110);
    EXPECT_EQ(sixty[1], -102);
    EXPECT_EQ(sixty[2], -95);
    EXPECT_EQ(sixty[29], 110);
    EXPECT_EQ(sixty[30], 110);
    EXPECT_EQ(*std::max_element(sixty.begin(), sixty.end()), 110);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(sixty[static_cast<size_t>(i)], sixty[static_cast<size_t>(59 - i)]) << i;
}

TEST_F(RollTest, FlatBandsFoldThePictureBackOverTheRoll) {
    MMXAvailable = false;
    const int W = 24, H = 10, S = 5;
    struct Case {
        TTEEffectDirection dir;
        bool unroll;
        std::function<uint32_t(int k, int v, int x, int y)> model;
    } cases[] = {
        // Unrolling to the right: new picture laid left of the band, the band mirrors it
        // about its leading edge.
        {tedRight, true,
         [&](int k, int v, int x, int y) {
             return x < k - v ? NewColor(x, y) : x < k ? NewColor(2 * k - 1 - x, y) : OldColor(x, y);
         }},
        {tedLeft, true,
         [&](int k, int v, int x, int y) {
             int l = W - k;
             return x >= l + v ? NewColor(x, y) : x >= l ? NewColor(2 * W - 2 * k - x, y) : OldColor(x, y);
         }},
        {tedDown, true,
         [&](int k, int v, int x, int y) {
             return y < k - v ? NewColor(x, y) : y < k ? NewColor(x, 2 * k - 1 - y) : OldColor(x, y);
         }},
        // Rolling the old picture away to the right: the new picture is uncovered behind it.
        {tedRight, false,
         [&](int k, int v, int x, int y) {
             return x < k ? NewColor(x, y) : x < k + v ? OldColor(2 * k - x, y) : OldColor(x, y);
         }},
        {tedLeft, false,
         [&](int k, int v, int x, int y) {
             int l = W - k;
             return x >= l ? NewColor(x, y) : x >= l - v ? OldColor(2 * W - 1 - 2 * k - x, y) : OldColor(x, y);
         }},
        {tedUp, false,
         [&](int k, int v, int x, int y) {
             int t = W - k;  // the vertical cases run over a W x W area
             return y >= t ? NewColor(x, y) : y >= t - v ? OldColor(x, 2 * W - 1 - 2 * k - y) : OldColor(x, y);
         }},
    };
    for (const Case& c : cases) {
        TRollTransition roll(nullptr);
        roll.SetDirection(c.dir);
        roll.Unroll = c.unroll;
        roll.Size = S;
        const int h = c.dir == tedDown || c.dir == tedUp ? W : H;  // a square-ish area for the vertical case
        FrameDriver bench(&roll, W, h);
        const int frames = bench.Init();
        ASSERT_EQ(frames, (c.dir == tedDown || c.dir == tedUp ? h : W) - 1);
        for (int k = 1; k <= frames; ++k) {
            bench.Frame(k);
            int v = c.unroll ? std::min(frames - k + 1, S) : std::min(k, S);
            std::string diff = bench.Compare([&](int x, int y) { return c.model(k, v, x, y); });
            ASSERT_EQ(diff, "") << "direction " << int(c.dir) << " unroll " << c.unroll << " frame " << k;
        }
    }
}

TEST_F(RollTest, WithMMXTheBandIsShadedByTheTable) {
    MMXAvailable = true;
    const int W = 30, H = 6, S = 8;
    auto grey = [](int, int) { return 0x808080u; };
    TRollTransition roll(nullptr);
    roll.SetDirection(tedRight);
    roll.Size = S;
    FrameDriver bench(&roll, W, H, OldColor, grey);
    ASSERT_TRUE(roll.Use3DActive(&bench.device));
    bench.Init();
    bench.Frame(12);  // band (4, 0, 12, H), the full roll width
    std::vector<int8_t> t = RollShadeTable(S);
    for (int c = 0; c < S; ++c) {
        int g = std::clamp(0x80 + t[static_cast<size_t>(c)], 0, 255);
        EXPECT_EQ(At(bench.Screen.get(), 4 + c, 2), static_cast<uint32_t>(g * 0x010101)) << c;
    }
    EXPECT_EQ(At(bench.Screen.get(), 3, 2), 0x808080u);
    EXPECT_EQ(At(bench.Screen.get(), 12, 2), OldColor(12, 2));
    // Near the end the band narrows and the table is rebuilt for its width.
    bench.Frame(27);  // v = min(29 - 27 + 1, 8) = 3: band (24, 0, 27, H)
    t = RollShadeTable(3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(At(bench.Screen.get(), 24 + c, 2),
                  static_cast<uint32_t>(std::clamp(0x80 + t[static_cast<size_t>(c)], 0, 255) * 0x010101));
    // Without MMX, or with an 8-bit display, no shading.
    MMXAvailable = false;
    EXPECT_FALSE(roll.Use3DActive(&bench.device));
    MMXAvailable = true;
    bench.device.Format = cl::pf8bit;
    EXPECT_FALSE(roll.Use3DActive(&bench.device));
}

TEST_F(RollTest, SizeZeroIsAPlainWipe) {
    MMXAvailable = true;
    TRollTransition roll(nullptr);
    roll.SetDirection(tedUp);
    roll.Size = 0;
    FrameDriver bench(&roll, 10, 12);
    ASSERT_EQ(bench.Init(), 11);
    bench.Frame(5);
    EXPECT_EQ(bench.Compare([](int x, int y) { return y >= 7 ? NewColor(x, y) : OldColor(x, y); }), "");
}

TEST_F(RollTest, ReversedRollsAwayAndSettingsKeepTheirDefaults) {
    TRollTransition roll(nullptr);
    EXPECT_TRUE(roll.IsUnrolling());
    roll.Reversed = true;
    EXPECT_FALSE(roll.IsUnrolling());
    EXPECT_EQ(roll.EffectiveDirection(), tedUp);
    cl::TStringList out;
    roll.SaveToStrings(&out, true, "");
    EXPECT_EQ(out.IndexOfName("Size"), -1);
    EXPECT_EQ(out.IndexOfName("Use3D"), -1);
    roll.Size = 20;
    roll.Use3D = false;
    roll.SaveToStrings(&out, true, "");
    EXPECT_EQ(out.Values("Size"), "20");
    EXPECT_EQ(out.Values("Use3D"), "False");
    TRollTransition other(nullptr);
    other.LoadFromStrings(&out, "");
    EXPECT_EQ(other.Size, 20);
    EXPECT_FALSE(other.Use3D);
    EXPECT_EQ(cl::GetPropInfo(TRollTransition::StaticClass(), "Size")->Default, 60);
    EXPECT_EQ(cl::GetPropInfo(TRollTransition::StaticClass(), "Unroll")->Default, 1);
}
