// Pixel coverage of lines, polygons, ellipses and round rectangles.
#include "platform/gdi_shapes_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace win::gdi {

namespace {

// ceil(n / d) for d > 0.
inline int64_t CeilDiv(int64_t n, int64_t d) { return n >= 0 ? (n + d - 1) / d : -((-n) / d); }

constexpr double kEps = 1e-9;

// Nearest value of the lattice {p, p + 2, ...} (p = 0 or 1) to 2x, halves toward the centre.
inline int LatticeRound(double x, int p) { return p + 2 * static_cast<int>(std::ceil(x - p / 2.0 - 0.5 - kEps)); }

}  // namespace

void LinePixels(POINT a, POINT b, const std::function<void(int, int, int)>& fn, const RECT* limit) {
    int64_t dx = static_cast<int64_t>(b.x) - a.x, dy = static_cast<int64_t>(b.y) - a.y;
    if (dx == 0 && dy == 0) return;
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    int64_t minor = xMajor ? dy : dx;
    int sMajor = (xMajor ? dx : dy) > 0 ? 1 : -1;
    int64_t start = 0, end = n;
    if (limit) {
        // Only the steps whose major coordinate lies inside the limit (grown by one).
        int64_t lo = (xMajor ? limit->left : limit->top) - 1, hi = (xMajor ? limit->right : limit->bottom) + 1;
        int64_t m0 = xMajor ? a.x : a.y;
        int64_t i0 = sMajor > 0 ? lo - m0 : m0 - hi;
        int64_t i1 = sMajor > 0 ? hi - m0 : m0 - lo;
        start = std::max<int64_t>(0, i0);
        end = std::min<int64_t>(n, i1 + 1);
    }
    for (int64_t i = start; i < end; ++i) {
        // Minor offset: the exact value t/n rounded to nearest, halves toward the smaller coordinate.
        int64_t off = CeilDiv(2 * minor * i - n, 2 * n);
        int64_t major = (xMajor ? a.x : a.y) + sMajor * i;
        int64_t other = (xMajor ? a.y : a.x) + off;
        if (xMajor) {
            fn(static_cast<int>(major), static_cast<int>(other), static_cast<int>(i));
        } else {
            fn(static_cast<int>(other), static_cast<int>(major), static_cast<int>(i));
        }
    }
}

void PolygonSpans(const std::vector<std::vector<POINT>>& polys, int fillMode, RowRange rows, SpanSet& out) {
    struct Edge {
        int64_t x1, y1, x2, y2;
        int dir;
    };
    std::vector<Edge> edges;
    int64_t ymin = INT64_MAX, ymax = INT64_MIN;
    for (const auto& poly : polys) {
        size_t n = poly.size();
        if (n < 2) continue;
        for (size_t i = 0; i < n; ++i) {
            POINT p = poly[i], q = poly[(i + 1) % n];
            if (p.y == q.y) continue;
            Edge e;
            e.dir = q.y > p.y ? 1 : -1;
            if (p.y < q.y) {
                e.x1 = p.x, e.y1 = p.y, e.x2 = q.x, e.y2 = q.y;
            } else {
                e.x1 = q.x, e.y1 = q.y, e.x2 = p.x, e.y2 = p.y;
            }
            edges.push_back(e);
            ymin = std::min(ymin, e.y1);
            ymax = std::max(ymax, e.y2);
        }
    }
    if (edges.empty()) return;
    int64_t y0 = std::max<int64_t>(ymin, rows.lo), y1 = std::min<int64_t>(ymax, rows.hi);
    std::vector<std::pair<int64_t, int>> xs;
    for (int64_t y = y0; y < y1; ++y) {
        xs.clear();
        for (const Edge& e : edges) {
            if (y < e.y1 || y >= e.y2) continue;  // sample y + 1/2 inside [y1, y2)
            // crossing c = N / D at the row's centre line; first pixel whose centre is >= c
            __int128 D = 2 * (e.y2 - e.y1);
            __int128 N = static_cast<__int128>(e.x1) * D + static_cast<__int128>(2 * (y - e.y1) + 1) * (e.x2 - e.x1);
            __int128 num = 2 * N - D, den = 2 * D;
            __int128 q = num >= 0 ? (num + den - 1) / den : -((-num) / den);
            int64_t first = static_cast<int64_t>(std::clamp<__int128>(q, INT32_MIN / 2, INT32_MAX / 2));
            xs.push_back({first, e.dir});
        }
        std::sort(xs.begin(), xs.end());
        if (fillMode == WINDING) {
            int wind = 0;
            int64_t startX = 0;
            for (const auto& [x, d] : xs) {
                int before = wind;
                wind += d;
                if (before == 0 && wind != 0) startX = x;
                if (before != 0 && wind == 0)
                    out.Add(static_cast<int>(y), static_cast<int>(startX), static_cast<int>(x));
            }
        } else {
            for (size_t i = 0; i + 1 < xs.size(); i += 2) {
                out.Add(static_cast<int>(y), static_cast<int>(xs[i].first), static_cast<int>(xs[i + 1].first));
            }
        }
    }
}

std::vector<RowSpan> EllipseRows(int l, int t, int r, int b, RowRange rows) {
    std::vector<RowSpan> out;
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    if (r <= l || b <= t) return out;
    int64_t A = static_cast<int64_t>(r) - l - 1, B = static_cast<int64_t>(b) - t - 1;
    int64_t yFrom = std::max<int64_t>(t, rows.lo), yTo = std::min<int64_t>(b, rows.hi);
    if (A == 0 || B == 0) {
        for (int64_t y = yFrom; y < yTo; ++y) out.push_back({static_cast<int>(y), l, r - 1});
        return out;
    }
    double a = A / 2.0, bb = B / 2.0;
    int pu = static_cast<int>(A & 1);
    auto g = [&](double v) { return a * std::sqrt(std::max(0.0, 1.0 - (v * v) / (bb * bb))); };
    auto f = [&](double u) { return bb * std::sqrt(std::max(0.0, 1.0 - (u * u) / (a * a))); };
    int pv = static_cast<int>(B & 1);
    for (int64_t y = yFrom; y < yTo; ++y) {
        int64_t V = std::llabs(2 * (y - t) - B);  // doubled offset from the centre row
        double v = V / 2.0;
        // Nearest pixel to the curve in this row (steep parts) ...
        int64_t X = LatticeRound(g(v), pu);
        // ... and the widest column whose nearest row is this one (flat parts).
        int64_t U1;
        if (v - 0.5 < 0) {
            U1 = A;
        } else {
            double lim = g(v - 0.5);
            U1 = pu + 2 * (static_cast<int64_t>(std::ceil(lim - pu / 2.0 - kEps)) - 1);
            U1 = std::min(U1, A);
        }
        if (U1 >= 0 && LatticeRound(f(U1 / 2.0), pv) == V) X = std::max(X, U1);
        X = std::clamp<int64_t>(X, 0, A);
        out.push_back({static_cast<int>(y), static_cast<int>(l + (A - X) / 2), static_cast<int>(l + (A + X) / 2)});
    }
    return out;
}

std::vector<RowSpan> RoundRectRows(int l, int t, int r, int b, int w, int h, RowRange rows) {
    std::vector<RowSpan> out;
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    if (r <= l || b <= t) return out;
    int ew = std::clamp(std::abs(w), 0, r - l), eh = std::clamp(std::abs(h), 0, b - t);
    std::vector<RowSpan> corner = EllipseRows(0, 0, ew, eh, RowRange{});
    int64_t yFrom = std::max<int64_t>(t, rows.lo), yTo = std::min<int64_t>(b, rows.hi);
    for (int64_t y = yFrom; y < yTo; ++y) {
        int k = -1;
        if (y - t < eh / 2) {
            k = static_cast<int>(y - t);
        } else if (b - 1 - y < eh / 2) {
            k = static_cast<int>(eh - 1 - (b - 1 - y));
        }
        int inset = 0;
        if (k >= 0 && k < static_cast<int>(corner.size())) inset = corner[static_cast<size_t>(k)].x0;
        out.push_back({static_cast<int>(y), l + inset, r - 1 - inset});
    }
    return out;
}

void SplitOutline(const std::vector<RowSpan>& rows, SpanSet* outline, SpanSet* interior) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const RowSpan& s = rows[i];
        // Interior pixels have all four neighbours inside: the row above and below must
        // cover them, and they are not the row's ends.
        int lo = s.x0 + 1, hi = s.x1 - 1;
        bool hasAbove = i > 0 && rows[i - 1].y == s.y - 1;
        bool hasBelow = i + 1 < rows.size() && rows[i + 1].y == s.y + 1;
        if (!hasAbove || !hasBelow) {
            hi = lo - 1;
        } else {
            lo = std::max({lo, rows[i - 1].x0, rows[i + 1].x0});
            hi = std::min({hi, rows[i - 1].x1, rows[i + 1].x1});
        }
        if (lo <= hi) {
            if (interior) interior->Add(s.y, lo, hi + 1);
            if (outline) {
                outline->Add(s.y, s.x0, lo);
                outline->Add(s.y, hi + 1, s.x1 + 1);
            }
        } else if (outline) {
            outline->Add(s.y, s.x0, s.x1 + 1);
        }
    }
}

void AddCapsule(SpanSet& out, double ax, double ay, double bx, double by, int width, RowRange rows) {
    // Sample points: pixel indices for odd widths, pixel centres for even widths, so
    // that an axis-aligned stroke is exactly `width` pixels wide.
    double o = (width % 2 == 0) ? 0.5 : 0.0;
    double rad = width / 2.0;
    double dx = bx - ax, dy = by - ay;
    double len = std::sqrt(dx * dx + dy * dy);
    double nx = 0, ny = 0;
    if (len > 0) {
        nx = -dy / len * rad;
        ny = dx / len * rad;
    }
    double quad[4][2] = {{ax + nx, ay + ny}, {bx + nx, by + ny}, {bx - nx, by - ny}, {ax - nx, ay - ny}};
    double top = std::min(ay, by) - rad - o, bottom = std::max(ay, by) + rad;
    int64_t y0 = std::max<int64_t>(static_cast<int64_t>(std::floor(top)) - 1, rows.lo);
    int64_t y1 = std::min<int64_t>(static_cast<int64_t>(std::ceil(bottom)) + 2, rows.hi);
    for (int64_t y = y0; y < y1; ++y) {
        double sy = static_cast<double>(y) + o;
        double lo = INFINITY, hi = -INFINITY;
        auto disc = [&](double cx, double cy) {
            double d = sy - cy;
            if (std::fabs(d) > rad) return;
            double half = std::sqrt(std::max(0.0, rad * rad - d * d));
            lo = std::min(lo, cx - half);
            hi = std::max(hi, cx + half);
        };
        disc(ax, ay);
        disc(bx, by);
        if (len > 0) {
            for (int e = 0; e < 4; ++e) {
                const double* p = quad[e];
                const double* q = quad[(e + 1) % 4];
                double ymn = std::min(p[1], q[1]), ymx = std::max(p[1], q[1]);
                if (sy < ymn || sy > ymx) continue;
                double x;
                if (q[1] == p[1]) {
                    lo = std::min({lo, p[0], q[0]});
                    hi = std::max({hi, p[0], q[0]});
                    continue;
                }
                x = p[0] + (sy - p[1]) * (q[0] - p[0]) / (q[1] - p[1]);
                lo = std::min(lo, x);
                hi = std::max(hi, x);
            }
        }
        if (lo > hi) continue;
        int64_t x0 = static_cast<int64_t>(std::ceil(lo - o - kEps));
        int64_t x1 = static_cast<int64_t>(std::floor(hi - o + kEps));
        if (x0 <= x1) out.Add(static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1 + 1));
    }
}

}  // namespace win::gdi
