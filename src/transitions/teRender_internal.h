// Pieces of the rendering unit shared between its source files.
#pragma once

#include "transitions/teRender.h"

namespace te {

// Visual themes are in use (the theme library loads and says so).
bool ThemesActive();
// Major file version of the rich-edit library (0 without version information).
int RichEditMajorVersion();

// Paint callbacks of the default registrations.
void PaintRichEditFormattedErase(cl::TWinControl* Control, win::HDC DC);
void PaintRichEditOld(cl::TWinControl* Control, win::HDC DC);
void PaintFramedRichEdit(cl::TWinControl* Control, win::HDC DC);
// The formatted-range painting of a rich edit (Erase: erase the background first).
void PaintRichEditFormatted(cl::TWinControl* Control, win::HDC DC, bool Erase);
// Pixels to twips for a device of `pixelsPerInch`, in 64-bit arithmetic (a control's width
// times 1440 overflows 32 bits), clamped to the 32-bit range.
int32_t PixelsToTwips(int64_t Pixels, int PixelsPerInch);

void PaintCopyByMessage(win::HDC DC, cl::TControl* Control);
void PrintNonClient(win::HDC DC, cl::TControl* Control, win::HWND Wnd);

void CreatePaintRegistry();
void FreePaintRegistry();
void ReleaseDwm();
bool DetectMiddleEastLocale();
bool DetectRunningInPackage();

}  // namespace te
