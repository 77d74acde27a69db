// 16.16 fixed-point helpers.
#pragma once

#include <cstdint>

#include "pix32/Pix32.h"

namespace pix32 {

// Largest whole number not above X.
constexpr int32_t FixedFloor(TFixed X) { return X >> 16; }
// Smallest whole number not below X.
constexpr int32_t FixedCeil(TFixed X) { return static_cast<int32_t>((static_cast<int64_t>(X) + 0xFFFF) >> 16); }
// Nearest whole number; exact halves round down (1.5 -> 1, -1.5 -> -2).
constexpr int32_t FixedRound(TFixed X) { return static_cast<int32_t>((static_cast<int64_t>(X) + 0x7FFF) >> 16); }
// The product of two 16.16 values, truncated to 32 bits.
constexpr TFixed FixedMul(TFixed A, TFixed B) {
    return static_cast<TFixed>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(A) * B >> 16)));
}
// (A x 65536) div B in 64 bits, truncating. A zero divisor raises a division-by-zero error
// and a quotient outside 32 bits an overflow error, where the processor would fault.
TFixed FixedDiv(TFixed A, TFixed B);

}  // namespace pix32
