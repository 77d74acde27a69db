// The transition library's millisecond stopwatch. It reads the platform's high-resolution
// counter (or, where no counter frequency is reported, the multimedia system time with the
// timer resolution raised to 1 ms for its lifetime).
#pragma once

#include <cstdint>

namespace te {

class TTEChrono {
public:
    TTEChrono();
    ~TTEChrono();
    TTEChrono(const TTEChrono&) = delete;
    TTEChrono& operator=(const TTEChrono&) = delete;

    // Starts when stopped or paused.
    void Start();
    // Keeps the reading and stops counting (when running).
    void Pause();
    // Back to a stopped stopwatch at 0 ms.
    void Reset();
    // The reading in milliseconds.
    double Milliseconds() const;

    // Waits through the platform clock (never by spinning on it) until the reading has
    // reached `ms`. Returns at once when the stopwatch is not running or the reading is
    // already there.
    void WaitUntil(double ms) const;
    // The platform counter value at which a running stopwatch reads `ms`.
    int64_t CounterAt(double ms) const;

    bool Running() const { return !Paused && !Stopped; }

    double Accumulated = 0;
    int32_t StartCount = 0;
    bool Paused = false;
    int32_t StopCount = 0;
    bool Stopped = true;
    bool UsePerformanceCounter = false;
    int64_t Frequency = 0;
    int64_t StartStamp = 0;

private:
    int64_t Stamp() const;
};

}  // namespace te
