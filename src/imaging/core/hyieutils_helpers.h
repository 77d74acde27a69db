// Small helpers shared by the imaging library: memory blocks chosen by size, a checked
// stream write, base64 text, byte-order swaps, a generic quicksort, numbers as text with a
// dot, grey palettes of class-library bitmaps, one YCbCr pixel conversion, and turning an
// image upright from its EXIF orientation.
#pragma once

#include <cstdint>
#include <functional>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

// ---------------------------------------------------------------------------------------
// Memory

// Size bytes (not aligned): below 1 MiB from the memory manager (not zeroed), from 1 MiB
// on from the system, zero-filled. Null when the memory cannot be had. Free with
// IEAutoFree, which returns the block to the allocator that made it.
void* IEAutoAlloc(uint64_t Size);
// Frees a block of IEAutoAlloc and sets P to null (null does nothing).
void IEAutoFree(void*& P);
// A zero-filled system block; null on failure. Free with IEGlobalFreeAndNil.
void* IEGlobalAllocZeroed(uint64_t Size);
void IEGlobalFreeAndNil(void*& P);
// A memory-manager block (free with std::free), or null instead of an out-of-memory
// exception.
void IEGetMemOrNil(void*& P, uint64_t Size);

// Test hook: blocks larger than Limit bytes are refused by IEAutoAlloc and
// IEGlobalAllocZeroed (0 lifts the limit).
void IESetAllocationLimitForTesting(uint64_t Limit);

// ---------------------------------------------------------------------------------------
// Text and numbers

// The class library's general float-to-text, every "," and locale separator made ".".
void IEFloatToStrDot(cl::String& S, double Value);
cl::String IEFloatToStrDot(double Value);
cl::String IEFloatToStrDot2(double Value);
// The bytes of Stream from its position to its end as lines of standard base64 text,
// written to Text; a line holds the smallest whole number of four-character groups not
// below LineLength / 4 (at least one) and ends with CR LF.
void IEWriteBase64Text(cl::TStream* Stream, cl::TStream* Text, int32_t LineLength);
inline int32_t IESelectInt(bool Condition, int32_t WhenTrue, int32_t WhenFalse) {
    return Condition ? WhenTrue : WhenFalse;
}
inline double IESelectFloat(bool Condition, double WhenTrue, double WhenFalse) {
    return Condition ? WhenTrue : WhenFalse;
}
// Writes Count bytes of Buffer and sets Error when the stream takes fewer (an exception of
// the stream counts as nothing written). Never clears Error.
void WriteStreamChecked(cl::TStream* Stream, bool& Error, const void* Buffer, int32_t Count);
inline uint16_t IESwapWordIf(uint16_t Value, bool Swap) {
    return Swap ? static_cast<uint16_t>((Value >> 8) | (Value << 8)) : Value;
}
inline uint32_t IESwapDWordIf(uint32_t Value, bool Swap) { return Swap ? __builtin_bswap32(Value) : Value; }
// Sorts the index range 0 .. Count - 1 of any container through Compare(I, J) (negative,
// 0, positive) and Swap(I, J).
void IEQuickSort(int32_t Count, const std::function<void(int32_t, int32_t)>& Swap,
                 const std::function<int32_t(int32_t, int32_t)>& Compare);

// ---------------------------------------------------------------------------------------
// Platform

bool IEIsRemoteSession();

// A window's scroll bar (Bar: SB_HORZ, SB_VERT or SB_CTL) through the flat scroll bar calls
// when Flat, else the plain ones. IESetScrollInfo sets range, page and position in one call;
// IESetScrollRange only the range and IESetScrollPos only the position.
void IESetScrollInfo(win::HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw,
                     bool Flat);
void IESetScrollRange(win::HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat);
void IESetScrollPos(win::HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw, bool Flat);
// Arrows: the ESB_ flags.
void IEEnableScrollBar(win::HWND Wnd, int32_t Bar, int32_t Arrows, bool Flat);
void IEShowScrollBar(win::HWND Wnd, int32_t Bar, bool Show, bool Flat);

// ---------------------------------------------------------------------------------------
// Pixels

// The 256 colour-table entries of an 8-bit bitmap become (i, i, i).
void IESetGrayPalette(cl::TBitmap* Bitmap);
// Every entry i of the bitmap's colour table is (i, i, i) (False without a table).
bool IEIsGrayPalette(cl::TBitmap* Bitmap);
// The colour table of a pf8bit bitmap into the palette of an ie8p Dest.
void IECopyVclPalette(cl::TBitmap* Bitmap, TIEBitmap* Dest);
void IEYCbCrToRGB(TRGB& Color, int32_t Y, int32_t Cb, int32_t Cr);
// Turns the image upright for EXIF orientations 2 to 8; 1 and other values leave it.
// 2 flips left-right, 3 turns it half round, 4 flips upside-down, 5 is the transpose
// (rotate -90 then flip left-right), 6 rotates -90 (clockwise), 7 the transverse (rotate
// +90 then flip left-right), 8 rotates +90. The alpha channel follows.
void IEApplyEXIFOrientation(TIEBitmap* Bitmap, int32_t Orientation);

}  // namespace ie
