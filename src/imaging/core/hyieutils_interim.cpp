// Operations of TIEBitmap that belong to the conversion, editing and rendering parts of
// the class but that the storage part needs before those parts are in: the conversion
// between the formats whose rules need no other unit, the copy from a class-library
// bitmap, and the row renderers (the class cannot be built without them). A part that
// defines one of these operations removes it from here.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/hyieutils_bitmap.h"
#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_encoders.h"

namespace ie {

namespace {

inline uint8_t G8(int r, int g, int b) {
    return static_cast<uint8_t>((r * IEGrayWeightRed + g * IEGrayWeightGreen + b * IEGrayWeightBlue) / 100);
}
inline uint16_t Y16(int r, int g, int b) {
    return static_cast<uint16_t>((static_cast<int64_t>(r) * 54484 + static_cast<int64_t>(g) * 183241 +
                                  static_cast<int64_t>(b) * 19275) /
                                 1000);
}
inline float Yf(int r, int g, int b) {
    return static_cast<float>((r * 0.2126 + g * 0.7152 + b * 0.0722) / 255.0);
}
template <class T>
inline T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
inline void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}
inline void StoreRGB(uint8_t* d, uint8_t r, uint8_t g, uint8_t b) {
    d[0] = b;
    d[1] = g;
    d[2] = r;
}
inline void StoreRGB48(uint8_t* d, uint16_t r, uint16_t g, uint16_t b) {
    Store<uint16_t>(d, r);
    Store<uint16_t>(d + 2, g);
    Store<uint16_t>(d + 4, b);
}
inline int64_t TruncF(double v) { return static_cast<int64_t>(std::trunc(std::isfinite(v) ? v : 0.0)); }

// The pairs converted here directly (the others need the quantizer, the 1-bit reductions
// or the CMYK conversions).
bool DirectPair(TIEPixelFormat s, TIEPixelFormat d) {
    auto in = [d](std::initializer_list<TIEPixelFormat> l) { return std::find(l.begin(), l.end(), d) != l.end(); };
    switch (s) {
        case ie1g: return in({ie8p, ie8g, ie16g, ie24RGB, ie32RGB, ie32f, ieRGB48});
        case ie8p:
        case ie24RGB: return in({ie8g, ie16g, ie32f, ie24RGB, ie32RGB, ieRGB48, ieCIELab});
        case ie8g: return in({ie8p, ie16g, ie24RGB, ie32RGB, ie32f, ieRGB48});
        case ie16g:
        case ie32f: return in({ie8p, ie8g, ie16g, ie24RGB, ie32RGB, ie32f, ieRGB48});
        case ieRGB48: return in({ie8g, ie16g, ie24RGB, ie32RGB, ie32f});
        case ieCIELab: return in({ie24RGB, ie32RGB});
        case ie32RGB: return d == ie24RGB;
        default: return false;
    }
}

// Pairs that go through 24-bit colour first.
bool Via24(TIEPixelFormat s, TIEPixelFormat d) {
    return (d == ieCIELab && s != ie24RGB && s != ie8p) || (s == ieCIELab && d != ie24RGB && d != ie32RGB) ||
           (s == ie32RGB && d != ie24RGB);
}

bool Converts(TIEPixelFormat s, TIEPixelFormat d) {
    if (s == d) return true;
    if (Via24(s, d)) return DirectPair(s, ie24RGB) && DirectPair(ie24RGB, d);
    return DirectPair(s, d);
}

}  // namespace

void TIEBitmap::CopyAndConvertFormat(TIEBitmap* Source) {
    if (!Source || Source == this || FLocation == ieTBitmap) return;
    const int32_t w = GetWidth(), h = GetHeight();
    if (Source->GetWidth() != w || Source->GetHeight() != h) return;
    const TIEPixelFormat sf = Source->GetPixelFormat(), df = FPixelFormat;
    if (sf == ieNone || df == ieNone) return;
    if (!Converts(sf, df))
        throw cl::Exception(cl::Format("No conversion from pixel format %d to %d", int(sf), int(df)));

    if (sf != df) {
        if (Via24(sf, df)) {
            if (!Source->SetPixelFormat(ie24RGB)) return;
            CopyAndConvertFormat(Source);
            return;
        }
        if (df == ie8p) {
            // Grey sources keep their levels and take the grey ramp.
            for (int i = 0; i < 256; ++i) {
                const auto v = static_cast<uint8_t>(i);
                if (sf != ie1g) FPalette[i] = TRGB{v, v, v};
            }
            if (sf == ie1g) {
                FPalette[0] = TRGB{0, 0, 0};
                FPalette[1] = TRGB{255, 255, 255};
            }
        }
    }

    const TIEBitmapAccess sa = Source->Access, da = Access;
    Source->Access = ieaRead;
    Access = ieaWrite;
    TRGB* pal = Source->GetPalette();
    const int32_t palLen = Source->GetPaletteLength();
    auto entry = [&](uint8_t i) { return pal && i < palLen ? pal[i] : TRGB{}; };
    const double dmin = DisplayMin, dmax = DisplayMax;
    bool done = true;
    for (int32_t y = 0; y < h && done; ++y) {
        auto* s = static_cast<const uint8_t*>(Source->MapRow(y));
        auto* d = static_cast<uint8_t*>(GetScanline(y));
        if (!s || !d) {
            Source->UnmapRow(const_cast<uint8_t*>(s));
            break;
        }
        if (sf == df) {
            std::memcpy(d, s, static_cast<size_t>(std::min(FRowLen, Source->GetRowLen())));
            Source->UnmapRow(const_cast<uint8_t*>(s));
            continue;
        }
        for (int32_t x = 0; x < w && done; ++x) {
            // The source pixel as colour, grey 8, grey 16 and float, by its own rules.
            switch (sf) {
                case ie1g: {
                    const bool on = IEGetBit(s, x);
                    switch (df) {
                        case ie8p: d[x] = on ? 1 : 0; break;
                        case ie8g: d[x] = on ? 255 : 0; break;
                        case ie16g: Store<uint16_t>(d + 2 * x, on ? 65535 : 0); break;
                        case ie24RGB: std::memset(d + 3 * x, on ? 255 : 0, 3); break;
                        case ie32RGB:
                            std::memset(d + 4 * x, on ? 255 : 0, 3);
                            d[4 * x + 3] = 255;
                            break;
                        case ie32f: Store<float>(d + 4 * x, on ? 1.0f : 0.0f); break;
                        case ieRGB48: StoreRGB48(d + 6 * x, on ? 65535 : 0, on ? 65535 : 0, on ? 65535 : 0); break;
                        default: done = false; break;
                    }
                    break;
                }
                case ie8p:
                case ie24RGB: {
                    TRGB c = sf == ie8p ? entry(s[x]) : TRGB{s[3 * x], s[3 * x + 1], s[3 * x + 2]};
                    switch (df) {
                        case ie8g: d[x] = G8(c.r, c.g, c.b); break;
                        case ie16g: Store<uint16_t>(d + 2 * x, Y16(c.r, c.g, c.b)); break;
                        case ie32f: Store<float>(d + 4 * x, Yf(c.r, c.g, c.b)); break;
                        case ie24RGB: StoreRGB(d + 3 * x, c.r, c.g, c.b); break;
                        case ie32RGB:
                            StoreRGB(d + 4 * x, c.r, c.g, c.b);
                            d[4 * x + 3] = 255;
                            break;
                        case ieRGB48:
                            StoreRGB48(d + 6 * x, static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257),
                                       static_cast<uint16_t>(c.b * 257));
                            break;
                        case ieCIELab: {
                            TCIELab lab;
                            IERGBToCIELab(lab, (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b);
                            std::memcpy(d + 3 * x, &lab, 3);
                            break;
                        }
                        default: done = false; break;
                    }
                    break;
                }
                case ie8g: {
                    const uint8_t v = s[x];
                    switch (df) {
                        case ie8p: d[x] = v; break;
                        case ie16g: Store<uint16_t>(d + 2 * x, static_cast<uint16_t>(v * 257)); break;
                        case ie24RGB: std::memset(d + 3 * x, v, 3); break;
                        case ie32RGB:
                            std::memset(d + 4 * x, v, 3);
                            d[4 * x + 3] = 255;
                            break;
                        case ie32f: Store<float>(d + 4 * x, static_cast<float>(v / 255.0)); break;
                        case ieRGB48: {
                            const auto w16 = static_cast<uint16_t>(v * 257);
                            StoreRGB48(d + 6 * x, w16, w16, w16);
                            break;
                        }
                        default: done = false; break;
                    }
                    break;
                }
                case ie16g: {
                    const uint16_t v = Load<uint16_t>(s + 2 * x);
                    switch (df) {
                        case ie8p:
                        case ie8g: d[x] = static_cast<uint8_t>(v >> 8); break;
                        case ie24RGB: {
                            uint8_t g = static_cast<uint8_t>(v >> 8);
                            if (dmax - dmin != 0) {
                                const int64_t lo = TruncF(dmin), hi = TruncF(dmax);
                                const int64_t c = std::clamp<int64_t>(v, lo, std::max(lo, hi));
                                g = static_cast<uint8_t>(
                                    std::clamp<int64_t>(TruncF((c - lo) / (dmax - dmin) * 255.0), 0, 255));
                            }
                            std::memset(d + 3 * x, g, 3);
                            break;
                        }
                        case ie32RGB:
                            std::memset(d + 4 * x, v >> 8, 3);
                            d[4 * x + 3] = 255;
                            break;
                        case ie32f: Store<float>(d + 4 * x, static_cast<float>(v / 65535.0)); break;
                        case ieRGB48: StoreRGB48(d + 6 * x, v, v, v); break;
                        default: done = false; break;
                    }
                    break;
                }
                case ie32f: {
                    // Values outside 0..1 are limited first.
                    const double v = std::clamp<double>(Load<float>(s + 4 * x), 0.0, 1.0);
                    const auto g = static_cast<uint8_t>(TruncF(v * 255));
                    const auto g16 = static_cast<uint16_t>(TruncF(v * 65535));
                    switch (df) {
                        case ie8p:
                        case ie8g: d[x] = g; break;
                        case ie24RGB: std::memset(d + 3 * x, g, 3); break;
                        case ie32RGB:
                            std::memset(d + 4 * x, g, 3);
                            d[4 * x + 3] = 255;
                            break;
                        case ie16g: Store<uint16_t>(d + 2 * x, g16); break;
                        case ieRGB48: StoreRGB48(d + 6 * x, g16, g16, g16); break;
                        default: done = false; break;
                    }
                    break;
                }
                case ieRGB48: {
                    const int r = Load<uint16_t>(s + 6 * x), g = Load<uint16_t>(s + 6 * x + 2),
                              b = Load<uint16_t>(s + 6 * x + 4);
                    switch (df) {
                        case ie8g: d[x] = G8(r / 256, g / 256, b / 256); break;
                        case ie16g:
                            Store<uint16_t>(d + 2 * x, static_cast<uint16_t>((static_cast<int64_t>(r) * 212 +
                                                                              static_cast<int64_t>(g) * 713 +
                                                                              static_cast<int64_t>(b) * 75) /
                                                                             1000));
                            break;
                        case ie24RGB: StoreRGB(d + 3 * x, r >> 8, g >> 8, b >> 8); break;
                        case ie32RGB:
                            StoreRGB(d + 4 * x, r >> 8, g >> 8, b >> 8);
                            d[4 * x + 3] = 255;
                            break;
                        case ie32f:
                            Store<float>(d + 4 * x,
                                         static_cast<float>((r * 0.2126 / 256 + g * 0.7152 / 256 + b * 0.0722 / 256) /
                                                            255));
                            break;
                        default: done = false; break;
                    }
                    break;
                }
                case ieCIELab: {
                    TCIELab lab;
                    std::memcpy(&lab, s + 3 * x, 3);
                    TRGB c;
                    IECIELabToRGB(c, lab);
                    if (df == ie24RGB) {
                        StoreRGB(d + 3 * x, c.r, c.g, c.b);
                    } else if (df == ie32RGB) {
                        StoreRGB(d + 4 * x, c.r, c.g, c.b);
                        d[4 * x + 3] = 255;
                    } else {
                        done = false;
                    }
                    break;
                }
                case ie32RGB:
                    if (df == ie24RGB)
                        std::memcpy(d + 3 * x, s + 4 * x, 3);
                    else
                        done = false;
                    break;
                default: done = false; break;
            }
        }
        Source->UnmapRow(const_cast<uint8_t*>(s));
    }
    ReleaseScanlineRow();
    Source->Access = sa;
    Access = da;
    if (Source->HasAlphaChannel() && !IsAlphaChannel) {
        TIEBitmap* a = GetAlphaChannel();
        if (a) a->Assign(Source->GetAlphaChannel());
    }
}

void TIEBitmap::CopyFromTBitmap(cl::TBitmap* Bitmap) {
    if (!Bitmap) return;
    if (FLocation == ieTBitmap) {
        const cl::TPixelFormat vf = Bitmap->PixelFormat();
        if (vf != cl::pf1bit && vf != cl::pf24bit && vf != cl::pf32bit) Bitmap->SetPixelFormat(cl::pf24bit);
        if (!FVclBitmap || VclBitmapShared) {
            FreeImage(true);
            FVclBitmap = new cl::TBitmap();
            VclBitmapShared = false;
        }
        FVclBitmap->Assign(Bitmap);
        FWidth = FVclBitmap->Width();
        FHeight = FVclBitmap->Height();
        const cl::TPixelFormat nf = FVclBitmap->PixelFormat();
        SetFormatFields(nf == cl::pf1bit ? ie1g : nf == cl::pf32bit ? ie32RGB : ie24RGB);
        BuildVclRows();
        FNeedsAllocate = false;
        return;
    }
    const int32_t w = Bitmap->Width(), h = Bitmap->Height();
    const cl::TPixelFormat vf = Bitmap->PixelFormat();
    TIEPixelFormat f;
    switch (vf) {
        case cl::pf1bit: f = Bitmap->Monochrome() ? ie1g : ie8p; break;
        case cl::pf4bit:
        case cl::pf8bit: f = ie8p; break;
        case cl::pf15bit:
        case cl::pf16bit:
        case cl::pf24bit: f = ie24RGB; break;
        case cl::pf32bit: f = ie32RGB; break;
        default: return;
    }
    if (!Allocate(w, h, f)) return;
    if (f == ie8p) {
        const auto& table = Bitmap->ColorTable();
        for (size_t i = 0; i < table.size() && i < 256; ++i)
            FPalette[i] = TRGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
    }
    const TIEBitmapAccess da = Access;
    Access = ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        auto* s = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
        auto* d = static_cast<uint8_t*>(GetScanline(y));
        if (!d) break;
        switch (vf) {
            case cl::pf1bit:
                if (f == ie1g) {
                    std::memcpy(d, s, static_cast<size_t>(std::min<int64_t>(FRowLen, Bitmap->RowBytes())));
                } else {
                    for (int32_t x = 0; x < w; ++x) d[x] = IEGetBit(s, x) ? 1 : 0;
                }
                break;
            case cl::pf4bit:
                for (int32_t x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x / 2] & 15) : (s[x / 2] >> 4);
                break;
            case cl::pf15bit:
            case cl::pf16bit:
                for (int32_t x = 0; x < w; ++x) {
                    const uint16_t v = Load<uint16_t>(s + 2 * x);
                    if (vf == cl::pf15bit)
                        StoreRGB(d + 3 * x, ((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3);
                    else
                        StoreRGB(d + 3 * x, (v >> 11) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3);
                }
                break;
            default:
                std::memcpy(d, s, static_cast<size_t>(std::min<int64_t>(FRowLen, Bitmap->RowBytes())));
                break;
        }
    }
    ReleaseScanlineRow();
    Access = da;
    Full = false;
}

// Drawing needs the rendering part of the class; without it a renderer draws nothing.
void TIEBitmap::RenderRows24RGB(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows24RGBAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32RGB(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32RGBAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows1g(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows1gAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8g(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8gAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8p(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8pAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows16g(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows16gAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32f(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32fAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCMYK(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCMYKAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCIELab(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCIELabAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsRGB48(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsRGB48Alpha(const TIERenderRowsParams&) {}

}  // namespace ie
