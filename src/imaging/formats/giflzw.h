// The variable-length LZW coder of GIF image data: a minimum code size byte, codes packed
// least significant bit first with clear and end-of-information codes, widths growing to
// 12 bits, the data in sub-blocks of at most 255 bytes ended by a zero-length block.
//
// The GIF codec reaches these routines only through the parameters' coder pointers
// (TIOParamsVals::GIFLZWDecompress, GIFLZWCompress) or the library-wide defaults that the
// input/output start-up binds, so an application can put its own coder in their place.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"

namespace ie {

// Reads the code stream at the stream's position (the minimum code size byte) and fills
// Buffer, Width x Height bytes, with colour indexes: rows from the top, the interlaced row
// order undone. On success the stream stands after the zero-length block. A failure the
// GIF codec must see restores the stream position to where the call began: a minimum code
// size outside 2..9, a code above the next free one, an end code right after a clear code
// while data remains. Data that runs out early ends the decoding and leaves the rest of
// Buffer as it was. Height and Width are at least 1.
void IEGIFLZWDecompress(cl::TStream* Stream, int32_t Height, int32_t Width, uint8_t* Buffer, bool Interlaced);

// Writes the minimum code size byte (Bits, at least 2 and at most 8), the sub-blocks and
// the zero-length block for the Width x Height indexes of Buffer, taking the rows in
// interlaced order when asked. Indexes are taken modulo 2^code size.
void IEGIFLZWCompress(cl::TStream* Stream, int32_t Height, int32_t Width, int32_t Bits, const uint8_t* Buffer,
                      bool Interlaced);

}  // namespace ie
