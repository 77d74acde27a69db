// Comparing and printing rectangles in the tests of the bitmap library's controls.
#pragma once

#include <ostream>

#include "platform/windef.h"

namespace win {

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::ostream& operator<<(std::ostream& os, const RECT& r) {
    return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

inline bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

inline std::ostream& operator<<(std::ostream& os, const POINT& p) { return os << "(" << p.x << ", " << p.y << ")"; }

}  // namespace win
