// Black-and-white conversion by a threshold, with the average colour and the grey
// histogram it uses.
#pragma once

#include <cstdint>

#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

// Writes a black-and-white version of Source into Dest, an ie1g bitmap of Source's size:
// a pixel is white when its grey level is at least Threshold. Threshold -1 takes the grey
// level of the image's average colour, -2 the maximum-entropy threshold of its grey
// histogram. An ie1g Source is copied. False (Dest unchanged) when Dest is not an ie1g
// bitmap of Source's size or Source has no pixels.
bool IEThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold);
// The average colour: per row the channel sums divided by the width, summed, divided by
// the height. 16-bit samples count by their high byte.
void IEAverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);
// Pixels per grey level (ie1g: clear bits in 0, set bits in 1).
void IEGrayHistogram(TIEBitmap* Bitmap, int64_t (&Histogram)[256]);

}  // namespace ie
