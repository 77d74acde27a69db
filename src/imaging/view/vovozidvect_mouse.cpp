// Mouse interaction with the vector objects: creating objects by dragging or clicking (with
// their rubber bands), angles by three clicks and polylines by clicks or freehand, selecting by
// click and by rectangle, moving and resizing the selection by its grips, editing polyline
// points, the drag-length measure, the cursors over grips, and the mouse of extension objects.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "imaging/core/hyieutils_geometry.h"
#include "imaging/core/hyieutils_numbers.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"
#include "platform/user.h"

namespace ie {

namespace {

constexpr bool HasMode(TIEVMouseInteract Modes, TIEVMouseInteractItem Item) { return (Modes & IEVMouseOpt(Item)) != 0; }

bool SamePoint(const cl::TPoint& A, const cl::TPoint& B) { return A.x == B.x && A.y == B.y; }

// A value as a 32-bit whole number, rounded half to even.
int32_t RoundEven(double V) { return IETruncToInt32(std::nearbyint(V)); }

// The extension instance of an object, nil for any other object.
TIEVExtObject* ExtInstance(TIEVObjRecord* Obj) {
    return Obj && Obj->Kind == ievkEXTENDED && Obj->ExtObject ? Obj->ExtObject.Get() : nullptr;
}

void ApplyInsertionPen(cl::TCanvas* Canvas, cl::TPen* Pen) {
    cl::TPen* p = Canvas->GetPen();
    p->SetColor(Pen->GetColor());
    p->SetMode(Pen->GetMode());
    p->SetWidth(Pen->GetWidth());
    p->SetStyle(Pen->GetStyle());
}

void RestoreCanvasPen(cl::TCanvas* Canvas) {
    Canvas->GetPen()->SetMode(cl::pmCopy);
    win::GdiFlush();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Helpers

void TVovozIdVect::ClampToImage(int32_t& X, int32_t& Y) {
    const int32_t l = GetOffsetX(), t = GetOffsetY();
    X = std::clamp(X, l, l + std::max(GetDisplayWidth() - 1, 0));
    Y = std::clamp(Y, t, t + std::max(GetDisplayHeight() - 1, 0));
}

void TVovozIdVect::FlushPaint() {
    if (HandleAllocated()) win::UpdateWindow(GetHandle());
}

void TVovozIdVect::RepaintNow() {
    if (!HandleAllocated()) return;
    Invalidate();
    win::UpdateWindow(GetHandle());
}

int32_t TVovozIdVect::AddEmptyBoxCopy() {
    // The template keeps its own size for the objects created after this one.
    const int32_t x1 = FDefaultObject.X1, y1 = FDefaultObject.Y1, x2 = FDefaultObject.X2, y2 = FDefaultObject.Y2;
    FDefaultObject.X1 = FDefaultObject.Y1 = 1000000;
    FDefaultObject.X2 = FDefaultObject.Y2 = -1000000;
    const int32_t h = AddObjectCopy(FDefaultObject);
    FDefaultObject.X1 = x1, FDefaultObject.Y1 = y1, FDefaultObject.X2 = x2, FDefaultObject.Y2 = y2;
    return h;
}

void TVovozIdVect::ShowBand(int32_t Shape, bool Show) {
    if (!Show && !FBandShown) return;
    // A band is drawn over what is painted, never under a paint still to come.
    if (Show) FlushPaint();
    if (Shape == 2)
        DrawEllipseInserting(!Show);
    else if (Shape == 1)
        DrawRectInserting(!Show);
    else
        DrawLineInserting(!Show);
    FBandShown = Show;
}

void TVovozIdVect::IEAngleObjectBounds(const win::POINT* Points, cl::TRect& Box) {
    // Both legs fit: the half-size on each axis is the larger reach of the two leg ends.
    const win::POINT& v = Points[1];
    int32_t hx = 0, hy = 0;
    for (int32_t i : {0, 2}) {
        if (Points[i].x == IEVUnsetPoint) continue;
        hx = std::max<int32_t>(hx, std::abs(v.x - Points[i].x));
        hy = std::max<int32_t>(hy, std::abs(v.y - Points[i].y));
    }
    Box = cl::TRect{v.x - hx, v.y - hy, v.x + hx, v.y + hy};
}

void TVovozIdVect::DragOffsets(int32_t X, int32_t Y, int32_t& DX, int32_t& DY) {
    const int32_t gx = IETruncToInt32((X - FDownPoint.x) / GetZoomFactorX());
    const int32_t gy = IETruncToInt32((Y - FDownPoint.y) / GetZoomFactorY());
    DX = gx - FDragAccumX;
    DY = gy - FDragAccumY;
    FDragAccumX = gx;
    FDragAccumY = gy;
}

// ---------------------------------------------------------------------------------------
// Object operations

void TVovozIdVect::MoveObject(int32_t hobj, int32_t DX, int32_t DY) {
    TIEVObjRecord* obj = hobj == IEV_DEFAULT_OBJECT ? nullptr : GetObjRecord(hobj);
    if (!obj) return;
    obj->X1 += DX, obj->Y1 += DY, obj->X2 += DX, obj->Y2 += DY;
    if (obj->Kind == ievkANGLE)
        for (win::POINT& p : obj->AnglePoints)
            if (p.x != IEVUnsetPoint) p.x += DX, p.y += DY;
}

void TVovozIdVect::ResizeObjectByGrip(int32_t hobj, int32_t DX1, int32_t DY1, int32_t DX2, int32_t DY2, bool KeepAspect,
                                      int32_t Grip) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj) return;
    obj->X1 += DX1, obj->Y1 += DY1, obj->X2 += DX2, obj->Y2 += DY2;
    if (!KeepAspect) return;
    // The drag-start size; the products are 64-bit so that no box can overflow them.
    const int64_t w0 = int64_t{obj->DragX2} - obj->DragX1, h0 = int64_t{obj->DragY2} - obj->DragY1;
    switch (Grip) {
        case 1:
        case 2:
        case 4:
        case 5:
        case 6:
        case 7: {
            const int64_t product = (int64_t{obj->X2} - obj->X1) * h0;
            if (product == 0 || w0 == 0) return;
            const double g = static_cast<double>(product) / static_cast<double>(w0);
            if (Grip == 1 || Grip == 4)
                obj->Y1 = RoundEven(obj->Y2 - g);
            else
                obj->Y2 = RoundEven(obj->Y1 + g);
            break;
        }
        case 8:
        case 9: {
            const int64_t product = (int64_t{obj->Y2} - obj->Y1) * w0;
            if (product == 0 || h0 == 0) return;
            const double g = static_cast<double>(product) / static_cast<double>(h0);
            if (Grip == 8)
                obj->X1 = RoundEven(obj->X2 - g);
            else
                obj->X2 = RoundEven(obj->X1 + g);
            break;
        }
        default: break;
    }
}

int32_t TVovozIdVect::FindPolylinePoint(int32_t X, int32_t Y) {
    if (GetSelObjectsCount() != 1) return -1;
    const TIEVObjRecord* obj = GetObjRecord(GetSelObjects(0));
    if (!obj || obj->Kind != ievkPOLYLINE) return -1;
    for (size_t i = 0; i < obj->DrawPoints.size(); ++i) {
        const win::POINT& p = obj->DrawPoints[i];
        if (IEPointInRect(X, Y, p.x - 3, p.y - 3, p.x + 3, p.y + 3)) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t TVovozIdVect::FindPolylineSegment(int32_t X, int32_t Y) {
    if (GetSelObjectsCount() != 1) return -1;
    const TIEVObjRecord* obj = GetObjRecord(GetSelObjects(0));
    if (!obj || obj->Kind != ievkPOLYLINE) return -1;
    const std::vector<win::POINT>& pts = obj->DrawPoints;
    for (size_t i = 0; i + 1 < pts.size(); ++i)
        if (IEDistPointToSegment(X, Y, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y) < 1.5)
            return static_cast<int32_t>(i);
    if (obj->Closed && pts.size() > 2 &&
        IEDistPointToSegment(X, Y, pts.back().x, pts.back().y, pts.front().x, pts.front().y) < 1.5)
        return static_cast<int32_t>(pts.size()) - 1;
    return -1;
}

void TVovozIdVect::SelectAtPoint(cl::TShiftState Shift, int32_t X, int32_t Y, bool FromMouseDown) {
    double distance = 0;
    const int32_t h = FindObjectAt(ClientToBitmapX(X), ClientToBitmapY(Y), true, distance);
    const bool shift = (Shift & cl::ssShift) != 0;
    auto deselectOthers = [&](int32_t Keep) {
        const std::vector<int32_t> selected = FSelection;
        for (int32_t s : selected)
            if (s != Keep) DoUserDeselectObject(s);
    };
    if (h < 0) {
        if (!shift) {
            deselectOthers(IEV_NO_OBJECT);
            UnselectAll();
        }
        return;
    }
    const bool selected = IsSelected(h);
    if (selected && FSelectOnMouseDown && FromMouseDown) {
        FSelectDeferred = true;
        return;
    }
    if (!selected) {
        if (!shift) {
            deselectOthers(h);
            UnselectAll();
        }
        SelectObject(h);
        DoUserSelectObject(h);
    } else if (shift) {
        DoUserDeselectObject(h);
        UnselectObject(h);
    } else {
        deselectOthers(h);
        UnselectAll();
        SelectObject(h);
    }
    // The grips show around the new selection.
    Update();
}

// ---------------------------------------------------------------------------------------
// Rubber bands

void TVovozIdVect::DrawLineInserting(bool XorMode) {
    if (!HandleAllocated()) return;
    if (XorMode && FInsertionPen->GetMode() != cl::pmNot) {
        PaintBackBuffer(
            cl::TRect{std::min(FDownPoint.x, FCurrentPoint.x) - 1, std::min(FDownPoint.y, FCurrentPoint.y) - 1,
                      std::max(FDownPoint.x, FCurrentPoint.x) + 1, std::max(FDownPoint.y, FCurrentPoint.y) + 1});
        return;
    }
    cl::TCanvas* canvas = GetCanvas();
    ApplyInsertionPen(canvas, FInsertionPen.get());
    canvas->MoveTo(FDownPoint.x, FDownPoint.y);
    canvas->LineTo(FCurrentPoint.x, FCurrentPoint.y);
    RestoreCanvasPen(canvas);
}

// The outline of the box between the press point and the current point, grown by 1 at the far
// corner, with a clear brush; without the inverting pen an erase repaints the band instead.
void TVovozIdVect::DrawBoxInserting(bool XorMode, bool Ellipse) {
    if (!HandleAllocated()) return;
    if (XorMode && FInsertionPen->GetMode() != cl::pmNot) {
        DrawLineInserting(true);
        return;
    }
    cl::TCanvas* canvas = GetCanvas();
    ApplyInsertionPen(canvas, FInsertionPen.get());
    canvas->GetBrush()->SetStyle(cl::bsClear);
    const int32_t x1 = std::min(FDownPoint.x, FCurrentPoint.x), y1 = std::min(FDownPoint.y, FCurrentPoint.y);
    const int32_t x2 = std::max(FDownPoint.x, FCurrentPoint.x) + 1, y2 = std::max(FDownPoint.y, FCurrentPoint.y) + 1;
    if (Ellipse)
        canvas->Ellipse(x1, y1, x2, y2);
    else
        canvas->Rectangle(x1, y1, x2, y2);
    RestoreCanvasPen(canvas);
}

void TVovozIdVect::DrawRectInserting(bool XorMode) { DrawBoxInserting(XorMode, false); }

void TVovozIdVect::DrawEllipseInserting(bool XorMode) { DrawBoxInserting(XorMode, true); }

void TVovozIdVect::DrawRulerInserting() {
    if (!HandleAllocated()) return;
    {
        TIECanvas canvas(GetCanvas(), false);
        DrawRuler(&canvas, FDefaultObject, FDownPoint.x, FDownPoint.y, FCurrentPoint.x, FCurrentPoint.y,
                  1.0 / GetZoomFactorY(), 1.0 / GetZoomFactorX(), -1);
    }
    win::GdiFlush();
}

void TVovozIdVect::DrawAngleInserting() {
    if (!HandleAllocated()) return;
    TIEVObjRecord* angle = GetObjRecord(FAngleObj);
    if (!angle || angle->Kind != ievkANGLE) return;
    // The first point not set yet is drawn at the mouse.
    int32_t k = 0;
    while (k < 3 && angle->AnglePoints[k].x != IEVUnsetPoint) ++k;
    const win::POINT saved = k < 3 ? angle->AnglePoints[k] : win::POINT{};
    if (k < 3) angle->AnglePoints[k] = {ClientToBitmapX(FCurrentPoint.x), ClientToBitmapY(FCurrentPoint.y)};
    {
        TIECanvas canvas(GetCanvas(), FObjAntialias);
        DrawAngle(&canvas, *angle, 1.0 / GetZoomFactorY(), 1, true);
    }
    if (k < 3) angle->AnglePoints[k] = saved;
    win::GdiFlush();
}

// ---------------------------------------------------------------------------------------
// Press

void TVovozIdVect::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    // The press and the mouse point of the measures.
    FDownX = FMouseX = X;
    FDownY = FMouseY = Y;
    TVovozIdView::MouseDown(Button, Shift, X, Y);
    FDoubleClicked = (Shift & cl::ssDouble) != 0;
    int32_t cx = X, cy = Y;
    ClampToImage(cx, cy);
    FUndoArmed = false;
    if (Button != cl::mbLeft || IsEmpty()) return;
    FLeftHeld = true;
    FSelectDeferred = false;
    FPolylineEdited = false;
    FDownPoint = {cx, cy};
    if (FEditing >= 0) {
        EndTextEdit();
        FEditing = -1;
        Update();
    }
    FPolylinePoint = FPolylineSegment = -1;
    const TIEVMouseInteract mi = MouseInteractVect;
    {
        // An angle or polyline left unfinished by a change of mode is given up: this press
        // starts afresh.
        const TIEVMouseInteract earlier =
            IEVMouseOpt(mivPutLine) | IEVMouseOpt(mivPutLineLabel) | IEVMouseOpt(mivPutRuler) | IEVMouseOpt(mivPutBox) |
            IEVMouseOpt(mivPutEllipse) | IEVMouseOpt(mivPutBitmap) | IEVMouseOpt(mivPutText) | IEVMouseOpt(mivPutMemo) |
            IEVMouseOpt(mivDragLength) | IEVMouseOpt(mivPutExtended);
        const bool angleMode = !(mi & earlier) && HasMode(mi, mivPutAngle);
        const bool polylineMode = !(mi & earlier) && !HasMode(mi, mivPutAngle) && HasMode(mi, mivPutPolyline);
        if ((FCreatingKind == ievkANGLE && !angleMode) || (FCreatingKind == ievkPOLYLINE && !polylineMode))
            FCreatingKind = 0;
    }
    if (FCreatingKind == 0) {
        FObjectsChanged = false;
        PrepareObjUndo();
    }
    const bool ctrl = (Shift & cl::ssCtrl) != 0;
    cl::TPoint pt{cx, cy};
    if (HasMode(mi, mivPutLine)) {
        FCreatingKind = ievkLINE;
    } else if (HasMode(mi, mivPutLineLabel)) {
        FCreatingKind = ievkLINELABEL;
    } else if (HasMode(mi, mivPutRuler)) {
        FCreatingKind = ievkRULER;
    } else if (HasMode(mi, mivPutBox)) {
        FCreatingKind = ievkBOX;
    } else if (HasMode(mi, mivPutEllipse)) {
        FCreatingKind = ievkELLIPSE;
    } else if (HasMode(mi, mivPutBitmap)) {
        FCreatingKind = ievkBITMAP;
    } else if (HasMode(mi, mivPutText)) {
        FCreatingKind = ievkTEXT;
    } else if (HasMode(mi, mivPutMemo)) {
        FCreatingKind = ievkMEMO;
    } else if (HasMode(mi, mivDragLength)) {
        FCreatingKind = ievkLINE;
    } else if (HasMode(mi, mivPutExtended)) {
        FCreatingKind = ievkEXTENDED;
    } else if (HasMode(mi, mivPutAngle)) {
        // The second press of a double click adds no point.
        if (!FDoubleClicked) {
            if (FCreatingKind != ievkANGLE) {
                FObjectsChanged = true;
                FCreatingKind = ievkANGLE;
                FDefaultObject.Kind = ievkANGLE;
                FDefaultObject.AnglePoints[0] = {ClientToBitmapX(pt.x), ClientToBitmapY(pt.y)};
                FDefaultObject.AnglePoints[1] = FDefaultObject.AnglePoints[2] = {IEVUnsetPoint, IEVUnsetPoint};
                FAngleObj = AddEmptyBoxCopy();
                UnselectAll();
            } else if (TIEVObjRecord* angle = GetObjRecord(FAngleObj)) {
                win::POINT* ap = angle->AnglePoints;
                const int32_t k = ap[1].x == IEVUnsetPoint ? 1 : 2;
                if (ctrl) {
                    IESnapLine45(BitmapToClientX(ap[k - 1].x), BitmapToClientY(ap[k - 1].y), pt.x, pt.y);
                    FDownPoint = pt;
                }
                ap[k] = {ClientToBitmapX(pt.x), ClientToBitmapY(pt.y)};
                if (k == 2) {
                    cl::TRect box;
                    IEAngleObjectBounds(ap, box);
                    angle->X1 = box.left, angle->Y1 = box.top, angle->X2 = box.right, angle->Y2 = box.bottom;
                    FDefaultObject.X1 = box.left, FDefaultObject.Y1 = box.top;
                    FDefaultObject.X2 = box.right, FDefaultObject.Y2 = box.bottom;
                    SelectObject(FAngleObj);
                    DoVectorialChanged();
                    DoNewObject(FAngleObj);
                    FCreatingKind = 0;
                }
            }
            Update();
        }
    } else if (HasMode(mi, mivPutPolyline)) {
        if (PolylineOutsideImage) pt = {X, Y};
        if (FCreatingKind == ievkPOLYLINE) {
            if (ctrl) {
                IESnapLine45(FLastPolylinePoint.x, FLastPolylinePoint.y, pt.x, pt.y);
                FDownPoint = pt;
            }
            FLastPolylinePoint = pt;
            AddPolylinePoint(FPolylineObj, ClientToBitmapX(pt.x), ClientToBitmapY(pt.y));
            if (FDoubleClicked && PolylineEndMode == 0) {
                if (const TIEVObjRecord* poly = GetObjRecord(FPolylineObj)) {
                    FDefaultObject.X1 = poly->X1, FDefaultObject.Y1 = poly->Y1;
                    FDefaultObject.X2 = poly->X2, FDefaultObject.Y2 = poly->Y2;
                }
                SelectObject(FPolylineObj);
                DoVectorialChanged();
                FObjectsChanged = false;
                DoNewObject(FPolylineObj);
                FCreatingKind = 0;
            }
            Update();
        } else {
            FCreatingKind = ievkPOLYLINE;
            FDefaultObject.Kind = ievkPOLYLINE;
            FObjectsChanged = true;
            FPolylineObj = AddEmptyBoxCopy();
            // A new polyline starts at the press, whatever points the template holds.
            if (TIEVObjRecord* poly = GetObjRecord(FPolylineObj)) poly->Points.clear();
            FLastPolylinePoint = pt;
            AddPolylinePoint(FPolylineObj, ClientToBitmapX(pt.x), ClientToBitmapY(pt.y));
            UnselectAll();
        }
    } else {
        bool selecting = HasMode(mi, mivSelectObjects);
        if (HasMode(mi, mivEditPolyline)) {
            const cl::TPoint pp = PolylineOutsideImage ? cl::TPoint{X, Y} : pt;
            FPolylinePoint = FindPolylinePoint(pp.x, pp.y);
            if (FPolylinePoint < 0) FPolylineSegment = FindPolylineSegment(pp.x, pp.y);
            // Selecting still works beside the point editor, away from the polyline.
            selecting = selecting && FPolylinePoint < 0 && FPolylineSegment < 0;
        }
        if (selecting) {
            if (!FDoubleClicked) {
                uint8_t grip = 0;
                FindGripAt(X, Y, grip);
                if ((grip == 0 || (grip == 3 && !ShowCenterGrip)) && FSelectOnMouseDown) {
                    SelectAtPoint(Shift, X, Y, true);
                    FindGripAt(X, Y, grip);
                }
                FDraggedGrip = grip;
                if (grip)
                    for (int32_t h : FSelection)
                        if (TIEVObjRecord* obj = GetObjRecord(h))
                            obj->DragX1 = obj->X1, obj->DragY1 = obj->Y1, obj->DragX2 = obj->X2, obj->DragY2 = obj->Y2;
            } else {
                double distance = 0;
                const int32_t h = FindObjectAt(ClientToBitmapX(X), ClientToBitmapY(Y), true, distance);
                if (h >= 0) DoObjectDblClick(h);
                const TIEVObjRecord* obj = h >= 0 ? GetObjRecord(h) : nullptr;
                if (obj && (obj->Kind == ievkTEXT || obj->Kind == ievkMEMO) && distance == 0) {
                    const bool wasSelected = IsSelected(h);
                    const std::vector<int32_t> selected = FSelection;
                    for (int32_t s : selected)
                        if (s != h) DoUserDeselectObject(s);
                    ClearSelection();
                    SelectObject(h);
                    if (!wasSelected) DoUserSelectObject(h);
                    FEditing = h;
                    StartTextEdit();
                    Update();
                }
            }
            double distance = 0;
            const int32_t hx = FindObjectAtClient(X, Y, distance);
            if (TIEVExtObject* ext = distance == 0 && hx >= 0 ? ExtInstance(GetObjRecord(hx)) : nullptr)
                ext->MouseDown(Button, Shift, X, Y);
        }
    }
    FCurrentPoint = pt;
    FDragAccumX = FDragAccumY = 0;
    // Whatever waits to be painted is painted before a rubber band is drawn over it.
    FlushPaint();
    FBandShown = false;
}

// ---------------------------------------------------------------------------------------
// Move

void TVovozIdVect::DragCreating(cl::TShiftState Shift, int32_t X, int32_t Y) {
    const bool ctrl = (Shift & cl::ssCtrl) != 0;
    FDragging = true;
    const uint8_t kind = FCreatingKind;
    if (kind != ievkPOLYLINE && kind != ievkANGLE && !FDefaultObject.HasOption(ievoResizable)) {
        // The object keeps the template's size: the release counts as a click where it is.
        FDownPoint = FCurrentPoint = {X, Y};
        return;
    }
    auto scroll = [this] {
        if (EdgeScroll()) FlushPaint();
    };
    switch (kind) {
        case ievkLINE:
        case ievkLINELABEL: {
            cl::TPoint p{X, Y};
            if (HasMode(MouseInteractVect, mivDragLength)) {
                p = FLastMouse;
                FHintActive = true;
            }
            ShowBand(0, false);
            scroll();
            if (ctrl) IESnapLine45(FDownPoint.x, FDownPoint.y, p.x, p.y);
            FCurrentPoint = p;
            ShowBand(0, true);
            break;
        }
        case ievkBOX:
        case ievkELLIPSE:
        case ievkEXTENDED:
            ShowBand(kind == ievkELLIPSE ? 2 : 1, false);
            scroll();
            if (ctrl) {
                // A square (a circle).
                const int32_t d =
                    std::abs(Y - FDownPoint.y) < std::abs(X - FDownPoint.x) ? X - FDownPoint.x : Y - FDownPoint.y;
                FCurrentPoint = {FDownPoint.x + d, FDownPoint.y + d};
            } else {
                FCurrentPoint = {X, Y};
            }
            ShowBand(kind == ievkELLIPSE ? 2 : 1, true);
            break;
        case ievkBITMAP: {
            ShowBand(1, false);
            scroll();
            FCurrentPoint = {X, Y};
            TIEBitmap* picture = GetBitmapByIndex(FDefaultObject.BitmapIndex);
            const bool keep = (Shift & cl::ssAlt) || KeepObjectsAspect || FDefaultObject.KeepAspect;
            if (keep && picture && picture->GetWidth() > 0)
                FCurrentPoint.y = IETruncToInt32(static_cast<double>(picture->GetHeight()) / picture->GetWidth() *
                                                     (FCurrentPoint.x - FDownPoint.x) +
                                                 FDownPoint.y);
            ShowBand(1, true);
            break;
        }
        case ievkTEXT:
        case ievkMEMO:
            ShowBand(1, false);
            scroll();
            FCurrentPoint = {X, Y};
            ShowBand(1, true);
            break;
        case ievkRULER: {
            scroll();
            cl::TPoint p{X, Y};
            if (ctrl) IESnapLine45(FDownPoint.x, FDownPoint.y, p.x, p.y);
            FCurrentPoint = p;
            RepaintNow();
            DrawRulerInserting();
            break;
        }
        case ievkPOLYLINE:
            // Freehand: every mouse point while the button is held.
            if (!PolylineOutsideImage) FLastMouse = {X, Y};
            AddPolylinePoint(FPolylineObj, ClientToBitmapX(FLastMouse.x), ClientToBitmapY(FLastMouse.y));
            FLastPolylinePoint = FLastMouse;
            Update();
            RepaintNow();
            break;
        case ievkANGLE:
            scroll();
            FCurrentPoint = {X, Y};
            RepaintNow();
            DrawAngleInserting();
            break;
        default: break;
    }
}

void TVovozIdVect::DragGrip(cl::TShiftState Shift, int32_t X, int32_t Y) {
    DoVectorialChangedOnce();
    FDragging = true;
    if (EdgeScroll()) FlushPaint();
    const int32_t grip = FDraggedGrip;
    if ((Shift & cl::ssCtrl) && !FSelection.empty() && (grip == 1 || grip == 2)) {
        TIEVObjRecord* first = GetObjRecord(FSelection.front());
        if (first && IEIsLineLikeKind(first->Kind)) {
            // The dragged end snaps to 0, 45 or 90 degrees from the other end, and the mouse alike.
            if (grip == 1) {
                IESnapLine45(first->X2, first->Y2, first->X1, first->Y1);
                IESnapLine45(BitmapToClientX(first->X2), BitmapToClientY(first->Y2), X, Y);
            } else {
                IESnapLine45(first->X1, first->Y1, first->X2, first->Y2);
                IESnapLine45(BitmapToClientX(first->X1), BitmapToClientY(first->Y1), X, Y);
            }
        }
    }
    int32_t dx = 0, dy = 0;
    DragOffsets(X, Y, dx, dy);
    const std::vector<int32_t> selected = FSelection;
    for (int32_t h : selected) {
        TIEVObjRecord* obj = GetObjRecord(h);
        if (!obj) continue;
        const bool keep = (Shift & cl::ssAlt) || KeepObjectsAspect || obj->KeepAspect;
        // A handler may change the offsets, for this object and the ones after it.
        DoObjectMoveResize(h, grip, dx, dy);
        obj = GetObjRecord(h);
        if (!obj) continue;
        if (obj->HasOption(ievoResizable)) {
            switch (grip) {
                case 1: ResizeObjectByGrip(h, dx, dy, 0, 0, keep, grip); break;
                case 2: ResizeObjectByGrip(h, 0, 0, dx, dy, keep, grip); break;
                case 4: ResizeObjectByGrip(h, 0, dy, dx, 0, keep, grip); break;
                case 5: ResizeObjectByGrip(h, dx, 0, 0, dy, keep, grip); break;
                case 6: ResizeObjectByGrip(h, dx, 0, 0, 0, keep, grip); break;
                case 7: ResizeObjectByGrip(h, 0, 0, dx, 0, keep, grip); break;
                case 8: ResizeObjectByGrip(h, 0, dy, 0, 0, keep, grip); break;
                case 9: ResizeObjectByGrip(h, 0, 0, 0, dy, keep, grip); break;
                case 10:
                case 11:
                case 12:
                    if (obj->Kind == ievkANGLE && obj->AnglePoints[grip - 10].x != IEVUnsetPoint) {
                        obj->AnglePoints[grip - 10].x += dx;
                        obj->AnglePoints[grip - 10].y += dy;
                        // The box follows the points, so that the angle stays where it is found.
                        cl::TRect box;
                        IEAngleObjectBounds(obj->AnglePoints, box);
                        obj->X1 = box.left, obj->Y1 = box.top, obj->X2 = box.right, obj->Y2 = box.bottom;
                    }
                    break;
                default: break;
            }
        }
        if (obj->HasOption(ievoMovable) && grip == 3) {
            bool inside = MoveOutsideImage;
            if (!inside) {
                // The selected objects' own bounds, moved, stay inside the picture.
                int32_t l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, b = INT32_MIN;
                for (int32_t s : FSelection)
                    if (const TIEVObjRecord* o = GetObjRecord(s)) {
                        l = std::min({l, o->X1, o->X2}), r = std::max({r, o->X1, o->X2});
                        t = std::min({t, o->Y1, o->Y2}), b = std::max({b, o->Y1, o->Y2});
                    }
                inside = int64_t{l} + dx >= 0 && int64_t{r} + dx < GetIEBitmap()->GetWidth() && int64_t{t} + dy >= 0 &&
                         int64_t{b} + dy < GetIEBitmap()->GetHeight();
            }
            if (inside) MoveObject(h, dx, dy);
        }
    }
    Update();
}

void TVovozIdVect::DragPolylinePoint(int32_t X, int32_t Y) {
    if (EdgeScroll()) FlushPaint();
    int32_t dx = 0, dy = 0;
    DragOffsets(X, Y, dx, dy);
    if (GetSelObjectsCount() != 1) return;
    TIEVObjRecord* obj = GetObjRecord(GetSelObjects(0));
    if (!obj || obj->Kind != ievkPOLYLINE || FPolylinePoint >= obj->GetPointCount()) return;
    auto grownBox = [this, obj] {
        return cl::TRect{
            BitmapToClientX(std::min(obj->X1, obj->X2) - 8), BitmapToClientY(std::min(obj->Y1, obj->Y2) - 8),
            BitmapToClientX(std::max(obj->X1, obj->X2) + 8), BitmapToClientY(std::max(obj->Y1, obj->Y2) + 8)};
    };
    const cl::TRect before = grownBox();
    win::POINT& p = obj->Points[static_cast<size_t>(FPolylinePoint)];
    p.x += dx;
    p.y += dy;
    if (dx || dy) FPolylineEdited = true;
    UpdatePolylineBounds(*obj);
    const cl::TRect after = grownBox();
    InvalidateRectDirty(cl::TRect{std::min(before.left, after.left), std::min(before.top, after.top),
                                  std::max(before.right, after.right), std::max(before.bottom, after.bottom)});
}

void TVovozIdVect::DragSelectionRect(cl::TShiftState Shift, int32_t X, int32_t Y) {
    ShowBand(1, false);
    if (EdgeScroll()) FlushPaint();
    FCurrentPoint = {X, Y};
    const std::vector<int32_t> before = FSelection;
    if (!(Shift & cl::ssShift)) ClearSelection();
    const int32_t x1 = ClientToBitmapX(std::min(FDownPoint.x, FCurrentPoint.x));
    const int32_t y1 = ClientToBitmapY(std::min(FDownPoint.y, FCurrentPoint.y));
    const int32_t x2 = ClientToBitmapX(std::max(FDownPoint.x, FCurrentPoint.x));
    const int32_t y2 = ClientToBitmapY(std::max(FDownPoint.y, FCurrentPoint.y));
    SelectObjectsInRect(IEV_ALL_OBJECTS, x1, y1, x2, y2);
    if (OnSelectObject) OnSelectObject(this);
    if (FSelection != before) {
        // The grips show around the new selection; the band is drawn again over the picture.
        Update();
        RepaintNow();
        FBandShown = false;
    }
    ShowBand(1, true);
}

void TVovozIdVect::ShowGripCursor(cl::TShiftState Shift, int32_t X, int32_t Y) {
    const TIEVMouseInteract mi = MouseInteractVect;
    if (HasMode(mi, mivEditPolyline)) {
        if (FindPolylinePoint(X, Y) >= 0) {
            ShowViewCursor((Shift & cl::ssCtrl) ? 1792 : 1790);
            return;
        }
        if (FindPolylineSegment(X, Y) >= 0) {
            ShowViewCursor(1791);
            return;
        }
    }
    if (HasMode(mi, mivSelectObjects)) {
        uint8_t grip = 0;
        FindGripAt(X, Y, grip);
        static const cl::TCursor gripCursor[] = {0,    1786, 1786, 1790, 1788, 1788, 1789,
                                                 1789, 1787, 1787, 1788, 1788, 1788};
        if (grip > 0 && grip <= 12) {
            ShowViewCursor(gripCursor[grip]);
            return;
        }
    }
    if (HasMode(mi, mivEditPolyline) || HasMode(mi, mivSelectObjects)) RestoreCursor();
}

void TVovozIdVect::HoverExtObject(cl::TShiftState Shift, int32_t X, int32_t Y) {
    double distance = 0;
    int32_t h = FindObjectAtClient(X, Y, distance);
    if (h < 0 || distance != 0) h = -1;
    if (FHoverExtObject >= 0 && h != FHoverExtObject)
        if (TIEVExtObject* ext = ExtInstance(GetObjRecord(FHoverExtObject))) ext->MouseLeave();
    if (h >= 0 && h != FHoverExtObject)
        if (TIEVExtObject* ext = ExtInstance(GetObjRecord(h))) ext->MouseEnter();
    FHoverExtObject = h;
    if (h >= 0)
        if (TIEVExtObject* ext = ExtInstance(GetObjRecord(h))) ext->MouseMove(Shift, X, Y);
}

void TVovozIdVect::MouseMove(cl::TShiftState Shift, int X, int Y) {
    FMouseX = X;
    FMouseY = Y;
    // The move that follows a double click is not a drag.
    if (FDoubleClicked) {
        FDoubleClicked = false;
        return;
    }
    HideMeasureHint();
    TVovozIdView::MouseMove(Shift, X, Y);
    if (X == FDownX && Y == FDownY) return;
    FLastMouse = {X, Y};
    int32_t cx = X, cy = Y;
    ClampToImage(cx, cy);
    const TIEVMouseInteract mi = MouseInteractVect;
    const bool ctrl = (Shift & cl::ssCtrl) != 0;
    if (FLeftHeld && (Shift & cl::ssLeft)) {
        if (FCreatingKind != 0)
            DragCreating(Shift, cx, cy);
        else if (FDraggedGrip != 0)
            DragGrip(Shift, cx, cy);
        else if (HasMode(mi, mivEditPolyline) && FPolylinePoint >= 0)
            DragPolylinePoint(cx, cy);
        else if (HasMode(mi, mivSelectObjects) && RectSelectObjects)
            DragSelectionRect(Shift, cx, cy);
    } else {
        if (FCreatingKind == ievkPOLYLINE) {
            ShowBand(0, false);
            if (EdgeScroll()) FlushPaint();
            if (ctrl) IESnapLine45(FLastPolylinePoint.x, FLastPolylinePoint.y, FLastMouse.x, FLastMouse.y);
            FCurrentPoint = FLastMouse;
            FDownPoint = FLastPolylinePoint;
            ShowBand(0, true);
            if (HasMode(mi, mivDragLength)) FHintActive = true;
        } else if (FCreatingKind == ievkANGLE) {
            if (EdgeScroll()) FlushPaint();
            if (ctrl) IESnapLine45(FDownPoint.x, FDownPoint.y, cx, cy);
            FCurrentPoint = {cx, cy};
            RepaintNow();
            DrawAngleInserting();
        } else if (OnObjectOver) {
            double distance = 0;
            const int32_t h = FindObjectAt(ClientToBitmapX(X), ClientToBitmapY(Y), false, distance);
            if (h >= 0) DoObjectOver(h);
        }
        if (FCreatingKind == 0) ShowGripCursor(Shift, X, Y);
    }
    HideMeasureHint();
    ShowMeasureHint(FLastMouse.x, FLastMouse.y);
    if (FCreatingKind == 0) HoverExtObject(Shift, X, Y);
}

// ---------------------------------------------------------------------------------------
// Release

void TVovozIdVect::CreateFromRelease() {
    TIEVObjRecord& d = FDefaultObject;
    const uint8_t kind = FCreatingKind;
    if (SamePoint(FCurrentPoint, FDownPoint)) {
        // A click: the template's size at the click (or centred on it).
        const int32_t w = d.X2 - d.X1, h = d.Y2 - d.Y1;
        const int32_t bx = ClientToBitmapX(FDownPoint.x), by = ClientToBitmapY(FDownPoint.y);
        d.X1 = CenterOnClick ? bx - w / 2 : bx;
        d.Y1 = CenterOnClick ? by - h / 2 : by;
        d.X2 = d.X1 + w;
        d.Y2 = d.Y1 + h;
    } else {
        d.X1 = ClientToBitmapX(FDownPoint.x), d.Y1 = ClientToBitmapY(FDownPoint.y);
        d.X2 = ClientToBitmapX(FCurrentPoint.x), d.Y2 = ClientToBitmapY(FCurrentPoint.y);
    }
    d.Kind = kind;
    if (kind == ievkPOLYLINE)
        if (const TIEVObjRecord* poly = GetObjRecord(FPolylineObj))
            d.X1 = poly->X1, d.Y1 = poly->Y1, d.X2 = poly->X2, d.Y2 = poly->Y2;
    if (HasMode(MouseInteractVect, mivDragLength)) {
        HideMeasureHint();
        FHintActive = false;
        if (OnDragLenEnd) OnDragLenEnd(this, FLastMeasure);
        return;
    }
    DoVectorialChangedOnce();
    const int32_t h = kind == ievkPOLYLINE ? FPolylineObj : AddObjectCopy(d);
    UnselectAll();
    DoNewObject(h);
    SelectObject(h);
    FObjectsChanged = true;
    if (EditOnCreate && (kind == ievkTEXT || kind == ievkMEMO)) {
        FEditing = h;
        StartTextEdit();
    } else {
        DoVectorialChanged();
    }
}

void TVovozIdVect::MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    TVovozIdView::MouseUp(Button, Shift, X, Y);
    FDoubleClicked = (Shift & cl::ssDouble) != 0;
    if (Button != cl::mbLeft || !FLeftHeld) return;
    FLeftHeld = false;
    if (IsEmpty()) return;
    const TIEVMouseInteract mi = MouseInteractVect;
    const bool notMoved = X == FDownPoint.x && Y == FDownPoint.y;
    const bool continues = FCreatingKind == ievkANGLE || (FCreatingKind == ievkPOLYLINE && PolylineEndMode != 2);
    const bool clickAllowed = !notMoved || !HasMode(mi, mivNoClickCreate) || HasMode(mi, mivSelectObjects) ||
                              HasMode(mi, mivMeasureLength) || HasMode(mi, mivMeasureArea);
    if (!continues && !clickAllowed) {
        // A click refused by mivNoClickCreate creates nothing and ends the interaction.
        FCreatingKind = 0;
        FDraggedGrip = 0;
        if (FDragging) {
            FDragging = false;
            Invalidate();
        }
    } else if (!continues && !IsEditingText()) {
        if (FCreatingKind != 0) {
            CreateFromRelease();
        } else if ((FDraggedGrip != 0 && (!notMoved || FDraggedGrip != 3)) ||
                   !(HasMode(mi, mivSelectObjects) || HasMode(mi, mivEditPolyline)) ||
                   !SamePoint(FCurrentPoint, FDownPoint)) {
            if (FDraggedGrip != 0) {
                // Boxes are stored with ordered corners; line ends and polylines keep theirs.
                for (int32_t h : FSelection) {
                    TIEVObjRecord* obj = GetObjRecord(h);
                    if (!obj || IEIsLineLikeKind(obj->Kind) || obj->Kind == ievkPOLYLINE) continue;
                    if (obj->X1 > obj->X2) std::swap(obj->X1, obj->X2);
                    if (obj->Y1 > obj->Y2) std::swap(obj->Y1, obj->Y2);
                }
                DoVectorialChanged();
            }
        } else if (!FSelectOnMouseDown || FSelectDeferred) {
            SelectAtPoint(Shift, X, Y, false);
        }
        TIEVObjRecord* poly = GetSelObjectsCount() == 1 ? GetObjRecord(GetSelObjects(0)) : nullptr;
        if (poly && poly->Kind != ievkPOLYLINE) poly = nullptr;
        if (poly && FPolylinePoint >= 0 && (Shift & cl::ssCtrl) && poly->GetPointCount() > 2 &&
            FPolylinePoint < poly->GetPointCount()) {
            poly->Points.erase(poly->Points.begin() + FPolylinePoint);
            UpdatePolylineBounds(*poly);
            FPolylineEdited = true;
        }
        if (poly && FPolylineSegment >= 0 && FPolylineSegment < poly->GetPointCount()) {
            // The new point in the polyline's recorded coordinates.
            double sx = 1, sy = 1;
            GetPolylineScale(*poly, sx, sy);
            const int32_t px = RoundEven((ClientToBitmapX(X) - poly->X1) / sx + poly->PointsX1);
            const int32_t py = RoundEven((ClientToBitmapY(Y) - poly->Y1) / sy + poly->PointsY1);
            poly->Points.insert(poly->Points.begin() + FPolylineSegment + 1, win::POINT{px, py});
            UpdatePolylineBounds(*poly);
            FPolylineSegment = -1;
            FPolylineEdited = true;
        }
        // Changed points are a change of the objects: it keeps its undo snapshot.
        if (FPolylineEdited) DoVectorialChanged();
        FPolylineEdited = false;
        FPolylinePoint = -1;
        Update();
        FCreatingKind = 0;
        FDraggedGrip = 0;
        if (FDragging) {
            FDragging = false;
            Invalidate();
        }
        if (HasMode(mi, mivSelectObjects)) {
            double distance = 0;
            const int32_t h = FindObjectAtClient(X, Y, distance);
            if (h >= 0) DoObjectClick(h);
        }
    }
    if (!FObjectsChanged && FObjAutoUndo && FUndoArmed) DropUnusedObjUndo();
    double distance = 0;
    const int32_t hx = FindObjectAtClient(X, Y, distance);
    if (TIEVExtObject* ext = distance == 0 && hx >= 0 ? ExtInstance(GetObjRecord(hx)) : nullptr)
        ext->MouseUp(Button, Shift, X, Y);
    ShowMeasureHint(X, Y);
    // The release's repaint takes any band away.
    FBandShown = false;
}

}  // namespace ie
