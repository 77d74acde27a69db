// One frame of a view transition at 1920 x 1080 half way through (step 512), for a few
// representative effects: a per-pixel blend, a block-transfer wipe, halftone stretches, a
// self-stretch, region clips built from rectangles, ellipses and polygons, and pan and zoom.
// The frame step runs as the view's timer runs it (the copy onto the window left out: the
// object has no view), and its time is reported as multiples of a plain copy of the
// frame's bytes (x_memcpy) and of a block transfer of the whole frame between two bitmaps
// (x_blit), both measured in the same run. Run: bench_imaging_transitions.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench_timing.h"
#include "classlib/Graphics.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/processing/ietransitions.h"
#include "imaging/processing/iextratransitions.h"
#include "platform/clock.h"
#include "platform/gdi.h"

namespace {

constexpr int kW = 1920, kH = 1080;

std::unique_ptr<cl::TBitmap> Noise(uint32_t Seed) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(kW, kH);
    std::mt19937 rng(Seed);
    for (int y = 0; y < kH; ++y) {
        auto* p = static_cast<uint8_t*>(b->ScanLine(y));
        for (int x = 0; x < kW * 3; ++x) p[x] = uint8_t((x / 3 + y) / 8 + rng() % 16);
    }
    return b;
}

struct Pictures {
    std::unique_ptr<cl::TBitmap> source = Noise(1), target = Noise(2), copy = Noise(3);
    ie::TIEBitmap panImage{kW * 2, kH * 2, ie::ie24RGB};
    std::vector<uint8_t> bytes = std::vector<uint8_t>(size_t{kW} * kH * 3);
    double memcpySeconds = 0, blitSeconds = 0;

    Pictures() {
        for (int y = 0; y < panImage.GetHeight(); ++y)
            std::memset(panImage.GetScanline(y), y & 0xFF, size_t(panImage.GetWidth()) * 3);
        memcpySeconds = bench::BestSeconds(5, [&] { Memcpy(); });
        blitSeconds = bench::BestSeconds(5, [&] { Blit(); });
    }
    void Memcpy() {
        for (int y = 0; y < kH; ++y)
            std::memcpy(bytes.data() + size_t(y) * kW * 3, source->ScanLine(y), size_t{kW} * 3);
    }
    void Blit() {
        win::BitBlt(copy->GetCanvas()->GetHandle(), 0, 0, kW, kH, source->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
    }
};

Pictures& Data() {
    static Pictures p;
    return p;
}

// A running transition of the effect, set up as the view's starting operation does.
std::unique_ptr<ie::TIETransitionEffects> Running(int Effect) {
    auto& d = Data();
    auto t = std::make_unique<ie::TIETransitionEffects>(nullptr);
    struct Set {
        cl::TBitmap* b;
        cl::TBitmap* from;
        std::vector<uint8_t*>* rows;
    };
    const Set sets[] = {{t->SourceBitmap.get(), d.source.get(), &t->SourceRows},
                        {t->TargetBitmap.get(), d.target.get(), &t->TargetRows},
                        {t->FrameBitmap.get(), d.source.get(), &t->FrameRows}};
    for (const Set& s : sets) {
        s.b->SetSize(kW, kH);
        for (int y = 0; y < kH; ++y) {
            std::memcpy(s.b->ScanLine(y), s.from->ScanLine(y), size_t{kW} * 3);
            s.rows->push_back(static_cast<uint8_t*>(s.b->ScanLine(y)));
        }
    }
    t->FrameWidth = kW;
    t->FrameHeight = kH;
    t->Effect = static_cast<uint8_t>(Effect);
    t->Duration = 1 << 30;  // never over during the run
    t->PanZoomImage = &d.panImage;
    t->PanZoomStart = cl::Rect(0, 0, kW, kH);
    t->PanZoomEnd = cl::Rect(kW / 2, kH / 2, kW * 2, kH * 2);
    t->StartTick = win::GetTickCount();
    t->Running = true;
    return t;
}

void Frame(ie::TIETransitionEffects& T) {
    T.Step = 512;
    T.TimerEvent(nullptr);
}

void BM_TransitionFrame(benchmark::State& state) {
    auto& d = Data();
    auto t = Running(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Frame(*t);
        benchmark::ClobberMemory();
    }
    const double seconds = bench::BestSeconds(3, [&] { Frame(*t); });
    state.counters["x_memcpy"] = seconds / d.memcpySeconds;
    state.counters["x_blit"] = seconds / d.blitSeconds;
    state.SetLabel(state.range(0) == ie::IEPanZoomEffect ? "Pan and Zoom" : ie::IEEffectTable[state.range(0) - 1].Name);
}
// Cross Fade, Wipe Left to Right, Expand Out from Center, Expand from Left, Bars in from
// Left, Expanding Circles, Sweep Clockwise, Speckled Wipe from Left, Push and Squeeze Left,
// pan and zoom.
BENCHMARK(BM_TransitionFrame)
    ->Arg(1)
    ->Arg(5)
    ->Arg(29)
    ->Arg(31)
    ->Arg(85)
    ->Arg(115)
    ->Arg(139)
    ->Arg(147)
    ->Arg(155)
    ->Arg(188)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FrameMemcpy(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.Memcpy();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameMemcpy)->Unit(benchmark::kMillisecond);

void BM_FrameBlit(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.Blit();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameBlit)->Unit(benchmark::kMillisecond);

}  // namespace
