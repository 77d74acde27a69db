// The PNG codec over libpng: files of every colour type and depth read as ImageMagick
// decodes them, our files checked by pngcheck and read back by ImageMagick, the header
// fields, and damaged files.
#include <gtest/gtest.h>

#include <string>

#include "formats_testutil.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/pngfilt.h"

namespace ie::test {
namespace {

struct PngRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

PngRead Read(const std::vector<uint8_t>& File, bool Native = false, bool Preview = false) {
    PngRead r;
    r.Params->NativePixelFormat = Native;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadPNGStream(s.get(), r.Bitmap.get(), *r.Params, p.Rec, Preview);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, TIEMask* Mask = nullptr, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWritePNGStream(&s, &B, P, p.Rec, Mask);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

TEST(PNGRead, EveryColourTypeAndDepthAsImageMagickDecodes) {
    struct Case {
        const char* Name;
        int32_t Bits, Samples;
        TIEPixelFormat Format, NativeFormat;
        bool Alpha, NativeAlpha;
        // clang-format off
    } cases[] = {
        {"grey1", 1, 1, ie1g, ie1g, false, false},       {"grey2", 2, 1, ie24RGB, ie24RGB, false, false},
        {"grey4", 4, 1, ie24RGB, ie24RGB, false, false}, {"grey8", 8, 1, ie24RGB, ie8g, false, false},
        {"grey16", 16, 1, ie24RGB, ie16g, false, false}, {"rgb8", 8, 3, ie24RGB, ie24RGB, false, false},
        {"rgb16", 16, 3, ie24RGB, ie24RGB, false, false}, {"rgb8i", 8, 3, ie24RGB, ie24RGB, false, false},
        {"pal1", 1, 1, ie24RGB, ie24RGB, false, false},  {"pal2", 2, 1, ie24RGB, ie24RGB, false, false},
        {"pal4", 4, 1, ie24RGB, ie24RGB, false, false},  {"pal8", 8, 1, ie24RGB, ie8p, false, false},
        {"paltrns", 2, 1, ie24RGB, ie24RGB, true, true},   {"greya8", 8, 2, ie24RGB, ie24RGB, true, true},
        {"rgba8", 8, 4, ie24RGB, ie24RGB, true, true},   {"rgba16", 16, 4, ie24RGB, ie24RGB, true, true},
        {"rgba8i", 8, 4, ie24RGB, ie24RGB, true, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (native ? " native" : ""));
            const auto file = ReadBytes(FixturePath("png", std::string(c.Name) + ".png"));
            auto s = MemStream(file);
            EXPECT_TRUE(IEIsPNGStream(s.get()));
            EXPECT_EQ(s->GetPosition(), 0);
            const auto r = Read(file, native);
            ASSERT_FALSE(r.Aborted);
            EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
            EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
            EXPECT_EQ(r.Bitmap->GetPixelFormat(), native ? c.NativeFormat : c.Format);
            ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("png", std::string(c.Name) + ".ref.ppm")));
            const bool alpha = native ? c.NativeAlpha : c.Alpha;
            ASSERT_EQ(r.Bitmap->HasAlphaChannel(), alpha);
            if (alpha) {
                const RefImage a = LoadRef(FixturePath("png", std::string(c.Name) + ".alpha.pgm"));
                for (int32_t y = 0; y < a.Height; ++y)
                    for (int32_t x = 0; x < a.Width; ++x) EXPECT_EQ(r.Bitmap->GetAlpha(x, y), a.At(x, y)[0]);
            }
            const int passes = std::string(c.Name).back() == 'i' ? 7 : 1;
            EXPECT_EQ(r.Params->PNGInterlaced, passes == 7);
            EXPECT_EQ(r.Reports.back(), 100);
            EXPECT_GE(r.Reports.size(), static_cast<size_t>(std::min(6 * passes, 100)) / 2);
        }
    }
}

TEST(PNGRead, HeaderFields) {
    auto r = Read(ReadBytes(FixturePath("png", "rgb8.png")));
    EXPECT_EQ(r.Params->DpiX, 96);
    EXPECT_EQ(Read(ReadBytes(FixturePath("png", "rgb16.png"))).Params->DpiX, 300);
    r = Read(ReadBytes(FixturePath("png", "pal8.png")));
    EXPECT_EQ(r.Params->PNGBackground, (TRGB{0x30, 0x20, 0x10}));
    EXPECT_GT(r.Params->ColorMapCount, 2);
    r = Read(ReadBytes(FixturePath("png", "pal8.png")), true);
    EXPECT_EQ(r.Bitmap->PaletteUsed, 256);
    r = Read(ReadBytes(FixturePath("png", "rgb8i.png")));
    bool found = false;
    for (int i = 0; i < r.Params->PNGTextKeys()->GetCount(); ++i)
        if (r.Params->PNGTextValues()->Strings(i) == "made for the tests") found = true;
    EXPECT_TRUE(found);
    // Native 16-bit grey keeps the samples.
    r = Read(ReadBytes(FixturePath("png", "grey16.png")), true);
    const RefImage ref = LoadRef(FixturePath("png", "grey16.ref.ppm"));
    EXPECT_EQ(r.Bitmap->GetPixel16(3, 2) >> 8, ref.At(3, 2)[0]);
    // A preview fills the parameters only.
    r = Read(ReadBytes(FixturePath("png", "rgba8.png")), false, true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->Width, 9);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
}

struct WriteCase {
    const char* Name;
    int32_t Bits, Samples;
    bool Interlaced, Mask;
    const char* Pngcheck;  // what pngcheck says of the file
};

TEST(PNGWrite, OurFilesPassPngcheckAndImageMagick) {
    auto colour = Make24(23, 9, [](int x, int y) {
        return TRGB{static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 28), static_cast<uint8_t>((x ^ y) * 9)};
    });
    auto grey = Make24(23, 9, [](int x, int y) {
        const uint8_t v = static_cast<uint8_t>(x * 10 + y);
        return TRGB{v, v, v};
    });
    auto few = Make24(23, 9, [](int x, int y) {
        static const TRGB c[5] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {9, 9, 9}, {200, 100, 50}};
        return c[(x + y) % 5];
    });
    TIEMask mask;
    mask.Allocate(23, 9, 8);
    mask.Fill(255);
    for (int x = 0; x < 23; ++x) mask.SetPixel(x, 4, x * 10);
    mask.SyncFull();
    const WriteCase cases[] = {
        {"rgb", 8, 3, false, false, "24-bit RGB, non-interlaced"},
        {"rgb interlaced", 8, 3, true, false, "24-bit RGB, interlaced"},
        {"rgba", 8, 3, false, true, "32-bit RGB+alpha, non-interlaced"},
        {"grey 8", 8, 1, false, false, "8-bit grayscale"},
        {"grey 16", 16, 1, false, false, "16-bit grayscale"},
        {"palette", 8, 1, false, false, "8-bit palette"},
        {"palette with alpha", 8, 1, false, true, "8-bit palette"},
        {"one bit", 1, 1, false, false, "1-bit grayscale"},
        {"one bit of two colours", 1, 1, false, false, "1-bit palette"},
    };
    const std::string path = ::testing::TempDir() + "/lumetra_png_" + std::to_string(::getpid()) + ".png";
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string name = c.Name;
        TIEBitmap* src = name.rfind("grey", 0) == 0                          ? grey.get()
                         : name == "palette" || name == "palette with alpha" ? few.get()
                                                                             : colour.get();
        std::unique_ptr<TIEBitmap> two;
        if (name == "one bit of two colours") {
            two = Make24(23, 9, [](int x, int y) { return (x * y) % 3 ? TRGB{200, 0, 0} : TRGB{0, 0, 120}; });
            src = two.get();
        }
        TIOParamsVals params(nullptr);
        params.BitsPerSample = c.Bits;
        params.SamplesPerPixel = c.Samples;
        params.PNGInterlaced = c.Interlaced;
        params.PNGTextKeys()->Add("Title");
        params.PNGTextValues()->Add("ours");
        bool aborted = true;
        const auto f = Write(*src, params, c.Mask ? &mask : nullptr, &aborted);
        ASSERT_FALSE(aborted);
        WriteBytes(path, f);
        int st = -1;
        const std::string check = RunCommand("pngcheck -v '" + path + "' 2>&1", &st);
        EXPECT_EQ(st, 0) << check;
        EXPECT_NE(check.find(c.Pngcheck), std::string::npos) << check;
        EXPECT_NE(check.find("Title"), std::string::npos);
        const RefImage im = DecodeWithImageMagick(path);
        if (name == "one bit") {
            // Black and white by grey level.
            for (int32_t y = 0; y < 9; ++y)
                for (int32_t x = 0; x < 23; ++x)
                    EXPECT_EQ(im.At(x, y)[0], IERGBToGray(src->GetPixelRGB(x, y)) >= 128 ? 255 : 0);
        } else if (!c.Mask || name == "rgba") {
            ExpectSameRGB(*src, im);
        }
        // Our reader agrees with ImageMagick on our file, alpha included.
        const auto r = Read(f);
        ASSERT_FALSE(r.Aborted);
        ExpectSameRGB(*r.Bitmap, im);
        if (c.Mask) {
            ASSERT_TRUE(r.Bitmap->HasAlphaChannel());
            // A partial alpha is kept by RGBA and is fully transparent (palette entry 0) in a palette.
            EXPECT_EQ(r.Bitmap->GetAlpha(5, 4), name == "rgba" ? 50 : 0);
            EXPECT_EQ(r.Bitmap->GetAlpha(5, 3), 255);
        }
    }
    std::remove(path.c_str());
}

TEST(PNGWrite, ParameterDetails) {
    auto b = Make24(4, 4, [](int x, int) { return TRGB{static_cast<uint8_t>(x * 60), 0, 0}; });
    // Four bits per sample with one sample writes 8-bit data and leaves 8 in the params.
    TIOParamsVals params(nullptr);
    params.SamplesPerPixel = 1;
    params.BitsPerSample = 4;
    auto f = Write(*b, params);
    EXPECT_EQ(params.BitsPerSample, 8);
    EXPECT_EQ(f[24], 8);  // IHDR bit depth
    // A full mask writes no alpha.
    TIEMask full;
    full.Allocate(4, 4, 8);
    full.Fill(255);
    TIOParamsVals rgb(nullptr);
    f = Write(*b, rgb, &full);
    EXPECT_EQ(f[25], 2);  // colour type RGB
    // The background of a grey picture is its grey level; two keys and one value give one
    // text chunk; the resolution goes to pHYs.
    auto g = Make24(4, 4, [](int, int) { return TRGB{7, 7, 7}; });
    TIOParamsVals gp(nullptr);
    gp.SamplesPerPixel = 1;
    gp.PNGBackground = TRGB{90, 90, 90};
    gp.PNGTextKeys()->Add("a");
    gp.PNGTextKeys()->Add("b");
    gp.PNGTextValues()->Add("x");
    gp.SetDpiX(96);
    gp.SetDpiY(96);
    f = Write(*g, gp);
    auto r = Read(f);
    EXPECT_EQ(r.Params->PNGBackground, (TRGB{90, 90, 90}));
    EXPECT_EQ(r.Params->PNGTextKeys()->GetCount(), 1);
    EXPECT_EQ(r.Params->DpiX, 96);
    // The writer leaves the caller's bitmap as it was.
    TIEBitmap mono(5, 2, ie1g);
    mono.Fill(0);
    TIOParamsVals mp(nullptr);
    Write(mono, mp);
    EXPECT_EQ(mono.GetPixelFormat(), ie1g);
}

TEST(PNGWrite, ShortWriteSetsTheAbortFlag) {
    class Full : public cl::TMemoryStream {
        int64_t Write(const void*, int64_t) override { return 0; }
    } full;
    auto b = Make24(50, 50, [](int x, int y) { return TRGB{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0}; });
    TIOParamsVals params(nullptr);
    Progress p;
    IEWritePNGStream(&full, b.get(), params, p.Rec, nullptr);
    EXPECT_TRUE(p.Aborting);
}

TEST(PNGRead, DamagedFilesSetTheAbortFlag) {
    const auto good = ReadBytes(FixturePath("png", "rgba8.png"));
    auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)); };
    auto patched = [&](size_t at, std::vector<uint8_t> bytes, bool fixCrc) {
        auto f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
        if (fixCrc) {
            // The IHDR chunk's CRC over its type and data.
            uint32_t crc = 0xFFFFFFFF;
            for (size_t i = 12; i < 29; ++i) {
                crc ^= f[i];
                for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
            }
            crc ^= 0xFFFFFFFF;
            f[29] = static_cast<uint8_t>(crc >> 24);
            f[30] = static_cast<uint8_t>(crc >> 16);
            f[31] = static_cast<uint8_t>(crc >> 8);
            f[32] = static_cast<uint8_t>(crc);
        }
        return f;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> File;
    } cases[] = {
        {"empty", {}},
        {"signature only", cut(8)},
        {"cut header", cut(20)},
        {"cut data", cut(good.size() / 2)},
        {"no end", cut(good.size() - 12)},
        {"bad header CRC", patched(16, {0, 0, 0, 10}, false)},
        {"huge size", patched(16, {0, 0x0F, 0x42, 0x40, 0, 0x0F, 0x42, 0x40}, true)},
        {"width 0", patched(16, {0, 0, 0, 0}, true)},
        {"bad depth", patched(24, {3}, true)},
        {"bad colour type", patched(25, {5}, true)},
        {"not a PNG", {'G', 'I', 'F', '8', '9', 'a'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File);
        EXPECT_TRUE(r.Aborted);
    }
    // The huge size is refused before anything is allocated.
    EXPECT_EQ(Read(cases[6].File).Bitmap->GetWidth(), 0);
    auto s = MemStream({'G', 'I', 'F'});
    EXPECT_FALSE(IEIsPNGStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
}

TEST(PNGRead, ThroughTheEngine) {
    VovozIdIOStaticInit();
    IERegisterFormatsCodecs();
    {
        TVovozIdIO io(nullptr);
        auto s = MemStream(ReadBytes(FixturePath("png", "rgba8.png")));
        EXPECT_EQ(IEFindStreamFormat(s.get()), ioPNG);
        io.LoadFromStreamPNG(s.get());
        EXPECT_FALSE(io.Aborting);
        ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
        cl::TMemoryStream out;
        io.SaveToStreamPNG(&out);
        EXPECT_FALSE(io.Aborting);
        const auto r = Read(StreamBytes(out));
        ASSERT_FALSE(r.Aborted);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("png", "rgba8.ref.ppm")));
        EXPECT_EQ(r.Bitmap->GetAlpha(0, 0), LoadRef(FixturePath("png", "rgba8.alpha.pgm")).At(0, 0)[0]);
    }
    VovozIdIOStaticFinal();
}

}  // namespace
}  // namespace ie::test
