// The class library's graphics: colours, pens, brushes, fonts, canvases and pictures
// (bitmaps over DIB sections of the platform's GDI, icons, the picture-format registry).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "classlib/Classes.h"
#include "platform/gdi.h"

namespace cl {

// ---------------------------------------------------------------------------------------
// Geometry.

using TPoint = win::POINT;
using TRect = win::RECT;
using TSize = win::SIZE;

inline TPoint Point(int x, int y) { return TPoint{x, y}; }
inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
inline TRect Bounds(int left, int top, int width, int height) { return TRect{left, top, left + width, top + height}; }
inline bool EqualRect(const TRect& a, const TRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// ---------------------------------------------------------------------------------------
// Colours: 0x00BBGGRR; 0x80000000 | n is system colour n; 0x02BBGGRR is palette-relative.

using TColor = int32_t;

constexpr TColor SysColor(int n) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(n)); }
constexpr TColor clScrollBar = SysColor(0x00);
constexpr TColor clBackground = SysColor(0x01);
constexpr TColor clActiveCaption = SysColor(0x02);
constexpr TColor clInactiveCaption = SysColor(0x03);
constexpr TColor clMenu = SysColor(0x04);
constexpr TColor clWindow = SysColor(0x05);
constexpr TColor clWindowFrame = SysColor(0x06);
constexpr TColor clMenuText = SysColor(0x07);
constexpr TColor clWindowText = SysColor(0x08);
constexpr TColor clCaptionText = SysColor(0x09);
constexpr TColor clActiveBorder = SysColor(0x0A);
constexpr TColor clInactiveBorder = SysColor(0x0B);
constexpr TColor clAppWorkSpace = SysColor(0x0C);
constexpr TColor clHighlight = SysColor(0x0D);
constexpr TColor clHighlightText = SysColor(0x0E);
constexpr TColor clBtnFace = SysColor(0x0F);
constexpr TColor clBtnShadow = SysColor(0x10);
constexpr TColor clGrayText = SysColor(0x11);
constexpr TColor clBtnText = SysColor(0x12);
constexpr TColor clInactiveCaptionText = SysColor(0x13);
constexpr TColor clBtnHighlight = SysColor(0x14);
constexpr TColor cl3DDkShadow = SysColor(0x15);
constexpr TColor cl3DLight = SysColor(0x16);
constexpr TColor clInfoText = SysColor(0x17);
constexpr TColor clInfoBk = SysColor(0x18);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = clSilver;
constexpr TColor clDkGray = clGray;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours become the platform's current value; everything else is returned as is.
TColor ColorToRGB(TColor color);

// ---------------------------------------------------------------------------------------
// Graphics objects: pens, brushes and fonts with a lazily created GDI handle.

class TGraphicsObject : public TPersistent {
    CL_DECLARE_CLASS(TGraphicsObject, TPersistent)
public:
    TNotifyEvent OnChange;
    // A borrowed lock used by Lock/Unlock (null: none).
    std::recursive_mutex* OwnerCriticalSection = nullptr;
    void Lock() {
        if (OwnerCriticalSection) OwnerCriticalSection->lock();
    }
    void Unlock() {
        if (OwnerCriticalSection) OwnerCriticalSection->unlock();
    }
    // The handle, created on first request from the current properties.
    win::HGDIOBJ HandleObject();

protected:
    ~TGraphicsObject() override;
    // Drops the handle and fires OnChange.
    virtual void Changed();
    virtual win::HGDIOBJ CreateHandle() = 0;
    void FreeHandle();
    win::HGDIOBJ FHandle = nullptr;
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = uint8_t;  // bit (1 << TFontStyle)
constexpr TFontStyles FontStyleBit(TFontStyle s) { return static_cast<TFontStyles>(1u << s); }
enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = uint8_t;

class TFont : public TGraphicsObject {
    CL_DECLARE_CLASS(TFont, TGraphicsObject)
public:
    TFont();
    ~TFont() override = default;
    String GetName() const { return FName; }
    void SetName(const String& v);
    int GetHeight() const { return FHeight; }
    void SetHeight(int v);
    // Points at 96 pixels per inch: Height = -MulDiv(Size, 96, 72).
    int GetSize() const;
    void SetSize(int v);
    TFontStyles GetStyle() const { return FStyle; }
    void SetStyle(TFontStyles v);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor v);
    TFontCharset GetCharset() const { return FCharset; }
    void SetCharset(TFontCharset v);
    TFontPitch GetPitch() const { return FPitch; }
    void SetPitch(TFontPitch v);
    win::HFONT GetHandle() { return static_cast<win::HFONT>(HandleObject()); }
    // Takes the properties of a LOGFONT (and drops the handle).
    void SetLogFont(const win::LOGFONTA& lf);
    win::LOGFONTA GetLogFont() const;
    void Assign(TPersistent* Source) override;

protected:
    win::HGDIOBJ CreateHandle() override;

private:
    String FName = "MS Sans Serif";
    int FHeight = -11;
    TFontStyles FStyle = 0;
    TColor FColor = clWindowText;
    TFontCharset FCharset = win::DEFAULT_CHARSET;
    TFontPitch FPitch = fpDefault;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// clang-format off
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen, pmMaskNotPen,
    pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
// clang-format on
// The R2_ code of a pen mode.
int PenModeToROP2(TPenMode mode);

class TPen : public TGraphicsObject {
    CL_DECLARE_CLASS(TPen, TGraphicsObject)
public:
    TPen() = default;
    ~TPen() override = default;
    TColor GetColor() const { return FColor; }
    void SetColor(TColor v);
    int GetWidth() const { return FWidth; }
    void SetWidth(int v);
    TPenStyle GetStyle() const { return FStyle; }
    void SetStyle(TPenStyle v);
    TPenMode GetMode() const { return FMode; }
    void SetMode(TPenMode v);
    win::HPEN GetHandle() { return static_cast<win::HPEN>(HandleObject()); }
    void Assign(TPersistent* Source) override;

protected:
    win::HGDIOBJ CreateHandle() override;

private:
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = psSolid;
    TPenMode FMode = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBitmap;

class TBrush : public TGraphicsObject {
    CL_DECLARE_CLASS(TBrush, TGraphicsObject)
public:
    TBrush() = default;
    ~TBrush() override = default;
    TColor GetColor() const { return FColor; }
    void SetColor(TColor v);
    TBrushStyle GetStyle() const { return FStyle; }
    void SetStyle(TBrushStyle v);
    // A pattern brush from the bitmap's top-left 8 x 8 pixels; the brush does not own it.
    TBitmap* GetBitmap() const { return FBitmap; }
    void SetBitmap(TBitmap* v);
    win::HBRUSH GetHandle() { return static_cast<win::HBRUSH>(HandleObject()); }
    void Assign(TPersistent* Source) override;

protected:
    win::HGDIOBJ CreateHandle() override;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
    TBitmap* FBitmap = nullptr;
};

// ---------------------------------------------------------------------------------------
// Canvases.

using TCopyMode = uint32_t;
constexpr TCopyMode cmBlackness = win::BLACKNESS;
constexpr TCopyMode cmDstInvert = win::DSTINVERT;
constexpr TCopyMode cmMergeCopy = win::MERGECOPY;
constexpr TCopyMode cmMergePaint = win::MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = win::NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = win::NOTSRCERASE;
constexpr TCopyMode cmPatCopy = win::PATCOPY;
constexpr TCopyMode cmPatInvert = win::PATINVERT;
constexpr TCopyMode cmPatPaint = win::PATPAINT;
constexpr TCopyMode cmSrcAnd = win::SRCAND;
constexpr TCopyMode cmSrcCopy = win::SRCCOPY;
constexpr TCopyMode cmSrcErase = win::SRCERASE;
constexpr TCopyMode cmSrcInvert = win::SRCINVERT;
constexpr TCopyMode cmSrcPaint = win::SRCPAINT;
constexpr TCopyMode cmWhiteness = win::WHITENESS;

enum TCanvasOrientation { coLeftToRight, coRightToLeft };

class TGraphic;

class TCanvas : public TPersistent {
    CL_DECLARE_CLASS(TCanvas, TPersistent)
public:
    TCanvas();
    ~TCanvas() override;

    // The device context, created on first use by CreateHandle (a plain canvas has none
    // unless one is assigned). Setting it deselects this canvas's objects from the old one.
    win::HDC GetHandle();
    void SetHandle(win::HDC dc);
    bool HandleAllocated() const { return FHandle != nullptr; }

    // A re-entrant per-canvas lock.
    void Lock();
    void Unlock();
    bool TryLock();
    int GetLockCount() const { return FLockCount; }

    TPen* GetPen() const { return FPen.get(); }
    TBrush* GetBrush() const { return FBrush.get(); }
    TFont* GetFont() const { return FFont.get(); }
    void SetPen(TPen* v) { FPen->Assign(v); }
    void SetBrush(TBrush* v) { FBrush->Assign(v); }
    void SetFont(TFont* v) { FFont->Assign(v); }
    TCopyMode GetCopyMode() const { return FCopyMode; }
    void SetCopyMode(TCopyMode v);
    int TextFlags = 0;
    TCanvasOrientation GetCanvasOrientation() const { return coLeftToRight; }

    TPoint GetPenPos();
    void SetPenPos(TPoint p);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<TPoint>& points);
    void Polygon(const std::vector<TPoint>& points);
    void Rectangle(int l, int t, int r, int b);
    void Rectangle(const TRect& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void Ellipse(int l, int t, int r, int b);
    void Ellipse(const TRect& r) { Ellipse(r.left, r.top, r.right, r.bottom); }
    void RoundRect(int l, int t, int r, int b, int w, int h);
    void Arc(int l, int t, int r, int b, int xs, int ys, int xe, int ye);
    void FillRect(const TRect& r);
    void FrameRect(const TRect& r);

    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const TRect& r, TGraphic* graphic);
    void CopyRect(const TRect& dest, TCanvas* source, const TRect& src);

    void TextOut(int x, int y, const String& text);
    void TextRect(const TRect& r, int x, int y, const String& text);
    TSize TextExtent(const String& text);
    int TextWidth(const String& text) { return TextExtent(text).cx; }
    int TextHeight(const String& text);

    TColor Pixels(int x, int y);
    void SetPixels(int x, int y, TColor c);

    TRect GetClipRect();
    // Deselects pen, brush and font from the DC.
    void Refresh();

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    virtual void CreateHandle() {}
    // Called before the DC goes away or changes: deselects our objects.
    void DeselectHandles();
    enum StateBit : uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
    // Makes sure the DC exists and the listed objects are selected into it. EInvalidOperation
    // "Canvas does not allow drawing" when there is no DC.
    void RequiredState(uint8_t state);
    virtual void Changing();
    virtual void Changed();

private:
    void ObjectChanged(TObject* sender);
    win::HDC FHandle = nullptr;
    uint8_t FState = 0;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    std::unique_ptr<TFont> FFont;
    TCopyMode FCopyMode = cmSrcCopy;
    win::HGDIOBJ FOldPen = nullptr, FOldBrush = nullptr, FOldFont = nullptr;
    std::recursive_mutex FLock;
    int FLockCount = 0;
};

// ---------------------------------------------------------------------------------------
// Pictures.

class TGraphic : public TPersistent {
    CL_DECLARE_CLASS(TGraphic, TPersistent)
public:
    TGraphic() = default;
    ~TGraphic() override = default;

    virtual int GetWidth() const = 0;
    virtual void SetWidth(int v) = 0;
    virtual int GetHeight() const = 0;
    virtual void SetHeight(int v) = 0;
    virtual bool GetEmpty() const = 0;
    virtual bool GetTransparent() const { return FTransparent; }
    virtual void SetTransparent(bool v);
    // The picture's palette (owned by the picture). Setting one copies its entries: the
    // caller keeps and frees its own palette.
    virtual win::HPALETTE GetPalette() { return nullptr; }
    virtual void SetPalette(win::HPALETTE) {}
    bool GetModified() const { return FModified; }
    void SetModified(bool v);
    TNotifyEvent OnChange;

    virtual void LoadFromStream(TStream* stream) = 0;
    virtual void SaveToStream(TStream* stream) = 0;
    void LoadFromFile(const String& fileName);
    void SaveToFile(const String& fileName);

    // Draws the picture into rect of the canvas (what TCanvas.Draw/StretchDraw call).
    virtual void Draw(TCanvas* canvas, const TRect& rect) = 0;

    // A new, empty picture of the same class (the virtual constructor).
    virtual TGraphic* NewInstance() const = 0;

protected:
    // Sets Modified and fires OnChange.
    virtual void Changed();
    // Into a TBitmap: the bitmap takes the picture's size, is filled white and the
    // picture draws itself into it. Other destinations: inherited.
    void AssignTo(TPersistent* Dest) override;
    bool FTransparent = false;

private:
    bool FModified = false;
};

using TGraphicClass = TGraphic* (*)();

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType { bmDIB, bmDDB };
enum TTransparentMode { tmAuto, tmFixed };

// Bits per pixel of a pixel format (pfDevice: the display's 32, pfCustom: 0).
int PixelFormatBits(TPixelFormat pf);

class TBitmapCanvas;

class TBitmap : public TGraphic {
    CL_DECLARE_CLASS(TBitmap, TGraphic)
public:
    TBitmap();
    ~TBitmap() override;
    static TGraphic* Create() { return new TBitmap(); }
    TGraphic* NewInstance() const override { return new TBitmap(); }

    TCanvas* GetCanvas();
    void SetSize(int width, int height);

    TPixelFormat GetPixelFormat() const;
    void SetPixelFormat(TPixelFormat pf);
    TBitmapHandleType GetHandleType() const { return FHandleType; }
    void SetHandleType(TBitmapHandleType t);
    bool GetMonochrome() const;
    void SetMonochrome(bool v);

    // Row `row` (0 = top). EInvalidGraphicOperation "Scan line index out of range".
    void* ScanLine(int row);
    // Bytes per row (32-bit aligned).
    int RowBytes() const { return FStride; }

    // The colour table of an indexed bitmap (empty for others).
    const std::vector<win::RGBQUAD>& GetColorTable() const { return FTable; }
    void SetColorTable(const std::vector<win::RGBQUAD>& table);

    TColor GetTransparentColor() const;
    void SetTransparentColor(TColor c);
    TTransparentMode GetTransparentMode() const { return FTransparentMode; }
    void SetTransparentMode(TTransparentMode m);

    win::HBITMAP GetHandle();
    // Gives up ownership of the bitmap handle (the picture becomes empty).
    win::HBITMAP ReleaseHandle();
    // The pixels always live in the DIB section: nothing to give up or re-create.
    void Dormant() {}
    void FreeImage() {}

    void Assign(TPersistent* Source) override;
    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    // An RT_BITMAP resource of a module: a packed DIB (header, table, rows) or a whole BMP
    // file. EResNotFound "Resource %s not found" when absent.
    void LoadFromResourceName(win::HINSTANCE instance, const String& name);
    void LoadFromResourceID(win::HINSTANCE instance, int id);
    void Draw(TCanvas* canvas, const TRect& rect) override;

    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    void SetWidth(int v) override { SetSize(v, FHeight); }
    void SetHeight(int v) override { SetSize(FWidth, v); }
    bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }
    win::HPALETTE GetPalette() override;
    void SetPalette(win::HPALETTE v) override;

protected:
    void Changed() override;

private:
    friend class TBitmapCanvas;
    friend struct BitmapImage;
    friend class TJPEGImage;
    struct Image;
    // Replaces the pixels by `img` (which becomes ours); the canvas follows.
    void Install(Image&& img);
    // A new picture of the size in the current format whose pixels the caller writes
    // completely (a decoder): nothing is kept and nothing filled.
    void NewUnfilled(int width, int height);
    void LoadFromResource(win::HINSTANCE instance, const char* resource, const String& name);
    void DrawTransparent(TCanvas* canvas, const TRect& rect);
    TColor PixelColorRGB(int x, int y) const;

    std::unique_ptr<TBitmapCanvas> FCanvas;
    win::HBITMAP FHandle = nullptr;
    uint8_t* FBits = nullptr;
    int FWidth = 0, FHeight = 0, FStride = 0;
    TPixelFormat FFormat = pfDevice;
    TBitmapHandleType FHandleType = bmDDB;
    std::vector<win::RGBQUAD> FTable;
    // The table of the last palette given (or of a loaded 8-bit file): a later change to
    // pf8bit uses it instead of the default table.
    std::vector<win::RGBQUAD> FCustomTable;
    win::HPALETTE FPalette = nullptr;
    TColor FTransparentColor = clDefault;
    TTransparentMode FTransparentMode = tmAuto;
};

// The bitmap's canvas: a memory DC with the bitmap selected.
class TBitmapCanvas : public TCanvas {
    CL_DECLARE_CLASS(TBitmapCanvas, TCanvas)
public:
    explicit TBitmapCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
    ~TBitmapCanvas() override;
    // Frees the DC (before the bitmap's handle changes).
    void FreeContext();

protected:
    void CreateHandle() override;

private:
    TBitmap* FBitmap;
    win::HDC FDc = nullptr;
    win::HGDIOBJ FOldBitmap = nullptr;
};

// Icons: a colour image and an AND mask, drawn through the mask.
class TIcon : public TGraphic {
    CL_DECLARE_CLASS(TIcon, TGraphic)
public:
    TIcon() = default;
    ~TIcon() override;
    static TGraphic* Create() { return new TIcon(); }
    TGraphic* NewInstance() const override { return new TIcon(); }

    // Reads an .ico file (the largest image, at the deepest colour); EInvalidGraphic
    // "Icon image is not valid" on bad data.
    void LoadFromStream(TStream* stream) override;
    void SaveToStream(TStream* stream) override;
    // Loads an RT_GROUP_ICON resource of a module: an icon file stored whole, or a group
    // directory whose entries name RT_ICON resources. EResNotFound when absent.
    void LoadFromResourceName(win::HINSTANCE instance, const String& name);
    void LoadFromResourceID(win::HINSTANCE instance, int id);
    void Draw(TCanvas* canvas, const TRect& rect) override;
    void Assign(TPersistent* Source) override;
    // The image and its mask (1 = transparent), both top-left aligned, or null when empty.
    TBitmap* Image() const { return FImage.get(); }
    TBitmap* Mask() const { return FMask.get(); }
    int GetWidth() const override { return FImage ? FImage->GetWidth() : 32; }
    int GetHeight() const override { return FImage ? FImage->GetHeight() : 32; }
    void SetWidth(int) override;
    void SetHeight(int) override;
    bool GetEmpty() const override { return !FImage; }
    bool GetTransparent() const override { return true; }

private:
    void LoadFromBytes(const uint8_t* data, size_t size);
    void LoadFromResource(win::HINSTANCE instance, const char* resource, const String& name);
    std::unique_ptr<TBitmap> FImage, FMask;
    std::vector<uint8_t> FData;  // the icon file as loaded (for SaveToStream)
};

// The picture-format registry.
void RegisterFileFormat(const String& extension, const String& description, const TClass& Class, TGraphicClass create);
void UnregisterGraphicClass(const TClass& Class);
// The class registered for an extension (lower-cased, without the dot), or null.
TGraphicClass FindGraphicClass(const String& extension);

class TPicture : public TPersistent {
    CL_DECLARE_CLASS(TPicture, TPersistent)
public:
    TPicture() = default;
    ~TPicture() override;
    TGraphic* GetGraphic() const { return FGraphic.get(); }
    // Stores a copy of `g` (null: none).
    void SetGraphic(TGraphic* g);
    TBitmap* GetBitmap();
    TIcon* GetIcon();
    int GetWidth() const { return FGraphic ? FGraphic->GetWidth() : 0; }
    int GetHeight() const { return FGraphic ? FGraphic->GetHeight() : 0; }
    void LoadFromFile(const String& fileName);
    void SaveToFile(const String& fileName);
    void Assign(TPersistent* Source) override;
    TNotifyEvent OnChange;

    static void RegisterFileFormat(const String& extension, const String& description, const TClass& Class,
                                   TGraphicClass create) {
        cl::RegisterFileFormat(extension, description, Class, create);
    }
    static void UnregisterGraphicClass(const TClass& Class) { cl::UnregisterGraphicClass(Class); }

protected:
    void AssignTo(TPersistent* Dest) override;

private:
    void Take(std::unique_ptr<TGraphic> g);
    void Changed(TObject* sender);
    std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace cl
