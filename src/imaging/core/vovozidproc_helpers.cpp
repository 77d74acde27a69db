#include "imaging/core/vovozidproc_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"

namespace ie {

namespace {

int32_t SaturatedInt(double v) {
    if (!(v > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (!(v < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

}  // namespace

int32_t IECeil(double X) {
    const double t = std::trunc(X);
    return SaturatedInt(X - t > 0 ? t + 1 : t);
}

int32_t IEFloor(double X) {
    const double t = std::trunc(X);
    return SaturatedInt(X - t < 0 ? t - 1 : t);
}

void IEOrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
}

void IEColorToRGB(cl::TColor Color, TRGB& RGB) {
    const uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(Color));
    RGB.r = static_cast<uint8_t>(v);
    RGB.g = static_cast<uint8_t>(v >> 8);
    RGB.b = static_cast<uint8_t>(v >> 16);
}

TRGB IEColorToRGB(cl::TColor Color) {
    TRGB c;
    IEColorToRGB(Color, c);
    return c;
}

uint32_t IEColorToARGB(cl::TColor Color, uint8_t Alpha) {
    const TRGB c = IEColorToRGB(Color);
    return (uint32_t{Alpha} << 24) | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
}

int32_t IEFindClosestColor(const TRGB* Palette, int32_t Count, const TRGB& Color) {
    int32_t best = 1000, index = 0;
    for (int32_t i = 0; i < Count; ++i) {
        const int32_t d =
            std::abs(Palette[i].r - Color.r) + std::abs(Palette[i].g - Color.g) + std::abs(Palette[i].b - Color.b);
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

void IERGBToHSL(double& H, double& S, double& L, const TRGB& Color) {
    const double r = Color.r / 255.0, g = Color.g / 255.0, b = Color.b / 255.0;
    const double mx = IEMaxFloat(IEMaxFloat(b, g), r);
    const double mn = IEMinFloat(IEMinFloat(b, g), r);
    L = (mx + mn) / 2;
    if (mx == mn) {
        S = 0;
        H = 0;
        return;
    }
    const double d = mx - mn;
    S = L >= 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    double hue;
    if (mx == r)
        hue = (g - b) / d;
    else if (mx == g)
        hue = (b - r) / d + 2;
    else
        hue = (r - g) / d + 4;
    H = hue / 6;
    if (H < 0) H += 1;
}

void IEHSLToRGB(TRGB& Color, double H, double S, double L) {
    auto wrap = [](double h) {
        if (h < 0) return h + 1;
        if (h > 1) return h - 1;
        return h;
    };
    H = wrap(H);
    S = std::clamp(S, 0.0, 1.0);
    L = std::clamp(L, 0.0, 1.0);
    double r, g, b;
    if (S == 0) {
        r = g = b = L;
    } else {
        const double m2 = L > 0.5 ? L + S - L * S : L * (1 + S);
        const double m1 = 2 * L - m2;
        auto hue = [&](double h) {
            h = wrap(h);
            if (h * 6 < 1) return m1 + (m2 - m1) * h * 6;
            if (h * 2 < 1) return m2;
            if (h * 3 < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
            return m1;
        };
        r = hue(H + 1.0 / 3);
        g = hue(H);
        b = hue(H - 1.0 / 3);
    }
    auto byte = [](double v) {
        return static_cast<uint8_t>(
            IEClampByte(static_cast<int32_t>(std::clamp<int64_t>(cl::Round(v * 255), -1, 256))));
    };
    Color.r = byte(r);
    Color.g = byte(g);
    Color.b = byte(b);
}

void IECopyBits(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceSize, int32_t BitCount,
                int32_t SourceBitPos) {
    if (BitCount < 1 || DestBitPos < 0 || SourceBitPos < 0) return;
    auto* d = static_cast<uint8_t*>(Dest);
    const auto* s = static_cast<const uint8_t*>(Source);
    const int64_t available = std::max<int32_t>(SourceSize, 0);
    auto byteAt = [&](int64_t i) -> unsigned { return i < available ? s[i] : 0u; };
    // Eight source bits from bit position p, the first in the most significant place.
    auto read8 = [&](int64_t p) -> unsigned {
        const int64_t i = p >> 3;
        const int sh = static_cast<int>(p & 7);
        if (sh == 0) return byteAt(i);
        return ((byteAt(i) << 8 | byteAt(i + 1)) >> (8 - sh)) & 0xFFu;
    };
    int64_t p = SourceBitPos;
    int64_t q = DestBitPos;
    int64_t n = BitCount;
    // A first partial destination byte.
    if (q & 7) {
        const int off = static_cast<int>(q & 7);
        const int k = static_cast<int>(std::min<int64_t>(8 - off, n));
        const unsigned bits = read8(p) >> (8 - k);
        const unsigned mask = ((1u << k) - 1) << (8 - off - k);
        uint8_t& out = d[q >> 3];
        out = static_cast<uint8_t>((out & ~mask) | ((bits << (8 - off - k)) & mask));
        p += k;
        q += k;
        n -= k;
    }
    // Whole destination bytes.
    uint8_t* out = d + (q >> 3);
    const int64_t whole = n >> 3;
    if ((p & 7) == 0 && p / 8 + whole <= available) {
        std::memcpy(out, s + p / 8, static_cast<size_t>(whole));
    } else {
        for (int64_t i = 0; i < whole; ++i) out[i] = static_cast<uint8_t>(read8(p + 8 * i));
    }
    p += whole * 8;
    n -= whole * 8;
    out += whole;
    // A last partial byte.
    if (n > 0) {
        const int k = static_cast<int>(n);
        const unsigned mask = ((1u << k) - 1) << (8 - k);
        const unsigned bits = read8(p) & mask;
        *out = static_cast<uint8_t>((*out & ~mask) | bits);
    }
}

void IECopyBitsOneByOne(void* Dest, const void* Source, int32_t DestBitPos, int32_t /*SourceSize*/, int32_t BitCount,
                        int32_t SourceBitPos) {
    if (BitCount < 1 || DestBitPos < 0 || SourceBitPos < 0) return;
    for (int64_t i = 0; i < BitCount; ++i) IESetBit(Dest, DestBitPos + i, IEGetBit(Source, SourceBitPos + i));
}

void IEInvertBytes(void* Buffer, int32_t Count) {
    auto* p = static_cast<uint8_t*>(Buffer);
    for (int32_t i = 0; i < Count; ++i) p[i] = static_cast<uint8_t>(~p[i]);
}

void IEInvertBitmap(TIEBitmap* Bitmap) {
    if (!Bitmap) return;
    const int32_t h = Bitmap->GetHeight(), rowLen = Bitmap->GetRowLen();
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    for (int32_t y = 0; y < h; ++y)
        if (void* p = Bitmap->GetScanline(y)) IEInvertBytes(p, rowLen);
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
}

}  // namespace ie
