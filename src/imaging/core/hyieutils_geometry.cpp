#include "imaging/core/hyieutils_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "classlib/Controls.h"

namespace ie {

namespace {

using i128 = __int128;
constexpr double kPi = std::numbers::pi;
constexpr int64_t kEndLimit = 45000;  // beyond this the end points of a segment count as far
constexpr int64_t kMaxEllipseEdges = 65536;

double Hypot(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// The segment rule on 64-bit coordinates (ellipse outlines are measured relative to their
// centre, which can leave the 32-bit range).
double SegmentDistance(int64_t X, int64_t Y, int64_t X1, int64_t Y1, int64_t X2, int64_t Y2) {
    const int64_t dx = X2 - X1, dy = Y2 - Y1;
    if (dx == 0 && dy == 0) return Hypot(static_cast<double>(X - X1), static_cast<double>(Y - Y1));
    const i128 dot = static_cast<i128>(X - X1) * dx + static_cast<i128>(Y - Y1) * dy;
    const i128 len2 = static_cast<i128>(dx) * dx + static_cast<i128>(dy) * dy;
    if (dot > len2) {
        if (std::llabs(X - X2) > kEndLimit || std::llabs(Y - Y2) > kEndLimit) return IEFarDistance;
        return Hypot(static_cast<double>(X - X2), static_cast<double>(Y - Y2));
    }
    if (dot < 0) {
        if (std::llabs(X - X1) > kEndLimit || std::llabs(Y - Y1) > kEndLimit) return IEFarDistance;
        return Hypot(static_cast<double>(X - X1), static_cast<double>(Y - Y1));
    }
    const i128 cross =
        static_cast<i128>(X) * dy - static_cast<i128>(Y) * dx + static_cast<i128>(X2) * Y1 - static_cast<i128>(Y2) * X1;
    const double d = std::fabs(static_cast<double>(cross)) / std::sqrt(static_cast<double>(len2));
    return std::isfinite(d) ? d : IEFarDistance;
}

// Exact distance from a point to a segment, in doubles (used for the pen square).
double PointSegment(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return Hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Distance from a point to the filled axis-aligned rectangle [l, r] x [t, b].
double PointRect(double px, double py, double l, double t, double r, double b) {
    const double dx = px < l ? l - px : px > r ? px - r : 0;
    const double dy = py < t ? t - py : py > b ? py - b : 0;
    return Hypot(dx, dy);
}

// Distance between the segment A-B and the filled square of half side h around (px, py):
// 0 when they meet, else the smallest of the end points to the square and the square's
// corners to the segment.
double SegmentSquare(double ax, double ay, double bx, double by, double px, double py, double h) {
    const double l = px - h, r = px + h, t = py - h, b = py + h;
    // Clip the segment's parameter range to the square (Liang-Barsky).
    double t0 = 0, t1 = 1;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - l, r - ax, ay - t, b - ay};
    bool meets = true;
    for (int i = 0; i < 4 && meets; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) meets = false;
        } else {
            const double u = q[i] / p[i];
            if (p[i] < 0)
                t0 = std::max(t0, u);
            else
                t1 = std::min(t1, u);
            if (t0 > t1) meets = false;
        }
    }
    if (meets) return 0;
    double d = std::min(PointRect(ax, ay, l, t, r, b), PointRect(bx, by, l, t, r, b));
    for (double cx : {l, r})
        for (double cy : {t, b}) d = std::min(d, PointSegment(cx, cy, ax, ay, bx, by));
    return d;
}

// A stored point mapped to view coordinates, rounded to the nearest integer (halves to even).
double MapCoord(int32_t v, double scale, int32_t offset, int32_t view) {
    return std::nearbyint(scale * (static_cast<double>(v) - offset) + view);
}

template <class Mapped>
bool PolygonContains(double X, double Y, int32_t Count, Mapped point) {
    bool inside = false;
    for (int32_t i = 0, j = Count - 1; i < Count; j = i++) {
        const auto [xi, yi] = point(i);
        const auto [xj, yj] = point(j);
        if ((Y >= yi && Y < yj) || (Y >= yj && Y < yi)) {
            if (X < xi + (xj - xi) * (Y - yi) / (yj - yi)) inside = !inside;
        }
    }
    return inside;
}

int32_t ClampToInt32(double v) {
    if (!(v > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

}  // namespace

double IEDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return Hypot(static_cast<double>(int64_t{X2} - X1), static_cast<double>(int64_t{Y2} - Y1));
}

double IEDistPointToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const int64_t dx = int64_t{X2} - X1, dy = int64_t{Y2} - Y1;
    if (dx == 0 && dy == 0) return IEDistance(X, Y, X1, Y1);
    const i128 cross =
        static_cast<i128>(X) * dy - static_cast<i128>(Y) * dx + static_cast<i128>(X2) * Y1 - static_cast<i128>(Y2) * X1;
    return std::fabs(static_cast<double>(cross)) / Hypot(static_cast<double>(dx), static_cast<double>(dy));
}

double IEDistPointToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return SegmentDistance(X, Y, X1, Y1, X2, Y2);
}

double IEDistPointToPolyline(int32_t X, int32_t Y, const win::POINT* Points, int32_t PointCount, bool Closed,
                             int32_t PenWidth, double ScaleX, double ScaleY, int32_t ViewX, int32_t ViewY,
                             int32_t OffsetX, int32_t OffsetY) {
    double best = IEFarDistance;
    if (!Points || PointCount <= 0) return best;
    const double h = PenWidth > 1 ? PenWidth / 2 : 0;
    auto mapped = [&](int32_t i) {
        return std::pair<double, double>(MapCoord(Points[i].x, ScaleX, OffsetX, ViewX),
                                         MapCoord(Points[i].y, ScaleY, OffsetY, ViewY));
    };
    auto measure = [&](int32_t from, int32_t to) {
        const auto [ax, ay] = mapped(from);
        const auto [bx, by] = mapped(to);
        // Mapped points far outside the 32-bit range are far from every view point.
        const double limit = 4.0e9;
        if (std::fabs(ax) > limit || std::fabs(ay) > limit || std::fabs(bx) > limit || std::fabs(by) > limit) return;
        double d = SegmentDistance(X, Y, static_cast<int64_t>(ax), static_cast<int64_t>(ay), static_cast<int64_t>(bx),
                                   static_cast<int64_t>(by));
        if (h > 0) d = std::min(d, SegmentSquare(ax, ay, bx, by, X, Y, h));
        best = std::min(best, d);
    };
    for (int32_t i = 1; i < PointCount; ++i) measure(i - 1, i);
    if (Closed) measure(PointCount - 1, 0);
    return best;
}

double IEDistPointToEllipse(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t PenWidth,
                            bool Filled, bool FullResolution) {
    if (PenWidth < 0) return IENoDistance;
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
    const int64_t h = PenWidth / 2;
    const int64_t a0 = (int64_t{X2} - X1) / 2, b0 = (int64_t{Y2} - Y1) / 2;
    const int64_t px = X - (X1 + a0), py = Y - (Y1 + b0);
    // Outlines whose half-axes would turn negative are left out.
    const int64_t kMin = std::max(-h, -std::min(a0, b0));

    // The outlines of the offsets are nested, so a point inside outline k is inside every
    // larger one: only the outlines next to the point can be nearest.
    auto inside = [&](int64_t k) {
        const double a = static_cast<double>(a0 + k), b = static_cast<double>(b0 + k);
        const double x = static_cast<double>(px), y = static_cast<double>(py);
        if (a == 0 || b == 0) return std::fabs(x) <= a && std::fabs(y) <= b;
        return (x / a) * (x / a) + (y / b) * (y / b) <= 1.0;
    };
    auto outline = [&](int64_t k) {
        const int64_t rx = a0 + k, ry = b0 + k;
        int64_t n = static_cast<int64_t>(2 * kPi * static_cast<double>(std::min(rx, ry)));
        if (!FullResolution) n /= 8;
        n = std::clamp<int64_t>(n, 2, kMaxEllipseEdges);
        double best = IENoDistance;
        int64_t prevX = rx, prevY = 0;
        for (int64_t i = 1; i <= n; ++i) {
            int64_t vx = rx, vy = 0;  // the last edge closes the outline at (rx, 0)
            if (i < n) {
                const double angle = 2 * kPi * static_cast<double>(i) / static_cast<double>(n);
                vx = static_cast<int64_t>(std::cos(angle) * static_cast<double>(rx));
                vy = static_cast<int64_t>(std::sin(angle) * static_cast<double>(ry));
            }
            best = std::min(best, SegmentDistance(px, py, prevX, prevY, vx, vy));
            prevX = vx;
            prevY = vy;
        }
        return best;
    };

    if (inside(h)) {
        if (Filled) return 0;
    } else {
        return outline(h);
    }
    if (inside(kMin)) return outline(kMin);
    // The smallest offset whose outline holds the point.
    int64_t lo = kMin, hi = h;  // inside(lo) is false, inside(hi) is true
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        (inside(mid) ? hi : lo) = mid;
    }
    return std::min(outline(lo), outline(hi));
}

double IEDistPointToRectOutline(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t PenWidth,
                                bool Filled) {
    if (PenWidth < 0) return IENoDistance;
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
    const int64_t h = PenWidth / 2;
    // The point's margin inside the rectangle (negative outside): it lies on the outline
    // of the rectangle grown by -margin.
    const int64_t margin = std::min({int64_t{X} - X1, int64_t{X2} - X, int64_t{Y} - Y1, int64_t{Y2} - Y});
    if (margin >= -h && (Filled || margin <= h)) return 0;
    if (margin > h) return static_cast<double>(margin - h);
    return PointRect(X, Y, static_cast<double>(X1 - h), static_cast<double>(Y1 - h), static_cast<double>(X2 + h),
                     static_cast<double>(Y2 + h));
}

bool IEPointInPolygon(int32_t X, int32_t Y, const win::POINT* Points, int32_t High) {
    if (!Points || High < 0) return false;
    return PolygonContains(X, Y, High + 1,
                           [&](int32_t i) { return std::pair<double, double>(Points[i].x, Points[i].y); });
}

bool IEPointInScaledPolygon(int32_t X, int32_t Y, const win::POINT* Points, double ScaleX, double ScaleY, int32_t ViewX,
                            int32_t ViewY, int32_t OffsetX, int32_t OffsetY, int32_t Count) {
    if (!Points || Count <= 0) return false;
    return PolygonContains(X, Y, Count, [&](int32_t i) {
        return std::pair<double, double>(MapCoord(Points[i].x, ScaleX, OffsetX, ViewX),
                                         MapCoord(Points[i].y, ScaleY, OffsetY, ViewY));
    });
}

bool IEPointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return X1 <= X && X <= X2 && Y1 <= Y && Y <= Y2;
}

bool IEPointInBox(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
    return IEPointInRect(X, Y, X1, Y1, X2, Y2);
}

bool IEBoxesIntersect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Left, int32_t Top, int32_t Right,
                      int32_t Bottom) {
    return !(std::max(X1, X2) < Left || std::min(X1, X2) > Right || std::max(Y1, Y2) < Top ||
             std::min(Y1, Y2) > Bottom);
}

void IEExtendRect(win::RECT& Rect, int32_t X, int32_t Y) {
    Rect.left = std::min(Rect.left, X);
    Rect.top = std::min(Rect.top, Y);
    Rect.right = std::max(Rect.right, X);
    Rect.bottom = std::max(Rect.bottom, Y);
}

void IESnapLine45(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y) {
    const int64_t dx = std::llabs(int64_t{X0} - X), dy = std::llabs(int64_t{Y0} - Y);
    auto set = [](int32_t& v, int64_t to) {
        v = static_cast<int32_t>(
            std::clamp<int64_t>(to, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    };
    if (dx + 30 < dy) {
        X = X0;
        return;
    }
    if (dy < dx - 30) {
        Y = Y0;
        return;
    }
    const int64_t d = std::llabs(dx - dy);
    if (X0 < X && Y0 < Y) {
        if (dx >= dy)
            set(Y, int64_t{Y} + d);
        else
            set(X, int64_t{X} + d);
    } else if (X0 > X && Y0 > Y) {
        if (dx >= dy)
            set(X, int64_t{X} + d);
        else
            set(Y, int64_t{Y} + d);
    } else if (X < X0 && Y >= Y0) {
        if (dx >= dy)
            set(Y, int64_t{Y} + d);
        else
            set(X, int64_t{X} - d);
    } else if (Y < Y0 && X >= X0) {
        if (dx >= dy)
            set(Y, int64_t{Y} - d);
        else
            set(X, int64_t{X} + d);
    }
}

void IERotatePoints(win::POINT* Points, int32_t High, int32_t CX, int32_t CY, double Angle) {
    if (!Points) return;
    const double r = -Angle * kPi / 180;
    const double c = std::cos(r), s = std::sin(r);
    for (int32_t i = 0; i <= High; ++i) {
        const double x = static_cast<double>(Points[i].x) - CX, y = static_cast<double>(Points[i].y) - CY;
        Points[i].x = ClampToInt32(CX + std::nearbyint(c * x - s * y));
        Points[i].y = ClampToInt32(CY + std::nearbyint(s * x + c * y));
    }
}

double IEArcTan2(double X, double Y) { return std::atan2(Y, X); }

double IEArcCos(double V) {
    if (V >= 1 || std::isnan(V)) return 0;
    if (V <= -1) return kPi;
    return std::atan2(std::sqrt(1 - V * V), V);
}

double IEAngleBetweenSegments(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    const double ax = static_cast<double>(int64_t{X2} - X1), ay = static_cast<double>(int64_t{Y2} - Y1);
    const double bx = static_cast<double>(int64_t{X3} - X2), by = static_cast<double>(int64_t{Y3} - Y2);
    const double la = ax * ax + ay * ay, lb = bx * bx + by * by;
    if (la == 0 || lb == 0) return 0;
    // A cosine a rounding step beyond -1 or 1 is the end of the range itself.
    return IEArcCos((ax * bx + ay * by) / std::sqrt(la * lb));
}

double IELineAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const int64_t vx = int64_t{X2} - X1, vy = int64_t{Y1} - Y2;  // y up
    if (vy == 0) return vx < 0 ? kPi : 0;
    if (vx == 0) return vy > 0 ? kPi / 2 : 3 * kPi / 2;
    const double a = std::atan2(static_cast<double>(vy), static_cast<double>(vx));
    return a < 0 ? a + 2 * kPi : a;
}

int32_t IETurnDirection(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const int64_t d1x = int64_t{X1} - X0, d1y = int64_t{Y1} - Y0;
    const int64_t d2x = int64_t{X2} - X0, d2y = int64_t{Y2} - Y0;
    const i128 a = static_cast<i128>(d1x) * d2y, b = static_cast<i128>(d1y) * d2x;
    if (a > b) return 1;
    if (a < b) return -1;
    if (static_cast<i128>(d1x) * d2x < 0 || static_cast<i128>(d1y) * d2y < 0) return -1;
    const i128 l1 = static_cast<i128>(d1x) * d1x + static_cast<i128>(d1y) * d1y;
    const i128 l2 = static_cast<i128>(d2x) * d2x + static_cast<i128>(d2y) * d2y;
    return l1 < l2 ? 1 : 0;
}

double IEAngleAtVertex(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    auto side = [](int32_t ax, int32_t ay, int32_t bx, int32_t by) {
        const double d = IEDistance(ax, ay, bx, by);
        return d == 0 ? 1.0 : d;
    };
    const double a = side(X1, Y1, X2, Y2), b = side(X2, Y2, X3, Y3), c = side(X1, Y1, X3, Y3);
    double angle = IEArcCos((a * a + b * b - c * c) / (2 * a * b));
    if (IETurnDirection(X1, Y1, X2, Y2, X3, Y3) == -1) angle = 2 * kPi - angle;
    return angle;
}

win::HWND IEGetOwnerWindow(cl::TComponent* AObject) {
    for (cl::TComponent* c = AObject; c; c = c->GetOwner()) {
        if (auto* w = dynamic_cast<cl::TWinControl*>(c)) return w->HandleAllocated() ? w->GetHandle() : nullptr;
    }
    return nullptr;
}

}  // namespace ie
