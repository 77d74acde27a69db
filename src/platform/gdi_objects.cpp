// GDI objects: the handle table, stock objects, selection and deletion, pens, brushes
// and palettes.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/gdi_internal.h"

namespace win::gdi {

HandleTable& Objects() {
    static HandleTable* table = new HandleTable;  // lives for the whole run
    return *table;
}

const std::vector<PALETTEENTRY>& DefaultPaletteEntries() {
    static const std::vector<PALETTEENTRY> entries = {
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
        {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
        {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
        {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
    };
    return entries;
}

namespace {

constexpr int kStockCount = 18;

struct Stock {
    uintptr_t handles[kStockCount] = {};
    uintptr_t bitmap = 0;  // the 1x1 monochrome bitmap of new memory DCs
};

template <class T>
uintptr_t AddStock(std::shared_ptr<T> obj, HandleKind kind) {
    obj->kind = kind;
    obj->stock = true;
    return Objects().Add(obj);
}

uintptr_t StockBrush(COLORREF c, UINT style = BS_SOLID) {
    auto b = std::make_shared<BrushObj>();
    b->style = style;
    b->color = c;
    return AddStock(b, HandleKind::Brush);
}

uintptr_t StockPen(COLORREF c, UINT style = PS_SOLID) {
    auto p = std::make_shared<PenObj>();
    p->style = style;
    p->width = 1;
    p->color = c;
    return AddStock(p, HandleKind::Pen);
}

uintptr_t StockFont(LONG height, LONG weight, const char* face) {
    auto f = std::make_shared<FontObj>();
    f->lf.lfHeight = height;
    f->lf.lfWeight = weight;
    f->lf.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(f->lf.lfFaceName, face, LF_FACESIZE - 1);
    return AddStock(f, HandleKind::Font);
}

const Stock& Stocks() {
    static Stock* stock = [] {
        auto* s = new Stock;
        s->handles[WHITE_BRUSH] = StockBrush(RGB(255, 255, 255));
        s->handles[LTGRAY_BRUSH] = StockBrush(RGB(192, 192, 192));
        s->handles[GRAY_BRUSH] = StockBrush(RGB(128, 128, 128));
        s->handles[DKGRAY_BRUSH] = StockBrush(RGB(64, 64, 64));
        s->handles[BLACK_BRUSH] = StockBrush(RGB(0, 0, 0));
        s->handles[NULL_BRUSH] = StockBrush(0, BS_NULL);
        s->handles[WHITE_PEN] = StockPen(RGB(255, 255, 255));
        s->handles[BLACK_PEN] = StockPen(RGB(0, 0, 0));
        s->handles[NULL_PEN] = StockPen(0, PS_NULL);
        s->handles[ANSI_VAR_FONT] = StockFont(12, FW_NORMAL, "MS Sans Serif");
        s->handles[SYSTEM_FONT] = StockFont(16, FW_BOLD, "System");
        s->handles[DEFAULT_GUI_FONT] = StockFont(-11, FW_NORMAL, "MS Shell Dlg");
        auto pal = std::make_shared<PaletteObj>();
        pal->entries = DefaultPaletteEntries();
        s->handles[DEFAULT_PALETTE] = AddStock(pal, HandleKind::Palette);
        auto bm = NewBitmap(1, 1, 1, false, false, false);
        bm->monoDdb = true;
        s->bitmap = AddStock(bm, HandleKind::Bitmap);
        return s;
    }();
    return *stock;
}

constexpr HandleKind kGdiKinds[] = {HandleKind::Bitmap, HandleKind::Region,  HandleKind::Pen, HandleKind::Brush,
                                    HandleKind::Font,   HandleKind::Palette, HandleKind::DC};

std::shared_ptr<HandleObject> FindAny(HGDIOBJ h) {
    for (HandleKind k : kGdiKinds) {
        if (auto obj = Objects().Get(HV(h), k)) return obj;
    }
    return nullptr;
}

void Retain(GdiObject* o) {
    if (o) o->selections.fetch_add(1);
}
void Release(GdiObject* o) {
    if (o) o->selections.fetch_sub(1);
}

// Bitmap ownership: a bitmap is selected in at most one memory DC (stock ones excepted).
bool TakeBitmap(BitmapObj* bm, uintptr_t dc) {
    if (!bm || bm->stock) return true;
    uintptr_t expected = 0;
    if (bm->ownerDc.compare_exchange_strong(expected, dc)) return true;
    return expected == dc;
}
void GiveBackBitmap(BitmapObj* bm, uintptr_t dc) {
    if (!bm || bm->stock) return;
    uintptr_t expected = dc;
    bm->ownerDc.compare_exchange_strong(expected, 0);
}

}  // namespace

uintptr_t StockHandle(int index) {
    if (index < 0 || index >= kStockCount) return 0;
    return Stocks().handles[index];
}
uintptr_t StockBitmapHandle() { return Stocks().bitmap; }

void InitDcState(DcState& st) {
    st = DcState();
    st.hpen = Stocks().handles[BLACK_PEN];
    st.pen = Objects().GetAs<PenObj>(st.hpen, HandleKind::Pen);
    st.hbrush = Stocks().handles[WHITE_BRUSH];
    st.brush = Objects().GetAs<BrushObj>(st.hbrush, HandleKind::Brush);
    st.hfont = Stocks().handles[SYSTEM_FONT];
    st.font = Objects().GetAs<FontObj>(st.hfont, HandleKind::Font);
    st.hpalette = Stocks().handles[DEFAULT_PALETTE];
    st.palette = Objects().GetAs<PaletteObj>(st.hpalette, HandleKind::Palette);
}

void ReplaceState(DcObj& dc, DcState next) {
    // Bitmap ownership is keyed by the DC object's address, unique while the DC lives.
    const uintptr_t self = reinterpret_cast<uintptr_t>(&dc);
    DcState& cur = dc.st;
    if (next.bitmap != cur.bitmap && dc.dcKind == DcKind::Memory) {
        if (TakeBitmap(next.bitmap.get(), self)) {
            GiveBackBitmap(cur.bitmap.get(), self);
        } else {
            next.bitmap = cur.bitmap;  // now selected elsewhere: keep the current one
            next.hbitmap = cur.hbitmap;
        }
    }
    if (next.pen != cur.pen) {
        Retain(next.pen.get());
        Release(cur.pen.get());
    }
    if (next.brush != cur.brush) {
        Retain(next.brush.get());
        Release(cur.brush.get());
    }
    if (next.font != cur.font) {
        Retain(next.font.get());
        Release(cur.font.get());
    }
    if (next.palette != cur.palette) {
        Retain(next.palette.get());
        Release(cur.palette.get());
    }
    dc.st = std::move(next);
    dc.InvalidateVisible();
}

// Releases everything a DC holds (before the DC goes away).
void ReleaseDcState(DcObj& dc) {
    if (dc.dcKind == DcKind::Memory) GiveBackBitmap(dc.st.bitmap.get(), reinterpret_cast<uintptr_t>(&dc));
    Release(dc.st.pen.get());
    Release(dc.st.brush.get());
    Release(dc.st.font.get());
    Release(dc.st.palette.get());
    dc.st = DcState();
    dc.saved.clear();
}

void RetainInitialState(DcObj& dc) {
    if (dc.dcKind == DcKind::Memory) TakeBitmap(dc.st.bitmap.get(), reinterpret_cast<uintptr_t>(&dc));
    Retain(dc.st.pen.get());
    Retain(dc.st.brush.get());
    Retain(dc.st.font.get());
    Retain(dc.st.palette.get());
}

}  // namespace win::gdi

namespace win {

using namespace gdi;

HGDIOBJ GetStockObject(int index) { return reinterpret_cast<HGDIOBJ>(StockHandle(index)); }

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
    auto dc = GetDc(hdc);
    if (!dc || !obj) return nullptr;
    uintptr_t h = HV(obj);
    DcState next = dc->st;
    uintptr_t previous = 0;
    if (auto bm = Objects().GetAs<BitmapObj>(h, HandleKind::Bitmap)) {
        if (dc->dcKind != DcKind::Memory) return nullptr;
        if (bm == dc->st.bitmap) return obj;
        uintptr_t owner = bm->ownerDc.load();
        if (!bm->stock && owner != 0 && owner != reinterpret_cast<uintptr_t>(dc.get())) return nullptr;
        previous = next.hbitmap;
        next.bitmap = bm;
        next.hbitmap = h;
    } else if (auto pen = Objects().GetAs<PenObj>(h, HandleKind::Pen)) {
        previous = next.hpen;
        next.pen = pen;
        next.hpen = h;
    } else if (auto brush = Objects().GetAs<BrushObj>(h, HandleKind::Brush)) {
        previous = next.hbrush;
        next.brush = brush;
        next.hbrush = h;
    } else if (auto font = Objects().GetAs<FontObj>(h, HandleKind::Font)) {
        previous = next.hfont;
        next.font = font;
        next.hfont = h;
    } else if (RegionOf(static_cast<HRGN>(obj))) {
        return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(obj))));
    } else {
        return nullptr;
    }
    ReplaceState(*dc, std::move(next));
    return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL DeleteObject(HGDIOBJ obj) {
    if (!obj) return FALSE;
    auto found = FindAny(obj);
    if (!found || found->kind == HandleKind::DC) {
        NoteInvalidHandle();
        return FALSE;
    }
    auto* g = static_cast<GdiObject*>(found.get());
    if (g->stock) return TRUE;
    if (g->selections.load() > 0) return FALSE;
    if (found->kind == HandleKind::Bitmap && static_cast<BitmapObj*>(g)->ownerDc.load() != 0) return FALSE;
    return Objects().Remove(HV(obj), found->kind) ? TRUE : FALSE;
}

DWORD GetObjectType(HGDIOBJ obj) {
    auto found = FindAny(obj);
    if (!found) return 0;
    switch (found->kind) {
        case HandleKind::Bitmap: return OBJ_BITMAP;
        case HandleKind::Region: return OBJ_REGION;
        case HandleKind::Pen: return static_cast<PenObj*>(found.get())->extended ? OBJ_EXTPEN : OBJ_PEN;
        case HandleKind::Brush: return OBJ_BRUSH;
        case HandleKind::Font: return OBJ_FONT;
        case HandleKind::Palette: return OBJ_PAL;
        case HandleKind::DC: return static_cast<DcObj*>(found.get())->dcKind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
        default: return 0;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    auto dc = GetDc(hdc);
    if (!dc) return nullptr;
    switch (type) {
        case OBJ_BITMAP: return reinterpret_cast<HGDIOBJ>(dc->st.hbitmap);
        case OBJ_PEN: return reinterpret_cast<HGDIOBJ>(dc->st.hpen);
        case OBJ_BRUSH: return reinterpret_cast<HGDIOBJ>(dc->st.hbrush);
        case OBJ_FONT: return reinterpret_cast<HGDIOBJ>(dc->st.hfont);
        case OBJ_PAL: return reinterpret_cast<HGDIOBJ>(dc->st.hpalette);
        default: return nullptr;
    }
}

int GetObjectA(HGDIOBJ obj, int size, void* buffer) {
    auto found = FindAny(obj);
    if (!found || size < 0) return 0;
    auto copyOut = [&](const void* src, int n) -> int {
        if (!buffer) return n;
        if (size < n) return 0;
        std::memcpy(buffer, src, static_cast<size_t>(n));
        return n;
    };
    switch (found->kind) {
        case HandleKind::Bitmap: {
            auto* bm = static_cast<BitmapObj*>(found.get());
            DIBSECTION ds;
            ds.dsBm.bmType = 0;
            ds.dsBm.bmWidth = bm->width;
            ds.dsBm.bmHeight = bm->height;
            ds.dsBm.bmWidthBytes = static_cast<LONG>(bm->stride);
            ds.dsBm.bmPlanes = 1;
            ds.dsBm.bmBitsPixel = static_cast<WORD>(bm->bpp);
            ds.dsBm.bmBits = bm->dib ? bm->bits : nullptr;
            if (!bm->dib || (buffer && size < static_cast<int>(sizeof(DIBSECTION)))) {
                return copyOut(&ds.dsBm, sizeof(BITMAP));
            }
            ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
            ds.dsBmih.biWidth = bm->width;
            ds.dsBmih.biHeight = bm->topDown ? -bm->height : bm->height;
            ds.dsBmih.biPlanes = 1;
            ds.dsBmih.biBitCount = static_cast<WORD>(bm->bpp);
            ds.dsBmih.biCompression = bm->compression;
            ds.dsBmih.biSizeImage = static_cast<DWORD>(bm->stride * bm->height);
            ds.dsBmih.biClrUsed = static_cast<DWORD>(bm->colors.size());
            for (int i = 0; i < 3; ++i) ds.dsBitfields[i] = bm->masks[i];
            return copyOut(&ds, sizeof(DIBSECTION));
        }
        case HandleKind::Pen: {
            auto* p = static_cast<PenObj*>(found.get());
            LOGPEN lp;
            lp.lopnStyle = p->style;
            lp.lopnWidth = {p->width, 0};
            lp.lopnColor = p->color;
            return copyOut(&lp, sizeof lp);
        }
        case HandleKind::Brush: {
            auto* b = static_cast<BrushObj*>(found.get());
            LOGBRUSH lb;
            lb.lbStyle = b->style;
            lb.lbColor = b->color;
            lb.lbHatch = b->style == BS_HATCHED   ? static_cast<ULONG_PTR>(b->hatch)
                         : b->style == BS_PATTERN ? reinterpret_cast<ULONG_PTR>(b->sourceBitmap)
                                                  : 0;
            return copyOut(&lb, sizeof lb);
        }
        case HandleKind::Font: {
            auto* f = static_cast<FontObj*>(found.get());
            return copyOut(&f->lf, sizeof(LOGFONTA));
        }
        case HandleKind::Palette: {
            WORD n = static_cast<WORD>(static_cast<PaletteObj*>(found.get())->entries.size());
            return copyOut(&n, sizeof n);
        }
        default: return 0;
    }
}

// ------------------------------------------------------------------ pens and brushes

namespace {

std::shared_ptr<PenObj> NewPen(UINT style, int width, COLORREF color) {
    auto p = std::make_shared<PenObj>();
    p->kind = HandleKind::Pen;
    p->style = style;
    p->width = std::max(width, 1);
    p->color = color;
    return p;
}

}  // namespace

HPEN CreatePen(int style, int width, COLORREF color) {
    UINT s = static_cast<UINT>(style) & PS_STYLE_MASK;
    if (s > PS_INSIDEFRAME) return nullptr;
    auto p = NewPen(s, width, color);
    // CreatePen makes cosmetic pens, whose dashes exist only one pixel wide: a wider dashed
    // pen draws solid (a wide dashed line takes a geometric pen of ExtCreatePen).
    if (p->width > 1 && s >= PS_DASH && s <= PS_DASHDOTDOT) p->style = PS_SOLID;
    return AsHandle<HPEN>(Objects().Add(p));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
    if (!pen) return nullptr;
    return CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles) {
    (void)styles;
    if (!brush || styleCount != 0) return nullptr;
    const UINT s = style & PS_STYLE_MASK;
    if (s > PS_INSIDEFRAME) return nullptr;
    // A cosmetic pen is one pixel wide; a geometric pen keeps its width and its dashes at
    // every width.
    const bool geometric = (style & PS_TYPE_MASK) == PS_GEOMETRIC;
    const int w = geometric ? static_cast<int>(std::min<DWORD>(width, 1u << 16)) : 1;
    auto p = NewPen(brush->lbStyle == BS_NULL ? PS_NULL : s, w, brush->lbStyle == BS_NULL ? 0 : brush->lbColor);
    p->extended = true;
    p->geometric = geometric;
    return AsHandle<HPEN>(Objects().Add(p));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto b = std::make_shared<BrushObj>();
    b->kind = HandleKind::Brush;
    b->style = BS_SOLID;
    b->color = color;
    return AsHandle<HBRUSH>(Objects().Add(b));
}

HBRUSH CreateHatchBrush(int style, COLORREF color) {
    if (style < HS_HORIZONTAL || style > HS_DIAGCROSS) return nullptr;
    auto b = std::make_shared<BrushObj>();
    b->kind = HandleKind::Brush;
    b->style = BS_HATCHED;
    b->color = color;
    b->hatch = style;
    return AsHandle<HBRUSH>(Objects().Add(b));
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
    auto bm = Objects().GetAs<BitmapObj>(HV(bitmap), HandleKind::Bitmap);
    if (!bm) return nullptr;
    auto b = std::make_shared<BrushObj>();
    b->kind = HandleKind::Brush;
    b->style = BS_PATTERN;
    b->sourceBitmap = bitmap;
    b->pw = bm->width;
    b->ph = bm->height;
    b->mono = bm->bpp == 1;
    std::vector<uint32_t> row(static_cast<size_t>(bm->width));
    for (int y = 0; y < bm->height; ++y) {
        ReadRaw(*bm, y, 0, bm->width, row.data());
        for (int x = 0; x < bm->width; ++x) {
            if (b->mono) {
                b->monoBits.push_back(static_cast<uint8_t>(row[static_cast<size_t>(x)] & 1));
            } else {
                b->pattern.push_back(RawToColor(*bm, row[static_cast<size_t>(x)]));
            }
        }
    }
    return AsHandle<HBRUSH>(Objects().Add(b));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (!brush) return nullptr;
    switch (brush->lbStyle) {
        case BS_SOLID: return CreateSolidBrush(brush->lbColor);
        case BS_NULL: return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        case BS_HATCHED: return CreateHatchBrush(static_cast<int>(brush->lbHatch), brush->lbColor);
        case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush->lbHatch));
        default: return nullptr;
    }
}

// ------------------------------------------------------------------ palettes

HPALETTE CreatePalette(const LOGPALETTE* palette) {
    if (!palette || palette->palNumEntries < 1 || palette->palNumEntries > 256) return nullptr;
    auto p = std::make_shared<PaletteObj>();
    p->kind = HandleKind::Palette;
    p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return AsHandle<HPALETTE>(Objects().Add(p));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL forceBackground) {
    (void)forceBackground;
    auto dc = GetDc(hdc);
    auto pal = Objects().GetAs<PaletteObj>(HV(palette), HandleKind::Palette);
    if (!dc || !pal) return nullptr;
    DcState next = dc->st;
    uintptr_t previous = next.hpalette;
    next.palette = pal;
    next.hpalette = HV(palette);
    ReplaceState(*dc, std::move(next));
    return AsHandle<HPALETTE>(previous);
}

UINT RealizePalette(HDC hdc) {
    (void)hdc;
    return 0;  // a 32-bit display has no hardware palette to map into
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
    auto pal = Objects().GetAs<PaletteObj>(HV(palette), HandleKind::Palette);
    if (!pal) return 0;
    UINT n = static_cast<UINT>(pal->entries.size());
    if (!entries) return n;
    if (start >= n) return 0;
    UINT copied = std::min(count, n - start);
    std::copy_n(pal->entries.begin() + start, copied, entries);
    return copied;
}

UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries) {
    auto pal = Objects().GetAs<PaletteObj>(HV(palette), HandleKind::Palette);
    if (!pal || !entries || pal->stock) return 0;
    UINT n = static_cast<UINT>(pal->entries.size());
    if (start >= n) return 0;
    UINT copied = std::min(count, n - start);
    std::copy_n(entries, copied, pal->entries.begin() + start);
    return copied;
}

UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color) {
    auto pal = Objects().GetAs<PaletteObj>(HV(palette), HandleKind::Palette);
    if (!pal || pal->entries.empty()) return CLR_INVALID;
    UINT best = 0;
    long bestD = -1;
    for (size_t i = 0; i < pal->entries.size(); ++i) {
        const auto& e = pal->entries[i];
        long dr = e.peRed - GetRValue(color), dg = e.peGreen - GetGValue(color), db = e.peBlue - GetBValue(color);
        long d = dr * dr + dg * dg + db * db;
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = static_cast<UINT>(i);
        }
    }
    return best;
}

UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries) {
    (void)hdc;
    const auto& sys = DefaultPaletteEntries();
    UINT n = static_cast<UINT>(sys.size());
    if (!entries) return n;
    if (start >= n) return 0;
    UINT copied = std::min(count, n - start);
    std::copy_n(sys.begin() + start, copied, entries);
    return copied;
}

}  // namespace win
