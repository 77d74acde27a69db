// Stretch transfer: copying a rectangle of one bitmap into a rectangle of another, with
// nearest, bilinear, kernel and draft (box-averaging) stretching, and combining every
// produced pixel with the destination by the source's draw mode.
#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_LowLevel.h"
#include "pix32/Pix32_Math.h"
#include "pix32/Pix32_Resamplers.h"
#include "platform/parallel.h"

namespace pix32 {

// ---------------------------------------------------------------------------------------------
// Pixel helpers

TColor32 BlockAverage_Pas(int32_t W, int32_t H, const TColor32* P, int32_t Stride) {
    // 64-bit sums: a block of any size adds up without overflow.
    uint64_t sb = 0, sg = 0, sr = 0, sa = 0;
    for (int32_t y = 0; y < H; ++y) {
        const TColor32* row = P + static_cast<ptrdiff_t>(y) * Stride;
        for (int32_t x = 0; x < W; ++x) {
            const TColor32 c = row[x];
            sb += c & 0xFF;
            sg += (c >> 8) & 0xFF;
            sr += (c >> 16) & 0xFF;
            sa += c >> 24;
        }
    }
    const uint64_t n = static_cast<uint64_t>(W) * static_cast<uint64_t>(H);
    if (n == 0) return 0;
    const auto avg = [n](uint64_t sum) -> TColor32 {
        // The reciprocal form (Sum x (2^24 div n)) shr 24 for blocks up to 2^24 pixels; the
        // reciprocal would be 0 beyond that, so larger blocks divide.
        if (n <= (uint64_t{1} << 24)) return static_cast<TColor32>(((sum * ((uint64_t{1} << 24) / n)) >> 24) & 0xFF);
        return static_cast<TColor32>(std::min<uint64_t>(sum / n, 255));
    };
    return (avg(sa) << 24) | (avg(sr) << 16) | (avg(sg) << 8) | avg(sb);
}

TColor32 Interpolator_Pas(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q) {
    const uint32_t wx = std::min<uint32_t>(WX >> 16, 255);
    const uint32_t wy = std::min<uint32_t>(WY >> 16, 255);
    return WeightedMix(WeightedMix(P[0], P[1], wx), WeightedMix(Q[0], Q[1], wx), wy);
}

TBlockAverageProc BlockAverage = BlockAverage_Pas;
TInterpolatorProc Interpolator = Interpolator_Pas;

namespace {

int32_t RectWidth(const TRect& R) { return R.right - R.left; }
int32_t RectHeight(const TRect& R) { return R.bottom - R.top; }

bool SrcRectInside(const TRect& SrcRect, const TBitmap32* Src) {
    return SrcRect.left >= 0 && SrcRect.top >= 0 && SrcRect.right <= Src->Width() && SrcRect.bottom <= Src->Height();
}

// DstClip within Dst's bounds and DstRect; false when nothing is left.
bool ClipDest(TRect& Clip, const TRect& DstClip, const TRect& DstRect, const TBitmap32* Dst) {
    IntersectRects(Clip, DstClip, Dst->BoundsRect());
    IntersectRects(Clip, Clip, DstRect);
    return !RectIsEmpty(Clip);
}

// Stores or combines one produced pixel by the draw mode (dmBlend always in the master form).
class TPixelWriter {
public:
    TPixelWriter(const TBitmap32* Src, TDrawMode Op, const TPixelCombineEvent& CallBack)
        : FOp(Op), FCallBack(CallBack), FMaster(Src->MasterAlpha()), FOuter(Src->OuterColor()),
          FBlend(ModeBlendMasterTo[Src->CombineMode() & 1]) {}
    void Put(TColor32 C, TColor32& D) const {
        switch (FOp) {
            case dmOpaque: D = C; break;
            case dmBlend: FBlend(C, D, FMaster); break;
            case dmTransparent:
                if (C != FOuter) D = C;
                break;
            case dmCustom: FCallBack(C, D, FMaster); break;
        }
    }

private:
    TDrawMode FOp;
    const TPixelCombineEvent& FCallBack;
    uint32_t FMaster;
    TColor32 FOuter;
    TBlendMemEx FBlend;
};

// Combines a row of produced pixels into a destination row by the draw mode; dmBlend takes
// the plain row routine when the master alpha is 255.
void CombineRow(const TColor32* Src, TColor32* Dst, int32_t Count, const TBitmap32* Source, TDrawMode Op,
                const TPixelCombineEvent& CallBack) {
    switch (Op) {
        case dmOpaque: MoveDWords(Src, Dst, Count); break;
        case dmBlend: {
            const uint32_t m = Source->MasterAlpha();
            const int cm = Source->CombineMode() & 1;
            if (m >= 255)
                ModeBlendRow[cm](Src, Dst, Count);
            else
                ModeBlendMasterRow[cm](Src, Dst, Count, m);
            break;
        }
        case dmTransparent: {
            const TColor32 outer = Source->OuterColor();
            for (int32_t i = 0; i < Count; ++i)
                if (Src[i] != outer) Dst[i] = Src[i];
            break;
        }
        case dmCustom: {
            const uint32_t m = Source->MasterAlpha();
            for (int32_t i = 0; i < Count; ++i) CallBack(Src[i], Dst[i], m);
            break;
        }
    }
}

// Clears the processor state also when an exception passes.
struct TMultimediaStateGuard {
    ~TMultimediaStateGuard() { ClearMultimediaState(); }
};

// Runs Body(first, last) over the destination rows [0, Rows): in bands on several cores
// when the work is large and no user callback combines the pixels, else at once here.
template <class TBody>
void ForRowBands(int32_t Rows, int32_t Cols, TDrawMode CombineOp, const TBody& Body) {
    if (CombineOp != dmCustom && static_cast<int64_t>(Rows) * Cols >= kParallelPixels)
        win::ParallelRows(0, Rows, 8, Body);
    else
        Body(0, Rows);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry and block transfer

void StretchTransfer(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                     TCustomResampler* Resampler, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    if (!Dst) throw EBitmapException("Destination bitmap is nil");
    if (!Src) throw EBitmapException("Source bitmap is nil");
    if (Src->Empty() || Dst->Empty() || (CombineOp == dmBlend && Src->MasterAlpha() == 0)) return;
    if (RectIsEmpty(SrcRect)) return;
    if (!SrcRectInside(SrcRect, Src)) throw ESrcInvalidException("Source rectangle is invalid");
    if (!Dst->MeasuringMode()) {
        TRect clip;
        if (!ClipDest(clip, DstClip, DstRect, Dst)) return;
        if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
        TMultimediaStateGuard guard;
        if (RectWidth(SrcRect) == RectWidth(DstRect) && RectHeight(SrcRect) == RectHeight(DstRect))
            BlockTransfer(Dst, clip, Src, SrcRect.left + clip.left - DstRect.left, SrcRect.top + clip.top - DstRect.top,
                          CombineOp, CombineCallBack);
        else if (Resampler)
            Resampler->Resample(Dst, DstRect, clip, Src, SrcRect, CombineOp, CombineCallBack);
        else
            StretchNearest(Dst, DstRect, clip, Src, SrcRect, CombineOp, CombineCallBack);
    }
    Dst->ChangedArea(DstRect, AreaInfoRect);
}

void BlockTransfer(TBitmap32* Dst, const TRect& DstRect, TBitmap32* Src, int32_t SrcX, int32_t SrcY,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    const int32_t w = RectWidth(DstRect), h = RectHeight(DstRect);
    if (w <= 0 || h <= 0) return;
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    // Within one bitmap, rows moving down are walked from the bottom so that no source row
    // is overwritten before it is read.
    const bool upward = Src == Dst && SrcY < DstRect.top;
    for (int32_t k = 0; k < h; ++k) {
        const int32_t r = upward ? h - 1 - k : k;
        CombineRow(Src->PixelPtr(SrcX, SrcY + r), Dst->PixelPtr(DstRect.left, DstRect.top + r), w, Src, CombineOp,
                   CombineCallBack);
    }
}

// ---------------------------------------------------------------------------------------------
// Nearest

namespace {
// Source coordinate of each clipped destination coordinate by nearest neighbour.
std::vector<int32_t> NearestMap(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi, int32_t SrcLo,
                                int32_t SrcHi) {
    const int32_t dstW = DstHi - DstLo, srcW = SrcHi - SrcLo;
    std::vector<int32_t> map(static_cast<size_t>(ClipHi - ClipLo));
    if (dstW < 2) {
        std::fill(map.begin(), map.end(), (SrcLo + SrcHi - 1) / 2);
        return map;
    }
    const float scale = static_cast<float>(srcW) / static_cast<float>(dstW);
    for (size_t i = 0; i < map.size(); ++i) {
        const double v = SrcLo + static_cast<double>(static_cast<int64_t>(i) + ClipLo - DstLo) * scale;
        map[i] = std::clamp(static_cast<int32_t>(v), SrcLo, SrcHi - 1);
    }
    return map;
}
}  // namespace

void StretchNearest(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    TRect clip;
    if (!ClipDest(clip, DstClip, DstRect, Dst)) return;
    if (RectIsEmpty(SrcRect) || !SrcRectInside(SrcRect, Src)) throw cl::Exception("Invalid SrcRect");
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    if (RectWidth(SrcRect) == RectWidth(DstRect) && RectHeight(SrcRect) == RectHeight(DstRect)) {
        BlockTransfer(Dst, clip, Src, SrcRect.left + clip.left - DstRect.left, SrcRect.top + clip.top - DstRect.top,
                      CombineOp, CombineCallBack);
        return;
    }
    const std::vector<int32_t> mapX =
        NearestMap(DstRect.left, DstRect.right, clip.left, clip.right, SrcRect.left, SrcRect.right);
    const std::vector<int32_t> mapY =
        NearestMap(DstRect.top, DstRect.bottom, clip.top, clip.bottom, SrcRect.top, SrcRect.bottom);
    const int32_t w = RectWidth(clip);
    std::vector<TColor32> buffer(CombineOp == dmOpaque ? 0 : static_cast<size_t>(w));
    int32_t prev = -1;
    for (int32_t k = 0; k < RectHeight(clip); ++k) {
        const int32_t sy = mapY[static_cast<size_t>(k)];
        TColor32* d = Dst->PixelPtr(clip.left, clip.top + k);
        const TColor32* s = Src->ScanLine(sy);
        if (CombineOp == dmOpaque) {
            if (sy == prev)
                MoveDWords(d - Dst->Width(), d, w);
            else
                for (int32_t i = 0; i < w; ++i) d[i] = s[mapX[static_cast<size_t>(i)]];
        } else {
            if (sy != prev)
                for (int32_t i = 0; i < w; ++i) buffer[static_cast<size_t>(i)] = s[mapX[static_cast<size_t>(i)]];
            CombineRow(buffer.data(), d, w, Src, CombineOp, CombineCallBack);
        }
        prev = sy;
    }
}

// ---------------------------------------------------------------------------------------------
// Linear

namespace {
struct TLinearEntry {
    int32_t Pos;
    uint32_t Weight;  // the weight of Pos (0..256) in both 16-bit halves
};

std::vector<TLinearEntry> LinearMap(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi, int32_t SrcLo,
                                    int32_t SrcHi, int32_t SrcSize) {
    const double scale = static_cast<double>(SrcHi - SrcLo) / static_cast<double>(DstHi - DstLo);
    std::vector<TLinearEntry> map(static_cast<size_t>(ClipHi - ClipLo));
    for (size_t i = 0; i < map.size(); ++i) {
        double x = scale * (static_cast<double>(static_cast<int64_t>(i) + ClipLo - DstLo) + 0.5) + SrcLo - 0.5;
        x = std::clamp(x, 0.0, static_cast<double>(SrcSize - 1));
        const double pos = std::floor(x);
        const int32_t weight = 256 - static_cast<int32_t>(std::nearbyint((x - pos) * 256.0));
        map[i] = TLinearEntry{static_cast<int32_t>(pos), static_cast<uint32_t>(weight)};
    }
    // The last source column or row has no right neighbour: it takes the whole weight.
    for (size_t i = map.size(); i-- > 0 && map[i].Pos + 1 >= SrcHi;) {
        map[i].Pos = SrcHi - 2;
        map[i].Weight = 0;
    }
    for (auto& e : map) e.Weight *= 0x10001u;
    return map;
}
}  // namespace

void StretchLinear(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    TMultimediaStateGuard guard;
    TRect clip;
    if (!ClipDest(clip, DstClip, DstRect, Dst)) return;
    if (RectWidth(SrcRect) < 2 || RectHeight(SrcRect) < 2 || !SrcRectInside(SrcRect, Src)) return;
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    const auto mapX =
        LinearMap(DstRect.left, DstRect.right, clip.left, clip.right, SrcRect.left, SrcRect.right, Src->Width());
    const auto mapY =
        LinearMap(DstRect.top, DstRect.bottom, clip.top, clip.bottom, SrcRect.top, SrcRect.bottom, Src->Height());
    const TPixelWriter writer(Src, CombineOp, CombineCallBack);
    const int32_t stride = Src->Width();
    const TInterpolatorProc interpolate = Interpolator;
    ForRowBands(static_cast<int32_t>(mapY.size()), static_cast<int32_t>(mapX.size()), CombineOp,
                [&](int32_t first, int32_t last) {
                    for (int32_t k = first; k < last; ++k) {
                        const TLinearEntry ey = mapY[static_cast<size_t>(k)];
                        const TColor32* row = Src->ScanLine(ey.Pos);
                        TColor32* d = Dst->PixelPtr(clip.left, clip.top + k);
                        for (size_t i = 0; i < mapX.size(); ++i) {
                            const TLinearEntry ex = mapX[i];
                            const TColor32* p = row + ex.Pos;
                            writer.Put(interpolate(ex.Weight, ey.Weight, p, p + stride), d[i]);
                        }
                    }
                });
}

// ---------------------------------------------------------------------------------------------
// Kernel

bool BuildMappingTable(TMappingTable& Table, int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                       int32_t SrcLo, int32_t SrcHi, const TCustomKernel& Kernel) {
    Table.clear();
    const int32_t srcW = SrcHi - SrcLo, dstW = DstHi - DstLo, clipW = ClipHi - ClipLo;
    if (srcW <= 0) return false;
    if (clipW <= 0) return true;
    Table.resize(static_cast<size_t>(clipW));
    if (srcW == 1) {
        for (auto& c : Table) c.assign(1, TClusterEntry{SrcLo, 256});
        return true;
    }
    float scale = static_cast<float>(dstW) / static_cast<float>(srcW);
    double fw = Kernel.GetWidth();
    const bool reduce = scale < 1.0f;
    const double oldScale = scale;
    scale = 1.0f / scale;
    if (reduce) fw *= scale;
    for (int32_t i = 0; i < clipW; ++i) {
        TCluster& cluster = Table[static_cast<size_t>(i)];
        const double center = SrcLo - 0.5 + (static_cast<double>(i) + ClipLo - DstLo + 0.5) * scale;
        const int64_t lo = static_cast<int64_t>(std::floor(center - fw));
        const int64_t hi = static_cast<int64_t>(std::ceil(center + fw));
        int32_t sum = 0;
        for (int64_t j = lo; j <= hi; ++j) {
            const double f = reduce ? oldScale * Kernel.Filter(static_cast<float>((center - j) * oldScale))
                                    : Kernel.Filter(static_cast<float>(center - j));
            const int32_t weight = static_cast<int32_t>(std::nearbyint(f * 256.0));
            if (weight == 0) continue;
            const int32_t pos = static_cast<int32_t>(std::clamp<int64_t>(j, SrcLo, SrcHi - 1));
            cluster.push_back(TClusterEntry{pos, weight});
            sum += weight;
        }
        if (cluster.empty()) {
            // Every weight rounded to 0: the pixel under the centre takes the whole weight,
            // so no cluster is ever left without a position.
            const int32_t pos =
                static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(std::floor(center)), SrcLo, SrcHi - 1));
            cluster.push_back(TClusterEntry{pos, 256});
        } else if (sum != 256) {
            cluster[(cluster.size() - 1) / 2].Weight += 256 - sum;
        }
    }
    return true;
}

namespace {

// Buffer[4 x + c] := the sum over the cluster of weight x channel c of source pixel
// (First + x, row): channels in memory order (blue, green, red, alpha), so the loop runs
// over plain bytes. Integer sums are exact, so the order of the terms does not matter.
void VerticalSums(int32_t* Buffer, const TBitmap32* Src, int32_t First, size_t Cols, const TCluster& Cluster) {
    const size_t n = Cols * 4;
    std::fill(Buffer, Buffer + n, 0);
    size_t x = 0;
#if defined(__SSE2__)
    // Sixteen bytes a turn, all rows of the cluster summed in registers before one store.
    // Two rows at a time: their bytes are interleaved as 16-bit pairs and the multiply-add
    // gives a x wa + b x wb per 32-bit lane, exact for weights that fit 16 bits (every
    // kernel's do; other clusters take the plain loop).
    const bool narrow = std::all_of(Cluster.begin(), Cluster.end(),
                                    [](const TClusterEntry& e) { return e.Weight >= -32768 && e.Weight <= 32767; });
    if (narrow && !Cluster.empty()) {
        constexpr size_t kMaxRows = 64;
        const uint8_t* rows[kMaxRows];
        __m128i weights[kMaxRows / 2];
        const size_t count = std::min(Cluster.size(), kMaxRows);
        for (size_t j = 0; j < count; ++j)
            rows[j] = reinterpret_cast<const uint8_t*>(Src->PixelPtr(First, Cluster[j].Pos));
        for (size_t j = 0; j < count; j += 2) {
            const uint32_t wa = static_cast<uint32_t>(Cluster[j].Weight) & 0xFFFF;
            const uint32_t wb = j + 1 < count ? static_cast<uint32_t>(Cluster[j + 1].Weight) & 0xFFFF : 0;
            weights[j / 2] = _mm_set1_epi32(static_cast<int32_t>(wa | (wb << 16)));
        }
        const __m128i zero = _mm_setzero_si128();
        for (; x + 16 <= n; x += 16) {
            __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
            for (size_t j = 0; j < count; j += 2) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[j] + x));
                const __m128i b =
                    j + 1 < count ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[j + 1] + x)) : zero;
                const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
                const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
                const __m128i w = weights[j / 2];
                acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), w));
                acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), w));
                acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), w));
                acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), w));
            }
            __m128i* out = reinterpret_cast<__m128i*>(Buffer + x);
            _mm_storeu_si128(out, acc0);
            _mm_storeu_si128(out + 1, acc1);
            _mm_storeu_si128(out + 2, acc2);
            _mm_storeu_si128(out + 3, acc3);
        }
        if (count < Cluster.size()) {
            // Clusters of more rows than the registers hold add the rest the plain way.
            for (size_t j = count; j < Cluster.size(); ++j) {
                const int32_t w = Cluster[j].Weight;
                const uint8_t* src = reinterpret_cast<const uint8_t*>(Src->PixelPtr(First, Cluster[j].Pos));
                for (size_t k = 0; k < x; ++k) Buffer[k] += w * src[k];
            }
        }
    }
#endif
    for (const TClusterEntry& e : Cluster) {
        const int32_t w = e.Weight;
        const uint8_t* src = reinterpret_cast<const uint8_t*>(Src->PixelPtr(First, e.Pos));
        for (size_t k = x; k < n; ++k) Buffer[k] += w * src[k];
    }
}

// The column clusters flattened: for destination column i, the entries Start[i] ..
// Start[i + 1] - 1 of Offset (index of the first of the four sums in the buffer) and Weight.
struct TFlatClusters {
    std::vector<uint32_t> Start, Offset;
    std::vector<int32_t> Weight;
    TFlatClusters(const TMappingTable& Map, int32_t First) {
        Start.reserve(Map.size() + 1);
        for (const TCluster& c : Map) {
            Start.push_back(static_cast<uint32_t>(Offset.size()));
            for (const TClusterEntry& e : c) {
                Offset.push_back(static_cast<uint32_t>(e.Pos - First) * 4);
                Weight.push_back(e.Weight);
            }
        }
        Start.push_back(static_cast<uint32_t>(Offset.size()));
    }
};

// One destination row from the vertical sums: each channel summed over the column's
// cluster, a 16.16 value; with RangeCheck clamped to 0 .. 255 x 65536, then its upper
// 16 bits, of which the low byte is the channel.
using THorizontalProc = void (*)(const int32_t* Buffer, const TFlatClusters& Map, bool RangeCheck, TColor32* Out);

void HorizontalSums_Pas(const int32_t* Buffer, const TFlatClusters& Map, bool RangeCheck, TColor32* Out) {
    const size_t n = Map.Start.size() - 1;
    for (size_t i = 0; i < n; ++i) {
        int32_t sum[4] = {0, 0, 0, 0};
        for (uint32_t e = Map.Start[i]; e < Map.Start[i + 1]; ++e) {
            const int32_t* b = Buffer + Map.Offset[e];
            const int32_t w = Map.Weight[e];
            for (int c = 0; c < 4; ++c) sum[c] += b[c] * w;
        }
        TColor32 result = 0;
        for (int c = 0; c < 4; ++c) {
            int32_t v = sum[c];
            if (RangeCheck) v = std::clamp(v, 0, 255 * 65536);
            result |= static_cast<TColor32>((v >> 16) & 0xFF) << (8 * c);
        }
        Out[i] = result;
    }
}

#if defined(__x86_64__) || defined(__i386__)
// The same with the four channels of a column in one register (32-bit multiplies).
__attribute__((target("sse4.1"))) void HorizontalSums_SSE41(const int32_t* Buffer, const TFlatClusters& Map,
                                                            bool RangeCheck, TColor32* Out) {
    const size_t n = Map.Start.size() - 1;
    const __m128i lo = _mm_setzero_si128(), hi = _mm_set1_epi32(255 * 65536), mask = _mm_set1_epi32(0xFF);
    for (size_t i = 0; i < n; ++i) {
        __m128i sum = _mm_setzero_si128();
        for (uint32_t e = Map.Start[i]; e < Map.Start[i + 1]; ++e) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Buffer + Map.Offset[e]));
            sum = _mm_add_epi32(sum, _mm_mullo_epi32(b, _mm_set1_epi32(Map.Weight[e])));
        }
        if (RangeCheck) sum = _mm_min_epi32(_mm_max_epi32(sum, lo), hi);
        const __m128i bytes = _mm_and_si128(_mm_srai_epi32(sum, 16), mask);
        const __m128i packed = _mm_packus_epi16(_mm_packus_epi32(bytes, bytes), lo);
        Out[i] = static_cast<TColor32>(_mm_cvtsi128_si32(packed));
    }
}
#endif

THorizontalProc HorizontalSums() {
#if defined(__x86_64__) || defined(__i386__)
    static const THorizontalProc proc = __builtin_cpu_supports("sse4.1") ? HorizontalSums_SSE41 : HorizontalSums_Pas;
    return proc;
#else
    return HorizontalSums_Pas;
#endif
}

}  // namespace

void KernelResample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                    const TCustomKernel& Kernel, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    TMultimediaStateGuard guard;
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    if (CombineOp == dmBlend && Src->MasterAlpha() == 0) return;
    TRect clip;
    if (!ClipDest(clip, DstClip, DstRect, Dst)) return;
    if (!SrcRectInside(SrcRect, Src)) return;
    TMappingTable mapX, mapY;
    if (!BuildMappingTable(mapX, DstRect.left, DstRect.right, clip.left, clip.right, SrcRect.left, SrcRect.right,
                           Kernel) ||
        !BuildMappingTable(mapY, DstRect.top, DstRect.bottom, clip.top, clip.bottom, SrcRect.top, SrcRect.bottom,
                           Kernel))
        return;
    if (mapX.empty() || mapY.empty()) return;
    int32_t first = INT32_MAX, last = INT32_MIN;
    for (const auto& c : mapX)
        for (const auto& e : c) {
            first = std::min(first, e.Pos);
            last = std::max(last, e.Pos);
        }
    const size_t cols = static_cast<size_t>(last - first + 1);
    const bool rangeCheck = Kernel.RangeCheck();
    const TPixelWriter writer(Src, CombineOp, CombineCallBack);
    const TFlatClusters flatX(mapX, first);
    const THorizontalProc horizontal = HorizontalSums();
    ForRowBands(static_cast<int32_t>(mapY.size()), static_cast<int32_t>(mapX.size()), CombineOp,
                [&](int32_t firstRow, int32_t lastRow) {
                    // Per band: the vertical sums of one row (four per source column) and
                    // the row it gives.
                    std::vector<int32_t> buffer(cols * 4);
                    std::vector<TColor32> row(mapX.size());
                    for (int32_t k = firstRow; k < lastRow; ++k) {
                        VerticalSums(buffer.data(), Src, first, cols, mapY[static_cast<size_t>(k)]);
                        TColor32* d = Dst->PixelPtr(clip.left, clip.top + k);
                        if (CombineOp == dmOpaque) {
                            horizontal(buffer.data(), flatX, rangeCheck, d);
                            continue;
                        }
                        horizontal(buffer.data(), flatX, rangeCheck, row.data());
                        for (size_t i = 0; i < row.size(); ++i) writer.Put(row[i], d[i]);
                    }
                });
}

// ---------------------------------------------------------------------------------------------
// Draft

void DraftResample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                   const TCustomKernel& Kernel, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    TMultimediaStateGuard guard;
    const int32_t srcW = RectWidth(SrcRect), srcH = RectHeight(SrcRect);
    const int32_t dstW = RectWidth(DstRect), dstH = RectHeight(DstRect);
    if (srcW < dstW || srcH < dstH) {
        if (srcW < 2 || srcH < 2)
            KernelResample(Dst, DstRect, DstClip, Src, SrcRect, Kernel, CombineOp, CombineCallBack);
        else
            StretchLinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
        return;
    }
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    TRect clip;
    if (!ClipDest(clip, DstClip, DstRect, Dst)) return;
    if (srcW <= 0 || srcH <= 0 || !SrcRectInside(SrcRect, Src)) return;
    const float scaleX = static_cast<float>(srcW) / static_cast<float>(dstW);
    const float scaleY = static_cast<float>(srcH) / static_cast<float>(dstH);
    const int64_t stepX = static_cast<int64_t>(static_cast<double>(scaleX) * 65536.0);
    const int64_t stepY = static_cast<int64_t>(static_cast<double>(scaleY) * 65536.0);
    const int32_t firstX =
        SrcRect.left + static_cast<int32_t>((clip.left - DstRect.left) * static_cast<double>(scaleX));
    const int32_t firstY = SrcRect.top + static_cast<int32_t>((clip.top - DstRect.top) * static_cast<double>(scaleY));
    // Block edges along one axis, kept inside the source rectangle (each block at least one
    // pixel).
    const auto edges = [](int32_t first, int64_t step, int32_t count, int32_t lo, int32_t hi) {
        std::vector<int32_t> e(static_cast<size_t>(count) + 1);
        for (int32_t k = 0; k <= count; ++k) {
            const int64_t v = first + ((static_cast<int64_t>(k) * step) >> 16);
            e[static_cast<size_t>(k)] = static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
        }
        for (int32_t k = 0; k < count; ++k) {
            int32_t& a = e[static_cast<size_t>(k)];
            a = std::min(a, hi - 1);
            e[static_cast<size_t>(k) + 1] = std::max(e[static_cast<size_t>(k) + 1], a + 1);
        }
        return e;
    };
    const auto ex = edges(firstX, stepX, RectWidth(clip), SrcRect.left, SrcRect.right);
    const auto ey = edges(firstY, stepY, RectHeight(clip), SrcRect.top, SrcRect.bottom);
    const TPixelWriter writer(Src, CombineOp, CombineCallBack);
    for (int32_t k = 0; k < RectHeight(clip); ++k) {
        const int32_t y0 = ey[static_cast<size_t>(k)], y1 = ey[static_cast<size_t>(k) + 1];
        TColor32* d = Dst->PixelPtr(clip.left, clip.top + k);
        for (int32_t i = 0; i < RectWidth(clip); ++i) {
            const int32_t x0 = ex[static_cast<size_t>(i)], x1 = ex[static_cast<size_t>(i) + 1];
            writer.Put(BlockAverage(x1 - x0, y1 - y0, Src->PixelPtr(x0, y0), Src->Width()), d[i]);
        }
    }
}

}  // namespace pix32
