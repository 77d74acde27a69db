// The vector view's rendering: every object over the view's display bitmap (client
// coordinates) or into a picture (bitmap coordinates). Opaque objects are drawn straight
// onto the destination; transparent ones, soft shadows, highlighters and semi-transparent
// texts go through a work bitmap with an alpha channel and only their drawn area is blended.
#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/processing/ieblur.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"

namespace ie {

namespace {

TRGB ColorToTRGB(cl::TColor Color) {
    const cl::TColor rgb = cl::ColorToRGB(Color);
    TRGB c;
    c.r = rgb & 0xFF, c.g = (rgb >> 8) & 0xFF, c.b = (rgb >> 16) & 0xFF;
    return c;
}

void FillRGB(TIEBitmap* B, const TRGB& C) {
    for (int32_t y = 0; y < B->GetHeight(); ++y) {
        auto* row = static_cast<TRGB*>(B->GetScanline(y));
        std::fill(row, row + B->GetWidth(), C);
    }
}

// Needs the work bitmap: transparency of texts and memos, shadow, highlighter.
bool NeedsBlending(const TIEVObjRecord& Obj) {
    return Obj.Shadow.Enabled || Obj.Highlight ||
           (Obj.Transparency <= 254 && (Obj.Kind == ievkTEXT || Obj.Kind == ievkMEMO)) ||
           (Obj.Transparency <= 254 && !IEGDIPlusUsable());
}

}  // namespace

void TVovozIdVect::PrepareWorkBitmap(int32_t W, int32_t H) {
    if (!FWorkBitmap || FWorkBitmap->GetWidth() != W || FWorkBitmap->GetHeight() != H) {
        FWorkBitmap = std::make_unique<TIEBitmap>(W, H, ie24RGB);
        FWorkBitmap->SetLocation(ieTBitmap);
        FWorkAlpha = std::make_unique<TIEBitmap>(W, H, ie24RGB);
        FWorkAlpha->SetLocation(ieTBitmap);
    }
    FWorkBitmap->GetAlphaChannel();
}

void TVovozIdVect::RenderObjects(bool ToImage, int32_t hobj, bool Supersample, cl::TBitmap* DestVcl) {
    if (ObjectsSuspended || !DestVcl) return;
    const int32_t W = DestVcl->GetWidth(), H = DestVcl->GetHeight();
    if (W <= 0 || H <= 0) return;
    std::vector<int32_t> order;
    if (hobj == IEV_ALL_OBJECTS)
        order = FDrawOrder;
    else if (GetObjRecord(hobj))
        order.push_back(ResolveHandle(hobj));
    const bool supersampled = FDrawAntialiased && !order.empty() && !IEGDIPlusUsable();
    const int32_t factor = supersampled && Supersample ? 2 : 1;
    const bool fast = FastPending && FastDrawWhileDragging;

    TIEBitmap destIE;
    destIE.EncapsulateTBitmap(DestVcl, true);

    for (int32_t h : order) {
        TIEVObjRecord* obj = GetObjRecord(h);
        if (!obj) continue;
        if (!supersampled && (fast || !NeedsBlending(*obj))) {
            DrawObject(*obj, h, false, 1, nullptr, !ToImage, !ToImage, DestVcl);
            continue;
        }
        const int32_t ww = W * factor, wh = H * factor;
        PrepareWorkBitmap(ww, wh);
        TIEBitmap* work = FWorkBitmap.get();
        FillRGB(work, ColorToTRGB(obj->PenColor));
        int32_t hx1 = 0, hy1 = 0, hx2 = -1, hy2 = -1;  // the highlighter's box in work pixels
        if (obj->Highlight) {
            // The highlighter works on the real background under the object.
            int32_t x1 = !ToImage ? BitmapToClientX(obj->X1) : obj->X1,
                    y1 = !ToImage ? BitmapToClientY(obj->Y1) : obj->Y1;
            int32_t x2 = !ToImage ? BitmapToClientX(obj->X2) : obj->X2,
                    y2 = !ToImage ? BitmapToClientY(obj->Y2) : obj->Y2;
            if (x1 > x2) std::swap(x1, x2);
            if (y1 > y2) std::swap(y1, y2);
            x1 = std::clamp(x1, 0, W - 1), x2 = std::clamp(x2, 0, W - 1);
            y1 = std::clamp(y1, 0, H - 1), y2 = std::clamp(y2, 0, H - 1);
            if (factor == 1) {
                destIE.CopyRectTo(work, x1, y1, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
            } else {
                for (int32_t y = y1 * factor; y < (y2 + 1) * factor; ++y)
                    for (int32_t x = x1 * factor; x < (x2 + 1) * factor; ++x)
                        work->SetPixel24(x, y, destIE.GetPixel24(x / factor, y / factor));
            }
            hx1 = x1 * factor, hy1 = y1 * factor, hx2 = (x2 + 1) * factor - 1, hy2 = (y2 + 1) * factor - 1;
        }
        if (!DrawObject(*obj, h, false, factor, work, !ToImage, !ToImage, work->GetVclBitmap())) continue;
        // The coverage: the object drawn again in the grey of its opacity on black.
        TIEBitmap* alpha = work->GetAlphaChannel();
        const bool picture = obj->Kind == ievkBITMAP && obj->BitmapIndex >= 0 && GetBitmapByIndex(obj->BitmapIndex);
        const cl::TRect drawn = obj->DrawnRect;
        if (picture) {
            // The picture's own alpha (and its opacity) goes into the work bitmap's alpha.
            alpha->Fill(0);
            TIEBitmap* pic = GetBitmapByIndex(obj->BitmapIndex);
            TIEBitmap cover(pic->GetWidth(), pic->GetHeight(), ie8g);
            for (int32_t y = 0; y < pic->GetHeight(); ++y)
                for (int32_t x = 0; x < pic->GetWidth(); ++x)
                    cover.SetPixel8(x, y,
                                    static_cast<uint8_t>((pic->HasAlphaChannel() ? pic->GetAlpha(x, y) : 255) *
                                                         obj->Transparency / 255));
            int32_t x1 = drawn.left, y1 = drawn.top, x2 = drawn.right, y2 = drawn.bottom;
            cover.StretchRectTo(alpha, x1, y1, x2 - x1 + 1, y2 - y1 + 1, 0, 0, cover.GetWidth(), cover.GetHeight(),
                                rfNone, 255);
        } else {
            FillRGB(FWorkAlpha.get(), TRGB{});
            // The highlighter ANDs its colour into what is there: white under its box makes
            // its coverage the opacity grey.
            for (int32_t y = hy1; y <= hy2; ++y)
                for (int32_t x = hx1; x <= hx2; ++x) FWorkAlpha->SetPixel24(x, y, TRGB{255, 255, 255});
            const cl::TColor grey = static_cast<cl::TColor>(obj->Transparency * 0x010101);
            const cl::TColor pc = obj->PenColor, bc = obj->BrushColor, lc = obj->LabelBrushColor,
                             mc = obj->MemoBorderColor;
            const int32_t t = obj->Transparency;
            obj->PenColor = obj->BrushColor = obj->LabelBrushColor = obj->MemoBorderColor = grey;
            obj->Transparency = 255;
            DrawObject(*obj, h, true, factor, FWorkAlpha.get(), !ToImage, !ToImage, FWorkAlpha->GetVclBitmap());
            obj->PenColor = pc, obj->BrushColor = bc, obj->LabelBrushColor = lc, obj->MemoBorderColor = mc;
            obj->Transparency = t;
            for (int32_t y = 0; y < wh; ++y) {
                auto* src = static_cast<const TRGB*>(FWorkAlpha->GetScanline(y));
                auto* dst = static_cast<uint8_t*>(alpha->GetScanline(y));
                for (int32_t x = 0; x < ww; ++x) dst[x] = src[x].r;
            }
            obj->DrawnRect = drawn;
        }
        int32_t ax1 = std::clamp<int32_t>(drawn.left - obj->DrawnPenWidth, 0, ww - 1);
        int32_t ay1 = std::clamp<int32_t>(drawn.top - obj->DrawnPenWidth, 0, wh - 1);
        int32_t ax2 = std::clamp<int32_t>(drawn.right + obj->DrawnPenWidth, 0, ww - 1);
        int32_t ay2 = std::clamp<int32_t>(drawn.bottom + obj->DrawnPenWidth, 0, wh - 1);
        if (ax1 > ax2) std::swap(ax1, ax2);
        if (ay1 > ay2) std::swap(ay1, ay2);
        int32_t aw = std::min(ax2 - ax1 + 1, ww), ah = std::min(ay2 - ay1 + 1, wh);
        if (obj->Shadow.Enabled && !fast) {
            const TIEVSoftShadow& s = obj->Shadow;
            const int32_t m = IEAddSoftShadow(work, s.OffsetX * factor, s.OffsetY * factor, s.Radius * factor,
                                              s.Intensity, s.Color, ax1, ay1, ax1 + aw - 1, ay1 + ah - 1);
            const int32_t nx = std::max(ax1 - m, 0), ny = std::max(ay1 - m, 0);
            aw = std::min(aw + 2 * m, ww - nx), ah = std::min(ah + 2 * m, wh - ny);
            ax1 = nx, ay1 = ny;
        }
        if (factor == 2) {
            ax1 += 2, ay1 += 2, aw -= 4, ah -= 4;
            if (aw <= 0 || ah <= 0) continue;
        }
        alpha->Full = false;
        TIERowCache rows;
        TIECoordTable xt, yt;
        work->RenderToTBitmap(DestVcl, rows, xt, yt, nullptr, ax1 / factor, ay1 / factor, aw / factor, ah / factor, ax1,
                              ay1, aw, ah, true, false, 255, factor == 2 ? rfTriangle : rfNone, true, boCopy);
    }
}

void TVovozIdVect::DrawObjectsOverlay(cl::TBitmap* Bitmap) {
    FDrawnObjects = 0;
    RenderObjects(false, IEV_ALL_OBJECTS, FObjAntialias, Bitmap);
    DrawSelectionGrips(Bitmap->GetCanvas());
    if (MouseInteractVect & IEVMouseOpt(mivEditPolyline)) DrawPolylinePointGrips(Bitmap->GetCanvas());
}

void TVovozIdVect::DrawLayers(TIEBitmap* Dest, bool DrawBoxes, bool DrawBackground, const cl::TRect* ClipRect) {
    TVovozIdView::DrawLayers(Dest, DrawBoxes, DrawBackground, ClipRect);
    if (ObjectsHidden || !Dest) return;
    if (GetObjectsCount() > 0 || DrawBoxes) DrawObjectsOverlay(Dest->GetVclBitmap());
}

void TVovozIdVect::MergeObjectsInto(TIEBitmap* Bitmap, bool AntiAlias, int32_t hobj) {
    if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return;
    const bool savedAA = FDrawAntialiased, savedFast = FastPending;
    if (AntiAlias) FDrawAntialiased = true;
    FastPending = false;
    if (Bitmap->GetLocation() == ieTBitmap && Bitmap->GetPixelFormat() == ie24RGB) {
        RenderObjects(true, hobj, AntiAlias, Bitmap->GetVclBitmap());
    } else {
        const TIEPixelFormat format = Bitmap->GetPixelFormat();
        TIEBitmap copy;
        copy.AssignImage(Bitmap);
        copy.SetPixelFormat(ie24RGB);
        copy.SetLocation(ieTBitmap);
        RenderObjects(true, hobj, AntiAlias, copy.GetVclBitmap());
        copy.SetLocation(ieFile);
        copy.SetPixelFormat(format);
        Bitmap->AssignImage(&copy);
    }
    FDrawAntialiased = savedAA;
    FastPending = savedFast;
}

void TVovozIdVect::DrawObjectsToImage(bool AntiAlias) {
    TIEBitmap* b = GetIEBitmap();
    if (!b) return;
    MergeObjectsInto(b, AntiAlias, IEV_ALL_OBJECTS);
    Update();
    ImageChange();
}

}  // namespace ie
