// The portable anymap family: bitmaps "P1"/"P4", grey maps "P2"/"P5" and pixel maps
// "P3"/"P6", with 8- and 16-bit samples and "#" comments.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// True when the stream holds a header "P1" .. "P6" with a positive width and height;
// the position is restored.
bool IEIsPXMStream(cl::TStream* Stream);
// Reads one image; comments go to Params.PXMComments. Bad headers, a maxval outside
// 1 .. 65535 and data that ends early set the abort flag; samples above maxval count as
// maxval.
void IEReadPXMStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress);
// Writes "P4", "P5" or "P6" by Params.BitsPerSample / SamplesPerPixel and the pixel format.
void IEWritePXMStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The engine's entry of the format (ioPXM).
void IEPXMRegisterFormat();

}  // namespace ie
