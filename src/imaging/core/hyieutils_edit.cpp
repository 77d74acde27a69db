// Editing and copying operations of TIEBitmap: size and layout changes, fills, single
// pixels, rectangle copies, and moving pixels between a TIEBitmap and the other pixel
// holders (TBitmap, TIEMask, TIEDibbitmap).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

namespace {

// Trunc of a value that may be out of range or not a number (then 0).
int64_t SafeTrunc(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::trunc(v));
}

// The TColor a fill value stands for (its low 32 bits).
cl::TColor ValueColor(int64_t v) { return static_cast<cl::TColor>(static_cast<uint32_t>(v)); }

// Bytes per pixel of the formats copied byte-wise (0: not byte-wise).
int32_t BytesPerPixel(TIEPixelFormat f) {
    switch (f) {
        case ie8p:
        case ie8g: return 1;
        case ie16g: return 2;
        case ie24RGB:
        case ieCIELab: return 3;
        case ie32f:
        case ieCMYK:
        case ie32RGB: return 4;
        case ieRGB48: return 6;
        default: return 0;
    }
}

// The bytes one pixel of a colour format takes for a colour (24-bit, CMYK, 48-bit, Lab);
// false for the other formats.
bool ColorPixel(TIEPixelFormat f, const TRGB& c, uint8_t (&out)[6], int32_t& size) {
    switch (f) {
        case ie24RGB:
            out[0] = c.b;
            out[1] = c.g;
            out[2] = c.r;
            size = 3;
            return true;
        case ieCMYK: {
            const TCMYK k = IERGBToCMYK(c);
            std::memcpy(out, &k, 4);
            size = 4;
            return true;
        }
        case ieRGB48:
            IEStore<uint16_t>(out, static_cast<uint16_t>(c.r * 257));
            IEStore<uint16_t>(out + 2, static_cast<uint16_t>(c.g * 257));
            IEStore<uint16_t>(out + 4, static_cast<uint16_t>(c.b * 257));
            size = 6;
            return true;
        case ieCIELab: {
            TCIELab lab;
            IERGBToCIELab(lab, (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b);
            std::memcpy(out, &lab, 3);
            size = 3;
            return true;
        }
        default: return false;
    }
}

// Whether the meaningful bits of every row are all one value (0xFF or 0x00).
bool AllRowBytesAre(TIEBitmap* b, uint8_t value) {
    const int32_t w = b->GetWidth(), h = b->GetHeight();
    if (w <= 0 || h <= 0) return false;
    const int64_t bits = static_cast<int64_t>(w) * b->GetBitCount();
    const int64_t whole = bits / 8;
    const int rest = static_cast<int>(bits % 8);
    const uint8_t restMask = static_cast<uint8_t>(0xFF00u >> rest);
    const TIEBitmapAccess saved = b->Access;
    b->Access = ieaRead;
    bool all = true;
    for (int32_t y = 0; y < h && all; ++y) {
        const auto* p = static_cast<const uint8_t*>(b->GetScanline(y));
        if (!p) {
            all = false;
            break;
        }
        for (int64_t i = 0; i < whole; ++i)
            if (p[i] != value) {
                all = false;
                break;
            }
        if (all && rest && (p[whole] & restMask) != (value & restMask)) all = false;
    }
    b->Access = saved;
    return all;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Size and layout

void TIEBitmap::SetWidth(int32_t Value) {
    if (Value == GetWidth()) return;
    if (FAlphaChannel) FAlphaChannel->SetWidth(Value);
    if (FLocation == ieTBitmap) {
        if (!FVclBitmap) {
            FVclBitmap = new cl::TBitmap();
            Encapsulated = false;
        }
        FVclBitmap->SetWidth(std::max(Value, 0));
        SyncWithVclBitmap();
        BuildVclRows();
        return;
    }
    ResizeStorage(Value, FHeight);
}

void TIEBitmap::SetHeight(int32_t Value) {
    if (Value == GetHeight()) return;
    if (FAlphaChannel) FAlphaChannel->SetHeight(Value);
    if (FLocation == ieTBitmap) {
        if (!FVclBitmap) {
            FVclBitmap = new cl::TBitmap();
            Encapsulated = false;
        }
        FVclBitmap->SetHeight(std::max(Value, 0));
        SyncWithVclBitmap();
        BuildVclRows();
        return;
    }
    ResizeStorage(FWidth, Value);
}

void TIEBitmap::ResizeStorage(int32_t NewWidth, int32_t NewHeight) {
    if (FPixelFormat == ieNone || NewWidth <= 0 || NewHeight <= 0 || FWidth == 0 || FHeight == 0) {
        // No pixels to keep: only the size changes (a size of 0 empties the image).
        if (NewWidth <= 0 || NewHeight <= 0) {
            const TIEPixelFormat f = FPixelFormat;
            std::unique_ptr<TIEBitmap> alpha = std::move(FAlphaChannel);
            FreeImage(false);
            FPixelFormat = f;
            FAlphaChannel = std::move(alpha);
        }
        FWidth = std::max(NewWidth, 0);
        FHeight = std::max(NewHeight, 0);
        if (FPixelFormat != ieNone && FWidth > 0 && FHeight > 0) {
            FNeedsAllocate = true;
            const int32_t w = FWidth, h = FHeight;
            std::unique_ptr<TIEBitmap> alpha = std::move(FAlphaChannel);
            Allocate(w, h, FPixelFormat);
            FAlphaChannel = std::move(alpha);
        } else {
            SetFormatFields(FPixelFormat);
        }
        Full = false;
        return;
    }
    auto temp = std::make_unique<TIEBitmap>();
    MoveStorageTo(temp.get());
    FNeedsAllocate = true;
    if (Allocate(NewWidth, NewHeight, temp->FPixelFormat)) {
        const int32_t rows = std::min(FHeight, temp->FHeight);
        const int32_t keep = std::min(FRowLen, temp->FRowLen);
        const TIEBitmapAccess sa = temp->Access, da = Access;
        temp->Access = ieaRead;
        Access = ieaWrite;
        for (int32_t y = 0; y < FHeight; ++y) {
            auto* d = static_cast<uint8_t*>(GetScanline(y));
            if (!d) continue;
            if (y < rows) {
                const void* s = temp->MapRow(y);
                if (s) std::memcpy(d, s, static_cast<size_t>(keep));
                temp->UnmapRow(const_cast<void*>(s));
                if (keep < FRowLen) std::memset(d + keep, 0, static_cast<size_t>(FRowLen - keep));
            } else {
                std::memset(d, 0, static_cast<size_t>(FRowLen));
            }
        }
        ReleaseScanlineRow();
        temp->Access = sa;
        Access = da;
        CopyPaletteEntriesFrom(temp.get());
    }
    // The alpha channel was given the same size before.
    FAlphaChannel = std::move(temp->FAlphaChannel);
    IsAlphaChannel = temp->IsAlphaChannel;
    Full = false;
}

void TIEBitmap::SetRowAlign(int32_t Bits) {
    if (Bits == FRowAlign) return;
    // Rows are whole bytes: other alignments would give rows shorter than their pixels.
    if (Bits < 8 || Bits % 8 != 0 || Bits > 1024) return;
    FNeedsAllocate = true;
    if (FLocation != ieMemory) return;
    auto temp = std::make_unique<TIEBitmap>();
    const int32_t w = FWidth, h = FHeight;
    const TIEPixelFormat f = FPixelFormat;
    MoveStorageTo(temp.get());
    FRowAlign = Bits;
    if (w > 0 && h > 0 && f != ieNone && Allocate(w, h, f)) {
        CopyRowsFrom(temp.get());
        CopyPaletteEntriesFrom(temp.get());
        Full = temp->Full;
    } else {
        SetFormatFields(f);
    }
    FAlphaChannel = std::move(temp->FAlphaChannel);
    IsAlphaChannel = temp->IsAlphaChannel;
}

void TIEBitmap::Resize(int32_t NewWidth, int32_t NewHeight, double Background, int32_t Alpha, uint8_t HorizAlign,
                       uint8_t VertAlign) {
    const int32_t oldW = GetWidth(), oldH = GetHeight();
    TIEBitmap* alpha = FAlphaChannel.get();
    // Shrinking: the kept part moves to the top-left first.
    if (NewWidth < oldW && (HorizAlign == 1 || HorizAlign == 2)) {
        const int32_t from = HorizAlign == 1 ? (oldW - NewWidth) / 2 : oldW - NewWidth;
        MoveRegion(from, 0, oldW - 1, oldH - 1, 0, 0, Background, true);
        if (alpha) alpha->MoveRegion(from, 0, oldW - 1, oldH - 1, 0, 0, Alpha, true);
    }
    if (NewHeight < oldH && (VertAlign == 1 || VertAlign == 2)) {
        const int32_t from = VertAlign == 1 ? (oldH - NewHeight) / 2 : oldH - NewHeight;
        MoveRegion(0, from, oldW - 1, oldH - 1, 0, 0, Background, true);
        if (alpha) alpha->MoveRegion(0, from, oldW - 1, oldH - 1, 0, 0, Alpha, true);
    }
    SetWidth(NewWidth);
    SetHeight(NewHeight);
    alpha = FAlphaChannel.get();
    const int32_t w = GetWidth(), h = GetHeight();
    // Growing: the new area is filled, then the picture moves into place.
    if (w > oldW && oldW > 0) {
        FillRect(oldW, 0, w - 1, h - 1, Background);
        if (alpha) alpha->FillRect(oldW, 0, w - 1, h - 1, Alpha);
        if (HorizAlign == 1 || HorizAlign == 2) {
            const int32_t by = HorizAlign == 1 ? (w - oldW) / 2 : w - oldW;
            MoveRegion(0, 0, oldW - 1, h - 1, by, 0, Background, true);
            if (alpha) alpha->MoveRegion(0, 0, oldW - 1, h - 1, by, 0, Alpha, true);
        }
    }
    if (h > oldH && oldH > 0) {
        FillRect(0, oldH, w - 1, h - 1, Background);
        if (alpha) alpha->FillRect(0, oldH, w - 1, h - 1, Alpha);
        if (VertAlign == 1 || VertAlign == 2) {
            const int32_t by = VertAlign == 1 ? (h - oldH) / 2 : h - oldH;
            MoveRegion(0, 0, w - 1, oldH - 1, 0, by, Background, true);
            if (alpha) alpha->MoveRegion(0, 0, w - 1, oldH - 1, 0, by, Alpha, true);
        }
    }
}

void TIEBitmap::MoveRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY, double FillValue,
                           bool Fill) {
    if (X2 < X1 || Y2 < Y1 || IsEmpty()) return;
    // The part of the region inside the image moves; the destination follows its corner.
    int64_t x1 = X1, y1 = Y1, x2 = std::min(X2, FWidth - 1), y2 = std::min(Y2, FHeight - 1);
    int64_t dx = DstX, dy = DstY;
    if (x1 < 0) {
        dx -= x1;
        x1 = 0;
    }
    if (y1 < 0) {
        dy -= y1;
        y1 = 0;
    }
    if (x2 < x1 || y2 < y1) {
        if (Fill) FillRect(X1, Y1, X2, Y2, FillValue);
        return;
    }
    const auto w = static_cast<int32_t>(x2 - x1 + 1), h = static_cast<int32_t>(y2 - y1 + 1);
    TIEBitmap temp;
    temp.MinFileSize = MinFileSize;
    if (!temp.Allocate(w, h, FPixelFormat)) return;
    CopyRectTo(&temp, static_cast<int32_t>(x1), static_cast<int32_t>(y1), 0, 0, w, h);
    if (Fill) FillRect(X1, Y1, X2, Y2, FillValue);
    auto clampInt = [](int64_t v) {
        return static_cast<int32_t>(
            std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    };
    temp.CopyRectTo(this, 0, 0, clampInt(dx), clampInt(dy), w, h);
}

// ---------------------------------------------------------------------------------------
// Filling

void TIEBitmap::Fill(double Value) {
    const int32_t w = GetWidth(), h = GetHeight();
    const TIEPixelFormat f = GetPixelFormat();
    if (f == ieNone || w <= 0 || h <= 0) return;
    const int64_t v = SafeTrunc(Value);
    const int32_t len = FRowLen;
    // Build one row, then copy it into every row.
    std::vector<uint8_t> row(static_cast<size_t>(len), 0);
    bool full = false;
    switch (f) {
        case ie1g:
            std::memset(row.data(), v != 0 ? 255 : 0, row.size());
            full = v != 0;
            break;
        case ie8p:
        case ie8g:
            std::memset(row.data(), static_cast<uint8_t>(v), row.size());
            full = static_cast<uint8_t>(v) == 255;
            break;
        case ie16g:
            for (int32_t x = 0; x < w; ++x) IEStore<uint16_t>(row.data() + 2 * x, static_cast<uint16_t>(v));
            full = static_cast<uint16_t>(v) == 65535;
            break;
        case ie32f:
            for (int32_t x = 0; x < w; ++x) IEStore<float>(row.data() + 4 * x, static_cast<float>(Value));
            full = Value == 1.0;
            break;
        case ie32RGB: {
            // The fourth byte of every pixel stays as it was: rows are rewritten in place.
            const TRGB c = IEColorToRGB(ValueColor(v));
            const TIEBitmapAccess saved = Access;
            Access = ieaRead | ieaWrite;
            for (int32_t y = 0; y < h; ++y) {
                auto* p = static_cast<uint8_t*>(GetScanline(y));
                if (!p) continue;
                for (int32_t x = 0; x < w; ++x) {
                    p[4 * x] = c.b;
                    p[4 * x + 1] = c.g;
                    p[4 * x + 2] = c.r;
                }
            }
            ReleaseScanlineRow();
            Access = saved;
            Full = c.r == 255 && c.g == 255 && c.b == 255;
            return;
        }
        default: {
            const TRGB c = IEColorToRGB(ValueColor(v));
            uint8_t pixel[6];
            int32_t size = 0;
            if (!ColorPixel(f, c, pixel, size)) return;
            for (int32_t x = 0; x < w; ++x) std::memcpy(row.data() + static_cast<size_t>(x) * size, pixel, size);
            full = c.r == 255 && c.g == 255 && c.b == 255;
            break;
        }
    }
    const TIEBitmapAccess saved = Access;
    Access = ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        void* p = GetScanline(y);
        if (p) std::memcpy(p, row.data(), row.size());
    }
    ReleaseScanlineRow();
    Access = saved;
    Full = full;
}

void TIEBitmap::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value) {
    const int32_t w = GetWidth(), h = GetHeight();
    const TIEPixelFormat f = GetPixelFormat();
    if (f == ieNone || w <= 0 || h <= 0) return;
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, w - 1);
    Y2 = std::min(Y2, h - 1);
    if (Y2 < Y1 || X2 < X1) return;
    const int64_t v = SafeTrunc(Value);
    const int32_t n = X2 - X1 + 1;
    uint8_t pixel[6] = {};
    int32_t size = 0;
    switch (f) {
        case ie1g: break;
        case ie8p:
        case ie8g:
            pixel[0] = static_cast<uint8_t>(v);
            size = 1;
            break;
        case ie16g:
            IEStore<uint16_t>(pixel, static_cast<uint16_t>(v));
            size = 2;
            break;
        case ie32f:
            // Whole numbers only: the value is truncated first.
            IEStore<float>(pixel, static_cast<float>(v));
            size = 4;
            break;
        case ie32RGB: {
            const TRGB c = IEColorToRGB(ValueColor(v));
            pixel[0] = c.b;
            pixel[1] = c.g;
            pixel[2] = c.r;
            size = 3;  // of 4: the fourth byte stays
            break;
        }
        default:
            if (!ColorPixel(f, IEColorToRGB(ValueColor(v)), pixel, size)) return;
            break;
    }
    const int32_t stride = f == ie32RGB ? 4 : size;
    for (int32_t y = Y1; y <= Y2; ++y) {
        auto* p = static_cast<uint8_t*>(GetScanline(y));
        if (!p) continue;
        if (f == ie1g) {
            for (int32_t x = X1; x <= X2; ++x) IESetBit(p, x, v != 0);
        } else if (size == 1) {
            std::memset(p + X1, pixel[0], static_cast<size_t>(n));
        } else {
            for (int32_t x = X1; x <= X2; ++x) std::memcpy(p + static_cast<size_t>(x) * stride, pixel, size);
        }
    }
    ReleaseScanlineRow();
}

// ---------------------------------------------------------------------------------------
// Single pixels. Coordinates outside the image read as 0 and write nothing.

uint8_t* TIEBitmap::PixelAddress(int32_t X, int32_t Y, int32_t Bytes) {
    if (X < 0 || X >= FWidth || Y < 0 || Y >= FHeight || Bytes <= 0) return nullptr;
    if (static_cast<int64_t>(X + 1) * Bytes > FRowLen) return nullptr;
    auto* row = static_cast<uint8_t*>(GetScanline(Y));
    return row ? row + static_cast<size_t>(X) * Bytes : nullptr;
}

uint8_t TIEBitmap::GetPixel8(int32_t X, int32_t Y) {
    const uint8_t* p = PixelAddress(X, Y, 1);
    return p ? *p : 0;
}

void TIEBitmap::SetPixel8(int32_t X, int32_t Y, uint8_t Value) {
    if (uint8_t* p = PixelAddress(X, Y, 1)) {
        *p = Value;
        if (Value < 255) Full = false;
    }
}

uint16_t TIEBitmap::GetPixel16(int32_t X, int32_t Y) {
    const uint8_t* p = PixelAddress(X, Y, 2);
    return p ? IELoad<uint16_t>(p) : 0;
}

void TIEBitmap::SetPixel16(int32_t X, int32_t Y, uint16_t Value) {
    if (uint8_t* p = PixelAddress(X, Y, 2)) {
        IEStore<uint16_t>(p, Value);
        if (Value < 65535) Full = false;
    }
}

float TIEBitmap::GetPixel32f(int32_t X, int32_t Y) {
    const uint8_t* p = PixelAddress(X, Y, 4);
    return p ? IELoad<float>(p) : 0.0f;
}

void TIEBitmap::SetPixel32f(int32_t X, int32_t Y, float Value) {
    if (uint8_t* p = PixelAddress(X, Y, 4)) {
        IEStore<float>(p, Value);
        if (!(Value >= 1.0f)) Full = false;
    }
}

TCMYK TIEBitmap::GetPixelCMYK(int32_t X, int32_t Y) {
    const uint8_t* p = PixelAddress(X, Y, 4);
    TCMYK c;
    if (p) std::memcpy(&c, p, 4);
    return c;
}

void TIEBitmap::SetPixelCMYK(int32_t X, int32_t Y, const TCMYK& Value) {
    if (uint8_t* p = PixelAddress(X, Y, 4)) std::memcpy(p, &Value, 4);
}

TRGB TIEBitmap::GetPixel24(int32_t X, int32_t Y) {
    const uint8_t* p = PixelAddress(X, Y, 3);
    TRGB c;
    if (p) std::memcpy(&c, p, 3);
    return c;
}

void TIEBitmap::SetPixel24(int32_t X, int32_t Y, const TRGB& Value) {
    if (uint8_t* p = PixelAddress(X, Y, 3)) std::memcpy(p, &Value, 3);
}

TRGB48 TIEBitmap::GetPixel48(int32_t X, int32_t Y) {
    const uint8_t* p = PixelAddress(X, Y, 6);
    TRGB48 c;
    if (p) std::memcpy(&c, p, 6);
    return c;
}

void TIEBitmap::SetPixel48(int32_t X, int32_t Y, const TRGB48& Value) {
    if (uint8_t* p = PixelAddress(X, Y, 6)) {
        std::memcpy(p, &Value, 6);
        if (Value.r != 65535 || Value.g != 65535 || Value.b != 65535) Full = false;
    }
}

TRGB* TIEBitmap::GetPixel24Ptr(int32_t X, int32_t Y) { return reinterpret_cast<TRGB*>(PixelAddress(X, Y, 3)); }

TRGB TIEBitmap::GetPixelRGB(int32_t X, int32_t Y) {
    if (X < 0 || X >= GetWidth() || Y < 0 || Y >= FHeight) return TRGB{};
    const auto* row = static_cast<const uint8_t*>(GetScanline(Y));
    if (!row) return TRGB{};
    switch (FPixelFormat) {
        case ie1g: {
            const uint8_t v = IEGetBit(row, X) ? 255 : 0;
            return TRGB{v, v, v};
        }
        case ie8p: {
            TRGB c{};
            GetPaletteEntry(row[X], c);
            return c;
        }
        case ie8g: return TRGB{row[X], row[X], row[X]};
        case ie16g: return TRGB{row[2 * X + 1], row[2 * X + 1], row[2 * X + 1]};
        case ie24RGB: return TRGB{row[3 * X], row[3 * X + 1], row[3 * X + 2]};
        case ie32f: {
            const float v = IELoad<float>(row + 4 * X);
            const auto g = static_cast<uint8_t>(std::isfinite(v) ? std::trunc(std::clamp(v, 0.0f, 1.0f) * 255) : 0);
            return TRGB{g, g, g};
        }
        case ieCMYK: return IECMYKToRGB(TCMYK{row[4 * X], row[4 * X + 1], row[4 * X + 2], row[4 * X + 3]});
        case ieRGB48: return CreateRGB(row[6 * X + 1], row[6 * X + 3], row[6 * X + 5]);
        case ieCIELab: {
            TCIELab lab;
            std::memcpy(&lab, row + 3 * X, 3);
            TRGB c;
            IECIELabToRGB(c, lab);
            return c;
        }
        case ie32RGB: return TRGB{row[4 * X], row[4 * X + 1], row[4 * X + 2]};
        default: return TRGB{};
    }
}

uint8_t TIEBitmap::GetAlpha(int32_t X, int32_t Y) {
    if (IsAlphaChannel) return GetPixel8(X, Y);
    TIEBitmap* a = GetAlphaChannel();
    return a ? a->GetPixel8(X, Y) : 255;
}

void TIEBitmap::SetAlpha(int32_t X, int32_t Y, uint8_t Value) {
    if (IsAlphaChannel) {
        SetPixel8(X, Y, Value);
    } else if (TIEBitmap* a = GetAlphaChannel()) {
        a->SetPixel8(X, Y, Value);
    }
    if (Value != 255) Full = false;
}

// ---------------------------------------------------------------------------------------
// Copying

namespace {

// The rectangle of a copy cut to both bitmaps; false when nothing is left.
bool ClipCopy(int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH, int64_t& sx, int64_t& sy, int64_t& dx,
              int64_t& dy, int64_t& w, int64_t& h) {
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        h += dy;
        dy = 0;
    }
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    w = std::min({w, srcW - sx, dstW - dx});
    h = std::min({h, srcH - sy, dstH - dy});
    return w > 0 && h > 0;
}

}  // namespace

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t RectWidth,
                           int32_t RectHeight) {
    if (!Dest) return;
    const TIEPixelFormat sf = GetPixelFormat(), df = Dest->GetPixelFormat();
    const bool bits = sf == ie1g && df == ie1g;
    const bool expand = sf == ie1g && df == ie24RGB;
    const int32_t bpp = sf == df ? BytesPerPixel(sf) : 0;
    if (!bits && !expand && bpp == 0) return;
    int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = RectWidth, h = RectHeight;
    if (!ClipCopy(GetWidth(), GetHeight(), Dest->GetWidth(), Dest->GetHeight(), sx, sy, dx, dy, w, h)) return;
    if (Dest == this) {
        // A copy within one bitmap goes through a copy of the rectangle.
        TIEBitmap temp;
        temp.MinFileSize = MinFileSize;
        if (!temp.Allocate(static_cast<int32_t>(w), static_cast<int32_t>(h), sf)) return;
        CopyRectTo(&temp, static_cast<int32_t>(sx), static_cast<int32_t>(sy), 0, 0, static_cast<int32_t>(w),
                   static_cast<int32_t>(h));
        temp.CopyRectTo(this, 0, 0, static_cast<int32_t>(dx), static_cast<int32_t>(dy), static_cast<int32_t>(w),
                        static_cast<int32_t>(h));
        return;
    }
    const TIEBitmapAccess sa = Access;
    Access = ieaRead;
    const int32_t srcLen = FRowLen;
    for (int64_t i = 0; i < h; ++i) {
        const auto* s = static_cast<const uint8_t*>(MapRow(static_cast<int32_t>(sy + i)));
        auto* d = static_cast<uint8_t*>(Dest->GetScanline(static_cast<int32_t>(dy + i)));
        if (s && d) {
            if (bits) {
                IECopyBits(d, s, static_cast<int32_t>(dx), srcLen, static_cast<int32_t>(w), static_cast<int32_t>(sx));
            } else if (expand) {
                for (int64_t x = 0; x < w; ++x) std::memset(d + 3 * (dx + x), IEGetBit(s, sx + x) ? 255 : 0, 3);
            } else {
                std::memcpy(d + dx * bpp, s + sx * bpp, static_cast<size_t>(w * bpp));
            }
        }
        UnmapRow(const_cast<uint8_t*>(s));
    }
    Dest->ReleaseScanlineRow();
    Access = sa;
}

void TIEBitmap::MergeAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                                 int32_t RectWidth, int32_t RectHeight) {
    if (!Dest || Dest == this) return;
    TIEBitmap* sa = IsAlphaChannel ? this : GetAlphaChannel();
    TIEBitmap* da = Dest->IsAlphaChannel ? Dest : Dest->GetAlphaChannel();
    if (!sa || !da || sa == da || sa->GetPixelFormat() != ie8g || da->GetPixelFormat() != ie8g) return;
    int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = RectWidth, h = RectHeight;
    if (!ClipCopy(sa->GetWidth(), sa->GetHeight(), da->GetWidth(), da->GetHeight(), sx, sy, dx, dy, w, h)) return;
    const TIEBitmapAccess saved = sa->Access;
    sa->Access = ieaRead;
    for (int64_t i = 0; i < h; ++i) {
        const auto* s = static_cast<const uint8_t*>(sa->MapRow(static_cast<int32_t>(sy + i)));
        auto* d = static_cast<uint8_t*>(da->GetScanline(static_cast<int32_t>(dy + i)));
        if (s && d)
            for (int64_t x = 0; x < w; ++x) d[dx + x] = std::max(d[dx + x], s[sx + x]);
        sa->UnmapRow(const_cast<uint8_t*>(s));
    }
    da->ReleaseScanlineRow();
    sa->Access = saved;
    da->Full = false;
}

void TIEBitmap::CopyFromTBitmap(cl::TBitmap* Bitmap) {
    if (!Bitmap) return;
    if (FLocation == ieTBitmap) {
        // The caller's bitmap becomes one of the formats a TIEBitmap takes from it.
        const cl::TPixelFormat vf = Bitmap->GetPixelFormat();
        if (vf != cl::pf1bit && vf != cl::pf24bit && vf != cl::pf32bit) Bitmap->SetPixelFormat(cl::pf24bit);
        if (!FVclBitmap || Encapsulated) {
            FreeImage(true);
            FVclBitmap = new cl::TBitmap();
            Encapsulated = false;
        }
        FVclBitmap->Assign(Bitmap);
        FWidth = FVclBitmap->GetWidth();
        FHeight = FVclBitmap->GetHeight();
        const cl::TPixelFormat nf = FVclBitmap->GetPixelFormat();
        SetFormatFields(nf == cl::pf1bit ? ie1g : nf == cl::pf32bit ? ie32RGB : ie24RGB);
        BuildVclRows();
        FNeedsAllocate = false;
        return;
    }
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const cl::TPixelFormat vf = Bitmap->GetPixelFormat();
    TIEPixelFormat f;
    switch (vf) {
        case cl::pf1bit: f = Bitmap->GetMonochrome() ? ie1g : ie8p; break;
        case cl::pf4bit:
        case cl::pf8bit: f = ie8p; break;
        case cl::pf15bit:
        case cl::pf16bit:
        case cl::pf24bit: f = ie24RGB; break;
        case cl::pf32bit: f = ie32RGB; break;
        default: return;
    }
    if (!Allocate(w, h, f)) return;
    if (f == ie8p) {
        std::fill(FPalette.get(), FPalette.get() + 256, TRGB{});
        const auto& table = Bitmap->GetColorTable();
        for (size_t i = 0; i < table.size() && i < 256; ++i)
            FPalette[i] = TRGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
    }
    const int32_t len = static_cast<int32_t>(std::min<int64_t>(FRowLen, Bitmap->RowBytes()));
    const TIEBitmapAccess da = Access;
    Access = ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        const auto* s = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
        auto* d = static_cast<uint8_t*>(GetScanline(y));
        if (!d) break;
        std::memset(d, 0, static_cast<size_t>(FRowLen));
        switch (vf) {
            case cl::pf1bit:
                if (f == ie1g) {
                    std::memcpy(d, s, static_cast<size_t>(len));
                } else {
                    for (int32_t x = 0; x < w; ++x) d[x] = IEGetBit(s, x) ? 1 : 0;
                }
                break;
            case cl::pf4bit:
                for (int32_t x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x / 2] & 15) : (s[x / 2] >> 4);
                break;
            case cl::pf15bit:
                for (int32_t x = 0; x < w; ++x) {
                    const uint16_t v = IELoad<uint16_t>(s + 2 * x);
                    d[3 * x + 2] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
                    d[3 * x + 1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
                    d[3 * x] = static_cast<uint8_t>((v & 31) << 3);
                }
                break;
            case cl::pf16bit:
                for (int32_t x = 0; x < w; ++x) {
                    const uint16_t v = IELoad<uint16_t>(s + 2 * x);
                    d[3 * x + 2] = static_cast<uint8_t>((v >> 11) << 3);
                    d[3 * x + 1] = static_cast<uint8_t>(((v >> 5) & 63) << 2);
                    d[3 * x] = static_cast<uint8_t>((v & 31) << 3);
                }
                break;
            default: std::memcpy(d, s, static_cast<size_t>(len)); break;
        }
    }
    ReleaseScanlineRow();
    Access = da;
    Full = false;
}

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask) {
    if (!Mask) {
        Fill(255);
        return;
    }
    if (Mask->BitsPerPixel != 1 && Mask->BitsPerPixel != 8) return;
    if (!Allocate(Mask->Width, Mask->Height, Mask->BitsPerPixel == 1 ? ie1g : ie8g)) return;
    const int32_t len = std::min(FRowLen, Mask->RowLen);
    const TIEBitmapAccess da = Access;
    Access = ieaWrite;
    for (int32_t y = 0; y < FHeight; ++y) {
        auto* d = static_cast<uint8_t*>(GetScanline(y));
        const void* s = Mask->GetScanline(y);
        if (!d || !s) continue;
        std::memcpy(d, s, static_cast<size_t>(len));
        if (len < FRowLen) std::memset(d + len, 0, static_cast<size_t>(FRowLen - len));
    }
    ReleaseScanlineRow();
    Access = da;
    Full = Mask->Full;
}

void TIEBitmap::CopyFromTIEDibbitmap(TIEDibbitmap* Dib) {
    if (!Dib || !Dib->Bits) return;
    TIEPixelFormat f;
    switch (Dib->BitCount) {
        case 1: f = ie1g; break;
        case 8: f = ie8g; break;
        case 24: f = ie24RGB; break;
        default: return;
    }
    if (!Allocate(Dib->Width, Dib->Height, f)) return;
    const int32_t h = GetHeight();
    const int32_t len = std::min(GetRowLen(), Dib->RowLen);
    const TIEBitmapAccess da = Access;
    Access = ieaRead | ieaWrite;
    for (int32_t y = 0; y < h; ++y) {
        void* d = GetScanline(y);
        const void* s = Dib->GetScanline(y);
        if (d && s) std::memcpy(d, s, static_cast<size_t>(len));
    }
    ReleaseScanlineRow();
    Access = da;
    Full = false;
}

void TIEBitmap::CopyToTIEMask(TIEMask* Mask) {
    if (!Mask) return;
    const TIEPixelFormat f = GetPixelFormat();
    if (f != ie1g && f != ie8g && f != ie24RGB) return;
    const int32_t w = GetWidth(), h = GetHeight();
    Mask->Allocate(w, h, f == ie1g ? 1 : 8);
    if (Mask->Width != w || Mask->Height != h) return;
    const TIEBitmapAccess saved = Access;
    Access = ieaRead;
    const int32_t len = std::min(FRowLen, Mask->RowLen);
    for (int32_t y = 0; y < h; ++y) {
        const auto* s = static_cast<const uint8_t*>(GetScanline(y));
        auto* d = static_cast<uint8_t*>(Mask->GetScanline(y));
        if (!s || !d) continue;
        if (f == ie24RGB) {
            for (int32_t x = 0; x < w; ++x)
                d[x] = static_cast<uint8_t>((s[3 * x + 2] * 21 + s[3 * x + 1] * 71 + s[3 * x] * 8) / 100 / 4);
        } else {
            std::memcpy(d, s, static_cast<size_t>(len));
        }
    }
    ReleaseScanlineRow();
    Access = saved;
    if (f != ie24RGB) Mask->Full = Full;
    // The box follows the pixels copied in.
    Mask->SyncRect();
}

// ---------------------------------------------------------------------------------------
// Tests over the pixels

void TIEBitmap::SyncFull() { Full = AllRowBytesAre(this, 255); }

bool TIEBitmap::IsAllZero() { return AllRowBytesAre(this, 0); }

bool TIEBitmap::IsGrayScale() {
    const TIEPixelFormat f = GetPixelFormat();
    if (f == ie8p) {
        if (!FPalette) return true;
        for (int32_t i = 0; i < FPaletteLength; ++i)
            if (FPalette[i].r != FPalette[i].g || FPalette[i].g != FPalette[i].b) return false;
        return true;
    }
    if (f != ie24RGB && f != ie32RGB && f != ieRGB48) return true;
    const int32_t w = FWidth, h = FHeight;
    const TIEBitmapAccess saved = Access;
    Access = ieaRead;
    bool grey = true;
    for (int32_t y = 0; y < h && grey; ++y) {
        const auto* p = static_cast<const uint8_t*>(GetScanline(y));
        if (!p) continue;
        for (int32_t x = 0; x < w; ++x) {
            if (f == ieRGB48) {
                const uint8_t* q = p + 6 * x;
                if (IELoad<uint16_t>(q) != IELoad<uint16_t>(q + 2) ||
                    IELoad<uint16_t>(q + 2) != IELoad<uint16_t>(q + 4)) {
                    grey = false;
                    break;
                }
            } else {
                const uint8_t* q = p + (f == ie24RGB ? 3 : 4) * x;
                if (q[0] != q[1] || q[1] != q[2]) {
                    grey = false;
                    break;
                }
            }
        }
    }
    ReleaseScanlineRow();
    Access = saved;
    return grey;
}

}  // namespace ie
