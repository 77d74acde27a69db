// Frame cost of the radial, circle, diagonal, block, interlaced and waterfall effects at
// 1920 x 1080 in 32 bits, against the floor of a plain full-frame copy (BM_FullFrameCopy).
// Each effect benchmark also reports "x_copy": its frame time divided by the copy's, both
// measured in the same run.
// Run: bench_transitions_effects2.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "transitions/teBlock.h"
#include "transitions/teCircle.h"
#include "transitions/teCore.h"
#include "transitions/teDiagonal.h"
#include "transitions/teInterlaced.h"
#include "transitions/teRadial.h"
#include "transitions/teRender.h"
#include "transitions/teWaterfall.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A device that only answers the display format.
class BenchDevice : public te::TTETransitionDevice {
    CL_DECLARE_CLASS(BenchDevice, te::TTETransitionDevice)
public:
    void DoExecute() override {}
    bool IsPaletteDisplay() override { return false; }
    uint8_t GetPixelFormat() override { return cl::pf32bit; }
    bool SupportsTwoPasses() override { return false; }
};

std::unique_ptr<cl::TBitmap> Picture(int w, int h, uint32_t seed) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, w, h, cl::pf32bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint32_t*>(b->ScanLine(y));
        for (int x = 0; x < w; ++x) row[x] = rng();
    }
    return b;
}

// One pass of an effect over random pictures, driven frame by frame like the device's
// plain loop; the pass starts again after its last frame.
class Pass {
public:
    explicit Pass(te::TTransitionEffect* e) : effect_(e) {
        data_.Device = &device_;
        data_.Width = kWidth;
        data_.Height = kHeight;
        data_.PixelFormat = e->GetPixelFormat(&device_);
        const int bw = e->GetBitmapsWidth(&data_);
        old_ = Picture(bw, kHeight, 1);
        new_ = Picture(bw, kHeight, 2);
        work_ = Picture(bw, kHeight, 1);
        screen_ = Picture(bw, kHeight, 1);
        data_.Bitmap = work_.get();
        data_.SrcImage = old_.get();
        data_.DstImage = new_.get();
        data_.LastImage = work_.get();
        data_.Canvas = screen_->Canvas();
        if (e->GetInfo(&device_) & te::tetiUseDirtyRects) data_.DirtyRects = std::make_unique<te::TTEDirtyRects>();
        Start();
    }
    ~Pass() {
        effect_->Finalize(&data_);
        data_.Bitmap = nullptr;
    }
    // Draws the next frame; false when the pass had to start again (not timed).
    void Next(benchmark::State& state) {
        if (frame_ >= data_.Frames) {
            state.PauseTiming();
            effect_->Finalize(&data_);
            Start();
            state.ResumeTiming();
        }
        ++frame_;
        effect_->ExecuteFrame(&data_, frame_, 1, frame_ - 1);
        data_.PrevUpdateRect = data_.UpdateRect;
        data_.PrevUnUpdateRect = data_.UnUpdateRect;
        data_.UpdateRect = win::RECT{};
        data_.UnUpdateRect = win::RECT{};
        if (data_.DirtyRects && data_.DirtyRects->AutoClear) data_.DirtyRects->Clear();
        benchmark::DoNotOptimize(work_->ScanLine(0));
    }

private:
    void Start() {
        frame_ = 0;
        data_.ShowFrames = true;
        effect_->Initialize(&data_, data_.Frames);
        data_.LastFrame = data_.Frames;
    }

    te::TTransitionEffect* effect_;
    BenchDevice device_;
    te::TTETransitionData data_;
    std::unique_ptr<cl::TBitmap> old_, new_, work_, screen_;
    int frame_ = 0;
};

// The floor: one full-frame copy of the new picture into the work bitmap.
struct CopyFloor {
    std::unique_ptr<cl::TBitmap> src = Picture(kWidth, kHeight, 3), dst = Picture(kWidth, kHeight, 4);
    void Copy() {
        win::BitBlt(dst->Canvas()->Handle(), 0, 0, kWidth, kHeight, src->Canvas()->Handle(), 0, 0, win::SRCCOPY);
        benchmark::DoNotOptimize(dst->ScanLine(0));
    }
    // Nanoseconds per copy, measured once.
    double Ns() {
        if (ns_ > 0) return ns_;
        Copy();
        const int n = 30;
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) Copy();
        ns_ = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;
        return ns_;
    }
    double ns_ = 0;
};

CopyFloor& Floor() {
    static CopyFloor f;
    return f;
}

void BM_FullFrameCopy(benchmark::State& state) {
    CopyFloor& f = Floor();
    for (auto _ : state) f.Copy();
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_FullFrameCopy)->Unit(benchmark::kMicrosecond);

void RunEffect(benchmark::State& state, te::TTransitionEffect* e) {
    const double floorNs = Floor().Ns();
    Pass pass(e);
    double ns = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        pass.Next(state);
        ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
        ++frames;
    }
    if (frames > 0) state.counters["x_copy"] = ns / static_cast<double>(frames) / floorNs;
}

template <class T>
void Effect(benchmark::State& state, const std::function<void(T&)>& setup) {
    T e(nullptr);
    e.Milliseconds = 1000;
    setup(e);
    RunEffect(state, &e);
}

void Styled(te::TMaskedTransition& e, int style, int sub, int level) {
    e.SetStyle(static_cast<uint16_t>(style));
    e.SetSubStyle(static_cast<uint16_t>(sub));
    e.SetSmoothingLevel(static_cast<uint16_t>(level));
}

void BM_RadialHard(benchmark::State& s) {
    Effect<te::TRadialTransition>(s, [](auto& e) { Styled(e, 1, 1, 0); });
}
void BM_RadialSmooth5(benchmark::State& s) {
    Effect<te::TRadialTransition>(s, [](auto& e) { Styled(e, 2, 1, 5); });
}
void BM_CircleHard(benchmark::State& s) {
    Effect<te::TCircleTransition>(s, [](auto& e) { Styled(e, 1, 1, 0); });
}
void BM_CircleSmooth5(benchmark::State& s) {
    Effect<te::TCircleTransition>(s, [](auto& e) { Styled(e, 2, 1, 5); });
}
void BM_DiagonalSmooth5(benchmark::State& s) {
    Effect<te::TDiagonalTransition>(s, [](auto& e) { Styled(e, 1, 1, 5); });
}
void BM_DiagonalTwoFronts(benchmark::State& s) {
    Effect<te::TDiagonalTransition>(s, [](auto& e) { Styled(e, 2, 1, 5); });
}
void BM_BlockRandom(benchmark::State& s) {
    Effect<te::TBlockTransition>(s, [](auto& e) { Styled(e, 1, 1, 0); });
}
void BM_BlockPuzzle(benchmark::State& s) {
    Effect<te::TBlockTransition>(s, [](auto& e) {
        Styled(e, 1, 1, 0);
        e.SetPuzzle(true);
    });
}
void BM_InterlacedRows(benchmark::State& s) {
    Effect<te::TInterlacedTransition>(s, [](auto& e) { Styled(e, 1, 1, 0); });
}
void BM_InterlacedRingsSmooth2(benchmark::State& s) {
    Effect<te::TInterlacedTransition>(s, [](auto& e) { Styled(e, 2, 1, 2); });
}
void BM_WaterfallDown(benchmark::State& s) {
    Effect<te::TWaterfallTransition>(s, [](auto&) {});
}

BENCHMARK(BM_RadialHard)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RadialSmooth5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CircleHard)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CircleSmooth5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiagonalSmooth5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiagonalTwoFronts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockRandom)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockPuzzle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InterlacedRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InterlacedRingsSmooth2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WaterfallDown)->Unit(benchmark::kMicrosecond);

}  // namespace
