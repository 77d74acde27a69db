#include "audio/auTimers.h"

#include "platform/winmm.h"

namespace audio {

TAudioHiResTimer::TAudioHiResTimer(cl::TComponent* AOwner) : cl::TComponent(AOwner) {}

TAudioHiResTimer::~TAudioHiResTimer() { Stop(); }

void TAudioHiResTimer::Start() {
    if (win::UINT old = FTimerID.exchange(0)) win::timeKillEvent(old);
    FStartTime = win::timeGetTime();
    win::UINT flags = win::TIME_KILL_SYNCHRONOUS | (FireOnce ? win::TIME_ONESHOT : win::TIME_PERIODIC);
    win::UINT id = win::timeSetEvent(Interval, Resolution, &TAudioHiResTimer::AudioHiResTimerProc,
                                     reinterpret_cast<win::DWORD_PTR>(this), flags);
    // A Start on another thread at the same moment: the later one wins, the other's event goes.
    if (win::UINT other = FTimerID.exchange(id)) win::timeKillEvent(other);
}

void TAudioHiResTimer::Stop() {
    // Killing from another thread waits for a callback in progress, which may have started
    // a new event meanwhile: kill until none is left.
    while (win::UINT id = FTimerID.exchange(0)) win::timeKillEvent(id);
}

void TAudioHiResTimer::AudioHiResTimerProc(win::UINT, win::UINT, win::DWORD_PTR user, win::DWORD_PTR,
                                           win::DWORD_PTR) {
    auto* timer = reinterpret_cast<TAudioHiResTimer*>(user);
    if (!timer || !timer->OnTimer) return;
    // Runs on the timer's thread: nothing may escape into it.
    try {
        timer->OnTimer(timer);
    } catch (...) {
    }
}

}  // namespace audio
