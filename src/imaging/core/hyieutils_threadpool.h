// The thread pool of the imaging library and the processor core count.
//
// The filtered resampler splits its work into horizontal bands and runs one worker per
// processor core: it gives each band to the pool and waits for all of them. The pool
// knows nothing of the work; each worker runs on a std::thread of its own. Add, WaitAll
// and the destructor are called from the thread that owns the pool; the workers must not
// touch the pool.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace ie {

class TIEThreadPool {
public:
    TIEThreadPool();
    // Waits for every worker (WaitAll); a worker's failure is dropped here.
    ~TIEThreadPool();
    TIEThreadPool(const TIEThreadPool&) = delete;
    TIEThreadPool& operator=(const TIEThreadPool&) = delete;

    // Starts Work on a new thread. cl::EThread when no thread can be made (Work does not
    // run then).
    void Add(std::function<void()> Work);
    // Waits for the workers in the order they were added and frees them; the pool is then
    // empty and takes new work. When a worker raised, the first such failure is raised
    // again once every worker has finished.
    void WaitAll();
    // Workers added and not yet waited for.
    int32_t GetCount() const { return static_cast<int32_t>(FThreads.size()); }

private:
    struct Worker;
    std::vector<std::unique_ptr<Worker>> FThreads;
};

// The number of physical processor cores (RelationProcessorCore records of the kernel's
// GetLogicalProcessorInformation, looked up at run time), at least 1; 1 when the function
// is missing or fails. Counted on the first call and kept until the next reset.
int32_t IEProcessorCoreCount();
// Forgets the count (the library's start-up does this before any worker exists).
void IEResetProcessorCoreCount();

}  // namespace ie
