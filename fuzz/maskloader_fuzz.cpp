// The player's mask-picture loader, on any bytes: the input is the piece of the program
// file that a slide names as its mask picture; an input that begins with "RANGE" gives next
// the range's start and end (64-bit, little-endian, counted from the bytes that follow), so
// ranges inside, around and far past the piece are tried too. Checked: the loader never raises, and the
// mask it leaves is either the one it had, untouched, or an 8-bit bitmap over the grey ramp.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "player/zb_ImageUtils.h"

namespace {

// The mask the transition had: 3 x 2, 8 bits, a table that no loaded mask has.
void MakePrevious(cl::TBitmap& b) {
    b.SetPixelFormat(cl::pf8bit);
    std::vector<win::RGBQUAD> table(256, win::RGBQUAD{1, 2, 3, 0});
    b.SetColorTable(table);
    b.SetSize(3, 2);
    for (int y = 0; y < 2; ++y) std::memset(b.ScanLine(y), 0x5A + y, 3);
}

bool IsPrevious(cl::TBitmap& b) {
    if (b.GetWidth() != 3 || b.GetHeight() != 2 || b.GetPixelFormat() != cl::pf8bit) return false;
    const auto& table = b.GetColorTable();
    if (table.size() != 256 || table[200].rgbBlue != 1 || table[200].rgbGreen != 2 || table[200].rgbRed != 3)
        return false;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            if (static_cast<const uint8_t*>(b.ScanLine(y))[x] != 0x5A + y) return false;
    return true;
}

bool IsGreyMask(cl::TBitmap& b) {
    if (b.GetEmpty() || b.GetPixelFormat() != cl::pf8bit) return false;
    const auto& table = b.GetColorTable();
    if (table.size() != 256) return false;
    for (int i = 0; i < 256; ++i)
        if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    player::StartUpImagingLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int64_t start = 0, end = static_cast<int64_t>(size);
    if (size >= 21 && std::memcmp(data, "RANGE", 5) == 0) {
        std::memcpy(&start, data + 5, 8);
        std::memcpy(&end, data + 13, 8);
        data += 21;
        size -= 21;
    }
    auto stream = std::make_unique<cl::TMemoryStream>();
    stream->WriteBuffer("player", 6);
    if (size) stream->WriteBuffer(data, static_cast<int64_t>(size));
    cl::TBitmap mask;
    MakePrevious(mask);
    // The piece lies behind 6 bytes of the file; positions saturate rather than wrap.
    auto place = [](int64_t v) { return v > INT64_MAX - 6 ? INT64_MAX : v + 6; };
    player::LoadMaskFromStream(stream.get(), &mask, place(start), place(end));
    if (!IsPrevious(mask) && !IsGreyMask(mask)) __builtin_trap();
    return 0;
}
