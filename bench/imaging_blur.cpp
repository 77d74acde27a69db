// Gaussian blur of radius 10 over a 1920 x 1080 grey picture, against ImageMagick
// (convert -blur 0x10) and vips (vips gaussblur, sigma 10) in the same run, and a plain copy
// of the picture's bytes. Run: bench_imaging_blur. The blur benchmark reports its time as
// multiples of the peers' (x_convert, x_vips; 0 when the peer is missing) and of the copy
// (x_memcpy). The peers' times include starting the process and reading and writing PGM
// files in the run's private folder; the x_..._net counters compare with their time less
// that of the same program only copying the file (0 when that difference is too small to
// measure).
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
#include "imaging/processing/ieblur.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr double kRadius = 10;

std::string In() { return bench::PrivateFolder::Path() + "/in.pgm"; }
std::string Out() { return bench::PrivateFolder::Path() + "/out.pgm"; }

struct Pictures {
    ie::TIEBitmap original{kW, kH, ie::ie8g};
    ie::TIEBitmap work{kW, kH, ie::ie8g};
    std::vector<uint8_t> copy = std::vector<uint8_t>(size_t{kW} * kH);
    double memcpySeconds = 0, convertSeconds = 0, vipsSeconds = 0;
    double convertOverhead = 0, vipsOverhead = 0;  // the program copying the file
    bool haveConvert = false, haveVips = false;

    Pictures() {
        std::mt19937 rng(1);
        std::ofstream pgm(In(), std::ios::binary);
        pgm << "P5\n" << kW << " " << kH << "\n255\n";
        for (int y = 0; y < kH; ++y) {
            auto* row = static_cast<uint8_t*>(original.GetScanline(y));
            for (int x = 0; x < kW; ++x) row[x] = uint8_t((x + y) / 12 + rng() % 32);
            pgm.write(reinterpret_cast<const char*>(row), kW);
        }
        pgm.close();
        memcpySeconds = bench::BestSeconds(5, [&] { Copy(); });
        haveConvert = bench::RunQuiet("test -x /usr/bin/convert");
        haveVips = bench::RunQuiet("test -x /usr/bin/vips");
        if (haveConvert)
            convertOverhead = bench::BestSeconds(2, [&] { bench::RunQuiet("/usr/bin/convert " + In() + " " + Out()); });
        if (haveVips)
            vipsOverhead = bench::BestSeconds(2, [&] { bench::RunQuiet("/usr/bin/vips copy " + In() + " " + Out()); });
        if (haveConvert)
            convertSeconds = bench::BestSeconds(2, [&] {
                if (!bench::RunQuiet("/usr/bin/convert " + In() + " -blur 0x10 " + Out()))
                    std::fprintf(stderr, "convert failed\n");
            });
        if (haveVips)
            vipsSeconds = bench::BestSeconds(2, [&] {
                if (!bench::RunQuiet("/usr/bin/vips gaussblur " + In() + " " + Out() + " 10"))
                    std::fprintf(stderr, "vips failed\n");
            });
    }

    void Copy() {
        for (int y = 0; y < kH; ++y) std::memcpy(copy.data() + size_t(y) * kW, original.GetScanline(y), size_t{kW});
    }

    // The original's rows into the work picture, then the blur in place.
    void Blur() {
        for (int y = 0; y < kH; ++y) std::memcpy(work.GetScanline(y), original.GetScanline(y), size_t{kW});
        ie::IEGaussianBlurGray(&work, 0, 0, kW - 1, kH - 1, kRadius);
    }
};

Pictures& Data() {
    static Pictures p;
    return p;
}

void BM_IEGaussianBlur(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.Blur();
        benchmark::ClobberMemory();
    }
    const double seconds = bench::BestSeconds(3, [&] { d.Blur(); });
    state.counters["x_memcpy"] = seconds / d.memcpySeconds;
    state.counters["x_convert"] = d.haveConvert ? seconds / d.convertSeconds : 0.0;
    state.counters["x_vips"] = d.haveVips ? seconds / d.vipsSeconds : 0.0;
    // Against the peers' time less their copy of the same file (the blur alone).
    state.counters["x_convert_net"] =
        d.haveConvert ? bench::NetRatio(seconds, d.convertSeconds, d.convertOverhead) : 0.0;
    state.counters["x_vips_net"] = d.haveVips ? bench::NetRatio(seconds, d.vipsSeconds, d.vipsOverhead) : 0.0;
}
BENCHMARK(BM_IEGaussianBlur)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Memcpy(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.Copy();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

}  // namespace
