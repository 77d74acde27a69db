// The multimedia timer: callbacks on one timer thread, in step with the platform clock
// (in virtual mode every tick is a scheduled clock event, so ticks happen at exact times).
#pragma once

#include "platform/windef.h"

namespace win {

using MMRESULT = UINT;
using LPTIMECALLBACK = void (*)(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2);

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

constexpr UINT TIME_ONESHOT = 0;
constexpr UINT TIME_PERIODIC = 1;
constexpr UINT TIME_CALLBACK_FUNCTION = 0;
constexpr UINT TIME_KILL_SYNCHRONOUS = 0x100;

// Calls `proc(id, 0, user, 0, 0)` on the timer thread after `delay` ms (0 counts as 1),
// once or every `delay` ms: periodic deadlines advance by `delay` from the previous
// deadline (no drift), and a late tick does not queue the ticks it missed. Callbacks of
// all timers run one at a time. `resolution` is ignored. Returns the timer id (never
// reused within a run), 0 on failure (no callback, or a callback kind other than a
// function).
MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags);
// 0, or MMSYSERR_INVALPARAM for an unknown or finished timer. From another thread it
// returns once a callback of that timer in progress has returned, and no callback starts
// afterwards; from inside the timer's own callback it returns at once.
MMRESULT timeKillEvent(UINT id);
// The platform clock's millisecond count, as GetTickCount.
DWORD timeGetTime();
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);

}  // namespace win
