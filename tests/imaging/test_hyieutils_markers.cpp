// The JPEG marker list (order of markers for the writer, payload limits) and the IPTC
// record list (blocks bare and in a Photoshop resource, damaged blocks, and the records of
// a real JPEG made by exiftool, read here and written back for exiftool to read).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/hyieutils_xmp.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

Bytes ICCChunk(uint8_t Sequence, uint8_t Total) {
    Bytes b = Text(std::string("ICC_PROFILE") + '\0');
    b.push_back(Sequence);
    b.push_back(Total);
    b.push_back(0xAA);
    return b;
}

// The codes of the list, and the first payload byte behind a known prefix of each.
std::vector<uint8_t> Codes(const TIEMarkerList& M) {
    std::vector<uint8_t> out;
    for (int32_t i = 0; i < M.GetCount(); ++i) out.push_back(M.GetMarkerType(i));
    return out;
}

void Add(TIEMarkerList& M, uint8_t Code, const Bytes& Payload) {
    ASSERT_GE(M.AddMarker(Code, Payload.data(), static_cast<int32_t>(Payload.size())), 0);
}

TEST(MarkerList, SortPutsCodesInOrderAndExifFirstAmongApp1) {
    TIEMarkerList m;
    Add(m, IEJPEG_APP2, Text("FPXR"));
    Add(m, IEJPEG_APP1, Text(std::string(IEXMPNamespace, IEXMPNamespaceLength) + "<x/>"));
    Add(m, IEJPEG_COM, Text("comment"));
    Add(m, IEJPEG_APP1, Text(std::string("Exif\0\0MM", 8)));
    Add(m, IEJPEG_APP0, Text(std::string("JFIF\0", 5)));
    m.SortMarkers();
    ASSERT_EQ(Codes(m), (std::vector<uint8_t>{IEJPEG_APP0, IEJPEG_APP1, IEJPEG_APP1, IEJPEG_APP2, IEJPEG_COM}));
    EXPECT_EQ(std::memcmp(m.GetMarkerData(1), "Exif", 4), 0);
    EXPECT_EQ(std::memcmp(m.GetMarkerData(2), "http", 4), 0);
}

TEST(MarkerList, SplitProfilesComeOutInSequence) {
    TIEMarkerList m;
    for (uint8_t s : {3, 1, 2}) Add(m, IEJPEG_APP2, ICCChunk(s, 3));
    Add(m, IEJPEG_APP0, Text("JFIF"));
    m.SortMarkers();
    ASSERT_EQ(m.GetCount(), 4);
    EXPECT_EQ(m.GetMarkerType(0), IEJPEG_APP0);
    for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(m.GetMarkerData(i)[12], i);
}

TEST(MarkerList, PayloadsAreLimitedToWhatASegmentCarries) {
    TIEMarkerList m;
    const Bytes big(IEMaxMarkerPayload + 1, 7);
    EXPECT_EQ(m.AddMarker(IEJPEG_APP1, big.data(), IEMaxMarkerPayload + 1), -1);
    EXPECT_EQ(m.AddMarker(IEJPEG_APP1, big.data(), 70000), -1);
    EXPECT_EQ(m.AddMarker(IEJPEG_APP1, big.data(), -1), -1);
    EXPECT_EQ(m.GetCount(), 0);
    ASSERT_EQ(m.AddMarker(IEJPEG_APP1, big.data(), IEMaxMarkerPayload), 0);
    EXPECT_EQ(m.GetMarkerLength(0), IEMaxMarkerPayload);
    ASSERT_EQ(m.AddMarker(IEJPEG_COM, nullptr, 0), 1);
    EXPECT_EQ(m.GetMarkerData(1), nullptr);
    // A refused replacement leaves the marker as it was.
    EXPECT_FALSE(m.SetMarker(1, IEJPEG_APP2, IEMaxMarkerPayload + 1, big.data()));
    EXPECT_EQ(m.GetMarkerType(1), IEJPEG_COM);
    EXPECT_TRUE(m.SetMarker(1, IEJPEG_APP2, 3, "abc"));
    EXPECT_EQ(m.GetMarkerType(1), IEJPEG_APP2);
    EXPECT_EQ(m.IndexOf(IEJPEG_APP2), 1);
    EXPECT_EQ(m.IndexOf(IEJPEG_APP13), -1);
    EXPECT_THROW(m.GetMarkerData(2), cl::EListError);
    EXPECT_THROW(m.DeleteMarker(-1), cl::EListError);
    TIEMarkerList copy;
    copy.Assign(&m);
    m.DeleteMarker(0);
    EXPECT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(copy.GetMarkerLength(0), IEMaxMarkerPayload);
    copy.Clear();
    EXPECT_EQ(copy.GetCount(), 0);
}

// ---------------------------------------------------------------------------------------
// IPTC

struct Block {
    Bytes bytes;
    explicit Block(const TIEIPTCInfoList& L, bool Photoshop) {
        void* b = nullptr;
        int32_t n = -1;
        L.SaveToBuffer(b, n, Photoshop);
        if (b) bytes.assign(static_cast<uint8_t*>(b), static_cast<uint8_t*>(b) + n);
        std::free(b);
        EXPECT_EQ(static_cast<size_t>(n), bytes.size());
    }
};

TEST(IPTCList, BlockSizesWithAndWithoutPhotoshopHeader) {
    struct Case {
        int32_t dataBytes;
        bool photoshop;
        size_t size;
        uint32_t sizeField;
    };
    const Case cases[] = {{5, true, 36, 10}, {6, true, 38, 11}, {5, false, 18, 0}, {6, false, 18, 0}};
    for (const auto& c : cases) {
        TIEIPTCInfoList l;
        const Bytes data(c.dataBytes, 'q');
        l.AddBufferItem(2, 120, c.dataBytes, data.data());
        const Block b(l, c.photoshop);
        ASSERT_EQ(b.bytes.size(), c.size) << c.dataBytes << " " << c.photoshop;
        if (c.photoshop) {
            EXPECT_EQ(std::memcmp(b.bytes.data(), "Photoshop 3.0\0008BIM\004\004\0\0", 22), 0);
            EXPECT_EQ(IEGetU32BE(b.bytes.data() + 22), c.sizeField);
            EXPECT_EQ(b.bytes[26], 0x1C);
        } else {
            const uint8_t version[7] = {0x1C, 2, 0, 0, 2, 0, 2};
            EXPECT_EQ(std::memcmp(b.bytes.data(), version, 7), 0);
            EXPECT_EQ(b.bytes[7], 0x1C);
            EXPECT_EQ(b.bytes[9], 120);
        }
        TIEIPTCInfoList back;
        ASSERT_TRUE(back.LoadFromBuffer(b.bytes.data(), static_cast<int32_t>(b.bytes.size())));
        EXPECT_FALSE(back.Changed);
        // The record version of the bare block is read back as an item of its own.
        const int32_t i = back.GetCount() - 1;
        EXPECT_EQ(back.GetRecordNumber(i), 2);
        EXPECT_EQ(back.GetDataSet(i), 120);
        EXPECT_EQ(back.GetItemLength(i), c.dataBytes);
    }
}

TEST(IPTCList, LongItemsUseTheExtendedLengthAndReadBackWhole) {
    TIEIPTCInfoList l;
    Bytes data(40000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    l.AddBufferItem(2, 202, 40000, data.data());
    const Block b(l, false);
    const uint8_t header[9] = {0x1C, 2, 202, 0x80, 0x04, 0x00, 0x00, 0x9C, 0x40};
    ASSERT_GT(b.bytes.size(), 16u);
    EXPECT_EQ(std::memcmp(b.bytes.data() + 7, header, 9), 0);
    TIEIPTCInfoList back;
    ASSERT_TRUE(back.LoadFromBuffer(b.bytes.data(), static_cast<int32_t>(b.bytes.size())));
    ASSERT_EQ(back.GetCount(), 2);
    ASSERT_EQ(back.GetItemLength(1), 40000);
    EXPECT_EQ(std::memcmp(back.GetItemData(1), data.data(), 40000), 0);
}

TEST(IPTCList, RecordVersionAndEmptyItemsAreNotWritten) {
    TIEIPTCInfoList l;
    void* b = reinterpret_cast<void*>(1);
    int32_t n = -1;
    l.SaveToBuffer(b, n, true);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(n, 0);
    l.AddBufferItem(2, 0, 2, "\0\4");
    l.AddBufferItem(2, 25, 0, nullptr);
    l.AddBufferItem(2, 25, 3, "key");
    const Block block(l, true);
    // 26 header bytes and one dataset of 5 + 3 bytes.
    EXPECT_EQ(block.bytes.size(), 34u);
    EXPECT_EQ(IEGetU32BE(block.bytes.data() + 22), 8u);
    EXPECT_EQ(l.AddBufferItem(2, 25, -1, "x"), -1);
}

TEST(IPTCList, BlocksWithoutDatasetsLoadNothing) {
    TIEIPTCInfoList l;
    l.AddBufferItem(2, 5, 1, "a");
    const Bytes none = Text("Photoshop 3.0 but no resource of records here");
    EXPECT_FALSE(l.LoadFromBuffer(none.data(), static_cast<int32_t>(none.size())));
    EXPECT_EQ(l.GetCount(), 0);
    EXPECT_FALSE(l.LoadFromBuffer(none.data(), 0));
    EXPECT_TRUE(l.Changed);
}

// A bare block of three datasets, the last one extended.
std::string ItemBytes(const TIEIPTCInfoList& L, int32_t I) {
    return std::string(reinterpret_cast<const char*>(L.GetItemData(I)), static_cast<size_t>(L.GetItemLength(I)));
}

Bytes ThreeDatasets() {
    ByteWriter w(true);
    w.U8(0x1C).U8(2).U8(5).U16(5).Text("Title");
    w.U8(0x1C).U8(2).U8(25).U16(3).Text("key");
    w.U8(0x1C).U8(2).U8(120).U16(0x8004).U32(6).Text("abcdef");
    return w.B;
}

TEST(IPTCList, DamagedBlocksStopAtTheFirstInconsistency) {
    const Bytes whole = ThreeDatasets();
    TIEIPTCInfoList full;
    ASSERT_TRUE(full.LoadFromBuffer(whole.data(), static_cast<int32_t>(whole.size())));
    ASSERT_EQ(full.GetCount(), 3);
    // Every cut keeps the datasets that lie wholly before it, and no more.
    const size_t ends[3] = {10, 18, whole.size()};
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        TIEIPTCInfoList l;
        l.LoadFromBuffer(part.empty() ? nullptr : part.data(), static_cast<int32_t>(part.size()));
        int32_t expected = 0;
        while (expected < 3 && ends[expected] <= cut) ++expected;
        ASSERT_EQ(l.GetCount(), expected) << "cut at " << cut;
    }
    struct Case {
        const char* name;
        Bytes block;
        int32_t items;
    };
    ByteWriter tooLong(true), hugeExtended(true), eightByteLength(true), zeroLengthField(true);
    tooLong.U8(0x1C).U8(2).U8(5).U16(100).Text("short");
    hugeExtended.U8(0x1C).U8(2).U8(5).U16(0x8004).U32(0xFFFFFFF0).Text("abc");
    eightByteLength.U8(0x1C).U8(2).U8(5).U16(0x8008).U32(0).U32(3).Text("abc");
    zeroLengthField.U8(0x1C).U8(2).U8(5).U16(0x8000).Text("abcdef");
    const Case cases[] = {
        {"length beyond the block", tooLong.B, 0},
        {"extended length beyond the block", hugeExtended.B, 0},
        {"extended length of 8 bytes", eightByteLength.B, 0},
        {"extended length of no bytes", zeroLengthField.B, 0},
    };
    for (const auto& c : cases) {
        TIEIPTCInfoList l;
        EXPECT_FALSE(l.LoadFromBuffer(c.block.data(), static_cast<int32_t>(c.block.size()))) << c.name;
        EXPECT_EQ(l.GetCount(), c.items) << c.name;
    }
}

TEST(IPTCList, TagBytesInTheResourceSizeDoNotStartADataset) {
    // Resource sizes holding 0x1C bytes, in a run up to the first dataset or alone.
    for (uint32_t size : {0x1C1C1C1Cu, 0x001C0105u, 0x1C000000u, 0x0000001Cu}) {
        ByteWriter w(true);
        w.Text(std::string("Photoshop 3.0\0008BIM\004\004\0\0", 22)).U32(size);
        w.U8(0x1C).U8(2).U8(5).U16(2).Text("ok");
        TIEIPTCInfoList l;
        ASSERT_TRUE(l.LoadFromBuffer(w.B.data(), static_cast<int32_t>(w.Size()))) << std::hex << size;
        ASSERT_EQ(l.GetCount(), 1) << std::hex << size;
        EXPECT_EQ(l.GetRecordNumber(0), 2);
        EXPECT_EQ(l.GetDataSet(0), 5);
        EXPECT_EQ(ItemBytes(l, 0), "ok");
    }
    // A resource with a name: its padded name is stepped over too.
    ByteWriter named(true);
    named.Text(std::string("Photoshop 3.0\0008BIM\004\004", 20)).U8(3).Text("abc").U32(0x1C00001C);
    named.U8(0x1C).U8(2).U8(90).U16(5).Text("Paris");
    TIEIPTCInfoList l;
    ASSERT_TRUE(l.LoadFromBuffer(named.B.data(), static_cast<int32_t>(named.Size())));
    ASSERT_EQ(l.GetCount(), 1);
    EXPECT_EQ(ItemBytes(l, 0), "Paris");
}

class IPTCFiles : public ImagingTest {};

// The items of the APP13 marker of a JPEG.
void LoadIPTC(const TIEMarkerList& M, TIEIPTCInfoList& L) {
    const int32_t i = M.IndexOf(IEJPEG_APP13);
    ASSERT_GE(i, 0);
    ASSERT_TRUE(L.LoadFromBuffer(M.GetMarkerData(i), M.GetMarkerLength(i)));
}

std::string ItemText(const TIEIPTCInfoList& L, int32_t Record, int32_t DataSet, const char* Separator = ", ") {
    std::string out;
    for (int32_t i = 0; i < L.GetCount(); ++i) {
        if (L.GetRecordNumber(i) != Record || L.GetDataSet(i) != DataSet) continue;
        if (!out.empty()) out += Separator;
        out.append(reinterpret_cast<const char*>(L.GetItemData(i)), static_cast<size_t>(L.GetItemLength(i)));
    }
    return out;
}

TEST_F(IPTCFiles, RecordsOfAnExiftoolFileAreWhatExiftoolPrints) {
    const std::string file = MetadataFixture("rgb_meta.jpg");
    TIEMarkerList markers;
    Bytes rest;
    LoadJpegMarkers(file, markers, rest);
    TIEIPTCInfoList l;
    LoadIPTC(markers, l);
    const struct {
        int32_t dataset;
        const char* tag;
    } fields[] = {{25, "-IPTC:Keywords"}, {120, "-IPTC:Caption-Abstract"}, {80, "-IPTC:By-line"}, {90, "-IPTC:City"}};
    for (const auto& f : fields) {
        const std::string expected = ExifTool(f.tag, file);
        ASSERT_FALSE(expected.empty()) << f.tag;
        EXPECT_EQ(ItemText(l, 2, f.dataset), expected) << f.tag;
    }
}

TEST_F(IPTCFiles, RecordsWrittenBackReadInExiftool) {
    const std::string file = MetadataFixture("rgb_meta.jpg");
    TIEMarkerList markers;
    Bytes rest;
    LoadJpegMarkers(file, markers, rest);
    TIEIPTCInfoList l;
    l.AddBufferItem(2, 25, 5, "gamma");
    l.AddBufferItem(2, 25, 5, "delta");
    l.AddBufferItem(2, 90, 5, "Paris");
    const std::string caption(40000, 'c');  // an extended dataset
    l.AddBufferItem(2, 120, static_cast<int32_t>(caption.size()), caption.data());
    l.AddBufferItem(2, 105, 8, "Headline");
    void* b = nullptr;
    int32_t n = 0;
    l.SaveToBuffer(b, n, true);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(markers.SetMarker(markers.IndexOf(IEJPEG_APP13), IEJPEG_APP13, n, b));
    std::free(b);
    const std::string out = folder_ + "/iptc.jpg";
    WriteBytes(out, JoinJpeg(markers, rest));
    EXPECT_EQ(ExifTool("-IPTC:Keywords", out), "gamma, delta");
    EXPECT_EQ(ExifTool("-IPTC:City", out), "Paris");
    EXPECT_EQ(ExifTool("-IPTC:Headline", out), "Headline");
    EXPECT_EQ(ExifTool("-IPTC:Caption-Abstract", out), caption);
    EXPECT_EQ(ExifTool("-IPTC:ApplicationRecordVersion", out), "");
    // And ours reads what we wrote.
    TIEMarkerList again;
    LoadJpegMarkers(out, again, rest);
    TIEIPTCInfoList back;
    LoadIPTC(again, back);
    EXPECT_EQ(ItemText(back, 2, 120), caption);
    EXPECT_EQ(ItemText(back, 2, 25), "gamma, delta");
}

}  // namespace
}  // namespace ie::test
