// Hit testing, grips and measuring of the vector view: the distance from a point to each kind
// of object (computed from the object's geometry), the object under a point, the grips of the
// selection, measure units, the length and area of the view's polygon selection and the
// measure hint.
#include <algorithm>
#include <climits>
#include <cmath>

#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_geometry.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"

namespace ie {

namespace {

// The number of leading angle points that are set.
int32_t CountSetPoints(const win::POINT* Points) {
    int32_t n = 0;
    while (n < 3 && Points[n].x != IEVUnsetPoint) ++n;
    return n;
}

// The polyline's recorded points are mapped onto its box by these factors.
void PolylineScale(const TIEVObjRecord& Obj, double& SX, double& SY) {
    SX = Obj.PointsX1 == Obj.PointsX2
             ? 1.0
             : static_cast<double>(Obj.X2 - Obj.X1) / static_cast<double>(Obj.PointsX2 - Obj.PointsX1);
    SY = Obj.PointsY1 == Obj.PointsY2
             ? 1.0
             : static_cast<double>(Obj.Y2 - Obj.Y1) / static_cast<double>(Obj.PointsY2 - Obj.PointsY1);
}

// A picture column or row for a point of the box: Round((P - P1) / ((P2 - P1) / Size)),
// clamped to the picture.
int32_t PictureCoord(int32_t P, int32_t P1, int32_t P2, int32_t Size) {
    if (Size <= 0) return 0;
    if (P2 == P1) return 0;
    const double v = std::nearbyint((P - P1) / (static_cast<double>(P2 - P1) / Size));
    if (!(v > 0)) return 0;
    return v >= Size - 1 ? Size - 1 : static_cast<int32_t>(v);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Distances

double TVovozIdVect::BitmapObjectDistance(const TIEVObjRecord& Obj, int32_t X, int32_t Y) {
    double d = IEDistPointToRectOutline(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2, 1, true);
    if (d != 0 || !BitmapAlphaHitTest) return d;
    TIEBitmap* picture = GetBitmapByIndex(Obj.BitmapIndex);
    if (!picture || !picture->HasAlphaChannel() || picture->GetWidth() <= 0 || picture->GetHeight() <= 0) return d;
    const int32_t col = PictureCoord(X, Obj.X1, Obj.X2, picture->GetWidth());
    const int32_t row = PictureCoord(Y, Obj.Y1, Obj.Y2, picture->GetHeight());
    const auto* alpha = static_cast<const uint8_t*>(picture->GetAlphaChannel()->GetScanline(row));
    return alpha[col] != 0 ? 0.0 : 1000.0;
}

double TVovozIdVect::ObjectDistance(const TIEVObjRecord& Obj, int32_t X, int32_t Y) {
    switch (Obj.Kind) {
        case ievkLINE:
        case ievkLINELABEL: {
            double d = IEDistPointToSegment(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2);
            if (Obj.PenWidth > 1) d = std::max(0.0, d - Obj.PenWidth / 2.0);
            if (Obj.Kind == ievkLINELABEL)
                d = std::min(
                    d, IEDistPointToRectOutline(X, Y, Obj.LabelX1, Obj.LabelY1, Obj.LabelX2, Obj.LabelY2, 1, true));
            return d;
        }
        case ievkELLIPSE:
            return IEDistPointToEllipse(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2, Obj.PenWidth,
                                        Obj.BrushStyle != cl::bsClear);
        case ievkARC: return IEDistPointToEllipse(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2, Obj.PenWidth, false);
        case ievkBITMAP: return BitmapObjectDistance(Obj, X, Y);
        case ievkRULER: return IEDistPointToSegment(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2);
        case ievkPOLYLINE: {
            double sx, sy;
            PolylineScale(Obj, sx, sy);
            const int32_t n = Obj.GetPointCount();
            if (Obj.Closed && Obj.BrushStyle != cl::bsClear &&
                IEPointInScaledPolygon(X, Y, Obj.Points.data(), sx, sy, Obj.X1, Obj.Y1, Obj.PointsX1, Obj.PointsY1, n))
                return 0;
            return IEDistPointToPolyline(X, Y, Obj.Points.data(), n, Obj.Closed, Obj.PenWidth, sx, sy, Obj.X1, Obj.Y1,
                                         Obj.PointsX1, Obj.PointsY1);
        }
        case ievkANGLE:
            return IEDistPointToPolyline(X, Y, Obj.AnglePoints, CountSetPoints(Obj.AnglePoints), false, Obj.PenWidth,
                                         1.0, 1.0, 0, 0, 0, 0);
        case ievkBOX:
            return IEDistPointToRectOutline(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2, Obj.PenWidth,
                                            Obj.BrushStyle != cl::bsClear || FillBoxHitTest);
        case ievkTEXT:
        case ievkMEMO:
        case ievkEXTENDED: return IEDistPointToRectOutline(X, Y, Obj.X1, Obj.Y1, Obj.X2, Obj.Y2, Obj.PenWidth, true);
        default: return -1;
    }
}

void TVovozIdVect::VisibleBitmapArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
    const double ix = 1.0 / GetZoomFactorX(), iy = 1.0 / GetZoomFactorY();
    X1 = static_cast<int32_t>(std::trunc(GetOriginX() * ix));
    Y1 = static_cast<int32_t>(std::trunc(GetOriginY() * iy));
    X2 = static_cast<int32_t>(std::trunc((GetOriginX() + GetDisplayWidth()) * ix));
    Y2 = static_cast<int32_t>(std::trunc((GetOriginY() + GetDisplayHeight()) * iy));
    if (X2 == 0) X2 = INT_MAX;
    if (Y2 == 0) Y2 = INT_MAX;
}

int32_t TVovozIdVect::FindObjectAt(int32_t X, int32_t Y, bool SelectableOnly, double& Distance) {
    int32_t ax1, ay1, ax2, ay2;
    VisibleBitmapArea(ax1, ay1, ax2, ay2);
    Distance = IENoDistance;
    int32_t result = IEV_ALL_OBJECTS;
    for (auto it = FDrawOrder.rbegin(); it != FDrawOrder.rend(); ++it) {
        const TIEVObjRecord& obj = *FObjects[static_cast<size_t>(*it)];
        if (!obj.HasOption(ievoVisible)) continue;
        if (SelectableOnly && !obj.HasOption(ievoSelectable)) continue;
        if (!IEBoxesIntersect(obj.X1, obj.Y1, obj.X2, obj.Y2, ax1, ay1, ax2, ay2)) continue;
        const double d = ObjectDistance(obj, X, Y);
        if (d < 0) continue;  // not a kind that can be hit
        if (d < Distance) {
            Distance = d;
            result = *it;
        }
    }
    if (result >= 0 && MaxSelectionDistance >= 0 && Distance > MaxSelectionDistance / GetZoomFactorX())
        result = IEV_ALL_OBJECTS;
    return result;
}

int32_t TVovozIdVect::FindObjectAtClient(int32_t X, int32_t Y, double& Distance) {
    return FindObjectAt(ClientToBitmapX(X), ClientToBitmapY(Y), false, Distance);
}

// ---------------------------------------------------------------------------------------
// Grips

int32_t TVovozIdVect::GetZoomedPenWidth(const TIEVObjRecord& Obj, double ZoomX, double ZoomY) const {
    if (!FZoomObjectsWidth) return Obj.PenWidth;
    return static_cast<int32_t>(std::ceil(std::max(std::min(ZoomX, ZoomY) * Obj.PenWidth, 1.0)));
}

void TVovozIdVect::ObjectClientBox(const TIEVObjRecord& Obj, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
    X1 = BitmapToClientX(Obj.X1);
    Y1 = BitmapToClientY(Obj.Y1);
    X2 = BitmapToClientX(Obj.X2);
    Y2 = BitmapToClientY(Obj.Y2);
    // A zoomed picture covers its last pixel whole: its edge is the last client pixel of it.
    if (Obj.Kind == ievkBITMAP) {
        if (GetZoomFactorX() != 1.0) X2 = BitmapToClientX(Obj.X2 + 1) - 1;
        if (GetZoomFactorY() != 1.0) Y2 = BitmapToClientY(Obj.Y2 + 1) - 1;
    }
}

bool TVovozIdVect::ObjectGripsShown(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return IEBoxesIntersect(X1, Y1, X2, Y2, GetOffsetX(), GetOffsetY(), GetOffsetX() + GetDisplayWidth(),
                            GetOffsetY() + GetDisplayHeight());
}

bool TVovozIdVect::IsOverGrip(int32_t GX, int32_t GY, int32_t X, int32_t Y) const {
    return X >= GX - GripSize && X < GX + GripSize && Y >= GY - GripSize && Y < GY + GripSize;
}

int32_t TVovozIdVect::FindGripAt(int32_t X, int32_t Y, uint8_t& Grip) {
    Grip = 0;
    const int32_t bx = ClientToBitmapX(X), by = ClientToBitmapY(Y);
    for (size_t i = 0; i < FSelection.size(); ++i) {
        const TIEVObjRecord* obj = GetObjRecord(FSelection[i]);
        if (!obj) continue;
        int32_t x1, y1, x2, y2;
        ObjectClientBox(*obj, x1, y1, x2, y2);
        if (!ObjectGripsShown(x1, y1, x2, y2)) continue;
        uint8_t code = 0;
        if (IsOverGrip(x1, y1, X, Y)) {
            code = 1;
        } else if (IsOverGrip(x2, y2, X, Y)) {
            code = 2;
        } else if (ShowCenterGrip) {
            const int32_t l = std::min(x1, x2), t = std::min(y1, y2);
            if (IsOverGrip(l + (std::abs(x2 - x1) + 1) / 2, t + (std::abs(y2 - y1) + 1) / 2, X, Y)) code = 3;
        } else if (ObjectDistance(*obj, bx, by) < 1) {
            code = 3;
        }
        if (!IEIsLineLikeKind(obj->Kind)) {
            const int32_t mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
            if (IsOverGrip(x2, y1, X, Y)) code = 4;
            if (IsOverGrip(x1, y2, X, Y)) code = 5;
            if (IsOverGrip(x1, my, X, Y)) code = 6;
            if (IsOverGrip(x2, my, X, Y)) code = 7;
            if (IsOverGrip(mx, y1, X, Y)) code = 8;
            if (IsOverGrip(mx, y2, X, Y)) code = 9;
        }
        if (obj->Kind == ievkANGLE) {
            uint8_t angleCode = 0;
            const int32_t n = CountSetPoints(obj->AnglePoints);
            for (int32_t k = 0; k < n && !angleCode; ++k)
                if (IsOverGrip(BitmapToClientX(obj->AnglePoints[k].x), BitmapToClientY(obj->AnglePoints[k].y), X, Y))
                    angleCode = static_cast<uint8_t>(10 + k);
            code = angleCode ? angleCode : (code ? 3 : 0);
        }
        if (obj->Kind == ievkLINELABEL && bx >= std::min(obj->LabelX1, obj->LabelX2) &&
            bx <= std::max(obj->LabelX1, obj->LabelX2) && by >= std::min(obj->LabelY1, obj->LabelY2) &&
            by <= std::max(obj->LabelY1, obj->LabelY2))
            code = 2;
        if (code && !obj->HasOption(ievoResizable)) code = 3;
        if (code) {
            Grip = code;
            return static_cast<int32_t>(i);
        }
    }
    return IEV_NO_OBJECT;
}

void TVovozIdVect::DrawGrip(TIECanvas* Canvas, int32_t X, int32_t Y, bool CenterGrip) {
    cl::TGraphic* image = FObjGripImage->GetGraphic();
    if (image && !image->GetEmpty()) {
        GripSize = std::max(image->GetWidth(), image->GetHeight()) / 2;
        Canvas->GetCanvas()->Draw(X - image->GetWidth() / 2, Y - image->GetHeight() / 2, image);
        return;
    }
    TIEPen* pen = Canvas->GetPen();
    pen->SetColor(FGripPen->GetColor());
    pen->SetStyle(FGripPen->GetStyle());
    pen->SetMode(FGripPen->GetMode());
    pen->SetTransparency(180);
    TIEBrush* brush = Canvas->GetBrush();
    brush->SetColor(FGripBrush->GetColor());
    brush->SetStyle(FGripBrush->GetStyle());
    brush->SetTransparency(180);
    if (CenterGrip) {
        pen->SetWidth(1);
        Canvas->MoveTo(X, Y - GripSize);
        Canvas->LineTo(X + GripSize, Y);
        Canvas->LineTo(X, Y + GripSize);
        Canvas->LineTo(X - GripSize, Y);
        Canvas->LineTo(X, Y - GripSize);
        return;
    }
    pen->SetWidth(static_cast<float>(FGripPen->GetWidth()));
    if (GripShape == 0)
        Canvas->Rectangle(X - GripSize, Y - GripSize, X + GripSize, Y + GripSize);
    else
        Canvas->Ellipse(X - GripSize, Y - GripSize, X + GripSize, Y + GripSize);
}

void TVovozIdVect::DrawObjectGrips(cl::TCanvas* Canvas, const TIEVObjRecord& Obj) {
    if (!Canvas || !Obj.HasOption(ievoSelectable)) return;
    int32_t x1, y1, x2, y2;
    ObjectClientBox(Obj, x1, y1, x2, y2);
    if (!ObjectGripsShown(x1, y1, x2, y2)) return;
    TIECanvas canvas(Canvas, true);
    if (Obj.Kind == ievkANGLE) {
        const int32_t n = CountSetPoints(Obj.AnglePoints);
        for (int32_t k = 0; k < n; ++k)
            DrawGrip(&canvas, BitmapToClientX(Obj.AnglePoints[k].x), BitmapToClientY(Obj.AnglePoints[k].y), false);
    } else {
        DrawGrip(&canvas, x1, y1, false);
        DrawGrip(&canvas, x2, y2, false);
        if (!IEIsLineLikeKind(Obj.Kind)) {
            const int32_t mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
            DrawGrip(&canvas, x2, y1, false);
            DrawGrip(&canvas, x1, y2, false);
            DrawGrip(&canvas, x1, my, false);
            DrawGrip(&canvas, x2, my, false);
            DrawGrip(&canvas, mx, y1, false);
            DrawGrip(&canvas, mx, y2, false);
        }
    }
    if (ShowCenterGrip) {
        const int32_t l = std::min(x1, x2), t = std::min(y1, y2);
        DrawGrip(&canvas, l + (std::abs(x2 - x1) + 1) / 2, t + (std::abs(y2 - y1) + 1) / 2, true);
    }
}

void TVovozIdVect::DrawSelectionGrips(cl::TCanvas* Canvas) {
    for (int32_t h : FSelection)
        if (const TIEVObjRecord* obj = GetObjRecord(h)) DrawObjectGrips(Canvas, *obj);
}

// ---------------------------------------------------------------------------------------
// Measuring

void TVovozIdVect::CalcMeasureScale(double& ScaleX, double& ScaleY, TIEUnits Unit) {
    const int32_t unit = Unit % 128;
    if (unit == ieuPIXELS) {
        ScaleX = ScaleY = 1.0;
    } else {
        ScaleX = GetDpiX() > 0 ? 1.0 / GetDpiX() : 1.0;
        ScaleY = GetDpiY() > 0 ? 1.0 / GetDpiY() : 1.0;
        double mul = 1.0, div = 1.0;
        switch (unit) {
            case ieuKM: mul = 2.54, div = 100000; break;
            case ieuMETERS: mul = 2.54, div = 100; break;
            case ieuCENTIMETERS: mul = 2.54; break;
            case ieuMILLIMETERS: mul = 2.54 * 10; break;
            case ieuMICRONS: mul = 2.54 * 10000; break;
            case ieuNANOMETERS: mul = 2.54 * 10000000; break;
            case ieuFEET: div = 12; break;
            case ieuYARDS: div = 36; break;
            case ieuMILES: div = 63360; break;
            default: break;  // inches
        }
        ScaleX = ScaleX * mul / div;
        ScaleY = ScaleY * mul / div;
    }
    ScaleX *= FMeasureScale;
    ScaleY *= FMeasureScale;
}

void TVovozIdVect::OffsetSelectionPoints(int32_t DX, int32_t DY) {
    TVovozIdView::OffsetSelectionPoints(DX, DY);
    FMouseX -= DX;
    FMouseY -= DY;
    FDownX -= DX, FDownY -= DY, FDownPoint.x -= DX, FDownPoint.y -= DY;
    FLastPolylinePoint.x -= DX, FLastPolylinePoint.y -= DY;
}

void TVovozIdVect::UpdateUnitsPerPixel() { CalcMeasureScale(FUnitsPerPixelX, FUnitsPerPixelY, FMUnit); }

void TVovozIdVect::SetMeasureScale(double Value) {
    FMeasureScale = Value;
    UpdateUnitsPerPixel();
    if (FHintActive) UpdateMeasureHint(-1000000, -1000000);
}

double TVovozIdVect::GetSelectionLength() {
    const std::vector<cl::TPoint>& pts = GetSelectionRecord()->Points;
    auto seg = [this](const cl::TPoint& A, const cl::TPoint& B) {
        const double dx = static_cast<double>(B.x - A.x) * FUnitsPerPixelX;
        const double dy = static_cast<double>(B.y - A.y) * FUnitsPerPixelY;
        return std::sqrt(dx * dx + dy * dy);
    };
    auto separator = [](const cl::TPoint& P) { return P.x == IEVPolygonSeparator; };
    double length = 0;
    size_t first = 0;  // the first point of the current polygon
    for (size_t i = 0; i < pts.size(); ++i) {
        if (separator(pts[i])) {
            first = i + 1;
            continue;
        }
        if (i + 1 < pts.size() && separator(pts[i + 1]))
            length += seg(pts[i], pts[first]);
        else if (i + 1 < pts.size())
            length += seg(pts[i], pts[i + 1]);
    }
    const bool open = SelectionPolygonOpen();
    if (!pts.empty() && !separator(pts.back()) && first < pts.size()) {
        if (!open && pts.size() > 2) length += seg(pts.back(), pts[first]);
        if (open && IncludeCursorInLength)
            length += seg(pts.back(), cl::TPoint{ClientToBitmapX(FMouseX), ClientToBitmapY(FMouseY)});
    }
    return length;
}

double TVovozIdVect::GetSelectionArea() {
    const std::vector<cl::TPoint>& pts = GetSelectionRecord()->Points;
    if (pts.size() > 2) {
        double total = 0;
        size_t first = 0;
        auto closePolygon = [&](size_t End) {
            // Shoelace sum of the points first .. End - 1, closed.
            double sum = 0;
            for (size_t i = first; i < End; ++i) {
                const cl::TPoint& a = pts[i];
                const cl::TPoint& b = i + 1 < End ? pts[i + 1] : pts[first];
                sum += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
            }
            total += sum;
        };
        for (size_t i = 0; i < pts.size(); ++i)
            if (pts[i].x == IEVPolygonSeparator) {
                closePolygon(i);
                first = i + 1;
            }
        closePolygon(pts.size());
        return std::fabs(total / 2) * FUnitsPerPixelX * FUnitsPerPixelY;
    }
    TIEMask* mask = GetSelectionMask();
    if (!mask || mask->IsEmpty() || mask->BitsPerPixel != 1) return 0;
    int64_t count = 0;
    for (int32_t y = std::max(0, mask->Y1); y <= std::min(mask->Y2, mask->Height - 1); ++y)
        for (int32_t x = std::max(0, mask->X1); x <= std::min(mask->X2, mask->Width - 1); ++x)
            if (mask->GetPixel(x, y) != 0) ++count;
    return static_cast<double>(count) * FUnitsPerPixelX * FUnitsPerPixelY;
}

cl::String TVovozIdVect::MeasureText(double Value, TIEVValType ValType) {
    cl::String text = IEFloatToStrF(Value, 2, FFloatPrecision, FFloatDigits) + " " + IEUnitSuffix(FMUnit);
    if (ValType == ievtAREA) text += "\xC2\xB2";  // superscript two
    return text;
}

void TVovozIdVect::ShowMeasureHint(int32_t X, int32_t Y) {
    if (!FHintActive) return;
    if (X == -1000000) X = FHintX;
    if (Y == -1000000) Y = FHintY;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    double value = 0;
    TIEVValType type = ievtLENGTH;
    if (MouseInteractVect & IEVMouseOpt(mivMeasureArea)) {
        value = GetSelectionArea();
        type = ievtAREA;
    } else if (MouseInteractVect & IEVMouseOpt(mivMeasureLength)) {
        value = GetSelectionLength();
    } else if (MouseInteractVect & IEVMouseOpt(mivDragLength)) {
        const double dx = (X - FDownX + 1) * FUnitsPerPixelX / GetZoomFactorX();
        const double dy = (Y - FDownY + 1) * FUnitsPerPixelY / GetZoomFactorY();
        value = std::sqrt(dx * dx + dy * dy);
    }
    if (value == 0) value = FLastMeasure;
    FLastMeasure = value;
    cl::String text = MeasureText(value, type);
    if (OnMeasureHint) OnMeasureHint(this, text, value);
    if (OnPresentMeasure) OnPresentMeasure(this, text, value, type);
    FHintX = X;
    FHintY = Y;
    if (!HandleAllocated()) return;
    FHintDrawX = X;
    FHintDrawY = Y;
    IEDrawHint(GetCanvas(), FHintDrawX, FHintDrawY, MeasureHintDarkColor, MeasureHintLightColor, GetClientHeight(),
               GetClientWidth(), FHintSaved, FHintBrush.get(), FHintFont.get(), text);
}

void TVovozIdVect::HideMeasureHint() {
    if (!FHintSaved || FHintSaved->GetWidth() < 2 || !HandleAllocated()) return;
    GetCanvas()->Draw(FHintDrawX, FHintDrawY, FHintSaved.get());
    FHintSaved->SetWidth(1);
}

void TVovozIdVect::UpdateMeasureHint(int32_t X, int32_t Y) {
    HideMeasureHint();
    ShowMeasureHint(X, Y);
}

}  // namespace ie
