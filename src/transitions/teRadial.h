// The radial effect: hands turn around a pivot (the centre, the middle of an edge or a
// corner) like the hands of a clock and paint, each frame, the pie slices they swept.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"
#include "transitions/teMasked.h"

namespace te {

// The geometry of one radial run: the perimeter one pixel outside the picture, numbered
// clockwise from its top-left corner, the hands of every style and the slices they sweep.
class TRadialGeometry {
public:
    // Computes the perimeter and the corners that a style's polygons may pass.
    void Setup(int32_t Width, int32_t Height, int Style, int SubStyle);

    int32_t FrameCount(bool Smooth) const;
    // Paints (with Draw, on Canvas with its pen and brush) the slices of frames
    // Frame - Step + 1 .. Frame; unites each slice's bounds into Data.UpdateRect and, with
    // Report, adds them to Data.DirtyRects. FC is the run's frame count.
    void DrawFrame(cl::TCanvas* Canvas, int32_t Frame, int32_t Step, int32_t FC, bool Smooth, bool Report, bool Draw,
                   TTETransitionData* Data) const;

    // Perimeter point of position P (1..T).
    win::POINT PerimeterPoint(int32_t P) const;

    int Style = 1;
    int SubStyle = 1;
    int32_t W1 = 1, H1 = 1;  // the run's size made odd
    int32_t CX = 0, CY = 0;
    int32_t T = 0, P1 = 0, P2 = 0, P3 = 0;
    uint8_t CornerFlags = 0xF;  // bit i: corner Ci may be a polygon vertex

private:
    struct Ctx;
    void Slice(const Ctx& ctx, win::POINT Pivot, int32_t Count, int32_t P) const;
    void Hand(const Ctx& ctx, int HandId, int32_t F, int32_t Count) const;
    void Frame(const Ctx& ctx, int Sub, int32_t K, int32_t C) const;
    void TwoHands(const Ctx& ctx, int HandA, int32_t ArgA, int HandB, int32_t ArgB, int32_t K, int32_t C) const;
    int32_t Corner(int i) const;
    win::POINT CornerPoint(int i) const;
};

int RadialSubStyleCount(int Style);
int RadialReversedSubStyle(int Style, int SubStyle);

class TRadialTransition : public TMaskedTransition {
    CL_DECLARE_COMPONENT(TRadialTransition, TMaskedTransition)
public:
    explicit TRadialTransition(cl::TComponent* AOwner);

    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    cl::String Description() const override { return "Radial"; }
    uint16_t ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) override;
    int32_t CalcFrameCount(TTETransitionData* Data) override;
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                       int32_t PrevFrame, int32_t Step) override;
    bool ClearsMaskAfterFrame(TTETransitionDevice*) override { return !SmoothingOn(); }
    bool AccumulatesSmoothMask() override { return true; }
    uint16_t SubStyleCount(uint16_t AStyle) override { return static_cast<uint16_t>(RadialSubStyleCount(AStyle)); }

    const TRadialGeometry& Geometry() const { return FGeometry; }

private:
    TRadialGeometry FGeometry;
};

// Registers the radial effect and declares its published properties.
void StartUpteRadial();

}  // namespace te
