// The drip effect: the new picture is revealed as a band growing from one edge while the
// rest is covered with the band's leading line of the new picture stretched over it, so the
// new picture seems to run across the old one like wet paint.
#pragma once

#include "transitions/teTimed.h"

namespace te {

class TDripTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TDripTransition, TTimedTransitionEffect)
public:
    explicit TDripTransition(cl::TComponent* AOwner);

    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void Finalize(TTETransitionData* Data) override;
    // The band advances by Step; the frame index is not used.
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    cl::String Description() const override { return "Drip"; }

private:
    cl::TCanvas* Surface(TTETransitionData* Data) const;
    win::RECT FBand{};
    win::RECT FRest{};
    int FOldStretchMode = 0;
};

void StartUpteDrip();

}  // namespace te
