// The tools of the GDI transition effects: rectangle lists, progress size, the region
// builders, the mirrored stretch and the point rotation; the copies the effects share; and
// the table of the 187 named effects.
#include "imaging/processing/iextratransitions.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "classlib/SysUtils.h"
#include "imaging/processing/iextratransitions_internal.h"
#include "platform/kernel.h"

namespace ie {

namespace {

constexpr size_t kHeaderSize = sizeof(win::RGNDATAHEADER);  // 32
constexpr size_t kRectSize = sizeof(win::RECT);             // 16

int32_t Nearest(double X) { return static_cast<int32_t>(cl::Round(X)); }

}  // namespace

// ---------------------------------------------------------------------------------------
// TComplexRegion

TComplexRegion::TComplexRegion() { Clear(); }

void TComplexRegion::Clear() {
    FRgnData.clear();
    FRgnData.shrink_to_fit();
    FCapacity = 0;
    FCount = 0;
    FWritePos = kHeaderSize;
    FBounds = cl::TRect{INT32_MAX, INT32_MAX, INT32_MIN + 1, INT32_MIN + 1};
}

void TComplexRegion::AddRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (FCount >= FCapacity) {
        FCapacity += kGrowBy;
        // Header, rectangles and four spare bytes.
        FRgnData.resize(kHeaderSize + 4 + kRectSize * static_cast<size_t>(FCapacity));
    }
    const win::RECT rc{X1, Y1, X2, Y2};
    std::memcpy(FRgnData.data() + FWritePos, &rc, kRectSize);
    FWritePos += kRectSize;
    ++FCount;
    FBounds.left = std::min(FBounds.left, X1);
    FBounds.top = std::min(FBounds.top, Y1);
    FBounds.right = std::max(FBounds.right, X2);
    FBounds.bottom = std::max(FBounds.bottom, Y2);
}

win::HRGN TComplexRegion::CreateRegion() {
    if (FCount == 0) return nullptr;
    win::RGNDATAHEADER header;
    header.dwSize = kHeaderSize;
    header.iType = win::RDH_RECTANGLES;
    header.nCount = static_cast<win::DWORD>(FCount);
    header.nRgnSize = kRectSize;
    header.rcBound = FBounds;
    std::memcpy(FRgnData.data(), &header, kHeaderSize);
    const auto size = static_cast<win::DWORD>(kHeaderSize + 4 + kRectSize * static_cast<size_t>(FCount));
    return win::ExtCreateRegion(nullptr, size, reinterpret_cast<const win::RGNDATA*>(FRgnData.data()));
}

// ---------------------------------------------------------------------------------------
// Geometry

void IEProgressSize(const cl::TRect& Rect, int32_t Percent, int32_t& W, int32_t& H, int32_t& w, int32_t& h) {
    W = Rect.right - Rect.left;
    H = Rect.bottom - Rect.top;
    if (W <= 0 || H <= 0) {
        // No frame: no progress size (and no division by a zero side).
        w = 0;
        h = 0;
        return;
    }
    if (W >= H) {
        w = win::MulDiv(W, Percent, 100);
        h = win::MulDiv(w, H, W);
    } else {
        h = win::MulDiv(H, Percent, 100);
        w = win::MulDiv(h, W, H);
    }
}

win::HRGN IEBarsRegion(int32_t ProgressX, int32_t ProgressY, int32_t W, int32_t H, int32_t XStyle, int32_t YStyle) {
    TComplexRegion rgn;
    const int32_t e = std::min(W, H) / 50 + 1;
    // Bars across the lengthwise axis Len, stacked along the axis Across; Add receives the
    // span along the length and the span across.
    auto bars = [&](int32_t Progress, int32_t Len, int32_t Across, int32_t Style, auto Add) {
        if (Style == 0) return;
        // Covers [from, to) of a bar from the near side (left or top) or the far side.
        auto cover = [&](bool FromFar, int32_t Length, int32_t A0, int32_t A1) {
            if (FromFar) {
                Add(Len - Length, Len, A0, A1);
            } else {
                Add(0, Length, A0, A1);
            }
        };
        if (Style == 3) {
            for (int32_t f = 0; f < Across + e; f += 2 * e) {
                cover(true, Progress, f, f + e);
                cover(false, Progress, f + e, f + 2 * e);
            }
            return;
        }
        const bool firstFar = Style == 1 || Style == 5;
        const bool secondFar = Style == 1 || Style == 4;
        if (Progress <= Len) {
            for (int32_t f = 0; f < Across + e; f += 2 * e) cover(firstFar, Progress, f, f + e);
        } else {
            for (int32_t f = e; f - e < Across + e; f += 2 * e) {
                Add(0, Len, f - e, f);
                cover(secondFar, Progress - Len, f, f + e);
            }
        }
    };
    bars(ProgressX, W, H, XStyle, [&](int32_t L0, int32_t L1, int32_t A0, int32_t A1) { rgn.AddRect(L0, A0, L1, A1); });
    bars(ProgressY, H, W, YStyle, [&](int32_t L0, int32_t L1, int32_t A0, int32_t A1) { rgn.AddRect(A0, L0, A1, L1); });
    return rgn.CreateRegion();
}

win::HRGN IEShredRegion(int32_t ProgressX, int32_t ProgressY, int32_t W, int32_t H, int32_t XStyle, int32_t YStyle) {
    TComplexRegion rgn;
    const int32_t e = std::min(W, H) / 200 + 1;
    auto strips = [&](int32_t Progress, int32_t Len, int32_t Across, int32_t Style, auto Add) {
        if (Style == 0) return;
        const int32_t l = Progress < Len ? Len / 10 : 0;
        const int32_t extra = Across % e;
        for (int32_t o = 0; o < Across; o += e) {
            int32_t r = cl::Random(2 * l) + Progress - l;
            const int32_t a0 = o, a1 = o + e + extra;
            switch (Style) {
                case 1: Add(Len - r, Len, a0, a1); break;
                case 2: Add(0, r, a0, a1); break;
                case 3:
                    r /= 2;
                    Add(Len / 2 - r, Len / 2, a0, a1);
                    Add(Len / 2, Len / 2 + r, a0, a1);
                    break;
                case 4:
                    r /= 2;
                    Add(Len - r, Len, a0, a1);
                    Add(0, r, a0, a1);
                    break;
                default: break;
            }
        }
    };
    strips(ProgressX, W, H, XStyle,
           [&](int32_t L0, int32_t L1, int32_t A0, int32_t A1) { rgn.AddRect(L0, A0, L1, A1); });
    strips(ProgressY, H, W, YStyle,
           [&](int32_t L0, int32_t L1, int32_t A0, int32_t A1) { rgn.AddRect(A0, L0, A1, L1); });
    return rgn.CreateRegion();
}

win::HRGN IESpeckleRegion(int32_t ProgressX, int32_t ProgressY, int32_t W, int32_t H, int32_t XStyle, int32_t YStyle) {
    TComplexRegion rgn;
    auto speckles = [&](int32_t Progress, int32_t Len, int32_t Across, int32_t Style, auto Add) {
        if (Style != 1 && Style != 2) return;
        const int32_t g = Progress < Len ? Len / 10 : 0;
        const int32_t s = std::max(g / 20, 2);
        const int32_t cells = g / s;
        const int32_t l = (3 * g) / (4 * s);
        for (int32_t o = 0; o < Across; o += s / 2) {
            if (Style == 1) {
                Add(Len - Progress, Len, o, o + s);
            } else {
                Add(0, Progress, o, o + s);
            }
            for (int32_t i = cells; i >= 1; --i) {
                const int32_t roll = cl::Random(i);
                if (!(i <= l ? roll <= 1 : roll == 0)) continue;
                if (Style == 1) {
                    const int32_t x = Len - Progress - s * i;
                    Add(x, x + s, o, o + s);
                } else {
                    const int32_t x = Progress + s * i;
                    Add(x - s, x, o, o + s);
                }
            }
        }
    };
    speckles(ProgressX, W, H, XStyle,
             [&](int32_t L0, int32_t L1, int32_t A0, int32_t A1) { rgn.AddRect(L0, A0, L1, A1); });
    speckles(ProgressY, H, W, YStyle,
             [&](int32_t L0, int32_t L1, int32_t A0, int32_t A1) { rgn.AddRect(A0, L0, A1, L1); });
    return rgn.CreateRegion();
}

win::HRGN IEFanRegion(int32_t CX, int32_t CY, int32_t Radius, int32_t Count, double EndAngle, double StartAngle) {
    std::vector<win::POINT> pts;
    pts.push_back(win::POINT{CX, CY});
    for (int32_t k = 0; k < Count; ++k) {
        const double a = StartAngle + k * (EndAngle - StartAngle) / Count;
        pts.push_back(win::POINT{CX + Nearest(std::cos(a) * Radius), CY + Nearest(std::sin(a) * Radius)});
    }
    return win::CreatePolygonRgn(pts.data(), static_cast<int>(pts.size()), win::WINDING);
}

win::HRGN IEPolygonRegion(std::span<const int32_t> Points) {
    // An odd length would leave the last point without its y.
    if (Points.size() % 2 != 0 || Points.size() < 6) return nullptr;
    std::vector<win::POINT> pts(Points.size() / 2);
    for (size_t i = 0; i < pts.size(); ++i) pts[i] = win::POINT{Points[2 * i], Points[2 * i + 1]};
    return win::CreatePolygonRgn(pts.data(), static_cast<int>(pts.size()), win::WINDING);
}

win::HRGN IETriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    const win::POINT pts[3] = {{X1, Y1}, {X2, Y2}, {X3, Y3}};
    return win::CreatePolygonRgn(pts, 3, win::WINDING);
}

void IEStretchFlipped(cl::TCanvas* Canvas, const cl::TRect& DestRect, cl::TBitmap* Bitmap, bool FlipVertical,
                      bool FlipHorizontal, const cl::TRect& SourceRect) {
    cl::TRect src{std::max<int32_t>(SourceRect.left, 0), std::max<int32_t>(SourceRect.top, 0),
                  std::min<int32_t>(SourceRect.right, Bitmap->GetWidth()),
                  std::min<int32_t>(SourceRect.bottom, Bitmap->GetHeight())};
    if (src.right <= src.left || src.bottom <= src.top) return;
    cl::TRect dst = DestRect;
    if (FlipHorizontal) {
        const int32_t l = dst.left;
        dst.left = dst.right + 1;
        dst.right = l - 1;
    }
    if (FlipVertical) {
        const int32_t t = dst.top;
        dst.top = dst.bottom + 1;
        dst.bottom = t - 1;
    }
    win::StretchBlt(Canvas->GetHandle(), dst.left, dst.top, dst.right - dst.left, dst.bottom - dst.top,
                    Bitmap->GetCanvas()->GetHandle(), src.left, src.top, src.right - src.left, src.bottom - src.top,
                    win::SRCCOPY);
}

// ---------------------------------------------------------------------------------------
// The copies the effects share

namespace xtrans {

void IERotatePoints(cl::TPoint* Points, int32_t Count, int32_t CX, int32_t CY, double Angle) {
    const double c = std::cos(Angle), s = std::sin(Angle);
    for (int32_t i = 0; i < Count; ++i) {
        const double dx = Points[i].x - CX, dy = Points[i].y - CY;
        Points[i].x = CX + Nearest(c * dx - s * dy);
        Points[i].y = CY + Nearest(s * dx + c * dy);
    }
}

void InPlace(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, int32_t X, int32_t Y, int32_t Width, int32_t Height) {
    CopyAt(Canvas, X, Y, Bitmap, X, Y, Width, Height);
}

void CopyAt(cl::TCanvas* Canvas, int32_t DX, int32_t DY, cl::TBitmap* Bitmap, int32_t SX, int32_t SY, int32_t Width,
            int32_t Height) {
    if (Width <= 0 || Height <= 0) return;
    win::BitBlt(Canvas->GetHandle(), DX, DY, Width, Height, Bitmap->GetCanvas()->GetHandle(), SX, SY, win::SRCCOPY);
}

void Stretch(cl::TCanvas* Canvas, int32_t DX, int32_t DY, int32_t DW, int32_t DH, cl::TBitmap* Bitmap, int32_t SX,
             int32_t SY, int32_t SW, int32_t SH) {
    if (DW <= 0 || DH <= 0 || SW <= 0 || SH <= 0) return;
    win::StretchBlt(Canvas->GetHandle(), DX, DY, DW, DH, Bitmap->GetCanvas()->GetHandle(), SX, SY, SW, SH,
                    win::SRCCOPY);
}

void ThroughRegion(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, win::HRGN Region, bool UseDraw) {
    if (!Region) return;
    const win::HDC dc = Canvas->GetHandle();
    win::SelectClipRgn(dc, Region);
    if (UseDraw) {
        Canvas->Draw(0, 0, Bitmap);
    } else {
        win::BitBlt(dc, 0, 0, Bitmap->GetWidth(), Bitmap->GetHeight(), Bitmap->GetCanvas()->GetHandle(), 0, 0,
                    win::SRCCOPY);
    }
    win::SelectClipRgn(dc, nullptr);
    win::DeleteObject(Region);
}

win::HRGN Combine(win::HRGN A, win::HRGN B, int Mode) {
    if (!A) return B;
    if (!B) return A;
    win::CombineRgn(A, A, B, Mode);
    win::DeleteObject(B);
    return A;
}

}  // namespace xtrans

// ---------------------------------------------------------------------------------------
// The table

using namespace xtrans;

// clang-format off
const TEffect IEEffectTable[IEEffectCount] = {
    {"Cross Fade", nullptr},
    {"Fade Out", nullptr},
    {"Fade In", nullptr},
    {"Fade Out then In", nullptr},
    {"Wipe Left to Right", nullptr},
    {"Wipe Left to Right 2", nullptr},
    {"Wipe Right to Left", nullptr},
    {"Wipe Right to Left 2", nullptr},
    {"Wipe Top to Bottom", nullptr},
    {"Wipe Top to Bottom 2", nullptr},
    {"Wipe Bottom to Top", nullptr},
    {"Wipe Bottom to Top 2", nullptr},
    {"Slide from Top Left", nullptr},
    {"Slide from Top Right", nullptr},
    {"Slide from Bottom Left", nullptr},
    {"Slide from Bottom Right", nullptr},
    {"Push Left to Right", nullptr},
    {"Slide Out Left to Right", nullptr},
    {"Push Right to Left", nullptr},
    {"Slide Out Right to Left", nullptr},
    {"Push Top to Bottom", nullptr},
    {"Slide Out Top to Bottom", nullptr},
    {"Push Bottom to Top", nullptr},
    {"Slide Out Bottom to Top", nullptr},
    {"Random Points", nullptr},
    {"Random Boxes", nullptr},
    {"Wipe Out from Center", nullptr},
    {"Wipe In to Center", nullptr},
    {"Expand Out from Center", nullptr},
    {"Expand In to Center", nullptr},
    {"Expand from Left", ExpandFromLeft},                                                   // 31
    {"Expand from Right", ExpandFromRight},
    {"Expand from Top", ExpandFromTop},
    {"Expand from Bottom", ExpandFromBottom},
    {"Expand from Top Left", ExpandFromTopLeft},
    {"Expand from Top Right", ExpandFromTopRight},
    {"Expand from Bottom Left", ExpandFromBottomLeft},
    {"Expand from Bottom Right", ExpandFromBottomRight},
    {"Expand in from Left", ExpandInFromLeft},
    {"Expand in from Right", ExpandInFromRight},                                            // 40
    {"Expand in from Top", ExpandInFromTop},
    {"Expand in from Bottom", ExpandInFromBottom},
    {"Expand in to Vertical Center", ExpandInToVerticalCenter},
    {"Expand in to Horizon", ExpandInToHorizon},
    {"Expand in from Sides", ExpandInFromSides},
    {"Expand in from Top and Bottom", ExpandInFromTopAndBottom},
    {"Expand out from Horizon", ExpandOutFromHorizon},
    {"Expand out from Vertical Center", ExpandOutFromVerticalCenter},
    {"Wipe from Top Left", WipeFromTopLeft},
    {"Wipe from Top Right", WipeFromTopRight},                                              // 50
    {"Wipe from Bottom Left", WipeFromBottomLeft},
    {"Wipe from Bottom Right", WipeFromBottomRight},
    {"Wipe in from Top and Bottom", WipeInFromTopAndBottom},
    {"Wipe from Horizon", WipeFromHorizon},
    {"Wipe in from Sides", WipeInFromSides},
    {"Wipe out from Vertical Center", WipeOutFromVerticalCenter},
    {"Build up from Left", BuildUpFromLeft},
    {"Build up from Right", BuildUpFromRight},
    {"Build up from Top", BuildUpFromTop},
    {"Build up from Bottom", BuildUpFromBottom},                                            // 60
    {"Unroll from Left", UnrollFromLeft},
    {"Unroll from Right", UnrollFromRight},
    {"Unroll from Top", UnrollFromTop},
    {"Unroll from Bottom", UnrollFromBottom},
    {"Slide in from Left", SlideInFromLeft},
    {"Slide in from Right", SlideInFromRight},
    {"Slide in from Top", SlideInFromTop},
    {"Slide in from Bottom", SlideInFromBottom},
    {"Shrink to Top Left", ShrinkToTopLeft},
    {"Shrink to Top Right", ShrinkToTopRight},                                              // 70
    {"Shrink to Bottom Left", ShrinkToBottomLeft},
    {"Shrink to Bottom Right", ShrinkToBottomRight},
    {"Shrink to Center", ShrinkToCenter},
    {"Quarters Wipe in to Center", QuartersWipeInToCenter},
    {"Quarters Expand to Center", QuartersExpandToCenter},
    {"Quarters Slide in to Center", QuartersSlideInToCenter},
    {"Curved Wipe from Left", CurvedWipeFromLeft},
    {"Curved Wipe from Right", CurvedWipeFromRight},
    {"Curved Wipe from Top", CurvedWipeFromTop},
    {"Curved Wipe from Bottom", CurvedWipeFromBottom},                                      // 80
    {"Curved Wipe from Top Left", CurvedWipeFromTopLeft},
    {"Curved Wipe from Top Right", CurvedWipeFromTopRight},
    {"Curved Wipe from Bottom Left", CurvedWipeFromBottomLeft},
    {"Curved Wipe from Bottom Right", CurvedWipeFromBottomRight},
    {"Bars in from Left", BarsInFromLeft},
    {"Bars in from Right", BarsInFromRight},
    {"Bars from Top", BarsFromTop},
    {"Bars from Bottom", BarsFromBottom},
    {"Bars Left then Right", BarsLeftThenRight},
    {"Bars Right then Left", BarsRightThenLeft},                                            // 90
    {"Bars Top then Bottom", BarsTopThenBottom},
    {"Bars Bottom then Top", BarsBottomThenTop},
    {"Bars from both Sides", BarsFromBothSides},
    {"Bars from Top and Bottom", BarsFromTopAndBottom},
    {"Shredded from Left", ShreddedFromLeft},
    {"Shredded from Right", ShreddedFromRight},
    {"Shredded from Top", ShreddedFromTop},
    {"Shredded from Bottom", ShreddedFromBottom},
    {"Shredded from Top and Left", ShreddedFromTopAndLeft},
    {"Shredded from Top and Right", ShreddedFromTopAndRight},                               // 100
    {"Shredded from Bottom and Left", ShreddedFromBottomAndLeft},
    {"Shredded from Bottom and Right", ShreddedFromBottomAndRight},
    {"Shredded from Horizon and Left", ShreddedFromHorizonAndLeft},
    {"Shredded from Horizon and Right", ShreddedFromHorizonAndRight},
    {"Shredded from Top and Vertical Center", ShreddedFromTopAndVerticalCenter},
    {"Shredded from Bottom and Vertical Center", ShreddedFromBottomAndVerticalCenter},
    {"Shredded from Center", ShreddedFromCenter},
    {"Shredded to Center", ShreddedToCenter},
    {"Shredded in to Horizon", ShreddedInToHorizon},
    {"Shredded in to Vertical Center", ShreddedInToVerticalCenter},                         // 110
    {"Shredded out from Horizon", ShreddedOutFromHorizon},
    {"Shredded out from Vertical Center", ShreddedOutFromVerticalCenter},
    {"Expanding Rectangles", ExpandingRectangles},
    {"Expanding Triangles", ExpandingTriangles},
    {"Expanding Circles", ExpandingCircles},
    {"Expanding Diamonds", ExpandingDiamonds},
    {"Circular Wipe from Center", CircularWipeFromCenter},
    {"Circular Wipe to Center", CircularWipeToCenter},
    {"Crisscross Wipe from Top Left", CrisscrossFromTopLeft},
    {"Crisscross Wipe from Top Right", CrisscrossFromTopRight},                             // 120
    {"Crisscross Wipe from Bottom Left", CrisscrossFromBottomLeft},
    {"Crisscross Wipe from Bottom Right", CrisscrossFromBottomRight},
    {"Crisscross Wipe Bounce from Top Left", CrisscrossBounceFromTopLeft},
    {"Crisscross Wipe Bounce from Top Right", CrisscrossBounceFromTopRight},
    {"Crisscross Wipe Bounce from Bottom Left", CrisscrossBounceFromBottomLeft},
    {"Crisscross Wipe Bounce from Bottom Right", CrisscrossBounceFromBottomRight},
    {"Crisscross Wipe from Left Right and Top", CrisscrossFromLeftRightAndTop},
    {"Crisscross Wipe from Left Right and Bottom", CrisscrossFromLeftRightAndBottom},
    {"Crisscross Wipe from Left Top and Bottom", CrisscrossFromLeftTopAndBottom},
    {"Crisscross Wipe from Top Left Right and Bottom", CrisscrossFromTopLeftRightAndBottom}, // 130
    {"Crisscross Wipe from Right Top and Bottom", CrisscrossFromRightTopAndBottom},
    {"Crisscross Wipe from Bottom Left Top Right", CrisscrossFromBottomLeftTopRight},
    {"Wipe diagonal from Top Left", WipeDiagonalFromTopLeft},
    {"Wipe diagonal from Top Right", WipeDiagonalFromTopRight},
    {"Wipe diagonal from Bottom Left", WipeDiagonalFromBottomLeft},
    {"Wipe diagonal from Bottom Right", WipeDiagonalFromBottomRight},
    {"Diagonal Sweep Clockwise", DiagonalSweepClockwise},
    {"Diagonal Sweep Counter-Clockwise", DiagonalSweepCounterClockwise},
    {"Sweep Clockwise", SweepClockwise},
    {"Sweep Counter-Clockwise", SweepCounterClockwise},                                     // 140
    {"Starburst Clockwise", StarburstClockwise},
    {"Starburst Counter-Clockwise", StarburstCounterClockwise},
    {"Rotational Rectangle Clockwise", RotationalRectangleClockwise},
    {"Rotational Rectangle Counter-Clockwise", RotationalRectangleCounterClockwise},
    {"Rotational Star Clockwise", RotationalStarClockwise},
    {"Rotational Star Counter-Clockwise", RotationalStarCounterClockwise},
    {"Speckled Wipe from Left", SpeckledWipeFromLeft},
    {"Speckled Wipe from Right", SpeckledWipeFromRight},
    {"Speckled Wipe from Top", SpeckledWipeFromTop},
    {"Speckled Wipe from Bottom", SpeckledWipeFromBottom},                                  // 150
    {"Push Left and Slide out", PushLeftAndSlideOut},
    {"Push Right and Slide out", PushRightAndSlideOut},
    {"Push up and Slide out", PushUpAndSlideOut},
    {"Push down and Slide out", PushDownAndSlideOut},
    {"Push and Squeeze Left", PushAndSqueezeLeft},
    {"Push and Squeeze Right", PushAndSqueezeRight},
    {"Push and Squeeze up", PushAndSqueezeUp},
    {"Push and Squeeze down", PushAndSqueezeDown},
    {"Horizontal Blinds", HorizontalBlinds},
    {"Vertical Blinds", VerticalBlinds},                                                    // 160
    {"Uneven Blinds from Left", UnevenBlindsFromLeft},
    {"Uneven Blinds from Right", UnevenBlindsFromRight},
    {"Uneven Blinds from Top", UnevenBlindsFromTop},
    {"Uneven Blinds from Bottom", UnevenBlindsFromBottom},
    {"Rectangles from the Left", RectanglesFromTheLeft},
    {"Rectangles from the Right", RectanglesFromTheRight},
    {"Rectangles from the Top", RectanglesFromTheTop},
    {"Rectangles from the Bottom", RectanglesFromTheBottom},
    {"Spiralling Rectangle Clockwise", SpirallingRectangleClockwise},
    {"Spiralling Rectangle Counter-Clockwise", SpirallingRectangleCounterClockwise},        // 170
    {"Arrow Wipe from Left", ArrowWipeFromLeft},
    {"Arrow Wipe from Right", ArrowWipeFromRight},
    {"Arrow Wipe from Top", ArrowWipeFromTop},
    {"Arrow Wipe from Bottom", ArrowWipeFromBottom},
    {"Horizontal Bow Tie Wipe", HorizontalBowTieWipe},
    {"Vertical Bow Tie Wipe", VerticalBowTieWipe},
    {"Diagonal Cross from Center", DiagonalCrossFromCenter},
    {"Diagonal Cross to Center", DiagonalCrossToCenter},
    {"Zigzag Wipe from Horizon", ZigzagWipeFromHorizon},
    {"Zigzag Wipe from Vertical Center", ZigzagWipeFromVerticalCenter},                     // 180
    {"Diamond Wipe from Center", DiamondWipeFromCenter},
    {"Diamond Wipe to Center", DiamondWipeToCenter},
    {"Diagonal Box Wipe", DiagonalBoxWipe},
    {"Triangular Wipe", TriangularWipe},
    {"Random Big Boxes", RandomBigBoxes},
    {"Page Flip", PageFlip},
    {"Page Flip 2", PageFlip2},
};
// clang-format on

}  // namespace ie
