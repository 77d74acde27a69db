// Portable Network Graphics files through the system libpng: reader, writer and probe.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// True when the stream holds the PNG signature at its position, which is restored.
bool IEIsPNGStream(cl::TStream* Stream);
// Reads one image from the stream's position. Library errors, short data and sizes the
// data cannot fill set the abort flag; nothing is raised.
void IEReadPNGStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                     bool PreviewOnly);
// Writes one image; AlphaMask (may be null) becomes the transparency unless it is full.
// A library error raises cl::EInvalidGraphic "Error on creating PNG"; a short write sets
// the abort flag.
void IEWritePNGStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                      TIEMask* AlphaMask);

// The engine's entry of the format (ioPNG).
void IEPNGRegisterFormat();

}  // namespace ie
