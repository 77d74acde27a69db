// The page control with its tab sheets (tabs, the active page, switching by click and keys,
// hidden tabs, page order) and the tool window with its edges, on the headless screen.
#include <string>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/TypInfo.h"
#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

using win::RECT;

class PageControlTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = NewForm<TForm>(nullptr);
        form->SetBorderStyle(bsNone);
        form->SetBounds(10, 10, 300, 200);
        form->SetColor(clWhite);
        pc = new TPageControl(form);
        pc->SetParent(form);
        pc->SetBounds(20, 10, 240, 160);
        const char* captions[] = {"One", "Two", "Three"};
        const TColor colours[] = {clRed, clLime, clBlue};
        for (int i = 0; i < 3; ++i) {
            auto* s = new TTabSheet(form);
            s->SetCaption(captions[i]);
            s->SetColor(colours[i]);
            s->SetPageControl(pc);
            sheets.push_back(s);
        }
        pc->OnChanging = [this](TObject*, bool& allow) {
            log.push_back("changing " + (pc->GetActivePage() ? pc->GetActivePage()->GetCaption() : String("-")));
            allow = allowChange;
        };
        pc->OnChange = [this](TObject*) { log.push_back("change " + pc->GetActivePage()->GetCaption()); };
        form->Show();
        Application->ProcessMessages();
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    // Screen point of a tab's middle, and of the page area's middle.
    win::POINT TabPoint(int tab) {
        RECT r = pc->TabRect(tab);
        return ScreenPoint(pc, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    uint32_t PageColourOnScreen() {
        RECT d = pc->GetDisplayRect();
        win::POINT p = ScreenPoint(pc, (d.left + d.right) / 2, (d.top + d.bottom) / 2);
        return At(p.x, p.y);
    }
    void ClickTab(int tab) {
        win::POINT p = TabPoint(tab);
        ClickAt(p.x, p.y);
    }
    static void CtrlTab(bool shift) {
        win::test::Key(win::VK_CONTROL, true);
        if (shift) win::test::Key(win::VK_SHIFT, true);
        win::test::Key(win::VK_TAB, true);
        win::test::Key(win::VK_TAB, false);
        if (shift) win::test::Key(win::VK_SHIFT, false);
        win::test::Key(win::VK_CONTROL, false);
        Application->ProcessMessages();
    }

    TForm* form = nullptr;
    TPageControl* pc = nullptr;
    std::vector<TTabSheet*> sheets;
    std::vector<std::string> log;
    bool allowChange = true;
};

TEST_F(PageControlTest, TheFirstPageShowsInTheFrameUnderItsTab) {
    ASSERT_EQ(pc->GetPageCount(), 3);
    EXPECT_EQ(pc->GetActivePage(), sheets[0]);
    EXPECT_EQ(pc->GetActivePageIndex(), 0);
    EXPECT_TRUE(sheets[0]->GetVisible());
    EXPECT_FALSE(sheets[1]->GetVisible());
    EXPECT_FALSE(sheets[2]->GetVisible());
    EXPECT_EQ(PageColourOnScreen(), Rgb(clRed));
    // Pages fill the display area inside the raised frame below the tab row.
    const int th = pc->GetTabHeight();
    RECT d = pc->GetDisplayRect();
    EXPECT_EQ(d.left, 4);
    EXPECT_EQ(d.top, th + 6);
    EXPECT_EQ(d.right, 240 - 4);
    EXPECT_EQ(d.bottom, 160 - 4);
    EXPECT_EQ(sheets[1]->GetBoundsRect().left, d.left);
    EXPECT_EQ(sheets[1]->GetWidth(), d.right - d.left);
    // Tabs side by side from x = 2, the active one two pixels larger all round but at the bottom.
    RECT t0 = pc->TabRect(0), t1 = pc->TabRect(1), t2 = pc->TabRect(2);
    EXPECT_EQ(t0.left, 0);
    EXPECT_EQ(t0.top, 0);
    EXPECT_EQ(t1.left, t0.right - 2);
    EXPECT_EQ(t1.top, 2);
    EXPECT_EQ(t1.bottom, th + 2);
    EXPECT_EQ(t2.left, t1.right);
    EXPECT_GT(t2.right - t2.left, t1.right - t1.left) << "a longer caption makes a wider tab";
    for (int i = 0; i < 3; ++i) {
        RECT r = pc->TabRect(i);
        EXPECT_EQ(pc->IndexOfTabAt((r.left + r.right) / 2, (r.top + r.bottom) / 2), i);
    }
    EXPECT_EQ(pc->IndexOfTabAt(t2.right + 5, 5), -1);
    EXPECT_EQ(pc->IndexOfTabAt(50, th + 20), -1);
    // The classic look: tab edges and the frame in the system colours.
    win::POINT o = pc->GetClientOrigin();
    EXPECT_EQ(At(o.x + t2.left, o.y + t2.top + 3), Sys(win::COLOR_BTNHIGHLIGHT)) << "left edge of a tab";
    EXPECT_EQ(At(o.x + t2.right - 1, o.y + t2.top + 3), Sys(win::COLOR_3DDKSHADOW)) << "right edge of a tab";
    EXPECT_EQ(At(o.x + t1.left, o.y + t1.top + 3), Sys(win::COLOR_BTNSHADOW))
        << "the active tab lies over its neighbour";
    EXPECT_EQ(At(o.x + 200, o.y + th + 2), Sys(win::COLOR_BTNHIGHLIGHT)) << "the frame's top";
    EXPECT_EQ(At(o.x + 239, o.y + th + 40), Sys(win::COLOR_3DDKSHADOW)) << "the frame's right side";
    EXPECT_EQ(At(o.x + 10, o.y + th + 2), Sys(win::COLOR_BTNFACE)) << "the active tab opens into the frame";
    EXPECT_EQ(At(o.x + 230, o.y + 5), Sys(win::COLOR_BTNFACE)) << "the row beside the tabs";
}

TEST_F(PageControlTest, ClicksSwitchPagesWithEventsAndCodeSwitchesWithout) {
    ClickTab(2);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]);
    EXPECT_EQ(PageColourOnScreen(), Rgb(clBlue));
    EXPECT_FALSE(sheets[0]->GetVisible());
    EXPECT_TRUE(pc->Focused()) << "a click on a tab takes the focus";
    EXPECT_EQ(log, (std::vector<std::string>{"changing One", "change Three"}));
    log.clear();
    ClickTab(2);
    EXPECT_TRUE(log.empty()) << "the active tab again: no change";
    allowChange = false;
    ClickTab(0);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]) << "OnChanging refused";
    EXPECT_EQ(log, (std::vector<std::string>{"changing Three"}));
    log.clear();
    pc->SetActivePage(sheets[1]);
    Application->ProcessMessages();
    EXPECT_EQ(pc->GetActivePage(), sheets[1]);
    EXPECT_EQ(PageColourOnScreen(), Rgb(clLime));
    pc->SetActivePageIndex(0);
    EXPECT_EQ(pc->GetActivePage(), sheets[0]);
    EXPECT_TRUE(log.empty()) << "switches in code fire no events";
    pc->SetActivePage(new TTabSheet(form));
    EXPECT_EQ(pc->GetActivePage(), nullptr) << "a sheet of no page control shows no page";
    pc->SetActivePageIndex(7);
    EXPECT_EQ(pc->GetActivePage(), nullptr);
}

TEST_F(PageControlTest, ArrowsHomeEndAndCtrlTabTurnThePages) {
    pc->SetFocus();
    PressKey(win::VK_RIGHT);
    EXPECT_EQ(pc->GetActivePage(), sheets[1]);
    PressKey(win::VK_DOWN);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]);
    PressKey(win::VK_RIGHT);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]) << "arrows stop at the last tab";
    PressKey(win::VK_HOME);
    EXPECT_EQ(pc->GetActivePage(), sheets[0]);
    PressKey(win::VK_LEFT);
    EXPECT_EQ(pc->GetActivePage(), sheets[0]);
    PressKey(win::VK_END);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]);
    EXPECT_EQ(log, (std::vector<std::string>{"changing One", "change Two", "changing Two", "change Three",
                                             "changing Three", "change One", "changing One", "change Three"}));
    // Ctrl+Tab from a control on a page: the next page, round to the first; the focus leaves
    // the hidden page for the page control.
    auto* b = new TButton(form);
    b->SetParent(sheets[2]);
    b->SetBounds(5, 5, 60, 20);
    b->SetFocus();
    ASSERT_TRUE(b->Focused());
    CtrlTab(false);
    EXPECT_EQ(pc->GetActivePage(), sheets[0]);
    EXPECT_TRUE(pc->Focused());
    CtrlTab(true);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]);
    CtrlTab(true);
    EXPECT_EQ(pc->GetActivePage(), sheets[1]);
    // Outside the page control Ctrl+Tab does nothing to it.
    auto* outside = new TButton(form);
    outside->SetParent(form);
    outside->SetBounds(270, 5, 25, 20);
    outside->SetFocus();
    CtrlTab(false);
    EXPECT_EQ(pc->GetActivePage(), sheets[1]);
}

TEST_F(PageControlTest, HiddenTabsKeepTheirPlace) {
    sheets[0]->SetTabVisible(false);
    EXPECT_EQ(pc->GetActivePage(), sheets[1]) << "the active page's tab hidden: the next page shows";
    EXPECT_EQ(pc->TabCount(), 2);
    EXPECT_EQ(sheets[0]->GetPageIndex(), 0);
    EXPECT_EQ(sheets[0]->GetTabIndex(), -1);
    EXPECT_EQ(sheets[2]->GetTabIndex(), 1);
    EXPECT_EQ(pc->TabPage(0), sheets[1]);
    EXPECT_EQ(pc->TabRect(0).left, 0);
    EXPECT_EQ(pc->FindNextPage(sheets[2], true, true), sheets[1]);
    EXPECT_EQ(pc->FindNextPage(sheets[2], true, false), sheets[0]);
    EXPECT_EQ(pc->FindNextPage(nullptr, true, true), sheets[1]);
    EXPECT_EQ(pc->FindNextPage(nullptr, false, true), sheets[2]);
    pc->SetFocus();
    PressKey(win::VK_HOME);
    EXPECT_EQ(pc->GetActivePage(), sheets[1]);
    sheets[1]->SetTabVisible(false);
    sheets[2]->SetTabVisible(false);
    EXPECT_EQ(pc->GetActivePage(), nullptr) << "no visible tab left";
    EXPECT_EQ(pc->IndexOfTabAt(10, 10), -1);
    Application->ProcessMessages();
    sheets[2]->SetTabVisible(true);
    EXPECT_EQ(pc->GetActivePage(), sheets[2]) << "a tab shown in an empty control becomes active";
    Application->ProcessMessages();
    EXPECT_EQ(PageColourOnScreen(), Rgb(clBlue));
}

TEST_F(PageControlTest, PageOrderRemovalAndRanges) {
    sheets[2]->SetPageIndex(0);
    EXPECT_EQ(pc->Pages(0), sheets[2]);
    EXPECT_EQ(pc->Pages(1), sheets[0]);
    EXPECT_EQ(sheets[0]->GetPageIndex(), 1);
    EXPECT_EQ(pc->TabPage(0), sheets[2]);
    sheets[2]->SetPageIndex(99);
    EXPECT_EQ(pc->Pages(2), sheets[2]) << "an index past the end moves to the end";
    EXPECT_THROW(pc->Pages(3), EListError);
    EXPECT_THROW(pc->Pages(-1), EListError);
    // The active page goes: the one after it shows.
    delete sheets[0];
    EXPECT_EQ(pc->GetPageCount(), 2);
    EXPECT_EQ(pc->GetActivePage(), sheets[1]);
    Application->ProcessMessages();
    EXPECT_EQ(PageColourOnScreen(), Rgb(clLime));
    sheets[2]->SetPageControl(nullptr);
    EXPECT_EQ(pc->GetPageCount(), 1);
    EXPECT_EQ(sheets[2]->GetPageIndex(), -1);
    EXPECT_EQ(sheets[2]->GetTabIndex(), -1);
    EXPECT_EQ(sheets[2]->GetParent(), nullptr);
    delete sheets[2];
    // A page control freed with its pages takes them along.
    delete pc;
    pc = nullptr;
    EXPECT_EQ(form->GetControlCount(), 0);
}

TEST_F(ControlsTest, PageControlBuiltFromATable) {
    struct TTabbedForm : TForm {
        explicit TTabbedForm(TComponent* o) : TForm(o) {}
        const TFormTable* FormTable() const override {
            static const TFormTable t{
                {{"BorderStyle", "bsNone"}, {"Width", 200}, {"Height", 150}},
                {{"TPageControl", "Pages", "", {{"Left", 5}, {"Top", 5}, {"Width", 180}, {"Height", 120}}, nullptr},
                 {"TTabSheet", "First", "Pages", {{"Caption", "&First"}}, nullptr},
                 {"TTabSheet",
                  "Second",
                  "",
                  {{"PageControl", "Pages"}, {"Caption", "Second"}, {"TabVisible", false}},
                  nullptr},
                 {"TTabSheet", "Third", "Pages", {{"Caption", "Third"}, {"PageIndex", 0}}, nullptr}}};
            return &t;
        }
    };
    auto* f = NewForm<TTabbedForm>(nullptr);
    auto* pages = static_cast<TPageControl*>(f->FindComponent("Pages"));
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->GetPageCount(), 3);
    EXPECT_EQ(pages->Pages(0)->GetName(), "Third");
    EXPECT_EQ(pages->Pages(1)->GetName(), "First");
    EXPECT_EQ(pages->GetActivePage()->GetName(), "First");
    EXPECT_EQ(pages->TabCount(), 2);
    SetPropertyText(pages, "ActivePage", "Third", f);
    EXPECT_EQ(pages->GetActivePage()->GetName(), "Third");
    EXPECT_THROW(SetPropertyText(pages, "ActivePage", "Pages", f), EPropertyError);
    delete f;
}

// ---------------------------------------------------------------- tool windows

TEST_F(ControlsTest, ToolWindowEdgesFrameItsClientArea) {
    auto* form = NewForm<TForm>(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 200, 100);
    form->SetColor(clWhite);
    auto* tw = new TToolWindow(form);
    tw->SetParent(form);
    tw->SetColor(clYellow);
    tw->SetBounds(10, 20, 100, 40);
    form->Show();
    Application->ProcessMessages();
    // Lowered outer and raised inner edge on all sides: two pixels each.
    EXPECT_EQ(tw->GetClientWidth(), 96);
    EXPECT_EQ(tw->GetClientHeight(), 36);
    EXPECT_EQ(At(10, 20), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(109, 59), Sys(win::COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(11, 21), Sys(win::COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(108, 58), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(12, 22), Rgb(clYellow));
    // A border inside the edges is filled with the brush; edges on two sides only.
    tw->SetBorderWidth(3);
    tw->SetEdgeBorders((1u << ebTop) | (1u << ebBottom));
    tw->SetEdgeInner(esNone);
    Application->ProcessMessages();
    EXPECT_EQ(tw->GetClientWidth(), 100 - 6);
    EXPECT_EQ(tw->GetClientHeight(), 40 - 2 - 6);
    EXPECT_EQ(At(10, 20), Sys(win::COLOR_BTNSHADOW));
    EXPECT_EQ(At(10, 21), Rgb(clYellow)) << "no left edge: the border";
    EXPECT_EQ(At(60, 59), Sys(win::COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(60, 58), Rgb(clYellow));
    // Without 3D look the edges are drawn flat.
    tw->Ctl3D = false;
    tw->RecreateWnd();
    Application->ProcessMessages();
    EXPECT_EQ(At(60, 20), Sys(win::COLOR_WINDOWFRAME));
    EXPECT_EQ(At(60, 59), Sys(win::COLOR_WINDOWFRAME));
    EXPECT_TRUE(IsPublishedProp(tw, "EdgeBorders"));
    EXPECT_EQ(GetEnumProp(tw, "EdgeOuter"), "esLowered");
    delete form;
}

}  // namespace
}  // namespace cl::testing_controls
