// The GDI transition effects that copy the new picture through a clipping region: curved
// and circular wipes, bars and crisscrosses, shreds, speckles, polygon wipes, sweeps and
// rotations, and the pattern fills.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <vector>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "imaging/processing/iextratransitions_internal.h"
#include "platform/kernel.h"

namespace ie::xtrans {

namespace {

constexpr double kPi = std::numbers::pi;

win::HRGN Polygon(std::initializer_list<int32_t> Points) {
    return IEPolygonRegion(std::span<const int32_t>(Points.begin(), Points.size()));
}

// The union of the polygons.
win::HRGN Union(std::initializer_list<win::HRGN> Regions) {
    win::HRGN out = nullptr;
    for (win::HRGN r : Regions) out = Combine(out, r, win::RGN_OR);
    return out;
}

// The frame rectangle with Region cut out of it (exclusive or).
win::HRGN FrameXor(const TGeometry& g, win::HRGN Region) {
    return Combine(win::CreateRectRgn(0, 0, g.W, g.H), Region, win::RGN_XOR);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Curved and circular wipes

namespace {

void RoundWipe(cl::TCanvas* Canvas, cl::TBitmap* NewBitmap, int32_t L, int32_t T, int32_t R, int32_t B, int32_t CW,
               int32_t CH) {
    ThroughRegion(Canvas, NewBitmap, win::CreateRoundRectRgn(L, T, R, B, CW, CH));
}

}  // namespace

IE_XTRANS_PROC(CurvedWipeFromLeft) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, -2 * g.W, 0, 2 * g.w, g.H + 1, 2 * g.W, 2 * g.W);
}

IE_XTRANS_PROC(CurvedWipeFromRight) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, g.W - 2 * g.w, 0, 3 * g.W, g.H + 1, 2 * g.W, 2 * g.W);
}

IE_XTRANS_PROC(CurvedWipeFromTop) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, 0, -2 * g.H, g.W + 1, 2 * g.h, 2 * g.H, 2 * g.H);
}

IE_XTRANS_PROC(CurvedWipeFromBottom) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, 0, g.H - 2 * g.h, g.W + 1, 3 * g.H, 2 * g.H, 2 * g.H);
}

IE_XTRANS_PROC(CurvedWipeFromTopLeft) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, -g.W, -g.H, (3 * g.w) / 2, (3 * g.h) / 2, 2 * g.W, 2 * g.H);
}

IE_XTRANS_PROC(CurvedWipeFromTopRight) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, g.W - (3 * g.w) / 2, -g.H, 2 * g.W, (3 * g.h) / 2, 2 * g.W, 2 * g.H);
}

IE_XTRANS_PROC(CurvedWipeFromBottomLeft) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, -g.W, g.H - (3 * g.h) / 2, (3 * g.w) / 2, 2 * g.H, 2 * g.W, 2 * g.H);
}

IE_XTRANS_PROC(CurvedWipeFromBottomRight) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, g.W - (3 * g.w) / 2, g.H - (3 * g.h) / 2, 2 * g.W, 2 * g.H, 2 * g.W, 2 * g.H);
}

IE_XTRANS_PROC(CircularWipeFromCenter) {
    TGeometry g(Rect, Percent);
    RoundWipe(Canvas, NewBitmap, g.W / 2 - g.w, g.H / 2 - g.h, g.W / 2 + g.w, g.H / 2 + g.h, (9 * g.w) / 5,
              (9 * g.h) / 5);
}

IE_XTRANS_PROC(CircularWipeToCenter) {
    TGeometry g(Rect, Percent);
    win::HRGN hole = win::CreateRoundRectRgn(g.w - g.W / 2, g.h - g.H / 2, 3 * (g.W / 2) - g.w, 3 * (g.H / 2) - g.h,
                                             (9 * (g.W - g.w)) / 5, (9 * (g.H - g.h)) / 5);
    ThroughRegion(Canvas, NewBitmap, FrameXor(g, hole));
}

// ---------------------------------------------------------------------------------------
// Bars and crisscrosses: (progress, style) of the horizontal and of the vertical bars

namespace {

enum class Prog { None, Single, Double };

void Bars(cl::TCanvas* Canvas, cl::TBitmap* NewBitmap, const TGeometry& g, Prog XP, int32_t XStyle, Prog YP,
          int32_t YStyle) {
    const int32_t px = XP == Prog::Double ? 2 * g.w : g.w;
    const int32_t py = YP == Prog::Double ? 2 * g.h : g.h;
    ThroughRegion(Canvas, NewBitmap,
                  IEBarsRegion(px, py, g.W, g.H, XP == Prog::None ? 0 : XStyle, YP == Prog::None ? 0 : YStyle));
}

}  // namespace

#define IE_BARS(Name, XP, XS, YP, YS)                           \
    IE_XTRANS_PROC(Name) {                                      \
        TGeometry g(Rect, Percent);                             \
        Bars(Canvas, NewBitmap, g, Prog::XP, XS, Prog::YP, YS); \
    }

// clang-format off
IE_BARS(BarsInFromLeft,                     Double, 2, None,   0)
IE_BARS(BarsInFromRight,                    Double, 1, None,   0)
IE_BARS(BarsFromTop,                        None,   0, Double, 2)
IE_BARS(BarsFromBottom,                     None,   0, Double, 1)
IE_BARS(BarsLeftThenRight,                  Double, 4, None,   0)
IE_BARS(BarsRightThenLeft,                  Double, 5, None,   0)
IE_BARS(BarsTopThenBottom,                  None,   0, Double, 4)
IE_BARS(BarsBottomThenTop,                  None,   0, Double, 5)
IE_BARS(BarsFromBothSides,                  Single, 3, None,   0)
IE_BARS(BarsFromTopAndBottom,               None,   0, Single, 3)
IE_BARS(CrisscrossFromTopLeft,              Double, 2, Double, 2)
IE_BARS(CrisscrossFromTopRight,             Double, 1, Double, 2)
IE_BARS(CrisscrossFromBottomLeft,           Double, 2, Double, 1)
IE_BARS(CrisscrossFromBottomRight,          Double, 1, Double, 1)
IE_BARS(CrisscrossBounceFromTopLeft,        Double, 4, Double, 4)
IE_BARS(CrisscrossBounceFromTopRight,       Double, 5, Double, 4)
IE_BARS(CrisscrossBounceFromBottomLeft,     Double, 4, Double, 5)
IE_BARS(CrisscrossBounceFromBottomRight,    Double, 5, Double, 5)
IE_BARS(CrisscrossFromLeftRightAndTop,      Single, 3, Single, 2)
IE_BARS(CrisscrossFromLeftRightAndBottom,   Single, 3, Single, 1)
IE_BARS(CrisscrossFromLeftTopAndBottom,     Single, 2, Single, 3)
IE_BARS(CrisscrossFromTopLeftRightAndBottom, Single, 3, Single, 3)
IE_BARS(CrisscrossFromRightTopAndBottom,    Single, 1, Single, 3)
// clang-format on

IE_XTRANS_PROC(CrisscrossFromBottomLeftTopRight) {
    TGeometry g(Rect, Percent);
    win::HRGN a = IEBarsRegion(2 * g.w, 2 * g.h, g.W, g.H, 1, 1);
    win::HRGN b = IEBarsRegion(2 * g.w, 2 * g.h, g.W, g.H, 2, 2);
    ThroughRegion(Canvas, NewBitmap, Combine(a, b, win::RGN_AND));
}

// ---------------------------------------------------------------------------------------
// Shreds and speckles

#define IE_SHRED(Name, XS, YS)                                                       \
    IE_XTRANS_PROC(Name) {                                                           \
        TGeometry g(Rect, Percent);                                                  \
        ThroughRegion(Canvas, NewBitmap, IEShredRegion(g.w, g.h, g.W, g.H, XS, YS)); \
    }

// clang-format off
IE_SHRED(ShreddedFromLeft,                    2, 0)
IE_SHRED(ShreddedFromRight,                   1, 0)
IE_SHRED(ShreddedFromTop,                     0, 2)
IE_SHRED(ShreddedFromBottom,                  0, 1)
IE_SHRED(ShreddedFromTopAndLeft,              2, 2)
IE_SHRED(ShreddedFromTopAndRight,             1, 2)
IE_SHRED(ShreddedFromBottomAndLeft,           2, 1)
IE_SHRED(ShreddedFromBottomAndRight,          1, 1)
IE_SHRED(ShreddedFromHorizonAndLeft,          2, 3)
IE_SHRED(ShreddedFromHorizonAndRight,         1, 3)
IE_SHRED(ShreddedFromTopAndVerticalCenter,    3, 2)
IE_SHRED(ShreddedFromBottomAndVerticalCenter, 3, 1)
IE_SHRED(ShreddedFromCenter,                  3, 3)
IE_SHRED(ShreddedToCenter,                    4, 4)
IE_SHRED(ShreddedInToHorizon,                 0, 4)
IE_SHRED(ShreddedInToVerticalCenter,          4, 0)
IE_SHRED(ShreddedOutFromHorizon,              0, 3)
IE_SHRED(ShreddedOutFromVerticalCenter,       3, 0)
// clang-format on

#define IE_SPECKLE(Name, XS, YS)                                                       \
    IE_XTRANS_PROC(Name) {                                                             \
        TGeometry g(Rect, Percent);                                                    \
        ThroughRegion(Canvas, NewBitmap, IESpeckleRegion(g.w, g.h, g.W, g.H, XS, YS)); \
    }

IE_SPECKLE(SpeckledWipeFromLeft, 2, 0)
IE_SPECKLE(SpeckledWipeFromRight, 1, 0)
IE_SPECKLE(SpeckledWipeFromTop, 0, 2)
IE_SPECKLE(SpeckledWipeFromBottom, 0, 1)

// ---------------------------------------------------------------------------------------
// Polygon wipes

IE_XTRANS_PROC(WipeDiagonalFromTopLeft) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Polygon({0, 0, 2 * g.w, 0, 0, 2 * g.h}));
}

IE_XTRANS_PROC(WipeDiagonalFromTopRight) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Polygon({g.W, 0, g.W - 2 * g.w, 0, g.W, 2 * g.h}));
}

IE_XTRANS_PROC(WipeDiagonalFromBottomLeft) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Polygon({0, g.H, 2 * g.w, g.H, 0, g.H - 2 * g.h}));
}

IE_XTRANS_PROC(WipeDiagonalFromBottomRight) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Polygon({g.W, g.H, g.W - 2 * g.w, g.H, g.W, g.H - 2 * g.h}), true);
}

IE_XTRANS_PROC(DiagonalSweepClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap,
                  Union({Polygon({g.W, 0, 0, 0, g.W, g.h}), Polygon({g.W, g.H, 0, g.H, 0, g.H - g.h})}));
}

IE_XTRANS_PROC(DiagonalSweepCounterClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap,
                  Union({Polygon({0, g.H, 0, 0, g.w, g.H}), Polygon({g.W, g.H, g.W, 0, g.W - g.w, 0})}));
}

IE_XTRANS_PROC(StarburstClockwise) {
    TGeometry g(Rect, Percent);
    const int32_t cx = g.W / 2, cy = g.H / 2;
    ThroughRegion(Canvas, NewBitmap,
                  Union({Polygon({cx, cy, 0, 0, g.w, 0}), Polygon({cx, cy, 0, g.H, 0, g.H - g.h}),
                         Polygon({cx, cy, g.W, g.H, g.W - g.w, g.H}), Polygon({cx, cy, g.W, 0, g.W, g.h})}));
}

IE_XTRANS_PROC(StarburstCounterClockwise) {
    TGeometry g(Rect, Percent);
    const int32_t cx = g.W / 2, cy = g.H / 2;
    ThroughRegion(Canvas, NewBitmap,
                  Union({Polygon({cx, cy, 0, 0, 0, g.h}), Polygon({cx, cy, 0, g.H, g.w, g.H}),
                         Polygon({cx, cy, g.W, g.H, g.W, g.H - g.h}), Polygon({cx, cy, g.W, 0, g.W - g.w, 0})}));
}

IE_XTRANS_PROC(ArrowWipeFromLeft) {
    TGeometry g(Rect, Percent);
    const int32_t m = g.H / 2;
    ThroughRegion(Canvas, NewBitmap, Polygon({0, m - g.h, 2 * g.w, m, 0, m + g.h}));
}

IE_XTRANS_PROC(ArrowWipeFromRight) {
    TGeometry g(Rect, Percent);
    const int32_t m = g.H / 2;
    ThroughRegion(Canvas, NewBitmap, Polygon({g.W, m - g.h, g.W - 2 * g.w, m, g.W, m + g.h}));
}

IE_XTRANS_PROC(ArrowWipeFromTop) {
    TGeometry g(Rect, Percent);
    const int32_t m = g.W / 2;
    ThroughRegion(Canvas, NewBitmap, Polygon({m - g.w, 0, m, 2 * g.h, m + g.w, 0}));
}

IE_XTRANS_PROC(ArrowWipeFromBottom) {
    TGeometry g(Rect, Percent);
    const int32_t m = g.W / 2;
    ThroughRegion(Canvas, NewBitmap, Polygon({m - g.w, g.H, m, g.H - 2 * g.h, m + g.w, g.H}));
}

IE_XTRANS_PROC(HorizontalBowTieWipe) {
    TGeometry g(Rect, Percent);
    const int32_t m = g.H / 2;
    ThroughRegion(
        Canvas, NewBitmap,
        Union({Polygon({0, m - g.h, g.w, m, 0, m + g.h}), Polygon({g.W, m - g.h, g.W - g.w, m, g.W, m + g.h})}));
}

IE_XTRANS_PROC(VerticalBowTieWipe) {
    TGeometry g(Rect, Percent);
    const int32_t m = g.W / 2;
    ThroughRegion(Canvas, NewBitmap,
                  Union({Polygon({m - g.w, 0, m, 2 * g.h, m + g.w, 0}),
                         Polygon({m - g.w, g.H, m, g.H - 2 * g.h, m + g.w, g.H})}));
}

namespace {

// The four triangles pointing from the middles of the sides towards the centre, a and b
// their half-widths and heights.
std::vector<win::HRGN> CrossTriangles(const TGeometry& g, int32_t a, int32_t b) {
    const int32_t mx = g.W / 2, my = g.H / 2;
    return {Polygon({0, my - b, a, my, 0, my + b}), Polygon({g.W, my - b, g.W - a, my, g.W, my + b}),
            Polygon({mx - a, 0, mx, b, mx + a, 0}), Polygon({mx - a, g.H, mx, g.H - b, mx + a, g.H})};
}

}  // namespace

IE_XTRANS_PROC(DiagonalCrossToCenter) {
    TGeometry g(Rect, Percent);
    win::HRGN out = nullptr;
    for (win::HRGN r : CrossTriangles(g, g.w / 2, g.h / 2)) out = Combine(out, r, win::RGN_OR);
    ThroughRegion(Canvas, NewBitmap, out);
}

IE_XTRANS_PROC(DiagonalCrossFromCenter) {
    TGeometry g(Rect, Percent);
    win::HRGN out = win::CreateRectRgn(0, 0, g.W, g.H);
    for (win::HRGN r : CrossTriangles(g, (g.W - g.w) / 2, (g.H - g.h) / 2)) out = Combine(out, r, win::RGN_XOR);
    ThroughRegion(Canvas, NewBitmap, out);
}

namespace {

// The zigzag band around the middle line: the upper edge and the lower edge each run
// through twelve teeth, b is the band's half-height. With Swap the axes are exchanged.
win::HRGN Zigzag(int32_t Len, int32_t Across, int32_t Progress, int32_t p, bool Swap) {
    const int32_t n = Across / 10;
    const int32_t b = win::MulDiv(n, p, 100) + Progress / 2;
    const int32_t m = Across / 2;
    const int32_t step = Len / 10;
    std::vector<int32_t> pts;
    auto add = [&](int32_t along, int32_t across) {
        pts.push_back(Swap ? across : along);
        pts.push_back(Swap ? along : across);
    };
    // The last tooth reaches the far edge also when a tenth of the length, taken eleven
    // times, falls short of it (a length of 48: 11 x 4 = 44).
    auto along = [&](int32_t k) { return k == 11 ? std::max(11 * step, Len) : k * step; };
    for (int32_t k = 0; k <= 11; ++k) add(along(k), (k % 2 == 0) ? m + n - b : m - n - b);
    for (int32_t k = 11; k >= 0; --k) add(along(k), (k % 2 != 0) ? m - n + b : m + n + b);
    return IEPolygonRegion(pts);
}

}  // namespace

IE_XTRANS_PROC(ZigzagWipeFromHorizon) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Zigzag(g.W, g.H, g.h, g.p, false));
}

IE_XTRANS_PROC(ZigzagWipeFromVerticalCenter) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Zigzag(g.H, g.W, g.w, g.p, true));
}

IE_XTRANS_PROC(DiamondWipeFromCenter) {
    TGeometry g(Rect, Percent);
    const int32_t mx = g.W / 2, my = g.H / 2;
    ThroughRegion(Canvas, NewBitmap, Polygon({mx - g.w, my, mx, my - g.h, mx + g.w, my, mx, my + g.h}));
}

IE_XTRANS_PROC(DiamondWipeToCenter) {
    TGeometry g(Rect, Percent);
    const int32_t mx = g.W / 2, my = g.H / 2;
    ThroughRegion(Canvas, NewBitmap,
                  FrameXor(g, Polygon({g.w - mx, my, mx, g.h - my, 3 * mx - g.w, my, mx, 3 * my - g.h})));
}

IE_XTRANS_PROC(DiagonalBoxWipe) {
    TGeometry g(Rect, Percent);
    const int32_t mx = g.W / 2, my = g.H / 2, a = g.w / 2, b = g.h / 2;
    win::HRGN outer = Polygon({-a, my, mx, -b, a + 2 * mx, my, mx, 2 * my + b});
    win::HRGN inner = Polygon({a, my, mx, b, 2 * mx - a, my, mx, 2 * my - b});
    ThroughRegion(Canvas, NewBitmap, Combine(outer, inner, win::RGN_XOR));
}

// ---------------------------------------------------------------------------------------
// Sweeps and rotations

IE_XTRANS_PROC(SweepClockwise) {
    TGeometry g(Rect, Percent);
    const auto radius = static_cast<int32_t>(cl::Ceil(std::hypot(g.W / 2, g.H / 2)));
    const double start = -kPi / 2;
    ThroughRegion(Canvas, NewBitmap, IEFanRegion(g.W / 2, g.H / 2, radius, g.p, start + g.p * kPi / 50, start));
}

IE_XTRANS_PROC(SweepCounterClockwise) {
    TGeometry g(Rect, Percent);
    const auto radius = static_cast<int32_t>(cl::Ceil(std::hypot(g.W / 2, g.H / 2)));
    const double start = -kPi / 2;
    ThroughRegion(Canvas, NewBitmap, IEFanRegion(g.W / 2, g.H / 2, radius, g.p, start - g.p * kPi / 50, start));
}

namespace {

// The points turned about (CX, CY) and made a region.
win::HRGN Turned(std::vector<cl::TPoint> Points, int32_t CX, int32_t CY, double Angle) {
    IERotatePoints(Points.data(), static_cast<int32_t>(Points.size()), CX, CY, Angle);
    std::vector<int32_t> flat;
    for (const cl::TPoint& p : Points) {
        flat.push_back(p.x);
        flat.push_back(p.y);
    }
    return IEPolygonRegion(flat);
}

std::vector<cl::TPoint> CentredRectangle(const TGeometry& g) {
    const int32_t cx = g.W / 2, cy = g.H / 2, a = g.w / 2, b = g.h / 2;
    return {{cx - a, cy - b}, {cx + a, cy - b}, {cx + a, cy + b}, {cx - a, cy + b}};
}

std::vector<cl::TPoint> Star(const TGeometry& g) {
    const int32_t cx = g.W / 2, cy = g.H / 2, w = g.w, h = g.h;
    return {{cx - 2 * w, cy}, {cx - w / 2, cy - h / 2}, {cx, cy - 2 * h}, {cx + w / 2, cy - h / 2},
            {cx + 2 * w, cy}, {cx + w / 2, cy + h / 2}, {cx, cy + 2 * h}, {cx - w / 2, cy + h / 2}};
}

}  // namespace

IE_XTRANS_PROC(RotationalRectangleClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Turned(CentredRectangle(g), g.W / 2, g.H / 2, g.p * kPi / 50));
}

IE_XTRANS_PROC(RotationalRectangleCounterClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Turned(CentredRectangle(g), g.W / 2, g.H / 2, -g.p * kPi / 50));
}

IE_XTRANS_PROC(RotationalStarClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Turned(Star(g), g.W / 2, g.H / 2, g.p * kPi / 50));
}

IE_XTRANS_PROC(RotationalStarCounterClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Turned(Star(g), g.W / 2, g.H / 2, -g.p * kPi / 50));
}

IE_XTRANS_PROC(SpirallingRectangleClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Turned(CentredRectangle(g), g.w, g.h, g.p * kPi / 50));
}

IE_XTRANS_PROC(SpirallingRectangleCounterClockwise) {
    TGeometry g(Rect, Percent);
    ThroughRegion(Canvas, NewBitmap, Turned(CentredRectangle(g), g.w, g.h, -g.p * kPi / 50));
}

// ---------------------------------------------------------------------------------------
// Pattern fills

namespace {

// Grid centres Step, 3 Step, 5 Step, ... while centre - Step < Limit.
template <typename F>
void Centres(int32_t Step, int32_t Limit, F Each) {
    if (Step <= 0) return;
    for (int64_t c = Step; c - Step < Limit; c += 2 * int64_t{Step}) Each(static_cast<int32_t>(c));
}

}  // namespace

IE_XTRANS_PROC(ExpandingRectangles) {
    TGeometry g(Rect, Percent);
    const int32_t n = std::min(g.W, g.H) / 10 + 1, a = win::MulDiv(n, g.p, 100);
    TComplexRegion rgn;
    Centres(n, g.H, [&](int32_t y) { Centres(n, g.W, [&](int32_t x) { rgn.AddRect(x - a, y - a, x + a, y + a); }); });
    ThroughRegion(Canvas, NewBitmap, rgn.CreateRegion());
}

IE_XTRANS_PROC(ExpandingTriangles) {
    TGeometry g(Rect, Percent);
    const int32_t nx = g.W / 10 + 1, ny = g.H / 10 + 1;
    const int32_t dx = win::MulDiv(nx, g.p, 50), dy = win::MulDiv(ny, g.p, 50);
    win::HRGN out = nullptr;
    Centres(nx, g.W, [&](int32_t x) {
        Centres(ny, g.H + ny, [&](int32_t y) {
            out = Combine(out, IETriangleRegion(x - dx, y - dy, x, y + dy, x + dx, y - dy), win::RGN_OR);
        });
    });
    ThroughRegion(Canvas, NewBitmap, out);
}

IE_XTRANS_PROC(ExpandingCircles) {
    TGeometry g(Rect, Percent);
    const int32_t n = std::min(g.W, g.H) / 10 + 1, r = win::MulDiv(3 * n, g.p, 200);
    win::HRGN out = nullptr;
    Centres(n, g.H, [&](int32_t y) {
        Centres(n, g.W, [&](int32_t x) {
            out = Combine(out, win::CreateEllipticRgn(x - r, y - r, x + r, y + r), win::RGN_OR);
        });
    });
    ThroughRegion(Canvas, NewBitmap, out);
}

IE_XTRANS_PROC(ExpandingDiamonds) {
    TGeometry g(Rect, Percent);
    const int32_t n = std::min(g.W, g.H) / 10 + 1, a = win::MulDiv(n, g.p, 50);
    win::HRGN out = nullptr;
    Centres(n, g.H, [&](int32_t y) {
        Centres(n, g.W, [&](int32_t x) {
            out = Combine(out, Polygon({x - a, y, x, y - a, x + a, y, x, y + a}), win::RGN_OR);
        });
    });
    ThroughRegion(Canvas, NewBitmap, out);
}

IE_XTRANS_PROC(HorizontalBlinds) {
    TGeometry g(Rect, Percent);
    const int32_t n = g.H / 40 + 1, a = win::MulDiv(n, g.p, 100);
    TComplexRegion rgn;
    Centres(n, g.H, [&](int32_t y) { rgn.AddRect(0, y - a, g.W, y + a); });
    ThroughRegion(Canvas, NewBitmap, rgn.CreateRegion());
}

IE_XTRANS_PROC(VerticalBlinds) {
    TGeometry g(Rect, Percent);
    const int32_t n = g.W / 40 + 1, a = win::MulDiv(n, g.p, 100);
    TComplexRegion rgn;
    Centres(n, g.W, [&](int32_t x) { rgn.AddRect(x - a, 0, x + a, g.H); });
    ThroughRegion(Canvas, NewBitmap, rgn.CreateRegion());
}

namespace {

// Uneven blinds: bands of width MulDiv(w, p, 100) at every multiple of the progress size w,
// grown from the near side or from the far side. A progress size of 0 adds nothing: the
// bands would not move along.
void UnevenBands(TComplexRegion& Rgn, const TGeometry& g, bool Vertical, bool FromFar) {
    const int32_t len = Vertical ? g.H : g.W;
    const int32_t step = Vertical ? g.h : g.w;
    if (step <= 0) return;
    const int32_t band = win::MulDiv(step, g.p, 100);
    auto add = [&](int32_t a0, int32_t a1) {
        if (Vertical) {
            Rgn.AddRect(0, a0, g.W, a1);
        } else {
            Rgn.AddRect(a0, 0, a1, g.H);
        }
    };
    if (FromFar) {
        for (int32_t x = len; x > 0; x -= step) add(x - band, x);
    } else {
        for (int32_t x = 0; x < len; x += step) add(x, x + band);
    }
}

// Crossing bands of half-width MulDiv(m, p, 100) at -m, 2m, 5m, ... with m a twentieth of
// the other side; false when m is 0 (no bands can be laid).
bool CrossBands(TComplexRegion& Rgn, const TGeometry& g, bool Vertical) {
    const int32_t len = Vertical ? g.W : g.H;
    const int32_t m = len / 20;
    if (m <= 0) return false;
    const int32_t a = win::MulDiv(m, g.p, 100);
    for (int32_t y = -m; y < len; y += 3 * m) {
        if (Vertical) {
            Rgn.AddRect(y - a, 0, y + a, g.H);
        } else {
            Rgn.AddRect(0, y - a, g.W, y + a);
        }
    }
    return true;
}

void UnevenBlinds(cl::TCanvas* Canvas, cl::TBitmap* NewBitmap, const TGeometry& g, bool Vertical, bool FromFar) {
    TComplexRegion rgn;
    UnevenBands(rgn, g, Vertical, FromFar);
    ThroughRegion(Canvas, NewBitmap, rgn.CreateRegion());
}

void Rectangles(cl::TCanvas* Canvas, cl::TBitmap* NewBitmap, const TGeometry& g, bool Vertical, bool FromFar) {
    if ((Vertical ? g.h : g.w) <= 0) return;
    TComplexRegion rgn;
    if (!CrossBands(rgn, g, Vertical)) return;
    UnevenBands(rgn, g, Vertical, FromFar);
    ThroughRegion(Canvas, NewBitmap, rgn.CreateRegion());
}

}  // namespace

IE_XTRANS_PROC(UnevenBlindsFromLeft) { UnevenBlinds(Canvas, NewBitmap, TGeometry(Rect, Percent), false, false); }
IE_XTRANS_PROC(UnevenBlindsFromRight) { UnevenBlinds(Canvas, NewBitmap, TGeometry(Rect, Percent), false, true); }
IE_XTRANS_PROC(UnevenBlindsFromTop) { UnevenBlinds(Canvas, NewBitmap, TGeometry(Rect, Percent), true, false); }
IE_XTRANS_PROC(UnevenBlindsFromBottom) { UnevenBlinds(Canvas, NewBitmap, TGeometry(Rect, Percent), true, true); }
IE_XTRANS_PROC(RectanglesFromTheLeft) { Rectangles(Canvas, NewBitmap, TGeometry(Rect, Percent), false, false); }
IE_XTRANS_PROC(RectanglesFromTheRight) { Rectangles(Canvas, NewBitmap, TGeometry(Rect, Percent), false, true); }
IE_XTRANS_PROC(RectanglesFromTheTop) { Rectangles(Canvas, NewBitmap, TGeometry(Rect, Percent), true, false); }
IE_XTRANS_PROC(RectanglesFromTheBottom) { Rectangles(Canvas, NewBitmap, TGeometry(Rect, Percent), true, true); }

IE_XTRANS_PROC(TriangularWipe) {
    TGeometry g(Rect, Percent);
    const int32_t k = win::MulDiv(std::max(g.W, g.H), Param, 90);
    const int32_t n = k < 1 ? 1 : (k == 1 ? k : k / 2);
    const int32_t W1 = g.W / n, H1 = g.H / n, w1 = g.w / n, h1 = g.h / n;
    win::HRGN out = nullptr;
    for (int32_t i = 0; i <= n; ++i) {
        for (int32_t j = 0; j <= n; ++j) {
            out = Combine(
                out, IETriangleRegion(j * W1 - w1, i * H1 - h1, j * W1 + w1, i * H1 - h1, j * W1 - w1, i * H1 + h1),
                win::RGN_OR);
        }
    }
    ThroughRegion(Canvas, NewBitmap, out, true);
}

IE_XTRANS_PROC(RandomBigBoxes) {
    TGeometry g(Rect, Percent);
    const int32_t c = std::min(g.W, g.H) / 20 + 1;
    // The same sequence on every call (seeded from the new picture's handle), so boxes
    // once shown stay; the caller's sequence goes on afterwards as if nothing happened.
    const uint32_t saved = cl::GetRandSeed();
    cl::SetRandSeed(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(NewBitmap->GetHandle())));
    TComplexRegion rgn;
    Centres(c, g.H, [&](int32_t y) {
        Centres(c, g.W, [&](int32_t x) {
            if (cl::Random(100) < g.p) rgn.AddRect(x - c, y - c, x + c, y + c);
        });
    });
    cl::SetRandSeed(saved);
    ThroughRegion(Canvas, NewBitmap, rgn.CreateRegion());
}

}  // namespace ie::xtrans
