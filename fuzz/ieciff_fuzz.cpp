// The camera raw metadata reader of CIFF heaps on any bytes, then the camera raw probe and
// the whole reader, as a preview (identification and metadata) and decoding at half size. Seeds in corpus/ieciff are copies of
// tests/imaging/data/raw/*.crw and bench.dng (made by make_ciff.py and make_dng.py there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/camerarawfilt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        cl::TStringStream stream(bytes);
        ie::TIOParamsVals params(nullptr);
        ie::IEReadCIFFInfo(&stream, params);
        if (params.EXIFMake.size() > size || params.EXIFImageDescription.size() > size) __builtin_trap();
        if (ie::TIEBitmap* thumb = params.GetEXIFThumbnail())
            for (int32_t r = 0; r < thumb->GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(thumb->GetScanline(r));
                (void)p[thumb->GetRowLen() - 1];
            }
    }
    {
        cl::TStringStream stream(bytes);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        (void)ie::IEIsCameraRAWStream(&stream);
        if (stream.GetPosition() != 0) __builtin_trap();
        ie::IEReadCameraRAWStream(&stream, &bitmap, params, true, progress);
        if (bitmap.GetWidth() != 0) __builtin_trap();
    }
    {
        // The whole decoding, half size to keep each run short.
        cl::TStringStream stream(bytes);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        params.RAWDecoderFlag = true;
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        ie::IEReadCameraRAWStream(&stream, &bitmap, params, false, progress);
        if (!aborting)
            for (int32_t r = 0; r < bitmap.GetHeight(); ++r) {
                const auto* p = static_cast<const volatile uint8_t*>(bitmap.GetScanline(r));
                (void)p[bitmap.GetRowLen() - 1];
            }
    }
    return 0;
}
