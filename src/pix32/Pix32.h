// The bitmap library's basic types: the 32-bit pixel, fixed-point numbers, rectangles, the
// modes by which one bitmap is drawn into another, and the bases of the library's objects
// (change notification, locking, two-dimensional maps, samplers).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "classlib/Classes.h"
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

// The combine callback of dmCustom: foreground pixel, background pixel (updated), master alpha.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;

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

}  // namespace pix32
