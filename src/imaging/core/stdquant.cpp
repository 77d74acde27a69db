#include "imaging/core/stdquant.h"

#include <algorithm>
#include <cmath>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"

namespace ie {

namespace {

constexpr double kFailedCut = 17523.6;  // no real sum of two variances reaches it

inline int32_t Cell(int r5, int g5, int b5) { return (r5 << 10) | (g5 << 5) | b5; }

void Statistics(TIEBoxQuant& q, TIEQuantBox& box) {
    if (box.Count == 0) {
        box.Variance = 0;
        return;
    }
    double variance = 0;
    for (int a = 0; a < 3; ++a) {
        double s1 = 0, s2 = 0;
        for (int j = box.Lo[a]; j < box.Hi[a]; ++j) {
            s1 += static_cast<double>(j) * static_cast<double>(box.Hist[a][j]);
            s2 += static_cast<double>(j) * j * static_cast<double>(box.Hist[a][j]);
        }
        box.Mean[a] = s1 / static_cast<double>(box.Count);
        variance += s2 - box.Mean[a] * box.Mean[a] * static_cast<double>(box.Count);
    }
    box.Variance = variance / static_cast<double>(q.PixelCount);
}

// Cuts box along axis a into First and Second; false when it cannot be cut.
bool Cut(TIEBoxQuant& q, const TIEQuantBox& box, int a, TIEQuantBox& first, TIEQuantBox& second) {
    const int lo = box.Lo[a], hi = box.Hi[a];
    if (lo + 1 >= hi) return false;
    const int64_t* h = box.Hist[a];
    const double mean = box.Mean[a];
    const int firstLevel = static_cast<int>(cl::Round((lo + mean) * 0.5));
    const int lastLevel = static_cast<int>(cl::Round((hi + mean) * 0.5));
    int64_t lower = 0;
    for (int j = lo; j < firstLevel && j < 32; ++j) lower += h[j];
    double m = 0;
    double bestScore = -1;
    int bestCut = firstLevel;
    int64_t bestLower = box.Count;
    for (int e = std::max(firstLevel, 0); e <= lastLevel && e < hi; ++e) {
        lower += h[e];
        if (lower >= box.Count) break;
        m += static_cast<double>(e) * static_cast<double>(h[e]) / static_cast<double>(box.Count);
        const double score =
            static_cast<double>(lower) / static_cast<double>(box.Count - lower) * (mean - m) * (mean - m);
        if (score > bestScore) {
            bestScore = score;
            bestCut = e;
            bestLower = lower;
        }
    }
    first = box;
    second = box;
    first.Count = bestLower;
    first.Hi[a] = bestCut + 1;
    second.Count = box.Count - bestLower;
    second.Lo[a] = bestCut + 1;
    if (first.Count <= 0 || second.Count <= 0 || first.Hi[a] <= first.Lo[a] || second.Lo[a] >= second.Hi[a])
        return false;
    // The first half's axis histograms from the cube; the second's by subtraction.
    for (auto& axis : first.Hist) std::fill(std::begin(axis), std::end(axis), 0);
    for (int r = first.Lo[0]; r < first.Hi[0]; ++r)
        for (int g = first.Lo[1]; g < first.Hi[1]; ++g)
            for (int b = first.Lo[2]; b < first.Hi[2]; ++b) {
                const int64_t n = q.Histogram[static_cast<size_t>(Cell(r, g, b))];
                if (n == 0) continue;
                first.Hist[0][r] += n;
                first.Hist[1][g] += n;
                first.Hist[2][b] += n;
                second.Hist[0][r] -= n;
                second.Hist[1][g] -= n;
                second.Hist[2][b] -= n;
            }
    // Bounds shrink to the levels that hold pixels.
    for (TIEQuantBox* half : {&first, &second})
        for (int ax = 0; ax < 3; ++ax) {
            int l = half->Lo[ax], u = half->Hi[ax] - 1;
            while (l <= u && half->Hist[ax][l] == 0) ++l;
            while (u >= l && half->Hist[ax][u] == 0) --u;
            if (l > u) return false;
            half->Lo[ax] = l;
            half->Hi[ax] = u + 1;
        }
    Statistics(q, first);
    Statistics(q, second);
    return true;
}

bool Split(TIEBoxQuant& q, int32_t index, int32_t newIndex) {
    TIEQuantBox& box = q.Boxes[static_cast<size_t>(index)];
    if (box.Variance == 0 || box.Count == 0) {
        box.Variance = 0;
        return false;
    }
    TIEQuantBox halves[3][2];
    double score[3];
    for (int a = 0; a < 3; ++a)
        score[a] =
            Cut(q, box, a, halves[a][0], halves[a][1]) ? halves[a][0].Variance + halves[a][1].Variance : kFailedCut;
    int axis;
    if (score[0] < kFailedCut && score[0] <= score[1] && score[0] <= score[2])
        axis = 0;
    else if (score[1] < kFailedCut && score[1] <= score[0] && score[1] <= score[2])
        axis = 1;
    else if (score[2] < kFailedCut)
        axis = 2;
    else {
        box.Variance = 0;
        return false;
    }
    q.Boxes[static_cast<size_t>(newIndex)] = halves[axis][1];
    box = halves[axis][0];
    return true;
}

}  // namespace

std::unique_ptr<TIEBoxQuant> IEBoxQuantCreate(TIEBitmap* Bitmap, TRGB* Palette, int32_t ColorCount) {
    auto q = std::make_unique<TIEBoxQuant>();
    q->Histogram.assign(32768, 0);
    q->Boxes.assign(256, TIEQuantBox{});
    q->InverseMap.assign(32768, 0);
    q->ColorCount = std::clamp(ColorCount, 1, 256);
    q->Width = Bitmap->GetWidth();
    q->Height = Bitmap->GetHeight();
    q->PixelCount = static_cast<int64_t>(q->Width) * q->Height;
    TIEQuantBox& box0 = q->Boxes[0];
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead;
    for (int32_t y = 0; y < q->Height; ++y) {
        const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanline(y));
        if (!row) continue;
        for (int32_t x = 0; x < q->Width; ++x) {
            const int b5 = row[3 * x] >> 3, g5 = row[3 * x + 1] >> 3, r5 = row[3 * x + 2] >> 3;
            ++q->Histogram[static_cast<size_t>(Cell(r5, g5, b5))];
            ++box0.Hist[0][r5];
            ++box0.Hist[1][g5];
            ++box0.Hist[2][b5];
        }
    }
    Bitmap->Access = saved;
    for (int a = 0; a < 3; ++a) {
        box0.Lo[a] = 0;
        box0.Hi[a] = 32;
    }
    box0.Count = q->PixelCount;
    if (q->PixelCount > 0) Statistics(*q, box0);

    int32_t n = 1;
    while (n < q->ColorCount) {
        int32_t chosen = -1;
        double best = 0;
        for (int32_t i = 0; i < n; ++i)
            if (q->Boxes[static_cast<size_t>(i)].Variance > best) {
                best = q->Boxes[static_cast<size_t>(i)].Variance;
                chosen = i;
            }
        if (chosen < 0) break;
        if (Split(*q, chosen, n)) ++n;
    }
    q->BoxCount = n;

    for (int32_t i = 0; i < n; ++i) {
        const TIEQuantBox& b = q->Boxes[static_cast<size_t>(i)];
        auto channel = [](double mean) { return static_cast<uint8_t>(cl::Round(mean) << 3); };
        Palette[i] = CreateRGB(channel(b.Mean[0]), channel(b.Mean[1]), channel(b.Mean[2]));
    }
    for (int32_t i = 0; i < n; ++i) {
        const TIEQuantBox& b = q->Boxes[static_cast<size_t>(i)];
        for (int r = b.Lo[0]; r < b.Hi[0]; ++r)
            for (int g = b.Lo[1]; g < b.Hi[1]; ++g)
                for (int bl = b.Lo[2]; bl < b.Hi[2]; ++bl)
                    q->InverseMap[static_cast<size_t>(Cell(r, g, bl))] = static_cast<uint8_t>(i);
    }
    return q;
}

}  // namespace ie
