// The raw pixel reader on any bytes: the first six bytes choose the bitmap's pixel format
// and size and the reader's settings, the rest is the data. Seeds in corpus/iebmpraw were
// written with printf: a 24-bit planar image, decimal and hexadecimal text, 1-bit rows.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/iebmpraw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    // Every pixel format but ieNone, which makes no bitmap to read into.
    const auto format = static_cast<ie::TIEPixelFormat>(1 + data[0] % (ie::IEPixelFormatCount - 1));
    const int32_t w = data[1] % 64 + 1, h = data[2] % 64 + 1;
    ie::TIEBitmap bitmap(w, h, format);
    if (bitmap.GetWidth() != w || bitmap.GetHeight() != h) return 0;
    ie::TIOParamsVals params(nullptr);
    params.BMPRAWPlanes = data[3] & 3;
    params.BMPRAWChannelOrder = (data[3] >> 2) & 3;
    params.BMPRAWDataFormat = (data[3] >> 4) & 3;
    params.BMPRAWRowAlign = data[4];
    params.BMPRAWHeaderSize = data[5] % 16;
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data) + 6, size - 6));
    std::atomic<bool> aborting{false};
    ie::TProgressRec progress;
    progress.Aborting = &aborting;
    try {
        ie::IEReadRawBitmapStream(&stream, &bitmap, params, progress);
    } catch (const cl::Exception&) {
    }
    // The reader fills the caller's bitmap and never reshapes it.
    if (bitmap.GetWidth() != w || bitmap.GetHeight() != h || bitmap.GetPixelFormat() != format) __builtin_trap();
    return 0;
}
