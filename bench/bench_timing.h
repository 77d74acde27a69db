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

// Ours against a peer program's time less its Overhead (the same program only copying the
// file): 0 when that difference is below a twentieth of the peer's time, too small to
// tell from the noise (a streaming peer overlaps its work with reading and writing).
inline double NetRatio(double Ours, double Peer, double Overhead) {
    const double net = Peer - Overhead;
    return net < Peer / 20 ? 0.0 : Ours / net;
}

}  // namespace bench
