// The screen device on a desktop: over a page of a page control the X screen keeps the old
// page while the pages are switched underneath, and shows the new one after the run.
#include <gtest/gtest.h>

#include "../classlib/desktop_controls.h"
#include "te_test_device.h"
#include "transitions/teVclScr.h"

using namespace desktoptest;

TEST(ScreenDeviceOnTheDesktop, APageTurnedUnderThePreparedEffectStaysFrozenUntilTheRun) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is not installed";
    ControlsDesktop desktop;  // the test program's headless windows give way to the desktop
    ASSERT_TRUE(desktop.Start());
    TwoPageForm f;
    const win::POINT page = f.PageMiddle();
    EXPECT_TRUE(PumpUntil([&] { return desktop.Shows(page, cl::clRed); }, 5000)) << "the first page on the X screen";

    tetest::TTestEffect e(nullptr);
    e.Info = te::tetiMillisecondsCapable | te::tetiNeedSrcBmp | te::tetiNeedDstBmp;
    e.FrameCount = 3;
    e.Milliseconds = 150;
    ASSERT_TRUE(e.Prepare(f.red, te::MakeRect(0, 0, f.red->GetClientWidth(), f.red->GetClientHeight())));
    f.pages->SetActivePage(f.blue);
    // However long the desktop takes, the old page stays.
    PumpUntil([] { return false; }, 600);
    EXPECT_TRUE(desktop.Shows(page, cl::clRed)) << "the old page is frozen while the pages are switched";
    e.Execute();
    EXPECT_FALSE(te::TransitionPrepared());
    EXPECT_TRUE(PumpUntil([&] { return desktop.Shows(page, cl::clBlue); }, 5000)) << "the new page after the run";
}
