// The class library's BMP reader on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    cl::TBitmap bitmap;
    try {
        bitmap.LoadFromStream(&stream);
        // A picture that loaded can be used.
        if (bitmap.GetWidth() > 0 && bitmap.GetHeight() > 0) (void)bitmap.ScanLine(bitmap.GetHeight() - 1);
    } catch (const cl::Exception&) {
    }
    return 0;
}
