// The imaging library's PNG reader on any bytes, with and without native pixel formats and
// as a preview. Seeds in corpus/iepng are copies of tests/imaging/data/png/*.png (made by
// ImageMagick and netpbm, see the README there).
#include <cstddef>
#include <cstdint>

#include "imaging/formats/pngfilt.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::ReadVariants(data, size, 3, [](iefuzz::ReaderRun& r, int variant) {
        if (variant == 0) (void)ie::IEIsPNGStream(&r.Stream);
        r.Params.NativePixelFormat = variant == 1;
        ie::IEReadPNGStream(&r.Stream, &r.Bitmap, r.Params, r.Progress, variant == 2);
    });
    return 0;
}
