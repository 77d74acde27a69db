// The thread pool. These tests use nothing but the pool and the C++ library, so that the
// same file also builds into the ThreadSanitizer test (tests/imaging/tsan): results are
// written by the workers without atomics and read after WaitAll, which must order them.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_threadpool.h"

namespace ie {
namespace {

TEST(IEThreadPool, WorkersFillDisjointBandsSeenWholeAfterWaitAll) {
    constexpr int kRows = 480, kWidth = 640;
    for (int workers : {1, 2, 3, 8, 17}) {
        std::vector<uint32_t> image(static_cast<size_t>(kRows) * kWidth, 0);
        TIEThreadPool pool;
        for (int w = 0; w < workers; ++w) {
            const int first = kRows * w / workers, last = kRows * (w + 1) / workers;
            pool.Add([&image, first, last] {
                for (int y = first; y < last; ++y)
                    for (int x = 0; x < kWidth; ++x) image[static_cast<size_t>(y) * kWidth + x] = y * 1000u + x;
            });
        }
        EXPECT_EQ(pool.GetCount(), workers);
        pool.WaitAll();
        EXPECT_EQ(pool.GetCount(), 0);
        for (int y = 0; y < kRows; ++y)
            for (int x = 0; x < kWidth; ++x)
                ASSERT_EQ(image[static_cast<size_t>(y) * kWidth + x], y * 1000u + x) << workers << " workers";
    }
}

TEST(IEThreadPool, AnEmptyPoolReturnsAtOnceAndAWaitedPoolTakesNewWork) {
    TIEThreadPool pool;
    pool.WaitAll();
    int first = 0, second = 0;
    pool.Add([&] { first = 1; });
    pool.WaitAll();
    EXPECT_EQ(first, 1);
    pool.Add([&] { second = 2; });
    pool.Add([&] { first = 3; });
    pool.WaitAll();
    EXPECT_EQ(second, 2);
    EXPECT_EQ(first, 3);
    pool.Add(std::function<void()>());  // no work at all
    pool.WaitAll();
}

TEST(IEThreadPool, DestroyingThePoolWaitsForEveryWorker) {
    std::promise<void> release;
    std::shared_future<void> go = release.get_future().share();
    bool finished[4] = {};
    auto pool = std::make_unique<TIEThreadPool>();
    for (bool& f : finished)
        pool->Add([go, &f] {
            go.wait();
            f = true;
        });
    // The workers can only finish once this helper lets them, well after the destructor
    // has started waiting.
    std::thread helper([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.set_value();
    });
    pool.reset();
    for (bool f : finished) EXPECT_TRUE(f);
    helper.join();
}

TEST(IEThreadPool, TheFirstFailureInOrderReachesTheCallerAfterAllFinished) {
    TIEThreadPool pool;
    std::promise<void> lastFailed;
    std::shared_future<void> lastDone = lastFailed.get_future().share();
    bool slowFinished = false;
    pool.Add([] {});
    pool.Add([lastDone] {
        lastDone.wait();  // fails after the later worker did
        throw cl::EConvertError("second worker");
    });
    pool.Add([&slowFinished] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        slowFinished = true;
    });
    pool.Add([&lastFailed] {
        struct Signal {
            std::promise<void>& p;
            ~Signal() { p.set_value(); }
        } signal{lastFailed};
        throw std::runtime_error("fourth worker");
    });
    try {
        pool.WaitAll();
        ADD_FAILURE() << "no failure reported";
    } catch (const cl::EConvertError& e) {
        EXPECT_EQ(e.Message, "second worker");
    }
    EXPECT_TRUE(slowFinished);
    EXPECT_EQ(pool.GetCount(), 0);
    int after = 0;
    pool.Add([&after] { after = 1; });
    pool.WaitAll();
    EXPECT_EQ(after, 1);
    // A failure left for the destructor is dropped there, never thrown out of it.
    auto failing = std::make_unique<TIEThreadPool>();
    failing->Add([] { throw std::runtime_error("dropped"); });
    failing.reset();
}

TEST(IEThreadPool, WorkIsFreedWithItsThread) {
    auto token = std::make_shared<int>(7);
    std::weak_ptr<int> watch = token;
    TIEThreadPool pool;
    int seen = 0;
    pool.Add([token = std::move(token), &seen] { seen = *token; });
    pool.WaitAll();
    EXPECT_EQ(seen, 7);
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace ie
