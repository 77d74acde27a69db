// Rendering controls into bitmaps, the paint registry, the paint-query messages and the
// device-context redirection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/user_testhooks.h"
#include "te_screen_forms.h"
#include "transitions/teRender.h"
#include "transitions/teRender_internal.h"
#include "transitions/teVclScr.h"

using namespace te;
using namespace tetest;

namespace {

// A control that states its paint wishes through the query messages and records the paint
// requests it gets with a device context.
class TQueryControl : public TColorControl {
    CL_DECLARE_COMPONENT(TQueryControl, TColorControl)
public:
    explicit TQueryControl(cl::TComponent* AOwner) : TColorControl(AOwner) {}
    intptr_t ClientAnswer = 0, FrameAnswer = 0, WholeAnswer = 0;
    std::vector<std::string> Calls;

    void WndProc(cl::TMessage& M) override {
        bool query = M.Msg >= CM_TEPAINTCLIENT && M.Msg <= CM_TEPAINTWHOLE;
        if (query && M.WParam == 0) {
            M.Result = M.Msg == CM_TEPAINTCLIENT ? ClientAnswer : M.Msg == CM_TEPAINTFRAME ? FrameAnswer : WholeAnswer;
            return;
        }
        if (query) {
            EXPECT_EQ(M.LParam, TEPaintRequest);
            Calls.push_back(std::to_string(M.Msg));
            auto dc = reinterpret_cast<win::HDC>(M.WParam);
            win::HBRUSH b = win::CreateSolidBrush(static_cast<win::COLORREF>(cl::clFuchsia));
            win::RECT r = M.Msg == CM_TEPAINTWHOLE ? GetClientRect() : cl::Rect(0, 0, 4, 4);
            win::FillRect(dc, &r, b);
            win::DeleteObject(b);
            M.Result = 0;
            return;
        }
        if (M.Msg == win::WM_PAINT && M.WParam) Calls.push_back("paint");
        if (M.Msg == win::WM_ERASEBKGND && M.WParam) Calls.push_back("erase");
        TColorControl::WndProc(M);
    }
};

// A control that ignores the device context it is handed and paints through its own.
class TOwnDCControl : public cl::TCustomControl {
    CL_DECLARE_COMPONENT(TOwnDCControl, cl::TCustomControl)
public:
    explicit TOwnDCControl(cl::TComponent* AOwner) : cl::TCustomControl(AOwner) {}
    int Released = -1;
    bool ScreenRedirected = false;

protected:
    void Paint() override {
        win::HDC dc = win::GetDC(GetHandle());
        win::HBRUSH b = win::CreateSolidBrush(static_cast<win::COLORREF>(cl::clTeal));
        win::RECT r = GetClientRect();
        win::FillRect(dc, &r, b);
        win::DeleteObject(b);
        win::HDC screen = win::GetDC(nullptr);
        ScreenRedirected = DCRedirectionCount() > 0 && screen == DCRedirectionTargetDC();
        win::ReleaseDC(nullptr, screen);
        Released = win::ReleaseDC(GetHandle(), dc);
    }
};

// Classes named like the registry's entries.
class TCustomListBox : public cl::TWinControl {
    CL_DECLARE_CLASS(TCustomListBox, cl::TWinControl)
public:
    explicit TCustomListBox(cl::TComponent* o) : cl::TWinControl(o) {}
};
class TCheckListBox : public TCustomListBox {
    CL_DECLARE_CLASS(TCheckListBox, TCustomListBox)
public:
    explicit TCheckListBox(cl::TComponent* o) : TCustomListBox(o) {}
};
class TPrintingControl : public TColorControl {
    CL_DECLARE_COMPONENT(TPrintingControl, TColorControl)
public:
    explicit TPrintingControl(cl::TComponent* o) : TColorControl(o) {}
};

class RenderTest : public ScreenFixture {
protected:
    // The on-screen composite of a window's client area.
    std::vector<uint32_t> Composite(cl::TWinControl* c) {
        win::POINT o = c->GetClientOrigin();
        auto s = win::test::ScreenComposite();
        std::vector<uint32_t> out;
        for (int y = 0; y < c->GetClientHeight(); ++y)
            for (int x = 0; x < c->GetClientWidth(); ++x) out.push_back(s.At(o.x + x, o.y + y));
        return out;
    }
    static std::vector<uint32_t> Pixels(cl::TBitmap* b) { return ScreenPixels(b); }
    std::unique_ptr<cl::TBitmap> Render(cl::TWinControl* c, win::HWND exclude = nullptr) {
        return std::unique_ptr<cl::TBitmap>(RenderControlToBitmap(
            c, exclude, MakeRect(0, 0, c->GetClientWidth(), c->GetClientHeight()), cl::pf32bit, false, false, true));
    }
};

}  // namespace

TEST_F(RenderTest, AControlTreeRenderedIntoABitmapEqualsItsOnScreenComposite) {
    auto* a = new TColorControl(pic);
    a->Fill = cl::clBlue;
    a->SetParent(pic);
    a->SetBounds(10, 30, 40, 40);
    auto* b = new TColorControl(pic);  // partly outside the parent's client area
    b->Fill = cl::clAqua;
    b->SetParent(pic);
    b->SetBounds(90, 70, 60, 60);
    auto* hidden = new TColorControl(pic);
    hidden->Fill = cl::clWhite;
    hidden->SetParent(pic);
    hidden->SetBounds(60, 10, 30, 30);
    hidden->Hide();
    auto* g = new TColorGraphic(pic);
    g->SetParent(pic);
    g->SetBounds(60, 50, 20, 15);
    auto* grand = new TColorControl(a);
    grand->Fill = cl::clOlive;
    grand->Mark = cl::clNavy;
    grand->SetParent(a);
    grand->SetBounds(20, 20, 30, 30);
    Pump();
    form->Repaint();
    Pump();
    std::vector<uint32_t> screen = Composite(pic);
    ASSERT_EQ(screen[static_cast<size_t>(45 * 120 + 25)], ScreenColor(cl::clBlue));
    auto bmp = Render(pic);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->GetWidth(), 120);
    EXPECT_EQ(bmp->GetHeight(), 100);
    EXPECT_EQ(Pixels(bmp.get()), screen);
    EXPECT_EQ(DCRedirectionCount(), 0);
}

TEST_F(RenderTest, ACoveredControlRendersCompletely) {
    std::vector<uint32_t> before = Composite(pic);
    cover = cl::NewForm<cl::TForm>(nullptr);
    cover->SetBorderStyle(cl::bsNone);
    cover->SetColor(cl::clPurple);
    cover->SetBounds(PicX(30), PicY(30), 200, 200);
    cover->Show();
    Pump();
    ASSERT_NE(Composite(pic), before);
    auto bmp = Render(pic);
    EXPECT_EQ(Pixels(bmp.get()), before);
}

TEST_F(RenderTest, ThePartOfARectangleAndTheRenderWindowLeftOut) {
    auto bmp = std::unique_ptr<cl::TBitmap>(
        RenderControlToBitmap(pic, nullptr, MakeRect(4, 4, 16, 10), cl::pf24bit, false, false, true));
    ASSERT_EQ(bmp->GetWidth(), 12);
    EXPECT_EQ(bmp->GetPixelFormat(), cl::pf24bit);
    EXPECT_EQ(bmp->GetCanvas()->Pixels(0, 0), cl::clRed);     // client (4, 4)
    EXPECT_EQ(bmp->GetCanvas()->Pixels(1, 1), cl::clYellow);  // client (5, 5)
    // A render window over the control is not painted into the picture.
    TTestEffect e(nullptr);
    e.Info = tetiNeedSrcBmp | tetiNeedDstBmp;
    ASSERT_TRUE(e.Prepare(pic, MakeRect(0, 0, 120, 100)));
    TTERenderWindow* rw = e.GetDevice()->RenderWindow;
    rw->GetCanvas()->GetBrush()->SetColor(cl::clWhite);
    rw->GetCanvas()->FillRect(cl::Rect(0, 0, 120, 100));
    auto with = Render(pic, rw->GetHandle());
    EXPECT_EQ(with->GetCanvas()->Pixels(50, 50), cl::clRed);
    auto without = Render(pic);  // excluded by its class name as well
    EXPECT_EQ(without->GetCanvas()->Pixels(50, 50), cl::clRed);
    e.UnPrepare();
    EXPECT_EQ(
        RenderControlToBitmap(new TColorGraphic(form), nullptr, MakeRect(0, 0, 4, 4), cl::pf32bit, false, false, true),
        nullptr)
        << "a non-windowed control gives no bitmap";
}

TEST_F(RenderTest, DoubleBufferedControlsArePaintedWithItOff) {
    pic->DoubleBuffered = true;
    auto bmp = Render(pic);
    EXPECT_TRUE(pic->DoubleBuffered);
    EXPECT_EQ(bmp->GetCanvas()->Pixels(50, 50), cl::clRed);
}

TEST_F(RenderTest, AControlPaintingThroughItsOwnDCPaintsIntoTheBitmap) {
    auto* own = new TOwnDCControl(form);
    own->SetParent(form);
    own->SetBounds(150, 10, 40, 40);
    Pump();
    auto bmp = Render(own);
    EXPECT_EQ(bmp->GetCanvas()->Pixels(20, 20), cl::clTeal);
    EXPECT_EQ(own->Released, 1) << "releasing the redirected DC releases nothing";
    EXPECT_FALSE(own->ScreenRedirected) << "GetDC(0) is never redirected";
    EXPECT_EQ(DCRedirectionCount(), 0);
    EXPECT_EQ(DCRedirectionTargetDC(), nullptr);
}

TEST_F(RenderTest, RedirectionNestsAndOnlyTheOutermostEndClearsIt) {
    cl::TBitmap a, b;
    a.SetSize(4, 4);
    b.SetSize(4, 4);
    win::HWND h = pic->GetHandle();
    BeginDCRedirection(a.GetCanvas()->GetHandle(), h, false);
    EXPECT_EQ(win::GetDC(h), a.GetCanvas()->GetHandle());
    BeginDCRedirection(b.GetCanvas()->GetHandle(), h, false);
    EXPECT_EQ(DCRedirectionCount(), 2);
    EXPECT_EQ(win::GetDC(h), b.GetCanvas()->GetHandle());
    EXPECT_EQ(win::GetWindowDC(h), b.GetCanvas()->GetHandle());
    EXPECT_NE(win::GetDC(nullptr), b.GetCanvas()->GetHandle());
    EndDCRedirection(false);
    EXPECT_EQ(DCRedirectionCount(), 1);
    EXPECT_NE(DCRedirectionTargetDC(), nullptr);
    EndDCRedirection(false);
    EXPECT_EQ(DCRedirectionCount(), 0);
    win::HDC real = win::GetDC(h);
    EXPECT_NE(real, a.GetCanvas()->GetHandle());
    win::ReleaseDC(h, real);
    EndDCRedirection(false);  // unbalanced: ignored
    EXPECT_EQ(DCRedirectionCount(), 0);
}

TEST_F(RenderTest, QueryAnswersBecomeFlags) {
    struct Case {
        intptr_t whole, frame, client;
        uint32_t flags;
        // clang-format off
    } cases[] = {
        {16802, 16801, 16801, 0x180001},  {0, 16801, 0, 0x201},         {0, 16802, 0, 0x401},
        {0, 16803, 0, 0x801},             {0, 0, 16801, 0x10100000},    {0, 0, 16802, 0x20100000},
        {0, 0, 16803, 0x40100000},        {0, 16802, 16803, 0x40100401}, {16801, 7, 0, 0},
    };
    // clang-format on
    auto* q = new TQueryControl(form);
    q->SetParent(form);
    q->SetBounds(150, 10, 40, 40);
    for (const Case& c : cases) {
        q->WholeAnswer = c.whole;
        q->FrameAnswer = c.frame;
        q->ClientAnswer = c.client;
        EXPECT_EQ(QueryPaintMessages(q->GetHandle()), c.flags) << c.whole << " " << c.frame << " " << c.client;
    }
}

TEST_F(RenderTest, PaintQueryMessagesDecideHowAWindowIsPainted) {
    struct Case {
        intptr_t whole, client;
        std::vector<std::string> calls;
        cl::TColor at0, at20;
    } cases[] = {
        {16802, 0, {"48204"}, cl::clFuchsia, cl::clFuchsia},
        {0, 16803, {"erase", "paint", "48202"}, cl::clFuchsia, cl::clRed},
        {0, 16801, {"48202", "erase", "paint"}, cl::clRed, cl::clRed},
        {0, 16802, {"48202"}, cl::clFuchsia, cl::clBlack},
        {0, 0, {"erase", "paint"}, cl::clRed, cl::clRed},
    };
    for (const Case& c : cases) {
        auto* q = new TQueryControl(form);
        q->SetParent(form);
        q->SetBounds(150, 10, 40, 40);
        q->WholeAnswer = c.whole;
        q->ClientAnswer = c.client;
        Pump();
        q->Calls.clear();
        cl::TBitmap bmp;
        InitSolidBitmap(&bmp, 40, 40, nullptr, cl::pf32bit, cl::clBlack);
        RenderWindowToBitmap(&bmp, q->GetHandle(), nullptr, cl::pf32bit, false, false, true, true,
                             MakeRect(0, 0, 40, 40), q);
        EXPECT_EQ(q->Calls, c.calls) << c.whole << " " << c.client;
        EXPECT_EQ(bmp.GetCanvas()->Pixels(0, 0), c.at0) << c.whole << " " << c.client;
        EXPECT_EQ(bmp.GetCanvas()->Pixels(20, 20), c.at20) << c.whole << " " << c.client;
        delete q;
    }
}

TEST_F(RenderTest, RegistrationFlagWords) {
    struct Case {
        uint32_t frame, client;
        bool refresh, redraw;
        uint32_t flags;
        // clang-format off
    } cases[] = {
        {2, 1, false, false, 0x1100009},          {2, 2, false, true, 0x900009 | 0x200000},
        {0x80000000u, 0x40000003, true, true, 0x82300002}, {0x10000003, 2, false, false, 0x900021},
        {5, 5, false, false, 0x8500105},          {4, 4, false, false, 0x4100041},
        {0x20000001, 0x20000001, false, false, 0x1500015}, {0x40000000, 0x80000000u, false, false, 0x1001},
        {1, 0x40000001, true, false, 0x81100013},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(PaintFlagsOf(c.frame, c.client, c.refresh, c.redraw), c.flags)
            << std::hex << c.frame << " " << c.client;
}

TEST_F(RenderTest, TheLatestRegistrationIsExaminedFirstAndReRegistrationStaysInPlace) {
    TTERegControl entry;
    RegControls()->Lookup(&TCheckListBox::StaticClass(), entry);
    EXPECT_EQ(entry.Flags, 0x1 | 0x20 | 0x100000 | 0x800000 | 0x80000000u) << "TCheckListBox's own entry";
    entry.Clear();
    RegControls()->Lookup(&TCustomListBox::StaticClass(), entry);
    EXPECT_EQ(entry.Flags, 0x1u | 0x20 | 0x100000 | 0x800000);
    entry.Clear();
    RegControls()->Lookup(&cl::TStringList::StaticClass(), entry);
    EXPECT_EQ(entry.Flags, 0u);
    RegControls()->Lookup(nullptr, entry);
    EXPECT_EQ(entry.Flags, 0u);
    RegControls()->Lookup(&TColorControl::StaticClass(), entry);
    EXPECT_EQ(entry.Flags, 0x1100009u) << "every windowed control falls back to TControl";
    EXPECT_EQ(entry.ClientCallback, nullptr);
    int at = RegControls()->IndexOf("TCustomListBox");
    RegisterControlPaint("tcustomlistbox", 2, 1, false, false);
    EXPECT_EQ(RegControls()->IndexOf("TCustomListBox"), at);
    entry.Clear();
    RegControls()->Lookup(&TCustomListBox::StaticClass(), entry);
    EXPECT_EQ(entry.Flags, 0x1100009u);
    RegisterControlPaint("TCustomListBox", 0x10000003, 2, false, false);
    // The rich edit's client callback is chosen from the library version (no version here).
    EXPECT_EQ(RichEditMajorVersion(), 0);
    int re = RegControls()->IndexOf("TCustomRichEdit");
    ASSERT_GE(re, 0);
    auto* rich = static_cast<TTERegControl*>(RegControls()->Objects(re));
    EXPECT_EQ(rich->ClientCallback, &PaintRichEditOld);
    EXPECT_EQ(rich->FrameCallback, nullptr);
    EXPECT_EQ(rich->Flags & 0x80, 0u) << "themes are off";
}

TEST_F(RenderTest, AutomaticKindsFollowTheControlsMessageHandlers) {
    RegisterControlPaint("TPrintingControl", 0, 0, false, false);
    auto* p = new TPrintingControl(form);
    p->SetParent(form);
    TTERegControl entry;
    ResolveControlPaint(p->GetHandle(), p, entry);
    EXPECT_EQ(entry.Flags, 0x1u | 0x20 | 0x100000 | 0x1000000) << "no WM_PRINT handler: erase and paint";
    cl::RegisterMessageHandler(TPrintingControl::StaticClass(), win::WM_PRINT,
                               [](cl::TObject*, cl::TMessage& m) { m.Result = 0; });
    ResolveControlPaint(p->GetHandle(), p, entry);
    EXPECT_EQ(entry.Flags & 0xFFF00000u, 0x100000u | 0x800000) << "a WM_PRINT handler: print the client";
    EXPECT_EQ(entry.Flags & 0x1FFFu, 0x1u | 0x20) << "TWinControl handles WM_NCPAINT: the library draws the frame";
    // A window of no class-library control: print the frame, erase and paint the client.
    ResolveControlPaint(p->GetHandle(), nullptr, entry);
    EXPECT_EQ(entry.Flags, 0x1100009u);
}

TEST_F(RenderTest, PaintCopyModeTurnsIntoPaintingWhenFocused) {
    EXPECT_EQ(AdjustPaintFlags(pic, 0x8000000 | 0x100 | 0x101 | 0x100000) & (0x100 | 0x8000000), 0x100u | 0x8000000);
    pic->SetFocus();
    ASSERT_TRUE(pic->Focused());
    uint32_t f = AdjustPaintFlags(pic, 0x8000000 | 0x100 | 0x1 | 0x100000);
    EXPECT_EQ(f & (0x100 | 0x8000000), 0u);
    EXPECT_EQ(f & (0x800000 | 0x1000000), 0x800000u | 0x1000000);
}

TEST_F(RenderTest, RefreshAfterTransitionFollowsTheRegistry) {
    RegisterControlPaint("TPrintingControl", 2, 1, false, true);
    auto* p = new TPrintingControl(form);
    p->SetParent(form);
    p->SetBounds(150, 10, 40, 40);
    Pump();
    win::RECT r;
    ASSERT_FALSE(win::GetUpdateRect(p->GetHandle(), &r, win::FALSE));
    RefreshAfterTransition(form->GetHandle());
    EXPECT_TRUE(win::GetUpdateRect(p->GetHandle(), &r, win::FALSE)) << "redrawn after the transition";
    EXPECT_FALSE(win::GetUpdateRect(pic->GetHandle(), &r, win::FALSE)) << "TControl's entry asks for nothing";
    RegisterControlPaint("TPrintingControl", 0, 0, false, false);
}

TEST(RichEdit, TwipsAreComputedIn64Bits) {
    EXPECT_EQ(PixelsToTwips(9999999, 96), 149999985) << "1440 x 9999999 overflows 32 bits";
    EXPECT_EQ(PixelsToTwips(100, 96), 1500);
    EXPECT_EQ(PixelsToTwips(-10, 96), -150);
    EXPECT_EQ(PixelsToTwips(int64_t(1) << 40, 96), INT32_MAX);
    EXPECT_EQ(PixelsToTwips(100, 0), 1500) << "a device without resolution counts as 96";
}

TEST_F(RenderTest, AFramedWindowRendersWithItsFrame) {
    cover = cl::NewForm<cl::TForm>(nullptr);
    cover->SetBorderStyle(cl::bsSingle);
    cover->SetColor(cl::clSilver);
    cover->SetBounds(300, 200, 160, 120);
    auto* inner = new TColorControl(cover);
    inner->SetParent(cover);
    inner->SetBounds(10, 10, 50, 40);
    cover->Show();
    Pump();
    win::RECT wr;
    win::GetWindowRect(cover->GetHandle(), &wr);
    int w = wr.right - wr.left, h = wr.bottom - wr.top;
    auto bmp = std::unique_ptr<cl::TBitmap>(
        RenderControlToBitmap(cover, nullptr, MakeRect(0, 0, w, h), cl::pf32bit, false, false, false));
    auto s = win::test::ScreenComposite();
    int differ = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            differ += ScreenColor(bmp->GetCanvas()->Pixels(x, y)) != s.At(wr.left + x, wr.top + y);
    EXPECT_EQ(differ, 0);
    // In client coordinates the same window gives its client area without the frame.
    auto client = Render(cover);
    win::POINT o = cover->GetClientOrigin();
    EXPECT_EQ(client->GetWidth(), cover->GetClientWidth());
    EXPECT_EQ(ScreenColor(client->GetCanvas()->Pixels(15, 15)), s.At(o.x + 15, o.y + 15));
    EXPECT_EQ(client->GetCanvas()->Pixels(15, 15), cl::clYellow);
    EXPECT_EQ(client->GetCanvas()->Pixels(30, 30), cl::clRed);
    EXPECT_EQ(client->GetCanvas()->Pixels(1, 1), cl::clSilver);
}
