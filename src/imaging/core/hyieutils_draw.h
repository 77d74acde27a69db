// Small drawing services for the views, the vector objects and the dialogs: bevel frames,
// hint boxes, shadows beside and around an image, a darkened band around a selection, two
// background textures, the device-independent bitmap drawing calls, the palette dialog and
// the parameter objects of a view's scroll bars and mouse wheel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/StdCtrls.h"
#include "imaging/core/hyiedefs.h"
#include "platform/gdi.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Frames and hints

// Left and top edges ((X1, Y2) to (X1, Y1) to (X2, Y1)) in LightColor, bottom and right
// edges ((X1, Y2) to (X2, Y2) to (X2, Y1)) in DarkColor; solid pen of width 1 in copy mode.
// One body for every canvas that has a pen (Mode, Style, Width, Color) and MoveTo/LineTo: the
// class library's canvas and the vector canvas draw the same frame.
template <class CanvasT>
void IEDrawBevelOn(CanvasT* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor LightColor,
                   cl::TColor DarkColor) {
    if (!Canvas) return;
    auto* pen = Canvas->GetPen();
    pen->SetMode(cl::pmCopy);
    pen->SetStyle(cl::psSolid);
    pen->SetWidth(1);
    pen->SetColor(LightColor);
    Canvas->MoveTo(X1, Y2);
    Canvas->LineTo(X1, Y1);
    Canvas->LineTo(X2, Y1);
    pen->SetColor(DarkColor);
    Canvas->MoveTo(X1, Y2);
    Canvas->LineTo(X2, Y2);
    Canvas->LineTo(X2, Y1);
}

// The bevel frame on a class-library canvas.
void IEDrawBevel(cl::TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor LightColor,
                 cl::TColor DarkColor);

// A hint box of the text's size + 12 at (X, Y), moved inside 0..MaxWidth - 1 and
// 0..MaxHeight - 1 (X and Y return where it went). Saved (made when null) receives a 24-bit
// copy of the canvas area the box covers, for the caller to put back.
void IEDrawHint(cl::TCanvas* Canvas, int32_t& X, int32_t& Y, cl::TColor DarkColor, cl::TColor LightColor,
                int32_t MaxHeight, int32_t MaxWidth, std::unique_ptr<cl::TBitmap>& Saved, cl::TBrush* Brush,
                cl::TFont* Font, const cl::String& Text);

// A light-yellow half-transparent hint box sized by the wider of Text and Template, at
// (X, Y) raised to 0 (no upper limit).
void IEDrawAlphaHint(cl::TCanvas* Canvas, int32_t& X, int32_t& Y, const cl::String& Template, const cl::String& Text);

// Darkens the band between Outer and Inner with half-transparent black; nothing when Inner
// is empty.
void IEDarkenOutsideRect(cl::TCanvas* Canvas, const cl::TRect& Outer, const cl::TRect& Inner);

// Bold when lfWeight is 700 or more, italic, underline and strike-out from the flags; the
// empty set for null.
cl::TFontStyles IELogFontToStyles(const win::LOGFONTA* LogFont);

// ---------------------------------------------------------------------------------------
// Shadows (Bitmap, when given, is the 24-bit bitmap under Canvas: pixels inside it are
// changed through its rows, others through the canvas)

// The strip right of an image: columns X1..X2, rows from Y1 + width on. Style 1 fills with
// the canvas brush, 2 darkens what lies below (darker next to the image), 3 paints a grey
// gradient.
void IEDrawShadowVert(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      int32_t Style);
// The strip below an image: rows Y1..Y2, columns from X1 + height on.
void IEDrawShadowHorz(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      int32_t Style);
// A blurred drop shadow around the image rectangle Left..Right - 1, Top..Bottom - 1 of a
// 24-bit bitmap, falling two pixels right and down; pixels inside the rectangle stay.
void IEDrawSoftShadow(cl::TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);

// ---------------------------------------------------------------------------------------
// Textures

// Out[i] := exp(-0.5 x Sharpness^2 x t^2) / (Sharpness x sqrt(2 pi)), t = 2i/Count - 1, then
// scaled so that the largest is High: Out[i] / max x (High - Low) + Low. Unused is ignored.
void IEGaussianCurve(int32_t Count, double Low, double High, std::vector<double>& Out, double Sharpness,
                     int32_t Unused = 0);
// Width x Height, 24 bits, grey stripes repeating every four rows.
void IEDrawStripesBackground(cl::TBitmap* Bitmap, int32_t Width, int32_t Height);
// Width x Height, 24 bits, a grey curve across the width with offsets drawn from the
// run-time random generator.
void IEDrawNoiseBackground(cl::TBitmap* Bitmap, int32_t Width, int32_t Height);

// ---------------------------------------------------------------------------------------
// Drawing device-independent bitmaps

using HDRAWDIB = void*;
HDRAWDIB IEDrawDibOpen();
bool IEDrawDibClose(HDRAWDIB Handle);
// Draws the source rectangle of the bitmap (Info, Bits) into the destination rectangle of
// DC; a destination width or height of -1 takes the source's.
bool IEDrawDibDraw(HDRAWDIB Handle, win::HDC DC, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                   const win::BITMAPINFOHEADER* Info, const void* Bits, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                   int32_t SrcHeight, uint32_t Flags);
// Realizes the context's palette into DC: the number of entries changed (none here, the
// screen has true colour).
uint32_t IEDrawDibRealize(HDRAWDIB Handle, win::HDC DC, bool Background);

// ---------------------------------------------------------------------------------------
// The palette dialog: up to 256 colours in cells of 16 x 16 pixels, 32 to a row; the
// pointer selects, a click chooses.

class TVovozIdPaletteDialog : public cl::TForm {
    CL_DECLARE_COMPONENT(TVovozIdPaletteDialog, cl::TForm)
public:
    explicit TVovozIdPaletteDialog(cl::TComponent* AOwner);

    // The entries to show (not copied: they must outlive the dialog's use). At most 256.
    void SetPalette(const TRGB* Palette, int32_t Count);
    // Shows the dialog modally; true when a colour was chosen (Color).
    bool Execute();

    // The entry under the pointer (-1: none yet) and the chosen colour.
    int32_t Selected = -1;
    cl::TColor Color = cl::clBlack;
    cl::TButton* CancelButton() const { return FCancel; }

    // The entry whose cell holds client point (X, Y), or -1.
    int32_t CellAt(int32_t X, int32_t Y) const;
    // The client rectangle of entry Index's cell (right and bottom exclusive).
    static cl::TRect CellRect(int32_t Index);

    void PaintCells(cl::TObject* Sender);
    void CellMouseMove(cl::TObject* Sender, cl::TShiftState Shift, int X, int Y);
    void CellClick(cl::TObject* Sender);

private:
    const TRGB* FPalette = nullptr;
    int32_t FPaletteCount = 0;
    bool FOverCell = false;  // the pointer is over a cell (a click chooses it)
    cl::TButton* FCancel = nullptr;
};

// ---------------------------------------------------------------------------------------
// Parameters of a view's scroll bars and mouse wheel

class TIEScrollBarParams : public cl::TObject {
    CL_DECLARE_CLASS(TIEScrollBarParams, cl::TObject)
public:
    int32_t LineStep = -1;  // -1: one line unit
    int32_t PageStep = -1;  // -1: the client size
    bool Tracking = true;
};

class TIEMouseWheelParams : public cl::TObject {
    CL_DECLARE_CLASS(TIEMouseWheelParams, cl::TObject)
public:
    bool InvertWheel = false;
    uint8_t Action = 2;     // 0 nothing, 1 scroll, 2 zoom
    uint8_t Variation = 1;  // 0 absolute, 1 percentage
    int32_t Value = 8;
    uint8_t ZoomPosition = 0;  // 0: the view's centre
};

}  // namespace ie
