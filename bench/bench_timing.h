// The best wall-clock time of a few runs of a piece of work, for benchmarks that set their
// time against a peer program or a copy measured once in the same run.
#pragma once

#include <algorithm>
#include <chrono>

namespace bench {

template <class F>
double BestSeconds(int Runs, F Work) {
    double best = 1e30;
    for (int i = 0; i < Runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        Work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace bench
