// The image buffer's storage at the size of a camera picture (4000 x 3000, 24 bits), each
// against a plain copy of the same bytes in the same run: copying between bitmaps in
// memory and in temporary files, writing the raw stream, converting in place to 8-bit
// grey and to 32 bits, copying a full frame with CopyRectTo and drawing one into a 24-bit
// bitmap.
// Run: bench_imaging_storage. Compare the bytes per second of each with BM_Memcpy.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int64_t kBytes = int64_t{kWidth} * 3 * kHeight;

// The temporary files of the run go to a folder of its own, removed at the end.
struct Setup {
    std::string folder;
    Setup() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-iebench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) folder = pattern;
        ie::IETempFolder = folder;
        ie::IELibraryStaticInit();
    }
    ~Setup() {
        ie::IELibraryStaticFinal();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Setup& Once() {
    static Setup s;
    return s;
}

std::unique_ptr<ie::TIEBitmap> Picture(ie::TIELocation where) {
    Once();
    auto b = std::make_unique<ie::TIEBitmap>();
    b->MinFileSize = where == ie::ieFile ? 0 : int64_t{1} << 40;
    b->SetLocation(where);
    b->Allocate(kWidth, kHeight, ie::ie24RGB);
    for (int y = 0; y < kHeight; ++y) {
        auto* p = static_cast<uint8_t*>(b->GetScanline(y));
        for (int i = 0; i < kWidth * 3; ++i) p[i] = static_cast<uint8_t>(y * 7 + i * 13);
    }
    b->GetScanline(0);
    return b;
}

void SetBytes(benchmark::State& state) { state.SetBytesProcessed(state.iterations() * kBytes); }

void BM_Memcpy(benchmark::State& state) {
    std::vector<uint8_t> src(static_cast<size_t>(kBytes), 1), dst(static_cast<size_t>(kBytes));
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_AssignMemory(benchmark::State& state) {
    auto src = Picture(ie::ieMemory);
    auto dst = Picture(ie::ieMemory);
    for (auto _ : state) {
        dst->Assign(src.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_AssignMemory)->Unit(benchmark::kMillisecond);

void BM_AssignFileToFile(benchmark::State& state) {
    auto src = Picture(ie::ieFile);
    auto dst = Picture(ie::ieFile);
    for (auto _ : state) {
        dst->Assign(src.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_AssignFileToFile)->Unit(benchmark::kMillisecond);

void BM_SaveRawToMemory(benchmark::State& state) {
    auto src = Picture(ie::ieMemory);
    std::vector<uint8_t> out(static_cast<size_t>(src->RawStreamSize()));
    for (auto _ : state) {
        src->SaveRawToStream(out.data(), static_cast<int64_t>(out.size()), nullptr);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_SaveRawToMemory)->Unit(benchmark::kMillisecond);

void Convert(benchmark::State& state, ie::TIEPixelFormat to) {
    auto original = Picture(ie::ieMemory);
    ie::TIEBitmap work;
    work.MinFileSize = int64_t{1} << 40;
    work.SetLocation(ie::ieMemory);
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(original.get());
        state.ResumeTiming();
        work.SetPixelFormat(to);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

void BM_ConvertPixelFormat24To8g(benchmark::State& state) { Convert(state, ie::ie8g); }
BENCHMARK(BM_ConvertPixelFormat24To8g)->Unit(benchmark::kMillisecond);

void BM_ConvertPixelFormat24To32(benchmark::State& state) { Convert(state, ie::ie32RGB); }
BENCHMARK(BM_ConvertPixelFormat24To32)->Unit(benchmark::kMillisecond);

std::unique_ptr<ie::TIEBitmap> Blank() {
    auto b = std::make_unique<ie::TIEBitmap>();
    b->MinFileSize = int64_t{1} << 40;
    b->SetLocation(ie::ieMemory);
    b->Allocate(kWidth, kHeight, ie::ie24RGB);
    return b;
}

// A full frame copied into a bitmap of the same shape.
void BM_CopyRectToFullFrame(benchmark::State& state) {
    auto src = Picture(ie::ieMemory);
    auto dst = Blank();
    for (auto _ : state) {
        src->CopyRectTo(dst.get(), 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_CopyRectToFullFrame)->Unit(benchmark::kMillisecond);

// Drawing a full frame 1:1 (whole row spans), at opacity 128 (every pixel mixed), and
// through the coordinate tables (the frame drawn from its own left and top halves
// magnified twice).
void BM_DrawFullFrame1to1(benchmark::State& state) {
    auto src = Picture(ie::ieMemory);
    auto dst = Blank();
    for (auto _ : state) {
        src->DrawToTIEBitmap(dst.get(), 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, 255, ie::rfNone, ie::boCopy);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_DrawFullFrame1to1)->Unit(benchmark::kMillisecond);

void BM_DrawFullFrameOpacity(benchmark::State& state) {
    auto src = Picture(ie::ieMemory);
    auto dst = Blank();
    for (auto _ : state) {
        src->DrawToTIEBitmap(dst.get(), 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, 128, ie::rfNone, ie::boCopy);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_DrawFullFrameOpacity)->Unit(benchmark::kMillisecond);

void BM_DrawFullFrameMagnified(benchmark::State& state) {
    auto src = Picture(ie::ieMemory);
    auto dst = Blank();
    for (auto _ : state) {
        src->DrawToTIEBitmap(dst.get(), 0, 0, kWidth, kHeight, 0, 0, kWidth / 2, kHeight / 2, 255, ie::rfNone,
                             ie::boCopy);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_DrawFullFrameMagnified)->Unit(benchmark::kMillisecond);

}  // namespace
