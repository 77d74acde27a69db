// Whole numbers from the doubles of files and computations.
#pragma once

#include <cstdint>

namespace ie {

// A double as a 32-bit whole number: truncated toward zero, values beyond the 32-bit range
// clamped to its ends, not-a-number as 0.
inline int32_t IETruncToInt32(double Value) {
    if (Value != Value) return 0;
    if (Value >= 2147483647.0) return INT32_MAX;
    if (Value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(Value);
}

}  // namespace ie
