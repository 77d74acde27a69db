// The parameters preview dialog on a real X screen (SDL backend under Xvfb): it shows its
// GIF page with the colour panel of the parameters, and Enter closes it with OK.
#include <gtest/gtest.h>

#include <string>

#include "../common/xvfb_desktop.h"

namespace {

// Points of exactly that colour on the screen.
int Count(const lumetra_test::XwdImage& img, uint32_t rgb) {
    int n = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) n += img.At(x, y) == rgb;
    return n;
}

TEST(PreviewsDialogOnX, ShowsItsPageAndEnterAccepts) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::DesktopProgram p("ie_previews_x");
    ASSERT_TRUE(p.Start({IE_IOPREVIEWS_PROBE}, 800, 600));
    // The transparent-colour panel of the GIF page: 30 x 20 less its bevel.
    const bool shown = lumetra_test::WaitForScreen(
        p.Display(), 30000, [](const lumetra_test::XwdImage& img) { return Count(img, 0x123456u) >= 28 * 18; });
    ASSERT_TRUE(shown) << "the dialog never showed its GIF page: " << p.Output();
    EXPECT_NE(p.Output().find("shown"), std::string::npos);
    ASSERT_EQ(lumetra_test::XdoTool(p.Display(), "key Return"), 0);
    ASSERT_TRUE(p.Process().WaitEnd(20000)) << "the dialog stayed open";
    EXPECT_TRUE(p.Process().ExitedWith(0)) << p.Process().Status();
    EXPECT_NE(p.Output().find("accepted 8"), std::string::npos) << p.Output();
}

}  // namespace
