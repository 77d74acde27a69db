// Input: routing of pointer and key events to windows, double clicks, key state, focus,
// capture, activation, the cursor and the caret.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/user_state_internal.h"
#include "platform/user_testhooks.h"

namespace win::user {

namespace {

bool ContainsScreen(const Window* w, int x, int y) {
    POINT o = WindowOriginOnScreen(w);
    int lx = x - o.x, ly = y - o.y;
    if (lx < 0 || ly < 0 || lx >= w->window.right - w->window.left || ly >= w->window.bottom - w->window.top)
        return false;
    return !w->hasWindowRgn || w->windowRgnRects.Contains(lx, ly);
}

bool InClientScreen(const Window* w, int x, int y) {
    POINT o = ClientOriginOnScreen(w);
    return x >= o.x && y >= o.y && x < o.x + (w->client.right - w->client.left) &&
           y < o.y + (w->client.bottom - w->client.top);
}

// The deepest enabled visible window under a screen point; 0 over nothing or over a
// disabled top-level window. Windows in `skip` (transparent to hit-testing) are passed over.
HWND HitTestScreen(int x, int y, const std::vector<HWND>& skip = {}) {
    auto skipped = [&skip](HWND h) { return std::find(skip.begin(), skip.end(), h) != skip.end(); };
    for (HWND t : S().topLevels) {
        Window* w = W(t);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE) || skipped(t) || !ContainsScreen(w, x, y))
            continue;
        if (w->style & WS_DISABLED) return nullptr;
        HWND cur = t;
        for (;;) {
            Window* cw = W(cur);
            if (!InClientScreen(cw, x, y)) break;
            HWND next = nullptr;
            for (HWND c : cw->children) {
                Window* k = W(c);
                if (k && (k->style & WS_VISIBLE) && !skipped(c) && ContainsScreen(k, x, y)) {
                    next = c;
                    break;
                }
            }
            if (!next || (W(next)->style & WS_DISABLED)) break;
            cur = next;
        }
        return cur;
    }
    return nullptr;
}

WPARAM MouseKeyFlags() {
    const auto& k = S().asyncKeys;
    WPARAM f = 0;
    if (k[VK_LBUTTON] & 0x80) f |= MK_LBUTTON;
    if (k[VK_RBUTTON] & 0x80) f |= MK_RBUTTON;
    if (k[VK_MBUTTON] & 0x80) f |= MK_MBUTTON;
    if (k[VK_SHIFT] & 0x80) f |= MK_SHIFT;
    if (k[VK_CONTROL] & 0x80) f |= MK_CONTROL;
    return f;
}

int64_t NowMs() { return ClockNowTicks() / kTicksPerMs; }

void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    PostInput(QueuedMessage(hwnd, msg, wParam, lParam, S().cursorPos));
}

void ActivateInternal(HWND hwnd, WORD how) {
    State& s = S();
    HWND root = hwnd ? RootOf(hwnd) : nullptr;
    HWND old = s.active;
    if (old == root) return;
    s.active = root;
    if (Window* o = W(old)) {
        CallProc(o, WM_NCACTIVATE, FALSE, 0);
        if ((o = W(old))) CallProc(o, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(root));
    }
    if (s.active != root) return;
    if (s.focus && (!root || RootOf(s.focus) != root)) {
        HWND f = s.focus;
        s.focus = nullptr;
        if (Window* fw = W(f)) CallProc(fw, WM_KILLFOCUS, reinterpret_cast<WPARAM>(root), 0);
    }
    if (Window* r = W(root)) {
        SetWindowPos(root, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if ((r = W(root))) CallProc(r, WM_NCACTIVATE, TRUE, 0);
        if ((r = W(root))) CallProc(r, WM_ACTIVATE, MAKEWPARAM(how, 0), reinterpret_cast<LPARAM>(old));
    }
}

void RoutePointer(UINT msg, WPARAM extra, bool isDown) {
    State& s = S();
    int x = s.cursorPos.x, y = s.cursorPos.y;
    HWND target;
    LRESULT hit = HTCLIENT;
    if (s.capture && W(s.capture)) {
        target = s.capture;
    } else {
        // A window answering HTTRANSPARENT passes the event to what lies beneath it.
        std::vector<HWND> skip;
        for (;;) {
            target = HitTestScreen(x, y, skip);
            if (!target) return;
            hit = SendMessageA(target, WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (hit != HTTRANSPARENT || skip.size() >= 32) break;
            skip.push_back(target);
        }
        if (!W(target) || hit == HTNOWHERE || hit == HTERROR || hit == HTTRANSPARENT) hit = HTCLIENT;
    }
    if (!W(target)) return;
    SendMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<int>(hit), msg));
    Window* w = W(target);
    if (!w) return;
    if (isDown && !s.capture) {
        HWND root = RootOf(target);
        if (root != s.active) {
            LRESULT ma = SendMessageA(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root),
                                      MAKELPARAM(static_cast<int>(hit), msg));
            if ((ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) && W(root) && !(W(root)->exStyle & WS_EX_NOACTIVATE))
                ActivateInternal(root, WA_CLICKACTIVE);
            if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) return;
        }
        if (!(w = W(target))) return;
        // Double clicks: the same button on the same window, in time and close by.
        int64_t now = NowMs();
        int cx = GetSystemMetrics(SM_CXDOUBLECLK) / 2, cy = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
        bool dbl = !s.lastClickWasDouble && s.lastClickHwnd == target && s.lastClickMsg == msg &&
                   now - s.lastClickMs <= static_cast<int64_t>(GetDoubleClickTime()) &&
                   std::abs(x - s.lastClickPt.x) <= cx && std::abs(y - s.lastClickPt.y) <= cy;
        s.lastClickHwnd = target;
        s.lastClickMsg = msg;
        s.lastClickMs = now;
        s.lastClickPt = s.cursorPos;
        s.lastClickWasDouble = dbl;
        if (dbl && (w->cls->style & CS_DBLCLKS)) msg += 2;  // xBUTTONDOWN -> xBUTTONDBLCLK
    }
    if (hit == HTCLIENT) {
        POINT o = ClientOriginOnScreen(w);
        Post(target, msg, MouseKeyFlags() | extra, MAKELPARAM(x - o.x, y - o.y));
    } else {
        Post(target, msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), MAKELPARAM(x, y));
    }
}

struct CursorTable {
    std::mutex mutex;
    std::map<uintptr_t, HCURSOR> cursors;
    HandleTable table;
};
CursorTable& Cursors() {
    static CursorTable t;
    return t;
}

bool IsSystemCursor(HCURSOR c) {
    auto& t = Cursors();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (const auto& [id, h] : t.cursors)
        if (h == c) return true;
    return false;
}

void UpdateCursorVisibility() {
    State& s = S();
    if (auto* b = display::CurrentBackend()) b->SetCursorVisible(s.cursor != nullptr && s.showCursorCount >= 0);
}

}  // namespace

void ApplyInput(const ScriptedInput& in) {
    switch (in.kind) {
        case InputKind::Move: test::MouseMove(in.a, in.b); break;
        case InputKind::Button: test::MouseButton(static_cast<test::Button>(in.a), in.b != 0); break;
        case InputKind::Wheel: test::Wheel(in.a); break;
        case InputKind::Key:
            test::Key(in.a, true);
            test::Key(in.a, false);
            break;
        case InputKind::Custom:
            if (in.custom) in.custom();
            break;
        case InputKind::Click:
        case InputKind::DblClick:
            test::MouseMove(in.a, in.b);
            for (int i = 0; i < (in.kind == InputKind::DblClick ? 2 : 1); ++i) {
                test::MouseButton(test::Button::Left, true);
                test::MouseButton(test::Button::Left, false);
            }
            break;
    }
}

void ForgetWindowInput(HWND hwnd) {
    State& s = S();
    if (s.lastClickHwnd == hwnd) s.lastClickHwnd = nullptr;
}

void OnKeyMessageRetrieved(const MSG& m) {
    State& s = S();
    auto press = [&s](int vk, bool down, bool toggle) {
        uint8_t& k = s.syncKeys[vk & 0xFF];
        if (down) {
            if (toggle) k ^= 0x01;
            k |= 0x80;
        } else {
            k &= static_cast<uint8_t>(~0x80);
        }
    };
    switch (m.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: press(static_cast<int>(m.wParam), true, !(m.lParam & (1 << 30))); break;
        case WM_KEYUP:
        case WM_SYSKEYUP: press(static_cast<int>(m.wParam), false, false); break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: press(VK_LBUTTON, true, false); break;
        case WM_LBUTTONUP: press(VK_LBUTTON, false, false); break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: press(VK_RBUTTON, true, false); break;
        case WM_RBUTTONUP: press(VK_RBUTTON, false, false); break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK: press(VK_MBUTTON, true, false); break;
        case WM_MBUTTONUP: press(VK_MBUTTON, false, false); break;
        default: break;
    }
}

}  // namespace win::user

namespace win {

using namespace user;

HWND SetFocus(HWND hwnd) {
    State& s = S();
    if (hwnd) {
        Window* w = W(hwnd);
        if (!w || !IsVisibleDeep(w) || (w->style & WS_DISABLED)) return nullptr;
        if (s.focus == hwnd) return hwnd;
        HWND root = RootOf(hwnd);
        if (root != s.active) ActivateInternal(root, WA_ACTIVE);
        if (!W(hwnd)) return nullptr;
    }
    HWND old = s.focus;
    if (old == hwnd) return old;
    s.focus = hwnd;
    if (Window* o = W(old)) CallProc(o, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (Window* n = W(hwnd); n && s.focus == hwnd) CallProc(n, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() { return S().focus; }

HWND WindowFromPoint(POINT pt) { return HitTestScreen(pt.x, pt.y); }

HWND ChildWindowFromPoint(HWND parent, POINT pt) {
    Window* p = W(parent);
    if (!p) return nullptr;
    for (HWND c : p->children) {
        Window* k = W(c);
        if (k && pt.x >= k->window.left && pt.x < k->window.right && pt.y >= k->window.top && pt.y < k->window.bottom)
            return c;
    }
    RECT box{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
    return pt.x >= box.left && pt.y >= box.top && pt.x < box.right && pt.y < box.bottom ? parent : nullptr;
}

HWND SetCapture(HWND hwnd) {
    State& s = S();
    HWND old = s.capture;
    if (!W(hwnd)) return old;
    s.capture = hwnd;
    if (old && old != hwnd)
        if (Window* o = W(old)) CallProc(o, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture() {
    State& s = S();
    HWND old = s.capture;
    s.capture = nullptr;
    if (Window* o = W(old)) CallProc(o, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() { return S().capture; }

HWND SetActiveWindow(HWND hwnd) {
    State& s = S();
    HWND old = s.active;
    if (hwnd) {
        Window* w = W(RootOf(hwnd));
        if (!w || (w->style & WS_DISABLED)) return nullptr;
    }
    ActivateInternal(hwnd, WA_ACTIVE);
    return old;
}

HWND GetActiveWindow() { return S().active; }

SHORT GetKeyState(int vk) {
    uint8_t k = S().syncKeys[vk & 0xFF];
    return static_cast<SHORT>(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

SHORT GetAsyncKeyState(int vk) {
    if (OnUiThread()) DeliverDueInput();
    uint8_t k = S().asyncKeys[vk & 0xFF];
    return static_cast<SHORT>((k & 0x80) ? 0x8000 : 0);
}

UINT GetDoubleClickTime() { return 500; }

BOOL GetCursorPos(POINT* pt) {
    if (!pt) return FALSE;
    *pt = S().cursorPos;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    test::MouseMove(x, y);
    return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (instance || id >= 0x10000) return nullptr;
    static const WORD known[] = {IDC_ARROW,    IDC_IBEAM,    IDC_WAIT,        IDC_CROSS,  IDC_UPARROW,
                                 IDC_SIZENWSE, IDC_SIZENESW, IDC_SIZEWE,      IDC_SIZENS, IDC_SIZEALL,
                                 IDC_NO,       IDC_HAND,     IDC_APPSTARTING, IDC_HELP};
    if (std::find(std::begin(known), std::end(known), id) == std::end(known)) return nullptr;
    auto& t = Cursors();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.cursors.find(id);
    if (it != t.cursors.end()) return it->second;
    auto obj = std::make_shared<HandleObject>();
    obj->kind = HandleKind::Cursor;
    HCURSOR h = reinterpret_cast<HCURSOR>(t.table.Add(obj));
    t.cursors[id] = h;
    return h;
}

namespace {

struct CursorImage : HandleObject {
    int hotX = 0, hotY = 0, width = 0, height = 0;
    std::vector<uint8_t> andPlane, xorPlane;
};

}  // namespace

HCURSOR CreateCursor(HINSTANCE, int xHotSpot, int yHotSpot, int width, int height, const void* andPlane,
                     const void* xorPlane) {
    if (width < 1 || height < 1 || width > 256 || height > 256 || !andPlane || !xorPlane) return nullptr;
    auto obj = std::make_shared<CursorImage>();
    obj->kind = HandleKind::Cursor;
    obj->hotX = std::clamp(xHotSpot, 0, width - 1);
    obj->hotY = std::clamp(yHotSpot, 0, height - 1);
    obj->width = width;
    obj->height = height;
    const size_t bytes = static_cast<size_t>((width + 15) / 16 * 2) * static_cast<size_t>(height);
    const auto* a = static_cast<const uint8_t*>(andPlane);
    const auto* x = static_cast<const uint8_t*>(xorPlane);
    obj->andPlane.assign(a, a + bytes);
    obj->xorPlane.assign(x, x + bytes);
    return reinterpret_cast<HCURSOR>(Cursors().table.Add(obj));
}

HCURSOR SetCursor(HCURSOR cursor) {
    State& s = S();
    HCURSOR old = s.cursor;
    s.cursor = cursor;
    UpdateCursorVisibility();
    return old;
}

HCURSOR GetCursor() { return S().cursor; }

int ShowCursor(BOOL show) {
    State& s = S();
    s.showCursorCount += show ? 1 : -1;
    UpdateCursorVisibility();
    return s.showCursorCount;
}

BOOL DestroyCursor(HCURSOR cursor) {
    if (IsSystemCursor(cursor)) return TRUE;
    if (cursor && S().cursor == cursor) return FALSE;  // the cursor in use stays
    return Cursors().table.Remove(reinterpret_cast<uintptr_t>(cursor), HandleKind::Cursor) ? TRUE : FALSE;
}

BOOL CreateCaret(HWND hwnd, HBITMAP, int width, int height) {
    State& s = S();
    if (!W(hwnd)) return FALSE;
    s.caret = State::Caret{};
    s.caret.hwnd = hwnd;
    s.caret.width = width > 0 ? width : 1;
    s.caret.height = height > 0 ? height : 1;
    s.hasCaret = true;
    return TRUE;
}

BOOL DestroyCaret() {
    State& s = S();
    if (!s.hasCaret) return FALSE;
    s.hasCaret = false;
    s.caret = State::Caret{};
    return TRUE;
}

BOOL ShowCaret(HWND hwnd) {
    State& s = S();
    if (!s.hasCaret || (hwnd && hwnd != s.caret.hwnd)) return FALSE;
    if (s.caret.hideCount > 0) --s.caret.hideCount;
    return TRUE;
}

BOOL HideCaret(HWND hwnd) {
    State& s = S();
    if (!s.hasCaret || (hwnd && hwnd != s.caret.hwnd)) return FALSE;
    ++s.caret.hideCount;
    return TRUE;
}

BOOL SetCaretPos(int x, int y) {
    State& s = S();
    if (!s.hasCaret) return FALSE;
    s.caret.pos = POINT{x, y};
    return TRUE;
}

BOOL GetCaretPos(POINT* pt) {
    State& s = S();
    if (!pt || !s.hasCaret) return FALSE;
    *pt = s.caret.pos;
    return TRUE;
}

namespace test {

void MouseMove(int x, int y) {
    State& s = S();
    if (s.cursorPos.x == x && s.cursorPos.y == y) return;
    s.cursorPos = POINT{x, y};
    RoutePointer(WM_MOUSEMOVE, 0, false);
}

void MouseButton(Button button, bool down) {
    State& s = S();
    int vk = button == Button::Left ? VK_LBUTTON : button == Button::Right ? VK_RBUTTON : VK_MBUTTON;
    UINT base = button == Button::Left ? WM_LBUTTONDOWN : button == Button::Right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
    if (down)
        s.asyncKeys[vk] |= 0x80;
    else
        s.asyncKeys[vk] &= static_cast<uint8_t>(~0x80);
    RoutePointer(down ? base : base + 1, 0, down);
}

void Wheel(int delta) {
    State& s = S();
    HWND target = s.focus ? s.focus : s.active;
    if (!W(target)) return;
    Post(target, WM_MOUSEWHEEL, MAKEWPARAM(static_cast<int>(MouseKeyFlags()), delta),
         MAKELPARAM(s.cursorPos.x, s.cursorPos.y));
}

void Key(int vk, bool down) {
    State& s = S();
    vk &= 0xFF;
    bool wasDown = (s.asyncKeys[vk] & 0x80) != 0;
    if (down) {
        if (!wasDown) s.asyncKeys[vk] ^= 0x01;
        s.asyncKeys[vk] |= 0x80;
    } else {
        s.asyncKeys[vk] &= static_cast<uint8_t>(~0x80);
    }
    HWND target = s.focus ? s.focus : s.active;
    Window* w = W(target);
    if (!w || (w->style & WS_DISABLED)) return;
    bool alt = (s.asyncKeys[VK_MENU] & 0x80) != 0;
    bool sys = alt || vk == VK_F10 || vk == VK_MENU;
    UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    uint32_t lp = 1;
    if (alt) lp |= 1u << 29;
    if (down ? wasDown : true) lp |= 1u << 30;
    if (!down) lp |= 1u << 31;
    Post(target, msg, static_cast<WPARAM>(vk), static_cast<LPARAM>(lp));
}

void Activate(HWND hwnd) {
    Window* w = W(RootOf(hwnd));
    if (!w) return;
    ActivateInternal(hwnd, WA_ACTIVE);
}

void Deactivate() { ActivateInternal(nullptr, WA_INACTIVE); }

HCURSOR CurrentCursor() { return S().cursor; }
bool CursorVisible() { return S().cursor != nullptr && S().showCursorCount >= 0; }

bool GetCaretState(CaretState* state) {
    State& s = S();
    if (!state || !s.hasCaret) return false;
    state->hwnd = s.caret.hwnd;
    state->width = s.caret.width;
    state->height = s.caret.height;
    state->pos = s.caret.pos;
    state->hideCount = s.caret.hideCount;
    return true;
}

}  // namespace test

}  // namespace win
