// TIFF files: the reader (one page of a file in either byte order, with its metadata, every
// strip and tile layout and compression the library knows), the writer (new files in either
// byte order, or a page inserted into an existing little-endian one), the directory access
// the probes share, and the registration with the input/output engine.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Most pages a directory chain is walked through; longer chains end there.
constexpr int32_t IETIFFMaxPages = 65536;

// One directory entry in native byte order. Raw keeps the value field as stored in the file,
// so that inline BYTE and SHORT values are taken in the file's order.
struct TTIFFEntry {
    uint16_t Tag = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint32_t Value = 0;  // the value field as a 32-bit number of the file's byte order
    uint8_t Raw[4] = {};
};

// The directory being read: its stream, byte order, base position and entries.
struct TTIFFDirectory {
    bool LittleEndian = true;
    cl::TStream* Stream = nullptr;
    std::vector<TTIFFEntry> Entries;
    int64_t Base = 0;  // added to every offset

    uint16_t Get16(const uint8_t* P) const;
    uint32_t Get32(const uint8_t* P) const;
    // Reads Count bytes at Base + Offset; bytes the stream does not hold are zero. The number
    // of bytes actually read.
    int64_t ReadAt(int64_t Offset, void* Buffer, int64_t Count) const;
    // Count bytes at Offset as a new block; empty when Count is 0 or the block runs past the
    // end of the stream.
    std::vector<uint8_t> ReadBlock(int64_t Offset, int64_t Count) const;
};

// Walks the directory chain from IFDOffset; the entries of directory PageIndex are loaded.
// PageCount receives the number of directories in the chain (cycles and overlong chains
// end the walk). True when the wanted directory was found.
bool IETIFFReadIFD(int32_t PageIndex, int64_t IFDOffset, TTIFFDirectory& Directory, int32_t& PageCount);
// Index of the first entry with that tag, -1 when absent.
int32_t IETIFFFindTag(const TTIFFDirectory& Directory, uint16_t Tag);
// The inline value: BYTE its first byte, SHORT its first 16-bit number, other types the
// whole value field.
int64_t IETIFFGetTagValue(const TTIFFDirectory& Directory, uint16_t Tag, int64_t Default);
// Item Index of a SHORT or LONG array (Default for other types and indexes past the count).
int64_t IETIFFGetTagItem(const TTIFFDirectory& Directory, uint16_t Tag, int32_t Index, int64_t Default);
int64_t IETIFFGetArrayItem(const TTIFFDirectory& Directory, const TTIFFEntry& Entry, int32_t Index, int64_t Default);
// Every item as a 32-bit number; empty when absent or when the values run past the end of
// the stream.
std::vector<int64_t> IETIFFReadTagArray(const TTIFFDirectory& Directory, uint16_t Tag);
double IETIFFGetRational(const TTIFFDirectory& Directory, uint16_t Tag, double Default);
double IETIFFGetRationalItem(const TTIFFDirectory& Directory, uint16_t Tag, int32_t Index, double Default);
cl::String IETIFFReadTagText(const TTIFFDirectory& Directory, uint16_t Tag, bool TrimAtNul);
cl::String IETIFFReadInlineText(const TTIFFDirectory& Directory, uint16_t Tag);
cl::WideString IETIFFReadTagWideText(const TTIFFDirectory& Directory, uint16_t Tag);
// The value's bytes (count times the type's size); empty when absent or past the stream.
std::vector<uint8_t> IETIFFReadTagData(const TTIFFDirectory& Directory, uint16_t Tag);

// Reads one page of the TIFF at the stream's position into Bitmap and fills Params (see the
// reader's description in tiffilt_read.cpp). Bad data sets the abort flag of Progress.
void IEReadTIFFStream(TIEBitmap* Bitmap, cl::TStream* Stream, int32_t& ImageCount, TIOParamsVals& Params,
                      TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask,
                      bool RelativeOffsets, bool IgnoreAlpha, bool EXIFThumbnail);

// Writes Bitmap as a TIFF page: a new file from the stream's position, little-endian ("II")
// or, with Params.TIFFByteOrder False, big-endian ("MM"); or with Insert a page put before
// page Params.TIFFImageIndex of the little-endian TIFF the stream holds. Result the number of pages in the file after the write (0 when an insert is
// refused, with the abort flag set).
int32_t IEWriteTIFFStream(cl::TStream* Stream, bool Insert, TIEBitmap* Bitmap, TProgressRec& Progress,
                          TIOParamsVals& Params);

// PackBits of one row (Count bytes) appended to Output.
void IETIFFPackBits(const uint8_t* Row, int32_t Count, std::vector<uint8_t>& Output);

// The engine's entry of the format (ioTIFF).
void IETIFFRegisterFormat();

}  // namespace ie
