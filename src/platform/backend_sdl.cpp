// The SDL2 backend: every visible top-level window is an SDL window (borderless, full
// screen when it covers the screen) that presents the window's surface when it changes;
// SDL mouse and keyboard events become the layer's input; a foreign X11 window (the host
// of a preview) is adopted with SDL_CreateWindowFrom.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/display.h"
#include "platform/gdi_device.h"
#include "platform/user_state.h"

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

std::atomic<bool> g_xFailed{false};

// Whether an X11 window id names a window (asked on a connection of our own, with X errors
// caught: adopting a window that does not exist must not end the program). Xlib is reached
// through the library SDL itself loads.
bool X11WindowExists(uint64_t id) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0 || id == 0 || id > 0x1FFFFFFF) return false;
    void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    auto openDisplay = reinterpret_cast<Display* (*)(const char*)>(dlsym(lib, "XOpenDisplay"));
    auto closeDisplay = reinterpret_cast<int (*)(Display*)>(dlsym(lib, "XCloseDisplay"));
    auto setHandler = reinterpret_cast<XErrorHandler (*)(XErrorHandler)>(dlsym(lib, "XSetErrorHandler"));
    auto getAttributes = reinterpret_cast<Status (*)(Display*, Window, XWindowAttributes*)>(dlsym(lib, "XGetWindowAttributes"));
    auto sync = reinterpret_cast<int (*)(Display*, Bool)>(dlsym(lib, "XSync"));
    bool exists = false;
    if (openDisplay && closeDisplay && setHandler && getAttributes && sync) {
        if (Display* d = openDisplay(nullptr)) {
            g_xFailed = false;
            XErrorHandler old = setHandler([](Display*, XErrorEvent*) -> int {
                g_xFailed = true;
                return 0;
            });
            XWindowAttributes attrs;
            Status ok = getAttributes(d, static_cast<Window>(id), &attrs);
            sync(d, False);
            setHandler(old);
            exists = ok != 0 && !g_xFailed;
            closeDisplay(d);
        }
    }
    dlclose(lib);
    return exists;
}

class SdlBackend : public Backend {
public:
    SdlBackend(int w, int h) : w_(w), h_(h) {}
    ~SdlBackend() override {
        for (auto& [hwnd, win] : wins_) SDL_DestroyWindow(win.window);
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

    void Pump() override {
        if (syncPending_) Sync();
        // A window DC held across frames (a paced animation) changes the surface without a
        // release: such windows are presented again at most every 15 ms.
        uint64_t now = SDL_GetTicks64();
        bool refreshHeld = now - lastHeldRefresh_ >= 15;
        if (refreshHeld) lastHeldRefresh_ = now;
        for (auto& [hwnd, win] : wins_) {
            bool held = false;
            if (refreshHeld)
                if (user::Window* w = user::W(hwnd))
                    for (const auto& e : user::S().dcs) held |= e.surface && e.surface == w->surface;
            if (win.dirty || held) Present(hwnd, win);
        }
        SDL_Event e;
        while (SDL_PollEvent(&e)) Handle(e);
        if (syncPending_) Sync();
    }

    void SetCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

    int ShowMessageBox(HWND, const std::string& text, const std::string& caption, unsigned type) override {
        static const int sets[6][3] = {{IDOK, 0, 0},       {IDOK, IDCANCEL, 0}, {IDABORT, IDRETRY, IDIGNORE},
                                       {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0}};
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
        if (!X11WindowExists(id)) return nullptr;
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
        bool dirty = true;
        RECT rect;
        bool fullscreen = false;
    };

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
                SDL_Window* sw = SDL_CreateWindow(w->text.c_str(), r.left, r.top, std::max(1, static_cast<int>(r.right - r.left)),
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
                if (!full && (r.left != win.rect.left || r.top != win.rect.top)) SDL_SetWindowPosition(win.window, r.left, r.top);
                if (!full && (r.right - r.left != win.rect.right - win.rect.left || r.bottom - r.top != win.rect.bottom - win.rect.top))
                    SDL_SetWindowSize(win.window, std::max(1, static_cast<int>(r.right - r.left)), std::max(1, static_cast<int>(r.bottom - r.top)));
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
            SDL_DestroyWindow(it->second.window);
            it = wins_.erase(it);
        }
    }

    void Present(HWND hwnd, Win& win) {
        win.dirty = false;
        user::Window* w = user::W(hwnd);
        if (!w || !w->surface) return;
        gdi_device::DibView v;
        if (!gdi_device::GetDibView(w->surface, &v) || v.bitsPerPixel != 32) return;
        SDL_Surface* dst = SDL_GetWindowSurface(win.window);
        if (!dst) return;
        SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(v.Row(0), v.width, v.height, 32, static_cast<int>(v.stride),
                                                              SDL_PIXELFORMAT_RGB888);
        if (!src) return;
        SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
        SDL_BlitSurface(src, nullptr, dst, nullptr);
        SDL_FreeSurface(src);
        SDL_UpdateWindowSurface(win.window);
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
    uint64_t lastHeldRefresh_ = 0;
    std::map<HWND, Win> wins_;
    std::map<Uint32, HWND> windowIds_;
};

}  // namespace

std::unique_ptr<Backend> MakeSdlBackend() {
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Surfaces are presented from memory: no GL context is needed for them.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.w <= 0 || mode.h <= 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return std::make_unique<SdlBackend>(mode.w, mode.h);
}

}  // namespace win::display
