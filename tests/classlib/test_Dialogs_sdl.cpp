// The colour dialog on a desktop: the SDL backend on a private X server shows the dialog on the
// X screen, and X mouse clicks on a basic colour cell and then on OK choose that colour.
#include <gtest/gtest.h>

#include <string>

#include "classlib/Dialogs.h"
#include "desktop_controls.h"

using namespace desktoptest;

namespace {

bool ClickOnX(const std::string& Display, const win::POINT& p) {
    return lumetra_test::XdoTool(
               Display, "mousemove --sync " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1") == 0;
}

}  // namespace

TEST(ColorDialogOnX, AClickedCellAndOKChooseThatColour) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is not installed";
    ControlsDesktop desktop;
    ASSERT_TRUE(desktop.Start());
    const cl::TColor start = 0x123456;
    const int cell = 26;  // the fourth row's dark green
    const cl::TColor chosen = cl::TColorDialogForm::BasicColors[cell];

    // The steps run from a timer inside the dialog's modal loop, each once the X screen shows
    // what the one before did.
    enum { kWaitShown, kWaitChosen, kDone } step = kWaitShown;
    bool shown = false, previewed = false, clicked = true;
    cl::TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.SetOnTimer([&](cl::TObject*) {
        auto* f = dynamic_cast<cl::TColorDialogForm*>(cl::Screen->GetActiveForm());
        if (!f) return;
        const win::POINT preview = f->Preview->ClientToScreen(win::POINT{42, 24});
        if (step == kWaitShown && desktop.Shows(preview, start)) {
            shown = true;
            const cl::TRect r = cl::TColorDialogForm::CellRect(cell);
            clicked = clicked && ClickOnX(desktop.Display(), f->ClientToScreen(win::POINT{r.left + 8, r.top + 8}));
            step = kWaitChosen;
        } else if (step == kWaitChosen && desktop.Shows(preview, chosen)) {
            previewed = true;
            clicked = clicked && ClickOnX(desktop.Display(), f->OKButton->ClientToScreen(win::POINT{30, 12}));
            step = kDone;
        }
    });
    // Nothing may keep the loop waiting for good: the dialog is cancelled after 20 s.
    cl::TTimer guard(nullptr);
    guard.SetInterval(20000);
    guard.SetOnTimer([&](cl::TObject*) {
        if (auto* f = cl::Screen->GetActiveForm()) f->ModalResult = cl::mrCancel;
    });

    cl::TColorDialog dialog(nullptr);
    dialog.SetColor(start);
    const bool confirmed = dialog.Execute();
    timer.SetEnabled(false);
    guard.SetEnabled(false);
    EXPECT_TRUE(shown) << "the dialog on the X screen";
    EXPECT_TRUE(previewed) << "the clicked colour in the preview";
    EXPECT_TRUE(clicked) << "xdotool";
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(dialog.GetColor(), chosen);
}
