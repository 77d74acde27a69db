// Stretch transfer: the nearest, linear and kernel stretches, the draft reduction and the
// equal-size block copy, against slow per-pixel statements of their formulas on small random
// bitmaps, with clipping, draw modes, master alpha and combine modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pix32/Pix32.h"
#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_Resamplers.h"
#include "platform/parallel.h"

using namespace pix32;

namespace {

uint32_t Ch(TColor32 c, int i) { return (c >> (8 * i)) & 0xFF; }

std::unique_ptr<TBitmap32> RandomBitmap(std::mt19937& rng, int w, int h) {
    auto b = std::make_unique<TBitmap32>();
    b->SetSize(w, h);
    for (int i = 0; i < w * h; ++i) b->Bits()[i] = rng();
    return b;
}

std::vector<TColor32> Pixels(const TBitmap32& b) {
    return std::vector<TColor32>(b.Bits(), b.Bits() + b.Width() * b.Height());
}

// The source's draw mode applied to one produced pixel, as the per-pixel routines do it.
// RowForm: the nearest stretch and the block copy use the plain blend when MasterAlpha is 255.
void Combine(const TBitmap32& src, TDrawMode op, TColor32 c, TColor32& d, bool rowForm) {
    const int cm = src.CombineMode();
    switch (op) {
        case dmOpaque: d = c; break;
        case dmBlend:
            if (rowForm && src.MasterAlpha() >= 255)
                d = ModeBlend[cm](c, d);
            else
                d = ModeBlendMaster[cm](c, d, src.MasterAlpha());
            break;
        case dmTransparent:
            if (c != src.OuterColor()) d = c;
            break;
        case dmCustom: d = (c ^ d) | 0x01000000u; break;  // the test's callback
    }
}

const TPixelCombineEvent kXorCallBack = [](TColor32 F, TColor32& B, TColor32) { B = (F ^ B) | 0x01000000u; };

struct Transfer {
    TRect srcRect, dstRect, clip;
};

// The rectangle the routines write: the clip rectangle cut to the destination's bounds and to
// the destination rectangle (nothing is written outside it).
TRect Clipped(const Transfer& s, const TBitmap32& dst) {
    TRect r;
    IntersectRects(r, s.clip, dst.BoundsRect());
    IntersectRects(r, r, s.dstRect);
    return r;
}

// ------------------------------------------------------------------ slow references

TColor32 RefNearest(const TBitmap32& src, const Transfer& s, int x, int y) {
    const auto axis = [](int d, int dLo, int dHi, int sLo, int sHi) {
        if (dHi - dLo < 2) return (sLo + sHi - 1) / 2;
        const float scale = static_cast<float>(sHi - sLo) / static_cast<float>(dHi - dLo);
        return static_cast<int>(std::trunc(sLo + static_cast<double>(d - dLo) * scale));
    };
    return src.Pixel(axis(x, s.dstRect.left, s.dstRect.right, s.srcRect.left, s.srcRect.right),
                     axis(y, s.dstRect.top, s.dstRect.bottom, s.srcRect.top, s.srcRect.bottom));
}

TColor32 RefLinear(const TBitmap32& src, const Transfer& s, int x, int y) {
    // Position and weight of the left (upper) pixel on one axis.
    const auto axis = [](int d, int dLo, int dHi, int sLo, int sHi, int size, int& pos) {
        double v = static_cast<double>(sHi - sLo) / (dHi - dLo) * (d - dLo + 0.5) + sLo - 0.5;
        v = std::clamp(v, 0.0, size - 1.0);
        pos = static_cast<int>(std::floor(v));
        int w = 256 - static_cast<int>(std::nearbyint((v - pos) * 256));
        if (pos + 1 == sHi) pos -= 1, w = 0;
        return std::min(w, 255);
    };
    int px = 0, py = 0;
    const uint32_t wx = axis(x, s.dstRect.left, s.dstRect.right, s.srcRect.left, s.srcRect.right, src.Width(), px);
    const uint32_t wy = axis(y, s.dstRect.top, s.dstRect.bottom, s.srcRect.top, s.srcRect.bottom, src.Height(), py);
    const TColor32 top = WeightedMix(src.Pixel(px, py), src.Pixel(px + 1, py), wx);
    const TColor32 bottom = WeightedMix(src.Pixel(px, py + 1), src.Pixel(px + 1, py + 1), wx);
    return WeightedMix(top, bottom, wy);
}

// The cluster of one destination coordinate, straight from the formulas.
std::vector<std::pair<int, int>> RefCluster(int d, int dLo, int dHi, int sLo, int sHi, const TCustomKernel& k) {
    std::vector<std::pair<int, int>> c;
    if (sHi - sLo == 1) return {{sLo, 256}};
    const float scale = static_cast<float>(dHi - dLo) / static_cast<float>(sHi - sLo);
    const bool reduce = scale < 1.0f;
    const float inv = 1.0f / scale;
    const double fw = reduce ? k.GetWidth() * static_cast<double>(inv) : k.GetWidth();
    const double center = sLo - 0.5 + (d - dLo + 0.5) * static_cast<double>(inv);
    int sum = 0;
    for (long j = static_cast<long>(std::floor(center - fw)); j <= static_cast<long>(std::ceil(center + fw)); ++j) {
        const double f = reduce ? scale * static_cast<double>(k.Filter(static_cast<float>((center - j) * scale)))
                                : static_cast<double>(k.Filter(static_cast<float>(center - j)));
        const int w = static_cast<int>(std::nearbyint(f * 256));
        if (w == 0) continue;
        c.push_back({static_cast<int>(std::clamp<long>(j, sLo, sHi - 1)), w});
        sum += w;
    }
    if (c.empty()) return {{std::clamp(static_cast<int>(std::floor(center)), sLo, sHi - 1), 256}};
    c[(c.size() - 1) / 2].second += 256 - sum;
    return c;
}

TColor32 RefKernel(const TBitmap32& src, const Transfer& s, const TCustomKernel& k, int x, int y) {
    const auto cx = RefCluster(x, s.dstRect.left, s.dstRect.right, s.srcRect.left, s.srcRect.right, k);
    const auto cy = RefCluster(y, s.dstRect.top, s.dstRect.bottom, s.srcRect.top, s.srcRect.bottom, k);
    TColor32 r = 0;
    for (int ch = 0; ch < 4; ++ch) {
        long long sum = 0;
        for (const auto& [py, wy] : cy)
            for (const auto& [px, wx] : cx) sum += static_cast<long long>(wx) * wy * Ch(src.Pixel(px, py), ch);
        long long v = sum;
        if (k.RangeCheck()) v = std::clamp<long long>(v, 0, 255 * 65536);
        r |= static_cast<TColor32>((v >> 16) & 0xFF) << (8 * ch);
    }
    return r;
}

enum class Kind { Nearest, Linear, Kernel };

// Expected destination after a stretch of src into dst (which holds `before`).
std::vector<TColor32> Expected(const TBitmap32& src, const TBitmap32& dst, std::vector<TColor32> before,
                               const Transfer& s, Kind kind, const TCustomKernel* k, TDrawMode op) {
    const TRect c = Clipped(s, dst);
    for (int y = c.top; y < c.bottom; ++y)
        for (int x = c.left; x < c.right; ++x) {
            const TColor32 p = kind == Kind::Nearest  ? RefNearest(src, s, x, y)
                               : kind == Kind::Linear ? RefLinear(src, s, x, y)
                                                      : RefKernel(src, s, *k, x, y);
            Combine(src, op, p, before[static_cast<size_t>(y * dst.Width() + x)], kind == Kind::Nearest);
        }
    return before;
}

Transfer RandomSetup(std::mt19937& rng, const TBitmap32& src, const TBitmap32& dst, int minSrc) {
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Transfer s;
    const int sw = pick(minSrc, src.Width()), sh = pick(minSrc, src.Height());
    s.srcRect.left = pick(0, src.Width() - sw);
    s.srcRect.top = pick(0, src.Height() - sh);
    s.srcRect.right = s.srcRect.left + sw;
    s.srcRect.bottom = s.srcRect.top + sh;
    s.dstRect.left = pick(-3, dst.Width() - 1);
    s.dstRect.top = pick(-3, dst.Height() - 1);
    s.dstRect.right = s.dstRect.left + pick(1, dst.Width() + 4);
    s.dstRect.bottom = s.dstRect.top + pick(1, dst.Height() + 4);
    s.clip = TRect{pick(-1, 3), pick(-1, 3), pick(dst.Width() - 3, dst.Width() + 1),
                   pick(dst.Height() - 3, dst.Height() + 1)};
    return s;
}

struct ModeCase {
    TDrawMode op;
    TCombineMode cm;
    uint32_t master;
};
const ModeCase kModes[] = {
    {dmOpaque, cmBlend, 255}, {dmBlend, cmBlend, 255},       {dmBlend, cmBlend, 90},  {dmBlend, cmMerge, 255},
    {dmBlend, cmMerge, 200},  {dmTransparent, cmBlend, 255}, {dmCustom, cmBlend, 77},
};

void ApplyMode(TBitmap32& src, const ModeCase& m, std::mt19937& rng) {
    src.SetDrawMode(m.op);
    src.SetCombineMode(m.cm);
    src.SetMasterAlpha(m.master);
    // Make some source pixels equal to OuterColor, so the transparent test matters.
    src.SetOuterColor(src.Bits()[0]);
    for (int i = 0; i < src.Width() * src.Height(); i += 3) src.Bits()[i] = src.OuterColor();
    (void)rng;
}

// Runs StretchTransfer through the given resampler class for many random cases.
void CheckAgainstReference(const char* resamplerClass, Kind kind, int minSrc) {
    std::mt19937 rng(12345);
    int stretched = 0;
    for (int iter = 0; iter < 400; ++iter) {
        const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        auto src = RandomBitmap(rng, pick(minSrc, 9), pick(minSrc, 9));
        auto dst = RandomBitmap(rng, pick(1, 13), pick(1, 13));
        const ModeCase& m = kModes[iter % std::size(kModes)];
        ApplyMode(*src, m, rng);
        src->SetResamplerClassName(resamplerClass);
        ASSERT_EQ(src->ResamplerClassName(), resamplerClass);
        const Transfer s = RandomSetup(rng, *src, *dst, minSrc);
        const int sw = s.srcRect.right - s.srcRect.left, sh = s.srcRect.bottom - s.srcRect.top;
        const int dw = s.dstRect.right - s.dstRect.left, dh = s.dstRect.bottom - s.dstRect.top;
        // Linear stretching is reached only when enlarging both ways.
        if (kind == Kind::Linear && !(dw > sw && dh > sh)) continue;
        if (sw == dw && sh == dh) continue;  // the block copy, checked separately
        const TCustomKernel* kernel = nullptr;
        if (kind == Kind::Kernel) {
            auto* kr = static_cast<TKernelResampler*>(src->Resampler());
            static const char* const kKernels[] = {"TBoxKernel", "TLinearKernel", "TCubicKernel", "TLanczosKernel",
                                                   "TMitchellKernel"};
            kr->SetKernelClassName(kKernels[iter % std::size(kKernels)]);
            kernel = kr->Kernel();
        }
        const auto expected = Expected(*src, *dst, Pixels(*dst), s, kind, kernel, m.op);
        StretchTransfer(dst.get(), s.dstRect, s.clip, src.get(), s.srcRect, src->Resampler(), m.op,
                        m.op == dmCustom ? kXorCallBack : TPixelCombineEvent());
        const auto got = Pixels(*dst);
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], expected[i])
                << resamplerClass << " iteration " << iter << " pixel " << i % static_cast<size_t>(dst->Width()) << ","
                << i / static_cast<size_t>(dst->Width()) << " src " << s.srcRect.left << "," << s.srcRect.top << "-"
                << s.srcRect.right << "," << s.srcRect.bottom << " dst " << s.dstRect.left << "," << s.dstRect.top
                << "-" << s.dstRect.right << "," << s.dstRect.bottom << " mode " << int(m.op);
        ++stretched;
    }
    EXPECT_GT(stretched, 100);
}

TEST(StretchTransfer, NearestMatchesReference) { CheckAgainstReference("TNearestResampler", Kind::Nearest, 1); }

TEST(StretchTransfer, LinearMatchesReference) { CheckAgainstReference("TLinearResampler", Kind::Linear, 2); }

TEST(StretchTransfer, KernelMatchesReference) { CheckAgainstReference("TKernelResampler", Kind::Kernel, 1); }

TEST(StretchTransfer, LinearResamplerReducesThroughItsLinearKernel) {
    std::mt19937 rng(7);
    auto src = RandomBitmap(rng, 9, 7);
    src->SetResamplerClassName("TLinearResampler");
    auto dst = RandomBitmap(rng, 5, 5);
    const Transfer s{TRect{0, 0, 9, 7}, TRect{0, 0, 4, 5}, dst->BoundsRect()};
    const TLinearKernel k;
    const auto expected = Expected(*src, *dst, Pixels(*dst), s, Kind::Kernel, &k, dmOpaque);
    src->DrawTo(dst.get(), s.dstRect);
    EXPECT_EQ(Pixels(*dst), expected);
}

TEST(StretchTransfer, EqualSizesCopyTheBlockInEveryMode) {
    std::mt19937 rng(99);
    for (const ModeCase& m : kModes) {
        auto src = RandomBitmap(rng, 6, 5);
        ApplyMode(*src, m, rng);
        auto dst = RandomBitmap(rng, 7, 7);
        const Transfer s{TRect{1, 1, 5, 4}, TRect{-1, 2, 3, 5}, TRect{0, 0, 7, 7}};
        auto expected = Pixels(*dst);
        const TRect c = Clipped(s, *dst);
        for (int y = c.top; y < c.bottom; ++y)
            for (int x = c.left; x < c.right; ++x)
                Combine(*src, m.op, src->Pixel(x - s.dstRect.left + 1, y - s.dstRect.top + 1),
                        expected[static_cast<size_t>(y * 7 + x)], true);
        StretchTransfer(dst.get(), s.dstRect, s.clip, src.get(), s.srcRect, src->Resampler(), m.op,
                        m.op == dmCustom ? kXorCallBack : TPixelCombineEvent());
        EXPECT_EQ(Pixels(*dst), expected) << int(m.op);
    }
}

TEST(StretchTransfer, BlockCopyWithinOneBitmapMovesRowsDown) {
    TBitmap32 b;
    b.SetSize(3, 4);
    for (int i = 0; i < 12; ++i) b.Bits()[i] = static_cast<TColor32>(i);
    StretchTransfer(&b, TRect{0, 1, 3, 4}, b.BoundsRect(), &b, TRect{0, 0, 3, 3}, b.Resampler(), dmOpaque, {});
    const std::vector<TColor32> expected{0, 1, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(Pixels(b), expected);
}

TEST(StretchTransfer, DraftAveragesBlocks) {
    TBitmap32 src;
    src.SetSize(4, 4);
    // Blue channel: the 2 x 2 block at the top left holds 10, 11, 12, 13.
    const TColor32 v[16] = {10, 11, 100, 100, 12, 13, 100, 100, 0, 0, 255, 255, 0, 0, 255, 254};
    for (int i = 0; i < 16; ++i) src.Bits()[i] = 0xFF000000u | v[i];
    src.SetResamplerClassName("TDraftResampler");
    TBitmap32 dst;
    dst.SetSize(2, 2);
    dst.Clear();
    src.DrawTo(&dst, dst.BoundsRect());
    EXPECT_EQ(dst.Pixel(0, 0), 0xFF000000u | ((46u * 4194304u) >> 24));  // 11
    EXPECT_EQ(dst.Pixel(1, 0), 0xFF000000u | 100u);
    EXPECT_EQ(dst.Pixel(0, 1), 0xFF000000u);
    EXPECT_EQ(dst.Pixel(1, 1), 0xFF000000u | ((1019u * 4194304u) >> 24));
}

TEST(StretchTransfer, DraftReductionAgreesWithBlockAverages) {
    std::mt19937 rng(5);
    for (int iter = 0; iter < 60; ++iter) {
        const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        auto src = RandomBitmap(rng, pick(4, 20), pick(4, 20));
        src->SetResamplerClassName("TDraftResampler");
        auto dst = RandomBitmap(rng, 10, 10);
        const int dw = pick(1, src->Width()), dh = pick(1, src->Height());
        const TRect dstRect{pick(-2, 3), pick(-2, 3), 0, 0};
        const TRect r{dstRect.left, dstRect.top, dstRect.left + dw, dstRect.top + dh};
        if (dw == src->Width() && dh == src->Height()) continue;
        auto expected = Pixels(*dst);
        TRect c;
        IntersectRects(c, r, dst->BoundsRect());
        const float sx = static_cast<float>(src->Width()) / dw, sy = static_cast<float>(src->Height()) / dh;
        const long stepX = static_cast<long>(static_cast<double>(sx) * 65536),
                   stepY = static_cast<long>(static_cast<double>(sy) * 65536);
        const int fx = static_cast<int>((c.left - r.left) * static_cast<double>(sx));
        const int fy = static_cast<int>((c.top - r.top) * static_cast<double>(sy));
        for (int y = c.top; y < c.bottom; ++y)
            for (int x = c.left; x < c.right; ++x) {
                const int k = x - c.left, l = y - c.top;
                const int x0 = fx + static_cast<int>((k * stepX) >> 16),
                          x1 = fx + static_cast<int>(((k + 1) * stepX) >> 16);
                const int y0 = fy + static_cast<int>((l * stepY) >> 16),
                          y1 = fy + static_cast<int>(((l + 1) * stepY) >> 16);
                TColor32 p = 0;
                for (int ch = 0; ch < 4; ++ch) {
                    uint32_t sum = 0;
                    for (int yy = y0; yy < y1; ++yy)
                        for (int xx = x0; xx < x1; ++xx) sum += Ch(src->Pixel(xx, yy), ch);
                    const uint32_t n = static_cast<uint32_t>((x1 - x0) * (y1 - y0));
                    p |= ((sum * (16777216u / n)) >> 24) << (8 * ch);
                }
                expected[static_cast<size_t>(y * 10 + x)] = p;
            }
        src->DrawTo(dst.get(), r);
        ASSERT_EQ(Pixels(*dst), expected) << iter;
    }
}

TEST(StretchTransfer, BlockAverageOfHugeBlocksDoesNotOverflow) {
    // 5000 x 4000 white pixels: the channel sums exceed 32 bits, the pixel count 2^24.
    const int w = 5000, h = 4000;
    std::vector<TColor32> block(static_cast<size_t>(w) * h, 0xFFFFFFFFu);
    EXPECT_EQ(BlockAverage(w, h, block.data(), w), 0xFFFFFFFFu);
    std::fill(block.begin(), block.end(), 0x80402010u);
    EXPECT_EQ(BlockAverage(w, h, block.data(), w), 0x80402010u);
    // Small blocks keep the reciprocal form.
    const TColor32 four[4] = {10, 11, 12, 13};
    EXPECT_EQ(BlockAverage(2, 2, four, 2), 11u);
}

TEST(StretchTransfer, NearestEdgeCases) {
    TBitmap32 src;
    src.SetSize(5, 1);
    for (int i = 0; i < 5; ++i) src.Bits()[i] = 0xFF000000u | static_cast<TColor32>(i);
    TBitmap32 dst;
    dst.SetSize(1, 1);
    StretchNearest(&dst, TRect{0, 0, 1, 1}, dst.BoundsRect(), &src, TRect{1, 0, 5, 1}, dmOpaque, {});
    EXPECT_EQ(dst.Pixel(0, 0), 0xFF000002u);  // (1 + 5 - 1) div 2
    EXPECT_THROW(StretchNearest(&dst, TRect{0, 0, 1, 1}, dst.BoundsRect(), &src, TRect{0, 0, 6, 1}, dmOpaque, {}),
                 cl::Exception);
}

TEST(StretchTransfer, KernelFromOnePixelWideSourceRepeatsThatColumn) {
    TBitmap32 src;
    src.SetSize(4, 2);
    for (int i = 0; i < 8; ++i) src.Bits()[i] = 0xFF000000u | static_cast<TColor32>(i * 10);
    TBitmap32 dst;
    dst.SetSize(3, 2);
    TCubicKernel k;
    KernelResample(&dst, dst.BoundsRect(), dst.BoundsRect(), &src, TRect{2, 0, 3, 2}, k, dmOpaque, {});
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(dst.Pixel(x, 0), 0xFF000014u);
        EXPECT_EQ(dst.Pixel(x, 1), 0xFF00003Cu);
    }
}

TEST(StretchTransfer, LinearMapNeverReadsPastTheSourceRectangle) {
    // A source rectangle that ends before the bitmap's last column, whose next column holds a
    // colour that must never show.
    TBitmap32 src;
    src.SetSize(4, 3);
    for (int i = 0; i < 12; ++i) src.Bits()[i] = (i % 4 == 3 || i >= 8) ? 0xFFFF0000u : 0xFF0000FFu;
    TBitmap32 dst;
    dst.SetSize(9, 7);
    StretchLinear(&dst, dst.BoundsRect(), dst.BoundsRect(), &src, TRect{0, 0, 3, 2}, dmOpaque, {});
    for (int i = 0; i < 63; ++i) EXPECT_EQ(RedOf(dst.Bits()[i]), 0u) << i;
}

TEST(StretchTransfer, MappingTableClustersSumTo256AndStayInRange) {
    const TBoxKernel box;
    const TLanczosKernel lanczos;
    const TCustomKernel* kernels[] = {&box, &lanczos};
    for (const TCustomKernel* k : kernels)
        for (int srcW = 1; srcW <= 12; ++srcW)
            for (int dstW = 1; dstW <= 12; ++dstW) {
                TMappingTable t;
                ASSERT_TRUE(BuildMappingTable(t, 10, 10 + dstW, 11, 10 + dstW, 3, 3 + srcW, *k));
                ASSERT_EQ(t.size(), static_cast<size_t>(dstW - 1));
                for (const TCluster& c : t) {
                    ASSERT_FALSE(c.empty());
                    int sum = 0;
                    for (const auto& e : c) {
                        EXPECT_GE(e.Pos, 3);
                        EXPECT_LT(e.Pos, 3 + srcW);
                        sum += e.Weight;
                    }
                    EXPECT_EQ(sum, 256);
                }
            }
    TMappingTable t;
    EXPECT_FALSE(BuildMappingTable(t, 0, 4, 0, 4, 2, 2, box));
    EXPECT_TRUE(BuildMappingTable(t, 0, 4, 2, 2, 0, 3, box));
    EXPECT_TRUE(t.empty());
}

// A kernel that is 0 everywhere: every enlargement cluster would be left without entries.
class TZeroKernel : public TCustomKernel {
public:
    float Filter(float) const override { return 0.0f; }
    float GetWidth() const override { return 1.0f; }
};

TEST(StretchTransfer, EmptyEnlargementClusterReadsThePixelUnderItsCentre) {
    const TZeroKernel zero;
    TMappingTable t;
    ASSERT_TRUE(BuildMappingTable(t, 0, 8, 0, 8, 0, 3, zero));
    for (size_t i = 0; i < t.size(); ++i) {
        ASSERT_EQ(t[i].size(), 1u);
        const double center = -0.5 + (i + 0.5) * (3.0 / 8.0);
        EXPECT_EQ(t[i][0].Pos, std::clamp(static_cast<int>(std::floor(center)), 0, 2));
        EXPECT_EQ(t[i][0].Weight, 256);
    }
    TBitmap32 src, dst;
    src.SetSize(3, 3);
    src.ClearToColor(0xFF336699u);
    dst.SetSize(8, 8);
    KernelResample(&dst, dst.BoundsRect(), dst.BoundsRect(), &src, src.BoundsRect(), zero, dmOpaque, {});
    for (int i = 0; i < 64; ++i) EXPECT_EQ(dst.Bits()[i], 0xFF336699u);
}

TEST(StretchTransfer, ChecksAndSilentEnds) {
    TBitmap32 src, dst;
    src.SetSize(4, 4);
    dst.SetSize(4, 4);
    try {
        StretchTransfer(nullptr, TRect{0, 0, 1, 1}, TRect{}, nullptr, TRect{0, 0, 1, 1}, nullptr, dmOpaque, {});
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_EQ(e.Message, "Destination bitmap is nil");
    }
    try {
        StretchTransfer(&dst, TRect{0, 0, 1, 1}, TRect{}, nullptr, TRect{0, 0, 1, 1}, nullptr, dmOpaque, {});
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_EQ(e.Message, "Source bitmap is nil");
    }
    try {
        StretchTransfer(&dst, TRect{0, 0, 4, 4}, dst.BoundsRect(), &src, TRect{-1, 0, 2, 2}, src.Resampler(), dmOpaque,
                        {});
        FAIL();
    } catch (const ESrcInvalidException& e) {
        EXPECT_EQ(e.Message, "Source rectangle is invalid");
    }
    int reports = 0;
    dst.OnAreaChanged = [&](cl::TObject*, const TRect&, uint32_t) { ++reports; };
    src.SetMasterAlpha(0);
    StretchTransfer(&dst, TRect{0, 0, 4, 4}, dst.BoundsRect(), &src, src.BoundsRect(), src.Resampler(), dmBlend, {});
    EXPECT_EQ(reports, 0);  // master alpha 0 blends nothing and signals nothing
    StretchTransfer(&dst, TRect{0, 0, 4, 4}, dst.BoundsRect(), &src, TRect{1, 1, 1, 3}, src.Resampler(), dmOpaque, {});
    EXPECT_EQ(reports, 0);
    StretchTransfer(&dst, TRect{0, 0, 4, 4}, dst.BoundsRect(), &src, src.BoundsRect(), src.Resampler(), dmOpaque, {});
    EXPECT_EQ(reports, 1);
}

TEST(StretchTransfer, MeasuringReportsTheDestinationWithoutWriting) {
    TBitmap32 src, dst;
    src.SetSize(2, 2);
    src.ClearToColor(0xFFFFFFFFu);
    dst.SetSize(6, 6);
    dst.Clear();
    std::vector<TRect> areas;
    dst.BeginMeasuring([&](cl::TObject*, const TRect& r, uint32_t) { areas.push_back(r); });
    src.DrawTo(&dst, TRect{1, 1, 9, 4});
    dst.EndMeasuring();
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_TRUE(RectsEqual(areas[0], TRect{1, 1, 9, 4}));
    for (int i = 0; i < 36; ++i) EXPECT_EQ(dst.Bits()[i], 0xFF000000u);
}

TEST(StretchTransfer, DrawToClipsToTheDestinationClipRect) {
    TBitmap32 src, dst;
    src.SetSize(2, 2);
    src.ClearToColor(0xFFFFFFFFu);
    dst.SetSize(5, 5);
    dst.Clear();
    dst.SetClipRect(TRect{2, 2, 4, 4});
    src.DrawTo(&dst, dst.BoundsRect());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(dst.Pixel(x, y), (x >= 2 && x < 4 && y >= 2 && y < 4) ? 0xFFFFFFFFu : 0xFF000000u);
}

TEST(StretchTransfer, InterpolatorPortableForm) {
    const TColor32 p[2] = {0xFF000000u, 0xFFFFFFFFu};
    const TColor32 q[2] = {0x00000000u, 0x00FFFFFFu};
    // 256 is taken as 255; the weights sit in the upper halves.
    EXPECT_EQ(Interpolator(256u * 0x10001u, 256u * 0x10001u, p, q),
              WeightedMix(WeightedMix(p[0], p[1], 255), WeightedMix(q[0], q[1], 255), 255));
    EXPECT_EQ(Interpolator(0, 0, p, q), q[1]);
    EXPECT_EQ(Interpolator(128u << 16, 0, p, q), WeightedMix(q[0], q[1], 128));
}

// Runs `f` on the calling thread alone: a row-parallel loop started inside a band of another
// one does not split again.
template <class F>
void OnOneThread(F f) {
    win::ParallelRows(0, 2, 1, [&](int first, int) {
        if (first == 0) f();
    });
}

TEST(StretchTransfer, LargePicturesAndLongClustersMatchReference) {
    // The sizes the picture control meets (several hundred thousand pixels, split into bands
    // over the cores), odd widths, a clip, kernels with negative weights, and a reduction whose
    // clusters hold hundreds of source rows.
    struct Case {
        const char* kernel;
        int sw, sh;
        TRect srcRect, dstRect, clip;
        TDrawMode op;
    } cases[] = {
        {"TLinearKernel", 1001, 757, TRect{0, 0, 1001, 757}, TRect{0, 0, 641, 483}, TRect{0, 0, 641, 483}, dmOpaque},
        {"TLanczosKernel", 903, 611, TRect{1, 2, 902, 611}, TRect{-5, 3, 597, 407}, TRect{2, 0, 590, 405}, dmOpaque},
        {"TCubicKernel", 333, 251, TRect{0, 0, 333, 251}, TRect{0, 0, 701, 517}, TRect{0, 0, 701, 517}, dmBlend},
        {"TLinearKernel", 5, 600, TRect{0, 0, 5, 600}, TRect{0, 0, 3, 2}, TRect{0, 0, 3, 2}, dmOpaque},
    };
    std::mt19937 rng(31);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kernel) + " " + std::to_string(c.sw) + "x" + std::to_string(c.sh));
        auto src = RandomBitmap(rng, c.sw, c.sh);
        auto dst = RandomBitmap(rng, c.dstRect.right + 2, c.dstRect.bottom + 1);
        src->SetDrawMode(c.op);
        src->SetMasterAlpha(c.op == dmBlend ? 180 : 255);
        TKernelResampler resampler;
        resampler.SetKernelClassName(c.kernel);
        const Transfer s{c.srcRect, c.dstRect, c.clip};
        const auto expected = Expected(*src, *dst, Pixels(*dst), s, Kind::Kernel, resampler.Kernel(), c.op);
        KernelResample(dst.get(), c.dstRect, c.clip, src.get(), c.srcRect, *resampler.Kernel(), c.op, {});
        const auto got = Pixels(*dst);
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], expected[i])
                << "pixel " << i % static_cast<size_t>(dst->Width()) << "," << i / static_cast<size_t>(dst->Width());
    }
}

TEST(StretchTransfer, BandsOverSeveralCoresGiveTheBytesOfOneThread) {
    if (win::ParallelThreadCount() < 2) GTEST_SKIP() << "one processor core: nothing to split";
    // The player's fit (a 4:3 picture reduced into 1920 x 1080) scaled down, an enlargement
    // through the linear stretch, and blending.
    struct Case {
        const char* resampler;
        int sw, sh, dw, dh;
        TDrawMode op;
        // clang-format off
    } cases[] = {
        {"TLinearResampler", 1600, 1200, 720, 540, dmOpaque},  {"TLinearResampler", 500, 375, 1001, 749, dmOpaque},
        {"TLinearResampler", 1600, 1200, 720, 540, dmBlend},   {"TKernelResampler", 900, 700, 613, 459, dmTransparent},
        {"TLinearResampler", 1200, 900, 750, 563, dmCustom},
    };
    // clang-format on
    std::mt19937 rng(77);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.resampler) + " to " + std::to_string(c.dw) + "x" + std::to_string(c.dh));
        auto src = RandomBitmap(rng, c.sw, c.sh);
        src->SetResamplerClassName(c.resampler);
        src->SetDrawMode(c.op);
        src->SetMasterAlpha(c.op == dmBlend ? 200 : 255);
        src->SetOuterColor(src->Bits()[0]);
        auto many = RandomBitmap(rng, c.dw, c.dh);
        TBitmap32 one;
        one.Assign(many.get());
        const TPixelCombineEvent callBack = c.op == dmCustom ? kXorCallBack : TPixelCombineEvent();
        StretchTransfer(many.get(), many->BoundsRect(), many->BoundsRect(), src.get(), src->BoundsRect(),
                        src->Resampler(), c.op, callBack);
        OnOneThread([&] {
            StretchTransfer(&one, one.BoundsRect(), one.BoundsRect(), src.get(), src->BoundsRect(), src->Resampler(),
                            c.op, callBack);
        });
        ASSERT_EQ(Pixels(*many), Pixels(one));
    }
}

}  // namespace
