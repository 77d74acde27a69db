// TBitmap: a bottom-up DIB section of the platform's GDI with its colour table, pixel
// format conversions, BMP reading and writing, and drawing (plain and transparent).
#include <algorithm>
#include <cstring>

#include "classlib/Graphics.h"
#include "platform/kernel.h"

namespace cl {

using win::BYTE;
using win::RGBQUAD;

struct TBitmap::Image {
    win::HBITMAP handle = nullptr;
    uint8_t* bits = nullptr;
    int width = 0, height = 0, stride = 0;
    TPixelFormat format = pfDevice;
    std::vector<RGBQUAD> table;

    Image() = default;
    Image(Image&& o) noexcept { *this = std::move(o); }
    Image& operator=(Image&& o) noexcept {
        std::swap(handle, o.handle);
        std::swap(bits, o.bits);
        std::swap(width, o.width);
        std::swap(height, o.height);
        std::swap(stride, o.stride);
        std::swap(format, o.format);
        std::swap(table, o.table);
        return *this;
    }
    ~Image() {
        if (handle) win::DeleteObject(handle);
    }
    // Row y counted from the top (the block is bottom-up).
    uint8_t* Row(int y) const { return bits + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride); }
};

namespace {

constexpr int64_t kMaxImageBytes = int64_t{1} << 31;  // the GDI's cap for one DIB section
// RLE data can describe large pictures with few bytes; their size is capped lower.
constexpr int64_t kMaxRlePixels = int64_t{1} << 28;

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic("Bitmap image is not valid"); }

int BitsOf(TPixelFormat pf) {
    switch (pf) {
        case pf1bit: return 1;
        case pf4bit: return 4;
        case pf8bit: return 8;
        case pf15bit:
        case pf16bit: return 16;
        case pf24bit: return 24;
        case pfDevice:
        case pf32bit: return 32;
        default: return 0;
    }
}

bool Indexed(TPixelFormat pf) { return pf == pf1bit || pf == pf4bit || pf == pf8bit; }

int64_t StrideOf(int64_t width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

RGBQUAD Quad(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

// Default colour tables: black and white; the 16 standard colours; a 6x6x6 colour cube
// followed by 40 greys between the cube's levels.
std::vector<RGBQUAD> DefaultTable(TPixelFormat pf) {
    std::vector<RGBQUAD> t;
    if (pf == pf1bit) {
        t = {Quad(0, 0, 0), Quad(255, 255, 255)};
    } else if (pf == pf4bit) {
        static const BYTE vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                        {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (auto& c : vga) t.push_back(Quad(c[0], c[1], c[2]));
    } else if (pf == pf8bit) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    t.push_back(Quad(static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51)));
        // 40 greys: the levels of a 0..255 ramp in 48 steps that are not cube levels.
        for (int i = 1; t.size() < 256; ++i) {
            int v = (i * 255 + 24) / 48;
            if (v % 51 == 0) continue;
            t.push_back(Quad(static_cast<BYTE>(v), static_cast<BYTE>(v), static_cast<BYTE>(v)));
        }
    }
    return t;
}

int NearestIndex(const std::vector<RGBQUAD>& table, uint32_t rgb) {
    int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    int best = 0;
    int bestD = 1 << 30;
    for (size_t i = 0; i < table.size(); ++i) {
        int dr = table[i].rgbRed - r, dg = table[i].rgbGreen - g, db = table[i].rgbBlue - b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestD) {
            bestD = d;
            best = static_cast<int>(i);
            if (d == 0) break;
        }
    }
    return best;
}

int GetIndex(const uint8_t* row, int x, int bpp) {
    switch (bpp) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        default: return row[x];
    }
}

void SetIndex(uint8_t* row, int x, int bpp, int v) {
    switch (bpp) {
        case 1: {
            uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] = static_cast<uint8_t>(v & 1 ? (row[x >> 3] | m) : (row[x >> 3] & ~m));
            break;
        }
        case 4:
            if (x & 1)
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F));
            else
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
            break;
        default: row[x] = static_cast<uint8_t>(v);
    }
}

uint8_t Expand5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t Expand6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

// The colour (0x00BBGGRR) of pixel x of a row.
uint32_t ReadColor(TPixelFormat pf, const std::vector<RGBQUAD>& table, const uint8_t* row, int x) {
    switch (pf) {
        case pf1bit:
        case pf4bit:
        case pf8bit: {
            size_t i = static_cast<size_t>(GetIndex(row, x, BitsOf(pf)));
            if (i >= table.size()) return 0;
            return win::RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue);
        }
        case pf15bit: {
            unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            return win::RGB(Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
        }
        case pf16bit: {
            unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            return win::RGB(Expand5((v >> 11) & 31), Expand6((v >> 5) & 63), Expand5(v & 31));
        }
        case pf24bit: return win::RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        default: return win::RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

void WriteColor(TPixelFormat pf, const std::vector<RGBQUAD>& table, uint8_t* row, int x, uint32_t c) {
    unsigned r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    switch (pf) {
        case pf1bit:
        case pf4bit:
        case pf8bit: SetIndex(row, x, BitsOf(pf), NearestIndex(table, c)); break;
        case pf15bit: {
            unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case pf16bit: {
            unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case pf24bit:
            row[3 * x] = static_cast<uint8_t>(b);
            row[3 * x + 1] = static_cast<uint8_t>(g);
            row[3 * x + 2] = static_cast<uint8_t>(r);
            break;
        default:
            row[4 * x] = static_cast<uint8_t>(b);
            row[4 * x + 1] = static_cast<uint8_t>(g);
            row[4 * x + 2] = static_cast<uint8_t>(r);
            row[4 * x + 3] = 0;
    }
}

}  // namespace

// Creates the pixels of an image (all zero) of the given size and format.
struct BitmapImage {
    static void Make(TBitmap::Image& img, int width, int height, TPixelFormat pf, std::vector<RGBQUAD> table) {
        img = TBitmap::Image();
        if (pf == pfCustom) throw EInvalidGraphic("Invalid pixel format");
        img.format = pf;
        if (Indexed(pf)) {
            if (table.empty()) table = DefaultTable(pf);
            size_t cap = size_t{1} << BitsOf(pf);
            if (table.size() > cap) table.resize(cap);
            img.table = std::move(table);
        }
        if (width <= 0 || height <= 0) return;
        int bpp = BitsOf(pf);
        int64_t stride = StrideOf(width, bpp);
        if (stride * height > kMaxImageBytes) throw EOutOfMemory("Out of system resources");
        struct {
            win::BITMAPINFOHEADER h;
            RGBQUAD colors[256];
        } info{};
        info.h.biSize = sizeof(win::BITMAPINFOHEADER);
        info.h.biWidth = width;
        info.h.biHeight = height;  // bottom-up
        info.h.biPlanes = 1;
        info.h.biBitCount = static_cast<win::WORD>(bpp);
        info.h.biCompression = win::BI_RGB;
        if (pf == pf16bit) {
            info.h.biCompression = win::BI_BITFIELDS;
            const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
            std::memcpy(info.colors, masks, sizeof masks);
        }
        if (Indexed(pf)) {
            info.h.biClrUsed = static_cast<win::DWORD>(img.table.size());
            std::copy(img.table.begin(), img.table.end(), info.colors);
        }
        void* bits = nullptr;
        img.handle = win::CreateDIBSection(nullptr, reinterpret_cast<const win::BITMAPINFO*>(&info),
                                           win::DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!img.handle || !bits) {
            img.handle = nullptr;
            throw EOutOfMemory("Out of system resources");
        }
        img.bits = static_cast<uint8_t*>(bits);
        img.width = width;
        img.height = height;
        img.stride = static_cast<int>(stride);
    }

    // Fills with white (the nearest entry on indexed formats).
    static void FillWhite(TBitmap::Image& img) {
        if (!img.bits) return;
        if (!Indexed(img.format)) {
            // One white row (the fourth byte of 32-bit pixels and the top bit of 15-bit ones
            // stay 0), copied into every row.
            const size_t stride = static_cast<size_t>(img.stride);
            std::vector<uint8_t> row(stride, 0xFF);
            if (img.format == pf15bit)
                for (int x = 0; x < img.width; ++x) row[2 * static_cast<size_t>(x) + 1] = 0x7F;
            if (img.format == pf32bit || img.format == pfDevice)
                for (int x = 0; x < img.width; ++x) row[4 * static_cast<size_t>(x) + 3] = 0;
            for (int y = 0; y < img.height; ++y) std::memcpy(img.Row(y), row.data(), stride);
            return;
        }
        int idx = NearestIndex(img.table, 0xFFFFFF);
        int bpp = BitsOf(img.format);
        uint8_t byte = bpp == 8   ? static_cast<uint8_t>(idx)
                       : bpp == 4 ? static_cast<uint8_t>(idx * 0x11)
                                  : static_cast<uint8_t>(idx ? 0xFF : 0);
        std::memset(img.bits, byte, static_cast<size_t>(img.stride) * static_cast<size_t>(img.height));
    }

    // Copies the overlapping top-left pixels of src into dst (any formats).
    static void CopyPixels(TBitmap::Image& dst, const TBitmap::Image& src) {
        int w = std::min(dst.width, src.width), h = std::min(dst.height, src.height);
        if (w <= 0 || h <= 0) return;
        bool sameIndices =
            Indexed(src.format) && Indexed(dst.format) && BitsOf(dst.format) >= BitsOf(src.format) &&
            dst.table.size() >= src.table.size() &&
            std::equal(src.table.begin(), src.table.end(), dst.table.begin(), [](const RGBQUAD& a, const RGBQUAD& b) {
                return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
            });
        bool sameLayout = BitsOf(src.format) == BitsOf(dst.format) && src.format == dst.format;
        bool devicePair = BitsOf(src.format) == 32 && BitsOf(dst.format) == 32;
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src.Row(y);
            uint8_t* d = dst.Row(y);
            if ((sameLayout || devicePair) && BitsOf(src.format) >= 8) {
                std::memcpy(d, s, static_cast<size_t>(w) * static_cast<size_t>(BitsOf(src.format) / 8));
            } else if (sameIndices) {
                int sb = BitsOf(src.format), db = BitsOf(dst.format);
                for (int x = 0; x < w; ++x) SetIndex(d, x, db, GetIndex(s, x, sb));
            } else {
                for (int x = 0; x < w; ++x)
                    WriteColor(dst.format, dst.table, d, x, ReadColor(src.format, src.table, s, x));
            }
        }
    }
};

// ---------------------------------------------------------------------------------------

int PixelFormatBits(TPixelFormat pf) { return pf == pfCustom ? 0 : BitsOf(pf); }

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    FCanvas.reset();
    if (FHandle) win::DeleteObject(FHandle);
    if (FPalette) win::DeleteObject(FPalette);
}

TCanvas* TBitmap::GetCanvas() {
    if (!FCanvas) {
        FCanvas = std::make_unique<TBitmapCanvas>(this);
        FCanvas->OnChange = [this](TObject*) { Changed(); };
    }
    return FCanvas.get();
}

void TBitmap::Changed() { TGraphic::Changed(); }

void TBitmap::Install(Image&& img) {
    if (FPalette) {
        win::DeleteObject(FPalette);
        FPalette = nullptr;
    }
    win::HBITMAP old = FHandle;
    if (FCanvas) FCanvas->FreeContext();
    FHandle = img.handle;
    FBits = img.bits;
    FWidth = img.width;
    FHeight = img.height;
    FStride = img.stride;
    FFormat = img.format;
    FTable = std::move(img.table);
    img.handle = nullptr;
    img.bits = nullptr;
    if (old) win::DeleteObject(old);
}

void TBitmap::SetSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == FWidth && height == FHeight) return;
    Image img;
    BitmapImage::Make(img, width, height, FFormat, FTable);
    BitmapImage::FillWhite(img);
    if (FBits) {
        Image cur;
        cur.bits = FBits;
        cur.width = FWidth;
        cur.height = FHeight;
        cur.stride = FStride;
        cur.format = FFormat;
        cur.table = FTable;
        BitmapImage::CopyPixels(img, cur);
        cur.bits = nullptr;
    }
    Install(std::move(img));
    Changed();
}

void TBitmap::NewUnfilled(int width, int height) {
    Image img;
    BitmapImage::Make(img, std::max(width, 0), std::max(height, 0), FFormat, FTable);
    Install(std::move(img));
    Changed();
}

TPixelFormat TBitmap::GetPixelFormat() const { return FHandleType == bmDDB ? pfDevice : FFormat; }

void TBitmap::SetPixelFormat(TPixelFormat pf) {
    if (pf == pfCustom) throw EInvalidGraphic("Invalid pixel format");
    if (pf == GetPixelFormat()) return;
    if (BitsOf(pf) == 32 && BitsOf(FFormat) == 32) {
        // Device and 32-bit DIB share the layout.
        FFormat = pf == pfDevice ? pfDevice : pf32bit;
        FHandleType = pf == pfDevice ? bmDDB : bmDIB;
        Changed();
        return;
    }
    std::vector<RGBQUAD> table;
    if (Indexed(pf)) {
        if (Indexed(FFormat) && BitsOf(pf) >= BitsOf(FFormat))
            table = FTable;  // indices stay
        else if (pf == pf8bit && !FCustomTable.empty())
            table = FCustomTable;
        else
            table = DefaultTable(pf);
    }
    Image img;
    BitmapImage::Make(img, FWidth, FHeight, pf, std::move(table));
    if (FBits) {
        Image cur;
        cur.bits = FBits;
        cur.width = FWidth;
        cur.height = FHeight;
        cur.stride = FStride;
        cur.format = FFormat;
        cur.table = FTable;
        BitmapImage::CopyPixels(img, cur);
        cur.bits = nullptr;
    }
    Install(std::move(img));
    FHandleType = pf == pfDevice ? bmDDB : bmDIB;
    Changed();
}

void TBitmap::SetHandleType(TBitmapHandleType t) {
    if (t == FHandleType) return;
    if (t == bmDDB) {
        SetPixelFormat(pfDevice);
    } else {
        FHandleType = bmDIB;
        if (FFormat == pfDevice) FFormat = pf32bit;
        Changed();
    }
}

bool TBitmap::GetMonochrome() const {
    if (FFormat != pf1bit || FTable.size() != 2) return false;
    auto rgb = [](const RGBQUAD& q) { return win::RGB(q.rgbRed, q.rgbGreen, q.rgbBlue); };
    return rgb(FTable[0]) == 0 && rgb(FTable[1]) == 0xFFFFFF;
}

void TBitmap::SetMonochrome(bool v) {
    if (v == GetMonochrome()) return;
    if (v) {
        if (FFormat == pf1bit)
            SetColorTable(DefaultTable(pf1bit));
        else
            SetPixelFormat(pf1bit);
    } else {
        SetPixelFormat(pfDevice);
    }
}

void* TBitmap::ScanLine(int row) {
    if (row < 0 || row >= FHeight || !FBits) throw EInvalidGraphicOperation("Scan line index out of range");
    if (FHandleType == bmDDB) {
        FHandleType = bmDIB;
        FFormat = pf32bit;
    }
    return FBits + static_cast<size_t>(FHeight - 1 - row) * static_cast<size_t>(FStride);
}

void TBitmap::SetColorTable(const std::vector<RGBQUAD>& table) {
    if (!Indexed(FFormat) || table.empty()) return;
    size_t cap = size_t{1} << BitsOf(FFormat);
    FTable = table;
    if (FTable.size() > cap) FTable.resize(cap);
    if (FHandle) {
        win::HDC dc = FCanvas && FCanvas->HandleAllocated() ? FCanvas->GetHandle() : nullptr;
        bool own = dc == nullptr;
        win::HGDIOBJ old = nullptr;
        if (own) {
            dc = win::CreateCompatibleDC(nullptr);
            old = win::SelectObject(dc, FHandle);
        }
        win::SetDIBColorTable(dc, 0, static_cast<win::UINT>(FTable.size()), FTable.data());
        if (own) {
            win::SelectObject(dc, old);
            win::DeleteDC(dc);
        }
    }
    if (FPalette) {
        win::DeleteObject(FPalette);
        FPalette = nullptr;
    }
    Changed();
}

win::HPALETTE TBitmap::GetPalette() {
    if (!Indexed(FFormat) || FTable.empty()) return nullptr;
    if (!FPalette) {
        std::vector<uint8_t> buf(sizeof(win::LOGPALETTE) + FTable.size() * sizeof(win::PALETTEENTRY));
        auto* lp = reinterpret_cast<win::LOGPALETTE*>(buf.data());
        lp->palVersion = 0x300;
        lp->palNumEntries = static_cast<win::WORD>(FTable.size());
        for (size_t i = 0; i < FTable.size(); ++i)
            lp->palPalEntry[i] = win::PALETTEENTRY{FTable[i].rgbRed, FTable[i].rgbGreen, FTable[i].rgbBlue, 0};
        FPalette = win::CreatePalette(lp);
    }
    return FPalette;
}

void TBitmap::SetPalette(win::HPALETTE v) {
    if (!v) return;
    win::PALETTEENTRY entries[256];
    win::UINT n = win::GetPaletteEntries(v, 0, 256, entries);
    if (n == 0) return;
    std::vector<RGBQUAD> table;
    for (win::UINT i = 0; i < n; ++i) table.push_back(Quad(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
    FCustomTable = table;
    if (Indexed(FFormat)) SetColorTable(table);
}

TColor TBitmap::PixelColorRGB(int x, int y) const {
    const uint8_t* row = FBits + static_cast<size_t>(FHeight - 1 - y) * static_cast<size_t>(FStride);
    return static_cast<TColor>(ReadColor(FFormat, FTable, row, x));
}

TColor TBitmap::GetTransparentColor() const {
    if (FTransparentColor != clDefault) return FTransparentColor;
    if (GetMonochrome()) return clWhite;
    if (!FBits) return clDefault;
    return PixelColorRGB(0, FHeight - 1);
}

void TBitmap::SetTransparentColor(TColor c) {
    if (c == FTransparentColor) return;
    FTransparentColor = c;
    FTransparentMode = c == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode m) {
    if (m == FTransparentMode) return;
    if (m == tmAuto)
        SetTransparentColor(clDefault);
    else
        SetTransparentColor(GetTransparentColor());
}

win::HBITMAP TBitmap::GetHandle() { return FHandle; }

win::HBITMAP TBitmap::ReleaseHandle() {
    if (FCanvas) FCanvas->FreeContext();
    win::HBITMAP h = FHandle;
    FHandle = nullptr;
    FBits = nullptr;
    FWidth = FHeight = FStride = 0;
    return h;
}

void TBitmap::Assign(TPersistent* Source) {
    if (!Source) {
        Image img;
        BitmapImage::Make(img, 0, 0, FFormat == pfCustom ? pfDevice : FFormat, FTable);
        Install(std::move(img));
        Changed();
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(Source)) {
        if (b == this) return;
        Image img;
        BitmapImage::Make(img, b->FWidth, b->FHeight, b->FFormat, b->FTable);
        if (b->FBits)
            std::memcpy(img.bits, b->FBits, static_cast<size_t>(b->FStride) * static_cast<size_t>(b->FHeight));
        Install(std::move(img));
        FTable = b->FTable;
        FHandleType = b->FHandleType;
        FCustomTable = b->FCustomTable;
        FTransparent = b->FTransparent;
        FTransparentColor = b->FTransparentColor;
        FTransparentMode = b->FTransparentMode;
        Changed();
        return;
    }
    TGraphic::Assign(Source);
}

void TBitmap::Draw(TCanvas* canvas, const TRect& rect) {
    if (!canvas || GetEmpty()) return;
    if (GetTransparent()) {
        DrawTransparent(canvas, rect);
        return;
    }
    canvas->Lock();
    TCanvas* own = GetCanvas();
    own->Lock();
    try {
        win::HDC dst = canvas->GetHandle();
        win::HDC src = own->GetHandle();
        bool mono = GetMonochrome();
        int oldMode = win::SetStretchBltMode(dst, mono ? win::BLACKONWHITE : win::COLORONCOLOR);
        win::COLORREF oldText = 0, oldBk = 0;
        if (mono) {
            oldText = win::SetTextColor(dst, 0);
            oldBk = win::SetBkColor(dst, 0xFFFFFF);
        }
        win::StretchBlt(dst, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, src, 0, 0, FWidth,
                        FHeight, canvas->GetCopyMode());
        if (mono) {
            win::SetTextColor(dst, oldText);
            win::SetBkColor(dst, oldBk);
        }
        win::SetStretchBltMode(dst, oldMode);
    } catch (...) {
        own->Unlock();
        canvas->Unlock();
        throw;
    }
    own->Unlock();
    canvas->Unlock();
}

// Copies only the pixels whose colour differs from TransparentColor: the visible part of
// the destination area is read into a 32-bit buffer, the opaque pixels are put there
// (nearest sample, mirrored extents like StretchBlt) and the buffer goes back.
void TBitmap::DrawTransparent(TCanvas* canvas, const TRect& rect) {
    int x0 = std::min(rect.left, rect.right), x1 = std::max(rect.left, rect.right);
    int y0 = std::min(rect.top, rect.bottom), y1 = std::max(rect.top, rect.bottom);
    int dw = x1 - x0, dh = y1 - y0;
    if (dw <= 0 || dh <= 0) return;
    bool mirrorX = rect.right < rect.left, mirrorY = rect.bottom < rect.top;
    uint32_t tc = static_cast<uint32_t>(ColorToRGB(GetTransparentColor())) & 0xFFFFFF;

    Image tmp;
    canvas->Lock();
    win::HDC mem = nullptr;
    win::HGDIOBJ old = nullptr;
    try {
        TRect clip = canvas->GetClipRect();
        int cx0 = std::max(x0, static_cast<int>(clip.left)), cx1 = std::min(x1, static_cast<int>(clip.right));
        int cy0 = std::max(y0, static_cast<int>(clip.top)), cy1 = std::min(y1, static_cast<int>(clip.bottom));
        if (cx0 < cx1 && cy0 < cy1) {
            BitmapImage::Make(tmp, cx1 - cx0, cy1 - cy0, pf32bit, {});
            mem = win::CreateCompatibleDC(nullptr);
            old = win::SelectObject(mem, tmp.handle);
            win::HDC dst = canvas->GetHandle();
            win::BitBlt(mem, 0, 0, cx1 - cx0, cy1 - cy0, dst, cx0, cy0, win::SRCCOPY);
            for (int y = cy0; y < cy1; ++y) {
                int j = y - y0, jj = mirrorY ? dh - 1 - j : j;
                int sy =
                    static_cast<int>((2 * static_cast<int64_t>(jj) + 1) * FHeight / (2 * static_cast<int64_t>(dh)));
                uint8_t* drow = tmp.Row(y - cy0);
                for (int x = cx0; x < cx1; ++x) {
                    int i = x - x0, ii = mirrorX ? dw - 1 - i : i;
                    int sx =
                        static_cast<int>((2 * static_cast<int64_t>(ii) + 1) * FWidth / (2 * static_cast<int64_t>(dw)));
                    uint32_t c = static_cast<uint32_t>(PixelColorRGB(sx, sy));
                    if (c == tc) continue;
                    uint8_t* p = drow + 4 * (x - cx0);
                    p[0] = static_cast<uint8_t>(c >> 16);
                    p[1] = static_cast<uint8_t>(c >> 8);
                    p[2] = static_cast<uint8_t>(c);
                }
            }
            win::BitBlt(dst, cx0, cy0, cx1 - cx0, cy1 - cy0, mem, 0, 0, win::SRCCOPY);
            win::SelectObject(mem, old);
            win::DeleteDC(mem);
            mem = nullptr;
        }
    } catch (...) {
        if (mem) {
            win::SelectObject(mem, old);
            win::DeleteDC(mem);
        }
        canvas->Unlock();
        throw;
    }
    canvas->Unlock();
}

// ---------------------------------------------------------------------------------------

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::CreateHandle() {
    if (FDc) return;
    FDc = win::CreateCompatibleDC(nullptr);
    if (!FDc) return;
    if (FBitmap->FHandle) FOldBitmap = win::SelectObject(FDc, FBitmap->FHandle);
    SetHandle(FDc);
}

void TBitmapCanvas::FreeContext() {
    if (!FDc) return;
    SetHandle(nullptr);
    if (FOldBitmap) win::SelectObject(FDc, FOldBitmap);
    FOldBitmap = nullptr;
    win::DeleteDC(FDc);
    FDc = nullptr;
}

// ---------------------------------------------------------------------------------------
// BMP files.

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

void ReadExact(TStream* s, void* buf, int64_t n) {
    if (s->Read(buf, n) != n) InvalidBitmap();
}

struct MaskField {
    int shift = 0, bits = 0;
    explicit MaskField(uint32_t mask) {
        if (!mask) return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
    }
    uint8_t Get(uint32_t v) const {
        if (!bits) return 0;
        uint32_t x = (v >> shift) & ((bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1));
        if (bits >= 8) return static_cast<uint8_t>(x >> (bits - 8));
        uint32_t max = (1u << bits) - 1;
        return static_cast<uint8_t>((x * 255 + max / 2) / max);
    }
};

// Decodes RLE8/RLE4 data into an indexed image (rows counted from the bottom).
void DecodeRle(uint8_t* bits, int width, int height, int stride, const uint8_t* data, size_t size, bool rle4) {
    int x = 0, y = 0;  // y counted from the bottom row, which comes first in memory
    size_t p = 0;
    int bpp = rle4 ? 4 : 8;
    auto put = [&](int v) {
        if (x < width && y < height) SetIndex(bits + static_cast<size_t>(y) * static_cast<size_t>(stride), x, bpp, v);
        if (x < width) ++x;  // pixels past the end of a row are dropped
    };
    while (true) {
        if (y >= height) return;
        if (p + 2 > size) InvalidBitmap();
        int count = data[p], value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) put(rle4 ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta
            if (p + 2 > size) InvalidBitmap();
            x = std::min(x + data[p], width);
            y += data[p + 1];  // at most 255 per step; the loop ends once y reaches the height
            p += 2;
        } else {  // absolute run
            size_t bytes = rle4 ? (static_cast<size_t>(value) + 1) / 2 : static_cast<size_t>(value);
            if (p + bytes > size) InvalidBitmap();
            for (int i = 0; i < value; ++i)
                put(rle4 ? ((i & 1) ? (data[p + i / 2] & 0x0F) : (data[p + i / 2] >> 4)) : data[p + i]);
            p += (bytes + 1) & ~size_t{1};
        }
    }
}

}  // namespace

void TBitmap::LoadFromStream(TStream* stream) {
    int64_t start = stream->GetPosition();
    int64_t avail = stream->GetSize() - start;
    if (avail <= 0) {
        Assign(nullptr);
        return;
    }
    uint8_t fh[14];
    ReadExact(stream, fh, 14);
    if (fh[0] != 'B' || fh[1] != 'M') InvalidBitmap();
    uint32_t offBits = U32(fh + 10);
    uint8_t ih[124] = {};
    ReadExact(stream, ih, 4);
    uint32_t hsize = U32(ih);
    if (hsize != 12 && hsize != 40 && hsize != 52 && hsize != 56 && hsize != 108 && hsize != 124) InvalidBitmap();
    ReadExact(stream, ih + 4, hsize - 4);
    int64_t width, height;
    int bpp;
    uint32_t compression = win::BI_RGB, clrUsed = 0;
    uint32_t masks[3] = {0, 0, 0};
    if (hsize == 12) {
        width = U16(ih + 4);
        height = U16(ih + 6);
        bpp = U16(ih + 10);
    } else {
        width = static_cast<int32_t>(U32(ih + 4));
        height = static_cast<int32_t>(U32(ih + 8));
        bpp = U16(ih + 14);
        compression = U32(ih + 16);
        clrUsed = U32(ih + 32);
        if (hsize >= 52) {
            masks[0] = U32(ih + 40);
            masks[1] = U32(ih + 44);
            masks[2] = U32(ih + 48);
        }
    }
    bool topDown = height < 0;
    height = topDown ? -height : height;
    if (width <= 0 || height <= 0 || height > 0x7FFFFFFF || width > 0x7FFFFFFF) InvalidBitmap();
    bool rle = compression == win::BI_RLE8 || compression == win::BI_RLE4;
    switch (compression) {
        case win::BI_RGB:
            if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) InvalidBitmap();
            break;
        case win::BI_RLE8:
            if (bpp != 8 || topDown) InvalidBitmap();
            break;
        case win::BI_RLE4:
            if (bpp != 4 || topDown) InvalidBitmap();
            break;
        case win::BI_BITFIELDS:
            if (bpp != 16 && bpp != 32) InvalidBitmap();
            if (hsize == 40) {
                uint8_t m[12];
                ReadExact(stream, m, 12);
                masks[0] = U32(m);
                masks[1] = U32(m + 4);
                masks[2] = U32(m + 8);
            }
            break;
        default: InvalidBitmap();
    }
    // Colour table.
    std::vector<RGBQUAD> table;
    if (bpp <= 8) {
        uint32_t n = clrUsed ? clrUsed : (1u << bpp);
        if (n > (1u << bpp)) InvalidBitmap();
        int entry = hsize == 12 ? 3 : 4;
        std::vector<uint8_t> raw(static_cast<size_t>(n) * entry);
        ReadExact(stream, raw.data(), static_cast<int64_t>(raw.size()));
        for (uint32_t i = 0; i < n; ++i) table.push_back(Quad(raw[i * entry + 2], raw[i * entry + 1], raw[i * entry]));
    }
    int64_t headerEnd = stream->GetPosition() - start;
    int64_t dataStart = offBits ? static_cast<int64_t>(offBits) : headerEnd;
    if (dataStart < 14 + static_cast<int64_t>(hsize) || dataStart > avail) InvalidBitmap();

    int64_t stride = StrideOf(width, bpp);
    int64_t need;
    if (rle) {
        if (width * height > kMaxRlePixels) InvalidBitmap();
        uint32_t sizeImage = hsize == 12 ? 0 : U32(ih + 20);
        need = avail - dataStart;
        if (sizeImage && sizeImage < need) need = sizeImage;
    } else {
        if (stride > kMaxImageBytes / height) InvalidBitmap();
        need = stride * height;
        if (need > kMaxImageBytes || need > avail - dataStart) InvalidBitmap();
    }
    std::vector<uint8_t> data(static_cast<size_t>(need));
    stream->Seek(start + dataStart, soBeginning);
    ReadExact(stream, data.data(), need);

    // The result's format.
    TPixelFormat pf;
    bool generic16or32 = false;
    switch (bpp) {
        case 1: pf = pf1bit; break;
        case 4: pf = pf4bit; break;
        case 8: pf = pf8bit; break;
        case 16:
            if (compression == win::BI_RGB || (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)) {
                pf = pf15bit;
            } else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
                pf = pf16bit;
            } else {
                pf = pf24bit;
                generic16or32 = true;
            }
            break;
        case 24: pf = pf24bit; break;
        default:
            pf = pf32bit;
            generic16or32 =
                compression == win::BI_BITFIELDS && !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
    }
    if (table.empty() && Indexed(pf)) table.push_back(Quad(0, 0, 0));
    Image img;
    try {
        BitmapImage::Make(img, static_cast<int>(width), static_cast<int>(height), pf, table);
    } catch (const EOutOfMemory&) {
        InvalidBitmap();
    }
    if (rle) {
        DecodeRle(img.bits, img.width, img.height, img.stride, data.data(), data.size(), compression == win::BI_RLE4);
    } else {
        for (int64_t i = 0; i < height; ++i) {
            const uint8_t* src = data.data() + i * stride;
            int y = static_cast<int>(topDown ? i : height - 1 - i);  // row counted from the top
            uint8_t* dst = img.Row(y);
            if (!generic16or32) {
                std::memcpy(dst, src, static_cast<size_t>(stride));
                continue;
            }
            MaskField r(masks[0]), g(masks[1]), b(masks[2]);
            for (int64_t x = 0; x < width; ++x) {
                uint32_t v = bpp == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
                WriteColor(pf, img.table, dst, static_cast<int>(x), win::RGB(r.Get(v), g.Get(v), b.Get(v)));
            }
        }
    }
    stream->Seek(start + dataStart + need, soBeginning);
    Install(std::move(img));
    FHandleType = bmDIB;
    if (pf == pf8bit) FCustomTable = FTable;
    Changed();
}

namespace {

// A BMP file around a packed DIB (the layout of RT_BITMAP resources and CF_DIB).
std::vector<uint8_t> FileFromPackedDib(const uint8_t* p, size_t size) {
    if (size >= 2 && p[0] == 'B' && p[1] == 'M') return std::vector<uint8_t>(p, p + size);
    if (size < 12) InvalidBitmap();
    uint32_t hsize = U32(p);
    if (hsize < 12 || hsize > size) InvalidBitmap();
    uint64_t table = 0;
    if (hsize == 12) {
        int bpp = U16(p + 10);
        if (bpp <= 8) table = 3ull << bpp;
    } else {
        if (size < 40) InvalidBitmap();
        int bpp = U16(p + 14);
        uint32_t used = U32(p + 32);
        if (bpp <= 8) table = 4ull * (used ? used : (1u << bpp));
        if (hsize == 40 && U32(p + 16) == win::BI_BITFIELDS) table = 12;
    }
    uint64_t off = 14 + hsize + table;
    if (off > size + 14ull) InvalidBitmap();
    std::vector<uint8_t> file(14);
    file[0] = 'B';
    file[1] = 'M';
    uint64_t total = 14 + size;
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<uint8_t>(total >> (8 * i));
        file[10 + i] = static_cast<uint8_t>(off >> (8 * i));
    }
    file.insert(file.end(), p, p + size);
    return file;
}

}  // namespace

void TBitmap::LoadFromResource(win::HINSTANCE instance, const char* resource, const String& name) {
    win::HRSRC res = win::FindResourceA(instance, resource, win::RT_BITMAP);
    if (!res) throw EResNotFound(Format("Resource %s not found", name));
    const auto* p = static_cast<const uint8_t*>(win::LockResource(win::LoadResource(instance, res)));
    if (!p) InvalidBitmap();
    std::vector<uint8_t> file = FileFromPackedDib(p, win::SizeofResource(instance, res));
    TMemoryStream s;
    s.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    s.SetPosition(0);
    LoadFromStream(&s);
}

void TBitmap::LoadFromResourceName(win::HINSTANCE instance, const String& name) {
    LoadFromResource(instance, name.c_str(), name);
}

void TBitmap::LoadFromResourceID(win::HINSTANCE instance, int id) {
    LoadFromResource(instance, win::MAKEINTRESOURCEA(static_cast<win::WORD>(id)), Format("#%d", id));
}

void TBitmap::SaveToStream(TStream* stream) {
    if (GetEmpty()) return;
    int bpp = BitsOf(FFormat);
    uint32_t ncolors = Indexed(FFormat) ? static_cast<uint32_t>(FTable.size()) : 0;
    uint32_t extra = FFormat == pf16bit ? 12 : ncolors * 4;
    uint32_t imageSize = static_cast<uint32_t>(FStride) * static_cast<uint32_t>(FHeight);
    uint32_t off = 14 + 40 + extra;
    std::vector<uint8_t> head;
    head.reserve(off);
    head.push_back('B');
    head.push_back('M');
    Put32(head, off + imageSize);
    Put32(head, 0);
    Put32(head, off);
    Put32(head, 40);
    Put32(head, static_cast<uint32_t>(FWidth));
    Put32(head, static_cast<uint32_t>(FHeight));
    Put16(head, 1);
    Put16(head, static_cast<uint16_t>(bpp));
    Put32(head, FFormat == pf16bit ? win::BI_BITFIELDS : win::BI_RGB);
    Put32(head, imageSize);
    Put32(head, 3780);  // 96 pixels per inch
    Put32(head, 3780);
    Put32(head, ncolors);
    Put32(head, 0);
    if (FFormat == pf16bit) {
        Put32(head, 0xF800);
        Put32(head, 0x07E0);
        Put32(head, 0x001F);
    }
    for (uint32_t i = 0; i < ncolors; ++i) {
        head.push_back(FTable[i].rgbBlue);
        head.push_back(FTable[i].rgbGreen);
        head.push_back(FTable[i].rgbRed);
        head.push_back(0);
    }
    stream->WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    stream->WriteBuffer(FBits, imageSize);
}

}  // namespace cl
