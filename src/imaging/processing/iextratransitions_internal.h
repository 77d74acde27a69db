// What the files of the GDI transition effects share: the frame geometry of a call, the
// copies of the new picture onto the frame, and the effect procedures the table lists.
#pragma once

#include <cstdint>

#include "imaging/processing/iextratransitions.h"

namespace ie::xtrans {

// W x H the frame, w x h the progress size, p the percentage.
struct TGeometry {
    TGeometry(const cl::TRect& Rect, int32_t Percent) : p(Percent) { IEProgressSize(Rect, Percent, W, H, w, h); }
    int32_t W = 0, H = 0, w = 0, h = 0, p = 0;
};

// The new picture's rectangle (X, Y, Width, Height) to the same place of the frame.
void InPlace(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, int32_t X, int32_t Y, int32_t Width, int32_t Height);
// The bitmap's rectangle (SX, SY, Width, Height) to (DX, DY) of the frame, unscaled.
void CopyAt(cl::TCanvas* Canvas, int32_t DX, int32_t DY, cl::TBitmap* Bitmap, int32_t SX, int32_t SY, int32_t Width,
            int32_t Height);
// The bitmap's rectangle (SX, SY, SW, SH) stretched into (DX, DY, DW, DH) of the frame, in
// the canvas's stretch mode.
void Stretch(cl::TCanvas* Canvas, int32_t DX, int32_t DY, int32_t DW, int32_t DH, cl::TBitmap* Bitmap, int32_t SX,
             int32_t SY, int32_t SW, int32_t SH);
// Copies the whole new picture at (0, 0) through Region, then removes the clip and deletes
// the region. A null region draws nothing. With UseDraw the copy goes through the canvas's
// Draw instead of a block transfer (the same pixels for a 24-bit picture).
void ThroughRegion(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, win::HRGN Region, bool UseDraw = false);
// A and B combined by Mode into A; B is deleted. Null operands give the other one.
win::HRGN Combine(win::HRGN A, win::HRGN B, int Mode);

// The signature of an effect procedure; most effects read only some of the arguments.
#define IE_XTRANS_PROC(Name)                                                                   \
    void Name([[maybe_unused]] cl::TCanvas* Canvas, [[maybe_unused]] cl::TBitmap* OldBitmap,   \
              [[maybe_unused]] cl::TBitmap* NewBitmap, [[maybe_unused]] const cl::TRect& Rect, \
              [[maybe_unused]] int32_t Param, [[maybe_unused]] int32_t Percent)

// Stretches, slides, wipes, build-ups, unrolls, pushes and page flips.
IE_XTRANS_PROC(ExpandFromLeft);
IE_XTRANS_PROC(ExpandFromRight);
IE_XTRANS_PROC(ExpandFromTop);
IE_XTRANS_PROC(ExpandFromBottom);
IE_XTRANS_PROC(ExpandFromTopLeft);
IE_XTRANS_PROC(ExpandFromTopRight);
IE_XTRANS_PROC(ExpandFromBottomLeft);
IE_XTRANS_PROC(ExpandFromBottomRight);
IE_XTRANS_PROC(ExpandInFromLeft);
IE_XTRANS_PROC(ExpandInFromRight);
IE_XTRANS_PROC(ExpandInFromTop);
IE_XTRANS_PROC(ExpandInFromBottom);
IE_XTRANS_PROC(ExpandInToVerticalCenter);
IE_XTRANS_PROC(ExpandInToHorizon);
IE_XTRANS_PROC(ExpandInFromSides);
IE_XTRANS_PROC(ExpandInFromTopAndBottom);
IE_XTRANS_PROC(ExpandOutFromHorizon);
IE_XTRANS_PROC(ExpandOutFromVerticalCenter);
IE_XTRANS_PROC(WipeFromTopLeft);
IE_XTRANS_PROC(WipeFromTopRight);
IE_XTRANS_PROC(WipeFromBottomLeft);
IE_XTRANS_PROC(WipeFromBottomRight);
IE_XTRANS_PROC(WipeInFromTopAndBottom);
IE_XTRANS_PROC(WipeFromHorizon);
IE_XTRANS_PROC(WipeInFromSides);
IE_XTRANS_PROC(WipeOutFromVerticalCenter);
IE_XTRANS_PROC(BuildUpFromLeft);
IE_XTRANS_PROC(BuildUpFromRight);
IE_XTRANS_PROC(BuildUpFromTop);
IE_XTRANS_PROC(BuildUpFromBottom);
IE_XTRANS_PROC(UnrollFromLeft);
IE_XTRANS_PROC(UnrollFromRight);
IE_XTRANS_PROC(UnrollFromTop);
IE_XTRANS_PROC(UnrollFromBottom);
IE_XTRANS_PROC(SlideInFromLeft);
IE_XTRANS_PROC(SlideInFromRight);
IE_XTRANS_PROC(SlideInFromTop);
IE_XTRANS_PROC(SlideInFromBottom);
IE_XTRANS_PROC(ShrinkToTopLeft);
IE_XTRANS_PROC(ShrinkToTopRight);
IE_XTRANS_PROC(ShrinkToBottomLeft);
IE_XTRANS_PROC(ShrinkToBottomRight);
IE_XTRANS_PROC(ShrinkToCenter);
IE_XTRANS_PROC(QuartersWipeInToCenter);
IE_XTRANS_PROC(QuartersExpandToCenter);
IE_XTRANS_PROC(QuartersSlideInToCenter);
IE_XTRANS_PROC(PushLeftAndSlideOut);
IE_XTRANS_PROC(PushRightAndSlideOut);
IE_XTRANS_PROC(PushUpAndSlideOut);
IE_XTRANS_PROC(PushDownAndSlideOut);
IE_XTRANS_PROC(PushAndSqueezeLeft);
IE_XTRANS_PROC(PushAndSqueezeRight);
IE_XTRANS_PROC(PushAndSqueezeUp);
IE_XTRANS_PROC(PushAndSqueezeDown);
IE_XTRANS_PROC(PageFlip);
IE_XTRANS_PROC(PageFlip2);

// Curved and circular wipes, bars, shreds, speckles, polygons, sweeps and rotations.
IE_XTRANS_PROC(CurvedWipeFromLeft);
IE_XTRANS_PROC(CurvedWipeFromRight);
IE_XTRANS_PROC(CurvedWipeFromTop);
IE_XTRANS_PROC(CurvedWipeFromBottom);
IE_XTRANS_PROC(CurvedWipeFromTopLeft);
IE_XTRANS_PROC(CurvedWipeFromTopRight);
IE_XTRANS_PROC(CurvedWipeFromBottomLeft);
IE_XTRANS_PROC(CurvedWipeFromBottomRight);
IE_XTRANS_PROC(CircularWipeFromCenter);
IE_XTRANS_PROC(CircularWipeToCenter);
IE_XTRANS_PROC(BarsInFromLeft);
IE_XTRANS_PROC(BarsInFromRight);
IE_XTRANS_PROC(BarsFromTop);
IE_XTRANS_PROC(BarsFromBottom);
IE_XTRANS_PROC(BarsLeftThenRight);
IE_XTRANS_PROC(BarsRightThenLeft);
IE_XTRANS_PROC(BarsTopThenBottom);
IE_XTRANS_PROC(BarsBottomThenTop);
IE_XTRANS_PROC(BarsFromBothSides);
IE_XTRANS_PROC(BarsFromTopAndBottom);
IE_XTRANS_PROC(CrisscrossFromTopLeft);
IE_XTRANS_PROC(CrisscrossFromTopRight);
IE_XTRANS_PROC(CrisscrossFromBottomLeft);
IE_XTRANS_PROC(CrisscrossFromBottomRight);
IE_XTRANS_PROC(CrisscrossBounceFromTopLeft);
IE_XTRANS_PROC(CrisscrossBounceFromTopRight);
IE_XTRANS_PROC(CrisscrossBounceFromBottomLeft);
IE_XTRANS_PROC(CrisscrossBounceFromBottomRight);
IE_XTRANS_PROC(CrisscrossFromLeftRightAndTop);
IE_XTRANS_PROC(CrisscrossFromLeftRightAndBottom);
IE_XTRANS_PROC(CrisscrossFromLeftTopAndBottom);
IE_XTRANS_PROC(CrisscrossFromTopLeftRightAndBottom);
IE_XTRANS_PROC(CrisscrossFromRightTopAndBottom);
IE_XTRANS_PROC(CrisscrossFromBottomLeftTopRight);
IE_XTRANS_PROC(ShreddedFromLeft);
IE_XTRANS_PROC(ShreddedFromRight);
IE_XTRANS_PROC(ShreddedFromTop);
IE_XTRANS_PROC(ShreddedFromBottom);
IE_XTRANS_PROC(ShreddedFromTopAndLeft);
IE_XTRANS_PROC(ShreddedFromTopAndRight);
IE_XTRANS_PROC(ShreddedFromBottomAndLeft);
IE_XTRANS_PROC(ShreddedFromBottomAndRight);
IE_XTRANS_PROC(ShreddedFromHorizonAndLeft);
IE_XTRANS_PROC(ShreddedFromHorizonAndRight);
IE_XTRANS_PROC(ShreddedFromTopAndVerticalCenter);
IE_XTRANS_PROC(ShreddedFromBottomAndVerticalCenter);
IE_XTRANS_PROC(ShreddedFromCenter);
IE_XTRANS_PROC(ShreddedToCenter);
IE_XTRANS_PROC(ShreddedInToHorizon);
IE_XTRANS_PROC(ShreddedInToVerticalCenter);
IE_XTRANS_PROC(ShreddedOutFromHorizon);
IE_XTRANS_PROC(ShreddedOutFromVerticalCenter);
IE_XTRANS_PROC(SpeckledWipeFromLeft);
IE_XTRANS_PROC(SpeckledWipeFromRight);
IE_XTRANS_PROC(SpeckledWipeFromTop);
IE_XTRANS_PROC(SpeckledWipeFromBottom);
IE_XTRANS_PROC(WipeDiagonalFromTopLeft);
IE_XTRANS_PROC(WipeDiagonalFromTopRight);
IE_XTRANS_PROC(WipeDiagonalFromBottomLeft);
IE_XTRANS_PROC(WipeDiagonalFromBottomRight);
IE_XTRANS_PROC(DiagonalSweepClockwise);
IE_XTRANS_PROC(DiagonalSweepCounterClockwise);
IE_XTRANS_PROC(StarburstClockwise);
IE_XTRANS_PROC(StarburstCounterClockwise);
IE_XTRANS_PROC(ArrowWipeFromLeft);
IE_XTRANS_PROC(ArrowWipeFromRight);
IE_XTRANS_PROC(ArrowWipeFromTop);
IE_XTRANS_PROC(ArrowWipeFromBottom);
IE_XTRANS_PROC(HorizontalBowTieWipe);
IE_XTRANS_PROC(VerticalBowTieWipe);
IE_XTRANS_PROC(DiagonalCrossFromCenter);
IE_XTRANS_PROC(DiagonalCrossToCenter);
IE_XTRANS_PROC(ZigzagWipeFromHorizon);
IE_XTRANS_PROC(ZigzagWipeFromVerticalCenter);
IE_XTRANS_PROC(DiamondWipeFromCenter);
IE_XTRANS_PROC(DiamondWipeToCenter);
IE_XTRANS_PROC(DiagonalBoxWipe);
IE_XTRANS_PROC(SweepClockwise);
IE_XTRANS_PROC(SweepCounterClockwise);
IE_XTRANS_PROC(RotationalRectangleClockwise);
IE_XTRANS_PROC(RotationalRectangleCounterClockwise);
IE_XTRANS_PROC(RotationalStarClockwise);
IE_XTRANS_PROC(RotationalStarCounterClockwise);
IE_XTRANS_PROC(SpirallingRectangleClockwise);
IE_XTRANS_PROC(SpirallingRectangleCounterClockwise);

// Pattern fills.
IE_XTRANS_PROC(ExpandingRectangles);
IE_XTRANS_PROC(ExpandingTriangles);
IE_XTRANS_PROC(ExpandingCircles);
IE_XTRANS_PROC(ExpandingDiamonds);
IE_XTRANS_PROC(HorizontalBlinds);
IE_XTRANS_PROC(VerticalBlinds);
IE_XTRANS_PROC(UnevenBlindsFromLeft);
IE_XTRANS_PROC(UnevenBlindsFromRight);
IE_XTRANS_PROC(UnevenBlindsFromTop);
IE_XTRANS_PROC(UnevenBlindsFromBottom);
IE_XTRANS_PROC(RectanglesFromTheLeft);
IE_XTRANS_PROC(RectanglesFromTheRight);
IE_XTRANS_PROC(RectanglesFromTheTop);
IE_XTRANS_PROC(RectanglesFromTheBottom);
IE_XTRANS_PROC(TriangularWipe);
IE_XTRANS_PROC(RandomBigBoxes);

}  // namespace ie::xtrans
