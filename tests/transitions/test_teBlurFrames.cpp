// The blur's frames made with running sums along rows and columns against the frames of the
// summed-area table drawing it replaced (kept here as the reference): byte for byte, on
// random, black, white and striped pictures of many sizes (one pixel, odd widths, tails
// shorter than a vector, areas split over the worker threads), areas clipped from larger
// pictures and drawn into larger bitmaps, every radius, and every frame of whole runs. The
// SIMD forms of the two row steps give the bytes of their portable forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "te_frame_driver.h"
#include "transitions/teBlur.h"
#include "transitions/teSumTable.h"

using namespace te;
using namespace tetest;

namespace {

using Bytes = std::vector<uint8_t>;

// The frame drawing the blur used before: box sums read off a summed-area table with a
// white margin of Margin entries, one row of the frame at a time.
void TableBlurred(const TSummedAreaTable& Table, cl::TBitmap* Bitmap, int W, int H, int A) {
    const int M = Table.Margin;
    A = std::clamp(A, 0, M - 1);
    const uint32_t f = static_cast<uint32_t>(2 * A + 1);
    const int near = (M - A - 1) * 3, far = (M + A) * 3;
    const TTERowView out(Bitmap);
    for (int y = 0; y < H; ++y)
        BoxRow_Pas(out[H - 1 - y], Table.Row(y + A + M), Table.Row(y - A - 1 + M), W * 3, near, far, f * f);
}

enum class Kind { Noise, Black, White, Stripes };

// A picture of w x h in pf: random bytes, all black, all white, or runs of black and white
// (the extreme sums) mixed with noise.
std::unique_ptr<cl::TBitmap> Picture(int w, int h, cl::TPixelFormat pf, Kind kind, uint32_t seed) {
    auto b = RandomPicture(w, h, pf, seed);
    std::mt19937 rng(seed + 1);
    for (int y = 0; y < h; ++y) {
        uint8_t* r = RowOf(b.get(), y);
        const int n = b->RowBytes();
        switch (kind) {
            case Kind::Noise: break;
            case Kind::Black: std::memset(r, 0, static_cast<size_t>(n)); break;
            case Kind::White: std::memset(r, 255, static_cast<size_t>(n)); break;
            case Kind::Stripes:
                for (int i = 0; i < n;) {
                    const unsigned what = rng() % 3;
                    for (int k = static_cast<int>(1 + rng() % 90); k > 0 && i < n; --k, ++i)
                        if (what < 2) r[i] = what ? 255 : 0;
                }
                break;
        }
    }
    return b;
}

std::unique_ptr<cl::TBitmap> Copy(cl::TBitmap* b) {
    auto c = std::make_unique<cl::TBitmap>();
    AdjustBitmapFormat(c.get(), nullptr, b->GetWidth(), b->GetHeight(), b->GetPixelFormat());
    for (int y = 0; y < b->GetHeight(); ++y)
        std::memcpy(c->ScanLine(y), b->ScanLine(y), static_cast<size_t>(b->RowBytes()));
    return c;
}

// The first differing byte of two bitmaps of one size, or "".
std::string FirstDifference(cl::TBitmap* a, cl::TBitmap* b) {
    for (int y = 0; y < a->GetHeight(); ++y) {
        const auto* p = static_cast<const uint8_t*>(a->ScanLine(y));
        const auto* q = static_cast<const uint8_t*>(b->ScanLine(y));
        for (int i = 0; i < a->RowBytes(); ++i)
            if (p[i] != q[i])
                return "row " + std::to_string(y) + " byte " + std::to_string(i) + ": " + std::to_string(p[i]) +
                       " against " + std::to_string(q[i]);
    }
    return "";
}

struct AreaCase {
    int W, H;    // the frame's area
    int PW, PH;  // the picture (at least the area)
    int BW, BH;  // the bitmap drawn into (at least the area)
    cl::TPixelFormat Format;
    Kind What;
    bool EveryRadius;  // else a few radii (large areas)
};

const AreaCase kAreas[] = {
    {1, 1, 1, 1, 1, 1, cl::pf24bit, Kind::Noise, true},
    {1, 9, 1, 9, 1, 9, cl::pf24bit, Kind::Noise, true},
    {9, 1, 9, 1, 9, 1, cl::pf24bit, Kind::Noise, true},
    {2, 3, 5, 4, 3, 3, cl::pf32bit, Kind::Noise, true},
    {5, 5, 5, 5, 5, 5, cl::pf24bit, Kind::Black, true},
    {5, 6, 5, 6, 7, 6, cl::pf24bit, Kind::White, true},
    {13, 9, 20, 15, 16, 12, cl::pf24bit, Kind::Noise, true},
    {17, 11, 17, 11, 17, 11, cl::pf32bit, Kind::Stripes, true},
    {101, 37, 140, 60, 103, 40, cl::pf24bit, Kind::Stripes, true},
    {255, 3, 255, 3, 255, 3, cl::pf24bit, Kind::Noise, true},
    {64, 120, 64, 120, 64, 120, cl::pf8bit, Kind::Noise, true},
    // Enough rows to be split into bands on the worker threads.
    {333, 1301, 340, 1310, 335, 1301, cl::pf24bit, Kind::Stripes, false},
    {1000, 1200, 1000, 1200, 1000, 1200, cl::pf24bit, Kind::Noise, false},
};

}  // namespace

TEST(BlurFrames, DrawnLikeTheSummedAreaTableForEveryAreaAndRadius) {
    uint32_t seed = 5;
    for (const AreaCase& c : kAreas) {
        auto pic = Picture(c.PW, c.PH, c.Format, c.What, ++seed);
        TSummedAreaTable table;
        table.Build(pic.get(), c.W, c.H, 51);
        TBlurPicture blurPic;
        blurPic.Take(pic.get(), c.W, c.H);
        auto before = RandomPicture(c.BW, c.BH, cl::pf24bit, ++seed);
        std::vector<int> radii;
        for (int a = 0; a <= 50; ++a)
            if (c.EveryRadius || a <= 2 || a % 16 == 7 || a >= 49) radii.push_back(a);
        for (int a : radii) {
            auto expected = Copy(before.get()), got = Copy(before.get());
            TableBlurred(table, expected.get(), c.W, c.H, a);
            TBlurTransition::DrawBlurred(blurPic, got.get(), c.W, c.H, a);
            ASSERT_EQ(FirstDifference(got.get(), expected.get()), "")
                << c.W << " x " << c.H << " of " << c.PW << " x " << c.PH << ", radius " << a;
        }
    }
}

TEST(BlurFrames, NothingIsDrawnFromAPictureSmallerThanTheArea) {
    auto pic = Picture(8, 8, cl::pf24bit, Kind::Noise, 3);
    TBlurPicture blurPic;
    blurPic.Take(pic.get(), 8, 8);
    auto before = RandomPicture(10, 10, cl::pf24bit, 4);
    auto got = Copy(before.get());
    for (auto [w, h] : {std::pair{9, 8}, std::pair{8, 9}, std::pair{0, 5}, std::pair{5, 0}, std::pair{-1, 3}})
        TBlurTransition::DrawBlurred(blurPic, got.get(), w, h, 3);
    EXPECT_EQ(FirstDifference(got.get(), before.get()), "");
    // A run without that picture draws the blurred white of the margin: white.
    TBlurPicture none;
    none.Take(nullptr, 8, 8);
    TBlurTransition::DrawBlurred(none, got.get(), 8, 8, 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(At(got.get(), x, y), 0xFFFFFFu) << x << ", " << y;
}

// Whole runs through the effect: every frame against the table drawing of the picture that
// frame shows at the radius of its progress.
TEST(BlurFrames, EveryFrameOfARunIsTheTableFrame) {
    StartUpteBlur();
    struct Run {
        int W, H, Radius;
        cl::TPixelFormat Display;
    };
    for (const Run& r : {Run{1, 1, 3, cl::pf24bit}, Run{6, 5, 1, cl::pf32bit}, Run{97, 61, 50, cl::pf24bit},
                         Run{97, 61, 7, cl::pf32bit}, Run{40, 300, 20, cl::pf24bit}}) {
        TBlurTransition blur(nullptr);
        blur.SetRadius(static_cast<uint8_t>(r.Radius));
        FrameDriver bench(&blur, r.W, r.H, r.Display, static_cast<uint32_t>(r.W * 31 + r.Radius));
        const int frames = bench.Init();
        ASSERT_EQ(frames, 2 * r.Radius);
        TSummedAreaTable oldTable, newTable;
        oldTable.Build(bench.Old.get(), r.W, r.H, r.Radius + 1);
        newTable.Build(bench.New.get(), r.W, r.H, r.Radius + 1);
        for (int k = 1; k <= frames; ++k) {
            bench.Frame(k);
            const bool isNew = k >= r.Radius + 1;
            auto expected = std::make_unique<cl::TBitmap>();
            AdjustBitmapFormat(expected.get(), nullptr, r.W, r.H, cl::pf24bit);
            TableBlurred(isNew ? newTable : oldTable, expected.get(), r.W, r.H, isNew ? frames - k : k);
            ASSERT_EQ(bench.Compare([&](int x, int y) { return At(expected.get(), x, y); }), "")
                << r.W << " x " << r.H << ", radius " << r.Radius << ", frame " << k;
        }
    }
}

// ---- the row steps ---------------------------------------------------------------------------

namespace {

// Bytes where 0 and 255 come in runs (the largest differences) among random ones.
Bytes RowBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n;) {
        const unsigned what = rng() % 3;
        for (size_t k = 1 + rng() % 40; k > 0 && i < n; --k, ++i)
            b[i] = what == 2 ? static_cast<uint8_t>(rng()) : what ? 255 : 0;
    }
    return b;
}

std::vector<TBlurDiffPrefixProc> PrefixForms() {
    std::vector<TBlurDiffPrefixProc> forms{BlurDiffPrefixForm()};
#if defined(TE_HAS_SSE2_FORMS)
    forms.push_back(BlurDiffPrefix_SSE2);
    if (__builtin_cpu_supports("ssse3")) forms.push_back(BlurDiffPrefix_SSSE3);
#endif
    return forms;
}

std::vector<TBlurWindowRowProc> WindowForms() {
    std::vector<TBlurWindowRowProc> forms{BlurWindowRowForm()};
#if defined(TE_HAS_SSE2_FORMS)
    forms.push_back(BlurWindowRow_SSE2);
    if (__builtin_cpu_supports("avx2")) forms.push_back(BlurWindowRow_AVX2);
#endif
    return forms;
}

}  // namespace

TEST(BlurRowForms, RunningSumsOfDifferencesPerColour) {
    std::mt19937 rng(12);
    for (int count = 0; count <= 200; count += count < 70 ? 1 : 13) {
        const Bytes enter = RowBytes(rng, static_cast<size_t>(count)),
                    leave = RowBytes(rng, static_cast<size_t>(count));
        std::vector<uint16_t> expected(static_cast<size_t>(count));
        for (int j = 0; j < count; ++j) {
            int sum = 0;
            for (int k = j % 3; k <= j; k += 3) sum += enter[static_cast<size_t>(k)] - leave[static_cast<size_t>(k)];
            expected[static_cast<size_t>(j)] = static_cast<uint16_t>(sum);
        }
        std::vector<uint16_t> got(static_cast<size_t>(count));
        BlurDiffPrefix_Pas(got.data(), enter.data(), leave.data(), count);
        ASSERT_EQ(got, expected) << "count " << count;
        for (TBlurDiffPrefixProc form : PrefixForms()) {
            std::fill(got.begin(), got.end(), uint16_t{0x5555});
            form(got.data(), enter.data(), leave.data(), count);
            ASSERT_EQ(got, expected) << "count " << count;
        }
    }
}

// Every box side (1, 3, ..., 101) and every sum its box can have, reached through changes of
// both signs: each form gives the quotient and the updated sums.
TEST(BlurRowForms, EveryBoxSideAndEverySum) {
    constexpr int kRow = 4096;
    std::mt19937 rng(13);
    const auto forms = WindowForms();
    for (int f = 1; f <= 101; f += 2) {
        const uint32_t area = static_cast<uint32_t>(f * f);
        const int32_t bias = static_cast<int32_t>(255 * area);
        const int span = 3 * f;
        for (uint32_t first = 0; first <= 255 * area; first += kRow) {
            const int count = static_cast<int>(std::min<uint32_t>(kRow, 255 * area - first + 1));
            // Running sums whose windows are changes within +-255 * f.
            std::vector<uint16_t> q(static_cast<size_t>(count + span));
            for (size_t j = 0; j < q.size(); ++j) {
                const int step = static_cast<int>(rng() % 511) - 255;
                q[j] = static_cast<uint16_t>((j >= 3 ? q[j - 3] : 0) + step);
            }
            std::vector<int32_t> start(static_cast<size_t>(count));
            for (int j = 0; j < count; ++j) {
                const auto change = static_cast<int16_t>(
                    static_cast<uint16_t>(q[static_cast<size_t>(j + span)] - q[static_cast<size_t>(j)]));
                start[static_cast<size_t>(j)] = static_cast<int32_t>(first) + j - bias - change;
            }
            for (TBlurWindowRowProc form : forms) {
                std::vector<int32_t> acc = start;
                Bytes out(static_cast<size_t>(count));
                form(out.data(), acc.data(), q.data(), count, span, bias, area);
                for (int j = 0; j < count; ++j) {
                    const uint32_t sum = first + static_cast<uint32_t>(j);
                    ASSERT_EQ(acc[static_cast<size_t>(j)], static_cast<int32_t>(sum) - bias) << "side " << f;
                    ASSERT_EQ(out[static_cast<size_t>(j)], sum / area) << "side " << f << ", sum " << sum;
                }
            }
        }
    }
}
