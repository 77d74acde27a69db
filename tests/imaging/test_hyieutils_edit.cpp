// Editing and copying operations of the image buffer: fills, size changes, single pixels,
// rectangle copies wholly and partly outside both bitmaps, and moving pixels between the
// buffer and class-library bitmaps, masks and DIB sections.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::FillPattern;
using test::HasPattern;
using test::ImagingTest;
using test::MakeAt;
using test::PlaceAt;

using Bytes = std::vector<uint8_t>;

Bytes PixelAt(TIEBitmap& b, int x, int y) {
    const auto* row = static_cast<const uint8_t*>(b.GetScanline(y));
    if (b.GetPixelFormat() == ie1g) return Bytes{static_cast<uint8_t>(IEGetBit(row, x))};
    const int n = b.GetBitCount() / 8;
    return Bytes(row + x * n, row + x * n + n);
}

Bytes F32(float v) {
    Bytes b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

constexpr TIELocation kPlaces[] = {ieMemory, ieFile, ieTBitmap};

std::string PlaceName(TIELocation l) { return l == ieMemory ? "memory" : l == ieFile ? "file" : "TBitmap"; }

// ---------------------------------------------------------------------------------------
// Fill and FillRect

struct FillCase {
    TIEPixelFormat format;
    double value;
    Bytes pixel;
    bool full;
};

class EditFill : public ImagingTest, public ::testing::WithParamInterface<TIELocation> {};

TEST_P(EditFill, EveryFormatTakesTheValueItsWay) {
    const test::CMYKSwitch formulas(false);
    TCIELab white{}, red{};
    IERGBToCIELab(white, 0xFFFFFF);
    IERGBToCIELab(red, 0xFF0000);
    const FillCase cases[] = {
        {ie1g, 1, {1}, true},
        {ie1g, 0, {0}, false},
        {ie8g, 255, {255}, true},
        {ie8g, 256 + 7, {7}, false},
        {ie8p, 3.9, {3}, false},
        {ie16g, 65535, {255, 255}, true},
        {ie16g, 0x1234, {0x34, 0x12}, false},
        {ie24RGB, cl::clWhite, {255, 255, 255}, true},
        {ie24RGB, cl::clRed, {0, 0, 255}, false},
        {ie24RGB, 0x00102030, {0x10, 0x20, 0x30}, false},
        {ie32f, 0.5, F32(0.5f), false},
        {ie32f, 1.0, F32(1.0f), true},
        {ieCMYK, cl::clRed, {255, 0, 0, 255}, false},
        {ieCMYK, cl::clWhite, {255, 255, 255, 255}, true},
        {ieRGB48, cl::clRed, {255, 255, 0, 0, 0, 0}, false},
        {ieRGB48, cl::clWhite, {255, 255, 255, 255, 255, 255}, true},
        {ieCIELab, cl::clWhite, {white.l, uint8_t(white.a), uint8_t(white.b)}, true},
        {ieCIELab, cl::clRed, {red.l, uint8_t(red.a), uint8_t(red.b)}, false},
    };
    for (const FillCase& c : cases) {
        if (GetParam() == ieTBitmap && !test::TBitmapHolds(c.format)) continue;
        TIEBitmap b;
        ASSERT_TRUE(MakeAt(b, GetParam(), 11, 3, c.format));
        b.Full = !c.full;
        b.Fill(c.value);
        EXPECT_EQ(b.Full, c.full) << int(c.format) << " " << c.value;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x) ASSERT_EQ(PixelAt(b, x, y), c.pixel) << int(c.format) << " " << c.value;
    }
}

TEST_P(EditFill, Fill32RGBWritesEveryRowAndKeepsTheFourthBytes) {
    TIEBitmap b;
    ASSERT_TRUE(MakeAt(b, GetParam(), 5, 4, ie32RGB));
    for (int y = 0; y < 4; ++y) {
        auto* row = static_cast<uint8_t*>(b.GetScanline(y));
        for (int x = 0; x < 5; ++x) std::memset(row + 4 * x, 10 * y + x, 4);
    }
    b.GetScanline(0);
    b.Fill(0x00A0B0C0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(b, x, y), (Bytes{0xA0, 0xB0, 0xC0, uint8_t(10 * y + x)}));
}

TEST_P(EditFill, FillRectClipsAndLeavesTheFullFlag) {
    TIEBitmap b;
    ASSERT_TRUE(MakeAt(b, GetParam(), 12, 6, ie1g));
    b.Fill(0);
    b.Full = true;
    b.FillRect(-5, 4, 9, 100, 1);
    EXPECT_TRUE(b.Full);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(PixelAt(b, x, y)[0], (y >= 4 && x <= 9) ? 1 : 0) << x << "," << y;
    b.FillRect(8, 0, 7, 5, 1);     // empty rows
    b.FillRect(0, 20, 11, 30, 1);  // below the image
    EXPECT_EQ(PixelAt(b, 8, 0)[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Places, EditFill, ::testing::ValuesIn(kPlaces),
                         [](const auto& info) { return PlaceName(info.param); });

class EditValues : public ImagingTest {};

TEST_F(EditValues, FloatFillRectStoresWholeNumbersOnly) {
    TIEBitmap b(3, 1, ie32f);
    b.Fill(0.5);
    EXPECT_EQ(b.GetPixel32f(1, 0), 0.5f);
    b.FillRect(0, 0, 1, 0, 0.5);
    EXPECT_EQ(b.GetPixel32f(0, 0), 0.0f);
    EXPECT_EQ(b.GetPixel32f(2, 0), 0.5f);
    b.FillRect(0, 0, 0, 0, 2.7);
    EXPECT_EQ(b.GetPixel32f(0, 0), 2.0f);
}

TEST_F(EditValues, SystemColoursAreResolvedAndOddValuesDoNotCrash) {
    TIEBitmap b(2, 2, ie24RGB);
    b.Fill(static_cast<double>(static_cast<uint32_t>(cl::clBtnFace)));
    const uint32_t face = static_cast<uint32_t>(cl::ColorToRGB(cl::clBtnFace));
    EXPECT_EQ(b.GetPixel24(1, 1), CreateRGB(uint8_t(face), uint8_t(face >> 8), uint8_t(face >> 16)));
    for (double v : {std::nan(""), 1e300, -1e300}) {
        b.Fill(v);
        b.FillRect(0, 0, 1, 1, v);
    }
}

// ---------------------------------------------------------------------------------------
// Size changes

class EditSize : public ImagingTest, public ::testing::WithParamInterface<TIELocation> {};

TEST_P(EditSize, WidthAndHeightKeepTheTopLeftPixelsAndTheAlphaChannel) {
    TIEBitmap b;
    ASSERT_TRUE(MakeAt(b, GetParam(), 9, 7, ie24RGB));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) b.SetPixel24(x, y, CreateRGB(uint8_t(x), uint8_t(y), 99));
    b.GetAlphaChannel()->SetPixel8(2, 3, 40);
    b.SetWidth(5);
    b.SetHeight(12);
    ASSERT_EQ(b.GetWidth(), 5);
    ASSERT_EQ(b.GetHeight(), 12);
    EXPECT_EQ(b.GetLocation(), GetParam());
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(b.GetPixel24(x, y), CreateRGB(uint8_t(x), uint8_t(y), 99));
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetAlphaChannel()->GetWidth(), 5);
    EXPECT_EQ(b.GetAlphaChannel()->GetHeight(), 12);
    EXPECT_EQ(b.GetAlpha(2, 3), 40);
    EXPECT_FALSE(b.Full);
}

TEST_P(EditSize, ResizePlacesThePictureAndFillsTheNewArea) {
    struct Case {
        int32_t w, h;
        uint8_t horiz, vert;
        int32_t left, top;  // where old pixel (0, 0) lands, or minus the columns/rows dropped
    };
    const Case cases[] = {
        {20, 10, 1, 0, 5, 0}, {20, 10, 2, 0, 10, 0}, {20, 10, 0, 0, 0, 0}, {10, 16, 0, 1, 0, 3},
        {5, 10, 2, 0, -5, 0}, {5, 10, 1, 0, -2, 0},  {10, 4, 0, 2, 0, -6}, {10, 4, 0, 1, 0, -3},
    };
    for (const Case& c : cases) {
        TIEBitmap b;
        ASSERT_TRUE(MakeAt(b, GetParam(), 10, 10, ie8g));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) b.SetPixel8(x, y, uint8_t(x + 10 * y));
        b.GetAlphaChannel()->Fill(100);
        b.Resize(c.w, c.h, 250, 7, c.horiz, c.vert);
        ASSERT_EQ(b.GetWidth(), c.w);
        ASSERT_EQ(b.GetHeight(), c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const int ox = x - c.left, oy = y - c.top;
                const bool old = ox >= 0 && ox < 10 && oy >= 0 && oy < 10;
                ASSERT_EQ(b.GetPixel8(x, y), old ? uint8_t(ox + 10 * oy) : 250) << x << "," << y << " case " << c.w;
                ASSERT_EQ(b.GetAlpha(x, y), old ? 100 : 7) << x << "," << y;
            }
    }
}

TEST_P(EditSize, SetWidthKeepsThePalette) {
    if (GetParam() == ieTBitmap) GTEST_SKIP() << "the palette of a TBitmap is its colour table";
    TIEBitmap b;
    ASSERT_TRUE(MakeAt(b, GetParam(), 4, 4, ie8p));
    for (int i = 0; i < 256; ++i) b.SetPaletteEntry(i, CreateRGB(uint8_t(i), 1, uint8_t(255 - i)));
    b.SetWidth(9);
    ASSERT_EQ(b.GetPaletteLength(), 256);
    EXPECT_EQ(b.GetPalette()[200], CreateRGB(200, 1, 55));
}

INSTANTIATE_TEST_SUITE_P(Places, EditSize, ::testing::ValuesIn(kPlaces),
                         [](const auto& info) { return PlaceName(info.param); });

class EditLayout : public ImagingTest {};

TEST_F(EditLayout, RowAlignReLaysOutMemoryRowsOnly) {
    TIEBitmap b(5, 3, ie24RGB);
    FillPattern(b);
    b.SetRowAlign(8);
    EXPECT_EQ(b.GetRowAlign(), 8);
    EXPECT_EQ(b.GetRowLen(), 15);
    // Rows follow one another at row-length distance from the last one.
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(0)) - static_cast<uint8_t*>(b.GetScanline(2)), 30);
    EXPECT_TRUE(HasPattern(b));
    for (int32_t bad : {0, 7, 12, -8}) {
        b.SetRowAlign(bad);
        EXPECT_EQ(b.GetRowAlign(), 8);
    }
    TIEBitmap f;
    ASSERT_TRUE(MakeAt(f, ieFile, 5, 3, ie24RGB));
    f.SetRowAlign(8);
    EXPECT_EQ(f.GetRowAlign(), 32);
    EXPECT_TRUE(f.NeedsAllocate());
}

TEST_F(EditLayout, MoveRegionFillsWhatItLeaves) {
    TIEBitmap b(6, 4, ie8g);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) b.SetPixel8(x, y, uint8_t(10 * y + x));
    // A region partly outside the image moves by its corner.
    b.MoveRegion(-2, 0, 1, 1, 2, 2, 99, true);
    const int want[4][6] = {
        {99, 99, 2, 3, 4, 5}, {99, 99, 12, 13, 14, 15}, {20, 21, 22, 23, 0, 1}, {30, 31, 32, 33, 10, 11}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(b.GetPixel8(x, y), want[y][x]) << x << "," << y;
}

// ---------------------------------------------------------------------------------------
// Single pixels

TEST_F(EditValues, PixelAccessorsClearFullBelowTheMaximumAndIgnoreOutsideCoordinates) {
    TIEBitmap g(3, 3, ie8g);
    g.Fill(255);
    g.SetPixel8(1, 1, 255);
    EXPECT_TRUE(g.Full);
    g.SetPixel8(1, 1, 254);
    EXPECT_FALSE(g.Full);
    TIEBitmap w(3, 3, ie16g);
    w.Fill(65535);
    w.SetPixel16(0, 0, 100);
    EXPECT_EQ(w.GetPixel16(0, 0), 100);
    EXPECT_FALSE(w.Full);
    TIEBitmap f(3, 3, ie32f);
    f.Fill(1.0);
    f.SetPixel32f(2, 2, 0.25f);
    EXPECT_FALSE(f.Full);
    TIEBitmap c(3, 3, ieRGB48);
    c.Fill(cl::clWhite);
    c.SetPixel48(1, 2, TRGB48{65535, 65535, 65535});
    EXPECT_TRUE(c.Full);
    c.SetPixel48(1, 2, TRGB48{65535, 1, 65535});
    EXPECT_FALSE(c.Full);
    EXPECT_EQ(c.GetPixel48(1, 2), (TRGB48{65535, 1, 65535}));
    TIEBitmap k(3, 3, ieCMYK);
    k.Fill(cl::clWhite);
    k.SetPixelCMYK(0, 1, TCMYK{1, 2, 3, 4});
    EXPECT_TRUE(k.Full);  // left alone by the CMYK and 24-bit setters
    EXPECT_EQ(k.GetPixelCMYK(0, 1), (TCMYK{1, 2, 3, 4}));
    for (auto [x, y] : {std::pair{-1, 0}, std::pair{3, 0}, std::pair{0, -1}, std::pair{0, 3}}) {
        g.SetPixel8(x, y, 1);
        EXPECT_EQ(g.GetPixel8(x, y), 0);
        EXPECT_EQ(c.GetPixel24Ptr(x, y), nullptr);
        EXPECT_EQ(c.GetPixelRGB(x, y), TRGB{});
    }
}

TEST_F(EditValues, PixelRGBOfEveryFormat) {
    const test::CMYKSwitch formulas(false);
    struct Case {
        TIEPixelFormat format;
        Bytes raw;
        TRGB rgb;
    };
    TCIELab lab{};
    IERGBToCIELab(lab, 0x336699);
    TRGB labRGB;
    IECIELabToRGB(labRGB, lab);
    const Case cases[] = {
        {ie1g, {0x40}, CreateRGB(255, 255, 255)},
        {ie8g, {77}, CreateRGB(77, 77, 77)},
        {ie16g, {0x34, 0x12}, CreateRGB(0x12, 0x12, 0x12)},
        {ie24RGB, {1, 2, 3}, CreateRGB(3, 2, 1)},
        {ie32f, F32(0.5f), CreateRGB(127, 127, 127)},
        {ie32f, F32(7.0f), CreateRGB(255, 255, 255)},
        {ieCMYK, {255, 127, 63, 128}, CreateRGB(128, 63, 31)},
        {ieRGB48, {0x11, 0xA0, 0x22, 0xB0, 0x33, 0xC0}, CreateRGB(0xA0, 0xB0, 0xC0)},
        {ieCIELab, {lab.l, uint8_t(lab.a), uint8_t(lab.b)}, labRGB},
        {ie32RGB, {1, 2, 3, 4}, CreateRGB(3, 2, 1)},
    };
    for (const Case& c : cases) {
        TIEBitmap b(2, 1, c.format);
        auto* row = static_cast<uint8_t*>(b.GetScanline(0));
        if (c.format == ie1g)
            row[0] = 0x40;  // pixel 1 set
        else
            std::memcpy(row + c.raw.size(), c.raw.data(), c.raw.size());
        EXPECT_EQ(b.GetPixelRGB(1, 0), c.rgb) << int(c.format);
    }
    TIEBitmap p(1, 1, ie8p);
    p.SetPaletteEntry(9, CreateRGB(8, 7, 6));
    p.SetPixel8(0, 0, 9);
    EXPECT_EQ(p.GetPixelRGB(0, 0), CreateRGB(8, 7, 6));
}

TEST_F(EditValues, AlphaValuesAndTheFullFlags) {
    TIEBitmap b(2, 2, ie24RGB);
    EXPECT_EQ(b.GetAlpha(1, 1), 255);  // an opaque channel appears
    ASSERT_TRUE(b.HasAlphaChannel());
    b.Full = true;
    ASSERT_TRUE(b.GetAlphaChannel()->Full);
    b.SetAlpha(0, 0, 254);
    EXPECT_FALSE(b.Full);
    EXPECT_FALSE(b.GetAlphaChannel()->Full);
    EXPECT_EQ(b.GetAlpha(0, 0), 254);
    TIEBitmap* a = b.GetAlphaChannel();
    a->SetAlpha(1, 0, 3);  // an alpha channel answers for itself
    EXPECT_EQ(a->GetAlpha(1, 0), 3);
    EXPECT_FALSE(a->HasAlphaChannel());
}

// ---------------------------------------------------------------------------------------
// Rectangle copies

struct CopyCase {
    int32_t sx, sy, dx, dy, w, h;
};

class EditCopy : public ImagingTest, public ::testing::WithParamInterface<std::tuple<TIEPixelFormat, TIELocation>> {};

// Source 10 x 8, destination 7 x 6; every destination pixel is either the source pixel
// that the intersected rectangles put there or what it held before.
TEST_P(EditCopy, RectanglesWhollyAndPartlyOutsideCopyTheirIntersection) {
    const auto [format, where] = GetParam();
    // clang-format off
    const CopyCase cases[] = {
        {0, 0, 0, 0, 10, 8},     {2, 1, 3, 2, 4, 3},    {1, 1, -3, 0, 6, 4},  {1, 1, 0, -2, 4, 6},
        {-2, -1, 1, 1, 5, 5},    {8, 6, 5, 4, 9, 9},    {0, 0, 7, 0, 3, 3},   {0, 0, 0, 6, 3, 3},
        {0, 0, 100, 100, 3, 3},  {10, 0, 0, 0, 3, 3},   {0, 0, -50, -50, 5, 5}, {0, 0, 0, 0, 0, 5},
        {0, 0, 0, 0, 5, -1},     {3, 2, 2, 2, 2147483647, 2147483647},
    };
    // clang-format on
    for (const CopyCase& c : cases) {
        TIEBitmap src, dst;
        ASSERT_TRUE(MakeAt(src, where, 10, 8, format));
        ASSERT_TRUE(MakeAt(dst, where, 7, 6, format));
        FillPattern(src, 1);
        FillPattern(dst, 2);
        std::vector<Bytes> before;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x) before.push_back(PixelAt(dst, x, y));
        src.CopyRectTo(&dst, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x) {
                const int64_t sx = int64_t{x} - c.dx + c.sx, sy = int64_t{y} - c.dy + c.sy;
                const bool inside = x >= c.dx && x < int64_t{c.dx} + c.w && y >= c.dy && y < int64_t{c.dy} + c.h &&
                                    sx >= 0 && sx < 10 && sy >= 0 && sy < 8;
                const Bytes want = inside ? PixelAt(src, int(sx), int(sy)) : before[static_cast<size_t>(y * 7 + x)];
                ASSERT_EQ(PixelAt(dst, x, y), want)
                    << "case " << c.sx << "," << c.sy << " -> " << c.dx << "," << c.dy << " pixel " << x << "," << y;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(FormatsAndPlaces, EditCopy,
                         ::testing::Combine(::testing::Values(ie1g, ie8g, ie16g, ie24RGB, ieCMYK, ieRGB48),
                                            ::testing::Values(ieMemory, ieFile)),
                         [](const auto& info) {
                             return std::to_string(int(std::get<0>(info.param))) + "_" +
                                    PlaceName(std::get<1>(info.param));
                         });

class EditCopies : public ImagingTest {};

TEST_F(EditCopies, OneBitToColourExpandsAndOtherPairsCopyNothing) {
    TIEBitmap mono(10, 1, ie1g);
    static_cast<uint8_t*>(mono.GetScanline(0))[0] = 0xA0;  // pixels 0 and 2
    TIEBitmap colour(4, 1, ie24RGB);
    colour.Fill(0x00808080);
    mono.CopyRectTo(&colour, 0, 0, 1, 0, 10, 1);
    EXPECT_EQ(colour.GetPixel24(0, 0), CreateRGB(128, 128, 128));
    EXPECT_EQ(colour.GetPixel24(1, 0), CreateRGB(255, 255, 255));
    EXPECT_EQ(colour.GetPixel24(2, 0), CreateRGB(0, 0, 0));
    EXPECT_EQ(colour.GetPixel24(3, 0), CreateRGB(255, 255, 255));
    TIEBitmap grey(4, 1, ie8g);
    grey.Fill(200);
    colour.Fill(0);
    grey.CopyRectTo(&colour, 0, 0, 0, 0, 4, 1);
    EXPECT_EQ(colour.GetPixel24(0, 0), CreateRGB(0, 0, 0));
}

TEST_F(EditCopies, OverlappingCopyWithinOneBitmap) {
    TIEBitmap b(6, 1, ie8g);
    for (int x = 0; x < 6; ++x) b.SetPixel8(x, 0, uint8_t(x));
    b.CopyRectTo(&b, 0, 0, 2, 0, 4, 1);
    const int want[] = {0, 1, 0, 1, 2, 3};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b.GetPixel8(x, 0), want[x]);
}

TEST_F(EditCopies, MergeAlphaTakesTheLargerValue) {
    TIEBitmap src(4, 4, ie24RGB), dst(4, 4, ie24RGB);
    src.GetAlphaChannel()->Fill(100);
    src.SetAlpha(1, 1, 250);
    dst.GetAlphaChannel()->Fill(150);
    src.MergeAlphaRectTo(&dst, 0, 0, -1, 0, 4, 4);
    EXPECT_EQ(dst.GetAlpha(0, 1), 250);
    EXPECT_EQ(dst.GetAlpha(1, 1), 150);
    EXPECT_EQ(dst.GetAlpha(3, 3), 150);
}

// ---------------------------------------------------------------------------------------
// Other pixel holders

class EditHolders : public ImagingTest, public ::testing::WithParamInterface<TIELocation> {};

TEST_P(EditHolders, ClassLibraryBitmapsOfEveryPixelFormat) {
    struct Case {
        cl::TPixelFormat pf;
        Bytes row;  // the first pixels of row 0 as stored in the TBitmap
        TIEPixelFormat expected;
        TRGB first;  // pixel 0 as colour
    };
    const Case cases[] = {
        {cl::pf16bit, {0xFF, 0xFF}, ie24RGB, CreateRGB(248, 252, 248)},
        {cl::pf16bit, {0x1F, 0xF8}, ie24RGB, CreateRGB(248, 0, 248)},
        {cl::pf15bit, {0xFF, 0x7F}, ie24RGB, CreateRGB(248, 248, 248)},
        {cl::pf15bit, {0x1F, 0x7C}, ie24RGB, CreateRGB(248, 0, 248)},
        {cl::pf24bit, {1, 2, 3}, ie24RGB, CreateRGB(3, 2, 1)},
        {cl::pf32bit, {1, 2, 3, 4}, ie32RGB, CreateRGB(3, 2, 1)},
        {cl::pf4bit, {0x2F}, ie8p, CreateRGB(0, 128, 0)},
        {cl::pf8bit, {5}, ie8p, CreateRGB(0, 0, 0)},
        {cl::pf1bit, {0x80}, ie1g, CreateRGB(255, 255, 255)},
    };
    for (const Case& c : cases) {
        cl::TBitmap vcl;
        vcl.SetPixelFormat(c.pf);
        vcl.SetSize(3, 2);
        if (c.pf == cl::pf8bit) {
            std::vector<win::RGBQUAD> table(256);
            table[5] = win::RGBQUAD{0, 0, 0, 0};
            vcl.SetColorTable(table);
        }
        std::memcpy(vcl.ScanLine(0), c.row.data(), c.row.size());
        TIEBitmap b;
        test::PlaceAt(b, GetParam());
        b.CopyFromTBitmap(&vcl);
        ASSERT_EQ(b.GetWidth(), 3) << int(c.pf);
        ASSERT_EQ(b.GetHeight(), 2);
        const TIEPixelFormat got = b.GetPixelFormat();
        if (GetParam() == ieTBitmap) {
            // The caller's bitmap becomes 24-bit unless it is 1, 24 or 32 bits.
            EXPECT_EQ(got, c.pf == cl::pf1bit ? ie1g : c.pf == cl::pf32bit ? ie32RGB : ie24RGB) << int(c.pf);
        } else {
            EXPECT_EQ(got, c.expected) << int(c.pf);
        }
        // A TBitmap converts the other formats to 24 bits by its own rules.
        if (GetParam() != ieTBitmap || c.pf == cl::pf1bit || c.pf == cl::pf24bit || c.pf == cl::pf32bit) {
            EXPECT_EQ(b.GetPixelRGB(0, 0), c.first) << int(c.pf);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Places, EditHolders, ::testing::ValuesIn(kPlaces),
                         [](const auto& info) { return PlaceName(info.param); });

class EditOtherHolders : public ImagingTest {};

TEST_F(EditOtherHolders, TwoColourOneBitBitmapBecomesAPaletteImage) {
    cl::TBitmap vcl;
    vcl.SetPixelFormat(cl::pf1bit);
    vcl.SetSize(9, 1);
    vcl.SetColorTable({win::RGBQUAD{255, 0, 0, 0}, win::RGBQUAD{0, 0, 255, 0}});
    // A new TBitmap comes filled white: pixels 0 to 7 are cleared, pixel 8 is set.
    static_cast<uint8_t*>(vcl.ScanLine(0))[0] = 0x00;
    static_cast<uint8_t*>(vcl.ScanLine(0))[1] = 0x80;
    TIEBitmap b;
    b.CopyFromTBitmap(&vcl);
    ASSERT_EQ(b.GetPixelFormat(), ie8p);
    EXPECT_EQ(b.GetPixel8(7, 0), 0);
    EXPECT_EQ(b.GetPixel8(8, 0), 1);
    EXPECT_EQ(b.GetPalette()[0], CreateRGB(0, 0, 255));
    EXPECT_EQ(b.GetPalette()[1], CreateRGB(255, 0, 0));
    EXPECT_EQ(b.GetPalette()[2], TRGB{});
}

TEST_F(EditOtherHolders, MasksBothWays) {
    TIEBitmap white(5, 3, ie24RGB);
    white.Fill(cl::clWhite);
    TIEMask m;
    white.CopyToTIEMask(&m);
    ASSERT_EQ(m.BitsPerPixel, 8);
    EXPECT_EQ(m.GetPixel(4, 2), 63);
    EXPECT_EQ(m.X1, 0);
    EXPECT_EQ(m.X2, 4);
    TIEBitmap grey(4, 2, ie8g);
    grey.Fill(255);
    grey.CopyToTIEMask(&m);
    EXPECT_TRUE(m.Full);
    EXPECT_EQ(m.GetPixel(3, 1), 255);

    TIEMask bits;
    bits.Allocate(10, 3, 1);
    bits.SetPixel(9, 2, 1);
    TIEBitmap b(1, 1, ie24RGB);
    b.CopyFromTIEMask(&bits);
    ASSERT_EQ(b.GetPixelFormat(), ie1g);
    ASSERT_EQ(b.GetWidth(), 10);
    EXPECT_EQ(b.GetPixelRGB(9, 2), CreateRGB(255, 255, 255));
    EXPECT_EQ(b.GetPixelRGB(8, 2), CreateRGB(0, 0, 0));
    b.CopyFromTIEMask(nullptr);  // no mask: all 255
    EXPECT_TRUE(b.Full);
    TIEBitmap back(1, 1, ie8g);
    back.CopyToTIEMask(&bits);
    EXPECT_EQ(bits.BitsPerPixel, 8);
}

TEST_F(EditOtherHolders, DibSectionsCopyRowByRow) {
    TIEDibbitmap dib;
    ASSERT_TRUE(dib.AllocateBits(4, 3, 24));
    static_cast<uint8_t*>(dib.GetScanline(2))[9] = 7;
    for (TIELocation where : kPlaces) {
        TIEBitmap b;
        PlaceAt(b, where);
        b.CopyFromTIEDibbitmap(&dib);
        ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(b.GetPixel24(3, 2), CreateRGB(0, 0, 7)) << PlaceName(where);
    }
}

TEST_F(EditOtherHolders, FullZeroAndGreyTestsLookOnlyAtPixels) {
    TIEBitmap m(10, 2, ie1g);
    m.Fill(0);
    EXPECT_TRUE(m.IsAllZero());
    for (int x = 0; x < 10; ++x) {
        IESetBit(m.GetScanline(0), x, true);
        IESetBit(m.GetScanline(1), x, true);
    }
    m.SyncFull();
    EXPECT_TRUE(m.Full);  // the padding bits after pixel 9 are not pixels
    EXPECT_FALSE(m.IsAllZero());
    TIEBitmap c(3, 1, ie24RGB);
    c.Fill(0x00404040);
    EXPECT_TRUE(c.IsGrayScale());
    c.SetPixel24(2, 0, CreateRGB(64, 64, 65));
    EXPECT_FALSE(c.IsGrayScale());
    TIEBitmap w(2, 1, ieRGB48);
    w.SetPixel48(0, 0, TRGB48{300, 300, 300});
    w.SetPixel48(1, 0, TRGB48{7, 7, 7});
    EXPECT_TRUE(w.IsGrayScale());
    w.SetPixel48(1, 0, TRGB48{300, 301, 300});
    EXPECT_FALSE(w.IsGrayScale());
    TIEBitmap p(2, 1, ie8p);
    for (int i = 0; i < 256; ++i) p.SetPaletteEntry(i, CreateRGB(uint8_t(i), uint8_t(i), uint8_t(i)));
    EXPECT_TRUE(p.IsGrayScale());
    p.SetPaletteEntry(255, CreateRGB(1, 2, 3));
    EXPECT_FALSE(p.IsGrayScale());
    EXPECT_TRUE(TIEBitmap(2, 2, ieCMYK).IsGrayScale());
}

}  // namespace
}  // namespace ie
