// PaintBrush images (PCX) and multi-page containers of them (DCX): readers, writers, the
// container probe and the line coders they share.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// The 32-bit number that opens a DCX container.
constexpr uint32_t IEDCXMagic = 987654321;  // 0x3ADE68B1
// The most pages a DCX offset table holds.
constexpr int32_t IEDCXMaxPages = 1024;

// Where a line decoder stands in the data of one page. A run that goes past the end of a
// plane line goes on at the start of the next one, so the pending run stays here.
struct TIEPCXLineReader {
    const uint8_t* Data = nullptr;
    int64_t Size = 0;
    int64_t Pos = 0;
    bool RLE = true;
    int32_t RunLeft = 0;  // copies of RunByte still owed to the next line
    uint8_t RunByte = 0;
};

// Decodes Count bytes (one plane line) into Dest. Bytes missing at the end of the data are
// written as 0 and the result is False.
bool IEPCXDecodeLine(TIEPCXLineReader& Reader, uint8_t* Dest, int32_t Count);

// Run-length codes Count bytes taken every Stride bytes from Source + Start into Dest, which
// has room for 2 x Count + 1 bytes; the number of bytes produced. Runs of equal bytes are
// at most 63 long; a run longer than 1 and a single byte of 0xC0 or more become a count
// byte (0xC0 + length) and the byte. An odd Count gets a literal 0 byte added, so that the
// decoded line has an even length.
int32_t IEPCXEncodeLine(const uint8_t* Source, int32_t Count, int32_t Stride, int32_t Start, uint8_t* Dest);

// Reads one PCX image that starts at the stream's position and takes PageSize bytes, the
// 128-byte header included. PreviewOnly fills the parameters only. Bad headers, line layouts
// it cannot convert, bytes per line too short for the width and data too short for the rows
// set the abort flag; nothing is raised.
void IEReadPCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress, int64_t PageSize);

// Writes one PCX image at the stream's position. The depth comes from Params.BitsPerSample
// times SamplesPerPixel (samples cut to 3): 1 bit, 4 or 8 bits through a palette, or 24 bits
// in three planes; other depths, sizes beyond the 16-bit header fields and short writes set
// the abort flag.
void IEWritePCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// True when the 4 bytes at the stream's position are the DCX magic and every offset of its
// table (counted from that position) lies inside the stream. The position is restored.
bool IEIsDCXStream(cl::TStream* Stream);

// The offset table of the DCX container that starts at the stream's beginning: the entries
// before the first 0, at most IEDCXMaxPages of them. The stream is left after what was read.
std::vector<uint32_t> IEDCXReadOffsets(cl::TStream* Stream);

// The size of each page of Offsets: the distance to the next higher offset, or to
// StreamSize for the page that lies last.
std::vector<int64_t> IEDCXPageSizes(const std::vector<uint32_t>& Offsets, int64_t StreamSize);

// Reads page Params.DCXImageIndex (clamped to the pages there are and stored back through
// SetImageIndex) of the container that starts at the stream's position. The number of
// pages, or -1 when the stream is no DCX container or holds no page (the abort flag is then
// set).
int32_t IEReadDCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                        TProgressRec& Progress);

// Inserts Bitmap as page Params.DCXImageIndex of the container in Stream (an empty stream
// starts a new one): before the old page of that index, or after the last one when the index
// is the page count or beyond. A negative index, a full table, a stream that is neither empty
// nor a DCX container and a page that cannot be written set the abort flag and leave the
// stream as it was.
void IEWriteDCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The engine's entries of the two formats (ioPCX and ioDCX).
void IEPCXRegisterFormat();

}  // namespace ie
