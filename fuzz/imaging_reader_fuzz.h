// What the imaging library's reader harnesses share: one read of the input bytes per
// variant, each with a fresh stream, bitmap, parameters, progress record (its abort flag)
// and mask, and the checks after each read: the pixels of a read that did not abort are
// all reachable, a mask has the bitmap's size, a palette holds at most 256 colours.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace iefuzz {

// Reads the last byte of every row.
inline void TouchRows(ie::TIEBitmap& Bitmap) {
    for (int32_t r = 0; r < Bitmap.GetHeight(); ++r) {
        const auto* p = static_cast<const volatile uint8_t*>(Bitmap.GetScanline(r));
        if (p && Bitmap.GetRowLen() > 0) (void)p[Bitmap.GetRowLen() - 1];
    }
}

// One read: what a reader is given.
struct ReaderRun {
    explicit ReaderRun(const std::string& Bytes) : Stream(Bytes) { Progress.Aborting = &Aborting; }

    cl::TStringStream Stream;
    ie::TIEBitmap Bitmap;
    ie::TIOParamsVals Params{nullptr};
    std::atomic<bool> Aborting{false};
    ie::TProgressRec Progress;
    std::unique_ptr<ie::TIEMask> Mask;
};

// Calls Read(run, variant) for variant 0 .. Variants - 1, each on a fresh run of the bytes,
// and checks what each read left.
template <class ReadFn>
void ReadVariants(const uint8_t* Data, size_t Size, int Variants, ReadFn Read) {
    const std::string bytes(reinterpret_cast<const char*>(Data), Size);
    for (int variant = 0; variant < Variants; ++variant) {
        ReaderRun run(bytes);
        Read(run, variant);
        if (!run.Aborting) TouchRows(run.Bitmap);
        if (run.Mask && (run.Mask->Width != run.Bitmap.GetWidth() || run.Mask->Height != run.Bitmap.GetHeight()))
            __builtin_trap();
        if (run.Params.ColorMapCount < 0 || run.Params.ColorMapCount > 256) __builtin_trap();
    }
}

}  // namespace iefuzz
