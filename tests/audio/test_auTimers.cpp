// TAudioHiResTimer on the multimedia timer, in virtual time: ticks come at exact times.

#include "audio/auTimers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/winmm.h"

namespace {

constexpr int64_t kMs = win::kTicksPerMs;

class AudioHiResTimerTest : public ::testing::Test {
protected:
    void SetUp() override { win::SetClockMode(win::ClockMode::Virtual); }
    void TearDown() override { win::SetClockMode(win::ClockMode::Real); }

    // Records the virtual time of every tick.
    void Record(audio::TAudioHiResTimer& t) {
        t.OnTimer = [this, &t](cl::TObject* sender) {
            EXPECT_EQ(sender, &t);
            times.push_back(win::ClockNowTicks() / kMs);
            threads.push_back(std::this_thread::get_id());
        };
    }

    std::vector<int64_t> times;
    std::vector<std::thread::id> threads;
};

TEST_F(AudioHiResTimerTest, FiresEveryIntervalOnTheTimersThread) {
    audio::TAudioHiResTimer t(nullptr);
    EXPECT_EQ(t.TimerID(), 0u);
    EXPECT_STREQ(t.ClassName(), "TAudioHiResTimer");
    t.Interval = 50;
    t.Resolution = 5;
    Record(t);
    win::DWORD before = win::timeGetTime();
    t.Start();
    EXPECT_EQ(t.StartTime(), before);
    EXPECT_NE(t.TimerID(), 0u);
    win::ClockAdvance(220 * kMs);
    EXPECT_EQ(times, (std::vector<int64_t>{50, 100, 150, 200}));
    for (auto id : threads) EXPECT_NE(id, std::this_thread::get_id());
    t.Stop();
    EXPECT_EQ(t.TimerID(), 0u);
    win::ClockAdvance(500 * kMs);
    EXPECT_EQ(times.size(), 4u);
}

TEST_F(AudioHiResTimerTest, StartOnARunningTimerStartsTheIntervalAnew) {
    audio::TAudioHiResTimer t(nullptr);
    t.Interval = 50;
    Record(t);
    t.Start();
    win::UINT first = t.TimerID();
    win::ClockAdvance(30 * kMs);
    t.Start();
    EXPECT_NE(t.TimerID(), first);
    win::ClockAdvance(40 * kMs);  // the old event would have fired at 50
    EXPECT_TRUE(times.empty());
    win::ClockAdvance(10 * kMs);
    EXPECT_EQ(times, (std::vector<int64_t>{80}));
}

TEST_F(AudioHiResTimerTest, FireOnceFiresOnceAndKeepsItsId) {
    audio::TAudioHiResTimer t(nullptr);
    t.Interval = 20;
    t.FireOnce = true;
    Record(t);
    t.Start();
    win::UINT id = t.TimerID();
    win::ClockAdvance(200 * kMs);
    EXPECT_EQ(times, (std::vector<int64_t>{20}));
    EXPECT_EQ(t.TimerID(), id);
    t.Stop();
    EXPECT_EQ(t.TimerID(), 0u);
}

TEST_F(AudioHiResTimerTest, HandlerMayStopOrRestartItsOwnTimer) {
    enum Mode { kStopAtThird, kRestart, kStopAndRestartUntilThird };
    struct Case {
        const char* name;
        Mode mode;  // stop at the third tick, restart on every tick (the fader), or both
        std::vector<int64_t> expect;
    } cases[] = {
        {"stop", kStopAtThird, {10, 20, 30}},
        {"restart", kRestart, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {"stop and restart", kStopAndRestartUntilThird, {10, 20, 30}},
    };
    for (const Case& c : cases) {
        times.clear();
        audio::TAudioHiResTimer t(nullptr);
        t.Interval = 10;
        t.OnTimer = [&](cl::TObject*) {
            times.push_back(win::ClockNowTicks() / kMs);
            if (c.mode == kRestart) {
                t.Start();
            } else if (c.mode == kStopAtThird) {
                if (times.size() == 3) t.Stop();
            } else {
                t.Stop();
                if (times.size() < 3) t.Start();
            }
        };
        int64_t base = win::ClockNowTicks() / kMs;
        t.Start();
        win::ClockAdvance(105 * kMs);
        for (auto& v : times) v -= base;
        EXPECT_EQ(times, c.expect) << c.name;
        t.Stop();
    }
}

TEST_F(AudioHiResTimerTest, DestroyingTheComponentStopsItsEvent) {
    std::atomic<int> ticks{0};
    auto t = std::make_unique<audio::TAudioHiResTimer>(nullptr);
    t->Interval = 10;
    t->OnTimer = [&](cl::TObject*) { ticks++; };
    t->Start();
    win::ClockAdvance(25 * kMs);
    EXPECT_EQ(ticks, 2);
    t.reset();
    win::ClockAdvance(100 * kMs);
    EXPECT_EQ(ticks, 2);
}

TEST_F(AudioHiResTimerTest, OwnedTimerGoesWithItsOwner) {
    std::atomic<int> ticks{0};
    {
        cl::TComponent owner(nullptr);
        auto* t = new audio::TAudioHiResTimer(&owner);
        EXPECT_EQ(owner.GetComponentCount(), 1);
        t->Interval = 10;
        t->OnTimer = [&](cl::TObject*) { ticks++; };
        t->Start();
        win::ClockAdvance(15 * kMs);
    }
    win::ClockAdvance(100 * kMs);
    EXPECT_EQ(ticks, 1);
}

// Real time: a Stop on the main thread while the handler restarts the timer on its own
// thread leaves no event running.
TEST(AudioHiResTimerReal, StopWinsAgainstARestartingHandler) {
    std::atomic<int> ticks{0};
    audio::TAudioHiResTimer t(nullptr);
    t.Interval = 1;
    t.OnTimer = [&](cl::TObject*) {
        ticks++;
        t.Start();
    };
    t.Start();
    while (ticks < 20) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.Stop();
    int after = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ticks, after);
    EXPECT_EQ(t.TimerID(), 0u);
}

}  // namespace
