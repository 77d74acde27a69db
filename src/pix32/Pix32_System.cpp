#include "pix32/Pix32_System.h"

#include <cmath>
#include <thread>

#include "platform/clock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define PIX32_X86 1
#endif

namespace pix32 {

namespace {

#ifdef PIX32_X86
struct CpuidResult {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidResult Cpuid(uint32_t leaf) {
    CpuidResult r;
    __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}
#endif

std::unique_ptr<TPerfTimer> g_PerfTimer;

}  // namespace

bool IsCpuidSupported() {
#if defined(__x86_64__)
    uint64_t before, after;
    __asm__ volatile(
        "pushfq\n\t"
        "pop %0\n\t"
        "mov %0, %1\n\t"
        "xor $0x200000, %1\n\t"
        "push %1\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "pop %1\n\t"
        "push %0\n\t"
        "popfq\n\t"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
    return ((before ^ after) & 0x200000) != 0;
#elif defined(__i386__)
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
}

uint32_t ReadProcessorSignature() {
#ifdef PIX32_X86
    return Cpuid(1).eax;
#else
    return 0;
#endif
}

uint32_t ReadFeatureFlags() {
#ifdef PIX32_X86
    return Cpuid(1).edx;
#else
    return 0;
#endif
}

bool HasExtendedLeaves() {
#ifdef PIX32_X86
    return Cpuid(0x80000000u).eax > 0x80000000u;
#else
    return false;
#endif
}

uint32_t ReadExtendedFeatureFlags() {
#ifdef PIX32_X86
    return Cpuid(0x80000001u).edx;
#else
    return 0;
#endif
}

TCpuidValues ReadCpuidValues() {
    TCpuidValues v;
    v.CpuidSupported = IsCpuidSupported();
    if (!v.CpuidSupported) return v;
    v.Signature = ReadProcessorSignature();
    v.Features = ReadFeatureFlags();
    v.ExtendedLeaves = HasExtendedLeaves();
    if (v.ExtendedLeaves) v.ExtendedFeatures = ReadExtendedFeatureFlags();
    return v;
}

bool FeatureFromCpuid(const TCpuidValues& V, TCpuFeature F) {
    if (!V.CpuidSupported) return false;
    if (((V.Signature >> 8) & 0xF) < 5) return false;
    switch (F) {
        case cfMMX: return (V.Features & 0x00800000u) != 0;
        case cfExtendedMMX:
            if (V.Features & 0x02000000u) return true;
            return V.ExtendedLeaves && (V.ExtendedFeatures & 0x00400000u) != 0;
        case cfSSE: return (V.Features & 0x02000000u) != 0;
        case cfSSE2: return (V.Features & 0x04000000u) != 0;
        case cf3DNow: return V.ExtendedLeaves && (V.ExtendedFeatures & 0x80000000u) != 0;
        case cf3DNowExt: return V.ExtendedLeaves && (V.ExtendedFeatures & 0x40000000u) != 0;
    }
    return false;
}

bool ProcessorHasFeature(TCpuFeature F) { return FeatureFromCpuid(ReadCpuidValues(), F); }
bool HasMMX() { return ProcessorHasFeature(cfMMX); }
bool HasExtendedMMX() { return ProcessorHasFeature(cfExtendedMMX); }
bool Has3DNow() { return ProcessorHasFeature(cf3DNow); }

bool HasSSE2() {
#if defined(__x86_64__)
    return true;
#else
    return ProcessorHasFeature(cfSSE2);
#endif
}

int32_t ProcessorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int32_t>(n);
}

uint32_t GetTickMilliseconds() { return win::GetTickCount(); }

int64_t CounterToMicroseconds(int64_t Ticks, int64_t Frequency) {
    if (Frequency <= 0) return 0;
    // The product in 64-bit integers, the division in floating point, rounded half to even.
    // A difference too large for the integer product (centuries at any real frequency) is
    // multiplied in floating point instead of overflowing.
    constexpr int64_t kLimit = INT64_MAX / 1000000;
    const double product = (Ticks > kLimit || Ticks < -kLimit) ? static_cast<double>(Ticks) * 1e6
                                                                 : static_cast<double>(Ticks * 1000000);
    const double us = product / static_cast<double>(Frequency);
    return static_cast<int64_t>(std::nearbyint(us));
}

void TPerfTimer::Start() {
    win::LARGE_INTEGER c;
    win::QueryPerformanceCounter(&c);
    StartCount = c.QuadPart;
}

int64_t TPerfTimer::ReadMicroseconds() {
    win::LARGE_INTEGER c, f;
    win::QueryPerformanceCounter(&c);
    StopCount = c.QuadPart;
    win::QueryPerformanceFrequency(&f);
    Frequency = f.QuadPart;
    return CounterToMicroseconds(StopCount - StartCount, Frequency);
}

TPerfTimer* GlobalPerfTimer() { return g_PerfTimer.get(); }

void Pix32_System_Initialization() {
    if (!g_PerfTimer) g_PerfTimer = std::make_unique<TPerfTimer>();
}

void Pix32_System_Finalization() { g_PerfTimer.reset(); }

}  // namespace pix32
