#include "transitions/teSumTable.h"

#include <algorithm>
#include <vector>

#include "platform/gdi.h"
#include "platform/parallel.h"
#include "transitions/teRender.h"

#if defined(TE_HAS_SSE2_FORMS)
#include <emmintrin.h>
#endif

namespace te {

// ---- summed-area table -------------------------------------------------------------------------

void TSummedAreaTable::Build(cl::TBitmap* Picture, int AWidth, int AHeight, int AMargin) {
    Width = std::max(AWidth, 0);
    Height = std::max(AHeight, 0);
    Margin = std::max(AMargin, 0);
    const int tw = TableWidth(), th = TableHeight();
    FStride = static_cast<size_t>(tw) * 3;
    const size_t total = FStride * static_cast<size_t>(std::max(th, 0));
    // A table of the same size (the second picture of a run) reuses the memory.
    if (total != FTotal) {
        FSums.reset(total ? new uint32_t[total] : nullptr);
        FTotal = total;
    }
    if (total == 0) return;
    // A 24-bit view of the picture (none: the whole table is white).
    std::unique_ptr<cl::TBitmap> copy;
    cl::TBitmap* pic = Picture;
    if (pic && (pic->GetPixelFormat() != cl::pf24bit || pic->GetWidth() < Width || pic->GetHeight() < Height)) {
        copy = std::make_unique<cl::TBitmap>();
        AdjustBitmapFormat(copy.get(), nullptr, std::max(Width, 1), std::max(Height, 1), cl::pf24bit);
        win::BitBlt(copy->GetCanvas()->GetHandle(), 0, 0, Width, Height, pic->GetCanvas()->GetHandle(), 0, 0,
                    win::SRCCOPY);
        pic = copy.get();
    }
    const TTERowView rows(Width > 0 && Height > 0 ? pic : nullptr);
    // The running sums along a table row of only white values.
    std::vector<uint32_t> white(FStride);
    for (size_t k = 0; k < FStride; ++k) white[k] = 255u * static_cast<uint32_t>(k / 3 + 1);
    const int right = tw - Margin - Width;  // margin columns after the picture
    // The running sums along table row j (into Out, which it returns; the white row for the
    // margin rows).
    auto prefix = [&](int j, uint32_t* Out) -> const uint32_t* {
        const int y = j - Margin;  // picture row counted from the bottom
        if (!rows.Top || y < 0 || y >= Height) return white.data();
        const uint8_t* p = rows[Height - 1 - y];
        uint32_t b = 0, g = 0, r = 0;
        uint32_t* o = Out;
        auto put = [&](uint32_t vb, uint32_t vg, uint32_t vr) {
            b += vb;
            g += vg;
            r += vr;
            o[0] = b;
            o[1] = g;
            o[2] = r;
            o += 3;
        };
        for (int i = 0; i < Margin; ++i) put(255, 255, 255);
        for (int x = 0; x < Width; ++x, p += 3) put(p[0], p[1], p[2]);
        for (int i = 0; i < right; ++i) put(255, 255, 255);
        return Out;
    };
    // Rows in bands: a band starts from the sums of all rows below it, which the first step
    // adds up band by band; the entries are the same however the rows are grouped, as the
    // sums wrap around modulo 2^32.
    const size_t bytes = total * 4;
    const int threads = bytes >= (size_t{4} << 20) ? win::ParallelThreadCount() : 1;
    const int bands = std::clamp(threads, 1, th);
    auto bandStart = [&](int b) { return static_cast<int>(static_cast<int64_t>(th) * b / bands); };
    std::vector<std::vector<uint32_t>> start(static_cast<size_t>(bands));
    start[0].assign(FStride, 0);
    if (bands > 1) {
        std::vector<std::vector<uint32_t>> totals(static_cast<size_t>(bands - 1));
        ForRowBands(0, bands - 1, bytes, [&](int a, int b) {
            std::vector<uint32_t> scratch(FStride);
            for (int band = a; band < b; ++band) {
                std::vector<uint32_t>& t = totals[static_cast<size_t>(band)];
                t.assign(FStride, 0);
                for (int j = bandStart(band); j < bandStart(band + 1); ++j) {
                    const uint32_t* p = prefix(j, scratch.data());
                    for (size_t k = 0; k < FStride; ++k) t[k] += p[k];
                }
            }
        });
        for (int b = 1; b < bands; ++b) {
            start[static_cast<size_t>(b)] = start[static_cast<size_t>(b - 1)];
            const std::vector<uint32_t>& t = totals[static_cast<size_t>(b - 1)];
            for (size_t k = 0; k < FStride; ++k) start[static_cast<size_t>(b)][k] += t[k];
        }
    }
    ForRowBands(0, bands, bytes, [&](int a, int b) {
        std::vector<uint32_t> scratch(FStride);
        for (int band = a; band < b; ++band) {
            const uint32_t* below = start[static_cast<size_t>(band)].data();
            for (int j = bandStart(band); j < bandStart(band + 1); ++j) {
                const uint32_t* p = prefix(j, scratch.data());
                uint32_t* out = FSums.get() + static_cast<size_t>(j) * FStride;
                for (size_t k = 0; k < FStride; ++k) out[k] = below[k] + p[k];
                below = out;
            }
        }
    });
}

const uint32_t* TSummedAreaTable::Entry(int i, int j) const {
    static const uint32_t zero[3] = {0, 0, 0};
    if (i < 0 || j < 0) return zero;
    return FSums.get() + static_cast<size_t>(j) * FStride + static_cast<size_t>(i) * 3;
}

void TSummedAreaTable::BoxSum(int x0, int y0, int x1, int y1, uint32_t Sums[3]) const {
    const int tw = TableWidth(), th = TableHeight();
    // Table indexes of the last column and row inside the box and of the ones before it.
    int i1 = std::min(x1 + Margin, tw) - 1, j1 = std::min(y1 + Margin, th) - 1;
    int i0 = std::max(x0 + Margin, 0) - 1, j0 = std::max(y0 + Margin, 0) - 1;
    if (i1 <= i0 || j1 <= j0 || !FSums) {
        Sums[0] = Sums[1] = Sums[2] = 0;
        return;
    }
    const uint32_t* a = Entry(i1, j1);
    const uint32_t* b = Entry(i0, j1);
    const uint32_t* c = Entry(i1, j0);
    const uint32_t* d = Entry(i0, j0);
    for (int k = 0; k < 3; ++k) Sums[k] = a[k] - b[k] - c[k] + d[k];
}

// ---- the run data ------------------------------------------------------------------------------------

TSummedAreaData::TSummedAreaData(TTETransitionData* AData, int Margin, int32_t Frames)
    : TTECustomData(AData), Half(Frames / 2 + 1), TableMargin(Margin) {
    Table.Build(AData->SrcImage, AData->Width, AData->Height, Margin);
    if (AData->DstImage) {
        FNext.Build(AData->DstImage, AData->Width, AData->Height, Margin);
        FNextBuilt = true;
    }
}

const TSummedAreaTable& TSummedAreaData::TableFor(int32_t CurrentFrame) {
    if (CurrentFrame >= Half && HoldsOld) {
        if (FNextBuilt)
            Table = std::move(FNext);
        else
            Table.Build(Data->DstImage, Data->Width, Data->Height, TableMargin);
        FNext = TSummedAreaTable();
        HoldsOld = false;
    }
    return Table;
}

void DrawThrough24Bit(TTETransitionData* Data, const std::function<void(cl::TBitmap* Target)>& draw) {
    cl::TBitmap* target = Data->Bitmap;
    std::unique_ptr<cl::TBitmap> temp;
    if (target->GetPixelFormat() != cl::pf24bit) {
        temp = std::make_unique<cl::TBitmap>();
        AdjustBitmapFormat(temp.get(), nullptr, Data->Width, Data->Height, cl::pf24bit);
        target = temp.get();
    }
    draw(target);
    if (temp)
        win::BitBlt(Data->Bitmap->GetCanvas()->GetHandle(), 0, 0, Data->Width, Data->Height,
                    temp->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
    Data->UpdateRect = MakeRect(0, 0, Data->Width, Data->Height);
}

// ---- box rows ------------------------------------------------------------------------------------------

void BoxRow_Pas(uint8_t* Out, const uint32_t* Top, const uint32_t* Below, int Count, int Near, int Far, uint32_t Area) {
    for (int j = 0; j < Count; ++j) {
        const uint32_t sum = Top[j + Far] - Top[j + Near] - Below[j + Far] + Below[j + Near];
        Out[j] = static_cast<uint8_t>(sum / Area);
    }
}

#if defined(TE_HAS_SSE2_FORMS)
void BoxRow_SSE2(uint8_t* Out, const uint32_t* Top, const uint32_t* Below, int Count, int Near, int Far,
                 uint32_t Area) {
    const __m128 half = _mm_set1_ps(0.5f), reciprocal = _mm_set1_ps(1.0f / static_cast<float>(Area));
    auto load = [](const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    // Four sums (below 2^22, so exact as floats) divided by the area.
    auto quotients = [&](int j) {
        const __m128i sum = _mm_add_epi32(_mm_sub_epi32(load(Top + j + Far), load(Top + j + Near)),
                                          _mm_sub_epi32(load(Below + j + Near), load(Below + j + Far)));
        return _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(sum), half), reciprocal));
    };
    int j = 0;
    for (; j + 16 <= Count; j += 16) {
        const __m128i lo = _mm_packs_epi32(quotients(j), quotients(j + 4));
        const __m128i hi = _mm_packs_epi32(quotients(j + 8), quotients(j + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + j), _mm_packus_epi16(lo, hi));
    }
    BoxRow_Pas(Out + j, Top + j, Below + j, Count - j, Near, Far, Area);
}
#endif

}  // namespace te
