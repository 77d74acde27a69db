// PNG files through the system libpng.
//
// libpng reports errors by a long jump to the setjmp point of the caller. Only the
// functions named *Core call libpng; they hold no object with a destructor of their own
// (everything they use lives in the state record of their caller), so a jump out of
// libpng skips nothing that needs cleaning up.
#include "imaging/formats/pngfilt.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/iefmtcommon.h"

namespace ie {

namespace {

constexpr const char* kCreateError = "Error on creating PNG";
// deflate never packs more than 1032 bytes into one: data that claims more is a lie.
constexpr int64_t kMaxInflateRatio = 1032;
// The limits set on every read: the largest width and height libpng accepts, the most
// memory one ancillary chunk (or its decompressed text or profile) may take, and the most
// ancillary chunks kept. A file that goes past them fails with libpng's error.
constexpr png_uint_32 kMaxSide = 1000000;
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;
constexpr png_uint_32 kMaxCachedChunks = 1000;
// The largest block libpng may ask for while reading: a row of the widest picture (8 MB) or
// the largest chunk, with room. libpng reads an ancillary chunk whole before it looks at its
// length, so a chunk that claims 2 GB is refused here, and libpng passes over it.
constexpr png_alloc_size_t kMaxReadBlock = 2 * kMaxChunkBytes;

png_voidp LimitedMalloc(png_structp, png_alloc_size_t Size) {
    return Size > kMaxReadBlock ? nullptr : std::malloc(Size);
}
void LimitedFree(png_structp, png_voidp Block) { std::free(Block); }

void Warning(png_structp, png_const_charp) {}
void JumpOnError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }

void ReadData(png_structp Png, png_bytep Data, size_t Length) {
    auto* s = static_cast<cl::TStream*>(png_get_io_ptr(Png));
    bool ok = false;
    try {
        size_t done = 0;
        while (done < Length) {
            const int64_t n = s->Read(Data + done, static_cast<int64_t>(Length - done));
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ok = done == Length;
    } catch (...) {
        ok = false;
    }
    if (!ok) png_error(Png, "short read");
}

int32_t SamplesOf(int ColorType) {
    switch (ColorType) {
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

// An 8-bit level of a sample of Depth bits.
uint8_t Level(uint32_t Value, int Depth) {
    if (Depth >= 16) return static_cast<uint8_t>(Value >> 8);
    const uint32_t max = (1u << Depth) - 1;
    return static_cast<uint8_t>(std::min(Value, max) * 255 / max);
}

// The text chunks read so far into the params' two lists.
void CollectText(png_structp Png, png_infop Info, TIOParamsVals& Params) {
    Params.PNGTextKeys()->Clear();
    Params.PNGTextValues()->Clear();
    png_textp text = nullptr;
    const int count = png_get_text(Png, Info, &text, nullptr);
    for (int i = 0; i < count; ++i) {
        Params.PNGTextKeys()->Add(text[i].key ? text[i].key : "");
        Params.PNGTextValues()->Add(text[i].text ? text[i].text : "");
    }
}

struct ReadState {
    cl::TStream* Stream = nullptr;
    TIEBitmap* Bitmap = nullptr;
    TIOParamsVals* Params = nullptr;
    TProgressRec* Progress = nullptr;
    bool PreviewOnly = false;
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::vector<uint8_t> Staging;
    TRGB Lookup[256] = {};
    bool Aborted = false;  // a failure that is not a library error
};

// False when libpng reported an error.
bool ReadCore(ReadState& S) {
    png_structp png = S.Png;
    png_infop info = S.Info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, S.Stream, &ReadData);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxCachedChunks);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, ctype = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &ctype, &interlace, nullptr, nullptr);
    TIOParamsVals& params = *S.Params;

    CollectText(png, info, params);

    // Palette (the lookup has every index of the depth; missing entries are black).
    params.FreeColorMap();
    png_colorp pal = nullptr;
    int palCount = 0;
    if (ctype == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &pal, &palCount) && palCount > 0) {
        palCount = std::min(palCount, 256);
        TRGB* map = params.AllocColorMap(palCount);
        for (int i = 0; i < palCount; ++i) {
            map[i] = TRGB{pal[i].blue, pal[i].green, pal[i].red};
            S.Lookup[i] = map[i];
        }
    }

    // Background, scaled from the file's depth.
    png_color_16p bg = nullptr;
    if (png_get_bKGD(png, info, &bg) && bg) {
        if (ctype == PNG_COLOR_TYPE_PALETTE) {
            if (bg->index < palCount) params.PNGBackground = S.Lookup[bg->index];
        } else if (ctype == PNG_COLOR_TYPE_GRAY || ctype == PNG_COLOR_TYPE_GRAY_ALPHA) {
            const uint8_t g = Level(bg->gray, depth);
            params.PNGBackground = TRGB{g, g, g};
        } else {
            params.PNGBackground = TRGB{Level(bg->blue, depth), Level(bg->green, depth), Level(bg->red, depth)};
        }
    }

    const bool native = params.NativePixelFormat && (depth == 8 || depth == 16) &&
                        (ctype == PNG_COLOR_TYPE_GRAY || ctype == PNG_COLOR_TYPE_PALETTE);
    if (native) {
        if (depth == 16) png_set_swap(png);
    } else if (depth > 1) {
        if (ctype == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (ctype == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (depth == 16) png_set_strip_16(png);
        if (ctype == PNG_COLOR_TYPE_GRAY || ctype == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        png_set_bgr(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    params.SetImageCount(1);
    params.Width = params.OriginalWidth = static_cast<int32_t>(w);
    params.Height = params.OriginalHeight = static_cast<int32_t>(h);
    params.BitsPerSample = depth;
    params.SamplesPerPixel = SamplesOf(ctype);
    params.SetDpiX(IEPpmToDpi(png_get_x_pixels_per_meter(png, info), IEDefaultDpiX));
    params.SetDpiY(IEPpmToDpi(png_get_y_pixels_per_meter(png, info), IEDefaultDpiY));
    params.PNGInterlaced = interlace != PNG_INTERLACE_NONE;
    if (S.PreviewOnly) return true;

    // The compressed data must be able to hold the rows the header promises.
    const auto rawRow = IECheckedRowBytes(w, int64_t{SamplesOf(ctype)} * depth);
    const auto rawRows = rawRow ? IECheckedMul(*rawRow + 1, h) : std::nullopt;
    const auto inflatable = IECheckedMul(IEBytesLeft(S.Stream), kMaxInflateRatio);
    if (!rawRows || !inflatable || *rawRows > *inflatable + 65536 || !IEReaderPixelsAllowed(w, h)) {
        S.Aborted = true;
        return true;
    }

    const bool onePalette = depth == 1 && ctype == PNG_COLOR_TYPE_PALETTE;
    TIEPixelFormat format = ie24RGB;
    if (depth == 1 && ctype == PNG_COLOR_TYPE_GRAY)
        format = ie1g;
    else if (native)
        format = ctype == PNG_COLOR_TYPE_PALETTE ? ie8p : depth == 8 ? ie8g : ie16g;
    const int channels = png_get_channels(png, info);
    const int64_t rowBytes = static_cast<int64_t>(png_get_rowbytes(png, info));
    // What libpng will hand over must be what the bitmap rows hold.
    int64_t expected;
    if (format == ie1g || onePalette)
        expected = (int64_t{w} + 7) / 8;
    else if (format == ie24RGB)
        expected = int64_t{w} * channels;
    else
        expected = int64_t{w} * (depth / 8);
    if (rowBytes != expected || (format == ie24RGB && !onePalette && channels != 3 && channels != 4)) {
        S.Aborted = true;
        return true;
    }
    TIEBitmap* bitmap = S.Bitmap;
    if (!bitmap->Allocate(static_cast<int32_t>(w), static_cast<int32_t>(h), format)) {
        S.Aborted = true;
        return true;
    }
    if (format == ie8p) {
        for (int i = 0; i < 256; ++i) bitmap->SetPaletteEntry(i, S.Lookup[i]);
        bitmap->PaletteUsed = 1 << depth;
    }
    TProgressRec& progress = *S.Progress;
    progress.Per = 100.0 / (static_cast<double>(h) * passes);
    progress.Val = 0;
    const bool staged = channels == 4 || onePalette;
    if (staged) {
        const int64_t rows = passes > 1 ? h : 1;
        S.Staging.resize(static_cast<size_t>(rowBytes * rows));  // bad_alloc is caught by the caller
    }
    TIEBitmap* alpha = nullptr;
    if (channels == 4) {
        alpha = bitmap->GetAlphaChannel();
        alpha->Full = false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        int32_t last = -1;
        for (png_uint_32 y = 0; y < h; ++y) {
            auto* row = static_cast<uint8_t*>(bitmap->GetScanline(static_cast<int32_t>(y)));
            if (staged) {
                uint8_t* st = S.Staging.data() + (passes > 1 ? rowBytes * y : 0);
                png_read_row(png, st, nullptr);
                if (channels == 4) {
                    auto* a = static_cast<uint8_t*>(alpha->GetScanline(static_cast<int32_t>(y)));
                    for (png_uint_32 x = 0; x < w; ++x) {
                        std::memcpy(row + 3 * x, st + 4 * x, 3);
                        a[x] = st[4 * x + 3];
                    }
                } else {
                    for (png_uint_32 x = 0; x < w; ++x)
                        reinterpret_cast<TRGB*>(row)[x] = S.Lookup[(st[x >> 3] >> (7 - (x & 7))) & 1];
                }
            } else {
                png_read_row(png, row, nullptr);
            }
            ++progress.Val;
            IEReportRows(progress, progress.Val, last);
            if (progress.IsAborting()) {
                S.Aborted = true;
                return true;
            }
        }
    }
    // Text chunks may follow the image data.
    png_read_end(png, info);
    CollectText(png, info, params);
    return true;
}

struct WriteIO {
    cl::TStream* Stream;
    TProgressRec* Progress;
};

void WriteData(png_structp Png, png_bytep Data, size_t Length) {
    auto* io = static_cast<WriteIO*>(png_get_io_ptr(Png));
    int64_t n = -1;
    try {
        n = io->Stream->Write(Data, static_cast<int64_t>(Length));
    } catch (...) {
        n = -1;
    }
    if (n != static_cast<int64_t>(Length)) io->Progress->Abort();
}

void FlushData(png_structp) {}

enum OutKind { okGrey1, okPalette1, okPaletteAlpha, okPalette, okGrey8, okGrey16, okRGB, okRGBA };

struct WriteState {
    WriteIO IO;
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TIEBitmap* Source = nullptr;
    TIEMask* Mask = nullptr;
    TIEQuantizer* Quantizer = nullptr;
    TIOParamsVals* Params = nullptr;
    OutKind Kind = okRGB;
    int Depth = 8;
    int ColorType = PNG_COLOR_TYPE_RGB;
    std::vector<png_color> Palette;
    png_color_16 Background{};
    std::vector<png_text> Text;
    std::vector<uint8_t> Row;
};

bool WriteCore(WriteState& S) {
    png_structp png = S.Png;
    png_infop info = S.Info;
    if (setjmp(png_jmpbuf(png))) return false;
    TIEBitmap* src = S.Source;
    TIOParamsVals& params = *S.Params;
    TProgressRec& progress = *S.IO.Progress;
    const int32_t w = src->GetWidth(), h = src->GetHeight();
    png_set_write_fn(png, &S.IO, &WriteData, &FlushData);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), S.Depth, S.ColorType,
                 params.PNGInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!S.Palette.empty()) png_set_PLTE(png, info, S.Palette.data(), static_cast<int>(S.Palette.size()));
    if (S.Kind == okPaletteAlpha) {
        png_byte trans[1] = {0};
        png_set_tRNS(png, info, trans, 1, nullptr);
    }
    png_set_pHYs(png, info, IEDpiToPpm(params.DpiX), IEDpiToPpm(params.DpiY), PNG_RESOLUTION_METER);
    switch (params.PNGFilter) {
        case 0: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
        case 1: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
        case 2: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
        default: break;
    }
    png_set_bKGD(png, info, &S.Background);
    png_set_compression_level(png, std::clamp(params.PNGCompression, 0, 9));
    if (S.Kind == okRGB || S.Kind == okRGBA) png_set_bgr(png);
    if (!S.Text.empty()) png_set_text(png, info, S.Text.data(), static_cast<int>(S.Text.size()));
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    progress.Per = 100.0 / (static_cast<double>(h) * passes);
    progress.Val = 0;
    uint8_t* out = S.Row.data();
    for (int pass = 0; pass < passes && !progress.IsAborting(); ++pass) {
        for (int32_t y = 0; y < h; ++y) {
            const auto* row = static_cast<const uint8_t*>(src->GetScanline(y));
            const auto* px = reinterpret_cast<const TRGB*>(row);
            switch (S.Kind) {
                case okGrey1:
                case okPalette1: std::memcpy(out, row, static_cast<size_t>((w + 7) / 8)); break;
                case okPaletteAlpha: {
                    const auto* m = static_cast<const uint8_t*>(S.Mask->GetScanline(y));
                    for (int32_t x = 0; x < w; ++x) {
                        const int32_t i = S.Quantizer->RGBIndex(px[x]);
                        out[x] = m[x] < 255 ? 0 : static_cast<uint8_t>(std::clamp(i, 0, 254) + 1);
                    }
                    break;
                }
                case okPalette:
                    if (src->GetPixelFormat() == ie8p) {
                        std::memcpy(out, row, static_cast<size_t>(w));
                    } else {
                        for (int32_t x = 0; x < w; ++x)
                            out[x] = static_cast<uint8_t>(std::clamp(S.Quantizer->RGBIndex(px[x]), 0, 255));
                    }
                    break;
                case okGrey8:
                    for (int32_t x = 0; x < w; ++x) out[x] = px[x].r;
                    break;
                case okGrey16:
                    // The level times 257: white stays white at 16 bits.
                    for (int32_t x = 0; x < w; ++x) {
                        out[2 * x] = px[x].r;
                        out[2 * x + 1] = px[x].r;
                    }
                    break;
                case okRGB: std::memcpy(out, row, static_cast<size_t>(w) * 3); break;
                case okRGBA: {
                    const auto* m = static_cast<const uint8_t*>(S.Mask->GetScanline(y));
                    for (int32_t x = 0; x < w; ++x) {
                        std::memcpy(out + 4 * x, row + 3 * x, 3);
                        out[4 * x + 3] = m[x];
                    }
                    break;
                }
            }
            png_write_row(png, out);
            ++progress.Val;
            progress.ReportRows(progress.Val);
            if (progress.IsAborting()) break;
        }
    }
    if (!progress.IsAborting()) png_write_end(png, info);
    return true;
}

}  // namespace

bool IEIsPNGStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    png_byte sig[8] = {};
    const int64_t n = Stream->Read(sig, 8);
    Stream->Seek(p, cl::soBeginning);
    return n == 8 && png_sig_cmp(sig, 0, 4) == 0;
}

void IEReadPNGStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                     bool PreviewOnly) {
    ReadState s;
    s.Stream = Stream;
    s.Bitmap = Bitmap;
    s.Params = &Params;
    s.Progress = &Progress;
    s.PreviewOnly = PreviewOnly;
    s.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, &JumpOnError, &Warning, nullptr, &LimitedMalloc,
                                     &LimitedFree);
    if (s.Png) s.Info = png_create_info_struct(s.Png);
    bool ok = false;
    if (s.Png && s.Info) {
        try {
            ok = ReadCore(s);
        } catch (...) {
            ok = false;  // no memory for the staging rows, or a stream that raised
        }
    }
    png_destroy_read_struct(s.Png ? &s.Png : nullptr, s.Info ? &s.Info : nullptr, nullptr);
    if (!ok || s.Aborted) Progress.Abort();
}

void IEWritePNGStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                      TIEMask* AlphaMask) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) {
        Progress.Abort();
        return;
    }
    WriteState s;
    s.IO = WriteIO{Stream, &Progress};
    s.Params = &Params;
    if (Params.SamplesPerPixel == 1 && Params.BitsPerSample != 1 && Params.BitsPerSample != 8 &&
        Params.BitsPerSample != 16)
        Params.BitsPerSample = 8;
    const bool alpha = AlphaMask && !AlphaMask->Full && AlphaMask->Width == w && AlphaMask->Height == h &&
                       AlphaMask->BitsPerPixel == 8;
    s.Mask = alpha ? AlphaMask : nullptr;
    std::unique_ptr<TIEBitmap> holder;
    std::unique_ptr<TIEQuantizer> quantizer;
    std::vector<TRGB> qpal(256);
    const TRGB bgc = Params.PNGBackground;

    if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) {
        s.Depth = 1;
        TRGB dark, light;
        if (Bitmap->GetPixelFormat() == ie1g) {
            s.Source = Bitmap;
        } else if (holder = std::make_unique<TIEBitmap>(), IETwoColorsTo1Bit(Bitmap, holder.get(), dark, light)) {
            // Two colours keep their colours: a two-entry palette.
            s.Source = holder.get();
            s.Kind = okPalette1;
            s.ColorType = PNG_COLOR_TYPE_PALETTE;
            s.Palette = {png_color{dark.r, dark.g, dark.b}, png_color{light.r, light.g, light.b}};
            s.Background.index =
                static_cast<png_byte>(IERGBToGray(bgc) >= (IERGBToGray(dark) + IERGBToGray(light)) / 2);
        } else {
            s.Source = IEBlackAndWhiteCopy(Bitmap, holder);
        }
        if (s.Kind != okPalette1) {
            s.Kind = okGrey1;
            s.ColorType = PNG_COLOR_TYPE_GRAY;
            s.Background.gray = IERGBToGray(bgc) >= 128 ? 1 : 0;
        }
    } else if (Params.SamplesPerPixel == 1) {
        const bool keep8p = !alpha && Bitmap->GetPixelFormat() == ie8p;
        s.Source = keep8p ? Bitmap : IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (s.Source) {
            if (alpha) {
                // Entry 0 is the transparent background, the image's colours follow.
                s.Kind = okPaletteAlpha;
                s.Depth = 8;
                s.ColorType = PNG_COLOR_TYPE_PALETTE;
                const int32_t colours = std::min(1 << Params.BitsPerSample, 255);
                quantizer = std::make_unique<TIEQuantizer>(s.Source, qpal.data(), colours);
                s.Palette.push_back(png_color{bgc.r, bgc.g, bgc.b});
                for (int32_t i = 0;
                     i < 255 && static_cast<int32_t>(s.Palette.size()) < std::min((1 << Params.BitsPerSample) + 1, 256);
                     ++i)
                    s.Palette.push_back(png_color{qpal[static_cast<size_t>(i)].r, qpal[static_cast<size_t>(i)].g,
                                                  qpal[static_cast<size_t>(i)].b});
                s.Background.index = 0;
            } else {
                quantizer = std::make_unique<TIEQuantizer>(s.Source, qpal.data(), 256);
                if (quantizer->GrayScale && s.Source->GetPixelFormat() == ie24RGB) {
                    s.Kind = Params.BitsPerSample == 16 ? okGrey16 : okGrey8;
                    s.Depth = Params.BitsPerSample == 16 ? 16 : 8;
                    s.ColorType = PNG_COLOR_TYPE_GRAY;
                    const uint32_t g = static_cast<uint32_t>(IERGBToGray(bgc));
                    s.Background.gray = static_cast<png_uint_16>(s.Depth == 16 ? g * 257 : g);
                } else {
                    s.Kind = okPalette;
                    s.Depth = 8;
                    s.ColorType = PNG_COLOR_TYPE_PALETTE;
                    for (int i = 0; i < 256; ++i)
                        s.Palette.push_back(png_color{qpal[static_cast<size_t>(i)].r, qpal[static_cast<size_t>(i)].g,
                                                      qpal[static_cast<size_t>(i)].b});
                    s.Background.index = static_cast<png_byte>(std::clamp(quantizer->RGBIndex(bgc), 0, 255));
                }
            }
        }
    } else {
        s.Source = IEWorkingCopy(Bitmap, ie24RGB, holder);
        s.Kind = alpha ? okRGBA : okRGB;
        s.ColorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        s.Background.red = bgc.r;
        s.Background.green = bgc.g;
        s.Background.blue = bgc.b;
    }
    if (!s.Source) {
        Progress.Abort();
        return;
    }
    s.Quantizer = quantizer.get();
    s.Row.assign(static_cast<size_t>(w) * 4 + 8, 0);

    // Text chunks: as many as there are pairs of key and value.
    std::vector<std::string> keys, values;
    const int n = std::min(Params.PNGTextKeys()->GetCount(), Params.PNGTextValues()->GetCount());
    for (int i = 0; i < n; ++i) {
        keys.push_back(Params.PNGTextKeys()->Strings(i).substr(0, 79));
        values.push_back(Params.PNGTextValues()->Strings(i));
    }
    for (int i = 0; i < n; ++i) {
        if (keys[static_cast<size_t>(i)].empty()) continue;  // a chunk needs a keyword
        png_text t{};
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.key = keys[static_cast<size_t>(i)].data();
        t.text = values[static_cast<size_t>(i)].data();
        t.text_length = values[static_cast<size_t>(i)].size();
        s.Text.push_back(t);
    }

    s.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &JumpOnError, &Warning);
    if (!s.Png) throw cl::EInvalidGraphic(kCreateError);
    s.Info = png_create_info_struct(s.Png);
    if (!s.Info) {
        png_destroy_write_struct(&s.Png, nullptr);
        throw cl::EInvalidGraphic(kCreateError);
    }
    bool ok = false;
    try {
        ok = WriteCore(s);
    } catch (...) {
        ok = false;
    }
    png_destroy_write_struct(&s.Png, &s.Info);
    if (!ok) {
        Progress.Abort();
        throw cl::EInvalidGraphic(kCreateError);
    }
}

namespace {

void ReadPNG(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadPNGStream(Stream, Bitmap, Params, Progress, Context.PreviewOnly);
    Context.ImageCount = 1;
}

void WritePNG(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEWriteContext& Context) {
    IEWritePNGStream(Stream, Bitmap, Params, Progress, Context.AlphaMask);
}

}  // namespace

void IEPNGRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsPNGStream;
    ops.Read = &ReadPNG;
    ops.Write = &WritePNG;
    IESetFormatOps(ioPNG, ops);
}

}  // namespace ie
