// The frame the class library draws around windowed controls (border, bevels, the border of
// controls that paint their own client edge), scroll bars handed to the flat scroll bar
// layer, and OLE controls showing their object.
#include <memory>
#include <string>
#include <vector>

#include "classlib/OleCtrls.h"
#include "frame_settings.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

using win::RECT;

// A windowed control whose window styles a test chooses.
class TStyledControl : public TWinControl {
    CL_DECLARE_COMPONENT(TStyledControl, TWinControl)
public:
    explicit TStyledControl(TComponent* AOwner) : TWinControl(AOwner) {}
    win::DWORD ExtraStyle = 0, ExtraExStyle = 0;

protected:
    void CreateParams(TCreateParams& Params) override {
        TWinControl::CreateParams(Params);
        Params.Style |= ExtraStyle;
        Params.ExStyle |= ExtraExStyle;
    }
};

class FrameTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = NewForm<TForm>(nullptr);
        form->SetBorderStyle(bsNone);
        form->SetBounds(0, 0, 300, 200);
        form->SetColor(clWhite);
        form->Show();
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    TStyledControl* Make(int x, int y, int w, int h) {
        auto* c = new TStyledControl(form);
        c->SetColor(clYellow);
        c->SetBounds(x, y, w, h);
        return c;
    }
    TForm* form = nullptr;
};

TEST_F(FrameTest, BorderAndBevelsLieInTheFrameAroundTheClientArea) {
    struct Case {
        const char* what;
        frametest::TFrameSettings frame;
        RECT client;                                          // in window coordinates
        std::vector<std::pair<win::POINT, uint32_t>> pixels;  // window coordinates
        // clang-format off
    } cases[] = {
        {"border only", {bkNone, bvRaised, bvLowered, 1, 3, 0x0F, true}, {3, 3, 57, 37},
         {{{0, 0}, Rgb(clYellow)}, {{2, 20}, Rgb(clYellow)}}},
        {"tile bevel", {bkTile, bvRaised, bvLowered, 1, 0, 0x0F, true}, {2, 2, 58, 38},
         {{{0, 0}, Sys(win::COLOR_BTNSHADOW)}, {{1, 1}, Sys(win::COLOR_BTNHIGHLIGHT)}, {{59, 39}, Sys(win::COLOR_BTNHIGHLIGHT)},
          {{58, 38}, Sys(win::COLOR_BTNSHADOW)}}},
        {"wide soft bevel and border, two sides", {bkSoft, bvNone, bvRaised, 3, 1, (1u << beLeft) | (1u << beBottom), true},
         {4, 1, 59, 36},
         {{{0, 10}, Sys(win::COLOR_BTNHIGHLIGHT)}, {{1, 10}, Rgb(clYellow)}, {{30, 39}, Sys(win::COLOR_3DDKSHADOW)},
          {{30, 0}, Rgb(clYellow)}, {{59, 20}, Rgb(clYellow)}}},
        {"flat", {bkFlat, bvLowered, bvLowered, 1, 0, 0x0F, true}, {2, 2, 58, 38},
         {{{0, 0}, Sys(win::COLOR_BTNSHADOW)}, {{59, 39}, Sys(win::COLOR_BTNSHADOW)}, {{1, 1}, Sys(win::COLOR_BTNFACE)}}},
        {"mono", {bkTile, bvNone, bvRaised, 1, 0, 0x0F, false}, {1, 1, 59, 39},
         {{{0, 0}, Sys(win::COLOR_WINDOWFRAME)}, {{59, 39}, Sys(win::COLOR_WINDOWFRAME)}}},
        {"space", {bkTile, bvSpace, bvNone, 2, 0, 0x0F, true}, {2, 2, 58, 38}, {{{0, 0}, Rgb(clYellow)}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        auto* w = Make(20, 30, 60, 40);
        c.frame.ApplyTo(w);
        w->SetParent(form);
        Application->ProcessMessages();
        EXPECT_EQ(w->GetClientWidth(), c.client.right - c.client.left) << c.what;
        EXPECT_EQ(w->GetClientHeight(), c.client.bottom - c.client.top) << c.what;
        win::POINT o = w->GetClientOrigin();
        EXPECT_EQ(o.x - 20, c.client.left) << c.what;
        EXPECT_EQ(o.y - 30, c.client.top) << c.what;
        for (const auto& [p, colour] : c.pixels)
            EXPECT_EQ(At(20 + p.x, 30 + p.y), colour) << c.what << " at " << p.x << "," << p.y;
        delete w;
    }
}

TEST_F(FrameTest, AControlWithoutAWindowKnowsItsClientSizeAndChildrenAlignInside) {
    auto* w = Make(10, 10, 100, 80);
    w->SetBorderWidth(5);
    w->SetBevelKind(bkTile);  // raised inner, lowered outer: two pixels a side
    EXPECT_FALSE(w->HandleAllocated());
    EXPECT_EQ(w->GetClientWidth(), 100 - 14);
    EXPECT_EQ(w->GetClientHeight(), 80 - 14);
    auto* child = new TStyledControl(form);
    child->SetAlign(alClient);
    child->SetParent(w);
    w->SetParent(form);
    Application->ProcessMessages();
    EXPECT_EQ(child->GetBoundsRect().left, 0);
    EXPECT_EQ(child->GetWidth(), 86);
    EXPECT_EQ(w->GetClientWidth(), 86);
    w->SetBorderWidth(0);
    EXPECT_EQ(w->GetClientWidth(), 96);
    EXPECT_EQ(child->GetWidth(), 96) << "the client grows and the aligned child with it";
    w->SetBorderWidth(-4);
    EXPECT_EQ(w->GetBorderWidth(), 0);
    w->SetBevelWidth(1 << 30);
    EXPECT_EQ(w->GetBevelWidth(), TWinControl::kMaxFrameWidth);
    EXPECT_EQ(w->GetClientWidth(), 0) << "a frame wider than the window leaves no client area";
}

TEST_F(FrameTest, AControlThatPaintsItsOwnBorderGetsTheSunkenClientEdge) {
    auto* plain = Make(20, 30, 40, 30);
    plain->ExtraExStyle = win::WS_EX_CLIENTEDGE;
    plain->SetParent(form);
    auto* own = Make(120, 30, 40, 30);
    own->ExtraExStyle = win::WS_EX_CLIENTEDGE;
    own->ControlStyle |= csNeedsBorderPaint;
    own->SetParent(form);
    Application->ProcessMessages();
    // The window layer's client edge is flat; the control's own is sunken.
    EXPECT_EQ(At(20, 30), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(59, 59), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(21, 31), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(120, 30), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(159, 59), Sys(win::COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(121, 31), Sys(win::COLOR_3DDKSHADOW));
    EXPECT_EQ(At(158, 58), Sys(win::COLOR_3DLIGHT));
    EXPECT_EQ(At(122, 32), Rgb(clYellow));
}

// ---------------------------------------------------------------- scroll bars

class TScroller : public TScrollingWinControl {
    CL_DECLARE_COMPONENT(TScroller, TScrollingWinControl)
public:
    explicit TScroller(TComponent* AOwner) : TScrollingWinControl(AOwner) {}

protected:
    void CreateParams(TCreateParams& Params) override {
        TScrollingWinControl::CreateParams(Params);
        Params.Style |= win::WS_VSCROLL;
    }
};

TEST_F(FrameTest, ScrollBarsBelongToTheFlatLayerInTheirStyle) {
    auto* s = new TScroller(form);
    s->SetBounds(20, 30, 80, 60);
    s->SetColor(clYellow);
    s->SetParent(form);
    Application->ProcessMessages();
    int mode = -1;
    ASSERT_TRUE(win::FlatSB_GetScrollProp(s->GetHandle(), win::WSB_PROP_VSTYLE, &mode)) << "handed over at creation";
    EXPECT_EQ(mode, win::FSB_REGULAR_MODE);
    EXPECT_TRUE(s->GetVertScrollBar()->IsScrollBarVisible());
    EXPECT_FALSE(s->GetHorzScrollBar()->IsScrollBarVisible()) << "the window has no horizontal bar";
    EXPECT_EQ(s->GetVertScrollBar()->GetKind(), sbVertical);
    EXPECT_EQ(s->GetClientWidth(), 80 - 17);
    EXPECT_EQ(At(20 + 70, 30 + 1), Sys(win::COLOR_SCROLLBAR));
    s->GetVertScrollBar()->SetStyle(ssFlat);
    Application->ProcessMessages();
    ASSERT_TRUE(win::FlatSB_GetScrollProp(s->GetHandle(), win::WSB_PROP_VSTYLE, &mode));
    EXPECT_EQ(mode, win::FSB_FLAT_MODE);
    EXPECT_EQ(At(20 + 63, 30 + 1), Sys(win::COLOR_BTNSHADOW)) << "a flat bar is framed";
    s->GetHorzScrollBar()->SetStyle(ssHotTrack);
    ASSERT_TRUE(win::FlatSB_GetScrollProp(s->GetHandle(), win::WSB_PROP_HSTYLE, &mode));
    EXPECT_EQ(mode, win::FSB_ENCARTA_MODE);
    // A bar that may not show is left out of the window, which keeps the styles.
    s->GetVertScrollBar()->SetVisible(false);
    Application->ProcessMessages();
    EXPECT_FALSE(s->GetVertScrollBar()->IsScrollBarVisible());
    EXPECT_EQ(s->GetClientWidth(), 80);
    ASSERT_TRUE(win::FlatSB_GetScrollProp(s->GetHandle(), win::WSB_PROP_VSTYLE, &mode));
    EXPECT_EQ(mode, win::FSB_FLAT_MODE);
    SetPropertyText(form, "VertScrollBar.Style", "ssFlat");
    EXPECT_EQ(form->GetVertScrollBar()->GetStyle(), ssFlat);
}

// ---------------------------------------------------------------- OLE controls

// Draws its content as a checkerboard of two colours; draws no other aspect.
class TChecker : public IOleDrawObject {
public:
    std::vector<uint32_t> aspects;
    bool Draw(uint32_t Aspect, win::HDC DC, const RECT& Bounds) override {
        aspects.push_back(Aspect);
        if (Aspect != DVASPECT_CONTENT) return false;
        win::HBRUSH a = win::CreateSolidBrush(0x0000FF), b = win::CreateSolidBrush(0xFF0000);
        for (int y = Bounds.top; y < Bounds.bottom; y += 5)
            for (int x = Bounds.left; x < Bounds.right; x += 5) {
                RECT r{x, y, std::min<int>(x + 5, Bounds.right), std::min<int>(y + 5, Bounds.bottom)};
                win::FillRect(DC, &r, ((x + y) / 5) % 2 ? b : a);
            }
        win::DeleteObject(a);
        win::DeleteObject(b);
        return true;
    }
};

TEST_F(FrameTest, AnOleControlShowsItsObjectsContent) {
    auto* ole = new TOleControl(form);
    ole->SetBounds(20, 30, 40, 30);
    ole->SetColor(clYellow);
    ole->SetParent(form);
    Application->ProcessMessages();
    EXPECT_EQ(At(25, 35), Rgb(clYellow)) << "without an object the background shows";
    auto checker = std::make_shared<TChecker>();
    ole->SetOleObject(checker);
    Application->ProcessMessages();
    EXPECT_EQ(ole->GetOleObject(), checker.get());
    EXPECT_EQ(At(20, 30), 0xFF0000u);
    EXPECT_EQ(At(25, 30), 0x0000FFu);
    EXPECT_EQ(At(59, 59), 0xFF0000u);
    EXPECT_FALSE(checker->aspects.empty());
    EXPECT_EQ(checker->aspects.back(), DVASPECT_CONTENT);
    // Drawing refuses what it cannot draw.
    win::HDC dc = win::GetDC(ole->GetHandle());
    RECT r{0, 0, 10, 10}, empty{5, 5, 5, 9};
    EXPECT_TRUE(OleDraw(checker.get(), DVASPECT_CONTENT, dc, r));
    EXPECT_FALSE(OleDraw(checker.get(), DVASPECT_ICON, dc, r));
    EXPECT_FALSE(OleDraw(nullptr, DVASPECT_CONTENT, dc, r));
    EXPECT_FALSE(OleDraw(checker.get(), DVASPECT_CONTENT, nullptr, r));
    EXPECT_FALSE(OleDraw(checker.get(), DVASPECT_CONTENT, dc, empty));
    win::ReleaseDC(ole->GetHandle(), dc);
}

}  // namespace
}  // namespace cl::testing_controls
