// Pixel and colour helpers of the processing unit that the whole imaging library uses:
// rounding and clamping, colours as TColor and as three bytes, grey levels, RGB and HSL,
// the nearest palette entry, and copying runs of bits between most-significant-bit-first
// buffers (the layout of 1-bit rows).
#pragma once

#include <cstdint>
#include <utility>

#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

// ---------------------------------------------------------------------------------------
// Numbers

// Trunc(X), plus 1 when X has a positive fraction.
int32_t IECeil(double X);
// Trunc(X), minus 1 when X has a negative fraction.
int32_t IEFloor(double X);
inline int32_t IEMax(int32_t A, int32_t B) { return A < B ? B : A; }
inline int32_t IEMin(int32_t A, int32_t B) { return B < A ? B : A; }
// A when B >= A, else B (A on ties); B when B > A, else A.
inline double IEMinFloat(double A, double B) { return B >= A ? A : B; }
inline double IEMaxFloat(double A, double B) { return B > A ? B : A; }
// Low when Value <= Low (even above High), Value below High, else High.
inline int32_t IEClamp(int32_t Value, int32_t Low, int32_t High) {
    return Value <= Low ? Low : Value < High ? Value : High;
}
inline int32_t IEClampByte(int32_t Value) { return Value < 0 ? 0 : Value < 256 ? Value : 255; }
inline void IESwapInt(int32_t& A, int32_t& B) { std::swap(A, B); }
inline void IESwapByte(uint8_t& A, uint8_t& B) { std::swap(A, B); }
// Swaps so that X1 <= X2 and Y1 <= Y2.
void IEOrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);

// ---------------------------------------------------------------------------------------
// Colours

inline TCMYK IECreateCMYK(uint8_t C, uint8_t M, uint8_t Y, uint8_t K) { return TCMYK{C, M, Y, K}; }
inline TRGB IECreateRGB(uint8_t R, uint8_t G, uint8_t B) { return TRGB{B, G, R}; }
// (R x red weight + G x green weight + B x blue weight) div 100 with the library's weights.
inline int32_t IERGBToGray(const TRGB& Color) {
    return (Color.r * IEGrayWeightRed + Color.g * IEGrayWeightGreen + Color.b * IEGrayWeightBlue) / 100;
}
// The colour as a TColor (red in the low byte).
inline cl::TColor IERGBToColor(const TRGB& Color) {
    return static_cast<cl::TColor>(Color.r | (Color.g << 8) | (Color.b << 16));
}
// A TColor (system colours resolved) as three bytes.
void IEColorToRGB(cl::TColor Color, TRGB& RGB);
TRGB IEColorToRGB(cl::TColor Color);
// A TColor (system colours resolved) as the 32-bit ARGB of pens and brushes.
uint32_t IEColorToARGB(cl::TColor Color, uint8_t Alpha);
inline bool IEEqualRGB(const TRGB& A, const TRGB& B) { return A.r == B.r && A.g == B.g && A.b == B.b; }
// The first of the Count entries with the smallest |dR| + |dG| + |dB| to Color; 0 for no
// entries.
int32_t IEFindClosestColor(const TRGB* Palette, int32_t Count, const TRGB& Color);
// Hue, saturation and lightness in 0..1 (grey gives hue and saturation 0).
void IERGBToHSL(double& H, double& S, double& L, const TRGB& Color);
// Back to three bytes, each rounded (halves to even) and limited to 0..255.
void IEHSLToRGB(TRGB& Color, double H, double S, double L);

// ---------------------------------------------------------------------------------------
// Bits (bit 0 is the most significant bit of byte 0)

// Copies BitCount bits from bit SourceBitPos of Source to bit DestBitPos of Dest, keeping
// every other destination bit. SourceSize is the number of bytes readable from the start
// of Source: bits beyond it read as 0. Nothing for a negative position or BitCount < 1.
void IECopyBits(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceSize, int32_t BitCount,
                int32_t SourceBitPos);

// The same bits as IECopyBits, one at a time (SourceSize is not used).
void IECopyBitsOneByOne(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceSize, int32_t BitCount,
                        int32_t SourceBitPos);
// Bitwise NOT of Count bytes; nothing for Count <= 0.
void IEInvertBytes(void* Buffer, int32_t Count);
// Bitwise NOT of every row.
void IEInvertBitmap(TIEBitmap* Bitmap);

}  // namespace ie
