// Canvas operations that change the canvas without resampling the picture: a new canvas
// size with the picture aligned inside it, filling a rectangle with one colour, cropping
// to a rectangle, and cropping to the part whose alpha is not zero.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "imaging/core/hyieutils_bitmap.h"

namespace ie {

// The canvas becomes NewWidth x NewHeight with the picture aligned inside (0 left or top,
// 1 centre, 2 right or bottom); new area in Background, new alpha area FillAlpha (an
// alpha channel is made when FillAlpha < 255). A picture smaller than 2 x 2 is first
// cleared to Background. False, with nothing changed, for a size below 1 or the current
// size.
bool IEImageResizeBitmap(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                         int32_t FillAlpha, cl::TColor Background);

// Fills X1..X2 - 1 x Y1..Y2 - 1 (limited to the image) with Color: ie1g sets the bits when
// Color's red is not 0 and clears them otherwise, ie8g takes the grey level, ie24RGB the
// three bytes, other formats the colour as TIEBitmap::FillRect reads it. The alpha channel
// is not filled. Progress after each row of the 1-bit, grey and 24-bit forms.
void IEFillRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRGB& Color,
                const TIEProgressEvent& OnProgress, cl::TObject* Sender);

// The picture becomes its part X1..X2 x Y1..Y2 (inclusive), alpha channel and palette
// included. False, with nothing changed, for the whole picture, a rectangle reaching
// outside the picture, or one of negative size.
bool IECropBitmap(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

// Rect := the columns and rows holding a non-zero alpha (Left, Top, Right, Bottom,
// inclusive); the whole picture without an alpha channel; (width, height, -1, -1) when
// every alpha is zero.
void IEGetAlphaBounds(TIEBitmap* Bitmap, cl::TRect& Rect);
// IECropBitmap to IEGetAlphaBounds: no change without an alpha channel or when every alpha
// is zero.
bool IECropTransparentBitmap(TIEBitmap* Bitmap);

}  // namespace ie
