#include "transitions/teBlndWk.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/gdi.h"
#include "transitions/teRender.h"

namespace te {

const TFusePatternCell FusePatternOrder[64] = {
    {4, 4}, {0, 0}, {4, 0}, {0, 4}, {6, 6}, {2, 2}, {6, 2}, {2, 6}, {6, 4}, {2, 0}, {6, 0}, {2, 4}, {4, 6},
    {0, 2}, {4, 2}, {0, 6}, {5, 7}, {1, 3}, {5, 3}, {1, 7}, {7, 5}, {3, 1}, {7, 1}, {3, 5}, {7, 7}, {3, 3},
    {7, 3}, {3, 7}, {5, 5}, {1, 1}, {5, 1}, {1, 5}, {5, 4}, {1, 0}, {5, 0}, {1, 4}, {7, 6}, {3, 2}, {7, 2},
    {3, 6}, {7, 4}, {3, 0}, {7, 0}, {3, 4}, {5, 6}, {1, 2}, {5, 2}, {1, 6}, {6, 7}, {2, 3}, {6, 3}, {2, 7},
    {4, 5}, {0, 1}, {4, 1}, {0, 5}, {4, 7}, {0, 3}, {4, 3}, {0, 7}, {6, 5}, {2, 1}, {6, 1}, {2, 5},
};

void SetFusePatternPixel(cl::TBitmap* Bitmap, int N) {
    if (!Bitmap || N < 1 || N > 64) return;
    const TFusePatternCell& c = FusePatternOrder[N - 1];
    Bitmap->Canvas()->SetPixels(c.x, c.y, cl::clBlack);
}

void CopyThroughPattern(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Pattern, int Width, int Height) {
    if (!Dest || !Src || !Pattern) return;
    cl::TCanvas* canvas = Dest->Canvas();
    const cl::TCopyMode mode = canvas->CopyMode();
    canvas->Brush()->SetBitmap(Pattern);
    canvas->SetCopyMode(ROP_PatternSelectsDest);
    try {
        canvas->CopyRect(cl::Rect(0, 0, Width, Height), Src->Canvas(), cl::Rect(0, 0, Width, Height));
    } catch (...) {
        canvas->SetCopyMode(mode);
        canvas->Brush()->SetBitmap(nullptr);
        throw;
    }
    canvas->SetCopyMode(mode);
    canvas->Brush()->SetBitmap(nullptr);
}

void BlendRunMMX(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level) {
    // The 16-bit product shifted logically and added back modulo 256 is the floored mix for
    // levels 0..256; the arithmetic shift of the signed product gives the same bytes.
    const int16_t l = static_cast<int16_t>(Level);
    const size_t n = Size & ~static_cast<size_t>(3);
    size_t i = 0;
#if defined(__SSE2__)
    // Eight bytes per 16-bit lane group: wrapped product, logical shift, pack, byte add.
    const __m128i zero = _mm_setzero_si128(), lv = _mm_set1_epi16(l);
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(B + i));
        const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        const __m128i plo = _mm_srli_epi16(_mm_mullo_epi16(dlo, lv), 8);
        const __m128i phi = _mm_srli_epi16(_mm_mullo_epi16(dhi, lv), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + i), _mm_add_epi8(_mm_packus_epi16(plo, phi), b));
    }
#endif
    for (; i < n; ++i) {
        const int d = static_cast<int>(A[i]) - static_cast<int>(B[i]);
        Dest[i] = static_cast<uint8_t>(B[i] + ((d * l) >> 8));
    }
}

namespace {

struct FieldMasks {
    uint32_t m1, m2;
    int s;
};

FieldMasks MasksOf(cl::TPixelFormat pf) {
    switch (pf) {
    case cl::pf15bit: return {0x7C1F03E0u, 0x03E07C1Fu, 5};
    case cl::pf16bit: return {0xF81F07E0u, 0x07E0F81Fu, 5};
    default: return {0xFF00FF00u, 0x00FF00FFu, 8};
    }
}

template <bool Skip>
void FieldLoop(uint32_t* d, const uint32_t* a, const uint32_t* b, size_t words, uint32_t w, int c,
               const FieldMasks& m) {
    for (size_t i = 0; i < words; ++i) {
        uint32_t av, bv;
        std::memcpy(&av, a + i, 4);
        std::memcpy(&bv, b + i, 4);
        if (Skip && av == bv) continue;
        const uint32_t ah = (av & m.m1) >> m.s, al = av & m.m2;
        const uint32_t bh = (bv & m.m1) >> m.s, bl = bv & m.m2;
        const uint32_t dl = ((al - bl) * w) >> c;
        const uint32_t dh = ((ah - bh) * w) >> c;
        const uint32_t r = (((dh + bh) << m.s) & m.m1) | ((dl + bl) & m.m2);
        std::memcpy(d + i, &r, 4);
    }
}

}  // namespace

void BlendRunFields(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                    int EqualPercent, cl::TPixelFormat PixelFormat) {
    const bool high = PixelFormat == cl::pf15bit || PixelFormat == cl::pf16bit;
    if (high) Level *= 8;
    const uint8_t* a = NewPix;
    const uint8_t* b = OldPix;
    int w = Level;
    if (Level > 128) {
        a = OldPix;
        b = NewPix;
        w = high ? 256 - Level : 255 - Level;
    }
    const size_t words = Size / 4;
    if (words == 0) return;
    const bool skip = EqualPercent >= 10;
    auto* d32 = reinterpret_cast<uint32_t*>(Dest);
    auto* a32 = reinterpret_cast<const uint32_t*>(a);
    auto* b32 = reinterpret_cast<const uint32_t*>(b);
    if (w <= 0) {
        // No weight for the side in A: the picture in B (the old one below level 1, the new
        // one at the top of the range).
        for (size_t i = 0; i < words; ++i) {
            if (skip && std::memcmp(a32 + i, b32 + i, 4) == 0) continue;
            std::memcpy(d32 + i, b32 + i, 4);
        }
        return;
    }
    uint32_t mult = static_cast<uint32_t>(w);
    int c = 8;
    while ((mult & 1) == 0) {
        mult >>= 1;
        --c;
    }
    const FieldMasks m = MasksOf(PixelFormat);
    if (skip)
        FieldLoop<true>(d32, a32, b32, words, mult, c, m);
    else
        FieldLoop<false>(d32, a32, b32, words, mult, c, m);
}

void BlendBitmaps(cl::TBitmap* Dest, cl::TBitmap* NewBmp, cl::TBitmap* OldBmp, cl::TBitmap* Pattern,
                  cl::TPixelFormat PixelFormat, int Level, int EqualPercent) {
    if (!Dest || !NewBmp) return;
    if (Pattern) {
        for (int n = 1; n <= Level && n <= 64; ++n) SetFusePatternPixel(Pattern, n);
        CopyThroughPattern(Dest, NewBmp, Pattern, Dest->Width(), Dest->Height());
        return;
    }
    if (!OldBmp) return;
    const int h = Dest->Height();
    if (h <= 0 || Dest->Width() <= 0) return;
    size_t size = static_cast<size_t>(GetBytesPerScanline(NewBmp, PixelFormat, 32)) * static_cast<size_t>(h);
    // The rows from the last one up: never more than each bitmap holds from there.
    for (cl::TBitmap* b : {Dest, NewBmp, OldBmp}) size = std::min(size, static_cast<size_t>(b->RowBytes()) * h);
    size &= ~static_cast<size_t>(3);
    if (size == 0) return;
    auto* d = static_cast<uint8_t*>(Dest->ScanLine(h - 1));
    auto* a = static_cast<const uint8_t*>(NewBmp->ScanLine(h - 1));
    auto* b = static_cast<const uint8_t*>(OldBmp->ScanLine(h - 1));
    const bool high = PixelFormat == cl::pf15bit || PixelFormat == cl::pf16bit;
    if (!high && MMXAvailable && size >= 4096 && Level >= 0 && Level <= 256)
        BlendRunMMX(d, a, b, size, Level);
    else
        BlendRunFields(d, a, b, size, Level, EqualPercent, PixelFormat);
}

}  // namespace te
