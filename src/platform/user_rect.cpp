// Rectangle helpers with Windows' rules: right and bottom are exclusive.
#include <algorithm>

#include "platform/user.h"

namespace win {

namespace {
bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
}  // namespace

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
    if (!r) return FALSE;
    *r = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }

BOOL CopyRect(RECT* dst, const RECT* src) {
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* r) { return !r || Empty(*r) ? TRUE : FALSE; }

BOOL EqualRect(const RECT* a, const RECT* b) {
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom ? TRUE : FALSE;
}

BOOL OffsetRect(RECT* r, int dx, int dy) {
    if (!r) return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}

BOOL InflateRect(RECT* r, int dx, int dy) {
    if (!r) return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}

BOOL PtInRect(const RECT* r, POINT pt) {
    if (!r) return FALSE;
    return pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom ? TRUE : FALSE;
}

BOOL IntersectRect(RECT* dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (Empty(r)) {
        *dst = RECT{};
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

BOOL UnionRect(RECT* dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    bool ea = Empty(*a), eb = Empty(*b);
    if (ea && eb) {
        *dst = RECT{};
        return FALSE;
    }
    if (ea) {
        *dst = *b;
    } else if (eb) {
        *dst = *a;
    } else {
        *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
    }
    return TRUE;
}

BOOL SubtractRect(RECT* dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r = *a;
    RECT cut;
    if (IntersectRect(&cut, a, b)) {
        bool fullWidth = cut.left == a->left && cut.right == a->right;
        bool fullHeight = cut.top == a->top && cut.bottom == a->bottom;
        if (fullWidth && fullHeight) {
            r = RECT{};
        } else if (fullWidth) {
            if (cut.top == a->top)
                r.top = cut.bottom;
            else if (cut.bottom == a->bottom)
                r.bottom = cut.top;
        } else if (fullHeight) {
            if (cut.left == a->left)
                r.left = cut.right;
            else if (cut.right == a->right)
                r.right = cut.left;
        }
    }
    *dst = r;
    return Empty(r) ? FALSE : TRUE;
}

}  // namespace win
