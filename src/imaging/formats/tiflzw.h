// The LZW coder of TIFF compression 5: codes of 9 to 12 bits, most significant bit first,
// Clear 256, end of information 257, first free code 258, the code width raised one code
// early. The input/output start-up makes these the library's default TIFF LZW coders.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"

namespace ie {

// Decodes a strip row by row. The first call (State null) creates the state over the
// DataBytes bytes at Data, which must stay valid until the state is freed, with RowLength
// and FillOrder (1: bits from the most significant down, 2: from the least significant up);
// later calls ignore those three. Result: the next RowLength decoded bytes, or null on an
// error (a first code after Clear that is not defined yet, a code string that cannot be
// made, a full string table). A row the data ends inside (an end code, a code beyond the
// next free code, or no whole code left in the DataBytes bytes) is completed with zeros.
// A call with Data null frees an existing state and returns null.
uint8_t* IETIFFLZWDecompress(uint8_t* Data, int32_t DataBytes, int32_t RowLength, void*& State, int32_t FillOrder);

// Encodes into Stream (fill order 1). The first call (State null) creates the state, writes
// the Clear code and encodes the Count bytes at Data; later calls continue the same code
// stream; a call with Data null writes the pending code and the end code, pads the last
// byte with zero bits, writes what is buffered and frees the state. A short write raises
// cl::EWriteError (the state stays owned by State; a call with Data null still frees it).
void IETIFFLZWCompress(const uint8_t* Data, int32_t Count, cl::TStream* Stream, void*& State);

}  // namespace ie
