#include "pix32/Pix32_Math.h"

#include "classlib/SysUtils.h"

namespace pix32 {

TFixed FixedDiv(TFixed A, TFixed B) {
    if (B == 0) throw cl::Exception("Division by zero");
    const int64_t q = (static_cast<int64_t>(A) * 65536) / B;
    if (q < INT32_MIN || q > INT32_MAX) throw cl::Exception("Integer overflow");
    return static_cast<TFixed>(q);
}

}  // namespace pix32
