// The parameters preview dialog on a real X screen (SDL backend under Xvfb): it shows its
// GIF page with the colour panel of the parameters, and Enter closes it with OK.
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

std::string ReadAll(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Points of exactly that colour on the screen.
int Count(const lumetra_test::XwdImage& img, uint32_t rgb) {
    int n = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) n += img.At(x, y) == rgb;
    return n;
}

TEST(PreviewsDialogOnX, ShowsItsPageAndEnterAccepts) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::PrivateDir dir("ie_previews_x");
    ASSERT_TRUE(dir.Ok());
    lumetra_test::XServer x;
    ASSERT_TRUE(x.Start(800, 600));
    const std::string out = dir / "stdout.txt";
    lumetra_test::Program p({IE_IOPREVIEWS_PROBE},
                            {{"DISPLAY", x.Display()},
                             {"LUMETRA_DISPLAY", "sdl"},
                             {"LUMETRA_CLOCK", "real"},
                             {"TMPDIR", dir.Path().string()},
                             {"SDL_AUDIODRIVER", "dummy"},
                             {"LUMETRA_INPUT", ""},
                             {"WAYLAND_DISPLAY", ""}},
                            "", out);
    // The transparent-colour panel of the GIF page: 30 x 20 less its bevel.
    bool shown = false;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!shown && Clock::now() < end) {
        lumetra_test::XwdImage img;
        shown = lumetra_test::Screenshot(x.Display(), &img) && Count(img, 0x123456u) >= 28 * 18;
        if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(shown) << "the dialog never showed its GIF page: " << ReadAll(out);
    EXPECT_NE(ReadAll(out).find("shown"), std::string::npos);
    ASSERT_EQ(lumetra_test::XdoTool(x.Display(), "key Return"), 0);
    ASSERT_TRUE(p.WaitEnd(20000)) << "the dialog stayed open";
    EXPECT_TRUE(p.ExitedWith(0)) << p.Status();
    EXPECT_NE(ReadAll(out).find("accepted 8"), std::string::npos) << ReadAll(out);
}

}  // namespace
