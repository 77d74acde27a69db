// Windows icon and cursor files.
#include "imaging/formats/icofilt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/neurquant.h"
#include "imaging/formats/bmpfilt.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/pngfilt.h"
#include "imaging/processing/ieresample.h"

namespace ie {

namespace {

const char* const kUnsupportedPixelFormat = "Unsupported pixel format";
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool Probe(cl::TStream* Stream, uint16_t Type) {
    const int64_t p = Stream->GetPosition();
    if (Stream->GetSize() - p < 23) return false;
    bool ok = false;
    uint8_t h[6];
    if (Stream->Read(h, 6) == 6 && IEGetLE16(h) == 0 && IEGetLE16(h + 2) == Type && IEGetLE16(h + 4) != 0) {
        ok = true;
        const int count = IEGetLE16(h + 4);
        for (int i = 0; i < count && ok; ++i) {
            uint8_t e[16];
            if (Stream->Read(e, 16) != 16) {
                ok = false;
                break;
            }
            const int64_t after = Stream->GetPosition() - p;
            ok = e[3] == 0 && IEGetLE32(e + 8) != 0 && IEGetLE32(e + 12) >= after;
        }
    }
    Stream->Seek(p, cl::soBeginning);
    return ok;
}

struct Entry {
    int32_t Width = 0, Height = 0, Colors = 0, BitCount = 0, HotX = 0, HotY = 0;
    uint32_t Size = 0, Offset = 0;
};

void ReadIconOrCursor(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                      TProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha, bool Cursor) {
    const int64_t start = Stream->GetPosition();
    Entry entry;
    if (!Params.IsResource) {
        uint8_t h[6];
        if (!IEReadChecked(Stream, Progress, h, 6)) return;
        if (!Cursor && h[0] == 'B' && h[1] == 'M') {
            Stream->Seek(start, cl::soBeginning);
            IEReadBMPStream(Stream, Bitmap, Stream->GetSize() - start, Params, Progress, PreviewOnly, false, AlphaMask,
                            IgnoreAlpha);
            return;
        }
        const int32_t count = IEGetLE16(h + 4);
        const int32_t index = Cursor ? Params.CURImageIndex : Params.ICOImageIndex;
        // An index outside the directory reads nothing and is no error.
        if (index < 0 || index >= count) return;
        if (int64_t{count} * 16 > IEBytesLeft(Stream)) {
            Progress.Abort();
            return;
        }
        std::vector<uint8_t> dir(static_cast<size_t>(count) * 16);
        if (!IEReadChecked(Stream, Progress, dir.data(), static_cast<int64_t>(dir.size()))) return;
        std::vector<Entry> entries(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* e = dir.data() + 16 * i;
            Entry& x = entries[static_cast<size_t>(i)];
            // A size byte of 0 stands for 256 pixels.
            x.Width = e[0] ? e[0] : 256;
            x.Height = e[1] ? e[1] : 256;
            x.Colors = e[2];
            x.HotX = IEGetLE16(e + 4);
            x.HotY = IEGetLE16(e + 6);
            x.BitCount = Cursor ? 0 : IEGetLE16(e + 6);
            x.Size = IEGetLE32(e + 8);
            x.Offset = IEGetLE32(e + 12);
        }
        entry = entries[static_cast<size_t>(index)];
        if (Cursor) {
            Params.CURXHotSpot = entry.HotX;
            Params.CURYHotSpot = entry.HotY;
        } else {
            // The sizes and bit counts of the first 16 images, each at its index.
            for (auto& s : Params.ICOSizes) s = {0, 0};
            std::fill(Params.ICOBitCount.begin(), Params.ICOBitCount.end(), 0);
            const size_t listed = std::min(entries.size(), Params.ICOSizes.size());
            for (size_t j = 0; j < listed; ++j) {
                const Entry& x = entries[j];
                Params.ICOSizes[j] = {x.Width, x.Height};
                Params.ICOBitCount[j] = x.BitCount ? x.BitCount
                                        : x.Colors ? IECeilLog2(static_cast<uint32_t>(x.Colors))
                                                   : 24;
            }
        }
        const int64_t dirEnd = 6 + int64_t{count} * 16;
        if (entry.Offset < dirEnd || start + entry.Offset + 40 > Stream->GetSize()) {
            Progress.Abort();
            return;
        }
        Stream->Seek(start + entry.Offset, cl::soBeginning);
    } else if (Cursor) {
        uint8_t hot[4];
        if (!IEReadChecked(Stream, Progress, hot, 4)) return;
        Params.CURXHotSpot = IEGetLE16(hot);
        Params.CURYHotSpot = IEGetLE16(hot + 2);
    }

    uint8_t bh[40];
    const int64_t headerAt = Stream->GetPosition();
    if (!IEReadChecked(Stream, Progress, bh, 40)) return;
    if (std::memcmp(bh, kPngSignature, 8) == 0) {
        Stream->Seek(headerAt, cl::soBeginning);
        IEReadPNGStream(Stream, Bitmap, Params, Progress, PreviewOnly);
        return;
    }
    const uint32_t headerSize = IEGetLE32(bh);
    const int32_t headerWidth = static_cast<int32_t>(IEGetLE32(bh + 4));
    const int32_t headerHeight = static_cast<int32_t>(IEGetLE32(bh + 8)) / 2;
    if (headerSize < 40 || headerSize > 1024) {
        Progress.Abort();
        return;
    }
    Stream->Seek(headerAt + headerSize, cl::soBeginning);
    if (Params.IsResource) {
        Params.SetImageIndex(0);
        entry.Width = headerWidth;
        entry.Height = headerHeight;
    }
    Params.SetDpiX(IEPpmToDpi(static_cast<int32_t>(IEGetLE32(bh + 24)), IEDefaultDpiX));
    Params.SetDpiY(IEPpmToDpi(static_cast<int32_t>(IEGetLE32(bh + 28)), IEDefaultDpiY));

    int32_t bits = IEGetLE16(bh + 14);
    if (bits == 0) bits = entry.BitCount;
    if (bits == 0 && entry.Colors) bits = IECeilLog2(static_cast<uint32_t>(entry.Colors));
    if (bits == 0) {
        Progress.Abort();
        return;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) throw cl::Exception(kUnsupportedPixelFormat);
    if (Cursor) {
        Params.BitsPerSample = bits;
        Params.SamplesPerPixel = 1;
    } else if (bits > 8) {
        Params.BitsPerSample = 8;
        Params.SamplesPerPixel = bits == 32 ? 4 : 3;
    } else {
        Params.BitsPerSample = bits;
        Params.SamplesPerPixel = 1;
    }

    int32_t w = entry.Width ? entry.Width : headerWidth;
    int32_t h = entry.Height ? entry.Height : headerHeight;
    if (headerWidth > 0 && entry.Width != headerWidth && headerWidth < 2048 && headerHeight > 0 &&
        headerHeight < 2048) {
        w = headerWidth;
        h = headerHeight;
    }
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096) {
        Progress.Abort();
        return;
    }
    const int64_t rowLen = IEBitmapRowLen(w, bits, 32);
    const int64_t maskRowLen = IEBitmapRowLen(w, 1, 32);

    // The palette: the header's colours used, else every colour of the depth.
    Params.FreeColorMap();
    TRGB lookup[256] = {};
    if (bits <= 8) {
        int32_t n = 1 << bits;
        const uint32_t used = IEGetLE32(bh + 32);
        if (Cursor && entry.Colors) n = entry.Colors == 255 ? 256 : std::min(entry.Colors, n);
        if (used > 0 && used < static_cast<uint32_t>(n)) n = static_cast<int32_t>(used);
        std::vector<uint8_t> raw(static_cast<size_t>(n) * 4);
        if (!IEReadChecked(Stream, Progress, raw.data(), static_cast<int64_t>(raw.size()))) return;
        TRGB* map = Params.AllocColorMap(n);
        for (int32_t i = 0; i < n; ++i) lookup[i] = map[i] = TRGB{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]};
    }
    Params.Width = Params.OriginalWidth = w;
    Params.Height = Params.OriginalHeight = h;
    if (PreviewOnly) return;

    // Colour rows must be there; the transparency mask may be missing.
    if (rowLen * h > IEBytesLeft(Stream)) {
        Progress.Abort();
        return;
    }
    std::vector<uint8_t> colour(static_cast<size_t>(rowLen * h));
    if (!IEReadChecked(Stream, Progress, colour.data(), rowLen * h)) return;
    std::vector<uint8_t> andMask;
    if (maskRowLen * h <= IEBytesLeft(Stream)) {
        andMask.resize(static_cast<size_t>(maskRowLen * h));
        IEReadChecked(Stream, Progress, andMask.data(), maskRowLen * h);
    }
    auto transparent = [&](int32_t x, int32_t fileRow) {
        return !andMask.empty() &&
               (andMask[static_cast<size_t>(fileRow * maskRowLen + x / 8)] & (0x80 >> (x & 7))) != 0;
    };

    const bool native = !Cursor && Params.NativePixelFormat;
    const TIEPixelFormat format = bits == 1 ? ie1g : native && bits <= 8 ? ie8p : ie24RGB;
    if (!Bitmap->Allocate(w, h, format)) {
        Progress.Abort();
        return;
    }
    if (format == ie8p) {
        for (int i = 0; i < 256; ++i) Bitmap->SetPaletteEntry(i, lookup[i]);
        Bitmap->PaletteUsed = 1 << bits;
    }
    const bool wantAlpha = !IgnoreAlpha;
    if (wantAlpha) {
        if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
        AlphaMask->Allocate(w, h, 8);
        AlphaMask->Fill(255);
    }
    const TRGB background = Cursor ? Params.CURBackground : Params.ICOBackground;
    const bool onWhite = background == TRGB{255, 255, 255};
    bool allZero = true;
    if (bits == 32)
        for (int32_t k = 0; k < h && allZero; ++k)
            for (int32_t x = 0; x < w; ++x)
                if (colour[static_cast<size_t>(k * rowLen + 4 * x + 3)]) {
                    allZero = false;
                    break;
                }
    Progress.Per = 100.0 / h;
    int32_t last = -1;
    for (int32_t k = 0; k < h; ++k) {
        IEReportRows(Progress, k, last);
        const int32_t y = h - 1 - k;  // rows are stored bottom-up
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(y));
        auto* a = wantAlpha ? static_cast<uint8_t*>(AlphaMask->GetScanline(y)) : nullptr;
        const uint8_t* src = colour.data() + k * rowLen;
        for (int32_t x = 0; x < w; ++x) {
            const bool clear = transparent(x, k);
            switch (bits) {
                case 1: {
                    uint8_t bit = (src[x >> 3] >> (7 - (x & 7))) & 1;
                    if (clear && onWhite) bit ^= 1;
                    if (bit)
                        row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                    else
                        row[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
                    if (a && clear) a[x] = 0;
                    break;
                }
                case 4:
                case 8: {
                    const uint8_t idx = bits == 8 ? src[x] : (x & 1 ? src[x / 2] & 0x0F : src[x / 2] >> 4);
                    if (format == ie8p)
                        row[x] = idx;
                    else
                        reinterpret_cast<TRGB*>(row)[x] = clear ? background : lookup[idx];
                    if (a && clear) a[x] = 0;
                    break;
                }
                case 24:
                    std::memcpy(row + 3 * x, src + 3 * x, 3);
                    if (a && clear) a[x] = 0;
                    break;
                default:
                    std::memcpy(row + 3 * x, src + 4 * x, 3);
                    if (a) a[x] = allZero ? (clear ? 0 : 255) : src[4 * x + 3];
                    break;
            }
        }
    }
    if (wantAlpha) {
        AlphaMask->SyncFull();
        AlphaMask->SyncRect();
        if (!Cursor && AlphaMask->Full) AlphaMask.reset();
    }
}

void ReadICO(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    // The component always takes an icon's transparency (IgnoreAlpha is the BMP switch).
    IEReadICOStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress, Context.AlphaMask, false);
    Context.ImageCount = -1;
}

void ReadCUR(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadCURStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress, Context.AlphaMask, false);
    Context.ImageCount = -1;
}

void WriteICO(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    // The leading sizes of a positive width, each with its bit count.
    std::vector<std::array<int32_t, 2>> sizes;
    std::vector<int32_t> bitCounts;
    for (size_t i = 0; i < Params.ICOSizes.size() && Params.ICOSizes[i][0] > 0; ++i) {
        sizes.push_back(Params.ICOSizes[i]);
        bitCounts.push_back(Params.ICOBitCount[i]);
    }
    IEWriteICOStream(Stream, Bitmap, Params, Progress, sizes, bitCounts);
}

void PutLE16(uint8_t* P, uint32_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
}

void PutLE32(uint8_t* P, uint32_t V) {
    PutLE16(P, V & 0xFFFF);
    PutLE16(P + 2, V >> 16);
}

}  // namespace

void IEWriteICOStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                      const std::vector<std::array<int32_t, 2>>& Sizes, const std::vector<int32_t>& BitCounts) {
    const size_t count = std::min(Sizes.size(), BitCounts.size());
    if (count == 0 || count > 0xFFFF || !Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
        Progress.Abort();
        return;
    }
    for (size_t i = 0; i < count; ++i)
        if (Sizes[i][0] < 1 || Sizes[i][0] > 256 || Sizes[i][1] < 1 || Sizes[i][1] > 256) {
            Progress.Abort();
            return;
        }
    const int64_t start = Stream->GetPosition();
    uint8_t header[6] = {};
    PutLE16(header + 2, 1);
    PutLE16(header + 4, static_cast<uint32_t>(count));
    IEWriteChecked(Stream, Progress, header, 6);
    std::vector<uint8_t> dir(count * 16);
    IEWriteChecked(Stream, Progress, dir.data(), static_cast<int64_t>(dir.size()));
    Progress.Per = 100.0 / static_cast<double>(count);

    Params.FreeColorMap();
    const bool mono = Bitmap->GetPixelFormat() == ie1g;
    if (mono) {
        Params.BitsPerSample = 1;
        Params.SamplesPerPixel = 1;
    }
    const uint32_t ppmX = IEDpiToPpm(Params.DpiX), ppmY = IEDpiToPpm(Params.DpiY);
    std::vector<int64_t> starts(count), ends(count);
    std::vector<int32_t> bitsOf(count);
    for (size_t i = 0; i < count && !Progress.IsAborting(); ++i) {
        Progress.Report(static_cast<int32_t>(static_cast<double>(i) * Progress.Per));
        const int32_t w = Sizes[i][0], h = Sizes[i][1];
        // The source at the image's size; palette sources are resized through 24 bits.
        const TIEPixelFormat sf = Bitmap->GetPixelFormat();
        TIEBitmap sized(w, h, sf == ie1g || sf == ie8g ? sf : ie24RGB);
        IEResampleBitmap(Bitmap, &sized, mono ? rfNone : rfFastLinear, nullptr, nullptr);
        TIEBitmap* alpha = sized.HasAlphaChannel() ? sized.GetAlphaChannel() : nullptr;
        auto clear = [&](int32_t x, int32_t y) {
            return alpha && static_cast<const uint8_t*>(alpha->GetScanline(y))[x] < 255;
        };

        int32_t bits = BitCounts[i];
        if (bits == 0) {
            const int32_t spp = Params.SamplesPerPixel, bps = Params.BitsPerSample;
            bits = spp == 1 && (bps == 1 || bps == 4 || bps == 8) ? bps : spp == 4 && bps == 8 ? 32 : 24;
        }
        if (bits != 1 && bits != 4 && bits != 8 && bits != 32) bits = 24;
        bitsOf[i] = bits;
        const int64_t rowLen = IEBitmapRowLen(w, bits, 32);
        const int64_t maskRowLen = IEBitmapRowLen(w, 1, 32);
        starts[i] = Stream->GetPosition();

        // Every kind is made from a conversion of the source: black and white for 1 bit,
        // 24-bit colours (quantized for 4 and 8 bits) otherwise.
        std::unique_ptr<TIEBitmap> holder;
        TIEBitmap* src = bits == 1 ? IEBlackAndWhiteCopy(&sized, holder) : IEWorkingCopy(&sized, ie24RGB, holder);
        if (!src) {
            Progress.Abort();
            break;
        }
        std::vector<TRGB> palette;
        std::unique_ptr<TIEQuantizer> quantizer;
        if (bits == 1) {
            palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
        } else if (bits <= 8) {
            // Entry 0 is black and serves the transparent pixels; the image's colours follow.
            const int32_t n = 1 << bits;
            std::vector<TRGB> q(static_cast<size_t>(n));
            quantizer = std::make_unique<TIEQuantizer>(src, q.data(), n - 1);
            palette.assign(static_cast<size_t>(n), TRGB{0, 0, 0});
            std::copy_n(q.begin(), n - 1, palette.begin() + 1);
            std::copy(palette.begin(), palette.end(), Params.AllocColorMap(n));
        }

        uint8_t bh[40] = {};
        PutLE32(bh, 40);
        PutLE32(bh + 4, static_cast<uint32_t>(w));
        PutLE32(bh + 8, static_cast<uint32_t>(h * 2));
        PutLE16(bh + 12, 1);
        PutLE16(bh + 14, static_cast<uint32_t>(bits));
        // The image size counts the colour rows and the padded mask rows.
        if (bits <= 8) PutLE32(bh + 20, static_cast<uint32_t>(h * (rowLen + maskRowLen)));
        PutLE32(bh + 24, ppmX);
        PutLE32(bh + 28, ppmY);
        IEWriteChecked(Stream, Progress, bh, 40);
        for (const TRGB& c : palette) {
            const uint8_t e[4] = {c.b, c.g, c.r, 0};
            IEWriteChecked(Stream, Progress, e, 4);
        }

        std::vector<uint8_t> out(static_cast<size_t>(std::max(rowLen, maskRowLen)));
        for (int32_t y = h - 1; y >= 0 && !Progress.IsAborting(); --y) {
            std::fill(out.begin(), out.end(), 0);
            const auto* line = static_cast<const uint8_t*>(src->GetScanline(y));
            const auto* a = alpha ? static_cast<const uint8_t*>(alpha->GetScanline(y)) : nullptr;
            switch (bits) {
                case 1: std::memcpy(out.data(), line, static_cast<size_t>((w + 7) / 8)); break;
                case 4:
                case 8:
                    for (int32_t x = 0; x < w; ++x) {
                        const TRGB& c = reinterpret_cast<const TRGB*>(line)[x];
                        const int32_t idx =
                            clear(x, y) ? 0 : std::clamp(quantizer->RGBIndex(c), 0, (1 << bits) - 2) + 1;
                        if (bits == 8)
                            out[static_cast<size_t>(x)] = static_cast<uint8_t>(idx);
                        else
                            out[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x & 1 ? idx : idx << 4);
                    }
                    break;
                case 24: std::memcpy(out.data(), line, static_cast<size_t>(w) * 3); break;
                default:
                    for (int32_t x = 0; x < w; ++x) {
                        std::memcpy(&out[static_cast<size_t>(x) * 4], line + 3 * x, 3);
                        out[static_cast<size_t>(x) * 4 + 3] = a ? a[x] : 255;
                    }
                    break;
            }
            if (bits == 1 && (w & 7)) out[static_cast<size_t>(w / 8)] &= static_cast<uint8_t>(0xFF00 >> (w & 7));
            IEWriteChecked(Stream, Progress, out.data(), rowLen);
        }
        for (int32_t y = h - 1; y >= 0 && !Progress.IsAborting(); --y) {
            std::fill(out.begin(), out.end(), 0);
            for (int32_t x = 0; x < w; ++x)
                if (clear(x, y)) out[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x & 7));
            IEWriteChecked(Stream, Progress, out.data(), maskRowLen);
        }
        ends[i] = Stream->GetPosition();
    }
    if (Progress.IsAborting()) return;

    for (size_t i = 0; i < count; ++i) {
        uint8_t* e = dir.data() + 16 * i;
        e[0] = static_cast<uint8_t>(Sizes[i][0]);  // 256 is stored as 0
        e[1] = static_cast<uint8_t>(Sizes[i][1]);
        if (bitsOf[i] > 8) {
            PutLE16(e + 4, 1);
            PutLE16(e + 6, static_cast<uint32_t>(bitsOf[i]));
        } else {
            e[2] = static_cast<uint8_t>(std::min(1 << bitsOf[i], 255));
        }
        PutLE32(e + 8, static_cast<uint32_t>(ends[i] - starts[i]));
        PutLE32(e + 12, static_cast<uint32_t>(starts[i] - start));
    }
    const int64_t end = Stream->GetPosition();
    Stream->Seek(start + 6, cl::soBeginning);
    IEWriteChecked(Stream, Progress, dir.data(), static_cast<int64_t>(dir.size()));
    Stream->Seek(end, cl::soBeginning);
}

bool IEIsICOStream(cl::TStream* Stream) { return Probe(Stream, 1); }
bool IEIsCURStream(cl::TStream* Stream) { return Probe(Stream, 2); }

void IEReadICOStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
    ReadIconOrCursor(Stream, Bitmap, Params, PreviewOnly, Progress, AlphaMask, IgnoreAlpha, false);
}

void IEReadCURStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
    ReadIconOrCursor(Stream, Bitmap, Params, PreviewOnly, Progress, AlphaMask, IgnoreAlpha, true);
}

void IEICORegisterFormat() {
    TIEFormatOps ico;
    ico.Probe = &IEIsICOStream;
    ico.Read = &ReadICO;
    ico.Write = &WriteICO;
    IESetFormatOps(ioICO, ico);
    TIEFormatOps cur;
    cur.Probe = &IEIsCURStream;
    cur.Read = &ReadCUR;
    IESetFormatOps(ioCUR, cur);
}

}  // namespace ie
