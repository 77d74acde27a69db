// The view's geometry: a zoom per axis and a scroll origin place the image in the client
// area; lookup tables convert between client and bitmap coordinates without floating-point
// work per pixel; fitting zooms; the window's scroll bars.
#include <algorithm>
#include <cfenv>
#include <cmath>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/hyieutils_numbers.h"
#include "imaging/view/vovozidview.h"
#include "platform/user.h"

namespace ie {

namespace {

// Nearest whole number, halves to even.
int32_t RoundEven(double Value) { return IETruncToInt32(std::nearbyint(Value)); }

int32_t Trunc(double Value) { return IETruncToInt32(Value); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Extent, visible area and the coordinate tables

void TVovozIdView::UpdateExtent() {
    FExtentWidth = RoundEven(FImageWidth * FZoomFactorX);
    FExtentHeight = RoundEven(FImageHeight * FZoomFactorY);
    FOffsetX = 0;
    FOffsetY = 0;
    if (HasState(cl::csDesigning)) {
        FDisplayWidth = std::min(FExtentWidth, GetWidth());
        FDisplayHeight = std::min(FExtentHeight, GetHeight());
        return;
    }
    int32_t vw = GetViewWidth(), vh = GetViewHeight();
    FDisplayWidth = std::min(FExtentWidth, vw);
    FDisplayHeight = std::min(FExtentHeight, vh);
    if (FCenter) {
        if (FExtentWidth < vw) FOffsetX = (vw - FDisplayWidth) / 2;
        if (FExtentHeight < vh) FOffsetY = (vh - FDisplayHeight) / 2;
    }
}

void TVovozIdView::UpdateVisibleArea() {
    auto axis = [this](int32_t Image, int32_t Extent, int32_t Display, int32_t Origin, double Zoom, double Factor,
                       bool IsX, int32_t& Visible, int32_t& VisibleSize, int32_t& VisibleDisplay) {
        if (Extent == 0) {
            Visible = VisibleSize = VisibleDisplay = 0;
            return;
        }
        double r = static_cast<double>(Image) / Extent;
        Visible = RoundEven((IsX ? SnapOriginX(Origin) : SnapOriginY(Origin)) * r);
        VisibleSize = RoundEven(r * Display);
        if (Visible + VisibleSize > Image) --VisibleSize;
        if (Zoom > 100) {
            VisibleDisplay = Trunc(VisibleSize * Factor);
            if (VisibleDisplay < Display && Visible + VisibleSize + 1 <= Image) {
                ++VisibleSize;
                VisibleDisplay = Trunc(VisibleSize * Factor);
            }
        } else {
            VisibleDisplay = Display;
        }
    };
    axis(FImageWidth, FExtentWidth, FDisplayWidth, FOriginX, FZoomPercentX, FZoomFactorX, true, FVisibleX,
         FVisibleWidth, FVisibleDisplayWidth);
    axis(FImageHeight, FExtentHeight, FDisplayHeight, FOriginY, FZoomPercentY, FZoomFactorY, false, FVisibleY,
         FVisibleHeight, FVisibleDisplayHeight);
}

namespace {

// Builds the tables of one axis for the zoom (percent), the visible display size and the
// image size.
void BuildAxis(std::vector<int32_t>& ZoomedToBitmap, std::vector<int32_t>& BitmapToZoomed, double Zoom, double Factor,
               double Inv, int32_t Extent, int32_t VisibleDisplay, int32_t Image, int32_t& BitmapWindowLength) {
    ZoomedToBitmap.clear();
    BitmapToZoomed.clear();
    if (VisibleDisplay <= 0 || Image <= 0) return;
    BitmapWindowLength = Trunc(VisibleDisplay * Inv);
    const int32_t j = Extent + VisibleDisplay;
    const int32_t k = Trunc((j + 1) * Inv);
    ZoomedToBitmap.assign(static_cast<size_t>(j) + 2, 0);
    BitmapToZoomed.assign(static_cast<size_t>(k) + 2, 0);
    const int32_t last = std::max(Image - 1, 0);
    if (Zoom > 100) {
        // Walking down leaves in BitmapToZoomed the first zoomed column of each bitmap column.
        for (int32_t z = j; z >= 0; --z) {
            int32_t b = Trunc(z * Inv);
            if (b >= 0 && b < static_cast<int32_t>(BitmapToZoomed.size())) BitmapToZoomed[static_cast<size_t>(b)] = z;
            ZoomedToBitmap[static_cast<size_t>(z)] = std::min(b, last);
        }
    } else {
        // Each zoomed column keeps the first bitmap column that lands on it.
        for (int32_t b = k; b >= 0; --b) {
            int32_t z = Trunc(b * Factor);
            BitmapToZoomed[static_cast<size_t>(b)] = z;
            if (z >= 0 && z < static_cast<int32_t>(ZoomedToBitmap.size()))
                ZoomedToBitmap[static_cast<size_t>(z)] = std::min(b, last);
        }
    }
}

}  // namespace

void TVovozIdView::UpdateCoordTables() {
    auto rebuild = [](TCoordAxis& A, double Zoom, double Factor, double Inv, int32_t Extent, int32_t VisibleDisplay,
                      int32_t Image) {
        if (A.BuiltZoom == Zoom && A.BuiltDisplay == VisibleDisplay && A.BuiltImage == Image) return;
        BuildAxis(A.ZoomedToBitmap, A.BitmapToZoomed, Zoom, Factor, Inv, Extent, VisibleDisplay, Image,
                  A.BitmapWindowLength);
        A.ScreenWindowLength = VisibleDisplay;
        A.BuiltZoom = Zoom;
        A.BuiltDisplay = VisibleDisplay;
        A.BuiltImage = Image;
    };
    // Both axes are rebuilt together when anything of either changed.
    bool changed = FCoordX.BuiltZoom != FZoomPercentX || FCoordY.BuiltZoom != FZoomPercentY ||
                   FCoordX.BuiltDisplay != FVisibleDisplayWidth || FCoordY.BuiltDisplay != FVisibleDisplayHeight ||
                   FCoordX.BuiltImage != FImageWidth || FCoordY.BuiltImage != FImageHeight;
    if (changed) {
        FCoordX.BuiltZoom = FCoordY.BuiltZoom = -1;
        rebuild(FCoordX, FZoomPercentX, FZoomFactorX, FInvZoomX, FExtentWidth, FVisibleDisplayWidth, FImageWidth);
        rebuild(FCoordY, FZoomPercentY, FZoomFactorY, FInvZoomY, FExtentHeight, FVisibleDisplayHeight, FImageHeight);
        if (!FCoordX.Valid() || !FCoordY.Valid()) {
            FCoordX.ZoomedToBitmap.clear();
            FCoordX.BitmapToZoomed.clear();
            FCoordY.ZoomedToBitmap.clear();
            FCoordY.BitmapToZoomed.clear();
        }
    }
    if (!FCoordX.Valid() || !FCoordY.Valid()) return;
    auto windows = [](TCoordAxis& A, int32_t Snapped, int32_t Visible) {
        size_t s = std::min(static_cast<size_t>(std::max(Snapped, 0)), A.ZoomedToBitmap.size() - 1);
        A.ScreenWindow = static_cast<int32_t>(s);
        A.BitmapWindow = std::max(0, A.ZoomedToBitmap[s] - Visible);
    };
    windows(FCoordX, SnapOriginX(FOriginX), FVisibleX);
    windows(FCoordY, SnapOriginY(FOriginY), FVisibleY);
}

int32_t TVovozIdView::SnapOriginX(int32_t V) {
    if (V < 0) V = 0;
    if (V < FExtentWidth && FCoordX.Valid() && V < static_cast<int32_t>(FCoordX.ZoomedToBitmap.size())) {
        int32_t b = FCoordX.ZoomedToBitmap[static_cast<size_t>(V)];
        if (b >= 0 && b < static_cast<int32_t>(FCoordX.BitmapToZoomed.size()))
            return FCoordX.BitmapToZoomed[static_cast<size_t>(b)];
    }
    return V;
}

int32_t TVovozIdView::SnapOriginY(int32_t V) {
    if (V < 0) V = 0;
    if (V < FExtentHeight && FCoordY.Valid() && V < static_cast<int32_t>(FCoordY.ZoomedToBitmap.size())) {
        int32_t b = FCoordY.ZoomedToBitmap[static_cast<size_t>(V)];
        if (b >= 0 && b < static_cast<int32_t>(FCoordY.BitmapToZoomed.size()))
            return FCoordY.BitmapToZoomed[static_cast<size_t>(b)];
    }
    return V;
}

namespace {

int32_t TableLookup(const std::vector<int32_t>& Table, int32_t Window, int32_t Index, bool& Found) {
    size_t i = static_cast<size_t>(Window) + static_cast<size_t>(Index);
    Found = i < Table.size();
    return Found ? Table[i] : 0;
}

}  // namespace

int32_t TVovozIdView::ClientToBitmapX(int32_t X) {
    int32_t x = X - FOffsetX;
    if (x >= 0 && x < FVisibleDisplayWidth && FCoordX.Valid()) {
        bool found = false;
        int32_t v = TableLookup(FCoordX.ZoomedToBitmap, FCoordX.ScreenWindow, x, found);
        if (found) return v;
    }
    return Trunc(x * FInvZoomX + FVisibleX);
}

int32_t TVovozIdView::ClientToBitmapY(int32_t Y) {
    int32_t y = Y - FOffsetY;
    if (y >= 0 && y < FVisibleDisplayHeight && FCoordY.Valid()) {
        bool found = false;
        int32_t v = TableLookup(FCoordY.ZoomedToBitmap, FCoordY.ScreenWindow, y, found);
        if (found) return v;
    }
    return Trunc(y * FInvZoomY + FVisibleY);
}

int32_t TVovozIdView::BitmapToClientX(int32_t X) {
    int32_t d = X - FVisibleX;
    if (d >= 0 && d < FCoordX.BitmapWindowLength && FCoordX.Valid()) {
        // The window starts at the first visible bitmap column, whose zoomed column is the
        // snapped origin.
        bool found = false;
        int32_t v = TableLookup(FCoordX.BitmapToZoomed, FCoordX.BitmapWindow, d, found);
        if (found) return v + FOffsetX;
    }
    int32_t s = SnapOriginX(FOriginX);
    return RoundEven((RoundEven(-s * FInvZoomX) + X) * FZoomFactorX + FOffsetX);
}

int32_t TVovozIdView::BitmapToClientY(int32_t Y) {
    int32_t d = Y - FVisibleY;
    if (d >= 0 && d < FCoordY.BitmapWindowLength && FCoordY.Valid()) {
        bool found = false;
        int32_t v = TableLookup(FCoordY.BitmapToZoomed, FCoordY.BitmapWindow, d, found);
        if (found) return v + FOffsetY;
    }
    int32_t s = SnapOriginY(FOriginY);
    return RoundEven((RoundEven(-s * FInvZoomY) + Y) * FZoomFactorY + FOffsetY);
}

// ---------------------------------------------------------------------------------------
// Scroll limits and fitting zooms

void TVovozIdView::GetMaxOrigin(int32_t& MaxX, int32_t& MaxY) {
    int32_t a = Trunc(FImageWidth * FZoomFactorX);
    int32_t b = Trunc(FImageHeight * FZoomFactorY);
    int32_t vw = GetViewWidth(), vh = GetViewHeight();
    bool equal = FZoomPercentX == FZoomPercentY;
    if (!equal) {
        if (vw + 10 < a) a = Trunc((FImageWidth + 1) * FZoomFactorX);
        if (vh + 10 < b) b = Trunc((FImageHeight + 1) * FZoomFactorY);
    } else if ((vw + 10 < a || vh + 10 < b) && FScrollBars != ssNone) {
        a = Trunc((FImageWidth + 1) * FZoomFactorX);
        b = Trunc((FImageHeight + 1) * FZoomFactorY);
    }
    MaxX = MaxY = 0;
    if (a < 1 || b < 1) return;
    MaxX = a - vw;
    MaxY = b - vh;
    if (MaxX < 0 || ClientToBitmapX(MaxX) == 0) MaxX = 0;
    if (MaxY < 0 || ClientToBitmapY(MaxY) == 0) MaxY = 0;
    if (!equal) {
        if (GetWidth() >= a) MaxX = 0;
        if (GetHeight() >= b) MaxY = 0;
    } else if (GetWidth() >= a && GetHeight() >= b) {
        MaxX = MaxY = 0;
    }
}

void TVovozIdView::GetBackgroundMargins(int32_t& MarginX, int32_t& MarginY, bool BorderForm) {
    switch (FBackgroundStyle) {
        case iebsCropped:
            MarginX = IEEdgeX;
            MarginY = IEEdgeY;
            return;
        case iebsCropShadow: MarginX = MarginY = 5; return;
        case iebsSoftShadow: MarginX = MarginY = 9; return;
        default: break;
    }
    if (BorderForm) {
        if (GetBorderStyle() == cl::bsNone) {
            MarginX = MarginY = 0;
        } else if (GetCtl3D()) {
            MarginX = IEEdgeX;
            MarginY = IEEdgeY;
        } else {
            MarginX = IEBorderX;
            MarginY = IEBorderY;
        }
    } else {
        MarginX = (GetWidth() - GetViewWidth()) / 2;
        MarginY = (GetHeight() - GetViewHeight()) / 2;
    }
}

double TVovozIdView::GetFitZoom() {
    int32_t mx = 0, my = 0;
    GetBackgroundMargins(mx, my, true);
    if (FImageWidth == 0 || FImageHeight == 0) return 100;
    double zx = (GetWidth() - 2.0 * mx) / (FImageWidth / 100.0);
    double zy = (GetHeight() - 2.0 * my) / (FImageHeight / 100.0);
    return std::min(zx, zy);
}

double TVovozIdView::GetAutoFitZoom(int32_t ImageW, int32_t ImageH, bool ShrinkAllowed, bool StretchAllowed,
                                    int32_t AvailH, int32_t AvailW) {
    if (ImageW == 0 || ImageH == 0 || AvailH == 0 || AvailW == 0) return 100;
    double rw = static_cast<double>(ImageW) / AvailW;
    double rh = static_cast<double>(ImageH) / AvailH;
    if (!std::isfinite(rw) || !std::isfinite(rh)) return 100;
    bool shrink = rw > rh ? AvailW < ImageW : AvailH < ImageH;
    if ((shrink && ShrinkAllowed) || (!shrink && StretchAllowed)) {
        // The fitting zoom of the available area (the view less its margins).
        double z = std::min(AvailW / (ImageW / 100.0), AvailH / (ImageH / 100.0));
        return std::isfinite(z) ? z : 100;
    }
    return 100;
}

// ---------------------------------------------------------------------------------------
// Zoom

void TVovozIdView::DoSetZoom(double Value) {
    DoSetZoomX(Value);
    DoSetZoomY(Value);
}

void TVovozIdView::DoSetZoomX(double Value) {
    int32_t vw = GetViewWidth();
    int32_t cx = RoundEven((vw / 2 + FOriginX - FOffsetX) * FInvZoomX);
    FZoomPercentX = Value;
    FZoomFactorX = Value / 100;
    FInvZoomX = 100 / Value;
    // The new limit is worked out with the new zoom.
    int32_t mx = 0, my = 0;
    GetMaxOrigin(mx, my);
    FOriginX = std::clamp(Trunc(cx * Value / 100 - vw / 2), 0, std::max(mx, 0));
}

void TVovozIdView::DoSetZoomY(double Value) {
    int32_t vh = GetViewHeight();
    int32_t cy = RoundEven((vh / 2 + FOriginY - FOffsetY) * FInvZoomY);
    FZoomPercentY = Value;
    FZoomFactorY = Value / 100;
    FInvZoomY = 100 / Value;
    int32_t mx = 0, my = 0;
    GetMaxOrigin(mx, my);
    FOriginY = std::clamp(Trunc(cy * Value / 100 - vh / 2), 0, std::max(my, 0));
}

void TVovozIdView::SetZoom(double Value) {
    // A gliding scroll aims at an origin of the old zoom: it ends here.
    if (FGlideTimer) FGlideTimer->SetEnabled(false);
    DoViewChanging(2, Value);
    if (!(Value > 0) || (Value == FZoomPercentX && Value == FZoomPercentY)) return;
    if (FDelayZoomFilter && FZoomFilter != rfNone && (FZoomPercentX != 100 || FZoomPercentY != 100))
        FFilterDelayCount = 4;
    FViewChangeCount = 2;
    LockUpdate();
    if (FOverviewView) FOverviewView->LockUpdate();
    DoSetZoom(Value);
    FUpdateReason = 2;
    Update();
    FUpdateReason = 2;
    Update();
    UpdateVisibleArea();
    UpdateCoordTables();
    UnlockUpdateEx();
    if (FOverviewView) FOverviewView->UnlockUpdateEx();
    Paint();
    DoViewChange(1);
    UpdateAntsTimer();
}

void TVovozIdView::DoViewChange(int32_t Change) {
    if (OnViewChange) OnViewChange(this, Change);
    if (FOverviewView) UpdateOverview();
}

void TVovozIdView::DoViewChanging(int32_t Change, double NewValue) {
    if (OnViewChanging) OnViewChanging(this, Change, NewValue);
}

// ---------------------------------------------------------------------------------------
// The window's share of Update

void TVovozIdView::UpdateWindowState() {
    if (!HasState(cl::csDesigning) && HasParentForm()) {
        int32_t vw = GetViewWidth(), vh = GetViewHeight();
        UpdateExtent();
        int32_t mx = 0, my = 0;
        GetMaxOrigin(mx, my);
        bool moved = false;
        if (FOriginX > mx) {
            DoViewChanging(0, mx);
            FOriginX = std::max(mx, 0);
            moved = true;
        }
        if (FOriginY > my) {
            DoViewChanging(1, my);
            FOriginY = std::max(my, 0);
            moved = true;
        }
        if (moved) DoViewChange(0);
        try {
            UpdateScrollBars(mx, my);
        } catch (...) {
            // The scroll bars are a convenience: a failure leaves them as they were.
        }
        if ((GetViewWidth() != vw || GetViewHeight() != vh) && !FUpdatingAgain) {
            // A scroll bar appeared or vanished: once more with the new view size.
            const int32_t reason = FUpdateReason;
            FUpdatingAgain = true;
            FUpdating = false;
            try {
                Update();
            } catch (...) {
                FUpdatingAgain = false;
                throw;
            }
            FUpdatingAgain = false;
            FUpdating = true;
            FUpdateReason = reason;
        }
    }
    UpdateExtent();
    FBackBufferDirty = true;
    FFullRepaint = true;
    if (HasParentForm()) Invalidate();
    if (FOverviewView && FOverviewView->GetPaintLockCount() == 0) {
        if (FUpdateReason == 0) FOverviewView->Update();
        UpdateOverview();
    }
}

void TVovozIdView::UpdateScrollBars(int32_t MaxX, int32_t MaxY) {
    win::HWND wnd = FHandle;
    auto axis = [&](int32_t Bar, bool Allowed, int32_t MaxOrigin, int32_t ViewSize, int32_t Origin, bool& Shown,
                    double& Factor) {
        if (!Allowed) return;
        if (MaxOrigin < 1) {
            if (Shown) {
                Shown = false;
                IEShowScrollBar(wnd, Bar, false, FFlatScrollBars);
            }
            return;
        }
        Shown = true;
        Factor = (ViewSize + MaxOrigin) / 65536.0;
        IESetScrollInfo(wnd, Bar, 0, 65535, Trunc(ViewSize / Factor), Trunc(Origin / Factor), true, FFlatScrollBars);
        IEEnableScrollBar(wnd, Bar, win::ESB_ENABLE_BOTH, FFlatScrollBars);
        IEShowScrollBar(wnd, Bar, true, FFlatScrollBars);
    };
    axis(win::SB_VERT, FScrollBars == ssVertical || FScrollBars == ssBoth, MaxY, GetViewHeight(), FOriginY,
         FVScrollShown, FVScrollFactor);
    axis(win::SB_HORZ, FScrollBars == ssHorizontal || FScrollBars == ssBoth, MaxX, GetViewWidth(), FOriginX,
         FHScrollShown, FHScrollFactor);
}

}  // namespace ie

namespace ie {

// ---------------------------------------------------------------------------------------
// Zoom of one axis, zoom at a point, fitting

void TVovozIdView::SetZoomHorz(double Value) { SetZoomAxis(Value, true); }

void TVovozIdView::SetZoomVert(double Value) { SetZoomAxis(Value, false); }

void TVovozIdView::SetZoomAxis(double Value, bool Horizontal) {
    DoViewChanging(2, Value);
    if (!(Value > 0) || Value == (Horizontal ? FZoomPercentX : FZoomPercentY)) return;
    if (FDelayZoomFilter && FZoomFilter != rfNone && (FZoomPercentX != 100 || FZoomPercentY != 100))
        FFilterDelayCount = 4;
    FViewChangeCount = 2;
    LockUpdate();
    if (Horizontal)
        DoSetZoomX(Value);
    else
        DoSetZoomY(Value);
    FUpdateReason = 2;
    Update();
    FUpdateReason = 2;
    Update();
    UpdateVisibleArea();
    UpdateCoordTables();
    UnlockUpdateEx();
    Paint();
    DoViewChange(1);
    UpdateAntsTimer();
}

void TVovozIdView::ZoomAtPoint(int32_t X, int32_t Y, bool Center, double Value) {
    if (FOverviewView) FOverviewView->LockUpdate();
    DoViewChanging(2, X);
    DoViewChanging(2, Y);
    LockUpdate();
    const int32_t bx = ClientToBitmapX(X), by = ClientToBitmapY(Y);
    SetZoom(Value);
    const double f = FZoomPercentX / 100;
    if (Center)
        SetViewXY(Trunc(bx * f - GetViewWidth() / 2), Trunc(by * f - GetViewHeight() / 2));
    else
        SetViewXY(Trunc(bx * f - X + f), Trunc(by * f - Y + f));
    UnlockUpdate();
    UpdateVisibleArea();
    UpdateCoordTables();
    if (FOverviewView) {
        FOverviewView->UnlockUpdateEx();
        UpdateOverview();
    }
}

void TVovozIdView::ZoomToFit() {
    if (FImageWidth == 0 || FImageHeight == 0) return;
    // Hiding a bar resizes the client, and the update that follows may show it again at
    // the old zoom: each flag is cleared before its bar goes, never after.
    if (HandleAllocated() && FHScrollShown) {
        FHScrollShown = false;
        IEShowScrollBar(FHandle, win::SB_HORZ, false, FFlatScrollBars);
    }
    if (HandleAllocated() && FVScrollShown) {
        FVScrollShown = false;
        IEShowScrollBar(FHandle, win::SB_VERT, false, FFlatScrollBars);
    }
    SetZoom(GetFitZoom());
}

void TVovozIdView::ZoomToSelection(bool BothAxes, bool AskEvent) {
    if (!FSelected || FSelectionMask->IsEmpty()) return;
    const int32_t x1 = FSelectionMask->X1, y1 = FSelectionMask->Y1;
    const int32_t w = FSelectionMask->X2 - x1 + 1, h = FSelectionMask->Y2 - y1 + 1;
    if (x1 < 0 || y1 < 0 || w < 2 || h < 2) return;
    const double zx = GetWidth() / (w / 100.0), zy = GetHeight() / (h / 100.0);
    double z = std::min(zy, zx);
    if (AskEvent && OnZoomIn) OnZoomIn(this, z);
    if (BothAxes) {
        SetZoom(z);
    } else {
        SetZoomHorz(zx);
        SetZoomVert(zy);
    }
    // The box in the middle of the view.
    SetViewXY(Trunc(x1 * FZoomFactorX) - (GetViewWidth() - Trunc(w * FZoomFactorX)) / 2,
              Trunc(y1 * FZoomFactorY) - (GetViewHeight() - Trunc(h * FZoomFactorY)) / 2);
}

// ---------------------------------------------------------------------------------------
// Scrolling

void TVovozIdView::SetViewXY(int32_t X, int32_t Y) { SetOrigins(X, Y, true, true); }

void TVovozIdView::SetOriginX(int32_t X) { SetOrigins(X, FOriginY, true, false); }

void TVovozIdView::SetOriginY(int32_t Y) { SetOrigins(FOriginX, Y, false, true); }

void TVovozIdView::SetOrigins(int32_t X, int32_t Y, bool AxisX, bool AxisY) {
    if (AxisX) DoViewChanging(0, X);
    if (AxisY) DoViewChanging(1, Y);
    if (X == FOriginX && Y == FOriginY) return;
    int32_t mx = 0, my = 0;
    GetMaxOrigin(mx, my);
    const int32_t nx = std::clamp(X, 0, std::max(mx, 0)), ny = std::clamp(Y, 0, std::max(my, 0));
    if (nx == FOriginX && ny == FOriginY) return;
    FOriginX = nx;
    FOriginY = ny;
    // The mapping follows the origin at once: callers convert mouse points right after
    // scrolling, also while painting is locked.
    UpdateVisibleArea();
    UpdateCoordTables();
    if (FDelayZoomFilter && FZoomFilter != rfNone && (FZoomPercentX != 100 || FZoomPercentY != 100))
        FFilterDelayCount = 4;
    FViewChangeCount = 2;
    FBackBufferDirty = true;
    FFullRepaint = true;
    Paint();
    DoViewChange(0);
    if (FSelected) DrawSelectionOutline(this, false);
    if (HandleAllocated()) {
        if (FHScrollShown && FHScrollFactor > 0)
            IESetScrollPos(FHandle, win::SB_HORZ, Trunc(FOriginX / FHScrollFactor), true, FFlatScrollBars);
        if (FVScrollShown && FVScrollFactor > 0)
            IESetScrollPos(FHandle, win::SB_VERT, Trunc(FOriginY / FVScrollFactor), true, FFlatScrollBars);
    }
    UpdateAntsTimer();
}

void TVovozIdView::SetScrollBars(TScrollStyle Value) {
    FScrollBars = Value;
    if (HandleAllocated()) {
        if (Value != ssVertical && Value != ssBoth) {
            FVScrollShown = false;
            IEShowScrollBar(FHandle, win::SB_VERT, false, FFlatScrollBars);
        }
        if (Value != ssHorizontal && Value != ssBoth) {
            FHScrollShown = false;
            IEShowScrollBar(FHandle, win::SB_HORZ, false, FFlatScrollBars);
        }
    }
    FUpdateReason = 4;
    Update();
}

void TVovozIdView::SetFlatScrollBars(bool Value) {
    if (Value == FFlatScrollBars) return;
    FFlatScrollBars = Value;
    if (!HandleAllocated()) return;
    if (!Value) {
        win::UninitializeFlatSB(FHandle);
    } else {
        win::SetScrollRange(FHandle, win::SB_VERT, 0, 65535, win::FALSE);
        win::SetScrollRange(FHandle, win::SB_HORZ, 0, 65535, win::FALSE);
        win::InitializeFlatSB(FHandle);
        FHScrollShown = FVScrollShown = false;
        IEShowScrollBar(FHandle, win::SB_VERT, false, true);
        IEShowScrollBar(FHandle, win::SB_HORZ, false, true);
    }
}

void TVovozIdView::SetCenter(bool Value) {
    if (Value == FCenter) return;
    FCenter = Value;
    FUpdateReason = 1;
    Update();
}

void TVovozIdView::SetZoomFilter(TResampleFilter Value) {
    FZoomFilterStored = Value;
    if (Value == FZoomFilter) return;
    FZoomFilter = Value;
    Update();
}

void TVovozIdView::WMScroll(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    const bool vertical = Message.Msg == win::WM_VSCROLL;
    const int32_t code = static_cast<int32_t>(Message.WParam & 0xFFFF);
    const int32_t pos = static_cast<int32_t>((Message.WParam >> 16) & 0xFFFF);
    TIEScrollBarParams* params = vertical ? FVScrollBarParams.get() : FHScrollBarParams.get();
    const double zoom = vertical ? FZoomFactorY : FZoomFactorX;
    const double factor = vertical ? FVScrollFactor : FHScrollFactor;
    const int32_t origin = vertical ? FOriginY : FOriginX;
    const int32_t unit = std::max(1, Trunc(zoom));
    const int32_t line = params->LineStep == -1 ? unit : unit * params->LineStep;
    const int32_t page =
        params->PageStep == -1 ? (vertical ? GetViewHeight() : GetViewWidth()) : unit * params->PageStep;
    int32_t target = origin;
    switch (code) {
        case win::SB_LINEUP: target = origin - line; break;
        case win::SB_LINEDOWN: target = origin + line; break;
        case win::SB_PAGEUP: target = origin - page; break;
        case win::SB_PAGEDOWN: target = origin + page; break;
        case win::SB_THUMBPOSITION: target = RoundEven(pos * factor); break;
        case win::SB_THUMBTRACK:
            if (!params->Tracking) return;
            target = RoundEven(pos * factor);
            break;
        case win::SB_TOP: target = 0; break;
        case win::SB_BOTTOM: {
            int32_t mx = 0, my = 0;
            GetMaxOrigin(mx, my);
            target = vertical ? my : mx;
            break;
        }
        default: break;
    }
    if (vertical)
        SetOriginY(target);
    else
        SetOriginX(target);
}

void TVovozIdView::WMMouseWheel(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    const int32_t delta = static_cast<int16_t>((Message.WParam >> 16) & 0xFFFF);
    win::POINT p{static_cast<int16_t>(Message.LParam & 0xFFFF), static_cast<int16_t>((Message.LParam >> 16) & 0xFFFF)};
    p = ScreenToClient(p);
    const bool ctrl = (win::GetKeyState(win::VK_CONTROL) & 0x8000) != 0;
    MouseWheelAction(delta, p.x, p.y, ctrl);
}

void TVovozIdView::MouseWheelAction(int32_t Delta, int32_t X, int32_t Y, bool Ctrl) {
    TIEMouseWheelParams* w = FMouseWheelParams.get();
    if (w->Action == 0 || FAutoFit) return;
    int32_t e = Delta < 1 ? 1 : -1;
    if (w->InvertWheel) e = -e;
    if (w->Action == 1) {
        int32_t mx = 0, my = 0;
        GetMaxOrigin(mx, my);
        const bool horizontal = Ctrl || (mx > 0 && my == 0);
        const int32_t size = horizontal ? GetViewWidth() : GetViewHeight();
        const double zoom = horizontal ? FZoomFactorX : FZoomFactorY;
        int32_t step = 0;
        if (w->Variation == 1)
            step = std::max(1, RoundEven(size * w->Value / 100.0));
        else if (w->Variation == 0)
            step = w->Value * std::max(1, Trunc(zoom));
        else
            return;
        if (horizontal)
            SetOriginX(FOriginX + e * step);
        else
            SetOriginY(FOriginY + e * step);
    } else if (w->Action == 2) {
        double z = WheelZoom(w, e);
        if (z > FZoomPercentX && OnZoomIn)
            OnZoomIn(this, z);
        else if (z < FZoomPercentX && OnZoomOut)
            OnZoomOut(this, z);
        if (w->ZoomPosition)
            ZoomAtPoint(X, Y, false, z);
        else
            SetZoom(z);
    }
}

double TVovozIdView::WheelZoom(TIEMouseWheelParams* Params, int32_t Direction) const {
    if (Params->Variation == 0) return FZoomPercentX + Direction * Params->Value;
    if (Params->Variation == 1)
        return FZoomPercentX + Direction * std::max(1, RoundEven(Params->Value * FZoomPercentX / 100));
    return FZoomPercentX;
}

// ---------------------------------------------------------------------------------------
// The overview view

void TVovozIdView::LinkOverviewView(TVovozIdView* View, uint8_t Options) {
    if (FOverviewView) {
        TVovozIdView* old = FOverviewView;
        FOverviewView = nullptr;
        old->OnSelectionChanging = nullptr;
        old->OnMouseWheel = nullptr;
        old->FIsOverview = false;
        old->FOverviewOptions = 0;
        old->RemoveFreeNotification(this);
        // It takes a bitmap of its own before anything that may fail runs.
        old->SetExternalBitmap(nullptr);
    }
    if (!View || View == this) return;
    FOverviewView = View;
    View->FIsOverview = true;
    View->FOverviewOptions = Options;
    View->SetEnableAlphaChannel(FEnableAlphaChannel);
    View->SetAutoFit(true);
    View->SetMouseInteract(IEMouseOpt(miSelect));
    View->SetSelectionBase(iesbBitmap);
    View->FSelectionOptions = IESelOpt(iesoMoveable) | IESelOpt(iesoCanScroll);
    View->SetExternalBitmap(FIEBitmap);
    View->OnSelectionChanging = [this](cl::TObject*) { OverviewSelectionChanging(); };
    if (Options & 1) {
        View->OnMouseWheel = [this](cl::TObject*, cl::TShiftState, int WheelDelta, win::POINT MousePos, bool& Handled) {
            OverviewMouseWheel(WheelDelta, MousePos, Handled);
        };
    }
    View->FreeNotification(this);
    UpdateOverview();
}

void TVovozIdView::UpdateOverview() {
    if (FInUpdateOverview || FPaintLockCount > 0 || !FOverviewView) return;
    FInUpdateOverview = true;
    try {
        Paint();
        const int32_t a = ClientToBitmapX(FOffsetX), b = ClientToBitmapY(FOffsetY);
        const int32_t c = ClientToBitmapX(FOffsetX + FDisplayWidth), d = ClientToBitmapY(FOffsetY + FDisplayHeight);
        // The overview's selection handler would scroll this view back to the marked box.
        const bool wasScrolling = FInOverviewScroll;
        FInOverviewScroll = true;
        try {
            FOverviewView->MarkOverviewRect(a, b, c, d);
        } catch (...) {
            FInOverviewScroll = wasScrolling;
            throw;
        }
        FInOverviewScroll = wasScrolling;
    } catch (...) {
        FInUpdateOverview = false;
        throw;
    }
    FInUpdateOverview = false;
}

void TVovozIdView::MarkOverviewRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const int32_t w = FIEBitmap->GetWidth(), h = FIEBitmap->GetHeight();
    if (X1 > X2) std::swap(X1, X2);
    if (Y1 > Y2) std::swap(Y1, Y2);
    X1 = std::clamp(X1, 0, std::max(w - 1, 0));
    Y1 = std::clamp(Y1, 0, std::max(h - 1, 0));
    X2 = std::clamp(X2, 0, w);
    Y2 = std::clamp(Y2, 0, h);
    // A fixed-size selection of the visible part: the overview's user drags it, never sizes it.
    FixedSelectionWidth = X2 - X1;
    FixedSelectionHeight = Y2 - Y1;
    SetSelectionRatio(0);
    Select(X1, Y1, X2, Y2, 0);
}

void TVovozIdView::OverviewSelectionChanging() {
    if (FInOverviewScroll || !FOverviewView) return;
    FInOverviewScroll = true;
    const TIESelectionRecord* rec = FOverviewView->GetSelectionRecord();
    // The box is in bitmap pixels: each axis is zoomed with its own factor.
    SetViewXY(RoundEven(rec->X1 * FZoomFactorX), RoundEven(rec->Y1 * FZoomFactorY));
    FInOverviewScroll = false;
}

void TVovozIdView::OverviewMouseWheel(int32_t WheelDelta, win::POINT MousePos, bool& Handled) {
    if (!FOverviewView) return;
    TIEMouseWheelParams* w = FOverviewView->GetMouseWheelParams();
    int32_t e = WheelDelta < 1 ? 1 : -1;
    if (w->InvertWheel) e = -e;
    double z = WheelZoom(w, e);
    if (z > FZoomPercentX && OnZoomIn)
        OnZoomIn(this, z);
    else if (z < FZoomPercentX && OnZoomOut)
        OnZoomOut(this, z);
    if (w->ZoomPosition)
        ZoomAtPoint(MousePos.x, MousePos.y, false, z);
    else
        SetZoom(z);
    Handled = true;
}

}  // namespace ie
