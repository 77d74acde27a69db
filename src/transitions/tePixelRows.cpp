#include "transitions/tePixelRows.h"

#include <algorithm>

#include "platform/parallel.h"

namespace te {

void ForRowBands(int First, int Last, size_t BytesPerItem, const std::function<void(int, int)>& Body) {
    if (Last <= First) return;
    const size_t items = static_cast<size_t>(Last - First);
    BytesPerItem = std::max<size_t>(BytesPerItem, 1);
    if (items * BytesPerItem < kMinParallelBytes) {
        Body(First, Last);
        return;
    }
    const size_t minBand = kMinParallelBytes / 4;
    const int minItems = static_cast<int>(std::max<size_t>(1, (minBand + BytesPerItem - 1) / BytesPerItem));
    win::ParallelRows(First, Last, minItems, Body);
}

}  // namespace te
