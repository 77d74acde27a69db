#include "imaging/processing/ierotate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

namespace {

// Pixels of a picture in memory: Bpp bytes per pixel, or packed bits (Bpp 0).
struct Pixels {
    int32_t w = 0, h = 0, bpp = 0;
    size_t rowLen = 0;
    std::vector<uint8_t> d;

    bool Make(int64_t W, int64_t H, int32_t Bpp) {
        if (W < 1 || H < 1 || W > std::numeric_limits<int32_t>::max() || H > std::numeric_limits<int32_t>::max())
            return false;
        w = static_cast<int32_t>(W);
        h = static_cast<int32_t>(H);
        bpp = Bpp;
        rowLen = Bpp == 0 ? (static_cast<size_t>(w) + 7) / 8 : static_cast<size_t>(w) * static_cast<size_t>(Bpp);
        d.assign(rowLen * static_cast<size_t>(h), 0);
        return true;
    }
    uint8_t* Row(int32_t y) { return d.data() + rowLen * static_cast<size_t>(y); }
    const uint8_t* Row(int32_t y) const { return d.data() + rowLen * static_cast<size_t>(y); }
    uint8_t* At(int32_t x, int32_t y) { return Row(y) + static_cast<size_t>(x) * static_cast<size_t>(bpp); }
    const uint8_t* At(int32_t x, int32_t y) const { return Row(y) + static_cast<size_t>(x) * static_cast<size_t>(bpp); }
    bool Bit(int32_t x, int32_t y) const { return (Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }
    void SetBit(int32_t x, int32_t y, bool v) {
        uint8_t& b = Row(y)[x >> 3];
        const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
        b = static_cast<uint8_t>(v ? b | m : b & ~m);
    }
    void FillWith(const uint8_t* px) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) std::memcpy(At(x, y), px, static_cast<size_t>(bpp));
    }
};

int32_t BytesPerPixel(TIEPixelFormat f) { return f == ie1g ? 0 : IEPixelFormat2BitCount[f] / 8; }

bool Load(TIEBitmap* b, Pixels& p) {
    const TIEPixelFormat f = b->GetPixelFormat();
    if (f == ieNone || !p.Make(b->GetWidth(), b->GetHeight(), BytesPerPixel(f))) return false;
    for (int32_t y = 0; y < p.h; ++y) {
        const void* r = b->GetScanline(y);
        if (!r) return false;
        std::memcpy(p.Row(y), r, p.rowLen);
    }
    return true;
}

// The bitmap takes the pixels (its palette, location and alpha channel stay).
bool Store(TIEBitmap* b, const Pixels& p, TIEPixelFormat f) {
    TIEBitmap t;
    if (!t.Allocate(p.w, p.h, f) || t.GetWidth() != p.w || t.GetHeight() != p.h) return false;
    b->CopyPaletteTo(&t);
    for (int32_t y = 0; y < p.h; ++y)
        if (void* r = t.GetScanline(y)) std::memcpy(r, p.Row(y), p.rowLen);
    b->AssignImage(&t);
    return true;
}

// Quarter and half turns of pixels (bits or bytes).
enum class Turn { CCW, CW, Half };

void TurnPixels(const Pixels& s, Pixels& d, Turn t) {
    if (t == Turn::Half)
        d.Make(s.w, s.h, s.bpp);
    else
        d.Make(s.h, s.w, s.bpp);
    for (int32_t y = 0; y < d.h; ++y)
        for (int32_t x = 0; x < d.w; ++x) {
            int32_t sx, sy;
            switch (t) {
                case Turn::CCW: sx = s.w - 1 - y, sy = x; break;  // Dest row W - 1 - c is column c, top down
                case Turn::CW: sx = y, sy = s.h - 1 - x; break;   // Dest row c is column c, bottom up
                default: sx = s.w - 1 - x, sy = s.h - 1 - y; break;
            }
            if (s.bpp == 0)
                d.SetBit(x, y, s.Bit(sx, sy));
            else
                std::memcpy(d.At(x, y), s.At(sx, sy), static_cast<size_t>(s.bpp));
        }
}

void QuarterTurn(TIEBitmap* Source, TIEBitmap* Dest, Turn t, bool eight) {
    if (!Source || !Dest || Source == Dest) return;
    const TIEPixelFormat f = Source->GetPixelFormat();
    if (eight ? (f != ie8g && f != ie8p) : f != ie24RGB) return;
    Pixels s, d;
    if (!Load(Source, s)) return;
    TurnPixels(s, d, t);
    if (!Dest->Allocate(d.w, d.h, f) || Dest->GetWidth() != d.w || Dest->GetHeight() != d.h) return;
    Source->CopyPaletteTo(Dest);
    for (int32_t y = 0; y < d.h; ++y)
        if (void* r = Dest->GetScanline(y)) std::memcpy(r, d.Row(y), d.rowLen);
}

int32_t RoundInt(double v) { return static_cast<int32_t>(std::clamp(std::nearbyint(v), -2147483648.0, 2147483647.0)); }

class Progress {
public:
    Progress(const TIEProgressEvent& e, cl::TObject* s) : e_(e), s_(s) {}
    void operator()(double per) {
        if (e_) e_(s_, static_cast<int32_t>(per));
    }

private:
    const TIEProgressEvent& e_;
    cl::TObject* s_;
};

// ---------------------------------------------------------------------------------------
// Three shears

inline uint8_t Blend(int32_t prev, int32_t cur, int32_t A, int32_t B) {
    return static_cast<uint8_t>(IEClampByte(RoundInt((prev * A + cur * B + 2048) / 4096.0)));
}

// Writes Count source pixels (Src(i)) to positions Pos + i of a line of Size pixels
// (Put(j, pixel)), blended with the previous source pixel when anti-aliasing, plus the
// trailing pixel.
template <class SrcF, class PutF>
void ShearLine(int32_t bpp, const uint8_t* bg, int32_t Count, int32_t Pos, int32_t Size, bool aa, int32_t A, SrcF Src,
               PutF Put) {
    const int32_t B = 4096 - A;
    const uint8_t* prev = bg;
    uint8_t px[8];
    for (int32_t i = 0; i < Count; ++i) {
        const int64_t j = int64_t{Pos} + i;
        if (j < 0 || j >= Size) continue;
        const uint8_t* cur = Src(i);
        if (aa) {
            for (int32_t c = 0; c < bpp; ++c) px[c] = Blend(prev[c], cur[c], A, B);
            Put(static_cast<int32_t>(j), px);
        } else {
            Put(static_cast<int32_t>(j), cur);
        }
        prev = cur;
    }
    const int64_t t = int64_t{Pos} + Count;
    if (aa && A > 0 && t < Size && t >= 0) {
        for (int32_t c = 0; c < bpp; ++c) px[c] = Blend(prev[c], bg[c], A, B);
        Put(static_cast<int32_t>(t), px);
    }
}

// The angle reduced as the shears want it: thousandths, remainder of 360 degrees.
bool ReduceAngle(double Angle, double& a) {
    if (!std::isfinite(Angle)) return false;
    const double t = std::trunc(Angle * 1000);
    a = std::fmod(t, 360000.0) / 1000;
    return true;
}

void ShearRotate(TIEBitmap* Bitmap, bool AntiAlias, const uint8_t* bg, double Angle, const TIEProgressEvent& OnProgress,
                 cl::TObject* Sender) {
    double a;
    if (Angle == 0 || !ReduceAngle(Angle, a)) return;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    Pixels src;
    if (!Load(Bitmap, src)) return;
    const int32_t bpp = src.bpp;
    while (a > 45) {
        Pixels t;
        TurnPixels(src, t, Turn::CCW);
        src = std::move(t);
        a -= 90;
    }
    while (a < -45) {
        Pixels t;
        TurnPixels(src, t, Turn::CW);
        src = std::move(t);
        a += 90;
    }
    if (a == 0) {
        Store(Bitmap, src, f);
        return;
    }
    const int64_t W = src.w, H = src.h;
    const double theta = a * std::numbers::pi / 180;
    const double t = std::fabs(std::sin(theta / 2) / std::cos(theta / 2)), s = std::fabs(std::sin(theta));
    const int64_t W1 = RoundInt(H * t + W + 1);
    const int64_t h = RoundInt((W1 - W) * s);
    const int64_t H2 = RoundInt(s * W1 + H + 1);
    const int64_t t2 = RoundInt(t * (H2 - H - h));
    const int64_t H3 = RoundInt(H2 - 2.0 * h);
    const int64_t W3 = RoundInt(t * H3 + W1 + 1 - 2.0 * t2);
    // Each buffer is let go once the next shear has read it.
    Pixels b1, b2, b3;
    if (!b1.Make(W1, H, bpp) || W3 < 1 || H3 < 1) return;
    const double p = 100.0 / static_cast<double>(H + W1 + H3);
    Progress progress(OnProgress, Sender);

    b1.FillWith(bg);
    for (int32_t D = 0; D < H; ++D) {
        const double F = (theta > 0 ? D : H - D) * t;
        const int32_t n = RoundInt(F);
        const int32_t A = static_cast<int32_t>((F - n) * 4096);
        ShearLine(
            bpp, bg, src.w, n, b1.w, AntiAlias, A, [&](int32_t i) { return src.At(i, D); },
            [&](int32_t j, const uint8_t* px) { std::memcpy(b1.At(j, D), px, static_cast<size_t>(bpp)); });
        progress(D * p);
    }
    src = Pixels();
    if (!b2.Make(W1, H3, bpp)) return;
    b2.FillWith(bg);
    for (int32_t E = 0; E < W1; ++E) {
        const double F = (theta > 0 ? W1 - E : E) * s;
        const int32_t n = static_cast<int32_t>(RoundInt(F) - h);
        const int32_t A = RoundInt((F - RoundInt(F)) * 4096);
        ShearLine(
            bpp, bg, b1.h, n, b2.h, AntiAlias, A, [&](int32_t i) { return b1.At(E, i); },
            [&](int32_t j, const uint8_t* px) { std::memcpy(b2.At(E, j), px, static_cast<size_t>(bpp)); });
        progress((H + E) * p);
    }
    b1 = Pixels();
    if (!b3.Make(W3, H3, bpp)) return;
    b3.FillWith(bg);
    for (int32_t R = 0; R < H3; ++R) {
        const double F = (theta > 0 ? R : H3 - R) * t;
        const int32_t n = static_cast<int32_t>(RoundInt(F) - t2);
        const int32_t A = RoundInt((F - RoundInt(F)) * 4096);
        ShearLine(
            bpp, bg, b2.w, n, b3.w, AntiAlias, A, [&](int32_t i) { return b2.At(i, R); },
            [&](int32_t j, const uint8_t* px) { std::memcpy(b3.At(j, R), px, static_cast<size_t>(bpp)); });
        progress((H + W1 + R) * p);
    }
    Store(Bitmap, b3, f);
}

// ---------------------------------------------------------------------------------------
// Inverse mapping

// The mapping of destination (i, j) to the source, centres (W - 1) / 2 and so on.
struct Mapping {
    double c, s, cx, cy, ncx, ncy;
    Mapping(double angle, int32_t W, int32_t H, int32_t W2, int32_t H2)
        : c(std::cos(angle * std::numbers::pi / 180)), s(std::sin(angle * std::numbers::pi / 180)), cx((W - 1) / 2.0),
          cy((H - 1) / 2.0), ncx((W2 - 1) / 2.0), ncy((H2 - 1) / 2.0) {}
    double X(int32_t i, int32_t j) const { return (i - ncx) * c + cx - (j - ncy) * s; }
    double Y(int32_t i, int32_t j) const { return (i - ncx) * s + cy + (j - ncy) * c; }
};

void InterpolatedRotate(TIEBitmap* Bitmap, const uint8_t* bg, int32_t Mode, double Angle,
                        const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if ((Mode != 1 && Mode != 2) || !std::isfinite(Angle)) return;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    Pixels src;
    if (!Load(Bitmap, src)) return;
    const int32_t bpp = src.bpp;
    // The picture with a 3-pixel background margin on every side.
    Pixels m;
    if (!m.Make(int64_t{src.w} + 6, int64_t{src.h} + 6, bpp)) return;
    m.FillWith(bg);
    for (int32_t y = 0; y < src.h; ++y) std::memcpy(m.At(3, y + 3), src.Row(y), src.rowLen);
    src = Pixels();
    const double theta = Angle * std::numbers::pi / 180, c = std::cos(theta), s = std::sin(theta);
    const int64_t W2 = RoundInt(std::fabs(s * (m.h - 1)) + std::fabs(c * (m.w - 1)));
    const int64_t H2 = RoundInt(std::fabs(c * (m.h - 1)) + std::fabs(s * (m.w - 1)));
    Pixels out;
    if (!out.Make(W2, H2, bpp)) return;
    const Mapping map(Angle, m.w, m.h, out.w, out.h);
    auto sample = [&](int32_t x, int32_t y) -> const uint8_t* {
        return x < 0 || y < 0 || x >= m.w || y >= m.h ? bg : m.At(x, y);
    };
    for (int32_t j = 0; j < out.h; ++j) {
        for (int32_t i = 0; i < out.w; ++i) {
            const double x = map.X(i, j), y = map.Y(i, j);
            const double fx = x - std::floor(x), fy = y - std::floor(y);
            const int32_t x0 = static_cast<int32_t>(std::clamp(std::trunc(x), -1e9, 1e9));
            const int32_t y0 = static_cast<int32_t>(std::clamp(std::trunc(y), -1e9, 1e9));
            uint8_t* o = out.At(i, j);
            if (Mode == 1) {
                const uint8_t *p00 = sample(x0, y0), *p10 = sample(x0 + 1, y0), *p01 = sample(x0, y0 + 1),
                              *p11 = sample(x0 + 1, y0 + 1);
                for (int32_t k = 0; k < bpp; ++k) {
                    const double v =
                        (1 - fy) * ((1 - fx) * p00[k] + fx * p10[k]) + fy * ((1 - fx) * p01[k] + fx * p11[k]);
                    o[k] = static_cast<uint8_t>(std::clamp(std::trunc(v), 0.0, 255.0));
                }
            } else {
                auto w = [](double d, int n) {
                    switch (n) {
                        case -1: return -d * (1 - d) * (1 - d);
                        case 0: return 1 - 2 * d * d + d * d * d;
                        case 1: return d * (1 + d - d * d);
                        default: return d * d * (d - 1);
                    }
                };
                double sum[8] = {};
                for (int32_t n = -1; n <= 2; ++n)
                    for (int32_t q = -1; q <= 2; ++q) {
                        const double wt = w(fx, q) * w(fy, n);
                        const uint8_t* p = sample(x0 + q, y0 + n);
                        for (int32_t k = 0; k < bpp; ++k) sum[k] += wt * p[k];
                    }
                for (int32_t k = 0; k < bpp; ++k)
                    o[k] = static_cast<uint8_t>(std::min(std::fabs(std::trunc(sum[k])), 255.0));
            }
        }
        if (OnProgress) OnProgress(Sender, static_cast<int32_t>(j * 100.0 / out.h));
    }
    // The 3-pixel frame is cut from every side (a picture keeps at least one pixel).
    Pixels cut;
    if (!cut.Make(std::max<int64_t>(int64_t{out.w} - 6, 1), std::max<int64_t>(int64_t{out.h} - 6, 1), bpp)) return;
    cut.FillWith(bg);
    for (int32_t y = 0; y < cut.h; ++y)
        for (int32_t x = 0; x < cut.w; ++x)
            if (x + 3 < out.w && y + 3 < out.h)
                std::memcpy(cut.At(x, y), out.At(x + 3, y + 3), static_cast<size_t>(bpp));
    Store(Bitmap, cut, f);
}

// The 1-bit and 8-bit rotation with truncated sine and cosine.
void TruncatedRotate(TIEBitmap* Bitmap, const uint8_t* bg, bool bgBit, double Angle, const TIEProgressEvent& OnProgress,
                     cl::TObject* Sender) {
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    Pixels src;
    if (!std::isfinite(Angle) || !Load(Bitmap, src)) return;
    const bool bits = src.bpp == 0;
    if (Angle == 90 || Angle == -90 || Angle == 270 || Angle == 180 || Angle == -180) {
        Pixels d;
        TurnPixels(src, d, Angle == 90 ? Turn::CCW : (Angle == 180 || Angle == -180) ? Turn::Half : Turn::CW);
        Store(Bitmap, d, f);
        return;
    }
    const double theta = -Angle / 57.295779513082320877;
    const double c = std::trunc(std::cos(theta) * 10000) / 10000, s = std::trunc(std::sin(theta) * 10000) / 10000;
    const int32_t W = src.w, H = src.h;
    Pixels d;
    if (!d.Make(std::max<int64_t>(static_cast<int64_t>(std::fabs(W * c) + std::fabs(H * s)), 1),
                std::max<int64_t>(static_cast<int64_t>(std::fabs(-W * s) + std::fabs(c * H)), 1), src.bpp))
        return;
    std::vector<int32_t> dx(static_cast<size_t>(d.w)), dy(static_cast<size_t>(d.w));
    for (int32_t k = 0; k < d.w; ++k) {
        dx[k] = static_cast<int32_t>(c * (k - (d.w / 2.0 - 0.5)));
        dy[k] = static_cast<int32_t>(-s * (k - (d.w / 2.0 - 0.5)));
    }
    for (int32_t r = 0; r < d.h; ++r) {
        const double v = r - (d.h / 2.0 - 0.5);
        const int32_t bx = static_cast<int32_t>((W / 2.0 - 0.5) + s * v),
                      by = static_cast<int32_t>((H / 2.0 - 0.5) + c * v);
        for (int32_t k = 0; k < d.w; ++k) {
            const int64_t x = int64_t{bx} + dx[k], y = int64_t{by} + dy[k];
            const bool inside = x >= 0 && y >= 0 && x < W && y < H;
            if (bits) {
                if (inside ? src.Bit(static_cast<int32_t>(x), static_cast<int32_t>(y)) : bgBit) d.SetBit(k, r, true);
            } else {
                d.At(k, r)[0] = inside ? *src.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) : bg[0];
            }
        }
        if (OnProgress) OnProgress(Sender, static_cast<int32_t>(r * 100.0 / d.h));
    }
    Store(Bitmap, d, f);
}

}  // namespace

// ---------------------------------------------------------------------------------------

bool IEIsMultipleOf90(double Angle) {
    if (!std::isfinite(Angle) || Angle != std::trunc(Angle) || std::fabs(Angle) > 9e18) return false;
    return static_cast<int64_t>(Angle) % 90 == 0;
}

void IERotate90CW24(TIEBitmap* Source, TIEBitmap* Dest) { QuarterTurn(Source, Dest, Turn::CW, false); }
void IERotate90CW8(TIEBitmap* Source, TIEBitmap* Dest) { QuarterTurn(Source, Dest, Turn::CW, true); }
void IERotate90CCW24(TIEBitmap* Source, TIEBitmap* Dest) { QuarterTurn(Source, Dest, Turn::CCW, false); }
void IERotate90CCW8(TIEBitmap* Source, TIEBitmap* Dest) { QuarterTurn(Source, Dest, Turn::CCW, true); }

void IERotateBitmap(TIEBitmap* Bitmap, bool AntiAlias, cl::TObject* Sender, double Angle, const TRGB& Background,
                    const TIEProgressEvent& OnProgress) {
    if (!Bitmap || Angle == 0) return;
    if (Bitmap->GetPixelFormat() != ie24RGB) {
        IERotate1Bit(Bitmap, Background.r != 0 && Background.g != 0 && Background.b != 0, Angle, OnProgress, Sender);
        return;
    }
    const uint8_t bg[3] = {Background.b, Background.g, Background.r};
    ShearRotate(Bitmap, AntiAlias, bg, Angle, OnProgress, Sender);
}

void IERotateShear8(TIEBitmap* Bitmap, bool AntiAlias, uint8_t Background, double Angle,
                    const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Bitmap || (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p)) return;
    ShearRotate(Bitmap, AntiAlias, &Background, Angle, OnProgress, Sender);
}

void IERotateInterpolated24(TIEBitmap* Bitmap, cl::TColor Background, int32_t Mode, double Angle,
                            const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
    const TRGB c = IEColorToRGB(Background);
    const uint8_t bg[3] = {c.b, c.g, c.r};
    InterpolatedRotate(Bitmap, bg, Mode, Angle, OnProgress, Sender);
}

void IERotateInterpolated8(TIEBitmap* Bitmap, uint8_t Background, int32_t Mode, double Angle) {
    if (!Bitmap || (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p)) return;
    InterpolatedRotate(Bitmap, &Background, Mode, Angle, nullptr, nullptr);
}

void IERotateBitmapInto(TIEBitmap* Source, TIEBitmap* Dest, double Background, double Angle,
                        const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Source || !Dest || Source == Dest || !std::isfinite(Angle)) return;
    const TIEPixelFormat f = Source->GetPixelFormat();
    Pixels src;
    if (!Load(Source, src)) return;
    auto put = [&](const Pixels& d) {
        if (!Dest->Allocate(d.w, d.h, f) || Dest->GetWidth() != d.w || Dest->GetHeight() != d.h) return;
        if (f == ie8p) Source->CopyPaletteTo(Dest);
        for (int32_t y = 0; y < d.h; ++y)
            if (void* r = Dest->GetScanline(y)) std::memcpy(r, d.Row(y), d.rowLen);
    };
    if (IEIsMultipleOf90(Angle)) {
        const int64_t m = static_cast<int64_t>(Angle) % 360;
        if (m == 0) {
            Dest->Assign(Source);
            return;
        }
        Pixels d;
        TurnPixels(src, d, m == 90 || m == -270 ? Turn::CCW : m == 270 || m == -90 ? Turn::CW : Turn::Half);
        put(d);
        return;
    }
    const double theta = Angle * std::numbers::pi / 180, c = std::cos(theta), s = std::sin(theta);
    const int64_t W2 = RoundInt(std::fabs(s * src.h) + std::fabs(c * src.w));
    const int64_t H2 = RoundInt(std::fabs(s * src.w) + std::fabs(c * src.h));
    // The background as the bitmap's own fill makes it (0 for 1-bit pictures).
    TIEBitmap fill(1, 1, f);
    fill.Fill(f == ie1g ? 0 : Background);
    Pixels bgPixel;
    if (!Load(&fill, bgPixel)) return;
    Pixels d;
    if (!d.Make(W2, H2, src.bpp)) return;
    if (src.bpp > 0) d.FillWith(bgPixel.Row(0));
    const Mapping map(Angle, src.w, src.h, d.w, d.h);
    for (int32_t j = 0; j < d.h; ++j) {
        for (int32_t i = 0; i < d.w; ++i) {
            const double x = std::nearbyint(map.X(i, j)), y = std::nearbyint(map.Y(i, j));
            if (!(x >= 0 && y >= 0 && x < src.w && y < src.h)) continue;
            const int32_t sx = static_cast<int32_t>(x), sy = static_cast<int32_t>(y);
            if (src.bpp == 0)
                d.SetBit(i, j, src.Bit(sx, sy));
            else
                std::memcpy(d.At(i, j), src.At(sx, sy), static_cast<size_t>(src.bpp));
        }
        if (OnProgress) OnProgress(Sender, static_cast<int32_t>(j * 100.0 / d.h));
    }
    put(d);
}

void IERotateNearest(TIEBitmap* Bitmap, double Background, cl::TObject* Sender, double Angle,
                     const TIEProgressEvent& OnProgress) {
    if (!Bitmap || Bitmap->IsEmpty()) return;
    TIEBitmap result;
    IERotateBitmapInto(Bitmap, &result, Background, Angle, OnProgress, Sender);
    if (!result.IsEmpty()) Bitmap->AssignImage(&result);
}

void IERotate1Bit(TIEBitmap* Bitmap, bool BackgroundBit, double Angle, const TIEProgressEvent& OnProgress,
                  cl::TObject* Sender) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie1g) return;
    const uint8_t none = 0;
    TruncatedRotate(Bitmap, &none, BackgroundBit, Angle, OnProgress, Sender);
}

void IERotate8Bit(TIEBitmap* Bitmap, uint8_t Background, double Angle) {
    if (!Bitmap || (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p)) return;
    TruncatedRotate(Bitmap, &Background, false, Angle, nullptr, nullptr);
}

bool IERotateImage(TIEBitmap* Bitmap, double Angle, bool AntiAlias, int32_t Mode, cl::TColor Background,
                   const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Bitmap || Bitmap->IsEmpty() || Angle == 0 || !std::isfinite(Angle) || Mode < 0 || Mode > 2) return false;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    std::unique_ptr<TIEBitmap> alpha;
    if (Bitmap->HasAlphaChannel()) {
        alpha = std::make_unique<TIEBitmap>();
        alpha->Assign(Bitmap->GetAlphaChannel());
    }
    if (!AntiAlias || (f != ie24RGB && f != ie1g)) {
        if (alpha) IERotateNearest(alpha.get(), 0, nullptr, Angle, nullptr);
        IERotateNearest(Bitmap, Background, Sender, Angle, OnProgress);
    } else if (Mode != 0 && !IEIsMultipleOf90(Angle) && f == ie24RGB) {
        if (alpha) IERotateInterpolated8(alpha.get(), 0, Mode, Angle);
        IERotateInterpolated24(Bitmap, Background, Mode, Angle, OnProgress, Sender);
    } else {
        if (alpha) {
            if (f == ie1g)
                IERotate8Bit(alpha.get(), 0, Angle);
            else
                IERotateShear8(alpha.get(), AntiAlias, 0, Angle, nullptr, nullptr);
        }
        IERotateBitmap(Bitmap, AntiAlias, Sender, Angle, IEColorToRGB(Background), OnProgress);
    }
    if (alpha) {
        alpha->IsAlphaChannel = true;
        if (alpha->GetWidth() != Bitmap->GetWidth() || alpha->GetHeight() != Bitmap->GetHeight())
            alpha->Resize(Bitmap->GetWidth(), Bitmap->GetHeight(), 0, 255, 0, 0);
        alpha->Full = false;
        Bitmap->AttachAlphaChannel(alpha);
    }
    return true;
}

}  // namespace ie
