// The fax coder of bilevel rows: Modified Huffman rows (TIFF compression 2), Group 3
// one- and two-dimensional coding (compression 3) and Group 4 (compression 4). It works
// row by row; the callers carry the bit position, the reference row and the partly
// filled output byte from one row to the next.
//
// Decoded rows hold 1 for white and 0 for black; rows given to the encoders hold 0 for
// white and 1 for black. Rows are most significant bit first. FillOrder 1 takes the bits
// of each data byte from the most significant down, 2 from the least significant up.
// Bits past DataBytes read as zero and are never fetched.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

// The unit's start hook builds the code tables and the decode trees (a coder that finds
// them missing builds them too); the final hook frees them. Coders must not run while the
// final hook does.
void TifCcittStaticInit();
void TifCcittStaticFinal();
// Whether the tables and trees exist.
bool TifCcittTreesBuilt();

// One Modified Huffman row from the start of Data into Row ((Width + 7) / 8 bytes); result
// the bytes used, rounded up to whole bytes.
int64_t IECCITTDecodeMHRow(uint8_t* Row, const uint8_t* Data, int64_t DataBytes, int32_t FillOrder, int32_t Width);
// One one-dimensional row from BitPosition; result the bit position after it.
int64_t IECCITTDecode1DRow(uint8_t* Row, const uint8_t* Data, int64_t DataBytes, int32_t FillOrder, int64_t BitPosition,
                           int32_t Width);
// One row with the two-dimensional codes against ReferenceRow (all white, 0xFF bytes, before
// the first row of a strip); the decoded row is copied into ReferenceRow. EOLMode is true for
// Group 3 two-dimensional data. Result the bit position after the row. A vertical code that
// would move back before the current position ends the row (corrupt data).
int64_t IECCITTDecode2DRow(uint8_t* Row, const uint8_t* Data, int64_t DataBytes, bool EOLMode, int32_t FillOrder,
                           int64_t BitPosition, uint8_t* ReferenceRow, int32_t Width);

// Encoders. Error is set when the stream takes fewer bytes than given. PendingBits and
// PendingByte hold the bits of an incomplete last byte between calls (start with 0, 0).
// ReferenceRow is empty before the first row of a strip. A null Row ends the strip: the
// closing codes, the last byte completed with zero bits, the reference row released.
void IECCITTEncodeMHRow(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error);
void IECCITTEncode1DRow(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                        int32_t& PendingBits, uint8_t& PendingByte);
void IECCITTEncodeG3Row(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                        std::vector<uint8_t>& ReferenceRow, int32_t& PendingBits, uint8_t& PendingByte);
void IECCITTEncodeG4Row(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                        std::vector<uint8_t>& ReferenceRow, int32_t& PendingBits, uint8_t& PendingByte);

}  // namespace ie
