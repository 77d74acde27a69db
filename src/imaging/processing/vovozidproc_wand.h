// The magic wand (the pixels whose colour lies within a tolerance of a seed pixel's: the
// outline of their connected region, that region into a mask, or every such pixel into a
// mask) and the swaps of the first and third channel that the codecs use.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;
class TIEMask;

// The outline of the 4-connected region of pixels matching the seed (X, Y), on pixel edges,
// in bitmap coordinates. Empty (Count 0) when the seed is outside the bitmap or nothing
// matches (negative Tolerance). Any size of region gets its outline: the memory needed is
// a bit per pixel of the image and of the region's box, plus what the outline's length needs.
std::vector<cl::TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool MaxFilter);
// Value into Mask for every pixel of the region (with MaxFilter also its 3 x 3 neighbours,
// limited to the image). Nothing when the seed is outside.
void IEMagicWandFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TIEMask* Mask, int32_t Tolerance,
                     bool MaxFilter);
// Value into Mask for every matching pixel of the image, connected or not. Nothing when the
// seed is outside.
void IEMagicWandGlobal(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TIEMask* Mask, int32_t Tolerance);

// Count x 3 bytes copied, then bytes 0 and 2 of each pixel of Dest exchanged.
void IECopyBGRToRGB(void* Dest, const void* Source, int32_t Count);
// Bytes 0 and 2 of each of Count 3-byte pixels exchanged.
void IESwapRedBlue(void* Buffer, int32_t Count);
// 16-bit words 0 and 2 of each of Count 6-byte pixels exchanged.
void IESwapRedBlue48(void* Buffer, int32_t Count);
// Red and blue of the first Count palette entries exchanged.
void IESwapRedBluePalette(TRGB* Palette, int32_t Count);

}  // namespace ie
