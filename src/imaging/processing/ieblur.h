// Softening of an 8-bit channel: the separable Gaussian blur (201-tap kernel in 16.16 fixed
// point, edges replicated), the 3x3 convolution with the predefined kernels, and the soft
// shadow drawn under objects with an alpha channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Gaussian blur

struct TIEGaussianKernel {
    int32_t Weights[201] = {};  // 65536 = 1.0, centred at index 100
    int32_t HalfWidth = 1;      // the taps used are 100 - HalfWidth .. 100 + HalfWidth
};

// The normalised kernel of Radius (> 0); the half-width drops the zero weights at both ends.
void IEGaussianKernel(TIEGaussianKernel& Kernel, double Radius);
// Dst[0 .. Count - 1] := Src convolved with Kernel, the end samples standing in for the
// samples beyond them.
void IEConvolveLine(const TIEGaussianKernel& Kernel, const uint8_t* Src, uint8_t* Dst, int32_t Count);
// Blurs X1..X2 x Y1..Y2 (inclusive, limited to the image) of an ie8g bitmap in place.
// Nothing for another format or a radius that is not above 0.
void IEGaussianBlurGray(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius);

// ---------------------------------------------------------------------------------------
// 3x3 convolution

struct TIEFilterPreset {
    int32_t Weights[9] = {};  // row by row from the top-left neighbour
    int32_t Divisor = 0;      // 0 is used as 1
};

// The predefined kernels and their names ("None", "Blur", "Edges", ...), in step.
extern std::vector<TIEFilterPreset> IEFilterPresets;
extern std::vector<std::string> IEFilterPresetNames;
void IEAddFilterPreset(const TIEFilterPreset& Preset, const std::string& Name);
// The nine predefined kernels (the lists are emptied first).
void IEBuildFilterPresets();
void IEFreeFilterPresets();

// Columns X1 .. Min(X2, width) - 1 and rows Y1 .. Min(Y2, height) - 1 (from 0 at least) of
// an ie8g bitmap := |weighted sum of the 3x3 neighbours| div divisor, at most 255;
// neighbours outside the image are the nearest edge pixels.
void IEConvolve3x3Gray(TIEBitmap* Bitmap, const TIEFilterPreset& Filter, int32_t X1, int32_t Y1, int32_t X2,
                       int32_t Y2);

// ---------------------------------------------------------------------------------------
// Soft shadow

// Blurs the alpha channel around the object box X1..X2 x Y1..Y2 (inclusive), moves the
// blur by the offsets and tints the newly covered pixels of ie24RGB (Color) and ie1g
// (black) images; other formats get the alpha work only. Returns the shadow margin.
int32_t IEAddSoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                        const TRGB& Color, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

}  // namespace ie
