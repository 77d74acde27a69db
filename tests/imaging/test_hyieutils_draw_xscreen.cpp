// The palette dialog on a real X screen (SDL backend under Xvfb): the cells are painted in
// their colours, and pointing at one and clicking it chooses that colour.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "../common/child_process.h"
#include "../common/private_dir.h"
#include "../common/xvfb_desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The probe with its stdout in a file of the test's private folder.
lumetra_test::Program StartProbe(const std::string& display, const std::string& dir, const std::string& out) {
    return lumetra_test::Program({IE_PALETTE_DIALOG_PROBE},
                                 {{"DISPLAY", display},
                                  {"LUMETRA_DISPLAY", "sdl"},
                                  {"LUMETRA_CLOCK", "real"},
                                  {"TMPDIR", dir},
                                  {"SDL_AUDIODRIVER", "dummy"},
                                  {"LUMETRA_INPUT", ""},
                                  {"WAYLAND_DISPLAY", ""}},
                                 "", out);
}

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
    lumetra_test::PrivateDir dir("ie_palette_x");
    ASSERT_TRUE(dir.Ok());
    lumetra_test::XServer x;
    ASSERT_TRUE(x.Start(640, 480));
    const std::string out = dir / "stdout.txt";
    lumetra_test::Program p = StartProbe(x.Display(), dir.Path().string(), out);
    // Wait for the cells: every entry's colour somewhere on the screen, one cell apart.
    int x0 = 0, y0 = 0, x37 = 0, y37 = 0;
    bool painted = false;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!painted && Clock::now() < end) {
        lumetra_test::XwdImage img;
        if (lumetra_test::Screenshot(x.Display(), &img) && Find(img, Entry(0), x0, y0) &&
            Find(img, Entry(37), x37, y37)) {
            painted = true;
            int xl = 0, yl = 0;
            ASSERT_TRUE(Find(img, Entry(255), xl, yl));
            EXPECT_EQ(xl - x0, 31 * 16);  // the last cell: column 31, row 7
            EXPECT_EQ(yl - y0, 7 * 16);
            EXPECT_EQ(x37 - x0, 5 * 16);  // entry 37: column 5, row 1
            EXPECT_EQ(y37 - y0, 16);
            EXPECT_EQ(img.At(x0 - 1, y0 + 5), 0xFFFFFFu);  // the white frame of an unselected cell
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_TRUE(painted) << "the dialog never painted its cells: " << ReadAll(out);
    // Point at entry 37: its frame turns black; then click it.
    const std::string at = std::to_string(x37 + 6) + " " + std::to_string(y37 + 6);
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "mousemove " + at), 0);
    bool framed = false;
    const auto end2 = Clock::now() + std::chrono::seconds(10);
    while (!framed && Clock::now() < end2) {
        lumetra_test::XwdImage img;
        framed = lumetra_test::Screenshot(x.Display(), &img) && img.At(x37 - 1, y37 + 5) == 0x000000u;
        if (!framed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(framed) << "the cell under the pointer is not framed black";
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "click 1"), 0);
    ASSERT_TRUE(p.WaitEnd(20000)) << "the dialog stayed open";
    EXPECT_TRUE(p.ExitedWith(0)) << p.Status();
    char want[32];
    std::snprintf(want, sizeof want, "chosen %06X", Entry(37));
    EXPECT_NE(ReadAll(out).find(want), std::string::npos) << ReadAll(out);
}

}  // namespace
