// Edits, check boxes, combo boxes and group boxes on the headless screen: typing and
// Backspace, toggling by click and Space, choosing by keys and clicks with their events, and
// what each paints.
#include <string>
#include <vector>

#include "classlib/StdCtrls.h"
#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

// A colour (system colours resolved) as the screen holds it.
uint32_t Shown(TColor c) { return Rgb(static_cast<TColor>(ControlColorToRGB(c))); }

class InputCtrlsTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = NewForm<TForm>(nullptr);
        form->SetBorderStyle(bsNone);
        form->SetBounds(10, 10, 300, 200);
        form->SetColor(clWhite);
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    void ShowAndFocus(TWinControl* c) {
        form->Show();
        Application->ProcessMessages();
        c->SetFocus();
        Application->ProcessMessages();
    }
    TForm* form = nullptr;
};

TEST_F(InputCtrlsTest, EditTakesTypedCharactersAndBackspace) {
    auto* e = new TEdit(form);
    e->SetParent(form);
    e->SetBounds(10, 10, 120, 21);
    std::vector<String> changes;
    e->OnChange = [&](TObject*) { changes.push_back(e->GetText()); };
    ShowAndFocus(e);
    for (int vk : {'4', '2'}) PressKey(vk);
    EXPECT_EQ(e->GetText(), "42");
    PressKey(win::VK_BACK);
    EXPECT_EQ(e->GetText(), "4");
    e->SetText("abc");  // set in code: OnChange too
    EXPECT_EQ(changes, (std::vector<String>{"4", "42", "4", "abc"}));
    e->MaxLength = 3;
    PressKey('X');
    EXPECT_EQ(e->GetText(), "abc");
    e->ReadOnly = true;
    PressKey(win::VK_BACK);
    EXPECT_EQ(e->GetText(), "abc");
    // A multi-byte character goes as a whole.
    e->ReadOnly = false;
    e->SetText("a\xC3\xA9");
    PressKey(win::VK_BACK);
    EXPECT_EQ(e->GetText(), "a");
    // The window background inside a frame.
    Application->ProcessMessages();
    EXPECT_EQ(At(ScreenPoint(e, 100, 10).x, ScreenPoint(e, 100, 10).y), Shown(clWindow));
}

TEST_F(InputCtrlsTest, CheckBoxTogglesByClickAndSpaceAndInCode) {
    auto* c = new TCheckBox(form);
    c->SetParent(form);
    c->SetBounds(10, 40, 120, 17);
    c->SetCaption("Check");
    int clicks = 0;
    c->OnClick = [&](TObject*) { ++clicks; };
    ShowAndFocus(c);
    const win::POINT p = ScreenPoint(c, 6, 8);
    ClickAt(p.x, p.y);
    EXPECT_TRUE(c->GetChecked());
    PressKey(win::VK_SPACE);
    EXPECT_FALSE(c->GetChecked());
    c->SetChecked(true);
    c->SetChecked(true);  // no change: no event
    EXPECT_EQ(clicks, 3);
    // The tick is drawn in the box.
    Application->ProcessMessages();
    const win::RECT box{ScreenPoint(c, 0, 0).x, ScreenPoint(c, 0, 2).y, ScreenPoint(c, 13, 0).x,
                        ScreenPoint(c, 0, 15).y};
    EXPECT_GT(CountPixels(box, Shown(clWindowText)), 5);
    c->SetChecked(false);
    Application->ProcessMessages();
    EXPECT_EQ(CountPixels(box, Shown(clWindowText)), 0);
}

TEST_F(InputCtrlsTest, ComboBoxChoosesByKeysAndClicks) {
    auto* c = new TComboBox(form);
    c->SetParent(form);
    c->SetBounds(10, 70, 120, 21);
    for (const char* s : {"One", "Two", "Three"}) c->GetItems()->Add(s);
    std::vector<std::string> log;
    c->OnClick = [&](TObject*) { log.push_back("click " + c->GetSelectedText()); };
    c->OnChange = [&](TObject*) { log.push_back("change " + c->GetSelectedText()); };
    c->SetItemIndex(1);  // in code: no events
    EXPECT_EQ(c->GetSelectedText(), "Two");
    c->SetItemIndex(7);  // outside: nothing chosen
    EXPECT_EQ(c->GetItemIndex(), -1);
    EXPECT_EQ(c->GetSelectedText(), "");
    EXPECT_TRUE(log.empty());
    ShowAndFocus(c);
    PressKey(win::VK_DOWN);
    PressKey(win::VK_END);
    PressKey(win::VK_DOWN);  // at the end: nothing
    PressKey(win::VK_UP);
    const win::POINT p = ScreenPoint(c, 20, 10);
    ClickAt(p.x, p.y);
    ClickAt(p.x, p.y);  // past the last: the first
    EXPECT_EQ(log, (std::vector<std::string>{"click One", "change One", "click Three", "change Three", "click Two",
                                             "change Two", "click Three", "change Three", "click One", "change One"}));
}

TEST_F(InputCtrlsTest, GroupBoxAlignsItsChildrenUnderTheCaption) {
    auto* g = new TGroupBox(form);
    g->SetParent(form);
    g->SetBounds(10, 100, 200, 80);
    g->SetCaption(" Group ");
    auto* inner = new TPanel(form);
    inner->SetParent(g);
    inner->SetAlign(alClient);
    // The aligned area leaves the caption line and the frame out.
    EXPECT_EQ(inner->GetLeft(), 2);
    EXPECT_EQ(inner->GetTop(), 15);
    EXPECT_EQ(inner->GetWidth(), 196);
    EXPECT_EQ(inner->GetHeight(), 63);
    inner->SetVisible(false);
    form->Show();
    Application->ProcessMessages();
    const win::POINT gp = ScreenPoint(g, 0, 0);
    // The frame: its top line through the caption's middle, left of the caption; the
    // highlight line inside the bottom edge.
    EXPECT_EQ(At(gp.x + 4, gp.y + 6), Shown(clBtnShadow));
    EXPECT_EQ(At(gp.x + 100, gp.y + 79), Shown(clBtnHighlight));
    EXPECT_EQ(At(gp.x + 100, gp.y + 40), Rgb(clWhite));  // the form's colour shows inside
}

}  // namespace
}  // namespace cl::testing_controls
