// XMP packets in APP1 payloads: finding the packet, loading and saving it, and the packet
// of a real JPEG made by exiftool, read here and written back for exiftool to read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/core/hyieutils_xmp.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

const std::string kId(IEXMPNamespace, IEXMPNamespaceLength);  // with its zero

Bytes Payload(const std::string& S) { return Bytes(S.begin(), S.end()); }

struct FindCase {
    const char* name;
    std::string payload;
    int64_t packetStart;  // -1: no packet
};

TEST(XMPPacket, FindStaysWithinThePayload) {
    const std::string other = std::string(IEXMPNamespace, 24) + "zzzz" + std::string(1, '\0') + "<x/>";
    const FindCase cases[] = {
        {"identifier only", kId, -1},
        {"one packet byte", kId + "<", 29},
        {"a packet", kId + "<x:xmpmeta/>", 29},
        {"identifier continues differently", other, 29},
        {"first 24 bytes differ", "http://ns.example.com/xap/1.0/" + std::string(1, '\0') + "<x/>", -1},
        {"no zero byte at all", std::string(IEXMPNamespace, 28) + "ABCDEFGH", -1},
        {"the zero is the last byte", std::string(IEXMPNamespace, 28) + "AB" + std::string(1, '\0'), -1},
        {"shorter than 30", kId.substr(0, 20), -1},
    };
    for (const auto& c : cases) {
        const Bytes b = Payload(c.payload);
        const uint8_t* p = IEFindXMPPacket(b.data(), static_cast<int32_t>(b.size()));
        if (c.packetStart < 0) {
            EXPECT_EQ(p, nullptr) << c.name;
        } else {
            EXPECT_EQ(p, b.data() + c.packetStart) << c.name;
        }
    }
    EXPECT_EQ(IEFindXMPPacket(nullptr, 100), nullptr);
}

TEST(XMPPacket, LoadTakesThePacketToThePayloadsEnd) {
    const Bytes b = Payload(kId + "<");
    cl::String packet = "untouched";
    ASSERT_TRUE(IELoadXMPFromAPP1(b.data(), static_cast<int32_t>(b.size()), packet));
    EXPECT_EQ(packet, "<");
    const Bytes none = Payload(kId);
    packet = "untouched";
    EXPECT_FALSE(IELoadXMPFromAPP1(none.data(), static_cast<int32_t>(none.size()), packet));
    EXPECT_EQ(packet, "untouched");
}

TEST(XMPPacket, SaveAndLoadBack) {
    for (const std::string& text :
         {std::string(100, 'x'), std::string("<a>\xD0\x9F\xD1\x80\xD0\xB8</a>"), std::string()}) {
        void* buffer = nullptr;
        int32_t length = -1;
        IESaveXMPToAPP1(text, buffer, length);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(length, static_cast<int32_t>(text.size()) + 29);
        EXPECT_EQ(std::memcmp(buffer, IEXMPNamespace, 29), 0);
        cl::String back;
        EXPECT_EQ(IELoadXMPFromAPP1(buffer, length, back), !text.empty());
        if (!text.empty()) {
            EXPECT_EQ(back, text);
        }
        std::free(buffer);
    }
}

class XMPFiles : public ImagingTest {};

// The XMP APP1 marker of a list, -1 when none.
int32_t XMPMarker(const TIEMarkerList& M) {
    for (int32_t i = 0; i < M.GetCount(); ++i)
        if (M.GetMarkerType(i) == IEJPEG_APP1 && IEFindXMPPacket(M.GetMarkerData(i), M.GetMarkerLength(i))) return i;
    return -1;
}

TEST_F(XMPFiles, PacketOfAnExiftoolFileIsWhatExiftoolExtracts) {
    const std::string file = MetadataFixture("rgb_meta.jpg");
    TIEMarkerList markers;
    Bytes rest;
    LoadJpegMarkers(file, markers, rest);
    const int32_t i = XMPMarker(markers);
    ASSERT_GE(i, 0);
    cl::String packet;
    ASSERT_TRUE(IELoadXMPFromAPP1(markers.GetMarkerData(i), markers.GetMarkerLength(i), packet));
    std::string expected;
    ASSERT_EQ(RunTool("exiftool -b -XMP " + Quote(file), expected), 0);
    ASSERT_FALSE(expected.empty());
    // exiftool hands out the packet without the padding behind it.
    EXPECT_EQ(packet.substr(0, expected.size()), expected);
    EXPECT_NE(packet.find("XMP title"), cl::String::npos);
}

TEST_F(XMPFiles, PacketWrittenBackReadsInExiftool) {
    const std::string file = MetadataFixture("rgb_meta.jpg");
    TIEMarkerList markers;
    Bytes rest;
    LoadJpegMarkers(file, markers, rest);
    const int32_t i = XMPMarker(markers);
    ASSERT_GE(i, 0);
    cl::String packet;
    ASSERT_TRUE(IELoadXMPFromAPP1(markers.GetMarkerData(i), markers.GetMarkerLength(i), packet));
    const size_t at = packet.find("XMP title");
    ASSERT_NE(at, cl::String::npos);
    const std::string title = "\xD0\x97\xD0\xB0\xD0\xB3\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xBA";  // UTF-8
    packet.replace(at, 9, title);
    void* buffer = nullptr;
    int32_t length = 0;
    IESaveXMPToAPP1(packet, buffer, length);
    ASSERT_TRUE(markers.SetMarker(i, IEJPEG_APP1, length, buffer));
    std::free(buffer);
    const std::string out = folder_ + "/xmp.jpg";
    WriteBytes(out, JoinJpeg(markers, rest));
    EXPECT_EQ(ExifTool("-XMP-dc:Title", out), title);
    EXPECT_EQ(ExifTool("-XMP-dc:Creator", out), "XMP creator");
}

}  // namespace
}  // namespace ie::test
