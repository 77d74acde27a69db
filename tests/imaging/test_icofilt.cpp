// The icon and cursor readers: files made by icotool read image by image as icotool
// extracts them, the directory parameters, hot spots, probes, and damaged files; the icon
// writer's files read back by icotool and ImageMagick.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "formats_testutil.h"
#include "imaging/formats/icofilt.h"
#include "imaging/processing/ieresample.h"

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
            if ((p.r != c[0] || p.g != c[1] || p.b != c[2]) && bad++ < 5)
                ADD_FAILURE() << "colour at " << x << "," << y;
        }
}

TEST(ICORead, EveryImageAsIcotoolExtractsIt) {
    struct Case {
        const char* File;
        bool Cursor;
        int32_t Index;
        const char* Ref;
        int32_t Bits, Samples;
        // clang-format off
    } cases[] = {
        {"three.ico", false, 0, "three_1_16x16x32", 8, 4}, {"three.ico", false, 1, "three_2_32x32x32", 8, 4},
        {"three.ico", false, 2, "three_3_24x24x24", 8, 3}, {"depths.ico", false, 0, "depths_1_16x16x1", 1, 1},
        {"depths.ico", false, 1, "depths_2_16x16x4", 4, 1}, {"depths.ico", false, 2, "depths_3_16x16x8", 8, 1},
        {"depths.ico", false, 3, "depths_4_16x16x24", 8, 3}, {"depths.ico", false, 4, "depths_5_16x16x32", 8, 4},
        {"arrow.cur", true, 0, "arrow_1_16x16x32", 32, 1}, {"mono.cur", true, 0, "mono_1_16x16x1", 1, 1},
    };
    // clang-format on
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
        for (size_t i = 0; i < Bytes.size(); ++i) f.at(At + i) = Bytes[i];
        return f;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        int32_t Index;
    } cases[] = {
        {"empty", {}, 0},
        {"count larger than the file", with(4, {0xFF, 0xFF}), 0},
        {"offset inside the directory", with(6 + 12, {4, 0, 0, 0}), 0},
        {"offset past the end", with(6 + 12, {0, 0, 0, 0x7F}), 0},
        {"cut pixels", std::vector<uint8_t>(good.begin(), good.begin() + 200), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File, false, c.Index);
        EXPECT_TRUE(r.Aborted);
    }
    // No bit count in the bitmap header, the entry or the colour count.
    auto noBits = with(good[6 + 12] + 14, {0, 0});
    noBits[6 + 6] = noBits[6 + 7] = 0;
    EXPECT_TRUE(Read(noBits, false, 0).Aborted);
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

// RGBA pixels of what ImageMagick decodes from File (a frame selector allowed).
std::vector<uint8_t> DecodeRGBA(const std::string& File, int32_t W, int32_t H) {
    int st = -1;
    const std::string out = RunCommand("/usr/bin/convert '" + File + "' -depth 8 rgba:- 2>/dev/null", &st);
    EXPECT_EQ(st, 0) << File;
    EXPECT_EQ(out.size(), static_cast<size_t>(W) * H * 4) << File;
    return std::vector<uint8_t>(out.begin(), out.end());
}

// A directory index outside the directory reads nothing and is no error; a depth the reader
// does not know raises.
TEST(ICORead, IndexOutsideTheDirectoryAndUnknownDepths) {
    const auto good = ReadBytes(FixturePath("ico", "three.ico"));
    for (const bool cursor : {false, true}) {
        auto file = good;
        if (cursor) file[2] = 2;
        for (const int32_t index : {-1, 3, 1000}) {
            SCOPED_TRACE(std::to_string(index) + (cursor ? " cursor" : " icon"));
            IcoRead r;
            r.Bitmap->Allocate(3, 2, ie24RGB);
            r.Params->ICOImageIndex = r.Params->CURImageIndex = index;
            r.Params->Width = 77;
            auto s = MemStream(file);
            Progress p;
            if (cursor)
                IEReadCURStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec, r.Alpha, false);
            else
                IEReadICOStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec, r.Alpha, false);
            EXPECT_FALSE(p.Aborting);
            EXPECT_EQ(r.Bitmap->GetWidth(), 3);
            EXPECT_EQ(r.Params->Width, 77);
            EXPECT_FALSE(r.Alpha);
        }
    }
    // Bit counts 2, 7 and 16 in the bitmap header of the first image.
    for (const uint8_t bits : {2, 7, 16}) {
        SCOPED_TRACE(int(bits));
        auto file = good;
        file.at(IEGetLE32(good.data() + 6 + 12) + 14) = bits;
        for (const bool native : {false, true}) {
            try {
                (void)Read(file, false, 0, native);
                ADD_FAILURE() << "no exception";
            } catch (const cl::Exception& e) {
                EXPECT_STREQ(e.what(), "Unsupported pixel format");
            }
        }
    }
}

// Icons of 16, 32, 48 and 256 pixels (size bytes 0) made by icotool, the 256-pixel images
// stored as PNG and as a 1-bit bitmap: every image reads as icotool extracts it, and the
// directory lists each image at its index.
TEST(ICORead, TwoHundredFiftySixPixelImages) {
    char pattern[] = "/tmp/lumetra-ico-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string path = FixturePath("ico", "sizes.ico");
    int st = -1;
    RunCommand("icotool -x -o '" + dir + "' '" + path + "' 2>&1", &st);
    EXPECT_EQ(st, 0);
    struct Case {
        int32_t Size, Bits, Samples, SampleBits;
    } cases[] = {{16, 32, 4, 8}, {32, 32, 4, 8}, {48, 24, 3, 8}, {256, 32, 4, 8}, {256, 1, 1, 1}};
    const auto file = ReadBytes(path);
    for (int32_t i = 0; i < 5; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        const auto r = Read(file, false, i);
        ASSERT_FALSE(r.Aborted);
        for (int32_t k = 0; k < 5; ++k) {
            EXPECT_EQ(r.Params->ICOSizes[static_cast<size_t>(k)], (std::array<int32_t, 2>{cases[k].Size, cases[k].Size}));
            EXPECT_EQ(r.Params->ICOBitCount[static_cast<size_t>(k)], cases[k].Bits);
        }
        EXPECT_EQ(r.Params->ICOSizes[5], (std::array<int32_t, 2>{0, 0}));
        EXPECT_EQ(r.Params->Width, c.Size);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->BitsPerSample, c.SampleBits);
        const std::string png = dir + "/sizes_" + std::to_string(i + 1) + "_" + std::to_string(c.Size) + "x" +
                                std::to_string(c.Size) + "x" + std::to_string(c.Bits) + ".png";
        const std::vector<uint8_t> rgba = DecodeRGBA(png, c.Size, c.Size);
        ASSERT_EQ(rgba.size(), static_cast<size_t>(c.Size) * c.Size * 4);
        ASSERT_EQ(r.Bitmap->GetWidth(), c.Size);
        ASSERT_EQ(r.Bitmap->GetHeight(), c.Size);
        int bad = 0;
        for (int32_t y = 0; y < c.Size; ++y)
            for (int32_t x = 0; x < c.Size; ++x) {
                const uint8_t* want = rgba.data() + 4 * (static_cast<size_t>(y) * c.Size + x);
                // The PNG image keeps its alpha in the bitmap, the others in the mask.
                const int a = r.Alpha                        ? r.Alpha->GetPixel(x, y)
                              : r.Bitmap->HasAlphaChannel() ? r.Bitmap->GetAlpha(x, y)
                                                            : 255;
                if (a != want[3] && bad++ < 5) ADD_FAILURE() << "alpha at " << x << "," << y;
                if (want[3] != 255) continue;
                const TRGB p = r.Bitmap->GetPixelRGB(x, y);
                if ((p.r != want[0] || p.g != want[1] || p.b != want[2]) && bad++ < 5)
                    ADD_FAILURE() << "colour at " << x << "," << y;
            }
    }
    RunCommand("rm -rf '" + dir + "'");
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
// ---------------------------------------------------------------------------------------
// The icon writer

// 32 x 32 in 2 x 2 blocks of six colours (so that halving keeps them), the left quarter and
// a square in the middle transparent.
std::unique_ptr<TIEBitmap> IconSource() {
    static const TRGB colours[6] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {128, 0, 0}, {0, 255, 255}, {0, 100, 0}};
    auto b = Make24(32, 32, [](int32_t x, int32_t y) { return colours[(x / 2 + 3 * (y / 2)) % 6]; });
    for (int32_t y = 0; y < 32; ++y) {
        auto* a = static_cast<uint8_t*>(b->GetAlphaChannel()->GetScanline(y));
        for (int32_t x = 0; x < 32; ++x) a[x] = x < 8 || (x >= 16 && x < 24 && y >= 12 && y < 20) ? 0 : 255;
    }
    return b;
}

std::vector<uint8_t> WriteIcon(TIEBitmap* Source, const std::vector<std::array<int32_t, 2>>& Sizes,
                               const std::vector<int32_t>& BitCounts, bool* Aborted = nullptr) {
    TIOParamsVals params(nullptr);
    cl::TMemoryStream s;
    Progress p;
    IEWriteICOStream(&s, Source, params, p.Rec, Sizes, BitCounts);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

// The decoded image against the source resized as the writer resizes it: transparency
// everywhere (below 255 is transparent but for 32 bits), colour where opaque within Tolerance
// (black and white for 1 bit).
void ExpectLikeSource(const std::vector<uint8_t>& Rgba, TIEBitmap* Source, int32_t Size, int32_t Bits) {
    if (Rgba.size() != static_cast<size_t>(Size) * Size * 4) return;
    TIEBitmap ref(Size, Size, ie24RGB);
    IEResampleBitmap(Source, &ref, rfFastLinear, nullptr, nullptr);
    std::unique_ptr<TIEBitmap> monoHolder;
    TIEBitmap* colour = Bits == 1 ? IEBlackAndWhiteCopy(&ref, monoHolder) : &ref;
    const int tolerance = Bits == 4 ? 64 : Bits == 8 ? 8 : 1;
    int bad = 0;
    for (int32_t y = 0; y < Size; ++y)
        for (int32_t x = 0; x < Size; ++x) {
            const uint8_t* p = &Rgba[static_cast<size_t>(y * Size + x) * 4];
            uint8_t a = static_cast<const uint8_t*>(ref.GetAlphaChannel()->GetScanline(y))[x];
            if (Bits != 32 && a != 255) a = 0;
            if (std::abs(p[3] - a) > 1 && bad++ < 5) ADD_FAILURE() << "alpha at " << x << "," << y << ": " << int(p[3]);
            if (a != 255) continue;
            const TRGB c = colour->GetPixelRGB(x, y);
            if ((std::abs(p[0] - c.r) > tolerance || std::abs(p[1] - c.g) > tolerance ||
                 std::abs(p[2] - c.b) > tolerance) &&
                bad++ < 5)
                ADD_FAILURE() << "colour at " << x << "," << y << ": " << int(p[0]) << " " << int(p[1]) << " "
                              << int(p[2]);
        }
}

TEST(ICOWrite, IcotoolAndImageMagickReadOurIcons) {
    auto source = IconSource();
    char pattern[] = "/tmp/lumetra-ico-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    for (const int32_t bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        bool aborted = true;
        const auto file = WriteIcon(source.get(), {{16, 16}, {32, 32}}, {bits, bits}, &aborted);
        ASSERT_FALSE(aborted);
        const std::string name = "b" + std::to_string(bits);
        const std::string path = dir + "/" + name + ".ico";
        WriteBytes(path, file);
        int st = -1;
        const std::string list = RunCommand("icotool -l '" + path + "' 2>&1", &st);
        EXPECT_EQ(st, 0) << list;
        for (const int32_t size : {16, 32}) {
            const std::string dims = "--width=" + std::to_string(size) + " --height=" + std::to_string(size) +
                                     " --bit-depth=" + std::to_string(bits);
            EXPECT_NE(list.find(dims), std::string::npos) << list;
        }
        RunCommand("icotool -x -o '" + dir + "' '" + path + "' 2>&1", &st);
        EXPECT_EQ(st, 0);
        for (int32_t i = 0; i < 2; ++i) {
            const int32_t size = i ? 32 : 16;
            SCOPED_TRACE(size);
            const std::string png = dir + "/" + name + "_" + std::to_string(i + 1) + "_" + std::to_string(size) + "x" +
                                    std::to_string(size) + "x" + std::to_string(bits) + ".png";
            ExpectLikeSource(DecodeRGBA(png, size, size), source.get(), size, bits);
            ExpectLikeSource(DecodeRGBA(path + "[" + std::to_string(i) + "]", size, size), source.get(), size, bits);
        }
        // Our own reader agrees too.
        const auto r = Read(file, false, 1);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->ICOSizes[0], (std::array<int32_t, 2>{16, 16}));
        EXPECT_EQ(r.Params->ICOBitCount[1], bits);
    }
    RunCommand("rm -rf '" + dir + "'");
}

TEST(ICOWrite, FourBitAndThirtyTwoBitImages) {
    auto source = IconSource();
    bool aborted = true;
    const auto file = WriteIcon(source.get(), {{16, 16}, {32, 32}}, {4, 32}, &aborted);
    ASSERT_FALSE(aborted);
    ASSERT_GE(file.size(), 38u);
    EXPECT_EQ(IEGetLE16(file.data() + 4), 2);
    // First entry: 16 x 16, 16 colours; second: 32 bits.
    EXPECT_EQ(file[6], 16);
    EXPECT_EQ(file[8], 16);
    EXPECT_EQ(IEGetLE16(file.data() + 22 + 6), 32);
    const uint32_t at = IEGetLE32(file.data() + 6 + 12);
    ASSERT_LE(at + 40 + 64 + 16 * 8 + 16 * 4, file.size());
    const uint8_t* bh = file.data() + at;
    EXPECT_EQ(IEGetLE16(bh + 14), 4);
    EXPECT_EQ(IEGetLE32(bh + 20), 16u * 8 + 16u * 4);  // colour rows and padded mask rows
    EXPECT_EQ(IEGetLE32(bh + 40), 0u);                 // entry 0 black
    // Bottom row (stored first), pixel 0 lies in the transparent quarter: index 0; pixel
    // 4 is opaque: not 0.
    const uint8_t* pixels = bh + 40 + 64;
    EXPECT_EQ(pixels[0] >> 4, 0);
    EXPECT_NE(pixels[2] >> 4, 0);
    const auto r = Read(file, false, 0);
    ASSERT_FALSE(r.Aborted);
    ASSERT_TRUE(r.Alpha);
    EXPECT_EQ(static_cast<int>(r.Alpha->GetPixel(0, 0)), 0);
    EXPECT_EQ(static_cast<int>(r.Alpha->GetPixel(6, 0)), 255);
    EXPECT_EQ(r.Params->ICOSizes[1], (std::array<int32_t, 2>{32, 32}));
    EXPECT_EQ(r.Params->ICOBitCount[0], 4);
    EXPECT_EQ(r.Params->ICOBitCount[1], 32);
}

TEST(ICOWrite, StreamsThatTakeNothingAndBadSizesAbort) {
    class Refusing : public cl::TMemoryStream {
    public:
        int64_t Write(const void*, int64_t) override { return 0; }
    };
    auto source = IconSource();
    {
        TIOParamsVals params(nullptr);
        Refusing s;
        Progress p;
        IEWriteICOStream(&s, source.get(), params, p.Rec, {{16, 16}}, {8});
        EXPECT_TRUE(p.Aborting);
    }
    for (const auto& sizes : std::vector<std::vector<std::array<int32_t, 2>>>{{}, {{0, 16}}, {{16, 300}}}) {
        bool aborted = false;
        WriteIcon(source.get(), sizes, std::vector<int32_t>(sizes.size(), 8), &aborted);
        EXPECT_TRUE(aborted);
    }
}

}  // namespace ie::test
