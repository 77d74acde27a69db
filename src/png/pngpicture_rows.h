// Conversion between the rows of a PNG file (unfiltered samples) and the picture's store.
#pragma once

#include <cstdint>

#include "png/pngpicture.h"

namespace png {

struct Adam7Pass {
    int firstRow, firstColumn, rowStep, columnStep;
};
inline constexpr Adam7Pass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                                        {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

// Puts `count` pixels of a PNG row into image row y of the store at columns first, first +
// step, ...: colours through the gamma table, alpha into the alpha plane. The store row
// must be zero where packed pixels go (it is ORed into).
void StoreRow(TPNGObject& owner, const uint8_t* data, int y, int first, int step, uint32_t count);
// Gathers `count` pixels of image row y (columns first, first + step, ...) into a PNG row
// of PNGRowBytes(count) bytes: colours through the inverse gamma table.
void LoadRow(TPNGObject& owner, uint8_t* data, int y, int first, int step, uint32_t count);

}  // namespace png
