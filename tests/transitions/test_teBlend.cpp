// The blend worker's two paths against models of their arithmetic, its pattern path, and the
// alpha blend effect frame by frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "te_frame_driver.h"
#include "transitions/teBlend.h"
#include "transitions/teBlndWk.h"
#include "transitions/teFuse.h"

namespace {

int Floor256(int v) { return static_cast<int>(std::floor(v / 256.0)); }

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// The split-field path on one 16-bit pixel of 5-5-5 or 5-6-5 fields: each field mixed at the
// full weight, the spare bit of 5-5-5 pixels cleared.
uint16_t FieldModel16(uint16_t a, uint16_t b, int w, bool is565) {
    const int widths[3] = {5, is565 ? 6 : 5, 5};
    int shift = 0;
    uint16_t r = 0;
    for (int f = 0; f < 3; ++f) {
        const int mask = (1 << widths[f]) - 1;
        const int av = (a >> shift) & mask, bv = (b >> shift) & mask;
        r = static_cast<uint16_t>(r | (((bv + Floor256((av - bv) * w)) & mask) << shift));
        shift += widths[f];
    }
    return r;
}

// Expected output of the split-field path for the caller's level.
std::vector<uint8_t> FieldModel(const std::vector<uint8_t>& nw, const std::vector<uint8_t>& od, int level,
                                cl::TPixelFormat pf) {
    std::vector<uint8_t> out(nw.size());
    const bool high = pf == cl::pf15bit || pf == cl::pf16bit;
    const int l = high ? level * 8 : level;
    const bool swap = l > 128;
    const int w = !swap ? l : (high ? 256 - l : 255 - l);
    const std::vector<uint8_t>& a = swap ? od : nw;
    const std::vector<uint8_t>& b = swap ? nw : od;
    if (!high) {
        for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(b[i] + Floor256((a[i] - b[i]) * w));
        return out;
    }
    for (size_t i = 0; i + 1 < out.size(); i += 2) {
        uint16_t av, bv;
        std::memcpy(&av, &a[i], 2);
        std::memcpy(&bv, &b[i], 2);
        const uint16_t r = FieldModel16(av, bv, w, pf == cl::pf16bit);
        std::memcpy(&out[i], &r, 2);
    }
    return out;
}

TEST(BlendWorker, MmxPathFloorsEveryByteAtEveryLevel) {
    const size_t n = 4096 + 12;
    const auto a = RandomBytes(n, 1), b = RandomBytes(n, 2);
    std::vector<uint8_t> d(n);
    for (int level = 1; level <= 254; ++level) {
        te::BlendRunMMX(d.data(), a.data(), b.data(), n, level);
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(d[i], b[i] + Floor256((a[i] - b[i]) * level)) << "level " << level << " byte " << i;
    }
}

TEST(BlendWorker, FieldPathMatchesTheFieldModelAtEveryLevel) {
    const size_t n = 1028;
    const auto nw = RandomBytes(n, 3), od = RandomBytes(n, 4);
    std::vector<uint8_t> d(n);
    for (cl::TPixelFormat pf : {cl::pf15bit, cl::pf16bit, cl::pf24bit, cl::pf32bit}) {
        const int top = (pf == cl::pf15bit || pf == cl::pf16bit) ? 31 : 254;
        for (int level = 1; level <= top; ++level) {
            te::BlendRunFields(d.data(), nw.data(), od.data(), n, level, 0, pf);
            const auto expect = FieldModel(nw, od, level, pf);
            ASSERT_EQ(d, expect) << "format " << pf << " level " << level;
        }
    }
}

TEST(BlendWorker, PathsDifferByAtMostOneAboveHalf) {
    const size_t n = 4096;
    const auto nw = RandomBytes(n, 5), od = RandomBytes(n, 6);
    std::vector<uint8_t> m(n), f(n);
    te::BlendRunMMX(m.data(), nw.data(), od.data(), n, 128);
    te::BlendRunFields(f.data(), nw.data(), od.data(), n, 128, 0, cl::pf32bit);
    EXPECT_EQ(m, f);  // weight 128 is multiplier 1, shift 1 on both paths
    te::BlendRunMMX(m.data(), nw.data(), od.data(), n, 200);
    te::BlendRunFields(f.data(), nw.data(), od.data(), n, 200, 0, cl::pf32bit);
    int differing = 0;
    for (size_t i = 0; i < n; ++i) {
        EXPECT_LE(std::abs(m[i] - f[i]), 1);
        differing += m[i] != f[i];
    }
    EXPECT_GT(differing, 0);
}

TEST(BlendWorker, EqualWordsAreSkippedFromTenPercent) {
    const size_t n = 64;
    auto nw = RandomBytes(n, 7), od = RandomBytes(n, 8);
    std::memcpy(&od[8], &nw[8], 8);  // words 2 and 3 equal in both pictures
    for (int percent : {9, 10}) {
        std::vector<uint8_t> d(n, 0xAB);
        te::BlendRunFields(d.data(), nw.data(), od.data(), n, 77, percent, cl::pf24bit);
        const auto expect = FieldModel(nw, od, 77, cl::pf24bit);
        for (size_t i = 0; i < n; ++i) {
            const bool equalWord = i >= 8 && i < 16;
            EXPECT_EQ(d[i], percent >= 10 && equalWord ? 0xAB : expect[i]) << percent << " " << i;
        }
    }
}

TEST(BlendWorker, LevelsOutsideTheRangeGiveOneOfThePictures) {
    const size_t n = 32;
    const auto nw = RandomBytes(n, 9), od = RandomBytes(n, 10);
    std::vector<uint8_t> d(n);
    te::BlendRunFields(d.data(), nw.data(), od.data(), n, 0, 0, cl::pf32bit);
    EXPECT_EQ(d, od);
    te::BlendRunFields(d.data(), nw.data(), od.data(), n, 255, 0, cl::pf32bit);
    EXPECT_EQ(d, nw);
    te::BlendRunFields(d.data(), nw.data(), od.data(), n, 32, 0, cl::pf16bit);
    EXPECT_EQ(d, nw);
    std::vector<uint8_t> untouched(n, 0x5A);
    te::BlendRunFields(untouched.data(), nw.data(), od.data(), 0, 100, 0, cl::pf32bit);
    EXPECT_EQ(untouched, std::vector<uint8_t>(n, 0x5A));
}

class BlendBitmapsPaths : public ::testing::Test {
protected:
    void SetUp() override { saved_ = te::MMXAvailable; }
    void TearDown() override { te::MMXAvailable = saved_; }
    // Runs BlendBitmaps over pictures of w x h and compares with the model of one path.
    void Check(int w, int h, cl::TPixelFormat pf, int level, bool expectMmx) {
        auto nw = tetest::RandomPicture(w, h, pf, 11), od = tetest::RandomPicture(w, h, pf, 12);
        auto dst = tetest::RandomPicture(w, h, pf, 13);
        te::BlendBitmaps(dst.get(), nw.get(), od.get(), nullptr, pf, level, 0);
        const size_t size = static_cast<size_t>(nw->RowBytes()) * h;
        auto bytes = [&](cl::TBitmap* b) {
            const auto* p = static_cast<const uint8_t*>(b->ScanLine(h - 1));
            return std::vector<uint8_t>(p, p + size);
        };
        const auto a = bytes(nw.get()), b = bytes(od.get()), d = bytes(dst.get());
        std::vector<uint8_t> expect(size);
        if (expectMmx) {
            for (size_t i = 0; i < size; ++i) expect[i] = static_cast<uint8_t>(b[i] + Floor256((a[i] - b[i]) * level));
        } else {
            expect = FieldModel(a, b, level, pf);
        }
        EXPECT_EQ(d, expect) << w << "x" << h << " format " << pf << " level " << level;
    }
    bool saved_ = false;
};

TEST_F(BlendBitmapsPaths, ChoosesThePathBySizeFormatAndProcessor) {
    te::MMXAvailable = true;
    Check(33, 32, cl::pf32bit, 200, true);   // 4224 bytes
    Check(31, 11, cl::pf24bit, 200, false);  // 1056 bytes: below the block size
    Check(9, 7, cl::pf32bit, 200, false);    // 252 bytes
    Check(47, 45, cl::pf16bit, 20, false);   // 16-bit pictures never take the MMX path
    Check(47, 45, cl::pf15bit, 17, false);
    te::MMXAvailable = false;
    Check(33, 32, cl::pf32bit, 200, false);
    Check(35, 40, cl::pf24bit, 130, false);
}

TEST(BlendWorker, PatternPathShowsTheNewPictureOnBlackCells) {
    auto nw = tetest::RandomPicture(21, 13, cl::pf24bit, 14), od = tetest::RandomPicture(21, 13, cl::pf24bit, 15);
    auto dst = tetest::CopyOf(od.get());
    cl::TBitmap pattern;
    te::AdjustBitmapFormat(&pattern, nullptr, 8, 8, cl::pf1bit);
    pattern.GetCanvas()->GetBrush()->SetColor(cl::clWhite);
    pattern.GetCanvas()->FillRect(cl::Rect(0, 0, 8, 8));
    te::BlendBitmaps(dst.get(), nw.get(), od.get(), &pattern, cl::pf24bit, 20, 0);
    bool black[8][8] = {};
    for (int n = 0; n < 20; ++n) black[te::FusePatternOrder[n].y][te::FusePatternOrder[n].x] = true;
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 21; ++x)
            ASSERT_EQ(tetest::RawPixel(dst.get(), x, y),
                      tetest::RawPixel(black[y % 8][x % 8] ? nw.get() : od.get(), x, y))
                << x << "," << y;
}

TEST(BlendWorker, DitherOrderVisitsEveryCellOnce) {
    bool seen[8][8] = {};
    for (const auto& c : te::FusePatternOrder) {
        ASSERT_LT(c.x, 8);
        ASSERT_LT(c.y, 8);
        EXPECT_FALSE(seen[c.y][c.x]);
        seen[c.y][c.x] = true;
    }
    EXPECT_EQ(te::FusePatternOrder[63].x, 2);
    EXPECT_EQ(te::FusePatternOrder[63].y, 5);
}

// ---- the alpha blend effect ------------------------------------------------------------------

class AlphaBlend : public ::testing::Test {
protected:
    void SetUp() override {
        te::StartUpteBlend();
        te::StartUpteFuse();
        saved_ = te::MMXAvailable;
        te::MMXAvailable = true;
    }
    void TearDown() override { te::MMXAvailable = saved_; }
    bool saved_ = false;
};

TEST_F(AlphaBlend, FormatsAndFrameCounts) {
    te::TBlendTransition e(nullptr);
    struct Case {
        cl::TPixelFormat display;
        bool mmx;
        cl::TPixelFormat run;
        int frames;
    } cases[] = {{cl::pf16bit, true, cl::pf16bit, 31},
                 {cl::pf15bit, true, cl::pf15bit, 31},
                 {cl::pf24bit, true, cl::pf24bit, 254},
                 {cl::pf32bit, true, cl::pf32bit, 254},
                 {cl::pf32bit, false, cl::pf24bit, 254}};
    for (const Case& c : cases) {
        te::MMXAvailable = c.mmx;
        tetest::FrameDriver d(&e, 13, 5, c.display, 1);
        EXPECT_EQ(d.Data()->PixelFormat, c.run);
        EXPECT_EQ(d.Frames(), c.frames);
    }
    EXPECT_EQ(e.GetInfo(nullptr), 0x33F);
    EXPECT_EQ(e.Description(), "Alpha blend");
    EXPECT_EQ(e.AllowedDirections, te::DirectionBit(te::tedNone));
}

TEST_F(AlphaBlend, EveryFrameMixesTheWholePictures) {
    for (cl::TPixelFormat display : {cl::pf32bit, cl::pf16bit}) {
        te::TBlendTransition e(nullptr);
        const int w = 37, h = 29;  // 32-bit rows make more than a block: the MMX path
        tetest::FrameDriver d(&e, w, h, display, 2);
        const auto pf = static_cast<cl::TPixelFormat>(d.Data()->PixelFormat);
        const size_t size = static_cast<size_t>(d.Old->RowBytes()) * h;
        auto bytes = [&](cl::TBitmap* b) {
            const auto* p = static_cast<const uint8_t*>(b->ScanLine(h - 1));
            return std::vector<uint8_t>(p, p + size);
        };
        const auto nw = bytes(d.New.get()), od = bytes(d.Old.get());
        for (int k : {1, 2, 7, 100, 128, 129, 200, 254}) {
            if (k > d.Frames()) continue;
            d.Frame(k);
            std::vector<uint8_t> expect(size);
            if (pf == cl::pf32bit)
                for (size_t i = 0; i < size; ++i)
                    expect[i] = static_cast<uint8_t>(od[i] + Floor256((nw[i] - od[i]) * k));
            else
                expect = FieldModel(nw, od, k, pf);
            ASSERT_EQ(bytes(d.Work()), expect) << "format " << pf << " frame " << k;
            EXPECT_EQ(d.Data()->PrevUpdateRect.right, w);
            EXPECT_EQ(d.Data()->PrevUpdateRect.bottom, h);
        }
    }
}

TEST_F(AlphaBlend, EqualityIsMeasuredOnTheFieldPath) {
    te::TBlendTransition e(nullptr);
    {
        tetest::FrameDriver d(&e, 20, 6, cl::pf16bit, 3);
        EXPECT_LE(e.EqualPercent(), 5);  // random pictures share almost no words
    }
    // Identical pictures: every word is equal and no frame writes anything.
    tetest::FrameDriver d(&e, 20, 6, cl::pf16bit, 3);
    e.Finalize(d.Data());
    for (int y = 0; y < 6; ++y)
        std::memcpy(tetest::RowOf(d.New.get(), y), tetest::RowOf(d.Old.get(), y), d.Old->RowBytes());
    int32_t frames = 0;
    e.Initialize(d.Data(), frames);
    EXPECT_EQ(e.EqualPercent(), 100);
    d.Frame(16);
    EXPECT_TRUE(tetest::SamePicture(d.Work(), d.Old.get(), 20, 6));
}

TEST_F(AlphaBlend, PaletteDisplaysRunAFuse) {
    te::TBlendTransition e(nullptr);
    e.Milliseconds = 700;
    e.PassSetting = te::teTwoPasses;
    tetest::TTestDevice dev;
    dev.Format = cl::pf8bit;
    std::unique_ptr<te::TTransitionEffect> run(e.TransitionForDevice(&dev, true));
    ASSERT_NE(run, nullptr);
    ASSERT_TRUE(run->Is<te::TFuseTransition>());
    auto* fuse = static_cast<te::TFuseTransition*>(run.get());
    EXPECT_EQ(fuse->GetStyle(), 1);
    EXPECT_EQ(fuse->Milliseconds, 700);
    EXPECT_EQ(fuse->PassSetting, te::teTwoPasses);
    dev.Format = cl::pf24bit;
    te::TTransitionEffect* same = e.TransitionForDevice(&dev, false);
    EXPECT_EQ(same, &e);
}

}  // namespace
