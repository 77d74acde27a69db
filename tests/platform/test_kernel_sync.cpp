#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/kernel.h"

using namespace win;

namespace {

// Polls `done` for up to ten seconds (for cross-thread hand-overs in real time).
template <class F>
bool Eventually(F done) {
    for (int i = 0; i < 10000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

class VirtualTime : public ::testing::Test {
protected:
    void SetUp() override { SetClockMode(ClockMode::Virtual); }
    void TearDown() override { SetClockMode(ClockMode::Real); }
};

}  // namespace

TEST(CriticalSection, IsReentrantForItsOwner) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    auto otherCanEnter = [&] {
        BOOL got = FALSE;
        std::thread t([&] {
            got = TryEnterCriticalSection(&cs);
            if (got) LeaveCriticalSection(&cs);
        });
        t.join();
        return got != FALSE;
    };
    EXPECT_FALSE(otherCanEnter());
    LeaveCriticalSection(&cs);
    EXPECT_FALSE(otherCanEnter());
    LeaveCriticalSection(&cs);
    EXPECT_TRUE(otherCanEnter());
    DeleteCriticalSection(&cs);
}

TEST(Events, AutoAndManualReset) {
    struct Case {
        BOOL manual;
        BOOL initial;
        DWORD first, second, afterSet, afterSetAgain;
    } cases[] = {
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_OBJECT_0},
    };
    for (const Case& c : cases) {
        HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.first);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.second);
        ASSERT_TRUE(SetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), c.afterSet);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.afterSetAgain);
        ASSERT_TRUE(ResetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
        EXPECT_TRUE(CloseHandle(e));
        EXPECT_FALSE(SetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST(Events, AnAutoResetEventReleasesOneWaiterPerSet) {
    SetClockMode(ClockMode::Real);
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> woke{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(e, INFINITE) == WAIT_OBJECT_0) ++woke;
        });
    }
    SetEvent(e);
    ASSERT_TRUE(Eventually([&] { return woke.load() >= 1; }));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // the one waiter took the signal
    EXPECT_EQ(woke.load(), 1);
    SetEvent(e);
    ASSERT_TRUE(Eventually([&] { return woke.load() == 2; }));
    for (auto& t : waiters) t.join();
    CloseHandle(e);
}

TEST_F(VirtualTime, TimedWaitsMoveVirtualTime) {
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 250), WAIT_TIMEOUT);
    EXPECT_EQ(ClockNowTicks(), 250 * kTicksPerMs);

    ClockSchedule(ClockNowTicks() + 100 * kTicksPerMs, [e] { SetEvent(e); });
    EXPECT_EQ(WaitForSingleObject(e, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(ClockNowTicks(), 350 * kTicksPerMs);

    ClockSetHorizon(400 * kTicksPerMs);
    EXPECT_EQ(WaitForSingleObject(e, 1000), WAIT_TIMEOUT);
    EXPECT_EQ(ClockNowTicks(), 400 * kTicksPerMs);
    CloseHandle(e);
}

TEST_F(VirtualTime, AWaitWithoutTimeOutLeavesVirtualTimeAlone) {
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int ticks = 0;
    ClockSchedule(10 * kTicksPerMs, [&] { ++ticks; });
    std::thread setter([e] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(e);
    });
    EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(ClockNowTicks(), 0);
    EXPECT_EQ(ticks, 0);
    CloseHandle(e);
}

namespace {
DWORD ReturnsItsParameter(void* p) {
    auto* seen = static_cast<std::atomic<DWORD>*>(p);
    seen->store(GetCurrentThreadId());
    return 1234;
}
DWORD Throws(void*) { throw std::runtime_error("thread failure on purpose"); }
}  // namespace

TEST(Threads, HandlesAreSignalledWhenTheFunctionReturns) {
    std::atomic<DWORD> seen{0};
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, ReturnsItsParameter, &seen, CREATE_SUSPENDED, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);
    EXPECT_EQ(seen.load(), 0u);  // suspended: not started
    EXPECT_EQ(ResumeThread(t), 1u);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);  // stays signalled
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 1234u);
    EXPECT_EQ(seen.load(), id);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(t));

    HANDLE bad = CreateThread(nullptr, 0, Throws, nullptr, 0, nullptr);
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(WaitForSingleObject(bad, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(bad, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    CloseHandle(bad);
}

TEST(Threads, IdsAreStableAndDistinct) {
    DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mine);
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
}

TEST(Interlocked, CountsFromManyThreads) {
    LONG volatile counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < 10000; ++k) {
                InterlockedIncrement(&counter);
                InterlockedIncrement(&counter);
                InterlockedDecrement(&counter);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_EQ(InterlockedIncrement(&counter), 80001);
    EXPECT_EQ(InterlockedDecrement(&counter), 80000);
    EXPECT_EQ(InterlockedExchange(&counter, 7), 80000);
    EXPECT_EQ(counter, 7);
}
