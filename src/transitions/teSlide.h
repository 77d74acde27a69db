// The slide effect: one picture moves over the other. By default the new picture slides in
// over the old one; with SlideOut the old picture slides away and uncovers the new one.
// Either picture can be elastic: stretched or squeezed into its share of the area instead
// of moving as a rigid sheet.
#pragma once

#include "transitions/teTimed.h"

namespace te {

class TSlideTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TSlideTransition, TTimedTransitionEffect)
public:
    explicit TSlideTransition(cl::TComponent* AOwner);

    bool GetElasticSrc() const { return ElasticSrc; }
    void SetElasticSrc(bool Value) { ElasticSrc = Value; }
    bool GetElasticDst() const { return ElasticDst; }
    void SetElasticDst(bool Value) { ElasticDst = Value; }
    bool GetSlideOut() const { return SlideOut; }
    void SetSlideOut(bool Value) { SlideOut = Value; }

    // The drawing mode (1..46) of the effective direction and the effective flags.
    int SelectMode() const;

    void Assign(cl::TPersistent* Source) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void Finalize(TTETransitionData* Data) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Slide"; }
    cl::String EditorClassName() const override { return "TSlideTransitionEditor"; }

    bool ElasticSrc = false;
    bool ElasticDst = false;
    bool SlideOut = false;

private:
    int FOldStretchMode = 0;
    int FMode = 0;
    win::RECT FArea{};
    bool FUseWorkBitmap = false;
};

void StartUpteSlide();

}  // namespace te
