// Geometry and hit-testing helpers of the imaging core.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "imaging/core/hyieutils_geometry.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

namespace ie {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int32_t kMin32 = INT32_MIN;
constexpr int32_t kMax32 = INT32_MAX;

std::vector<win::POINT> Pts(std::initializer_list<std::pair<int, int>> list) {
    std::vector<win::POINT> v;
    for (auto [x, y] : list) v.push_back(win::POINT{x, y});
    return v;
}

TEST(GeometryDistance, PointToSegmentAndLine) {
    struct Case {
        int32_t x, y, x1, y1, x2, y2;
        double expected;
    };
    // clang-format off
    const Case cases[] = {
        {0, 0, 10, 0, 20, 0, 10},                       // nearer end
        {15, 5, 10, 0, 20, 0, 5},                       // perpendicular
        {100000, 0, 0, 0, 10, 0, IEFarDistance},        // end beyond the 45,000 limit
        {-46000, 0, 0, 0, 10, 0, IEFarDistance},
        {45010, 0, 0, 0, 10, 0, 45000},                 // end at the limit
        {3, 4, 0, 0, 0, 0, 5},                          // a segment of one point
        {0, 7, -2000000000, 0, 2000000000, 0, 7},       // products beyond 32 bits
        {1000000000, 1000000000, 0, 0, 2000000000, 2000000000, 0},
        {kMax32, kMax32, kMin32, kMin32, kMax32, kMin32, 4294967295.0},  // perpendicular, far
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_NEAR(IEDistPointToSegment(c.x, c.y, c.x1, c.y1, c.x2, c.y2), c.expected, 1e-6)
            << c.x << "," << c.y << " to " << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2;
    }
    EXPECT_DOUBLE_EQ(IEDistPointToLine(100, 5, 0, 0, 10, 0), 5);  // the infinite line
    EXPECT_DOUBLE_EQ(IEDistPointToLine(0, 7, -2000000000, 0, 2000000000, 0), 7);
    EXPECT_DOUBLE_EQ(IEDistPointToLine(3, 4, 0, 0, 0, 0), 5);
    EXPECT_DOUBLE_EQ(IEDistance(0, 0, 3, 4), 5);
    EXPECT_DOUBLE_EQ(IEDistance(kMin32, 0, kMax32, 0), 4294967295.0);
}

TEST(GeometryDistance, PolylineThroughMappedPoints) {
    const auto square = Pts({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    // Open: three sides; closed: the left side too.
    EXPECT_DOUBLE_EQ(IEDistPointToPolyline(-3, 5, square.data(), 4, false, 1, 1, 1, 0, 0, 0, 0), std::hypot(3, 5));
    EXPECT_DOUBLE_EQ(IEDistPointToPolyline(-3, 5, square.data(), 4, true, 1, 1, 1, 0, 0, 0, 0), 3);
    // Mapping: (Round(2 (x - 5) + 100), Round(0.5 (y - 0) + 50)); the square's top side
    // runs from (90, 50) to (110, 50).
    EXPECT_DOUBLE_EQ(IEDistPointToPolyline(100, 47, square.data(), 4, false, 1, 2, 0.5, 100, 50, 5, 0), 3);
    // Halves round to even: 0.5 x 5 = 2.5 -> 2, 0.5 x 7 = 3.5 -> 4.
    const auto odd = Pts({{0, 5}, {10, 5}, {20, 7}});
    EXPECT_DOUBLE_EQ(IEDistPointToPolyline(5, 0, odd.data(), 2, false, 1, 1, 0.5, 0, 0, 0, 0), 2);
    EXPECT_DOUBLE_EQ(IEDistPointToPolyline(30, 4, odd.data() + 1, 2, false, 1, 1, 0.5, 0, 0, 0, 0), 10);
    // Nothing to measure.
    EXPECT_EQ(IEDistPointToPolyline(0, 0, square.data(), 0, true, 1, 1, 1, 0, 0, 0, 0), IEFarDistance);
    EXPECT_EQ(IEDistPointToPolyline(0, 0, square.data(), 1, false, 1, 1, 1, 0, 0, 0, 0), IEFarDistance);
    EXPECT_EQ(IEDistPointToPolyline(0, 0, nullptr, 4, true, 1, 1, 1, 0, 0, 0, 0), IEFarDistance);
}

TEST(GeometryDistance, APenCoversBothSidesOfAPolyline) {
    const auto line = Pts({{0, 100}, {200, 100}});
    struct Case {
        int32_t x, y, pen;
        double expected;
    };
    // clang-format off
    const Case cases[] = {
        {100, 96, 10, 0}, {100, 104, 10, 0},   // within half the pen above and below
        {100, 90, 10, 5}, {100, 110, 10, 5},   // beyond it, the same on both sides
        {203, 100, 10, 0}, {210, 100, 10, 5},  // and past the ends
        {100, 96, 1, 4},                       // a thin pen is the line itself
        {100, 98, 3, 1},
        {100, 90, kMax32, 0},                  // any width, at once
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(IEDistPointToPolyline(c.x, c.y, line.data(), 2, false, c.pen, 1, 1, 0, 0, 0, 0), c.expected)
            << c.x << "," << c.y << " pen " << c.pen;
    }
    // A slanted line: the pen's square reaches the line along the diagonal.
    const auto slant = Pts({{0, 0}, {100, 100}});
    EXPECT_DOUBLE_EQ(IEDistPointToPolyline(60, 40, slant.data(), 2, false, 20, 1, 1, 0, 0, 0, 0), 0);
    EXPECT_NEAR(IEDistPointToPolyline(70, 30, slant.data(), 2, false, 20, 1, 1, 0, 0, 0, 0), std::sqrt(200.0), 1e-9);
}

TEST(GeometryDistance, EllipseOutline) {
    // A circle of radius 100 about (100, 100).
    struct Case {
        int32_t x, y, pen;
        bool filled, fullResolution;
        double low, high;
    };
    // clang-format off
    const Case cases[] = {
        {200, 100, 1, false, false, 0, 0.01},       // on the outline
        {0, 100, 1, false, false, 0, 0.01},
        {200, 95, 1, false, false, 0, 1},           // in the last sector, next to the start
        {100, 0, 1, false, false, 0, 1.5},
        {100, 100, 1, false, false, 98, 100},       // the centre
        {100, 100, 1, true, false, 0, 0},           // inside a filled one
        {150, 100, 1, false, true, 49, 51},         // half way in, measured to the outline
        {250, 100, 1, false, false, 49.9, 50.1},
        {205, 100, 10, false, false, 0, 0.01},      // within the pen
        {195, 100, 10, false, false, 0, 0.01},
        {215, 100, 10, false, false, 9.9, 10.1},    // beyond the pen's outer outline
        {180, 100, 10, false, false, 14.5, 15.1},   // and inside its inner one
        {100, 100, 10, false, false, 93, 95},
    };
    // clang-format on
    for (const Case& c : cases) {
        const double d = IEDistPointToEllipse(c.x, c.y, 0, 0, 200, 200, c.pen, c.filled, c.fullResolution);
        EXPECT_GE(d, c.low) << c.x << "," << c.y << " pen " << c.pen;
        EXPECT_LE(d, c.high) << c.x << "," << c.y << " pen " << c.pen;
        // Corners in any order give the same outline.
        EXPECT_EQ(IEDistPointToEllipse(c.x, c.y, 200, 200, 0, 0, c.pen, c.filled, c.fullResolution), d);
    }
    EXPECT_EQ(IEDistPointToEllipse(0, 0, 0, 0, 10, 10, -1, true), IENoDistance);
    // An ellipse: x half-axis 100, y half-axis 50.
    EXPECT_LT(IEDistPointToEllipse(100, 0, 0, 0, 200, 100, 1, false), 1.5);
    EXPECT_LT(IEDistPointToEllipse(200, 50, 0, 0, 200, 100, 1, false), 0.01);
    EXPECT_NEAR(IEDistPointToEllipse(100, 50, 0, 0, 200, 100, 1, false), 50, 1.5);
    EXPECT_EQ(IEDistPointToEllipse(190, 50, 0, 0, 200, 100, 1, true), 0);
    // A box of one row is a flat outline; enormous boxes and pens are measured at once.
    EXPECT_NEAR(IEDistPointToEllipse(50, 3, 0, 0, 100, 0, 1, false), 3, 1e-9);
    EXPECT_GE(IEDistPointToEllipse(0, 0, kMin32, kMin32, kMax32, kMax32, kMax32, false, true), 0);
}

TEST(GeometryDistance, RectangleOutline) {
    struct Case {
        int32_t x, y, pen;
        bool filled;
        double expected;
    };
    // The rectangle (0, 0) - (100, 50).
    // clang-format off
    const Case cases[] = {
        {50, 25, 1, false, 25},  {50, 25, 1, true, 0},   {50, 25, 10, false, 20},  // inside
        {0, 25, 1, false, 0},    {100, 50, 1, false, 0},                          // on the outline
        {104, 25, 10, false, 0}, {96, 25, 10, false, 0},                          // within the pen
        {110, 25, 10, false, 5}, {110, 25, 10, true, 5},  {110, 25, 0, false, 10},  // outside
        {103, 54, 1, false, 5},  {108, 59, 10, false, 5},                          // past a corner
        {50, -30, 1, true, 30},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(IEDistPointToRectOutline(c.x, c.y, 0, 0, 100, 50, c.pen, c.filled), c.expected)
            << c.x << "," << c.y << " pen " << c.pen << " filled " << c.filled;
        EXPECT_DOUBLE_EQ(IEDistPointToRectOutline(c.x, c.y, 100, 50, 0, 0, c.pen, c.filled), c.expected);
    }
    EXPECT_EQ(IEDistPointToRectOutline(5, 5, 0, 0, 10, 10, -2, true), IENoDistance);
    EXPECT_EQ(IEDistPointToRectOutline(0, 0, kMin32, kMin32, kMax32, kMax32, kMax32, false), 1073741824.0);
    EXPECT_DOUBLE_EQ(IEDistPointToRectOutline(kMax32, 0, kMin32, 0, 0, 0, 1, false), 2147483647.0);
}

TEST(GeometryInside, PolygonsAndBoxes) {
    const auto square = Pts({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    struct Case {
        int32_t x, y;
        bool inside;
    };
    // The left edge belongs to the polygon, the right one does not; so does the top, not
    // the bottom.
    const Case cases[] = {{5, 5, true}, {10, 5, false}, {0, 5, true}, {5, 0, true}, {5, 10, false}, {-1, 5, false}};
    for (const Case& c : cases) EXPECT_EQ(IEPointInPolygon(c.x, c.y, square.data(), 3), c.inside) << c.x << "," << c.y;
    EXPECT_FALSE(IEPointInPolygon(5, 5, square.data(), -1));
    EXPECT_FALSE(IEPointInPolygon(5, 5, nullptr, 3));
    // A concave "U": its notch is outside, and a self-crossing bow tie is even-odd.
    const auto u = Pts({{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}});
    EXPECT_TRUE(IEPointInPolygon(5, 20, u.data(), 7));
    EXPECT_FALSE(IEPointInPolygon(15, 20, u.data(), 7));
    EXPECT_TRUE(IEPointInPolygon(25, 20, u.data(), 7));
    const auto bow = Pts({{0, 0}, {20, 20}, {20, 0}, {0, 20}});
    EXPECT_TRUE(IEPointInPolygon(3, 10, bow.data(), 3));
    EXPECT_TRUE(IEPointInPolygon(17, 10, bow.data(), 3));
    EXPECT_FALSE(IEPointInPolygon(10, 5, bow.data(), 3));
    EXPECT_FALSE(IEPointInPolygon(10, 15, bow.data(), 3));
    // Mapped: the square doubled and moved to (100, 200).
    EXPECT_TRUE(IEPointInScaledPolygon(115, 215, square.data(), 2, 2, 100, 200, 0, 0, 4));
    EXPECT_FALSE(IEPointInScaledPolygon(5, 5, square.data(), 2, 2, 100, 200, 0, 0, 4));
    EXPECT_FALSE(IEPointInScaledPolygon(115, 215, square.data(), 2, 2, 100, 200, 0, 0, 0));
    // Coordinates whose differences leave 32 bits.
    const auto huge = Pts({{kMin32, kMin32}, {kMax32, kMin32}, {kMax32, kMax32}, {kMin32, kMax32}});
    EXPECT_TRUE(IEPointInPolygon(0, 0, huge.data(), 3));

    EXPECT_TRUE(IEPointInRect(10, 20, 10, 20, 30, 40));
    EXPECT_TRUE(IEPointInRect(30, 40, 10, 20, 30, 40));
    EXPECT_FALSE(IEPointInRect(20, 30, 30, 40, 10, 20));  // corners as given
    EXPECT_TRUE(IEPointInBox(20, 30, 30, 40, 10, 20));    // corners sorted first
    EXPECT_FALSE(IEPointInBox(31, 30, 30, 40, 10, 20));
    struct BoxCase {
        int32_t x1, y1, x2, y2;
        bool meets;
    };
    const BoxCase boxes[] = {{0, 0, 5, 5, false},   {0, 0, 10, 10, true},    {30, 30, 20, 20, true},
                             {21, 0, 25, 9, false}, {25, 25, 21, 21, false}, {-5, 15, 100, 16, true}};
    for (const BoxCase& b : boxes)
        EXPECT_EQ(IEBoxesIntersect(b.x1, b.y1, b.x2, b.y2, 10, 10, 20, 20), b.meets) << b.x1 << "," << b.y1;
    win::RECT r{2000000000, 2000000000, -2000000000, -2000000000};
    IEExtendRect(r, 5, -3);
    IEExtendRect(r, -7, 9);
    EXPECT_EQ(r.left, -7);
    EXPECT_EQ(r.top, -3);
    EXPECT_EQ(r.right, 5);
    EXPECT_EQ(r.bottom, 9);
}

TEST(GeometryLines, SnapTo45Degrees) {
    struct Case {
        int32_t x, y, ex, ey;
    };
    // clang-format off
    const Case cases[] = {
        {100, 20, 100, 0},   {20, 100, 0, 100},   {50, 40, 50, 50},    // from the table
        {-100, 20, -100, 0}, {-20, -100, 0, -100},                      // horizontal, vertical
        {40, 50, 50, 50},    {-50, -40, -40, -40}, {-40, -50, -40, -40},  // right-down, left-up
        {-50, 40, -50, 50},  {-40, 50, -50, 50},                        // left-down
        {50, -40, 50, -50},  {40, -50, 50, -50},                        // right-up
        {0, 20, 0, 20},      {20, 0, 20, 0},                            // short moves on an axis stay
    };
    // clang-format on
    for (const Case& c : cases) {
        int32_t x = c.x, y = c.y;
        IESnapLine45(0, 0, x, y);
        EXPECT_EQ(x, c.ex) << c.x << "," << c.y;
        EXPECT_EQ(y, c.ey) << c.x << "," << c.y;
    }
    int32_t x = 1000040, y = 1000050;  // any anchor
    IESnapLine45(1000000, 1000000, x, y);
    EXPECT_EQ(x, 1000050);
    EXPECT_EQ(y, 1000050);
}

TEST(GeometryLines, RotatePoints) {
    auto pts = Pts({{10, 0}, {0, 10}, {7, 3}});
    IERotatePoints(pts.data(), 2, 0, 0, 90);  // counter-clockwise on the screen
    EXPECT_EQ(pts[0].x, 0);
    EXPECT_EQ(pts[0].y, -10);
    EXPECT_EQ(pts[1].x, 10);
    EXPECT_EQ(pts[1].y, 0);
    EXPECT_EQ(pts[2].x, 3);
    EXPECT_EQ(pts[2].y, -7);
    auto diag = Pts({{110, 100}, {100, 100}});
    IERotatePoints(diag.data(), 1, 100, 100, 45);  // 7.07 rounds to 7, the centre stays
    EXPECT_EQ(diag[0].x, 107);
    EXPECT_EQ(diag[0].y, 93);
    EXPECT_EQ(diag[1].x, 100);
    EXPECT_EQ(diag[1].y, 100);
    auto back = Pts({{123, -45}, {-6, 77}});
    const auto original = back;
    for (int i = 0; i < 4; ++i) IERotatePoints(back.data(), 1, 5, 5, 90);  // quarter turns are exact
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].x, original[i].x);
        EXPECT_EQ(back[i].y, original[i].y);
    }
    auto none = Pts({{1, 2}});
    IERotatePoints(none.data(), -1, 0, 0, 90);
    EXPECT_EQ(none[0].x, 1);
}

TEST(GeometryAngles, ArcCosAndAnglesBetweenDirections) {
    struct Case {
        double v, expected;
    };
    const Case cases[] = {{1, 0}, {-1, kPi}, {0, kPi / 2}, {0.5, kPi / 3}, {1.0000001, 0}, {-1.0000001, kPi}};
    for (const Case& c : cases) EXPECT_NEAR(IEArcCos(c.v), c.expected, 1e-12) << c.v;
    EXPECT_DOUBLE_EQ(IEArcTan2(-1, 0), kPi);
    EXPECT_DOUBLE_EQ(IEArcTan2(1, 1), kPi / 4);

    EXPECT_DOUBLE_EQ(IEAngleBetweenSegments(0, 0, 10, 0, 20, 0), 0);           // straight on
    EXPECT_NEAR(IEAngleBetweenSegments(0, 0, 10, 0, 10, 10), kPi / 2, 1e-12);  // a right turn
    EXPECT_EQ(IEAngleBetweenSegments(0, 0, 0, 0, 10, 0), 0);                   // no first segment
    // Going straight back is half a turn, whatever rounding does to the cosine.
    for (auto [dx, dy] : {std::pair{1, 1}, {3, 7}, {123456, 654321}, {-2000000000, 1999999999}}) {
        EXPECT_NEAR(IEAngleBetweenSegments(0, 0, dx, dy, 0, 0), kPi, 1e-6) << dx << "," << dy;
    }

    struct LineCase {
        int32_t x2, y2;
        double expected;
    };
    const LineCase lines[] = {
        {10, 0, 0},         {0, -10, kPi / 2},      {-10, 0, kPi},         {0, 10, 3 * kPi / 2},   {0, 0, 0},
        {10, -10, kPi / 4}, {-10, 10, 5 * kPi / 4}, {10, 10, 7 * kPi / 4}, {-10, -10, 3 * kPi / 4}};
    for (const LineCase& l : lines)
        EXPECT_NEAR(IELineAngle(0, 0, l.x2, l.y2), l.expected, 1e-12) << l.x2 << "," << l.y2;
    EXPECT_EQ(IELineAngle(5, 5, 5, 0), kPi / 2);
    EXPECT_EQ(IELineAngle(5, 5, 5, 9), 3 * kPi / 2);
}

TEST(GeometryAngles, TurnDirectionAndAngleAtAVertex) {
    struct Case {
        int32_t x0, y0, x1, y1, x2, y2, expected;
    };
    // clang-format off
    const Case cases[] = {
        {0, 0, 10, 0, 10, 10, 1},   {0, 0, 10, 0, 10, -10, -1},   // either side
        {0, 0, 10, 0, -5, 0, -1},                                   // collinear, P0 between
        {0, 0, 5, 0, 10, 0, 1},                                     // collinear, P1 nearer
        {0, 0, 10, 0, 5, 0, 0},                                     // collinear, P2 nearer
        {0, 0, 0, 0, 0, 0, 0},
        // Products of 33-bit differences leave 64 bits.
        {kMin32, kMin32, kMax32, 0, 0, kMax32, 1},
        {kMin32, kMin32, 0, kMax32, kMax32, 0, -1},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(IETurnDirection(c.x0, c.y0, c.x1, c.y1, c.x2, c.y2), c.expected)
            << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
    EXPECT_NEAR(IEAngleAtVertex(0, 10, 0, 0, 10, 0), kPi / 2, 1e-12);
    EXPECT_NEAR(IEAngleAtVertex(10, 0, 0, 0, 0, 10), 3 * kPi / 2, 1e-12);  // turning the other way
    EXPECT_NEAR(IEAngleAtVertex(-10, 0, 0, 0, 10, 0), kPi, 1e-12);
    EXPECT_NEAR(IEAngleAtVertex(10, 0, 0, 0, 10, 0), std::acos(199.0 / 200.0), 1e-12);  // a side of 0 counts as 1
    EXPECT_TRUE(std::isfinite(IEAngleAtVertex(0, 0, 0, 0, 0, 0)));                      // sides of 0 count as 1
    EXPECT_NEAR(IEAngleAtVertex(0, 0, 0, 0, 0, 0), kPi / 3, 1e-12);
}

TEST(GeometryWindow, OwnerWindowOfAComponent) {
    EXPECT_EQ(IEGetOwnerWindow(nullptr), nullptr);
    win::test::ResetUser(640, 480);
    cl::ControlsStartUp();
    {
        auto* form = new cl::TForm(nullptr);
        auto* plain = new cl::TComponent(form);
        EXPECT_EQ(IEGetOwnerWindow(plain), nullptr);  // no window yet
        form->HandleNeeded();
        ASSERT_TRUE(form->HandleAllocated());
        EXPECT_EQ(IEGetOwnerWindow(plain), form->GetHandle());
        EXPECT_EQ(IEGetOwnerWindow(form), form->GetHandle());
        // The first windowed control in the chain answers, even without a window.
        auto* button = new cl::TButton(form);
        auto* inner = new cl::TComponent(button);
        EXPECT_EQ(IEGetOwnerWindow(inner), nullptr);
        cl::TComponent alone(nullptr);
        EXPECT_EQ(IEGetOwnerWindow(&alone), nullptr);
        form->Free();
    }
    cl::ControlsShutDown();
    win::test::ResetUser(640, 480);
}

}  // namespace
}  // namespace ie
