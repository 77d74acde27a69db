// Reducing a 1920 x 1080 photograph to 256 colours: the quantizer's neural net and box
// splitting (palette and every pixel mapped), against ImageMagick's `convert -colors 256`
// on the same pixels (as a program: its time includes starting it and reading and writing
// the picture, so it is an upper bound) and a plain copy of the same bytes in the same run.
// Run: bench_imaging_quantize. Compare the times per picture.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_bw.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// The photograph enlarged to 1920 x 1080 by ImageMagick, in a folder of the run's own.
struct Setup {
    std::string folder, ppm;
    std::unique_ptr<ie::TIEBitmap> photo;
    Setup() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-iebench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        folder = pattern;
        ie::IETempFolder = folder;
        ie::IELibraryStaticInit();
        ppm = folder + "/photo.ppm";
        const std::string cmd = std::string("convert '") + LUMETRA_TEST_DATA +
                                "/processing/chelsea.jpg' -resize 1920x1080! -depth 8 'ppm:" + ppm + "'";
        if (std::system(cmd.c_str()) != 0) return;
        std::ifstream f(ppm, std::ios::binary);
        std::string magic;
        int w = 0, h = 0, maxval = 0;
        f >> magic >> w >> h >> maxval;
        f.get();
        if (magic != "P6" || w != kWidth || h != kHeight || maxval != 255) return;
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        f.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
        photo = std::make_unique<ie::TIEBitmap>();
        photo->MinFileSize = int64_t{1} << 40;
        photo->SetLocation(ie::ieMemory);
        photo->Allocate(w, h, ie::ie24RGB);
        for (int y = 0; y < h; ++y) {
            auto* p = static_cast<uint8_t*>(photo->GetScanline(y));
            const uint8_t* s = rgb.data() + static_cast<size_t>(y) * w * 3;
            for (int x = 0; x < w; ++x) {
                p[3 * x] = s[3 * x + 2];
                p[3 * x + 1] = s[3 * x + 1];
                p[3 * x + 2] = s[3 * x];
            }
        }
    }
    ~Setup() {
        photo.reset();
        ie::IELibraryStaticFinal();
        std::error_code ec;
        if (!folder.empty()) std::filesystem::remove_all(folder, ec);
    }
};

Setup& Once() {
    static Setup s;
    return s;
}

void Quantize(benchmark::State& state, int32_t algorithm) {
    Setup& s = Once();
    if (!s.photo) {
        state.SkipWithError("the photograph could not be made (convert)");
        return;
    }
    const int32_t saved = ie::IEQuantizerAlgorithm;
    ie::IEQuantizerAlgorithm = algorithm;
    ie::TIEBitmap work;
    work.MinFileSize = int64_t{1} << 40;
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(s.photo.get());
        state.ResumeTiming();
        ie::TRGB palette[256];
        ie::IEQuantize24(&work, 256, palette);
        benchmark::DoNotOptimize(palette);
    }
    ie::IEQuantizerAlgorithm = saved;
}

void BM_NeuralNet256(benchmark::State& state) { Quantize(state, 0); }
void BM_BoxSplit256(benchmark::State& state) { Quantize(state, 1); }

void BM_ImageMagickColors256(benchmark::State& state) {
    Setup& s = Once();
    if (!s.photo) {
        state.SkipWithError("the photograph could not be made (convert)");
        return;
    }
    const std::string cmd = "convert '" + s.ppm + "' +dither -colors 256 'ppm:" + s.folder + "/out.ppm'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("convert failed");
}

void BM_MemoryCopy(benchmark::State& state) {
    std::vector<uint8_t> src(static_cast<size_t>(kWidth) * kHeight * 3, 7), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
    }
}

BENCHMARK(BM_NeuralNet256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BoxSplit256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImageMagickColors256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MemoryCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
