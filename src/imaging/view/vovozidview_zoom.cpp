// The view's geometry: a zoom per axis and a scroll origin place the image in the client
// area; lookup tables convert between client and bitmap coordinates without floating-point
// work per pixel; fitting zooms; the window's scroll bars.
#include <algorithm>
#include <cfenv>
#include <cmath>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_helpers.h"
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
        }
    }
    UpdateExtent();
    FBackBufferDirty = true;
    FFullRepaint = true;
    if (HasParentForm()) Invalidate();
    if (FOverviewView && FOverviewView->GetPaintLockCount() == 0) {
        if (FUpdateReason == 0) FOverviewView->Update();
    }
}

void TVovozIdView::UpdateScrollBars(int32_t MaxX, int32_t MaxY) {
    win::HWND wnd = FHandle;
    auto axis = [&](int32_t Bar, bool Allowed, int32_t MaxOrigin, int32_t ViewSize, int32_t Origin, bool& Shown,
                    double& Factor) {
        if (!Allowed) return;
        if (MaxOrigin < 1) {
            if (Shown) IEShowScrollBar(wnd, Bar, false, FFlatScrollBars);
            Shown = false;
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
