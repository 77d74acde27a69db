// The imaging library's Targa reader on any bytes: with the alpha mask, and as a preview.
// Seeds in corpus/ietga are copies of tests/imaging/data/tga/*.tga (made by ImageMagick and
// by hand, see the make.sh there).
#include <cstddef>
#include <cstdint>

#include "imaging/formats/ietgafil.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::ReadVariants(data, size, 2, [](iefuzz::ReaderRun& r, int variant) {
        if (variant == 0) (void)ie::IEIsTGAStream(&r.Stream);
        ie::IEReadTGAStream(&r.Stream, &r.Bitmap, r.Params, false, r.Mask, variant == 1, r.Progress);
    });
    return 0;
}
