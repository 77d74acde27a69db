// Targa files: reader, writer and probe, with the extension area and footer of version 2.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// True when the 18-byte header at the stream's position (which is restored) has a known
// image type and depth, a colour-map type below 2 and a size that is not 0.
bool IEIsTGAStream(cl::TStream* Stream);

// Reads the image that starts at the stream's position. Unless NoMask, the alpha of a
// 32-bit file (or of 32-bit colour-map entries) comes back in AlphaMask (created when
// null; reset when every value is 0). PreviewOnly fills the parameters only. Bad headers,
// short data and sizes the data cannot fill set the abort flag; nothing is raised.
void IEReadTGAStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool NoMask,
                     std::unique_ptr<TIEMask>& AlphaMask, bool PreviewOnly, TProgressRec& Progress);

// Writes one file; the depth comes from Params.SamplesPerPixel and BitsPerSample (1, 4 or 8
// bits with one sample, else 24, or 32 when AlphaMask, an 8-bit mask of the bitmap's size,
// is given). Pixel formats other than ie24RGB and ie1g are written through a 24-bit copy.
// Sizes beyond the format's 16-bit fields and short writes set the abort flag.
void IEWriteTGAStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEMask* AlphaMask,
                      TProgressRec& Progress);

// The engine's entry of the format (ioTGA).
void IETGARegisterFormat();

}  // namespace ie
