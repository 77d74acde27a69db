// Loading GIF images through the input/output component, with the frames of an animation
// composed on its logical screen.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"

namespace ie {

class TVovozIdIO;

// Loads frame Params.GIFImageIndex of the GIF in Stream into the component's bitmap, as
// the animation shows it: frames 0 to that one are drawn in turn on a canvas of the
// logical screen, each area cleared to the background when its frame asks for it
// (disposal 2) or given back its earlier content (disposal 3). A single-frame file is
// loaded as decoded. Answers the frame count; a failed frame leaves the bitmap with the
// last frame completed (unchanged when the first one fails) and the abort flag set.
int32_t IESyncLoadFromStreamGIF(TVovozIdIO* IO, cl::TStream* Stream);

// Makes IESyncLoadFromStreamGIF the component's GIF loader.
void IEGIFRegisterFrameLoader();

}  // namespace ie
