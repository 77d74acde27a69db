// DICOM files (read only): the data set walked element by element into the parameters' tag
// list, the image attributes of group 0028, and one frame of the pixel data, uncompressed or
// encapsulated (JPEG baseline, JPEG lossless, JPEG 2000, RLE). Grey images are rescaled,
// windowed and stretched to the full range of their pixel format; MONOCHROME1 is inverted.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// One entry of the data dictionary: the value representation of a tag, "xs" when it depends
// on the data, "!!" for the item tags.
struct TIEDICOMDictEntry {
    uint16_t Group, Element;
    char VR[3];
};
extern const TIEDICOMDictEntry IEDICOMDictionary[];  // sorted by tag
extern const int32_t IEDICOMDictionaryCount;
// The dictionary's representation of the tag, "xs" for a tag it does not hold.
const char* IEDICOMLookupVR(uint16_t Group, uint16_t Element);

// True when the 4 bytes 128 bytes after the stream's position are "DICM" (the file starts at
// the position). The position is restored.
bool IEIsDICOMStream(cl::TStream* Stream);

// Reads the data set from the stream's position (after the preamble and "DICM" when they are
// there; from that position when not) into Params and its DICOMTags and, unless PreviewOnly, frame
// Params.ImageIndex (clamped to the frames there are) into Bitmap: ie8g, ie16g, ie24RGB or
// ieRGB48. Bad, short or undecodable data set the abort flag with whatever was decoded;
// nothing is raised. A data set without pixel data leaves the bitmap untouched.
void IEReadDICOMStream(cl::TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, bool PreviewOnly,
                       TProgressRec& Progress);

// PackBits: until Count bytes are in Buffer or the stream ends, a control byte n (signed):
// 0..127 copies the next n + 1 bytes, -127..-1 repeats the next byte 1 - n times, -128 does
// nothing. Bytes beyond Count are dropped. The result is the number of bytes read.
int64_t IEDecodePackBits(cl::TStream* Stream, uint8_t* Buffer, int64_t Count);

// The text up to its first backslash as a number, Default when it is none.
double DICOMParseDecimal(const cl::String& Text, double Default);

// The engine's entry of the format (ioDICOM).
void IEDICOMRegisterFormat();

}  // namespace ie
