// Blend operations: values worked out by hand from each rule, the edge cases of the
// rules (capped sums, divisions by zero avoided), the channel-only and row rules, and the
// HSL and anaglyph rules on whole pixels.
#include <gtest/gtest.h>

#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_blend.h"
#include "imaging/core/hyieutils_startup.h"

namespace ie {
namespace {

class BlendTest : public ::testing::Test {
protected:
    void SetUp() override { IELibraryStaticInit(); }
    void TearDown() override { IELibraryStaticFinal(); }
};

struct ChannelCase {
    TIEBlendOperation op;
    int s, d, want;
};

// Grey pixels: every channel follows the same rule.
const ChannelCase kChannelCases[] = {
    {boCopy, 17, 200, 17},
    {boAdd, 200, 100, 255},
    {boAdd, 20, 30, 50},
    {boDifference, 50, 200, 150},
    {boDivide, 0, 200, 200},  // divides by 1
    {boDivide, 3, 200, 66},
    {boMultiply, 255, 255, 254},
    {boMultiply, 128, 128, 64},
    {boOr, 0x0F, 0x30, 0x3F},
    {boAnd, 0x0F, 0x3C, 0x0C},
    {boXor, 0xFF, 0x0F, 0xF0},
    {boLighten, 10, 20, 20},
    {boDarken, 10, 20, 10},
    {boAverage, 100, 51, 75},
    {boScreen, 0, 0, 0},
    {boScreen, 255, 77, 255},
    {boScreen, 128, 128, 192},
    {boNegation, 200, 200, 110},
    {boNegation, 100, 100, 200},
    {boExclusion, 255, 255, 2},
    {boExclusion, 0, 99, 99},
    {boOverlay, 100, 200, 189},
    {boOverlay, 100, 100, 78},
    {boHardLight, 200, 100, 189},
    {boHardLight, 100, 100, 78},
    {boSoftLight, 255, 0, 0},
    {boSoftLight, 0, 255, 255},
    {boSoftLight, 255, 64, 127},
    {boSoftLightMix, 255, 255, 254},
    {boSoftLightMix, 0, 0, 0},
    {boColorDodge, 255, 3, 255},
    {boColorDodge, 254, 1, 255},  // 256 capped
    {boColorDodge, 128, 64, 129},
    {boColorBurn, 0, 77, 0},
    {boColorBurn, 128, 64, 0},
    {boColorBurn, 200, 200, 185},
    {boInverseColorDodge, 3, 255, 255},
    {boInverseColorDodge, 64, 128, 129},
    {boInverseColorBurn, 77, 0, 0},
    {boInverseColorBurn, 200, 200, 185},
    {boSoftDodge, 100, 100, 82},
    {boSoftDodge, 255, 0, 255},
    {boSoftDodge, 200, 200, 220},
    {boSoftBurn, 100, 100, 82},
    {boSoftBurn, 0, 255, 255},
    {boSoftBurn, 200, 100, 156},
    {boReflect, 255, 9, 255},
    {boReflect, 128, 100, 78},
    {boGlow, 9, 255, 255},
    {boGlow, 100, 128, 78},
    {boFreeze, 0, 50, 0},
    {boFreeze, 100, 100, 15},
    {boHeat, 50, 0, 0},
    {boHeat, 100, 100, 15},
    {boSumMinus256, 200, 100, 44},
    {boSumMinus256, 100, 100, 0},
    {boCosineSum, 255, 255, 255},  // 128 + 128 capped
    {boCosineSum, 0, 0, 0},
    {boCosineSum, 255, 0, 128},
    {boStamp, 200, 100, 244},
    {boStamp, 10, 10, 0},
    {boStamp, 200, 200, 255},
};

TEST_F(BlendTest, ChannelRules) {
    for (const auto& c : kChannelCases) {
        const auto s = static_cast<uint8_t>(c.s), d = static_cast<uint8_t>(c.d);
        TRGB src{s, s, s}, dst{d, d, d};
        IEBlendPixel(&src, &dst, c.op, 0);
        const auto w = static_cast<uint8_t>(c.want);
        EXPECT_EQ(dst, (TRGB{w, w, w})) << "operation " << int(c.op) << " s " << c.s << " d " << c.d;
    }
}

TEST_F(BlendTest, EveryChannelMeetsItsOwnCounterpart) {
    // red: a = 1, b = 64/255; green: a = 0, b = 1; blue: a = 1, b = 0
    const TRGB src = CreateRGB(255, 0, 255);
    TRGB dst = CreateRGB(64, 255, 0);
    IEBlendPixel(&src, &dst, boSoftLight, 0);
    EXPECT_EQ(dst, CreateRGB(127, 255, 0));
}

struct PixelCase {
    const char* name;
    TIEBlendOperation op;
    TRGB s, d;
    int32_t row;
    TRGB want;
};

// clang-format off
const PixelCase kPixelCases[] = {
    {"red only", boRed, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0, CreateRGB(1, 20, 30)},
    {"green only", boGreen, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0, CreateRGB(10, 2, 30)},
    {"blue only", boBlue, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0, CreateRGB(10, 20, 3)},
    {"hue of a grey keeps it grey", boHue, CreateRGB(255, 0, 0), CreateRGB(128, 128, 128), 0,
     CreateRGB(128, 128, 128)},
    {"colour takes hue and saturation", boColor, CreateRGB(255, 0, 0), CreateRGB(128, 128, 128), 0,
     CreateRGB(255, 1, 1)},
    {"hue and lightness of the source", boHueLightness, CreateRGB(255, 0, 0), CreateRGB(128, 128, 128), 0,
     CreateRGB(128, 128, 128)},
    {"saturation of a grey source", boSaturation, CreateRGB(90, 90, 90), CreateRGB(255, 0, 0), 0,
     CreateRGB(128, 128, 128)},
    {"anaglyph grey", boAnaglyphGray, CreateRGB(0, 255, 0), CreateRGB(255, 0, 0), 0, CreateRGB(53, 181, 181)},
    {"anaglyph colour", boAnaglyphColor, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0, CreateRGB(10, 2, 3)},
    {"anaglyph matrix limits", boAnaglyphMatrix, CreateRGB(0, 0, 0), CreateRGB(255, 255, 255), 0,
     CreateRGB(255, 0, 0)},
    // red 0.4561 x 100 = 45.61, green -4.00822, blue -1.52161
    {"anaglyph matrix from the old destination", boAnaglyphMatrix, CreateRGB(0, 0, 0), CreateRGB(100, 0, 0), 0,
     CreateRGB(46, 0, 0)},
    // green 0.73364 x 200 = 146.7, red -0.0879388 x 200 = -17.6, blue -0.112961 x 200 = -22.6
    {"anaglyph matrix from the source", boAnaglyphMatrix, CreateRGB(0, 200, 0), CreateRGB(0, 0, 0), 0,
     CreateRGB(0, 147, 0)},
    {"even rows copy on row 0", boEvenRows, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0, CreateRGB(1, 2, 3)},
    {"even rows leave row 1", boEvenRows, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 1, CreateRGB(10, 20, 30)},
    {"odd rows copy on row 3", boOddRows, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 3, CreateRGB(1, 2, 3)},
    {"odd rows leave row 4", boOddRows, CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 4, CreateRGB(10, 20, 30)},
    {"43 is no operation", static_cast<TIEBlendOperation>(43), CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0,
     CreateRGB(10, 20, 30)},
    {"255 is no operation", static_cast<TIEBlendOperation>(255), CreateRGB(1, 2, 3), CreateRGB(10, 20, 30), 0,
     CreateRGB(10, 20, 30)},
};
// clang-format on

TEST_F(BlendTest, PixelRules) {
    for (const auto& c : kPixelCases) {
        TRGB d = c.d;
        IEBlendPixel(&c.s, &d, c.op, c.row);
        EXPECT_EQ(d, c.want) << c.name;
    }
}

TEST_F(BlendTest, SourceAndDestinationMayBeOnePixel) {
    TRGB p = CreateRGB(200, 100, 50);
    IEBlendPixel(&p, &p, boAdd, 0);
    EXPECT_EQ(p, CreateRGB(255, 200, 100));
}

TEST_F(BlendTest, EveryRuleStaysInAByteForEveryPair) {
    // Rules whose formulas could leave 0..255 are limited: a wrapped byte would show up as
    // a result on the wrong side of both inputs for the monotone rules below.
    for (int op = 0; op <= boStamp; ++op)
        for (int s = 0; s < 256; s += 5)
            for (int d = 0; d < 256; d += 5) {
                TRGB src{static_cast<uint8_t>(s), static_cast<uint8_t>(s), static_cast<uint8_t>(s)};
                TRGB dst{static_cast<uint8_t>(d), static_cast<uint8_t>(d), static_cast<uint8_t>(d)};
                IEBlendPixel(&src, &dst, static_cast<TIEBlendOperation>(op), 0);
                ASSERT_EQ(dst.r, dst.g);
                ASSERT_EQ(dst.g, dst.b);
                if (op == boAdd || op == boLighten || op == boScreen) {
                    ASSERT_GE(dst.r, std::max(s, d)) << op;
                }
                if (op == boDarken || op == boMultiply) {
                    ASSERT_LE(dst.r, std::min(s, d)) << op;
                }
            }
}

}  // namespace
}  // namespace ie
