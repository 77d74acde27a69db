// One drawing surface for the views, the vector objects and the text control: TIECanvas
// draws anti-aliased shapes with semi-transparent pens and brushes through the vector
// backend (cairo) when the backend is usable, and through the plain class-library canvas
// (the platform's aliased rasteriser, with its raster operations) otherwise.
//
// The backend is started by the first IEGDIPlusLoad and stopped by the last
// IEGDIPlusUnload (a use count, as the views take and release it). A backend that fails
// to start leaves it unusable: every canvas then takes the plain path.
//
// On the vector path the coordinates name pixel centres (a shape from 10 to 20 covers the
// pixels 10 .. 20 by their middles), and the wrapped canvas's pen mode is not applied (a
// vector backend has no raster operations). Targets of any pixel format are drawn through a
// 32-bit scratch copy of the area the shape touches, which is put back through the canvas's
// own clipping.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// The backend's loader

// The backend may be used; set by IEGDIPlusStaticInit (tests turn it off to take the plain
// path).
extern bool IEGDIPlusEnabled;

// The backend's start-up check: true when a drawing context can be made and draws. Tests
// replace it to make the start fail.
using TIEGDIPlusStartup = bool (*)();
extern TIEGDIPlusStartup IEGDIPlusStartupProbe;
bool IEGDIPlusDefaultStartup();

// Use count + 1; when enabled and not started, starts the backend (a failing start leaves
// it not loaded; a later call tries again).
void IEGDIPlusLoad();
// Use count - 1; the last user stops a started backend.
void IEGDIPlusUnload();
// Enabled and started.
bool IEGDIPlusUsable();
// Started.
bool IEGDIPlusLoaded();
// Calls to IEGDIPlusLoad not yet matched by IEGDIPlusUnload.
int32_t IEGDIPlusUseCount();

// Start-up hook: enabled, not started, no users. The final hook does nothing.
void IEGDIPlusStaticInit();
void IEGDIPlusStaticFinal();
// Registers the two hooks with the library's start-up (first place in its order).
void IEGDIPlusRegisterStaticHooks();

// ---------------------------------------------------------------------------------------
// Pens and brushes

// Line joins of the vector path.
constexpr uint8_t ieljMiter = 0;
constexpr uint8_t ieljBevel = 1;
constexpr uint8_t ieljRound = 2;
constexpr uint8_t ieljMiterClipped = 3;

// The vector path's pen: colour with alpha (ARGB, alpha in the top byte), width in pixels,
// dash style (0 solid .. 4 dash-dot-dot) and line join.
struct TIEGPPen {
    uint32_t ARGB = 0;
    float Width = 1.0f;
    uint8_t DashStyle = 0;
    uint8_t LineJoin = ieljRound;
};

// The vector path's brush: solid, or one of the six hatch patterns (0 horizontal,
// 1 vertical, 2 forward diagonal, 3 backward diagonal, 4 cross, 5 diagonal cross) in a fore
// colour over a back colour.
struct TIEGPBrush {
    bool Hatched = false;
    uint8_t Hatch = 0;
    uint32_t ForeARGB = 0;
    uint32_t BackARGB = 0;
};

// Keeps the vector pen in step with a class-library pen (not owned).
class TIEPen {
public:
    explicit TIEPen(cl::TPen* Pen);
    TIEPen(const TIEPen&) = delete;
    TIEPen& operator=(const TIEPen&) = delete;

    const TIEGPPen* GetGPPen() const { return FGPPen.get(); }
    cl::TPen* GetPen() const { return FPen; }
    cl::TColor GetColor() const { return FColor; }
    void SetColor(cl::TColor Value);
    // 0 invisible .. 255 opaque; the vector path only.
    int32_t GetTransparency() const { return FTransparency; }
    void SetTransparency(int32_t Value);
    // Fractional widths are kept by the vector path; the class-library pen takes the
    // integer part.
    float GetWidth() const { return FWidth; }
    void SetWidth(float Value);
    cl::TPenStyle GetStyle() const { return FStyle; }
    void SetStyle(cl::TPenStyle Value);
    // The class-library pen's raster operation (the vector path has none).
    cl::TPenMode GetMode() const { return FMode; }
    void SetMode(cl::TPenMode Value);
    uint8_t GetLineJoin() const { return FLineJoin; }
    void SetLineJoin(uint8_t Value);
    // Takes colour, width and style of a GDI pen into the class-library pen only.
    void SetHandle(win::HPEN Value);

private:
    void BuildGPPen();
    uint32_t GPColor() const;

    std::unique_ptr<TIEGPPen> FGPPen;
    cl::TPen* FPen;
    cl::TColor FColor;
    int32_t FTransparency = 255;
    float FWidth;
    cl::TPenStyle FStyle;
    cl::TPenMode FMode;
    uint8_t FLineJoin = ieljRound;
};

// Keeps the vector brush in step with a class-library brush (not owned).
class TIEBrush {
public:
    explicit TIEBrush(cl::TBrush* Brush);
    TIEBrush(const TIEBrush&) = delete;
    TIEBrush& operator=(const TIEBrush&) = delete;

    const TIEGPBrush* GetGPBrush() const { return FGPBrush.get(); }
    cl::TBrush* GetBrush() const { return FBrush; }
    cl::TColor GetColor() const { return FColor; }
    void SetColor(cl::TColor Value);
    int32_t GetTransparency() const { return FTransparency; }
    void SetTransparency(int32_t Value);
    cl::TBrushStyle GetStyle() const { return FStyle; }
    void SetStyle(cl::TBrushStyle Value);
    // The hatch background; read at the next rebuild (a change of colour, transparency or
    // style).
    cl::TColor BackColor = 0;
    int32_t BackTransparency = 0;

private:
    void BuildGPBrush();

    std::unique_ptr<TIEGPBrush> FGPBrush;
    cl::TBrush* FBrush;
    cl::TColor FColor;
    int32_t FTransparency = 255;
    cl::TBrushStyle FStyle;
};

// ---------------------------------------------------------------------------------------
// The canvas

// The vector path's drawing state on one device context.
struct TIEGraphics {
    win::HDC DC = nullptr;
    bool AntiAlias = true;
};

class TIECanvas {
public:
    // UseGDIPlus takes the vector path when the backend is usable. Raises cl::Exception
    // "Cannot create TIECanvas. GdipCreateFromHDC failed." when the vector path is chosen and
    // the canvas has no device context.
    TIECanvas(cl::TCanvas* Canvas, bool AntiAlias = true, bool UseGDIPlus = true);
    ~TIECanvas();
    TIECanvas(const TIECanvas&) = delete;
    TIECanvas& operator=(const TIECanvas&) = delete;

    const TIEGraphics* GetGraphics() const { return FGraphics.get(); }
    cl::TCanvas* GetCanvas() const { return FCanvas; }
    TIEPen* GetPen() const { return FPen.get(); }
    TIEBrush* GetBrush() const { return FBrush.get(); }
    bool GetUseGDIPlus() const { return FUseGDIPlus; }
    win::HDC GetHandle() const;
    cl::TFont* GetFont() const { return FCanvas->GetFont(); }

    cl::TPoint GetPenPos() const { return FPenPos; }
    void SetPenPos(const cl::TPoint& Value);
    void MoveTo(int32_t X, int32_t Y);
    // From the pen position to (X, Y), which becomes the pen position.
    void LineTo(int32_t X, int32_t Y);
    // From (X1, Y1) to (X2, Y2); the pen position stays.
    void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // Vector path: the pixel centres Left .. Right - 1 x Top .. Bottom - 1 (a shape of
    // (Right - Left - 1) x (Bottom - Top - 1)); plain path: the pixels Left .. Right - 1.
    void FillRect(const cl::TRect& Rect);
    // Filled with the brush, then outlined with the pen.
    void Rectangle(const cl::TRect& Rect);
    void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Ellipse(const cl::TRect& Rect);
    void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // Vector path: outlined first, then filled (even-odd), so the fill covers the inner half
    // of the outline.
    void Polygon(const std::vector<cl::TPoint>& Points);
    void Polyline(const std::vector<cl::TPoint>& Points);
    // The part of the ellipse in the box (X1, Y1) - (X2, Y2) from the direction of (X3, Y3)
    // counter-clockwise to the direction of (X4, Y4).
    void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
    // Corners rounded by ellipses of X3 x Y3; filled, then outlined.
    void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

    int32_t TextWidth(const cl::String& Text) const { return FCanvas->TextWidth(Text); }
    int32_t TextHeight(const cl::String& Text) const { return FCanvas->TextHeight(Text); }
    void TextOut(int32_t X, int32_t Y, const cl::String& Text) { FCanvas->TextOut(X, Y, Text); }
    void TextRect(const cl::TRect& Rect, int32_t X, int32_t Y, const cl::String& Text) {
        FCanvas->TextRect(Rect, X, Y, Text);
    }
    // The text clipped to Rect through ExtTextOut with the canvas's text flags.
    void TextRectEx(const cl::TRect& Rect, int32_t X, int32_t Y, const cl::String& Text);

private:
    std::unique_ptr<TIEGraphics> FGraphics;
    cl::TCanvas* FCanvas;
    std::unique_ptr<TIEPen> FPen;
    cl::TPoint FPenPos{0, 0};
    std::unique_ptr<TIEBrush> FBrush;
    bool FUseGDIPlus = false;
};

// The bevel frame of IEDrawBevelOn (hyieutils_draw.h) on the vector canvas.
void IEDrawBevelIE(TIECanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor LightColor,
                   cl::TColor DarkColor);

}  // namespace ie
