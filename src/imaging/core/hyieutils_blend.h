// Blend operations: one 24-bit pixel laid over another by one of the TIEBlendOperation
// rules. The renderer of hyieutils_render.cpp combines every adjusted source pixel into
// the destination through IEBlendPixel.
#pragma once

#include <cstdint>

#include "imaging/core/hyiedefs.h"

namespace ie {

// Combines the pixel at Source (blue, green, red) into the pixel at Dest by Operation and
// writes the result into Dest. Row is the destination row of the pixel (boEvenRows and
// boOddRows interleave by it). An Operation outside 0..42 leaves Dest as it was.
void IEBlendPixel(const TRGB* Source, TRGB* Dest, TIEBlendOperation Operation, int32_t Row);

}  // namespace ie
