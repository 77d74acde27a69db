// The SSE2 forms of the pixel loops of the blend and mask workers give exactly the bytes of
// their portable forms: random pictures and masks with the edge values well represented,
// every length up to a few vectors, unaligned starts, and every level, band, amount and
// range that changes the path. The pattern copy of the fuse gives what the blit gives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "transitions/teBlndWk.h"
#include "transitions/teMskWk.h"
#include "transitions/teRender.h"
#include "transitions/teSumTable.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& v : b) v = static_cast<uint8_t>(rng());
    return b;
}

// Mask bytes where 0, 1, 254, 255 and runs of 255 (whole groups the SSE2 forms skip) are
// common.
Bytes RandomMask(std::mt19937& rng, size_t n) {
    static const uint8_t kEdges[] = {0, 1, 2, 127, 128, 253, 254, 255};
    Bytes m(n);
    for (size_t i = 0; i < n;) {
        const unsigned kind = rng() % 4;
        const size_t run = 1 + rng() % 20;
        for (size_t k = 0; k < run && i < n; ++k, ++i)
            m[i] = kind == 0 ? 255 : kind == 1 ? kEdges[rng() % 8] : static_cast<uint8_t>(rng());
    }
    return m;
}

#if defined(TE_HAS_SSE2_FORMS)

// Lengths 0..70 pixels at starts 0..3 pixels past an aligned address, from one generator.
template <class F>
void ForLengthsAndStarts(uint32_t seed, F&& f) {
    std::mt19937 rng(seed);
    for (int count = 0; count <= 70; ++count)
        for (int start = 0; start < 4; ++start) f(rng, count, start);
}

TEST(MaskWorkerForms, SmoothBlendRows) {
    ForLengthsAndStarts(1, [](std::mt19937& rng, int count, int start) {
        const size_t n = static_cast<size_t>(count + start) * 4;
        const Bytes nw = RandomBytes(rng, n), od = RandomBytes(rng, n), d0 = RandomBytes(rng, n);
        const Bytes m = RandomMask(rng, static_cast<size_t>(count + start));
        Bytes a = d0, b = d0;
        const size_t o = static_cast<size_t>(start) * 4;
        te::SmoothBlendRow_Pas(a.data() + o, nw.data() + o, od.data() + o, m.data() + start, count);
        te::SmoothBlendRow_SSE2(b.data() + o, nw.data() + o, od.data() + o, m.data() + start, count);
        ASSERT_EQ(a, b) << "count " << count << " start " << start;
    });
}

TEST(MaskWorkerForms, BmpMaskBlendRows) {
    const int levels[] = {0, 1, 2, 7, 100, 128, 200, 254, 255, -3, 300};
    const int bands[] = {8, 16, 32, 64, 128, 12};
    ForLengthsAndStarts(2, [&](std::mt19937& rng, int count, int start) {
        const size_t n = static_cast<size_t>(count + start) * 4;
        const Bytes z = RandomBytes(rng, n), f = RandomBytes(rng, n), d0 = RandomBytes(rng, n);
        const Bytes m = RandomMask(rng, static_cast<size_t>(count + start));
        const size_t o = static_cast<size_t>(start) * 4;
        const int level = levels[rng() % std::size(levels)], band = bands[rng() % std::size(bands)];
        for (bool additive : {false, true}) {
            Bytes a = d0, b = d0;
            te::BmpMaskBlendRow_Pas(a.data() + o, z.data() + o, f.data() + o, m.data() + start, count, level, band,
                                    additive);
            te::BmpMaskBlendRow_SSE2(b.data() + o, z.data() + o, f.data() + o, m.data() + start, count, level, band,
                                     additive);
            ASSERT_EQ(a, b) << "count " << count << " level " << level << " band " << band << " additive " << additive;
        }
    });
}

TEST(MaskWorkerForms, AgeingRows) {
    const int amounts[] = {0, 1, 3, 40, 128, 254, 255, 256, 1000, -1};
    ForLengthsAndStarts(3, [&](std::mt19937& rng, int count, int start) {
        const size_t n = static_cast<size_t>(count + start);
        const Bytes m0 = RandomMask(rng, n), d0 = RandomBytes(rng, n);
        const int amount = amounts[rng() % std::size(amounts)];
        for (bool zeroAll : {false, true}) {
            Bytes a = m0, b = m0;
            te::AgeMaskRow_Pas(a.data() + start, count, zeroAll, amount);
            te::AgeMaskRow_SSE2(b.data() + start, count, zeroAll, amount);
            ASSERT_EQ(a, b) << "count " << count << " amount " << amount << " zero " << zeroAll;
            a = d0;
            b = d0;
            te::AgeMaskRowFrom_Pas(a.data() + start, m0.data() + start, count, zeroAll, amount);
            te::AgeMaskRowFrom_SSE2(b.data() + start, m0.data() + start, count, zeroAll, amount);
            ASSERT_EQ(a, b) << "from: count " << count << " amount " << amount << " zero " << zeroAll;
        }
    });
}

TEST(MaskWorkerForms, RangeCopyRows) {
    const int ranges[][2] = {{0, 255},   {60, 180}, {128, 128}, {0, 0},    {255, 255},
                             {200, 100}, {-5, 3},   {250, 400}, {-10, -1}, {256, 300}};
    ForLengthsAndStarts(4, [&](std::mt19937& rng, int count, int start) {
        const size_t n = static_cast<size_t>(count + start) * 4;
        const Bytes s = RandomBytes(rng, n), d0 = RandomBytes(rng, n);
        const Bytes m = RandomMask(rng, static_cast<size_t>(count + start));
        const size_t o = static_cast<size_t>(start) * 4;
        for (const auto& r : ranges) {
            Bytes a = d0, b = d0;
            te::CopyByMaskRangeRow32_Pas(a.data() + o, s.data() + o, m.data() + start, count, r[0], r[1]);
            te::CopyByMaskRangeRow32_SSE2(b.data() + o, s.data() + o, m.data() + start, count, r[0], r[1]);
            ASSERT_EQ(a, b) << "count " << count << " range " << r[0] << ".." << r[1];
        }
    });
}

TEST(BlendWorkerForms, MmxPathAtEveryLevel) {
    std::mt19937 rng(5);
    for (size_t size : {0, 4, 12, 16, 28, 64, 100, 4096 + 36}) {
        for (size_t start : {0, 1, 3}) {
            const Bytes a = RandomBytes(rng, size + start), b = RandomBytes(rng, size + start);
            for (int level = 0; level <= 256; ++level) {
                Bytes p(size + start, 0x5A), q(size + start, 0x5A);
                te::BlendRunMMX_Pas(p.data() + start, a.data() + start, b.data() + start, size, level);
                te::BlendRunMMX_SSE2(q.data() + start, a.data() + start, b.data() + start, size, level);
                ASSERT_EQ(p, q) << "size " << size << " start " << start << " level " << level;
            }
        }
    }
}

TEST(BlendWorkerForms, FieldPathAtEveryLevelFormatAndShareOfEqualWords) {
    std::mt19937 rng(6);
    for (cl::TPixelFormat pf : {cl::pf15bit, cl::pf16bit, cl::pf24bit, cl::pf32bit}) {
        const int top = pf == cl::pf15bit || pf == cl::pf16bit ? 32 : 255;
        for (size_t size : {0, 4, 20, 64, 132}) {
            Bytes nw = RandomBytes(rng, size), od = RandomBytes(rng, size);
            for (size_t w = 0; w + 4 <= size; w += 4)
                if (rng() % 3 == 0) std::memcpy(&od[w], &nw[w], 4);
            const Bytes d0 = RandomBytes(rng, size);
            for (int level = 0; level <= top; ++level)
                for (int percent : {0, 9, 10, 100}) {
                    Bytes p = d0, q = d0;
                    te::BlendRunFields_Pas(p.data(), nw.data(), od.data(), size, level, percent, pf);
                    te::BlendRunFields_SSE2(q.data(), nw.data(), od.data(), size, level, percent, pf);
                    ASSERT_EQ(p, q) << "format " << pf << " size " << size << " level " << level << " percent "
                                    << percent;
                }
        }
    }
}

// Every box side of the blur (1, 3, ..., 101) and every sum its box can have: the SSE2
// form's division in single precision gives the integer quotient each time.
TEST(BoxRowForms, EveryBoxSideAndEverySum) {
    constexpr int kRow = 4096;
    const int near = 5, far = kRow + 7;  // the entries read at Near and at Far never overlap
    std::vector<uint32_t> top(kRow + far), below(kRow + far, 0);
    Bytes p(kRow), q(kRow);
    for (uint32_t f = 1; f <= 101; f += 2) {
        const uint32_t area = f * f;
        for (uint32_t first = 0; first <= 255 * area; first += kRow) {
            std::fill(top.begin(), top.end(), 0u);
            const int count = static_cast<int>(std::min<uint32_t>(kRow, 255 * area - first + 1));
            for (int j = 0; j < count; ++j) top[static_cast<size_t>(j + far)] = first + static_cast<uint32_t>(j);
            te::BoxRow_Pas(p.data(), top.data(), below.data(), count, near, far, area);
            te::BoxRow_SSE2(q.data(), top.data(), below.data(), count, near, far, area);
            for (int j = 0; j < count; ++j)
                ASSERT_EQ(q[static_cast<size_t>(j)], (first + static_cast<uint32_t>(j)) / area) << "side " << f;
            ASSERT_EQ(p, q) << "side " << f;
        }
    }
}

// Sums made of four wrapped table entries, as a summed-area table gives them.
TEST(BoxRowForms, WrappedTableEntries) {
    std::mt19937 rng(8);
    for (int count = 0; count <= 70; ++count) {
        const uint32_t f = 2 * (rng() % 51) + 1, area = f * f;
        const int near = static_cast<int>(rng() % 7), far = near + 3 * static_cast<int>(f);
        std::vector<uint32_t> top(static_cast<size_t>(count + far)), below(top.size());
        for (size_t j = 0; j < top.size(); ++j) below[j] = rng();
        // Top[j + Far] - Top[j + Near] - Below[j + Far] + Below[j + Near] = a box sum.
        for (size_t j = 0; j < top.size(); ++j) top[j] = rng();
        for (int j = 0; j < count; ++j) {
            const uint32_t sum = rng() % (255 * area + 1);
            top[static_cast<size_t>(j + far)] = sum + top[static_cast<size_t>(j + near)] +
                                                below[static_cast<size_t>(j + far)] -
                                                below[static_cast<size_t>(j + near)];
        }
        Bytes p(static_cast<size_t>(count)), q(static_cast<size_t>(count));
        te::BoxRow_Pas(p.data(), top.data(), below.data(), count, near, far, area);
        te::BoxRow_SSE2(q.data(), top.data(), below.data(), count, near, far, area);
        ASSERT_EQ(p, q) << "count " << count;
    }
}

#endif

// Pictures of random pixels in a format.
std::unique_ptr<cl::TBitmap> Noise(std::mt19937& rng, int w, int h, cl::TPixelFormat pf) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, w, h, pf);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int i = 0; i < b->RowBytes(); ++i) row[i] = static_cast<uint8_t>(rng());
    }
    return b;
}

bool SameBits(cl::TBitmap* a, cl::TBitmap* b) {
    if (a->GetHeight() != b->GetHeight() || a->RowBytes() != b->RowBytes()) return false;
    for (int y = 0; y < a->GetHeight(); ++y)
        if (std::memcmp(a->ScanLine(y), b->ScanLine(y), static_cast<size_t>(a->RowBytes())) != 0) return false;
    return true;
}

TEST(FusePattern, DirectCopyGivesWhatTheBlitGives) {
    std::mt19937 rng(7);
    struct Case {
        cl::TPixelFormat pf;
        int w, h;          // the bitmaps
        int areaW, areaH;  // the area copied
        cl::TColor font, brush;
        bool moveBrushOrigin;
        // clang-format off
    } cases[] = {
        {cl::pf32bit, 37, 21, 37, 21, cl::clBlack, cl::clWhite, false},
        {cl::pf24bit, 37, 21, 30, 19, cl::clBlack, cl::clWhite, false},
        {cl::pf32bit, 64, 9, 80, 40, cl::clBlack, cl::clWhite, false},  // area beyond the bitmaps
        {cl::pf32bit, 19, 13, 19, 13, 0x123456, 0x00FF80, false},       // other pattern colours
        {cl::pf24bit, 19, 13, 19, 13, cl::clRed, cl::clNavy, false},
        {cl::pf32bit, 19, 13, 19, 13, cl::clBlack, cl::clWhite, true},  // takes the blit
        {cl::pf16bit, 19, 13, 19, 13, cl::clBlack, cl::clWhite, false},  // takes the blit
        {cl::pf32bit, 1, 1, 1, 1, cl::clBlack, cl::clWhite, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        auto src = Noise(rng, c.w, c.h, c.pf);
        auto dst = Noise(rng, c.w, c.h, c.pf);
        auto ref = std::make_unique<cl::TBitmap>();
        te::AdjustBitmapFormat(ref.get(), nullptr, c.w, c.h, c.pf);
        for (int y = 0; y < c.h; ++y)
            std::memcpy(ref->ScanLine(y), dst->ScanLine(y), static_cast<size_t>(dst->RowBytes()));
        auto pattern = std::make_unique<cl::TBitmap>();
        te::AdjustBitmapFormat(pattern.get(), nullptr, 8, 8, cl::pf1bit);
        for (int y = 0; y < 8; ++y) *static_cast<uint8_t*>(pattern->ScanLine(y)) = static_cast<uint8_t>(rng());
        for (cl::TBitmap* b : {dst.get(), ref.get()}) {
            b->GetCanvas()->GetFont()->SetColor(c.font);
            b->GetCanvas()->GetBrush()->SetColor(c.brush);
            if (c.moveBrushOrigin) win::SetBrushOrgEx(b->GetCanvas()->GetHandle(), 3, 5, nullptr);
        }
        te::CopyThroughPattern(dst.get(), src.get(), pattern.get(), c.areaW, c.areaH);
        te::CopyThroughPatternBlit(ref.get(), src.get(), pattern.get(), c.areaW, c.areaH);
        EXPECT_TRUE(SameBits(dst.get(), ref.get())) << "format " << c.pf << " " << c.w << "x" << c.h;
    }
}

}  // namespace
