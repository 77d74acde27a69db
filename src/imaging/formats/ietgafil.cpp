// Targa files.
#include "imaging/formats/ietgafil.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/processing/vovozidproc_utils.h"

namespace ie {

namespace {

constexpr char kSignature[18] = "TRUEVISION-XFILE.";  // with its zero byte
constexpr int kExtensionSize = 495;
constexpr int kFooterSize = 26;

void PutLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
    PutLE16(p, v);
    PutLE16(p + 2, v >> 16);
}

struct Header {
    uint8_t IdLength = 0, MapType = 0, ImageType = 0;
    uint16_t MapFirst = 0, MapLength = 0;
    uint8_t MapEntryBits = 0;
    uint16_t X = 0, Y = 0, Width = 0, Height = 0;
    uint8_t Depth = 0, Descriptor = 0;
};

Header ParseHeader(const uint8_t* h) {
    Header r;
    r.IdLength = h[0];
    r.MapType = h[1];
    r.ImageType = h[2];
    r.MapFirst = IEGetLE16(h + 3);
    r.MapLength = IEGetLE16(h + 5);
    r.MapEntryBits = h[7];
    r.X = IEGetLE16(h + 8);
    r.Y = IEGetLE16(h + 10);
    r.Width = IEGetLE16(h + 12);
    r.Height = IEGetLE16(h + 14);
    r.Depth = h[16];
    r.Descriptor = h[17];
    return r;
}

bool KnownType(uint8_t t) { return (t >= 1 && t <= 3) || (t >= 9 && t <= 11); }
bool KnownDepth(uint8_t d) { return d == 1 || d == 4 || d == 8 || d == 16 || d == 24 || d == 32; }

// A 16-bit pixel: five bits per channel (red highest), each widened by a shift of 3.
TRGB From16(uint32_t w) {
    return TRGB{static_cast<uint8_t>((w & 0x1F) << 3), static_cast<uint8_t>(((w >> 5) & 0x1F) << 3),
                static_cast<uint8_t>(((w >> 10) & 0x1F) << 3)};
}

// Dates of the extension area as TDateTime (days since 30 December 1899).
using namespace std::chrono;
constexpr sys_days kDateBase = sys_days{year{1899} / December / 30};

bool EncodeDateTime(int Y, int M, int D, int H, int Mi, int S, TDateTime& Out) {
    const year_month_day ymd{year{Y}, month{static_cast<unsigned>(M)}, day{static_cast<unsigned>(D)}};
    if (!ymd.ok()) return false;
    const double days = static_cast<double>((sys_days{ymd} - kDateBase).count());
    Out = days + (H * 3600.0 + Mi * 60.0 + S) / 86400.0;
    return true;
}

void DecodeDateTime(TDateTime Value, int& Y, int& M, int& D, int& H, int& Mi, int& S) {
    if (!std::isfinite(Value) || Value < -693593 || Value > 2958465) Value = 0;  // years 1 to 9999
    const double whole = std::floor(Value);
    const year_month_day ymd{kDateBase + days{static_cast<int64_t>(whole)}};
    Y = static_cast<int>(ymd.year());
    M = static_cast<int>(static_cast<unsigned>(ymd.month()));
    D = static_cast<int>(static_cast<unsigned>(ymd.day()));
    int64_t secs = std::llround((Value - whole) * 86400.0);
    secs = std::clamp<int64_t>(secs, 0, 86399);
    H = static_cast<int>(secs / 3600);
    Mi = static_cast<int>(secs / 60 % 60);
    S = static_cast<int>(secs % 60);
}

// Reads the stream through a buffer of 8,192 bytes, never past its end.
class BufferedInput {
public:
    explicit BufferedInput(cl::TStream* S) : FStream(S) {}
    // Exactly Count bytes into Dest; False at the end of the data.
    bool Read(uint8_t* Dest, int64_t Count) {
        while (Count > 0) {
            if (FPos == FLen && !Fill()) return false;
            const int64_t n = std::min<int64_t>(Count, FLen - FPos);
            std::memcpy(Dest, FBuf + FPos, static_cast<size_t>(n));
            FPos += n;
            Dest += n;
            Count -= n;
        }
        return true;
    }

private:
    bool Fill() {
        const int64_t want = std::min<int64_t>(sizeof FBuf, IEBytesLeft(FStream));
        const int64_t n = want > 0 ? FStream->Read(FBuf, want) : 0;
        FLen = n > 0 ? n : 0;
        FPos = 0;
        return FLen > 0;
    }
    cl::TStream* FStream;
    uint8_t FBuf[8192];
    int64_t FPos = 0, FLen = 0;
};

// The extension area's fields that the parameters keep.
void ReadExtension(cl::TStream* Stream, int64_t Start, TIOParamsVals& Params) {
    const int64_t size = Stream->GetSize();
    if (size - Start < kFooterSize) return;
    uint8_t footer[kFooterSize];
    Stream->Seek(size - kFooterSize, cl::soBeginning);
    if (Stream->Read(footer, kFooterSize) != kFooterSize) return;
    if (std::memcmp(footer + 8, kSignature, 17) != 0) return;
    const int64_t at = Start + IEGetLE32(footer);
    if (at < Start || at + kExtensionSize > size) return;
    uint8_t e[kExtensionSize];
    Stream->Seek(at, cl::soBeginning);
    if (Stream->Read(e, kExtensionSize) != kExtensionSize) return;
    auto text = [&](int Offset, int Length) {
        const auto* p = reinterpret_cast<const char*>(e + Offset);
        return cl::String(p, strnlen(p, static_cast<size_t>(Length)));
    };
    Params.TGAAuthor = text(2, 41);
    const int month = IEGetLE16(e + 367), day = IEGetLE16(e + 369), year = IEGetLE16(e + 371);
    const int hour = IEGetLE16(e + 373), minute = IEGetLE16(e + 375), second = IEGetLE16(e + 377);
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1 && year <= 2499 && hour < 24 && minute < 60 &&
        second < 60) {
        TDateTime t;
        if (EncodeDateTime(year, month, day, hour, minute, second, t)) Params.TGADate = t;
    }
    Params.TGAImageName = text(379, 41);
    Params.TGABackground = IECreateRGB(e[471], e[472], e[473]);
    const int an = IEGetLE16(e + 474), ad = IEGetLE16(e + 476);
    if (an != 0 && ad != 0) Params.TGAAspectRatio = static_cast<double>(an) / ad;
    const int gn = IEGetLE16(e + 478), gd = IEGetLE16(e + 480);
    if (gn != 0 && gd != 0) Params.TGAGamma = static_cast<double>(gn) / gd;
}

// Reverses the order of the first Width pixels of a 1-bit row.
void ReverseBits(uint8_t* Row, int32_t Width) {
    std::vector<uint8_t> copy(Row, Row + (Width + 7) / 8);
    std::fill(Row, Row + copy.size(), 0);
    for (int32_t x = 0; x < Width; ++x)
        if (copy[static_cast<size_t>(x >> 3)] & (0x80 >> (x & 7)))
            Row[(Width - 1 - x) >> 3] |= static_cast<uint8_t>(0x80 >> ((Width - 1 - x) & 7));
}

}  // namespace

bool IEIsTGAStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    uint8_t h[18];
    const bool whole = IEReadUpTo(Stream, h, 18) == 18;
    Stream->Seek(p, cl::soBeginning);
    if (!whole) return false;
    const Header hd = ParseHeader(h);
    return KnownType(hd.ImageType) && KnownDepth(hd.Depth) && hd.MapType < 2 && hd.Width != 0 && hd.Height != 0;
}

// ---------------------------------------------------------------------------------------
// Reading

void IEReadTGAStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool NoMask,
                     std::unique_ptr<TIEMask>& AlphaMask, bool PreviewOnly, TProgressRec& Progress) {
    const int64_t start = Stream->GetPosition();
    Params.TGAAuthor.clear();
    Params.TGAImageName.clear();
    Params.TGADate = IEToday();
    Params.TGABackground = TRGB{};
    Params.TGAAspectRatio = 1.0;
    Params.TGAGamma = 2.2;
    ReadExtension(Stream, start, Params);
    Stream->Seek(start, cl::soBeginning);

    uint8_t raw[18];
    if (!IEReadChecked(Stream, Progress, raw, 18)) return;
    const Header h = ParseHeader(raw);
    Params.TGAXPos = h.X;
    Params.TGAYPos = h.Y;
    if (!KnownType(h.ImageType) || !KnownDepth(h.Depth) || h.Width == 0 || h.Height == 0) {
        Progress.Abort();
        return;
    }
    std::vector<char> id(h.IdLength);
    if (!IEReadChecked(Stream, Progress, id.data(), h.IdLength)) return;
    Params.TGADescriptor.assign(id.data(), id.size());

    // The working palette: a colour cube until the colour map replaces it.
    TRGB palette[256];
    uint8_t alphaTable[256];
    std::fill(alphaTable, alphaTable + 256, 255);
    bool paletteAlpha = false;
    for (int j = 0; j < 8; ++j)
        for (int k = 0; k < 8; ++k)
            for (int l = 0; l < 4; ++l)
                palette[j * 32 + k * 4 + l] =
                    IECreateRGB(static_cast<uint8_t>(j * 32 + 28), static_cast<uint8_t>(k * 32 + 28),
                                static_cast<uint8_t>(l * 64 + 60));
    Params.FreeColorMap();
    if (h.MapType == 1) {
        const int bits = h.MapEntryBits;
        if (bits != 15 && bits != 16 && bits != 24 && bits != 32) {
            Progress.Abort();
            return;
        }
        const int bytes = (bits + 7) / 8;
        std::vector<uint8_t> map(static_cast<size_t>(h.MapLength) * bytes);
        if (!IEReadChecked(Stream, Progress, map.data(), static_cast<int64_t>(map.size()))) return;
        // Entries beyond 255 cannot be addressed by 8-bit pixels: read past, not kept.
        for (int i = 0; i < h.MapLength && h.MapFirst + i < 256; ++i) {
            const uint8_t* p = map.data() + static_cast<size_t>(i) * bytes;
            const int e = h.MapFirst + i;
            if (bytes == 2) {
                palette[e] = From16(IEGetLE16(p));
            } else {
                palette[e] = TRGB{p[0], p[1], p[2]};
                if (bytes == 4) {
                    alphaTable[e] = p[3];
                    paletteAlpha = true;
                }
            }
        }
        const int count = std::min<int>(h.MapLength, 256);
        if (count > 0) std::copy_n(palette, count, Params.AllocColorMap(count));
        Params.TGAGrayScale = false;
    } else if (h.Depth == 8) {
        for (int i = 0; i < 256; ++i)
            palette[i] = IECreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
        Params.TGAGrayScale = true;
    } else if (h.Depth == 1) {
        palette[0] = TRGB{0, 0, 0};
        palette[1] = TRGB{255, 255, 255};
    }
    const bool rle = h.ImageType >= 9;
    Params.TGACompressed = rle;

    const int32_t w = h.Width, ht = h.Height;
    Params.Width = Params.OriginalWidth = w;
    Params.Height = Params.OriginalHeight = ht;
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.SetImageCount(1);
    switch (h.Depth) {
        case 1:
            Params.BitsPerSample = 1;
            Params.SamplesPerPixel = 1;
            break;
        case 4:
            Params.BitsPerSample = 4;
            Params.SamplesPerPixel = 1;
            break;
        case 8:
            Params.BitsPerSample = 8;
            Params.SamplesPerPixel = 1;
            break;
        case 16:
            Params.BitsPerSample = 5;
            Params.SamplesPerPixel = 3;
            break;
        case 24:
            Params.BitsPerSample = 8;
            Params.SamplesPerPixel = 3;
            break;
        default:
            Params.BitsPerSample = 8;
            Params.SamplesPerPixel = 4;
            break;
    }
    if (PreviewOnly) return;

    // Run-length units are pixels, or bytes for the depths below 8.
    const bool packed = h.Depth < 8;
    const int32_t unitBytes = packed ? 1 : h.Depth / 8;
    const int64_t units = packed ? (int64_t{w} * h.Depth + 7) / 8 : w;
    // No allocation the data cannot fill: a raw row is all there, a run packet of
    // 1 + unitBytes bytes makes at most 128 units.
    const int64_t need = rle ? (units * ht + 127) / 128 * (1 + unitBytes) : units * unitBytes * ht;
    if (need > IEBytesLeft(Stream)) {
        Progress.Abort();
        return;
    }
    if (!Bitmap->Allocate(w, ht, h.Depth == 1 ? ie1g : ie24RGB)) {
        Progress.Abort();
        return;
    }
    const bool useMask = !NoMask && (h.Depth == 32 || (h.MapType == 1 && h.MapEntryBits == 32));
    if (useMask) {
        if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
        AlphaMask->Allocate(w, ht, 8);
        AlphaMask->Fill(255);
        AlphaMask->Full = false;
        if (AlphaMask->Width != w || AlphaMask->Height != ht) {
            Progress.Abort();
            return;
        }
    }

    Progress.Per = 100.0 / ht;
    Progress.Val = 0;
    BufferedInput in(Stream);
    std::vector<uint8_t> data(static_cast<size_t>(units * unitBytes));
    std::vector<uint8_t> row(static_cast<size_t>(std::max<int64_t>(int64_t{w} * 3, (w + 7) / 8)));
    std::vector<uint8_t> alpha(static_cast<size_t>(w), 255);
    // The packet left over from the previous row.
    int32_t pending = 0;
    bool pendingRun = false;
    uint8_t runValue[4] = {};

    auto decodeRow = [&]() {
        if (!rle) return in.Read(data.data(), static_cast<int64_t>(data.size()));
        int64_t filled = 0;
        while (filled < units) {
            if (pending == 0) {
                uint8_t head;
                if (!in.Read(&head, 1)) return false;
                pendingRun = head & 0x80;
                pending = (head & 0x7F) + 1;
                if (pendingRun && !in.Read(runValue, unitBytes)) return false;
            }
            const int64_t n = std::min<int64_t>(pending, units - filled);
            uint8_t* d = data.data() + filled * unitBytes;
            if (pendingRun) {
                for (int64_t i = 0; i < n; ++i)
                    std::memcpy(d + i * unitBytes, runValue, static_cast<size_t>(unitBytes));
            } else if (!in.Read(d, n * unitBytes)) {
                return false;
            }
            filled += n;
            pending -= static_cast<int32_t>(n);
        }
        return true;
    };

    auto* px = reinterpret_cast<TRGB*>(row.data());
    const size_t rowBytes = h.Depth == 1 ? static_cast<size_t>(units) : static_cast<size_t>(w) * 3;
    for (int32_t k = 0; k < ht; ++k) {
        if (Progress.IsAborting()) break;
        if (!decodeRow()) {
            Progress.Abort();
            break;
        }
        const uint8_t* s = data.data();
        switch (h.Depth) {
            case 1: std::memcpy(row.data(), s, static_cast<size_t>(units)); break;
            case 4:
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t i = x & 1 ? s[x / 2] & 0x0F : s[x / 2] >> 4;
                    px[x] = palette[i];
                    alpha[static_cast<size_t>(x)] = paletteAlpha ? alphaTable[i] : 255;
                }
                break;
            case 8:
                for (int32_t x = 0; x < w; ++x) {
                    px[x] = palette[s[x]];
                    alpha[static_cast<size_t>(x)] = paletteAlpha ? alphaTable[s[x]] : 255;
                }
                break;
            case 16:
                for (int32_t x = 0; x < w; ++x) px[x] = From16(IEGetLE16(s + 2 * x));
                break;
            case 24: std::memcpy(row.data(), s, static_cast<size_t>(w) * 3); break;
            default:
                for (int32_t x = 0; x < w; ++x) {
                    px[x] = TRGB{s[4 * x], s[4 * x + 1], s[4 * x + 2]};
                    alpha[static_cast<size_t>(x)] = s[4 * x + 3];
                }
                break;
        }
        if (h.Descriptor & 0x10) {
            if (h.Depth == 1)
                ReverseBits(row.data(), w);
            else
                std::reverse(px, px + w);
            std::reverse(alpha.begin(), alpha.end());
        }
        const int32_t y = (h.Descriptor & 0x20) ? k : ht - 1 - k;
        std::memcpy(Bitmap->GetScanline(y), row.data(), rowBytes);
        if (useMask) std::memcpy(AlphaMask->GetScanline(y), alpha.data(), static_cast<size_t>(w));
        ++Progress.Val;
        Progress.ReportRows(Progress.Val);
    }
    if (useMask) {
        AlphaMask->SyncRect();
        AlphaMask->SyncFull();
        if (AlphaMask->IsEmpty()) AlphaMask.reset();
    }
}

// ---------------------------------------------------------------------------------------
// Writing

namespace {

// Run-length packets of one row of Count pixels of Size bytes (packets never cross rows).
void EncodeRow(const uint8_t* Px, int32_t Count, int32_t Size, std::vector<uint8_t>& Out) {
    Out.clear();
    auto same = [&](int32_t a, int32_t b) {
        return std::memcmp(Px + a * Size, Px + b * Size, static_cast<size_t>(Size)) == 0;
    };
    int32_t p = 0;
    while (p < Count) {
        int32_t run = 1;
        while (p + run < Count && run < 128 && same(p, p + run)) ++run;
        if (run >= 2) {
            Out.push_back(static_cast<uint8_t>(run - 1 + 128));
            Out.insert(Out.end(), Px + p * Size, Px + (p + 1) * Size);
            p += run;
            continue;
        }
        // A raw packet: pixels that differ from their next one, and the row's last pixel.
        int32_t n = 0;
        while (p + n < Count && n < 128) {
            if (p + n + 1 == Count) {
                ++n;
                break;
            }
            if (n == 127 || same(p + n, p + n + 1)) break;
            ++n;
        }
        if (n == 0) n = 1;
        Out.push_back(static_cast<uint8_t>(n - 1));
        Out.insert(Out.end(), Px + p * Size, Px + (p + n) * Size);
        p += n;
    }
}

// Numerator and denominator of the extension area for Value: over 10,000, or over a smaller
// power of ten when the numerator would not fit in 16 bits.
void Ratio(double Value, uint16_t& Num, uint16_t& Den) {
    Num = Den = 0;
    if (!(Value > 0)) return;
    for (int d = 10000; d >= 1; d /= 10) {
        const double n = std::trunc(Value * d);
        if (n <= 65535) {
            Num = static_cast<uint16_t>(n);
            Den = static_cast<uint16_t>(d);
            return;
        }
    }
}

}  // namespace

void IEWriteTGAStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEMask* AlphaMask,
                      TProgressRec& Progress) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* src = Bitmap;
    if (src->GetPixelFormat() != ie24RGB && src->GetPixelFormat() != ie1g) {
        src = IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!src) {
            Progress.Abort();
            return;
        }
    }
    const int64_t start = Stream->GetPosition();

    int32_t depth = 24;
    std::unique_ptr<TIEQuantizer> quantizer;
    std::vector<TRGB> palette;
    if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) {
        depth = 1;
        if (src->GetPixelFormat() != ie1g) {
            std::unique_ptr<TIEBitmap> two = std::make_unique<TIEBitmap>();
            TRGB dark, light;
            if (IETwoColorsTo1Bit(src, two.get(), dark, light)) {
                holder = std::move(two);
                src = holder.get();
            } else {
                std::unique_ptr<TIEBitmap> bw;
                src = IEBlackAndWhiteCopy(src, bw);
                holder = std::move(bw);
            }
            if (!src) {
                Progress.Abort();
                return;
            }
        }
        Params.TGACompressed = false;
    } else if (Params.SamplesPerPixel == 1 && (Params.BitsPerSample == 4 || Params.BitsPerSample == 8)) {
        depth = Params.BitsPerSample;
        const int32_t colours = 1 << depth;
        palette.assign(static_cast<size_t>(colours), TRGB{});
        if (src->GetPixelFormat() == ie1g) {
            palette[1] = TRGB{255, 255, 255};
        } else {
            quantizer = std::make_unique<TIEQuantizer>(src, palette.data(), colours);
        }
        std::copy(palette.begin(), palette.end(), Params.AllocColorMap(colours));
        if (depth == 4) Params.TGACompressed = false;
    } else if (AlphaMask) {
        depth = 32;
        Params.TGACompressed = false;
    }
    const bool grey = depth == 8 && Params.TGAGrayScale;
    const bool mapped = depth == 4 || (depth == 8 && !grey);
    const bool rle = Params.TGACompressed && (depth == 8 || depth == 24);

    // Header, image ID and colour map.
    const cl::String descriptor = Params.TGADescriptor.substr(0, 254);
    uint8_t head[18] = {};
    head[0] = static_cast<uint8_t>(descriptor.size() + 1);
    if (mapped) {
        head[1] = 1;
        head[2] = rle ? 9 : 1;
        PutLE16(head + 5, 1u << depth);
        head[7] = 24;
    } else {
        head[2] = depth == 1 || grey ? (rle ? 11 : 3) : (rle ? 10 : 2);
    }
    PutLE16(head + 8, static_cast<uint32_t>(Params.TGAXPos));
    PutLE16(head + 10, static_cast<uint32_t>(Params.TGAYPos));
    PutLE16(head + 12, static_cast<uint32_t>(w));
    PutLE16(head + 14, static_cast<uint32_t>(h));
    head[16] = static_cast<uint8_t>(depth);
    head[17] = static_cast<uint8_t>(depth == 32 ? 0x28 : 0x20);
    IEWriteChecked(Stream, Progress, head, 18);
    std::vector<uint8_t> idBytes(descriptor.begin(), descriptor.end());
    idBytes.push_back(0);
    IEWriteChecked(Stream, Progress, idBytes.data(), static_cast<int64_t>(idBytes.size()));
    if (mapped) {
        std::vector<uint8_t> map;
        for (const TRGB& c : palette) map.insert(map.end(), {c.b, c.g, c.r});
        IEWriteChecked(Stream, Progress, map.data(), static_cast<int64_t>(map.size()));
    }

    // Rows from the top.
    const int32_t srcBits = src->GetPixelFormat() == ie1g ? 1 : 24;
    const int32_t outBits = depth == 32 ? 24 : depth;
    const bool maskFits = AlphaMask && AlphaMask->BitsPerPixel == 8 && AlphaMask->Width == w && AlphaMask->Height == h;
    std::vector<uint8_t> line(static_cast<size_t>(w) * 4 + 8), out, packets;
    const TRGB bw[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    Progress.Per = 100.0 / h;
    for (int32_t y = 0; y < h; ++y) {
        if (Progress.IsAborting()) break;
        std::fill(line.begin(), line.end(), 0);
        const bool fromOne = srcBits == 1;
        IEConvertScanline(src->GetScanline(y), line.data(), static_cast<uint16_t>(srcBits), quantizer.get(),
                          fromOne ? 2 : static_cast<int32_t>(palette.size()), fromOne ? bw : palette.data(),
                          static_cast<uint16_t>(w), static_cast<uint16_t>(outBits));
        if (grey)
            for (int32_t x = 0; x < w; ++x)
                line[static_cast<size_t>(x)] = static_cast<uint8_t>(IERGBToGray(palette[line[static_cast<size_t>(x)]]));
        if (rle) {
            EncodeRow(line.data(), w, depth / 8, packets);
            IEWriteChecked(Stream, Progress, packets.data(), static_cast<int64_t>(packets.size()));
        } else if (depth == 32) {
            out.resize(static_cast<size_t>(w) * 4);
            const auto* a = maskFits ? static_cast<const uint8_t*>(AlphaMask->GetScanline(y)) : nullptr;
            for (int32_t x = 0; x < w; ++x) {
                std::memcpy(&out[static_cast<size_t>(x) * 4], &line[static_cast<size_t>(x) * 3], 3);
                out[static_cast<size_t>(x) * 4 + 3] = a ? a[x] : 255;
            }
            IEWriteChecked(Stream, Progress, out.data(), static_cast<int64_t>(out.size()));
        } else {
            IEWriteChecked(Stream, Progress, line.data(), (int64_t{w} * depth + 7) / 8);
        }
        Progress.ReportRows(y + 1);
    }

    // Extension area and footer.
    const int64_t extension = Stream->GetPosition();
    uint8_t e[kExtensionSize] = {};
    PutLE16(e, kExtensionSize);
    auto text = [&](int Offset, const cl::String& S) {
        std::memcpy(e + Offset, S.data(), std::min<size_t>(S.size(), 40));
    };
    text(2, Params.TGAAuthor);
    text(379, Params.TGAImageName);
    int yy, mo, dd, hh, mi, ss;
    DecodeDateTime(Params.TGADate, yy, mo, dd, hh, mi, ss);
    const int fields[6] = {mo, dd, yy, hh, mi, ss};
    for (int i = 0; i < 6; ++i) PutLE16(e + 367 + 2 * i, static_cast<uint32_t>(std::clamp(fields[i], 0, 65535)));
    e[471] = Params.TGABackground.r;
    e[472] = Params.TGABackground.g;
    e[473] = Params.TGABackground.b;
    uint16_t num, den;
    Ratio(Params.TGAAspectRatio, num, den);
    PutLE16(e + 474, num);
    PutLE16(e + 476, den);
    Ratio(Params.TGAGamma, num, den);
    PutLE16(e + 478, num);
    PutLE16(e + 480, den);
    IEWriteChecked(Stream, Progress, e, kExtensionSize);
    uint8_t footer[kFooterSize] = {};
    PutLE32(footer, static_cast<uint32_t>(extension - start));
    std::memcpy(footer + 8, kSignature, 18);
    IEWriteChecked(Stream, Progress, footer, kFooterSize);
}

// ---------------------------------------------------------------------------------------
// The engine's entry

namespace {

void ReadTGA(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadTGAStream(Stream, Bitmap, Params, Context.PreviewOnly, Context.AlphaMask, Context.PreviewOnly, Progress);
    Context.ImageCount = 1;
}

void WriteTGA(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEWriteContext& Context) {
    IEWriteTGAStream(Stream, Bitmap, Params, Context.AlphaMask, Progress);
}

}  // namespace

void IETGARegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsTGAStream;
    ops.Read = &ReadTGA;
    ops.Write = &WriteTGA;
    IESetFormatOps(ioTGA, ops);
}

}  // namespace ie
