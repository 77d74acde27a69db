// Headerless pixel data read into a bitmap whose size and pixel format the caller set.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Reads the pixels of Bitmap (already allocated; neither resized nor its palette touched)
// from the stream: Params.BMPRAWHeaderSize bytes skipped from the position at the call,
// rows aligned to Params.BMPRAWRowAlign bits (8 or more), interleaved or planar
// (BMPRAWPlanes), red-green-blue or blue-green-red (BMPRAWChannelOrder), binary samples or
// decimal / hexadecimal text (BMPRAWDataFormat; 1-bit text packs the low bit of each
// number). Unknown settings, a pixel format without a raw layout and data that ends early
// set the abort flag; hexadecimal text into an ie32f bitmap raises "Format unsupported".
void IEReadRawBitmapStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The engine's entry of the format (ioBMPRAW).
void IEBMPRAWRegisterFormat();

}  // namespace ie
