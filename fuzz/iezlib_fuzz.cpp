// The zlib decompression stream and the one-shot inflater on any bytes. The seeds in
// corpus/iezlib were made with python3's zlib module: text.zz compress(b'The quick brown fox
// jumps over the lazy dog. ' * 50, 9), stored.zz compress(bytes(range(256)) * 4, 0), empty.zz
// compress(b''), cut.zz the first half of compress(b'abc' * 1000), bomb.zz
// compress(bytes(4 << 20), 9), dict.zz the header 78 BB (a preset dictionary) and four zero
// bytes, garbage.bin the header 78 9C and text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/formats/iezlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
        try {
            ie::TZDecompressionStream z(&stream);
            uint8_t buf[4096];
            int64_t total = 0;
            for (int64_t n; (n = z.Read(buf, sizeof buf)) > 0 && total < (int64_t{8} << 20);) total += n;
            if (z.GetPosition() != total) __builtin_trap();
            z.Seek(0, cl::soBeginning);
            z.Seek(0, cl::soEnd);
        } catch (const cl::Exception&) {
        }
    }
    try {
        std::vector<uint8_t> out;
        int64_t outSize = 0;
        ie::IEZDecompressBuffer(data, static_cast<int64_t>(size), out, outSize, 0, int64_t{8} << 20);
        if (outSize != static_cast<int64_t>(out.size())) __builtin_trap();
    } catch (const cl::Exception&) {
    }
    return 0;
}
