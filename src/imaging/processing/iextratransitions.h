// The GDI transition effects of the view (effects 31 to 187 of the view's transitions) and
// the tools they share: the progress size of a frame, a growing rectangle list turned into
// one region, region builders for bars, shreds, speckles, fans, polygons and triangles, a
// mirrored stretch copy and a point rotation.
//
// An effect builds a region for the current progress, selects it as the clip of the frame
// canvas, copies the whole new picture through it and removes the clip again; or it copies
// and stretches rectangles directly. Effects only add to the frame, so each call reveals a
// little more of the new picture over what earlier calls left. Every region a builder
// returns belongs to the caller, who deletes it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "classlib/Graphics.h"
#include "platform/gdi.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Rectangle lists

// Rectangles collected in the platform's region-data layout (a 32-byte header, then
// left, top, right, bottom of each rectangle) and made into one region by a single
// ExtCreateRegion call.
class TComplexRegion {
public:
    TComplexRegion();
    TComplexRegion(const TComplexRegion&) = delete;
    TComplexRegion& operator=(const TComplexRegion&) = delete;

    // Frees the buffer; count and capacity 0, the bounds empty.
    void Clear();
    // Appends the rectangle as given (not normalised) and widens the bounds with X1, Y1 as
    // minima and X2, Y2 as maxima. The buffer grows by 500 rectangles when it is full.
    void AddRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // The region of every stored rectangle, or null when none was added.
    win::HRGN CreateRegion();

    int32_t GetCount() const { return FCount; }
    int32_t GetCapacity() const { return FCapacity; }
    // Empty: left and top INT32_MAX, right and bottom INT32_MIN + 1.
    const cl::TRect& GetBounds() const { return FBounds; }
    // The region data as ExtCreateRegion receives it (empty before the first rectangle).
    const std::vector<uint8_t>& GetRgnData() const { return FRgnData; }

    static constexpr int32_t kGrowBy = 500;

private:
    std::vector<uint8_t> FRgnData;
    int32_t FCapacity = 0;
    int32_t FCount = 0;
    cl::TRect FBounds{};
    size_t FWritePos = 0;
};

// ---------------------------------------------------------------------------------------
// Geometry

// W and H of Rect, and the progress size w x h: the longer side scaled by Percent / 100
// (rounded), the other side in the frame's proportion.
void IEProgressSize(const cl::TRect& Rect, int32_t Percent, int32_t& W, int32_t& H, int32_t& w, int32_t& h);

// Bars of min(W, H) div 50 + 1 pixels in alternating rows (XStyle, progress ProgressX) and
// columns (YStyle, progress ProgressY). Styles: 0 none; 1 from the right (bottom); 2 from
// the left (top); 3 even bars from the right (bottom) and odd ones from the left (top); 4
// from the left (top) then the right (bottom); 5 from the right (bottom) then the left
// (top). Styles 1, 2, 4 and 5 run in two phases: up to the frame's size the even bars
// grow, beyond it the odd ones. Null when both styles are 0.
win::HRGN IEBarsRegion(int32_t ProgressX, int32_t ProgressY, int32_t W, int32_t H, int32_t XStyle, int32_t YStyle);
// Ragged strips of min(W, H) div 200 + 1 pixels whose ends jitter by a tenth of the frame
// until the progress reaches the frame's size. Styles: 1 from the right (bottom), 2 from
// the left (top), 3 out from the centre line, 4 in from both sides. Null when both are 0.
win::HRGN IEShredRegion(int32_t ProgressX, int32_t ProgressY, int32_t W, int32_t H, int32_t XStyle, int32_t YStyle);
// A solid edge with scattered cells ahead of it. Styles: 1 from the right (bottom), 2 from
// the left (top). Null when both are 0.
win::HRGN IESpeckleRegion(int32_t ProgressX, int32_t ProgressY, int32_t W, int32_t H, int32_t XStyle, int32_t YStyle);
// The polygon of the centre and Count points on the circle, at StartAngle + k x
// (EndAngle - StartAngle) / Count for k = 0 .. Count - 1 (radians, y downward), winding fill.
win::HRGN IEFanRegion(int32_t CX, int32_t CY, int32_t Radius, int32_t Count, double EndAngle, double StartAngle);
// The polygon of the flat list x0, y0, x1, y1, ..., winding fill. Null for a list of odd
// length (a coordinate without its partner) or of fewer than three points.
win::HRGN IEPolygonRegion(std::span<const int32_t> Points);
win::HRGN IETriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

// A halftone stretch copy of Bitmap's SourceRect (limited to the bitmap) into DestRect of
// Canvas, mirrored left to right and/or top to bottom.
void IEStretchFlipped(cl::TCanvas* Canvas, const cl::TRect& DestRect, cl::TBitmap* Bitmap, bool FlipVertical,
                      bool FlipHorizontal, const cl::TRect& SourceRect);

namespace xtrans {
// Turns Count points about (CX, CY) by Angle radians, clockwise on screen for a positive
// angle; coordinates are rounded to the nearest integer (halves to even). (The imaging
// core's IERotatePoints, in degrees and the other way round, serves the view's objects.)
void IERotatePoints(cl::TPoint* Points, int32_t Count, int32_t CX, int32_t CY, double Angle);
}  // namespace xtrans

// ---------------------------------------------------------------------------------------
// The effects

// Canvas: the frame; OldBitmap and NewBitmap: the old and the new picture (24 bits per
// pixel, the frame's size); Rect: the frame rectangle (0, 0, W, H); Param: 1 from the
// view's transitions (only "Triangular Wipe" reads it); Percent: 0 .. 100.
using TEffectProc = void (*)(cl::TCanvas* Canvas, cl::TBitmap* OldBitmap, cl::TBitmap* NewBitmap, const cl::TRect& Rect,
                             int32_t Param, int32_t Percent);

struct TEffect {
    const char* Name;
    TEffectProc Proc;  // null for the effects built into the view's transitions
};

// Row n - 1 describes effect n. Rows 0 .. 29 name the built-in effects of the view's
// transitions and have no procedure; rows 30 .. 186 carry the GDI effects.
constexpr int32_t IEEffectCount = 187;
extern const TEffect IEEffectTable[IEEffectCount];

}  // namespace ie
