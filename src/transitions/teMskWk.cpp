#include "transitions/teMskWk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(TE_HAS_SSE2_FORMS)
#include <emmintrin.h>
#endif

#include "platform/gdi.h"
#include "transitions/tePixelRows.h"

namespace te {

namespace {

int FloorTo(int v, int a) {
    int q = v / a;
    if (v % a != 0 && v < 0) --q;
    return q * a;
}
int CeilTo(int v, int a) { return -FloorTo(-v, a); }

win::RECT Clamped(const win::RECT& r, const win::RECT& box) {
    win::RECT x;
    x.left = std::clamp(static_cast<int>(r.left), static_cast<int>(box.left), static_cast<int>(box.right));
    x.right = std::clamp(static_cast<int>(r.right), static_cast<int>(box.left), static_cast<int>(box.right));
    x.top = std::clamp(static_cast<int>(r.top), static_cast<int>(box.top), static_cast<int>(box.bottom));
    x.bottom = std::clamp(static_cast<int>(r.bottom), static_cast<int>(box.top), static_cast<int>(box.bottom));
    if (x.right < x.left) x.right = x.left;
    if (x.bottom < x.top) x.bottom = x.top;
    return x;
}

bool Empty(const win::RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// The rectangles of a plan's runs, Inner clamped into Outer.
int RunRects(int Mode, int RowPixels, const win::RECT& InnerIn, const win::RECT& Outer, win::RECT (&out)[4]) {
    if (Mode == 1) {
        out[0] = win::RECT{0, Outer.top, RowPixels, Outer.bottom};
        return 1;
    }
    if (Mode == 2) {
        out[0] = Outer;
        return 1;
    }
    const win::RECT in = Clamped(InnerIn, Outer);
    out[0] = win::RECT{Outer.left, Outer.top, Outer.right, in.top};
    out[1] = win::RECT{in.right, in.top, Outer.right, in.bottom};
    out[2] = win::RECT{Outer.left, in.top, in.left, in.bottom};
    out[3] = win::RECT{Outer.left, in.bottom, Outer.right, Outer.bottom};
    return 4;
}

int MinWidth(std::initializer_list<cl::TBitmap*> bs) {
    int w = INT32_MAX;
    for (cl::TBitmap* b : bs) w = std::min(w, b->GetWidth());
    return w;
}
int MinHeight(std::initializer_list<cl::TBitmap*> bs) {
    int h = INT32_MAX;
    for (cl::TBitmap* b : bs) h = std::min(h, b->GetHeight());
    return h;
}

inline uint8_t* Row(cl::TBitmap* b, int r) { return static_cast<uint8_t*>(b->ScanLine(r)); }

inline uint8_t MixByte(int base, int other, int w) {
    // base + floor((other - base) * w / 256), the arithmetic shift flooring negative products.
    return static_cast<uint8_t>(base + (((other - base) * w) >> 8));
}

}  // namespace

// ---- row forms ---------------------------------------------------------------------------------

void SmoothBlendRow_Pas(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, const uint8_t* Mask, int Count) {
    for (int x = 0; x < Count; ++x) {
        const int mv = Mask[x];
        if (mv == 255) continue;
        const int wt = mv ? mv + 1 : 0;
        const size_t o = static_cast<size_t>(x) * 4;
        for (int c = 0; c < 4; ++c) Dest[o + c] = MixByte(NewPix[o + c], OldPix[o + c], wt);
    }
}

void BmpMaskBlendRow_Pas(uint8_t* Dest, const uint8_t* ZeroPix, const uint8_t* FullPix, const uint8_t* Mask, int Count,
                         int Level, int Band, bool Additive) {
    int weight[256];
    for (int m = 0; m < 256; ++m) weight[m] = BmpMaskWeight(m, Level, Band, Additive);
    for (int x = 0; x < Count; ++x) {
        const int wt = weight[Mask[x]];
        const size_t o = static_cast<size_t>(x) * 4;
        for (int c = 0; c < 4; ++c) Dest[o + c] = MixByte(ZeroPix[o + c], FullPix[o + c], wt);
    }
}

void AgeMaskRow_Pas(uint8_t* Mask, int Count, bool ZeroAll, int Amount) {
    AgeMaskRowFrom_Pas(Mask, Mask, Count, ZeroAll, Amount);
}

void AgeMaskRowFrom_Pas(uint8_t* Dest, const uint8_t* Src, int Count, bool ZeroAll, int Amount) {
    for (int x = 0; x < Count; ++x) {
        if (Src[x] == 255) continue;
        Dest[x] = ZeroAll ? 0 : static_cast<uint8_t>(std::max(Src[x] - Amount, 0));
    }
}

void CopyByMaskRangeRow_Pas(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int BytesPerPixel,
                            int Min, int Max) {
    const size_t bytes = static_cast<size_t>(BytesPerPixel);
    for (int x = 0; x < Count; ++x) {
        if (Min <= Mask[x] && Mask[x] <= Max)
            std::memcpy(Dest + static_cast<size_t>(x) * bytes, Src + static_cast<size_t>(x) * bytes, bytes);
    }
}

void CopyByMaskRangeRow32_Pas(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int Min, int Max) {
    CopyByMaskRangeRow_Pas(Dest, Src, Mask, Count, 4, Min, Max);
}

void CopyByMaskRangeRow4_Pas(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int Min, int Max) {
    // Two pixels per byte, the high nibble first; each nibble by its own mask byte.
    for (int i = 0; i + 1 < Count; i += 2) {
        const bool hi = Min <= Mask[i] && Mask[i] <= Max;
        const bool lo = Min <= Mask[i + 1] && Mask[i + 1] <= Max;
        if (!hi && !lo) continue;
        const uint8_t take = static_cast<uint8_t>((hi ? 0xF0 : 0) | (lo ? 0x0F : 0));
        uint8_t& d = Dest[i / 2];
        d = static_cast<uint8_t>((d & ~take) | (Src[i / 2] & take));
    }
}

#if defined(TE_HAS_SSE2_FORMS)

namespace {

// Per byte of four pixels: Base + floor((Other - Base) * W / 256), W the 16-bit weight of
// each byte's pixel (lanes wlo for pixels 0-1, whi for 2-3). The 16-bit product wraps and is
// shifted logically; its low byte added to Base modulo 256 is the floored mix.
inline __m128i Mix4(__m128i base, __m128i other, __m128i wlo, __m128i whi) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(other, zero), _mm_unpacklo_epi8(base, zero));
    const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(other, zero), _mm_unpackhi_epi8(base, zero));
    const __m128i plo = _mm_srli_epi16(_mm_mullo_epi16(dlo, wlo), 8);
    const __m128i phi = _mm_srli_epi16(_mm_mullo_epi16(dhi, whi), 8);
    return _mm_add_epi8(_mm_packus_epi16(plo, phi), base);
}

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {  // mask ? a : b
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Eight 16-bit pixel weights spread over the four byte lanes of each pixel: pixels 0-1,
// 2-3, 4-5 and 6-7.
inline void Spread8(__m128i w16, __m128i out[4]) {
    const __m128i lo = _mm_unpacklo_epi16(w16, w16), hi = _mm_unpackhi_epi16(w16, w16);
    out[0] = _mm_unpacklo_epi32(lo, lo);
    out[1] = _mm_unpackhi_epi32(lo, lo);
    out[2] = _mm_unpacklo_epi32(hi, hi);
    out[3] = _mm_unpackhi_epi32(hi, hi);
}

// Eight byte flags (0 or 0xFF) spread to whole pixels: pixels 0-3 and 4-7.
inline void Spread8Flags(__m128i f8, __m128i& lo, __m128i& hi) {
    const __m128i f16 = _mm_unpacklo_epi8(f8, f8);
    lo = _mm_unpacklo_epi16(f16, f16);
    hi = _mm_unpackhi_epi16(f16, f16);
}

// Eight pixels: Dest := mix of Base and Other by the weights w16 (pixels where keep8 is
// 0xFF stay as they are).
inline void Mix8(uint8_t* Dest, const uint8_t* Base, const uint8_t* Other, __m128i w16, const __m128i* keep) {
    __m128i w[4];
    Spread8(w16, w);
    for (int g = 0; g < 2; ++g) {
        const size_t o = static_cast<size_t>(g) * 16;
        const __m128i b = Load(Base + o);
        __m128i r = Mix4(b, Load(Other + o), w[2 * g], w[2 * g + 1]);
        if (keep) r = Select(keep[g], Load(Dest + o), r);
        Store(Dest + o, r);
    }
}

}  // namespace

void SmoothBlendRow_SSE2(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, const uint8_t* Mask, int Count) {
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1), ff = _mm_set1_epi8(-1);
    int x = 0;
    for (; x + 8 <= Count; x += 8) {
        const __m128i m8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Mask + x));
        const __m128i keep8 = _mm_cmpeq_epi8(m8, ff);
        if (_mm_movemask_epi8(keep8) == 0xFF) continue;  // eight times 255: nothing to do
        const __m128i m16 = _mm_unpacklo_epi8(m8, zero);
        // m + 1, and 0 for m = 0.
        const __m128i w16 = _mm_andnot_si128(_mm_cmpeq_epi16(m16, zero), _mm_add_epi16(m16, one));
        __m128i keep[2];
        Spread8Flags(keep8, keep[0], keep[1]);
        const size_t o = static_cast<size_t>(x) * 4;
        Mix8(Dest + o, NewPix + o, OldPix + o, w16, keep);
    }
    SmoothBlendRow_Pas(Dest + static_cast<size_t>(x) * 4, NewPix + static_cast<size_t>(x) * 4,
                       OldPix + static_cast<size_t>(x) * 4, Mask + x, Count - x);
}

void BmpMaskBlendRow_SSE2(uint8_t* Dest, const uint8_t* ZeroPix, const uint8_t* FullPix, const uint8_t* Mask, int Count,
                          int Level, int Band, bool Additive) {
    int shift = 0;
    while ((Band << shift) < 256) ++shift;
    if ((Band << shift) != 256 || Level < 0 || Level > 255) {
        BmpMaskBlendRow_Pas(Dest, ZeroPix, FullPix, Mask, Count, Level, Band, Additive);
        return;
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i level = _mm_set1_epi8(static_cast<char>(Level)), band = _mm_set1_epi8(static_cast<char>(Band));
    const __m128i sh = _mm_cvtsi32_si128(shift);
    int x = 0;
    for (; x + 8 <= Count; x += 8) {
        const __m128i m8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Mask + x));
        __m128i c8 = Additive ? _mm_adds_epu8(m8, level) : _mm_subs_epu8(m8, level);
        c8 = _mm_min_epu8(c8, band);
        const __m128i w16 = _mm_sll_epi16(_mm_unpacklo_epi8(c8, zero), sh);
        const size_t o = static_cast<size_t>(x) * 4;
        Mix8(Dest + o, ZeroPix + o, FullPix + o, w16, nullptr);
    }
    BmpMaskBlendRow_Pas(Dest + static_cast<size_t>(x) * 4, ZeroPix + static_cast<size_t>(x) * 4,
                        FullPix + static_cast<size_t>(x) * 4, Mask + x, Count - x, Level, Band, Additive);
}

void AgeMaskRow_SSE2(uint8_t* Mask, int Count, bool ZeroAll, int Amount) {
    AgeMaskRowFrom_SSE2(Mask, Mask, Count, ZeroAll, Amount);
}

void AgeMaskRowFrom_SSE2(uint8_t* Dest, const uint8_t* Src, int Count, bool ZeroAll, int Amount) {
    if (Amount < 0 || Amount > 255) {
        AgeMaskRowFrom_Pas(Dest, Src, Count, ZeroAll, Amount);
        return;
    }
    const __m128i ff = _mm_set1_epi8(-1), amount = _mm_set1_epi8(static_cast<char>(Amount));
    int x = 0;
    for (; x + 16 <= Count; x += 16) {
        const __m128i v = Load(Src + x);
        const __m128i keep = _mm_cmpeq_epi8(v, ff);
        const __m128i aged = ZeroAll ? _mm_setzero_si128() : _mm_subs_epu8(v, amount);
        Store(Dest + x, Select(keep, Load(Dest + x), aged));
    }
    AgeMaskRowFrom_Pas(Dest + x, Src + x, Count - x, ZeroAll, Amount);
}

void CopyByMaskRangeRow32_SSE2(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int Min, int Max) {
    // Mask bytes are 0..255: the range within that, or nothing.
    const int lo = std::max(Min, 0), hi = std::min(Max, 255);
    if (lo > hi) return;
    const __m128i zero = _mm_setzero_si128();
    const __m128i vmin = _mm_set1_epi8(static_cast<char>(lo)), vmax = _mm_set1_epi8(static_cast<char>(hi));
    int x = 0;
    for (; x + 16 <= Count; x += 16) {
        const __m128i m = Load(Mask + x);
        // lo <= m <= hi: both saturated differences are 0.
        const __m128i in =
            _mm_and_si128(_mm_cmpeq_epi8(_mm_subs_epu8(vmin, m), zero), _mm_cmpeq_epi8(_mm_subs_epu8(m, vmax), zero));
        const int bits = _mm_movemask_epi8(in);
        if (bits == 0) continue;
        const __m128i in16lo = _mm_unpacklo_epi8(in, in), in16hi = _mm_unpackhi_epi8(in, in);
        const __m128i take[4] = {_mm_unpacklo_epi16(in16lo, in16lo), _mm_unpackhi_epi16(in16lo, in16lo),
                                 _mm_unpacklo_epi16(in16hi, in16hi), _mm_unpackhi_epi16(in16hi, in16hi)};
        for (int g = 0; g < 4; ++g) {
            if (((bits >> (4 * g)) & 0xF) == 0) continue;
            const size_t o = static_cast<size_t>(x) * 4 + static_cast<size_t>(g) * 16;
            Store(Dest + o, Select(take[g], Load(Src + o), Load(Dest + o)));
        }
    }
    CopyByMaskRangeRow32_Pas(Dest + static_cast<size_t>(x) * 4, Src + static_cast<size_t>(x) * 4, Mask + x, Count - x,
                             Min, Max);
}

#endif

win::HPALETTE CreateGrayPalette() {
    std::vector<uint8_t> buf(sizeof(win::LOGPALETTE) + 256 * sizeof(win::PALETTEENTRY));
    auto* lp = reinterpret_cast<win::LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    for (int i = 0; i < 256; ++i) {
        win::PALETTEENTRY& e = lp->palPalEntry[i];
        e.peRed = e.peGreen = e.peBlue = static_cast<uint8_t>(i);
        e.peFlags = 0;
    }
    return win::CreatePalette(lp);
}

int MaskWorkerBitsPerPixel(cl::TPixelFormat PixelFormat) {
    switch (PixelFormat) {
        case cl::pf1bit: return 1;
        case cl::pf4bit: return 4;
        case cl::pf8bit: return 8;
        case cl::pf15bit:
        case cl::pf16bit: return 16;
        case cl::pf24bit: return 24;
        case cl::pf32bit: return 32;
        default: return 0;
    }
}

int PlanMaskArea(int RowWidth, int Percent, int Align, bool InBits, win::RECT& Inner, win::RECT& Outer) {
    if (Align < 1) Align = 1;
    Outer.left = FloorTo(Outer.left, Align);
    Outer.right = CeilTo(Outer.right, Align);
    Inner.left = CeilTo(Inner.left, Align);
    Inner.right = FloorTo(Inner.right, Align);
    int w2 = Outer.right - Outer.left, w1 = Inner.right - Inner.left, rw = RowWidth;
    if (InBits) {
        w2 /= 8;
        w1 /= 8;
        rw /= 8;
    }
    if (rw * Percent / 100 >= rw - w2 + w1) return 1;
    if (w2 * Percent / 100 >= w1) return 2;
    return 3;
}

void GetMaskAreaRuns(int Mode, TTEMaskRuns& Runs, int RowBytes, cl::TPixelFormat PixelFormat, const win::RECT& Inner,
                     const win::RECT& Outer) {
    const int bpp = MaskWorkerBitsPerPixel(PixelFormat);
    const int rowPixels = bpp ? (RowBytes * 8 + bpp / 2) / bpp : 0;
    win::RECT rects[4];
    Runs.Count = RunRects(Mode, rowPixels, Inner, Outer, rects);
    for (int i = 0; i < Runs.Count; ++i) {
        TTEMaskRun& run = Runs.Runs[i];
        run = TTEMaskRun{};
        const win::RECT& r = rects[i];
        if (Empty(r) || bpp == 0) continue;
        const int rows = r.bottom - r.top;
        run.Rect = r;
        run.Start = RowBytes * r.bottom - r.left * bpp / 8;
        if (Mode == 1) {
            run.RowWidth = rowPixels * rows;
            run.Count = run.RowWidth;
        } else {
            run.RowWidth = r.right - r.left;
            run.Skip = rowPixels - run.RowWidth;
            run.RowSkip = RowBytes - run.RowWidth * bpp / 8;
            run.Count = rows * (run.RowWidth + run.Skip);
        }
    }
}

int PlanMaskRects(int RowPixels, int Height, int Align, bool InBits, win::RECT Inner, win::RECT Outer,
                  win::RECT (&Rects)[4]) {
    if (RowPixels <= 0 || Height <= 0) return 0;
    const int mode = PlanMaskArea(RowPixels, 0, Align, InBits, Inner, Outer);
    const win::RECT box{0, 0, RowPixels, Height};
    Outer = Clamped(Outer, box);
    win::RECT rects[4];
    const int n = RunRects(mode, RowPixels, Inner, Outer, rects);
    int k = 0;
    for (int i = 0; i < n; ++i) {
        win::RECT r = Clamped(rects[i], box);
        if (!Empty(r)) Rects[k++] = r;
    }
    return k;
}

void DisjointRects(const win::RECT* Rects, int Count, std::vector<win::RECT>& Out) {
    Out.clear();
    std::vector<int> ys;
    for (int i = 0; i < Count; ++i) {
        if (Empty(Rects[i])) continue;
        ys.push_back(Rects[i].top);
        ys.push_back(Rects[i].bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<std::pair<int, int>> spans;
    size_t bandStart = 0;  // first rectangle of Out that the previous band wrote
    for (size_t b = 0; b + 1 < ys.size(); ++b) {
        const int y0 = ys[b], y1 = ys[b + 1];
        spans.clear();
        for (int i = 0; i < Count; ++i) {
            const win::RECT& r = Rects[i];
            if (!Empty(r) && r.top <= y0 && r.bottom >= y1) spans.emplace_back(r.left, r.right);
        }
        std::sort(spans.begin(), spans.end());
        std::vector<win::RECT> band;
        for (const auto& sp : spans) {
            if (!band.empty() && sp.first <= band.back().right)
                band.back().right = std::max<int>(band.back().right, sp.second);
            else
                band.push_back(win::RECT{sp.first, y0, sp.second, y1});
        }
        // A band with the same spans as the one above continues its rectangles.
        const size_t prevCount = Out.size() - bandStart;
        bool same = prevCount == band.size() && prevCount > 0 && Out[bandStart].bottom == y0;
        for (size_t k = 0; same && k < band.size(); ++k)
            same = Out[bandStart + k].left == band[k].left && Out[bandStart + k].right == band[k].right;
        if (same) {
            for (size_t k = 0; k < band.size(); ++k) Out[bandStart + k].bottom = y1;
        } else {
            bandStart = Out.size();
            Out.insert(Out.end(), band.begin(), band.end());
        }
    }
}

// ---- 1-bit masks -----------------------------------------------------------------------------

void CopyThroughBitMask(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, const win::RECT& Inner,
                        const win::RECT& Outer, cl::TPixelFormat PixelFormat) {
    if (!Dest || !Src || !Mask) return;
    const int bpp = MaskWorkerBitsPerPixel(PixelFormat);
    if (bpp < 4) return;
    const int w = MinWidth({Dest, Src, Mask}), h = MinHeight({Dest, Src, Mask});
    win::RECT rects[4];
    const int n = PlanMaskRects(w, h, 8, true, Inner, Outer, rects);
    const int bytes = bpp / 8;
    const TTERowView mv(Mask), dv(Dest), sv(Src);
    for (int i = 0; i < n; ++i) {
        const win::RECT r = rects[i];
        // Mostly whole mask bytes that keep their eight pixels: the mask is what is read.
        const size_t rowCost = static_cast<size_t>(r.right - r.left) / 2 + 1;
        ForRowBands(r.top, r.bottom, rowCost, [&](int a, int b) {
            for (int y = a; y < b; ++y) {
                const uint8_t* m = mv[y];
                uint8_t* d = dv[y];
                const uint8_t* s = sv[y];
                for (int x = r.left; x < r.right;) {
                    const uint8_t mb = m[x >> 3];
                    if (mb == 0xFF) {
                        x = (x | 7) + 1;
                        continue;
                    }
                    if (mb == 0 && (x & 7) == 0 && x + 8 <= r.right && bpp >= 8) {
                        // Eight pixels that all take the new picture.
                        std::memcpy(d + static_cast<size_t>(x) * bytes, s + static_cast<size_t>(x) * bytes,
                                    static_cast<size_t>(bytes) * 8);
                        x += 8;
                        continue;
                    }
                    if (!((mb >> (7 - (x & 7))) & 1)) {
                        if (bpp == 4) {
                            const uint8_t keep = (x & 1) ? 0xF0 : 0x0F;
                            d[x >> 1] = static_cast<uint8_t>((d[x >> 1] & keep) | (s[x >> 1] & ~keep));
                        } else {
                            std::memcpy(d + static_cast<size_t>(x) * bytes, s + static_cast<size_t>(x) * bytes, bytes);
                        }
                    }
                    ++x;
                }
            }
        });
    }
}

void MergeBitMasks(cl::TBitmap* Mask, cl::TBitmap* Accum, const win::RECT& Inner, const win::RECT& Outer) {
    if (!Mask || !Accum) return;
    const int w = MinWidth({Mask, Accum}), h = MinHeight({Mask, Accum});
    // Whole words of the rows: never beyond the row memory of either mask.
    const int wordsPerRow = std::min(Mask->RowBytes(), Accum->RowBytes()) / 4;
    win::RECT rects[4];
    const int n = PlanMaskRects(std::min(w, wordsPerRow * 32), h, 32, true, Inner, Outer, rects);
    for (int i = 0; i < n; ++i) {
        const win::RECT& r = rects[i];
        const int w0 = r.left / 32, w1 = (r.right + 31) / 32;
        for (int y = r.top; y < r.bottom; ++y) {
            uint8_t* m = Row(Mask, y);
            uint8_t* a = Row(Accum, y);
            for (int k = w0; k < w1; ++k) {
                uint32_t mv, av;
                std::memcpy(&mv, m + 4 * k, 4);
                std::memcpy(&av, a + 4 * k, 4);
                const uint32_t na = mv & av;
                mv |= ~av;
                std::memcpy(m + 4 * k, &mv, 4);
                std::memcpy(a + 4 * k, &na, 4);
            }
        }
    }
}

void InvertBitMask(uint32_t* Words, int Count) {
    for (int i = 0; i < Count; ++i) Words[i] = ~Words[i];
}

void InvertBitMaskBitmap(cl::TBitmap* Mask) {
    if (!Mask || Mask->GetHeight() <= 0 || Mask->GetWidth() <= 0) return;
    auto* p = static_cast<uint8_t*>(Mask->ScanLine(Mask->GetHeight() - 1));
    const size_t n = static_cast<size_t>(Mask->RowBytes()) * Mask->GetHeight();
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);
}

// ---- blend routines ----------------------------------------------------------------------------

TTEMaskRoutine CreateSmoothBlendRoutine() {
    TTEMaskRoutine r;
    r.kind = TTEMaskRoutine::SmoothBlend;
    return r;
}

TTEMaskRoutine CreateBmpMaskRoutine(int Band, bool Additive) {
    TTEMaskRoutine r;
    if (Band != 8 && Band != 16 && Band != 32 && Band != 64 && Band != 128) return r;
    r.kind = TTEMaskRoutine::BmpMaskBlend;
    r.Band = Band;
    r.Additive = Additive;
    return r;
}

void ReleaseMaskRoutine(TTEMaskRoutine& Routine) { Routine = TTEMaskRoutine{}; }

int SmoothBlendWeight(int m) { return m >= 1 ? m + 1 : 0; }

int BmpMaskWeight(int m, int Level, int Band, bool Additive) {
    int c = Additive ? std::min(m + Level, 255) : std::max(m - Level, 0);
    c = std::min(c, Band);
    return c * (256 / Band);
}

void RunSmoothBlend(const TTEMaskRoutine& Routine, cl::TBitmap* Dest, cl::TBitmap* NewImage, const win::RECT& Inner,
                    const win::RECT& Outer, cl::TBitmap* Mask, cl::TBitmap* OldImage) {
    if (Routine.kind != TTEMaskRoutine::SmoothBlend || !Dest || !NewImage || !Mask || !OldImage) return;
    const int w = MinWidth({Dest, NewImage, Mask, OldImage}), h = MinHeight({Dest, NewImage, Mask, OldImage});
    win::RECT rects[4];
    const int n = PlanMaskRects(w, h, 8, false, Inner, Outer, rects);
    const TTERowView m(Mask), d(Dest), nw(NewImage), od(OldImage);
    for (int i = 0; i < n; ++i) {
        const win::RECT r = rects[i];
        const int count = r.right - r.left;
        const size_t x4 = static_cast<size_t>(r.left) * 4;
        ForRowBands(r.top, r.bottom, static_cast<size_t>(count) * 13, [&](int a, int b) {
            for (int y = a; y < b; ++y) SmoothBlendRow(d[y] + x4, nw[y] + x4, od[y] + x4, m[y] + r.left, count);
        });
    }
}

void RunBmpMaskBlend(const TTEMaskRoutine& Routine, const TTEMaskRoutine& ReverseRoutine, cl::TBitmap* Dest,
                     const win::RECT& Inner, const win::RECT& Outer, int Level, cl::TBitmap* Mask,
                     cl::TBitmap* ZeroImage, cl::TBitmap* FullImage) {
    const TTEMaskRoutine& routine = Level < 0 ? ReverseRoutine : Routine;
    if (routine.kind != TTEMaskRoutine::BmpMaskBlend || !Dest || !Mask || !ZeroImage || !FullImage) return;
    const int level = std::min(Level < 0 ? -Level : Level, 255);
    const int w = MinWidth({Dest, Mask, ZeroImage, FullImage}), h = MinHeight({Dest, Mask, ZeroImage, FullImage});
    win::RECT rects[4];
    const int n = PlanMaskRects(w, h, 8, false, Inner, Outer, rects);
    const TTERowView m(Mask), d(Dest), z(ZeroImage), f(FullImage);
    for (int i = 0; i < n; ++i) {
        const win::RECT r = rects[i];
        const int count = r.right - r.left;
        const size_t x4 = static_cast<size_t>(r.left) * 4;
        ForRowBands(r.top, r.bottom, static_cast<size_t>(count) * 13, [&](int a, int b) {
            for (int y = a; y < b; ++y)
                BmpMaskBlendRow(d[y] + x4, z[y] + x4, f[y] + x4, m[y] + r.left, count, level, routine.Band,
                                routine.Additive);
        });
    }
}

// ---- 8-bit masks ---------------------------------------------------------------------------------

void CopyByMaskRange(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, cl::TPixelFormat PixelFormat, int Min,
                     int Max, int Count) {
    if (!Dest || !Src || !Mask || Count <= 0) return;
    const int bpp = MaskWorkerBitsPerPixel(PixelFormat);
    if (bpp < 4) return;
    const int h = MinHeight({Dest, Src, Mask});
    if (h <= 0) return;
    // The pixel memory of each bitmap as one block ending at the end of its top row.
    const size_t imgBytes = static_cast<size_t>(std::min(Dest->RowBytes(), Src->RowBytes())) * h;
    const size_t maskBytes = static_cast<size_t>(Mask->RowBytes()) * h;
    uint8_t* dEnd = Row(Dest, h - 1) + static_cast<size_t>(Dest->RowBytes()) * h;
    const uint8_t* sEnd = Row(Src, h - 1) + static_cast<size_t>(Src->RowBytes()) * h;
    const uint8_t* mEnd = Row(Mask, h - 1) + maskBytes;
    size_t n = std::min({static_cast<size_t>(Count), imgBytes * 8 / bpp, maskBytes});
    if (bpp == 4) n &= ~static_cast<size_t>(1);
    if (n == 0) return;
    // The last n pixels of each block, walked forwards in chunks that never split a byte.
    const size_t bytes = static_cast<size_t>(bpp) / 8;
    uint8_t* d0 = bpp == 4 ? dEnd - n / 2 : dEnd - n * bytes;
    const uint8_t* s0 = bpp == 4 ? sEnd - n / 2 : sEnd - n * bytes;
    const uint8_t* m0 = mEnd - n;
    constexpr size_t kChunk = 4096;
    const int chunks = static_cast<int>((n + kChunk - 1) / kChunk);
    ForRowBands(0, chunks, kChunk * (bpp == 4 ? 2 : 2 * bytes + 1), [&](int a, int b) {
        const size_t p0 = static_cast<size_t>(a) * kChunk, p1 = std::min(n, static_cast<size_t>(b) * kChunk);
        const int count = static_cast<int>(p1 - p0);
        if (bpp == 4)
            CopyByMaskRangeRow4_Pas(d0 + p0 / 2, s0 + p0 / 2, m0 + p0, count, Min, Max);
        else if (bpp == 32)
            CopyByMaskRangeRow32(d0 + p0 * 4, s0 + p0 * 4, m0 + p0, count, Min, Max);
        else
            CopyByMaskRangeRow_Pas(d0 + p0 * bytes, s0 + p0 * bytes, m0 + p0, count, static_cast<int>(bytes), Min, Max);
    });
}

void CopyByMaskRange32(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, int Min, int Max, int Count) {
    CopyByMaskRange(Dest, Src, Mask, cl::pf32bit, Min, Max, Count);
}

void AgeSmoothMask(cl::TBitmap* Mask, const win::RECT& Inner, const win::RECT& Outer, bool ZeroAll, int Amount) {
    if (!Mask) return;
    win::RECT rects[4];
    const int n =
        PlanMaskRects(std::min(Mask->GetWidth(), Mask->RowBytes()), Mask->GetHeight(), 8, false, Inner, Outer, rects);
    const TTERowView m(Mask);
    for (int i = 0; i < n; ++i) {
        const win::RECT r = rects[i];
        const int count = r.right - r.left;
        ForRowBands(r.top, r.bottom, static_cast<size_t>(count) * 2, [&](int a, int b) {
            for (int y = a; y < b; ++y) AgeMaskRow(m[y] + r.left, count, ZeroAll, Amount);
        });
    }
}

void AgeSmoothMaskFrom(cl::TBitmap* Dest, cl::TBitmap* Src, const win::RECT& Inner, const win::RECT& Outer,
                       bool ZeroAll, int Amount) {
    if (!Dest || !Src) return;
    const int w = std::min({Dest->GetWidth(), Src->GetWidth(), Dest->RowBytes(), Src->RowBytes()});
    win::RECT rects[4];
    const int n = PlanMaskRects(w, MinHeight({Dest, Src}), 8, false, Inner, Outer, rects);
    const TTERowView d(Dest), s(Src);
    for (int i = 0; i < n; ++i) {
        const win::RECT r = rects[i];
        const int count = r.right - r.left;
        ForRowBands(r.top, r.bottom, static_cast<size_t>(count) * 3, [&](int a, int b) {
            for (int y = a; y < b; ++y) AgeMaskRowFrom(d[y] + r.left, s[y] + r.left, count, ZeroAll, Amount);
        });
    }
}

}  // namespace te
