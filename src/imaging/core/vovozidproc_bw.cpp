#include "imaging/core/vovozidproc_bw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_lists.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/core/vovozidproc_helpers.h"

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
            for (int32_t x = 0; x < w; ++x)
                IECMYKToRGB(TCMYK{s[4 * x], s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]}, out[x]);
            break;
        case ieRGB48:
            for (int32_t x = 0; x < w; ++x)
                out[x] =
                    CreateRGB(static_cast<uint8_t>(u16(s + 6 * x) >> 8), static_cast<uint8_t>(u16(s + 6 * x + 2) >> 8),
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

bool IEThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold, const TIEProgressEvent& OnProgress,
                     cl::TObject* Sender) {
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
    const double per = 100.0 / (h + 0.5);
    ForEachRGBRow(Source, [&](int32_t y, const TRGB* line) {
        auto* d = static_cast<uint8_t*>(Dest->MapRow(y));
        if (d) {
            std::memset(d, 0, static_cast<size_t>(rowLen));
            for (int32_t x = 0; x < w; ++x)
                if (IERGBToGray(line[x]) >= Threshold) d[x >> 3] |= IEBitMask8[x & 7];
            Dest->UnmapRow(d);
        }
        if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc((y + 1) * per)));
    });
    Dest->Access = saved;
    return true;
}

// clang-format off
const uint8_t IEDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},     {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},  {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},    {63, 31, 55, 23, 61, 29, 53, 21},
};
// clang-format on

bool IEConvertToBWOrdered(TIEBitmap* Bitmap, const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return false;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    auto mono = std::make_unique<TIEBitmap>();
    if (!mono->Allocate(w, h, ie1g)) return false;
    const double per = 100.0 / (h + 0.5);
    const TIEBitmapAccess savedSource = Bitmap->Access;
    Bitmap->Access = ieaRead;
    mono->Access = ieaWrite;
    const int32_t rowLen = mono->GetRowLen();
    for (int32_t y = 0; y < h; ++y) {
        const auto* s = static_cast<const uint8_t*>(Bitmap->MapRow(y));
        auto* d = static_cast<uint8_t*>(mono->MapRow(y));
        if (s && d) {
            std::memset(d, 0, static_cast<size_t>(rowLen));
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = s + 3 * static_cast<size_t>(x);
                const int32_t level =
                    (p[0] > 250 && p[1] > 250 && p[2] > 250) ? 64 : IERGBToGray(TRGB{p[0], p[1], p[2]}) >> 2;
                if (level > IEDitherMatrix[x & 7][y & 7]) d[x >> 3] |= IEBitMask8[x & 7];
            }
        }
        if (d) mono->UnmapRow(d);
        if (s) Bitmap->UnmapRow(const_cast<uint8_t*>(s));
        if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc(per * (y + 1))));
    }
    Bitmap->Access = savedSource;
    mono->Access = ieaRead | ieaWrite;
    Bitmap->AssignImage(mono.get());
    return true;
}

bool IEConvertToBWThreshold(TIEBitmap* Bitmap, int32_t Threshold, const TIEProgressEvent& OnProgress,
                            cl::TObject* Sender) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return false;
    auto mono = std::make_unique<TIEBitmap>();
    if (!mono->Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), ie1g)) return false;
    if (!IEThresholdToBW(Bitmap, mono.get(), Threshold, OnProgress, Sender)) return false;
    Bitmap->AssignImage(mono.get());
    return true;
}

bool IEQuantize24(TIEBitmap* Bitmap, int32_t ColorCount, TRGB* Palette, const TIEProgressEvent& OnProgress,
                  cl::TObject* Sender) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || ColorCount < 1) return false;
    std::vector<TRGB> own;
    if (!Palette) {
        own.resize(static_cast<size_t>(ColorCount));
        Palette = own.data();
    }
    const TIEQuantizer quantizer(Bitmap, Palette, ColorCount);
    const int32_t count = quantizer.ColorCount;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const double per = 100.0 / (h + 0.5);
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        auto* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
        if (p) {
            for (int32_t x = 0; x < w; ++x) {
                const int32_t i = quantizer.RGBIndex(p[x]);
                if (i >= 0 && i < count) p[x] = Palette[i];
            }
        }
        if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc(per * (y + 1))));
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
    return true;
}

std::unique_ptr<TIEBitmap> IETwoColorsTo1Bit(TIEBitmap* Bitmap, TRGB& Color0, TRGB& Color1) {
    Color0 = Color1 = TRGB{};
    if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return nullptr;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    auto result = std::make_unique<TIEBitmap>();
    if (!result->Allocate(w, h, ie1g)) return nullptr;
    THash1 seen(13);
    int32_t colours = 0;
    const int32_t rowLen = result->GetRowLen();
    result->Access = ieaRead | ieaWrite;
    for (int32_t y = 0; y < h && colours <= 2; ++y) {
        auto* d = static_cast<uint8_t*>(result->MapRow(y));
        if (!d) return nullptr;
        std::memset(d, 0, static_cast<size_t>(rowLen));
        for (int32_t x = 0; x < w; ++x) {
            const TRGB c = Bitmap->GetPixelRGB(x, y);
            const uint32_t key = c.b | (uint32_t{c.g} << 8) | (uint32_t{c.r} << 16);
            if (seen.AddKey(key)) {
                ++colours;
                if (colours == 1)
                    Color0 = c;
                else
                    Color1 = c;
            }
            if (!(c == Color0)) d[x >> 3] |= IEBitMask8[x & 7];
        }
        result->UnmapRow(d);
    }
    if (colours != 2) return nullptr;
    auto level = [](const TRGB& c) {
        const double s = c.r * IEGrayWeightRed + c.g * IEGrayWeightGreen + c.b * IEGrayWeightBlue;
        return static_cast<uint8_t>(static_cast<int64_t>(std::nearbyint(s / 100.0)));
    };
    if (level(Color1) < level(Color0)) {
        IEInvertBitmap(result.get());
        std::swap(Color0, Color1);
    }
    return result;
}

}  // namespace ie
