// The blend worker: mixes two pictures of equal size and pixel format into a third at a
// level, over the raw pixel memory of the three bitmaps taken as one run of 32-bit words.
// Large 24- and 32-bit pictures take the MMX path when the processor has MMX; everything
// else takes the split-field path whose multiplier is reduced to an odd factor and a shift.
// The two paths differ by one step for levels above 128. With a pattern bitmap the new
// picture is copied through an 8 x 8 dither pattern instead.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/tePixelRows.h"

namespace te {

// The 8 x 8 dither order of the fuse pattern: (x, y) of pattern pixels 1 to 64.
struct TFusePatternCell {
    uint8_t x, y;
};
extern const TFusePatternCell FusePatternOrder[64];

// Dest := OldBmp weighted 256 - Level mixed with NewBmp weighted Level, over Dest's height.
// Level 1..254 for pf24bit and pf32bit, 1..31 for pf15bit and pf16bit (multiplied by 8).
// EqualPercent (0..100) of 10 or more leaves words that are equal in both pictures
// unwritten on the split-field path. With a Pattern the pattern path is taken: pattern
// pixels 1..Level of the dither order turn black and NewBmp is copied onto Dest where the
// pattern is black. The pixel memory used is clamped to what all three bitmaps hold; a level
// outside the range gives the old picture (below 1) or the new one (above the range).
void BlendBitmaps(cl::TBitmap* Dest, cl::TBitmap* NewBmp, cl::TBitmap* OldBmp, cl::TBitmap* Pattern,
                  cl::TPixelFormat PixelFormat, int Level, int EqualPercent);

// Sets pixel N (1..64) of the dither order to black on Bitmap's canvas; other N do nothing.
void SetFusePatternPixel(cl::TBitmap* Bitmap, int N);

// The two per-call paths over raw memory (Size bytes, a multiple of 4; a remainder is left
// alone). Exposed for the tests and the benchmark. Large runs are split over the worker
// threads; the bytes do not depend on the split.
// MMX path: per byte B + floor((A - B) * Level / 256), all bytes including the fourth.
void BlendRunMMX(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level);
// Split-field path with the level swap of levels above 128; Level is the caller's level
// (multiplied by 8 here for the 15- and 16-bit formats).
void BlendRunFields(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                    int EqualPercent, cl::TPixelFormat PixelFormat);

// The forms of the two paths on one thread: portable, and SSE2 where the compiler targets it
// (the same bytes).
void BlendRunMMX_Pas(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level);
void BlendRunFields_Pas(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                        int EqualPercent, cl::TPixelFormat PixelFormat);
#if defined(TE_HAS_SSE2_FORMS)
void BlendRunMMX_SSE2(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Size, int Level);
void BlendRunFields_SSE2(uint8_t* Dest, const uint8_t* NewPix, const uint8_t* OldPix, size_t Size, int Level,
                         int EqualPercent, cl::TPixelFormat PixelFormat);
#endif

// Copies Src onto Dest over (0, 0, Width, Height) where the 8 x 8 monochrome Pattern, tiled
// from Dest's origin as Dest's brush, is black; Dest keeps its pixels where it is white. For
// 24- and 32-bit pictures on a plain canvas the pixels are combined directly, giving what
// the blit gives; otherwise CopyThroughPatternBlit runs.
void CopyThroughPattern(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Pattern, int Width, int Height);
// The same through the canvas: the pattern as Dest's brush and a blit with the raster
// operation below.
void CopyThroughPatternBlit(cl::TBitmap* Dest, cl::TBitmap* Src, cl::TBitmap* Pattern, int Width, int Height);

// The raster operation of the pattern path: source where the brush pattern is black (0),
// destination where it is white (1).
constexpr uint32_t ROP_PatternSelectsDest = 0xAC0744;

}  // namespace te
