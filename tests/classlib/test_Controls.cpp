// Controls on a headless screen: painting, mouse and keyboard routing, message handlers.
#include <string>
#include <vector>

#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

using win::RECT;

// A plain white borderless form at the screen's origin.
class ControlsOnForm : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = NewForm<TForm>(Application);
        form->SetBorderStyle(bsNone);
        form->SetBounds(0, 0, 300, 200);
        form->SetColor(clWhite);
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    TLabel* AddLabel(const char* caption, int x, int y) {
        auto* l = new TLabel(form);
        l->SetParent(form);
        l->SetLeft(x);
        l->SetTop(y);
        l->SetCaption(caption);
        return l;
    }
    TButton* AddButton(const char* caption, int x, int y) {
        auto* b = new TButton(form);
        b->SetParent(form);
        b->SetBounds(x, y, 75, 25);
        b->SetCaption(caption);
        return b;
    }
    void ShowAndPaint() {
        form->Show();
        Application->ProcessMessages();
    }
    TForm* form = nullptr;
    std::vector<std::string> log;
};

TEST_F(ControlsOnForm, LabelTextIsDrawnWhereTheLabelIs) {
    TLabel* hello = AddLabel("Hello", 10, 10);
    hello->GetFont()->SetColor(clRed);
    TLabel* empty = AddLabel("", 10, 60);
    empty->GetFont()->SetColor(clRed);
    empty->SetAutoSize(false);
    empty->SetBounds(10, 60, 100, 20);
    // The test font: 7 x 13 cells, each glyph a 5 x 8 box.
    EXPECT_EQ(hello->GetWidth(), 35);
    EXPECT_EQ(hello->GetHeight(), 13);
    ShowAndPaint();
    EXPECT_EQ(CountPixels(ScreenRect(hello), 0xFF0000), 5 * 40);
    EXPECT_EQ(CountPixels(ScreenRect(empty), 0xFF0000), 0);
    EXPECT_EQ(CountPixels(RECT{0, 0, 300, 200}, 0xFF0000), 5 * 40);
    hello->SetCaption("Hi");
    Application->ProcessMessages();
    EXPECT_EQ(CountPixels(RECT{0, 0, 300, 200}, 0xFF0000), 2 * 40);
    hello->SetVisible(false);
    Application->ProcessMessages();
    EXPECT_EQ(CountPixels(RECT{0, 0, 300, 200}, 0xFF0000), 0);
}

TEST_F(ControlsOnForm, WordWrapBreaksAtSpacesInTheLabelsWidth) {
    TLabel* l = AddLabel("", 10, 10);
    l->SetWordWrap(true);
    l->SetWidth(30);
    l->SetCaption("aa bb cc");
    EXPECT_EQ(l->GetWidth(), 30);
    EXPECT_EQ(l->GetHeight(), 3 * 13);
    l->SetWordWrap(false);
    EXPECT_EQ(l->GetWidth(), 8 * 7);
    EXPECT_EQ(l->GetHeight(), 13);
}

TEST_F(ControlsOnForm, ButtonCaptionIsDrawnInside) {
    TButton* go = AddButton("Go", 10, 10);
    TButton* blank = AddButton("", 10, 50);
    ShowAndPaint();
    auto inner = [](RECT r) { return RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}; };
    EXPECT_EQ(CountPixels(inner(ScreenRect(go)), 0x000000), 2 * 40);
    EXPECT_EQ(CountPixels(inner(ScreenRect(blank)), 0x000000), 0);
    EXPECT_EQ(CountPixels(inner(ScreenRect(blank)), 0xD4D0C8), (75 - 4) * (25 - 4));  // button face
}

TEST_F(ControlsOnForm, ClicksReachTheControlUnderThePointer) {
    TButton* b = AddButton("Go", 10, 10);
    TLabel* l = AddLabel("Link", 10, 100);
    b->OnClick = [&](TObject*) { log.push_back("button"); };
    l->OnClick = [&](TObject*) { log.push_back("label"); };
    form->OnClick = [&](TObject*) { log.push_back("form"); };
    ShowAndPaint();
    win::POINT p = ScreenPoint(b, 20, 10);
    ClickAt(p.x, p.y);
    p = ScreenPoint(l, 3, 3);
    ClickAt(p.x, p.y);
    ClickAt(250, 150);
    EXPECT_EQ(log, (std::vector<std::string>{"button", "label", "form"}));
    // Pressed on the button, released elsewhere: no click.
    log.clear();
    p = ScreenPoint(b, 20, 10);
    win::test::MouseMove(p.x, p.y);
    win::test::MouseButton(win::test::Button::Left, true);
    win::test::MouseMove(250, 150);
    win::test::MouseButton(win::test::Button::Left, false);
    Application->ProcessMessages();
    EXPECT_TRUE(log.empty());
}

TEST_F(ControlsOnForm, LosingTheCaptureCancelsTheClick) {
    TButton* b = AddButton("Go", 10, 10);
    b->OnClick = [&](TObject*) { log.push_back("button"); };
    ShowAndPaint();
    win::POINT p = ScreenPoint(b, 20, 10);
    win::test::MouseMove(p.x, p.y);
    win::test::MouseButton(win::test::Button::Left, true);
    Application->ProcessMessages();
    EXPECT_TRUE(b->GetMouseCapture());
    EXPECT_EQ(win::GetCapture(), b->GetHandle());
    win::SetCapture(form->GetHandle());  // someone else takes the mouse
    EXPECT_FALSE(b->GetMouseCapture());
    win::ReleaseCapture();
    win::test::MouseButton(win::test::Button::Left, false);
    Application->ProcessMessages();
    EXPECT_TRUE(log.empty());
}

TEST_F(ControlsOnForm, DisabledPanelLetsTheFormHaveTheClicks) {
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    panel->SetAlign(alClient);
    panel->SetEnabled(false);
    panel->OnClick = [&](TObject*) { log.push_back("panel"); };
    form->OnClick = [&](TObject*) { log.push_back("form"); };
    form->OnDblClick = [&](TObject*) { log.push_back("form dbl"); };
    ShowAndPaint();
    ClickAt(100, 100);
    ClickAt(100, 100);  // within the double-click time: a double click
    // The second press of a double click is no click of its own.
    EXPECT_EQ(log, (std::vector<std::string>{"form", "form dbl"}));
}

TEST_F(ControlsOnForm, EnterAndEscapeClickTheDefaultAndCancelButtons) {
    TButton* ok = AddButton("OK", 10, 10);
    TButton* cancel = AddButton("Cancel", 100, 10);
    ok->SetDefault(true);
    ok->ModalResult = mrOk;
    cancel->Cancel = true;
    cancel->ModalResult = mrCancel;
    ok->TabStop = false;
    cancel->TabStop = false;
    ok->OnClick = [&](TObject*) { log.push_back("ok"); };
    cancel->OnClick = [&](TObject*) { log.push_back("cancel"); };
    ShowAndPaint();
    EXPECT_EQ(win::GetFocus(), form->GetHandle());
    PressKey(win::VK_RETURN);
    EXPECT_EQ(form->ModalResult, mrOk);
    PressKey(win::VK_ESCAPE);
    EXPECT_EQ(form->ModalResult, mrCancel);
    PressKey('A');
    EXPECT_EQ(log, (std::vector<std::string>{"ok", "cancel"}));
    // A focused button takes Enter for itself; Space clicks it too.
    cancel->SetFocus();
    PressKey(win::VK_RETURN);
    PressKey(win::VK_SPACE);
    EXPECT_EQ(log, (std::vector<std::string>{"ok", "cancel", "cancel", "cancel"}));
}

struct PreviewCase {
    bool keyPreview;
    int key;
    std::vector<std::string> expected;
};

void PrintTo(const PreviewCase& c, std::ostream* os) { *os << c.keyPreview << ' ' << c.key; }

class KeyPreviewTest : public ControlsOnForm, public ::testing::WithParamInterface<PreviewCase> {};

TEST_P(KeyPreviewTest, FormSeesKeysFirstWhenPreviewing) {
    const PreviewCase& c = GetParam();
    TButton* b = AddButton("B", 10, 10);
    form->KeyPreview = c.keyPreview;
    form->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
        log.push_back("form " + std::string(1, static_cast<char>(key)));
        if (key == 'X') key = 0;  // swallowed
    };
    b->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
        log.push_back("button " + std::string(1, static_cast<char>(key)));
    };
    ShowAndPaint();
    ASSERT_EQ(win::GetFocus(), b->GetHandle());
    PressKey(c.key);
    EXPECT_EQ(log, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyPreviewTest,
                         ::testing::Values(PreviewCase{true, 'A', {"form A", "button A"}},
                                           PreviewCase{true, 'X', {"form X"}}, PreviewCase{false, 'A', {"button A"}},
                                           PreviewCase{false, 'X', {"button X"}},
                                           PreviewCase{true, win::VK_F10, {"form y", "button y"}}),
                         [](const ::testing::TestParamInfo<PreviewCase>& i) {
                             return std::string(i.param.keyPreview ? "Preview" : "NoPreview") +
                                    static_cast<char>(i.param.key);
                         });

// A form class with its own message handlers.
class TTrackingForm : public TForm {
    CL_DECLARE_COMPONENT(TTrackingForm, TForm)
public:
    explicit TTrackingForm(TComponent* o) : TForm(o) {}
    std::vector<std::string> seen;
    bool activated = false;
};

void RegisterTrackingHandlers() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterMessageHandler(TTrackingForm::StaticClass(), win::WM_MOUSEMOVE, [](TObject* self, TMessage& m) {
        auto* f = static_cast<TTrackingForm*>(self);
        f->seen.push_back("handler " + std::to_string(win::GET_X_LPARAM(m.LParam)));
        InheritedDispatch(TTrackingForm::StaticClass(), self, m);
    });
    RegisterMessageHandler(TTrackingForm::StaticClass(), win::WM_SETCURSOR, [](TObject* self, TMessage& m) {
        auto* f = static_cast<TTrackingForm*>(self);
        m.Result = f->activated ? 1 : 0;  // no default processing
    });
    RegisterMessageHandler(TTrackingForm::StaticClass(), win::WM_USER + 1,
                           [](TObject*, TMessage&) { throw Exception("handler failed"); });
}

TEST_F(ControlsTest, MessageHandlerOfAFormClassRunsBeforeTheDefault) {
    RegisterTrackingHandlers();
    auto* f = NewForm<TTrackingForm>(Application);
    f->SetBorderStyle(bsNone);
    f->SetBounds(0, 0, 200, 100);
    f->OnMouseMove = [f](TObject*, TShiftState, int x, int) { f->seen.push_back("OnMouseMove " + std::to_string(x)); };
    f->Show();
    Application->ProcessMessages();
    win::test::MouseMove(40, 20);
    Application->ProcessMessages();
    EXPECT_EQ(f->seen, (std::vector<std::string>{"handler 40", "OnMouseMove 40"}));
    EXPECT_EQ(FindMessageHandlerClass(TTrackingForm::StaticClass(), win::WM_SETCURSOR), &TTrackingForm::StaticClass());
    EXPECT_EQ(FindMessageHandlerClass(TTrackingForm::StaticClass(), win::WM_NCPAINT), &TWinControl::StaticClass());
    EXPECT_EQ(FindMessageHandlerClass(TTrackingForm::StaticClass(), win::WM_PRINT), nullptr);
    // The set-cursor handler answers without the default processing: the hidden cursor stays.
    f->activated = true;
    Screen->SetCursor(crNone);
    EXPECT_EQ(win::test::CurrentCursor(), nullptr);
    Screen->SetCursor(crDefault);
    win::test::MouseMove(60, 20);
    Application->ProcessMessages();
    EXPECT_EQ(win::test::CurrentCursor(), nullptr);
    // An exception in a handler is reported; it never crosses the window procedure.
    EXPECT_EQ(win::SendMessageA(f->GetHandle(), win::WM_USER + 1, 0, 0), 0);
    auto boxes = win::test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "handler failed.");
    delete f;
}

TEST_F(ControlsOnForm, ControlCursorShowsThroughSetCursor) {
    TLabel* link = AddLabel("Site", 10, 10);
    link->SetCursor(crHandPoint);
    ShowAndPaint();
    win::POINT p = ScreenPoint(link, 2, 2);
    win::test::MouseMove(p.x, p.y);
    Application->ProcessMessages();
    EXPECT_EQ(win::test::CurrentCursor(), Screen->Cursors(crHandPoint));
    EXPECT_EQ(Mouse->GetCursorPos().x, p.x);
    EXPECT_EQ(Mouse->GetCursorPos().y, p.y);
    win::test::MouseMove(200, 150);
    Application->ProcessMessages();
    EXPECT_EQ(win::test::CurrentCursor(), Screen->Cursors(crArrow));
    Screen->SetCursor(crHourGlass);
    EXPECT_EQ(win::test::CurrentCursor(), Screen->Cursors(crHourGlass));
    win::test::MouseMove(p.x, p.y);
    Application->ProcessMessages();
    EXPECT_EQ(win::test::CurrentCursor(), Screen->Cursors(crHourGlass));
}

TEST_F(ControlsOnForm, ExceptionInAnEventHandlerIsReportedAndTheLoopGoesOn) {
    TButton* b = AddButton("Go", 10, 10);
    int clicks = 0;
    b->OnClick = [&](TObject*) {
        ++clicks;
        throw EInvalidOperation("Cannot do that");
    };
    ShowAndPaint();
    win::POINT p = ScreenPoint(b, 5, 5);
    ClickAt(p.x, p.y);
    ClickAt(p.x, p.y);
    EXPECT_EQ(clicks, 2);
    auto boxes = win::test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Cannot do that.");
    EXPECT_EQ(boxes[1].caption, "Lumetra");
}

TEST_F(ControlsTest, WindowedControlWithoutParentHasNoWindow) {
    auto* b = new TButton(nullptr);
    b->SetName("Lonely");
    EXPECT_FALSE(b->HandleAllocated());
    try {
        b->GetHandle();
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message, "Control 'Lonely' has no parent window");
    }
    delete b;
}

TEST_F(ControlsOnForm, ParentColorFollowsAndControlsGoWithTheirParent) {
    auto* panel = new TPanel(form);
    panel->SetParentColor(true);
    panel->SetParent(form);
    auto* inner = new TLabel(form);
    inner->SetParent(panel);
    EXPECT_EQ(panel->GetColor(), clWhite);
    EXPECT_EQ(inner->GetColor(), clWhite);
    form->SetColor(clBlack);
    EXPECT_EQ(panel->GetColor(), clBlack);
    EXPECT_EQ(inner->GetColor(), clBlack);
    inner->SetColor(clRed);
    form->SetColor(clBlue);
    EXPECT_FALSE(inner->GetParentColor());
    EXPECT_EQ(inner->GetColor(), clRed);
    int before = form->GetComponentCount();
    delete panel;  // its label goes with it
    EXPECT_EQ(form->GetComponentCount(), before - 2);
    EXPECT_EQ(form->GetControlCount(), 0);
}

TEST_F(ControlsOnForm, ShowModalRunsUntilAButtonSetsTheResult) {
    auto* dlg = NewForm<TForm>(Application);
    dlg->SetBorderStyle(bsNone);
    dlg->SetBounds(100, 100, 200, 100);
    auto* ok = new TButton(dlg);
    ok->SetParent(dlg);
    ok->SetBounds(10, 10, 75, 25);
    ok->ModalResult = mrOk;
    bool ownerEnabledDuringModal = true;
    dlg->OnActivate = [&](TObject*) { ownerEnabledDuringModal = win::IsWindowEnabled(form->GetHandle()) != 0; };
    ShowAndPaint();
    int64_t at = win::ClockNowTicks() / win::kTicksPerMs + 500;
    win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
    ASSERT_TRUE(win::test::SetInputScript(std::to_string(at) + " click 120 120"));
    EXPECT_EQ(dlg->ShowModal(), mrOk);
    EXPECT_GE(win::ClockNowTicks(), at * win::kTicksPerMs);
    EXPECT_FALSE(ownerEnabledDuringModal);
    EXPECT_TRUE(win::IsWindowEnabled(form->GetHandle()));
    EXPECT_FALSE(win::IsWindowVisible(dlg->GetHandle()));
    EXPECT_FALSE(Application->GetTerminated());
    delete dlg;
}

TEST_F(ControlsOnForm, FormPaintsThroughItsCanvas) {
    form->OnPaint = [this](TObject*) {
        form->GetCanvas()->GetBrush()->SetColor(clRed);
        form->GetCanvas()->FillRect(RECT{10, 10, 20, 20});
    };
    ShowAndPaint();
    EXPECT_EQ(CountPixels(RECT{0, 0, 300, 200}, 0xFF0000), 100);
    EXPECT_EQ(CountPixels(RECT{10, 10, 20, 20}, 0xFF0000), 100);
}

TEST_F(ControlsOnForm, MouseEnterAndLeaveFollowThePointer) {
    TLabel* l = AddLabel("Link", 10, 10);
    l->OnMouseEnter = [&](TObject*) { log.push_back("enter"); };
    l->OnMouseLeave = [&](TObject*) { log.push_back("leave"); };
    ShowAndPaint();
    auto idle = [] {
        Application->ProcessMessages();
        win::ClockSetHorizon(win::ClockNowTicks());
        Application->HandleMessage();  // nothing queued: idle processing
        win::ClockSetHorizon(win::kNoDeadline);
    };
    win::POINT p = ScreenPoint(l, 2, 2);
    win::test::MouseMove(p.x, p.y);
    idle();
    idle();
    win::test::MouseMove(200, 150);
    idle();
    EXPECT_EQ(log, (std::vector<std::string>{"enter", "leave"}));
}

// A windowed control painting itself through its canvas, counting its paints.
class TSwatch : public TCustomControl {
    CL_DECLARE_COMPONENT(TSwatch, TCustomControl)
public:
    explicit TSwatch(TComponent* o) : TCustomControl(o) {}
    int paints = 0;

protected:
    void Paint() override {
        ++paints;
        GetCanvas()->GetBrush()->SetColor(clLime);
        GetCanvas()->FillRect(GetClientRect());
    }
};

TEST_F(ControlsOnForm, NestedWindowsSurviveABorderChangeAndFollowTheMaximisedForm) {
    form->SetBorderStyle(bsSizeable);
    form->SetColor(clBlack);
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    panel->SetAlign(alClient);
    panel->SetBevelOuter(bvNone);
    panel->SetParentColor(true);
    panel->SetEnabled(false);
    auto* swatch = new TSwatch(form);
    swatch->SetParent(panel);
    swatch->SetBounds(0, 0, panel->GetClientWidth(), panel->GetClientHeight());
    swatch->SetAnchors(AnchorBit(akLeft) | AnchorBit(akTop) | AnchorBit(akRight) | AnchorBit(akBottom));
    ShowAndPaint();
    EXPECT_GT(swatch->paints, 0);
    form->SetBorderStyle(bsNone);
    form->SetWindowState(wsMaximized);
    Application->ProcessMessages();
    ASSERT_TRUE(win::IsWindow(swatch->GetHandle()));
    EXPECT_EQ(win::GetParent(swatch->GetHandle()), panel->GetHandle());
    EXPECT_EQ(win::GetParent(panel->GetHandle()), form->GetHandle());
    EXPECT_EQ(swatch->GetWidth(), kScreenW);
    EXPECT_EQ(swatch->GetHeight(), kScreenH);
    EXPECT_EQ(CountPixels(RECT{0, 0, kScreenW, kScreenH}, 0x00FF00), kScreenW * kScreenH);
    // Clicks over the disabled panel reach the form.
    int clicks = 0;
    form->OnClick = [&](TObject*) { ++clicks; };
    ClickAt(300, 300);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsOnForm, ConstraintsLimitTheSizeFromCodeTablesAndAlignment) {
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    SetPropertyText(panel, "Constraints.MaxWidth", "50");
    SetPropertyText(panel, "Constraints.MinHeight", "30");
    panel->SetBounds(0, 0, 80, 10);
    EXPECT_EQ(panel->GetWidth(), 50);
    EXPECT_EQ(panel->GetHeight(), 30);
    panel->GetConstraints()->SetMaxWidth(0);
    panel->SetAlign(alClient);
    EXPECT_EQ(panel->GetWidth(), 300);
    panel->GetConstraints()->SetMaxHeight(120);
    EXPECT_EQ(panel->GetHeight(), 120);
}

TEST_F(ControlsOnForm, WheelGoesToTheFocusedControlThenItsParent) {
    TButton* b = AddButton("B", 10, 10);
    int buttonSeen = 0;
    b->OnMouseWheel = [&](TObject*, TShiftState, int delta, win::POINT, bool& handled) {
        log.push_back("button " + std::to_string(delta));
        handled = ++buttonSeen > 1;
    };
    form->OnMouseWheelDown = [&](TObject*, TShiftState, win::POINT, bool& handled) {
        log.push_back("form down");
        handled = true;
    };
    ShowAndPaint();
    ASSERT_EQ(win::GetFocus(), b->GetHandle());
    win::test::Wheel(-120);
    Application->ProcessMessages();
    win::test::Wheel(-120);
    Application->ProcessMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"button -120", "form down", "button -120"}));
}

TEST_F(ControlsOnForm, DoubleBufferedPanelPaintsTheSamePixels) {
    for (bool buffered : {false, true}) {
        auto* panel = new TPanel(form);
        panel->SetParent(form);
        panel->SetBounds(0, 0, 200, 100);
        panel->SetColor(clBlue);
        panel->DoubleBuffered = buffered;
        auto* l = new TLabel(form);
        l->SetParent(panel);
        l->SetBounds(20, 20, 50, 13);
        l->SetCaption("abc");
        l->GetFont()->SetColor(clRed);
        l->SetTransparent(true);
        ShowAndPaint();
        EXPECT_EQ(CountPixels(RECT{0, 0, 300, 200}, 0xFF0000), 3 * 40) << buffered;
        EXPECT_EQ(CountPixels(RECT{1, 1, 199, 99}, 0x0000FF), 198 * 98 - 3 * 40) << buffered;
        delete panel;
    }
}

TEST_F(ControlsOnForm, ParentFontReachesChildrenUntilTheyChooseTheirOwn) {
    TLabel* plain = AddLabel("abc", 10, 10);
    TLabel* own = AddLabel("abc", 10, 40);
    own->GetFont()->SetHeight(-30);
    EXPECT_FALSE(own->GetParentFont());
    EXPECT_TRUE(plain->GetParentFont());
    SetPropertyText(form, "Font.Name", "Arial");
    SetPropertyText(form, "Font.Color", "clBlue");
    EXPECT_EQ(plain->GetFont()->GetName(), "Arial");
    EXPECT_EQ(plain->GetFont()->GetColor(), clBlue);
    EXPECT_NE(own->GetFont()->GetName(), "Arial");
    EXPECT_TRUE(plain->GetParentFont());
    // A right-justified auto-sized label keeps its right edge when its text grows.
    plain->SetAlignment(taRightJustify);
    int right = plain->GetLeft() + plain->GetWidth();
    plain->SetCaption("abcdef");
    EXPECT_EQ(plain->GetLeft() + plain->GetWidth(), right);
    EXPECT_EQ(plain->GetWidth(), 6 * 7);
}

// The windows of overlapping siblings lie in the order of the parent's controls, the last
// on top, however late each window is made.
TEST_F(ControlsOnForm, WindowsStackInTheOrderOfTheControls) {
    auto* panel = new TPanel(form);
    panel->SetBounds(10, 10, 200, 150);
    std::vector<TPanel*> kids;
    const TColor colours[] = {clRed, clLime, clBlue};
    for (TColor c : colours) {
        auto* k = new TPanel(form);
        k->SetBevelOuter(bvNone);
        k->SetColor(c);
        k->SetParent(panel);
        kids.push_back(k);
    }
    kids[0]->SetBounds(0, 0, 100, 100);
    kids[1]->SetBounds(50, 50, 100, 80);
    kids[2]->SetBounds(20, 60, 60, 60);
    panel->SetParent(form);  // all windows are made now, parent first
    ShowAndPaint();
    EXPECT_EQ(win::GetWindow(panel->GetHandle(), win::GW_CHILD), kids[2]->GetHandle()) << "the last control on top";
    EXPECT_EQ(CountPixels(RECT{10 + 60, 10 + 60, 10 + 80, 10 + 80}, 0x0000FF), 400);
    EXPECT_EQ(CountPixels(RECT{10 + 85, 10 + 55, 10 + 95, 10 + 65}, 0x00FF00), 100) << "lime over red";
    // A control inserted into a parent with a window goes on top; one whose window is made
    // again keeps its place.
    auto* late = new TPanel(form);
    late->SetBevelOuter(bvNone);
    late->SetColor(clYellow);
    late->SetBounds(0, 0, 30, 30);
    late->SetParent(panel);
    kids[0]->RecreateWnd();
    Application->ProcessMessages();
    EXPECT_EQ(win::GetWindow(panel->GetHandle(), win::GW_CHILD), late->GetHandle());
    EXPECT_EQ(win::GetWindow(late->GetHandle(), win::GW_HWNDNEXT), kids[2]->GetHandle());
    EXPECT_EQ(win::GetWindow(kids[1]->GetHandle(), win::GW_HWNDNEXT), kids[0]->GetHandle());
    EXPECT_EQ(CountPixels(RECT{10, 10, 10 + 30, 10 + 30}, 0xFFFF00), 900);
    EXPECT_EQ(CountPixels(RECT{10 + 85, 10 + 55, 10 + 95, 10 + 65}, 0x00FF00), 100) << "red stays below lime";
}

}  // namespace
}  // namespace cl::testing_controls
