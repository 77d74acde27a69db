// Geometry and hit-testing helpers of the imaging core: distances from a point to lines,
// segments, polylines, ellipses and rectangle outlines (with a pen width), point-in-polygon
// tests, angles, snapping a dragged line to 45 degrees, rectangle tests, rotation of point
// arrays, and the window of a component.
//
// Coordinates are 32-bit integers in view coordinates (the y axis points down); every
// product is formed in at least 64 bits, so no coordinate can overflow it. Angles are in
// radians unless stated. Segment routines report 1,000,000 when nothing is near; ellipse
// and rectangle routines report 2,147,483,647 for a negative pen width.
#pragma once

#include <cstdint>

#include "platform/windef.h"

namespace cl {
class TComponent;
}

namespace ie {

constexpr double IEFarDistance = 1000000.0;
constexpr double IENoDistance = 2147483647.0;

// Euclidean distance.
double IEDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Perpendicular distance from (X, Y) to the infinite line through the two points (to the
// point itself when they are equal).
double IEDistPointToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Distance from (X, Y) to the segment: to the nearer end beyond its ends (1,000,000 when
// that end is 45,001 or more away in x or y), else perpendicular.
double IEDistPointToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Smallest distance from (X, Y) to the polyline through the points mapped to view
// coordinates as (Round(ScaleX x (x - OffsetX) + ViewX), Round(ScaleY x (y - OffsetY) +
// ViewY)), with the closing segment when Closed. A pen wider than 1 covers the square of
// half its width (PenWidth div 2) around every point of the line. 1,000,000 when no
// segment is nearer (no points, or one point of an open line).
double IEDistPointToPolyline(int32_t X, int32_t Y, const win::POINT* Points, int32_t PointCount, bool Closed,
                             int32_t PenWidth, double ScaleX, double ScaleY, int32_t ViewX, int32_t ViewY,
                             int32_t OffsetX, int32_t OffsetY);
// Smallest distance from (X, Y) to the outline of the ellipse inscribed in the box (corners
// in any order), for every half-axis offset k in -(PenWidth div 2) .. PenWidth div 2; 0
// when Filled and the point lies inside the outermost outline. The outline is a polygon of
// Trunc(2 pi min(rx, ry)) edges, an eighth of that unless FullResolution (at least 2, at
// most 65,536).
double IEDistPointToEllipse(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t PenWidth,
                            bool Filled, bool FullResolution = false);
// Smallest distance from (X, Y) to the outline of the rectangle (corners in any order)
// grown and shrunk by every k in -(PenWidth div 2) .. PenWidth div 2; 0 when Filled and
// the point lies inside the largest one, edges included.
double IEDistPointToRectOutline(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t PenWidth,
                                bool Filled);

// Even-odd crossing test over the points 0 .. High (the left edges of the polygon count as
// inside, the right ones do not). False for High below 0.
bool IEPointInPolygon(int32_t X, int32_t Y, const win::POINT* Points, int32_t High);
// The same after mapping each of the Count points as IEDistPointToPolyline does.
bool IEPointInScaledPolygon(int32_t X, int32_t Y, const win::POINT* Points, double ScaleX, double ScaleY, int32_t ViewX,
                            int32_t ViewY, int32_t OffsetX, int32_t OffsetY, int32_t Count);
// X1 <= X <= X2 and Y1 <= Y <= Y2.
bool IEPointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The same with the corners in any order.
bool IEPointInBox(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The box spanned by the two points (any order) overlaps the rectangle, edges included.
bool IEBoxesIntersect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Left, int32_t Top, int32_t Right,
                      int32_t Bottom);
// Grows Rect (left, top, right, bottom) so that it contains (X, Y).
void IEExtendRect(win::RECT& Rect, int32_t X, int32_t Y);
// Moves (X, Y) so that the line from the anchor is vertical when |dx| + 30 < |dy|,
// horizontal when |dy| < |dx| - 30, otherwise diagonal.
void IESnapLine45(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y);
// Turns the points 0 .. High about (CX, CY) by Angle degrees (counter-clockwise on the
// screen for a positive angle), in place, rounded to the nearest point.
void IERotatePoints(win::POINT* Points, int32_t High, int32_t CX, int32_t CY, double Angle);

// atan2(Y, X).
double IEArcTan2(double X, double Y);
// The arc cosine: 0 for V >= 1, pi for V <= -1.
double IEArcCos(double V);
// Angle (0 .. pi) between the directions P1 -> P2 and P2 -> P3; 0 when a segment has no
// length.
double IEAngleBetweenSegments(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// Direction of P1 -> P2 counter-clockwise from the positive x axis on the screen, in
// 0 .. 2 pi: up pi/2, left pi, down 3 pi/2, right and equal points 0.
double IELineAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// 1 or -1 by the side P2 lies on seen from P0 towards P1; for collinear points -1 when P0
// lies between the others, 1 when P1 is nearer to P0 than P2, else 0.
int32_t IETurnDirection(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Angle at P2 between P1 and P3 by the law of cosines (side lengths of 0 count as 1); 2 pi
// minus it when IETurnDirection(P1, P2, P3) is -1.
double IEAngleAtVertex(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

// The window of the first windowed control among AObject and its owners; 0 when that
// control has no window yet or there is none.
win::HWND IEGetOwnerWindow(cl::TComponent* AObject);

}  // namespace ie
