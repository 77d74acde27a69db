// The WBMP codec: ImageMagick's files read as ImageMagick decodes them, ours read back by
// ImageMagick, full sizes in both directions, damaged files.
#include <gtest/gtest.h>

#include "formats_testutil.h"
#include "imaging/formats/wbmpfilt.h"

namespace ie::test {
namespace {

struct WRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
};

WRead Read(const std::vector<uint8_t>& File) {
    WRead r;
    auto s = MemStream(File);
    Progress p;
    IEReadWBMPStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec);
    r.Aborted = p.Aborting;
    return r;
}

TEST(WBMPRead, ImageMagickFilesAtTheirFullSize) {
    for (const char* name : {"small", "wide", "w300"}) {
        SCOPED_TRACE(name);
        const auto r = Read(ReadBytes(FixturePath("wbmp", std::string(name) + ".wbmp")));
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), ie1g);
        EXPECT_EQ(r.Params->BitsPerSample, 1);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("wbmp", std::string(name) + ".ref.ppm")));
    }
    EXPECT_EQ(Read(ReadBytes(FixturePath("wbmp", "w300.wbmp"))).Params->Width, 300);
}

TEST(WBMPWrite, LayoutAndReadBackByImageMagick) {
    struct Case {
        int32_t W, H;
        std::vector<uint8_t> Head;
    } cases[] = {
        {16, 2, {0, 0, 16, 2}},
        {200, 3, {0, 0, 0x81, 0x48, 3}},
        {600, 300, {0, 0, 0x84, 0x58, 0x82, 0x2C}},
        {1, 1, {0, 0, 1, 1}},
    };
    const std::string path = ::testing::TempDir() + "/lumetra_wbmp_" + std::to_string(::getpid()) + ".wbmp";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.W);
        auto src = Make24(c.W, c.H, [](int x, int y) {
            return (x * 3 + y) % 5 < 2 ? TRGB{0, 0, 0} : TRGB{255, 255, 255};
        });
        cl::TMemoryStream s;
        Progress p;
        IEWriteWBMPStream(&s, src.get(), p.Rec);
        ASSERT_FALSE(p.Aborting);
        const auto f = StreamBytes(s);
        EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + static_cast<long>(c.Head.size())), c.Head);
        EXPECT_EQ(f.size(), c.Head.size() + static_cast<size_t>((c.W + 7) / 8 * c.H));
        EXPECT_EQ(src->GetPixelFormat(), ie24RGB);  // the caller's bitmap is not changed
        WriteBytes(path, f);
        ExpectSameRGB(*src, DecodeWithImageMagick("wbmp:" + path));
        const auto r = Read(f);
        ASSERT_FALSE(r.Aborted);
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick("wbmp:" + path));
    }
    std::remove(path.c_str());
    // Too large a side and a stream that takes nothing set the abort flag.
    TIEBitmap huge(70000, 1, ie1g);
    cl::TMemoryStream s;
    Progress p;
    IEWriteWBMPStream(&s, &huge, p.Rec);
    EXPECT_TRUE(p.Aborting);
    class Full : public cl::TMemoryStream {
        int64_t Write(const void*, int64_t) override { return 0; }
    } full;
    Progress q;
    TIEBitmap small(8, 8, ie1g);
    IEWriteWBMPStream(&full, &small, q.Rec);
    EXPECT_TRUE(q.Aborting);
}

TEST(WBMPRead, DamagedFilesSetTheAbortFlag) {
    // clang-format off
    const std::vector<std::vector<uint8_t>> cases = {
        {},
        {1, 0, 8, 1, 0},                      // type 1
        {0, 1, 8, 1, 0},                      // fixed header 1
        {0, 0, 0, 1},                         // width 0
        {0, 0, 8, 0},                         // height 0
        {0, 0, 0x81, 0x80, 0x80, 0x80, 0x01, 1, 0},  // a five-byte integer
        {0, 0, 0x84, 0x80, 0x80, 0x80, 1, 0},        // a width beyond the limit
        {0, 0, 16, 4, 1, 2, 3},               // rows missing
        {0, 0, 0x81},                         // cut integer
    };
    // clang-format on
    for (const auto& f : cases) {
        const auto r = Read(f);
        EXPECT_TRUE(r.Aborted) << f.size();
        EXPECT_EQ(r.Bitmap->GetWidth(), 0);
    }
    auto s = MemStream({0x81, 0x48});
    EXPECT_EQ(IEReadWBMPInteger(s.get()), 200);
}

}  // namespace
}  // namespace ie::test
