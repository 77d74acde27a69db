// Facts about the display, the processor and the system that the transition library finds
// once at start-up; making, sizing and capturing bitmaps; the control paint registry with
// its paint-query messages; device-context redirection; and rendering a control, its frame
// and all its child windows into an off-screen bitmap.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "platform/windef.h"

namespace cl {
class TControl;
class TWinControl;
}  // namespace cl

namespace te {

// ---- processor, system and display probes ------------------------------------------------------

// The processor has MMX / SSE or AMD's MMX extensions. Set by DetectProcessorFeatures at
// start-up; tests may set them.
extern bool MMXAvailable;
extern bool ExtMMXAvailable;
// The Windows version code (see GetOSVersionCode).
extern uint8_t WinVersionCode;
// The library runs inside a package (the module's extension is exactly ".bpl").
extern bool RunningInPackage;
// The system locale is a right-to-left Middle-East one.
extern bool MiddleEastLocale;

// The processor's feature word (0x20 MMX, 0x200 extended MMX; see the bit list in the
// implementation). 0 when CPUID is missing.
uint32_t GetProcessorFeatures();
void DetectProcessorFeatures();
// The version code of a system: 0 unrecognised, 1 Win32s, 2 95, 3 98, 4 98 SE, 5 Me, 6 NT 4,
// 7 2000, 8 XP, 9 Server 2003, 10 Vista, 11 7, 12 another NT major version.
uint8_t OSVersionCodeOf(uint32_t Platform, uint32_t Major, uint32_t Minor, const std::string& ServicePack);
// The code of the running system (from GetVersionEx).
uint8_t GetOSVersionCode();

// Planes x bits per pixel of the screen (cached; re-read when Refresh).
int GetDisplayBitCount(bool Refresh);
cl::TPixelFormat GetDisplayPixelFormat(bool Refresh);
// The pixel format of a display of this many bits (16 asks DetectHighColorFormat).
cl::TPixelFormat PixelFormatFromBitCount(int Bits);
// 5 or 6 green bits on a 16-bit display: pf15bit or pf16bit.
cl::TPixelFormat DetectHighColorFormat();
// The same test on a device context with a bitmap selected (pixel (1, 1) is written).
cl::TPixelFormat HighColorFormatOfDC(win::HDC DC);
bool IsPaletteDisplay(bool Refresh);
win::HPALETTE CreateSystemPalette();
// Bits per pixel of a pixel format (pfCustom: the display's format's value).
int GetPixelFormatBitCount(cl::TPixelFormat PixelFormat);

// Sets the format (pf1bit also Monochrome; pf8bit the palette, or the system palette when
// none is given), then the width, then the height.
void AdjustBitmapFormat(cl::TBitmap* Bitmap, win::HPALETTE Palette, int Width, int Height,
                        cl::TPixelFormat PixelFormat);
void InitSolidBitmap(cl::TBitmap* Bitmap, int Width, int Height, win::HPALETTE Palette, cl::TPixelFormat PixelFormat,
                     cl::TColor Color);
// Bytes per row for the bitmap's width in PixelFormat with rows aligned to Alignment bits
// (0 for pfDevice and pfCustom).
int GetBytesPerScanline(cl::TBitmap* Bitmap, cl::TPixelFormat PixelFormat, int Alignment);
// A new bitmap holding the screen's pixels in R (screen coordinates).
cl::TBitmap* CaptureScreenRect(const win::RECT& R, cl::TPixelFormat PixelFormat, bool IncludeLayered);
// R (screen coordinates) is not wholly visible as part of Wnd: off Wnd's window rectangle,
// off the virtual screen, or covered by a visible window above Wnd or one of its ancestors
// (ExcludeWnd left out). False when Wnd is 0.
bool IsWindowAreaObscured(win::HWND Wnd, win::HWND ExcludeWnd, const win::RECT& R);
bool HasWindowRegion(win::HWND Wnd);
// The client origin minus the window rectangle's top-left ((0, 0) for non-windowed controls).
void GetControlClientOffset(cl::TControl* Control, win::POINT& Offset);
void GetWindowClientOffset(win::HWND Wnd, win::POINT& Offset);
int ControlClientWidth(cl::TControl* Control);
int ControlClientHeight(cl::TControl* Control);
win::POINT ControlClientToScreen(cl::TControl* Control, const win::POINT& P);
win::POINT ControlScreenToClient(cl::TControl* Control, const win::POINT& P);
bool IsDwmCompositionEnabled();
cl::String GetVersionText();

// ---- the control paint registry ------------------------------------------------------------------

using TTEPaintCallback = void (*)(cl::TWinControl* Control, win::HDC DC);

// Paint-query messages and their answers.
constexpr unsigned int CM_TEPAINTCLIENT = 48202;
constexpr unsigned int CM_TEPAINTFRAME = 48203;
constexpr unsigned int CM_TEPAINTWHOLE = 48204;
constexpr intptr_t TEPaintBefore = 16801;
constexpr intptr_t TEPaintInstead = 16802;
constexpr intptr_t TEPaintAfter = 16803;
// lParam of every paint request the library makes.
constexpr intptr_t TEPaintRequest = 16802;

class TTERegControl : public cl::TObject {
    CL_DECLARE_CLASS(TTERegControl, cl::TObject)
public:
    TTERegControl() = default;
    TTERegControl(uint32_t AFlags, TTEPaintCallback AClientCallback, TTEPaintCallback AFrameCallback)
        : Flags(AFlags), ClientCallback(AClientCallback), FrameCallback(AFrameCallback) {}
    void CopyFrom(const TTERegControl& Other) {
        Flags = Other.Flags;
        ClientCallback = Other.ClientCallback;
        FrameCallback = Other.FrameCallback;
    }
    void Clear() {
        Flags = 0;
        ClientCallback = nullptr;
        FrameCallback = nullptr;
    }

    uint32_t Flags = 0;
    TTEPaintCallback ClientCallback = nullptr;
    TTEPaintCallback FrameCallback = nullptr;
};

// Class names with their owned entries; the latest registration is examined first.
class TTERegControls : public cl::TStringList {
    CL_DECLARE_CLASS(TTERegControls, cl::TStringList)
public:
    TTERegControls();
    ~TTERegControls() override;
    // Copies the first entry naming ControlClass or an ancestor (below TObject).
    void Lookup(const cl::TClass* ControlClass, TTERegControl& Entry) const;
    // Creates or overwrites the entry of ClassName.
    void Store(const cl::String& ClassName, uint32_t Flags, TTEPaintCallback ClientCallback,
               TTEPaintCallback FrameCallback);
};

// The process-wide registry (created by the library's start-up).
TTERegControls* RegControls();

// The flag word of a registration (frame and client kinds with their modifier bits).
uint32_t PaintFlagsOf(uint32_t FrameKind, uint32_t ClientKind, bool RefreshFrame, bool RedrawClient);
void RegisterControlPaint(const cl::String& ClassName, uint32_t FrameKind, uint32_t ClientKind, bool RefreshFrame,
                          bool RedrawClient);
void RegisterControlPaintEx(const cl::String& ClassName, uint32_t FrameKind, uint32_t ClientKind,
                            TTEPaintCallback ClientCallback, TTEPaintCallback FrameCallback, bool RedrawClient,
                            bool RefreshFrame);
// What the window asks for through the three query messages.
uint32_t QueryPaintMessages(win::HWND Wnd);
uint32_t AdjustPaintFlags(cl::TControl* Control, uint32_t Flags);
void ResolveControlPaint(win::HWND Wnd, cl::TControl* Control, TTERegControl& Entry);

// ---- device-context redirection --------------------------------------------------------------------

// While active, the window's own GetDC, GetDCEx, GetWindowDC and BeginPaint hand out DC, and
// the matching releases do nothing. Nested; GetDC(0) is never redirected.
void BeginDCRedirection(win::HDC DC, win::HWND Wnd, bool AllModules);
void EndDCRedirection(bool AllModules);
int DCRedirectionCount();
win::HDC DCRedirectionTargetDC();
win::HWND DCRedirectionTargetWnd();

// ---- rendering controls into bitmaps -----------------------------------------------------------------

// nil when Control is not a windowed control.
cl::TBitmap* RenderControlToBitmap(cl::TControl* Control, win::HWND ExcludeWnd, const win::RECT& R,
                                   cl::TPixelFormat PixelFormat, bool OwnModuleOnly, bool UseWindowRegion,
                                   bool RectInClientCoords);
cl::TBitmap* RenderWindowToBitmap(cl::TBitmap* Bitmap, win::HWND Wnd, win::HWND ExcludeWnd,
                                  cl::TPixelFormat PixelFormat, bool OwnModuleOnly, bool UseWindowRegion,
                                  bool SkipInvisible, bool RectInClientCoords, const win::RECT& R,
                                  cl::TControl* Control);
bool RealizeControlPalettes(cl::TControl* Control, bool Background);
void RefreshAfterTransition(win::HWND Wnd);
bool IsMaximizedMDIChild(cl::TControl* Control);
bool IsMDIClientWithMaximizedChild(const cl::String& ClassName);
bool IsMDIFormWithMaximizedChild(cl::TControl* Form);

// ---- start-up ------------------------------------------------------------------------------------------

void RenderStartUp();
void RenderShutDown();

}  // namespace te
