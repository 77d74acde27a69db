// TJPEGImage over libjpeg. libjpeg reports fatal errors through its error manager, which
// leaves with longjmp; every call into libjpeg therefore happens inside a small phase
// function that holds no C++ objects and returns false when libjpeg gave up. The C++
// code between the phases raises EJPEG and frees the libjpeg object through its guard.
#include "classlib/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace cl {

namespace {

// Decoded pictures are limited to this many pixels (a header can claim 65500 x 65500).
constexpr int64_t kMaxPixels = int64_t{1} << 27;
// Progressive data with more scans than this is treated as corrupt (each scan costs a
// pass over the whole picture).
constexpr int kMaxScans = 1000;

struct ErrorMgr {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings;
};

extern "C" void JpegErrorExit(j_common_ptr c) {
    auto* e = reinterpret_cast<ErrorMgr*>(c->err);
    std::longjmp(e->jump, 1);
}

extern "C" void JpegEmitMessage(j_common_ptr c, int level) {
    if (level < 0) {
        ++reinterpret_cast<ErrorMgr*>(c->err)->warnings;
        ++c->err->num_warnings;
    }
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegProgress(j_common_ptr c) {
    if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans) {
        c->err->msg_code = JERR_BAD_PROGRESSION;
        c->err->error_exit(c);
    }
}

void InitErrors(ErrorMgr& e) {
    jpeg_std_error(&e.pub);
    e.pub.error_exit = JpegErrorExit;
    e.pub.emit_message = JpegEmitMessage;
    e.pub.output_message = JpegOutputMessage;
    e.warnings = 0;
}

[[noreturn]] void RaiseJpeg(int code) { throw EJPEG(Format("JPEG error #%d", code)); }

// ----------------------------------------------------------------- decompression phases

bool PhaseCreate(j_decompress_ptr d, ErrorMgr* e) {
    if (setjmp(e->jump)) return false;
    jpeg_create_decompress(d);
    return true;
}

bool PhaseHeader(j_decompress_ptr d, ErrorMgr* e, const unsigned char* data, unsigned long size) {
    if (setjmp(e->jump)) return false;
    jpeg_mem_src(d, data, size);
    jpeg_read_header(d, TRUE);
    return true;
}

bool PhaseDimensions(j_decompress_ptr d, ErrorMgr* e) {
    if (setjmp(e->jump)) return false;
    jpeg_calc_output_dimensions(d);
    return true;
}

bool PhaseStart(j_decompress_ptr d, ErrorMgr* e) {
    if (setjmp(e->jump)) return false;
    jpeg_start_decompress(d);
    return true;
}

bool PhaseRead(j_decompress_ptr d, ErrorMgr* e, JSAMPROW row, JDIMENSION* got) {
    if (setjmp(e->jump)) return false;
    JSAMPROW rows[1] = {row};
    *got = jpeg_read_scanlines(d, rows, 1);
    return true;
}

bool PhaseFinish(j_decompress_ptr d, ErrorMgr* e) {
    if (setjmp(e->jump)) return false;
    jpeg_finish_decompress(d);
    return true;
}

struct Decompressor {
    jpeg_decompress_struct d{};
    ErrorMgr e{};
    jpeg_progress_mgr progress{};
    bool created = false;

    Decompressor() {
        InitErrors(e);
        d.err = &e.pub;
        if (!PhaseCreate(&d, &e)) RaiseJpeg(e.pub.msg_code);
        created = true;
        progress.progress_monitor = JpegProgress;
        d.progress = &progress;
    }
    ~Decompressor() {
        if (created) jpeg_destroy_decompress(&d);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    [[noreturn]] void Fail() { RaiseJpeg(e.pub.msg_code); }
    void Header(const std::vector<uint8_t>& data) {
        if (data.empty()) RaiseJpeg(JERR_INPUT_EMPTY);
        if (!PhaseHeader(&d, &e, data.data(), static_cast<unsigned long>(data.size()))) Fail();
    }
};

// ------------------------------------------------------------------- compression phases

bool PhaseCreateC(j_compress_ptr c, ErrorMgr* e) {
    if (setjmp(e->jump)) return false;
    jpeg_create_compress(c);
    return true;
}

bool PhaseSetup(j_compress_ptr c, ErrorMgr* e, unsigned char** buf, unsigned long* size, int quality, bool grey,
                bool progressive) {
    if (setjmp(e->jump)) return false;
    jpeg_mem_dest(c, buf, size);
    jpeg_set_defaults(c);
    jpeg_set_quality(c, quality, TRUE);
    if (grey) jpeg_set_colorspace(c, JCS_GRAYSCALE);
    if (progressive) jpeg_simple_progression(c);
    jpeg_start_compress(c, TRUE);
    return true;
}

bool PhaseWrite(j_compress_ptr c, ErrorMgr* e, JSAMPROW row) {
    if (setjmp(e->jump)) return false;
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(c, rows, 1);
    return true;
}

bool PhaseFinishC(j_compress_ptr c, ErrorMgr* e) {
    if (setjmp(e->jump)) return false;
    jpeg_finish_compress(c);
    return true;
}

struct Compressor {
    jpeg_compress_struct c{};
    ErrorMgr e{};
    bool created = false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;

    Compressor() {
        InitErrors(e);
        c.err = &e.pub;
        if (!PhaseCreateC(&c, &e)) RaiseJpeg(e.pub.msg_code);
        created = true;
    }
    ~Compressor() {
        if (created) jpeg_destroy_compress(&c);
        std::free(buffer);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
    [[noreturn]] void Fail() { RaiseJpeg(e.pub.msg_code); }
};

std::vector<win::RGBQUAD> GreyRamp() {
    std::vector<win::RGBQUAD> t(256);
    for (int i = 0; i < 256; ++i)
        t[i] = win::RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
    return t;
}

// Adobe's CMYK JPEGs store inverted values (255 = no ink).
bool InvertedCmyk(const jpeg_decompress_struct& d) { return d.saw_Adobe_marker != 0; }

}  // namespace

// ---------------------------------------------------------------------------------------

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::FreeBitmap() {
    FBitmap.reset();
    FBitmapFromData = false;
}

void TJPEGImage::SettingChanged() {
    if (FBitmap && FBitmapFromData) FreeBitmap();
    Changed();
}

void TJPEGImage::SetCompressionQuality(int q) {
    q = std::clamp(q, 1, 100);
    if (q == FQuality) return;
    FQuality = q;
    // A picture that came from a bitmap is compressed again with the new quality.
    if (FBitmap && !FBitmapFromData) FData.clear();
}

void TJPEGImage::SetGrayscale(bool v) {
    if (v == FGrayscale) return;
    FGrayscale = v;
    if (FBitmap && !FBitmapFromData) FData.clear();
    SettingChanged();
}

void TJPEGImage::SetScale(TJPEGScale v) {
    if (v == FScale) return;
    FScale = v;
    SettingChanged();
}

void TJPEGImage::SetPerformance(TJPEGPerformance v) {
    if (v == FPerformance) return;
    FPerformance = v;
    SettingChanged();
}

void TJPEGImage::SetPixelFormat(TJPEGPixelFormat v) {
    if (v == FPixelFormat) return;
    FPixelFormat = v;
    SettingChanged();
}

void TJPEGImage::SetProgressiveEncoding(bool v) {
    if (v == FProgressiveEncoding) return;
    FProgressiveEncoding = v;
    if (FBitmap && !FBitmapFromData) FData.clear();
}

int TJPEGImage::GetWidth() const {
    if (FBitmap) return FBitmap->GetWidth();
    int d = 1 << FScale;
    return (FWidth + d - 1) / d;
}

int TJPEGImage::GetHeight() const {
    if (FBitmap) return FBitmap->GetHeight();
    int d = 1 << FScale;
    return (FHeight + d - 1) / d;
}

void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation("Can't change the size of a JPEG image"); }
void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation("Can't change the size of a JPEG image"); }

win::HPALETTE TJPEGImage::GetPalette() {
    if (FBitmap) return FBitmap->GetPalette();
    return nullptr;
}

void TJPEGImage::LoadFromStream(TStream* stream) {
    int64_t n = stream->GetSize() - stream->GetPosition();
    std::vector<uint8_t> data(static_cast<size_t>(std::max<int64_t>(n, 0)));
    if (n > 0 && stream->Read(data.data(), n) != n) throw EReadError("Stream read error");
    Decompressor dec;
    dec.Header(data);
    int w = static_cast<int>(dec.d.image_width), h = static_cast<int>(dec.d.image_height);
    bool grey = dec.d.num_components == 1;
    // Only a decodable header replaces the picture.
    FData = std::move(data);
    FWidth = w;
    FHeight = h;
    FGrey = grey;
    FreeBitmap();
    FWarnings = 0;
    Changed();
}

void TJPEGImage::DIBNeeded() {
    if (FBitmap || FData.empty()) return;
    Decompressor dec;
    dec.Header(FData);
    jpeg_decompress_struct& d = dec.d;
    d.scale_num = 1;
    d.scale_denom = 1u << FScale;
    d.dct_method = FPerformance == jpBestSpeed ? JDCT_IFAST : JDCT_ISLOW;
    d.do_fancy_upsampling = FPerformance == jpBestSpeed ? FALSE : TRUE;
    d.do_block_smoothing = TRUE;
    bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
    bool greyOut = d.jpeg_color_space == JCS_GRAYSCALE || FGrayscale;
    bool quantized = false;
    if (greyOut) {
        d.out_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        d.out_color_space = JCS_CMYK;
    } else if (FPixelFormat == jf8Bit) {
        d.out_color_space = JCS_RGB;
        d.quantize_colors = TRUE;
        d.desired_number_of_colors = 256;
        d.two_pass_quantize = FPerformance == jpBestQuality ? TRUE : FALSE;
        d.dither_mode = FPerformance == jpBestQuality ? JDITHER_FS : JDITHER_ORDERED;
        quantized = true;
    } else {
        d.out_color_space = JCS_EXT_BGR;
    }
    if (!PhaseDimensions(&d, &dec.e)) dec.Fail();
    if (static_cast<int64_t>(d.output_width) * static_cast<int64_t>(d.output_height) > kMaxPixels)
        RaiseJpeg(JERR_IMAGE_TOO_BIG);
    if (!PhaseStart(&d, &dec.e)) dec.Fail();

    auto bmp = std::make_unique<TBitmap>();
    int ow = static_cast<int>(d.output_width), oh = static_cast<int>(d.output_height);
    // The decoder writes every row, so the new picture is not filled first; rows it does
    // not deliver are made white below, as a new bitmap's pixels are.
    if (greyOut || quantized) {
        bmp->SetPixelFormat(pf8bit);
        bmp->NewUnfilled(ow, oh);
        if (greyOut) {
            bmp->SetColorTable(GreyRamp());
        } else {
            std::vector<win::RGBQUAD> table(256);
            for (int i = 0; i < d.actual_number_of_colors && i < 256; ++i)
                table[static_cast<size_t>(i)] = win::RGBQUAD{d.colormap[2][i], d.colormap[1][i], d.colormap[0][i], 0};
            bmp->SetColorTable(table);
        }
    } else {
        bmp->SetPixelFormat(pf24bit);
        bmp->NewUnfilled(ow, oh);
    }
    std::vector<uint8_t> cmykRow(cmyk && !greyOut ? static_cast<size_t>(ow) * 4 : 0);
    bool inverted = InvertedCmyk(d);
    while (d.output_scanline < d.output_height) {
        int y = static_cast<int>(d.output_scanline);
        auto* dst = static_cast<uint8_t*>(bmp->ScanLine(y));
        JDIMENSION got = 0;
        if (!PhaseRead(&d, &dec.e, cmykRow.empty() ? dst : cmykRow.data(), &got)) dec.Fail();
        if (got == 0) break;
        if (!cmykRow.empty()) {
            for (int x = 0; x < ow; ++x) {
                unsigned c = cmykRow[4 * x], m = cmykRow[4 * x + 1], yy = cmykRow[4 * x + 2], k = cmykRow[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yy = 255 - yy;
                    k = 255 - k;
                }
                // (value * k) / 255 rounded to nearest.
                dst[3 * x + 2] = static_cast<uint8_t>((2 * c * k + 255) / 510);
                dst[3 * x + 1] = static_cast<uint8_t>((2 * m * k + 255) / 510);
                dst[3 * x] = static_cast<uint8_t>((2 * yy * k + 255) / 510);
            }
        }
    }
    if (d.output_scanline < d.output_height) {
        // A source that stopped delivering rows: the rest is white (the nearest entry on
        // indexed pictures), as a new bitmap is.
        uint8_t white = 0xFF;
        if (greyOut || quantized) {
            const auto& t = bmp->GetColorTable();
            int best = 0, bestD = -1;
            for (size_t i = 0; i < t.size(); ++i) {
                int dr = 255 - t[i].rgbRed, dg = 255 - t[i].rgbGreen, db = 255 - t[i].rgbBlue;
                int dist = dr * dr + dg * dg + db * db;
                if (bestD < 0 || dist < bestD) {
                    bestD = dist;
                    best = static_cast<int>(i);
                }
            }
            white = static_cast<uint8_t>(best);
        }
        for (int y = static_cast<int>(d.output_scanline); y < oh; ++y)
            std::memset(bmp->ScanLine(y), white, static_cast<size_t>(bmp->RowBytes()));
    }
    if (!PhaseFinish(&d, &dec.e)) dec.Fail();
    FWarnings = dec.e.warnings;
    FBitmap = std::move(bmp);
    FBitmapFromData = true;
}

TBitmap* TJPEGImage::GetBitmap() {
    DIBNeeded();
    return FBitmap.get();
}

void TJPEGImage::JPEGNeeded() {
    if (!FData.empty() || !FBitmap || FBitmap->GetEmpty()) return;
    TBitmap src;
    src.Assign(FBitmap.get());
    src.SetPixelFormat(pf24bit);
    Compressor comp;
    comp.c.image_width = static_cast<JDIMENSION>(src.GetWidth());
    comp.c.image_height = static_cast<JDIMENSION>(src.GetHeight());
    comp.c.input_components = 3;
    comp.c.in_color_space = JCS_EXT_BGR;
    if (!PhaseSetup(&comp.c, &comp.e, &comp.buffer, &comp.size, FQuality, FGrayscale, FProgressiveEncoding))
        comp.Fail();
    for (int y = 0; y < src.GetHeight(); ++y)
        if (!PhaseWrite(&comp.c, &comp.e, static_cast<JSAMPROW>(src.ScanLine(y)))) comp.Fail();
    if (!PhaseFinishC(&comp.c, &comp.e)) comp.Fail();
    FData.assign(comp.buffer, comp.buffer + comp.size);
    FWidth = src.GetWidth();
    FHeight = src.GetHeight();
    FGrey = FGrayscale;
}

void TJPEGImage::SaveToStream(TStream* stream) {
    JPEGNeeded();
    if (!FData.empty()) stream->WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TJPEGImage::Draw(TCanvas* canvas, const TRect& rect) {
    DIBNeeded();
    if (FBitmap) FBitmap->Draw(canvas, rect);
}

void TJPEGImage::Assign(TPersistent* Source) {
    if (!Source) {
        FData.clear();
        FreeBitmap();
        FWidth = FHeight = 0;
        Changed();
        return;
    }
    if (auto* j = dynamic_cast<TJPEGImage*>(Source)) {
        if (j == this) return;
        FData = j->FData;
        FreeBitmap();
        if (j->FBitmap) {
            FBitmap = std::make_unique<TBitmap>();
            FBitmap->Assign(j->FBitmap.get());
            FBitmapFromData = j->FBitmapFromData;
        }
        FWidth = j->FWidth;
        FHeight = j->FHeight;
        FGrey = j->FGrey;
        FQuality = j->FQuality;
        FGrayscale = j->FGrayscale;
        FScale = j->FScale;
        FPerformance = j->FPerformance;
        FPixelFormat = j->FPixelFormat;
        ProgressiveDisplay = j->ProgressiveDisplay;
        Smoothing = j->Smoothing;
        FProgressiveEncoding = j->FProgressiveEncoding;
        Changed();
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(Source)) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(b);
        copy->SetPixelFormat(pf24bit);
        FData.clear();
        FWidth = copy->GetWidth();
        FHeight = copy->GetHeight();
        FGrey = false;
        FBitmap = std::move(copy);
        FBitmapFromData = false;
        Changed();
        return;
    }
    TGraphic::Assign(Source);
}

void TJPEGImage::AssignTo(TPersistent* Dest) {
    if (auto* b = dynamic_cast<TBitmap*>(Dest)) {
        DIBNeeded();
        b->Assign(FBitmap.get());
        return;
    }
    TGraphic::AssignTo(Dest);
}

}  // namespace cl
