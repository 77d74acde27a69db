// Decoding and encoding a 4000 x 3000 colour picture as PNG and as BMP with the imaging
// library's codecs, each against the same job done in the same run by ImageMagick's
// convert (a separate process, so real time is measured) and, for PNG, by a direct libpng
// read through its simplified API; and encoding a 1920 x 1080 photograph as a 256-colour
// GIF (palette, mapping and LZW) against convert. Divide the times to get the ratios.
// Run: bench_imaging_codecs.
#include <benchmark/benchmark.h>
#include <png.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/formats/bmpfilt.h"
#include "imaging/formats/giffilter.h"
#include "imaging/formats/giflzw.h"
#include "imaging/formats/pngfilt.h"
#include "imaging/formats/pxmfilt.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The files of the run live in a folder of its own, removed at the end.
struct Setup {
    std::string folder;
    std::unique_ptr<ie::TIEBitmap> picture;
    Setup() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-codecbench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) folder = pattern;
        picture = std::make_unique<ie::TIEBitmap>();
        picture->MinFileSize = int64_t{1} << 40;
        picture->SetLocation(ie::ieMemory);
        picture->Allocate(kWidth, kHeight, ie::ie24RGB);
        uint32_t noise = 1;
        for (int y = 0; y < kHeight; ++y) {
            auto* p = static_cast<uint8_t*>(picture->GetScanline(y));
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                p[3 * x] = static_cast<uint8_t>(x / 16 + ((noise >> 16) & 7));
                p[3 * x + 1] = static_cast<uint8_t>(y / 12);
                p[3 * x + 2] = static_cast<uint8_t>((x + y) / 28);
            }
        }
        Save(Path("pic.png"), &ie::IEWritePNGStream);
        Save(Path("pic.bmp"), nullptr);
        ie::TIOParamsVals params(nullptr);
        cl::TFileStream ppm(Path("pic.ppm"), cl::fmCreate);
        std::atomic<bool> abort{false};
        ie::TProgressRec progress;
        progress.Aborting = &abort;
        ie::IEWritePXMStream(&ppm, picture.get(), params, progress);
    }
    ~Setup() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string Path(const char* Name) const { return folder + "/" + Name; }
    void Save(const std::string& File,
              void (*Png)(cl::TStream*, ie::TIEBitmap*, ie::TIOParamsVals&, ie::TProgressRec&, ie::TIEMask*)) {
        cl::TFileStream out(File, cl::fmCreate);
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> abort{false};
        ie::TProgressRec progress;
        progress.Aborting = &abort;
        if (Png)
            Png(&out, picture.get(), params, progress, nullptr);
        else
            ie::IEWriteBMPStream(&out, picture.get(), params, progress, false);
    }
};

Setup& Once() {
    static Setup s;
    return s;
}

// The photograph of the imaging tests enlarged to 1920 x 1080 by ImageMagick.
struct PhotoSetup {
    std::unique_ptr<ie::TIEBitmap> photo;
    std::string ppm;
    PhotoSetup() {
        ppm = Once().Path("photo.ppm");
        const std::string cmd = std::string("/usr/bin/convert '") + LUMETRA_TEST_DATA +
                                "/processing/chelsea.jpg' -resize 1920x1080! -depth 8 'ppm:" + ppm + "'";
        if (std::system(cmd.c_str()) != 0) return;
        photo = std::make_unique<ie::TIEBitmap>();
        photo->MinFileSize = int64_t{1} << 40;
        photo->SetLocation(ie::ieMemory);
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> abort{false};
        ie::TProgressRec progress;
        progress.Aborting = &abort;
        cl::TFileStream in(ppm, cl::fmOpenRead);
        ie::IEReadPXMStream(&in, photo.get(), params, false, progress);
        if (abort || photo->GetWidth() != 1920 || photo->GetHeight() != 1080) photo.reset();
    }
};

PhotoSetup& Photo() {
    static PhotoSetup s;
    return s;
}

cl::TMemoryStream* Loaded(const std::string& File) {
    auto* m = new cl::TMemoryStream();
    m->LoadFromFile(File);
    return m;
}

void Decode(benchmark::State& state, bool Png) {
    Setup& s = Once();
    std::unique_ptr<cl::TMemoryStream> file(Loaded(s.Path(Png ? "pic.png" : "pic.bmp")));
    for (auto _ : state) {
        file->Seek(0, cl::soBeginning);
        ie::TIEBitmap b;
        b.MinFileSize = int64_t{1} << 40;
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> abort{false};
        ie::TProgressRec progress;
        progress.Aborting = &abort;
        std::unique_ptr<ie::TIEMask> mask;
        if (Png)
            ie::IEReadPNGStream(file.get(), &b, params, progress, false);
        else
            ie::IEReadBMPStream(file.get(), &b, 0, params, progress, false, false, mask, true);
        if (abort) state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(b.GetScanline(kHeight - 1));
    }
}

void Encode(benchmark::State& state, bool Png) {
    Setup& s = Once();
    for (auto _ : state) {
        cl::TMemoryStream out;
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> abort{false};
        ie::TProgressRec progress;
        progress.Aborting = &abort;
        if (Png)
            ie::IEWritePNGStream(&out, s.picture.get(), params, progress, nullptr);
        else
            ie::IEWriteBMPStream(&out, s.picture.get(), params, progress, false);
        benchmark::DoNotOptimize(out.GetMemory());
    }
}

void Convert(benchmark::State& state, const std::string& Args) {
    Once();
    for (auto _ : state)
        if (std::system(("/usr/bin/convert " + Args + " 2>/dev/null").c_str()) != 0)
            state.SkipWithError("convert failed");
}

void BM_OurPNGDecode(benchmark::State& state) { Decode(state, true); }
void BM_OurBMPDecode(benchmark::State& state) { Decode(state, false); }
void BM_OurPNGEncode(benchmark::State& state) { Encode(state, true); }
void BM_OurBMPEncode(benchmark::State& state) { Encode(state, false); }

void BM_ConvertPNGDecode(benchmark::State& state) { Convert(state, Once().Path("pic.png") + " rgb:/dev/null"); }
void BM_ConvertBMPDecode(benchmark::State& state) { Convert(state, Once().Path("pic.bmp") + " rgb:/dev/null"); }
void BM_ConvertPNGEncode(benchmark::State& state) {
    Convert(state, Once().Path("pic.ppm") + " -quality 55 " + Once().Path("out.png"));
}
void BM_ConvertBMPEncode(benchmark::State& state) {
    Convert(state, Once().Path("pic.ppm") + " BMP3:" + Once().Path("out.bmp"));
}

void BM_OurGIFEncode(benchmark::State& state) {
    PhotoSetup& p = Photo();
    if (!p.photo) {
        state.SkipWithError("the photograph could not be made (convert)");
        return;
    }
    for (auto _ : state) {
        cl::TMemoryStream out;
        ie::TIOParamsVals params(nullptr);
        params.GIFLZWCompress = &ie::IEGIFLZWCompress;
        std::atomic<bool> abort{false};
        ie::TProgressRec progress;
        progress.Aborting = &abort;
        ie::IEWriteGIFStream(&out, p.photo.get(), params, progress);
        if (abort) state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(out.GetMemory());
    }
}
void BM_ConvertGIFEncode(benchmark::State& state) { Convert(state, Photo().ppm + " " + Once().Path("out.gif")); }

// libpng's own reader straight into a buffer: the floor for any PNG decoder over it.
void BM_LibpngDirectDecode(benchmark::State& state) {
    Setup& s = Once();
    std::unique_ptr<cl::TMemoryStream> file(Loaded(s.Path("pic.png")));
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3);
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, file->GetMemory(), static_cast<size_t>(file->GetSize()))) {
            state.SkipWithError("libpng refused the file");
            break;
        }
        image.format = PNG_FORMAT_BGR;
        png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
}

BENCHMARK(BM_OurPNGDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibpngDirectDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertPNGDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OurBMPDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertBMPDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OurPNGEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertPNGEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OurBMPEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertBMPEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OurGIFEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertGIFEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
