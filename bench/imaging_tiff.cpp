// Reading a 4000 x 3000 RGB TIFF compressed with LZW and with Deflate plus the horizontal
// predictor (both made by tiffcp), and writing the picture with LZW and with Deflate, with
// the imaging library's codec against libtiff's tiffcp doing the same work on the same file
// in the same run (a separate process: for reading, tiffcp decoding into an uncompressed
// copy; for writing, tiffcp compressing the uncompressed file). The counter vs_tiffcp is our
// best real time divided by tiffcp's; cpu_vs_tiffcp divides the processor times (user and
// system, tiffcp's taken from its process).
// Run: bench_imaging_tiff.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_timing.h"
#include "classlib/Classes.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiflzw.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::unique_ptr<ie::TIEBitmap> NewPicture() {
    auto b = std::make_unique<ie::TIEBitmap>();
    b->MinFileSize = int64_t{1} << 40;
    b->SetLocation(ie::ieMemory);
    return b;
}

// The files of the run live in a folder of its own, removed at the end.
struct Setup {
    std::string folder;
    std::unique_ptr<ie::TIEBitmap> picture = NewPicture();
    bool ok = false;
    Setup() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-tiffbench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        folder = pattern;
        // A photograph-like picture: smooth gradients with a little noise.
        picture->Allocate(kWidth, kHeight, ie::ie24RGB);
        uint32_t noise = 1;
        for (int y = 0; y < kHeight; ++y) {
            auto* p = static_cast<uint8_t*>(picture->GetScanline(y));
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                p[3 * x] = static_cast<uint8_t>(x / 16 + ((noise >> 16) & 7));
                p[3 * x + 1] = static_cast<uint8_t>(y / 12 + ((noise >> 20) & 3));
                p[3 * x + 2] = static_cast<uint8_t>((x + y) / 28);
            }
        }
        {
            ie::TIOParamsVals params(nullptr);
            params.TIFFCompression = 0;
            cl::TFileStream raw(Path("raw.tif"), cl::fmCreate);
            std::atomic<bool> abort{false};
            ie::TProgressRec progress;
            progress.Aborting = &abort;
            ie::IEWriteTIFFStream(&raw, false, picture.get(), progress, params);
            if (abort) return;
        }
        const std::string raw = "'" + Path("raw.tif") + "'";
        ok = std::system(("tiffcp -c lzw " + raw + " '" + Path("lzw.tif") + "'").c_str()) == 0 &&
             std::system(("tiffcp -c zip:2 " + raw + " '" + Path("zip.tif") + "'").c_str()) == 0;
    }
    ~Setup() {
        std::error_code ec;
        if (!folder.empty()) std::filesystem::remove_all(folder, ec);
    }
    std::string Path(const char* Name) const { return folder + "/" + Name; }
};

Setup& Once() {
    static Setup s;
    return s;
}

void Report(benchmark::State& State, double Ours, double Peer, double OursCPU, double PeerCPU) {
    State.counters["tiffcp_ms"] = Peer * 1000;
    State.counters["vs_tiffcp"] = Ours / Peer;
    State.counters["cpu_vs_tiffcp"] = OursCPU / PeerCPU;
}

// arg: 0 LZW, 1 Deflate with the predictor.
void BM_TIFFRead(benchmark::State& state) {
    Setup& s = Once();
    if (!s.ok) {
        state.SkipWithError("the files could not be made");
        return;
    }
    const std::string file = s.Path(state.range(0) ? "zip.tif" : "lzw.tif");
    const std::string peer = "tiffcp -c none '" + file + "' '" + s.Path("peer_out.tif") + "'";
    double ours = 1e30, tiffcp = 1e30, oursCPU = 1e30, tiffcpCPU = 1e30;
    std::unique_ptr<ie::TIEBitmap> bitmap = NewPicture();
    for (auto _ : state) {
        bench::RunPeer(state, peer, tiffcp, tiffcpCPU);
        bool aborted = false;
        const double c0 = bench::ProcessCPU();
        const double t = bench::BestSeconds(1, [&] {
            cl::TFileStream in(file, cl::fmOpenRead);
            ie::TIOParamsVals params(nullptr);
            params.TIFFLZWDecompress = &ie::IETIFFLZWDecompress;
            std::atomic<bool> abort{false};
            ie::TProgressRec progress;
            progress.Aborting = &abort;
            std::unique_ptr<ie::TIEMask> mask;
            int32_t count = 0;
            ie::IEReadTIFFStream(bitmap.get(), &in, count, params, progress, false, mask, false, false, false);
            benchmark::DoNotOptimize(bitmap->GetScanline(bitmap->GetHeight() - 1));
            aborted = abort;
        });
        oursCPU = std::min(oursCPU, bench::ProcessCPU() - c0);
        if (aborted || bitmap->GetHeight() != kHeight) state.SkipWithError("reading failed");
        state.SetIterationTime(t);
        ours = std::min(ours, t);
    }
    Report(state, ours, tiffcp, oursCPU, tiffcpCPU);
}

// arg: 0 LZW, 1 Deflate.
void BM_TIFFWrite(benchmark::State& state) {
    Setup& s = Once();
    if (!s.ok) {
        state.SkipWithError("the files could not be made");
        return;
    }
    const bool zip = state.range(0) != 0;
    const std::string peer = std::string("tiffcp -c ") + (zip ? "zip" : "lzw") + " '" + s.Path("raw.tif") + "' '" +
                             s.Path("peer_out.tif") + "'";
    double ours = 1e30, tiffcp = 1e30, oursCPU = 1e30, tiffcpCPU = 1e30;
    for (auto _ : state) {
        bench::RunPeer(state, peer, tiffcp, tiffcpCPU);
        bool aborted = false;
        const double c0 = bench::ProcessCPU();
        const double t = bench::BestSeconds(1, [&] {
            cl::TFileStream out(s.Path("ours_out.tif"), cl::fmCreate);
            ie::TIOParamsVals params(nullptr);
            params.TIFFCompression = zip ? 9 : 5;
            params.TIFFLZWCompress = &ie::IETIFFLZWCompress;
            std::atomic<bool> abort{false};
            ie::TProgressRec progress;
            progress.Aborting = &abort;
            ie::IEWriteTIFFStream(&out, false, s.picture.get(), progress, params);
            aborted = abort;
        });
        oursCPU = std::min(oursCPU, bench::ProcessCPU() - c0);
        if (aborted) state.SkipWithError("writing failed");
        state.SetIterationTime(t);
        ours = std::min(ours, t);
    }
    Report(state, ours, tiffcp, oursCPU, tiffcpCPU);
}

BENCHMARK(BM_TIFFRead)
    ->ArgNames({"deflate"})
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_TIFFWrite)
    ->ArgNames({"deflate"})
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace
