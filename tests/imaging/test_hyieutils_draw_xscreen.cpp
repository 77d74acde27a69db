// The palette dialog on a real X screen (SDL backend under Xvfb): the cells are painted in
// their colours, and pointing at one and clicking it chooses that colour.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../common/xvfb_desktop.h"

namespace {

uint32_t Entry(int i) { return (uint32_t(i) << 16) | (uint32_t(255 - i) << 8) | uint32_t(i ^ 0x55); }

// The first screen point of that exact colour, scanning rows from the top.
bool Find(const lumetra_test::XwdImage& img, uint32_t rgb, int& x, int& y) {
    for (y = 0; y < img.height; ++y)
        for (x = 0; x < img.width; ++x)
            if (img.At(x, y) == rgb) return true;
    return false;
}

TEST(PaletteDialogOnX, CellsArePaintedAndAClickChooses) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::DesktopProgram p("ie_palette_x");
    ASSERT_TRUE(p.Start({IE_PALETTE_DIALOG_PROBE}, 640, 480));
    // Wait for the cells: every entry's colour somewhere on the screen, one cell apart.
    int x0 = 0, y0 = 0, x37 = 0, y37 = 0;
    const bool painted = lumetra_test::WaitForScreen(p.Display(), 30000, [&](const lumetra_test::XwdImage& img) {
        if (!Find(img, Entry(0), x0, y0) || !Find(img, Entry(37), x37, y37)) return false;
        int xl = 0, yl = 0;
        EXPECT_TRUE(Find(img, Entry(255), xl, yl));
        EXPECT_EQ(xl - x0, 31 * 16);  // the last cell: column 31, row 7
        EXPECT_EQ(yl - y0, 7 * 16);
        EXPECT_EQ(x37 - x0, 5 * 16);  // entry 37: column 5, row 1
        EXPECT_EQ(y37 - y0, 16);
        EXPECT_EQ(img.At(x0 - 1, y0 + 5), 0xFFFFFFu);  // the white frame of an unselected cell
        return true;
    });
    ASSERT_TRUE(painted) << "the dialog never painted its cells: " << p.Output();
    // Point at entry 37: its frame turns black; then click it.
    const std::string at = std::to_string(x37 + 6) + " " + std::to_string(y37 + 6);
    ASSERT_EQ(lumetra_test::XdoTool(p.Display(), "mousemove " + at), 0);
    const bool framed = lumetra_test::WaitForScreen(
        p.Display(), 10000, [&](const lumetra_test::XwdImage& img) { return img.At(x37 - 1, y37 + 5) == 0x000000u; });
    EXPECT_TRUE(framed) << "the cell under the pointer is not framed black";
    ASSERT_EQ(lumetra_test::XdoTool(p.Display(), "click 1"), 0);
    ASSERT_TRUE(p.Process().WaitEnd(20000)) << "the dialog stayed open";
    EXPECT_TRUE(p.Process().ExitedWith(0)) << p.Process().Status();
    char want[32];
    std::snprintf(want, sizeof want, "chosen %06X", Entry(37));
    EXPECT_NE(p.Output().find(want), std::string::npos) << p.Output();
}

}  // namespace
