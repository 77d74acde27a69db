// Rotation of a TIEBitmap by any angle, growing the canvas to hold the whole result: three
// shears (with or without anti-aliasing) for 24-bit and 8-bit images, inverse mapping with
// bilinear or bicubic sampling, nearest-neighbour inverse mapping for every format, a
// 1-bit (and 8-bit) rotation, and plain copies for quarter and half turns. Angles are in
// degrees; a positive angle turns the picture counter-clockwise as displayed.
#pragma once

#include <cstdint>

#include "imaging/core/hyieutils_bitmap.h"

namespace ie {

// True when Angle has no fractional part and is a multiple of 90.
bool IEIsMultipleOf90(double Angle);

// Quarter turns into Dest (Source's height x width, Source's format): clockwise, Dest row c
// is Source column c read from the bottom up; counter-clockwise, Dest row W - 1 - c is
// Source column c read from the top down. The 24 forms take ie24RGB, the 8 forms ie8g and
// ie8p (the palette goes along); other formats leave Dest alone.
void IERotate90CW24(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CW8(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CCW24(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CCW8(TIEBitmap* Source, TIEBitmap* Dest);

// Three shears of an ie24RGB image in place (other formats go to IERotate1Bit with a set
// background bit when the background's three channels are all non-zero).
void IERotateBitmap(TIEBitmap* Bitmap, bool AntiAlias, cl::TObject* Sender, double Angle, const TRGB& Background,
                    const TIEProgressEvent& OnProgress);
// The same on one byte per pixel (ie8g, ie8p).
void IERotateShear8(TIEBitmap* Bitmap, bool AntiAlias, uint8_t Background, double Angle,
                    const TIEProgressEvent& OnProgress, cl::TObject* Sender);

// Inverse mapping with Mode 1 bilinear or 2 bicubic sampling, in place; a 3-pixel frame is
// cut from every side of the result. ie24RGB (the 24 form) and ie8g / ie8p (the 8 form);
// other modes and formats change nothing.
void IERotateInterpolated24(TIEBitmap* Bitmap, cl::TColor Background, int32_t Mode, double Angle,
                            const TIEProgressEvent& OnProgress, cl::TObject* Sender);
void IERotateInterpolated8(TIEBitmap* Bitmap, uint8_t Background, int32_t Mode, double Angle);

// Nearest-neighbour inverse mapping in place, any format. Background is a fill value as
// TIEBitmap::Fill takes it (a TColor for colour formats, the sample for grey ones).
void IERotateNearest(TIEBitmap* Bitmap, double Background, cl::TObject* Sender, double Angle,
                     const TIEProgressEvent& OnProgress);
// Source rotated into Dest, which is reallocated to the turned size in Source's format.
void IERotateBitmapInto(TIEBitmap* Source, TIEBitmap* Dest, double Background, double Angle,
                        const TIEProgressEvent& OnProgress, cl::TObject* Sender);

// ie1g in place; exact quarter and half turns are copies.
void IERotate1Bit(TIEBitmap* Bitmap, bool BackgroundBit, double Angle, const TIEProgressEvent& OnProgress,
                  cl::TObject* Sender);
// The same mapping on ie8g and ie8p bytes; other formats are ignored.
void IERotate8Bit(TIEBitmap* Bitmap, uint8_t Background, double Angle);

// The rotation of the processing component's Rotate: picks the engine by AntiAlias, Mode
// and pixel format and turns the alpha channel the same way (background 0). Background is
// the image's background colour. False, with nothing changed, for an angle of 0 (or not a
// number), an empty image, or a Mode other than 0 (three shears), 1 (bilinear), 2 (bicubic).
bool IERotateImage(TIEBitmap* Bitmap, double Angle, bool AntiAlias, int32_t Mode, cl::TColor Background,
                   const TIEProgressEvent& OnProgress, cl::TObject* Sender);

}  // namespace ie
