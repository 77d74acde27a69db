// The slide change of the show: a 4000 x 3000 JPEG decoded with the class library's JPEG
// picture, assigned to the picture control's TBitmap32 and shown fitted (1440 x 1080,
// TLinearResampler, centred) on a 1920 x 1080 TImgView32 on the headless screen, exactly as
// the show window does it.
//
// Like is compared with like. BM_SlideChangeProcess runs this program as a whole process
// that does the show's change on one file (start the libraries, read the JPEG file, decode,
// assign, paint) and writes the fitted picture as a PPM file, in turns with the peers that do
// the same job as whole processes: vipsthumbnail (libvips-tools) and ImageMagick's convert
// -resize, each reading the JPEG file and writing the fitted picture. Counters x_vips and
// x_convert are the medians of our process's time over the peer's, measured in turns so that
// the load of a shared machine falls on all alike. In the same process, BM_SlideDecode sets
// the class library's decoding against libjpeg decoding the same bytes into a buffer of its
// own (x_libjpeg). Parts of the change are shown on their own (the change, assign, fit) to
// see where time goes. LUMETRA_THREADS=1 shows the single-core figures.
// Run: bench_slide_change --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "bench_photo.h"
#include "bench_show.h"
#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "pix32/Pix32.h"
#include "platform/gdi.h"
#include "platform/user.h"
// libjpeg last: its TRUE and FALSE are macros.
#include <jpeglib.h>

namespace {

constexpr int kSrcW = 4000, kSrcH = 3000;
using bench::kScreenH;
using bench::kScreenW;

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
    // This program as a whole process doing the show's change on the file.
    bool Ours() const { return bench::RunQuiet("'" + self_ + "' --fit " + file_ + " " + dir_ + "/ours.ppm"); }

    // libjpeg alone, in this process: the same bytes into a buffer of its own, BGR as ours.
    // The buffer is kept from one decoding to the next, as our picture memory is.
    void LibJpegDecode(std::vector<uint8_t>& out) const {
        jpeg_decompress_struct d{};
        jpeg_error_mgr e{};
        d.err = jpeg_std_error(&e);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, jpegBytes_.data(), static_cast<unsigned long>(jpegBytes_.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&d);
        const size_t stride = static_cast<size_t>(d.output_width) * 3;
        out.resize(stride * d.output_height);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = out.data() + stride * d.output_scanline;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
    }

    bool haveVips_ = false, haveConvert_ = false, haveOurs_ = false;

private:
    Show() : dir_(bench::PrivateFolder::Path()), file_(dir_ + "/slide.jpg") {
        char self[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) self_.assign(self, static_cast<size_t>(n));
        bench::StartPlayerLibraries("bench_slide_change");
        target_ = std::make_unique<pix32::TBitmap32>();

        jpegBytes_ = bench::PhotographJpeg(kSrcW, kSrcH);
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
        haveOurs_ = !self_.empty() && Ours();
    }

    std::string dir_, file_, self_;
    std::vector<uint8_t> jpegBytes_;
    pix32::TImgView32* view_ = nullptr;
    std::unique_ptr<pix32::TBitmap32> target_;
};

// The show's change in this process, with the picture control already on the screen.
void BM_SlideChange(benchmark::State& state) {
    Show& s = Show::Get();
    for (auto _ : state) s.Change();
}
BENCHMARK(BM_SlideChange)->Unit(benchmark::kMillisecond)->UseRealTime();

// Whole processes against whole processes, in turns; medians of each.
void BM_SlideChangeProcess(benchmark::State& state) {
    Show& s = Show::Get();
    if (!s.haveOurs_) {
        state.SkipWithError("this program cannot run itself with --fit");
        return;
    }
    std::vector<double> ours, vips, convert;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        if (!s.Ours()) state.SkipWithError("--fit failed");
        ours.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (s.Vips()) vips.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (s.Convert()) convert.push_back(Seconds(t0));
    }
    const double m = Median(ours);
    state.counters["ms"] = m * 1000;
    state.counters["vips_ms"] = vips.empty() ? 0.0 : Median(vips) * 1000;
    state.counters["convert_ms"] = convert.empty() ? 0.0 : Median(convert) * 1000;
    state.counters["x_vips"] = vips.empty() ? 0.0 : m / Median(vips);
    state.counters["x_convert"] = convert.empty() ? 0.0 : m / Median(convert);
}
BENCHMARK(BM_SlideChangeProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The decoding alone in this process, in turns with libjpeg's.
void BM_SlideDecode(benchmark::State& state) {
    Show& s = Show::Get();
    std::vector<double> ours, libjpeg;
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        {
            cl::TJPEGImage jpeg;
            s.Decode(jpeg);
        }
        ours.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        s.LibJpegDecode(pixels);
        benchmark::DoNotOptimize(pixels.data());
        libjpeg.push_back(Seconds(t0));
    }
    state.counters["libjpeg_ms"] = Median(libjpeg) * 1000;
    state.counters["x_libjpeg"] = Median(ours) / Median(libjpeg);
}
BENCHMARK(BM_SlideDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(7);

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

// The show's change on one file as a whole process: start the libraries as the player does,
// read the JPEG file, decode, assign and paint it fitted on the 1920 x 1080 headless screen,
// and write the fitted picture (the control's painted bitmap rectangle) as a binary PPM.
int FitFile(const char* In, const char* Out) {
    std::ifstream in(In, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return 1;
    bench::StartPlayerLibraries("bench_slide_change");
    pix32::TImgView32* view = bench::NewSlideScreen();
    {
        cl::TJPEGImage jpeg;
        cl::TMemoryStream stream;
        stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        stream.SetPosition(0);
        jpeg.LoadFromStream(&stream);
        jpeg.GetBitmap();
        view->Bitmap()->Assign(&jpeg);
        view->Update();
    }
    const win::RECT r = view->GetBitmapRect();
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return 1;
    cl::TBitmap shot;
    shot.SetPixelFormat(cl::pf24bit);
    shot.SetSize(w, h);
    win::HDC dc = win::GetDC(view->GetHandle());
    win::BitBlt(shot.GetCanvas()->GetHandle(), 0, 0, w, h, dc, r.left, r.top, win::SRCCOPY);
    win::ReleaseDC(view->GetHandle(), dc);
    std::ofstream out(Out, std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    std::vector<char> row(static_cast<size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        const auto* p = static_cast<const uint8_t*>(shot.ScanLine(y));
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<char>(p[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(p[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(p[3 * x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return out.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--fit") == 0) return FitFile(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
