// Window classes, creation and destruction, the window tree, styles, geometry,
// z-order, visibility and SetWindowPos.
#include <strings.h>
#include <algorithm>
#include <cstring>

#include "platform/display.h"
#include "platform/user_state_internal.h"
#include "platform/user_testhooks.h"

namespace win::user {

namespace {

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_TLW_WITH_WSCHILD = 1406;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_INVALID_INDEX = 1413;

std::unique_ptr<State> g_state;
HWND g_desktop = nullptr;

bool IsAtom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

std::shared_ptr<WindowClass> FindClass(LPCSTR name) {
    if (!name) return nullptr;
    for (auto& c : S().classes) {
        if (IsAtom(name)) {
            if (c->atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))) return c;
        } else if (strcasecmp(c->name.c_str(), name) == 0) {
            return c;
        }
    }
    return nullptr;
}

LRESULT ForeignProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void EnsureBuiltins() {
    State& s = S();
    if (!s.classes.empty()) return;
    auto foreign = std::make_shared<WindowClass>();
    foreign->name = "LumetraForeignWindow";
    foreign->atom = s.nextAtom++;
    foreign->proc = ForeignProc;
    foreign->builtin = true;
    s.classes.push_back(foreign);
}

bool IsTopmost(const Window* w) { return (w->exStyle & WS_EX_TOPMOST) != 0; }

// Keeps the topmost band first and every owned window directly above its owner chain.
void NormalizeTopLevels() {
    State& s = S();
    for (HWND h : s.topLevels) {
        Window* w = W(h);
        for (Window* o = w ? W(w->owner) : nullptr; o; o = W(o->owner))
            if (IsTopmost(o)) w->exStyle |= WS_EX_TOPMOST;
    }
    std::stable_partition(s.topLevels.begin(), s.topLevels.end(), [](HWND h) {
        Window* w = W(h);
        return w && IsTopmost(w);
    });
    for (size_t pass = 0; pass < s.topLevels.size() * s.topLevels.size() + 1; ++pass) {
        bool changed = false;
        for (size_t i = 0; i < s.topLevels.size() && !changed; ++i) {
            Window* w = W(s.topLevels[i]);
            if (!w || !w->owner) continue;
            auto it = std::find(s.topLevels.begin(), s.topLevels.end(), w->owner);
            if (it == s.topLevels.end()) continue;
            size_t j = static_cast<size_t>(it - s.topLevels.begin());
            if (j < i) {
                HWND h = s.topLevels[i];
                s.topLevels.erase(s.topLevels.begin() + static_cast<long>(i));
                s.topLevels.insert(s.topLevels.begin() + static_cast<long>(j), h);
                changed = true;
            }
        }
        if (!changed) break;
    }
}

size_t BandTop(const std::vector<HWND>& list, bool topmost) {
    if (topmost) return 0;
    size_t i = 0;
    while (i < list.size()) {
        Window* o = W(list[i]);
        if (!o || !IsTopmost(o)) break;
        ++i;
    }
    return i;
}

// Places w in its sibling list according to insertAfter. Returns true when the order changed.
bool ApplyZOrder(Window* w, HWND after) {
    std::vector<HWND>& list = SiblingList(w);
    std::vector<HWND> before = list;
    auto it = std::find(list.begin(), list.end(), w->hwnd);
    size_t oldIndex = it == list.end() ? 0 : static_cast<size_t>(it - list.begin());
    if (it != list.end()) list.erase(it);
    bool top = w->parent == nullptr;
    size_t pos = oldIndex;
    if (after == HWND_TOP) {
        pos = top ? BandTop(list, IsTopmost(w)) : 0;
    } else if (after == HWND_BOTTOM) {
        if (top) w->exStyle &= ~WS_EX_TOPMOST;
        pos = list.size();
    } else if (after == HWND_TOPMOST) {
        if (top) w->exStyle |= WS_EX_TOPMOST;
        pos = 0;
    } else if (after == HWND_NOTOPMOST) {
        if (top && IsTopmost(w)) {
            w->exStyle &= ~WS_EX_TOPMOST;
            pos = BandTop(list, false);
        }
    } else {
        auto a = std::find(list.begin(), list.end(), after);
        if (a != list.end()) pos = static_cast<size_t>(a - list.begin()) + 1;
    }
    pos = std::min(pos, list.size());
    list.insert(list.begin() + static_cast<long>(pos), w->hwnd);
    if (top) NormalizeTopLevels();
    return list != before;
}

void ComputeClient(Window* w, WINDOWPOS* wp, const RECT& oldWindow, const RECT& oldClient) {
    NCCALCSIZE_PARAMS params;
    params.rgrc[0] = w->window;
    params.rgrc[1] = oldWindow;
    params.rgrc[2] = oldClient;
    params.lppos = wp;
    CallProc(w, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    RECT c = params.rgrc[0];
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    w->client = c;
}

HWND NextToActivate(HWND except) {
    for (HWND h : S().topLevels) {
        Window* w = W(h);
        if (!w || h == except || w->destroying || w->foreign) continue;
        if ((w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) && !(w->exStyle & WS_EX_NOACTIVATE)) return h;
    }
    return nullptr;
}

void ClearFocusIn(HWND root) {
    State& s = S();
    if (s.focus && (s.focus == root || IsChild(root, s.focus))) {
        HWND old = s.focus;
        s.focus = nullptr;
        if (Window* o = W(old); o && !o->destroying) CallProc(o, WM_KILLFOCUS, 0, 0);
    }
}

void SendDestroy(HWND h) {
    Window* w = W(h);
    if (!w) return;
    CallProc(w, WM_DESTROY, 0, 0);
    w = W(h);
    if (!w) return;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) {
        if (Window* cw = W(c)) cw->destroying = true;
        SendDestroy(c);
    }
}

void SendNcDestroy(HWND h) {
    Window* w = W(h);
    if (!w) return;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) SendNcDestroy(c);
    if ((w = W(h))) CallProc(w, WM_NCDESTROY, 0, 0);
}

void FreeTree(HWND h) {
    State& s = S();
    auto ref = WRef(h);
    if (!ref) return;
    Window* w = ref.get();
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) FreeTree(c);
    if (s.focus == h) s.focus = nullptr;
    if (s.capture == h) s.capture = nullptr;
    if (s.active == h) s.active = nullptr;
    if (s.hasCaret && s.caret.hwnd == h) s.hasCaret = false;
    if (s.clipboardOwner == h) s.clipboardOwner = nullptr;
    std::erase_if(s.timers, [h](const Timer& t) { return t.hwnd == h; });
    std::erase_if(s.redirects, [h](const auto& r) { return r.first == h; });
    RemoveWindowFromQueue(h);
    ForgetWindowInput(h);
    ReleaseWindowDcs(h);
    if (w->windowRgn) GdiDeleteObject(w->windowRgn);
    w->windowRgn = nullptr;
    if (Window* p = W(w->parent)) std::erase(p->children, h);
    std::erase(s.topLevels, h);
    SurfaceRelease(w);
    s.windows.Remove(reinterpret_cast<uintptr_t>(h), HandleKind::Window);
}

bool ValidLong(const Window* w, int index, size_t size) {
    return index >= 0 && static_cast<size_t>(index) + size <= w->extra.size();
}

}  // namespace

State& S() {
    if (!g_state) {
        // Used before start-up: the thread that first touches the window manager owns it.
        g_state = std::make_unique<State>();
        g_state->uiThread = std::this_thread::get_id();
    }
    return *g_state;
}

Window* W(HWND hwnd) {
    if (!hwnd || !g_state) return nullptr;
    return static_cast<Window*>(g_state->windows.Get(reinterpret_cast<uintptr_t>(hwnd), HandleKind::Window).get());
}

std::shared_ptr<Window> WRef(HWND hwnd) {
    if (!hwnd || !g_state) return nullptr;
    return g_state->windows.GetAs<Window>(reinterpret_cast<uintptr_t>(hwnd), HandleKind::Window);
}

bool OnUiThread() { return std::this_thread::get_id() == S().uiThread; }

std::vector<HWND>& SiblingList(const Window* w) {
    if (Window* p = W(w->parent)) return p->children;
    return S().topLevels;
}

HWND RootOf(HWND hwnd) {
    Window* w = W(hwnd);
    while (w && w->parent) {
        Window* p = W(w->parent);
        if (!p) break;
        hwnd = w->parent;
        w = p;
    }
    return w ? hwnd : nullptr;
}

POINT WindowOriginOnScreen(const Window* w) {
    POINT p{w->window.left, w->window.top};
    for (Window* a = W(w->parent); a; a = W(a->parent)) {
        p.x += a->client.left;
        p.y += a->client.top;
    }
    return p;
}

POINT ClientOriginOnScreen(const Window* w) {
    POINT p = WindowOriginOnScreen(w);
    p.x += w->client.left - w->window.left;
    p.y += w->client.top - w->window.top;
    return p;
}

POINT WindowOriginOnSurface(const Window* w) {
    POINT p = WindowOriginOnScreen(w);
    Window* root = W(RootOf(w->hwnd));
    if (root) {
        p.x -= root->window.left;
        p.y -= root->window.top;
    }
    return p;
}

POINT ClientOriginOnSurface(const Window* w) {
    POINT p = WindowOriginOnSurface(w);
    p.x += w->client.left - w->window.left;
    p.y += w->client.top - w->window.top;
    return p;
}

bool IsVisibleDeep(const Window* w) {
    for (; w; w = W(w->parent))
        if (!(w->style & WS_VISIBLE)) return false;
    return true;
}

// The window rectangle of w (with its window region) in surface coordinates.
static RectSet WindowShape(const Window* w) {
    POINT o = WindowOriginOnSurface(w);
    RECT r{o.x, o.y, o.x + (w->window.right - w->window.left), o.y + (w->window.bottom - w->window.top)};
    RectSet rs(r);
    if (w->hasWindowRgn) {
        RectSet rg = w->windowRgnRects;
        rg.Offset(o.x, o.y);
        rs.Intersect(rg);
    }
    return rs;
}

RectSet VisibleRegion(const Window* w, bool wholeWindow, bool clipChildren) {
    RectSet vis;
    if (!IsVisibleDeep(w)) return vis;
    if (wholeWindow) {
        vis = WindowShape(w);
    } else {
        POINT o = ClientOriginOnSurface(w);
        vis =
            RectSet(RECT{o.x, o.y, o.x + (w->client.right - w->client.left), o.y + (w->client.bottom - w->client.top)});
        vis.Intersect(WindowShape(w));
    }
    // Ancestors' clients and shapes; siblings above at every level.
    const Window* cur = w;
    while (cur) {
        Window* p = W(cur->parent);
        if (!p) break;
        POINT po = ClientOriginOnSurface(p);
        vis.Intersect(
            RECT{po.x, po.y, po.x + (p->client.right - p->client.left), po.y + (p->client.bottom - p->client.top)});
        vis.Intersect(WindowShape(p));
        for (HWND sib : p->children) {
            if (sib == cur->hwnd) break;
            Window* sw = W(sib);
            if (sw && (sw->style & WS_VISIBLE)) vis.Subtract(WindowShape(sw));
        }
        cur = p;
    }
    if (clipChildren) {
        for (HWND c : w->children) {
            Window* cw = W(c);
            if (cw && (cw->style & WS_VISIBLE)) vis.Subtract(WindowShape(cw));
        }
    }
    if (Window* root = W(RootOf(w->hwnd)))
        vis.Intersect(RECT{0, 0, root->window.right - root->window.left, root->window.bottom - root->window.top});
    return vis;
}

RECT FrameInsets(DWORD style, DWORD exStyle) {
    int b = 0;
    if (style & WS_THICKFRAME)
        b = 4;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        b = 3;
    else if (style & WS_BORDER)
        b = 1;
    if (exStyle & WS_EX_CLIENTEDGE) b += 2;
    RECT r{b, b, b, b};
    if ((style & WS_CAPTION) == WS_CAPTION) r.top += 19;
    if (style & WS_VSCROLL) r.right += 17;
    if (style & WS_HSCROLL) r.bottom += 17;
    return r;
}

HWND CreateForeign(int x, int y, int width, int height, uint64_t nativeId) {
    EnsureBuiltins();
    HWND h = CreateWindowExA(WS_EX_NOACTIVATE, "LumetraForeignWindow", "", WS_POPUP, x, y, width, height, nullptr,
                             nullptr, nullptr, nullptr);
    if (Window* w = W(h)) {
        w->foreign = true;
        w->nativeId = nativeId;
        ShowWindow(h, SW_SHOWNA);
    }
    return h;
}

void DestroyAllWindows() {
    if (!g_state) return;
    for (int guard = 0; guard < 10000 && !S().topLevels.empty(); ++guard) {
        HWND h = S().topLevels.back();
        if (!DestroyWindow(h)) FreeTree(h);
    }
}

void ResetWindowing() {
    DestroyAllWindows();
    g_state = std::make_unique<State>();
    g_state->uiThread = std::this_thread::get_id();
    g_desktop = nullptr;
    EnsureBuiltins();
    g_state->cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
}

}  // namespace win::user

namespace win {

using namespace user;

ATOM RegisterClassA(const WNDCLASSA* wc) {
    EnsureBuiltins();
    if (!wc || !wc->lpszClassName || IsAtom(wc->lpszClassName) || !wc->lpfnWndProc) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(wc->lpszClassName)) {
        SetError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<WindowClass>();
    c->name = wc->lpszClassName;
    c->atom = S().nextAtom++;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->clsExtra = std::max(0, wc->cbClsExtra);
    c->wndExtra = std::max(0, wc->cbWndExtra);
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    S().classes.push_back(c);
    return c->atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    auto c = FindClass(className);
    if (!c || c->builtin) {
        SetError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    std::erase(S().classes, c);
    return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* wc) {
    auto c = FindClass(className);
    if (!c || !wc) {
        SetError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    wc->style = c->style;
    wc->lpfnWndProc = c->proc;
    wc->cbClsExtra = c->clsExtra;
    wc->cbWndExtra = c->wndExtra;
    wc->hInstance = c->instance;
    wc->hIcon = c->icon;
    wc->hCursor = c->cursor;
    wc->hbrBackground = c->background;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = c->name.c_str();
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    EnsureBuiltins();
    State& s = S();
    auto cls = FindClass(className);
    if (!cls) {
        SetError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parent == GetDesktopWindow()) parent = nullptr;
    Window* p = nullptr;
    HWND owner = nullptr;
    if (style & WS_CHILD) {
        p = W(parent);
        if (!p) {
            SetError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
    } else if (parent) {
        if (!W(parent)) {
            SetError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        owner = RootOf(parent);
    }
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = p ? 0 : display::ScreenWidth() * 3 / 4;
        height = p ? 0 : display::ScreenHeight() * 3 / 4;
    }
    width = std::max(0, width);
    height = std::max(0, height);

    auto w = std::make_shared<Window>();
    w->kind = HandleKind::Window;
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->text = windowName ? windowName : "";
    w->parent = p ? parent : nullptr;
    w->owner = owner;
    w->instance = instance;
    w->id = p ? static_cast<LONG_PTR>(reinterpret_cast<uintptr_t>(menu)) : 0;
    w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
    w->window = RECT{x, y, x + width, y + height};
    RECT in = FrameInsets(w->style, exStyle);
    w->client = RECT{x + in.left, y + in.top, std::max(x + in.left, x + width - in.right),
                     std::max(y + in.top, y + height - in.bottom)};
    HWND hwnd = reinterpret_cast<HWND>(s.windows.Add(w));
    w->hwnd = hwnd;
    if (p) {
        p->children.push_back(hwnd);
    } else {
        s.topLevels.insert(s.topLevels.begin() + static_cast<long>(BandTop(s.topLevels, IsTopmost(w.get()))), hwnd);
        NormalizeTopLevels();
        SurfaceForWindow(w.get());
    }

    CREATESTRUCTA cs;
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = width;
    cs.cy = height;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!CallProc(w.get(), WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        SendNcDestroy(hwnd);
        FreeTree(hwnd);
        return nullptr;
    }
    if (!W(hwnd)) return nullptr;
    RECT rc = w->window;
    CallProc(w.get(), WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&rc));
    if (rc.right < rc.left) rc.right = rc.left;
    if (rc.bottom < rc.top) rc.bottom = rc.top;
    w->client = rc;
    if (CallProc(w.get(), WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!W(hwnd)) return nullptr;
    w->created = true;
    CallProc(w.get(), WM_SIZE, SIZE_RESTORED,
             MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
    if (!W(hwnd)) return nullptr;
    CallProc(w.get(), WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
    if (!W(hwnd)) return nullptr;
    if (style & WS_VISIBLE) {
        int cmd = (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : (exStyle & WS_EX_NOACTIVATE) ? SW_SHOWNA : SW_SHOW;
        ShowWindow(hwnd, cmd);
    }
    return W(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    State& s = S();
    auto ref = WRef(hwnd);
    if (!ref || hwnd == g_desktop) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Window* w = ref.get();
    if (w->destroying) return TRUE;
    w->destroying = true;
    if (!w->parent) {
        std::vector<HWND> owned;
        for (HWND h : s.topLevels)
            if (Window* o = W(h); o && o->owner == hwnd) owned.push_back(h);
        for (HWND h : owned) DestroyWindow(h);
    }
    if (w->style & WS_VISIBLE)
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ClearFocusIn(hwnd);
    if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
    if (s.active == hwnd) {
        s.active = nullptr;
        if (HWND next = NextToActivate(hwnd)) SetActiveWindow(next);
    }
    SendDestroy(hwnd);
    SendNcDestroy(hwnd);
    FreeTree(hwnd);
    RefreshDcClips();
    TopLevelsChanged();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return W(hwnd) ? TRUE : FALSE; }

int GetClassNameA(HWND hwnd, LPSTR buffer, int maxCount) {
    Window* w = W(hwnd);
    if (!w || !buffer || maxCount <= 0) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    size_t n = std::min(w->cls->name.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(buffer, w->cls->name.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    Window* w = W(hwnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
        case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
        case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
        case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
        case GWLP_ID: return w->id;
        case GWLP_USERDATA: return w->userData;
        default:
            if (ValidLong(w, index, sizeof(LONG_PTR))) {
                LONG_PTR v;
                std::memcpy(&v, w->extra.data() + index, sizeof v);
                return v;
            }
            if (ValidLong(w, index, sizeof(LONG))) {
                LONG v;
                std::memcpy(&v, w->extra.data() + index, sizeof v);
                return v;
            }
            SetError(ERROR_INVALID_INDEX);
            return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* w = W(hwnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
        case GWL_STYLE: {
            DWORD was = w->style;
            w->style = static_cast<DWORD>(value);
            if ((was ^ w->style) & (WS_VISIBLE | WS_CLIPCHILDREN | WS_DISABLED)) {
                RefreshDcClips();
                if (!w->parent) TopLevelsChanged();
            }
            break;
        }
        case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
        case GWLP_WNDPROC:
            if (value) w->proc = reinterpret_cast<WNDPROC>(value);
            break;
        case GWLP_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); break;
        case GWLP_HWNDPARENT:
            if (!w->parent) {
                HWND o = reinterpret_cast<HWND>(value);
                w->owner = W(o) ? RootOf(o) : nullptr;
                NormalizeTopLevels();
                TopLevelsChanged();
            }
            break;
        case GWLP_ID: w->id = value; break;
        case GWLP_USERDATA: w->userData = value; break;
        default:
            if (ValidLong(w, index, sizeof(LONG_PTR))) {
                std::memcpy(w->extra.data() + index, &value, sizeof value);
            } else if (ValidLong(w, index, sizeof(LONG))) {
                LONG v = static_cast<LONG>(value);
                std::memcpy(w->extra.data() + index, &v, sizeof v);
            } else {
                SetError(ERROR_INVALID_INDEX);
                return 0;
            }
    }
    return old;
}

LONG GetWindowLongA(HWND hwnd, int index) {
    if (index >= 0) {
        Window* w = W(hwnd);
        if (w && ValidLong(w, index, sizeof(LONG))) {
            LONG v;
            std::memcpy(&v, w->extra.data() + index, sizeof v);
            return v;
        }
    }
    return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
    if (index >= 0) {
        Window* w = W(hwnd);
        if (w && ValidLong(w, index, sizeof(LONG))) {
            LONG old;
            std::memcpy(&old, w->extra.data() + index, sizeof old);
            std::memcpy(w->extra.data() + index, &value, sizeof value);
            return old;
        }
    }
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

ULONG_PTR GetClassLongPtrA(HWND hwnd, int index) {
    Window* w = W(hwnd);
    if (!w) return 0;
    switch (index) {
        case GCL_HCURSOR: return reinterpret_cast<ULONG_PTR>(w->cls->cursor);
        case GCL_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(w->cls->background);
        case GCL_STYLE: return w->cls->style;
        case GCL_WNDPROC: return reinterpret_cast<ULONG_PTR>(w->cls->proc);
        default: SetError(ERROR_INVALID_INDEX); return 0;
    }
}

DWORD GetClassLongA(HWND hwnd, int index) { return static_cast<DWORD>(GetClassLongPtrA(hwnd, index)); }

ULONG_PTR SetClassLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* w = W(hwnd);
    if (!w) return 0;
    ULONG_PTR old = GetClassLongPtrA(hwnd, index);
    switch (index) {
        case GCL_HCURSOR: w->cls->cursor = reinterpret_cast<HCURSOR>(value); break;
        case GCL_HBRBACKGROUND: w->cls->background = reinterpret_cast<HBRUSH>(value); break;
        case GCL_STYLE: w->cls->style = static_cast<UINT>(value); break;
        case GCL_WNDPROC:
            if (value) w->cls->proc = reinterpret_cast<WNDPROC>(value);
            break;
        default: return 0;
    }
    return old;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (!W(hwnd)) return FALSE;
    return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = 0;
    if (!W(hwnd)) return 0;
    return static_cast<int>(
        SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
    if (!W(hwnd)) return 0;
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

int GetDlgCtrlID(HWND hwnd) {
    Window* w = W(hwnd);
    return w && w->parent ? static_cast<int>(w->id) : 0;
}

HWND GetDesktopWindow() {
    // The desktop is a window of its own that is never drawn: the parent of top-level windows.
    if (!W(g_desktop)) {
        auto w = std::make_shared<Window>();
        w->kind = HandleKind::Window;
        EnsureBuiltins();
        w->cls = S().classes.front();
        w->proc = w->cls->proc;
        w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
        w->window = w->client = RECT{0, 0, display::ScreenWidth(), display::ScreenHeight()};
        w->created = true;
        g_desktop = reinterpret_cast<HWND>(S().windows.Add(w));
        w->hwnd = g_desktop;
    }
    return g_desktop;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    Window* w = W(hwnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (hwnd == g_desktop) {
        if (cmd == GW_CHILD) return S().topLevels.empty() ? nullptr : S().topLevels.front();
        return nullptr;
    }
    if (cmd == GW_OWNER) return w->parent ? nullptr : w->owner;
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    const std::vector<HWND>& list = SiblingList(w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    if (it == list.end()) return nullptr;
    switch (cmd) {
        case GW_HWNDFIRST: return list.front();
        case GW_HWNDLAST: return list.back();
        case GW_HWNDNEXT: return (it + 1) == list.end() ? nullptr : *(it + 1);
        case GW_HWNDPREV: return it == list.begin() ? nullptr : *(it - 1);
        default: SetError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

HWND GetTopWindow(HWND hwnd) {
    if (!hwnd) return S().topLevels.empty() ? nullptr : S().topLevels.front();
    return GetWindow(hwnd, GW_CHILD);
}

HWND GetParent(HWND hwnd) {
    Window* w = W(hwnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->parent ? w->parent : w->owner;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    Window* w = W(hwnd);
    if (!w || hwnd == g_desktop) return nullptr;
    switch (flags) {
        case GA_PARENT: return w->parent ? w->parent : GetDesktopWindow();
        case GA_ROOT: return RootOf(hwnd);
        case GA_ROOTOWNER: {
            HWND r = RootOf(hwnd);
            for (Window* rw = W(r); rw && rw->owner; rw = W(r)) r = rw->owner;
            return r;
        }
        default: return nullptr;
    }
}

BOOL IsChild(HWND parent, HWND hwnd) {
    Window* w = W(hwnd);
    if (!parent || !w) return FALSE;
    for (HWND p = w->parent; p; p = W(p) ? W(p)->parent : nullptr)
        if (p == parent) return TRUE;
    return FALSE;
}

HWND SetParent(HWND hwnd, HWND newParent) {
    State& s = S();
    auto ref = WRef(hwnd);
    if (!ref || hwnd == g_desktop) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Window* w = ref.get();
    if (newParent == g_desktop) newParent = nullptr;
    Window* np = nullptr;
    if (newParent) {
        np = W(newParent);
        if (!np || newParent == hwnd || IsChild(hwnd, newParent)) {
            SetError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    HWND old = w->parent ? w->parent : GetDesktopWindow();
    bool visible = (w->style & WS_VISIBLE) != 0;
    if (visible && w->parent) {
        // Expose the area it leaves in the old parent.
        Window* op = W(w->parent);
        RectSet area(w->window);
        InvalidateInternal(op, &area, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    if (Window* op = W(w->parent)) std::erase(op->children, hwnd);
    std::erase(s.topLevels, hwnd);
    if (np) {
        if (!w->parent) SurfaceRelease(w);
        w->style = (w->style | WS_CHILD) & ~WS_POPUP;
        w->parent = newParent;
        w->owner = nullptr;
        np->children.insert(np->children.begin(), hwnd);
        if (s.active == hwnd) s.active = nullptr;
    } else {
        w->style &= ~WS_CHILD;
        w->parent = nullptr;
        s.topLevels.insert(s.topLevels.begin() + static_cast<long>(BandTop(s.topLevels, IsTopmost(w))), hwnd);
        NormalizeTopLevels();
        SurfaceForWindow(w);
        if (visible) SurfaceShown(w);
    }
    if (visible) InvalidateInternal(w, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    RefreshDcClips();
    TopLevelsChanged();
    return old;
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = W(hwnd);
    return w && IsVisibleDeep(w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = W(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = W(hwnd);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable && wasDisabled) {
        w->style &= ~WS_DISABLED;
        CallProc(w, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
        w->style |= WS_DISABLED;
        State& s = S();
        if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) SetFocus(nullptr);
        if (s.capture == hwnd) ReleaseCapture();
        if (W(hwnd)) CallProc(W(hwnd), WM_ENABLE, FALSE, 0);
    }
    return wasDisabled;
}

BOOL IsIconic(HWND hwnd) {
    Window* w = W(hwnd);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
    Window* w = W(hwnd);
    return w && w->maximized ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    Window* w = W(hwnd);
    if (!w || !rect) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = WindowOriginOnScreen(w);
    *rect = RECT{o.x, o.y, o.x + (w->window.right - w->window.left), o.y + (w->window.bottom - w->window.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    Window* w = W(hwnd);
    if (!w || !rect) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
    Window* w = W(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = ClientOriginOnScreen(w);
    pt->x += o.x;
    pt->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
    Window* w = W(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = ClientOriginOnScreen(w);
    pt->x -= o.x;
    pt->y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
    POINT a{0, 0}, b{0, 0};
    if (from && from != g_desktop) {
        Window* w = W(from);
        if (!w) {
            SetError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        a = ClientOriginOnScreen(w);
    }
    if (to && to != g_desktop) {
        Window* w = W(to);
        if (!w) {
            SetError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        b = ClientOriginOnScreen(w);
    }
    int dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetError(0);
    return MAKELONG(dx, dy);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    auto ref = WRef(hwnd);
    if (!ref) return FALSE;
    Window* w = ref.get();
    BOOL was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    if (cmd == SW_HIDE) {
        if (!was) return FALSE;
        CallProc(w, WM_SHOWWINDOW, FALSE, 0);
        if (!W(hwnd)) return was;
        // Owned pop-ups go with their owner.
        if (!w->parent) {
            std::vector<HWND> owned;
            for (HWND h : S().topLevels)
                if (Window* o = W(h); o && o->owner == hwnd && (o->style & WS_VISIBLE)) owned.push_back(h);
            for (HWND h : owned) ShowWindow(h, SW_HIDE);
        }
        bool wasActive = S().active == hwnd;
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (wasActive && S().active == hwnd) {
            HWND next = NextToActivate(hwnd);
            if (next)
                SetActiveWindow(next);
            else
                test::Deactivate();
        }
        return was;
    }
    if (cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED || cmd == SW_SHOWMINNOACTIVE) {
        // Minimised: still "visible", but neither on screen nor painted nor hit.
        if (!was) CallProc(w, WM_SHOWWINDOW, TRUE, 0);
        if (!W(hwnd) || (w->style & WS_MINIMIZE)) return was;
        w->style |= WS_MINIMIZE | WS_VISIBLE;
        if (S().active == hwnd) {
            if (HWND next = NextToActivate(hwnd))
                SetActiveWindow(next);
            else
                test::Deactivate();
        }
        ClearFocusIn(hwnd);
        RefreshDcClips();
        TopLevelsChanged();
        if (W(hwnd)) CallProc(w, WM_SIZE, SIZE_MINIMIZED, 0);
        return was;
    }
    if (w->style & WS_MINIMIZE) {
        w->style &= ~WS_MINIMIZE;
        InvalidateInternal(w, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        RefreshDcClips();
        TopLevelsChanged();
        CallProc(w, WM_SIZE, w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
        if (!W(hwnd)) return was;
    }
    bool activate = !(cmd == SW_SHOWNOACTIVATE || cmd == SW_SHOWNA);
    UINT flags = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
    if (!activate || w->parent) flags |= SWP_NOACTIVATE;
    if (!was) {
        CallProc(w, WM_SHOWWINDOW, TRUE, 0);
        if (!W(hwnd)) return was;
    }
    if (cmd == SW_SHOWMAXIMIZED && !w->maximized) {
        w->restoreRect = w->window;
        w->maximized = true;
        RECT area{0, 0, display::ScreenWidth(), display::ScreenHeight()};
        if (Window* p = W(w->parent))
            area = RECT{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
        flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(hwnd, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top, flags);
        return was;
    }
    if ((cmd == SW_RESTORE || cmd == SW_SHOWNORMAL) && w->maximized) {
        w->maximized = false;
        RECT r = w->restoreRect;
        flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
        return was;
    }
    if (!was || activate) SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, flags);
    return was;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    auto ref = WRef(hwnd);
    if (!ref || hwnd == g_desktop) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Window* w = ref.get();
    WINDOWPOS wp;
    wp.hwnd = hwnd;
    wp.hwndInsertAfter = insertAfter;
    wp.x = x;
    wp.y = y;
    wp.cx = cx;
    wp.cy = cy;
    wp.flags = flags;
    if (!(flags & SWP_NOSENDCHANGING)) {
        CallProc(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
        if (!W(hwnd)) return FALSE;
    }
    flags = wp.flags;
    const RECT oldWindow = w->window;
    const RECT oldClient = w->client;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    const bool top = w->parent == nullptr;
    RECT nw = oldWindow;
    if (!(flags & SWP_NOMOVE)) nw = RectOffset(nw, wp.x - nw.left, wp.y - nw.top);
    if (!(flags & SWP_NOSIZE)) {
        nw.right = nw.left + std::max(0, wp.cx);
        nw.bottom = nw.top + std::max(0, wp.cy);
    }
    const bool moved = nw.left != oldWindow.left || nw.top != oldWindow.top;
    const bool sized = (nw.right - nw.left) != (oldWindow.right - oldWindow.left) ||
                       (nw.bottom - nw.top) != (oldWindow.bottom - oldWindow.top);
    const bool show = (flags & SWP_SHOWWINDOW) && !wasVisible;
    const bool hide = (flags & SWP_HIDEWINDOW) && wasVisible;
    const bool redraw = !(flags & SWP_NOREDRAW);

    if (top && wasVisible && !redraw && (hide || moved)) BurnIntoBelow(w);
    RectSet exposed;  // in the parent's client coordinates
    Window* parent = W(w->parent);
    if (parent && IsVisibleDeep(w) && (hide || moved || sized)) {
        exposed = RectSet(oldWindow);
        if (w->hasWindowRgn) {
            RectSet rg = w->windowRgnRects;
            rg.Offset(oldWindow.left, oldWindow.top);
            exposed.Intersect(rg);
        }
    }

    w->window = nw;
    if (sized || (flags & SWP_FRAMECHANGED)) {
        ComputeClient(w, &wp, oldWindow, oldClient);
        if (!W(hwnd)) return FALSE;
    } else if (moved) {
        w->client = RectOffset(oldClient, nw.left - oldWindow.left, nw.top - oldWindow.top);
    }
    bool zChanged = false;
    if (!(flags & SWP_NOZORDER)) zChanged = ApplyZOrder(w, wp.hwndInsertAfter);
    if (show) w->style |= WS_VISIBLE;
    if (hide) w->style &= ~WS_VISIBLE;
    if (top) {
        if (sized) SurfaceForWindow(w);
        if (show) SurfaceShown(w);
    }
    const bool visibleNow = IsVisibleDeep(w);
    if (redraw && visibleNow) {
        const RectSet* all = nullptr;
        if (show) {
            InvalidateInternal(w, all, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        } else {
            if (sized) {
                int ow = oldClient.right - oldClient.left, oh = oldClient.bottom - oldClient.top;
                int nwid = w->client.right - w->client.left, nh = w->client.bottom - w->client.top;
                UINT cs = w->cls->style;
                bool whole = ((cs & CS_HREDRAW) && ow != nwid) || ((cs & CS_VREDRAW) && oh != nh);
                if (whole) {
                    InvalidateInternal(w, all, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
                } else {
                    RectSet grown(RECT{0, 0, nwid, nh});
                    grown.Subtract(RECT{0, 0, ow, oh});
                    if (!grown.Empty()) InvalidateInternal(w, &grown, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
                }
                w->ncPaintPending = true;
            }
            if (!top && (moved || zChanged))
                InvalidateInternal(w, all, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
            if (flags & SWP_FRAMECHANGED) w->ncPaintPending = true;
        }
    }
    if (redraw && parent && !exposed.Empty()) {
        if (visibleNow) exposed.Subtract(w->window);
        // Exposed parts belong to the parent's client (and the siblings below there).
        if (!exposed.Empty()) InvalidateInternal(parent, &exposed, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    if (hide) {
        ClearFocusIn(hwnd);
        if (S().capture && (S().capture == hwnd || IsChild(hwnd, S().capture))) ReleaseCapture();
    }
    RefreshDcClips();
    TopLevelsChanged();
    SurfaceChanged(RootOf(hwnd));

    if (top && visibleNow && !(flags & SWP_NOACTIVATE) && !(w->exStyle & WS_EX_NOACTIVATE) && !(w->style & WS_DISABLED))
        SetActiveWindow(hwnd);
    if (!W(hwnd)) return TRUE;

    wp.x = w->window.left;
    wp.y = w->window.top;
    wp.cx = w->window.right - w->window.left;
    wp.cy = w->window.bottom - w->window.top;
    CallProc(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    if (!W(hwnd)) return TRUE;
    if (moved || (w->client.left != oldClient.left || w->client.top != oldClient.top))
        CallProc(w, WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
    if (!W(hwnd)) return TRUE;
    if ((w->client.right - w->client.left) != (oldClient.right - oldClient.left) ||
        (w->client.bottom - w->client.top) != (oldClient.bottom - oldClient.top))
        CallProc(w, WM_SIZE, w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) {
    Window* w = W(hwnd);
    if (!w) return FALSE;
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | (w->parent ? SWP_NOACTIVATE : 0u));
}

BOOL SetForegroundWindow(HWND hwnd) {
    HWND root = RootOf(hwnd);
    if (!root) return FALSE;
    BringWindowToTop(root);
    SetActiveWindow(root);
    return TRUE;
}

HWND GetForegroundWindow() { return S().active; }

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL, DWORD exStyle) {
    if (!rect) return FALSE;
    RECT in = FrameInsets(style, exStyle);
    rect->left -= in.left;
    rect->top -= in.top;
    rect->right += in.right;
    rect->bottom += in.bottom;
    return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw) {
    Window* w = W(hwnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    RectSet rects;
    if (rgn && !GdiReadRegion(rgn, &rects)) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    bool visible = IsVisibleDeep(w);
    RectSet before = w->hasWindowRgn
                         ? w->windowRgnRects
                         : RectSet(RECT{0, 0, w->window.right - w->window.left, w->window.bottom - w->window.top});
    if (w->windowRgn) GdiDeleteObject(w->windowRgn);
    w->windowRgn = rgn;
    w->windowRgnRects = rects;
    w->hasWindowRgn = rgn != nullptr;
    if (redraw && visible) {
        if (Window* p = W(w->parent)) {
            before.Offset(w->window.left, w->window.top);
            InvalidateInternal(p, &before, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
        InvalidateInternal(w, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    RefreshDcClips();
    TopLevelsChanged();
    SurfaceChanged(RootOf(hwnd));
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN dest) {
    Window* w = W(hwnd);
    if (!w || !w->hasWindowRgn || !dest) return USER_ERROR_REGION;
    return GdiCopyRegion(dest, w->windowRgnRects);
}

HWND HandleFromInt(intptr_t value) {
    HWND h = reinterpret_cast<HWND>(value);
    if (value != 0 && W(h) && h != g_desktop) return h;
    if (value <= 0) return nullptr;
    return display::AdoptForeignWindow(static_cast<uint64_t>(value));
}

}  // namespace win
