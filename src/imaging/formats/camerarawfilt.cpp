// Camera raw files over LibRaw.
#include "imaging/formats/camerarawfilt.h"

#include <libraw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/tifprobes.h"
#include "imaging/io/vovozidio.h"
#include "imaging/processing/vovozidproc_utils.h"
#include "imaging/processing/vovozidproc_wand.h"

namespace ie {

namespace {

constexpr int kHistogramBins = 8192;

// The decoder: LibRaw with hooks in its processing for what our output stage needs. Its own
// gamma, brightness and rotation of 45-degree sensors stay neutral: the output stage does
// them.
class TIERawDecoder : public LibRaw {
public:
    TIERawDecoder(double RedScale, double BlueScale, TProgressRec& Progress)
        : FRedScale(RedScale), FBlueScale(BlueScale), FProgress(Progress) {
        imgdata.params.gamm[0] = imgdata.params.gamm[1] = 1.0;
        imgdata.params.no_auto_bright = 1;
        imgdata.params.bright = 1.0f;
        imgdata.params.output_bps = 16;
        imgdata.params.output_color = 1;  // sRGB primaries
        imgdata.params.use_fuji_rotate = 0;
        callbacks.data_cb = nullptr;  // no messages of damaged data on the standard error
        callbacks.pre_preinterpolate_cb = &AfterScaling;
        callbacks.post_converttorgb_cb = &AfterConversion;
    }

    // The width of the 45-degree image of a rotated sensor, 0 for other sensors.
    int FujiWidth() const { return libraw_internal_data.internal_output_params.fuji_width; }
    const int64_t* Histogram() const { return FHistogram.data(); }
    bool Converted() const { return FConverted; }

private:
    // After colour scaling: the red and blue multipliers.
    static void AfterScaling(void* Context) {
        auto* self = static_cast<TIERawDecoder*>(Context);
        self->ApplyMultipliers();
        self->FProgress.Report(70);
    }
    // After the conversion to RGB: each pixel's fourth value becomes its brightness index,
    // counted in the histogram.
    static void AfterConversion(void* Context) {
        auto* self = static_cast<TIERawDecoder*>(Context);
        self->IndexBrightness();
        self->FProgress.Report(85);
    }

    void ApplyMultipliers() {
        if (!imgdata.image || (FRedScale == 1.0 && FBlueScale == 1.0)) return;
        const size_t n = size_t{imgdata.sizes.iwidth} * imgdata.sizes.iheight;
        for (size_t i = 0; i < n; ++i) {
            ushort* p = imgdata.image[i];
            p[0] = static_cast<ushort>(std::clamp(std::trunc(p[0] * FRedScale), 0.0, 65535.0));
            p[2] = static_cast<ushort>(std::clamp(std::trunc(p[2] * FBlueScale), 0.0, 65535.0));
        }
    }

    void IndexBrightness() {
        FHistogram.assign(kHistogramBins, 0);
        if (!imgdata.image) return;
        const size_t n = size_t{imgdata.sizes.iwidth} * imgdata.sizes.iheight;
        for (size_t i = 0; i < n; ++i) {
            ushort* p = imgdata.image[i];
            const int32_t b = IERawBrightnessIndex(p[0], p[1], p[2]);
            p[3] = static_cast<ushort>(b);
            ++FHistogram[static_cast<size_t>(b >> 3)];
        }
        FConverted = true;
    }

    double FRedScale, FBlueScale;
    TProgressRec& FProgress;
    std::vector<int64_t> FHistogram = std::vector<int64_t>(kHistogramBins, 0);
    bool FConverted = false;
};

// LibRaw's view of one of our streams, for identification: reads go to the stream as they
// come, so that a probe never holds the file in memory.
class TIERawStreamSource : public LibRaw_abstract_datastream {
public:
    explicit TIERawStreamSource(cl::TStream* Stream) : FStream(Stream), FSize(Stream->GetSize()) {}
    int valid() override { return FStream != nullptr; }
    int read(void* Buffer, size_t Size, size_t Count) override {
        if (Size == 0 || Count == 0) return 0;
        const int64_t want = static_cast<int64_t>(std::min<size_t>(Size * Count, size_t{1} << 30));
        const int64_t got = IEReadUpTo(FStream, Buffer, want);
        return static_cast<int>(std::max<int64_t>(got, 0) / static_cast<int64_t>(Size));
    }
    int seek(INT64 Offset, int Whence) override {
        int64_t to = Offset;
        if (Whence == SEEK_CUR) to += FStream->GetPosition();
        if (Whence == SEEK_END) to += FSize;
        FStream->Seek(std::clamp<int64_t>(to, 0, FSize), cl::soBeginning);
        return 0;
    }
    INT64 tell() override { return FStream->GetPosition(); }
    INT64 size() override { return FSize; }
    int get_char() override {
        uint8_t b;
        return IEReadUpTo(FStream, &b, 1) == 1 ? b : -1;
    }
    char* gets(char* S, int Size) override {
        if (Size <= 0) return nullptr;
        int n = 0;
        while (n < Size - 1) {
            const int c = get_char();
            if (c < 0) break;
            S[n++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        S[n] = 0;
        return n ? S : nullptr;
    }
    // One number of text: the next bytes up to a separator (at most 24 of them) go through
    // sscanf; the stream then stands after them.
    int scanf_one(const char* Format, void* Value) override {
        char text[32] = {};
        const int64_t at = FStream->GetPosition();
        const int64_t n = IEReadUpTo(FStream, text, 25);
        if (n <= 0) return 0;
        const int result = std::sscanf(text, Format, Value);
        int64_t used = 0;
        if (result > 0) {
            while (used < n) {
                ++used;
                if (used >= n || text[used] == 0 || text[used] == ' ' || text[used] == '\t' || text[used] == '\n' ||
                    used > 24)
                    break;
            }
        }
        FStream->Seek(at + used, cl::soBeginning);
        return result;
    }
    int eof() override { return FStream->GetPosition() >= FSize; }
    void* make_jas_stream() override { return nullptr; }

private:
    cl::TStream* FStream;
    int64_t FSize;
};

// The whole stream, from its beginning.
bool ReadAll(cl::TStream* Stream, std::vector<uint8_t>& Data) {
    const int64_t size = Stream->GetSize();
    if (size <= 0) return false;
    Data.resize(static_cast<size_t>(size));
    Stream->Seek(0, cl::soBeginning);
    return IEReadUpTo(Stream, Data.data(), size) == size;
}

cl::String CString(const char* S, size_t Max) { return cl::String(S, strnlen(S, Max)); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Output stage

// Half the Euclidean length: a neutral pixel of value v has the index v x 0.866, so at the
// white point (twice the index, see IERawWhitePoint) the factor 442 / white (442 = 255 x
// the square root of 3, rounded) brings it to 255; the largest index, 65,535 x 0.866, fits
// the curve and the histogram.
int32_t IERawBrightnessIndex(uint16_t R, uint16_t G, uint16_t B) {
    const double r = R, g = G, b = B;
    const double sum = r * r + g * g + b * b;
    return static_cast<int32_t>(std::sqrt(sum) / 2);
}

double IERawWhitePoint(const int64_t* Histogram, int64_t Percentile) {
    int64_t total = 0;
    for (int32_t bin = kHistogramBins - 1; bin >= 0; --bin) {
        total += Histogram[bin];
        if (total > Percentile) {
            const int32_t white = (bin - 1) * 16;
            return white > 0 ? white : 1.0;
        }
    }
    return 1.0;
}

// ---------------------------------------------------------------------------------------
// Rotated sensors

namespace {

void FujiUnrotate(TIEBitmap* Bitmap, int PixelBytes, TIEPixelFormat Format) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || Bitmap->GetPixelFormat() != Format) return;
    const auto ps = static_cast<size_t>(PixelBytes);
    auto black = [&](const uint8_t* p) { return std::all_of(p, p + ps, [](uint8_t v) { return v == 0; }); };
    const auto* row0 = static_cast<const uint8_t*>(Bitmap->GetScanline(0));
    int32_t first = -1, last = -1;
    for (int32_t x = 0; x < w; ++x)
        if (!black(row0 + x * ps)) {
            if (first < 0) first = x;
            last = x;
        }
    if (first < 0) return;
    const int32_t n = last;                   // the new half-width
    const int32_t d = 2 * w - 2 * first - 4;  // the new height
    if (n <= 0 || d <= 1) return;
    std::vector<uint8_t> buffer(static_cast<size_t>(n) * d * ps, 0);
    auto cell = [&](int32_t Row, int32_t Col) -> uint8_t* {
        return buffer.data() + (static_cast<size_t>(Row) * n + Col) * ps;
    };
    for (int32_t r = 0; r < h; ++r) {
        const auto* src = static_cast<const uint8_t*>(Bitmap->GetScanline(r));
        for (int32_t k = 0; k < w; ++k) {
            const int32_t e = r + k - (last + 1) + 6;
            const int32_t g = (k + n - r - 1) / 2;
            if (e >= 0 && e < d && g >= 0 && g < n) std::memcpy(cell(e, g), src + k * ps, ps);
        }
    }
    TIEBitmap out(2 * n, d, Format);
    for (int32_t y = 0; y < d; ++y) std::memset(out.GetScanline(y), 0, static_cast<size_t>(out.GetRowLen()));
    const bool wide = PixelBytes == 6;
    auto channel = [&](const uint8_t* p, int c) -> int64_t {
        if (!wide) return p[c];
        uint16_t v;
        std::memcpy(&v, p + 2 * c, 2);
        return v;
    };
    auto sample = [&](int32_t Row, int32_t Col, int c) -> int64_t {
        return Row >= 0 && Row < d && Col >= 0 && Col < n ? channel(cell(Row, Col), c) : 0;
    };
    for (int32_t k = 1; k < d; ++k) {
        auto* dst = static_cast<uint8_t*>(out.GetScanline(k - 1));
        for (int32_t m = 1; m < 2 * n; ++m) {
            uint8_t* p = dst + m * ps;
            const int32_t col = m / 2;
            if ((k + m) % 2 == 0) {
                std::memcpy(p, cell(k, col), ps);
            } else if (k - 1 < 2 * w - 2 * first - 6 && m - 1 < 2 * n - 2) {
                const int32_t c1 = k % 2 ? col - 1 : col, c2 = k % 2 ? col : col + 1;
                for (int c = 0; c < 3; ++c) {
                    const int64_t v =
                        (sample(k - 1, col, c) + sample(k + 1, col, c) + sample(k, c1, c) + sample(k, c2, c)) >> 2;
                    if (wide) {
                        const auto s = static_cast<uint16_t>(v);
                        std::memcpy(p + 2 * c, &s, 2);
                    } else {
                        p[c] = static_cast<uint8_t>(v);
                    }
                }
            }
        }
    }
    Bitmap->Assign(&out);
}

}  // namespace

void IEFujiUnrotate24(TIEBitmap* Bitmap) { FujiUnrotate(Bitmap, 3, ie24RGB); }
void IEFujiUnrotate48(TIEBitmap* Bitmap) { FujiUnrotate(Bitmap, 6, ieRGB48); }

// ---------------------------------------------------------------------------------------
// CIFF heaps

namespace {

constexpr int kMaxHeapDepth = 16;
constexpr int kMaxEntries = 256;
constexpr int64_t kEntryBudget = 65536;  // entries read in all the heaps of one file

struct CiffReader {
    CiffReader(cl::TStream* S, TIOParamsVals& P) : Stream(S), Params(P) {}
    cl::TStream* Stream;
    TIOParamsVals& Params;
    bool Little = true;
    int64_t Size = 0;
    int64_t Budget = kEntryBudget;
    std::set<std::pair<int64_t, int64_t>> Seen;  // heaps already read
    std::vector<uint16_t> Maker1, Maker4;        // maker-note entries 1 and 4
    int64_t PreviewPos = -1, PreviewSize = 0;
    int32_t PreviewWidth = 0, PreviewHeight = 0;

    bool Read(int64_t Pos, void* Buffer, int64_t Count) {
        if (Pos < 0 || Count < 0 || Pos + Count > Size) return false;
        Stream->Seek(Pos, cl::soBeginning);
        return IEReadUpTo(Stream, Buffer, Count) == Count;
    }
    uint32_t U16(const uint8_t* p) const { return Little ? IEGetLE16(p) : static_cast<uint32_t>(p[0] << 8 | p[1]); }
    uint32_t U32(const uint8_t* p) const { return Little ? IEGetLE32(p) : (U16(p) << 16 | U16(p + 2)); }
    // A zero-terminated string of at most Max bytes at Pos.
    cl::String String(int64_t Pos, int64_t Max) {
        std::vector<char> b(static_cast<size_t>(std::clamp<int64_t>(std::min(Max, Size - Pos), 0, 1 << 16)));
        if (b.empty() || !Read(Pos, b.data(), static_cast<int64_t>(b.size()))) return {};
        return cl::String(b.data(), strnlen(b.data(), b.size()));
    }
    std::vector<uint16_t> Values(int64_t Pos, int64_t Bytes) {
        std::vector<uint16_t> v;
        std::vector<uint8_t> b(static_cast<size_t>(std::clamp<int64_t>(Bytes, 0, 1 << 16) & ~int64_t{1}));
        if (!Read(Pos, b.data(), static_cast<int64_t>(b.size()))) return v;
        for (size_t i = 0; i + 1 < b.size(); i += 2) v.push_back(static_cast<uint16_t>(U16(&b[i])));
        return v;
    }

    void Preview(int64_t Pos, int64_t Bytes) {
        if (Bytes <= 0 || Pos + Bytes > Size || Bytes > (int64_t{1} << 30)) return;
        std::vector<uint8_t> jpeg(static_cast<size_t>(Bytes));
        if (!Read(Pos, jpeg.data(), Bytes)) return;
        cl::TMemoryStream mem;
        mem.Write(jpeg.data(), Bytes);
        mem.Seek(0, cl::soBeginning);
        TVovozIdIO io(nullptr);
        io.ReadParamsFromStreamFormat(&mem, ioJPEG);
        if (io.Aborting) return;
        const int32_t w = io.Params().Width, h = io.Params().Height;
        if (w <= 0 || h <= 0) return;
        if (PreviewPos < 0 || (w < PreviewWidth && h < PreviewHeight)) {
            PreviewPos = Pos;
            PreviewSize = Bytes;
            PreviewWidth = w;
            PreviewHeight = h;
        }
    }

    void Heap(int64_t O, int64_t L, int Depth) {
        if (Depth > kMaxHeapDepth || L < 6 || !Seen.insert({O, L}).second) return;
        uint8_t b[10];
        if (!Read(O + L - 4, b, 4)) return;
        const int64_t dir = O + U32(b);
        // The directory lies inside the heap, before its closing offset.
        if (dir < O || dir + 2 > O + L - 4 || !Read(dir, b, 2)) return;
        const int32_t count = std::min<int32_t>(static_cast<int32_t>(U16(b)), kMaxEntries);
        for (int32_t i = 0; i < count && Budget-- > 0; ++i) {
            const int64_t at = dir + 2 + 10 * int64_t{i};
            if (at + 10 > O + L - 4 || !Read(at, b, 10)) return;
            const uint32_t raw = U16(b);
            const uint32_t tag = raw & 0x3FFF;
            int64_t size = U32(b + 2), pos;
            const uint32_t offset = U32(b + 6);
            if (raw < 0x4000) {
                pos = O + offset;
            } else {
                pos = at + 2;
                size = 8;
            }
            if (pos >= Size) return;  // data at or past the end of the stream ends the heap
            switch (tag) {
                case 0x0805: Params.EXIFImageDescription = String(pos, size); break;
                case 0x080A: {
                    Params.EXIFMake = String(pos, size);
                    const int64_t skip = static_cast<int64_t>(Params.EXIFMake.size()) + 1;
                    Params.EXIFModel = skip < size ? String(pos + skip, size - skip) : cl::String();
                    break;
                }
                case 0x080B: Params.EXIFSoftware = String(pos, size); break;
                case 0x102A: Maker4 = Values(pos, size); break;
                case 0x102D: Maker1 = Values(pos, size); break;
                case 0x1810:
                    if (Read(pos, b, 8) && size >= 8) {
                        Params.SetEXIFPixelXDimension(static_cast<int32_t>(U32(b)));
                        Params.SetEXIFPixelYDimension(static_cast<int32_t>(U32(b + 4)));
                    }
                    break;
                case 0x2007:
                case 0x2008: Preview(pos, size); break;
                case 0x2800:
                case 0x2807:
                case 0x3000:
                case 0x3002:
                case 0x3003:
                case 0x3004:
                case 0x300A:
                case 0x300B:
                    // A nested heap must lie strictly inside this one.
                    if (raw < 0x4000 && pos >= O && pos + size <= O + L && size < L) Heap(pos, size, Depth + 1);
                    break;
                default: break;
            }
        }
    }

    void MakerNote() {
        TIETagsHandler* note = Params.EXIFMakerNote();
        if (!note || (Maker1.empty() && Maker4.empty())) return;
        note->Clear();
        cl::TMemoryStream* ifd = note->GetIFD();
        std::vector<std::pair<uint16_t, const std::vector<uint16_t>*>> entries;
        if (!Maker1.empty()) entries.push_back({1, &Maker1});
        if (!Maker4.empty()) entries.push_back({4, &Maker4});
        std::vector<uint8_t> out(2 + 12 * entries.size());
        out[0] = static_cast<uint8_t>(entries.size());
        uint32_t data = static_cast<uint32_t>(out.size());
        std::vector<uint8_t> values;
        for (size_t i = 0; i < entries.size(); ++i) {
            uint8_t* e = &out[2 + 12 * i];
            const auto& v = *entries[i].second;
            const auto count = static_cast<uint32_t>(v.size());
            e[0] = static_cast<uint8_t>(entries[i].first);
            e[1] = static_cast<uint8_t>(entries[i].first >> 8);
            e[2] = 3;
            e[3] = 0;
            for (int k = 0; k < 4; ++k) e[4 + k] = static_cast<uint8_t>(count >> (8 * k));
            if (count <= 2) {
                // Up to 4 bytes of values stand in the entry itself, as the handler reads them.
                for (uint32_t k = 0; k < count; ++k) {
                    e[8 + 2 * k] = static_cast<uint8_t>(v[k]);
                    e[9 + 2 * k] = static_cast<uint8_t>(v[k] >> 8);
                }
                continue;
            }
            for (int k = 0; k < 4; ++k) e[8 + k] = static_cast<uint8_t>(data >> (8 * k));
            for (uint16_t x : v) values.insert(values.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8)});
            data += 2 * count;
        }
        out.insert(out.end(), values.begin(), values.end());
        ifd->SetSize(0);
        ifd->Write(out.data(), static_cast<int64_t>(out.size()));
        note->LoadEntries();
    }
};

}  // namespace

void IEReadCIFFInfo(cl::TStream* Stream, TIOParamsVals& Params) {
    CiffReader r(Stream, Params);
    r.Size = Stream->GetSize();
    uint8_t h[14];
    if (!r.Read(0, h, 14)) return;
    if (h[0] == 'I' && h[1] == 'I')
        r.Little = true;
    else if (h[0] == 'M' && h[1] == 'M')
        r.Little = false;
    else if (std::memcmp(h + 6, "HEAPCCDR", 8) != 0)
        return;
    const int64_t header = r.U32(h + 2);
    if (header <= 0 || header >= r.Size) return;
    r.Heap(header, r.Size - header, 0);
    r.MakerNote();
    if (r.PreviewPos >= 0) {
        TIEBitmap* thumb = Params.GetOrCreateEXIFThumbnail();
        thumb->FreeImage(true);
        std::vector<uint8_t> jpeg(static_cast<size_t>(r.PreviewSize));
        if (r.Read(r.PreviewPos, jpeg.data(), r.PreviewSize)) {
            cl::TMemoryStream mem;
            mem.Write(jpeg.data(), r.PreviewSize);
            mem.Seek(0, cl::soBeginning);
            std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(thumb);
            io->LoadFromStreamJPEG(&mem);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Reader

bool IEIsCameraRAWStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    bool ok = false;
    try {
        Stream->Seek(0, cl::soBeginning);
        TIERawStreamSource source(Stream);
        auto decoder = std::make_unique<LibRaw>();
        decoder->set_dataerror_handler(nullptr, nullptr);
        ok = source.size() > 0 && decoder->open_datastream(&source) == LIBRAW_SUCCESS;
        decoder->recycle();
    } catch (...) {
        ok = false;
    }
    Stream->Seek(p, cl::soBeginning);
    return ok;
}

void IEReadCameraRAWStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                           TProgressRec& Progress) {
    try {
        if (Params.RAWGetExifThumbnail) {
            Params.FreeEXIFThumbnail();
            Params.SetRAWGetExifThumbnail(false);
            IEReadCameraRAWStream(Stream, Bitmap, Params, true, Progress);
            Params.SetRAWGetExifThumbnail(true);
            TIEBitmap* thumb = Params.GetEXIFThumbnail();
            if (thumb && !thumb->IsEmpty()) {
                Bitmap->Assign(thumb);
                return;
            }
            Stream->Seek(0, cl::soBeginning);
        }

        // Metadata: EXIF of a TIFF-structured raw, else the CIFF heaps.
        Stream->Seek(0, cl::soBeginning);
        const int64_t tiff = IEFindTIFFHeader(Stream);
        if (tiff < 0) {
            IEReadCIFFInfo(Stream, Params);
        } else {
            Stream->Seek(tiff, cl::soBeginning);
            if (IELoadEXIFFromRAW(Stream, Params)) {
                const double scale = Params.EXIFResolutionUnit == 3 ? 2.54 : 1.0;
                Params.SetDpiX(static_cast<int32_t>(Params.EXIFXResolution * scale));
                Params.SetDpiY(static_cast<int32_t>(Params.EXIFYResolution * scale));
            }
        }
        TIEBitmap* thumb = Params.GetEXIFThumbnail();
        const bool reference = Params.RAWReaderFlag && thumb && !thumb->IsEmpty();

        std::vector<uint8_t> data;
        auto decoder = std::make_unique<TIERawDecoder>(Params.RAWRedScale, Params.RAWBlueScale, Progress);
        libraw_output_params_t& o = decoder->imgdata.params;
        o.use_auto_wb = Params.RAWAutoWB ? 1 : 0;
        // The three option bytes after the automatic white balance: the camera's own white
        // balance, four-colour demosaicing and keeping the raw colours (no colour matrix).
        o.use_camera_wb = Params.RAWExtraFlags[0] ? 1 : 0;
        o.four_color_rgb = Params.RAWExtraFlags[1] ? 1 : 0;
        if (Params.RAWExtraFlags[2]) o.output_color = 0;
        const double brightness = reference ? 0.5 : Params.RAWBrightness;
        if (!ReadAll(Stream, data)) {
            Progress.Abort();
            return;
        }
        // Raw data the file can justify: 16 times its size (more than lossless raw coding
        // gains), at least 16 MB, at most LibRaw's own limit.
        o.max_raw_memory_mb = static_cast<unsigned>(
            std::min<int64_t>(LIBRAW_MAX_ALLOC_MB_DEFAULT, 16 + static_cast<int64_t>(data.size()) * 16 / (1 << 20)));
        if (decoder->open_buffer(data.data(), data.size()) != LIBRAW_SUCCESS) {
            Progress.Abort();
            return;
        }
        const libraw_iparams_t& id = decoder->imgdata.idata;
        Params.RAWCamera = CString(id.make, sizeof id.make) + " " + CString(id.model, sizeof id.model) + " " +
                           CString(decoder->imgdata.color.model2, sizeof decoder->imgdata.color.model2);
        Params.SetDpiX(IEDefaultDpiX);
        Params.SetDpiY(IEDefaultDpiY);
        Params.FreeColorMap();
        Params.Width = Params.OriginalWidth = decoder->imgdata.sizes.width - 2;
        Params.Height = Params.OriginalHeight = decoder->imgdata.sizes.height - 2;
        if (PreviewOnly) return;

        const bool filters = id.filters != 0;
        const bool half = Params.RAWDecoderFlag && filters;
        o.half_size = half ? 1 : 0;
        if (decoder->unpack() != LIBRAW_SUCCESS || decoder->dcraw_process() != LIBRAW_SUCCESS ||
            !decoder->Converted() || !decoder->imgdata.image) {
            Progress.Abort();
            return;
        }
        Params.SetImageCount(1);

        // Output stage.
        const int32_t iw = decoder->imgdata.sizes.iwidth, ih = decoder->imgdata.sizes.iheight;
        const int32_t border = filters && !half ? 1 : 0;
        const int32_t w = iw - 2 * border, h = ih - 2 * border;
        if (w <= 0 || h <= 0) {
            Progress.Abort();
            return;
        }
        const bool fuji = std::strstr(CString(id.make, sizeof id.make).c_str(), "FUJIFILM") != nullptr;
        const auto percentile = static_cast<int64_t>((fuji ? 0.005 : 0.01) * iw * ih);
        const double white = IERawWhitePoint(decoder->Histogram(), percentile);
        const double factor = brightness * 442.0 / white;
        const bool native = Params.NativePixelFormat;
        std::vector<double> curve(65536);
        curve[0] = 0;
        for (int32_t i = 1; i < 65536; ++i) {
            curve[static_cast<size_t>(i)] = IEPower(2.0 * i / white, Params.RAWGamma - 1) * factor;
            if (native) curve[static_cast<size_t>(i)] *= 65535.0 / 255.0;
        }
        // Pixel aspect: whole repeats of pixels across (wide pixels) or of rows (tall ones).
        const double aspect = decoder->imgdata.sizes.pixel_aspect;
        const int32_t xmag = aspect >= 1.5 ? static_cast<int32_t>(std::lround(aspect)) : 1;
        const int32_t ymag = aspect > 0 && aspect <= 1 / 1.5 ? static_cast<int32_t>(std::lround(1 / aspect)) : 1;
        const double cap = native ? 65535.0 : 255.0;
        Params.BitsPerSample = native ? 16 : 8;
        Params.SamplesPerPixel = 3;
        if (!Bitmap->Allocate(w * xmag, h * ymag, native ? ieRGB48 : ie24RGB)) {
            Progress.Abort();
            return;
        }
        std::vector<uint8_t> row(static_cast<size_t>(w) * xmag * 3);
        std::vector<uint16_t> row48(static_cast<size_t>(w) * xmag * 3);
        for (int32_t y = 0; y < h; ++y) {
            const ushort(*src)[4] = decoder->imgdata.image + static_cast<size_t>(y + border) * iw + border;
            for (int32_t x = 0; x < w; ++x) {
                const double c = curve[src[x][3]];
                for (int32_t k = 0; k < xmag; ++k)
                    for (int ch = 0; ch < 3; ++ch) {
                        const double v = std::min(std::trunc(src[x][ch] * c), cap);
                        const size_t at = (static_cast<size_t>(x) * xmag + k) * 3 + ch;
                        if (native)
                            row48[at] = static_cast<uint16_t>(v);
                        else
                            row[at] = static_cast<uint8_t>(v);
                    }
            }
            for (int32_t k = 0; k < ymag; ++k) {
                void* dst = Bitmap->GetScanline(y * ymag + k);
                if (native)
                    std::memcpy(dst, row48.data(), row48.size() * 2);  // R, G, B samples
                else
                    IECopyBGRToRGB(dst, row.data(), w * xmag);
            }
        }
        Progress.Report(90);
        if (decoder->FujiWidth()) {
            if (native)
                IEFujiUnrotate48(Bitmap);
            else
                IEFujiUnrotate24(Bitmap);
        }
        if (reference && !native) IEMatchHistogram(thumb, Bitmap);
        Progress.Report(100);
    } catch (...) {
        Progress.Abort();
    }
}

// ---------------------------------------------------------------------------------------
// The engine's entry

namespace {

void ReadRAW(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadCameraRAWStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress);
    Context.ImageCount = 1;
}

}  // namespace

void IERAWRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsCameraRAWStream;
    // TIFF-structured raw files (DNG, colour-filter arrays) are raw, not TIFF, to detection.
    ops.TIFFBasedProbe = &IEIsTIFFCameraRaw;
    ops.Read = &ReadRAW;
    IESetFormatOps(ioRAW, ops);
}

}  // namespace ie
