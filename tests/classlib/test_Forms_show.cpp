// A full-screen show window as the player builds it: a table, start-up in OnCreate, a slide
// timer started on activation, closing on a key, and the order of the form's events.
#include <string>
#include <vector>

#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

std::vector<std::string> g_events;

// The picture control stands in as a windowed control painting itself green.
class TPictureStandIn : public TCustomControl {
    CL_DECLARE_COMPONENT(TPictureStandIn, TCustomControl)
public:
    explicit TPictureStandIn(TComponent* o) : TCustomControl(o) {}

protected:
    void Paint() override {
        GetCanvas()->GetBrush()->SetColor(clLime);
        GetCanvas()->FillRect(GetClientRect());
    }
};

class TShowForm : public TForm {
    CL_DECLARE_COMPONENT(TShowForm, TForm)
public:
    explicit TShowForm(TComponent* o) : TForm(o) {
        OnCreate = [this](TObject*) {
            g_events.push_back("create");
            // The loading window: shown and painted at once, owned by the show window.
            loading = NewForm<TForm>(this);
            loading->SetBorderStyle(bsDialog);
            loading->SetCaption("Загрузка...");
            loading->SetClientWidth(423);
            loading->SetClientHeight(80);
            loading->Position = poScreenCenter;
            auto* text = new TLabel(loading);
            text->SetParent(loading);
            text->SetBounds(10, 10, 100, 13);
            text->SetCaption("Wait");
            text->GetFont()->SetColor(clRed);
            loading->Show();
            Application->ProcessMessages();
            win::POINT o = text->GetClientOrigin();
            loadingTextPixels = 0;
            win::test::Screen scr = win::test::ScreenComposite();
            for (int y = o.y; y < o.y + 13; ++y)
                for (int x = o.x; x < o.x + 100; ++x)
                    if ((scr.At(x, y) & 0xFFFFFF) == 0xFF0000) ++loadingTextPixels;
            SetBorderStyle(bsNone);
            SetWindowState(wsMaximized);
            picture->SetBounds(0, 0, GetClientWidth(), GetClientHeight());
        };
        OnActivate = [this](TObject*) {
            g_events.push_back("activate");
            Screen->SetCursor(crNone);
            slideTimer->SetEnabled(true);
        };
        OnKeyDown = [this](TObject*, uint16_t&, TShiftState) {
            g_events.push_back("key");
            Close();
        };
        OnClose = [this](TObject*, TCloseAction&) {
            g_events.push_back("close");
            slideTimer->SetEnabled(false);
        };
        OnDestroy = [this](TObject*) {
            destroyed = true;
            g_events.push_back("destroy");
        };
    }
    const TFormTable* FormTable() const override {
        static const TFormTable t{{{"Color", "clBlack"},
                                   {"FormStyle", "fsStayOnTop"},
                                   {"KeyPreview", true},
                                   {"BorderIcons", "[]"},
                                   {"ClientWidth", 862},
                                   {"ClientHeight", 606},
                                   {"Caption", "Show"}},
                                  {
                                      {"TPanel",
                                       "Panel1",
                                       "",
                                       {{"Left", 0},
                                        {"Top", 0},
                                        {"Width", 862},
                                        {"Height", 606},
                                        {"Align", "alClient"},
                                        {"BevelOuter", "bvNone"},
                                        {"Enabled", false},
                                        {"ParentColor", true}},
                                       nullptr},
                                      {"TPictureStandIn",
                                       "Picture",
                                       "Panel1",
                                       {{"Left", 100},
                                        {"Top", 100},
                                        {"Width", 662},
                                        {"Height", 406},
                                        {"Anchors", "[akLeft,akTop,akRight,akBottom]"}},
                                       [](TCustomForm* f, TComponent* c) {
                                           static_cast<TShowForm*>(f)->picture = static_cast<TPictureStandIn*>(c);
                                       }},
                                      {"TTimer",
                                       "SlideTimer",
                                       "",
                                       {{"Interval", 50}, {"Enabled", false}},
                                       [](TCustomForm* f, TComponent* c) {
                                           auto* form = static_cast<TShowForm*>(f);
                                           form->slideTimer = static_cast<TTimer*>(c);
                                           form->slideTimer->SetOnTimer([form](TObject*) { ++form->ticks; });
                                       }},
                                      {"TXPManifest", "XPManifest1", "", {}, nullptr},
                                  }};
        return &t;
    }
    TPictureStandIn* picture = nullptr;
    TTimer* slideTimer = nullptr;
    TForm* loading = nullptr;
    int loadingTextPixels = 0;
    int ticks = 0;
    bool destroyed = false;
};

TEST_F(ControlsTest, ShowWindowPlaysFullScreenUntilAKey) {
    static bool registered = false;
    if (!registered) {
        RegisterClass(TPictureStandIn::StaticClass());
        registered = true;
    }
    g_events.clear();
    TShowForm* show = nullptr;
    Application->CreateForm(show);
    ASSERT_NE(show, nullptr);
    ASSERT_TRUE(win::test::SetInputScript("500 key 65"));
    win::ClockSetHorizon(10'000 * win::kTicksPerMs);
    Application->Run();
    EXPECT_EQ(win::ClockNowTicks(), 500 * win::kTicksPerMs);  // the key ended it, not the horizon
    EXPECT_EQ(g_events, (std::vector<std::string>{"create", "activate", "key", "close"}));
    EXPECT_EQ(show->loadingTextPixels, 4 * 40);
    EXPECT_TRUE(win::IsWindowVisible(show->loading->GetHandle()));  // never hidden, only covered
    // Slides ticked from activation at 0 to the key at 500; at 500 the key comes first
    // (input before timers) and the close stops the timer.
    EXPECT_EQ(show->ticks, 9);
    EXPECT_EQ(win::test::CurrentCursor(), nullptr);
    // Full screen, with the picture following the window through its anchors.
    EXPECT_EQ(show->GetWidth(), kScreenW);
    EXPECT_EQ(show->GetHeight(), kScreenH);
    EXPECT_EQ(show->picture->GetWidth(), kScreenW);
    EXPECT_EQ(show->picture->GetHeight(), kScreenH);
    EXPECT_EQ(CountPixels(win::RECT{0, 0, kScreenW, kScreenH}, 0x00FF00), kScreenW * kScreenH);
    show->Free();  // OnDestroy sees the whole form
    EXPECT_EQ(g_events.back(), "destroy");
    EXPECT_EQ(Application->GetMainForm(), nullptr);
}

}  // namespace
}  // namespace cl::testing_controls
