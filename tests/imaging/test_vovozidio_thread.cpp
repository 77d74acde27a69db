// The background threads of the input/output component: registration, one operation at
// a time, waiting, work handed to the owner's thread, errors. Built a second time under
// ThreadSanitizer (tests/imaging/tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "imaging/io/vovozidio_thread.h"

namespace ie {
namespace {

TEST(IEIOThreads, OperationsRunOneAtATimeAndWaitReturnsWhenAllEnd) {
    std::atomic<int> inside{0}, most{0}, done{0};
    {
        TIEIOThreadRunner runner;
        for (int i = 0; i < 6; ++i)
            runner.Start(
                [&] {
                    const int now = ++inside;
                    int seen = most.load();
                    while (now > seen && !most.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                    --inside;
                    ++done;
                },
                nullptr);
        runner.Wait({});
        EXPECT_EQ(runner.Count(), 0);
        EXPECT_EQ(done.load(), 6);
    }
    EXPECT_EQ(most.load(), 1);
}

TEST(IEIOThreads, OperationsRunInTheOrderTheyWereStarted) {
    // Each operation is a thread of its own; the later ones must still wait their turn
    // (two loads into one bitmap must leave the second picture).
    std::vector<int> order;
    std::mutex orderLock;
    TIEIOThreadRunner runner;
    for (int i = 0; i < 40; ++i)
        runner.Start(
            [&, i] {
                std::lock_guard<std::mutex> lock(orderLock);
                order.push_back(i);
            },
            nullptr);
    runner.Wait({});
    std::vector<int> expected(40);
    for (int i = 0; i < 40; ++i) expected[static_cast<size_t>(i)] = i;
    EXPECT_EQ(order, expected);
}

TEST(IEIOThreads, WorkerThreadsAreKnown) {
    TIEIOThreadRunner runner;
    std::atomic<bool> inWorker{false};
    EXPECT_FALSE(runner.IsWorkerThread());
    runner.Start([&] { inWorker = runner.IsWorkerThread(); }, nullptr);
    runner.Wait({});
    EXPECT_TRUE(inWorker.load());
}

TEST(IEIOThreads, HandedOverWorkRunsOnTheOwnerWhileItWaits) {
    TIEIOThreadRunner runner;
    std::thread::id ranOn;
    int value = 0;  // written by the handed-over work, read after Wait: no lock needed
    runner.Start(
        [&] {
            runner.Synchronize([&] {
                ranOn = std::this_thread::get_id();
                value = 42;
            });
        },
        nullptr);
    runner.Wait({});  // must not deadlock
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(value, 42);
}

TEST(IEIOThreads, HandedOverErrorsReachTheWorker) {
    TIEIOThreadRunner runner;
    std::atomic<bool> caught{false};
    runner.Start(
        [&] {
            try {
                runner.Synchronize([] { throw std::runtime_error("no window"); });
            } catch (const std::runtime_error&) {
                caught = true;
            }
        },
        nullptr);
    runner.Wait({});
    EXPECT_TRUE(caught.load());
}

TEST(IEIOThreads, ErrorsOfTheOperationGoToTheHandler) {
    TIEIOThreadRunner runner;
    std::atomic<int> errors{0};
    runner.Start([] { throw std::runtime_error("bad data"); }, [&] { ++errors; });
    runner.Start([] {}, [&] { ++errors; });
    runner.Wait({});
    EXPECT_EQ(errors.load(), 1);
}

TEST(IEIOThreads, WaitingCanAskTheOperationsToStop) {
    TIEIOThreadRunner runner;
    std::atomic<bool> abort{false};
    std::atomic<int> rounds{0};
    runner.Start(
        [&] {
            while (!abort.load()) {
                ++rounds;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        },
        nullptr);
    runner.Wait([&] { abort = true; });
    EXPECT_EQ(runner.Count(), 0);
}

TEST(IEIOThreads, TheEndOfTheRunnerWaits) {
    std::atomic<bool> finished{false};
    {
        TIEIOThreadRunner runner;
        runner.Start(
            [&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                finished = true;
            },
            nullptr);
    }
    EXPECT_TRUE(finished.load());
}

TEST(IEIOThreads, CheckSynchronizeServesOnlyOnTheOwner) {
    TIEIOThreadRunner runner;
    std::atomic<bool> ran{false}, started{false};
    runner.Start(
        [&] {
            started = true;
            runner.Synchronize([&] { ran = true; });
        },
        nullptr);
    while (!started.load()) std::this_thread::yield();
    // Another thread cannot serve the owner's queue.
    std::thread([&] { runner.CheckSynchronize(); }).join();
    while (!ran.load()) {
        runner.CheckSynchronize();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    runner.Wait({});
    EXPECT_TRUE(ran.load());
}

}  // namespace
}  // namespace ie
