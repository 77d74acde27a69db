// The blur effect: the old picture is blurred with a box filter of growing radius, the new
// picture takes over blurred just as much and sharpens back. Box averages come from a
// summed-area table with a white margin, so each frame costs the same whatever the radius,
// and the picture fades towards white near its edges as the radius grows. On palette
// displays a fuse of style 1 runs instead.
#pragma once

#include "transitions/teSumTable.h"
#include "transitions/teTimed.h"

namespace te {

class TBlurTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TBlurTransition, TTimedTransitionEffect)
public:
    explicit TBlurTransition(cl::TComponent* AOwner);

    uint8_t GetRadius() const { return FRadius; }
    // 1 to 50; other values are ignored.
    void SetRadius(uint8_t Value);

    void Assign(cl::TPersistent* Source) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Blur"; }
    cl::String EditorClassName() const override { return "TBlurTransitionEditor"; }
    TTransitionEffect* TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) override;

    // Draws Table's picture blurred with radius A (box side 2A + 1) into the 24-bit Bitmap.
    static void DrawBlurred(const TSummedAreaTable& Table, cl::TBitmap* Bitmap, int W, int H, int A);

private:
    uint8_t FRadius = 50;
    int FRunRadius = 0;
};

void StartUpteBlur();

}  // namespace te
