// The GIF reader on any bytes: the first three frames on their own, with native pixel
// formats and as a preview, then the input/output component's composed load of the third
// frame. Seeds in corpus/iegif are copies of tests/imaging/data/gif/*.gif (made by
// ImageMagick and gifsicle, see make.sh there).
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/formats/giffilter.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        ie::VovozIdIOStaticInit();
        ie::IERegisterFormatsCodecs();
        return true;
    }();
    (void)started;
    iefuzz::ReadVariants(data, size, 4, [](iefuzz::ReaderRun& r, int variant) {
        r.Params.NativePixelFormat = variant == 1;
        r.Params.GIFImageIndex = variant == 3 ? 2 : variant;
        int32_t count = 0;
        ie::IEReadGIFStream(&r.Stream, &r.Bitmap, count, false, r.Mask, variant == 2, r.Progress, r.Params);
    });
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    ie::TVovozIdIO io(nullptr);
    io.Params().GIFImageIndex = 2;
    io.LoadFromStreamGIF(&stream);
    return 0;
}
