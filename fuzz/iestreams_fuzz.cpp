// The imaging core's length-prefixed string reader on any bytes, read straight from memory
// and through the read-ahead stream the readers use (both must see the same strings and
// fail at the same place), and the byte buffer appending counted pieces of a stream.
//
// Input: one byte choosing the read-ahead buffer's size, one byte of leading bytes to skip
// (the start of a relative stream), then the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_lists.h"
#include "imaging/core/hyieutils_streams.h"

namespace {

struct Outcome {
    std::vector<std::string> strings;
    bool failed = false;
    int64_t position = 0;
};

Outcome ReadAll(cl::TStream* s) {
    Outcome o;
    try {
        while (s->GetPosition() < s->GetSize()) {
            cl::String text;
            ie::IEReadStrWithLength(s, text);
            o.strings.push_back(text);
        }
    } catch (const cl::EReadError&) {
        o.failed = true;
    }
    o.position = s->GetPosition();
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t bufferSize = data[0] >= 0xC0 ? 8192 : 1 + data[0] % 64;
    const size_t skip = std::min<size_t>(data[1], size - 2);
    const uint8_t* body = data + 2;
    const int64_t length = static_cast<int64_t>(size - 2);

    ie::TIEMemStream direct(body + skip, length - static_cast<int64_t>(skip));
    const Outcome plain = ReadAll(&direct);

    ie::TIEMemStream whole(body, length);
    whole.SetPosition(static_cast<int64_t>(skip));
    ie::TIEBufferedReadStream buffered(&whole, bufferSize, true);
    const Outcome viaBuffer = ReadAll(&buffered);
    if (plain.strings != viaBuffer.strings || plain.failed != viaBuffer.failed) std::abort();
    if (!plain.failed && plain.position != viaBuffer.position) std::abort();

    // Pieces: a 16-bit count, then up to that many bytes appended from the stream.
    ie::TIEMemStream pieces(body, length);
    ie::TIEByteArray bytes(1 + data[0]);
    int64_t expected = 0;
    uint8_t count[2];
    while (pieces.Read(count, 2) == 2) {
        const int64_t want = count[0] | count[1] << 8;
        const int64_t from = pieces.GetPosition();
        const int64_t got = bytes.AppendFromStream(&pieces, want);
        if (got != std::min(want, length - from)) std::abort();
        if (got > 0 && std::memcmp(bytes.GetData() + expected, body + from, static_cast<size_t>(got)) != 0)
            std::abort();
        expected += got;
    }
    if (bytes.GetSize() != expected) std::abort();
    return 0;
}
