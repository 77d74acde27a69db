// The imaging library's PXM reader on any bytes, with and without native pixel formats
// and as a preview. Seeds in corpus/iepxm are copies of the fixtures in tests/imaging/data (made
// by netpbm and ImageMagick, see the README there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/pxmfilt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 3; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) (void)ie::IEIsPXMStream(&stream);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.NativePixelFormat = variant == 1;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadPXMStream(&stream, &bitmap, params, variant == 2, progress);
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
    }
    return 0;
}
