// Bitmap utilities of the processing unit: the 1-bit expansion, class-library bitmap
// copies, DIB export, inverting, mirroring, comparing, scanline conversion, histogram
// matching and channel reordering; and the unit's start-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/processing/ieblur.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/processing/vovozidproc_dib.h"
#include "imaging/processing/vovozidproc_utils.h"
#include "imaging_fixture.h"
#include "platform/kernel.h"

namespace ie {
namespace {

using test::ImagingTest;

class Utils : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        IEBuild1BitExpansion();
    }
};

std::unique_ptr<TIEBitmap> Random(int32_t w, int32_t h, TIEPixelFormat f, uint32_t seed) {
    auto b = std::make_unique<TIEBitmap>(w, h, f);
    std::mt19937 rnd(seed);
    const int64_t used = (static_cast<int64_t>(w) * b->GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < h; ++y) {
        auto* p = static_cast<uint8_t*>(b->GetScanline(y));
        for (int32_t i = 0; i < b->GetRowLen(); ++i) p[i] = i < used ? uint8_t(rnd()) : 0;
    }
    b->GetScanline(0);
    if (f == ie8p)
        for (int i = 0; i < 256; ++i) b->SetPaletteEntry(i, CreateRGB(uint8_t(rnd()), uint8_t(rnd()), uint8_t(rnd())));
    return b;
}

// Alpha values that differ from column to column.
void SetAlphaForFlip(TIEBitmap& b) {
    TIEBitmap* a = b.GetAlphaChannel();
    for (int32_t y = 0; y < a->GetHeight(); ++y)
        for (int32_t x = 0; x < a->GetWidth(); ++x) a->SetPixel8(x, y, static_cast<uint8_t>(x * 13 + y));
    a->Full = false;
}

TEST_F(Utils, OneBitExpansionTable) {
    for (const int b : {0x00, 0xFF, 0xA5, 0x01, 0x80})
        for (int j = 0; j < 8; ++j)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(IE1BitExpansion[b][3 * j + c], (b >> (7 - j)) & 1 ? 255 : 0) << b << " " << j;
}

TEST_F(Utils, StartUpBuildsTheTableAndRegistersTheClipboardFormat) {
    std::memset(IE1BitExpansion, 0, sizeof(IE1BitExpansion));
    VovozIdProcStaticInit();
    EXPECT_EQ(IE1BitExpansion[0x80][0], 255);
    EXPECT_NE(IEClipboardRawFormat, 0u);
    ASSERT_EQ(IEFilterPresets.size(), 9u);
    ASSERT_EQ(IEFilterPresetNames.size(), 9u);
    EXPECT_EQ(IEFilterPresetNames[0], "None");
    EXPECT_EQ(IEFilterPresetNames[1], "Blur");
    EXPECT_EQ(IEFilterPresetNames[8], "Low Pass 2");
    VovozIdProcStaticFinal();
    EXPECT_TRUE(IEFilterPresets.empty());
    TIPDialogParams p;
    p.Values[3] = 7;
    p.SetTracked(2, 5);
    p.PreviewCache.Write("abc", 3);
    p.SetTracked(1, 9);  // a tracked value empties the cached preview
    EXPECT_EQ(p.PreviewCache.GetSize(), 0);
    p.PreviewCache.Write("abc", 3);
    p.Reset();
    EXPECT_EQ(p.PreviewCache.GetSize(), 0);
    EXPECT_EQ(p.GetTracked(2), -1);
    EXPECT_EQ(p.Values[3], 0);
    EXPECT_EQ(p.Matrix[4], 1);
    EXPECT_EQ(p.Matrix[0], 0);
    EXPECT_EQ(p.Colors[1], CreateRGB(255, 255, 255));
    EXPECT_DOUBLE_EQ(p.Factor1, 1.7);
    EXPECT_EQ(p.Values4[1], 10);
    EXPECT_TRUE(p.Flag);
}

TEST_F(Utils, ClassLibraryBitmapCopiesAndOneBitExpansion) {
    cl::TBitmap empty, dest;
    dest.SetPixelFormat(cl::pf24bit);
    dest.SetSize(5, 5);
    IECopyTBitmap(&empty, &dest);
    EXPECT_EQ(dest.GetWidth(), 1);
    EXPECT_EQ(dest.GetHeight(), 1);
    cl::TBitmap mono;
    mono.SetPixelFormat(cl::pf1bit);
    mono.SetSize(11, 2);
    static_cast<uint8_t*>(mono.ScanLine(0))[0] = 0xA0;
    static_cast<uint8_t*>(mono.ScanLine(0))[1] = 0x20;  // pixel 10
    std::unique_ptr<cl::TBitmap> clone(IECloneTBitmap(&mono));
    EXPECT_EQ(clone->GetWidth(), 11);
    EXPECT_EQ(clone->GetPixelFormat(), cl::pf1bit);
    EXPECT_EQ(static_cast<uint8_t*>(clone->ScanLine(0))[0], 0xA0);
    cl::TBitmap wide;
    std::vector<int> progress;
    IE1BitTBitmapTo24Bit(
        &mono, &wide, [&](cl::TObject*, int p) { progress.push_back(p); }, nullptr);
    ASSERT_EQ(wide.GetPixelFormat(), cl::pf24bit);
    ASSERT_EQ(wide.GetWidth(), 11);
    const auto* row = static_cast<const uint8_t*>(wide.ScanLine(0));
    const int white[11] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 11; ++x) EXPECT_EQ(row[3 * x], white[x] ? 255 : 0) << x;
    EXPECT_EQ(progress, (std::vector<int>{40, 80}));
}

TEST_F(Utils, DIBExportOfRegionsReadsBackAndZeroesPadding) {
    struct Case {
        TIEPixelFormat format;
        int bits;
        int64_t table;
    };
    const Case cases[] = {{ie24RGB, 24, 0}, {ie8g, 8, 1024}, {ie8p, 8, 1024}, {ie1g, 1, 8}, {ie16g, 24, 0}};
    for (const Case& c : cases) {
        auto b = Random(13, 7, c.format, 3);
        const int32_t x1 = 3, y1 = 2, x2 = 10, y2 = 6;
        win::HGLOBAL h = _CopyBitmaptoDIBEx(b.get(), x1, y1, x2, y2, 300, 150);
        ASSERT_NE(h, nullptr) << int(c.format);
        const int64_t rowLen = ((x2 - x1) * c.bits + 31) / 32 * 4;
        EXPECT_EQ(win::GlobalSize(h), static_cast<size_t>(44 + c.table + rowLen * (y2 - y1)));
        const auto* p = static_cast<const uint8_t*>(win::GlobalLock(h));
        int32_t v;
        std::memcpy(&v, p + 24, 4);
        EXPECT_EQ(v, 11811);  // Trunc(300 x 39.3700787)
        const uint8_t* rows = p + 40 + c.table;
        for (int32_t k = 0; k < y2 - y1; ++k) {
            const uint8_t* r = rows + k * rowLen;
            const int32_t y = y2 - 1 - k;
            const int64_t used = ((x2 - x1) * c.bits + 7) / 8;
            for (int64_t i = used; i < rowLen; ++i) ASSERT_EQ(r[i], 0) << int(c.format) << " padding of row " << k;
            for (int32_t x = x1; x < x2; ++x) {
                if (c.bits == 1) {
                    ASSERT_EQ(IEGetBit(r, x - x1), IEGetBit(b->GetScanline(y), x));
                } else if (c.format == ie16g) {
                    const uint8_t g = b->GetPixelRGB(x, y).r;
                    ASSERT_EQ(r[3 * (x - x1)], g);
                } else {
                    const int n = c.bits / 8;
                    ASSERT_EQ(std::memcmp(r + n * (x - x1), static_cast<const uint8_t*>(b->GetScanline(y)) + n * x, n),
                              0);
                }
            }
        }
        win::GlobalUnlock(h);
        // And the loader reads it back.
        if (c.format != ie16g) {
            TIEBitmap back;
            ASSERT_EQ(IEDIBToBitmap(h, &back), c.bits);
            ASSERT_EQ(back.GetWidth(), x2 - x1);
            for (int32_t y = y1; y < y2; ++y)
                for (int32_t x = x1; x < x2; ++x) ASSERT_EQ(back.GetPixelRGB(x - x1, y - y1), b->GetPixelRGB(x, y));
        }
        win::GlobalFree(h);
    }
    auto b = Random(3, 2, ie24RGB, 1);
    win::HGLOBAL whole = _CopyBitmaptoDIBEx(b.get(), 0, 0, 0, 0, 72, 72);
    EXPECT_EQ(win::GlobalSize(whole), size_t{44 + 12 * 2});
    win::GlobalFree(whole);
    for (const auto& r : {std::vector<int>{-1, 0, 2, 2}, {0, 0, 4, 2}, {2, 0, 1, 2}, {0, 1, 3, 3}})
        EXPECT_EQ(_CopyBitmaptoDIBEx(b.get(), r[0], r[1], r[2], r[3], 72, 72), nullptr);
}

TEST_F(Utils, FlipsAndInversionAgainstPixelFormulas) {
    for (const TIEPixelFormat f : {ie1g, ie8g, ie8p, ie24RGB, ie16g, ieRGB48, ie32RGB}) {
        for (const int32_t w : {1, 10, 17}) {
            auto b = Random(w, 5, f, static_cast<uint32_t>(w));
            TIEBitmap before;
            before.Assign(b.get());
            SetAlphaForFlip(*b);
            TIEBitmap alpha;
            alpha.Assign(b->GetAlphaChannel());
            IEFlipBitmap(b.get(), 0);
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    ASSERT_EQ(b->GetPixelRGB(x, y), before.GetPixelRGB(w - 1 - x, y)) << int(f) << " w" << w;
                    ASSERT_EQ(b->GetAlpha(x, y), alpha.GetPixel8(w - 1 - x, y));
                }
            IEFlipBitmap(b.get(), 1);
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < w; ++x)
                    ASSERT_EQ(b->GetPixelRGB(x, y), before.GetPixelRGB(w - 1 - x, 4 - y)) << int(f) << " w" << w;
        }
    }
    auto g = Random(6, 3, ie8g, 2);
    TIEBitmap before;
    before.Assign(g.get());
    IEInvertBitmap(g.get());
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(g->GetPixel8(x, y), 255 - before.GetPixel8(x, y));
}

TEST_F(Utils, EqualityNeedsFormatsAlphaAndPixels) {
    auto a = Random(9, 4, ie8g, 5);
    TIEBitmap b;
    b.Assign(a.get());
    EXPECT_TRUE(IEBitmapsEqual(a.get(), &b));
    // Different padding is not a difference.
    static_cast<uint8_t*>(b.GetScanline(1))[b.GetRowLen() - 1] ^= 0xFF;
    EXPECT_TRUE(IEBitmapsEqual(a.get(), &b));
    static_cast<uint8_t*>(b.GetScanline(1))[3] ^= 1;
    EXPECT_FALSE(IEBitmapsEqual(a.get(), &b));
    b.Assign(a.get());
    b.GetAlphaChannel();
    EXPECT_FALSE(IEBitmapsEqual(a.get(), &b));
    // Same bytes, another format.
    TIEBitmap c(3, 4, ie24RGB), d(9, 4, ie8g);
    for (int32_t y = 0; y < 4; ++y) {
        std::memcpy(c.GetScanline(y), a->GetScanline(y), 9);
        std::memcpy(d.GetScanline(y), a->GetScanline(y), 9);
    }
    TIEBitmap e(9, 4, ie8p);
    for (int32_t y = 0; y < 4; ++y) std::memcpy(e.GetScanline(y), a->GetScanline(y), 9);
    EXPECT_TRUE(IEBitmapsEqual(a.get(), &d));
    EXPECT_FALSE(IEBitmapsEqual(a.get(), &e));
    auto one = Random(10, 2, ie1g, 6);
    TIEBitmap two;
    two.Assign(one.get());
    static_cast<uint8_t*>(two.GetScanline(0))[1] ^= 0x3F;  // bits past the width
    EXPECT_TRUE(IEBitmapsEqual(one.get(), &two));
    static_cast<uint8_t*>(two.GetScanline(0))[1] ^= 0x40;
    EXPECT_FALSE(IEBitmapsEqual(one.get(), &two));
}

TEST_F(Utils, ScanlineConversions) {
    const TRGB pal[3] = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6), CreateRGB(7, 8, 9)};
    const uint8_t rgb[9] = {1, 1, 1, 200, 200, 200, 60, 60, 60};  // grey pixels
    TIEBitmap grey(3, 1, ie24RGB);
    std::memcpy(grey.GetScanline(0), rgb, 9);
    TRGB qp[16];
    TIEQuantizer q(&grey, qp, 16);
    struct Case {
        const void* source;
        uint16_t from, to, width;
        std::vector<uint8_t> want;
    };
    const uint8_t idx[5] = {1, 0, 2, 1, 1};
    const uint8_t bits[2] = {0xA0, 0x80};  // 1 0 1 0 0 0 0 0 1
    const uint8_t rgba[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const Case cases[] = {
        {rgb, 24, 8, 3, {0, 12, 3}},
        {rgb, 24, 4, 3, {0x0C, 0x30}},
        {rgb, 24, 24, 3, {1, 1, 1, 200, 200, 200, 60, 60, 60}},
        {rgba, 32, 24, 2, {1, 2, 3, 5, 6, 7}},
        {idx, 8, 1, 5, {0x98}},
        {idx, 8, 8, 5, {1, 0, 2, 1, 1}},
        {idx, 8, 24, 3, {6, 5, 4, 3, 2, 1, 9, 8, 7}},
        {bits, 1, 1, 9, {0xA0, 0x80}},
        {bits, 1, 4, 3, {0x10, 0x10}},
        {bits, 1, 8, 9, {1, 0, 1, 0, 0, 0, 0, 0, 1}},
        {bits, 1, 24, 2, {6, 5, 4, 3, 2, 1}},
        {bits, 4, 8, 2, {0xEE, 0xEE}},  // not a conversion: nothing written
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.want.size(), c.from == 4 ? 0xEE : 0);
        IEConvertScanline(c.source, out.data(), c.from, &q, 3, pal, c.width, c.to);
        EXPECT_EQ(out, c.want) << c.from << "->" << c.to;
    }
}

TEST_F(Utils, ReorderChannelsByLetters) {
    struct Case {
        const char* order;
        TRGB want;
    };
    const TRGB in = CreateRGB(10, 20, 30);
    const Case cases[] = {{"BGR", in},
                          {"RGB", CreateRGB(30, 20, 10)},
                          {"bg0", CreateRGB(0, 20, 30)},
                          {"GGG", CreateRGB(20, 20, 20)},
                          {"0RB", CreateRGB(30, 10, 0)},
                          {"RG", in}};
    for (const Case& c : cases) {
        TIEBitmap b(2, 2, ie24RGB);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 2; ++x) b.SetPixel24(x, y, in);
        IEReorderChannels(&b, c.order);
        EXPECT_EQ(b.GetPixel24(1, 1), c.want) << c.order;
        TIEBitmap w(1, 1, ieRGB48);
        w.SetPixel48(0, 0, TRGB48{10 * 257, 20 * 257, 30 * 257});
        IEReorderChannels(&w, c.order);
        const TRGB48 p = w.GetPixel48(0, 0);
        EXPECT_EQ(CreateRGB(uint8_t(p.r / 257), uint8_t(p.g / 257), uint8_t(p.b / 257)), c.want) << c.order;
    }
    TIEBitmap b(3, 4, ie24RGB);
    std::vector<int> progress;
    IEReorderChannels(&b, "RGB", [&](cl::TObject*, int p) { progress.push_back(p); });
    EXPECT_EQ(progress, (std::vector<int>{0, 25, 50, 75}));
}

TEST_F(Utils, HistogramMatchingAgainstTheFormulas) {
    auto ref = Random(16, 16, ie24RGB, 8);
    auto b = Random(20, 10, ie24RGB, 9);
    TIEBitmap before;
    before.Assign(b.get());
    IEMatchHistogram(ref.get(), b.get());
    for (int c = 0; c < 3; ++c) {
        int64_t hist[256] = {}, refHist[256] = {};
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 20; ++x) ++hist[static_cast<const uint8_t*>(before.GetScanline(y))[3 * x + c]];
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x) ++refHist[static_cast<const uint8_t*>(ref->GetScanline(y))[3 * x + c]];
        double e[256], r[256];
        int64_t cum = 0, refCum = 0;
        for (int i = 0; i < 256; ++i) {
            cum += hist[i];
            refCum += refHist[i];
            e[i] = cum * 255.0 / 200;
            r[i] = 255.0 / 256 * refCum;
        }
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 20; ++x) {
                const int v = static_cast<int>(e[static_cast<const uint8_t*>(before.GetScanline(y))[3 * x + c]]);
                int best = 0;
                for (int j = 1; j < 256; ++j)
                    if (std::abs(v - r[j]) < std::abs(v - r[best])) best = j;
                ASSERT_EQ(static_cast<const uint8_t*>(b->GetScanline(y))[3 * x + c], best) << c << " " << x << "," << y;
            }
    }
    // Other formats are left alone.
    auto g = Random(4, 4, ie8g, 1);
    TIEBitmap gb;
    gb.Assign(g.get());
    IEMatchHistogram(ref.get(), g.get());
    EXPECT_TRUE(IEBitmapsEqual(g.get(), &gb));
}

}  // namespace
}  // namespace ie
