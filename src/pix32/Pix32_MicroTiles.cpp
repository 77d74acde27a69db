#include "pix32/Pix32_MicroTiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "pix32/Pix32.h"
#include "pix32/Pix32_LowLevel.h"
#include "pix32/Pix32_Math.h"

namespace pix32 {

TMicroTileUnionProc MicroTileUnion = &MicroTileUnion_Pas;
TMicroTilesUProc MicroTilesU = &MicroTilesU_Pas;

void MicroTileUnion_Pas(TMicroTile& Dst, TMicroTile Src) {
    if (Dst == MICROTILE_FULL || Src == MICROTILE_EMPTY) return;
    const uint32_t sl = MicroTileLeft(Src), st = MicroTileTop(Src), sr = MicroTileRight(Src), sb = MicroTileBottom(Src);
    if (sl == sr || st == sb) return;
    if (Dst != MICROTILE_EMPTY && Src != MICROTILE_FULL)
        Dst = MakeMicroTile(std::min(MicroTileLeft(Dst), sl), std::min(MicroTileTop(Dst), st),
                            std::max(MicroTileRight(Dst), sr), std::max(MicroTileBottom(Dst), sb));
    else
        Dst = Src;
}

void MicroTilesU_Pas(PMicroTile DstTiles, const TMicroTile* SrcTiles, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) MicroTileUnion(DstTiles[i], SrcTiles[i]);
}

void Pix32_MicroTiles_Initialization() {
    MicroTileUnion = &MicroTileUnion_Pas;
    MicroTilesU = &MicroTilesU_Pas;
}

namespace {

// Resizes the tile memory to N tiles; new tiles are 0.
void ResizeTiles(TMicroTiles& Tiles, int32_t N) {
    if (N <= 0) {
        std::free(Tiles.Tiles);
        Tiles.Tiles = nullptr;
        Tiles.Count = 0;
        return;
    }
    if (N == Tiles.Count && Tiles.Tiles) return;
    auto* p = static_cast<PMicroTile>(std::realloc(Tiles.Tiles, static_cast<size_t>(N) * sizeof(TMicroTile)));
    if (!p) throw std::bad_alloc();
    if (N > Tiles.Count) std::memset(p + Tiles.Count, 0, static_cast<size_t>(N - Tiles.Count) * sizeof(TMicroTile));
    Tiles.Tiles = p;
    Tiles.Count = N;
}

void SetNoneUsed(TMicroTiles& Tiles) { Tiles.BoundsUsedTiles = TRect{Tiles.Columns, Tiles.Rows, 0, 0}; }

void GrowUsed(TRect& Used, int32_t L, int32_t T, int32_t R, int32_t B) {
    Used.left = std::min(Used.left, L);
    Used.top = std::min(Used.top, T);
    Used.right = std::max(Used.right, R);
    Used.bottom = std::max(Used.bottom, B);
}

bool UsedEmpty(const TRect& Used) { return Used.right < Used.left || Used.bottom < Used.top; }

// The used block limited to the tile memory (the used bounds may name the column and row just
// past the grid, which the allocation holds).
bool UsedSpan(const TMicroTiles& Tiles, int32_t& First, int32_t& PerRow, int32_t& RowsN) {
    const TRect& u = Tiles.BoundsUsedTiles;
    if (Tiles.Count == 0 || UsedEmpty(u) || u.left < 0 || u.top < 0) return false;
    First = u.top * Tiles.Columns + u.left;
    PerRow = u.right - u.left + 1;
    RowsN = u.bottom - u.top + 1;
    const int64_t last = static_cast<int64_t>(u.bottom) * Tiles.Columns + u.right;
    return last < Tiles.Count;
}

}  // namespace

void MicroTilesCreate(TMicroTiles& Tiles) { Tiles = TMicroTiles{}; }

void MicroTilesDestroy(TMicroTiles& Tiles) {
    std::free(Tiles.Tiles);
    Tiles.Tiles = nullptr;
    Tiles.Count = 0;
}

void MicroTilesSetSize(TMicroTiles& Tiles, const TRect& R) {
    Tiles.BoundsRect = R;
    const int64_t w = std::max<int64_t>(0, static_cast<int64_t>(R.right) - R.left);
    const int64_t h = std::max<int64_t>(0, static_cast<int64_t>(R.bottom) - R.top);
    const int64_t cols = w / MicroTileSize + 1, rows = h / MicroTileSize + 1;
    const int64_t count = (cols + 1) * (rows + 1);
    if (count > INT32_MAX / static_cast<int64_t>(sizeof(TMicroTile))) throw std::bad_alloc();
    Tiles.Columns = static_cast<int32_t>(cols);
    Tiles.Rows = static_cast<int32_t>(rows);
    ResizeTiles(Tiles, static_cast<int32_t>(count));
    MicroTilesClear(Tiles, MICROTILE_EMPTY);
}

void MicroTilesClear(TMicroTiles& Tiles, TMicroTile V) {
    if (Tiles.Tiles) FillDWords(Tiles.Tiles, Tiles.Count, V);
    SetNoneUsed(Tiles);
}

void MicroTilesClearUsed(TMicroTiles& Tiles, TMicroTile V) {
    int32_t first, perRow, rows;
    if (UsedSpan(Tiles, first, perRow, rows))
        for (int32_t y = 0; y < rows; ++y) FillDWords(Tiles.Tiles + first + y * Tiles.Columns, perRow, V);
    SetNoneUsed(Tiles);
}

void MicroTilesCopy(TMicroTiles& Dst, const TMicroTiles& Src) {
    if (&Dst == &Src) return;
    if (Dst.Count != 0) MicroTilesClearUsed(Dst, MICROTILE_EMPTY);
    Dst.BoundsRect = Src.BoundsRect;
    Dst.Columns = Src.Columns;
    Dst.Rows = Src.Rows;
    Dst.BoundsUsedTiles = Src.BoundsUsedTiles;
    ResizeTiles(Dst, Src.Count);
    int32_t first, perRow, rows;
    if (UsedSpan(Src, first, perRow, rows))
        for (int32_t y = 0; y < rows; ++y) {
            const int32_t at = first + y * Src.Columns;
            std::memcpy(Dst.Tiles + at, Src.Tiles + at, static_cast<size_t>(perRow) * sizeof(TMicroTile));
        }
}

void MicroTilesAddRect(TMicroTiles& Tiles, const TRect& Rect, bool RoundToWholeTiles) {
    if (Tiles.Count == 0) return;
    int32_t left = Rect.left, top = Rect.top, right = Rect.right, bottom = Rect.bottom;
    OrderInts(left, right);
    OrderInts(top, bottom);
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, Tiles.Columns * MicroTileSize);
    bottom = std::min(bottom, Tiles.Rows * MicroTileSize);
    if (right < left || bottom < top) return;

    const int32_t CL = left >> MicroTileShift, RT = top >> MicroTileShift;
    const int32_t CR = right >> MicroTileShift, RB = bottom >> MicroTileShift;
    const uint32_t l = static_cast<uint32_t>(left & (MicroTileSize - 1)),
                   t = static_cast<uint32_t>(top & (MicroTileSize - 1)),
                   r = static_cast<uint32_t>(right & (MicroTileSize - 1)),
                   b = static_cast<uint32_t>(bottom & (MicroTileSize - 1));
    const int32_t NC = CR - CL + 1, NR = RB - RT + 1;
    const int32_t cols = Tiles.Columns;
    PMicroTile row = Tiles.Tiles + RT * cols + CL;
    constexpr uint32_t S = MicroTileSize;

    if (RoundToWholeTiles) {
        for (int32_t y = 0; y < NR; ++y, row += cols) FillDWords(row, NC, MICROTILE_FULL);
    } else if (NC == 1 && NR == 1) {
        MicroTileUnion(row[0], MakeMicroTile(l, t, r, b));
    } else if (NC == 1) {
        MicroTileUnion(row[0], MakeMicroTile(l, t, r, S));
        row += cols;
        for (int32_t y = 1; y < NR - 1; ++y, row += cols) MicroTileUnion(row[0], MakeMicroTile(l, 0, r, S));
        MicroTileUnion(row[0], MakeMicroTile(l, 0, r, b));
    } else if (NR == 1) {
        MicroTileUnion(row[0], MakeMicroTile(l, t, S, b));
        for (int32_t x = 1; x < NC - 1; ++x) MicroTileUnion(row[x], MakeMicroTile(0, t, S, b));
        MicroTileUnion(row[NC - 1], MakeMicroTile(0, t, r, b));
    } else {
        MicroTileUnion(row[0], MakeMicroTile(l, t, S, S));
        for (int32_t x = 1; x < NC - 1; ++x) MicroTileUnion(row[x], MakeMicroTile(0, t, S, S));
        MicroTileUnion(row[NC - 1], MakeMicroTile(0, t, r, S));
        row += cols;
        for (int32_t y = 1; y < NR - 1; ++y, row += cols) {
            MicroTileUnion(row[0], MakeMicroTile(l, 0, S, S));
            if (NC > 2) FillDWords(row + 1, NC - 2, MICROTILE_FULL);
            MicroTileUnion(row[NC - 1], MakeMicroTile(0, 0, r, S));
        }
        MicroTileUnion(row[0], MakeMicroTile(l, 0, S, b));
        for (int32_t x = 1; x < NC - 1; ++x) MicroTileUnion(row[x], MakeMicroTile(0, 0, S, b));
        MicroTileUnion(row[NC - 1], MakeMicroTile(0, 0, r, b));
    }
    GrowUsed(Tiles.BoundsUsedTiles, CL, RT, CR, RB);
}

void InflateArea(TRect& Area, int32_t Dx, int32_t Dy) {
    if (Area.left > Area.right) Dx = -Dx;
    Area.left -= Dx;
    Area.right += Dx;
    if (Area.top > Area.bottom) Dy = -Dy;
    Area.top -= Dy;
    Area.bottom += Dy;
}

namespace {

int32_t ClampToInt32(int64_t V) { return static_cast<int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX)); }

// Nearest whole number of a 16.16 value held in 64 bits (halves round down, as FixedRound).
int64_t Round64(int64_t F) { return (F + 0x7FFF) >> 16; }

}  // namespace

void MicroTilesAddLine(TMicroTiles& Tiles, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t LineWidth,
                       bool RoundToWholeTiles) {
    if (Tiles.Count == 0) return;
    const int32_t D = ClampToInt32(int64_t{LineWidth} * 2);
    if (X1 == X2 || Y1 == Y2) {
        TRect r{X1, Y1, X2, Y2};
        InflateArea(r, D, D);
        MicroTilesAddRect(Tiles, r, RoundToWholeTiles);
        return;
    }
    // 16.16 in 64 bits, so that any pair of 32-bit points fits.
    const int64_t dx = (int64_t{X2} - X1) * 65536, dy = (int64_t{Y2} - Y1) * 65536;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xLonger = adx >= ady;
    const int64_t L = xLonger ? adx : ady, shorter = xLonger ? ady : adx;
    const int64_t N = L / MicroTileSize;  // the number of 32-pixel steps, 16.16
    const int64_t longStep = int64_t{MicroTileSize} * 65536;
    // FixedDiv(shorter, N), in 128 bits because the coordinates may span the 32-bit range.
    const int64_t shortStep = static_cast<int64_t>(static_cast<__int128>(shorter) * 65536 / N);
    const int64_t sx = (dx < 0 ? -1 : 1) * (xLonger ? longStep : shortStep);
    const int64_t sy = (dy < 0 ? -1 : 1) * (xLonger ? shortStep : longStep);
    const int64_t steps = (N + 0xFFFF) >> 16;

    // Only the steps whose rectangle can reach the covered area along the longer axis are
    // walked: a line far outside the area costs nothing.
    const int64_t start = xLonger ? X1 : Y1;
    const int64_t dir = (xLonger ? dx : dy) < 0 ? -1 : 1;
    const int64_t extent = int64_t{xLonger ? Tiles.Columns : Tiles.Rows} * MicroTileSize;
    const int64_t lo = -int64_t{D} - MicroTileSize, hi = extent + D + MicroTileSize;
    int64_t first = 0, last = steps - 1;
    if (dir > 0) {
        if (start < lo) first = (lo - start) / MicroTileSize;
        if (start > hi) return;
        last = std::min(last, (hi - start) / MicroTileSize);
    } else {
        if (start > hi) first = (start - hi) / MicroTileSize;
        if (start < lo) return;
        last = std::min(last, (start - lo) / MicroTileSize);
    }
    int64_t cx = int64_t{X1} * 65536 + first * sx, cy = int64_t{Y1} * 65536 + first * sy;
    for (int64_t i = first; i <= last; ++i) {
        const int64_t nx = cx + sx, ny = cy + sy;
        TRect r{ClampToInt32(Round64(cx)), ClampToInt32(Round64(cy)), ClampToInt32(Round64(nx)),
                ClampToInt32(Round64(ny))};
        InflateArea(r, D, D);
        MicroTilesAddRect(Tiles, r, RoundToWholeTiles);
        cx = nx;
        cy = ny;
    }
}

void MicroTilesUnion(TMicroTiles& Dst, const TMicroTiles& Src, bool RoundToWholeTiles) {
    if (Src.Count == 0) return;
    int32_t first, perRow, rows;
    if (UsedSpan(Src, first, perRow, rows) && Dst.Count >= Src.Count) {
        for (int32_t y = 0; y < rows; ++y) {
            const int32_t at = first + y * Src.Columns;
            const TMicroTile* s = Src.Tiles + at;
            PMicroTile d = Dst.Tiles + at;
            if (RoundToWholeTiles) {
                for (int32_t x = 0; x < perRow; ++x) {
                    const TMicroTile v = s[x];
                    if (v == MICROTILE_EMPTY || MicroTileLeft(v) == MicroTileRight(v) ||
                        MicroTileTop(v) == MicroTileBottom(v))
                        continue;
                    if (d[x] != MICROTILE_FULL) d[x] = MICROTILE_FULL;
                }
            } else {
                MicroTilesU(d, s, perRow);
            }
        }
    }
    if (!UsedEmpty(Src.BoundsUsedTiles)) {
        const TRect& u = Src.BoundsUsedTiles;
        GrowUsed(Dst.BoundsUsedTiles, u.left, u.top, u.right, u.bottom);
    }
}

int32_t MicroTilesCalcRects(const TMicroTiles& Tiles, TRectList* DstRects, const TRect& Clip, bool CountOnly,
                            bool RoundToWholeTiles) {
    if (Tiles.Count == 0 || UsedEmpty(Tiles.BoundsUsedTiles)) return 0;
    const int32_t cols = Tiles.Columns, rowsN = Tiles.Rows;
    std::vector<TRect> rects;
    std::vector<int32_t> lookup(static_cast<size_t>(cols) * static_cast<size_t>(rowsN), -1);
    const TMicroTile* tiles = Tiles.Tiles;

    for (int32_t row = 0; row < rowsN; ++row) {
        const int32_t Y = row * MicroTileSize;
        const bool lastRow = row == rowsN - 1;
        int32_t col = 0;
        while (col < cols) {
            const int32_t S = row * cols + col;
            const TMicroTile T = tiles[S];
            if (T == MICROTILE_EMPTY) {
                ++col;
                continue;
            }
            TRect nr;
            if (!RoundToWholeTiles) {
                nr.top = ClampToRange(Y + static_cast<int32_t>(MicroTileTop(T)), Clip.top, Clip.bottom);
                nr.bottom = ClampToRange(Y + static_cast<int32_t>(MicroTileBottom(T)), Clip.top, Clip.bottom);
                nr.left =
                    ClampToRange(col * MicroTileSize + static_cast<int32_t>(MicroTileLeft(T)), Clip.left, Clip.right);
                // A run goes on through tiles that continue the same band: each tile before
                // the next reaches its right edge, the next starts at its left edge.
                TMicroTile cur = T;
                while (MicroTileRight(cur) == MicroTileSize && col < cols - 1) {
                    const TMicroTile next = tiles[row * cols + col + 1];
                    if (MicroTileTop(next) != MicroTileTop(T) || MicroTileBottom(next) != MicroTileBottom(T) ||
                        MicroTileLeft(next) != 0 || next == MICROTILE_EMPTY)
                        break;
                    ++col;
                    cur = next;
                }
                nr.right = ClampToRange(col * MicroTileSize + static_cast<int32_t>(MicroTileRight(cur)), Clip.left,
                                        Clip.right);
            } else {
                nr.top = ClampToRange(Y, Clip.top, Clip.bottom);
                nr.bottom = ClampToRange(Y + MicroTileSize, Clip.top, Clip.bottom);
                nr.left = ClampToRange(col * MicroTileSize, Clip.left, Clip.right);
                while (col < cols - 1 && tiles[row * cols + col + 1] != MICROTILE_EMPTY) ++col;
                nr.right = ClampToRange((col + 1) * MicroTileSize, Clip.left, Clip.right);
            }
            const int32_t prev = lookup[static_cast<size_t>(S)];
            if (prev >= 0 && rects[static_cast<size_t>(prev)].left == nr.left &&
                rects[static_cast<size_t>(prev)].right == nr.right &&
                rects[static_cast<size_t>(prev)].bottom == nr.top) {
                rects[static_cast<size_t>(prev)].bottom = nr.bottom;
                if (!lastRow) lookup[static_cast<size_t>(S + cols)] = prev;
            } else {
                rects.push_back(nr);
                if (!lastRow) lookup[static_cast<size_t>(S + cols)] = static_cast<int32_t>(rects.size() - 1);
            }
            ++col;
        }
    }
    if (!CountOnly && DstRects)
        for (const TRect& r : rects) DstRects->Add(r);
    return static_cast<int32_t>(rects.size());
}

int32_t MicroTilesCalcRects(const TMicroTiles& Tiles, TRectList* DstRects, bool CountOnly, bool RoundToWholeTiles) {
    return MicroTilesCalcRects(Tiles, DstRects, Tiles.BoundsRect, CountOnly, RoundToWholeTiles);
}

// ---------------------------------------------------------------------------------------------
// TMicroTilesMap

TMicroTilesMap::~TMicroTilesMap() { Clear(); }

TMicroTiles* TMicroTilesMap::Tiles(TCustomLayer* Layer) {
    bool isNew = false;
    void** slot = Add(Layer, isNew);
    if (isNew || !*slot) {
        auto* t = new TMicroTiles;
        MicroTilesCreate(*t);
        *slot = t;
    }
    return static_cast<TMicroTiles*>(*slot);
}

TMicroTiles* TMicroTilesMap::Find(TCustomLayer* Layer) const {
    int32_t bi, ii;
    if (!TPointerMap::Find(Layer, bi, ii)) return nullptr;
    return static_cast<TMicroTiles*>(Bucket(bi).Items[static_cast<size_t>(ii)].Data);
}

void* TMicroTilesMap::Delete(int32_t BucketIndex, int32_t ItemIndex) {
    auto* t = static_cast<TMicroTiles*>(TPointerMap::Delete(BucketIndex, ItemIndex));
    if (t) {
        MicroTilesDestroy(*t);
        delete t;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TMicroTilesRepaintOptimizer

TCustomRepaintOptimizerClass DefaultRepaintOptimizerClass = [](TBitmap32* Buffer,
                                                               TRectList* InvalidRects) -> TCustomRepaintOptimizer* {
    return new TMicroTilesRepaintOptimizer(Buffer, InvalidRects);
};

TMicroTilesRepaintOptimizer::TMicroTilesRepaintOptimizer(TBitmap32* Buffer, TRectList* InvalidRects)
    : TCustomRepaintOptimizer(Buffer, InvalidRects) {
    MicroTilesCreate(FTempTiles);
    MicroTilesCreate(FInvalidTiles);
    MicroTilesCreate(FForcedInvalidTiles);
}

TMicroTilesRepaintOptimizer::~TMicroTilesRepaintOptimizer() {
    UnregisterAll();
    MicroTilesDestroy(FTempTiles);
    MicroTilesDestroy(FInvalidTiles);
    MicroTilesDestroy(FForcedInvalidTiles);
    for (TCustomLayer* l : FInvalidLayers) l->SetInvalid(false);
}

void TMicroTilesRepaintOptimizer::BindHandlers(TLayerCollection* C) {
    C->OnLayerUpdated = [this](cl::TObject* Sender, TCustomLayer* Layer) { LayerUpdateHandler(Sender, Layer); };
    C->OnAreaUpdated = [this](cl::TObject* Sender, const TRect& Area, uint32_t Info) {
        AreaUpdateHandler(Sender, Area, Info);
    };
    C->OnListNotify = [this](TLayerCollection* Sender, TLayerListAction Action, TCustomLayer* Layer, int32_t Index) {
        LayerCollectionNotifyHandler(Sender, Action, Layer, Index);
    };
}

void TMicroTilesRepaintOptimizer::UnbindHandlers(TLayerCollection* C) {
    C->OnLayerUpdated = nullptr;
    C->OnAreaUpdated = nullptr;
    C->OnListNotify = nullptr;
}

void TMicroTilesRepaintOptimizer::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    if (Value) {
        for (TLayerCollection* c : FLayerCollections) BindHandlers(c);
        FEnabled = true;  // stored before the resize so that the handlers see the new state
        BufferResizedHandler(FBuffer ? FBuffer->Width() : 0, FBuffer ? FBuffer->Height() : 0);
    } else {
        for (TLayerCollection* c : FLayerCollections) UnbindHandlers(c);
        MicroTilesDestroy(FInvalidTiles);
        MicroTilesDestroy(FTempTiles);
        MicroTilesDestroy(FForcedInvalidTiles);
        FWorkingTilesValid = false;
        FUseInvalidTiles = false;
        FOldInvalidTilesValid = false;
        FOldInvalidTilesMap.Clear();
        for (TCustomLayer* l : FInvalidLayers) l->SetInvalid(false);
        FInvalidLayers.clear();
    }
    FEnabled = Value;
}

void TMicroTilesRepaintOptimizer::RegisterLayerCollection(TLayerCollection* Collection) {
    TCustomRepaintOptimizer::RegisterLayerCollection(Collection);
    if (FEnabled && Collection) BindHandlers(Collection);
}

void TMicroTilesRepaintOptimizer::UnregisterLayerCollection(TLayerCollection* Collection) {
    if (Collection) UnbindHandlers(Collection);
    TCustomRepaintOptimizer::UnregisterLayerCollection(Collection);
}

void TMicroTilesRepaintOptimizer::BufferResizedHandler(int32_t NewWidth, int32_t NewHeight) {
    FBufferBounds = TRect{0, 0, NewWidth, NewHeight};
    FWorkingTilesValid = false;
    Reset();
}

void TMicroTilesRepaintOptimizer::Reset() {
    FWorkingTilesValid = false;
    FOldInvalidTilesValid = false;
    ValidateOldTiles();
    MicroTilesClear(FForcedInvalidTiles, MICROTILE_FULL);
    FForcedInvalidTiles.BoundsUsedTiles = TRect{0, 0, FForcedInvalidTiles.Columns, FForcedInvalidTiles.Rows};
    FUseInvalidTiles = true;
}

bool TMicroTilesRepaintOptimizer::UpdatesAvailable() {
    ValidateOldTiles();
    return FUseInvalidTiles;
}

void TMicroTilesRepaintOptimizer::AreaUpdateHandler(cl::TObject*, const TRect& Area, uint32_t Info) {
    ValidateWorkingTiles();
    AddArea(FForcedInvalidTiles, Area, Info);
    FUseInvalidTiles = true;
}

void TMicroTilesRepaintOptimizer::LayerUpdateHandler(cl::TObject*, TCustomLayer* Layer) {
    if (FOldInvalidTilesValid && Layer && !Layer->Invalid()) {
        FInvalidLayers.push_back(Layer);
        Layer->SetInvalid(true);
        FUseInvalidTiles = true;
    }
}

void TMicroTilesRepaintOptimizer::LayerCollectionNotifyHandler(TLayerCollection*, TLayerListAction Action,
                                                               TCustomLayer* Layer, int32_t) {
    switch (Action) {
        case laAdded:
        case laInserted:
            if (Layer) {
                MicroTilesSetSize(*FOldInvalidTilesMap.Tiles(Layer), FBufferBounds);
                FOldInvalidTilesValid = true;
            }
            break;
        case laDeleted:
            if (Layer) {
                if (FOldInvalidTilesValid) {
                    if (TMicroTiles* old = FOldInvalidTilesMap.Find(Layer)) {
                        ValidateWorkingTiles();
                        MicroTilesUnion(FInvalidTiles, *old);
                    }
                    FUseInvalidTiles = true;
                }
                auto it = std::find(FInvalidLayers.begin(), FInvalidLayers.end(), Layer);
                if (it != FInvalidLayers.end()) FInvalidLayers.erase(it);
                Layer->SetInvalid(false);
                FOldInvalidTilesMap.Remove(Layer);  // Delete releases the record
            }
            break;
        case laCleared:
            if (FOldInvalidTilesValid) {
                ValidateWorkingTiles();
                TPointerMapIterator it(&FOldInvalidTilesMap);
                while (it.Next())
                    if (it.Data) MicroTilesUnion(FInvalidTiles, *static_cast<TMicroTiles*>(it.Data));
                FUseInvalidTiles = true;
                ResetAdaptiveMode();
            }
            FOldInvalidTilesMap.Clear();
            FInvalidLayers.clear();
            FOldInvalidTilesValid = true;
            break;
    }
}

void TMicroTilesRepaintOptimizer::AddArea(TMicroTiles& Tiles, const TRect& Area, uint32_t Info) {
    const bool round = FPerformanceLevel > 0;
    if (Info & AreaInfoLine) {
        const int32_t w = static_cast<int32_t>(Info & 0xFFFFFF);
        TRect a = Area;
        InflateArea(a, w, w);
        MicroTilesAddLine(Tiles, a.left, a.top, a.right, a.bottom, w, round);
    } else {
        MicroTilesAddRect(Tiles, Area, round);
    }
}

void TMicroTilesRepaintOptimizer::DrawLayerToTiles(TMicroTiles& Tiles, TCustomLayer* Layer) {
    if (!FBuffer) return;
    FWorkTiles = &Tiles;
    FBuffer->BeginMeasuring(
        [this](cl::TObject*, const TRect& Area, uint32_t Info) { AddArea(*FWorkTiles, Area, Info); });
    try {
        Layer->DoPaint(FBuffer);
    } catch (...) {
        FBuffer->EndMeasuring();
        throw;
    }
    FBuffer->EndMeasuring();
}

void TMicroTilesRepaintOptimizer::ValidateWorkingTiles() {
    if (FWorkingTilesValid) return;
    MicroTilesSetSize(FTempTiles, FBufferBounds);
    MicroTilesSetSize(FInvalidTiles, FBufferBounds);
    MicroTilesSetSize(FForcedInvalidTiles, FBufferBounds);
    FWorkingTilesValid = true;
}

void TMicroTilesRepaintOptimizer::ValidateOldTiles() {
    if (FOldInvalidTilesValid) return;
    ValidateWorkingTiles();
    for (TLayerCollection* c : FLayerCollections)
        for (int32_t i = 0; i < c->Count(); ++i) {
            TCustomLayer* l = c->Items(i);
            TMicroTiles* t = FOldInvalidTilesMap.Tiles(l);
            MicroTilesSetSize(*t, FBufferBounds);
            DrawLayerToTiles(*t, l);
            l->SetInvalid(false);
        }
    FInvalidLayers.clear();
    FOldInvalidTilesValid = true;
    FUseInvalidTiles = false;
}

void TMicroTilesRepaintOptimizer::PerformOptimization() {
    if (FUseInvalidTiles) {
        ValidateWorkingTiles();
        const bool round = FPerformanceLevel > 0;
        std::vector<TCustomLayer*> layers;
        layers.swap(FInvalidLayers);
        for (TCustomLayer* l : layers) {
            MicroTilesClearUsed(FTempTiles);
            DrawLayerToTiles(FTempTiles, l);
            MicroTilesUnion(FInvalidTiles, FTempTiles, round);
            TMicroTiles* old = FOldInvalidTilesMap.Tiles(l);
            if (old->Count == 0) MicroTilesSetSize(*old, FBufferBounds);
            MicroTilesUnion(FInvalidTiles, *old, round);
            MicroTilesCopy(*old, FTempTiles);
            l->SetInvalid(false);
        }
        MicroTilesCalcRects(FInvalidTiles, FInvalidRects, false, round);
        MicroTilesCalcRects(FForcedInvalidTiles, FInvalidRects, false, round);
    }
    if (FAdaptiveMode && FPerformanceLevel > 0) {
        const int32_t now = static_cast<int32_t>(GetTickMilliseconds());
        if (now - FNextCheck > 0) {
            FPerformanceLevel = std::max(FPerformanceLevel - 1, 0);
            FTimedCheck = true;
        } else if (!FAdaptionFailed && FInvalidRects && FInvalidRects->Count() < FOldInvalidRectsCount - 10) {
            FPerformanceLevel = std::max(FPerformanceLevel - 1, 0);
        } else if (FPerformanceLevel == 2 && FInvalidRects) {
            FInvalidRects->Clear();
        }
    }
    MicroTilesClearUsed(FInvalidTiles);
    MicroTilesClearUsed(FForcedInvalidTiles);
}

void TMicroTilesRepaintOptimizer::BeginPaintBuffer() {
    if (FAdaptiveMode) FPerfTimer.Start();
}

void TMicroTilesRepaintOptimizer::EndPaintBuffer() {
    FUseInvalidTiles = false;
    MeasurePaintTime(FAdaptiveMode ? FPerfTimer.ReadMicroseconds() : 0);
}

void TMicroTilesRepaintOptimizer::MeasurePaintTime(int64_t T) {
    const int32_t now = static_cast<int32_t>(GetTickMilliseconds());
    if (!FInvalidRects || FInvalidRects->Count() == 0) {
        FFullSceneRepaintTime = T;
    } else if (FAdaptiveMode) {
        if (T > FFullSceneRepaintTime) {
            const int32_t level = std::min(FPerformanceLevel + 1, 2);
            if (level != FPerformanceLevel) {
                FOldInvalidRectsCount = FInvalidRects->Count();
                FPerformanceLevel = level;
                if (FTimedCheck) {
                    FTimeDelta = ClampToRange(FTimeDelta + 250, 1000, 5000);
                    FNextCheck = now + FTimeDelta;
                    FLastPenaltyTime = T;
                    FTimedCheck = false;
                }
                FAdaptionFailed = true;
            }
        } else if (T < FFullSceneRepaintTime) {
            if (FTimedCheck) {
                FTimeDelta = 1000;
                FNextCheck = now + 1000;
                FTimedCheck = false;
            } else if (FTimeDelta > 1000) {
                FTimeDelta = ClampToRange(FTimeDelta - 1000, 1000, 5000);
                FNextCheck = now + FTimeDelta;
            }
            FAdaptionFailed = false;
        } else if (T < FLastPenaltyTime && FTimedCheck) {
            FTimeDelta = ClampToRange(FTimeDelta - 250, 1000, 5000);
            FNextCheck = now + FTimeDelta;
            FTimedCheck = false;
        }
    }
    FLastRepaintTime = T;
}

void TMicroTilesRepaintOptimizer::ResetAdaptiveMode() {
    FTimeDelta = 1000;
    FAdaptionFailed = false;
    FPerformanceLevel = 0;
}

}  // namespace pix32
