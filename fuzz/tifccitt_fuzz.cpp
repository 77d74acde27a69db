// The fax decoders on any bytes: the first three bytes choose the coding (Modified
// Huffman, Group 3 1-D, Group 3 2-D, Group 4), the fill order and the row width, the rest
// is the strip. The seeds in corpus/tifccitt are the strips of tests/imaging/data/tiffcoders
// (made by tiffcp -c g3, g3:2d and g4, 203 pixels wide) behind the header bytes
// 01 00 CB, 02 00 CB and 03 00 CB.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/formats/tifccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int32_t kind = data[0] & 3;
    const int32_t fillOrder = (data[0] & 0x80) ? 2 : 1;
    const int32_t width = 1 + ((data[1] << 8) | data[2]) % 2048;
    std::vector<uint8_t> strip(data + 3, data + size);
    strip.shrink_to_fit();
    const int64_t bytes = int64_t(strip.size());
    const uint8_t* d = strip.data();
    const size_t rb = size_t((width + 7) / 8);
    std::vector<uint8_t> row(rb), ref(rb, 0xFF);
    int64_t pos = 0;
    for (int32_t y = 0; y < 512 && pos < bytes * 8; ++y) {
        int64_t next = pos;
        switch (kind) {
            case 0: {
                const int64_t at = std::min(pos / 8, bytes);
                next = (at + ie::IECCITTDecodeMHRow(row.data(), d + at, bytes - at, fillOrder, width)) * 8;
                break;
            }
            case 1: next = ie::IECCITTDecode1DRow(row.data(), d, bytes, fillOrder, pos, width); break;
            default:
                next = ie::IECCITTDecode2DRow(row.data(), d, bytes, kind == 2, fillOrder, pos, ref.data(), width);
                break;
        }
        if (next < pos) __builtin_trap();
        if (next == pos) break;
        pos = next;
    }
    return 0;
}
