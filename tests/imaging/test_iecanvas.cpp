// Canvas operations: filling a rectangle in each format, cropping (alpha channel and
// palette along, refused rectangles), the alpha bounds, and the new canvas size.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/processing/iecanvas.h"
#include "imaging_fixture.h"
#include "processing_fixture.h"

namespace ie {
namespace {

using test::FillRandom;
using test::ImagingTest;

class IECanvasTest : public ImagingTest {};

TEST_F(IECanvasTest, FillRectByFormat) {
    struct Case {
        TIEPixelFormat f;
        TRGB color;
        TRGB expected;  // as GetPixelRGB reads the filled pixel
    };
    const uint8_t grey = uint8_t((200 * IEGrayWeightRed + 100 * IEGrayWeightGreen + 50 * IEGrayWeightBlue) / 100);
    // clang-format off
    const Case cases[] = {
        {ie1g, CreateRGB(0, 255, 255), CreateRGB(0, 0, 0)},       // red 0 clears
        {ie1g, CreateRGB(1, 0, 0), CreateRGB(255, 255, 255)},     // any red sets
        {ie8g, CreateRGB(200, 100, 50), CreateRGB(grey, grey, grey)},
        {ie24RGB, CreateRGB(200, 100, 50), CreateRGB(200, 100, 50)},
        {ie32RGB, CreateRGB(200, 100, 50), CreateRGB(200, 100, 50)},
        {ieRGB48, CreateRGB(200, 100, 50), CreateRGB(200, 100, 50)},
    };
    // clang-format on
    for (const Case& c : cases) {
        TIEBitmap b(12, 6, c.f);
        FillRandom(b, 3);
        TIEBitmap before;
        before.Assign(&b);
        std::vector<int> progress;
        // X2 and Y2 are exclusive and limited to the image.
        IEFillRect(
            &b, 2, 1, 40, 4, c.color, [&](cl::TObject*, int per) { progress.push_back(per); }, nullptr);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x) {
                const bool inside = x >= 2 && y >= 1 && y < 4;
                ASSERT_EQ(b.GetPixelRGB(x, y), inside ? c.expected : before.GetPixelRGB(x, y))
                    << int(c.f) << " at " << x << "," << y;
            }
        if (c.f == ie1g || c.f == ie8g || c.f == ie24RGB)
            EXPECT_EQ(progress, (std::vector<int>{int(100 / 2.5), int(200 / 2.5), int(300 / 2.5)})) << int(c.f);
        else
            EXPECT_TRUE(progress.empty());
        EXPECT_FALSE(b.HasAlphaChannel());
    }
}

TEST_F(IECanvasTest, CropKeepsAlphaAndPalette) {
    TIEBitmap b(10, 8, ie8p);
    FillRandom(b, 1);
    b.SetPaletteEntry(200, CreateRGB(1, 2, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) b.SetAlpha(x, y, uint8_t(x * 10 + y));
    TIEBitmap before;
    before.Assign(&b);
    ASSERT_TRUE(IECropBitmap(&b, 3, 2, 7, 6));
    ASSERT_EQ(std::pair(b.GetWidth(), b.GetHeight()), std::pair(5, 5));
    EXPECT_EQ(b.GetPixelFormat(), ie8p);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            ASSERT_EQ(b.GetPixel8(x, y), before.GetPixel8(x + 3, y + 2));
            ASSERT_EQ(b.GetAlpha(x, y), (x + 3) * 10 + y + 2);
        }
    TRGB c;
    b.GetPaletteEntry(200, c);
    EXPECT_EQ(c, CreateRGB(1, 2, 3));
}

TEST_F(IECanvasTest, CropRefusals) {
    struct Case {
        int x1, y1, x2, y2;
    };
    // The whole picture, reaching outside on each side, negative sizes.
    const Case cases[] = {{0, 0, 9, 7}, {-1, 0, 5, 5}, {0, -3, 5, 5}, {2, 2, 10, 5},
                          {2, 2, 5, 8}, {5, 2, 4, 5},  {2, 5, 5, 4},  {-100, -100, 100, 100}};
    for (const Case& k : cases) {
        TIEBitmap b(10, 8, ie24RGB);
        FillRandom(b, 2);
        TIEBitmap before;
        before.Assign(&b);
        EXPECT_FALSE(IECropBitmap(&b, k.x1, k.y1, k.x2, k.y2)) << k.x1 << "," << k.y1 << "," << k.x2 << "," << k.y2;
        ASSERT_EQ(std::pair(b.GetWidth(), b.GetHeight()), std::pair(10, 8));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) ASSERT_EQ(b.GetPixel24(x, y), before.GetPixel24(x, y));
    }
}

TEST_F(IECanvasTest, AlphaBoundsAndTransparentCrop) {
    cl::TRect r;
    TIEBitmap plain(6, 4, ie24RGB);
    IEGetAlphaBounds(&plain, r);
    EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(0, 0, 5, 3));
    EXPECT_FALSE(IECropTransparentBitmap(&plain));
    EXPECT_FALSE(plain.HasAlphaChannel());

    TIEBitmap b(9, 7, ie24RGB);
    FillRandom(b, 4);
    b.GetAlphaChannel()->Fill(0);
    b.SetAlpha(2, 5, 1);
    b.SetAlpha(6, 1, 255);
    IEGetAlphaBounds(&b, r);
    EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(2, 1, 6, 5));
    TIEBitmap before;
    before.Assign(&b);
    ASSERT_TRUE(IECropTransparentBitmap(&b));
    ASSERT_EQ(std::pair(b.GetWidth(), b.GetHeight()), std::pair(5, 5));
    EXPECT_EQ(b.GetPixel24(0, 4), before.GetPixel24(2, 5));
    EXPECT_EQ(b.GetAlpha(0, 4), 1);
    EXPECT_EQ(b.GetAlpha(4, 0), 255);

    // All transparent: bounds of negative size, and no change.
    TIEBitmap t(5, 3, ie24RGB);
    t.GetAlphaChannel()->Fill(0);
    IEGetAlphaBounds(&t, r);
    EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(5, 3, -1, -1));
    EXPECT_FALSE(IECropTransparentBitmap(&t));
    EXPECT_EQ(std::pair(t.GetWidth(), t.GetHeight()), std::pair(5, 3));
}

TEST_F(IECanvasTest, ImageResizeAlignsAndFills) {
    {  // same size and sizes below 1 do nothing
        TIEBitmap b(4, 3, ie24RGB);
        EXPECT_FALSE(IEImageResizeBitmap(&b, 4, 3, 0, 0, 255, 0));
        EXPECT_FALSE(IEImageResizeBitmap(&b, 0, 3, 0, 0, 255, 0));
        EXPECT_FALSE(IEImageResizeBitmap(&b, 5, -2, 0, 0, 255, 0));
        EXPECT_EQ(std::pair(b.GetWidth(), b.GetHeight()), std::pair(4, 3));
        EXPECT_FALSE(b.HasAlphaChannel());
    }
    {  // centred, transparent margins, the old area keeps its alpha
        TIEBitmap b(2, 2, ie24RGB);
        b.Fill(0x0000FF);  // red
        b.SetAlpha(0, 0, 90);
        ASSERT_TRUE(IEImageResizeBitmap(&b, 6, 4, 1, 1, 0, 0x00FF00));
        ASSERT_EQ(std::pair(b.GetWidth(), b.GetHeight()), std::pair(6, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool old = x >= 2 && x < 4 && y >= 1 && y < 3;
                ASSERT_EQ(b.GetPixel24(x, y), old ? CreateRGB(255, 0, 0) : CreateRGB(0, 255, 0)) << x << "," << y;
                ASSERT_EQ(b.GetAlpha(x, y), old ? (x == 2 && y == 1 ? 90 : 255) : 0) << x << "," << y;
            }
    }
    {  // a 1 x 1 picture is cleared to the background first; opaque fill adds no alpha
        TIEBitmap b(1, 1, ie24RGB);
        b.SetPixel24(0, 0, CreateRGB(9, 9, 9));
        ASSERT_TRUE(IEImageResizeBitmap(&b, 3, 2, 2, 2, 255, 0xFF0000));  // blue
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(b.GetPixel24(x, y), CreateRGB(0, 0, 255));
        EXPECT_FALSE(b.HasAlphaChannel());
    }
}

}  // namespace
}  // namespace ie
