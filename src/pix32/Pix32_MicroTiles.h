// Repaint optimisation by micro tiles: the surface is cut into 32 x 32 tiles, each holding the
// dirty rectangle inside it in four bytes, and the dirty tiles are turned into a short list of
// rectangles. TMicroTilesRepaintOptimizer collects the changed areas of a paint box (its
// buffer's reports and the old and new extents of changed layers) this way.
#pragma once

#include <cstdint>

#include "pix32/Pix32.h"
#include "pix32/Pix32_Containers.h"
#include "pix32/Pix32_Layers.h"
#include "pix32/Pix32_RepaintOpt.h"
#include "pix32/Pix32_System.h"

namespace pix32 {

// The dirty rectangle inside one tile: Left in bits 24-31, Top 16-23, Right 8-15, Bottom 0-7,
// each 0..32, Right and Bottom exclusive.
using TMicroTile = uint32_t;
using PMicroTile = TMicroTile*;

constexpr int32_t MicroTileShift = 5;
constexpr int32_t MicroTileSize = 1 << MicroTileShift;  // 32
constexpr TMicroTile MICROTILE_EMPTY = 0;
constexpr TMicroTile MICROTILE_FULL = 0x00002020;  // (0, 0, 32, 32)

// Area info understood by the optimiser besides AreaInfoRect: a line from (Left, Top) to
// (Right, Bottom) whose width is in the low 24 bits.
constexpr uint32_t AreaInfoLine = 0x40000000u;

constexpr TMicroTile MakeMicroTile(uint32_t L, uint32_t T, uint32_t R, uint32_t B) {
    return (L << 24) | (T << 16) | (R << 8) | B;
}
constexpr uint32_t MicroTileLeft(TMicroTile M) { return M >> 24; }
constexpr uint32_t MicroTileTop(TMicroTile M) { return (M >> 16) & 0xFF; }
constexpr uint32_t MicroTileRight(TMicroTile M) { return (M >> 8) & 0xFF; }
constexpr uint32_t MicroTileBottom(TMicroTile M) { return M & 0xFF; }

struct TMicroTiles {
    TRect BoundsRect{};  // the covered area in pixels
    int32_t Columns = 0;
    int32_t Rows = 0;
    TRect BoundsUsedTiles{};     // tile indexes, inclusive; (Columns, Rows, 0, 0) when none is used
    int32_t Count = 0;           // tiles allocated
    PMicroTile Tiles = nullptr;  // Count tiles, row-major, Columns per row
};

// Merges Src into Dst: nothing when Dst is full or Src is 0 or degenerate; the bounding box of
// both when Dst is not 0 and Src is not full; else Src.
using TMicroTileUnionProc = void (*)(TMicroTile& Dst, TMicroTile Src);
// Merges Count tiles of Src into the tiles of Dst at the same places.
using TMicroTilesUProc = void (*)(PMicroTile DstTiles, const TMicroTile* SrcTiles, int32_t Count);

// Bound routines; their portable forms are bound from the start and by the unit's start-up.
extern TMicroTileUnionProc MicroTileUnion;
extern TMicroTilesUProc MicroTilesU;
void MicroTileUnion_Pas(TMicroTile& Dst, TMicroTile Src);
void MicroTilesU_Pas(PMicroTile DstTiles, const TMicroTile* SrcTiles, int32_t Count);

// All fields 0, no tile memory.
void MicroTilesCreate(TMicroTiles& Tiles);
// Releases the tile memory (the record is left empty).
void MicroTilesDestroy(TMicroTiles& Tiles);
// Covers R: Columns = width div 32 + 1, Rows = height div 32 + 1, (Columns + 1) x (Rows + 1)
// tiles, all cleared. A reversed R covers nothing (one tile).
void MicroTilesSetSize(TMicroTiles& Tiles, const TRect& R);
// Every tile := V; no tile used.
void MicroTilesClear(TMicroTiles& Tiles, TMicroTile V = MICROTILE_EMPTY);
// The used tiles := V; no tile used.
void MicroTilesClearUsed(TMicroTiles& Tiles, TMicroTile V = MICROTILE_EMPTY);
// Dst becomes a copy of Src's layout and used tiles.
void MicroTilesCopy(TMicroTiles& Dst, const TMicroTiles& Src);
// Marks the part of R inside the covered area (R may be reversed).
void MicroTilesAddRect(TMicroTiles& Tiles, const TRect& R, bool RoundToWholeTiles = false);
// Marks a line of width LineWidth, in steps of 32 pixels along its longer axis.
void MicroTilesAddLine(TMicroTiles& Tiles, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t LineWidth,
                       bool RoundToWholeTiles = false);
// Merges Src's used tiles into Dst (both of the same layout).
void MicroTilesUnion(TMicroTiles& Dst, const TMicroTiles& Src, bool RoundToWholeTiles = false);
// Turns the dirty tiles into rectangles clipped to Clip, appended to DstRects unless CountOnly
// (DstRects may then be nil); returns their number.
int32_t MicroTilesCalcRects(const TMicroTiles& Tiles, TRectList* DstRects, const TRect& Clip, bool CountOnly,
                            bool RoundToWholeTiles = false);
int32_t MicroTilesCalcRects(const TMicroTiles& Tiles, TRectList* DstRects, bool CountOnly,
                            bool RoundToWholeTiles = false);
// Enlarges Area by Dx and Dy on each side; a reversed side pair is enlarged in its own
// direction.
void InflateArea(TRect& Area, int32_t Dx, int32_t Dy);

// Each layer's own tiles: a pointer map from the layer to a TMicroTiles record, allocated when
// the layer is first added and released (with its tiles) when the entry is deleted.
class TMicroTilesMap : public TPointerMap {
    CL_DECLARE_CLASS(TMicroTilesMap, TPointerMap)
public:
    ~TMicroTilesMap() override;
    // The layer's record, created (empty) when missing.
    TMicroTiles* Tiles(TCustomLayer* Layer);
    // The layer's record, or nil.
    TMicroTiles* Find(TCustomLayer* Layer) const;
    void* Delete(int32_t BucketIndex, int32_t ItemIndex) override;
};

// The paint boxes' optimiser: dirty areas collected in micro tiles, with adaptive coarsening
// when tracking costs more than repainting everything.
class TMicroTilesRepaintOptimizer : public TCustomRepaintOptimizer {
    CL_DECLARE_CLASS(TMicroTilesRepaintOptimizer, TCustomRepaintOptimizer)
public:
    TMicroTilesRepaintOptimizer(TBitmap32* Buffer, TRectList* InvalidRects);
    ~TMicroTilesRepaintOptimizer() override;

    void SetEnabled(bool Value) override;
    void RegisterLayerCollection(TLayerCollection* Collection) override;
    void UnregisterLayerCollection(TLayerCollection* Collection) override;
    void LayerCollectionNotifyHandler(TLayerCollection* Sender, TLayerListAction Action, TCustomLayer* Layer,
                                      int32_t Index) override;
    void BeginPaintBuffer() override;
    void EndPaintBuffer() override;
    void Reset() override;
    bool UpdatesAvailable() override;
    void PerformOptimization() override;
    void AreaUpdateHandler(cl::TObject* Sender, const TRect& Area, uint32_t Info) override;
    void LayerUpdateHandler(cl::TObject* Sender, TCustomLayer* Layer) override;
    void BufferResizedHandler(int32_t NewWidth, int32_t NewHeight) override;
    void ResetAdaptiveMode();

    // 0: exact rectangles; 1: whole tiles; 2: the whole viewport.
    int32_t PerformanceLevel() const { return FPerformanceLevel; }
    bool AdaptiveMode() const { return FAdaptiveMode; }
    void SetAdaptiveMode(bool Value) { FAdaptiveMode = Value; }
    int32_t TimeDelta() const { return FTimeDelta; }

protected:
    // Records a paint time in microseconds and adapts the level (EndPaintBuffer measures).
    void MeasurePaintTime(int64_t T);
    void AddArea(TMicroTiles& Tiles, const TRect& Area, uint32_t Info);
    void DrawLayerToTiles(TMicroTiles& Tiles, TCustomLayer* Layer);
    void ValidateWorkingTiles();
    void ValidateOldTiles();
    void BindHandlers(TLayerCollection* Collection);
    static void UnbindHandlers(TLayerCollection* Collection);

    TRect FBufferBounds{};
    TMicroTiles* FWorkTiles = nullptr;
    TMicroTiles FTempTiles{};
    TMicroTiles FInvalidTiles{};
    TMicroTiles FForcedInvalidTiles{};
    std::vector<TCustomLayer*> FInvalidLayers;
    TMicroTilesMap FOldInvalidTilesMap;
    bool FWorkingTilesValid = false;
    bool FOldInvalidTilesValid = false;
    bool FUseInvalidTiles = false;
    bool FAdaptiveMode = true;
    TPerfTimer FPerfTimer;
    int32_t FPerformanceLevel = 0;
    int64_t FLastRepaintTime = 0;
    int64_t FFullSceneRepaintTime = 0;
    bool FAdaptionFailed = false;
    bool FTimedCheck = false;
    int32_t FTimeDelta = 1000;
    int32_t FNextCheck = 0;
    int64_t FLastPenaltyTime = 0;
    int32_t FOldInvalidRectsCount = 0;
};

// The optimiser class every paint box creates.
extern TCustomRepaintOptimizerClass DefaultRepaintOptimizerClass;

// Binds the unit's routines (the unit's start-up).
void Pix32_MicroTiles_Initialization();

}  // namespace pix32
