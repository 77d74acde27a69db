#include "imaging/io/vovozidio_colors.h"

#include <algorithm>

namespace ie {

void IECMYKToRGB(const TCMYK& CMYK, TRGB& RGB) {
    RGB.r = static_cast<uint8_t>(CMYK.c * CMYK.k / 255);
    RGB.g = static_cast<uint8_t>(CMYK.m * CMYK.k / 255);
    RGB.b = static_cast<uint8_t>(CMYK.y * CMYK.k / 255);
}

TCMYK IERGBToCMYK(uint32_t Color) {
    const int r = static_cast<uint8_t>(Color >> 16), g = static_cast<uint8_t>(Color >> 8),
              b = static_cast<uint8_t>(Color);
    int k = std::max({r, g, b});
    if (k == 0) k = 1;
    return TCMYK{static_cast<uint8_t>(r * 255 / k), static_cast<uint8_t>(g * 255 / k),
                 static_cast<uint8_t>(b * 255 / k), static_cast<uint8_t>(k)};
}

}  // namespace ie
