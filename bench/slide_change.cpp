// The slide change of the show: a 4000 x 3000 JPEG decoded with the class library's JPEG
// picture, assigned to the picture control's TBitmap32 and shown fitted (1440 x 1080,
// TLinearResampler, centred) on a 1920 x 1080 TImgView32 on the headless screen, exactly as
// the show window does it. In the same run the peers do the same decode and fit:
// vipsthumbnail (libvips-tools) and ImageMagick's convert -resize, each as a whole program
// that reads the JPEG file and writes the fitted picture; djpeg decodes the file alone.
//
// BM_SlideChange reports counters x_vips, x_convert and x_djpeg_decode: medians of its own
// time over the peer's, measured in turns (ours, vips, convert, ...) so that the load of a
// shared machine falls on both alike; BM_SlideDecode is the decode alone against djpeg.
// Parts of the change are shown on their own (decode, assign, fit) to see where time goes.
// LUMETRA_THREADS=1 shows the single-core figures.
// Run: bench_slide_change --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "bench_show.h"
#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "pix32/Pix32.h"
#include "platform/user.h"

namespace {

constexpr int kSrcW = 4000, kSrcH = 3000;
using bench::kScreenH;
using bench::kScreenW;

// A photograph-like picture: smooth light, textured areas, sharp edges and sensor noise, so
// that the JPEG has the size and entropy of a camera picture (about 3 MB at quality 90).
std::unique_ptr<cl::TBitmap> Photograph() {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(kSrcW, kSrcH);
    std::mt19937 rng(7);
    for (int y = 0; y < kSrcH; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int x = 0; x < kSrcW; ++x) {
            const int sky = y < kSrcH / 3;
            const int stripes = ((x / 37 + y / 53) & 1) * 40;
            const int noise = static_cast<int>(rng() % 24);
            const int r = sky ? 90 + y * 100 / kSrcH : 60 + stripes + (x * 120 / kSrcW);
            const int g = sky ? 140 + x * 60 / kSrcW : 90 + (stripes >> 1) + ((x ^ y) & 31);
            const int bl = sky ? 200 : 40 + ((x * y) >> 14 & 63);
            row[3 * x] = static_cast<uint8_t>(std::min(255, bl + noise));
            row[3 * x + 1] = static_cast<uint8_t>(std::min(255, g + noise));
            row[3 * x + 2] = static_cast<uint8_t>(std::min(255, r + noise));
        }
    }
    return b;
}

double Seconds(const std::chrono::steady_clock::time_point& t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class Show {
public:
    static Show& Get() {
        static Show s;
        return s;
    }

    // The show window's slide change: decode, assign, paint.
    void Change() {
        cl::TJPEGImage jpeg;
        Decode(jpeg);
        view_->Bitmap()->Assign(&jpeg);
        view_->Update();
    }
    void Decode(cl::TJPEGImage& jpeg) {
        cl::TMemoryStream bytes;
        bytes.WriteBuffer(jpegBytes_.data(), static_cast<int64_t>(jpegBytes_.size()));
        bytes.SetPosition(0);
        jpeg.LoadFromStream(&bytes);
        jpeg.GetBitmap();
    }
    void Assign(cl::TJPEGImage& jpeg) { target_->Assign(&jpeg); }
    void Fit() {
        // The picture stays; the control paints it again.
        view_->Invalidate();
        view_->Update();
    }

    bool Vips() const {
        return haveVips_ && bench::RunQuiet("vipsthumbnail " + file_ + " -s " + std::to_string(kScreenW) + "x" +
                                            std::to_string(kScreenH) + " -o " + dir_ + "/vips.ppm");
    }
    bool Convert() const {
        return haveConvert_ && bench::RunQuiet("/usr/bin/convert " + file_ + " -resize " + std::to_string(kScreenW) +
                                               "x" + std::to_string(kScreenH) + " " + dir_ + "/convert.ppm");
    }
    bool Djpeg() const { return haveDjpeg_ && bench::RunQuiet("djpeg -outfile " + dir_ + "/djpeg.ppm " + file_); }

    bool haveVips_ = false, haveConvert_ = false, haveDjpeg_ = false;

private:
    Show() : dir_(bench::PrivateFolder::Path()), file_(dir_ + "/slide.jpg") {
        bench::StartPlayerLibraries("bench_slide_change");
        target_ = std::make_unique<pix32::TBitmap32>();

        {
            auto photo = Photograph();
            cl::TJPEGImage jpeg;
            jpeg.Assign(photo.get());
            cl::TMemoryStream out;
            jpeg.SaveToStream(&out);
            const auto* p = static_cast<const uint8_t*>(out.GetMemory());
            jpegBytes_.assign(p, p + out.GetSize());
        }
        std::ofstream(file_, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpegBytes_.data()), static_cast<std::streamsize>(jpegBytes_.size()));

        view_ = bench::NewSlideScreen();
        Change();
        const win::RECT r = view_->GetBitmapRect();
        if (r.left != 240 || r.right != 1680 || r.top != 0 || r.bottom != 1080) {
            std::fprintf(stderr, "the slide is not fitted to 1440 x 1080\n");
            std::exit(1);
        }

        haveVips_ = bench::RunQuiet("command -v vipsthumbnail");
        haveConvert_ = bench::RunQuiet("test -x /usr/bin/convert");
        haveDjpeg_ = bench::RunQuiet("command -v djpeg");
    }

    std::string dir_, file_;
    std::vector<uint8_t> jpegBytes_;
    pix32::TImgView32* view_ = nullptr;
    std::unique_ptr<pix32::TBitmap32> target_;
};

void BM_SlideChange(benchmark::State& state) {
    Show& s = Show::Get();
    for (auto _ : state) s.Change();
    // Ours and the peers in turns, medians of each.
    std::vector<double> ours, vips, convert, djpeg;
    for (int turn = 0; turn < 5; ++turn) {
        auto t0 = std::chrono::steady_clock::now();
        s.Change();
        ours.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (s.Vips()) vips.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (s.Convert()) convert.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (s.Djpeg()) djpeg.push_back(Seconds(t0));
    }
    const double m = Median(ours);
    state.counters["ms"] = m * 1000;
    state.counters["x_vips"] = vips.empty() ? 0.0 : m / Median(vips);
    state.counters["x_convert"] = convert.empty() ? 0.0 : m / Median(convert);
    state.counters["x_djpeg_decode"] = djpeg.empty() ? 0.0 : m / Median(djpeg);
}
BENCHMARK(BM_SlideChange)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SlideDecode(benchmark::State& state) {
    Show& s = Show::Get();
    for (auto _ : state) {
        cl::TJPEGImage jpeg;
        s.Decode(jpeg);
    }
    std::vector<double> ours, djpeg;
    for (int turn = 0; turn < 5; ++turn) {
        auto t0 = std::chrono::steady_clock::now();
        {
            cl::TJPEGImage jpeg;
            s.Decode(jpeg);
        }
        ours.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (s.Djpeg()) djpeg.push_back(Seconds(t0));
    }
    state.counters["x_djpeg"] = djpeg.empty() ? 0.0 : Median(ours) / Median(djpeg);
}
BENCHMARK(BM_SlideDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SlideAssign(benchmark::State& state) {
    Show& s = Show::Get();
    cl::TJPEGImage jpeg;
    s.Decode(jpeg);
    for (auto _ : state) s.Assign(jpeg);
}
BENCHMARK(BM_SlideAssign)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SlideFit(benchmark::State& state) {
    Show& s = Show::Get();
    for (auto _ : state) s.Fit();
}
BENCHMARK(BM_SlideFit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Vipsthumbnail(benchmark::State& state) {
    Show& s = Show::Get();
    if (!s.haveVips_) {
        state.SkipWithError("vipsthumbnail is not installed");
        return;
    }
    for (auto _ : state)
        if (!s.Vips()) state.SkipWithError("vipsthumbnail failed");
}
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_ImageMagickConvert(benchmark::State& state) {
    Show& s = Show::Get();
    if (!s.haveConvert_) {
        state.SkipWithError("/usr/bin/convert is not installed");
        return;
    }
    for (auto _ : state)
        if (!s.Convert()) state.SkipWithError("convert failed");
}
BENCHMARK(BM_ImageMagickConvert)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
