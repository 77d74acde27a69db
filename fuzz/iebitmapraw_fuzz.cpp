// The raw stream reader of the image buffer on any bytes, from memory and from a stream.
// The seeds in corpus/iebitmapraw were written by fuzz/corpus/make_iebitmapraw.py.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"

namespace {

// A bitmap that loaded can be used: every row read, and written out again.
void Use(ie::TIEBitmap& b) {
    for (int32_t r = 0; r < b.GetHeight(); ++r) {
        const auto* p = static_cast<const volatile uint8_t*>(b.GetScanline(r));
        if (p && b.GetRowLen() > 0) (void)p[b.GetRowLen() - 1];
    }
    cl::TMemoryStream out;
    b.SaveRawToStream(nullptr, 0, &out);
    if (out.GetSize() != b.RawStreamSize()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        ie::TIEBitmap b;
        b.MinFileSize = int64_t{1} << 40;
        b.SetLocation(ie::ieMemory);
        if (b.LoadRawFromStream(data, static_cast<int64_t>(size), nullptr)) Use(b);
    }
    {
        cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
        ie::TIEBitmap b;
        b.MinFileSize = int64_t{1} << 40;
        b.SetLocation(ie::ieTBitmap);
        try {
            if (b.LoadRawFromStream(nullptr, 0, &stream)) Use(b);
        } catch (const cl::Exception&) {
        }
    }
    return 0;
}
