// The packed DIB and YUV frame loader on any bytes. The first byte chooses the form: bit 0
// set splits the rest at the little-endian 16-bit offset that follows into the DIB and a
// separate block of pixel data. The seeds in corpus/vovozidproc_dib were written by
// fuzz/corpus/make_vovozidproc_dib.py; found_*.bin are inputs that fuzzing found.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/processing/vovozidproc_dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const bool split = data[0] & 1;
    const size_t at = data[1] | (size_t{data[2]} << 8);
    // Copies of exactly the bytes each block holds, so reads beyond them are caught.
    std::vector<uint8_t> dib, bits;
    if (split && at <= size - 3) {
        dib.assign(data + 3, data + 3 + at);
        bits.assign(data + 3 + at, data + size);
    } else {
        dib.assign(data + 3, data + size);
    }
    ie::TIEBitmap b;
    b.MinFileSize = int64_t{1} << 40;
    const int32_t bitCount = ie::IEDIBToBitmap(dib.empty() ? nullptr : dib.data(), dib.size(), &b,
                                               bits.empty() ? nullptr : bits.data(), bits.size());
    if (bitCount != 0) {
        for (int32_t r = 0; r < b.GetHeight(); ++r) {
            const auto* p = static_cast<const volatile uint8_t*>(b.GetScanline(r));
            if (!p) __builtin_trap();
            (void)p[b.GetRowLen() - 1];
        }
    }
    return 0;
}
