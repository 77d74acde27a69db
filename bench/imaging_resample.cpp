// Resampling a 4000 x 3000 photograph-like picture to fit 1920 x 1080 (1440 x 1080) with the
// triangle (bilinear) and the Lanczos-type kernel, on one worker and on every core, against
// ImageMagick (convert -filter Triangle|Lanczos -resize) and vips (vips resize --kernel
// linear|lanczos3) in the same run, and a plain copy of the source bytes. Run:
// bench_imaging_resample. Each resample benchmark reports its time as multiples of the
// peers' (x_convert, x_vips; 0 when the peer is missing) and of the copy (x_memcpy). The
// peers run with one thread (MAGICK_THREAD_LIMIT=1, VIPS_CONCURRENCY=1) for the one-worker
// rows and unrestricted for the all-core rows; their times include starting the process and
// reading and writing PPM files in the run's private folder, and the x_..._net counters
// compare with their time less that of the same program only copying the file (0 when
// that difference is too small to measure).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "bench_timing.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_threadpool.h"
#include "imaging/processing/ieresample.h"

namespace {

constexpr int kSrcW = 4000, kSrcH = 3000;
constexpr int kDstW = 1440, kDstH = 1080;
constexpr size_t kSrcBytes = size_t{kSrcW} * kSrcH * 3;

std::string In() { return bench::PrivateFolder::Path() + "/in.ppm"; }
std::string Out() { return bench::PrivateFolder::Path() + "/out.ppm"; }

struct Peer {
    bool present = false;
    double seconds[2][2] = {};  // [lanczos][all cores]
    double overhead = 0;        // the same program copying the file: start, read, write
};

struct Pictures {
    ie::TIEBitmap src{kSrcW, kSrcH, ie::ie24RGB};
    ie::TIEBitmap dst{kDstW, kDstH, ie::ie24RGB};
    std::vector<const uint8_t*> rows;
    std::vector<uint8_t> copy = std::vector<uint8_t>(kSrcBytes);
    double memcpySeconds = 0;
    Peer convert, vips;

    Pictures() {
        std::mt19937 rng(1);
        std::ofstream ppm(In(), std::ios::binary);
        ppm << "P6\n" << kSrcW << " " << kSrcH << "\n255\n";
        std::vector<uint8_t> rgb(size_t{kSrcW} * 3);
        for (int y = 0; y < kSrcH; ++y) {
            auto* row = static_cast<uint8_t*>(src.GetScanline(y));
            for (int x = 0; x < kSrcW; ++x) {
                const uint8_t b = uint8_t(x * 255 / kSrcW + rng() % 16), g = uint8_t(y * 255 / kSrcH),
                              r = uint8_t((x + y) / 30 + rng() % 8);
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
                rgb[3 * x] = r;
                rgb[3 * x + 1] = g;
                rgb[3 * x + 2] = b;
            }
            ppm.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
        }
        ppm.close();
        for (int y = 0; y < kSrcH; ++y) rows.push_back(static_cast<const uint8_t*>(src.GetScanline(y)));
        memcpySeconds = bench::BestSeconds(5, [&] { CopySource(); });
        convert.present = bench::RunQuiet("test -x /usr/bin/convert");
        vips.present = bench::RunQuiet("test -x /usr/bin/vips");
        if (convert.present)
            convert.overhead =
                bench::BestSeconds(2, [&] { bench::RunQuiet("/usr/bin/convert " + In() + " " + Out()); });
        if (vips.present)
            vips.overhead = bench::BestSeconds(2, [&] { bench::RunQuiet("/usr/bin/vips copy " + In() + " " + Out()); });
        for (int lanczos = 0; lanczos < 2; ++lanczos)
            for (int all = 0; all < 2; ++all) {
                if (convert.present)
                    convert.seconds[lanczos][all] = bench::BestSeconds(2, [&] { RunConvert(lanczos, all); });
                if (vips.present) vips.seconds[lanczos][all] = bench::BestSeconds(2, [&] { RunVips(lanczos, all); });
            }
    }

    static void RunConvert(bool lanczos, bool all) {
        const std::string cmd = std::string(all ? "" : "MAGICK_THREAD_LIMIT=1 ") + "/usr/bin/convert " + In() +
                                " -filter " + (lanczos ? "Lanczos" : "Triangle") + " -resize 1920x1080 " + Out();
        if (!bench::RunQuiet(cmd)) std::fprintf(stderr, "convert failed\n");
    }
    static void RunVips(bool lanczos, bool all) {
        const std::string cmd = std::string(all ? "" : "VIPS_CONCURRENCY=1 ") + "/usr/bin/vips resize " + In() + " " +
                                Out() + " 0.36 --kernel " + (lanczos ? "lanczos3" : "linear");
        if (!bench::RunQuiet(cmd)) std::fprintf(stderr, "vips failed\n");
    }

    // The source's bytes, row by row (the rows need not be one block).
    void CopySource() {
        for (int y = 0; y < kSrcH; ++y)
            std::memcpy(copy.data() + size_t(y) * kSrcW * 3, rows[size_t(y)], size_t(kSrcW) * 3);
    }

    void Resample(ie::TResampleFilter f, int threads) {
        ie::TResampleParams p;
        p.ThreadCount = threads;
        p.Channels = 3;
        p.SrcWidth = kSrcW;
        p.SrcHeight = kSrcH;
        p.DstWidth = kDstW;
        p.DstHeight = kDstH;
        p.Filter = f;
        p.SourceRow = [this](int32_t r) { return rows[static_cast<size_t>(r)]; };
        p.DestRow = [this](int32_t r) { return static_cast<uint8_t*>(dst.GetScanline(r)); };
        ie::IEResampleKernelRows(p);
    }
};

Pictures& Data() {
    static Pictures p;
    return p;
}

// Arguments: 0 triangle / 1 Lanczos-type, 0 one worker / 1 every core.
void BM_IEResample(benchmark::State& state) {
    auto& d = Data();
    const bool lanczos = state.range(0) != 0, all = state.range(1) != 0;
    const ie::TResampleFilter f = lanczos ? ie::rfLanczos3 : ie::rfTriangle;
    const int threads = all ? ie::IEProcessorCoreCount() : 1;
    for (auto _ : state) {
        d.Resample(f, threads);
        benchmark::ClobberMemory();
    }
    const double seconds = bench::BestSeconds(3, [&] { d.Resample(f, threads); });
    state.counters["threads"] = threads;
    state.counters["x_memcpy"] = seconds / d.memcpySeconds;
    state.counters["x_convert"] = d.convert.present ? seconds / d.convert.seconds[lanczos][all] : 0.0;
    state.counters["x_vips"] = d.vips.present ? seconds / d.vips.seconds[lanczos][all] : 0.0;
    // Against the peers' time less their copy of the same file (the resampling alone).
    auto net = [&](const Peer& p) {
        return p.present ? bench::NetRatio(seconds, p.seconds[lanczos][all], p.overhead) : 0.0;
    };
    state.counters["x_convert_net"] = net(d.convert);
    state.counters["x_vips_net"] = net(d.vips);
}
BENCHMARK(BM_IEResample)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"lanczos", "all_cores"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Memcpy(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.CopySource();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSrcBytes));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

}  // namespace
