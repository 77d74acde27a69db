// The alpha blend effect: cross-fades from the old picture to the new one, each frame a
// weighted mix of the two whole pictures. On palette and monochrome displays the run is
// handed to a fuse effect of style 1.
#pragma once

#include <cstdint>

#include "transitions/teTimed.h"

namespace te {

class TBlendTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TBlendTransition, TTimedTransitionEffect)
public:
    explicit TBlendTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {}

    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    cl::String Description() const override { return "Alpha blend"; }
    TTransitionEffect* TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) override;

    // The share (0..100) of 32-bit words equal in the old and new pictures, measured at the
    // start of a run that blends on the split-field path.
    int32_t EqualPercent() const { return FEqualPercent; }

private:
    int32_t FEqualPercent = 0;
};

// Registers the class and declares its published properties.
void StartUpteBlend();

}  // namespace te
