#include "platform/winmm.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/clock.h"

namespace win {

namespace {

struct Timer {
    int64_t period = 0;  // ticks
    int64_t due = 0;     // ticks
    bool periodic = false;
    LPTIMECALLBACK proc = nullptr;
    DWORD_PTR user = 0;
    ClockEventId event = 0;
    uint64_t order = 0;  // place among ticks due at the same time: creation order
};

struct TimerService {
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable workDone;  // also: a callback has returned
    std::unordered_map<UINT, Timer> timers;
    UINT nextId = 1;
    std::deque<std::pair<UINT, uint64_t>> work;  // timer id, work number
    uint64_t queued = 0;
    uint64_t finished = 0;
    UINT running = 0;  // id whose callback runs now
    bool threadStarted = false;
    std::thread::id threadId;
};

// Lives until the process ends: the timer thread may still run at exit.
TimerService& Service() {
    static TimerService* service = new TimerService;
    return *service;
}

void ScheduleTick(TimerService& s, UINT id, Timer& t);

// Runs one tick of timer `id` on the calling thread (the timer thread). Lock held on
// entry and exit.
void RunTick(TimerService& s, std::unique_lock<std::mutex>& lock, UINT id) {
    auto it = s.timers.find(id);
    if (it == s.timers.end()) return;  // killed while the tick was on its way
    LPTIMECALLBACK proc = it->second.proc;
    DWORD_PTR user = it->second.user;
    s.running = id;
    lock.unlock();
    try {
        proc(id, 0, user, 0, 0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "multimedia timer %u: callback failed: %s\n", id, e.what());
    } catch (...) {
        std::fprintf(stderr, "multimedia timer %u: callback failed\n", id);
    }
    lock.lock();
    s.running = 0;
    it = s.timers.find(id);
    if (it == s.timers.end()) return;  // killed from inside the callback
    Timer& t = it->second;
    if (!t.periodic) {
        s.timers.erase(it);
        return;
    }
    int64_t now = ClockNowTicks();
    t.due += t.period;
    if (t.due <= now) t.due += ((now - t.due) / t.period + 1) * t.period;  // skip missed ticks
    ScheduleTick(s, id, t);
}

void TimerThread() {
    ClockMarkCallbackThread();
    TimerService& s = Service();
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        s.workReady.wait(lock, [&] { return !s.work.empty(); });
        auto [id, number] = s.work.front();
        s.work.pop_front();
        RunTick(s, lock, id);
        s.finished = number;
        s.workDone.notify_all();
    }
}

// Called by the clock when a tick falls due: hands the tick to the timer thread and
// returns when its callback has run.
void HandTick(UINT id) {
    TimerService& s = Service();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (std::this_thread::get_id() == s.threadId) {
        RunTick(s, lock, id);
        s.workDone.notify_all();
        return;
    }
    uint64_t number = ++s.queued;
    s.work.emplace_back(id, number);
    s.workReady.notify_one();
    s.workDone.wait(lock, [&] { return s.finished >= number; });
}

void ScheduleTick(TimerService& /*s*/, UINT id, Timer& t) {
    if (t.order == 0) {
        t.event = ClockSchedule(t.due, [id] { HandTick(id); });
        t.order = t.event;
    } else {
        t.event = ClockScheduleOrdered(t.due, t.order, [id] { HandTick(id); });
    }
}

}  // namespace

MMRESULT timeSetEvent(UINT delay, UINT /*resolution*/, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags) {
    constexpr UINT kCallbackKinds = 0x70;  // event set / pulse / thread callbacks
    if (!proc || (flags & kCallbackKinds) != TIME_CALLBACK_FUNCTION) return 0;
    TimerService& s = Service();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.threadStarted) {
        try {
            std::thread t(TimerThread);
            s.threadId = t.get_id();
            t.detach();
        } catch (const std::system_error&) {
            return 0;
        }
        s.threadStarted = true;
    }
    UINT id = s.nextId++;
    Timer t;
    t.period = static_cast<int64_t>(delay == 0 ? 1 : delay) * kTicksPerMs;
    t.due = ClockNowTicks() + t.period;
    t.periodic = (flags & TIME_PERIODIC) != 0;
    t.proc = proc;
    t.user = user;
    Timer& stored = s.timers.emplace(id, t).first->second;
    ScheduleTick(s, id, stored);
    return id;
}

MMRESULT timeKillEvent(UINT id) {
    TimerService& s = Service();
    std::unique_lock<std::mutex> lock(s.mutex);
    auto it = s.timers.find(id);
    if (it == s.timers.end()) return MMSYSERR_INVALPARAM;
    ClockCancel(it->second.event);
    s.timers.erase(it);
    if (std::this_thread::get_id() != s.threadId) {
        // Another thread: wait for a callback of this timer that is running now.
        s.workDone.wait(lock, [&] { return s.running != id; });
    }
    return TIMERR_NOERROR;
}

DWORD timeGetTime() { return GetTickCount(); }

MMRESULT timeBeginPeriod(UINT period) { return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR; }
MMRESULT timeEndPeriod(UINT period) { return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR; }

}  // namespace win
