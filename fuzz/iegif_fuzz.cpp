// The GIF reader on any bytes: the first three frames on their own, with native pixel
// formats and as a preview, then the input/output component's composed load of the third
// frame. Seeds in corpus/iegif are copies of tests/imaging/data/gif/*.gif (made by
// ImageMagick and gifsicle, see make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/giffilter.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        ie::VovozIdIOStaticInit();
        ie::IERegisterFormatsCodecs();
        return true;
    }();
    (void)started;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 4; ++variant) {
        cl::TStringStream stream(bytes);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.NativePixelFormat = variant == 1;
        params.GIFImageIndex = variant == 3 ? 2 : variant;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        std::unique_ptr<ie::TIEMask> mask;
        int32_t count = 0;
        ie::IEReadGIFStream(&stream, &bitmap, count, false, mask, variant == 2, progress, params);
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
    }
    cl::TStringStream stream(bytes);
    ie::TVovozIdIO io(nullptr);
    io.Params().GIFImageIndex = 2;
    io.LoadFromStreamGIF(&stream);
    return 0;
}
