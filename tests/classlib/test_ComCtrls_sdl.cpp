// The page control on a desktop: the SDL backend on a virtual X server shows its tabs and the
// active page on the X screen, and X mouse clicks and keys turn the pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/user.h"
#include "xvfb_screen.h"

using namespace xvfbtest;

namespace {

uint32_t Rgb(cl::TColor c) {
    const uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

}  // namespace

TEST(PageControlOnTheDesktop, TabsShowOnTheXScreenAndXClicksAndKeysTurnThePages) {
    if (!Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Installed("xwd") && Installed("xdotool")) << "xwd and xdotool come with Xvfb in scripts/setup";
    VirtualDisplay x;
    ASSERT_TRUE(x.Start("320x240x24"));
    const char* oldDisplay = std::getenv("DISPLAY");
    const std::string savedDisplay = oldDisplay ? oldDisplay : "";
    setenv("DISPLAY", x.Name().c_str(), 1);
    setenv("LUMETRA_DISPLAY", "sdl", 1);
    KeepXLibrariesLoaded();
    win::SetClockMode(win::ClockMode::Real);
    win::PlatformStartUp();
    ASSERT_STREQ(win::test::BackendName(), "sdl");
    cl::ControlsStartUp();
    cl::Application->Initialize();

    auto* form = cl::NewForm<cl::TForm>(nullptr);
    form->SetBorderStyle(cl::bsNone);
    form->SetBounds(20, 20, 240, 170);
    form->SetColor(cl::clWhite);
    auto* pc = new cl::TPageControl(form);
    pc->SetParent(form);
    pc->SetBounds(10, 10, 220, 150);
    auto* red = new cl::TTabSheet(form);
    red->SetCaption("Red");
    red->SetColor(cl::clRed);
    red->SetPageControl(pc);
    auto* blue = new cl::TTabSheet(form);
    blue->SetCaption("Blue");
    blue->SetColor(cl::clBlue);
    blue->SetPageControl(pc);
    std::vector<std::string> changes;
    pc->OnChange = [&](cl::TObject*) { changes.push_back(pc->ActivePage()->Caption()); };
    form->Show();

    const win::RECT d = pc->DisplayRect();
    const win::POINT page = pc->ClientToScreen(win::POINT{(d.left + d.right) / 2, (d.top + d.bottom) / 2});
    const int th = pc->TabHeight();
    const win::POINT frameTop = pc->ClientToScreen(win::POINT{200, th + 2});
    const win::POINT beside = pc->ClientToScreen(win::POINT{200, 4});
    XScreen s;
    auto pump = [] { cl::Application->ProcessMessages(); };
    auto shows = [&](cl::TColor c) { return Grab(x.Name(), s) && s.At(page.x, page.y) == Rgb(c); };
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clRed); }, 5000)) << "the first page on the X screen";
    EXPECT_EQ(s.At(frameTop.x, frameTop.y), Rgb(cl::clBtnHighlight)) << "the raised frame";
    EXPECT_EQ(s.At(beside.x, beside.y), Rgb(cl::clBtnFace)) << "the tab row";

    // A click on the second tab.
    const win::RECT t = pc->TabRect(1);
    const win::POINT tab = pc->ClientToScreen(win::POINT{(t.left + t.right) / 2, (t.top + t.bottom) / 2});
    const std::string xdo = "DISPLAY=" + x.Name() + " xdotool ";
    ASSERT_EQ(std::system((xdo + "mousemove --sync " + std::to_string(tab.x) + " " + std::to_string(tab.y) +
                           " click 1").c_str()),
              0);
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clBlue); }, 5000)) << "the second page after the click";
    EXPECT_EQ(changes, (std::vector<std::string>{"Blue"}));
    EXPECT_TRUE(pc->Focused());

    // Ctrl+Tab from the keyboard, round to the first page.
    const uint64_t xid = win::test::NativeWindowId(form->Handle());
    ASSERT_NE(xid, 0u);
    ASSERT_EQ(std::system((xdo + "windowfocus --sync " + std::to_string(xid) + " key --clearmodifiers ctrl+Tab").c_str()),
              0);
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clRed); }, 5000)) << "the first page after Ctrl+Tab";
    EXPECT_EQ(changes, (std::vector<std::string>{"Blue", "Red"}));

    delete form;
    cl::ControlsShutDown();
    win::PlatformShutDown();
    unsetenv("LUMETRA_DISPLAY");
    if (savedDisplay.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    win::test::ResetUser();
}
