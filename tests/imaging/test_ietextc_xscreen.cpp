// The rich-text control on a real X screen (SDL backend under Xvfb): text typed on the X
// keyboard shows in the control as glyphs of the test font, where the layout puts them.
#include <gtest/gtest.h>

#include <string>

#include "../common/xvfb_desktop.h"

namespace {

constexpr uint32_t kFill = 0x3366CC;  // the control's fill, frame and character background

// The top-left pixel of the control (the first of its colour, scanning rows from the top).
bool FindControl(const lumetra_test::XwdImage& img, int& x, int& y) {
    for (y = 0; y < img.height; ++y)
        for (x = 0; x < img.width; ++x)
            if (img.At(x, y) == kFill) return true;
    return false;
}

// Black pixels in a rectangle of the screenshot, relative to (ox, oy).
int BlackIn(const lumetra_test::XwdImage& img, int ox, int oy, int l, int t, int r, int b) {
    int n = 0;
    for (int y = oy + t; y < oy + b; ++y)
        for (int x = ox + l; x < ox + r; ++x)
            if (img.At(x, y) == 0) ++n;
    return n;
}

TEST(TextControlOnX, TypedTextShows) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::DesktopProgram p("ie_textcontrol_x");
    ASSERT_TRUE(p.Start({IE_TEXTCONTROL_PROBE}, 640, 480));
    // The empty control: its colour, and nothing black inside the frame.
    int ox = 0, oy = 0;
    const bool shown = lumetra_test::WaitForScreen(p.Display(), 30000, [&](const lumetra_test::XwdImage& img) {
        if (p.Output().find("shown") == std::string::npos || !FindControl(img, ox, oy) ||
            img.At(ox + 239, oy + 59) != kFill)
            return false;
        EXPECT_EQ(BlackIn(img, ox, oy, 1, 1, 239, 59), 0);
        return true;
    });
    ASSERT_TRUE(shown) << "the control never showed: " << p.Output();
    // Point into the control (the X keyboard follows the pointer), click, and type.
    const std::string at = std::to_string(ox + 120) + " " + std::to_string(oy + 30);
    ASSERT_EQ(lumetra_test::XdoTool(p.Display(), "mousemove " + at), 0);
    ASSERT_EQ(lumetra_test::XdoTool(p.Display(), "click 1"), 0);
    ASSERT_EQ(lumetra_test::XdoTool(p.Display(), "type --delay 80 hi"), 0);
    // "h" and "i" at pen x 1 and 8 on the baseline 12: boxes x 2 .. 6 and 9 .. 13, rows 4 .. 11;
    // nothing black after them.
    int h = 0, i = 0, rest = 0;
    const bool typed = lumetra_test::WaitForScreen(p.Display(), 20000, [&](const lumetra_test::XwdImage& img) {
        h = BlackIn(img, ox, oy, 2, 4, 7, 12);
        i = BlackIn(img, ox, oy, 9, 4, 14, 12);
        rest = BlackIn(img, ox, oy, 16, 1, 239, 59);
        return h == 40 && i == 40;
    });
    EXPECT_TRUE(typed) << "glyph pixels: " << h << ", " << i;
    EXPECT_EQ(rest, 0);
}

}  // namespace
