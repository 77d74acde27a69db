#include "platform/user_region_internal.h"

#include <algorithm>

namespace win::user {

bool RectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT RectIntersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (RectEmpty(r)) return RECT{};
    return r;
}

RECT RectOffset(const RECT& r, int dx, int dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

RECT RectSet::Bounds() const {
    if (rects_.empty()) return RECT{};
    RECT b = rects_.front();
    for (const RECT& r : rects_) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

bool RectSet::Contains(int x, int y) const {
    for (const RECT& r : rects_)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

namespace {

// Appends the parts of `a` outside `cut` to `out`.
void SplitOutside(const RECT& a, const RECT& cut, std::vector<RECT>& out) {
    RECT in = RectIntersect(a, cut);
    if (RectEmpty(in)) {
        out.push_back(a);
        return;
    }
    if (a.top < in.top) out.push_back(RECT{a.left, a.top, a.right, in.top});
    if (in.bottom < a.bottom) out.push_back(RECT{a.left, in.bottom, a.right, a.bottom});
    if (a.left < in.left) out.push_back(RECT{a.left, in.top, in.left, in.bottom});
    if (in.right < a.right) out.push_back(RECT{in.right, in.top, a.right, in.bottom});
}

// Merges rectangles that share a full edge, so that repeated edits do not fragment. Long
// lists are left as they are (the merge is quadratic).
void Coalesce(std::vector<RECT>& rects) {
    if (rects.size() > 64) return;
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < rects.size() && !merged; ++i) {
            for (size_t j = i + 1; j < rects.size(); ++j) {
                RECT& a = rects[i];
                const RECT& b = rects[j];
                bool horiz = a.top == b.top && a.bottom == b.bottom && (a.right == b.left || b.right == a.left);
                bool vert = a.left == b.left && a.right == b.right && (a.bottom == b.top || b.bottom == a.top);
                if (horiz || vert) {
                    a = RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                             std::max(a.bottom, b.bottom)};
                    rects.erase(rects.begin() + static_cast<long>(j));
                    merged = true;
                    break;
                }
            }
        }
    }
}

}  // namespace

void RectSet::Add(const RECT& r) {
    if (RectEmpty(r)) return;
    std::vector<RECT> pieces{r};
    for (const RECT& have : rects_) {
        std::vector<RECT> next;
        for (const RECT& p : pieces) SplitOutside(p, have, next);
        pieces.swap(next);
        if (pieces.empty()) return;
    }
    rects_.insert(rects_.end(), pieces.begin(), pieces.end());
    Coalesce(rects_);
}

void RectSet::Add(const RectSet& other) {
    for (const RECT& r : other.rects_) Add(r);
}

void RectSet::Subtract(const RECT& r) {
    if (RectEmpty(r) || rects_.empty()) return;
    std::vector<RECT> out;
    for (const RECT& a : rects_) SplitOutside(a, r, out);
    rects_.swap(out);
    Coalesce(rects_);
}

void RectSet::Subtract(const RectSet& other) {
    for (const RECT& r : other.rects_) Subtract(r);
}

void RectSet::Intersect(const RECT& r) {
    std::vector<RECT> out;
    for (const RECT& a : rects_) {
        RECT i = RectIntersect(a, r);
        if (!RectEmpty(i)) out.push_back(i);
    }
    rects_.swap(out);
}

void RectSet::Intersect(const RectSet& other) {
    std::vector<RECT> out;
    for (const RECT& a : rects_)
        for (const RECT& b : other.rects_) {
            RECT i = RectIntersect(a, b);
            if (!RectEmpty(i)) out.push_back(i);
        }
    rects_.swap(out);
    Coalesce(rects_);
}

void RectSet::Offset(int dx, int dy) {
    for (RECT& r : rects_) r = RectOffset(r, dx, dy);
}

}  // namespace win::user
