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
#include "transitions/teMasked.h"

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

class TBlockTransition : public TMaskedTransition {
    CL_DECLARE_COMPONENT(TBlockTransition, TMaskedTransition)
public:
    explicit TBlockTransition(cl::TComponent* AOwner);

    int32_t GetBlockWidth() const { return FBlockWidth; }
    // A new value (at least 1) puts the block width in force: Cols becomes 0.
    void SetBlockWidth(int32_t Value);
    int32_t GetBlockHeight() const { return FBlockHeight; }
    void SetBlockHeight(int32_t Value);
    int32_t GetCols() const { return FCols; }
    // A new value (at least 1) puts the column count in force: BlockWidth becomes 0.
    void SetCols(int32_t Value);
    int32_t GetRows() const { return FRows; }
    void SetRows(int32_t Value);
    bool GetPuzzle() const { return FPuzzle; }
    void SetPuzzle(bool Value) { FPuzzle = Value; }
    bool GetDual() const { return FDual; }
    void SetDual(bool Value) { FDual = Value; }

    void Assign(cl::TPersistent* Source) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Blocks"; }
    cl::String EditorClassName() const override { return "TBlockTransitionEditor"; }
    uint16_t ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) override;
    int32_t CalcFrameCount(TTETransitionData* Data) override;
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                       int32_t PrevFrame, int32_t Step) override;
    // Never smooths: SmoothingLevel has no effect and the mask is always 1-bit.
    bool SmoothingActive(TTETransitionDevice*) override { return false; }
    uint16_t SubStyleCount(uint16_t AStyle) override { return static_cast<uint16_t>(BlockSubStyleCount(AStyle)); }

private:
    int32_t FBlockWidth = 50;
    int32_t FBlockHeight = 50;
    int32_t FCols = 0;
    int32_t FRows = 0;
    bool FPuzzle = false;
    bool FDual = false;
};

// Registers the block effect and declares its published properties.
void StartUpteBlock();

}  // namespace te
