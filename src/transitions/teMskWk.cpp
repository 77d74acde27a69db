#include "transitions/teMskWk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/gdi.h"

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
    for (cl::TBitmap* b : bs) w = std::min(w, b->Width());
    return w;
}
int MinHeight(std::initializer_list<cl::TBitmap*> bs) {
    int h = INT32_MAX;
    for (cl::TBitmap* b : bs) h = std::min(h, b->Height());
    return h;
}

inline uint8_t* Row(cl::TBitmap* b, int r) { return static_cast<uint8_t*>(b->ScanLine(r)); }

inline uint8_t MixByte(int base, int other, int w) {
    // base + floor((other - base) * w / 256), the arithmetic shift flooring negative products.
    return static_cast<uint8_t>(base + (((other - base) * w) >> 8));
}

}  // namespace

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
    for (int i = 0; i < n; ++i) {
        const win::RECT& r = rects[i];
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t* m = Row(Mask, y);
            uint8_t* d = Row(Dest, y);
            const uint8_t* s = Row(Src, y);
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
    if (!Mask || Mask->Height() <= 0 || Mask->Width() <= 0) return;
    auto* p = static_cast<uint8_t*>(Mask->ScanLine(Mask->Height() - 1));
    const size_t n = static_cast<size_t>(Mask->RowBytes()) * Mask->Height();
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
    for (int i = 0; i < n; ++i) {
        const win::RECT& r = rects[i];
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t* m = Row(Mask, y);
            uint8_t* d = Row(Dest, y);
            const uint8_t* nw = Row(NewImage, y);
            const uint8_t* od = Row(OldImage, y);
            int x = r.left;
#if defined(__SSE2__)
            // Four pixels at a time: the same wrapped 16-bit product, logical shift and byte add.
            const __m128i zero = _mm_setzero_si128();
            for (; x + 4 <= r.right; x += 4) {
                uint32_t m4;
                std::memcpy(&m4, m + x, 4);
                if (m4 == 0xFFFFFFFFu) continue;
                int16_t w[4];
                int keep[4];
                for (int i = 0; i < 4; ++i) {
                    const int mv = static_cast<int>((m4 >> (8 * i)) & 0xFF);
                    w[i] = static_cast<int16_t>(mv ? mv + 1 : 0);
                    keep[i] = mv == 255 ? -1 : 0;
                }
                const size_t o = static_cast<size_t>(x) * 4;
                const __m128i nv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nw + o));
                const __m128i ov = _mm_loadu_si128(reinterpret_cast<const __m128i*>(od + o));
                const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + o));
                const __m128i wlo = _mm_set_epi16(w[1], w[1], w[1], w[1], w[0], w[0], w[0], w[0]);
                const __m128i whi = _mm_set_epi16(w[3], w[3], w[3], w[3], w[2], w[2], w[2], w[2]);
                const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(ov, zero), _mm_unpacklo_epi8(nv, zero));
                const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(ov, zero), _mm_unpackhi_epi8(nv, zero));
                const __m128i plo = _mm_srli_epi16(_mm_mullo_epi16(dlo, wlo), 8);
                const __m128i phi = _mm_srli_epi16(_mm_mullo_epi16(dhi, whi), 8);
                const __m128i res = _mm_add_epi8(_mm_packus_epi16(plo, phi), nv);
                const __m128i km = _mm_set_epi32(keep[3], keep[2], keep[1], keep[0]);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + o),
                                 _mm_or_si128(_mm_and_si128(km, dv), _mm_andnot_si128(km, res)));
            }
#endif
            for (; x < r.right; ++x) {
                const int mv = m[x];
                if (mv == 255) continue;
                const int wt = mv ? mv + 1 : 0;
                const size_t o = static_cast<size_t>(x) * 4;
                for (int c = 0; c < 4; ++c) d[o + c] = MixByte(nw[o + c], od[o + c], wt);
            }
        }
    }
}

void RunBmpMaskBlend(const TTEMaskRoutine& Routine, const TTEMaskRoutine& ReverseRoutine, cl::TBitmap* Dest,
                     const win::RECT& Inner, const win::RECT& Outer, int Level, cl::TBitmap* Mask,
                     cl::TBitmap* ZeroImage, cl::TBitmap* FullImage) {
    const TTEMaskRoutine& routine = Level < 0 ? ReverseRoutine : Routine;
    if (routine.kind != TTEMaskRoutine::BmpMaskBlend || !Dest || !Mask || !ZeroImage || !FullImage) return;
    const int level = std::min(Level < 0 ? -Level : Level, 255);
    const int w = MinWidth({Dest, Mask, ZeroImage, FullImage}), h = MinHeight({Dest, Mask, ZeroImage, FullImage});
    int weight[256];
    for (int m = 0; m < 256; ++m) weight[m] = BmpMaskWeight(m, level, routine.Band, routine.Additive);
    win::RECT rects[4];
    const int n = PlanMaskRects(w, h, 8, false, Inner, Outer, rects);
    for (int i = 0; i < n; ++i) {
        const win::RECT& r = rects[i];
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t* m = Row(Mask, y);
            uint8_t* d = Row(Dest, y);
            const uint8_t* z = Row(ZeroImage, y);
            const uint8_t* f = Row(FullImage, y);
            for (int x = r.left; x < r.right; ++x) {
                const int wt = weight[m[x]];
                const size_t o = static_cast<size_t>(x) * 4;
                for (int c = 0; c < 4; ++c) d[o + c] = MixByte(z[o + c], f[o + c], wt);
            }
        }
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
    auto in = [Min, Max](uint8_t v) { return Min <= v && v <= Max; };
    if (bpp == 4) {
        n &= ~static_cast<size_t>(1);
        for (size_t i = 0; i < n; i += 2) {
            // Pixels counted back from the end: the pair ending i pixels before it.
            const size_t byte = (i >> 1) + 1;
            const bool hi = in(mEnd[-static_cast<ptrdiff_t>(i + 2)]);
            const bool lo = in(mEnd[-static_cast<ptrdiff_t>(i + 1)]);
            if (!hi && !lo) continue;
            uint8_t& d = dEnd[-static_cast<ptrdiff_t>(byte)];
            const uint8_t s = sEnd[-static_cast<ptrdiff_t>(byte)];
            const uint8_t take = static_cast<uint8_t>((hi ? 0xF0 : 0) | (lo ? 0x0F : 0));
            d = static_cast<uint8_t>((d & ~take) | (s & take));
        }
        return;
    }
    const size_t bytes = static_cast<size_t>(bpp / 8);
    for (size_t i = 1; i <= n; ++i) {
        if (!in(mEnd[-static_cast<ptrdiff_t>(i)])) continue;
        std::memcpy(dEnd - i * bytes, sEnd - i * bytes, bytes);
    }
}

void CopyByMaskRange32(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, int Min, int Max, int Count) {
    CopyByMaskRange(Dest, Src, Mask, cl::pf32bit, Min, Max, Count);
}

void AgeSmoothMask(cl::TBitmap* Mask, const win::RECT& Inner, const win::RECT& Outer, bool ZeroAll, int Amount) {
    if (!Mask) return;
    win::RECT rects[4];
    const int n = PlanMaskRects(std::min(Mask->Width(), Mask->RowBytes()), Mask->Height(), 8, false, Inner, Outer,
                                rects);
    for (int i = 0; i < n; ++i) {
        const win::RECT& r = rects[i];
        for (int y = r.top; y < r.bottom; ++y) {
            uint8_t* m = Row(Mask, y);
            for (int x = r.left; x < r.right; ++x) {
                if (m[x] == 255) continue;
                m[x] = ZeroAll ? 0 : static_cast<uint8_t>(std::max(m[x] - Amount, 0));
            }
        }
    }
}

void AgeSmoothMaskFrom(cl::TBitmap* Dest, cl::TBitmap* Src, const win::RECT& Inner, const win::RECT& Outer,
                       bool ZeroAll, int Amount) {
    if (!Dest || !Src) return;
    const int w = std::min({Dest->Width(), Src->Width(), Dest->RowBytes(), Src->RowBytes()});
    win::RECT rects[4];
    const int n = PlanMaskRects(w, MinHeight({Dest, Src}), 8, false, Inner, Outer, rects);
    for (int i = 0; i < n; ++i) {
        const win::RECT& r = rects[i];
        for (int y = r.top; y < r.bottom; ++y) {
            uint8_t* d = Row(Dest, y);
            const uint8_t* s = Row(Src, y);
            for (int x = r.left; x < r.right; ++x) {
                if (s[x] == 255) continue;
                d[x] = ZeroAll ? 0 : static_cast<uint8_t>(std::max(s[x] - Amount, 0));
            }
        }
    }
}

}  // namespace te
