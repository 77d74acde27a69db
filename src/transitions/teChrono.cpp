#include "transitions/teChrono.h"

#include <cmath>

#include "platform/clock.h"
#include "platform/winmm.h"

namespace te {

TTEChrono::TTEChrono() {
    win::LARGE_INTEGER f{};
    if (win::QueryPerformanceFrequency(&f) && f.QuadPart > 0) {
        UsePerformanceCounter = true;
        Frequency = f.QuadPart;
    } else {
        win::timeBeginPeriod(1);
    }
}

TTEChrono::~TTEChrono() {
    if (!UsePerformanceCounter) win::timeEndPeriod(1);
}

int64_t TTEChrono::Stamp() const {
    if (UsePerformanceCounter) {
        win::LARGE_INTEGER c{};
        win::QueryPerformanceCounter(&c);
        return c.QuadPart;
    }
    return win::timeGetTime();
}

void TTEChrono::Start() {
    if (!Stopped && !Paused) return;
    StartStamp = Stamp();
    ++StartCount;
    Paused = false;
    Stopped = false;
}

void TTEChrono::Pause() {
    if (Stopped || Paused) return;
    Accumulated = Milliseconds();
    Paused = true;
}

void TTEChrono::Reset() {
    Pause();
    if (!Stopped) ++StopCount;
    Accumulated = 0;
    StartCount = 0;
    Stopped = true;
}

double TTEChrono::Milliseconds() const {
    if (Stopped || Paused) return Accumulated;
    int64_t now = Stamp();
    if (UsePerformanceCounter)
        return Accumulated + static_cast<double>(now - StartStamp) * 1000.0 / static_cast<double>(Frequency);
    // The system time wraps at 2^32 ms; the difference of two readings does not.
    return Accumulated + static_cast<double>(static_cast<uint32_t>(now - StartStamp));
}

int64_t TTEChrono::CounterAt(double ms) const {
    double rest = ms - Accumulated;
    if (UsePerformanceCounter)
        return StartStamp + static_cast<int64_t>(std::ceil(rest * static_cast<double>(Frequency) / 1000.0));
    // Millisecond clock: convert to counter ticks of the platform clock.
    win::LARGE_INTEGER c{};
    win::QueryPerformanceCounter(&c);
    double left = ms - Milliseconds();
    return c.QuadPart + static_cast<int64_t>(std::ceil(left * static_cast<double>(win::kTicksPerMs)));
}

void TTEChrono::WaitUntil(double ms) const {
    if (!Running()) return;
    // A counter value computed by rounding up can still read a hair below `ms` after the
    // conversion back; the second turn covers that.
    for (int turn = 0; turn < 4 && Milliseconds() < ms; ++turn) win::ClockWaitUntilCounter(CounterAt(ms) + turn);
}

}  // namespace te
