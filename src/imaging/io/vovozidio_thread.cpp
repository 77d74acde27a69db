// The background input/output threads.
#include "imaging/io/vovozidio_thread.h"

#include "imaging/io/vovozidio.h"

namespace ie {

bool TVovozIdIO::StartInBackground(std::function<void()> Fn) {
    if (!NeedsBackground()) return false;
    std::shared_ptr<TIEIOThreadState> state = FThreads;
    auto record = std::make_unique<TIEIOThread>();
    TIEIOThread* rec = record.get();
    {
        std::lock_guard<std::mutex> lock(state->Lock);
        state->ThreadList.push_back(std::move(record));
    }
    std::thread([this, state, rec, fn = std::move(Fn)] {
        {
            std::lock_guard<std::mutex> lock(state->Lock);
            rec->ThreadId = std::this_thread::get_id();
        }
        {
            std::lock_guard<std::mutex> serial(state->Serial);
            try {
                fn();
            } catch (...) {
                Aborting = true;
            }
        }
        // Last touch of the component: leave the list and tell the waiters.
        std::lock_guard<std::mutex> lock(state->Lock);
        for (auto it = state->ThreadList.begin(); it != state->ThreadList.end(); ++it)
            if (it->get() == rec) {
                state->ThreadList.erase(it);
                break;
            }
        state->Changed.notify_all();
    }).detach();
    return true;
}

bool TVovozIdIO::IsIOThread() {
    const std::thread::id me = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(FThreads->Lock);
    for (const auto& t : FThreads->ThreadList)
        if (t->ThreadId == me) return true;
    return false;
}

int32_t TVovozIdIO::RunningThreadCount() {
    std::lock_guard<std::mutex> lock(FThreads->Lock);
    return static_cast<int32_t>(FThreads->ThreadList.size());
}

void TVovozIdIO::WaitThreads(bool SetAborting) {
    TIEIOThreadState& s = *FThreads;
    const bool onMain = std::this_thread::get_id() == s.MainThread;
    std::unique_lock<std::mutex> lock(s.Lock);
    for (;;) {
        if (SetAborting) Aborting = true;
        // Work handed over by the threads runs here meanwhile, so that a thread waiting for
        // it can end.
        while (onMain && !s.SyncQueue.empty()) {
            TIEIOThreadState::SyncItem* item = s.SyncQueue.front();
            s.SyncQueue.pop_front();
            lock.unlock();
            try {
                (*item->Fn)();
            } catch (...) {
                item->Error = std::current_exception();
            }
            lock.lock();
            item->Done = true;
            s.Changed.notify_all();
        }
        if (s.ThreadList.empty()) return;
        s.Changed.wait(lock);
    }
}

void TVovozIdIO::Synchronize(const std::function<void()>& Fn) {
    TIEIOThreadState& s = *FThreads;
    if (std::this_thread::get_id() == s.MainThread) {
        Fn();
        return;
    }
    TIEIOThreadState::SyncItem item;
    item.Fn = &Fn;
    std::unique_lock<std::mutex> lock(s.Lock);
    s.SyncQueue.push_back(&item);
    s.Changed.notify_all();
    s.Changed.wait(lock, [&] { return item.Done; });
    if (item.Error) std::rethrow_exception(item.Error);
}

void TVovozIdIO::CheckSynchronize() {
    TIEIOThreadState& s = *FThreads;
    if (std::this_thread::get_id() != s.MainThread) return;
    std::unique_lock<std::mutex> lock(s.Lock);
    while (!s.SyncQueue.empty()) {
        TIEIOThreadState::SyncItem* item = s.SyncQueue.front();
        s.SyncQueue.pop_front();
        lock.unlock();
        try {
            (*item->Fn)();
        } catch (...) {
            item->Error = std::current_exception();
        }
        lock.lock();
        item->Done = true;
        s.Changed.notify_all();
    }
}

}  // namespace ie
