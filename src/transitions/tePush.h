// The push effect: the new picture slides in from one side and pushes the old one out of
// the other, both moving together.
#pragma once

#include "transitions/teTimed.h"

namespace te {

class TPushTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TPushTransition, TTimedTransitionEffect)
public:
    explicit TPushTransition(cl::TComponent* AOwner);

    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    // Each frame depends only on its index: skipped frames cost nothing.
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    cl::String Description() const override { return "Push"; }

private:
    bool FUseWorkBitmap = false;
};

// Registers the class and declares its published properties.
void StartUptePush();

}  // namespace te
