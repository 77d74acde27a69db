// Regions: sorted bands of x spans, their boolean combinations and the region calls.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/gdi_internal.h"

namespace win::gdi {

namespace {

// Combines two sorted span lists with a boolean operation.
std::vector<int> CombineSpans(const std::vector<int>& a, const std::vector<int>& b, int mode) {
    std::vector<int> out;
    size_t i = 0, j = 0;
    bool inA = false, inB = false;
    bool inOut = false;
    auto op = [mode](bool x, bool y) {
        switch (mode) {
            case RGN_AND: return x && y;
            case RGN_OR: return x || y;
            case RGN_XOR: return x != y;
            case RGN_DIFF: return x && !y;
            default: return x;
        }
    };
    while (i < a.size() || j < b.size()) {
        int x = INT_MAX;
        if (i < a.size()) x = a[i];
        if (j < b.size()) x = std::min(x, b[j]);
        while (i < a.size() && a[i] == x) {
            inA = !inA;
            ++i;
        }
        while (j < b.size() && b[j] == x) {
            inB = !inB;
            ++j;
        }
        bool now = op(inA, inB);
        if (now != inOut) {
            if (!out.empty() && out.back() == x) {
                out.pop_back();  // an empty gap or span closes up
            } else {
                out.push_back(x);
            }
            inOut = now;
        }
    }
    return out;
}

}  // namespace

Region Region::FromRect(int l, int t, int r, int b) {
    Region rg;
    if (l < r && t < b) rg.bands_.push_back({t, b, {l, r}});
    return rg;
}

RECT Region::Box() const {
    RECT rc{0, 0, 0, 0};
    if (bands_.empty()) return rc;
    rc.left = INT_MAX;
    rc.right = INT_MIN;
    for (const Band& b : bands_) {
        rc.left = std::min(rc.left, b.xs.front());
        rc.right = std::max(rc.right, b.xs.back());
    }
    rc.top = bands_.front().top;
    rc.bottom = bands_.back().bottom;
    return rc;
}

int Region::Type() const {
    if (bands_.empty()) return NULLREGION;
    if (bands_.size() == 1 && bands_[0].xs.size() == 2) return SIMPLEREGION;
    return COMPLEXREGION;
}

void Region::Offset(int dx, int dy) {
    // Coordinates saturate at +-2^30 so that no sum overflows.
    auto sat = [](int v, int d) {
        return static_cast<int>(std::clamp<int64_t>(int64_t{v} + d, -(int64_t{1} << 30), int64_t{1} << 30));
    };
    Region moved;
    for (const Band& b : bands_) {
        std::vector<int> xs;
        for (size_t k = 0; k + 1 < b.xs.size(); k += 2) {
            int l = sat(b.xs[k], dx), r = sat(b.xs[k + 1], dx);
            if (l >= r) continue;  // squeezed to nothing at the limit
            if (!xs.empty() && l <= xs.back()) {
                xs.back() = std::max(xs.back(), r);
            } else {
                xs.push_back(l);
                xs.push_back(r);
            }
        }
        if (sat(b.top, dy) >= sat(b.bottom, dy)) continue;
        if (!moved.Bands().empty() && moved.Bands().back().bottom > sat(b.top, dy)) continue;
        moved.AppendBand(sat(b.top, dy), sat(b.bottom, dy), std::move(xs));
    }
    *this = std::move(moved);
}

bool Region::Contains(int x, int y) const {
    auto it = std::upper_bound(bands_.begin(), bands_.end(), y, [](int v, const Band& b) { return v < b.bottom; });
    if (it == bands_.end() || y < it->top) return false;
    const auto& xs = it->xs;
    auto p = std::upper_bound(xs.begin(), xs.end(), x);
    return ((p - xs.begin()) & 1) != 0;
}

bool Region::Intersects(const RECT& rc) const {
    if (rc.left >= rc.right || rc.top >= rc.bottom) return false;
    for (const Band& b : bands_) {
        if (b.bottom <= rc.top || b.top >= rc.bottom) continue;
        for (size_t k = 0; k < b.xs.size(); k += 2) {
            if (b.xs[k] < rc.right && b.xs[k + 1] > rc.left) return true;
        }
    }
    return false;
}

std::vector<RECT> Region::Rects() const {
    std::vector<RECT> out;
    for (const Band& b : bands_) {
        for (size_t k = 0; k < b.xs.size(); k += 2) out.push_back({b.xs[k], b.top, b.xs[k + 1], b.bottom});
    }
    return out;
}

void Region::AppendBand(int top, int bottom, std::vector<int> xs) {
    if (top >= bottom || xs.empty()) return;
    if (!bands_.empty() && bands_.back().bottom == top && bands_.back().xs == xs) {
        bands_.back().bottom = bottom;
        return;
    }
    bands_.push_back({top, bottom, std::move(xs)});
}

Region Region::Combine(const Region& a, const Region& b, int mode) {
    if (mode == RGN_COPY) return a;
    std::vector<int> ys;
    ys.reserve(2 * (a.bands_.size() + b.bands_.size()));
    for (const Band& x : a.bands_) {
        ys.push_back(x.top);
        ys.push_back(x.bottom);
    }
    for (const Band& x : b.bands_) {
        ys.push_back(x.top);
        ys.push_back(x.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    Region out;
    static const std::vector<int> kNone;
    size_t ia = 0, ib = 0;
    for (size_t k = 0; k + 1 < ys.size(); ++k) {
        int y0 = ys[k], y1 = ys[k + 1];
        while (ia < a.bands_.size() && a.bands_[ia].bottom <= y0) ++ia;
        while (ib < b.bands_.size() && b.bands_[ib].bottom <= y0) ++ib;
        const std::vector<int>& sa = (ia < a.bands_.size() && a.bands_[ia].top <= y0) ? a.bands_[ia].xs : kNone;
        const std::vector<int>& sb = (ib < b.bands_.size() && b.bands_[ib].top <= y0) ? b.bands_[ib].xs : kNone;
        if (sa.empty() && sb.empty()) continue;
        out.AppendBand(y0, y1, CombineSpans(sa, sb, mode));
    }
    return out;
}

void SpanSet::Add(int y, int x0, int x1) {
    if (x0 >= x1) return;
    rows_.push_back({y, {x0, x1}});
}

Region SpanSet::Build() const {
    auto rows = rows_;
    std::sort(rows.begin(), rows.end());
    Region out;
    size_t i = 0;
    while (i < rows.size()) {
        int y = rows[i].first;
        std::vector<int> xs;
        for (; i < rows.size() && rows[i].first == y; ++i) {
            int x0 = rows[i].second.first, x1 = rows[i].second.second;
            if (!xs.empty() && x0 <= xs.back()) {
                xs.back() = std::max(xs.back(), x1);
            } else {
                xs.push_back(x0);
                xs.push_back(x1);
            }
        }
        out.AppendBand(y, y + 1, std::move(xs));
    }
    return out;
}

namespace {

struct RegionObj : GdiObject {
    Region rgn;
};

std::shared_ptr<RegionObj> GetRgn(HRGN h) { return Objects().GetAs<RegionObj>(HV(h), HandleKind::Region); }

}  // namespace

HRGN NewRegionHandle(Region rgn) {
    auto obj = std::make_shared<RegionObj>();
    obj->kind = HandleKind::Region;
    obj->rgn = std::move(rgn);
    return AsHandle<HRGN>(Objects().Add(obj));
}

const Region* RegionOf(HRGN h) {
    auto obj = GetRgn(h);
    return obj ? &obj->rgn : nullptr;
}

bool SetRegion(HRGN h, Region rgn) {
    auto obj = GetRgn(h);
    if (!obj) return false;
    obj->rgn = std::move(rgn);
    return true;
}

}  // namespace win::gdi

namespace win {

using namespace gdi;

namespace {
Region Normalised(int l, int t, int r, int b) {
    return Region::FromRect(std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b));
}
}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return NewRegionHandle(Normalised(left, top, right, bottom));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
    if (!rect) return nullptr;
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

BOOL SetRectRgn(HRGN rgn, int left, int top, int right, int bottom) {
    return SetRegion(rgn, Normalised(left, top, right, bottom)) ? TRUE : FALSE;
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    if (mode < RGN_AND || mode > RGN_COPY) return ERROR;
    const Region* a = RegionOf(src1);
    if (!a || !RegionOf(dest)) return ERROR;
    Region result;
    if (mode == RGN_COPY) {
        result = *a;
    } else {
        const Region* b = RegionOf(src2);
        if (!b) return ERROR;
        result = Region::Combine(*a, *b, mode);
    }
    int type = result.Type();
    SetRegion(dest, std::move(result));
    return type;
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
    const Region* r = RegionOf(rgn);
    if (!r) return ERROR;
    Region moved = *r;
    moved.Offset(dx, dy);
    int type = moved.Type();
    SetRegion(rgn, std::move(moved));
    return type;
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
    const Region* r = RegionOf(rgn);
    return r && r->Contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN rgn, const RECT* rect) {
    const Region* r = RegionOf(rgn);
    if (!r || !rect) return FALSE;
    RECT rc = *rect;
    if (rc.left > rc.right) std::swap(rc.left, rc.right);
    if (rc.top > rc.bottom) std::swap(rc.top, rc.bottom);
    return r->Intersects(rc) ? TRUE : FALSE;
}

int GetRgnBox(HRGN rgn, RECT* rect) {
    const Region* r = RegionOf(rgn);
    if (!r || !rect) return ERROR;
    *rect = r->Box();
    return r->Type();
}

BOOL EqualRgn(HRGN a, HRGN b) {
    const Region* ra = RegionOf(a);
    const Region* rb = RegionOf(b);
    if (!ra || !rb) return ERROR;
    return *ra == *rb ? TRUE : FALSE;
}

DWORD GetRegionData(HRGN rgn, DWORD size, RGNDATA* data) {
    const Region* r = RegionOf(rgn);
    if (!r) return 0;
    std::vector<RECT> rects = r->Rects();
    DWORD needed = static_cast<DWORD>(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    if (!data) return needed;
    if (size < needed) return 0;
    RGNDATAHEADER hdr;
    hdr.dwSize = sizeof(RGNDATAHEADER);
    hdr.iType = RDH_RECTANGLES;
    hdr.nCount = static_cast<DWORD>(rects.size());
    hdr.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    hdr.rcBound = r->Box();
    std::memcpy(&data->rdh, &hdr, sizeof hdr);
    if (!rects.empty()) std::memcpy(data->Buffer, rects.data(), rects.size() * sizeof(RECT));
    return needed;
}

HRGN ExtCreateRegion(const XFORM* xform, DWORD size, const RGNDATA* data) {
    if (!data || size < sizeof(RGNDATAHEADER)) return nullptr;
    if (xform && (xform->eM11 != 1 || xform->eM12 != 0 || xform->eM21 != 0 || xform->eM22 != 1 || xform->eDx != 0 ||
                  xform->eDy != 0)) {
        return nullptr;  // only the identity transform is supported
    }
    RGNDATAHEADER hdr;
    std::memcpy(&hdr, &data->rdh, sizeof hdr);
    if (hdr.dwSize != sizeof(RGNDATAHEADER) || hdr.iType != RDH_RECTANGLES) return nullptr;
    uint64_t bytes = sizeof(RGNDATAHEADER) + static_cast<uint64_t>(hdr.nCount) * sizeof(RECT);
    if (bytes > size) return nullptr;
    // Rectangles without pixels (right <= left or bottom <= top) add nothing. The union is
    // taken pairwise, so thousands of small rectangles cost n log n band merges.
    std::vector<Region> parts;
    parts.reserve(hdr.nCount);
    const char* p = data->Buffer;
    for (DWORD i = 0; i < hdr.nCount; ++i) {
        RECT rc;
        std::memcpy(&rc, p + i * sizeof(RECT), sizeof rc);
        if (rc.left < rc.right && rc.top < rc.bottom) parts.push_back(Region::FromRect(rc));
    }
    while (parts.size() > 1) {
        std::vector<Region> next;
        next.reserve(parts.size() / 2 + 1);
        for (size_t i = 0; i + 1 < parts.size(); i += 2) next.push_back(parts[i].Or(parts[i + 1]));
        if (parts.size() % 2 != 0) next.push_back(std::move(parts.back()));
        parts = std::move(next);
    }
    return NewRegionHandle(parts.empty() ? Region() : std::move(parts.front()));
}

}  // namespace win
