// Tables of the pixel-format conversion of TIEBitmap (its operations are declared with the
// class in hyieutils_bitmap.h).
#pragma once

#include <cstdint>

#include "imaging/core/hyiedefs.h"

namespace ie {

// The 8 x 8 ordered-dither matrix, values 0..63, indexed [x mod 8][y mod 8] with x the
// column and y the row. A pixel becomes white where the value is below its level (0..63).
extern const uint8_t IEBayerMatrix[8][8];

// Whether CopyAndConvertFormat turns a source of format Source into ie24RGB (in place)
// before converting it to Dest, for a target with that MonoConversion.
bool IEConvertsVia24(TIEPixelFormat Source, TIEPixelFormat Dest, uint8_t MonoConversion);

}  // namespace ie
