// Private parts of the software GDI shared by its source files: the object types kept in
// the handle table, the band region, pixel formats and the painting engine.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_device_internal.h"
#include "platform/handles_internal.h"

namespace win::gdi {

// The table every GDI object and DC lives in.
HandleTable& Objects();

template <class H>
uintptr_t HV(H h) {
    return reinterpret_cast<uintptr_t>(h);
}
template <class H>
H AsHandle(uintptr_t v) {
    return reinterpret_cast<H>(v);
}

// ------------------------------------------------------------------ regions

// A band: rows top .. bottom-1 covering the x spans [xs[0], xs[1]), [xs[2], xs[3]) ...
// sorted, non-empty and not touching.
struct Band {
    int top = 0;
    int bottom = 0;
    std::vector<int> xs;
    bool operator==(const Band&) const = default;
};

// A set of pixels as sorted, non-overlapping bands; vertically adjacent bands with the
// same spans are always merged, so equal sets have equal representations.
class Region {
public:
    Region() = default;
    static Region FromRect(int l, int t, int r, int b);  // empty unless l < r and t < b
    static Region FromRect(const RECT& rc) { return FromRect(rc.left, rc.top, rc.right, rc.bottom); }

    bool Empty() const { return bands_.empty(); }
    RECT Box() const;
    int Type() const;  // NULLREGION, SIMPLEREGION or COMPLEXREGION
    void Offset(int dx, int dy);
    bool Contains(int x, int y) const;
    bool Intersects(const RECT& rc) const;
    std::vector<RECT> Rects() const;
    const std::vector<Band>& Bands() const { return bands_; }
    bool operator==(const Region&) const = default;

    static Region Combine(const Region& a, const Region& b, int mode);
    Region And(const Region& o) const { return Combine(*this, o, RGN_AND); }
    Region Or(const Region& o) const { return Combine(*this, o, RGN_OR); }
    Region Diff(const Region& o) const { return Combine(*this, o, RGN_DIFF); }

    // Appends a band below the existing ones (top >= last bottom), merging when equal.
    void AppendBand(int top, int bottom, std::vector<int> xs);

private:
    std::vector<Band> bands_;
};

// Region objects behind HRGN handles.
HRGN NewRegionHandle(Region rgn);
const Region* RegionOf(HRGN h);  // null for stale or non-region handles
bool SetRegion(HRGN h, Region rgn);

// Collects horizontal pixel runs row by row (in any order, overlapping allowed) and
// builds their union.
class SpanSet {
public:
    void Add(int y, int x0, int x1);  // pixels x0 .. x1-1 of row y
    void AddPixel(int x, int y) { Add(y, x, x + 1); }
    Region Build() const;
    bool Empty() const { return rows_.empty(); }

private:
    std::vector<std::pair<int, std::pair<int, int>>> rows_;
};

// ------------------------------------------------------------------ objects

struct GdiObject : HandleObject {
    bool stock = false;
    std::atomic<int> selections{0};  // how many DCs have it selected now
};

enum class Fmt { I1, I4, I8, X555, R565, B24, B32 };

// Owned pixel memory. Large blocks come straight from the system (fresh pages are zero, so
// they are not cleared again, and they are backed by huge pages where the system allows,
// which saves most page faults on a picture of many megabytes), and the last ones given back
// are kept for the next picture of about their size; small ones come from the heap.
struct PixelRelease {
    size_t mapped = 0;  // bytes mapped from the system; 0: heap memory
    void operator()(uint8_t* p) const;
};
using PixelStorage = std::unique_ptr<uint8_t[], PixelRelease>;
// Null when the memory cannot be had. `zeroed` false leaves heap blocks uninitialised.
PixelStorage AllocPixels(size_t bytes, bool zeroed);

struct BitmapObj : GdiObject {
    int width = 0;
    int height = 0;
    int bpp = 0;
    Fmt fmt = Fmt::B32;
    bool topDown = false;
    bool dib = true;          // a DIB section (false: device-dependent bitmap)
    bool monoDdb = false;     // a monochrome device-dependent bitmap
    long stride = 0;          // bytes per row (positive)
    uint8_t* bits = nullptr;  // first byte of the block
    PixelStorage storage;
    std::vector<RGBQUAD> colors;  // colour table of indexed formats
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};
    std::atomic<uintptr_t> ownerDc{0};  // the memory DC it is selected into
    // Window surfaces: the box drawn through window DCs since it was last presented
    // (empty: nothing new). Only the UI thread draws into and presents a surface.
    RECT changed{0, 0, 0, 0};

    uint8_t* Row(int y) const { return bits + (topDown ? y : height - 1 - y) * stride; }
    bool Indexed() const { return bpp <= 8; }
};

// Allocates a zeroed bitmap (any supported bit count); null when the size is not allowed.
constexpr uint64_t kMaxBitmapBytes = uint64_t{1} << 31;  // 2 GiB
std::shared_ptr<BitmapObj> NewBitmap(int width, int height, int bpp, bool topDown, bool dib, bool bitfields565);
// A bitmap view over packed DIB bits (not owned); null when the header is unusable.
// `palette` gives colours for DIB_PAL_COLORS tables.
std::shared_ptr<BitmapObj> ViewPackedDib(const BITMAPINFO* bmi, const void* bits, UINT usage,
                                         const std::vector<PALETTEENTRY>* palette, size_t rowsAvailable = SIZE_MAX);
// Reads the colour table out of a BITMAPINFO for the given bit count.
bool ParseBitmapInfo(const BITMAPINFO* bmi, UINT usage, const std::vector<PALETTEENTRY>* palette, int* width,
                     int* height, int* bpp, bool* topDown, bool* is565, std::vector<RGBQUAD>* table);

struct PenObj : GdiObject {
    UINT style = PS_SOLID;  // PS_* style without the type bits
    int width = 1;
    COLORREF color = 0;
    bool extended = false;
    bool geometric = false;  // ExtCreatePen's PS_GEOMETRIC: dashes in units of the width
};

struct BrushObj : GdiObject {
    UINT style = BS_SOLID;
    COLORREF color = 0;
    int hatch = 0;
    // Pattern brushes: the pattern's size and colours, or its bits when monochrome.
    int pw = 0, ph = 0;
    bool mono = false;
    std::vector<COLORREF> pattern;  // colour patterns
    std::vector<uint8_t> monoBits;  // monochrome patterns (0/1 per pixel)
    HBITMAP sourceBitmap = nullptr;
};

struct PaletteObj : GdiObject {
    std::vector<PALETTEENTRY> entries;
};

struct FontFace;  // a loaded face, gdi_text.cpp
struct FontObj : GdiObject {
    LOGFONTA lf;
    std::shared_ptr<FontFace> face;  // resolved on first use
};

const std::vector<PALETTEENTRY>& DefaultPaletteEntries();

// ------------------------------------------------------------------ device contexts

enum class DcKind { Memory, Window, Screen };

struct DcState {
    std::shared_ptr<BitmapObj> bitmap;
    uintptr_t hbitmap = 0;
    std::shared_ptr<PenObj> pen;
    uintptr_t hpen = 0;
    std::shared_ptr<BrushObj> brush;
    uintptr_t hbrush = 0;
    std::shared_ptr<FontObj> font;
    uintptr_t hfont = 0;
    std::shared_ptr<PaletteObj> palette;
    uintptr_t hpalette = 0;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int stretchMode = BLACKONWHITE;
    int polyFillMode = ALTERNATE;
    UINT textAlign = 0;
    POINT windowOrg;
    POINT viewportOrg;
    POINT brushOrg;
    POINT pos;
    std::optional<Region> clip;  // application clip, device units
};

struct DcObj : HandleObject {
    DcKind dcKind = DcKind::Memory;
    uintptr_t hwnd = 0;
    POINT origin;                      // device (0,0) on the surface
    std::optional<Region> systemClip;  // surface coordinates
    DcState st;
    std::vector<DcState> saved;
    int dashPos = 0;  // position in the dash pattern since MoveTo
    int graphicsMode = GM_COMPATIBLE;

    // The pixels drawing may touch, in surface coordinates (cached).
    const Region& Visible();
    void InvalidateVisible() { visibleValid_ = false; }
    BitmapObj& Surface() const { return *st.bitmap; }
    // Logical to device; saturates far outside any bitmap so later sums cannot overflow.
    static int Sat(int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, -(int64_t{1} << 30), int64_t{1} << 30));
    }
    int ToDevX(int lx) const { return Sat(int64_t{lx} - st.windowOrg.x + st.viewportOrg.x); }
    int ToDevY(int ly) const { return Sat(int64_t{ly} - st.windowOrg.y + st.viewportOrg.y); }
    POINT ToDev(POINT p) const { return {ToDevX(p.x), ToDevY(p.y)}; }
    bool DrawingIgnored() const { return dcKind == DcKind::Screen; }

private:
    Region visible_;
    bool visibleValid_ = false;
};

std::shared_ptr<DcObj> GetDc(HDC hdc);
// Records that drawing through `dc` touched `surfaceBox` (surface coordinates): for a
// window DC the box joins its surface's changed box, which the next present shows.
void NoteDrawn(DcObj& dc, const RECT& surfaceBox);
// Makes `next` the current state: adjusts the selection counts of the objects involved.
void ReplaceState(DcObj& dc, DcState next);
void InitDcState(DcState& st);

// A stale handle, or one of another kind, finds nothing and leaves ERROR_INVALID_HANDLE.
void NoteInvalidHandle();

template <class T>
std::shared_ptr<T> GetObj(HGDIOBJ h, HandleKind kind) {
    auto obj = Objects().GetAs<T>(reinterpret_cast<uintptr_t>(h), kind);
    if (!obj) NoteInvalidHandle();
    return obj;
}

// ------------------------------------------------------------------ pixels

// Raw pixel values: the index for indexed formats, the packed word or the B,G,R(,X)
// little-endian value otherwise.
void ReadRaw(const BitmapObj& bm, int y, int x0, int n, uint32_t* out);
void WriteRaw(BitmapObj& bm, int y, int x0, int n, const uint32_t* in);
// WriteRaw of n copies of one value, whole bytes and words at a time.
void FillRaw(BitmapObj& bm, int y, int x0, int n, uint32_t v);
uint32_t ReadPixelRaw(const BitmapObj& bm, int x, int y);
void WritePixelRaw(BitmapObj& bm, int x, int y, uint32_t v);
// Bits a raw value has in this format; 32 bpp counts the fourth byte.
uint32_t RawMask(const BitmapObj& bm);
COLORREF RawToColor(const BitmapObj& bm, uint32_t raw);
// Nearest entry (squared RGB distance, lowest index on ties).
uint32_t NearestIndex(const std::vector<RGBQUAD>& table, COLORREF c);
// A COLORREF (plain, palette-relative or PALETTEINDEX) as a raw value of the bitmap.
// `palette` resolves PALETTEINDEX on targets without a colour table.
uint32_t ColorToRaw(const BitmapObj& bm, COLORREF c, const PaletteObj* palette = nullptr);
bool EqualTables(const BitmapObj& a, const BitmapObj& b);

// Matches many colours to a bitmap's format with a small cache.
class ColorMatcher {
public:
    explicit ColorMatcher(const BitmapObj& bm) : bm_(bm) {}
    uint32_t operator()(COLORREF c);

private:
    const BitmapObj& bm_;
    static constexpr int kSize = 1024;
    std::vector<std::pair<COLORREF, uint32_t>> cache_;
};

// Converts rows of raw source pixels to raw destination pixels.
struct BlitColors {
    COLORREF dstText = 0;  // monochrome source bit 0 in a colour destination
    COLORREF dstBk = 0;    // ... and bit 1
    COLORREF srcBk = 0;    // colour source pixels of this colour become 1 in a monochrome DDB
};
class RowConverter {
public:
    // `colors` null: monochrome sources use their colour table (DIB transfers).
    RowConverter(const BitmapObj& src, const BitmapObj& dst, const BlitColors* colors);
    void Run(const uint32_t* in, uint32_t* out, int n);
    bool Identity() const { return mode_ == Mode::Identity; }
    // The raw destination value of every index of an indexed source; null unless the
    // conversion is such a table.
    const uint32_t* Table() const { return mode_ == Mode::Lookup ? lookup_.data() : nullptr; }
    // True when the conversion is the plain colour match (no table, no monochrome rule).
    bool Matching() const { return mode_ == Mode::Generic; }

private:
    enum class Mode { Identity, Lookup, ToMonoDdb, Generic } mode_ = Mode::Generic;
    const BitmapObj& src_;
    ColorMatcher match_;
    std::vector<uint32_t> lookup_;
    COLORREF srcBk_ = 0;
};

// ------------------------------------------------------------------ painting

// What a fill or stroke writes, as raw destination values.
struct Paint {
    enum Kind { None, Solid, Pattern, Hatch } kind = None;
    uint32_t raw = 0;               // Solid; Hatch foreground
    uint32_t bgRaw = 0;             // Hatch background
    bool transparentBg = false;     // Hatch: gaps untouched
    int pw = 0, ph = 0;             // Pattern size
    std::vector<uint32_t> pattern;  // Pattern raws
    uint64_t hatchBits = 0;         // Hatch 8x8 mask, bit (y*8+x)
    POINT org;                      // pattern origin in surface coordinates
};

Paint PaintFromBrush(DcObj& dc, const BrushObj* brush);
Paint PaintFromColor(DcObj& dc, COLORREF c);
// Converts an R2_ drawing mode to the equivalent ternary raster-operation byte.
uint8_t Rop2ToRop3(int rop2);
// Does a ternary ROP byte read the pattern / source / destination?
bool RopUsesP(uint8_t rop);
bool RopUsesS(uint8_t rop);
bool RopUsesD(uint8_t rop);
// result = ROP(P, S, D) for each of n pixels (P or S may be null when unused).
void ApplyRop(uint8_t rop, const uint32_t* p, const uint32_t* s, uint32_t* d, int n);

// Fills a region given in device units with the paint through the DC's clip.
void FillRegion(DcObj& dc, const Region& deviceRgn, const Paint& paint, uint8_t rop3);
void FillRectDevice(DcObj& dc, const RECT& rc, const Paint& paint, uint8_t rop3);

}  // namespace win::gdi
