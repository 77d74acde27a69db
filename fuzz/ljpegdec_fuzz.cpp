// The lossless JPEG decoder on any bytes. The size asked for is the one of the stream's own
// frame header (searched for, capped at 2^20 samples; 16 x 16 x 1 when there is none), so
// well-formed streams get decoded; the output buffers sit exactly at the size given, and
// the component count also tries 3. Seeds in corpus/ljpegdec are the *.ljpg streams of
// tests/imaging/data/dicom (made by dcmtk, see the make.sh there).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/formats/ljpegdec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t w = 16, h = 16, c = 1, precision = 8;
    for (size_t i = 0; i + 9 < size; ++i)
        if (data[i] == 0xFF && data[i + 1] == 0xC3) {
            precision = data[i + 4];
            h = (data[i + 5] << 8) | data[i + 6];
            w = (data[i + 7] << 8) | data[i + 8];
            c = data[i + 9];
            break;
        }
    if (w <= 0 || h <= 0 || c < 1 || c > 4 || static_cast<int64_t>(w) * h * c > (1 << 20)) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int32_t comps : {c, 3}) {
        const size_t n = static_cast<size_t>(w) * h * comps;
        std::vector<uint8_t> out8(n);
        std::vector<uint16_t> out16(n);
        cl::TStringStream stream(bytes);
        const bool wide = precision > 8;
        (void)ie::IEDecodeLosslessJPEG(&stream, wide ? out16.data() : nullptr, wide ? nullptr : out8.data(), nullptr,
                                       static_cast<int64_t>(size), w, h, comps);
    }
    return 0;
}
