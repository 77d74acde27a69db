// Placing a picture over an area: stretched, tiled from a grid through the area's corner,
// zoomed to cover it, or unscaled at its corner; and the names of the picture modes.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "platform/windef.h"

namespace te {

enum TFCPictureMode : uint8_t {
    fcpmCenter = 0,
    fcpmCenterStretch = 1,
    fcpmStretch = 2,
    fcpmTile = 3,
    fcpmZoom = 4,
    fcpmTopLeft = 5,
};

cl::String PictureModeName(TFCPictureMode Mode);
// Exact comparison; fcpmCenter when no name matches.
TFCPictureMode PictureModeFromName(const cl::String& Name);

// The rectangle a zoomed picture of PW x PH covers when it is scaled by one factor to cover
// DestRect, centred, the odd pixel of the excess at the bottom or right.
win::RECT ZoomRect(int PW, int PH, const win::RECT& DestRect);

// Draws Picture onto Target by Mode with Target's copy mode. TransparentColor 0x1FFFFFFF
// (clNone) switches the picture's transparency off, another colour on. With ClipToArea the
// unscaled, tiled and zoomed drawings are clipped to ClipRect. Tiles lie on a grid through
// DestRect's top-left corner and cover TileRect.
void DrawPicture(cl::TBitmap* Picture, TFCPictureMode Mode, cl::TColor TransparentColor, cl::TCanvas* Target,
                 const win::RECT& TileRect, const win::RECT& DestRect, const win::RECT& ClipRect, bool ClipToArea);

}  // namespace te
