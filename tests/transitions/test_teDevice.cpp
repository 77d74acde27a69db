// The device's passes, frame loops and pacing on the virtual clock.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "te_test_device.h"
#include "transitions/teCore.h"

using namespace te;
using namespace tetest;

namespace {

class DeviceTest : public VirtualClockTest {
protected:
    void Run(cl::TColor oldColor = cl::clRed, cl::TColor newColor = cl::clLime) {
        dev.SetTransition(&effect);
        dev.PrepareRun(oldColor, newColor);
        start = NowMs();
        dev.Execute(true);
    }
    int64_t Elapsed() const { return NowMs() - start; }

    TTestEffect effect{nullptr};
    TTestDevice dev;
    int64_t start = 0;
};

}  // namespace

TEST_F(DeviceTest, ZeroFrameCostShowsEveryFrameAndWaitsOutEachFrameTime) {
    effect.Milliseconds = 1000;
    effect.FrameCount = 9;
    Run();
    // 1000 ms over 9 frames + 1: every frame waits 100 ms; the final copy follows the ninth wait.
    std::vector<FrameCall> expected;
    for (int i = 1; i <= 9; ++i) expected.push_back({1, i, 1, i - 1, start + (i - 1) * 100});
    EXPECT_EQ(effect.Log->frames, expected);
    EXPECT_EQ(Elapsed(), 900);
}

TEST_F(DeviceTest, FramesCostingThreeFrameTimesAreSkippedAsTheFormulasSay) {
    // Duration 1000, 9 frames: frame time 100; each frame costs 300.
    // Frame 1 at 0: cost 300, remaining 700, 9 left: step 9 / (700 / 300) = 3.857 -> 4.
    // Frame 5 at 300: cost 300, remaining 400, 5 left: step 5 / (400 / 300) = 3.75 -> 4.
    // Frame 9 at 600: cost 300, remaining 100, 1 left: step 3, past the last frame.
    effect.Milliseconds = 1000;
    effect.FrameCount = 9;
    effect.CostMs = 300;
    Run();
    std::vector<FrameCall> expected = {{1, 1, 1, 0, start}, {1, 5, 4, 1, start + 300}, {1, 9, 4, 5, start + 600}};
    EXPECT_EQ(effect.Log->frames, expected);
    EXPECT_EQ(Elapsed(), 900);
}

TEST_F(DeviceTest, AFirstFrameLongerThanTheDurationEndsTheLoopAndTheNewLookStillShows) {
    effect.Milliseconds = 200;
    effect.FrameCount = 9;
    effect.CostMs = 500;
    Run(cl::clRed, cl::clLime);
    ASSERT_EQ(effect.Log->frames.size(), 1u);
    EXPECT_EQ(Pixel(dev.Screen.get(), 3, 3), static_cast<uint32_t>(cl::clLime));
}

TEST_F(DeviceTest, WithoutDurationOrPacingFlagThePlainLoopShowsEveryFrameAtOnce) {
    struct Case {
        int32_t ms;
        uint16_t info;
    } cases[] = {{0, tetiMillisecondsCapable}, {1000, 0}};
    for (const Case& c : cases) {
        TTestEffect e(nullptr);
        e.Milliseconds = c.ms;
        e.Info = c.info;
        e.FrameCount = 5;
        TTestDevice d;
        d.SetTransition(&e);
        d.PrepareRun(cl::clRed, cl::clLime);
        int64_t t0 = NowMs();
        d.Execute(true);
        ASSERT_EQ(e.Log->frames.size(), 5u);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(e.Log->frames[i], (FrameCall{1, i + 1, 1, i, t0}));
        EXPECT_EQ(NowMs(), t0);
    }
}

TEST_F(DeviceTest, TwoPassesShareTheDurationWithDistributedTime) {
    effect.Info = tetiMillisecondsCapable | tetiTwoPassesCapable;
    effect.PassSetting = teTwoPasses;
    effect.GetPass2Options()->DistributedTime = true;
    effect.Milliseconds = 1000;
    effect.FrameCount = 4;
    int starts = 0, ends = 0;
    effect.OnStartTransition = [&](cl::TObject*) { ++starts; };
    effect.OnEndTransition = [&](cl::TObject*) { ++ends; };
    Run();
    // Pass 1 gets 500 ms (frame time 100) and ends at 400; pass 2 gets the 600 left
    // (frame time 120).
    std::vector<FrameCall> expected;
    for (int i = 1; i <= 4; ++i) expected.push_back({1, i, 1, i - 1, start + (i - 1) * 100});
    for (int i = 1; i <= 4; ++i) expected.push_back({2, i, 1, i - 1, start + 400 + (i - 1) * 120});
    EXPECT_EQ(effect.Log->frames, expected);
    EXPECT_EQ(Elapsed(), 880);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(dev.NewLookCaptures, 1);
    EXPECT_EQ(Pixel(dev.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
}

TEST_F(DeviceTest, AFirstPassThatUsesUpTheDurationLeavesTheSecondWithoutFrames) {
    effect.Info = tetiMillisecondsCapable | tetiTwoPassesCapable;
    effect.PassSetting = teTwoPasses;
    effect.GetPass2Options()->DistributedTime = true;
    effect.Milliseconds = 1000;
    effect.FrameCount = 4;
    effect.CostMs = 1000;
    Run(cl::clRed, cl::clLime);
    ASSERT_EQ(effect.Log->frames.size(), 1u);
    EXPECT_EQ(effect.Log->frames[0].pass, 1);
    EXPECT_EQ(effect.Log->initializes, 2);
    EXPECT_EQ(Pixel(dev.Screen.get(), 5, 5), static_cast<uint32_t>(cl::clLime));
}

TEST_F(DeviceTest, TwoPassesWithoutDistributedTimeGiveEachPassTheWholeDuration) {
    effect.Info = tetiMillisecondsCapable | tetiTwoPassesCapable;
    effect.PassSetting = teTwoPasses;
    effect.Milliseconds = 500;
    effect.FrameCount = 4;
    Run();
    ASSERT_EQ(effect.Log->frames.size(), 8u);
    EXPECT_EQ(effect.Log->frames[4], (FrameCall{2, 1, 1, 0, start + 400}));
    EXPECT_EQ(Elapsed(), 800);
}

TEST_F(DeviceTest, ReversedPass2OptionRunsTheFirstPassReversed) {
    effect.Info = tetiTwoPassesCapable;
    effect.PassSetting = teTwoPasses;
    effect.GetPass2Options()->Reversed = true;
    effect.FrameCount = 1;
    effect.SetDirection(tedRight);
    Run();
    EXPECT_EQ(effect.Log->directions, (std::vector<TTEEffectDirection>{tedLeft, tedRight}));
    EXPECT_FALSE(effect.Reversed);  // the working copy flips, not the effect
}

TEST_F(DeviceTest, TheSolidPictureBetweenTwoPassesTakesTheBackgroundForClNone) {
    struct Case {
        cl::TColor solid;
        uint32_t expected;
    } cases[] = {{cl::clNone, static_cast<uint32_t>(cl::clBlue)}, {cl::clYellow, static_cast<uint32_t>(cl::clYellow)}};
    for (const Case& c : cases) {
        TTestEffect e(nullptr);
        e.Info = tetiTwoPassesCapable;
        e.PassSetting = teTwoPasses;
        e.FrameCount = 1;
        e.GetPass2Options()->SolidColor = c.solid;
        TTestDevice d;
        d.SetTransition(&e);
        d.PrepareRun(cl::clRed, cl::clLime);
        d.Execute(true);
        // Pass 1 goes from the old look to the solid picture, pass 2 from it to the new look.
        EXPECT_EQ(e.Log->srcAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clRed), c.expected}));
        EXPECT_EQ(e.GetPass2Options()->SolidColor, c.solid);  // only the working copy's changes
        EXPECT_EQ(Pixel(d.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
    }
}

TEST_F(DeviceTest, InitializeThrowingEndsThePassQuietlyAndTheNewLookStands) {
    effect.ThrowInInitialize = true;
    effect.Milliseconds = 100;
    int ends = 0, afters = 0;
    effect.OnEndTransition = [&](cl::TObject*) { ++ends; };
    effect.OnAfterTransition = [&](cl::TObject*) { ++afters; };
    EXPECT_NO_THROW(Run(cl::clRed, cl::clLime));
    EXPECT_TRUE(effect.Log->frames.empty());
    EXPECT_EQ(effect.Log->finalizes, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(afters, 1);
    EXPECT_EQ(Pixel(dev.Screen.get(), 1, 1), static_cast<uint32_t>(cl::clLime));
    EXPECT_FALSE(dev.Executing);
}

TEST_F(DeviceTest, AFailingFrameReachesTheCallerAfterTheEndOfThePass) {
    effect.ThrowAtFrame = 2;
    effect.FrameCount = 4;
    EXPECT_THROW(Run(), std::runtime_error);
    EXPECT_EQ(effect.Log->frames.size(), 2u);
    EXPECT_EQ(effect.Log->finalizes, 1);
    EXPECT_FALSE(dev.Executing);
    EXPECT_EQ(dev.Data, nullptr);
}

TEST_F(DeviceTest, EventsComeInOrderWithTheDeviceAsSender) {
    std::vector<std::string> order;
    cl::TObject* sender = nullptr;
    effect.OnBeforeTransition = [&](cl::TObject* s) {
        order.push_back("before");
        sender = s;
    };
    effect.OnStartTransition = [&](cl::TObject*) { order.push_back("start"); };
    effect.OnEndTransition = [&](cl::TObject*) { order.push_back("end"); };
    effect.OnAfterTransition = [&](cl::TObject*) { order.push_back("after"); };
    effect.OnAbortQuery = [&](cl::TObject*, TTransitionEffect* t, bool&) {
        if (order.empty() || order.back() != "query") order.push_back("query");
        EXPECT_NE(t, &effect);  // the working copy
    };
    effect.FrameCount = 2;
    Run();
    EXPECT_EQ(order, (std::vector<std::string>{"before", "start", "query", "end", "after"}));
    EXPECT_EQ(sender, &dev);
}

TEST_F(DeviceTest, AnAbortQueryStopsTheRunWithoutTheEndEvent) {
    effect.Milliseconds = 1000;
    effect.FrameCount = 9;
    effect.AbortCheckInterval = 250;
    int ends = 0;
    effect.OnEndTransition = [&](cl::TObject*) { ++ends; };
    effect.OnAbortQuery = [&](cl::TObject*, TTransitionEffect*, bool& abort) { abort = NowMs() - start >= 300; };
    Run(cl::clRed, cl::clLime);
    EXPECT_TRUE(dev.Aborted);
    EXPECT_EQ(ends, 0);
    EXPECT_GE(effect.Log->frames.size(), 3u);
    EXPECT_LT(effect.Log->frames.size(), 9u);
    // The last pass still shows the new look.
    EXPECT_EQ(Pixel(dev.Screen.get(), 2, 2), static_cast<uint32_t>(cl::clLime));
}

TEST_F(DeviceTest, RandomDirectionIsDrawnAmongTheAllowedForEachRun) {
    effect.SetDirection(tedRandom);
    effect.FrameCount = 1;
    std::set<int> seen;
    for (int i = 0; i < 40; ++i) {
        TTestDevice d;
        d.SetTransition(&effect);
        d.PrepareRun(cl::clRed, cl::clLime);
        d.Execute(true);
        TTEEffectDirection got = effect.Log->directions.back();
        EXPECT_TRUE(got == tedNone || got == tedRight || got == tedLeft || got == tedDown) << int(got);
        seen.insert(got);
    }
    EXPECT_EQ(effect.GetDirection(), tedRandom);
    EXPECT_GE(seen.size(), 3u);
}

TEST_F(DeviceTest, RandomDirectionWithNoOtherAllowedRunsWithoutDirection) {
    effect.AllowedDirections = DirectionBit(tedRandom);
    effect.SetDirection(tedRandom);
    effect.FrameCount = 1;
    Run();
    EXPECT_EQ(effect.Log->directions, (std::vector<TTEEffectDirection>{tedNone}));
}

TEST_F(DeviceTest, TheCutRunsOneFrameWithNoClockWait) {
    TFlickerFreeTransition cut(nullptr);
    cut.Milliseconds = 5000;
    cut.PassSetting = teTwoPasses;
    int frames = -1;
    cut.OnEndTransition = [&](cl::TObject* s) { frames = static_cast<TTETransitionDevice*>(s)->Data->FramesShown; };
    dev.SetTransition(&cut);
    dev.PrepareRun(cl::clRed, cl::clLime);
    int64_t t0 = NowMs();
    dev.Execute(true);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(NowMs(), t0);
    EXPECT_EQ(Pixel(dev.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
    EXPECT_EQ(cut.GetInfo(&dev), 0x102);
    EXPECT_EQ(cut.GetPassCount(&dev), 1);
}

TEST_F(DeviceTest, ABaseDeviceSkipsADisabledEffect) {
    effect.SetEnabled(false);
    effect.FrameCount = 5;
    int afters = 0;
    effect.OnAfterTransition = [&](cl::TObject*) { ++afters; };
    dev.SetTransition(&effect);
    EXPECT_FALSE(dev.CanRun());
    dev.Execute(true);
    EXPECT_EQ(dev.Runs, 0);
    EXPECT_EQ(afters, 1);
    EXPECT_TRUE(effect.Log->frames.empty());
}

TEST_F(DeviceTest, ADisabledEffectFlickerFreeWhenDisabledRunsAsTheCut) {
    effect.SetEnabled(false);
    effect.FlickerFreeWhenDisabled = true;
    effect.FrameCount = 5;
    effect.Milliseconds = 1000;
    dev.CutWhenDisabled = true;
    Run(cl::clRed, cl::clLime);
    EXPECT_EQ(dev.Runs, 1);
    EXPECT_TRUE(effect.Log->frames.empty());  // the cut ran instead
    EXPECT_EQ(Elapsed(), 0);
    EXPECT_EQ(Pixel(dev.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
}

TEST_F(DeviceTest, TheWorkBitmapReachesTheCanvasAfterEachFrame) {
    effect.Info = tetiOffScreenBmpCapable | tetiNeedOffScreenBmp | tetiNeedSrcBmp;
    effect.FrameCount = 3;
    Run(cl::clRed, cl::clLime);
    // Before frame k the canvas shows frame k - 1 (grey k - 1), first the old look.
    EXPECT_EQ(effect.Log->canvasAtFrame,
              (std::vector<uint32_t>{static_cast<uint32_t>(cl::clBlack), 0x010101u, 0x020202u}));
    EXPECT_EQ(Pixel(dev.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
}

TEST_F(DeviceTest, SettingATransitionWhileRunDataExistsIsRefused) {
    dev.SetTransition(&effect);
    dev.PrepareRun(cl::clRed, cl::clLime);
    TTestEffect other(nullptr);
    try {
        dev.SetTransition(&other);
        FAIL() << "no error";
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), "Transition is busy");
    }
}

TEST_F(DeviceTest, ErrorsOfExecute) {
    TTestDevice empty;
    try {
        empty.Execute(true);
        FAIL();
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), "Device's transition is not assigned");
    }
    dev.SetTransition(&effect);
    try {
        dev.Execute(false);
        FAIL();
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), "Device is not thread safe");
    }
    dev.ThreadSafe = true;
    try {
        dev.Execute(false);
        FAIL();
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), "Transition is not thread safe");
    }
}

TEST(Chrono, StartPauseResetOnTheVirtualClock) {
    win::SetClockMode(win::ClockMode::Virtual);
    TTEChrono c;
    EXPECT_TRUE(c.Stopped);
    EXPECT_EQ(c.Milliseconds(), 0);
    c.Start();
    win::ClockAdvance(250 * win::kTicksPerMs);
    EXPECT_DOUBLE_EQ(c.Milliseconds(), 250);
    c.Pause();
    win::ClockAdvance(100 * win::kTicksPerMs);
    EXPECT_DOUBLE_EQ(c.Milliseconds(), 250);
    c.Start();
    win::ClockAdvance(50 * win::kTicksPerMs);
    EXPECT_DOUBLE_EQ(c.Milliseconds(), 300);
    c.WaitUntil(412.5);
    EXPECT_DOUBLE_EQ(c.Milliseconds(), 412.5);
    EXPECT_EQ(c.StartCount, 2);
    c.Reset();
    EXPECT_EQ(c.Milliseconds(), 0);
    EXPECT_EQ(c.StopCount, 1);
    EXPECT_EQ(c.StartCount, 0);
}

TEST_F(DeviceTest, ExtraFirstAndLastFramesShowTheOldAndNewLooks) {
    effect.FrameCount = 3;
    dev.ExtraFirstFrame = true;
    dev.ExtraLastFrame = true;
    int total = 0, last = 0, shown = 0;
    effect.OnEndTransition = [&](cl::TObject*) {
        total = dev.Data->TotalFrames;
        last = dev.Data->LastFrame;
        shown = dev.Data->FramesShown;
    };
    Run(cl::clRed, cl::clLime);
    EXPECT_EQ(total, 5);
    EXPECT_EQ(last, 5);
    EXPECT_EQ(shown, 5);
    // The effect draws frames 1 to 3; before frame 1 the canvas shows the old look (frame 0).
    ASSERT_EQ(effect.Log->frames.size(), 3u);
    EXPECT_EQ(effect.Log->frames[0].frame, 1);
    EXPECT_EQ(effect.Log->canvasAtFrame[0], static_cast<uint32_t>(cl::clRed));
    EXPECT_EQ(Pixel(dev.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
}
