// The imaging library's HD Photo reader (through the platform's imaging component) on any
// bytes, with and without native pixel formats, and the HD Photo probe. Seeds in
// corpus/iehdp are copies of tests/imaging/data/hdphoto/*.jxr (made by JxrEncApp, see
// make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/iewic.h"
#include "imaging/formats/tifprobes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 2; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) (void)ie::IEIsHDPhotoStream(&stream);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.NativePixelFormat = variant == 1;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadHDPhotoStream(&stream, &bitmap, params, progress, false);
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
    }
    return 0;
}
