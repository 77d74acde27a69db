// The mask worker's loops against models of their arithmetic written from the pixel rules.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "te_frame_driver.h"
#include "transitions/teMskWk.h"

namespace {

using tetest::CopyOf;
using tetest::RandomPicture;
using tetest::RawPixel;

int FloorDiv256(int v) { return static_cast<int>(std::floor(v / 256.0)); }

bool InRect(const win::RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

win::RECT Widen(win::RECT r, int a) {
    r.left = r.left / a * a;
    r.right = (r.right + a - 1) / a * a;
    return r;
}
win::RECT Narrow(win::RECT r, int a) {
    r.left = (r.left + a - 1) / a * a;
    r.right = r.right / a * a;
    return r;
}

TEST(MaskPlan, ModesFollowTheAreaShape) {
    struct Case {
        win::RECT inner, outer;
        int rowWidth, align;
        bool inBits;
        int mode;
        // clang-format off
    } cases[] = {
        {{0, 0, 0, 0}, {0, 0, 64, 10}, 64, 8, false, 1},        // whole rows, nothing inside
        {{0, 0, 0, 0}, {3, 2, 61, 10}, 64, 8, false, 1},        // widened to whole rows
        {{0, 0, 0, 0}, {8, 2, 40, 10}, 64, 8, false, 2},        // part of the rows
        {{16, 4, 24, 6}, {8, 2, 40, 10}, 64, 8, false, 3},      // a hole inside
        {{17, 4, 23, 6}, {8, 2, 40, 10}, 64, 8, false, 2},      // the hole narrows to nothing
        {{16, 4, 24, 6}, {0, 0, 64, 10}, 64, 8, false, 3},      // hole in whole rows
        {{32, 1, 64, 3}, {0, 0, 128, 4}, 128, 32, true, 3},     // in bits
        {{0, 0, 0, 0}, {0, 0, 100, 4}, 128, 32, true, 1},       // 100 bits widen to the whole row
        {{0, 0, 0, 0}, {0, 0, 60, 4}, 128, 32, true, 2},        // 60 bits widen to 64
    };
    // clang-format on
    for (const Case& c : cases) {
        win::RECT in = c.inner, out = c.outer;
        EXPECT_EQ(te::PlanMaskArea(c.rowWidth, 0, c.align, c.inBits, in, out), c.mode)
            << c.outer.left << "," << c.outer.right << " inner " << c.inner.left << "," << c.inner.right;
        EXPECT_EQ(out.left % c.align, 0);
        EXPECT_EQ(out.right % c.align, 0);
    }
}

TEST(MaskPlan, RunsOfModeThreeCoverOuterMinusInner) {
    te::TTEMaskRuns runs;
    const win::RECT inner{16, 4, 24, 6}, outer{8, 2, 40, 10};
    te::GetMaskAreaRuns(3, runs, 64 * 4, cl::pf32bit, inner, outer);
    ASSERT_EQ(runs.Count, 4);
    int covered[10][64] = {};
    for (int i = 0; i < runs.Count; ++i) {
        const auto& r = runs.Runs[i];
        for (int y = r.Rect.top; y < r.Rect.bottom; ++y)
            for (int x = r.Rect.left; x < r.Rect.right; ++x) ++covered[y][x];
        if (r.Count) {
            EXPECT_EQ(r.RowWidth + r.Skip, 64);
            EXPECT_EQ(r.Start, 64 * 4 * r.Rect.bottom - r.Rect.left * 4);
        }
    }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 64; ++x)
            EXPECT_EQ(covered[y][x], InRect(outer, x, y) && !InRect(inner, x, y) ? 1 : 0) << x << "," << y;
    // The run right of the hole and the one left of it.
    EXPECT_EQ(runs.Runs[1].Rect.left, 24);
    EXPECT_EQ(runs.Runs[2].Rect.right, 16);
    te::GetMaskAreaRuns(1, runs, 64 * 4, cl::pf32bit, inner, win::RECT{0, 2, 64, 5});
    ASSERT_EQ(runs.Count, 1);
    EXPECT_EQ(runs.Runs[0].Count, 64 * 3);
    EXPECT_EQ(runs.Runs[0].RowSkip, 0);
}

TEST(MaskPlan, EmptyRunsHaveNoPixels) {
    te::TTEMaskRuns runs;
    te::GetMaskAreaRuns(3, runs, 128, cl::pf8bit, win::RECT{8, 0, 16, 4}, win::RECT{0, 0, 32, 4});
    EXPECT_EQ(runs.Runs[0].Count, 0);  // nothing above the hole
    EXPECT_EQ(runs.Runs[3].Count, 0);  // nothing below it
    EXPECT_GT(runs.Runs[1].Count, 0);
}

TEST(MaskWorker, GrayPaletteIsARamp) {
    win::HPALETTE p = te::CreateGrayPalette();
    win::PALETTEENTRY e[256];
    ASSERT_EQ(win::GetPaletteEntries(p, 0, 256, e), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(e[i].peRed, i);
        EXPECT_EQ(e[i].peGreen, i);
        EXPECT_EQ(e[i].peBlue, i);
    }
    win::DeleteObject(p);
}

class BitMaskCopy : public ::testing::TestWithParam<cl::TPixelFormat> {};

TEST_P(BitMaskCopy, CopiesWhereTheBitIsClear) {
    const cl::TPixelFormat pf = GetParam();
    const int w = 64, h = 7;
    auto src = RandomPicture(w, h, pf, 1);
    auto dst = RandomPicture(w, h, pf, 2);
    auto mask = RandomPicture(w, h, cl::pf1bit, 3);
    tetest::RowOf(mask.get(), 2)[1] = 0xFF;  // a whole byte that keeps
    tetest::RowOf(mask.get(), 3)[2] = 0x7F;  // only the leftmost of eight pixels
    tetest::RowOf(mask.get(), 4)[3] = 0x00;  // eight pixels that all take the new picture
    auto before = CopyOf(dst.get());
    const win::RECT inner{24, 3, 40, 5}, outer{5, 1, 53, 6};
    te::CopyThroughBitMask(dst.get(), src.get(), mask.get(), inner, outer, pf);
    const win::RECT o = Widen(outer, 8), in = Narrow(inner, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool treated = InRect(o, x, y) && !InRect(in, x, y);
            const bool take = treated && RawPixel(mask.get(), x, y) == 0;
            ASSERT_EQ(RawPixel(dst.get(), x, y), take ? RawPixel(src.get(), x, y) : RawPixel(before.get(), x, y))
                << x << "," << y;
        }
    EXPECT_EQ(RawPixel(dst.get(), 16, 3), RawPixel(src.get(), 16, 3));
    for (int x = 17; x < 24; ++x) EXPECT_EQ(RawPixel(dst.get(), x, 3), RawPixel(before.get(), x, 3));
}

INSTANTIATE_TEST_SUITE_P(Formats, BitMaskCopy,
                         ::testing::Values(cl::pf4bit, cl::pf8bit, cl::pf15bit, cl::pf16bit, cl::pf24bit, cl::pf32bit));

TEST(MaskWorker, MergeMarksOnlyNewPixels) {
    const int w = 96, h = 5;
    auto mask = RandomPicture(w, h, cl::pf1bit, 4);
    auto accum = RandomPicture(w, h, cl::pf1bit, 5);
    auto m0 = CopyOf(mask.get()), a0 = CopyOf(accum.get());
    const win::RECT outer{33, 1, 70, 4};
    te::MergeBitMasks(mask.get(), accum.get(), win::RECT{0, 0, 0, 0}, outer);
    const win::RECT o = Widen(outer, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t m = RawPixel(m0.get(), x, y), a = RawPixel(a0.get(), x, y);
            const bool t = InRect(o, x, y);
            EXPECT_EQ(RawPixel(accum.get(), x, y), t ? (m & a) : a);
            EXPECT_EQ(RawPixel(mask.get(), x, y), t ? (m | (a ^ 1u)) : m);
        }
}

// The union as disjoint rectangles: every pixel of some input rectangle in exactly one output
// rectangle, and no other pixel; overlapping, touching, nested and empty inputs.
TEST(MaskPlan, DisjointRectsCoverTheUnionOnce) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<win::RECT> in(rng() % 12);
        for (win::RECT& r : in) {
            const int l = static_cast<int>(rng() % 40) - 5, t = static_cast<int>(rng() % 30) - 5;
            r = win::RECT{l, t, l + static_cast<int>(rng() % 25), t + static_cast<int>(rng() % 20)};
        }
        std::vector<win::RECT> out;
        te::DisjointRects(in.data(), static_cast<int>(in.size()), out);
        for (int y = -6; y < 50; ++y)
            for (int x = -6; x < 70; ++x) {
                bool inside = false;
                for (const win::RECT& r : in) inside = inside || InRect(r, x, y);
                int times = 0;
                for (const win::RECT& r : out) times += InRect(r, x, y);
                ASSERT_EQ(times, inside ? 1 : 0) << "round " << round << " at " << x << "," << y;
            }
        for (const win::RECT& r : out) ASSERT_TRUE(r.left < r.right && r.top < r.bottom);
    }
}

TEST(MaskWorker, InvertFlipsEveryBit) {
    uint32_t words[3] = {0, 0xFFFFFFFF, 0x12345678};
    te::InvertBitMask(words, 3);
    EXPECT_EQ(words[0], 0xFFFFFFFFu);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(words[2], ~0x12345678u);
}

TEST(MaskWorker, SmoothBlendWeighsByMaskValuePlusOne) {
    EXPECT_EQ(te::SmoothBlendWeight(0), 0);
    EXPECT_EQ(te::SmoothBlendWeight(1), 2);
    EXPECT_EQ(te::SmoothBlendWeight(254), 255);
    const int w = 40, h = 9;
    auto nw = RandomPicture(w, h, cl::pf32bit, 6), od = RandomPicture(w, h, cl::pf32bit, 7);
    auto dst = RandomPicture(w, h, cl::pf32bit, 8);
    auto mask = RandomPicture(w, h, cl::pf8bit, 9);
    for (int x = 0; x < w; ++x) tetest::RowOf(mask.get(), 4)[x] = static_cast<uint8_t>(x % 3 == 0 ? 255 : x % 3);
    auto before = CopyOf(dst.get());
    const win::RECT inner{16, 2, 24, 6}, outer{3, 1, 37, 8};
    te::TTEMaskRoutine r = te::CreateSmoothBlendRoutine();
    te::RunSmoothBlend(r, dst.get(), nw.get(), inner, outer, mask.get(), od.get());
    te::ReleaseMaskRoutine(r);
    const win::RECT o = Widen(outer, 8), in = Narrow(inner, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int m = static_cast<int>(RawPixel(mask.get(), x, y));
            const uint32_t n = RawPixel(nw.get(), x, y), o2 = RawPixel(od.get(), x, y);
            uint32_t expect = RawPixel(before.get(), x, y);
            if (InRect(o, x, y) && !InRect(in, x, y) && m != 255) {
                const int wt = m == 0 ? 0 : m + 1;
                expect = 0;
                for (int c = 0; c < 4; ++c) {
                    const int nb = (n >> (8 * c)) & 0xFF, ob = (o2 >> (8 * c)) & 0xFF;
                    expect |= static_cast<uint32_t>(nb + FloorDiv256((ob - nb) * wt)) << (8 * c);
                }
            }
            ASSERT_EQ(RawPixel(dst.get(), x, y), expect) << x << "," << y;
        }
}

TEST(MaskWorker, BmpMaskBandsAndDirections) {
    // Band 16 at level 100: nothing up to 100, everything from 116.
    for (int m = 0; m <= 100; ++m) EXPECT_EQ(te::BmpMaskWeight(m, 100, 16, false), 0);
    for (int m = 116; m < 256; ++m) EXPECT_EQ(te::BmpMaskWeight(m, 100, 16, false), 256);
    EXPECT_EQ(te::BmpMaskWeight(108, 100, 16, false), 128);
    EXPECT_FALSE(te::CreateBmpMaskRoutine(12, false).Valid());
    const int w = 24, h = 5;
    for (int band : {8, 16, 32, 64, 128})
        for (int level : {-200, -3, 0, 5, 100, 250}) {
            auto zero = RandomPicture(w, h, cl::pf32bit, 10), full = RandomPicture(w, h, cl::pf32bit, 11);
            auto mask = RandomPicture(w, h, cl::pf8bit, 12 + band);
            auto dst = RandomPicture(w, h, cl::pf32bit, 13);
            te::TTEMaskRoutine fwd = te::CreateBmpMaskRoutine(band, false), back = te::CreateBmpMaskRoutine(band, true);
            te::RunBmpMaskBlend(fwd, back, dst.get(), win::RECT{0, 0, 0, 0}, win::RECT{0, 0, w, h}, level, mask.get(),
                                zero.get(), full.get());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int m = static_cast<int>(RawPixel(mask.get(), x, y));
                    int c = level < 0 ? std::min(m - level, 255) : std::max(m - level, 0);
                    c = std::min(c, band);
                    const int wt = c * 256 / band;
                    const uint32_t z = RawPixel(zero.get(), x, y), f = RawPixel(full.get(), x, y);
                    uint32_t expect = 0;
                    for (int k = 0; k < 4; ++k) {
                        const int zb = (z >> (8 * k)) & 0xFF, fb = (f >> (8 * k)) & 0xFF;
                        expect |= static_cast<uint32_t>(zb + FloorDiv256((fb - zb) * wt)) << (8 * k);
                    }
                    ASSERT_EQ(RawPixel(dst.get(), x, y), expect) << band << " " << level;
                }
        }
}

class RangeCopy : public ::testing::TestWithParam<cl::TPixelFormat> {};

TEST_P(RangeCopy, CopiesWhereTheMaskLiesInRange) {
    const cl::TPixelFormat pf = GetParam();
    const int w = 16, h = 6;  // rows without filler bytes in every format
    auto src = RandomPicture(w, h, pf, 20), dst = RandomPicture(w, h, pf, 21);
    auto mask = RandomPicture(w, h, cl::pf8bit, 22);
    auto before = CopyOf(dst.get());
    // The top four rows only (the last pixels of the memory).
    te::CopyByMaskRange(dst.get(), src.get(), mask.get(), pf, 60, 180, w * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t m = RawPixel(mask.get(), x, y);
            const bool take = y < 4 && m >= 60 && m <= 180;
            ASSERT_EQ(RawPixel(dst.get(), x, y), take ? RawPixel(src.get(), x, y) : RawPixel(before.get(), x, y))
                << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, RangeCopy,
                         ::testing::Values(cl::pf4bit, cl::pf8bit, cl::pf15bit, cl::pf16bit, cl::pf24bit, cl::pf32bit));

TEST(MaskWorker, AgeingLowersAllButKeep) {
    auto mask = RandomPicture(16, 2, cl::pf8bit, 30);
    uint8_t* r = tetest::RowOf(mask.get(), 0);
    r[0] = 30;
    r[1] = 200;
    r[2] = 255;
    r[9] = 77;
    const win::RECT outer{0, 0, 8, 1};
    te::AgeSmoothMask(mask.get(), win::RECT{0, 0, 0, 0}, outer, false, 40);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 160);
    EXPECT_EQ(r[2], 255);
    EXPECT_EQ(r[9], 77);  // outside the area
    te::AgeSmoothMask(mask.get(), win::RECT{0, 0, 0, 0}, outer, true, 1);
    EXPECT_EQ(r[1], 0);
    EXPECT_EQ(r[2], 255);

    auto from = RandomPicture(16, 2, cl::pf8bit, 31), to = RandomPicture(16, 2, cl::pf8bit, 32);
    auto before = CopyOf(to.get());
    tetest::RowOf(from.get(), 1)[3] = 255;
    te::AgeSmoothMaskFrom(to.get(), from.get(), win::RECT{0, 0, 0, 0}, win::RECT{0, 0, 16, 2}, false, 25);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 16; ++x) {
            const int s = static_cast<int>(RawPixel(from.get(), x, y));
            EXPECT_EQ(static_cast<int>(RawPixel(to.get(), x, y)),
                      s == 255 ? static_cast<int>(RawPixel(before.get(), x, y)) : std::max(s - 25, 0));
        }
}

TEST(MaskWorker, AreasBeyondTheBitmapsAreClamped) {
    auto src = RandomPicture(16, 4, cl::pf32bit, 40), dst = RandomPicture(16, 4, cl::pf32bit, 41);
    auto mask = RandomPicture(16, 4, cl::pf8bit, 42);
    te::TTEMaskRoutine r = te::CreateSmoothBlendRoutine();
    te::RunSmoothBlend(r, dst.get(), src.get(), win::RECT{0, 0, 0, 0}, win::RECT{-40, -9, 500, 300}, mask.get(),
                       src.get());
    te::AgeSmoothMask(mask.get(), win::RECT{-5, -5, 900, 900}, win::RECT{-100, -100, 1000, 1000}, false, 3);
    auto bits = RandomPicture(32, 4, cl::pf1bit, 43);
    te::CopyThroughBitMask(dst.get(), src.get(), bits.get(), win::RECT{0, 0, 0, 0}, win::RECT{0, 0, 4000, 4000},
                           cl::pf32bit);
    te::CopyByMaskRange(dst.get(), src.get(), mask.get(), cl::pf32bit, 0, 255, 1 << 30);
    EXPECT_TRUE(tetest::SamePicture(dst.get(), src.get(), 16, 4));
}

}  // namespace
