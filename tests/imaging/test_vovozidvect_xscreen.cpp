// The vector view on a real X screen (SDL backend under a private Xvfb): a drag with the X
// pointer in box mode makes a box whose outline reaches the screen, and a drag of its edge
// moves it, outline and all.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "../common/sdl_desktop.h"
#include "../common/xvfb_desktop.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidvect.h"

namespace ie {
namespace {

void PumpFor(int Ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    while (std::chrono::steady_clock::now() < end) {
        cl::Application->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A left-button drag with the X pointer through the middle point.
bool XDrag(const std::string& Display, int X1, int Y1, int X2, int Y2) {
    auto at = [](int X, int Y) { return std::to_string(X) + " " + std::to_string(Y); };
    if (lumetra_test::XdoTool(Display, "mousemove --sync " + at(X1, Y1) + " mousedown 1") != 0) return false;
    PumpFor(200);
    if (lumetra_test::XdoTool(Display, "mousemove --sync " + at((X1 + X2) / 2, (Y1 + Y2) / 2)) != 0) return false;
    PumpFor(200);
    if (lumetra_test::XdoTool(Display, "mousemove --sync " + at(X2, Y2) + " mouseup 1") != 0) return false;
    return true;
}

// Pixels of the horizontal run X1 .. X2 where one of the rows Y - 1 .. Y + 1 is dark.
int DarkRun(const lumetra_test::XwdImage& Img, int X1, int X2, int Y) {
    auto dark = [](uint32_t P) { return ((P >> 16) & 255) < 0x60 && ((P >> 8) & 255) < 0x60 && (P & 255) < 0x60; };
    int n = 0;
    for (int x = X1; x <= X2; ++x) n += dark(Img.At(x, Y - 1)) || dark(Img.At(x, Y)) || dark(Img.At(x, Y + 1));
    return n;
}

TEST(VectMouseOnX, ADraggedBoxShowsAndMovesWithItsOutline) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
    lumetra_test::SdlDesktop desk;
    ASSERT_TRUE(desk.Start(320, 240));
    cl::ControlsStartUp();
    cl::Application->Initialize();
    {
        auto* form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 320, 240);
        auto* v = new TVovozIdVect(form);  // owned by the form
        v->SetBorderStyle(cl::bsNone);
        v->SetParent(form);
        v->SetBounds(0, 0, 320, 240);
        v->GetIEBitmap()->Allocate(320, 240, ie24RGB);
        v->GetIEBitmap()->Fill(0xFFFFFF);
        v->GetObjRecord(IEV_DEFAULT_OBJECT)->PenColor = cl::clBlack;
        v->GetObjRecord(IEV_DEFAULT_OBJECT)->PenWidth = 2;
        v->MouseInteractVect = IEVMouseOpt(mivPutBox);
        v->Update();
        form->Show();
        PumpFor(500);
        ASSERT_EQ(v->BitmapToClientX(40), 40);  // the picture fills the view at 100 %

        ASSERT_TRUE(XDrag(desk.Display(), 40, 30, 200, 150));
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (v->GetObjectsCount() == 0 && std::chrono::steady_clock::now() < end) PumpFor(50);
        ASSERT_EQ(v->GetObjectsCount(), 1);
        const TIEVObjRecord* box = v->GetObjRecord(0);
        EXPECT_EQ(box->Kind, ievkBOX);
        EXPECT_EQ(box->X1, 40);
        EXPECT_EQ(box->Y1, 30);
        EXPECT_EQ(box->X2, 200);
        EXPECT_EQ(box->Y2, 150);
        // The outline on the screen, away from the grips of the selected box.
        lumetra_test::XwdImage img;
        int top = 0, bottom = 0, inside = 0;
        end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            PumpFor(100);
            if (!lumetra_test::Screenshot(desk.Display(), &img)) continue;
            top = DarkRun(img, 50, 110, 30) + DarkRun(img, 130, 190, 30);
            bottom = DarkRun(img, 50, 110, 150) + DarkRun(img, 130, 190, 150);
            inside = DarkRun(img, 50, 190, 90);
            if (top == 122 && bottom == 122) break;
        }
        EXPECT_EQ(top, 122);
        EXPECT_EQ(bottom, 122);
        EXPECT_EQ(inside, 0);

        // Its top edge dragged 20 right and 30 down moves the box.
        v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
        ASSERT_TRUE(XDrag(desk.Display(), 70, 30, 90, 60));
        end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (v->GetObjRecord(0)->X1 == 40 && std::chrono::steady_clock::now() < end) PumpFor(50);
        PumpFor(300);
        EXPECT_EQ(box->X1, 60);
        EXPECT_EQ(box->Y1, 60);
        EXPECT_EQ(box->X2, 220);
        EXPECT_EQ(box->Y2, 180);
        int moved = 0, old = 0;
        end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            PumpFor(100);
            if (!lumetra_test::Screenshot(desk.Display(), &img)) continue;
            moved = DarkRun(img, 70, 130, 60) + DarkRun(img, 150, 210, 60);
            old = DarkRun(img, 50, 190, 30);
            if (moved == 122 && old == 0) break;
        }
        EXPECT_EQ(moved, 122);
        EXPECT_EQ(old, 0);
        delete form;
    }
    cl::ControlsShutDown();
}

}  // namespace
}  // namespace ie
