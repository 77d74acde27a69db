// JPEG 2000 files through OpenJPEG.
#include "imaging/formats/iej2000.h"

#include <openjpeg.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/iefmtcommon.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// TIETmpStream

namespace {

cl::String NewTmpName() {
    const cl::String folder = IERunTempFolder();
    if (folder.empty()) throw cl::EInOutError("No temporary folder");
    cl::String name;
    IEUniqueTempFileName("vovozid", folder, name);
    return name;
}

}  // namespace

TIETmpStream::TIETmpStream() : TIETmpStream(NewTmpName()) {}

TIETmpStream::TIETmpStream(const cl::String& Name) : TIETemporaryFileStream(Name), FFileName(Name) {}

// ---------------------------------------------------------------------------------------
// Signatures

namespace {

uint32_t GetBE32(const uint8_t* P) {
    return (static_cast<uint32_t>(P[0]) << 24) | (static_cast<uint32_t>(P[1]) << 16) |
           (static_cast<uint32_t>(P[2]) << 8) | P[3];
}

// Reads Count bytes at the position and goes back; False when fewer are there.
bool PeekBytes(cl::TStream* Stream, uint8_t* Buffer, int64_t Count) {
    const int64_t pos = Stream->GetPosition();
    int64_t got = 0;
    while (got < Count) {
        const int64_t n = Stream->Read(Buffer + got, Count - got);
        if (n <= 0) break;
        got += n;
    }
    Stream->SetPosition(pos);
    return got == Count;
}

}  // namespace

bool IEIsJP2Stream(cl::TStream* Stream) {
    uint8_t b[12];
    if (!PeekBytes(Stream, b, 12)) return false;
    return GetBE32(b) == 12 && GetBE32(b + 4) == 0x6A502020 && GetBE32(b + 8) == 0x0D0A870A;
}

bool IEIsJ2KStream(cl::TStream* Stream) {
    uint8_t b[4];
    if (!PeekBytes(Stream, b, 4)) return false;
    return b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
}

// ---------------------------------------------------------------------------------------
// The library's streams over TStream

namespace {

struct StreamBinding {
    cl::TStream* Stream;
    int64_t Start;  // the position the data begin at
};

OPJ_SIZE_T ReadCallback(void* Buffer, OPJ_SIZE_T Count, void* User) {
    auto* b = static_cast<StreamBinding*>(User);
    const int64_t n = b->Stream->Read(Buffer, static_cast<int64_t>(Count));
    return n > 0 ? static_cast<OPJ_SIZE_T>(n) : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_SIZE_T WriteCallback(void* Buffer, OPJ_SIZE_T Count, void* User) {
    auto* b = static_cast<StreamBinding*>(User);
    const int64_t n = b->Stream->Write(Buffer, static_cast<int64_t>(Count));
    return n == static_cast<int64_t>(Count) ? Count : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_OFF_T SkipCallback(OPJ_OFF_T Count, void* User) {
    auto* b = static_cast<StreamBinding*>(User);
    const int64_t pos = b->Stream->GetPosition();
    const int64_t target = pos + Count;
    if (target < b->Start) return -1;
    b->Stream->SetPosition(target);
    return Count;
}

OPJ_BOOL SeekCallback(OPJ_OFF_T Offset, void* User) {
    auto* b = static_cast<StreamBinding*>(User);
    if (Offset < 0) return OPJ_FALSE;
    b->Stream->SetPosition(b->Start + Offset);
    return b->Stream->GetPosition() == b->Start + Offset ? OPJ_TRUE : OPJ_FALSE;
}

void QuietHandler(const char*, void*) {}

struct CodecDeleter {
    void operator()(opj_codec_t* C) const { opj_destroy_codec(C); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* S) const { opj_stream_destroy(S); }
};
struct ImageDeleter {
    void operator()(opj_image_t* I) const { opj_image_destroy(I); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;

StreamPtr MakeStream(StreamBinding& Binding, bool Input) {
    StreamPtr s(opj_stream_create(65536, Input ? OPJ_TRUE : OPJ_FALSE));
    if (!s) return s;
    opj_stream_set_user_data(s.get(), &Binding, nullptr);
    if (Input) {
        opj_stream_set_read_function(s.get(), &ReadCallback);
        const int64_t size = Binding.Stream->GetSize() - Binding.Start;
        opj_stream_set_user_data_length(s.get(), static_cast<OPJ_UINT64>(size > 0 ? size : 0));
    } else {
        opj_stream_set_write_function(s.get(), &WriteCallback);
    }
    opj_stream_set_skip_function(s.get(), &SkipCallback);
    opj_stream_set_seek_function(s.get(), &SeekCallback);
    return s;
}

void Quiet(opj_codec_t* Codec) {
    opj_set_info_handler(Codec, &QuietHandler, nullptr);
    opj_set_warning_handler(Codec, &QuietHandler, nullptr);
    opj_set_error_handler(Codec, &QuietHandler, nullptr);
}

// The YCbCr tables: the contributions of Cb and Cr (stored 0..255, centred on 128) to red,
// green and blue, each product rounded to the nearest integer (ties to even) before its sign.
struct YCbCrTables {
    std::array<int32_t, 256> CrToR{}, CbToB{}, CrToG{}, CbToG{};
    YCbCrTables() {
        const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
        const float crr = 1.402f, cbb = 1.772f;
        const float crg = kr * 1.402f / kg, cbg = kb * 1.772f / kg;
        auto product = [](float Factor, int32_t D) {
            const auto magnitude = static_cast<int32_t>(std::nearbyint(Factor * static_cast<float>(std::abs(D))));
            return D < 0 ? -magnitude : magnitude;
        };
        for (int32_t i = 0; i < 256; ++i) {
            const int32_t d = i - 128;
            CrToR[static_cast<size_t>(i)] = product(crr, d);
            CbToB[static_cast<size_t>(i)] = product(cbb, d);
            CrToG[static_cast<size_t>(i)] = -product(crg, d);
            CbToG[static_cast<size_t>(i)] = -product(cbg, d);
        }
    }
};

// The tables, from the unit's start hook (or the first reader that needs them) to its final
// hook. Readers take the pointer without a lock; building and freeing hold it.
std::atomic<YCbCrTables*> gTables{nullptr};
std::mutex gTablesLock;

const YCbCrTables& Tables() {
    if (const YCbCrTables* t = gTables.load(std::memory_order_acquire)) return *t;
    std::lock_guard<std::mutex> guard(gTablesLock);
    if (!gTables.load(std::memory_order_relaxed)) gTables.store(new YCbCrTables, std::memory_order_release);
    return *gTables.load(std::memory_order_relaxed);
}

// The samples of one component on the image grid: column and row tables that take the
// sub-sampling and offsets into account, and the shift to 8 bits.
struct Plane {
    const opj_image_comp_t* Comp = nullptr;
    std::vector<int32_t> Columns, Rows;
    int32_t Offset = 0;  // added to signed samples
    void Build(const opj_image_t& Image, const opj_image_comp_t& C, int32_t Width, int32_t Height) {
        Comp = &C;
        Offset = C.sgnd ? 1 << (C.prec > 0 ? C.prec - 1 : 0) : 0;
        auto map = [](int64_t Origin, int64_t Index, uint32_t Step, uint32_t CompOrigin, uint32_t Size) {
            const int64_t v = (Origin + Index) / std::max<uint32_t>(Step, 1) - CompOrigin;
            return v < 0 || v >= Size ? int32_t{0} : static_cast<int32_t>(v);
        };
        Columns.resize(static_cast<size_t>(Width));
        Rows.resize(static_cast<size_t>(Height));
        for (int32_t j = 0; j < Width; ++j) Columns[static_cast<size_t>(j)] = map(Image.x0, j, C.dx, C.x0, C.w);
        for (int32_t i = 0; i < Height; ++i) Rows[static_cast<size_t>(i)] = map(Image.y0, i, C.dy, C.y0, C.h);
    }
    // The sample at image column J of the row prepared by RowBase, as 8 bits.
    const OPJ_INT32* RowBase(int32_t I) const {
        return Comp->data + static_cast<size_t>(Rows[static_cast<size_t>(I)]) * Comp->w;
    }
    int32_t Sample8(const OPJ_INT32* Row, int32_t J) const {
        int32_t v = Row[Columns[static_cast<size_t>(J)]] + Offset;
        const int32_t prec = static_cast<int32_t>(Comp->prec);
        v = prec > 8 ? v >> (prec - 8) : v << (8 - prec);
        return IEClampByte(v);
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Reader

namespace {

enum TSpace { spGrey, spRGB, spYCbCr, spOther };

// The colour space of the image, and the components that make the picture (red, green,
// blue / Y, Cb, Cr / grey first). A JP2 file's colour space is known once it is decoded; a
// bare code stream has none, and its component count decides.
TSpace PictureComponents(const opj_image_t& Im, uint32_t Use[3]) {
    TSpace space;
    switch (Im.color_space) {
        case OPJ_CLRSPC_GRAY: space = spGrey; break;
        case OPJ_CLRSPC_SRGB: space = spRGB; break;
        case OPJ_CLRSPC_SYCC: space = spYCbCr; break;
        case OPJ_CLRSPC_UNKNOWN:
        case OPJ_CLRSPC_UNSPECIFIED: space = Im.numcomps >= 3 ? spRGB : spGrey; break;
        default: return spOther;
    }
    Use[0] = Use[1] = Use[2] = 0;
    if (space == spRGB) {
        // The colour components (a JP2 file's channel definitions are already applied).
        uint32_t found = 0;
        for (uint32_t c = 0; c < Im.numcomps && found < 3; ++c)
            if (!Im.comps[c].alpha) Use[found++] = c;
        if (found < 3)
            for (uint32_t k = 0; k < 3; ++k) Use[k] = k < Im.numcomps ? k : 0;
    } else if (space == spYCbCr) {
        for (uint32_t k = 0; k < 3; ++k) Use[k] = k < Im.numcomps ? k : 0;
    }
    return space;
}

}  // namespace

namespace {

// The grid the code stream's image size marker declares, checked before the decoder sets
// up its tiles: every tile has a tile-part of its own (14 bytes of markers at least), and
// the samples must be few enough for the data to code (4096 a byte, 16M at least). A JP2
// file's code stream is found in its contiguous code stream box. False when the marker is
// missing or the grid is out of proportion; the position is restored.
bool PlausibleGrid(cl::TStream* Stream, bool JP2) {
    const int64_t start = Stream->GetPosition();
    const int64_t size = Stream->GetSize() - start;
    bool ok = false;
    int64_t at = start;
    uint8_t b[48];
    if (JP2) {
        // Boxes: 32-bit length (1: a 64-bit one follows, 0: to the end) and type.
        for (int box = 0; box < 256; ++box) {
            Stream->SetPosition(at);
            if (!PeekBytes(Stream, b, 16) && !PeekBytes(Stream, b, 8)) break;
            uint64_t len = GetBE32(b);
            int64_t header = 8;
            if (len == 1) {
                len = (static_cast<uint64_t>(GetBE32(b + 8)) << 32) | GetBE32(b + 12);
                header = 16;
            }
            if (std::memcmp(b + 4, "jp2c", 4) == 0) {
                at += header;
                break;
            }
            if (len < static_cast<uint64_t>(header) || len > static_cast<uint64_t>(start + size - at)) {
                at = -1;
                break;
            }
            at += static_cast<int64_t>(len);
        }
    }
    if (at >= 0) {
        Stream->SetPosition(at);
        if (PeekBytes(Stream, b, 42) && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51) {
            const uint64_t xs = GetBE32(b + 8), ys = GetBE32(b + 12), xo = GetBE32(b + 16), yo = GetBE32(b + 20);
            const uint64_t xt = GetBE32(b + 24), yt = GetBE32(b + 28), xto = GetBE32(b + 32), yto = GetBE32(b + 36);
            const uint64_t comps = (static_cast<uint64_t>(b[40]) << 8) | b[41];
            if (xt > 0 && yt > 0 && xs > xo && ys > yo && xs > xto && ys > yto && comps > 0) {
                const uint64_t tiles = ((xs - xto + xt - 1) / xt) * ((ys - yto + yt - 1) / yt);
                const uint64_t samples = (xs - xo) * (ys - yo) * comps;
                const uint64_t data = static_cast<uint64_t>(std::max<int64_t>(size, 0));
                ok = tiles * 14 <= data && samples <= std::max<uint64_t>(uint64_t{1} << 24, data * 4096);
            }
        }
    }
    Stream->SetPosition(start);
    return ok;
}

}  // namespace

void IEReadJ2000Stream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                       TProgressRec& Progress) {
    OPJ_CODEC_FORMAT format;
    if (IEIsJP2Stream(Stream))
        format = OPJ_CODEC_JP2;
    else if (IEIsJ2KStream(Stream))
        format = OPJ_CODEC_J2K;
    else {
        Progress.Abort();
        return;
    }
    if (!PlausibleGrid(Stream, format == OPJ_CODEC_JP2)) {
        Progress.Abort();
        return;
    }
    StreamBinding binding{Stream, Stream->GetPosition()};
    StreamPtr stream = MakeStream(binding, true);
    CodecPtr codec(opj_create_decompress(format));
    if (!stream || !codec) {
        Progress.Abort();
        return;
    }
    Quiet(codec.get());
    opj_dparameters_t dp;
    opj_set_default_decoder_parameters(&dp);
    opj_image_t* raw = nullptr;
    if (!opj_setup_decoder(codec.get(), &dp) || !opj_read_header(stream.get(), codec.get(), &raw)) {
        opj_image_destroy(raw);
        Progress.Abort();
        return;
    }
    ImagePtr image(raw);
    const opj_image_t& im = *image;
    const uint64_t w64 = im.x1 > im.x0 ? im.x1 - im.x0 : 0, h64 = im.y1 > im.y0 ? im.y1 - im.y0 : 0;
    if (im.numcomps == 0 || w64 == 0 || h64 == 0 || w64 > 0x7FFFFFFF || h64 > 0x7FFFFFFF) {
        Progress.Abort();
        return;
    }
    const auto width = static_cast<int32_t>(w64), height = static_cast<int32_t>(h64);
    // The decoder holds every component whole: a header that claims far more samples than
    // its data could code (beyond 4096 a byte, 16M at least) is refused.
    // Within the readers' pixel budget, the components together may hold what four planes
    // of the picture's size and the picture itself would. Sums past the 64-bit range fail.
    std::optional<int64_t> total = IECheckedMul(width, height);
    for (uint32_t c = 0; c < im.numcomps && total; ++c) {
        const auto samples = IECheckedMul(int64_t{im.comps[c].w}, int64_t{im.comps[c].h});
        total = samples ? IECheckedAdd(*total, *samples) : std::nullopt;
    }
    const int64_t dataSize = std::max<int64_t>(Stream->GetSize() - binding.Start, 0);
    const auto coded = IECheckedMul(dataSize, 4096);
    const int64_t budget = IEReaderPixelBudgetNow();
    if (!total || !coded || *total > std::max<int64_t>(int64_t{1} << 24, *coded) ||
        !IEReaderPixelsAllowed(width, height) || (budget > 0 && *total / 5 > budget)) {
        Progress.Abort();
        return;
    }

    uint32_t use[3];
    TSpace space = PictureComponents(im, use);
    if (space == spOther) {
        Progress.Abort();
        return;
    }
    Params.SetImageCount(1);
    Params.BitsPerSample = static_cast<int32_t>(im.comps[use[0]].prec);
    Params.SamplesPerPixel = space == spGrey ? 1 : 3;
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.FreeColorMap();
    Params.Width = Params.OriginalWidth = width;
    Params.Height = Params.OriginalHeight = height;
    if (PreviewOnly) return;

    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
        Progress.Abort();
        return;
    }
    space = PictureComponents(im, use);
    if (space == spOther) {
        Progress.Abort();
        return;
    }
    const int32_t samples = space == spGrey ? 1 : 3;
    Params.SamplesPerPixel = samples;
    for (int32_t k = 0; k < samples; ++k) {
        const opj_image_comp_t& c = im.comps[use[k]];
        if (!c.data || c.w == 0 || c.h == 0 || c.prec == 0 || c.prec > 31) {
            Progress.Abort();
            return;
        }
    }
    const bool bilevel = space == spGrey && im.comps[use[0]].prec == 1;
    if (!Bitmap->Allocate(width, height, bilevel ? ie1g : ie24RGB)) {
        Progress.Abort();
        return;
    }
    Plane planes[3];
    for (int32_t k = 0; k < samples; ++k) planes[k].Build(im, im.comps[use[k]], width, height);

    const YCbCrTables& t = Tables();
    Progress.Per = 100.0 / height;
    for (int32_t i = 0; i < height; ++i) {
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(i));
        if (space == spGrey) {
            const OPJ_INT32* g = planes[0].RowBase(i);
            if (bilevel) {
                std::memset(row, 0, static_cast<size_t>(Bitmap->GetRowLen()));
                for (int32_t j = 0; j < width; ++j)
                    if (g[planes[0].Columns[static_cast<size_t>(j)]] + planes[0].Offset != 0) IESetBit(row, j, true);
            } else {
                for (int32_t j = 0; j < width; ++j) {
                    const auto v = static_cast<uint8_t>(planes[0].Sample8(g, j));
                    row[3 * j] = row[3 * j + 1] = row[3 * j + 2] = v;
                }
            }
        } else {
            const OPJ_INT32* a = planes[0].RowBase(i);
            const OPJ_INT32* b = planes[1].RowBase(i);
            const OPJ_INT32* c = planes[2].RowBase(i);
            for (int32_t j = 0; j < width; ++j) {
                const int32_t s0 = planes[0].Sample8(a, j), s1 = planes[1].Sample8(b, j), s2 = planes[2].Sample8(c, j);
                uint8_t* p = row + 3 * j;
                if (space == spRGB) {
                    p[0] = static_cast<uint8_t>(s2);
                    p[1] = static_cast<uint8_t>(s1);
                    p[2] = static_cast<uint8_t>(s0);
                } else {
                    p[2] = static_cast<uint8_t>(IEClampByte(s0 + t.CrToR[static_cast<size_t>(s2)]));
                    p[1] = static_cast<uint8_t>(
                        IEClampByte(s0 + t.CbToG[static_cast<size_t>(s1)] + t.CrToG[static_cast<size_t>(s2)]));
                    p[0] = static_cast<uint8_t>(IEClampByte(s0 + t.CbToB[static_cast<size_t>(s1)]));
                }
            }
        }
        Progress.ReportRows(i + 1);
        if (Progress.IsAborting()) return;
    }
}

// ---------------------------------------------------------------------------------------
// Writer

cl::String IEJ2000Options(const TIOParamsVals& Params) {
    cl::String s = "rate=" + IEFloatToStrDot(Params.J2000Rate);
    if (Params.J2000ScalableBy == 0)
        s += " prg=lrcp";
    else if (Params.J2000ScalableBy == 1)
        s += " prg=rlcp";
    return s;
}

namespace {

// Puts the options text into the coding parameters.
void ApplyOptions(const std::string& Options, opj_cparameters_t& P) {
    size_t at = 0;
    while (at < Options.size()) {
        size_t end = Options.find(' ', at);
        if (end == std::string::npos) end = Options.size();
        const std::string item = Options.substr(at, end - at);
        at = end + 1;
        if (item.rfind("rate=", 0) == 0) {
            const double rate = std::strtod(item.c_str() + 5, nullptr);
            // A share of the uncompressed size below 1 is a compression ratio; 1 or more
            // keeps every bit.
            if (rate > 0 && rate < 1) P.tcp_rates[0] = static_cast<float>(1.0 / rate);
        } else if (item == "prg=lrcp") {
            P.prog_order = OPJ_LRCP;
        } else if (item == "prg=rlcp") {
            P.prog_order = OPJ_RLCP;
        }
    }
}

}  // namespace

void IEWriteJ2000Stream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t Format,
                        TProgressRec& Progress) {
    if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* src = Bitmap;
    if (src->GetPixelFormat() != ie1g && src->GetPixelFormat() != ie24RGB) {
        src = IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!src) {
            Progress.Abort();
            return;
        }
    }
    const bool bilevel = src->GetPixelFormat() == ie1g;
    if (bilevel) {
        Params.BitsPerSample = 1;
        Params.J2000ColorSpace = 0;
    }
    const int32_t bits = Params.BitsPerSample >= 1 && Params.BitsPerSample <= 16 ? Params.BitsPerSample : 8;
    const int32_t width = src->GetWidth(), height = src->GetHeight();
    const double mx = static_cast<double>((1u << bits) - 1);
    const bool grey = Params.J2000ColorSpace == 0;
    TIEBitmap* alpha = nullptr;
    if (!grey && Bitmap->HasAlphaChannel()) {
        alpha = Bitmap->GetAlphaChannel();
        alpha->SyncFull();
        if (alpha->Full || alpha->GetWidth() != width || alpha->GetHeight() != height) alpha = nullptr;
    }
    const uint32_t ncomps = grey ? 1 : alpha ? 4 : 3;

    opj_image_cmptparm_t cp[4];
    std::memset(cp, 0, sizeof cp);
    for (uint32_t c = 0; c < ncomps; ++c) {
        cp[c].dx = cp[c].dy = 1;
        cp[c].w = static_cast<OPJ_UINT32>(width);
        cp[c].h = static_cast<OPJ_UINT32>(height);
        cp[c].prec = static_cast<OPJ_UINT32>(bits);
        cp[c].sgnd = 0;
    }
    ImagePtr image(opj_image_create(ncomps, cp, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!image) {
        Progress.Abort();
        return;
    }
    image->x0 = image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    if (alpha) image->comps[3].alpha = 1;

    auto scale = [mx](int32_t V) { return static_cast<OPJ_INT32>(std::trunc(V / 255.0 * mx)); };
    Progress.Per = 100.0 / height;
    for (int32_t i = 0; i < height; ++i) {
        const auto* row = static_cast<const uint8_t*>(src->GetScanline(i));
        const size_t base = static_cast<size_t>(i) * static_cast<size_t>(width);
        if (bilevel) {
            for (int32_t j = 0; j < width; ++j) image->comps[0].data[base + j] = IEGetBit(row, j) ? 1 : 0;
        } else if (grey) {
            for (int32_t j = 0; j < width; ++j) {
                const uint8_t* p = row + 3 * j;
                const int32_t g = (p[2] * IEGrayWeightRed + p[1] * IEGrayWeightGreen + p[0] * IEGrayWeightBlue) / 100;
                image->comps[0].data[base + j] = scale(g);
            }
        } else {
            for (int32_t j = 0; j < width; ++j) {
                const uint8_t* p = row + 3 * j;
                image->comps[0].data[base + j] = scale(p[2]);
                image->comps[1].data[base + j] = scale(p[1]);
                image->comps[2].data[base + j] = scale(p[0]);
            }
            if (alpha) {
                const auto* a = static_cast<const uint8_t*>(alpha->GetScanline(i));
                for (int32_t j = 0; j < width; ++j) image->comps[3].data[base + j] = scale(a[j]);
            }
        }
        Progress.ReportRows(i + 1);
        if (Progress.IsAborting()) return;
    }

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0;
    parameters.cp_disto_alloc = 1;
    parameters.irreversible = 0;
    parameters.tcp_mct = ncomps >= 3 ? 1 : 0;
    // No more resolution levels than the smaller side allows.
    while (parameters.numresolution > 1 && (1 << (parameters.numresolution - 1)) > std::min(width, height))
        --parameters.numresolution;
    ApplyOptions(IEJ2000Options(Params), parameters);

    try {
        TIETmpStream tmp;
        bool ok = false;
        {
            StreamBinding binding{&tmp, 0};
            StreamPtr stream = MakeStream(binding, false);
            CodecPtr codec(opj_create_compress(Format == ioJ2K ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
            if (stream && codec) {
                Quiet(codec.get());
                ok = opj_setup_encoder(codec.get(), &parameters, image.get()) &&
                     opj_start_compress(codec.get(), image.get(), stream.get()) &&
                     opj_encode(codec.get(), stream.get()) && opj_end_compress(codec.get(), stream.get());
            }
        }
        if (!ok) {
            Progress.Abort();
            return;
        }
        // The coded data go to the caller's stream in one piece.
        const int64_t size = tmp.GetSize();
        tmp.SetPosition(0);
        std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(size, 1 << 20)));
        for (int64_t done = 0; done < size && !Progress.IsAborting();) {
            const int64_t n = std::min<int64_t>(static_cast<int64_t>(buffer.size()), size - done);
            if (!IEReadChecked(&tmp, Progress, buffer.data(), n)) return;
            IEWriteChecked(Stream, Progress, buffer.data(), n);
            done += n;
        }
    } catch (const std::exception&) {
        Progress.Abort();
    }
}

// ---------------------------------------------------------------------------------------
// The engine's entries

namespace {

void ReadJ2000(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
               TIEReadContext& Context) {
    IEReadJ2000Stream(Stream, Bitmap, Params, Context.PreviewOnly, Progress);
    Context.ImageCount = 1;
}

void WriteJP2(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWriteJ2000Stream(Stream, Bitmap, Params, ioJP2, Progress);
}

void WriteJ2K(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWriteJ2000Stream(Stream, Bitmap, Params, ioJ2K, Progress);
}

}  // namespace

void IEJ2000StaticInit() { (void)Tables(); }

void IEJ2000StaticFinal() {
    std::lock_guard<std::mutex> guard(gTablesLock);
    delete gTables.exchange(nullptr, std::memory_order_acq_rel);
}

bool IEJ2000TablesBuilt() { return gTables.load(std::memory_order_acquire) != nullptr; }

void IEJ2000RegisterFormat() {
    TIEFormatOps jp2;
    jp2.Probe = &IEIsJP2Stream;
    jp2.Read = &ReadJ2000;
    jp2.Write = &WriteJP2;
    IESetFormatOps(ioJP2, jp2);
    TIEFormatOps j2k;
    j2k.Probe = &IEIsJ2KStream;
    j2k.Read = &ReadJ2000;
    j2k.Write = &WriteJ2K;
    IESetFormatOps(ioJ2K, j2k);
}

}  // namespace ie
