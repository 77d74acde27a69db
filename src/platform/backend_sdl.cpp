// The SDL2 backend: every visible top-level window is an SDL window (borderless, full
// screen when it covers the screen) that presents the changed part of the window's surface
// at GdiFlush and at every pump; SDL mouse and keyboard events become the layer's input;
// a foreign X11 window (the host of a preview) is adopted with SDL_CreateWindowFrom, and
// when it is destroyed the windows placed inside it are asked to close.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>
#include <vector>

#include "platform/display.h"
#include "platform/gdi_device_internal.h"
#include "platform/signals.h"
#include "platform/user_state_internal.h"
#include "platform/user_testhooks.h"

namespace win::display {

namespace {

int VirtualKeyFor(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return VK_F1 + (k - SDLK_F1);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
    switch (k) {
        case SDLK_KP_0: return VK_NUMPAD0;
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT: return VK_MENU;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_CAPSLOCK: return VK_CAPITAL;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
        case SDLK_KP_PLUS: return VK_ADD;
        case SDLK_KP_MINUS: return VK_SUBTRACT;
        case SDLK_KP_PERIOD: return VK_DECIMAL;
        case SDLK_KP_DIVIDE: return VK_DIVIDE;
        default: return 0;
    }
}

// Xlib, reached through the library SDL itself loads, for what SDL does not offer about
// a foreign window: whether it exists, and the news that it was destroyed.
struct Xlib {
    void* lib = nullptr;
    Display* (*OpenDisplay)(const char*) = nullptr;
    int (*CloseDisplay)(Display*) = nullptr;
    XErrorHandler (*SetErrorHandler)(XErrorHandler) = nullptr;
    Status (*GetWindowAttributes)(Display*, Window, XWindowAttributes*) = nullptr;
    int (*Sync)(Display*, Bool) = nullptr;
    int (*SelectInput)(Display*, Window, long) = nullptr;
    int (*Pending)(Display*) = nullptr;
    int (*NextEvent)(Display*, XEvent*) = nullptr;

    bool Load() {
        if (lib) return true;
        void* l = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!l) return false;
        auto sym = [l](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(l, name));
            return fn != nullptr;
        };
        if (!(sym(OpenDisplay, "XOpenDisplay") && sym(CloseDisplay, "XCloseDisplay") &&
              sym(SetErrorHandler, "XSetErrorHandler") && sym(GetWindowAttributes, "XGetWindowAttributes") &&
              sym(Sync, "XSync") && sym(SelectInput, "XSelectInput") && sym(Pending, "XPending") &&
              sym(NextEvent, "XNextEvent"))) {
            dlclose(l);
            return false;
        }
        lib = l;
        return true;
    }
    ~Xlib() {
        if (lib) dlclose(lib);
    }
};

// X errors are fatal by default. A foreign window can go away at any moment, so errors
// about the windows this program adopted are expected and dropped; once one of them is
// gone (the program is then closing) errors of SDL's own requests on it are dropped too.
// Errors on the watching connection only set a flag. Everything else goes on to the
// handler that was in place before.
struct XErrors {
    std::mutex mutex;
    std::vector<unsigned long> adopted;
    Display* watch = nullptr;
    bool hostGone = false;
    XErrorHandler previous = nullptr;
    bool installed = false;
};
XErrors g_xErrors;
std::atomic<bool> g_watchFailed{false};

int OnXError(Display* d, XErrorEvent* e) {
    {
        std::lock_guard<std::mutex> lock(g_xErrors.mutex);
        if (d == g_xErrors.watch) {
            g_watchFailed = true;
            return 0;
        }
        if (g_xErrors.hostGone) return 0;
        for (unsigned long id : g_xErrors.adopted)
            if (id == e->resourceid) return 0;
    }
    return g_xErrors.previous ? g_xErrors.previous(d, e) : 0;
}

// A connection of the backend's own that watches the adopted windows.
class ForeignWatch {
public:
    ~ForeignWatch() {
        if (display_) {
            {
                std::lock_guard<std::mutex> lock(g_xErrors.mutex);
                g_xErrors.watch = nullptr;
            }
            x_.CloseDisplay(display_);
        }
    }

    // Whether `id` names a window; when it does, its destruction is reported from now on.
    bool Watch(uint64_t id) {
        const char* driver = SDL_GetCurrentVideoDriver();
        if (!driver || std::strcmp(driver, "x11") != 0 || id == 0 || id > 0x1FFFFFFF) return false;
        if (!Open()) return false;
        g_watchFailed = false;
        XWindowAttributes attrs;
        Status ok = x_.GetWindowAttributes(display_, static_cast<Window>(id), &attrs);
        x_.SelectInput(display_, static_cast<Window>(id), StructureNotifyMask);
        x_.Sync(display_, False);
        if (ok == 0 || g_watchFailed) return false;
        std::lock_guard<std::mutex> lock(g_xErrors.mutex);
        g_xErrors.adopted.push_back(static_cast<unsigned long>(id));
        return true;
    }

    // Calls `gone` for each watched window destroyed since the last call. Every
    // `pollMs` each window is also asked for, in case the news was missed.
    template <class F>
    void Check(const std::vector<uint64_t>& ids, uint64_t nowMs, F gone) {
        if (!display_) return;
        while (x_.Pending(display_) > 0) {
            XEvent ev;
            x_.NextEvent(display_, &ev);
            if (ev.type == DestroyNotify) gone(static_cast<uint64_t>(ev.xdestroywindow.window));
        }
        if (nowMs - lastPoll_ < kPollMs) return;
        lastPoll_ = nowMs;
        for (uint64_t id : ids) {
            g_watchFailed = false;
            XWindowAttributes attrs;
            Status ok = x_.GetWindowAttributes(display_, static_cast<Window>(id), &attrs);
            x_.Sync(display_, False);
            if (ok == 0 || g_watchFailed) gone(id);
        }
    }

    static void HostGone() {
        std::lock_guard<std::mutex> lock(g_xErrors.mutex);
        g_xErrors.hostGone = true;
    }

private:
    static constexpr uint64_t kPollMs = 500;

    bool Open() {
        if (display_) return true;
        if (!x_.Load()) return false;
        display_ = x_.OpenDisplay(nullptr);
        if (!display_) return false;
        std::lock_guard<std::mutex> lock(g_xErrors.mutex);
        g_xErrors.watch = display_;
        if (!g_xErrors.installed) {
            g_xErrors.previous = x_.SetErrorHandler(OnXError);
            g_xErrors.installed = true;
        }
        return true;
    }

    Xlib x_;
    Display* display_ = nullptr;
    uint64_t lastPoll_ = 0;
};

class SdlBackend : public Backend {
public:
    SdlBackend(int w, int h) : w_(w), h_(h) {}
    ~SdlBackend() override {
        for (auto& [hwnd, win] : wins_) {
            if (win.src) SDL_FreeSurface(win.src);
            SDL_DestroyWindow(win.window);
        }
        wins_.clear();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    const char* Name() const override { return "sdl"; }
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    bool NeedsPolling() const override { return true; }

    void TopLevelsChanged() override { syncPending_ = true; }
    void SurfaceChanged(HWND hwnd) override {
        auto it = wins_.find(hwnd);
        if (it != wins_.end()) it->second.dirty = true;
    }

    void Flush() override {
        if (syncPending_) Sync();
        for (auto& [hwnd, win] : wins_) {
            // What was drawn through window DCs (also a DC held across the frames of an
            // animation) since the last present; a window marked dirty is shown whole.
            RECT box;
            user::Window* w = user::W(hwnd);
            bool drawn = w && w->surface && gdi_device::TakeSurfaceChanges(w->surface, &box);
            if (win.dirty)
                Present(hwnd, win, nullptr);
            else if (drawn)
                Present(hwnd, win, &box);
        }
    }

    void Pump() override {
        Flush();
        CheckForeignHosts();
        SDL_Event e;
        while (SDL_PollEvent(&e)) Handle(e);
        if (syncPending_) Sync();
    }

    void SetCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

    int ShowMessageBox(HWND, const std::string& text, const std::string& caption, unsigned type) override {
        static const int sets[6][3] = {
            {IDOK, 0, 0},     {IDOK, IDCANCEL, 0},   {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
            {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0}};
        static const char* names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
        unsigned set = type & 0x0F;
        if (set > 5) set = 0;
        SDL_MessageBoxButtonData buttons[3];
        int n = 0;
        unsigned def = (type >> 8) & 0x0F;
        for (int i = 0; i < 3 && sets[set][i]; ++i, ++n) {
            buttons[i].buttonid = sets[set][i];
            buttons[i].text = names[sets[set][i]];
            buttons[i].flags = static_cast<unsigned>(i) == def ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
        }
        Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
        unsigned icon = type & 0xF0;
        if (icon == MB_ICONSTOP) flags = SDL_MESSAGEBOX_ERROR;
        if (icon == MB_ICONEXCLAMATION) flags = SDL_MESSAGEBOX_WARNING;
        SDL_MessageBoxData data{flags, nullptr, caption.c_str(), text.c_str(), n, buttons, nullptr};
        int chosen = 0;
        if (SDL_ShowMessageBox(&data, &chosen) != 0) return 0;
        return chosen > 0 ? chosen : 0;
    }

    HWND AdoptForeign(uint64_t id) override {
        for (auto& [hwnd, win] : wins_)
            if (win.adopted && win.nativeId == id) return hwnd;
        if (!watch_.Watch(id)) return nullptr;
        SDL_Window* sw = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<uintptr_t>(id)));
        if (!sw) return nullptr;
        int x = 0, y = 0, w = 0, h = 0;
        SDL_GetWindowPosition(sw, &x, &y);
        SDL_GetWindowSize(sw, &w, &h);
        HWND hwnd = user::CreateForeign(x, y, w, h, id);
        if (!hwnd) {
            SDL_DestroyWindow(sw);
            return nullptr;
        }
        Win win;
        win.window = sw;
        win.adopted = true;
        win.nativeId = id;
        win.dirty = true;
        wins_[hwnd] = win;
        windowIds_[SDL_GetWindowID(sw)] = hwnd;
        return hwnd;
    }

    uint64_t NativeId(HWND hwnd) const override {
        auto it = wins_.find(hwnd);
        if (it == wins_.end()) return 0;
        if (it->second.adopted) return it->second.nativeId;
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(it->second.window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
        return static_cast<uint64_t>(info.info.x11.window);
    }

private:
    struct Win {
        SDL_Window* window = nullptr;
        bool adopted = false;
        uint64_t nativeId = 0;
        bool hostGone = false;  // adopted: the foreign window was destroyed
        bool dirty = true;
        RECT rect;
        bool fullscreen = false;
        // The window's surface as an SDL surface over the same pixels (made again only
        // when the surface's memory or size changes).
        SDL_Surface* src = nullptr;
        void* srcBits = nullptr;
        int srcW = 0, srcH = 0;
        long srcStride = 0;
    };

    // A destroyed host of an adopted window: nothing is drawn into it any more, and the
    // windows the program placed inside it are asked to close (the preview then ends).
    void CheckForeignHosts() {
        std::vector<uint64_t> ids;
        for (const auto& [hwnd, win] : wins_)
            if (win.adopted && !win.hostGone) ids.push_back(win.nativeId);
        if (ids.empty()) return;
        watch_.Check(ids, SDL_GetTicks64(), [this](uint64_t gone) {
            for (auto& [hwnd, win] : wins_) {
                if (!win.adopted || win.hostGone || win.nativeId != gone) continue;
                win.hostGone = true;
                ForeignWatch::HostGone();
                if (user::Window* w = user::W(hwnd)) {
                    const std::vector<HWND> kids = w->children;
                    for (HWND c : kids) PostMessageA(c, WM_CLOSE, 0, 0);
                }
            }
        });
    }

    bool Covers(const RECT& r) const { return r.left <= 0 && r.top <= 0 && r.right >= w_ && r.bottom >= h_; }

    // Makes the SDL windows follow the visible top-level windows.
    void Sync() {
        syncPending_ = false;
        std::map<HWND, bool> wanted;
        const auto tops = user::S().topLevels;
        for (auto it = tops.rbegin(); it != tops.rend(); ++it) {  // bottom first, so raising keeps z-order
            user::Window* w = user::W(*it);
            if (!w) continue;
            auto have = wins_.find(*it);
            if (w->foreign) {
                if (have != wins_.end()) wanted[*it] = true;
                continue;
            }
            if (!(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) continue;
            wanted[*it] = true;
            RECT r = w->window;
            bool full = Covers(r);
            if (have == wins_.end()) {
                Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN | SDL_WINDOW_SKIP_TASKBAR;
                if (full) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
                SDL_Window* sw =
                    SDL_CreateWindow(w->text.c_str(), r.left, r.top, std::max(1, static_cast<int>(r.right - r.left)),
                                     std::max(1, static_cast<int>(r.bottom - r.top)), flags);
                if (!sw) {
                    std::fprintf(stderr, "sdl: cannot create a window: %s\n", SDL_GetError());
                    continue;
                }
                Win win;
                win.window = sw;
                win.rect = r;
                win.fullscreen = full;
                wins_[*it] = win;
                windowIds_[SDL_GetWindowID(sw)] = *it;
            } else {
                Win& win = have->second;
                if (full != win.fullscreen) {
                    SDL_SetWindowFullscreen(win.window, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
                    win.fullscreen = full;
                }
                if (!full && (r.left != win.rect.left || r.top != win.rect.top))
                    SDL_SetWindowPosition(win.window, r.left, r.top);
                if (!full && (r.right - r.left != win.rect.right - win.rect.left ||
                              r.bottom - r.top != win.rect.bottom - win.rect.top))
                    SDL_SetWindowSize(win.window, std::max(1, static_cast<int>(r.right - r.left)),
                                      std::max(1, static_cast<int>(r.bottom - r.top)));
                win.rect = r;
                win.dirty = true;
                SDL_RaiseWindow(win.window);
            }
        }
        for (auto it = wins_.begin(); it != wins_.end();) {
            if (wanted.count(it->first)) {
                ++it;
                continue;
            }
            // For an adopted window this frees SDL's record only: the foreign window stays.
            windowIds_.erase(SDL_GetWindowID(it->second.window));
            if (it->second.src) SDL_FreeSurface(it->second.src);
            SDL_DestroyWindow(it->second.window);
            it = wins_.erase(it);
        }
    }

    // Copies the surface (or the part of it given) to the SDL window and shows that part.
    void Present(HWND hwnd, Win& win, const RECT* part) {
        win.dirty = false;
        if (win.hostGone) return;
        user::Window* w = user::W(hwnd);
        if (!w || !w->surface) return;
        gdi_device::DibView v;
        if (!gdi_device::GetDibView(w->surface, &v) || v.bitsPerPixel != 32 || v.stride <= 0) return;
        if (!win.src || win.srcBits != v.bits || win.srcW != v.width || win.srcH != v.height ||
            win.srcStride != v.stride) {
            if (win.src) SDL_FreeSurface(win.src);
            win.src = SDL_CreateRGBSurfaceWithFormatFrom(v.Row(0), v.width, v.height, 32, static_cast<int>(v.stride),
                                                         SDL_PIXELFORMAT_RGB888);
            win.srcBits = win.src ? v.bits : nullptr;
            win.srcW = v.width;
            win.srcH = v.height;
            win.srcStride = v.stride;
            if (!win.src) return;
            SDL_SetSurfaceBlendMode(win.src, SDL_BLENDMODE_NONE);
        }
        SDL_Surface* dst = SDL_GetWindowSurface(win.window);
        if (!dst) return;
        SDL_Rect r{0, 0, std::min(v.width, dst->w), std::min(v.height, dst->h)};
        if (part) {
            int l = std::max(0, static_cast<int>(part->left)), t = std::max(0, static_cast<int>(part->top));
            int rr = std::min(r.w, static_cast<int>(part->right)), b = std::min(r.h, static_cast<int>(part->bottom));
            if (rr <= l || b <= t) return;
            r = SDL_Rect{l, t, rr - l, b - t};
        }
        if (r.w <= 0 || r.h <= 0) return;
        SDL_Rect at = r;
        SDL_BlitSurface(win.src, &r, dst, &at);
        SDL_UpdateWindowSurfaceRects(win.window, &r, 1);
    }

    POINT ScreenPoint(Uint32 windowId, int x, int y) {
        auto it = windowIds_.find(windowId);
        if (it != windowIds_.end())
            if (user::Window* w = user::W(it->second)) return POINT{w->window.left + x, w->window.top + y};
        return POINT{x, y};
    }

    void Handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_MOUSEMOTION: {
                POINT p = ScreenPoint(e.motion.windowID, e.motion.x, e.motion.y);
                test::MouseMove(p.x, p.y);
                break;
            }
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: {
                POINT p = ScreenPoint(e.button.windowID, e.button.x, e.button.y);
                test::MouseMove(p.x, p.y);
                test::Button b = e.button.button == SDL_BUTTON_RIGHT    ? test::Button::Right
                                 : e.button.button == SDL_BUTTON_MIDDLE ? test::Button::Middle
                                                                        : test::Button::Left;
                test::MouseButton(b, e.type == SDL_MOUSEBUTTONDOWN);
                break;
            }
            case SDL_MOUSEWHEEL: test::Wheel(e.wheel.y * WHEEL_DELTA); break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (int vk = VirtualKeyFor(e.key.keysym.sym)) test::Key(vk, e.type == SDL_KEYDOWN);
                break;
            case SDL_QUIT: RequestCloseAll(); break;
            case SDL_WINDOWEVENT: {
                auto it = windowIds_.find(e.window.windowID);
                if (it == windowIds_.end()) break;
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    SurfaceChanged(it->second);
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) PostMessageA(it->second, WM_CLOSE, 0, 0);
                break;
            }
            default: break;
        }
    }

    int w_, h_;
    bool syncPending_ = true;
    ForeignWatch watch_;
    std::map<HWND, Win> wins_;
    std::map<Uint32, HWND> windowIds_;
};

}  // namespace

std::unique_ptr<Backend> MakeSdlBackend() {
    // SIGINT and SIGTERM are the platform's (signals.h): SDL must not turn them into a
    // quit event of its own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Surfaces are presented from memory: no GL context is needed for them.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    // Without a window system SDL may settle for a driver that shows nothing (no screen to
    // see): that is no display, unless SDL_VIDEODRIVER asked for that driver.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    bool seen = driver && (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0);
    if (!seen && !(asked && *asked)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.w <= 0 || mode.h <= 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return std::make_unique<SdlBackend>(mode.w, mode.h);
}

}  // namespace win::display
