// The loader of packed device-independent bitmaps (a BITMAPINFOHEADER, its colour table or
// bit-field masks, and the rows) and of the video YUV frame layouts named by a FourCC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/hyiedefs.h"
#include "platform/kernel.h"

namespace ie {

class TIEBitmap;

// The most pixels a run-length picture may ask for (uncompressed rows and YUV frames are
// bounded by their data), and the most a picture that is left black may have (a
// compression that nothing here decodes).
constexpr int64_t IEDIBMaxPixels = int64_t{1} << 24;
constexpr int64_t IEDIBMaxBlankPixels = int64_t{1} << 20;

// Reads the packed DIB of Size bytes at DIB into Bitmap: 1-bit images as ie1g, everything
// else as ie24RGB. Bits (BitsSize bytes), when given, holds the pixel data instead (and, for
// 16-bit bit fields, the masks in front of them); the YUV layouts read only from it.
// Returns biBitCount; 0, with Bitmap untouched, for no data, a header, colour table, mask,
// rows or YUV samples that do not fit in their block, or a size beyond the limits below.
// Compressions it does not convert leave Bitmap allocated and black.
int32_t IEDIBToBitmap(const void* DIB, size_t Size, TIEBitmap* Bitmap, const void* Bits = nullptr, size_t BitsSize = 0);
// The same over a global memory handle (its size is the block's), locked for the call.
int32_t IEDIBToBitmap(win::HGLOBAL DIB, TIEBitmap* Bitmap, const void* Bits = nullptr, size_t BitsSize = 0);

// One YUV sample triple to blue, green, red (Out[0], Out[1], Out[2]).
void IEYUVToBGR(int32_t Y, int32_t U, int32_t V, uint8_t* Out);

// The layout converters: Data holds Size bytes of samples; Bitmap is an allocated ie24RGB
// bitmap; with TopDown the first source row is the top one. False (nothing written) when
// the data are shorter than the layout needs for the bitmap's size.
bool IEConvertIYU1(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertIYU2(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertUYVY(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYUY2(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYVYU(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertY41P(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertY211(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertCLJR(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYVU9(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYV12(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertI420(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);

}  // namespace ie
