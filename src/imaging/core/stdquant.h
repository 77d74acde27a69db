// The box-splitting quantizer: a palette of at most N (<= 256) colours for a 24-bit image
// by variance-driven splitting of boxes in a 32 x 32 x 32 colour cube, and colour lookups
// through an inverse map of the cube.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

struct TIEQuantBox {
    double Variance = 0;
    double Mean[3] = {0, 0, 0};  // red, green, blue in 5-bit units
    int64_t Count = 0;
    int64_t Hist[3][32] = {};   // pixels per 5-bit level of red, green, blue
    int32_t Lo[3] = {0, 0, 0};  // inclusive
    int32_t Hi[3] = {0, 0, 0};  // exclusive
};

struct TIEBoxQuant {
    std::vector<int64_t> Histogram;   // 32768 cells, R5 << 10 | G5 << 5 | B5 (counts in 64 bits)
    std::vector<TIEQuantBox> Boxes;   // 256
    std::vector<uint8_t> InverseMap;  // 32768
    int64_t PixelCount = 0;
    int32_t ColorCount = 0;
    int32_t BoxCount = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// Builds the boxes of an ie24RGB Bitmap (ColorCount limited to 1..256), writes one palette
// entry per box made and fills the inverse map. Entries from the number of boxes on are
// not written.
std::unique_ptr<TIEBoxQuant> IEBoxQuantCreate(TIEBitmap* Bitmap, TRGB* Palette, int32_t ColorCount);
inline int32_t IEBoxQuantIndex(const TIEBoxQuant& State, const TRGB& Color) {
    return State.InverseMap[static_cast<size_t>(((Color.r >> 3) << 10) | ((Color.g >> 3) << 5) | (Color.b >> 3))];
}

}  // namespace ie
