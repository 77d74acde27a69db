// The imaging library's Photoshop reader on any bytes: the merged picture, the layers, in
// native pixel formats, and the parameters only. Seeds in corpus/iepsd are copies of
// tests/imaging/data/psd/*.psd (made by ImageMagick and by hand, see the make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/iepsd.h"

namespace {

void Use(ie::TIEBitmap& b) {
    for (int32_t r = 0; r < b.GetHeight(); ++r) {
        const auto* p = static_cast<const volatile uint8_t*>(b.GetScanline(r));
        if (p && b.GetRowLen() > 0) (void)p[b.GetRowLen() - 1];
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 4; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) (void)ie::IEIsPSDStream(&stream);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.NativePixelFormat = variant == 2;
        ie::TIEPSDLayers layers;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadPSDStream(&stream, variant == 3 ? nullptr : &bitmap, params, &layers, variant == 1, progress);
        if (!aborting) Use(bitmap);
        for (auto& l : layers)
            if (l->Bitmap) Use(*l->Bitmap);
    }
    return 0;
}
