#include <gtest/gtest.h>

#include "platform/clock.h"
#include "pix32/Pix32_System.h"

using namespace pix32;

namespace {

constexpr uint32_t kMMX = 0x00800000, kSSE = 0x02000000, kSSE2 = 0x04000000;
constexpr uint32_t kExtMMX = 0x00400000, k3DNow = 0x80000000, k3DNowExt = 0x40000000;

TCpuidValues Cpu(uint32_t family, uint32_t features, bool ext = false, uint32_t extFeatures = 0) {
    TCpuidValues v;
    v.CpuidSupported = true;
    v.Signature = family << 8;
    v.Features = features;
    v.ExtendedLeaves = ext;
    v.ExtendedFeatures = extFeatures;
    return v;
}

TEST(ProcessorFeatures, DecisionFromCpuidValues) {
    struct Case {
        const char* what;
        TCpuidValues cpu;
        TCpuFeature feature;
        bool expected;
    };
    TCpuidValues noCpuid = Cpu(6, kMMX | kSSE | kSSE2);
    noCpuid.CpuidSupported = false;
    const Case cases[] = {
        {"MMX", Cpu(6, kMMX), cfMMX, true},
        {"no MMX", Cpu(6, kSSE), cfMMX, false},
        {"family 4", Cpu(4, kMMX | kSSE), cfMMX, false},
        {"no CPUID", noCpuid, cfSSE, false},
        {"extended MMX from SSE", Cpu(6, kSSE), cfExtendedMMX, true},
        {"extended MMX from the extended leaf", Cpu(5, kMMX, true, kExtMMX), cfExtendedMMX, true},
        {"extended MMX flag without extended leaves", Cpu(5, kMMX, false, kExtMMX), cfExtendedMMX, false},
        {"SSE2", Cpu(15, kSSE2), cfSSE2, true},
        {"SSE is not SSE2", Cpu(15, kSSE), cfSSE2, false},
        {"3DNow!", Cpu(5, kMMX, true, k3DNow), cf3DNow, true},
        {"3DNow! needs extended leaves", Cpu(5, kMMX, false, k3DNow), cf3DNow, false},
        {"3DNow! extensions", Cpu(6, kMMX, true, k3DNowExt), cf3DNowExt, true},
        {"3DNow! bit is not the extensions", Cpu(6, kMMX, true, k3DNow), cf3DNowExt, false},
        {"family in bits 8-11 only", TCpuidValues{true, 0x00000F00u | 0x00F00000u, kMMX, false, 0}, cfMMX, true},
    };
    for (const auto& c : cases) EXPECT_EQ(FeatureFromCpuid(c.cpu, c.feature), c.expected) << c.what;
}

#if defined(__x86_64__)
TEST(ProcessorFeatures, RunningProcessorHasTheBaseline) {
    // Every x86-64 processor has CPUID, MMX, SSE and SSE2.
    EXPECT_TRUE(IsCpuidSupported());
    EXPECT_TRUE(HasMMX());
    EXPECT_TRUE(HasExtendedMMX());
    EXPECT_TRUE(ProcessorHasFeature(cfSSE2));
    EXPECT_TRUE(HasSSE2());
}
#endif

TEST(ProcessorFeatures, ProcessorCountIsPositive) { EXPECT_GE(ProcessorCount(), 1); }

TEST(PerfTimer, MicrosecondsRoundHalfToEven) {
    EXPECT_EQ(CounterToMicroseconds(1, 2'000'000), 0);   // 0.5
    EXPECT_EQ(CounterToMicroseconds(3, 2'000'000), 2);   // 1.5
    EXPECT_EQ(CounterToMicroseconds(5, 2'000'000), 2);   // 2.5
    EXPECT_EQ(CounterToMicroseconds(-3, 2'000'000), -2);
    EXPECT_EQ(CounterToMicroseconds(10'000'000, 10'000'000), 1'000'000);
    EXPECT_GT(CounterToMicroseconds(INT64_MAX, 10'000'000), 922'337'203'685'000'000LL);  // no overflow
    EXPECT_EQ(CounterToMicroseconds(5, 0), 0);
}

TEST(PerfTimer, MeasuresVirtualTime) {
    const win::ClockMode old = win::GetClockMode();
    win::SetClockMode(win::ClockMode::Virtual);
    TPerfTimer t;
    t.Start();
    const uint32_t tick0 = GetTickMilliseconds();
    win::ClockAdvance(12'345 * win::kTicksPerMs / 1000 + 3);  // 12.345 ms and 0.3 us
    EXPECT_EQ(t.ReadMicroseconds(), 12'345);
    EXPECT_EQ(t.Frequency, win::kTicksPerSecond);
    EXPECT_EQ(t.StopCount - t.StartCount, 123'453);
    EXPECT_EQ(GetTickMilliseconds() - tick0, 12u);
    win::SetClockMode(old);
}

TEST(PerfTimer, UnitTimerExistsAfterStartup) { EXPECT_NE(GlobalPerfTimer(), nullptr); }

}  // namespace
