// The palette quantizer: how it chooses its palette (the image's own palette, a grey
// ramp, the exact colours, box splitting or the neural net), what it answers for a colour,
// and the two engines' own rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/stdquant.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

// Restores the library-wide quantizer settings.
class Quantizer : public ImagingTest {
protected:
    void TearDown() override {
        IEQuantizerAlgorithm = -1;
        IEQuantizerQuality = -1;
        ImagingTest::TearDown();
    }
};

// A 24-bit image of Count distinct colours (then repeated), row by row.
void DistinctColours(TIEBitmap& b, int count, unsigned seed = 1) {
    std::mt19937 rnd(seed);
    std::vector<TRGB> colours;
    while (static_cast<int>(colours.size()) < count) {
        const TRGB c = CreateRGB(uint8_t(rnd()), uint8_t(rnd()), uint8_t(rnd()));
        if (c.r == c.g && c.g == c.b) continue;
        bool seen = false;
        for (const TRGB& o : colours) seen = seen || o == c;
        if (!seen) colours.push_back(c);
    }
    int i = 0;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) b.SetPixel24(x, y, colours[static_cast<size_t>(i++ % count)]);
}

TEST_F(Quantizer, ExactColoursInOrderOfFirstAppearanceUpToTheCountAsked) {
    TIEBitmap b(16, 16, ie24RGB);
    DistinctColours(b, 40);
    TRGB palette[256];
    for (TRGB& p : palette) p = CreateRGB(1, 2, 3);
    {
        TIEQuantizer q(&b, palette, 40);
        ASSERT_TRUE(q.HasExactColors());
        EXPECT_FALSE(q.HasEngine());
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(palette[i], b.GetPixel24(i % 16, i / 16)) << i;
            EXPECT_EQ(q.RGBIndex(palette[i]), i);
        }
        EXPECT_EQ(palette[40], CreateRGB(1, 2, 3));  // beyond the colours found: the caller's
        EXPECT_EQ(q.RGBIndex(CreateRGB(1, 2, 3)), -1);
    }
    // One colour more than asked: the engine the setting chooses (box splitting below 128).
    TIEQuantizer fewer(&b, palette, 39);
    EXPECT_FALSE(fewer.HasExactColors());
    ASSERT_TRUE(fewer.HasEngine());
    EXPECT_EQ(fewer.Algorithm, 1);
}

TEST_F(Quantizer, ThreeColoursLeaveTheRestOfThePaletteAsItWas) {
    TIEBitmap b(3, 1, ie24RGB);
    b.SetPixel24(0, 0, CreateRGB(10, 20, 30));
    b.SetPixel24(1, 0, CreateRGB(40, 50, 60));
    b.SetPixel24(2, 0, CreateRGB(10, 20, 30));
    TRGB palette[16];
    for (TRGB& p : palette) p = CreateRGB(7, 7, 7);
    TIEQuantizer q(&b, palette, 16);
    EXPECT_EQ(palette[0], CreateRGB(10, 20, 30));
    EXPECT_EQ(palette[1], CreateRGB(40, 50, 60));
    for (int i = 2; i < 16; ++i) EXPECT_EQ(palette[i], CreateRGB(7, 7, 7)) << i;
}

TEST_F(Quantizer, GreyImagesGetTheEvenRamp) {
    TIEBitmap grey(4, 4, ie24RGB);
    grey.Fill(0x808080);
    TRGB palette[256] = {};
    TIEQuantizer q(&grey, palette, 16);
    EXPECT_FALSE(q.HasExactColors());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i], CreateRGB(uint8_t(16 * i), uint8_t(16 * i), uint8_t(16 * i)));
    EXPECT_EQ(q.RGBIndex(CreateRGB(200, 200, 200)), 12);
    EXPECT_EQ(q.RGBIndex(CreateRGB(255, 255, 255)), 15);
    const std::pair<int, std::vector<int>> ramps[] = {{3, {0, 85, 170}}, {2, {0, 128}}};
    for (const auto& [count, levels] : ramps) {
        TIEQuantizer r(&grey, palette, count);
        for (size_t i = 0; i < levels.size(); ++i) EXPECT_EQ(palette[i].r, levels[i]) << count;
    }
    TIEBitmap mono(8, 1, ie1g);
    TIEQuantizer m(&mono, palette, 2);
    EXPECT_EQ(palette[0], CreateRGB(0, 0, 0));
    EXPECT_EQ(palette[1], CreateRGB(128, 128, 128));
}

TEST_F(Quantizer, EngineFollowsTheSettingAndTheCountAsked) {
    TIEBitmap b(32, 32, ie24RGB);
    DistinctColours(b, 600);
    TRGB palette[512] = {};
    struct Case {
        int32_t setting, count, algorithm;
    };
    // Box splitting holds 256 boxes at most: larger palettes come from the net even when
    // the setting asks for boxes.
    const Case cases[] = {{-1, 127, 1}, {-1, 128, 0}, {1, 200, 1}, {0, 20, 0},
                          {7, 20, 0},   {1, 256, 1},  {1, 257, 0}, {1, 500, 0}};
    for (const Case& c : cases) {
        IEQuantizerAlgorithm = c.setting;
        TIEQuantizer q(&b, palette, c.count);
        ASSERT_TRUE(q.HasEngine());
        EXPECT_EQ(q.Algorithm, c.algorithm) << c.setting << " " << c.count;
        // Every pixel maps into the part of the palette that was asked for.
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const int32_t i = q.RGBIndex(b.GetPixel24(x, y));
                ASSERT_GE(i, 0);
                ASSERT_LT(i, c.count);
            }
    }
}

TEST_F(Quantizer, OtherFormatsAndPalettes) {
    TRGB palette[8];
    for (TRGB& p : palette) p = CreateRGB(5, 5, 5);
    TIEBitmap wide(2, 1, ieRGB48);
    wide.SetPixel48(0, 0, TRGB48{100, 20000, 3});
    TIEQuantizer q48(&wide, palette, 8);
    EXPECT_EQ(palette[0], CreateRGB(5, 5, 5));
    EXPECT_EQ(q48.RGBIndex(CreateRGB(9, 8, 7)), 0);

    TIEBitmap pal(2, 1, ie8p);
    for (int i = 0; i < 256; ++i) pal.SetPaletteEntry(i, CreateRGB(uint8_t(i), 0, uint8_t(255 - i)));
    TIEQuantizer qp(&pal, palette, 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(palette[i], CreateRGB(uint8_t(i), 0, uint8_t(255 - i)));
    EXPECT_EQ(qp.RGBIndex(CreateRGB(3, 0, 252)), 3);
    EXPECT_EQ(qp.RGBIndex(CreateRGB(3, 1, 252)), 256);  // absent: the palette length
}

// ---------------------------------------------------------------------------------------
// The neural net

TEST_F(Quantizer, NeuralNetSamplingFactor) {
    const std::pair<int64_t, int32_t> byCount[] = {{1999, 1}, {2000, 2}, {150000, 15}, {320800, 30}, {50000000, 30}};
    for (const auto& [n, f] : byCount) EXPECT_EQ(IENeuQuantSampleFactor(n), f) << n;
    TIEBitmap b(100, 100, ie24RGB);
    DistinctColours(b, 300);
    TRGB palette[256];
    const std::pair<int32_t, int32_t> byQuality[] = {{100, 1}, {50, 15}, {0, 30}, {-7, 30}, {250, 1}, {-1, 15}};
    for (const auto& [quality, f] : byQuality) {
        auto state = IENeuQuantCreate(&b, palette, 16, quality);
        EXPECT_EQ(state->SamplingFactor, quality == -1 ? IENeuQuantSampleFactor(10000) : f) << quality;
    }
}

TEST_F(Quantizer, NeuralNetPaletteIsWhatTheLookupsAnswerAndTheyAreNearest) {
    TIEBitmap b(64, 48, ie24RGB);
    std::mt19937 rnd(5);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            b.SetPixel24(x, y, CreateRGB(uint8_t(x * 4), uint8_t(y * 5), uint8_t((x + y + rnd() % 20) & 255)));
    for (int32_t n : {8, 64, 256}) {
        std::vector<TRGB> palette(256);
        auto state = IENeuQuantCreate(&b, palette.data(), n, -1);
        EXPECT_EQ(state->NetSize, n);
        // The lookup of each palette colour gives an entry of exactly that colour, and any
        // colour's answer is as near (sum of channel differences) as the nearest entry.
        for (int32_t i = 0; i < n; ++i)
            EXPECT_EQ(palette[static_cast<size_t>(IENeuQuantIndex(*state, palette[i]))], palette[i]);
        for (int k = 0; k < 500; ++k) {
            const TRGB c = CreateRGB(uint8_t(rnd()), uint8_t(rnd()), uint8_t(rnd()));
            auto dist = [&](const TRGB& p) { return std::abs(p.r - c.r) + std::abs(p.g - c.g) + std::abs(p.b - c.b); };
            int best = 1 << 30;
            for (int32_t i = 0; i < n; ++i) best = std::min(best, dist(palette[static_cast<size_t>(i)]));
            const int32_t got = IENeuQuantIndex(*state, c);
            ASSERT_GE(got, 0);
            ASSERT_LT(got, n);
            ASSERT_EQ(dist(palette[static_cast<size_t>(got)]), best);
        }
    }
}

TEST_F(Quantizer, NeuralNetOnTinyImagesAndAtEveryStepPrime) {
    // Fewer pixels than the step: the position wraps by rows. Byte counts divisible by 499
    // (and 491) take the next prime as step.
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{499, 1}, std::pair{499, 491}}) {
        TIEBitmap b(w, h, ie24RGB);
        DistinctColours(b, std::min(w * h, 50), static_cast<unsigned>(w + h));
        TRGB palette[256];
        auto state = IENeuQuantCreate(&b, palette, 32, 100);
        for (int y = 0; y < h; y += std::max(1, h / 7))
            for (int x = 0; x < w; x += std::max(1, w / 7)) {
                const int32_t i = IENeuQuantIndex(*state, b.GetPixel24(x, y));
                ASSERT_GE(i, 0);
                ASSERT_LT(i, 32);
            }
    }
}

// ---------------------------------------------------------------------------------------
// Box splitting

TEST_F(Quantizer, BoxSplittingOfTwoClustersFindsTheirMeans) {
    TIEBitmap b(10, 10, ie24RGB);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            b.SetPixel24(x, y,
                         x < 5 ? CreateRGB(uint8_t(x), uint8_t(y % 8), 3) : CreateRGB(250, uint8_t(248 + x % 8), 255));
    TRGB palette[4];
    for (TRGB& p : palette) p = CreateRGB(9, 9, 9);
    auto q = IEBoxQuantCreate(&b, palette, 4);
    // The two clusters fall into two cells only: two boxes, the rest of the palette untouched.
    EXPECT_EQ(q->BoxCount, 2);
    EXPECT_EQ(palette[0], CreateRGB(0, 0, 0));
    EXPECT_EQ(palette[1], CreateRGB(248, 248, 248));
    EXPECT_EQ(palette[2], CreateRGB(9, 9, 9));
    EXPECT_EQ(IEBoxQuantIndex(*q, CreateRGB(3, 3, 3)), 0);
    EXPECT_EQ(IEBoxQuantIndex(*q, CreateRGB(255, 255, 255)), 1);
    EXPECT_EQ(IEBoxQuantIndex(*q, CreateRGB(128, 0, 0)), 0);  // in no box
}

TEST_F(Quantizer, BoxSplittingOfOneColourAndOfManyColours) {
    TIEBitmap b(40, 40, ie24RGB);
    DistinctColours(b, 1000);
    TRGB one[1];
    auto single = IEBoxQuantCreate(&b, one, 1);
    EXPECT_EQ(single->BoxCount, 1);
    for (int k = 0; k < 50; ++k) EXPECT_EQ(IEBoxQuantIndex(*single, b.GetPixel24(k, k % 40)), 0);
    // The mean colour, each channel a multiple of 8.
    int64_t r = 0, g = 0, bl = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const TRGB c = b.GetPixel24(x, y);
            r += c.r >> 3;
            g += c.g >> 3;
            bl += c.b >> 3;
        }
    EXPECT_EQ(one[0], CreateRGB(uint8_t(cl::Round(r / 1600.0) << 3), uint8_t(cl::Round(g / 1600.0) << 3),
                                uint8_t(cl::Round(bl / 1600.0) << 3)));
    TRGB palette[256];
    auto many = IEBoxQuantCreate(&b, palette, 64);
    EXPECT_EQ(many->BoxCount, 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(palette[i].r % 8, 0);
        EXPECT_LE(palette[i].r, 248);
    }
    // Every pixel maps to a box that holds it.
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const TRGB c = b.GetPixel24(x, y);
            const TIEQuantBox& box = many->Boxes[static_cast<size_t>(IEBoxQuantIndex(*many, c))];
            const int lv[3] = {c.r >> 3, c.g >> 3, c.b >> 3};
            for (int a = 0; a < 3; ++a) {
                ASSERT_GE(lv[a], box.Lo[a]);
                ASSERT_LT(lv[a], box.Hi[a]);
            }
        }
}

}  // namespace
}  // namespace ie
