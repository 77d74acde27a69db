// Windows and OS/2 device-independent bitmap files: reader, writer, the four run-length
// decoders and the two run-length encoders.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Reads one bitmap from the stream's position. DataSize: bytes the bitmap occupies from
// there (0 or less: the file header's size); it bounds the run-length data, which is also
// limited to the bytes the stream holds. NoFileHeader (or Params.IsResource): the stream
// starts at the info header. PreviewOnly: parameters and palette only. Unless IgnoreAlpha,
// a 32-bit file's fourth bytes come back in AlphaMask (created when null; reset when every
// value is 0 or 255). Every failure sets the abort flag; nothing is raised.
void IEReadBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, int64_t DataSize, TIOParamsVals& Params,
                     TProgressRec& Progress, bool PreviewOnly, bool NoFileHeader, std::unique_ptr<TIEMask>& AlphaMask,
                     bool IgnoreAlpha);

// Writes one complete file at the stream's position and leaves the position at its end.
// The depth comes from Params.BitsPerSample / SamplesPerPixel (and the alpha channel); a
// short write sets the abort flag and leaves placeholder headers.
void IEWriteBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                      bool HandleTransparency);

// Run-length decoders over Data (DataLength bytes). TopRow: 0 for bottom-up files, height
// - 1 for top-down ones. The Rgb variants write 24-bit colours from Palette (256 entries),
// the Index variants one index per byte into an ie8p bitmap.
void IEDecodeRLE4Rgb(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow, TProgressRec& Progress,
                     const TRGB* Palette);
void IEDecodeRLE8Rgb(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow, TProgressRec& Progress,
                     const TRGB* Palette);
void IEDecodeRLE4Index(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow,
                       TProgressRec& Progress);
void IEDecodeRLE8Index(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow,
                       TProgressRec& Progress);

// Encode one row of Count indexes (one per byte) with its end-of-line escape into Output
// (at least 10 bytes per pixel, and 2); return the bytes produced.
int32_t IEEncodeRLE4(const uint8_t* Indexes, int32_t Count, uint8_t* Output);
int32_t IEEncodeRLE8(const uint8_t* Indexes, int32_t Count, uint8_t* Output);

// The engine's entry of the format (ioBMP).
void IEBMPRegisterFormat();

}  // namespace ie
