// Gaussian blur, 3x3 presets and the soft shadow against values worked out from the
// kernel's formula and by hand on small bitmaps.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "imaging/processing/ieblur.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

void FillRandomGray(TIEBitmap& b, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) b.SetPixel8(x, y, uint8_t(rng()));
}

std::vector<uint8_t> Gray(TIEBitmap& b) {
    std::vector<uint8_t> v;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) v.push_back(b.GetPixel8(x, y));
    return v;
}

TEST(IEGaussianKernel, WeightsAndHalfWidthAtChosenRadii) {
    struct Case {
        double radius;
        int32_t w100, w101, w102, w103, k;
    };
    // exp(-((i - 100) / R)^2 / 2), normalised to 65536 and rounded.
    const Case cases[] = {{1, 26145, 15858, 3538, 290, 4},
                          {2.5, 10458, 9654, 7594, 5090, 11},
                          {0.1, 65536, 0, 0, 0, 1},
                          {10, 2615, 2601, 2563, 2499, 41}};
    for (const Case& c : cases) {
        TIEGaussianKernel k;
        IEGaussianKernel(k, c.radius);
        EXPECT_EQ(k.Weights[100], c.w100) << c.radius;
        EXPECT_EQ(k.Weights[101], c.w101) << c.radius;
        EXPECT_EQ(k.Weights[99], c.w101) << c.radius;
        EXPECT_EQ(k.Weights[102], c.w102) << c.radius;
        EXPECT_EQ(k.Weights[103], c.w103) << c.radius;
        EXPECT_EQ(k.HalfWidth, c.k) << c.radius;
    }
}

// The line convolution with its ends replicated, worked out one tap at a time.
std::vector<uint8_t> ReferenceLine(const TIEGaussianKernel& k, const std::vector<uint8_t>& s) {
    std::vector<uint8_t> d(s.size());
    const int n = int(s.size());
    for (int c = 0; c < n; ++c) {
        uint32_t acc = 32768;
        for (int t = 100 - k.HalfWidth; t <= 100 + k.HalfWidth; ++t) {
            const int i = c + t - 100;
            acc += uint32_t(k.Weights[t]) * s[i < 0 ? 0 : i >= n ? n - 1 : i];
        }
        d[c] = uint8_t(acc >> 16);
    }
    return d;
}

TEST(IEGaussianKernel, ConvolveLineReplicatesTheEnds) {
    std::mt19937 rng(3);
    for (double radius : {0.7, 1.0, 3.0, 12.0})
        for (int n : {1, 2, 5, 40, 300}) {
            TIEGaussianKernel k;
            IEGaussianKernel(k, radius);
            std::vector<uint8_t> s(n), d(n);
            for (auto& v : s) v = uint8_t(rng());
            IEConvolveLine(k, s.data(), d.data(), n);
            EXPECT_EQ(d, ReferenceLine(k, s)) << radius << " " << n;
        }
    // A step: its far ends keep their values.
    TIEGaussianKernel k;
    IEGaussianKernel(k, 1);
    std::vector<uint8_t> s(20, 0), d(20);
    for (int i = 10; i < 20; ++i) s[i] = 200;
    IEConvolveLine(k, s.data(), d.data(), 20);
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[19], 200);
    EXPECT_GT(d[10], d[9]);
    EXPECT_GT(d[9], 0);
}

class IEGaussianBlurTest : public ImagingTest {};

TEST_F(IEGaussianBlurTest, RectangleAgainstRowsThenColumns) {
    TIEBitmap b(23, 17, ie8g);
    FillRandomGray(b, 5);
    const auto before = Gray(b);
    const int x1 = 3, y1 = 2, x2 = 19, y2 = 12;
    IEGaussianBlurGray(&b, x1, y1, x2, y2, 2.2);
    TIEGaussianKernel k;
    IEGaussianKernel(k, 2.2);
    std::vector<uint8_t> want = before;
    for (int y = y1; y <= y2; ++y) {
        std::vector<uint8_t> line(want.begin() + y * 23 + x1, want.begin() + y * 23 + x2 + 1);
        const auto out = ReferenceLine(k, line);
        std::copy(out.begin(), out.end(), want.begin() + y * 23 + x1);
    }
    for (int x = x1; x <= x2; ++x) {
        std::vector<uint8_t> line;
        for (int y = y1; y <= y2; ++y) line.push_back(want[y * 23 + x]);
        const auto out = ReferenceLine(k, line);
        for (int y = y1; y <= y2; ++y) want[y * 23 + x] = out[y - y1];
    }
    EXPECT_EQ(Gray(b), want);
}

TEST_F(IEGaussianBlurTest, WhatDoesNotChange) {
    TIEBitmap b(12, 9, ie8g);
    FillRandomGray(b, 7);
    const auto before = Gray(b);
    for (double r : {0.0, -1.0, std::nan("")}) {
        IEGaussianBlurGray(&b, 0, 0, 11, 8, r);
        EXPECT_EQ(Gray(b), before) << r;
    }
    IEGaussianBlurGray(&b, 0, 0, 11, 8, 0.05);  // half-width 1 with zero side weights
    EXPECT_EQ(Gray(b), before);
    TIEBitmap u(30, 30, ie8g);
    u.Fill(173);
    IEGaussianBlurGray(&u, -5, -5, 100, 100, 6);
    EXPECT_EQ(Gray(u), std::vector<uint8_t>(900, 173));
    TIEBitmap c(8, 8, ie24RGB);
    c.Fill(0x123456);
    c.SetPixel24(3, 3, CreateRGB(255, 255, 255));
    IEGaussianBlurGray(&c, 0, 0, 7, 7, 2);
    EXPECT_EQ(c.GetPixel24(3, 3), CreateRGB(255, 255, 255));
}

class IEConvolve3x3Test : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        IEBuildFilterPresets();
    }
    void TearDown() override {
        IEFreeFilterPresets();
        ImagingTest::TearDown();
    }
};

TEST_F(IEConvolve3x3Test, PresetTable) {
    const char* names[] = {"None",        "Blur",        "Edges",      "Emboss",    "High Pass 1",
                           "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};
    ASSERT_EQ(IEFilterPresets.size(), 9u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(IEFilterPresetNames[i], names[i]);
    EXPECT_EQ(IEFilterPresets[7].Divisor, 10);
    EXPECT_EQ(IEFilterPresets[8].Weights[4], 4);
    EXPECT_EQ(IEFilterPresets[3].Weights[3], -1);
}

TEST_F(IEConvolve3x3Test, PresetsOnAPicture) {
    // 3 x 3 picture 10 20 30 / 40 50 60 / 70 80 90; outside neighbours repeat the edge.
    struct Case {
        int preset;
        int x, y;
        int expected;
    };
    // clang-format off
    const Case cases[] = {
        {0, 0, 0, 10}, {0, 2, 2, 90},
        {1, 1, 1, 50},   // 450 / 9
        {1, 0, 0, 23},   // 10 10 20 / 10 10 20 / 40 40 50: 210 / 9
        {2, 1, 1, 0},    // 400 - 8 x 50
        {2, 0, 0, 120},  // 200 - 8 x 10
        {3, 1, 1, 110},  // -10 + 30 - 40 + 50 + 60 - 70 + 90
        {5, 0, 0, 110},  // |9 x 10 - 200|
        {8, 2, 2, 80},   // 50 + 120 + 60 + 160 + 360 + 180 + 80 + 180 + 90 = 1280, / 16
    };
    // clang-format on
    for (const Case& c : cases) {
        TIEBitmap b(3, 3, ie8g);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) b.SetPixel8(x, y, uint8_t(10 + 10 * x + 30 * y));
        IEConvolve3x3Gray(&b, IEFilterPresets[c.preset], 0, 0, 3, 3);
        EXPECT_EQ(b.GetPixel8(c.x, c.y), c.expected) << "preset " << c.preset << " at " << c.x << "," << c.y;
    }
    // Edges on a uniform area gives 0; a large High Pass overshoot stops at 255.
    TIEBitmap u(5, 5, ie8g);
    u.Fill(77);
    IEConvolve3x3Gray(&u, IEFilterPresets[2], 0, 0, 5, 5);
    EXPECT_EQ(Gray(u), std::vector<uint8_t>(25, 0));
    TIEBitmap p(3, 3, ie8g);
    p.Fill(0);
    p.SetPixel8(1, 1, 200);
    IEConvolve3x3Gray(&p, IEFilterPresets[5], 0, 0, 3, 3);
    EXPECT_EQ(p.GetPixel8(1, 1), 255);
    EXPECT_EQ(p.GetPixel8(0, 0), 200);
}

TEST_F(IEConvolve3x3Test, RectangleEndsAreExclusive) {
    TIEBitmap b(6, 5, ie8g);
    FillRandomGray(b, 2);
    const auto before = Gray(b);
    IEConvolve3x3Gray(&b, IEFilterPresets[2], 1, 1, 4, 3);  // columns 1..3, rows 1..2
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x <= 3 && y >= 1 && y <= 2;
            if (!inside) {
                EXPECT_EQ(b.GetPixel8(x, y), before[y * 6 + x]) << x << "," << y;
            }
        }
    // Neighbours are read from the picture as it was, not from already written results.
    TIEBitmap c(4, 1, ie8g);
    for (int x = 0; x < 4; ++x) c.SetPixel8(x, 0, uint8_t(x * 60));
    IEConvolve3x3Gray(&c, IEFilterPresets[1], 0, 0, 4, 1);
    EXPECT_EQ(c.GetPixel8(1, 0), (0 + 60 + 120) * 3 / 9);
    EXPECT_EQ(c.GetPixel8(2, 0), (60 + 120 + 180) * 3 / 9);
}

class IESoftShadowTest : public ImagingTest {};

TEST_F(IESoftShadowTest, MarginFromOffsetsAndRadius) {
    struct Case {
        int ox, oy;
        double r;
        int margin;
    };
    const Case cases[] = {{4, -6, 3, 27}, {0, 0, 0, 10}, {0, 0, 0.1, 1}, {-2, 1, 1.5, 11}};
    for (const Case& c : cases) {
        TIEBitmap b(40, 40, ie24RGB);
        EXPECT_EQ(IEAddSoftShadow(&b, c.ox, c.oy, c.r, 50, CreateRGB(0, 0, 0), 10, 10, 20, 20), c.margin);
    }
}

TEST_F(IESoftShadowTest, ShadowUnderAnOpaqueSquare) {
    for (int intensity : {100, 0, 50, 140}) {
        TIEBitmap b(30, 30, ie24RGB);
        b.Fill(0xFFFFFF);
        TIEBitmap* a = b.GetAlphaChannel();
        a->Fill(0);
        for (int y = 10; y <= 15; ++y)
            for (int x = 10; x <= 15; ++x) a->SetPixel8(x, y, 255);
        const TRGB shadow = CreateRGB(10, 20, 30);
        EXPECT_EQ(IEAddSoftShadow(&b, 3, 2, 2, intensity, shadow, 10, 10, 15, 15), 16);
        // The blur over the box grown by half the margin (2 x 3 + 10 = 16), moved by (3, 2).
        TIEBitmap ref;
        {
            TIEBitmap start(30, 30, ie8g);
            start.Fill(0);
            for (int y = 10; y <= 15; ++y)
                for (int x = 10; x <= 15; ++x) start.SetPixel8(x, y, 255);
            IEGaussianBlurGray(&start, 2, 2, 23, 23, 2);
            start.MoveRegion(2, 2, 23, 23, 5, 4, 0, true);
            ref.Assign(&start);
        }
        const double f = 3 - std::clamp(intensity, 0, 100) / 100.0 * 2;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 30; ++x) {
                const bool object = x >= 10 && x <= 15 && y >= 10 && y <= 15;
                const uint8_t s = ref.GetPixel8(x, y);
                if (object) {
                    ASSERT_EQ(b.GetAlpha(x, y), 255);
                    ASSERT_EQ(b.GetPixel24(x, y), CreateRGB(255, 255, 255));
                } else if (s != 0) {
                    ASSERT_EQ(b.GetPixel24(x, y), shadow) << x << "," << y;
                    ASSERT_EQ(b.GetAlpha(x, y), f == 1 ? s : uint8_t(std::trunc(s / f))) << x << "," << y;
                } else {
                    ASSERT_EQ(b.GetAlpha(x, y), 0);
                    ASSERT_EQ(b.GetPixel24(x, y), CreateRGB(255, 255, 255));
                }
            }
        EXPECT_FALSE(b.GetAlphaChannel()->Full);
    }
}

TEST_F(IESoftShadowTest, HalfTransparentPixelIsLaidOverTheShadow) {
    TIEBitmap b(9, 9, ie24RGB);
    b.Fill(0);
    b.SetPixel24(4, 4, CreateRGB(200, 100, 0));
    TIEBitmap* a = b.GetAlphaChannel();
    a->Fill(0);
    a->SetPixel8(4, 4, 102);  // r = 0.4
    IEBuildFilterPresets();
    IEAddSoftShadow(&b, 0, 0, 0, 100, CreateRGB(255, 255, 255), 4, 4, 4, 4);  // 3x3 "Blur"
    IEFreeFilterPresets();
    const double n = (102 / 9) / 255.0, r = 102 / 255.0;  // the blurred alpha under the pixel is 11
    auto ch = [&](int p, int c) { return uint8_t(std::trunc(r * p + (1 - r) * std::trunc(n * c + (1 - n) * p))); };
    EXPECT_EQ(b.GetPixel24(4, 4), CreateRGB(ch(200, 255), ch(100, 255), ch(0, 255)));
    EXPECT_EQ(b.GetAlpha(4, 4), uint8_t(std::trunc((r + n * (1 - r)) * 255)));
    EXPECT_EQ(b.GetAlpha(3, 3), 11);  // shadow proper, intensity 100
    EXPECT_EQ(b.GetPixel24(3, 3), CreateRGB(255, 255, 255));
}

TEST_F(IESoftShadowTest, OneBitAndOtherFormats) {
    TIEBitmap m(16, 4, ie1g);
    m.Fill(1);
    m.GetAlphaChannel()->Fill(0);
    m.GetAlphaChannel()->SetPixel8(8, 1, 255);
    IEBuildFilterPresets();
    IEAddSoftShadow(&m, 0, 0, 0, 100, CreateRGB(255, 255, 255), 8, 1, 8, 1);
    EXPECT_EQ(m.GetPixelRGB(9, 1).r, 0);  // shadow: black
    EXPECT_EQ(m.GetAlpha(9, 1), 255 / 9);
    EXPECT_EQ(m.GetPixelRGB(8, 1).r, 255);
    EXPECT_EQ(m.GetPixelRGB(15, 3).r, 255);
    TIEBitmap g(8, 8, ie8g);
    g.Fill(100);
    g.GetAlphaChannel()->Fill(0);
    g.GetAlphaChannel()->SetPixel8(4, 4, 255);
    IEAddSoftShadow(&g, 0, 0, 0, 100, CreateRGB(0, 0, 0), 4, 4, 4, 4);
    IEFreeFilterPresets();
    EXPECT_EQ(g.GetAlpha(4, 4), 255 / 9);  // the alpha work only: the object's alpha is blurred too
    EXPECT_EQ(g.GetPixel8(3, 3), 100);
}

}  // namespace
}  // namespace ie
