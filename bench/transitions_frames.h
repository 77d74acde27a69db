// What one transition frame costs at 1920 x 1080 on a 32-bit display, for the effects of the
// show window's list and a few other settings of the same effects.
//
// A benchmark runs whole passes of an effect over two pictures of random pixels, every frame
// in turn (Step 1, as the device's plain loop draws them), with the run data, the work bitmap
// and the pixel format set up by the device's own code. Only the effect's frames are timed,
// and each frame counts with its fastest time over the passes. Reported per benchmark:
//   Time          the mean time of one frame (manual time);
//   x_copy        that mean divided by the time of a full-frame copy (BitBlt of a 32-bit
//                 1920 x 1080 bitmap into another), timed between the frames of the same
//                 benchmark (see CopyFloor);
//   x_memcpy      the mean divided by a plain memcpy of the same 8 MB;
//   worst_x_copy  the slowest frame (by its fastest time) divided by the full-frame copy;
//   copy_ms       the full-frame copy's time in milliseconds;
//   frames        frames in the pass.
// The machine is shared: run with --benchmark_repetitions=5 and read the medians.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "player/OstrelMain.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teCore.h"
#include "transitions/teMskWk.h"
#include "transitions/teRender.h"

namespace tebench {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

using Clock = std::chrono::steady_clock;

inline double NsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

// A 32-bit display without palette; one pass only.
class BenchDevice : public te::TTETransitionDevice {
public:
    ~BenchDevice() override { FreeRunData(); }
    void DoExecute() override {}
    bool IsPaletteDisplay() override { return false; }
    uint8_t GetPixelFormat() override { return cl::pf32bit; }
    bool SupportsTwoPasses() override { return false; }
};

inline std::unique_ptr<cl::TBitmap> Picture(cl::TPixelFormat pf, int w, int h, uint32_t seed) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, w, h, pf);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int i = 0; i + 4 <= b->RowBytes(); i += 4) {
            const uint32_t v = rng();
            std::memcpy(row + i, &v, 4);
        }
    }
    return b;
}

// The two floors: a full-frame BitBlt and a memcpy of the same bytes, timed now and then
// between the frames of the benchmark, so that they see the machine as the frames do. Each
// floor is the 10th percentile of its samples (the quiet moments, as the frames' fastest
// times are).
class CopyFloor {
public:
    CopyFloor() : src_(Picture(cl::pf32bit, kWidth, kHeight, 11)), dst_(Picture(cl::pf32bit, kWidth, kHeight, 12)) {}
    void Sample() {
        const size_t bytes = static_cast<size_t>(src_->RowBytes()) * kHeight;
        auto t0 = Clock::now();
        win::BitBlt(dst_->GetCanvas()->GetHandle(), 0, 0, kWidth, kHeight, src_->GetCanvas()->GetHandle(), 0, 0,
                    win::SRCCOPY);
        benchmark::ClobberMemory();
        blit_.push_back(NsSince(t0));
        t0 = Clock::now();
        std::memcpy(dst_->ScanLine(kHeight - 1), src_->ScanLine(kHeight - 1), bytes);
        benchmark::ClobberMemory();
        copy_.push_back(NsSince(t0));
    }
    double BlitNs() const { return Low(blit_); }
    double MemcpyNs() const { return Low(copy_); }

private:
    static double Low(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 1 : v[v.size() / 10];
    }
    std::unique_ptr<cl::TBitmap> src_, dst_;
    std::vector<double> blit_, copy_;
};

// One pass of an effect, set up as the device sets up a run: the working copy, the run
// data, the pictures in the run's pixel format, the work bitmap by the effect's flags.
class Pass {
public:
    explicit Pass(te::TTransitionEffect* effect) {
        cl::SetRandSeed(20240611);  // a random direction or style: the same one every time
        device_.SetTransition(effect);
        device_.CreateRunData();
        te::TTETransitionData* d = device_.Data.get();
        const auto pf = static_cast<cl::TPixelFormat>(d->PixelFormat);
        old_ = Picture(pf, kWidth, kHeight, 1);
        new_ = Picture(pf, kWidth, kHeight, 2);
        screen_ = Picture(cl::pf32bit, kWidth, kHeight, 3);
        win::BitBlt(screen_->GetCanvas()->GetHandle(), 0, 0, kWidth, kHeight, old_->GetCanvas()->GetHandle(), 0, 0,
                    win::SRCCOPY);
        d->Width = kWidth;
        d->Height = kHeight;
        d->Canvas = screen_->GetCanvas();
        d->SrcImage = old_.get();
        d->DstImage = new_.get();
        d->LastImage = old_.get();
        win::HPALETTE oldPalette = nullptr;
        device_.PrepareWorkBitmap(oldPalette);
        effect_ = device_.GetTransition();
        effect_->Initialize(d, d->Frames);
        device_.CalcFrameCounts();
    }
    ~Pass() {
        effect_->Finalize(device_.Data.get());
        device_.FreeRunData();
    }
    int Frames() const { return device_.Data->LastFrame; }
    // Draws frame k (after k - 1) and rolls the update rectangles over as showing it would.
    void Frame(int k) {
        te::TTETransitionData* d = device_.Data.get();
        effect_->ExecuteFrame(d, k, 1, k - 1);
        d->PrevUnUpdateRect = d->UnUpdateRect;
        d->PrevUpdateRect = d->UpdateRect;
        d->UnUpdateRect = win::RECT{};
        d->UpdateRect = win::RECT{};
        if (d->DirtyRects && d->DirtyRects->AutoClear) d->DirtyRects->Clear();
        benchmark::DoNotOptimize(d->Bitmap ? d->Bitmap->ScanLine(0) : screen_->ScanLine(0));
    }

private:
    BenchDevice device_;
    te::TTransitionEffect* effect_ = nullptr;
    std::unique_ptr<cl::TBitmap> old_, new_, screen_;
};

using EffectMaker = std::function<std::unique_ptr<te::TTransitionEffect>()>;

// Passes per benchmark: each frame's time is its fastest of these, which leaves out most of
// the time the machine spends elsewhere (other processes, interrupts) during a frame.
constexpr int kPasses = 3;

// Runs kPasses whole passes; the manual time is the mean over the frames of each frame's
// fastest time.
inline void RunPasses(benchmark::State& state, const EffectMaker& make) {
    te::StartUp();
    te::DetectProcessorFeatures();
    CopyFloor floor;
    for (int i = 0; i < 5; ++i) floor.Sample();
    std::unique_ptr<te::TTransitionEffect> effect = make();
    std::vector<double> best;
    for (auto _ : state) {
        for (int p = 0; p < kPasses; ++p) {
            Pass pass(effect.get());
            const int n = pass.Frames();
            best.resize(static_cast<size_t>(n), 1e300);
            for (int k = 1; k <= n; ++k) {
                const auto t0 = Clock::now();
                pass.Frame(k);
                double& b = best[static_cast<size_t>(k - 1)];
                b = std::min(b, NsSince(t0));
                if (k % 16 == 0) floor.Sample();
            }
        }
        double sum = 0;
        for (double b : best) sum += b;
        state.SetIterationTime(best.empty() ? 0 : sum / static_cast<double>(best.size()) * 1e-9);
    }
    for (int i = 0; i < 5; ++i) floor.Sample();
    double sum = 0, worst = 0;
    for (double b : best) {
        sum += b;
        worst = std::max(worst, b);
    }
    const double mean = best.empty() ? 0 : sum / static_cast<double>(best.size());
    state.counters["x_copy"] = mean / floor.BlitNs();
    state.counters["x_memcpy"] = mean / floor.MemcpyNs();
    state.counters["worst_x_copy"] = worst / floor.BlitNs();
    state.counters["copy_ms"] = floor.BlitNs() * 1e-6;
    state.counters["frames"] = static_cast<double>(best.size());
}

// The mask picture of the mask transition: a soft ring pattern, 320 x 240, stretched over
// the area as the player's masks are.
inline std::unique_ptr<cl::TBitmap> ShowMask() {
    auto m = std::make_unique<cl::TBitmap>();
    const win::HPALETTE grey = te::CreateGrayPalette();
    te::AdjustBitmapFormat(m.get(), grey, 320, 240, cl::pf8bit);
    win::DeleteObject(grey);
    for (int y = 0; y < 240; ++y) {
        auto* row = static_cast<uint8_t*>(m->ScanLine(y));
        for (int x = 0; x < 320; ++x) row[x] = static_cast<uint8_t>((x * x + 3 * y * y) / 97 + x / 3);
    }
    return m;
}

// An effect of the show window's list, made and set up by class name as the form does.
inline std::unique_ptr<te::TTransitionEffect> MakeShowEffect(size_t index) {
    te::StartUp();
    const player::TShowTransition& entry = player::ShowTransitions()[index];
    const cl::TClass& cls = cl::FindClass(entry.ClassName);
    std::unique_ptr<te::TTransitionEffect> e(static_cast<te::TTransitionEffect*>(cls.Create(nullptr)));
    if (!e->Is<te::TFlickerFreeTransition>()) e->Milliseconds = 1000;
    for (const cl::TFormProp& p : entry.Props) cl::SetPropertyText(e.get(), p.Name, p.Value);
    if (auto* mask = dynamic_cast<te::TBmpMaskTransition*>(e.get())) mask->SetMask(ShowMask().get());
    return e;
}

// "07_TCircleTransition(SmoothingLevel=5,Style=2)": the list position (from 1), the class
// and the properties the form sets.
inline std::string ShowEffectName(size_t index) {
    const player::TShowTransition& entry = player::ShowTransitions()[index];
    char num[8];
    std::snprintf(num, sizeof num, "%02zu_", index + 1);
    std::string name = std::string("Show/") + num + entry.ClassName;
    if (!entry.Props.empty()) {
        name += "(";
        for (size_t i = 0; i < entry.Props.size(); ++i)
            name += (i ? "," : "") + entry.Props[i].Name + "=" + entry.Props[i].Value;
        name += ")";
    }
    return name;
}

// Registers the effects of the show window's list whose class is one of Classes.
inline bool RegisterShowEffects(std::initializer_list<const char*> Classes) {
    const auto& list = player::ShowTransitions();
    for (size_t i = 0; i < list.size(); ++i) {
        bool mine = false;
        for (const char* c : Classes) mine = mine || std::strcmp(c, list[i].ClassName) == 0;
        if (!mine) continue;
        benchmark::RegisterBenchmark(ShowEffectName(i).c_str(),
                                     [i](benchmark::State& s) { RunPasses(s, [i] { return MakeShowEffect(i); }); })
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}

// Registers another setting of an effect (not in the show's list).
inline bool RegisterEffect(const std::string& Name, EffectMaker Make) {
    benchmark::RegisterBenchmark(("Other/" + Name).c_str(), [Make](benchmark::State& s) { RunPasses(s, Make); })
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMicrosecond);
    return true;
}

}  // namespace tebench
