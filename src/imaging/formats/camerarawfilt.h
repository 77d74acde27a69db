// Camera raw files (ioRAW, read only) over LibRaw: identification, decoding through its
// colour scaling, demosaicing and conversion to RGB, then our own output stage (white point
// from the brightness histogram, gamma curve, 8 or 16-bit layout, 45-degree sensors turned
// upright), the metadata of TIFF-structured raws and of CIFF heaps, and the embedded
// preview options.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// True when the raw decoder recognises a camera in the stream (from its beginning). The
// position is restored.
bool IEIsCameraRAWStream(cl::TStream* Stream);

// Reads the camera raw file of the stream (from its beginning). PreviewOnly fills the
// parameters only. A stream the decoder does not recognise or cannot decode sets the abort
// flag; nothing is raised.
void IEReadCameraRAWStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                           TProgressRec& Progress);

// The metadata of a CIFF file (from the stream's beginning): description, make and model,
// firmware, image size, two maker-note entries and the smallest JPEG preview as the EXIF
// thumbnail. A file that is neither "II"/"MM" nor "HEAPCCDR" gives nothing. Nested heaps
// are followed only when they lie strictly inside their parent, at most 16 deep.
void IEReadCIFFInfo(cl::TStream* Stream, TIOParamsVals& Params);

// Turn the 45-degree image of a rotated sensor upright (ie24RGB and ieRGB48 bitmaps).
void IEFujiUnrotate24(TIEBitmap* Bitmap);
void IEFujiUnrotate48(TIEBitmap* Bitmap);

// The output stage, exposed for its tests.
// The brightness index of a linear 16-bit RGB pixel: half its Euclidean length, truncated
// (at most 56,754, so it fits the 65,536-entry curve and the 8,192 bins of 8 values).
int32_t IERawBrightnessIndex(uint16_t R, uint16_t G, uint16_t B);
// The white point of an 8,192-bin histogram of brightness indexes shifted right by 3:
// counting down from the top bin, the bin at which the running total first exceeds
// Percentile, minus 1, times 16; 1.0 when that gives 0 or less.
double IERawWhitePoint(const int64_t* Histogram, int64_t Percentile);

// The engine's entry of the format (ioRAW).
void IERAWRegisterFormat();

}  // namespace ie
