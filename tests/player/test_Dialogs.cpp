// The player's About box, preview and loading windows, on the headless screen.
#include <gtest/gtest.h>

#include <set>

#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/shell.h"
#include "platform/shell_testhooks.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "player/AboutDlg.h"
#include "player/LoadDlg.h"
#include "player/PlayerConfig.h"
#include "player/PlayerRes.h"
#include "player/PreviewDlg.h"

using namespace player;

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(1024, 768);
        cl::ControlsStartUp();
        cl::Application->Initialize();
        cl::Application->SetTitle("Lumetra");
        win::test::ClearShellExecutes();
    }
    void TearDown() override {
        cl::ControlsShutDown();
        win::test::ResetUser(1024, 768);
        win::SetClockMode(win::ClockMode::Real);
    }
    static void Click(cl::TControl* c) {
        win::POINT o = c->GetClientOrigin();
        win::test::MouseMove(o.x + 3, o.y + 3);
        win::test::MouseButton(win::test::Button::Left, true);
        win::test::MouseButton(win::test::Button::Left, false);
        cl::Application->ProcessMessages();
    }
    // Distinct colours inside a control's area on the screen.
    static size_t Colours(cl::TControl* c) {
        win::POINT o = c->GetClientOrigin();
        auto scr = win::test::ScreenComposite();
        std::set<uint32_t> seen;
        for (int y = o.y; y < o.y + c->GetHeight(); ++y)
            for (int x = o.x; x < o.x + c->GetWidth(); ++x) seen.insert(scr.At(x, y) & 0xFFFFFF);
        return seen.size();
    }
};

}  // namespace

TEST_F(Dialogs, ResourcesArePresent) {
    cl::TPicture picture;
    for (const char* name : {kResAboutPicture, kResPreviewPicture, kResLoadingPicture}) {
        EXPECT_TRUE(LoadPictureResource(&picture, name)) << name;
        EXPECT_GT(picture.GetWidth(), 0) << name;
    }
    EXPECT_FALSE(LoadPictureResource(&picture, "NOSUCHPICTURE"));
    cl::TIcon icon;
    EXPECT_TRUE(LoadMainIcon(&icon));
    EXPECT_EQ(icon.GetWidth(), 32);
}

TEST_F(Dialogs, AboutBoxLayoutTextsAndLinks) {
    LoadMainIcon(cl::Application->GetIcon());
    TAboutForm* about = nullptr;
    cl::Application->CreateForm(about);
    about->Show();
    cl::Application->ProcessMessages();
    EXPECT_EQ(about->GetCaption(), "О программе...");
    EXPECT_EQ(about->GetClientWidth(), 550);
    EXPECT_EQ(about->GetClientHeight(), 390);
    // Centred on the screen.
    EXPECT_EQ(about->GetLeft() + about->GetWidth() / 2, 512);
    EXPECT_EQ(about->Image1->GetWidth(), 550);
    EXPECT_EQ(about->Shape1->GetTop(), 336);
    EXPECT_EQ(about->Shape1->GetHeight(), 5);
    EXPECT_EQ(about->Label1->GetCaption(), "Lumetra");
    EXPECT_EQ(about->Label8->GetCaption(), "Сайт программы");
    EXPECT_EQ(about->Label9->GetCaption(), "Техническая поддержка");
    EXPECT_EQ(about->Label4->GetWidth(), 449);
    EXPECT_EQ(about->Button1->GetCaption(), "Закрыть");
    // Text and the icon are drawn.
    EXPECT_GT(Colours(about->Label3), 1u);
    EXPECT_GT(Colours(about->IconImage), 1u);

    Click(about->Label8);
    Click(about->Label9);
    auto opened = win::test::ShellExecutes();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].operation, "open");
    EXPECT_EQ(opened[0].file, kProductSiteURL);
    EXPECT_EQ(opened[1].file, kSupportURL);

    // Escape (the cancel button) closes the box, which ends the application.
    win::test::Key(win::VK_ESCAPE, true);
    win::test::Key(win::VK_ESCAPE, false);
    cl::Application->ProcessMessages();
    EXPECT_TRUE(cl::Application->GetTerminated());
}

TEST_F(Dialogs, PreviewFillsItsHostAndHidesTheApplicationWindow) {
    win::HWND host = win::test::CreateForeignWindow(200, 150);
    TPreviewForm* preview = nullptr;
    cl::Application->CreateForm(preview);
    win::ShowWindow(cl::Application->GetHandle(), win::SW_SHOW);
    preview->SetParentWindow(host);
    preview->SetWidth(200);
    preview->SetHeight(150);
    preview->Show();
    cl::Application->ProcessMessages();
    EXPECT_EQ(preview->GetCaption(), "Preview");
    EXPECT_FALSE(win::IsWindowVisible(cl::Application->GetHandle()));
    EXPECT_EQ(preview->Image1->GetWidth(), 200);
    EXPECT_EQ(preview->Image1->GetHeight(), 150);
    EXPECT_GT(Colours(preview->Image1), 10u);
}

TEST_F(Dialogs, LoadingWindow) {
    TLoadForm* load = cl::NewForm<TLoadForm>(cl::Application);
    load->Show();
    cl::Application->ProcessMessages();
    EXPECT_EQ(load->GetCaption(), "Загрузка...");
    EXPECT_EQ(load->GetClientWidth(), 423);
    EXPECT_EQ(load->GetClientHeight(), 80);
    EXPECT_EQ(load->Label1->GetCaption(), "Пожалуйста подождите, идет подготовка к просмотру...");
    EXPECT_GT(Colours(load->Image1), 2u);
    EXPECT_GT(Colours(load->Label1), 1u);
}
