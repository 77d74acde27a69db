// The imaging library's TIFF reader on any bytes: every page the chain holds, with and
// without native pixel formats, a single tile, and the probes. Seeds in corpus/ietiffread
// are copies of some of tests/imaging/data/tiff/*.tif (made by libtiff's tiffcp and
// ImageMagick, see make.sh there), two damaged files written byte by byte: cycle.tif (two
// directories pointing at each other) and palette_without_map.tif, and hostile_*.tif, copies
// of tests/imaging/data/tiff/hostile (headers claiming sizes and counts the data cannot back,
// made by make.py there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiflzw.h"
#include "imaging/formats/tifprobes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        cl::TStringStream stream(bytes);
        (void)ie::IEIsTIFFStream(&stream);
        (void)ie::IEIsTIFFCameraRaw(&stream);
    }
    int32_t pages = 1;
    for (int32_t variant = 0; variant < 4 && variant < pages + 2; ++variant) {
        cl::TStringStream stream(bytes);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.TIFFLZWDecompress = &ie::IETIFFLZWDecompress;
        params.NativePixelFormat = variant == 1;
        if (variant == 2) params.TIFFGetTile = 1;
        if (variant == 3) params.TIFFImageIndex = 1;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        std::unique_ptr<ie::TIEMask> mask;
        int32_t count = 0;
        ie::IEReadTIFFStream(&bitmap, &stream, count, params, progress, false, mask, false, false, variant == 2);
        if (variant == 0) pages = count;
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
    }
    return 0;
}
