// The background input/output threads of TVovozIdIO. A thread registers with its
// component before it starts, runs one load or save, and leaves the list when done; the
// background operations of one component run one at a time. The component waits for its
// threads, and work that must run on the component's own thread (making a view's window)
// is handed over through a queue that the waiting thread keeps serving.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ie {

// One running background operation.
class TIEIOThread {
public:
    std::thread::id ThreadId;  // recorded when the thread starts
};

class TIEIOThreadRunner {
public:
    // The constructing thread is the owner's thread (the one Synchronize hands work to).
    TIEIOThreadRunner();
    // Waits for every thread.
    ~TIEIOThreadRunner();
    TIEIOThreadRunner(const TIEIOThreadRunner&) = delete;
    TIEIOThreadRunner& operator=(const TIEIOThreadRunner&) = delete;

    // Runs Fn on a new thread, after the operations started before it; OnError runs on that
    // thread when Fn raises.
    void Start(std::function<void()> Fn, std::function<void()> OnError);
    // True on one of the runner's threads.
    bool IsWorkerThread();
    int32_t Count();
    // Returns when no thread runs. EachRound runs before every look at the count; on the
    // owner's thread the handed-over work runs meanwhile.
    void Wait(const std::function<void()>& EachRound);
    // From a worker: runs Fn on the owner's thread and waits for it (its exception passes
    // on); on the owner's thread (or any other that is not a worker) Fn runs at once.
    void Synchronize(const std::function<void()>& Fn);
    // From any thread: Fn runs later on the owner's thread, when it next serves the handed
    // over work (CheckSynchronize, Wait); the caller does not wait.
    void Queue(std::function<void()> Fn);
    // On the owner's thread: runs the work handed over so far.
    void CheckSynchronize();
    std::thread::id OwnerThread() const;

private:
    struct SyncItem {
        const std::function<void()>* Fn = nullptr;
        bool Done = false;
        std::exception_ptr Error;
    };
    struct State {
        std::mutex Lock;
        std::condition_variable Changed;  // a thread ended, or work was handed over
        std::vector<std::unique_ptr<TIEIOThread>> ThreadList;
        // Operations run one at a time in the order they were started: each takes a ticket
        // and runs when it is served.
        uint64_t NextTicket = 0;
        uint64_t Serving = 0;
        std::condition_variable TurnChanged;
        std::thread::id OwnerThread;
        std::deque<SyncItem*> SyncQueue;
        std::deque<std::function<void()>> PostQueue;
    };
    // Runs the queued work; the lock is held on entry and on return.
    static void Serve(State& S, std::unique_lock<std::mutex>& Lock);
    // Shared with the threads, so that a thread's last steps never outlive it.
    std::shared_ptr<State> FState;
};

}  // namespace ie
