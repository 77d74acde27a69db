// What the window manager asks of the GDI: device contexts that draw into a window's
// surface. Every top-level window owns a 32-bit top-down DIB section (its surface);
// a window DC draws into its top-level window's surface with its own device origin (the
// window's client or frame origin in surface coordinates) and a system clip (the visible
// region in surface coordinates) that no clip the application selects can widen.
#pragma once

#include "platform/windef.h"

namespace win::gdi_device {

enum class DeviceKind {
    Window,  // GetDC / GetDCEx / GetWindowDC / BeginPaint: released, never deleted
    Screen,  // GetDC(0): reads the screen composite; drawing into it is ignored
};

// Creates a DC over `surface` (a 32-bpp DIB section) for window `hwnd` (0 for the
// screen). `origin` is where logical (0,0) lies on the surface, `systemClip` (may be 0:
// whole surface) is copied. The DC starts with the default state (stock objects,
// colours, modes) like any new DC.
HDC CreateDeviceDC(DeviceKind kind, HBITMAP surface, HWND hwnd, POINT origin, HRGN systemClip);
// Replaces the system clip of such a DC (0: whole surface).
void SetDeviceSystemClip(HDC hdc, HRGN systemClip);
// Frees such a DC (DeleteDC refuses to). FALSE for other DCs.
BOOL DestroyDeviceDC(HDC hdc);
// The window a DC was made for (0 for memory DCs and the screen DC).
HWND DeviceWindow(HDC hdc);
// The surface a device DC draws into, and its origin on it.
HBITMAP DeviceSurface(HDC hdc);
POINT DeviceOrigin(HDC hdc);

// Raw access to a DIB section's pixels for the compositor: bits, width, height, stride
// in bytes (negative for bottom-up). False for other objects.
struct DibView {
    void* bits = nullptr;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    long stride = 0;  // bytes from one row to the next, top to bottom
    uint8_t* Row(int y) const {
        return static_cast<uint8_t*>(bits) + (stride > 0 ? 0 : -stride * (height - 1)) + stride * y;
    }
};
bool GetDibView(HBITMAP bitmap, DibView* view);
// The box of a window surface drawn into through window DCs since the last call (clipped
// to the surface), which is then forgotten. False when nothing was drawn.
bool TakeSurfaceChanges(HBITMAP surface, RECT* box);

}  // namespace win::gdi_device
