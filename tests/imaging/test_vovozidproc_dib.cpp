// The packed DIB and YUV loader: every bit count and compression on small blocks worked out
// by hand, the colour conversion, every layout converter against the conversion, damaged
// blocks refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/processing/vovozidproc_dib.h"
#include "imaging/processing/vovozidproc_utils.h"
#include "imaging_fixture.h"
#include "platform/kernel.h"

namespace ie {
namespace {

using test::ImagingTest;
using Bytes = std::vector<uint8_t>;

void Add32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Add16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
Bytes Header(int32_t w, int32_t h, int bits, uint32_t compression = 0, uint32_t clrUsed = 0) {
    Bytes b;
    Add32(b, 40);
    Add32(b, static_cast<uint32_t>(w));
    Add32(b, static_cast<uint32_t>(h));
    Add16(b, 1);
    Add16(b, static_cast<uint32_t>(bits));
    Add32(b, compression);
    Add32(b, 0);
    Add32(b, 2835);
    Add32(b, 2835);
    Add32(b, clrUsed);
    Add32(b, 0);
    return b;
}
void Append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }
uint32_t FourCC(const char* s) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}
TRGB YUV(int y, int u, int v) {
    uint8_t o[3];
    IEYUVToBGR(y, u, v, o);
    return TRGB{o[0], o[1], o[2]};
}

class DIB : public ImagingTest {};

TEST_F(DIB, ColourConversionOfBlackWhiteAndGrey) {
    struct Case {
        int y, u, v;
        TRGB bgr;
    };
    const Case cases[] = {{16, 128, 128, CreateRGB(0, 0, 0)},        {235, 128, 128, CreateRGB(255, 255, 255)},
                          {128, 128, 128, CreateRGB(130, 130, 130)}, {0, 0, 0, CreateRGB(0, 135, 0)},
                          {255, 255, 255, CreateRGB(255, 125, 255)}, {81, 90, 240, CreateRGB(254, 0, 0)}};
    for (const Case& c : cases) EXPECT_EQ(YUV(c.y, c.u, c.v), c.bgr) << c.y << " " << c.u << " " << c.v;
}

TEST_F(DIB, IndexedRowsTakeTheirTableColoursBottomUp) {
    // 4 bits, width 5: the fifth pixel from the high nibble of the third byte.
    Bytes d = Header(5, 2, 4, 0, 3);
    for (const TRGB c : {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6), CreateRGB(7, 8, 9)}) {
        d.push_back(c.b);
        d.push_back(c.g);
        d.push_back(c.r);
        d.push_back(0);
    }
    Append(d, {0x01, 0x20, 0x1F, 0x00});  // bottom row: 0 1 2 0 1
    Append(d, {0x22, 0x11, 0x0E, 0x00});  // top row: 2 2 1 1 0
    TIEBitmap b;
    ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 4);
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    const int top[5] = {2, 2, 1, 1, 0}, bottom[5] = {0, 1, 2, 0, 1};
    const TRGB table[3] = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6), CreateRGB(7, 8, 9)};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(b.GetPixel24(x, 0), table[top[x]]) << x;
        EXPECT_EQ(b.GetPixel24(x, 1), table[bottom[x]]) << x;
    }
    // 8 bits; an index past the table reads black.
    Bytes e = Header(3, 1, 8, 0, 1);
    Append(e, {9, 8, 7, 0, 0, 0, 5, 0});
    ASSERT_EQ(IEDIBToBitmap(e.data(), e.size(), &b), 8);
    EXPECT_EQ(b.GetPixel24(0, 0), CreateRGB(7, 8, 9));
    EXPECT_EQ(b.GetPixel24(2, 0), CreateRGB(0, 0, 0));
}

TEST_F(DIB, OneBitRowsAreCopiedWhateverTheTable) {
    Bytes d = Header(10, 2, 1);
    Append(d, {255, 255, 255, 0, 0, 0, 0, 0});  // white, black: not consulted
    Append(d, {0x80, 0x40, 0, 0});              // bottom row
    Append(d, {0x01, 0xC0, 0, 0});              // top row
    TIEBitmap b;
    ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 1);
    ASSERT_EQ(b.GetPixelFormat(), ie1g);
    const auto* top = static_cast<const uint8_t*>(b.GetScanline(0));
    const auto* bottom = static_cast<const uint8_t*>(b.GetScanline(1));
    EXPECT_EQ(top[0], 0x01);
    EXPECT_EQ(top[1], 0xC0);
    EXPECT_EQ(bottom[0], 0x80);
    EXPECT_EQ(bottom[1], 0x40);
}

TEST_F(DIB, SixteenBitPixelsByTheirMasks) {
    struct Case {
        uint32_t compression;
        std::vector<uint32_t> masks;
        uint16_t pixel;
        TRGB want;
    };
    const Case cases[] = {
        {0, {}, 0x7FFF, CreateRGB(248, 248, 248)},
        {3, {0xF800, 0x07E0, 0x001F}, 0xFFFF, CreateRGB(248, 252, 248)},
        {3, {0xF800, 0x07E0, 0x001F}, 0x07E0, CreateRGB(0, 252, 0)},
        {0, {}, 0x001F, CreateRGB(0, 0, 248)},
    };
    for (const Case& c : cases) {
        for (const bool separate : {false, true}) {
            Bytes d = Header(1, 1, 16, c.compression);
            Bytes px;
            for (uint32_t m : c.masks) Add32(px, m);
            Add16(px, c.pixel);
            Add16(px, 0);
            TIEBitmap b;
            if (separate) {
                ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b, px.data(), px.size()), 16);
            } else {
                Append(d, px);
                ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 16);
            }
            EXPECT_EQ(b.GetPixel24(0, 0), c.want) << std::hex << c.pixel << " separate " << separate;
        }
    }
}

TEST_F(DIB, TwentyFourAndThirtyTwoBitsAndTopDownRows) {
    Bytes d = Header(2, 2, 24);
    Append(d, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    TIEBitmap b;
    ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 24);
    EXPECT_EQ(b.GetPixel24(1, 1), (TRGB{4, 5, 6}));
    EXPECT_EQ(b.GetPixel24(0, 0), (TRGB{7, 8, 9}));
    Bytes t = Header(2, -2, 24);
    Append(t, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    ASSERT_EQ(IEDIBToBitmap(t.data(), t.size(), &b), 24);
    EXPECT_EQ(b.GetHeight(), 2);
    EXPECT_EQ(b.GetPixel24(1, 0), (TRGB{4, 5, 6}));
    for (const uint32_t compression : {0u, 3u}) {
        Bytes q = Header(1, 1, 32, compression);
        if (compression == 3) Append(q, Bytes(12, 0xEE));  // masks skipped, not read
        Append(q, {21, 22, 23, 24});
        ASSERT_EQ(IEDIBToBitmap(q.data(), q.size(), &b), 32);
        EXPECT_EQ(b.GetPixel24(0, 0), (TRGB{21, 22, 23}));
    }
    // A compression these bit counts do not take: allocated, black, the bit count returned.
    Bytes c = Header(2, 2, 24, 3);
    Append(c, Bytes(28, 0x77));
    ASSERT_EQ(IEDIBToBitmap(c.data(), c.size(), &b), 24);
    EXPECT_EQ(b.GetWidth(), 2);
    EXPECT_EQ(b.GetPixel24(0, 0), (TRGB{0, 0, 0}));
    // Run-length codes where no decoder applies are not read as pixels either.
    for (const auto& [bits, compression] : {std::pair{16, 1u}, std::pair{8, 2u}, std::pair{4, 1u}, std::pair{1, 2u}}) {
        Bytes r = Header(2, 2, bits, compression);
        Append(r, Bytes(1024 + 64, 0x77));
        ASSERT_EQ(IEDIBToBitmap(r.data(), r.size(), &b), bits);
        EXPECT_EQ(b.GetPixelRGB(1, 1), (TRGB{0, 0, 0})) << bits << " bits, compression " << compression;
    }
}

TEST_F(DIB, RunLengthDataAreDecoded) {
    // RLE8, 4 x 3: bottom row a run of 3 x index 1 then an absolute stretch of 1 padded...
    Bytes d = Header(4, 3, 8, 1, 3);
    Append(d, {0, 0, 0, 0, 10, 20, 30, 0, 40, 50, 60, 0});
    Append(d, {3, 1, 0, 3, 2, 1, 0, 0, 0, 0});  // row 0: 1 1 1 then absolute [2 1 0] cut at the edge
    Append(d, {0, 2, 1, 1});                    // move one right, one up: row 2 from column 1
    Append(d, {2, 2, 0, 1});                    // two of index 2, end of bitmap
    TIEBitmap b;
    ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 8);
    const TRGB c0{0, 0, 0}, c1{10, 20, 30}, c2{40, 50, 60};
    const TRGB want[3][4] = {{c0, c2, c2, c0}, {c0, c0, c0, c0}, {c1, c1, c1, c2}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(b.GetPixel24(x, y), want[y][x]) << x << "," << y;
    // RLE4, 5 x 1: a run of 5 alternating 1 and 2, then end of line and end of bitmap.
    Bytes e = Header(5, 2, 4, 2, 3);
    Append(e, {0, 0, 0, 0, 10, 20, 30, 0, 40, 50, 60, 0});
    Append(e, {5, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1});
    ASSERT_EQ(IEDIBToBitmap(e.data(), e.size(), &b), 4);
    const TRGB bottom[5] = {c1, c2, c1, c2, c1}, top[5] = {c2, c1, c2, c0, c0};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(b.GetPixel24(x, 1), bottom[x]) << x;
        EXPECT_EQ(b.GetPixel24(x, 0), top[x]) << x;
    }
}

TEST_F(DIB, PackedYUVLayoutsAgainstTheConversion) {
    struct Case {
        const char* code;
        int32_t width;
        Bytes group;  // one row of the layout
        std::vector<TRGB> want;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"YUY2", 2, {50, 100, 60, 150}, {YUV(50, 100, 150), YUV(60, 100, 150)}},
        {"YUNV", 2, {50, 100, 60, 150}, {YUV(50, 100, 150), YUV(60, 100, 150)}},
        {"UYVY", 2, {100, 50, 150, 60}, {YUV(50, 100, 150), YUV(60, 100, 150)}},
        {"UYNV", 2, {100, 50, 150, 60}, {YUV(50, 100, 150), YUV(60, 100, 150)}},
        {"YVYU", 2, {50, 150, 60, 100}, {YUV(50, 100, 150), YUV(60, 100, 150)}},
        {"IYU2", 1, {100, 70, 150}, {YUV(70, 100, 150)}},
        {"IYU1", 4, {100, 40, 50, 150, 60, 70},
         {YUV(40, 100, 150), YUV(50, 100, 150), YUV(60, 100, 150), YUV(70, 100, 150)}},
        {"Y211", 4, {40, 100, 80, 150}, {YUV(40, 100, 150), YUV(40, 100, 150), YUV(80, 100, 150), YUV(80, 100, 150)}},
        {"Y41P", 8, {100, 30, 150, 40, 110, 50, 160, 60, 70, 80, 90, 99},
         {YUV(30, 100, 150), YUV(40, 100, 150), YUV(50, 100, 150), YUV(60, 100, 150), YUV(70, 110, 160),
          YUV(80, 110, 160), YUV(90, 110, 160), YUV(99, 110, 160)}},
        // CLJR: V 20, U 40 (6 bits), Y 10, 20, 30, 31 (5 bits), widened to 8 bits.
        {"CLJR", 4,
         {20, 170, 168, 255},  // the word V | U << 6 | Y0 << 12 | Y1 << 17 | Y2 << 22 | Y3 << 27
         {YUV(82, 162, 81), YUV(165, 162, 81), YUV(247, 162, 81), YUV(255, 162, 81)}},
    };
    // clang-format on
    for (const Case& c : cases) {
        // Two rows, the second of samples 16; the first source row is the top one for a
        // positive height (the bottom one for Y41P and cyuv).
        Bytes bits = c.group;
        Append(bits, Bytes(c.group.size(), 16));  // a black second row
        const Bytes d = Header(c.width, 2, 16, FourCC(c.code));
        TIEBitmap b;
        ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b, bits.data(), bits.size()), 16) << c.code;
        const bool firstIsTop = std::string(c.code) != "Y41P";
        const int32_t row = firstIsTop ? 0 : 1;
        for (int32_t x = 0; x < c.width; ++x)
            EXPECT_EQ(b.GetPixel24(x, row), c.want[static_cast<size_t>(x)]) << c.code << " " << x;
        // Too few samples for the frame, or none: refused.
        TIEBitmap s(1, 1, ie8g);
        EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &s, bits.data(), bits.size() - 1), 0) << c.code;
        EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &s), 0) << c.code;
        EXPECT_EQ(s.GetPixelFormat(), ie8g) << c.code;
    }
}

TEST_F(DIB, PlanarYUVChromaPerBlock) {
    struct Case {
        const char* code;
        int32_t block;
        bool vFirst;
    };
    const Case cases[] = {{"YV12", 2, true}, {"I420", 2, false}, {"IYUV", 2, false}, {"YVU9", 4, true}};
    for (const Case& c : cases) {
        const int32_t w = 8, h = 8, cw = w / c.block, ch = h / c.block;
        Bytes bits;
        for (int i = 0; i < w * h; ++i) bits.push_back(static_cast<uint8_t>(16 + 3 * i));
        Bytes first, second;
        for (int i = 0; i < cw * ch; ++i) {
            first.push_back(static_cast<uint8_t>(60 + 9 * i));
            second.push_back(static_cast<uint8_t>(200 - 7 * i));
        }
        Append(bits, first);
        Append(bits, second);
        const Bytes& vPlane = c.vFirst ? first : second;
        const Bytes& uPlane = c.vFirst ? second : first;
        for (const int32_t height : {h, -h}) {
            const Bytes d = Header(w, height, 12, FourCC(c.code));
            TIEBitmap b;
            ASSERT_EQ(IEDIBToBitmap(d.data(), d.size(), &b, bits.data(), bits.size()), 12);
            for (int32_t k = 0; k < h; ++k)
                for (int32_t x = 0; x < w; ++x) {
                    const size_t ci = static_cast<size_t>((k / c.block) * cw + x / c.block);
                    const int32_t row = height > 0 ? k : h - 1 - k;
                    ASSERT_EQ(b.GetPixel24(x, row), YUV(bits[static_cast<size_t>(k * w + x)], uPlane[ci], vPlane[ci]))
                        << c.code << " source row " << k << " column " << x;
                }
        }
    }
}

TEST_F(DIB, DamagedBlocksAreRefused) {
    TIEBitmap b;
    b.Allocate(3, 3, ie8g);
    Bytes full = Header(4, 4, 24);
    Append(full, Bytes(48, 9));
    struct Case {
        const char* what;
        Bytes dib;
    };
    std::vector<Case> cases = {
        {"nothing", {}},
        {"short header", Bytes(full.begin(), full.begin() + 39)},
        {"rows cut", Bytes(full.begin(), full.end() - 1)},
        {"header size past the block",
         [&] {
             Bytes d = full;
             d[0] = 200;
             return d;
         }()},
        {"header size below 40",
         [&] {
             Bytes d = full;
             d[0] = 12;
             return d;
         }()},
        {"no bit count",
         [&] {
             Bytes d = Header(4, 4, 0);
             Append(d, Bytes(48, 9));
             return d;
         }()},
        {"zero width",
         [&] {
             Bytes d = Header(0, 4, 24);
             Append(d, Bytes(48, 9));
             return d;
         }()},
        {"colour table past the block",
         [&] {
             Bytes d = Header(2, 2, 8, 0, 1000);
             Append(d, Bytes(64, 0));
             return d;
         }()},
        {"masks cut",
         [&] {
             Bytes d = Header(1, 1, 16, 3);
             Append(d, Bytes(8, 0));
             return d;
         }()},
        {"huge picture of an unknown compression",
         [&] {
             Bytes d = Header(2000, 2000, 24, FourCC("ABCD"));
             Append(d, Bytes(64, 0));
             return d;
         }()},
        {"huge run-length picture",
         [&] {
             Bytes d = Header(100000, 100000, 8, 1);
             Append(d, Bytes(1024, 0));
             Append(d, {0, 1});
             return d;
         }()},
        {"top-down run-length picture",
         [&] {
             Bytes d = Header(2, -2, 8, 1);
             Append(d, Bytes(1024, 0));
             Append(d, {0, 1});
             return d;
         }()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IEDIBToBitmap(c.dib.empty() ? nullptr : c.dib.data(), c.dib.size(), &b), 0) << c.what;
        EXPECT_EQ(b.GetWidth(), 3) << c.what;  // untouched
        EXPECT_EQ(b.GetPixelFormat(), ie8g) << c.what;
    }
    EXPECT_EQ(IEDIBToBitmap(static_cast<win::HGLOBAL>(nullptr), &b), 0);
}

TEST_F(DIB, GlobalMemoryHandlesAreReadWithinTheirSize) {
    Bytes d = Header(1, 1, 24);
    Append(d, {5, 6, 7, 0});
    win::HGLOBAL h = win::GlobalAlloc(win::GMEM_MOVEABLE, d.size());
    ASSERT_NE(h, nullptr);
    std::memcpy(win::GlobalLock(h), d.data(), d.size());
    win::GlobalUnlock(h);
    TIEBitmap b;
    EXPECT_EQ(IEDIBToBitmap(h, &b), 24);
    EXPECT_EQ(b.GetPixel24(0, 0), (TRGB{5, 6, 7}));
    win::GlobalFree(h);
}

TEST_F(DIB, DrawnOneToOneIntoADibBitmap) {
    Bytes d = Header(2, 2, 24);
    Append(d, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    TIEDibbitmap dib;
    ASSERT_EQ(IEDrawDIBToDibBitmap(d.data(), d.size(), &dib), 24);
    ASSERT_EQ(dib.GetBitCount(), 24);
    const auto* top = static_cast<const uint8_t*>(dib.GetScanline(0));
    EXPECT_EQ(std::vector<int>(top, top + 6), (std::vector<int>{7, 8, 9, 10, 11, 12}));
    Bytes m = Header(9, 1, 1);
    Append(m, {0, 0, 0, 0, 255, 255, 255, 0, 0x81, 0x80, 0, 0});
    ASSERT_EQ(IEDrawDIBToDibBitmap(m.data(), m.size(), &dib), 1);
    EXPECT_EQ(dib.GetBitCount(), 1);
    EXPECT_EQ(static_cast<const uint8_t*>(dib.GetScanline(0))[0], 0x81);
    EXPECT_EQ(IEDrawDIBToDibBitmap(m.data(), m.size() - 1, &dib), 0);
    EXPECT_EQ(dib.GetWidth(), 9);
}

}  // namespace
}  // namespace ie
