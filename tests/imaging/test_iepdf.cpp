// The PDF object model and the file skeleton: how each kind of object is written, the
// page tree, the cross-reference table, and a whole minimal document checked by qpdf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>
#include <string>

#include "imaging/core/iepdf.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

std::string Written(TIEPDFObject& O) {
    cl::TStringStream s;
    O.WriteTo(&s);
    return s.GetDataString();
}

TEST(PDFObjects, ScalarsAreWrittenAsPDFReadsThem) {
    const struct {
        std::string written, expected;
        // clang-format off
    } cases[] = {
        {Written(*std::make_unique<TIEPDFNameObject>("A B")), "/A#20B"},
        {Written(*std::make_unique<TIEPDFNameObject>("a#b/c(d)<e>[f]{g}%h")), "/a#23b#2Fc#28d#29#3Ce#3E#5Bf#5D#7Bg#7D#25h"},
        {Written(*std::make_unique<TIEPDFNameObject>("\xD0\x96")), "/#D0#96"},
        {Written(*std::make_unique<TIEPDFStringObject>("a(b)")), "(a\\(b\\))"},
        {Written(*std::make_unique<TIEPDFStringObject>("\\\b\t\n\f\r")), "(\\\\\\b\\t\\n\\f\\r)"},
        {Written(*std::make_unique<TIEPDFRefObject>(12, 3)), "12 3 R"},
        {Written(*std::make_unique<TIEPDFBooleanObject>(true)), "true"},
        {Written(*std::make_unique<TIEPDFBooleanObject>(false)), "false"},
        {Written(*std::make_unique<TIEPDFNumericObject>(2)), "2"},
        {Written(*std::make_unique<TIEPDFNumericObject>(-612.5)), "-612.5"},
        {Written(*std::make_unique<TIEPDFNumericObject>(0.1)), "0.1"},
        {Written(*std::make_unique<TIEPDFNumericObject>(1e-7)), "0.0000001"},
        {Written(*std::make_unique<TIEPDFNumericObject>(1e17)), "100000000000000000"},
        {Written(*std::make_unique<TIEPDFNumericObject>(1e18)), "1000000000000000000.0"},
        {Written(*std::make_unique<TIEPDFNumericObject>(std::numeric_limits<double>::max())).substr(0, 16), "1797693134862310"},
        {Written(*std::make_unique<TIEPDFNumericObject>(1e20)), "100000000000000000000.0"},
        {Written(*std::make_unique<TIEPDFNumericObject>(-1.5e19)), "-15000000000000000000.0"},
        {Written(*std::make_unique<TIEPDFNumericObject>(1e30)), "1000000000000000000000000000000.0"},
        {Written(*std::make_unique<TIEPDFNumericObject>(-0.0)), "0"},
        {Written(*std::make_unique<TIEPDFNumericObject>(std::numeric_limits<double>::quiet_NaN())), "0"},
        {Written(*std::make_unique<TIEPDFNumericObject>(1e-30)), "0"},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(c.written, c.expected);
}

TEST(PDFObjects, ContainersAndStreams) {
    TIEPDFDictionaryObject d;
    d.AddEntry("Type", new TIEPDFNameObject("Page"));
    d.AddEntry("Count", new TIEPDFNumericObject(2));
    EXPECT_EQ(Written(d), "<< /Type /Page\n/Count 2\n>>");
    d.SetEntry("Count", new TIEPDFNumericObject(3));
    EXPECT_EQ(Written(d), "<< /Type /Page\n/Count 3\n>>");
    EXPECT_EQ(d.IndexOf("Missing"), -1);
    EXPECT_EQ(d.GetEntry("Missing"), nullptr);

    TIEPDFArrayObject a;
    a.AddItem(new TIEPDFNumericObject(0));
    a.AddItem(new TIEPDFNumericObject(612));
    EXPECT_EQ(Written(a), "[0 612 ]");

    auto s = TIEPDFStreamObject::CreateCopy("ABCDE", 5);
    s->Dictionary->SetEntry("Length", new TIEPDFNumericObject(99));
    s->Dictionary->AddEntry("Filter", new TIEPDFNameObject("DCTDecode"));
    cl::TStringStream out("xx");
    out.SetPosition(2);
    s->WriteTo(&out);
    EXPECT_EQ(out.GetDataString(), "xx<< /Length 5\n/Filter /DCTDecode\n>>\nstream\nABCDE\nendstream");
    EXPECT_EQ(s->Offset, 2);
}

// An object that counts its own destruction.
struct Counted : TIEPDFNumericObject {
    explicit Counted(int* N) : TIEPDFNumericObject(1), n(N) {}
    ~Counted() override { ++*n; }
    int* n;
};

TEST(PDFObjects, ContainersFreeWhatTheyOwn) {
    int freed = 0;
    Counted shared(&freed);
    shared.OwnedElsewhere = true;
    {
        TIEPDFArrayObject a;
        a.AddItem(new Counted(&freed));
        a.AddItem(&shared);
        auto* inner = new TIEPDFDictionaryObject;
        inner->AddEntry("X", new Counted(&freed));
        inner->AddEntry("Y", &shared);
        a.AddItem(inner);
    }
    EXPECT_EQ(freed, 2);
    TIEPDFDictionaryObject d;
    d.AddEntry("K", new Counted(&freed));
    d.SetEntry("K", &shared);  // the old value is freed, the shared one is not
    EXPECT_EQ(freed, 3);
}

TEST(PDFObjects, CrossReferenceTableAndTrailer) {
    TIEPDFObjectList objects;
    IEPDFAddCatalog(objects);
    IEPDFAddObject(objects, new TIEPDFNumericObject(1));
    auto* info = new TIEPDFDictionaryObject;
    IEPDFAddObject(objects, info);
    EXPECT_EQ(info->ObjectNumber, 3);
    cl::TStringStream s;
    IEPDFWriteHeader(&s);
    EXPECT_EQ(s.GetDataString(), std::string("%PDF-1.4\n%\xC8\xD2\xF0\xFE\n"));
    IEPDFWriteObjects(&s, objects);
    const int64_t x = s.GetPosition();
    IEPDFWriteXRefAndTrailer(&s, objects, info);
    const std::string text = s.GetDataString();
    const std::string tail = text.substr(static_cast<size_t>(x));
    EXPECT_EQ(tail.rfind("xref\n0 4\n0000000000 65535 f \n", 0), 0u) << tail;
    const size_t entries = std::string("xref\n0 4\n").size();
    for (int i = 0; i < 4; ++i) {
        const std::string e = tail.substr(entries + static_cast<size_t>(i) * 20, 20);
        EXPECT_EQ(e.size(), 20u);
        EXPECT_EQ(e.back(), '\n');
        if (i > 0) {
            const size_t at = std::stoul(e.substr(0, 10));
            EXPECT_EQ(text.substr(at, std::to_string(i).size() + 6), std::to_string(i) + " 0 obj") << i;
            EXPECT_EQ(objects[i - 1]->Offset, static_cast<int64_t>(at));
        }
    }
    EXPECT_NE(
        tail.find("trailer\n<< /Size 4\n/Root 1 0 R\n/Info 3 0 R\n>>\nstartxref\n" + std::to_string(x) + "\n%%EOF\n"),
        std::string::npos);
    EXPECT_EQ(IEPadLeft("42", 5, '0'), "00042");
    EXPECT_EQ(IEPadLeft("123456", 5, '0'), "123456");
}

class PDFFiles : public ImagingTest {};

TEST_F(PDFFiles, MinimalDocumentPassesQpdf) {
    TIEPDFObjectList objects;
    TIEPDFPageList pages;
    IEPDFAddCatalog(objects);
    auto* info = new TIEPDFDictionaryObject;
    info->AddEntry("Title", new TIEPDFStringObject("Skeleton (test) \\ one"));
    info->AddEntry("Producer", new TIEPDFStringObject("Lumetra"));
    IEPDFAddObject(objects, info);
    auto* font = new TIEPDFDictionaryObject;
    font->AddEntry("Type", new TIEPDFNameObject("Font"));
    font->AddEntry("Subtype", new TIEPDFNameObject("Type1"));
    font->AddEntry("BaseFont", new TIEPDFNameObject("Helvetica"));
    IEPDFAddObject(objects, font);
    auto* resources = new TIEPDFDictionaryObject;
    auto* fonts = new TIEPDFDictionaryObject;
    fonts->AddEntry("F 1", new TIEPDFRefObject(font->ObjectNumber, 0));
    resources->AddEntry("Font", fonts);
    IEPDFAddObject(objects, resources);
    for (int p = 0; p < 2; ++p) {
        const std::string content = "BT /F#201 24 Tf 72 700 Td (Page " + std::to_string(p + 1) + ") Tj ET";
        auto stream = TIEPDFStreamObject::CreateCopy(content.data(), static_cast<int32_t>(content.size()));
        auto* contents = stream.release();
        IEPDFAddObject(objects, contents);
        auto* box = new TIEPDFArrayObject;
        for (double v : {0.0, 0.0, 612.0, 791.5}) box->AddItem(new TIEPDFNumericObject(v));
        IEPDFAddPage(objects, pages, resources, contents->ObjectNumber, box);
    }
    IEPDFAddPages(objects, pages);
    const std::string file = folder_ + "/skeleton.pdf";
    {
        cl::TFileStream f(file, cl::fmCreate);
        IEPDFWriteHeader(&f);
        IEPDFWriteObjects(&f, objects);
        IEPDFWriteXRefAndTrailer(&f, objects, info);
    }
    std::string out;
    EXPECT_EQ(RunTool("qpdf --check " + Quote(file) + " 2>&1", out), 0) << out;
    EXPECT_NE(out.find("No syntax or stream encoding errors"), std::string::npos) << out;
    EXPECT_EQ(RunTool("qpdf --show-npages " + Quote(file), out), 0);
    EXPECT_EQ(out, "2\n");
    // The catalog got the page tree, each page its parent.
    auto* catalog = dynamic_cast<TIEPDFDictionaryObject*>(objects[0].get());
    ASSERT_NE(catalog, nullptr);
    EXPECT_NE(catalog->GetEntry("Pages"), nullptr);
    for (auto* page : pages) EXPECT_NE(page->GetEntry("Parent"), nullptr);
}

// Numbers of every size in a document: qpdf finds no error, and reads each number back as
// the value written (to 15 significant digits).
TEST_F(PDFFiles, NumbersOfEverySizeReadBackThroughQpdf) {
    const double values[] = {0,     -0.0,  1,     -1,    0.5,    -0.25, 1.0 / 3, 612,   1e15,  -1e15,
                             1e18,  9.2e18, 9.223372036854775e18, 1e19, -1e19, 1.5e19, 1e30,  -1e30,
                             1e100, std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                             1e-5,  -1e-5, 1e-20, std::numeric_limits<double>::denorm_min()};
    TIEPDFObjectList objects;
    TIEPDFPageList pages;
    TIEPDFDictionaryObject* catalog = IEPDFAddCatalog(objects);
    auto* holder = new TIEPDFDictionaryObject;
    auto* list = new TIEPDFArrayObject;
    for (double v : values) list->AddItem(new TIEPDFNumericObject(v));
    holder->AddEntry("Values", list);
    IEPDFAddObject(objects, holder);
    catalog->AddEntry("Numbers", new TIEPDFRefObject(holder->ObjectNumber, 0));
    auto stream = TIEPDFStreamObject::CreateCopy("", 0);
    auto* contents = stream.release();
    IEPDFAddObject(objects, contents);
    auto* box = new TIEPDFArrayObject;
    for (double v : {0.0, 0.0, 612.0, 792.0}) box->AddItem(new TIEPDFNumericObject(v));
    IEPDFAddPage(objects, pages, nullptr, contents->ObjectNumber, box);
    IEPDFAddPages(objects, pages);
    const std::string file = folder_ + "/numbers.pdf";
    {
        cl::TFileStream f(file, cl::fmCreate);
        IEPDFWriteHeader(&f);
        IEPDFWriteObjects(&f, objects);
        IEPDFWriteXRefAndTrailer(&f, objects, nullptr);
    }
    std::string out;
    EXPECT_EQ(RunTool("qpdf --check " + Quote(file) + " 2>&1", out), 0) << out;
    EXPECT_NE(out.find("No syntax or stream encoding errors"), std::string::npos) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    // qpdf prints the dictionary back: "<< /Values [ n n ... ] >>".
    ASSERT_EQ(RunTool("qpdf --show-object=" + std::to_string(holder->ObjectNumber) + " " + Quote(file) + " 2>&1", out),
              0)
        << out;
    const size_t open = out.find('['), close = out.find(']');
    ASSERT_NE(open, std::string::npos) << out;
    ASSERT_NE(close, std::string::npos) << out;
    std::istringstream items(out.substr(open + 1, close - open - 1));
    std::vector<std::string> read;
    for (std::string item; items >> item;) read.push_back(item);
    ASSERT_EQ(read.size(), std::size(values)) << out;
    for (size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(read[i]);
        // 15 significant digits, at most 20 after the point.
        const double want = values[i];
        const double got = std::strtod(read[i].c_str(), nullptr);
        EXPECT_TRUE(std::isfinite(got));
        EXPECT_NEAR(got, want, std::max(std::fabs(want) * 1e-14, 1e-20));
    }
}

}  // namespace
}  // namespace ie::test
