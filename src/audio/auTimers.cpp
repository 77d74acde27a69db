#include "audio/auTimers.h"

#include "platform/winmm.h"

namespace audio {

namespace {
// The timer whose OnTimer runs on this thread, and its stop count when the call began.
thread_local const TAudioHiResTimer* tlsTimer = nullptr;
thread_local uint64_t tlsStops = 0;
}  // namespace

TAudioHiResTimer::TAudioHiResTimer(cl::TComponent* AOwner) : cl::TComponent(AOwner) {}

TAudioHiResTimer::~TAudioHiResTimer() { Stop(); }

void TAudioHiResTimer::Start() {
    // A Start made by a handler whose timer was stopped since the handler began does not
    // outlive that Stop.
    const uint64_t stops = tlsTimer == this ? tlsStops : FStops.load();
    if (win::UINT old = FTimerID.exchange(0)) win::timeKillEvent(old);
    FStartTime = win::timeGetTime();
    win::UINT flags = win::TIME_KILL_SYNCHRONOUS | (FireOnce ? win::TIME_ONESHOT : win::TIME_PERIODIC);
    win::UINT id = win::timeSetEvent(Interval, Resolution, &TAudioHiResTimer::AudioHiResTimerProc,
                                     reinterpret_cast<win::DWORD_PTR>(this), flags);
    // A Start on another thread at the same moment: the later one wins, the other's event goes.
    if (win::UINT other = FTimerID.exchange(id)) win::timeKillEvent(other);
    // A Stop came meanwhile: it has either taken this event already, or it has not looked
    // yet and this takes it back.
    if (FStops.load() != stops && id != 0 && FTimerID.compare_exchange_strong(id, 0)) win::timeKillEvent(id);
}

void TAudioHiResTimer::Stop() {
    uint64_t stops = ++FStops;
    // A handler stopping its own timer may start it again afterwards.
    if (tlsTimer == this) tlsStops = stops;
    // Killing from another thread waits for a callback in progress, which may have started
    // a new event meanwhile: kill until none is left.
    while (win::UINT id = FTimerID.exchange(0)) win::timeKillEvent(id);
}

void TAudioHiResTimer::AudioHiResTimerProc(win::UINT, win::UINT, win::DWORD_PTR user, win::DWORD_PTR, win::DWORD_PTR) {
    auto* timer = reinterpret_cast<TAudioHiResTimer*>(user);
    if (!timer || !timer->OnTimer) return;
    // Runs on the timer's thread: nothing may escape into it.
    const TAudioHiResTimer* outer = tlsTimer;
    uint64_t outerStops = tlsStops;
    tlsTimer = timer;
    tlsStops = timer->FStops.load();
    try {
        timer->OnTimer(timer);
    } catch (...) {
    }
    tlsTimer = outer;
    tlsStops = outerStops;
}

}  // namespace audio
