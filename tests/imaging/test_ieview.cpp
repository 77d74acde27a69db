// The base view control on the headless screen: its defaults, the border styles and when
// the window is made again, resolution, the bitmap-change list and the mouse notifications.
#include <string>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "imaging/core/ieview.h"
#include "platform/user_testhooks.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

// A view with the abstract operations answered (as the full view does).
class TTestView : public TIEView {
    CL_DECLARE_COMPONENT(TTestView, TIEView)
public:
    explicit TTestView(cl::TComponent* AOwner) : TIEView(AOwner) {}
    TIEBitmap* GetAlphaChannel() override { return nullptr; }
    bool GetHasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockUpdate() override {}
    void UnlockUpdate() override {}
    void UnlockUpdateEx() override {}
};

class ViewTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 300, 200);
        view = new TTestView(form);
        view->SetParent(form);
        view->SetBounds(10, 10, 100, 80);
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    win::LONG ExStyle() { return win::GetWindowLongA(view->GetHandle(), win::GWL_EXSTYLE); }
    win::LONG Style() { return win::GetWindowLongA(view->GetHandle(), win::GWL_STYLE); }
    cl::TForm* form = nullptr;
    TTestView* view = nullptr;
};

TEST_F(ViewTest, Defaults) {
    EXPECT_EQ(view->GetBackground(), cl::clBtnFace);
    EXPECT_EQ(view->GetBorderStyle(), cl::bsSingle);
    EXPECT_TRUE(view->GetCtl3D());
    EXPECT_EQ(view->GetDpiX(), 0);
    EXPECT_EQ(view->GetDpiY(), 0);
    EXPECT_EQ(view->GetBitmap(), nullptr);
    EXPECT_EQ(view->GetIEBitmap(), nullptr);
    EXPECT_EQ(view->BitmapChangeEventCount(), 0);
    for (auto s : {cl::csAcceptsControls, cl::csOpaque, cl::csReplicatable, cl::csNeedsBorderPaint})
        EXPECT_NE(view->ControlStyle & s, 0u) << s;
    EXPECT_FALSE(view->HandleAllocated());  // no window until one is needed
    EXPECT_TRUE(view->InheritsFrom(cl::TCustomControl::StaticClass()));
    EXPECT_EQ(view->GetCanvas(), view->GetCanvas());
}

TEST_F(ViewTest, BorderStylesAndTheWindowsMadeForThem) {
    form->Show();
    cl::Application->ProcessMessages();
    EXPECT_NE(ExStyle() & win::WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(Style() & win::WS_BORDER, 0);
    const win::HWND first = view->GetHandle();
    view->SetBorderStyle(cl::bsSingle);  // the same: the window stays
    EXPECT_EQ(view->GetHandle(), first);
    view->SetCtl3D(true);
    EXPECT_EQ(view->GetHandle(), first);
    view->SetCtl3D(false);  // a plain border
    EXPECT_EQ(ExStyle() & win::WS_EX_CLIENTEDGE, 0);
    EXPECT_NE(Style() & win::WS_BORDER, 0);
    view->SetBorderStyle(cl::bsNone);
    EXPECT_EQ(ExStyle() & win::WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(Style() & win::WS_BORDER, 0);
    // The client area is the whole control without a border, smaller with one.
    EXPECT_EQ(view->GetClientWidth(), 100);
    view->SetBorderStyle(cl::bsSingle);
    view->SetCtl3D(true);
    EXPECT_LT(view->GetClientWidth(), 100);
}

TEST_F(ViewTest, ResolutionIgnoresZero) {
    view->SetDpi(300, 150);
    EXPECT_EQ(view->GetDpiX(), 300);
    EXPECT_EQ(view->GetDpiY(), 150);
    view->SetDpiX(0);
    view->SetDpi(0, 0);
    EXPECT_EQ(view->GetDpiX(), 300);
    EXPECT_EQ(view->GetDpiY(), 150);
    view->SetDpiY(-72);  // any non-zero value is stored
    EXPECT_EQ(view->GetDpiY(), -72);
    view->SetBackground(cl::clRed);
    EXPECT_EQ(view->GetBackground(), cl::clRed);
}

TEST_F(ViewTest, BitmapChangeEventsInRegistrationOrder) {
    std::vector<std::string> log;
    auto* a = view->RegisterBitmapChangeEvent(
        [&](cl::TObject* s, bool d) { log.push_back(std::string("a") + (d ? "!" : "") + (s == view ? "" : "?")); });
    auto* b = view->RegisterBitmapChangeEvent([&](cl::TObject*, bool d) { log.push_back(d ? "b!" : "b"); });
    auto* c = view->RegisterBitmapChangeEvent([&](cl::TObject*, bool d) { log.push_back(d ? "c!" : "c"); });
    EXPECT_NE(a, b);
    view->CallBitmapChangeEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
    view->RemoveBitmapChangeEvent(b);
    view->RemoveBitmapChangeEvent(nullptr);
    view->RemoveBitmapChangeEvent(b);  // no longer there
    TIEBitmapChangeRecord stranger;
    view->RemoveBitmapChangeEvent(&stranger);
    EXPECT_EQ(view->BitmapChangeEventCount(), 2);
    log.clear();
    view->CallBitmapChangeEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));
    (void)c;
    log.clear();
    delete view;  // the events see the log still there
    view = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"a!", "c!"}));
}

TEST_F(ViewTest, AnEventMayRemoveRegistrationsWhileTheListIsCalled) {
    std::vector<std::string> log;
    TIEBitmapChangeRecord* second = nullptr;
    view->RegisterBitmapChangeEvent([&](cl::TObject*, bool) {
        log.push_back("first");
        view->RemoveBitmapChangeEvent(second);
    });
    second = view->RegisterBitmapChangeEvent([&](cl::TObject*, bool) { log.push_back("second"); });
    view->CallBitmapChangeEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"first"}));
    delete view;
    view = nullptr;
}

TEST_F(ViewTest, DestroyingTellsEveryRegistrationOnce) {
    std::vector<std::string> log;
    TIEBitmapChangeRecord* mine = nullptr;
    mine = view->RegisterBitmapChangeEvent([&](cl::TObject*, bool d) {
        log.push_back(d ? "one going" : "one");
        view->RemoveBitmapChangeEvent(mine);  // a component letting go in its handler
    });
    view->RegisterBitmapChangeEvent([&](cl::TObject*, bool d) { log.push_back(d ? "two going" : "two"); });
    delete view;
    view = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"one going", "two going"}));
}

TEST_F(ViewTest, MouseEnterAndLeaveReachTheEvents) {
    std::vector<std::string> log;
    view->OnMouseEnter = [&](cl::TObject* s) { log.push_back(s == view ? "enter" : "enter?"); };
    view->OnMouseLeave = [&](cl::TObject* s) { log.push_back(s == view ? "leave" : "leave?"); };
    form->Show();
    cl::Application->ProcessMessages();
    // The class library follows the pointer when it is idle.
    auto idle = [] {
        cl::Application->ProcessMessages();
        win::ClockSetHorizon(win::ClockNowTicks());
        cl::Application->HandleMessage();
        win::ClockSetHorizon(win::kNoDeadline);
    };
    const win::POINT in = ScreenPoint(view, 20, 20);
    win::test::MouseMove(in.x, in.y);
    idle();
    idle();
    win::test::MouseMove(250, 150);
    idle();
    EXPECT_EQ(log, (std::vector<std::string>{"enter", "leave"}));
    view->OnMouseEnter = nullptr;
    view->OnMouseLeave = nullptr;
}

}  // namespace
}  // namespace ie
