// The imaging library's BMP reader on any bytes: with and without native pixel formats,
// the alpha mask asked for, as a preview and as a resource without file header. Seeds in
// corpus/iebmp are copies of tests/imaging/data/bmp/*.bmp (made by ImageMagick and netpbm,
// see the README there).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/bmpfilt.h"

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
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.NativePixelFormat = variant & 1;
        std::unique_ptr<ie::TIEMask> mask;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadBMPStream(&stream, &bitmap, 0, params, progress, variant == 2, variant == 3, mask, false);
        if (!aborting) Use(bitmap);
        if (mask && (mask->Width != bitmap.GetWidth() || mask->Height != bitmap.GetHeight())) __builtin_trap();
        if (params.ColorMapCount < 0 || params.ColorMapCount > 256) __builtin_trap();
    }
    return 0;
}
