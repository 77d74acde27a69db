// Two-dimensional maps of ordinal values.
#pragma once

#include <cstdint>
#include <vector>

#include "pix32/Pix32.h"

namespace pix32 {

// Width x Height 32-bit integers, row-major.
class TIntegerMap : public TCustomMap {
    CL_DECLARE_CLASS(TIntegerMap, TCustomMap)
public:
    bool Empty() const override { return FBits.empty(); }
    // Entry (X, Y); nil outside the map.
    int32_t* ValPtr(int32_t X, int32_t Y);
    const int32_t* ValPtr(int32_t X, int32_t Y) const { return const_cast<TIntegerMap*>(this)->ValPtr(X, Y); }
    int32_t* Bits() { return FBits.empty() ? nullptr : FBits.data(); }

protected:
    // Resizes the entries to NewWidth x NewHeight, keeping the leading ones and zeroing new
    // ones. A size beyond what can be allocated raises EOutOfMemory and leaves the map as it was.
    void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) override;

private:
    std::vector<int32_t> FBits;
};

}  // namespace pix32
