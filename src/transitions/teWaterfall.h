// The waterfall effect: the new picture runs over the old one like water, every column
// (downward, upward) or row (sideways) advancing on its own at a random speed.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"
#include "transitions/teMasked.h"

namespace te {

struct TWaterfallGeometry {
    TTEEffectDirection Direction = tedDown;
    std::vector<uint16_t> Progress;  // per line: how far it has advanced from its side

    static int32_t FrameCount(TTEEffectDirection Direction, int32_t Width, int32_t Height);
    // One progress entry per column (down, up) or row (right, left), all 0.
    void Setup(TTEEffectDirection ADirection, int32_t Width, int32_t Height);
    // Advances every line by Step times a random 0..3 (one draw of the shared generator per
    // line), draws (with Draw, with Canvas's pen) the pieces added and sets Data.UpdateRect.
    void DrawFrame(cl::TCanvas* Canvas, int32_t Step, bool Draw, TTETransitionData* Data);
};

class TWaterfallTransition : public TMaskedTransition {
    CL_DECLARE_COMPONENT(TWaterfallTransition, TMaskedTransition)
public:
    explicit TWaterfallTransition(cl::TComponent* AOwner);

    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void Finalize(TTETransitionData* Data) override;
    cl::String Description() const override { return "Waterfall"; }
    cl::String EditorClassName() const override { return "TTransitionEffectEditor"; }
    int32_t CalcFrameCount(TTETransitionData* Data) override;
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                       int32_t PrevFrame, int32_t Step) override;
    // Never smooths: the run uses the 1-bit mask and the display's format.
    bool SmoothingActive(TTETransitionDevice*) override { return false; }

    const TWaterfallGeometry& Geometry() const { return FGeometry; }

private:
    TWaterfallGeometry FGeometry;
};

// Registers the waterfall effect and declares its published properties.
void StartUpteWaterfall();

}  // namespace te
