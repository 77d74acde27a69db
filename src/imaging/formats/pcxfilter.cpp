// PaintBrush images and DCX containers.
#include "imaging/formats/pcxfilter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/core/neurquant.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/processing/vovozidproc_utils.h"

namespace ie {

namespace {

constexpr int kHeaderSize = 128;
constexpr int kBigPaletteSize = 768;
constexpr uint8_t kBigPaletteMarker = 12;

void PutLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
    PutLE16(p, v);
    PutLE16(p + 2, v >> 16);
}

// Red, green, blue triples of a file palette into blue-green-red colours.
void PaletteFromFile(const uint8_t* Src, int Count, TRGB* Dest) {
    for (int i = 0; i < Count; ++i) Dest[i] = TRGB{Src[3 * i + 2], Src[3 * i + 1], Src[3 * i]};
}
void PaletteToFile(const TRGB* Src, int Count, uint8_t* Dest) {
    for (int i = 0; i < Count; ++i) {
        Dest[3 * i] = Src[i].r;
        Dest[3 * i + 1] = Src[i].g;
        Dest[3 * i + 2] = Src[i].b;
    }
}

// The line layouts the reader converts: one plane of 1, 4 or 8 bits, three planes of 8 bits
// (red, green, blue) and four planes of 1 bit (a 16-colour index).
bool KnownLayout(int Bits, int Planes) {
    return (Planes == 1 && (Bits == 1 || Bits == 4 || Bits == 8)) || (Planes == 3 && Bits == 8) ||
           (Planes == 4 && Bits == 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Line coders

bool IEPCXDecodeLine(TIEPCXLineReader& Reader, uint8_t* Dest, int32_t Count) {
    int32_t i = 0;
    if (!Reader.RLE) {
        const int64_t n = std::min<int64_t>(Count, std::max<int64_t>(Reader.Size - Reader.Pos, 0));
        if (n > 0) std::memcpy(Dest, Reader.Data + Reader.Pos, static_cast<size_t>(n));
        Reader.Pos += n;
        std::memset(Dest + n, 0, static_cast<size_t>(Count - n));
        return n == Count;
    }
    while (i < Count) {
        if (Reader.RunLeft > 0) {
            const int32_t n = std::min(Reader.RunLeft, Count - i);
            std::memset(Dest + i, Reader.RunByte, static_cast<size_t>(n));
            i += n;
            Reader.RunLeft -= n;
            continue;
        }
        if (Reader.Pos >= Reader.Size) break;
        const uint8_t b = Reader.Data[Reader.Pos++];
        if (b < 0xC0) {
            Dest[i++] = b;
            continue;
        }
        if (Reader.Pos >= Reader.Size) break;
        Reader.RunLeft = b & 0x3F;
        Reader.RunByte = Reader.Data[Reader.Pos++];
    }
    if (i == Count) return true;
    std::memset(Dest + i, 0, static_cast<size_t>(Count - i));
    return false;
}

int32_t IEPCXEncodeLine(const uint8_t* Source, int32_t Count, int32_t Stride, int32_t Start, uint8_t* Dest) {
    auto at = [&](int32_t i) { return Source[static_cast<size_t>(Start) + static_cast<size_t>(i) * Stride]; };
    int32_t n = 0;
    for (int32_t i = 0; i < Count;) {
        const uint8_t b = at(i);
        int32_t run = 1;
        while (i + run < Count && run < 63 && at(i + run) == b) ++run;
        if (run > 1 || b >= 0xC0) Dest[n++] = static_cast<uint8_t>(0xC0 | run);
        Dest[n++] = b;
        i += run;
    }
    if (Count & 1) Dest[n++] = 0;
    return n;
}

// ---------------------------------------------------------------------------------------
// Reader

void IEReadPCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress, int64_t PageSize) {
    try {
        const int64_t start = Stream->GetPosition();
        const int64_t left = IEBytesLeft(Stream);
        if (PageSize <= 0 || PageSize > left) PageSize = left;
        uint8_t h[kHeaderSize];
        if (PageSize < kHeaderSize || !IEReadChecked(Stream, Progress, h, kHeaderSize)) {
            Progress.Abort();
            return;
        }
        const int bits = h[3], planes = h[65], encoding = h[2];
        if (h[0] != 10 || bits > 8 || encoding > 1 || !KnownLayout(bits, planes)) {
            Progress.Abort();
            return;
        }
        const int32_t width = int32_t{IEGetLE16(h + 8)} - IEGetLE16(h + 4) + 1;
        const int32_t height = int32_t{IEGetLE16(h + 10)} - IEGetLE16(h + 6) + 1;
        const int32_t bytesPerLine = IEGetLE16(h + 66);
        // One plane line must hold the row's pixels.
        const int64_t lineNeeds = (int64_t{width} * bits + 7) / 8;
        if (width <= 0 || height <= 0 || bytesPerLine < lineNeeds) {
            Progress.Abort();
            return;
        }
        Params.PCXVersion = h[1];
        Params.SetImageCount(1);
        const int32_t dpiX = IEGetLE16(h + 12), dpiY = IEGetLE16(h + 14);
        Params.SetDpiX(dpiX == 0 || dpiY == 0 ? IEDefaultDpiX : dpiX);
        Params.SetDpiY(dpiX == 0 || dpiY == 0 ? IEDefaultDpiY : dpiY);

        TRGB small[16], big[256] = {};
        PaletteFromFile(h + 16, 16, small);
        if (planes == 1 && bits > 4) {
            // The 256-colour palette: the last 768 bytes of the page.
            if (PageSize < kHeaderSize + kBigPaletteSize) {
                Progress.Abort();
                return;
            }
            uint8_t raw[kBigPaletteSize];
            Stream->Seek(start + PageSize - kBigPaletteSize, cl::soBeginning);
            if (!IEReadChecked(Stream, Progress, raw, kBigPaletteSize)) return;
            PaletteFromFile(raw, 256, big);
            Stream->Seek(start + kHeaderSize, cl::soBeginning);
        }

        Params.BitsPerSample = bits;
        Params.SamplesPerPixel = planes;
        Params.Width = Params.OriginalWidth = width;
        Params.Height = Params.OriginalHeight = height;
        Params.FreeColorMap();
        if (bits == 8 && planes == 1) {
            std::copy(big, big + 256, Params.AllocColorMap(256));
        } else if (bits == 1 && planes == 4) {
            std::copy(small, small + 16, Params.AllocColorMap(16));
            Params.BitsPerSample = 4;
            Params.SamplesPerPixel = 1;
        } else if (bits < 8) {
            std::copy(small, small + (1 << bits), Params.AllocColorMap(1 << bits));
        }
        if (PreviewOnly) return;

        // The data must be able to fill the rows: a run-length pair gives at most 63 bytes.
        const int64_t dataSize = PageSize - kHeaderSize;
        const int64_t needed = int64_t{bytesPerLine} * planes * height;
        if (encoding == 1 ? needed / 32 > dataSize : needed > dataSize) {
            Progress.Abort();
            return;
        }
        std::vector<uint8_t> data(static_cast<size_t>(dataSize));
        if (!IEReadChecked(Stream, Progress, data.data(), dataSize)) return;

        if (!Bitmap->Allocate(width, height, bits == 1 && planes == 1 ? ie1g : ie24RGB)) {
            Progress.Abort();
            return;
        }
        TIEPCXLineReader reader;
        reader.Data = data.data();
        reader.Size = dataSize;
        reader.RLE = encoding == 1;
        std::vector<uint8_t> lines(static_cast<size_t>(bytesPerLine) * planes);
        const auto bpl = static_cast<size_t>(bytesPerLine);
        Progress.Per = 100.0 / height;
        int32_t last = -1;
        for (int32_t y = 0; y < height; ++y) {
            if (Progress.IsAborting()) break;
            bool whole = true;
            for (int p = 0; p < planes; ++p)
                whole = IEPCXDecodeLine(reader, lines.data() + p * bpl, bytesPerLine) && whole;
            auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(y));
            const uint8_t* l = lines.data();
            if (planes == 1 && bits == 1) {
                std::memcpy(row, l, static_cast<size_t>((width + 7) / 8));
            } else if (planes == 1 && bits == 8) {
                for (int32_t x = 0; x < width; ++x) std::memcpy(row + 3 * x, &big[l[x]], 3);
            } else if (planes == 1) {  // 4 bits
                for (int32_t x = 0; x < width; ++x) {
                    const int v = (x & 1) ? (l[x / 2] & 0x0F) : (l[x / 2] >> 4);
                    std::memcpy(row + 3 * x, &small[v], 3);
                }
            } else if (planes == 3) {
                for (int32_t x = 0; x < width; ++x) {
                    row[3 * x + 2] = l[x];
                    row[3 * x + 1] = l[bpl + x];
                    row[3 * x] = l[2 * bpl + x];
                }
            } else {  // four planes of 1 bit: plane k gives bit k of the index
                for (int32_t x = 0; x < width; ++x) {
                    int v = 0;
                    for (int k = 0; k < 4; ++k)
                        if (IEGetBit(l + k * bpl, x)) v |= 1 << k;
                    std::memcpy(row + 3 * x, &small[v], 3);
                }
            }
            IEReportRows(Progress, y + 1, last);
            if (!whole) {
                // The data ended inside this row: the rows left are black.
                for (int32_t r = y + 1; r < height; ++r)
                    std::memset(Bitmap->GetScanline(r), 0, static_cast<size_t>(Bitmap->GetRowLen()));
                Progress.Abort();
                break;
            }
        }
    } catch (...) {
        Progress.Abort();
    }
}

// ---------------------------------------------------------------------------------------
// Writer

void IEWritePCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        Progress.Abort();
        return;
    }
    if (Params.SamplesPerPixel > 3) Params.SamplesPerPixel = 3;
    int32_t depth = Params.BitsPerSample == 1 ? 1 : Params.BitsPerSample * Params.SamplesPerPixel;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24) {
        Progress.Abort();
        return;
    }

    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* src = Bitmap;
    TRGB palette[256] = {};
    std::unique_ptr<TIEQuantizer> quantizer;
    if (depth == 1) {
        palette[1] = TRGB{255, 255, 255};
        if (src->GetPixelFormat() != ie1g) {
            auto two = std::make_unique<TIEBitmap>();
            TRGB dark, light;
            if (IETwoColorsTo1Bit(src, two.get(), dark, light)) {
                palette[0] = dark;
                palette[1] = light;
            } else if (!two->Allocate(w, h, ie1g)) {
                Progress.Abort();
                return;
            } else {
                two->CopyAndConvertFormat(src);
            }
            holder = std::move(two);
            src = holder.get();
        }
    } else {
        src = IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!src) {
            Progress.Abort();
            return;
        }
        if (depth == 4 || depth == 8) quantizer = std::make_unique<TIEQuantizer>(src, palette, 1 << depth);
    }

    const int32_t planes = depth == 24 ? 3 : 1;
    const int32_t count = depth == 1 ? (w + 7) / 8 : depth == 4 ? (w + 1) / 2 : w;  // bytes of a plane line
    const int32_t bytesPerLine = (count + 1) & ~1;
    if (bytesPerLine > 65535) {
        Progress.Abort();
        return;
    }
    const bool rle = Params.PCXCompression;

    uint8_t head[kHeaderSize] = {};
    head[0] = 10;
    head[1] = static_cast<uint8_t>(Params.PCXVersion);
    head[2] = rle ? 1 : 0;
    head[3] = static_cast<uint8_t>(depth == 24 ? 8 : depth);
    PutLE16(head + 8, static_cast<uint32_t>(w - 1));
    PutLE16(head + 10, static_cast<uint32_t>(h - 1));
    PutLE16(head + 12, static_cast<uint32_t>(std::clamp(Params.DpiX, 0, 65535)));
    PutLE16(head + 14, static_cast<uint32_t>(std::clamp(Params.DpiY, 0, 65535)));
    if (depth == 1 || depth == 4) PaletteToFile(palette, depth == 1 ? 2 : 16, head + 16);
    head[65] = static_cast<uint8_t>(planes);
    PutLE16(head + 66, static_cast<uint32_t>(bytesPerLine));
    PutLE16(head + 68, depth == 24 ? 0 : 1);
    IEWriteChecked(Stream, Progress, head, kHeaderSize);

    std::vector<uint8_t> line(static_cast<size_t>(bytesPerLine) + 8), coded(static_cast<size_t>(bytesPerLine) * 2 + 2);
    auto put = [&](const uint8_t* Source, int32_t Stride, int32_t Start) {
        if (rle) {
            const int32_t n = IEPCXEncodeLine(Source, count, Stride, Start, coded.data());
            IEWriteChecked(Stream, Progress, coded.data(), n);
            return;
        }
        std::fill(line.begin(), line.end(), 0);
        for (int32_t i = 0; i < count; ++i)
            line[static_cast<size_t>(i)] = Source[static_cast<size_t>(Start) + static_cast<size_t>(i) * Stride];
        IEWriteChecked(Stream, Progress, line.data(), bytesPerLine);
    };
    std::vector<uint8_t> indexes(static_cast<size_t>(count) + 8);
    Progress.Per = 100.0 / h;
    int32_t last = -1;
    for (int32_t y = 0; y < h; ++y) {
        if (Progress.IsAborting()) break;
        const auto* row = static_cast<const uint8_t*>(src->GetScanline(y));
        if (depth == 1) {
            put(row, 1, 0);
        } else if (depth == 24) {
            put(row, 3, 2);
            put(row, 3, 1);
            put(row, 3, 0);
        } else {
            std::fill(indexes.begin(), indexes.end(), 0);
            IEConvertScanline(row, indexes.data(), 24, quantizer.get(), 1 << depth, palette, static_cast<uint16_t>(w),
                              static_cast<uint16_t>(depth));
            put(indexes.data(), 1, 0);
        }
        IEReportRows(Progress, y + 1, last);
    }
    if (depth == 8 && !Progress.IsAborting()) {
        uint8_t tail[1 + kBigPaletteSize];
        tail[0] = kBigPaletteMarker;
        PaletteToFile(palette, 256, tail + 1);
        IEWriteChecked(Stream, Progress, tail, sizeof tail);
    }
}

// ---------------------------------------------------------------------------------------
// DCX containers (they start at the beginning of the stream: their offsets are absolute)

std::vector<uint32_t> IEDCXReadOffsets(cl::TStream* Stream) {
    std::vector<uint32_t> offsets;
    std::vector<uint8_t> raw(static_cast<size_t>(IEDCXMaxPages) * 4);
    const int64_t n = IEReadUpTo(Stream, raw.data(), static_cast<int64_t>(raw.size()));
    for (int64_t i = 0; i + 4 <= n; i += 4) {
        const uint32_t v = IEGetLE32(raw.data() + i);
        if (v == 0) break;
        offsets.push_back(v);
    }
    return offsets;
}

std::vector<int64_t> IEDCXPageSizes(const std::vector<uint32_t>& Offsets, int64_t StreamSize) {
    std::vector<int64_t> sizes;
    sizes.reserve(Offsets.size());
    std::vector<uint32_t> sorted(Offsets);
    std::sort(sorted.begin(), sorted.end());
    for (uint32_t o : Offsets) {
        const auto next = std::upper_bound(sorted.begin(), sorted.end(), o);
        const int64_t end = next == sorted.end() ? StreamSize : int64_t{*next};
        sizes.push_back(std::max<int64_t>(end - o, 0));
    }
    return sizes;
}

bool IEIsDCXStream(cl::TStream* Stream) {
    // The container starts at the current position, its offsets count from there.
    const int64_t p = Stream->GetPosition();
    bool ok = false;
    try {
        const int64_t size = Stream->GetSize() - p;
        uint8_t magic[4];
        if (IEReadUpTo(Stream, magic, 4) == 4 && IEGetLE32(magic) == IEDCXMagic) {
            const std::vector<uint32_t> offsets = IEDCXReadOffsets(Stream);
            ok = std::all_of(offsets.begin(), offsets.end(), [&](uint32_t o) { return int64_t{o} < size; });
        }
    } catch (...) {
        ok = false;
    }
    Stream->Seek(p, cl::soBeginning);
    return ok;
}

int32_t IEReadDCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                        TProgressRec& Progress) {
    try {
        const int64_t start = Stream->GetPosition();
        if (!IEIsDCXStream(Stream)) {
            Progress.Abort();
            return -1;
        }
        Stream->Seek(start + 4, cl::soBeginning);
        const std::vector<uint32_t> offsets = IEDCXReadOffsets(Stream);
        if (offsets.empty()) {
            Progress.Abort();
            return -1;
        }
        const std::vector<int64_t> sizes = IEDCXPageSizes(offsets, Stream->GetSize() - start);
        const auto pages = static_cast<int32_t>(offsets.size());
        const int32_t index = std::clamp(Params.DCXImageIndex, 0, pages - 1);
        Params.SetImageIndex(index);
        Stream->Seek(start + offsets[static_cast<size_t>(index)], cl::soBeginning);
        IEReadPCXStream(Stream, Bitmap, Params, PreviewOnly, Progress, sizes[static_cast<size_t>(index)]);
        return pages;
    } catch (...) {
        Progress.Abort();
        return -1;
    }
}

void IEWriteDCXStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    std::vector<uint32_t> offsets;
    std::vector<int64_t> sizes;
    const int64_t size = Stream->GetSize();
    if (size > 0) {
        // The container is the whole stream.
        Stream->Seek(0, cl::soBeginning);
        if (!IEIsDCXStream(Stream)) {
            Progress.Abort();
            return;
        }
        Stream->Seek(4, cl::soBeginning);
        offsets = IEDCXReadOffsets(Stream);
        sizes = IEDCXPageSizes(offsets, size);
    }
    const auto pages = static_cast<int32_t>(offsets.size());
    // An index beyond the page count appends the page.
    const int32_t index = std::min(Params.DCXImageIndex, pages);
    if (index < 0 || pages + 1 > IEDCXMaxPages) {
        Progress.Abort();
        return;
    }

    // The new container in memory: magic, a table of pages + 2 entries, then the pages.
    cl::TMemoryStream mem;
    std::vector<uint8_t> table(static_cast<size_t>(pages + 2) * 4 + 4, 0);
    PutLE32(table.data(), IEDCXMagic);
    IEWriteChecked(&mem, Progress, table.data(), static_cast<int64_t>(table.size()));
    std::vector<int64_t> positions;
    std::vector<uint8_t> copy;
    for (int32_t i = 0; i <= pages && !Progress.IsAborting(); ++i) {
        if (i == index) {
            positions.push_back(mem.GetPosition());
            IEWritePCXStream(&mem, Bitmap, Params, Progress);
        }
        if (i < pages && !Progress.IsAborting()) {
            positions.push_back(mem.GetPosition());
            copy.resize(static_cast<size_t>(sizes[static_cast<size_t>(i)]));
            Stream->Seek(offsets[static_cast<size_t>(i)], cl::soBeginning);
            if (!IEReadChecked(Stream, Progress, copy.data(), static_cast<int64_t>(copy.size()))) break;
            IEWriteChecked(&mem, Progress, copy.data(), static_cast<int64_t>(copy.size()));
        }
    }
    if (Progress.IsAborting() || mem.GetSize() > int64_t{UINT32_MAX}) {
        Progress.Abort();
        return;
    }
    for (size_t i = 0; i < positions.size(); ++i)
        PutLE32(table.data() + 4 + 4 * i, static_cast<uint32_t>(positions[i]));
    mem.Seek(0, cl::soBeginning);
    IEWriteChecked(&mem, Progress, table.data(), static_cast<int64_t>(table.size()));

    Stream->SetSize(0);
    Stream->Seek(0, cl::soBeginning);
    IEWriteChecked(Stream, Progress, mem.GetMemory(), mem.GetSize());
}

// ---------------------------------------------------------------------------------------
// The engine's entries

namespace {

void ReadPCX(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadPCXStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress, Context.DataSize);
    Context.ImageCount = 1;
}

void WritePCX(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWritePCXStream(Stream, Bitmap, Params, Progress);
}

void ReadDCX(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    const int32_t pages = IEReadDCXStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress);
    if (pages > 0) {
        // The page reader counts one image; the container tells how many there are.
        Params.SetImageCount(pages);
    }
    Context.ImageCount = pages;
}

void WriteDCX(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWriteDCXStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEPCXRegisterFormat() {
    TIEFormatOps pcx;
    pcx.Read = &ReadPCX;
    pcx.Write = &WritePCX;
    IESetFormatOps(ioPCX, pcx);
    TIEFormatOps dcx;
    dcx.Probe = &IEIsDCXStream;
    dcx.Read = &ReadDCX;
    dcx.Write = &WriteDCX;
    IESetFormatOps(ioDCX, dcx);
}

}  // namespace ie
