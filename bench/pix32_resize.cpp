// Resizing a 4000 x 3000 TBitmap32 to fit 1920 x 1080 (1440 x 1080) with TLinearResampler,
// against ImageMagick's convert -resize of the same picture and a plain copy of the same
// bytes (the physical floor). Run: bench_pix32_resize. The resize benchmark reports its
// time as multiples of the other two (counters x_memcpy and x_convert; x_convert is 0 when
// /usr/bin/convert is missing). convert's time includes starting the process and reading
// and writing the raw pixels through the run's private folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "bench_timing.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Resamplers.h"
#include "pix32/Pix32_Startup.h"

namespace {

constexpr int kSrcW = 4000, kSrcH = 3000;
constexpr int kDstW = 1440, kDstH = 1080;  // 4:3 fitted into 1920 x 1080
constexpr size_t kSrcBytes = size_t{kSrcW} * kSrcH * 4;
std::string RawIn() { return bench::PrivateFolder::Path() + "/in.rgba"; }
std::string RawOut() { return bench::PrivateFolder::Path() + "/out.rgba"; }

struct Pictures {
    pix32::TBitmap32 src, dst;
    std::vector<uint8_t> copy = std::vector<uint8_t>(kSrcBytes);
    bool haveConvert = false;
    double memcpySeconds = 0, convertSeconds = 0;

    Pictures() {
        pix32::StartupPix32();
        src.SetSize(kSrcW, kSrcH);
        // A smooth picture with some noise, opaque, like a photograph.
        std::mt19937 rng(1);
        for (int y = 0; y < kSrcH; ++y) {
            pix32::TColor32* row = src.ScanLine(y);
            for (int x = 0; x < kSrcW; ++x)
                row[x] = pix32::Color32((x * 255 / kSrcW + rng() % 16) & 0xFF, (y * 255 / kSrcH) & 0xFF,
                                        ((x + y) / 30 + rng() % 8) & 0xFF);
        }
        src.SetResamplerClassName("TLinearResampler");
        dst.SetSize(kDstW, kDstH);
        // The raw picture for convert: its bytes are blue, green, red, alpha.
        std::ofstream(RawIn(), std::ios::binary).write(reinterpret_cast<const char*>(src.Bits()), kSrcBytes);
        haveConvert = bench::RunQuiet("test -x /usr/bin/convert");
        memcpySeconds = bench::BestSeconds(7, [&] { std::memcpy(copy.data(), src.Bits(), kSrcBytes); });
        if (haveConvert) convertSeconds = bench::BestSeconds(2, [&] { RunConvert(); });
    }

    static void RunConvert() {
        const std::string cmd = std::string("/usr/bin/convert -size ") + std::to_string(kSrcW) + "x" +
                                std::to_string(kSrcH) + " -depth 8 bgra:" + RawIn() +
                                " -resize 1920x1080 bgra:" + RawOut();
        if (!bench::RunQuiet(cmd)) std::fprintf(stderr, "convert failed\n");
    }

    void Resize() { src.DrawTo(&dst, dst.BoundsRect()); }
};

Pictures& Data() {
    static Pictures p;
    return p;
}

void BM_Memcpy(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        std::memcpy(d.copy.data(), d.src.Bits(), kSrcBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSrcBytes));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_ResizeLinear(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.Resize();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSrcBytes));
    const double seconds = bench::BestSeconds(3, [&] { d.Resize(); });
    state.counters["x_memcpy"] = seconds / d.memcpySeconds;
    state.counters["x_convert"] = d.haveConvert ? seconds / d.convertSeconds : 0.0;
}
BENCHMARK(BM_ResizeLinear)->Unit(benchmark::kMillisecond);

void BM_ImageMagickConvert(benchmark::State& state) {
    auto& d = Data();
    if (!d.haveConvert) {
        state.SkipWithError("/usr/bin/convert is not installed");
        return;
    }
    for (auto _ : state) Pictures::RunConvert();
}
BENCHMARK(BM_ImageMagickConvert)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
