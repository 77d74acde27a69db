// Windows and OS/2 bitmap files.
#include "imaging/formats/bmpfilt.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/iefmtcommon.h"

namespace ie {

namespace {

void PutLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
    PutLE16(p, v);
    PutLE16(p + 2, v >> 16);
}

// One channel of a bit-field mask: where it starts and how many bits it has. A sample is
// brought to 8 bits by shifting (wider channels keep their high bits, narrower ones are
// shifted up, which gives 5-5-5 and 5-6-5 pixels their usual values).
struct BitField {
    uint32_t Mask = 0;
    int Shift = 0;
    int Width = 0;
    explicit BitField(uint32_t M = 0) : Mask(M) {
        if (!M) return;
        Shift = std::countr_zero(M);
        Width = std::countr_one(M >> Shift);
    }
    uint8_t Get(uint32_t Pixel) const {
        if (!Mask) return 0;
        const uint32_t v = (Pixel & Mask) >> Shift;
        return static_cast<uint8_t>(Width >= 8 ? v >> (Width - 8) : v << (8 - Width));
    }
};

// ---------------------------------------------------------------------------------------
// Run-length decoding of 4- and 8-bit data.

template <int Bits, bool Rgb>
void DecodeRLE(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow, TProgressRec& Progress,
               const TRGB* Palette) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || !Data || DataLength < 2) return;
    if (Rgb ? Bitmap->GetPixelFormat() != ie24RGB || !Palette : Bitmap->GetPixelFormat() != ie8p) return;
    int32_t y = h - 1;
    int64_t x = 0;
    auto rowOf = [&](int32_t Y) { return static_cast<uint8_t*>(Bitmap->GetScanline(std::abs(TopRow - Y))); };
    uint8_t* row = rowOf(y);
    auto put = [&](uint8_t Index) {
        if (x < w) {
            if constexpr (Rgb)
                reinterpret_cast<TRGB*>(row)[x] = Palette[Index];
            else
                row[x] = Index;
        }
        ++x;
    };
    int64_t i = 0;
    while (i + 2 <= DataLength) {
        const uint8_t a = Data[i], b = Data[i + 1];
        i += 2;
        if (a > 0) {
            for (int k = 0; k < a && x < w; ++k) {
                if constexpr (Bits == 8)
                    put(b);
                else
                    put(k & 1 ? b & 0x0F : b >> 4);
            }
            continue;
        }
        if (b == 0) {  // end of line
            if (--y < 0) break;
            row = rowOf(y);
            x = 0;
            Progress.Report(static_cast<int32_t>((h - y) * Progress.Per));
            if (Progress.IsAborting()) break;
        } else if (b == 1) {  // end of bitmap
            break;
        } else if (b == 2) {  // delta
            if (i + 2 > DataLength) break;
            x += Data[i];
            y -= Data[i + 1];
            i += 2;
            if (y < 0) break;
            row = rowOf(y);
        } else {  // literal pixels
            const int64_t bytes = Bits == 8 ? b : (b + 1) / 2;
            if (i + bytes > DataLength) break;
            for (int k = 0; k < b; ++k) {
                if constexpr (Bits == 8)
                    put(Data[i + k]);
                else
                    put(k & 1 ? Data[i + k / 2] & 0x0F : Data[i + k / 2] >> 4);
            }
            i += bytes + (bytes & 1);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Run-length encoding of one row.

int32_t EncodeRLE(const uint8_t* Px, int32_t Count, uint8_t* Out, bool Four) {
    int32_t o = 0, p = 0, l = 0;
    auto nib = [](uint8_t v) { return static_cast<uint8_t>(v & 0x0F); };
    auto flush = [&](int32_t End) {
        while (l < End) {
            const int32_t n = std::min(255, End - l);
            if (n == 1) {
                Out[o++] = 1;
                Out[o++] = Four ? static_cast<uint8_t>(nib(Px[l]) << 4) : Px[l];
            } else if (n == 2) {
                if (Four) {
                    Out[o++] = 2;
                    Out[o++] = static_cast<uint8_t>((nib(Px[l]) << 4) | nib(Px[l + 1]));
                } else {
                    Out[o++] = 1;
                    Out[o++] = Px[l];
                    Out[o++] = 1;
                    Out[o++] = Px[l + 1];
                }
            } else {
                Out[o++] = 0;
                Out[o++] = static_cast<uint8_t>(n);
                int32_t bytes;
                if (Four) {
                    for (int32_t j = 0; j + 1 < n; j += 2)
                        Out[o++] = static_cast<uint8_t>((nib(Px[l + j]) << 4) | nib(Px[l + j + 1]));
                    if (n & 1) Out[o++] = static_cast<uint8_t>(nib(Px[l + n - 1]) << 4);
                    bytes = (n + 1) / 2;
                } else {
                    std::memcpy(Out + o, Px + l, static_cast<size_t>(n));
                    o += n;
                    bytes = n;
                }
                if (bytes & 1) Out[o++] = 0;
            }
            l += n;
        }
    };
    while (p < Count) {
        if (p - l > 255) flush(p);
        if (p + 1 < Count && Px[p + 1] == Px[p]) {
            flush(p);
            int32_t r = 1;
            while (p + r < Count && Px[p + r] == Px[p] && r < 255) ++r;
            Out[o++] = static_cast<uint8_t>(r);
            Out[o++] = Four ? static_cast<uint8_t>((nib(Px[p]) << 4) | nib(Px[p])) : Px[p];
            p += r;
            l = p;
        } else {
            ++p;
        }
    }
    flush(Count);
    Out[o++] = 0;
    Out[o++] = 0;
    return o;
}

// Reads one file row of RowLen bytes; the padding of the last row may be missing.
bool ReadRow(cl::TStream* Stream, uint8_t* Buffer, int64_t RowLen, int64_t Packed) {
    int64_t done = 0;
    while (done < RowLen) {
        const int64_t n = Stream->Read(Buffer + done, RowLen - done);
        if (n <= 0) break;
        done += n;
    }
    return done >= Packed;
}

}  // namespace

void IEDecodeRLE4Rgb(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow, TProgressRec& Progress,
                     const TRGB* Palette) {
    DecodeRLE<4, true>(Bitmap, Data, DataLength, TopRow, Progress, Palette);
}
void IEDecodeRLE8Rgb(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow, TProgressRec& Progress,
                     const TRGB* Palette) {
    DecodeRLE<8, true>(Bitmap, Data, DataLength, TopRow, Progress, Palette);
}
void IEDecodeRLE4Index(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow,
                       TProgressRec& Progress) {
    DecodeRLE<4, false>(Bitmap, Data, DataLength, TopRow, Progress, nullptr);
}
void IEDecodeRLE8Index(TIEBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, int32_t TopRow,
                       TProgressRec& Progress) {
    DecodeRLE<8, false>(Bitmap, Data, DataLength, TopRow, Progress, nullptr);
}

int32_t IEEncodeRLE4(const uint8_t* Indexes, int32_t Count, uint8_t* Output) {
    return EncodeRLE(Indexes, Count, Output, true);
}
int32_t IEEncodeRLE8(const uint8_t* Indexes, int32_t Count, uint8_t* Output) {
    return EncodeRLE(Indexes, Count, Output, false);
}

// ---------------------------------------------------------------------------------------
// Reading

void IEReadBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, int64_t DataSize, TIOParamsVals& Params,
                     TProgressRec& Progress, bool PreviewOnly, bool NoFileHeader, std::unique_ptr<TIEMask>& AlphaMask,
                     bool IgnoreAlpha) {
    const int64_t start = Stream->GetPosition();
    int64_t fileSize = 0, pixelOffset = 0;
    if (NoFileHeader || Params.IsResource) {
        fileSize = Stream->GetSize();
    } else {
        uint8_t fh[14];
        if (!IEReadChecked(Stream, Progress, fh, 14)) return;
        if (fh[0] != 'B' || fh[1] != 'M') {
            Progress.Abort();
            return;
        }
        fileSize = IEGetLE32(fh + 2);
        pixelOffset = IEGetLE32(fh + 10);
    }
    if (fileSize != 0 && DataSize <= 0) DataSize = fileSize;

    uint8_t hs[4];
    if (!IEReadChecked(Stream, Progress, hs, 4)) return;
    const uint32_t headerSize = IEGetLE32(hs);
    Params.FreeColorMap();

    int64_t width = 0, height = 0;
    int32_t bits = 0, topRow = 0;
    uint32_t compression = 0, imageSize = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool headerAlphaMask = false;
    std::vector<TRGB> palette;  // as many entries as the file gives
    int32_t paletteBits = 0;    // 2^bits entries are what the pixels can address

    if (headerSize == 12) {
        uint8_t h[8];
        if (!IEReadChecked(Stream, Progress, h, 8)) return;
        Params.BMPVersion = 2;
        width = IEGetLE16(h);
        height = IEGetLE16(h + 2);
        bits = IEGetLE16(h + 6);
        Params.SetDpiX(IEDefaultDpiX);
        Params.SetDpiY(IEDefaultDpiY);
        if (bits >= 1 && bits <= 8) {
            const int32_t n = 1 << bits;
            std::vector<uint8_t> raw(static_cast<size_t>(n) * 3);
            if (!IEReadChecked(Stream, Progress, raw.data(), static_cast<int64_t>(raw.size()))) return;
            palette.resize(static_cast<size_t>(n));
            for (int32_t i = 0; i < n; ++i)
                palette[static_cast<size_t>(i)] = TRGB{raw[i * 3], raw[i * 3 + 1], raw[i * 3 + 2]};
        }
    } else {
        uint8_t h[64] = {};
        PutLE32(h, headerSize);
        const int64_t take = std::min<int64_t>(64, headerSize);
        if (take > 4 && !IEReadChecked(Stream, Progress, h + 4, take - 4)) return;
        if (headerSize > 64) Stream->Seek(static_cast<int64_t>(headerSize) - 64, cl::soCurrent);
        Params.BMPVersion = headerSize == 64 ? 3 : headerSize == 40 ? 1 : 0;
        width = static_cast<int32_t>(IEGetLE32(h + 4));
        const int32_t rawHeight = static_cast<int32_t>(IEGetLE32(h + 8));
        if (rawHeight == INT_MIN) {
            Progress.Abort();
            return;
        }
        height = rawHeight;
        if (height < 0) {
            height = -height;
            topRow = static_cast<int32_t>(height - 1);
        }
        bits = IEGetLE16(h + 14);
        compression = IEGetLE32(h + 16);
        imageSize = IEGetLE32(h + 20);
        Params.SetDpiX(IEPpmToDpi(static_cast<int32_t>(IEGetLE32(h + 24)), IEDefaultDpiX));
        Params.SetDpiY(IEPpmToDpi(static_cast<int32_t>(IEGetLE32(h + 28)), IEDefaultDpiY));
        uint32_t used = IEGetLE32(h + 32);
        if (used > 256) used = 0;
        if (used == 0 && bits >= 1 && bits <= 8) used = 1u << bits;
        if (used > 0) {
            std::vector<uint8_t> raw(static_cast<size_t>(used) * 4);
            if (!IEReadChecked(Stream, Progress, raw.data(), static_cast<int64_t>(raw.size()))) return;
            palette.resize(used);
            for (uint32_t i = 0; i < used; ++i) palette[i] = TRGB{raw[i * 4], raw[i * 4 + 1], raw[i * 4 + 2]};
        }
        if (compression == 3) {
            if (headerSize >= 52) {
                // Headers of 52 bytes and more carry their masks themselves.
                for (int i = 0; i < 3; ++i) masks[i] = IEGetLE32(h + 40 + 4 * i);
                if (headerSize >= 56) {
                    masks[3] = IEGetLE32(h + 52);
                    headerAlphaMask = true;
                }
            } else {
                uint8_t m[12];
                if (!IEReadChecked(Stream, Progress, m, 12)) return;
                for (int i = 0; i < 3; ++i) masks[i] = IEGetLE32(m + 4 * i);
            }
        }
    }
    if (bits >= 1 && bits <= 8) paletteBits = 1 << bits;

    // The colour map always covers every index the pixels can hold (unread entries black).
    const int32_t mapCount = std::max<int32_t>(static_cast<int32_t>(palette.size()), paletteBits);
    if (mapCount > 0) {
        TRGB* map = Params.AllocColorMap(mapCount);
        std::copy(palette.begin(), palette.end(), map);
    }
    TRGB lookup[256] = {};
    std::copy_n(palette.begin(), std::min<size_t>(palette.size(), 256), lookup);

    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        Progress.Abort();
        return;
    }
    Params.Width = Params.OriginalWidth = static_cast<int32_t>(width);
    Params.Height = Params.OriginalHeight = static_cast<int32_t>(height);
    Params.SetImageCount(1);
    if (compression == 0 || compression == 3)
        Params.BMPCompression = 0;
    else if (compression == 1 || compression == 2)
        Params.BMPCompression = 1;

    // Which bit counts and compressions this reader knows.
    bool known = false;
    switch (bits) {
        case 1:
            Params.BitsPerSample = 1;
            Params.SamplesPerPixel = 1;
            known = compression == 0;
            break;
        case 4:
            Params.BitsPerSample = 4;
            Params.SamplesPerPixel = 1;
            known = compression == 0 || compression == 2;
            break;
        case 8:
            Params.BitsPerSample = 8;
            Params.SamplesPerPixel = 1;
            known = compression == 0 || compression == 1;
            break;
        case 16:
            Params.BitsPerSample = 5;
            Params.SamplesPerPixel = 3;
            known = compression == 0 || compression == 3;
            break;
        case 24:
            Params.BitsPerSample = 8;
            Params.SamplesPerPixel = 3;
            known = compression == 0;
            break;
        case 32:
            Params.BitsPerSample = 8;
            Params.SamplesPerPixel = 4;
            known = compression == 0 || compression == 3;
            break;
        default: break;
    }
    if (!known) {
        // JPEG or PNG data inside a bitmap file, or a depth that does not exist.
        Progress.Abort();
        return;
    }

    if (pixelOffset != 0) Stream->Seek(start + pixelOffset, cl::soBeginning);
    const bool rle = compression == 1 || compression == 2;
    int64_t rleLength = DataSize > 0 ? DataSize - (Stream->GetPosition() - start) : imageSize;
    rleLength = std::clamp<int64_t>(rleLength, 0, IEBytesLeft(Stream));
    if (PreviewOnly) return;

    // No allocation that the data cannot fill: whole rows must be there (the last one may
    // lack its padding); run-length data makes at most 255 x 255 pixels per 4 bytes. A size
    // past the 64-bit range is as short of data as any other.
    const auto rowBytes = IECheckedRowBytes(width, bits, 4);
    const auto packedBytes = IECheckedRowBytes(width, bits);
    if (!rowBytes || !packedBytes || *rowBytes > INT_MAX - 64 || !IEReaderPixelsAllowed(width, height)) {
        Progress.Abort();
        return;
    }
    const int64_t rowLen = *rowBytes;
    const int64_t packed = *packedBytes;
    if (rle) {
        const auto pixels = IECheckedMul(width, height);
        if (rleLength < 2 || !pixels || *pixels / 16256 > rleLength) {
            Progress.Abort();
            return;
        }
    } else {
        const auto before = IECheckedMul(rowLen, height - 1);
        const auto all = before ? IECheckedAdd(*before, packed) : std::nullopt;
        if (!all || *all > IEBytesLeft(Stream)) {
            Progress.Abort();
            return;
        }
    }

    const bool native = Params.NativePixelFormat && (bits == 4 || bits == 8);
    const TIEPixelFormat format = bits == 1 ? ie1g : native ? ie8p : ie24RGB;
    const int32_t w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
    if (!Bitmap->Allocate(w, h, format)) {
        Progress.Abort();
        return;
    }
    Progress.Per = 100.0 / h;
    if (native) {
        for (int32_t i = 0; i < Params.ColorMapCount && i < 256; ++i)
            Bitmap->SetPaletteEntry(i, Params.GetColorMap()[i]);
        Bitmap->PaletteUsed = bits == 4 ? 16 : 256;
    }

    if (rle) {
        std::vector<uint8_t> data(static_cast<size_t>(rleLength));
        const int64_t got = Stream->Read(data.data(), rleLength);
        const int64_t n = std::max<int64_t>(got, 0);
        Bitmap->Fill(0);  // what the data skips is index 0 (no stale memory shows)
        if (bits == 4)
            native ? IEDecodeRLE4Index(Bitmap, data.data(), n, topRow, Progress)
                   : IEDecodeRLE4Rgb(Bitmap, data.data(), n, topRow, Progress, lookup);
        else
            native ? IEDecodeRLE8Index(Bitmap, data.data(), n, topRow, Progress)
                   : IEDecodeRLE8Rgb(Bitmap, data.data(), n, topRow, Progress, lookup);
        return;
    }

    const bool standard32 =
        bits == 32 && (compression == 0 || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF));
    BitField fields[4];
    if (bits == 16 && compression == 0) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    for (int i = 0; i < 4; ++i) fields[i] = BitField(masks[i]);
    const bool alpha = !IgnoreAlpha && bits == 32 && (standard32 || (headerAlphaMask && masks[3] != 0));
    if (alpha) {
        if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
        AlphaMask->Allocate(w, h, 8);
        AlphaMask->Fill(255);
    }
    bool allZero = true;

    std::vector<uint8_t> buffer(static_cast<size_t>(rowLen + 32));
    int32_t last = -1;
    for (int32_t k = 0; k < h; ++k) {
        IEReportRows(Progress, k, last);
        if (Progress.IsAborting()) break;
        if (!ReadRow(Stream, buffer.data(), rowLen, packed)) {
            Progress.Abort();
            break;
        }
        const int32_t y = std::abs(topRow - (h - 1 - k));
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(y));
        const uint8_t* src = buffer.data();
        switch (bits) {
            case 1: std::memcpy(row, src, static_cast<size_t>(packed)); break;
            case 4:
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t idx = x & 1 ? src[x / 2] & 0x0F : src[x / 2] >> 4;
                    if (native)
                        row[x] = idx;
                    else
                        reinterpret_cast<TRGB*>(row)[x] = lookup[idx];
                }
                break;
            case 8:
                if (native)
                    std::memcpy(row, src, static_cast<size_t>(w));
                else
                    for (int32_t x = 0; x < w; ++x) reinterpret_cast<TRGB*>(row)[x] = lookup[src[x]];
                break;
            case 16:
                for (int32_t x = 0; x < w; ++x) {
                    const uint32_t px = IEGetLE16(src + 2 * x);
                    row[3 * x] = fields[2].Get(px);
                    row[3 * x + 1] = fields[1].Get(px);
                    row[3 * x + 2] = fields[0].Get(px);
                }
                break;
            case 24: std::memcpy(row, src, static_cast<size_t>(w) * 3); break;
            case 32: {
                auto* arow = alpha ? static_cast<uint8_t*>(AlphaMask->GetScanline(y)) : nullptr;
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t* p = src + 4 * x;
                    if (standard32) {
                        row[3 * x] = p[0];
                        row[3 * x + 1] = p[1];
                        row[3 * x + 2] = p[2];
                        if (arow) arow[x] = p[3];
                        if (p[3]) allZero = false;
                    } else {
                        const uint32_t px = IEGetLE32(p);
                        row[3 * x] = fields[2].Get(px);
                        row[3 * x + 1] = fields[1].Get(px);
                        row[3 * x + 2] = fields[0].Get(px);
                        const uint8_t a = fields[3].Get(px);
                        if (arow) arow[x] = a;
                        if (a) allZero = false;
                    }
                }
                break;
            }
            default: break;
        }
    }
    if (bits == 1 && Params.ColorMapCount == 2 && Params.GetColorMap()[0] == TRGB{255, 255, 255} &&
        Params.GetColorMap()[1] == TRGB{0, 0, 0})
        IEInvertBitmap(Bitmap);
    if (alpha) {
        AlphaMask->SyncFull();
        if (allZero || AlphaMask->Full)
            AlphaMask.reset();
        else
            AlphaMask->SyncRect();
    }
}

// ---------------------------------------------------------------------------------------
// Writing

void IEWriteBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                      bool HandleTransparency) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const bool os2 = Params.BMPVersion == 2;
    if (w <= 0 || h <= 0 || (os2 && (w > 65535 || h > 65535))) {
        Progress.Abort();
        return;
    }
    const int32_t bits = Params.BitsPerSample == 1 || Params.BitsPerSample == 4 ? Params.BitsPerSample
                         : Params.SamplesPerPixel == 1                          ? 8
                         : Bitmap->HasAlphaChannel()                            ? 32
                                                                                : 24;
    const int64_t rowLen = IEBitmapRowLen(w, bits, 32);
    if (rowLen * h > int64_t{0xFFFFFFFF} - 2048) {  // the sizes of the headers are 32-bit
        Progress.Abort();
        return;
    }
    const bool rle = Params.BMPCompression == 1 && !os2 && (bits == 4 || bits == 8);
    const uint32_t headerSize = os2 ? 12 : Params.BMPVersion == 3 ? 64 : 40;

    const int64_t start = Stream->GetPosition();
    uint8_t fileHeader[14] = {'B', 'M'};
    IEWriteChecked(Stream, Progress, fileHeader, 14);

    uint8_t info[64] = {};
    PutLE32(info, headerSize);
    if (os2) {
        PutLE16(info + 4, static_cast<uint32_t>(w));
        PutLE16(info + 6, static_cast<uint32_t>(h));
        PutLE16(info + 8, 1);
    } else {
        PutLE32(info + 4, static_cast<uint32_t>(w));
        PutLE32(info + 8, static_cast<uint32_t>(h));
        PutLE16(info + 12, 1);
        PutLE32(info + 16, rle ? (bits == 4 ? 2 : 1) : 0);
        PutLE32(info + 24, IEDpiToPpm(Params.DpiX));
        PutLE32(info + 28, IEDpiToPpm(Params.DpiY));
        PutLE32(info + 32, bits <= 8 ? 1u << bits : 0);
        // Important colours: every colour of the depth (0, all of them, for 32 bits).
        PutLE32(info + 36, bits <= 8 ? 1u << bits : bits == 24 ? 1u << 24 : 0);
    }
    IEWriteChecked(Stream, Progress, info, headerSize);
    Progress.Per = 100.0 / h;
    int64_t pixelStart = Stream->GetPosition();
    std::vector<uint8_t> out(static_cast<size_t>(std::max<int64_t>(rowLen, int64_t{w} * 10 + 2)));

    auto writePalette = [&](const TRGB* Map, int32_t Count) {
        std::vector<uint8_t> raw;
        for (int32_t i = 0; i < Count; ++i) {
            raw.push_back(Map[i].b);
            raw.push_back(Map[i].g);
            raw.push_back(Map[i].r);
            if (!os2) raw.push_back(0);
        }
        IEWriteChecked(Stream, Progress, raw.data(), static_cast<int64_t>(raw.size()));
    };

    std::unique_ptr<TIEBitmap> holder;
    if (bits == 4 || bits == 8) {
        // 8-bit palette images keep their indexes; everything else goes through 24 bits.
        TIEBitmap* src =
            bits == 8 && Bitmap->GetPixelFormat() == ie8p ? Bitmap : IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!src) {
            Progress.Abort();
            return;
        }
        const int32_t colours = 1 << bits;
        TRGB* map = Params.AllocColorMap(colours);
        TIEQuantizer quantizer(src, map, colours);
        writePalette(map, colours);
        pixelStart = Stream->GetPosition();
        std::vector<uint8_t> indexes(static_cast<size_t>(w));
        for (int32_t row = h - 1; row >= 0; --row) {
            Progress.Report(static_cast<int32_t>((h - 1 - row) * Progress.Per));
            if (Progress.IsAborting()) break;
            const auto* line = static_cast<const uint8_t*>(src->GetScanline(row));
            if (src->GetPixelFormat() == ie8p) {
                std::memcpy(indexes.data(), line, static_cast<size_t>(w));
            } else {
                const auto* px = reinterpret_cast<const TRGB*>(line);
                for (int32_t x = 0; x < w; ++x) {
                    const int32_t i = quantizer.RGBIndex(px[x]);
                    indexes[static_cast<size_t>(x)] = static_cast<uint8_t>(i >= 0 && i < colours ? i : 0);
                }
            }
            if (rle) {
                const int32_t n = bits == 4 ? IEEncodeRLE4(indexes.data(), w, out.data())
                                            : IEEncodeRLE8(indexes.data(), w, out.data());
                IEWriteChecked(Stream, Progress, out.data(), n);
            } else {
                std::fill(out.begin(), out.begin() + rowLen, 0);
                if (bits == 8)
                    std::memcpy(out.data(), indexes.data(), static_cast<size_t>(w));
                else
                    for (int32_t x = 0; x < w; ++x)
                        out[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(
                            x & 1 ? indexes[static_cast<size_t>(x)] & 0x0F : indexes[static_cast<size_t>(x)] << 4);
                IEWriteChecked(Stream, Progress, out.data(), rowLen);
            }
        }
        if (rle) {
            const uint8_t end[2] = {0, 1};
            IEWriteChecked(Stream, Progress, end, 2);
        }
    } else if (bits == 1) {
        TIEBitmap* src = Bitmap;
        TRGB map[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
        if (Bitmap->GetPixelFormat() != ie1g) {
            holder = std::make_unique<TIEBitmap>();
            TRGB dark, light;
            if (IETwoColorsTo1Bit(Bitmap, holder.get(), dark, light)) {
                src = holder.get();
                map[0] = dark;
                map[1] = light;
            } else {
                src = IEBlackAndWhiteCopy(Bitmap, holder);
            }
        }
        if (!src) {
            Progress.Abort();
            return;
        }
        std::copy_n(map, 2, Params.AllocColorMap(2));
        writePalette(map, 2);
        pixelStart = Stream->GetPosition();
        const int64_t packed = (w + 7) / 8;
        int32_t last = -1;
        for (int32_t row = h - 1; row >= 0; --row) {
            IEReportRows(Progress, h - 1 - row, last);
            if (Progress.IsAborting()) break;
            std::fill(out.begin(), out.begin() + rowLen, 0);
            std::memcpy(out.data(), src->GetScanline(row), static_cast<size_t>(packed));
            if (w & 7) out[static_cast<size_t>(packed - 1)] &= static_cast<uint8_t>(0xFF00 >> (w & 7));
            IEWriteChecked(Stream, Progress, out.data(), rowLen);
        }
    } else {
        TIEBitmap* src = IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!src) {
            Progress.Abort();
            return;
        }
        TIEBitmap* alpha =
            bits == 32 && HandleTransparency && Bitmap->HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
        for (int32_t row = h - 1; row >= 0; --row) {
            Progress.Report(static_cast<int32_t>((h - 1 - row) * Progress.Per));
            if (Progress.IsAborting()) break;
            const auto* line = static_cast<const uint8_t*>(src->GetScanline(row));
            std::fill(out.begin(), out.begin() + rowLen, 0);
            if (bits == 24) {
                std::memcpy(out.data(), line, static_cast<size_t>(w) * 3);
            } else {
                const auto* a = alpha ? static_cast<const uint8_t*>(alpha->GetScanline(row)) : nullptr;
                for (int32_t x = 0; x < w; ++x) {
                    std::memcpy(&out[static_cast<size_t>(x) * 4], line + 3 * x, 3);
                    out[static_cast<size_t>(x) * 4 + 3] = a ? a[x] : 255;
                }
            }
            IEWriteChecked(Stream, Progress, out.data(), rowLen);
        }
    }

    if (Progress.IsAborting()) return;
    const int64_t end = Stream->GetPosition();
    PutLE32(fileHeader + 2, static_cast<uint32_t>(end - start));
    PutLE32(fileHeader + 10, static_cast<uint32_t>(pixelStart - start));
    if (os2) {
        PutLE16(info + 10, static_cast<uint32_t>(bits));
    } else {
        PutLE16(info + 14, static_cast<uint32_t>(bits));
        PutLE32(info + 20, static_cast<uint32_t>(end - pixelStart));
    }
    Stream->Seek(start, cl::soBeginning);
    IEWriteChecked(Stream, Progress, fileHeader, 14);
    IEWriteChecked(Stream, Progress, info, headerSize);
    Stream->Seek(end, cl::soBeginning);
}

// ---------------------------------------------------------------------------------------
// The engine's entry

namespace {

bool ProbeBMP(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    uint8_t m[2] = {};
    const bool ok = Stream->Read(m, 2) == 2 && m[0] == 'B' && m[1] == 'M';
    Stream->Seek(p, cl::soBeginning);
    return ok;
}

void ReadBMP(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadBMPStream(Stream, Bitmap, Context.DataSize, Params, Progress, Context.PreviewOnly, false, Context.AlphaMask,
                    Context.IgnoreAlpha);
    Context.ImageCount = 1;
}

void WriteBMP(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEWriteContext& Context) {
    IEWriteBMPStream(Stream, Bitmap, Params, Progress, Context.SaveAlpha);
}

}  // namespace

void IEBMPRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &ProbeBMP;
    ops.Read = &ReadBMP;
    ops.Write = &WriteBMP;
    IESetFormatOps(ioBMP, ops);
}

}  // namespace ie
