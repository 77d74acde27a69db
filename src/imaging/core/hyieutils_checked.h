// Checked arithmetic for sizes that come from files: widths, heights, sample counts, row
// lengths and byte counts. Every product or sum that a reader compares with the data it has,
// or that it allocates, goes through these, so that a header claiming 2^31-1 x 2^31-1 gives
// "too large" instead of a wrapped number that passes the guard.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace ie {

// A * B, or nothing when the product leaves the 64-bit signed range or a factor is negative.
inline std::optional<int64_t> IECheckedMul(int64_t A, int64_t B) {
    if (A < 0 || B < 0) return std::nullopt;
    int64_t r;
    if (__builtin_mul_overflow(A, B, &r)) return std::nullopt;
    return r;
}

// The product of all factors, or nothing on overflow or a negative factor.
inline std::optional<int64_t> IECheckedMul(std::initializer_list<int64_t> Factors) {
    int64_t r = 1;
    for (int64_t f : Factors) {
        if (f < 0 || __builtin_mul_overflow(r, f, &r)) return std::nullopt;
    }
    return r;
}

// A + B, or nothing when the sum leaves the 64-bit signed range or a term is negative.
inline std::optional<int64_t> IECheckedAdd(int64_t A, int64_t B) {
    if (A < 0 || B < 0) return std::nullopt;
    int64_t r;
    if (__builtin_add_overflow(A, B, &r)) return std::nullopt;
    return r;
}

// The bytes of Rows rows of Width pixels at BitsPerPixel bits, each row padded to AlignBytes
// (1 for none, 4 for DIB rows); nothing on overflow or a negative or zero alignment.
inline std::optional<int64_t> IECheckedRowBytes(int64_t Width, int64_t BitsPerPixel, int64_t AlignBytes = 1) {
    if (AlignBytes <= 0) return std::nullopt;
    auto bits = IECheckedMul(Width, BitsPerPixel);
    if (!bits) return std::nullopt;
    const int64_t alignBits = AlignBytes * 8;
    auto padded = IECheckedAdd(*bits, alignBits - 1);
    if (!padded) return std::nullopt;
    return (*padded / alignBits) * AlignBytes;
}

inline std::optional<int64_t> IECheckedImageBytes(int64_t Width, int64_t Height, int64_t BitsPerPixel,
                                                  int64_t AlignBytes = 1) {
    auto row = IECheckedRowBytes(Width, BitsPerPixel, AlignBytes);
    if (!row || Height < 0) return std::nullopt;
    return IECheckedMul(*row, Height);
}

}  // namespace ie
