// The GDI transition effects that copy and stretch rectangles of the new picture: expands,
// slides, shrinks, quarters, wipes, build-ups, unrolls, pushes and squeezes, page flips.
#include <algorithm>

#include "classlib/Graphics.h"
#include "imaging/processing/iextratransitions_internal.h"
#include "platform/kernel.h"

namespace ie::xtrans {

namespace {

// The whole new picture stretched into (X, Y, DW, DH) of the frame.
void WholeTo(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, const TGeometry& g, int32_t X, int32_t Y, int32_t DW,
             int32_t DH) {
    Stretch(Canvas, X, Y, DW, DH, Bitmap, 0, 0, g.W, g.H);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Expands: the whole new picture squeezed into the growing part

IE_XTRANS_PROC(ExpandFromLeft) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, 0, 0, g.w, g.H);
}

IE_XTRANS_PROC(ExpandFromRight) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, g.W - g.w, 0, g.w, g.H);
}

IE_XTRANS_PROC(ExpandFromTop) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, 0, 0, g.W, g.h);
}

IE_XTRANS_PROC(ExpandFromBottom) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, 0, g.H - g.h, g.W, g.h);
}

IE_XTRANS_PROC(ExpandFromTopLeft) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, 0, 0, g.w, g.h);
}

IE_XTRANS_PROC(ExpandFromTopRight) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, g.W - g.w, 0, g.w, g.h);
}

IE_XTRANS_PROC(ExpandFromBottomLeft) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, 0, g.H - g.h, g.w, g.h);
}

IE_XTRANS_PROC(ExpandFromBottomRight) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, g.W - g.w, g.H - g.h, g.w, g.h);
}

// Expands in: the part that has come in, magnified so that the rest lies beyond the frame.

IE_XTRANS_PROC(ExpandInFromLeft) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, g.w - g.W, 0, 2 * g.W - g.w, g.H, NewBitmap, g.W - g.w, 0, g.w, g.H);
}

IE_XTRANS_PROC(ExpandInFromRight) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, 0, 2 * g.W - g.w, g.H, NewBitmap, 0, 0, g.w, g.H);
}

IE_XTRANS_PROC(ExpandInFromTop) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, g.h - g.H, g.W, 2 * g.H - g.h, NewBitmap, 0, g.H - g.h, g.W, g.h);
}

IE_XTRANS_PROC(ExpandInFromBottom) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, 0, g.W, 2 * g.H - g.h, NewBitmap, 0, 0, g.W, g.h);
}

IE_XTRANS_PROC(ExpandInToVerticalCenter) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, g.w - g.W, 0, 3 * g.W - 2 * g.w, g.H, NewBitmap, (g.W - g.w) / 2, 0, g.w, g.H);
}

IE_XTRANS_PROC(ExpandInToHorizon) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, g.h - g.H, g.W, 3 * g.H - 2 * g.h, NewBitmap, 0, (g.H - g.h) / 2, g.W, g.h);
}

IE_XTRANS_PROC(ExpandInFromSides) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, 0, g.w / 2, g.H, NewBitmap, 0, 0, g.W / 2, g.H);
    Stretch(Canvas, g.W - g.w / 2, 0, g.w / 2, g.H, NewBitmap, g.W / 2, 0, g.W / 2, g.H);
}

IE_XTRANS_PROC(ExpandInFromTopAndBottom) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, 0, g.W, g.h / 2, NewBitmap, 0, 0, g.W, g.H / 2);
    Stretch(Canvas, 0, g.H - g.h / 2, g.W, g.h / 2, NewBitmap, 0, g.H / 2, g.W, g.H / 2);
}

IE_XTRANS_PROC(ExpandOutFromHorizon) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, 0, (g.H - g.h) / 2, g.W, g.h);
}

IE_XTRANS_PROC(ExpandOutFromVerticalCenter) {
    TGeometry g(Rect, Percent);
    WholeTo(Canvas, NewBitmap, g, (g.W - g.w) / 2, 0, g.w, g.H);
}

// ---------------------------------------------------------------------------------------
// Wipes: the new picture's pixels where they belong

IE_XTRANS_PROC(WipeFromTopLeft) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, 0, g.w, g.h);
}

IE_XTRANS_PROC(WipeFromTopRight) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, g.W - g.w, 0, g.w, g.h);
}

IE_XTRANS_PROC(WipeFromBottomLeft) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, g.H - g.h, g.w, g.h);
}

IE_XTRANS_PROC(WipeFromBottomRight) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, g.W - g.w, g.H - g.h, g.w, g.h);
}

IE_XTRANS_PROC(WipeInFromTopAndBottom) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, 0, g.W, g.h / 2);
    InPlace(Canvas, NewBitmap, 0, g.H - g.h / 2, g.W, g.h / 2);
}

IE_XTRANS_PROC(WipeFromHorizon) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, (g.H - g.h) / 2, g.W, g.h);
}

IE_XTRANS_PROC(WipeInFromSides) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, 0, g.w / 2, g.H);
    InPlace(Canvas, NewBitmap, g.W - g.w / 2, 0, g.w / 2, g.H);
}

IE_XTRANS_PROC(WipeOutFromVerticalCenter) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, (g.W - g.w) / 2, 0, g.w, g.H);
}

IE_XTRANS_PROC(QuartersWipeInToCenter) {
    TGeometry g(Rect, Percent);
    const int32_t qw = g.w / 2, qh = g.h / 2;
    InPlace(Canvas, NewBitmap, 0, 0, qw, qh);
    InPlace(Canvas, NewBitmap, g.W - qw, 0, qw, qh);
    InPlace(Canvas, NewBitmap, 0, g.H - qh, qw, qh);
    InPlace(Canvas, NewBitmap, g.W - qw, g.H - qh, qw, qh);
}

// ---------------------------------------------------------------------------------------
// Build-ups: the part that has arrived in place, the next strip smeared over the rest

IE_XTRANS_PROC(BuildUpFromLeft) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, g.W - g.w, 0, g.w, g.H);
    const int32_t x0 = std::max(g.W - g.w - g.W / 10, 0);
    Stretch(Canvas, 0, 0, g.W - g.w, g.H, NewBitmap, x0, 0, g.W - g.w - x0, g.H);
}

IE_XTRANS_PROC(BuildUpFromRight) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, 0, g.w, g.H);
    Stretch(Canvas, g.w, 0, g.W - g.w, g.H, NewBitmap, g.w, 0, std::min(g.W - g.w, g.W / 10), g.H);
}

IE_XTRANS_PROC(BuildUpFromTop) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, g.H - g.h, g.W, g.h);
    const int32_t y0 = std::max(g.H - g.h - g.H / 10, 0);
    Stretch(Canvas, 0, 0, g.W, g.H - g.h, NewBitmap, 0, y0, g.W, g.H - g.h - y0);
}

IE_XTRANS_PROC(BuildUpFromBottom) {
    TGeometry g(Rect, Percent);
    InPlace(Canvas, NewBitmap, 0, 0, g.W, g.h);
    Stretch(Canvas, 0, g.h, g.W, g.H - g.h, NewBitmap, 0, g.h, g.W, std::min(g.H - g.h, g.H / 10));
}

// ---------------------------------------------------------------------------------------
// Unrolls: a mirrored roll ahead of the part laid flat

namespace {

// Where the roll ends, seen from the near side: Done is the flat part, Full the frame.
int32_t RollEnd(int32_t Done, int32_t Full) {
    if (Done < Full / 5) return Done + Done / 2;
    if (Full < Done + Full / 5) return Done + (Full - Done) / 2;
    return Done + Full / 10;
}

// Where the roll starts, seen from the far side: Rest is the part not yet laid flat.
int32_t RollStart(int32_t Rest, int32_t w, int32_t Full) {
    if (Full < Rest + Full / 5) return Rest - w / 2;
    if (Rest < Full / 5) return Rest - Rest / 2;
    return Rest - Full / 10;
}

}  // namespace

IE_XTRANS_PROC(UnrollFromLeft) {
    TGeometry g(Rect, Percent);
    const int32_t e = RollEnd(g.w, g.W);
    IEStretchFlipped(Canvas, cl::Rect(g.w, 0, e, g.H), NewBitmap, false, true, cl::Rect(e, 0, 2 * e - g.w, g.H));
    InPlace(Canvas, NewBitmap, 0, 0, g.w, g.H);
}

IE_XTRANS_PROC(UnrollFromRight) {
    TGeometry g(Rect, Percent);
    const int32_t rest = g.W - g.w;
    const int32_t s = RollStart(rest, g.w, g.W);
    IEStretchFlipped(Canvas, cl::Rect(s, 0, rest, g.H), NewBitmap, false, true, cl::Rect(2 * s - rest, 0, s, g.H));
    InPlace(Canvas, NewBitmap, rest, 0, g.w, g.H);
}

IE_XTRANS_PROC(UnrollFromTop) {
    TGeometry g(Rect, Percent);
    const int32_t e = RollEnd(g.h, g.H);
    IEStretchFlipped(Canvas, cl::Rect(0, g.h, g.W, e), NewBitmap, true, false, cl::Rect(0, e, g.W, 2 * e - g.h));
    InPlace(Canvas, NewBitmap, 0, 0, g.W, g.h);
}

IE_XTRANS_PROC(UnrollFromBottom) {
    TGeometry g(Rect, Percent);
    const int32_t rest = g.H - g.h;
    const int32_t s = RollStart(rest, g.h, g.H);
    IEStretchFlipped(Canvas, cl::Rect(0, s, g.W, rest), NewBitmap, true, false, cl::Rect(0, 2 * s - rest, g.W, s));
    InPlace(Canvas, NewBitmap, 0, rest, g.W, g.h);
}

// ---------------------------------------------------------------------------------------
// Slides and shrinks

IE_XTRANS_PROC(SlideInFromLeft) {
    TGeometry g(Rect, Percent);
    CopyAt(Canvas, g.w - g.W, 0, NewBitmap, 0, 0, g.W, g.H);
}

IE_XTRANS_PROC(SlideInFromRight) {
    TGeometry g(Rect, Percent);
    CopyAt(Canvas, g.W - g.w, 0, NewBitmap, 0, 0, g.W, g.H);
}

IE_XTRANS_PROC(SlideInFromTop) {
    TGeometry g(Rect, Percent);
    CopyAt(Canvas, 0, g.h - g.H, NewBitmap, 0, 0, g.W, g.H);
}

IE_XTRANS_PROC(SlideInFromBottom) {
    TGeometry g(Rect, Percent);
    CopyAt(Canvas, 0, g.H - g.h, NewBitmap, 0, 0, g.W, g.H);
}

IE_XTRANS_PROC(ShrinkToTopLeft) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, 0, 2 * g.W - g.w, 2 * g.H - g.h, NewBitmap, 0, 0, g.w, g.h);
}

IE_XTRANS_PROC(ShrinkToTopRight) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, g.w - g.W, 0, 2 * g.W - g.w, 2 * g.H - g.h, NewBitmap, g.W - g.w, 0, g.w, g.h);
}

IE_XTRANS_PROC(ShrinkToBottomLeft) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, 0, g.h - g.H, 2 * g.W - g.w, 2 * g.H - g.h, NewBitmap, 0, g.H - g.h, g.w, g.h);
}

IE_XTRANS_PROC(ShrinkToBottomRight) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, g.w - g.W, g.h - g.H, 2 * g.W - g.w, 2 * g.H - g.h, NewBitmap, g.W - g.w, g.H - g.h, g.w, g.h);
}

IE_XTRANS_PROC(ShrinkToCenter) {
    TGeometry g(Rect, Percent);
    Stretch(Canvas, g.w - g.W, g.h - g.H, 3 * g.W - 2 * g.w, 3 * g.H - 2 * g.h, NewBitmap, (g.W - g.w) / 2,
            (g.H - g.h) / 2, g.w, g.h);
}

IE_XTRANS_PROC(QuartersExpandToCenter) {
    TGeometry g(Rect, Percent);
    const int32_t QW = g.W / 2, QH = g.H / 2, qw = g.w / 2, qh = g.h / 2;
    Stretch(Canvas, 0, 0, qw, qh, NewBitmap, 0, 0, QW, QH);
    Stretch(Canvas, g.W - qw, 0, qw, qh, NewBitmap, QW, 0, QW, QH);
    Stretch(Canvas, 0, g.H - qh, qw, qh, NewBitmap, 0, QH, QW, QH);
    Stretch(Canvas, g.W - qw, g.H - qh, qw, qh, NewBitmap, QW, QH, QW, QH);
}

IE_XTRANS_PROC(QuartersSlideInToCenter) {
    TGeometry g(Rect, Percent);
    const int32_t QW = g.W / 2, QH = g.H / 2, qw = g.w / 2, qh = g.h / 2;
    CopyAt(Canvas, qw - QW, 0, NewBitmap, 0, 0, QW, QH);
    CopyAt(Canvas, QW, qh - QH, NewBitmap, QW, 0, QW, QH);
    CopyAt(Canvas, g.W - qw, QH, NewBitmap, QW, QH, QW, QH);
    CopyAt(Canvas, 0, g.H - qh, NewBitmap, 0, QH, QW, QH);
}

// ---------------------------------------------------------------------------------------
// Pushes and squeezes: the frame moved (or squeezed) onto itself, the new part added

namespace {

// The frame's rectangle (SX, SY, SW, SH) onto (DX, DY, DW, DH) of itself.
void MoveFrame(cl::TCanvas* Canvas, int32_t DX, int32_t DY, int32_t DW, int32_t DH, int32_t SX, int32_t SY, int32_t SW,
               int32_t SH) {
    if (DW <= 0 || DH <= 0 || SW <= 0 || SH <= 0) return;
    const win::HDC dc = Canvas->GetHandle();
    win::StretchBlt(dc, DX, DY, DW, DH, dc, SX, SY, SW, SH, win::SRCCOPY);
}

}  // namespace

IE_XTRANS_PROC(PushLeftAndSlideOut) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, 0, 0, g.W - g.w, g.H, g.w, 0, g.W - g.w, g.H);
    CopyAt(Canvas, g.W - g.w, 0, NewBitmap, 0, 0, g.w, g.H);
}

IE_XTRANS_PROC(PushRightAndSlideOut) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, g.w, 0, g.W - g.w, g.H, 0, 0, g.W - g.w, g.H);
    CopyAt(Canvas, 0, 0, NewBitmap, g.W - g.w, 0, g.w, g.H);
}

IE_XTRANS_PROC(PushUpAndSlideOut) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, 0, 0, g.W, g.H - g.h, 0, g.h, g.W, g.H - g.h);
    CopyAt(Canvas, 0, g.H - g.h, NewBitmap, 0, 0, g.W, g.h);
}

IE_XTRANS_PROC(PushDownAndSlideOut) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, 0, g.h, g.W, g.H - g.h, 0, 0, g.W, g.H - g.h);
    CopyAt(Canvas, 0, 0, NewBitmap, 0, g.H - g.h, g.W, g.h);
}

IE_XTRANS_PROC(PushAndSqueezeLeft) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, 0, 0, g.W - g.w, g.H, 0, 0, g.W, g.H);
    CopyAt(Canvas, g.W - g.w, 0, NewBitmap, 0, 0, g.w, g.H);
}

IE_XTRANS_PROC(PushAndSqueezeRight) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, g.w, 0, g.W - g.w, g.H, 0, 0, g.W, g.H);
    CopyAt(Canvas, 0, 0, NewBitmap, g.W - g.w, 0, g.w, g.H);
}

IE_XTRANS_PROC(PushAndSqueezeUp) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, 0, 0, g.W, g.H - g.h, 0, 0, g.W, g.H);
    CopyAt(Canvas, 0, g.H - g.h, NewBitmap, 0, 0, g.W, g.h);
}

IE_XTRANS_PROC(PushAndSqueezeDown) {
    TGeometry g(Rect, Percent);
    MoveFrame(Canvas, 0, g.h, g.W, g.H - g.h, 0, 0, g.W, g.H);
    CopyAt(Canvas, 0, 0, NewBitmap, 0, g.H - g.h, g.W, g.h);
}

// ---------------------------------------------------------------------------------------
// Page flips

namespace {

// The right half of the new picture lies still; the page over it turns about the middle:
// first the old right half narrows towards the middle, then the new left half widens from
// it. With Edge the page's edge is drawn as a black line.
void FlipPage(cl::TCanvas* Canvas, cl::TBitmap* OldBitmap, cl::TBitmap* NewBitmap, const cl::TRect& Rect,
              int32_t Percent, bool Edge) {
    TGeometry g(Rect, Percent);
    cl::TPen* pen = Canvas->GetPen();
    pen->SetColor(cl::clBlack);
    pen->SetWidth(1);
    pen->SetStyle(cl::psSolid);
    const int32_t d = g.W / 2;
    // The right half reaches the last column also when the width is odd.
    InPlace(Canvas, NewBitmap, d, 0, g.W - d, g.H);
    int32_t x;
    if (g.p > 50) {
        const int32_t e = win::MulDiv(g.W, g.p - 50, 50) / 2;
        Stretch(Canvas, d - e, 0, e, g.H, NewBitmap, 0, 0, d, g.H);
        x = d - e;
    } else {
        const int32_t e = win::MulDiv(g.W, 50 - g.p, 100);
        Stretch(Canvas, d, 0, e, g.H, OldBitmap, d, 0, g.W - d, g.H);
        x = d + e;
    }
    if (Edge) {
        Canvas->MoveTo(x, 0);
        Canvas->LineTo(x, g.H);
    }
}

}  // namespace

IE_XTRANS_PROC(PageFlip) { FlipPage(Canvas, OldBitmap, NewBitmap, Rect, Percent, false); }

IE_XTRANS_PROC(PageFlip2) { FlipPage(Canvas, OldBitmap, NewBitmap, Rect, Percent, true); }

}  // namespace ie::xtrans
