// Workers that race on purpose: run only by the canary test, which expects the
// ThreadSanitizer report that proves the pool's tests really ran instrumented.
#include <gtest/gtest.h>

#include "imaging/core/hyieutils_threadpool.h"

namespace ie {
namespace {

TEST(IEThreadPoolCanary, DISABLED_UnorderedWritesAreReported) {
    int shared = 0;
    TIEThreadPool pool;
    for (int i = 0; i < 4; ++i)
        pool.Add([&shared] {
            for (int k = 0; k < 1000; ++k) shared = shared + 1;
        });
    pool.WaitAll();
    EXPECT_GT(shared, 0);
}

}  // namespace
}  // namespace ie
