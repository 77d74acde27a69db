// Start-up and shutdown of the input/output unit and its library-wide settings.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/io/vovozidio_params.h"

namespace ie {

// The LZW coders the codecs provide; the start-up copies them into the library-wide
// defaults (IEDefTIFFLZWDecompress and the others). The coders' unit fills them.
struct TIELZWCoders {
    TIEGIFLZWDecompressor GIFDecompress = nullptr;
    TIEGIFLZWCompressor GIFCompress = nullptr;
    TIETIFFLZWDecompressor TIFFDecompress = nullptr;
    TIETIFFLZWCompressor TIFFCompress = nullptr;
};
extern TIELZWCoders IEBuiltInLZWCoders;

// An input/output plug-in: the format it registered and how its library is released.
struct TIEIOPlugin {
    void* Library = nullptr;
    int32_t FileType = 0;
    void (*Release)(TIEIOPlugin& Plugin) = nullptr;
    cl::String Name;
};
extern std::vector<TIEIOPlugin> IEIOPlugins;

extern bool IEAVIInitialised;          // the video library was started by an AVI load
extern cl::String IETWainLogName;      // the acquisition log (written by the acquisition glue)
extern cl::String IEVideoExtensions;   // the video file extensions ("mpg,mpeg,wmv,avi")
extern int32_t IEMetafileRasterLimit;  // the longer side of a rastered metafile (8000)
extern cl::String IEDebugLogName;      // empty: IEDebugLog writes nothing

// The 8-byte character-code prefixes of the EXIF user comment.
extern const char IEEXIFUserCommentUnicode[8];
extern const char IEEXIFUserCommentASCII[8];
extern const char IEEXIFUserCommentJIS[8];
extern const char IEEXIFUserCommentUndefined[8];

class TIOParamsVals;

// The colour-conversion hook of the codecs: through the parameters' input (or fallback)
// profile to sRGB when colour management is on and the profile is valid and not applied
// yet, else by the formulas.
void IEConvertColorScanline(void* Src, uint8_t SrcFormat, void* Dst, TIOParamsVals* Params, int32_t Count,
                            uint8_t DstKind);

void VovozIdIOStaticInit();
void VovozIdIOStaticFinal();
// Registers the two hooks with the library start-up (at the unit's place in its order).
void VovozIdIORegisterHooks();

// Appends "date time : Msg" to the debug log when its name is set; the log must exist.
// Raises cl::Exception naming the log when it cannot be written.
void IEDebugLog(const cl::String& Msg);

}  // namespace ie
