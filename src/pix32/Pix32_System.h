// Processor features, timing and the processor count of the bitmap library.
#pragma once

#include <cstdint>
#include <memory>

namespace pix32 {

// Processor features tested by the units when they bind their routines.
enum TCpuFeature : uint8_t {
    cfMMX = 0,
    cfExtendedMMX = 1,
    cfSSE = 2,
    cfSSE2 = 3,
    cf3DNow = 4,
    cf3DNowExt = 5,
};

// True when bit 21 of the flags register can be changed (the processor has CPUID).
bool IsCpuidSupported();
// EAX of CPUID leaf 1.
uint32_t ReadProcessorSignature();
// EDX of CPUID leaf 1.
uint32_t ReadFeatureFlags();
// True when CPUID leaf 0x80000000 reports extended leaves.
bool HasExtendedLeaves();
// EDX of CPUID leaf 0x80000001.
uint32_t ReadExtendedFeatureFlags();

// False unless the processor has CPUID and is of family 5 or later; then the feature's bit.
bool ProcessorHasFeature(TCpuFeature F);
bool HasMMX();
bool HasExtendedMMX();
bool Has3DNow();
// True when the processor has SSE2 (the SSE2 forms of the library's routines may run).
bool HasSSE2();

// Number of processors.
int32_t ProcessorCount();
// The tick count in milliseconds.
uint32_t GetTickMilliseconds();

// Measures elapsed time with the performance counter.
class TPerfTimer {
public:
    int64_t Frequency = 0;
    int64_t StartCount = 0;
    int64_t StopCount = 0;

    void Start();
    // Microseconds since Start: round((Stop - Start) x 1000000 / Frequency), ties to even.
    int64_t ReadMicroseconds();
};

// Microseconds for a counter difference at a frequency, as ReadMicroseconds computes it.
int64_t CounterToMicroseconds(int64_t Ticks, int64_t Frequency);

// The unit-wide timer, present between start-up and shutdown.
TPerfTimer* GlobalPerfTimer();

void Pix32_System_Initialization();
void Pix32_System_Finalization();

}  // namespace pix32
