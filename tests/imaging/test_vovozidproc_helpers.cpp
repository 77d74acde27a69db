// The processing helpers the core stands on: rounding and clamping, HSL, bit runs, the
// black-and-white threshold with its average and entropy thresholds, and the CMYK
// formulas.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/core/vovozidproc_bw.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

TEST(ProcessingNumbers, CeilFloorAndClamp) {
    EXPECT_EQ(IECeil(2.0), 2);
    EXPECT_EQ(IECeil(2.1), 3);
    EXPECT_EQ(IECeil(-2.1), -2);
    EXPECT_EQ(IEFloor(-2.1), -3);
    EXPECT_EQ(IEFloor(2.9), 2);
    EXPECT_EQ(IEClamp(5, 10, 3), 10);
    EXPECT_EQ(IEClamp(20, 0, 10), 10);
    EXPECT_EQ(IEClampByte(-4), 0);
    EXPECT_EQ(IEClampByte(300), 255);
    int32_t x1 = 9, y1 = 1, x2 = 2, y2 = 8;
    IEOrderCorners(x1, y1, x2, y2);
    EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2}), (std::vector<int32_t>{2, 1, 9, 8}));
}

TEST(ProcessingColours, HslOfPrimariesAndGreysAndBack) {
    double h, s, l;
    IERGBToHSL(h, s, l, CreateRGB(255, 0, 0));
    EXPECT_DOUBLE_EQ(h, 0);
    EXPECT_DOUBLE_EQ(s, 1);
    EXPECT_DOUBLE_EQ(l, 0.5);
    IERGBToHSL(h, s, l, CreateRGB(90, 90, 90));
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 0);
    IERGBToHSL(h, s, l, CreateRGB(0, 0, 255));
    EXPECT_DOUBLE_EQ(h, 4.0 / 6);
    TRGB c;
    IEHSLToRGB(c, 0, 1, 0.5);
    EXPECT_EQ(c, CreateRGB(255, 0, 0));
    IEHSLToRGB(c, 1.5, 1, 0.5);  // wrapped to 0.5
    EXPECT_EQ(c, CreateRGB(0, 255, 255));
    IEHSLToRGB(c, -0.5, 1, 0.5);
    EXPECT_EQ(c, CreateRGB(0, 255, 255));
    IEHSLToRGB(c, 0.2, 3, 2);  // saturation and lightness limited
    EXPECT_EQ(c, CreateRGB(255, 255, 255));
    std::mt19937 rnd(3);
    for (int i = 0; i < 2000; ++i) {
        const TRGB in = CreateRGB(uint8_t(rnd()), uint8_t(rnd()), uint8_t(rnd()));
        IERGBToHSL(h, s, l, in);
        IEHSLToRGB(c, h, s, l);
        ASSERT_EQ(c, in) << int(in.r) << "," << int(in.g) << "," << int(in.b);
    }
    EXPECT_EQ(IEColorToRGB(cl::clRed), CreateRGB(255, 0, 0));
    EXPECT_EQ(IERGBToColor(CreateRGB(1, 2, 3)), 0x030201);
}

// Bit runs against copying one bit at a time.
TEST(ProcessingBits, CopyBitsKeepsEveryOtherDestinationBit) {
    uint8_t src = 0xFF, dst = 0x00;
    IECopyBits(&dst, &src, 1, 1, 5, 3);
    EXPECT_EQ(dst, 0x7C);
    std::mt19937 rnd(11);
    for (int k = 0; k < 3000; ++k) {
        uint8_t s[12], d[12], want[12];
        for (auto& b : s) b = uint8_t(rnd());
        for (int i = 0; i < 12; ++i) d[i] = want[i] = uint8_t(rnd());
        const int sourceSize = static_cast<int>(rnd() % 13);
        const int srcPos = static_cast<int>(rnd() % 40), dstPos = static_cast<int>(rnd() % 40);
        const int count = static_cast<int>(rnd() % 50);
        for (int i = 0; i < count; ++i) {
            const int sp = srcPos + i;
            const bool bit = sp / 8 < sourceSize && (s[sp / 8] & (128 >> (sp % 8)));
            IESetBit(want, dstPos + i, bit);
        }
        IECopyBits(d, s, dstPos, sourceSize, count, srcPos);
        ASSERT_EQ(std::memcmp(d, want, 12), 0) << srcPos << "->" << dstPos << " x" << count << " of " << sourceSize;
    }
    uint8_t d = 0x5A;
    IECopyBits(&d, &src, -1, 1, 3, 0);
    IECopyBits(&d, &src, 0, 1, 0, 0);
    EXPECT_EQ(d, 0x5A);
}

TEST(ProcessingColours, RecordsClosestEntryAndARGB) {
    EXPECT_EQ(IECreateRGB(1, 2, 3), (TRGB{3, 2, 1}));
    EXPECT_EQ(IECreateCMYK(1, 2, 3, 4), (TCMYK{1, 2, 3, 4}));
    EXPECT_EQ(IEColorToARGB(cl::clRed, 0x80), 0x80FF0000u);
    EXPECT_EQ(IEColorToARGB(static_cast<cl::TColor>(0x00332211), 0xFF), 0xFF112233u);
    const TRGB pal[] = {CreateRGB(0, 0, 0), CreateRGB(10, 10, 10), CreateRGB(20, 0, 0), CreateRGB(0, 20, 0)};
    struct Case {
        const TRGB* palette;
        TRGB colour;
        int32_t count;
        int32_t index;
    };
    // clang-format off
    const Case cases[] = {
        {pal, CreateRGB(9, 11, 10), 4, 1},                        // nearest
        {pal + 2, CreateRGB(10, 10, 0), 2, 0},                    // 20 to both: the first
        {pal, CreateRGB(200, 0, 0), 4, 2},                        //
        {pal, CreateRGB(200, 0, 0), 2, 0},                        // only the first Count entries
        {pal, CreateRGB(9, 9, 9), 0, 0},                          // no entries
        {pal, CreateRGB(255, 255, 255), 4, 1},                    // 735 to entry 1
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(IEFindClosestColor(c.palette, c.count, c.colour), c.index) << c.count;
    int32_t a = 1, b = 2;
    IESwapInt(a, b);
    uint8_t x = 3, y = 4;
    IESwapByte(x, y);
    EXPECT_EQ((std::vector<int>{a, b, x, y}), (std::vector<int>{2, 1, 4, 3}));
}

TEST(ProcessingBits, OneByOneGivesTheSameBitsAndInvertFlipsBytes) {
    std::mt19937 rnd(17);
    for (int k = 0; k < 2000; ++k) {
        uint8_t s[10], a[12], b[12];
        for (auto& v : s) v = uint8_t(rnd());
        for (int i = 0; i < 12; ++i) a[i] = b[i] = uint8_t(rnd());
        const int srcPos = static_cast<int>(rnd() % 30), dstPos = static_cast<int>(rnd() % 40);
        const int count = static_cast<int>(rnd() % 50);
        IECopyBits(a, s, dstPos, 10, count, srcPos);
        IECopyBitsOneByOne(b, s, dstPos, 10, count, srcPos);
        ASSERT_EQ(std::memcmp(a, b, 12), 0) << srcPos << "->" << dstPos << " x" << count;
    }
    uint8_t bytes[3] = {0x00, 0xF0, 0x5A};
    IEInvertBytes(bytes, 2);
    EXPECT_EQ((std::vector<int>{bytes[0], bytes[1], bytes[2]}), (std::vector<int>{0xFF, 0x0F, 0x5A}));
    IEInvertBytes(bytes, 0);
    IEInvertBytes(bytes, -3);
    EXPECT_EQ(bytes[0], 0xFF);
}

TEST(ProcessingColours, CMYKFormulas) {
    const test::CMYKSwitch formulas(false);
    EXPECT_EQ(IERGBToCMYK(0x000000u), (TCMYK{0, 0, 0, 1}));
    EXPECT_EQ(IERGBToCMYK(0xFFFFFFu), (TCMYK{255, 255, 255, 255}));
    EXPECT_EQ(IERGBToCMYK(0xFF0000u), (TCMYK{255, 0, 0, 255}));
    EXPECT_EQ(IERGBToCMYK(0x804020u), (TCMYK{255, 127, 63, 128}));
    EXPECT_EQ(IECMYKToRGB(TCMYK{255, 255, 255, 255}), CreateRGB(255, 255, 255));
    EXPECT_EQ(IECMYKToRGB(TCMYK{0, 0, 0, 255}), CreateRGB(0, 0, 0));
    EXPECT_EQ(IECMYKToRGB(TCMYK{255, 255, 255, 0}), CreateRGB(0, 0, 0));
    EXPECT_EQ(IECMYKToRGB(TCMYK{255, 127, 63, 128}), CreateRGB(128, 63, 31));
}

// ---------------------------------------------------------------------------------------
// Black and white by threshold

class Threshold : public ImagingTest {};

// A one-row picture of the grey levels given; the white pixels after the threshold.
std::vector<int> WhiteAfter(const std::vector<int>& levels, int32_t threshold, TIEPixelFormat format = ie8g) {
    TIEBitmap src(static_cast<int32_t>(levels.size()), 1, format);
    for (size_t x = 0; x < levels.size(); ++x) {
        const auto v = static_cast<uint8_t>(levels[x]);
        if (format == ie8g)
            src.SetPixel8(static_cast<int32_t>(x), 0, v);
        else
            src.SetPixel24(static_cast<int32_t>(x), 0, CreateRGB(v, v, v));
    }
    TIEBitmap dst(src.GetWidth(), 1, ie1g);
    EXPECT_TRUE(IEThresholdToBW(&src, &dst, threshold));
    std::vector<int> out;
    for (size_t x = 0; x < levels.size(); ++x) out.push_back(IEGetBit(dst.GetScanline(0), static_cast<int64_t>(x)));
    return out;
}

TEST_F(Threshold, FixedAverageAndEntropyThresholds) {
    EXPECT_EQ(WhiteAfter({127, 128, 0, 255}, 128), (std::vector<int>{0, 1, 0, 1}));
    // Average grey 720 / 6 = 120.
    EXPECT_EQ(WhiteAfter({10, 20, 200, 250, 121, 119}, -1), (std::vector<int>{0, 0, 1, 1, 1, 0}));
    EXPECT_EQ(WhiteAfter({10, 20, 200, 250}, -1, ie24RGB), (std::vector<int>{0, 0, 1, 1}));
    // One colour: no threshold is found and every pixel is white.
    EXPECT_EQ(WhiteAfter({33, 33, 33}, -2), (std::vector<int>{1, 1, 1}));
    // Eight levels: the largest entropy sum is at 41 (worked out from the histogram).
    EXPECT_EQ(WhiteAfter({10, 20, 30, 40, 100, 150, 200, 250}, -2), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1}));
}

TEST_F(Threshold, AverageIsTakenPerRow) {
    // Row sums divided by the width, summed, divided by the height: (2 div 3 + 255) div 2.
    TIEBitmap src(3, 2, ie8g);
    src.Fill(0);
    src.SetPixel8(0, 0, 2);
    for (int x = 0; x < 3; ++x) src.SetPixel8(x, 1, 255);
    int32_t r, g, b;
    IEAverageColor(&src, r, g, b);
    EXPECT_EQ(r, 127);
    EXPECT_EQ(g, 127);
    EXPECT_EQ(b, 127);
}

TEST_F(Threshold, OneBitSourcesAreCopiedAndWrongTargetsRefused) {
    TIEBitmap src(9, 2, ie1g);
    static_cast<uint8_t*>(src.GetScanline(1))[1] = 0x80;
    TIEBitmap dst(9, 2, ie1g);
    ASSERT_TRUE(IEThresholdToBW(&src, &dst, 128));
    EXPECT_TRUE(IEGetBit(dst.GetScanline(1), 8));
    TIEBitmap grey(9, 2, ie8g), small(8, 2, ie1g);
    EXPECT_FALSE(IEThresholdToBW(&src, &grey, 128));
    EXPECT_FALSE(IEThresholdToBW(&src, &small, 128));
}

}  // namespace
}  // namespace ie
