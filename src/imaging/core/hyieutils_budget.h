// The pixel budget of readers: the most pixels a picture read from a file may have.
//
// A file states its width and height in a few bytes; a reader that believed them could ask
// for gigabytes before it met the end of the data (a short file) or spend minutes inflating a
// zip bomb that is consistent. While a read is in progress on a thread (the input/output
// engine opens a TIEReaderBudgetScope around every reader), TIEBitmap refuses any storage of
// more pixels than the budget, so the reader's allocation fails and it sets its abort flag
// as for any allocation failure. Readers that size their own buffers from the header call
// IEReaderPixelsAllowed before they allocate.
//
// The default, IEDefaultReaderPixelBudget (100 000 000 pixels, a picture of 10000 x 10000),
// is a global a caller raises (or lowers) before loading; 0 or less switches it off. A scope
// may also carry a tighter limit of its own for the reads it covers (the player's mask loader
// does); that limit holds whatever the global says.
#pragma once

#include <cstdint>

namespace ie {

inline constexpr int64_t IEDefaultReaderPixelBudget = 100000000;

// The library-wide budget, read when a reader allocates; plain global like the other
// library-wide settings.
extern int64_t IEReaderPixelBudget;

// Marks a read in progress on the calling thread for its lifetime. Limit, when above 0,
// narrows the budget for the reads inside (nested scopes keep the smallest).
class TIEReaderBudgetScope {
public:
    explicit TIEReaderBudgetScope(int64_t Limit = 0);
    ~TIEReaderBudgetScope();
    TIEReaderBudgetScope(const TIEReaderBudgetScope&) = delete;
    TIEReaderBudgetScope& operator=(const TIEReaderBudgetScope&) = delete;

private:
    int64_t FSavedLimit;
};

// The budget that applies on this thread now, or 0 when there is none (no read in
// progress, or the budget switched off).
int64_t IEReaderPixelBudgetNow();

// True when a picture of Width x Height pixels may be allocated now: always outside a read;
// inside one, when both sides are at least 0 and the product is within the budget.
bool IEReaderPixelsAllowed(int64_t Width, int64_t Height);

}  // namespace ie
