// The block effect: the picture is cut into a grid of blocks and the new picture comes
// block by block, in random order, row or column order, serpentine or spiral, optionally
// from both ends of the order at once and with jigsaw-shaped blocks.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"

namespace te {

// What decides a block run's grid.
struct TBlockSettings {
    int Style = 1;
    int SubStyle = 1;
    int32_t BlockWidth = 50;
    int32_t BlockHeight = 50;
    int32_t Cols = 0;
    int32_t Rows = 0;
    bool Puzzle = false;
    bool Dual = false;
};

// The grid size of a run: columns (rows) from Cols (Rows) or from the block size, with
// Puzzle at least 15 pixels per block, and never fewer than 1 or more than the pixels.
int32_t BlockGridCount(int32_t Size, int32_t Count, int32_t BlockSize, bool Puzzle);

// The run data of a block run: the grid, the order of the blocks, the knob size and the
// eight piece bitmaps of jigsaw blocks.
class TBlockData : public TTECustomData {
    CL_DECLARE_CLASS(TBlockData, TTECustomData)
public:
    explicit TBlockData(TTETransitionData* AData) : TTECustomData(AData) {}

    // Computes everything for a Width x Height run. Style 1 re-seeds the shared random
    // generator from the clock and shuffles the blocks with it.
    void Setup(const TBlockSettings& Settings, int32_t Width, int32_t Height);

    int32_t BlockCount() const { return CC * RR; }
    int32_t FrameCount() const;
    // The block (row, column), both from 1, of order index I (1..N).
    std::pair<int32_t, int32_t> BlockAt(int32_t I) const;
    // The plain rectangle of a block, and the area a frame changes when it reveals it.
    win::RECT BlockRect(int32_t Row, int32_t Col) const;
    win::RECT ChangedRect(int32_t Row, int32_t Col) const;
    cl::TBitmap* Piece(int Index) const { return FPieces[static_cast<size_t>(Index)].get(); }

    // Reveals the blocks of frames Frame - Step + 1 .. Frame on Mask (Data.ShowFrames set)
    // or straight on Data.Canvas from Data.DstImage (clear), and reports the changed areas.
    void DrawFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, int32_t Step);

    TBlockSettings Settings;
    int32_t Width = 0, Height = 0;
    int32_t CC = 1, RR = 1;
    int32_t K = 0;
    bool OnePixel = false;
    std::vector<uint32_t> Order;  // row * 65536 + column, both from 1

private:
    void BuildPieces();
    void RevealBlock(cl::TBitmap* Mask, int32_t Row, int32_t Col, bool Draw, bool Report, win::RECT& Update);
    std::array<std::unique_ptr<cl::TBitmap>, 8> FPieces;  // 0..3 knobs top and bottom, 4..7 left and right
};

int BlockSubStyleCount(int Style);
int BlockReversedSubStyle(int Style, int SubStyle);

}  // namespace te
