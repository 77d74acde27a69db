// The TIFF structure editor: real files made by ImageMagick and exiftool read with the
// tags tiffdump lists, written back to files that exiftool and ImageMagick read with the
// same values and pixels; hand-made structures with cycles, cuts and bad offsets; setting,
// copying and deleting tags; old-style JPEG pages.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_tiff.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

using Entry = std::tuple<int, int, int64_t>;  // tag, type, count

// The entries of every directory of the main chain as tiffdump lists them.
std::vector<std::vector<Entry>> TiffDump(const std::string& File) {
    std::string out;
    RunTool("tiffdump " + Quote(File), out);
    std::vector<std::vector<Entry>> dirs;
    std::istringstream in(out);
    std::string line;
    // "Name (tag) TYPE (type) count<values>", or "tag (0xhex) TYPE (type) count<values>".
    while (std::getline(in, line)) {
        if (line.rfind("Directory ", 0) == 0) {
            dirs.emplace_back();
            continue;
        }
        const size_t lt = line.find('<');
        if (dirs.empty() || lt == std::string::npos) continue;
        std::istringstream words(line.substr(0, lt));
        std::vector<std::string> w;
        for (std::string x; words >> x;) w.push_back(x);
        if (w.size() != 5) continue;
        auto inner = [](const std::string& t) { return t.size() > 2 ? t.substr(1, t.size() - 2) : std::string("0"); };
        const bool bare = std::isdigit(static_cast<unsigned char>(w[0][0])) != 0;
        dirs.back().emplace_back(std::stoi(bare ? w[0] : inner(w[1])), std::stoi(inner(w[3])), std::stoll(w[4]));
    }
    return dirs;
}

std::vector<Entry> Entries(const TIETIFFTagList& L) {
    std::vector<Entry> out;
    for (const auto& e : L) out.emplace_back(e->Tag, e->Type, static_cast<int64_t>(e->Count));
    return out;
}

// exiftool's view of every tag of every directory (sub-IFDs included), without the lines
// that name the file or hold positions.
std::string ExifToolTags(const std::string& File) {
    std::string out;
    RunTool(
        "exiftool -a -G1 -s -n -x FileName -x Directory -x FileSize -x FileModifyDate -x FileAccessDate "
        "-x FileInodeChangeDate -x FilePermissions -x StripOffsets " +
            Quote(File),
        out);
    return out;
}

std::string Pixels(const std::string& File, int Page) {
    std::string out;
    RunTool("convert " + Quote(File + "[" + std::to_string(Page) + "]") + " -depth 8 rgb:- 2>/dev/null", out);
    return out;
}

class TIFFHandlerFiles : public ImagingTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TIFFHandlerFiles, ReadsTheTagsTiffdumpLists) {
    const std::string file = MetadataFixture(GetParam());
    auto h = TIETIFFHandler::CreateFromFile(file);
    const auto dump = TiffDump(file);
    ASSERT_EQ(dump.size(), 2u);
    ASSERT_EQ(h->GetPagesCount(), 2);
    EXPECT_EQ(h->GetBigEndian(), std::string(GetParam()) == "pages_be.tif");
    EXPECT_EQ(h->GetVersion(), 42);
    for (int32_t p = 0; p < 2; ++p) {
        auto expected = dump[p];
        // The strip offsets are held as LONG blocks whatever type the file gave them.
        for (auto& [tag, type, count] : expected)
            if (tag == 273) type = IETIFF_LONG;
        EXPECT_EQ(Entries(*h->GetPage(p)), expected) << "page " << p;
    }
    // Strip blocks hold the file's bytes at the listed offsets.
    const Bytes raw = ReadBytes(file);
    const TIETIFFTagList& page0 = *h->GetPage(0);
    const TIETIFFEntry& strips = *page0[TIETIFFHandler::FindTagInList(page0, 273)];
    ASSERT_TRUE(strips.HasBlocks);
    ASSERT_EQ(strips.Blocks.size(), 3u);
    std::string exif;
    const std::string offsets = ExifTool("-IFD0:StripOffsets", file);
    std::istringstream os(offsets);
    for (const auto& b : strips.Blocks) {
        size_t at = 0;
        os >> at;
        ASSERT_EQ(b.size(), 192u);
        EXPECT_EQ(std::memcmp(b.data(), raw.data() + at, b.size()), 0);
    }
    // The sub-IFDs, the Interoperability one inside the EXIF one.
    const TIETIFFEntry& exifEntry = *page0[TIETIFFHandler::FindTagInList(page0, 34665)];
    ASSERT_NE(exifEntry.SubIFD, nullptr);
    const TIETIFFTagList& ex = *exifEntry.SubIFD;
    EXPECT_EQ(std::to_string(h->GetTagValueByID(ex, 34855, 0)), ExifTool("-ExifIFD:ISO", file));
    const int32_t dto = TIETIFFHandler::FindTagInList(ex, 36867);
    ASSERT_GE(dto, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ex[dto]->Data.data())), ExifTool("-DateTimeOriginal", file));
    const int32_t interop = TIETIFFHandler::FindTagInList(ex, 40965);
    ASSERT_GE(interop, 0);
    ASSERT_NE(ex[interop]->SubIFD, nullptr);
    const TIETIFFTagList& io = *ex[interop]->SubIFD;
    const int32_t index = TIETIFFHandler::FindTagInList(io, 1);
    ASSERT_GE(index, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(io[index]->Inline)), ExifTool("-n -InteropIndex", file));
    const TIETIFFTagList& gps = *page0[TIETIFFHandler::FindTagInList(page0, 34853)]->SubIFD;
    EXPECT_EQ(h->GetTagValueByID(gps, 1, 0), 'N');
}

TEST_P(TIFFHandlerFiles, WrittenBackReadsTheSameInExiftoolAndImageMagick) {
    const std::string file = MetadataFixture(GetParam());
    auto h = TIETIFFHandler::CreateFromFile(file);
    ASSERT_EQ(h->GetPagesCount(), 2);
    const std::string out = folder_ + "/out.tif";
    ASSERT_TRUE(h->WriteFile(out, -1));
    EXPECT_EQ(ExifToolTags(out), ExifToolTags(file));
    for (int page = 0; page < 2; ++page) {
        const std::string expected = Pixels(file, page);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Pixels(out, page), expected) << "page " << page;
    }
    // Entries ascending by tag in every directory written.
    for (const auto& dir : TiffDump(out))
        for (size_t i = 1; i < dir.size(); ++i) EXPECT_LT(std::get<0>(dir[i - 1]), std::get<0>(dir[i]));
    // One page alone.
    const std::string second = folder_ + "/second.tif";
    ASSERT_TRUE(h->WriteFile(second, 1));
    const auto dump = TiffDump(second);
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(Pixels(second, 0), Pixels(file, 1));
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, TIFFHandlerFiles, ::testing::Values("pages_le.tif", "pages_be.tif"));

// ---------------------------------------------------------------------------------------
// Hand-made structures

// A little-endian TIFF: the header, then IFDs at the offsets given, each a list of
// 12-byte entries and a link.
struct TinyTIFF {
    ByteWriter w{false};
    TinyTIFF() { w.Text("II").U16(42).U32(8); }
    // An IFD at the current end; returns its offset.
    size_t IFD(const std::vector<std::array<uint32_t, 4>>& E, uint32_t Link) {
        const size_t at = w.Size();
        w.U16(static_cast<uint32_t>(E.size()));
        for (const auto& e : E) w.U16(e[0]).U16(e[1]).U32(e[2]).U32(e[3]);
        w.U32(Link);
        return at;
    }
    void Link(size_t IFDAt, uint32_t To) {
        const size_t n = IEGetU16LE(w.B.data() + IFDAt);
        w.PatchU32(IFDAt + 2 + n * 12, To);
    }
    void Value(size_t IFDAt, size_t Entry, uint32_t V) { w.PatchU32(IFDAt + 2 + Entry * 12 + 8, V); }
};

std::unique_ptr<TIETIFFHandler> Read(const Bytes& B) {
    cl::TStringStream s(std::string(B.begin(), B.end()));
    auto h = std::make_unique<TIETIFFHandler>();
    h->ReadStream(&s);
    return h;
}

TEST(TIFFHandler, ChainsAndSubIFDsThatComeBackEnd) {
    // Page 1 links to itself.
    TinyTIFF self;
    const size_t a = self.IFD({{256, 3, 1, 5}}, 0);
    self.Link(a, static_cast<uint32_t>(a));
    EXPECT_EQ(Read(self.w.B)->GetPagesCount(), 1);

    // Two pages linking to each other.
    TinyTIFF two;
    const size_t p0 = two.IFD({{256, 3, 1, 5}}, 0);
    const size_t p1 = two.IFD({{256, 3, 1, 6}}, static_cast<uint32_t>(p0));
    two.Link(p0, static_cast<uint32_t>(p1));
    auto h = Read(two.w.B);
    ASSERT_EQ(h->GetPagesCount(), 2);
    EXPECT_EQ(h->GetTagValueByID(*h->GetPage(1), 256, 0), 6);

    // An EXIF sub-IFD pointing at its own page, and one pointing at itself.
    TinyTIFF sub;
    const size_t q0 = sub.IFD({{256, 3, 1, 5}, {34665, 4, 1, 8}}, 0);
    const size_t s1 = sub.IFD({{33434, 3, 1, 1}, {34665, 4, 1, 0}}, 0);
    sub.Value(s1, 1, static_cast<uint32_t>(s1));
    const size_t q1 = sub.IFD({{256, 3, 1, 7}, {34853, 4, 1, static_cast<uint32_t>(s1)}}, 0);
    sub.Link(q0, static_cast<uint32_t>(q1));
    h = Read(sub.w.B);
    ASSERT_EQ(h->GetPagesCount(), 2);
    // The page's own start is not read again as its EXIF directory.
    EXPECT_LT(h->FindTag(0, 34665), 0);
    const TIETIFFTagList& page1 = *h->GetPage(1);
    const int32_t g = TIETIFFHandler::FindTagInList(page1, 34853);
    ASSERT_GE(g, 0);
    ASSERT_NE(page1[g]->SubIFD, nullptr);
    // Inside it, the self-pointing EXIF entry is dropped.
    EXPECT_EQ(Entries(*page1[g]->SubIFD), (std::vector<Entry>{{33434, 3, 1}}));
}

TEST(TIFFHandler, SubIFDsNestOnlyToTheDepthLimit) {
    // A chain of EXIF directories, each inside the one before.
    TinyTIFF t;
    const int n = TIETIFFHandler::MaxDepth + 4;
    std::vector<size_t> at;
    at.push_back(t.IFD({{256, 3, 1, 1}, {34665, 4, 1, 0}}, 0));
    for (int i = 0; i < n; ++i) at.push_back(t.IFD({{34665, 4, 1, 0}}, 0));
    for (size_t i = 0; i + 1 < at.size(); ++i) t.Value(at[i], at[i] == at[0] ? 1 : 0, static_cast<uint32_t>(at[i + 1]));
    auto h = Read(t.w.B);
    ASSERT_EQ(h->GetPagesCount(), 1);
    int depth = 0;
    const TIETIFFTagList* l = h->GetPage(0);
    while (true) {
        const int32_t i = TIETIFFHandler::FindTagInList(*l, 34665);
        if (i < 0 || !(*l)[i]->SubIFD) break;
        l = (*l)[i]->SubIFD.get();
        ++depth;
    }
    EXPECT_EQ(depth, TIETIFFHandler::MaxDepth);
}

TEST(TIFFHandler, ValuesAndBlocksOutsideTheStreamAreDropped) {
    TinyTIFF t;
    const size_t at = t.IFD({{256, 3, 1, 16},
                             {270, 2, 100, 0x7FFFFFF0},  // text beyond the end
                             {271, 2, 0xFFFFFFFF, 40},   // count whose length needs 64 bits
                             {273, 4, 2, 0},             // offsets array, patched below
                             {279, 3, 1, 10},            // one length for two strips
                             {324, 4, 1, 8},             // tile without its length tag
                             {513, 4, 1, 8},             // stream whose length runs past the end
                             {514, 4, 1, 0xFFFFFFF0}},
                            0);
    const size_t offsets = t.w.Size();
    t.w.U32(8).U32(8);
    t.Value(at, 3, static_cast<uint32_t>(offsets));
    auto h = Read(t.w.B);
    ASSERT_EQ(h->GetPagesCount(), 1);
    EXPECT_EQ(Entries(*h->GetPage(0)), (std::vector<Entry>{{256, 3, 1}, {279, 3, 1}, {514, 4, 1}}));
}

TEST(TIFFHandler, EveryCutOfARealFileReadsCleanly) {
    const Bytes whole = ReadBytes(MetadataFixture("pages_be.tif"));
    ASSERT_GT(whole.size(), 1000u);
    for (size_t cut = 0; cut < whole.size(); cut += cut < 720 ? 1 : 37) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        auto h = Read(part);
        ASSERT_LE(h->GetPagesCount(), 2) << cut;
        EXPECT_EQ(h->GetPagesCount() > 0, cut > 8) << cut;
        // What was read writes out again.
        cl::TMemoryStream m;
        EXPECT_TRUE(h->WriteStream(&m, -1)) << cut;
    }
}

TEST(TIFFHandler, NotATIFFIsRefused) {
    for (const std::string& s :
         {std::string("GIF89a  "), std::string("II"), std::string("II+\0\x08\0\0\0", 8), std::string()}) {
        cl::TStringStream st(s);
        TIETIFFHandler h;
        EXPECT_FALSE(h.ReadStream(&st)) << s.size();
        EXPECT_EQ(h.GetPagesCount(), 0);
    }
    TIETIFFHandler h;
    EXPECT_FALSE(h.ReadFile("/nonexistent/lumetra.tif"));
}

TEST(TIFFHandler, SetTagValueStoresEachTypeInTheFilesOrder) {
    for (bool big : {false, true}) {
        TinyTIFF t;
        t.IFD({{256, 3, 1, 1}}, 0);
        Bytes b = t.w.B;
        if (big) {
            // The same structure big-endian.
            ByteWriter w(true);
            w.Text("MM").U16(42).U32(8).U16(1).U16(256).U16(3).U32(1).U16(1).U16(0).U32(0);
            b = w.B;
        }
        auto h = Read(b);
        ASSERT_EQ(h->GetBigEndian(), big);
        TIETIFFTagList& page = *h->GetPage(0);
        ASSERT_TRUE(h->SetTagValue(page, 282, int64_t{72}, IETIFF_RATIONAL));
        const TIETIFFEntry& r = *page[TIETIFFHandler::FindTagInList(page, 282)];
        ASSERT_EQ(r.Data.size(), 8u);
        EXPECT_EQ(IEGetU32(r.Data.data(), big), 720000u);
        EXPECT_EQ(IEGetU32(r.Data.data() + 4, big), 10000u);
        ASSERT_TRUE(h->SetTagValue(page, 274, int64_t{6}, IETIFF_SHORT));
        EXPECT_EQ(h->GetTagValueByID(page, 274, 0), 6);
        ASSERT_TRUE(h->SetTagValue(page, 305, cl::String("Lumetra"), IETIFF_ASCII));
        const TIETIFFEntry& s = *page[TIETIFFHandler::FindTagInList(page, 305)];
        EXPECT_EQ(s.Count, 8u);
        EXPECT_STREQ(reinterpret_cast<const char*>(s.Data.data()), "Lumetra");
        ASSERT_TRUE(h->SetTagValue(page, 305, cl::String("LT"), IETIFF_ASCII));
        EXPECT_EQ(page.size(), 4u);  // replaced, not added
        ASSERT_TRUE(h->SetTagValue(page, 50000, int64_t{-2}, IETIFF_SBYTE));
        EXPECT_EQ(h->GetTagValueByID(page, 50000, 0), -2);
        ASSERT_TRUE(h->SetTagValue(page, 50001, int64_t{0x12345678}, IETIFF_LONG));
        EXPECT_EQ(h->GetTagValueByID(page, 50001, 0), 0x12345678);
        ASSERT_TRUE(h->SetTagValue(page, 50002, 1.5, IETIFF_DOUBLE));
        const TIETIFFEntry& d = *page[TIETIFFHandler::FindTagInList(page, 50002)];
        ASSERT_EQ(d.Data.size(), 8u);
        EXPECT_EQ(d.ValueLength(), 8);
        EXPECT_FALSE(h->SetTagValue(page, 50003, int64_t{1}, IETIFF_UNDEFINED));
        EXPECT_LT(TIETIFFHandler::FindTagInList(page, 50003), 0);
        // Written and read again: the values stay.
        cl::TMemoryStream m;
        ASSERT_TRUE(h->WriteStream(&m, -1));
        auto again =
            Read(Bytes(static_cast<uint8_t*>(m.GetMemory()), static_cast<uint8_t*>(m.GetMemory()) + m.GetSize()));
        TIETIFFTagList& p2 = *again->GetPage(0);
        EXPECT_EQ(again->GetTagValueByID(p2, 274, 0), 6);
        const TIETIFFEntry& r2 = *p2[TIETIFFHandler::FindTagInList(p2, 282)];
        EXPECT_EQ(r2.Data, r.Data);
        const TIETIFFEntry& d2 = *p2[TIETIFFHandler::FindTagInList(p2, 50002)];
        EXPECT_EQ(d2.Data, d.Data);
    }
}

TEST(TIFFHandler, CopyTagIsDeepAndNeedsTheSameByteOrder) {
    auto le = TIETIFFHandler::CreateFromFile(MetadataFixture("pages_le.tif"));
    auto be = TIETIFFHandler::CreateFromFile(MetadataFixture("pages_be.tif"));
    TinyTIFF t;
    t.IFD({{256, 3, 1, 1}}, 0);
    auto dst = Read(t.w.B);
    const size_t before = dst->GetPage(0)->size();
    dst->CopyTag(0, be->FindTag(0, 34665), 0, be.get());
    EXPECT_EQ(dst->GetPage(0)->size(), before);
    dst->CopyTag(0, -1, 0, le.get());
    dst->CopyTag(5, 0, 0, le.get());
    dst->CopyTag(0, 0, 3, le.get());
    EXPECT_EQ(dst->GetPage(0)->size(), before);
    for (uint16_t tag : {34665, 273, 279, 271}) dst->CopyTag(0, le->FindTag(0, tag), 0, le.get());
    dst->CopyTag(0, le->FindTag(0, 271), 0, le.get());  // again: replaces
    EXPECT_EQ(dst->GetPage(0)->size(), before + 4);
    // The source goes away; the copies stay whole.
    le.reset();
    cl::TMemoryStream m;
    ASSERT_TRUE(dst->WriteStream(&m, 0));
    auto back = Read(Bytes(static_cast<uint8_t*>(m.GetMemory()), static_cast<uint8_t*>(m.GetMemory()) + m.GetSize()));
    const TIETIFFTagList& p = *back->GetPage(0);
    const int32_t e = TIETIFFHandler::FindTagInList(p, 34665);
    ASSERT_GE(e, 0);
    ASSERT_NE(p[e]->SubIFD, nullptr);
    EXPECT_EQ(back->GetTagValueByID(*p[e]->SubIFD, 34855, 0), 200);
    const TIETIFFEntry& s = *p[TIETIFFHandler::FindTagInList(p, 273)];
    ASSERT_EQ(s.Blocks.size(), 3u);
    EXPECT_EQ(s.Blocks[2].size(), 192u);
    back->DeleteTag(0, TIETIFFHandler::FindTagInList(p, 34665));
    EXPECT_LT(back->FindTag(0, 34665), 0);
    back->DeletePage(0);
    EXPECT_EQ(back->GetPagesCount(), 0);
    EXPECT_EQ(back->FindTag(0, 256), -1);
}

TEST(TIFFHandler, OldStyleJPEGPagesKeepTheirStreamAndGetStripsAtTheScan) {
    TinyTIFF t;
    const size_t at = t.IFD({{256, 3, 1, 8},
                             {259, 3, 1, 6},
                             {273, 4, 1, 0},
                             {279, 4, 1, 0},
                             {513, 4, 1, 0},
                             {514, 4, 1, 0},
                             {519, 4, 1, 0},
                             {520, 4, 1, 0},
                             {521, 4, 1, 0}},
                            0);
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02, 0x11, 0x22, 0xFF, 0xD9};
    const size_t data = t.w.Size();
    t.w.Raw(jpeg);
    for (size_t e : {2, 4, 6, 7, 8}) t.Value(at, e, static_cast<uint32_t>(data));
    t.Value(at, 3, static_cast<uint32_t>(jpeg.size()));
    t.Value(at, 5, static_cast<uint32_t>(jpeg.size()));
    auto h = Read(t.w.B);
    ASSERT_EQ(h->GetPagesCount(), 1);
    EXPECT_EQ(Entries(*h->GetPage(0)),
              (std::vector<Entry>{{256, 3, 1}, {259, 3, 1}, {279, 4, 1}, {513, 4, 1}, {514, 4, 1}}));
    cl::TMemoryStream m;
    ASSERT_TRUE(h->WriteStream(&m, -1));
    const auto* out = static_cast<const uint8_t*>(m.GetMemory());
    const Bytes written(out, out + m.GetSize());
    // Read the written table directly: StripOffsets is there and points at FF DA.
    const uint32_t ifd = IEGetU32LE(out + 4);
    const uint16_t n = IEGetU16LE(out + ifd);
    uint32_t strips = 0, stream = 0;
    for (uint16_t i = 0; i < n; ++i) {
        const uint8_t* e = out + ifd + 2 + i * 12;
        if (IEGetU16LE(e) == 273) strips = IEGetU32LE(e + 8);
        if (IEGetU16LE(e) == 513) stream = IEGetU32LE(e + 8);
    }
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(strips, stream + 6);
    EXPECT_EQ(out[strips], 0xFF);
    EXPECT_EQ(out[strips + 1], 0xDA);
    // Not kept in the structure.
    EXPECT_LT(h->FindTag(0, 273), 0);
}

TEST(TIFFHandler, WordAlignWritesOnePadByteOnOddPositions) {
    cl::TMemoryStream m;
    EXPECT_EQ(IEWordAlignStream(&m), 0);
    m.WriteBuffer("x", 1);
    EXPECT_EQ(IEWordAlignStream(&m), 2);
    EXPECT_EQ(m.GetSize(), 2);
    EXPECT_EQ(IEWordAlignStream(&m), 2);
}

}  // namespace
}  // namespace ie::test
