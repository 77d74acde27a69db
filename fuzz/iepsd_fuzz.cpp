// The imaging library's Photoshop reader on any bytes: the merged picture, the layers, in
// native pixel formats, and the parameters only. Seeds in corpus/iepsd are copies of
// tests/imaging/data/psd/*.psd (made by ImageMagick and by hand, see the make.sh there).
#include <cstddef>
#include <cstdint>

#include "imaging/formats/iepsd.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::ReadVariants(data, size, 4, [](iefuzz::ReaderRun& r, int variant) {
        if (variant == 0) (void)ie::IEIsPSDStream(&r.Stream);
        r.Params.NativePixelFormat = variant == 2;
        ie::TIEPSDLayers layers;
        ie::IEReadPSDStream(&r.Stream, variant == 3 ? nullptr : &r.Bitmap, r.Params, &layers, variant == 1, r.Progress);
        for (auto& l : layers)
            if (l->Bitmap) iefuzz::TouchRows(*l->Bitmap);
    });
    return 0;
}
