// Device contexts: memory, window and screen DCs, their saved states, origins, clipping,
// modes and capabilities.
#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/display.h"
#include "platform/gdi_internal.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace win::gdi {

uintptr_t StockBitmapHandle();
void ReleaseDcState(DcObj& dc);
void RetainInitialState(DcObj& dc);

std::shared_ptr<DcObj> GetDc(HDC hdc) {
    auto dc = Objects().GetAs<DcObj>(HV(hdc), HandleKind::DC);
    if (!dc) NoteInvalidHandle();
    return dc;
}

void NoteInvalidHandle() { SetLastError(ERROR_INVALID_HANDLE); }

void NoteDrawn(DcObj& dc, const RECT& box) {
    if (dc.dcKind != DcKind::Window || !dc.st.bitmap || box.right <= box.left || box.bottom <= box.top) return;
    RECT& c = dc.st.bitmap->changed;
    UnionRect(&c, &c, &box);
}

const Region& DcObj::Visible() {
    if (!visibleValid_) {
        const BitmapObj* bm = st.bitmap.get();
        Region r = bm ? Region::FromRect(0, 0, bm->width, bm->height) : Region();
        if (systemClip) r = r.And(*systemClip);
        if (st.clip) {
            Region c = *st.clip;
            c.Offset(origin.x, origin.y);
            r = r.And(c);
        }
        visible_ = std::move(r);
        visibleValid_ = true;
    }
    return visible_;
}

namespace {

std::mutex g_screenMutex;
SIZE g_screen{1024, 768};

// The whole drawable area of a DC in device units (the clip a missing clip stands for).
Region DeviceArea(DcObj& dc) {
    const BitmapObj* bm = dc.st.bitmap.get();
    Region r = bm ? Region::FromRect(0, 0, bm->width, bm->height) : Region();
    if (dc.systemClip) r = r.And(*dc.systemClip);
    r.Offset(-dc.origin.x, -dc.origin.y);
    return r;
}

int SetClip(DcObj& dc, std::optional<Region> clip) {
    dc.st.clip = std::move(clip);
    dc.InvalidateVisible();
    return dc.Visible().Type();
}

RECT LogicalRectToDevice(const DcObj& dc, int l, int t, int r, int b) {
    return RECT{dc.ToDevX(l), dc.ToDevY(t), dc.ToDevX(r), dc.ToDevY(b)};
}

std::shared_ptr<DcObj> NewDc(DcKind kind) {
    auto dc = std::make_shared<DcObj>();
    dc->kind = HandleKind::DC;
    dc->dcKind = kind;
    InitDcState(dc->st);
    return dc;
}

}  // namespace

}  // namespace win::gdi

namespace win {

using namespace gdi;

void SetScreenSize(int width, int height) {
    std::lock_guard<std::mutex> lock(g_screenMutex);
    if (width > 0 && height > 0) g_screen = {width, height};
}

SIZE GetScreenSize() {
    std::lock_guard<std::mutex> lock(g_screenMutex);
    return g_screen;
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc && !GetDc(hdc)) return nullptr;
    auto dc = NewDc(DcKind::Memory);
    dc->st.hbitmap = StockBitmapHandle();
    dc->st.bitmap = Objects().GetAs<BitmapObj>(dc->st.hbitmap, HandleKind::Bitmap);
    RetainInitialState(*dc);
    return AsHandle<HDC>(Objects().Add(dc));
}

BOOL DeleteDC(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc || dc->dcKind != DcKind::Memory) return FALSE;
    ReleaseDcState(*dc);
    Objects().Remove(HV(hdc), HandleKind::DC);
    return TRUE;
}

int SaveDC(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->st);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int savedDC) {
    auto dc = GetDc(hdc);
    if (!dc || savedDC == 0) return FALSE;
    int depth = static_cast<int>(dc->saved.size());
    int level = savedDC < 0 ? depth + savedDC + 1 : savedDC;
    if (level < 1 || level > depth) return FALSE;
    DcState st = dc->saved[static_cast<size_t>(level - 1)];
    dc->saved.resize(static_cast<size_t>(level - 1));
    ReplaceState(*dc, std::move(st));
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    if (!GetDc(hdc)) return 0;
    SIZE s = GetScreenSize();
    switch (index) {
        case DRIVERVERSION: return 0x4000;
        case TECHNOLOGY: return 1;  // raster display
        case HORZSIZE: return s.cx * 254 / 960;
        case VERTSIZE: return s.cy * 254 / 960;
        case HORZRES: return s.cx;
        case VERTRES: return s.cy;
        case BITSPIXEL: return 32;
        case PLANES: return 1;
        case NUMCOLORS: return -1;
        case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
        case LOGPIXELSX:
        case LOGPIXELSY: return 96;
        case SIZEPALETTE: return 0;
        case NUMRESERVED: return 0;
        case COLORRES: return 24;
        default: return 0;
    }
}

int GetPixelFormat(HDC hdc) {
    (void)hdc;
    return 0;  // no pixel format was ever set on a DC
}

int SetGraphicsMode(HDC hdc, int mode) {
    auto dc = GetDc(hdc);
    if (!dc || (mode != GM_COMPATIBLE && mode != GM_ADVANCED)) return 0;
    return GM_COMPATIBLE;  // world transforms are not supported: the mode stays compatible
}

int GetGraphicsMode(HDC hdc) { return GetDc(hdc) ? GM_COMPATIBLE : 0; }

BOOL ModifyWorldTransform(HDC hdc, const XFORM* xform, DWORD mode) {
    (void)xform;
    return GetDc(hdc) && mode == MWT_IDENTITY ? TRUE : FALSE;
}

BOOL SetWorldTransform(HDC hdc, const XFORM* x) {
    if (!GetDc(hdc) || !x) return FALSE;
    bool identity = x->eM11 == 1 && x->eM12 == 0 && x->eM21 == 0 && x->eM22 == 1 && x->eDx == 0 && x->eDy == 0;
    return identity ? TRUE : FALSE;
}

// ------------------------------------------------------------------ origins

namespace {

BOOL SetPoint(HDC hdc, POINT DcState::*field, int x, int y, POINT* old, bool relative) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    POINT& p = dc->st.*field;
    if (old) *old = p;
    if (relative) {
        p.x = static_cast<LONG>(std::clamp<int64_t>(int64_t{p.x} + x, INT32_MIN, INT32_MAX));
        p.y = static_cast<LONG>(std::clamp<int64_t>(int64_t{p.y} + y, INT32_MIN, INT32_MAX));
    } else {
        p = {x, y};
    }
    return TRUE;
}

BOOL GetPoint(HDC hdc, POINT DcState::*field, POINT* out) {
    auto dc = GetDc(hdc);
    if (!dc || !out) return FALSE;
    *out = dc->st.*field;
    return TRUE;
}

}  // namespace

BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* old) { return SetPoint(hdc, &DcState::windowOrg, x, y, old, false); }
BOOL GetWindowOrgEx(HDC hdc, POINT* org) { return GetPoint(hdc, &DcState::windowOrg, org); }
BOOL OffsetWindowOrgEx(HDC hdc, int dx, int dy, POINT* old) {
    return SetPoint(hdc, &DcState::windowOrg, dx, dy, old, true);
}
BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* old) {
    return SetPoint(hdc, &DcState::viewportOrg, x, y, old, false);
}
BOOL GetViewportOrgEx(HDC hdc, POINT* org) { return GetPoint(hdc, &DcState::viewportOrg, org); }
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, POINT* old) {
    return SetPoint(hdc, &DcState::viewportOrg, dx, dy, old, true);
}
BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* old) { return SetPoint(hdc, &DcState::brushOrg, x, y, old, false); }
BOOL GetBrushOrgEx(HDC hdc, POINT* org) { return GetPoint(hdc, &DcState::brushOrg, org); }

BOOL LPtoDP(HDC hdc, POINT* points, int count) {
    auto dc = GetDc(hdc);
    if (!dc || (count > 0 && !points) || count < 0) return FALSE;
    for (int i = 0; i < count; ++i) points[i] = dc->ToDev(points[i]);
    return TRUE;
}

BOOL DPtoLP(HDC hdc, POINT* points, int count) {
    auto dc = GetDc(hdc);
    if (!dc || (count > 0 && !points) || count < 0) return FALSE;
    for (int i = 0; i < count; ++i) {
        points[i].x = points[i].x - dc->st.viewportOrg.x + dc->st.windowOrg.x;
        points[i].y = points[i].y - dc->st.viewportOrg.y + dc->st.windowOrg.y;
    }
    return TRUE;
}

// ------------------------------------------------------------------ clipping

int SelectClipRgn(HDC hdc, HRGN rgn) { return ExtSelectClipRgn(hdc, rgn, RGN_COPY); }

int ExtSelectClipRgn(HDC hdc, HRGN rgn, int mode) {
    auto dc = GetDc(hdc);
    if (!dc || mode < RGN_AND || mode > RGN_COPY) return ERROR;
    if (!rgn) {
        if (mode != RGN_COPY) return ERROR;
        return SetClip(*dc, std::nullopt);
    }
    const Region* r = RegionOf(rgn);
    if (!r) return ERROR;
    if (mode == RGN_COPY) return SetClip(*dc, *r);
    Region current = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
    return SetClip(*dc, Region::Combine(current, *r, mode));
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    auto dc = GetDc(hdc);
    if (!dc) return ERROR;
    Region current = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
    return SetClip(*dc, current.And(Region::FromRect(LogicalRectToDevice(*dc, left, top, right, bottom))));
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    auto dc = GetDc(hdc);
    if (!dc) return ERROR;
    Region current = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
    return SetClip(*dc, current.Diff(Region::FromRect(LogicalRectToDevice(*dc, left, top, right, bottom))));
}

int GetClipRgn(HDC hdc, HRGN rgn) {
    auto dc = GetDc(hdc);
    if (!dc || !RegionOf(rgn)) return -1;
    if (!dc->st.clip) return 0;
    SetRegion(rgn, *dc->st.clip);
    return 1;
}

int GetClipBox(HDC hdc, RECT* rect) {
    auto dc = GetDc(hdc);
    if (!dc || !rect) return ERROR;
    const Region& vis = dc->Visible();
    if (vis.Empty()) {
        *rect = RECT{0, 0, 0, 0};
        return NULLREGION;
    }
    RECT box = vis.Box();
    int dx = -dc->origin.x - dc->st.viewportOrg.x + dc->st.windowOrg.x;
    int dy = -dc->origin.y - dc->st.viewportOrg.y + dc->st.windowOrg.y;
    *rect = RECT{box.left + dx, box.top + dy, box.right + dx, box.bottom + dy};
    return vis.Type();
}

// ------------------------------------------------------------------ colours and modes

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    auto dc = GetDc(hdc);
    if (!dc) return CLR_INVALID;
    return std::exchange(dc->st.textColor, color);
}
COLORREF GetTextColor(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.textColor : CLR_INVALID;
}
COLORREF SetBkColor(HDC hdc, COLORREF color) {
    auto dc = GetDc(hdc);
    if (!dc) return CLR_INVALID;
    return std::exchange(dc->st.bkColor, color);
}
COLORREF GetBkColor(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.bkColor : CLR_INVALID;
}

namespace {

int SetMode(HDC hdc, int DcState::*field, int value, int lo, int hi) {
    auto dc = GetDc(hdc);
    if (!dc || value < lo || value > hi) return 0;
    return std::exchange(dc->st.*field, value);
}

int GetMode(HDC hdc, int DcState::*field) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.*field : 0;
}

}  // namespace

int SetBkMode(HDC hdc, int mode) { return SetMode(hdc, &DcState::bkMode, mode, TRANSPARENT, OPAQUE); }
int GetBkMode(HDC hdc) { return GetMode(hdc, &DcState::bkMode); }
int SetROP2(HDC hdc, int mode) { return SetMode(hdc, &DcState::rop2, mode, R2_BLACK, R2_WHITE); }
int GetROP2(HDC hdc) { return GetMode(hdc, &DcState::rop2); }
int SetPolyFillMode(HDC hdc, int mode) { return SetMode(hdc, &DcState::polyFillMode, mode, ALTERNATE, WINDING); }
int GetPolyFillMode(HDC hdc) { return GetMode(hdc, &DcState::polyFillMode); }
int SetStretchBltMode(HDC hdc, int mode) { return SetMode(hdc, &DcState::stretchMode, mode, BLACKONWHITE, HALFTONE); }
int GetStretchBltMode(HDC hdc) { return GetMode(hdc, &DcState::stretchMode); }

UINT SetTextAlign(HDC hdc, UINT align) {
    auto dc = GetDc(hdc);
    if (!dc) return GDI_ERROR;
    return std::exchange(dc->st.textAlign, align);
}
UINT GetTextAlign(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->st.textAlign : GDI_ERROR;
}

// ------------------------------------------------------------------ the window manager's DCs

namespace gdi_device {

HDC CreateDeviceDC(DeviceKind kind, HBITMAP surface, HWND hwnd, POINT origin, HRGN systemClip) {
    auto bm = Objects().GetAs<BitmapObj>(HV(surface), HandleKind::Bitmap);
    if (!bm) return nullptr;
    auto dc = NewDc(kind == DeviceKind::Screen ? DcKind::Screen : DcKind::Window);
    dc->hwnd = HV(hwnd);
    dc->origin = origin;
    dc->st.bitmap = bm;
    dc->st.hbitmap = HV(surface);
    if (systemClip) {
        const Region* r = RegionOf(systemClip);
        if (r) dc->systemClip = *r;
    }
    RetainInitialState(*dc);
    return AsHandle<HDC>(Objects().Add(dc));
}

void SetDeviceSystemClip(HDC hdc, HRGN systemClip) {
    auto dc = GetDc(hdc);
    if (!dc || dc->dcKind == DcKind::Memory) return;
    const Region* r = systemClip ? RegionOf(systemClip) : nullptr;
    if (r) {
        dc->systemClip = *r;
    } else {
        dc->systemClip.reset();
    }
    dc->InvalidateVisible();
}

BOOL DestroyDeviceDC(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc || dc->dcKind == DcKind::Memory) return FALSE;
    ReleaseDcState(*dc);
    Objects().Remove(HV(hdc), HandleKind::DC);
    return TRUE;
}

HWND DeviceWindow(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? AsHandle<HWND>(dc->hwnd) : nullptr;
}

HBITMAP DeviceSurface(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc || dc->dcKind == DcKind::Memory) return nullptr;
    return AsHandle<HBITMAP>(dc->st.hbitmap);
}

POINT DeviceOrigin(HDC hdc) {
    auto dc = GetDc(hdc);
    return dc ? dc->origin : POINT{};
}

bool GetDibView(HBITMAP bitmap, DibView* view) {
    auto bm = Objects().GetAs<BitmapObj>(HV(bitmap), HandleKind::Bitmap);
    if (!bm || !view) return false;
    view->bits = bm->bits;
    view->width = bm->width;
    view->height = bm->height;
    view->bitsPerPixel = bm->bpp;
    view->stride = bm->topDown ? bm->stride : -bm->stride;
    return true;
}

bool TakeSurfaceChanges(HBITMAP surface, RECT* box) {
    auto bm = Objects().GetAs<BitmapObj>(HV(surface), HandleKind::Bitmap);
    if (!bm) return false;
    RECT c = bm->changed;
    bm->changed = RECT{0, 0, 0, 0};
    c.left = std::max<LONG>(c.left, 0);
    c.top = std::max<LONG>(c.top, 0);
    c.right = std::min<LONG>(c.right, bm->width);
    c.bottom = std::min<LONG>(c.bottom, bm->height);
    if (c.right <= c.left || c.bottom <= c.top) return false;
    if (box) *box = c;
    return true;
}

}  // namespace gdi_device

BOOL GdiFlush() {
    display::PresentChangedSurfaces();
    return TRUE;
}

}  // namespace win
