// What the window manager asks of the GDI and the kernel: window surfaces, regions built
// from rectangle lists, solid fills for backgrounds and frames, DC state for WM_PRINT,
// the last-error code and freeing of clipboard blocks.
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user_state_internal.h"

namespace win::user {

void SetError(DWORD code) { SetLastError(code); }

void GdiFreeGlobal(HANDLE h) {
    if (h) GlobalFree(h);
}

HBITMAP GdiCreateSurface(int width, int height) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
}

void GdiDeleteObject(void* obj) {
    if (obj) DeleteObject(obj);
}

HRGN GdiRegionFrom(const RectSet& rs) {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    if (!rgn) return nullptr;
    for (const RECT& r : rs.Rects()) {
        HRGN part = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        if (!part) continue;
        CombineRgn(rgn, rgn, part, RGN_OR);
        DeleteObject(part);
    }
    return rgn;
}

bool GdiReadRegion(HRGN rgn, RectSet* out) {
    DWORD size = GetRegionData(rgn, 0, nullptr);
    if (size < sizeof(RGNDATAHEADER)) return false;
    std::vector<uint8_t> buf(size);
    RGNDATA* data = reinterpret_cast<RGNDATA*>(buf.data());
    if (GetRegionData(rgn, size, data) == 0) return false;
    size_t count = data->rdh.nCount;
    if (sizeof(RGNDATAHEADER) + count * sizeof(RECT) > size) return false;
    const RECT* rects = reinterpret_cast<const RECT*>(buf.data() + sizeof(RGNDATAHEADER));
    out->Clear();
    for (size_t i = 0; i < count; ++i) out->Add(rects[i]);
    return true;
}

int GdiCopyRegion(HRGN dest, const RectSet& rs) {
    HRGN src = GdiRegionFrom(rs);
    if (!src) return USER_ERROR_REGION;
    int type = CombineRgn(dest, src, nullptr, RGN_COPY);
    DeleteObject(src);
    return type;
}

HBRUSH GdiSolidBrush(COLORREF color) { return CreateSolidBrush(color); }

void GdiFillBrush(HDC hdc, const RECT& r, HBRUSH brush) { FillRect(hdc, &r, brush); }

void GdiFill(HDC hdc, const RECT& r, COLORREF color) {
    HBRUSH b = CreateSolidBrush(color);
    if (!b) return;
    GdiFillBrush(hdc, r, b);
    DeleteObject(b);
}

int GdiSaveDC(HDC hdc) { return SaveDC(hdc); }
void GdiRestoreDC(HDC hdc, int level) { RestoreDC(hdc, level); }
void GdiOffsetViewport(HDC hdc, int dx, int dy) { OffsetViewportOrgEx(hdc, dx, dy, nullptr); }
void GdiIntersectClip(HDC hdc, const RECT& r) { IntersectClipRect(hdc, r.left, r.top, r.right, r.bottom); }

}  // namespace win::user
