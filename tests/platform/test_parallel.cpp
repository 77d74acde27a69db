#include "platform/parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every row of the range is visited exactly once, in contiguous ordered bands, for small
// and large ranges, with and without a minimum band height.
TEST(ParallelRows, CoversEveryRowOnceInOrderedBands) {
    struct Case {
        int first, last, minRows;
    };
    const Case cases[] = {{0, 0, 1}, {5, 4, 1}, {0, 1, 1}, {0, 7, 1}, {3, 1083, 16}, {-10, 10, 1}, {0, 100000, 64}};
    for (const Case& c : cases) {
        std::vector<std::atomic<int>> seen(static_cast<size_t>(std::max(c.last - c.first, 0)));
        std::mutex m;
        std::vector<std::pair<int, int>> bands;
        win::ParallelRows(c.first, c.last, c.minRows, [&](int a, int b) {
            ASSERT_LT(a, b);
            for (int r = a; r < b; ++r) seen[static_cast<size_t>(r - c.first)]++;
            std::lock_guard<std::mutex> lock(m);
            bands.emplace_back(a, b);
        });
        for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].load(), 1) << "row " << i;
        std::sort(bands.begin(), bands.end());
        for (size_t i = 1; i < bands.size(); ++i) EXPECT_EQ(bands[i - 1].second, bands[i].first);
        for (const auto& [a, b] : bands) EXPECT_GE(b - a, std::min(c.minRows, c.last - c.first));
    }
}

TEST(ParallelRows, NestedCallsRunOnTheCallingBandAndExceptionsReachTheCaller) {
    std::atomic<int> rows{0};
    win::ParallelRows(
        0, 64, 1, [&](int a, int b) { win::ParallelRows(a * 10, b * 10, 1, [&](int x, int y) { rows += y - x; }); });
    EXPECT_EQ(rows.load(), 640);
    EXPECT_THROW(win::ParallelRows(0, 1000, 1,
                                   [](int a, int) {
                                       if (a == 0) throw std::runtime_error("band failed");
                                   }),
                 std::runtime_error);
    // The pool is still usable after a failed job.
    rows = 0;
    win::ParallelRows(0, 1000, 1, [&](int a, int b) { rows += b - a; });
    EXPECT_EQ(rows.load(), 1000);
}

}  // namespace

namespace {
// Set in the forked child below. The leak checker's end-of-process pass stops every thread its
// registry knows, and the child's registry still lists the parent's workers it never got: the
// pass would wait for them for ever. The child's own exit is what the test is about.
bool g_forkedChild = false;
}  // namespace

// Read by the leak checker of sanitizer builds at exit (nonzero: no leak pass).
extern "C" int __lsan_is_turned_off() { return g_forkedChild ? 1 : 0; }

// A child made by fork after the workers started has none of them: it covers its ranges on
// its own thread and ends by exit (static destructors and exit handlers run) without
// waiting on threads it does not have.
TEST(ParallelRows, AForkedChildCoversRangesOnItsThreadAndExits) {
    std::atomic<int> parentRows{0};
    win::ParallelRows(0, 100000, 1, [&](int a, int b) { parentRows += b - a; });
    ASSERT_EQ(parentRows.load(), 100000);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::alarm(20);  // a child that hangs fails instead of stopping the run
        g_forkedChild = true;
        const std::thread::id me = std::this_thread::get_id();
        int rows = 0;
        bool mine = true;
        win::ParallelRows(0, 100000, 1, [&](int a, int b) {
            rows += b - a;
            mine = mine && std::this_thread::get_id() == me;
        });
        std::exit(rows == 100000 && mine && win::ParallelThreadCount() == 1 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
