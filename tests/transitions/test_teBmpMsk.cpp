// The bitmap-mask transition and the picture placement it draws its mask with.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/teBkgrnd.h"
#include "transitions/teBmpMsk.h"

using namespace te;
using namespace tetest;

namespace {

class BmpMaskTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUpteBmpMsk();
        savedMMX = MMXAvailable;
    }
    void TearDown() override { MMXAvailable = savedMMX; }
    bool savedMMX = false;
};

// An 8-bit bitmap with the grey palette whose index at (x, y) is f(x, y).
std::unique_ptr<cl::TBitmap> GreyMask(int w, int h, const std::function<int(int, int)>& f) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf8bit);
    std::vector<win::RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) {
        table[static_cast<size_t>(i)].rgbBlue = table[static_cast<size_t>(i)].rgbGreen =
            table[static_cast<size_t>(i)].rgbRed = static_cast<uint8_t>(i);
        table[static_cast<size_t>(i)].rgbReserved = 0;
    }
    b->SetColorTable(table);
    b->SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int x = 0; x < w; ++x) row[x] = static_cast<uint8_t>(f(x, y));
    }
    return b;
}

int Index(cl::TBitmap* b, int x, int y) { return static_cast<const uint8_t*>(b->ScanLine(y))[x]; }

// Old + floor((new - old) * w / 256) per byte.
uint32_t Mix(uint32_t oldC, uint32_t newC, int w) {
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        int o = (oldC >> (8 * c)) & 0xFF, n = (newC >> (8 * c)) & 0xFF;
        int d = n - o;
        int v = o + (d >= 0 ? d * w / 256 : -((-d * w + 255) / 256));
        out |= static_cast<uint32_t>(v) << (8 * c);
    }
    return out;
}

}  // namespace

TEST_F(BmpMaskTest, AUniformMaskAppearsAtTheFrameWhoseRangeFirstHoldsItsValue) {
    MMXAvailable = false;
    struct Case {
        int level, frame;
    } cases[] = {{128, 127}, {255, 1}, {1, 254}, {200, 55}};
    for (const Case& c : cases) {
        TBmpMaskTransition bm(nullptr);
        auto mask = GreyMask(4, 4, [&](int, int) { return c.level; });
        bm.SetMask(mask.get());
        FrameDriver bench(&bm, 16, 6, OldColor, NewColor, cl::pf32bit);
        ASSERT_EQ(bench.Init(), 254);
        for (int k = 1; k <= 254; ++k) {
            bench.Frame(k);
            const bool shown = k >= c.frame;
            ASSERT_EQ(bench.Compare(shown ? PixelFn(NewColor) : PixelFn(OldColor)), "")
                << "level " << c.level << " frame " << k;
        }
    }
}

TEST_F(BmpMaskTest, SkippedFramesRevealEveryValuePassed) {
    MMXAvailable = false;
    TBmpMaskTransition bm(nullptr);
    auto mask = GreyMask(16, 1, [](int x, int) { return 200 + x; });  // columns 200..215
    bm.SetMask(mask.get());
    FrameDriver bench(&bm, 16, 4, OldColor, NewColor, cl::pf24bit);
    bench.Init();
    bench.Frame(45);  // range 210..255
    EXPECT_EQ(bench.Compare([](int x, int y) { return x >= 10 ? NewColor(x, y) : OldColor(x, y); }), "");
    bench.Frame(50);  // range 205..210
    EXPECT_EQ(bench.Compare([](int x, int y) { return x >= 5 ? NewColor(x, y) : OldColor(x, y); }), "");
}

TEST_F(BmpMaskTest, AGradientRevealsFromTheBrightSideAndReversedFromTheDarkSide) {
    MMXAvailable = false;
    for (bool reversed : {false, true}) {
        TBmpMaskTransition bm(nullptr);
        auto mask = GreyMask(16, 2, [](int x, int) { return 255 - x * 17; });  // white left, black right
        bm.SetMask(mask.get());
        bm.Reversed = reversed;
        FrameDriver bench(&bm, 16, 4, OldColor, NewColor, cl::pf32bit);
        bench.Init();
        auto* md = static_cast<TBmpMaskData*>(bench.data.Custom.get());
        for (int x = 0; x < 16; ++x) EXPECT_EQ(Index(md->WorkMask.get(), x, 1), reversed ? x * 17 : 255 - x * 17) << x;
        bench.Frame(100);  // values 155..255
        // Without reversal columns 0..5 (255..170); reversed columns 10..15 (170..255).
        EXPECT_EQ(bench.Compare([&](int x, int y) {
            bool shown = reversed ? x >= 10 : x <= 5;
            return shown ? NewColor(x, y) : OldColor(x, y);
        }),
                  "")
            << reversed;
    }
}

TEST_F(BmpMaskTest, SmoothingBlendsEachPixelInOverTheBand) {
    MMXAvailable = true;
    TBmpMaskTransition bm(nullptr);
    bm.SetSmoothingLevel(1);  // band 8
    auto mask = GreyMask(16, 1, [](int x, int) { return x < 8 ? 100 : 0; });
    bm.SetMask(mask.get());
    FrameDriver bench(&bm, 16, 3, OldColor, NewColor, cl::pf32bit);
    ASSERT_TRUE(bm.SmoothingActive(&bench.device));
    ASSERT_EQ(bench.Init(), 254 + 7);
    auto weight = [](int m, int k) {
        int level = 255 - k;
        int c = std::clamp(m - level, 0, 8);
        return c * 256 / 8;
    };
    for (int k : {150, 155, 156, 158, 163, 170, 255, 256, 258, 261}) {
        bench.Frame(k);
        EXPECT_EQ(bench.Compare(
                      [&](int x, int y) { return Mix(OldColor(x, y), NewColor(x, y), weight(x < 8 ? 100 : 0, k)); }),
                  "")
            << "frame " << k;
    }
}

TEST_F(BmpMaskTest, FrameCountsFlagsAndWidths) {
    MMXAvailable = true;
    TBmpMaskTransition bm(nullptr);
    auto mask = GreyMask(4, 4, [](int x, int y) { return x * 60 + y; });
    bm.SetMask(mask.get());
    bm.SetSmoothingLevel(3);
    {
        FrameDriver bench(&bm, 20, 4, OldColor, NewColor, cl::pf32bit);
        EXPECT_EQ(bench.Init(), 285);
        EXPECT_EQ(bm.GetBitmapsWidth(&bench.data), 24);
    }
    TTestDevice dev;
    dev.Format = cl::pf8bit;
    EXPECT_FALSE(bm.SmoothingActive(&dev));
    EXPECT_EQ(bm.GetPixelFormat(&dev), cl::pf8bit);
    TTETransitionData d;
    d.Device = &dev;
    d.Width = 21;
    d.PixelFormat = cl::pf8bit;
    EXPECT_EQ(bm.GetBitmapsWidth(&d), 24);
    d.Width = 18;
    EXPECT_EQ(bm.GetBitmapsWidth(&d), 20);
    d.PixelFormat = cl::pf4bit;
    EXPECT_EQ(bm.GetBitmapsWidth(&d), 24);
    MMXAvailable = false;
    {
        FrameDriver bench(&bm, 16, 4, OldColor, NewColor, cl::pf32bit);
        EXPECT_EQ(bench.Init(), 254);
    }
    EXPECT_EQ(bm.GetInfo(nullptr), 0x73F);
}

TEST_F(BmpMaskTest, SettersRefuseWhatTheyDoNotKeep) {
    TBmpMaskTransition bm(nullptr);
    auto mask = GreyMask(3, 3, [](int x, int y) { return x + y; });
    bm.SetMask(mask.get());
    auto colour = MakePicture(3, 3, OldColor, cl::pf24bit);
    try {
        bm.SetMask(colour.get());
        FAIL() << "a 24-bit mask was accepted";
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), "Transition mask should have 8 bits per pixel");
    }
    EXPECT_EQ(bm.GetMask()->GetPixelFormat(), cl::pf8bit);
    EXPECT_EQ(Index(bm.GetMask(), 2, 1), 3);
    bm.SetMaskMode(fcpmCenter);
    EXPECT_EQ(bm.GetMaskMode(), fcpmStretch);
    bm.SetMaskMode(fcpmZoom);
    EXPECT_EQ(bm.GetMaskMode(), fcpmZoom);
    bm.SetSmoothingLevel(6);
    EXPECT_EQ(bm.GetSmoothingLevel(), 0);
    bm.SetMask(nullptr);
    EXPECT_TRUE(bm.GetMask()->GetEmpty());
}

TEST_F(BmpMaskTest, AnEmptyMaskRunsAsAPlainCut) {
    TBmpMaskTransition bm(nullptr);
    bm.Milliseconds = 500;
    TTestDevice dev;
    std::unique_ptr<TTransitionEffect> run(bm.TransitionForDevice(&dev, true));
    ASSERT_TRUE(run->Is<TFlickerFreeTransition>());
    EXPECT_EQ(run->Milliseconds, 500);
    TTestDevice device;
    device.SetTransition(&bm);
    device.PrepareRun(cl::clRed, cl::clLime);
    device.Execute(true);
    EXPECT_EQ(Pixel(device.Screen.get(), 4, 4), static_cast<uint32_t>(cl::clLime));
    auto mask = GreyMask(2, 2, [](int, int) { return 9; });
    bm.SetMask(mask.get());
    EXPECT_EQ(bm.TransitionForDevice(&dev, false), &bm);
}

TEST_F(BmpMaskTest, SettingsStringsCarryTheMaskAsHexadecimalBmp) {
    TBmpMaskTransition bm(nullptr);
    cl::TStringList empty;
    bm.SaveToStrings(&empty, true, "");
    EXPECT_EQ(empty.IndexOfName("Mask"), -1);
    EXPECT_EQ(empty.IndexOfName("MaskMode"), -1);
    auto mask = GreyMask(5, 3, [](int x, int y) { return x * 40 + y; });
    bm.SetMask(mask.get());
    bm.SetMaskMode(fcpmTile);
    bm.SetSmoothingLevel(2);
    cl::TStringList out;
    bm.SaveToStrings(&out, true, "m.");
    EXPECT_EQ(out.Values("m.MaskMode"), "Tile");
    EXPECT_EQ(out.Values("m.SmoothingLevel"), "2");
    cl::String hex = out.Values("m.Mask");
    ASSERT_GT(hex.size(), 3u);
    EXPECT_EQ(hex.substr(0, 5), "0424D");  // "0" then "BM"
    TBmpMaskTransition other(nullptr);
    other.LoadFromStrings(&out, "m.");
    EXPECT_EQ(other.GetMaskMode(), fcpmTile);
    EXPECT_EQ(other.GetSmoothingLevel(), 2);
    ASSERT_EQ(other.GetMask()->GetWidth(), 5);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Index(other.GetMask(), x, y), x * 40 + y);
    cl::TStringList bad;
    bad.SetValue("SmoothingLevel", "two");
    EXPECT_THROW(other.LoadFromStrings(&bad, ""), cl::EConvertError);
}

TEST_F(BmpMaskTest, TilesLieOnAGridThroughTheAreasCorner) {
    auto tile = GreyMask(10, 10, [](int x, int y) { return 1 + x + 10 * y; });
    auto target = GreyMask(25, 25, [](int, int) { return 0; });
    win::RECT area = MakeRect(0, 0, 25, 25);
    DrawPicture(tile.get(), fcpmTile, static_cast<cl::TColor>(0x1FFFFFFF), target->GetCanvas(), area, area, area,
                false);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) ASSERT_EQ(Index(target.get(), x, y), 1 + x % 10 + 10 * (y % 10)) << x << "," << y;
    // A grid through (7, 4) covering the whole target starts one tile before it.
    auto shifted = GreyMask(25, 25, [](int, int) { return 0; });
    DrawPicture(tile.get(), fcpmTile, static_cast<cl::TColor>(0x1FFFFFFF), shifted->GetCanvas(), area,
                MakeRect(7, 4, 25, 25), area, false);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x)
            ASSERT_EQ(Index(shifted.get(), x, y), 1 + (x + 3) % 10 + 10 * ((y + 6) % 10)) << x << "," << y;
}

TEST_F(BmpMaskTest, ZoomCoversTheAreaWithTheOddPixelToTheBottomOrRight) {
    struct Case {
        int pw, ph;
        win::RECT dest, want;
        // clang-format off
    } cases[] = {
        {3, 2, MakeRect(0, 0, 10, 10), MakeRect(-2, 0, 13, 10)},   // taller area: width 15, odd pixel right
        {2, 3, MakeRect(0, 0, 10, 10), MakeRect(0, -2, 10, 13)},   // wider area: height 15, odd pixel below
        {4, 2, MakeRect(0, 0, 10, 10), MakeRect(-5, 0, 15, 10)},
        {3, 7, MakeRect(5, 5, 15, 10), MakeRect(5, -4, 15, 20)},   // height ceil(70 / 3) = 24: 9 above, 10 below
        {4, 4, MakeRect(0, 0, 8, 8), MakeRect(0, 0, 8, 8)},
    };
    // clang-format on
    for (const Case& c : cases) {
        win::RECT r = ZoomRect(c.pw, c.ph, c.dest);
        EXPECT_EQ(r.left, c.want.left) << c.pw << "x" << c.ph;
        EXPECT_EQ(r.top, c.want.top) << c.pw << "x" << c.ph;
        EXPECT_EQ(r.right, c.want.right) << c.pw << "x" << c.ph;
        EXPECT_EQ(r.bottom, c.want.bottom) << c.pw << "x" << c.ph;
    }
    // Drawn: three columns of indexes 10, 20, 30 over (-2, 0, 13, 10).
    auto pic = GreyMask(3, 2, [](int x, int) { return 10 * (x + 1); });
    auto target = GreyMask(10, 10, [](int, int) { return 0; });
    win::RECT area = MakeRect(0, 0, 10, 10);
    DrawPicture(pic.get(), fcpmZoom, static_cast<cl::TColor>(0x1FFFFFFF), target->GetCanvas(), area, area, area, false);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(Index(target.get(), x, 5), x < 3 ? 10 : x < 8 ? 20 : 30) << x;
    EXPECT_EQ(PictureModeName(fcpmCenterStretch), "Center stretch");
    EXPECT_EQ(PictureModeFromName("Zoom"), fcpmZoom);
    EXPECT_EQ(PictureModeFromName("zoom"), fcpmCenter);
}

TEST_F(BmpMaskTest, ClippingKeepsTiledAndZoomedDrawingsInsideTheClipRectangle) {
    auto tile = GreyMask(4, 4, [](int, int) { return 77; });
    for (TFCPictureMode mode : {fcpmTile, fcpmZoom, fcpmStretch}) {
        auto target = GreyMask(12, 12, [](int, int) { return 0; });
        win::RECT area = MakeRect(0, 0, 12, 12);
        DrawPicture(tile.get(), mode, static_cast<cl::TColor>(0x1FFFFFFF), target->GetCanvas(), area, area,
                    MakeRect(2, 3, 8, 9), true);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x) {
                bool inside = x >= 2 && x < 8 && y >= 3 && y < 9;
                // Stretching is never clipped.
                int want = inside || mode == fcpmStretch ? 77 : 0;
                ASSERT_EQ(Index(target.get(), x, y), want) << int(mode) << " at " << x << "," << y;
            }
        // The clipping is restored afterwards.
        target->GetCanvas()->GetBrush()->SetColor(static_cast<cl::TColor>(0x02000000 | 0x050505));
        target->GetCanvas()->FillRect(MakeRect(0, 0, 1, 1));
        EXPECT_EQ(Index(target.get(), 0, 0), 5);
    }
}
