// The screen composite, the top-level windows' surfaces, the backend in use, PNG captures
// and the choice of backend from the environment.
#include <png.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/gdi.h"
#include "platform/gdi_device_internal.h"
#include "platform/user_state_internal.h"

namespace win::display {

namespace {

struct DisplayState {
    // Until the layer is started, the screen is a headless one of the default size.
    DisplayState() : backend(MakeHeadlessBackend(1024, 768)), desktop(1024 * 768, 0) {}

    std::unique_ptr<Backend> backend;
    int width = 1024;
    int height = 768;
    std::vector<uint32_t> desktop;  // what lies under every window (pixels left by hidden windows)

    HBITMAP screen = nullptr;      // the screen DC's surface
    std::vector<HBITMAP> retired;  // surfaces still drawn into by a DC

    std::mutex captureMutex;
    std::string captureDir;
    int captureEvery = 0;
    uint64_t captureGeneration = 0;
    ClockEventId captureEvent = 0;
    std::vector<int64_t> deferredCaptures;  // ms, taken at the next pump
    std::string missingDisplay;             // why no display was opened ("" : none missing)

    // The first-light watch (LUMETRA_FIRST_LIGHT): the screen point looked at after every
    // present and the file that receives the time it first shows a colour other than black.
    bool watchFirstLight = false;
    POINT firstLightAt{};
    std::string firstLightFile;
};

DisplayState& D() {
    static DisplayState d;
    return d;
}

void ResizeDesktop() {
    DisplayState& d = D();
    d.desktop.assign(static_cast<size_t>(d.width) * static_cast<size_t>(d.height), 0);
    if (d.screen) {
        bool inUse = false;
        for (const auto& e : user::S().dcs)
            if (e.surface == d.screen) inUse = true;
        if (inUse)
            d.retired.push_back(d.screen);
        else
            user::GdiDeleteObject(d.screen);
        d.screen = nullptr;
    }
}

bool SurfaceInUse(HBITMAP bmp) {
    for (const auto& e : user::S().dcs)
        if (e.surface == bmp) return true;
    return false;
}

void Retire(HBITMAP bmp) {
    if (!bmp) return;
    if (SurfaceInUse(bmp))
        D().retired.push_back(bmp);
    else
        user::GdiDeleteObject(bmp);
}

// The on-screen shape of a top-level window (window region applied), in screen coordinates.
user::RectSet ScreenShape(const user::Window* w) {
    user::RectSet rs(RECT{0, 0, w->window.right - w->window.left, w->window.bottom - w->window.top});
    if (w->hasWindowRgn) rs.Intersect(w->windowRgnRects);
    rs.Offset(w->window.left, w->window.top);
    return rs;
}

// Copies the visible top-level surfaces, bottom to top, into `out` (area-sized).
void Compose(const RECT& area, HWND except, uint32_t* out) {
    DisplayState& d = D();
    int aw = area.right - area.left, ah = area.bottom - area.top;
    for (int y = 0; y < ah; ++y) {
        int sy = area.top + y;
        for (int x = 0; x < aw; ++x) {
            int sx = area.left + x;
            out[static_cast<size_t>(y) * aw + x] = (sx >= 0 && sy >= 0 && sx < d.width && sy < d.height)
                                                       ? d.desktop[static_cast<size_t>(sy) * d.width + sx]
                                                       : 0;
        }
    }
    const auto& tops = user::S().topLevels;
    RECT screen{0, 0, d.width, d.height};
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        if (*it == except) continue;
        user::Window* w = user::W(*it);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE) || !w->surface) continue;
        gdi_device::DibView v;
        if (!gdi_device::GetDibView(w->surface, &v) || v.bitsPerPixel != 32) continue;
        user::RectSet shape = ScreenShape(w);
        shape.Intersect(area);
        shape.Intersect(screen);
        for (const RECT& r : shape.Rects()) {
            for (int sy = r.top; sy < r.bottom; ++sy) {
                int ly = sy - w->window.top;
                if (ly < 0 || ly >= v.height) continue;
                const uint32_t* src = reinterpret_cast<const uint32_t*>(v.Row(ly));
                int lx0 = std::max(0, r.left - w->window.left);
                int lx1 = std::min(v.width, r.right - w->window.left);
                if (lx1 <= lx0) continue;
                uint32_t* dst = out + static_cast<size_t>(sy - area.top) * aw + (lx0 + w->window.left - area.left);
                std::memcpy(dst, src + lx0, static_cast<size_t>(lx1 - lx0) * 4);
            }
        }
    }
}

void ScheduleCapture(int64_t ms, uint64_t generation);

void TakeCapture(int64_t ms) {
    DisplayState& d = D();
    std::string dir;
    {
        std::lock_guard<std::mutex> lock(d.captureMutex);
        dir = d.captureDir;
    }
    if (dir.empty()) return;
    char name[32];
    std::snprintf(name, sizeof name, "%08lld.png", static_cast<long long>(ms));
    std::string path = dir + "/" + name;
    if (!WriteCompositePng(path)) std::fprintf(stderr, "capture: cannot write %s\n", path.c_str());
}

void ScheduleCapture(int64_t ms, uint64_t generation) {
    DisplayState& d = D();
    std::lock_guard<std::mutex> lock(d.captureMutex);
    if (generation != d.captureGeneration || d.captureEvery <= 0) return;
    d.captureEvent = ClockSchedule(TicksAtMs(ms), [ms, generation] {
        DisplayState& dd = D();
        {
            std::lock_guard<std::mutex> l(dd.captureMutex);
            if (generation != dd.captureGeneration) return;
        }
        // The composite reads the window tree: take it here when the UI thread cannot be
        // changing it (it is this thread, or it waits for messages while virtual time is
        // moved by another thread); otherwise at the UI thread's next pump, named by the
        // time it fell due.
        if (user::OnUiThread() || (GetClockMode() == ClockMode::Virtual && user::UiThreadWaitingForMessages())) {
            TakeCapture(ms);
        } else {
            std::lock_guard<std::mutex> l(dd.captureMutex);
            dd.deferredCaptures.push_back(ms);
            user::WakeQueue();
        }
        int every;
        {
            std::lock_guard<std::mutex> l(dd.captureMutex);
            every = dd.captureEvery;
        }
        if (every > 0) ScheduleCapture(ms + every, generation);
    });
}

bool ParseScreen(const char* text, int* w, int* h) {
    if (!text) return false;
    int a = 0, b = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text, "%d%c%d%c", &a, &x, &b, &extra) != 3 || (x != 'x' && x != 'X')) return false;
    if (a < 1 || b < 1 || a > 16384 || b > 16384) return false;
    *w = a;
    *h = b;
    return true;
}

}  // namespace

void SetBackend(std::unique_ptr<Backend> backend) {
    DisplayState& d = D();
    d.backend = std::move(backend);
    d.width = d.backend ? d.backend->Width() : 1024;
    d.height = d.backend ? d.backend->Height() : 768;
    SetScreenSize(d.width, d.height);
    ResizeDesktop();
}

Backend* CurrentBackend() { return D().backend.get(); }
const std::string& MissingDisplay() { return D().missingDisplay; }
int ScreenWidth() { return D().width; }
int ScreenHeight() { return D().height; }

HBITMAP ComposeScreen() {
    DisplayState& d = D();
    if (!d.screen) d.screen = user::GdiCreateSurface(d.width, d.height);
    if (!d.screen) return nullptr;
    gdi_device::DibView v;
    if (!gdi_device::GetDibView(d.screen, &v)) return nullptr;
    std::vector<uint32_t> px(static_cast<size_t>(d.width) * d.height);
    Compose(RECT{0, 0, d.width, d.height}, nullptr, px.data());
    for (int y = 0; y < d.height && y < v.height; ++y)
        std::memcpy(v.Row(y), px.data() + static_cast<size_t>(y) * d.width,
                    static_cast<size_t>(std::min(d.width, v.width)) * 4);
    return d.screen;
}

std::vector<uint32_t> ComposeRect(const RECT& area, HWND except) {
    int w = std::max(0, static_cast<int>(area.right - area.left)),
        h = std::max(0, static_cast<int>(area.bottom - area.top));
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    if (w && h) Compose(area, except, px.data());
    for (uint32_t& p : px) p &= 0x00FFFFFF;
    return px;
}

HWND AdoptForeignWindow(uint64_t nativeId) {
    Backend* b = CurrentBackend();
    return b ? b->AdoptForeign(nativeId) : nullptr;
}

namespace {

// After a present on the UI thread: once the watched point of the screen is no longer
// black, the monotonic time in nanoseconds goes to the watch's file and the watch ends.
void WatchFirstLight() {
    DisplayState& d = D();
    if (!d.watchFirstLight) return;
    const POINT p = d.firstLightAt;
    const std::vector<uint32_t> px = ComposeRect(RECT{p.x, p.y, p.x + 1, p.y + 1}, nullptr);
    if (px.empty() || px[0] == 0) return;
    d.watchFirstLight = false;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (FILE* f = std::fopen(d.firstLightFile.c_str(), "w")) {
        std::fprintf(f, "%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fclose(f);
    }
}

// LUMETRA_FIRST_LIGHT=X,Y,FILE: a benchmark's watch on the first picture (see above).
void StartFirstLightWatch() {
    DisplayState& d = D();
    d.watchFirstLight = false;
    const char* setting = std::getenv("LUMETRA_FIRST_LIGHT");
    if (!setting || !*setting) return;
    int x = -1, y = -1, used = 0;
    if (std::sscanf(setting, "%d,%d,%n", &x, &y, &used) != 2 || used == 0 || !setting[used] || x < 0 || y < 0) {
        std::fprintf(stderr, "LUMETRA_FIRST_LIGHT: expected X,Y,FILE; no watch\n");
        return;
    }
    d.firstLightAt = POINT{x, y};
    d.firstLightFile = setting + used;
    d.watchFirstLight = true;
}

}  // namespace

void PumpBackend() {
    DisplayState& d = D();
    std::vector<int64_t> due;
    {
        std::lock_guard<std::mutex> lock(d.captureMutex);
        due.swap(d.deferredCaptures);
    }
    for (int64_t ms : due) TakeCapture(ms);
    if (d.backend) d.backend->Pump();
    if (user::OnUiThread()) WatchFirstLight();
}

void PresentChangedSurfaces() {
    // Only the UI thread presents (a transition thread's frames are shown at its pumps).
    if (!user::OnUiThread()) return;
    if (Backend* b = D().backend.get()) b->Flush();
    WatchFirstLight();
}

bool BackendNeedsPolling() { return D().backend && D().backend->NeedsPolling(); }

void StartCaptures(const std::string& dir, int everyMs) {
    StopCaptures();
    if (everyMs <= 0 || dir.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    DisplayState& d = D();
    uint64_t gen;
    {
        std::lock_guard<std::mutex> lock(d.captureMutex);
        d.captureDir = dir;
        d.captureEvery = everyMs;
        gen = ++d.captureGeneration;
    }
    int64_t now = ClockElapsedMs();
    int64_t first = (now + everyMs - 1) / everyMs * everyMs;
    ScheduleCapture(first, gen);
}

void StopCaptures() {
    DisplayState& d = D();
    ClockEventId ev;
    {
        std::lock_guard<std::mutex> lock(d.captureMutex);
        ++d.captureGeneration;
        d.captureEvery = 0;
        d.captureDir.clear();
        d.deferredCaptures.clear();
        ev = d.captureEvent;
        d.captureEvent = 0;
    }
    if (ev) ClockCancel(ev);
}

bool WriteCompositePng(const std::string& path) {
    DisplayState& d = D();
    std::vector<uint32_t> px = ComposeRect(RECT{0, 0, d.width, d.height}, nullptr);
    std::vector<uint8_t> rgb(px.size() * 3);
    for (size_t i = 0; i < px.size(); ++i) {
        rgb[i * 3] = static_cast<uint8_t>(px[i] >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(px[i] >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(px[i]);
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(d.width);
    img.height = static_cast<png_uint_32>(d.height);
    img.format = PNG_FORMAT_RGB;
    int ok = png_image_write_to_file(&img, path.c_str(), 0, rgb.data(), d.width * 3, nullptr);
    png_image_free(&img);
    return ok != 0;
}

void StartFromEnvironment() {
    int w = 1024, h = 768;
    const char* screen = std::getenv("LUMETRA_SCREEN");
    if (screen && *screen && !ParseScreen(screen, &w, &h))
        std::fprintf(stderr, "LUMETRA_SCREEN: expected WxH, using 1024x768\n");
    const char* choice = std::getenv("LUMETRA_DISPLAY");
    std::string want = choice ? choice : "";
    std::unique_ptr<Backend> b;
    std::string& missing = D().missingDisplay;
    missing.clear();
    if (want == "sdl" || want.empty()) {
        const char* x = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        bool named = (x && *x) || (wayland && *wayland);
        if (want == "sdl" || named) b = MakeSdlBackend();
        if (!b) {
            if (x && *x)
                missing = std::string("cannot open X display '") + x + "'";
            else if (wayland && *wayland)
                missing = std::string("cannot open Wayland display '") + wayland + "'";
            else
                missing = "DISPLAY is not set";
        }
    } else if (want != "headless") {
        std::fprintf(stderr, "LUMETRA_DISPLAY: unknown backend '%s', running headless\n", want.c_str());
        missing = "LUMETRA_DISPLAY names no backend ('" + want + "')";
    }
    if (!b) b = MakeHeadlessBackend(w, h);
    SetBackend(std::move(b));
    StartFirstLightWatch();
    const char* dir = std::getenv("LUMETRA_CAPTURE_DIR");
    const char* every = std::getenv("LUMETRA_CAPTURE_EVERY_MS");
    if (dir && *dir) {
        char* end = nullptr;
        long n = every ? std::strtol(every, &end, 10) : 0;
        if (!every || *end || n <= 0 || n > 86400000)
            std::fprintf(stderr, "LUMETRA_CAPTURE_EVERY_MS: expected a positive number of milliseconds, no captures\n");
        else
            StartCaptures(dir, static_cast<int>(n));
    }
}

int64_t TicksAtMs(int64_t ms) {
    if (GetClockMode() == ClockMode::Virtual) return ms * kTicksPerMs;
    return ClockNowTicks() - ClockElapsedMs() * kTicksPerMs + ms * kTicksPerMs;
}

void ShutDown() {
    StopCaptures();
    DisplayState& d = D();
    d.backend.reset();
    if (d.screen && !SurfaceInUse(d.screen)) user::GdiDeleteObject(d.screen);
    d.screen = nullptr;
}

}  // namespace win::display

namespace win::user {

constexpr int kMaxSurfaceSide = 16384;

void SurfaceForWindow(Window* w) {
    if (w->parent) return;
    int width = std::max(1, static_cast<int>(w->window.right - w->window.left));
    int height = std::max(1, static_cast<int>(w->window.bottom - w->window.top));
    if (w->surface && w->surfaceW == width && w->surfaceH == height) return;
    // Surfaces are capped at 16384 pixels a side: a larger window exists but cannot paint.
    HBITMAP fresh = width <= kMaxSurfaceSide && height <= kMaxSurfaceSide ? GdiCreateSurface(width, height) : nullptr;
    if (fresh && w->surface) {
        gdi_device::DibView a, b;
        if (gdi_device::GetDibView(w->surface, &a) && gdi_device::GetDibView(fresh, &b)) {
            int cw = std::min(a.width, b.width) * 4;
            for (int y = 0; y < std::min(a.height, b.height); ++y)
                std::memcpy(b.Row(y), a.Row(y), static_cast<size_t>(cw));
        }
    }
    display::Retire(w->surface);
    w->surface = fresh;
    w->surfaceW = fresh ? width : 0;
    w->surfaceH = fresh ? height : 0;
}

void SurfaceRelease(Window* w) {
    display::Retire(w->surface);
    w->surface = nullptr;
    w->surfaceW = w->surfaceH = 0;
}

void SurfaceDcReleased(HBITMAP surface) {
    auto& retired = display::D().retired;
    auto it = std::find(retired.begin(), retired.end(), surface);
    if (it == retired.end() || display::SurfaceInUse(surface)) return;
    retired.erase(it);
    GdiDeleteObject(surface);
}

void SurfaceShown(Window* w) {
    SurfaceForWindow(w);
    if (!w->surface) return;
    gdi_device::DibView v;
    if (!gdi_device::GetDibView(w->surface, &v)) return;
    RECT area{w->window.left, w->window.top, w->window.left + v.width, w->window.top + v.height};
    std::vector<uint32_t> px(static_cast<size_t>(v.width) * v.height);
    display::Compose(area, w->hwnd, px.data());
    for (int y = 0; y < v.height; ++y)
        std::memcpy(v.Row(y), px.data() + static_cast<size_t>(y) * v.width, static_cast<size_t>(v.width) * 4);
}

void BurnIntoBelow(Window* w) {
    if (!w->surface || w->parent) return;
    gdi_device::DibView src;
    if (!gdi_device::GetDibView(w->surface, &src)) return;
    auto& d = display::D();
    RectSet left = display::ScreenShape(w);
    left.Intersect(RECT{0, 0, d.width, d.height});
    auto copy = [&](const RECT& r, uint8_t* dstBase, long dstStride, int dstX, int dstY) {
        for (int sy = r.top; sy < r.bottom; ++sy) {
            const uint32_t* s =
                reinterpret_cast<const uint32_t*>(src.Row(sy - w->window.top)) + (r.left - w->window.left);
            uint32_t* t = reinterpret_cast<uint32_t*>(dstBase + dstStride * (sy - dstY)) + (r.left - dstX);
            std::memcpy(t, s, static_cast<size_t>(r.right - r.left) * 4);
        }
    };
    const auto& tops = S().topLevels;
    auto me = std::find(tops.begin(), tops.end(), w->hwnd);
    if (me == tops.end()) return;
    for (auto it = me + 1; it != tops.end() && !left.Empty(); ++it) {
        Window* b = W(*it);
        if (!b || !(b->style & WS_VISIBLE) || (b->style & WS_MINIMIZE) || !b->surface) continue;
        gdi_device::DibView dv;
        if (!gdi_device::GetDibView(b->surface, &dv)) continue;
        RectSet part = left;
        part.Intersect(display::ScreenShape(b));
        part.Intersect(RECT{b->window.left, b->window.top, b->window.left + dv.width, b->window.top + dv.height});
        for (const RECT& r : part.Rects()) copy(r, dv.Row(0), dv.stride, b->window.left, b->window.top);
        left.Subtract(part);
        SurfaceChanged(*it);
    }
    for (const RECT& r : left.Rects())
        copy(r, reinterpret_cast<uint8_t*>(d.desktop.data()), static_cast<long>(d.width) * 4, 0, 0);
}

void SurfaceChanged(HWND root) {
    if (auto* b = display::CurrentBackend(); b && root) b->SurfaceChanged(root);
}

void TopLevelsChanged() {
    if (auto* b = display::CurrentBackend()) b->TopLevelsChanged();
}

}  // namespace win::user
