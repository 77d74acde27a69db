// The annotation reader on any block: the marks read save to a block that reads back to
// as many marks with the same types.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/core/hyieutils_annot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    ie::TIEImagingAnnot a;
    a.LoadFromBuffer(size ? data : nullptr, static_cast<int32_t>(size));
    void* block = nullptr;
    int32_t length = 0;
    a.SaveToBuffer(block, length);
    if ((block == nullptr) != (a.GetObjectsCount() == 0)) __builtin_trap();
    if (block) {
        ie::TIEImagingAnnot back;
        back.LoadFromBuffer(block, length);
        if (back.GetObjectsCount() != a.GetObjectsCount()) __builtin_trap();
        for (int32_t i = 0; i < a.GetObjectsCount(); ++i) {
            if (back.GetObject(i)->GetMarkType() != a.GetObject(i)->GetMarkType()) __builtin_trap();
            if (back.GetObject(i)->GetPointCount() != a.GetObject(i)->GetPointCount()) __builtin_trap();
        }
        std::free(block);
    }
    return 0;
}
