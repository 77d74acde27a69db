// The screen device on a desktop: over a page of a page control the X screen keeps the old
// page while the pages are switched underneath, and shows the new one after the run.
#include <gtest/gtest.h>

#include <string>

#include "../classlib/xvfb_screen.h"
#include "te_test_util.h"
#include "transitions/teVclScr.h"

using namespace xvfbtest;

TEST(ScreenDeviceOnTheDesktop, APageTurnedUnderThePreparedEffectStaysFrozenUntilTheRun) {
    if (!Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Installed("xwd") && Installed("xdotool")) << "xwd and xdotool come with Xvfb in scripts/setup";
    DesktopSession desktop;  // the test program's headless windows give way to the desktop
    ASSERT_TRUE(desktop.Start());

    TwoPageForm f;
    const win::POINT page = f.PageMiddle();
    XScreen s;
    auto pump = &DesktopSession::Pump;
    auto shows = [&](cl::TColor c) { return Grab(desktop.Display(), s) && s.At(page.x, page.y) == ScreenRgb(c); };
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clRed); }, 5000)) << "the first page on the X screen";

    tetest::TTestEffect e(nullptr);
    e.Info = te::tetiMillisecondsCapable | te::tetiNeedSrcBmp | te::tetiNeedDstBmp;
    e.FrameCount = 3;
    e.Milliseconds = 150;
    ASSERT_TRUE(e.Prepare(f.red, te::MakeRect(0, 0, f.red->ClientWidth(), f.red->ClientHeight())));
    f.pages->SetActivePage(f.blue);
    // However long the desktop takes, the old page stays.
    PumpUntil(pump, [] { return false; }, 600);
    EXPECT_TRUE(shows(cl::clRed)) << "the old page is frozen while the pages are switched";
    e.Execute();
    EXPECT_FALSE(te::TransitionPrepared());
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clBlue); }, 5000)) << "the new page after the run";
}
