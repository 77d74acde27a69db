// The page control on a desktop: the SDL backend on a private X server shows its tabs and
// the active page on the X screen, and X mouse clicks and keys turn the pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop_controls.h"
#include "platform/user_testhooks.h"

using namespace desktoptest;

TEST(PageControlOnTheDesktop, TabsShowOnTheXScreenAndXClicksAndKeysTurnThePages) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is not installed";
    ControlsDesktop desktop;
    ASSERT_TRUE(desktop.Start());
    TwoPageForm f;
    cl::TPageControl* pc = f.pages;
    std::vector<std::string> changes;
    pc->OnChange = [&](cl::TObject*) { changes.push_back(pc->GetActivePage()->GetCaption()); };
    const win::POINT page = f.PageMiddle();
    const int th = pc->GetTabHeight();
    EXPECT_TRUE(PumpUntil([&] { return desktop.Shows(page, cl::clRed); }, 5000)) << "the first page on the X screen";
    EXPECT_TRUE(desktop.Shows(pc->ClientToScreen(win::POINT{200, th + 2}), cl::clBtnHighlight)) << "the raised frame";
    EXPECT_TRUE(desktop.Shows(pc->ClientToScreen(win::POINT{200, 4}), cl::clBtnFace)) << "the tab row";

    // A click on the second tab.
    const win::RECT t = pc->TabRect(1);
    const win::POINT tab = pc->ClientToScreen(win::POINT{(t.left + t.right) / 2, (t.top + t.bottom) / 2});
    ASSERT_EQ(lumetra_test::XdoTool(desktop.Display(), "mousemove --sync " + std::to_string(tab.x) + " " +
                                                           std::to_string(tab.y) + " click 1"),
              0);
    EXPECT_TRUE(PumpUntil([&] { return desktop.Shows(page, cl::clBlue); }, 5000)) << "the second page after the click";
    EXPECT_EQ(changes, (std::vector<std::string>{"Blue"}));
    EXPECT_TRUE(pc->Focused());

    // Ctrl+Tab from the keyboard, round to the first page.
    const uint64_t xid = win::test::NativeWindowId(f.form->GetHandle());
    ASSERT_NE(xid, 0u);
    ASSERT_EQ(lumetra_test::XdoTool(desktop.Display(),
                                    "windowfocus --sync " + std::to_string(xid) + " key --clearmodifiers ctrl+Tab"),
              0);
    EXPECT_TRUE(PumpUntil([&] { return desktop.Shows(page, cl::clRed); }, 5000)) << "the first page after Ctrl+Tab";
    EXPECT_EQ(changes, (std::vector<std::string>{"Blue", "Red"}));
}
