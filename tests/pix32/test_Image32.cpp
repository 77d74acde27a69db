// Picture controls: the bitmap's size and place by scale mode and alignment, the cache and the
// bitmap-to-control mapping, update counting, paint stages over invalid rectangles, painting
// into a handed device context, and layers' mouse routing through the control.
#include <gtest/gtest.h>

#include <vector>

#include "classlib/SysUtils.h"
#include "pix32/Pix32_Image.h"
#include "pix32/Pix32_MicroTiles.h"
#include "platform/user_testhooks.h"
#include "test_MicroTiles_Rect.h"
#include "test_RangeBars_fixture.h"

namespace pix32 {
namespace {

class ImageTest : public testing::ControlTest {
protected:
    TImage32* MakeImage(int w, int h) {
        auto* img = new TImage32(form);
        img->SetParent(form);
        img->SetBounds(0, 0, w, h);
        return img;
    }
};

TEST_F(ImageTest, DefaultsAndStages) {
    TImage32* img = MakeImage(100, 100);
    EXPECT_EQ(rmFull, img->RepaintMode());
    EXPECT_FALSE(img->RepaintOptimizer()->Enabled());
    EXPECT_EQ(1.0f, img->Scale());
    ASSERT_EQ(5, img->PaintStages()->Count());
    const uint32_t kinds[] = {psClearBackground, psControlFrame, psDrawBitmap, psBitmapFrame, psDrawLayers};
    const bool run[] = {true, false, true, false, true};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kinds[i], img->PaintStages()->Items(i)->Kind) << i;
        EXPECT_TRUE(img->PaintStages()->Items(i)->DesignTime) << i;
        EXPECT_EQ(run[i], img->PaintStages()->Items(i)->RunTime) << i;
    }
    EXPECT_EQ(loVisible, img->PaintStages()->Items(4)->Parameter);
    EXPECT_THROW(img->PaintStages()->Items(5), cl::EListError);
    auto* box = new TPaintBox32(form);
    EXPECT_EQ(192, box->GetWidth());
    EXPECT_EQ(192, box->GetHeight());
}

TEST_F(ImageTest, BitmapPlacementTable) {
    struct Case {
        const char* name;
        int cw, ch, bw, bh;
        TScaleMode mode;
        TBitmapAlign align;
        float scale;
        win::RECT expected;
    };
    const Case cases[] = {
        {"resize, centred", 800, 500, 1600, 1200, smResize, baCenter, 1, {66, 0, 733, 500}},
        {"resize, top left", 800, 500, 1600, 1200, smResize, baTopLeft, 1, {0, 0, 667, 500}},
        {"resize enlarges", 400, 300, 200, 100, smResize, baCenter, 1, {0, 50, 400, 250}},
        {"optimal fits at natural size", 2000, 1500, 1600, 1200, smOptimal, baCenter, 1, {200, 150, 1800, 1350}},
        {"optimal reduces", 800, 600, 1600, 1200, smOptimal, baTopLeft, 1, {0, 0, 800, 600}},
        {"normal", 300, 300, 100, 50, smNormal, baCenter, 1, {100, 125, 200, 175}},
        {"stretch", 300, 200, 100, 50, smStretch, baTopLeft, 1, {0, 0, 300, 200}},
        {"scale", 300, 300, 100, 50, smScale, baTopLeft, 2.5f, {0, 0, 250, 125}},
        {"optimal scaled fits", 300, 300, 100, 50, smOptimalScaled, baTopLeft, 2, {0, 0, 200, 100}},
        {"optimal scaled reduces", 300, 300, 100, 50, smOptimalScaled, baTopLeft, 4, {0, 0, 300, 150}},
        {"tile is not moved", 300, 300, 100, 50, smNormal, baTile, 1, {0, 0, 100, 50}},
    };
    for (const Case& c : cases) {
        TImage32* img = MakeImage(c.cw, c.ch);
        img->SetScaleMode(c.mode);
        img->SetBitmapAlign(c.align);
        img->SetScale(c.scale);
        img->Bitmap()->SetSize(c.bw, c.bh);
        EXPECT_EQ(c.expected, img->GetBitmapRect()) << c.name;
        delete img;
    }
}

TEST_F(ImageTest, CustomAlignmentUsesTheOffsets) {
    TImage32* img = MakeImage(300, 300);
    img->Bitmap()->SetSize(100, 50);
    img->SetBitmapAlign(baCustom);
    img->SetOffsetHorz(10.5f);  // rounded to even
    img->SetOffsetVert(-20.4f);
    EXPECT_EQ((win::RECT{10, -20, 110, 30}), img->GetBitmapRect());
}

TEST_F(ImageTest, CacheAndBitmapToControl) {
    TImage32* img = MakeImage(800, 500);
    img->SetScaleMode(smResize);
    img->SetBitmapAlign(baCenter);
    img->Bitmap()->SetSize(1600, 1200);
    EXPECT_EQ((win::POINT{66, 0}), img->BitmapToControl(win::POINT{0, 0}));
    EXPECT_TRUE(img->CacheValid());
    EXPECT_EQ((win::RECT{66, 0, 733, 500}), img->CachedBitmapRect());
    EXPECT_EQ(win::MulDiv(667, 65536, 1600), img->CachedScaleX());
    EXPECT_EQ(win::MulDiv(1600, 65536, 667), img->CachedRecScaleX());
    const win::POINT br = img->BitmapToControl(win::POINT{1600, 1200});
    EXPECT_LE(std::abs(br.x - 733), 1);
    EXPECT_LE(std::abs(br.y - 500), 1);
    // (800 x 27306) div 65536 + 66, truncating toward zero also for negative points.
    EXPECT_EQ((800 * img->CachedScaleX()) / 65536 + 66, img->BitmapToControl(win::POINT{800, 0}).x);
    EXPECT_EQ((-50 * img->CachedScaleX()) / 65536 + 66, img->BitmapToControl(win::POINT{-50, 0}).x);
    img->SetBitmapAlign(baTopLeft);
    EXPECT_FALSE(img->CacheValid());
    EXPECT_EQ((win::POINT{0, 0}), img->BitmapToControl(win::POINT{0, 0}));
}

TEST_F(ImageTest, EmptyBitmapAndZeroSizedControl) {
    TImage32* img = MakeImage(200, 100);
    EXPECT_EQ((win::RECT{0, 0, 0, 0}), img->GetBitmapRect());
    EXPECT_EQ((win::POINT{37, -5}), img->BitmapToControl(win::POINT{37, -5}));
    TBitmap32 dest;
    dest.SetSize(20, 10);
    dest.ClearToColor(0xFF123456u);
    img->SetColor(cl::clRed);
    img->PaintTo(&dest, win::RECT{0, 0, 20, 10});  // the background stage clears everything
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(0xFFFF0000u, dest.Pixel(x, y));

    img->Bitmap()->SetSize(10, 10);
    img->SetBounds(0, 0, 0, 0);
    EXPECT_EQ((win::RECT{0, 0, 0, 0}), img->GetBitmapRect());
    img->UpdateCache();
    EXPECT_EQ(65536, img->CachedScaleX());
    EXPECT_EQ(65536, img->CachedRecScaleY());
    EXPECT_EQ(1, img->Buffer()->Width());  // a zero-sized viewport keeps a 1 x 1 buffer
    EXPECT_EQ(1, img->Buffer()->Height());
}

TEST_F(ImageTest, UpdateCountingScaleAndBitmapResizeEvents) {
    TImage32* img = MakeImage(100, 100);
    int changes = 0, resizes = 0, scales = 0;
    img->OnChange = [&](cl::TObject*) { ++changes; };
    img->OnBitmapResize = [&](cl::TObject*) { ++resizes; };
    img->OnScaleChange = [&](cl::TObject*) { ++scales; };
    img->Bitmap()->SetSize(10, 10);
    EXPECT_EQ(0, resizes);  // not between BeginUpdate and EndUpdate
    EXPECT_EQ(1, changes);  // the bitmap's change repaints the control
    img->BeginUpdate();
    img->Bitmap()->SetSize(20, 10);
    EXPECT_EQ(1, resizes);
    EXPECT_EQ(1, changes);  // Changed does nothing while updating
    img->EndUpdate();
    EXPECT_EQ(1, changes);  // and EndUpdate fires nothing
    EXPECT_THROW(img->EndUpdate(), cl::EAssertionFailed);
    EXPECT_EQ(-1, img->UpdateCount());
    img->BeginUpdate();

    img->SetScale(0);
    EXPECT_FLOAT_EQ(0.001f, img->Scale());
    EXPECT_EQ(1, scales);
    img->SetScale(0.001f);
    EXPECT_EQ(1, scales);
    img->SetScale(2);
    EXPECT_EQ(2, scales);
    EXPECT_EQ(2.0f, img->ScaleY());
}

TEST_F(ImageTest, AutoSizeFollowsTheBitmap) {
    TImage32* img = MakeImage(100, 100);
    img->SetAutoSize(true);
    img->SetScaleMode(smScale);
    img->SetScale(1.5f);
    img->Bitmap()->SetSize(40, 30);
    EXPECT_EQ(60, img->GetWidth());
    EXPECT_EQ(45, img->GetHeight());
}

// Paints the control into a new 32-bit DIB of its size through `paint`, prefilled with `fill`.
std::vector<uint32_t> PaintInto(cl::TControl* c, uint32_t fill, const std::function<void(win::HDC)>& paint) {
    const int w = c->GetWidth(), h = c->GetHeight();
    win::BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    win::HBITMAP bmp = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, &bits, nullptr, 0);
    win::HDC dc = win::CreateCompatibleDC(nullptr);
    win::HGDIOBJ old = win::SelectObject(dc, bmp);
    auto* px = static_cast<uint32_t*>(bits);
    std::fill(px, px + w * h, fill);
    paint(dc);
    std::vector<uint32_t> out(px, px + w * h);
    for (auto& p : out) p &= 0xFFFFFF;
    win::SelectObject(dc, old);
    win::DeleteDC(dc);
    win::DeleteObject(bmp);
    return out;
}

std::vector<uint32_t> ScreenOf(cl::TControl* c) {
    const win::test::Screen s = win::test::ScreenComposite();
    const win::POINT o = c->GetClientOrigin();
    std::vector<uint32_t> out;
    for (int y = 0; y < c->GetHeight(); ++y)
        for (int x = 0; x < c->GetWidth(); ++x) out.push_back(s.At(o.x + x, o.y + y) & 0xFFFFFF);
    return out;
}

class ImgViewScreenTest : public testing::ControlTest {
protected:
    // A view filling a 400 x 300 form, as the player sets it up.
    TImgView32* MakeView() {
        form->SetBounds(0, 0, 400, 300);
        auto* v = new TImgView32(form);
        v->SetParent(form);
        v->SetAlign(cl::alClient);
        v->SetColor(cl::clBlack);
        v->ScrollBars()->SetVisibility(svHidden);
        v->SetBitmapAlign(baCenter);
        v->SetScaleMode(smResize);
        v->Bitmap()->SetResamplerClassName("TLinearResampler");
        return v;
    }
};

TEST_F(ImgViewScreenTest, PictureCentredAndFittedOnTheScreen) {
    TImgView32* v = MakeView();
    ASSERT_EQ("TLinearResampler", v->Bitmap()->ResamplerClassName());
    TBitmap32 pic;
    pic.SetSize(200, 100);
    pic.FillRect(0, 0, 100, 100, 0xFF0000FFu);    // blue left half
    pic.FillRect(100, 0, 200, 100, 0xFF00FF00u);  // green right half
    v->SetBitmap(&pic);
    form->Show();
    RunFor(50);
    EXPECT_EQ(400, v->GetWidth());
    EXPECT_EQ((win::RECT{0, 50, 400, 250}), v->CachedBitmapRect());
    const std::vector<uint32_t> s = ScreenOf(v);
    auto at = [&](int x, int y) { return s[static_cast<size_t>(y) * 400 + x]; };
    for (int x = 0; x < 400; x += 7) {
        EXPECT_EQ(0u, at(x, 0)) << x;
        EXPECT_EQ(0u, at(x, 49)) << x;
        EXPECT_EQ(0u, at(x, 250)) << x;
        EXPECT_EQ(0u, at(x, 299)) << x;
    }
    for (int y = 52; y < 248; y += 5) {
        EXPECT_EQ(0x0000FFu, at(2, y)) << y;
        EXPECT_EQ(0x0000FFu, at(190, y)) << y;
        EXPECT_EQ(0x00FF00u, at(210, y)) << y;
        EXPECT_EQ(0x00FF00u, at(397, y)) << y;
    }
    // Between the halves the linear resampler mixes the two colours.
    EXPECT_NE(0x0000FFu, at(200, 150));
    EXPECT_NE(0x00FF00u, at(199, 150));
}

TEST_F(ImgViewScreenTest, PaintingIntoAHandedDCGivesTheScreensPixels) {
    TImgView32* v = MakeView();
    TBitmap32 pic;
    pic.SetSize(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) pic.SetPixel(x, y, Color32(x * 4, y * 5, (x + y) * 2));
    v->SetBitmap(&pic);
    form->Show();
    RunFor(50);
    const std::vector<uint32_t> screen = ScreenOf(v);
    const win::HWND h = v->GetHandle();
    const auto byPaint = PaintInto(
        v, 0x00ABCDEF, [&](win::HDC dc) { win::SendMessageA(h, win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), 0); });
    EXPECT_EQ(screen, byPaint);
    const auto byPrint = PaintInto(v, 0x00ABCDEF, [&](win::HDC dc) {
        win::SendMessageA(h, win::WM_PRINT, reinterpret_cast<win::WPARAM>(dc), win::PRF_CLIENT | win::PRF_ERASEBKGND);
    });
    EXPECT_EQ(screen, byPrint);
    const auto byRedirect = PaintInto(v, 0x00ABCDEF, [&](win::HDC dc) {
        win::PushDCRedirect(h, dc);
        v->Invalidate();
        win::UpdateWindow(h);
        win::PopDCRedirect();
    });
    EXPECT_EQ(screen, byRedirect);
    // The buffer is rebuilt when the picture changes, and every road sees the new look.
    pic.ClearToColor(0xFFFFFFFFu);
    v->SetBitmap(&pic);
    const auto rebuilt = PaintInto(
        v, 0, [&](win::HDC dc) { win::SendMessageA(h, win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), 0); });
    RunFor(50);
    EXPECT_EQ(ScreenOf(v), rebuilt);
    EXPECT_EQ(0xFFFFFFu, rebuilt[150 * 400 + 200]);
}

TEST_F(ImageTest, StagesRunOncePerInvalidRectangleAndOnlyThoseAreCopied) {
    TImage32* img = MakeImage(100, 80);
    img->Bitmap()->SetSize(100, 80);
    img->Bitmap()->ClearToColor(0xFF00FF00u);
    img->PaintStages()->Add()->Kind = psCustom;
    std::vector<win::RECT> clips;
    img->OnPaintStage = [&](cl::TObject*, TBitmap32* Dest, uint32_t StageNum) {
        EXPECT_EQ(5u, StageNum);
        clips.push_back(Dest->ClipRect());
    };
    form->Show();
    RunFor(50);
    ASSERT_EQ(1u, clips.size());  // the first paint covers the viewport
    EXPECT_EQ((win::RECT{0, 0, 100, 80}), clips[0]);
    clips.clear();
    img->Bitmap()->ClearToColor(0xFFFF0000u);  // repaints... but only two rectangles are asked for
    img->InvalidRects()->Add(win::RECT{10, 10, 20, 20});
    img->InvalidRects()->Add(win::RECT{50, 40, 60, 70});
    const auto px = PaintInto(img, 0x00ABCDEF, [&](win::HDC dc) {
        win::SendMessageA(img->GetHandle(), win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), 0);
    });
    ASSERT_EQ(2u, clips.size());
    EXPECT_EQ((win::RECT{10, 10, 20, 20}), clips[0]);
    EXPECT_EQ((win::RECT{50, 40, 60, 70}), clips[1]);
    EXPECT_EQ(0xFF0000u, px[15 * 100 + 15]);
    EXPECT_EQ(0xFF0000u, px[69 * 100 + 59]);
    EXPECT_EQ(0xABCDEFu, px[5 * 100 + 5]);  // outside the rectangles nothing was copied
    EXPECT_EQ(0xABCDEFu, px[30 * 100 + 30]);
    EXPECT_EQ(0, img->InvalidRects()->Count());
}

TEST_F(ImageTest, LayersGetTheMouseThroughTheControl) {
    TImage32* img = MakeImage(200, 100);
    class Box : public TCustomLayer {
    public:
        explicit Box(TLayerCollection* c) : TCustomLayer(c) {}

    protected:
        bool DoHitTest(int32_t X, int32_t) override { return X >= 100; }
    };
    auto* layer = img->Layers()->Add<Box>();
    layer->SetLayerOptions(loVisible | loMouseEvents);
    int pressed = 0;
    layer->OnMouseDown = [&](cl::TObject*, cl::TMouseButton, cl::TShiftState, int, int) { ++pressed; };
    std::vector<TCustomLayer*> seen;
    img->OnMouseDown = [&](cl::TObject*, cl::TMouseButton, cl::TShiftState, int32_t, int32_t, TCustomLayer* l) {
        seen.push_back(l);
    };
    form->Show();
    RunFor(20);
    MoveTo(img, 150, 50);
    Press(true);
    Press(false);
    MoveTo(img, 50, 50);
    Press(true);
    Press(false);
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(layer, seen[0]);
    EXPECT_EQ(nullptr, seen[1]);
    EXPECT_EQ(1, pressed);
    EXPECT_EQ(nullptr, img->Layers()->MouseListener());
}

TEST_F(ImageTest, TiledBitmapFillsTheWholeDestination) {
    TImage32* img = MakeImage(100, 60);
    img->SetBitmapAlign(baTile);
    img->SetColor(cl::clRed);
    TBitmap32* b = img->Bitmap();
    b->SetSize(30, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) b->SetPixel(x, y, Color32(x * 8, y * 12, 7));
    TBitmap32 dest;
    dest.SetSize(100, 60);
    dest.ClearToColor(0xFF123456u);
    img->PaintTo(&dest, win::RECT{0, 0, 30, 20});
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(b->Pixel(x % 30, y % 20), dest.Pixel(x, y)) << x << "," << y;
}

TEST_F(ImageTest, BackgroundAroundThePicture) {
    TImage32* img = MakeImage(60, 40);
    img->SetBitmapAlign(baCenter);
    img->SetColor(cl::clBlue);
    img->Bitmap()->SetSize(20, 10);
    img->Bitmap()->ClearToColor(0xFF00FF00u);
    TBitmap32 dest;
    dest.SetSize(60, 40);
    dest.ClearToColor(0xFF123456u);
    img->PaintTo(&dest, win::RECT{20, 15, 40, 25});
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool inside = x >= 20 && x < 40 && y >= 15 && y < 25;
            ASSERT_EQ(inside ? 0xFF00FF00u : 0xFF0000FFu, dest.Pixel(x, y)) << x << "," << y;
        }
    // A blended picture is drawn over a buffer cleared as a whole.
    img->Bitmap()->ClearToColor(0x00000000u);  // fully transparent
    img->Bitmap()->SetDrawMode(dmBlend);
    dest.ClearToColor(0xFF123456u);
    img->PaintTo(&dest, win::RECT{20, 15, 40, 25});
    EXPECT_EQ(0xFF0000FFu, dest.Pixel(30, 20));
    EXPECT_EQ(0xFF0000FFu, dest.Pixel(0, 0));
}

TEST_F(ImageTest, DirectModeRepaintsTheReportedAreaAtOnce) {
    TImage32* img = MakeImage(100, 80);
    img->Bitmap()->SetSize(100, 80);
    img->Bitmap()->ClearToColor(0xFF0000FFu);
    img->SetRepaintMode(rmDirect);
    EXPECT_FALSE(img->RepaintOptimizer()->Enabled());
    form->Show();
    RunFor(50);
    int changes = 0;
    img->OnChange = [&](cl::TObject*) { ++changes; };
    img->Bitmap()->FillRect(10, 10, 20, 20, 0xFFFF0000u);  // reports its area once
    EXPECT_EQ(1, changes);
    // Repainted at once, without running the message loop.
    const win::test::Screen s = win::test::ScreenComposite();
    const win::POINT o = img->GetClientOrigin();
    EXPECT_EQ(0xFF0000u, s.At(o.x + 15, o.y + 15) & 0xFFFFFF);
    EXPECT_EQ(0x0000FFu, s.At(o.x + 50, o.y + 50) & 0xFFFFFF);
    // Between BeginUpdate and EndUpdate nothing is repainted or reported.
    img->BeginUpdate();
    img->Bitmap()->FillRect(30, 30, 40, 40, 0xFFFF0000u);
    EXPECT_EQ(1, changes);
    img->EndUpdate();
}

TEST_F(ImageTest, OptionsMouseEnterAndLeave) {
    TImage32* img = MakeImage(100, 80);
    form->Show();
    RunFor(20);
    EXPECT_EQ(0, img->Perform(win::WM_GETDLGCODE) & win::DLGC_WANTARROWS);
    img->SetOptions(pbWantArrowKeys);
    EXPECT_EQ(win::DLGC_WANTARROWS, img->Perform(win::WM_GETDLGCODE) & win::DLGC_WANTARROWS);
    int enters = 0, leaves = 0;
    img->OnMouseEnter = [&](cl::TObject*) { ++enters; };
    img->OnMouseLeave = [&](cl::TObject*) { ++leaves; };
    img->Perform(cl::CM_MOUSEENTER);
    EXPECT_TRUE(img->MouseInControl());
    img->Perform(cl::CM_MOUSELEAVE);
    EXPECT_FALSE(img->MouseInControl());
    EXPECT_EQ(1, enters);
    EXPECT_EQ(1, leaves);
}

TEST_F(ImageTest, CreatedFromAFormTableByName) {
    cl::TFormTable table;
    table.Components.push_back(cl::TFormComponent{"TImgView32",
                                                  "Image",
                                                  "",
                                                  {{"Align", "alClient"},
                                                   {"BitmapAlign", "baCenter"},
                                                   {"ScaleMode", "smResize"},
                                                   {"Scale", "1"},
                                                   {"OverSize", 0},
                                                   {"Bitmap.ResamplerClassName", "TLinearResampler"},
                                                   {"ScrollBars.ShowHandleGrip", true},
                                                   {"ScrollBars.Style", "rbsDefault"},
                                                   {"ScrollBars.Visibility", "svHidden"}},
                                                  nullptr});
    cl::TComponent* made = nullptr;
    StartupPix32Image();  // the program's start-up registers the classes before forms are built
    const cl::TClass* cls = cl::GetClass("TImgView32");
    ASSERT_NE(nullptr, cls);
    made = cls->Create(form);
    auto* v = static_cast<TImgView32*>(made);
    v->SetParent(form);
    for (const cl::TFormProp& p : table.Components[0].Props) cl::SetPropertyText(v, p.Name, p.Value, form);
    EXPECT_EQ(baCenter, v->BitmapAlign());
    EXPECT_EQ(smResize, v->ScaleMode());
    EXPECT_EQ(svHidden, v->ScrollBars()->Visibility());
    EXPECT_EQ("TLinearResampler", v->Bitmap()->ResamplerClassName());
    EXPECT_FALSE(v->HScroll()->GetVisible());
}

}  // namespace
}  // namespace pix32
