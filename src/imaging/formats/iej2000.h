// JPEG 2000 files (the JP2 file format and the bare code stream) through the system OpenJPEG
// library: reader, writer and the two signature tests.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_filebuffer.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// A stream on a new temporary file named with the prefix "vovozid" in the run's temporary
// folder; the file is deleted when the stream is destroyed. The writer codes into one and
// copies the result to the caller's stream only when the coding succeeded.
class TIETmpStream : public TIETemporaryFileStream {
    CL_DECLARE_CLASS(TIETmpStream, TIETemporaryFileStream)
public:
    TIETmpStream();
    ~TIETmpStream() override = default;
    const cl::String& FileName() const { return FFileName; }

private:
    explicit TIETmpStream(const cl::String& Name);
    cl::String FFileName;
};

// True when the stream starts with the JP2 signature box (12, "jP  ", 0D 0A 87 0A) / with
// the start of a code stream followed by its image size marker (FF 4F FF 51). The position
// is restored.
bool IEIsJP2Stream(cl::TStream* Stream);
bool IEIsJ2KStream(cl::TStream* Stream);

// Reads the JP2 file or code stream at the stream's position into Bitmap: ie1g for 1-bit
// grey, else ie24RGB with the 8 most significant bits of every sample (grey, RGB, YCbCr with
// any sub-sampling). PreviewOnly fills the parameters only. No signature, a decoding failure
// or another colour space sets the abort flag; nothing is raised.
void IEReadJ2000Stream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                       TProgressRec& Progress);

// Writes Bitmap as a JP2 file (Format ioJP2) or a code stream (ioJ2K): grey with one
// component when Params.J2000ColorSpace is 0 (and always for ie1g, which sets BitsPerSample
// 1), else red, green, blue and, when the alpha channel is not fully opaque, an opacity
// component; BitsPerSample bits per component. Pixel formats other than ie24RGB and ie1g
// are written from a 24-bit copy. Coding options as IEJ2000Options tells them. Any failure
// sets the abort flag, and the stream then receives nothing.
void IEWriteJ2000Stream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t Format,
                        TProgressRec& Progress);

// The coding options of the writer: "rate=" and J2000Rate (the share of the uncompressed
// size to keep; 1 or more codes losslessly), then " prg=lrcp" (J2000ScalableBy 0, layers
// first) or " prg=rlcp" (1, resolutions first).
cl::String IEJ2000Options(const TIOParamsVals& Params);

// The engine's entries of the two formats (ioJP2, ioJ2K).
void IEJ2000RegisterFormat();

// The unit's start hook builds the YCbCr tables (a reader that finds them missing builds
// them too); the final hook frees them. The coding library itself keeps no process-wide
// table, so the tables are all the unit holds. Readers must not run while the final hook
// does.
void IEJ2000StaticInit();
void IEJ2000StaticFinal();
// Whether the YCbCr tables exist.
bool IEJ2000TablesBuilt();

}  // namespace ie
