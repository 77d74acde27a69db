// Resampling: the kernels at chosen points, the filtered resampler against a slow
// reference that follows the formulas literally, threads against no threads, progress on
// the calling thread, the dispatcher's choices, and the nearest, linear, projection and
// area resamplers on small pictures worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "imaging/processing/ieresample.h"
#include "imaging_fixture.h"
#include "processing_fixture.h"

namespace ie {
namespace {

using test::Bytes;
using test::FillRandom;
using test::ImagingTest;
using test::MakeAt;

// ---------------------------------------------------------------------------------------
// Helpers

void SetRow(TIEBitmap& b, int32_t y, const std::vector<uint8_t>& v) {
    std::memcpy(b.GetScanline(y), v.data(), v.size());
}

std::vector<uint8_t> Row(TIEBitmap& b, int32_t y) {
    const auto* p = static_cast<const uint8_t*>(b.GetScanline(y));
    return {p, p + (static_cast<int64_t>(b.GetWidth()) * b.GetBitCount() + 7) / 8};
}

// ---------------------------------------------------------------------------------------
// Kernels

struct KernelPoint {
    TResampleFilter filter;
    double x, expected;
};

TEST(IEResampleKernels, ValuesAtChosenPoints) {
    const double third = 1.0 / 3;
    // clang-format off
    const KernelPoint points[] = {
        {rfTriangle, 0, 1},          {rfTriangle, 0.25, 0.75},      {rfTriangle, -0.5, 0.5},
        {rfTriangle, 1, 0},          {rfHermite, 0, 1},              {rfHermite, 0.5, 0.5},
        {rfHermite, -0.25, 0.84375}, {rfHermite, 1, 0},              {rfBell, 0, 0.75},
        {rfBell, 0.25, 0.6875},      {rfBell, 0.5, 0.5},             {rfBell, 1, 0.125},
        {rfBell, -1.5, 0},           {rfBSpline, 0, 2.0 / 3},        {rfBSpline, 1, 1.0 / 6},
        {rfBSpline, 1.5, 1.0 / 48},  {rfBSpline, -2, 0},             {rfLanczos3, 0, 1},
        {rfLanczos3, 1, 0},          {rfLanczos3, 0.5, 0.6079271018540267},
        {rfLanczos3, 1.5, -0.1350949115231170},                      {rfLanczos3, 3, 0},
        {rfMitchell, 0, 16.0 / 18},  {rfMitchell, 1, 1.0 / 18},      {rfMitchell, -0.5, (0.875 - 3 + 16 * third) / 6},
        {rfMitchell, 1.5, (-7 * third * 3.375 + 27 - 30 + 32 * third) / 6},
        {rfMitchell, 2, 0},          {rfNearest, 0.5, 1},            {rfNearest, -0.5, 0},
        {rfNearest, 0.49, 1},        {rfNearest, 0.51, 0},           {rfLinear, -1, 0},
        {rfLinear, -0.25, 0.75},     {rfLinear, 0.25, 0.75},         {rfLinear, 1, 0},
    };
    // clang-format on
    for (const KernelPoint& k : points) {
        const TIEResampleFilterRow& row = IEResampleFilters[k.filter];
        ASSERT_NE(row.Filter, nullptr);
        EXPECT_NEAR(row.Filter(k.x), k.expected, 1e-12) << "filter " << int(k.filter) << " at " << k.x;
    }
    const double supports[] = {0, 1, 1, 1.5, 2, 3, 2, 1, 1};
    for (int f = 1; f <= 8; ++f) EXPECT_EQ(IEResampleFilters[f].Support, supports[f]) << f;
    EXPECT_EQ(IEResampleFilters[0].Filter, nullptr);
    EXPECT_EQ(IESinc(0), 1);
    EXPECT_NEAR(IESinc(0.5), 2 / M_PI, 1e-15);
}

// ---------------------------------------------------------------------------------------
// The filtered resampler against the formulas

// The contribution weights of destination index i, worked out directly.
std::vector<std::pair<int32_t, int32_t>> ReferenceWeights(int32_t S, int32_t D, int32_t i, TResampleFilter f) {
    const TIEResampleFilterRow& k = IEResampleFilters[f];
    const double scale = (S == 1 || D == 1) ? double(D) / S : double(D - 1) / (S - 1);
    const double c = i / scale;
    std::vector<std::pair<int32_t, int32_t>> out;
    const double sup = scale >= 1 ? k.Support : k.Support / scale;
    for (int j = static_cast<int>(std::floor(c - sup)); j <= static_cast<int>(std::ceil(c + sup)); ++j) {
        const double w = scale >= 1 ? k.Filter(c - j) * 256 : k.Filter((c - j) * scale) * 256 * scale;
        const int32_t wi = static_cast<int32_t>(std::nearbyint(w));
        if (wi == 0) continue;
        int n = j < 0 ? -j : j >= S ? 2 * S - 1 - j : j;
        n = std::max(0, std::min(S - 1, n));
        out.push_back({n, wi});
    }
    return out;
}

// Channels x SW x SH samples resampled the slow way.
std::vector<uint8_t> ReferenceResample(const std::vector<uint8_t>& src, int C, int SW, int SH, int DW, int DH,
                                       TResampleFilter f) {
    std::vector<uint8_t> work(size_t(DW) * SH * C), out(size_t(DW) * DH * C);
    for (int r = 0; r < SH; ++r)
        for (int i = 0; i < DW; ++i) {
            const auto ws = ReferenceWeights(SW, DW, i, f);
            for (int c = 0; c < C; ++c) {
                int sum = 0, wsum = 0;
                for (auto [n, w] : ws) {
                    sum += w * src[(size_t(r) * SW + n) * C + c];
                    wsum += w;
                }
                const int v = wsum == 0 ? sum / 256 : sum / wsum;
                work[(size_t(r) * DW + i) * C + c] = uint8_t(std::clamp(v, 0, 255));
            }
        }
    for (int k = 0; k < DH; ++k) {
        const auto ws = ReferenceWeights(SH, DH, k, f);
        for (int i = 0; i < DW; ++i)
            for (int c = 0; c < C; ++c) {
                int sum = 0, wsum = 0;
                for (auto [n, w] : ws) {
                    sum += w * work[(size_t(n) * DW + i) * C + c];
                    wsum += w;
                }
                const int v = wsum == 0 ? sum >> 8 : sum / wsum;
                out[(size_t(k) * DW + i) * C + c] = uint8_t(std::clamp(v, 0, 255));
            }
    }
    return out;
}

class IEResampleFilteredTest : public ImagingTest {};

TEST_F(IEResampleFilteredTest, TwoPixelsToThreeWithTriangle) {
    TIEBitmap src(2, 1, ie24RGB), dst(3, 1, ie24RGB);
    SetRow(src, 0, {0, 0, 0, 255, 255, 255});
    IEResampleFiltered(&src, &dst, rfTriangle, nullptr, nullptr);
    EXPECT_EQ(Row(dst, 0), (std::vector<uint8_t>{0, 0, 0, 127, 127, 127, 255, 255, 255}));
}

TEST_F(IEResampleFilteredTest, EveryKernelMatchesTheSlowReference) {
    struct Size {
        int SW, SH, DW, DH;
    };
    const Size sizes[] = {{7, 5, 17, 11}, {23, 19, 6, 4}, {9, 13, 4, 29}, {1, 9, 5, 3}, {12, 1, 30, 2}};
    uint32_t seed = 1;
    for (int f = rfTriangle; f <= rfLinear; ++f)
        for (const Size& s : sizes)
            for (TIEPixelFormat fmt : {ie24RGB, ie8g}) {
                const int C = fmt == ie24RGB ? 3 : 1;
                TIEBitmap src(s.SW, s.SH, fmt), dst(s.DW, s.DH, fmt);
                FillRandom(src, seed++);
                if (fmt == ie24RGB)
                    IEResampleFiltered(&src, &dst, TResampleFilter(f), nullptr, nullptr);
                else
                    IEResampleGray8(&src, &dst, TResampleFilter(f));
                EXPECT_EQ(Bytes(dst), ReferenceResample(Bytes(src), C, s.SW, s.SH, s.DW, s.DH, TResampleFilter(f)))
                    << "filter " << f << " " << s.SW << "x" << s.SH << " -> " << s.DW << "x" << s.DH << " format "
                    << int(fmt);
            }
}

// A 1-bit source goes through the same single-channel algorithm with bits as 0 and 255,
// written as grey.
TEST_F(IEResampleFilteredTest, OneBitKernelResultIsGreyOfTheBits) {
    TIEBitmap src(13, 7, ie1g), dst(5, 17, ie24RGB);
    FillRandom(src, 5);
    std::vector<uint8_t> bytes;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) bytes.push_back(src.GetPixelRGB(x, y).r);
    IEResample1Bit(&src, &dst, rfMitchell);
    const auto ref = ReferenceResample(bytes, 1, 13, 7, 5, 17, rfMitchell);
    ASSERT_EQ(dst.GetPixelFormat(), ie24RGB);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 5; ++x) {
            const TRGB p = dst.GetPixel24(x, y);
            ASSERT_EQ(p, CreateRGB(ref[y * 5 + x], ref[y * 5 + x], ref[y * 5 + x])) << x << "," << y;
        }
}

// Shrinking by more than 500 times used to round every weight to 0 and paint black.
TEST_F(IEResampleFilteredTest, HugeReductionKeepsTheColour) {
    TIEBitmap src(3000, 2, ie24RGB), dst(2, 1, ie24RGB);
    src.Fill(0x506070);
    for (TResampleFilter f : {rfTriangle, rfLanczos3, rfHermite}) {
        IEResampleFiltered(&src, &dst, f, nullptr, nullptr);
        for (int x = 0; x < 2; ++x) EXPECT_EQ(dst.GetPixel24(x, 0), src.GetPixel24(0, 0)) << int(f);
    }
}

TEST_F(IEResampleFilteredTest, ProgressIsReportedOnTheCallingThreadInOrder) {
    TIEBitmap src(400, 300, ie24RGB), dst(150, 90, ie24RGB);
    FillRandom(src, 3);
    std::vector<int> values;
    bool otherThread = false;
    const auto caller = std::this_thread::get_id();
    cl::TObject sender;
    cl::TObject* seen = nullptr;
    IEResampleFiltered(
        &src, &dst, rfLanczos3,
        [&](cl::TObject* s, int per) {
            if (std::this_thread::get_id() != caller) otherThread = true;
            seen = s;
            values.push_back(per);
        },
        &sender);
    EXPECT_FALSE(otherThread);
    EXPECT_EQ(seen, &sender);
    ASSERT_FALSE(values.empty());
    for (size_t i = 1; i < values.size(); ++i) EXPECT_LT(values[i - 1], values[i]);
    EXPECT_EQ(values.back(), int((300 + 90) * 100 / (300 + 90 + 0.5)));
    EXPECT_LE(values.front(), int(300 * 100 / 390.5));  // the horizontal pass reported too
}

TEST_F(IEResampleFilteredTest, FileLocatedPictureUsesOneWorkerAndGivesTheSameResult) {
    TIEBitmap mem, file, a(70, 40, ie24RGB), b(70, 40, ie24RGB);
    ASSERT_TRUE(MakeAt(mem, ieMemory, 33, 90, ie24RGB));
    ASSERT_TRUE(MakeAt(file, ieFile, 33, 90, ie24RGB));
    FillRandom(mem, 9);
    FillRandom(file, 9);
    EXPECT_EQ(IEResampleThreadCount(&file), 1);
    EXPECT_EQ(IEResampleThreadCount(&mem), IEProcessorCoreCount());
    IEResampleFiltered(&mem, &a, rfBSpline, nullptr, nullptr);
    IEResampleFiltered(&file, &b, rfBSpline, nullptr, nullptr);
    EXPECT_EQ(Bytes(a), Bytes(b));
}

// Pictures whose rows live in a temporary file hand out one row at a time: every resampler
// gives the result it gives in memory.
TEST_F(IEResampleFilteredTest, EveryResamplerGivesTheMemoryResultForFilePictures) {
    struct Case {
        const char* name;
        TIEPixelFormat src, dst;
        void (*run)(TIEBitmap*, TIEBitmap*);
    };
    // clang-format off
    const Case cases[] = {
        {"nearest", ie24RGB, ie24RGB, [](TIEBitmap* s, TIEBitmap* d) { IEResampleNearest(s, d, nullptr, nullptr); }},
        {"fast linear", ie24RGB, ie24RGB,
         [](TIEBitmap* s, TIEBitmap* d) { IEResampleFastLinear24(s, d, nullptr, nullptr); }},
        {"bicubic area", ie24RGB, ie24RGB,
         [](TIEBitmap* s, TIEBitmap* d) { IEResampleInterpolated24(s, d, 1, nullptr, nullptr); }},
        {"projection", ie24RGB, ie1g, [](TIEBitmap* s, TIEBitmap* d) { IEProject24To1Bit(s, d, false, nullptr, nullptr); }},
        {"1-bit linear", ie1g, ie24RGB, [](TIEBitmap* s, TIEBitmap* d) { IEResample1BitLinear(s, d, nullptr, nullptr); }},
        {"1-bit kernel", ie1g, ie24RGB, [](TIEBitmap* s, TIEBitmap* d) { IEResample1Bit(s, d, rfBell); }},
        {"grey kernel", ie8g, ie8g, [](TIEBitmap* s, TIEBitmap* d) { IEResampleGray8(s, d, rfLanczos3); }},
        {"dispatcher with alpha", ie24RGB, ie24RGB,
         [](TIEBitmap* s, TIEBitmap* d) { IEResampleBitmap(s, d, rfMitchell, nullptr, nullptr); }},
    };
    // clang-format on
    for (const Case& c : cases)
        for (auto [sw, sh, dw, dh] : {std::tuple{17, 13, 40, 29}, std::tuple{40, 29, 11, 7}}) {
            std::vector<uint8_t> results[2];
            for (TIELocation where : {ieMemory, ieFile}) {
                TIEBitmap s, d;
                ASSERT_TRUE(MakeAt(s, where, sw, sh, c.src));
                ASSERT_TRUE(MakeAt(d, where, dw, dh, c.dst));
                FillRandom(s, 21);
                if (c.src == ie24RGB) FillRandom(*s.GetAlphaChannel(), 22);
                c.run(&s, &d);
                results[where == ieFile] = Bytes(d);
                if (d.HasAlphaChannel()) {
                    const auto a = Bytes(*d.GetAlphaChannel());
                    results[where == ieFile].insert(results[where == ieFile].end(), a.begin(), a.end());
                }
            }
            EXPECT_EQ(results[1], results[0]) << c.name << " " << sw << "x" << sh;
        }
}

// ---------------------------------------------------------------------------------------
// The dispatcher

class IEResampleBitmapTest : public ImagingTest {};

TEST_F(IEResampleBitmapTest, FormatsAndFiltersPickTheirResampler) {
    // CMYK goes through a 24-bit copy; rfBilinear falls back to rfTriangle for it.
    TIEBitmap cmyk(9, 6, ieCMYK);
    FillRandom(cmyk, 4);
    TIEBitmap copy(9, 6, ie24RGB);
    copy.CopyAndConvertFormat(&cmyk);
    for (auto [filter, as] :
         {std::pair{rfLanczos3, rfLanczos3}, std::pair{rfBilinear, rfTriangle}, std::pair{rfBicubic, rfTriangle}}) {
        TIEBitmap d(14, 4, ieCMYK), expected(14, 4, ie24RGB);
        IEResampleBitmap(&cmyk, &d, filter, nullptr, nullptr);
        ASSERT_EQ(d.GetPixelFormat(), ie24RGB) << int(filter);
        IEResampleFiltered(&copy, &expected, as, nullptr, nullptr);
        EXPECT_EQ(Bytes(d), Bytes(expected)) << int(filter);
    }
    // 1-bit: projections stay 1-bit, everything else becomes grey 24-bit.
    TIEBitmap mono(16, 8, ie1g);
    FillRandom(mono, 8);
    for (TResampleFilter f : {rfProjectBW, rfProjectWB, rfTriangle, rfFastLinear, rfBicubic}) {
        TIEBitmap d(8, 4, ie1g);
        IEResampleBitmap(&mono, &d, f, nullptr, nullptr);
        EXPECT_EQ(d.GetPixelFormat(), (f == rfProjectBW || f == rfProjectWB) ? ie1g : ie24RGB) << int(f);
    }
    // rfNone keeps every format.
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
        TIEBitmap s(5, 5, f), d(3, 7, f);
        FillRandom(s, f);
        IEResampleBitmap(&s, &d, rfNone, nullptr, nullptr);
        EXPECT_EQ(d.GetPixelFormat(), f);
    }
}

TEST_F(IEResampleBitmapTest, AlphaFollowsTheImageFilter) {
    TIEBitmap src(12, 9, ie24RGB);
    FillRandom(src, 1);
    FillRandom(*src.GetAlphaChannel(), 2);
    src.GetAlphaChannel()->Full = false;
    for (TResampleFilter f : {rfNone, rfLanczos3, rfFastLinear, rfBilinear}) {
        TIEBitmap d(7, 20, ie24RGB), expected(7, 20, ie8g);
        IEResampleBitmap(&src, &d, f, nullptr, nullptr);
        ASSERT_TRUE(d.HasAlphaChannel());
        if (f == rfNone)
            IEResampleNearest(src.GetAlphaChannel(), &expected, nullptr, nullptr);
        else
            IEResampleGray8(src.GetAlphaChannel(), &expected, f);
        EXPECT_EQ(Bytes(*d.GetAlphaChannel()), Bytes(expected)) << int(f);
        EXPECT_FALSE(d.GetAlphaChannel()->Full);
    }
}

// A 1 x 1 picture used to leave the destination as allocated.
TEST_F(IEResampleBitmapTest, OnePixelFillsTheDestinationAndItsAlpha) {
    for (TResampleFilter f : {rfTriangle, rfLanczos3, rfBilinear, rfFastLinear, rfNone}) {
        TIEBitmap src(1, 1, ie24RGB), d(6, 4, ie24RGB);
        src.SetPixel24(0, 0, CreateRGB(10, 20, 30));
        src.SetAlpha(0, 0, 77);
        d.Fill(0);
        IEResampleBitmap(&src, &d, f, nullptr, nullptr);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                ASSERT_EQ(d.GetPixel24(x, y), CreateRGB(10, 20, 30)) << int(f);
                ASSERT_EQ(d.GetAlpha(x, y), 77) << int(f);
            }
    }
}

TEST_F(IEResampleBitmapTest, SameSizeCopies) {
    TIEBitmap src(5, 4, ie16g), d(5, 4, ie24RGB);
    FillRandom(src, 6);
    IEResampleBitmap(&src, &d, rfLanczos3, nullptr, nullptr);
    EXPECT_EQ(d.GetPixelFormat(), ie16g);
    EXPECT_EQ(Bytes(d), Bytes(src));
}

TEST(IEResampleNewSize, SizesFromArguments) {
    struct Case {
        int W, H, NW, NH;
        bool ok;
        int OW, OH;
    };
    const Case cases[] = {
        {400, 200, -1, 300, true, 600, 300}, {400, 200, 100, -1, true, 100, 50}, {400, 200, -1, -1, false, 0, 0},
        {400, 200, -5, -7, false, 0, 0},     {400, 200, 0, 0, true, 400, 200},   {400, 200, -30, 0, true, 30, 200},
        {400, 200, 0, -1, true, 400, 200},   {400, 200, 1, -1, true, 1, 1},      {3, 1000, -1, 1, true, 1, 1},
        {0, 200, 10, 10, false, 0, 0},
    };
    for (const Case& c : cases) {
        int w = 0, h = 0;
        EXPECT_EQ(IEResampleNewSize(c.W, c.H, c.NW, c.NH, w, h), c.ok) << c.NW << "," << c.NH;
        if (c.ok) {
            EXPECT_EQ(std::pair(w, h), std::pair(c.OW, c.OH)) << c.NW << "," << c.NH;
        }
    }
}

TEST_F(IEResampleBitmapTest, ResampleToLeavesDestAloneWithoutSize) {
    TIEBitmap src(40, 20, ie24RGB), d(3, 3, ie8g);
    FillRandom(src, 1);
    EXPECT_FALSE(IEResampleTo(&src, &d, -1, -1, rfTriangle, nullptr, nullptr));
    EXPECT_EQ(d.GetWidth(), 3);
    EXPECT_TRUE(IEResampleTo(&src, &d, -1, 30, rfTriangle, nullptr, nullptr));
    EXPECT_EQ(std::pair(d.GetWidth(), d.GetHeight()), std::pair(60, 30));
    EXPECT_EQ(d.GetPixelFormat(), ie24RGB);
}

// ---------------------------------------------------------------------------------------
// Nearest, linear, projection, area

class IEResampleSpecialTest : public ImagingTest {};

TEST_F(IEResampleSpecialTest, NearestPicksTruncatedPositionsInEveryFormat) {
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
        TIEBitmap s(4, 6, f), d(2, 9, f);
        FillRandom(s, 11 + f);
        if (f == ie8p) s.SetPaletteEntry(3, CreateRGB(1, 2, 3));
        IEResampleNearest(&s, &d, nullptr, nullptr);
        const int bits = s.GetBitCount();
        for (int j = 0; j < 9; ++j) {
            const int sr = int(6.0 / 9 * j);
            for (int i = 0; i < 2; ++i) {
                const int sc = 2 * i;  // 4 to 2 columns: 0 and 2
                if (f == ie1g) {
                    ASSERT_EQ(d.GetPixelRGB(i, j), s.GetPixelRGB(sc, sr));
                } else {
                    const auto* a = static_cast<const uint8_t*>(s.GetScanline(sr)) + sc * bits / 8;
                    std::vector<uint8_t> want(a, a + bits / 8);
                    const auto* b = static_cast<const uint8_t*>(d.GetScanline(j)) + i * bits / 8;
                    ASSERT_EQ(std::vector<uint8_t>(b, b + bits / 8), want) << int(f) << " " << i << "," << j;
                }
            }
        }
        if (f == ie8p) {
            TRGB c;
            d.GetPaletteEntry(3, c);
            EXPECT_EQ(c, CreateRGB(1, 2, 3));
        }
    }
}

TEST_F(IEResampleSpecialTest, FastLinearBoxesAndInterpolation) {
    {  // halving [10, 20, 30, 40]: boxes 0..2 and 2..2
        TIEBitmap s(4, 1, ie8g), d(2, 1, ie8g);
        SetRow(s, 0, {10, 20, 30, 40});
        IEResampleGray8Linear(&s, &d, nullptr, nullptr);
        EXPECT_EQ(Row(d, 0), (std::vector<uint8_t>{20, 30}));
    }
    {  // doubling [0, 100] and the unchanged axis averaging two neighbour rows
        TIEBitmap s(2, 2, ie24RGB), d(4, 2, ie24RGB);
        SetRow(s, 0, {0, 0, 0, 100, 100, 100});
        SetRow(s, 1, {50, 50, 50, 50, 50, 50});
        IEResampleFastLinear24(&s, &d, nullptr, nullptr);
        // columns at x = 0, 0.5, 1, 1.5: 0, 50, 100, 100; row 0 averages rows 0 and 1.
        EXPECT_EQ(Row(d, 0), (std::vector<uint8_t>{25, 25, 25, 50, 50, 50, 75, 75, 75, 75, 75, 75}));
        EXPECT_EQ(Row(d, 1), (std::vector<uint8_t>{50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50}));
    }
    {  // a negative difference floors: 100 -> 0 at a quarter gives 75
        TIEBitmap s(2, 1, ie8g), d(8, 1, ie8g);
        SetRow(s, 0, {100, 0});
        IEResampleGray8Linear(&s, &d, nullptr, nullptr);
        EXPECT_EQ(Row(d, 0), (std::vector<uint8_t>{100, 75, 50, 25, 0, 0, 0, 0}));
    }
}

TEST_F(IEResampleSpecialTest, FastLinearReportsEveryRow) {
    TIEBitmap s(10, 8, ie24RGB), d(5, 3, ie24RGB);
    std::vector<int> values;
    IEResampleFastLinear24(&s, &d, nullptr, [&](cl::TObject*, int per) { values.push_back(per); });
    const double factor = 100 / (8 + 3 + 0.5);
    std::vector<int> want;
    for (int h = 0; h < 8; ++h) want.push_back(int(factor * h));
    for (int j = 0; j < 3; ++j) want.push_back(int(factor * (8 + j)));
    EXPECT_EQ(values, want);
}

TEST_F(IEResampleSpecialTest, OneBitLinearAndBoxAverage) {
    {  // enlarging interpolates bits as 0 and 255
        TIEBitmap s(2, 1, ie1g), d(4, 2, ie24RGB);
        SetRow(s, 0, {0x40});  // 0, 1
        IEResample1BitLinear(&s, &d, nullptr, nullptr);
        const uint8_t g[] = {0, 127, 255, 255};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(d.GetPixel24(x, y), CreateRGB(g[x], g[x], g[x])) << x;
    }
    {  // reducing both axes averages boxes
        TIEBitmap s(4, 4, ie1g), d(2, 2, ie24RGB);
        for (int y = 0; y < 4; ++y) SetRow(s, y, {uint8_t(y < 2 ? 0xC0 : 0x30)});  // 1100 / 0011
        IEResample1BitLinear(&s, &d, nullptr, nullptr);
        // fx = fy = 2: row 0 covers rows 0..1, row 1 rows 1..3; column 0 columns 0..1,
        // column 1 columns 1..3.
        EXPECT_EQ(d.GetPixel24(0, 0).r, 255);
        EXPECT_EQ(d.GetPixel24(1, 0).r, 255 * 2 / 6);
        EXPECT_EQ(d.GetPixel24(0, 1).r, 255 * 2 / 6);
        EXPECT_EQ(d.GetPixel24(1, 1).r, 255 * 5 / 9);
    }
}

TEST_F(IEResampleSpecialTest, ProjectionKeepsThinLines) {
    // A one-pixel black column at x = 5 and row at y = 9 of a white 24-bit picture, reduced by 4.
    TIEBitmap s(16, 16, ie24RGB), d(4, 4, ie1g);
    s.Fill(0xFFFFFF);
    for (int y = 0; y < 16; ++y) s.SetPixel24(5, y, CreateRGB(10, 10, 10));
    for (int x = 0; x < 16; ++x) s.SetPixel24(x, 9, CreateRGB(127, 0, 0));
    IEProject24To1Bit(&s, &d, false, nullptr, nullptr);
    // column k >= 1 covers 4(k - 1) .. 4k: column 5 lies in column 2; row 9 in row 3.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(d.GetPixelRGB(x, y).r, (x == 2 || y == 3) ? 0 : 255) << x << "," << y;
    // White wins: a channel of exactly 128 is not white.
    TIEBitmap b(8, 8, ie24RGB), w(2, 2, ie1g);
    b.Fill(0);
    b.SetPixel24(3, 3, CreateRGB(200, 129, 255));  // in the box of (1, 1): columns and rows 0 .. 4
    b.SetPixel24(0, 0, CreateRGB(255, 128, 255));
    IEProject24To1Bit(&b, &w, true, nullptr, nullptr);
    EXPECT_EQ(w.GetPixelRGB(1, 1).r, 255);
    EXPECT_EQ(w.GetPixelRGB(0, 1).r, 0);
    EXPECT_EQ(w.GetPixelRGB(1, 0).r, 0);
    EXPECT_EQ(w.GetPixelRGB(0, 0).r, 0);
    // Column 0 covers only source column 0, however large the scale.
    TIEBitmap m(100, 1, ie1g), p(2, 1, ie1g);
    std::vector<uint8_t> row(13, 0xFF);
    row[0] = 0x7F;  // x = 0 black
    row[1] = 0x00;  // x = 8..15 black
    SetRow(m, 0, row);
    IEProject1Bit(&m, &p, false, nullptr, nullptr);
    EXPECT_EQ(p.GetPixelRGB(0, 0).r, 0);  // x = 0
    EXPECT_EQ(p.GetPixelRGB(1, 0).r, 0);  // 0 .. 50 holds the black 8..15
    SetRow(m, 0, std::vector<uint8_t>{0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    IEProject1Bit(&m, &p, false, nullptr, nullptr);
    EXPECT_EQ(p.GetPixelRGB(0, 0).r, 255);  // column 0 sees only x = 0, which is white
}

TEST_F(IEResampleSpecialTest, CubicInterpolation) {
    EXPECT_DOUBLE_EQ(IECubicInterpolate(10, 20, 30, 0, 40, 0, 255), 20);
    EXPECT_DOUBLE_EQ(IECubicInterpolate(10, 20, 30, 1, 40, 0, 255), 30);
    EXPECT_DOUBLE_EQ(IECubicInterpolate(10, 20, 30, 0.5, 40, 0, 255), 25);
    // 0.5: K2(1.5) = -0.125, K1(0.5) = 0.625
    EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 100, 0, 0.5, 0, -1000, 1000), 62.5);
    EXPECT_DOUBLE_EQ(IECubicInterpolate(255, 0, 0, 0.5, 255, 0, 255), 0);  // -63.75 clamped
    EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 255, 255, 0.5, 0, 0, 255), 255);
}

TEST_F(IEResampleSpecialTest, AreaIntegration) {
    {  // X only, evaluated at each piece's end: [0, 255] doubled
        TIEBitmap s(2, 1, ie8g), d(4, 1, ie8g);
        SetRow(s, 0, {0, 255});
        IEResampleInterpolated24(&s, &d, 0, nullptr, nullptr);
        EXPECT_EQ(Row(d, 0), (std::vector<uint8_t>{128, 255, 255, 255}));
    }
    {  // both axes reduced: plain area averages, also with a third of a pixel per piece
        TIEBitmap s(4, 2, ie24RGB), d(2, 1, ie24RGB);
        SetRow(s, 0, {0, 0, 0, 10, 10, 10, 20, 20, 20, 30, 30, 30});
        SetRow(s, 1, {100, 100, 100, 110, 110, 110, 120, 120, 120, 131, 131, 131});
        for (int mode : {0, 1}) {
            IEResampleInterpolated24(&s, &d, mode, nullptr, nullptr);
            EXPECT_EQ(Row(d, 0), (std::vector<uint8_t>{55, 55, 55, 75, 75, 75})) << mode;  // 75.25
        }
        TIEBitmap s3(3, 1, ie8g), d2(2, 1, ie8g);
        SetRow(s3, 0, {0, 90, 180});
        IEResampleInterpolated24(&s3, &d2, 0, nullptr, nullptr);  // (0 + 0.5 x 90) / 1.5, (0.5 x 90 + 180) / 1.5
        EXPECT_EQ(Row(d2, 0), (std::vector<uint8_t>{30, 150}));
    }
    {  // uniform pictures stay uniform, 8 and 16 bits, both modes, both directions
        for (auto [f, v] :
             {std::pair{ie24RGB, 0x3C3C3C}, std::pair{ie8g, 0x3C3C3C}, std::pair{ieRGB48, 0}, std::pair{ie16g, 0}}) {
            for (auto [dw, dh] : {std::pair{13, 17}, std::pair{3, 2}, std::pair{20, 3}}) {
                TIEBitmap s(7, 5, f), d(dw, dh, f);
                if (f == ieRGB48 || f == ie16g) {
                    for (int y = 0; y < 5; ++y)
                        for (int x = 0; x < 7 * (f == ieRGB48 ? 3 : 1); ++x)
                            static_cast<uint16_t*>(s.GetScanline(y))[x] = 40000;
                } else {
                    s.Fill(v);
                }
                for (int mode : {0, 1}) {
                    IEResampleInterpolated48(&s, &d, mode, nullptr, nullptr);
                    IEResampleInterpolated24(&s, &d, mode, nullptr, nullptr);
                    ASSERT_EQ(d.GetPixelFormat(), f);
                    const auto want = (f == ieRGB48 || f == ie16g) ? 40000 : 0x3C;
                    for (int y = 0; y < dh; ++y)
                        for (int x = 0; x < dw; ++x)
                            ASSERT_EQ(f == ieRGB48 ? d.GetPixel48(x, y).g
                                      : f == ie16g ? d.GetPixel16(x, y)
                                                   : d.GetPixelRGB(x, y).g,
                                      want)
                                << int(f) << " mode " << mode << " " << x << "," << y;
                }
            }
        }
    }
    {  // other formats are left alone
        TIEBitmap s(4, 4, ieCMYK), d(2, 2, ieCMYK);
        FillRandom(s, 1);
        d.Fill(0);
        const auto before = Bytes(d);
        IEResampleInterpolated24(&s, &d, 0, nullptr, nullptr);
        EXPECT_EQ(Bytes(d), before);
        EXPECT_EQ(d.GetPixelFormat(), ieCMYK);
    }
}

}  // namespace
}  // namespace ie
