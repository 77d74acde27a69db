// The base of the effects that reveal the new picture through a growing mask. Each frame the
// descendant draws into a mask the part of the picture that the frame reveals, and the base
// copies the new picture into the work bitmap through it. With smoothing (MMX and a 15- to
// 32-bit display) the mask is an 8-bit grey image: a newly revealed area takes a light grey
// that darkens over the following frames, and the base blends old and new pictures by it,
// so the revealed edge becomes a soft band.
#pragma once

#include <vector>

#include <cstdint>

#include "classlib/Graphics.h"
#include "classlib/TypInfo.h"
#include "transitions/teMskWk.h"
#include "transitions/teTimed.h"

namespace te {

class TMaskedTransition : public TTimedTransitionEffect {
    CL_DECLARE_CLASS(TMaskedTransition, TTimedTransitionEffect)
public:
    explicit TMaskedTransition(cl::TComponent* AOwner);
    ~TMaskedTransition() override;

    uint16_t GetStyle() const { return FStyle; }
    // Only a different value up to the style count; SubStyle then becomes 1 (0 for style 0).
    void SetStyle(uint16_t Value);
    uint16_t GetSubStyle() const { return FSubStyle; }
    // Only a different value up to SubStyleCount(Style).
    void SetSubStyle(uint16_t Value);
    uint16_t GetSmoothingLevel() const { return FSmoothingLevel; }
    // 0 to 7; other values are ignored.
    void SetSmoothingLevel(uint16_t Value);
    uint16_t StyleCount() const { return FStyleCount; }

    // Style, or for style 0 the style picked at random for the run (on first use).
    uint16_t EffectiveStyle();
    // SubStyle, or for 0 the sub-style picked at random for the run; through ReversedSubStyle
    // when Reversed is set.
    uint16_t EffectiveSubStyle();

    // Virtual operations of the masked effects, in slot order.
    virtual uint16_t ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) {
        (void)AStyle;
        return ASubStyle;
    }
    virtual int32_t CalcFrameCount(TTETransitionData* Data) = 0;
    // Draws into Mask (with its canvas's current pen and brush) the area revealed by frames
    // PrevFrame + 1 to Frame when Draw; when Report sets Data's UpdateRect and UnUpdateRect or
    // adds DirtyRects.
    virtual void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                               int32_t PrevFrame, int32_t Step) = 0;
    virtual bool AccumulatesMask() { return false; }
    virtual bool ClearsMaskAfterFrame(TTETransitionDevice* ADevice) {
        (void)ADevice;
        return false;
    }
    virtual bool InvertsMask() { return false; }
    virtual bool AccumulatesSmoothMask() { return false; }
    // MMX, a smoothing level and a 15-, 16-, 24- or 32-bit device format.
    virtual bool SmoothingActive(TTETransitionDevice* ADevice);
    virtual uint16_t SubStyleCount(uint16_t AStyle) { return AStyle != 0 ? 1 : 0; }

    void Assign(cl::TPersistent* Source) override;
    int GetBitmapsWidth(TTETransitionData* Data) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void Finalize(TTETransitionData* Data) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String EditorClassName() const override { return "TMaskedTransitionEditor"; }

    // The run's masks (for the descendants and the tests; null outside a pass).
    cl::TBitmap* MaskBitmap() const { return FMask; }
    cl::TBitmap* AccumMaskBitmap() const { return FAccumMask; }
    cl::TBitmap* SmoothMaskBitmap() const { return FSmoothMask; }
    cl::TBitmap* SmoothMask2Bitmap() const { return FSmoothMask2; }
    bool SmoothingOn() const { return FSmoothing; }
    // The smoothing table of a level (1 to 7): grey step, band frames, top and bottom grey.
    static void SmoothingParams(int Level, int& Step, int& BandFrames, int& Top, int& Bottom);

protected:
    // Draws the frame into Mask and, unless DrawOnly, copies the new picture through it.
    void MaskFrame(TTETransitionData* Data, int32_t Frame, bool Report, bool Draw, bool DrawOnly, cl::TBitmap* Accum,
                   cl::TBitmap* Mask, int32_t PrevFrame, int32_t Step);
    void SmoothFrame(TTETransitionData* Data, int32_t Cur, int32_t Step, int32_t Prev);

    uint16_t FStyleCount = 1;
    // Capability flags a descendant adds to the base's answer (its constructor sets them).
    // With tetiUseDirtyRects, Initialize also makes the run's rectangle list cut every
    // rectangle to the run's area.
    uint16_t FExtraInfo = 0;

private:
    void FreeMasks();
    void DrawGrey(TTETransitionData* Data, int32_t Frame, int Grey);
    // The areas of the frame: the dirty rectangles when there are two or more, else
    // (Inner, Outer).
    template <class F>
    void ForEachArea(TTETransitionData* Data, const win::RECT& Inner, const win::RECT& Outer, F&& f);

    uint16_t FStyle = 1;
    uint16_t FSubStyle = 1;
    uint16_t FRandomStyle = 0;
    uint16_t FRandomSubStyle = 0;
    uint16_t FSmoothingLevel = 0;
    TTEMaskRoutine FSmoothRoutine;
    cl::TBitmap* FMask = nullptr;
    cl::TBitmap* FAccumMask = nullptr;
    cl::TBitmap* FSmoothMask = nullptr;
    cl::TBitmap* FSmoothMask2 = nullptr;
    bool FSmoothing = false;
    int FStep = 0;
    int FBandFrames = 0;
    int FTop = 0;
    int FBottom = 0;
    // Scratch lists of the rectangles a frame treats once each.
    std::vector<win::RECT> FCover, FCoverOut;
};

// Published-property entries of the masked effects, declared by each descendant that
// publishes them (defaults 1, 1 and 0).
cl::TPropInfo MaskedStylePropInfo();
cl::TPropInfo MaskedSubStylePropInfo();
cl::TPropInfo MaskedSmoothingLevelPropInfo();

// Declares the base's published PassSetting and Pass2Options (once).
void StartUpteMasked();

}  // namespace te
