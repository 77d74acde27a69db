// The ICC profile loader on any bytes: the tag texts are read within the profile, and a
// profile the colour engine opens converts a row to sRGB and back without harm.
#include <cstddef>
#include <cstdint>

#include "imaging/core/ieicc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    ie::TIEICC p;
    p.LoadFromBuffer(size ? data : nullptr, static_cast<int32_t>(size));
    if (p.GetRawLength() != static_cast<int32_t>(size)) __builtin_trap();
    if (p.GetDescription().size() >= 1000 || p.GetRightsNotice().size() >= 1000) __builtin_trap();
    if (!p.IsValid()) return 0;
    ie::TIEICC srgb;
    srgb.LoadSRGBProfile();
    uint8_t src[8 * 4] = {0, 0, 0, 0, 255, 255, 255, 255, 128, 64, 32, 16, 1, 2, 3, 4};
    uint8_t dst[8 * 6];
    for (int32_t in = 0; in < ie::IEICC_FormatCount; ++in) {
        p.TransformPixels(&srgb, in, 4, dst, src, 0, 0, ie::IEICC_BGR);
        srgb.TransformPixels(&p, ie::IEICC_BGR, 4, dst, src, 0, 0, in);
    }
    return 0;
}
