// Forms built from tables, their layout, the application loop and exception reports.
#include <memory>
#include <string>
#include <vector>

#include "classlib/TypInfo.h"
#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

using win::RECT;

std::vector<std::string>* g_log = nullptr;

void Log(const std::string& s) {
    if (g_log) g_log->push_back(s);
}

// A component that records when it is loaded and whether it was loading when its property
// was set.
class TProbe : public TComponent {
    CL_DECLARE_COMPONENT(TProbe, TComponent)
public:
    explicit TProbe(TComponent* o) : TComponent(o) {}
    int Value() const { return value_; }
    void SetValue(int v) {
        value_ = v;
        Log(GetName() + ".Value" + (HasState(csLoading) ? " loading" : " live"));
    }
    void Loaded() override {
        TComponent::Loaded();
        Log(GetName() + ".Loaded");
    }

private:
    int value_ = 0;
};

void RegisterProbe() {
    static bool done = false;
    if (done) return;
    done = true;
    DeclarePublished(TProbe::StaticClass(),
                     {OrdProp<TProbe, int>("Value", tkInteger, "Integer", &TProbe::Value, &TProbe::SetValue)});
    RegisterClass(TProbe::StaticClass());
}

class TLayoutForm : public TForm {
    CL_DECLARE_COMPONENT(TLayoutForm, TForm)
public:
    explicit TLayoutForm(TComponent* o) : TForm(o) {
        OnCreate = [this](TObject*) {
            Log("OnCreate");
            if (throwInCreate) throw Exception("Файл проекта имеет неверный формат!");
        };
    }
    const TFormTable* FormTable() const override {
        static const TFormTable table{
            {{"Caption", "Layout"},
             {"BorderStyle", "bsSingle"},
             {"ClientWidth", 400},
             {"ClientHeight", 300},
             {"Color", "clWhite"},
             {"Position", "poScreenCenter"}},
            {
                {"TProbe", "Probe1", "", {{"Value", 1}}, nullptr},
                {"TPanel", "Top", "", {{"Align", "alTop"}, {"Height", 40}}, nullptr},
                {"TPanel", "Bottom", "", {{"Align", "alBottom"}, {"Height", 30}}, nullptr},
                {"TPanel", "Side", "", {{"Align", "alLeft"}, {"Width", 50}}, nullptr},
                {"TPanel",
                 "Body",
                 "",
                 {{"Align", "alClient"},
                  {"Left", 50},
                  {"Top", 40},
                  {"Width", 350},
                  {"Height", 230},
                  {"BevelOuter", "bvNone"},
                  {"ParentColor", true}},
                 nullptr},
                {"TButton",
                 "OK",
                 "Body",
                 {{"Left", 260},
                  {"Top", 195},
                  {"Width", 80},
                  {"Height", 25},
                  {"Anchors", "[akRight,akBottom]"},
                  {"Caption", "OK"},
                  {"Default", true}},
                 [](TCustomForm* f, TComponent* c) { static_cast<TLayoutForm*>(f)->ok = static_cast<TButton*>(c); }},
                {"TLabel",
                 "Stretchy",
                 "Body",
                 {{"Left", 10},
                  {"Top", 10},
                  {"Width", 100},
                  {"AutoSize", false},
                  {"Anchors", "[akLeft,akTop,akRight]"},
                  {"Caption", "Hello"},
                  {"Font.Color", "clRed"}},
                 nullptr},
                {"TProbe", "Probe2", "", {{"Value", 2}}, nullptr},
                {"TTimer", "Timer1", "", {{"Interval", 50}, {"Enabled", false}, {"Tag", 7}}, nullptr},
            }};
        return &table;
    }
    void Loaded() override {
        TForm::Loaded();
        Log("Form.Loaded");
    }
    TButton* ok = nullptr;
    bool throwInCreate = false;
};

class FormsTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        RegisterProbe();
        g_log = &log;
    }
    void TearDown() override {
        ControlsTest::TearDown();
        g_log = nullptr;
    }
    template <class T>
    static T* Find(TComponent* owner, const char* name) {
        TComponent* c = owner->FindComponent(name);
        EXPECT_NE(c, nullptr) << name;
        EXPECT_TRUE(c && c->Is<T>()) << name;
        return static_cast<T*>(c);
    }
    std::vector<std::string> log;
};

TEST_F(FormsTest, TableBuildsComponentsInOrderThenLoadsThenCreates) {
    TLayoutForm* f = NewForm<TLayoutForm>(Application);
    EXPECT_EQ(log, (std::vector<std::string>{"Probe1.Value loading", "Probe2.Value loading", "Probe1.Loaded",
                                             "Probe2.Loaded", "Form.Loaded", "OnCreate"}));
    EXPECT_FALSE(f->HasState(csLoading));
    ASSERT_EQ(f->GetComponentCount(), 9);
    const char* order[] = {"Probe1", "Top", "Bottom", "Side", "Body", "OK", "Stretchy", "Probe2", "Timer1"};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(f->Components(i)->GetName(), order[i]);
    EXPECT_EQ(f->ok, f->FindComponent("OK"));
    EXPECT_EQ(f->GetCaption(), "Layout");
    EXPECT_EQ(Find<TButton>(f, "OK")->GetParent(), Find<TPanel>(f, "Body"));
    EXPECT_TRUE(Find<TButton>(f, "OK")->GetDefault());
    EXPECT_EQ(Find<TLabel>(f, "Stretchy")->GetFont()->GetColor(), clRed);
    EXPECT_EQ(Find<TPanel>(f, "Body")->GetColor(), clWhite);  // parent colour
    EXPECT_FALSE(Find<TTimer>(f, "Timer1")->GetEnabled());
    EXPECT_EQ(Find<TTimer>(f, "Timer1")->GetInterval(), 50u);
    EXPECT_EQ(Find<TTimer>(f, "Timer1")->Tag, 7);
    EXPECT_FALSE(f->HandleAllocated());  // no window before it is shown
    delete f;
}

TEST_F(FormsTest, FormsAreCreatedByRegisteredClassName) {
    RegisterClass(TLayoutForm::StaticClass());
    TCustomForm* f = Application->CreateForm(FindClass("tlayoutform"));
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->ClassName(), "TLayoutForm");
    EXPECT_EQ(Application->GetMainForm(), f);
    EXPECT_TRUE(f->HandleAllocated());  // the main form gets its window at once
    EXPECT_NE(f->FindComponent("OK"), nullptr);
    EXPECT_EQ(log.back(), "OnCreate");
    EXPECT_THROW(Application->CreateForm(TPanel::StaticClass()), EInvalidOperation);
}

TEST_F(FormsTest, AlignedAndAnchoredControlsFollowTheFormsSize) {
    TLayoutForm* f = NewForm<TLayoutForm>(Application);
    f->Show();
    EXPECT_EQ(f->GetClientWidth(), 400);
    EXPECT_EQ(f->GetClientHeight(), 300);
    auto bounds = [&](const char* name) { return Find<TControl>(f, name)->GetBoundsRect(); };
    struct Case {
        const char* name;
        RECT before, after;
        // clang-format off
    } cases[] = {
        {"Top", {0, 0, 400, 40}, {0, 0, 500, 40}},
        {"Bottom", {0, 270, 400, 300}, {0, 370, 500, 400}},
        {"Side", {0, 40, 50, 270}, {0, 40, 50, 370}},
        {"Body", {50, 40, 400, 270}, {50, 40, 500, 370}},
        {"OK", {260, 195, 340, 220}, {360, 295, 440, 320}},
        {"Stretchy", {10, 10, 110, 27}, {10, 10, 210, 27}},
    };
    // clang-format on
    for (const Case& c : cases) {
        RECT r = bounds(c.name);
        EXPECT_EQ(r.left, c.before.left) << c.name;
        EXPECT_EQ(r.top, c.before.top) << c.name;
        EXPECT_EQ(r.right, c.before.right) << c.name;
        EXPECT_EQ(r.bottom, c.before.bottom) << c.name;
    }
    f->SetClientWidth(500);
    f->SetClientHeight(400);
    for (const Case& c : cases) {
        RECT r = bounds(c.name);
        EXPECT_EQ(r.left, c.after.left) << c.name;
        EXPECT_EQ(r.top, c.after.top) << c.name;
        EXPECT_EQ(r.right, c.after.right) << c.name;
        EXPECT_EQ(r.bottom, c.after.bottom) << c.name;
    }
    // The button's window moved with it.
    win::RECT wr;
    ASSERT_TRUE(win::GetWindowRect(f->ok->GetHandle(), &wr));
    win::POINT body = Find<TPanel>(f, "Body")->GetClientOrigin();
    EXPECT_EQ(wr.left - body.x, 360);
    EXPECT_EQ(wr.top - body.y, 295);
    delete f;
}

TEST_F(FormsTest, BorderlessMaximisedFormCoversTheScreenAndAnchorsFollow) {
    TLayoutForm* f = NewForm<TLayoutForm>(Application);
    f->SetColor(clBlack);
    f->SetBorderStyle(bsNone);
    f->SetWindowState(wsMaximized);
    f->SetFormStyle(fsStayOnTop);
    f->Show();
    win::RECT wr;
    ASSERT_TRUE(win::GetWindowRect(f->GetHandle(), &wr));
    EXPECT_EQ(wr.left, 0);
    EXPECT_EQ(wr.top, 0);
    EXPECT_EQ(wr.right, kScreenW);
    EXPECT_EQ(wr.bottom, kScreenH);
    EXPECT_EQ(f->GetClientWidth(), kScreenW);
    EXPECT_TRUE(win::GetWindowLongA(f->GetHandle(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    EXPECT_FALSE(win::GetWindowLongA(f->GetHandle(), win::GWL_STYLE) & win::WS_CAPTION);
    TButton* ok = f->ok;
    TPanel* body = Find<TPanel>(f, "Body");
    EXPECT_EQ(body->GetWidth(), kScreenW - 50);
    EXPECT_EQ(ok->GetLeft(), body->GetWidth() - 10 - 80);
    EXPECT_EQ(ok->GetTop(), body->GetHeight() - 10 - 25);
    // The window paints black where nothing covers it.
    Application->ProcessMessages();
    win::test::Screen s = win::test::ScreenComposite();
    EXPECT_EQ(s.At(kScreenW - 1, kScreenH / 2 + 100) & 0xFFFFFF, 0u);
    delete f;
}

TEST_F(FormsTest, ScreenCentredDialogAndClassNames) {
    TLayoutForm* f = NewForm<TLayoutForm>(Application);
    f->SetBorderStyle(bsDialog);
    f->Show();
    EXPECT_EQ(f->GetClientWidth(), 400);
    EXPECT_EQ(f->GetLeft(), (kScreenW - f->GetWidth()) / 2);
    EXPECT_EQ(f->GetTop(), (kScreenH - f->GetHeight()) / 2);
    char name[64];
    ASSERT_GT(win::GetClassNameA(f->GetHandle(), name, 64), 0);
    EXPECT_STREQ(name, "TLayoutForm");
    ASSERT_GT(win::GetClassNameA(f->ok->GetHandle(), name, 64), 0);
    EXPECT_STREQ(name, "TButton");
    EXPECT_EQ(FindControl(f->ok->GetHandle()), f->ok);
    EXPECT_EQ(win::GetWindow(f->GetHandle(), win::GW_OWNER), Application->GetHandle());
    ASSERT_GT(win::GetClassNameA(Application->GetHandle(), name, 64), 0);
    EXPECT_STREQ(name, "TApplication");
    EXPECT_FALSE(win::IsWindowVisible(Application->GetHandle()));
    char caption[64];
    win::GetWindowTextA(Application->GetHandle(), caption, 64);
    EXPECT_STREQ(caption, "Lumetra");
    EXPECT_EQ(Screen->GetActiveForm(), f);
    EXPECT_EQ(Screen->GetActiveControl(), f->ok);  // the first control that takes the focus
    EXPECT_EQ(f->GetActiveControl(), f->ok);
    delete f;
    EXPECT_EQ(Screen->GetFormCount(), 0);
}

TEST_F(FormsTest, ExceptionInOnCreateIsReportedAndTheFormStillShows) {
    struct Fixture : TLayoutForm {
        explicit Fixture(TComponent* o) : TLayoutForm(o) { throwInCreate = true; }
    };
    TLayoutForm* f = nullptr;
    Application->CreateForm(f);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Application->GetMainForm(), f);
    delete f;
    f = nullptr;
    Fixture* broken = nullptr;
    Application->CreateForm(broken);
    ASSERT_NE(broken, nullptr);
    auto boxes = win::test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Файл проекта имеет неверный формат!");
    EXPECT_EQ(boxes[0].caption, "Lumetra");
    EXPECT_EQ(boxes[0].type, win::MB_OK | win::MB_ICONSTOP);
    EXPECT_EQ(boxes[0].owner, Application->GetHandle());
    EXPECT_EQ(Application->GetMainForm(), broken);
    EXPECT_NE(broken->FindComponent("OK"), nullptr);
    win::ClockSetHorizon(win::ClockNowTicks() + 100 * win::kTicksPerMs);
    Application->Run();  // shows the main form; the horizon ends the loop
    EXPECT_TRUE(win::IsWindowVisible(broken->GetHandle()));
    EXPECT_EQ(win::GetActiveWindow(), broken->GetHandle());
}

TEST_F(FormsTest, BuildingFailsCleanlyOnBadTables) {
    struct BadForm : TForm {
        explicit BadForm(TComponent* o) : TForm(o) {}
        const TFormTable* FormTable() const override { return table; }
        const TFormTable* table = nullptr;
    };
    struct Case {
        const char* what;
        TFormTable table;
    } cases[] = {
        {"unknown class", {{}, {{"TNoSuchThing", "X", "", {}, nullptr}}}},
        {"unknown property", {{}, {{"TPanel", "P", "", {{"Flavour", 3}}, nullptr}}}},
        {"bad enum", {{}, {{"TPanel", "P", "", {{"Align", "alSideways"}}, nullptr}}}},
        {"bad number", {{}, {{"TPanel", "P", "", {{"Width", "wide"}}, nullptr}}}},
        {"missing parent", {{}, {{"TButton", "B", "Nowhere", {}, nullptr}}}},
        {"bad set element", {{}, {{"TPanel", "P", "", {{"Anchors", "[akLeft,akMiddle]"}}, nullptr}}}},
    };
    for (const Case& c : cases) {
        struct Factory : BadForm {
            using BadForm::BadForm;
        };
        auto* f = new Factory(Application);
        f->table = &c.table;
        EXPECT_THROW(f->AfterConstruction(), Exception) << c.what;
        delete f;
    }
    EXPECT_TRUE(win::test::MessageBoxes().empty());
}

TEST_F(FormsTest, FormParentedIntoAForeignWindowTakesItsClientCoordinates) {
    win::HWND host = win::test::CreateForeignWindow(200, 150);
    ASSERT_NE(host, nullptr);
    struct TPreview : TForm {
        explicit TPreview(TComponent* o) : TForm(o) {}
        const TFormTable* FormTable() const override {
            static const TFormTable t{{{"BorderStyle", "bsNone"},
                                       {"Caption", "Preview"},
                                       {"ClientWidth", 180},
                                       {"ClientHeight", 136},
                                       {"Color", "clRed"}},
                                      {{"TImage", "Image1", "", {{"Align", "alClient"}, {"Stretch", true}}, nullptr}}};
            return &t;
        }
    };
    // As the player does it: the main form (its window already made), sized to the host's
    // rectangle, parented into it, then the loop.
    TPreview* f = nullptr;
    Application->CreateForm(f);
    ASSERT_TRUE(f->HandleAllocated());
    f->OnShow = [](TObject*) { win::ShowWindow(Application->GetHandle(), win::SW_HIDE); };
    win::RECT hr;
    ASSERT_TRUE(win::GetWindowRect(host, &hr));
    f->SetWidth(hr.right - hr.left);
    f->SetHeight(hr.bottom - hr.top);
    f->SetParentWindow(host);
    EXPECT_FALSE(win::IsWindowVisible(f->GetHandle()));
    win::ClockSetHorizon(win::ClockNowTicks() + 1000 * win::kTicksPerMs);
    Application->Run();
    ASSERT_TRUE(f->HandleAllocated());
    EXPECT_EQ(win::GetParent(f->GetHandle()), host);
    EXPECT_TRUE(win::GetWindowLongA(f->GetHandle(), win::GWL_STYLE) & win::WS_CHILD);
    win::POINT hostOrigin;
    win::ClientToScreen(host, &hostOrigin);
    win::POINT o = f->GetClientOrigin();
    EXPECT_EQ(o.x, hostOrigin.x);
    EXPECT_EQ(o.y, hostOrigin.y);
    EXPECT_EQ(f->GetLeft(), 0);
    EXPECT_EQ(f->GetTop(), 0);
    EXPECT_EQ(f->GetClientWidth(), 200);
    EXPECT_EQ(Find<TImage>(f, "Image1")->GetWidth(), 200);
    EXPECT_EQ(Find<TImage>(f, "Image1")->GetHeight(), 150);
    EXPECT_FALSE(win::IsWindowVisible(Application->GetHandle()));
    // The red client shows inside the host.
    EXPECT_EQ(CountPixels(win::RECT{o.x, o.y, o.x + 200, o.y + 150}, 0xFF0000), 200 * 150);
    // The preview lives as long as its host: when the host goes, the application ends.
    auto quitPending = [] {
        win::MSG m;
        return win::PeekMessageA(&m, nullptr, win::WM_QUIT, win::WM_QUIT, win::PM_NOREMOVE) != 0;
    };
    EXPECT_FALSE(quitPending());
    win::DestroyWindow(host);
    EXPECT_FALSE(f->HandleAllocated());
    EXPECT_TRUE(quitPending());
}

TEST_F(FormsTest, ClosingTheMainFormEndsTheLoopAndDestroysInOrder) {
    TLayoutForm* f = nullptr;
    Application->CreateForm(f);
    f->OnClose = [](TObject*, TCloseAction& a) {
        Log("OnClose");
        EXPECT_EQ(a, caHide);
    };
    // The owner frees the form while it is whole: the handler may use the derived form.
    f->OnDestroy = [f](TObject*) { Log(f->ok ? "OnDestroy" : "OnDestroy without OK"); };
    f->OnShow = [](TObject*) { Log("OnShow"); };
    f->OnActivate = [](TObject* s) {
        Log("OnActivate");
        static_cast<TCustomForm*>(s)->Close();
    };
    log.clear();
    win::ClockSetHorizon(win::ClockNowTicks() + 10'000 * win::kTicksPerMs);
    Application->Run();
    EXPECT_TRUE(Application->GetTerminated());
    EXPECT_LT(win::ClockNowTicks(), 10'000 * win::kTicksPerMs);  // ended by Terminate, not the horizon
    EXPECT_EQ(log, (std::vector<std::string>{"OnShow", "OnActivate", "OnClose"}));
    ControlsShutDown();
    EXPECT_EQ(log.back(), "OnDestroy");
    ControlsStartUp();
}

TEST_F(FormsTest, CloseQueryAndCloseActions) {
    TLayoutForm* main = nullptr;
    Application->CreateForm(main);
    TLayoutForm* other = NewForm<TLayoutForm>(Application);
    other->Show();
    bool allow = false;
    other->OnCloseQuery = [&](TObject*, bool& can) { can = allow; };
    other->Close();
    EXPECT_TRUE(other->GetVisible());
    allow = true;
    other->Close();
    EXPECT_FALSE(other->GetVisible());
    EXPECT_FALSE(Application->GetTerminated());
    other->Show();
    other->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    bool destroyed = false;
    other->OnDestroy = [&](TObject*) { destroyed = true; };
    win::SendMessageA(other->GetHandle(), win::WM_CLOSE, 0, 0);  // from outside: the same path
    EXPECT_FALSE(destroyed);                                     // freed after the queued messages
    Application->ProcessMessages();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(Application->GetComponentCount(), 1);
}

struct ReportCase {
    std::string message;
    std::string shown;
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << '"' << c.message << '"'; }

class ReportTest : public ControlsTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportTest, HandleExceptionShowsTheMessageWithTheTitle) {
    const ReportCase& c = GetParam();
    try {
        throw EConvertError(c.message);
    } catch (...) {
        Application->HandleException(nullptr);
    }
    auto boxes = win::test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.shown);
    EXPECT_EQ(boxes[0].caption, "Lumetra");
    EXPECT_EQ(boxes[0].type, win::MB_OK | win::MB_ICONSTOP);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReportTest,
    ::testing::Values(ReportCase{"'x' is not a valid integer value", "'x' is not a valid integer value."},
                      ReportCase{"Stream read error", "Stream read error."}, ReportCase{"Done.", "Done."},
                      ReportCase{"Stop!", "Stop!"},
                      ReportCase{"List index out of bounds (5)", "List index out of bounds (5)"},
                      ReportCase{"abc,", "abc,"}, ReportCase{"abc/", "abc/."}, ReportCase{"Ошибка", "Ошибка."},
                      ReportCase{"", ""}),
    [](const ::testing::TestParamInfo<ReportCase>& i) { return "Case" + std::to_string(i.index); });

TEST_F(FormsTest, AbortIsSilentAndOnExceptionReplacesTheBox) {
    try {
        throw EAbort("Operation aborted");
    } catch (...) {
        Application->HandleException(nullptr);
    }
    EXPECT_TRUE(win::test::MessageBoxes().empty());
    std::string seen;
    Application->OnException = [&](TObject*, const Exception& e) { seen = e.Message; };
    try {
        throw std::runtime_error("plain failure");
    } catch (...) {
        Application->HandleException(nullptr);
    }
    EXPECT_EQ(seen, "plain failure");
    EXPECT_TRUE(win::test::MessageBoxes().empty());
}

}  // namespace
}  // namespace cl::testing_controls
