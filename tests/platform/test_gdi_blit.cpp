// Raster operations, colour conversions in blits, stretching, DIB transfers, palettes
// and scrolling.
#include <gtest/gtest.h>

#include <random>

#include "gdi_dib_canvas.h"
#include "platform/gdi.h"

using namespace win;
using gditest::Canvas;
using gditest::GreyTable;
using gditest::MakeInfo;

namespace {

// The boolean definition of a ternary ROP: bit (P << 2 | S << 1 | D) of the code.
uint32_t RopReference(uint8_t rop, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int bit = 0; bit < 32; ++bit) {
        unsigned idx = (((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1);
        r |= ((rop >> idx) & 1u) << bit;
    }
    return r;
}

HBITMAP Pattern8x8(std::mt19937& rng, uint32_t* out) {
    auto info = MakeInfo(8, -8, 32);
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    for (int i = 0; i < 64; ++i) {
        out[i] = rng() & 0xFFFFFF;
        static_cast<uint32_t*>(bits)[i] = out[i];
    }
    return bm;
}

}  // namespace

TEST(GdiRop3, EveryCodeMatchesItsTruthTableOnRandomPixels) {
    std::mt19937 rng(1234);
    constexpr int W = 16, H = 8;
    Canvas src(W, H, 32), dst(W, H, 32);
    uint32_t pattern[64];
    HBITMAP pbm = Pattern8x8(rng, pattern);
    HBRUSH brush = CreatePatternBrush(pbm);
    SelectObject(dst.dc, brush);
    SetBrushOrgEx(dst.dc, 3, 5, nullptr);
    for (int rop = 0; rop < 256; ++rop) {
        uint32_t s[H][W], d[H][W];
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                s[y][x] = rng();
                d[y][x] = rng();
                src.SetPx32(x, y, s[y][x]);
                dst.SetPx32(x, y, d[y][x]);
            }
        DWORD code = (static_cast<DWORD>(rop) << 16) | 0x0020;
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, code));
        bool usesS = ((rop >> 2) & 0x33) != (rop & 0x33);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t p = pattern[((y - 5 + 8) % 8) * 8 + (x - 3 + 16) % 8];
                uint32_t want = RopReference(static_cast<uint8_t>(rop), p, s[y][x], d[y][x]);
                if (!usesS) want &= 0x00FFFFFF;  // fills write 0 into the fourth byte
                ASSERT_EQ(dst.Px32(x, y), want) << "rop 0x" << std::hex << rop << " at " << std::dec << x << "," << y;
            }
    }
    SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
    DeleteObject(pbm);
}

TEST(GdiRop3, NamedCodesOnIndexedBitmapsWorkOnIndices) {
    // Equal tables: the ROP acts on index values.
    struct Case {
        DWORD rop;
        uint8_t s, d, result;
    } cases[] = {{SRCCOPY, 7, 200, 7},         {NOTSRCCOPY, 7, 200, 248},     {SRCAND, 0x0F, 0x3C, 0x0C},
                 {SRCPAINT, 0x0F, 0x30, 0x3F}, {SRCINVERT, 0xFF, 0x0F, 0xF0}, {0x00220326, 0x0F, 0x3C, 0x30},
                 {DSTINVERT, 1, 0x0F, 0xF0},   {BLACKNESS, 1, 9, 0},          {WHITENESS, 1, 9, 255}};
    for (const auto& c : cases) {
        Canvas src(2, 1, 8, GreyTable()), dst(2, 1, 8, GreyTable());
        src.Row(0)[0] = c.s;
        dst.Row(0)[0] = c.d;
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, c.rop));
        EXPECT_EQ(dst.Px8(0, 0), c.result) << std::hex << c.rop;
        EXPECT_EQ(dst.Px8(1, 0), 0) << "outside the blit";
    }
}

TEST(GdiRop3, SpdsxaxTakesDestinationWherePatternIsWhite) {
    Canvas src(8, 1, 32), dst(8, 1, 32);
    // Monochrome 8x8 pattern: columns 0..3 black (0), 4..7 white (1).
    uint8_t rows[8 * 2];
    for (int y = 0; y < 8; ++y) {
        rows[y * 2] = 0x0F;
        rows[y * 2 + 1] = 0;
    }
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(mono);
    SelectObject(dst.dc, brush);
    SetTextColor(dst.dc, RGB(0, 0, 0));
    SetBkColor(dst.dc, RGB(255, 255, 255));
    src.Fill32(0x00111111);
    dst.Fill32(0x00999999);
    BitBlt(dst.dc, 0, 0, 8, 1, src.dc, 0, 0, 0x00AC0744);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Px32(x, 0), x < 4 ? 0x00111111u : 0x00999999u) << x;
    SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
    DeleteObject(mono);
}

TEST(GdiMono, MonochromeToColourUsesTheDestinationTextAndBackgroundColours) {
    uint8_t bits[2] = {0xA0, 0};  // 1,0,1,0 then zeros (rows padded to 16 bits)
    HBITMAP mono = CreateBitmap(4, 1, 1, 1, bits);
    HDC mdc = CreateCompatibleDC(nullptr);
    SelectObject(mdc, mono);
    Canvas dst(4, 1, 32);
    SetTextColor(dst.dc, RGB(255, 0, 0));
    SetBkColor(dst.dc, RGB(0, 0, 255));
    SetTextColor(mdc, RGB(1, 1, 1));  // the source DC's colours play no part
    BitBlt(dst.dc, 0, 0, 4, 1, mdc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dst.dc, 2, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dst.dc, 3, 0), RGB(255, 0, 0));
    // A 1-bpp DIB source follows the same rule whatever its table says.
    Canvas dib(4, 1, 1, {RGB(10, 20, 30), RGB(40, 50, 60)});
    dib.Row(0)[0] = 0x50;  // 0,1,0,1
    BitBlt(dst.dc, 0, 0, 4, 1, dib.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(0, 0, 255));
    DeleteDC(mdc);
    DeleteObject(mono);
}

TEST(GdiMono, ColourToMonochromeUsesTheSourceBackgroundColour) {
    Canvas src(4, 1, 32);
    src.SetPx32(0, 0, 0x00FF0000);  // bytes B, G, R = 00 00 FF: red
    src.SetPx32(1, 0, 0x00000000);
    src.SetPx32(2, 0, 0x00FFFFFF);
    src.SetPx32(3, 0, 0x00FF0000);
    SetBkColor(src.dc, RGB(255, 0, 0));  // red = bytes 00 00 FF = raw 0x00FF0000
    HDC mdc = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(mdc, 4, 1);
    SelectObject(mdc, mono);
    BitBlt(mdc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(mdc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mdc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(mdc, 2, 0), RGB(0, 0, 0)) << "white is not the background colour";
    EXPECT_EQ(GetPixel(mdc, 3, 0), RGB(255, 255, 255));
    // Into a 1-bpp DIB: nearest of its two entries.
    Canvas dib(4, 1, 1, {RGB(0, 0, 0), RGB(255, 255, 255)});
    BitBlt(dib.dc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(dib.Row(0)[0] & 0xF0, 0x20) << "only white is nearer to white";
    SelectObject(mdc, GetStockObject(BLACK_BRUSH));
    DeleteDC(mdc);
    DeleteObject(mono);
}

TEST(GdiMono, MonochromePatternBrushTakesColoursAtDrawingTime) {
    uint8_t rows[16] = {0x80, 0};  // only pixel (0,0) of the cell is 1
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(mono);
    Canvas dst(9, 1, 32);
    SelectObject(dst.dc, brush);
    SetTextColor(dst.dc, RGB(0, 255, 0));
    SetBkColor(dst.dc, RGB(0, 0, 255));
    PatBlt(dst.dc, 0, 0, 9, 1, PATCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dst.dc, 8, 0), RGB(0, 0, 255));
    SetBrushOrgEx(dst.dc, 1, 0, nullptr);
    SetBkColor(dst.dc, RGB(255, 0, 0));
    PatBlt(dst.dc, 0, 0, 9, 1, PATCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 0, 0));
    SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
    DeleteObject(mono);
}

TEST(GdiBlit, IndexedBlitsPreserveIndicesOnlyBetweenEqualTables) {
    // Entries 0 and 1 share a colour: only index preservation keeps index 1.
    std::vector<COLORREF> table = {RGB(9, 9, 9), RGB(9, 9, 9), RGB(200, 0, 0), RGB(0, 0, 0)};
    Canvas src(2, 1, 8, table), same(2, 1, 8, table);
    src.Row(0)[0] = 1;
    src.Row(0)[1] = 2;
    BitBlt(same.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(same.Px8(0, 0), 1);
    EXPECT_EQ(same.Px8(1, 0), 2);
    std::vector<COLORREF> other = {RGB(0, 0, 0), RGB(190, 0, 0), RGB(10, 10, 10)};
    Canvas diff(2, 1, 8, other);
    BitBlt(diff.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(diff.Px8(0, 0), 2) << "(9,9,9) is nearest to (10,10,10)";
    EXPECT_EQ(diff.Px8(1, 0), 1);
    // 8-bit to 32-bit goes through the table; the fourth byte is 0.
    Canvas wide(2, 1, 32);
    wide.Fill32(0xFF000000);
    BitBlt(wide.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(wide.Px32(1, 0), 0x00C80000u);
    EXPECT_EQ(wide.Px32(0, 0), 0x00090909u);
}

TEST(GdiBlit, FourthByteRulesOfThirtyTwoBitTargets) {
    Canvas s24(1, 1, 24), s32(1, 1, 32), d(1, 1, 32);
    s24.Row(0)[0] = 1;
    s32.SetPx32(0, 0, 0x7F000001);
    d.SetPx32(0, 0, 0xFF000000);
    BitBlt(d.dc, 0, 0, 1, 1, s24.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(d.Px32(0, 0), 0x00000001u) << "below 32 bpp: fourth byte 0";
    d.SetPx32(0, 0, 0xFF000000);
    BitBlt(d.dc, 0, 0, 1, 1, s32.dc, 0, 0, SRCINVERT);
    EXPECT_EQ(d.Px32(0, 0), 0x80000001u) << "32 to 32: the ROP covers all four bytes";
    d.SetPx32(0, 0, 0xFF000000);
    SetPixel(d.dc, 0, 0, RGB(1, 2, 3));
    EXPECT_EQ(d.Px32(0, 0), 0x00010203u);
}

TEST(GdiStretch, ColorOnColorNearestSampleAndMirroring) {
    Canvas src(5, 1, 32), dst(8, 1, 32);
    for (int x = 0; x < 5; ++x) src.SetPx32(x, 0, static_cast<uint32_t>(x + 1));
    SetStretchBltMode(dst.dc, COLORONCOLOR);
    StretchBlt(dst.dc, 0, 0, 8, 1, src.dc, 0, 0, 5, 1, SRCCOPY);
    // column i takes floor((2i + 1) * 5 / 16)
    uint32_t want[8] = {1, 1, 2, 3, 3, 4, 5, 5};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Px32(x, 0), want[x]) << x;
    // Shrinking 5 -> 2: floor(5/4)=1, floor(15/4)=3
    dst.Fill32(0);
    StretchBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 5, 1, SRCCOPY);
    EXPECT_EQ(dst.Px32(0, 0), 2u);
    EXPECT_EQ(dst.Px32(1, 0), 4u);
    // Mirroring with a negative destination width lands in columns 0 .. W-1.
    dst.Fill32(0);
    StretchBlt(dst.dc, 5, 0, -5, 1, src.dc, 0, 0, 5, 1, SRCCOPY);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.Px32(x, 0), static_cast<uint32_t>(5 - x)) << x;
    EXPECT_EQ(dst.Px32(5, 0), 0u);
    // Both negative: no mirroring.
    dst.Fill32(0);
    StretchBlt(dst.dc, 5, 0, -5, 1, src.dc, 5, 0, -5, 1, SRCCOPY);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.Px32(x, 0), static_cast<uint32_t>(x + 1)) << x;
}

TEST(GdiStretch, VerticalMirrorOnEightBitDibsKeepsIndices) {
    std::vector<COLORREF> table = {RGB(1, 1, 1), RGB(1, 1, 1), RGB(1, 1, 1), RGB(1, 1, 1)};
    Canvas src(1, 4, 8, table, false), dst(2, 8, 8, table, true);
    for (int y = 0; y < 4; ++y) src.Row(y)[0] = static_cast<uint8_t>(y);
    SetStretchBltMode(dst.dc, COLORONCOLOR);
    StretchBlt(dst.dc, 0, 8, 2, -8, src.dc, 0, 0, 1, 4, SRCCOPY);
    uint8_t want[8] = {3, 3, 2, 2, 1, 1, 0, 0};
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(dst.Px8(0, y), want[y]) << y;
        EXPECT_EQ(dst.Px8(1, y), want[y]) << y;
    }
}

TEST(GdiStretch, HalftoneAveragesAndMonochromeModesCombine) {
    Canvas src(4, 2, 32), dst(2, 1, 32);
    uint32_t px[2][4] = {{0x000000, 0x0000FF, 0x101010, 0x101010}, {0x0000FF, 0x000001, 0x101010, 0x202020}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) src.SetPx32(x, y, px[y][x]);
    SetStretchBltMode(dst.dc, HALFTONE);
    StretchBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 2, SRCCOPY);
    EXPECT_EQ(dst.Px32(0, 0), 0x00000080u);  // (0 + 255 + 255 + 1) / 4 = 127.75 -> 128
    EXPECT_EQ(dst.Px32(1, 0), 0x00141414u);  // (16 * 3 + 32) / 4 = 20

    // 1-bpp shrink: BLACKONWHITE keeps black (AND of bits), WHITEONBLACK keeps white (OR).
    struct Case {
        int mode;
        uint8_t result;
    } cases[] = {{BLACKONWHITE, 0x00}, {WHITEONBLACK, 0xC0}, {COLORONCOLOR, 0x80}};  // from 0,1,1,0
    for (const auto& c : cases) {
        Canvas m(4, 1, 1, {RGB(0, 0, 0), RGB(255, 255, 255)}), out(2, 1, 1, {RGB(0, 0, 0), RGB(255, 255, 255)});
        m.Row(0)[0] = 0x60;
        SetStretchBltMode(out.dc, c.mode);
        StretchBlt(out.dc, 0, 0, 2, 1, m.dc, 0, 0, 4, 1, SRCCOPY);
        EXPECT_EQ(out.Row(0)[0] & 0xC0, c.result) << c.mode;
    }
}

TEST(GdiDib, StretchDIBitsAndSetDIBitsToDeviceHonourOrientation) {
    // A 2x2 bottom-up 32-bit DIB: first row in memory is the bottom row.
    uint32_t bottomUp[4] = {0x01, 0x02, 0x03, 0x04};
    auto info = MakeInfo(2, 2, 32);
    Canvas dst(2, 2, 32);
    EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, bottomUp, info.get(), DIB_RGB_COLORS, SRCCOPY), 2);
    EXPECT_EQ(dst.Px32(0, 0), 0x03u);
    EXPECT_EQ(dst.Px32(1, 1), 0x02u);
    dst.Fill32(0);
    info.h.biHeight = -2;
    EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, bottomUp, info.get(), DIB_RGB_COLORS, SRCINVERT), 2);
    EXPECT_EQ(dst.Px32(0, 0), 0x01u);
    dst.Fill32(0);
    info.h.biHeight = 2;
    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 2, 2, 0, 0, 0, 2, bottomUp, info.get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(dst.Px32(0, 0), 0x03u);
    EXPECT_EQ(dst.Px32(0, 1), 0x01u);
    EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, nullptr, info.get(), DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(GdiDib, GetAndSetDIBitsConvertFormats) {
    Canvas cv(3, 2, 32);
    cv.SetPx32(0, 0, 0x00FF0000);
    cv.SetPx32(2, 1, 0x000000FF);
    auto info = MakeInfo(3, 2, 24);
    uint8_t out[2 * 12] = {};
    EXPECT_EQ(GetDIBits(cv.dc, cv.bitmap, 0, 2, out, info.get(), DIB_RGB_COLORS), 2);
    // bottom-up: first row out is the bottom row; pixel (2,1) is blue = bytes FF 00 00
    EXPECT_EQ(out[6], 0xFF);
    EXPECT_EQ(out[12 + 2], 0xFF) << "red of pixel (0,0) in the second (top) row";
    auto ask = MakeInfo(0, 0, 0);
    ask.h.biBitCount = 0;
    EXPECT_NE(GetDIBits(cv.dc, cv.bitmap, 0, 0, nullptr, ask.get(), DIB_RGB_COLORS), 0);
    EXPECT_EQ(ask.h.biWidth, 3);
    EXPECT_EQ(ask.h.biBitCount, 32);
    // Request 8 bits from an 8-bit bitmap: its indices and table come back.
    Canvas ix(2, 1, 8, GreyTable());
    ix.Row(0)[1] = 77;
    auto info8 = MakeInfo(2, 1, 8);
    uint8_t out8[4] = {};
    EXPECT_EQ(GetDIBits(ix.dc, ix.bitmap, 0, 1, out8, info8.get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(out8[1], 77);
    EXPECT_EQ(info8.colors[77].rgbRed, 77);
    // SetDIBits from 24-bit rows into the 32-bit bitmap.
    uint8_t rows[2 * 12] = {};
    rows[0] = 0x11;  // bottom row, pixel 0 blue byte
    EXPECT_EQ(SetDIBits(cv.dc, cv.bitmap, 0, 2, rows, info.get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(cv.Px32(0, 1), 0x00000011u);
    EXPECT_EQ(cv.Px32(0, 0), 0u);
}

TEST(GdiDib, ColourTablesOfTheSelectedDibSection) {
    Canvas cv(2, 2, 4, GreyTable(16));
    RGBQUAD q[16];
    EXPECT_EQ(GetDIBColorTable(cv.dc, 14, 10, q), 2u);
    EXPECT_EQ(q[1].rgbRed, 255);
    RGBQUAD red{0, 0, 255, 0};
    EXPECT_EQ(SetDIBColorTable(cv.dc, 3, 1, &red), 1u);
    cv.Row(0)[0] = 0x30;
    EXPECT_EQ(GetPixel(cv.dc, 0, 0), RGB(255, 0, 0));
    Canvas c32(2, 2, 32);
    EXPECT_EQ(GetDIBColorTable(c32.dc, 0, 1, q), 0u);
}

TEST(GdiPalette, EntriesNearestIndexAndColourMatching) {
    struct {
        WORD version, count;
        PALETTEENTRY e[4];
    } lp{0x300, 4, {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}}};
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    ASSERT_NE(pal, nullptr);
    PALETTEENTRY out[4];
    EXPECT_EQ(GetPaletteEntries(pal, 1, 10, out), 3u);
    EXPECT_EQ(out[0].peRed, 255);
    EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(250, 10, 0)), 1u) << "ties: the first wins";
    EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(0, 0, 100)), 0u);
    Canvas cv(1, 1, 32);
    EXPECT_EQ(SelectPalette(cv.dc, pal, FALSE), GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(RealizePalette(cv.dc), 0u);
    EXPECT_EQ(SetPixel(cv.dc, 0, 0, PALETTEINDEX(2)), RGB(0, 0, 255));
    PALETTEENTRY sys[32];
    EXPECT_EQ(GetSystemPaletteEntries(cv.dc, 0, 32, sys), 20u);
    EXPECT_EQ(sys[19].peBlue, 255);
    SelectPalette(cv.dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    EXPECT_TRUE(DeleteObject(pal));
    lp.count = 0;
    EXPECT_EQ(CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp)), nullptr);
}

TEST(GdiPalette, ColoursOnIndexedTargetsPickTheNearestEntry) {
    Canvas grey(4, 1, 8, GreyTable());
    for (int g : {0, 1, 127, 128, 254, 255}) {
        EXPECT_EQ(SetPixel(grey.dc, 0, 0, RGB(g, g, g)), RGB(g, g, g));
        EXPECT_EQ(grey.Px8(0, 0), g);
    }
    SetPixel(grey.dc, 1, 0, PALETTERGB(10, 10, 10));
    EXPECT_EQ(grey.Px8(1, 0), 10);
    SetPixel(grey.dc, 2, 0, PALETTEINDEX(200));
    EXPECT_EQ(grey.Px8(2, 0), 200);
    Canvas two(1, 1, 8, {RGB(0, 0, 0), RGB(100, 100, 100), RGB(100, 100, 100)});
    EXPECT_EQ(SetPixel(two.dc, 0, 0, RGB(90, 90, 90)), RGB(100, 100, 100));
    EXPECT_EQ(two.Px8(0, 0), 1) << "lowest index wins ties";
}

TEST(GdiScroll, ScrollDcMovesPixelsAndReportsTheUncoveredPart) {
    Canvas cv(6, 1, 32);
    for (int x = 0; x < 6; ++x) cv.SetPx32(x, 0, static_cast<uint32_t>(x + 1));
    RECT scroll{0, 0, 6, 1};
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    RECT ur;
    EXPECT_TRUE(ScrollDC(cv.dc, 2, 0, &scroll, &scroll, update, &ur));
    uint32_t want[6] = {1, 2, 1, 2, 3, 4};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(cv.Px32(x, 0), want[x]) << x;
    EXPECT_EQ(ur.left, 0);
    EXPECT_EQ(ur.right, 2);
    EXPECT_TRUE(PtInRegion(update, 1, 0));
    EXPECT_FALSE(PtInRegion(update, 2, 0));
    // A clip rectangle limits what is written.
    RECT clip{3, 0, 6, 1};
    ScrollDC(cv.dc, -1, 0, &scroll, &clip, nullptr, &ur);
    uint32_t want2[6] = {1, 2, 1, 3, 4, 4};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(cv.Px32(x, 0), want2[x]) << x;
    EXPECT_EQ(ur.left, 5);
    DeleteObject(update);
}

TEST(GdiBlit, FifteenBitTargetsKeepTheTopBitClear) {
    Canvas cv(2, 1, 16);
    PatBlt(cv.dc, 0, 0, 2, 1, WHITENESS);
    EXPECT_EQ(cv.Row(0)[0], 0xFF);
    EXPECT_EQ(cv.Row(0)[1], 0x7F);
    PatBlt(cv.dc, 0, 0, 1, 1, DSTINVERT);
    EXPECT_EQ(cv.Row(0)[1], 0x00);
    Canvas c565(1, 1, 16, {}, true, true);
    PatBlt(c565.dc, 0, 0, 1, 1, WHITENESS);
    EXPECT_EQ(c565.Row(0)[1], 0xFF);
    // 565 to 555 converts through colour: pure green keeps its full intensity.
    SetPixel(c565.dc, 0, 0, RGB(0, 255, 0));
    BitBlt(cv.dc, 0, 0, 1, 1, c565.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(cv.dc, 0, 0), RGB(0, 255, 0));
}

TEST(GdiStretch, StretchDIBitsOnEightBitTargetsWorksOnIndices) {
    // The packed source's table equals the target's, with repeated colours: indices survive.
    auto table = std::vector<COLORREF>(256, RGB(5, 5, 5));
    auto info = MakeInfo(2, -1, 8, table);
    uint8_t src[4] = {200, 17, 0, 0};
    Canvas dst(4, 1, 8, table);
    SetStretchBltMode(dst.dc, COLORONCOLOR);
    EXPECT_EQ(StretchDIBits(dst.dc, 4, 0, -4, 1, 0, 0, 2, 1, src, info.get(), DIB_RGB_COLORS, SRCCOPY), 1);
    uint8_t want[4] = {17, 17, 200, 200};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Px8(x, 0), want[x]) << x;
    // Mirrored halftone averages colours then matches them to the table.
    Canvas grey(1, 1, 8, GreyTable());
    auto ginfo = MakeInfo(2, -1, 8, GreyTable());
    uint8_t gsrc[4] = {10, 21, 0, 0};
    SetStretchBltMode(grey.dc, HALFTONE);
    StretchDIBits(grey.dc, 1, 0, -1, 1, 0, 0, 2, 1, gsrc, ginfo.get(), DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(grey.Px8(0, 0), 16);  // (10 + 21) / 2 = 15.5 rounds to 16
}

TEST(GdiDc, RestoreDcReselectsTheSavedBitmap) {
    Canvas a(2, 2, 32);
    auto info = MakeInfo(3, 3, 8, GreyTable());
    HBITMAP other = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(other, nullptr);
    SaveDC(a.dc);
    EXPECT_EQ(SelectObject(a.dc, other), a.bitmap);
    EXPECT_FALSE(DeleteObject(other));
    EXPECT_TRUE(RestoreDC(a.dc, -1));
    EXPECT_EQ(GetCurrentObject(a.dc, OBJ_BITMAP), a.bitmap);
    EXPECT_TRUE(DeleteObject(other)) << "no longer selected anywhere";
    EXPECT_EQ(GetObjectType(a.dc), OBJ_MEMDC);
}

TEST(GdiDib, PaletteIndexTablesAndMonochromeBitmaps) {
    struct {
        BITMAPINFOHEADER h;
        WORD idx[2];
    } info{};
    info.h.biSize = sizeof(BITMAPINFOHEADER);
    info.h.biWidth = 2;
    info.h.biHeight = 1;
    info.h.biPlanes = 1;
    info.h.biBitCount = 1;
    info.h.biClrUsed = 2;
    info.idx[0] = 13;  // default palette: red
    info.idx[1] = 16;  // blue
    HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_PAL_COLORS, nullptr, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bm);
    RGBQUAD q[2];
    EXPECT_EQ(GetDIBColorTable(dc, 0, 2, q), 2u);
    EXPECT_EQ(q[0].rgbRed, 255);
    EXPECT_EQ(q[1].rgbBlue, 255);
    DeleteDC(dc);
    DeleteObject(bm);
    // A monochrome DDB from word-aligned rows.
    uint8_t rows[4] = {0x80, 0x00, 0x40, 0x00};
    HBITMAP mono = CreateBitmap(3, 2, 1, 1, rows);
    BITMAP b;
    ASSERT_EQ(GetObjectA(mono, sizeof b, &b), static_cast<int>(sizeof b));
    EXPECT_EQ(b.bmBitsPixel, 1);
    EXPECT_EQ(b.bmBits, nullptr);
    HDC mdc = CreateCompatibleDC(nullptr);
    SelectObject(mdc, mono);
    EXPECT_EQ(GetPixel(mdc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mdc, 1, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mdc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(SetPixel(mdc, 2, 0, RGB(200, 200, 200)), RGB(255, 255, 255)) << "nearest of black and white";
    DeleteDC(mdc);
    DeleteObject(mono);
    EXPECT_EQ(CreateBitmap(4, 4, 2, 1, nullptr), nullptr);
}

TEST(GdiDib, CreateDIBitmapInitialisesADeviceBitmap) {
    uint32_t rows[2] = {0x000000FF, 0x00FF0000};  // bottom row blue, top row red
    auto info = MakeInfo(1, 2, 32);
    HBITMAP bm = CreateDIBitmap(nullptr, &info.h, CBM_INIT, rows, info.get(), DIB_RGB_COLORS);
    ASSERT_NE(bm, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bm);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
    BITMAP b;
    GetObjectA(bm, sizeof b, &b);
    EXPECT_EQ(b.bmBits, nullptr) << "device-dependent: no bits pointer";
    DeleteDC(dc);
    DeleteObject(bm);
}

TEST(GdiDib, SetDIBitsToDeviceInBands) {
    // Scans counted from the bottom: scan 0 = 0x10 (bottom row) .. scan 3 = 0x13 (top row).
    uint32_t scans[4] = {0x10, 0x11, 0x12, 0x13};
    auto info = MakeInfo(1, 4, 32);
    Canvas dst(1, 4, 32);
    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 1, 4, 0, 0, 0, 2, scans, info.get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(dst.Px32(0, 0), 0u) << "the top rows are not in this band";
    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 1, 4, 0, 0, 2, 2, scans + 2, info.get(), DIB_RGB_COLORS), 2);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(dst.Px32(0, y), static_cast<uint32_t>(0x13 - y)) << y;
    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 1, 4, 0, 0, 4, 2, scans, info.get(), DIB_RGB_COLORS), 0);
}

// A solid fill writes, span by span, the bytes that painting the same colour pixel by
// pixel through a pattern brush writes: every format, spans starting and ending inside a
// byte of 1- and 4-bit rows, clipped areas of several spans, and the operations that use no
// destination (the fourth byte of 32-bit targets is 0 as with every fill).
TEST(GdiFill, SolidFillsWriteWhatPatternFillsOfTheSameColourWrite) {
    std::mt19937 rng(77);
    struct Format {
        int bpp;
        bool b565;
    } formats[] = {{1, false}, {4, false}, {8, false}, {16, false}, {16, true}, {24, false}, {32, false}};
    const DWORD rops[] = {PATCOPY, BLACKNESS, WHITENESS, 0x000F0001 /* not P */};
    uint8_t zeros[16] = {};
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, zeros);  // every pattern pixel 0: the text colour
    HBRUSH pattern = CreatePatternBrush(mono);
    for (const Format& f : formats) {
        const int W = 45, H = 11;
        const auto table = f.bpp <= 8 ? GreyTable(1 << f.bpp) : std::vector<COLORREF>{};
        Canvas fast(W, H, f.bpp, table, true, f.b565), slow(W, H, f.bpp, table, true, f.b565);
        for (int round = 0; round < 40; ++round) {
            // Both start from the same random bytes.
            for (int y = 0; y < H; ++y)
                for (int i = 0; i < fast.stride; ++i) fast.Row(y)[i] = slow.Row(y)[i] = static_cast<uint8_t>(rng());
            const COLORREF c = RGB(rng() & 0xFF, rng() & 0xFF, rng() & 0xFF);
            const DWORD rop = rops[rng() % 4];
            const int l = static_cast<int>(rng() % W), t = static_cast<int>(rng() % H);
            const int r = l + static_cast<int>(rng() % (W - l + 1)), b = t + static_cast<int>(rng() % (H - t + 1));
            const bool clipped = rng() % 2;
            HBRUSH solid = CreateSolidBrush(c);
            SelectObject(fast.dc, solid);
            SelectObject(slow.dc, pattern);
            SetTextColor(slow.dc, c);
            for (HDC dc : {fast.dc, slow.dc}) {
                // Excluding a rectangle inside the area leaves spans on both sides of it.
                if (clipped) ExcludeClipRect(dc, l + 3, t + 1, l + 9, t + 4);
                PatBlt(dc, l, t, r - l, b - t, rop);
                SelectClipRgn(dc, nullptr);
            }
            SelectObject(fast.dc, GetStockObject(WHITE_BRUSH));
            SelectObject(slow.dc, GetStockObject(WHITE_BRUSH));
            DeleteObject(solid);
            for (int y = 0; y < H; ++y)
                ASSERT_EQ(std::memcmp(fast.Row(y), slow.Row(y), static_cast<size_t>(fast.stride)), 0)
                    << "bpp " << f.bpp << (f.b565 ? " 565" : "") << " rop 0x" << std::hex << rop << std::dec << " row "
                    << y << " area " << l << "," << t << "-" << r << "," << b;
        }
    }
    DeleteObject(pattern);
    DeleteObject(mono);
}

// Stretched and mirrored copies between bitmaps of one format take, for every destination
// pixel, the source pixel of the nearest-sample rule: column j of a span of n from a
// source span of m starting at s0 reads s0 + floor((2j + 1) * m / (2n)), counted from the
// far end when mirrored; the same for rows.
TEST(GdiStretch, SameFormatCopiesTakeTheNearestSample) {
    std::mt19937 rng(91);
    struct Format {
        int bpp;
        bool b565;
    } formats[] = {{8, false}, {16, true}, {24, false}, {32, false}};
    for (const Format& f : formats) {
        const int bytes = f.bpp / 8;
        const auto table = f.bpp == 8 ? GreyTable() : std::vector<COLORREF>{};
        for (int round = 0; round < 30; ++round) {
            const int sw = 1 + static_cast<int>(rng() % 40), sh = 1 + static_cast<int>(rng() % 9);
            const int dw = 1 + static_cast<int>(rng() % 60), dh = 1 + static_cast<int>(rng() % 12);
            Canvas src(sw, sh, f.bpp, table, true, f.b565), dst(dw, dh, f.bpp, table, true, f.b565);
            for (int y = 0; y < sh; ++y)
                for (int i = 0; i < src.stride; ++i) src.Row(y)[i] = static_cast<uint8_t>(rng());
            for (int y = 0; y < dh; ++y) std::memset(dst.Row(y), 0, static_cast<size_t>(dst.stride));
            const bool mirrorX = rng() % 2, mirrorY = rng() % 2;
            SetStretchBltMode(dst.dc, COLORONCOLOR);
            StretchBlt(dst.dc, mirrorX ? dw : 0, mirrorY ? dh : 0, mirrorX ? -dw : dw, mirrorY ? -dh : dh, src.dc, 0, 0,
                       sw, sh, SRCCOPY);
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    const int jx = mirrorX ? dw - 1 - x : x, jy = mirrorY ? dh - 1 - y : y;
                    const int sx = (2 * jx + 1) * sw / (2 * dw), sy = (2 * jy + 1) * sh / (2 * dh);
                    ASSERT_EQ(std::memcmp(dst.Row(y) + x * bytes, src.Row(sy) + sx * bytes, static_cast<size_t>(bytes)),
                              0)
                        << "bpp " << f.bpp << " " << sw << "x" << sh << " to " << dw << "x" << dh << " at " << x << ","
                        << y;
                }
        }
    }
}
