// In-place text editing on a real X screen (SDL backend under Xvfb): F2 on the selected text
// object of a vector view opens the editor, keys typed on the X keyboard go into it, Enter
// gives the text to the object, and the view paints it where the object is.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "../common/child_process.h"
#include "../common/private_dir.h"
#include "../common/xvfb_desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPicture = 0x3366CC;  // the view's picture

std::string ReadAll(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The top-left pixel of the view (the first of the picture's colour, rows from the top).
bool FindView(const lumetra_test::XwdImage& img, int& x, int& y) {
    for (y = 0; y < img.height; ++y)
        for (x = 0; x < img.width; ++x)
            if (img.At(x, y) == kPicture) return true;
    return false;
}

int CountIn(const lumetra_test::XwdImage& img, int ox, int oy, int l, int t, int r, int b, uint32_t rgb) {
    int n = 0;
    for (int y = oy + t; y < oy + b; ++y)
        for (int x = ox + l; x < ox + r; ++x)
            if (img.At(x, y) == rgb) ++n;
    return n;
}

TEST(VectEditOnX, TextEditOnX) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::PrivateDir dir("ie_vectedit_x");
    ASSERT_TRUE(dir.Ok());
    lumetra_test::XServer x;
    ASSERT_TRUE(x.Start(640, 480));
    const std::string out = dir / "stdout.txt";
    lumetra_test::Program p({IE_VECTEDIT_PROBE},
                            {{"DISPLAY", x.Display()},
                             {"LUMETRA_DISPLAY", "sdl"},
                             {"LUMETRA_CLOCK", "real"},
                             {"TMPDIR", dir.Path().string()},
                             {"SDL_AUDIODRIVER", "dummy"},
                             {"LUMETRA_INPUT", ""},
                             {"WAYLAND_DISPLAY", ""}},
                            "", out);
    // The view is up: the picture's colour, and the empty text object draws nothing.
    int ox = 0, oy = 0;
    bool shown = false;
    auto end = Clock::now() + std::chrono::seconds(30);
    while (!shown && Clock::now() < end) {
        lumetra_test::XwdImage img;
        shown = ReadAll(out).find("shown") != std::string::npos && lumetra_test::Screenshot(x.Display(), &img) &&
                FindView(img, ox, oy) && img.At(ox + 239, oy + 139) == kPicture;
        if (shown) {
            EXPECT_EQ(CountIn(img, ox, oy, 60, 30, 80, 47, kPicture), 20 * 17);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_TRUE(shown) << "the view never showed: " << ReadAll(out);
    // The X keyboard follows the pointer: onto the object, and a click on it (the view keeps
    // the focus and the object stays selected).
    const std::string at = std::to_string(ox + 70) + " " + std::to_string(oy + 40);
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "mousemove " + at), 0);
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "click 1"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "key F2"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "type --delay 80 hi"), 0);
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "key Return"), 0);
    end = Clock::now() + std::chrono::seconds(20);
    while (ReadAll(out).find("text=hi\n") == std::string::npos && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_NE(ReadAll(out).find("text=hi\n"), std::string::npos) << ReadAll(out);
    // The object's box is white with "h" and "i" of the test font centred in it: two glyph
    // boxes of 5 x 8 black pixels, the pen at x 43 and 50 of the box, 13 rows down (the
    // selection grips lie at the corners and the middles of the sides, away from them).
    bool painted = false;
    int black = 0, white = 0, h = 0, i = 0;
    end = Clock::now() + std::chrono::seconds(20);
    while (!painted && Clock::now() < end) {
        lumetra_test::XwdImage img;
        if (lumetra_test::Screenshot(x.Display(), &img)) {
            black = CountIn(img, ox, oy, 40, 30, 100, 50, 0);
            white = CountIn(img, ox, oy, 40, 30, 100, 50, 0xFFFFFF);
            h = CountIn(img, ox, oy, 64, 35, 69, 43, 0);
            i = CountIn(img, ox, oy, 71, 35, 76, 43, 0);
            painted = black == 80 && h == 40 && i == 40 && white == 60 * 20 - 80;
        }
        if (!painted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(painted) << "black " << black << ", white " << white << ", glyphs " << h << ", " << i;
}

}  // namespace
