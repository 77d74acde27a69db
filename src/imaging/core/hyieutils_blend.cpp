// The blend operations. Channel rules work on 0..255 integers with the shifts the rules
// name (a shift by 8 is not a division by 255: 255 x 255 shr 8 is 254, and that is the
// result); only the soft light, the four HSL rules and the anaglyph matrix use floating
// point.
#include "imaging/core/hyieutils_blend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/core/hyieutils_startup.h"
#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

namespace {

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int Min255(int v) { return v > 255 ? 255 : v; }
inline int Max0(int v) { return v < 0 ? 0 : v; }

// One channel of the rules that treat red, green and blue alike. s is the source channel,
// d the destination one; the result is stored as a byte by the caller.
int BlendChannel(int s, int d, TIEBlendOperation Op) {
    switch (Op) {
        case boCopy: return s;
        case boAdd: return Min255(d + s);
        case boDifference: return std::abs(d - s);
        case boDivide: return d / std::max(s, 1);
        case boMultiply: return (s * d) >> 8;
        case boOr: return d | s;
        case boAnd: return d & s;
        case boXor: return d ^ s;
        case boLighten: return std::max(d, s);
        case boDarken: return std::min(d, s);
        case boAverage: return (d + s) >> 1;
        case boScreen: return 255 - ((255 - s) * (255 - d)) / 255;
        case boNegation: return 255 - std::abs(255 - s - d);
        case boExclusion: return d + s - (s * d) / 128;
        case boOverlay: return d >= 128 ? 255 - (((255 - s) * (255 - d)) >> 7) : (s * d) >> 7;
        case boHardLight: return s >= 128 ? 255 - (((255 - s) * (255 - d)) >> 7) : (s * d) >> 7;
        case boSoftLight: {
            const double a = s / 255.0, b = d / 255.0;
            const double r = a >= 0.5 ? std::sqrt(b) * (2 * a - 1) + 2 * b * (1 - a) : b * b * (1 - 2 * a) + 2 * a * b;
            return static_cast<int>(std::trunc(r * 255));
        }
        case boSoftLightMix: {
            const int m = (s * d) >> 8;
            const int c = 255 - (((255 - d) * (255 - s)) >> 8) - m;
            return m + ((d * c) >> 8);
        }
        case boColorDodge: return s == 255 ? 255 : Min255((d * 256) / (255 - s));
        case boColorBurn: return s == 0 ? 0 : Max0(255 - ((255 - d) * 256) / s);
        case boInverseColorDodge: return d == 255 ? 255 : Min255((s * 256) / (255 - d));
        case boInverseColorBurn: return d == 0 ? 0 : Max0(255 - ((255 - s) * 256) / d);
        case boSoftDodge:
            if (s + d < 256) return s == 255 ? 255 : Min255((d * 128) / (255 - s));
            return Max0(255 - ((255 - s) * 128) / d);  // d >= 1 here
        case boSoftBurn:
            if (s + d < 256) return d == 255 ? 255 : Min255((s * 128) / (255 - d));
            return Max0(255 - ((255 - d) * 128) / s);  // s >= 1 here
        case boReflect: return s == 255 ? 255 : Min255((d * d) / (255 - s));
        case boGlow: return d == 255 ? 255 : Min255((s * s) / (255 - d));
        case boFreeze: return s == 0 ? 0 : Max0(255 - ((255 - d) * (255 - d)) / s);
        case boHeat: return d == 0 ? 0 : Max0(255 - ((255 - s) * (255 - s)) / d);
        case boSumMinus256: return Max0(d + s - 256);
        case boCosineSum: return Min255(IECosineRamp[s] + IECosineRamp[d]);
        case boStamp: return Clamp255(d + 2 * s - 256);
        default: return d;
    }
}

inline uint8_t Gray8(const TRGB& c) {
    return static_cast<uint8_t>((c.r * IEGrayWeightRed + c.g * IEGrayWeightGreen + c.b * IEGrayWeightBlue) / 100);
}

inline uint8_t RoundClamp(double v) {
    const double r = std::nearbyint(v);  // to nearest, halves to even
    return static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
}

void BlendHSL(const TRGB& s, TRGB& d, TIEBlendOperation Op) {
    double sh = 0, ss = 0, sl = 0, dh = 0, ds = 0, dl = 0;
    IERGBToHSL(sh, ss, sl, s);
    IERGBToHSL(dh, ds, dl, d);
    switch (Op) {
        case boHue: IEHSLToRGB(d, sh, ds, dl); break;
        case boSaturation: IEHSLToRGB(d, dh, ss, dl); break;
        case boColor: IEHSLToRGB(d, sh, ss, dl); break;
        default: IEHSLToRGB(d, sh, ds, sl); break;  // boHueLightness
    }
}

void BlendAnaglyphMatrix(const TRGB& s, TRGB& d) {
    const double dR = d.r, dG = d.g, dB = d.b, sR = s.r, sG = s.g, sB = s.b;
    const double r = 0.4561 * dR + 0.500484 * dG + 0.176381 * dB - 0.0434706 * sR - 0.0879388 * sG - 0.00155529 * sB;
    const double g = -0.0400822 * dR - 0.0378246 * dG - 0.0157589 * dB + 0.378476 * sR + 0.73364 * sG - 0.0184503 * sB;
    const double b = -0.0152161 * dR - 0.0205971 * dG - 0.00546856 * dB - 0.0721527 * sR - 0.112961 * sG + 1.2264 * sB;
    d.r = RoundClamp(r);
    d.g = RoundClamp(g);
    d.b = RoundClamp(b);
}

}  // namespace

void IEBlendPixel(const TRGB* Source, TRGB* Dest, TIEBlendOperation Operation, int32_t Row) {
    const TRGB s = *Source;  // Source may be Dest
    TRGB& d = *Dest;
    switch (Operation) {
        case boRed: d.r = s.r; return;
        case boGreen: d.g = s.g; return;
        case boBlue: d.b = s.b; return;
        case boHue:
        case boSaturation:
        case boColor:
        case boHueLightness: BlendHSL(s, d, Operation); return;
        case boAnaglyphGray: {
            const uint8_t dg = Gray8(d), sg = Gray8(s);
            d.r = dg;
            d.g = sg;
            d.b = sg;
            return;
        }
        case boAnaglyphColor:
            d.g = s.g;
            d.b = s.b;
            return;
        case boAnaglyphMatrix: BlendAnaglyphMatrix(s, d); return;
        case boEvenRows:
            if ((Row & 1) == 0) d = s;
            return;
        case boOddRows:
            if ((Row & 1) != 0) d = s;
            return;
        default:
            if (Operation > boStamp) return;  // not an operation
            d.r = static_cast<uint8_t>(BlendChannel(s.r, d.r, Operation));
            d.g = static_cast<uint8_t>(BlendChannel(s.g, d.g, Operation));
            d.b = static_cast<uint8_t>(BlendChannel(s.b, d.b, Operation));
            return;
    }
}

}  // namespace ie
