// Drawing a TIEBitmap into a 24-bit bitmap: the coordinate mapping and clipping, opacity
// and alpha, the display adjustments, every source format against its own pixel reader,
// the destinations that are refused, the resampler hand-off and the stretch that writes
// the destination's alpha channel.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;
using test::MakeAt;
using test::PlaceAt;

class RenderTest : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        IELibraryStaticInit();
    }
    void TearDown() override {
        IELibraryStaticFinal();
        ImagingTest::TearDown();
    }
};

// A source whose pixel (x, y) has red x, green y and blue 7.
std::unique_ptr<TIEBitmap> Coordinates(int32_t w, int32_t h) {
    auto b = TIEBitmap::CreateWithSize(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b->SetPixel24(x, y, CreateRGB(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7));
    return b;
}

std::unique_ptr<TIEBitmap> Filled(int32_t w, int32_t h, TRGB c) {
    auto b = TIEBitmap::CreateWithSize(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b->SetPixel24(x, y, c);
    return b;
}

void Draw(TIEBitmap& src, TIEBitmap& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
          int32_t sw, int32_t sh, int32_t opacity = 255, TIEBlendOperation op = boCopy) {
    src.DrawToTIEBitmap(&dst, dx, dy, dw, dh, sx, sy, sw, sh, opacity, rfNone, op);
}

TEST_F(RenderTest, MagnifiedTwiceEveryPixelComesFromHalfItsPosition) {
    auto src = Coordinates(10, 10);
    auto dst = Filled(20, 20, TRGB{});
    Draw(*src, *dst, 0, 0, 20, 20, 0, 0, 10, 10);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(dst->GetPixel24(x, y), CreateRGB(static_cast<uint8_t>(x / 2), static_cast<uint8_t>(y / 2), 7))
                << x << "," << y;
}

TEST_F(RenderTest, NegativeOriginMovesTheSourceStartByTheRatio) {
    auto src = Coordinates(40, 10);
    auto dst = Filled(20, 10, TRGB{});
    // 10 destination columns from x = -5 show 20 source columns: column 0 shows source 10.
    Draw(*src, *dst, -5, 0, 10, 10, 0, 0, 20, 10);
    EXPECT_EQ(dst->GetPixel24(0, 0).r, 10);
    EXPECT_EQ(dst->GetPixel24(1, 0).r, 12);
    EXPECT_EQ(dst->GetPixel24(4, 0).r, 18);
    EXPECT_EQ(dst->GetPixel24(5, 0), TRGB{});  // beyond the rectangle
}

TEST_F(RenderTest, OverhangAndOneToOneSpansStayInsideBoth) {
    auto src = Coordinates(8, 8);
    auto dst = Filled(6, 5, CreateRGB(1, 1, 1));
    Draw(*src, *dst, 3, 2, 8, 8, 0, 0, 8, 8);  // 1:1, cut at the right and bottom
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const TRGB want = x >= 3 && y >= 2 ? CreateRGB(static_cast<uint8_t>(x - 3), static_cast<uint8_t>(y - 2), 7)
                                               : CreateRGB(1, 1, 1);
            ASSERT_EQ(dst->GetPixel24(x, y), want) << x << "," << y;
        }
}

TEST_F(RenderTest, GeometryThatLeavesNothingOrOverflowsDrawsSafely) {
    auto src = Coordinates(8, 8);
    struct Geo {
        int32_t dx, dy, dw, dh, sx, sy, sw, sh;
    };
    // clang-format off
    const Geo cases[] = {
        {0, 0, 0, 8, 0, 0, 8, 8},       {0, 0, 8, 8, 0, 0, 0, 8},       {8, 0, 8, 8, 0, 0, 8, 8},
        {0, 8, 8, 8, 0, 0, 8, 8},       {-100, 0, 50, 8, 0, 0, 8, 8},   {0, 0, -4, 8, 0, 0, 8, 8},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 8, 8},
        {0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {0, 0, 8, 8, 100, 100, 8, 8},   {0, 0, 8, 8, -100, -100, 8, 8}, {7, 7, 1, 1, 0, 0, INT_MAX, INT_MAX},
        {-3, -3, 4, 4, 0, 0, 2, 2},
    };
    // clang-format on
    for (const auto& g : cases) {
        auto dst = Filled(8, 8, CreateRGB(9, 9, 9));
        for (int32_t opacity : {255, 100}) Draw(*src, *dst, g.dx, g.dy, g.dw, g.dh, g.sx, g.sy, g.sw, g.sh, opacity);
        // Whatever was drawn came from the source (red and green below 8, blue 7) or is
        // the old colour, mixed at most.
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) EXPECT_LE(dst->GetPixel24(x, y).b, 9);
    }
}

TEST_F(RenderTest, ConstantOpacityMixesDownward) {
    auto src = Filled(4, 4, CreateRGB(255, 255, 255));
    auto dst = Filled(4, 4, TRGB{});
    Draw(*src, *dst, 0, 0, 4, 4, 0, 0, 4, 4, 128);
    EXPECT_EQ(dst->GetPixel24(2, 2), CreateRGB(127, 127, 127));
    // From white to black the floor goes the other way: 255 + floor(128 x -255 / 256) = 127.
    auto black = Filled(4, 4, TRGB{});
    auto white = Filled(4, 4, CreateRGB(255, 255, 255));
    Draw(*black, *white, 0, 0, 4, 4, 0, 0, 4, 4, 128);
    EXPECT_EQ(white->GetPixel24(1, 1), CreateRGB(127, 127, 127));
}

TEST_F(RenderTest, AlphaChannelLimitsOpacityUnlessItIsFull) {
    auto src = Filled(3, 1, CreateRGB(200, 100, 0));
    for (int32_t x = 0; x < 3; ++x) src->SetAlpha(x, 0, static_cast<uint8_t>(x * 100));  // 0, 100, 200
    src->GetAlphaChannel()->Full = false;
    auto dst = Filled(3, 1, CreateRGB(0, 100, 200));
    Draw(*src, *dst, 0, 0, 3, 1, 0, 0, 3, 1);
    EXPECT_EQ(dst->GetPixel24(0, 0), CreateRGB(0, 100, 200));   // alpha 0
    EXPECT_EQ(dst->GetPixel24(1, 0), CreateRGB(78, 100, 121));  // 100 x 200 / 256
    EXPECT_EQ(dst->GetPixel24(2, 0), CreateRGB(156, 100, 43));  // 200 x 200 / 256
    // With opacity below the alpha the smaller one wins.
    auto dst2 = Filled(3, 1, CreateRGB(0, 100, 200));
    Draw(*src, *dst2, 0, 0, 3, 1, 0, 0, 3, 1, 100);
    EXPECT_EQ(dst2->GetPixel24(2, 0), CreateRGB(78, 100, 121));  // 200 + floor(-78.1)
    // A channel marked full is not read: the plain copy.
    src->GetAlphaChannel()->Full = true;
    auto dst3 = Filled(3, 1, CreateRGB(0, 100, 200));
    Draw(*src, *dst3, 0, 0, 3, 1, 0, 0, 3, 1);
    EXPECT_EQ(dst3->GetPixel24(0, 0), CreateRGB(200, 100, 0));
}

TEST_F(RenderTest, AdjustmentsThatChangeNothingMatchThePlainPath) {
    auto src = Coordinates(16, 16);
    auto plain = Filled(16, 16, TRGB{});
    Draw(*src, *plain, 0, 0, 16, 16, 0, 0, 16, 16);
    src->ChannelOffsetEnabled = 1;  // offsets 0, contrast 0: the adjusted path
    auto adjusted = Filled(16, 16, TRGB{});
    Draw(*src, *adjusted, 0, 0, 16, 16, 0, 0, 16, 16);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(adjusted->GetPixel24(x, y), plain->GetPixel24(x, y));
}

struct AdjustCase {
    const char* name;
    TIEPixelFormat format;
    int32_t contrast;
    int32_t offsetRed;
    TRGB source;  // for ieRGB48 each channel becomes a word v x 257
    TRGB want;
};

const AdjustCase kAdjustCases[] = {
    {"contrast -100 flattens 24", ie24RGB, -100, 0, CreateRGB(0, 77, 255), CreateRGB(128, 128, 128)},
    {"contrast -100 flattens 32", ie32RGB, -100, 0, CreateRGB(0, 77, 255), CreateRGB(128, 128, 128)},
    {"contrast -100 flattens 48", ieRGB48, -100, 0, CreateRGB(0, 77, 255), CreateRGB(128, 128, 128)},
    // F = 2: (200 - 128) x 2 + 128 = 272 -> 255; (100 - 128) x 2 + 128 = 72; (0 - 128) x 2 + 128 < 0
    {"contrast 10 doubles 24", ie24RGB, 10, 0, CreateRGB(200, 100, 0), CreateRGB(255, 72, 0)},
    // 48: w = 100 x 257 = 25700: (25700 - 32768) x 2 + 32768 = 18632, / 256 = 72.78 -> 72
    {"contrast 10 doubles 48", ieRGB48, 10, 0, CreateRGB(200, 100, 0), CreateRGB(255, 72, 0)},
    // F = 1 - sqrt(25)/10 = 0.5, K = 32768: (100 + 20 - 128) x 32768 div 65536 = -4 -> 124
    {"offset and contrast -25 on red", ie24RGB, -25, 20, CreateRGB(100, 100, 100), CreateRGB(124, 114, 114)},
};

TEST_F(RenderTest, OffsetsAndContrastPerFormat) {
    for (const auto& c : kAdjustCases) {
        TIEBitmap src(2, 2, c.format);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 2; ++x) {
                if (c.format == ieRGB48)
                    src.SetPixel48(
                        x, y,
                        TRGB48{static_cast<uint16_t>(c.source.r * 257), static_cast<uint16_t>(c.source.g * 257),
                               static_cast<uint16_t>(c.source.b * 257)});
                else if (c.format == ie32RGB) {
                    auto* p = static_cast<uint8_t*>(src.GetScanline(y)) + 4 * x;
                    p[0] = c.source.b;
                    p[1] = c.source.g;
                    p[2] = c.source.r;
                } else
                    src.SetPixel24(x, y, c.source);
            }
        src.Contrast = c.contrast;
        src.ChannelOffsetEnabled = c.offsetRed != 0;
        src.ChannelOffset[0] = c.offsetRed;
        auto dst = Filled(2, 2, CreateRGB(5, 5, 5));
        Draw(src, *dst, 0, 0, 2, 2, 0, 0, 2, 2);
        EXPECT_EQ(dst->GetPixel24(1, 1), c.want) << c.name;
    }
}

TEST_F(RenderTest, DisplayRangeStretchesGreyFormats) {
    struct Case {
        TIEPixelFormat format;
        double lo, hi;
        double value;
        uint8_t want;
        // clang-format off
    } cases[] = {
        {ie16g, 1000, 2000, 500, 0},     {ie16g, 1000, 2000, 1000, 0},    {ie16g, 1000, 2000, 1500, 127},
        {ie16g, 1000, 2000, 2000, 255},  {ie16g, 1000, 2000, 65535, 255}, {ie8g, 100, 200, 150, 127},
        {ie8g, 100, 200, 50, 0},         {ie8g, 100, 200, 250, 255},      {ie32f, 0.25, 0.75, 0.5, 127},
        {ie32f, 0.25, 0.75, -3, 0},      {ie32f, 0.25, 0.75, 9, 255},     {ie24RGB, 100, 200, 150, 127},
        {ie16g, 0, 0, 0x1234, 0x12},     {ie32f, 0, 0, 2.0, 255},         {ie32f, 0, 0, -1.0, 0},
        {ie32f, 0, 0, std::numeric_limits<double>::quiet_NaN(), 0},        {ie32f, 0, 0, 0.5, 127},
    };
    // clang-format on
    for (const auto& c : cases) {
        TIEBitmap src(1, 1, c.format);
        switch (c.format) {
            case ie16g: src.SetPixel16(0, 0, static_cast<uint16_t>(c.value)); break;
            case ie8g: src.SetPixel8(0, 0, static_cast<uint8_t>(c.value)); break;
            case ie32f: src.SetPixel32f(0, 0, static_cast<float>(c.value)); break;
            default: {
                const auto v = static_cast<uint8_t>(c.value);
                src.SetPixel24(0, 0, TRGB{v, v, v});
            }
        }
        src.DisplayMin = c.lo;
        src.DisplayMax = c.hi;
        auto dst = Filled(1, 1, CreateRGB(9, 9, 9));
        Draw(src, *dst, 0, 0, 1, 1, 0, 0, 1, 1);
        EXPECT_EQ(dst->GetPixel24(0, 0), (TRGB{c.want, c.want, c.want}))
            << int(c.format) << " " << c.lo << ".." << c.hi << " value " << c.value;
    }
}

// Every source format, in every place, drawn 1:1 and magnified, shows what its own pixel
// reader says; with opacity it is mixed over the destination.
const char* const kPlaceNames[] = {"Memory", "File", "TBitmap"};

class RenderFormats : public RenderTest,
                      public ::testing::WithParamInterface<std::tuple<TIEPixelFormat, TIELocation>> {};

TEST_P(RenderFormats, DrawnPixelsAreThePixelReadersColours) {
    const auto [format, place] = GetParam();
    TIEBitmap src;
    ASSERT_TRUE(MakeAt(src, place, 7, 5, format));
    if (format == ie8p)
        for (int32_t i = 0; i < 256; ++i)
            src.SetPaletteEntry(
                i, CreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3)));
    test::FillPattern(src, 3);
    if (format == ie32f)
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x) src.SetPixel32f(x, y, static_cast<float>((x * 5 + y) / 40.0));
    std::vector<TRGB> want;
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x) want.push_back(src.GetPixelRGB(x, y));
    const TRGB under = CreateRGB(40, 80, 120);
    for (int32_t scale : {1, 3}) {
        auto dst = Filled(7 * scale, 5 * scale, under);
        Draw(src, *dst, 0, 0, 7 * scale, 5 * scale, 0, 0, 7, 5);
        auto mixed = Filled(7 * scale, 5 * scale, under);
        Draw(src, *mixed, 0, 0, 7 * scale, 5 * scale, 0, 0, 7, 5, 64);
        for (int32_t y = 0; y < 5 * scale; ++y)
            for (int32_t x = 0; x < 7 * scale; ++x) {
                const TRGB p = want[static_cast<size_t>((y / scale) * 7 + x / scale)];
                ASSERT_EQ(dst->GetPixel24(x, y), p) << x << "," << y << " scale " << scale;
                auto mix = [](int d, int s) {
                    return static_cast<uint8_t>(d + static_cast<int>(std::floor(64.0 * (s - d) / 256)));
                };
                ASSERT_EQ(mixed->GetPixel24(x, y), CreateRGB(mix(under.r, p.r), mix(under.g, p.g), mix(under.b, p.b)))
                    << x << "," << y << " scale " << scale;
            }
    }
}

// Every format in memory and in a temporary file; those a TBitmap holds in one as well.
std::vector<std::tuple<TIEPixelFormat, TIELocation>> FormatPlaces() {
    std::vector<std::tuple<TIEPixelFormat, TIELocation>> out;
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB})
        for (TIELocation l : {ieMemory, ieFile, ieTBitmap})
            if (l != ieTBitmap || test::TBitmapHolds(f)) out.emplace_back(f, l);
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, RenderFormats, ::testing::ValuesIn(FormatPlaces()), [](const auto& info) {
    return "f" + std::to_string(int(std::get<0>(info.param))) + "_" + kPlaceNames[std::get<1>(info.param)];
});

TEST_F(RenderTest, DestinationsThatCannotTakeTheRowsAreLeftAlone) {
    auto src = Filled(4, 4, CreateRGB(255, 0, 0));
    auto rows = [](TIEBitmap& b) {
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < b.GetHeight(); ++y) {
            const auto* p = static_cast<const uint8_t*>(b.GetScanline(y));
            out.insert(out.end(), p, p + b.GetRowLen());
        }
        return out;
    };
    // Not 24 bits: rows of another length.
    for (TIEPixelFormat f : {ie32RGB, ie8g, ie1g, ieRGB48}) {
        TIEBitmap dst(4, 4, f);
        dst.Fill(0);
        const auto before = rows(dst);
        Draw(*src, dst, 0, 0, 4, 4, 0, 0, 4, 4);
        EXPECT_EQ(rows(dst), before) << int(f);
    }
    // In a temporary file: no row stays valid.
    TIEBitmap inFile;
    ASSERT_TRUE(MakeAt(inFile, ieFile, 4, 4, ie24RGB));
    inFile.Fill(0);
    Draw(*src, inFile, 0, 0, 4, 4, 0, 0, 4, 4);
    EXPECT_TRUE(inFile.IsAllZero());
    // A 32-bit TBitmap.
    cl::TBitmap vcl;
    vcl.SetPixelFormat(cl::pf32bit);
    vcl.SetSize(4, 4);
    for (int32_t y = 0; y < 4; ++y) std::memset(vcl.ScanLine(y), 0x33, 16);
    src->DrawToTBitmap(&vcl, 0, 0, 4, 4, 0, 0, 4, 4, 255, rfNone, boCopy);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t*>(vcl.ScanLine(y))[i], 0x33);
}

TEST_F(RenderTest, IntoA24BitTBitmap) {
    auto src = Coordinates(5, 4);
    cl::TBitmap vcl;
    vcl.SetPixelFormat(cl::pf24bit);
    vcl.SetSize(10, 8);
    src->DrawToTBitmap(&vcl, 0, 0, 10, 8, 0, 0, 5, 4, 255, rfNone, boCopy);
    for (int32_t y = 0; y < 8; ++y) {
        const auto* row = static_cast<const uint8_t*>(vcl.ScanLine(y));
        for (int32_t x = 0; x < 10; ++x) {
            ASSERT_EQ(row[3 * x + 2], x / 2);
            ASSERT_EQ(row[3 * x + 1], y / 2);
        }
    }
}

TEST_F(RenderTest, ClipKeepsEverythingOutsideAndRowReuseToo) {
    auto src = Coordinates(4, 2);
    for (bool reuse : {false, true}) {
        auto dst = Filled(16, 16, CreateRGB(9, 9, 9));
        TIERowCache rc;
        TIECoordTable xt, yt;
        const cl::TRect clip{2, 3, 9, 12};  // inclusive
        src->RenderToTIEBitmap(dst.get(), rc, xt, yt, &clip, 0, 0, 16, 16, 0, 0, 4, 2, false, reuse, 255, rfNone, true,
                               boCopy);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x) {
                const bool in = x >= 2 && x <= 9 && y >= 3 && y <= 12;
                ASSERT_EQ(
                    dst->GetPixel24(x, y),
                    in ? CreateRGB(static_cast<uint8_t>(x / 4), static_cast<uint8_t>(y / 8), 7) : CreateRGB(9, 9, 9))
                    << x << "," << y << " reuse " << reuse;
            }
        EXPECT_TRUE(rc.empty() && xt.empty() && yt.empty());
    }
}

TEST_F(RenderTest, BuffersKeptForTheNextRepaintGiveTheSameImage) {
    auto src = Coordinates(6, 6);
    auto first = Filled(12, 12, TRGB{});
    TIERowCache rc;
    TIECoordTable xt, yt;
    src->RenderToTIEBitmap(first.get(), rc, xt, yt, nullptr, 0, 0, 12, 12, 0, 0, 6, 6, false, true, 255, rfNone, false,
                           boCopy);
    ASSERT_EQ(rc.size(), 12u);
    ASSERT_GE(xt.size(), 12u);
    ASSERT_GE(yt.size(), 12u);
    EXPECT_EQ(xt[11], 5);
    auto second = Filled(12, 12, TRGB{});
    TIERowCache rc2;  // another destination: its own rows
    src->RenderToTIEBitmap(second.get(), rc2, xt, yt, nullptr, 0, 0, 12, 12, 0, 0, 6, 6, false, true, 255, rfNone, true,
                           boCopy);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x) ASSERT_EQ(second->GetPixel24(x, y), first->GetPixel24(x, y));
    // A row cache of another bitmap is not written through.
    auto third = Filled(12, 12, TRGB{});
    TIECoordTable none1, none2;
    src->RenderToTIEBitmap(third.get(), rc, none1, none2, nullptr, 0, 0, 12, 12, 0, 0, 6, 6, false, false, 255, rfNone,
                           true, boCopy);
    EXPECT_EQ(third->GetPixel24(11, 11), CreateRGB(5, 5, 7));
}

TEST_F(RenderTest, TablesRunningBeyondTheSourceShortenTheSpan) {
    auto src = Coordinates(4, 4);
    auto dst = Filled(8, 8, CreateRGB(9, 9, 9));
    TIERowCache rc;
    TIECoordTable xt = {0, 1, 2, 3, 4, 5, 6, 7}, yt = {0, 1, 2, 3, 99, 99, 99, 99};
    src->RenderToTIEBitmap(dst.get(), rc, xt, yt, nullptr, 0, 0, 8, 8, 0, 0, 4, 4, false, false, 255, rfNone, true,
                           boCopy);
    EXPECT_EQ(dst->GetPixel24(3, 3), CreateRGB(3, 3, 7));
    EXPECT_EQ(dst->GetPixel24(4, 0), CreateRGB(9, 9, 9));
    EXPECT_EQ(dst->GetPixel24(0, 4), CreateRGB(9, 9, 9));
}

TEST_F(RenderTest, OperationsApplyPerDestinationRow) {
    auto src = Filled(4, 4, CreateRGB(200, 200, 200));
    auto dst = Filled(4, 4, CreateRGB(10, 10, 10));
    Draw(*src, *dst, 0, 0, 4, 4, 0, 0, 4, 4, 255, boEvenRows);
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(dst->GetPixel24(0, y), y % 2 == 0 ? CreateRGB(200, 200, 200) : CreateRGB(10, 10, 10));
    auto add = Filled(4, 4, CreateRGB(100, 10, 10));
    Draw(*src, *add, 0, 0, 4, 4, 0, 0, 4, 4, 128, boAdd);
    // boAdd gives (255, 210, 210), then mixed at 128 over (100, 10, 10).
    EXPECT_EQ(add->GetPixel24(1, 1), CreateRGB(177, 110, 110));
}

// Resamplers that record their calls and paint a colour of their own.
int gCalls = 0;
void FakeFiltered(TIEBitmap*, TIEBitmap* Dest, TResampleFilter) {
    ++gCalls;
    Dest->Fill(static_cast<double>(0x0000FF));  // red as a TColor
}
void FakeBox(TIEBitmap*, int32_t X1, int32_t, int32_t X2, int32_t, TIEBitmap* Dest) {
    ++gCalls;
    Dest->Fill(static_cast<double>(X2 - X1 + 1));
}

TEST_F(RenderTest, FiltersGoThroughTheInstalledResamplers) {
    const TIERenderResamplers saved = IERenderResamplers;
    auto src = Coordinates(8, 8);
    // Without resamplers the filter is not applied: nearest neighbour.
    IERenderResamplers = TIERenderResamplers{};
    auto dst = Filled(16, 16, TRGB{});
    src->DrawToTIEBitmap(dst.get(), 0, 0, 16, 16, 0, 0, 8, 8, 255, rfLanczos3, boCopy);
    EXPECT_EQ(dst->GetPixel24(15, 15), CreateRGB(7, 7, 7));
    // With them the resampled copy is drawn 1:1 at the destination.
    IERenderResamplers.ResampleFiltered = FakeFiltered;
    IERenderResamplers.BoxResample1BitTo24 = FakeBox;
    gCalls = 0;
    auto dst2 = Filled(16, 16, TRGB{});
    src->DrawToTIEBitmap(dst2.get(), 2, 2, 10, 10, 0, 0, 8, 8, 255, rfLanczos3, boCopy);
    EXPECT_EQ(gCalls, 1);
    EXPECT_EQ(dst2->GetPixel24(2, 2), CreateRGB(255, 0, 0));
    EXPECT_EQ(dst2->GetPixel24(11, 11), CreateRGB(255, 0, 0));
    EXPECT_EQ(dst2->GetPixel24(12, 12), TRGB{});
    // Equal sizes need no resampling.
    gCalls = 0;
    src->DrawToTIEBitmap(dst2.get(), 0, 0, 8, 8, 0, 0, 8, 8, 255, rfLanczos3, boCopy);
    EXPECT_EQ(gCalls, 0);
    // A 1-bit source reduced goes to the box reduction with the inclusive source rectangle.
    TIEBitmap mono(16, 16, ie1g);
    auto dst3 = Filled(8, 8, TRGB{});
    mono.DrawToTIEBitmap(dst3.get(), 0, 0, 8, 8, 2, 0, 12, 16, 255, rfTriangle, boCopy);
    EXPECT_EQ(gCalls, 1);
    EXPECT_EQ(dst3->GetPixel24(0, 0).r, 12);
    IERenderResamplers = saved;
}

TEST_F(RenderTest, StretchWritesTheDestinationAlpha) {
    auto src = Coordinates(4, 4);
    auto dst = Filled(10, 10, TRGB{});
    src->StretchRectTo(dst.get(), 1, 1, 8, 8, 0, 0, 4, 4, rfNone, 200);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const bool in = x >= 1 && x <= 8 && y >= 1 && y <= 8;
            ASSERT_EQ(dst->GetAlpha(x, y), in ? 200 : 255) << x << "," << y;
            ASSERT_EQ(dst->GetPixel24(x, y),
                      in ? CreateRGB(static_cast<uint8_t>((x - 1) / 2), static_cast<uint8_t>((y - 1) / 2), 7) : TRGB{});
        }
    EXPECT_FALSE(dst->GetAlphaChannel()->Full);
    // The source's alpha, limited to MaxAlpha; a 1-bit source black and white.
    TIEBitmap mono(2, 1, ie1g);
    mono.Fill(0);
    static_cast<uint8_t*>(mono.GetScanline(0))[0] = 0x40;  // pixel 1 set
    mono.SetAlpha(0, 0, 250);
    mono.SetAlpha(1, 0, 30);
    mono.GetAlphaChannel()->Full = false;
    auto d2 = Filled(4, 2, CreateRGB(5, 5, 5));
    mono.StretchRectTo(d2.get(), -2, 0, 8, 2, 0, 0, 2, 1, rfNone, 100);
    EXPECT_EQ(d2->GetPixel24(1, 0), TRGB{});
    EXPECT_EQ(d2->GetPixel24(2, 1), CreateRGB(255, 255, 255));
    EXPECT_EQ(d2->GetAlpha(1, 1), 100);
    EXPECT_EQ(d2->GetAlpha(3, 0), 30);
    // Other source formats are refused.
    TIEBitmap grey(2, 2, ie8g);
    auto d3 = Filled(2, 2, CreateRGB(5, 5, 5));
    grey.StretchRectTo(d3.get(), 0, 0, 2, 2, 0, 0, 2, 2, rfNone, 100);
    EXPECT_EQ(d3->GetPixel24(0, 0), CreateRGB(5, 5, 5));
    EXPECT_FALSE(d3->HasAlphaChannel());
}

TEST_F(RenderTest, SourceAccessIsRestored) {
    auto src = Coordinates(4, 4);
    src->Access = ieaWrite;
    auto dst = Filled(4, 4, TRGB{});
    Draw(*src, *dst, 0, 0, 4, 4, 0, 0, 4, 4, 100);
    EXPECT_EQ(src->Access, ieaWrite);
}

}  // namespace
}  // namespace ie
