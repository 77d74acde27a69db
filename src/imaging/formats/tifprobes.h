// Content tests on TIFF-structured streams and the copy of the EXIF-related tags of the
// parameters into a TIFF-structured file another coder has written.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/io/vovozidio_params.h"

namespace ie {

// A TIFF file at the stream's position (either byte order, a first directory with width and
// height); the position is restored.
bool IEIsTIFFStream(cl::TStream* Stream);
// A TIFF-structured camera raw file: a DNG version tag, a colour-filter-array or linear-raw
// photometric interpretation, or sub-images with a standard-ID tag beside a main image smaller
// than 200 x 200. The position is restored.
bool IEIsTIFFCameraRaw(cl::TStream* Stream);

// A little-endian TIFF-structured stream whose first directory holds the HD Photo tags
// 48256, 48257, 48129, 48320 and 48321 (offsets count from the stream's position, which
// is restored).
bool IEIsHDPhotoStream(cl::TStream* Stream);

// Copies the EXIF-related tags (maker, model, date, orientation, resolution, software,
// artist, colour description, copyright, rating, the Windows text tags and the EXIF and
// GPS directories) built from Params into page PageIndex of the target, and writes the
// target back whole: the target is read from TargetStream's position to its end (else
// from the file TargetFileName); the result goes to OutputStream (when it is the target
// stream: at the position the target began, the stream cut behind it), else to the file
// OutputFileName. Params without EXIF data to build leave the target untouched. True when
// the result was written or nothing had to be copied.
bool IECopyEXIFTagsToTIFF(cl::TStream* TargetStream, cl::TStream* OutputStream, const cl::String& TargetFileName,
                          TIOParamsVals& Params, int32_t PageIndex, const cl::String& OutputFileName);

}  // namespace ie
