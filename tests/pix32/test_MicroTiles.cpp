// Micro tiles: the union of two tiles, marking rectangles and lines, merging tile arrays, and the
// rectangle list made from the dirty tiles.
#include <gtest/gtest.h>

#include <vector>

#include "pix32/Pix32_MicroTiles.h"
#include "test_MicroTiles_Rect.h"

namespace pix32 {
namespace {

// Tiles covering (0, 0, W, H), freed at the end.
class Tiles {
public:
    Tiles(int w, int h) {
        MicroTilesCreate(t);
        MicroTilesSetSize(t, TRect{0, 0, w, h});
    }
    ~Tiles() { MicroTilesDestroy(t); }
    TMicroTile At(int col, int row) const { return t.Tiles[row * t.Columns + col]; }
    std::vector<TRect> Rects(bool round = false) const {
        TRectList list;
        const int n = MicroTilesCalcRects(t, &list, false, round);
        EXPECT_EQ(n, list.Count());
        EXPECT_EQ(n, MicroTilesCalcRects(t, nullptr, true, round));
        std::vector<TRect> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(*list.Items(i));
        return out;
    }
    TMicroTiles t;
};

TEST(MicroTile, UnionTable) {
    struct Case {
        TMicroTile dst, src, expected;
    };
    // clang-format off
    const Case cases[] = {
        {MICROTILE_FULL, MakeMicroTile(1, 2, 3, 4), MICROTILE_FULL},                         // full stays full
        {MakeMicroTile(1, 2, 3, 4), MICROTILE_EMPTY, MakeMicroTile(1, 2, 3, 4)},             // empty adds nothing
        {MakeMicroTile(1, 2, 3, 4), MakeMicroTile(5, 0, 5, 9), MakeMicroTile(1, 2, 3, 4)},   // zero width
        {MakeMicroTile(1, 2, 3, 4), MakeMicroTile(0, 6, 9, 6), MakeMicroTile(1, 2, 3, 4)},   // zero height
        {MICROTILE_EMPTY, MakeMicroTile(5, 6, 7, 8), MakeMicroTile(5, 6, 7, 8)},             // empty takes src
        {MakeMicroTile(1, 2, 3, 4), MICROTILE_FULL, MICROTILE_FULL},                         // src full
        {MakeMicroTile(10, 2, 12, 30), MakeMicroTile(4, 8, 20, 9), MakeMicroTile(4, 2, 20, 30)},  // bounding box
        {MakeMicroTile(0, 0, 32, 31), MakeMicroTile(0, 31, 32, 32), MICROTILE_FULL},
    };
    // clang-format on
    for (const Case& c : cases) {
        TMicroTile d = c.dst;
        MicroTileUnion(d, c.src);
        EXPECT_EQ(c.expected, d) << std::hex << c.dst << " + " << c.src;
    }
    EXPECT_EQ(0x00002020u, MakeMicroTile(0, 0, 32, 32));
    EXPECT_EQ(0x0A141E1Fu, MakeMicroTile(10, 20, 30, 31));
}

TEST(MicroTiles, SetSizeCoversOneTileMoreThanTheArea) {
    Tiles a(100, 100);
    EXPECT_EQ(4, a.t.Columns);
    EXPECT_EQ(4, a.t.Rows);
    EXPECT_EQ(25, a.t.Count);
    EXPECT_TRUE((a.t.BoundsUsedTiles == TRect{4, 4, 0, 0}));
    EXPECT_TRUE(a.Rects().empty());

    Tiles b(64, 33);
    EXPECT_EQ(3, b.t.Columns);
    EXPECT_EQ(2, b.t.Rows);

    // A reversed area covers nothing and keeps a single tile.
    TMicroTiles r;
    MicroTilesCreate(r);
    MicroTilesSetSize(r, TRect{50, 50, 10, 10});
    EXPECT_EQ(1, r.Columns);
    EXPECT_EQ(1, r.Rows);
    MicroTilesDestroy(r);
    EXPECT_EQ(nullptr, r.Tiles);
    EXPECT_EQ(0, r.Count);
}

TEST(MicroTiles, AddRectMarksThePartsOfTheTouchedTiles) {
    Tiles a(100, 100);
    MicroTilesAddRect(a.t, TRect{10, 10, 20, 20});
    EXPECT_EQ(MakeMicroTile(10, 10, 20, 20), a.At(0, 0));
    for (int i = 1; i < a.t.Count; ++i) EXPECT_EQ(0u, a.t.Tiles[i]) << i;
    EXPECT_TRUE((a.t.BoundsUsedTiles == TRect{0, 0, 0, 0}));

    Tiles b(100, 100);
    MicroTilesAddRect(b.t, TRect{10, 10, 70, 20});
    EXPECT_EQ(MakeMicroTile(10, 10, 32, 20), b.At(0, 0));
    EXPECT_EQ(MakeMicroTile(0, 10, 32, 20), b.At(1, 0));
    EXPECT_EQ(MakeMicroTile(0, 10, 6, 20), b.At(2, 0));
    EXPECT_EQ(0u, b.At(3, 0));

    Tiles c(100, 100);
    MicroTilesAddRect(c.t, TRect{5, 40, 90, 90});
    EXPECT_EQ(MakeMicroTile(5, 8, 32, 32), c.At(0, 1));
    EXPECT_EQ(MakeMicroTile(0, 8, 32, 32), c.At(1, 1));
    EXPECT_EQ(MakeMicroTile(0, 8, 26, 32), c.At(2, 1));
    EXPECT_EQ(MakeMicroTile(5, 0, 32, 26), c.At(0, 2));
    EXPECT_EQ(MakeMicroTile(0, 0, 26, 26), c.At(2, 2));
    EXPECT_TRUE((c.t.BoundsUsedTiles == TRect{0, 1, 2, 2}));

    Tiles d(200, 200);  // three rows and columns: the middle is written as full tiles
    MicroTilesAddRect(d.t, TRect{20, 20, 100, 100});
    EXPECT_EQ(MICROTILE_FULL, d.At(1, 1));
    EXPECT_EQ(MICROTILE_FULL, d.At(2, 2));
    EXPECT_EQ(MakeMicroTile(20, 0, 32, 32), d.At(0, 1));
    EXPECT_EQ(MakeMicroTile(0, 0, 4, 32), d.At(3, 2));
    EXPECT_EQ(MakeMicroTile(0, 0, 4, 4), d.At(3, 3));
}

TEST(MicroTiles, RectangleListTable) {
    struct Case {
        const char* name;
        std::vector<TRect> added;
        bool round;
        std::vector<TRect> expected;
    };
    const std::vector<Case> cases = {
        {"one tile", {{10, 10, 20, 20}}, false, {{10, 10, 20, 20}}},
        {"one row merges", {{10, 10, 70, 20}}, false, {{10, 10, 70, 20}}},
        {"reversed", {{70, 20, 10, 10}}, false, {{10, 10, 70, 20}}},
        {"stacked areas merge", {{0, 0, 64, 32}, {0, 32, 64, 64}}, false, {{0, 0, 64, 64}}},
        {"one column merges", {{10, 10, 20, 80}}, false, {{10, 10, 20, 80}}},
        {"block merges", {{5, 5, 90, 90}}, false, {{5, 5, 90, 90}}},
        {"whole area", {{0, 0, 100, 100}}, false, {{0, 0, 100, 100}}},
        {"two apart", {{0, 0, 10, 10}, {40, 0, 50, 10}}, false, {{0, 0, 10, 10}, {40, 0, 50, 10}}},
        {"overlap in a tile", {{2, 2, 6, 6}, {4, 4, 9, 9}}, false, {{2, 2, 9, 9}}},
        // A run does not jump over a tile that ends before its right edge.
        {"gap inside a row", {{0, 0, 42, 10}, {64, 0, 96, 10}}, false, {{0, 0, 42, 10}, {64, 0, 96, 10}}},
        // Bands of different heights are not merged across tiles.
        {"different bands", {{0, 0, 32, 10}, {32, 5, 64, 10}}, false, {{0, 0, 32, 10}, {32, 5, 64, 10}}},
        {"wholly left", {{-50, 10, -20, 20}}, false, {}},
        {"zero-width strip", {{-50, 10, 0, 20}}, false, {}},
        {"beyond the right", {{200, 10, 300, 20}}, false, {}},
        {"clamped to the area", {{-10, -10, 20, 20}}, false, {{0, 0, 20, 20}}},
        {"round one tile", {{10, 10, 20, 20}}, true, {{0, 0, 32, 32}}},
        {"round a row", {{10, 10, 70, 20}}, true, {{0, 0, 96, 32}}},
        {"round a block", {{40, 40, 60, 90}}, true, {{32, 32, 64, 96}}},
    };
    for (const Case& c : cases) {
        Tiles a(100, 100);
        for (const TRect& r : c.added) MicroTilesAddRect(a.t, r, c.round);
        EXPECT_EQ(c.expected, a.Rects(c.round)) << c.name;
    }
}

TEST(MicroTiles, CalcRectsClipsAndCountsOnly) {
    Tiles a(100, 100);
    MicroTilesAddRect(a.t, TRect{10, 10, 70, 50});
    TRectList list;
    EXPECT_EQ(1, MicroTilesCalcRects(a.t, &list, TRect{20, 0, 60, 40}, false));
    ASSERT_EQ(1, list.Count());
    EXPECT_EQ((TRect{20, 10, 60, 40}), *list.Items(0));
    TRectList untouched;
    EXPECT_EQ(1, MicroTilesCalcRects(a.t, &untouched, TRect{20, 0, 60, 40}, true));
    EXPECT_EQ(0, untouched.Count());

    TMicroTiles none;
    MicroTilesCreate(none);
    EXPECT_EQ(0, MicroTilesCalcRects(none, &list, false));
}

TEST(MicroTiles, UnionOfTileArrays) {
    Tiles dst(100, 100), src(100, 100);
    MicroTilesAddRect(dst.t, TRect{0, 0, 10, 10});
    MicroTilesAddRect(dst.t, TRect{32, 32, 64, 64});  // a full tile
    MicroTilesAddRect(src.t, TRect{5, 5, 20, 20});
    MicroTilesAddRect(src.t, TRect{40, 40, 50, 50});
    MicroTilesAddRect(src.t, TRect{70, 70, 80, 80});
    MicroTilesUnion(dst.t, src.t);
    EXPECT_EQ(MakeMicroTile(0, 0, 20, 20), dst.At(0, 0));
    EXPECT_EQ(MICROTILE_FULL, dst.At(1, 1));
    EXPECT_EQ(MakeMicroTile(6, 6, 16, 16), dst.At(2, 2));
    EXPECT_TRUE((dst.t.BoundsUsedTiles == TRect{0, 0, 2, 2}));

    Tiles rounded(100, 100);
    MicroTilesUnion(rounded.t, src.t, true);
    EXPECT_EQ(MICROTILE_FULL, rounded.At(0, 0));
    EXPECT_EQ(MICROTILE_FULL, rounded.At(1, 1));
    EXPECT_EQ(MICROTILE_FULL, rounded.At(2, 2));
    EXPECT_EQ(0u, rounded.At(1, 0));
    EXPECT_EQ((std::vector<TRect>{{0, 0, 32, 32}, {32, 32, 64, 64}, {64, 64, 96, 96}}), rounded.Rects());

    // An empty source changes nothing.
    TMicroTiles empty;
    MicroTilesCreate(empty);
    MicroTilesUnion(dst.t, empty);
    EXPECT_TRUE((dst.t.BoundsUsedTiles == TRect{0, 0, 2, 2}));
}

TEST(MicroTiles, ClearUsedAndCopy) {
    Tiles a(100, 100);
    MicroTilesAddRect(a.t, TRect{40, 40, 80, 80});
    Tiles b(10, 10);
    MicroTilesAddRect(b.t, TRect{1, 1, 2, 2});
    MicroTilesCopy(b.t, a.t);
    EXPECT_EQ(a.t.Columns, b.t.Columns);
    EXPECT_EQ(a.t.Count, b.t.Count);
    EXPECT_EQ(0u, b.At(0, 0));  // the old used tiles were cleared first
    EXPECT_EQ(a.Rects(), b.Rects());

    MicroTilesClearUsed(a.t, MICROTILE_EMPTY);
    EXPECT_TRUE(a.Rects().empty());
    EXPECT_TRUE((a.t.BoundsUsedTiles == TRect{4, 4, 0, 0}));
    for (int i = 0; i < a.t.Count; ++i) EXPECT_EQ(0u, a.t.Tiles[i]);

    MicroTilesClear(a.t, MICROTILE_FULL);
    EXPECT_EQ(MICROTILE_FULL, a.At(3, 3));
    EXPECT_TRUE(a.Rects().empty());  // no tile is marked as used
}

TEST(MicroTiles, AddLine) {
    Tiles a(100, 100);
    MicroTilesAddLine(a.t, 10, 10, 50, 10, 1);  // horizontal: enlarged by twice its width
    EXPECT_EQ((std::vector<TRect>{{8, 8, 52, 12}}), a.Rects());

    Tiles b(200, 200);
    MicroTilesAddLine(b.t, 0, 0, 100, 100, 0);  // four steps of 32 pixels
    EXPECT_EQ((std::vector<TRect>{{0, 0, 32, 32}, {32, 32, 64, 64}, {64, 64, 96, 96}, {96, 96, 128, 128}}), b.Rects());

    Tiles c(200, 200);
    MicroTilesAddLine(c.t, 100, 100, 0, 0, 0);  // reversed: steps of 32 from the other end
    EXPECT_EQ(MICROTILE_FULL, c.At(0, 0));
    EXPECT_EQ(MICROTILE_FULL, c.At(2, 2));
    EXPECT_EQ(MakeMicroTile(0, 0, 4, 4), c.At(3, 3));
    EXPECT_EQ(0u, c.At(3, 0));

    Tiles d(200, 200);
    MicroTilesAddLine(d.t, 0, 0, 64, 16, 0);  // the shorter axis moves by 8 per step
    EXPECT_EQ((std::vector<TRect>{{0, 0, 32, 8}, {32, 8, 64, 16}}), d.Rects());
}

TEST(MicroTiles, LinesReachingFarOutsideTheArea) {
    // Lines from one end of the 32-bit range to the other mark only what lies in the area
    // (and the walk skips the steps outside it instead of running a hundred million of them).
    Tiles a(100, 100);
    MicroTilesAddLine(a.t, -2000000000, 0, 2000000000, 10, 1);
    MicroTilesAddLine(a.t, 2000000000, 2000000000, 2000000010, -2000000000, 1);
    for (int col = 0; col < a.t.Columns; ++col) EXPECT_NE(0u, a.At(col, 0)) << col;
    for (int col = 0; col < a.t.Columns; ++col) EXPECT_EQ(0u, a.At(col, 1)) << col;
}

TEST(MicroTiles, InflateAreaKeepsTheDirection) {
    TRect r{10, 10, 20, 20};
    InflateArea(r, 2, 3);
    EXPECT_EQ((TRect{8, 7, 22, 23}), r);
    TRect rev{20, 20, 10, 10};
    InflateArea(rev, 2, 3);
    EXPECT_EQ((TRect{22, 23, 8, 7}), rev);
}

}  // namespace
}  // namespace pix32
