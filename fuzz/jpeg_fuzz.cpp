// The JPEG picture class on any bytes: loading, then decoding into a bitmap.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    cl::TJPEGImage jpeg;
    try {
        jpeg.LoadFromStream(&stream);
        cl::TBitmap bitmap;
        bitmap.Assign(&jpeg);
    } catch (const cl::Exception&) {
    }
    return 0;
}
