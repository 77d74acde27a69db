#include "imaging/processing/ieresample_kernel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <numbers>

#include "imaging/core/hyieutils_threadpool.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Kernels

double IESinc(double X) {
    if (X == 0) return 1;
    const double v = std::numbers::pi * X;
    return std::sin(v) / v;
}

double IETriangleFilter(double X) {
    const double t = std::fabs(X);
    return t < 1 ? 1 - t : 0;
}

double IEHermiteFilter(double X) {
    const double t = std::fabs(X);
    return t < 1 ? (2 * t - 3) * t * t + 1 : 0;
}

double IEBellFilter(double X) {
    const double t = std::fabs(X);
    if (t < 0.5) return 0.75 - t * t;
    if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
    return 0;
}

double IEBSplineFilter(double X) {
    const double t = std::fabs(X);
    if (t < 1) return 0.5 * t * t * t - t * t + 2.0 / 3.0;
    if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
    return 0;
}

double IELanczos3Filter(double X) { return std::fabs(X) < 3 ? IESinc(X) * IESinc(X / 3) : 0; }

double IEMitchellFilter(double X) {
    const double t = std::fabs(X);
    if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3.0) / 6;
    if (t < 2) return (-7.0 / 3.0 * t * t * t + 12 * t * t - 20 * t + 32.0 / 3.0) / 6;
    return 0;
}

double IEBoxFilter(double X) { return X > -0.5 && X <= 0.5 ? 1 : 0; }

double IELinearFilter(double X) {
    if (X >= -1 && X < 0) return X + 1;
    if (X >= 0 && X < 1) return 1 - X;
    return 0;
}

// clang-format off
const TIEResampleFilterRow IEResampleFilters[9] = {
    {nullptr, 0},
    {IETriangleFilter, 1.0},
    {IEHermiteFilter, 1.0},
    {IEBellFilter, 1.5},
    {IEBSplineFilter, 2.0},
    {IELanczos3Filter, 3.0},
    {IEMitchellFilter, 2.0},
    {IEBoxFilter, 1.0},
    {IELinearFilter, 1.0},
};
// clang-format on

// ---------------------------------------------------------------------------------------
// Contribution lists

namespace {

int32_t MirrorIndex(int64_t j, int32_t size) {
    if (j < 0)
        j = -j;
    else if (j >= size)
        j = 2 * static_cast<int64_t>(size) - 1 - j;
    return static_cast<int32_t>(std::clamp<int64_t>(j, 0, size - 1));
}

int32_t RoundWeight(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

}  // namespace

std::vector<TResampleContributorList> IEBuildContributors(int32_t SrcSize, int32_t DstSize, TResampleFilter Filter) {
    std::vector<TResampleContributorList> lists;
    if (SrcSize < 1 || DstSize < 1 || !IEIsKernelFilter(Filter)) return lists;
    const TIEResampleFilterRow& row = IEResampleFilters[Filter];
    const double scale = SrcSize == 1 || DstSize == 1 ? static_cast<double>(DstSize) / SrcSize
                                                      : static_cast<double>(DstSize - 1) / (SrcSize - 1);
    const bool shrinking = scale < 1;
    const double support = shrinking ? row.Support / scale : row.Support;
    lists.resize(static_cast<size_t>(DstSize));
    for (int32_t i = 0; i < DstSize; ++i) {
        TResampleContributorList& list = lists[static_cast<size_t>(i)];
        list.Contributors.reserve(static_cast<size_t>(2 * support + 1));
        const double center = i / scale;
        const int64_t first = static_cast<int64_t>(std::floor(center - support));
        const int64_t last = static_cast<int64_t>(std::ceil(center + support));
        // Shrinking by more than about 500 times rounds every scaled weight to 0, which
        // would make the pixel black; such a list takes the kernel's own weights instead
        // (the passes divide by the weight sum, so only the proportions count).
        for (const double gain : {shrinking ? scale : 1.0, 1.0}) {
            for (int64_t j = first; j <= last; ++j) {
                const double d = center - static_cast<double>(j);
                const int32_t w =
                    shrinking ? RoundWeight(row.Filter(d * scale) * 256 * gain) : RoundWeight(row.Filter(d) * 256);
                if (w == 0) continue;
                list.Contributors.push_back({MirrorIndex(j, SrcSize), w});
            }
            if (!list.Contributors.empty() || !shrinking) break;
        }
        list.Count = static_cast<int32_t>(list.Contributors.size());
    }
    return lists;
}

// ---------------------------------------------------------------------------------------
// The passes

namespace {

template <int C>
void FilterRow(const uint8_t* src, uint8_t* dst, const std::vector<TResampleContributorList>& lists) {
    uint8_t* out = dst;
    for (const TResampleContributorList& list : lists) {
        int64_t sum[C] = {};
        int64_t weights = 0;
        for (const TResampleContributor& k : list.Contributors) {
            const uint8_t* p = src + static_cast<size_t>(k.Pixel) * C;
            for (int c = 0; c < C; ++c) sum[c] += k.Weight * p[c];
            weights += k.Weight;
        }
        for (int c = 0; c < C; ++c) {
            // A weight sum of 0 counts as 256.
            const int64_t v = weights != 0 ? sum[c] / weights : sum[c] >> 8;
            out[c] = static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
        }
        out += C;
    }
}

void FilterRowChannels(int32_t channels, const uint8_t* src, uint8_t* dst,
                       const std::vector<TResampleContributorList>& lists) {
    if (channels == 1)
        FilterRow<1>(src, dst, lists);
    else
        FilterRow<3>(src, dst, lists);
}

// Tells the waiting caller that a worker made progress or stopped.
struct Signal {
    std::mutex Lock;
    std::condition_variable Changed;
    int32_t Finished = 0;  // guarded by Lock
};

}  // namespace

void TResampleHorizThread::Execute() {
    const TResampleParams& p = *Params.Params;
    const size_t workRowLen = static_cast<size_t>(p.DstWidth) * static_cast<size_t>(p.Channels);
    for (int32_t r = FirstRow; r < FirstRow + RowCount; ++r) {
        const uint8_t* src = p.SourceRow(r);
        uint8_t* work = Params.Work + workRowLen * static_cast<size_t>(r);
        if (src)
            FilterRowChannels(p.Channels, src, work, *Params.Lists);
        else
            std::fill_n(work, workRowLen, uint8_t{0});
        Params.RowsDone.fetch_add(1, std::memory_order_relaxed);
    }
}

bool IEResampleKernelRows(const TResampleParams& P) {
    const int32_t SW = P.SrcWidth, SH = P.SrcHeight, DW = P.DstWidth, DH = P.DstHeight;
    if (SW < 1 || SH < 1 || DW < 1 || DH < 1 || (SW <= 1 && SH <= 1) || !IEIsKernelFilter(P.Filter) ||
        (P.Channels != 1 && P.Channels != 3) || !P.SourceRow || !P.DestRow)
        return false;
    const int32_t C = P.Channels;
    const double factor = 100.0 / (SH + DH + 0.5);
    int32_t lastPercent = -1;
    auto report = [&](int32_t percent) {
        if (P.OnProgress && percent != lastPercent) P.OnProgress(percent);
        lastPercent = percent;
    };

    // Horizontal pass: source rows into DW x SH work rows.
    std::vector<uint8_t> work(static_cast<size_t>(DW) * static_cast<size_t>(SH) * static_cast<size_t>(C));
    {
        const std::vector<TResampleContributorList> lists = IEBuildContributors(SW, DW, P.Filter);
        TResampleHorizThread::Shared shared;
        shared.Params = &P;
        shared.Lists = &lists;
        shared.Work = work.data();
        if (P.ThreadCount <= 0) {
            TResampleHorizThread(0, 0, shared, SH).Execute();
        } else {
            const int32_t n = P.ThreadCount;
            const int32_t band = SH / n;
            auto signal = std::make_shared<Signal>();
            // The workers' objects outlive the pool, whose destructor waits for them when
            // this function is left by an exception.
            std::vector<std::unique_ptr<TResampleHorizThread>> threads;
            TIEThreadPool pool;
            int32_t started = 0;
            for (int32_t t = 0; t < n; ++t) {
                const int32_t rows = t == n - 1 ? SH - (n - 1) * band : band;
                if (rows == 0) continue;
                threads.push_back(std::make_unique<TResampleHorizThread>(t * band, t, shared, rows));
                TResampleHorizThread* th = threads.back().get();
                pool.Add([th, signal] {
                    struct Done {
                        Signal& s;
                        ~Done() {
                            {
                                std::lock_guard<std::mutex> g(s.Lock);
                                ++s.Finished;
                            }
                            s.Changed.notify_all();
                        }
                    } done{*signal};
                    th->Execute();
                });
                ++started;
            }
            // Progress of the workers, reported here while they run.
            {
                std::unique_lock<std::mutex> lock(signal->Lock);
                while (signal->Finished < started) {
                    signal->Changed.wait_for(lock, std::chrono::milliseconds(5));
                    const int32_t done = shared.RowsDone.load(std::memory_order_relaxed);
                    if (P.OnProgress && done > 0) {
                        lock.unlock();
                        report(static_cast<int32_t>(done * factor));
                        lock.lock();
                    }
                }
            }
            pool.WaitAll();  // raises a worker's failure
        }
        if (P.ThreadCount <= 0 && P.OnProgress) report(static_cast<int32_t>(SH * factor));
    }

    // Vertical pass on this thread.
    const std::vector<TResampleContributorList> lists = IEBuildContributors(SH, DH, P.Filter);
    const size_t rowLen = static_cast<size_t>(DW) * static_cast<size_t>(C);
    std::vector<int64_t> acc(rowLen);
    for (int32_t k = 0; k < DH; ++k) {
        std::fill(acc.begin(), acc.end(), 0);
        int64_t weights = 0;
        for (const TResampleContributor& c : lists[static_cast<size_t>(k)].Contributors) {
            const uint8_t* w = work.data() + rowLen * static_cast<size_t>(c.Pixel);
            const int64_t wt = c.Weight;
            for (size_t x = 0; x < rowLen; ++x) acc[x] += wt * w[x];
            weights += c.Weight;
        }
        uint8_t* dst = P.DestRow(k);
        if (dst) {
            for (size_t x = 0; x < rowLen; ++x) {
                const int64_t v = weights != 0 ? acc[x] / weights : acc[x] >> 8;
                dst[x] = static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
            }
        }
        if (P.OnProgress) report(static_cast<int32_t>((SH + k + 1) * factor));
    }
    return true;
}

}  // namespace ie
