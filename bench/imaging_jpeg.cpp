// Decoding a 4000 x 3000 baseline and a progressive JPEG (made by cjpeg) with the imaging
// library's codec, at full size and at 1/2 and 1/4, against djpeg and ImageMagick's convert
// decoding the same file at the same scale in the same run (separate processes writing to
// /dev/null). The counters vs_djpeg and vs_convert are our best real time divided by the
// peer's; cpu_vs_djpeg and cpu_vs_convert divide the processor times (user and system of
// every thread of each process: ours of this process during the decoding, the peer's of its
// whole run), which a busy machine disturbs less. The goal is our
// decoding within 1.2 of djpeg.
// Run: bench_imaging_jpeg.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_timing.h"
#include "classlib/Classes.h"
#include "imaging/formats/jpegfilt.h"
#include "imaging/formats/pxmfilt.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The files of the run live in a folder of its own, removed at the end.
struct Setup {
    std::string folder;
    bool ok = false;
    Setup() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-jpegbench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        folder = pattern;
        // A photograph-like picture: smooth gradients with a little noise.
        ie::TIEBitmap picture;
        picture.MinFileSize = int64_t{1} << 40;
        picture.SetLocation(ie::ieMemory);
        picture.Allocate(kWidth, kHeight, ie::ie24RGB);
        uint32_t noise = 1;
        for (int y = 0; y < kHeight; ++y) {
            auto* p = static_cast<uint8_t*>(picture.GetScanline(y));
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                p[3 * x] = static_cast<uint8_t>(x / 16 + ((noise >> 16) & 7));
                p[3 * x + 1] = static_cast<uint8_t>(y / 12 + ((noise >> 20) & 3));
                p[3 * x + 2] = static_cast<uint8_t>((x + y) / 28);
            }
        }
        {
            ie::TIOParamsVals params(nullptr);
            cl::TFileStream ppm(Path("pic.ppm"), cl::fmCreate);
            std::atomic<bool> abort{false};
            ie::TProgressRec progress;
            progress.Aborting = &abort;
            ie::IEWritePXMStream(&ppm, &picture, params, progress);
        }
        const std::string ppm = Path("pic.ppm");
        ok = std::system(("cjpeg -quality 85 '" + ppm + "' > '" + Path("base.jpg") + "'").c_str()) == 0 &&
             std::system(("cjpeg -quality 85 -progressive '" + ppm + "' > '" + Path("prog.jpg") + "'").c_str()) == 0;
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

// One decoding with our codec at scale 1 / Denom into B; the number of rows stored.
int32_t DecodeOnce(const std::string& File, int Denom, ie::TIEBitmap& B) {
    cl::TFileStream in(File, cl::fmOpenRead);
    ie::TIOParamsVals params(nullptr);
    params.JPEGScale = static_cast<uint8_t>(Denom == 1 ? 1 : Denom == 2 ? 2 : 3);
    std::atomic<bool> abort{false};
    ie::TProgressRec progress;
    progress.Aborting = &abort;
    const int32_t rows =
        ie::IEReadJPEGStream(&in, nullptr, &B, false, -1, true, true, false, true, false, false, progress, params);
    benchmark::DoNotOptimize(B.GetScanline(B.GetHeight() - 1));
    return abort ? -1 : rows;
}

// args: 0 baseline / 1 progressive, the scale denominator, 0 a new bitmap for every
// decoding / 1 one bitmap that keeps its storage from one decoding to the next (as a
// view's bitmap does). The first touch of the pages of a new 36 MB picture can cost more
// than the decoding itself (notably in virtual machines); djpeg writes rows to a small
// buffer and touches no such memory.
void BM_JPEGDecode(benchmark::State& state) {
    Setup& s = Once();
    if (!s.ok) {
        state.SkipWithError("cjpeg could not make the files");
        return;
    }
    const std::string file = s.Path(state.range(0) ? "prog.jpg" : "base.jpg");
    const int denom = static_cast<int>(state.range(1));
    const std::string scale = "1/" + std::to_string(denom);
    const std::string size = std::to_string(kWidth / denom) + "x" + std::to_string(kHeight / denom);
    // The three decoders take turns, so that a change in the machine's load reaches all
    // of them alike; each keeps its best time.
    const std::string djpegCommand = "djpeg -scale " + scale + " -ppm -outfile /dev/null '" + file + "'";
    const std::string convertCommand =
        "/usr/bin/convert -define jpeg:size=" + size + " '" + file + "' rgb:/dev/null 2>/dev/null";
    double ours = 1e30, djpeg = 1e30, convert = 1e30;
    double oursCPU = 1e30, djpegCPU = 1e30, convertCPU = 1e30;
    const bool reuse = state.range(2) != 0;
    auto fresh = [] {
        auto b = std::make_unique<ie::TIEBitmap>();
        b->MinFileSize = int64_t{1} << 40;
        b->SetLocation(ie::ieMemory);
        return b;
    };
    std::unique_ptr<ie::TIEBitmap> bitmap = fresh();
    for (auto _ : state) {
        bench::RunPeer(state, djpegCommand, djpeg, djpegCPU);
        bench::RunPeer(state, convertCommand, convert, convertCPU);
        int32_t rows = 0;
        if (!reuse) bitmap = fresh();
        const double c0 = bench::ProcessCPU();
        const double t = bench::BestSeconds(1, [&] { rows = DecodeOnce(file, denom, *bitmap); });
        oursCPU = std::min(oursCPU, bench::ProcessCPU() - c0);
        if (rows != (kHeight + denom - 1) / denom) state.SkipWithError("decoding failed");
        state.SetIterationTime(t);
        ours = std::min(ours, t);
    }
    state.counters["djpeg_ms"] = djpeg * 1000;
    state.counters["convert_ms"] = convert * 1000;
    state.counters["vs_djpeg"] = ours / djpeg;
    state.counters["vs_convert"] = ours / convert;
    state.counters["cpu_vs_djpeg"] = oursCPU / djpegCPU;
    state.counters["cpu_vs_convert"] = oursCPU / convertCPU;
}

BENCHMARK(BM_JPEGDecode)
    ->ArgNames({"progressive", "scale", "reuse"})
    ->ArgsProduct({{0, 1}, {1, 2, 4}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

}  // namespace
