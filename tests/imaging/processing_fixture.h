// Helpers of the processing tests: random pixels and the meaningful bytes of a bitmap.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/core/hyieutils.h"

namespace ie::test {

// The bytes of every row's pixels (not the padding), from a generator seeded with Seed.
inline void FillRandom(TIEBitmap& b, uint32_t Seed) {
    std::mt19937 rng(Seed);
    const int64_t used = (static_cast<int64_t>(b.GetWidth()) * b.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        auto* p = static_cast<uint8_t*>(b.GetScanline(y));
        for (int64_t i = 0; i < used; ++i) p[i] = static_cast<uint8_t>(rng());
    }
}

// The pixels' bytes of every row, one row after the other.
inline std::vector<uint8_t> Bytes(TIEBitmap& b) {
    std::vector<uint8_t> out;
    const int64_t used = (static_cast<int64_t>(b.GetWidth()) * b.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        const auto* p = static_cast<const uint8_t*>(b.GetScanline(y));
        out.insert(out.end(), p, p + used);
    }
    return out;
}

}  // namespace ie::test
