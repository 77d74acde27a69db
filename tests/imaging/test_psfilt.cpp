// The PostScript writer: the document's lines, pages rendered by ghostscript and compared
// pixel by pixel with the source (and after ps2pdf, by poppler), JPEG pages of every
// component count, the fallbacks when a coder is missing, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "docwriters_testutil.h"
#include "imaging/formats/psfilt.h"

namespace ie::test {
namespace {

class PSWrite : public CodecIOTest {
protected:
    // One page of Bitmap with the parameters Setup makes; the document text.
    std::string Write(TIEBitmap* Bitmap, const std::function<void(TIOParamsVals&)>& Setup = {},
                      bool* Aborted = nullptr) {
        return WriteOnePage(&IEWritePSStream, Bitmap, Setup, Aborted);
    }
    // Saves Text and renders its first page on a WxH page.
    RefImage Render(const std::string& Text, int32_t W, int32_t H, const std::string& Name) {
        WriteBytes(Temp(Name + ".ps"), std::vector<uint8_t>(Text.begin(), Text.end()));
        return ParseRef(RenderWithGhostscript(Temp(Name + ".ps"), W, H, "ppmraw", Temp(Name + ".ppm")));
    }
};

size_t Count(const std::string& Text, const std::string& What) {
    size_t n = 0;
    for (size_t i = Text.find(What); i != std::string::npos; i = Text.find(What, i + 1)) ++n;
    return n;
}

// The number on the "%%BeginData:" line and the bytes between the line after it (the
// operator) and "%%EndData".
void ExpectBeginDataCount(const std::string& Text) {
    const size_t line = Text.find("%%BeginData:");
    ASSERT_NE(line, std::string::npos);
    const size_t end = Text.find(" ASCII Bytes\r\n", line);
    ASSERT_NE(end, std::string::npos);
    const std::string number = Text.substr(line + 12, end - line - 12);
    ASSERT_EQ(number.find_first_not_of(' '), 6u) << number;
    const size_t op = end + 14;
    const size_t start = Text.find("\r\n", op) + 2;
    const size_t dataEnd = Text.find("%%EndData\r\n", start);
    ASSERT_NE(dataEnd, std::string::npos);
    EXPECT_EQ(std::stoul(number), dataEnd - start);
}

// Lines follow one another in Text (each with CR LF); "%%BeginData:" stands for the line
// with any count.
bool HasLines(const std::string& Text, const std::vector<std::string>& Lines) {
    for (size_t at = Text.find(Lines[0] + "\r\n"); at != std::string::npos; at = Text.find(Lines[0] + "\r\n", at + 1)) {
        size_t p = at;
        bool all = true;
        for (const std::string& l : Lines) {
            const size_t eol = Text.find("\r\n", p);
            if (eol == std::string::npos) return false;
            const std::string got = Text.substr(p, eol - p);
            const bool ok = l == "%%BeginData:" ? got.rfind("%%BeginData:", 0) == 0 && got.size() > 12 + 12 &&
                                                      got.substr(got.size() - 12) == " ASCII Bytes"
                                                : got == l;
            if (!ok) {
                all = false;
                break;
            }
            p = eol + 2;
        }
        if (all) return true;
    }
    return false;
}

// "ddd mmm dd hh:nn:ss yyyy".
bool IsCreationDate(const std::string& S) {
    static const std::string shape = "Aaa Aaa 00 00:00:00 0000";
    if (S.size() != shape.size()) return false;
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i], k = shape[i];
        if (k == 'A' ? !isupper(c) : k == 'a' ? !islower(c) : k == '0' ? !isdigit(c) : c != k) return false;
    }
    return true;
}

TEST_F(PSWrite, LinesOfAColourPage) {
    auto src = MakeColourPicture(100, 40);
    const std::string t = Write(src.get(), [](TIOParamsVals& p) { p.PSTitle = "Sea\nview"; });
    EXPECT_EQ(t.rfind("%!PS-Adobe-3.0\r\n\r\n%%Title: Sea view\r\n%%CreationDate: ", 0), 0u);
    const size_t date = t.find("%%CreationDate: ") + 16;
    EXPECT_TRUE(IsCreationDate(t.substr(date, t.find("\r\n", date) - date))) << t.substr(date, 30);
    EXPECT_NE(t.find("\r\n%%DocumentData: Clean7Bit\r\n%%LanguageLevel: 2\r\n%%Pages: 1     \r\n"
                     "%%BoundingBox: 0 0 594 841\r\n%%EndComments\r\n%%Page: 1 1\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("\r\n0 842 translate\r\n595 -238 scale\r\n100 40 8\r\n[ 100 0 0 40 0 0 ]\r\n"
                     "/rstr 100 string def\r\n/gstr 100 string def\r\n/bstr 100 string def\r\n"
                     "{currentfile /ASCII85Decode filter /RunLengthDecode filter rstr readstring pop}\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("true 3\r\n%%BeginData:      "), std::string::npos);
    EXPECT_EQ(Count(t, "~>"), 3u * 40);  // three sections a row
    ExpectBeginDataCount(t);
    EXPECT_EQ(t.substr(t.size() - 41), "\r\n%%EndData\r\nshowpage\r\n%%Trailer\r\n%%EOF\r\n");
    EXPECT_EQ(Count(t, "\n"), Count(t, "\r\n"));  // every line ends with CR LF
    EXPECT_EQ(src->GetPixelFormat(), ie24RGB);
    // Ghostscript reads it, and draws it at the top left of the paper scaled to 595 x 238.
    WriteBytes(Temp("a.ps"), std::vector<uint8_t>(t.begin(), t.end()));
    RunChecked("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=nullpage '" + Temp("a.ps") + "'");
    const RefImage page = ParseRef(RenderWithGhostscript(Temp("a.ps"), 595, 842, "ppmraw", Temp("a.ppm")));
    ASSERT_EQ(page.Width, 595);
    for (int32_t y : {0, 100, 237}) {
        const TRGB want = src->GetPixelRGB(100 * 300 / 595, y * 40 / 238);
        const uint8_t* got = page.At(300, y);
        EXPECT_EQ(got[0], want.r) << y;
        EXPECT_EQ(got[2], want.b) << y;
    }
    EXPECT_EQ(page.At(300, 300)[0], 255);  // the paper below the picture
}

TEST_F(PSWrite, PagesRenderAsTheSource) {
    NoFaxCoders none;
    struct Case {
        const char* Name;
        std::function<std::unique_ptr<TIEBitmap>()> Make;
        int Compression;
        const char* Filter;  // the data source of the page
    } cases[] = {
        {"colour", [] { return MakeColourPicture(64, 30); }, 1, "RunLengthDecode filter rstr"},
        {"colour-odd", [] { return MakeColourPicture(37, 23); }, 0, "RunLengthDecode filter rstr"},
        {"colour-unknown", [] { return MakeColourPicture(20, 9); }, 7, "RunLengthDecode filter rstr"},
        {"bilevel", [] { return MakeBilevelPicture(37, 23); }, 0, "/ASCII85Decode filter /RunLengthDecode filter\r\n"},
        // No fax coder bound: run-length instead of group 4 and group 3.
        {"bilevel-g4", [] { return MakeBilevelPicture(64, 16); }, 1,
         "/ASCII85Decode filter /RunLengthDecode filter\r\n"},
        {"bilevel-g3", [] { return MakeBilevelPicture(9, 40); }, 2,
         "/ASCII85Decode filter /RunLengthDecode filter\r\n"},
        {"bilevel-jpeg", [] { return MakeBilevelPicture(17, 5); }, 3,
         "/ASCII85Decode filter /RunLengthDecode filter\r\n"},
        {"grey", [] { return MakeGreyPicture(30, 12); }, 1, "RunLengthDecode filter rstr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto src = c.Make();
        const TIEPixelFormat format = src->GetPixelFormat();
        const int32_t w = src->GetWidth(), h = src->GetHeight();
        const std::string t = Write(src.get(), [&](TIOParamsVals& p) {
            p.PSPaperWidth = w;
            p.PSPaperHeight = h;
            p.PSCompression = static_cast<uint8_t>(c.Compression);
        });
        EXPECT_NE(t.find(c.Filter), std::string::npos);
        EXPECT_EQ(t.find("CCITTFaxDecode"), std::string::npos);
        ExpectBeginDataCount(t);
        EXPECT_EQ(src->GetPixelFormat(), format);
        ExpectSameRGB(*src, Render(t, w, h, c.Name));
    }
}

TEST_F(PSWrite, Ps2pdfTurnsOurDocumentIntoAPDFOfTheSamePicture) {
    auto src = MakeColourPicture(45, 21);
    const std::string t = Write(src.get(), [](TIOParamsVals& p) {
        p.PSPaperWidth = 45;
        p.PSPaperHeight = 21;
    });
    WriteBytes(Temp("b.ps"), std::vector<uint8_t>(t.begin(), t.end()));
    RunChecked(
        "ps2pdf -dDEVICEWIDTHPOINTS=45 -dDEVICEHEIGHTPOINTS=21 -dFIXEDMEDIA -dAutoFilterColorImages=false "
        "-dColorImageFilter=/FlateEncode '" +
        Temp("b.ps") + "' '" + Temp("b.pdf") + "'");
    RunChecked("qpdf --check '" + Temp("b.pdf") + "'");
    ExpectSameRGB(*src, RenderWithPoppler(Temp("b.pdf"), Temp("b")));
}

TEST_F(PSWrite, TwoPagesAreCountedAndRendered) {
    auto first = MakeColourPicture(20, 10);
    auto second = MakeBilevelPicture(20, 10);
    TIOParamsVals params(nullptr);
    params.PSPaperWidth = 20;
    params.PSPaperHeight = 10;
    params.PSCompression = 0;
    cl::TMemoryStream s;
    Progress p;
    std::unique_ptr<TIEPSDocument> doc = IEPSBeginDocument(&s, params, p.Rec);
    IEPSAddPage(doc.get(), &s, first.get(), p.Rec, params);
    IEPSAddPage(doc.get(), &s, second.get(), p.Rec, params);
    IEPSEndDocument(std::move(doc), &s, p.Rec);
    IEPSEndDocument(nullptr, &s, p.Rec);  // nothing
    ASSERT_FALSE(p.Aborting);
    const auto b = StreamBytes(s);
    const std::string t(b.begin(), b.end());
    EXPECT_NE(t.find("\r\n%%Pages: 2     \r\n%%BoundingBox: 0 0 19 9\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\n%%Page: 2 2\r\n"), std::string::npos);
    EXPECT_EQ(t.substr(t.size() - 28), "showpage\r\n%%Trailer\r\n%%EOF\r\n");
    WriteBytes(Temp("two.ps"), b);
    RunChecked("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -g20x10 -dFIXEDMEDIA -sOutputFile='" +
               Temp("two-%d.ppm") + "' '" + Temp("two.ps") + "'");
    ExpectSameRGB(*first, LoadRef(Temp("two-1.ppm")));
    ExpectSameRGB(*second, LoadRef(Temp("two-2.ppm")));
    EXPECT_EQ(RunCommand("ls '" + folder_ + "' | grep -c '^two-'"), "2\n");
}

TEST_F(PSWrite, JPEGPagesDeclareTheComponentsWritten) {
    StandInJPEGWriter jpeg;
    struct Case {
        const char* Name;
        int ColorSpace;
        bool Plain;
        std::vector<std::string> Lines;  // consecutive lines of the page
        // clang-format off
    } cases[] = {
        {"rgb", 2, false,
         {"currentfile /ASCII85Decode filter << >> /DCTDecode filter", "false 3", "%%BeginData:", "colorimage"}},
        {"grey", 1, false, {"[ 33 0 0 18 0 0 ]", "currentfile /ASCII85Decode filter << >> /DCTDecode filter",
                             "%%BeginData:", "image"}},
        {"cmyk", 3, false, {"/DeviceCMYK setcolorspace", "<< /ImageType 1 /Width 33 /Height 18 /BitsPerComponent 8",
                             "/ImageMatrix [ 33 0 0 18 0 0 ] /Decode [ 1 0 1 0 1 0 1 0 ]"}},
        {"cmyk-plain", 3, true, {"/ImageMatrix [ 33 0 0 18 0 0 ] /Decode [ 0 1 0 1 0 1 0 1 ]"}},
        {"ycck", 4, false, {"/ImageMatrix [ 33 0 0 18 0 0 ] /Decode [ 1 0 1 0 1 0 1 0 ]"}},
    };
    // clang-format on
    auto src = MakeSmoothPicture(33, 18);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        PlainCMYK() = c.Plain;
        const std::string t = Write(src.get(), [&](TIOParamsVals& p) {
            p.PSPaperWidth = 33;
            p.PSPaperHeight = 18;
            p.PSCompression = 3;
            p.JPEGColorSpace = static_cast<uint8_t>(c.ColorSpace);
        });
        EXPECT_TRUE(HasLines(t, c.Lines)) << t.substr(0, 900);
        EXPECT_EQ(Count(t, "~>"), 1u);
        EXPECT_EQ(Count(t, "colorimage"), c.ColorSpace == 2 ? 1u : 0u);
        ExpectBeginDataCount(t);
        ASSERT_FALSE(WrittenJPEGs().empty());
        const Decoded ref = DecodeWithLibjpeg(WrittenJPEGs().back());
        WriteBytes(Temp("j.ps"), std::vector<uint8_t>(t.begin(), t.end()));
        if (ref.Components == 4)  // rendered on a CMYK device: the inks, whichever way the JPEG stores them
            ExpectInksOfJPEG(ParsePAM(RenderWithGhostscript(Temp("j.ps"), 33, 18, "pamcmyk32", Temp("j.pam"))), ref,
                             c.Plain);
        else
            ExpectColoursOfJPEG(ParseRef(RenderWithGhostscript(Temp("j.ps"), 33, 18, "ppmraw", Temp("j.ppm"))), ref);
    }
}

TEST_F(PSWrite, ColourPagesAskedForJPEGWithoutAJPEGWriterAreRunLengthCoded) {
    NoJPEGWriter none;
    auto src = MakeColourPicture(25, 11);
    const std::string t = Write(src.get(), [](TIOParamsVals& p) {
        p.PSPaperWidth = 25;
        p.PSPaperHeight = 11;
        p.PSCompression = 3;
    });
    EXPECT_EQ(t.find("DCTDecode"), std::string::npos);
    EXPECT_NE(t.find("true 3\r\n"), std::string::npos);
    ExpectSameRGB(*src, Render(t, 25, 11, "nojpeg"));
}

// A fax coder bound to the writers: one byte a row and one at the end (not real fax data,
// the pages are not rendered).
int gFaxRows = 0;
void FakeFaxRow(const uint8_t* Row, int32_t, cl::TStream* Stream, int32_t, bool& Error, void*& Reference, int32_t&,
                uint8_t&) {
    const uint8_t b = Row ? 0xA5 : 0x5A;
    if (Row) ++gFaxRows;
    if (Stream->Write(&b, 1) != 1) Error = true;
    Reference = Row ? &gFaxRows : nullptr;
}
void FailingFaxRow(const uint8_t*, int32_t, cl::TStream*, int32_t, bool& Error, void*&, int32_t&, uint8_t&) {
    Error = true;
}

struct BoundFaxCoder : FaxCodersKept {
    explicit BoundFaxCoder(TIEFaxRowEncoder Encoder) {
        IEFaxEncoders.G3Row = IEFaxEncoders.G4Row = Encoder;
        gFaxRows = 0;
    }
};

TEST_F(PSWrite, BilevelPagesGoThroughABoundFaxCoder) {
    BoundFaxCoder fax(&FakeFaxRow);
    auto src = MakeBilevelPicture(37, 23);
    for (int compression : {1, 2, 3}) {
        SCOPED_TRACE(compression);
        gFaxRows = 0;
        const std::string t =
            Write(src.get(), [&](TIOParamsVals& p) { p.PSCompression = static_cast<uint8_t>(compression); });
        EXPECT_EQ(gFaxRows, 23);
        EXPECT_NE(t.find("37 23 1\r\n[ 37 0 0 23 0 0 ]\r\ncurrentfile /ASCII85Decode filter << /K " +
                         std::string(compression == 1 ? "-1" : "1") +
                         " /BlackIs1 true /Columns 37 /Rows 23 /EndOfLine false /Uncompressed true "
                         "/EncodedByteAlign false /EndOfBlock false >> /CCITTFaxDecode filter\r\n%%BeginData:      34 "
                         "ASCII Bytes\r\nimage\r\n"),
                  std::string::npos)
            << t;  // 23 rows and the end: 24 bytes, six groups of five characters, "~>" and CR LF
    }
    BoundFaxCoder failing(&FailingFaxRow);
    bool aborted = false;
    Write(src.get(), {}, &aborted);
    EXPECT_TRUE(aborted);
}

TEST_F(PSWrite, FailuresSetTheAbortFlag) {
    ExpectWriterFailuresAbort(
        &IEWritePSStream, [](TIOParamsVals& p, int32_t v) { p.PSPaperWidth = v; },
        [](TIOParamsVals& p, int32_t v) { p.PSPaperHeight = v; }, [](TIOParamsVals& p) { p.PSCompression = 3; }, false);
}

TEST_F(PSWrite, ThroughTheEngineWithProgress) {
    TVovozIdIO io(nullptr);
    auto src = MakeColourPicture(30, 20);
    io.GetIEBitmap()->Assign(src.get());
    io.Params().PSPaperWidth = 30;
    io.Params().PSPaperHeight = 20;
    io.SaveToFile(cl::String(Temp("e.ps")));
    EXPECT_FALSE(io.Aborting);
    ExpectSameRGB(*src, ParseRef(RenderWithGhostscript(Temp("e.ps"), 30, 20, "ppmraw", Temp("e.ppm"))));
    // Rows reported in increasing percentages up to 100.
    TIOParamsVals params(nullptr);
    cl::TMemoryStream s;
    Progress p;
    p.Record();
    IEWritePSStream(&s, src.get(), params, p.Rec);
    ASSERT_FALSE(p.Reports.empty());
    EXPECT_EQ(p.Reports.back(), 100);
    EXPECT_TRUE(std::is_sorted(p.Reports.begin(), p.Reports.end()));
}

}  // namespace
// The program's own coders: fax pages come back from ghostscript pixel for pixel, JPEG
// pages closely.
TEST_F(PSWrite, PagesOfTheProgramsCodersRenderAsTheSource) {
    auto wide = MakeWideBilevelPicture();
    struct Case {
        const char* Name;
        TIEBitmap* Bitmap;
        int Compression;
        // clang-format off
    } cases[] = {
        {"g4", wide.get(), 1},
        {"g3", wide.get(), 2},
        {"g4-odd", nullptr, 1},
        {"g3-odd", nullptr, 2},
        {"jpeg-bilevel", nullptr, 3},  // group 3 instead
    };
    // clang-format on
    auto odd = MakeBilevelPicture(37, 23);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TIEBitmap* src = c.Bitmap ? c.Bitmap : odd.get();
        const int32_t w = src->GetWidth(), h = src->GetHeight();
        const std::string t = Write(src, [&](TIOParamsVals& p) {
            p.PSPaperWidth = w;
            p.PSPaperHeight = h;
            p.PSCompression = static_cast<uint8_t>(c.Compression);
        });
        EXPECT_NE(t.find(std::string("<< /K ") + (c.Compression == 1 ? "-1" : "1")), std::string::npos);
        EXPECT_NE(t.find("/CCITTFaxDecode filter"), std::string::npos);
        ExpectBeginDataCount(t);
        ExpectSameRGB(*src, Render(t, w, h, c.Name));
        // A grey device reads the same bits.
        const std::vector<uint8_t> grey = RenderWithGhostscript(Temp(std::string(c.Name) + ".ps"), w, h, "pgmraw",
                                                                Temp(std::string(c.Name) + ".pgm"));
        ExpectSameRGB(*src, ParseRef(grey));
    }
    auto smooth = MakeSmoothPicture(48, 32);
    const std::string t = Write(smooth.get(), [](TIOParamsVals& p) {
        p.PSPaperWidth = 48;
        p.PSPaperHeight = 32;
        p.PSCompression = 3;
    });
    EXPECT_NE(t.find("DCTDecode"), std::string::npos);
    ExpectBeginDataCount(t);
    ExpectSameRGB(*smooth, Render(t, 48, 32, "jpeg-real"), 24);
}

}  // namespace ie::test
