// The background input/output threads.
#include "imaging/io/vovozidio_thread.h"

namespace ie {

TIEIOThreadRunner::TIEIOThreadRunner() : FState(std::make_shared<State>()) {
    FState->OwnerThread = std::this_thread::get_id();
}

TIEIOThreadRunner::~TIEIOThreadRunner() { Wait({}); }

std::thread::id TIEIOThreadRunner::OwnerThread() const { return FState->OwnerThread; }

void TIEIOThreadRunner::Start(std::function<void()> Fn, std::function<void()> OnError) {
    std::shared_ptr<State> state = FState;
    auto record = std::make_unique<TIEIOThread>();
    TIEIOThread* rec = record.get();
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(state->Lock);
        state->ThreadList.push_back(std::move(record));
        ticket = state->NextTicket++;
    }
    std::thread([state, rec, ticket, fn = std::move(Fn), onError = std::move(OnError)] {
        {
            std::unique_lock<std::mutex> lock(state->Lock);
            rec->ThreadId = std::this_thread::get_id();
            state->TurnChanged.wait(lock, [&] { return state->Serving == ticket; });
        }
        try {
            fn();
        } catch (...) {
            if (onError) onError();
        }
        std::lock_guard<std::mutex> lock(state->Lock);
        ++state->Serving;
        state->TurnChanged.notify_all();
        for (auto it = state->ThreadList.begin(); it != state->ThreadList.end(); ++it)
            if (it->get() == rec) {
                state->ThreadList.erase(it);
                break;
            }
        state->Changed.notify_all();
    }).detach();
}

bool TIEIOThreadRunner::IsWorkerThread() {
    const std::thread::id me = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(FState->Lock);
    for (const auto& t : FState->ThreadList)
        if (t->ThreadId == me) return true;
    return false;
}

int32_t TIEIOThreadRunner::Count() {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return static_cast<int32_t>(FState->ThreadList.size());
}

void TIEIOThreadRunner::Serve(State& S, std::unique_lock<std::mutex>& Lock) {
    while (!S.SyncQueue.empty()) {
        SyncItem* item = S.SyncQueue.front();
        S.SyncQueue.pop_front();
        Lock.unlock();
        std::exception_ptr error;
        try {
            (*item->Fn)();
        } catch (...) {
            error = std::current_exception();
        }
        Lock.lock();
        item->Error = error;
        item->Done = true;
        S.Changed.notify_all();
    }
    // Posted work: nobody waits for it, so what it raises stops here.
    while (!S.PostQueue.empty()) {
        std::function<void()> fn = std::move(S.PostQueue.front());
        S.PostQueue.pop_front();
        Lock.unlock();
        try {
            fn();
        } catch (...) {
        }
        fn = nullptr;
        Lock.lock();
    }
}

void TIEIOThreadRunner::Wait(const std::function<void()>& EachRound) {
    State& s = *FState;
    const bool owner = std::this_thread::get_id() == s.OwnerThread;
    std::unique_lock<std::mutex> lock(s.Lock);
    for (;;) {
        if (EachRound) {
            lock.unlock();
            EachRound();
            lock.lock();
        }
        if (owner) Serve(s, lock);
        if (s.ThreadList.empty()) return;
        s.Changed.wait(lock);
    }
}

void TIEIOThreadRunner::Synchronize(const std::function<void()>& Fn) {
    if (!IsWorkerThread()) {
        Fn();
        return;
    }
    State& s = *FState;
    SyncItem item;
    item.Fn = &Fn;
    std::unique_lock<std::mutex> lock(s.Lock);
    s.SyncQueue.push_back(&item);
    s.Changed.notify_all();
    s.Changed.wait(lock, [&] { return item.Done; });
    if (item.Error) std::rethrow_exception(item.Error);
}

void TIEIOThreadRunner::Queue(std::function<void()> Fn) {
    std::lock_guard<std::mutex> lock(FState->Lock);
    FState->PostQueue.push_back(std::move(Fn));
    FState->Changed.notify_all();
}

void TIEIOThreadRunner::CheckSynchronize() {
    State& s = *FState;
    if (std::this_thread::get_id() != s.OwnerThread) return;
    std::unique_lock<std::mutex> lock(s.Lock);
    Serve(s, lock);
}

}  // namespace ie
