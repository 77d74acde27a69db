// Processor, system and display probes and the bitmap helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "transitions/teRender.h"

using namespace te;

namespace {

struct CpuidGuard {
    explicit CpuidGuard(std::map<uint32_t, win::CpuidRegs> leaves) {
        win::SetCpuidHook([leaves](uint32_t leaf, uint32_t) {
            auto it = leaves.find(leaf);
            return it == leaves.end() ? win::CpuidRegs{} : it->second;
        });
    }
    ~CpuidGuard() { win::SetCpuidHook(nullptr); }
};

win::CpuidRegs Vendor(uint32_t maxLeaf, const char* v) {
    win::CpuidRegs r;
    r.eax = maxLeaf;
    std::memcpy(&r.ebx, v, 4);
    std::memcpy(&r.edx, v + 4, 4);
    std::memcpy(&r.ecx, v + 8, 4);
    return r;
}

win::CpuidRegs Edx(uint32_t eax, uint32_t edx) {
    win::CpuidRegs r;
    r.eax = eax;
    r.edx = edx;
    return r;
}

}  // namespace

TEST(Probes, ProcessorFeatureWordFromCpuidLeaves) {
    struct Case {
        const char* name;
        std::map<uint32_t, win::CpuidRegs> leaves;
        uint32_t word;
        bool mmx, ext;
    } cases[] = {
        {"no standard leaves", {}, 0x1, false, false},
        {"MMX only", {{0, Vendor(1, "GenuineIntel")}, {1, Edx(0x600, 1u << 23)}}, 0x23, true, false},
        {"MMX and SSE", {{0, Vendor(1, "GenuineIntel")}, {1, Edx(0x600, (1u << 23) | (1u << 25))}}, 0x623, true, true},
        {"leaf 1 bits 4, 15, 12",
         {{0, Vendor(1, "GenuineIntel")}, {1, Edx(0x600, (1u << 4) | (1u << 15) | (1u << 12))}},
         0x1053,
         false,
         false},
        {"AMD extensions give extended MMX",
         {{0, Vendor(1, "AuthenticAMD")},
          {1, Edx(0x600, 1u << 23)},
          {0x80000000u, Edx(0x80000001u, 0)},
          {0x80000001u, Edx(0, (1u << 22) | (1u << 30) | (1u << 31))}},
         0x3A7,
         true,
         true},
        {"extension bit 22 on another vendor counts for nothing",
         {{0, Vendor(1, "GenuineIntel")},
          {1, Edx(0x600, 1u << 23)},
          {0x80000000u, Edx(0x80000001u, 0)},
          {0x80000001u, Edx(0, 1u << 22)}},
         0x27,
         true,
         false},
        {"signature 0x588..0x5FF", {{0, Vendor(1, "GenuineIntel")}, {1, Edx(0x5A0, 0)}}, 0x803, false, false},
        {"extended leaf not above 0x80000000",
         {{0, Vendor(1, "AuthenticAMD")}, {0x80000000u, Edx(0x80000000u, 0)}},
         0x3,
         false,
         false},
    };
    for (const Case& c : cases) {
        CpuidGuard g(c.leaves);
        EXPECT_EQ(GetProcessorFeatures(), c.word) << c.name;
        DetectProcessorFeatures();
        EXPECT_EQ(MMXAvailable, c.mmx) << c.name;
        EXPECT_EQ(ExtMMXAvailable, c.ext) << c.name;
    }
    DetectProcessorFeatures();
    EXPECT_TRUE(MMXAvailable) << "x86-64 processors have MMX";
    EXPECT_TRUE(ExtMMXAvailable);
}

TEST(Probes, VersionCodesOfTheSystems) {
    struct Case {
        uint32_t platform, major, minor;
        const char* sp;
        uint8_t code;
        // clang-format off
    } cases[] = {
        {0, 3, 10, "", 1},   {1, 4, 0, "", 2},  {1, 4, 10, "", 3},  {1, 4, 10, "A ", 4}, {1, 4, 90, "", 5},
        {1, 4, 3, "", 0},    {2, 4, 0, "", 6},  {2, 5, 0, "", 7},   {2, 5, 1, "", 8},    {2, 5, 2, "", 9},
        {2, 5, 3, "", 0},    {2, 6, 0, "", 10}, {2, 6, 1, "", 11},  {2, 6, 2, "", 0},    {2, 10, 0, "", 12},
        {2, 3, 51, "", 12},  {7, 6, 1, "", 0},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(OSVersionCodeOf(c.platform, c.major, c.minor, c.sp), c.code)
            << c.platform << " " << c.major << "." << c.minor;
    EXPECT_EQ(GetOSVersionCode(), 11);
}

TEST(Probes, DisplayFormatsFromBitCounts) {
    struct Case {
        int bits;
        cl::TPixelFormat pf;
    } cases[] = {{1, cl::pf1bit},   {4, cl::pf4bit},   {8, cl::pf8bit},  {15, cl::pf15bit},
                 {24, cl::pf24bit}, {32, cl::pf32bit}, {2, cl::pf24bit}, {48, cl::pf24bit}};
    for (const Case& c : cases) EXPECT_EQ(PixelFormatFromBitCount(c.bits), c.pf) << c.bits;
    EXPECT_EQ(GetDisplayBitCount(true), 32);
    EXPECT_EQ(GetDisplayPixelFormat(true), cl::pf32bit);
    EXPECT_FALSE(IsPaletteDisplay(false));
}

TEST(Probes, HighColorDisplaysByTheirGreenBits) {
    struct Case {
        cl::TPixelFormat pf;
    } cases[] = {{cl::pf15bit}, {cl::pf16bit}};
    for (const Case& c : cases) {
        cl::TBitmap b;
        b.SetPixelFormat(c.pf);
        b.SetSize(10, 10);
        EXPECT_EQ(HighColorFormatOfDC(b.GetCanvas()->GetHandle()), c.pf);
    }
}

TEST(Probes, BitsAndBytesPerScanline) {
    struct Case {
        cl::TPixelFormat pf;
        int bits;
        int width;
        int align;
        int bytes;
    } cases[] = {
        {cl::pf24bit, 24, 3, 32, 12}, {cl::pf1bit, 1, 33, 32, 8},  {cl::pf4bit, 4, 3, 32, 4},
        {cl::pf8bit, 8, 5, 32, 8},    {cl::pf15bit, 16, 3, 32, 8}, {cl::pf16bit, 16, 2, 32, 4},
        {cl::pf32bit, 32, 3, 32, 12}, {cl::pf24bit, 24, 3, 8, 9},  {cl::pfDevice, 0, 3, 32, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetPixelFormatBitCount(c.pf), c.bits);
        cl::TBitmap b;
        b.SetPixelFormat(cl::pf24bit);
        b.SetSize(c.width, 1);
        EXPECT_EQ(GetBytesPerScanline(&b, c.pf, c.align), c.bytes) << int(c.pf) << " " << c.width;
    }
    cl::TBitmap b;
    EXPECT_EQ(GetBytesPerScanline(&b, cl::pfCustom, 32), 0);
    EXPECT_EQ(GetPixelFormatBitCount(cl::pfCustom), 32) << "the display's format";
}

TEST(Probes, AdjustAndInitSolidBitmaps) {
    cl::TBitmap b;
    AdjustBitmapFormat(&b, nullptr, 7, 5, cl::pf1bit);
    EXPECT_TRUE(b.GetMonochrome());
    EXPECT_EQ(b.GetWidth(), 7);
    EXPECT_EQ(b.GetHeight(), 5);
    cl::TBitmap p;
    AdjustBitmapFormat(&p, nullptr, 4, 4, cl::pf8bit);
    EXPECT_EQ(p.GetPixelFormat(), cl::pf8bit);
    EXPECT_NE(p.GetPalette(), nullptr);
    cl::TBitmap s;
    InitSolidBitmap(&s, 6, 3, nullptr, cl::pf24bit, cl::clRed);
    EXPECT_EQ(s.GetPixelFormat(), cl::pf24bit);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) ASSERT_EQ(s.GetCanvas()->Pixels(x, y), cl::clRed);
}

TEST(Probes, VersionTextAndNoComposition) {
    EXPECT_EQ(GetVersionText(), "Version 4.3 beta 2");
    WinVersionCode = 11;
    EXPECT_FALSE(IsDwmCompositionEnabled());
}
