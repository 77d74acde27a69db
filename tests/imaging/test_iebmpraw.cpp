// The raw pixel reader: binary and text layouts of every sample type, planes, alignment,
// channel order, progress, and settings or data it must refuse. The binary layouts are
// also checked against ImageMagick reading the same bytes as raw RGB / grey data.
#include <gtest/gtest.h>

#include <cstring>

#include "formats_testutil.h"
#include "imaging/formats/iebmpraw.h"

namespace ie::test {
namespace {

struct RawCase {
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    std::unique_ptr<TIEBitmap> Bitmap;
    Progress P;
};

bool ReadRaw(RawCase& C, const std::vector<uint8_t>& Bytes, int64_t Skip = 0) {
    auto s = MemStream(Bytes);
    s->Seek(Skip, cl::soBeginning);
    C.P.Record();
    IEReadRawBitmapStream(s.get(), C.Bitmap.get(), *C.Params, C.P.Rec);
    return !C.P.Aborting;
}

std::vector<uint8_t> Text(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }

TEST(BMPRAWRead, BinaryInterleavedMatchesImageMagickRawReading) {
    // 5 x 3 RGB at the default 8-bit alignment, and the same bytes as grey 15 x 3.
    std::vector<uint8_t> rgb(5 * 3 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 17 + 3);
    const std::string path = ::testing::TempDir() + "/lumetra_raw_" + std::to_string(::getpid()) + ".rgb";
    WriteBytes(path, rgb);
    int st = -1;
    const std::string im = RunCommand("/usr/bin/convert -size 5x3 -depth 8 'rgb:" + path + "' ppm:-", &st);
    ASSERT_EQ(st, 0);
    std::remove(path.c_str());
    RawCase c;
    c.Bitmap = std::make_unique<TIEBitmap>(5, 3, ie24RGB);
    ASSERT_TRUE(ReadRaw(c, rgb));
    ExpectSameRGB(*c.Bitmap, ParseRef(std::vector<uint8_t>(im.begin(), im.end())));
    // Blue first: the bytes land as they are.
    RawCase d;
    d.Bitmap = std::make_unique<TIEBitmap>(5, 3, ie24RGB);
    d.Params->BMPRAWChannelOrder = 1;
    ASSERT_TRUE(ReadRaw(d, rgb));
    EXPECT_EQ(std::memcmp(d.Bitmap->GetScanline(1), rgb.data() + 15, 15), 0);
}

TEST(BMPRAWRead, LayoutsTable) {
    struct Case {
        const char* Name;
        int32_t W, H;
        TIEPixelFormat Format;
        uint8_t Planes, Order, DataFormat;
        int32_t Align, Header;
        std::vector<uint8_t> Data;
        std::vector<uint8_t> Row0;  // the bytes expected at the start of row 0
        std::vector<uint8_t> Row1;  // and of the last row
    };
    const std::vector<Case> cases = {
        {"24-bit rows of 9 bytes into rows of 12",
         3,
         2,
         ie24RGB,
         0,
         0,
         0,
         8,
         0,
         {10, 20, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
         {30, 20, 10, 3, 2, 1},
         {9, 8, 7}},
        {"header of 5 bytes", 1, 1, ie8g, 0, 0, 0, 8, 5, {9, 9, 9, 9, 9, 42}, {42}, {42}},
        {"alignment 48 reads 1 byte of 6", 1, 2, ie8g, 0, 0, 0, 48, 0, {1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0}, {1}, {2}},
        {"alignment 32", 2, 2, ie8g, 0, 0, 0, 32, 0, {1, 2, 0, 0, 3, 4, 0, 0}, {1, 2}, {3, 4}},
        {"16-bit words", 2, 1, ie16g, 0, 0, 0, 8, 0, {0x34, 0x12, 0xCD, 0xAB}, {0x34, 0x12, 0xCD, 0xAB}, {0x34}},
        {"1-bit", 10, 1, ie1g, 0, 0, 0, 8, 0, {0xA5, 0xC0}, {0xA5, 0xC0}, {0xA5}},
        {"planar 24-bit red first", 2, 1, ie24RGB, 1, 0, 0, 8, 0, {1, 2, 3, 4, 5, 6}, {5, 3, 1, 6, 4, 2}, {5}},
        {"planar 24-bit blue first", 2, 1, ie24RGB, 1, 1, 0, 8, 0, {1, 2, 3, 4, 5, 6}, {1, 3, 5, 2, 4, 6}, {1}},
        {"planar CMYK", 1, 2, ieCMYK, 1, 0, 0, 8, 0, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 3, 5, 7}, {2, 4, 6, 8}},
        {"planar 48-bit", 1, 1, ieRGB48, 1, 0, 0, 8, 0, {1, 0, 2, 0, 3, 0}, {3, 0, 2, 0, 1, 0}, {3}},
        {"planar with row alignment 32",
         1,
         2,
         ieCMYK,
         1,
         1,
         0,
         32,
         0,
         {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 8, 0, 0, 0},
         {1, 3, 5, 7},
         {2, 4, 6, 8}},
        {"decimal", 3, 1, ie8g, 0, 0, 1, 8, 0, Text("255,0,7"), {255, 0, 7}, {255}},
        {"decimal keeps the low bits",
         2,
         1,
         ie8g,
         0,
         0,
         1,
         8,
         0,
         Text("300 99999999999999999999999999999999999999999"),
         {44},
         {44}},
        {"decimal words", 1, 1, ie16g, 0, 0, 1, 8, 0, Text("70000"), {0x70, 0x11}, {0x70}},
        {"hexadecimal", 2, 1, ie8g, 0, 0, 2, 8, 0, Text("FF 0A"), {255, 10}, {255}},
        {"hexadecimal skips lower case", 2, 1, ie8g, 0, 0, 2, 8, 0, Text("ff 1 B"), {1, 11}, {1}},
        {"decimal into 1-bit", 4, 1, ie1g, 0, 0, 1, 8, 0, Text("1 0 3 2"), {0xA0}, {0xA0}},
        {"decimal planes", 2, 1, ie24RGB, 1, 0, 1, 8, 0, Text("1 2 3 4 5 6"), {5, 3, 1, 6, 4, 2}, {5}},
        {"decimal floats", 1, 1, ie32f, 0, 0, 1, 8, 0, Text("x=1.5"), {0, 0, 0x80, 0x3F}, {0}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.Name);
        RawCase c;
        c.Bitmap = std::make_unique<TIEBitmap>(t.W, t.H, t.Format);
        std::memset(c.Bitmap->GetScanline(0), 0, static_cast<size_t>(c.Bitmap->GetRowLen()));
        c.Params->BMPRAWPlanes = t.Planes;
        c.Params->BMPRAWChannelOrder = t.Order;
        c.Params->BMPRAWDataFormat = t.DataFormat;
        c.Params->BMPRAWRowAlign = t.Align;
        c.Params->BMPRAWHeaderSize = t.Header;
        ASSERT_TRUE(ReadRaw(c, t.Data));
        const auto* r0 = static_cast<const uint8_t*>(c.Bitmap->GetScanline(0));
        if (std::string(t.Name) == "decimal keeps the low bits") {
            EXPECT_EQ(r0[0], 44);
            // 10^44 - 1 modulo 256: the low bits of the whole number.
            uint64_t v = 0;
            for (int i = 0; i < 44; ++i) v = v * 10 + 9;
            EXPECT_EQ(r0[1], static_cast<uint8_t>(v));
            continue;
        }
        EXPECT_EQ(std::vector<uint8_t>(r0, r0 + t.Row0.size()), t.Row0);
        const auto* rl = static_cast<const uint8_t*>(c.Bitmap->GetScanline(t.H - 1));
        EXPECT_EQ(std::vector<uint8_t>(rl, rl + t.Row1.size()), t.Row1);
    }
}

TEST(BMPRAWRead, HeaderCountsFromThePositionAtTheCall) {
    std::vector<uint8_t> b(100);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i);
    RawCase c;
    c.Bitmap = std::make_unique<TIEBitmap>(1, 1, ie8g);
    c.Params->BMPRAWHeaderSize = 54;
    ASSERT_TRUE(ReadRaw(c, b, 10));
    EXPECT_EQ(static_cast<uint8_t*>(c.Bitmap->GetScanline(0))[0], 64);
}

TEST(BMPRAWRead, Progress) {
    RawCase planar;
    planar.Bitmap = std::make_unique<TIEBitmap>(2, 3, ieCMYK);
    planar.Params->BMPRAWPlanes = 1;
    ASSERT_TRUE(ReadRaw(planar, std::vector<uint8_t>(24, 1)));
    EXPECT_EQ(planar.P.Reports, (std::vector<int32_t>{0, 25, 50, 75, 100}));
    RawCase rows;
    rows.Bitmap = std::make_unique<TIEBitmap>(2, 4, ie8g);
    ASSERT_TRUE(ReadRaw(rows, std::vector<uint8_t>(8, 1)));
    EXPECT_EQ(rows.P.Reports, (std::vector<int32_t>{0, 25, 50, 75}));
}

TEST(BMPRAWRead, RefusedSettingsAndShortData) {
    struct Case {
        const char* Name;
        TIEPixelFormat Format;
        uint8_t Planes, Order, DataFormat;
        int32_t Align, Header;
        std::vector<uint8_t> Data;
    } cases[] = {
        {"alignment 4", ie8g, 0, 0, 0, 4, 0, std::vector<uint8_t>(64, 1)},
        {"alignment 0", ie8g, 0, 0, 0, 0, 0, std::vector<uint8_t>(64, 1)},
        {"alignment negative", ie8g, 0, 0, 0, -8, 0, std::vector<uint8_t>(64, 1)},
        {"planes 2", ie24RGB, 2, 0, 0, 8, 0, std::vector<uint8_t>(64, 1)},
        {"planes on grey", ie8g, 1, 0, 0, 8, 0, std::vector<uint8_t>(64, 1)},
        {"channel order 2", ie24RGB, 0, 2, 0, 8, 0, std::vector<uint8_t>(64, 1)},
        {"data format 3", ie8g, 0, 0, 3, 8, 0, std::vector<uint8_t>(64, 1)},
        {"negative header", ie8g, 0, 0, 0, 8, -1, std::vector<uint8_t>(64, 1)},
        {"header past the end", ie8g, 0, 0, 0, 8, 1000, std::vector<uint8_t>(64, 1)},
        {"short binary", ie24RGB, 0, 0, 0, 8, 0, std::vector<uint8_t>(20, 1)},
        {"short planes", ie24RGB, 1, 0, 0, 8, 0, std::vector<uint8_t>(40, 1)},
        {"short text", ie8g, 0, 0, 1, 8, 0, Text("1 2 3")},
        {"Lab has no raw layout", ieCIELab, 0, 0, 0, 8, 0, std::vector<uint8_t>(64, 1)},
        {"32-bit RGB has no raw layout", ie32RGB, 0, 0, 0, 8, 0, std::vector<uint8_t>(64, 1)},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.Name);
        RawCase c;
        c.Bitmap = std::make_unique<TIEBitmap>(4, 4, t.Format);
        c.Params->BMPRAWPlanes = t.Planes;
        c.Params->BMPRAWChannelOrder = t.Order;
        c.Params->BMPRAWDataFormat = t.DataFormat;
        c.Params->BMPRAWRowAlign = t.Align;
        c.Params->BMPRAWHeaderSize = t.Header;
        EXPECT_FALSE(ReadRaw(c, t.Data));
    }
    // Hexadecimal floats raise, with the abort flag set.
    RawCase f;
    f.Bitmap = std::make_unique<TIEBitmap>(1, 1, ie32f);
    f.Params->BMPRAWDataFormat = 2;
    auto s = MemStream(Text("3F"));
    try {
        IEReadRawBitmapStream(s.get(), f.Bitmap.get(), *f.Params, f.P.Rec);
        ADD_FAILURE() << "no exception";
    } catch (const cl::Exception& e) {
        EXPECT_STREQ(e.what(), "Format unsupported");
    }
    EXPECT_TRUE(f.P.Aborting);
    // A bitmap without rows reads nothing and returns at once.
    RawCase empty;
    empty.Bitmap = std::make_unique<TIEBitmap>();
    EXPECT_TRUE(ReadRaw(empty, {1, 2, 3}));
    EXPECT_TRUE(empty.P.Reports.empty());
}

TEST(BMPRAWRead, ThroughTheEngine) {
    VovozIdIOStaticInit();
    IERegisterFormatsCodecs();
    {
        TVovozIdIO io(nullptr);
        io.GetIEBitmap()->Allocate(2, 1, ie24RGB);
        auto s = MemStream({1, 2, 3, 4, 5, 6});
        io.LoadFromStreamRawBitmap(s.get());
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioBMPRAW);
        EXPECT_EQ(io.GetIEBitmap()->GetPixelRGB(1, 0), (TRGB{6, 5, 4}));
    }
    VovozIdIOStaticFinal();
}

}  // namespace
}  // namespace ie::test
