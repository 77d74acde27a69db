// Conversion between the pixel formats of TIEBitmap: CopyAndConvertFormat fills a bitmap
// from another one of the same size, pixel by pixel, by the rules of each pair of formats.
// Every pair has its own row loop; the loop is chosen once per call.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_convert.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/core/vovozidproc_bw.h"

namespace ie {

// clang-format off
const uint8_t IEBayerMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};
// clang-format on

namespace {

// What a row loop needs besides the two rows.
struct RowContext {
    const TRGB* palette = nullptr;  // the source's palette (ie8p)
    int32_t paletteLength = 0;
    int32_t wr = 21, wg = 71, wb = 8;  // grey weights at the time of the call
    double displayMin = 0, displayMax = 0;
};

using RowFn = void (*)(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext& c);

inline void Put24(uint8_t* d, uint8_t r, uint8_t g, uint8_t b) {
    d[0] = b;
    d[1] = g;
    d[2] = r;
}
inline void Put32(uint8_t* d, uint8_t r, uint8_t g, uint8_t b) {
    d[0] = b;
    d[1] = g;
    d[2] = r;
    d[3] = 255;
}
inline void Put48(uint8_t* d, uint16_t r, uint16_t g, uint16_t b) {
    IEStore<uint16_t>(d, r);
    IEStore<uint16_t>(d + 2, g);
    IEStore<uint16_t>(d + 4, b);
}
inline uint8_t G8(const RowContext& c, int r, int g, int b) {
    return static_cast<uint8_t>((r * c.wr + g * c.wg + b * c.wb) / 100);
}
inline uint16_t Y16(int r, int g, int b) { return static_cast<uint16_t>((r * 54484 + g * 183241 + b * 19275) / 1000); }
inline float Yf(int r, int g, int b) { return static_cast<float>((r * 0.2126 + g * 0.7152 + b * 0.0722) / 255); }
// A float sample limited to 0..1 (not a number counts as 0).
inline double Unit(const uint8_t* p) {
    const float v = IELoad<float>(p);
    return std::isfinite(v) ? std::clamp<double>(v, 0.0, 1.0) : 0.0;
}
inline TRGB Entry(const RowContext& c, uint8_t i) { return c.palette && i < c.paletteLength ? c.palette[i] : TRGB{}; }
// Ordered dither: white where the matrix value at the pixel is below its level (0..63).
template <class Level>
inline void Dither(uint8_t* d, int32_t w, int32_t y, Level level) {
    std::memset(d, 0, static_cast<size_t>((w + 7) / 8));
    for (int32_t x = 0; x < w; ++x)
        if (IEBayerMatrix[x & 7][y & 7] < level(x)) d[x >> 3] |= IEBitMask8[x & 7];
}

// ---- from ie1g
void Row1gTo8p(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) d[x] = IEGetBit(s, x) ? 1 : 0;
}
void Row1gTo8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) d[x] = IEGetBit(s, x) ? 255 : 0;
}
void Row1gTo16g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) IEStore<uint16_t>(d + 2 * x, IEGetBit(s, x) ? 65535 : 0);
}
void Row1gTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) std::memset(d + 3 * x, IEGetBit(s, x) ? 255 : 0, 3);
}
void Row1gTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const uint8_t v = IEGetBit(s, x) ? 255 : 0;
        Put32(d + 4 * x, v, v, v);
    }
}
void Row1gTo32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) IEStore<float>(d + 4 * x, IEGetBit(s, x) ? 1.0f : 0.0f);
}
void Row1gTo48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const uint16_t v = IEGetBit(s, x) ? 65535 : 0;
        Put48(d + 6 * x, v, v, v);
    }
}

// ---- from ie8p
void Row8pTo1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext& c) {
    Dither(d, w, y, [&](int32_t x) {
        const TRGB e = Entry(c, s[x]);
        return G8(c, e.r, e.g, e.b) >> 2;
    });
}
void Row8pTo8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB e = Entry(c, s[x]);
        d[x] = G8(c, e.r, e.g, e.b);
    }
}
void Row8pTo16g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB e = Entry(c, s[x]);
        IEStore<uint16_t>(d + 2 * x, Y16(e.r, e.g, e.b));
    }
}
void Row8pTo32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB e = Entry(c, s[x]);
        IEStore<float>(d + 4 * x, Yf(e.r, e.g, e.b));
    }
}
void Row8pTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB e = Entry(c, s[x]);
        Put24(d + 3 * x, e.r, e.g, e.b);
    }
}
void Row8pTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB e = Entry(c, s[x]);
        Put32(d + 4 * x, e.r, e.g, e.b);
    }
}
void Row8pTo48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB e = Entry(c, s[x]);
        Put48(d + 6 * x, static_cast<uint16_t>(e.r * 257), static_cast<uint16_t>(e.g * 257),
              static_cast<uint16_t>(e.b * 257));
    }
}

// ---- from ie8g
void Row8gTo1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext&) {
    Dither(d, w, y, [&](int32_t x) { return s[x] >> 2; });
}
void Row8gTo8p(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    std::memcpy(d, s, static_cast<size_t>(w));
}
void Row8gTo16g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) IEStore<uint16_t>(d + 2 * x, static_cast<uint16_t>(s[x] * 257));
}
void Row8gTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) Put24(d + 3 * x, s[x], s[x], s[x]);
}
void Row8gTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) Put32(d + 4 * x, s[x], s[x], s[x]);
}
void Row8gTo32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) IEStore<float>(d + 4 * x, static_cast<float>(s[x] / 255.0));
}
void Row8gTo48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const auto v = static_cast<uint16_t>(s[x] * 257);
        Put48(d + 6 * x, v, v, v);
    }
}

// ---- from ie16g
void Row16gTo1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext&) {
    Dither(d, w, y, [&](int32_t x) { return IELoad<uint16_t>(s + 2 * x) >> 10; });
}
void Row16gTo8(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) d[x] = s[2 * x + 1];
}
void Row16gTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    const double range = c.displayMax - c.displayMin;
    if (range == 0 || !std::isfinite(range)) {
        for (int32_t x = 0; x < w; ++x) Put24(d + 3 * x, s[2 * x + 1], s[2 * x + 1], s[2 * x + 1]);
        return;
    }
    const double lo = std::trunc(c.displayMin), hi = std::trunc(c.displayMax);
    for (int32_t x = 0; x < w; ++x) {
        const double v = std::min(std::max<double>(IELoad<uint16_t>(s + 2 * x), lo), hi);
        const auto g = static_cast<uint8_t>(std::clamp(std::trunc((v - lo) / range * 255), 0.0, 255.0));
        Put24(d + 3 * x, g, g, g);
    }
}
void Row16gTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) Put32(d + 4 * x, s[2 * x + 1], s[2 * x + 1], s[2 * x + 1]);
}
void Row16gTo32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x)
        IEStore<float>(d + 4 * x, static_cast<float>(IELoad<uint16_t>(s + 2 * x) / 65535.0));
}
void Row16gTo48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const uint16_t v = IELoad<uint16_t>(s + 2 * x);
        Put48(d + 6 * x, v, v, v);
    }
}

// ---- from ie24RGB
void Row24To1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext& c) {
    Dither(d, w, y, [&](int32_t x) { return G8(c, s[3 * x + 2], s[3 * x + 1], s[3 * x]) >> 2; });
}
void Row24To8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    const int wr = c.wr, wg = c.wg, wb = c.wb;
    for (int32_t x = 0; x < w; ++x, s += 3) d[x] = static_cast<uint8_t>((s[2] * wr + s[1] * wg + s[0] * wb) / 100);
}
void Row24To16g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) IEStore<uint16_t>(d + 2 * x, Y16(s[3 * x + 2], s[3 * x + 1], s[3 * x]));
}
void Row24To32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) IEStore<float>(d + 4 * x, Yf(s[3 * x + 2], s[3 * x + 1], s[3 * x]));
}
void Row24ToCMYK(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const TCMYK k = IERGBToCMYK(TRGB{s[3 * x], s[3 * x + 1], s[3 * x + 2]});
        std::memcpy(d + 4 * x, &k, 4);
    }
}
void Row24ToLab(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        TCIELab lab;
        IERGBToCIELab(lab, (uint32_t{s[3 * x + 2]} << 16) | (uint32_t{s[3 * x + 1]} << 8) | s[3 * x]);
        std::memcpy(d + 3 * x, &lab, 3);
    }
}
void Row24To48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x)
        Put48(d + 6 * x, static_cast<uint16_t>(s[3 * x + 2] * 257), static_cast<uint16_t>(s[3 * x + 1] * 257),
              static_cast<uint16_t>(s[3 * x] * 257));
}
void Row24To32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
    }
}

// ---- from ie32f
void Row32fTo1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext&) {
    Dither(d, w, y, [&](int32_t x) { return static_cast<int>(std::trunc(Unit(s + 4 * x) * 255)) >> 2; });
}
void Row32fTo8(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) d[x] = static_cast<uint8_t>(std::trunc(Unit(s + 4 * x) * 255));
}
void Row32fTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const auto g = static_cast<uint8_t>(std::trunc(Unit(s + 4 * x) * 255));
        Put24(d + 3 * x, g, g, g);
    }
}
void Row32fTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const auto g = static_cast<uint8_t>(std::trunc(Unit(s + 4 * x) * 255));
        Put32(d + 4 * x, g, g, g);
    }
}
void Row32fTo16g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x)
        IEStore<uint16_t>(d + 2 * x, static_cast<uint16_t>(std::trunc(Unit(s + 4 * x) * 65535)));
}
void Row32fTo48(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const auto v = static_cast<uint16_t>(std::trunc(Unit(s + 4 * x) * 65535));
        Put48(d + 6 * x, v, v, v);
    }
}

// ---- from ieCMYK, ieCIELab, ie32RGB
void RowCMYKTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB c = IECMYKToRGB(TCMYK{s[4 * x], s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]});
        Put24(d + 3 * x, c.r, c.g, c.b);
    }
}
void RowCMYKTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const TRGB c = IECMYKToRGB(TCMYK{s[4 * x], s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]});
        Put32(d + 4 * x, c.r, c.g, c.b);
    }
}
void RowLabTo24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        TCIELab lab;
        std::memcpy(&lab, s + 3 * x, 3);
        TRGB c;
        IECIELabToRGB(c, lab);
        Put24(d + 3 * x, c.r, c.g, c.b);
    }
}
void RowLabTo32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        TCIELab lab;
        std::memcpy(&lab, s + 3 * x, 3);
        TRGB c;
        IECIELabToRGB(c, lab);
        Put32(d + 4 * x, c.r, c.g, c.b);
    }
}
void Row32To24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

// ---- from ieRGB48
inline int Hi(const uint8_t* p) { return IELoad<uint16_t>(p) >> 8; }
void Row48To1g(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, const RowContext& c) {
    Dither(d, w, y, [&](int32_t x) { return G8(c, Hi(s + 6 * x), Hi(s + 6 * x + 2), Hi(s + 6 * x + 4)) >> 2; });
}
void Row48To8g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext& c) {
    for (int32_t x = 0; x < w; ++x) d[x] = G8(c, Hi(s + 6 * x), Hi(s + 6 * x + 2), Hi(s + 6 * x + 4));
}
void Row48To16g(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const int64_t r = IELoad<uint16_t>(s + 6 * x), g = IELoad<uint16_t>(s + 6 * x + 2),
                      b = IELoad<uint16_t>(s + 6 * x + 4);
        IEStore<uint16_t>(d + 2 * x, static_cast<uint16_t>((r * 212 + g * 713 + b * 75) / 1000));
    }
}
void Row48To24(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x)
        Put24(d + 3 * x, static_cast<uint8_t>(Hi(s + 6 * x)), static_cast<uint8_t>(Hi(s + 6 * x + 2)),
              static_cast<uint8_t>(Hi(s + 6 * x + 4)));
}
void Row48To32(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x)
        Put32(d + 4 * x, static_cast<uint8_t>(Hi(s + 6 * x)), static_cast<uint8_t>(Hi(s + 6 * x + 2)),
              static_cast<uint8_t>(Hi(s + 6 * x + 4)));
}
void Row48To32f(const uint8_t* s, uint8_t* d, int32_t w, int32_t, const RowContext&) {
    for (int32_t x = 0; x < w; ++x) {
        const double r = IELoad<uint16_t>(s + 6 * x), g = IELoad<uint16_t>(s + 6 * x + 2),
                     b = IELoad<uint16_t>(s + 6 * x + 4);
        IEStore<float>(d + 4 * x, static_cast<float>((r * 0.2126 / 256 + g * 0.7152 / 256 + b * 0.0722 / 256) / 255));
    }
}

// The row loop of a pair of different formats, or null when the pair goes through 24-bit
// colour or is handled as a whole (ie24RGB to ie8p, threshold reductions to ie1g).
RowFn SelectRow(TIEPixelFormat sf, TIEPixelFormat df) {
    switch (sf) {
        case ie1g:
            switch (df) {
                case ie8p: return Row1gTo8p;
                case ie8g: return Row1gTo8g;
                case ie16g: return Row1gTo16g;
                case ie24RGB: return Row1gTo24;
                case ie32RGB: return Row1gTo32;
                case ie32f: return Row1gTo32f;
                case ieRGB48: return Row1gTo48;
                default: return nullptr;
            }
        case ie8p:
            switch (df) {
                case ie1g: return Row8pTo1g;
                case ie8g: return Row8pTo8g;
                case ie16g: return Row8pTo16g;
                case ie32f: return Row8pTo32f;
                case ie24RGB: return Row8pTo24;
                case ie32RGB: return Row8pTo32;
                case ieRGB48: return Row8pTo48;
                default: return nullptr;
            }
        case ie8g:
            switch (df) {
                case ie1g: return Row8gTo1g;
                case ie8p: return Row8gTo8p;
                case ie16g: return Row8gTo16g;
                case ie24RGB: return Row8gTo24;
                case ie32RGB: return Row8gTo32;
                case ie32f: return Row8gTo32f;
                case ieRGB48: return Row8gTo48;
                default: return nullptr;
            }
        case ie16g:
            switch (df) {
                case ie1g: return Row16gTo1g;
                case ie8p:
                case ie8g: return Row16gTo8;
                case ie24RGB: return Row16gTo24;
                case ie32RGB: return Row16gTo32;
                case ie32f: return Row16gTo32f;
                case ieRGB48: return Row16gTo48;
                default: return nullptr;
            }
        case ie24RGB:
            switch (df) {
                case ie1g: return Row24To1g;
                case ie8g: return Row24To8g;
                case ie16g: return Row24To16g;
                case ie32f: return Row24To32f;
                case ieCMYK: return Row24ToCMYK;
                case ieCIELab: return Row24ToLab;
                case ieRGB48: return Row24To48;
                case ie32RGB: return Row24To32;
                default: return nullptr;
            }
        case ie32f:
            switch (df) {
                case ie1g: return Row32fTo1g;
                case ie8p:
                case ie8g: return Row32fTo8;
                case ie24RGB: return Row32fTo24;
                case ie32RGB: return Row32fTo32;
                case ie16g: return Row32fTo16g;
                case ieRGB48: return Row32fTo48;
                default: return nullptr;
            }
        case ieCMYK: return df == ie24RGB ? RowCMYKTo24 : df == ie32RGB ? RowCMYKTo32 : nullptr;
        case ieCIELab: return df == ie24RGB ? RowLabTo24 : df == ie32RGB ? RowLabTo32 : nullptr;
        case ie32RGB: return df == ie24RGB ? Row32To24 : nullptr;
        case ieRGB48:
            switch (df) {
                case ie1g: return Row48To1g;
                case ie8g: return Row48To8g;
                case ie16g: return Row48To16g;
                case ie24RGB: return Row48To24;
                case ie32RGB: return Row48To32;
                case ie32f: return Row48To32f;
                default: return nullptr;
            }
        default: return nullptr;
    }
}

}  // namespace

bool IEConvertsVia24(TIEPixelFormat Source, TIEPixelFormat Dest, uint8_t MonoConversion) {
    if (Source == Dest || Source == ie24RGB || Source == ieNone || Dest == ieNone) return false;
    if (Dest == ie1g && MonoConversion != 0)
        return Source == ieRGB48 || Source == ieCMYK || Source == ieCIELab || Source == ie32RGB;
    if (Dest == ie8p) return Source != ie1g && Source != ie8g && Source != ie16g && Source != ie32f;
    return SelectRow(Source, Dest) == nullptr;
}

void TIEBitmap::CopyAndConvertFormat(TIEBitmap* Source) {
    if (!Source || Source == this || FLocation == ieTBitmap) return;
    const int32_t w = GetWidth(), h = GetHeight();
    if (w <= 0 || h <= 0 || Source->GetWidth() != w || Source->GetHeight() != h) return;
    const TIEPixelFormat sf = Source->GetPixelFormat(), df = FPixelFormat;
    if (sf == ieNone || df == ieNone || !IEIsValidPixelFormat(sf) || !IEIsValidPixelFormat(df)) return;

    if (IEConvertsVia24(sf, df, MonoConversion)) {
        // The source itself becomes 24-bit colour first.
        if (!Source->SetPixelFormat(ie24RGB) || Source->GetPixelFormat() != ie24RGB) return;
        CopyAndConvertFormat(Source);
        return;
    }

    const TIEBitmapAccess sa = Source->Access, da = Access;
    const int32_t rowLen = FRowLen;
    const int64_t used = (static_cast<int64_t>(w) * FBitCount + 7) / 8;
    auto finishRow = [&](uint8_t* d) {
        if (used < rowLen) std::memset(d + used, 0, static_cast<size_t>(rowLen - used));
    };

    if (df == ie1g && sf != ie1g && MonoConversion != 0) {
        // Threshold at the average grey level of the whole image.
        IEThresholdToBW(Source, this, -1);
    } else if (sf == ie24RGB && df == ie8p) {
        TRGB palette[256] = {};
        TIEQuantizer quantizer(Source, palette, std::clamp(PaletteUsed, 1, 256));
        std::copy(palette, palette + 256, FPalette.get());
        Source->Access = ieaRead;
        Access = ieaWrite;
        for (int32_t y = 0; y < h; ++y) {
            const auto* s = static_cast<const uint8_t*>(Source->MapRow(y));
            auto* d = static_cast<uint8_t*>(GetScanline(y));
            if (s && d) {
                for (int32_t x = 0; x < w; ++x)
                    d[x] = static_cast<uint8_t>(
                        std::clamp(quantizer.RGBIndex(TRGB{s[3 * x], s[3 * x + 1], s[3 * x + 2]}), 0, 255));
                finishRow(d);
            }
            Source->UnmapRow(const_cast<uint8_t*>(s));
        }
    } else {
        RowFn fn = nullptr;
        if (sf != df) {
            fn = SelectRow(sf, df);
            if (!fn) return;
        }
        RowContext c;
        c.palette = Source->GetPalette();
        c.paletteLength = Source->GetPaletteLength();
        c.wr = IEGrayWeightRed;
        c.wg = IEGrayWeightGreen;
        c.wb = IEGrayWeightBlue;
        c.displayMin = DisplayMin;
        c.displayMax = DisplayMax;
        if (df == ie8p) {
            if (!FPalette) return;
            if (sf == ie8p) {
                CopyPaletteEntriesFrom(Source);
            } else if (sf == ie1g) {
                // Black and white; the other entries are cleared.
                std::fill(FPalette.get(), FPalette.get() + 256, TRGB{});
                FPalette[1] = TRGB{255, 255, 255};
                FPaletteLength = 256;
            } else {
                for (int i = 0; i < 256; ++i) {
                    const auto v = static_cast<uint8_t>(i);
                    FPalette[i] = TRGB{v, v, v};
                }
                FPaletteLength = 256;
            }
        }
        const int32_t copyLen = std::min(rowLen, Source->GetRowLen());
        Source->Access = ieaRead;
        Access = ieaWrite;
        for (int32_t y = 0; y < h; ++y) {
            const auto* s = static_cast<const uint8_t*>(Source->MapRow(y));
            auto* d = static_cast<uint8_t*>(GetScanline(y));
            if (s && d) {
                if (fn) {
                    fn(s, d, w, y, c);
                    finishRow(d);
                } else {
                    std::memcpy(d, s, static_cast<size_t>(copyLen));
                    if (copyLen < rowLen) std::memset(d + copyLen, 0, static_cast<size_t>(rowLen - copyLen));
                }
            }
            Source->UnmapRow(const_cast<uint8_t*>(s));
        }
    }
    ReleaseScanlineRow();
    Source->Access = sa;
    Access = da;
    if (Source->HasAlphaChannel() && !IsAlphaChannel) {
        if (TIEBitmap* a = GetAlphaChannel()) a->Assign(Source->GetAlphaChannel());
    }
}

}  // namespace ie
