// Row access and row bands for the effects' pixel loops. A loop over many rows runs in
// contiguous bands on the platform's worker threads (win::ParallelRows); each band writes
// only its own rows, so the bytes are the same however many threads take part. The row
// addresses are taken on the calling thread first: the bands never ask a bitmap anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "classlib/Graphics.h"

// Pixel loops that have an SSE2 form besides the portable one: name_SSE2 and name_Pas. The
// portable form is always compiled (and tested against the SSE2 form); TE_ROW_FORM(name) is
// the one the library uses.
#if defined(__SSE2__)
#define TE_HAS_SSE2_FORMS 1
#define TE_ROW_FORM(name) name##_SSE2
#else
#define TE_ROW_FORM(name) name##_Pas
#endif

namespace te {

// The rows of a bitmap's pixel memory: row y (0 at the top) starts at Top + y * Step.
struct TTERowView {
    uint8_t* Top = nullptr;
    ptrdiff_t Step = 0;
    int Height = 0;
    int RowBytes = 0;

    TTERowView() = default;
    explicit TTERowView(cl::TBitmap* Bitmap) {
        if (!Bitmap || Bitmap->GetHeight() <= 0 || Bitmap->GetWidth() <= 0) return;
        Height = Bitmap->GetHeight();
        RowBytes = Bitmap->RowBytes();
        Top = static_cast<uint8_t*>(Bitmap->ScanLine(0));
        Step = Height > 1 ? static_cast<uint8_t*>(Bitmap->ScanLine(1)) - Top : -static_cast<ptrdiff_t>(RowBytes);
    }
    uint8_t* operator[](int y) const { return Top + static_cast<ptrdiff_t>(y) * Step; }
};

// Work below this many bytes touched runs on the calling thread, and bands are at least a
// quarter of it: waking the other threads and waiting for the last band costs little next
// to a pass over a few megabytes, but much next to a small area, above all on a machine
// whose cores are busy with other work.
constexpr size_t kMinParallelBytes = size_t{4} << 20;

// Body(a, b) over disjoint bands [a, b) that cover [First, Last); BytesPerItem is what one
// row (or item) costs in bytes touched, and decides whether and how finely to split.
void ForRowBands(int First, int Last, size_t BytesPerItem, const std::function<void(int, int)>& Body);

}  // namespace te
