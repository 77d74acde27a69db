// The imaging library's JPEG 2000 reader on any bytes: the probes, a preview and a full read.
// Seeds in corpus/iej2000 are copies of tests/imaging/data/j2k/*.j2k and *.jp2 (made by
// opj_compress and ImageMagick, see the make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/iej2000.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 2; ++variant) {
        cl::TStringStream stream(bytes);
        (void)ie::IEIsJP2Stream(&stream);
        (void)ie::IEIsJ2KStream(&stream);
        if (stream.GetPosition() != 0) __builtin_trap();
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadJ2000Stream(&stream, &bitmap, params, variant == 0, progress);
        if (variant == 0 && bitmap.GetWidth() != 0) __builtin_trap();
        if (!aborting && variant == 1) {
            if (bitmap.GetWidth() != params.Width || bitmap.GetHeight() != params.Height) __builtin_trap();
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
        }
    }
    return 0;
}
