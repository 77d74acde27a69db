// The imaging library's icon and cursor readers on any bytes, each as a file and as a
// resource without directory. Seeds in corpus/ieico are copies of tests/imaging/data/ico
// (made by icotool, see the README there).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/formats/icofilt.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int32_t index = size > 0 ? data[0] % 3 : 0;
    iefuzz::ReadVariants(data, size, 4, [index](iefuzz::ReaderRun& r, int variant) {
        if (variant == 0) (void)ie::IEIsICOStream(&r.Stream);
        if (variant == 1) (void)ie::IEIsCURStream(&r.Stream);
        r.Params.IsResource = variant >= 2;
        r.Params.ICOImageIndex = r.Params.CURImageIndex = index;
        try {
            if (variant & 1)
                ie::IEReadCURStream(&r.Stream, &r.Bitmap, r.Params, false, r.Progress, r.Mask, false);
            else
                ie::IEReadICOStream(&r.Stream, &r.Bitmap, r.Params, false, r.Progress, r.Mask, false);
        } catch (const cl::Exception& e) {
            // The one exception the readers raise: a bit count they do not know.
            if (std::strcmp(e.what(), "Unsupported pixel format") != 0) throw;
            r.Aborting = true;
        }
    });
    return 0;
}
