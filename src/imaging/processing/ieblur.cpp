#include "imaging/processing/ieblur.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ie {

std::vector<TIEFilterPreset> IEFilterPresets;
std::vector<std::string> IEFilterPresetNames;

namespace {

// The "Blur" kernel, also when the preset lists were not built.
constexpr TIEFilterPreset kBlurPreset{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};

struct Box {
    int32_t x1, y1, x2, y2;
};

// The box grown by Grow on each side and limited to the image (inclusive corners).
Box GrowClamped(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int64_t Grow, int32_t W, int32_t H) {
    auto c = [](int64_t v, int32_t hi) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, hi)); };
    return {c(int64_t{X1} - Grow, W - 1), c(int64_t{Y1} - Grow, H - 1), c(int64_t{X2} + Grow, W - 1),
            c(int64_t{Y2} + Grow, H - 1)};
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Gaussian blur

void IEGaussianKernel(TIEGaussianKernel& Kernel, double Radius) {
    double g[201];
    double sum = 0;
    for (int i = 0; i <= 200; ++i) {
        const double d = (i - 100) / Radius;
        g[i] = std::exp(-d * d / 2);
        sum += g[i];
    }
    for (int i = 0; i <= 200; ++i) Kernel.Weights[i] = static_cast<int32_t>(std::nearbyint(g[i] * 65536 / sum));
    int32_t k = 100;
    while (k > 1 && Kernel.Weights[100 + k] == 0 && Kernel.Weights[100 - k] == 0) --k;
    Kernel.HalfWidth = k;
}

void IEConvolveLine(const TIEGaussianKernel& Kernel, const uint8_t* Src, uint8_t* Dst, int32_t Count) {
    if (Count < 1) return;
    const int32_t k = std::clamp(Kernel.HalfWidth, 0, 100);
    const int32_t* w = Kernel.Weights + 100;
    for (int32_t c = 0; c < Count; ++c) {
        uint32_t acc = 0x8000;
        if (c - k >= 0 && c + k < Count) {
            const uint8_t* s = Src + c;
            for (int32_t t = -k; t <= k; ++t) acc += static_cast<uint32_t>(w[t]) * s[t];
        } else {
            for (int32_t t = -k; t <= k; ++t) {
                const int32_t i = std::clamp(c + t, 0, Count - 1);
                acc += static_cast<uint32_t>(w[t]) * Src[i];
            }
        }
        Dst[c] = static_cast<uint8_t>(std::min<uint32_t>(acc >> 16, 255));
    }
}

void IEGaussianBlurGray(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie8g || !(Radius > 0)) return;
    const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
    if (W < 1 || H < 1) return;
    X1 = std::clamp(X1, 0, W - 1);
    X2 = std::clamp(X2, 0, W - 1);
    Y1 = std::clamp(Y1, 0, H - 1);
    Y2 = std::clamp(Y2, 0, H - 1);
    if (X2 < X1 || Y2 < Y1) return;
    TIEGaussianKernel kernel;
    IEGaussianKernel(kernel, Radius);
    const int32_t w = X2 - X1 + 1, h = Y2 - Y1 + 1;
    // The rectangle in memory: rows are blurred there, then columns, then written back.
    std::vector<uint8_t> area(static_cast<size_t>(w) * static_cast<size_t>(h));
    std::vector<uint8_t> line(static_cast<size_t>(std::max(w, h))), out(line.size());
    for (int32_t y = 0; y < h; ++y) {
        const auto* src = static_cast<const uint8_t*>(Bitmap->GetScanline(Y1 + y));
        if (!src) return;
        IEConvolveLine(kernel, src + X1, area.data() + static_cast<size_t>(y) * w, w);
    }
    for (int32_t x = 0; x < w; ++x) {
        for (int32_t y = 0; y < h; ++y) line[y] = area[static_cast<size_t>(y) * w + x];
        IEConvolveLine(kernel, line.data(), out.data(), h);
        for (int32_t y = 0; y < h; ++y) area[static_cast<size_t>(y) * w + x] = out[y];
    }
    for (int32_t y = 0; y < h; ++y)
        if (auto* dst = static_cast<uint8_t*>(Bitmap->GetScanline(Y1 + y)))
            std::memcpy(dst + X1, area.data() + static_cast<size_t>(y) * w, static_cast<size_t>(w));
}

// ---------------------------------------------------------------------------------------
// 3x3 convolution

void IEAddFilterPreset(const TIEFilterPreset& Preset, const std::string& Name) {
    IEFilterPresets.push_back(Preset);
    IEFilterPresetNames.push_back(Name);
}

void IEBuildFilterPresets() {
    IEFreeFilterPresets();
    IEAddFilterPreset({{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0}, "None");
    IEAddFilterPreset(kBlurPreset, "Blur");
    IEAddFilterPreset({{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1}, "Edges");
    IEAddFilterPreset({{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1}, "Emboss");
    IEAddFilterPreset({{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1}, "High Pass 1");
    IEAddFilterPreset({{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1}, "High Pass 2");
    IEAddFilterPreset({{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1}, "High Pass 3");
    IEAddFilterPreset({{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10}, "Low Pass 1");
    IEAddFilterPreset({{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16}, "Low Pass 2");
}

void IEFreeFilterPresets() {
    IEFilterPresets.clear();
    IEFilterPresetNames.clear();
}

void IEConvolve3x3Gray(TIEBitmap* Bitmap, const TIEFilterPreset& Filter, int32_t X1, int32_t Y1, int32_t X2,
                       int32_t Y2) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie8g) return;
    const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, W);
    Y2 = std::min(Y2, H);
    if (X2 <= X1 || Y2 <= Y1) return;
    const int64_t divisor = Filter.Divisor == 0 ? 1 : Filter.Divisor;
    // Product table: weight k x value v.
    std::vector<int32_t> products(9 * 256);
    for (int k = 0; k < 9; ++k)
        for (int v = 0; v < 256; ++v) products[static_cast<size_t>(k) * 256 + v] = Filter.Weights[k] * v;
    // Rows Y1 - 1 .. Y2 (clamped) as read, the results written back once all are known.
    const int32_t first = std::max(Y1 - 1, 0), last = std::min(Y2, H - 1);
    const size_t w = static_cast<size_t>(W);
    std::vector<uint8_t> rows(w * static_cast<size_t>(last - first + 1));
    for (int32_t y = first; y <= last; ++y) {
        const auto* p = static_cast<const uint8_t*>(Bitmap->GetScanline(y));
        if (!p) return;
        std::memcpy(rows.data() + w * static_cast<size_t>(y - first), p, w);
    }
    auto at = [&](int32_t x, int32_t y) {
        x = std::clamp(x, 0, W - 1);
        y = std::clamp(y, first, last);
        return rows[w * static_cast<size_t>(y - first) + static_cast<size_t>(x)];
    };
    std::vector<uint8_t> out(static_cast<size_t>(X2 - X1));
    for (int32_t y = Y1; y < Y2; ++y) {
        for (int32_t x = X1; x < X2; ++x) {
            int64_t sum = 0;
            for (int k = 0; k < 9; ++k)
                sum += products[static_cast<size_t>(k) * 256 + at(x + k % 3 - 1, y + k / 3 - 1)];
            out[static_cast<size_t>(x - X1)] =
                static_cast<uint8_t>(std::clamp<int64_t>(std::abs(sum) / divisor, 0, 255));
        }
        if (auto* d = static_cast<uint8_t*>(Bitmap->GetScanline(y))) std::memcpy(d + X1, out.data(), out.size());
    }
}

// ---------------------------------------------------------------------------------------
// Soft shadow

int32_t IEAddSoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                        const TRGB& Color, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const double r = Radius == 0 ? 2 : Radius;
    const int64_t offset = std::max(std::llabs(OffsetX), std::llabs(OffsetY));
    const double spread = std::isfinite(r) ? std::clamp(std::trunc(r * 5), -1e9, 1e9) : 1e9;
    const int32_t margin =
        static_cast<int32_t>(std::clamp<int64_t>(2 * offset + static_cast<int64_t>(spread), 1, INT32_MAX));
    if (!Bitmap || Bitmap->IsAlphaChannel) return margin;
    const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
    if (W < 1 || H < 1) return margin;
    TIEBitmap* alpha = Bitmap->GetAlphaChannel();
    if (!alpha) return margin;
    alpha->Full = false;
    TIEBitmap before;
    before.Assign(alpha);
    if (before.GetWidth() != W || before.GetHeight() != H) return margin;

    const Box blur = GrowClamped(X1, Y1, X2, Y2, margin / 2, W, H);
    if (Radius != 0)
        IEGaussianBlurGray(alpha, blur.x1, blur.y1, blur.x2, blur.y2, Radius);
    else
        IEConvolve3x3Gray(alpha, IEFilterPresets.size() > 1 ? IEFilterPresets[1] : kBlurPreset, blur.x1, blur.y1,
                          blur.x2, blur.y2);
    if (OffsetX != 0 || OffsetY != 0) {
        auto c = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
        alpha->MoveRegion(blur.x1, blur.y1, blur.x2, blur.y2, c(int64_t{blur.x1} + OffsetX),
                          c(int64_t{blur.y1} + OffsetY), 0, true);
    }

    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f != ie24RGB && f != ie1g) return margin;
    const Box comp = GrowClamped(X1, Y1, X2, Y2, margin, W, H);
    Intensity = std::clamp(Intensity, 0, 100);
    const double fdiv = 3 - Intensity / 100.0 * 2;
    const double color[3] = {double(Color.b), double(Color.g), double(Color.r)};
    for (int32_t y = comp.y1; y <= comp.y2; ++y) {
        const auto* old = static_cast<const uint8_t*>(before.GetScanline(y));
        auto* sa = static_cast<uint8_t*>(alpha->MapRow(y));
        auto* px = static_cast<uint8_t*>(Bitmap->MapRow(y));
        if (old && sa && px) {
            for (int32_t x = comp.x1; x <= comp.x2; ++x) {
                const uint8_t a = old[x], s = sa[x];
                if (a != 0 || a == s) {
                    if (f == ie24RGB && a != 0 && a != 255) {
                        const double n = s / 255.0, rr = a / 255.0;
                        uint8_t* p = px + 3 * static_cast<size_t>(x);
                        for (int c = 0; c < 3; ++c) {
                            const double shadowed = std::trunc(n * color[c] + (1 - n) * p[c]);
                            p[c] = static_cast<uint8_t>(std::trunc(rr * p[c] + (1 - rr) * shadowed));
                        }
                        sa[x] = static_cast<uint8_t>(std::trunc((rr + n * (1 - rr)) * 255));
                    } else {
                        sa[x] = a;
                    }
                } else if (f == ie24RGB) {
                    uint8_t* p = px + 3 * static_cast<size_t>(x);
                    p[0] = Color.b;
                    p[1] = Color.g;
                    p[2] = Color.r;
                    if (fdiv != 1) sa[x] = static_cast<uint8_t>(std::trunc(s / fdiv));
                } else {
                    px[x >> 3] = static_cast<uint8_t>(px[x >> 3] & ~(0x80 >> (x & 7)));
                }
            }
        }
        if (px) Bitmap->UnmapRow(px);
        if (sa) alpha->UnmapRow(sa);
    }
    return margin;
}

}  // namespace ie
