#include "platform/parallel.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace win {

namespace {

thread_local bool t_insideBand = false;

class Pool {
public:
    explicit Pool(int threads) {
        for (int i = 0; i + 1 < threads; ++i) workers_.emplace_back([this] { Run(); });
    }
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        for (auto& t : workers_) t.join();
    }

    int Threads() const { return static_cast<int>(workers_.size()) + 1; }

    // One job at a time: a second caller waits for the first to finish.
    void Split(int first, int last, int bands, const std::function<void(int, int)>& body) {
        std::lock_guard<std::mutex> job(jobMutex_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            body_ = &body;
            first_ = first;
            rows_ = last - first;
            bands_ = bands;
            next_ = 1;  // band 0 is the caller's
            pending_ = bands - 1;
            error_ = nullptr;
            ++generation_;
        }
        wake_.notify_all();
        RunBand(0);
        // The caller helps with bands the workers have not taken yet.
        for (;;) {
            int band;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (next_ >= bands_) break;
                band = next_++;
            }
            RunBand(band);
            Finish();
        }
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
        body_ = nullptr;
        if (error_) std::rethrow_exception(error_);
    }

private:
    void RunBand(int band) {
        const int a = first_ + static_cast<int>(static_cast<long long>(rows_) * band / bands_);
        const int b = first_ + static_cast<int>(static_cast<long long>(rows_) * (band + 1) / bands_);
        t_insideBand = true;
        try {
            if (a < b) (*body_)(a, b);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!error_) error_ = std::current_exception();
        }
        t_insideBand = false;
    }

    void Finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--pending_ == 0) done_.notify_all();
    }

    void Run() {
        uint64_t seen = 0;
        for (;;) {
            int band;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return quit_ || (generation_ != seen && next_ < bands_); });
                if (quit_) return;
                band = next_++;
                if (next_ >= bands_) seen = generation_;
            }
            RunBand(band);
            Finish();
        }
    }

    std::vector<std::thread> workers_;
    std::mutex jobMutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(int, int)>* body_ = nullptr;
    int first_ = 0, rows_ = 0, bands_ = 0, next_ = 0, pending_ = 0;
    uint64_t generation_ = 0;
    std::exception_ptr error_;
    bool quit_ = false;
};

int ConfiguredThreads() {
    if (const char* e = std::getenv("LUMETRA_THREADS")) {
        int n = std::atoi(e);
        if (n >= 1) return std::min(n, 64);
    }
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 64);
}

// The pool is never destroyed: its workers end with the process. A child made by fork has
// none of them (only the forking thread goes over), so it must neither join them at its exit
// nor hand them bands; it runs every range on its own thread.
struct OwnedPool {
    pid_t owner;
    Pool* pool;
};

const OwnedPool& ThePool() {
    static const OwnedPool p{::getpid(), new Pool(ConfiguredThreads())};
    return p;
}

// The pool, or nullptr in a process that did not start it.
Pool* OwnPool() {
    const OwnedPool& p = ThePool();
    return p.owner == ::getpid() ? p.pool : nullptr;
}

}  // namespace

int ParallelThreadCount() {
    Pool* pool = OwnPool();
    return pool ? pool->Threads() : 1;
}

void ParallelRows(int first, int last, int minRows, const std::function<void(int, int)>& body) {
    if (last <= first) return;
    minRows = std::max(minRows, 1);
    const int rows = last - first;
    const int threads = t_insideBand ? 1 : ParallelThreadCount();
    const int bands = std::min(threads, rows / minRows);
    if (bands < 2) {
        body(first, last);
        return;
    }
    OwnPool()->Split(first, last, bands, body);
}

}  // namespace win
