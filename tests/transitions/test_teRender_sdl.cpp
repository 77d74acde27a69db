// The screen device on a desktop: over a page of a page control the X screen keeps the old
// page while the pages are switched underneath, and shows the new one after the run.
#include <gtest/gtest.h>

#include <string>

#include "../classlib/xvfb_screen.h"
#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/user.h"
#include "te_test_util.h"
#include "transitions/teVclScr.h"

using namespace xvfbtest;

namespace {

uint32_t Rgb(cl::TColor c) {
    const uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

}  // namespace

TEST(ScreenDeviceOnTheDesktop, APageTurnedUnderThePreparedEffectStaysFrozenUntilTheRun) {
    if (!Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Installed("xwd") && Installed("xdotool")) << "xwd and xdotool come with Xvfb in scripts/setup";
    VirtualDisplay x;
    ASSERT_TRUE(x.Start("320x240x24"));
    const char* oldDisplay = std::getenv("DISPLAY");
    const std::string savedDisplay = oldDisplay ? oldDisplay : "";
    // The test program's headless windows give way to the desktop for this test.
    cl::ControlsShutDown();
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
    red->SetColor(cl::clRed);
    red->SetPageControl(pc);
    auto* blue = new cl::TTabSheet(form);
    blue->SetColor(cl::clBlue);
    blue->SetPageControl(pc);
    form->Show();

    const win::RECT d = pc->DisplayRect();
    const win::POINT page = pc->ClientToScreen(win::POINT{(d.left + d.right) / 2, (d.top + d.bottom) / 2});
    XScreen s;
    auto pump = [] { cl::Application->ProcessMessages(); };
    auto shows = [&](cl::TColor c) { return Grab(x.Name(), s) && s.At(page.x, page.y) == Rgb(c); };
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clRed); }, 5000)) << "the first page on the X screen";

    tetest::TTestEffect e(nullptr);
    e.Info = te::tetiMillisecondsCapable | te::tetiNeedSrcBmp | te::tetiNeedDstBmp;
    e.FrameCount = 3;
    e.Milliseconds = 150;
    ASSERT_TRUE(e.Prepare(red, te::MakeRect(0, 0, red->ClientWidth(), red->ClientHeight())));
    pc->SetActivePage(blue);
    // However long the desktop takes, the old page stays.
    PumpUntil(pump, [] { return false; }, 600);
    EXPECT_TRUE(shows(cl::clRed)) << "the old page is frozen while the pages are switched";
    e.Execute();
    EXPECT_FALSE(te::TransitionPrepared());
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clBlue); }, 5000)) << "the new page after the run";

    delete form;
    cl::ControlsShutDown();
    win::PlatformShutDown();
    unsetenv("LUMETRA_DISPLAY");
    if (savedDisplay.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    // Back to the headless screen and the virtual clock the other tests of the program use.
    win::SetClockMode(win::ClockMode::Virtual);
    win::test::ResetUser(640, 480);
    cl::ControlsStartUp();
}
