// The imaging library's DICOM reader on any bytes: the probe, a preview and full reads of the
// first and of a later frame. Seeds in corpus/iedicom are copies of
// tests/imaging/data/dicom/*.dcm (written by dcmwrite.py and compressed by dcmtk, see the
// make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/iedicom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 3; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) {
            (void)ie::IEIsDICOMStream(&stream);
            if (stream.GetPosition() != 0) __builtin_trap();
        }
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.ImageIndex = variant == 2 ? 2 : 0;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadDICOMStream(&stream, params, &bitmap, variant == 0, progress);
        if (variant == 0 && bitmap.GetWidth() != 0) __builtin_trap();
        for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
            const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
            (void)p[bitmap.GetRowLen() - 1];
        }
    }
    return 0;
}
