// Windows icon and cursor files: readers of one image of the directory (with its
// transparency as an alpha mask) and the content probes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// At least 23 bytes, a header of the type (1 icon, 2 cursor) with a non-zero count and
// directory entries that look sound; the position is restored.
bool IEIsICOStream(cl::TStream* Stream);
bool IEIsCURStream(cl::TStream* Stream);

// Read image Params.ICOImageIndex or Params.CURImageIndex of the directory (a size byte of
// 0 is 256 pixels); icons also list the sizes and bit counts of their first 16 images in
// Params.ICOSizes and Params.ICOBitCount, each at its index. Images stored as PNG go to the
// PNG reader, a stream that is a BMP file (icons) to the BMP reader. Unless IgnoreAlpha the
// transparency comes back in AlphaMask (icons: reset when fully opaque). An index outside
// the directory reads nothing and sets no flag. A bit count that cannot be found, entries
// pointing outside the stream and data that ends early set the abort flag; a bit count
// other than 1, 4, 8, 24 and 32 raises cl::Exception "Unsupported pixel format".
void IEReadICOStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);
void IEReadCURStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);

// An icon of one image per entry of Sizes (width, height: 1 .. 256) and BitCounts (0 takes
// Params.SamplesPerPixel and Params.BitsPerSample; 1, 4, 8 and 32, any other value 24 bits).
// The source is resized for each image and converted to the image's kind: black and white
// for 1 bit, quantized with palette entry 0 kept for transparent pixels for 4 and 8 bits.
// Every image ends with its transparency mask (set where the alpha is below 255). No sizes,
// a size out of range or a short write set the abort flag.
void IEWriteICOStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                      const std::vector<std::array<int32_t, 2>>& Sizes, const std::vector<int32_t>& BitCounts);

// The engine's entries of the two formats (ioICO, ioCUR): readers, the icon writer, probes.
void IEICORegisterFormat();

}  // namespace ie
