// Wireless bitmaps: type-0 images of one bit per pixel.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Sides above this are refused by the reader and the writer.
constexpr int32_t IEWBMPMaxSide = 65535;

// A multi-byte integer: 7 bits a byte, most significant group first, a set top bit
// announcing another byte. -1 when the stream ends inside it or it has more than 4 bytes.
int64_t IEReadWBMPInteger(cl::TStream* Stream);
// Reads one image: type 0, fixed header 0, width and height (1 .. IEWBMPMaxSide), rows from
// the top, a set bit white. Anything else, and rows missing, set the abort flag.
void IEReadWBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                      TProgressRec& Progress);
// Writes the picture as one bit per pixel at its full size; a side above IEWBMPMaxSide
// and a short write set the abort flag.
void IEWriteWBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, TProgressRec& Progress);

// The engine's entry of the format (ioWBMP).
void IEWBMPRegisterFormat();

}  // namespace ie
