#include <gtest/gtest.h>

#include "pix32/Pix32_System.h"
#include "platform/clock.h"
#include "platform/kernel.h"

using namespace pix32;

namespace {

constexpr uint32_t kMMX = 0x00800000, kSSE = 0x02000000, kSSE2 = 0x04000000;
constexpr uint32_t kExtMMX = 0x00400000, k3DNow = 0x80000000, k3DNowExt = 0x40000000;

// A processor as the CPUID leaves describe it.
struct FakeCpu {
    uint32_t family;
    uint32_t features;
    bool ext = false;
    uint32_t extFeatures = 0;
};

// Answers CPUID from a fake processor while it lives.
class CpuidScope {
public:
    explicit CpuidScope(FakeCpu cpu) {
        win::SetCpuidHook([cpu](uint32_t leaf, uint32_t) {
            win::CpuidRegs r;
            if (leaf == 0) r.eax = 1;
            if (leaf == 1) {
                r.eax = cpu.family << 8 | 0x00F00000u;  // extended family bits are not looked at
                r.edx = cpu.features;
            }
            if (leaf == 0x80000000u) r.eax = cpu.ext ? 0x80000008u : 0x80000000u;
            if (leaf == 0x80000001u && cpu.ext) r.edx = cpu.extFeatures;
            return r;
        });
    }
    ~CpuidScope() { win::SetCpuidHook(nullptr); }
};

TEST(ProcessorFeatures, DecodedFromTheCpuidLeaves) {
    struct Case {
        const char* what;
        FakeCpu cpu;
        TCpuFeature feature;
        bool expected;
    };
    const Case cases[] = {
        {"MMX", {6, kMMX}, cfMMX, true},
        {"no MMX", {6, kSSE}, cfMMX, false},
        {"family 4", {4, kMMX | kSSE}, cfMMX, false},
        {"family 4 has no SSE either", {4, kMMX | kSSE}, cfSSE, false},
        {"extended MMX from SSE", {6, kSSE}, cfExtendedMMX, true},
        {"extended MMX from the extended leaf", {5, kMMX, true, kExtMMX}, cfExtendedMMX, true},
        {"extended MMX flag without extended leaves", {5, kMMX, false, kExtMMX}, cfExtendedMMX, false},
        {"SSE2", {15, kSSE2}, cfSSE2, true},
        {"SSE is not SSE2", {15, kSSE}, cfSSE2, false},
        {"3DNow!", {5, kMMX, true, k3DNow}, cf3DNow, true},
        {"3DNow! needs extended leaves", {5, kMMX, false, k3DNow}, cf3DNow, false},
        {"3DNow! extensions", {6, kMMX, true, k3DNowExt}, cf3DNowExt, true},
        {"3DNow! bit is not the extensions", {6, kMMX, true, k3DNow}, cf3DNowExt, false},
    };
    for (const auto& c : cases) {
        CpuidScope scope(c.cpu);
        EXPECT_EQ(ProcessorHasFeature(c.feature), c.expected) << c.what;
    }
    CpuidScope scope({6, kMMX | kSSE, true, k3DNow});
    EXPECT_TRUE(HasMMX());
    EXPECT_TRUE(HasExtendedMMX());
    EXPECT_TRUE(Has3DNow());
    EXPECT_FALSE(HasSSE2());
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
    EXPECT_EQ(CounterToMicroseconds(1, 2'000'000), 0);  // 0.5
    EXPECT_EQ(CounterToMicroseconds(3, 2'000'000), 2);  // 1.5
    EXPECT_EQ(CounterToMicroseconds(5, 2'000'000), 2);  // 2.5
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
