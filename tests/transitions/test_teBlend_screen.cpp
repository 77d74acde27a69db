// The blend, fuse and wipe effects run over a control on the headless screen: the old look
// stays until the run, frames are shown, and the new look stands at the end.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "te_screen_forms.h"
#include "transitions/teBlend.h"
#include "transitions/teFuse.h"
#include "transitions/teWipe.h"

namespace {

using tetest::ScreenAt;
using tetest::ScreenColor;

class EffectsOnScreen : public tetest::ScreenFixture {
protected:
    void SetUp() override {
        tetest::ScreenFixture::SetUp();
        te::StartUpteBlend();
        te::StartUpteFuse();
        te::StartUpteWipe();
    }
    // Prepares over the picture control, changes it, runs; answers the frames shown.
    int RunOver(te::TTransitionEffect& e) {
        int shown = -1;
        e.OnEndTransition = [&](cl::TObject* s) {
            shown = static_cast<te::TTETransitionDevice*>(s)->Data->FramesShown;
        };
        pic->Fill = cl::clRed;
        pic->Mark = cl::clYellow;
        pic->Invalidate();
        tetest::Pump();
        EXPECT_TRUE(e.Prepare(pic, te::MakeRect(0, 0, 120, 100)));
        pic->Fill = cl::clBlue;
        pic->Mark = cl::clLime;
        pic->Invalidate();
        tetest::Pump();
        EXPECT_EQ(ScreenAt(PicX(60), PicY(60)), ScreenColor(cl::clRed)) << "frozen until the run";
        e.Execute();
        EXPECT_EQ(ScreenAt(PicX(60), PicY(60)), ScreenColor(cl::clBlue));
        EXPECT_EQ(ScreenAt(PicX(7), PicY(7)), ScreenColor(cl::clLime));
        EXPECT_EQ(ScreenAt(PicX(119), PicY(99)), ScreenColor(cl::clBlue));
        return shown;
    }
};

TEST_F(EffectsOnScreen, EachEffectEndsOnTheNewLook) {
    struct Case {
        const char* name;
        std::function<te::TTransitionEffect*()> make;
        int milliseconds;
    } cases[] = {
        {"blend", [] { return new te::TBlendTransition(nullptr); }, 0},
        {"blend paced", [] { return new te::TBlendTransition(nullptr); }, 1000},
        {"fuse", [] { return new te::TFuseTransition(nullptr); }, 1000},
        {"wipe", [] { return new te::TWipeTransition(nullptr); }, 0},
        {"wipe smooth",
         [] {
             auto* w = new te::TWipeTransition(nullptr);
             w->SmoothBand = true;
             w->SetDirection(te::tedUp);
             return w;
         },
         500},
        {"wipe out",
         [] {
             auto* w = new te::TWipeTransition(nullptr);
             w->SetDirection(te::tedOut);
             return w;
         },
         0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<te::TTransitionEffect> e(c.make());
        e->Milliseconds = c.milliseconds;
        const int shown = RunOver(*e);
        EXPECT_GT(shown, 0) << c.name;
    }
}

}  // namespace
