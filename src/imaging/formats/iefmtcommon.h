// What the readers and writers of this folder share: checked stream transfers that raise
// the abort flag of the progress record, resolution conversions, the two-colour test and
// bit inversion of 1-bit pictures, a working copy of a bitmap in another pixel format, and
// the registration of the codecs with the input/output engine.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
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

// ---------------------------------------------------------------------------------------
// Pages of the document writers (PostScript, PDF).

// A row encoder of the fax coder (Group 3 two-dimensional or Group 4): Row (Width pixels,
// most significant bit first, 0 bits coded as white runs) is coded against the reference
// row and written to Stream; the bits of an unfinished byte wait in PendingBits and
// PendingByte for the next call. A null Row ends the data (flushes the bits, frees the
// reference). Error is set on a short write.
using TIEFaxRowEncoder = void (*)(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder,
                                  bool& Error, void*& ReferenceRow, int32_t& PendingBits, uint8_t& PendingByte);
struct TIEFaxEncoders {
    TIEFaxRowEncoder G3Row = nullptr;  // Group 3, two-dimensional rows
    TIEFaxRowEncoder G4Row = nullptr;
};
// Bound to the fax coder when the codecs register; null while no fax coder is bound, and the
// document writers then code bilevel pages with run-length instead.
extern TIEFaxEncoders IEFaxEncoders;

// The fax data of an ie1g bitmap, rows from the top, padded with zero bytes to a multiple
// of 4 bytes. The rows go as they are: their set bits (white) come out as black runs, which
// the documents declare with BlackIs1, so a reader gets the set bits back as white. False
// when the encoder is missing (Out empty) or failed (abort flag set).
bool IEFaxEncodeBitmap(TIEBitmap* Bitmap, bool Group4, std::vector<uint8_t>& Out, TProgressRec& Progress);

// What a JPEG stream's frame header and Adobe marker tell a document writer.
struct TIEJPEGFrameInfo {
    int32_t Width = 0, Height = 0;
    int32_t Components = 0;  // 1, 3 or 4
    int32_t Precision = 0;   // bits per sample
    bool Adobe = false;      // an Adobe APP14 marker: four-component data are stored inverted
    int32_t Transform = -1;  // its colour transform (0 none, 1 YCbCr, 2 YCCK), -1 without it
};
// Reads the markers up to the frame header; False when the data are no JPEG stream with a
// frame of 1, 3 or 4 components.
bool IEParseJPEGFrame(const uint8_t* Data, int64_t Size, TIEJPEGFrameInfo& Info);

// True when the engine has a JPEG writer (the JPEG codec registered with it).
bool IEJPEGWriterAvailable();
// Writes Bitmap as a JPEG stream with the engine's JPEG writer and the JPEG parameters;
// False (abort flag set) when it failed or wrote something that is not a JPEG frame of 8-bit
// samples; False without the abort flag when there is no JPEG writer.
bool IEEncodeJPEGPage(TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, std::vector<uint8_t>& Out,
                      TIEJPEGFrameInfo& Info);

// The picture of a document page: Source itself when it is ie1g or ie24RGB, else a 24-bit
// copy in Holder; null (abort flag set) for an empty picture or a copy that cannot be made.
TIEBitmap* IEDocumentPageSource(TIEBitmap* Source, std::unique_ptr<TIEBitmap>& Holder, TProgressRec& Progress);

// Fills the engine's per-format operations of every codec of this folder. Run after the
// engine's start-up has built its registry (VovozIdIOStaticInit).
void IERegisterFormatsCodecs();

}  // namespace ie
