// The fuse effect: dissolves the old picture into the new one through an 8 x 8 monochrome
// pattern, tiled over the picture, that gains black pixels frame by frame; the new picture
// shows where the pattern is black. Thirteen styles give the order in which the 64 pattern
// pixels turn black. It works on every display, palette displays included.
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/teTimed.h"

namespace te {

class TFuseTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TFuseTransition, TTimedTransitionEffect)
public:
    explicit TFuseTransition(cl::TComponent* AOwner);
    ~TFuseTransition() override;

    uint16_t GetStyle() const { return FStyle; }
    // 0 (a style at random per run) to 13; larger values are ignored.
    void SetStyle(uint16_t Value);
    // The style of the run: Style, or for 0 one drawn once per run; mirrored when Reversed.
    uint16_t EffectiveStyle();

    void Assign(cl::TPersistent* Source) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void Finalize(TTETransitionData* Data) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Fuse"; }
    cl::String EditorClassName() const override { return "TFuseTransitionEditor"; }

    // The run's pattern (null outside a pass).
    cl::TBitmap* Pattern() const { return FPattern; }
    // Draws step S of a style into an 8 x 8 monochrome pattern (N: the pass's frame count).
    static void DrawPatternStep(cl::TBitmap* Pattern, uint16_t Style, int S, int N);

    static constexpr uint16_t StyleCount = 13;

private:
    uint16_t FStyle = 1;
    uint16_t FRandomStyle = 0;
    cl::TBitmap* FPattern = nullptr;
};

// The pattern number (1..64) of each pixel in the spiral order of style 8, rows from the top.
extern const uint8_t FuseSpiralOrder[8][8];

// On a display of 8 bits per pixel or fewer, the style-1 fuse that runs in place of Effect
// (a new instance assigned from it, which the caller owns); null on other displays. The
// alpha blend, pixelate and blur effects hand their runs over this way.
TTransitionEffect* PaletteDisplayFuse(TTransitionEffect* Effect, TTETransitionDevice* ADevice);

// Registers the class and declares its published properties.
void StartUpteFuse();

}  // namespace te
