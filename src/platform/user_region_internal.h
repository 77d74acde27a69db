// A rectangle-list region for the window manager's own bookkeeping (update regions,
// visible regions, window regions): a set of non-overlapping rectangles. The GDI's
// regions are built from it when a DC needs a clip.
#pragma once

#include <vector>

#include "platform/windef.h"

namespace win::user {

class RectSet {
public:
    RectSet() = default;
    explicit RectSet(const RECT& r) { Add(r); }

    bool Empty() const { return rects_.empty(); }
    const std::vector<RECT>& Rects() const { return rects_; }
    RECT Bounds() const;
    bool Contains(int x, int y) const;

    void Clear() { rects_.clear(); }
    void Add(const RECT& r);
    void Add(const RectSet& other);
    void Subtract(const RECT& r);
    void Subtract(const RectSet& other);
    void Intersect(const RECT& r);
    void Intersect(const RectSet& other);
    void Offset(int dx, int dy);

private:
    std::vector<RECT> rects_;
};

bool RectEmpty(const RECT& r);
RECT RectIntersect(const RECT& a, const RECT& b);
RECT RectOffset(const RECT& r, int dx, int dy);

}  // namespace win::user
