// The block effect's grid, block orders, jigsaw pieces and frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "classlib/SysUtils.h"
#include "platform/clock.h"
#include "te_mask_geometry.h"
#include "transitions/teBlock.h"
#include "transitions/teRender.h"

namespace {

using te::TBlockData;
using te::TBlockSettings;

struct BlockRun {
    std::unique_ptr<te::TTETransitionData> data;
    TBlockData* block;
};

BlockRun MakeRun(const TBlockSettings& s, int W, int H) {
    BlockRun r;
    r.data = tegeom::RunData(W, H, 0);
    auto b = std::make_unique<TBlockData>(r.data.get());
    b->Setup(s, W, H);
    r.data->Frames = b->FrameCount();
    r.block = b.get();
    r.data->Custom = std::move(b);
    return r;
}

TBlockSettings Settings(int style, int sub, int cols, int rows, bool puzzle = false, bool dual = false) {
    TBlockSettings s;
    s.Style = style;
    s.SubStyle = sub;
    s.Cols = cols;
    s.Rows = rows;
    s.BlockWidth = cols ? 0 : 50;
    s.BlockHeight = rows ? 0 : 50;
    s.Puzzle = puzzle;
    s.Dual = dual;
    return s;
}

TEST(BlockGrid, ColumnsAndRows) {
    EXPECT_EQ(te::BlockGridCount(640, 0, 50, false), 13);  // 12.8
    EXPECT_EQ(te::BlockGridCount(480, 0, 50, false), 10);  // 9.6
    EXPECT_EQ(te::BlockGridCount(125, 0, 50, false), 2);   // 2.5 rounds to even
    EXPECT_EQ(te::BlockGridCount(175, 0, 50, false), 4);   // 3.5 rounds to even
    EXPECT_EQ(te::BlockGridCount(20, 0, 50, false), 1);    // 0.4, at least one
    EXPECT_EQ(te::BlockGridCount(100, 10, 0, true), 6);    // 10 pixels per block are too few
    EXPECT_EQ(te::BlockGridCount(100, 10, 0, false), 10);
    EXPECT_EQ(te::BlockGridCount(50, 80, 0, false), 50);  // no more columns than pixels
    // A puzzle run narrower than 15 pixels keeps one column instead of none.
    EXPECT_EQ(te::BlockGridCount(10, 0, 50, true), 1);
    EXPECT_EQ(te::BlockGridCount(14, 3, 0, true), 1);
}

TEST(BlockGrid, DefaultRunOf640x480Has129Frames) {
    auto run = MakeRun(Settings(2, 1, 0, 0), 640, 480);
    EXPECT_EQ(run.block->CC, 13);
    EXPECT_EQ(run.block->RR, 10);
    EXPECT_EQ(run.block->FrameCount(), 129);
    EXPECT_FALSE(run.block->OnePixel);
}

// The plain blocks tile the picture: every pixel in exactly one block.
TEST(BlockGrid, BlocksTileThePicture) {
    for (auto [W, H, cols, rows] : {std::tuple{37, 23, 5, 3}, std::tuple{100, 7, 7, 7}, std::tuple{9, 9, 9, 9}}) {
        auto run = MakeRun(Settings(2, 1, cols, rows), W, H);
        std::vector<int> hits(W * H, 0);
        for (int r = 1; r <= run.block->RR; ++r)
            for (int c = 1; c <= run.block->CC; ++c) {
                win::RECT b = run.block->BlockRect(r, c);
                for (int y = b.top; y < b.bottom; ++y)
                    for (int x = b.left; x < b.right; ++x) ++hits[y * W + x];
            }
        for (int h : hits) ASSERT_EQ(h, 1) << W << "x" << H;
    }
}

// Every style, sub-style and Dual setting visits each block once.
TEST(BlockOrder, EveryOrderIsAPermutation) {
    for (int style = 1; style <= 4; ++style)
        for (int sub = 1; sub <= te::BlockSubStyleCount(style); ++sub)
            for (bool dual : {false, true})
                for (auto [cols, rows] : {std::pair{5, 4}, std::pair{3, 3}, std::pair{1, 6}, std::pair{7, 1}}) {
                    auto run = MakeRun(Settings(style, sub, cols, rows, false, dual), 70, 60);
                    std::set<std::pair<int, int>> seen;
                    const int N = run.block->BlockCount();
                    for (int i = 1; i <= N; ++i) {
                        auto b = run.block->BlockAt(i);
                        ASSERT_GE(b.first, 1);
                        ASSERT_LE(b.first, rows);
                        ASSERT_GE(b.second, 1);
                        ASSERT_LE(b.second, cols);
                        seen.insert(b);
                    }
                    EXPECT_EQ(static_cast<int>(seen.size()), N)
                        << "style " << style << " sub " << sub << " dual " << dual << " " << cols << "x" << rows;
                }
}

std::vector<std::pair<int, int>> OrderOf(const TBlockSettings& s) {
    auto run = MakeRun(s, 30, 30);
    std::vector<std::pair<int, int>> v;
    for (int i = 1; i <= run.block->BlockCount(); ++i) v.push_back(run.block->BlockAt(i));
    return v;
}

using RC = std::vector<std::pair<int, int>>;

TEST(BlockOrder, NamedOrders) {
    // Rows bottom to top; columns right to left; serpentine rows; spirals.
    EXPECT_EQ(OrderOf(Settings(2, 3, 2, 2)), (RC{{2, 1}, {2, 2}, {1, 1}, {1, 2}}));
    EXPECT_EQ(OrderOf(Settings(2, 7, 2, 2)), (RC{{1, 2}, {2, 2}, {1, 1}, {2, 1}}));
    EXPECT_EQ(OrderOf(Settings(2, 2, 2, 2)), (RC{{2, 2}, {2, 1}, {1, 2}, {1, 1}}));
    EXPECT_EQ(OrderOf(Settings(3, 1, 3, 2)), (RC{{1, 1}, {1, 2}, {1, 3}, {2, 3}, {2, 2}, {2, 1}}));
    EXPECT_EQ(OrderOf(Settings(3, 3, 2, 3)), (RC{{1, 1}, {2, 1}, {3, 1}, {3, 2}, {2, 2}, {1, 2}}));
    EXPECT_EQ(OrderOf(Settings(4, 1, 3, 3)),
              (RC{{1, 1}, {1, 2}, {1, 3}, {2, 3}, {3, 3}, {3, 2}, {3, 1}, {2, 1}, {2, 2}}));
    EXPECT_EQ(OrderOf(Settings(4, 3, 3, 3)),
              (RC{{1, 3}, {1, 2}, {1, 1}, {2, 1}, {3, 1}, {3, 2}, {3, 3}, {2, 3}, {2, 2}}));
    EXPECT_EQ(OrderOf(Settings(4, 2, 3, 3)).front(), (std::pair{2, 2}));
    EXPECT_EQ(OrderOf(Settings(4, 1, 4, 3)),
              (RC{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 4}, {3, 4}, {3, 3}, {3, 2}, {3, 1}, {2, 1}, {2, 2}, {2, 3}}));
}

// Dual consumes the order from both ends: N = 10 gives 4 frames, the first revealing blocks
// 1 and 10.
TEST(BlockOrder, DualRevealsFromBothEnds) {
    auto run = MakeRun(Settings(2, 1, 5, 2, false, true), 50, 20);
    EXPECT_EQ(run.block->FrameCount(), 4);
    EXPECT_EQ(run.block->BlockAt(1), (std::pair{1, 1}));
    EXPECT_EQ(run.block->BlockAt(2), (std::pair{2, 5}));
    auto mask = tegeom::WhiteMask(50, 20);
    run.data->ShowFrames = true;
    run.block->DrawFrame(mask.get(), 1, true, true, 1);
    auto drawn = tegeom::BlackPixels(mask.get(), 50, 20);
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), true), 2 * 100);
    EXPECT_TRUE(drawn[0]);
    EXPECT_TRUE(drawn[19 * 50 + 49]);
    EXPECT_EQ(run.data->DirtyRects->Count(), 2);
    EXPECT_TRUE(cl::EqualRect(run.data->UpdateRect, cl::Rect(0, 0, 50, 20)));
    // Style 1 ignores Dual in its frame count.
    EXPECT_EQ(MakeRun(Settings(1, 1, 5, 2, false, true), 50, 20).block->FrameCount(), 9);
}

// The random order comes from the clock's seed: the same seed gives the same order whatever
// the generator held before, and the shuffle is the one of the shared generator.
TEST(BlockOrder, RandomOrderFromAnInjectedSeed) {
    win::SetClockMode(win::ClockMode::Virtual);
    win::SetClockSeedHook([] { return 20240611u; });
    cl::SetRandSeed(1);
    auto a = OrderOf(Settings(1, 1, 4, 3));
    cl::SetRandSeed(2);
    auto b = OrderOf(Settings(1, 1, 4, 3));
    EXPECT_EQ(a, b);
    // The model: rows in order, then entry i swapped with entry Random(N) + 1.
    cl::SetRandSeed(20240611u);
    RC model;
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 4; ++c) model.push_back({r, c});
    for (int i = 0; i < 12; ++i) std::swap(model[i], model[cl::Random(12)]);
    EXPECT_EQ(a, model);
    win::SetClockSeedHook([] { return 5u; });
    EXPECT_NE(OrderOf(Settings(1, 1, 4, 3)), a);
    win::SetClockSeedHook(nullptr);
}

// Revealing every block covers the picture, plain or jigsaw; each frame paints only inside
// what it reports.
TEST(BlockFrames, AllBlocksCoverThePicture) {
    const int W = 97, H = 61;
    for (bool puzzle : {false, true})
        for (auto [style, sub] : {std::pair{2, 1}, std::pair{3, 3}, std::pair{4, 1}, std::pair{1, 1}})
            for (auto [cols, rows] : {std::pair{4, 3}, std::pair{5, 2}, std::pair{1, 1}}) {
                auto run = MakeRun(Settings(style, sub, cols, rows, puzzle), W, H);
                run.data->ShowFrames = true;
                const int N = run.block->BlockCount();
                auto total = tegeom::WhiteMask(W, H);
                for (int k = 1; k <= N; ++k) {
                    auto mask = tegeom::WhiteMask(W, H);
                    run.data->DirtyRects->Clear();
                    run.block->DrawFrame(mask.get(), k, true, true, 1);
                    run.block->DrawFrame(total.get(), k, false, true, 1);
                    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
                    win::POINT out =
                        tegeom::OutsideReported(drawn, W, H, run.data->UpdateRect, run.data->DirtyRects->Rects);
                    ASSERT_EQ(out.x, -1) << "puzzle " << puzzle << " style " << style << " block " << k << " at "
                                         << out.x << "," << out.y;
                }
                auto drawn = tegeom::BlackPixels(total.get(), W, H);
                for (int i = 0; i < W * H; ++i)
                    ASSERT_TRUE(drawn[i]) << "puzzle " << puzzle << " style " << style << " " << cols << "x" << rows
                                          << " pixel " << i % W << "," << i / W;
            }
}

// A jigsaw block shows its knobs beyond its plain rectangle and leaves its sockets.
TEST(BlockFrames, JigsawPieceHasKnobsAndSockets) {
    const int W = 90, H = 90;
    auto run = MakeRun(Settings(2, 1, 3, 3, true), W, H);
    EXPECT_EQ(run.block->K, 9);  // 30 / 3.5 = 8.57
    run.data->ShowFrames = true;
    auto mask = tegeom::WhiteMask(W, H);
    // The middle block (2, 2) has r + c even: knobs up and down, sockets left and right.
    const int i = 5;
    ASSERT_EQ(run.block->BlockAt(i), (std::pair{2, 2}));
    run.block->DrawFrame(mask.get(), i, true, true, 1);
    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
    EXPECT_TRUE(cl::EqualRect(run.data->UpdateRect, cl::Rect(30, 21, 60, 69)));
    EXPECT_TRUE(drawn[25 * W + 45]);   // the top knob
    EXPECT_TRUE(drawn[64 * W + 45]);   // the bottom knob
    EXPECT_FALSE(drawn[25 * W + 31]);  // beside the knob's neck
    EXPECT_FALSE(drawn[45 * W + 31]);  // the left socket
    EXPECT_FALSE(drawn[45 * W + 58]);  // the right socket
    EXPECT_TRUE(drawn[33 * W + 45]);   // the body
}

// Without frames shown through the mask, blocks go straight from the new picture onto the
// canvas, and nothing is reported.
TEST(BlockFrames, DirectBlocksGoStraightToTheCanvas) {
    const int W = 40, H = 20;
    auto run = MakeRun(Settings(2, 1, 4, 2), W, H);
    auto screen = std::make_unique<cl::TBitmap>();
    te::InitSolidBitmap(screen.get(), W, H, nullptr, cl::pf32bit, cl::clRed);
    auto dst = std::make_unique<cl::TBitmap>();
    te::InitSolidBitmap(dst.get(), W, H, nullptr, cl::pf32bit, cl::clBlue);
    run.data->Canvas = screen->GetCanvas();
    run.data->DstImage = dst.get();
    run.data->PixelFormat = cl::pf32bit;
    run.data->ShowFrames = false;
    auto mask = tegeom::WhiteMask(W, H);
    run.block->DrawFrame(mask.get(), 2, true, true, 2);
    EXPECT_TRUE(te::RectEmpty(run.data->UpdateRect));
    EXPECT_EQ(run.data->DirtyRects->Count(), 0);
    EXPECT_EQ(screen->GetCanvas()->Pixels(5, 5), cl::clBlue);
    EXPECT_EQ(screen->GetCanvas()->Pixels(15, 5), cl::clBlue);
    EXPECT_EQ(screen->GetCanvas()->Pixels(25, 5), cl::clRed);
    EXPECT_EQ(screen->GetCanvas()->Pixels(5, 15), cl::clRed);
    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
    EXPECT_TRUE(drawn[5 * W + 15]);
    EXPECT_FALSE(drawn[5 * W + 25]);
}

// With as many columns and rows as pixels, blocks are single pixels: the mask changes bit
// by bit, most significant bit leftmost.
TEST(BlockFrames, OnePixelMode) {
    const int W = 19, H = 3;
    auto run = MakeRun(Settings(2, 1, 19, 5), W, H);
    EXPECT_TRUE(run.block->OnePixel);
    EXPECT_EQ(run.block->RR, 3);
    EXPECT_EQ(run.block->Piece(0), nullptr);
    run.data->ShowFrames = true;
    auto mask = tegeom::WhiteMask(W, H);
    run.block->DrawFrame(mask.get(), 12, true, true, 3);  // blocks 10, 11, 12
    auto drawn = tegeom::BlackPixels(mask.get(), W, H);
    for (int i = 0; i < W * H; ++i) EXPECT_EQ(drawn[i], i >= 9 && i <= 11) << i;
    EXPECT_TRUE(cl::EqualRect(run.data->UpdateRect, cl::Rect(9, 0, 12, 1)));
    EXPECT_EQ(run.data->DirtyRects->Count(), 3);
}

TEST(BlockFrames, LargeStepsReportNoRectangles) {
    auto run = MakeRun(Settings(2, 1, 40, 20), 40, 20);
    run.data->ShowFrames = true;
    auto mask = tegeom::WhiteMask(40, 20);
    run.block->DrawFrame(mask.get(), 700, true, true, 651);
    EXPECT_EQ(run.data->DirtyRects->Count(), 0);
    EXPECT_TRUE(cl::EqualRect(run.data->UpdateRect, cl::Rect(0, 1, 40, 18)));
    run.block->DrawFrame(mask.get(), 700, true, true, 650);
    EXPECT_EQ(run.data->DirtyRects->Count(), 650);
}

}  // namespace

// ---- the effect

namespace {

class BlockEffect : public tegeom::MaskedEffectTest {
protected:
    void SetUp() override {
        tegeom::MaskedEffectTest::SetUp();
        te::StartUpteBlock();
        win::SetClockMode(win::ClockMode::Virtual);
        win::SetClockSeedHook([] { return 424242u; });
    }
    void TearDown() override {
        win::SetClockSeedHook(nullptr);
        tegeom::MaskedEffectTest::TearDown();
    }
    static void Style(te::TBlockTransition& e, int style, int sub) {
        e.SetStyle(static_cast<uint16_t>(style));
        e.SetSubStyle(static_cast<uint16_t>(sub));
    }
};

TEST_F(BlockEffect, GridPropertiesExcludeEachOther) {
    te::TBlockTransition e(nullptr);
    e.SetCols(7);
    EXPECT_EQ(e.GetBlockWidth(), 0);
    e.SetBlockWidth(20);
    EXPECT_EQ(e.GetCols(), 0);
    EXPECT_EQ(e.GetBlockWidth(), 20);
    e.SetRows(-3);
    EXPECT_EQ(e.GetRows(), 1);
    EXPECT_EQ(e.GetBlockHeight(), 0);
    e.SetRows(1);  // the same value changes nothing
    EXPECT_EQ(e.GetBlockHeight(), 0);
    e.SetBlockHeight(0);  // what it holds already
    EXPECT_EQ(e.GetRows(), 1);
    e.SetBlockHeight(-5);
    EXPECT_EQ(e.GetBlockHeight(), 1);
    EXPECT_EQ(e.GetRows(), 0);

    te::TBlockTransition f(nullptr);
    e.SetPuzzle(true);
    e.SetCols(9);
    f.Assign(&e);
    EXPECT_TRUE(f.GetPuzzle());
    EXPECT_EQ(f.GetCols(), 9);
    EXPECT_EQ(f.GetBlockWidth(), 0);
    EXPECT_EQ(f.GetBlockHeight(), 1);
    EXPECT_EQ(f.GetRows(), 0);
}

TEST_F(BlockEffect, SettingsStrings) {
    te::TBlockTransition e(nullptr);
    cl::TStringList s;
    e.SaveToStrings(&s, true, "B.");
    for (const char* key : {"B.BlockHeight", "B.BlockWidth", "B.Cols", "B.Rows", "B.Dual", "B.Puzzle"})
        EXPECT_TRUE(s.Values(key).empty()) << key;
    e.SetCols(12);
    e.SetDual(true);
    e.SetBlockHeight(30);
    cl::TStringList t;
    e.SaveToStrings(&t, true, "B.");
    EXPECT_EQ(t.Values("B.Cols"), "12");
    EXPECT_EQ(t.Values("B.Dual"), "True");
    EXPECT_EQ(t.Values("B.BlockHeight"), "30");
    EXPECT_TRUE(t.Values("B.BlockWidth").empty());
    EXPECT_TRUE(t.Values("B.Puzzle").empty());
    te::TBlockTransition f(nullptr);
    t.SetValue("B.Puzzle", "tRUE");
    f.LoadFromStrings(&t, "B.");
    EXPECT_EQ(f.GetCols(), 12);
    EXPECT_EQ(f.GetBlockWidth(), 0);
    EXPECT_EQ(f.GetBlockHeight(), 30);
    EXPECT_TRUE(f.GetDual());
    EXPECT_TRUE(f.GetPuzzle());
}

TEST_F(BlockEffect, FrameCountsIgnoreSmoothing) {
    te::TBlockTransition e(nullptr);
    e.SetBlockWidth(20);
    e.SetBlockHeight(20);
    e.SetSmoothingLevel(4);
    EXPECT_EQ(tegeom::FramesOf(&e, 100, 60, cl::pf24bit), 14);  // 5 x 3 blocks
    tetest::TTestDevice dev;
    dev.Format = cl::pf24bit;
    EXPECT_EQ(e.GetPixelFormat(&dev), cl::pf24bit);
    Style(e, 2, 4);
    e.SetDual(true);
    EXPECT_EQ(tegeom::FramesOf(&e, 100, 60), 7);
    // A picture narrower than a jigsaw block still gets one.
    e.SetPuzzle(true);
    EXPECT_EQ(tegeom::FramesOf(&e, 9, 60), 1);  // 1 x 4 blocks, from both ends
}

// Frames shown through the mask (jigsaw blocks) reach the same picture however the loop
// skips, for every order; with the injected seed the random order is repeatable.
TEST_F(BlockEffect, JigsawRunsArePathIndependent) {
    const int cases[][3] = {{1, 1, 0}, {2, 3, 0}, {2, 6, 1}, {3, 2, 0}, {4, 1, 0}, {4, 4, 1}};
    for (const auto& c : cases) {
        te::TBlockTransition e(nullptr);
        Style(e, c[0], c[1]);
        e.SetDual(c[2] != 0);
        e.SetPuzzle(true);
        e.SetCols(4);
        e.SetRows(3);
        EXPECT_TRUE(tegeom::PathIndependent(&e, 67, 49)) << c[0] << "/" << c[1] << " dual " << c[2];
    }
}

// The first frame reveals the first block of the order (with its knobs); the frames after
// the last leave the last block to the device's final copy.
TEST_F(BlockEffect, FirstFrameRevealsTheFirstBlock) {
    const int W = 64, H = 48;
    te::TBlockTransition e(nullptr);
    Style(e, 2, 7);  // columns right to left: block (1, 4) first
    e.SetPuzzle(true);
    e.SetCols(4);
    e.SetRows(3);
    auto data = tegeom::RunData(W, H, 0);
    TBlockData geometry(data.get());
    TBlockSettings s = Settings(2, 7, 4, 3, true);
    geometry.Setup(s, W, H);
    const win::RECT area = geometry.ChangedRect(1, 4);
    EXPECT_TRUE(tegeom::FirstAndLastFrame(
        &e, W, H, [&](int x, int y) { return tegeom::InRect(area, x, y); }, false));
}

// Style 1 seeds the shared generator from the clock at every run and shuffles with it: with
// the clock's seed injected, runs repeat whatever the generator held before.
TEST_F(BlockEffect, SeededRandomRunsRepeat) {
    te::TBlockTransition e(nullptr);
    e.SetCols(6);
    e.SetRows(5);
    e.SetPuzzle(true);
    // Jigsaw blocks need 15 pixels: the grid over 60 x 50 is 4 x 3, N = 12.
    cl::SetRandSeed(424242u);
    for (int i = 0; i < 12; ++i) cl::Random(12);
    const uint32_t afterShuffle = cl::GetRandSeed();
    std::vector<std::unique_ptr<cl::TBitmap>> first;
    for (int run = 0; run < 2; ++run) {
        cl::SetRandSeed(static_cast<uint32_t>(run * 1000 + 1));
        tetest::FrameDriver d(&e, 60, 50, cl::pf32bit, 9);
        d.Init();
        EXPECT_EQ(cl::GetRandSeed(), afterShuffle);
        for (int k = 1; k <= d.Frames(); k += 4) {
            d.Frame(k);
            if (run == 0)
                first.push_back(tetest::CopyOf(d.Work()));
            else
                ASSERT_TRUE(tetest::SamePicture(d.Work(), first[static_cast<size_t>(k / 4)].get(), 60, 50)) << k;
        }
    }
}

}  // namespace

namespace {

// Snapshot of two jigsaw pieces as the platform's ellipses and rectangles draw them: 20 x 20
// blocks, knob size 6 (20 / 3.5 rounded). '#' is a cleared bit (the new picture shows).
TEST(BlockPieces, KnobsAndSocketsSnapshot) {
    auto data = tegeom::RunData(60, 60, 0);
    TBlockData b(data.get());
    b.Setup(Settings(2, 1, 3, 3, true), 60, 60);
    ASSERT_EQ(b.K, 6);
    // clang-format off
    const std::vector<std::string> knobsTopBottom = {
        ".........##.........",
        "........####........",
        ".......######.......",
        ".......######.......",
        ".......######.......",
        ".......######.......",
        "####################",
        "####################",
        "####################",
        "####################",
        "####################",
        "####################",
        "####################",
        "....############....",
        ".....##########.....",
        "......########......",
        "......########......",
        ".....##########.....",
        "....############....",
        "####################",
        "####################",
        "####################",
        "####################",
        "####################",
        "####################",
        "####################",
        ".......######.......",
        ".......######.......",
        ".......######.......",
        ".......######.......",
        "........####........",
        ".........##.........",
    };
    // clang-format on
    // clang-format off
    const std::vector<std::string> knobsLeftRight = {
        "......#######......#######......",
        "......#######......#######......",
        "......#######......#######......",
        "......#######......#######......",
        "......########....########......",
        "......#########..#########......",
        "......####################......",
        "..############################..",
        ".##############################.",
        "################################",
        "################################",
        ".##############################.",
        "..############################..",
        "......####################......",
        "......#########..#########......",
        "......########....########......",
        "......#######......#######......",
        "......#######......#######......",
        "......#######......#######......",
        "......#######......#######......",
    };
    // clang-format on
    auto shape = [](cl::TBitmap* p) {
        std::vector<std::string> v;
        for (int y = 0; y < p->GetHeight(); ++y) {
            std::string row;
            for (int x = 0; x < p->GetWidth(); ++x) row += (p->GetCanvas()->Pixels(x, y) & 0xFFFFFF) ? '.' : '#';
            v.push_back(row);
        }
        return v;
    };
    EXPECT_EQ(shape(b.Piece(0)), knobsTopBottom);
    EXPECT_EQ(shape(b.Piece(4)), knobsLeftRight);
    // The wider and taller variants are one pixel larger.
    EXPECT_EQ(b.Piece(3)->GetWidth(), 21);
    EXPECT_EQ(b.Piece(3)->GetHeight(), 33);
    EXPECT_EQ(b.Piece(7)->GetWidth(), 33);
    EXPECT_EQ(b.Piece(7)->GetHeight(), 21);
}

}  // namespace
