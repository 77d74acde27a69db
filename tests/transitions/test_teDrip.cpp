// The drip effect: the band of the new picture and its leading line stretched over the rest.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/teDrip.h"

using namespace te;
using namespace tetest;

namespace {

class DripTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUpteDrip();
    }
};

}  // namespace

TEST_F(DripTest, TheRestShowsTheLeadingLineOfTheNewPictureForEachFixedDirection) {
    const int W = 24, H = 16;
    struct Case {
        TTEEffectDirection dir;
        bool reversed;
        int frames;
        // The screen after the band has moved by `moved` pixels, the last frame by `step`.
        std::function<uint32_t(int moved, int step, int x, int y)> model;
    } cases[] = {
        {tedLeft, false, W - 1, [](int m, int s, int x, int y) { return x < m ? NewColor(x, y) : NewColor(m - s, y); }},
        {tedRight, true, W - 1, [](int m, int s, int x, int y) { return x < m ? NewColor(x, y) : NewColor(m - s, y); }},
        {tedRight, false, W - 1,
         [](int m, int, int x, int y) { return x >= W - m ? NewColor(x, y) : NewColor(W - m, y); }},
        {tedDown, false, H - 1,
         [](int m, int, int x, int y) { return y >= H - m ? NewColor(x, y) : NewColor(x, H - m); }},
        {tedUp, false, H - 1, [](int m, int s, int x, int y) { return y < m ? NewColor(x, y) : NewColor(x, m - s); }},
    };
    for (const Case& c : cases) {
        for (int stride : {1, 3}) {
            TDripTransition drip(nullptr);
            drip.SetDirection(c.dir);
            drip.Reversed = c.reversed;
            FrameDriver bench(&drip, W, H, OldColor, NewColor, cl::pf32bit);
            ASSERT_EQ(bench.Init(), c.frames);
            int last = 0;
            for (int k = stride; k <= c.frames; k += stride) {
                bench.Frame(k);
                const int step = k - last;
                last = k;
                ASSERT_EQ(bench.Compare([&](int x, int y) { return c.model(k, step, x, y); }), "")
                    << "direction " << int(c.dir) << " reversed " << c.reversed << " frame " << k;
            }
        }
    }
}

TEST_F(DripTest, FlagsAskForAWorkBitmapOnlyForVerticalDrips) {
    TDripTransition drip(nullptr);
    EXPECT_EQ(drip.GetDirection(), tedLeft);
    EXPECT_EQ(drip.GetInfo(nullptr), 0x333);
    drip.SetDirection(tedUp);
    EXPECT_EQ(drip.GetInfo(nullptr), 0x337);
    drip.SetDirection(tedOut);
    EXPECT_EQ(drip.GetDirection(), tedUp);
    EXPECT_EQ(cl::GetPropInfo(TDripTransition::StaticClass(), "Direction")->Default, tedLeft);
}

TEST_F(DripTest, TheStretchModeIsRestored) {
    TDripTransition drip(nullptr);
    FrameDriver bench(&drip, 10, 6);
    win::SetStretchBltMode(bench.Screen->GetCanvas()->GetHandle(), win::BLACKONWHITE);
    bench.Init();
    bench.Frame(1);
    bench.Finish();
    EXPECT_EQ(win::GetStretchBltMode(bench.Screen->GetCanvas()->GetHandle()), win::BLACKONWHITE);
}
