#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/winmm.h"

using namespace win;

namespace {

struct Tick {
    UINT id;
    int64_t ms;
    bool operator==(const Tick&) const = default;
};

// What the callbacks saw; written by the timer thread, read by the test after waits.
struct Recorder {
    std::mutex mutex;
    std::vector<Tick> ticks;
    std::set<std::thread::id> threads;
    std::function<void(UINT)> extra;

    static void CALLBACK(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        auto* self = reinterpret_cast<Recorder*>(user);
        EXPECT_EQ(msg, 0u);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->ticks.push_back({id, ClockNowTicks() / kTicksPerMs});
            self->threads.insert(std::this_thread::get_id());
        }
        if (self->extra) self->extra(id);
    }
    std::vector<Tick> Ticks() {
        std::lock_guard<std::mutex> lock(mutex);
        return ticks;
    }
};

class MultimediaTimer : public ::testing::Test {
protected:
    void SetUp() override { SetClockMode(ClockMode::Virtual); }
    void TearDown() override { SetClockMode(ClockMode::Real); }
    Recorder rec;
    DWORD_PTR User() { return reinterpret_cast<DWORD_PTR>(&rec); }
};

}  // namespace

TEST_F(MultimediaTimer, PeriodicTicksFallAtExactMultiplesOfTheDelay) {
    UINT id = timeSetEvent(50, 5, &Recorder::CALLBACK, User(), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    ASSERT_NE(id, 0u);
    Sleep(260);
    EXPECT_EQ(rec.Ticks(), (std::vector<Tick>{{id, 50}, {id, 100}, {id, 150}, {id, 200}, {id, 250}}));
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    Sleep(500);
    EXPECT_EQ(rec.Ticks().size(), 5u);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
    ASSERT_EQ(rec.threads.size(), 1u);
    EXPECT_NE(*rec.threads.begin(), std::this_thread::get_id());
}

TEST_F(MultimediaTimer, OneShotRunsOnceAndIsThenFinished) {
    UINT id = timeSetEvent(30, 0, &Recorder::CALLBACK, User(), TIME_ONESHOT);
    UINT zero = timeSetEvent(0, 0, &Recorder::CALLBACK, User(), TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    ASSERT_GT(zero, id);  // ids grow and are not reused
    Sleep(100);
    EXPECT_EQ(rec.Ticks(), (std::vector<Tick>{{zero, 1}, {id, 30}}));
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
    EXPECT_EQ(timeKillEvent(zero), MMSYSERR_INVALPARAM);
}

TEST_F(MultimediaTimer, TimersInterleaveInDueOrderWithTiesInCreationOrder) {
    UINT a = timeSetEvent(20, 0, &Recorder::CALLBACK, User(), TIME_PERIODIC);
    UINT b = timeSetEvent(30, 0, &Recorder::CALLBACK, User(), TIME_PERIODIC);
    Sleep(60);
    EXPECT_EQ(rec.Ticks(), (std::vector<Tick>{{a, 20}, {b, 30}, {a, 40}, {a, 60}, {b, 60}}));
    timeKillEvent(a);
    timeKillEvent(b);
}

TEST_F(MultimediaTimer, ACallbackCanKillItsOwnTimerAndStartANewOne) {
    // As a volume fader does: every tick kills its timer and starts the next one.
    std::vector<UINT> started;
    rec.extra = [&](UINT id) {
        EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
        if (started.size() < 4) started.push_back(timeSetEvent(50, 5, &Recorder::CALLBACK, User(), TIME_PERIODIC));
    };
    started.push_back(timeSetEvent(50, 5, &Recorder::CALLBACK, User(), TIME_PERIODIC));
    Sleep(1000);
    ASSERT_EQ(started.size(), 4u);
    std::vector<Tick> expected;
    for (size_t i = 0; i < started.size(); ++i) expected.push_back({started[i], 50 * static_cast<int64_t>(i + 1)});
    EXPECT_EQ(rec.Ticks(), expected);
    for (UINT id : started) EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST_F(MultimediaTimer, MillisecondClockAndPeriods) {
    EXPECT_EQ(timeGetTime(), GetTickCount());
    Sleep(17);
    EXPECT_EQ(timeGetTime(), 1'000'017u);
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(timeSetEvent(10, 0, nullptr, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, &Recorder::CALLBACK, User(), TIME_PERIODIC | 0x10), 0u);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
}

TEST(MultimediaTimerReal, KillFromAnotherThreadWaitsForTheRunningCallback) {
    SetClockMode(ClockMode::Real);
    static std::atomic<bool> inside{false};
    static std::atomic<int> calls{0};
    static std::atomic<bool> release{false};
    inside = false;
    calls = 0;
    release = false;
    auto proc = [](UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
        ++calls;
        inside = true;
        while (!release) std::this_thread::sleep_for(std::chrono::microseconds(200));
        inside = false;
    };
    UINT id = timeSetEvent(1, 0, proc, 0, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    for (int i = 0; i < 10000 && !inside; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(inside.load());
    std::atomic<bool> killed{false};
    std::thread killer([&] {
        EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
        EXPECT_FALSE(inside.load());  // returned only after the callback did
        killed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(killed.load());
    release = true;
    killer.join();
    int after = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls.load(), after);  // no callback starts after the kill
}
