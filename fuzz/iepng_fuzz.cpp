// The imaging library's PNG reader on any bytes, with and without native pixel formats and
// as a preview. Seeds in corpus/iepng are copies of tests/imaging/data/png/*.png (made by
// ImageMagick and netpbm, see the README there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/pngfilt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 3; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) (void)ie::IEIsPNGStream(&stream);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.NativePixelFormat = variant == 1;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadPNGStream(&stream, &bitmap, params, progress, variant == 2);
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
    }
    return 0;
}
