// The imaging library's JPEG reader on any bytes, with its metadata (ICC chunks, EXIF with
// its thumbnail and orientation, IPTC, XMP), in native formats at an automatic scale, as
// parameters only with the EXIF thumbnail pass, and the two marker scanners. Seeds in
// corpus/iejpeg are copies of tests/imaging/data/jpeg/*.jpg (see make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/jpegfilt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        cl::TStringStream stream(bytes);
        ie::TIOParamsVals params(nullptr);
        (void)ie::IEGetJPEGLength(&stream);
        ie::IEReadJPEGICCProfile(&stream, params);
    }
    for (int variant = 0; variant < 3; ++variant) {
        cl::TStringStream stream(bytes);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.JPEGApplyOrientation = true;
        if (variant == 1) {
            params.JPEGScale = 0;
            params.Width = 7;
            params.Height = 5;
        }
        if (variant == 2) params.JPEGGetExifThumbnail = true;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        try {
            ie::IEReadJPEGStream(&stream, nullptr, &bitmap, variant == 1, -1, true, true, variant == 1, true, false,
                                 variant == 2, progress, params);
        } catch (const ie::EIEJpegException&) {
        }
        for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
            const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
            (void)p[bitmap.GetRowLen() - 1];
        }
    }
    return 0;
}
