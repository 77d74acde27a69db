// The imaging library's Targa reader on any bytes: with the alpha mask, and as a preview.
// Seeds in corpus/ietga are copies of tests/imaging/data/tga/*.tga (made by ImageMagick and
// by hand, see the make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/ietgafil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 2; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) (void)ie::IEIsTGAStream(&stream);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        std::unique_ptr<ie::TIEMask> mask;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadTGAStream(&stream, &bitmap, params, false, mask, variant == 1, progress);
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
        if (mask && (mask->Width != bitmap.GetWidth() || mask->Height != bitmap.GetHeight())) __builtin_trap();
        if (params.ColorMapCount < 0 || params.ColorMapCount > 256) __builtin_trap();
    }
    return 0;
}
