// The lossless JPEG process (Huffman-coded differences from a predictor, one scan, SOF3), as
// medical images carry it: 2 to 8-bit samples with one or three interleaved components, and
// 9 to 16-bit samples with one component.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Reads Size bytes from the stream's position and decodes them into Out8 (precision up to 8
// bits) or Out16 (above 8 bits): Width x Height x Components samples, lines from the top,
// components interleaved, no gaps. The frame must have exactly that size and component
// count; the output buffer that its precision needs must be given (the other may be null).
// Progress (may be null) receives the percentage of lines decoded. False, with the
// output partly written or untouched, for anything else: not a lossless frame, damaged or
// short data, a size or layout that does not match.
bool IEDecodeLosslessJPEG(cl::TStream* Stream, uint16_t* Out16, uint8_t* Out8, const TProgressRec* Progress,
                          int64_t Size, int32_t Width, int32_t Height, int32_t Components);

}  // namespace ie
