// The one clock behind every time query and every wait of the program.
//
// Two modes. Real: std::chrono::steady_clock. Virtual (tests, scripted runs): time
// moves only inside waits, jumping straight to the next due event, so runs are instant
// and repeatable. Counter ticks are 100 ns (10,000,000 per second); the millisecond
// clock (GetTickCount, timeGetTime) is the same time in whole milliseconds plus the
// millisecond origin (virtual mode: 1,000,000 by default).
//
// Virtual-time rules:
// - Time advances only in ClockWaitUntil / Sleep / ClockWaitUntilCounter / timed waits on
//   events, and in ClockAdvance (tests).
// - Advancing to time T runs every thread-side callback due at or before T (multimedia
//   timer ticks, audio end-of-track syncs) in due order (ties: scheduling order), each on
//   the thread its owner gave it, and waits for each to finish before going on.
// - Queue-side events (USER timers, scripted input) are not the clock's business: the
//   message loop asks for its own next due time and waits until then.
// - A horizon, when set, ends virtual runs: a ClockWaitUntil wait (the message loop's, timed
//   event waits) that would go past it returns ClockWaitResult::Horizon at the horizon
//   instead of waiting forever. Bounded waits that code relies on to finish (Sleep with a
//   time, ClockWaitUntilCounter) always reach their time.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/windef.h"

namespace win {

enum class ClockMode { Real, Virtual };

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksPerMs = 10'000;
constexpr int64_t kNoDeadline = INT64_MAX;

// Chooses the mode (before start-up, or in tests between runs). In virtual mode the
// counter starts at 0 ticks and the millisecond clock at originMs. Resets the horizon,
// the seed hook, the virtual wall clock, and drops every scheduled event. Real mode: the
// counter is the steady clock and the millisecond clock its whole milliseconds (so
// GetTickCount reads like the time since boot); originMs is not used.
void SetClockMode(ClockMode mode, uint32_t originMs = 1'000'000);
ClockMode GetClockMode();
// Reads LUMETRA_CLOCK (real|virtual; default real) and sets the mode.
void ClockModeFromEnvironment();

// Current time in counter ticks (monotonic; reading never advances virtual time).
int64_t ClockNowTicks();
// Milliseconds since the clock started (no origin added).
int64_t ClockElapsedMs();

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void Sleep(DWORD ms);

// The only legal way to wait for a counter value (paced loops): real mode sleeps to the
// deadline (no busy waiting; it returns once the counter has reached `ticks`); virtual
// mode advances time.
void ClockWaitUntilCounter(int64_t ticks);

enum class ClockWaitResult { Deadline, Woken, Horizon };

// Waits until `deadlineTicks` (kNoDeadline: no deadline) or until `woken()` returns true.
// `woken` is checked first, after every thread-side callback that ran, and (real mode)
// whenever ClockNotify() is called. Virtual mode: advances time event by event.
ClockWaitResult ClockWaitUntil(int64_t deadlineTicks, const std::function<bool()>& woken);
// Waits until `woken()` returns true, checking it again whenever ClockNotify() is called or
// the clock changes. Never moves virtual time (a wait without a time-out is not a timed
// wait: WaitForSingleObject(h, INFINITE)).
void ClockWaitForCondition(const std::function<bool()>& woken);
// Wakes real-mode waiters so that they look at their `woken` condition again
// (PostMessage and SetEvent call it; harmless in virtual mode).
void ClockNotify();

// Thread-side callbacks in step with the clock. `run` is called when the event falls
// due: it must hand the work to its own thread and return only when that work is done
// (virtual mode waits for it). Returns an id for ClockCancel.
using ClockEventId = uint64_t;
ClockEventId ClockSchedule(int64_t dueTicks, std::function<void()> run);
// The same with an explicit place among events due at the same time: ties run in order of
// `order`, then of scheduling. ClockSchedule uses the new event's own id as its order, so
// a source of repeated events (a periodic timer) that passes the id of its first event
// keeps its creation-order place among later events.
ClockEventId ClockScheduleOrdered(int64_t dueTicks, uint64_t order, std::function<void()> run);
// Cancels a scheduled event; returns false when it already ran (or is running) or never
// existed. Real mode: events are run by the clock's own dispatcher thread when due.
// SetClockMode drops every scheduled event.
bool ClockCancel(ClockEventId id);

// Marks the calling thread as one that runs work handed over by scheduled events (the
// multimedia timer thread, the audio sync thread). In virtual mode a wait made by such a
// thread while a scheduled event is being run does not run other events (they are
// serialised behind the one in flight): time moves straight to the wait's deadline, or
// the wait returns Woken. Waits of unmarked threads wait for the event in flight first.
// An owner whose `run` is called on its own thread must do the work inline.
void ClockMarkCallbackThread();
// Due time of the earliest scheduled thread-side event, or kNoDeadline.
int64_t ClockNextEventTicks();

// Virtual mode: moves time forward by `ticks`, running what falls due (tests). The
// horizon does not limit it. Real mode: does nothing.
void ClockAdvance(int64_t ticks);
// Virtual mode horizon (kNoDeadline: none).
void ClockSetHorizon(int64_t ticks);
int64_t ClockGetHorizon();

// A 32-bit value to seed the shared random generator from (cl::Randomize): real mode the
// low 32 bits of the counter; virtual mode the hook's value, by default the virtual
// millisecond count.
uint32_t ClockSeed();
void SetClockSeedHook(std::function<uint32_t()> hook);

// Wall clock as days since 1899-12-30 (fraction = time of day); virtual mode: the value
// set by SetVirtualWallClock plus elapsed virtual time.
// The virtual wall clock starts at 2010-01-01 00:00 (40179.0) until a test sets it.
double ClockWallTime();
void SetVirtualWallClock(double dateTime);

}  // namespace win

// The same clock for shared objects loaded at run time (the audio library stand-in), which
// link none of the layer and find these in the executable.
extern "C" {
int64_t lumetra_clock_now_ticks(void);
int lumetra_clock_is_virtual(void);
uint64_t lumetra_clock_schedule(int64_t due_ticks, void (*run)(void* ctx), void* ctx);
int lumetra_clock_cancel(uint64_t id);
void lumetra_clock_sleep_ms(uint32_t ms);
void lumetra_clock_mark_callback_thread(void);
}
