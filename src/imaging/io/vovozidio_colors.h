// Single-colour conversions between RGB and the inverted CMYK that the readers deliver
// (each stored byte is 255 minus the ink amount), by the fixed formulas. They serve the
// image buffer's CMYK pixels, the codecs and the processing code.
#pragma once

#include <cstdint>

#include "imaging/core/hyiedefs.h"

namespace ie {

// R := C' x K' div 255, G := M' x K' div 255, B := Y' x K' div 255.
void IECMYKToRGB(const TCMYK& CMYK, TRGB& RGB);
inline TRGB IECMYKToRGB(const TCMYK& CMYK) {
    TRGB c;
    IECMYKToRGB(CMYK, c);
    return c;
}
// Color is 0x00RRGGBB. K' := the largest of R, G, B (1 when all are 0), C' := R x 255 div K',
// M' := G x 255 div K', Y' := B x 255 div K'.
TCMYK IERGBToCMYK(uint32_t Color);
inline TCMYK IERGBToCMYK(const TRGB& Color) {
    return IERGBToCMYK((uint32_t{Color.r} << 16) | (uint32_t{Color.g} << 8) | Color.b);
}

}  // namespace ie
