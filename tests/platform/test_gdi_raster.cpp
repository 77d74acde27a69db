// The aliased rasteriser's pixel rules: lines, rectangles, ellipses, polygons, arcs,
// pens, brushes and drawing modes, on small bitmaps with known results.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "gdi_dib_canvas.h"
#include "platform/gdi.h"

using namespace win;
using gditest::Canvas;
using gditest::GreyTable;

namespace {

constexpr COLORREF kPen = RGB(0, 0, 0);
constexpr COLORREF kBrush = RGB(255, 0, 0);
constexpr COLORREF kBack = RGB(255, 255, 255);

// Draws on a white canvas and returns a picture: 'O' pen, 'I' brush, '.' untouched.
struct Scene {
    explicit Scene(int w, int h) : cv(w, h, 32) {
        cv.Fill32(0x00FFFFFF);
        pen = CreatePen(PS_SOLID, 1, kPen);
        brush = CreateSolidBrush(kBrush);
        SelectObject(cv.dc, pen);
        SelectObject(cv.dc, brush);
    }
    ~Scene() {
        SelectObject(cv.dc, GetStockObject(BLACK_PEN));
        SelectObject(cv.dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(pen);
        DeleteObject(brush);
    }
    std::vector<std::string> Picture() const {
        std::vector<std::string> rows;
        for (int y = 0; y < cv.height; ++y) {
            std::string r;
            for (int x = 0; x < cv.width; ++x) {
                COLORREF c = GetPixel(cv.dc, x, y);
                r += c == kPen ? 'O' : c == kBrush ? 'I' : c == kBack ? '.' : '?';
            }
            rows.push_back(r);
        }
        return rows;
    }
    std::set<std::pair<int, int>> Touched() const {
        std::set<std::pair<int, int>> s;
        for (int y = 0; y < cv.height; ++y)
            for (int x = 0; x < cv.width; ++x)
                if (GetPixel(cv.dc, x, y) != kBack) s.insert({x, y});
        return s;
    }
    Canvas cv;
    HPEN pen;
    HBRUSH brush;
};

using Pic = std::vector<std::string>;

}  // namespace

TEST(GdiLines, EndPointOmittedAndReverseCoversTheSamePixelsInEveryOctant) {
    const POINT c{8, 8};
    const POINT ends[] = {{15, 10}, {14, 15}, {10, 16}, {3, 15}, {1, 10},  {0, 5}, {4, 1},  {10, 0},
                          {16, 8},  {8, 16},  {0, 8},   {8, 0},  {12, 12}, {4, 4}, {12, 4}, {4, 12}};
    for (POINT e : ends) {
        Scene fwd(17, 17), rev(17, 17);
        MoveToEx(fwd.cv.dc, c.x, c.y, nullptr);
        LineTo(fwd.cv.dc, e.x, e.y);
        MoveToEx(rev.cv.dc, e.x, e.y, nullptr);
        LineTo(rev.cv.dc, c.x, c.y);
        auto a = fwd.Touched(), b = rev.Touched();
        int n = std::max(std::abs(e.x - c.x), std::abs(e.y - c.y));
        EXPECT_EQ(static_cast<int>(a.size()), n) << e.x << "," << e.y;
        EXPECT_TRUE(a.count({c.x, c.y}));
        EXPECT_FALSE(a.count({e.x, e.y})) << "end pixel omitted";
        a.erase({c.x, c.y});
        b.erase({e.x, e.y});
        EXPECT_EQ(a, b) << "line and its reverse differ for end " << e.x << "," << e.y;
        POINT pos;
        GetCurrentPositionEx(fwd.cv.dc, &pos);
        EXPECT_EQ(pos.x, e.x);
    }
}

TEST(GdiLines, GoldenShallowAndSteepLinesRoundHalvesTowardSmaller) {
    Scene s(6, 5);
    MoveToEx(s.cv.dc, 0, 0, nullptr);
    LineTo(s.cv.dc, 4, 2);  // exact y at x = 1 is 0.5: rounds to 0
    MoveToEx(s.cv.dc, 5, 0, nullptr);
    LineTo(s.cv.dc, 4, 4);  // steep: x 5 - y/4 rounds 4.5 to 4
    EXPECT_EQ(s.Picture(), (Pic{"OO...O", "..OO.O", "....O.", "....O.", "......"}));
}

TEST(GdiLines, PolylineDrawsSharedVerticesOnceAndDashesRestartAtMoveTo) {
    Scene s(10, 3);
    SetROP2(s.cv.dc, R2_NOT);
    POINT pts[] = {{0, 1}, {5, 1}, {9, 1}, {2, 1}};
    Polyline(s.cv.dc, pts, 3);
    EXPECT_EQ(s.Picture()[1], "OOOOOOOOO.") << "vertices drawn once, last point omitted";
    Polyline(s.cv.dc, pts, 3);
    EXPECT_EQ(s.Picture()[1], "..........") << "drawing twice with R2_NOT restores";

    Scene d(40, 2);
    HPEN dash = CreatePen(PS_DASH, 1, kPen);
    SelectObject(d.cv.dc, dash);
    SetBkColor(d.cv.dc, kBrush);
    MoveToEx(d.cv.dc, 0, 0, nullptr);
    LineTo(d.cv.dc, 40, 0);
    EXPECT_EQ(d.Picture()[0], std::string(18, 'O') + std::string(6, 'I') + std::string(16, 'O'));
    SetBkMode(d.cv.dc, TRANSPARENT);
    MoveToEx(d.cv.dc, 0, 1, nullptr);
    LineTo(d.cv.dc, 10, 1);
    LineTo(d.cv.dc, 30, 1);  // continues the pattern
    EXPECT_EQ(d.Picture()[1], std::string(18, 'O') + std::string(6, '.') + std::string(6, 'O') + std::string(10, '.'));
    SelectObject(d.cv.dc, d.pen);
    DeleteObject(dash);
}

// CreatePen's pens wider than one pixel draw their dash styles solid; ExtCreatePen's geometric
// pens keep their dashes at every width (lengths in units of the width, each dash a stroke with
// round caps), and its cosmetic pens are one pixel wide with the one-pixel dashes.
TEST(GdiLines, WideDashedPensDrawAsTheirKind) {
    constexpr int kWidth = 6, kFrom = 2, kTo = 100;
    // The picture of a pen (deleted after) drawing the runs along row 10.
    auto draw = [](HPEN pen, const std::vector<std::pair<int, int>>& runs) {
        Scene s(110, 20);
        SelectObject(s.cv.dc, pen);
        for (const auto& [x0, x1] : runs) {
            MoveToEx(s.cv.dc, x0, 10, nullptr);
            LineTo(s.cv.dc, x1, 10);
        }
        SelectObject(s.cv.dc, s.pen);
        DeleteObject(pen);
        return s.Picture();
    };
    const LOGBRUSH lb{BS_SOLID, kPen, 0};
    const std::vector<std::pair<int, int>> line = {{kFrom, kTo}};
    const Pic solid = draw(CreatePen(PS_SOLID, kWidth, kPen), line);
    struct Case {
        const char* name;
        int style;
        std::vector<int> units;  // on, off, ... in pen widths
    } cases[] = {
        {"dash", PS_DASH, {3, 1}},
        {"dot", PS_DOT, {1, 1}},
        {"dash-dot", PS_DASHDOT, {3, 1, 1, 1}},
        {"dash-dot-dot", PS_DASHDOTDOT, {3, 1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(draw(CreatePen(c.style, kWidth, kPen), line), solid);
        // The geometric pen's dashes are the solid pen's strokes over the "on" runs.
        std::vector<std::pair<int, int>> on;
        for (int x = kFrom, i = 0; x < kTo; ++i) {
            const int end = std::min(kTo, x + c.units[i % c.units.size()] * kWidth);
            if (i % 2 == 0) on.push_back({x, end});
            x = end;
        }
        const Pic dashed =
            draw(ExtCreatePen(PS_GEOMETRIC | static_cast<DWORD>(c.style), kWidth, &lb, 0, nullptr), line);
        EXPECT_EQ(dashed, draw(CreatePen(PS_SOLID, kWidth, kPen), on));
        EXPECT_NE(dashed, solid);
        EXPECT_EQ(draw(ExtCreatePen(PS_COSMETIC | static_cast<DWORD>(c.style), 1, &lb, 0, nullptr), line),
                  draw(CreatePen(c.style, 1, kPen), line));
    }
    // A line far longer than the surface costs its visible part: the dots cross the canvas.
    {
        Scene s(110, 20);
        HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_DOT, 8, &lb, 0, nullptr);
        SelectObject(s.cv.dc, pen);
        MoveToEx(s.cv.dc, -2000000000, 10, nullptr);
        LineTo(s.cv.dc, 2000000000, 10);
        SelectObject(s.cv.dc, s.pen);
        DeleteObject(pen);
        const std::string row = s.Picture()[13];  // near the edge of the stroke, where the round ends part
        EXPECT_NE(row.find('O'), std::string::npos);
        EXPECT_NE(row.find('.'), std::string::npos);
    }
    // A shape's outline keeps the dashes too.
    auto frame = [](HPEN pen) {
        Scene s(40, 40);
        SelectObject(s.cv.dc, pen);
        SelectObject(s.cv.dc, GetStockObject(NULL_BRUSH));
        Rectangle(s.cv.dc, 5, 5, 35, 35);
        SelectObject(s.cv.dc, s.pen);
        DeleteObject(pen);
        return s.Picture();
    };
    EXPECT_NE(frame(ExtCreatePen(PS_GEOMETRIC | PS_DOT, kWidth, &lb, 0, nullptr)),
              frame(CreatePen(PS_SOLID, kWidth, kPen)));
    EXPECT_EQ(frame(CreatePen(PS_DOT, kWidth, kPen)), frame(CreatePen(PS_SOLID, kWidth, kPen)));
}

TEST(GdiShapes, RectangleOutlineInteriorAndNullPen) {
    Scene s(8, 7);
    Rectangle(s.cv.dc, 6, 5, 1, 1);  // normalised
    EXPECT_EQ(s.Picture(), (Pic{"........", ".OOOOO..", ".OIIIO..", ".OIIIO..", ".OOOOO..", "........", "........"}));
    Scene n(8, 7);
    SelectObject(n.cv.dc, GetStockObject(NULL_PEN));
    Rectangle(n.cv.dc, 1, 1, 6, 5);
    EXPECT_EQ(n.Picture(), (Pic{"........", ".IIII...", ".IIII...", ".IIII...", "........", "........", "........"}));
}

TEST(GdiShapes, EllipseGoldenAndRegionMatchesTheShape) {
    Scene s(7, 6);
    Ellipse(s.cv.dc, 1, 0, 6, 5);
    EXPECT_EQ(s.Picture(), (Pic{"..OOO..", ".OIIIO.", ".OIIIO.", ".OIIIO.", "..OOO..", "......."}));
    Scene t(7, 6);
    Ellipse(t.cv.dc, 0, 0, 7, 4);
    EXPECT_EQ(t.Picture(), (Pic{".OOOOO.", "OIIIIIO", "OIIIIIO", ".OOOOO.", ".......", "......."}));
    // The elliptic region covers exactly the pixels of the drawn ellipse.
    for (auto [w, h] : {std::pair{5, 5}, {9, 4}, {12, 7}, {3, 10}, {1, 6}, {16, 16}, {2, 2}}) {
        Scene e(20, 20);
        Ellipse(e.cv.dc, 2, 3, 2 + w, 3 + h);
        HRGN rgn = CreateEllipticRgn(2, 3, 2 + w, 3 + h);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(PtInRegion(rgn, x, y) != 0, GetPixel(e.cv.dc, x, y) != kBack)
                    << w << "x" << h << " " << x << "," << y;
        DeleteObject(rgn);
    }
}

TEST(GdiShapes, EllipsesNest) {
    for (int w = 1; w <= 14; ++w)
        for (int h = 1; h <= 14; h += 3) {
            HRGN inner = CreateEllipticRgn(10, 10, 10 + w, 10 + h);
            HRGN outer = CreateEllipticRgn(9, 9, 11 + w, 11 + h);
            HRGN diff = CreateRectRgn(0, 0, 0, 0);
            EXPECT_EQ(CombineRgn(diff, inner, outer, RGN_DIFF), NULLREGION) << w << "x" << h;
            RECT box;
            GetRgnBox(inner, &box);
            EXPECT_EQ(box.left, 10);
            EXPECT_EQ(box.right, 10 + w);
            EXPECT_EQ(box.bottom, 10 + h);
            for (HRGN r : {inner, outer, diff}) DeleteObject(r);
        }
}

TEST(GdiShapes, PolygonFillModesAndEdgeRules) {
    // A square polygon fills pixel centres inside: right and bottom edges are the pen's.
    Scene s(6, 6);
    POINT sq[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    Polygon(s.cv.dc, sq, 4);
    EXPECT_EQ(s.Picture(), (Pic{"OOOOO.", "OIIIO.", "OIIIO.", "OIIIO.", "OOOOO.", "......"}));
    HRGN rgn = CreatePolygonRgn(sq, 4, ALTERNATE);
    RECT box;
    GetRgnBox(rgn, &box);
    EXPECT_EQ(box.right, 4);
    EXPECT_EQ(box.bottom, 4);
    DeleteObject(rgn);
    // A doubly wound square: WINDING fills the overlap, ALTERNATE leaves it empty.
    POINT twice[] = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}, {8, 0}, {8, 8}, {0, 8}};
    HRGN alt = CreatePolygonRgn(twice, 8, ALTERNATE), wind = CreatePolygonRgn(twice, 8, WINDING);
    EXPECT_FALSE(PtInRegion(alt, 4, 4));
    EXPECT_TRUE(PtInRegion(wind, 4, 4));
    DeleteObject(alt);
    DeleteObject(wind);
    // A triangle: golden fill with a null pen.
    Scene t(7, 4);
    SelectObject(t.cv.dc, GetStockObject(NULL_PEN));
    POINT tri[] = {{0, 0}, {6, 0}, {3, 3}};
    Polygon(t.cv.dc, tri, 3);
    EXPECT_EQ(t.Picture(), (Pic{"IIIII..", ".III...", "..I....", "......."}));
    // Star: the centre is inside for WINDING only.
    POINT star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
    for (int mode : {ALTERNATE, WINDING}) {
        Scene st(21, 21);
        SelectObject(st.cv.dc, GetStockObject(NULL_PEN));
        SetPolyFillMode(st.cv.dc, mode);
        Polygon(st.cv.dc, star, 5);
        EXPECT_EQ(GetPixel(st.cv.dc, 10, 10) == kBrush, mode == WINDING);
        EXPECT_EQ(GetPixel(st.cv.dc, 10, 3), kBrush);
    }
}

TEST(GdiShapes, XorDrawingTwiceRestoresEveryShape) {
    for (int mode : {R2_NOT, R2_XORPEN}) {
        Canvas cv(24, 24, 32);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) cv.SetPx32(x, y, static_cast<uint32_t>((x * 37 + y * 11) & 0xFFFFFF));
        std::vector<uint32_t> before;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) before.push_back(cv.Px32(x, y));
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0x12, 0x34, 0x56));
        HBRUSH brush = CreateSolidBrush(RGB(0x65, 0x43, 0x21));
        SelectObject(cv.dc, pen);
        SelectObject(cv.dc, brush);
        SetROP2(cv.dc, mode);
        POINT poly[] = {{2, 2}, {20, 5}, {3, 20}, {15, 1}, {22, 22}};
        for (int pass = 0; pass < 2; ++pass) {
            Rectangle(cv.dc, 1, 1, 9, 7);
            Ellipse(cv.dc, 3, 4, 20, 18);
            RoundRect(cv.dc, 2, 10, 22, 23, 8, 6);
            Polygon(cv.dc, poly, 5);
            Polyline(cv.dc, poly, 5);
            Pie(cv.dc, 0, 0, 24, 24, 24, 12, 12, 0);
        }
        size_t i = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) ASSERT_EQ(cv.Px32(x, y), before[i++]) << mode << " at " << x << "," << y;
        SelectObject(cv.dc, GetStockObject(BLACK_PEN));
        SelectObject(cv.dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(pen);
        DeleteObject(brush);
    }
}

TEST(GdiShapes, Rop2ModesFollowTheirTruthTables) {
    for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
        Canvas cv(2, 1, 8, GreyTable());
        cv.Row(0)[0] = 0x3C;
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0x0F, 0x0F, 0x0F));  // index 0x0F
        SelectObject(cv.dc, pen);
        SetROP2(cv.dc, mode);
        MoveToEx(cv.dc, 0, 0, nullptr);
        LineTo(cv.dc, 1, 0);
        uint8_t p = 0x0F, d = 0x3C, want = 0;
        unsigned table = static_cast<unsigned>(mode - 1);
        for (int bit = 0; bit < 8; ++bit) {
            unsigned idx = (((p >> bit) & 1u) << 1) | ((d >> bit) & 1u);
            want = static_cast<uint8_t>(want | (((table >> idx) & 1u) << bit));
        }
        EXPECT_EQ(cv.Px8(0, 0), want) << "mode " << mode;
        EXPECT_EQ(cv.Px8(1, 0), 0);
        SelectObject(cv.dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
}

TEST(GdiShapes, WidePensHaveExactWidthsAndInsideFrameStaysInTheBox) {
    for (int w : {2, 3, 4, 5}) {
        Scene s(20, 20);
        HPEN pen = CreatePen(PS_SOLID, w, kPen);
        SelectObject(s.cv.dc, pen);
        MoveToEx(s.cv.dc, 5, 10, nullptr);
        LineTo(s.cv.dc, 15, 10);
        int rows = 0;
        for (int y = 0; y < 20; ++y) rows += GetPixel(s.cv.dc, 10, y) == kPen;
        EXPECT_EQ(rows, w) << "width " << w;
        SelectObject(s.cv.dc, s.pen);
        DeleteObject(pen);

        Scene f(20, 20);
        HPEN frame = CreatePen(PS_INSIDEFRAME, w, kPen);
        SelectObject(f.cv.dc, frame);
        Rectangle(f.cv.dc, 4, 4, 16, 16);
        Ellipse(f.cv.dc, 4, 4, 16, 16);
        for (auto [x, y] : f.Touched()) {
            EXPECT_GE(x, 4);
            EXPECT_LT(x, 16);
            EXPECT_GE(y, 4);
            EXPECT_LT(y, 16);
        }
        EXPECT_EQ(GetPixel(f.cv.dc, 4, 10), kPen);
        SelectObject(f.cv.dc, f.pen);
        DeleteObject(frame);
    }
}

TEST(GdiShapes, ArcsRunCounterClockwise) {
    Scene full(12, 12), arc(12, 12), ell(12, 12);
    Arc(full.cv.dc, 0, 0, 11, 11, 5, 0, 5, 0);
    SelectObject(ell.cv.dc, GetStockObject(NULL_BRUSH));
    Ellipse(ell.cv.dc, 0, 0, 11, 11);
    EXPECT_EQ(full.Picture(), ell.Picture()) << "equal radials draw the whole ellipse";
    // From the right (3 o'clock) counter-clockwise to the top (12 o'clock): upper right only.
    Arc(arc.cv.dc, 0, 0, 11, 11, 11, 5, 5, 0);
    auto px = arc.Touched();
    EXPECT_FALSE(px.empty());
    for (auto [x, y] : px) {
        EXPECT_GE(x, 5);
        EXPECT_LE(y, 5);
    }
}

TEST(GdiBrushes, HatchesRespectTheBackgroundModeAndPatternOrigin) {
    Scene s(8, 8);
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, kPen);
    SelectObject(s.cv.dc, hatch);
    SelectObject(s.cv.dc, GetStockObject(NULL_PEN));
    SetBkColor(s.cv.dc, kBrush);
    SetBkMode(s.cv.dc, TRANSPARENT);
    Rectangle(s.cv.dc, 0, 0, 9, 9);
    EXPECT_EQ(s.Picture()[0], ".......O");
    EXPECT_EQ(s.Picture()[7], "OOOOOOOO");
    SetBkMode(s.cv.dc, OPAQUE);
    SetBrushOrgEx(s.cv.dc, 2, 0, nullptr);
    Rectangle(s.cv.dc, 0, 0, 9, 9);
    EXPECT_EQ(s.Picture()[0], "IOIIIIII");
    SelectObject(s.cv.dc, s.brush);
    DeleteObject(hatch);

    Scene d(8, 8);
    HBRUSH diag = CreateHatchBrush(HS_FDIAGONAL, kPen);
    RECT rc{0, 0, 8, 8};
    SetBkColor(d.cv.dc, kBrush);
    FillRect(d.cv.dc, &rc, diag);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(GetPixel(d.cv.dc, i, i), kPen);
    EXPECT_EQ(GetPixel(d.cv.dc, 1, 0), kBrush);
    DeleteObject(diag);
}

TEST(GdiBrushes, FillFrameInvertAndRegionCalls) {
    Scene s(6, 5);
    RECT rc{1, 1, 5, 4};
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(FrameRect(s.cv.dc, &rc, black), 1);
    EXPECT_EQ(s.Picture(), (Pic{"......", ".OOOO.", ".O..O.", ".OOOO.", "......"}));
    SetROP2(s.cv.dc, R2_NOT);  // FillRect ignores the drawing mode
    FillRect(s.cv.dc, &rc, s.brush);
    EXPECT_EQ(s.Picture(), (Pic{"......", ".IIII.", ".IIII.", ".IIII.", "......"}));
    RECT one{0, 0, 1, 1};
    InvertRect(s.cv.dc, &one);
    EXPECT_EQ(GetPixel(s.cv.dc, 0, 0), RGB(0, 0, 0));

    // Region fills take logical coordinates.
    Scene r(6, 6);
    SetViewportOrgEx(r.cv.dc, 1, 1, nullptr);
    HRGN rgn = CreateRectRgn(0, 0, 4, 4);
    FillRgn(r.cv.dc, rgn, r.brush);
    FrameRgn(r.cv.dc, rgn, black, 1, 1);
    SelectObject(r.cv.dc, black);
    HRGN dot = CreateRectRgn(2, 1, 3, 2);
    PaintRgn(r.cv.dc, dot);
    SetViewportOrgEx(r.cv.dc, 0, 0, nullptr);
    EXPECT_EQ(r.Picture(), (Pic{"......", ".OOOO.", ".OIOO.", ".OIIO.", ".OOOO.", "......"}));
    SelectObject(r.cv.dc, r.brush);
    DeleteObject(rgn);
    DeleteObject(dot);
}

TEST(GdiShapes, RoundRectCornersAndRegion) {
    Scene s(8, 6);
    RoundRect(s.cv.dc, 0, 0, 8, 6, 4, 4);
    EXPECT_EQ(s.Picture(), (Pic{".OOOOOO.", "OIIIIIIO", "OIIIIIIO", "OIIIIIIO", "OIIIIIIO", ".OOOOOO."}));
    HRGN rgn = CreateRoundRectRgn(0, 0, 8, 6, 4, 4);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(PtInRegion(rgn, x, y) != 0, GetPixel(s.cv.dc, x, y) != kBack);
    DeleteObject(rgn);
}

TEST(GdiShapes, HugeCoordinatesStayBounded) {
    Scene s(8, 8);
    MoveToEx(s.cv.dc, -2000000000, 4, nullptr);
    EXPECT_TRUE(LineTo(s.cv.dc, 2000000000, 4));
    EXPECT_EQ(s.Picture()[4], "OOOOOOOO");
    EXPECT_TRUE(Ellipse(s.cv.dc, -100000000, -100000000, 100000000, 100000000));
    POINT big[] = {{-1000000000, -1000000000}, {1000000000, -1000000000}, {0, 1000000000}};
    EXPECT_TRUE(Polygon(s.cv.dc, big, 3));
    EXPECT_EQ(CreateEllipticRgn(0, 0, 2000000000, 10), nullptr);
    EXPECT_TRUE(Pie(s.cv.dc, -100000000, -100000000, 100000000, 100000000, 1, 0, 0, 1));
    EXPECT_TRUE(StretchBlt(s.cv.dc, 0, 0, 2000000000, -2000000000, s.cv.dc, 0, 0, 3, 3, SRCCOPY));
    EXPECT_TRUE(OffsetViewportOrgEx(s.cv.dc, 2000000000, 0, nullptr));
    EXPECT_TRUE(OffsetViewportOrgEx(s.cv.dc, 2000000000, 0, nullptr));
    EXPECT_TRUE(LineTo(s.cv.dc, 2000000000, 0));
    HRGN r = CreateRectRgn(0, 0, 10, 10);
    EXPECT_EQ(OffsetRgn(r, 2147483647, 0), NULLREGION) << "pushed beyond the coordinate range";
    DeleteObject(r);
}

TEST(GdiGradient, RectanglesInterpolateFromUpperLeftToLowerRight) {
    Canvas cv(4, 3, 32);
    TRIVERTEX v[2];
    v[0].x = 0, v[0].y = 0, v[0].Red = 0, v[0].Green = 0xFF00, v[0].Blue = 0;
    v[1].x = 4, v[1].y = 2, v[1].Red = 0xFF00, v[1].Green = 0xFF00, v[1].Blue = 0x1000;
    GRADIENT_RECT r{0, 1};
    ASSERT_TRUE(GradientFill(cv.dc, v, 2, &r, 1, GRADIENT_FILL_RECT_H));
    BYTE want[4] = {0x00, 0x3F, 0x7F, 0xBF};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(GetPixel(cv.dc, x, 0), RGB(want[x], 0xFF, x < 1 ? 0 : (0x1000 * x / 4) >> 8)) << x;
        EXPECT_EQ(GetPixel(cv.dc, x, 1), GetPixel(cv.dc, x, 0));
        EXPECT_EQ(cv.Px32(x, 2), 0u) << "below the rectangle";
    }
    ASSERT_TRUE(GradientFill(cv.dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V));
    EXPECT_EQ(GetPixel(cv.dc, 3, 0), RGB(0, 0xFF, 0));
    EXPECT_EQ(GetPixel(cv.dc, 0, 1), RGB(0x7F, 0xFF, 0x08));
    GRADIENT_RECT bad{0, 7};
    EXPECT_FALSE(GradientFill(cv.dc, v, 2, &bad, 1, GRADIENT_FILL_RECT_H));
    EXPECT_FALSE(GradientFill(cv.dc, v, 2, &r, 1, GRADIENT_FILL_TRIANGLE));
}

TEST(GdiShapes, RandomPolygonRegionsFollowTheCentreSamplingRule) {
    std::mt19937 rng(5);
    for (int round = 0; round < 80; ++round) {
        int n = 3 + static_cast<int>(rng() % 6);
        std::vector<POINT> pts(static_cast<size_t>(n));
        for (auto& p : pts) p = {static_cast<LONG>(rng() % 20) - 2, static_cast<LONG>(rng() % 20) - 2};
        for (int mode : {ALTERNATE, WINDING}) {
            HRGN rgn = CreatePolygonRgn(pts.data(), n, mode);
            ASSERT_NE(rgn, nullptr);
            for (int y = -3; y < 20; ++y)
                for (int x = -3; x < 20; ++x) {
                    // Crossings of the row's centre line at or left of the pixel centre,
                    // edges taken half-open in y; exact rational comparison.
                    int count = 0, wind = 0;
                    for (int i = 0; i < n; ++i) {
                        POINT a = pts[static_cast<size_t>(i)], b = pts[static_cast<size_t>((i + 1) % n)];
                        if (a.y == b.y) continue;
                        int dir = b.y > a.y ? 1 : -1;
                        if (a.y > b.y) std::swap(a, b);
                        if (2 * y + 1 < 2 * a.y || 2 * y + 1 >= 2 * b.y) continue;
                        // crossing x = a.x + (y + 1/2 - a.y) (b.x - a.x) / (b.y - a.y) <= x + 1/2
                        int64_t lhs = 2 * static_cast<int64_t>(a.x) * (b.y - a.y) + (2 * (y - a.y) + 1) * (b.x - a.x);
                        int64_t rhs = static_cast<int64_t>(2 * x + 1) * (b.y - a.y);
                        if (lhs <= rhs) {
                            ++count;
                            wind += dir;
                        }
                    }
                    bool inside = mode == ALTERNATE ? (count % 2) == 1 : wind != 0;
                    ASSERT_EQ(PtInRegion(rgn, x, y) != 0, inside)
                        << round << " mode " << mode << " at " << x << "," << y;
                }
            DeleteObject(rgn);
        }
    }
}

namespace {
std::vector<POINT> g_ddaPixels;
void CollectDda(int x, int y, LPARAM) { g_ddaPixels.push_back({x, y}); }
}  // namespace

TEST(GdiShapes, IndirectPensBrushesLineDdaAndPolyPolygons) {
    // ExtCreatePen with a geometric width draws like CreatePen of that width.
    LOGBRUSH lb{BS_SOLID, kPen, 0};
    HPEN ext = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 3, &lb, 0, nullptr);
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(GetObjectType(ext), OBJ_EXTPEN);
    LOGPEN lp{PS_SOLID, {3, 0}, kPen};
    HPEN plain = CreatePenIndirect(&lp);
    Scene a(12, 12), b(12, 12);
    SelectObject(a.cv.dc, ext);
    SelectObject(b.cv.dc, plain);
    for (Scene* s : {&a, &b}) {
        MoveToEx(s->cv.dc, 2, 2, nullptr);
        LineTo(s->cv.dc, 9, 7);
    }
    EXPECT_EQ(a.Picture(), b.Picture());
    SelectObject(a.cv.dc, a.pen);
    SelectObject(b.cv.dc, b.pen);
    DeleteObject(ext);
    DeleteObject(plain);

    // LineDDA reports exactly the pixels LineTo draws, in order.
    Scene l(12, 12);
    MoveToEx(l.cv.dc, 1, 10, nullptr);
    LineTo(l.cv.dc, 10, 3);
    g_ddaPixels.clear();
    EXPECT_TRUE(LineDDA(1, 10, 10, 3, CollectDda, 0));
    auto drawn = l.Touched();
    ASSERT_EQ(g_ddaPixels.size(), drawn.size());
    EXPECT_EQ(g_ddaPixels.front().x, 1);
    for (POINT p : g_ddaPixels) EXPECT_TRUE(drawn.count({p.x, p.y})) << p.x << "," << p.y;

    // A brush from LOGBRUSH and a polygon with a hole.
    LOGBRUSH hatch{BS_HATCHED, kBrush, HS_VERTICAL};
    HBRUSH hb = CreateBrushIndirect(&hatch);
    ASSERT_NE(hb, nullptr);
    LOGBRUSH back;
    GetObjectA(hb, sizeof back, &back);
    EXPECT_EQ(back.lbHatch, static_cast<ULONG_PTR>(HS_VERTICAL));
    DeleteObject(hb);
    POINT pts[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {3, 3}, {7, 3}, {7, 7}, {3, 7}};
    int counts[] = {4, 4};
    Scene p(12, 12);
    SelectObject(p.cv.dc, GetStockObject(NULL_PEN));
    EXPECT_TRUE(PolyPolygon(p.cv.dc, pts, counts, 2));
    EXPECT_EQ(GetPixel(p.cv.dc, 1, 1), kBrush);
    EXPECT_EQ(GetPixel(p.cv.dc, 5, 5), kBack) << "the inner square is a hole in ALTERNATE mode";
    HRGN ring = CreatePolyPolygonRgn(pts, counts, 2, ALTERNATE);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(PtInRegion(ring, x, y) != 0, GetPixel(p.cv.dc, x, y) == kBrush);
    DeleteObject(ring);
}

TEST(GdiDc, WorldTransformsAreIdentityOnly) {
    Canvas cv(2, 2, 32);
    EXPECT_EQ(SetGraphicsMode(cv.dc, GM_ADVANCED), GM_COMPATIBLE);
    EXPECT_EQ(GetGraphicsMode(cv.dc), GM_COMPATIBLE);
    EXPECT_TRUE(ModifyWorldTransform(cv.dc, nullptr, MWT_IDENTITY));
    XFORM identity, scale;
    scale.eM11 = 2;
    EXPECT_TRUE(SetWorldTransform(cv.dc, &identity));
    EXPECT_FALSE(SetWorldTransform(cv.dc, &scale));
    EXPECT_TRUE(SetPixelV(cv.dc, 1, 1, RGB(1, 2, 3)));
    EXPECT_FALSE(SetPixelV(cv.dc, 2, 1, RGB(1, 2, 3)));
}

TEST(GdiShapes, DottedOutlinesOfEllipsesAndRubberBands) {
    Scene solid(24, 24), dotted(24, 24);
    SelectObject(solid.cv.dc, GetStockObject(NULL_BRUSH));
    Ellipse(solid.cv.dc, 2, 3, 22, 20);
    HPEN dot = CreatePen(PS_DOT, 1, kPen);
    SelectObject(dotted.cv.dc, dot);
    SelectObject(dotted.cv.dc, GetStockObject(NULL_BRUSH));
    SetBkMode(dotted.cv.dc, TRANSPARENT);
    Ellipse(dotted.cv.dc, 2, 3, 22, 20);
    auto all = solid.Touched(), some = dotted.Touched();
    for (auto p : some) EXPECT_TRUE(all.count(p)) << "dots lie on the outline";
    EXPECT_GT(some.size(), all.size() / 3);
    EXPECT_LT(some.size(), all.size() * 2 / 3);
    // A dotted rubber band drawn twice with R2_NOT leaves no trace.
    SetROP2(dotted.cv.dc, R2_NOT);
    SetBkMode(dotted.cv.dc, OPAQUE);
    auto before = dotted.Picture();
    for (int i = 0; i < 2; ++i) {
        Ellipse(dotted.cv.dc, 1, 1, 15, 12);
        Rectangle(dotted.cv.dc, 3, 4, 20, 22);
        RoundRect(dotted.cv.dc, 0, 5, 23, 18, 7, 5);
    }
    EXPECT_EQ(dotted.Picture(), before);
    SelectObject(dotted.cv.dc, dotted.pen);
    DeleteObject(dot);
}

TEST(GdiShapes, InvertedShapesWithANullBrushLeaveTheirInsideAlone) {
    Scene s(8, 7);
    SelectObject(s.cv.dc, GetStockObject(NULL_BRUSH));
    SetROP2(s.cv.dc, R2_NOT);
    Rectangle(s.cv.dc, 1, 1, 6, 5);
    EXPECT_EQ(s.Picture(), (Pic{"........", ".OOOOO..", ".O...O..", ".O...O..", ".OOOOO..", "........", "........"}));
    Rectangle(s.cv.dc, 1, 1, 6, 5);
    Ellipse(s.cv.dc, 0, 0, 8, 7);
    EXPECT_EQ(s.Picture()[3][4], '.');  // the centre of the inverted outline
}
