// Track bars, up-down buttons and progress bars on the headless screen: positions by keys,
// clicks and code with their events, ranges, the associate of an up-down, and the filled
// part of a progress bar.
#include <vector>

#include "classlib/ComCtrls.h"
#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

// A colour (system colours resolved) as the screen holds it.
uint32_t Shown(TColor c) { return Rgb(static_cast<TColor>(ControlColorToRGB(c))); }

class RangeCtrlsTest : public ControlsTest {
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
    TForm* form = nullptr;
};

TEST_F(RangeCtrlsTest, TrackBarMovesByKeysClicksAndCode) {
    auto* t = new TTrackBar(form);
    t->SetParent(form);
    t->SetBounds(10, 10, 216, 30);
    t->SetRange(0, 100);
    std::vector<int> seen;
    t->OnChange = [&](TObject*) { seen.push_back(t->GetPosition()); };
    form->Show();
    Application->ProcessMessages();
    t->SetFocus();
    PressKey(win::VK_RIGHT);
    PressKey(win::VK_NEXT);  // PageSize 2
    PressKey(win::VK_END);
    PressKey(win::VK_RIGHT);  // at Max: nothing
    PressKey(win::VK_HOME);
    PressKey(win::VK_LEFT);  // at Min: nothing
    EXPECT_EQ(seen, (std::vector<int>{1, 3, 100, 0}));
    // A click puts the thumb under the pointer: the channel runs from 7 to 209.
    EXPECT_EQ(t->PositionToX(0), 7);
    EXPECT_EQ(t->PositionToX(100), 209);
    const win::POINT p = ScreenPoint(t, t->PositionToX(40), 10);
    ClickAt(p.x, p.y);
    EXPECT_EQ(t->GetPosition(), 40);
    // Code: cut to the range, and a smaller range pulls the position in.
    t->SetPosition(500);
    EXPECT_EQ(t->GetPosition(), 100);
    t->SetMax(50);
    EXPECT_EQ(t->GetPosition(), 50);
    t->SetRange(10, 5);  // Max below Min
    EXPECT_EQ(t->GetMax(), 10);
    EXPECT_EQ(t->GetPosition(), 10);
    EXPECT_EQ(seen.back(), 10);
}

TEST_F(RangeCtrlsTest, UpDownStepsItsAssociate) {
    auto* e = new TPanel(form);
    e->SetParent(form);
    e->SetBounds(10, 50, 40, 21);
    auto* u = new TUpDown(form);
    u->Min = 0;
    u->Max = 3;
    u->SetAssociate(e);
    EXPECT_EQ(u->GetParent(), form);
    EXPECT_EQ(u->GetLeft(), 50);
    EXPECT_EQ(u->GetTop(), 50);
    EXPECT_EQ(u->GetHeight(), 21);
    EXPECT_EQ(e->GetCaption(), "0");
    std::vector<int> clicks;
    u->OnClick = [&](TObject*, TUDBtnType b) { clicks.push_back(b == btNext ? 1 : -1); };
    form->Show();
    Application->ProcessMessages();
    const win::POINT up = ScreenPoint(u, 8, 3), down = ScreenPoint(u, 8, 18);
    ClickAt(up.x, up.y);
    ClickAt(up.x, up.y);
    EXPECT_EQ(u->GetPosition(), 2);
    EXPECT_EQ(e->GetCaption(), "2");
    // A number put into the associate is where the next step starts; the ends hold.
    e->SetCaption("3");
    ClickAt(up.x, up.y);
    EXPECT_EQ(u->GetPosition(), 3);
    ClickAt(down.x, down.y);
    EXPECT_EQ(e->GetCaption(), "2");
    u->Wrap = true;
    u->SetPosition(3);
    u->Step(btNext);
    EXPECT_EQ(u->GetPosition(), 0);
    EXPECT_EQ(clicks, (std::vector<int>{1, 1, 1, -1, 1}));
    // The associate going away is forgotten.
    delete e;
    u->Step(btNext);
    EXPECT_EQ(u->GetAssociate(), nullptr);
    EXPECT_EQ(u->GetPosition(), 1);
}

TEST_F(RangeCtrlsTest, ProgressBarFillsItsShare) {
    auto* b = new TProgressBar(form);
    b->SetParent(form);
    b->SetBounds(10, 100, 102, 16);
    // clang-format off
    const struct { int Position, Filled; } cases[] = {{0, 0}, {50, 50}, {100, 100}, {150, 100}, {-5, 0}};
    // clang-format on
    for (const auto& c : cases) {
        b->SetPosition(c.Position);
        EXPECT_EQ(b->FilledWidth(), c.Filled) << c.Position;
    }
    b->SetPosition(25);
    form->Show();
    Application->ProcessMessages();
    const win::RECT r = ScreenRect(b);
    EXPECT_EQ(CountPixels(r, Shown(clHighlight)), 25 * 14);
}

}  // namespace
}  // namespace cl::testing_controls
