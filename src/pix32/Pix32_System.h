// Processor features, timing and the processor count of the bitmap library.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "platform/windef.h"

namespace pix32 {

// Processor features tested by the units when they bind their routines.
enum TCpuFeature : uint8_t {
    cfMMX = 0,
    cfExtendedMMX = 1,
    cfSSE = 2,
    cfSSE2 = 3,
    cf3DNow = 4,
    cf3DNowExt = 5,
};

// True when bit 21 of the flags register can be changed (the processor has CPUID).
bool IsCpuidSupported();
// EAX of CPUID leaf 1.
uint32_t ReadProcessorSignature();
// EDX of CPUID leaf 1.
uint32_t ReadFeatureFlags();
// True when CPUID leaf 0x80000000 reports extended leaves.
bool HasExtendedLeaves();
// EDX of CPUID leaf 0x80000001.
uint32_t ReadExtendedFeatureFlags();

// False unless the processor has CPUID and is of family 5 or later; then the feature's bit.
bool ProcessorHasFeature(TCpuFeature F);
bool HasMMX();
bool HasExtendedMMX();
bool Has3DNow();
// True when the processor has SSE2 (the SSE2 forms of the library's routines may run).
bool HasSSE2();

// Number of processors.
int32_t ProcessorCount();
// The tick count in milliseconds.
uint32_t GetTickMilliseconds();

// Measures elapsed time with the performance counter.
class TPerfTimer {
public:
    int64_t Frequency = 0;
    int64_t StartCount = 0;
    int64_t StopCount = 0;

    void Start();
    // Microseconds since Start: round((Stop - Start) x 1000000 / Frequency), ties to even.
    int64_t ReadMicroseconds();
};

// Microseconds for a counter difference at a frequency, as ReadMicroseconds computes it.
int64_t CounterToMicroseconds(int64_t Ticks, int64_t Frequency);

// The unit-wide timer, present between start-up and shutdown.
TPerfTimer* GlobalPerfTimer();

// ---------------------------------------------------------------------------------------------
// Visual themes: the theme library's entry points, loaded at run time when it exists.

using HTHEME = void*;
struct TThemeMargins {
    int32_t cxLeftWidth = 0;
    int32_t cxRightWidth = 0;
    int32_t cyTopHeight = 0;
    int32_t cyBottomHeight = 0;
};
using TOpenThemeData = HTHEME (*)(win::HWND Wnd, const char16_t* ClassList);
using TCloseThemeData = int32_t (*)(HTHEME Theme);
using TDrawThemeBackground = int32_t (*)(HTHEME Theme, win::HDC DC, int32_t PartId, int32_t StateId,
                                         const win::RECT* Rect, const win::RECT* ClipRect);
using TDrawThemeEdge = int32_t (*)(HTHEME Theme, win::HDC DC, int32_t PartId, int32_t StateId,
                                   const win::RECT* DestRect, uint32_t Edge, uint32_t Flags, win::RECT* ContentRect);
using TGetThemeColor = int32_t (*)(HTHEME Theme, int32_t PartId, int32_t StateId, int32_t PropId, win::COLORREF* Color);
using TGetThemeMetric = int32_t (*)(HTHEME Theme, win::HDC DC, int32_t PartId, int32_t StateId, int32_t PropId,
                                    int32_t* Value);
using TGetThemeMargins = int32_t (*)(HTHEME Theme, win::HDC DC, int32_t PartId, int32_t StateId, int32_t PropId,
                                     const win::RECT* Rect, TThemeMargins* Margins);
using TSetWindowTheme = int32_t (*)(win::HWND Wnd, const char16_t* SubAppName, const char16_t* SubIdList);
using TIsThemeActive = win::BOOL (*)();
using TIsAppThemed = win::BOOL (*)();
using TEnableTheming = int32_t (*)(win::BOOL Enable);

// The entry points; nil while the theme library is not loaded.
extern TOpenThemeData OpenThemeData;
extern TCloseThemeData CloseThemeData;
extern TDrawThemeBackground DrawThemeBackground;
extern TDrawThemeEdge DrawThemeEdge;
extern TGetThemeColor GetThemeColor;
extern TGetThemeMetric GetThemeMetric;
extern TGetThemeMargins GetThemeMargins;
extern TSetWindowTheme SetWindowTheme;
extern TIsThemeActive IsThemeActive;
extern TIsAppThemed IsAppThemed;
extern TEnableTheming EnableTheming;

// Whether the bars draw themed, and the two theme handles they draw with (0 when closed).
extern bool UseThemes;
extern HTHEME ScrollBarTheme;
extern HTHEME GlobalsTheme;

// Loads "uxtheme.dll" and looks up the eleven entry points; a missing OpenThemeData,
// CloseThemeData, IsThemeActive, IsAppThemed or EnableTheming unloads it again. Returns
// whether the library is loaded (at once when it is already).
bool LoadThemeLibrary();
// Frees the library and clears its handle and every entry point.
void UnloadThemeLibrary();
// Loaded, and both IsAppThemed and IsThemeActive answer non-zero.
bool ThemesUsable();
// UseThemes from ThemesUsable after loading the library; when True, opens the "SCROLLBAR"
// and "GLOBALS" theme handles for Wnd.
void OpenVisuals(win::HWND Wnd);
// When themes are usable, closes the open theme handles; both handles become 0 in any case;
// then unloads the library.
void CloseVisuals();

// Keeps the theme handles up to date: a hidden utility window receives WM_THEMECHANGED and
// reopens the visuals.
class TThemeNexus : public cl::TObject {
    CL_DECLARE_CLASS(TThemeNexus, cl::TObject)
public:
    // Creates the utility window, then OpenVisuals.
    TThemeNexus();
    // CloseVisuals, then releases the utility window.
    ~TThemeNexus() override;
    win::HWND WindowHandle() const { return FWindowHandle; }
    // WM_THEMECHANGED: CloseVisuals then OpenVisuals; every message then goes to the
    // default window procedure, whose answer is the result.
    void WindowProc(cl::TMessage& Message);

private:
    win::HWND FWindowHandle = nullptr;
};

// The unit-wide theme nexus, present between start-up and shutdown.
TThemeNexus* GlobalThemeNexus();

void Pix32_System_Initialization();
void Pix32_System_Finalization();

}  // namespace pix32
