// The Targa codec: every kind of file ImageMagick writes (and hand-made colour maps and
// packets) read as ImageMagick decodes them, the extension area, our files read back by
// ImageMagick, and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats_testutil.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/ietgafil.h"
#include "lumetra_image.h"
#include "platform/codepage.h"

namespace ie::test {
namespace {

struct TgaRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    std::unique_ptr<TIEMask> Mask;
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

TgaRead Read(const std::vector<uint8_t>& File, bool Preview = false) {
    TgaRead r;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadTGAStream(s.get(), r.Bitmap.get(), *r.Params, Preview, r.Mask, Preview, p.Rec);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, TIEMask* Mask = nullptr, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWriteTGAStream(&s, &B, P, Mask, p.Rec);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("tga", Name)); }

TEST(TGARead, EveryKindAsImageMagickDecodesIt) {
    struct Case {
        const char* Name;
        int32_t Bits, Samples;
        bool Compressed, Alpha, Grey;
    } cases[] = {
        {"rgb24_bl", 8, 3, false, false, false}, {"rgb24_tl", 8, 3, false, false, false},
        {"rgb24_tr", 8, 3, false, false, false}, {"rgb24_br", 8, 3, false, false, false},
        {"rgb24_rle", 8, 3, true, false, false}, {"rgb32", 8, 4, false, true, false},
        {"rgb32_rle", 8, 4, true, true, false},  {"rgb16", 5, 3, false, false, false},
        {"rgb16_rle", 5, 3, true, false, false}, {"pal8", 8, 1, false, false, false},
        {"pal8_rle", 8, 1, true, false, false},  {"grey8", 8, 1, false, false, true},
        {"grey8_rle", 8, 1, true, false, true},  {"map32", 8, 1, false, true, false},
        {"map16", 8, 1, false, false, false},    {"span", 8, 3, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto file = Fixture(std::string(c.Name) + ".tga");
        auto s = MemStream(file);
        EXPECT_TRUE(IEIsTGAStream(s.get()));
        EXPECT_EQ(s->GetPosition(), 0);
        const auto r = Read(file);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), ie24RGB);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->TGACompressed, c.Compressed);
        EXPECT_EQ(r.Params->TGAGrayScale, c.Grey);
        const RefImage ref = LoadRef(FixturePath("tga", std::string(c.Name) + ".ref.ppm"));
        if (c.Bits == 5 || std::string(c.Name) == "map16") {
            // Five-bit channels: ours widen by a shift of 3, ImageMagick scales to 255; both
            // come from the same five bits.
            ASSERT_EQ(r.Bitmap->GetWidth(), ref.Width);
            for (int32_t y = 0; y < ref.Height; ++y)
                for (int32_t x = 0; x < ref.Width; ++x) {
                    const TRGB p = r.Bitmap->GetPixelRGB(x, y);
                    const uint8_t* q = ref.At(x, y);
                    for (int k = 0; k < 3; ++k) {
                        const int ours = k == 0 ? p.r : k == 1 ? p.g : p.b;
                        EXPECT_EQ(ours & 7, 0);
                        EXPECT_EQ(ours >> 3, static_cast<int>(std::lround(q[k] * 31 / 255.0))) << x << "," << y;
                    }
                }
        } else {
            ExpectSameRGB(*r.Bitmap, ref);
        }
        ASSERT_EQ(r.Mask != nullptr, c.Alpha);
        if (c.Alpha) {
            const RefImage a = LoadRef(FixturePath("tga", std::string(c.Name) + ".alpha.pgm"));
            for (int32_t y = 0; y < a.Height; ++y)
                for (int32_t x = 0; x < a.Width; ++x) EXPECT_EQ(r.Mask->GetPixel(x, y), a.At(x, y)[0]) << x << "," << y;
        }
        EXPECT_EQ(r.Reports.size(), static_cast<size_t>(r.Bitmap->GetHeight()));
        EXPECT_EQ(r.Reports.back(), 100);
    }
    // The packets of span.tga cross the ends of rows.
    const auto r = Read(Fixture("span.tga"));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 1), (TRGB{10, 20, 30}));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(2, 1), (TRGB{1, 2, 3}));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 2), (TRGB{11, 12, 13}));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(4, 2), (TRGB{90, 80, 70}));
}

TEST(TGARead, HeaderAndExtensionArea) {
    auto r = Read(Fixture("ext.tga"));
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->TGADescriptor, "hello");
    EXPECT_EQ(r.Params->TGAAuthor, "Ada Author");
    EXPECT_EQ(r.Params->TGAImageName, "the job");
    EXPECT_EQ(r.Params->TGABackground, IECreateRGB(12, 34, 56));
    EXPECT_DOUBLE_EQ(r.Params->TGAAspectRatio, 1.5);
    EXPECT_DOUBLE_EQ(r.Params->TGAGamma, 1.8);
    // 17 May 2021 13:45:30 as days since 30 December 1899.
    EXPECT_NEAR(r.Params->TGADate, 44333 + (13 * 3600 + 45 * 60 + 30) / 86400.0, 1e-6);
    EXPECT_EQ(r.Params->DpiX, IEDefaultDpiX);
    // Without the footer the defaults stay.
    r = Read(Fixture("rgb24_tl.tga"));
    EXPECT_EQ(r.Params->TGAAuthor, "");
    EXPECT_DOUBLE_EQ(r.Params->TGAAspectRatio, 1.0);
    EXPECT_DOUBLE_EQ(r.Params->TGAGamma, 2.2);
    EXPECT_EQ(r.Params->TGADate, IEToday());
    EXPECT_EQ(r.Params->TGABackground, TRGB{});
    // Parameters only.
    r = Read(Fixture("rgb32.tga"), true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->Width, 13);
    EXPECT_EQ(r.Params->Height, 7);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
    EXPECT_EQ(r.Mask, nullptr);
    // The colour map of a palette file.
    r = Read(Fixture("map32.tga"));
    ASSERT_EQ(r.Params->ColorMapCount, 8);
    EXPECT_EQ(r.Params->GetColorMap()[1], IECreateRGB(40, 225, 17));
}

TEST(TGARead, AlphaThatIsAllZeroGivesNoMask) {
    // A 2 x 1 32-bit file, top-down, alpha bytes 0 / 255.
    auto file = [](uint8_t A) {
        std::vector<uint8_t> f = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 32, 0x28};
        for (int i = 0; i < 2; ++i) f.insert(f.end(), {10, 20, 30, A});
        return f;
    };
    EXPECT_EQ(Read(file(0)).Mask, nullptr);
    const auto r = Read(file(255));
    ASSERT_NE(r.Mask, nullptr);
    EXPECT_TRUE(r.Mask->Full);
}

struct WriteCase {
    const char* Name;
    int32_t Bits, Samples;
    bool Compressed, Grey, Mask;
    int Depth, Type;  // of the header written
};

TEST(TGAWrite, OurFilesReadByImageMagickAndUs) {
    auto colour = Make24(23, 9, [](int x, int y) {
        return y == 4 ? TRGB{1, 2, 3}
                      : TRGB{static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 28),
                             static_cast<uint8_t>((x ^ y) * 9)};
    });
    auto few = Make24(23, 9, [](int x, int y) {
        static const TRGB c[5] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {9, 9, 9}, {200, 100, 50}};
        return y == 3 ? c[0] : c[(x + y) % 5];
    });
    auto grey = Make24(23, 9, [](int x, int y) {
        const uint8_t v = static_cast<uint8_t>(x * 10 + y);
        return TRGB{v, v, v};
    });
    TIEMask mask;
    mask.Allocate(23, 9, 8);
    mask.Fill(255);
    for (int x = 0; x < 23; ++x) mask.SetPixel(x, 4, x * 10);
    const WriteCase cases[] = {
        {"rgb run-length", 8, 3, true, false, false, 24, 10}, {"rgb raw", 8, 3, false, false, false, 24, 2},
        {"rgb with alpha", 8, 3, true, false, true, 32, 2},   {"palette run-length", 8, 1, true, false, false, 8, 9},
        {"palette raw", 8, 1, false, false, false, 8, 1},     {"grey run-length", 8, 1, true, true, false, 8, 11},
        {"sixteen colours", 4, 1, true, false, false, 4, 1},  {"one bit", 1, 1, true, false, false, 1, 3},
    };
    const std::string path = ::testing::TempDir() + "/lumetra_tga_" + std::to_string(::getpid()) + ".tga";
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string name = c.Name;
        TIEBitmap* src = name.rfind("grey", 0) == 0                     ? grey.get()
                         : c.Bits <= 4 || name.rfind("palette", 0) == 0 ? few.get()
                                                                        : colour.get();
        std::unique_ptr<TIEBitmap> two;
        if (c.Bits == 1) {
            two = Make24(23, 9, [](int x, int y) { return (x * y) % 3 ? TRGB{200, 0, 0} : TRGB{0, 0, 120}; });
            src = two.get();
        }
        TIOParamsVals params(nullptr);
        params.BitsPerSample = c.Bits;
        params.SamplesPerPixel = c.Samples;
        params.TGACompressed = c.Compressed;
        params.TGAGrayScale = c.Grey;
        params.TGADescriptor = "ours";
        bool aborted = true;
        const auto f = Write(*src, params, c.Mask ? &mask : nullptr, &aborted);
        ASSERT_FALSE(aborted);
        ASSERT_GT(f.size(), 18u);
        EXPECT_EQ(f[16], c.Depth);
        EXPECT_EQ(f[2], c.Type);
        EXPECT_EQ(f[0], 5);  // "ours" and its zero byte
        // Ours read back.
        const auto r = Read(f);
        ASSERT_FALSE(r.Aborted);
        if (c.Bits == 1) {
            // The lighter of the two colours is white.
            for (int32_t y = 0; y < 9; ++y)
                for (int32_t x = 0; x < 23; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y).r, (x * y) % 3 ? 0 : 255);
            continue;
        }
        ExpectSameRGB(*r.Bitmap, [&] {
            RefImage ref;
            ref.Width = 23, ref.Height = 9, ref.Channels = 3;
            for (int32_t y = 0; y < 9; ++y)
                for (int32_t x = 0; x < 23; ++x) {
                    const TRGB p = src->GetPixelRGB(x, y);
                    ref.Pixels.insert(ref.Pixels.end(), {p.r, p.g, p.b});
                }
            return ref;
        }());
        ASSERT_EQ(r.Mask != nullptr, c.Mask);
        if (c.Mask) {
            EXPECT_EQ(r.Mask->GetPixel(5, 4), 50);
        }
        if (c.Bits == 4) continue;  // a depth ImageMagick does not read
        WriteBytes(path, f);
        const RefImage im = DecodeWithImageMagick(path);
        ExpectSameRGB(*src, im);
        if (c.Mask) {
            const std::string a =
                RunCommand("/usr/bin/convert '" + path + "' -alpha extract -depth 8 pgm:- 2>/dev/null");
            const RefImage ar = ParseRef(std::vector<uint8_t>(a.begin(), a.end()));
            EXPECT_EQ(ar.At(5, 4)[0], 50);
            EXPECT_EQ(ar.At(5, 3)[0], 255);
        }
    }
    std::remove(path.c_str());
}

TEST(TGAWrite, HeaderFieldsAndExtensionArea) {
    auto b = Make24(3, 2, [](int x, int) { return TRGB{static_cast<uint8_t>(x * 60), 0, 0}; });
    TIOParamsVals p(nullptr);
    p.TGADescriptor = "abc";
    p.TGAAuthor = "An author whose name runs well past the forty characters of the field";
    p.TGAImageName = "job";
    p.TGAXPos = 7;
    p.TGAYPos = 9;
    p.TGAAspectRatio = 1.5;
    p.TGAGamma = 7.25;  // beyond 65535 / 10000: stored over a smaller power of ten
    p.TGABackground = IECreateRGB(1, 2, 3);
    p.TGADate = 44333 + 0.5;  // 17 May 2021 at noon
    auto f = Write(*b, p);
    EXPECT_EQ(f[0], 4);
    EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 22), std::string("abc\0", 4));
    const auto r = Read(f);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->TGADescriptor, std::string("abc\0", 4));
    EXPECT_EQ(r.Params->TGAXPos, 7);
    EXPECT_EQ(r.Params->TGAYPos, 9);
    EXPECT_EQ(r.Params->TGAAuthor, p.TGAAuthor.substr(0, 40));
    EXPECT_EQ(r.Params->TGAImageName, "job");
    EXPECT_DOUBLE_EQ(r.Params->TGAAspectRatio, 1.5);
    EXPECT_DOUBLE_EQ(r.Params->TGAGamma, 7.25);
    EXPECT_EQ(r.Params->TGABackground, IECreateRGB(1, 2, 3));
    EXPECT_NEAR(r.Params->TGADate, 44333.5, 1e-6);
    // The extension area: 495 bytes, then the footer with its offset and signature.
    const size_t ext = f.size() - 26 - 495;
    EXPECT_EQ(IEGetLE16(&f[ext]), 495);
    EXPECT_EQ(IEGetLE32(&f[f.size() - 26]), ext);
    EXPECT_EQ(std::string(f.end() - 18, f.end()), std::string("TRUEVISION-XFILE.\0", 18));
    EXPECT_EQ(IEGetLE16(&f[ext + 474]), 15000);
    EXPECT_EQ(IEGetLE16(&f[ext + 476]), 10000);
    // A descriptor longer than the ID field can hold is cut to 254 characters.
    p.TGADescriptor = std::string(300, 'd');
    f = Write(*b, p);
    EXPECT_EQ(f[0], 255);
    EXPECT_EQ(Read(f).Params->TGADescriptor.size(), 255u);
}

TEST(TGAWrite, OtherPixelFormatsAndSizes) {
    // Pixel formats the file does not hold are written through a 24-bit copy.
    for (TIEPixelFormat f : {ie8g, ie16g, ieCMYK, ieRGB48, ie8p}) {
        SCOPED_TRACE(int(f));
        auto b = Make24(5, 4, [](int x, int y) {
            const uint8_t v = static_cast<uint8_t>(x * 50 + y);
            return TRGB{v, v, v};
        });
        ASSERT_TRUE(b->SetPixelFormat(f));
        TIOParamsVals p(nullptr);
        bool aborted = true;
        const auto file = Write(*b, p, nullptr, &aborted);
        EXPECT_FALSE(aborted);
        const auto r = Read(file);
        ASSERT_FALSE(r.Aborted);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y), b->GetPixelRGB(x, y));
        EXPECT_EQ(b->GetPixelFormat(), f);  // the caller's picture is left alone
    }
    // Sizes beyond the 16-bit fields are refused, nothing written.
    TIEBitmap wide(70000, 1, ie1g);
    TIOParamsVals p(nullptr);
    bool aborted = false;
    EXPECT_TRUE(Write(wide, p, nullptr, &aborted).empty());
    EXPECT_TRUE(aborted);
}

TEST(TGARead, DamagedFilesAbortWithoutReadingOrAllocatingBeyondTheData) {
    const auto good = Fixture("rgb24_rle.tga");
    const auto raw = Fixture("rgb24_tl.tga");
    auto patched = [](std::vector<uint8_t> f, size_t At, std::initializer_list<uint8_t> Bytes) {
        std::copy(Bytes.begin(), Bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(At));
        return f;
    };
    auto cut = [](const std::vector<uint8_t>& f, size_t n) {
        return std::vector<uint8_t>(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n));
    };
    // A header for 65535 x 65535 pixels with a few bytes of data.
    std::vector<uint8_t> huge = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 24, 0x20, 0xFF, 1, 2, 3};
    std::vector<uint8_t> hugeRaw = huge;
    hugeRaw[2] = 2;
    // A run-length file whose last packet is cut in its pixel.
    std::vector<uint8_t> badRle = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 1, 0, 24, 0x20, 0x82, 1, 2, 3, 0x80, 4};
    const struct Case {
        const char* Name;
        std::vector<uint8_t> File;
    } cases[] = {
        {"empty", {}},
        {"cut in the header", cut(good, 10)},
        {"cut in the pixels", cut(raw, raw.size() - 5)},
        {"run-length cut", cut(good, good.size() - 3)},
        {"bad image type", patched(good, 2, {5})},
        {"bad depth", patched(good, 16, {7})},
        {"zero width", patched(good, 12, {0, 0})},
        {"colour map of 8-bit entries", patched(Fixture("pal8.tga"), 7, {8})},
        {"colour map longer than the file", patched(Fixture("pal8.tga"), 5, {0xFF, 0xFF})},
        {"huge run-length", huge},
        {"huge raw", hugeRaw},
        {"run-length packet cut", badRle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File);
        EXPECT_TRUE(r.Aborted);
    }
    EXPECT_EQ(Read(huge).Bitmap->GetWidth(), 0);
    EXPECT_EQ(Read(hugeRaw).Bitmap->GetWidth(), 0);
    auto s = MemStream({0, 0, 5, 0});
    EXPECT_FALSE(IEIsTGAStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
}

class TGAEngine : public CodecIOTest {};

TEST_F(TGAEngine, LoadsAndSavesThroughTheComponentAndTheTool) {
    {
        TVovozIdIO io(nullptr);
        io.LoadFromFile(cl::String(FixturePath("tga", "rgb32.tga")));
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioTGA);
        ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
        const RefImage a = LoadRef(FixturePath("tga", "rgb32.alpha.pgm"));
        EXPECT_EQ(io.GetIEBitmap()->GetAlpha(1, 0), a.At(1, 0)[0]);
        // Saved with its alpha as a 32-bit file.
        io.SaveToFile(cl::String(Temp("back.tga")));
        ASSERT_FALSE(io.Aborting);
        const auto r = Read(ReadBytes(Temp("back.tga")));
        EXPECT_EQ(ReadBytes(Temp("back.tga"))[16], 32);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("tga", "rgb32.ref.ppm")));
        ASSERT_NE(r.Mask, nullptr);
        EXPECT_EQ(r.Mask->GetPixel(1, 0), a.At(1, 0)[0]);
    }
    {
        // Parameters only.
        TVovozIdIO io(nullptr);
        io.ReadParamsFromFile(win::Utf8ToUtf16(FixturePath("tga", "pal8_rle.tga")));
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioTGA);
        EXPECT_EQ(io.Params().Width, 13);
        EXPECT_TRUE(io.Params().TGACompressed);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 0);
    }
    // The tool: an independent file to PPM equals ImageMagick's decoding, and back to TGA.
    std::ostringstream out, err;
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("tga", "rgb24_rle.tga"), Temp("a.ppm")}, out, err), 0)
        << err.str();
    EXPECT_EQ(ReadBytes(Temp("a.ppm")).size(), ReadBytes(FixturePath("tga", "rgb24_rle.ref.ppm")).size());
    const RefImage ours = LoadRef(Temp("a.ppm")), ref = LoadRef(FixturePath("tga", "rgb24_rle.ref.ppm"));
    EXPECT_EQ(ours.Pixels, ref.Pixels);
    ASSERT_EQ(lumetra_image::Run({"convert", Temp("a.ppm"), Temp("b.tga")}, out, err), 0) << err.str();
    EXPECT_EQ(DecodeWithImageMagick(Temp("b.tga")).Pixels, ref.Pixels);
}

}  // namespace
}  // namespace ie::test
