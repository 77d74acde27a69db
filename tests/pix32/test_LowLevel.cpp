#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "classlib/SysUtils.h"
#include "pix32/Pix32_LowLevel.h"
#include "pix32/Pix32_Math.h"

using namespace pix32;

namespace {

struct RangeCase {
    int32_t v, lo, hi, expected;
};

TEST(LowLevel, WrapToRange) {
    // clang-format off
    const RangeCase cases[] = {
        {-1, 0, 9, 9}, {10, 0, 9, 0}, {25, 0, 9, 5}, {-10, 0, 9, 0}, {-11, 0, 9, 9}, {0, 0, 9, 0},
        {9, 0, 9, 9},  {3, 5, 7, 6},  {8, 5, 7, 5},  {4, 5, 5, 5},   {-3, -2, 2, 2}, {INT32_MIN, 0, 9, 2},
        {INT32_MAX, 0, 9, 7}, {5, INT32_MIN, INT32_MAX, 5},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(WrapToRange(c.v, c.lo, c.hi), c.expected) << c.v << " in " << c.lo << ".." << c.hi;
}

TEST(LowLevel, MirrorToRange) {
    const RangeCase cases[] = {
        {-1, 0, 9, 0}, {10, 0, 9, 9}, {12, 0, 9, 7},  {25, 0, 9, 5}, {5, 0, 9, 5},         {19, 0, 9, 0},
        {20, 0, 9, 0}, {-2, 0, 9, 1}, {-11, 0, 9, 9}, {3, 5, 7, 6},  {INT32_MAX, 0, 9, 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MirrorToRange(c.v, c.lo, c.hi), c.expected) << c.v << " in " << c.lo << ".." << c.hi;
}

TEST(LowLevel, EmptyRangeGivesLowEnd) {
    EXPECT_EQ(WrapToRange(7, 3, 2), 3);
    EXPECT_EQ(MirrorToRange(7, 3, 2), 3);
    EXPECT_EQ(WrapToRange(7, 0, -1), 0);
}

TEST(LowLevel, Clamps) {
    EXPECT_EQ(ClampToRange(5, 10, 20), 10);
    EXPECT_EQ(ClampToRange(25, 10, 20), 20);
    EXPECT_EQ(ClampToRange(15, 10, 20), 15);
    EXPECT_EQ(ClampToByte(-1), 0);
    EXPECT_EQ(ClampToByte(256), 255);
    EXPECT_EQ(ClampToByte(200), 200);
    EXPECT_EQ(ClampToMax(-3, 7), 0);
    EXPECT_EQ(ClampToMax(8, 7), 7);
    EXPECT_EQ(ClampToMax(7, 7), 7);
}

TEST(LowLevel, DivModSwapOrder) {
    int32_t r = 0;
    EXPECT_EQ(DivModInt(-7, 2, r), -3);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(DivModInt(7, -2, r), -3);
    EXPECT_EQ(r, 1);
    EXPECT_THROW(DivModInt(1, 0, r), cl::Exception);
    EXPECT_THROW(DivModInt(INT32_MIN, -1, r), cl::Exception);
    int32_t a = 5, b = 2;
    OrderInts(a, b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 5);
    OrderInts(a, b);
    EXPECT_EQ(a, 2);
    SwapInts(a, b);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 2);
}

TEST(LowLevel, FillDWordsWritesExactlyCount) {
    for (int32_t count : {-5, 0, 1, 3, 4, 17}) {
        std::vector<uint32_t> buf(24, 0xDEADBEEF);
        FillDWords(buf.data() + 2, count, 0x11223344u);
        for (int32_t i = 0; i < 24; ++i) {
            const bool inside = i >= 2 && i < 2 + count;
            EXPECT_EQ(buf[i], inside ? 0x11223344u : 0xDEADBEEFu) << "count " << count << " index " << i;
        }
    }
}

TEST(LowLevel, MoveDWordsHandlesOverlap) {
    std::vector<uint32_t> buf{1, 2, 3, 4, 5, 6, 7, 8};
    MoveDWords(buf.data(), buf.data() + 2, 5);  // forward overlap
    EXPECT_EQ(buf, (std::vector<uint32_t>{1, 2, 1, 2, 3, 4, 5, 8}));
    MoveDWords(buf.data() + 2, buf.data(), 5);  // backward overlap
    EXPECT_EQ(buf, (std::vector<uint32_t>{1, 2, 3, 4, 5, 4, 5, 8}));
    MoveDWords(buf.data(), buf.data() + 4, 0);
    MoveDWords(buf.data(), buf.data() + 4, -2);
    EXPECT_EQ(buf, (std::vector<uint32_t>{1, 2, 3, 4, 5, 4, 5, 8}));
}

TEST(FixedPoint, RoundingHelpers) {
    struct Case {
        TFixed x;
        int32_t floor, ceil, round;
    };
    // clang-format off
    const Case cases[] = {
        {0x18000, 1, 2, 1},     // 1.5: halves round down
        {-0x18000, -2, -1, -2}, // -1.5
        {0x18001, 1, 2, 2},
        {-1, -1, 0, 0},
        {1, 0, 1, 0},
        {0x10000, 1, 1, 1},
        {0, 0, 0, 0},
        {INT32_MAX, 32767, 32768, 32768},
        {INT32_MIN, -32768, -32768, -32768},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(FixedFloor(c.x), c.floor) << std::hex << c.x;
        EXPECT_EQ(FixedCeil(c.x), c.ceil) << std::hex << c.x;
        EXPECT_EQ(FixedRound(c.x), c.round) << std::hex << c.x;
    }
}

TEST(FixedPoint, MulAndDiv) {
    EXPECT_EQ(FixedMul(0x18000, 0x20000), 0x30000);  // 1.5 x 2
    EXPECT_EQ(FixedMul(-0x18000, 0x20000), -0x30000);
    EXPECT_EQ(FixedMul(3, 0x8000), 1);  // truncated toward minus infinity
    EXPECT_EQ(FixedMul(-3, 0x8000), -2);
    EXPECT_EQ(FixedMul(0x7FFF0000, 0x7FFF0000), static_cast<TFixed>(0x00010000u));  // low 32 bits kept
    EXPECT_EQ(FixedDiv(0x30000, 0x20000), 0x18000);
    EXPECT_EQ(FixedDiv(1, 3), 21845);
    EXPECT_EQ(FixedDiv(-1, 3), -21845);  // truncating
    EXPECT_THROW(FixedDiv(1, 0), cl::Exception);
    EXPECT_THROW(FixedDiv(0x7FFF0000, 1), cl::Exception);
}

}  // namespace
