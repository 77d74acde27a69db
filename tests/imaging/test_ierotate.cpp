// Rotation: quarter and half turns against ImageMagick's convert -rotate, arbitrary angles
// against the mapping formulas (nearest, interpolated, 1-bit), the shear engine's sizes,
// angle reduction and colours, and the engine chosen for each format and mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/processing/ierotate.h"
#include "imaging_fixture.h"
#include "processing_fixture.h"

namespace ie {
namespace {

using test::FillRandom;
using test::ImagingTest;

bool HaveConvert() { return access("/usr/bin/convert", X_OK) == 0; }

void WritePpm(TIEBitmap& b, const std::string& path) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << b.GetWidth() << " " << b.GetHeight() << "\n255\n";
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) {
            const TRGB c = b.GetPixel24(x, y);
            f.put(char(c.r)).put(char(c.g)).put(char(c.b));
        }
}

// A P6 file as a 24-bit bitmap.
bool ReadPpm(const std::string& path, TIEBitmap& b) {
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    f >> magic >> w >> h >> max;
    f.get();
    if (magic != "P6" || w < 1 || h < 1 || max != 255 || !b.Allocate(w, h, ie24RGB)) return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char rgb[3];
            if (!f.read(rgb, 3)) return false;
            b.SetPixel24(x, y, CreateRGB(uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2])));
        }
    return true;
}

::testing::AssertionResult SamePixels(TIEBitmap& a, TIEBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return ::testing::AssertionFailure()
               << a.GetWidth() << "x" << a.GetHeight() << " against " << b.GetWidth() << "x" << b.GetHeight();
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixelRGB(x, y) != b.GetPixelRGB(x, y))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y;
    return ::testing::AssertionSuccess();
}

class IERotateTest : public ImagingTest {
protected:
    // convert -rotate Degrees (clockwise) of Source.
    void Convert(TIEBitmap& Source, int Degrees, TIEBitmap& Out) {
        const std::string in = folder_ + "/in.ppm", out = folder_ + "/out.ppm";
        WritePpm(Source, in);
        const std::string cmd = "/usr/bin/convert " + in + " -rotate " + std::to_string(Degrees) + " " + out;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        ASSERT_TRUE(ReadPpm(out, Out));
    }
};

TEST(IEIsMultipleOf90, Angles) {
    const std::pair<double, bool> cases[] = {{0, true},     {90, true},           {-90, true}, {450, true},
                                             {-720, true},  {90.5, false},        {45, false}, {89.999, false},
                                             {1e30, false}, {std::nan(""), false}};
    for (auto [a, want] : cases) EXPECT_EQ(IEIsMultipleOf90(a), want) << a;
}

TEST_F(IERotateTest, QuarterAndHalfTurnsMatchConvert) {
    if (!HaveConvert()) GTEST_SKIP() << "/usr/bin/convert is not installed";
    TIEBitmap src(7, 5, ie24RGB);
    FillRandom(src, 1);
    // A positive angle turns counter-clockwise; convert -rotate turns clockwise.
    const std::pair<double, int> angles[] = {{90, 270},  {-90, 90},   {270, 90}, {-270, 270},
                                             {180, 180}, {-180, 180}, {450, 270}};
    for (auto [angle, cw] : angles) {
        TIEBitmap want, into;
        Convert(src, cw, want);
        IERotateBitmapInto(&src, &into, 0, angle, nullptr, nullptr);
        EXPECT_TRUE(SamePixels(into, want)) << "into " << angle;
        // Every engine of the processing component's rotation turns exact quarter turns
        // by copies.
        for (auto [aa, mode] : {std::pair{false, 0}, std::pair{true, 0}, std::pair{true, 1}, std::pair{true, 2}}) {
            TIEBitmap b;
            b.Assign(&src);
            ASSERT_TRUE(IERotateImage(&b, angle, aa, mode, 0, nullptr, nullptr));
            EXPECT_TRUE(SamePixels(b, want)) << angle << " antialias " << aa << " mode " << mode;
        }
    }
    TIEBitmap cw, ccw, want;
    IERotate90CW24(&src, &cw);
    Convert(src, 90, want);
    EXPECT_TRUE(SamePixels(cw, want));
    IERotate90CCW24(&src, &ccw);
    Convert(src, 270, want);
    EXPECT_TRUE(SamePixels(ccw, want));
}

TEST_F(IERotateTest, QuarterTurnsOfEightBitKeepThePalette) {
    TIEBitmap src(3, 2, ie8p), d;
    for (int i = 0; i < 6; ++i) src.SetPixel8(i % 3, i / 3, uint8_t(i));
    src.SetPaletteEntry(5, CreateRGB(9, 8, 7));
    IERotate90CW8(&src, &d);
    ASSERT_EQ(d.GetPixelFormat(), ie8p);
    ASSERT_EQ(std::pair(d.GetWidth(), d.GetHeight()), std::pair(2, 3));
    // Clockwise: Dest row c is Source column c from the bottom up.
    const uint8_t cw[3][2] = {{3, 0}, {4, 1}, {5, 2}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(d.GetPixel8(x, y), cw[y][x]);
    TRGB c;
    d.GetPaletteEntry(5, c);
    EXPECT_EQ(c, CreateRGB(9, 8, 7));
    IERotate90CCW8(&src, &d);
    const uint8_t ccw[3][2] = {{2, 5}, {1, 4}, {0, 3}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(d.GetPixel8(x, y), ccw[y][x]);
}

// Nearest neighbour at an arbitrary angle, worked out from the mapping.
TEST_F(IERotateTest, NearestFollowsTheMapping) {
    for (TIEPixelFormat f : {ie24RGB, ie8g, ie1g, ie16g, ieCMYK}) {
        for (double angle : {30.0, -17.5, 135.0, 200.25}) {
            TIEBitmap src(9, 6, f), d;
            FillRandom(src, uint32_t(angle * 10) + f);
            IERotateBitmapInto(&src, &d, f == ie1g ? 0 : 0x102030, angle, nullptr, nullptr);
            const double t = angle * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
            const int W2 = int(std::nearbyint(std::fabs(s * 6) + std::fabs(c * 9)));
            const int H2 = int(std::nearbyint(std::fabs(s * 9) + std::fabs(c * 6)));
            ASSERT_EQ(std::pair(d.GetWidth(), d.GetHeight()), std::pair(W2, H2)) << angle;
            ASSERT_EQ(d.GetPixelFormat(), f);
            TIEBitmap bg(1, 1, f);
            bg.Fill(f == ie1g ? 0 : 0x102030);
            for (int j = 0; j < H2; ++j)
                for (int i = 0; i < W2; ++i) {
                    const double x = (i - (W2 - 1) / 2.0) * c + 4 - (j - (H2 - 1) / 2.0) * s;
                    const double y = (i - (W2 - 1) / 2.0) * s + 2.5 + (j - (H2 - 1) / 2.0) * c;
                    const int sx = int(std::nearbyint(x)), sy = int(std::nearbyint(y));
                    const bool inside = sx >= 0 && sy >= 0 && sx < 9 && sy < 6;
                    const TRGB want = inside ? src.GetPixelRGB(sx, sy) : bg.GetPixelRGB(0, 0);
                    ASSERT_EQ(d.GetPixelRGB(i, j), want) << int(f) << " " << angle << " at " << i << "," << j;
                }
        }
    }
}

// The interpolating engine against the formulas: margin, mapping, samplers, frame cut.
std::vector<uint8_t> ReferenceInterpolated(const std::vector<uint8_t>& s, int W, int H, uint8_t bg, int mode,
                                           double angle, int& outW, int& outH) {
    const int MW = W + 6, MH = H + 6;
    auto px = [&](int x, int y) -> double {
        x -= 3;
        y -= 3;
        return x < 0 || y < 0 || x >= W || y >= H ? bg : s[y * W + x];
    };
    auto mpx = [&](int x, int y) -> double { return x < 0 || y < 0 || x >= MW || y >= MH ? bg : px(x, y); };
    const double t = angle * std::numbers::pi / 180, c = std::cos(t), sn = std::sin(t);
    const int W2 = int(std::nearbyint(std::fabs(sn * (MH - 1)) + std::fabs(c * (MW - 1))));
    const int H2 = int(std::nearbyint(std::fabs(c * (MH - 1)) + std::fabs(sn * (MW - 1))));
    std::vector<uint8_t> full(size_t(W2) * H2);
    for (int j = 0; j < H2; ++j)
        for (int i = 0; i < W2; ++i) {
            const double x = (i - (W2 - 1) / 2.0) * c + (MW - 1) / 2.0 - (j - (H2 - 1) / 2.0) * sn;
            const double y = (i - (W2 - 1) / 2.0) * sn + (MH - 1) / 2.0 + (j - (H2 - 1) / 2.0) * c;
            const int x0 = int(x), y0 = int(y);
            const double fx = x - std::floor(x), fy = y - std::floor(y);
            double v;
            if (mode == 1) {
                v = std::trunc((1 - fy) * ((1 - fx) * mpx(x0, y0) + fx * mpx(x0 + 1, y0)) +
                               fy * ((1 - fx) * mpx(x0, y0 + 1) + fx * mpx(x0 + 1, y0 + 1)));
            } else {
                auto w = [](double d, int n) {
                    return n == -1  ? -d * (1 - d) * (1 - d)
                           : n == 0 ? 1 - 2 * d * d + d * d * d
                           : n == 1 ? d * (1 + d - d * d)
                                    : d * d * (d - 1);
                };
                double sum = 0;
                for (int n = -1; n <= 2; ++n)
                    for (int q = -1; q <= 2; ++q) sum += w(fx, q) * w(fy, n) * mpx(x0 + q, y0 + n);
                v = std::min(std::fabs(std::trunc(sum)), 255.0);
            }
            full[size_t(j) * W2 + i] = uint8_t(v);
        }
    outW = std::max(W2 - 6, 1);
    outH = std::max(H2 - 6, 1);
    std::vector<uint8_t> out(size_t(outW) * outH, bg);
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < outW; ++x)
            if (x + 3 < W2 && y + 3 < H2) out[size_t(y) * outW + x] = full[size_t(y + 3) * W2 + x + 3];
    return out;
}

TEST_F(IERotateTest, InterpolatedFollowsTheFormulas) {
    for (int mode : {1, 2})
        for (double angle : {12.0, -33.3, 100.0, 250.0}) {
            TIEBitmap g(11, 7, ie8g);
            FillRandom(g, uint32_t(mode * 1000 + angle));
            std::vector<uint8_t> s;
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 11; ++x) s.push_back(g.GetPixel8(x, y));
            int w = 0, h = 0;
            const auto want = ReferenceInterpolated(s, 11, 7, 40, mode, angle, w, h);
            TIEBitmap c(11, 7, ie24RGB);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 11; ++x) c.SetPixel24(x, y, CreateRGB(0, g.GetPixel8(x, y), 0));
            IERotateInterpolated8(&g, 40, mode, angle);
            IERotateInterpolated24(&c, 0x002800, mode, angle, nullptr, nullptr);  // green 40
            ASSERT_EQ(std::pair(g.GetWidth(), g.GetHeight()), std::pair(w, h)) << angle;
            ASSERT_EQ(std::pair(c.GetWidth(), c.GetHeight()), std::pair(w, h)) << angle;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    ASSERT_EQ(g.GetPixel8(x, y), want[size_t(y) * w + x])
                        << mode << " " << angle << " " << x << "," << y;
                    ASSERT_EQ(c.GetPixel24(x, y), CreateRGB(0, want[size_t(y) * w + x], 0)) << mode << " " << angle;
                }
        }
}

TEST_F(IERotateTest, BicubicOvershootBelowZeroTurnsPositive) {
    // A white column beside black: the cubic kernel dips below 0 on the black side, and
    // the sampler keeps the magnitude.
    TIEBitmap g(8, 8, ie8g);
    g.Fill(0);
    for (int y = 0; y < 8; ++y) g.SetPixel8(4, y, 255);
    std::vector<uint8_t> s;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) s.push_back(g.GetPixel8(x, y));
    int w = 0, h = 0;
    const auto want = ReferenceInterpolated(s, 8, 8, 0, 2, 7, w, h);
    IERotateInterpolated8(&g, 0, 2, 7);
    int positivesFromDips = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(g.GetPixel8(x, y), want[size_t(y) * w + x]);
            positivesFromDips += want[size_t(y) * w + x] > 0 && want[size_t(y) * w + x] < 20;
        }
    EXPECT_GT(positivesFromDips, 0);
}

TEST_F(IERotateTest, OneBitFollowsTheTruncatedMapping) {
    TIEBitmap b(13, 9, ie1g);
    FillRandom(b, 77);
    std::vector<int> s;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) s.push_back(b.GetPixelRGB(x, y).r ? 1 : 0);
    for (bool bgBit : {false, true}) {
        TIEBitmap r;
        r.Assign(&b);
        const double angle = 25;
        IERotate1Bit(&r, bgBit, angle, nullptr, nullptr);
        const double th = -angle / 57.295779513082320877;
        const double c = std::trunc(std::cos(th) * 10000) / 10000, sn = std::trunc(std::sin(th) * 10000) / 10000;
        const int W2 = int(std::fabs(13 * c) + std::fabs(9 * sn)), H2 = int(std::fabs(-13 * sn) + std::fabs(c * 9));
        ASSERT_EQ(std::pair(r.GetWidth(), r.GetHeight()), std::pair(W2, H2));
        for (int row = 0; row < H2; ++row)
            for (int k = 0; k < W2; ++k) {
                const double v = row - (H2 / 2.0 - 0.5);
                const int x = int((13 / 2.0 - 0.5) + sn * v) + int(c * (k - (W2 / 2.0 - 0.5)));
                const int y = int((9 / 2.0 - 0.5) + c * v) + int(-sn * (k - (W2 / 2.0 - 0.5)));
                const bool inside = x >= 0 && y >= 0 && x < 13 && y < 9;
                const int want = inside ? s[y * 13 + x] : bgBit;
                ASSERT_EQ(r.GetPixelRGB(k, row).r ? 1 : 0, want) << k << "," << row;
            }
    }
    // 90 is an exact counter-clockwise turn.
    TIEBitmap q;
    q.Assign(&b);
    IERotate1Bit(&q, false, 90, nullptr, nullptr);
    ASSERT_EQ(std::pair(q.GetWidth(), q.GetHeight()), std::pair(9, 13));
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(q.GetPixelRGB(x, y), b.GetPixelRGB(12 - y, x)) << x << "," << y;
}

// The three-shear engine: sizes from the formulas, angles reduced, colours kept inside
// and the background outside, anti-aliased edges between the two.
TEST_F(IERotateTest, ShearSizesAndColours) {
    struct Case {
        double angle;
        int W, H;  // size after the quarter turns
    };
    const Case cases[] = {{30, 20, 12}, {-10, 20, 12}, {100, 12, 20}, {-350, 20, 12}, {44.9, 20, 12}};
    for (const Case& k : cases)
        for (bool aa : {false, true}) {
            TIEBitmap b(20, 12, ie24RGB);
            b.Fill(0x3060C0);  // TColor: red 0xC0, green 0x60, blue 0x30
            IERotateBitmap(&b, aa, nullptr, k.angle, CreateRGB(1, 2, 3), nullptr);
            double a = std::fmod(std::trunc(k.angle * 1000), 360000.0) / 1000;
            while (a > 45) a -= 90;
            while (a < -45) a += 90;
            const double th = a * std::numbers::pi / 180, t = std::fabs(std::tan(th / 2)), s = std::fabs(std::sin(th));
            auto R = [](double v) { return std::nearbyint(v); };
            const double W1 = R(k.H * t + k.W + 1), h = R((W1 - k.W) * s), H2 = R(s * W1 + k.H + 1);
            const double t2 = R(t * (H2 - k.H - h)), H3 = R(H2 - 2 * h), W3 = R(t * H3 + W1 + 1 - 2 * t2);
            ASSERT_EQ(std::pair(b.GetWidth(), b.GetHeight()), std::pair(int(W3), int(H3))) << k.angle;
            const TRGB inside = CreateRGB(0xC0, 0x60, 0x30), bg = CreateRGB(1, 2, 3);
            EXPECT_EQ(b.GetPixel24(b.GetWidth() / 2, b.GetHeight() / 2), inside) << k.angle;
            // Anti-aliased edges mix the two; a row shifted by a rounded-up amount is blended
            // with a negative weight, so its mixes may overshoot either colour.
            int blends = 0, insides = 0;
            for (int y = 0; y < b.GetHeight(); ++y)
                for (int x = 0; x < b.GetWidth(); ++x) {
                    const TRGB p = b.GetPixel24(x, y);
                    insides += p == inside;
                    if (p == inside || p == bg) continue;
                    ++blends;
                    ASSERT_TRUE(aa) << "a mixed pixel without anti-aliasing at " << x << "," << y;
                }
            if (!aa) {
                EXPECT_EQ(b.GetPixel24(0, 0), bg) << k.angle;
                EXPECT_NEAR(insides, 20 * 12, 20 * 12 / 10) << k.angle;  // the picture's area, give or take its edge
            }
            if (aa) {
                EXPECT_GT(blends, 0) << k.angle;
            }
        }
    // 450 is 90; -350 is 10.
    TIEBitmap a(9, 5, ie24RGB), b;
    FillRandom(a, 4);
    b.Assign(&a);
    IERotateBitmap(&a, true, nullptr, 450, CreateRGB(0, 0, 0), nullptr);
    IERotateBitmap(&b, true, nullptr, 90, CreateRGB(0, 0, 0), nullptr);
    EXPECT_TRUE(SamePixels(a, b));
    TIEBitmap c(9, 5, ie24RGB), d;
    FillRandom(c, 5);
    d.Assign(&c);
    IERotateBitmap(&c, true, nullptr, -350, CreateRGB(0, 0, 0), nullptr);
    IERotateBitmap(&d, true, nullptr, 10, CreateRGB(0, 0, 0), nullptr);
    EXPECT_TRUE(SamePixels(c, d));
}

// The grey shear gives each channel of the colour shear.
TEST_F(IERotateTest, GreyShearEqualsColourShearPerChannel) {
    for (bool aa : {false, true}) {
        TIEBitmap g(15, 8, ie8g), c(15, 8, ie24RGB);
        FillRandom(g, 6);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 15; ++x) c.SetPixel24(x, y, CreateRGB(g.GetPixel8(x, y), 7, 9));
        IERotateShear8(&g, aa, 50, 23, nullptr, nullptr);
        IERotateBitmap(&c, aa, nullptr, 23, CreateRGB(50, 7, 9), nullptr);
        ASSERT_EQ(std::pair(g.GetWidth(), g.GetHeight()), std::pair(c.GetWidth(), c.GetHeight()));
        for (int y = 0; y < g.GetHeight(); ++y)
            for (int x = 0; x < g.GetWidth(); ++x) ASSERT_EQ(g.GetPixel8(x, y), c.GetPixel24(x, y).r) << x << "," << y;
    }
}

TEST_F(IERotateTest, ComponentRotationPicksTheEngineAndTurnsTheAlpha) {
    // Without anti-aliasing, and for formats other than ie24RGB and ie1g: nearest.
    for (auto [f, aa, mode] : {std::tuple{ie24RGB, false, 1}, std::tuple{ie8g, true, 1}, std::tuple{ie16g, true, 0}}) {
        TIEBitmap b(10, 7, f), want;
        FillRandom(b, 3);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 10; ++x) b.SetAlpha(x, y, 200);
        IERotateBitmapInto(&b, &want, 0xFFFFFF, 30, nullptr, nullptr);
        ASSERT_TRUE(IERotateImage(&b, 30, aa, mode, 0xFFFFFF, nullptr, nullptr));
        EXPECT_TRUE(SamePixels(b, want)) << int(f);
        ASSERT_TRUE(b.HasAlphaChannel());
        EXPECT_EQ(b.GetAlpha(0, 0), 0);  // an uncovered corner is transparent
        EXPECT_EQ(b.GetAlpha(b.GetWidth() / 2, b.GetHeight() / 2), 200);
    }
    // Anti-aliased 24-bit with mode 1: the interpolating engine, alpha turned the same way.
    TIEBitmap b(10, 7, ie24RGB), want;
    FillRandom(b, 8);
    want.Assign(&b);
    IERotateInterpolated24(&want, 0x000000, 1, 30, nullptr, nullptr);
    b.GetAlphaChannel()->Fill(255);
    ASSERT_TRUE(IERotateImage(&b, 30, true, 1, 0x000000, nullptr, nullptr));
    EXPECT_TRUE(SamePixels(b, want));
    TIEBitmap alphaWant(10, 7, ie8g);
    alphaWant.Fill(255);
    IERotateInterpolated8(&alphaWant, 0, 1, 30);
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) ASSERT_EQ(b.GetAlpha(x, y), alphaWant.GetPixel8(x, y));
    // Refused: angle 0 and modes outside 0..2 change nothing.
    TIEBitmap r(6, 4, ie24RGB);
    FillRandom(r, 2);
    TIEBitmap before;
    before.Assign(&r);
    EXPECT_FALSE(IERotateImage(&r, 0, true, 0, 0, nullptr, nullptr));
    EXPECT_FALSE(IERotateImage(&r, 30, true, 3, 0, nullptr, nullptr));
    EXPECT_FALSE(IERotateImage(&r, 30, true, -1, 0, nullptr, nullptr));
    EXPECT_FALSE(IERotateImage(&r, std::nan(""), true, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(SamePixels(r, before));
    EXPECT_FALSE(r.HasAlphaChannel());
}

TEST_F(IERotateTest, ProgressOfEachEngine) {
    for (int engine = 0; engine < 3; ++engine) {
        TIEBitmap b(30, 20, ie24RGB);
        std::vector<int> v;
        auto record = [&](cl::TObject*, int per) { v.push_back(per); };
        if (engine == 0) IERotateBitmap(&b, true, nullptr, 20, CreateRGB(0, 0, 0), record);
        if (engine == 1) IERotateInterpolated24(&b, 0, 2, 20, record, nullptr);
        if (engine == 2) IERotateNearest(&b, 0, nullptr, 20, record);
        ASSERT_FALSE(v.empty()) << engine;
        EXPECT_EQ(v.front(), 0);
        for (size_t i = 1; i < v.size(); ++i) EXPECT_LE(v[i - 1], v[i]) << engine;
        EXPECT_LT(v.back(), 100);
        EXPECT_GE(v.back(), 90);
    }
}

// Pictures whose rows live in a temporary file: every engine gives the memory result.
TEST_F(IERotateTest, FilePicturesGiveTheMemoryResult) {
    struct Case {
        const char* name;
        TIEPixelFormat f;
        void (*run)(TIEBitmap*);
    };
    const Case cases[] = {
        {"shears", ie24RGB, [](TIEBitmap* b) { IERotateBitmap(b, true, nullptr, 27, CreateRGB(1, 2, 3), nullptr); }},
        {"grey shears", ie8g, [](TIEBitmap* b) { IERotateShear8(b, true, 9, -61, nullptr, nullptr); }},
        {"bicubic", ie24RGB, [](TIEBitmap* b) { IERotateInterpolated24(b, 0x123456, 2, 41, nullptr, nullptr); }},
        {"nearest", ie16g, [](TIEBitmap* b) { IERotateNearest(b, 700, nullptr, 33, nullptr); }},
        {"1-bit", ie1g, [](TIEBitmap* b) { IERotate1Bit(b, true, 25, nullptr, nullptr); }},
        {"quarter", ie24RGB, [](TIEBitmap* b) { ASSERT_TRUE(IERotateImage(b, -90, true, 0, 0, nullptr, nullptr)); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> results[2];
        std::pair<int, int> sizes[2];
        for (TIELocation where : {ieMemory, ieFile}) {
            TIEBitmap b;
            ASSERT_TRUE(test::MakeAt(b, where, 19, 11, c.f));
            FillRandom(b, 5);
            c.run(&b);
            sizes[where == ieFile] = {b.GetWidth(), b.GetHeight()};
            results[where == ieFile] = test::Bytes(b);
        }
        EXPECT_EQ(sizes[1], sizes[0]) << c.name;
        EXPECT_EQ(results[1], results[0]) << c.name;
    }
}

TEST_F(IERotateTest, TinyPicturesKeepAPixel) {
    TIEBitmap b(1, 1, ie24RGB);
    b.SetPixel24(0, 0, CreateRGB(5, 6, 7));
    IERotateInterpolated24(&b, 0, 1, 1, nullptr, nullptr);
    EXPECT_GE(b.GetWidth(), 1);
    EXPECT_GE(b.GetHeight(), 1);
    TIEBitmap m(1, 1, ie1g);
    IERotate1Bit(&m, true, 1, nullptr, nullptr);
    EXPECT_GE(m.GetWidth(), 1);
}

}  // namespace
}  // namespace ie
