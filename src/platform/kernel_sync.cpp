#include <atomic>
#include <cassert>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/kernel_internal.h"

namespace win {

using namespace kernel_detail;

namespace {

std::atomic<DWORD> gNextThreadId{1};
thread_local DWORD tThreadId = 0;

struct EventObject : Waitable {
    std::mutex mutex;
    bool manual = false;
    bool signalled = false;
    bool TryAcquire() override {
        std::lock_guard<std::mutex> lock(mutex);
        if (!signalled) return false;
        if (!manual) signalled = false;
        return true;
    }
};

struct ThreadObject : Waitable {
    std::mutex mutex;
    bool started = false;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD id = 0;
    LPTHREAD_START_ROUTINE start = nullptr;
    void* parameter = nullptr;
    bool TryAcquire() override {
        std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }
};

void StartThread(const std::shared_ptr<ThreadObject>& t) {
    std::thread([t] {
        tThreadId = t->id;
        DWORD code = 0xFFFFFFFF;
        try {
            code = t->start(t->parameter);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "thread %u: unhandled exception: %s\n", t->id, e.what());
        } catch (...) {
            std::fprintf(stderr, "thread %u: unhandled exception\n", t->id);
        }
        {
            std::lock_guard<std::mutex> lock(t->mutex);
            t->exitCode = code;
            t->finished = true;
        }
        ClockNotify();
    }).detach();
}

std::shared_ptr<EventObject> EventOf(HANDLE h) {
    auto ev = Handles().GetAs<EventObject>(FromHandle(h), HandleKind::Event);
    if (!ev) SetLastError(ERROR_INVALID_HANDLE);
    return ev;
}

std::shared_ptr<ThreadObject> ThreadOf(HANDLE h) {
    auto t = Handles().GetAs<ThreadObject>(FromHandle(h), HandleKind::Thread);
    if (!t) SetLastError(ERROR_INVALID_HANDLE);
    return t;
}

}  // namespace

// --- critical sections -------------------------------------------------------------------

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    section->owner = std::thread::id();
    section->recursion = 0;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    assert(section->recursion == 0 && "deleting a critical section that is held");
    (void)section;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
    section->mutex.lock();
    section->owner = std::this_thread::get_id();
    ++section->recursion;
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) {
    if (!section->mutex.try_lock()) return FALSE;
    section->owner = std::this_thread::get_id();
    ++section->recursion;
    return TRUE;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
    bool owned = section->owner.load() == std::this_thread::get_id() && section->recursion > 0;
    assert(owned && "leaving a critical section that this thread does not hold");
    if (!owned) return;
    if (--section->recursion == 0) section->owner = std::thread::id();
    section->mutex.unlock();
}

// --- events and waits --------------------------------------------------------------------

HANDLE CreateEventA(SECURITY_ATTRIBUTES* /*sa*/, BOOL manualReset, BOOL initialState, const char* /*name*/) {
    auto ev = std::make_shared<EventObject>();
    ev->kind = HandleKind::Event;
    ev->manual = manualReset != FALSE;
    ev->signalled = initialState != FALSE;
    SetLastError(ERROR_SUCCESS);
    return ToHandle(Handles().Add(std::move(ev)));
}

BOOL SetEvent(HANDLE h) {
    auto ev = EventOf(h);
    if (!ev) return FALSE;
    {
        std::lock_guard<std::mutex> lock(ev->mutex);
        ev->signalled = true;
    }
    ClockNotify();
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    auto ev = EventOf(h);
    if (!ev) return FALSE;
    std::lock_guard<std::mutex> lock(ev->mutex);
    ev->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
    uintptr_t value = FromHandle(h);
    std::shared_ptr<Waitable> object = Handles().GetAs<Waitable>(value, HandleKind::Event);
    if (!object) object = Handles().GetAs<Waitable>(value, HandleKind::Thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (object->TryAcquire()) return WAIT_OBJECT_0;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
        // Not a timed wait: virtual time stays where it is.
        ClockWaitForCondition([&object] { return object->TryAcquire(); });
        return WAIT_OBJECT_0;
    }
    int64_t deadline = ClockNowTicks() + static_cast<int64_t>(milliseconds) * kTicksPerMs;
    ClockWaitResult r = ClockWaitUntil(deadline, [&object] { return object->TryAcquire(); });
    return r == ClockWaitResult::Woken ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// --- threads -----------------------------------------------------------------------------

HANDLE CreateThread(SECURITY_ATTRIBUTES* /*sa*/, size_t /*stackSize*/, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto t = std::make_shared<ThreadObject>();
    t->kind = HandleKind::Thread;
    t->id = gNextThreadId.fetch_add(1);
    t->start = start;
    t->parameter = parameter;
    if (threadId) *threadId = t->id;
    uintptr_t h = Handles().Add(t);
    if (!(flags & CREATE_SUSPENDED)) {
        t->started = true;
        try {
            StartThread(t);
        } catch (const std::system_error&) {
            Handles().Remove(h, HandleKind::Thread);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    return ToHandle(h);
}

DWORD ResumeThread(HANDLE h) {
    auto t = ThreadOf(h);
    if (!t) return 0xFFFFFFFF;
    {
        std::lock_guard<std::mutex> lock(t->mutex);
        if (t->started) return 0;
        t->started = true;
    }
    try {
        StartThread(t);
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0xFFFFFFFF;
    }
    return 1;  // the previous suspend count
}

BOOL GetExitCodeThread(HANDLE h, DWORD* exitCode) {
    auto t = ThreadOf(h);
    if (!t || !exitCode) {
        if (t) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(t->mutex);
    *exitCode = t->finished ? t->exitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD GetCurrentThreadId() {
    if (tThreadId == 0) tThreadId = gNextThreadId.fetch_add(1);
    return tThreadId;
}

// --- interlocked -------------------------------------------------------------------------

LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

}  // namespace win
