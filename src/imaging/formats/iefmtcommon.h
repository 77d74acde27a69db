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

namespace ie {

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

// Flips every bit of an ie1g bitmap (set bits become clear).
void IEInvertBitmap(TIEBitmap* Bitmap);

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
