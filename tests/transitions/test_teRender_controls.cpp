// Controls rendered into bitmaps against their paint on the screen: frames drawn by the
// library (bevels, borders, the border of controls painting their own client edge, tool
// window edges), scroll bars of the flat scroll bar layer, OLE controls, page controls; and
// the screen device over a page of a page control.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../classlib/frame_settings.h"
#include "classlib/ComCtrls.h"
#include "classlib/OleCtrls.h"
#include "platform/user_testhooks.h"
#include "te_screen_forms.h"
#include "transitions/teRender.h"
#include "transitions/teVclScr.h"

using namespace te;
using namespace tetest;

namespace {

// A colour control with window styles of the test's choice.
class TFramedColorControl : public TColorControl {
    CL_DECLARE_COMPONENT(TFramedColorControl, TColorControl)
public:
    explicit TFramedColorControl(cl::TComponent* AOwner) : TColorControl(AOwner) {}
    win::DWORD ExtraStyle = 0, ExtraExStyle = 0;

protected:
    void CreateParams(cl::TCreateParams& Params) override {
        TColorControl::CreateParams(Params);
        Params.Style |= ExtraStyle;
        Params.ExStyle |= ExtraExStyle;
    }
};

// The same, with its frame drawn by the library (as edits and list boxes are).
class TLibraryFramedControl : public TFramedColorControl {
    CL_DECLARE_COMPONENT(TLibraryFramedControl, TFramedColorControl)
public:
    explicit TLibraryFramedControl(cl::TComponent* AOwner) : TFramedColorControl(AOwner) {}
};

// A scrolling window with both bars, painting a solid colour.
class TScrollingColorControl : public cl::TScrollingWinControl {
    CL_DECLARE_COMPONENT(TScrollingColorControl, cl::TScrollingWinControl)
public:
    explicit TScrollingColorControl(cl::TComponent* AOwner) : cl::TScrollingWinControl(AOwner) {}

protected:
    void CreateParams(cl::TCreateParams& Params) override {
        cl::TScrollingWinControl::CreateParams(Params);
        Params.Style |= win::WS_HSCROLL | win::WS_VSCROLL | win::WS_BORDER;
    }
};

// Draws its content as stripes of two colours.
class TStripes : public cl::IOleDrawObject {
public:
    bool Draw(uint32_t Aspect, win::HDC DC, const win::RECT& Bounds) override {
        if (Aspect != cl::DVASPECT_CONTENT) return false;
        for (int x = Bounds.left; x < Bounds.right; ++x) {
            win::RECT r{x, Bounds.top, x + 1, Bounds.bottom};
            win::HBRUSH b = win::CreateSolidBrush((x / 3) % 2 ? 0x00FF00 : 0xFF00FF);
            win::FillRect(DC, &r, b);
            win::DeleteObject(b);
        }
        return true;
    }
};

class RenderControlsTest : public ScreenFixture {
protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        RegisterControlPaint("TLibraryFramedControl", 3, 1, false, false);
        pic->Hide();  // room for the controls of the test
        Pump();
    }
    // The whole window (frame included) rendered, and as the screen shows it.
    static std::vector<uint32_t> RenderedWindow(cl::TWinControl* c) {
        win::RECT wr;
        win::GetWindowRect(c->GetHandle(), &wr);
        std::unique_ptr<cl::TBitmap> b(RenderControlToBitmap(
            c, nullptr, MakeRect(0, 0, wr.right - wr.left, wr.bottom - wr.top), cl::pf32bit, false, false, false));
        return ScreenPixels(b.get());
    }
    static std::vector<uint32_t> WindowOnScreen(cl::TWinControl* c) {
        win::RECT wr;
        win::GetWindowRect(c->GetHandle(), &wr);
        auto s = win::test::ScreenComposite();
        std::vector<uint32_t> out;
        for (int y = wr.top; y < wr.bottom; ++y)
            for (int x = wr.left; x < wr.right; ++x) out.push_back(s.At(x, y) & 0xFFFFFF);
        return out;
    }
    // The first differing pixel, for the failure message.
    static std::string FirstDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width) {
        if (a.size() != b.size()) return "sizes differ";
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i])
                return "at " + std::to_string(i % width) + "," + std::to_string(i / width) + ": " +
                       std::to_string(a[i]) + " vs " + std::to_string(b[i]);
        return "none";
    }
    static uint32_t Sys(int i) { return ScreenColor(static_cast<cl::TColor>(win::GetSysColor(i))); }
    // Where a window's pixel (x, y) lies in the list of WindowOnScreen.
    static uint32_t WindowPixel(cl::TWinControl* c, const std::vector<uint32_t>& px, int x, int y) {
        win::RECT wr;
        win::GetWindowRect(c->GetHandle(), &wr);
        return px[static_cast<size_t>(y * (wr.right - wr.left) + x)];
    }
};

}  // namespace

TEST_F(RenderControlsTest, BevelsBordersAndClientEdgesRenderAsTheScreenShowsThem) {
    struct Case {
        const char* what;
        bool libraryFrame;
        frametest::TFrameSettings frame;
        win::DWORD style, exStyle;
        bool ownBorder;
        uint32_t atOrigin;  // the window's pixel (0, 0) on the screen: the frame is there
    } cases[] = {
        {"tile bevel",
         true,
         {cl::bkTile, cl::bvRaised, cl::bvLowered, 1, 0, 0x0F, true},
         0,
         0,
         false,
         Sys(win::COLOR_BTNSHADOW)},
        {"soft bevel, wide, border, three sides",
         true,
         {cl::bkSoft, cl::bvLowered, cl::bvRaised, 2, 2, 0x0B, true},
         0,
         0,
         false,
         Sys(win::COLOR_BTNHIGHLIGHT)},
        {"flat bevel with both scroll bars",
         true,
         {cl::bkFlat, cl::bvRaised, cl::bvRaised, 1, 1, 0x0F, true},
         win::WS_VSCROLL | win::WS_HSCROLL,
         0,
         false,
         Sys(win::COLOR_BTNSHADOW)},
        {"mono bevel",
         true,
         {cl::bkTile, cl::bvNone, cl::bvLowered, 1, 0, 0x0F, false},
         0,
         0,
         false,
         Sys(win::COLOR_WINDOWFRAME)},
        {"border only",
         true,
         {cl::bkNone, cl::bvRaised, cl::bvLowered, 1, 4, 0x0F, true},
         0,
         0,
         false,
         ScreenColor(cl::clOlive)},
        {"own client edge",
         true,
         {cl::bkNone, cl::bvRaised, cl::bvLowered, 1, 0, 0x0F, true},
         0,
         win::WS_EX_CLIENTEDGE,
         true,
         Sys(win::COLOR_BTNSHADOW)},
        {"own client edge inside a bevel",
         true,
         {cl::bkTile, cl::bvRaised, cl::bvNone, 1, 1, 0x0F, true},
         0,
         win::WS_EX_CLIENTEDGE,
         true,
         Sys(win::COLOR_BTNSHADOW)},
        {"frame printed, bevel and border by the border's path",
         false,
         {cl::bkTile, cl::bvLowered, cl::bvRaised, 1, 2, 0x0F, true},
         win::WS_BORDER,
         0,
         false,
         Sys(win::COLOR_WINDOWFRAME)},
    };
    for (const Case& c : cases) {
        TFramedColorControl* w = c.libraryFrame ? new TLibraryFramedControl(form) : new TFramedColorControl(form);
        w->ExtraStyle = c.style;
        w->ExtraExStyle = c.exStyle;
        w->SetColor(cl::clOlive);  // the border's brush
        if (c.ownBorder) w->ControlStyle |= cl::csNeedsBorderPaint;
        w->SetBounds(145, 15, 50, 60);
        c.frame.ApplyTo(w);
        w->SetParent(form);
        Pump();
        const std::vector<uint32_t> screen = WindowOnScreen(w), rendered = RenderedWindow(w);
        EXPECT_EQ(WindowPixel(w, screen, 0, 0), c.atOrigin) << c.what;
        EXPECT_TRUE(rendered == screen) << c.what << ": first difference " << FirstDifference(rendered, screen, 50);
        EXPECT_EQ(DCRedirectionCount(), 0);
        delete w;
        Pump();
    }
}

TEST_F(RenderControlsTest, AToolWindowsEdgesRenderAsTheScreenShowsThem) {
    auto* tw = new cl::TToolWindow(form);
    tw->SetColor(cl::clTeal);
    tw->SetBounds(145, 15, 50, 60);
    tw->SetBorderWidth(2);
    tw->SetEdgeBorders((1u << cl::ebLeft) | (1u << cl::ebTop) | (1u << cl::ebBottom));
    tw->SetParent(form);
    auto* inside = new TColorControl(tw);
    inside->SetParent(tw);
    inside->SetBounds(3, 3, 20, 20);
    struct Style {
        cl::TEdgeStyle inner, outer;
        bool ctl3D;
        uint32_t atOrigin;
    } styles[] = {
        {cl::esRaised, cl::esLowered, true, Sys(win::COLOR_BTNSHADOW)},
        {cl::esNone, cl::esRaised, true, Sys(win::COLOR_3DLIGHT)},
        {cl::esLowered, cl::esLowered, false, Sys(win::COLOR_WINDOWFRAME)},
    };
    for (const Style& s : styles) {
        tw->SetEdgeInner(s.inner);
        tw->SetEdgeOuter(s.outer);
        if (tw->Ctl3D != s.ctl3D) {
            tw->Ctl3D = s.ctl3D;
            tw->RecreateWnd();
        }
        Pump();
        const std::vector<uint32_t> screen = WindowOnScreen(tw), rendered = RenderedWindow(tw);
        EXPECT_EQ(WindowPixel(tw, screen, 0, 0), s.atOrigin);
        EXPECT_EQ(WindowPixel(tw, screen, 49, 0), s.atOrigin) << "no right edge";
        EXPECT_TRUE(rendered == screen) << "first difference " << FirstDifference(rendered, screen, 50);
    }
}

TEST_F(RenderControlsTest, RegularScrollBarsComeBackFromTheFlatLayerToBePrinted) {
    auto* sc = new TScrollingColorControl(form);
    sc->SetColor(cl::clFuchsia);
    sc->SetBounds(145, 15, 50, 60);
    sc->SetParent(form);
    Pump();
    const win::HWND h = sc->GetHandle();
    int mode = -1;
    ASSERT_TRUE(win::FlatSB_GetScrollProp(h, win::WSB_PROP_VSTYLE, &mode));
    std::vector<uint32_t> screen = WindowOnScreen(sc);
    ASSERT_EQ(WindowPixel(sc, screen, 44, 4), Sys(win::COLOR_BTNFACE)) << "the vertical bar's up arrow on the screen";
    EXPECT_TRUE(RenderedWindow(sc) == screen) << "both bars regular: printed like plain bars";
    EXPECT_FALSE(win::FlatSB_GetScrollProp(h, win::WSB_PROP_VSTYLE, &mode)) << "given back to the window";

    // A flat bar stays with the flat layer, which keeps its bars out of the picture.
    sc->RecreateWnd();
    sc->GetVertScrollBar()->SetStyle(cl::ssFlat);
    Pump();
    const win::HWND h2 = sc->GetHandle();
    screen = WindowOnScreen(sc);
    std::vector<uint32_t> rendered = RenderedWindow(sc);
    ASSERT_TRUE(win::FlatSB_GetScrollProp(h2, win::WSB_PROP_VSTYLE, &mode));
    EXPECT_EQ(mode, win::FSB_FLAT_MODE);
    EXPECT_NE(WindowPixel(sc, rendered, 40, 10), WindowPixel(sc, screen, 40, 10));
    EXPECT_EQ(WindowPixel(sc, rendered, 0, 0), Sys(win::COLOR_WINDOWFRAME)) << "the rest of the frame is printed";

    // No visible bar: nothing to give back.
    sc->GetVertScrollBar()->SetStyle(cl::ssRegular);
    sc->GetHorzScrollBar()->SetVisible(false);
    sc->GetVertScrollBar()->SetVisible(false);
    Pump();
    RenderedWindow(sc);
    EXPECT_TRUE(win::FlatSB_GetScrollProp(sc->GetHandle(), win::WSB_PROP_VSTYLE, &mode));
}

TEST_F(RenderControlsTest, AnOleControlRendersItsObjectAndNotItsChildWindows) {
    auto* ole = new cl::TOleControl(form);
    ole->SetBounds(145, 15, 50, 60);
    ole->SetParent(form);
    ole->SetOleObject(std::make_shared<TStripes>());
    auto* child = new TColorControl(ole);
    child->SetParent(ole);
    child->SetBounds(10, 10, 20, 20);
    Pump();
    const std::vector<uint32_t> screen = WindowOnScreen(ole), rendered = RenderedWindow(ole);
    ASSERT_EQ(WindowPixel(ole, screen, 20, 25), ScreenColor(cl::clRed)) << "the child window on the screen";
    EXPECT_EQ(WindowPixel(ole, rendered, 20, 25), 0xFF00FFu) << "the object's content where the child lies";
    EXPECT_EQ(WindowPixel(ole, rendered, 4, 40), 0x00FF00u);
    int differ = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 50; ++x) {
            const bool overChild = x >= 10 && x < 30 && y >= 10 && y < 30;
            if (!overChild) differ += WindowPixel(ole, screen, x, y) != WindowPixel(ole, rendered, x, y);
        }
    EXPECT_EQ(differ, 0) << "beside the child the picture is the screen's";
}

TEST_F(RenderControlsTest, APageControlRendersAsTheScreenShowsIt) {
    auto* pc = new cl::TPageControl(form);
    pc->SetBounds(5, 5, 180, 130);
    pc->SetParent(form);
    for (const char* caption : {"Alpha", "Beta", "Gamma"}) {
        auto* s = new cl::TTabSheet(form);
        s->SetCaption(caption);
        s->SetPageControl(pc);
    }
    auto* inside = new TColorControl(form);
    inside->SetParent(pc->Pages(1));
    inside->SetBounds(10, 10, 40, 30);
    pc->SetActivePageIndex(1);
    pc->SetFocus();
    Pump();
    const std::vector<uint32_t> screen = WindowOnScreen(pc), rendered = RenderedWindow(pc);
    EXPECT_TRUE(rendered == screen) << "first difference " << FirstDifference(rendered, screen, 180);
    win::RECT d = pc->GetDisplayRect();
    EXPECT_EQ(WindowPixel(pc, rendered, d.left + 30, d.top + 30), ScreenColor(cl::clRed)) << "the active page's child";
}

TEST_F(RenderControlsTest, ThePageOfAPageControlIsAnimatedOverThePageControl) {
    auto* pc = new cl::TPageControl(form);
    pc->SetBounds(5, 5, 180, 130);
    pc->SetParent(form);
    auto* first = new cl::TTabSheet(form);
    first->SetColor(cl::clRed);
    first->SetPageControl(pc);
    auto* second = new cl::TTabSheet(form);
    second->SetColor(cl::clBlue);
    second->SetPageControl(pc);
    Pump();
    const win::RECT d = pc->GetDisplayRect();
    const win::POINT mid = pc->ClientToScreen(win::POINT{(d.left + d.right) / 2, (d.top + d.bottom) / 2});
    ASSERT_EQ(ScreenAt(mid.x, mid.y), ScreenColor(cl::clRed));
    TTestEffect e(nullptr);
    e.Info = tetiMillisecondsCapable | tetiNeedSrcBmp | tetiNeedDstBmp;
    e.FrameCount = 3;
    e.Milliseconds = 300;
    const int w = first->GetClientWidth(), h = first->GetClientHeight();
    ASSERT_TRUE(e.Prepare(first, MakeRect(0, 0, w, h)));
    TTEVCLScreenTrDevice* dev = e.GetDevice();
    EXPECT_EQ(dev->Control, pc) << "the page hands over to its page control";
    ASSERT_NE(dev->RenderWindow, nullptr);
    EXPECT_EQ(dev->RenderWindow->GetParent(), pc);
    EXPECT_EQ(dev->RenderWindow->GetBoundsRect().left, d.left);
    EXPECT_EQ(dev->RenderWindow->GetBoundsRect().top, d.top);
    EXPECT_EQ(dev->RenderWindow->GetWidth(), w);
    // The caller turns the page underneath: the old page stays frozen on the screen.
    pc->SetActivePage(second);
    Pump();
    EXPECT_EQ(ScreenAt(mid.x, mid.y), ScreenColor(cl::clRed));
    e.Execute();
    EXPECT_FALSE(TransitionPrepared());
    Pump();
    EXPECT_EQ(ScreenAt(mid.x, mid.y), ScreenColor(cl::clBlue));
    EXPECT_EQ(e.Log->frames.size(), 3u);
}

TEST_F(RenderControlsTest, ARedirectedEndPaintAnswersMinusOne) {
    cl::TBitmap b;
    b.SetSize(4, 4);
    const win::HWND h = pic->GetHandle();
    BeginDCRedirection(b.GetCanvas()->GetHandle(), h, false);
    win::PAINTSTRUCT ps;
    EXPECT_EQ(win::BeginPaint(h, &ps), b.GetCanvas()->GetHandle());
    EXPECT_EQ(ps.hdc, b.GetCanvas()->GetHandle());
    EXPECT_EQ(win::EndPaint(h, &ps), -1);
    EndDCRedirection(false);
    EXPECT_EQ(DCRedirectionCount(), 0);
}
