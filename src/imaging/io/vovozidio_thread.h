// The background input/output threads of TVovozIdIO: a thread registers with its
// component, runs one load or save, and unregisters; the component waits for its threads,
// and work that must run on the component's own thread is handed over through a queue.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ie {

class TVovozIdIO;

// One running background operation.
class TIEIOThread {
public:
    std::thread::id ThreadId;  // recorded when the thread starts
};

// The state a component shares with its threads.
struct TIEIOThreadState {
    std::mutex Lock;
    std::condition_variable Changed;  // a thread ended, or work was handed over
    std::vector<std::unique_ptr<TIEIOThread>> ThreadList;
    std::mutex Serial;  // background operations of one component run one at a time
    std::thread::id MainThread;
    struct SyncItem {
        const std::function<void()>* Fn = nullptr;
        bool Done = false;
        std::exception_ptr Error;
    };
    std::deque<SyncItem*> SyncQueue;
};

}  // namespace ie
