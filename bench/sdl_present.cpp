// Presenting a 1920x1080 window on the SDL backend (through SDL's offscreen driver, which
// copies into the window's framebuffer as the X11 driver does, without a server), against
// a plain copy of the frame's bytes in the same run. A frame at 60 per second has 16.7 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// One window on the SDL backend, drawn through a DC held for the whole run.
struct Desktop {
    HWND hwnd = nullptr;
    HDC dc = nullptr;
    bool sdl = false;
    Desktop() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("LUMETRA_DISPLAY", "sdl", 1);
        SetClockMode(ClockMode::Real);
        PlatformStartUp();
        sdl = std::strcmp(test::BackendName(), "sdl") == 0;
        WNDCLASSA wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "BenchFrame";
        RegisterClassA(&wc);
        // Placed off the origin so that it stays a window of its own size (not the screen's).
        hwnd = CreateWindowExA(0, "BenchFrame", "", WS_POPUP | WS_VISIBLE, 1, 1, kWidth, kHeight, nullptr, nullptr,
                               nullptr, nullptr);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        dc = GetDC(hwnd);
        GdiFlush();
    }
};

Desktop& TheDesktop() {
    static Desktop d;
    return d;
}

// A box of W x H changed (two corner pixels span it) and presented: the whole frame, and
// a 400x300 part of it (a small effect rectangle), of which only that part is presented.
void BM_Present(benchmark::State& state) {
    Desktop& d = TheDesktop();
    if (!d.sdl || !d.dc) {
        state.SkipWithError("no SDL window");
        return;
    }
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    COLORREF c = 0;
    for (auto _ : state) {
        SetPixel(d.dc, 0, 0, c);
        SetPixel(d.dc, w - 1, h - 1, c);
        GdiFlush();
        ++c;
    }
    state.SetBytesProcessed(state.iterations() * int64_t{w} * h * 4);
}
BENCHMARK(BM_Present)->Args({kWidth, kHeight})->Args({400, 300})->Unit(benchmark::kMillisecond);

// The peer: copying the bytes of one frame from memory to memory.
void BM_CopyFrameBytes(benchmark::State& state) {
    std::vector<uint32_t> from(static_cast<size_t>(kWidth) * kHeight, 0x123456), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        ++from[0];
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_CopyFrameBytes)->Unit(benchmark::kMillisecond);

}  // namespace
