// The GDI transition effects and their tools: rectangle lists, progress size, the region
// builders, the mirrored stretch and the point rotation; every effect of the table at 0, 50
// and 100 % on noise pictures; and every effect at every percentage on small and degenerate
// frames (none may run for ever or touch pixels outside the frame).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/processing/iextratransitions.h"
#include "platform/gdi.h"
#include "transitions_testutil.h"

namespace ie {
namespace {

using test::DifferentPixels;
using test::NoisePicture;
using test::PixelAt;

// The region's pixels inside (0, 0, W, H), row by row.
std::vector<bool> Mask(win::HRGN Rgn, int W, int H) {
    std::vector<bool> m(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) m[static_cast<size_t>(y) * W + x] = win::PtInRegion(Rgn, x, y) != 0;
    return m;
}

bool RowCovered(win::HRGN Rgn, int y, int x0, int x1) {
    for (int x = x0; x < x1; ++x)
        if (!win::PtInRegion(Rgn, x, y)) return false;
    return true;
}

bool RowEmpty(win::HRGN Rgn, int y, int x0, int x1) {
    for (int x = x0; x < x1; ++x)
        if (win::PtInRegion(Rgn, x, y)) return false;
    return true;
}

// ---------------------------------------------------------------------------------------
// Rectangle lists

TEST(TComplexRegion, EmptyGivesNoRegionAndOneRectangleSetsTheBounds) {
    TComplexRegion r;
    EXPECT_EQ(r.CreateRegion(), nullptr);
    EXPECT_EQ(r.GetBounds().left, INT32_MAX);
    EXPECT_EQ(r.GetBounds().top, INT32_MAX);
    EXPECT_EQ(r.GetBounds().right, INT32_MIN + 1);
    EXPECT_EQ(r.GetBounds().bottom, INT32_MIN + 1);
    r.AddRect(3, 4, 10, 12);
    EXPECT_EQ(r.GetCount(), 1);
    EXPECT_EQ(r.GetCapacity(), 500);
    EXPECT_EQ(r.GetBounds().left, 3);
    EXPECT_EQ(r.GetBounds().top, 4);
    EXPECT_EQ(r.GetBounds().right, 10);
    EXPECT_EQ(r.GetBounds().bottom, 12);
    win::HRGN h = r.CreateRegion();
    ASSERT_NE(h, nullptr);
    win::RECT box;
    EXPECT_EQ(win::GetRgnBox(h, &box), win::SIMPLEREGION);
    EXPECT_EQ(box.left, 3);
    EXPECT_EQ(box.bottom, 12);
    // The header as the platform's region data has it.
    win::RGNDATAHEADER hdr;
    std::memcpy(&hdr, r.GetRgnData().data(), sizeof hdr);
    EXPECT_EQ(hdr.dwSize, 32u);
    EXPECT_EQ(hdr.iType, 1u);
    EXPECT_EQ(hdr.nCount, 1u);
    EXPECT_EQ(hdr.nRgnSize, 16u);
    win::DeleteObject(h);
    r.Clear();
    EXPECT_EQ(r.GetCount(), 0);
    EXPECT_EQ(r.GetCapacity(), 0);
    EXPECT_EQ(r.CreateRegion(), nullptr);
}

TEST(TComplexRegion, GrowsByFiveHundredAndKeepsRectanglesAsGiven) {
    TComplexRegion r;
    for (int i = 0; i < 500; ++i) r.AddRect(i, 0, i + 1, 1);
    EXPECT_EQ(r.GetCapacity(), 500);
    EXPECT_EQ(r.GetRgnData().size(), 36u + 16u * 500);
    r.AddRect(700, 9, 600, 2);  // the 501st, reversed: stored as passed
    EXPECT_EQ(r.GetCapacity(), 1000);
    EXPECT_EQ(r.GetRgnData().size(), 36u + 16u * 1000);
    win::RECT stored;
    std::memcpy(&stored, r.GetRgnData().data() + 32 + 16 * 500, sizeof stored);
    EXPECT_EQ(stored.left, 700);
    EXPECT_EQ(stored.right, 600);
    // Minima from X1, Y1 and maxima from X2, Y2.
    EXPECT_EQ(r.GetBounds().left, 0);
    EXPECT_EQ(r.GetBounds().top, 0);
    EXPECT_EQ(r.GetBounds().right, 600);
    EXPECT_EQ(r.GetBounds().bottom, 2);
    win::HRGN h = r.CreateRegion();
    EXPECT_TRUE(RowCovered(h, 0, 0, 500));
    EXPECT_FALSE(win::PtInRegion(h, 650, 5));  // a reversed rectangle holds no pixel
    win::DeleteObject(h);
}

// ---------------------------------------------------------------------------------------
// Geometry

TEST(IEProgressSize, LongerSideScaledOtherInProportion) {
    struct Case {
        int W, H, p, w, h;
    };
    const Case cases[] = {{400, 300, 50, 200, 150}, {400, 300, 0, 0, 0},   {400, 300, 100, 400, 300},
                          {300, 400, 50, 150, 200}, {101, 33, 50, 51, 17}, {7, 7, 33, 2, 2},
                          {0, 0, 50, 0, 0},         {0, 30, 50, 0, 0}};
    for (const Case& c : cases) {
        int32_t W, H, w, h;
        IEProgressSize(cl::Rect(0, 0, c.W, c.H), c.p, W, H, w, h);
        EXPECT_EQ(W, c.W);
        EXPECT_EQ(H, c.H);
        EXPECT_EQ(w, c.w) << c.W << "x" << c.H << " " << c.p;
        EXPECT_EQ(h, c.h) << c.W << "x" << c.H << " " << c.p;
    }
}

TEST(IEBarsRegion, EvenRowsFirstThenTheOdd) {
    const int W = 100, H = 40;  // bar thickness 40 div 50 + 1 = 1
    win::HRGN half = IEBarsRegion(W / 2, 0, W, H, 2, 0);
    win::HRGN even = IEBarsRegion(W, 0, W, H, 2, 0);
    win::HRGN all = IEBarsRegion(2 * W, 0, W, H, 1, 0);
    win::HRGN right = IEBarsRegion(W / 2, 0, W, H, 1, 0);
    win::HRGN oddRight = IEBarsRegion(W + 30, 0, W, H, 4, 0);
    for (int y = 0; y < H; ++y) {
        const bool isEven = y % 2 == 0;
        EXPECT_EQ(RowCovered(half, y, 0, W / 2) && RowEmpty(half, y, W / 2, W), isEven) << y;
        EXPECT_EQ(RowCovered(right, y, W / 2, W) && RowEmpty(right, y, 0, W / 2), isEven) << y;
        EXPECT_EQ(RowCovered(even, y, 0, W), isEven) << y;
        EXPECT_EQ(RowEmpty(even, y, 0, W), !isEven) << y;
        EXPECT_TRUE(RowCovered(all, y, 0, W)) << y;
        // Style 4: the even rows grew from the left, the odd ones now come from the right.
        if (isEven) {
            EXPECT_TRUE(RowCovered(oddRight, y, 0, W)) << y;
        } else {
            EXPECT_TRUE(RowCovered(oddRight, y, W - 30, W) && RowEmpty(oddRight, y, 0, W - 30)) << y;
        }
    }
    for (win::HRGN r : {half, even, all, right, oddRight}) win::DeleteObject(r);
    EXPECT_EQ(IEBarsRegion(10, 10, W, H, 0, 0), nullptr);
}

TEST(IEBarsRegion, StyleThreeAndColumns) {
    const int W = 60, H = 100;  // thickness 2
    win::HRGN both = IEBarsRegion(20, 0, W, H, 3, 0);
    for (int y = 0; y < H; ++y) {
        const bool evenBar = (y / 2) % 2 == 0;
        if (evenBar) {
            EXPECT_TRUE(RowCovered(both, y, W - 20, W) && RowEmpty(both, y, 0, W - 20)) << y;
        } else {
            EXPECT_TRUE(RowCovered(both, y, 0, 20) && RowEmpty(both, y, 20, W)) << y;
        }
    }
    win::HRGN cols = IEBarsRegion(0, 30, W, H, 0, 1);  // columns from the bottom
    for (int x = 0; x < W; ++x) {
        const bool evenBar = (x / 2) % 2 == 0;
        EXPECT_EQ(win::PtInRegion(cols, x, H - 1) != 0, evenBar) << x;
        EXPECT_EQ(win::PtInRegion(cols, x, H - 30) != 0, evenBar) << x;
        EXPECT_FALSE(win::PtInRegion(cols, x, H - 31)) << x;
    }
    win::DeleteObject(both);
    win::DeleteObject(cols);
}

TEST(IEShredRegion, NoJitterOnceTheProgressReachesTheFrame) {
    const int W = 80, H = 50;
    cl::SetRandSeed(77);
    win::HRGN full = IEShredRegion(W, 0, W, H, 2, 0);
    for (int y = 0; y < H; ++y) EXPECT_TRUE(RowCovered(full, y, 0, W)) << y;
    win::DeleteObject(full);
    // Half way, strip ends scatter within a tenth of the frame around the progress.
    cl::SetRandSeed(77);
    win::HRGN half = IEShredRegion(W / 2, 0, W, H, 1, 0);
    std::set<int> ends;
    for (int y = 0; y < H; ++y) {
        int x = 0;
        while (x < W && !win::PtInRegion(half, x, y)) ++x;
        EXPECT_TRUE(RowCovered(half, y, x, W)) << y;
        EXPECT_GE(W - x, W / 2 - W / 10) << y;
        EXPECT_LE(W - x, W / 2 + W / 10) << y;
        ends.insert(x);
    }
    EXPECT_GT(ends.size(), 1u);  // ragged
    win::DeleteObject(half);
    // Styles 3 and 4 work from the centre line and from both sides.
    win::HRGN centre = IEShredRegion(0, H, W, H, 0, 3);
    win::HRGN sides = IEShredRegion(0, H, W, H, 0, 4);
    for (int x = 0; x < W; ++x) {
        EXPECT_TRUE(win::PtInRegion(centre, x, H / 2 - H / 2)) << x;
        EXPECT_TRUE(win::PtInRegion(centre, x, H / 2 + H / 2 - 1)) << x;
        EXPECT_TRUE(win::PtInRegion(sides, x, 0)) << x;
        EXPECT_TRUE(win::PtInRegion(sides, x, H - 1)) << x;
    }
    win::DeleteObject(centre);
    win::DeleteObject(sides);
}

TEST(IESpeckleRegion, SolidEdgeWithCellsAheadOfIt) {
    const int W = 400, H = 60;  // band 40, cell 2, 20 cells
    cl::SetRandSeed(5);
    win::HRGN r = IESpeckleRegion(100, 0, W, H, 2, 0);
    int ahead = 0;
    for (int y = 0; y < H; ++y) {
        EXPECT_TRUE(RowCovered(r, y, 0, 100)) << y;
        for (int x = 100; x < W; ++x) {
            if (win::PtInRegion(r, x, y)) {
                ++ahead;
                EXPECT_LT(x, 100 + 40) << y;  // never beyond the band
            }
        }
    }
    EXPECT_GT(ahead, 0);
    win::DeleteObject(r);
    win::HRGN full = IESpeckleRegion(0, H, W, H, 0, 1);  // complete: solid
    EXPECT_EQ(Mask(full, W, H), std::vector<bool>(static_cast<size_t>(W) * H, true));
    win::DeleteObject(full);
}

TEST(IEPolygonRegion, OddLengthIsRefused) {
    const int32_t odd[] = {0, 0, 10, 0, 0};
    EXPECT_EQ(IEPolygonRegion(odd), nullptr);
    const int32_t two[] = {0, 0, 10, 10};
    EXPECT_EQ(IEPolygonRegion(two), nullptr);
    const int32_t tri[] = {0, 0, 10, 0, 0, 10};
    win::HRGN r = IEPolygonRegion(tri);
    ASSERT_NE(r, nullptr);
    win::HRGN t = IETriangleRegion(0, 0, 10, 0, 0, 10);
    EXPECT_TRUE(win::EqualRgn(r, t));
    EXPECT_TRUE(win::PtInRegion(r, 1, 1));
    EXPECT_FALSE(win::PtInRegion(r, 8, 8));
    win::DeleteObject(r);
    win::DeleteObject(t);
}

TEST(IEFanRegion, WedgesFromTheStartAngle) {
    const double pi = std::numbers::pi;
    // A quarter from straight up to the right, clockwise on screen.
    win::HRGN q = IEFanRegion(50, 50, 40, 10, -pi / 2 + pi / 2 * 10 / 9.0, -pi / 2);
    EXPECT_TRUE(win::PtInRegion(q, 60, 30));   // upper right
    EXPECT_FALSE(win::PtInRegion(q, 40, 30));  // upper left
    EXPECT_FALSE(win::PtInRegion(q, 60, 70));  // lower right
    win::DeleteObject(q);
    win::HRGN lone = IEFanRegion(50, 50, 40, 0, 1, 0);  // a lone centre covers nothing
    win::RECT box;
    EXPECT_EQ(win::GetRgnBox(lone, &box), win::NULLREGION);
    win::DeleteObject(lone);
}

TEST(IERotatePoints, ClockwiseOnScreenRounded) {
    const double pi = std::numbers::pi;
    cl::TPoint pts[3] = {{20, 10}, {10, 0}, {13, 10}};
    xtrans::IERotatePoints(pts, 3, 10, 10, pi / 2);
    EXPECT_EQ(pts[0].x, 10);  // right of the centre turns to below it
    EXPECT_EQ(pts[0].y, 20);
    EXPECT_EQ(pts[1].x, 20);  // above turns to the right
    EXPECT_EQ(pts[1].y, 10);
    EXPECT_EQ(pts[2].x, 10);
    EXPECT_EQ(pts[2].y, 13);
    cl::TPoint back[1] = {{13, 14}};
    xtrans::IERotatePoints(back, 1, 10, 10, -pi);  // half a turn: sin(-pi) is not quite 0
    EXPECT_EQ(back[0].x, 7);
    EXPECT_EQ(back[0].y, 6);
    cl::TPoint tilt[1] = {{20, 10}};
    xtrans::IERotatePoints(tilt, 1, 10, 10, pi / 6);  // (8.66, 5): rounded to the nearest
    EXPECT_EQ(tilt[0].x, 19);
    EXPECT_EQ(tilt[0].y, 15);
}

TEST(IEStretchFlipped, MirrorsTheSourceRectangle) {
    auto src = NoisePicture(8, 6, 1);
    auto dst = NoisePicture(20, 10, 2);
    auto before = NoisePicture(20, 10, 2);
    // Source limited to the bitmap: (4, 0, 99, 6) is (4, 0, 8, 6).
    IEStretchFlipped(dst->GetCanvas(), cl::Rect(2, 1, 6, 7), src.get(), false, true, cl::Rect(4, 0, 99, 6));
    int mirrored = 0;
    for (int y = 1; y < 7; ++y)
        for (int x = 2; x < 6; ++x) mirrored += PixelAt(dst.get(), x, y) == PixelAt(src.get(), 4 + (5 - x), y - 1);
    EXPECT_GE(mirrored, 12);  // the columns run backwards
    EXPECT_EQ(PixelAt(dst.get(), 10, 5), PixelAt(before.get(), 10, 5));
    auto up = NoisePicture(8, 6, 3);
    IEStretchFlipped(up->GetCanvas(), cl::Rect(0, 0, 8, 6), src.get(), true, false, cl::Rect(0, 0, 8, 6));
    int flipped = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) flipped += PixelAt(up.get(), x, y) == PixelAt(src.get(), x, 5 - y);
    EXPECT_GE(flipped, 8 * 4);  // the rows run backwards
}

// ---------------------------------------------------------------------------------------
// The table

TEST(IEEffectTable, NamesAndProcedures) {
    EXPECT_STREQ(IEEffectTable[0].Name, "Cross Fade");
    EXPECT_STREQ(IEEffectTable[29].Name, "Expand In to Center");
    EXPECT_STREQ(IEEffectTable[30].Name, "Expand from Left");
    EXPECT_STREQ(IEEffectTable[138].Name, "Sweep Clockwise");
    EXPECT_STREQ(IEEffectTable[161].Name, "Uneven Blinds from Right");
    EXPECT_STREQ(IEEffectTable[183].Name, "Triangular Wipe");
    EXPECT_STREQ(IEEffectTable[186].Name, "Page Flip 2");
    std::set<std::string> names;
    std::set<TEffectProc> procs;
    for (int i = 0; i < IEEffectCount; ++i) {
        names.insert(IEEffectTable[i].Name);
        EXPECT_EQ(IEEffectTable[i].Proc == nullptr, i < 30) << i;
        if (IEEffectTable[i].Proc) procs.insert(IEEffectTable[i].Proc);
    }
    EXPECT_EQ(names.size(), 187u);  // every name once
    EXPECT_EQ(procs.size(), 157u);  // every procedure its own
}

// ---------------------------------------------------------------------------------------
// The effects on noise pictures

class EffectTest : public ::testing::Test {
protected:
    void Make(int W, int H) {
        oldPic = NoisePicture(W, H, 11);
        newPic = NoisePicture(W, H, 22);
        frame = NoisePicture(W, H, 11);
        win::SetStretchBltMode(frame->GetCanvas()->GetHandle(), win::HALFTONE);
    }
    void Run(int Effect, int Percent) {
        IEEffectTable[Effect - 1].Proc(frame->GetCanvas(), oldPic.get(), newPic.get(),
                                       cl::Rect(0, 0, frame->GetWidth(), frame->GetHeight()), 1, Percent);
    }
    bool IsNew(int x, int y) { return PixelAt(frame.get(), x, y) == PixelAt(newPic.get(), x, y); }
    bool IsOld(int x, int y) { return PixelAt(frame.get(), x, y) == PixelAt(oldPic.get(), x, y); }
    std::unique_ptr<cl::TBitmap> oldPic, newPic, frame;
};

// Effects whose last frame is not the whole new picture, and why.
bool LastFrameIsNotWhole(int n) {
    switch (n) {
        case 139:  // the sweeps leave their last wedge to the transition's final copy
        case 140:
        case 187:  // the page's edge is drawn at the left border
            return true;
        default: return false;
    }
}

TEST_F(EffectTest, EveryEffectEndsOnTheNewPictureAtOneHundredPercent) {
    for (int n = 31; n <= 187; ++n) {
        Make(120, 80);
        Run(n, 100);
        const int64_t diff = DifferentPixels(frame.get(), newPic.get());
        if (LastFrameIsNotWhole(n)) {
            EXPECT_GT(diff, 0) << n << " " << IEEffectTable[n - 1].Name;
            EXPECT_LT(diff, 120 * 80 / 10) << n << " " << IEEffectTable[n - 1].Name;
        } else {
            EXPECT_EQ(diff, 0) << n << " " << IEEffectTable[n - 1].Name;
        }
    }
}

// Effects that draw something already at 0 %, and why.
bool DrawsAtZeroPercent(int n) {
    return (n >= 57 && n <= 60)        // a build-up smears the next strip over the whole rest
           || (n >= 95 && n <= 112)    // shreds jitter around the edge, also ahead of it
           || (n >= 147 && n <= 150);  // speckles scatter ahead of the edge
}

TEST_F(EffectTest, EveryEffectLeavesTheOldPictureAtZeroPercent) {
    for (int n = 31; n <= 187; ++n) {
        if (DrawsAtZeroPercent(n)) continue;
        Make(120, 80);
        Run(n, 0);
        EXPECT_EQ(DifferentPixels(frame.get(), oldPic.get()), 0) << n << " " << IEEffectTable[n - 1].Name;
    }
}

TEST_F(EffectTest, EveryEffectIsUnderWayAtFiftyPercent) {
    for (int n = 31; n <= 187; ++n) {
        Make(120, 80);
        Run(n, 50);
        // Something changed, and the new picture is not all there yet.
        EXPECT_GT(DifferentPixels(frame.get(), oldPic.get()), 0) << n << " " << IEEffectTable[n - 1].Name;
        EXPECT_GT(DifferentPixels(frame.get(), newPic.get()), 0) << n << " " << IEEffectTable[n - 1].Name;
    }
}

// Where the new picture is at 50 % for effects with a plain geometry (frame 120 x 80: w = 60,
// h = 40).
TEST_F(EffectTest, HalfWayGeometry) {
    struct Probe {
        int n;
        int x, y;
        bool isNew;
    };
    // clang-format off
    const Probe probes[] = {
        {49, 0, 0, true},    {49, 59, 39, true},  {49, 60, 39, false}, {49, 59, 40, false},  // Wipe from Top Left
        {52, 119, 79, true}, {52, 60, 40, true},  {52, 59, 79, false},                       // Wipe from Bottom Right
        {54, 0, 20, true},   {54, 119, 59, true}, {54, 0, 19, false},  {54, 0, 60, false},   // Wipe from Horizon
        {55, 29, 0, true},   {55, 90, 79, true},  {55, 30, 0, false},  {55, 89, 0, false},   // Wipe in from Sides
        {74, 29, 19, true},  {74, 90, 60, true},  {74, 30, 19, false}, {74, 60, 40, false},  // Quarters Wipe in
        {85, 0, 0, true},    {85, 119, 1, true},  {85, 0, 2, false},   {85, 119, 4, true},   // Bars in from Left
        {113, 6, 6, true},   {113, 0, 0, false},                                             // Expanding Rectangles
        {133, 0, 0, true},   {133, 110, 70, false}, {133, 0, 79, true},                      // Wipe diagonal
        {161, 0, 0, true},   {161, 29, 79, true},  {161, 30, 0, false}, {161, 60, 0, true},  // Uneven Blinds
        {162, 119, 0, true}, {162, 90, 0, true},   {162, 89, 0, false},                      // ... from Right
        {164, 0, 79, true},  {164, 0, 60, true},   {164, 0, 59, false},                      // ... from Bottom
        {181, 60, 40, true}, {181, 0, 0, false},   {181, 119, 79, false},                    // Diamond from Center
    };
    // clang-format on
    for (const Probe& p : probes) {
        Make(120, 80);
        Run(p.n, 50);
        if (p.isNew) {
            EXPECT_TRUE(IsNew(p.x, p.y)) << p.n << " at " << p.x << "," << p.y;
        } else {
            EXPECT_TRUE(IsOld(p.x, p.y)) << p.n << " at " << p.x << "," << p.y;
        }
    }
}

TEST_F(EffectTest, BarsInFromLeftCoverEvenRowsAtFiftyAndAllAtOneHundred) {
    Make(200, 100);  // bar thickness 3
    Run(85, 50);
    for (int y = 0; y < 100; ++y) {
        const bool even = (y / 3) % 2 == 0;
        int fresh = 0;
        for (int x = 0; x < 200; ++x) fresh += IsNew(x, y);
        EXPECT_EQ(fresh, even ? 200 : 0) << y;
    }
    Run(85, 100);
    EXPECT_EQ(DifferentPixels(frame.get(), newPic.get()), 0);
}

TEST_F(EffectTest, SweepLeavesTheLastWedgeAtOneHundred) {
    Make(120, 80);
    Run(139, 100);
    // The wedge of pi/50 left of straight up stays old, the rest is new.
    EXPECT_TRUE(IsOld(58, 2));
    EXPECT_TRUE(IsNew(62, 2));
    EXPECT_TRUE(IsNew(2, 2));
    EXPECT_TRUE(IsNew(60, 78));
}

TEST_F(EffectTest, RandomBigBoxesRepeatAndLeaveTheCallersSequence) {
    Make(120, 80);
    cl::SetRandSeed(1234);
    const int32_t expected = cl::Random(1000000);
    cl::SetRandSeed(1234);
    Run(185, 40);
    auto once = NoisePicture(120, 80, 0);
    test::CopyPixels(once.get(), frame.get());
    EXPECT_EQ(cl::Random(1000000), expected);  // the caller's sequence goes on undisturbed
    Run(185, 40);
    EXPECT_EQ(DifferentPixels(frame.get(), once.get()), 0);  // the same boxes again
    const int64_t shown = DifferentPixels(frame.get(), oldPic.get());
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 120 * 80);
    Run(185, 80);  // more boxes, and the earlier ones stay
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x)
            if (PixelAt(once.get(), x, y) == PixelAt(newPic.get(), x, y)) {
                ASSERT_TRUE(IsNew(x, y)) << x << "," << y;
            }
}

TEST_F(EffectTest, PushMovesTheFrameOnEveryCall) {
    Make(120, 80);
    Run(151, 10);  // w = 12: the frame moves 12 left, the new picture's left 12 columns come in
    for (int y = 0; y < 80; y += 7) {
        EXPECT_EQ(PixelAt(frame.get(), 0, y), PixelAt(oldPic.get(), 12, y));
        EXPECT_EQ(PixelAt(frame.get(), 108, y), PixelAt(newPic.get(), 0, y));
    }
    Run(151, 10);  // the same percent again moves it again
    for (int y = 0; y < 80; y += 7) {
        EXPECT_EQ(PixelAt(frame.get(), 0, y), PixelAt(oldPic.get(), 24, y));
        EXPECT_EQ(PixelAt(frame.get(), 96, y), PixelAt(newPic.get(), 0, y));
    }
}

TEST_F(EffectTest, UnevenBlindsAtZeroPercentDrawNothing) {
    for (int n : {161, 162, 163, 164, 165, 166, 167, 168}) {
        Make(120, 80);
        Run(n, 0);
        EXPECT_EQ(DifferentPixels(frame.get(), oldPic.get()), 0) << n;
    }
}

TEST_F(EffectTest, PageFlipTurnsAboutTheMiddle) {
    Make(121, 40);  // odd width: the last column belongs to the right half
    Run(187, 25);   // the old right half narrowed to e = MulDiv(121, 25, 100) = 30 columns
    for (int y = 0; y < 40; y += 5) {
        EXPECT_TRUE(IsOld(10, y));                             // the left half still old
        EXPECT_TRUE(IsNew(120, y));                            // the new right half beyond the page
        EXPECT_EQ(PixelAt(frame.get(), 60 + 30, y), 0u) << y;  // the edge, black
        EXPECT_TRUE(IsNew(100, y));                            // uncovered by the turning page
    }
    Run(186, 100);
    EXPECT_EQ(DifferentPixels(frame.get(), newPic.get()), 0);
}

// ---------------------------------------------------------------------------------------
// Every percentage, every frame shape

// A call that never returned (a band step of 0, a loop on an empty size) hangs the test
// until the runner's time-out; the sanitizers report any pixel touched outside a picture.
TEST_F(EffectTest, EveryEffectReturnsAtEveryPercentOnEveryFrameShape) {
    struct Shape {
        int W, H;
    };
    const Shape shapes[] = {{21, 20}, {1, 1}, {1, 30}, {30, 1}, {2, 2}, {19, 19}};
    for (const Shape& s : shapes) {
        for (int n = 31; n <= 187; ++n) {
            Make(s.W, s.H);
            for (int p = 0; p <= 100; ++p) Run(n, p);
            // The last call drew at 100 %: the frame has left the old picture behind unless
            // the effect cannot reveal anything on a frame this thin.
            // (Rectangles from the sides need a twentieth of the frame for their bands.)
            const bool bandless = n >= 165 && n <= 168 && std::min(s.W, s.H) < 20;
            if (s.W >= 19 && s.H >= 19 && n != 185 && !bandless) {
                EXPECT_GT(DifferentPixels(frame.get(), oldPic.get()), 0) << n << " " << s.W << "x" << s.H;
            }
        }
    }
}

}  // namespace
}  // namespace ie
