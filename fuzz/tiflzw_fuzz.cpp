// The TIFF LZW decoder on any bytes: the first two bytes choose the row length and the
// fill order, the rest is the strip. The seeds in corpus/tiflzw are the strips of
// tests/imaging/data/tiffcoders (made by tiffcp -c lzw) behind the header bytes 00 61
// (gray.lzw, rows of 97) and 01 C2 (pattern.lzw, rows of 450).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/formats/tiflzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t rowLength = 1 + (((data[0] & 0x7F) << 8) | data[1]) % 4096;
    const int32_t fillOrder = (data[0] & 0x80) ? 2 : 1;
    // The strip in its own allocation, so that a read past it is caught.
    std::vector<uint8_t> strip(data + 2, data + size);
    strip.shrink_to_fit();
    uint8_t none = 0;
    uint8_t* base = strip.empty() ? &none : strip.data();
    void* state = nullptr;
    for (int32_t row = 0; row < 4096; ++row) {
        const uint8_t* r = ie::IETIFFLZWDecompress(base, int32_t(strip.size()), rowLength, state, fillOrder);
        if (!r) break;
        volatile uint8_t sink = r[rowLength - 1];
        (void)sink;
    }
    ie::IETIFFLZWDecompress(nullptr, 0, 0, state, 1);
    if (state) __builtin_trap();
    return 0;
}
