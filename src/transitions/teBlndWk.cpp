#include "transitions/teBlndWk.h"

#include <algorithm>
#include <cstring>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "transitions/tePixelRows.h"
#include "transitions/teRender.h"

#if defined(TE_HAS_SSE2_FORMS)
#include <emmintrin.h>
#endif

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
    Bitmap->GetCanvas()->SetPixels(c.x, c.y, cl::clBlack);
}

void CopyThroughPatternBlit(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Pattern, int Width, int Height) {
    if (!Dest || !Src || !Pattern) return;
    cl::TCanvas* canvas = Dest->GetCanvas();
    const cl::TCopyMode mode = canvas->GetCopyMode();
    canvas->GetBrush()->SetBitmap(Pattern);
    canvas->SetCopyMode(ROP_PatternSelectsDest);
    try {
        canvas->CopyRect(cl::Rect(0, 0, Width, Height), Src->GetCanvas(), cl::Rect(0, 0, Width, Height));
    } catch (...) {
        canvas->SetCopyMode(mode);
        canvas->GetBrush()->SetBitmap(nullptr);
        throw;
    }
    canvas->SetCopyMode(mode);
    canvas->GetBrush()->SetBitmap(nullptr);
}

namespace {

// The pixel value of a plain RGB colour in a 24- or 32-bit DIB (blue in the low byte); false
// for palette-index colours.
bool RawOfColor(cl::TColor Color, uint32_t& Raw) {
    const auto ref = static_cast<uint32_t>(cl::ColorToRGB(Color));
    if ((ref >> 24) == 0x01) return false;
    Raw = ((ref & 0xFF) << 16) | (ref & 0xFF00) | ((ref >> 16) & 0xFF);
    return true;
}

// The raster operation of the pattern path on whole pixels: D := S xor (P and (D xor S)),
// with P the pattern's value of the pixel (Zero where the pattern bit is 0, One where it is 1).
void PatternSelectRow_Pas(uint8_t* Dest, const uint8_t* Src, int Count, int Bytes, uint8_t PatternBits, uint32_t Zero,
                          uint32_t One) {
    for (int x = 0; x < Count; ++x) {
        const uint32_t p = (PatternBits >> (7 - (x & 7))) & 1 ? One : Zero;
        uint8_t* d = Dest + static_cast<size_t>(x) * static_cast<size_t>(Bytes);
        const uint8_t* s = Src + static_cast<size_t>(x) * static_cast<size_t>(Bytes);
        for (int c = 0; c < Bytes; ++c) {
            const auto pb = static_cast<uint8_t>(p >> (8 * c));
            d[c] = static_cast<uint8_t>(s[c] ^ (pb & (d[c] ^ s[c])));
        }
    }
}

#if defined(TE_HAS_SSE2_FORMS)
void PatternSelectRow32_SSE2(uint8_t* Dest, const uint8_t* Src, int Count, uint8_t PatternBits, uint32_t Zero,
                             uint32_t One) {
    // The pattern values of pixels 0-3 and 4-7 of every group of eight.
    uint32_t pv[8];
    for (int i = 0; i < 8; ++i) pv[i] = (PatternBits >> (7 - i)) & 1 ? One : Zero;
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pv));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pv + 4));
    int x = 0;
    for (; x + 8 <= Count; x += 8) {
        for (int g = 0; g < 2; ++g) {
            auto* dp = reinterpret_cast<__m128i*>(Dest + static_cast<size_t>(x + 4 * g) * 4);
            const auto* sp = reinterpret_cast<const __m128i*>(Src + static_cast<size_t>(x + 4 * g) * 4);
            const __m128i sv = _mm_loadu_si128(sp);
            const __m128i dv = _mm_loadu_si128(dp);
            _mm_storeu_si128(dp, _mm_xor_si128(sv, _mm_and_si128(g ? p1 : p0, _mm_xor_si128(dv, sv))));
        }
    }
    PatternSelectRow_Pas(Dest + static_cast<size_t>(x) * 4, Src + static_cast<size_t>(x) * 4, Count - x, 4, PatternBits,
                         Zero, One);
}
#endif

}  // namespace

void CopyThroughPattern(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Pattern, int Width, int Height) {
    if (!Dest || !Src || !Pattern) return;
    // The pixels themselves where the blit would be a plain pixel operation: same 24- or
    // 32-bit format, an 8 x 8 monochrome pattern tiled from the origin, the canvas of a fresh
    // memory bitmap (no clipping, no moved origins) and plain RGB text and background
    // colours (they colour the pattern's 0 and 1 bits). Anything else takes the blit.
    const cl::TPixelFormat pf = Dest->GetPixelFormat();
    cl::TCanvas* canvas = Dest->GetCanvas();
    uint32_t zero = 0, one = 0;
    bool direct = (pf == cl::pf24bit || pf == cl::pf32bit) && Src->GetPixelFormat() == pf &&
                  Pattern->GetPixelFormat() == cl::pf1bit && Pattern->GetWidth() == 8 && Pattern->GetHeight() == 8 &&
                  RawOfColor(canvas->GetFont()->GetColor(), zero) && RawOfColor(canvas->GetBrush()->GetColor(), one);
    if (direct) {
        const win::HDC dc = canvas->GetHandle();
        win::POINT brush{}, window{}, viewport{};
        win::HRGN clip = win::CreateRectRgn(0, 0, 0, 0);
        direct = win::GetBrushOrgEx(dc, &brush) && win::GetWindowOrgEx(dc, &window) &&
                 win::GetViewportOrgEx(dc, &viewport) && brush.x == 0 && brush.y == 0 && window.x == 0 &&
                 window.y == 0 && viewport.x == 0 && viewport.y == 0 && win::GetClipRgn(dc, clip) == 0;
        win::DeleteObject(clip);
    }
    if (!direct) {
        CopyThroughPatternBlit(Dest, Src, Pattern, Width, Height);
        return;
    }
    const int w = std::min({Width, Dest->GetWidth(), Src->GetWidth()});
    const int h = std::min({Height, Dest->GetHeight(), Src->GetHeight()});
    if (w <= 0 || h <= 0) return;
    // The canvas announces the change as its blit does.
    if (canvas->OnChanging) canvas->OnChanging(canvas);
    uint8_t bits[8];
    for (int y = 0; y < 8; ++y) bits[y] = *static_cast<const uint8_t*>(Pattern->ScanLine(y));
    const TTERowView dv(Dest), sv(Src);
    const int bytes = pf == cl::pf32bit ? 4 : 3;
    ForRowBands(0, h, static_cast<size_t>(w) * static_cast<size_t>(bytes) * 2, [&](int a, int b) {
        for (int y = a; y < b; ++y) {
#if defined(TE_HAS_SSE2_FORMS)
            if (bytes == 4) {
                PatternSelectRow32_SSE2(dv[y], sv[y], w, bits[y & 7], zero, one);
                continue;
            }
#endif
            PatternSelectRow_Pas(dv[y], sv[y], w, bytes, bits[y & 7], zero, one);
        }
    });
    if (canvas->OnChange) canvas->OnChange(canvas);
}

void BlendRunMMX_Pas(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level) {
    // The 16-bit product shifted logically and added back modulo 256 is the floored mix for
    // levels 0..256; the arithmetic shift of the signed product gives the same bytes.
    const int l = static_cast<int16_t>(Level);
    const size_t n = Size & ~static_cast<size_t>(3);
    for (size_t i = 0; i < n; ++i) {
        const int d = static_cast<int>(A[i]) - static_cast<int>(B[i]);
        Dest[i] = static_cast<uint8_t>(B[i] + ((d * l) >> 8));
    }
}

#if defined(TE_HAS_SSE2_FORMS)
void BlendRunMMX_SSE2(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level) {
    const size_t n = Size & ~static_cast<size_t>(3);
    size_t i = 0;
    // Sixteen bytes per step: wrapped 16-bit product, logical shift, pack, byte add.
    const __m128i zero = _mm_setzero_si128(), lv = _mm_set1_epi16(static_cast<int16_t>(Level));
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(B + i));
        const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        const __m128i plo = _mm_srli_epi16(_mm_mullo_epi16(dlo, lv), 8);
        const __m128i phi = _mm_srli_epi16(_mm_mullo_epi16(dhi, lv), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + i), _mm_add_epi8(_mm_packus_epi16(plo, phi), b));
    }
    BlendRunMMX_Pas(Dest + i, A + i, B + i, n - i, Level);
}
#endif

namespace {

// Runs a per-byte (or per-word) pass over Size bytes in chunks on the worker threads; the
// chunks are whole multiples of 64 bytes, so every form sees the same words.
template <class F>
void InChunks(size_t Size, F&& f) {
    constexpr size_t kChunk = 64 * 1024;
    const int chunks = static_cast<int>((Size + kChunk - 1) / kChunk);
    ForRowBands(0, chunks, kChunk * 3, [&](int a, int b) {
        const size_t from = static_cast<size_t>(a) * kChunk, to = std::min(Size, static_cast<size_t>(b) * kChunk);
        f(from, to - from);
    });
}

}  // namespace

void BlendRunMMX(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level) {
    InChunks(Size & ~static_cast<size_t>(3), [&](size_t from, size_t n) {
        TE_ROW_FORM(BlendRunMMX)(Dest + from, A + from, B + from, n, Level);
    });
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

// The per-call constants of the split-field path.
struct FieldPlan {
    FieldMasks m;
    bool swap = false;   // A holds the old picture, B the new one
    bool copyB = false;  // no weight for A's side: B's words
    uint32_t mult = 0;
    int shift = 0;
    bool skip = false;
};

FieldPlan PlanFields(int Level, int EqualPercent, cl::TPixelFormat PixelFormat) {
    FieldPlan p;
    const bool high = PixelFormat == cl::pf15bit || PixelFormat == cl::pf16bit;
    if (high) Level *= 8;
    int w = Level;
    if (Level > 128) {
        p.swap = true;
        w = high ? 256 - Level : 255 - Level;
    }
    p.skip = EqualPercent >= 10;
    p.m = MasksOf(PixelFormat);
    if (w <= 0) {
        p.copyB = true;
        return p;
    }
    p.mult = static_cast<uint32_t>(w);
    p.shift = 8;
    while ((p.mult & 1) == 0) {
        p.mult >>= 1;
        --p.shift;
    }
    return p;
}

}  // namespace

void BlendRunFields_Pas(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                        int EqualPercent, cl::TPixelFormat PixelFormat) {
    const FieldPlan p = PlanFields(Level, EqualPercent, PixelFormat);
    const uint8_t* a = p.swap ? OldPix : NewPix;
    const uint8_t* b = p.swap ? NewPix : OldPix;
    const size_t words = Size / 4;
    for (size_t i = 0; i < words; ++i) {
        uint32_t av, bv;
        std::memcpy(&av, a + 4 * i, 4);
        std::memcpy(&bv, b + 4 * i, 4);
        if (p.skip && av == bv) continue;
        uint32_t r = bv;
        if (!p.copyB) {
            // No weight for the side in A gives the picture in B (the old one below level 1,
            // the new one at the top of the range); otherwise the fields are mixed.
            const uint32_t ah = (av & p.m.m1) >> p.m.s, al = av & p.m.m2;
            const uint32_t bh = (bv & p.m.m1) >> p.m.s, bl = bv & p.m.m2;
            const uint32_t dl = ((al - bl) * p.mult) >> p.shift;
            const uint32_t dh = ((ah - bh) * p.mult) >> p.shift;
            r = (((dh + bh) << p.m.s) & p.m.m1) | ((dl + bl) & p.m.m2);
        }
        std::memcpy(Dest + 4 * i, &r, 4);
    }
}

#if defined(TE_HAS_SSE2_FORMS)
namespace {
// The low 32 bits of each lane's product with M (SSE2 has no 32-bit lane multiply).
inline __m128i MulLo32(__m128i x, __m128i m) {
    const __m128i even = _mm_mul_epu32(x, m);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), m);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
}
}  // namespace

void BlendRunFields_SSE2(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                         int EqualPercent, cl::TPixelFormat PixelFormat) {
    const FieldPlan p = PlanFields(Level, EqualPercent, PixelFormat);
    const uint8_t* a = p.swap ? OldPix : NewPix;
    const uint8_t* b = p.swap ? NewPix : OldPix;
    const size_t words = Size / 4;
    const __m128i m1 = _mm_set1_epi32(static_cast<int>(p.m.m1)), m2 = _mm_set1_epi32(static_cast<int>(p.m.m2));
    const __m128i s = _mm_cvtsi32_si128(p.m.s), c = _mm_cvtsi32_si128(p.shift);
    const __m128i mult = _mm_set1_epi32(static_cast<int>(p.mult));
    size_t i = 0;
    for (; i + 4 <= words; i += 4) {
        const __m128i av = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 4 * i));
        const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 4 * i));
        auto* dp = reinterpret_cast<__m128i*>(Dest + 4 * i);
        __m128i r = bv;
        if (!p.copyB) {
            const __m128i ah = _mm_srl_epi32(_mm_and_si128(av, m1), s), al = _mm_and_si128(av, m2);
            const __m128i bh = _mm_srl_epi32(_mm_and_si128(bv, m1), s), bl = _mm_and_si128(bv, m2);
            const __m128i dl = _mm_srl_epi32(MulLo32(_mm_sub_epi32(al, bl), mult), c);
            const __m128i dh = _mm_srl_epi32(MulLo32(_mm_sub_epi32(ah, bh), mult), c);
            r = _mm_or_si128(_mm_and_si128(_mm_sll_epi32(_mm_add_epi32(dh, bh), s), m1),
                             _mm_and_si128(_mm_add_epi32(dl, bl), m2));
        }
        if (p.skip) {
            const __m128i eq = _mm_cmpeq_epi32(av, bv);
            r = _mm_or_si128(_mm_and_si128(eq, _mm_loadu_si128(dp)), _mm_andnot_si128(eq, r));
        }
        _mm_storeu_si128(dp, r);
    }
    BlendRunFields_Pas(Dest + 4 * i, NewPix + 4 * i, OldPix + 4 * i, Size - 4 * i, Level, EqualPercent, PixelFormat);
}
#endif

void BlendRunFields(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                    int EqualPercent, cl::TPixelFormat PixelFormat) {
    InChunks(Size & ~static_cast<size_t>(3), [&](size_t from, size_t n) {
        TE_ROW_FORM(BlendRunFields)(Dest + from, NewPix + from, OldPix + from, n, Level, EqualPercent, PixelFormat);
    });
}

void BlendBitmaps(cl::TBitmap* Dest, cl::TBitmap* NewBmp, cl::TBitmap* OldBmp, cl::TBitmap* Pattern,
                  cl::TPixelFormat PixelFormat, int Level, int EqualPercent) {
    if (!Dest || !NewBmp) return;
    if (Pattern) {
        for (int n = 1; n <= Level && n <= 64; ++n) SetFusePatternPixel(Pattern, n);
        CopyThroughPattern(Dest, NewBmp, Pattern, Dest->GetWidth(), Dest->GetHeight());
        return;
    }
    if (!OldBmp) return;
    const int h = Dest->GetHeight();
    if (h <= 0 || Dest->GetWidth() <= 0) return;
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
