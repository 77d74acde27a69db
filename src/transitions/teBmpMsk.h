// The bitmap-mask transition: the new picture is revealed in the order given by an 8-bit
// grey mask picture, brightest first (darkest first when reversed). The mask is placed over
// the area stretched, tiled or zoomed. Smoothing (MMX, 15 to 32 bits) blends each pixel in
// over a band of frames instead of switching it at once. With no mask the run is a plain cut.
#pragma once

#include <memory>

#include "transitions/teBkgrnd.h"
#include "transitions/teMskWk.h"
#include "transitions/teTimed.h"

namespace te {

class TBmpMaskData : public TTECustomData {
    CL_DECLARE_CLASS(TBmpMaskData, TTECustomData)
public:
    explicit TBmpMaskData(TTETransitionData* AData) : TTECustomData(AData) {}
    ~TBmpMaskData() override;

    TTEMaskRoutine SmoothRoutine;
    TTEMaskRoutine SmoothRoutineBack;
    bool Smooth = false;
    std::unique_ptr<cl::TBitmap> WorkMask;
};

class TBmpMaskTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TBmpMaskTransition, TTimedTransitionEffect)
public:
    explicit TBmpMaskTransition(cl::TComponent* AOwner);
    ~TBmpMaskTransition() override;

    cl::TBitmap* GetMask() const { return FMask.get(); }
    // ETransitionEffectError "Transition mask should have 8 bits per pixel" for a non-empty
    // bitmap of another format; nil empties the mask.
    void SetMask(cl::TBitmap* Value);
    TFCPictureMode GetMaskMode() const { return FMaskMode; }
    // Keeps fcpmStretch, fcpmTile and fcpmZoom; ignores the others.
    void SetMaskMode(TFCPictureMode Value);
    uint16_t GetSmoothingLevel() const { return FSmoothingLevel; }
    // Keeps 0 to 5.
    void SetSmoothingLevel(uint16_t Value);

    bool SmoothingActive(TTETransitionDevice* ADevice) const;
    // The band of smoothing frames of a level: 8, 16, 32, 64, 128 (0 without smoothing).
    static int SmoothingBand(int Level);

    void Assign(cl::TPersistent* Source) override;
    int GetBitmapsWidth(TTETransitionData* Data) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Bitmap mask"; }
    cl::String EditorClassName() const override { return "TBmpMaskTransitionEditor"; }
    TTransitionEffect* TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) override;

    bool InternalMaskFlag = false;

private:
    std::unique_ptr<cl::TBitmap> FMask;
    TFCPictureMode FMaskMode = fcpmStretch;
    uint16_t FSmoothingLevel = 0;
};

void StartUpteBmpMsk();

}  // namespace te
