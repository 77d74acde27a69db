// The PNG picture object: its settings and gamma tables, drawing through the GDI by its
// transparency, conversion to and from bitmaps, the clipboard, single pixels, the palette,
// and the unit's registration with the picture registry.
#include "png/pngpicture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/kernel.h"
#include "platform/user.h"

namespace png {

TPNGObject::TPNGObject() { ResetGamma(); }

TPNGObject::~TPNGObject() {
    DropChunks();
    FreePaletteHandle();
}

void TPNGObject::ResetGamma() {
    for (int i = 0; i < 256; ++i) {
        GammaTable[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        InverseGammaTable[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
}

void TPNGObject::DropChunks() {
    ResetGamma();
    FChunks.SetCount(0);
}

void TPNGObject::FreePaletteHandle() {
    if (FPalette) win::DeleteObject(FPalette);
    FPalette = nullptr;
}

bool TPNGObject::HasHeader() const {
    TChunk* first = FChunks.GetItem(0);
    return first && first->Is<TChunkIHDR>();
}

TChunkIHDR* TPNGObject::HeaderChunk() const {
    if (!HasHeader()) RaisePNGError<EPNGHeaderNotPresent>(EPNGHeaderNotPresentText);
    return static_cast<TChunkIHDR*>(FChunks.GetItem(0));
}

int TPNGObject::GetWidth() const { return HasHeader() ? static_cast<int>(HeaderChunk()->Width) : 0; }
int TPNGObject::GetHeight() const { return HasHeader() ? static_cast<int>(HeaderChunk()->Height) : 0; }
void TPNGObject::SetWidth(int) { RaisePNGError<EPngError>(EPNGCannotChangeSizeText); }
void TPNGObject::SetHeight(int) { RaisePNGError<EPngError>(EPNGCannotChangeSizeText); }

TPNGTransparencyKind TPNGObject::TransparencyKind() const {
    TChunkIHDR* h = HeaderChunk();
    auto* trns = FChunks.Find<TChunktRNS>();
    switch (h->ColorType) {
        case 0:
        case 2: return trns ? ptkColorKey : ptkNone;
        case 3:
            if (!trns) return ptkNone;
            return trns->GetSingleKey() ? ptkColorKey : ptkAlpha;
        case 4:
        case 6: return ptkAlpha;
        default: return ptkNone;
    }
}

bool TPNGObject::GetTransparent() const { return TransparencyKind() != ptkNone; }

cl::TColor TPNGObject::ColorKey() const {
    auto* trns = FChunks.Find<TChunktRNS>();
    return trns ? trns->ColorKey() : 0;
}

uint8_t* TPNGObject::RowPointer(int y) const {
    TChunkIHDR* h = HeaderChunk();
    return h->GetImageData() + h->GetRowLength() * (int64_t{h->Height} - 1 - y);
}

void TPNGObject::RowGeometry(int64_t& rowBytes, int& pixelBytes) const {
    rowBytes = 0;
    pixelBytes = 0;
    if (!HasHeader()) return;
    TChunkIHDR* h = HeaderChunk();
    rowBytes = PNGRowBytes(h->Width, h->ColorType, h->BitDepth);
    switch (h->ColorType) {
        case 0: pixelBytes = h->BitDepth == 16 ? 2 : 1; break;
        case 3: pixelBytes = 1; break;
        case 2: pixelBytes = h->BitDepth * 3 / 8; break;
        case 4: pixelBytes = h->BitDepth / 4; break;
        case 6: pixelBytes = h->BitDepth / 2; break;
        default: break;
    }
}

// ---------------------------------------------------------------------------------------
// Drawing.

namespace {

// Restores a DC's stretch mode when the drawing is done.
class StretchModeScope {
public:
    StretchModeScope(win::HDC dc, int mode) : FDc(dc), FOld(win::SetStretchBltMode(dc, mode)) {}
    ~StretchModeScope() { win::SetStretchBltMode(FDc, FOld); }
    StretchModeScope(const StretchModeScope&) = delete;
    StretchModeScope& operator=(const StretchModeScope&) = delete;

private:
    win::HDC FDc;
    int FOld;
};

// A memory DC with one bitmap selected; both freed by the destructor.
class MemoryBitmap {
public:
    MemoryBitmap(win::HDC reference, win::HBITMAP bitmap) : FBitmap(bitmap) {
        if (!FBitmap) return;
        FDc = win::CreateCompatibleDC(reference);
        if (FDc) FOld = win::SelectObject(FDc, FBitmap);
    }
    ~MemoryBitmap() {
        if (FDc) {
            win::SelectObject(FDc, FOld);
            win::DeleteDC(FDc);
        }
        if (FBitmap) win::DeleteObject(FBitmap);
    }
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;
    bool Ok() const { return FDc != nullptr; }
    win::HDC Dc() const { return FDc; }

private:
    win::HBITMAP FBitmap;
    win::HDC FDc = nullptr;
    win::HGDIOBJ FOld = nullptr;
};

// The picture scaled to rect, pixels of the key colour leaving the target as it was.
void PNGDrawColorKeyed(win::HDC dc, const uint8_t* bits, const win::BITMAPINFO* info, win::COLORREF key,
                       const cl::TRect& rect) {
    const int w = std::abs(static_cast<int>(info->bmiHeader.biWidth));
    const int h = std::abs(static_cast<int>(info->bmiHeader.biHeight));
    const int W = rect.right - rect.left, H = rect.bottom - rect.top;
    if (W <= 0 || H <= 0) return;
    win::HDC screen = win::CreateCompatibleDC(nullptr);
    MemoryBitmap image(dc,
                       win::CreateDIBitmap(screen, &info->bmiHeader, win::CBM_INIT, bits, info, win::DIB_RGB_COLORS));
    win::DeleteDC(screen);
    MemoryBitmap mask(dc, win::CreateBitmap(W, H, 1, 1, nullptr));
    MemoryBitmap keyed(dc, win::CreateBitmap(W, H, 1, 1, nullptr));
    MemoryBitmap colour(dc, win::CreateCompatibleBitmap(dc, W, H));
    if (!image.Ok() || !mask.Ok() || !keyed.Ok() || !colour.Ok()) return;
    StretchModeScope m1(image.Dc(), win::COLORONCOLOR), m2(keyed.Dc(), win::COLORONCOLOR),
        m3(colour.Dc(), win::COLORONCOLOR);
    // Key-colour pixels become 1, all others 0.
    const win::COLORREF oldBk = win::SetBkColor(image.Dc(), key);
    win::StretchBlt(keyed.Dc(), 0, 0, W, H, image.Dc(), 0, 0, w, h, win::SRCCOPY);
    win::SetBkColor(image.Dc(), oldBk);
    win::BitBlt(mask.Dc(), 0, 0, W, H, keyed.Dc(), 0, 0, win::NOTSRCCOPY);
    // The background, kept only where the key colour was.
    win::BitBlt(colour.Dc(), 0, 0, W, H, dc, rect.left, rect.top, win::SRCCOPY);
    win::BitBlt(colour.Dc(), 0, 0, W, H, keyed.Dc(), 0, 0, win::SRCAND);
    // The image with its key-colour pixels black, over it.
    win::StretchBlt(image.Dc(), 0, 0, w, h, mask.Dc(), 0, 0, W, H, win::SRCAND);
    win::StretchBlt(colour.Dc(), 0, 0, W, H, image.Dc(), 0, 0, w, h, win::SRCPAINT);
    win::BitBlt(dc, rect.left, rect.top, W, H, colour.Dc(), 0, 0, win::SRCCOPY);
}

}  // namespace

void TPNGObject::Draw(cl::TCanvas* canvas, const cl::TRect& rect) {
    if (!canvas || !HasHeader()) return;
    TChunkIHDR* h = HeaderChunk();
    if (!h->GetImageData()) return;
    canvas->Lock();
    try {
        win::HDC dc = canvas->GetHandle();
        switch (TransparencyKind()) {
            case ptkNone: {
                StretchModeScope mode(dc, win::COLORONCOLOR);
                win::StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, 0,
                                   static_cast<int>(h->Width), static_cast<int>(h->Height), h->GetImageData(),
                                   h->GetBitmapInfoPtr(), win::DIB_RGB_COLORS, win::SRCCOPY);
                break;
            }
            case ptkColorKey:
                PNGDrawColorKeyed(dc, h->GetImageData(), h->GetBitmapInfoPtr(),
                                  static_cast<win::COLORREF>(cl::ColorToRGB(ColorKey())), rect);
                break;
            case ptkAlpha: DrawAlphaBlended(dc, rect); break;
        }
    } catch (...) {
        canvas->Unlock();
        throw;
    }
    canvas->Unlock();
}

void TPNGObject::DrawAlphaBlended(win::HDC dc, const cl::TRect& rect) {
    TChunkIHDR* h = HeaderChunk();
    const int w = static_cast<int>(h->Width), ht = static_cast<int>(h->Height);
    win::BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -ht;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = win::BI_RGB;
    void* sectionBits = nullptr;
    MemoryBitmap section(dc, win::CreateDIBSection(dc, &info, win::DIB_RGB_COLORS, &sectionBits, nullptr, 0));
    if (!section.Ok() || !sectionBits) RaisePNGError<EPNGOutMemory>(EPNGOutMemoryText);
    win::StretchBlt(section.Dc(), 0, 0, w, ht, dc, rect.left, rect.top, w, ht, win::SRCCOPY);
    win::GdiFlush();

    const win::RGBQUAD* table = h->GetColorTable();
    const uint8_t* alpha = h->GetImageAlpha();
    const auto* trns = FChunks.Find<TChunktRNS>();
    const int storeBits = h->GetBitsPerPixel();
    auto* out = static_cast<uint8_t*>(sectionBits);
    auto blend = [](int a, int s, int d) { return static_cast<uint8_t>((a * s + (255 - a) * d + 255) / 256); };
    for (int y = 0; y < ht; ++y) {
        const uint8_t* row = RowPointer(y);
        uint8_t* o = out + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
        const uint8_t* a = alpha ? alpha + static_cast<size_t>(y) * static_cast<size_t>(w) : nullptr;
        for (int x = 0; x < w; ++x, o += 4) {
            int av = 255;
            uint8_t sb, sg, sr;
            if (storeBits == 24) {
                sb = row[3 * x];
                sg = row[3 * x + 1];
                sr = row[3 * x + 2];
                av = a ? a[x] : 255;
            } else {
                int index;
                if (storeBits == 1)
                    index = (row[x / 8] >> (7 - x % 8)) & 1;
                else if (storeBits == 4)
                    index = (row[x / 2] >> ((x % 2) ? 0 : 4)) & 15;
                else
                    index = row[x];
                // Colour-table entries (black beyond the palette): never out of range.
                const win::RGBQUAD& e = table[index];
                sb = e.rgbBlue;
                sg = e.rgbGreen;
                sr = e.rgbRed;
                if (a)
                    av = a[x];
                else if (trns)
                    av = trns->GetAlphaValues()[static_cast<size_t>(index)];
            }
            o[0] = blend(av, sb, o[0]);
            o[1] = blend(av, sg, o[1]);
            o[2] = blend(av, sr, o[2]);
        }
    }
    win::StretchBlt(dc, rect.left, rect.top, w, ht, section.Dc(), 0, 0, w, ht, win::SRCCOPY);
}

// ---------------------------------------------------------------------------------------
// Assignment.

void TPNGObject::CopyPNG(TPNGObject* source) {
    if (source == this) return;
    FInterlacing = source->FInterlacing;
    SetIdatSizeLimit(source->FIdatSizeLimit);
    FDeflateLevel = source->FDeflateLevel;
    FRowFilters = source->FRowFilters;
    DropChunks();
    FChunks.SetCount(source->FChunks.GetCount());
    for (int32_t i = 0; i < source->FChunks.GetCount(); ++i) {
        TChunk* s = source->FChunks.GetItem(i);
        if (!s) continue;
        std::unique_ptr<TChunk> c = s->NewInstance(this);
        TChunk* chunk = c.get();
        FChunks.SetItem(i, std::move(c));
        chunk->CopyFrom(s);
    }
}

void TPNGObject::AssignBitmapHandle(win::HBITMAP handle, bool transparent, cl::TColor keyColor) {
    win::BITMAP bm{};
    const bool described = handle && win::GetObject(handle, sizeof bm, &bm) != 0;
    DropChunks();
    if (!described || bm.bmWidth <= 0 || bm.bmHeight == 0) return;
    const int bpp = bm.bmBitsPixel;
    const bool palette = bpp < 16;

    auto header = std::make_unique<TChunkIHDR>(this);
    header->SetName(ChunkName("IHDR"));
    TChunkIHDR* h = header.get();
    FChunks.Add(std::move(header));
    TChunkPLTE* plte = nullptr;
    if (palette) {
        auto c = std::make_unique<TChunkPLTE>(this);
        c->SetName(ChunkName("PLTE"));
        plte = c.get();
        FChunks.Add(std::move(c));
    }
    TChunktRNS* trns = nullptr;
    if (transparent) {
        auto c = std::make_unique<TChunktRNS>(this);
        c->SetName(ChunkName("tRNS"));
        trns = c.get();
        FChunks.Add(std::move(c));
    }
    auto idat = std::make_unique<TChunkIDAT>(this);
    idat->SetName(ChunkName("IDAT"));
    FChunks.Add(std::move(idat));
    auto iend = std::make_unique<TChunkIEND>(this);
    iend->SetName(ChunkName("IEND"));
    FChunks.Add(std::move(iend));

    h->Width = static_cast<uint32_t>(bm.bmWidth);
    h->Height = static_cast<uint32_t>(std::abs(static_cast<int>(bm.bmHeight)));
    h->BitDepth = static_cast<uint8_t>(palette ? (bpp == 2 ? 4 : bpp) : 8);
    h->ColorType = palette ? 3 : 2;
    h->CompressionMethod = 0;
    h->InterlaceMethod = 0;
    FInterlacing = 0;
    h->AllocatePixels();
    win::HDC memory = win::CreateCompatibleDC(nullptr);
    win::GetDIBits(memory, handle, 0, h->Height, h->GetImageData(),
                   reinterpret_cast<win::BITMAPINFO*>(&h->GetBitmapInfo()), win::DIB_RGB_COLORS);
    win::DeleteDC(memory);
    if (plte) plte->SetCount(1 << h->BitDepth);
    if (trns) trns->SetColorKey(keyColor);
    Changed();
}

void TPNGObject::Assign(cl::TPersistent* Source) {
    if (auto* p = dynamic_cast<TPNGObject*>(Source)) {
        CopyPNG(p);
        Changed();
    } else if (auto* b = dynamic_cast<cl::TBitmap*>(Source)) {
        AssignBitmapHandle(b->GetEmpty() ? nullptr : b->GetHandle(), b->GetTransparent(),
                           cl::ColorToRGB(b->GetTransparentColor()));
    } else {
        cl::TGraphic::Assign(Source);
    }
}

void TPNGObject::AssignTo(cl::TPersistent* Dest) {
    if (auto* p = dynamic_cast<TPNGObject*>(Dest)) {
        p->CopyPNG(this);
        return;
    }
    auto* b = dynamic_cast<cl::TBitmap*>(Dest);
    if (!b || !HasHeader() || !HeaderChunk()->GetImageData()) {
        cl::TGraphic::AssignTo(Dest);
        return;
    }
    TChunkIHDR* h = HeaderChunk();
    const int bits = h->GetBitsPerPixel();
    b->SetPixelFormat(bits == 1 ? cl::pf1bit : bits == 4 ? cl::pf4bit : bits == 8 ? cl::pf8bit : cl::pf24bit);
    b->SetSize(static_cast<int>(h->Width), static_cast<int>(h->Height));
    if (bits <= 8) b->SetColorTable(std::vector<win::RGBQUAD>(h->GetColorTable(), h->GetColorTable() + (1 << bits)));
    const size_t rowBytes = static_cast<size_t>(std::min<int64_t>(h->GetRowLength(), b->RowBytes()));
    for (int y = 0; y < static_cast<int>(h->Height); ++y) std::memcpy(b->ScanLine(y), RowPointer(y), rowBytes);
    if (TransparencyKind() == ptkColorKey) {
        b->SetTransparentColor(ColorKey());
        b->SetTransparent(true);
    } else {
        b->SetTransparent(false);
    }
}

// ---------------------------------------------------------------------------------------
// Clipboard.

void TPNGObject::SaveToClipboardFormat(win::UINT& format, win::HANDLE& data, win::HPALETTE& palette) {
    format = 0;
    data = nullptr;
    palette = nullptr;
    const int w = GetWidth(), h = GetHeight();
    if (w <= 0 || h <= 0) return;
    cl::TBitmap bitmap;
    bitmap.SetPixelFormat(cl::pf24bit);
    bitmap.SetSize(w, h);
    Draw(bitmap.GetCanvas(), cl::Rect(0, 0, w, h));
    const size_t stride = static_cast<size_t>(bitmap.RowBytes());
    const size_t size = sizeof(win::BITMAPINFOHEADER) + stride * static_cast<size_t>(h);
    win::HGLOBAL memory = win::GlobalAlloc(win::GMEM_MOVEABLE, size);
    if (!memory) RaisePNGError<EPNGOutMemory>(EPNGOutMemoryText);
    auto* p = static_cast<uint8_t*>(win::GlobalLock(memory));
    win::BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = win::BI_RGB;
    header.biSizeImage = static_cast<win::DWORD>(stride * static_cast<size_t>(h));
    std::memcpy(p, &header, sizeof header);
    for (int y = 0; y < h; ++y)
        std::memcpy(p + sizeof header + stride * static_cast<size_t>(h - 1 - y), bitmap.ScanLine(y), stride);
    win::GlobalUnlock(memory);
    format = win::CF_DIB;
    data = memory;
}

void TPNGObject::LoadFromClipboardFormat(win::UINT format, win::HANDLE data, win::HPALETTE) {
    if (format != win::CF_DIB || !data) return;
    const size_t size = win::GlobalSize(data);
    const auto* p = static_cast<const uint8_t*>(win::GlobalLock(data));
    if (!p) return;
    // A packed DIB becomes a BMP file for the bitmap class to read.
    win::BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfSize = static_cast<win::DWORD>(sizeof file + size);
    uint32_t headerSize = 0;
    if (size >= 4) std::memcpy(&headerSize, p, 4);
    win::BITMAPINFOHEADER info{};
    if (size >= sizeof info) std::memcpy(&info, p, sizeof info);
    size_t colours = 0;
    if (info.biBitCount <= 8) colours = info.biClrUsed ? info.biClrUsed : (size_t{1} << info.biBitCount);
    if (info.biCompression == win::BI_BITFIELDS && headerSize == sizeof info) colours = 3;
    file.bfOffBits = static_cast<win::DWORD>(sizeof file + headerSize + colours * 4);
    cl::TMemoryStream stream;
    stream.WriteBuffer(&file, sizeof file);
    stream.WriteBuffer(p, static_cast<int64_t>(size));
    win::GlobalUnlock(data);
    stream.SetPosition(0);
    cl::TBitmap bitmap;
    bitmap.LoadFromStream(&stream);
    AssignBitmapHandle(bitmap.GetHandle(), false, 0);
}

// ---------------------------------------------------------------------------------------
// Single pixels.

namespace {

// Store bits, pixels per byte and the shift of pixel x in its byte.
struct Packed {
    int bits, perByte, shift;
    unsigned mask;
};

Packed PackedAt(const TChunkIHDR& h, int x) {
    Packed p{};
    p.bits = h.GetBitsPerPixel();
    p.perByte = 8 / p.bits;
    p.shift = 8 - p.bits - p.bits * (x % p.perByte);
    p.mask = (1u << p.bits) - 1;
    return p;
}

}  // namespace

cl::TColor TPNGObject::GetPixels(int x, int y) const {
    TChunkIHDR* h = HeaderChunk();
    if (x < 0 || x > GetWidth() - 1 || y < 0 || y > GetHeight() - 1 || !h->GetImageData()) return 0;
    const uint8_t* row = RowPointer(y);
    switch (h->ColorType) {
        case 0:
        case 3: {
            const Packed p = PackedAt(*h, x);
            const unsigned v = (row[x / p.perByte] >> p.shift) & p.mask;
            if (h->ColorType == 0) {
                const uint8_t g = GammaTable[v * 255 / p.mask];
                return static_cast<cl::TColor>(win::RGB(g, g, g));
            }
            // The colour-table entry holds the palette colour as drawn.
            const win::RGBQUAD& e = h->GetColorTable()[v];
            return static_cast<cl::TColor>(win::RGB(e.rgbRed, e.rgbGreen, e.rgbBlue));
        }
        case 4: return static_cast<cl::TColor>(win::RGB(row[x], row[x], row[x]));
        default: {
            const uint8_t* s = row + 3 * static_cast<size_t>(x);
            return static_cast<cl::TColor>(win::RGB(s[2], s[1], s[0]));
        }
    }
}

void TPNGObject::SetPixels(int x, int y, cl::TColor color) {
    TChunkIHDR* h = HeaderChunk();
    if (x < 0 || x > GetWidth() - 1 || y < 0 || y > GetHeight() - 1 || !h->GetImageData()) return;
    uint8_t* row = RowPointer(y);
    const auto c = static_cast<uint32_t>(cl::ColorToRGB(color));
    const int r = static_cast<int>(c & 0xFF), g = static_cast<int>((c >> 8) & 0xFF),
              b = static_cast<int>((c >> 16) & 0xFF);
    switch (h->ColorType) {
        case 0:
        case 3: {
            const Packed p = PackedAt(*h, x);
            // The nearest of the entries a pixel of this depth can name.
            unsigned best = 0;
            int bestDistance = 1 << 30;
            for (unsigned i = 0; i <= p.mask; ++i) {
                const win::RGBQUAD& e = h->GetColorTable()[i];
                const int d = (e.rgbRed - r) * (e.rgbRed - r) + (e.rgbGreen - g) * (e.rgbGreen - g) +
                              (e.rgbBlue - b) * (e.rgbBlue - b);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            uint8_t& byte = row[x / p.perByte];
            byte = static_cast<uint8_t>((byte & ~(p.mask << p.shift)) | (best << p.shift));
            break;
        }
        case 4: row[x] = static_cast<uint8_t>(r); break;
        default: {
            uint8_t* s = row + 3 * static_cast<size_t>(x);
            s[0] = static_cast<uint8_t>(b);
            s[1] = static_cast<uint8_t>(g);
            s[2] = static_cast<uint8_t>(r);
            break;
        }
    }
    Changed();
}

// ---------------------------------------------------------------------------------------
// Palette.

win::HPALETTE TPNGObject::GetPalette() {
    TChunkIHDR* h = HeaderChunk();
    if (h->ColorType != 0 && h->ColorType != 3) return nullptr;
    if (!FPalette) {
        std::vector<uint8_t> block(sizeof(win::LOGPALETTE) + 255 * sizeof(win::PALETTEENTRY));
        auto* lp = reinterpret_cast<win::LOGPALETTE*>(block.data());
        lp->palVersion = 0x300;
        lp->palNumEntries = 256;
        for (int i = 0; i < 256; ++i) {
            const win::RGBQUAD& e = h->GetColorTable()[i];
            lp->palPalEntry[i] = win::PALETTEENTRY{e.rgbRed, e.rgbGreen, e.rgbBlue, 0};
        }
        FPalette = win::CreatePalette(lp);
    }
    return FPalette;
}

void TPNGObject::SetPalette(win::HPALETTE palette) {
    TChunkIHDR* h = HeaderChunk();
    if (h->ColorType != 0 && h->ColorType != 3) return;
    win::PALETTEENTRY entries[256];
    const win::UINT n = palette ? win::GetPaletteEntries(palette, 0, 256, entries) : 0;
    for (win::UINT i = 0; i < n && i < 256; ++i)
        h->GetColorTable()[i] = win::RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    FreePaletteHandle();
    Changed();
}

// ---------------------------------------------------------------------------------------
// Unit start-up.

namespace {
int gStartups = 0;
}

void StartupPngPicture() {
    if (gStartups++ != 0) return;
    RegisterStandardPNGChunks();
    cl::TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", TPNGObject::StaticClass(),
                                     &TPNGObject::Create);
}

void ShutdownPngPicture() {
    if (gStartups == 0 || --gStartups != 0) return;
    cl::TPicture::UnregisterGraphicClass(TPNGObject::StaticClass());
    FreePNGChunkClasses();
}

}  // namespace png
