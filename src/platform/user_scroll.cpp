// Standard scroll bars: the values of a window's frame bars and of a scroll bar control's
// own bar, showing, hiding and disabling them, drawing their arrows and thumb in the frame,
// and the mouse loop of a press on a bar.
#include <algorithm>
#include <cstdint>

#include "platform/user_state_internal.h"

namespace win::user {

namespace {

constexpr int kBarSize = 17;               // the thickness of a frame bar (and its arrow boxes)
constexpr int kMinThumb = 8;               // the shortest thumb
constexpr UINT_PTR kRepeatTimer = 0xFFFE;  // the press loop's repeat timer on the window
constexpr UINT kRepeatDelay = 400;         // ms before a held arrow or track repeats
constexpr UINT kRepeatRate = 50;

COLORREF Sys(int i) { return static_cast<COLORREF>(GetSysColor(i)); }

Window::ScrollBar* BarOf(Window* w, int bar) {
    if (!w || bar < SB_HORZ || bar > SB_CTL) return nullptr;
    return &w->scrollBars[bar];
}

// The highest position: max - max(page - 1, 0).
int MaxPos(const Window::ScrollBar& b) {
    const int64_t m = int64_t{b.max} - std::max<int64_t>(int64_t{b.page} - 1, 0);
    return static_cast<int>(std::max<int64_t>(m, b.min));
}

bool CanScroll(const Window::ScrollBar& b) {
    return int64_t{b.max} - std::max<int64_t>(int64_t{b.page} - 1, 0) > b.min;
}

void Clamp(Window::ScrollBar& b) {
    const int64_t range = int64_t{b.max} - b.min + 1;
    if (int64_t{b.page} > range) b.page = static_cast<UINT>(std::max<int64_t>(range, 0));
    b.pos = std::clamp(b.pos, b.min, MaxPos(b));
}

DWORD StyleBit(int bar) { return bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL; }

void RedrawFrame(Window* w) {
    if (w && IsVisibleDeep(w) && (w->style & (WS_HSCROLL | WS_VSCROLL))) w->ncPaintPending = true;
}

// Adds or removes frame bars; the client rectangle follows through WM_NCCALCSIZE.
void SetBarStyle(HWND hwnd, DWORD bits, bool show) {
    Window* w = W(hwnd);
    if (!w) return;
    const DWORD before = w->style;
    if (show)
        w->style |= bits;
    else
        w->style &= ~bits;
    if (w->style == before) return;
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // The client moved under the frame: all of it is painted again.
    if (IsWindow(hwnd)) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// A frame bar's box in window coordinates (empty when the window does not show it).
RECT BarRect(const Window* w, int bar) {
    POINT co{w->client.left - w->window.left, w->client.top - w->window.top};
    const int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
    if (bar == SB_VERT && (w->style & WS_VSCROLL)) return RECT{co.x + cw, co.y, co.x + cw + kBarSize, co.y + ch};
    if (bar == SB_HORZ && (w->style & WS_HSCROLL)) return RECT{co.x, co.y + ch, co.x + cw, co.y + ch + kBarSize};
    return RECT{0, 0, 0, 0};
}

// Where the parts of a bar of length `length` lie along it.
struct Layout {
    int arrow = 0;       // length of each arrow box
    int trackEnd = 0;    // the track is arrow .. trackEnd
    bool thumb = false;  // a thumb is shown
    int thumbStart = 0;  // thumbStart .. thumbEnd
    int thumbEnd = 0;
};

Layout LayoutOf(const Window::ScrollBar& b, int length, int position) {
    Layout l;
    l.arrow = std::min(kBarSize, length / 2);
    l.trackEnd = length - l.arrow;
    const int track = l.trackEnd - l.arrow;
    if (!CanScroll(b) || b.disabled == ESB_DISABLE_BOTH || track < kMinThumb) return l;
    const int64_t range = int64_t{b.max} - b.min + 1;
    int thumb = b.page ? static_cast<int>(int64_t{track} * b.page / range) : kBarSize;
    thumb = std::clamp(thumb, kMinThumb, track);
    const int64_t span = int64_t{MaxPos(b)} - b.min;
    const int offset = static_cast<int>((int64_t{track} - thumb) * (int64_t{position} - b.min) / span);
    l.thumb = true;
    l.thumbStart = l.arrow + offset;
    l.thumbEnd = l.thumbStart + thumb;
    return l;
}

// A raised box in button face.
void Button(HDC hdc, const RECT& r) {
    GdiFill(hdc, r, Sys(COLOR_BTNFACE));
    GdiFill(hdc, RECT{r.left, r.top, r.right, r.top + 1}, Sys(COLOR_BTNHIGHLIGHT));
    GdiFill(hdc, RECT{r.left, r.top, r.left + 1, r.bottom}, Sys(COLOR_BTNHIGHLIGHT));
    GdiFill(hdc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, Sys(COLOR_BTNSHADOW));
    GdiFill(hdc, RECT{r.right - 1, r.top, r.right, r.bottom}, Sys(COLOR_BTNSHADOW));
}

// A small solid triangle in the middle of r pointing left, right, up or down (dir 0 .. 3).
void Arrow(HDC hdc, const RECT& r, int dir, bool enabled) {
    const COLORREF c = Sys(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        // Row i of the triangle counted from its point: 2i + 1 pixels wide.
        switch (dir) {
            case 0: GdiFill(hdc, RECT{cx - 2 + i, cy - i, cx - 1 + i, cy + i + 1}, c); break;
            case 1: GdiFill(hdc, RECT{cx + 1 - i, cy - i, cx + 2 - i, cy + i + 1}, c); break;
            case 2: GdiFill(hdc, RECT{cx - i, cy - 2 + i, cx + i + 1, cy - 1 + i}, c); break;
            default: GdiFill(hdc, RECT{cx - i, cy + 1 - i, cx + i + 1, cy + 2 - i}, c); break;
        }
    }
}

enum class Part { None, LineUp, PageUp, Thumb, PageDown, LineDown };

Part PartAt(const Layout& l, int length, int along) {
    if (along < 0 || along >= length) return Part::None;
    if (along < l.arrow) return Part::LineUp;
    if (along >= l.trackEnd) return Part::LineDown;
    if (!l.thumb) return Part::None;
    if (along < l.thumbStart) return Part::PageUp;
    if (along >= l.thumbEnd) return Part::PageDown;
    return Part::Thumb;
}

WORD CodeOf(Part p) {
    switch (p) {
        case Part::LineUp: return SB_LINEUP;
        case Part::PageUp: return SB_PAGEUP;
        case Part::PageDown: return SB_PAGEDOWN;
        default: return SB_LINEDOWN;
    }
}

}  // namespace

void PaintScrollBarParts(HDC hdc, const Window* w, int bar, const RECT& r) {
    const Window::ScrollBar& b = w->scrollBars[bar];
    const bool vertical = bar == SB_VERT;
    const int length = vertical ? r.bottom - r.top : r.right - r.left;
    const Layout l = LayoutOf(b, length, b.tracking ? b.trackPos : b.pos);
    auto box = [&](int from, int to) {
        return vertical ? RECT{r.left, r.top + from, r.right, r.top + to}
                        : RECT{r.left + from, r.top, r.left + to, r.bottom};
    };
    const bool scrolls = CanScroll(b);
    const RECT first = box(0, l.arrow), second = box(l.trackEnd, length);
    Button(hdc, first);
    Button(hdc, second);
    Arrow(hdc, first, vertical ? 2 : 0, scrolls && !(b.disabled & ESB_DISABLE_LTUP));
    Arrow(hdc, second, vertical ? 3 : 1, scrolls && !(b.disabled & ESB_DISABLE_RTDN));
    if (l.thumb) Button(hdc, box(l.thumbStart, l.thumbEnd));
}

void TrackScrollBar(HWND hwnd, int bar, POINT screen) {
    Window* w = W(hwnd);
    if (!w || (bar != SB_HORZ && bar != SB_VERT)) return;
    const bool vertical = bar == SB_VERT;
    const UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
    // The point along the bar, from its start.
    auto along = [&](POINT p) {
        Window* now = W(hwnd);
        if (!now) return -1;
        const POINT wo = WindowOriginOnScreen(now);
        const RECT r = BarRect(now, bar);
        return vertical ? static_cast<int>(p.y - wo.y - r.top) : static_cast<int>(p.x - wo.x - r.left);
    };
    auto length = [&]() {
        Window* now = W(hwnd);
        if (!now) return 0;
        const RECT r = BarRect(now, bar);
        return static_cast<int>(vertical ? r.bottom - r.top : r.right - r.left);
    };
    Window::ScrollBar& b0 = w->scrollBars[bar];
    if (b0.disabled == ESB_DISABLE_BOTH) return;
    const Layout start = LayoutOf(b0, length(), b0.pos);
    const Part part = PartAt(start, length(), along(screen));
    if (part == Part::None) return;
    if (part == Part::LineUp && (b0.disabled & ESB_DISABLE_LTUP)) return;
    if (part == Part::LineDown && (b0.disabled & ESB_DISABLE_RTDN)) return;

    const int grab = along(screen) - start.thumbStart;  // where the thumb was taken
    SetCapture(hwnd);
    bool repeating = false;
    if (part == Part::Thumb) {
        b0.tracking = true;
        b0.trackPos = b0.pos;
    } else {
        SendMessageA(hwnd, message, MAKEWPARAM(CodeOf(part), 0), 0);
        SetTimer(hwnd, kRepeatTimer, kRepeatDelay, nullptr);
    }
    MSG m;
    for (;;) {
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        Window* now = W(hwnd);
        if (!now) break;
        Window::ScrollBar& b = now->scrollBars[bar];
        if (m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == kRepeatTimer) {
            if (!repeating) {
                repeating = true;
                SetTimer(hwnd, kRepeatTimer, kRepeatRate, nullptr);
            }
            // A held track press repeats only while the pointer stays on that side of the
            // thumb; an arrow while the pointer is on it.
            const Layout l = LayoutOf(b, length(), b.pos);
            if (PartAt(l, length(), along(m.pt)) == part) SendMessageA(hwnd, message, MAKEWPARAM(CodeOf(part), 0), 0);
            continue;
        }
        if (m.message == WM_MOUSEMOVE || m.message == WM_NCMOUSEMOVE) {
            if (part == Part::Thumb) {
                const Layout l = LayoutOf(b, length(), b.pos);
                const int track = l.trackEnd - l.arrow - (l.thumbEnd - l.thumbStart);
                const int64_t span = int64_t{MaxPos(b)} - b.min;
                int pos = b.min;
                if (track > 0) {
                    const int64_t offset = std::clamp<int64_t>(along(m.pt) - grab - l.arrow, 0, track);
                    pos = static_cast<int>(b.min + (offset * span + track / 2) / track);
                }
                if (pos != b.trackPos) {
                    b.trackPos = pos;
                    RedrawFrame(now);
                    SendMessageA(hwnd, message, MAKEWPARAM(SB_THUMBTRACK, static_cast<WORD>(pos)), 0);
                }
            }
            continue;
        }
        if (m.message == WM_LBUTTONUP || m.message == WM_NCLBUTTONUP) {
            if (part == Part::Thumb) {
                const int pos = b.trackPos;
                SendMessageA(hwnd, message, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(pos)), 0);
            }
            break;
        }
        if (m.message == WM_KEYDOWN && m.wParam == static_cast<WPARAM>(VK_ESCAPE)) break;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (Window* now = W(hwnd)) {
        now->scrollBars[bar].tracking = false;
        RedrawFrame(now);
        KillTimer(hwnd, kRepeatTimer);
    }
    if (GetCapture() == hwnd) ReleaseCapture();
    if (IsWindow(hwnd)) SendMessageA(hwnd, message, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

}  // namespace win::user

namespace win {

using namespace user;

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
    Window* w = W(hwnd);
    Window::ScrollBar* b = BarOf(w, bar);
    if (!b || !info) return 0;
    const UINT mask = info->fMask;
    if (mask & SIF_RANGE) {
        // A reversed range, or one wider than 31 bits, is no range.
        if (info->nMin > info->nMax || int64_t{info->nMax} - info->nMin >= int64_t{0x80000000}) {
            b->min = 0;
            b->max = 0;
        } else {
            b->min = info->nMin;
            b->max = info->nMax;
        }
    }
    if (mask & SIF_PAGE) b->page = info->nPage;
    if (mask & SIF_POS) b->pos = info->nPos;
    Clamp(*b);
    if (bar != SB_CTL && (mask & (SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL))) {
        const bool needed = CanScroll(*b);
        if (mask & SIF_DISABLENOSCROLL) {
            b->disabled = needed ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH;
            if (!(w->style & StyleBit(bar))) SetBarStyle(hwnd, StyleBit(bar), true);
        } else if (needed != ((w->style & StyleBit(bar)) != 0)) {
            SetBarStyle(hwnd, StyleBit(bar), needed);
        }
        w = W(hwnd);
        if (!w) return 0;
        b = BarOf(w, bar);
    }
    if (redraw) RedrawFrame(w);
    return b->pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
    Window::ScrollBar* b = BarOf(W(hwnd), bar);
    if (!b || !info || !(info->fMask & SIF_ALL)) return FALSE;
    if (info->fMask & SIF_RANGE) {
        info->nMin = b->min;
        info->nMax = b->max;
    }
    if (info->fMask & SIF_PAGE) info->nPage = b->page;
    if (info->fMask & SIF_POS) info->nPos = b->pos;
    if (info->fMask & SIF_TRACKPOS) info->nTrackPos = b->tracking ? b->trackPos : b->pos;
    return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    Window::ScrollBar* b = BarOf(W(hwnd), bar);
    if (!b) return 0;
    const int old = b->pos;
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, &si, redraw);
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    Window::ScrollBar* b = BarOf(W(hwnd), bar);
    return b ? b->pos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    if (!BarOf(W(hwnd), bar)) return FALSE;
    SCROLLINFO si;
    si.fMask = SIF_RANGE;
    si.nMin = minPos;
    si.nMax = maxPos;
    SetScrollInfo(hwnd, bar, &si, redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos) {
    Window::ScrollBar* b = BarOf(W(hwnd), bar);
    if (!b || !minPos || !maxPos) return FALSE;
    *minPos = b->min;
    *maxPos = b->max;
    return TRUE;
}

BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
    Window* w = W(hwnd);
    if (!w || bar > static_cast<UINT>(SB_BOTH)) return FALSE;
    arrows &= ESB_DISABLE_BOTH;
    bool changed = false;
    for (int i = SB_HORZ; i <= SB_CTL; ++i) {
        const bool chosen = bar == static_cast<UINT>(SB_BOTH) ? i != SB_CTL : static_cast<UINT>(i) == bar;
        if (!chosen) continue;
        changed = changed || w->scrollBars[i].disabled != arrows;
        w->scrollBars[i].disabled = arrows;
    }
    if (changed) RedrawFrame(w);
    return changed ? TRUE : FALSE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
    Window* w = W(hwnd);
    if (!w) return FALSE;
    switch (bar) {
        case SB_CTL: ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE); return TRUE;
        case SB_HORZ: SetBarStyle(hwnd, WS_HSCROLL, show != FALSE); return TRUE;
        case SB_VERT: SetBarStyle(hwnd, WS_VSCROLL, show != FALSE); return TRUE;
        case SB_BOTH: SetBarStyle(hwnd, WS_HSCROLL | WS_VSCROLL, show != FALSE); return TRUE;
        default: return FALSE;
    }
}

// The flat scroll bar layer keeps the same values and only paints the bars differently.
int FlatSB_SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
    return SetScrollInfo(hwnd, bar, info, redraw);
}
BOOL FlatSB_GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) { return GetScrollInfo(hwnd, bar, info); }
int FlatSB_SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) { return SetScrollPos(hwnd, bar, pos, redraw); }
int FlatSB_GetScrollPos(HWND hwnd, int bar) { return GetScrollPos(hwnd, bar); }
BOOL FlatSB_SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    return SetScrollRange(hwnd, bar, minPos, maxPos, redraw);
}
BOOL FlatSB_GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos) {
    return GetScrollRange(hwnd, bar, minPos, maxPos);
}
BOOL FlatSB_EnableScrollBar(HWND hwnd, int bar, UINT arrows) {
    return EnableScrollBar(hwnd, static_cast<UINT>(bar), arrows);
}
BOOL FlatSB_ShowScrollBar(HWND hwnd, int bar, BOOL show) { return ShowScrollBar(hwnd, bar, show); }

}  // namespace win
