// The selection mask: pixels, box and full flag, rows and polygons at and beyond the edges
// (against the scan-line stepping done one row at a time), moving the selection, copying
// through the mask, and drawing it for the view.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

class Mask : public ImagingTest {};

std::vector<int> Pixels(const TIEMask& m) {
    std::vector<int> out;
    for (int y = 0; y < m.Height; ++y)
        for (int x = 0; x < m.Width; ++x) out.push_back(m.GetPixel(x, y) != 0);
    return out;
}

TEST_F(Mask, PixelsBoxAndFullFlag) {
    TIEMask m;
    EXPECT_TRUE(m.IsEmpty());
    m.Allocate(20, 10, 1);
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.RowLen, 4);
    m.SetPixel(3, 4, 1);
    EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{3, 4, 3, 4}));
    m.SetPixel(1, 6, 255);  // any non-zero value sets a bit
    EXPECT_EQ(m.GetPixel(1, 6), 64);
    EXPECT_EQ(m.GetPixel(3, 4), 16);
    m.SetPixel(17, 2, -3);
    EXPECT_NE(m.GetPixel(17, 2), 0);
    EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{1, 2, 17, 6}));
    m.SetPixel(-1, 0, 1);
    m.SetPixel(20, 0, 1);
    m.SetPixel(0, 10, 1);
    EXPECT_EQ(m.GetPixel(-1, 0), 0);
    EXPECT_EQ(m.GetPixel(0, 10), 0);
    EXPECT_EQ(m.X1, 1);
    // Rows are stored bottom-up.
    EXPECT_EQ(m.GetScanline(0), m.Bits + 4 * 9);
    EXPECT_EQ(m.GetScanline(10), nullptr);

    m.Fill(255);
    EXPECT_TRUE(m.Full);
    EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{0, 0, 19, 9}));
    m.SetPixel(5, 5, 0);
    EXPECT_FALSE(m.Full);
    m.Fill(1);  // the last pixel of every eight
    EXPECT_FALSE(m.Full);
    EXPECT_EQ(m.GetPixel(7, 0), 1);
    EXPECT_EQ(m.GetPixel(6, 0), 0);
    EXPECT_EQ((std::vector<int>{m.X1, m.X2}), (std::vector<int>{7, 15}));
    m.Clear();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_FALSE(m.Full);

    TIEMask g;
    g.Allocate(3, 2, 8);
    g.Fill(255);
    EXPECT_TRUE(g.Full);
    g.SetPixel(2, 1, 254);
    EXPECT_FALSE(g.Full);
    g.SyncFull();
    EXPECT_FALSE(g.Full);
    g.SetPixel(2, 1, 255);
    g.SyncFull();
    EXPECT_TRUE(g.Full);
    for (int bad : {0, 2, 24}) {
        TIEMask b;
        b.Allocate(4, 4, bad);
        EXPECT_EQ(b.Bits, nullptr);
        EXPECT_EQ(b.Width, 0);
    }
}

TEST_F(Mask, FullOfAOneBitMaskLooksOnlyAtPixels) {
    TIEMask m;
    m.Allocate(11, 2, 1);
    for (int y = 0; y < 2; ++y) m.FillRow(1, 0, y, 10);
    m.SyncFull();
    EXPECT_TRUE(m.Full);
    m.SetPixel(10, 1, 0);
    m.SyncFull();
    EXPECT_FALSE(m.Full);
}

TEST_F(Mask, RowsAreClampedAndRowsOutsideAreLeftAlone) {
    for (int bpp : {1, 8}) {
        TIEMask m;
        m.Allocate(12, 5, bpp);
        EXPECT_EQ(m.FillRow(7, -4, 2, 100), 12);
        EXPECT_EQ(m.FillRow(1, 3, -1, 5), 0);  // above: not painted into row 0
        EXPECT_EQ(m.FillRow(1, 3, 5, 5), 0);   // below: not painted into row 4
        EXPECT_EQ(m.FillRow(1, 6, 0, 5), 0);   // empty run
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 12; ++x) ASSERT_EQ(m.GetPixel(x, y) != 0, y == 2) << bpp << ": " << x << "," << y;
        if (bpp == 8) {
            EXPECT_EQ(m.GetPixel(0, 2), 7);
        }
        EXPECT_TRUE(m.IsEmpty());  // rows do not change the box
        m.FillRow(0, 0, 2, 11);
        EXPECT_EQ(Pixels(m), std::vector<int>(60, 0));
    }
    TIEMask full;
    full.Allocate(4, 1, 8);
    full.Fill(255);
    full.FillRow(200, 1, 0, 1);
    EXPECT_FALSE(full.Full);
}

// The polygon scan done literally: an edge table, the edges stepped row by row with their
// integer error term, pairs filled from the left; rows outside the mask skipped.
std::vector<int> ReferencePolygon(int w, int h, const std::vector<cl::TPoint>& pts) {
    std::vector<int> out(static_cast<size_t>(w * h), 0);
    struct E {
        int64_t x, yEnd, dx, dy, err;
    };
    int64_t ymin = pts[0].y, ymax = pts[0].y;
    for (const auto& p : pts) {
        ymin = std::min<int64_t>(ymin, p.y);
        ymax = std::max<int64_t>(ymax, p.y);
    }
    std::vector<std::pair<int64_t, E>> table;
    for (size_t i = 0; i < pts.size(); ++i) {
        cl::TPoint a = pts[i], b = pts[(i + 1) % pts.size()];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        table.push_back({a.y, E{a.x, b.y, int64_t{b.x} - a.x, int64_t{b.y} - a.y, 0}});
    }
    std::vector<E> active;
    for (int64_t y = ymin; y <= ymax; ++y) {
        std::vector<E> next;
        for (E e : active) {
            if (e.yEnd == y) continue;
            int64_t f = e.err + 2 * (e.dx - (e.dx / e.dy) * e.dy);
            e.x += e.dx / e.dy;
            if (f > e.dy || f < -e.dy) {
                if (e.dx > 0) {
                    e.x += 1;
                    f -= 2 * e.dy;
                } else {
                    e.x -= 1;
                    f += 2 * e.dy;
                }
            }
            e.err = f;
            next.push_back(e);
        }
        for (const auto& [yt, e] : table)
            if (yt == y) next.push_back(e);
        std::stable_sort(next.begin(), next.end(), [](const E& a, const E& b) {
            if (a.x != b.x) return a.x < b.x;
            return a.dx * b.dy < b.dx * a.dy;
        });
        active = next;
        if (y < 0 || y >= h) continue;
        for (size_t i = 0; i + 1 < active.size(); i += 2)
            for (int64_t x = std::max<int64_t>(active[i].x, 0); x <= std::min<int64_t>(active[i + 1].x - 1, w - 1); ++x)
                out[static_cast<size_t>(y * w + x)] = 1;
    }
    return out;
}

TEST_F(Mask, PolygonsMatchTheRowByRowScanAtAndBeyondTheEdges) {
    std::mt19937 rnd(21);
    for (int k = 0; k < 600; ++k) {
        const int n = 3 + static_cast<int>(rnd() % 6);
        std::vector<cl::TPoint> pts;
        for (int i = 0; i < n; ++i)
            pts.push_back(cl::TPoint{static_cast<int>(rnd() % 44) - 12, static_cast<int>(rnd() % 40) - 10});
        TIEMask m;
        m.Allocate(20, 16, k % 2 ? 1 : 8);
        m.FillPolygon(1, pts.data(), n);
        ASSERT_EQ(Pixels(m), ReferencePolygon(20, 16, pts)) << "polygon " << k;
    }
}

TEST_F(Mask, SquareAndItsBox) {
    TIEMask m;
    m.Allocate(8, 8, 1);
    const cl::TPoint square[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    m.FillPolygon(1, square, 4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(m.GetPixel(x, y) != 0, x < 4 && y < 4) << x << "," << y;
    EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{0, 0, 3, 3}));
}

TEST_F(Mask, PolygonsOutsideTheMaskPaintNothingAndKeepTheBox) {
    TIEMask m;
    m.Allocate(10, 10, 8);
    m.SetPixel(5, 5, 9);
    // clang-format off
    const std::vector<std::vector<cl::TPoint>> outside = {
        {{0, -20}, {9, -20}, {9, -1}, {0, -1}},    // above: nothing in row 0
        {{0, 10}, {9, 10}, {9, 30}, {0, 30}},      // below: nothing in row 9
        {{-30, 0}, {-1, 0}, {-1, 9}, {-30, 9}},    // left
        {{20, 0}, {30, 0}, {30, 9}},               // right
    };
    // clang-format on
    for (const auto& p : outside) {
        m.FillPolygon(1, p.data(), static_cast<int>(p.size()));
        EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{5, 5, 5, 5}));
        int set = 0;
        for (int v : Pixels(m)) set += v;
        EXPECT_EQ(set, 1);
    }
}

TEST_F(Mask, HugePolygonsAreCutToTheMaskWithoutScanningEveryRow) {
    TIEMask m;
    m.Allocate(30, 20, 1);
    const cl::TPoint huge[] = {
        {-2000000000, -2000000000}, {2000000000, -2000000000}, {2000000000, 2000000000}, {-2000000000, 2000000000}};
    m.FillPolygon(1, huge, 4);
    EXPECT_EQ(Pixels(m), std::vector<int>(600, 1));
    EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{0, 0, 29, 19}));
    m.Clear();
    // A thin sliver from far away still lands where the scan puts it.
    const cl::TPoint sliver[] = {{-1000000, 5}, {1000000, 5}, {1000000, 7}, {-1000000, 7}};
    m.FillPolygon(1, sliver, 4);
    for (int y = 0; y < 20; ++y) EXPECT_EQ(m.GetPixel(0, y) != 0, y == 5 || y == 6) << y;
}

TEST_F(Mask, PolygonListsAreSplitAtTheSeparator) {
    TIEMask m;
    m.Allocate(12, 12, 8);
    const cl::TPoint pts[] = {{0, 0}, {3, 0},  {3, 3},   {0, 3}, {IEPolygonSeparator, 0},
                              {6, 6}, {10, 6}, {10, 10}, {6, 10}};
    m.FillPolygons(255, pts, 9);
    EXPECT_EQ(m.GetPixel(2, 2), 255);
    EXPECT_EQ(m.GetPixel(8, 8), 255);
    EXPECT_EQ(m.GetPixel(4, 4), 0);
    EXPECT_FALSE(m.Full);
    const cl::TPoint all[] = {{0, 0}, {12, 0}, {12, 12}, {0, 12}};
    m.FillPolygons(255, all, 4);
    EXPECT_TRUE(m.Full);
}

TEST_F(Mask, TranslateCutsOrReducesTheMove) {
    for (int bpp : {1, 8}) {
        TIEMask m;
        m.Allocate(16, 8, bpp);
        for (int y = 2; y <= 4; ++y) m.FillRow(bpp == 1 ? 1 : 77, 3, y, 6);
        m.SyncRect();
        int32_t dx = -10, dy = 1;
        m.Translate(dx, dy, false);
        EXPECT_EQ(dx, -3);
        EXPECT_EQ(dy, 1);
        EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{0, 3, 3, 5}));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(m.GetPixel(x, y) != 0, x <= 3 && y >= 3 && y <= 5) << x << "," << y;
        // Cutting: what leaves the mask is gone.
        dx = 14;
        dy = 0;
        m.Translate(dx, dy, true);
        EXPECT_EQ(dx, 14);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(m.GetPixel(x, y) != 0, x >= 14 && y >= 3 && y <= 5) << x << "," << y;
        EXPECT_EQ((std::vector<int>{m.X1, m.X2}), (std::vector<int>{14, 15}));
        if (bpp == 8) {
            EXPECT_EQ(m.GetPixel(15, 4), 77);
        }
        dx = 100;
        m.Translate(dx, dy, true);  // everything leaves
        EXPECT_TRUE(m.IsEmpty());
        EXPECT_EQ(Pixels(m), std::vector<int>(128, 0));
    }
}

TEST_F(Mask, ResizeKeepsTheTopLeftPart) {
    TIEMask m;
    m.Allocate(10, 6, 1);
    m.SetPixel(1, 1, 1);
    m.SetPixel(9, 5, 1);
    m.Resize(5, 3);
    EXPECT_EQ(m.Width, 5);
    EXPECT_NE(m.GetPixel(1, 1), 0);
    EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{1, 1, 4, 2}));
    m.Resize(12, 12);
    EXPECT_NE(m.GetPixel(1, 1), 0);
    EXPECT_EQ(m.GetPixel(9, 5), 0);
    EXPECT_EQ(m.BitsPerPixel, 1);
}

// ---------------------------------------------------------------------------------------
// Copying through the mask

TEST_F(Mask, EightBitValuesBlendAndOneBitValuesCopy) {
    TIEMask m;
    m.Allocate(4, 1, 8);
    m.SetPixel(0, 0, 128);
    m.SetPixel(1, 0, 255);
    m.SetPixel(2, 0, 1);
    TIEBitmap white(4, 1, ie24RGB), black(4, 1, ie24RGB);
    white.Fill(cl::clWhite);
    black.Fill(0);
    m.CopyBitmap(&black, &white, false, false, false);
    EXPECT_EQ(black.GetPixel24(0, 0), CreateRGB(127, 127, 127));
    EXPECT_EQ(black.GetPixel24(1, 0), CreateRGB(254, 254, 254));
    EXPECT_EQ(black.GetPixel24(2, 0), CreateRGB(0, 0, 0));
    EXPECT_EQ(black.GetPixel24(3, 0), CreateRGB(0, 0, 0));
    // Darkening rounds toward minus infinity.
    TIEBitmap dark(4, 1, ie8g), light(4, 1, ie8g);
    dark.Fill(0);
    light.Fill(255);
    m.CopyBitmap(&light, &dark, false, false, false);
    EXPECT_EQ(light.GetPixel8(0, 0), 127);
    EXPECT_EQ(light.GetPixel8(2, 0), 254);

    TIEMask bits;
    bits.Allocate(4, 1, 1);
    bits.SetPixel(1, 0, 1);
    for (TIEPixelFormat f : {ie24RGB, ie8g, ie16g, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB, ie1g}) {
        TIEBitmap src(4, 1, f), dst(4, 1, f);
        test::FillPattern(src, 3);
        test::FillPattern(dst, 4);
        TIEBitmap before(4, 1, f);
        before.Assign(&dst);
        bits.CopyBitmap(&dst, &src, false, false, false);
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(dst.GetPixelRGB(x, 0), (x == 1 ? src : before).GetPixelRGB(x, 0)) << int(f) << " " << x;
    }
    // Different formats: nothing.
    TIEBitmap grey(4, 1, ie8g);
    grey.Fill(9);
    bits.CopyBitmap(&grey, &white, false, false, false);
    EXPECT_EQ(grey.GetPixel8(1, 0), 9);
}

TEST_F(Mask, CopyIsClippedToBothBitmapsAndCanBeRelativeToTheBox) {
    TIEMask m;
    m.Allocate(20, 20, 1);
    for (int y = 5; y <= 15; ++y) m.FillRow(1, 5, y, 15);
    m.SyncRect();
    TIEBitmap src(8, 8, ie8g), dst(12, 12, ie8g);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) src.SetPixel8(x, y, uint8_t(1 + x + 10 * y));
    dst.Fill(0);
    // Both at image coordinates: only the part of the box inside both bitmaps (5..7).
    m.CopyBitmap(&dst, &src, false, false, false);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(dst.GetPixel8(x, y), (x >= 5 && x <= 7 && y >= 5 && y <= 7) ? 1 + x + 10 * y : 0)
                << x << "," << y;
    // Source read from the box's corner, destination written at the box's corner.
    dst.Fill(0);
    m.CopyBitmap(&dst, &src, false, true, true);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(dst.GetPixel8(x, y), (x < 8 && y < 8) ? 1 + x + 10 * y : 0) << x << "," << y;
    // Source at the box, destination at image coordinates.
    dst.Fill(0);
    m.CopyBitmap(&dst, &src, false, true, false);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(dst.GetPixel8(x, y), (x >= 5 && y >= 5) ? 1 + (x - 5) + 10 * (y - 5) : 0) << x << "," << y;
}

TEST_F(Mask, CopyAlphaSetsTheRegionOfTheDestinationChannel) {
    TIEMask bits;
    bits.Allocate(3, 1, 1);
    bits.SetPixel(0, 0, 1);
    bits.SetPixel(2, 0, 1);
    bits.SetPixel(1, 0, 0);
    bits.X1 = 0;
    bits.X2 = 2;
    TIEBitmap src(3, 1, ie24RGB), dst(3, 1, ie24RGB);
    src.GetAlphaChannel()->Fill(200);
    bits.CopyBitmap(&dst, &src, true, false, false);
    EXPECT_EQ(dst.GetAlpha(0, 0), 200);
    EXPECT_EQ(dst.GetAlpha(1, 0), 0);
    EXPECT_FALSE(dst.GetAlphaChannel()->Full);
    TIEMask grey;
    grey.Allocate(3, 1, 8);
    grey.SetPixel(0, 0, 90);
    grey.SetPixel(1, 0, 250);
    TIEBitmap opaque(3, 1, ie24RGB), out(3, 1, ie24RGB);
    grey.CopyBitmap(&out, &opaque, true, false, false);  // no source channel: 255
    EXPECT_EQ(out.GetAlpha(0, 0), 90);
    EXPECT_EQ(out.GetAlpha(1, 0), 250);
    grey.CopyBitmap(&out, &src, true, false, false);
    EXPECT_EQ(out.GetAlpha(1, 0), 200);
}

// ---------------------------------------------------------------------------------------
// Drawing for the view

class MaskDrawing : public ImagingTest {
protected:
    cl::TBitmap canvas;
    void SetUp() override {
        ImagingTest::SetUp();
        canvas.SetPixelFormat(cl::pf24bit);
        canvas.SetSize(40, 30);
        for (int y = 0; y < 30; ++y) {
            auto* row = static_cast<uint8_t*>(canvas.ScanLine(y));
            for (int i = 0; i < 120; ++i) row[i] = static_cast<uint8_t>(y * 7 + i * 3);
        }
    }
    std::vector<uint8_t> Snapshot() {
        std::vector<uint8_t> out;
        for (int y = 0; y < 30; ++y) {
            auto* row = static_cast<uint8_t*>(canvas.ScanLine(y));
            out.insert(out.end(), row, row + 120);
        }
        return out;
    }
    uint32_t At(int x, int y) {
        auto* p = static_cast<uint8_t*>(canvas.ScanLine(y)) + 3 * x;
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
};

TEST_F(MaskDrawing, XorInvertsTheSelectedPixelsAndTwiceRestores) {
    TIEMask m;
    m.Allocate(10, 10, 1);
    m.SetPixel(2, 3, 1);
    m.SetPixel(9, 9, 1);
    const auto before = Snapshot();
    // Shown twice as large at (4, 5).
    m.DrawXor(canvas.GetCanvas(), 4, 5, 20, 20, 0, 0, 10, 10);
    const auto after = Snapshot();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const int mx = x - 4, my = y - 5;
            const bool sel = mx >= 0 && my >= 0 && mx < 20 && my < 20 && m.GetPixel(mx / 2, my / 2);
            for (int c = 0; c < 3; ++c) {
                const size_t i = static_cast<size_t>(y * 120 + 3 * x + c);
                ASSERT_EQ(after[i], sel ? uint8_t(~before[i]) : before[i]) << x << "," << y;
            }
        }
    m.DrawXor(canvas.GetCanvas(), 4, 5, 20, 20, 0, 0, 10, 10);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(MaskDrawing, OutlineMarchesAroundTheSelectionAndStopsAtTheView) {
    TIEMask m;
    m.Allocate(30, 30, 1);
    for (int y = 2; y <= 7; ++y) m.FillRow(1, 3, y, 9);
    m.SyncRect();
    const auto before = Snapshot();
    cl::TRect r{};
    m.DrawOutline(canvas.GetCanvas(), 0, 0, 40, 30, 0, 0, 40, 30, 1, cl::clRed, cl::clBlue, &r);
    EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{4, 3, 9, 7}));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool border = x >= 3 && x <= 9 && y >= 2 && y <= 7 && (x == 3 || x == 9 || y == 2 || y == 7);
            const uint32_t want = ((x + y + 1) & 4) ? 0xFF0000u : 0x0000FFu;
            if (border)
                ASSERT_EQ(At(x, y), want) << x << "," << y;
            else
                ASSERT_EQ(At(x, y) & 0xFFFFFFu, (uint32_t{before[static_cast<size_t>(y * 120 + 3 * x + 2)]} << 16) |
                                                    (uint32_t{before[static_cast<size_t>(y * 120 + 3 * x + 1)]} << 8) |
                                                    before[static_cast<size_t>(y * 120 + 3 * x)])
                    << x << "," << y;
        }
    // The view shows the selection from column 6 on: no outline along the view's left edge.
    for (int y = 0; y < 30; ++y) {
        auto* row = static_cast<uint8_t*>(canvas.ScanLine(y));
        std::copy(before.begin() + y * 120, before.begin() + y * 120 + 120, row);
    }
    m.DrawOutline(canvas.GetCanvas(), 0, 0, 40, 30, 6, 0, 40, 30, 0, cl::clRed, cl::clRed, nullptr);
    EXPECT_EQ(At(0, 2), 0xFF0000u);  // the top edge, yes
    EXPECT_EQ(At(1, 2), 0xFF0000u);
    EXPECT_NE(At(0, 4), 0xFF0000u);  // the cut side, no
    EXPECT_EQ(At(3, 4), 0xFF0000u);  // the right side, yes
}

TEST_F(MaskDrawing, UnselectedPixelsAreTintedOrCheckered) {
    TIEMask m;
    m.Allocate(40, 30, 8);
    for (int y = 0; y < 10; ++y) m.FillRow(255, 0, y, 19);
    m.SyncRect();
    const auto before = Snapshot();
    m.PaintUnselected(&canvas, 0, 0, 40, 30, 0, 0, 40, 30, 128, cl::clBlue);
    const double w = 128 / 255.0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool sel = x < 20 && y < 10;
            const auto* row = static_cast<uint8_t*>(canvas.ScanLine(y));
            for (int c = 0; c < 3; ++c) {
                const uint8_t old = before[static_cast<size_t>(y * 120 + 3 * x + c)];
                const int tint = c == 0 ? 255 : 0;
                ASSERT_EQ(row[3 * x + c], sel ? old : uint8_t(std::trunc(w * tint + (1 - w) * old))) << x << "," << y;
            }
        }
    // Checkerboard, with the part of the destination left of the bitmap skipped.
    for (int y = 0; y < 30; ++y) {
        auto* row = static_cast<uint8_t*>(canvas.ScanLine(y));
        std::copy(before.begin() + y * 120, before.begin() + y * 120 + 120, row);
    }
    m.PaintUnselected(&canvas, -3, 0, 43, 30, 0, 0, 43, 30, -1, cl::clBlack);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const int k = x + 3;  // column in the scaled area
            const bool sel = k < 20 && y < 10;
            const auto* row = static_cast<uint8_t*>(canvas.ScanLine(y));
            const bool grey = !sel && ((k + y) % 2 == 0);
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(row[3 * x + c], grey ? 97 : before[static_cast<size_t>(y * 120 + 3 * x + c)])
                    << x << "," << y;
        }
}

TEST_F(MaskDrawing, NothingIsDrawnForEmptyMasksOrAreas) {
    TIEMask m;
    m.Allocate(10, 10, 1);
    const auto before = Snapshot();
    m.DrawXor(canvas.GetCanvas(), 0, 0, 10, 10, 0, 0, 10, 10);
    m.DrawOutline(canvas.GetCanvas(), 0, 0, 10, 10, 0, 0, 10, 10, 0, cl::clRed, cl::clRed, nullptr);
    m.SetPixel(1, 1, 1);
    m.DrawOutline(canvas.GetCanvas(), 0, 0, 0, 10, 0, 0, 10, 10, 0, cl::clRed, cl::clRed, nullptr);
    m.PaintUnselected(&canvas, 0, 0, 10, 0, 0, 0, 10, 10, 0, cl::clRed);
    EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace ie
