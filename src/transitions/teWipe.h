// The wipe effect: uncovers the new picture by moving an edge across the old one, from a
// side, from a corner, from the border inward or from the centre outward. The side wipes
// may carry a band ahead of the edge: a dithered band in which the new picture shows
// through a random dot pattern that thins out towards the old side, or (with MMX and
// SmoothBand) a grey gradient blended pixel by pixel.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/teMskWk.h"
#include "transitions/teTimed.h"

namespace te {

// The run data of a wipe.
class TWipeData : public TTECustomData {
    CL_DECLARE_CLASS(TWipeData, TTECustomData)
public:
    explicit TWipeData(TTETransitionData* AData) : TTECustomData(AData) {}
    // Releases the routine and frees the three bitmaps.
    ~TWipeData() override;

    cl::TBitmap* BandPattern = nullptr;  // the dither pattern, or the gradient mask
    cl::TBitmap* OldBand = nullptr;      // dithered: band buffers; smooth: the full-size mask in OldBand
    cl::TBitmap* NewBand = nullptr;
    win::RECT Current{0, 0, 0, 0};  // the area revealed so far
    win::RECT Band{0, 0, 0, 0};     // where the band lies in this frame
    uint16_t PatternX = 0;
    uint16_t PatternY = 0;
    // The dithered band's own generator: its dots and each frame's pattern offset. The
    // shared generator is never moved by a wipe.
    cl::TRandomSequence Dither;
    uint16_t BandSize = 0;
    bool Smooth = false;
    TTEMaskRoutine SmoothRoutine;
};

class TWipeTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TWipeTransition, TTimedTransitionEffect)
public:
    // Every direction from tedRight to tedRandom; tedRight.
    explicit TWipeTransition(cl::TComponent* AOwner);

    uint16_t BandWidth = 50;
    bool SmoothBand = false;

    uint16_t GetBandWidth() const { return BandWidth; }
    void SetBandWidth(uint16_t Value) { BandWidth = Value; }
    bool GetSmoothBand() const { return SmoothBand; }
    void SetSmoothBand(bool Value) { SmoothBand = Value; }

    bool SmoothBandActive(TTETransitionDevice* ADevice);
    // The band of the run's effective direction: sides take BandWidth, cut to the area's
    // width (left, right) or height (down, up); other directions none. Without Data the
    // plain BandWidth for the sides.
    bool GetBandSize(TTETransitionData* Data, int& Size);

    void Assign(cl::TPersistent* Source) override;
    int GetBitmapsWidth(TTETransitionData* Data) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Wipe"; }
    cl::String EditorClassName() const override { return "TWipeTransitionEditor"; }

    // The seed the dithered band's generator starts from each time the band is built.
    static constexpr uint32_t DitherSeed = 1642000;
    // The gradient value at band position E of a band of B pixels: rnd(253 / (B + 1) * E) + 1.
    static int GradientValue(int E, int B);

private:
    void CreateWipeDither(TTETransitionData* Data, TWipeData* W, TTEEffectDirection D);
};

// Registers the class and declares its published properties.
void StartUpteWipe();

}  // namespace te
