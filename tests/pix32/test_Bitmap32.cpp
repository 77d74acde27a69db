// TBitmap32: size and pixel memory, notification, fills and clipping, pixel readers,
// copying from and to the class library's pictures, GDI access and the "Data" stream.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "classlib/Jpeg.h"
#include "classlib/SysUtils.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_Resamplers.h"
#include "platform/gdi.h"

using namespace pix32;

namespace {

// Records the notifications of a bitmap in order: 'C' OnChange, 'R' OnResize, 'A' an area.
struct Recorder {
    std::string events;
    std::vector<TRect> areas;
    explicit Recorder(TBitmap32& b) {
        b.OnChange = [this](cl::TObject*) { events += 'C'; };
        b.OnResize = [this](cl::TObject*) { events += 'R'; };
        b.OnAreaChanged = [this](cl::TObject*, const TRect& r, uint32_t info) {
            EXPECT_EQ(info, AreaInfoRect);
            events += 'A';
            areas.push_back(r);
        };
    }
};

bool SameRect(const TRect& a, const TRect& b) { return RectsEqual(a, b); }

std::unique_ptr<TBitmap32> Filled(int w, int h, TColor32 c) {
    auto b = std::make_unique<TBitmap32>();
    b->SetSize(w, h);
    b->ClearToColor(c);
    return b;
}

TEST(Bitmap32Life, DefaultsAfterCreation) {
    TBitmap32 b;
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Handle(), nullptr);
    EXPECT_EQ(b.DrawMode(), dmOpaque);
    EXPECT_EQ(b.CombineMode(), cmBlend);
    EXPECT_EQ(b.WrapMode(), wmClamp);
    EXPECT_EQ(b.MasterAlpha(), 255u);
    EXPECT_EQ(b.OuterColor(), 0u);
    EXPECT_EQ(b.PenColor(), 0xFFFFFFFFu);
    EXPECT_EQ(b.StippleStep(), 1.0f);
    EXPECT_EQ(b.ResamplerClassName(), "TNearestResampler");
    EXPECT_FALSE(b.Clipping());
    EXPECT_FALSE(b.MeasuringMode());
    const auto& h = b.BitmapInfo().bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biCompression, 0u);
}

TEST(Bitmap32Life, SetSizeMakesTopDownDibWithItsOwnDc) {
    TBitmap32 b;
    Recorder rec(b);
    EXPECT_TRUE(b.SetSize(5, 3));
    EXPECT_EQ(rec.events, "ACR");
    ASSERT_FALSE(b.Empty());
    EXPECT_NE(b.Handle(), nullptr);
    EXPECT_EQ(b.BitmapInfo().bmiHeader.biWidth, 5);
    EXPECT_EQ(b.BitmapInfo().bmiHeader.biHeight, -3);
    EXPECT_EQ(b.ScanLine(2), b.Bits() + 10);
    EXPECT_EQ(b.PixelPtr(4, 1), b.Bits() + 9);
    EXPECT_TRUE(SameRect(b.ClipRect(), TRect{0, 0, 5, 3}));
    win::DIBSECTION ds{};
    ASSERT_GT(win::GetObjectA(b.BitmapHandle(), sizeof(ds), &ds), 0);
    EXPECT_EQ(ds.dsBm.bmBits, b.Bits());
}

TEST(Bitmap32Life, NegativeSideAndRepeatedSize) {
    TBitmap32 b;
    Recorder rec(b);
    EXPECT_TRUE(b.SetSize(-5, 10));
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 10);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Bits(), nullptr);
    rec.events.clear();
    EXPECT_FALSE(b.SetSize(-5, 10));
    EXPECT_EQ(rec.events, "");
}

TEST(Bitmap32Life, FailedResizeLeavesAnEmptyBitmapWithoutClipRect) {
    TBitmap32 b;
    b.SetSize(8, 8);
    b.SetClipRect(TRect{2, 2, 6, 6});
    int handleChanges = 0;
    b.OnHandleChanged = [&](cl::TObject*) { ++handleChanges; };
    Recorder rec(b);
    EXPECT_THROW(b.SetSize(40000, 40000), cl::Exception);  // beyond what the platform allocates
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_EQ(handleChanges, 1);
    EXPECT_EQ(rec.events, "");  // neither Changed nor Resized
    EXPECT_TRUE(SameRect(b.ClipRect(), TRect{0, 0, 0, 0}));
    EXPECT_FALSE(b.Clipping());
    // Nothing reads or writes through the null pixel pointer now.
    EXPECT_EQ(b.PixelClipped(3, 3), b.OuterColor());
    b.FillRectClipped(0, 0, 8, 8, 0xFF00FF00u);
    b.Clear();
}

TEST(Bitmap32Notification, UpdateCountingSuppressesChangeUntilBalanced) {
    TBitmap32 b;
    b.SetSize(2, 2);
    Recorder rec(b);
    b.BeginUpdate();
    b.BeginUpdate();
    b.Clear();
    b.FillRect(0, 0, 1, 1, 0xFFFFFFFFu);
    b.EndUpdate();
    b.Clear();
    EXPECT_EQ(rec.events, "");
    b.EndUpdate();
    EXPECT_EQ(rec.events, "");  // EndUpdate fires nothing by itself
    EXPECT_EQ(b.UpdateCount(), 0);
    b.Changed();
    EXPECT_EQ(rec.events, "AC");
    EXPECT_TRUE(SameRect(rec.areas.back(), TRect{0, 0, 2, 2}));
}

TEST(Bitmap32Notification, UnpairedEndUpdateFailsAndKeepsCount) {
    TBitmap32 b;
    try {
        b.EndUpdate();
        FAIL() << "no exception";
    } catch (const cl::EAssertionFailed& e) {
        EXPECT_NE(std::string(e.Message).find("Unpaired TThreadPersistent.EndUpdate"), std::string::npos);
    }
    EXPECT_EQ(b.UpdateCount(), 0);
}

TEST(Bitmap32Notification, MeasuringReportsAreasWithoutWritingOrChanging) {
    auto b = Filled(4, 4, 0xFF000000u);
    std::string events;
    b->OnChange = [&](cl::TObject*) { events += 'C'; };
    std::vector<TRect> measured;
    b->BeginUpdate();
    b->BeginMeasuring([&](cl::TObject*, const TRect& r, uint32_t) { measured.push_back(r); });
    b->FillRectClipped(1, 1, 3, 3, 0xFFFFFFFFu);
    b->ClearToColor(0xFF123456u);
    b->EndMeasuring();
    b->EndUpdate();
    EXPECT_EQ(events, "");
    ASSERT_EQ(measured.size(), 2u);
    EXPECT_TRUE(SameRect(measured[0], TRect{1, 1, 3, 3}));
    EXPECT_TRUE(SameRect(measured[1], TRect{0, 0, 4, 4}));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(b->Bits()[i], 0xFF000000u);
}

TEST(Bitmap32Fill, ClearOnEmptyDoesNothing) {
    TBitmap32 b;
    Recorder rec(b);
    b.Clear();
    EXPECT_EQ(rec.events, "");
}

TEST(Bitmap32Fill, ClearMakesOpaqueBlackAndFiresOnce) {
    TBitmap32 b;
    b.SetSize(2, 2);
    Recorder rec(b);
    b.Clear();
    EXPECT_EQ(rec.events, "AC");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b.Bits()[i], 0xFF000000u);
}

TEST(Bitmap32Fill, ClearToColorWithClippingFillsAndReportsTheClipRectFirst) {
    auto b = Filled(5, 4, 0u);
    b->SetClipRect(TRect{1, 1, 3, 4});
    EXPECT_TRUE(b->Clipping());
    Recorder rec(*b);
    b->ClearToColor(0xFFAABBCCu);
    ASSERT_GE(rec.areas.size(), 2u);
    EXPECT_TRUE(SameRect(rec.areas.front(), TRect{1, 1, 3, 4}));
    EXPECT_TRUE(SameRect(rec.areas.back(), TRect{0, 0, 5, 4}));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(b->Pixel(x, y), (x >= 1 && x < 3 && y >= 1) ? 0xFFAABBCCu : 0u) << x << "," << y;
}

TEST(Bitmap32Fill, FillRectClippedTable) {
    struct Case {
        TRect req;
        TRect filled;  // empty: nothing written
        TRect lastReport;
    };
    const Case cases[] = {
        {{-2, -2, 3, 2}, {1, 1, 3, 2}, {1, 1, 3, 2}},  // clipped to (1, 1, 5, 4)
        {{2, 2, 9, 9}, {2, 2, 5, 4}, {2, 2, 5, 4}},
        {{6, 0, 8, 3}, {0, 0, 0, 0}, {6, 0, 8, 3}},  // wholly outside: still reported
        {{3, 3, 2, 4}, {0, 0, 0, 0}, {3, 3, 2, 4}},  // reversed
    };
    for (const Case& c : cases) {
        auto b = Filled(6, 5, 0u);
        b->SetClipRect(TRect{1, 1, 5, 4});
        Recorder rec(*b);
        b->FillRectClipped(c.req, 0xFF0000FFu);
        ASSERT_FALSE(rec.areas.empty());
        EXPECT_TRUE(SameRect(rec.areas.back(), c.lastReport));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool in = PointInRect(c.filled, TPoint{x, y});
                EXPECT_EQ(b->Pixel(x, y), in ? 0xFF0000FFu : 0u) << x << "," << y;
            }
    }
}

TEST(Bitmap32Fill, SetAlphaKeepsColours) {
    // A small bitmap and one large enough to be split over the processor's cores.
    for (auto [w, h] : {std::pair{17, 3}, std::pair{1031, 300}}) {
        auto b = Filled(w, h, 0x11223344u);
        b->Bits()[w * h - 1] = 0x00ABCDEFu;
        b->SetAlpha(0x80);
        for (int i = 0; i < w * h - 1; ++i) ASSERT_EQ(b->Bits()[i], 0x80223344u) << i;
        EXPECT_EQ(b->Bits()[w * h - 1], 0x80ABCDEFu);
        b->MakeOpaque();
        EXPECT_EQ(b->Pixel(w - 1, h - 1), 0xFFABCDEFu);
        EXPECT_EQ(b->Pixel(0, 0), 0xFF223344u);
    }
}

TEST(Bitmap32Clip, SetClipRectIntersectsWithBounds) {
    TBitmap32 b;
    b.SetSize(10, 8);
    b.SetClipRect(TRect{-3, 2, 4, 20});
    EXPECT_TRUE(SameRect(b.ClipRect(), TRect{0, 2, 4, 8}));
    EXPECT_EQ(b.FixedClipRect().Right, 4 * 65536);
    EXPECT_EQ(b.ClipRect256().bottom, 8 * 256);
    EXPECT_TRUE(b.Clipping());
    b.SetClipRect(TRect{20, 20, 30, 30});
    EXPECT_TRUE(SameRect(b.ClipRect(), TRect{0, 0, 0, 0}));
    b.SetSize(3, 3);  // every resize resets it
    EXPECT_TRUE(SameRect(b.ClipRect(), TRect{0, 0, 3, 3}));
    EXPECT_FALSE(b.Clipping());
}

TEST(Bitmap32Pixels, ClippedAndWrappedReaders) {
    TBitmap32 b;
    b.SetSize(4, 3);
    for (int i = 0; i < 12; ++i) b.Bits()[i] = 0xFF000000u | static_cast<uint32_t>(i);
    b.SetOuterColor(0x12345678u);
    b.SetClipRect(TRect{1, 0, 3, 2});
    EXPECT_EQ(b.PixelClipped(b.ClipRect().right, b.ClipRect().top), 0x12345678u);
    EXPECT_EQ(b.PixelClipped(2, 1), 0xFF000006u);
    struct Case {
        TWrapMode mode;
        int x, y;
        TColor32 expect;
    };
    const Case cases[] = {
        {wmClamp, -5, 0, 0xFF000001u}, {wmClamp, 9, 9, 0xFF000006u},  {wmRepeat, 3, 0, 0xFF000001u},
        {wmRepeat, 0, 2, 0xFF000002u}, {wmMirror, 3, 0, 0xFF000002u}, {wmMirror, 0, 1, 0xFF000005u},
    };
    for (const Case& c : cases) {
        b.SetWrapMode(c.mode);
        EXPECT_EQ(b.PixelWrapped(c.x, c.y), c.expect) << c.mode << " " << c.x << "," << c.y;
    }
}

TEST(Bitmap32Pixels, GammaTableAndBilinearReaders) {
    EXPECT_EQ(GammaTable[0], 0);
    EXPECT_EQ(GammaTable[255], 255);
    EXPECT_EQ(GammaTable[128], static_cast<uint8_t>(std::nearbyint(255.0 * std::pow(128 / 255.0, 0.7))));
    TBitmap32 b;
    b.SetSize(3, 2);
    const TColor32 px[6] = {0xFF000000u, 0xFF646464u, 0xFFC8C8C8u, 0xFF0A0A0Au, 0xFF1E1E1Eu, 0xFF323232u};
    std::memcpy(b.Bits(), px, sizeof(px));
    // On a pixel: that pixel's weight is 255.
    const TColor32 at = b.PixelBilinear256(256, 0);
    EXPECT_EQ(at, WeightedMix(WeightedMix(px[1], px[2], 255), WeightedMix(px[4], px[5], 255), 255));
    // Half-way: the weights go through the gamma table.
    const uint32_t w = GammaTable[127];
    EXPECT_EQ(b.PixelBilinear256(128, 128), WeightedMix(WeightedMix(px[0], px[1], w), WeightedMix(px[3], px[4], w), w));
    // The last column of the clip rectangle is read unmixed; beyond it OuterColor.
    b.SetOuterColor(0x00ABCDEFu);
    EXPECT_EQ(b.PixelBilinear256Clipped(2 * 256, 0), px[2]);
    EXPECT_EQ(b.PixelBilinear256Clipped(1 * 256, 1 * 256), px[4]);
    EXPECT_EQ(b.PixelBilinear256Clipped(-1, 0), 0x00ABCDEFu);
    EXPECT_EQ(b.PixelBilinear256Clipped(2 * 256 + 1, 0), 0x00ABCDEFu);
    // 16.16 to 24.8 rounds: (v + 0x7F) shr 8.
    EXPECT_EQ(b.PixelBilinearFixed(0x81, 0), b.PixelBilinear256(1, 0));
    EXPECT_EQ(b.PixelBilinearFixed(0x80, 0), b.PixelBilinear256(0, 0));
    EXPECT_NE(b.PixelBilinear256(1, 0), b.PixelBilinear256(0, 0));
    // Wrapped: plain weights on the right and lower pixels.
    b.SetWrapMode(wmRepeat);
    EXPECT_EQ(b.PixelBilinearFixedWrapped(2 * 65536 + 0x8000, 0),
              WeightedMix(WeightedMix(px[3], px[5], 128), WeightedMix(px[0], px[2], 128), 0));
}

TEST(Bitmap32Helpers, GeometryTable) {
    TRect r;
    EXPECT_TRUE(IntersectRects(r, TRect{0, 0, 4, 4}, TRect{4, 1, 6, 3}));
    EXPECT_TRUE(SameRect(r, TRect{4, 1, 4, 3}));
    EXPECT_FALSE(IntersectRects(r, TRect{0, 0, 2, 2}, TRect{3, 3, 4, 4}));
    EXPECT_TRUE(SameRect(r, TRect{0, 0, 0, 0}));
    EXPECT_TRUE(SameRect(MakeRectFromFloat({0.5f, 1.5f, 2.5f, 3.5f}, rrNearest), TRect{0, 2, 2, 4}));
    EXPECT_TRUE(SameRect(MakeRectFromFloat({0.5f, 1.5f, 2.5f, 3.5f}, rrOutward), TRect{0, 1, 3, 4}));
    EXPECT_TRUE(SameRect(MakeRectFromFloat({0.5f, 1.5f, 0.7f, 3.5f}, rrInward), TRect{1, 2, 1, 3}));
    EXPECT_TRUE(SameRect(MakeRectFromFixed({0x18000, -0x18000, 0x28000, 0x10001}, rrNearest), TRect{1, -2, 2, 1}));
    EXPECT_EQ(FixedFromFloat(1.5), 0x18000);
    EXPECT_EQ(ColorToColor32(0x00112233), 0xFF332211u);
    EXPECT_TRUE(RectIsEmpty(TRect{2, 2, 2, 5}));
    EXPECT_FALSE(PointInRect(TRect{0, 0, 2, 2}, TPoint{2, 0}));
}

struct FloatOnlySampler : TCustomSampler {
    float gotX = -1, gotY = -1;
    TColor32 GetSampleFloat(float X, float Y) override {
        gotX = X;
        gotY = Y;
        return 7;
    }
};

TEST(CustomSampler, IntegerReadReachesTheFloatReader) {
    FloatOnlySampler s;
    EXPECT_EQ(s.GetSampleInt(2, 3), 7u);
    EXPECT_EQ(s.gotX, 2.0f);
    EXPECT_EQ(s.gotY, 3.0f);
}

// ------------------------------------------------------------------ GDI and class library

TEST(Bitmap32Gdi, DrawingIntoTheDcIsSeenInThePixels) {
    auto b = Filled(20, 10, 0xFF000000u);
    win::HBRUSH brush = win::CreateSolidBrush(0x000000FF);  // red, 0x00BBGGRR
    win::RECT r{2, 3, 7, 5};
    win::FillRect(b->Handle(), &r, brush);
    win::DeleteObject(brush);
    EXPECT_EQ(b->Pixel(2, 3) & 0x00FFFFFFu, 0x00FF0000u);
    EXPECT_EQ(b->Pixel(6, 4) & 0x00FFFFFFu, 0x00FF0000u);
    EXPECT_EQ(b->Pixel(7, 4), 0xFF000000u);
    // The canvas draws into the same pixels and reports a change.
    int changes = 0;
    b->OnChange = [&](cl::TObject*) { ++changes; };
    b->Canvas()->GetBrush()->SetColor(cl::clLime);
    b->Canvas()->FillRect(TRect{10, 0, 12, 2});
    EXPECT_EQ(b->Pixel(11, 1) & 0x00FFFFFFu, 0x0000FF00u);
    EXPECT_GT(changes, 0);
    // A resize drops the canvas; the next one draws into the new pixels.
    b->SetSize(4, 4);
    EXPECT_FALSE(b->CanvasAllocated());
    b->Clear();
    b->Canvas()->GetBrush()->SetColor(cl::clLime);
    b->Canvas()->FillRect(TRect{0, 0, 1, 1});
    EXPECT_EQ(b->Pixel(0, 0) & 0x00FFFFFFu, 0x0000FF00u);
}

TEST(Bitmap32Gdi, DrawToDcCopiesThePixels) {
    auto src = Filled(3, 2, 0xFF102030u);
    src->SetPixel(2, 1, 0xFF405060u);
    auto dst = Filled(6, 5, 0u);
    src->DrawToDC(dst->Handle(), 1, 2);
    EXPECT_EQ(dst->Pixel(1, 2) & 0x00FFFFFFu, 0x00102030u);
    EXPECT_EQ(dst->Pixel(3, 3) & 0x00FFFFFFu, 0x00405060u);
    EXPECT_EQ(dst->Pixel(0, 2), 0u);
    EXPECT_EQ(dst->Pixel(4, 3), 0u);
}

TEST(Bitmap32Assign, FromTBitmap32CopiesPixelsAndSettings) {
    auto src = Filled(3, 3, 0x80112233u);
    src->SetDrawMode(dmBlend);
    src->SetCombineMode(cmMerge);
    src->SetMasterAlpha(77);
    src->SetOuterColor(0x01020304u);
    src->SetResamplerClassName("TKernelResampler");
    static_cast<TKernelResampler*>(src->Resampler())->SetKernelClassName("TLanczosKernel");
    TBitmap32 dst;
    Recorder rec(dst);
    dst.Assign(src.get());
    EXPECT_EQ(dst.Width(), 3);
    EXPECT_EQ(dst.Pixel(2, 2), 0x80112233u);
    EXPECT_EQ(dst.DrawMode(), dmBlend);
    EXPECT_EQ(dst.CombineMode(), cmMerge);
    EXPECT_EQ(dst.MasterAlpha(), 77u);
    EXPECT_EQ(dst.OuterColor(), 0x01020304u);
    ASSERT_EQ(dst.ResamplerClassName(), "TKernelResampler");
    EXPECT_EQ(static_cast<TKernelResampler*>(dst.Resampler())->KernelClassName(), "TLanczosKernel");
    EXPECT_EQ(static_cast<TBitmap32Resampler*>(dst.Resampler())->Bitmap(), &dst);
    EXPECT_EQ(rec.events, "RAC");
    EXPECT_TRUE(dst.Equal(src.get()));
    dst.Assign(nullptr);
    EXPECT_TRUE(dst.Empty());
}

TEST(Bitmap32Assign, FromTransparentGdiBitmapClearsAlphaOfThatColour) {
    cl::TBitmap bmp;
    bmp.SetPixelFormat(cl::pf24bit);
    bmp.SetSize(4, 2);
    bmp.GetCanvas()->GetBrush()->SetColor(cl::clBlue);
    bmp.GetCanvas()->FillRect(TRect{0, 0, 4, 2});
    bmp.GetCanvas()->SetPixels(1, 0, cl::clRed);
    bmp.GetCanvas()->SetPixels(3, 1, cl::clRed);
    bmp.GetCanvas()->SetPixels(2, 1, 0x0000FE);  // almost red stays opaque
    bmp.SetTransparentColor(cl::clRed);
    bmp.SetTransparent(true);
    TBitmap32 b;
    b.Assign(&bmp);
    ASSERT_EQ(b.Width(), 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool red = (x == 1 && y == 0) || (x == 3 && y == 1);
            EXPECT_EQ(b.Pixel(x, y) >> 24, red ? 0u : 255u) << x << "," << y;
        }
    EXPECT_EQ(b.Pixel(1, 0), 0x00FF0000u);
    EXPECT_EQ(b.Pixel(2, 1), 0xFFFE0000u);
    EXPECT_EQ(b.Pixel(0, 0), 0xFF0000FFu);
}

std::unique_ptr<cl::TJPEGImage> DecodedJpeg(int w, int h) {
    cl::TBitmap bmp;
    bmp.SetPixelFormat(cl::pf24bit);
    bmp.SetSize(w, h);
    bmp.GetCanvas()->GetBrush()->SetColor(0x00C08040);
    bmp.GetCanvas()->FillRect(TRect{0, 0, w, h});
    bmp.GetCanvas()->GetBrush()->SetColor(cl::clWhite);
    bmp.GetCanvas()->FillRect(TRect{0, 0, w / 2, h / 2});
    cl::TJPEGImage enc;
    enc.Assign(&bmp);
    enc.SetCompressionQuality(95);
    cl::TMemoryStream ms;
    enc.SaveToStream(&ms);
    ms.SetPosition(0);
    auto jpg = std::make_unique<cl::TJPEGImage>();
    jpg->LoadFromStream(&ms);
    jpg->DIBNeeded();
    return jpg;
}

TEST(Bitmap32Assign, FromDecodedJpeg) {
    auto jpg = DecodedJpeg(64, 48);
    TBitmap32 b;
    b.SetSize(10, 10);
    Recorder rec(b);
    b.Assign(jpg.get());
    ASSERT_EQ(b.Width(), 64);
    ASSERT_EQ(b.Height(), 48);
    EXPECT_EQ(rec.events, "RAC");  // OnResize during the call, one area/change pair after it
    for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(b.Bits()[i] >> 24, 255u) << i;
    // The decoded picture's pixels, as the class library's bitmap of the JPEG holds them.
    cl::TBitmap* dib = jpg->GetBitmap();
    for (int y : {5, 40})
        for (int x : {5, 50}) {
            const cl::TColor c = dib->GetCanvas()->Pixels(x, y);
            EXPECT_EQ(b.Pixel(x, y), ColorToColor32(c)) << x << "," << y;
        }
    EXPECT_GT(RedOf(b.Pixel(5, 5)), 240u);
    EXPECT_LT(RedOf(b.Pixel(50, 40)), 0x50u);
    // Into a bitmap of that size already: no OnResize.
    rec.events.clear();
    b.Assign(jpg.get());
    EXPECT_EQ(rec.events, "AC");
}

TEST(Bitmap32Assign, FromLargeDecodedJpegsKeepsEveryPixel) {
    // Pictures the size of a slide's (split over the cores), odd widths, colour and grey: each
    // pixel is the decoded picture's colour with alpha 255.
    std::mt19937 rng(4);
    for (bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey" : "colour");
        cl::TBitmap bmp;
        bmp.SetPixelFormat(cl::pf24bit);
        bmp.SetSize(1001, 667);
        for (int y = 0; y < 667; ++y) {
            auto* row = static_cast<uint8_t*>(bmp.ScanLine(y));
            for (int x = 0; x < 3 * 1001; ++x) row[x] = static_cast<uint8_t>((x + y) / 7 + rng() % 40);
        }
        cl::TJPEGImage enc;
        enc.Assign(&bmp);
        enc.SetGrayscale(grey);
        cl::TMemoryStream ms;
        enc.SaveToStream(&ms);
        ms.SetPosition(0);
        cl::TJPEGImage jpg;
        jpg.LoadFromStream(&ms);
        cl::TBitmap* dib = jpg.GetBitmap();
        ASSERT_EQ(dib->GetPixelFormat(), grey ? cl::pf8bit : cl::pf24bit);
        TBitmap32 b;
        b.Assign(&jpg);
        ASSERT_EQ(b.Width(), 1001);
        ASSERT_EQ(b.Height(), 667);
        for (int y = 0; y < 667; ++y) {
            const auto* row = static_cast<const uint8_t*>(dib->ScanLine(y));
            for (int x = 0; x < 1001; ++x) {
                TColor32 want;
                if (grey) {
                    const win::RGBQUAD q = dib->GetColorTable()[row[x]];
                    want = 0xFF000000u | (TColor32{q.rgbRed} << 16) | (TColor32{q.rgbGreen} << 8) | q.rgbBlue;
                } else {
                    want =
                        0xFF000000u | (TColor32{row[3 * x + 2]} << 16) | (TColor32{row[3 * x + 1]} << 8) | row[3 * x];
                }
                ASSERT_EQ(b.Pixel(x, y), want) << x << "," << y;
            }
        }
    }
}

// A 4 x 4 icon file, 24-bit green, whose mask leaves the left two columns transparent.
std::vector<uint8_t> GreenIconFile() {
    std::vector<uint8_t> f;
    const auto put16 = [&](uint16_t v) { f.push_back(v & 0xFF), f.push_back(v >> 8); };
    const auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    put16(0), put16(1), put16(1);  // directory
    const uint32_t size = 40 + 4 * 12 + 4 * 4;
    f.push_back(4), f.push_back(4), f.push_back(0), f.push_back(0);
    put16(1), put16(24), put32(size), put32(22);         // entry
    put32(40), put32(4), put32(8), put16(1), put16(24);  // header (height of image and mask)
    for (int i = 0; i < 6; ++i) put32(0);
    for (int i = 0; i < 16; ++i) f.push_back(0), f.push_back(0x80), f.push_back(0);  // B, G, R
    for (int y = 0; y < 4; ++y) put32(0xC0);                                         // mask rows: 1 = transparent
    return f;
}

TEST(Bitmap32Assign, FromPictureHoldingAnIconMakesUnpaintedPixelsTransparent) {
    const std::vector<uint8_t> file = GreenIconFile();
    cl::TMemoryStream ms;
    ms.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    ms.SetPosition(0);
    cl::TIcon icon;
    icon.LoadFromStream(&ms);
    cl::TPicture pic;
    pic.SetGraphic(&icon);
    TBitmap32 b;
    b.Assign(&pic);
    ASSERT_EQ(b.Width(), 4);
    ASSERT_EQ(b.Height(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            if (x < 2)
                EXPECT_EQ(b.Pixel(x, y) >> 24, 0u) << x << "," << y;
            else
                EXPECT_EQ(b.Pixel(x, y), 0xFF008000u) << x << "," << y;
        }
}

TEST(Bitmap32Assign, ToGdiBitmapAndBack) {
    auto src = Filled(5, 4, 0x7F204060u);
    cl::TBitmap bmp;
    bmp.Assign(src.get());
    EXPECT_EQ(bmp.GetWidth(), 5);
    EXPECT_EQ(bmp.GetPixelFormat(), cl::pf32bit);
    const auto* row = static_cast<const uint32_t*>(bmp.ScanLine(3));
    EXPECT_EQ(row[4], 0x7F204060u);
    TBitmap32 back;
    back.Assign(&bmp);
    EXPECT_EQ(back.Pixel(4, 3), 0x7F204060u);  // 32-bit source: alpha kept
    cl::TPicture pic;
    pic.Assign(src.get());
    EXPECT_EQ(pic.GetWidth(), 5);
    cl::TStringList unsupported;
    EXPECT_THROW(back.Assign(&unsupported), cl::EConvertError);
    EXPECT_THROW(unsupported.Assign(&back), cl::EConvertError);
}

// ------------------------------------------------------------------ "Data"

TEST(Bitmap32Data, RoundTripAndEmptyForm) {
    auto src = Filled(3, 2, 0x11223344u);
    src->SetPixel(1, 1, 0xAABBCCDDu);
    cl::TMemoryStream ms;
    src->WriteData(&ms);
    ASSERT_EQ(ms.GetSize(), 8 + 3 * 2 * 4);
    const auto* bytes = static_cast<const uint8_t*>(ms.GetMemory());
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[4], 2);
    EXPECT_EQ(bytes[8 + 4 * 4 + 0], 0xDD);  // blue first
    EXPECT_EQ(bytes[8 + 4 * 4 + 3], 0xAA);
    ms.SetPosition(0);
    TBitmap32 b;
    int changes = 0;
    b.OnChange = [&](cl::TObject*) { ++changes; };
    b.ReadData(&ms);
    EXPECT_GE(changes, 1);
    EXPECT_TRUE(b.Equal(src.get()));

    TBitmap32 empty;
    cl::TMemoryStream es;
    empty.WriteData(&es);
    ASSERT_EQ(es.GetSize(), 8);
    EXPECT_EQ(std::memcmp(es.GetMemory(), "\0\0\0\0\0\0\0\0", 8), 0);
    es.SetPosition(0);
    b.ReadData(&es);
    EXPECT_TRUE(b.Empty());
    EXPECT_FALSE(b.DataStored(nullptr));
    EXPECT_TRUE(src->DataStored(nullptr));
    EXPECT_FALSE(src->DataStored(src.get()));
}

TEST(Bitmap32Data, StoredSizeBeyondTheStreamIsRefusedBeforeAllocating) {
    struct Case {
        int32_t w, h;
        int extraBytes;
    };
    // clang-format off
    const Case cases[] = {
        {3, 2, 23},                     // one byte short
        {0x7FFFFFFF, 0x7FFFFFFF, 64},   // product beyond any size
        {65536, 65536, 16},             // 32-bit product would wrap to 0
        {1, 0x40000001, 8},             // x 4 would wrap
    };
    // clang-format on
    for (const Case& c : cases) {
        auto b = Filled(2, 2, 0xFF010203u);
        cl::TMemoryStream ms;
        ms.WriteBuffer(&c.w, 4);
        ms.WriteBuffer(&c.h, 4);
        std::vector<uint8_t> pad(static_cast<size_t>(c.extraBytes), 0x5A);
        ms.WriteBuffer(pad.data(), c.extraBytes);
        ms.SetPosition(0);
        int changes = 0;
        b->OnChange = [&](cl::TObject*) { ++changes; };
        EXPECT_THROW(b->ReadData(&ms), cl::EReadError) << c.w << "x" << c.h;
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(b->Width(), 2);  // untouched
        EXPECT_EQ(b->Pixel(1, 1), 0xFF010203u);
    }
    TBitmap32 b;
    cl::TMemoryStream shortHeader;
    shortHeader.WriteBuffer("\x01\x00\x00", 3);
    shortHeader.SetPosition(0);
    EXPECT_THROW(b.ReadData(&shortHeader), cl::EReadError);
}

TEST(Bitmap32Data, NegativeStoredSideGivesAnEmptyBitmap) {
    const int32_t hdr[2] = {-4, 3};
    cl::TMemoryStream ms;
    ms.WriteBuffer(hdr, 8);
    ms.SetPosition(0);
    TBitmap32 b;
    b.ReadData(&ms);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 3);
}

TEST(Bitmap32Props, PublishedSettingsAndResamplerChoice) {
    TBitmap32 b;
    b.SetResamplerClassName("TLinearResampler");
    EXPECT_EQ(b.ResamplerClassName(), "TLinearResampler");
    TCustomResampler* before = b.Resampler();
    b.SetResamplerClassName("TNoSuchResampler");
    EXPECT_EQ(b.Resampler(), before);
    b.SetResampler(nullptr);
    EXPECT_EQ(b.Resampler(), before);
    int changes = 0;
    b.OnChange = [&](cl::TObject*) { ++changes; };
    b.SetMasterAlpha(255);
    EXPECT_EQ(changes, 0);
    b.SetMasterAlpha(100);
    EXPECT_EQ(changes, 1);
}

}  // namespace
