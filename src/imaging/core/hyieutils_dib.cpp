#include <cstring>
#include <limits>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_helpers.h"
#include "platform/gdi.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// TIEDibbitmap

TIEDibbitmap::~TIEDibbitmap() { FreeBits(); }

void* TIEDibbitmap::GetScanline(int32_t Row) {
    if (!Bits || Row < 0 || Row >= Height) return nullptr;
    return static_cast<uint8_t*>(Bits) + static_cast<size_t>(RowLen) * static_cast<size_t>(Height - 1 - Row);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() {
    if (BitCount == 1) return ie1g;
    if (BitCount == 24) return ie24RGB;
    return ieNone;
}

void TIEDibbitmap::GetPaletteEntry(int32_t, TRGB& Color) { Color = TRGB{0, 0, 0}; }

bool TIEDibbitmap::Allocate(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat) {
    if (ImagePixelFormat == ie1g) return AllocateBits(ImageWidth, ImageHeight, 1);
    if (ImagePixelFormat == ie24RGB) return AllocateBits(ImageWidth, ImageHeight, 24);
    return false;
}

void TIEDibbitmap::Assign(cl::TObject* Source) {
    auto* src = dynamic_cast<TIEDibbitmap*>(Source);
    if (!src || src == this) return;
    if (!src->Bits) {
        FreeBits();
        return;
    }
    if (AllocateBits(src->Width, src->Height, src->BitCount))
        std::memcpy(Bits, src->Bits, static_cast<size_t>(RowLen) * static_cast<size_t>(Height));
}

bool TIEDibbitmap::AllocateBits(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount) {
    if (BmpWidth <= 0 || BmpHeight <= 0 || (BmpBitCount != 1 && BmpBitCount != 24)) return false;
    const int64_t rowLen = IEBitmapRowLen(BmpWidth, BmpBitCount, 32);
    const int64_t size = rowLen * BmpHeight;
    if (rowLen <= 0 || rowLen > std::numeric_limits<int32_t>::max() || size > std::numeric_limits<uint32_t>::max())
        return false;
    FreeBits();
    Width = BmpWidth;
    Height = BmpHeight;
    BitCount = BmpBitCount;
    RowLen = static_cast<int32_t>(rowLen);
    DC = win::CreateCompatibleDC(nullptr);
    if (!DC) return false;
    FInfo = Info{};
    FInfo.Header.biSize = sizeof(win::BITMAPINFOHEADER);
    FInfo.Header.biWidth = Width;
    FInfo.Header.biHeight = Height;  // positive: rows bottom-up
    FInfo.Header.biPlanes = 1;
    FInfo.Header.biBitCount = static_cast<win::WORD>(BitCount);
    FInfo.Header.biCompression = win::BI_RGB;
    FInfo.Header.biSizeImage = static_cast<win::DWORD>(size);
    FInfo.Colors[0] = win::RGBQUAD{0, 0, 0, 0};
    FInfo.Colors[1] = win::RGBQUAD{255, 255, 255, 0};
    void* bits = nullptr;
    Dib = win::CreateDIBSection(DC, reinterpret_cast<const win::BITMAPINFO*>(&FInfo), win::DIB_RGB_COLORS, &bits,
                                nullptr, 0);
    if (!Dib || !bits) {
        Dib = nullptr;
        return false;
    }
    Bits = bits;
    win::SelectObject(DC, Dib);
    return true;
}

void TIEDibbitmap::FreeBits() {
    if (DC) win::DeleteDC(DC);
    if (Dib) win::DeleteObject(Dib);
    DC = nullptr;
    Dib = nullptr;
    Bits = nullptr;
    Width = 0;
    Height = 0;
    BitCount = 0;
    RowLen = 0;
}

// ---------------------------------------------------------------------------------------
// TIEWorkBitmap

TIEWorkBitmap::TIEWorkBitmap(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount) {
    if (BmpWidth > 0 && BmpHeight > 0) Allocate(BmpWidth, BmpHeight, BmpBitCount);
}

TIEWorkBitmap::~TIEWorkBitmap() { FreeBits(); }

bool TIEWorkBitmap::Allocate(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount) {
    if (Bits && BmpWidth == Width && BmpHeight == Height && BmpBitCount == BitCount) return true;
    FreeBits();
    const int64_t rowLen = IEBitmapRowLen(BmpWidth, BmpBitCount, 32);
    if (BmpHeight <= 0 || rowLen <= 0 || rowLen > std::numeric_limits<int32_t>::max()) return false;
    Bits = IEAutoAlloc(static_cast<uint64_t>(rowLen) * static_cast<uint64_t>(BmpHeight));
    if (!Bits) return false;
    Width = BmpWidth;
    Height = BmpHeight;
    BitCount = BmpBitCount;
    RowLen = static_cast<int32_t>(rowLen);
    return true;
}

void* TIEWorkBitmap::GetScanline(int32_t Row) {
    if (!Bits || Row < 0 || Row >= Height) return nullptr;
    return static_cast<uint8_t*>(Bits) + static_cast<size_t>(RowLen) * static_cast<size_t>(Height - 1 - Row);
}

void TIEWorkBitmap::FreeBits() {
    IEAutoFree(Bits);
    Width = 0;
    Height = 0;
    BitCount = 0;
    RowLen = 0;
}

}  // namespace ie
