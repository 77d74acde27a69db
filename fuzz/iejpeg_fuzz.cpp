// The imaging library's JPEG reader on any bytes, with its metadata (ICC chunks, EXIF with
// its thumbnail and orientation, IPTC, XMP), in native formats at an automatic scale, as
// parameters only with the EXIF thumbnail pass, and the two marker scanners. Seeds in
// corpus/iejpeg are copies of tests/imaging/data/jpeg/*.jpg (see make.sh there).
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/formats/jpegfilt.h"
#include "imaging_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
        ie::TIOParamsVals params(nullptr);
        (void)ie::IEGetJPEGLength(&stream);
        ie::IEReadJPEGICCProfile(&stream, params);
    }
    iefuzz::ReadVariants(data, size, 3, [](iefuzz::ReaderRun& r, int variant) {
        r.Params.JPEGApplyOrientation = true;
        if (variant == 1) {
            r.Params.JPEGScale = 0;
            r.Params.Width = 7;
            r.Params.Height = 5;
        }
        if (variant == 2) r.Params.JPEGGetExifThumbnail = true;
        try {
            ie::IEReadJPEGStream(&r.Stream, nullptr, &r.Bitmap, variant == 1, -1, true, true, variant == 1, true, false,
                                 variant == 2, r.Progress, r.Params);
        } catch (const ie::EIEJpegException&) {
        }
        // Whatever a read left, aborted or not, is reachable.
        iefuzz::TouchRows(r.Bitmap);
    });
    return 0;
}
