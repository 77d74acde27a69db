// Lines and shapes with pens and brushes, region fills and the shape regions.
#include <algorithm>
#include <cmath>

#include "platform/gdi_shapes_internal.h"

namespace win::gdi {

namespace {

// A pen's dash pattern: on, off, on, off ... lengths in pixels; empty for a pen that draws
// solid. Cosmetic pens (CreatePen's, which are one pixel wide when they are dashed) have fixed
// lengths; geometric pens (ExtCreatePen's PS_GEOMETRIC) dash in units of their width, so a
// wide dashed line keeps its dashes.
std::vector<int> DashPattern(const PenObj& pen) {
    static const std::vector<int> dash = {18, 6}, dot = {3, 3}, dashDot = {9, 6, 3, 6}, dashDotDot = {9, 3, 3, 3, 3, 3};
    static const std::vector<int> geoDash = {3, 1}, geoDot = {1, 1}, geoDashDot = {3, 1, 1, 1},
                                  geoDashDotDot = {3, 1, 1, 1, 1, 1};
    const std::vector<int>* units = nullptr;
    switch (pen.style) {
        case PS_DASH: units = pen.geometric ? &geoDash : &dash; break;
        case PS_DOT: units = pen.geometric ? &geoDot : &dot; break;
        case PS_DASHDOT: units = pen.geometric ? &geoDashDot : &dashDot; break;
        case PS_DASHDOTDOT: units = pen.geometric ? &geoDashDotDot : &dashDotDot; break;
        default: return {};
    }
    std::vector<int> out = *units;
    if (pen.geometric)
        for (int& v : out) v *= std::max(pen.width, 1);
    return out;
}

int PatternLength(const std::vector<int>& pattern) {
    int total = 0;
    for (int v : pattern) total += v;
    return total;
}

bool DashOn(const std::vector<int>& pattern, int pos) {
    pos %= PatternLength(pattern);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pos < pattern[i]) return i % 2 == 0;
        pos -= pattern[i];
    }
    return true;
}

// The rows drawing can touch, in device coordinates (outside them nothing is computed).
RowRange VisibleRows(DcObj& dc, RECT* box) {
    const Region& vis = dc.Visible();
    RECT b = vis.Box();
    b.left -= dc.origin.x;
    b.right -= dc.origin.x;
    b.top -= dc.origin.y;
    b.bottom -= dc.origin.y;
    if (box) *box = b;
    return RowRange{b.top - 1, b.bottom + 1};
}

bool PenIsNull(const DcObj& dc) { return !dc.st.pen || dc.st.pen->style == PS_NULL; }
bool PenIsWide(const DcObj& dc) { return dc.st.pen && dc.st.pen->width > 1; }

// Pixels a pen puts down for one call: `on` in the pen colour, `off` (dash gaps of an
// opaque background) in the background colour.
struct Stroke {
    SpanSet on;
    SpanSet off;
};

// A wide pen's stroke from a to b with round ends; for a dashed pen each dash that falls on
// the segment from pattern position *pos on (0 when null) is such a stroke, and *pos moves on
// by the segment's length. Only the part of the segment that can reach `box` (device
// coordinates) is walked, solid or dashed, so a long line costs what its visible part costs:
// the ends cut off lie further than the pen's width from the box, so their caps could not
// reach it either.
void AddWideSegment(SpanSet& out, double ax, double ay, double bx, double by, int width,
                    const std::vector<int>& pattern, const RECT& box, RowRange rows, double* pos) {
    const double dx = bx - ax, dy = by - ay, len = std::sqrt(dx * dx + dy * dy);
    if (len == 0) {
        AddCapsule(out, ax, ay, bx, by, width, rows);
        return;
    }
    const double total = pattern.empty() ? 0 : PatternLength(pattern);
    const double start = pos ? *pos : 0;
    if (pos && total > 0) *pos = std::fmod(start + len, total);
    // The stretch of the segment (as a length from a) inside the box grown by the pen.
    double t0 = 0, t1 = len;
    const double grow = width + 1.0;
    const double lo[2] = {box.left - grow, box.top - grow}, hi[2] = {box.right + grow, box.bottom + grow};
    const double from[2] = {ax, ay}, step[2] = {dx / len, dy / len};
    for (int k = 0; k < 2; ++k) {
        if (step[k] == 0) {
            if (from[k] < lo[k] || from[k] > hi[k]) return;
            continue;
        }
        double e0 = (lo[k] - from[k]) / step[k], e1 = (hi[k] - from[k]) / step[k];
        if (e0 > e1) std::swap(e0, e1);
        t0 = std::max(t0, e0);
        t1 = std::min(t1, e1);
    }
    if (t0 > t1) return;
    if (pattern.empty()) {
        // The whole segment when it lies in the grown box: its own end points, exactly.
        if (t0 <= 0 && t1 >= len)
            AddCapsule(out, ax, ay, bx, by, width, rows);
        else
            AddCapsule(out, ax + step[0] * t0, ay + step[1] * t0, ax + step[0] * t1, ay + step[1] * t1, width, rows);
        return;
    }
    if (t0 >= t1) return;
    // Walk the dashes from the one under t0.
    double t = t0;
    while (t < t1) {
        double at = std::fmod(start + t, total), acc = 0;
        size_t i = 0;
        while (i + 1 < pattern.size() && at >= acc + pattern[i]) acc += pattern[i++];
        const double run = std::max(acc + pattern[i] - at, 1e-9);
        const double end = std::min(t1, t + run);
        if (i % 2 == 0)
            AddCapsule(out, ax + step[0] * t, ay + step[1] * t, ax + step[0] * end, ay + step[1] * end, width, rows);
        t = end;
    }
}

void StrokeLine(DcObj& dc, POINT a, POINT b, Stroke& s, int* dashPos) {
    if (PenIsNull(dc)) return;
    const PenObj& pen = *dc.st.pen;
    RECT box;
    const RowRange rows = VisibleRows(dc, &box);
    const std::vector<int> pattern = DashPattern(pen);
    if (pen.width > 1) {
        double pos = dashPos ? *dashPos : 0;
        AddWideSegment(s.on, a.x, a.y, b.x, b.y, pen.width, pattern, box, rows, &pos);
        if (dashPos) *dashPos = static_cast<int>(std::lround(pos));
        return;
    }
    bool opaque = dc.st.bkMode == OPAQUE;
    int base = dashPos ? *dashPos : 0;
    LinePixels(
        a, b,
        [&](int x, int y, int i) {
            if (pattern.empty() || DashOn(pattern, base + i)) {
                s.on.AddPixel(x, y);
            } else if (opaque) {
                s.off.AddPixel(x, y);
            }
        },
        &box);
    if (dashPos) {
        int64_t n = std::max(std::llabs(static_cast<int64_t>(b.x) - a.x), std::llabs(static_cast<int64_t>(b.y) - a.y));
        *dashPos = static_cast<int>((base + n) % 1440);  // 1440: a multiple of every pattern length
    }
}

// Strokes a closed or open path of device points.
void StrokePath(DcObj& dc, const std::vector<POINT>& pts, bool closed, Stroke& s) {
    int dash = 0;
    for (size_t i = 0; i + 1 < pts.size(); ++i) StrokeLine(dc, pts[i], pts[i + 1], s, &dash);
    if (closed && pts.size() > 1) StrokeLine(dc, pts.back(), pts.front(), s, &dash);
}

uint8_t ShapeRop(const DcObj& dc) { return Rop2ToRop3(dc.st.rop2); }

void PaintStroke(DcObj& dc, const Stroke& s, const Region* exclude = nullptr) {
    if (PenIsNull(dc)) return;
    Region on = s.on.Build();
    if (exclude) on = on.Diff(*exclude);
    FillRegion(dc, on, PaintFromColor(dc, dc.st.pen->color), ShapeRop(dc));
    if (!s.off.Empty()) {
        Region off = s.off.Build().Diff(on);
        FillRegion(dc, off, PaintFromColor(dc, dc.st.bkColor), ShapeRop(dc));
    }
}

void PaintFill(DcObj& dc, const Region& interior) {
    // A null brush leaves the interior alone, whatever the drawing mode (R2_NOT included).
    if (interior.Empty() || !dc.st.brush || dc.st.brush->style == BS_NULL) return;
    FillRegion(dc, interior, PaintFromBrush(dc, dc.st.brush.get()), ShapeRop(dc));
}

std::vector<POINT> ToDevice(const DcObj& dc, const POINT* pts, int n) {
    std::vector<POINT> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = dc.ToDev(pts[i]);
    return out;
}

RECT NormalisedDevice(const DcObj& dc, int l, int t, int r, int b) {
    RECT rc{dc.ToDevX(std::min(l, r)), dc.ToDevY(std::min(t, b)), dc.ToDevX(std::max(l, r)), dc.ToDevY(std::max(t, b))};
    return rc;
}

using Path = std::vector<std::pair<double, double>>;

// A closed path stroked with a wide pen (a dashed pen's pattern runs on around the path).
Region WideStroke(DcObj& dc, const Path& path) {
    SpanSet s;
    RECT box;
    const RowRange rows = VisibleRows(dc, &box);
    const std::vector<int> pattern = DashPattern(*dc.st.pen);
    double pos = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto& a = path[i];
        const auto& b = path[(i + 1) % path.size()];
        AddWideSegment(s, a.first, a.second, b.first, b.second, dc.st.pen->width, pattern, box, rows, &pos);
    }
    return s.Build();
}

// A closed shape given by its filled row extents: outline with the pen, rest with the brush.
void DrawRowShape(DcObj& dc, const std::vector<RowSpan>& rows, const Path* widePath,
                  const std::pair<double, double>* centre = nullptr) {
    SpanSet outline, interior;
    if (PenIsNull(dc)) {
        for (const RowSpan& s : rows) interior.Add(s.y, s.x0, s.x1 + 1);
        PaintFill(dc, interior.Build());
        return;
    }
    if (PenIsWide(dc) && widePath) {
        Region stroke = WideStroke(dc, *widePath);
        for (const RowSpan& r : rows) interior.Add(r.y, r.x0, r.x1 + 1);
        PaintFill(dc, interior.Build().Diff(stroke));
        FillRegion(dc, stroke, PaintFromColor(dc, dc.st.pen->color), ShapeRop(dc));
        return;
    }
    SplitOutline(rows, &outline, &interior);
    PaintFill(dc, interior.Build());
    Region out = outline.Build();
    const std::vector<int> pattern = DashPattern(*dc.st.pen);
    if (pattern.empty() || !centre) {
        FillRegion(dc, out, PaintFromColor(dc, dc.st.pen->color), ShapeRop(dc));
        return;
    }
    // Dashed outline: the visible outline pixels in counter-clockwise order from three
    // o'clock take the pattern in turn.
    RECT vbox;
    VisibleRows(dc, &vbox);
    out = out.And(Region::FromRect(vbox));
    std::vector<std::pair<double, POINT>> order;
    for (const RECT& r : out.Rects())
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                double a = std::atan2(-(y - centre->second), x - centre->first);
                order.push_back({a < 0 ? a + 2 * M_PI : a, POINT{x, y}});
            }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return a.second.y != b.second.y ? a.second.y < b.second.y : a.second.x < b.second.x;
    });
    Stroke st;
    for (size_t i = 0; i < order.size(); ++i) {
        if (DashOn(pattern, static_cast<int>(i % 1440))) {
            st.on.AddPixel(order[i].second.x, order[i].second.y);
        } else if (dc.st.bkMode == OPAQUE) {
            st.off.AddPixel(order[i].second.x, order[i].second.y);
        }
    }
    PaintStroke(dc, st);
}

// The path of an ellipse through the pixel indices of its box, as a polygon.
Path EllipsePath(double cx, double cy, double a, double b) {
    double perimeter = 2 * M_PI * std::sqrt((a * a + b * b) / 2);
    int n = std::clamp(static_cast<int>(perimeter / 2), 16, 2048);
    Path pts;
    for (int i = 0; i < n; ++i) {
        double ang = 2 * M_PI * i / n;
        pts.push_back({cx + a * std::cos(ang), cy + b * std::sin(ang)});
    }
    return pts;
}

// How far a wide PS_INSIDEFRAME pen moves a closed shape's box inwards.
int InsideFrameInset(const DcObj& dc) {
    if (!dc.st.pen || dc.st.pen->style != PS_INSIDEFRAME || dc.st.pen->width <= 1) return 0;
    return dc.st.pen->width / 2;
}

}  // namespace

}  // namespace win::gdi

namespace win {

using namespace gdi;

BOOL MoveToEx(HDC hdc, int x, int y, POINT* old) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    if (old) *old = dc->st.pos;
    dc->st.pos = {x, y};
    dc->dashPos = 0;
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, POINT* pos) {
    auto dc = GetDc(hdc);
    if (!dc || !pos) return FALSE;
    *pos = dc->st.pos;
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    Stroke s;
    StrokeLine(*dc, dc->ToDev(dc->st.pos), dc->ToDev(POINT{x, y}), s, &dc->dashPos);
    PaintStroke(*dc, s);
    dc->st.pos = {x, y};
    return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
    auto dc = GetDc(hdc);
    if (!dc || !points || count < 2) return FALSE;
    Stroke s;
    StrokePath(*dc, ToDevice(*dc, points, count), false, s);
    PaintStroke(*dc, s);
    return TRUE;
}

BOOL PolyPolygon(HDC hdc, const POINT* points, const int* counts, int polygons) {
    auto dc = GetDc(hdc);
    if (!dc || !points || !counts || polygons <= 0) return FALSE;
    std::vector<std::vector<POINT>> polys;
    size_t at = 0;
    for (int i = 0; i < polygons; ++i) {
        if (counts[i] < 2) return FALSE;
        polys.push_back(ToDevice(*dc, points + at, counts[i]));
        at += static_cast<size_t>(counts[i]);
    }
    Stroke s;
    for (const auto& p : polys) StrokePath(*dc, p, true, s);
    Region outline = PenIsNull(*dc) ? Region() : s.on.Build();
    SpanSet fill;
    PolygonSpans(polys, dc->st.polyFillMode, VisibleRows(*dc, nullptr), fill);
    PaintFill(*dc, fill.Build().Diff(outline));
    PaintStroke(*dc, s);
    return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* points, int count) {
    if (count < 2) return FALSE;
    return PolyPolygon(hdc, points, &count, 1);
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    RECT rc = NormalisedDevice(*dc, left, top, right, bottom);
    if (PenIsNull(*dc)) {
        PaintFill(*dc, Region::FromRect(rc.left, rc.top, rc.right - 1, rc.bottom - 1));
        return TRUE;
    }
    if (rc.right <= rc.left || rc.bottom <= rc.top) return TRUE;
    if (PenIsWide(*dc)) {
        int in = InsideFrameInset(*dc);
        Path path = {{rc.left + in, rc.top + in},
                     {rc.right - 1 - in, rc.top + in},
                     {rc.right - 1 - in, rc.bottom - 1 - in},
                     {rc.left + in, rc.bottom - 1 - in}};
        Region stroke = WideStroke(*dc, path);
        PaintFill(
            *dc,
            Region::FromRect(rc.left + in + 1, rc.top + in + 1, rc.right - 1 - in, rc.bottom - 1 - in).Diff(stroke));
        FillRegion(*dc, stroke, PaintFromColor(*dc, dc->st.pen->color), ShapeRop(*dc));
        return TRUE;
    }
    Region outer = Region::FromRect(rc);
    Region inner = Region::FromRect(rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1);
    if (rc.right - rc.left < 3 || rc.bottom - rc.top < 3) inner = Region();
    PaintFill(*dc, inner);
    Stroke s;
    StrokePath(*dc,
               {{rc.left, rc.top}, {rc.right - 1, rc.top}, {rc.right - 1, rc.bottom - 1}, {rc.left, rc.bottom - 1}},
               true, s);
    // The outline is exactly the frame of the box (also for boxes one pixel thin).
    Region frame = outer.Diff(inner);
    if (!PenIsNull(*dc)) {
        Region on = s.on.Build().And(frame);
        Region off = s.off.Build().And(frame).Diff(on);
        if (DashPattern(*dc->st.pen).empty()) on = frame;
        FillRegion(*dc, on, PaintFromColor(*dc, dc->st.pen->color), ShapeRop(*dc));
        if (!off.Empty()) FillRegion(*dc, off, PaintFromColor(*dc, dc->st.bkColor), ShapeRop(*dc));
    }
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    RECT rc = NormalisedDevice(*dc, left, top, right, bottom);
    RowRange rows = VisibleRows(*dc, nullptr);
    if (PenIsNull(*dc)) {
        DrawRowShape(*dc, EllipseRows(rc.left, rc.top, rc.right - 1, rc.bottom - 1, rows), nullptr);
        return TRUE;
    }
    int in = InsideFrameInset(*dc);
    Path path;
    if (PenIsWide(*dc)) {
        double cx = (rc.left + rc.right - 1) / 2.0, cy = (rc.top + rc.bottom - 1) / 2.0;
        path = EllipsePath(cx, cy, (rc.right - rc.left - 1) / 2.0 - in, (rc.bottom - rc.top - 1) / 2.0 - in);
    }
    std::pair<double, double> centre{(rc.left + rc.right - 1) / 2.0, (rc.top + rc.bottom - 1) / 2.0};
    DrawRowShape(*dc, EllipseRows(rc.left + in, rc.top + in, rc.right - in, rc.bottom - in, rows), &path, &centre);
    return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    RECT rc = NormalisedDevice(*dc, left, top, right, bottom);
    RowRange rows = VisibleRows(*dc, nullptr);
    if (PenIsNull(*dc)) {
        DrawRowShape(*dc, RoundRectRows(rc.left, rc.top, rc.right - 1, rc.bottom - 1, width, height, rows), nullptr);
        return TRUE;
    }
    int in = InsideFrameInset(*dc);
    auto shape = RoundRectRows(rc.left + in, rc.top + in, rc.right - in, rc.bottom - in, width, height, rows);
    Path path;
    if (PenIsWide(*dc)) {
        // The outline path: the centre line of the shape's outer pixels.
        for (const RowSpan& s : shape) path.push_back({s.x1, s.y});
        for (auto it = shape.rbegin(); it != shape.rend(); ++it) path.push_back({it->x0, it->y});
    }
    std::pair<double, double> centre{(rc.left + rc.right - 1) / 2.0, (rc.top + rc.bottom - 1) / 2.0};
    DrawRowShape(*dc, shape, &path, &centre);
    return TRUE;
}

// ------------------------------------------------------------------ arcs

namespace {

enum class ArcKind { Arc, Pie, Chord };

// Angle of a point about the centre, counter-clockwise on screen, in [0, 2 pi).
double ScreenAngle(double x, double y, double cx, double cy) {
    double a = std::atan2(-(y - cy), x - cx);
    return a < 0 ? a + 2 * M_PI : a;
}

// Is angle `a` on the counter-clockwise sweep from `from` to `to`?
bool OnSweep(double a, double from, double to) {
    double sweep = to - from;
    if (sweep <= 0) sweep += 2 * M_PI;
    double d = a - from;
    if (d < 0) d += 2 * M_PI;
    return d <= sweep + 1e-12;
}

BOOL DrawArc(HDC hdc, ArcKind kind, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    RECT rc = NormalisedDevice(*dc, left, top, right, bottom);
    if (rc.right <= rc.left || rc.bottom <= rc.top) return TRUE;
    double cx = (rc.left + rc.right - 1) / 2.0, cy = (rc.top + rc.bottom - 1) / 2.0;
    POINT s = dc->ToDev(POINT{xs, ys}), e = dc->ToDev(POINT{xe, ye});
    double from = ScreenAngle(s.x, s.y, cx, cy), to = ScreenAngle(e.x, e.y, cx, cy);
    bool full = std::fabs(from - to) < 1e-12;
    RECT vbox;
    auto rows = EllipseRows(rc.left, rc.top, rc.right, rc.bottom, VisibleRows(*dc, &vbox));
    SpanSet outlineSet, interiorSet;
    SplitOutline(rows, &outlineSet, &interiorSet);
    // Pixels are tested one by one below: only those that can be seen.
    Region visibleBox = Region::FromRect(vbox.left - 1, vbox.top - 1, vbox.right + 1, vbox.bottom + 1);
    Region outline = outlineSet.Build().And(visibleBox);
    // The end points of the arc on the outline: the outline pixels nearest to the radials.
    double a = (rc.right - rc.left - 1) / 2.0, b = (rc.bottom - rc.top - 1) / 2.0;
    auto onCurve = [&](double ang) {
        return POINT{static_cast<LONG>(std::lround(cx + a * std::cos(ang))),
                     static_cast<LONG>(std::lround(cy - b * std::sin(ang)))};
    };
    POINT p0 = onCurve(from), p1 = onCurve(to);
    SpanSet arcPixels;
    for (const RECT& r : outline.Rects()) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (full || OnSweep(ScreenAngle(x, y, cx, cy), from, to)) arcPixels.AddPixel(x, y);
    }
    Region pen = arcPixels.Build();
    if (kind != ArcKind::Arc && !full) {
        Stroke st;
        if (kind == ArcKind::Pie) {
            StrokePath(*dc, {p0, POINT{static_cast<LONG>(std::lround(cx)), static_cast<LONG>(std::lround(cy))}, p1},
                       false, st);
        } else {
            StrokeLine(*dc, p1, p0, st, nullptr);
        }
        pen = pen.Or(st.on.Build());
        double sweep = to - from;
        if (sweep <= 0) sweep += 2 * M_PI;
        POINT mid = onCurve(from + sweep / 2);
        double arcSide =
            static_cast<double>(p1.x - p0.x) * (mid.y - p0.y) - static_cast<double>(p1.y - p0.y) * (mid.x - p0.x);
        // Interior: the part of the ellipse on the sweep (pie) or beyond the chord.
        SpanSet inside;
        Region filled = interiorSet.Build().And(visibleBox);
        for (const RECT& r : filled.Rects()) {
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) {
                    bool in;
                    if (kind == ArcKind::Pie) {
                        in = OnSweep(ScreenAngle(x, y, cx, cy), from, to);
                    } else {
                        // on the same side of the chord as the middle of the arc
                        double cross = static_cast<double>(p1.x - p0.x) * (y - p0.y) -
                                       static_cast<double>(p1.y - p0.y) * (x - p0.x);
                        in = cross * arcSide > 0;
                    }
                    if (in) inside.AddPixel(x, y);
                }
        }
        PaintFill(*dc, inside.Build().Diff(pen));
    } else if (kind != ArcKind::Arc) {
        PaintFill(*dc, interiorSet.Build().Diff(pen));
    }
    if (!PenIsNull(*dc)) FillRegion(*dc, pen, PaintFromColor(*dc, dc->st.pen->color), ShapeRop(*dc));
    return TRUE;
}

}  // namespace

BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return DrawArc(hdc, ArcKind::Arc, left, top, right, bottom, xs, ys, xe, ye);
}
BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return DrawArc(hdc, ArcKind::Pie, left, top, right, bottom, xs, ys, xe, ye);
}
BOOL Chord(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return DrawArc(hdc, ArcKind::Chord, left, top, right, bottom, xs, ys, xe, ye);
}

BOOL LineDDA(int x1, int y1, int x2, int y2, LINEDDAPROC proc, LPARAM data) {
    if (!proc) return FALSE;
    LinePixels(POINT{x1, y1}, POINT{x2, y2}, [&](int x, int y, int) { proc(x, y, data); });
    return TRUE;
}

// ------------------------------------------------------------------ rectangles and regions

namespace {

Region LogicalRegion(const DcObj& dc, const Region& r) {
    Region out = r;
    out.Offset(dc.st.viewportOrg.x - dc.st.windowOrg.x, dc.st.viewportOrg.y - dc.st.windowOrg.y);
    return out;
}

Region Erode(const Region& r, int w, int h) {
    Region out = r;
    for (int dx = 1; dx <= w; ++dx) {
        Region a = r, b = r;
        a.Offset(dx, 0);
        b.Offset(-dx, 0);
        out = out.And(a).And(b);
    }
    Region horiz = out;
    for (int dy = 1; dy <= h; ++dy) {
        Region a = horiz, b = horiz;
        a.Offset(0, dy);
        b.Offset(0, -dy);
        out = out.And(a).And(b);
    }
    return out;
}

std::shared_ptr<BrushObj> GetBrush(HBRUSH h) { return Objects().GetAs<BrushObj>(HV(h), HandleKind::Brush); }

}  // namespace

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    auto dc = GetDc(hdc);
    auto b = GetBrush(brush);
    if (!dc || !rect || !b) return 0;
    RECT rc = NormalisedDevice(*dc, rect->left, rect->top, rect->right, rect->bottom);
    FillRectDevice(*dc, rc, PaintFromBrush(*dc, b.get()), 0xF0);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    auto dc = GetDc(hdc);
    auto b = GetBrush(brush);
    if (!dc || !rect || !b) return 0;
    RECT rc = NormalisedDevice(*dc, rect->left, rect->top, rect->right, rect->bottom);
    Region frame = Region::FromRect(rc).Diff(Region::FromRect(rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1));
    FillRegion(*dc, frame, PaintFromBrush(*dc, b.get()), 0xF0);
    return 1;
}

BOOL GradientFill(HDC hdc, const TRIVERTEX* vertices, ULONG nVertices, const void* mesh, ULONG nMesh, ULONG mode) {
    auto dc = GetDc(hdc);
    if (!dc || !vertices || !mesh || (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V)) return FALSE;
    const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
    for (ULONG i = 0; i < nMesh; ++i) {
        if (rects[i].UpperLeft >= nVertices || rects[i].LowerRight >= nVertices) return FALSE;
        const TRIVERTEX& a = vertices[rects[i].UpperLeft];
        const TRIVERTEX& b = vertices[rects[i].LowerRight];
        RECT rc = NormalisedDevice(*dc, a.x, a.y, b.x, b.y);
        bool horizontal = mode == GRADIENT_FILL_RECT_H;
        int64_t from = horizontal ? dc->ToDevX(a.x) : dc->ToDevY(a.y);
        int64_t to = horizontal ? dc->ToDevX(b.x) : dc->ToDevY(b.y);
        int lo = horizontal ? rc.left : rc.top, hi = horizontal ? rc.right : rc.bottom;
        int n = hi - lo;
        if (n <= 0 || (horizontal ? rc.bottom <= rc.top : rc.right <= rc.left)) continue;
        // A one-row (or one-column) pattern of the interpolated colours, anchored at the
        // rectangle's edge.
        RECT vis;
        VisibleRows(*dc, &vis);
        int vlo = std::max(lo, static_cast<int>(horizontal ? vis.left : vis.top));
        int vhi = std::min(hi, static_cast<int>(horizontal ? vis.right : vis.bottom));
        if (vlo >= vhi) continue;
        Paint paint;
        paint.kind = Paint::Pattern;
        paint.pw = horizontal ? vhi - vlo : 1;
        paint.ph = horizontal ? 1 : vhi - vlo;
        paint.org = {horizontal ? vlo + dc->origin.x : 0, horizontal ? 0 : vlo + dc->origin.y};
        int64_t span = to - from;
        auto channel = [&](COLOR16 c0, COLOR16 c1, int64_t pos) {
            if (span == 0) return static_cast<BYTE>(c0 >> 8);
            int64_t v = c0 + (static_cast<int64_t>(c1) - c0) * (pos - from) / span;
            return static_cast<BYTE>(std::clamp<int64_t>(v, 0, 0xFFFF) >> 8);
        };
        ColorMatcher match(dc->Surface());
        for (int p = vlo; p < vhi; ++p) {
            COLORREF c = RGB(channel(a.Red, b.Red, p), channel(a.Green, b.Green, p), channel(a.Blue, b.Blue, p));
            paint.pattern.push_back(match(c));
        }
        FillRectDevice(*dc, rc, paint, 0xF0);
    }
    return TRUE;
}

BOOL InvertRect(HDC hdc, const RECT* rect) {
    auto dc = GetDc(hdc);
    if (!dc || !rect) return FALSE;
    RECT rc = NormalisedDevice(*dc, rect->left, rect->top, rect->right, rect->bottom);
    FillRectDevice(*dc, rc, Paint{}, 0x55);
    return TRUE;
}

BOOL FillRgn(HDC hdc, HRGN rgn, HBRUSH brush) {
    auto dc = GetDc(hdc);
    auto b = GetBrush(brush);
    const Region* r = RegionOf(rgn);
    if (!dc || !b || !r) return FALSE;
    FillRegion(*dc, LogicalRegion(*dc, *r), PaintFromBrush(*dc, b.get()), 0xF0);
    return TRUE;
}

BOOL PaintRgn(HDC hdc, HRGN rgn) {
    auto dc = GetDc(hdc);
    const Region* r = RegionOf(rgn);
    if (!dc || !r) return FALSE;
    FillRegion(*dc, LogicalRegion(*dc, *r), PaintFromBrush(*dc, dc->st.brush.get()), ShapeRop(*dc));
    return TRUE;
}

BOOL FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int width, int height) {
    auto dc = GetDc(hdc);
    auto b = GetBrush(brush);
    const Region* r = RegionOf(rgn);
    if (!dc || !b || !r || width <= 0 || height <= 0) return FALSE;
    width = std::min(width, 4096);
    height = std::min(height, 4096);
    Region frame = r->Diff(Erode(*r, width, height));
    FillRegion(*dc, LogicalRegion(*dc, frame), PaintFromBrush(*dc, b.get()), 0xF0);
    return TRUE;
}

BOOL InvertRgn(HDC hdc, HRGN rgn) {
    auto dc = GetDc(hdc);
    const Region* r = RegionOf(rgn);
    if (!dc || !r) return FALSE;
    FillRegion(*dc, LogicalRegion(*dc, *r), Paint{}, 0x55);
    return TRUE;
}

namespace {

// Region constructors work in unbounded coordinates; keep their row loops finite.
constexpr int kRegionLimit = 1 << 20;
bool RegionCoordsOk(std::initializer_list<int64_t> vs) {
    for (int64_t v : vs)
        if (v < -kRegionLimit || v > kRegionLimit) return false;
    return true;
}

HRGN RegionFromRows(const std::vector<RowSpan>& rows) {
    SpanSet s;
    for (const RowSpan& r : rows) s.Add(r.y, r.x0, r.x1 + 1);
    return NewRegionHandle(s.Build());
}

}  // namespace

HRGN CreatePolyPolygonRgn(const POINT* points, const int* counts, int polygons, int fillMode) {
    if (!points || !counts || polygons <= 0 || (fillMode != ALTERNATE && fillMode != WINDING)) return nullptr;
    std::vector<std::vector<POINT>> polys;
    size_t at = 0;
    for (int i = 0; i < polygons; ++i) {
        if (counts[i] < 0) return nullptr;
        polys.emplace_back(points + at, points + at + counts[i]);
        for (const POINT& p : polys.back())
            if (!RegionCoordsOk({p.x, p.y})) return nullptr;
        at += static_cast<size_t>(counts[i]);
    }
    SpanSet s;
    PolygonSpans(polys, fillMode, RowRange{}, s);
    return NewRegionHandle(s.Build());
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
    return CreatePolyPolygonRgn(points, &count, 1, fillMode);
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
    if (!RegionCoordsOk({left, top, right, bottom})) return nullptr;
    return RegionFromRows(EllipseRows(std::min(left, right), std::min(top, bottom), std::max(left, right),
                                      std::max(top, bottom), RowRange{}));
}

HRGN CreateEllipticRgnIndirect(const RECT* rect) {
    if (!rect) return nullptr;
    return CreateEllipticRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height) {
    if (!RegionCoordsOk({left, top, right, bottom, width, height})) return nullptr;
    return RegionFromRows(RoundRectRows(left, top, right, bottom, width, height, RowRange{}));
}

}  // namespace win
