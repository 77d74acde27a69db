// Invalidation, WM_PAINT, BeginPaint/EndPaint, window DCs and their clipping, the DC
// redirection hook, and the default painting of backgrounds, frames and WM_PRINT.
#include <algorithm>

#include "platform/display.h"
#include "platform/gdi_device_internal.h"
#include "platform/user_state_internal.h"

namespace win::user {

namespace {

constexpr size_t kMaxUpdateRects = 256;

RectSet ClientVisible(const Window* w) {
    RectSet vis = VisibleRegion(w, false, false);
    POINT co = ClientOriginOnSurface(w);
    vis.Offset(-co.x, -co.y);
    return vis;
}

RECT ClientBox(const Window* w) {
    return RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
}

RectSet ClipFor(const DcEntry& e, const Window* w) {
    bool clipKids = (w->style & WS_CLIPCHILDREN) != 0;
    RectSet clip = VisibleRegion(w, e.windowDc, clipKids);
    if (e.paintDc) clip.Intersect(e.paintRegion);
    if (e.hasExtraClip) {
        if (e.excludeExtra)
            clip.Subtract(e.extraClip);
        else
            clip.Intersect(e.extraClip);
    }
    return clip;
}

HDC MakeDc(Window* w, bool windowDc, const RectSet* paintRegion, const RectSet* extra, bool exclude) {
    Window* root = W(RootOf(w->hwnd));
    if (!root) return nullptr;
    SurfaceForWindow(root);
    if (!root->surface) return nullptr;
    DcEntry e;
    e.hwnd = w->hwnd;
    e.windowDc = windowDc;
    if (paintRegion) {
        e.paintDc = true;
        e.paintRegion = *paintRegion;
    }
    if (extra) {
        e.hasExtraClip = true;
        e.extraClip = *extra;
        e.excludeExtra = exclude;
    }
    e.surface = root->surface;
    RectSet clip = ClipFor(e, w);
    HRGN rgn = GdiRegionFrom(clip);
    POINT origin = windowDc ? WindowOriginOnSurface(w) : ClientOriginOnSurface(w);
    e.hdc = gdi_device::CreateDeviceDC(gdi_device::DeviceKind::Window, root->surface, w->hwnd, origin, rgn);
    if (rgn) GdiDeleteObject(rgn);
    if (!e.hdc) return nullptr;
    S().dcs.push_back(e);
    return e.hdc;
}

HDC RedirectFor(HWND hwnd) {
    State& s = S();
    if (s.redirectSuspend > 0) return nullptr;
    for (auto it = s.redirects.rbegin(); it != s.redirects.rend(); ++it)
        if (it->first == hwnd) return it->second;
    return nullptr;
}

bool IsRedirectDc(HDC hdc) {
    for (const auto& r : S().redirects)
        if (r.second == hdc) return true;
    return false;
}

HDC ScreenDc() {
    HBITMAP bmp = display::ComposeScreen();
    if (!bmp) return nullptr;
    HDC dc = gdi_device::CreateDeviceDC(gdi_device::DeviceKind::Screen, bmp, nullptr, POINT{0, 0}, nullptr);
    if (!dc) return nullptr;
    DcEntry e;
    e.hdc = dc;
    e.surface = bmp;
    S().dcs.push_back(e);
    return dc;
}

void UpdateNow(HWND hwnd) {
    Window* w = W(hwnd);
    if (!w || !IsVisibleDeep(w)) return;
    if (NeedsPaint(w)) CallProc(w, WM_PAINT, 0, 0);
    if (!(w = W(hwnd))) return;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) UpdateNow(c);
}

void EraseNow(HWND hwnd, bool kids) {
    Window* w = W(hwnd);
    if (!w || !IsVisibleDeep(w)) return;
    if (w->ncPaintPending) {
        w->ncPaintPending = false;
        CallProc(w, WM_NCPAINT, 1, 0);
        if (!(w = W(hwnd))) return;
    }
    if (w->erasePending && !w->update.Empty()) {
        w->erasePending = false;
        RectSet region = w->update;
        POINT co = ClientOriginOnSurface(w);
        region.Offset(co.x, co.y);
        if (HDC dc = MakeDc(w, false, &region, nullptr, false)) {
            CallProc(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            ReleaseDC(hwnd, dc);
        }
        if (!(w = W(hwnd))) return;
    }
    if (!kids) return;
    std::vector<HWND> list = w->children;
    for (HWND c : list) EraseNow(c, true);
}

COLORREF SysColor(int i) { return static_cast<COLORREF>(GetSysColor(i)); }

}  // namespace

bool NeedsPaint(const Window* w) { return !w->update.Empty() || w->internalPaint || w->ncPaintPending; }

void InvalidateInternal(Window* w, const RectSet* clientRgn, UINT flags) {
    if (!w || !IsVisibleDeep(w)) return;
    RECT box = ClientBox(w);
    RectSet area = clientRgn ? *clientRgn : RectSet(box);
    RectSet inClient = area;
    inClient.Intersect(box);
    if (flags & RDW_INVALIDATE) {
        RectSet add = inClient;
        add.Intersect(ClientVisible(w));
        if (!add.Empty()) {
            w->update.Add(add);
            // A very fragmented update region becomes its bounding box (painting a little
            // more, never less).
            if (w->update.Rects().size() > kMaxUpdateRects) w->update = RectSet(w->update.Bounds());
            if (flags & RDW_ERASE) w->erasePending = true;
        }
        if (flags & RDW_FRAME) w->ncPaintPending = true;
    }
    if (flags & RDW_INTERNALPAINT) w->internalPaint = true;
    if (flags & RDW_VALIDATE) {
        w->update.Subtract(inClient);
        if (w->update.Empty()) w->erasePending = false;
        if (flags & RDW_NOFRAME) w->ncPaintPending = false;
    }
    if (flags & RDW_NOERASE) w->erasePending = false;
    if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
    bool kids = (flags & RDW_ALLCHILDREN) || (!(flags & RDW_NOCHILDREN) && !(w->style & WS_CLIPCHILDREN));
    if (!kids) return;
    for (HWND c : w->children) {
        Window* cw = W(c);
        if (!cw || !(cw->style & WS_VISIBLE)) continue;
        RectSet sub = inClient;
        sub.Intersect(cw->window);
        if (sub.Empty()) continue;
        sub.Offset(-cw->client.left, -cw->client.top);
        InvalidateInternal(cw, &sub, flags & ~RDW_NOCHILDREN);
    }
}

void RefreshDcClips() {
    State& s = S();
    for (DcEntry& e : s.dcs) {
        if (!e.hwnd) continue;
        Window* w = W(e.hwnd);
        Window* root = w ? W(RootOf(e.hwnd)) : nullptr;
        RectSet clip;
        if (w && root && root->surface == e.surface) clip = ClipFor(e, w);
        HRGN rgn = GdiRegionFrom(clip);
        gdi_device::SetDeviceSystemClip(e.hdc, rgn);
        if (rgn) GdiDeleteObject(rgn);
    }
}

void ReleaseWindowDcs(HWND hwnd) {
    State& s = S();
    std::vector<HDC> mine;
    for (const DcEntry& e : s.dcs)
        if (e.hwnd == hwnd) mine.push_back(e.hdc);
    for (HDC dc : mine) ReleaseDC(hwnd, dc);
}

LRESULT DefEraseBackground(Window* w, HDC hdc) {
    HBRUSH brush = w->cls->background;
    if (!brush || !hdc) return 0;
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v <= 31) brush = GetSysColorBrush(static_cast<int>(v) - 1);
    if (!brush) return 0;
    GdiFillBrush(hdc, ClientBox(w), brush);
    return 1;
}

void DefNcPaint(Window* w, HDC given) {
    RECT in = FrameInsets(w->style, w->exStyle);
    if (in.left == 0 && in.top == 0 && in.right == 0 && in.bottom == 0) return;
    HDC hdc = given ? given : GetWindowDC(w->hwnd);
    if (!hdc) return;
    int width = w->window.right - w->window.left, height = w->window.bottom - w->window.top;
    int b = 0;
    COLORREF frame = SysColor(COLOR_BTNFACE);
    if (w->style & WS_THICKFRAME)
        b = 4;
    else if ((w->style & WS_DLGFRAME) || (w->exStyle & WS_EX_DLGMODALFRAME))
        b = 3;
    else if (w->style & WS_BORDER) {
        b = 1;
        frame = SysColor(COLOR_WINDOWFRAME);
    }
    RectSet ring(RECT{0, 0, width, height});
    ring.Subtract(RECT{b, b, width - b, height - b});
    for (const RECT& r : ring.Rects()) GdiFill(hdc, r, frame);
    int cap = (w->style & WS_CAPTION) == WS_CAPTION ? 19 : 0;
    if (cap) {
        bool active = S().active == w->hwnd;
        GdiFill(hdc, RECT{b, b, width - b, b + cap}, SysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    }
    POINT co{w->client.left - w->window.left, w->client.top - w->window.top};
    int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
    if (w->exStyle & WS_EX_CLIENTEDGE) {
        RectSet edge(RECT{b, b + cap, width - b, height - b});
        edge.Subtract(RECT{b + 2, b + cap + 2, width - b - 2, height - b - 2});
        for (const RECT& r : edge.Rects()) GdiFill(hdc, r, SysColor(COLOR_BTNSHADOW));
    }
    // Bars of the flat scroll bar layer are painted by it on WM_NCPAINT and left out of a
    // printed frame.
    if (!(w->flatScrollBars && given)) {
        auto bar = [&](const RECT& r, int mode, int kind) {
            GdiFill(hdc, r, SysColor(COLOR_SCROLLBAR));
            PaintScrollBarParts(hdc, w, kind, kind == SB_HORZ ? RECT{r.left, r.top, co.x + cw, r.bottom} : r);
            if (w->flatScrollBars && mode != FSB_REGULAR_MODE) {
                RectSet frame(r);
                frame.Subtract(RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1});
                for (const RECT& f : frame.Rects()) GdiFill(hdc, f, SysColor(COLOR_BTNSHADOW));
            }
        };
        if (w->style & WS_VSCROLL) bar(RECT{co.x + cw, co.y, co.x + cw + 17, co.y + ch}, w->flatModeV, SB_VERT);
        if (w->style & WS_HSCROLL)
            bar(RECT{co.x, co.y + ch, co.x + cw + ((w->style & WS_VSCROLL) ? 17 : 0), co.y + ch + 17}, w->flatModeH,
                SB_HORZ);
    }
    if (!given) ReleaseDC(w->hwnd, hdc);
}

LRESULT DefPrint(Window* w, HDC hdc, LPARAM flags) {
    if (!hdc) return 0;
    HWND hwnd = w->hwnd;
    if ((flags & PRF_CHECKVISIBLE) && !IsVisibleDeep(w)) return 0;
    POINT clientOff{w->client.left - w->window.left, w->client.top - w->window.top};
    bool nc = (flags & PRF_NONCLIENT) != 0;
    if (nc) DefNcPaint(w, hdc);
    if (flags & (PRF_ERASEBKGND | PRF_CLIENT)) {
        int saved = GdiSaveDC(hdc);
        if (nc) GdiOffsetViewport(hdc, clientOff.x, clientOff.y);
        GdiIntersectClip(hdc, ClientBox(w));
        if (flags & PRF_ERASEBKGND) SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
        if ((flags & PRF_CLIENT) && W(hwnd)) SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), flags);
        GdiRestoreDC(hdc, saved);
    }
    if ((flags & PRF_CHILDREN) && (w = W(hwnd))) {
        std::vector<HWND> kids = w->children;
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
            Window* c = W(*it);
            if (!c || !(c->style & WS_VISIBLE)) continue;
            int saved = GdiSaveDC(hdc);
            int dx = (nc ? clientOff.x : 0) + (nc ? c->window.left : c->client.left);
            int dy = (nc ? clientOff.y : 0) + (nc ? c->window.top : c->client.top);
            GdiOffsetViewport(hdc, dx, dy);
            SendMessageA(*it, WM_PRINT, reinterpret_cast<WPARAM>(hdc), flags & ~PRF_CHECKVISIBLE);
            GdiRestoreDC(hdc, saved);
        }
    }
    return 0;
}

}  // namespace win::user

namespace win {

using namespace user;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    UINT flags = RDW_INVALIDATE | (erase ? RDW_ERASE : 0u);
    if (!hwnd) {
        for (HWND t : S().topLevels) InvalidateInternal(W(t), nullptr, flags | RDW_FRAME | RDW_ALLCHILDREN);
        return TRUE;
    }
    return RedrawWindow(hwnd, rect, nullptr, flags);
}

BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
    return RedrawWindow(hwnd, nullptr, rgn, RDW_INVALIDATE | (erase ? RDW_ERASE : 0u));
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) { return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE); }

BOOL ValidateRgn(HWND hwnd, HRGN rgn) { return RedrawWindow(hwnd, nullptr, rgn, RDW_VALIDATE); }

BOOL UpdateWindow(HWND hwnd) {
    if (!W(hwnd)) return FALSE;
    UpdateNow(hwnd);
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN rgn, UINT flags) {
    Window* w = W(hwnd);
    if (!w) {
        SetError(1400);
        return FALSE;
    }
    RectSet area;
    const RectSet* ap = nullptr;
    if (rgn) {
        if (!GdiReadRegion(rgn, &area)) return FALSE;
        ap = &area;
    } else if (rect) {
        area = RectSet(*rect);
        ap = &area;
    }
    InvalidateInternal(w, ap, flags);
    bool kids = (flags & RDW_ALLCHILDREN) || (!(flags & RDW_NOCHILDREN) && !(w->style & WS_CLIPCHILDREN));
    if (flags & RDW_ERASENOW) EraseNow(hwnd, kids);
    if (flags & RDW_UPDATENOW) {
        if (kids)
            UpdateNow(hwnd);
        else if ((w = W(hwnd)) && IsVisibleDeep(w) && NeedsPaint(w))
            CallProc(w, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase) {
    Window* w = W(hwnd);
    if (!w) return FALSE;
    if (rect) *rect = w->update.Bounds();
    bool any = !w->update.Empty();
    if (any && erase && w->erasePending) EraseNow(hwnd, false);
    return any ? TRUE : FALSE;
}

int GetUpdateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
    Window* w = W(hwnd);
    if (!w || !rgn) return USER_ERROR_REGION;
    int type = GdiCopyRegion(rgn, w->update);
    if (erase && w->erasePending && !w->update.Empty()) EraseNow(hwnd, false);
    return type;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = W(hwnd);
    if (!w || !ps) return nullptr;
    if (HDC r = RedirectFor(hwnd)) {
        ps->hdc = r;
        return r;
    }
    if (w->ncPaintPending) {
        w->ncPaintPending = false;
        CallProc(w, WM_NCPAINT, 1, 0);
        if (!(w = W(hwnd))) return nullptr;
    }
    RectSet update = w->update;
    bool erase = w->erasePending;
    w->update.Clear();
    w->erasePending = false;
    w->internalPaint = false;
    RectSet region = update;
    POINT co = ClientOriginOnSurface(w);
    region.Offset(co.x, co.y);
    HDC dc = MakeDc(w, false, &region, nullptr, false);
    ps->hdc = dc;
    ps->rcPaint = update.Bounds();
    ps->fRestore = FALSE;
    ps->fIncUpdate = FALSE;
    ps->fErase = FALSE;
    if (dc && erase) ps->fErase = CallProc(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 ? TRUE : FALSE;
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    // A paint structure filled by a redirected BeginPaint: nothing to release.
    if (IsRedirectDc(ps->hdc)) return -1;
    if (ps->hdc) ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd) return ScreenDc();
    Window* w = W(hwnd);
    if (!w) return nullptr;
    if (HDC r = RedirectFor(hwnd)) return r;
    return MakeDc(w, false, nullptr, nullptr, false);
}

HDC GetDCEx(HWND hwnd, HRGN clip, DWORD flags) {
    if (!hwnd) return ScreenDc();
    Window* w = W(hwnd);
    if (!w) return nullptr;
    if (HDC r = RedirectFor(hwnd)) return r;
    RectSet extra;
    bool useExtra = false;
    if (clip && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN))) {
        // The region is in screen coordinates.
        if (GdiReadRegion(clip, &extra)) {
            Window* root = W(RootOf(hwnd));
            extra.Offset(-root->window.left, -root->window.top);
            useExtra = true;
        }
    }
    HDC dc = MakeDc(w, (flags & DCX_WINDOW) != 0, nullptr, useExtra ? &extra : nullptr, (flags & DCX_EXCLUDERGN) != 0);
    if (dc && (flags & DCX_CLIPCHILDREN) && !(w->style & WS_CLIPCHILDREN)) {
        RectSet clipRs = VisibleRegion(w, (flags & DCX_WINDOW) != 0, true);
        if (useExtra) {
            if (flags & DCX_EXCLUDERGN)
                clipRs.Subtract(extra);
            else
                clipRs.Intersect(extra);
        }
        HRGN r = GdiRegionFrom(clipRs);
        gdi_device::SetDeviceSystemClip(dc, r);
        if (r) GdiDeleteObject(r);
    }
    return dc;
}

HDC GetWindowDC(HWND hwnd) {
    if (!hwnd) return ScreenDc();
    Window* w = W(hwnd);
    if (!w) return nullptr;
    if (HDC r = RedirectFor(hwnd)) return r;
    return MakeDc(w, true, nullptr, nullptr, false);
}

int ReleaseDC(HWND, HDC hdc) {
    State& s = S();
    if (!hdc) return 0;
    if (IsRedirectDc(hdc)) return 1;
    auto it = std::find_if(s.dcs.begin(), s.dcs.end(), [hdc](const DcEntry& e) { return e.hdc == hdc; });
    if (it == s.dcs.end()) return 0;
    DcEntry e = *it;
    s.dcs.erase(it);
    gdi_device::DestroyDeviceDC(hdc);
    SurfaceDcReleased(e.surface);
    if (e.hwnd) SurfaceChanged(RootOf(e.hwnd));
    return 1;
}

HWND WindowFromDC(HDC hdc) {
    for (const DcEntry& e : S().dcs)
        if (e.hdc == hdc) return e.hwnd;
    return nullptr;
}

BOOL GetDCOrgEx(HDC hdc, POINT* pt) {
    if (!hdc || !pt) return FALSE;
    for (const DcEntry& e : S().dcs) {
        if (e.hdc != hdc) continue;
        POINT o = gdi_device::DeviceOrigin(hdc);
        if (Window* root = W(RootOf(e.hwnd))) {
            o.x += root->window.left;
            o.y += root->window.top;
        }
        *pt = o;
        return TRUE;
    }
    *pt = POINT{0, 0};
    return TRUE;
}

BOOL LockWindowUpdate(HWND) { return TRUE; }

void PushDCRedirect(HWND hwnd, HDC hdc) { S().redirects.emplace_back(hwnd, hdc); }

void PopDCRedirect() {
    auto& r = S().redirects;
    if (!r.empty()) r.pop_back();
}

DCRedirectSuspend::DCRedirectSuspend() { ++S().redirectSuspend; }
DCRedirectSuspend::~DCRedirectSuspend() { --S().redirectSuspend; }

}  // namespace win
