// TAudioHiResTimer: a non-visual component that fires OnTimer every Interval ms (or once,
// with FireOnce) from the platform's multimedia timer, on the timer's own thread.
//
// Start and Stop may be called from the main thread and from inside OnTimer (a handler
// may restart or stop its own timer). TimerID is atomic, and Stop kills until no event is
// left; a handler that was already running when another thread stopped the timer cannot
// start it again (its Start undoes itself), so no event survives the Stop.
#pragma once

#include <atomic>
#include <cstdint>

#include "classlib/Classes.h"
#include "platform/windef.h"

namespace audio {

class TAudioHiResTimer : public cl::TComponent {
    CL_DECLARE_COMPONENT(TAudioHiResTimer, cl::TComponent)
public:
    explicit TAudioHiResTimer(cl::TComponent* AOwner);
    ~TAudioHiResTimer() override;

    // Kills a running event and starts a new one with the current settings.
    void Start();
    // Kills a running event; TimerID becomes 0.
    void Stop();

    // Published properties.
    uint16_t Resolution = 0;  // ms
    uint16_t Interval = 0;    // ms
    bool FireOnce = false;
    cl::TNotifyEvent OnTimer;

    // The running multimedia-timer event (0 when none; after a single shot it keeps the
    // dead event's id until Stop or the next Start).
    win::UINT TimerID() const { return FTimerID.load(); }
    // timeGetTime at the last Start.
    win::DWORD StartTime() const { return FStartTime.load(); }

    // The multimedia-timer callback: `user` is the component.
    static void AudioHiResTimerProc(win::UINT id, win::UINT msg, win::DWORD_PTR user, win::DWORD_PTR dw1,
                                    win::DWORD_PTR dw2);

private:
    std::atomic<win::UINT> FTimerID{0};
    std::atomic<win::DWORD> FStartTime{0};
    std::atomic<uint64_t> FStops{0};  // Stop calls so far
};

}  // namespace audio
