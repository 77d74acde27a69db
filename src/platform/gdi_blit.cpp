// Raster operations, fills through the clip, BitBlt / PatBlt / StretchBlt and the DIB
// drawing calls, ScrollDC and single pixels.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/gdi_internal.h"
#include "platform/parallel.h"

namespace win::gdi {

// ------------------------------------------------------------------ raster operations

bool RopUsesP(uint8_t r) { return ((r >> 4) & 0x0F) != (r & 0x0F); }
bool RopUsesS(uint8_t r) { return ((r >> 2) & 0x33) != (r & 0x33); }
bool RopUsesD(uint8_t r) { return ((r >> 1) & 0x55) != (r & 0x55); }

uint8_t Rop2ToRop3(int rop2) {
    // R2 codes minus one are truth tables over (pen << 1 | destination).
    unsigned t = static_cast<unsigned>(rop2 - 1) & 0x0F;
    uint8_t r = 0;
    for (unsigned idx = 0; idx < 8; ++idx) {
        unsigned p = (idx >> 2) & 1, d = idx & 1;
        if ((t >> ((p << 1) | d)) & 1) r = static_cast<uint8_t>(r | (1u << idx));
    }
    return r;
}

void ApplyRop(uint8_t rop, const uint32_t* p, const uint32_t* s, uint32_t* d, int n) {
    switch (rop) {
        case 0x00: std::fill(d, d + n, 0u); return;
        case 0xFF: std::fill(d, d + n, 0xFFFFFFFFu); return;
        case 0xAA: return;
        case 0xCC: std::memcpy(d, s, sizeof(uint32_t) * static_cast<size_t>(n)); return;
        case 0xF0: std::memcpy(d, p, sizeof(uint32_t) * static_cast<size_t>(n)); return;
        case 0x33:
            for (int i = 0; i < n; ++i) d[i] = ~s[i];
            return;
        case 0x55:
            for (int i = 0; i < n; ++i) d[i] = ~d[i];
            return;
        case 0x0F:
            for (int i = 0; i < n; ++i) d[i] = ~p[i];
            return;
        case 0x88:
            for (int i = 0; i < n; ++i) d[i] &= s[i];
            return;
        case 0xEE:
            for (int i = 0; i < n; ++i) d[i] |= s[i];
            return;
        case 0x66:
            for (int i = 0; i < n; ++i) d[i] ^= s[i];
            return;
        case 0x22:
            for (int i = 0; i < n; ++i) d[i] &= ~s[i];
            return;
        case 0x5A:
            for (int i = 0; i < n; ++i) d[i] ^= p[i];
            return;
        case 0xAC:
            for (int i = 0; i < n; ++i) d[i] = s[i] ^ (p[i] & (d[i] ^ s[i]));
            return;
        default: break;
    }
    for (int i = 0; i < n; ++i) {
        uint32_t P = p ? p[i] : 0, S = s ? s[i] : 0, D = d[i];
        uint32_t result = 0;
        for (unsigned idx = 0; idx < 8; ++idx) {
            if (!((rop >> idx) & 1)) continue;
            uint32_t term = ((idx & 4) ? P : ~P) & ((idx & 2) ? S : ~S) & ((idx & 1) ? D : ~D);
            result |= term;
        }
        d[i] = result;
    }
}

// ------------------------------------------------------------------ paints

namespace {

uint64_t HatchBits(int style) {
    uint64_t bits = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool on = false;
            switch (style) {
                case HS_HORIZONTAL: on = y == 7; break;
                case HS_VERTICAL: on = x == 7; break;
                case HS_FDIAGONAL: on = x == y; break;
                case HS_BDIAGONAL: on = x + y == 7; break;
                case HS_CROSS: on = x == 7 || y == 7; break;
                case HS_DIAGCROSS: on = x == y || x + y == 7; break;
                default: break;
            }
            if (on) bits |= uint64_t{1} << (y * 8 + x);
        }
    }
    return bits;
}

inline int Mod(int a, int m) {
    int r = a % m;
    return r < 0 ? r + m : r;
}

// The pattern values of one row segment; `keep` (when given) marks the pixels a
// transparent hatch leaves untouched with 0.
void PaintRow(const Paint& paint, int y, int x0, int n, uint32_t* out, uint8_t* keep) {
    switch (paint.kind) {
        case Paint::None:
        case Paint::Solid: std::fill(out, out + n, paint.raw); break;
        case Paint::Pattern: {
            int py = Mod(y - paint.org.y, paint.ph);
            const uint32_t* row = paint.pattern.data() + static_cast<size_t>(py) * static_cast<size_t>(paint.pw);
            int px = Mod(x0 - paint.org.x, paint.pw);
            for (int i = 0; i < n; ++i) {
                out[i] = row[px];
                if (++px == paint.pw) px = 0;
            }
            break;
        }
        case Paint::Hatch: {
            int py = Mod(y - paint.org.y, 8);
            unsigned rowBits = static_cast<unsigned>((paint.hatchBits >> (py * 8)) & 0xFF);
            int px = Mod(x0 - paint.org.x, 8);
            for (int i = 0; i < n; ++i) {
                bool on = (rowBits >> px) & 1;
                out[i] = on ? paint.raw : paint.bgRaw;
                if (keep) keep[i] = on || !paint.transparentBg;
                px = (px + 1) & 7;
            }
            break;
        }
    }
}

}  // namespace

Paint PaintFromColor(DcObj& dc, COLORREF c) {
    Paint p;
    p.kind = Paint::Solid;
    p.raw = ColorToRaw(dc.Surface(), c, dc.st.palette.get());
    return p;
}

Paint PaintFromBrush(DcObj& dc, const BrushObj* brush) {
    Paint p;
    if (!brush || brush->style == BS_NULL) return p;
    const BitmapObj& bm = dc.Surface();
    p.org = {dc.origin.x + dc.st.brushOrg.x, dc.origin.y + dc.st.brushOrg.y};
    switch (brush->style) {
        case BS_SOLID: return PaintFromColor(dc, brush->color);
        case BS_HATCHED:
            p.kind = Paint::Hatch;
            p.raw = ColorToRaw(bm, brush->color, dc.st.palette.get());
            p.bgRaw = ColorToRaw(bm, dc.st.bkColor, dc.st.palette.get());
            p.transparentBg = dc.st.bkMode == TRANSPARENT;
            p.hatchBits = HatchBits(brush->hatch);
            return p;
        case BS_PATTERN: {
            if (brush->pw <= 0 || brush->ph <= 0) return p;
            p.kind = Paint::Pattern;
            p.pw = brush->pw;
            p.ph = brush->ph;
            size_t n = static_cast<size_t>(p.pw) * static_cast<size_t>(p.ph);
            p.pattern.resize(n);
            if (brush->mono) {
                uint32_t zero = ColorToRaw(bm, dc.st.textColor, dc.st.palette.get());
                uint32_t one = ColorToRaw(bm, dc.st.bkColor, dc.st.palette.get());
                for (size_t i = 0; i < n; ++i) p.pattern[i] = brush->monoBits[i] ? one : zero;
            } else {
                ColorMatcher match(bm);
                for (size_t i = 0; i < n; ++i) p.pattern[i] = match(brush->pattern[i]);
            }
            return p;
        }
        default: return p;
    }
}

void FillRegion(DcObj& dc, const Region& deviceRgn, const Paint& paint, uint8_t rop3) {
    if (dc.DrawingIgnored() || !dc.st.bitmap) return;
    if (RopUsesP(rop3) && paint.kind == Paint::None) return;
    Region rgn = deviceRgn;
    rgn.Offset(dc.origin.x, dc.origin.y);
    rgn = rgn.And(dc.Visible());
    if (rgn.Empty()) return;
    NoteDrawn(dc, rgn.Box());
    BitmapObj& bm = dc.Surface();
    uint32_t mask = bm.fmt == Fmt::B32 ? 0x00FFFFFFu : RawMask(bm);
    bool usesD = RopUsesD(rop3);
    bool transparent = paint.kind == Paint::Hatch && paint.transparentBg;
    if ((paint.kind == Paint::Solid || paint.kind == Paint::None) && !usesD) {
        // Every pixel gets the same value: the operation applied once, written along the spans.
        uint32_t p = paint.raw, v = 0;
        ApplyRop(rop3, &p, nullptr, &v, 1);
        v &= mask;
        for (const Band& b : rgn.Bands())
            for (size_t k = 0; k < b.xs.size(); k += 2)
                for (int y = b.top; y < b.bottom; ++y) FillRaw(bm, y, b.xs[k], b.xs[k + 1] - b.xs[k], v);
        return;
    }
    std::vector<uint32_t> prow, drow, before;
    std::vector<uint8_t> keep;
    for (const Band& b : rgn.Bands()) {
        for (size_t k = 0; k < b.xs.size(); k += 2) {
            int x0 = b.xs[k], n = b.xs[k + 1] - b.xs[k];
            prow.resize(static_cast<size_t>(n));
            drow.resize(static_cast<size_t>(n));
            keep.resize(static_cast<size_t>(n));
            for (int y = b.top; y < b.bottom; ++y) {
                PaintRow(paint, y, x0, n, prow.data(), transparent ? keep.data() : nullptr);
                if (usesD || transparent) ReadRaw(bm, y, x0, n, drow.data());
                if (transparent) before.assign(drow.begin(), drow.end());
                ApplyRop(rop3, prow.data(), nullptr, drow.data(), n);
                for (int i = 0; i < n; ++i) drow[static_cast<size_t>(i)] &= mask;
                if (transparent) {
                    for (int i = 0; i < n; ++i) {
                        if (!keep[static_cast<size_t>(i)])
                            drow[static_cast<size_t>(i)] = before[static_cast<size_t>(i)];
                    }
                }
                WriteRaw(bm, y, x0, n, drow.data());
            }
        }
    }
}

void FillRectDevice(DcObj& dc, const RECT& rc, const Paint& paint, uint8_t rop3) {
    FillRegion(dc, Region::FromRect(rc), paint, rop3);
}

// ------------------------------------------------------------------ the blit engine

namespace {

struct BlitSource {
    const BitmapObj* bm = nullptr;
    int sx = 0, sy = 0;  // surface coordinates of the source rectangle's corner (before normalising)
    int sw = 0, sh = 0;
    BlitColors colors;
};

struct AxisMap {
    std::vector<int> nearest;  // source index per destination index, -1 outside the source
    std::vector<int> lo, hi;   // covered source range [lo, hi) per destination index
};

// The mapping of destination indices i0 .. i1-1 (of a span of n) onto a source span of m
// pixels starting at srcStart; entry k describes index i0 + k.
AxisMap MapAxis(int64_t n, int64_t srcStart, int64_t m, bool mirror, int srcLimit, bool ranges, int64_t i0,
                int64_t i1) {
    AxisMap a;
    size_t count = static_cast<size_t>(std::max<int64_t>(0, i1 - i0));
    a.nearest.resize(count);
    if (ranges) {
        a.lo.resize(count);
        a.hi.resize(count);
    }
    for (size_t k = 0; k < count; ++k) {
        int64_t i = i0 + static_cast<int64_t>(k);
        int64_t j = mirror ? n - 1 - i : i;
        int64_t s = srcStart + (n == m ? j : static_cast<int64_t>(static_cast<__int128>(2 * j + 1) * m / (2 * n)));
        a.nearest[k] = (s >= 0 && s < srcLimit) ? static_cast<int>(s) : -1;
        if (ranges) {
            int64_t lo = static_cast<int64_t>(static_cast<__int128>(j) * m / n);
            int64_t hi = static_cast<int64_t>((static_cast<__int128>(j + 1) * m + n - 1) / n);
            if (hi <= lo) hi = lo + 1;
            int64_t l = std::max<int64_t>(srcStart + lo, 0);
            int64_t h = std::min<int64_t>(srcStart + hi, srcLimit);
            a.lo[k] = static_cast<int>(std::min<int64_t>(l, srcLimit));
            a.hi[k] = static_cast<int>(std::max<int64_t>(h, 0));
            if (h <= l) a.nearest[k] = -1;
        }
    }
    return a;
}

// ------------------------------------------------------------------ unstretched copies

// SRCCOPY rows between the common formats, unstretched and unmirrored, straight from the
// source row to the destination row. Each gives exactly what the general road (read the
// raw values, convert, mask, write) gives: 24 to 32 bits leaves the fourth byte 0, 32 to 24
// drops it, indexed sources go through the converter's table.
using FastRow = void (*)(const uint8_t* src, int sx, uint8_t* dst, int dx, int n, const uint32_t* table);

inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void Row24To32(const uint8_t* s, int sx, uint8_t* d, int dx, int n, const uint32_t*) {
    s += 3 * static_cast<size_t>(sx);
    d += 4 * static_cast<size_t>(dx);
    int i = 0;
    // Four pixels from three little-endian words: B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3.
    for (; i + 4 <= n; i += 4, s += 12, d += 16) {
        const uint32_t w0 = Load32(s), w1 = Load32(s + 4), w2 = Load32(s + 8);
        Store32(d, w0 & 0x00FFFFFFu);
        Store32(d + 4, ((w0 >> 24) | (w1 << 8)) & 0x00FFFFFFu);
        Store32(d + 8, ((w1 >> 16) | (w2 << 16)) & 0x00FFFFFFu);
        Store32(d + 12, w2 >> 8);
    }
    for (; i < n; ++i, s += 3, d += 4)
        Store32(d,
                static_cast<uint32_t>(s[0]) | (static_cast<uint32_t>(s[1]) << 8) | (static_cast<uint32_t>(s[2]) << 16));
}

void Row32To24(const uint8_t* s, int sx, uint8_t* d, int dx, int n, const uint32_t*) {
    s += 4 * static_cast<size_t>(sx);
    d += 3 * static_cast<size_t>(dx);
    for (int i = 0; i < n; ++i, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

template <int Bits>
inline uint32_t IndexAt(const uint8_t* row, int x) {
    if constexpr (Bits == 8) return row[x];
    if constexpr (Bits == 4) return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1u;
}

template <int Bits>
void RowIndexTo32(const uint8_t* s, int sx, uint8_t* d, int dx, int n, const uint32_t* table) {
    d += 4 * static_cast<size_t>(dx);
    for (int i = 0; i < n; ++i, d += 4) Store32(d, table[IndexAt<Bits>(s, sx + i)] & 0x00FFFFFFu);
}

template <int Bits>
void RowIndexTo24(const uint8_t* s, int sx, uint8_t* d, int dx, int n, const uint32_t* table) {
    d += 3 * static_cast<size_t>(dx);
    for (int i = 0; i < n; ++i, d += 3) {
        const uint32_t v = table[IndexAt<Bits>(s, sx + i)];
        d[0] = static_cast<uint8_t>(v);
        d[1] = static_cast<uint8_t>(v >> 8);
        d[2] = static_cast<uint8_t>(v >> 16);
    }
}

void RowCopy24(const uint8_t* s, int sx, uint8_t* d, int dx, int n, const uint32_t*) {
    std::memcpy(d + 3 * static_cast<size_t>(dx), s + 3 * static_cast<size_t>(sx), 3 * static_cast<size_t>(n));
}

void RowCopy32(const uint8_t* s, int sx, uint8_t* d, int dx, int n, const uint32_t*) {
    std::memcpy(d + 4 * static_cast<size_t>(dx), s + 4 * static_cast<size_t>(sx), 4 * static_cast<size_t>(n));
}

// The row routine for an unstretched SRCCOPY from `s` to `d`, or null for the general road.
FastRow FastRowFor(const BitmapObj& s, const BitmapObj& d, const RowConverter& conv) {
    if (d.fmt != Fmt::B24 && d.fmt != Fmt::B32) return nullptr;
    const bool to32 = d.fmt == Fmt::B32;
    if (s.fmt == d.fmt) return to32 ? RowCopy32 : RowCopy24;
    if (s.fmt == Fmt::B24 && to32 && conv.Matching()) return Row24To32;
    if (s.fmt == Fmt::B32 && !to32 && conv.Matching()) return Row32To24;
    if (!conv.Table()) return nullptr;
    switch (s.fmt) {
        case Fmt::I8: return to32 ? RowIndexTo32<8> : RowIndexTo24<8>;
        case Fmt::I4: return to32 ? RowIndexTo32<4> : RowIndexTo24<4>;
        case Fmt::I1: return to32 ? RowIndexTo32<1> : RowIndexTo24<1>;
        default: return nullptr;
    }
}

// Rows of at least this many pixels in all are split over the processor's cores.
constexpr int64_t kParallelPixels = int64_t{1} << 18;

// A private copy of the rows a blit reads when source and destination share pixels.
std::shared_ptr<BitmapObj> Snapshot(const BitmapObj& bm) {
    auto copy = std::make_shared<BitmapObj>();
    copy->width = bm.width;
    copy->height = bm.height;
    copy->bpp = bm.bpp;
    copy->fmt = bm.fmt;
    copy->topDown = bm.topDown;
    copy->monoDdb = bm.monoDdb;
    copy->stride = bm.stride;
    copy->colors = bm.colors;
    size_t bytes = static_cast<size_t>(bm.stride) * static_cast<size_t>(bm.height);
    copy->storage = AllocPixels(bytes, false);
    if (!copy->storage) return nullptr;
    std::memcpy(copy->storage.get(), bm.bits, bytes);
    copy->bits = copy->storage.get();
    return copy;
}

// dst rectangle in surface coordinates (x, y, w, h with signs), src as described.
BOOL Blit(DcObj& dst, int x, int y, int w, int h, const BlitSource* srcIn, uint8_t rop, int stretchMode) {
    if (w == 0 || h == 0) return TRUE;
    bool usesS = RopUsesS(rop);
    if (usesS && (!srcIn || !srcIn->bm)) return FALSE;
    if (usesS && (srcIn->sw == 0 || srcIn->sh == 0)) return TRUE;
    if (dst.DrawingIgnored() || !dst.st.bitmap) return TRUE;
    BitmapObj& bm = dst.Surface();
    // Spans in 64 bits: extents may be anything an int holds.
    int64_t dl = std::min<int64_t>(x, int64_t{x} + w), dt = std::min<int64_t>(y, int64_t{y} + h);
    int64_t dw = std::llabs(int64_t{w}), dh = std::llabs(int64_t{h});
    constexpr int64_t kLim = int64_t{1} << 30;
    Region area =
        Region::FromRect(static_cast<int>(std::clamp(dl, -kLim, kLim)), static_cast<int>(std::clamp(dt, -kLim, kLim)),
                         static_cast<int>(std::clamp(dl + dw, -kLim, kLim)),
                         static_cast<int>(std::clamp(dt + dh, -kLim, kLim)))
            .And(dst.Visible());
    if (area.Empty()) return TRUE;
    RECT box = area.Box();
    NoteDrawn(dst, box);
    uint32_t mask = RawMask(bm);
    bool usesP = RopUsesP(rop);
    Paint paint;
    if (usesP) {
        paint = PaintFromBrush(dst, dst.st.brush.get());
        if (paint.kind == Paint::None) return TRUE;  // a null brush paints nothing
        if (paint.kind == Paint::Hatch) paint.transparentBg = false;
    }
    if (!usesS) {
        Region rgn = area;
        rgn.Offset(-dst.origin.x, -dst.origin.y);
        // FillRegion masks the fourth byte of 32-bpp targets as fills do.
        FillRegion(dst, rgn, paint, rop);
        return TRUE;
    }
    BlitSource src = *srcIn;
    std::shared_ptr<BitmapObj> snapshot;
    if (src.bm->bits == bm.bits) {
        snapshot = Snapshot(*src.bm);
        if (!snapshot) return FALSE;
        src.bm = snapshot.get();
    }
    const BitmapObj& sbm = *src.bm;
    int64_t sl = std::min<int64_t>(src.sx, int64_t{src.sx} + src.sw),
            st = std::min<int64_t>(src.sy, int64_t{src.sy} + src.sh);
    int64_t sw = std::llabs(int64_t{src.sw}), sh = std::llabs(int64_t{src.sh});
    bool mirrorX = (w < 0) != (src.sw < 0);
    bool mirrorY = (h < 0) != (src.sh < 0);
    bool halftone = stretchMode == HALFTONE && (sw != dw || sh != dh);
    bool monoCombine =
        sbm.bpp == 1 && (stretchMode == BLACKONWHITE || stretchMode == WHITEONBLACK) && (sw > dw || sh > dh);
    bool ranges = halftone || monoCombine;
    // Maps only for the visible part: index k of a map is surface column box.left + k.
    AxisMap cols = MapAxis(dw, sl, sw, mirrorX, sbm.width, ranges, box.left - dl, box.right - dl);
    AxisMap rows = MapAxis(dh, st, sh, mirrorY, sbm.height, ranges, box.top - dt, box.bottom - dt);
    const int cb = box.left, rb = box.top;
    if (!(src.bm->fmt == Fmt::B32 && bm.fmt == Fmt::B32) && bm.fmt == Fmt::B32) mask = 0x00FFFFFF;

    bool identityCols = !mirrorX && sw == dw;
    bool usesD = RopUsesD(rop);
    RowConverter conv(sbm, bm, &src.colors);
    // Same format, plain copy: raw pixels go straight from row to row, gathered through the
    // column map when the columns are stretched or mirrored.
    const bool rawSame = rop == 0xCC && !ranges && conv.Identity() && sbm.bpp == bm.bpp && bm.bpp >= 8 &&
                         bm.fmt != Fmt::X555 && (bm.fmt != Fmt::B32 || sbm.fmt == Fmt::B32);
    const bool rawCopy = rawSame && identityCols;
    const bool rawGather = rawSame && !identityCols;
    // Unstretched copies between the common formats go straight from row to row.
    const FastRow fast = rop == 0xCC && !ranges && identityCols && !rawCopy ? FastRowFor(sbm, bm, conv) : nullptr;
    const uint32_t* table = conv.Table();
    // The runs of destination columns [xa, xb) of a span whose source columns exist: the
    // same for every row of a copy.
    std::vector<std::pair<int, int>> runs;
    auto findRuns = [&](int x0, int x1) {
        runs.clear();
        int xa = x0;
        while (xa < x1) {
            while (xa < x1 && cols.nearest[static_cast<size_t>(xa - cb)] < 0) ++xa;
            int xb = xa;
            while (xb < x1 && cols.nearest[static_cast<size_t>(xb - cb)] >= 0) ++xb;
            if (xa < xb) runs.emplace_back(xa, xb);
            xa = xb;
        }
    };
    // One destination row of such a copy.
    auto copyRow = [&](int yy) {
        int srcY = rows.nearest[static_cast<size_t>(yy - rb)];
        if (srcY < 0) return;
        const uint8_t* srow8 = sbm.Row(srcY);
        uint8_t* drow8 = bm.Row(yy);
        for (const auto& [xa, xb] : runs) {
            const int sx = cols.nearest[static_cast<size_t>(xa - cb)];
            if (fast) {
                fast(srow8, sx, drow8, xa, xb - xa, table);
            } else if (rawGather) {
                const size_t bpp = static_cast<size_t>(bm.bpp / 8);
                uint8_t* d = drow8 + static_cast<size_t>(xa) * bpp;
                const int* map = &cols.nearest[static_cast<size_t>(xa - cb)];
                const int n = xb - xa;
                auto gather = [&](auto size) {
                    constexpr size_t k = decltype(size)::value;
                    for (int i = 0; i < n; ++i, d += k) std::memcpy(d, srow8 + static_cast<size_t>(map[i]) * k, k);
                };
                switch (bpp) {
                    case 1: gather(std::integral_constant<size_t, 1>{}); break;
                    case 2: gather(std::integral_constant<size_t, 2>{}); break;
                    case 3: gather(std::integral_constant<size_t, 3>{}); break;
                    default: gather(std::integral_constant<size_t, 4>{}); break;
                }
            } else {
                size_t bpp = static_cast<size_t>(bm.bpp / 8);
                std::memcpy(drow8 + static_cast<size_t>(xa) * bpp, srow8 + static_cast<size_t>(sx) * bpp,
                            static_cast<size_t>(xb - xa) * bpp);
            }
        }
    };
    ColorMatcher match(bm);
    bool keepAlpha = sbm.fmt == Fmt::B32 && bm.fmt == Fmt::B32;
    // Row buffers, reused by every row of the blit.
    std::vector<uint32_t> srow, sconv, prow, drow, sval, tmp, bits, count;
    std::vector<uint64_t> acc;

    for (const Band& b : area.Bands()) {
        for (size_t k = 0; k < b.xs.size(); k += 2) {
            int x0 = b.xs[k], x1 = b.xs[k + 1];
            if (fast || rawCopy || rawGather) {
                findRuns(x0, x1);
                // Rows are independent: a large block is split over the cores.
                if (int64_t{b.bottom - b.top} * (x1 - x0) >= kParallelPixels) {
                    ParallelRows(b.top, b.bottom, 16, [&](int ya, int yb) {
                        for (int yy = ya; yy < yb; ++yy) copyRow(yy);
                    });
                } else {
                    for (int yy = b.top; yy < b.bottom; ++yy) copyRow(yy);
                }
                continue;
            }
            for (int yy = b.top; yy < b.bottom; ++yy) {
                int ri = yy - rb;
                int srcY = rows.nearest[static_cast<size_t>(ri)];
                if (srcY < 0) continue;
                // Runs of destination columns whose source column exists.
                int xa = x0;
                while (xa < x1) {
                    while (xa < x1 && cols.nearest[static_cast<size_t>(xa - cb)] < 0) ++xa;
                    int xb = xa;
                    while (xb < x1 && cols.nearest[static_cast<size_t>(xb - cb)] >= 0) ++xb;
                    if (xa >= xb) break;
                    int n = xb - xa;
                    sval.resize(static_cast<size_t>(n));
                    if (!ranges && identityCols) {
                        // Unstretched, unmirrored columns: one contiguous source run.
                        srow.resize(static_cast<size_t>(n));
                        ReadRaw(sbm, srcY, cols.nearest[static_cast<size_t>(xa - cb)], n, srow.data());
                        conv.Run(srow.data(), sval.data(), n);
                    } else if (!ranges) {
                        int first = cols.nearest[static_cast<size_t>(xa - cb)];
                        int last = cols.nearest[static_cast<size_t>(xb - 1 - cb)];
                        int lo = std::min(first, last), span = std::abs(last - first) + 1;
                        srow.resize(static_cast<size_t>(span));
                        sconv.resize(static_cast<size_t>(span));
                        ReadRaw(sbm, srcY, lo, span, srow.data());
                        conv.Run(srow.data(), sconv.data(), span);
                        for (int i = 0; i < n; ++i) {
                            sval[static_cast<size_t>(i)] =
                                sconv[static_cast<size_t>(cols.nearest[static_cast<size_t>(xa - cb + i)] - lo)];
                        }
                    } else {
                        int r0 = rows.lo[static_cast<size_t>(ri)], r1 = rows.hi[static_cast<size_t>(ri)];
                        tmp.resize(static_cast<size_t>(sbm.width));
                        acc.assign(static_cast<size_t>(n) * 4, 0);
                        bits.assign(static_cast<size_t>(n), stretchMode == BLACKONWHITE ? 1u : 0u);
                        count.assign(static_cast<size_t>(n), 0);
                        for (int sy2 = r0; sy2 < r1; ++sy2) {
                            ReadRaw(sbm, sy2, 0, sbm.width, tmp.data());
                            for (int i = 0; i < n; ++i) {
                                size_t ci = static_cast<size_t>(xa - cb + i);
                                for (int sx2 = cols.lo[ci]; sx2 < cols.hi[ci]; ++sx2) {
                                    uint32_t raw = tmp[static_cast<size_t>(sx2)];
                                    if (halftone) {
                                        COLORREF c = RawToColor(sbm, raw);
                                        if (sbm.bpp == 1) c = raw ? src.colors.dstBk : src.colors.dstText;
                                        size_t a = static_cast<size_t>(i) * 4;
                                        acc[a] += GetRValue(c);
                                        acc[a + 1] += GetGValue(c);
                                        acc[a + 2] += GetBValue(c);
                                        acc[a + 3] += raw >> 24;
                                    } else if (stretchMode == BLACKONWHITE) {
                                        bits[static_cast<size_t>(i)] &= raw;
                                    } else {
                                        bits[static_cast<size_t>(i)] |= raw;
                                    }
                                    ++count[static_cast<size_t>(i)];
                                }
                            }
                        }
                        for (int i = 0; i < n; ++i) {
                            size_t ii = static_cast<size_t>(i);
                            if (halftone) {
                                uint64_t c = std::max<uint32_t>(count[ii], 1);
                                auto avg = [&](size_t ch) { return static_cast<BYTE>((acc[ii * 4 + ch] + c / 2) / c); };
                                uint32_t v = match(RGB(avg(0), avg(1), avg(2)));
                                if (keepAlpha) v = (v & 0xFFFFFF) | (static_cast<uint32_t>(avg(3)) << 24);
                                sval[ii] = v;
                            } else {
                                conv.Run(&bits[ii], &sval[ii], 1);
                            }
                        }
                    }
                    drow.resize(static_cast<size_t>(n));
                    if (usesD) ReadRaw(bm, yy, xa, n, drow.data());
                    if (usesP) {
                        prow.resize(static_cast<size_t>(n));
                        PaintRow(paint, yy, xa, n, prow.data(), nullptr);
                    }
                    ApplyRop(rop, usesP ? prow.data() : nullptr, sval.data(), drow.data(), n);
                    for (int i = 0; i < n; ++i) drow[static_cast<size_t>(i)] &= mask;
                    WriteRaw(bm, yy, xa, n, drow.data());
                    xa = xb;
                }
            }
        }
    }
    return TRUE;
}

BlitSource SourceFromDc(DcObj& src, DcObj& dst, int sx, int sy, int sw, int sh) {
    BlitSource s;
    s.bm = src.st.bitmap.get();
    s.sx = src.ToDevX(sx) + src.origin.x;
    s.sy = src.ToDevY(sy) + src.origin.y;
    s.sw = sw;
    s.sh = sh;
    s.colors.dstText = dst.st.textColor;
    s.colors.dstBk = dst.st.bkColor;
    s.colors.srcBk = src.st.bkColor;
    return s;
}

}  // namespace

}  // namespace win::gdi

namespace win {

using namespace gdi;

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    uint8_t r = static_cast<uint8_t>(rop >> 16);
    if (RopUsesS(r)) return FALSE;
    int dx = dc->ToDevX(x) + dc->origin.x, dy = dc->ToDevY(y) + dc->origin.y;
    return Blit(*dc, dx, dy, width, height, nullptr, r, dc->st.stretchMode);
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int sx, int sy, DWORD rop) {
    return StretchBlt(dst, x, y, width, height, src, sx, sy, width, height, rop);
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int sx, int sy, int swidth, int sheight,
                DWORD rop) {
    auto d = GetDc(dst);
    if (!d) return FALSE;
    uint8_t r = static_cast<uint8_t>(rop >> 16);
    auto s = src ? GetDc(src) : nullptr;
    if (src && !s) return FALSE;
    int dx = d->ToDevX(x) + d->origin.x, dy = d->ToDevY(y) + d->origin.y;
    if (!s) {
        if (RopUsesS(r)) return FALSE;
        return Blit(*d, dx, dy, width, height, nullptr, r, d->st.stretchMode);
    }
    BlitSource bs = SourceFromDc(*s, *d, sx, sy, swidth, sheight);
    return Blit(*d, dx, dy, width, height, &bs, r, d->st.stretchMode);
}

int StretchDIBits(HDC hdc, int x, int y, int width, int height, int sx, int sy, int swidth, int sheight,
                  const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop) {
    auto dc = GetDc(hdc);
    if (!dc) return 0;
    auto view = ViewPackedDib(bmi, bits, usage, dc->st.palette ? &dc->st.palette->entries : nullptr);
    if (!view) return 0;
    BlitSource bs;
    bs.bm = view.get();
    bs.sx = sx;
    // The source rectangle of a bottom-up DIB is measured from its bottom row.
    bs.sy = view->topDown ? sy : view->height - (sy + sheight);
    bs.sw = swidth;
    bs.sh = sheight;
    bs.colors.dstText = dc->st.textColor;
    bs.colors.dstBk = dc->st.bkColor;
    bs.colors.srcBk = dc->st.bkColor;
    int dx = dc->ToDevX(x) + dc->origin.x, dy = dc->ToDevY(y) + dc->origin.y;
    if (!Blit(*dc, dx, dy, width, height, &bs, static_cast<uint8_t>(rop >> 16), dc->st.stretchMode)) return 0;
    int top = std::max(0, std::min(bs.sy, bs.sy + bs.sh));
    int bottom = std::min(view->height, std::max(bs.sy, bs.sy + bs.sh));
    return std::max(0, bottom - top);
}

int SetDIBitsToDevice(HDC hdc, int x, int y, DWORD width, DWORD height, int sx, int sy, UINT startScan, UINT lines,
                      const void* bits, const BITMAPINFO* bmi, UINT usage) {
    auto dc = GetDc(hdc);
    if (!dc || !bmi || !bits || lines == 0) return 0;
    int fullHeight = bmi->bmiHeader.biHeight < 0 ? -bmi->bmiHeader.biHeight : bmi->bmiHeader.biHeight;
    if (startScan >= static_cast<UINT>(fullHeight)) return 0;
    UINT count = std::min<UINT>(lines, static_cast<UINT>(fullHeight) - startScan);
    auto view = ViewPackedDib(bmi, bits, usage, dc->st.palette ? &dc->st.palette->entries : nullptr, count);
    if (!view) return 0;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return 0;
    int w = static_cast<int>(width), h = static_cast<int>(height);
    // Source rows are scan lines counted from the bottom of a bottom-up DIB; the supplied
    // block holds scans startScan .. startScan + count - 1.
    int srcTopScan;  // scan number of the source rectangle's top row
    BlitSource bs;
    bs.bm = view.get();
    bs.sx = sx;
    bs.sw = w;
    bs.sh = h;
    if (view->topDown) {
        srcTopScan = sy;
        bs.sy = srcTopScan - static_cast<int>(startScan);
    } else {
        srcTopScan = sy + h - 1;  // bottom-up: the rectangle's top is its highest scan
        bs.sy = (view->height - 1) - (srcTopScan - static_cast<int>(startScan));
    }
    bs.colors.dstText = dc->st.textColor;
    bs.colors.dstBk = dc->st.bkColor;
    bs.colors.srcBk = dc->st.bkColor;
    int dx = dc->ToDevX(x) + dc->origin.x, dy = dc->ToDevY(y) + dc->origin.y;
    if (!Blit(*dc, dx, dy, w, h, &bs, 0xCC, COLORONCOLOR)) return 0;
    return static_cast<int>(count);
}

BOOL ScrollDC(HDC hdc, int dx, int dy, const RECT* scroll, const RECT* clip, HRGN update, RECT* updateRect) {
    auto dc = GetDc(hdc);
    if (!dc) return FALSE;
    auto toDev = [&](const RECT& r) {
        return Region::FromRect(dc->ToDevX(r.left), dc->ToDevY(r.top), dc->ToDevX(r.right), dc->ToDevY(r.bottom));
    };
    Region visible = dc->Visible();
    visible.Offset(-dc->origin.x, -dc->origin.y);
    Region scrollRgn = scroll ? toDev(*scroll) : visible;
    Region clipRgn = clip ? toDev(*clip) : scrollRgn;
    Region srcArea = scrollRgn.And(visible);
    Region moved = srcArea;
    moved.Offset(dx, dy);
    Region destArea = moved.And(clipRgn).And(visible);
    if (!dc->DrawingIgnored() && !destArea.Empty()) {
        RECT box = destArea.Box();
        NoteDrawn(*dc, RECT{box.left + dc->origin.x, box.top + dc->origin.y, box.right + dc->origin.x,
                            box.bottom + dc->origin.y});
        BitmapObj& bm = dc->Surface();
        auto snap = Snapshot(bm);
        if (!snap) return FALSE;
        std::vector<uint32_t> row;
        for (const Band& b : destArea.Bands()) {
            for (size_t k = 0; k < b.xs.size(); k += 2) {
                int x0 = b.xs[k] + dc->origin.x, n = b.xs[k + 1] - b.xs[k];
                row.resize(static_cast<size_t>(n));
                for (int y = b.top; y < b.bottom; ++y) {
                    int sy = y + dc->origin.y;
                    ReadRaw(*snap, sy - dy, x0 - dx, n, row.data());
                    WriteRaw(bm, sy, x0, n, row.data());
                }
            }
        }
    }
    Region uncovered = scrollRgn.And(clipRgn).And(visible).Diff(destArea);
    if (update) SetRegion(update, uncovered);
    if (updateRect) {
        RECT box = uncovered.Box();
        int ox = dc->st.windowOrg.x - dc->st.viewportOrg.x, oy = dc->st.windowOrg.y - dc->st.viewportOrg.y;
        *updateRect =
            uncovered.Empty() ? RECT{0, 0, 0, 0} : RECT{box.left + ox, box.top + oy, box.right + ox, box.bottom + oy};
    }
    return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    auto dc = GetDc(hdc);
    if (!dc || !dc->st.bitmap) return CLR_INVALID;
    int sx = dc->ToDevX(x) + dc->origin.x, sy = dc->ToDevY(y) + dc->origin.y;
    if (!dc->Visible().Contains(sx, sy)) return CLR_INVALID;
    const BitmapObj& bm = dc->Surface();
    return RawToColor(bm, ReadPixelRaw(bm, sx, sy));
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    auto dc = GetDc(hdc);
    if (!dc || !dc->st.bitmap) return CLR_INVALID;
    int sx = dc->ToDevX(x) + dc->origin.x, sy = dc->ToDevY(y) + dc->origin.y;
    if (!dc->Visible().Contains(sx, sy)) return CLR_INVALID;
    BitmapObj& bm = dc->Surface();
    uint32_t raw = ColorToRaw(bm, color, dc->st.palette.get());
    if (!dc->DrawingIgnored()) {
        WritePixelRaw(bm, sx, sy, raw);
        NoteDrawn(*dc, RECT{sx, sy, sx + 1, sy + 1});
    }
    return RawToColor(bm, raw);
}

BOOL SetPixelV(HDC hdc, int x, int y, COLORREF color) { return SetPixel(hdc, x, y, color) != CLR_INVALID; }

}  // namespace win
