#include "imaging/core/neurquant.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/stdquant.h"

namespace ie {

int32_t IEQuantizerAlgorithm = -1;
int32_t IEQuantizerQuality = -1;

// ---------------------------------------------------------------------------------------
// The neural net (NeuQuant with its published constants).

namespace {

constexpr int kNetBiasShift = 4;   // colour values in fixed point with 4 fraction bits
constexpr int kIntBiasShift = 16;  // bias and frequency with 16 fraction bits
constexpr int32_t kIntBias = 1 << kIntBiasShift;
constexpr int kBetaShift = 10;                     // frequency decay
constexpr int32_t kBetaGamma = kIntBias;           // taken from the winner's bias
constexpr int32_t kBeta = kIntBias >> kBetaShift;  // 64
constexpr int32_t kInitAlpha = 1 << 10;            // learning rate in units of 1/1024
constexpr int kRadiusBiasShift = 6;
constexpr int32_t kRadiusDec = 30;
constexpr int32_t kRadBias = 1 << 8;
constexpr int32_t kAlphaRadBias = 1 << 18;
constexpr int kPrime1 = 499, kPrime2 = 491, kPrime3 = 487, kPrime4 = 503;

void ComputeRadPower(TIENeuQuant& q, int32_t alpha, int32_t rad) {
    const int64_t rad2 = static_cast<int64_t>(rad) * rad;
    for (int32_t i = 0; i < rad; ++i)
        q.RadPower[static_cast<size_t>(i)] =
            static_cast<int32_t>(alpha * (((rad2 - static_cast<int64_t>(i) * i) * kRadBias) / rad2));
}

int32_t Contest(TIENeuQuant& q, int32_t b, int32_t g, int32_t r) {
    int32_t bestd = INT32_MAX, bestBiasd = INT32_MAX;
    int32_t bestPos = -1, bestBiasPos = -1;
    int32_t* net = q.Network.data();
    int32_t* bias = q.Bias.data();
    int32_t* freq = q.Freq.data();
    for (int32_t i = 0; i < q.NetSize; ++i) {
        const int32_t* n = net + 4 * i;
        const int32_t dist = std::abs(n[0] - b) + std::abs(n[1] - g) + std::abs(n[2] - r);
        if (dist < bestd) {
            bestd = dist;
            bestPos = i;
        }
        const int32_t biasDist = dist - (bias[i] >> (kIntBiasShift - kNetBiasShift));
        if (biasDist < bestBiasd) {
            bestBiasd = biasDist;
            bestBiasPos = i;
        }
        const int32_t betaFreq = freq[i] >> kBetaShift;
        freq[i] -= betaFreq;
        bias[i] += betaFreq << kBetaShift;
    }
    freq[bestPos] += kBeta;
    bias[bestPos] -= kBetaGamma;
    return bestBiasPos;
}

void AlterSingle(TIENeuQuant& q, int32_t alpha, int32_t j, int32_t b, int32_t g, int32_t r) {
    int32_t* n = q.Network.data() + 4 * j;
    n[0] -= static_cast<int32_t>((static_cast<int64_t>(n[0] - b) * alpha) / kInitAlpha);
    n[1] -= static_cast<int32_t>((static_cast<int64_t>(n[1] - g) * alpha) / kInitAlpha);
    n[2] -= static_cast<int32_t>((static_cast<int64_t>(n[2] - r) * alpha) / kInitAlpha);
}

void AlterNeighbours(TIENeuQuant& q, int32_t rad, int32_t i, int32_t b, int32_t g, int32_t r) {
    const int32_t lo = std::max(i - rad, -1);
    const int32_t hi = std::min(i + rad, q.NetSize);
    int32_t j = i + 1, k = i - 1, m = 1;
    auto move = [&](int32_t at, int64_t a) {
        int32_t* p = q.Network.data() + 4 * at;
        p[0] -= static_cast<int32_t>((a * (p[0] - b)) / kAlphaRadBias);
        p[1] -= static_cast<int32_t>((a * (p[1] - g)) / kAlphaRadBias);
        p[2] -= static_cast<int32_t>((a * (p[2] - r)) / kAlphaRadBias);
    };
    while (j < hi || k > lo) {
        const int64_t a = q.RadPower[static_cast<size_t>(m++)];
        if (j < hi) move(j++, a);
        if (k > lo) move(k--, a);
    }
}

void Learn(TIENeuQuant& q) {
    q.RadiusDec = 30 + (q.SamplingFactor - 1) / 3;
    const int64_t samplePixels = q.ByteCount / (3 * static_cast<int64_t>(q.SamplingFactor));
    int64_t delta = samplePixels / 100;
    if (delta < 1) delta = 1;
    int32_t alpha = kInitAlpha;
    int32_t radius = q.InitRadiusFixed;
    int32_t rad = radius >> kRadiusBiasShift;
    if (rad <= 1) rad = 0;
    ComputeRadPower(q, alpha, rad);
    int64_t step;
    if (q.ByteCount % kPrime1 != 0)
        step = kPrime1;
    else if (q.ByteCount % kPrime2 != 0)
        step = kPrime2;
    else if (q.ByteCount % kPrime3 != 0)
        step = kPrime3;
    else
        step = kPrime4;
    const int64_t pixels = static_cast<int64_t>(q.Width) * q.Height;
    int64_t pos = 0;
    const TIEBitmapAccess saved = q.Bitmap->Access;
    q.Bitmap->Access = ieaRead;
    for (int64_t i = 0; i < samplePixels;) {
        int64_t row = pos / q.Width;
        if (row >= q.Height) row %= q.Height;
        const int64_t col = pos % q.Width;
        const auto* p = static_cast<const uint8_t*>(q.Bitmap->GetScanline(static_cast<int32_t>(row)));
        const int32_t b = p ? p[3 * col] << kNetBiasShift : 0;
        const int32_t g = p ? p[3 * col + 1] << kNetBiasShift : 0;
        const int32_t r = p ? p[3 * col + 2] << kNetBiasShift : 0;
        const int32_t j = Contest(q, b, g, r);
        AlterSingle(q, alpha, j, b, g, r);
        if (rad > 0) AlterNeighbours(q, rad, j, b, g, r);
        pos += step;
        if (pos >= pixels) pos -= pixels;
        ++i;
        if (i % delta == 0) {
            alpha -= alpha / q.RadiusDec;
            radius -= radius / kRadiusDec;
            rad = radius >> kRadiusBiasShift;
            if (rad <= 1) rad = 0;
            ComputeRadPower(q, alpha, rad);
        }
    }
    q.Bitmap->Access = saved;
}

void BuildGreenIndex(TIENeuQuant& q) {
    int32_t previous = 0, start = 0;
    int32_t* net = q.Network.data();
    for (int32_t i = 0; i < q.NetSize; ++i) {
        int32_t smallPos = i;
        int32_t smallVal = net[4 * i + 1];
        for (int32_t j = i + 1; j < q.NetSize; ++j)
            if (net[4 * j + 1] < smallVal) {
                smallPos = j;
                smallVal = net[4 * j + 1];
            }
        if (smallPos != i)
            for (int c = 0; c < 4; ++c) std::swap(net[4 * i + c], net[4 * smallPos + c]);
        if (smallVal != previous) {
            q.GreenIndex[previous] = (start + i) >> 1;
            for (int32_t j = previous + 1; j < smallVal; ++j) q.GreenIndex[j] = i;
            previous = smallVal;
            start = i;
        }
    }
    q.GreenIndex[previous] = (start + q.MaxNetPos) >> 1;
    for (int32_t j = previous + 1; j < 256; ++j) q.GreenIndex[j] = q.MaxNetPos;
}

}  // namespace

int32_t IENeuQuantSampleFactor(int64_t PixelCount) {
    if (PixelCount < 2000) return 1;
    const int64_t f = cl::Round(13.0 * static_cast<double>(PixelCount - 2000) / 148000.0 + 2.0);
    return static_cast<int32_t>(std::clamp<int64_t>(f, 1, 30));
}

std::unique_ptr<TIENeuQuant> IENeuQuantCreate(TIEBitmap* Bitmap, TRGB* Palette, int32_t ColorCount, int32_t Quality) {
    auto q = std::make_unique<TIENeuQuant>();
    q->NetSize = std::max(ColorCount, 1);
    q->MaxNetPos = q->NetSize - 1;
    q->InitRadius = q->NetSize / 8;
    q->InitRadiusFixed = q->InitRadius << kRadiusBiasShift;
    q->Bitmap = Bitmap;
    q->Width = Bitmap->GetWidth();
    q->Height = Bitmap->GetHeight();
    q->ByteCount = static_cast<int64_t>(q->Width) * q->Height * 3;
    if (Quality == -1)
        q->SamplingFactor = IENeuQuantSampleFactor(static_cast<int64_t>(q->Width) * q->Height);
    else
        q->SamplingFactor = 1 + static_cast<int32_t>(cl::Trunc((100 - std::clamp(Quality, 0, 100)) / 100.0 * 29));
    q->Network.assign(static_cast<size_t>(q->NetSize) * 4, 0);
    q->Bias.assign(static_cast<size_t>(q->NetSize), 0);
    q->Freq.assign(static_cast<size_t>(q->NetSize), 0);
    q->RadPower.assign(static_cast<size_t>(std::max(q->InitRadius, 1)), 0);
    for (int32_t i = 0; i < q->NetSize; ++i) {
        const int32_t v = static_cast<int32_t>((static_cast<int64_t>(i) << (kNetBiasShift + 8)) / q->NetSize);
        q->Network[4 * static_cast<size_t>(i)] = v;
        q->Network[4 * static_cast<size_t>(i) + 1] = v;
        q->Network[4 * static_cast<size_t>(i) + 2] = v;
        q->Freq[static_cast<size_t>(i)] = kIntBias / q->NetSize;
    }
    if (q->Width > 0 && q->Height > 0) Learn(*q);
    // Unbias: back to 0..255; the fourth value keeps the position before sorting.
    for (int32_t i = 0; i < q->NetSize; ++i) {
        int32_t* n = q->Network.data() + 4 * i;
        for (int c = 0; c < 3; ++c) n[c] = std::clamp((n[c] + (1 << (kNetBiasShift - 1))) >> kNetBiasShift, 0, 255);
        n[3] = i;
        Palette[i] = TRGB{static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]), static_cast<uint8_t>(n[2])};
    }
    BuildGreenIndex(*q);
    return q;
}

int32_t IENeuQuantIndex(const TIENeuQuant& State, const TRGB& Color) {
    const int32_t b = Color.b, g = Color.g, r = Color.r;
    int32_t bestd = 1000;
    int32_t best = -1;
    int32_t i = State.GreenIndex[g];
    int32_t j = i - 1;
    const int32_t* net = State.Network.data();
    auto consider = [&](const int32_t* p, int32_t dist) {
        if (dist < 0) dist = -dist;
        dist += std::abs(p[0] - b);
        if (dist < bestd) {
            dist += std::abs(p[2] - r);
            if (dist < bestd) {
                bestd = dist;
                best = p[3];
            }
        }
    };
    while (i < State.NetSize || j >= 0) {
        if (i < State.NetSize) {
            const int32_t* p = net + 4 * i;
            const int32_t dist = p[1] - g;
            if (dist >= bestd) {
                i = State.NetSize;
            } else {
                ++i;
                consider(p, dist);
            }
        }
        if (j >= 0) {
            const int32_t* p = net + 4 * j;
            const int32_t dist = g - p[1];
            if (dist >= bestd) {
                j = -1;
            } else {
                --j;
                consider(p, dist);
            }
        }
    }
    return best;
}

// ---------------------------------------------------------------------------------------
// The quantizer

TIEQuantizer::TIEQuantizer(TIEBitmap* ABitmap, TRGB* Palette, int32_t AColorCount)
    : ColorCount(std::clamp(AColorCount, 1, IEQuantizerMaxColors)), Bitmap(ABitmap) {
    if (!Bitmap || !Palette) return;
    GrayScale = Bitmap->IsGrayScale();
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (GrayScale || f != ie24RGB) {
        if (f == ie8p) {
            TRGB c{};
            for (int32_t i = 0; i < ColorCount; ++i) {
                Bitmap->GetPaletteEntry(i, c);
                Palette[i] = c;
            }
        } else if (GrayScale) {
            for (int32_t i = 0; i < ColorCount; ++i) {
                const auto v = static_cast<uint8_t>(cl::Trunc(256.0 / ColorCount * i));
                Palette[i] = TRGB{v, v, v};
            }
        }
        return;
    }
    if (CollectExactColors(Palette)) return;
    // The box splitter holds at most 256 boxes: larger palettes always come from the net.
    Algorithm =
        (ColorCount <= 256 && (IEQuantizerAlgorithm == 1 || (IEQuantizerAlgorithm == -1 && ColorCount < 128))) ? 1 : 0;
    if (Algorithm == 1)
        FBox = IEBoxQuantCreate(Bitmap, Palette, ColorCount);
    else
        FNeu = IENeuQuantCreate(Bitmap, Palette, ColorCount, IEQuantizerQuality);
}

TIEQuantizer::~TIEQuantizer() = default;

bool TIEQuantizer::CollectExactColors(TRGB* Palette) {
    // Distinct colours in order of first appearance, in an open-addressing table of at
    // least four times the count (a power of two).
    size_t slots = 1024;
    while (slots < 4 * static_cast<size_t>(ColorCount)) slots <<= 1;
    const int shift = 32 - std::countr_zero(slots);
    FExactTable.assign(slots, 0);
    FExact.clear();
    FExact.reserve(static_cast<size_t>(ColorCount));
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead;
    bool ok = true;
    uint32_t last = 0xFFFFFFFFu;
    for (int32_t y = 0; y < h && ok; ++y) {
        const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanline(y));
        if (!row) continue;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t key = row[3 * x] | (uint32_t{row[3 * x + 1]} << 8) | (uint32_t{row[3 * x + 2]} << 16);
            if (key == last) continue;
            last = key;
            size_t s = (key * 2654435761u) >> shift;
            for (;; s = (s + 1) & (slots - 1)) {
                const int32_t v = FExactTable[s];
                if (v == 0) break;
                const TRGB& c = FExact[static_cast<size_t>(v - 1)];
                if ((c.b | (uint32_t{c.g} << 8) | (uint32_t{c.r} << 16)) == key) break;
            }
            if (FExactTable[s] != 0) continue;
            if (static_cast<int32_t>(FExact.size()) >= ColorCount) {
                ok = false;
                break;
            }
            FExact.push_back(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
            FExactTable[s] = static_cast<int32_t>(FExact.size());
        }
    }
    Bitmap->Access = saved;
    if (!ok) {
        FExact.clear();
        FExactTable.clear();
        return false;
    }
    std::copy(FExact.begin(), FExact.end(), Palette);
    FHasExact = true;
    return true;
}

int32_t TIEQuantizer::FindExact(const TRGB& Color) const {
    if (FExactTable.empty()) return -1;
    const uint32_t key = Color.b | (uint32_t{Color.g} << 8) | (uint32_t{Color.r} << 16);
    const size_t slots = FExactTable.size();
    for (size_t s = (key * 2654435761u) >> (32 - std::countr_zero(slots));; s = (s + 1) & (slots - 1)) {
        const int32_t v = FExactTable[s];
        if (v == 0) return -1;
        if (FExact[static_cast<size_t>(v - 1)] == Color) return v - 1;
    }
}

int32_t TIEQuantizer::RGBIndex(const TRGB& Color) const {
    if (FHasExact) return FindExact(Color);
    if (GrayScale) return static_cast<int32_t>(Color.r) * ColorCount / 256;
    if (FNeu) return IENeuQuantIndex(*FNeu, Color);
    if (FBox) return IEBoxQuantIndex(*FBox, Color);
    if (Bitmap && Bitmap->GetPixelFormat() == ie8p) {
        const int32_t n = Bitmap->GetPaletteLength();
        const TRGB* pal = Bitmap->GetPalette();
        for (int32_t i = 0; i < n && pal; ++i)
            if (pal[i] == Color) return i;
        return n;
    }
    return 0;
}

}  // namespace ie
