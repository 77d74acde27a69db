// Frame cost of the slide, push, roll, page, drip, pixelate, blur and bitmap-mask effects at
// 1920 x 1080 against a plain full-frame copy through the same GDI. Run:
// bench_transitions_effects3. Each effect's frames are drawn in order (the run is started
// again, outside the timing, when it reaches its last frame).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "transitions/teBlur.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teCore.h"
#include "transitions/teDrip.h"
#include "transitions/tePage.h"
#include "transitions/tePixelt.h"
#include "transitions/tePush.h"
#include "transitions/teRender.h"
#include "transitions/teRoll.h"
#include "transitions/teSlide.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

class BenchDevice : public te::TTETransitionDevice {
public:
    void DoExecute() override {}
    bool IsPaletteDisplay() override { return false; }
    uint8_t GetPixelFormat() override { return cl::pf32bit; }
    bool SupportsTwoPasses() override { return false; }
};

std::unique_ptr<cl::TBitmap> Picture(cl::TPixelFormat pf, uint32_t seed) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, kWidth, kHeight, pf);
    std::mt19937 rng(seed);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int i = 0; i < b->RowBytes(); ++i) row[i] = static_cast<uint8_t>(rng());
    }
    return b;
}

// One effect over a 1920 x 1080 area: frames drawn one after the other.
class Run {
public:
    Run(te::TTransitionEffect* effect, cl::TPixelFormat pf, bool workBitmap) : effect_(effect), pf_(pf), work_(workBitmap) {
        te::DetectProcessorFeatures();
        oldPic_ = Picture(pf, 1);
        newPic_ = Picture(pf, 2);
        screen_ = Picture(pf, 3);
        Start();
    }
    ~Run() { Stop(); }
    bool AtEnd() const { return k_ >= data_->Frames; }
    void Restart() {
        Stop();
        Start();
    }
    void Frame() {
        ++k_;
        data_->UpdateRect = win::RECT{};
        effect_->ExecuteFrame(data_.get(), k_, 1, k_ - 1);
    }

private:
    void Start() {
        data_ = std::make_unique<te::TTETransitionData>();
        data_->Device = &device_;
        data_->Width = kWidth;
        data_->Height = kHeight;
        data_->Canvas = screen_->Canvas();
        data_->SrcImage = oldPic_.get();
        data_->DstImage = newPic_.get();
        data_->PixelFormat = static_cast<uint8_t>(pf_);
        if (work_) {
            auto* w = new cl::TBitmap();
            te::AdjustBitmapFormat(w, nullptr, effect_->GetBitmapsWidth(data_.get()), kHeight, pf_);
            data_->Bitmap = w;
        }
        int32_t frames = 0;
        effect_->Initialize(data_.get(), frames);
        data_->Frames = frames;
        data_->LastFrame = frames;
        k_ = 0;
    }
    void Stop() {
        if (data_) effect_->Finalize(data_.get());
        data_.reset();
    }

    te::TTransitionEffect* effect_;
    cl::TPixelFormat pf_;
    bool work_;
    BenchDevice device_;
    std::unique_ptr<cl::TBitmap> oldPic_, newPic_, screen_;
    std::unique_ptr<te::TTETransitionData> data_;
    int k_ = 0;
};

void Report(benchmark::State& state, cl::TPixelFormat pf) {
    const int64_t bytes = int64_t{kWidth} * kHeight * (pf == cl::pf32bit ? 4 : 3);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

template <class Effect>
void RunEffect(benchmark::State& state, Effect& effect, cl::TPixelFormat pf, bool work) {
    Run run(&effect, pf, work);
    for (auto _ : state) {
        if (run.AtEnd()) {
            state.PauseTiming();
            run.Restart();
            state.ResumeTiming();
        }
        run.Frame();
    }
    Report(state, pf);
}

void BM_FullFrameCopy32(benchmark::State& state) {
    auto a = Picture(cl::pf32bit, 1), b = Picture(cl::pf32bit, 2);
    for (auto _ : state)
        win::BitBlt(b->Canvas()->Handle(), 0, 0, kWidth, kHeight, a->Canvas()->Handle(), 0, 0, win::SRCCOPY);
    Report(state, cl::pf32bit);
}

void BM_FullFrameCopy24(benchmark::State& state) {
    auto a = Picture(cl::pf24bit, 1), b = Picture(cl::pf24bit, 2);
    for (auto _ : state)
        win::BitBlt(b->Canvas()->Handle(), 0, 0, kWidth, kHeight, a->Canvas()->Handle(), 0, 0, win::SRCCOPY);
    Report(state, cl::pf24bit);
}

void BM_Push(benchmark::State& state) {
    te::TPushTransition e(nullptr);
    RunEffect(state, e, cl::pf32bit, false);
}

void BM_SlideElasticDown(benchmark::State& state) {
    te::TSlideTransition e(nullptr);
    e.ElasticSrc = true;
    RunEffect(state, e, cl::pf32bit, false);
}

void BM_SlideIn(benchmark::State& state) {
    te::TSlideTransition e(nullptr);
    e.SetDirection(te::tedIn);
    RunEffect(state, e, cl::pf32bit, false);
}

void BM_Roll3D(benchmark::State& state) {
    te::TRollTransition e(nullptr);
    RunEffect(state, e, cl::pf32bit, false);
}

void BM_Page3D(benchmark::State& state) {
    te::TPageTransition e(nullptr);
    RunEffect(state, e, cl::pf32bit, false);
}

void BM_DripLeft(benchmark::State& state) {
    te::TDripTransition e(nullptr);
    RunEffect(state, e, cl::pf32bit, false);
}

void BM_DripDown(benchmark::State& state) {
    te::TDripTransition e(nullptr);
    e.SetDirection(te::tedDown);
    RunEffect(state, e, cl::pf32bit, true);
}

void BM_Pixelate(benchmark::State& state) {
    te::TPixelateTransition e(nullptr);
    RunEffect(state, e, cl::pf24bit, true);
}

void BM_Blur(benchmark::State& state) {
    te::TBlurTransition e(nullptr);
    RunEffect(state, e, cl::pf24bit, true);
}

std::unique_ptr<cl::TBitmap> GradientMask() {
    auto m = std::make_unique<cl::TBitmap>();
    m->SetPixelFormat(cl::pf8bit);
    std::vector<win::RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) {
        auto v = static_cast<uint8_t>(i);
        table[static_cast<size_t>(i)] = win::RGBQUAD{v, v, v, 0};
    }
    m->SetColorTable(table);
    m->SetSize(256, 64);
    for (int y = 0; y < 64; ++y) {
        auto* row = static_cast<uint8_t*>(m->ScanLine(y));
        for (int x = 0; x < 256; ++x) row[x] = static_cast<uint8_t>(x ^ (y * 4));
    }
    return m;
}

void BM_BmpMask(benchmark::State& state) {
    te::TBmpMaskTransition e(nullptr);
    auto mask = GradientMask();
    e.SetMask(mask.get());
    RunEffect(state, e, cl::pf32bit, true);
}

void BM_BmpMaskSmooth(benchmark::State& state) {
    te::TBmpMaskTransition e(nullptr);
    auto mask = GradientMask();
    e.SetMask(mask.get());
    e.SetSmoothingLevel(3);
    RunEffect(state, e, cl::pf32bit, true);
}

}  // namespace

BENCHMARK(BM_FullFrameCopy32);
BENCHMARK(BM_FullFrameCopy24);
BENCHMARK(BM_Push);
BENCHMARK(BM_SlideElasticDown);
BENCHMARK(BM_SlideIn);
BENCHMARK(BM_Roll3D);
BENCHMARK(BM_Page3D);
BENCHMARK(BM_DripLeft);
BENCHMARK(BM_DripDown);
BENCHMARK(BM_Pixelate);
BENCHMARK(BM_Blur);
BENCHMARK(BM_BmpMask);
BENCHMARK(BM_BmpMaskSmooth);
