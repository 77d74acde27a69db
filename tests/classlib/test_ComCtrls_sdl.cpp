// The page control on a desktop: the SDL backend on a virtual X server shows its tabs and the
// active page on the X screen, and X mouse clicks and keys turn the pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xvfb_screen.h"

using namespace xvfbtest;

TEST(PageControlOnTheDesktop, TabsShowOnTheXScreenAndXClicksAndKeysTurnThePages) {
    if (!Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Installed("xwd") && Installed("xdotool")) << "xwd and xdotool come with Xvfb in scripts/setup";
    DesktopSession desktop;
    ASSERT_TRUE(desktop.Start());

    TwoPageForm f;
    cl::TPageControl* pc = f.pages;
    std::vector<std::string> changes;
    pc->OnChange = [&](cl::TObject*) { changes.push_back(pc->ActivePage()->Caption()); };
    const win::POINT page = f.PageMiddle();
    const int th = pc->TabHeight();
    const win::POINT frameTop = pc->ClientToScreen(win::POINT{200, th + 2});
    const win::POINT beside = pc->ClientToScreen(win::POINT{200, 4});
    XScreen s;
    auto pump = &DesktopSession::Pump;
    auto shows = [&](cl::TColor c) { return Grab(desktop.Display(), s) && s.At(page.x, page.y) == ScreenRgb(c); };
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clRed); }, 5000)) << "the first page on the X screen";
    EXPECT_EQ(s.At(frameTop.x, frameTop.y), ScreenRgb(cl::clBtnHighlight)) << "the raised frame";
    EXPECT_EQ(s.At(beside.x, beside.y), ScreenRgb(cl::clBtnFace)) << "the tab row";

    // A click on the second tab.
    const win::RECT t = pc->TabRect(1);
    const win::POINT tab = pc->ClientToScreen(win::POINT{(t.left + t.right) / 2, (t.top + t.bottom) / 2});
    const std::string xdo = "DISPLAY=" + desktop.Display() + " xdotool ";
    ASSERT_EQ(std::system((xdo + "mousemove --sync " + std::to_string(tab.x) + " " + std::to_string(tab.y) +
                           " click 1").c_str()),
              0);
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clBlue); }, 5000)) << "the second page after the click";
    EXPECT_EQ(changes, (std::vector<std::string>{"Blue"}));
    EXPECT_TRUE(pc->Focused());

    // Ctrl+Tab from the keyboard, round to the first page.
    const uint64_t xid = win::test::NativeWindowId(f.form->Handle());
    ASSERT_NE(xid, 0u);
    ASSERT_EQ(std::system((xdo + "windowfocus --sync " + std::to_string(xid) + " key --clearmodifiers ctrl+Tab").c_str()),
              0);
    EXPECT_TRUE(PumpUntil(pump, [&] { return shows(cl::clRed); }, 5000)) << "the first page after Ctrl+Tab";
    EXPECT_EQ(changes, (std::vector<std::string>{"Blue", "Red"}));
}
