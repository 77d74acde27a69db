// The aliased rasteriser's geometry: which pixels lines, polygons, ellipses and round
// rectangles cover. Pure functions over device coordinates, shared by drawing and by the
// region constructors.
#pragma once

#include <functional>
#include <vector>

#include "platform/gdi_internal.h"

namespace win::gdi {

// Rows drawing may touch, [lo, hi); shapes outside are not computed.
struct RowRange {
    int lo = -(1 << 26);
    int hi = 1 << 26;
};

// Pixels of a one-pixel line from a (included) to b (excluded), in order. `limit` bounds
// the major-axis range that is reported (pixels skipped still count for `index`).
void LinePixels(POINT a, POINT b, const std::function<void(int x, int y, int index)>& fn, const RECT* limit = nullptr);

// Interior of polygons by the fill mode (pixel centres inside; left/top edges in).
void PolygonSpans(const std::vector<std::vector<POINT>>& polys, int fillMode, RowRange rows, SpanSet& out);

// Row extents (inclusive) of the filled ellipse inscribed in the box l..r-1 x t..b-1.
struct RowSpan {
    int y, x0, x1;
};
std::vector<RowSpan> EllipseRows(int l, int t, int r, int b, RowRange rows);
std::vector<RowSpan> RoundRectRows(int l, int t, int r, int b, int w, int h, RowRange rows);

// Splits row extents into the outline (pixels with a 4-neighbour outside) and the rest.
void SplitOutline(const std::vector<RowSpan>& rows, SpanSet* outline, SpanSet* interior);

// Wide strokes: pixels within width/2 of a segment (round caps).
void AddCapsule(SpanSet& out, double ax, double ay, double bx, double by, int width, RowRange rows);

}  // namespace win::gdi
