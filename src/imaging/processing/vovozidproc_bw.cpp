#include "imaging/processing/vovozidproc_bw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/io/vovozidio_colors.h"
#include "imaging/processing/vovozidproc_helpers.h"

namespace ie {

namespace {

// One row of any pixel format as 24-bit colours (16-bit samples by their high byte, floats
// limited to 0..1).
void RowToRGB(TIEBitmap* b, TIEPixelFormat f, const uint8_t* s, int32_t w, TRGB* out) {
    auto u16 = [](const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); };
    switch (f) {
        case ie1g:
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t v = IEGetBit(s, x) ? 255 : 0;
                out[x] = TRGB{v, v, v};
            }
            break;
        case ie8p: {
            const TRGB* pal = b->GetPalette();
            const int32_t n = b->GetPaletteLength();
            for (int32_t x = 0; x < w; ++x) out[x] = pal && s[x] < n ? pal[s[x]] : TRGB{};
            break;
        }
        case ie8g:
            for (int32_t x = 0; x < w; ++x) out[x] = TRGB{s[x], s[x], s[x]};
            break;
        case ie16g:
            for (int32_t x = 0; x < w; ++x) out[x] = TRGB{s[2 * x + 1], s[2 * x + 1], s[2 * x + 1]};
            break;
        case ie24RGB: std::memcpy(static_cast<void*>(out), s, static_cast<size_t>(w) * 3); break;
        case ie32f:
            for (int32_t x = 0; x < w; ++x) {
                float v;
                std::memcpy(&v, s + 4 * x, 4);
                const double c = std::isfinite(v) ? std::clamp<double>(v, 0.0, 1.0) : 0.0;
                const auto g = static_cast<uint8_t>(std::trunc(c * 255));
                out[x] = TRGB{g, g, g};
            }
            break;
        case ieCMYK:
            for (int32_t x = 0; x < w; ++x) IECMYKToRGB(TCMYK{s[4 * x], s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]}, out[x]);
            break;
        case ieRGB48:
            for (int32_t x = 0; x < w; ++x)
                out[x] = CreateRGB(static_cast<uint8_t>(u16(s + 6 * x) >> 8), static_cast<uint8_t>(u16(s + 6 * x + 2) >> 8),
                                   static_cast<uint8_t>(u16(s + 6 * x + 4) >> 8));
            break;
        case ieCIELab:
            for (int32_t x = 0; x < w; ++x) {
                TCIELab lab;
                std::memcpy(&lab, s + 3 * x, 3);
                IECIELabToRGB(out[x], lab);
            }
            break;
        case ie32RGB:
            for (int32_t x = 0; x < w; ++x) out[x] = TRGB{s[4 * x], s[4 * x + 1], s[4 * x + 2]};
            break;
        default: std::fill(out, out + w, TRGB{}); break;
    }
}

// Calls Fn(y, colours) for every row.
template <class Fn>
void ForEachRGBRow(TIEBitmap* b, Fn fn) {
    const int32_t w = b->GetWidth(), h = b->GetHeight();
    const TIEPixelFormat f = b->GetPixelFormat();
    std::vector<TRGB> line(static_cast<size_t>(std::max(w, 1)));
    const TIEBitmapAccess saved = b->Access;
    b->Access = ieaRead;
    for (int32_t y = 0; y < h; ++y) {
        const auto* s = static_cast<const uint8_t*>(b->GetScanline(y));
        if (!s) continue;
        RowToRGB(b, f, s, w, line.data());
        fn(y, line.data());
    }
    b->Access = saved;
}

}  // namespace

void IEAverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B) {
    R = G = B = 0;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) return;
    int64_t r = 0, g = 0, b = 0;
    ForEachRGBRow(Bitmap, [&](int32_t, const TRGB* line) {
        int64_t rr = 0, gg = 0, bb = 0;
        for (int32_t x = 0; x < w; ++x) {
            rr += line[x].r;
            gg += line[x].g;
            bb += line[x].b;
        }
        r += rr / w;
        g += gg / w;
        b += bb / w;
    });
    R = static_cast<int32_t>(r / h);
    G = static_cast<int32_t>(g / h);
    B = static_cast<int32_t>(b / h);
}

void IEGrayHistogram(TIEBitmap* Bitmap, int64_t (&Histogram)[256]) {
    std::fill(std::begin(Histogram), std::end(Histogram), 0);
    const int32_t w = Bitmap->GetWidth();
    const bool mono = Bitmap->GetPixelFormat() == ie1g;
    ForEachRGBRow(Bitmap, [&](int32_t, const TRGB* line) {
        for (int32_t x = 0; x < w; ++x) ++Histogram[mono ? (line[x].r ? 1 : 0) : IERGBToGray(line[x])];
    });
}

bool IEThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold) {
    if (!Source || !Dest || Source == Dest) return false;
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    if (w <= 0 || h <= 0 || Dest->GetPixelFormat() != ie1g || Dest->GetWidth() != w || Dest->GetHeight() != h)
        return false;
    if (Source->GetPixelFormat() == ie1g) {
        Dest->AssignImage(Source);
        return true;
    }
    if (Threshold == -2) {
        int64_t hist[256];
        IEGrayHistogram(Source, hist);
        const double n = static_cast<double>(w) * h;
        double p[256];
        double ht = 0;
        for (int i = 0; i < 256; ++i) {
            p[i] = hist[i] / n;
            if (p[i] > 0) ht -= p[i] * std::log(p[i]);
        }
        double best = 0, e = 0, cumulative = 0, hb = 0;
        for (int i = 1; i < 256; ++i) {
            cumulative += p[i - 1];
            if (p[i - 1] > 0) hb -= p[i - 1] * std::log(p[i - 1]);
            if (cumulative > 0 && cumulative < 1)
                e = std::log(cumulative - cumulative * cumulative) + hb / cumulative + (ht - hb) / (1 - cumulative);
            if (e > best) {
                best = e;
                Threshold = i;
            }
        }
    } else if (Threshold == -1) {
        int32_t r, g, b;
        IEAverageColor(Source, r, g, b);
        Threshold = IERGBToGray(CreateRGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)));
    }
    const TIEBitmapAccess saved = Dest->Access;
    Dest->Access = ieaWrite;
    const int32_t rowLen = Dest->GetRowLen();
    // Rows of Dest are written while Source's are read: Dest's rows go through MapRow so that
    // two file-located bitmaps each keep their own row.
    ForEachRGBRow(Source, [&](int32_t y, const TRGB* line) {
        auto* d = static_cast<uint8_t*>(Dest->MapRow(y));
        if (!d) return;
        std::memset(d, 0, static_cast<size_t>(rowLen));
        for (int32_t x = 0; x < w; ++x)
            if (IERGBToGray(line[x]) >= Threshold) d[x >> 3] |= IEBitMask8[x & 7];
        Dest->UnmapRow(d);
    });
    Dest->Access = saved;
    return true;
}

}  // namespace ie
