// Bitmap utilities of the processing unit: copying and expanding class-library bitmaps,
// packed DIBs in global memory, inverting, mirroring and comparing bitmaps, converting one
// scanline between bit depths, matching colour histograms and reordering channels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"
#include "platform/kernel.h"

namespace ie {

class TIEBitmap;
class TIEDibbitmap;
class TIEQuantizer;

// Entry b: the eight 3-byte pixels of the byte b, pixel j white (255) when bit 7 - j is set.
extern uint8_t IE1BitExpansion[256][24];
void IEBuild1BitExpansion();

// A new TBitmap with Bitmap's size, pixel format and pixels (the caller frees it).
cl::TBitmap* IECloneTBitmap(cl::TBitmap* Bitmap);
// Dest takes Source's size, pixel format and pixels (1 x 1 for an empty Source).
void IECopyTBitmap(cl::TBitmap* Source, cl::TBitmap* Dest);
// Dest becomes a 24-bit copy of a 1-bit Source: set bits white, clear bits black.
void IE1BitTBitmapTo24Bit(cl::TBitmap* Source, cl::TBitmap* Dest, const TIEProgressEvent& OnProgress = nullptr,
                          cl::TObject* Sender = nullptr);

// The region X1..X2-1 x Y1..Y2-1 (X2 or Y2 0: the width or height) as a packed DIB in
// movable global memory: 40-byte header, colour table, rows bottom-up with zeroed padding.
// Formats other than ie1g, ie8p, ie8g and ie24RGB are converted to 24 bits first. 0 for an
// empty or out-of-range region or when the memory cannot be had.
win::HGLOBAL _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                                int32_t DpiY);

// Draws the packed DIB of Size bytes (its pixels from Bits when given) 1:1 into Dest,
// allocated 1-bit for a 1-bit DIB and 24-bit otherwise. Returns the DIB's bit count; 0, with
// Dest untouched, when the DIB is refused (see IEDIBToBitmap).
int32_t IEDrawDIBToDibBitmap(const void* DIB, size_t Size, TIEDibbitmap* Dest, const void* Bits = nullptr,
                             size_t BitsSize = 0);
int32_t IEDrawDIBToDibBitmap(win::HGLOBAL DIB, TIEDibbitmap* Dest, const void* Bits = nullptr, size_t BitsSize = 0);

// Direction 0 mirrors left to right, 1 upside down (the alpha channel with it).
void IEFlipBitmap(TIEBitmap* Bitmap, int32_t Direction);
// Same size, format, alpha channel presence, pixels and alpha values.
bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B);
// One scanline from SourceBits to DestBits per pixel (24->4, 24->8, 24->24, 32->24, 8->1,
// 8->8, 8->24, 1->1, 1->4, 1->8, 1->24; others write nothing). Rows that OR pixels in
// expect a destination cleared by the caller.
void IEConvertScanline(const void* Source, void* Dest, uint16_t SourceBits, const TIEQuantizer* Quantizer,
                       int32_t PaletteCount, const TRGB* Palette, uint16_t Width, uint16_t DestBits);
// Matches the blue, green and red histograms of Bitmap to Reference's (ie24RGB reference).
void IEMatchHistogram(TIEBitmap* Reference, TIEBitmap* Bitmap);
// Matches one channel (0 blue, 1 green, 2 red) of an ie24RGB or ieRGB48 bitmap to a
// reference histogram of RefCount pixels.
void IEMatchChannel(TIEBitmap* Bitmap, int32_t Channel, const int32_t (&RefHistogram)[256], int64_t RefCount);
// Order names for the blue, green and red channels their source: 'B', 'G', 'R' or '0'.
void IEReorderChannels(TIEBitmap* Bitmap, const std::string& Order, const TIEProgressEvent& OnProgress = nullptr,
                       cl::TObject* Sender = nullptr);

}  // namespace ie
