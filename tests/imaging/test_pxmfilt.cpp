// The PNM codec: netpbm's files of every kind and depth read as ImageMagick decodes them,
// our files checked by netpbm's pnmfile and ImageMagick, the header and comment details,
// and damaged files.
#include <gtest/gtest.h>

#include <string>

#include "formats_testutil.h"
#include "imaging/formats/pxmfilt.h"

namespace ie::test {
namespace {

std::vector<uint8_t> Bytes(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }

struct PxmRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

PxmRead Read(const std::vector<uint8_t>& File, bool Native = false) {
    PxmRead r;
    r.Params->NativePixelFormat = Native;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadPXMStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P) {
    cl::TMemoryStream s;
    Progress p;
    IEWritePXMStream(&s, &B, P, p.Rec);
    EXPECT_FALSE(p.Aborting);
    return StreamBytes(s);
}

TEST(PXMRead, NetpbmFilesReadAsImageMagickDecodesThem) {
    struct Case {
        const char* File;
        int32_t Bits, Samples;
        TIEPixelFormat Format, NativeFormat;
        int Tolerance;  // ImageMagick rounds where we truncate
        // clang-format off
    } cases[] = {
        {"ppm255.ppm", 8, 3, ie24RGB, ie24RGB, 0},     {"ppm100.ppm", 8, 3, ie24RGB, ie24RGB, 1},
        {"ppm1000.ppm", 16, 3, ie24RGB, ieRGB48, 1},   {"ppm65535.ppm", 16, 3, ie24RGB, ieRGB48, 0},
        {"plain255.ppm", 8, 3, ie24RGB, ie24RGB, 0},   {"plain1000.ppm", 8, 3, ie24RGB, ie24RGB, 1},
        {"pgm255.pgm", 8, 1, ie24RGB, ie24RGB, 0},     {"pgm100.pgm", 8, 1, ie24RGB, ie24RGB, 1},
        {"pgm65535.pgm", 16, 1, ie24RGB, ie16g, 0},    {"pgm4095.pgm", 16, 1, ie24RGB, ie16g, 1},
        {"plain100.pgm", 8, 1, ie24RGB, ie24RGB, 1},   {"pbm.pbm", 1, 1, ie1g, ie1g, 0},
        {"plain.pbm", 1, 1, ie1g, ie1g, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(c.File) + (native ? " native" : ""));
            const auto file = ReadBytes(FixturePath("pnm", c.File));
            auto s = MemStream(file);
            EXPECT_TRUE(IEIsPXMStream(s.get()));
            EXPECT_EQ(s->GetPosition(), 0);
            const auto r = Read(file, native);
            ASSERT_FALSE(r.Aborted);
            EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
            EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
            EXPECT_EQ(r.Bitmap->GetPixelFormat(), native ? c.NativeFormat : c.Format);
            std::string ref = c.File;
            ref = ref.substr(0, ref.find('.')) + ".ref.ppm";
            ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("pnm", ref)), c.Tolerance);
            EXPECT_EQ(r.Reports.back(), 100);
        }
    }
    // The 16-bit samples of a native read are the file's, scaled to 16 bits.
    const auto r = Read(ReadBytes(FixturePath("pnm", "pgm65535.pgm")), true);
    const auto file = ReadBytes(FixturePath("pnm", "pgm65535.pgm"));
    const size_t data = file.size() - 11 * 5 * 2;
    EXPECT_EQ(r.Bitmap->GetPixel16(0, 0), (file[data] << 8) | file[data + 1]);
    const auto r1000 = Read(ReadBytes(FixturePath("pnm", "ppm1000.ppm")), true);
    const auto f1000 = ReadBytes(FixturePath("pnm", "ppm1000.ppm"));
    const size_t d1000 = f1000.size() - 11 * 5 * 6;
    EXPECT_EQ(r1000.Bitmap->GetPixel48(0, 0).r, ((f1000[d1000] << 8) | f1000[d1000 + 1]) * 65535 / 1000);
}

TEST(PXMRead, HeaderDetails) {
    // A text grey map with a comment: 0, 7, 15 of 15 are 0, 119, 255.
    auto r = Read(Bytes("P2\n# a comment here  \n3 1\n15\n0 7 15\n"));
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0), (TRGB{119, 119, 119}));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(2, 0), (TRGB{255, 255, 255}));
    ASSERT_EQ(r.Params->PXMComments()->GetCount(), 1);
    EXPECT_EQ(r.Params->PXMComments()->Strings(0), "a comment here");
    // P5 at maxval 100: 50 becomes 127; values above maxval count as maxval.
    r = Read(Bytes(std::string("P5 3 1 100\n") + char(50) + char(100) + char(200)));
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0).g, 127);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0).g, 255);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(2, 0).g, 255);
    // P6 at maxval 255: red and blue exchanged into the blue-green-red layout; at maxval
    // 15 the samples are scaled as P5's are.
    r = Read(Bytes(std::string("P6 1 1 255 ") + char(10) + char(20) + char(30)));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0), (TRGB{30, 20, 10}));
    r = Read(Bytes(std::string("P6 1 1 15 ") + char(15) + char(5) + char(0)));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0), (TRGB{0, 85, 255}));
    // Comments between the pixels of a text file, and P1 digits without separators.
    r = Read(Bytes("P3 2 1 255 1 2 3 # skip 9 9 9\n 4 5 6"));
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0), (TRGB{6, 5, 4}));
    r = Read(Bytes("P1 4 2 0110 1 0 0 1"));
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(0))[0] & 0xF0, 0x90);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(1))[0] & 0xF0, 0x60);
}

TEST(PXMRead, DamagedFilesSetTheAbortFlag) {
    struct Case {
        const char* Name;
        std::string File;
    } cases[] = {
        {"empty", ""},
        {"P7", "P7 3 3 255\n"},
        {"width abc", "P5 abc 3 255\n"},
        {"width 0", "P5 0 3 255\n"},
        {"maxval 0", std::string("P5 1 1 0\n") + char(0)},
        {"maxval above 65535", "P5 1 1 70000\n\1\1"},
        {"no maxval", "P5 1 1"},
        {"huge size", "P6 100000 100000 255\n123"},
        {"width beyond 32 bits", "P5 99999999999 1 255\n1"},
        {"cut P5 rows", "P5 4 4 255\nabcdefgh"},
        {"cut P6 16-bit rows", "P6 2 2 65535\n123456789012"},
        {"cut P4 rows", "P4 16 3\nab"},
        {"cut P3 text", "P3 2 2 255 1 2 3 4 5 6 7 8 9 10 11"},
        {"cut P1 text", "P1 3 3 010 101 0"},
        {"garbage", "\x89PNG\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(Bytes(c.File));
        EXPECT_TRUE(r.Aborted);
    }
    for (const char* no : {"P7 3 3 255", "P5 abc 3", "P5 0 3 255", "", "P6"}) {
        auto s = MemStream(Bytes(no));
        EXPECT_FALSE(IEIsPXMStream(s.get())) << no;
    }
}

TEST(PXMWrite, OurFilesPassNetpbmAndImageMagick) {
    auto src = Make24(9, 4, [](int x, int y) {
        return TRGB{static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 70), static_cast<uint8_t>(255 - x * 20)};
    });
    struct Case {
        const char* Name;
        int32_t Bits, Samples;
        TIEPixelFormat Format;
        const char* Magic;
        const char* Pnmfile;
    } cases[] = {
        {"colour", 8, 3, ie24RGB, "P6", "PPM raw, 9 by 4  maxval 255"},
        {"grey", 8, 1, ie24RGB, "P5", "PGM raw, 9 by 4  maxval 255"},
        {"16-bit colour", 16, 3, ie24RGB, "P6", "PPM raw, 9 by 4  maxval 65535"},
        {"48-bit source", 8, 3, ieRGB48, "P6", "PPM raw, 9 by 4  maxval 65535"},
        {"bits", 1, 1, ie24RGB, "P4", "PBM raw, 9 by 4"},
        {"grey source as colour", 8, 3, ie8g, "P6", "PPM raw, 9 by 4  maxval 255"},
    };
    const std::string path = ::testing::TempDir() + "/lumetra_pxm_" + std::to_string(::getpid()) + ".pnm";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TIEBitmap b;
        b.Assign(src.get());
        ASSERT_TRUE(b.SetPixelFormat(c.Format));
        TIOParamsVals params(nullptr);
        params.BitsPerSample = c.Bits;
        params.SamplesPerPixel = c.Samples;
        const auto f = Write(b, params);
        EXPECT_EQ(std::string(f.begin(), f.begin() + 2), c.Magic);
        WriteBytes(path, f);
        const std::string info = RunCommand("pnmfile '" + path + "'");
        EXPECT_NE(info.find(c.Pnmfile), std::string::npos) << info;
        // ImageMagick's decoding against ours.
        const RefImage im = DecodeWithImageMagick(path);
        const auto r = Read(f);
        ASSERT_FALSE(r.Aborted);
        ExpectSameRGB(*r.Bitmap, im);
        if (c.Bits == 8 && c.Format == ie24RGB) {
            if (c.Samples == 3) {
                ExpectSameRGB(*src, im);
            } else {
                const TRGB p = src->GetPixelRGB(3, 2);
                EXPECT_EQ(im.At(3, 2)[0], (p.r * 21 + p.g * 71 + p.b * 8) / 100);
            }
        }
    }
    std::remove(path.c_str());
}

TEST(PXMWrite, BitsAndComments) {
    TIEBitmap mono(10, 2, ie1g);
    mono.Fill(0);
    static_cast<uint8_t*>(mono.GetScanline(0))[0] = 0x81;
    TIOParamsVals params(nullptr);
    params.PXMComments()->Add("first");
    params.PXMComments()->Add("second");
    const auto f = Write(mono, params);
    const std::string head = "P4 \n# first\n\n# second\n10 2\n";
    ASSERT_EQ(std::string(f.begin(), f.begin() + static_cast<long>(head.size())), head);
    ASSERT_EQ(f.size(), head.size() + 4);
    EXPECT_EQ(f[head.size()], 0x7E);  // set bits (white) written as 0
    const auto r = Read(f);
    EXPECT_EQ(r.Params->PXMComments()->GetCount(), 2);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(0))[0], 0x81);
}

TEST(PXMRead, ThroughTheEngine) {
    VovozIdIOStaticInit();
    IERegisterFormatsCodecs();
    {
        TVovozIdIO io(nullptr);
        auto s = MemStream(ReadBytes(FixturePath("pnm", "plain255.ppm")));
        EXPECT_EQ(IEFindStreamFormat(s.get()), ioPXM);
        io.LoadFromStreamFormat(s.get(), ioPXM);
        EXPECT_FALSE(io.Aborting);
        ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("pnm", "plain255.ref.ppm")));
    }
    VovozIdIOStaticFinal();
}

}  // namespace
}  // namespace ie::test
