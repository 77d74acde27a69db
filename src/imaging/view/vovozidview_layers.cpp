// The view's layer operations: adding, removing and picking layers, the composition of
// several layers for display (masks of the layer below, rotation, magnifiers, boxes and
// grips), merging them into one bitmap, baking displayed sizes and rotations into the
// pixels, and the layer snapshots of the processing component's undo.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidview.h"

namespace ie {

namespace {

// The part of a layer's bitmap (in bitmap pixels, inclusive) whose alpha is not zero; False
// when the bitmap has no alpha channel or every alpha is zero.
bool AlphaBounds(TIEBitmap* Bitmap, cl::TRect& Bounds) {
    if (!Bitmap->HasAlphaChannel()) return false;
    TIEBitmap* alpha = Bitmap->GetAlphaChannel();
    const int32_t w = alpha->GetWidth(), h = alpha->GetHeight();
    int32_t x1 = w, y1 = h, x2 = -1, y2 = -1;
    for (int32_t y = 0; y < h; ++y) {
        const auto* row = static_cast<const uint8_t*>(alpha->GetScanline(y));
        for (int32_t x = 0; x < w; ++x) {
            if (row[x] == 0) continue;
            x1 = std::min(x1, x);
            x2 = std::max(x2, x);
            y1 = std::min(y1, y);
            y2 = std::max(y2, y);
        }
    }
    if (x2 < 0) return false;
    Bounds = cl::TRect{x1, y1, x2, y2};
    return true;
}

// A plain ie8g copy of an 8-bit bitmap (an alpha channel or a display cache).
std::unique_ptr<TIEBitmap> CopyGray(TIEBitmap* Source) {
    auto out = std::make_unique<TIEBitmap>();
    if (!out->Allocate(Source->GetWidth(), Source->GetHeight(), ie8g)) return nullptr;
    const size_t n = static_cast<size_t>(Source->GetWidth());
    for (int32_t y = 0; y < Source->GetHeight(); ++y) {
        const void* s = Source->GetScanline(y);
        std::memcpy(out->GetScanline(y), s, n);
    }
    return out;
}

// Swaps a display alpha into a layer's bitmap for one composition and puts the bitmap's own
// alpha channel (or its absence) back afterwards.
class TAlphaSwap {
public:
    TAlphaSwap(TIEBitmap* Bitmap, TIEBitmap* DisplayAlpha) : FBitmap(Bitmap) {
        FHadAlpha = Bitmap->HasAlphaChannel();
        if (FHadAlpha) FSaved = CopyGray(Bitmap->GetAlphaChannel());
        std::unique_ptr<TIEBitmap> shown = CopyGray(DisplayAlpha);
        if (shown && (!FHadAlpha || FSaved)) {
            shown->Full = false;
            FSwapped = Bitmap->AttachAlphaChannel(shown);
        }
    }
    ~TAlphaSwap() {
        if (!FSwapped) return;
        if (FHadAlpha)
            FBitmap->AttachAlphaChannel(FSaved);
        else
            FBitmap->RemoveAlphaChannel(false, 0);
    }
    TAlphaSwap(const TAlphaSwap&) = delete;
    TAlphaSwap& operator=(const TAlphaSwap&) = delete;

private:
    TIEBitmap* FBitmap;
    std::unique_ptr<TIEBitmap> FSaved;
    bool FHadAlpha = false;
    bool FSwapped = false;
};

// The display alpha of a layer with a mask above it: for every pixel of the layer the
// smaller of its own alpha and the grey value of the mask at the same image position (0
// outside the mask).
std::unique_ptr<TIEBitmap> BuildMaskAlpha(TIELayer* Layer, TIELayer* Mask) {
    TIEBitmap* bmp = Layer->GetBitmap();
    TIEBitmap grey;
    grey.Assign(Mask->GetBitmap());
    grey.RemoveAlphaChannel(false, 0);
    if (grey.GetPixelFormat() != ie8g && !grey.SetPixelFormat(ie8g)) return nullptr;
    const int32_t w = bmp->GetWidth(), h = bmp->GetHeight();
    auto out = std::make_unique<TIEBitmap>();
    if (!out->Allocate(w, h, ie8g)) return nullptr;
    const double lw = Layer->GetShownWidth(), lh = Layer->GetShownHeight();
    const double mw = Mask->GetShownWidth(), mh = Mask->GetShownHeight();
    const int32_t gw = grey.GetWidth(), gh = grey.GetHeight();
    TIEBitmap* own = bmp->HasAlphaChannel() ? bmp->GetAlphaChannel() : nullptr;
    std::vector<int32_t> columns(static_cast<size_t>(w));
    for (int32_t x = 0; x < w; ++x) {
        const double ix = Layer->PositionX + std::trunc(x * lw / w);
        const double mx = mw > 0 ? std::floor((ix - Mask->PositionX) * gw / mw) : -1;
        columns[static_cast<size_t>(x)] = mx >= 0 && mx < gw ? static_cast<int32_t>(mx) : -1;
    }
    for (int32_t y = 0; y < h; ++y) {
        const double iy = Layer->PositionY + std::trunc(y * lh / h);
        const double myd = mh > 0 ? std::floor((iy - Mask->PositionY) * gh / mh) : -1;
        const int32_t my = myd >= 0 && myd < gh ? static_cast<int32_t>(myd) : -1;
        auto* d = static_cast<uint8_t*>(out->GetScanline(y));
        const auto* m = my >= 0 ? static_cast<const uint8_t*>(grey.MapRow(my)) : nullptr;
        const auto* a = own ? static_cast<const uint8_t*>(own->MapRow(y)) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t c = columns[static_cast<size_t>(x)];
            const uint8_t v = (m && c >= 0) ? m[c] : 0;
            d[x] = a ? std::min(a[x], v) : v;
        }
        if (a) own->UnmapRow(const_cast<uint8_t*>(a));
        if (m) grey.UnmapRow(const_cast<uint8_t*>(m));
    }
    return out;
}

// The corners of a W x H rectangle at (X, Y) turned by Angle degrees (counter-clockwise on
// screen, y downwards) around the point at PivotX, PivotY of its size.
void RotatedRect(double X, double Y, double W, double H, double PivotX, double PivotY, double Angle, double Out[4][2]) {
    const double a = Angle * M_PI / 180, c = std::cos(a), s = std::sin(a);
    const double cx = X + W * PivotX, cy = Y + H * PivotY;
    const double px[4] = {X, X + W, X + W, X}, py[4] = {Y, Y, Y + H, Y + H};
    for (int i = 0; i < 4; ++i) {
        const double dx = px[i] - cx, dy = py[i] - cy;
        Out[i][0] = cx + dx * c + dy * s;
        Out[i][1] = cy - dx * s + dy * c;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Adding, removing and picking layers

int32_t TVovozIdView::LayersAdd() {
    SyncLayers();
    FLayers.push_back(std::make_unique<TIELayer>(this, false, FIEBitmap));
    const int32_t index = GetLayerCount() - 1;
    SetCurrentLayer(index);
    Clear();
    return index;
}

void TVovozIdView::LayersRemove(int32_t Index) {
    if (GetLayerCount() <= 1 || Index < 0 || Index >= GetLayerCount()) return;
    SyncLayers();
    auto removeOne = [this](int32_t I) {
        const bool wasCurrent = I == FCurrentLayer;
        FLayers.erase(FLayers.begin() + I);
        if (wasCurrent) {
            FCurrentLayer = std::min(I, GetLayerCount() - 1);
            FIEBitmap = GetLayer(FCurrentLayer)->GetBitmap();
            FBitmap = FIEBitmap->Encapsulated ? FIEBitmap->VclBitmap() : nullptr;
            // The attached components leave the bitmap that went with the layer.
            CallBitmapChangeEvents();
        } else if (I < FCurrentLayer) {
            --FCurrentLayer;
        }
    };
    // A mask belongs to the layer below it and goes first.
    if (Index + 1 < GetLayerCount() && GetLayer(Index + 1)->MaskForBelow && GetLayerCount() > 2) removeOne(Index + 1);
    removeOne(Index);
    Update();
}

void TVovozIdView::LayersClear() {
    SyncLayers();
    const bool changed = FCurrentLayer != 0;
    FCurrentLayer = 0;
    FIEBitmap = GetLayer(0)->GetBitmap();
    FBitmap = FIEBitmap->Encapsulated ? FIEBitmap->VclBitmap() : nullptr;
    if (changed) CallBitmapChangeEvents();
    FLayers.resize(1);
    TIELayer* layer = GetLayer(0);
    layer->Reset();
    layer->ShowBox = false;
    layer->Immovable = true;
    Clear();
}

int32_t TVovozIdView::LayerAtPoint(int32_t X, int32_t Y, bool SelectableOnly) {
    const bool transparentCounts = (FSelectionOptions & IESelOpt(iesoSelectTranspLayers)) != 0;
    for (int32_t i = GetLayerCount() - 1; i >= 0; --i) {
        TIELayer* layer = GetLayer(i);
        if (!layer->Visible || (SelectableOnly && !layer->Pickable)) continue;
        const cl::TRect& r = layer->ClientRect;
        if (X < r.left || X >= r.right || Y < r.top || Y >= r.bottom) continue;
        TIEBitmap* bmp = layer->GetBitmap();
        if (bmp && bmp->HasAlphaChannel() && !transparentCounts) {
            const int32_t lx = layer->ClientToLayerX(X), ly = layer->ClientToLayerY(Y);
            if (lx < 0 || ly < 0 || lx >= bmp->GetWidth() || ly >= bmp->GetHeight()) continue;
            if (bmp->GetAlpha(lx, ly) == 0) continue;
        }
        return i;
    }
    return -1;
}

bool TVovozIdView::PointInLayer(int32_t X, int32_t Y, int32_t Index) {
    if (Index < 0 || Index >= GetLayerCount()) return false;
    TIELayer* layer = GetLayer(Index);
    if (!layer->Visible) return false;
    if (layer->IsRotated()) {
        // Even-odd test against the outline of the turned layer.
        bool inside = false;
        const cl::TPoint* p = layer->RotatedCorners;
        for (int i = 0, j = 3; i < 4; j = i++) {
            if ((p[i].y > Y) != (p[j].y > Y)) {
                const double xc = p[i].x + static_cast<double>(Y - p[i].y) * (p[j].x - p[i].x) / (p[j].y - p[i].y);
                if (X < xc) inside = !inside;
            }
        }
        return inside;
    }
    const cl::TRect& r = layer->ClientRect;
    return X >= r.left && X < r.right && Y >= r.top && Y < r.bottom;
}

cl::TRect TVovozIdView::GetLayerGripRect(int32_t Layer, TIEGrip Grip) {
    if (Layer < 0 || Layer >= GetLayerCount()) return cl::TRect{0, 0, 0, 0};
    TIELayer* layer = GetLayer(Layer);
    const int32_t G = FLayersGripSize;
    auto around = [G](int32_t X, int32_t Y) { return cl::TRect{X - G, Y - G, X + G, Y + G}; };
    cl::TPoint c[4];
    if (layer->IsRotated()) {
        for (int i = 0; i < 4; ++i) c[i] = layer->RotatedCorners[i];
    } else {
        const cl::TRect& r = layer->ClientRect;
        c[0] = cl::TPoint{r.left, r.top};
        c[1] = cl::TPoint{r.right, r.top};
        c[2] = cl::TPoint{r.right, r.bottom};
        c[3] = cl::TPoint{r.left, r.bottom};
    }
    auto mid = [](const cl::TPoint& A, const cl::TPoint& B) { return cl::TPoint{(A.x + B.x) / 2, (A.y + B.y) / 2}; };
    cl::TPoint p;
    switch (Grip) {
        case TIEGrip::ieTopLeft: p = c[0]; break;
        case TIEGrip::ieTopRight: p = c[1]; break;
        case TIEGrip::ieBottomRight: p = c[2]; break;
        case TIEGrip::ieBottomLeft: p = c[3]; break;
        case TIEGrip::ieLeftSide: p = mid(c[0], c[3]); break;
        case TIEGrip::ieRightSide: p = mid(c[1], c[2]); break;
        case TIEGrip::ieTopSide: p = mid(c[0], c[1]); break;
        case TIEGrip::ieBottomSide: p = mid(c[3], c[2]); break;
        case TIEGrip::ieRotationCenter: {
            TIEBitmap* bmp = layer->GetBitmap();
            const int32_t bw = bmp ? bmp->GetWidth() : 0, bh = bmp ? bmp->GetHeight() : 0;
            p = cl::TPoint{layer->LayerToClientX(static_cast<int32_t>(std::nearbyint(bw * layer->PivotX))),
                           layer->LayerToClientY(static_cast<int32_t>(std::nearbyint(bh * layer->PivotY)))};
            break;
        }
        default: return cl::TRect{0, 0, 0, 0};
    }
    return around(p.x, p.y);
}

TIEGrip TVovozIdView::LayerGripAt(int32_t X, int32_t Y) {
    const int32_t last = (FMouseInteract & IEMouseOpt(miRotateLayers)) != 0 ? 9 : 8;
    for (int32_t g = 1; g <= last; ++g) {
        const cl::TRect r = GetLayerGripRect(FCurrentLayer, static_cast<TIEGrip>(g));
        if (X >= r.left && X <= r.right && Y >= r.top && Y <= r.bottom) return static_cast<TIEGrip>(g);
    }
    return TIEGrip::ieNone;
}

// ---------------------------------------------------------------------------------------
// Composition

bool TVovozIdView::LayersAreSimple() {
    if (GetLayerCount() != 1) return false;
    TIELayer* layer = GetLayer(0);
    return layer->ShownWidth == 0 && layer->ShownHeight == 0 && layer->PositionX == 0 && layer->PositionY == 0 &&
           !layer->IsRotated();
}

void TVovozIdView::DrawLayersGeneral(TIEBitmap* Dest, bool DrawBoxes, const cl::TRect* ClipRect) {
    if (!Dest || Dest->GetWidth() <= 0 || Dest->GetHeight() <= 0) return;
    const int32_t count = GetLayerCount();
    for (int32_t i = 0; i < count; ++i) {
        if (FVisibleDisplayWidth <= 0 || FVisibleDisplayHeight <= 0) break;
        TIELayer* layer = GetLayer(i);
        TIEBitmap* bmp = layer->GetBitmap();
        // A mask is not drawn: it shapes the layer below it.
        if (!layer->Visible || layer->MaskForBelow || !bmp) continue;
        if (bmp->GetWidth() < 2 && bmp->GetHeight() < 2) continue;
        if (bmp->HasAlphaChannel() && (bmp->GetAlphaChannel()->GetWidth() != bmp->GetWidth() ||
                                       bmp->GetAlphaChannel()->GetHeight() != bmp->GetHeight()))
            break;

        // a. The mask of the layer right above.
        TIELayer* mask = nullptr;
        if (i + 1 < count && GetLayer(i + 1)->MaskForBelow && !layer->IsRotated()) mask = GetLayer(i + 1);
        if (mask && !layer->GetDisplayCache()) layer->SetDisplayCache(BuildMaskAlpha(layer, mask));
        std::unique_ptr<TAlphaSwap> swap;
        if (mask && layer->GetDisplayCache()) swap = std::make_unique<TAlphaSwap>(bmp, layer->GetDisplayCache());

        // c. The resampling filter.
        TResampleFilter filter = rfNone;
        if (FFilterDelayCount < 1 &&
            (layer->ShownWidth != 0 || layer->ShownHeight != 0 || FZoomPercentX != 100 || FZoomPercentY != 100))
            filter = layer->UseOwnFilter ? layer->OwnFilter : FZoomFilter;

        // e. A magnifier makes its content from what lies under its centre.
        if (i > 0 && layer->Magnifier.Magnifier && layer->Magnifier.Zoom >= 1) DrawMagnifierContent(Dest, layer);

        // A turned layer is drawn from a turned copy placed at its bounding box.
        TIEBitmap* source = bmp;
        std::unique_ptr<TIEBitmap> turned;
        const int32_t savedX = layer->PositionX, savedY = layer->PositionY;
        const int32_t savedW = layer->ShownWidth, savedH = layer->ShownHeight;
        if (layer->IsRotated()) {
            // The turned copy has the displayed size: none is made beyond a quarter gigapixel.
            if (static_cast<int64_t>(layer->GetShownWidth()) * layer->GetShownHeight() > (int64_t{1} << 28)) continue;
            turned = std::make_unique<TIEBitmap>();
            turned->Assign(bmp);
            TVovozIdProc proc(nullptr);
            proc.AttachBitmap(turned.get());
            if (layer->GetShownWidth() != bmp->GetWidth() || layer->GetShownHeight() != bmp->GetHeight())
                proc.Resample(layer->GetShownWidth(), layer->GetShownHeight(), rfNone);
            (void)turned->GetAlphaChannel();  // the corners outside the picture stay transparent
            proc.Rotate(layer->Angle, true, 1, GetBackground());
            double corners[4][2];
            RotatedRect(layer->PositionX, layer->PositionY, layer->GetShownWidth(), layer->GetShownHeight(),
                        layer->PivotX, layer->PivotY, layer->Angle, corners);
            double minX = corners[0][0], minY = corners[0][1];
            for (int k = 0; k < 4; ++k) {
                minX = std::min(minX, corners[k][0]);
                minY = std::min(minY, corners[k][1]);
                layer->RotatedCorners[k] =
                    cl::TPoint{BitmapToClientX(static_cast<int32_t>(std::nearbyint(corners[k][0]))),
                               BitmapToClientY(static_cast<int32_t>(std::nearbyint(corners[k][1])))};
            }
            layer->PositionX = static_cast<int32_t>(std::floor(minX));
            layer->PositionY = static_cast<int32_t>(std::floor(minY));
            layer->ShownWidth = turned->GetWidth();
            layer->ShownHeight = turned->GetHeight();
            source = turned.get();
        }

        // The client rectangle of the layer.
        const int32_t sw = layer->GetShownWidth(), sh = layer->GetShownHeight();
        int32_t l = BitmapToClientX(layer->PositionX), t = BitmapToClientY(layer->PositionY);
        int32_t r = BitmapToClientX(layer->PositionX + sw), b = BitmapToClientY(layer->PositionY + sh);
        layer->ClientRect = cl::TRect{l, t, r, b};
        double srcX = 0, srcY = 0, srcW = source->GetWidth(), srcH = source->GetHeight();
        if (layer->ClipToImage && r > l && b > t) {
            // Clipped to layer 0's area; the source shrinks in proportion.
            const int32_t il = BitmapToClientX(GetLayer(0)->PositionX), it = BitmapToClientY(GetLayer(0)->PositionY);
            const int32_t ir = BitmapToClientX(GetLayer(0)->PositionX + GetLayer(0)->GetShownWidth());
            const int32_t ib = BitmapToClientY(GetLayer(0)->PositionY + GetLayer(0)->GetShownHeight());
            const double fx = srcW / (r - l), fy = srcH / (b - t);
            double x2 = srcW, y2 = srcH;
            if (l < il) srcX = (il - l) * fx, l = il;
            if (t < it) srcY = (it - t) * fy, t = it;
            if (r > ir) x2 = srcW - (r - ir) * fx, r = ir;
            if (b > ib) y2 = srcH - (b - ib) * fy, b = ib;
            srcW = x2 - srcX;
            srcH = y2 - srcY;
        }
        const int32_t sx = static_cast<int32_t>(srcX), sy = static_cast<int32_t>(srcY);
        const int32_t sWidth = static_cast<int32_t>(std::ceil(srcW - (sx - srcX)));
        const int32_t sHeight = static_cast<int32_t>(std::ceil(srcH - (sy - srcY)));
        if (r > l && b > t && sWidth > 0 && sHeight > 0) {
            TIERowCache rows;
            TIECoordTable xt, yt;
            const auto op = static_cast<TIEBlendOperation>(layer->BlendMode);
            source->RenderToTIEBitmap(Dest, rows, xt, yt, ClipRect, l, t, r - l, b - t, sx, sy, sWidth, sHeight,
                                      FEnableAlphaChannel, false, std::clamp(layer->Opacity, 0, 255), filter, true, op);
        }
        const int32_t info[8] = {l, t, r - l, b - t, sx, sy, sWidth, sHeight};
        std::copy(std::begin(info), std::end(info), layer->DrawInfo);
        if (turned) {
            layer->PositionX = savedX;
            layer->PositionY = savedY;
            layer->ShownWidth = savedW;
            layer->ShownHeight = savedH;
        }

        // f. The current layer's box and grips, and the dimming of the rest.
        if (DrawBoxes && i == FCurrentLayer && layer->ShowBox) DrawLayerBoxAndGrips(Dest, i);
        if (DrawBoxes && i == FCurrentLayer && layer->DimOthers) DimAroundLayer(Dest, layer->ClientRect);
        // g. The own alpha channel goes back when swap ends.
    }
}

void TVovozIdView::DrawMagnifierContent(TIEBitmap* Dest, TIELayer* Layer) {
    TIEBitmap* bmp = Layer->GetBitmap();
    if (Layer->ShownWidth > 0 && Layer->ShownHeight > 0 &&
        (bmp->GetWidth() != Layer->ShownWidth || bmp->GetHeight() != Layer->ShownHeight))
        bmp->Allocate(Layer->ShownWidth, Layer->ShownHeight, ie24RGB);
    if (bmp->GetPixelFormat() != ie24RGB) bmp->SetPixelFormat(ie24RGB);
    const int32_t bw = bmp->GetWidth(), bh = bmp->GetHeight();
    if (bw < 1 || bh < 1) return;
    // The client rectangle around the layer's centre that the glass enlarges.
    const int32_t cx = BitmapToClientX(Layer->PositionX + Layer->GetShownWidth() / 2);
    const int32_t cy = BitmapToClientY(Layer->PositionY + Layer->GetShownHeight() / 2);
    const int32_t w =
        std::max(1, static_cast<int32_t>(Layer->GetShownWidth() / (Layer->Magnifier.Zoom / FZoomFactorX)));
    const int32_t h =
        std::max(1, static_cast<int32_t>(Layer->GetShownHeight() / (Layer->Magnifier.Zoom / FZoomFactorY)));
    const int32_t x = cx - w / 2, y = cy - h / 2;
    bmp->Fill(static_cast<double>(cl::ColorToRGB(GetBackground())));
    if (Layer->Magnifier.Source == 0) {
        TIEBitmap* base = GetLayer(0)->GetBitmap();
        const int32_t bx1 = ClientToBitmapX(x), by1 = ClientToBitmapY(y);
        const int32_t bx2 = ClientToBitmapX(x + w), by2 = ClientToBitmapY(y + h);
        if (bx1 >= 0 && by1 >= 0 && bx2 <= base->GetWidth() && by2 <= base->GetHeight() && bx2 > bx1 && by2 > by1) {
            TIEBitmap rgb;
            rgb.Assign(base);
            rgb.RemoveAlphaChannel(false, 0);
            if (rgb.GetPixelFormat() == ie24RGB || rgb.SetPixelFormat(ie24RGB))
                rgb.DrawToTIEBitmap(bmp, 0, 0, bw, bh, bx1, by1, bx2 - bx1, by2 - by1, 255, rfNone, boCopy);
        }
    } else {
        const int32_t x1 = std::max(0, x), y1 = std::max(0, y);
        const int32_t x2 = std::min(Dest->GetWidth(), x + w), y2 = std::min(Dest->GetHeight(), y + h);
        if (x2 > x1 && y2 > y1) {
            TIEBitmap copy;
            copy.Assign(Dest);
            copy.RemoveAlphaChannel(false, 0);
            copy.DrawToTIEBitmap(bmp, 0, 0, bw, bh, x1, y1, x2 - x1, y2 - y1, 255, rfNone, boCopy);
        }
    }
    // The shape: an opaque rectangle or an ellipse filling the layer.
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    alpha->Fill(255);
    alpha->Full = Layer->Magnifier.Shape == 0;
    if (Layer->Magnifier.Shape == 1) {
        const double rx = bw / 2.0, ry = bh / 2.0;
        for (int32_t yy = 0; yy < bh; ++yy) {
            auto* a = static_cast<uint8_t*>(alpha->GetScanline(yy));
            for (int32_t xx = 0; xx < bw; ++xx) {
                const double dx = (xx + 0.5 - rx) / rx, dy = (yy + 0.5 - ry) / ry;
                a[xx] = dx * dx + dy * dy <= 1 ? 255 : 0;
            }
        }
    }
}

void TVovozIdView::DrawLayerBoxAndGrips(TIEBitmap* Dest, int32_t Index) {
    TIELayer* layer = GetLayer(Index);
    const bool box = (FMouseInteract & (IEMouseOpt(miMoveLayers) | IEMouseOpt(miResizeLayers))) != 0;
    const bool grips = (FMouseInteract & IEMouseOpt(miResizeLayers)) != 0 && !layer->Immovable;
    const bool centre = (FMouseInteract & IEMouseOpt(miRotateLayers)) != 0;
    if (!box && !grips && !centre) return;
    cl::TCanvas* canvas = Dest->GetCanvas();
    if (!canvas) return;
    if (box) {
        if (OnDrawLayerBox) {
            OnDrawLayerBox(this, Dest->GetVclBitmap(), Index);
        } else {
            canvas->GetPen()->Assign(FInstancePen.get());
            canvas->GetBrush()->SetStyle(cl::bsClear);
            if (layer->IsRotated()) {
                std::vector<cl::TPoint> poly(std::begin(layer->RotatedCorners), std::end(layer->RotatedCorners));
                canvas->Polygon(poly);
            } else {
                canvas->Rectangle(layer->ClientRect);
            }
        }
    }
    auto drawGrip = [&](TIEGrip Grip, bool Ellipse) {
        const cl::TRect r = GetLayerGripRect(Index, Grip);
        if (OnDrawLayerGrip) {
            OnDrawLayerGrip(this, Dest->GetVclBitmap(), Index, static_cast<int32_t>(Grip), r);
            return;
        }
        canvas->GetPen()->SetStyle(cl::psSolid);
        canvas->GetPen()->SetMode(cl::pmCopy);
        canvas->GetPen()->SetColor(FLayersGripPenColor);
        canvas->GetBrush()->SetStyle(FLayersGripBrushStyle);
        canvas->GetBrush()->SetColor(FLayersGripBrushColor);
        if (Ellipse)
            canvas->Ellipse(r);
        else
            canvas->Rectangle(r);
    };
    if (grips)
        for (int32_t g = 1; g <= 8; ++g) drawGrip(static_cast<TIEGrip>(g), FLayersGripShape == 1);
    if (centre) drawGrip(TIEGrip::ieRotationCenter, true);
}

void TVovozIdView::DimAroundLayer(TIEBitmap* Dest, const cl::TRect& Keep) {
    if (Dest->GetPixelFormat() != ie24RGB) return;
    for (int32_t y = 0; y < Dest->GetHeight(); ++y) {
        auto* row = static_cast<uint8_t*>(Dest->GetScanline(y));
        for (int32_t x = (y & 1); x < Dest->GetWidth(); x += 2) {
            if (x >= Keep.left && x < Keep.right && y >= Keep.top && y < Keep.bottom) continue;
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 97;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Merging

void TVovozIdView::RenderLayersTo(TIEBitmap* Dest) {
    if (!Dest) return;
    SyncLayers();
    TIELayer* base = GetLayer(0);
    int64_t right = static_cast<int64_t>(base->PositionX) + base->GetShownWidth();
    int64_t bottom = static_cast<int64_t>(base->PositionY) + base->GetShownHeight();
    int64_t ex = 0, ey = 0;
    for (auto& layer : FLayers) {
        if (layer->ClipToImage) continue;
        right = std::max<int64_t>(right, static_cast<int64_t>(layer->PositionX) + layer->GetShownWidth());
        bottom = std::max<int64_t>(bottom, static_cast<int64_t>(layer->PositionY) + layer->GetShownHeight());
        ex = std::max<int64_t>(ex, -static_cast<int64_t>(layer->PositionX));
        ey = std::max<int64_t>(ey, -static_cast<int64_t>(layer->PositionY));
    }
    const int64_t w = right + ex, h = bottom + ey;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return;
    if (Dest->GetPixelFormat() != ie24RGB || Dest->GetWidth() != w || Dest->GetHeight() != h)
        Dest->Allocate(static_cast<int32_t>(w), static_cast<int32_t>(h), ie24RGB);
    Dest->Fill(static_cast<double>(cl::ColorToRGB(GetBackground())));
    if (Dest->HasAlphaChannel()) {
        Dest->GetAlphaChannel()->Fill(255);
        Dest->GetAlphaChannel()->Full = true;
    }

    // The geometry of a view at 100% over layer 0, shifted by the negative positions.
    const double zx = FZoomPercentX, zy = FZoomPercentY, fx = FZoomFactorX, fy = FZoomFactorY;
    const double ix = FInvZoomX, iy = FInvZoomY;
    const int32_t ox = FOriginX, oy = FOriginY, offx = FOffsetX, offy = FOffsetY;
    const int32_t dw = FDisplayWidth, dh = FDisplayHeight, ew = FExtentWidth, eh = FExtentHeight;
    const int32_t iw = FImageWidth, ih = FImageHeight;
    const int32_t filterDelay = FFilterDelayCount;
    HoldUpdate();
    try {
        FZoomPercentX = FZoomPercentY = 100;
        FZoomFactorX = FZoomFactorY = FInvZoomX = FInvZoomY = 1;
        FOriginX = FOriginY = 0;
        FOffsetX = static_cast<int32_t>(ex);
        FOffsetY = static_cast<int32_t>(ey);
        FDisplayWidth = FExtentWidth = FImageWidth = base->GetBitmap()->GetWidth();
        FDisplayHeight = FExtentHeight = FImageHeight = base->GetBitmap()->GetHeight();
        FFilterDelayCount = 0;
        UpdateVisibleArea();
        UpdateCoordTables();
        DrawLayersGeneral(Dest, false, nullptr);
    } catch (...) {
        FZoomPercentX = zx, FZoomPercentY = zy, FZoomFactorX = fx, FZoomFactorY = fy, FInvZoomX = ix, FInvZoomY = iy;
        FOriginX = ox, FOriginY = oy, FOffsetX = offx, FOffsetY = offy, FDisplayWidth = dw, FDisplayHeight = dh;
        FExtentWidth = ew, FExtentHeight = eh, FImageWidth = iw, FImageHeight = ih, FFilterDelayCount = filterDelay;
        ReleaseUpdateHold();
        throw;
    }
    FZoomPercentX = zx, FZoomPercentY = zy, FZoomFactorX = fx, FZoomFactorY = fy, FInvZoomX = ix, FInvZoomY = iy;
    FOriginX = ox, FOriginY = oy, FOffsetX = offx, FOffsetY = offy, FDisplayWidth = dw, FDisplayHeight = dh;
    FExtentWidth = ew, FExtentHeight = eh, FImageWidth = iw, FImageHeight = ih, FFilterDelayCount = filterDelay;
    UpdateVisibleArea();
    UpdateCoordTables();
    ReleaseUpdateHold();
    Update();
}

void TVovozIdView::FlattenLayers() {
    SyncLayers();
    auto merged = std::make_unique<TIEBitmap>();
    merged->Allocate(FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), ie24RGB);
    RenderLayersTo(merged.get());
    LayersClear();
    FIEBitmap->Assign(merged.get());
    merged.reset();
    Update();
}

// ---------------------------------------------------------------------------------------
// Baking the placement into the pixels

namespace {

// The indices an operation runs over: every layer for -1, else Index when it exists.
std::vector<int32_t> LayerRange(int32_t Index, int32_t Count) {
    std::vector<int32_t> out;
    if (Index == -1) {
        for (int32_t i = 0; i < Count; ++i) out.push_back(i);
    } else if (Index >= 0 && Index < Count) {
        out.push_back(Index);
    }
    return out;
}

}  // namespace

void TVovozIdView::BakeLayerSizes(int32_t Index) {
    SyncLayers();
    bool changed = false;
    for (int32_t i : LayerRange(Index, GetLayerCount())) {
        TIELayer* layer = GetLayer(i);
        if (layer->ShownWidth == 0 && layer->ShownHeight == 0) continue;
        TIEBitmap* bmp = layer->GetBitmap();
        const int32_t w = layer->GetShownWidth(), h = layer->GetShownHeight();
        if (bmp && w > 0 && h > 0 && (w != bmp->GetWidth() || h != bmp->GetHeight())) {
            TVovozIdProc proc(nullptr);
            proc.AttachBitmap(bmp);
            proc.Resample(w, h, layer->UseOwnFilter ? layer->OwnFilter : FZoomFilter);
        }
        layer->ShownWidth = 0;
        layer->ShownHeight = 0;
        layer->FreeDisplayCache();
        changed = true;
    }
    if (changed) Update();
}

void TVovozIdView::BakeLayerRotations(int32_t Index) {
    SyncLayers();
    bool changed = false;
    for (int32_t i : LayerRange(Index, GetLayerCount())) {
        TIELayer* layer = GetLayer(i);
        if (!layer->IsRotated() || !layer->GetBitmap()) continue;
        BakeLayerSizes(i);
        TIEBitmap* bmp = layer->GetBitmap();
        double corners[4][2];
        RotatedRect(layer->PositionX, layer->PositionY, bmp->GetWidth(), bmp->GetHeight(), layer->PivotX, layer->PivotY,
                    layer->Angle, corners);
        double minX = corners[0][0], minY = corners[0][1];
        for (auto& c : corners) {
            minX = std::min(minX, c[0]);
            minY = std::min(minY, c[1]);
        }
        layer->PositionX = static_cast<int32_t>(std::floor(minX));
        layer->PositionY = static_cast<int32_t>(std::floor(minY));
        (void)bmp->GetAlphaChannel();  // the new corners are transparent
        TVovozIdProc proc(nullptr);
        proc.AttachBitmap(bmp);
        proc.Rotate(layer->Angle, true, 1, GetBackground());
        layer->ShownWidth = 0;
        layer->ShownHeight = 0;
        layer->Angle = 0;
        cl::TRect bounds;
        if (AlphaBounds(bmp, bounds)) {
            proc.CropToRect(bounds);
            if (bmp->GetWidth() == bounds.right - bounds.left + 1) {
                layer->PositionX += bounds.left;
                layer->PositionY += bounds.top;
            }
        }
        layer->FreeDisplayCache();
        changed = true;
    }
    if (changed) Update();
}

void TVovozIdView::CropLayersToAlpha(int32_t Index) {
    SyncLayers();
    bool changed = false;
    for (int32_t i : LayerRange(Index, GetLayerCount())) {
        TIELayer* layer = GetLayer(i);
        TIEBitmap* bmp = layer->GetBitmap();
        cl::TRect bounds;
        if (!bmp || !AlphaBounds(bmp, bounds)) continue;
        const int32_t ow = bmp->GetWidth(), oh = bmp->GetHeight();
        const int32_t shownW = layer->GetShownWidth(), shownH = layer->GetShownHeight();
        TVovozIdProc proc(nullptr);
        proc.AttachBitmap(bmp);
        proc.CropTransparent();
        if (bmp->GetWidth() == ow && bmp->GetHeight() == oh) continue;
        // The pixels that stay are shown where they were: the position moves by the part cut
        // away, and a displayed size of its own shrinks in proportion.
        layer->PositionX += static_cast<int32_t>(std::nearbyint(static_cast<double>(bounds.left) * shownW / ow));
        layer->PositionY += static_cast<int32_t>(std::nearbyint(static_cast<double>(bounds.top) * shownH / oh));
        if (layer->ShownWidth != 0)
            layer->ShownWidth = std::max(
                1, static_cast<int32_t>(std::nearbyint(static_cast<double>(bmp->GetWidth()) * layer->ShownWidth / ow)));
        if (layer->ShownHeight != 0)
            layer->ShownHeight = std::max(1, static_cast<int32_t>(std::nearbyint(static_cast<double>(bmp->GetHeight()) *
                                                                                 layer->ShownHeight / oh)));
        layer->FreeDisplayCache();
        changed = true;
    }
    if (changed) Update();
}

// ---------------------------------------------------------------------------------------
// The layer snapshots of the processing component's undo

void TVovozIdView::SaveLayersUndo(cl::TStream* Stream, bool WithBitmap) {
    SyncLayers();
    for (int32_t i = 0; i < GetLayerCount(); ++i) GetLayer(i)->SaveUndoRecord(Stream, WithBitmap && i == FCurrentLayer);
}

void TVovozIdView::LoadLayersUndo(cl::TStream* Stream) {
    SyncLayers();
    Stream->SetPosition(0);
    const int64_t size = Stream->GetSize();
    while (Stream->GetPosition() < size) {
        const int64_t start = Stream->GetPosition();
        int32_t length = 0;
        win::GUID guid;
        if (Stream->Read(&length, 4) != 4 || length < 20 || length > size - start) break;
        if (Stream->Read(&guid, sizeof(guid)) != static_cast<int64_t>(sizeof(guid))) break;
        Stream->SetPosition(start);
        auto it = std::find_if(FLayers.begin(), FLayers.end(),
                               [&](const auto& L) { return std::memcmp(&L->GUID, &guid, sizeof(guid)) == 0; });
        if (it == FLayers.end() || !(*it)->LoadUndoRecord(Stream)) Stream->SetPosition(start + length);
    }
    Update();
}

namespace {

bool IsViewUndoKind(TIEUndoSource Source) {
    return Source == ieuSelection || Source == ieuLayer || Source == ieuFullLayer || Source == ieuObjectsAndLayers;
}

}  // namespace

std::unique_ptr<cl::TObject> TVovozIdView::MakeUndoSnapshot(TIEUndoSource Source) {
    if (!IsViewUndoKind(Source)) return nullptr;
    auto stream = std::make_unique<cl::TMemoryStream>();
    if (Source == ieuSelection)
        SaveSelectionToStream(stream.get());
    else if (Source == ieuObjectsAndLayers)
        SaveLayersToStream(stream.get(), -2);  // every layer with its raw pixels
    else
        SaveLayersUndo(stream.get(), Source == ieuFullLayer);
    return stream;
}

bool TVovozIdView::RestoreUndoSnapshot(TIEUndoSource Source, cl::TObject* Snapshot) {
    if (!IsViewUndoKind(Source)) return false;
    auto* stream = dynamic_cast<cl::TStream*>(Snapshot);
    if (!stream) return false;
    if (Source == ieuSelection) {
        // The selection comes back where it was in the picture.
        stream->SetPosition(0);
        return LoadSelectionFromStream(stream, 1);
    }
    if (Source == ieuObjectsAndLayers) {
        stream->SetPosition(0);
        return LoadLayersFromStream(stream);
    }
    LoadLayersUndo(stream);
    return true;
}

}  // namespace ie
