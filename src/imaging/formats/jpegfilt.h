// JPEG files through the system libjpeg (6b interface): reader, writer, start finder, the
// ICC-profile and length scanners, and the glue that runs the library over TStream.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Raised by the library glue with the text of the library's message code.
class EIEJpegException : public cl::Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EIEJpegException"; }
};

// The text of a library message code ("Corrupted" outside the table).
const char* IEJpegMessageText(int32_t Code);

// With Search: the absolute position of the first FF D8 FF at one of the 150 offsets from
// the stream's position, or -1. Without: 0 when FF D8 FF stands at the position, else -1.
// The position is restored.
int64_t IEFindJPEGStart(cl::TStream* Stream, bool Search);
// Collects the "ICC_PROFILE" APP2 chunks from the stream's position and loads the joined
// profile into the input profile of Params. The position is restored.
void IEReadJPEGICCProfile(cl::TStream* Stream, TIOParamsVals& Params);
// Bytes from the stream's position to the end of the first EOI marker (or to the end of the
// data). The position is restored.
int32_t IEGetJPEGLength(cl::TStream* Stream);

// Decodes a JPEG stream from its position into Bitmap and fills Params. TablesStream (may
// be null) holds an abbreviated stream with tables only, read first. MaxRows: the rows to
// store, -1 for all. NativePixelFormat keeps grey as ie8g and CMYK as ieCMYK. ReadICC
// collects the embedded profile first; DropAppliedICC deletes the APP2 markers when the
// profile was applied; InvertCMYK inverts CMYK samples before converting them; ReadMetadata
// parses IPTC, EXIF and XMP; KeepYCbCr takes three-component samples (YCbCr or RGB) without
// conversion, in file order; ParamsOnly reads the header only. Damaged data sets the abort flag of Progress (the rows decoded so
// far stay); an error while reading TablesStream raises EIEJpegException. The result is the
// number of rows stored.
int32_t IEReadJPEGStream(cl::TStream* Stream, cl::TStream* TablesStream, TIEBitmap* Bitmap, bool NativePixelFormat,
                         int32_t MaxRows, bool ReadICC, bool DropAppliedICC, bool InvertCMYK, bool ReadMetadata,
                         bool KeepYCbCr, bool ParamsOnly, TProgressRec& Progress, TIOParamsVals& Params);
// Encodes the whole bitmap with the JPEG settings of Params and writes its kept markers. An
// empty bitmap or a short write sets the abort flag; a library error raises
// EIEJpegException (with the abort flag set).
void IEWriteJPEGStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The engine's entry of the format (ioJPEG).
void IEJPEGRegisterFormat();

}  // namespace ie
