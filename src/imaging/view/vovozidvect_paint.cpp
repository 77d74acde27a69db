// The vector view's object painter: the geometry of every object kind drawn through a
// TIECanvas, line end shapes, labels, pictures, texts, rulers, angles and polylines.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_geometry.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"
#include "imaging/view/vovozidvect_label.h"

namespace ie {

namespace {

constexpr double Pi = 3.14159265358979323846;

int32_t Trunc(double V) { return static_cast<int32_t>(V); }

void Grow(cl::TRect& R, int32_t X, int32_t Y) {
    R.left = std::min(R.left, X);
    R.top = std::min(R.top, Y);
    R.right = std::max(R.right, X);
    R.bottom = std::max(R.bottom, Y);
}

// Selects the object's font onto the canvas: its LOGFONT with the quality of FontQuality and
// the given height; the font colour is Color.
void SelectObjFont(TIECanvas* Canvas, const TIEVObjRecord& Obj, int32_t Height, cl::TColor Color) {
    win::LOGFONTA lf = Obj.Font ? *Obj.Font : Canvas->GetFont()->GetLogFont();
    lf.lfQuality = IEVFontQualityToLogFont(Obj.FontQuality);
    lf.lfHeight = Height;
    Canvas->GetFont()->SetLogFont(lf);
    Canvas->GetFont()->SetColor(Color);
}

int32_t ObjFontHeight(const TIEVObjRecord& Obj) { return Obj.Font ? Obj.Font->lfHeight : -13; }
int32_t ObjFontEscapement(const TIEVObjRecord& Obj) { return Obj.Font ? Obj.Font->lfEscapement : 0; }

void SetBrush(TIECanvas* Canvas, const TIEVObjRecord& Obj) {
    Canvas->GetBrush()->SetColor(Obj.BrushColor);
    Canvas->GetBrush()->SetStyle(static_cast<cl::TBrushStyle>(Obj.BrushStyle));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Small drawing helpers on bitmaps

void IEAndRectWithColor(cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor Color) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) return;
    X1 = std::clamp(X1, 0, w - 1), X2 = std::clamp(X2, 0, w - 1);
    Y1 = std::clamp(Y1, 0, h - 1), Y2 = std::clamp(Y2, 0, h - 1);
    if (X1 > X2) std::swap(X1, X2);
    if (Y1 > Y2) std::swap(Y1, Y2);
    const cl::TColor rgb = cl::ColorToRGB(Color);
    const uint8_t r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    const cl::TPixelFormat pf = Bitmap->GetPixelFormat();
    for (int32_t y = Y1; y <= Y2; ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
        if (pf == cl::pf8bit) {
            std::memset(row + X1, r, static_cast<size_t>(X2 - X1 + 1));
        } else if (pf == cl::pf24bit) {
            for (int32_t x = X1; x <= X2; ++x) {
                row[x * 3] &= b;
                row[x * 3 + 1] &= g;
                row[x * 3 + 2] &= r;
            }
        } else {
            return;
        }
    }
}

void IEDrawRectFrame(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness,
                     cl::TColor Color) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || Bitmap->GetPixelFormat() != ie24RGB) return;
    const cl::TColor rgb = cl::ColorToRGB(Color);
    TRGB c;
    c.r = rgb & 0xFF, c.g = (rgb >> 8) & 0xFF, c.b = (rgb >> 16) & 0xFF;
    const bool alpha = Bitmap->HasAlphaChannel();
    auto put = [&](int32_t x, int32_t y) {
        Bitmap->SetPixel24(x, y, c);
        if (alpha) Bitmap->SetAlpha(x, y, 255);
    };
    for (int32_t t = 0; t < Thickness; ++t) {
        const int32_t cx1 = std::clamp(X1, 0, w - 1), cx2 = std::clamp(X2, 0, w - 1);
        const int32_t cy1 = std::clamp(Y1, 0, h - 1), cy2 = std::clamp(Y2, 0, h - 1);
        for (int32_t y : {Y1, Y2}) {
            if (y < 0 || y >= h) continue;
            for (int32_t x = cx1; x <= cx2; ++x) put(x, y);
        }
        for (int32_t x : {X1, X2}) {
            if (x < 0 || x >= w) continue;
            for (int32_t y = cy1; y <= cy2; ++y) put(x, y);
        }
        ++X1, ++Y1, --X2, --Y2;
        if (X1 > X2 || Y1 > Y2) break;
    }
}

void IEDrawRectFrameVcl(cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness,
                        cl::TColor Color) {
    TIEBitmap wrap;
    wrap.EncapsulateTBitmap(Bitmap, true);
    IEDrawRectFrame(&wrap, X1, Y1, X2, Y2, Thickness, Color);
}

// ---------------------------------------------------------------------------------------
// Polyline helpers

void TVovozIdVect::GetPolylineScale(const TIEVObjRecord& Obj, double& SX, double& SY) const {
    SX = Obj.PointsX1 == Obj.PointsX2 ? 1.0 : static_cast<double>(Obj.X2 - Obj.X1) / (Obj.PointsX2 - Obj.PointsX1);
    SY = Obj.PointsY1 == Obj.PointsY2 ? 1.0 : static_cast<double>(Obj.Y2 - Obj.Y1) / (Obj.PointsY2 - Obj.PointsY1);
}

void TVovozIdVect::UpdatePolylineBounds(TIEVObjRecord& Obj) {
    if (Obj.Points.empty()) return;
    double sx = 1, sy = 1;
    GetPolylineScale(Obj, sx, sy);
    int32_t minx = 1000000, miny = 1000000, maxx = -1000000, maxy = -1000000;
    int32_t pminx = 1000000, pminy = 1000000, pmaxx = -1000000, pmaxy = -1000000;
    for (const win::POINT& p : Obj.Points) {
        const int32_t x = static_cast<int32_t>(std::nearbyint((p.x - Obj.PointsX1) * sx)) + Obj.X1;
        const int32_t y = static_cast<int32_t>(std::nearbyint((p.y - Obj.PointsY1) * sy)) + Obj.Y1;
        minx = std::min(minx, x), maxx = std::max(maxx, x), miny = std::min(miny, y), maxy = std::max(maxy, y);
        pminx = std::min<int32_t>(pminx, p.x), pmaxx = std::max<int32_t>(pmaxx, p.x);
        pminy = std::min<int32_t>(pminy, p.y), pmaxy = std::max<int32_t>(pmaxy, p.y);
    }
    Obj.X1 = minx, Obj.Y1 = miny, Obj.X2 = maxx, Obj.Y2 = maxy;
    Obj.PointsX1 = pminx, Obj.PointsY1 = pminy, Obj.PointsX2 = pmaxx, Obj.PointsY2 = pmaxy;
}

void TVovozIdVect::DrawPolylinePointGrips(cl::TCanvas* Canvas) {
    if (GetSelObjectsCount() != 1) return;
    TIEVObjRecord* obj = GetObjRecord(GetSelObjects(0));
    if (!obj || obj->Kind != ievkPOLYLINE) return;
    Canvas->GetBrush()->SetColor(0x0000FF);
    Canvas->GetBrush()->SetStyle(cl::bsSolid);
    Canvas->GetPen()->SetColor(0);
    Canvas->GetPen()->SetStyle(cl::psSolid);
    Canvas->GetPen()->SetMode(cl::pmCopy);
    Canvas->GetPen()->SetWidth(1);
    for (const win::POINT& p : obj->DrawPoints) Canvas->Ellipse(p.x - 3, p.y - 3, p.x + 3, p.y + 3);
}

// ---------------------------------------------------------------------------------------
// Line ends and labels

void TVovozIdVect::DrawLineEndShape(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t EX, int32_t EY, int32_t OX,
                                    int32_t OY, uint8_t Shape, int32_t W, int32_t L) {
    if (Shape != 1 && Shape != 2) return;
    // u points from the end toward the other end, n across the line; every direction
    // (horizontal lines included) gets the same shapes.
    const double dx = OX - EX, dy = OY - EY;
    const double len = std::sqrt(dx * dx + dy * dy);
    if (len == 0) return;
    const double ux = dx / len, uy = dy / len, nx = -uy, ny = ux;
    const int32_t fx = EX + Trunc(L * ux), fy = EY + Trunc(L * uy);
    const int32_t hx = Trunc(W / 2.0 * nx), hy = Trunc(W / 2.0 * ny);
    std::vector<cl::TPoint> pts;
    if (Shape == 1)
        pts = {{EX + hx, EY + hy}, {EX - hx, EY - hy}, {fx, fy}};
    else
        pts = {{fx + hx, fy + hy}, {fx - hx, fy - hy}, {EX, EY}};
    Canvas->Polygon(pts);
    for (const cl::TPoint& p : pts) Grow(Obj.DrawnRect, p.x, p.y);
}

void TVovozIdVect::DrawLineLabel(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                 double ZoomY) {
    if (Obj.Text.empty()) return;
    const bool atEnd = Obj.LabelPosition == 1;
    const int32_t ax = atEnd ? X2 : X1, ay = atEnd ? Y2 : Y1;
    const int32_t ox = atEnd ? X1 : X2, oy = atEnd ? Y1 : Y2;
    SelectObjFont(Canvas, Obj, Trunc(ObjFontHeight(Obj) * ZoomY), Obj.PenColor);
    const double a = ObjFontEscapement(Obj) / 10.0 * Pi / 180.0;
    const int32_t tw = Canvas->TextWidth(Obj.Text), th = Canvas->TextHeight(Obj.Text);
    int32_t left = ax < ox ? ax - tw : ax;
    int32_t top = ay < oy ? ay - th : ay;
    const int32_t right = left + tw, bottom = top + th;
    const int32_t v = Trunc((bottom - top) - std::cos(a) * th + std::sin(a) * tw) / 2;
    int32_t m = 0;
    switch (Obj.TextAlign) {
        case 0: m = std::abs(Trunc(std::sin(a) * th)); break;
        case 1: m = Trunc((right - left) - std::cos(a) * tw); break;
        default: m = Trunc((right - left) - std::cos(a) * tw - std::sin(a) * th) / 2; break;
    }
    Canvas->GetBrush()->SetColor(Obj.LabelBrushColor);
    Canvas->GetBrush()->SetStyle(static_cast<cl::TBrushStyle>(Obj.LabelBrushStyle));
    Canvas->GetPen()->SetStyle(Obj.LabelBorder != 0 ? cl::psSolid : cl::psClear);
    Canvas->GetPen()->SetColor(Obj.PenColor);
    if (Obj.LabelBorder == 2) {
        Canvas->RoundRect(left, top, right + 1, bottom + 1, 10, 10);
    } else if (Obj.LabelBorder == 3) {
        Canvas->Ellipse(left, top - th, right + 1, bottom + th + 1);
        Grow(Obj.DrawnRect, left, top - th);
        Grow(Obj.DrawnRect, right, bottom + th);
    } else {
        Canvas->Rectangle(left, top, right + 1, bottom + 1);
    }
    Grow(Obj.DrawnRect, left, top);
    Grow(Obj.DrawnRect, right + 1, bottom + 1);
    Canvas->GetBrush()->SetStyle(cl::bsClear);
    Canvas->TextRectEx(cl::TRect{left, top, right, bottom}, left + m, top + v, Obj.Text);
    Obj.LabelX1 = ClientToBitmapX(left), Obj.LabelY1 = ClientToBitmapY(top);
    Obj.LabelX2 = ClientToBitmapX(right), Obj.LabelY2 = ClientToBitmapY(bottom);
}

// ---------------------------------------------------------------------------------------
// Pictures and texts

void TVovozIdVect::DrawBitmapObject(TIECanvas* Canvas, TIEVObjRecord& Obj, cl::TBitmap* Dest, TIEBitmap* DestIE,
                                    int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t PenWidth) {
    TIEBitmap* pic = Obj.BitmapIndex >= 0 ? GetBitmapByIndex(Obj.BitmapIndex) : nullptr;
    if (!pic || pic->GetWidth() <= 0 || pic->GetHeight() <= 0) {
        Canvas->GetCanvas()->GetPen()->SetColor(Obj.PenColor);
        Canvas->DrawLine(X1, Y1, X2, Y2);
        Canvas->DrawLine(X2, Y1, X1, Y2);
        Canvas->Rectangle(X1, Y1, X2 + 1, Y2 + 1);
        return;
    }
    if (X1 > X2) std::swap(X1, X2);
    if (Y1 > Y2) std::swap(Y1, Y2);
    const TResampleFilter filter = FastPending ? rfNone : FBitmapResampleFilter;
    if (DestIE) {
        if (Obj.BitmapBorder) IEDrawRectFrame(DestIE, X1, Y1, X2, Y2, PenWidth, Obj.PenColor);
        pic->StretchRectTo(DestIE, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 0, 0, pic->GetWidth(), pic->GetHeight(), filter,
                           Obj.Transparency);
    } else {
        if (Obj.BitmapBorder) IEDrawRectFrameVcl(Dest, X1, Y1, X2, Y2, PenWidth, Obj.PenColor);
        TIERowCache rows;
        TIECoordTable xt, yt;
        pic->RenderToTBitmap(Dest, rows, xt, yt, nullptr, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 0, 0, pic->GetWidth(),
                             pic->GetHeight(), pic->HasAlphaChannel(), false, Obj.Transparency, filter, true, boCopy);
    }
}

void TVovozIdVect::DrawTextObject(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t hobj, int32_t X1, int32_t Y1,
                                  int32_t X2, int32_t Y2, double ZoomX, double ZoomY, bool AlphaPass) {
    if (Obj.Kind == ievkMEMO) {
        // The memo editor shows a memo being edited.
        if (hobj >= 0 && hobj == FEditing) return;
        DrawMemoText(Canvas, Obj, std::min(X1, X2), std::min(Y1, Y2), ZoomY, AlphaPass);
        return;
    }
    if (Obj.Text.empty()) return;
    if (hobj >= 0 && hobj == FEditing) {
        Canvas->GetBrush()->SetStyle(cl::bsClear);
        Canvas->Rectangle(X1 - 1, Y1 - 1, X2 + 1, Y2 + 1);
        return;
    }
    const int32_t lh = ObjFontHeight(Obj);
    SelectObjFont(Canvas, Obj, lh == 0 ? Y2 - Y1 : Trunc(ZoomY * lh), Obj.PenColor);
    if (Obj.CurvePoints.empty()) {
        const double a = ObjFontEscapement(Obj) / 10.0 * Pi / 180.0;
        const int32_t tw = Canvas->TextWidth(Obj.Text), th = Canvas->TextHeight(Obj.Text);
        const int32_t v = Trunc((Y2 - Y1) - std::cos(a) * th + std::sin(a) * tw) / 2;
        const bool pen = Obj.PenStyle != cl::psClear;
        const int32_t penGap = static_cast<int32_t>(std::nearbyint(ZoomX * (Obj.PenWidth + 1)));
        int32_t m = 0;
        switch (Obj.TextAlign) {
            case 0: m = std::abs(Trunc(std::sin(a) * th)) + (pen ? penGap : 0); break;
            case 1: m = Trunc((X2 - X1) - std::cos(a) * tw) - (pen ? penGap : 0); break;
            default: m = Trunc((X2 - X1) - std::cos(a) * tw - std::sin(a) * th) / 2; break;
        }
        Canvas->Rectangle(X1, Y1, X2 + 1, Y2 + 1);
        Canvas->GetBrush()->SetStyle(cl::bsClear);
        Canvas->TextRectEx(cl::TRect{X1, Y1, X2, Y2}, X1 + m, Y1 + v, Obj.Text);
        return;
    }
    // Curved text: the characters are spread evenly along the mapped curve, each one turned
    // along the path (or by the fixed CurveCharAngle).
    const double W = std::abs(X2 - X1), H = std::abs(Y2 - Y1);
    std::vector<std::pair<double, double>> pts;
    for (const TIEVDPoint& p : Obj.CurvePoints) pts.emplace_back(p.X * W, p.Y * H);
    double total = 0;
    for (size_t i = 1; i < pts.size(); ++i)
        total += std::hypot(pts[i].first - pts[i - 1].first, pts[i].second - pts[i - 1].second);
    const double step = Trunc(total / static_cast<double>(Obj.Text.size()));
    if (step <= 0) return;
    const win::LOGFONTA base = Canvas->GetFont()->GetLogFont();
    const cl::TColor fontColor = Canvas->GetFont()->GetColor();
    const int32_t left = std::min(X1, X2), top = std::min(Y1, Y2);
    size_t ch = 0;
    double acc = 0, cx = pts[0].first, cy = pts[0].second;
    Canvas->GetBrush()->SetStyle(cl::bsClear);
    for (size_t i = 1; i < pts.size(); ++i) {
        acc += std::hypot(pts[i].first - pts[i - 1].first, pts[i].second - pts[i - 1].second);
        while (acc >= step && ch < Obj.Text.size()) {
            double nx = cx, ny = cy;
            if (acc != 0) {
                nx = cx + (pts[i].first - cx) * step / acc;
                ny = cy + (pts[i].second - cy) * step / acc;
            }
            int32_t angle = Obj.CurveCharAngle;
            if (angle == -10) {
                const double dx = nx - cx, dy = ny - cy;
                if (std::abs(dx) >= 0.01) {
                    double r = std::atan(-dy / dx);
                    if (cx > nx) r += Pi;
                    angle = Trunc(r * 180.0 / Pi * 10.0 + 0.5);
                } else {
                    angle = dy > 0 ? 2700 : 900;
                }
            }
            win::LOGFONTA lf = base;
            lf.lfEscapement = angle;
            Canvas->GetFont()->SetLogFont(lf);
            Canvas->GetFont()->SetColor(fontColor);
            const cl::String c(1, Obj.Text[ch]);
            const int32_t px = left + Trunc(cx), py = top + Trunc(cy);
            const int32_t gw = Canvas->TextWidth(c), gh = Canvas->TextHeight(c);
            // The character is centred on the path at its baseline.
            Canvas->TextOut(px - gw / 2, py - gh * 3 / 4, c);
            Grow(Obj.DrawnRect, px, py);
            Grow(Obj.DrawnRect, px + gw, py + gh);
            Grow(Obj.DrawnRect, px - gw, py - gh);
            ++ch;
            acc -= step;
            cx = nx, cy = ny;
        }
        cx = pts[i].first, cy = pts[i].second;
    }
}

// A memo is laid out and drawn by a windowless rich-text control that borrows the object's
// text and style records for the drawing and gives them back.
void TVovozIdVect::DrawMemoText(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t X1, int32_t Y1, double ZoomY,
                                bool AlphaPass) {
    TIETextControl tc(nullptr);
    // The object gets its text and records back however the drawing ends: one style index
    // per character; a memo without records keeps none (the control made a default one for
    // the drawing only).
    struct TLend {
        TIETextControl& C;
        TIEVObjRecord& O;
        bool HadStyles;
        ~TLend() {
            O.Text = std::move(C.TextBuffer);
            if (HadStyles && C.StyleList) {
                O.MemoStyles = std::move(*C.StyleList);
                O.MemoCharStyles = std::move(C.CharStyles);
                O.MemoCharStyles.resize(O.Text.size(), 0);
            } else {
                O.MemoStyles.clear();
                O.MemoCharStyles.clear();
            }
            C.StyleList.reset();
            C.CharStyles.clear();
        }
    } lend{tc, Obj, !Obj.MemoStyles.empty()};
    tc.TextBuffer = std::move(Obj.Text);
    tc.StyleList = std::make_unique<TIECharStyles>(std::move(Obj.MemoStyles));
    tc.CharStyles = std::move(Obj.MemoCharStyles);
    tc.TextZoom = ZoomY;
    for (int i = 0; i < 4; ++i) tc.TextMargins[i] = Obj.MemoMargins[i];
    cl::TFont* font = tc.GetDefaultFont();
    if (Obj.Font) {
        font->SetName(cl::String(Obj.Font->lfFaceName, strnlen(Obj.Font->lfFaceName, sizeof(Obj.Font->lfFaceName))));
        font->SetStyle(IELogFontToStyles(&*Obj.Font));
    }
    font->SetColor(Obj.PenColor);
    font->SetHeight(ObjFontHeight(Obj));
    tc.GetCharBackBrush()->SetColor(Obj.BrushColor);
    tc.GetCharBackBrush()->SetStyle(static_cast<cl::TBrushStyle>(Obj.MemoFillStyle));
    tc.DefaultAlignment = Obj.TextAlign;
    tc.GetFillBrush()->SetColor(Obj.BrushColor);
    tc.GetFillBrush()->SetStyle(static_cast<cl::TBrushStyle>(Obj.BrushStyle));
    tc.KeepCanvasColors = AlphaPass;
    tc.AlphaPass = AlphaPass;
    tc.SetSingleStyle(Obj.MemoFixedFont);
    tc.AutoGrow = Obj.AutoSize;
    tc.LineSpacing = Obj.MemoLineSpacing;
    tc.GetFramePen()->SetColor(Obj.MemoBorderColor);
    tc.GetFramePen()->SetStyle(static_cast<cl::TPenStyle>(Obj.MemoBorderStyle));
    tc.FixedLineHeight = Obj.MemoLineHeight;
    tc.ResetText();
    tc.LayoutAndDraw(Canvas, X1, Y1, std::abs(Obj.X2 - Obj.X1) + 1, std::abs(Obj.Y2 - Obj.Y1) + 1);
}

// ---------------------------------------------------------------------------------------
// Rulers and angles

void TVovozIdVect::DrawRuler(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t AX, int32_t AY, int32_t BX, int32_t BY,
                             double InvZoomY, double InvZoomX, double Length) {
    Canvas->GetPen()->SetStyle(cl::psSolid);
    Canvas->GetPen()->SetWidth(static_cast<float>(Obj.PenWidth));
    Canvas->GetPen()->SetColor(Obj.PenColor);
    Canvas->GetBrush()->SetStyle(cl::bsClear);
    const int32_t fh = std::max(3, Trunc(std::abs(ObjFontHeight(Obj)) / InvZoomY));
    SelectObjFont(Canvas, Obj, -fh, Obj.PenColor);
    Canvas->DrawLine(AX, AY, BX, BY);
    Grow(Obj.DrawnRect, AX, AY);
    Grow(Obj.DrawnRect, BX, BY);
    // R: the direction across the ruler.
    const double along = std::atan2(static_cast<double>(BY - AY), static_cast<double>(BX - AX));
    const double R = along + Pi / 2;
    const int32_t B = Trunc(std::hypot(BX - AX, BY - AY));
    double sx = 1, sy = 1;
    CalcMeasureScale(sx, sy, static_cast<TIEUnits>(Obj.RulerUnit));
    if (Obj.RulerType == 0) {
        const double vx = InvZoomX * sx * 10, vy = InvZoomY * sy * 10;
        if (vx == 0 || vy == 0) return;
        const double ux = std::cos(along), uy = std::sin(along);
        for (int32_t i = 0;; ++i) {
            const double d = std::hypot(i / vx * ux, i / vy * uy);
            const double dx = d * ux, dy = d * uy;
            if (Trunc(std::sqrt(dx * dx + dy * dy)) > B || i > 100000) break;
            const double h = (i % 10 == 0 ? 12 : i % 5 == 0 ? 8 : 6) / InvZoomY;
            const int32_t tx1 = AX + Trunc(std::cos(R) * h + dx), ty1 = AY + Trunc(std::sin(R) * h + dy);
            const int32_t tx2 = AX + Trunc(std::cos(R + Pi) * h + dx), ty2 = AY + Trunc(std::sin(R + Pi) * h + dy);
            Canvas->DrawLine(tx1, ty1, tx2, ty2);
            Grow(Obj.DrawnRect, tx1, ty1);
            Grow(Obj.DrawnRect, tx2, ty2);
            if (i % 10 == 0) {
                const cl::String t = std::to_string(i / 10);
                const int32_t x = tx1 + Trunc(std::cos(R) * 2), y = ty1 + Trunc(std::sin(R) * 2);
                Canvas->TextOut(x, y, t);
                Grow(Obj.DrawnRect, x - 15, y - 15);
                Grow(Obj.DrawnRect, x + 15, y + 15);
            }
        }
        return;
    }
    const double t9x = 9 / InvZoomX, t9y = 9 / InvZoomY;
    for (const auto& [ex, ey] : {std::pair{AX, AY}, std::pair{BX, BY}}) {
        const int32_t x1 = ex + Trunc(std::cos(R) * t9x), y1 = ey + Trunc(std::sin(R) * t9y);
        const int32_t x2 = ex + Trunc(std::cos(R + Pi) * t9x), y2 = ey + Trunc(std::sin(R + Pi) * t9y);
        Canvas->DrawLine(x1, y1, x2, y2);
        Grow(Obj.DrawnRect, x1, y1);
        Grow(Obj.DrawnRect, x2, y2);
    }
    const double lineAngle = IELineAngle(AX, AY, BX, BY);
    double q = 2 * Pi - lineAngle;
    if (RulerReadableLabels && q > Pi / 2 && q <= 3 * Pi / 2) q -= Pi;
    double value = Length;
    if (value == -1) value = std::hypot(std::abs(BX - AX) * sx * InvZoomX, std::abs(BY - AY) * sy * InvZoomY);
    cl::String text = IEFloatToStrF(value, 2 /* ffFixed */, FFloatPrecision, FFloatDigits) + " " +
                      IEUnitSuffix(static_cast<TIEUnits>(Obj.RulerUnit));
    if (OnPresentMeasure) OnPresentMeasure(this, text, value, ievtLENGTH);
    win::LOGFONTA lf = Canvas->GetFont()->GetLogFont();
    lf.lfEscapement = Trunc(-q * 180 / Pi * 10);
    Canvas->GetFont()->SetLogFont(lf);
    Canvas->GetFont()->SetColor(Obj.PenColor);
    const bool upright = !(RulerReadableLabels && lineAngle >= Pi / 2 - 0.000001 && lineAngle <= 3 * Pi / 2);
    if (Obj.RulerType == 1) text = " " + text;
    if (Obj.RulerType == 3) text += " ";
    const int32_t L = Canvas->TextWidth(text), M = Canvas->TextHeight(text);
    int32_t px = 0, py = 0;
    if (Obj.RulerType == 1) {
        px = upright ? AX : BX, py = upright ? AY : BY;
    } else if (Obj.RulerType == 2) {
        if (upright)
            px = AX + Trunc(std::cos(q) * (B - L) / 2), py = AY + Trunc(std::sin(q) * (B - L) / 2);
        else
            px = AX - Trunc(std::cos(q) * (L + B) / 2), py = AY - Trunc(std::sin(q) * (L + B) / 2);
    } else {
        if (upright)
            px = AX + Trunc(std::cos(q) * (B - L)), py = AY + Trunc(std::sin(q) * (B - L));
        else
            px = BX + Trunc(std::cos(q) * (B - L)), py = BY + Trunc(std::sin(q) * (B - L));
    }
    Canvas->TextOut(px, py, text);
    const int32_t qx = px + Trunc(std::cos(q) * L - std::sin(q) * M),
                  qy = py + Trunc(std::sin(q) * L + std::cos(q) * M);
    for (const auto& [x, y] : {std::pair{px, py}, std::pair{qx, qy}}) {
        Grow(Obj.DrawnRect, x - 15, y - 15);
        Grow(Obj.DrawnRect, x + 15, y + 15);
    }
}

cl::String IEVectAngleLabel(double Degrees, int32_t Precision, int32_t Digits) {
    return IEFloatToStrF(Degrees, 2, Precision, Digits) + "\xC2\xB0";
}

void TVovozIdVect::DrawAngle(TIECanvas* Canvas, TIEVObjRecord& Obj, double InvZoomY, int32_t Factor, bool UseZoom) {
    if (Obj.AnglePoints[0].x == IEVUnsetPoint) return;
    Canvas->GetPen()->SetStyle(cl::psSolid);
    Canvas->GetPen()->SetWidth(static_cast<float>(Obj.PenWidth));
    Canvas->GetPen()->SetColor(Obj.PenColor);
    Canvas->GetBrush()->SetStyle(cl::bsClear);
    SelectObjFont(Canvas, Obj, -std::max(3, Trunc(std::abs(ObjFontHeight(Obj)) / InvZoomY)), Obj.PenColor);
    cl::TPoint p[3];
    int32_t n = 0;
    for (int32_t i = 0; i < 3 && Obj.AnglePoints[i].x != IEVUnsetPoint; ++i) {
        const int32_t x = UseZoom ? BitmapToClientX(Obj.AnglePoints[i].x) : Obj.AnglePoints[i].x;
        const int32_t y = UseZoom ? BitmapToClientY(Obj.AnglePoints[i].y) : Obj.AnglePoints[i].y;
        p[i] = {x * Factor, y * Factor};
        if (i == 0)
            Canvas->MoveTo(p[i].x, p[i].y);
        else
            Canvas->LineTo(p[i].x, p[i].y);
        Grow(Obj.DrawnRect, p[i].x, p[i].y);
        ++n;
    }
    if (n < 3) return;
    double angle = IEAngleAtVertex(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y) * 180.0 / Pi;
    const bool over = AngleOver180 && angle >= 180;
    if (over) angle = 360 - angle;
    const cl::String text = IEVectAngleLabel(angle, FFloatPrecision, FFloatDigits);
    Canvas->TextOut(p[1].x, p[1].y, text);
    Grow(Obj.DrawnRect, p[1].x, p[1].y);
    Grow(Obj.DrawnRect, p[1].x + Canvas->TextWidth(text), p[1].y + Canvas->TextHeight(text));
    const int32_t r = std::min(Trunc(std::hypot(p[2].x - p[1].x, p[2].y - p[1].y)) / 4,
                               Trunc(std::hypot(p[0].x - p[1].x, p[0].y - p[1].y)) / 4);
    const cl::TPoint& from = over ? p[2] : p[0];
    const cl::TPoint& to = over ? p[0] : p[2];
    Canvas->Arc(p[1].x - r, p[1].y - r, p[1].x + r, p[1].y + r, from.x, from.y, to.x, to.y);
    Grow(Obj.DrawnRect, p[1].x - r, p[1].y - r);
    Grow(Obj.DrawnRect, p[1].x + r, p[1].y + r);
}

// ---------------------------------------------------------------------------------------
// One object

bool TVovozIdVect::DrawObject(TIEVObjRecord& Obj, int32_t hobj, bool AlphaPass, int32_t Factor, TIEBitmap* DestIE,
                              bool UseZoom, bool OnlyVisible, cl::TBitmap* Dest) {
    if (ObjectsSuspended) return false;
    double zoomX = UseZoom ? GetZoomX() / 100.0 : 1.0, zoomY = UseZoom ? GetZoomY() / 100.0 : 1.0;
    if (Factor > 1) zoomX *= Factor, zoomY *= Factor;
    auto toX = [&](int32_t X) { return (UseZoom ? BitmapToClientX(X) : X) * Factor; };
    auto toY = [&](int32_t Y) { return (UseZoom ? BitmapToClientY(Y) : Y) * Factor; };
    const int32_t x1 = toX(Obj.X1), y1 = toY(Obj.Y1);
    int32_t x2 = toX(Obj.X2), y2 = toY(Obj.Y2);
    if (Obj.Kind == ievkBITMAP) {
        if (zoomY != 1) y2 = toY(Obj.Y2 + 1) - 1;
        if (zoomX != 1) x2 = toX(Obj.X2 + 1) - 1;
    }
    if (Obj.Highlight) Obj.PenWidth = 1;
    const int32_t penWidth = GetZoomedPenWidth(Obj, zoomX, zoomY);

    TIECanvas canvas(Dest->GetCanvas(), FObjAntialias && !(FastPending && FastDrawWhileDragging), true);
    TIEPen* pen = canvas.GetPen();
    pen->SetStyle(static_cast<cl::TPenStyle>(Obj.PenStyle));
    pen->SetWidth(static_cast<float>(penWidth));
    pen->SetMode(cl::pmCopy);
    pen->SetColor(Obj.PenColor);
    pen->SetTransparency(Obj.Transparency);
    canvas.GetBrush()->SetTransparency(Obj.Transparency);

    Obj.DrawnRect = cl::TRect{2000000000, 2000000000, -2000000000, -2000000000};
    Obj.DrawnPenWidth = penWidth;
    if (!Obj.HasOption(ievoVisible)) return false;
    if (OnlyVisible) {
        const int32_t ix1 = GetOffsetX() * Factor, iy1 = GetOffsetY() * Factor;
        const int32_t ix2 = (GetOffsetX() + GetExtentWidth()) * Factor,
                      iy2 = (GetOffsetY() + GetExtentHeight()) * Factor;
        if (!IEBoxesIntersect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), ix1, iy1, ix2,
                              iy2))
            return false;
    }
    const cl::TRect box{x1, y1, x2, y2};
    bool handled = false;
    if (OnBeforeDrawObject) {
        OnBeforeDrawObject(this, hobj, Dest, box, AlphaPass, handled);
        Grow(Obj.DrawnRect, x1, y1);
        Grow(Obj.DrawnRect, x2, y2);
    }
    if (!handled) {
        switch (Obj.Kind) {
            case ievkLINE:
            case ievkLINELABEL: {
                pen->SetLineJoin(ieljRound);
                canvas.DrawLine(x1, y1, x2, y2);
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                const int32_t w = Trunc(Obj.ShapeWidth * zoomX), l = Trunc(Obj.ShapeLength * zoomY);
                SetBrush(&canvas, Obj);
                pen->SetLineJoin(ieljMiter);
                DrawLineEndShape(&canvas, Obj, x1, y1, x2, y2, Obj.StartShape, w, l);
                DrawLineEndShape(&canvas, Obj, x2, y2, x1, y1, Obj.EndShape, w, l);
                if (Obj.Kind == ievkLINELABEL) DrawLineLabel(&canvas, Obj, x1, y1, x2, y2, zoomY);
                break;
            }
            case ievkBOX:
                pen->SetLineJoin(ieljMiter);
                SetBrush(&canvas, Obj);
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                if (Obj.Highlight)
                    IEAndRectWithColor(Dest, x1, y1, x2, y2, Obj.BrushColor);
                else
                    canvas.Rectangle(x1, y1, x2 + 1, y2 + 1);
                break;
            case ievkELLIPSE:
                SetBrush(&canvas, Obj);
                canvas.Ellipse(x1, y1, x2 + 1, y2 + 1);
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                break;
            case ievkARC: {
                SetBrush(&canvas, Obj);
                const double rx = (x2 - x1) / 2.0, ry = (y2 - y1) / 2.0;
                const int32_t sx = x1 + Trunc(rx + std::cos(Obj.ArcStart) * rx);
                const int32_t sy = y1 + Trunc(ry + std::sin(Obj.ArcStart) * ry);
                const int32_t ex = x1 + Trunc(rx + std::cos(Obj.ArcEnd) * rx);
                const int32_t ey = y1 + Trunc(ry + std::sin(Obj.ArcEnd) * ry);
                // Start and end in the same direction make the whole ellipse.
                if ((sx == ex && sy == ey) || std::abs(std::remainder(Obj.ArcEnd - Obj.ArcStart, 2 * Pi)) < 1e-9) {
                    canvas.GetBrush()->SetStyle(cl::bsClear);
                    canvas.Ellipse(x1, y1, x2 + 1, y2 + 1);
                } else {
                    canvas.Arc(x1, y1, x2 + 1, y2 + 1, sx, sy, ex, ey);
                }
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                break;
            }
            case ievkBITMAP:
                SetBrush(&canvas, Obj);
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                DrawBitmapObject(&canvas, Obj, Dest, DestIE, x1, y1, x2, y2, penWidth);
                break;
            case ievkTEXT:
            case ievkMEMO:
                pen->SetLineJoin(ieljMiter);
                SetBrush(&canvas, Obj);
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                if (Obj.Kind == ievkMEMO && Obj.MemoHasBitmap && !AlphaPass)
                    DrawBitmapObject(&canvas, Obj, Dest, DestIE, x1, y1, x2, y2, penWidth);
                DrawTextObject(&canvas, Obj, hobj, x1, y1, x2, y2, zoomX, zoomY, AlphaPass);
                break;
            case ievkRULER: {
                SetBrush(&canvas, Obj);
                double sx = 1, sy = 1;
                CalcMeasureScale(sx, sy, static_cast<TIEUnits>(Obj.RulerUnit));
                const double len = std::hypot(std::abs(Obj.X2 - Obj.X1) * sx, std::abs(Obj.Y2 - Obj.Y1) * sy);
                DrawRuler(&canvas, Obj, x1, y1, x2, y2, 1 / zoomY, 1 / zoomX, len);
                break;
            }
            case ievkPOLYLINE: {
                pen->SetLineJoin(ieljRound);
                SetBrush(&canvas, Obj);
                if ((Obj.PointsX1 != Obj.PointsX2 || Obj.PointsY1 != Obj.PointsY2) && !Obj.Points.empty()) {
                    if (Obj.DrawPoints.capacity() < Obj.Points.size()) Obj.DrawPoints.reserve(Obj.Points.size() * 2);
                    Obj.DrawPoints.resize(Obj.Points.size());
                    double sx = 1, sy = 1;
                    GetPolylineScale(Obj, sx, sy);
                    std::vector<cl::TPoint> pts(Obj.Points.size());
                    for (size_t i = 0; i < Obj.Points.size(); ++i) {
                        const auto px = static_cast<int32_t>(std::nearbyint((Obj.Points[i].x - Obj.PointsX1) * sx));
                        const auto py = static_cast<int32_t>(std::nearbyint((Obj.Points[i].y - Obj.PointsY1) * sy));
                        pts[i] = {toX(px + Obj.X1), toY(py + Obj.Y1)};
                        Obj.DrawPoints[i] = {pts[i].x / Factor, pts[i].y / Factor};
                    }
                    if (Obj.Closed)
                        canvas.Polygon(pts);
                    else
                        canvas.Polyline(pts);
                }
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                break;
            }
            case ievkANGLE:
                SetBrush(&canvas, Obj);
                DrawAngle(&canvas, Obj, 1 / zoomY, Factor, UseZoom);
                break;
            case ievkEXTENDED:
                SetBrush(&canvas, Obj);
                Grow(Obj.DrawnRect, x1, y1);
                Grow(Obj.DrawnRect, x2, y2);
                if (Obj.ExtObject) Obj.ExtObject->Draw(Dest, x1, y1, x2, y2, AlphaPass, zoomX, zoomY);
                break;
            default: break;
        }
        ++FDrawnObjects;
    }
    if (OnAfterDrawObject) {
        OnAfterDrawObject(this, hobj, Dest, box, AlphaPass, handled);
        Grow(Obj.DrawnRect, x1, y1);
        Grow(Obj.DrawnRect, x2, y2);
    }
    return true;
}

}  // namespace ie
