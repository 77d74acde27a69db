// The pixelate effect: the old picture coarsens into ever larger square blocks of averaged
// colour, the equally coarse new picture takes over at the largest block size and refines
// back down. Block averages come from summed-area tables, so every frame costs the same
// whatever the block size. On palette displays a fuse of style 1 runs instead.
#pragma once

#include <cstdint>

#include "transitions/teSumTable.h"
#include "transitions/teTimed.h"

namespace te {

class TPixelateTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TPixelateTransition, TTimedTransitionEffect)
public:
    explicit TPixelateTransition(cl::TComponent* AOwner);

    uint16_t GetBoxSize() const { return FBoxSize; }
    // 0 is ignored.
    void SetBoxSize(uint16_t Value);

    void Assign(cl::TPersistent* Source) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Pixelate"; }
    cl::String EditorClassName() const override { return "TPixelateTransitionEditor"; }
    TTransitionEffect* TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) override;

    // Draws Table's picture in blocks of side S into the 24-bit Bitmap (W x H).
    static void DrawBlocks(const TSummedAreaTable& Table, cl::TBitmap* Bitmap, int W, int H, int S);

private:
    uint16_t FBoxSize = 50;
    int FBlock = 0;
};

void StartUptePixelt();

}  // namespace te
