#include "imaging/processing/vovozidproc_dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

namespace {

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) | (uint32_t(uint8_t(s[2])) << 16) |
           (uint32_t(uint8_t(s[3])) << 24);
}

// A bounded block of bytes.
struct TBlock {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    bool Fits(size_t Offset, size_t Count) const { return Data && Offset <= Size && Count <= Size - Offset; }
};

// Writes one pixel into a 24-bit row.
inline void Put(uint8_t* row, int32_t x, const uint8_t* bgr) { std::memcpy(row + 3 * static_cast<size_t>(x), bgr, 3); }

// The rows of a bitmap written one source row at a time.
struct TRowWriter {
    TIEBitmap* Bitmap;
    bool TopDown;
    int32_t Height;
    uint8_t* Row(int32_t k) { return static_cast<uint8_t*>(Bitmap->GetScanline(TopDown ? k : Height - 1 - k)); }
};

// A packed layout of GroupBytes bytes for GroupPixels pixels; Decode writes the group's
// pixels (as many as lie inside the row) from its bytes.
template <class Decode>
bool ConvertPacked(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown, int32_t GroupBytes,
                   int32_t GroupPixels, Decode decode) {
    if (!Data || !Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return false;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) return false;
    const int64_t groups = (w + GroupPixels - 1) / GroupPixels;
    const int64_t rowBytes = groups * GroupBytes;
    if (rowBytes * h > static_cast<int64_t>(Size)) return false;
    const auto* s = static_cast<const uint8_t*>(Data);
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    TRowWriter out{Bitmap, TopDown, h};
    uint8_t px[8][3];
    for (int32_t k = 0; k < h; ++k) {
        uint8_t* row = out.Row(k);
        const uint8_t* src = s + k * rowBytes;
        for (int64_t g = 0; g < groups && row; ++g) {
            decode(src + g * GroupBytes, px);
            for (int32_t i = 0; i < GroupPixels; ++i) {
                const int64_t x = g * GroupPixels + i;
                if (x < w) Put(row, static_cast<int32_t>(x), px[i]);
            }
        }
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
    return true;
}

// A planar layout: the Y plane, then two chroma planes of one sample per Block x Block
// pixels (FirstIsV: the V plane comes first).
bool ConvertPlanar(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown, int32_t Block, bool FirstIsV) {
    if (!Data || !Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return false;
    const int64_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) return false;
    const int64_t cw = (w + Block - 1) / Block, ch = (h + Block - 1) / Block;
    const int64_t need = w * h + 2 * cw * ch;
    if (need > static_cast<int64_t>(Size)) return false;
    const auto* y = static_cast<const uint8_t*>(Data);
    const uint8_t* first = y + w * h;
    const uint8_t* second = first + cw * ch;
    const uint8_t* vPlane = FirstIsV ? first : second;
    const uint8_t* uPlane = FirstIsV ? second : first;
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    TRowWriter out{Bitmap, TopDown, static_cast<int32_t>(h)};
    uint8_t px[3];
    for (int64_t k = 0; k < h; ++k) {
        uint8_t* row = out.Row(static_cast<int32_t>(k));
        if (!row) continue;
        const int64_t c = (k / Block) * cw;
        for (int64_t x = 0; x < w; ++x) {
            IEYUVToBGR(y[k * w + x], uPlane[c + x / Block], vPlane[c + x / Block], px);
            Put(row, static_cast<int32_t>(x), px);
        }
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
    return true;
}

// The colour table of an indexed DIB as 24-bit colours (entries beyond the table black).
std::vector<TRGB> ColourTable(const uint8_t* table, uint32_t entries) {
    std::vector<TRGB> colours(256);
    for (uint32_t i = 0; i < std::min<uint32_t>(entries, 256); ++i)
        colours[i] = TRGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]};
    return colours;
}

// Run-length rows (BI_RLE8 with Nibbles false, BI_RLE4 with true) into colour indexes, the
// first decoded row being the bottom one. Runs, absolute stretches and moves that leave the
// picture are cut at its edge; data that end early leave the rest at index 0.
void DecodeRLE(const TBlock& data, bool Nibbles, int32_t w, int32_t h, std::vector<uint8_t>& indexes) {
    indexes.assign(static_cast<size_t>(w) * h, 0);
    int64_t x = 0, y = 0;
    size_t p = 0;
    auto put = [&](uint8_t v) {
        if (x < w && y < h) indexes[static_cast<size_t>(y * w + x)] = v;
        ++x;
    };
    while (p + 2 <= data.Size && y < h) {
        const uint8_t count = data.Data[p], value = data.Data[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < w; ++i)
                put(Nibbles ? static_cast<uint8_t>(i & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move
            if (p + 2 > data.Size) break;
            x += data.Data[p];
            y += data.Data[p + 1];
            p += 2;
        } else {  // an absolute stretch of `value` pixels, padded to a whole word
            const size_t bytes = Nibbles ? (value + 1u) / 2 : value;
            if (p + bytes > data.Size) break;
            for (int i = 0; i < value; ++i) {
                const uint8_t b = data.Data[p + (Nibbles ? i / 2 : i)];
                put(Nibbles ? static_cast<uint8_t>(i & 1 ? b & 15 : b >> 4) : b);
            }
            p += (bytes + 1) & ~size_t{1};
        }
    }
}

// Bytes of samples a YUV layout needs for a w x h frame; 0 for a code that names none.
// Sizes beyond 2^62 bytes are given as 2^62 (no block holds them).
int64_t FrameBytes(uint32_t code, int64_t w, int64_t h) {
    auto limit = [](__int128 v) { return static_cast<int64_t>(std::min<__int128>(v, __int128{1} << 62)); };
    auto packed = [&](int64_t groupBytes, int64_t groupPixels) {
        return limit(__int128{(w + groupPixels - 1) / groupPixels} * groupBytes * h);
    };
    auto planar = [&](int64_t block) {
        return limit(__int128{w} * h + __int128{2} * ((w + block - 1) / block) * ((h + block - 1) / block));
    };
    switch (code) {
        case FourCC("IYU1"): return packed(6, 4);
        case FourCC("IYU2"): return packed(3, 1);
        case FourCC("UYVY"):
        case FourCC("UYNV"):
        case FourCC("cyuv"):
        case FourCC("YUY2"):
        case FourCC("YUNV"):
        case FourCC("YVYU"): return packed(4, 2);
        case FourCC("Y41P"): return packed(12, 8);
        case FourCC("Y211"):
        case FourCC("CLJR"): return packed(4, 4);
        case FourCC("YVU9"): return planar(4);
        case FourCC("YV12"):
        case FourCC("I420"):
        case FourCC("IYUV"): return planar(2);
        default: return 0;
    }
}

int32_t Load(const uint8_t* dib, size_t size, TIEBitmap* Bitmap, const uint8_t* bits, size_t bitsSize) {
    if (!dib || !Bitmap || size < 40) return 0;
    const uint32_t headerSize = IEGetU32LE(dib);
    const int32_t width = static_cast<int32_t>(IEGetU32LE(dib + 4));
    const int32_t height = static_cast<int32_t>(IEGetU32LE(dib + 8));
    const int32_t bitCount = IEGetU16LE(dib + 14);
    const uint32_t compression = IEGetU32LE(dib + 16);
    const uint32_t clrUsed = IEGetU32LE(dib + 32);
    if (headerSize < 40 || headerSize > size || bitCount == 0) return 0;
    if (width <= 0 || height == 0 || height == INT32_MIN) return 0;
    const int32_t h = height < 0 ? -height : height;
    const bool topDownRows = height < 0;
    const int64_t rowLen = (static_cast<int64_t>(width) * bitCount + 31) / 32 * 4;
    const TBlock header{dib, size};

    // Where the pixels come from and how many bytes they need.
    const bool indexed = bitCount == 1 || bitCount == 4 || bitCount == 8;
    const uint32_t entries = indexed ? (clrUsed ? clrUsed : 1u << bitCount) : 0;
    if (indexed && (entries > (size - headerSize) / 4)) return 0;
    size_t dataOffset = headerSize + static_cast<size_t>(entries) * 4;
    const bool fields = compression == 3;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    TBlock data;
    if (bits) {
        data = TBlock{bits, bitsSize};
        if (bitCount == 16 && fields) {
            if (!data.Fits(0, 12)) return 0;
            for (int i = 0; i < 3; ++i) masks[i] = IEGetU32LE(bits + 4 * i);
            data = TBlock{bits + 12, bitsSize - 12};
        }
    } else {
        if ((bitCount == 16 || bitCount == 32) && fields) {
            if (!header.Fits(headerSize, 12)) return 0;
            for (int i = 0; i < 3; ++i) masks[i] = IEGetU32LE(dib + headerSize + 4 * i);
            dataOffset = headerSize + 12;
        }
        if (dataOffset > size) return 0;
        data = TBlock{dib + dataOffset, size - dataOffset};
    }

    const bool rle = (compression == 1 && bitCount == 8) || (compression == 2 && bitCount == 4);
    const bool fourcc = compression > 3;
    if (rle && topDownRows) return 0;  // run-length pictures are always stored bottom-up
    const int64_t pixels = static_cast<int64_t>(width) * h;
    if (rle && pixels > IEDIBMaxPixels) return 0;
    // A frame is only made when its samples are all there.
    const int64_t frameBytes = fourcc ? FrameBytes(compression, width, h) : 0;
    if (frameBytes > 0 && (!bits || frameBytes > static_cast<int64_t>(bitsSize))) return 0;
    // Rows stored as they are: run-length codes are never read as pixels.
    const bool plain = compression == 0 || compression == 3;
    const bool converts = plain && (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
                                    (bitCount == 24 && compression == 0) || bitCount == 32);
    if (converts && __int128{rowLen} * h > static_cast<__int128>(data.Size)) return 0;
    // Pictures left black (compressions nothing here decodes) are kept small.
    if (!converts && !rle && frameBytes == 0 && pixels > IEDIBMaxBlankPixels) return 0;

    if (!Bitmap->Allocate(width, h, bitCount == 1 ? ie1g : ie24RGB)) return 0;
    Bitmap->Fill(0);
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    // DIB row k (as stored) goes to bitmap row Target(k).
    auto target = [&](int64_t k) { return static_cast<int32_t>(topDownRows ? k : h - 1 - k); };
    const std::vector<TRGB> table = indexed ? ColourTable(dib + headerSize, entries) : std::vector<TRGB>();

    if (fourcc) {
        const bool topDown = height > 0;
        const bool invertedTopDown = height < 0;
        const void* samples = bits;
        const size_t n = bits ? bitsSize : 0;
        switch (compression) {
            case FourCC("IYU1"): IEConvertIYU1(samples, n, Bitmap, topDown); break;
            case FourCC("IYU2"): IEConvertIYU2(samples, n, Bitmap, topDown); break;
            case FourCC("UYVY"):
            case FourCC("UYNV"): IEConvertUYVY(samples, n, Bitmap, topDown); break;
            case FourCC("cyuv"): IEConvertUYVY(samples, n, Bitmap, invertedTopDown); break;
            case FourCC("YUY2"):
            case FourCC("YUNV"): IEConvertYUY2(samples, n, Bitmap, topDown); break;
            case FourCC("YVYU"): IEConvertYVYU(samples, n, Bitmap, topDown); break;
            case FourCC("Y41P"): IEConvertY41P(samples, n, Bitmap, invertedTopDown); break;
            case FourCC("Y211"): IEConvertY211(samples, n, Bitmap, topDown); break;
            case FourCC("CLJR"): IEConvertCLJR(samples, n, Bitmap, topDown); break;
            case FourCC("YVU9"): IEConvertYVU9(samples, n, Bitmap, topDown); break;
            case FourCC("YV12"): IEConvertYV12(samples, n, Bitmap, topDown); break;
            case FourCC("I420"):
            case FourCC("IYUV"): IEConvertI420(samples, n, Bitmap, topDown); break;
            default: break;
        }
    } else if (rle) {
        std::vector<uint8_t> indexes;
        DecodeRLE(data, compression == 2, width, h, indexes);
        for (int64_t k = 0; k < h; ++k) {
            auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(h - 1 - static_cast<int32_t>(k)));
            if (!row) continue;
            for (int32_t x = 0; x < width; ++x) Put(row, x, &table[indexes[static_cast<size_t>(k * width + x)]].b);
        }
    } else if (converts) {
        const int32_t rb = IEMaskRunLength(masks[0]), gb = IEMaskRunLength(masks[1]), bb = IEMaskRunLength(masks[2]);
        auto shift = [](uint32_t v, int32_t right) -> uint8_t {
            return static_cast<uint8_t>(right >= 0 ? (right < 32 ? v >> right : 0) : (-right < 32 ? v << -right : 0));
        };
        for (int64_t k = 0; k < h; ++k) {
            const uint8_t* s = data.Data + k * rowLen;
            auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(target(k)));
            if (!row) continue;
            switch (bitCount) {
                case 1: std::memcpy(row, s, static_cast<size_t>(std::min<int64_t>(rowLen, Bitmap->GetRowLen()))); break;
                case 4:
                    for (int32_t x = 0; x < width; ++x) {
                        const uint8_t b = s[x / 2];
                        Put(row, x, &table[x & 1 ? b & 15 : b >> 4].b);
                    }
                    break;
                case 8:
                    for (int32_t x = 0; x < width; ++x) Put(row, x, &table[s[x]].b);
                    break;
                case 16:
                    for (int32_t x = 0; x < width; ++x) {
                        const uint32_t v = IEGetU16LE(s + 2 * x);
                        const uint8_t px[3] = {shift((v & 0xFF) & (masks[2] & 0xFF), -(8 - bb)),
                                               shift(v & masks[1], gb + bb - 8), shift(v & masks[0], rb + gb + bb - 8)};
                        Put(row, x, px);
                    }
                    break;
                case 24: std::memcpy(row, s, static_cast<size_t>(width) * 3); break;
                case 32:
                    for (int32_t x = 0; x < width; ++x) Put(row, x, s + 4 * x);
                    break;
                default: break;
            }
        }
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
    return bitCount;
}

}  // namespace

int32_t IEDIBToBitmap(const void* DIB, size_t Size, TIEBitmap* Bitmap, const void* Bits, size_t BitsSize) {
    return Load(static_cast<const uint8_t*>(DIB), Size, Bitmap, static_cast<const uint8_t*>(Bits), BitsSize);
}

int32_t IEDIBToBitmap(win::HGLOBAL DIB, TIEBitmap* Bitmap, const void* Bits, size_t BitsSize) {
    if (!DIB) return 0;
    const void* p = win::GlobalLock(DIB);
    if (!p) return 0;
    const int32_t result =
        Load(static_cast<const uint8_t*>(p), win::GlobalSize(DIB), Bitmap, static_cast<const uint8_t*>(Bits), BitsSize);
    win::GlobalUnlock(DIB);
    return result;
}

void IEYUVToBGR(int32_t Y, int32_t U, int32_t V, uint8_t* Out) {
    const long double d = (Y - 16) * 1.164L;
    auto round = [](long double v) {
        return IEClampByte(static_cast<int32_t>(std::clamp(std::nearbyintl(v), -1.0L, 256.0L)));
    };
    Out[0] = static_cast<uint8_t>(round(d + (U - 128) * 2.018L));
    Out[1] = static_cast<uint8_t>(round(d - (V - 128) * 0.813L - (U - 128) * 0.391L));
    Out[2] = static_cast<uint8_t>(round(d + (V - 128) * 1.596L));
}

bool IEConvertIYU1(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 6, 4, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        const uint8_t ys[4] = {g[1], g[2], g[4], g[5]};
        for (int i = 0; i < 4; ++i) IEYUVToBGR(ys[i], g[0], g[3], px[i]);
    });
}

bool IEConvertIYU2(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 3, 1,
                         [](const uint8_t* g, uint8_t(&px)[8][3]) { IEYUVToBGR(g[1], g[0], g[2], px[0]); });
}

bool IEConvertUYVY(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 4, 2, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        IEYUVToBGR(g[1], g[0], g[2], px[0]);
        IEYUVToBGR(g[3], g[0], g[2], px[1]);
    });
}

bool IEConvertYUY2(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 4, 2, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        IEYUVToBGR(g[0], g[1], g[3], px[0]);
        IEYUVToBGR(g[2], g[1], g[3], px[1]);
    });
}

bool IEConvertYVYU(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 4, 2, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        IEYUVToBGR(g[0], g[3], g[1], px[0]);
        IEYUVToBGR(g[2], g[3], g[1], px[1]);
    });
}

bool IEConvertY41P(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 12, 8, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
        const uint8_t ys[8] = {g[1], g[3], g[5], g[7], g[8], g[9], g[10], g[11]};
        for (int i = 0; i < 8; ++i) IEYUVToBGR(ys[i], i < 4 ? g[0] : g[4], i < 4 ? g[2] : g[6], px[i]);
    });
}

bool IEConvertY211(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 4, 4, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        for (int i = 0; i < 4; ++i) IEYUVToBGR(i < 2 ? g[0] : g[2], g[1], g[3], px[i]);
    });
}

bool IEConvertCLJR(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPacked(Data, Size, Bitmap, TopDown, 4, 4, [](const uint8_t* g, uint8_t(&px)[8][3]) {
        const uint32_t w = IEGetU32LE(g);
        // 6-bit chroma and 5-bit luma widened to 8 bits (top bits repeated below).
        auto six = [](uint32_t v) { return static_cast<int32_t>((v << 2) | (v >> 4)); };
        auto five = [](uint32_t v) { return static_cast<int32_t>((v << 3) | (v >> 2)); };
        const int32_t v = six(w & 63), u = six((w >> 6) & 63);
        for (int i = 0; i < 4; ++i) IEYUVToBGR(five((w >> (12 + 5 * i)) & 31), u, v, px[i]);
    });
}

bool IEConvertYVU9(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPlanar(Data, Size, Bitmap, TopDown, 4, true);
}

bool IEConvertYV12(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPlanar(Data, Size, Bitmap, TopDown, 2, true);
}

bool IEConvertI420(const void* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
    return ConvertPlanar(Data, Size, Bitmap, TopDown, 2, false);
}

}  // namespace ie
