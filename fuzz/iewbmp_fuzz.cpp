// The imaging library's WBMP reader on any bytes, with and without native pixel formats
// and as a preview. Seeds in corpus/iewbmp are copies of the fixtures in tests/imaging/data (made
// by netpbm and ImageMagick, see the README there).
#include <cstddef>
#include <cstdint>

#include "imaging/formats/wbmpfilt.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::ReadVariants(data, size, 3, [](iefuzz::ReaderRun& r, int variant) {
        if (variant == 0) {
            (void)ie::IEReadWBMPInteger(&r.Stream);
            r.Stream.Seek(0, cl::soBeginning);
        }
        r.Params.NativePixelFormat = variant == 1;
        ie::IEReadWBMPStream(&r.Stream, &r.Bitmap, r.Params, variant == 2, r.Progress);
    });
    return 0;
}
