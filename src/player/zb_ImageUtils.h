// The mask pictures of the show: a slide whose transition is the bitmap mask carries a
// picture in the program file, in any format the imaging library reads; the transition
// needs an 8-bit grey bitmap of it.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"

namespace player {

// The imaging library's start-up with the units the player uses (drawing wrapper,
// input/output, processing, view), in the library's fixed order; and its shutdown.
void StartUpImagingLibrary();

// The most pixels a mask picture may have: an 8K screen (7680 x 4320) fits, with room. A
// mask is stretched to the screen, so a larger one only costs time and memory on the
// player's main thread.
inline constexpr int64_t kMaskPixelBudget = int64_t{8192} * 4096;

void ShutDownImagingLibrary();

// Fills Bitmap with the picture held in Source from StartPos up to EndPos (the range is
// cut to the stream, as every piece of the program file is): decoded by its content,
// turned grey ((R x 21 + G x 71 + B x 8) div 100) and made an 8-bit bitmap whose colour
// table is the grey ramp, so each index is the grey value. The picture is made aside and
// takes Bitmap's place only once it is whole: when anything fails (no picture in a known
// format, an empty or misplaced range, a picture of no width, the conversion) Bitmap is
// left exactly as it was. A picture of more than kMaskPixelBudget pixels is refused before
// it is decoded, like any picture that cannot be had. Never raises.
void LoadMaskFromStream(cl::TStream* Source, cl::TBitmap* Bitmap, int64_t StartPos, int64_t EndPos) noexcept;

}  // namespace player
