// The pixelate effect: the old picture coarsens into ever larger square blocks of averaged
// colour, the equally coarse new picture takes over at the largest block size and refines
// back down. Block averages come from summed-area tables, so every frame costs the same
// whatever the block size. On palette displays a fuse of style 1 runs instead.
#pragma once

#include <functional>

#include <cstdint>
#include <vector>

#include "transitions/teTimed.h"

namespace te {

// Per colour byte (blue, green, red) the sums over rows 0..j (counted from the bottom row)
// and columns 0..i of a 24-bit picture, in unsigned 32-bit arithmetic with wrap-around.
class TSummedAreaTable {
public:
    // Fills the table from Picture (any format; converted to 24 bits through the GDI when
    // needed). Margin entries before the picture (left and below) and Margin - 1 after it
    // (right and above) hold the value 255 (white).
    void Build(cl::TBitmap* Picture, int Width, int Height, int Margin);
    // The sums of the box of columns [x0, x1) and rows [y0, y1), counted from the bottom row
    // and from the left, relative to the picture (the margin lies at negative positions and
    // beyond the picture's size).
    void BoxSum(int x0, int y0, int x1, int y1, uint32_t Sums[3]) const;

    int Width = 0, Height = 0, Margin = 0;
    int TableWidth() const { return Width + (Margin > 0 ? 2 * Margin - 1 : 0); }
    // Table row j (0-based, margin included): TableWidth() entries of three sums.
    const uint32_t* Row(int j) const { return FSums.data() + static_cast<size_t>(j) * static_cast<size_t>(FStride); }
    int TableHeight() const { return Height + (Margin > 0 ? 2 * Margin - 1 : 0); }

private:
    // The entry of table column i and row j (0-based in the table, margin included); -1
    // gives 0.
    const uint32_t* Entry(int i, int j) const;
    std::vector<uint32_t> FSums;
    int FStride = 0;
};

class TPixelateData : public TTECustomData {
    CL_DECLARE_CLASS(TPixelateData, TTECustomData)
public:
    explicit TPixelateData(TTETransitionData* AData) : TTECustomData(AData) {}
    TSummedAreaTable Table;
    bool HoldsOld = true;
    int Half = 0;
};

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

// Draws a frame of a summed-area effect: `draw` paints a 24-bit picture of the run's size
// (the work bitmap itself when it is 24-bit, else a scratch picture then copied into it),
// and the whole area is reported changed.
void DrawThrough24Bit(TTETransitionData* Data, const std::function<void(cl::TBitmap* Target)>& draw);

void StartUptePixelt();

}  // namespace te
