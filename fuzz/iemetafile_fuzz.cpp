// The imaging library's metafile probes on any bytes, from the start and from a later
// position; each must put the stream back. Seeds in corpus/iemetafile are copies of the
// fixtures in tests/imaging/data/metafile (see the make.sh there).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classlib/Classes.h"
#include "imaging/formats/metafilt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int64_t start : {int64_t{0}, int64_t{3}}) {
        if (start > static_cast<int64_t>(size)) break;
        cl::TStringStream stream(bytes);
        stream.Seek(start, cl::soBeginning);
        (void)ie::IEIsEMFStream(&stream);
        if (stream.GetPosition() != start) std::abort();
        (void)ie::IEIsWMFStream(&stream);
        if (stream.GetPosition() != start) std::abort();
    }
    return 0;
}
