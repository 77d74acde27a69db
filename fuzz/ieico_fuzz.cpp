// The imaging library's icon and cursor readers on any bytes, each as a file and as a
// resource without directory. Seeds in corpus/ieico are copies of tests/imaging/data/ico
// (made by icotool, see the README there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/icofilt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 4; ++variant) {
        cl::TStringStream stream(bytes);
        if (variant == 0) (void)ie::IEIsICOStream(&stream);
        if (variant == 1) (void)ie::IEIsCURStream(&stream);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.IsResource = variant >= 2;
        params.ICOImageIndex = params.CURImageIndex = size > 0 ? data[0] % 3 : 0;
        std::unique_ptr<ie::TIEMask> mask;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        if (variant & 1)
            ie::IEReadCURStream(&stream, &bitmap, params, false, progress, mask, false);
        else
            ie::IEReadICOStream(&stream, &bitmap, params, false, progress, mask, false);
        if (mask && (mask->Width != bitmap.GetWidth() || mask->Height != bitmap.GetHeight())) __builtin_trap();
    }
    return 0;
}
