// Drawing a TIEBitmap into a 24-bit bitmap: the resamplers the renderer calls when a
// filter is asked for.
//
// The filtered resamplers belong to the processing unit, which installs them here from its
// start-up hook. Until it has (a program without the processing unit, or before the
// library started), a filter is not applied: the renderer maps pixels by nearest neighbour
// and the soft shadow is drawn unblurred.
#pragma once

#include <cstdint>

#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

struct TIERenderResamplers {
    // An ie24RGB Source into the allocated ie24RGB Dest with Filter (not rfNone).
    void (*ResampleFiltered)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
    // An ie1g Source into the allocated Dest: ie1g for rfProjectBW and rfProjectWB, grey
    // ie24RGB for the other filters.
    void (*Resample1Bit)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
    // An 8-bit single-channel Source (an alpha channel) into the allocated Dest.
    void (*ResampleGray8)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
    // The inclusive rectangle X1..X2, Y1..Y2 of an ie1g Source reduced by area averaging
    // into the whole of the allocated ie24RGB Dest.
    void (*BoxResample1BitTo24)(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                TIEBitmap* Dest) = nullptr;
    // Blurs the inclusive rectangle of an 8-bit grey Bitmap in place, values kept in 0..255.
    void (*GaussianBlurGray)(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                             double Radius) = nullptr;
};

// Installed by the processing unit; all null until then.
extern TIERenderResamplers IERenderResamplers;

// The contrast factor F of a TIEBitmap.Contrast value: 1 - sqrt(-Contrast) / 10 below 0,
// Contrast / 10 + 1 otherwise.
double IEContrastFactor(int32_t Contrast);

}  // namespace ie
