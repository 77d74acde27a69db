// Summed-area tables of 24-bit pictures and the run data of the pixelate effect, which draws
// its frames (block averages) from them: each frame then costs the same whatever the block
// size.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"
#include "transitions/tePixelRows.h"

namespace te {

// Per colour byte (blue, green, red) the sums over rows 0..j (counted from the bottom row)
// and columns 0..i of a 24-bit picture, in unsigned 32-bit arithmetic with wrap-around (a
// box's sum, being below 2^32, comes out exactly).
class TSummedAreaTable {
public:
    // Fills the table from Picture (any format; converted to 24 bits through the GDI when
    // needed). Margin entries before the picture (left and below) and Margin - 1 after it
    // (right and above) hold the value 255 (white). Large tables are filled in row bands on
    // the worker threads.
    void Build(cl::TBitmap* Picture, int Width, int Height, int Margin);
    // The sums of the box of columns [x0, x1) and rows [y0, y1), counted from the bottom row
    // and from the left, relative to the picture (the margin lies at negative positions and
    // beyond the picture's size).
    void BoxSum(int x0, int y0, int x1, int y1, uint32_t Sums[3]) const;

    int Width = 0, Height = 0, Margin = 0;
    int TableWidth() const { return Width + (Margin > 0 ? 2 * Margin - 1 : 0); }
    int TableHeight() const { return Height + (Margin > 0 ? 2 * Margin - 1 : 0); }
    // Table row j (0-based, margin included): TableWidth() entries of three sums.
    const uint32_t* Row(int j) const { return FSums.get() + static_cast<size_t>(j) * FStride; }

private:
    // The entry of table column i and row j (0-based in the table, margin included); -1
    // gives 0.
    const uint32_t* Entry(int i, int j) const;
    std::unique_ptr<uint32_t[]> FSums;
    size_t FTotal = 0;
    size_t FStride = 0;
};

// The run data of the pixelate effect: the table of the old picture, in force
// up to the last frame of the first half, and the table of the new picture from the first
// frame of the second half (Half) on. Both are made by the constructor, before the first
// frame: the switch then costs a frame nothing, where building a table of the whole area
// costs several frames' time.
class TSummedAreaData : public TTECustomData {
    CL_DECLARE_CLASS(TSummedAreaData, TTECustomData)
public:
    // Tables of Data->SrcImage and Data->DstImage over Data's area (a missing new picture's
    // table is made at Half); Half is Frames div 2 + 1.
    TSummedAreaData(TTETransitionData* AData, int Margin, int32_t Frames);
    // The table that frame CurrentFrame draws from.
    const TSummedAreaTable& TableFor(int32_t CurrentFrame);

    TSummedAreaTable Table;  // the table in force
    bool HoldsOld = true;    // Table is the old picture's
    int32_t Half = 0;
    int TableMargin = 0;

private:
    TSummedAreaTable FNext;  // the new picture's table while the old one is in force
    bool FNextBuilt = false;
};
using TPixelateData = TSummedAreaData;

// Draws a frame of a summed-area effect: `draw` paints a 24-bit picture of the run's size
// (the work bitmap itself when it is 24-bit, else a scratch picture then copied into it),
// and the whole area is reported changed.
void DrawThrough24Bit(TTETransitionData* Data, const std::function<void(cl::TBitmap* Target)>& draw);

// One row of a box-filtered frame: for j < Count, Out[j] := (Top[j + Far] - Top[j + Near] -
// Below[j + Far] + Below[j + Near]) div Area, Area at most 101 * 101 and every sum at most
// 255 * Area. The SSE2 form divides in single precision: floor((sum + 0.5) / Area) is
// exact for every such sum and area.
void BoxRow_Pas(uint8_t* Out, const uint32_t* Top, const uint32_t* Below, int Count, int Near, int Far, uint32_t Area);
#if defined(TE_HAS_SSE2_FORMS)
void BoxRow_SSE2(uint8_t* Out, const uint32_t* Top, const uint32_t* Below, int Count, int Near, int Far, uint32_t Area);
#endif
inline constexpr auto BoxRow = TE_ROW_FORM(BoxRow);

}  // namespace te
