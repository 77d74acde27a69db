// What the readers and writers of this folder share: checked stream transfers that raise
// the abort flag of the progress record, resolution conversions, the two-colour test and
// bit inversion of 1-bit pictures, a working copy of a bitmap in another pixel format, and
// the registration of the codecs with the input/output engine.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/processing/vovozidproc_utils.h"

namespace ie {

// Little-endian numbers of file headers.
inline uint16_t IEGetLE16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
inline uint32_t IEGetLE32(const uint8_t* P) {
    return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
           (static_cast<uint32_t>(P[3]) << 24);
}

// Reads a stream byte by byte through a buffer of its own; Sync puts the stream at the
// next unread byte.
class TIEByteReader {
public:
    explicit TIEByteReader(cl::TStream* S) : FStream(S) {}
    // The next byte, -1 at the end.
    int Get() {
        if (FPos == FLen) {
            const int64_t n = FStream->Read(FBuf, sizeof FBuf);
            FLen = n > 0 ? n : 0;
            FPos = 0;
            if (FLen == 0) return -1;
        }
        return FBuf[FPos++];
    }
    void Sync() {
        if (FPos < FLen) FStream->Seek(FPos - FLen, cl::soCurrent);
        FPos = FLen = 0;
    }
    // Bytes left: in the buffer and in the stream.
    int64_t Left();

private:
    cl::TStream* FStream;
    uint8_t FBuf[16384];
    int64_t FPos = 0, FLen = 0;
};

// Reads exactly Count bytes; False (and the abort flag set) when the stream has fewer.
bool IEReadChecked(cl::TStream* Stream, TProgressRec& Progress, void* Buffer, int64_t Count);
// Writes Count bytes; a short write sets the abort flag. Nothing once the flag is set.
void IEWriteChecked(cl::TStream* Stream, TProgressRec& Progress, const void* Buffer, int64_t Count);
// Bytes between the stream's position and its end (0 when it stands beyond).
int64_t IEBytesLeft(cl::TStream* Stream);

// Pixels per metre to dots per inch, rounded (halves to even); Default when that gives 0
// or less.
int32_t IEPpmToDpi(int64_t PixelsPerMetre, int32_t Default);
// Dots per inch to pixels per metre, rounded; 0 for values outside 1 .. 1,000,000.
uint32_t IEDpiToPpm(int32_t Dpi);

// Exactly two distinct colours in Source: Dest becomes an ie1g bitmap of its size whose
// set bits are the lighter colour; Dark and Light receive the two colours. False (Dest
// untouched) otherwise, also for one colour or for more than two.
bool IETwoColorsTo1Bit(TIEBitmap* Source, TIEBitmap* Dest, TRGB& Dark, TRGB& Light);

// Source itself when it is already in Format, else a converted copy held in Holder
// (alpha channel not copied); null when the conversion cannot be made.
TIEBitmap* IEWorkingCopy(TIEBitmap* Source, TIEPixelFormat Format, std::unique_ptr<TIEBitmap>& Holder);

// Source itself when it is ie1g, else a black-and-white copy in Holder: a pixel is white
// when its grey level is 128 or more. Null when the copy cannot be allocated.
TIEBitmap* IEBlackAndWhiteCopy(TIEBitmap* Source, std::unique_ptr<TIEBitmap>& Holder);

// Reports Trunc(Rows x Per) when it differs from Last (Last -1: nothing reported yet).
void IEReportRows(TProgressRec& Progress, int32_t Rows, int32_t& Last);

// Fills the engine's per-format operations of every codec of this folder. Run after the
// engine's start-up has built its registry (VovozIdIOStaticInit).
void IERegisterFormatsCodecs();

}  // namespace ie
