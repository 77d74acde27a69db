// The view on a real X screen (SDL backend under a private Xvfb): the picture zoomed to 50 %
// and centred reaches the screen with the pixels the coordinate tables choose, and the
// background around it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../classlib/desktop_controls.h"
#include "view_testutil.h"

namespace ie::test {
namespace {

constexpr int kW = 300, kH = 200;

TEST(ViewOnX, ZoomedPictureReachesTheScreen) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    desktoptest::ControlsDesktop desk;
    ASSERT_TRUE(desk.Start(400, 300));
    {
        std::unique_ptr<cl::TForm> form(cl::NewForm<cl::TForm>(nullptr));
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(20, 20, kW, kH);
        auto* v = new TVovozIdView(form.get());  // owned by the form
        v->SetBorderStyle(cl::bsNone);
        v->SetParent(form.get());
        v->SetAlign(cl::alClient);
        v->SetBackground(0x00204080);
        FillCoordPicture(v->GetIEBitmap(), 360, 240);
        v->Update();
        form->Show();
        v->SetZoom(50);  // 180 x 120, centred at (60, 40)
        cl::Application->ProcessMessages();
        ASSERT_EQ(v->GetOffsetX(), 60);
        ASSERT_EQ(v->GetOffsetY(), 40);
        const win::POINT o = v->ClientToScreen(win::POINT{0, 0});
        int differences = -1;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            cl::Application->ProcessMessages();
            lumetra_test::XwdImage img;
            if (lumetra_test::Screenshot(desk.Display(), &img) && img.width >= o.x + kW && img.height >= o.y + kH) {
                differences = 0;
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) {
                        uint32_t want = ScreenRGB(0x00204080);
                        if (x >= 60 && x < 240 && y >= 40 && y < 160) want = CoordColor(2 * (x - 60), 2 * (y - 40));
                        differences += (img.At(o.x + x, o.y + y) & 0xFFFFFF) != want;
                    }
                if (differences == 0) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(differences, 0) << "pixels of the X screen that differ from the zoomed picture";
    }
}

}  // namespace
}  // namespace ie::test
