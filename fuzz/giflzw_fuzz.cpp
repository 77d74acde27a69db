// The GIF LZW decoder on any code stream: the first two bytes give the picture's width and
// height (1 to 64) and the interlace flag, the rest is the stream from its code size byte.
// What was decoded is encoded again and must decode to the same indexes. Seeds in
// corpus/giflzw are the image data of tests/imaging/data/gif/*.gif (the code size byte to
// the zero-length block) behind their two size bytes, cut and patched copies, written by
// corpus/make_giflzw.py.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/formats/giflzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t w = (data[0] & 63) + 1, h = (data[1] & 63) + 1;
    const bool interlaced = (data[0] & 64) != 0;
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data + 2), size - 2));
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h, 0);
    ie::IEGIFLZWDecompress(&stream, h, w, pixels.data(), interlaced);
    const int64_t pos = stream.GetPosition();
    if (pos < 0 || pos > static_cast<int64_t>(size - 2)) __builtin_trap();

    cl::TMemoryStream coded;
    ie::IEGIFLZWCompress(&coded, h, w, 8, pixels.data(), interlaced);
    coded.Seek(0, cl::soBeginning);
    std::vector<uint8_t> again(pixels.size(), 0);
    ie::IEGIFLZWDecompress(&coded, h, w, again.data(), interlaced);
    if (again != pixels) __builtin_trap();
    return 0;
}
