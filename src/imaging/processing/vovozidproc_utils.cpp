#include "imaging/processing/vovozidproc_utils.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/processing/vovozidproc_dib.h"

namespace ie {

uint8_t IE1BitExpansion[256][24];

void IEBuild1BitExpansion() {
    for (int b = 0; b < 256; ++b)
        for (int j = 0; j < 8; ++j) {
            const uint8_t v = (b >> (7 - j)) & 1 ? 255 : 0;
            std::memset(&IE1BitExpansion[b][3 * j], v, 3);
        }
}

// ---------------------------------------------------------------------------------------
// Class-library bitmaps

void IECopyTBitmap(cl::TBitmap* Source, cl::TBitmap* Dest) {
    if (!Source || !Dest || Source == Dest) return;
    const int w = Source->GetWidth(), h = Source->GetHeight();
    if (Dest->GetWidth() != w || Dest->GetHeight() != h || Dest->GetPixelFormat() != Source->GetPixelFormat()) {
        Dest->SetSize(1, 1);
        Dest->SetPixelFormat(Source->GetPixelFormat());
        if (w > 0 && h > 0) Dest->SetSize(w, h);
    }
    if (w <= 0 || h <= 0) return;
    if (Source->GetPixelFormat() == cl::pf8bit || Source->GetPixelFormat() == cl::pf4bit ||
        Source->GetPixelFormat() == cl::pf1bit)
        Dest->SetPalette(Source->GetPalette());
    const size_t bytes = static_cast<size_t>(std::min(Source->RowBytes(), Dest->RowBytes()));
    for (int y = 0; y < h; ++y) std::memcpy(Dest->ScanLine(y), Source->ScanLine(y), bytes);
    Dest->SetModified(true);
}

cl::TBitmap* IECloneTBitmap(cl::TBitmap* Bitmap) {
    auto* copy = new cl::TBitmap();
    IECopyTBitmap(Bitmap, copy);
    return copy;
}

void IE1BitTBitmapTo24Bit(cl::TBitmap* Source, cl::TBitmap* Dest, const TIEProgressEvent& OnProgress,
                          cl::TObject* Sender) {
    if (!Source || !Dest || Source == Dest || Source->GetPixelFormat() != cl::pf1bit) return;
    const int w = Source->GetWidth(), h = Source->GetHeight();
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(cl::pf24bit);
    if (w <= 0 || h <= 0) return;
    Dest->SetSize(w, h);
    const double per = 100.0 / (h + 0.5);
    for (int y = 0; y < h; ++y) {
        const auto* s = static_cast<const uint8_t*>(Source->ScanLine(y));
        auto* d = static_cast<uint8_t*>(Dest->ScanLine(y));
        const int full = w / 8, rest = w % 8;
        for (int i = 0; i < full; ++i) std::memcpy(d + 24 * i, IE1BitExpansion[s[i]], 24);
        if (rest) std::memcpy(d + 24 * full, IE1BitExpansion[s[full]], static_cast<size_t>(3 * rest));
        if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc(per * (y + 1))));
    }
    Dest->SetModified(true);
}

// ---------------------------------------------------------------------------------------
// Packed DIBs

win::HGLOBAL _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                                int32_t DpiY) {
    if (!Bitmap) return nullptr;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f != ie1g && f != ie8p && f != ie8g && f != ie24RGB) {
        auto copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
        if (copy->GetWidth() <= 0 || copy->GetHeight() <= 0 || !copy->SetPixelFormat(ie24RGB)) return nullptr;
        return _CopyBitmaptoDIBEx(copy.get(), X1, Y1, X2, Y2, DpiX, DpiY);
    }
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (X2 == 0) X2 = width;
    if (Y2 == 0) Y2 = height;
    // Only regions inside the picture: rows are never read past their end.
    if (X1 < 0 || Y1 < 0 || X2 > width || Y2 > height || X2 <= X1 || Y2 <= Y1) return nullptr;
    const int32_t bits = f == ie1g ? 1 : f == ie24RGB ? 24 : 8;
    const int64_t regionWidth = X2 - X1, regionHeight = Y2 - Y1;
    const int64_t rowLen = (regionWidth * bits + 31) / 32 * 4;
    const int64_t table = f == ie1g ? 8 : f == ie24RGB ? 0 : 1024;
    const int64_t size = 44 + table + rowLen * regionHeight;
    win::HGLOBAL memory =
        win::GlobalAlloc(win::GMEM_MOVEABLE | win::GMEM_DDESHARE | win::GMEM_ZEROINIT, static_cast<size_t>(size));
    if (!memory) return nullptr;
    auto* base = static_cast<uint8_t*>(win::GlobalLock(memory));
    if (!base) {
        win::GlobalFree(memory);
        return nullptr;
    }
    IEPutU32LE(base, 40);
    IEPutU32LE(base + 4, static_cast<uint32_t>(regionWidth));
    IEPutU32LE(base + 8, static_cast<uint32_t>(regionHeight));
    IEPutU16LE(base + 12, 1);
    IEPutU16LE(base + 14, static_cast<uint16_t>(bits));
    IEPutU32LE(base + 24, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(DpiX * 39.3700787))));
    IEPutU32LE(base + 28, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(DpiY * 39.3700787))));
    uint8_t* colours = base + 40;
    if (f == ie1g) {
        IEPutU32LE(colours + 4, 0xFFFFFFFFu);
    } else if (f == ie8g) {
        for (int i = 0; i < 256; ++i) IEPutU32LE(colours + 4 * i, static_cast<uint32_t>(i * 0x010101));
    } else if (f == ie8p) {
        const int32_t n = std::min(Bitmap->GetPaletteLength(), 256);
        const TRGB* pal = Bitmap->GetPalette();
        for (int32_t i = 0; i < n && pal; ++i) {
            colours[4 * i] = pal[i].b;
            colours[4 * i + 1] = pal[i].g;
            colours[4 * i + 2] = pal[i].r;
        }
    }
    uint8_t* rows = colours + table;
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead;
    for (int64_t k = 0; k < regionHeight; ++k) {
        // The DIB's first row is the region's bottom one; the padding stays zero.
        const auto* s = static_cast<const uint8_t*>(Bitmap->GetScanline(static_cast<int32_t>(Y2 - 1 - k)));
        uint8_t* d = rows + k * rowLen;
        if (!s) continue;
        if (bits == 1) {
            IECopyBits(d, s, 0, Bitmap->GetRowLen(), static_cast<int32_t>(regionWidth), X1);
        } else {
            const int64_t bytes = regionWidth * bits / 8;
            std::memcpy(d, s + static_cast<int64_t>(X1) * bits / 8, static_cast<size_t>(bytes));
        }
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
    win::GlobalUnlock(memory);
    return memory;
}

namespace {

int32_t DrawDecoded(int32_t bitCount, TIEBitmap& decoded, TIEDibbitmap* Dest) {
    if (bitCount == 0) return 0;
    const int32_t w = decoded.GetWidth(), h = decoded.GetHeight();
    const int32_t destBits = decoded.GetPixelFormat() == ie1g ? 1 : 24;
    if (!Dest->AllocateBits(w, h, destBits)) return 0;
    const size_t bytes = static_cast<size_t>((static_cast<int64_t>(w) * destBits + 7) / 8);
    decoded.Access = ieaRead;
    for (int32_t y = 0; y < h; ++y) {
        const void* s = decoded.GetScanline(y);
        void* d = Dest->GetScanline(y);
        if (s && d) std::memcpy(d, s, bytes);
    }
    return bitCount;
}

}  // namespace

int32_t IEDrawDIBToDibBitmap(const void* DIB, size_t Size, TIEDibbitmap* Dest, const void* Bits, size_t BitsSize) {
    if (!Dest) return 0;
    TIEBitmap decoded;
    decoded.MinFileSize = int64_t{1} << 62;
    const int32_t bitCount = IEDIBToBitmap(DIB, Size, &decoded, Bits, BitsSize);
    return DrawDecoded(bitCount, decoded, Dest);
}

int32_t IEDrawDIBToDibBitmap(win::HGLOBAL DIB, TIEDibbitmap* Dest, const void* Bits, size_t BitsSize) {
    if (!Dest) return 0;
    TIEBitmap decoded;
    decoded.MinFileSize = int64_t{1} << 62;
    const int32_t bitCount = IEDIBToBitmap(DIB, &decoded, Bits, BitsSize);
    return DrawDecoded(bitCount, decoded, Dest);
}

// ---------------------------------------------------------------------------------------
// Whole bitmaps

namespace {

// Bytes of the pixels of one row (whole bytes; 1-bit rows by their bytes).
int64_t PixelBytes(TIEBitmap* b) { return (static_cast<int64_t>(b->GetWidth()) * b->GetBitCount() + 7) / 8; }

void FlipOne(TIEBitmap* Bitmap, int32_t Direction) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (w <= 0 || h <= 0) return;
    auto scratch = std::make_unique<TIEBitmap>();
    if (!scratch->Allocate(w, h, f)) return;
    const int32_t n = Bitmap->GetPaletteLength();
    for (int32_t i = 0; i < n; ++i) {
        TRGB c;
        Bitmap->GetPaletteEntry(i, c);
        scratch->SetPaletteEntry(i, c);
    }
    const int64_t bytes = PixelBytes(Bitmap);
    const int32_t pixelBytes = Bitmap->GetBitCount() / 8;
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead;
    scratch->Access = ieaRead | ieaWrite;
    std::vector<uint8_t> tmp(static_cast<size_t>(bytes) + 1);
    for (int32_t y = 0; y < h; ++y) {
        const auto* s = static_cast<const uint8_t*>(Bitmap->MapRow(Direction == 1 ? h - 1 - y : y));
        auto* d = static_cast<uint8_t*>(scratch->MapRow(y));
        if (s && d) {
            if (Direction == 1) {
                std::memcpy(d, s, static_cast<size_t>(bytes));
            } else if (f == ie1g) {
                for (int32_t x = 0; x < w; ++x) IESetBit(d, x, IEGetBit(s, w - 1 - x));
            } else {
                for (int32_t x = 0; x < w; ++x)
                    std::memcpy(d + static_cast<int64_t>(x) * pixelBytes,
                                s + static_cast<int64_t>(w - 1 - x) * pixelBytes, static_cast<size_t>(pixelBytes));
            }
        }
        if (d) scratch->UnmapRow(d);
        if (s) Bitmap->UnmapRow(const_cast<uint8_t*>(s));
    }
    Bitmap->Access = saved;
    Bitmap->AssignImage(scratch.get());
}

}  // namespace

void IEFlipBitmap(TIEBitmap* Bitmap, int32_t Direction) {
    if (!Bitmap || (Direction != 0 && Direction != 1)) return;
    FlipOne(Bitmap, Direction);
    if (Bitmap->HasAlphaChannel()) FlipOne(Bitmap->GetAlphaChannel(), Direction);
}

namespace {

bool RowsEqual(TIEBitmap* A, TIEBitmap* B) {
    const int32_t h = A->GetHeight(), w = A->GetWidth();
    const int64_t bits = static_cast<int64_t>(w) * A->GetBitCount();
    const int64_t whole = bits / 8;
    const int rest = static_cast<int>(bits % 8);
    const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> rest);
    const TIEBitmapAccess sa = A->Access, sb = B->Access;
    A->Access = ieaRead;
    B->Access = ieaRead;
    bool equal = true;
    for (int32_t y = 0; y < h && equal; ++y) {
        const auto* p = static_cast<const uint8_t*>(A->MapRow(y));
        const auto* q = static_cast<const uint8_t*>(B->MapRow(y));
        if (!p || !q)
            equal = p == q;
        else
            equal = std::memcmp(p, q, static_cast<size_t>(whole)) == 0 &&
                    (rest == 0 || ((p[whole] ^ q[whole]) & lastMask) == 0);
        if (p) A->UnmapRow(const_cast<uint8_t*>(p));
        if (q) B->UnmapRow(const_cast<uint8_t*>(q));
    }
    A->Access = sa;
    B->Access = sb;
    return equal;
}

}  // namespace

bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B) {
    if (!A || !B) return A == B;
    if (A == B) return true;
    if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight() ||
        A->GetPixelFormat() != B->GetPixelFormat() || A->HasAlphaChannel() != B->HasAlphaChannel())
        return false;
    if (A->GetPixelFormat() == ie8p) {
        const int32_t n = A->GetPaletteLength();
        if (n != B->GetPaletteLength()) return false;
        for (int32_t i = 0; i < n; ++i) {
            TRGB a, b;
            A->GetPaletteEntry(i, a);
            B->GetPaletteEntry(i, b);
            if (!(a == b)) return false;
        }
    }
    if (!RowsEqual(A, B)) return false;
    return !A->HasAlphaChannel() || RowsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
}

// ---------------------------------------------------------------------------------------
// Scanlines

void IEConvertScanline(const void* Source, void* Dest, uint16_t SourceBits, const TIEQuantizer* Quantizer,
                       int32_t PaletteCount, const TRGB* Palette, uint16_t Width, uint16_t DestBits) {
    if (!Source || !Dest) return;
    const auto* s = static_cast<const uint8_t*>(Source);
    auto* d = static_cast<uint8_t*>(Dest);
    auto colour = [&](int32_t i) { return Palette && i >= 0 && i < PaletteCount ? Palette[i] : TRGB{}; };
    auto index = [&](const uint8_t* p) { return Quantizer ? Quantizer->RGBIndex(TRGB{p[0], p[1], p[2]}) : 0; };
    const int32_t w = Width;
    switch (SourceBits * 100 + DestBits) {
        case 2404:
            for (int32_t x = 0; x < w; ++x) {
                const auto v = static_cast<uint8_t>(index(s + 3 * x) & 0x0F);
                d[x / 2] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
            }
            break;
        case 2408:
            for (int32_t x = 0; x < w; ++x) d[x] = static_cast<uint8_t>(index(s + 3 * x));
            break;
        case 2424:
        case 808: std::memcpy(d, s, static_cast<size_t>(w) * (SourceBits / 8)); break;
        case 3224:
            for (int32_t x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
            break;
        case 801:
            std::memset(d, 0, static_cast<size_t>((w + 7) / 8));
            for (int32_t x = 0; x < w; ++x) d[x >> 3] |= static_cast<uint8_t>((s[x] & 1) << (7 - (x & 7)));
            break;
        case 824:
            for (int32_t x = 0; x < w; ++x) {
                const TRGB c = colour(s[x]);
                std::memcpy(d + 3 * x, &c, 3);
            }
            break;
        case 101: std::memcpy(d, s, static_cast<size_t>((w + 7) / 8)); break;
        case 104:
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t v = IEGetBit(s, x) ? 1 : 0;
                d[x / 2] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
            }
            break;
        case 108:
            for (int32_t x = 0; x < w; ++x) d[x] = IEGetBit(s, x) ? 1 : 0;
            break;
        case 124:
            for (int32_t x = 0; x < w; ++x) {
                const TRGB c = colour(IEGetBit(s, x) ? 1 : 0);
                std::memcpy(d + 3 * x, &c, 3);
            }
            break;
        default: break;
    }
}

// ---------------------------------------------------------------------------------------
// Histograms and channels

void IEMatchChannel(TIEBitmap* Bitmap, int32_t Channel, const int32_t (&RefHistogram)[256], int64_t RefCount) {
    if (!Bitmap || Channel < 0 || Channel > 2 || RefCount <= 0) return;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f != ie24RGB && f != ieRGB48) return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) return;
    const bool wide = f == ieRGB48;
    // ieRGB48 words are red, green, blue: channel 0 (blue) is word 2.
    const int32_t offset = wide ? 2 - Channel : Channel;
    const int32_t step = 3;
    const TIEBitmapAccess saved = Bitmap->Access;
    auto sample = [&](void* row, int32_t x) -> int32_t {
        if (wide) return static_cast<uint16_t*>(row)[step * x + offset] >> 8;
        return static_cast<uint8_t*>(row)[step * x + offset];
    };
    int64_t hist[256] = {};
    Bitmap->Access = ieaRead;
    for (int32_t y = 0; y < h; ++y)
        if (void* row = Bitmap->GetScanline(y))
            for (int32_t x = 0; x < w; ++x) ++hist[sample(row, x)];
    const double pixels = static_cast<double>(w) * h;
    double e[256], r[256];
    int64_t cumulative = 0, refCumulative = 0;
    for (int i = 0; i < 256; ++i) {
        cumulative += hist[i];
        refCumulative += RefHistogram[i];
        e[i] = cumulative * 255.0 / pixels;
        r[i] = 255.0 / static_cast<double>(RefCount) * static_cast<double>(refCumulative);
    }
    uint8_t map[256];
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(std::clamp(static_cast<int>(std::trunc(e[i])), 0, 255));
    uint8_t inverse[256];
    for (int i = 0; i < 256; ++i) {
        int best = 0;
        for (int j = 1; j < 256; ++j)
            if (std::fabs(i - r[j]) < std::fabs(i - r[best])) best = j;
        inverse[i] = static_cast<uint8_t>(best);
    }
    Bitmap->Access = ieaRead | ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        void* row = Bitmap->GetScanline(y);
        if (!row) continue;
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t v = inverse[map[sample(row, x)]];
            if (wide)
                static_cast<uint16_t*>(row)[step * x + offset] = static_cast<uint16_t>(v * 257);
            else
                static_cast<uint8_t*>(row)[step * x + offset] = v;
        }
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
}

void IEMatchHistogram(TIEBitmap* Reference, TIEBitmap* Bitmap) {
    if (!Reference || !Bitmap || Reference->GetPixelFormat() != ie24RGB) return;
    const int32_t w = Reference->GetWidth(), h = Reference->GetHeight();
    if (w <= 0 || h <= 0 || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return;
    int32_t hist[3][256] = {};
    const TIEBitmapAccess saved = Reference->Access;
    Reference->Access = ieaRead;
    for (int32_t y = 0; y < h; ++y)
        if (const auto* p = static_cast<const uint8_t*>(Reference->GetScanline(y)))
            for (int32_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) ++hist[c][p[3 * x + c]];
    Reference->Access = saved;
    const int64_t count = static_cast<int64_t>(w) * h;
    for (int c = 0; c < 3; ++c) IEMatchChannel(Bitmap, c, hist[c], count);
}

void IEReorderChannels(TIEBitmap* Bitmap, const std::string& Order, const TIEProgressEvent& OnProgress,
                       cl::TObject* Sender) {
    if (!Bitmap || Order.size() < 3) return;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f != ie24RGB && f != ieRGB48) return;
    // Source of each destination channel in blue, green, red order: 0 blue, 1 green,
    // 2 red, -1 zero.
    int source[3];
    for (int i = 0; i < 3; ++i) {
        switch (std::toupper(static_cast<unsigned char>(Order[static_cast<size_t>(i)]))) {
            case 'B': source[i] = 0; break;
            case 'G': source[i] = 1; break;
            case 'R': source[i] = 2; break;
            default: source[i] = -1; break;
        }
    }
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const bool wide = f == ieRGB48;
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        if (void* row = Bitmap->GetScanline(y)) {
            for (int32_t x = 0; x < w; ++x) {
                if (wide) {
                    // Words red, green, blue: channel c (blue first) is word 2 - c.
                    auto* p = static_cast<uint16_t*>(row) + 3 * static_cast<int64_t>(x);
                    const uint16_t in[3] = {p[2], p[1], p[0]};
                    for (int c = 0; c < 3; ++c) p[2 - c] = source[c] < 0 ? 0 : in[source[c]];
                } else {
                    auto* p = static_cast<uint8_t*>(row) + 3 * static_cast<int64_t>(x);
                    const uint8_t in[3] = {p[0], p[1], p[2]};
                    for (int c = 0; c < 3; ++c) p[c] = source[c] < 0 ? 0 : in[source[c]];
                }
            }
        }
        if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc(static_cast<double>(y) / h * 100)));
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
}

}  // namespace ie
