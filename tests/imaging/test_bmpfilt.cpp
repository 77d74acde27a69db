// The BMP codec: files made by ImageMagick and netpbm read pixel for pixel as ImageMagick
// decodes them, our files read back by ImageMagick, the layout details of the format,
// and damaged files.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "formats_testutil.h"
#include "imaging/formats/bmpfilt.h"

namespace ie::test {
namespace {

void Put16(std::vector<uint8_t>& B, size_t At, uint32_t V) {
    B[At] = static_cast<uint8_t>(V);
    B[At + 1] = static_cast<uint8_t>(V >> 8);
}
void Put32(std::vector<uint8_t>& B, size_t At, uint32_t V) {
    Put16(B, At, V);
    Put16(B, At + 2, V >> 16);
}
uint32_t Get32(const std::vector<uint8_t>& B, size_t At) {
    return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (static_cast<uint32_t>(B[At + 3]) << 24);
}

// A file with a 40-byte header: Palette as blue, green, red, 0 quads, then Data.
std::vector<uint8_t> MakeBMP(int32_t W, int32_t H, int Bits, uint32_t Compression, const std::vector<TRGB>& Palette,
                             const std::vector<uint8_t>& Data, uint32_t ColorsUsed = 0, int32_t Ppm = 2835) {
    std::vector<uint8_t> b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    const uint32_t offset = static_cast<uint32_t>(54 + Palette.size() * 4);
    Put32(b, 2, static_cast<uint32_t>(offset + Data.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(W));
    Put32(b, 22, static_cast<uint32_t>(H));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<uint32_t>(Bits));
    Put32(b, 30, Compression);
    Put32(b, 34, static_cast<uint32_t>(Data.size()));
    Put32(b, 38, static_cast<uint32_t>(Ppm));
    Put32(b, 42, static_cast<uint32_t>(Ppm));
    Put32(b, 46, ColorsUsed ? ColorsUsed : static_cast<uint32_t>(Palette.size()));
    for (const TRGB& c : Palette) b.insert(b.end(), {c.b, c.g, c.r, 0});
    b.insert(b.end(), Data.begin(), Data.end());
    return b;
}

struct ReadResult {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    std::unique_ptr<TIEMask> Alpha;
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

ReadResult Read(const std::vector<uint8_t>& File, bool Native = false, bool IgnoreAlpha = false, bool Preview = false) {
    ReadResult r;
    r.Params->NativePixelFormat = Native;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadBMPStream(s.get(), r.Bitmap.get(), 0, *r.Params, p.Rec, Preview, false, r.Alpha, IgnoreAlpha);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& Bitmap, TIOParamsVals& Params, bool HandleTransparency = false,
                           bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWriteBMPStream(&s, &Bitmap, Params, p.Rec, HandleTransparency);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

// ---------------------------------------------------------------------------------------
// Files of the independent tools

struct Fixture {
    const char* Name;
    int32_t Bits, Samples;
    TIEPixelFormat Format, NativeFormat;
    uint8_t Version;
};

TEST(BMPRead, FilesOfOtherToolsReadAsImageMagickDecodesThem) {
    const Fixture fixtures[] = {
        {"rgb24", 8, 3, ie24RGB, ie24RGB, 1},    {"pal8", 8, 1, ie24RGB, ie8p, 1},
        {"rle8", 8, 1, ie24RGB, ie8p, 1},        {"pal4", 4, 1, ie24RGB, ie8p, 1},
        {"rgb565", 5, 3, ie24RGB, ie24RGB, 0},   {"rgb555", 5, 3, ie24RGB, ie24RGB, 0},
        {"rgba32", 8, 4, ie24RGB, ie24RGB, 0},   {"os2pal8", 8, 1, ie24RGB, ie8p, 2},
        {"os2rgb24", 8, 3, ie24RGB, ie24RGB, 2}, {"mono1", 1, 1, ie1g, ie1g, 1},
    };
    for (const Fixture& f : fixtures) {
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(f.Name) + (native ? " native" : ""));
            const auto r = Read(ReadBytes(FixturePath("bmp", std::string(f.Name) + ".bmp")), native);
            ASSERT_FALSE(r.Aborted);
            EXPECT_EQ(r.Bitmap->GetPixelFormat(), native ? f.NativeFormat : f.Format);
            EXPECT_EQ(r.Params->BitsPerSample, f.Bits);
            EXPECT_EQ(r.Params->SamplesPerPixel, f.Samples);
            EXPECT_EQ(r.Params->BMPVersion, f.Version);
            EXPECT_EQ(r.Params->Width, 13);
            EXPECT_EQ(r.Params->Height, 7);
            const RefImage ref = LoadRef(FixturePath("bmp", std::string(f.Name) + ".ref.ppm"));
            if (f.Bits == 1) {
                // Two colours that are not black and white: the bits stay as stored, so
                // the picture's lighter colour (index 1) is the set bit, white.
                for (int32_t y = 0; y < 7; ++y)
                    for (int32_t x = 0; x < 13; ++x)
                        EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y).r == 255, ref.At(x, y)[0] == 200) << x << "," << y;
            } else {
                // 5- and 6-bit samples are shifted up, not stretched as ImageMagick does.
                ExpectSameRGB(*r.Bitmap, ref, f.Bits == 5 ? 7 : 0);
            }
            // Plain rows report from 0 on; run-length data at its first end of line.
            if (std::string(f.Name) != "rle8") {
                EXPECT_EQ(r.Reports.empty() ? -1 : r.Reports.front(), 0);
            }
            EXPECT_FALSE(r.Reports.empty());
        }
    }
}

TEST(BMPRead, AlphaOfA32BitFileComesBackAsAMask) {
    const auto file = ReadBytes(FixturePath("bmp", "rgba32.bmp"));
    const RefImage alpha = LoadRef(FixturePath("bmp", "rgba32.alpha.pgm"));
    auto r = Read(file);
    ASSERT_TRUE(r.Alpha);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x) EXPECT_EQ(r.Alpha->GetPixel(x, y), alpha.At(x, y)[0]) << x << "," << y;
    EXPECT_FALSE(Read(file, false, true).Alpha);  // IgnoreAlpha
}

TEST(BMPRead, ThroughTheEngine) {
    VovozIdIOStaticInit();
    IERegisterFormatsCodecs();
    {
        TVovozIdIO io(nullptr);
        io.Params().BMPHandleTransparency = true;
        auto s = MemStream(ReadBytes(FixturePath("bmp", "rgba32.bmp")));
        io.LoadFromStreamBMP(s.get());
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioBMP);
        ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
        EXPECT_EQ(io.GetIEBitmap()->GetAlpha(12, 0), LoadRef(FixturePath("bmp", "rgba32.alpha.pgm")).At(12, 0)[0]);
        // Detection finds the format by its content.
        s->Seek(0, cl::soBeginning);
        EXPECT_EQ(IEFindStreamFormat(s.get()), ioBMP);
        cl::TMemoryStream out;
        io.SaveToStreamBMP(&out);
        EXPECT_FALSE(io.Aborting);
        const auto bytes = StreamBytes(out);
        EXPECT_EQ(Get32(bytes, 2), bytes.size());
    }
    VovozIdIOStaticFinal();
}

// ---------------------------------------------------------------------------------------
// Layout details

TEST(BMPRead, OneBitPaletteWhiteThenBlackIsInverted) {
    const std::vector<uint8_t> rows = {0xA0, 0, 0, 0};  // one row: 1 0 1
    struct Case {
        std::vector<TRGB> Palette;
        bool Inverted;
    } cases[] = {
        {{{255, 255, 255}, {0, 0, 0}}, true},
        {{{0, 0, 0}, {255, 255, 255}}, false},
        {{{0, 0, 255}, {255, 0, 0}}, false},
    };
    for (const Case& c : cases) {
        const auto r = Read(MakeBMP(3, 1, 1, 0, c.Palette, rows));
        ASSERT_FALSE(r.Aborted);
        const uint8_t bits = *static_cast<uint8_t*>(r.Bitmap->GetScanline(0)) & 0xE0;
        EXPECT_EQ(bits, c.Inverted ? 0x40 : 0xA0);
    }
}

TEST(BMPRead, TopDownFilesStartWithTheTopRow) {
    std::vector<TRGB> pal(256);
    for (int i = 0; i < 256; ++i)
        pal[static_cast<size_t>(i)] = TRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    // 2 x 3, rows stored 10 20 / 30 40 / 50 60 (each padded to 4 bytes).
    const std::vector<uint8_t> plain = {10, 20, 0, 0, 30, 40, 0, 0, 50, 60, 0, 0};
    const std::vector<uint8_t> rle = {2, 10, 0, 0, 1, 30, 1, 40, 0, 0, 2, 50, 0, 1};
    for (bool topDown : {false, true}) {
        for (const auto* data : {&plain, &rle}) {
            SCOPED_TRACE(std::to_string(topDown) + (data == &rle ? " rle" : " plain"));
            auto file = MakeBMP(2, 3, 8, data == &rle ? 1 : 0, pal, *data);
            if (topDown) Put32(file, 22, static_cast<uint32_t>(-3));
            const auto r = Read(file);
            ASSERT_FALSE(r.Aborted);
            const int32_t first = topDown ? 0 : 2, last = topDown ? 2 : 0;
            EXPECT_EQ(r.Bitmap->GetPixelRGB(0, first).r, 10);
            EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 1).r, data == &rle ? 40 : 40);
            EXPECT_EQ(r.Bitmap->GetPixelRGB(0, last).r, 50);
            EXPECT_EQ(r.Bitmap->GetPixelRGB(1, first).r, data == &rle ? 10 : 20);
        }
    }
    // 32 bits top-down: the alpha lands in the same rows as the colours.
    std::vector<uint8_t> px = {1, 2, 3, 100, 4, 5, 6, 200};
    auto file = MakeBMP(1, 2, 32, 0, {}, px);
    Put32(file, 22, static_cast<uint32_t>(-2));
    auto r = Read(file);
    ASSERT_TRUE(r.Alpha);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0).b, 1);
    EXPECT_EQ(r.Alpha->GetPixel(0, 0), 100);
    EXPECT_EQ(r.Alpha->GetPixel(0, 1), 200);
}

TEST(BMPRead, HeaderFieldsTable) {
    struct Case {
        const char* Name;
        uint32_t ColorsUsed;
        int32_t Ppm;
        int32_t ColorMapCount, Dpi;
    } cases[] = {
        {"colours 300 count as 256", 300, 2835, 256, 72},
        {"resolution 0 is the default", 0, 0, 256, 300},
        {"3780 per metre is 96", 0, 3780, 256, 96},
        {"negative resolution is the default", 0, -5, 256, 300},
        {"a short palette is filled up to 256", 3, 3780, 256, 96},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<TRGB> pal(c.ColorsUsed == 3 ? 3 : 256, TRGB{9, 9, 9});
        const auto file = MakeBMP(4, 1, 8, 0, pal, {0, 1, 2, 255}, c.ColorsUsed, c.Ppm);
        const auto r = Read(file);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->ColorMapCount, c.ColorMapCount);
        EXPECT_EQ(r.Params->DpiX, c.Dpi);
        if (c.ColorsUsed == 3) {
            EXPECT_EQ(r.Bitmap->GetPixelRGB(2, 0), (TRGB{9, 9, 9}));
            EXPECT_EQ(r.Bitmap->GetPixelRGB(3, 0), (TRGB{0, 0, 0}));  // beyond the palette: black
        }
    }
}

TEST(BMPRead, LongHeadersAndPixelOffset) {
    // A 108-byte header: palette right after it; the file header's offset decides where
    // the pixels start (here after 6 bytes of padding).
    std::vector<uint8_t> b(14 + 108, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 14, 108);
    Put32(b, 18, 2);
    Put32(b, 22, 1);
    Put16(b, 26, 1);
    Put16(b, 28, 8);
    Put32(b, 46, 2);
    b.insert(b.end(), {0, 0, 255, 0, 255, 0, 0, 0});  // red, blue
    b.insert(b.end(), 6, 0xEE);
    const uint32_t offset = static_cast<uint32_t>(b.size());
    b.insert(b.end(), {1, 0, 0, 0});
    Put32(b, 10, offset);
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    const auto r = Read(b);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->BMPVersion, 0);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0), (TRGB{255, 0, 0}));  // blue
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0), (TRGB{0, 0, 255}));  // red
}

TEST(BMPRead, BitFieldsOfAnyLayout) {
    // 16-bit 4-4-4-4 (alpha unused) and 32-bit 10-10-10: a generic shift and scale.
    struct Case {
        int Bits;
        uint32_t R, G, B;
        uint32_t Pixel;
        TRGB Want;
    } cases[] = {
        {16, 0x0F00, 0x00F0, 0x000F, 0x0F84, TRGB{0x40, 0x80, 0xF0}},
        {16, 0xF800, 0x07E0, 0x001F, 0xFFFF, TRGB{0xF8, 0xFC, 0xF8}},
        {16, 0x7C00, 0x03E0, 0x001F, 0x7C00, TRGB{0, 0, 0xF8}},
        {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0x3FF003FF, TRGB{0xFF, 0, 0xFF}},
        {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0x00123456, TRGB{0x12, 0x34, 0x56}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Pixel);
        std::vector<uint8_t> px(4, 0);
        Put32(px, 0, c.Pixel);
        if (c.Bits == 16) px.resize(4);  // one 16-bit pixel plus padding
        auto file = MakeBMP(1, 1, c.Bits, 3, {}, {});
        std::vector<uint8_t> masks(12);
        Put32(masks, 0, c.R);
        Put32(masks, 4, c.G);
        Put32(masks, 8, c.B);
        file.insert(file.end(), masks.begin(), masks.end());
        if (c.Bits == 16) px = {static_cast<uint8_t>(c.Pixel), static_cast<uint8_t>(c.Pixel >> 8), 0, 0};
        file.insert(file.end(), px.begin(), px.end());
        Put32(file, 10, 66);
        const auto r = Read(file);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0), c.Want);
    }
}

TEST(BMPRead, AlphaAllZeroOrAllOpaqueGivesNoMask) {
    for (uint8_t a : {0, 255}) {
        const auto r = Read(MakeBMP(2, 1, 32, 0, {}, {1, 2, 3, a, 4, 5, 6, a}));
        ASSERT_FALSE(r.Aborted);
        EXPECT_FALSE(r.Alpha) << int(a);
    }
}

TEST(BMPRead, RunLength4WithDeltaAndLiterals) {
    std::vector<TRGB> pal(16);
    for (int i = 0; i < 16; ++i) pal[static_cast<size_t>(i)] = TRGB{static_cast<uint8_t>(i * 16), 0, 0};
    // 6 x 2: bottom row: run of 3 alternating 1/2, literal 3 4 5; end of line; delta
    // (2, 0); run of 4 of 7. What the data skips is index 0.
    const std::vector<uint8_t> data = {3, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 0, 4, 0x77, 0, 1};
    for (bool native : {false, true}) {
        const auto r = Read(MakeBMP(6, 2, 4, 2, pal, data), native);
        ASSERT_FALSE(r.Aborted);
        auto idx = [&](int x, int y) {
            return native ? static_cast<uint8_t*>(r.Bitmap->GetScanline(y))[x] : r.Bitmap->GetPixelRGB(x, y).b / 16;
        };
        const int bottom[6] = {1, 2, 1, 3, 4, 5};
        for (int x = 0; x < 6; ++x) EXPECT_EQ(idx(x, 1), bottom[x]) << x;
        for (int x = 0; x < 6; ++x) EXPECT_EQ(idx(x, 0), x < 2 ? 0 : 7) << x;
    }
}

// ---------------------------------------------------------------------------------------
// Writing

TEST(BMPWrite, WorkedExampleGreyMask) {
    auto b = Make24(3, 2, [](int x, int y) {
        const uint8_t v = static_cast<uint8_t>(x * 100 + y * 7);
        return TRGB{v, v, v};
    });
    TIOParamsVals params(nullptr);
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 1;
    params.SetDpiX(300);
    params.SetDpiY(300);
    const auto f = Write(*b, params);
    ASSERT_EQ(f.size(), 1086u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(Get32(f, 2), 1086u);
    EXPECT_EQ(Get32(f, 6), 0u);
    EXPECT_EQ(Get32(f, 10), 1078u);
    EXPECT_EQ(Get32(f, 14), 40u);
    EXPECT_EQ(Get32(f, 18), 3u);
    EXPECT_EQ(Get32(f, 22), 2u);
    EXPECT_EQ(f[26] | f[27] << 8, 1);
    EXPECT_EQ(f[28] | f[29] << 8, 8);
    EXPECT_EQ(Get32(f, 30), 0u);
    EXPECT_EQ(Get32(f, 34), 8u);
    EXPECT_EQ(Get32(f, 38), 11811u);
    EXPECT_EQ(Get32(f, 42), 11811u);
    EXPECT_EQ(Get32(f, 46), 256u);
    EXPECT_EQ(Get32(f, 50), 256u);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(Get32(f, 54 + 4 * i), i | i << 8 | i << 16) << i;
    // Bottom row first: 7 107 207, pad 0; then 0 100 200, pad 0.
    const std::vector<uint8_t> rows(f.begin() + 1078, f.end());
    EXPECT_EQ(rows, (std::vector<uint8_t>{7, 107, 207, 0, 0, 100, 200, 0}));
}

TEST(BMPWrite, RunLengthEncoders) {
    struct Case {
        bool Four;
        std::vector<uint8_t> In, Out;
    } cases[] = {
        {true, {1, 2, 3}, {0, 3, 0x12, 0x30, 0, 0}},
        {false, {5, 6, 7}, {0, 3, 5, 6, 7, 0, 0, 0}},
        {false, {9, 9}, {2, 9, 0, 0}},
        {false, {4}, {1, 4, 0, 0}},
        {false, {4, 5}, {1, 4, 1, 5, 0, 0}},
        {true, {4, 5}, {2, 0x45, 0, 0}},
        {true, {3, 3, 3}, {3, 0x33, 0, 0}},
        {false, {1, 2, 3, 3, 3}, {1, 1, 1, 2, 3, 3, 0, 0}},
        {false, std::vector<uint8_t>(300, 8), {255, 8, 45, 8, 0, 0}},
        {false, {}, {0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.In.size() * 10 + 2, 0xCC);
        const int32_t n = c.Four ? IEEncodeRLE4(c.In.data(), static_cast<int32_t>(c.In.size()), out.data())
                                 : IEEncodeRLE8(c.In.data(), static_cast<int32_t>(c.In.size()), out.data());
        out.resize(static_cast<size_t>(n));
        EXPECT_EQ(out, c.Out) << c.In.size();
    }
    // Long literal stretches are cut in pieces of at most 255 and decode back.
    std::vector<uint8_t> in(700);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 7 % 16);
    for (bool four : {false, true}) {
        std::vector<uint8_t> out(in.size() * 10 + 2);
        const int32_t n = four ? IEEncodeRLE4(in.data(), 700, out.data()) : IEEncodeRLE8(in.data(), 700, out.data());
        TIEBitmap b(700, 1, ie8p);
        Progress p;
        p.Rec.Per = 100;
        four ? IEDecodeRLE4Index(&b, out.data(), n, 0, p.Rec) : IEDecodeRLE8Index(&b, out.data(), n, 0, p.Rec);
        EXPECT_EQ(std::memcmp(b.GetScanline(0), in.data(), 700), 0) << four;
    }
}

struct WriteCase {
    const char* Name;
    int32_t Bits, Samples;
    uint8_t Version, Compression;
    int32_t FileBits;
    int Tolerance;
};

TEST(BMPWrite, OurFilesReadBackByImageMagick) {
    // 16 colours (so that the 4- and 8-bit files are exact) on an odd width.
    const TRGB colours[16] = {{0, 0, 0},     {255, 255, 255}, {0, 0, 255},     {0, 255, 0}, {255, 0, 0}, {0, 255, 255},
                              {255, 255, 0}, {255, 0, 255},   {0, 0, 128},     {0, 128, 0}, {128, 0, 0}, {0, 128, 128},
                              {128, 128, 0}, {128, 0, 128},   {192, 192, 192}, {64, 64, 64}};
    auto src = Make24(37, 11, [&](int x, int y) { return colours[(x / 3 + y * 5) % 16]; });
    // clang-format off
    const WriteCase cases[] = {
        {"24", 8, 3, 1, 0, 24, 0},         {"8", 8, 1, 1, 0, 8, 0},       {"8 rle", 8, 1, 1, 1, 8, 0},
        {"4", 4, 1, 1, 0, 4, 0},           {"4 rle", 4, 1, 1, 1, 4, 0},   {"os2 8", 8, 1, 2, 0, 8, 0},
        {"os2 24", 8, 3, 2, 0, 24, 0},     {"64-byte 24", 8, 3, 3, 0, 24, 0},
        {"os2 rle is plain", 8, 1, 2, 1, 8, 0},
    };
    // clang-format on
    const std::string dir = ::testing::TempDir();
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TIOParamsVals params(nullptr);
        params.BitsPerSample = c.Bits;
        params.SamplesPerPixel = c.Samples;
        params.BMPVersion = c.Version;
        params.BMPCompression = c.Compression;
        bool aborted = true;
        const auto f = Write(*src, params, false, &aborted);
        ASSERT_FALSE(aborted);
        const std::string path = dir + "/lumetra_bmpw_" + std::to_string(::getpid()) + ".bmp";
        WriteBytes(path, f);
        const RefImage im = DecodeWithImageMagick(path);
        std::remove(path.c_str());
        ExpectSameRGB(*src, im, c.Tolerance);
        const bool os2 = c.Version == 2;
        EXPECT_EQ(f[14], os2 ? 12 : c.Version == 3 ? 64 : 40);
        EXPECT_EQ(os2 ? f[24] : f[28], c.FileBits);
        if (!os2) {
            EXPECT_EQ(Get32(f, 30), c.Compression ? (c.FileBits == 4 ? 2u : 1u) : 0u);
        }
        // And by ourselves.
        const auto r = Read(f);
        ASSERT_FALSE(r.Aborted);
        ExpectSameRGB(*r.Bitmap, im);
    }
}

TEST(BMPWrite, OneBitFilesKeepTwoColoursOrThreshold) {
    const std::string path = ::testing::TempDir() + "/lumetra_bmp1_" + std::to_string(::getpid()) + ".bmp";
    // Two colours: they become the palette, the darker first.
    auto two = Make24(10, 3, [](int x, int y) { return (x + y) % 3 ? TRGB{20, 200, 20} : TRGB{90, 10, 10}; });
    TIOParamsVals params(nullptr);
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
    auto f = Write(*two, params);
    ASSERT_EQ(f[28], 1);
    EXPECT_EQ(Get32(f, 54), 0x0A0A5Au);  // (10, 10, 90) as blue, green, red
    EXPECT_EQ(Get32(f, 58), 0x14C814u);
    WriteBytes(path, f);
    ExpectSameRGB(*two, DecodeWithImageMagick(path));
    // An ie1g image: palette black, white and the bits as they are.
    TIEBitmap mono(10, 3, ie1g);
    mono.Fill(0);
    static_cast<uint8_t*>(mono.GetScanline(1))[0] = 0xF0;
    f = Write(mono, params);
    WriteBytes(path, f);
    ExpectSameRGB(mono, DecodeWithImageMagick(path));
    std::remove(path.c_str());
    // Written at 8 bits, an ie1g image gets the grey ramp with its pixels at 0 and 255.
    params.BitsPerSample = 8;
    f = Write(mono, params);
    ASSERT_EQ(f[28], 8);
    EXPECT_EQ(Get32(f, 54 + 4 * 200), 0xC8C8C8u);
    const auto r = Read(f, true);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(1))[0], 255);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(1))[5], 0);
}

TEST(BMPWrite, AlphaChannelMakes32Bits) {
    auto b = Make24(3, 1, [](int x, int) { return TRGB{static_cast<uint8_t>(x), 2, 3}; });
    b->GetAlphaChannel();
    b->SetAlpha(1, 0, 77);
    TIOParamsVals params(nullptr);
    for (bool handle : {false, true}) {
        const auto f = Write(*b, params, handle);
        ASSERT_EQ(f[28], 32);
        const size_t px = Get32(f, 10);
        EXPECT_EQ(f[px + 4 + 3], handle ? 77 : 255);
        EXPECT_EQ(f[px + 3], 255);
        const auto r = Read(f);
        EXPECT_EQ(static_cast<bool>(r.Alpha), handle);
    }
}

TEST(BMPWrite, OtherPixelFormatsGoThrough24BitsAndTheSourceStays) {
    for (TIEPixelFormat fmt : {ie8g, ie16g, ieRGB48, ie32f, ieCMYK, ieCIELab, ie32RGB}) {
        SCOPED_TRACE(static_cast<int>(fmt));
        auto src = Make24(5, 4, [](int x, int y) {
            return TRGB{static_cast<uint8_t>(x * 50), static_cast<uint8_t>(y * 60), static_cast<uint8_t>(x * y * 10)};
        });
        ASSERT_TRUE(src->SetPixelFormat(fmt));
        TIEBitmap before;
        before.Assign(src.get());
        TIOParamsVals params(nullptr);
        bool aborted = true;
        const auto f = Write(*src, params, false, &aborted);
        ASSERT_FALSE(aborted);
        EXPECT_EQ(src->GetPixelFormat(), fmt);
        for (int32_t y = 0; y < 4; ++y)
            EXPECT_EQ(std::memcmp(src->GetScanline(y), before.GetScanline(y), static_cast<size_t>(src->GetRowLen())),
                      0);
        const auto r = Read(f);
        ASSERT_FALSE(r.Aborted);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y), src->GetPixelRGB(x, y));
    }
}

TEST(BMPWrite, ShortWriteSetsTheAbortFlagAndLeavesPlaceholders) {
    // A stream that takes its first Limit bytes and nothing more.
    class Limited : public cl::TMemoryStream {
    public:
        explicit Limited(int64_t L) : limit(L) {}
        int64_t Write(const void* B, int64_t C) override {
            const int64_t n = std::max<int64_t>(0, std::min(C, limit - GetPosition()));
            return n ? cl::TMemoryStream::Write(B, n) : 0;
        }
        int64_t limit;
    };
    auto b = Make24(20, 20, [](int x, int y) { return TRGB{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0}; });
    for (int64_t limit : {0, 10, 54, 300}) {
        Limited s(limit);
        TIOParamsVals params(nullptr);
        Progress p;
        IEWriteBMPStream(&s, b.get(), params, p.Rec, false);
        EXPECT_TRUE(p.Aborting) << limit;
        if (s.GetSize() >= 14) {
            const auto bytes = StreamBytes(s);
            EXPECT_EQ(Get32(bytes, 2), 0u);  // the size was never filled in
        }
    }
}

// ---------------------------------------------------------------------------------------
// Damaged files

TEST(BMPRead, DamagedFilesSetTheAbortFlag) {
    std::vector<TRGB> pal(256);
    const auto good8 = MakeBMP(4, 2, 8, 0, pal, std::vector<uint8_t>(8, 1));
    const auto good24 = MakeBMP(3, 2, 24, 0, {}, std::vector<uint8_t>(24, 9));
    const auto goodRle = MakeBMP(4, 2, 8, 1, pal, {4, 1, 0, 0, 4, 2, 0, 1});
    auto with = [](std::vector<uint8_t> f, size_t at, uint32_t v, int size = 4) {
        if (size == 4)
            Put32(f, at, v);
        else
            Put16(f, at, v);
        return f;
    };
    auto cut = [](std::vector<uint8_t> f, size_t n) {
        f.resize(n);
        return f;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        bool Allocated;  // whether the failure may come after the bitmap was allocated
    };
    const std::vector<Case> cases = {
        {"empty", {}, false},
        {"signature", with(good8, 0, 0x4D42 ^ 0x0101, 2), false},
        {"cut file header", cut(good8, 10), false},
        {"cut info header", cut(good8, 30), false},
        {"cut palette", cut(good8, 54 + 100), false},
        {"cut rows", cut(good8, good8.size() - 5), false},
        {"cut 24-bit rows", cut(good24, good24.size() - 7), false},
        {"width 0", with(good8, 18, 0), false},
        {"negative width", with(good8, 18, static_cast<uint32_t>(-4)), false},
        {"height 0", with(good8, 22, 0), false},
        {"height INT_MIN", with(good8, 22, 0x80000000u), false},
        {"huge width", with(good8, 18, 0x7FFFFFFF), false},
        {"huge height", with(good24, 22, 0x7FFFFFFF), false},
        {"huge run-length image", with(with(goodRle, 18, 1000000), 22, 1000000), false},
        {"bit count 3", with(good8, 28, 3, 2), false},
        {"bit count 0", with(good8, 28, 0, 2), false},
        {"JPEG inside", with(good24, 30, 4), false},
        {"PNG inside", with(good24, 30, 5), false},
        {"run-length 4 on 8 bits", with(good8, 30, 2), false},
        {"pixel offset past the end", with(good8, 10, 0x7FFFFFF0), false},
        {"header size huge", with(good8, 14, 0xFFFFFFF0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File);
        EXPECT_TRUE(r.Aborted);
        if (!c.Allocated) {
            EXPECT_EQ(r.Bitmap->GetWidth(), 0);
        }
    }
}

TEST(BMPRead, BrokenRunLengthDataEndsWithinTheImage) {
    std::vector<TRGB> pal(256, TRGB{1, 1, 1});
    // clang-format off
    const std::vector<std::vector<uint8_t>> streams = {
        {0, 200, 1, 2},                 // a literal longer than the data
        {0, 2, 250, 250, 5, 5},         // a delta far outside
        {0, 2, 1},                      // a cut delta
        {255, 7, 255, 7, 255, 7},       // runs past the row end
        {0, 0, 0, 0, 0, 0, 0, 0, 3, 3}, // more lines than rows
        {0},                            // one byte
        {0, 5, 1, 2, 3, 4, 5},          // literal without its pad byte at the end
    };
    // clang-format on
    for (int bits : {4, 8})
        for (const auto& s : streams) {
            SCOPED_TRACE(bits);
            const auto r =
                Read(MakeBMP(5, 3, bits, bits == 4 ? 2 : 1, std::vector<TRGB>(bits == 4 ? 16 : 256, TRGB{1, 1, 1}), s));
            if (s.size() >= 2) {
                EXPECT_FALSE(r.Aborted);  // what is there is shown
            }
        }
}

TEST(BMPRead, PreviewReadsTheParametersOnly) {
    const auto r = Read(ReadBytes(FixturePath("bmp", "pal8.bmp")), false, false, true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->Width, 13);
    EXPECT_EQ(r.Params->ColorMapCount, 256);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
}

}  // namespace
}  // namespace ie::test
