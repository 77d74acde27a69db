// Colour reduction and black-and-white conversion: the threshold conversion with the
// average colour and the grey histogram it uses, the ordered dither, the palette
// reduction of a 24-bit picture, and the two-colour test of the palette writers.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

// Writes a black-and-white version of Source into Dest, an ie1g bitmap of Source's size:
// a pixel is white when its grey level is at least Threshold. Threshold -1 takes the grey
// level of the image's average colour, -2 the maximum-entropy threshold of its grey
// histogram. An ie1g Source is copied. False (Dest unchanged) when Dest is not an ie1g
// bitmap of Source's size or Source has no pixels.
bool IEThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold,
                     const TIEProgressEvent& OnProgress = nullptr, cl::TObject* Sender = nullptr);
// The average colour: per row the channel sums divided by the width, summed, divided by
// the height. 16-bit samples count by their high byte.
void IEAverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);
// Pixels per grey level (ie1g: clear bits in 0, set bits in 1).
void IEGrayHistogram(TIEBitmap* Bitmap, int64_t (&Histogram)[256]);

// An ie24RGB bitmap becomes ie1g in place: white where its grey level (64 for a pixel
// whose three channels are above 250, else grey shr 2) exceeds the 8 x 8 ordered-dither
// matrix. Other formats are left alone (False).
bool IEConvertToBWOrdered(TIEBitmap* Bitmap, const TIEProgressEvent& OnProgress = nullptr,
                          cl::TObject* Sender = nullptr);
// An ie24RGB bitmap becomes ie1g in place through IEThresholdToBW.
bool IEConvertToBWThreshold(TIEBitmap* Bitmap, int32_t Threshold, const TIEProgressEvent& OnProgress = nullptr,
                            cl::TObject* Sender = nullptr);
// Every pixel of an ie24RGB bitmap replaced by its entry of a palette of ColorCount colours
// chosen by TIEQuantizer. Palette (room for ColorCount entries) receives the colours; nil
// uses a buffer of its own.
bool IEQuantize24(TIEBitmap* Bitmap, int32_t ColorCount, TRGB* Palette, const TIEProgressEvent& OnProgress = nullptr,
                  cl::TObject* Sender = nullptr);
// A picture of exactly two colours as a 1-bit bitmap: Color0 the darker (clear bits),
// Color1 the other (set bits). Nil for one colour or more than two.
std::unique_ptr<TIEBitmap> IETwoColorsTo1Bit(TIEBitmap* Bitmap, TRGB& Color0, TRGB& Color1);

// The 8 x 8 ordered-dither matrix, indexed [x mod 8][y mod 8].
extern const uint8_t IEDitherMatrix[8][8];

}  // namespace ie
