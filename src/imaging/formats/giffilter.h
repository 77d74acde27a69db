// GIF files: the reader of one frame and the writer of a one-frame file. The pixel data
// goes through the LZW coder that the parameters name (TIOParamsVals::GIFLZWDecompress,
// GIFLZWCompress), else through the library-wide default coder.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Reads frame Params.GIFImageIndex (from 0, not composed with the frames before it) from
// the stream's position to its end, and fills the GIF parameters of that frame: logical
// screen, position, delay, disposal, transparency and its colour, interlace, background,
// palette; the comments of every frame are collected. ImageCount receives the number of
// frames. Unless NoMask, the pixels of the transparent index come back as 0 in AlphaMask
// (created when null; reset to null when no pixel is transparent). PreviewOnly fills the
// parameters only. A frame index at or past the number of frames leaves the bitmap as it
// was without the abort flag. Bad data sets the abort flag.
void IEReadGIFStream(cl::TStream* Stream, TIEBitmap* Bitmap, int32_t& ImageCount, bool NoMask,
                     std::unique_ptr<TIEMask>& AlphaMask, bool PreviewOnly, TProgressRec& Progress,
                     TIOParamsVals& Params);

// Writes a complete one-frame GIF of Params.BitsPerSample (1..8) bits at the stream's
// position: palette from the quantizer, an alpha channel as the transparent index, the
// graphic control, image and comment blocks from the parameters. Short writes, a missing
// compressor and pictures that cannot be converted set the abort flag.
void IEWriteGIFStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The engine's entry of the format (ioGIF), the default LZW coders, and the loader that
// composes animation frames.
void IEGIFRegisterFormat();

}  // namespace ie
