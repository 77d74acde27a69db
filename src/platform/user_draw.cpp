// Frame drawing in the classic look, and the flat scroll bar layer.
#include <algorithm>

#include "platform/user_state_internal.h"

namespace win {

using namespace user;

namespace {

struct Ring {
    int light;  // colour index of the left and top lines
    int dark;   // colour index of the right and bottom lines
};

// The ring of an edge's outer (outer true) or inner bits; false when the bits draw none.
bool RingOf(UINT edge, UINT flags, bool outer, Ring& ring) {
    const UINT raised = outer ? BDR_RAISEDOUTER : BDR_RAISEDINNER;
    const UINT sunken = outer ? BDR_SUNKENOUTER : BDR_SUNKENINNER;
    if (!(edge & (raised | sunken))) return false;
    if (flags & BF_MONO) {
        ring.light = ring.dark = outer ? COLOR_WINDOWFRAME : COLOR_WINDOW;
        return true;
    }
    if (flags & BF_FLAT) {
        ring.light = ring.dark = outer ? COLOR_BTNSHADOW : COLOR_BTNFACE;
        return true;
    }
    const bool soft = (flags & BF_SOFT) != 0;
    if (edge & raised) {
        if (outer)
            ring = Ring{soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW};
        else
            ring = Ring{soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    } else {
        if (outer)
            ring = Ring{soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
        else
            ring = Ring{soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT};
    }
    return true;
}

void Fill(HDC hdc, LONG l, LONG t, LONG r, LONG b, int colour) {
    if (r <= l || b <= t) return;
    GdiFill(hdc, RECT{l, t, r, b}, static_cast<COLORREF>(GetSysColor(colour)));
}

// Draws one ring on the sides of `flags` and shrinks r by it on those sides.
void DrawRing(HDC hdc, RECT& r, const Ring& ring, UINT flags) {
    if (flags & BF_LEFT) Fill(hdc, r.left, r.top, r.left + 1, r.bottom, ring.light);
    if (flags & BF_TOP) Fill(hdc, r.left, r.top, r.right, r.top + 1, ring.light);
    if (flags & BF_RIGHT) Fill(hdc, r.right - 1, r.top, r.right, r.bottom, ring.dark);
    if (flags & BF_BOTTOM) Fill(hdc, r.left, r.bottom - 1, r.right, r.bottom, ring.dark);
    if (flags & BF_LEFT) ++r.left;
    if (flags & BF_TOP) ++r.top;
    if (flags & BF_RIGHT) --r.right;
    if (flags & BF_BOTTOM) --r.bottom;
}

}  // namespace

BOOL DrawEdge(HDC hdc, RECT* rect, UINT edge, UINT flags) {
    if (!hdc || !rect || (flags & BF_DIAGONAL)) return FALSE;
    RECT r = *rect;
    Ring ring;
    if (RingOf(edge, flags, true, ring)) DrawRing(hdc, r, ring, flags);
    if (RingOf(edge, flags, false, ring)) DrawRing(hdc, r, ring, flags);
    if (flags & BF_MIDDLE)
        Fill(hdc, r.left, r.top, r.right, r.bottom, (flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE);
    if (flags & BF_ADJUST) *rect = r;
    return TRUE;
}

// ---- flat scroll bars ------------------------------------------------------------------------------

namespace {

void RepaintFrame(Window* w) {
    if (w && IsVisibleDeep(w)) w->ncPaintPending = true;
}

}  // namespace

BOOL InitializeFlatSB(HWND hwnd) {
    Window* w = W(hwnd);
    if (!w) return FALSE;
    if (!w->flatScrollBars) {
        w->flatScrollBars = true;
        w->flatModeH = w->flatModeV = FSB_REGULAR_MODE;
    }
    return TRUE;
}

LONG UninitializeFlatSB(HWND hwnd) {
    Window* w = W(hwnd);
    if (!w) return static_cast<LONG>(0x80004005u);  // E_FAIL
    if (w->flatScrollBars) {
        w->flatScrollBars = false;
        if (w->style & (WS_HSCROLL | WS_VSCROLL)) RepaintFrame(w);
    }
    return 0;
}

BOOL FlatSB_SetScrollProp(HWND hwnd, int index, INT_PTR value, BOOL redraw) {
    Window* w = W(hwnd);
    if (!w || !w->flatScrollBars) return FALSE;
    if (value != FSB_REGULAR_MODE && value != FSB_ENCARTA_MODE && value != FSB_FLAT_MODE) return FALSE;
    if (index == WSB_PROP_HSTYLE)
        w->flatModeH = static_cast<int>(value);
    else if (index == WSB_PROP_VSTYLE)
        w->flatModeV = static_cast<int>(value);
    else
        return FALSE;
    if (redraw && (w->style & (WS_HSCROLL | WS_VSCROLL))) RepaintFrame(w);
    return TRUE;
}

BOOL FlatSB_GetScrollProp(HWND hwnd, int index, int* value) {
    Window* w = W(hwnd);
    if (!w || !w->flatScrollBars || !value) return FALSE;
    if (index == WSB_PROP_HSTYLE)
        *value = w->flatModeH;
    else if (index == WSB_PROP_VSTYLE)
        *value = w->flatModeV;
    else
        return FALSE;
    return TRUE;
}

}  // namespace win
