// The imaging library's HD Photo reader (through the platform's imaging component) on any
// bytes, with and without native pixel formats, and the HD Photo probe. Seeds in
// corpus/iehdp are copies of tests/imaging/data/hdphoto/*.jxr (made by JxrEncApp, see
// make.sh there).
#include <cstddef>
#include <cstdint>

#include "imaging/formats/iewic.h"
#include "imaging/formats/tifprobes.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::ReadVariants(data, size, 2, [](iefuzz::ReaderRun& r, int variant) {
        if (variant == 0) (void)ie::IEIsHDPhotoStream(&r.Stream);
        r.Params.NativePixelFormat = variant == 1;
        ie::IEReadHDPhotoStream(&r.Stream, &r.Bitmap, r.Params, r.Progress, false);
    });
    return 0;
}
