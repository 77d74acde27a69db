// The view painting a 4000 x 3000 picture into a 1920 x 1080 view at the fitting zoom (36 %,
// 1440 x 1080 centred): the back buffer composed again (background and the picture through
// the view's coordinate tables) and copied to the window of the headless screen, against a
// plain copy of one 1920 x 1080 24-bit frame in the same run. Run: bench_imaging_view. The
// paint benchmark reports its time as a multiple of the frame copy (x_frame_copy).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench_timing.h"
#include "classlib/Forms.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidview.h"
#include "platform/clock.h"
#include "platform/user_testhooks.h"

namespace {

constexpr int kViewW = 1920, kViewH = 1080;
constexpr int kSrcW = 4000, kSrcH = 3000;
constexpr size_t kFrameBytes = size_t{kViewW} * kViewH * 3;

struct Scene {
    cl::TForm* form = nullptr;
    ie::TVovozIdView* view = nullptr;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kFrameBytes), copy = std::vector<uint8_t>(kFrameBytes);
    double frameCopySeconds = 0;

    Scene() {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(kViewW, kViewH);
        cl::ControlsStartUp();
        cl::Application->Initialize();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, kViewW, kViewH);
        view = new ie::TVovozIdView(form);  // owned by the form
        view->SetBorderStyle(cl::bsNone);
        view->SetParent(form);
        view->SetAlign(cl::alClient);
        ie::TIEBitmap* b = view->GetIEBitmap();
        b->Allocate(kSrcW, kSrcH, ie::ie24RGB);
        std::mt19937 rng(1);
        for (int y = 0; y < kSrcH; ++y) {
            auto* row = static_cast<uint8_t*>(b->GetScanline(y));
            for (int x = 0; x < kSrcW; ++x) {
                row[3 * x] = uint8_t(x * 255 / kSrcW + rng() % 16);
                row[3 * x + 1] = uint8_t(y * 255 / kSrcH);
                row[3 * x + 2] = uint8_t((x + y) / 30 + rng() % 8);
            }
        }
        form->Show();
        view->Update();
        view->ZoomToFit();
        cl::Application->ProcessMessages();
        std::memset(frame.data(), 0x5A, frame.size());
        frameCopySeconds = bench::BestSeconds(10, [&] { CopyFrame(); });
    }

    void CopyFrame() {
        std::memcpy(copy.data(), frame.data(), kFrameBytes);
        benchmark::ClobberMemory();
    }

    // The whole view composed again and copied to the window.
    void Paint() {
        view->SetBackBufferDirty(true);
        view->PaintBackBuffer(cl::TRect{0, 0, kViewW, kViewH});
    }
};

Scene& Data() {
    static Scene s;
    return s;
}

void BM_ViewPaintFit(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) {
        d.Paint();
        benchmark::ClobberMemory();
    }
    const double seconds = bench::BestSeconds(5, [&] { d.Paint(); });
    state.counters["zoom"] = d.view->GetZoom();
    state.counters["x_frame_copy"] = seconds / d.frameCopySeconds;
}
BENCHMARK(BM_ViewPaintFit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FrameCopy(benchmark::State& state) {
    auto& d = Data();
    for (auto _ : state) d.CopyFrame();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_FrameCopy)->Unit(benchmark::kMillisecond);

}  // namespace
