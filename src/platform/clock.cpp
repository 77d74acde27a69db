#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace win {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr double kDefaultVirtualWallClock = 40179.0;  // 2010-01-01 00:00
constexpr double kTicksPerDay = 86400.0 * static_cast<double>(kTicksPerSecond);

int64_t SteadyTicks() {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch()).count();
    return ns / 100;
}

SteadyClock::time_point SteadyPointOf(int64_t ticks) {
    if (ticks > INT64_MAX / 200) return SteadyClock::now() + std::chrono::hours(24);
    auto d = std::chrono::duration_cast<SteadyClock::duration>(std::chrono::nanoseconds(ticks) * 100);
    return SteadyClock::time_point(d);
}

struct Event {
    ClockEventId id = 0;
    std::function<void()> run;
};

// Key of the queue: due time, then the tie order, then scheduling order (ids grow with
// every ClockSchedule).
struct EventKey {
    int64_t due;
    uint64_t order;
    ClockEventId id;
    auto operator<=>(const EventKey&) const = default;
};

thread_local bool tCallbackThread = false;
thread_local int tRunningDepth = 0;  // this thread is running a scheduled event itself

struct Clock {
    std::mutex mutex;
    std::condition_variable changed;  // time moved, an event ran, ClockNotify, a new event
    uint64_t generation = 0;          // bumped with every notification of `changed`
    // The real-time dispatcher's own wake-up: every notification of `changed`, and also a
    // change of the queue on the real clock, which concerns no one else there.
    std::condition_variable dispatch;

    std::atomic<ClockMode> mode{ClockMode::Real};
    std::atomic<int64_t> virtualNow{0};
    std::atomic<uint32_t> originMs{1'000'000};
    int64_t realStartTicks = SteadyTicks();

    std::map<EventKey, Event> queue;
    std::unordered_map<ClockEventId, EventKey> keyOf;
    ClockEventId nextId = 1;
    int64_t horizon = kNoDeadline;
    int running = 0;  // events being run right now
    bool dispatcherStarted = false;

    std::function<uint32_t()> seedHook;
    double virtualWallBase = kDefaultVirtualWallClock;
    int64_t virtualWallBaseTicks = 0;

    void Bump() {
        ++generation;
        changed.notify_all();
        dispatch.notify_one();
    }

    // A new or cancelled event. On the virtual clock the waiters run the events, so they
    // all look again. On the real clock only the dispatcher runs them and the waiters of
    // ClockWaitUntil look at their deadline and their condition alone: waking every one
    // of them (the message loop among them) for each tick of a periodic timer would cost
    // thread switches for nothing.
    void QueueChanged() {
        if (mode.load() == ClockMode::Virtual)
            Bump();
        else
            dispatch.notify_one();
    }
};

// Never destroyed: threads may still use the clock while the program exits.
Clock& TheClock() {
    static Clock* clock = new Clock;
    return *clock;
}

void RunSafely(const std::function<void()>& run) {
    try {
        run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "clock: a scheduled callback failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "clock: a scheduled callback failed\n");
    }
}

// Takes the earliest event off the queue. Caller holds the lock; the queue is not empty.
Event PopFirst(Clock& c) {
    auto it = c.queue.begin();
    Event ev = std::move(it->second);
    c.keyOf.erase(ev.id);
    c.queue.erase(it);
    return ev;
}

// Runs one event with the lock released, then tells every waiter.
void RunEvent(Clock& c, std::unique_lock<std::mutex>& lock, Event ev) {
    ++c.running;
    ++tRunningDepth;
    lock.unlock();
    RunSafely(ev.run);
    ev.run = nullptr;  // destroy the callable outside the lock too
    lock.lock();
    --tRunningDepth;
    --c.running;
    c.Bump();
}

// Real mode: the clock's own thread runs scheduled events when they fall due.
void DispatcherLoop() {
    Clock& c = TheClock();
    std::unique_lock<std::mutex> lock(c.mutex);
    for (;;) {
        if (c.mode.load() != ClockMode::Real || c.queue.empty()) {
            c.dispatch.wait(lock);
            continue;
        }
        int64_t due = c.queue.begin()->first.due;
        if (due <= SteadyTicks()) {
            RunEvent(c, lock, PopFirst(c));
            continue;
        }
        c.dispatch.wait_until(lock, SteadyPointOf(due));
    }
}

void StartDispatcher(Clock& c) {
    if (c.dispatcherStarted) return;
    c.dispatcherStarted = true;
    std::thread(DispatcherLoop).detach();
}

enum class WokenAnswer { NotYet, Woken, ClockChanged };

// Asks the waiter's condition (with the clock unlocked, as it may read the clock) whether
// the wait is over; ClockChanged when the clock moved meanwhile and the wait must look again.
WokenAnswer AskWoken(Clock& c, std::unique_lock<std::mutex>& lock, const std::function<bool()>& woken) {
    if (!woken) return WokenAnswer::NotYet;
    const uint64_t seen = c.generation;
    lock.unlock();
    const bool done = woken();
    lock.lock();
    if (done) return WokenAnswer::Woken;
    return seen != c.generation ? WokenAnswer::ClockChanged : WokenAnswer::NotYet;
}

ClockWaitResult VirtualWait(Clock& c, int64_t deadline, const std::function<bool()>& woken, bool useHorizon) {
    std::unique_lock<std::mutex> lock(c.mutex);
    for (;;) {
        const WokenAnswer answer = AskWoken(c, lock, woken);
        if (answer == WokenAnswer::Woken) return ClockWaitResult::Woken;
        if (answer == WokenAnswer::ClockChanged) continue;
        if (c.mode.load() != ClockMode::Virtual) return ClockWaitResult::Deadline;  // switched under us
        int64_t horizon = useHorizon ? c.horizon : kNoDeadline;
        int64_t target = std::min(deadline, horizon);
        int64_t now = c.virtualNow.load();
        bool inFlight = c.running > 0;
        if (inFlight && !tCallbackThread && tRunningDepth == 0) {
            // Time does not move while an event is being run: wait for it to finish.
            c.changed.wait(lock);
            continue;
        }
        if (!inFlight && !c.queue.empty() && c.queue.begin()->first.due <= target) {
            int64_t due = c.queue.begin()->first.due;
            if (due > now) c.virtualNow.store(due);
            RunEvent(c, lock, PopFirst(c));
            continue;
        }
        if (target == kNoDeadline) {
            // Nothing will ever fall due: only a notification or a new event can end this.
            c.changed.wait(lock);
            continue;
        }
        if (target > now) {
            c.virtualNow.store(target);
            c.Bump();
        }
        return deadline <= target ? ClockWaitResult::Deadline : ClockWaitResult::Horizon;
    }
}

ClockWaitResult RealWait(Clock& c, int64_t deadline, const std::function<bool()>& woken) {
    std::unique_lock<std::mutex> lock(c.mutex);
    for (;;) {
        const WokenAnswer answer = AskWoken(c, lock, woken);
        if (answer == WokenAnswer::Woken) return ClockWaitResult::Woken;
        if (answer == WokenAnswer::ClockChanged) continue;
        if (deadline != kNoDeadline && SteadyTicks() >= deadline) return ClockWaitResult::Deadline;
        if (c.mode.load() != ClockMode::Real) return ClockWaitResult::Deadline;
        if (deadline == kNoDeadline) {
            c.changed.wait(lock);
        } else {
            c.changed.wait_until(lock, SteadyPointOf(deadline));
        }
    }
}

}  // namespace

void SetClockMode(ClockMode mode, uint32_t originMs) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.mode.store(mode);
    c.originMs.store(originMs);
    c.virtualNow.store(0);
    c.realStartTicks = SteadyTicks();
    c.queue.clear();
    c.keyOf.clear();
    c.horizon = kNoDeadline;
    c.seedHook = nullptr;
    c.virtualWallBase = kDefaultVirtualWallClock;
    c.virtualWallBaseTicks = 0;
    c.Bump();
}

ClockMode GetClockMode() { return TheClock().mode.load(); }

void ClockModeFromEnvironment() {
    const char* value = std::getenv("LUMETRA_CLOCK");
    ClockMode mode = ClockMode::Real;
    if (value && std::strcmp(value, "virtual") == 0) {
        mode = ClockMode::Virtual;
    } else if (value && *value && std::strcmp(value, "real") != 0) {
        std::fprintf(stderr, "LUMETRA_CLOCK=%s is neither real nor virtual; using the real clock\n", value);
    }
    SetClockMode(mode);
}

int64_t ClockNowTicks() {
    Clock& c = TheClock();
    if (c.mode.load() == ClockMode::Virtual) return c.virtualNow.load();
    return SteadyTicks();
}

int64_t ClockElapsedMs() {
    Clock& c = TheClock();
    if (c.mode.load() == ClockMode::Virtual) return c.virtualNow.load() / kTicksPerMs;
    int64_t start;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        start = c.realStartTicks;
    }
    return (SteadyTicks() - start) / kTicksPerMs;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (!counter) return FALSE;
    counter->QuadPart = ClockNowTicks();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = kTicksPerSecond;
    return TRUE;
}

DWORD GetTickCount() {
    Clock& c = TheClock();
    if (c.mode.load() == ClockMode::Virtual) {
        uint64_t ms = static_cast<uint64_t>(c.virtualNow.load() / kTicksPerMs);
        return static_cast<DWORD>(c.originMs.load() + ms);
    }
    return static_cast<DWORD>(static_cast<uint64_t>(SteadyTicks() / kTicksPerMs));
}

void Sleep(DWORD ms) {
    constexpr DWORD kInfinite = 0xFFFFFFFF;
    if (GetClockMode() == ClockMode::Virtual) {
        if (ms == kInfinite) {
            ClockWaitUntil(kNoDeadline, nullptr);
            return;
        }
        // A bounded sleep always ends at its time, the horizon notwithstanding.
        VirtualWait(TheClock(), ClockNowTicks() + static_cast<int64_t>(ms) * kTicksPerMs, nullptr, false);
        return;
    }
    if (ms == 0) {
        std::this_thread::yield();
    } else if (ms == kInfinite) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void ClockWaitUntilCounter(int64_t ticks) {
    if (GetClockMode() == ClockMode::Virtual) {
        // Paced loops must reach their counter value, the horizon notwithstanding.
        VirtualWait(TheClock(), ticks, nullptr, false);
        return;
    }
    // Sleeps to the absolute deadline on the monotonic clock: no busy turn at the end, and a
    // signal that interrupts the sleep does not stretch it. The deadline is carried over from
    // the counter by the distance still to go, so it does not depend on where the steady
    // clock counts from.
    for (;;) {
        const int64_t left = ticks - SteadyTicks();
        if (left <= 0) return;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t ns = std::min<int64_t>(left, INT64_MAX / 200) * 100;
        int64_t sec = static_cast<int64_t>(now.tv_sec) + ns / 1'000'000'000;
        int64_t nsec = static_cast<int64_t>(now.tv_nsec) + ns % 1'000'000'000;
        if (nsec >= 1'000'000'000) {
            ++sec;
            nsec -= 1'000'000'000;
        }
        timespec until{};
        until.tv_sec = static_cast<time_t>(sec);
        until.tv_nsec = static_cast<long>(nsec);
        int err;
        while ((err = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr)) == EINTR) {
        }
        if (err != 0) {
            std::this_thread::sleep_until(SteadyPointOf(ticks));
            return;
        }
    }
}

ClockWaitResult ClockWaitUntil(int64_t deadlineTicks, const std::function<bool()>& woken) {
    Clock& c = TheClock();
    if (c.mode.load() == ClockMode::Virtual) return VirtualWait(c, deadlineTicks, woken, true);
    return RealWait(c, deadlineTicks, woken);
}

void ClockWaitForCondition(const std::function<bool()>& woken) {
    if (!woken) return;
    Clock& c = TheClock();
    std::unique_lock<std::mutex> lock(c.mutex);
    for (;;) {
        uint64_t seen = c.generation;
        lock.unlock();
        bool done = woken();
        lock.lock();
        if (done) return;
        if (seen == c.generation) c.changed.wait(lock);
    }
}

void ClockNotify() {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.Bump();
}

namespace {
ClockEventId Schedule(int64_t dueTicks, const uint64_t* order, std::function<void()> run) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    ClockEventId id = c.nextId++;
    EventKey key{dueTicks, order ? *order : id, id};
    c.queue.emplace(key, Event{id, std::move(run)});
    c.keyOf.emplace(id, key);
    if (c.mode.load() == ClockMode::Real) StartDispatcher(c);
    c.QueueChanged();
    return id;
}
}  // namespace

ClockEventId ClockSchedule(int64_t dueTicks, std::function<void()> run) {
    return Schedule(dueTicks, nullptr, std::move(run));
}

ClockEventId ClockScheduleOrdered(int64_t dueTicks, uint64_t order, std::function<void()> run) {
    return Schedule(dueTicks, &order, std::move(run));
}

bool ClockCancel(ClockEventId id) {
    Clock& c = TheClock();
    std::function<void()> dropped;  // destroyed after the lock is released
    std::lock_guard<std::mutex> lock(c.mutex);
    auto it = c.keyOf.find(id);
    if (it == c.keyOf.end()) return false;
    auto qit = c.queue.find(it->second);
    if (qit != c.queue.end()) {
        dropped = std::move(qit->second.run);
        c.queue.erase(qit);
    }
    c.keyOf.erase(it);
    c.QueueChanged();
    return true;
}

int64_t ClockNextEventTicks() {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.queue.empty() ? kNoDeadline : c.queue.begin()->first.due;
}

void ClockMarkCallbackThread() { tCallbackThread = true; }

void ClockAdvance(int64_t ticks) {
    Clock& c = TheClock();
    if (c.mode.load() != ClockMode::Virtual || ticks < 0) return;
    int64_t now = c.virtualNow.load();
    int64_t target = ticks > kNoDeadline - now ? kNoDeadline - 1 : now + ticks;
    VirtualWait(c, target, nullptr, false);
}

void ClockSetHorizon(int64_t ticks) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.horizon = ticks;
    c.Bump();
}

int64_t ClockGetHorizon() {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.horizon;
}

uint32_t ClockSeed() {
    Clock& c = TheClock();
    if (c.mode.load() == ClockMode::Virtual) {
        std::function<uint32_t()> hook;
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            hook = c.seedHook;
        }
        return hook ? hook() : GetTickCount();
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(SteadyTicks()));
}

void SetClockSeedHook(std::function<uint32_t()> hook) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.seedHook = std::move(hook);
}

double ClockWallTime() {
    Clock& c = TheClock();
    if (c.mode.load() == ClockMode::Virtual) {
        std::lock_guard<std::mutex> lock(c.mutex);
        return c.virtualWallBase + static_cast<double>(c.virtualNow.load() - c.virtualWallBaseTicks) / kTicksPerDay;
    }
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    time_t secs = ts.tv_sec;
    struct tm local {};
    localtime_r(&secs, &local);
    // Seconds east of UTC, so that the result is local time as the calling code expects.
    double localSeconds = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff) + ts.tv_nsec / 1e9;
    constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 in days since 1899-12-30
    return kUnixEpochDays + localSeconds / 86400.0;
}

void SetVirtualWallClock(double dateTime) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.virtualWallBase = dateTime;
    c.virtualWallBaseTicks = c.virtualNow.load();
}

}  // namespace win

extern "C" {

__attribute__((visibility("default"))) int64_t lumetra_clock_now_ticks(void) { return win::ClockNowTicks(); }

__attribute__((visibility("default"))) int lumetra_clock_is_virtual(void) {
    return win::GetClockMode() == win::ClockMode::Virtual ? 1 : 0;
}

__attribute__((visibility("default"))) uint64_t lumetra_clock_schedule(int64_t due_ticks, void (*run)(void* ctx),
                                                                       void* ctx) {
    if (!run) return 0;
    return win::ClockSchedule(due_ticks, [run, ctx] { run(ctx); });
}

__attribute__((visibility("default"))) int lumetra_clock_cancel(uint64_t id) { return win::ClockCancel(id) ? 1 : 0; }

__attribute__((visibility("default"))) void lumetra_clock_sleep_ms(uint32_t ms) { win::Sleep(ms); }

__attribute__((visibility("default"))) void lumetra_clock_mark_callback_thread(void) { win::ClockMarkCallbackThread(); }

}  // extern "C"
