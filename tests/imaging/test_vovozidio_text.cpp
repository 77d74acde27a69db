// Writing an image as text: the constant array, hexadecimal and base64 forms of the saved
// bytes (read back and, for base64, decoded by coreutils), the picture of characters, the
// identifiers made from the file's base name, and the formats without a writer.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/vovozidio.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

constexpr int32_t ioThreeBytes = 101;

// A format whose writer puts out three bytes.
void WriteThree(cl::TStream* Stream, TIEBitmap*, TIOParamsVals&, TProgressRec&) {
    const uint8_t b[3] = {0x0A, 0xFF, 0x3C};
    Stream->Write(b, 3);
}

class TextTest : public IOUnitTest {
protected:
    void SetUp() override {
        IOUnitTest::SetUp();
        RegisterTestFormat();
        auto e = std::make_unique<TIEFileFormatInfo>();
        e->FileType = ioThreeBytes;
        e->FullName = "Three bytes";
        e->Extensions = "LTHR";
        e->WriteFunction = &WriteThree;
        IERegisterFormat(std::move(e));
    }
    std::vector<std::string> Lines(const std::string& Name) {
        std::ifstream in(folder_ + "/" + Name, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) {
            EXPECT_FALSE(l.empty() || l.back() != '\r') << "every line ends with CR LF";
            if (!l.empty() && l.back() == '\r') l.pop_back();
            lines.push_back(l);
        }
        return lines;
    }
    std::vector<uint8_t> Saved(TVovozIdIO& Io, int32_t Format) {
        cl::TMemoryStream s;
        Io.SaveToStream(&s, Format);
        const auto* p = static_cast<const uint8_t*>(s.GetMemory());
        return {p, p + s.GetSize()};
    }
};

TEST_F(TextTest, ThreeBytesAsAConstantArrayAndAsHex) {
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 2, 2);
    io.SaveToText(Path("pic.inc"), ioThreeBytes, 0);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileName, Path("pic.inc"));
    EXPECT_EQ(Lines("pic.inc"),
              (std::vector<std::string>{"const", "  pic_inc_Size = 3;",
                                        "  pic_inc : array [0..pic_inc_Size-1] of byte = (", "    $0A,$FF,$3C);"}));
    io.SaveToText(Path("pic.h"), ioThreeBytes, 1);
    EXPECT_EQ(Lines("pic.h"), (std::vector<std::string>{"\\\\ Size=3", "0x0A,0xFF,0x3C"}));
}

// Long data: the lines break after the buffer passes 70 characters, and the values read
// back are the saved bytes.
TEST_F(TextTest, LongDataReadsBackToTheSavedBytes) {
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 9, 7);
    const std::vector<uint8_t> bytes = Saved(io, ioTestFormat);
    ASSERT_GT(bytes.size(), 100u);
    struct Case {
        uint8_t Kind;
        const char* Prefix;
        size_t HeadLines;
        const char* Indent;
    };
    for (const Case& c : {Case{0, "$", 3, "    "}, Case{1, "0x", 1, ""}}) {
        SCOPED_TRACE(int(c.Kind));
        io.SaveToText(Path("data.txt"), ioTestFormat, c.Kind);
        const auto lines = Lines("data.txt");
        ASSERT_GT(lines.size(), c.HeadLines + 1);
        std::vector<uint8_t> back;
        for (size_t i = c.HeadLines; i < lines.size(); ++i) {
            std::string l = lines[i];
            ASSERT_EQ(l.rfind(c.Indent, 0), 0u);
            l.erase(0, std::string(c.Indent).size());
            // Every line but the last is the buffer just past 70 characters.
            if (i + 1 < lines.size()) {
                EXPECT_GT(l.size(), 70u);
                EXPECT_LE(l.size(), 70u + std::string(c.Prefix).size() + 3);
            }
            if (c.Kind == 0 && i + 1 == lines.size()) {
                ASSERT_EQ(l.substr(l.size() - 2), ");");
                l.erase(l.size() - 2);
            }
            std::stringstream ss(l);
            for (std::string item; std::getline(ss, item, ',');) {
                ASSERT_EQ(item.rfind(c.Prefix, 0), 0u) << item;
                back.push_back(
                    static_cast<uint8_t>(std::stoul(item.substr(std::string(c.Prefix).size()), nullptr, 16)));
            }
        }
        EXPECT_EQ(back, bytes);
    }
}

TEST_F(TextTest, Base64DecodesToTheSavedBytes) {
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 11, 5);
    const std::vector<uint8_t> bytes = Saved(io, ioTestFormat);
    io.SaveToText(Path("data.b64"), ioTestFormat, 2);
    ASSERT_FALSE(io.Aborting);
    for (const std::string& l : Lines("data.b64")) EXPECT_LE(l.size(), 76u);
    const std::string decoded = folder_ + "/decoded.bin";
    ASSERT_EQ(std::system(("base64 -d -i " + folder_ + "/data.b64 > " + decoded).c_str()), 0);
    std::ifstream in(decoded, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes);
}

// The identifier comes from the base name: dots of folders do not count.
TEST_F(TextTest, IdentifiersFromTheBaseName) {
    std::filesystem::create_directories(folder_ + "/v1.2");
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 1, 1);
    io.SaveToText(Path("v1.2/my-pic.png"), ioThreeBytes, 0);
    const auto lines = Lines("v1.2/my-pic.png");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "  my_pic_png_Size = 3;");
    EXPECT_EQ(lines[2], "  my_pic_png : array [0..my_pic_png_Size-1] of byte = (");
}

// A format without a writer writes nothing at all (no phantom element) and fails.
TEST_F(TextTest, AFormatWithoutAWriterLeavesTheFileEmpty) {
    for (uint8_t kind : {0, 1, 2}) {
        SCOPED_TRACE(int(kind));
        TVovozIdIO io(nullptr);
        FillPattern(*io.GetIEBitmap(), 2, 2);
        io.SaveToText(Path("none.txt"), 9999, kind);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(std::filesystem::file_size(folder_ + "/none.txt"), 0u);
        EXPECT_TRUE(io.Params().FileName.empty());
    }
}

TEST_F(TextTest, PictureOfCharacters) {
    TVovozIdIO io(nullptr);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_TRUE(b.Allocate(5, 2, ie24RGB));
    // Greys 0, 128, 255, pure red (grey 53: level 2), pure green (grey 181: level 6); the
    // second row white.
    const uint8_t row0[15] = {0, 0, 0, 128, 128, 128, 255, 255, 255, 0, 0, 255, 0, 255, 0};
    std::memcpy(b.GetScanline(0), row0, 15);
    std::memset(b.GetScanline(1), 255, 15);
    io.SaveToText(Path("pic.txt"), ioBMP, 3);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(Lines("pic.txt"), (std::vector<std::string>{"W: #.", "     "}));
}

// Any picture is read through a 24-bit copy: the component's picture keeps its format.
TEST_F(TextTest, PictureOfCharactersKeepsTheFormat) {
    TVovozIdIO io(nullptr);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_TRUE(b.Allocate(3, 1, ie8g));
    const uint8_t row[3] = {0, 100, 255};
    std::memcpy(b.GetScanline(0), row, 3);
    io.SaveToText(Path("grey.txt"), ioBMP, 3);
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(Lines("grey.txt"), (std::vector<std::string>{"W+ "}));
}

TEST_F(TextTest, AnUnknownKindWritesNothing) {
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 2, 2);
    io.SaveToText(Path("k.txt"), ioTestFormat, 7);
    EXPECT_EQ(std::filesystem::file_size(folder_ + "/k.txt"), 0u);
    EXPECT_EQ(io.Params().FileName, Path("k.txt"));
}

TEST_F(TextTest, AFileThatCannotBeMadeRaises) {
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 2, 2);
    EXPECT_THROW(io.SaveToText(Path("no/such/dir/x.txt"), ioTestFormat, 0), cl::Exception);
}

}  // namespace
}  // namespace ie::test
