// Full-frame pixel blending against the physical floor: a plain copy of the same bytes.
// Run: bench_pix32_blend. Compare the bytes per second of each blend with BM_Memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_Startup.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kPixels = size_t{kWidth} * kHeight;

struct Frames {
    std::vector<pix32::TColor32> src, dst;
    Frames() : src(kPixels), dst(kPixels) {
        pix32::StartupPix32();
        std::mt19937 rng(1);
        // Mostly partly transparent pixels, with some fully transparent and opaque ones, so
        // that the shortcuts are taken as often as in a typical layer.
        for (auto& p : src) {
            p = rng();
            const uint32_t r = rng() % 8;
            if (r == 0) p &= 0x00FFFFFF;
            if (r == 1) p |= 0xFF000000;
        }
        for (auto& p : dst) p = rng() | 0xFF000000;
    }
};

Frames& Data() {
    static Frames f;
    return f;
}

void SetFrameBytes(benchmark::State& state) {
    // Read source and destination, write destination.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels) * 4);
}

void BM_Memcpy(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        std::memcpy(d.dst.data(), d.src.data(), kPixels * 4);
        benchmark::ClobberMemory();
    }
    SetFrameBytes(state);
}
BENCHMARK(BM_Memcpy);

template <class Row>
void BlendFrame(benchmark::State& state, Row row) {
    auto& d = Data();
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            row(d.src.data() + size_t{kWidth} * y, d.dst.data() + size_t{kWidth} * y, kWidth);
        benchmark::ClobberMemory();
    }
    SetFrameBytes(state);
}

void BM_AlphaBlendRow_Bound(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) { pix32::AlphaBlendRow(s, d, n); });
}
BENCHMARK(BM_AlphaBlendRow_Bound);

void BM_AlphaBlendRow_Portable(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) { pix32::AlphaBlendRow_Pas(s, d, n); });
}
BENCHMARK(BM_AlphaBlendRow_Portable);

void BM_AlphaBlendMasterRow_Bound(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) { pix32::AlphaBlendMasterRow(s, d, n, 200); });
}
BENCHMARK(BM_AlphaBlendMasterRow_Bound);

void BM_WeightedMixRow_Bound(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) { pix32::WeightedMixRow(s, d, n, 100); });
}
BENCHMARK(BM_WeightedMixRow_Bound);

void BM_WeightedMixRow_Portable(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) { pix32::WeightedMixRow_Pas(s, d, n, 100); });
}
BENCHMARK(BM_WeightedMixRow_Portable);

void BM_WeightedMixTo_PerPixel(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) {
        for (int i = 0; i < n; ++i) pix32::WeightedMixTo(s[i], d[i], 100);
    });
}
BENCHMARK(BM_WeightedMixTo_PerPixel);

void BM_AlphaMergeRow(benchmark::State& state) {
    BlendFrame(state, [](auto* s, auto* d, int n) { pix32::AlphaMergeRow(s, d, n); });
}
BENCHMARK(BM_AlphaMergeRow);

}  // namespace
