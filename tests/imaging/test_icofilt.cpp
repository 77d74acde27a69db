// The icon and cursor readers: files made by icotool read image by image as icotool
// extracts them, the directory parameters, hot spots, probes, and damaged files.
#include <gtest/gtest.h>

#include <string>

#include "formats_testutil.h"
#include "imaging/formats/icofilt.h"

namespace ie::test {
namespace {

struct IcoRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    std::unique_ptr<TIEMask> Alpha;
    bool Aborted = false;
};

IcoRead Read(const std::vector<uint8_t>& File, bool Cursor, int32_t Index, bool Native = false) {
    IcoRead r;
    r.Params->NativePixelFormat = Native;
    r.Params->ICOImageIndex = Index;
    r.Params->CURImageIndex = Index;
    auto s = MemStream(File);
    Progress p;
    if (Cursor)
        IEReadCURStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec, r.Alpha, false);
    else
        IEReadICOStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec, r.Alpha, false);
    r.Aborted = p.Aborting;
    return r;
}

// Colour where the reference is opaque, and the alpha everywhere.
void ExpectImage(const IcoRead& R, const std::string& Ref) {
    const RefImage colour = LoadRef(FixturePath("ico", Ref + ".ref.ppm"));
    const RefImage alpha = LoadRef(FixturePath("ico", Ref + ".alpha.pgm"));
    ASSERT_EQ(R.Bitmap->GetWidth(), colour.Width);
    ASSERT_EQ(R.Bitmap->GetHeight(), colour.Height);
    int bad = 0;
    for (int32_t y = 0; y < colour.Height; ++y)
        for (int32_t x = 0; x < colour.Width; ++x) {
            const uint8_t a = R.Alpha ? static_cast<uint8_t>(R.Alpha->GetPixel(x, y)) : 255;
            if (a != alpha.At(x, y)[0] && bad++ < 5) ADD_FAILURE() << "alpha at " << x << "," << y;
            if (alpha.At(x, y)[0] != 255) continue;
            const TRGB p = R.Bitmap->GetPixelRGB(x, y);
            const uint8_t* c = colour.At(x, y);
            if ((p.r != c[0] || p.g != c[1] || p.b != c[2]) && bad++ < 5) ADD_FAILURE() << "colour at " << x << "," << y;
        }
}

TEST(ICORead, EveryImageAsIcotoolExtractsIt) {
    struct Case {
        const char* File;
        bool Cursor;
        int32_t Index;
        const char* Ref;
        int32_t Bits, Samples;
    } cases[] = {
        {"three.ico", false, 0, "three_1_16x16x32", 8, 4}, {"three.ico", false, 1, "three_2_32x32x32", 8, 4},
        {"three.ico", false, 2, "three_3_24x24x24", 8, 3}, {"depths.ico", false, 0, "depths_1_16x16x1", 1, 1},
        {"depths.ico", false, 1, "depths_2_16x16x4", 4, 1}, {"depths.ico", false, 2, "depths_3_16x16x8", 8, 1},
        {"depths.ico", false, 3, "depths_4_16x16x24", 8, 3}, {"depths.ico", false, 4, "depths_5_16x16x32", 8, 4},
        {"arrow.cur", true, 0, "arrow_1_16x16x32", 32, 1}, {"mono.cur", true, 0, "mono_1_16x16x1", 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Ref);
        const auto file = ReadBytes(FixturePath("ico", c.File));
        auto s = MemStream(file);
        EXPECT_EQ(IEIsICOStream(s.get()), !c.Cursor);
        EXPECT_EQ(IEIsCURStream(s.get()), c.Cursor);
        EXPECT_EQ(s->GetPosition(), 0);
        const auto r = Read(file, c.Cursor, c.Index);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        ExpectImage(r, c.Ref);
    }
}

TEST(ICORead, DirectoryParametersAndHotSpots) {
    auto r = Read(ReadBytes(FixturePath("ico", "three.ico")), false, 2);
    EXPECT_EQ(r.Params->ICOSizes[0], (std::array<int32_t, 2>{16, 16}));
    EXPECT_EQ(r.Params->ICOSizes[1], (std::array<int32_t, 2>{32, 32}));
    EXPECT_EQ(r.Params->ICOSizes[2], (std::array<int32_t, 2>{24, 24}));
    EXPECT_EQ(r.Params->ICOSizes[3], (std::array<int32_t, 2>{0, 0}));
    EXPECT_EQ(r.Params->ICOBitCount[1], 32);
    EXPECT_EQ(r.Params->ICOBitCount[2], 24);
    r = Read(ReadBytes(FixturePath("ico", "arrow.cur")), true, 0);
    EXPECT_EQ(r.Params->CURXHotSpot, 3);
    EXPECT_EQ(r.Params->CURYHotSpot, 7);
    EXPECT_TRUE(r.Alpha);  // a cursor's mask comes back
    // Native palette images keep their indexes.
    r = Read(ReadBytes(FixturePath("ico", "depths.ico")), false, 2, true);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetPixelFormat(), ie8p);
    // An image stored as PNG goes through the PNG reader, with its own alpha channel.
    r = Read(ReadBytes(FixturePath("ico", "big.ico")), false, 0);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetWidth(), 32);
    ASSERT_TRUE(r.Bitmap->HasAlphaChannel());
    EXPECT_EQ(r.Bitmap->GetAlpha(0, 0), 0);
    EXPECT_EQ(r.Bitmap->GetAlpha(10, 10), 255);
    // Transparent pixels of a palette icon show the background colour.
    auto ico = ReadBytes(FixturePath("ico", "depths.ico"));
    IcoRead bg;
    bg.Params->ICOImageIndex = 1;
    bg.Params->ICOBackground = TRGB{1, 2, 3};
    auto s = MemStream(ico);
    Progress p;
    IEReadICOStream(s.get(), bg.Bitmap.get(), *bg.Params, false, p.Rec, bg.Alpha, false);
    EXPECT_EQ(bg.Bitmap->GetPixelRGB(0, 0), (TRGB{1, 2, 3}));
}

TEST(ICORead, DamagedFilesSetTheAbortFlag) {
    const auto good = ReadBytes(FixturePath("ico", "three.ico"));
    auto with = [&](size_t At, std::vector<uint8_t> Bytes) {
        auto f = good;
        std::copy(Bytes.begin(), Bytes.end(), f.begin() + static_cast<long>(At));
        return f;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        int32_t Index;
    } cases[] = {
        {"empty", {}, 0},
        {"index past the count", good, 3},
        {"negative index", good, -1},
        {"count larger than the file", with(4, {0xFF, 0xFF}), 0},
        {"offset inside the directory", with(6 + 12, {4, 0, 0, 0}), 0},
        {"offset past the end", with(6 + 12, {0, 0, 0, 0x7F}), 0},
        {"bit count 7", with(good[6 + 12] + 14, {7, 0}), 0},
        {"cut pixels", std::vector<uint8_t>(good.begin(), good.begin() + 200), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File, false, c.Index);
        EXPECT_TRUE(r.Aborted);
    }
    // A header width that disagrees beyond 2048 pixels is not believed: the entry's size stays.
    const auto odd = Read(with(good[6 + 12] + 4, {0, 0, 0, 1}), false, 0);
    EXPECT_FALSE(odd.Aborted);
    EXPECT_EQ(odd.Bitmap->GetWidth(), 16);
    // Probes say no to short streams and to damaged directories.
    auto s = MemStream(std::vector<uint8_t>(good.begin(), good.begin() + 22));
    EXPECT_FALSE(IEIsICOStream(s.get()));
    s = MemStream(with(6 + 3, {1}));
    EXPECT_FALSE(IEIsICOStream(s.get()));
}

TEST(ICORead, ThroughTheEngine) {
    VovozIdIOStaticInit();
    IERegisterFormatsCodecs();
    {
        TVovozIdIO io(nullptr);
        auto s = MemStream(ReadBytes(FixturePath("ico", "three.ico")));
        EXPECT_EQ(IEFindStreamFormat(s.get()), ioICO);
        io.LoadFromStreamICO(s.get());
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 16);
        ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
        EXPECT_EQ(io.GetIEBitmap()->GetAlpha(0, 0), 0);
        auto c = MemStream(ReadBytes(FixturePath("ico", "arrow.cur")));
        EXPECT_EQ(IEFindStreamFormat(c.get()), ioCUR);
    }
    VovozIdIOStaticFinal();
}

}  // namespace
}  // namespace ie::test
