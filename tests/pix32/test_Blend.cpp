#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "pix32/Pix32_Blend.h"
#include "platform/kernel.h"

using namespace pix32;

namespace {

// (alpha, red, green, blue)
constexpr TColor32 ARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

uint32_t Ch(TColor32 c, int i) { return (c >> (8 * i)) & 0xFF; }

// An independent per-channel statement of the mix for 0 < W < 255.
TColor32 RefMix(TColor32 X, TColor32 Y, uint32_t W) {
    TColor32 r = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t v = (Ch(X, i) * W + 128) / 256 + (Ch(Y, i) * (255 - W) + 128) / 256;
        r |= v << (8 * i);
    }
    return r;
}

TEST(BlendTables, AgreeWithFloatingPointRounding) {
    // The processor's default rounding (to nearest, halves to even) over exact quotients.
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) {
            ASSERT_EQ(ProductTable[i][j], static_cast<uint8_t>(std::nearbyint(i * j / 255.0))) << i << "," << j;
            ASSERT_EQ(ProductTable[i][j], ProductTable[j][i]);
            const uint8_t q = i == 0 ? 0 : static_cast<uint8_t>(static_cast<int>(std::nearbyint(j * 255.0 / i)) & 0xFF);
            ASSERT_EQ(QuotientTable[i][j], q) << i << "," << j;
        }
}

TEST(BlendTables, NamedEntries) {
    EXPECT_EQ(ProductTable[128][128], 64);
    EXPECT_EQ(ProductTable[255][255], 255);
    EXPECT_EQ(QuotientTable[2][1], 128);  // 127.5 -> 128
    EXPECT_EQ(QuotientTable[6][1], 42);   // 42.5 -> 42
    EXPECT_EQ(QuotientTable[255][255], 255);
    for (int n = 0; n < 256; ++n) EXPECT_EQ(QuotientTable[0][n], 0);
}

struct MixCase {
    TColor32 x, y;
    uint32_t w;
    TColor32 expected;
};

TEST(Blend, WeightedMixTable) {
    // clang-format off
    const MixCase cases[] = {
        {ARGB(255, 255, 255, 255), ARGB(0, 0, 0, 0), 128, ARGB(128, 128, 128, 128)},
        {ARGB(0, 0, 0, 0), ARGB(255, 255, 255, 255), 128, ARGB(127, 127, 127, 127)},
        {0x40102030, 0xC0A0B0C0, 100, 0x8D677887},
        {0x12345678, 0x9ABCDEF0, 1, 0x99BBDCEE},
        {0x12345678, 0x9ABCDEF0, 254, 0x13355678},
        {0x12345678, 0x9ABCDEF0, 255, 0x12345678},  // W = 255 returns X exactly
        {0x12345678, 0x9ABCDEF0, 0, 0x9ABCDEF0},    // W = 0 returns Y
        {0x12345678, 0x9ABCDEF0, 1000, 0x12345678}, // weights above 255 count as 255
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(WeightedMix(c.x, c.y, c.w), c.expected) << std::hex << c.x << " " << c.y << " " << std::dec << c.w;
        TColor32 y = c.y;
        WeightedMixTo(c.x, y, c.w);
        EXPECT_EQ(y, c.expected);
    }
}

TEST(Blend, WeightedMixMatchesPerChannelFormula) {
    std::mt19937 rng(7);
    for (int n = 0; n < 200000; ++n) {
        const TColor32 x = rng(), y = rng();
        const uint32_t w = 1 + rng() % 254;
        ASSERT_EQ(WeightedMix(x, y, w), RefMix(x, y, w)) << std::hex << x << " " << y << " " << w;
    }
}

struct BlendCase {
    TColor32 f, b;
    TColor32 expected;
};

TEST(Blend, AlphaBlendTable) {
    // clang-format off
    const BlendCase cases[] = {
        {ARGB(128, 255, 0, 0), ARGB(255, 0, 0, 255), ARGB(191, 128, 0, 127)},
        {ARGB(255, 1, 2, 3), ARGB(10, 20, 30, 40), ARGB(255, 1, 2, 3)},     // opaque F
        {ARGB(0, 1, 2, 3), ARGB(10, 20, 30, 40), ARGB(10, 20, 30, 40)},     // transparent F
        {ARGB(1, 255, 255, 255), ARGB(0, 0, 0, 0), ARGB(0, 1, 1, 1)},       // alpha (1x1+128) shr 8 = 0
        {ARGB(254, 0, 0, 0), ARGB(255, 255, 255, 255), ARGB(253, 1, 1, 1)},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(AlphaBlend(c.f, c.b), c.expected) << std::hex << c.f << " over " << c.b;
        TColor32 b = c.b;
        AlphaBlendTo(c.f, b);
        EXPECT_EQ(b, c.expected);
    }
}

struct MasterCase {
    TColor32 f, b;
    uint32_t m;
    TColor32 expected;
};

TEST(Blend, AlphaBlendMasterTable) {
    const MasterCase cases[] = {
        // The weight 255 is not special-cased and the alpha of the result is 0.
        {ARGB(255, 255, 255, 255), ARGB(255, 0, 0, 0), 255, ARGB(0, 254, 254, 254)},
        {0x80FF8040, 0xFF000000, 128, 0x00402010},
        {0x01FFFFFF, 0xFF123456, 100, 0xFF123456},  // W = (101 x 1) shr 8 = 0: B unchanged
        {0xFF102030, 0x00405060, 0, 0x00405060},    // W = (1 x 255) shr 8 = 0
        {0x00FFFFFF, 0x11223344, 255, 0x11223344},  // Fa = 0
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AlphaBlendMaster(c.f, c.b, c.m), c.expected) << std::hex << c.f << " over " << c.b;
        TColor32 b = c.b;
        AlphaBlendMasterTo(c.f, b, c.m);
        EXPECT_EQ(b, c.expected);
    }
}

TEST(Blend, AlphaMergeTable) {
    const BlendCase cases[] = {
        {ARGB(128, 255, 0, 0), ARGB(128, 0, 0, 255), ARGB(192, 170, 0, 85)},
        {0x4064C800, 0xC03232FA, 0xD04261AD},
        {0x01FFFFFF, 0x01000000, 0x02808080},
        {0x00FFFFFF, 0x80123456, 0x80123456},  // Fa = 0: B
        {0x80FF0000, 0xFF0000FF, 0xFF80007F},  // Ba = 255: the blend with alpha 255
        {0xFF102030, 0x80405060, 0xFF102030},  // Fa = 255: F
        {0x40102030, 0x00FFFFFF, 0x40102030},  // Ba = 0: F
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AlphaMerge(c.f, c.b), c.expected) << std::hex << c.f << " over " << c.b;
        TColor32 b = c.b;
        AlphaMergeTo(c.f, b);
        EXPECT_EQ(b, c.expected);
    }
}

TEST(Blend, AlphaMergeRules) {
    std::mt19937 rng(11);
    for (int n = 0; n < 100000; ++n) {
        const TColor32 f = rng();
        const TColor32 b = rng() | 0xFF000000u;
        ASSERT_EQ(AlphaMerge(f, b) >> 24, 255u);  // an opaque background stays opaque
        ASSERT_EQ(AlphaMerge(f, b) & 0xFFFFFF, AlphaBlend(f, b) & 0xFFFFFF);
        const TColor32 b2 = rng();
        const uint32_t fa = f >> 24, ba = b2 >> 24;
        const uint32_t ra = AlphaMerge(f, b2) >> 24;
        if (fa != 0 && fa != 255 && ba != 0 && ba != 255) {
            ASSERT_EQ(ra, fa + ba - ProductTable[ba][fa]);
            ASSERT_GE(ra, std::max(fa, ba));
        }
    }
}

TEST(Blend, AlphaMergeMasterScalesForegroundAlpha) {
    EXPECT_EQ(AlphaMergeMaster(ARGB(128, 255, 0, 0), ARGB(128, 0, 0, 255), 255), ARGB(192, 170, 0, 85));
    EXPECT_EQ(AlphaMergeMaster(ARGB(128, 255, 0, 0), ARGB(128, 0, 0, 255), 0), ARGB(128, 0, 0, 255));
    // ProductTable[128][255] = 128: master 128 over an opaque F gives the merge of alpha 128.
    EXPECT_EQ(AlphaMergeMaster(ARGB(255, 255, 0, 0), ARGB(128, 0, 0, 255), 128), ARGB(192, 170, 0, 85));
    TColor32 b = ARGB(128, 0, 0, 255);
    AlphaMergeMasterTo(ARGB(255, 255, 0, 0), b, 128);
    EXPECT_EQ(b, ARGB(192, 170, 0, 85));
}

struct OpCase {
    const char* name;
    TColorOp* op;
    TColor32 c1, c2, expected;
};

TEST(ColorArithmetic, Table) {
    const OpCase cases[] = {
        {"add", &AddColors, 0x80FF1020, 0x90013040, 0xFFFF4060},
        {"subtract", &SubtractColors, 0x80FF1020, 0x90013040, 0x00FE0000},
        {"divide", &DivideColors, 0x80400010, 0x40200020, 0x8080FFFF},
        {"divide by zero channels", &DivideColors, 0x00000000, 0x12345678, 0xFFFFFFFF},
        {"modulate", &ModulateColors, 0xFF80FF10, 0x80FF8010, 0x7F7F7F01},
        {"max", &MaxColors, 0x10F02080, 0x20E03070, 0x20F03080},
        {"min", &MinColors, 0x10F02080, 0x20E03070, 0x10E02070},
        {"difference", &DifferenceColors, 0x10F02080, 0x20E03070, 0x10101010},
        {"average rounds down", &AverageColors, 0x01FF0003, 0x02FF0100, 0x01FF0001},
        {"exclude", &ExcludeColors, 0xFF80FF00, 0xFF8000FF, 0x0280FFFF},
    };
    for (const auto& c : cases) EXPECT_EQ((*c.op)(c.c1, c.c2), c.expected) << c.name;
}

TEST(ColorArithmetic, ExcludeStaysInByteRange) {
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) {
            const TColor32 r = ExcludeColors(a * 0x01010101u, b * 0x01010101u);
            ASSERT_EQ(r, (a + b - ((a * b) >> 7)) * 0x01010101u) << a << "," << b;
        }
}

TEST(ColorArithmetic, ScaleColor) {
    EXPECT_EQ(ScaleColor(0xFF804020, 128), 0x7F402010u);
    EXPECT_EQ(ScaleColor(0xFF804020, 256), 0xFF804020u);
    EXPECT_EQ(ScaleColor(0x80808080, 512), 0xFFFFFFFFu);  // clamped to 255
    EXPECT_EQ(ScaleColor(0xFFFFFFFF, 0), 0u);
    EXPECT_EQ(ScaleColor(0xFFFFFFFF, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

// ---------------------------------------------------------------------------------------------
// Rows

TEST(BlendRows, NonPositiveCountLeavesDestination) {
    const std::vector<TColor32> src(4, 0x80FF0000);
    const std::vector<TColor32> orig{1, 2, 3, 4};
    for (int32_t count : {0, -1, -100}) {
        std::vector<TColor32> dst = orig;
        WeightedMixRow(src.data(), dst.data(), count, 100);
        AlphaBlendRow(src.data(), dst.data(), count);
        AlphaBlendMasterRow(src.data(), dst.data(), count, 100);
        AlphaMergeRow(src.data(), dst.data(), count);
        AlphaMergeMasterRow(src.data(), dst.data(), count, 100);
        EXPECT_EQ(dst, orig) << count;
    }
}

TEST(BlendRows, WeightedMixRowShortcuts) {
    const std::vector<TColor32> src{0x12345678, 0x9ABCDEF0, 0x00000000};
    const std::vector<TColor32> orig{0xFFFFFFFF, 0x01020304, 0x80808080};
    std::vector<TColor32> dst = orig;
    WeightedMixRow(src.data(), dst.data(), 3, 0);
    EXPECT_EQ(dst, orig);
    WeightedMixRow(src.data(), dst.data(), 3, 255);
    EXPECT_EQ(dst, src);
}

// Each row form is its pixel form applied along the row.
TEST(BlendRows, RowFormsApplyThePixelForms) {
    std::mt19937 rng(3);
    std::vector<TColor32> src(67), dst(67);
    for (auto& p : src) p = rng();
    for (auto& p : dst) p = rng();
    src[3] &= 0x00FFFFFF;  // alpha 0
    src[4] |= 0xFF000000;  // alpha 255
    struct Row {
        const char* name;
        std::function<void(std::vector<TColor32>&)> row;
        std::function<TColor32(TColor32, TColor32)> pixel;
    };
    const Row rows[] = {
        {"WeightedMixRow", [&](auto& d) { WeightedMixRow(src.data(), d.data(), 67, 77); },
         [](TColor32 f, TColor32 b) { return WeightedMix(f, b, 77); }},
        {"AlphaBlendRow", [&](auto& d) { AlphaBlendRow(src.data(), d.data(), 67); },
         [](TColor32 f, TColor32 b) { return AlphaBlend(f, b); }},
        {"AlphaBlendMasterRow", [&](auto& d) { AlphaBlendMasterRow(src.data(), d.data(), 67, 200); },
         [](TColor32 f, TColor32 b) { return AlphaBlendMaster(f, b, 200); }},
        {"AlphaMergeRow", [&](auto& d) { AlphaMergeRow(src.data(), d.data(), 67); },
         [](TColor32 f, TColor32 b) { return AlphaMerge(f, b); }},
        {"AlphaMergeMasterRow", [&](auto& d) { AlphaMergeMasterRow(src.data(), d.data(), 67, 200); },
         [](TColor32 f, TColor32 b) { return AlphaMergeMaster(f, b, 200); }},
    };
    for (const auto& r : rows) {
        std::vector<TColor32> d = dst;
        r.row(d);
        for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(d[i], r.pixel(src[i], dst[i])) << r.name << " pixel " << i;
    }
}

TEST(BlendRows, ModeTablesHoldTheBoundRoutines) {
    EXPECT_EQ(ModeBlend[cmBlend], AlphaBlend);
    EXPECT_EQ(ModeBlend[cmMerge], AlphaMerge);
    EXPECT_EQ(ModeBlendTo[cmBlend], AlphaBlendTo);
    EXPECT_EQ(ModeBlendTo[cmMerge], AlphaMergeTo);
    EXPECT_EQ(ModeBlendMaster[cmBlend], AlphaBlendMaster);
    EXPECT_EQ(ModeBlendMaster[cmMerge], AlphaMergeMaster);
    EXPECT_EQ(ModeBlendMasterTo[cmBlend], AlphaBlendMasterTo);
    EXPECT_EQ(ModeBlendMasterTo[cmMerge], AlphaMergeMasterTo);
    EXPECT_EQ(ModeBlendRow[cmBlend], AlphaBlendRow);
    EXPECT_EQ(ModeBlendRow[cmMerge], AlphaMergeRow);
    EXPECT_EQ(ModeBlendMasterRow[cmBlend], AlphaBlendMasterRow);
    EXPECT_EQ(ModeBlendMasterRow[cmMerge], AlphaMergeMasterRow);
}

#if defined(PIX32_HAS_SSE2_FORMS)

// Random pixels with the special alphas (0, 1, 254, 255) well represented.
std::vector<TColor32> RandomPixels(std::mt19937& rng, size_t n) {
    static const uint32_t kAlphas[] = {0, 1, 2, 127, 128, 254, 255};
    std::vector<TColor32> v(n);
    for (auto& p : v) {
        p = rng();
        if (rng() % 2) p = (p & 0x00FFFFFF) | (kAlphas[rng() % 7] << 24);
    }
    return v;
}

TEST(BlendSSE2, RowFormsEqualPortableForms) {
    std::mt19937 rng(2024);
    const uint32_t weights[] = {0, 1, 2, 127, 128, 129, 254, 255, 300};
    for (int round = 0; round < 400; ++round) {
        const int32_t count = static_cast<int32_t>(rng() % 70);
        const size_t offset = rng() % 4;  // unaligned starts
        const auto src = RandomPixels(rng, count + 8);
        const auto dst = RandomPixels(rng, count + 8);
        const uint32_t w = round < 9 ? weights[round] : rng() % 256;
        auto a = dst, b = dst;
        WeightedMixRow_Pas(src.data() + offset, a.data() + offset, count, w);
        WeightedMixRow_SSE2(src.data() + offset, b.data() + offset, count, w);
        ASSERT_EQ(a, b) << "WeightedMixRow count " << count << " w " << w;
        a = dst, b = dst;
        AlphaBlendRow_Pas(src.data() + offset, a.data() + offset, count);
        AlphaBlendRow_SSE2(src.data() + offset, b.data() + offset, count);
        ASSERT_EQ(a, b) << "AlphaBlendRow count " << count;
        a = dst, b = dst;
        AlphaBlendMasterRow_Pas(src.data() + offset, a.data() + offset, count, w);
        AlphaBlendMasterRow_SSE2(src.data() + offset, b.data() + offset, count, w);
        ASSERT_EQ(a, b) << "AlphaBlendMasterRow count " << count << " m " << w;
    }
}

TEST(BlendSSE2, RowFormsEqualPortableFormsInPlaceAndOverlapping) {
    std::mt19937 rng(99);
    for (int shift = -5; shift <= 5; ++shift) {
        const auto base = RandomPixels(rng, 64);
        const int32_t count = 40;
        auto a = base, b = base;
        AlphaBlendRow_Pas(a.data() + 10 + shift, a.data() + 10, count);
        AlphaBlendRow_SSE2(b.data() + 10 + shift, b.data() + 10, count);
        ASSERT_EQ(a, b) << "AlphaBlendRow shift " << shift;
        a = base, b = base;
        WeightedMixRow_Pas(a.data() + 10 + shift, a.data() + 10, count, 90);
        WeightedMixRow_SSE2(b.data() + 10 + shift, b.data() + 10, count, 90);
        ASSERT_EQ(a, b) << "WeightedMixRow shift " << shift;
        a = base, b = base;
        AlphaBlendMasterRow_Pas(a.data() + 10 + shift, a.data() + 10, count, 200);
        AlphaBlendMasterRow_SSE2(b.data() + 10 + shift, b.data() + 10, count, 200);
        ASSERT_EQ(a, b) << "AlphaBlendMasterRow shift " << shift;
    }
}

#endif

}  // namespace

namespace {

// The start-up binds the SSE2 row forms only when the processor reports SSE2.
TEST(BlendBinding, FollowsTheProcessorFeatures) {
    win::SetCpuidHook([](uint32_t leaf, uint32_t) {
        win::CpuidRegs r;
        if (leaf == 1) {
            r.eax = 6 << 8;
            r.edx = 0x00800000u;  // MMX only
        }
        return r;
    });
    Pix32_Blend_Initialization();
    EXPECT_EQ(AlphaBlendRow, AlphaBlendRow_Pas);
    EXPECT_EQ(WeightedMixRow, WeightedMixRow_Pas);
    EXPECT_EQ(AlphaBlendMasterRow, AlphaBlendMasterRow_Pas);
    EXPECT_EQ(ModeBlendRow[cmBlend], AlphaBlendRow_Pas);
    win::SetCpuidHook(nullptr);
    Pix32_Blend_Initialization();
#if defined(PIX32_HAS_SSE2_FORMS)
    EXPECT_EQ(AlphaBlendRow, AlphaBlendRow_SSE2);
    EXPECT_EQ(ModeBlendRow[cmBlend], AlphaBlendRow_SSE2);
    EXPECT_EQ(ModeBlendMasterRow[cmBlend], AlphaBlendMasterRow_SSE2);
#endif
    EXPECT_EQ(AlphaMerge, AlphaMerge_Pas);  // the merge family is always portable
}

}  // namespace
