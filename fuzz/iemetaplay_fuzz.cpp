// The metafile record reader on any bytes: read, then played onto a small bitmap (the size
// is capped so that any input draws quickly). Seeds in corpus/iemetaplay are copies of the
// fixtures in tests/imaging/data/metafile.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/iemetafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ie::TIEMetafile meta;
    if (!meta.LoadFromBytes(data, size)) return 0;
    meta.SetWidth(std::clamp(meta.GetWidth(), 1, 64));
    meta.SetHeight(std::clamp(meta.GetHeight(), 1, 64));
    ie::TIEDibbitmap dib;
    if (dib.AllocateBits(meta.GetWidth(), meta.GetHeight(), 24) && dib.DC) meta.Draw(dib.DC);
    return 0;
}
