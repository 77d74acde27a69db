// The best wall-clock time of a few runs of a piece of work, for benchmarks that set their
// time against a peer program or a copy measured once in the same run; the processor time of
// this process (every thread: the codecs may hand rows to worker threads) and of finished
// child processes, and a peer program's run timed both ways.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

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

// Processor time of this process (all its threads), and of the finished child processes.
inline double ProcessCPU() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}
inline double ChildrenCPU() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs a command once; its real and processor time (the best so far kept in Real and CPU).
// A command that fails skips the benchmark with the command as the error.
inline void RunPeer(benchmark::State& State, const std::string& Command, double& Real, double& CPU) {
    const double c0 = ChildrenCPU();
    bool ok = true;
    Real = std::min(Real, BestSeconds(1, [&] { ok = std::system(Command.c_str()) == 0; }));
    CPU = std::min(CPU, ChildrenCPU() - c0);
    if (!ok) State.SkipWithError(Command.c_str());
}

}  // namespace bench
