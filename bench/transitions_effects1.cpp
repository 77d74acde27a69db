// Frame cost of the blend, fuse, wipe and masked effects at 1920 x 1080, 32 bits per pixel,
// against the floor of a plain full-frame copy in the same run. Each effect runs its frames
// in turn over a work bitmap, as the device's plain loop does; the ratio of an effect's time
// per frame to BM_FullFrameCopy's is its cost in full-frame copies.
// Run: bench_transitions_effects1.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "transitions/teBlend.h"
#include "transitions/teCore.h"
#include "transitions/teFuse.h"
#include "transitions/teMasked.h"
#include "transitions/teRender.h"
#include "transitions/teWipe.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

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

class BenchDevice : public te::TTETransitionDevice {
    CL_DECLARE_CLASS(BenchDevice, te::TTETransitionDevice)
public:
    void DoExecute() override {}
    bool IsPaletteDisplay() override { return false; }
    uint8_t GetPixelFormat() override { return cl::pf32bit; }
    bool SupportsTwoPasses() override { return true; }
};

// A masked effect that reveals a growing disc from the centre, as the circle-like effects do.
class BenchDisc : public te::TMaskedTransition {
    CL_DECLARE_COMPONENT(BenchDisc, te::TMaskedTransition)
public:
    explicit BenchDisc(cl::TComponent* AOwner) : te::TMaskedTransition(AOwner) {}
    int32_t CalcFrameCount(te::TTETransitionData*) override { return 200; }
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, te::TTETransitionData* Data, int32_t,
                       int32_t) override {
        const int r = std::min(Frame, 200) * 1101 / 200, cx = Data->Width / 2, cy = Data->Height / 2;
        if (Draw) Mask->Canvas()->Ellipse(cx - r, cy - r, cx + r, cy + r);
        if (Report) Data->UpdateRect = win::RECT{cx - r, cy - r, cx + r, cy + r};
    }
};

// One pass of an effect over two random pictures, frames shown in turn.
class Run {
public:
    explicit Run(te::TTransitionEffect* e) : effect_(e), old_(Picture(0, 0, 0)) {
        data_ = std::make_unique<te::TTETransitionData>();
        data_->Device = &device_;
        data_->Width = kWidth;
        data_->Height = kHeight;
        data_->PixelFormat = e->GetPixelFormat(&device_);
        const int bw = e->GetBitmapsWidth(data_.get());
        old_ = Picture(bw, kHeight, 1);
        new_ = Picture(bw, kHeight, 2);
        work_ = Picture(bw, kHeight, 1);
        data_->SrcImage = old_.get();
        data_->DstImage = new_.get();
        data_->Bitmap = work_.get();
        Start();
    }
    ~Run() {
        effect_->Finalize(data_.get());
        data_->Bitmap = nullptr;
    }
    void Frame() {
        if (k_ > data_->Frames) {
            effect_->Finalize(data_.get());
            Start();
        }
        effect_->ExecuteFrame(data_.get(), k_, 1, k_ - 1);
        data_->PrevUpdateRect = data_->UpdateRect;
        data_->PrevUnUpdateRect = data_->UnUpdateRect;
        ++k_;
    }

private:
    void Start() {
        effect_->Initialize(data_.get(), data_->Frames);
        data_->LastFrame = data_->Frames;
        k_ = 1;
    }
    te::TTransitionEffect* effect_;
    BenchDevice device_;
    std::unique_ptr<te::TTETransitionData> data_;
    std::unique_ptr<cl::TBitmap> old_, new_, work_;
    int k_ = 1;
};

void Setup() {
    static bool done = false;
    if (done) return;
    done = true;
    te::DetectProcessorFeatures();
}

void FrameBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}

void BM_FullFrameCopy(benchmark::State& state) {
    Setup();
    auto src = Picture(kWidth, kHeight, 1), dst = Picture(kWidth, kHeight, 2);
    for (auto _ : state) {
        win::BitBlt(dst->Canvas()->Handle(), 0, 0, kWidth, kHeight, src->Canvas()->Handle(), 0, 0, win::SRCCOPY);
        benchmark::ClobberMemory();
    }
    FrameBytes(state);
}
BENCHMARK(BM_FullFrameCopy);

// The same bytes copied straight, the physical floor below the blit.
void BM_FullFrameMemcpy(benchmark::State& state) {
    Setup();
    auto src = Picture(kWidth, kHeight, 1), dst = Picture(kWidth, kHeight, 2);
    const size_t n = static_cast<size_t>(src->RowBytes()) * kHeight;
    const void* s = src->ScanLine(kHeight - 1);
    void* d = dst->ScanLine(kHeight - 1);
    for (auto _ : state) {
        std::memcpy(d, s, n);
        benchmark::ClobberMemory();
    }
    FrameBytes(state);
}
BENCHMARK(BM_FullFrameMemcpy);

template <class Make>
void Effect(benchmark::State& state, Make make) {
    Setup();
    std::unique_ptr<te::TTransitionEffect> e(make());
    Run run(e.get());
    for (auto _ : state) {
        run.Frame();
        benchmark::ClobberMemory();
    }
    FrameBytes(state);
}

void BM_AlphaBlend(benchmark::State& state) {
    Effect(state, [] { return new te::TBlendTransition(nullptr); });
}
BENCHMARK(BM_AlphaBlend);

void BM_Fuse(benchmark::State& state) {
    Effect(state, [] { return new te::TFuseTransition(nullptr); });
}
BENCHMARK(BM_Fuse);

void BM_WipeDitheredBand(benchmark::State& state) {
    Effect(state, [] { return new te::TWipeTransition(nullptr); });
}
BENCHMARK(BM_WipeDitheredBand);

void BM_WipeSmoothBand(benchmark::State& state) {
    Effect(state, [] {
        auto* w = new te::TWipeTransition(nullptr);
        w->SmoothBand = true;
        return w;
    });
}
BENCHMARK(BM_WipeSmoothBand);

void BM_WipeOut(benchmark::State& state) {
    Effect(state, [] {
        auto* w = new te::TWipeTransition(nullptr);
        w->SetDirection(te::tedOut);
        return w;
    });
}
BENCHMARK(BM_WipeOut);

void BM_MaskedHardEdge(benchmark::State& state) {
    Effect(state, [] { return new BenchDisc(nullptr); });
}
BENCHMARK(BM_MaskedHardEdge);

void BM_MaskedSmooth(benchmark::State& state) {
    Effect(state, [] {
        auto* d = new BenchDisc(nullptr);
        d->SetSmoothingLevel(3);
        return d;
    });
}
BENCHMARK(BM_MaskedSmooth);

}  // namespace
