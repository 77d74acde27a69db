// Processor time of a paced 1.5 s transition at 1920 x 1080 on the headless screen with the
// real clock, against the wall time of the same run: the show window's slide change with
// effects of the player's list (the alpha blend, a wipe and a push), over a TImgView32 that
// fills the screen. A transition that waits by sleeping costs the processor only its frames;
// one that spins while waiting costs up to its whole duration.
//
// Counters: wall_ms and cpu_ms (the whole process, every thread) of one transition,
// cpu_over_wall = cpu_ms / wall_ms, frames shown, and frame_ms = the processor time per frame.
// Run: bench_slide_pacing --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "bench_show.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Image.h"
#include "transitions/teBlend.h"
#include "transitions/teCore.h"
#include "transitions/tePush.h"
#include "transitions/teVclScr.h"
#include "transitions/teWipe.h"

namespace {

using bench::kScreenH;
using bench::kScreenW;
constexpr int kDurationMs = 1500;

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double WallMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

class Screen {
public:
    static Screen& Get() {
        static Screen s;
        return s;
    }

    // One slide change with `effect`: the old slide freezes, the next one is assigned, the
    // transition runs. Returns the frames shown.
    int Change(te::TTransitionEffect* effect, double* cpuMs, double* wallMs) {
        int shown = 0;
        effect->OnEndTransition = [&](cl::TObject* s) {
            shown = static_cast<te::TTETransitionDevice*>(s)->Data->FramesShown;
        };
        effect->Milliseconds = kDurationMs;
        te::TTEPreparedScope prepared(effect, view_, win::RECT{0, 0, kScreenW, kScreenH});
        next_ ^= 1;
        view_->Bitmap()->Assign(slides_[next_].get());
        const double c0 = ProcessCpuMs(), w0 = WallMs();
        effect->Execute();
        *cpuMs = ProcessCpuMs() - c0;
        *wallMs = WallMs() - w0;
        return shown;
    }

private:
    Screen() {
        bench::StartPlayerLibraries("bench_slide_pacing");
        te::StartUpteBlend();
        te::StartUpteWipe();
        te::StartUptePush();

        std::mt19937 rng(3);
        for (int k = 0; k < 2; ++k) {
            slides_[k] = std::make_unique<pix32::TBitmap32>();
            slides_[k]->SetSize(1600, 1200);
            for (int y = 0; y < 1200; ++y) {
                pix32::TColor32* row = slides_[k]->ScanLine(y);
                for (int x = 0; x < 1600; ++x)
                    row[x] = 0xFF000000u |
                             ((k ? 0x203080u : 0x806020u) + ((x / 8 + y / 8) & 0x3F) * 0x010101u + (rng() & 0x0F0F0Fu));
            }
        }
        view_ = bench::NewSlideScreen();
        view_->Bitmap()->Assign(slides_[0].get());
        cl::Application->ProcessMessages();
    }

    std::unique_ptr<pix32::TBitmap32> slides_[2];
    int next_ = 0;
    pix32::TImgView32* view_ = nullptr;
};

void RunEffect(benchmark::State& state, const std::function<te::TTransitionEffect*()>& make) {
    Screen& s = Screen::Get();
    std::unique_ptr<te::TTransitionEffect> effect(make());
    double cpu = 0, wall = 0;
    int frames = 0;
    for (auto _ : state) {
        double c = 0, w = 0;
        frames += s.Change(effect.get(), &c, &w);
        cpu += c;
        wall += w;
        state.SetIterationTime(w / 1e3);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["cpu_ms"] = cpu / n;
    state.counters["wall_ms"] = wall / n;
    state.counters["cpu_over_wall"] = wall > 0 ? cpu / wall : 0.0;
    state.counters["frames"] = frames / n;
    state.counters["frame_ms"] = frames > 0 ? cpu / frames : 0.0;
}

void BM_PacedBlend(benchmark::State& state) {
    RunEffect(state, [] { return new te::TBlendTransition(nullptr); });
}
BENCHMARK(BM_PacedBlend)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

void BM_PacedWipe(benchmark::State& state) {
    RunEffect(state, [] {
        auto* w = new te::TWipeTransition(nullptr);
        w->SetDirection(te::tedDown);
        return w;
    });
}
BENCHMARK(BM_PacedWipe)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

void BM_PacedPush(benchmark::State& state) {
    RunEffect(state, [] { return new te::TPushTransition(nullptr); });
}
BENCHMARK(BM_PacedPush)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace
