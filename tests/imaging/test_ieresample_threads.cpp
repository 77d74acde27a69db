// The filtered resampler's worker threads on plain rows: any number of workers gives the
// result of the calling thread alone, byte for byte; progress reaches the caller only; a
// worker's failure comes back to the caller without hanging it. Built a second time under
// ThreadSanitizer (tsan/), so it uses nothing but the resampling rows and the thread pool.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imaging/processing/ieresample_kernel.h"

namespace ie {
namespace {

struct Job {
    int SW, SH, DW, DH;
    TResampleFilter f;
};

std::vector<uint8_t> RunJob(const Job& k, int channels, int threads, const std::vector<uint8_t>& src,
                            std::function<void(int32_t)> progress = nullptr) {
    std::vector<uint8_t> out(size_t(k.DW) * k.DH * channels);
    TResampleParams p;
    p.ThreadCount = threads;
    p.Channels = channels;
    p.SrcWidth = k.SW;
    p.SrcHeight = k.SH;
    p.DstWidth = k.DW;
    p.DstHeight = k.DH;
    p.Filter = k.f;
    p.SourceRow = [&](int32_t r) { return src.data() + size_t(r) * k.SW * channels; };
    p.DestRow = [&](int32_t r) { return out.data() + size_t(r) * k.DW * channels; };
    p.OnProgress = std::move(progress);
    EXPECT_TRUE(IEResampleKernelRows(p));
    return out;
}

TEST(IEResampleThreads, AnyWorkerCountGivesTheCallersResult) {
    // The second job has fewer rows than most worker counts: the last worker takes them all.
    const Job jobs[] = {{301, 97, 120, 250, rfLanczos3}, {64, 3, 200, 7, rfMitchell}, {50, 200, 49, 31, rfBell}};
    for (const Job& k : jobs)
        for (int channels : {1, 3}) {
            std::vector<uint8_t> src(size_t(k.SW) * k.SH * channels);
            std::mt19937 rng(k.SW);
            for (auto& b : src) b = uint8_t(rng());
            const std::vector<uint8_t> alone = RunJob(k, channels, 0, src);
            for (int threads : {1, 2, 5, 8})
                EXPECT_EQ(RunJob(k, channels, threads, src), alone) << threads << " threads, " << k.SW << "x" << k.SH;
        }
}

TEST(IEResampleThreads, ProgressRunsOnTheCaller) {
    const Job k{500, 400, 120, 90, rfLanczos3};
    std::vector<uint8_t> src(size_t(k.SW) * k.SH * 3, 7);
    const auto caller = std::this_thread::get_id();
    std::vector<int32_t> seen;
    bool elsewhere = false;
    RunJob(k, 3, 4, src, [&](int32_t per) {
        if (std::this_thread::get_id() != caller) elsewhere = true;
        seen.push_back(per);
    });
    EXPECT_FALSE(elsewhere);
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]);
    EXPECT_EQ(seen.back(), int32_t((400 + 90) * 100 / (400 + 90 + 0.5)));
}

TEST(IEResampleThreads, WorkerFailureReachesTheCaller) {
    const Job k{40, 300, 20, 100, rfTriangle};
    std::vector<uint8_t> src(size_t(k.SW) * k.SH * 3, 1), out(size_t(k.DW) * k.DH * 3);
    TResampleParams p;
    p.ThreadCount = 3;
    p.SrcWidth = k.SW;
    p.SrcHeight = k.SH;
    p.DstWidth = k.DW;
    p.DstHeight = k.DH;
    p.SourceRow = [&](int32_t r) -> const uint8_t* {
        if (r == 150) throw std::runtime_error("row lost");
        return src.data() + size_t(r) * k.SW * 3;
    };
    p.DestRow = [&](int32_t r) { return out.data() + size_t(r) * k.DW * 3; };
    p.OnProgress = [](int32_t) {};
    EXPECT_THROW(IEResampleKernelRows(p), std::runtime_error);
}

// A progress handler that raises leaves the resampler while workers may still run: they
// finish on data that is still alive.
TEST(IEResampleThreads, ProgressHandlerFailureWaitsForTheWorkers) {
    const Job k{600, 400, 300, 100, rfLanczos3};
    std::vector<uint8_t> src(size_t(k.SW) * k.SH * 3, 5);
    EXPECT_THROW(RunJob(k, 3, 4, src, [](int32_t) { throw std::runtime_error("stop"); }), std::runtime_error);
}

TEST(IEResampleThreads, DegenerateJobsWriteNothing) {
    std::vector<uint8_t> src(16, 9);
    for (const Job& k :
         {Job{1, 1, 5, 5, rfTriangle}, Job{0, 4, 5, 5, rfTriangle}, Job{4, 4, 0, 5, rfTriangle},
          Job{4, 4, 5, 5, rfNone}, Job{4, 4, 5, 5, rfFastLinear}, Job{4, 4, 5, 5, TResampleFilter(200)}}) {
        TResampleParams p;
        p.SrcWidth = k.SW;
        p.SrcHeight = k.SH;
        p.DstWidth = k.DW;
        p.DstHeight = k.DH;
        p.Filter = k.f;
        p.Channels = 1;
        bool written = false;
        p.SourceRow = [&](int32_t) { return src.data(); };
        p.DestRow = [&](int32_t) {
            written = true;
            return src.data();
        };
        EXPECT_FALSE(IEResampleKernelRows(p));
        EXPECT_FALSE(written);
    }
}

}  // namespace
}  // namespace ie
