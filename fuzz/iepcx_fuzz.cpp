// The imaging library's PCX reader and DCX container reader on any bytes: the whole input as
// one page, as a preview, and as a container whose first pages are read; then the bytes as
// the container a new page is inserted into. Seeds in corpus/iepcx are copies of
// tests/imaging/data/pcx/*.pcx and pages.dcx (made by ImageMagick, netpbm and by hand, see
// the make.sh there).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/pcxfilter.h"

namespace {

void CheckRows(ie::TIEBitmap& Bitmap) {
    for (int32_t r = 0; r < Bitmap.GetHeight(); ++r) {
        const auto* p = static_cast<const volatile uint8_t*>(Bitmap.GetScanline(r));
        (void)p[Bitmap.GetRowLen() - 1];
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int variant = 0; variant < 4; ++variant) {
        cl::TStringStream stream(bytes);
        ie::TIEBitmap bitmap;
        ie::TIOParamsVals params(nullptr);
        std::atomic<bool> aborting{false};
        ie::TProgressRec progress;
        progress.Aborting = &aborting;
        if (variant < 2) {
            ie::IEReadPCXStream(&stream, &bitmap, params, variant == 1, progress, static_cast<int64_t>(size));
        } else {
            (void)ie::IEIsDCXStream(&stream);
            if (stream.GetPosition() != 0) __builtin_trap();
            params.DCXImageIndex = variant - 2;
            const int32_t pages = ie::IEReadDCXStream(&stream, &bitmap, params, false, progress);
            if (pages > ie::IEDCXMaxPages) __builtin_trap();
        }
        if (!aborting) CheckRows(bitmap);
        if (params.ColorMapCount < 0 || params.ColorMapCount > 256) __builtin_trap();
    }
    // Inserting a small page into the bytes as a container.
    cl::TMemoryStream target;
    if (size) target.Write(data, static_cast<int64_t>(size));
    ie::TIEBitmap page(3, 2, ie::ie24RGB);
    ie::TIOParamsVals params(nullptr);
    params.DCXImageIndex = 1;
    std::atomic<bool> aborting{false};
    ie::TProgressRec progress;
    progress.Aborting = &aborting;
    ie::IEWriteDCXStream(&target, &page, params, progress);
    // The container is the whole stream; the probe reads from the position.
    target.Seek(0, cl::soBeginning);
    if (!aborting && !ie::IEIsDCXStream(&target)) __builtin_trap();
    return 0;
}
