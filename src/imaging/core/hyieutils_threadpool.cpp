// The thread pool (kept apart from the core count so that it builds alone, with nothing
// but the C++ library, for the ThreadSanitizer test).
#include "imaging/core/hyieutils_threadpool.h"

#include <system_error>
#include <thread>
#include <utility>

#include "classlib/SysUtils.h"

namespace ie {

struct TIEThreadPool::Worker {
    std::function<void()> Work;
    std::exception_ptr Failure;  // written by the worker, read after it was joined
    std::thread Thread;
};

TIEThreadPool::TIEThreadPool() = default;

TIEThreadPool::~TIEThreadPool() {
    try {
        WaitAll();
    } catch (...) {
        // Nothing may leave a destructor; the workers have all finished by now.
    }
}

void TIEThreadPool::Add(std::function<void()> Work) {
    auto worker = std::make_unique<Worker>();
    worker->Work = std::move(Work);
    Worker* w = worker.get();
    try {
        w->Thread = std::thread([w] {
            try {
                if (w->Work) w->Work();
            } catch (...) {
                w->Failure = std::current_exception();
            }
        });
    } catch (const std::system_error& e) {
        throw cl::EThread(cl::String("Thread creation error: ") + e.what());
    }
    FThreads.push_back(std::move(worker));
}

void TIEThreadPool::WaitAll() {
    std::exception_ptr first;
    for (auto& w : FThreads) {
        if (w->Thread.joinable()) w->Thread.join();
        if (!first && w->Failure) first = w->Failure;
    }
    FThreads.clear();
    if (first) std::rethrow_exception(first);
}

}  // namespace ie
