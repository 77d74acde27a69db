#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <time.h>

#include "platform/clock.h"

using namespace win;

namespace {

constexpr int64_t Ms(int64_t ms) { return ms * kTicksPerMs; }

class VirtualClock : public ::testing::Test {
protected:
    void SetUp() override { SetClockMode(ClockMode::Virtual); }
    void TearDown() override { SetClockMode(ClockMode::Real); }
};

// A thread that runs work handed to it by scheduled events, as the timer services do:
// `run` hands the work over and returns when it is done.
class Worker {
public:
    Worker() {
        thread_ = std::thread([this] {
            ClockMarkCallbackThread();
            std::unique_lock<std::mutex> lock(mutex_);
            for (;;) {
                cv_.wait(lock, [this] { return stop_ || work_; });
                if (stop_) return;
                lock.unlock();
                work_();
                lock.lock();
                work_ = nullptr;
                cv_.notify_all();
            }
        });
    }
    ~Worker() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    std::function<void()> Hand(std::function<void()> work) {
        return [this, work] {
            std::unique_lock<std::mutex> lock(mutex_);
            work_ = work;
            cv_.notify_all();
            cv_.wait(lock, [this] { return !work_; });
        };
    }
    std::thread::id Id() const { return thread_.get_id(); }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::function<void()> work_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

TEST_F(VirtualClock, StartsAtZeroWithTheMillisecondOriginAndReadingNeverAdvances) {
    LARGE_INTEGER a{}, b{}, f{};
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 10'000'000);
    ASSERT_TRUE(QueryPerformanceCounter(&a));
    ASSERT_TRUE(QueryPerformanceCounter(&b));
    EXPECT_EQ(a.QuadPart, 0);
    EXPECT_EQ(b.QuadPart, 0);
    EXPECT_EQ(GetTickCount(), 1'000'000u);
    EXPECT_EQ(ClockElapsedMs(), 0);
}

TEST_F(VirtualClock, SleepMovesTimeByExactlyItsLengthAndTheTickCountWraps) {
    Sleep(250);
    EXPECT_EQ(ClockNowTicks(), Ms(250));
    EXPECT_EQ(GetTickCount(), 1'000'250u);
    EXPECT_EQ(ClockElapsedMs(), 250);

    SetClockMode(ClockMode::Virtual, 0xFFFFFF00u);
    Sleep(0x180);
    EXPECT_EQ(GetTickCount(), 0x80u);
    ClockWaitUntilCounter(Ms(0x200));
    EXPECT_EQ(ClockNowTicks(), Ms(0x200));
}

TEST_F(VirtualClock, CallbacksRunInDueOrderWithTiesInSchedulingOrder) {
    std::vector<std::pair<std::string, int64_t>> log;
    auto record = [&log](const char* name) { return [&log, name] { log.emplace_back(name, ClockNowTicks()); }; };
    ClockSchedule(Ms(30), record("c"));
    ClockSchedule(Ms(10), record("a1"));
    ClockSchedule(Ms(20), record("b"));
    ClockSchedule(Ms(10), record("a2"));
    // A callback scheduling another one that falls due within the same advance.
    ClockSchedule(Ms(15), [&log] {
        log.emplace_back("x", ClockNowTicks());
        ClockSchedule(Ms(18), [&log] { log.emplace_back("y", ClockNowTicks()); });
    });

    EXPECT_EQ(ClockNextEventTicks(), Ms(10));
    ClockAdvance(Ms(25));
    std::vector<std::pair<std::string, int64_t>> expected = {
        {"a1", Ms(10)}, {"a2", Ms(10)}, {"x", Ms(15)}, {"y", Ms(18)}, {"b", Ms(20)}};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(ClockNowTicks(), Ms(25));
    EXPECT_EQ(ClockNextEventTicks(), Ms(30));
    Sleep(5);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log.back(), std::make_pair(std::string("c"), Ms(30)));
    EXPECT_EQ(ClockNextEventTicks(), kNoDeadline);
}

TEST_F(VirtualClock, AnExplicitOrderPlacesAnEventAmongTies) {
    std::string log;
    ClockEventId first = ClockSchedule(Ms(10), [&] { log += "a"; });
    ClockSchedule(Ms(20), [&] { log += "b"; });
    ClockScheduleOrdered(Ms(20), first, [&] { log += "A"; });  // a source older than b
    ClockScheduleOrdered(Ms(20), UINT64_MAX, [&] { log += "z"; });
    ClockSchedule(Ms(20), [&] { log += "c"; });
    Sleep(20);
    EXPECT_EQ(log, "aAbcz");
}

TEST_F(VirtualClock, AnEventAlreadyDueRunsAtTheNextWaitWithoutMovingTimeBack) {
    Sleep(100);
    int64_t ranAt = -1;
    ClockSchedule(Ms(40), [&] { ranAt = ClockNowTicks(); });
    Sleep(0);
    EXPECT_EQ(ranAt, Ms(100));
    EXPECT_EQ(ClockNowTicks(), Ms(100));
}

TEST_F(VirtualClock, CancelledEventsNeverRun) {
    int runs = 0;
    ClockEventId first = ClockSchedule(Ms(10), [&] { ++runs; });
    ClockEventId second = ClockSchedule(Ms(20), [&] { ++runs; });
    EXPECT_TRUE(ClockCancel(first));
    EXPECT_FALSE(ClockCancel(first));
    EXPECT_EQ(ClockNextEventTicks(), Ms(20));
    Sleep(30);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(ClockCancel(second));
    EXPECT_FALSE(ClockCancel(987654321));
}

TEST_F(VirtualClock, WokenConditionEndsTheWaitAtTheCallbackThatSatisfiedIt) {
    bool flag = false;
    ClockSchedule(Ms(50), [&] { flag = true; });
    ClockSchedule(Ms(70), [] {});
    EXPECT_EQ(ClockWaitUntil(Ms(100), [&] { return flag; }), ClockWaitResult::Woken);
    EXPECT_EQ(ClockNowTicks(), Ms(50));
    EXPECT_EQ(ClockNextEventTicks(), Ms(70));
}

TEST_F(VirtualClock, HorizonEndsWaitsThatWouldGoPastIt) {
    int late = 0;
    ClockSetHorizon(Ms(100));
    EXPECT_EQ(ClockGetHorizon(), Ms(100));
    ClockSchedule(Ms(150), [&] { ++late; });

    EXPECT_EQ(ClockWaitUntil(Ms(60), nullptr), ClockWaitResult::Deadline);
    EXPECT_EQ(ClockNowTicks(), Ms(60));
    EXPECT_EQ(ClockWaitUntil(kNoDeadline, [] { return false; }), ClockWaitResult::Horizon);
    EXPECT_EQ(ClockNowTicks(), Ms(100));
    EXPECT_EQ(ClockWaitUntil(Ms(200), nullptr), ClockWaitResult::Horizon);
    EXPECT_EQ(ClockNowTicks(), Ms(100));
    EXPECT_EQ(ClockWaitUntil(Ms(100), nullptr), ClockWaitResult::Deadline);
    EXPECT_EQ(late, 0);

    ClockAdvance(Ms(60));  // explicit advances are not limited by the horizon
    EXPECT_EQ(ClockNowTicks(), Ms(160));
    EXPECT_EQ(late, 1);

    // Bounded waits that must finish (a paced loop, a sleep) go past it too.
    ClockWaitUntilCounter(Ms(180));
    EXPECT_EQ(ClockNowTicks(), Ms(180));
    Sleep(20);
    EXPECT_EQ(ClockNowTicks(), Ms(200));
}

TEST_F(VirtualClock, AWaitWithoutDeadlineIsEndedByNotifyFromAnotherThread) {
    std::atomic<bool> posted{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        posted = true;
        ClockNotify();
    });
    EXPECT_EQ(ClockWaitUntil(kNoDeadline, [&] { return posted.load(); }), ClockWaitResult::Woken);
    EXPECT_EQ(ClockNowTicks(), 0);
    poster.join();
}

TEST_F(VirtualClock, CallbacksRunOnTheirOwnThreadAndFinishBeforeTimeMovesOn) {
    Worker worker;
    std::vector<std::string> log;  // written by the worker and the main thread in turn
    std::thread::id ranOn;
    ClockSchedule(Ms(10), worker.Hand([&] {
        ranOn = std::this_thread::get_id();
        log.push_back("tick@" + std::to_string(ClockNowTicks() / kTicksPerMs));
        // A wait inside the callback neither deadlocks nor runs the next event early.
        Sleep(5);
        log.push_back("slept@" + std::to_string(ClockNowTicks() / kTicksPerMs));
    }));
    ClockSchedule(Ms(12),
                  worker.Hand([&] { log.push_back("second@" + std::to_string(ClockNowTicks() / kTicksPerMs)); }));
    Sleep(20);
    log.push_back("main@" + std::to_string(ClockNowTicks() / kTicksPerMs));
    EXPECT_EQ(ranOn, worker.Id());
    EXPECT_EQ(log, (std::vector<std::string>{"tick@10", "slept@15", "second@15", "main@20"}));
}

TEST_F(VirtualClock, APeriodicScenarioGivesTheSameTimelineEveryRun) {
    auto scenario = [] {
        SetClockMode(ClockMode::Virtual);
        Worker worker;
        std::vector<int64_t> ticks;
        std::function<void()> periodic;
        int64_t due = Ms(7);
        int count = 0;
        periodic = [&] {
            ticks.push_back(ClockNowTicks());
            due += Ms(7);
            if (++count < 20) ClockSchedule(due, worker.Hand(periodic));
        };
        ClockSchedule(due, worker.Hand(periodic));
        std::vector<int64_t> mainWakes;
        for (int i = 0; i < 15; ++i) {
            Sleep(11);
            mainWakes.push_back(ClockNowTicks());
            ticks.push_back(-1 - i);  // where the main thread woke among the ticks
        }
        Sleep(200);
        ticks.insert(ticks.end(), mainWakes.begin(), mainWakes.end());
        return ticks;
    };
    auto first = scenario();
    auto second = scenario();
    EXPECT_EQ(first, second);
    ASSERT_EQ(first.size(), 20u + 15u + 15u);
    // Ticks at 7, 14, 21...; the main thread wakes at 11, 22, 33...
    EXPECT_EQ(std::vector<int64_t>(first.begin(), first.begin() + 5),
              (std::vector<int64_t>{Ms(7), -1, Ms(14), Ms(21), -2}));
    EXPECT_EQ(first[35], Ms(11));
    EXPECT_EQ(first.back(), Ms(165));
}

TEST_F(VirtualClock, WallClockAndSeed) {
    EXPECT_DOUBLE_EQ(ClockWallTime(), 40179.0);
    SetVirtualWallClock(45000.5);
    Sleep(12 * 3600 * 1000);
    EXPECT_DOUBLE_EQ(ClockWallTime(), 45001.0);

    EXPECT_EQ(ClockSeed(), GetTickCount());
    SetClockSeedHook([] { return 1234u; });
    EXPECT_EQ(ClockSeed(), 1234u);
    SetClockMode(ClockMode::Virtual);
    EXPECT_EQ(ClockSeed(), 1'000'000u);
}

TEST_F(VirtualClock, SharedObjectInterface) {
    EXPECT_EQ(lumetra_clock_is_virtual(), 1);
    static int64_t ranAt;
    ranAt = -1;
    uint64_t id = lumetra_clock_schedule(
        Ms(3), [](void* ctx) { *static_cast<int64_t*>(ctx) = ClockNowTicks(); }, &ranAt);
    uint64_t cancelled = lumetra_clock_schedule(
        Ms(4), [](void*) { ADD_FAILURE(); }, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(lumetra_clock_cancel(cancelled), 1);
    lumetra_clock_sleep_ms(10);
    EXPECT_EQ(ranAt, Ms(3));
    EXPECT_EQ(lumetra_clock_now_ticks(), Ms(10));
    EXPECT_EQ(lumetra_clock_cancel(id), 0);
}

TEST(ClockMode, ChosenFromTheEnvironment) {
    struct Case {
        const char* value;
        ClockMode mode;
    } cases[] = {{"virtual", ClockMode::Virtual},
                 {"real", ClockMode::Real},
                 {"bogus", ClockMode::Real},
                 {nullptr, ClockMode::Real}};
    for (const Case& c : cases) {
        SetClockMode(c.mode == ClockMode::Real ? ClockMode::Virtual : ClockMode::Real);
        if (c.value) {
            setenv("LUMETRA_CLOCK", c.value, 1);
        } else {
            unsetenv("LUMETRA_CLOCK");
        }
        ClockModeFromEnvironment();
        EXPECT_EQ(GetClockMode(), c.mode) << (c.value ? c.value : "(unset)");
    }
    unsetenv("LUMETRA_CLOCK");
    SetClockMode(ClockMode::Real);
}

TEST(RealClock, CounterNeverGoesBackAndWaitsReachTheirDeadline) {
    SetClockMode(ClockMode::Real);
    EXPECT_EQ(lumetra_clock_is_virtual(), 0);
    LARGE_INTEGER prev{};
    QueryPerformanceCounter(&prev);
    for (int i = 0; i < 10000; ++i) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        ASSERT_GE(now.QuadPart, prev.QuadPart);
        prev = now;
    }
    int64_t deadline = ClockNowTicks() + Ms(3);
    ClockWaitUntilCounter(deadline);
    EXPECT_GE(ClockNowTicks(), deadline);
    deadline = ClockNowTicks() + Ms(2);
    EXPECT_EQ(ClockWaitUntil(deadline, [] { return false; }), ClockWaitResult::Deadline);
    EXPECT_GE(ClockNowTicks(), deadline);
    DWORD before = GetTickCount();
    Sleep(2);
    EXPECT_GE(GetTickCount() - before, 1u);
}

TEST(RealClock, CounterWaitsSleepToTheirDeadlineWithoutBusyWaiting) {
    // A paced loop's waits: short ones, each to an absolute counter value. Every wait ends
    // at or after its deadline, and the thread spends almost no processor time in them (a
    // wait that spins its last millisecond would take half of these 2 ms waits).
    SetClockMode(ClockMode::Real);
    auto threadCpuNs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
    };
    constexpr int kWaits = 40;
    const int64_t cpu0 = threadCpuNs(), start = ClockNowTicks();
    for (int i = 0; i < kWaits; ++i) {
        const int64_t deadline = ClockNowTicks() + Ms(2) + (i % 3) * Ms(1) / 3;
        ClockWaitUntilCounter(deadline);
        ASSERT_GE(ClockNowTicks(), deadline) << "wait " << i;
    }
    const double cpuMs = static_cast<double>(threadCpuNs() - cpu0) / 1e6;
    const double wallMs = static_cast<double>(ClockNowTicks() - start) / static_cast<double>(kTicksPerMs);
    EXPECT_GE(wallMs, kWaits * 2.0);
    // A quarter leaves room for the wake-ups of a loaded machine and still fails a wait that
    // spins (about half of the time).
    EXPECT_LT(cpuMs, wallMs * 0.25) << "processor " << cpuMs << " ms in " << wallMs << " ms of waiting";
    // A deadline already passed returns at once.
    const int64_t past = ClockNowTicks() - Ms(5);
    ClockWaitUntilCounter(past);
    EXPECT_GE(ClockNowTicks(), past);
}

TEST(RealClock, WaitIsWokenByNotifyFromAnotherThread) {
    SetClockMode(ClockMode::Real);
    std::atomic<bool> posted{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        posted = true;
        ClockNotify();
    });
    EXPECT_EQ(ClockWaitUntil(kNoDeadline, [&] { return posted.load(); }), ClockWaitResult::Woken);
    poster.join();
}

TEST(RealClock, ScheduledEventsRunWhenDueOnTheClockThread) {
    SetClockMode(ClockMode::Real);
    std::atomic<int> order{0};
    std::atomic<int> first{0}, second{0};
    std::atomic<bool> onMainThread{true};
    const std::thread::id mainId = std::this_thread::get_id();
    int64_t now = ClockNowTicks();
    ClockSchedule(now + Ms(4), [&] { second = ++order; });
    ClockSchedule(now + Ms(2), [&] {
        first = ++order;
        onMainThread = std::this_thread::get_id() == mainId;
    });
    ClockEventId never = ClockSchedule(now + Ms(3), [&] { ++order; });
    EXPECT_TRUE(ClockCancel(never));
    EXPECT_EQ(ClockWaitUntil(now + Ms(60'000), [&] { return order.load() == 2; }), ClockWaitResult::Woken);
    EXPECT_GE(ClockNowTicks(), now + Ms(4));
    EXPECT_EQ(first.load(), 1);
    EXPECT_EQ(second.load(), 2);
    EXPECT_FALSE(onMainThread.load());
}

namespace {

// On the real clock, scheduling and cancelling events (a periodic timer does both at every
// tick) concern the dispatcher alone: a waiter of ClockWaitUntil looks again only when
// notified or when an event has run.
TEST(RealClock, QueueChangesLeaveWaitersAsleep) {
    SetClockMode(ClockMode::Real);
    std::atomic<bool> done{false};
    std::atomic<int> looks{0};
    std::thread changer([&] {
        for (int i = 0; i < 50; ++i) {
            ClockEventId id = ClockSchedule(ClockNowTicks() + Ms(60'000), [] {});
            EXPECT_TRUE(ClockCancel(id));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
        ClockNotify();
    });
    EXPECT_EQ(ClockWaitUntil(ClockNowTicks() + Ms(60'000),
                             [&] {
                                 ++looks;
                                 return done.load();
                             }),
              ClockWaitResult::Woken);
    changer.join();
    // The first look, the one after the notification, and a spurious wake-up or two.
    EXPECT_LE(looks.load(), 6);
}

}  // namespace
