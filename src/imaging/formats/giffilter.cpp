// GIF files: one frame read, a one-frame file written.
#include "imaging/formats/giffilter.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/giflzw.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio_startup.h"

namespace ie {

namespace {

// An LZW code of at least 3 bits yields at most 4,096 pixels: a frame that needs more
// pixels per byte of the data left than that cannot be filled, and its buffers are not
// allocated.
constexpr int64_t kMaxPixelsPerByte = 4096 * 8 / 3 + 1;

// A colour table: 256 entries, zero-filled beyond the Count the file gives, so that any
// index reads a colour (black when the file's table has no such entry).
struct TGIFTable {
    std::array<TRGB, 256> Entries{};
    int32_t Bits = 1;  // the table holds 2^Bits entries
    bool Present = false;
    int32_t Count() const { return 1 << Bits; }
    TRGB At(int32_t Index) const {
        return Index >= 0 && Index < Count() ? Entries[static_cast<size_t>(Index)] : TRGB{};
    }
};

struct TFreeDeleter {
    void operator()(void* P) const { std::free(P); }
};

// One byte; False at the end of the stream.
bool ReadByte(cl::TStream* Stream, uint8_t& B) { return Stream->Read(&B, 1) == 1; }

// Reads a table of 2^Bits entries of red, green, blue into TRGB order.
bool ReadTable(cl::TStream* Stream, TProgressRec& Progress, int32_t Bits, TGIFTable& Table) {
    Table.Bits = Bits;
    Table.Present = true;
    uint8_t raw[256 * 3];
    const int32_t n = Table.Count();
    if (!IEReadChecked(Stream, Progress, raw, static_cast<int64_t>(n) * 3)) return false;
    for (int32_t i = 0; i < n; ++i)
        Table.Entries[static_cast<size_t>(i)] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
    return true;
}

// Skips sub-blocks by their lengths up to a zero length or the end of the stream.
void SkipSubBlocks(cl::TStream* Stream, int64_t Size) {
    uint8_t length = 0;
    while (ReadByte(Stream, length) && length != 0)
        if (Stream->Seek(length, cl::soCurrent) >= Size) break;
}

// The text of a comment extension: its sub-blocks joined, each up to its first zero byte.
// A sub-block that runs past the end of the stream ends it unread.
cl::String ReadComment(cl::TStream* Stream, int64_t Size) {
    cl::String text;
    uint8_t length = 0;
    char block[256];
    while (ReadByte(Stream, length) && length != 0) {
        if (Stream->GetPosition() + length > Size) {
            Stream->Seek(0, cl::soEnd);
            break;
        }
        if (Stream->Read(block, length) != length) break;
        text.append(block, strnlen(block, length));
    }
    return text;
}

struct TFrameInfo {
    uint8_t Control[4] = {0, 0, 0, 0};  // graphic control: packed, delay (2 bytes), transparent index
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool Interlaced = false;
};

// Copies the decoded indexes of a frame into the bitmap and the mask.
void StoreIndexes(TIEBitmap* Bitmap, const uint8_t* Indexes, const TGIFTable& Table, TIEMask* Mask,
                  int32_t Transparent) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f == ie8p) {
        // Entries past the table are black, as in the 24-bit case.
        for (int32_t i = 0; i < 256; ++i) Bitmap->SetPaletteEntry(i, Table.Entries[static_cast<size_t>(i)]);
        Bitmap->PaletteUsed = Table.Count();
    }
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = Indexes + static_cast<size_t>(y) * w;
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(y));
        if (!row) continue;
        if (f == ie8p) {
            std::memcpy(row, src, static_cast<size_t>(w));
        } else if (f == ie1g) {
            std::memset(row, 0, static_cast<size_t>((w + 7) / 8));
            for (int32_t x = 0; x < w; ++x)
                if (src[x] == 1) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        } else {
            auto* px = reinterpret_cast<TRGB*>(row);
            for (int32_t x = 0; x < w; ++x) px[x] = Table.Entries[src[x]];
        }
        if (Mask)
            for (int32_t x = 0; x < w; ++x)
                if (src[x] == Transparent) Mask->SetPixel(x, y, 0);
    }
}

// Takes frame W; False ends the block loop.
bool TakeFrame(cl::TStream* Stream, TIEBitmap* Bitmap, bool NoMask, std::unique_ptr<TIEMask>& AlphaMask,
               bool PreviewOnly, TProgressRec& Progress, TIOParamsVals& Params, const TFrameInfo& Frame,
               const TGIFTable& Global, const TGIFTable& Local, int64_t Size) {
    Progress.Report(30);
    if (Progress.IsAborting()) return false;
    const TGIFTable& table = Local.Present ? Local : Global;
    const int32_t transparent = Frame.Control[3];
    Params.GIFTranspColor = table.At(transparent);
    Params.GIFXPos = Frame.Left;
    Params.GIFYPos = Frame.Top;
    Params.Width = Params.OriginalWidth = Frame.Width;
    Params.Height = Params.OriginalHeight = Frame.Height;
    Params.GIFDelayTime = Frame.Control[1] | (Frame.Control[2] << 8);
    Params.GIFTransparent = (Frame.Control[0] & 1) != 0;
    Params.GIFInterlaced = Frame.Interlaced;
    Params.GIFAction = (Frame.Control[0] >> 2) & 7;
    if (Frame.Width == 0 || Frame.Height == 0) {
        Progress.Abort();
        return false;
    }

    std::unique_ptr<uint8_t, TFreeDeleter> indexes;
    if (PreviewOnly) {
        uint8_t codeSize;
        if (ReadByte(Stream, codeSize)) SkipSubBlocks(Stream, Size);
    } else {
        const int64_t pixels = static_cast<int64_t>(Frame.Width) * Frame.Height;
        if (pixels > (IEBytesLeft(Stream) + 1) * kMaxPixelsPerByte ||
            !IEReaderPixelsAllowed(Frame.Width, Frame.Height)) {
            Progress.Abort();
            return false;
        }
        void* p = nullptr;
        IEGetMemOrNil(p, static_cast<uint64_t>(pixels));
        if (!p) return false;
        indexes.reset(static_cast<uint8_t*>(p));
        // Pixels the data does not reach read as index 0.
        std::memset(indexes.get(), 0, static_cast<size_t>(pixels));
        const int64_t before = Stream->GetPosition();
        TIEGIFLZWDecompressor decompress = Params.GIFLZWDecompress ? Params.GIFLZWDecompress : IEDefGIFLZWDecompress;
        if (decompress) decompress(Stream, Frame.Height, Frame.Width, indexes.get(), Frame.Interlaced);
        if (Stream->GetPosition() == before) {
            Progress.Abort();
            return false;
        }
        Progress.Report(70);
        if (Progress.IsAborting()) return false;
    }

    Params.BitsPerSample = table.Bits;
    TRGB* map = Params.AllocColorMap(table.Count());
    if (map) std::copy_n(table.Entries.begin(), table.Count(), map);
    if (PreviewOnly) return true;

    const TGIFTable& t = table;
    const bool blackWhite = t.Bits == 1 && t.Entries[0] == TRGB{0, 0, 0} && t.Entries[1] == TRGB{255, 255, 255};
    const TIEPixelFormat format = blackWhite ? ie1g : Params.NativePixelFormat ? ie8p : ie24RGB;
    if (format != ie1g && (Frame.Width > 65000 || Frame.Height > 65000) && IEBytesLeft(Stream) < 2000) {
        Progress.Abort();
        return false;
    }
    if (!Bitmap->Allocate(Frame.Width, Frame.Height, format)) {
        Progress.Abort();
        return false;
    }
    TIEMask* mask = nullptr;
    if (!NoMask && Params.GIFTransparent) {
        if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
        AlphaMask->Allocate(Frame.Width, Frame.Height, 8);
        AlphaMask->Fill(255);
        mask = AlphaMask.get();
    }
    StoreIndexes(Bitmap, indexes.get(), t, mask, transparent);
    indexes.reset();
    if (mask) {
        mask->SyncFull();
        if (mask->Full) AlphaMask.reset();
    }
    return true;
}

}  // namespace

void IEReadGIFStream(cl::TStream* Stream, TIEBitmap* Bitmap, int32_t& ImageCount, bool NoMask,
                     std::unique_ptr<TIEMask>& AlphaMask, bool PreviewOnly, TProgressRec& Progress,
                     TIOParamsVals& Params) {
    ImageCount = 0;
    Progress.Report(0);
    if (Progress.IsAborting()) return;
    const int64_t size = Stream->GetSize();
    const int32_t wanted = Params.GIFImageIndex;

    uint8_t header[13];
    if (!IEReadChecked(Stream, Progress, header, 13)) return;
    if (std::memcmp(header, "GIF", 3) != 0) {
        Progress.Abort();
        return;
    }
    Params.GIFVersion = cl::String(reinterpret_cast<const char*>(header), 6);
    Params.GIFWinWidth = IEGetLE16(header + 6);
    Params.GIFWinHeight = IEGetLE16(header + 8);
    Params.GIFRatio = header[12];
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.SamplesPerPixel = 1;
    TGIFTable global;
    global.Bits = (header[10] & 7) + 1;
    if (header[10] & 0x80) {
        if (!ReadTable(Stream, Progress, global.Bits, global)) return;
        Params.GIFBackground = global.At(header[11]);
    }
    if (Stream->GetPosition() >= size) Progress.Abort();

    TFrameInfo frame;
    int32_t count = 0;
    while (!Progress.IsAborting()) {
        uint8_t b = 0;
        if (!ReadByte(Stream, b) || Stream->GetPosition() >= size) b = ';';
        if (b == '!') {
            uint8_t label = 0;
            if (!ReadByte(Stream, label)) break;
            if (label == 0xF9 && count == wanted) {
                // The graphic control of the wanted frame: the first four bytes of its block.
                uint8_t length = 0;
                if (!ReadByte(Stream, length)) break;
                uint8_t data[255] = {};
                if (Stream->Read(data, length) != length) break;
                std::memcpy(frame.Control, data, 4);
                SkipSubBlocks(Stream, size);
            } else if (label == 0xFE) {
                const cl::String text = ReadComment(Stream, size);
                if (!text.empty()) Params.GIFComments()->Add(text);
            } else {
                SkipSubBlocks(Stream, size);
            }
        } else if (b == ',') {
            uint8_t d[9];
            if (Stream->Read(d, 9) != 9) {
                if (count == wanted) Progress.Abort();
                break;
            }
            TGIFTable local;
            if (d[8] & 0x80) {
                TProgressRec quiet;  // a short table of a frame not taken only ends the loop
                if (!ReadTable(Stream, count == wanted ? Progress : quiet, (d[8] & 7) + 1, local)) break;
            }
            if (count == wanted) {
                frame.Left = IEGetLE16(d);
                frame.Top = IEGetLE16(d + 2);
                frame.Width = IEGetLE16(d + 4);
                frame.Height = IEGetLE16(d + 6);
                frame.Interlaced = (d[8] & 0x40) != 0;
                const bool go = TakeFrame(Stream, Bitmap, NoMask, AlphaMask, PreviewOnly, Progress, Params, frame,
                                          global, local, size);
                ++count;
                if (!go) break;
            } else {
                uint8_t codeSize;
                if (ReadByte(Stream, codeSize)) SkipSubBlocks(Stream, size);
                ++count;
            }
        } else if (b == ';') {
            break;
        }
    }
    Params.SetImageCount(count);
    ImageCount = count;
    if (!Progress.IsAborting()) Progress.Report(100);
}

// ---------------------------------------------------------------------------------------
// Writing

namespace {

// Forwards writes to a stream and remembers a short one (the coder cannot report it).
class TCheckedWriteStream : public cl::TStream {
    CL_DECLARE_CLASS(TCheckedWriteStream, cl::TStream)
public:
    explicit TCheckedWriteStream(cl::TStream* Target) : FTarget(Target) {}
    int64_t Read(void* Buffer, int64_t Count) override { return FTarget->Read(Buffer, Count); }
    int64_t Write(const void* Buffer, int64_t Count) override {
        const int64_t n = FTarget->Write(Buffer, Count);
        if (n != Count) Short = true;
        return n;
    }
    int64_t Seek(int64_t Offset, cl::TSeekOrigin Origin) override { return FTarget->Seek(Offset, Origin); }
    int64_t GetSize() override { return FTarget->GetSize(); }
    bool Short = false;

private:
    cl::TStream* FTarget;
};

void PutLE16(std::vector<uint8_t>& Out, int32_t V) {
    Out.push_back(static_cast<uint8_t>(V));
    Out.push_back(static_cast<uint8_t>(V >> 8));
}

// The palette index of a colour through the quantizer; a colour it does not know (an
// exact palette without that colour) takes the closest entry.
int32_t QuantIndex(const TIEQuantizer& Q, const TRGB* Palette, int32_t N, const TRGB& Color) {
    const int32_t i = Q.RGBIndex(Color);
    return i >= 0 && i < N ? i : IEFindClosestColor(Palette, N, Color);
}

}  // namespace

void IEWriteGIFStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    Progress.Report(0);
    if (Progress.IsAborting()) return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        Progress.Abort();
        return;
    }
    const bool hasAlpha = Bitmap->HasAlphaChannel();
    int32_t depth = std::clamp(Params.BitsPerSample, 1, 8);
    // One bit leaves no index for transparency beside the two colours.
    if (hasAlpha && depth == 1) depth = 2;
    int32_t n = 1 << depth;
    if (hasAlpha) n -= 1;

    // The source: a 1-bit picture, or an ie8p one whose indexes fit, or a 24-bit one.
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* source = Bitmap;
    bool twoColors = false;
    TRGB dark, light;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (depth == 1) {
        if (f != ie1g) {
            holder = std::make_unique<TIEBitmap>();
            twoColors = IETwoColorsTo1Bit(Bitmap, holder.get(), dark, light);
            if (!twoColors) {
                if (!holder->Allocate(w, h, ie1g)) {
                    Progress.Abort();
                    return;
                }
                holder->CopyAndConvertFormat(Bitmap);
                holder->RemoveAlphaChannel(false, 0);
            }
            source = holder.get();
        }
    } else {
        bool direct = f == ie24RGB;
        if (f == ie8p) {
            direct = true;
            for (int32_t y = 0; y < h && direct; ++y) {
                const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanline(y));
                for (int32_t x = 0; x < w && direct; ++x) direct = row[x] < n;
            }
        }
        if (!direct) source = IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!source) {
            Progress.Abort();
            return;
        }
    }
    if (hasAlpha) Params.GIFTransparent = true;

    std::array<TRGB, 256> palette{};
    std::vector<uint8_t> indexes;
    try {
        indexes.resize(static_cast<size_t>(w) * h);
    } catch (const std::bad_alloc&) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEQuantizer> quantizer;
    const TIEPixelFormat sf = source->GetPixelFormat();
    if (sf == ie1g) {
        palette[0] = twoColors ? dark : TRGB{0, 0, 0};
        palette[1] = twoColors ? light : TRGB{255, 255, 255};
        for (int32_t y = 0; y < h; ++y) {
            const auto* row = static_cast<const uint8_t*>(source->GetScanline(y));
            uint8_t* out = indexes.data() + static_cast<size_t>(y) * w;
            for (int32_t x = 0; x < w; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    } else {
        quantizer = std::make_unique<TIEQuantizer>(source, palette.data(), n);
        for (int32_t y = 0; y < h; ++y) {
            const auto* row = static_cast<const uint8_t*>(source->GetScanline(y));
            uint8_t* out = indexes.data() + static_cast<size_t>(y) * w;
            if (sf == ie8p) {
                std::memcpy(out, row, static_cast<size_t>(w));
                continue;
            }
            const auto* px = reinterpret_cast<const TRGB*>(row);
            TRGB last = px[0];
            int32_t lastIndex = QuantIndex(*quantizer, palette.data(), n, last);
            for (int32_t x = 0; x < w; ++x) {
                if (!(px[x] == last)) {
                    last = px[x];
                    lastIndex = QuantIndex(*quantizer, palette.data(), n, last);
                }
                out[x] = static_cast<uint8_t>(lastIndex);
            }
        }
    }
    if (hasAlpha) {
        TIEBitmap* alpha = Bitmap->GetAlphaChannel();
        for (int32_t y = 0; y < h; ++y) {
            const auto* a = static_cast<const uint8_t*>(alpha->GetScanline(y));
            uint8_t* out = indexes.data() + static_cast<size_t>(y) * w;
            for (int32_t x = 0; x < w; ++x)
                if (a[x] < 255) out[x] = static_cast<uint8_t>(n);
        }
    }

    auto indexOf = [&](const TRGB& Color) {
        return sf == ie24RGB ? QuantIndex(*quantizer, palette.data(), n, Color)
                             : IEFindClosestColor(palette.data(), n, Color);
    };
    const int32_t background = indexOf(Params.GIFBackground);
    const int32_t transparent = hasAlpha ? n : indexOf(Params.GIFTranspColor);
    quantizer.reset();
    holder.reset();

    Progress.Report(30);
    if (Progress.IsAborting()) return;

    TCheckedWriteStream out(Stream);
    std::vector<uint8_t> head;
    cl::String version = Params.GIFVersion;
    if (version.size() < 6) version += cl::String("GIF89a").substr(version.size());
    head.insert(head.end(), version.begin(), version.begin() + 6);
    PutLE16(head, w);
    PutLE16(head, h);
    head.push_back(static_cast<uint8_t>(0x80 + (depth - 1) * 16 + (depth - 1)));
    head.push_back(static_cast<uint8_t>(background));
    head.push_back(0);
    // The colour table: 2^depth entries (with transparency the last one is the reserved
    // transparent entry, left black).
    for (int32_t i = 0; i < (1 << depth); ++i) {
        const TRGB c = i < n ? palette[static_cast<size_t>(i)] : TRGB{};
        head.push_back(c.r);
        head.push_back(c.g);
        head.push_back(c.b);
    }
    // The graphic control extension.
    head.insert(head.end(), {0x21, 0xF9, 4});
    head.push_back(static_cast<uint8_t>((Params.GIFTransparent ? 1 : 0) | ((Params.GIFAction & 7) << 2)));
    PutLE16(head, Params.GIFDelayTime);
    head.push_back(static_cast<uint8_t>(transparent));
    head.push_back(0);
    // The image descriptor, without a local table.
    head.push_back(0x2C);
    PutLE16(head, Params.GIFXPos);
    PutLE16(head, Params.GIFYPos);
    PutLE16(head, w);
    PutLE16(head, h);
    head.push_back(Params.GIFInterlaced ? 0x40 : 0);
    IEWriteChecked(&out, Progress, head.data(), static_cast<int64_t>(head.size()));

    Progress.Report(70);
    if (Progress.IsAborting()) return;
    TIEGIFLZWCompressor compress = Params.GIFLZWCompress ? Params.GIFLZWCompress : IEDefGIFLZWCompress;
    if (!compress) {
        Progress.Abort();
        return;
    }
    compress(&out, h, w, depth, indexes.data(), Params.GIFInterlaced);
    if (out.Short) Progress.Abort();

    // The comments: one extension each, in sub-blocks of at most 255 bytes; an empty
    // extension when there is none.
    std::vector<uint8_t> tail;
    bool any = false;
    cl::TStringList* comments = Params.GIFComments();
    for (int32_t i = 0; i < comments->GetCount(); ++i) {
        const cl::String text = comments->Strings(i);
        if (text.empty()) continue;
        any = true;
        tail.insert(tail.end(), {0x21, 0xFE});
        for (size_t p = 0; p < text.size(); p += 255) {
            const size_t len = std::min<size_t>(255, text.size() - p);
            tail.push_back(static_cast<uint8_t>(len));
            tail.insert(tail.end(), text.begin() + static_cast<std::ptrdiff_t>(p),
                        text.begin() + static_cast<std::ptrdiff_t>(p + len));
        }
        tail.push_back(0);
    }
    if (!any) tail.insert(tail.end(), {0x21, 0xFE, 0});
    tail.push_back(0x3B);
    IEWriteChecked(&out, Progress, tail.data(), static_cast<int64_t>(tail.size()));
    Progress.Report(100);
}

// ---------------------------------------------------------------------------------------
// The engine's entry

namespace {

void ReadGIF(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    int32_t count = 0;
    IEReadGIFStream(Stream, Bitmap, count, Context.PreviewOnly, Context.AlphaMask, Context.PreviewOnly, Progress,
                    Params);
    Context.ImageCount = count;
}

void WriteGIF(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWriteGIFStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEGIFRegisterFormat() {
    // The coders become the library-wide defaults; the engine's start-up has copied the
    // coder table before the codecs register, so the defaults are bound here as well.
    IEBuiltInLZWCoders.GIFDecompress = &IEGIFLZWDecompress;
    IEBuiltInLZWCoders.GIFCompress = &IEGIFLZWCompress;
    IEDefGIFLZWDecompress = &IEGIFLZWDecompress;
    IEDefGIFLZWCompress = &IEGIFLZWCompress;
    TIEFormatOps ops;
    ops.Read = &ReadGIF;
    ops.Write = &WriteGIF;
    IESetFormatOps(ioGIF, ops);
}

}  // namespace ie
