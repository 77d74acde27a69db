#include "imaging/processing/vovozidproc_wand.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
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

}  // namespace

std::vector<cl::TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool MaxFilter) {
    std::vector<cl::TPoint> points;
    if (!Bitmap || !Inside(Bitmap, X, Y)) return points;
    TRegion region = SeedFill(Bitmap, X, Y, Tolerance);
    if (region.Empty()) return points;
    const int64_t bw = region.MaxX - region.MinX + 1, bh = region.MaxY - region.MinY + 1;
    const int64_t gw = bw * 4 + 4, gh = bh * 4 + 4;
    if (gw * gh > IEMagicWandMaxOutlineBytes) return points;
    // The region (dilated by 3 x 3 within the box when asked) on a grid four times finer,
    // with two cells of margin.
    std::vector<uint8_t> grid(static_cast<size_t>(gw * gh), 0);
    auto cell = [&](int64_t c, int64_t r) -> uint8_t& { return grid[static_cast<size_t>(r * gw + c)]; };
    auto setPixel = [&](int64_t x, int64_t y) {
        for (int64_t r = 4 * y + 2; r < 4 * y + 6; ++r) std::memset(&cell(4 * x + 2, r), 1, 4);
    };
    for (int64_t y = 0; y < bh; ++y)
        for (int64_t x = 0; x < bw; ++x) {
            if (!region.Get(static_cast<int32_t>(x + region.MinX), static_cast<int32_t>(y + region.MinY))) continue;
            if (!MaxFilter) {
                setPixel(x, y);
                continue;
            }
            for (int64_t ny = std::max<int64_t>(y - 1, 0); ny <= std::min(y + 1, bh - 1); ++ny)
                for (int64_t nx = std::max<int64_t>(x - 1, 0); nx <= std::min(x + 1, bw - 1); ++nx) setPixel(nx, ny);
        }
    region.Visited.clear();
    region.Visited.shrink_to_fit();
    // Outline cells: outside cells sharing a side with a region cell.
    for (int64_t r = 0; r < gh; ++r) {
        for (int64_t c = 1; c < gw; ++c)
            if (cell(c, r) == 1 && cell(c - 1, r) != 1) cell(c - 1, r) = 3;
        for (int64_t c = gw - 2; c >= 0; --c)
            if (cell(c, r) == 1 && cell(c + 1, r) != 1) cell(c + 1, r) = 3;
    }
    for (int64_t c = 0; c < gw; ++c) {
        for (int64_t r = 1; r < gh; ++r)
            if (cell(c, r) == 1 && cell(c, r - 1) != 1) cell(c, r - 1) = 3;
        for (int64_t r = gh - 2; r >= 0; --r)
            if (cell(c, r) == 1 && cell(c, r + 1) != 1) cell(c, r + 1) = 3;
    }
    // Start: the outline cell nearest the corner of the outline's box.
    int64_t minC = INT64_MAX, minR = INT64_MAX;
    for (int64_t r = 0; r < gh; ++r)
        for (int64_t c = 1; c < gw; ++c)
            if (cell(c, r) == 3) {
                minC = std::min(minC, c);
                minR = std::min(minR, r);
            }
    if (minC == INT64_MAX) return points;
    int64_t startC = 0, startR = 0, best = INT64_MAX;
    for (int64_t r = 0; r < gh; ++r)
        for (int64_t c = 1; c < gw; ++c)
            if (cell(c, r) == 3) {
                const int64_t d = (c - minC) * (c - minC) + (r - minR) * (r - minR);
                if (d < best) {
                    best = d;
                    startC = c;
                    startR = r;
                }
            }
    cell(startC, startR) = 2;
    auto at = [&](int64_t c, int64_t r) -> int { return c < 0 || r < 0 || c >= gw || r >= gh ? 0 : cell(c, r); };
    std::vector<uint8_t> codes;
    codes.reserve(8192);
    int64_t c = startC, r = startR;
    int last = 4;
    for (;;) {
        if (at(c + kDX[last], r + kDY[last]) == 3) {
            c += kDX[last];
            r += kDY[last];
            cell(c, r) = 2;
            codes.push_back(kCode[last]);
        }
        int found = -1;
        for (int d = 0; d < 8 && found < 0; ++d)
            if (at(c + kDX[d], r + kDY[d]) == 3) found = d;
        if (found < 0) break;
        c += kDX[found];
        r += kDY[found];
        cell(c, r) = 2;
        codes.push_back(kCode[found]);
        last = found;
    }
    for (int k = 0; k < 8; ++k)
        if (c + kDX[k] == startC && r + kDY[k] == startR) {
            codes.push_back(kCode[k]);
            break;
        }
    grid.clear();
    grid.shrink_to_fit();
    // Corners of the chain, back on the pixel grid.
    int64_t px = startC - 1 + 4 * int64_t{region.MinX}, py = startR - 1 + 4 * int64_t{region.MinY};
    std::vector<std::pair<int64_t, int64_t>> fine;
    fine.emplace_back(px, py);
    uint8_t previous = codes.empty() ? 0 : codes.front();
    for (const uint8_t code : codes) {
        if (code != previous) {
            fine.emplace_back(px, py);
            previous = code;
        }
        px += kCodeDX[code];
        py += kCodeDY[code];
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
