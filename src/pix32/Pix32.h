// The bitmap library's basic types: the 32-bit pixel, fixed-point numbers, rectangles, the
// modes by which one bitmap is drawn into another, and the bases of the library's objects
// (change notification, locking, two-dimensional maps, samplers).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "platform/windef.h"

namespace pix32 {

// A pixel: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7; alpha 255 is opaque.
// In memory (little-endian) its bytes are blue, green, red, alpha.
using TColor32 = uint32_t;
using PColor32 = TColor32*;

// 16.16 fixed-point value (value x 65536).
using TFixed = int32_t;
constexpr TFixed FixedOne = 0x10000;
constexpr TFixed FixedHalf = 0x7FFF;

// Rectangles are the platform's: left, top, right, bottom (right and bottom exclusive).
using TRect = win::RECT;
using TPoint = win::POINT;

struct TFixedRect {
    TFixed Left = 0;
    TFixed Top = 0;
    TFixed Right = 0;
    TFixed Bottom = 0;
};

struct TFloatRect {
    float Left = 0;
    float Top = 0;
    float Right = 0;
    float Bottom = 0;
};

// How a bitmap is combined when drawn into another.
enum TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2, dmTransparent = 3 };
// Which blend family dmBlend uses.
enum TCombineMode : uint8_t { cmBlend = 0, cmMerge = 1 };
// How the wrapped pixel readers map a coordinate into the clip rectangle.
enum TWrapMode : uint8_t { wmClamp = 0, wmRepeat = 1, wmMirror = 2 };

// Channel access.
constexpr uint32_t AlphaOf(TColor32 c) { return c >> 24; }
constexpr uint32_t RedOf(TColor32 c) { return (c >> 16) & 0xFF; }
constexpr uint32_t GreenOf(TColor32 c) { return (c >> 8) & 0xFF; }
constexpr uint32_t BlueOf(TColor32 c) { return c & 0xFF; }
constexpr TColor32 Color32(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0xFF) {
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

// Info of an area report: the area is a plain rectangle.
constexpr uint32_t AreaInfoRect = 0x80000000u;

// How MakeRectFromFloat and MakeRectFromFixed round the edges.
enum TRectRounding : uint8_t { rrNearest = 0, rrOutward = 1, rrInward = 2 };

// Failures of the drawing routines.
using cl::Exception;
CL_DECLARE_EXCEPTION(EBitmapException, Exception);
CL_DECLARE_EXCEPTION(ESrcInvalidException, Exception);

// The combine callback of dmCustom: foreground pixel, background pixel (updated), master alpha.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;
// A report of a changed area of a bitmap; Info is AreaInfoRect.
using TAreaChangedEvent = std::function<void(cl::TObject* Sender, const TRect& Area, uint32_t Info)>;

// ---------------------------------------------------------------------------------------------
// Geometry and colour helpers

// A platform colour 0x00BBGGRR becomes 0xFFRRGGBB; a system colour (negative) is first
// replaced by its current value.
TColor32 ColorToColor32(cl::TColor C);
TFixed FixedFromFloat(double F);
constexpr TFixed FixedFromInt(int32_t I) { return static_cast<TFixed>(static_cast<uint32_t>(I) << 16); }
constexpr TRect MakeRect(int32_t L, int32_t T, int32_t R, int32_t B) { return TRect{L, T, R, B}; }
TRect MakeRectFromFloat(const TFloatRect& FR, TRectRounding Rounding = rrNearest);
TRect MakeRectFromFixed(const TFixedRect& XR, TRectRounding Rounding = rrNearest);
constexpr TFixedRect MakeFixedRect(TFixed L, TFixed T, TFixed R, TFixed B) { return TFixedRect{L, T, R, B}; }
TFixedRect FixedRectFromRect(const TRect& R);
TFloatRect FloatRectFromRect(const TRect& R);
// Dst := the intersection; false (and Dst all zero) when it is empty in either direction
// (a zero-width or zero-height overlap counts as an intersection).
bool IntersectRects(TRect& Dst, const TRect& R1, const TRect& R2);
bool RectsEqual(const TRect& R1, const TRect& R2);
void InflateRectBy(TRect& R, int32_t Dx, int32_t Dy);
void OffsetRectBy(TRect& R, int32_t Dx, int32_t Dy);
constexpr bool RectIsEmpty(const TRect& R) { return !(R.left < R.right && R.top < R.bottom); }
constexpr bool PointInRect(const TRect& R, const TPoint& P) {
    return R.left <= P.x && P.x < R.right && R.top <= P.y && P.y < R.bottom;
}

// GammaTable[i] = Round(255 x (i / 255)^Gamma), halves to even; the bilinear readers take
// their weights through it. Built at start-up with 0.7.
extern uint8_t GammaTable[256];
void SetGamma(double Gamma);

// The 2x2 mixer: P points at two adjacent pixels of the upper row, Q at the two below them;
// WX weights the left pixels and WY the upper row (0..255, larger values taken as 255).
using TBilinearMixProc = TColor32 (*)(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q);
extern TBilinearMixProc BilinearMix;
TColor32 BilinearMix_Pas(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q);

// ---------------------------------------------------------------------------------------------
// Bases

// Counts nested BeginUpdate/EndUpdate calls and fires OnChange from Changed only when the
// count is 0; EndUpdate itself fires nothing.
class TNotifiablePersistent : public cl::TPersistent {
    CL_DECLARE_CLASS(TNotifiablePersistent, cl::TPersistent)
public:
    virtual void Changed();
    virtual void BeginUpdate();
    // An unpaired call raises EAssertionFailed "Unpaired TThreadPersistent.EndUpdate" and
    // leaves the count unchanged.
    virtual void EndUpdate();
    int32_t UpdateCount() const { return FUpdateCount; }

    cl::TNotifyEvent OnChange;

protected:
    int32_t FUpdateCount = 0;
};

// Adds a per-object lock (re-entrant, like the platform's critical sections).
class TThreadPersistent : public TNotifiablePersistent {
    CL_DECLARE_CLASS(TThreadPersistent, TNotifiablePersistent)
public:
    void Lock();
    void Unlock();
    int32_t LockCount() const { return FLockCount.load(); }

protected:
    // The lock itself, for objects that share it (the bitmap's font).
    std::recursive_mutex& CriticalSection() { return FLock; }

private:
    std::recursive_mutex FLock;
    std::atomic<int32_t> FLockCount{0};
};

// A two-dimensional map of some size.
class TCustomMap : public TThreadPersistent {
    CL_DECLARE_CLASS(TCustomMap, TThreadPersistent)
public:
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetWidth(int32_t NewWidth) { SetSize(NewWidth, FHeight); }
    void SetHeight(int32_t NewHeight) { SetSize(FWidth, NewHeight); }

    virtual void Delete() { SetSize(0, 0); }
    // True when Width or Height is 0.
    virtual bool Empty() const { return FWidth == 0 || FHeight == 0; }
    // Negative sizes become 0. The same size changes nothing and returns false; otherwise
    // ChangeSize, Changed, Resized, and true.
    virtual bool SetSize(int32_t NewWidth, int32_t NewHeight);

    cl::TNotifyEvent OnResize;

protected:
    // Stores the new size; maps with storage re-create it here.
    virtual void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight);
    virtual void Resized();

    int32_t FHeight = 0;
    int32_t FWidth = 0;
};

// Reads colours at integer, 16.16 fixed-point or floating-point coordinates. Each concrete
// sampler overrides at least one of the three readers; the others reach it.
class TCustomSampler : public TNotifiablePersistent {
    CL_DECLARE_CLASS(TCustomSampler, TNotifiablePersistent)
public:
    // GetSampleFixed(X x 65536, Y x 65536); coordinates beyond the 16.16 range are clamped to it.
    virtual TColor32 GetSampleInt(int32_t X, int32_t Y);
    // GetSampleFloat(X / 65536, Y / 65536).
    virtual TColor32 GetSampleFixed(TFixed X, TFixed Y);
    // GetSampleFixed(Round(X x 65536), Round(Y x 65536)), halves to even, clamped to 32 bits.
    virtual TColor32 GetSampleFloat(float X, float Y);
    virtual void PrepareSampling() {}
    virtual void FinalizeSampling() {}
    virtual bool HasBounds() const { return false; }
    // (-2147483648, -2147483648, 2147483647, 2147483647).
    virtual TRect GetSampleBounds() const;
};

class TBitmap32;

// A sampler that also stretches a rectangle of one bitmap into another.
class TCustomResampler : public TCustomSampler {
    CL_DECLARE_CLASS(TCustomResampler, TCustomSampler)
public:
    // The radius of the resampler's filter in source pixels.
    virtual float GetWidth() const = 0;
    virtual void Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src,
                          const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) = 0;
};

// ---------------------------------------------------------------------------------------------
// TBitmap32

// The 32-bit ARGB bitmap. Its pixels live in a top-down 32-bit DIB section of the platform
// with a memory device context of its own, so GDI drawing and blits see the same pixels
// as direct access. Around them it keeps the settings used when it is drawn into another
// bitmap, a clip rectangle, its own lock and change notification with area reports.
class TBitmap32 : public TCustomMap {
    CL_DECLARE_CLASS(TBitmap32, TCustomMap)
public:
    TBitmap32();
    ~TBitmap32() override;

    // From nil (empty), a TBitmap32 (pixels and drawing settings), a class-library bitmap,
    // picture or other graphic; anything else raises the class library's conversion error.
    void Assign(cl::TPersistent* Source) override;
    void Changed() override;
    // True when there is no pixel memory or a side is 0.
    bool Empty() const override;

    virtual void CopyMapContentTo(TBitmap32* Dst);
    virtual void CopyPropertiesTo(TBitmap32* Dst);
    // Re-targets the canvas at the (new) DC and fires OnHandleChanged.
    virtual void HandleChanged();
    // The "Data" property: Width and Height (signed 32-bit, little-endian), then the pixels,
    // top row first. Reading checks the stored size against the bytes the stream still
    // holds (EReadError "Stream read error" without touching the bitmap when they are
    // missing); Changed runs also when reading fails.
    virtual void ReadData(cl::TStream* Stream);
    virtual void WriteData(cl::TStream* Stream);
    // Whether "Data" is to be stored against the given ancestor (nil: none).
    bool DataStored(cl::TPersistent* Ancestor);
    // Fires OnAreaChanged with the area (when not updating or while measuring), then, unless
    // measuring, the inherited Changed.
    virtual void ChangedArea(const TRect& Area, uint32_t Info);

    // Filling.
    void Clear() { ClearToColor(0xFF000000u); }
    void ClearToColor(TColor32 Color);
    // No clipping: the caller keeps the rectangle inside the bitmap.
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Color);
    void FillRectClipped(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Color);
    void FillRectClipped(const TRect& R, TColor32 Color) { FillRectClipped(R.left, R.top, R.right, R.bottom, Color); }
    void SetAlpha(uint8_t A);
    void MakeOpaque() { SetAlpha(255); }

    // Pixel access (no locking, unchecked unless stated).
    PColor32 Bits() const { return FBits; }
    PColor32 ScanLine(int32_t Y) const { return FBits + static_cast<ptrdiff_t>(Y) * FWidth; }
    PColor32 PixelPtr(int32_t X, int32_t Y) const { return FBits + static_cast<ptrdiff_t>(Y) * FWidth + X; }
    TColor32 Pixel(int32_t X, int32_t Y) const { return *PixelPtr(X, Y); }
    void SetPixel(int32_t X, int32_t Y, TColor32 Value) { *PixelPtr(X, Y) = Value; }
    // The pixel inside the clip rectangle, else OuterColor.
    TColor32 PixelClipped(int32_t X, int32_t Y) const;
    // The pixel at the coordinates mapped into the clip rectangle by WrapMode.
    TColor32 PixelWrapped(int32_t X, int32_t Y) const;
    // X, Y unsigned 24.8; reads pixels (X shr 8, Y shr 8) to one more in each direction.
    TColor32 PixelBilinear256(uint32_t X, uint32_t Y) const;
    TColor32 PixelBilinear256Clipped(int32_t X, int32_t Y) const;
    // X, Y 16.16.
    TColor32 PixelBilinearFixed(TFixed X, TFixed Y) const;
    TColor32 PixelBilinearFixedClipped(TFixed X, TFixed Y) const;
    TColor32 PixelBilinearFixedWrapped(TFixed X, TFixed Y) const;
    // The wrap mapping of WrapMode over the clip rectangle's columns and rows.
    int32_t WrapX(int32_t X) const;
    int32_t WrapY(int32_t Y) const;

    // Clipping.
    TRect BoundsRect() const { return TRect{0, 0, FWidth, FHeight}; }
    TRect ClipRect() const { return FClipRect; }
    const TFixedRect& FixedClipRect() const { return FFixedClipRect; }
    const TRect& ClipRect256() const { return FClipRect256; }
    bool Clipping() const { return FClipping; }
    // The intersection of R with the bounds ((0, 0, 0, 0) when they do not overlap).
    void SetClipRect(const TRect& R);
    void ResetClipRect() { SetClipRect(BoundsRect()); }

    // Drawing out. DrawTo stretches the whole bitmap into DstRect of Dst (clipped to Dst's
    // clip rectangle) through this bitmap's resampler and draw mode.
    void DrawTo(TBitmap32* Dst, const TRect& DstRect);
    void DrawTo(TBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect);
    void DrawTo(TBitmap32* Dst, int32_t DstX, int32_t DstY);
    void DrawToDC(win::HDC DC, int32_t X, int32_t Y);

    // True when both are empty, or both non-empty of the same class with equal pixels.
    bool Equal(TBitmap32* Other);

    // The canvas on the bitmap's DC (created on first use, owned).
    cl::TCanvas* Canvas();
    void DeleteCanvas();
    bool CanvasAllocated() const { return FCanvas != nullptr; }
    cl::TFont* Font() const { return FFont.get(); }
    void SetFont(cl::TFont* Value) { FFont->Assign(Value); }

    // Measuring: the fills report the areas they would change without writing pixels.
    void BeginMeasuring(const TAreaChangedEvent& Handler);
    void EndMeasuring();
    bool MeasuringMode() const { return FMeasuringMode; }

    win::HBITMAP BitmapHandle() const { return FHandle; }
    win::HDC Handle() const { return FDC; }
    const win::BITMAPINFO& BitmapInfo() const { return FBitmapInfo; }

    TDrawMode DrawMode() const { return FDrawMode; }
    void SetDrawMode(TDrawMode Value);
    TCombineMode CombineMode() const { return FCombineMode; }
    void SetCombineMode(TCombineMode Value);
    TWrapMode WrapMode() const { return FWrapMode; }
    void SetWrapMode(TWrapMode Value);
    uint32_t MasterAlpha() const { return FMasterAlpha; }
    void SetMasterAlpha(uint32_t Value);
    TColor32 OuterColor() const { return FOuterColor; }
    void SetOuterColor(TColor32 Value) { FOuterColor = Value; }
    TColor32 PenColor() const { return FPenColor; }
    void SetPenColor(TColor32 Value) { FPenColor = Value; }
    float StippleStep() const { return FStippleStep; }
    void SetStippleStep(float Value) { FStippleStep = Value; }

    // Owned; setting nil is ignored, another resampler is taken over (the old one freed).
    TCustomResampler* Resampler() const { return FResampler; }
    void SetResampler(TCustomResampler* Value);
    cl::String ResamplerClassName() const;
    // Creates a resampler of the registered class of that name when it differs from the
    // current one's; an unknown name is ignored.
    void SetResamplerClassName(const cl::String& Value);

    cl::TNotifyEvent OnHandleChanged;
    TPixelCombineEvent OnPixelCombine;
    TAreaChangedEvent OnAreaChanged;

protected:
    void AssignTo(cl::TPersistent* Dest) override;
    void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) override;

private:
    friend class TBitmap32Resampler;
    void FontChanged(cl::TObject* Sender);
    void CanvasChanged(cl::TObject* Sender);
    void AssignFromGdiBitmap(cl::TBitmap* Source);
    void AssignFromGraphic(cl::TGraphic* Graphic, int32_t W, int32_t H);
    void AssignFromIconOrMetafile(cl::TGraphic* Graphic, int32_t W, int32_t H);
    void CopyToGdiBitmap(cl::TBitmap* B);
    void DrawGraphic(cl::TGraphic* Graphic, TBitmap32* Target, int32_t W, int32_t H);
    void FreePixelMemory();

    PColor32 FBits = nullptr;
    cl::TCanvas* FCanvas = nullptr;
    TRect FClipRect{};
    TFixedRect FFixedClipRect{};
    TRect FClipRect256{};
    bool FClipping = false;
    TDrawMode FDrawMode = dmOpaque;
    TCombineMode FCombineMode = cmBlend;
    TWrapMode FWrapMode = wmClamp;
    std::unique_ptr<cl::TFont> FFont;
    win::HBITMAP FHandle = nullptr;
    win::HDC FDC = nullptr;
    win::BITMAPINFO FBitmapInfo{};
    uint32_t FMasterAlpha = 255;
    TColor32 FOuterColor = 0x00000000u;
    TColor32 FPenColor = 0xFFFFFFFFu;
    float FStippleStep = 1.0f;
    TAreaChangedEvent FSavedAreaChanged;
    bool FMeasuringMode = false;
    TCustomResampler* FResampler = nullptr;
    win::HGDIOBJ FFontHandle = nullptr;
};

// Binds BilinearMix, builds the gamma table and fetches the stock system font (the unit's
// start-up).
void Pix32_Initialization();

}  // namespace pix32
