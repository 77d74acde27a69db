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
    win::HGDIOBJ handle_ = nullptr;
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
    String Name() const { return name_; }
    void SetName(const String& v);
    int Height() const { return height_; }
    void SetHeight(int v);
    // Points at 96 pixels per inch: Height = -MulDiv(Size, 96, 72).
    int Size() const;
    void SetSize(int v);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles v);
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TFontCharset Charset() const { return charset_; }
    void SetCharset(TFontCharset v);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch v);
    win::HFONT Handle() { return static_cast<win::HFONT>(HandleObject()); }
    // Takes the properties of a LOGFONT (and drops the handle).
    void SetLogFont(const win::LOGFONTA& lf);
    win::LOGFONTA LogFont() const;
    void Assign(TPersistent* Source) override;

protected:
    win::HGDIOBJ CreateHandle() override;

private:
    String name_ = "MS Sans Serif";
    int height_ = -11;
    TFontStyles style_ = 0;
    TColor color_ = clWindowText;
    TFontCharset charset_ = win::DEFAULT_CHARSET;
    TFontPitch pitch_ = fpDefault;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen, pmMaskNotPen,
    pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
// The R2_ code of a pen mode.
int PenModeToROP2(TPenMode mode);

class TPen : public TGraphicsObject {
    CL_DECLARE_CLASS(TPen, TGraphicsObject)
public:
    TPen() = default;
    ~TPen() override = default;
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    int Width() const { return width_; }
    void SetWidth(int v);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle v);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode v);
    win::HPEN Handle() { return static_cast<win::HPEN>(HandleObject()); }
    void Assign(TPersistent* Source) override;

protected:
    win::HGDIOBJ CreateHandle() override;

private:
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = psSolid;
    TPenMode mode_ = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBitmap;

class TBrush : public TGraphicsObject {
    CL_DECLARE_CLASS(TBrush, TGraphicsObject)
public:
    TBrush() = default;
    ~TBrush() override = default;
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle v);
    // A pattern brush from the bitmap's top-left 8 x 8 pixels; the brush does not own it.
    TBitmap* Bitmap() const { return bitmap_; }
    void SetBitmap(TBitmap* v);
    win::HBRUSH Handle() { return static_cast<win::HBRUSH>(HandleObject()); }
    void Assign(TPersistent* Source) override;

protected:
    win::HGDIOBJ CreateHandle() override;

private:
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
    TBitmap* bitmap_ = nullptr;
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
    win::HDC Handle();
    void SetHandle(win::HDC dc);
    bool HandleAllocated() const { return handle_ != nullptr; }

    // A re-entrant per-canvas lock.
    void Lock();
    void Unlock();
    bool TryLock();
    int LockCount() const { return lockCount_; }

    TPen* Pen() const { return pen_.get(); }
    TBrush* Brush() const { return brush_.get(); }
    TFont* Font() const { return font_.get(); }
    void SetPen(TPen* v) { pen_->Assign(v); }
    void SetBrush(TBrush* v) { brush_->Assign(v); }
    void SetFont(TFont* v) { font_->Assign(v); }
    TCopyMode CopyMode() const { return copyMode_; }
    void SetCopyMode(TCopyMode v);
    int TextFlags = 0;
    TCanvasOrientation CanvasOrientation() const { return coLeftToRight; }

    TPoint PenPos();
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

    TRect ClipRect();
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
    win::HDC handle_ = nullptr;
    uint8_t state_ = 0;
    std::unique_ptr<TPen> pen_;
    std::unique_ptr<TBrush> brush_;
    std::unique_ptr<TFont> font_;
    TCopyMode copyMode_ = cmSrcCopy;
    win::HGDIOBJ oldPen_ = nullptr, oldBrush_ = nullptr, oldFont_ = nullptr;
    std::recursive_mutex lock_;
    int lockCount_ = 0;
};

// ---------------------------------------------------------------------------------------
// Pictures.

class TGraphic : public TPersistent {
    CL_DECLARE_CLASS(TGraphic, TPersistent)
public:
    TGraphic() = default;
    ~TGraphic() override = default;

    int Width() const { return GetWidth(); }
    void SetWidth(int v) { SetWidthImpl(v); }
    int Height() const { return GetHeight(); }
    void SetHeight(int v) { SetHeightImpl(v); }
    bool Empty() const { return GetEmpty(); }
    bool Transparent() const { return GetTransparent(); }
    void SetTransparent(bool v) { SetTransparentImpl(v); }
    // The picture's palette (owned by the picture). Setting one copies its entries: the
    // caller keeps and frees its own palette.
    win::HPALETTE Palette() { return GetPalette(); }
    void SetPalette(win::HPALETTE v) { SetPaletteImpl(v); }
    bool Modified() const { return modified_; }
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
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual void SetWidthImpl(int v) = 0;
    virtual void SetHeightImpl(int v) = 0;
    virtual bool GetEmpty() const = 0;
    virtual bool GetTransparent() const { return transparent_; }
    virtual void SetTransparentImpl(bool v);
    virtual win::HPALETTE GetPalette() { return nullptr; }
    virtual void SetPaletteImpl(win::HPALETTE) {}
    // Sets Modified and fires OnChange.
    virtual void Changed();
    // Into a TBitmap: the bitmap takes the picture's size, is filled white and the
    // picture draws itself into it. Other destinations: inherited.
    void AssignTo(TPersistent* Dest) override;
    bool transparent_ = false;

private:
    bool modified_ = false;
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

    TCanvas* Canvas();
    void SetSize(int width, int height);

    TPixelFormat PixelFormat() const;
    void SetPixelFormat(TPixelFormat pf);
    TBitmapHandleType HandleType() const { return handleType_; }
    void SetHandleType(TBitmapHandleType t);
    bool Monochrome() const;
    void SetMonochrome(bool v);

    // Row `row` (0 = top). EInvalidGraphicOperation "Scan line index out of range".
    void* ScanLine(int row);
    // Bytes per row (32-bit aligned).
    int RowBytes() const { return stride_; }

    // The colour table of an indexed bitmap (empty for others).
    const std::vector<win::RGBQUAD>& ColorTable() const { return table_; }
    void SetColorTable(const std::vector<win::RGBQUAD>& table);

    TColor TransparentColor() const;
    void SetTransparentColor(TColor c);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode m);

    win::HBITMAP Handle();
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

protected:
    int GetWidth() const override { return width_; }
    int GetHeight() const override { return height_; }
    void SetWidthImpl(int v) override { SetSize(v, height_); }
    void SetHeightImpl(int v) override { SetSize(width_, v); }
    bool GetEmpty() const override { return width_ == 0 || height_ == 0; }
    win::HPALETTE GetPalette() override;
    void SetPaletteImpl(win::HPALETTE v) override;
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

    TBitmapCanvas* canvas_ = nullptr;
    win::HBITMAP handle_ = nullptr;
    uint8_t* bits_ = nullptr;
    int width_ = 0, height_ = 0, stride_ = 0;
    TPixelFormat format_ = pfDevice;
    TBitmapHandleType handleType_ = bmDDB;
    std::vector<win::RGBQUAD> table_;
    // The table of the last palette given (or of a loaded 8-bit file): a later change to
    // pf8bit uses it instead of the default table.
    std::vector<win::RGBQUAD> customTable_;
    win::HPALETTE palette_ = nullptr;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
};

// The bitmap's canvas: a memory DC with the bitmap selected.
class TBitmapCanvas : public TCanvas {
    CL_DECLARE_CLASS(TBitmapCanvas, TCanvas)
public:
    explicit TBitmapCanvas(TBitmap* bitmap) : bitmap_(bitmap) {}
    ~TBitmapCanvas() override;
    // Frees the DC (before the bitmap's handle changes).
    void FreeContext();

protected:
    void CreateHandle() override;

private:
    TBitmap* bitmap_;
    win::HDC dc_ = nullptr;
    win::HGDIOBJ oldBitmap_ = nullptr;
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
    TBitmap* Image() const { return image_.get(); }
    TBitmap* Mask() const { return mask_.get(); }

protected:
    int GetWidth() const override { return image_ ? image_->Width() : 32; }
    int GetHeight() const override { return image_ ? image_->Height() : 32; }
    void SetWidthImpl(int) override;
    void SetHeightImpl(int) override;
    bool GetEmpty() const override { return !image_; }
    bool GetTransparent() const override { return true; }

private:
    void LoadFromBytes(const uint8_t* data, size_t size);
    void LoadFromResource(win::HINSTANCE instance, const char* resource, const String& name);
    std::unique_ptr<TBitmap> image_, mask_;
    std::vector<uint8_t> data_;  // the icon file as loaded (for SaveToStream)
};

// The picture-format registry.
void RegisterFileFormat(const String& extension, const String& description, const TClass& Class,
                        TGraphicClass create);
void UnregisterGraphicClass(const TClass& Class);
// The class registered for an extension (lower-cased, without the dot), or null.
TGraphicClass FindGraphicClass(const String& extension);

class TPicture : public TPersistent {
    CL_DECLARE_CLASS(TPicture, TPersistent)
public:
    TPicture() = default;
    ~TPicture() override;
    TGraphic* Graphic() const { return graphic_; }
    // Stores a copy of `g` (null: none).
    void SetGraphic(TGraphic* g);
    TBitmap* Bitmap();
    TIcon* Icon();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
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
    void Take(TGraphic* g);
    void Changed(TObject* sender);
    TGraphic* graphic_ = nullptr;
};

}  // namespace cl
