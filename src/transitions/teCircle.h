// The circle effect: a circle grows from a point (the centre, a corner or the middle of an
// edge) until it covers the picture, or shrinks towards such a point.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"
#include "transitions/teMasked.h"

namespace te {

// The geometry of one circle run.
struct TCircleGeometry {
    int Style = 1;
    int SubStyle = 1;

    // The frame count: the largest radius needed, rnd(sqrt(a*a + b*b)) + 1.
    static int32_t FrameCount(int Style, int SubStyle, int32_t Width, int32_t Height);
    // True for the sub-styles whose circle shrinks (the mask is inverted after drawing).
    static bool Shrinking(int Style, int SubStyle);
    // The point a sub-style's circle grows from or shrinks to.
    static win::POINT Centre(int Style, int SubStyle, int32_t Width, int32_t Height);
    // The square around the centre of radius R.
    static win::RECT Box(win::POINT Centre, int32_t R);
    // The largest square inside the circle of radius R, less one pixel.
    static win::RECT Inner(win::POINT Centre, int32_t R);

    // Sets Data.UpdateRect and Data.UnUpdateRect of frame Frame (Step frames since the last
    // one) and, with Draw, draws the frame's circle on Canvas with its pen and brush. FC is
    // the run's frame count; Smooth tells whether smoothing is active.
    void DrawFrame(cl::TCanvas* Canvas, int32_t Frame, int32_t Step, int32_t FC, bool Smooth, bool Draw,
                   TTETransitionData* Data) const;
};

int CircleSubStyleCount(int Style);
int CircleReversedSubStyle(int Style, int SubStyle);

class TCircleTransition : public TMaskedTransition {
    CL_DECLARE_COMPONENT(TCircleTransition, TMaskedTransition)
public:
    explicit TCircleTransition(cl::TComponent* AOwner);

    cl::String Description() const override { return "Circle"; }
    uint16_t ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) override;
    int32_t CalcFrameCount(TTETransitionData* Data) override;
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                       int32_t PrevFrame, int32_t Step) override;
    bool AccumulatesMask() override { return true; }
    bool InvertsMask() override;
    bool AccumulatesSmoothMask() override { return !InvertsMask(); }
    uint16_t SubStyleCount(uint16_t AStyle) override { return static_cast<uint16_t>(CircleSubStyleCount(AStyle)); }
};

// Registers the circle effect and declares its published properties.
void StartUpteCircle();

}  // namespace te
