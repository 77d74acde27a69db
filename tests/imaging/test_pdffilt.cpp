// The PDF writer: the objects of a document, files checked by qpdf and rendered by poppler
// (and ghostscript for CMYK) and compared pixel by pixel with the source, JPEG pages of every
// component count, the Info dictionary read back by pdfinfo, the fallbacks when a coder is
// missing, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>

#include "docwriters_testutil.h"
#include "imaging/formats/pdffilt.h"
#include "lumetra_image.h"

namespace ie::test {
namespace {

class PDFWrite : public CodecIOTest {
protected:
    // One page of Bitmap with the parameters Setup makes; the file's bytes as text.
    std::string Write(TIEBitmap* Bitmap, const std::function<void(TIOParamsVals&)>& Setup = {}, bool* Aborted = nullptr,
                      const std::function<void(const TIOParamsVals&)>& After = {}) {
        return WriteOnePage(&IEWritePDFStream, Bitmap, Setup, Aborted, After);
    }
    // Saves Text, has qpdf check it and poppler render its first page.
    RefImage CheckAndRender(const std::string& Text, const std::string& Name) {
        const std::string path = Temp(Name + ".pdf");
        WriteBytes(path, std::vector<uint8_t>(Text.begin(), Text.end()));
        const std::string out = RunChecked("qpdf --check '" + path + "'");
        EXPECT_NE(out.find("No syntax or stream encoding errors found"), std::string::npos) << out;
        return RenderWithPoppler(path, Temp(Name));
    }
};

// A picture of WxH on a page of its size.
std::function<void(TIOParamsVals&)> Paper(int32_t W, int32_t H, int Compression) {
    return [=](TIOParamsVals& p) {
        p.PDFPaperWidth = W;
        p.PDFPaperHeight = H;
        p.PDFCompression = static_cast<uint8_t>(Compression);
    };
}

TEST_F(PDFWrite, ObjectsOfAOnePageDocument) {
    auto src = MakeColourPicture(100, 40);
    // Group 4 applies to 1-bit pictures only: the colour data is stored as it is.
    const std::string t = Write(src.get(), [](TIOParamsVals& p) { p.PDFCompression = 2; });
    EXPECT_EQ(t.rfind("%PDF-1.4\n%\xC8\xD2\xF0\xFE\n1 0 obj\n<< /Type /Catalog\n", 0), 0u);
    EXPECT_NE(t.find("2 0 obj\n<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm1 3 0 R\n>>\n>>\nendobj\n"),
              std::string::npos);
    EXPECT_NE(t.find("3 0 obj\n<< /Length 12000\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Type /XObject\n"
                     "/Subtype /Image\n/Width 100\n/Height 40\n>>\nstream\n"),
              std::string::npos);
    EXPECT_EQ(t.find("/Filter"), std::string::npos);
    EXPECT_NE(t.find("stream\nq\n595 0 0 238 0 604 cm\n/lm1 Do\nQ\nendstream"), std::string::npos);
    EXPECT_NE(t.find("/MediaBox [0 0 595 842 ]"), std::string::npos);
    const size_t date = t.find("<< /CreationDate (D:");
    ASSERT_NE(date, std::string::npos);
    const std::string digits = t.substr(date + 20, 14);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
    EXPECT_EQ(t.substr(date + 34, 4), ")\n>>");
    EXPECT_EQ(t.find("/Title"), std::string::npos);  // empty strings are left out
    EXPECT_EQ(t.find("/Author"), std::string::npos);
    EXPECT_EQ(t.substr(t.size() - 6), "%%EOF\n");
    // The picture at the top left of the page, scaled to 595 x 238.
    const RefImage page = CheckAndRender(t, "one");
    ASSERT_EQ(page.Width, 595);
    ASSERT_EQ(page.Height, 842);
    const TRGB want = src->GetPixelRGB(50, 0);  // rows 0 and 1 are of one colour
    EXPECT_EQ(page.At(300, 3)[0], want.r);
    EXPECT_EQ(page.At(300, 3)[2], want.b);
    EXPECT_EQ(page.At(300, 400)[0], 255);  // the paper below it
}

TEST_F(PDFWrite, PagesRenderAsTheSource) {
    NoFaxCoders none;
    struct Case {
        const char* Name;
        std::function<std::unique_ptr<TIEBitmap>()> Make;
        int Compression;
        const char* Entries;  // of the image's dictionary
    } cases[] = {
        {"colour-none", [] { return MakeColourPicture(64, 30); }, 0, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        {"colour-rle", [] { return MakeColourPicture(37, 23); }, 1, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        {"colour-g3", [] { return MakeColourPicture(20, 9); }, 3, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        // No LZW coder given: stored as it is; unknown values likewise.
        {"colour-lzw", [] { return MakeColourPicture(21, 8); }, 5, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        {"colour-unknown", [] { return MakeColourPicture(5, 5); }, 9, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        {"bilevel-none", [] { return MakeBilevelPicture(37, 23); }, 0,
         "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n"},
        {"bilevel-rle", [] { return MakeBilevelPicture(64, 16); }, 1,
         "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n/BitsPerComponent 1\n"},
        // No fax coder bound: run-length instead.
        {"bilevel-g4", [] { return MakeBilevelPicture(9, 40); }, 2,
         "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n"},
        {"bilevel-g3", [] { return MakeBilevelPicture(17, 5); }, 3,
         "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n"},
        {"bilevel-jpeg", [] { return MakeBilevelPicture(30, 6); }, 4,
         "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n"},
        {"bilevel-lzw", [] { return MakeBilevelPicture(30, 6); }, 5, "/Length 24\n/ColorSpace /DeviceGray\n"},
        {"grey", [] { return MakeGreyPicture(30, 12); }, 0, "/Length 1080\n/ColorSpace /DeviceRGB\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto src = c.Make();
        const TIEPixelFormat format = src->GetPixelFormat();
        const std::string t = Write(src.get(), [&](TIOParamsVals& p) {
            Paper(src->GetWidth(), src->GetHeight(), c.Compression)(p);
            p.TIFFLZWCompress = nullptr;
        });
        EXPECT_NE(t.find(c.Entries), std::string::npos);
        EXPECT_EQ(t.find("CCITTFaxDecode"), std::string::npos);
        EXPECT_EQ(t.find("LZWDecode"), std::string::npos);
        EXPECT_EQ(src->GetPixelFormat(), format);
        ExpectSameRGB(*src, CheckAndRender(t, c.Name));
    }
}

TEST_F(PDFWrite, GhostscriptReadsOurFiles) {
    auto src = MakeColourPicture(26, 14);
    const std::string t = Write(src.get(), Paper(26, 14, 0));
    WriteBytes(Temp("g.pdf"), std::vector<uint8_t>(t.begin(), t.end()));
    ExpectSameRGB(*src, ParseRef(RenderWithGhostscript(Temp("g.pdf"), 26, 14, "ppmraw", Temp("g.ppm"))));
}

TEST_F(PDFWrite, TwoPagesShareOneResourceDictionary) {
    auto first = MakeColourPicture(20, 10);
    auto second = MakeBilevelPicture(20, 10);
    TIOParamsVals params(nullptr);
    Paper(20, 10, 1)(params);
    Progress p;
    std::unique_ptr<TIEPDFDocument> doc = IEPDFBeginDocument();
    IEPDFAddImagePage(doc.get(), first.get(), params, p.Rec);
    IEPDFAddImagePage(doc.get(), second.get(), params, p.Rec);
    EXPECT_EQ(doc->Images.size(), 2u);
    EXPECT_EQ(doc->Contents.size(), 2u);
    cl::TMemoryStream s;
    IEPDFEndDocument(std::move(doc), &s, params);
    IEPDFEndDocument(nullptr, &s, params);  // nothing
    ASSERT_FALSE(p.Aborting);
    const auto b = StreamBytes(s);
    const std::string t(b.begin(), b.end());
    EXPECT_NE(t.find("/XObject << /lm1 3 0 R\n/lm2 6 0 R\n>>"), std::string::npos);
    EXPECT_NE(t.find("/lm2 Do"), std::string::npos);
    EXPECT_NE(t.find("/Count 2"), std::string::npos);
    WriteBytes(Temp("two.pdf"), b);
    RunChecked("qpdf --check '" + Temp("two.pdf") + "'");
    ExpectSameRGB(*first, RenderWithPoppler(Temp("two.pdf"), Temp("two1"), 1));
    ExpectSameRGB(*second, RenderWithPoppler(Temp("two.pdf"), Temp("two2"), 2));
}

TEST_F(PDFWrite, InfoDictionaryReadByPdfinfo) {
    auto src = MakeBilevelPicture(8, 8);
    const std::string t = Write(src.get(), [](TIOParamsVals& p) {
        p.PDFTitle = "Sea (view) \\ 1";
        p.PDFAuthor = "\xC3\x89mile Zo\xC3\xA9";  // Émile Zoé
        p.PDFKeywords = "waves";
        p.PDFProducer = "lumetra";
    });
    EXPECT_NE(t.find("<< /Title (Sea \\(view\\) \\\\ 1)\n/Author (\xFE\xFF"), std::string::npos);
    EXPECT_EQ(t.find("/Subject"), std::string::npos);
    WriteBytes(Temp("info.pdf"), std::vector<uint8_t>(t.begin(), t.end()));
    const std::string info = RunChecked("pdfinfo -enc UTF-8 '" + Temp("info.pdf") + "'");
    // The value of a "Key:" line, without the spaces in front.
    auto field = [&](const std::string& Key) {
        const size_t at = info.find("\n" + Key + ":");
        if (at == std::string::npos && info.rfind(Key + ":", 0) != 0) return std::string("(none)");
        const size_t start = info.find_first_not_of(' ', (at == std::string::npos ? 0 : at + 1) + Key.size() + 1);
        return info.substr(start, info.find('\n', start) - start);
    };
    EXPECT_EQ(field("Title"), "Sea (view) \\ 1");
    EXPECT_EQ(field("Author"), "\xC3\x89mile Zo\xC3\xA9");
    EXPECT_EQ(field("Keywords"), "waves");
    EXPECT_EQ(field("Producer"), "lumetra");
    EXPECT_EQ(field("Subject"), "(none)");
    EXPECT_EQ(field("Pages"), "1");
    EXPECT_EQ(field("PDF version"), "1.4");
}

TEST_F(PDFWrite, JPEGPagesDeclareTheColourSpaceWritten) {
    StandInJPEGWriter jpeg;
    struct Case {
        const char* Name;
        int ColorSpace;
        bool Plain;
        const char* Entries;
    } cases[] = {
        {"rgb", 2, false, "/Filter /DCTDecode\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        {"grey", 1, false, "/Filter /DCTDecode\n/ColorSpace /DeviceGray\n/BitsPerComponent 8\n"},
        {"cmyk", 3, false,
         "/Filter /DCTDecode\n/ColorSpace /DeviceCMYK\n/Decode [1 0 1 0 1 0 1 0 ]\n/BitsPerComponent 8\n"},
        {"cmyk-plain", 3, true, "/Filter /DCTDecode\n/ColorSpace /DeviceCMYK\n/BitsPerComponent 8\n"},
        {"ycck", 4, false, "/Filter /DCTDecode\n/ColorSpace /DeviceCMYK\n/Decode [1 0 1 0 1 0 1 0 ]\n"},
    };
    auto src = MakeSmoothPicture(33, 18);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        PlainCMYK() = c.Plain;
        const std::string t = Write(src.get(), [&](TIOParamsVals& p) {
            Paper(33, 18, 4)(p);
            p.JPEGColorSpace = static_cast<uint8_t>(c.ColorSpace);
        });
        EXPECT_NE(t.find(c.Entries), std::string::npos) << t.substr(0, 600);
        ASSERT_FALSE(WrittenJPEGs().empty());
        const std::vector<uint8_t>& written = WrittenJPEGs().back();
        // The JPEG file is the stream's data as it is.
        EXPECT_NE(t.find("stream\n" + std::string(written.begin(), written.end()) + "\nendstream"), std::string::npos);
        const Decoded ref = DecodeWithLibjpeg(written);
        if (ref.Components == 4) {
            WriteBytes(Temp("j.pdf"), std::vector<uint8_t>(t.begin(), t.end()));
            RunChecked("qpdf --check '" + Temp("j.pdf") + "'");
            ExpectInksOfJPEG(ParsePAM(RenderWithGhostscript(Temp("j.pdf"), 33, 18, "pamcmyk32", Temp("j.pam"))), ref,
                             c.Plain);
        } else {
            ExpectColoursOfJPEG(CheckAndRender(t, c.Name), ref);
        }
    }
    // Without a JPEG writer the colour data is stored as it is.
    NoJPEGWriter none;
    auto small = MakeColourPicture(12, 7);
    const std::string t = Write(small.get(), Paper(12, 7, 4));
    EXPECT_EQ(t.find("DCTDecode"), std::string::npos);
    ExpectSameRGB(*small, CheckAndRender(t, "nojpeg"));
}

// Coders bound to the writer that only record what they are given.
std::vector<std::vector<uint8_t>> gCoderRows;
int gCoderEnds = 0;
void RecordingFaxRow(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t, bool& Error, void*&, int32_t&,
                     uint8_t&) {
    const uint8_t b = Row ? 0xA5 : 0x5A;
    if (Row)
        gCoderRows.emplace_back(Row, Row + (Width + 7) / 8);
    else
        ++gCoderEnds;
    if (Stream->Write(&b, 1) != 1) Error = true;
}
void RecordingLZW(const uint8_t* Data, int32_t Count, cl::TStream* Stream, void*& State) {
    static int token;
    if (Data) {
        gCoderRows.emplace_back(Data, Data + Count);
        State = &token;
        Stream->Write(Data, 1);
    } else {
        ++gCoderEnds;
        State = nullptr;
    }
}

TEST_F(PDFWrite, BoundCodersCodeThePage) {
    FaxCodersKept kept;
    IEFaxEncoders.G3Row = IEFaxEncoders.G4Row = &RecordingFaxRow;
    auto bilevel = MakeBilevelPicture(37, 23);
    for (int compression : {2, 3, 4}) {
        SCOPED_TRACE(compression);
        gCoderRows.clear();
        gCoderEnds = 0;
        int after = -1;
        const std::string t = Write(bilevel.get(), Paper(37, 23, compression), nullptr,
                                    [&](const TIOParamsVals& p) { after = p.PDFCompression; });
        EXPECT_EQ(after, compression == 4 ? 3 : compression);  // JPEG becomes group 3
        EXPECT_NE(t.find("<< /Length 24\n/Filter /CCITTFaxDecode\n/DecodeParms << /K " +
                         std::string(compression == 2 ? "-1" : "1") +
                         "\n/BlackIs1 true\n/Columns 37\n/Rows 23\n/EndOfLine false\n/Uncompressed true\n"
                         "/EncodedByteAlign false\n/EndOfBlock false\n>>\n/ColorSpace /DeviceGray\n"),
                  std::string::npos)
            << t.substr(0, 700);  // 23 rows and the end padded to 24 bytes
        ASSERT_EQ(gCoderRows.size(), 23u);
        EXPECT_EQ(gCoderEnds, 1);
        EXPECT_EQ(gCoderRows[5], std::vector<uint8_t>(static_cast<const uint8_t*>(bilevel->GetScanline(5)),
                                                      static_cast<const uint8_t*>(bilevel->GetScanline(5)) + 5));
        WriteBytes(Temp("fax.pdf"), std::vector<uint8_t>(t.begin(), t.end()));
        RunChecked("qpdf --check '" + Temp("fax.pdf") + "'");
    }
    IEFaxEncoders = kept.Saved;
    // LZW rows of colour pages in red, green, blue order, then the closing call.
    auto colour = MakeColourPicture(6, 4);
    gCoderRows.clear();
    gCoderEnds = 0;
    const std::string t = Write(colour.get(), [](TIOParamsVals& p) {
        p.PDFCompression = 5;
        p.TIFFLZWCompress = &RecordingLZW;
    });
    EXPECT_NE(t.find("<< /Length 4\n/Filter /LZWDecode\n/ColorSpace /DeviceRGB\n"), std::string::npos);
    ASSERT_EQ(gCoderRows.size(), 4u);
    EXPECT_EQ(gCoderEnds, 1);
    const TRGB p = colour->GetPixelRGB(1, 3);
    EXPECT_EQ(std::vector<uint8_t>(gCoderRows[3].begin() + 3, gCoderRows[3].begin() + 6),
              (std::vector<uint8_t>{p.r, p.g, p.b}));
}

// A refused document writes nothing.
TEST_F(PDFWrite, FailuresSetTheAbortFlag) {
    ExpectWriterFailuresAbort(
        &IEWritePDFStream, [](TIOParamsVals& p, int32_t v) { p.PDFPaperWidth = v; },
        [](TIOParamsVals& p, int32_t v) { p.PDFPaperHeight = v; }, [](TIOParamsVals& p) { p.PDFCompression = 4; },
        true);
}

TEST_F(PDFWrite, ThroughTheEngine) {
    TVovozIdIO io(nullptr);
    auto src = MakeColourPicture(30, 20);
    io.GetIEBitmap()->Assign(src.get());
    Paper(30, 20, 2)(io.Params());
    io.SaveToFile(cl::String(Temp("e.pdf")));
    EXPECT_FALSE(io.Aborting);
    RunChecked("qpdf --check '" + Temp("e.pdf") + "'");
    ExpectSameRGB(*src, RenderWithPoppler(Temp("e.pdf"), Temp("e")));
}

TEST_F(PDFWrite, TheCommandLineToolWritesPDFAndPostScript) {
    for (const char* file : {"pbm.pbm", "ppm255.ppm"}) {
        SCOPED_TRACE(file);
        std::ostringstream out, err;
        ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("pnm", file), Temp("c.pdf")}, out, err), 0) << err.str();
        RunChecked("qpdf --check '" + Temp("c.pdf") + "'");
        ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("pnm", file), Temp("c.ps")}, out, err), 0) << err.str();
        RunChecked("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=nullpage '" + Temp("c.ps") + "'");
        // The same page from both.
        const RefImage pdf = RenderWithPoppler(Temp("c.pdf"), Temp("c"));
        const RefImage ps = ParseRef(RenderWithGhostscript(Temp("c.ps"), 595, 842, "ppmraw", Temp("c.ppm")));
        ASSERT_EQ(pdf.Width, ps.Width);
        ASSERT_EQ(pdf.Height, ps.Height);
        const RefImage ref =
            LoadRef(FixturePath("pnm", std::string(file).substr(0, std::string(file).find('.')) + ".ref.ppm"));
        // The centre of the picture's top left pixel, as scaled to the paper.
        const int32_t cell = 595 / ref.Width;
        EXPECT_EQ(pdf.At(cell / 2, cell / 2)[1], ref.At(0, 0)[1]);
        EXPECT_EQ(ps.At(cell / 2, cell / 2)[1], ref.At(0, 0)[1]);
    }
}

}  // namespace
// The program's own coders: fax and LZW pages come back from poppler and ghostscript pixel
// for pixel, the LZW data from qpdf byte for byte; JPEG pages closely.
TEST_F(PDFWrite, PagesOfTheProgramsCodersRenderAsTheSource) {
    auto wide = MakeWideBilevelPicture();
    auto odd = MakeBilevelPicture(37, 23);
    auto colour = MakeColourPicture(211, 97);  // enough codes to fill the LZW table
    auto grey = MakeGreyPicture(30, 12);
    struct Case {
        const char* Name;
        TIEBitmap* Bitmap;
        int Compression;
        const char* Entries;  // of the image's dictionary
    } cases[] = {
        {"g4", wide.get(), 2, "/Filter /CCITTFaxDecode\n/DecodeParms << /K -1\n"},
        {"g3", wide.get(), 3, "/Filter /CCITTFaxDecode\n/DecodeParms << /K 1\n"},
        {"g4-odd", odd.get(), 2, "/Filter /CCITTFaxDecode\n/DecodeParms << /K -1\n"},
        {"g3-odd", odd.get(), 3, "/Filter /CCITTFaxDecode\n/DecodeParms << /K 1\n"},
        {"jpeg-bilevel", odd.get(), 4, "/Filter /CCITTFaxDecode\n/DecodeParms << /K 1\n"},
        {"lzw-bilevel", wide.get(), 5, "/Filter /LZWDecode\n/ColorSpace /DeviceGray\n/BitsPerComponent 1\n"},
        {"lzw-colour", colour.get(), 5, "/Filter /LZWDecode\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"},
        {"lzw-grey", grey.get(), 5, "/Filter /LZWDecode\n/ColorSpace /DeviceRGB\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const int32_t w = c.Bitmap->GetWidth(), h = c.Bitmap->GetHeight();
        const std::string t = Write(c.Bitmap, Paper(w, h, c.Compression));
        EXPECT_NE(t.find(c.Entries), std::string::npos) << t.substr(0, 600);
        ExpectSameRGB(*c.Bitmap, CheckAndRender(t, c.Name));
        ExpectSameRGB(*c.Bitmap, ParseRef(RenderWithGhostscript(Temp(std::string(c.Name) + ".pdf"), w, h, "ppmraw",
                                                                Temp(std::string(c.Name) + ".ppm"))));
        if (c.Compression != 5) continue;
        // The rows qpdf decodes: the packed bits, or red, green, blue bytes.
        std::string want;
        for (int32_t y = 0; y < h; ++y) {
            if (c.Bitmap->GetPixelFormat() == ie1g) {
                const auto* row = static_cast<const char*>(c.Bitmap->GetScanline(y));
                want.append(row, static_cast<size_t>((w + 7) / 8));
                continue;
            }
            for (int32_t x = 0; x < w; ++x) {
                const TRGB p = c.Bitmap->GetPixelRGB(x, y);
                want += {static_cast<char>(p.r), static_cast<char>(p.g), static_cast<char>(p.b)};
            }
        }
        int st = -1;
        const std::string rows =
            RunCommand("qpdf --show-object=3 --filtered-stream-data '" + Temp(std::string(c.Name) + ".pdf") + "'", &st);
        EXPECT_EQ(st, 0);
        EXPECT_TRUE(rows == want) << rows.size() << " bytes, " << want.size() << " wanted";
    }
    auto smooth = MakeSmoothPicture(48, 32);
    const std::string t = Write(smooth.get(), Paper(48, 32, 4));
    EXPECT_NE(t.find("/Filter /DCTDecode\n"), std::string::npos);
    ExpectSameRGB(*smooth, CheckAndRender(t, "jpeg-real"), 24);
    ExpectSameRGB(*smooth,
                  ParseRef(RenderWithGhostscript(Temp("jpeg-real.pdf"), 48, 32, "ppmraw", Temp("jpeg-real.ppm"))), 24);
}

// A page the user stops halfway: the fax coder's reference row is freed (the leak checker
// of the sanitised build would report it), and the next page codes in full.
TEST_F(PDFWrite, AStoppedFaxPageFreesItsReferenceRow) {
    auto src = MakeBilevelPicture(64, 40);
    for (bool group4 : {false, true}) {
        SCOPED_TRACE(group4);
        Progress stopped;
        stopped.Rec.Per = 100.0 / 40;
        stopped.Rec.Data = &stopped;
        stopped.Rec.Fnc = [](void* Data, cl::TObject*, int32_t Percent) {
            if (Percent >= 50) static_cast<Progress*>(Data)->Aborting = true;
        };
        std::vector<uint8_t> out;
        EXPECT_FALSE(IEFaxEncodeBitmap(src.get(), group4, out, stopped.Rec));
        EXPECT_TRUE(stopped.Aborting);
        Progress whole;
        EXPECT_TRUE(IEFaxEncodeBitmap(src.get(), group4, out, whole.Rec));
        EXPECT_FALSE(whole.Aborting);
        EXPECT_FALSE(out.empty());
        EXPECT_EQ(out.size() % 4, 0u);
    }
}

}  // namespace ie::test
