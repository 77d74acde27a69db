// The push effect: both pictures move together by the frame index.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/tePush.h"

using namespace te;
using namespace tetest;

namespace {

class PushTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUptePush();
    }
};

// The screen after frame k of a push: where each picture has moved to.
uint32_t PushModel(TTEEffectDirection d, int W, int H, int k, int x, int y) {
    switch (d) {
        case tedRight: return x < k ? NewColor(W - k + x, y) : OldColor(x - k, y);
        case tedLeft: return x >= W - k ? NewColor(x - (W - k), y) : OldColor(x + k, y);
        case tedDown: return y < k ? NewColor(x, H - k + y) : OldColor(x, y - k);
        default: return y >= H - k ? NewColor(x, y - (H - k)) : OldColor(x, y + k);
    }
}

}  // namespace

TEST_F(PushTest, EveryFrameShowsBothPicturesShiftedByItsIndexWhateverTheStep) {
    const int W = 20, H = 12;
    struct Case {
        TTEEffectDirection dir;
        bool reversed;
        TTEEffectDirection effective;
        int frames;
    } cases[] = {{tedRight, false, tedRight, W - 1}, {tedLeft, false, tedLeft, W - 1}, {tedDown, false, tedDown, H - 1},
                 {tedUp, false, tedUp, H - 1},       {tedRight, true, tedLeft, W - 1}, {tedDown, true, tedUp, H - 1}};
    for (const Case& c : cases) {
        TPushTransition push(nullptr);
        push.SetDirection(c.dir);
        push.Reversed = c.reversed;
        FrameDriver bench(&push, W, H);
        ASSERT_EQ(bench.Init(), c.frames);
        for (int k : {1, 2, 5, 6, c.frames}) {
            bench.Frame(k);
            EXPECT_EQ(bench.Compare([&](int x, int y) { return PushModel(c.effective, W, H, k, x, y); }), "")
                << "direction " << int(c.dir) << " reversed " << c.reversed << " frame " << k;
            EXPECT_EQ(bench.data.UpdateRect.right, W);
            EXPECT_EQ(bench.data.UpdateRect.bottom, H);
        }
    }
}

TEST_F(PushTest, HalfWayToTheRightShowsTheNewRightHalfBesideTheOldLeftHalf) {
    TPushTransition push(nullptr);
    push.SetDirection(tedRight);
    FrameDriver bench(&push, 800, 4);
    EXPECT_EQ(bench.Init(), 799);
    bench.Frame(400);
    EXPECT_EQ(At(bench.Screen.get(), 0, 1), NewColor(400, 1));
    EXPECT_EQ(At(bench.Screen.get(), 399, 1), NewColor(799, 1));
    EXPECT_EQ(At(bench.Screen.get(), 400, 1), OldColor(0, 1));
    EXPECT_EQ(At(bench.Screen.get(), 799, 1), OldColor(399, 1));
}

TEST_F(PushTest, DirectionsOutsideTheFourSidesAreRefused) {
    TPushTransition push(nullptr);
    EXPECT_EQ(push.GetDirection(), tedDown);
    push.SetDirection(tedIn);
    EXPECT_EQ(push.GetDirection(), tedDown);
    push.SetDirection(tedRandom);
    EXPECT_EQ(push.GetDirection(), tedRandom);
    EXPECT_EQ(push.GetInfo(nullptr) & 0x111, 0x111);
    cl::PPropInfo dir = cl::GetPropInfo(TPushTransition::StaticClass(), "Direction");
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->Default, tedDown);
    EXPECT_NE(cl::GetPropInfo(TPushTransition::StaticClass(), "Pass2Options"), nullptr);
}
