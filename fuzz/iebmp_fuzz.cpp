// The imaging library's BMP reader on any bytes: with and without native pixel formats,
// the alpha mask asked for, as a preview and as a resource without file header. Seeds in
// corpus/iebmp are copies of tests/imaging/data/bmp/*.bmp (made by ImageMagick and netpbm,
// see the README there).
#include <cstddef>
#include <cstdint>

#include "imaging/formats/bmpfilt.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::ReadVariants(data, size, 4, [](iefuzz::ReaderRun& r, int variant) {
        r.Params.NativePixelFormat = variant & 1;
        ie::IEReadBMPStream(&r.Stream, &r.Bitmap, 0, r.Params, r.Progress, variant == 2, variant == 3, r.Mask, false);
    });
    return 0;
}
