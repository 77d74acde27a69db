// Scanline colour conversion of the input/output unit, and the single-colour conversions
// between RGB and CMYK through the library's built-in CMYK profile.
//
// The codecs turn each decoded row into the library's layouts through one routine, the
// colour-conversion hook, which the input/output unit's start-up points at
// IEConvertColorScanline. The hook first tries a colour-managed conversion with the ICC
// profiles of the image's parameters and otherwise uses fixed formulas.
#pragma once

#include <cstdint>

#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEICC;
class TIOParamsVals;

// Source layouts of a scanline (bytes per pixel in brackets).
// clang-format off
enum : uint8_t {
    iecsRGB = 0,         // R, G, B (3)
    iecsBGR = 1,         // B, G, R: TRGB (3)
    iecsCMYKInv = 2,     // C, M, Y, K stored inverted, 255 minus the ink (4)
    iecsCMYK6 = 3,       // C, M, Y, K not inverted, then 2 more bytes (6)
    iecsCIELab = 4,      // the library's 8-bit L*a*b* (3)
    iecsICCOnly = 5,     // one byte, served only by the colour-managed path (1)
    iecsRGB48LE = 6,     // R, G, B as 16-bit little-endian samples (6)
    iecsRGB48BE = 7,     // R, G, B as 16-bit big-endian samples (6)
    iecsYCbCr = 8,       // Y, Cb, Cr (3)
};
// clang-format on
// Destination kinds.
enum : uint8_t {
    iecdBGR = 1,      // TRGB (3)
    iecdCMYKInv = 2,  // C, M, Y, K inverted as iecsCMYKInv (4)
    iecdCIELab = 4,   // L*a*b* (3)
    iecdGray = 5,     // one grey byte (1)
};

// The colour-conversion hook: converts Count pixels of layout SrcFormat at Src into Dst of
// kind DstKind. Params may be null.
using TIEConvertColorFunction = void (*)(void* Src, uint8_t SrcFormat, void* Dst, TIOParamsVals* Params, int32_t Count,
                                         uint8_t DstKind);
extern TIEConvertColorFunction IEConvertColorFunction;  // null until the unit's start-up
// The colour-management switch (False after start-up): embedded profiles are applied.
extern bool IEICCConversionEnabled;
// The CMYK-through-ICC switch (off until the unit's start-up, which turns it on):
// single-colour CMYK conversions go through the built-in CMYK profile, else through the
// formulas.
extern bool IECMYKProfileEnabled;

// Converts Count pixels from Src into Dst: through the profile Input to the profile
// Default when both are given and Input can convert them, else by the formulas. A
// combination without a formula leaves Dst unchanged. Layout iecsCMYK6 inverts the four
// ink bytes of the source in place.
void IEConvertColorScanlineWith(void* Src, uint8_t SrcFormat, void* Dst, TIEICC* Input, TIEICC* Default, int32_t Count,
                                uint8_t DstKind);

// Makes the built-in CMYK profile and the sRGB profile ready with their two transforms,
// once (a profile that cannot be made is not tried again until IEFreeCMYKProfiles).
bool IELoadCMYKProfiles();
// Frees both profiles; the next single-colour conversion makes them again. Run by the
// input/output unit's shutdown.
void IEFreeCMYKProfiles();
// The built-in CMYK profile (null when it cannot be made).
TIEICC* IEGetCMYKProfile();

// A CMYK pixel as stored by the readers (each byte 255 minus the ink amount) to a colour:
// through the built-in profile while the CMYK-through-ICC switch is on and the profile can
// be made, else R := C' x K' div 255, G := M' x K' div 255, B := Y' x K' div 255.
void IECMYKToRGB(const TCMYK& CMYK, TRGB& RGB);
inline TRGB IECMYKToRGB(const TCMYK& CMYK) {
    TRGB c;
    IECMYKToRGB(CMYK, c);
    return c;
}
// A colour (0x00RRGGBB) to a CMYK pixel as stored by the readers: through the built-in
// profile likewise, else K' := the largest of R, G, B (1 when all are 0), C' := R x 255 div
// K', M' := G x 255 div K', Y' := B x 255 div K'.
TCMYK IERGBToCMYK(uint32_t Color);
inline TCMYK IERGBToCMYK(const TRGB& Color) {
    return IERGBToCMYK((uint32_t{Color.r} << 16) | (uint32_t{Color.g} << 8) | Color.b);
}

}  // namespace ie
