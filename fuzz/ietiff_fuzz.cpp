// The TIFF structure reader on any bytes: what it reads writes out, and the written
// structure reads again with as many pages, each with the same tags.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/core/hyieutils_tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cl::TStringStream s(std::string(reinterpret_cast<const char*>(data), size));
    ie::TIETIFFHandler h;
    if (!h.ReadStream(&s)) return 0;
    for (int32_t p = 0; p < h.GetPagesCount(); ++p)
        for (const auto& e : *h.GetPage(p))
            for (int64_t k = 0; k < 4; ++k) (void)h.GetTagValueByID(*h.GetPage(p), e->Tag, k);
    cl::TMemoryStream out;
    if (!h.WriteStream(&out, -1)) return 0;
    out.SetPosition(0);
    ie::TIETIFFHandler again;
    if (!again.ReadStream(&out)) __builtin_trap();
    if (again.GetPagesCount() != std::max(h.GetPagesCount(), 1)) __builtin_trap();
    return 0;
}
