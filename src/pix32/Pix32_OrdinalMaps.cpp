#include "pix32/Pix32_OrdinalMaps.h"

#include <new>

#include "classlib/SysUtils.h"

namespace pix32 {

int32_t* TIntegerMap::ValPtr(int32_t X, int32_t Y) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || FBits.empty()) return nullptr;
    return &FBits[static_cast<size_t>(Y) * static_cast<size_t>(FWidth) + static_cast<size_t>(X)];
}

void TIntegerMap::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
    const uint64_t n = static_cast<uint64_t>(NewWidth) * static_cast<uint64_t>(NewHeight);
    try {
        if (n > FBits.max_size()) throw std::bad_alloc();
        FBits.resize(static_cast<size_t>(n));
        if (n == 0) FBits.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        throw cl::EOutOfMemory("Out of memory");
    }
    Width = NewWidth;
    Height = NewHeight;
}

}  // namespace pix32
