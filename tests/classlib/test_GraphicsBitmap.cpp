// TBitmap pixel formats, BMP reading and writing, TPicture and TIcon.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"

using namespace cl;

namespace {

const std::string kData = std::string(LUMETRA_TEST_DATA) + "/graphics/";

struct Picture {
    int w = 0, h = 0, channels = 0;
    std::vector<uint8_t> px;
    uint32_t At(int x, int y) const {  // 0x00BBGGRR
        const uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * channels];
        return channels == 1 ? win::RGB(p[0], p[0], p[0]) : win::RGB(p[0], p[1], p[2]);
    }
};

// Reads a binary PPM (P6) or PGM (P5) file with maximum value 255.
Picture ReadPnm(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    Picture p;
    std::string magic;
    f >> magic;
    int maxval = 0;
    auto next = [&]() {
        f >> std::ws;
        while (f.peek() == '#') {
            std::string line;
            std::getline(f, line);
            f >> std::ws;
        }
        int v = 0;
        f >> v;
        return v;
    };
    p.w = next();
    p.h = next();
    maxval = next();
    f.get();
    p.channels = magic == "P6" ? 3 : 1;
    p.px.resize(static_cast<size_t>(p.w) * p.h * p.channels);
    f.read(reinterpret_cast<char*>(p.px.data()), static_cast<std::streamsize>(p.px.size()));
    if (!f || maxval != 255 || (magic != "P6" && magic != "P5")) ADD_FAILURE() << "bad PNM " << name;
    return p;
}

std::vector<uint8_t> ReadFileBytes(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string TempName(const std::string& suffix) {
    static int n = 0;
    return std::string(LUMETRA_BINARY_DIR) + "/graphics_test_" + std::to_string(getpid()) + "_" + std::to_string(++n) +
           suffix;
}

bool HaveConvert() { return access("/usr/bin/convert", X_OK) == 0; }

uint32_t Px(TBitmap& b, int x, int y) { return static_cast<uint32_t>(b.GetCanvas()->Pixels(x, y)); }

void LoadBytes(TBitmap& b, const std::vector<uint8_t>& bytes) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    b.LoadFromStream(&s);
}

std::vector<uint8_t> SaveBytes(TBitmap& b) {
    TMemoryStream s;
    b.SaveToStream(&s);
    auto* p = static_cast<const uint8_t*>(s.GetMemory());
    return std::vector<uint8_t>(p, p + s.GetSize());
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// A BMP file: 14-byte file header, 40-byte info header, table, data.
std::vector<uint8_t> MakeBmp(int w, int h, int bpp, uint32_t compression, const std::vector<uint32_t>& table,
                             const std::vector<uint8_t>& data) {
    std::vector<uint8_t> v(54 + table.size() * 4);
    v[0] = 'B';
    v[1] = 'M';
    Put32(v, 10, static_cast<uint32_t>(v.size()));
    Put32(v, 14, 40);
    Put32(v, 18, static_cast<uint32_t>(w));
    Put32(v, 22, static_cast<uint32_t>(h));
    v[26] = 1;
    v[28] = static_cast<uint8_t>(bpp);
    Put32(v, 30, compression);
    Put32(v, 34, static_cast<uint32_t>(data.size()));
    Put32(v, 46, static_cast<uint32_t>(table.size()));
    for (size_t i = 0; i < table.size(); ++i) Put32(v, 54 + 4 * i, table[i]);
    v.insert(v.end(), data.begin(), data.end());
    Put32(v, 2, static_cast<uint32_t>(v.size()));
    return v;
}

std::vector<win::RGBQUAD> GreyRamp() {
    std::vector<win::RGBQUAD> t(256);
    for (int i = 0; i < 256; ++i) t[i] = win::RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    return t;
}

}  // namespace

// ---------------------------------------------------------------------------------------

TEST(Bitmap, NewBitmapIsAnEmptyDeviceBitmap) {
    TBitmap b;
    EXPECT_TRUE(b.GetEmpty());
    EXPECT_EQ(b.GetPixelFormat(), pfDevice);
    EXPECT_EQ(b.GetHandleType(), bmDDB);
    EXPECT_EQ(b.GetHandle(), nullptr);
    b.SetSize(3, 2);
    EXPECT_EQ(Px(b, 2, 1), 0xFFFFFFu);
    b.ScanLine(0);  // direct pixel access makes it a DIB of the display's format
    EXPECT_EQ(b.GetHandleType(), bmDIB);
    EXPECT_EQ(b.GetPixelFormat(), pf32bit);
    EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphic);
}

TEST(Bitmap, ScanLinesAreBottomUpRowsPaddedTo32Bits) {
    const std::pair<TPixelFormat, int> cases[] = {{pf1bit, 4},   {pf4bit, 4},   {pf8bit, 8},   {pf15bit, 12},
                                                  {pf16bit, 12}, {pf24bit, 16}, {pf32bit, 20}, {pfDevice, 20}};
    for (auto [pf, stride] : cases) {
        TBitmap b;
        b.SetPixelFormat(pf);
        b.SetSize(5, 3);
        EXPECT_EQ(b.GetPixelFormat(), pf);
        EXPECT_EQ(b.RowBytes(), stride) << pf;
        win::DIBSECTION ds;
        ASSERT_EQ(win::GetObjectA(b.GetHandle(), sizeof ds, &ds), static_cast<int>(sizeof ds)) << pf;
        EXPECT_GT(ds.dsBmih.biHeight, 0);
        EXPECT_EQ(b.ScanLine(2), ds.dsBm.bmBits) << pf;  // the last row starts the block
        EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0)) - static_cast<uint8_t*>(b.ScanLine(1)), stride);
        for (int bad : {-1, 3, 1000}) {
            try {
                b.ScanLine(bad);
                ADD_FAILURE() << "no exception for row " << bad;
            } catch (const EInvalidGraphicOperation& e) {
                EXPECT_STREQ(e.what(), "Scan line index out of range");
            }
        }
    }
    EXPECT_EQ(PixelFormatBits(pf15bit), 16);
    EXPECT_EQ(PixelFormatBits(pfCustom), 0);
}

TEST(Bitmap, ResizingKeepsTopLeftPixelsAndFillsWhite) {
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
        TBitmap b;
        b.SetPixelFormat(pf);
        b.SetSize(4, 4);
        b.GetCanvas()->GetBrush()->SetColor(clBlack);
        b.GetCanvas()->FillRect(Rect(0, 0, 2, 2));
        b.SetSize(9, 7);
        EXPECT_EQ(Px(b, 1, 1), 0u) << pf;
        EXPECT_EQ(Px(b, 2, 1), 0xFFFFFFu) << pf;
        EXPECT_EQ(Px(b, 8, 6), 0xFFFFFFu) << pf;
        if (pf == pf32bit) {
            // New white pixels keep the fourth byte 0.
            const auto* row = static_cast<const uint8_t*>(b.ScanLine(6));
            EXPECT_EQ(row[4 * 8 + 3], 0);
            EXPECT_EQ(row[4 * 8 + 2], 0xFF);
        }
        b.SetSize(1, 1);
        EXPECT_EQ(Px(b, 0, 0), 0u) << pf;
        b.SetSize(0, 5);
        EXPECT_TRUE(b.GetEmpty());
        EXPECT_EQ(b.GetHandle(), nullptr);
    }
    TBitmap w;
    w.SetPixelFormat(pf15bit);
    w.SetSize(2, 1);
    EXPECT_EQ(static_cast<uint8_t*>(w.ScanLine(0))[0], 0xFF);
    EXPECT_EQ(static_cast<uint8_t*>(w.ScanLine(0))[1], 0x7F);  // top bit unused
    TBitmap huge;
    EXPECT_THROW(huge.SetSize(100000, 100000), EOutOfMemory);
    EXPECT_TRUE(huge.GetEmpty());
}

TEST(Bitmap, ConversionsBetweenFormats) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(3, 1);
    b.GetCanvas()->SetPixels(0, 0, win::RGB(51, 102, 153));
    b.GetCanvas()->SetPixels(1, 0, win::RGB(60, 60, 60));
    b.GetCanvas()->SetPixels(2, 0, win::RGB(250, 10, 10));
    b.SetPixelFormat(pf8bit);
    // The default table: a 6x6x6 cube and 40 greys.
    ASSERT_EQ(b.GetColorTable().size(), 256u);
    auto idx = [&](int x) { return static_cast<uint8_t*>(b.ScanLine(0))[x]; };
    EXPECT_EQ(idx(0), 1 * 36 + 2 * 6 + 3);
    EXPECT_GE(idx(1), 216);  // a grey of the ramp
    EXPECT_EQ(Px(b, 2, 0), 0x0000FFu);
    const auto& t = b.GetColorTable();
    EXPECT_EQ(t[215].rgbRed, 255);
    for (size_t i = 216; i < 256; ++i) {
        EXPECT_EQ(t[i].rgbRed, t[i].rgbGreen);
        EXPECT_NE(t[i].rgbRed % 51, 0);
    }
    // Indexed to a deeper indexed format keeps indices and table.
    TBitmap four;
    four.SetPixelFormat(pf4bit);
    four.SetSize(2, 1);
    four.GetCanvas()->SetPixels(0, 0, clRed);
    four.GetCanvas()->SetPixels(1, 0, clNavy);
    auto table4 = four.GetColorTable();
    four.SetPixelFormat(pf8bit);
    EXPECT_EQ(four.GetColorTable().size(), table4.size());
    EXPECT_EQ(static_cast<uint8_t*>(four.ScanLine(0))[0], 9);
    EXPECT_EQ(static_cast<uint8_t*>(four.ScanLine(0))[1], 4);
    four.SetPixelFormat(pf16bit);
    EXPECT_EQ(static_cast<uint16_t*>(four.ScanLine(0))[0], 0xF800);
    four.SetPixelFormat(pf1bit);
    EXPECT_TRUE(four.GetMonochrome());
}

TEST(Bitmap, MonochromeAndPalette) {
    TBitmap b;
    b.SetSize(4, 4);
    b.SetMonochrome(true);
    EXPECT_EQ(b.GetPixelFormat(), pf1bit);
    EXPECT_TRUE(b.GetMonochrome());
    b.GetCanvas()->SetPixels(0, 0, clBlack);
    b.GetCanvas()->SetPixels(1, 0, clWhite);
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[0] & 0xC0, 0x40);  // black 0, white 1
    b.SetMonochrome(false);
    EXPECT_EQ(b.GetPixelFormat(), pfDevice);

    TBitmap g;
    g.SetPixelFormat(pf8bit);
    g.SetSize(4, 1);
    static_cast<uint8_t*>(g.ScanLine(0))[2] = 77;
    // A grey palette replaces the table; pixels keep their indices.
    std::vector<uint8_t> buf(sizeof(win::LOGPALETTE) + 256 * sizeof(win::PALETTEENTRY));
    auto* lp = reinterpret_cast<win::LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    for (int i = 0; i < 256; ++i) lp->palPalEntry[i] = win::PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    win::HPALETTE pal = win::CreatePalette(lp);
    g.SetPalette(pal);
    win::DeleteObject(pal);
    EXPECT_EQ(static_cast<uint8_t*>(g.ScanLine(0))[2], 77);
    EXPECT_EQ(Px(g, 2, 0), win::RGB(77, 77, 77));
    // Grey levels drawn on a grey table land on their index.
    g.GetCanvas()->SetPixels(0, 0, win::RGB(200, 200, 200));
    EXPECT_EQ(static_cast<uint8_t*>(g.ScanLine(0))[0], 200);
    win::PALETTEENTRY e[256];
    ASSERT_EQ(win::GetPaletteEntries(g.GetPalette(), 0, 256, e), 256u);
    EXPECT_EQ(e[130].peGreen, 130);
    TBitmap rgb;
    rgb.SetPixelFormat(pf24bit);
    rgb.SetSize(1, 1);
    EXPECT_EQ(rgb.GetPalette(), nullptr);
    // A palette given to a colour bitmap is the table of a later change to pf8bit.
    rgb.GetCanvas()->SetPixels(0, 0, win::RGB(90, 90, 90));
    pal = win::CreatePalette(lp);
    rgb.SetPalette(pal);
    win::DeleteObject(pal);
    rgb.SetSize(2, 1);
    rgb.SetPixelFormat(pf8bit);
    EXPECT_EQ(static_cast<uint8_t*>(rgb.ScanLine(0))[0], 90);
    EXPECT_EQ(rgb.GetColorTable()[255].rgbBlue, 255);
}

TEST(Bitmap, AssignCopiesEverythingIndependently) {
    TBitmap a;
    a.SetPixelFormat(pf8bit);
    a.SetSize(3, 2);
    a.SetColorTable(GreyRamp());
    static_cast<uint8_t*>(a.ScanLine(1))[1] = 99;
    a.SetTransparent(true);
    a.SetTransparentColor(clGray);
    TBitmap b;
    b.Assign(&a);
    EXPECT_EQ(b.GetPixelFormat(), pf8bit);
    EXPECT_EQ(b.GetWidth(), 3);
    EXPECT_EQ(b.GetColorTable().size(), 256u);
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(1))[1], 99);
    EXPECT_TRUE(b.GetTransparent());
    EXPECT_EQ(b.GetTransparentColor(), clGray);
    EXPECT_NE(b.GetHandle(), a.GetHandle());
    static_cast<uint8_t*>(a.ScanLine(1))[1] = 1;
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(1))[1], 99);
    b.Assign(nullptr);
    EXPECT_TRUE(b.GetEmpty());
}

TEST(Bitmap, AssignFromOtherGraphicsDrawsThem) {
    TIcon icon;
    icon.LoadFromFile(kData + "icon.ico");
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.Assign(&icon);
    EXPECT_EQ(b.GetWidth(), 32);
    EXPECT_EQ(b.GetHeight(), 32);
    EXPECT_EQ(Px(b, 16, 16), 0x0000FFu);
    EXPECT_EQ(Px(b, 3, 3), 0xFF0000u);
    EXPECT_EQ(Px(b, 31, 0), 0xFFFFFFu);  // transparent corner: the white background
}

// ---------------------------------------------------------------------------------------
// BMP files.

TEST(BitmapFile, FixturesDecodeToTheirPixels) {
    struct Case {
        const char* file;
        TPixelFormat pf;
        const char* truth;
    };
    // clang-format off
    const Case cases[] = {
        {"rgb24.bmp", pf24bit, "pic.ppm"},   {"rgb32v5.bmp", pf32bit, "pic.ppm"}, {"pal8.bmp", pf8bit, "pal100.ppm"},
        {"rle8.bmp", pf8bit, "pal100.ppm"},  {"pal4.bmp", pf4bit, "pal12.ppm"},   {"core4.bmp", pf4bit, "pal12.ppm"},
        {"mono1.bmp", pf1bit, "mono.ppm"},   {"rgb565.bmp", pf16bit, nullptr},    {"rgb555.bmp", pf15bit, nullptr},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TBitmap b;
        b.LoadFromFile(kData + c.file);
        EXPECT_EQ(b.GetPixelFormat(), c.pf);
        ASSERT_EQ(b.GetWidth(), 37);
        ASSERT_EQ(b.GetHeight(), 23);
        if (c.truth) {
            Picture t = ReadPnm(kData + c.truth);
            for (int y = 0; y < t.h; ++y)
                for (int x = 0; x < t.w; ++x) ASSERT_EQ(Px(b, x, y), t.At(x, y)) << x << "," << y;
        } else {
            // 16-bit files keep their words: the rows equal the file's rows.
            auto raw = ReadFileBytes(kData + c.file);
            uint32_t off = raw[10] | (raw[11] << 8) | (raw[12] << 16) | (uint32_t(raw[13]) << 24);
            ASSERT_EQ(b.RowBytes(), 76);
            ASSERT_GE(raw.size(), off + 76u * 23);
            for (int y = 0; y < 23; ++y)
                ASSERT_EQ(std::memcmp(b.ScanLine(y), raw.data() + off + 76 * (22 - y), 74), 0) << y;
        }
    }
    // An 8-bit file stays 8-bit with its own table.
    TBitmap p;
    p.LoadFromFile(kData + "pal8.bmp");
    auto raw = ReadFileBytes(kData + "pal8.bmp");
    uint32_t used = raw[46] | (raw[47] << 8);
    ASSERT_EQ(p.GetColorTable().size(), used ? used : 256u);
    EXPECT_EQ(p.GetColorTable()[3].rgbBlue, raw[54 + 12]);
    EXPECT_EQ(p.GetColorTable()[3].rgbRed, raw[54 + 14]);
    win::PALETTEENTRY e[256];
    EXPECT_EQ(win::GetPaletteEntries(p.GetPalette(), 0, 256, e), p.GetColorTable().size());
}

TEST(BitmapFile, RoundTripForEveryPixelFormat) {
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
        SCOPED_TRACE(pf);
        TBitmap b;
        b.SetPixelFormat(pf);
        b.SetSize(13, 7);
        if (pf == pf8bit) {
            auto t = GreyRamp();
            t[5] = win::RGBQUAD{1, 2, 3, 0};
            b.SetColorTable(t);
        }
        uint32_t seed = 12345;
        for (int y = 0; y < 7; ++y) {
            auto* row = static_cast<uint8_t*>(b.ScanLine(y));
            int bytes = (13 * PixelFormatBits(pf) + 7) / 8;
            for (int i = 0; i < bytes; ++i) {
                seed = seed * 1103515245 + 12345;
                row[i] = static_cast<uint8_t>(seed >> 16);
            }
            if (pf == pf15bit)
                for (int x = 0; x < 13; ++x) row[2 * x + 1] &= 0x7F;
            if (pf == pf1bit) row[1] &= 0xF8;  // padding bits stay zero
            if (pf == pf4bit) row[6] &= 0xF0;
        }
        auto bytes = SaveBytes(b);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        TBitmap c;
        LoadBytes(c, bytes);
        EXPECT_EQ(c.GetPixelFormat(), pf == pfDevice ? pf32bit : pf);
        ASSERT_EQ(c.GetWidth(), 13);
        ASSERT_EQ(c.GetHeight(), 7);
        for (int y = 0; y < 7; ++y)
            ASSERT_EQ(std::memcmp(b.ScanLine(y), c.ScanLine(y), static_cast<size_t>(b.RowBytes())), 0) << y;
        ASSERT_EQ(c.GetColorTable().size(), b.GetColorTable().size());
        for (size_t i = 0; i < b.GetColorTable().size(); ++i) {
            EXPECT_EQ(c.GetColorTable()[i].rgbRed, b.GetColorTable()[i].rgbRed);
            EXPECT_EQ(c.GetColorTable()[i].rgbBlue, b.GetColorTable()[i].rgbBlue);
        }
    }
    // An empty bitmap writes nothing and an empty stream gives an empty bitmap.
    TBitmap e;
    EXPECT_TRUE(SaveBytes(e).empty());
    TBitmap f;
    f.SetSize(2, 2);
    LoadBytes(f, {});
    EXPECT_TRUE(f.GetEmpty());
}

TEST(BitmapFile, ImageMagickReadsWhatWeWrite) {
    if (!HaveConvert()) GTEST_SKIP() << "/usr/bin/convert is not installed";
    Picture pic = ReadPnm(kData + "pic.ppm");
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(pf);
        TBitmap b;
        b.SetPixelFormat(pf24bit);
        b.SetSize(pic.w, pic.h);
        for (int y = 0; y < pic.h; ++y)
            for (int x = 0; x < pic.w; ++x) {
                auto* row = static_cast<uint8_t*>(b.ScanLine(y));
                uint32_t c = pic.At(x, y);
                row[3 * x] = static_cast<uint8_t>(c >> 16);
                row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(c);
            }
        b.SetPixelFormat(pf);
        std::string bmp = TempName(".bmp"), ppm = TempName(".ppm");
        b.SaveToFile(bmp);
        std::string cmd = "/usr/bin/convert " + bmp + " -depth 8 ppm:" + ppm + " 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        Picture out = ReadPnm(ppm);
        ASSERT_EQ(out.w, pic.w);
        ASSERT_EQ(out.h, pic.h);
        int tolerance = (pf == pf15bit || pf == pf16bit) ? 8 : 0;
        for (int y = 0; y < pic.h; ++y)
            for (int x = 0; x < pic.w; ++x) {
                uint32_t a = out.At(x, y), e = Px(b, x, y);
                for (int s : {0, 8, 16})
                    ASSERT_LE(std::abs(int((a >> s) & 255) - int((e >> s) & 255)), tolerance) << x << "," << y;
            }
        std::remove(bmp.c_str());
        std::remove(ppm.c_str());
    }
}

TEST(BitmapFile, RleTopDownAndCoreVariants) {
    // RLE8, 5 x 3, rows from the bottom: a run, a delta, a run, end of line; an odd absolute
    // run with its pad byte, end of line; a run and end of bitmap.
    std::vector<uint8_t> rle8 = {3, 1, 0, 2, 1, 0, 1, 2, 0, 0,  //
                                 0, 3, 2, 3, 2, 0, 0, 0,        //
                                 5, 3, 0, 1};
    auto file = MakeBmp(5, 3, 8, win::BI_RLE8, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000}, rle8);
    TBitmap b;
    LoadBytes(b, file);
    ASSERT_EQ(b.GetPixelFormat(), pf8bit);
    auto row = [&](int y) { return static_cast<uint8_t*>(b.ScanLine(y)); };
    EXPECT_EQ(std::vector<uint8_t>(row(2), row(2) + 5), (std::vector<uint8_t>{1, 1, 1, 0, 2}));
    EXPECT_EQ(std::vector<uint8_t>(row(1), row(1) + 5), (std::vector<uint8_t>{2, 3, 2, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(row(0), row(0) + 5), (std::vector<uint8_t>{3, 3, 3, 3, 3}));

    // RLE4, 6 x 2: a run of alternating nibbles, an absolute run of 3 nibbles (2 bytes + pad).
    std::vector<uint8_t> rle4 = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1};
    file = MakeBmp(6, 2, 4, win::BI_RLE4, std::vector<uint32_t>(16, 0), rle4);
    LoadBytes(b, file);
    ASSERT_EQ(b.GetPixelFormat(), pf4bit);
    EXPECT_EQ(row(1)[0], 0x12);
    EXPECT_EQ(row(1)[1], 0x12);
    EXPECT_EQ(row(1)[2], 0x10);
    EXPECT_EQ(row(0)[0], 0x34);
    EXPECT_EQ(row(0)[1], 0x50);

    // Top-down 24-bit, 2 x 2.
    std::vector<uint8_t> px = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
    file = MakeBmp(2, -2, 24, win::BI_RGB, {}, px);
    LoadBytes(b, file);
    EXPECT_EQ(b.GetPixelFormat(), pf24bit);
    EXPECT_EQ(Px(b, 0, 0), 0x0000FFu);
    EXPECT_EQ(Px(b, 1, 0), 0x00FF00u);
    EXPECT_EQ(Px(b, 0, 1), 0xFF0000u);
    EXPECT_EQ(Px(b, 1, 1), 0xFFFFFFu);

    // 16-bit bitfields with masks that are neither 555 nor 565 (4:4:4) become 24-bit.
    std::vector<uint8_t> v(54 + 12);
    auto h16 = MakeBmp(1, 1, 16, win::BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, {0x0F, 0x0F, 0, 0});
    LoadBytes(b, h16);
    EXPECT_EQ(b.GetPixelFormat(), pf24bit);
    EXPECT_EQ(Px(b, 0, 0), win::RGB(255, 0, 255));
}

TEST(BitmapFile, MalformedFilesRaiseAndLeaveTheBitmapAlone) {
    const std::vector<uint8_t> good = MakeBmp(4, 3, 24, win::BI_RGB, {}, std::vector<uint8_t>(36, 0x40));
    {
        TBitmap ok;
        LoadBytes(ok, good);
        EXPECT_EQ(Px(ok, 3, 2), 0x404040u);
    }
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        int width;  // 1, 2 or 4 bytes
    };
    const Case cases[] = {
        {"magic", 0, 'X', 1},
        {"header size 0", 14, 0, 4},
        {"header size 64", 14, 64, 4},
        {"header size huge", 14, 0x7FFFFFFF, 4},
        {"width 0", 18, 0, 4},
        {"negative width", 18, static_cast<uint32_t>(-4), 4},
        {"height 0", 22, 0, 4},
        {"height INT_MIN", 22, 0x80000000u, 4},
        {"huge width", 18, 0x7FFFFFFF, 4},
        {"huge height", 22, 0x7FFFFFFF, 4},
        {"huge top-down height", 22, static_cast<uint32_t>(-0x7FFFFFFF), 4},
        {"offset past the end", 10, 5000, 4},
        {"offset 0xFFFFFFFF", 10, 0xFFFFFFFF, 4},
        {"offset inside the header", 10, 20, 4},
        {"bit count 7", 28, 7, 2},
        {"bit count 0", 28, 0, 2},
        {"JPEG compression", 30, 4, 4},
        {"RLE8 at 24 bpp", 30, win::BI_RLE8, 4},
        {"bitfields at 24 bpp", 30, win::BI_BITFIELDS, 4},
        {"unknown compression", 30, 99, 4},
    };
    for (const auto& c : cases) {
        auto bad = good;
        for (int i = 0; i < c.width; ++i) bad[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
        TBitmap b;
        b.SetPixelFormat(pf8bit);
        b.SetSize(2, 2);
        static_cast<uint8_t*>(b.ScanLine(0))[0] = 7;
        try {
            LoadBytes(b, bad);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "Bitmap image is not valid") << c.what;
        }
        EXPECT_EQ(b.GetPixelFormat(), pf8bit) << c.what;
        EXPECT_EQ(b.GetWidth(), 2) << c.what;
        EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[0], 7) << c.what;
    }
    {
        auto both = good;
        Put32(both, 18, 0x7FFFFFFF);
        Put32(both, 22, 0x7FFFFFFF);
        TBitmap b;
        EXPECT_THROW(LoadBytes(b, both), EInvalidGraphic);
        Put32(both, 28, 32);
        EXPECT_THROW(LoadBytes(b, both), EInvalidGraphic);
    }
    // Every truncation of a file fails cleanly.
    for (const char* name : {"rgb24.bmp", "rle8.bmp", "pal4.bmp", "core4.bmp", "rgb565.bmp"}) {
        auto bytes = ReadFileBytes(kData + name);
        for (size_t n = 1; n < bytes.size(); ++n) {
            TBitmap b;
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(n));
            // RLE data may end early with its end-of-bitmap already read; the others must raise.
            try {
                LoadBytes(b, part);
                EXPECT_STREQ(name, "rle8.bmp") << n;
            } catch (const EInvalidGraphic&) {
            }
        }
    }
    // 8-bit with more colours than 256, a top-down RLE file.
    auto pal = MakeBmp(1, 1, 8, win::BI_RGB, {0xFFFFFF}, {0, 0, 0, 0});
    Put32(pal, 46, 100000);
    TBitmap b;
    EXPECT_THROW(LoadBytes(b, pal), EInvalidGraphic);
    auto td = MakeBmp(2, -2, 8, win::BI_RLE8, {0}, {0, 1});
    EXPECT_THROW(LoadBytes(b, td), EInvalidGraphic);
    // RLE that writes outside the picture or runs out of data.
    auto wild = MakeBmp(2, 2, 8, win::BI_RLE8, {0, 0xFF}, {255, 1, 0, 2, 255, 255, 200, 1});
    EXPECT_NO_THROW(LoadBytes(b, wild));
    auto shortRle = MakeBmp(2, 2, 8, win::BI_RLE8, {0, 0xFF}, {0, 10, 1});
    EXPECT_THROW(LoadBytes(b, shortRle), EInvalidGraphic);
}

// One file per case, so that the sweeps run side by side.
class CorruptedHeaders : public ::testing::TestWithParam<const char*> {};

TEST_P(CorruptedHeaders, NeverCrash) {
    const char* name = GetParam();
    auto bytes = ReadFileBytes(kData + name);
    size_t headerEnd = std::min<size_t>(bytes.size(), 200);
    for (size_t i = 0; i < headerEnd; ++i) {
        for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80), uint8_t(bytes[i] + 1)}) {
            auto bad = bytes;
            bad[i] = v;
            TBitmap b;
            try {
                LoadBytes(b, bad);
            } catch (const EInvalidGraphic&) {
                continue;
            }
            // Whatever loaded is a usable picture.
            TBitmap dst;
            dst.SetPixelFormat(pf24bit);
            dst.SetSize(8, 8);
            dst.GetCanvas()->StretchDraw(Rect(0, 0, 8, 8), &b);
            auto again = SaveBytes(b);
            TBitmap c;
            LoadBytes(c, again);
            EXPECT_EQ(c.GetWidth(), b.GetWidth()) << name << " byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BitmapFile, CorruptedHeaders,
                         ::testing::Values("rgb24.bmp", "rgb32v5.bmp", "rle8.bmp", "pal4.bmp", "core4.bmp",
                                           "mono1.bmp", "rgb565.bmp"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             std::string n = i.param;
                             return n.substr(0, n.find('.'));
                         });

// ---------------------------------------------------------------------------------------

namespace {

class TTestGraphic : public TBitmap {
    CL_DECLARE_CLASS(TTestGraphic, TBitmap)
public:
    static TGraphic* Create() { return new TTestGraphic(); }
    TGraphic* NewInstance() const override { return new TTestGraphic(); }
};

}  // namespace

TEST(Picture, LoadsByExtensionFromTheRegistry) {
    TPicture p;
    int changes = 0;
    p.OnChange = [&](TObject*) { ++changes; };
    EXPECT_EQ(p.GetWidth(), 0);
    p.LoadFromFile(kData + "rgb24.bmp");
    EXPECT_STREQ(p.GetGraphic()->ClassName(), "TBitmap");
    EXPECT_EQ(p.GetWidth(), 37);
    EXPECT_GE(changes, 1);

    std::string upper = TempName(".JPG");
    {
        auto bytes = ReadFileBytes(kData + "base420.jpg");
        std::ofstream(upper, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    p.LoadFromFile(upper);
    std::remove(upper.c_str());
    EXPECT_STREQ(p.GetGraphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(p.GetHeight(), 23);
    p.LoadFromFile(kData + "icon.ico");
    EXPECT_STREQ(p.GetGraphic()->ClassName(), "TIcon");
    EXPECT_EQ(p.GetIcon()->GetWidth(), 32);

    try {
        p.LoadFromFile(kData + "README.md");
        ADD_FAILURE();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.md)");
    }
    EXPECT_STREQ(p.GetGraphic()->ClassName(), "TIcon");  // unchanged

    // A registered class takes its extension; unregistering removes it.
    std::string own = TempName(".tst");
    {
        auto bytes = ReadFileBytes(kData + "rgb24.bmp");
        std::ofstream(own, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    RegisterFileFormat("tst", "Test pictures", TTestGraphic::StaticClass(), &TTestGraphic::Create);
    p.LoadFromFile(own);
    EXPECT_STREQ(p.GetGraphic()->ClassName(), "TTestGraphic");
    UnregisterGraphicClass(TTestGraphic::StaticClass());
    EXPECT_THROW(p.LoadFromFile(own), EInvalidGraphic);
    std::remove(own.c_str());

    // Bitmap replaces another graphic by an empty bitmap; assigning copies.
    p.LoadFromFile(kData + "icon.ico");
    TBitmap* bmp = p.GetBitmap();
    EXPECT_TRUE(bmp->GetEmpty());
    TBitmap src;
    src.SetSize(5, 4);
    p.SetGraphic(&src);
    EXPECT_NE(p.GetGraphic(), &src);
    EXPECT_EQ(p.GetWidth(), 5);
    TPicture q;
    q.Assign(&p);
    EXPECT_EQ(q.GetHeight(), 4);
    p.SetGraphic(nullptr);
    EXPECT_EQ(p.GetGraphic(), nullptr);
}

TEST(Icon, LoadsAndDrawsThroughItsMask) {
    TIcon icon;
    EXPECT_TRUE(icon.GetEmpty());
    EXPECT_EQ(icon.GetWidth(), 32);
    icon.LoadFromFile(kData + "icon.ico");
    EXPECT_FALSE(icon.GetEmpty());
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(40, 40);
    b.GetCanvas()->GetBrush()->SetColor(clLime);
    b.GetCanvas()->FillRect(Rect(0, 0, 40, 40));
    b.GetCanvas()->Draw(4, 4, &icon);
    EXPECT_EQ(Px(b, 20, 20), 0x0000FFu);
    EXPECT_EQ(Px(b, 5, 5), 0xFF0000u);
    EXPECT_EQ(Px(b, 35, 5), 0x00FF00u);  // transparent
    EXPECT_EQ(Px(b, 2, 2), 0x00FF00u);   // outside
    TIcon copy;
    copy.Assign(&icon);
    TMemoryStream s;
    copy.SaveToStream(&s);
    EXPECT_EQ(s.GetSize(), static_cast<int64_t>(ReadFileBytes(kData + "icon.ico").size()));

    auto bytes = ReadFileBytes(kData + "icon.ico");
    for (size_t cut : {size_t{0}, size_t{5}, size_t{21}, size_t{40}, size_t{100}, bytes.size() - 200}) {
        TMemoryStream t;
        if (cut) t.WriteBuffer(bytes.data(), static_cast<int64_t>(cut));
        t.SetPosition(0);
        EXPECT_THROW(icon.LoadFromStream(&t), EInvalidGraphic) << cut;
    }
    // A large entry stored as PNG is passed over for the icon's bitmap entry.
    {
        const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0};
        uint32_t imgSize = static_cast<uint32_t>(bytes.size() - 22);
        std::vector<uint8_t> two = {0, 0, 1, 0, 2, 0};
        auto entry = [&](uint8_t wh, uint16_t bits, uint32_t size, uint32_t offset) {
            std::vector<uint8_t> e = {wh, wh, 0, 0, 1, 0, uint8_t(bits), uint8_t(bits >> 8)};
            for (uint32_t v : {size, offset})
                for (int i = 0; i < 4; ++i) e.push_back(static_cast<uint8_t>(v >> (8 * i)));
            two.insert(two.end(), e.begin(), e.end());
        };
        entry(0, 32, sizeof png, 38);
        entry(32, 32, imgSize, 38 + sizeof png);
        two.insert(two.end(), png, png + sizeof png);
        two.insert(two.end(), bytes.begin() + 22, bytes.end());
        TMemoryStream t;
        t.WriteBuffer(two.data(), static_cast<int64_t>(two.size()));
        t.SetPosition(0);
        TIcon withPng;
        withPng.LoadFromStream(&t);
        EXPECT_EQ(withPng.GetWidth(), 32);
        // Only a PNG entry: not readable here.
        two[4] = 1;
        TMemoryStream u;
        u.WriteBuffer(two.data(), static_cast<int64_t>(two.size()));
        u.SetPosition(0);
        EXPECT_THROW(withPng.LoadFromStream(&u), EInvalidGraphic);
    }
    EXPECT_THROW(icon.LoadFromResourceName(nullptr, "NOSUCHICON"), EResNotFound);
    EXPECT_THROW(icon.LoadFromResourceID(nullptr, 4321), EResNotFound);
    TBitmap b2;
    EXPECT_THROW(b2.LoadFromResourceName(nullptr, "NOSUCHBITMAP"), EResNotFound);
}

TEST(Resources, IconsAndBitmapsFromTheProgram) {
    // The icon file stored whole, and split into a group directory and its RT_ICON image.
    for (int form = 0; form < 2; ++form) {
        TIcon icon;
        if (form == 0)
            icon.LoadFromResourceName(nullptr, "MAINICON");
        else
            icon.LoadFromResourceID(nullptr, 5);
        ASSERT_FALSE(icon.GetEmpty()) << form;
        EXPECT_EQ(icon.GetWidth(), 32);
        TBitmap b;
        b.SetPixelFormat(pf24bit);
        b.SetSize(32, 32);
        b.GetCanvas()->Draw(0, 0, &icon);
        EXPECT_EQ(Px(b, 16, 16), 0x0000FFu) << form;
        EXPECT_EQ(Px(b, 31, 0), 0xFFFFFFu) << form;
    }
    // A bitmap stored as a whole BMP file and as a packed DIB.
    Picture truth = ReadPnm(kData + "pal12.ppm");
    for (int form = 0; form < 2; ++form) {
        TBitmap b;
        if (form == 0)
            b.LoadFromResourceName(nullptr, "logo");
        else
            b.LoadFromResourceID(nullptr, 7);
        EXPECT_EQ(b.GetPixelFormat(), pf4bit);
        ASSERT_EQ(b.GetWidth(), truth.w);
        for (int y = 0; y < truth.h; ++y)
            for (int x = 0; x < truth.w; ++x) ASSERT_EQ(Px(b, x, y), truth.At(x, y)) << form << ": " << x << "," << y;
    }
    TBitmap b;
    try {
        b.LoadFromResourceID(nullptr, 8);
        ADD_FAILURE();
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource #8 not found");
    }
}
