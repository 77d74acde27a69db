// DefWindowProc: the default answers and actions the system's code relies on.
#include <algorithm>
#include <cstring>

#include "platform/user_state_internal.h"

namespace win {

using namespace user;

namespace {

LRESULT HitTest(Window* w, int sx, int sy) {
    POINT wo = WindowOriginOnScreen(w);
    int x = sx - wo.x, y = sy - wo.y;
    int width = w->window.right - w->window.left, height = w->window.bottom - w->window.top;
    if (x < 0 || y < 0 || x >= width || y >= height) return HTNOWHERE;
    if (w->hasWindowRgn && !w->windowRgnRects.Contains(x, y)) return HTNOWHERE;
    RECT c = RectOffset(w->client, -w->window.left, -w->window.top);
    if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) return HTCLIENT;
    if ((w->style & WS_VSCROLL) && x >= c.right && x < c.right + 17 && y >= c.top && y < c.bottom) return HTVSCROLL;
    if ((w->style & WS_HSCROLL) && y >= c.bottom && y < c.bottom + 17 && x >= c.left && x < c.right) return HTHSCROLL;
    int b = (w->style & WS_THICKFRAME) ? 4 : 0;
    if (b) {
        bool l = x < b, r = x >= width - b, t = y < b, btm = y >= height - b;
        if (t && l) return HTTOPLEFT;
        if (t && r) return HTTOPRIGHT;
        if (btm && l) return HTBOTTOMLEFT;
        if (btm && r) return HTBOTTOMRIGHT;
        if (l) return HTLEFT;
        if (r) return HTRIGHT;
        if (t) return HTTOP;
        if (btm) return HTBOTTOM;
    }
    if ((w->style & WS_CAPTION) == WS_CAPTION && y < c.top) return HTCAPTION;
    return HTBORDER;
}

// Moves or sizes a window with the mouse (a press on its caption, border or size grip):
// follows the pointer until the button is released; Escape puts it back.
void SizeMoveLoop(HWND hwnd, LRESULT hit, POINT start) {
    Window* w = W(hwnd);
    if (!w) return;
    const RECT from = w->window;  // parent client coordinates (screen for top-level windows)
    const RECT in = FrameInsets(w->style, w->exStyle);
    const int minW = in.left + in.right, minH = in.top + in.bottom;
    bool left = hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT;
    bool right = hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT;
    bool top = hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT;
    bool bottom = hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT;
    bool move = hit == HTCAPTION;
    SendMessageA(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    SetCapture(hwnd);
    MSG m;
    for (;;) {
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (!IsWindow(hwnd)) break;
        if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
            int dx = m.pt.x - start.x, dy = m.pt.y - start.y;
            RECT r = from;
            if (move) r = RectOffset(from, dx, dy);
            if (left) r.left = std::min(from.left + dx, static_cast<LONG>(from.right - minW));
            if (right) r.right = std::max(from.right + dx, static_cast<LONG>(from.left + minW));
            if (top) r.top = std::min(from.top + dy, static_cast<LONG>(from.bottom - minH));
            if (bottom) r.bottom = std::max(from.bottom + dy, static_cast<LONG>(from.top + minH));
            SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            if (m.message == WM_LBUTTONUP) break;
            continue;
        }
        if (m.message == WM_KEYDOWN && m.wParam == static_cast<WPARAM>(VK_ESCAPE)) {
            SetWindowPos(hwnd, nullptr, from.left, from.top, from.right - from.left, from.bottom - from.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (GetCapture() == hwnd) ReleaseCapture();
    if (IsWindow(hwnd)) SendMessageA(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = W(hwnd);
    if (!w) return 0;
    switch (msg) {
        case WM_NCCREATE: return TRUE;
        case WM_NCCALCSIZE: {
            RECT in = FrameInsets(w->style, w->exStyle);
            RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
            if (!r) return 0;
            r->left += in.left;
            r->top += in.top;
            r->right = std::max(r->left, r->right - in.right);
            r->bottom = std::max(r->top, r->bottom - in.bottom);
            return 0;
        }
        case WM_NCHITTEST: return HitTest(w, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_ERASEBKGND: return DefEraseBackground(w, reinterpret_cast<HDC>(wParam));
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_NCPAINT: DefNcPaint(w, nullptr); return 0;
        case WM_PRINT: return DefPrint(w, reinterpret_cast<HDC>(wParam), lParam);
        case WM_PRINTCLIENT: return 0;
        case WM_SETCURSOR: {
            if (w->parent) {
                if (SendMessageA(w->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
                if (!(w = W(hwnd))) return FALSE;
            }
            if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT && w->cls->cursor) SetCursor(w->cls->cursor);
            return FALSE;
        }
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            if (w->parent) return SendMessageA(w->parent, msg, wParam, lParam);
            return 0;
        case WM_MOUSEACTIVATE:
            if (w->parent) {
                LRESULT r = SendMessageA(w->parent, WM_MOUSEACTIVATE, wParam, lParam);
                if (r) return r;
            }
            return MA_ACTIVATE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !(w->style & WS_MINIMIZE)) SetFocus(hwnd);
            return 0;
        case WM_NCACTIVATE: return TRUE;
        case WM_SETTEXT: w->text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
        case WM_GETTEXT: {
            char* buf = reinterpret_cast<char*>(lParam);
            if (!buf || wParam == 0) return 0;
            size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
            std::memcpy(buf, w->text.data(), n);
            buf[n] = 0;
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
        case WM_GETDLGCODE: return 0;
        case WM_NCLBUTTONDOWN:
            if (wParam == static_cast<WPARAM>(HTCAPTION) ||
                (wParam >= static_cast<WPARAM>(HTLEFT) && wParam <= static_cast<WPARAM>(HTBOTTOMRIGHT)))
                SizeMoveLoop(hwnd, static_cast<LRESULT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            else if (wParam == static_cast<WPARAM>(HTHSCROLL) || wParam == static_cast<WPARAM>(HTVSCROLL))
                TrackScrollBar(hwnd, wParam == static_cast<WPARAM>(HTVSCROLL) ? SB_VERT : SB_HORZ,
                               POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        default: return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!proc) return 0;
    return proc(hwnd, msg, wParam, lParam);
}

}  // namespace win
