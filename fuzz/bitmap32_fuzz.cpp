// TBitmap32's "Data" reader on any bytes: the stored size is checked against the stream, and
// a bitmap that was read can be used and written back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "classlib/Classes.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        pix32::StartupPix32();
        return true;
    }();
    (void)started;
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    pix32::TBitmap32 bitmap;
    try {
        bitmap.ReadData(&stream);
    } catch (const cl::Exception&) {
        return 0;
    }
    if (!bitmap.Empty()) {
        // Every pixel is there: touch the last one, fill, and draw into a small bitmap.
        volatile pix32::TColor32 last = bitmap.Pixel(bitmap.Width() - 1, bitmap.Height() - 1);
        (void)last;
        pix32::TBitmap32 small;
        small.SetSize(7, 5);
        bitmap.SetResamplerClassName("TLinearResampler");
        bitmap.DrawTo(&small, small.BoundsRect());
    }
    cl::TMemoryStream out;
    bitmap.WriteData(&out);
    const size_t written = static_cast<size_t>(out.GetSize());
    if (written > size || (written > 8 && std::memcmp(out.GetMemory(), data, written) != 0)) __builtin_trap();
    return 0;
}
