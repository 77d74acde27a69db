// Shared pieces of the PostScript and PDF writer tests: one page written through a writer's
// entry, a JPEG writer over libjpeg that stands in the engine's JPEG entry (grey, RGB, CMYK
// with and without the Adobe marker, YCCK) and one that fails, libjpeg's own decoding of what
// it wrote and the comparison of a rendered page with it, rendering by ghostscript and
// poppler, a reader of the CMYK PAM files ghostscript renders, the failure cases every
// writer shares, and the test pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/formats/iefmtcommon.h"

// After the project's headers: libjpeg defines TRUE and FALSE as macros.
#include <jpeglib.h>

namespace ie::test {

// The JPEG files the stand-in wrote, last one at the back.
inline std::vector<std::vector<uint8_t>>& WrittenJPEGs() {
    static std::vector<std::vector<uint8_t>> files;
    return files;
}
// True: CMYK (JPEGColorSpace 3) is stored as inks without an Adobe marker.
inline bool& PlainCMYK() {
    static bool plain = false;
    return plain;
}

// JPEGColorSpace 1 grey, 3 CMYK (inverted with an Adobe marker, or plain), 4 YCCK, other
// values YCbCr; every component sampled at full size; quality 95.
inline void StandInJPEGWrite(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                             TIEWriteContext&) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    const int space = Params.JPEGColorSpace;
    const bool grey = space == 1, cmyk = space == 3 || space == 4;
    c.input_components = grey ? 1 : cmyk ? 4 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (space == 4) jpeg_set_colorspace(&c, JCS_YCCK);
    const bool inverted = cmyk && !(space == 3 && PlainCMYK());
    if (cmyk) c.write_Adobe_marker = inverted ? TRUE : FALSE;
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const TRGB p = Bitmap->GetPixelRGB(x, y);
            uint8_t* o = row.data() + static_cast<size_t>(x) * c.input_components;
            if (grey) {
                o[0] = static_cast<uint8_t>((p.r * 299 + p.g * 587 + p.b * 114 + 500) / 1000);
            } else if (cmyk) {
                // Inks 255 - red, green, blue and no black; the inverted form stores 255 - ink.
                const uint8_t ink[4] = {uint8_t(255 - p.r), uint8_t(255 - p.g), uint8_t(255 - p.b), 0};
                for (int k = 0; k < 4; ++k) o[k] = inverted ? uint8_t(255 - ink[k]) : ink[k];
            } else {
                o[0] = p.r, o[1] = p.g, o[2] = p.b;
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    WrittenJPEGs().emplace_back(out, out + size);
    if (Stream->Write(out, static_cast<int64_t>(size)) != static_cast<int64_t>(size)) Progress.Abort();
    std::free(out);
}

// What libjpeg decodes from a JPEG file: Components samples a pixel as stored (grey, RGB,
// or CMYK as stored for four components, YCCK turned into CMYK).
struct Decoded {
    int32_t Width = 0, Height = 0, Components = 0;
    std::vector<uint8_t> Samples;
};
inline Decoded DecodeWithLibjpeg(const std::vector<uint8_t>& File) {
    Decoded d;
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, File.data(), static_cast<unsigned long>(File.size()));
    jpeg_read_header(&c, TRUE);
    if (c.jpeg_color_space == JCS_YCCK || c.jpeg_color_space == JCS_CMYK) c.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&c);
    d.Width = static_cast<int32_t>(c.output_width);
    d.Height = static_cast<int32_t>(c.output_height);
    d.Components = c.output_components;
    d.Samples.resize(static_cast<size_t>(d.Width) * d.Height * d.Components);
    while (c.output_scanline < c.output_height) {
        JSAMPROW r = d.Samples.data() + static_cast<size_t>(c.output_scanline) * d.Width * d.Components;
        jpeg_read_scanlines(&c, &r, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return d;
}

// The stand-in in the engine's JPEG entry while it lives; the entry's own writer back after.
struct StandInJPEGWriter {
    TIEFormatOps Saved;
    StandInJPEGWriter() {
        TIEFileFormatInfo* e = IEFindFormatInfo(ioJPEG);
        Saved = e->Ops;
        TIEFormatOps ops = Saved;
        ops.Write = &StandInJPEGWrite;
        IESetFormatOps(ioJPEG, ops);
        WrittenJPEGs().clear();
        PlainCMYK() = false;
    }
    ~StandInJPEGWriter() { IESetFormatOps(ioJPEG, Saved); }
};

// The engine without a JPEG writer while it lives.
struct NoJPEGWriter {
    TIEFormatOps Saved;
    NoJPEGWriter() {
        Saved = IEFindFormatInfo(ioJPEG)->Ops;
        TIEFormatOps ops = Saved;
        ops.Write = nullptr;
        IESetFormatOps(ioJPEG, ops);
    }
    ~NoJPEGWriter() { IESetFormatOps(ioJPEG, Saved); }
};

// A JPEG writer that fails (sets the abort flag) while it lives.
struct FailingJPEGWriter {
    TIEFormatOps Saved;
    FailingJPEGWriter() {
        Saved = IEFindFormatInfo(ioJPEG)->Ops;
        TIEFormatOps ops = Saved;
        ops.Write = [](cl::TStream*, TIEBitmap*, TIOParamsVals&, TProgressRec& Progress, TIEWriteContext&) {
            Progress.Abort();
        };
        IESetFormatOps(ioJPEG, ops);
    }
    ~FailingJPEGWriter() { IESetFormatOps(ioJPEG, Saved); }
};

// A CMYK picture as ghostscript's pamcmyk32 device writes it.
struct CMYKImage {
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> Samples;  // C, M, Y, K a pixel
    const uint8_t* At(int32_t X, int32_t Y) const { return Samples.data() + (static_cast<size_t>(Y) * Width + X) * 4; }
};
inline CMYKImage ParsePAM(const std::vector<uint8_t>& B) {
    CMYKImage r;
    const std::string text(B.begin(), B.end());
    const size_t end = text.find("ENDHDR\n");
    if (text.rfind("P7\n", 0) != 0 || end == std::string::npos) {
        ADD_FAILURE() << "not a PAM file";
        return r;
    }
    std::sscanf(text.c_str() + text.find("WIDTH"), "WIDTH %d", &r.Width);
    std::sscanf(text.c_str() + text.find("HEIGHT"), "HEIGHT %d", &r.Height);
    EXPECT_NE(text.find("DEPTH 4"), std::string::npos);
    r.Samples.assign(B.begin() + static_cast<std::ptrdiff_t>(end + 7), B.end());
    EXPECT_EQ(r.Samples.size(), static_cast<size_t>(r.Width) * r.Height * 4);
    return r;
}

// A CMYK page shows the inks of the JPEG file Ref was decoded from within 3: the samples as
// stored when Plain, else 255 - the stored sample (the inverted form of the Adobe marker).
inline void ExpectInksOfJPEG(const CMYKImage& Page, const Decoded& Ref, bool Plain) {
    ASSERT_EQ(Ref.Components, 4);
    ASSERT_EQ(Page.Width, Ref.Width);
    ASSERT_EQ(Page.Height, Ref.Height);
    int bad = 0;
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x)
            for (int k = 0; k < 4; ++k) {
                const int stored = Ref.Samples[(static_cast<size_t>(y) * Ref.Width + x) * 4 + k];
                const int ink = Plain ? stored : 255 - stored;
                if (std::abs(Page.At(x, y)[k] - ink) > 3 && bad++ < 5)
                    ADD_FAILURE() << x << "," << y << " ink " << k << ": " << int(Page.At(x, y)[k]) << " want " << ink;
            }
}

// An RGB page shows the colours of the grey or RGB JPEG file Ref was decoded from within 3.
inline void ExpectColoursOfJPEG(const RefImage& Page, const Decoded& Ref) {
    ASSERT_NE(Ref.Components, 4);
    ASSERT_EQ(Page.Width, Ref.Width);
    ASSERT_EQ(Page.Height, Ref.Height);
    int bad = 0;
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x)
            for (int k = 0; k < 3; ++k) {
                const int want = Ref.Samples[(static_cast<size_t>(y) * Ref.Width + x) * Ref.Components +
                                             (Ref.Components == 3 ? k : 0)];
                if (std::abs(Page.At(x, y)[k] - want) > 3 && bad++ < 5)
                    ADD_FAILURE() << x << "," << y << ": " << int(Page.At(x, y)[k]) << " want " << want;
            }
}

// Keeps the bound fax coders and puts them back when it goes out of scope.
struct FaxCodersKept {
    TIEFaxEncoders Saved = IEFaxEncoders;
    ~FaxCodersKept() { IEFaxEncoders = Saved; }
};
// No fax coder bound while it lives: the writers fall back on run-length.
struct NoFaxCoders : FaxCodersKept {
    NoFaxCoders() { IEFaxEncoders = TIEFaxEncoders(); }
};

// Renders the first page of a PostScript or PDF file with ghostscript on a WxH page at 72
// dots per inch (one pixel a point) with Device (ppmraw, pamcmyk32); the file it wrote, or
// empty when ghostscript failed.
inline std::vector<uint8_t> RenderWithGhostscript(const std::string& File, int32_t W, int32_t H, const char* Device,
                                                  const std::string& Out) {
    int st = -1;
    RunCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -dFirstPage=1 -dLastPage=1 -sDEVICE=" + std::string(Device) +
                   " -r72 -g" + std::to_string(W) + "x" + std::to_string(H) + " -dFIXEDMEDIA -sOutputFile='" + Out +
                   "' '" + File + "' 2>&1",
               &st);
    EXPECT_EQ(st, 0) << File;
    return st == 0 ? ReadBytes(Out) : std::vector<uint8_t>();
}

// Renders the first page of a PDF file with poppler's pdftoppm, one pixel a point.
// Poppler smooths pictures drawn at less than four times their size, so the page is
// rendered at 288 dots per inch and the centre of every 4 x 4 block taken.
inline RefImage RenderWithPoppler(const std::string& File, const std::string& OutPrefix, int32_t Page = 1) {
    int st = -1;
    const std::string page = std::to_string(Page);
    RunCommand("pdftoppm -r 288 -f " + page + " -l " + page + " -singlefile '" + File + "' '" + OutPrefix + "' 2>&1",
               &st);
    EXPECT_EQ(st, 0) << File;
    if (st != 0) return {};
    const RefImage big = LoadRef(OutPrefix + ".ppm");
    RefImage r;
    r.Width = big.Width / 4;
    r.Height = big.Height / 4;
    r.Channels = big.Channels;
    for (int32_t y = 0; y < r.Height; ++y)
        for (int32_t x = 0; x < r.Width; ++x) {
            const uint8_t* p = big.At(4 * x + 2, 4 * y + 2);
            r.Pixels.insert(r.Pixels.end(), p, p + r.Channels);
        }
    return r;
}

// The output of a command, its exit status 0 expected.
inline std::string RunChecked(const std::string& Command) {
    int st = -1;
    const std::string out = RunCommand(Command + " 2>&1", &st);
    EXPECT_EQ(st, 0) << Command << "\n" << out;
    return out;
}

// A colour picture with flat stretches (runs) and busy ones (literal bytes).
inline std::unique_ptr<TIEBitmap> MakeColourPicture(int32_t W, int32_t H) {
    return Make24(W, H, [](int x, int y) {
        if (y % 7 < 2) return TRGB{40, 200, 90};  // TRGB is blue, green, red
        return TRGB{uint8_t((x * 7 + y * 3) & 255), uint8_t((x * x + y * 5) & 255), uint8_t(((x ^ y) * 5) & 255)};
    });
}

// An 8-bit grey picture of ramps across and down.
inline std::unique_ptr<TIEBitmap> MakeGreyPicture(int32_t W, int32_t H) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie8g);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) b->SetPixel8(x, y, static_cast<uint8_t>(x * 8 + y));
    return b;
}

// A smooth colour picture that JPEG codes closely.
inline std::unique_ptr<TIEBitmap> MakeSmoothPicture(int32_t W, int32_t H) {
    return Make24(W, H, [W, H](int x, int y) {
        return TRGB{uint8_t(x * 255 / W), uint8_t(y * 255 / H), uint8_t(128 + (x - y) / 4)};
    });
}

// A 1-bit picture: a checkerboard of 3-pixel squares with a white band.
inline std::unique_ptr<TIEBitmap> MakeBilevelPicture(int32_t W, int32_t H) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie1g);
    for (int32_t y = 0; y < H; ++y) {
        auto* row = static_cast<uint8_t*>(b->GetScanline(y));
        for (int32_t x = 0; x < W; ++x) IESetBit(row, x, y < 2 || ((x / 3) + (y / 3)) % 2 == 0);
    }
    return b;
}

// A wide 1-bit picture of 300 x 9 for the fax coders: long runs, a black row, a white row.
inline std::unique_ptr<TIEBitmap> MakeWideBilevelPicture() {
    auto b = std::make_unique<TIEBitmap>(300, 9, ie1g);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 300; ++x)
            IESetBit(static_cast<uint8_t*>(b->GetScanline(y)), x, y == 8 || (y != 4 && (x < 70 || x % 97 > 40)));
    return b;
}

// The entry of a document writer (IEWritePSStream, IEWritePDFStream).
using DocumentWriter = void (*)(cl::TStream*, TIEBitmap*, TIOParamsVals&, TProgressRec&);

// One page of Bitmap written by Writer with the parameters Setup makes; the document's bytes
// as text. Aborted, when given, receives the abort flag, which is otherwise expected clear;
// After, when given, sees the parameters as the writer left them.
inline std::string WriteOnePage(DocumentWriter Writer, TIEBitmap* Bitmap,
                                const std::function<void(TIOParamsVals&)>& Setup = {}, bool* Aborted = nullptr,
                                const std::function<void(const TIOParamsVals&)>& After = {}) {
    TIOParamsVals params(nullptr);
    if (Setup) Setup(params);
    cl::TMemoryStream s;
    Progress p;
    Writer(&s, Bitmap, params, p.Rec);
    if (Aborted)
        *Aborted = p.Aborting;
    else
        EXPECT_FALSE(p.Aborting);
    if (After) After(params);
    const auto b = StreamBytes(s);
    return std::string(b.begin(), b.end());
}

// A stream that takes no byte.
class FullStream : public cl::TMemoryStream {
    int64_t Write(const void*, int64_t) override { return 0; }
};

// What every document writer refuses, each with the abort flag set: an empty picture, a
// paper width of 0 and a negative paper height (set through the writer's own fields), a
// stream that takes nothing, and a JPEG page (AskJPEG) whose JPEG writer fails.
// NothingWritten: a refused document leaves the stream empty too.
inline void ExpectWriterFailuresAbort(DocumentWriter Writer,
                                      const std::function<void(TIOParamsVals&, int32_t)>& SetPaperWidth,
                                      const std::function<void(TIOParamsVals&, int32_t)>& SetPaperHeight,
                                      const std::function<void(TIOParamsVals&)>& AskJPEG, bool NothingWritten) {
    auto src = MakeColourPicture(8, 8);
    TIEBitmap empty;
    struct Case {
        const char* Name;
        TIEBitmap* Bitmap;
        std::function<void(TIOParamsVals&)> Setup;
        bool Full;
    };
    const Case cases[] = {
        {"empty picture", &empty, {}, false},
        {"no paper width", src.get(), [&](TIOParamsVals& p) { SetPaperWidth(p, 0); }, false},
        {"negative paper height", src.get(), [&](TIOParamsVals& p) { SetPaperHeight(p, -5); }, false},
        {"stream takes nothing", src.get(), {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TIOParamsVals params(nullptr);
        if (c.Setup) c.Setup(params);
        FullStream full;
        cl::TMemoryStream mem;
        Progress p;
        Writer(c.Full ? static_cast<cl::TStream*>(&full) : &mem, c.Bitmap, params, p.Rec);
        EXPECT_TRUE(p.Aborting);
        if (NothingWritten) {
            EXPECT_EQ(mem.GetSize(), 0);
        }
    }
    SCOPED_TRACE("failing JPEG writer");
    FailingJPEGWriter failing;
    bool aborted = false;
    const std::string t = WriteOnePage(Writer, src.get(), AskJPEG, &aborted);
    EXPECT_TRUE(aborted);
    if (NothingWritten) {
        EXPECT_EQ(t, "");
    }
}

}  // namespace ie::test
