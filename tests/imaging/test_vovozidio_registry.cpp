// The format registry, extension lookups and content detection.
#include <fstream>
#include <iterator>

#include "imaging/core/hyieutils_streams.h"
#include "imaging_fixture.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

using namespace std::string_literals;

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(std::string(LUMETRA_TEST_DATA) + "/io/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Bytes(const std::string& text, size_t total) {
    std::vector<uint8_t> b(total, 0x55);
    std::memcpy(b.data(), text.data(), std::min(total, text.size()));
    return b;
}

std::vector<uint8_t> Header(const char* tag, size_t total) {
    std::vector<uint8_t> b(total, 0x11);
    std::memset(b.data(), 0, std::min<size_t>(8, total));
    std::memcpy(b.data(), tag, std::strlen(tag));
    return b;
}

// The registry as it is without the platform's imaging component (the HD Photo entry's own
// test turns it on).
class RegistryTest : public IOUnitTest {
protected:
    void SetUp() override {
        saved_ = IEWICAvailable;
        IEWICAvailable = [] { return false; };
        IOUnitTest::SetUp();
    }
    void TearDown() override {
        IOUnitTest::TearDown();
        IEWICAvailable = saved_;
    }
    bool (*saved_)() = nullptr;
};

TEST_F(RegistryTest, BuiltInEntriesInRegistryOrder) {
    const int32_t order[] = {1, 2, 3, 4, 5, 21, 6, 7, 8, 28, 9, 10, 11, 12, 16, 13, 14, 17, 18, 19, 20, 24, 25, 26, 27};
    ASSERT_EQ(IEFormatCount(), 25);  // no HD Photo without the imaging component
    for (int32_t i = 0; i < 25; ++i) {
        SCOPED_TRACE(i);
        TIEFileFormatInfo* e = IEFormatAt(i);
        EXPECT_EQ(e->FileType, order[i]);
        EXPECT_TRUE(e->InternalFormat);
        EXPECT_NE(e->TryFunction, nullptr);
    }
    EXPECT_EQ(IEFormatAt(25), nullptr);
    EXPECT_EQ(IEFindFormatInfoByExtension("wdp"), nullptr);
    // Read and write columns.
    for (int32_t t : {7, 9, 10, 20, 28}) EXPECT_EQ(IEFindFormatInfo(t)->WriteFunction, nullptr) << t;
    for (int32_t t : {17, 18}) EXPECT_EQ(IEFindFormatInfo(t)->ReadFunction, nullptr) << t;
    EXPECT_NE(IEFindFormatInfo(ioBMPRAW)->WriteFunction, nullptr);
    EXPECT_EQ(IEFindFormatInfo(ioJPEG)->FullName, "JPEG Bitmap");
    EXPECT_EQ(IEFindFormatInfo(ioJ2K)->DialogPage, ppJ2000);
    EXPECT_EQ(IEFindFormatInfo(ioAVI), nullptr);
}

TEST_F(RegistryTest, HDPhotoEntryOnlyWithTheImagingComponent) {
    auto saved = IEWICAvailable;
    IEWICAvailable = [] { return true; };
    IEBuildFormatRegistry();
    EXPECT_EQ(IEFormatCount(), 26);
    EXPECT_EQ(IEFormatAt(25)->FileType, ioHDP);
    EXPECT_EQ(IEFileTypeOfExtension("wdp"), ioHDP);
    EXPECT_EQ(IEFileTypeOfExtension("jxr"), ioHDP);
    IEWICAvailable = saved;
}

TEST_F(RegistryTest, ExtensionLookups) {
    const struct {
        const char* ext;
        int32_t type;
    } cases[] = {{"tif", ioTIFF}, {".TIF", ioTIFF}, {"ti", 0},      {"xif", ioTIFF}, {"jpeg", ioJPEG},
                 {"JPE", ioJPEG}, {"pix", ioTGA},   {"rle", ioBMP}, {"sr2", ioRAW},  {"dicom", ioDICOM},
                 {"", 0},         {".", 0},         {"win", 0},     {"avi", 0},      {"tif;tiff", 0}};
    for (const auto& c : cases) EXPECT_EQ(IEFileTypeOfExtension(c.ext), c.type) << c.ext;
    EXPECT_EQ(IEGetFormatExtensionCount(ioTIFF), 6);
    EXPECT_EQ(IEGetFormatExtension(ioTIFF, 5), "XIF");
    EXPECT_EQ(IEGetFormatExtension(ioTIFF, 6), "");
    EXPECT_EQ(IEGetFormatExtension(ioTIFF, -1), "");
    EXPECT_EQ(IEGetFormatExtensionCount(ioBMPRAW), 0);
    EXPECT_EQ(IEGetFormatExtensionCount(55), 0);
}

TEST_F(RegistryTest, RegisterAndUnregisterAddedFormats) {
    RegisterTestFormat("LTST;LTS2");
    EXPECT_EQ(IEFormatCount(), 26);
    EXPECT_EQ(IEFileTypeOfExtension(".lts2"), ioTestFormat);
    EXPECT_FALSE(IESetFormatOps(ioTestFormat, TestOps()));  // not a built-in entry
    EXPECT_TRUE(IESetFormatOps(ioPCX, TestOps()));
    EXPECT_EQ(IEFindFormatInfo(ioPCX)->Ops.Read, &TestReadEx);
    IEUnregisterFormat(ioTestFormat);
    IEUnregisterFormat(ioTestFormat);  // already gone: nothing
    EXPECT_EQ(IEFormatCount(), 25);
    EXPECT_EQ(IEFileTypeOfExtension("ltst"), 0);
}

// Detection of the first bytes, at the start of a stream and at an offset inside a larger one.
TEST_F(RegistryTest, DetectionOfFirstBytes) {
    RegisterTestFormat();
    std::vector<uint8_t> pcxHead(200, 0);
    pcxHead[0] = 10;
    pcxHead[1] = 5;
    const struct {
        const char* name;
        std::vector<uint8_t> data;
        int32_t type;
        // clang-format off
    } cases[] = {
        {"JPEG stream header", Header("JFIF", 20), ioJPEG},
        {"TIFF stream header", Header("TIFF", 20), ioTIFF},
        {"PCX stream header", Header("PCX2", 20), ioPCX},
        {"old PCX stream header", Header("PCX", 6), ioPCX},
        {"GIF signature", Bytes("GIF87a"s, 20), ioGIF},
        {"BMP signature", Bytes("BM"s, 20), ioBMP},
        {"PCX file header", pcxHead, ioPCX},
        {"AVI", Bytes("RIFF\x10\x00\x00\x00" "AVI LIST"s, 40), ioAVI},
        {"added format", TestImageBytes(2, 2), ioTestFormat},
        {"JFIF tag without zero byte", Bytes("JFIFX"s, 20), 0},
        {"exactly 12 bytes of JPEG header", Header("JFIF", 12), 0},
        {"random bytes", Bytes("\x01\x02\x03"s, 300), 0},
        {"GIF fixture", ReadFile("tiny.gif"), ioGIF},
        {"BMP fixture", ReadFile("tiny.bmp"), ioBMP},
        {"PCX fixture", ReadFile("tiny.pcx"), ioPCX},
        {"AVI fixture", ReadFile("tiny.avi"), ioAVI},
        {"PNG fixture", ReadFile("tiny.png"), ioPNG},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.data.empty());
        TIEMemStream at0(c.data.data(), static_cast<int64_t>(c.data.size()));
        EXPECT_EQ(IEFindStreamFormat(&at0), c.type);
        EXPECT_EQ(at0.GetPosition(), 0);
        // 100 bytes of zeros before, 50 after.
        std::vector<uint8_t> big(100, 0);
        big.insert(big.end(), c.data.begin(), c.data.end());
        big.insert(big.end(), 50, 0xEE);
        TIEMemStream inside(big.data(), static_cast<int64_t>(big.size()));
        inside.Seek(100, cl::soBeginning);
        const int32_t expected = std::string(c.name) == "exactly 12 bytes of JPEG header" ? ioJPEG : c.type;
        EXPECT_EQ(IEFindStreamFormat(&inside), expected);  // the trailing bytes make the header long enough
        EXPECT_EQ(inside.GetPosition(), 100);
    }
}

TEST_F(RegistryTest, HeaderTestsCountOnlyTheBytesAfterThePosition) {
    // "BM" 10 bytes before the end of a 200-byte stream: too short for a BMP header.
    std::vector<uint8_t> b(200, 0);
    b[190] = 'B';
    b[191] = 'M';
    TIEMemStream s(b.data(), static_cast<int64_t>(b.size()));
    s.Seek(190, cl::soBeginning);
    EXPECT_EQ(IEFindStreamFormat(&s), 0);
    EXPECT_EQ(s.GetPosition(), 190);
    s.Seek(200, cl::soBeginning);
    EXPECT_EQ(IEFindStreamFormat(&s), 0);
}

TEST_F(RegistryTest, BMPAndPCXDecideBeforeTheCodecProbes) {
    // A probe that would claim everything runs later than the header tests.
    TIEFormatOps greedy;
    greedy.Probe = [](cl::TStream*) { return true; };
    ASSERT_TRUE(IESetFormatOps(ioTIFF, greedy));
    auto bmp = Bytes("BM"s, 20);
    TIEMemStream s(bmp.data(), 20);
    EXPECT_EQ(IEFindStreamFormat(&s), ioBMP);
    auto other = Bytes("XX"s, 20);
    TIEMemStream t(other.data(), 20);
    EXPECT_EQ(IEFindStreamFormat(&t), ioTIFF);
    // A camera file stored as TIFF is not TIFF.
    TIEFormatOps raw;
    raw.TIFFBasedProbe = [](cl::TStream*) { return true; };
    raw.Probe = [](cl::TStream*) { return true; };
    ASSERT_TRUE(IESetFormatOps(ioRAW, raw));
    EXPECT_EQ(IEFindStreamFormat(&t), ioRAW);
}

TEST_F(RegistryTest, ATestThatRaisesEndsDetectionWithNothingFound) {
    auto e = std::make_unique<TIEFileFormatInfo>();
    e->FileType = 101;
    e->TryFunction = [](cl::TStream* s, int32_t) -> bool {
        s->Seek(7, cl::soBeginning);
        throw std::runtime_error("bad probe");
    };
    IERegisterFormat(std::move(e));
    auto data = Bytes("nothing"s, 64);
    TIEMemStream s(data.data(), 64);
    s.Seek(3, cl::soBeginning);
    EXPECT_EQ(IEFindStreamFormat(&s), 0);
    EXPECT_EQ(s.GetPosition(), 3);
}

class FileDetectionTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        dir_ = folder_;
        // An icon probe for the extension rules: reserved 0, type 1.
        TIEFormatOps ico;
        ico.Probe = [](cl::TStream* s) {
            uint8_t h[4] = {};
            const int64_t p = s->GetPosition();
            const bool ok = s->Read(h, 4) == 4 && h[0] == 0 && h[1] == 0 && h[2] == 1 && h[3] == 0;
            s->Seek(p, cl::soBeginning);
            return ok;
        };
        ASSERT_TRUE(IESetFormatOps(ioICO, ico));
    }
    cl::WideString Put(const std::string& name, const std::vector<uint8_t>& data) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return win::Utf8ToUtf16(path);
    }
    std::string dir_;
};

TEST_F(FileDetectionTest, ExtensionCorrectsTheContent) {
    RegisterTestFormat("LTST");
    const auto bmp = ReadFile("tiny.bmp");
    std::vector<uint8_t> icon(64, 0);
    icon[2] = 1;
    const struct {
        const char* name;
        std::vector<uint8_t> data;
        bool check;
        int32_t type;
    } cases[] = {
        {"a.png", bmp, true, 0},
        {"b.png", bmp, false, ioBMP},
        {"c.bmp", bmp, true, ioBMP},
        {"d.cur", icon, true, ioCUR},
        {"e.cur", icon, false, ioICO},
        {"f.xyz", bmp, true, 0},
        {"g.xyz", bmp, false, ioBMP},
        {"h.ltst", bmp, true, ioTestFormat},  // an added format's extension wins
        {"i.bmp", TestImageBytes(1, 1), true, 0},
        {"j.bmp", TestImageBytes(1, 1), false, ioTestFormat},
    };
    for (const auto& c : cases) EXPECT_EQ(IEFindFileFormat(Put(c.name, c.data), c.check), c.type) << c.name;
    EXPECT_EQ(IEFindFileFormat(win::Utf8ToUtf16(dir_ + "/missing.bmp"), false), 0);
    EXPECT_EQ(IEFindFileFormat(cl::WideString(), false), 0);
}

TEST_F(FileDetectionTest, CameraExtensionOverTIFFContent) {
    TIEFormatOps tiff;
    tiff.Probe = [](cl::TStream* s) {
        uint8_t h[2] = {};
        const int64_t p = s->GetPosition();
        const bool ok = s->Read(h, 2) == 2 && h[0] == 'I' && h[1] == 'I';
        s->Seek(p, cl::soBeginning);
        return ok;
    };
    ASSERT_TRUE(IESetFormatOps(ioTIFF, tiff));
    const auto data = Bytes("II*\0"s, 64);
    EXPECT_EQ(IEFindFileFormat(Put("x.cr2", data), true), ioRAW);
    EXPECT_EQ(IEFindFileFormat(Put("x.tif", data), true), ioTIFF);
}

TEST(AVIStreamTest, NeedsBothGroups) {
    const struct {
        std::vector<uint8_t> data;
        bool avi;
    } cases[] = {{Bytes("RIFF\0\0\0\0AVI "s, 12), true},
                 {Bytes("RIFF\0\0\0\0WAVE"s, 12), false},
                 {Bytes("RIFF\0\0\0\0AV"s, 10), false},
                 {Bytes("RIFX\0\0\0\0AVI "s, 12), false}};
    for (const auto& c : cases) {
        TIEMemStream s(c.data.data(), static_cast<int64_t>(c.data.size()));
        EXPECT_EQ(IEIsAVIStream(&s), c.avi);
        EXPECT_EQ(s.GetPosition(), 0);
    }
}

}  // namespace
}  // namespace ie::test
