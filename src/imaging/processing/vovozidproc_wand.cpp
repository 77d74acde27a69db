#include "imaging/processing/vovozidproc_wand.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_mask.h"

namespace ie {

namespace {

bool Matches(const TRGB& a, const TRGB& seed, int32_t tolerance) {
    return std::abs(a.r - seed.r) <= tolerance && std::abs(a.g - seed.g) <= tolerance &&
           std::abs(a.b - seed.b) <= tolerance;
}

// The 4-connected region of pixels matching the seed: a visited bit per pixel and the box
// of the filled pixels (MinX = INT_MAX when nothing was filled).
struct TRegion {
    int32_t Width = 0, Height = 0;
    int64_t RowBytes = 0;
    std::vector<uint8_t> Visited;  // one bit per pixel, most significant first
    int32_t MinX = INT_MAX, MinY = INT_MAX, MaxX = 0, MaxY = 0;
    bool Get(int32_t x, int32_t y) const { return IEGetBit(&Visited[static_cast<size_t>(y * RowBytes)], x); }
    void Set(int32_t x, int32_t y) { IESetBit(&Visited[static_cast<size_t>(y * RowBytes)], x, true); }
    bool Empty() const { return MinX == INT_MAX; }
};

TRegion SeedFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance) {
    TRegion r;
    r.Width = Bitmap->GetWidth();
    r.Height = Bitmap->GetHeight();
    r.RowBytes = r.Width / 8 + 1;
    r.Visited.assign(static_cast<size_t>(r.RowBytes * r.Height), 0);
    const TRGB seed = Bitmap->GetPixelRGB(X, Y);
    auto open = [&](int32_t x, int32_t y) {
        return !r.Get(x, y) && Matches(Bitmap->GetPixelRGB(x, y), seed, Tolerance);
    };
    // Scanline fill: each popped point grows to its whole run, then the runs of the rows
    // above and below under it are queued by their first pixel.
    std::vector<std::pair<int32_t, int32_t>> stack;
    stack.emplace_back(X, Y);
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        if (!open(x, y)) continue;
        int32_t l = x, rr = x;
        while (l > 0 && open(l - 1, y)) --l;
        while (rr + 1 < r.Width && open(rr + 1, y)) ++rr;
        for (int32_t i = l; i <= rr; ++i) r.Set(i, y);
        r.MinX = std::min(r.MinX, l);
        r.MaxX = std::max(r.MaxX, rr);
        r.MinY = std::min(r.MinY, y);
        r.MaxY = std::max(r.MaxY, y);
        for (const int32_t ny : {y - 1, y + 1}) {
            if (ny < 0 || ny >= r.Height) continue;
            bool inRun = false;
            for (int32_t i = l; i <= rr; ++i) {
                const bool o = open(i, ny);
                if (o && !inRun) stack.emplace_back(i, ny);
                inRun = o;
            }
        }
    }
    return r;
}

bool Inside(TIEBitmap* b, int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < b->GetWidth() && y < b->GetHeight(); }

// Steps of the outline trace (x right, y down) and their chain codes.
constexpr int kDX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
constexpr int kDY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
constexpr uint8_t kCode[8] = {0, 2, 4, 6, 1, 3, 5, 7};
// The move of each chain code.
constexpr int kCodeDX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kCodeDY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// The outline is traced on a grid four times finer than the region's box, with two cells
// of margin: pixel (x, y) of the box covers the cells of columns 4x + 2 .. 4x + 5 and rows
// 4y + 2 .. 4y + 5. The grid is never stored: a cell is a region cell when its pixel is set
// in the box's bit map, and an outline cell when it is not but one of its four side
// neighbours is. Only the outline cells already traced are remembered, in tiles of the
// grid that are made when the trace first enters them, so the memory follows the length
// of the outline rather than the area of the box.
class TOutlineGrid {
public:
    TOutlineGrid(int64_t BoxWidth, int64_t BoxHeight, std::vector<uint8_t> Bits)
        : FBW(BoxWidth), FBH(BoxHeight), FRowBytes(BoxWidth / 8 + 1), FBits(std::move(Bits)),
          FGW(BoxWidth * 4 + 4), FGH(BoxHeight * 4 + 4), FTilesX((FGW + kTile - 1) / kTile),
          FTiles(static_cast<size_t>(FTilesX * ((FGH + kTile - 1) / kTile))) {}

    int64_t Width() const { return FGW; }
    int64_t Height() const { return FGH; }
    // The pixel of the box at (x, y); false outside the box.
    bool Pixel(int64_t x, int64_t y) const {
        if (x < 0 || y < 0 || x >= FBW || y >= FBH) return false;
        return IEGetBit(&FBits[static_cast<size_t>(y * FRowBytes)], static_cast<int32_t>(x));
    }
    bool Region(int64_t c, int64_t r) const {
        // Cells left of or above the first pixel's cells map to no pixel.
        if (c < 2 || r < 2) return false;
        return Pixel((c - 2) >> 2, (r - 2) >> 2);
    }
    bool Outline(int64_t c, int64_t r) const {
        if (c < 0 || r < 0 || c >= FGW || r >= FGH || Region(c, r)) return false;
        return Region(c - 1, r) || Region(c + 1, r) || Region(c, r - 1) || Region(c, r + 1);
    }
    // An outline cell not traced yet.
    bool Open(int64_t c, int64_t r) const { return Outline(c, r) && !Traced(c, r); }
    void MarkTraced(int64_t c, int64_t r) {
        auto& tile = FTiles[static_cast<size_t>((r / kTile) * FTilesX + c / kTile)];
        if (!tile) tile = std::make_unique<TTile>();
        (*tile)[static_cast<size_t>(r % kTile)] |= uint64_t{1} << (c % kTile);
    }

private:
    static constexpr int64_t kTile = 64;
    using TTile = std::array<uint64_t, kTile>;
    bool Traced(int64_t c, int64_t r) const {
        const auto& tile = FTiles[static_cast<size_t>((r / kTile) * FTilesX + c / kTile)];
        return tile && ((*tile)[static_cast<size_t>(r % kTile)] >> (c % kTile) & 1) != 0;
    }

    int64_t FBW, FBH, FRowBytes;
    std::vector<uint8_t> FBits;  // the region in the box, one bit per pixel
    int64_t FGW, FGH, FTilesX;
    std::vector<std::unique_ptr<TTile>> FTiles;
};

// The start of the trace: the outline cell nearest the top-left corner of the outline
// cells' box, the first in row-by-row order on ties. The region touches the box's first
// row and first column, so that corner is cell (1, 1); a cell of the first row's first
// region pixel bounds the distance, and only blocks of pixels within it are looked at.
std::pair<int64_t, int64_t> OutlineStart(const TOutlineGrid& g, int64_t BoxWidth, int64_t BoxHeight) {
    int64_t bound = 4 * BoxWidth + 4;
    for (int64_t x = 0; x < BoxWidth; ++x)
        if (g.Pixel(x, 0)) {
            bound = 4 * x + 1;
            break;
        }
    int64_t bestC = -1, bestR = -1, best = INT64_MAX;
    // Pixel block p covers cells 4p + 2 .. 4p + 5; block -1 holds the grid's first two
    // columns (or rows) and block BoxWidth (BoxHeight) its last two.
    for (int64_t py = -1; py <= BoxHeight && 4 * py + 1 <= bound; ++py)
        for (int64_t px = -1; px <= BoxWidth && 4 * px + 1 <= bound; ++px) {
            if (g.Pixel(px, py)) continue;
            if (!g.Pixel(px - 1, py) && !g.Pixel(px + 1, py) && !g.Pixel(px, py - 1) && !g.Pixel(px, py + 1)) continue;
            for (int64_t r = 4 * py + 2; r < 4 * py + 6; ++r)
                for (int64_t c = 4 * px + 2; c < 4 * px + 6; ++c) {
                    if (!g.Outline(c, r)) continue;
                    const int64_t d = (c - 1) * (c - 1) + (r - 1) * (r - 1);
                    if (d < best || (d == best && (r < bestR || (r == bestR && c < bestC)))) {
                        best = d;
                        bestC = c;
                        bestR = r;
                    }
                }
        }
    return {bestC, bestR};
}

}  // namespace

std::vector<cl::TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool MaxFilter) {
    std::vector<cl::TPoint> points;
    if (!Bitmap || !Inside(Bitmap, X, Y)) return points;
    TRegion region = SeedFill(Bitmap, X, Y, Tolerance);
    if (region.Empty()) return points;
    const int64_t bw = region.MaxX - region.MinX + 1, bh = region.MaxY - region.MinY + 1;
    // The region in its box (grown by 3 x 3 within the box when asked), one bit per pixel.
    const int64_t rowBytes = bw / 8 + 1;
    std::vector<uint8_t> bits(static_cast<size_t>(rowBytes * bh), 0);
    for (int64_t y = 0; y < bh; ++y)
        for (int64_t x = 0; x < bw; ++x) {
            if (!region.Get(static_cast<int32_t>(x + region.MinX), static_cast<int32_t>(y + region.MinY))) continue;
            if (!MaxFilter) {
                IESetBit(&bits[static_cast<size_t>(y * rowBytes)], static_cast<int32_t>(x), true);
                continue;
            }
            for (int64_t ny = std::max<int64_t>(y - 1, 0); ny <= std::min(y + 1, bh - 1); ++ny)
                for (int64_t nx = std::max<int64_t>(x - 1, 0); nx <= std::min(x + 1, bw - 1); ++nx)
                    IESetBit(&bits[static_cast<size_t>(ny * rowBytes)], static_cast<int32_t>(nx), true);
        }
    region.Visited.clear();
    region.Visited.shrink_to_fit();
    TOutlineGrid grid(bw, bh, std::move(bits));
    const auto [startC, startR] = OutlineStart(grid, bw, bh);
    if (startC < 0) return points;
    grid.MarkTraced(startC, startR);
    // Follow the outline cells, straight on while possible, else the first open neighbour
    // in direction order. Each step is a chain code; a corner of the polygon is where the
    // code changes. The corners are kept four times finer until the end.
    int64_t px = startC - 1 + 4 * int64_t{region.MinX}, py = startR - 1 + 4 * int64_t{region.MinY};
    std::vector<std::pair<int64_t, int64_t>> fine;
    fine.emplace_back(px, py);
    bool anyCode = false;
    uint8_t previous = 0;
    auto append = [&](uint8_t code) {
        if (!anyCode) {
            anyCode = true;
            previous = code;
        } else if (code != previous) {
            fine.emplace_back(px, py);
            previous = code;
        }
        px += kCodeDX[code];
        py += kCodeDY[code];
    };
    int64_t c = startC, r = startR;
    int last = 4;
    for (;;) {
        if (grid.Open(c + kDX[last], r + kDY[last])) {
            c += kDX[last];
            r += kDY[last];
            grid.MarkTraced(c, r);
            append(kCode[last]);
        }
        int found = -1;
        for (int d = 0; d < 8 && found < 0; ++d)
            if (grid.Open(c + kDX[d], r + kDY[d])) found = d;
        if (found < 0) break;
        c += kDX[found];
        r += kDY[found];
        grid.MarkTraced(c, r);
        append(kCode[found]);
        last = found;
    }
    // The closing step back to the start (its end point is the start again).
    for (int k = 0; k < 8; ++k)
        if (c + kDX[k] == startC && r + kDY[k] == startR) {
            append(kCode[k]);
            break;
        }
    points.reserve(fine.size());
    for (const auto& [fx, fy] : fine)
        points.push_back(cl::TPoint{static_cast<int32_t>(fx / 4), static_cast<int32_t>(fy / 4)});
    return points;
}

void IEMagicWandFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TIEMask* Mask, int32_t Tolerance,
                     bool MaxFilter) {
    if (!Bitmap || !Mask || !Inside(Bitmap, X, Y)) return;
    const TRegion region = SeedFill(Bitmap, X, Y, Tolerance);
    if (region.Empty()) return;
    for (int32_t y = region.MinY; y <= region.MaxY; ++y)
        for (int32_t x = region.MinX; x <= region.MaxX; ++x) {
            if (!region.Get(x, y)) continue;
            if (!MaxFilter) {
                Mask->SetPixel(x, y, Value);
                continue;
            }
            for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, region.Height - 1); ++ny)
                for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, region.Width - 1); ++nx)
                    Mask->SetPixel(nx, ny, Value);
        }
}

void IEMagicWandGlobal(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TIEMask* Mask, int32_t Tolerance) {
    if (!Bitmap || !Mask || !Inside(Bitmap, X, Y)) return;
    const TRGB seed = Bitmap->GetPixelRGB(X, Y);
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (Matches(Bitmap->GetPixelRGB(x, y), seed, Tolerance)) Mask->SetPixel(x, y, Value);
}

// ---------------------------------------------------------------------------------------
// Channel swaps

void IECopyBGRToRGB(void* Dest, const void* Source, int32_t Count) {
    if (Count <= 0) return;
    std::memmove(Dest, Source, static_cast<size_t>(Count) * 3);
    IESwapRedBlue(Dest, Count);
}

void IESwapRedBlue(void* Buffer, int32_t Count) {
    auto* p = static_cast<uint8_t*>(Buffer);
    for (int32_t i = 0; i < Count; ++i, p += 3) std::swap(p[0], p[2]);
}

void IESwapRedBlue48(void* Buffer, int32_t Count) {
    auto* p = static_cast<uint8_t*>(Buffer);
    for (int32_t i = 0; i < Count; ++i, p += 6) {
        std::swap(p[0], p[4]);
        std::swap(p[1], p[5]);
    }
}

void IESwapRedBluePalette(TRGB* Palette, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) std::swap(Palette[i].r, Palette[i].b);
}

}  // namespace ie
