// Scanline colour conversion of a camera-size row block (4000 pixels x 64 rows of CMYK,
// stored inverted) to 24-bit colour, against a plain copy of the same bytes in the same
// run: by formula, through the built-in CMYK profile, and the colour engine called
// directly on the same profiles as the peer.
// Run: bench_imaging_colors. Compare the bytes per second of each with BM_Memcpy.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <cstring>
#include <vector>

#include "imaging/core/ieicc.h"
#include "imaging/core/vovozidio_colors.h"

namespace {

constexpr int kPixels = 4000 * 64;

std::vector<uint8_t> Source() {
    std::vector<uint8_t> s(static_cast<size_t>(kPixels) * 4);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(i * 37 + (i >> 9));
    return s;
}

void BM_Memcpy(benchmark::State& state) {
    const auto src = Source();
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_Memcpy);

void BM_CMYKFormula(benchmark::State& state) {
    auto src = Source();
    std::vector<uint8_t> dst(static_cast<size_t>(kPixels) * 3);
    for (auto _ : state) {
        ie::IEConvertColorScanlineWith(src.data(), ie::iecsCMYKInv, dst.data(), nullptr, nullptr, kPixels, ie::iecdBGR);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_CMYKFormula);

void BM_CMYKBuiltInProfile(benchmark::State& state) {
    auto src = Source();
    std::vector<uint8_t> dst(static_cast<size_t>(kPixels) * 3);
    ie::TIEICC cmyk, srgb;
    cmyk.Assign(ie::IEGetCMYKProfile());
    srgb.LoadSRGBProfile();
    // The transform is made once, by the first row, as the engine's is made before its loop.
    ie::IEConvertColorScanlineWith(src.data(), ie::iecsCMYKInv, dst.data(), &cmyk, &srgb, 1, ie::iecdBGR);
    for (auto _ : state) {
        ie::IEConvertColorScanlineWith(src.data(), ie::iecsCMYKInv, dst.data(), &cmyk, &srgb, kPixels, ie::iecdBGR);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_CMYKBuiltInProfile);

// The peer: the colour engine's own transform over the same profiles and layouts.
void BM_CMYKEngineDirect(benchmark::State& state) {
    auto src = Source();
    std::vector<uint8_t> dst(static_cast<size_t>(kPixels) * 3);
    ie::TIEICC* builtIn = ie::IEGetCMYKProfile();
    cmsHPROFILE in = cmsOpenProfileFromMem(builtIn->GetRaw(), static_cast<cmsUInt32Number>(builtIn->GetRawLength()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t =
        cmsCreateTransform(in, TYPE_CMYK_8_REV, out, TYPE_BGR_8, INTENT_PERCEPTUAL, cmsFLAGS_HIGHRESPRECALC);
    for (auto _ : state) {
        cmsDoTransform(t, src.data(), dst.data(), kPixels);
        benchmark::ClobberMemory();
    }
    cmsDeleteTransform(t);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_CMYKEngineDirect);

}  // namespace
