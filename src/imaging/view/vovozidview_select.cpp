// The view's selection: a list of polygons in the current layer's bitmap coordinates and the
// 1-bit mask they are filled into; rectangles, ellipses, points and the magic wand build it,
// it moves and resizes by its grips, it is saved to and loaded from a stream (undo, layer
// switches), and it is drawn as marching ants with grips and a grid.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/processing/vovozidproc_wand.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidview.h"
#include "platform/gdi.h"

namespace ie {

namespace {

constexpr cl::TPoint kSeparator{IEPolygonSeparator, IEPolygonSeparator};

bool IsSeparator(const cl::TPoint& P) { return P.x == IEPolygonSeparator && P.y == IEPolygonSeparator; }

int32_t RoundHalfEven(double Value) {
    double r = std::nearbyint(Value);
    if (r > INT32_MAX) return INT32_MAX;
    if (r < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(r);
}

// Coordinates a stored selection may hold: far beyond any bitmap, yet far from overflow.
constexpr int32_t kMaxStoredCoord = 1 << 28;

bool StoredCoordOk(int32_t V) { return V == IEPolygonSeparator || (V >= -kMaxStoredCoord && V <= kMaxStoredCoord); }

// Little-endian reads from a byte buffer with the bytes left checked.
class TByteReader {
public:
    TByteReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    bool Int(int32_t& V) {
        if (FSize - FPos < 4) return false;
        uint32_t u = static_cast<uint32_t>(FData[FPos]) | static_cast<uint32_t>(FData[FPos + 1]) << 8 |
                     static_cast<uint32_t>(FData[FPos + 2]) << 16 | static_cast<uint32_t>(FData[FPos + 3]) << 24;
        std::memcpy(&V, &u, 4);
        FPos += 4;
        return true;
    }
    bool Byte(uint8_t& V) {
        if (FSize - FPos < 1) return false;
        V = FData[FPos++];
        return true;
    }
    size_t Left() const { return FSize - FPos; }
    const uint8_t* Here() const { return FData + FPos; }
    void Skip(size_t N) { FPos += N; }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

void PutInt(cl::TStream* S, int32_t V) {
    uint32_t u;
    std::memcpy(&u, &V, 4);
    uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                    static_cast<uint8_t>(u >> 24)};
    S->WriteBuffer(b, 4);
}

void PutByte(cl::TStream* S, uint8_t V) { S->WriteBuffer(&V, 1); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Helpers

int32_t TVovozIdView::SelWidth() const { return FIEBitmap ? FIEBitmap->GetWidth() : 0; }

int32_t TVovozIdView::SelHeight() const { return FIEBitmap ? FIEBitmap->GetHeight() : 0; }

void TVovozIdView::ToLayer(int32_t& X, int32_t& Y) {
    if (FSelectionBase != iesbClientArea) return;
    SyncGeometry();
    TIELayer* layer = GetCurrentLayerObject();
    int32_t x = layer->ClientToLayerX(X), y = layer->ClientToLayerY(Y);
    X = x;
    Y = y;
}

void TVovozIdView::SyncPolygonBox() {
    TIESelectionRecord* rec = GetSelectionRecord();
    rec->X1 = rec->Y1 = INT32_MAX;
    rec->X2 = rec->Y2 = INT32_MIN;
    bool any = false;
    for (const cl::TPoint& p : rec->Points) {
        if (IsSeparator(p)) continue;
        any = true;
        rec->X1 = std::min(rec->X1, p.x);
        rec->Y1 = std::min(rec->Y1, p.y);
        rec->X2 = std::max(rec->X2, p.x);
        rec->Y2 = std::max(rec->Y2, p.y);
    }
    if (!any) rec->X1 = rec->Y1 = rec->X2 = rec->Y2 = 0;
}

void TVovozIdView::AddPoint(int32_t X, int32_t Y) {
    TIESelectionRecord* rec = GetSelectionRecord();
    if (IsSeparator({X, Y})) {
        // Never twice in a row, never at the start.
        if (rec->Points.empty() || IsSeparator(rec->Points.back())) return;
        rec->Points.push_back(kSeparator);
        return;
    }
    if (rec->Points.size() == rec->Points.capacity())
        rec->Points.reserve(std::max(rec->Points.capacity() * 2, rec->Points.size() + 1));
    bool first =
        std::none_of(rec->Points.begin(), rec->Points.end(), [](const cl::TPoint& p) { return !IsSeparator(p); });
    rec->Points.push_back({X, Y});
    if (first) {
        rec->X1 = rec->X2 = X;
        rec->Y1 = rec->Y2 = Y;
    } else {
        rec->X1 = std::min(rec->X1, X);
        rec->Y1 = std::min(rec->Y1, Y);
        rec->X2 = std::max(rec->X2, X);
        rec->Y2 = std::max(rec->Y2, Y);
    }
}

const cl::TPoint* TVovozIdView::GetSelectionPolygon() const {
    const auto& points = GetSelectionRecord()->Points;
    return points.empty() ? nullptr : points.data();
}

int32_t TVovozIdView::GetSelectionPointCount() const {
    return static_cast<int32_t>(GetSelectionRecord()->Points.size());
}

bool TVovozIdView::SelectionIsRectangle() const {
    const auto& p = GetSelectionRecord()->Points;
    if (p.size() != 4) return false;
    return p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x && p[0].x != p[1].x &&
           p[0].y != p[3].y;
}

void TVovozIdView::RepaintSelection() {
    FBackBufferDirty = true;
    if (HandleAllocated() && FPaintLockCount == 0) Paint();
    DrawSelectionOutline(this, false);
}

void TVovozIdView::WithAppSelectionBase(const std::function<void()>& Fire) {
    // During the mouse work the view runs in client coordinates; the application sees its own
    // setting while its handler runs.
    if (!FSelectionBaseSwapped) {
        Fire();
        return;
    }
    TIESelectionBase work = FSelectionBase;
    FSelectionBase = FAppSelectionBase;
    try {
        Fire();
    } catch (...) {
        FSelectionBase = work;
        throw;
    }
    FSelectionBase = work;
}

void TVovozIdView::DoSelectionChanging() {
    WithAppSelectionBase([&] {
        if (OnSelectionChanging) OnSelectionChanging(this);
    });
}

void TVovozIdView::DoSelectionChange() {
    if (OnSelectionChange) OnSelectionChange(this);
}

void TVovozIdView::DoBeforeSelectionChange() {
    WithAppSelectionBase([&] {
        if (OnBeforeSelectionChange) OnBeforeSelectionChange(this);
    });
}

void TVovozIdView::DoMouseInSel() {
    WithAppSelectionBase([&] {
        if (OnMouseInSel) OnMouseInSel(this);
    });
}

// ---------------------------------------------------------------------------------------
// Building the selection

void TVovozIdView::Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op) {
    if (FIsOverview) LockUpdate();
    try {
        AddSelectRect(X1, Y1, X2, Y2, Op, false, false);
        if (Op == 0 && !FSelected) FSelectionMask->Clear();
        EndSelect();
    } catch (...) {
        if (FIsOverview) UnlockUpdateEx();
        throw;
    }
    if (FIsOverview) UnlockUpdateEx();
    RepaintSelection();
}

void TVovozIdView::AddSelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Clip, bool Square) {
    if (X1 == X2 || Y1 == Y2) return;
    ToLayer(X1, Y1);
    ToLayer(X2, Y2);
    const int32_t w = SelWidth(), h = SelHeight();
    TIESelectionRecord* rec = GetSelectionRecord();
    FSelected = true;
    if (Op == 1 && !rec->Points.empty())
        StartNewSubPolygon();
    else
        rec->Points.clear();
    if (Op == 0) FSelectionMask->Clear();
    if (Square) {
        if (FSelectionRatio == -1) {
            Y2 = X2 + Y1 - X1;
        } else if (FSelectionRatio > 0) {
            Y2 = RoundHalfEven(FSelectionRatio * (static_cast<double>(X2) - X1)) + Y1;
            if (Y2 >= h)
                X2 = RoundHalfEven((h - Y1 - 1 + X1 * FSelectionRatio) / FSelectionRatio);
            else if (Y2 < 0)
                X2 = RoundHalfEven((X1 * FSelectionRatio - Y1) / FSelectionRatio);
            if (Y2 >= h) Y2 = h - 1;
            if (Y2 < 0) Y2 = 0;
        }
    }
    if (Clip) {
        // Shifted, not shrunk, to lie inside the bitmap.
        int32_t lx = std::min(X1, X2), hx = std::max(X1, X2), ly = std::min(Y1, Y2), hy = std::max(Y1, Y2);
        int32_t dx = 0, dy = 0;
        if (lx < 0) dx = -lx;
        if (hx + dx > w) dx = w - hx;
        if (ly < 0) dy = -ly;
        if (hy + dy > h) dy = h - hy;
        X1 += dx;
        X2 += dx;
        Y1 += dy;
        Y2 += dy;
    }
    if (X1 > X2) std::swap(X1, X2);
    if (Y1 > Y2) std::swap(Y1, Y2);
    X1 = std::clamp(X1, 0, std::max(w - 1, 0));
    Y1 = std::clamp(Y1, 0, std::max(h - 1, 0));
    X2 = std::clamp(X2, 0, w);
    Y2 = std::clamp(Y2, 0, h);
    AddPoint(X1, Y1);
    AddPoint(X2, Y1);
    AddPoint(X2, Y2);
    AddPoint(X1, Y2);
    rec->OutlineShown = true;
    UpdateAntsTimer();
    DrawSelectionOutline(this, false);
}

void TVovozIdView::AddSelectEllipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Square) {
    if (X1 == X2 || Y1 == Y2) return;
    // The rectangle is placed as a rectangle selection would be, then replaced by the
    // ellipse's outline.
    const TIESelectionBase base = FSelectionBase;
    ToLayer(X1, Y1);
    ToLayer(X2, Y2);
    FSelectionBase = iesbBitmap;
    TIESelectionRecord* rec = GetSelectionRecord();
    const size_t keep = Op == 1 ? rec->Points.size() : 0;
    try {
        AddSelectRect(X1, Y1, X2, Y2, Op, false, Square);
    } catch (...) {
        FSelectionBase = base;
        throw;
    }
    FSelectionBase = base;
    if (rec->Points.size() < keep + 4) return;
    const cl::TPoint a = rec->Points[rec->Points.size() - 4], c = rec->Points[rec->Points.size() - 2];
    rec->Points.resize(rec->Points.size() - 4);
    const double cx = (a.x + c.x) / 2.0, cy = (a.y + c.y) / 2.0;
    const double rx = (c.x - a.x) / 2.0, ry = (c.y - a.y) / 2.0;
    // One point per two pixels of circumference, at least 16.
    const int32_t n = std::clamp(static_cast<int32_t>(std::ceil(std::numbers::pi * (rx + ry))), 16, 4096);
    cl::TPoint last{INT32_MIN, INT32_MIN};
    for (int32_t i = 0; i < n; ++i) {
        const double t = 2 * std::numbers::pi * i / n;
        cl::TPoint p{RoundHalfEven(cx + rx * std::cos(t)), RoundHalfEven(cy + ry * std::sin(t))};
        if (p.x == last.x && p.y == last.y) continue;
        AddPoint(p.x, p.y);
        last = p;
    }
    SyncPolygonBox();
    DrawSelectionOutline(this, false);
}

void TVovozIdView::AddSelectionPoint(int32_t X, int32_t Y) {
    if (FSelectionBase == iesbClientArea) {
        ToLayer(X, Y);
        X = std::clamp(X, 0, SelWidth());
        Y = std::clamp(Y, 0, SelHeight());
    }
    AddPoint(X, Y);
    FSelected = true;
    GetSelectionRecord()->OutlineShown = true;
    UpdateAntsTimer();
    DrawSelectionOutline(this, false);
    RepaintSelection();
}

void TVovozIdView::EndSelect() {
    TIESelectionRecord* rec = GetSelectionRecord();
    FSelectionMask->FillPolygons(1, rec->Points.data(), static_cast<int32_t>(rec->Points.size()));
    FSelectionMask->SyncRect();
    if (FSelectionMask->IsEmpty()) {
        FSelected = false;
        rec->Points.clear();
    }
}

void TVovozIdView::Deselect() {
    TIESelectionRecord* rec = GetSelectionRecord();
    if (FSelected) {
        FSelected = false;
        rec->OutlineShown = false;
        FBackBufferDirty = true;
        if (HandleAllocated()) Invalidate();
    }
    rec->Points.clear();
    FSelectionMask->Clear();
    FRectSelecting = FCircleSelecting = FPolySelecting = FLassoSelecting = FZoomSelecting = false;
    FGripHeld = 0;
    FHoverSel = -1;
    FHoveredGrip = 0;
    RestoreCursor();
    UpdateAntsTimer();
    FUpdateReason = 3;
    Update();
}

void TVovozIdView::StartNewSubPolygon() {
    if (!GetSelectionRecord()->Points.empty()) AddPoint(IEPolygonSeparator, IEPolygonSeparator);
}

void TVovozIdView::RemoveLastSubPolygon() {
    auto& p = GetSelectionRecord()->Points;
    // A trailing separator belongs to the sub-polygon before it.
    while (!p.empty() && IsSeparator(p.back())) p.pop_back();
    auto it = std::find_if(p.rbegin(), p.rend(), IsSeparator);
    if (it == p.rend())
        p.clear();
    else
        p.erase(std::prev(it.base()), p.end());
    SyncPolygonBox();
    RepaintSelection();
}

void TVovozIdView::SelectMagicWand(int32_t X, int32_t Y, int32_t Op) {
    ToLayer(X, Y);
    // Only a pixel of the bitmap can be the seed.
    if (X < 0 || Y < 0 || X >= SelWidth() || Y >= SelHeight()) return;
    TIESelectionRecord* rec = GetSelectionRecord();
    if (MagicWandMode == 0) {
        std::vector<cl::TPoint> poly = IEMagicWandPolygon(FIEBitmap, X, Y, MagicWandTolerance, MagicWandMaxFilter);
        if (!poly.empty()) {
            FSelected = true;
            if (Op == 1 && !rec->Points.empty())
                StartNewSubPolygon();
            else
                rec->Points.clear();
            for (const cl::TPoint& p : poly) AddPoint(std::clamp(p.x, 0, SelWidth()), std::clamp(p.y, 0, SelHeight()));
            if (Op == 0) FSelectionMask->Clear();
            EndSelect();
        }
    } else {
        if (Op == 0) {
            rec->Points.clear();
            FSelectionMask->Clear();
        }
        if (MagicWandMode == 1)
            IEMagicWandFill(FIEBitmap, X, Y, 1, FSelectionMask.get(), MagicWandTolerance, MagicWandMaxFilter);
        else
            IEMagicWandGlobal(FIEBitmap, X, Y, 1, FSelectionMask.get(), MagicWandTolerance);
        FSelectionMask->SyncRect();
        FSelectionMask->SyncFull();
        FSelected = !FSelectionMask->IsEmpty();
    }
    rec->OutlineShown = true;
    UpdateAntsTimer();
    RepaintSelection();
}

// ---------------------------------------------------------------------------------------
// Moving and resizing

void TVovozIdView::MoveSelection(int32_t DX, int32_t DY) {
    TIESelectionRecord* rec = GetSelectionRecord();
    const bool cut = (FSelectionOptions & IESelOpt(iesoCutBorders)) != 0;
    const int32_t w = SelWidth(), h = SelHeight();
    if (SelectionIsRectangle()) {
        // Rebuilt from the moved polygon.
        FSelectionMask->Clear();
    } else {
        FSelectionMask->Translate(DX, DY, cut);
    }
    if (DX == 0 && DY == 0) return;
    if (cut) {
        for (cl::TPoint& p : rec->Points) {
            if (IsSeparator(p)) continue;
            p.x = std::clamp(p.x + DX, 0, w);
            p.y = std::clamp(p.y + DY, 0, h);
        }
    } else {
        if (rec->X1 + DX < 0) DX = -rec->X1;
        if (rec->X2 + DX > w) DX = w - rec->X2;
        if (rec->Y1 + DY < 0) DY = -rec->Y1;
        if (rec->Y2 + DY > h) DY = h - rec->Y2;
        for (cl::TPoint& p : rec->Points) {
            if (IsSeparator(p)) continue;
            p.x += DX;
            p.y += DY;
        }
    }
    SyncPolygonBox();
    if (SelectionIsRectangle() || !rec->Points.empty()) EndSelect();
    RepaintSelection();
}

int32_t TVovozIdView::ResizeSelectionByGrip(int32_t Grip, int32_t X, int32_t Y, bool KeepRatio) {
    if (!SelectionIsRectangle()) return Grip;
    TIESelectionRecord* rec = GetSelectionRecord();
    SyncGeometry();
    TIELayer* layer = GetCurrentLayerObject();
    X = layer->ClientToLayerX(X);
    Y = layer->ClientToLayerY(Y);
    const int32_t w = SelWidth(), h = SelHeight();
    int32_t x1 = rec->X1, y1 = rec->Y1, x2 = rec->X2, y2 = rec->Y2;
    const bool movesX1 = Grip == 1 || Grip == 4 || Grip == 5;
    const bool movesX2 = Grip == 2 || Grip == 3 || Grip == 6;
    const bool movesY1 = Grip == 1 || Grip == 2 || Grip == 7;
    const bool movesY2 = Grip == 3 || Grip == 4 || Grip == 8;
    if (movesX1) x1 = std::min(X, x2 - 1);
    if (movesX2) x2 = std::max(X + 1, x1 + 1);
    if (movesY1) y1 = std::min(Y, y2 - 1);
    if (movesY2) y2 = std::max(Y + 1, y1 + 1);
    if (KeepRatio || FSelectionRatio > 0) {
        double ratio = FSelectionRatio > 0 ? FSelectionRatio : FGripRatio;
        if (ratio <= 0 && FGripBox.right > FGripBox.left)
            ratio = static_cast<double>(FGripBox.bottom - FGripBox.top) / (FGripBox.right - FGripBox.left);
        if (ratio > 0) {
            // The other coordinate follows; the dragged one comes inward until both fit.
            for (int32_t guard = 0; guard < 1 << 16; ++guard) {
                const bool byX = movesX1 || movesX2;
                if (byX) {
                    int32_t nh = std::max(1, RoundHalfEven((x2 - x1) * ratio));
                    if (movesY1 || (!movesY2 && Grip != 6 && Grip != 5))
                        y1 = y2 - nh;
                    else
                        y2 = y1 + nh;
                } else {
                    int32_t nw = std::max(1, RoundHalfEven((y2 - y1) / ratio));
                    x2 = x1 + nw;
                }
                if (x1 >= 0 && y1 >= 0 && x2 <= w && y2 <= h) break;
                if (byX) {
                    if (movesX1 && x1 < x2 - 1)
                        ++x1;
                    else if (movesX2 && x2 > x1 + 1)
                        --x2;
                    else
                        break;
                } else {
                    if (movesY1 && y1 < y2 - 1)
                        ++y1;
                    else if (movesY2 && y2 > y1 + 1)
                        --y2;
                    else
                        break;
                }
            }
        }
    }
    if (x2 < x1) {
        static const int32_t swapX[] = {0, 2, 1, 4, 3, 6, 5, 7, 8};
        if (Grip >= 0 && Grip <= 8) Grip = swapX[Grip];
    }
    if (y2 < y1) {
        static const int32_t swapY[] = {0, 4, 3, 2, 1, 5, 6, 8, 7};
        if (Grip >= 0 && Grip <= 8) Grip = swapY[Grip];
    }
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    x1 = std::clamp(x1, 0, w);
    x2 = std::clamp(x2, 0, w);
    y1 = std::clamp(y1, 0, h);
    y2 = std::clamp(y2, 0, h);
    rec->Points.clear();
    AddPoint(x1, y1);
    AddPoint(x2, y1);
    AddPoint(x2, y2);
    AddPoint(x1, y2);
    return Grip;
}

int32_t TVovozIdView::SelectionGripAt(int32_t X, int32_t Y) {
    TIESelectionRecord* rec = GetSelectionRecord();
    if (!rec->OutlineShown || (FSelectionOptions & IESelOpt(iesoSizeable)) == 0 || !SelectionIsRectangle() ||
        FRectSelecting)
        return 0;
    SyncGeometry();
    TIELayer* layer = GetCurrentLayerObject();
    const int32_t g = SelectionGripSize;
    for (int32_t i = 0; i < 4; ++i) {
        const cl::TPoint& p = rec->Points[static_cast<size_t>(i)];
        const int32_t cx = layer->LayerToClientX(p.x), cy = layer->LayerToClientY(p.y);
        if (std::abs(X - cx) <= g && std::abs(Y - cy) <= g) return i + 1;
    }
    const int32_t l = layer->LayerToClientX(rec->X1), r = layer->LayerToClientX(rec->X2);
    const int32_t t = layer->LayerToClientY(rec->Y1), b = layer->LayerToClientY(rec->Y2);
    auto nearV = [&](int32_t ex) { return std::abs(X - ex) < 3 && Y >= t - 2 && Y <= b + 2; };
    auto nearH = [&](int32_t ey) { return std::abs(Y - ey) < 3 && X >= l - 2 && X <= r + 2; };
    if (nearV(l)) return 5;
    if (nearV(r)) return 6;
    if (nearH(t)) return 7;
    if (nearH(b)) return 8;
    return 0;
}

int32_t TVovozIdView::InSelectionAt(int32_t X, int32_t Y, cl::TShiftState Shift) {
    if ((Shift & cl::ssShift) || FSelectionMask->IsEmpty() || FRectSelecting || FPolySelecting || FCircleSelecting)
        return -1;
    SyncGeometry();
    TIELayer* layer = GetCurrentLayerObject();
    const int32_t bx = layer->ClientToLayerX(X), by = layer->ClientToLayerY(Y);
    if (FSelectionMask->IsPointInside(bx, by) && (FSelectionOptions & IESelOpt(iesoMoveable))) return 0;
    return -1;
}

// ---------------------------------------------------------------------------------------
// Settings

void TVovozIdView::SetSelectionOptions(TIESelectionOptions Value) {
    FSelectionOptions = Value;
    for (auto& rec : FSelectionRecords) {
        rec->Animated = (Value & IESelOpt(iesoAnimated)) != 0;
        rec->Sizeable = (Value & IESelOpt(iesoSizeable)) != 0;
    }
    UpdateAntsTimer();
    FUpdateReason = 3;
    Update();
}

void TVovozIdView::SetSelectionRatio(double Value) {
    if (Value == FSelectionRatio) return;
    FSelectionRatio = Value;
    if (Value != 0)
        SetSelectionOptions(FSelectionOptions | IESelOpt(iesoSizeable));
    else
        SetSelectionOptions(FSelectionOptions & static_cast<TIESelectionOptions>(~IESelOpt(iesoSizeable)));
}

// ---------------------------------------------------------------------------------------
// The selection stream

void TVovozIdView::SaveSelectionToStream(cl::TStream* Stream) {
    TIESelectionRecord* rec = GetSelectionRecord();
    TIEMask* m = FSelectionMask.get();
    PutInt(Stream, m->Width);
    PutInt(Stream, m->Height);
    PutInt(Stream, static_cast<int32_t>(rec->Points.size()));
    for (const cl::TPoint& p : rec->Points) {
        PutInt(Stream, p.x);
        PutInt(Stream, p.y);
    }
    PutInt(Stream, rec->X1);
    PutInt(Stream, rec->Y1);
    PutInt(Stream, rec->X2);
    PutInt(Stream, rec->Y2);
    PutByte(Stream, FSelected ? 1 : 0);
    TIELayer* layer = GetCurrentLayerObject();
    PutInt(Stream, layer->PositionX);
    PutInt(Stream, layer->PositionY);
    PutInt(Stream, m->BitsPerPixel);
    PutInt(Stream, m->X1);
    PutInt(Stream, m->Y1);
    PutInt(Stream, m->X2);
    PutInt(Stream, m->Y2);
    PutByte(Stream, m->Full ? 1 : 0);
    if (m->Bits && m->Height > 0) {
        // Rows top first.
        for (int32_t y = 0; y < m->Height; ++y) Stream->WriteBuffer(m->GetScanline(y), m->RowLen);
    }
}

bool TVovozIdView::LoadSelectionFromStream(cl::TStream* Stream, int32_t Mode) {
    if (!Stream) return false;
    // Everything is read and checked before the view changes.
    const int64_t start = Stream->GetPosition();
    const int64_t avail = Stream->GetSize() - start;
    if (avail < 4 + 4 + 4) return false;
    std::vector<uint8_t> data(static_cast<size_t>(std::min<int64_t>(avail, 4 + 4 + 4)));
    Stream->ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    int32_t mw = 0, mh = 0, count = 0;
    {
        TByteReader head(data.data(), data.size());
        head.Int(mw);
        head.Int(mh);
        head.Int(count);
    }
    auto fail = [&] {
        Stream->SetPosition(start);
        return false;
    };
    if (mw < 0 || mh < 0 || count < 0) return fail();
    // The fixed part after the points is 16 + 1 + 8 + 4 + 16 + 1 bytes.
    const int64_t afterHead = avail - 12;
    if (static_cast<int64_t>(count) * 8 > afterHead - 46) return fail();
    std::vector<uint8_t> rest(static_cast<size_t>(static_cast<int64_t>(count) * 8 + 46));
    Stream->ReadBuffer(rest.data(), static_cast<int64_t>(rest.size()));
    TByteReader in(rest.data(), rest.size());
    std::vector<cl::TPoint> points(static_cast<size_t>(count));
    for (cl::TPoint& p : points) {
        in.Int(p.x);
        in.Int(p.y);
        if (!StoredCoordOk(p.x) || !StoredCoordOk(p.y) || (IsSeparator(p) != (p.x == IEPolygonSeparator)))
            return fail();
    }
    int32_t px1 = 0, py1 = 0, px2 = 0, py2 = 0, posX = 0, posY = 0, bpp = 0, bx1 = 0, by1 = 0, bx2 = 0, by2 = 0;
    uint8_t selected, full;
    in.Int(px1);
    in.Int(py1);
    in.Int(px2);
    in.Int(py2);
    in.Byte(selected);
    in.Int(posX);
    in.Int(posY);
    in.Int(bpp);
    in.Int(bx1);
    in.Int(by1);
    in.Int(bx2);
    in.Int(by2);
    in.Byte(full);
    for (int32_t v : {px1, py1, px2, py2, posX, posY})
        if (!StoredCoordOk(v)) return fail();
    if (bpp != 1 && bpp != 8) return fail();
    const bool emptyBox = bx1 == INT32_MAX;
    if (!emptyBox && (bx1 < 0 || by1 < 0 || bx1 > bx2 || by1 > by2 || bx2 >= mw || by2 >= mh)) return fail();
    const int64_t rowLen = mw > 0 ? IEBitmapRowLen(mw, bpp, 32) : 0;
    const int64_t rowsBytes = rowLen * mh;
    if (rowsBytes > Stream->GetSize() - Stream->GetPosition()) return fail();
    auto mask = std::make_unique<TIEMask>();
    if (mw > 0 && mh > 0) {
        mask->Allocate(mw, mh, bpp);
        if (mask->Width != mw || mask->Height != mh || mask->RowLen != rowLen) return fail();
        std::vector<uint8_t> row(static_cast<size_t>(rowLen));
        for (int32_t y = 0; y < mh; ++y) {
            Stream->ReadBuffer(row.data(), rowLen);
            std::memcpy(mask->GetScanline(y), row.data(), static_cast<size_t>(rowLen));
        }
    } else {
        mask->Allocate(0, 0, bpp);
        mask->BitsPerPixel = bpp;
    }
    mask->X1 = emptyBox ? INT_MAX : bx1;
    mask->Y1 = emptyBox ? INT_MAX : by1;
    mask->X2 = emptyBox ? 0 : bx2;
    mask->Y2 = emptyBox ? 0 : by2;
    mask->Full = full != 0;

    // The stored selection becomes the view's.
    HoldUpdate();
    TIESelectionRecord* rec = GetSelectionRecord();
    FSelectionMask = std::move(mask);
    rec->Points = std::move(points);
    rec->X1 = px1;
    rec->Y1 = py1;
    rec->X2 = px2;
    rec->Y2 = py2;
    FSelected = selected != 0;
    const int32_t w = SelWidth(), h = SelHeight();
    TIEMask* m = FSelectionMask.get();
    if (Mode == 2) {
        // The layer changed: the mask keeps the same image pixels under the new layer.
        rec->Points.clear();
        TIELayer* layer = GetCurrentLayerObject();
        const int64_t dx = static_cast<int64_t>(posX) - layer->PositionX;
        const int64_t dy = static_cast<int64_t>(posY) - layer->PositionY;
        auto moved = std::make_unique<TIEMask>();
        moved->Allocate(w, h, m->BitsPerPixel > 0 ? m->BitsPerPixel : 1);
        if (!m->IsEmpty() && m->Bits) {
            for (int32_t y = m->Y1; y <= m->Y2; ++y) {
                const int64_t ty = y + dy;
                if (ty < 0 || ty >= h) continue;
                for (int32_t x = m->X1; x <= m->X2; ++x) {
                    const int64_t tx = x + dx;
                    if (tx < 0 || tx >= w) continue;
                    const int32_t v = m->GetPixel(x, y);
                    if (v) moved->SetPixel(static_cast<int32_t>(tx), static_cast<int32_t>(ty), v);
                }
            }
        }
        FSelectionMask = std::move(moved);
        FSelectionMask->SyncRect();
        FSelectionMask->SyncFull();
    } else if (m->Width != w || m->Height != h) {
        if (m->IsEmpty()) {
            m->Resize(w, h);
            if (m->Width != w) m->Allocate(w, h, 1);
        } else {
            if (Mode == 1) {
                if (m->X2 >= w) MoveSelection(w - 1 - m->X2, 0);
                m = FSelectionMask.get();
                if (!m->IsEmpty() && m->Y2 >= h) MoveSelection(0, h - 1 - m->Y2);
                m = FSelectionMask.get();
            }
            m->Resize(w, h);
            m->SyncRect();
            m->SyncFull();
        }
    }
    if (FSelectionMask->IsEmpty()) {
        ReleaseUpdateHold();
        Deselect();
        return true;
    }
    FSelected = true;
    rec->OutlineShown = true;
    UpdateAntsTimer();
    DrawSelectionOutline(this, false);
    ResumeUpdate();
    return true;
}

void TVovozIdView::PushSelection() {
    auto s = std::make_unique<cl::TMemoryStream>();
    SaveSelectionToStream(s.get());
    s->SetPosition(0);
    FSavedSelections.push_back(std::move(s));
}

bool TVovozIdView::PopSelection(bool Delete, int32_t Mode) {
    if (FSavedSelections.empty()) return false;
    cl::TMemoryStream* s = FSavedSelections.back().get();
    s->SetPosition(0);
    bool ok = LoadSelectionFromStream(s, Mode);
    if (Delete) FSavedSelections.pop_back();
    return ok;
}

// ---------------------------------------------------------------------------------------
// Drawing the outline

bool TVovozIdView::SelectionDrawRects(int32_t& XDst, int32_t& YDst, int32_t& WDst, int32_t& HDst, int32_t& XSrc,
                                      int32_t& YSrc, int32_t& WSrc, int32_t& HSrc) {
    SyncGeometry();
    TIELayer* layer = GetCurrentLayerObject();
    const int32_t w = SelWidth(), h = SelHeight();
    if (w < 1 || h < 1) return false;
    // The layer's pixels that lie in the client area.
    const int32_t vw = GetViewWidth(), vh = GetViewHeight();
    int32_t sx1 = std::clamp(layer->ClientToLayerX(0), 0, w), sy1 = std::clamp(layer->ClientToLayerY(0), 0, h);
    int32_t sx2 = std::clamp(layer->ClientToLayerX(vw - 1) + 1, 0, w);
    int32_t sy2 = std::clamp(layer->ClientToLayerY(vh - 1) + 1, 0, h);
    if (sx2 <= sx1 || sy2 <= sy1) return false;
    XSrc = sx1;
    YSrc = sy1;
    WSrc = sx2 - sx1;
    HSrc = sy2 - sy1;
    XDst = layer->LayerToClientX(sx1);
    YDst = layer->LayerToClientY(sy1);
    WDst = layer->LayerToClientX(sx2) - XDst;
    HDst = layer->LayerToClientY(sy2) - YDst;
    return WDst > 0 && HDst > 0;
}

void TVovozIdView::DrawSelectionGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (SelectionGridCount <= 1) return;
    cl::TCanvas* c = GetCanvas();
    c->GetPen()->SetColor(static_cast<cl::TColor>(0xA0A0A0));
    c->GetPen()->SetStyle(cl::psSolid);
    c->GetPen()->SetMode(cl::pmCopy);
    c->GetPen()->SetWidth(1);
    for (int32_t i = 1; i < SelectionGridCount; ++i) {
        const int32_t y =
            Y1 + static_cast<int32_t>(std::trunc(static_cast<double>(i) * (Y2 - Y1) / SelectionGridCount));
        c->MoveTo(X1, y);
        c->LineTo(X2, y);
        const int32_t x =
            X1 + static_cast<int32_t>(std::trunc(static_cast<double>(i) * (X2 - X1) / SelectionGridCount));
        c->MoveTo(x, Y1);
        c->LineTo(x, Y2);
    }
}

void TVovozIdView::DrawSelectionGrips(cl::TCanvas* Canvas) {
    TIESelectionRecord* rec = GetSelectionRecord();
    TIELayer* layer = GetCurrentLayerObject();
    TIECanvas ac(Canvas);
    ac.GetBrush()->SetStyle(SelectionGripBrushStyle);
    ac.GetBrush()->SetColor(SelectionGripBrushColor);
    ac.GetPen()->SetColor(SelectionGripPenColor);
    ac.GetPen()->SetStyle(cl::psSolid);
    const int32_t g = SelectionGripSize;
    auto grip = [&](int32_t x, int32_t y) {
        if (SelectionGripShape == 1)
            ac.Ellipse(x - g, y - g, x + g, y + g);
        else
            ac.Rectangle(x - g, y - g, x + g, y + g);
    };
    std::vector<cl::TPoint> corners;
    corners.reserve(rec->Points.size());
    for (const cl::TPoint& p : rec->Points) corners.push_back({layer->LayerToClientX(p.x), layer->LayerToClientY(p.y)});
    for (const cl::TPoint& p : corners) grip(p.x, p.y);
    if (SelectionSideGrips && corners.size() == 4) {
        for (size_t i = 0; i < 4; ++i) {
            const cl::TPoint& a = corners[i];
            const cl::TPoint& b = corners[(i + 1) % 4];
            grip((a.x + b.x) / 2, (a.y + b.y) / 2);
        }
    }
    DrawSelectionGrid(corners[0].x, corners[0].y, corners[2].x, corners[2].y);
}

void TVovozIdView::DrawPolygonDashes(TIESelectionRecord* Rec, cl::TCanvas* Canvas) {
    TIELayer* layer = GetCurrentLayerObject();
    win::HDC dc = Canvas->GetHandle();
    const win::COLORREF c1 = static_cast<win::COLORREF>(cl::ColorToRGB(Rec->SelectionColor1));
    const win::COLORREF c2 = static_cast<win::COLORREF>(cl::ColorToRGB(Rec->SelectionColor2));
    // Four steps of the first colour and three of the second, starting with the phase.
    int32_t step = Rec->AntsPhase;
    auto line = [&](cl::TPoint a, cl::TPoint b) {
        const int32_t dx = b.x - a.x, dy = b.y - a.y;
        const int32_t n = std::max(std::abs(dx), std::abs(dy));
        if (n > 1 << 16) return;  // far outside any window
        for (int32_t i = 0; i < n; ++i) {
            const int32_t x = a.x + static_cast<int32_t>(std::lround(static_cast<double>(dx) * i / n));
            const int32_t y = a.y + static_cast<int32_t>(std::lround(static_cast<double>(dy) * i / n));
            win::SetPixelV(dc, x, y, (step % 7) < 4 ? c1 : c2);
            ++step;
        }
    };
    int32_t polygon = 0, index = 0;
    cl::TPoint prev{0, 0};
    bool havePrev = false;
    for (const cl::TPoint& p : Rec->Points) {
        if (IsSeparator(p)) {
            ++polygon;
            index = 0;
            havePrev = false;
            continue;
        }
        cl::TPoint c{layer->LayerToClientX(p.x), layer->LayerToClientY(p.y)};
        if (havePrev) line(prev, c);
        if (OnDrawPolygon) OnDrawPolygon(this, polygon, index, Canvas, c.x, c.y);
        prev = c;
        havePrev = true;
        ++index;
    }
}

void TVovozIdView::DrawSelectionOutline(cl::TObject*, bool FromTimer) {
    if (!HasParentForm() || FOutlineDrawingOff || HasState(cl::csDesigning)) return;
    const bool drawing = FRectSelecting || FCircleSelecting || FPolySelecting;
    for (auto& recPtr : FSelectionRecords) {
        TIESelectionRecord* rec = recPtr.get();
        if (!rec->OutlineShown) continue;
        if (rec->Animated && FromTimer && !drawing && FHoveredGrip == 0) {
            rec->AntsPhase = rec->AntsPhase >= 9 ? 0 : rec->AntsPhase + 1;
            ++FAnimationCounter;
        }
        if (!HandleAllocated() || FPaintLockCount > 0 || FEdgeScrolling) continue;
        cl::TCanvas* canvas = rec->Canvas ? rec->Canvas : GetCanvas();
        win::RECT clip{};
        if (win::GetClipBox(canvas->GetHandle(), &clip) == win::NULLREGION) continue;
        if (SelectionIsRectangle() && (FSelectionOptions & IESelOpt(iesoSizeable)) && !FRectSelecting &&
            FHoveredGrip == 0)
            DrawSelectionGrips(canvas);
        if (!FSelectionMask->IsEmpty() && !drawing && FHoverSel == -1) {
            // The ants wait while the view is being zoomed or scrolled.
            if (FViewChangeCount == 0) {
                int32_t xd, yd, wd, hd, xs, ys, ws, hs;
                if (SelectionDrawRects(xd, yd, wd, hd, xs, ys, ws, hs))
                    FSelectionMask->DrawOutline(canvas, xd, yd, wd, hd, xs, ys, ws, hs, rec->AntsPhase,
                                                rec->SelectionColor1, rec->SelectionColor2, nullptr);
            }
        } else if (FPolySelecting || (drawing && !rec->Points.empty())) {
            DrawPolygonDashes(rec, canvas);
        }
        win::GdiFlush();
    }
    UpdateAntsTimer();
}

}  // namespace ie
