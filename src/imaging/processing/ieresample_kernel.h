// The convolution kernels of the filtered resampler and the resampling of plain rows of
// 8-bit samples with them: contribution lists of 8-bit fixed-point weights, a horizontal
// pass spread over worker threads of the library's thread pool and a vertical pass on the
// calling thread.
//
// This part knows nothing of TIEBitmap: rows come from callbacks, so that it builds alone
// with the thread pool for the ThreadSanitizer test. ieresample.h puts bitmaps on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/core/hyiedefs.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Kernels: f(x) with its support radius.

double IESinc(double X);
double IETriangleFilter(double X);
double IEHermiteFilter(double X);
double IEBellFilter(double X);
double IEBSplineFilter(double X);
double IELanczos3Filter(double X);
double IEMitchellFilter(double X);
double IEBoxFilter(double X);
double IELinearFilter(double X);

struct TIEResampleFilterRow {
    double (*Filter)(double) = nullptr;
    double Support = 0;
};
// Rows 1 .. 8 (rfTriangle .. rfLinear); row 0 holds no kernel.
extern const TIEResampleFilterRow IEResampleFilters[9];
// True for the filters that have a kernel in the table.
inline bool IEIsKernelFilter(TResampleFilter Filter) { return Filter >= rfTriangle && Filter <= rfLinear; }

// ---------------------------------------------------------------------------------------
// Contribution lists.

struct TResampleContributor {
    int32_t Pixel = 0;   // source index
    int32_t Weight = 0;  // 256 = 1.0
};
struct TResampleContributorList {
    int32_t Count = 0;
    std::vector<TResampleContributor> Contributors;
};

// One list per destination index for resampling SrcSize samples to DstSize with a kernel
// filter. Indices left or right of the source are mirrored at the edge and clamped; zero
// weights are left out. Empty for a size below 1 or a filter without kernel.
std::vector<TResampleContributorList> IEBuildContributors(int32_t SrcSize, int32_t DstSize, TResampleFilter Filter);

// ---------------------------------------------------------------------------------------
// Rows of samples.

// Addresses of rows of Channels bytes per pixel.
using TIESourceRowFunc = std::function<const uint8_t*(int32_t Row)>;
using TIEDestRowFunc = std::function<uint8_t*(int32_t Row)>;

struct TResampleParams {
    int32_t ThreadCount = 1;  // workers of the horizontal pass; 0 runs it on the caller
    int32_t Channels = 3;     // 1 or 3 bytes per pixel
    int32_t SrcWidth = 0, SrcHeight = 0;
    int32_t DstWidth = 0, DstHeight = 0;
    TResampleFilter Filter = rfTriangle;
    // Source rows, read by the workers (several at once unless ThreadCount <= 1).
    TIESourceRowFunc SourceRow;
    // Destination rows, written on the calling thread one at a time.
    TIEDestRowFunc DestRow;
    // Percentages, called on the calling thread only, each value once in a row.
    std::function<void(int32_t Percent)> OnProgress;
};

// The horizontal pass of one band of source rows into the work rows.
class TResampleHorizThread {
public:
    struct Shared {
        const TResampleParams* Params = nullptr;
        const std::vector<TResampleContributorList>* Lists = nullptr;
        uint8_t* Work = nullptr;  // DstWidth x SrcHeight x Channels bytes
        std::atomic<int32_t> RowsDone{0};
    };
    TResampleHorizThread(int32_t FirstRow, int32_t ThreadIndex, Shared& Params, int32_t RowCount)
        : FirstRow(FirstRow), ThreadIndex(ThreadIndex), Params(Params), RowCount(RowCount) {}
    void Execute();

    int32_t FirstRow;
    int32_t ThreadIndex;
    Shared& Params;
    int32_t RowCount;
};

// Resamples with a kernel filter. False (nothing written) for a size below 1, a 1 x 1
// source or a filter without kernel. Raises what the thread pool raises (a worker that
// cannot start, a failed allocation in a worker).
bool IEResampleKernelRows(const TResampleParams& Params);

}  // namespace ie
