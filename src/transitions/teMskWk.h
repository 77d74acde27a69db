// The mask worker: the pixel loops of the mask-driven effects. Copying the new picture into
// a frame through a 1-bit mask (bit 0 takes the new pixel, 1 keeps), blending old and new
// pictures through an 8-bit smooth mask (255 keeps the old picture, 0 shows the new one),
// copying where an 8-bit mask lies in a range of values, ageing an 8-bit mask from frame to
// frame, and the planning of the treated area that all of them share: the area to treat
// (Outer) minus an area inside it that needs nothing (Inner), as one, two or four runs.
//
// Bitmaps are the class library's bottom-up DIBs. All images handed to one call share the
// width in pixels; an 8-bit mask has one byte per pixel and a 1-bit mask one bit per pixel.
// Every loop is clamped to the rows and columns that all its bitmaps hold.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Graphics.h"
#include "platform/windef.h"
#include "transitions/tePixelRows.h"

namespace te {

// A new 256-entry palette whose entry i is (i, i, i); the caller frees it.
win::HPALETTE CreateGrayPalette();

// ---- area plans ------------------------------------------------------------------------------

// Mode 1: one run over whole rows; mode 2: one run over Outer; mode 3: four runs around
// Inner. Outer is widened to multiples of Align (left down, right up), Inner narrowed (left
// up, right down); with InBits the widths compared are in bytes of a 1-bit mask. Percent is
// the share of the row (mode 1) or of Outer (mode 2) that may be treated needlessly.
int PlanMaskArea(int RowWidth, int Percent, int Align, bool InBits, win::RECT& Inner, win::RECT& Outer);

// One run of a plan. Start: bytes below the end of the pixel memory (the end of the top
// row) to the run's first pixel, the left pixel of its lowest row in memory (its bottom
// row); RowWidth: pixels per row part; Skip: pixels from the end of one row part to the start
// of the next; RowSkip: the same in bytes; Count: pixels walked, rows x (RowWidth + Skip), 0
// when the run is empty. Rect: the run's pixels as a rectangle (empty when Count is 0).
struct TTEMaskRun {
    int Start = 0;
    int RowWidth = 0;
    int Skip = 0;
    int RowSkip = 0;
    int Count = 0;
    win::RECT Rect{0, 0, 0, 0};
};

struct TTEMaskRuns {
    int Count = 0;  // 1 (modes 1 and 2) or 4 (mode 3)
    TTEMaskRun Runs[4];
};

// The runs of a plan for rows of RowBytes bytes in PixelFormat. Inner is clamped into Outer
// so that the runs of mode 3 cover exactly Outer minus Inner.
void GetMaskAreaRuns(int Mode, TTEMaskRuns& Runs, int RowBytes, cl::TPixelFormat PixelFormat, const win::RECT& Inner,
                     const win::RECT& Outer);

// Plans Outer minus Inner over a bitmap of RowPixels x Height and gives the runs' rectangles,
// clamped to the bitmap. Returns the number of rectangles written (at most 4).
int PlanMaskRects(int RowPixels, int Height, int Align, bool InBits, win::RECT Inner, win::RECT Outer,
                  win::RECT (&Rects)[4]);

// The union of Count rectangles as disjoint rectangles (row bands of maximal column spans),
// for loops that may treat a pixel once however many of the rectangles hold it. Empty
// rectangles are left out.
void DisjointRects(const win::RECT* Rects, int Count, std::vector<win::RECT>& Out);

// ---- 1-bit masks -----------------------------------------------------------------------------

// Copies Src's pixels whose mask bit is 0 into Dest (plan aligned to 8 pixels). pf4bit,
// pf8bit, pf15bit, pf16bit, pf24bit and pf32bit; other formats copy nothing.
void CopyThroughBitMask(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, const win::RECT& Inner,
                        const win::RECT& Outer, cl::TPixelFormat PixelFormat);
// Per 32-bit word of the plan (aligned to 32 pixels): Accum := Mask and Accum; Mask := Mask or
// not (Accum before). Mask then marks only the pixels no earlier frame marked.
void MergeBitMasks(cl::TBitmap* Mask, cl::TBitmap* Accum, const win::RECT& Inner, const win::RECT& Outer);
// Inverts Count 32-bit words.
void InvertBitMask(uint32_t* Words, int Count);
// Inverts every bit of a bitmap's pixel memory.
void InvertBitMaskBitmap(cl::TBitmap* Mask);

// ---- blend routines ----------------------------------------------------------------------------

// A blend routine made for a run: the smooth blend, or the bitmap-mask blend with its band
// and direction. Made once per run and released at its end.
struct TTEMaskRoutine {
    enum Kind : uint8_t { None, SmoothBlend, BmpMaskBlend };
    Kind kind = None;
    int Band = 0;
    bool Additive = false;
    bool Valid() const { return kind != None; }
};

TTEMaskRoutine CreateSmoothBlendRoutine();
// Band 8, 16, 32, 64 or 128 (another band gives no routine).
TTEMaskRoutine CreateBmpMaskRoutine(int Band, bool Additive);
void ReleaseMaskRoutine(TTEMaskRoutine& Routine);

// Smooth blend over the plan (aligned to 8 pixels) of pf32bit images and a pf8bit mask: for
// mask value m the weight is W = m + 1 (0 for m = 0) and each byte becomes
// New + floor((Old - New) * W / 256); mask value 255 leaves Dest as it is.
void RunSmoothBlend(const TTEMaskRoutine& Routine, cl::TBitmap* Dest, cl::TBitmap* NewImage, const win::RECT& Inner,
                    const win::RECT& Outer, cl::TBitmap* Mask, cl::TBitmap* OldImage);
// Bitmap-mask blend: c := m - Level saturated at 0 (Additive: m + Level saturated at 255),
// c := min(c, Band), W := c * 256 / Band, each byte Zero + floor((Full - Zero) * W / 256).
// A negative Level selects ReverseRoutine with the level's absolute value.
void RunBmpMaskBlend(const TTEMaskRoutine& Routine, const TTEMaskRoutine& ReverseRoutine, cl::TBitmap* Dest,
                     const win::RECT& Inner, const win::RECT& Outer, int Level, cl::TBitmap* Mask,
                     cl::TBitmap* ZeroImage, cl::TBitmap* FullImage);

// The per-pixel weights of the two routines (exposed for tests).
int SmoothBlendWeight(int m);
int BmpMaskWeight(int m, int Level, int Band, bool Additive);

// ---- 8-bit masks ---------------------------------------------------------------------------------

// Over the last Count pixels of the pixel memory (the top rows; the whole picture when Count
// is row pixels x height), copies Src's pixel into Dest where Min <= mask value <= Max.
// pf4bit: each nibble by its own mask byte; pf8bit, pf15bit, pf16bit, pf24bit, pf32bit.
void CopyByMaskRange(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, cl::TPixelFormat PixelFormat, int Min,
                     int Max, int Count);
void CopyByMaskRange32(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Mask, int Min, int Max, int Count);

// Over the plan (aligned to 8 pixels): every value other than 255 becomes 0 (ZeroAll) or
// max(value - Amount, 0).
void AgeSmoothMask(cl::TBitmap* Mask, const win::RECT& Inner, const win::RECT& Outer, bool ZeroAll, int Amount);
// Where Src is not 255, Dest := 0 (ZeroAll) or max(Src - Amount, 0); elsewhere Dest stays.
void AgeSmoothMaskFrom(cl::TBitmap* Dest, cl::TBitmap* Src, const win::RECT& Inner, const win::RECT& Outer,
                       bool ZeroAll, int Amount);

// ---- row forms ----------------------------------------------------------------------------------

// The pixel loops of the routines above over one row part (Count pixels; 32-bit images, an
// 8-bit mask). Each has a portable form (_Pas); where the compiler targets SSE2 there is also
// an SSE2 form (_SSE2) giving the same bytes, and the routines use it.
void SmoothBlendRow_Pas(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, const uint8_t* Mask, int Count);
void BmpMaskBlendRow_Pas(uint8_t* Dest, const uint8_t* ZeroPix, const uint8_t* FullPix, const uint8_t* Mask, int Count,
                         int Level, int Band, bool Additive);
// Ageing in place is ageing from the mask itself (each byte is read before it is written).
void AgeMaskRow_Pas(uint8_t* Mask, int Count, bool ZeroAll, int Amount);
void AgeMaskRowFrom_Pas(uint8_t* Dest, const uint8_t* Src, int Count, bool ZeroAll, int Amount);
// Copies the pixels whose mask byte lies in Min..Max: any whole-byte pixel size, 32-bit
// pixels, and 4-bit pixels (two per byte, the high nibble first; Count even).
void CopyByMaskRangeRow_Pas(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int BytesPerPixel,
                            int Min, int Max);
void CopyByMaskRangeRow32_Pas(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int Min, int Max);
void CopyByMaskRangeRow4_Pas(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int Min, int Max);

#if defined(TE_HAS_SSE2_FORMS)
void SmoothBlendRow_SSE2(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, const uint8_t* Mask, int Count);
void BmpMaskBlendRow_SSE2(uint8_t* Dest, const uint8_t* ZeroPix, const uint8_t* FullPix, const uint8_t* Mask, int Count,
                          int Level, int Band, bool Additive);
void AgeMaskRow_SSE2(uint8_t* Mask, int Count, bool ZeroAll, int Amount);
void AgeMaskRowFrom_SSE2(uint8_t* Dest, const uint8_t* Src, int Count, bool ZeroAll, int Amount);
void CopyByMaskRangeRow32_SSE2(uint8_t* Dest, const uint8_t* Src, const uint8_t* Mask, int Count, int Min, int Max);
#endif

// The forms the routines use.
inline constexpr auto SmoothBlendRow = TE_ROW_FORM(SmoothBlendRow);
inline constexpr auto BmpMaskBlendRow = TE_ROW_FORM(BmpMaskBlendRow);
inline constexpr auto AgeMaskRow = TE_ROW_FORM(AgeMaskRow);
inline constexpr auto AgeMaskRowFrom = TE_ROW_FORM(AgeMaskRowFrom);
inline constexpr auto CopyByMaskRangeRow32 = TE_ROW_FORM(CopyByMaskRangeRow32);

// Bytes per pixel of a pixel format as a fraction: bits per pixel (0 for other formats).
int MaskWorkerBitsPerPixel(cl::TPixelFormat PixelFormat);

}  // namespace te
