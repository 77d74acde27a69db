// Drawing helpers on the headless screen's bitmaps (with the fixed-metric test font: 7 x 13
// per character): bevels, hint boxes and what they save, the darkened band, shadows,
// textures, the device-independent bitmap calls, the palette dialog and the view
// parameter objects.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_draw.h"
#include "platform/user_testhooks.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

class DrawTest : public ControlsTest {
protected:
    // A 24-bit bitmap of one grey.
    static std::unique_ptr<cl::TBitmap> Grey(int w, int h, uint8_t v) {
        auto b = std::make_unique<cl::TBitmap>();
        b->SetPixelFormat(cl::pf24bit);
        b->SetSize(w, h);
        for (int y = 0; y < h; ++y) std::memset(b->ScanLine(y), v, static_cast<size_t>(w) * 3);
        return b;
    }
    // 0xRRGGBB of a bitmap pixel.
    static uint32_t Px(cl::TBitmap& b, int x, int y) {
        const auto* p = static_cast<const uint8_t*>(b.ScanLine(y)) + 3 * x;
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
    static uint32_t Gray(uint8_t v) { return v * 0x010101u; }
};

TEST_F(DrawTest, BevelLightAboveLeftDarkBelowRight) {
    auto b = Grey(20, 20, 128);
    IEDrawBevel(b->GetCanvas(), 2, 3, 12, 15, cl::clWhite, cl::clBlack);
    b->GetCanvas()->GetHandle();
    EXPECT_EQ(Px(*b, 2, 9), 0xFFFFFFu);   // left
    EXPECT_EQ(Px(*b, 7, 3), 0xFFFFFFu);   // top
    EXPECT_EQ(Px(*b, 7, 15), 0x000000u);  // bottom
    EXPECT_EQ(Px(*b, 12, 9), 0x000000u);  // right
    EXPECT_EQ(Px(*b, 7, 9), Gray(128));   // inside
    EXPECT_EQ(Px(*b, 13, 9), Gray(128));  // outside
}

TEST_F(DrawTest, HintStaysInsideAndSavesWhatItCovers) {
    auto b = Grey(100, 60, 50);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) static_cast<uint8_t*>(b->ScanLine(y))[3 * x] = static_cast<uint8_t>(x + y);
    const auto before = [&] {
        std::vector<uint32_t> v;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 100; ++x) v.push_back(Px(*b, x, y));
        return v;
    }();
    cl::TBrush brush;
    brush.SetColor(cl::clRed);
    cl::TFont font;
    std::unique_ptr<cl::TBitmap> saved;
    int32_t x = 500, y = -7;
    IEDrawHint(b->GetCanvas(), x, y, cl::clBlack, cl::clWhite, 60, 100, saved, &brush, &font, "abc");
    // W = 3 x 7 + 12 = 33, H = 13 + 12 = 25: the right edge one pixel inside the width.
    EXPECT_EQ(x, 100 - 33 - 1);
    EXPECT_EQ(y, 0);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->GetWidth(), 33);
    EXPECT_EQ(saved->GetHeight(), 25);
    EXPECT_EQ(saved->GetPixelFormat(), cl::pf24bit);
    for (int j = 0; j < 25; ++j)
        for (int i = 0; i < 33; ++i)
            ASSERT_EQ(Px(*saved, i, j), before[static_cast<size_t>(j * 100 + x + i)]) << i << "," << j;
    b->GetCanvas()->GetHandle();
    EXPECT_EQ(Px(*b, x + 7, y + 22), 0xFF0000u);                                          // the box, below the text
    EXPECT_EQ(Px(*b, x + 6, y + 12), 0xFFFFFFu);                                          // its light left edge
    EXPECT_EQ(Px(*b, x + 32, y + 12), 0x000000u);                                         // its dark right edge
    EXPECT_EQ(Px(*b, x + 2, y + 2), before[static_cast<size_t>((y + 2) * 100 + x + 2)]);  // the offset corner
}

TEST_F(DrawTest, AlphaHintIsHalfTransparentLightYellow) {
    auto b = Grey(120, 60, 255);
    int32_t x = -4, y = 3;
    IEDrawAlphaHint(b->GetCanvas(), x, y, "wider template", "ab");
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 3);
    b->GetCanvas()->GetHandle();
    // W = 14 x 7 + 12 = 110; a pixel of the box away from the text and the bevel:
    // blue (0x60 x 128 + 255 x 127) / 255 = 175 over white.
    EXPECT_EQ(Px(*b, 100, y + 12), 0xFFFFAFu);
    EXPECT_EQ(Px(*b, 111, y + 12), 0xFFFFFFu);  // beyond it
    EXPECT_EQ(Px(*b, 6, y + 12), 0xFFFFFFu);    // white left edge
    EXPECT_EQ(Px(*b, 50, y + 24), 0x808080u);   // grey bottom edge
}

TEST_F(DrawTest, DarkenedBandBetweenTheRectangles) {
    auto b = Grey(30, 30, 255);
    IEDarkenOutsideRect(b->GetCanvas(), cl::Rect(0, 0, 20, 20), cl::Rect(5, 5, 15, 15));
    b->GetCanvas()->GetHandle();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool band = x < 20 && y < 20 && !(x >= 5 && x < 15 && y >= 5 && y < 15);
            ASSERT_EQ(Px(*b, x, y), band ? Gray(105) : Gray(255)) << x << "," << y;  // 255 x 105 / 255
        }
    IEDarkenOutsideRect(b->GetCanvas(), cl::Rect(0, 0, 30, 30), cl::Rect(5, 5, 5, 15));  // empty inner
    EXPECT_EQ(Px(*b, 25, 25), Gray(255));
}

TEST_F(DrawTest, LogFontStyles) {
    struct Case {
        int weight;
        uint8_t italic, underline, strike;
        cl::TFontStyles want;
    } cases[] = {
        {400, 0, 0, 0, 0},
        {699, 0, 0, 0, 0},
        {700, 0, 0, 0, cl::FontStyleBit(cl::fsBold)},
        {900, 1, 1, 1,
         static_cast<cl::TFontStyles>(cl::FontStyleBit(cl::fsBold) | cl::FontStyleBit(cl::fsItalic) |
                                      cl::FontStyleBit(cl::fsUnderline) | cl::FontStyleBit(cl::fsStrikeOut))},
        {0, 0, 1, 0, cl::FontStyleBit(cl::fsUnderline)},
    };
    for (const auto& c : cases) {
        win::LOGFONTA lf;
        lf.lfWeight = c.weight;
        lf.lfItalic = c.italic;
        lf.lfUnderline = c.underline;
        lf.lfStrikeOut = c.strike;
        EXPECT_EQ(IELogFontToStyles(&lf), c.want) << c.weight;
    }
    EXPECT_EQ(IELogFontToStyles(nullptr), 0);
}

TEST_F(DrawTest, VerticalShadowStyles) {
    // Style 2 over grey 200: column k darkened by exp(-0.1 - ((W - k) / (W / 3))^2 / 6).
    auto b = Grey(40, 40, 200);
    IEDrawShadowVert(b->GetCanvas(), b.get(), 10, 5, 15, 30, 2);  // W = 6
    for (int k = 0; k < 6; ++k) {
        const double t = (6 - k) / 2.0;
        const auto want = static_cast<uint8_t>(200 * std::exp(-0.1 - t * t / 6));
        EXPECT_EQ(Px(*b, 10 + k, 20), Gray(want)) << k;
    }
    EXPECT_EQ(Px(*b, 10, 5 + 6 - 1), Gray(200));  // above the strip's start
    EXPECT_EQ(Px(*b, 10, 5 + 6), Gray(static_cast<uint8_t>(200 * std::exp(-1.6))));
    EXPECT_EQ(Px(*b, 10, 30 - 6 + 3), Gray(static_cast<uint8_t>(200 * std::exp(-1.6))));  // column 0 ends here
    EXPECT_EQ(Px(*b, 10, 30 - 6 + 4), Gray(200));
    EXPECT_EQ(Px(*b, 16, 20), Gray(200));
    // The same through the canvas alone.
    auto c = Grey(40, 40, 200);
    IEDrawShadowVert(c->GetCanvas(), nullptr, 10, 5, 15, 30, 2);
    c->GetCanvas()->GetHandle();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(Px(*c, x, y), Px(*b, x, y)) << x << "," << y;
    // Style 3: the gradient, brightest at the strip's top and outer side.
    auto g = Grey(40, 40, 0);
    IEDrawShadowVert(g->GetCanvas(), g.get(), 10, 0, 14, 29, 3);  // W = 5, H = 30
    EXPECT_EQ(Px(*g, 10, 0), Gray(255));
    EXPECT_EQ(Px(*g, 10, 20), Gray(93));  // max(255/e = 93, 255/e^2 = 34)
    EXPECT_EQ(Px(*g, 14, 20), Gray(static_cast<uint8_t>(std::exp(4.0 / 5) / std::exp(1.0) * 255)));
    // Style 1: the brush.
    auto f = Grey(40, 40, 0);
    f->GetCanvas()->GetBrush()->SetColor(cl::clRed);
    IEDrawShadowVert(f->GetCanvas(), f.get(), 10, 0, 14, 29, 1);
    f->GetCanvas()->GetHandle();
    EXPECT_EQ(Px(*f, 10, 5), 0xFF0000u);
    EXPECT_EQ(Px(*f, 10, 4), 0u);
}

TEST_F(DrawTest, HorizontalShadowExchangesRowsAndColumns) {
    auto b = Grey(40, 40, 200);
    IEDrawShadowHorz(b->GetCanvas(), b.get(), 5, 10, 30, 15, 2);  // H = 6
    for (int k = 0; k < 6; ++k) {
        const double t = (6 - k) / 2.0;
        EXPECT_EQ(Px(*b, 20, 10 + k), Gray(static_cast<uint8_t>(200 * std::exp(-0.1 - t * t / 6)))) << k;
    }
    EXPECT_EQ(Px(*b, 10, 10), Gray(200));  // left of the strip's start (5 + 6)
    EXPECT_NE(Px(*b, 11, 10), Gray(200));
    // Degenerate strips draw nothing.
    auto c = Grey(10, 10, 200);
    IEDrawShadowHorz(c->GetCanvas(), c.get(), 5, 10, 30, 9, 2);
    IEDrawShadowVert(c->GetCanvas(), c.get(), 5, 0, 4, 9, 2);
    IEDrawShadowVert(c->GetCanvas(), c.get(), INT32_MIN, 0, INT32_MAX, 9, 2);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(Px(*c, x, y), Gray(200));
}

TEST_F(DrawTest, SoftShadowFallsRightAndDown) {
    auto b = Grey(60, 60, 200);
    IEDrawSoftShadow(b.get(), 20, 20, 40, 40);
    long above = 0, below = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const uint32_t p = Px(*b, x, y);
            const bool inside = x >= 20 && x < 40 && y >= 20 && y < 40;
            const bool far = x < 15 || y < 15 || x > 45 || y > 45;
            if (inside || far) {
                ASSERT_EQ(p, Gray(200)) << x << "," << y;
            }
        }
    for (int i = 15; i < 20; ++i) above += 200 - static_cast<long>(Px(*b, 30, i) & 0xFF);
    for (int i = 40; i < 45; ++i) below += 200 - static_cast<long>(Px(*b, 30, i) & 0xFF);
    EXPECT_GT(below, above);
    // A rectangle far larger than the bitmap covers all of it: nothing changes, and the
    // work follows the bitmap's size.
    auto c = Grey(30, 30, 200);
    IEDrawSoftShadow(c.get(), -1000000000, -1000000000, 1000000000, 1000000000);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(Px(*c, x, y), Gray(200));
}

TEST_F(DrawTest, GaussianCurveAndTextures) {
    std::vector<double> v;
    IEGaussianCurve(4, 130, 255, v, 0.5);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_DOUBLE_EQ(*std::max_element(v.begin(), v.end()), 255);
    EXPECT_DOUBLE_EQ(v[2], 255);  // t = 0
    EXPECT_DOUBLE_EQ(v[1], v[3]);
    EXPECT_LT(v[0], v[1]);
    IEGaussianCurve(0, 0, 1, v, 1);
    EXPECT_TRUE(v.empty());

    cl::TBitmap stripes;
    IEDrawStripesBackground(&stripes, 7, 9);
    EXPECT_EQ(stripes.GetWidth(), 7);
    EXPECT_EQ(stripes.GetHeight(), 9);
    EXPECT_EQ(stripes.GetPixelFormat(), cl::pf24bit);
    EXPECT_EQ(Px(stripes, 3, 2), Gray(255));
    for (int y = 0; y + 4 < 9; ++y) EXPECT_EQ(Px(stripes, 0, y), Px(stripes, 6, y + 4));
    EXPECT_NE(Px(stripes, 0, 0), Px(stripes, 0, 2));

    cl::TBitmap a, b;
    cl::SetRandSeed(1234);
    IEDrawNoiseBackground(&a, 300, 40);
    cl::SetRandSeed(1234);
    IEDrawNoiseBackground(&b, 300, 40);
    bool varies = false;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) {
            const uint32_t p = Px(a, x, y);
            ASSERT_EQ(p, Px(b, x, y));
            ASSERT_GE(p & 0xFF, 160u);
            ASSERT_LE(p & 0xFF, 218u);
            if (x == 150 && p != Px(a, 150, 0)) varies = true;
        }
    EXPECT_TRUE(varies);  // the offsets change between rows
}

TEST_F(DrawTest, DrawDibDrawsTheBitsStretched) {
    auto b = Grey(10, 10, 0);
    win::BITMAPINFOHEADER h;
    h.biSize = sizeof h;
    h.biWidth = 2;
    h.biHeight = 1;  // bottom-up, one row
    h.biPlanes = 1;
    h.biBitCount = 24;
    const uint8_t bits[8] = {0, 0, 255, 255, 0, 0, 0, 0};  // red, blue
    HDRAWDIB dd = IEDrawDibOpen();
    ASSERT_NE(dd, nullptr);
    EXPECT_EQ(IEDrawDibRealize(dd, b->GetCanvas()->GetHandle(), false), 0u);
    EXPECT_TRUE(IEDrawDibDraw(dd, b->GetCanvas()->GetHandle(), 2, 2, 4, 2, &h, bits, 0, 0, 2, 1, 0));
    EXPECT_FALSE(IEDrawDibDraw(nullptr, b->GetCanvas()->GetHandle(), 0, 0, 1, 1, &h, bits, 0, 0, 1, 1, 0));
    EXPECT_TRUE(IEDrawDibClose(dd));
    EXPECT_EQ(Px(*b, 2, 2), 0xFF0000u);
    EXPECT_EQ(Px(*b, 5, 3), 0x0000FFu);
    EXPECT_EQ(Px(*b, 6, 3), 0u);
}

TEST_F(DrawTest, ViewParameterDefaults) {
    TIEScrollBarParams s;
    EXPECT_EQ(s.LineStep, -1);
    EXPECT_EQ(s.PageStep, -1);
    EXPECT_TRUE(s.Tracking);
    TIEMouseWheelParams m;
    EXPECT_FALSE(m.InvertWheel);
    EXPECT_EQ(m.Action, 2);
    EXPECT_EQ(m.Variation, 1);
    EXPECT_EQ(m.Value, 8);
    EXPECT_EQ(m.ZoomPosition, 0);
}

// ---------------------------------------------------------------------------------------
// The palette dialog

class PaletteDialogTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        for (int i = 0; i < 256; ++i)
            palette[i] =
                CreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i ^ 0x55));
        dlg = cl::NewForm<TVovozIdPaletteDialog>(cl::Application);
    }
    void TearDown() override {
        delete dlg;
        DrawTest::TearDown();
    }
    uint32_t CellCentre(int i) {
        const cl::TRect r = TVovozIdPaletteDialog::CellRect(i);
        const win::POINT p = ScreenPoint(dlg, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        return cl::testing_controls::At(p.x, p.y);
    }
    uint32_t CellBorder(int i) {
        const cl::TRect r = TVovozIdPaletteDialog::CellRect(i);
        const win::POINT p = ScreenPoint(dlg, r.left, (r.top + r.bottom) / 2);
        return cl::testing_controls::At(p.x, p.y);
    }
    void PointAt(int x, int y) {
        const win::POINT p = ScreenPoint(dlg, x, y);
        win::test::MouseMove(p.x, p.y);
        cl::Application->ProcessMessages();
    }
    static uint32_t Rgb(const TRGB& c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }
    TRGB palette[256];
    TVovozIdPaletteDialog* dlg = nullptr;
};

TEST_F(PaletteDialogTest, FormAsMade) {
    EXPECT_EQ(dlg->GetCaption(), "Palette");
    EXPECT_EQ(dlg->GetWidth(), 520);
    EXPECT_EQ(dlg->GetHeight(), 199);
    EXPECT_EQ(dlg->GetBorderStyle(), cl::bsDialog);
    EXPECT_EQ(dlg->GetBorderIcons(), cl::BorderIconBit(cl::biSystemMenu));
    EXPECT_EQ(dlg->Position, cl::poScreenCenter);
    EXPECT_EQ(dlg->Selected, -1);
    ASSERT_NE(dlg->CancelButton(), nullptr);
    EXPECT_EQ(dlg->CancelButton()->GetCaption(), "&Cancel");
    EXPECT_TRUE(dlg->CancelButton()->Cancel);
    EXPECT_EQ(dlg->CancelButton()->ModalResult, cl::mrCancel);
    EXPECT_EQ(dlg->CancelButton()->GetLeft(), 4);
    EXPECT_EQ(dlg->CancelButton()->GetTop(), 136);
}

TEST_F(PaletteDialogTest, CellsShowThePaletteAndFollowThePointer) {
    dlg->SetPalette(palette, 256);
    dlg->Show();
    cl::Application->ProcessMessages();
    // Eight rows of 32 cells, each in its entry's colour with a white frame.
    for (int i : {0, 1, 31, 32, 100, 255}) {
        EXPECT_EQ(CellCentre(i), Rgb(palette[i])) << i;
        EXPECT_EQ(CellBorder(i), 0xFFFFFFu) << i;
    }
    PointAt(16 * 5 + 8, 16 * 2 + 8);  // column 5, row 2
    EXPECT_EQ(dlg->Selected, 69);
    EXPECT_EQ(CellBorder(69), 0x000000u);
    PointAt(16 * 3 + 8, 16 * 8 + 4);  // below the last row: nothing
    EXPECT_EQ(dlg->Selected, 69);
    PointAt(16 * 32 + 3, 8);  // right of the last column: not the next row's first cell
    EXPECT_EQ(dlg->Selected, 69);
    EXPECT_EQ(dlg->CellAt(0, 5), -1);
    EXPECT_EQ(dlg->CellAt(1, 1), 0);
    EXPECT_EQ(dlg->CellAt(16 * 32, 1), 31);
    EXPECT_EQ(dlg->CellAt(16 * 32 + 1, 1), -1);
    // Fewer entries: the cells after the last are not there.
    dlg->SetPalette(palette, 40);
    EXPECT_EQ(dlg->CellAt(16 * 8 + 8, 16 + 8), -1);  // entry 40
    EXPECT_EQ(dlg->CellAt(16 * 7 + 8, 16 + 8), 39);
    dlg->SetPalette(palette, 100000);  // at most 256
    EXPECT_EQ(dlg->CellAt(16 * 31 + 8, 16 * 7 + 8), 255);
    EXPECT_EQ(dlg->CellAt(16 * 31 + 8, 16 * 8 + 8), -1);
}

TEST_F(PaletteDialogTest, AClickOnACellChoosesItsColour) {
    dlg->SetPalette(palette, 256);
    const int64_t at = win::ClockNowTicks() / win::kTicksPerMs;
    win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
    // The form is centred on the 640 x 480 screen; its client origin is found once shown.
    dlg->OnShow = [&](cl::TObject*) {
        const cl::TRect r = TVovozIdPaletteDialog::CellRect(37);
        const win::POINT p = ScreenPoint(dlg, r.left + 5, r.top + 5);
        std::string s = std::to_string(at + 200) + " move " + std::to_string(p.x) + " " + std::to_string(p.y) + ";" +
                        std::to_string(at + 300) + " click " + std::to_string(p.x) + " " + std::to_string(p.y);
        ASSERT_TRUE(win::test::SetInputScript(s));
    };
    EXPECT_TRUE(dlg->Execute());
    EXPECT_EQ(dlg->Selected, 37);
    EXPECT_EQ(dlg->Color, static_cast<cl::TColor>(palette[37].r | (palette[37].g << 8) | (palette[37].b << 16)));
    win::ClockSetHorizon(win::kNoDeadline);
}

TEST_F(PaletteDialogTest, ClickBesideTheCellsOrOnCancelChoosesNothing) {
    dlg->SetPalette(palette, 256);
    const int64_t at = win::ClockNowTicks() / win::kTicksPerMs;
    win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
    dlg->OnShow = [&](cl::TObject*) {
        const win::POINT cell = ScreenPoint(dlg, 16 * 3 + 8, 8);
        const win::POINT blank = ScreenPoint(dlg, 300, 150);
        const win::POINT cancel = ScreenPoint(dlg, 4 + 10, 136 + 10);
        auto line = [](int64_t t, const char* what, win::POINT p) {
            return std::to_string(t) + " " + what + " " + std::to_string(p.x) + " " + std::to_string(p.y) + ";";
        };
        ASSERT_TRUE(win::test::SetInputScript(line(at + 100, "move", cell) + line(at + 200, "move", blank) +
                                              line(at + 300, "click", blank) + line(at + 400, "click", cancel)));
    };
    EXPECT_FALSE(dlg->Execute());
    EXPECT_EQ(dlg->ModalResult, cl::mrCancel);
    EXPECT_EQ(dlg->Selected, 3);  // highlighted on the way, never chosen
    EXPECT_EQ(dlg->Color, cl::clBlack);
    win::ClockSetHorizon(win::kNoDeadline);
}

}  // namespace
}  // namespace ie
