// How the view gets its picture on the screen: a view-sized back buffer that the layer
// composition fills, the background styles behind the image, the wallpaper, the copy of the
// back buffer to the window, and the version text.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "classlib/Forms.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/vovozidview.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace ie {

namespace {

win::COLORREF Ref(cl::TColor Color) { return static_cast<win::COLORREF>(cl::ColorToRGB(Color)) & 0xFFFFFF; }

// The bitwise complement of a colour (the chessboard's second square, the diagonals).
cl::TColor Complement(cl::TColor Color) { return static_cast<cl::TColor>(~Ref(Color) & 0xFFFFFF); }

void FillSolid(cl::TCanvas* Canvas, const cl::TRect& R, cl::TColor Color) {
    Canvas->GetBrush()->SetStyle(cl::bsSolid);
    Canvas->GetBrush()->SetColor(Color);
    Canvas->FillRect(R);
}

// Hatch lines in Color over its complement, drawn on the device context so that the gaps get
// a colour of their own and nothing of the previous picture shows through them.
void FillHatched(cl::TCanvas* Canvas, const cl::TRect& R, cl::TColor Color, int HatchStyle) {
    win::HDC dc = Canvas->GetHandle();
    win::HBRUSH brush = win::CreateHatchBrush(HatchStyle, Ref(Color));
    win::COLORREF oldBk = win::SetBkColor(dc, Ref(Complement(Color)));
    int oldMode = win::SetBkMode(dc, win::OPAQUE);
    win::FillRect(dc, &R, brush);
    win::SetBkMode(dc, oldMode);
    win::SetBkColor(dc, oldBk);
    win::DeleteObject(brush);
}

void DrawChessboard(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, const cl::TRect& R, int32_t Size, cl::TColor Color,
                    cl::TBrushStyle BrushStyle) {
    if (Size < 1) Size = 1;
    if (R.right <= R.left || R.bottom <= R.top) return;
    const win::COLORREF c1 = Ref(Color), c2 = Ref(Complement(Color));
    if (Bitmap && BrushStyle == cl::bsSolid && Bitmap->GetPixelFormat() == cl::pf24bit && Bitmap->GetWidth() > 0 &&
        Bitmap->GetHeight() > 0) {
        // Straight into the rows; rows outside the bitmap take its nearest row.
        const int32_t bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
        const int32_t x1 = std::max<int32_t>(R.left, 0), x2 = std::min<int32_t>(R.right, bw);
        for (int32_t y = R.top; y < R.bottom; ++y) {
            const int32_t row = std::clamp(y, 0, bh - 1);
            auto* p = static_cast<uint8_t*>(Bitmap->ScanLine(row));
            const bool oddRow = ((y - R.top) / Size) % 2 != 0;
            for (int32_t x = x1; x < x2; ++x) {
                const bool second = (((x - R.left) / Size) % 2 != 0) != oddRow;
                const win::COLORREF c = second ? c2 : c1;
                p[3 * x] = static_cast<uint8_t>(c >> 16);
                p[3 * x + 1] = static_cast<uint8_t>(c >> 8);
                p[3 * x + 2] = static_cast<uint8_t>(c);
            }
        }
        return;
    }
    Canvas->GetBrush()->SetStyle(BrushStyle);
    for (int32_t y = R.top, j = 0; y < R.bottom; y += Size, ++j)
        for (int32_t x = R.left, i = 0; x < R.right; x += Size, ++i) {
            Canvas->GetBrush()->SetColor(((i + j) % 2 == 0) ? Color : Complement(Color));
            Canvas->FillRect(cl::TRect{x, y, std::min(x + Size, R.right), std::min(y + Size, R.bottom)});
        }
}

void DrawWallPaper(cl::TCanvas* Canvas, TIEWallPaperStyle Style, cl::TPicture* WallPaper, int32_t Width,
                   int32_t Height) {
    if (!WallPaper || !WallPaper->GetGraphic()) return;
    cl::TGraphic* g = WallPaper->GetGraphic();
    switch (Style) {
        case iewoNormal: Canvas->Draw(0, 0, g); break;
        case iewoStretch: Canvas->StretchDraw(cl::TRect{0, 0, Width, Height}, g); break;
        case iewoTile: {
            const int32_t w = g->GetWidth(), h = g->GetHeight();
            if (w <= 0 || h <= 0) break;
            for (int32_t y = 0; y < Height; y += h)
                for (int32_t x = 0; x < Width; x += w) Canvas->Draw(x, y, g);
            break;
        }
    }
}

// The gradient entry of MSIMG32.DLL.
using TGradientFillProc = win::BOOL (*)(win::HDC, const win::TRIVERTEX*, win::ULONG, const void*, win::ULONG,
                                        win::ULONG);
std::mutex GradientLock;
win::HMODULE GradientLibrary = nullptr;
TGradientFillProc GradientFillProc = nullptr;

// The platform's GDI draws gradients itself: it stands in for the library as a built-in
// module, so that the view finds it the way it finds the system's.
void ProvideGradientModule() {
    static std::once_flag once;
    std::call_once(once, [] {
        win::RegisterBuiltinModule("MSIMG32.DLL", {{"GradientFill", reinterpret_cast<void*>(&win::GradientFill)}});
    });
}

}  // namespace

bool IEGradientRect(const cl::TRect& Rect, win::HDC DC, cl::TColor Color1, bool Vertical, cl::TColor Color2) {
    TGradientFillProc proc = nullptr;
    {
        std::lock_guard<std::mutex> lock(GradientLock);
        if (!GradientFillProc) {
            ProvideGradientModule();
            if (!GradientLibrary) GradientLibrary = win::LoadLibraryA("MSIMG32.DLL");
            if (!GradientLibrary) return false;
            GradientFillProc =
                reinterpret_cast<TGradientFillProc>(win::GetProcAddress(GradientLibrary, "GradientFill"));
            if (!GradientFillProc) {
                // Tried again at the next call.
                win::FreeLibrary(GradientLibrary);
                GradientLibrary = nullptr;
                return false;
            }
        }
        proc = GradientFillProc;
    }
    const win::COLORREF a = Ref(Color1), b = Ref(Color2);
    win::TRIVERTEX v[2];
    v[0].x = Rect.left;
    v[0].y = Rect.top;
    v[0].Red = static_cast<win::COLOR16>((a & 0xFF) << 8);
    v[0].Green = static_cast<win::COLOR16>(((a >> 8) & 0xFF) << 8);
    v[0].Blue = static_cast<win::COLOR16>(((a >> 16) & 0xFF) << 8);
    v[0].Alpha = 0;
    v[1].x = Rect.right;
    v[1].y = Rect.bottom;
    v[1].Red = static_cast<win::COLOR16>((b & 0xFF) << 8);
    v[1].Green = static_cast<win::COLOR16>(((b >> 8) & 0xFF) << 8);
    v[1].Blue = static_cast<win::COLOR16>(((b >> 16) & 0xFF) << 8);
    v[1].Alpha = 0;
    win::GRADIENT_RECT mesh{0, 1};
    return proc(DC, v, 2, &mesh, 1, Vertical ? win::GRADIENT_FILL_RECT_V : win::GRADIENT_FILL_RECT_H) != 0;
}

void IEGradientLibraryRelease() {
    std::lock_guard<std::mutex> lock(GradientLock);
    if (GradientLibrary) win::FreeLibrary(GradientLibrary);  // a failure is of no consequence here
    GradientLibrary = nullptr;
    GradientFillProc = nullptr;
}

void IEDrawBackground(cl::TComponentState State, cl::TCanvas* Canvas, cl::TBitmap* Bitmap,
                      TIEWallPaperStyle WallPaperStyle, cl::TPicture* WallPaper, cl::TColor GradientEndColor,
                      cl::TBrushStyle ChessboardBrushStyle, int32_t ChessboardSize, int32_t ImageBottom,
                      int32_t ImageRight, int32_t ImageTop, int32_t ImageLeft, int32_t Height, int32_t Width,
                      int32_t Top, int32_t Left, cl::TColor Background, TIEBackgroundStyle Style) {
    const cl::TRect area{Left, Top, Left + Width, Top + Height};
    const bool imageShown = ImageRight - ImageLeft >= 2 && ImageBottom - ImageTop >= 2;
    if ((State & cl::csDesigning) && (Style == iebsCropped || Style == iebsCropShadow || Style == iebsSoftShadow))
        Style = iebsSolid;
    switch (Style) {
        case iebsSolid: FillSolid(Canvas, area, Background); break;
        case iebsHorizontal: FillHatched(Canvas, area, Background, win::HS_HORIZONTAL); break;
        case iebsVertical: FillHatched(Canvas, area, Background, win::HS_VERTICAL); break;
        case iebsFDiagonal: FillHatched(Canvas, area, Background, win::HS_FDIAGONAL); break;
        case iebsBDiagonal: FillHatched(Canvas, area, Background, win::HS_BDIAGONAL); break;
        case iebsCross: FillHatched(Canvas, area, Background, win::HS_CROSS); break;
        case iebsDiagCross: FillHatched(Canvas, area, Background, win::HS_DIAGCROSS); break;
        case iebsChessboard:
            DrawChessboard(Canvas, Bitmap, area, ChessboardSize, Background, ChessboardBrushStyle);
            break;
        case iebsDiagonals: {
            FillSolid(Canvas, area, Background);
            cl::TPen* pen = Canvas->GetPen();
            pen->SetStyle(cl::psSolid);
            pen->SetMode(cl::pmCopy);
            pen->SetWidth(1);
            pen->SetColor(Complement(Background));
            Canvas->MoveTo(area.left, area.top);
            Canvas->LineTo(area.right, area.bottom);
            Canvas->MoveTo(area.right, area.top);
            Canvas->LineTo(area.left, area.bottom);
            break;
        }
        case iebsCropped:
            FillSolid(Canvas, area, cl::clBtnFace);
            if (imageShown) {
                win::RECT r{ImageLeft - IEEdgeX, ImageTop - IEEdgeY, ImageRight + IEEdgeX, ImageBottom + IEEdgeY};
                win::DrawEdge(Canvas->GetHandle(), &r, win::EDGE_SUNKEN, win::BF_RECT);
            }
            break;
        case iebsCropShadow:
            FillSolid(Canvas, area, Background);
            if (imageShown) {
                IEDrawShadowVert(Canvas, Bitmap, ImageRight, ImageTop, ImageRight + 5, ImageBottom + 3, 2);
                IEDrawShadowHorz(Canvas, Bitmap, ImageLeft, ImageBottom, ImageRight + 4, ImageBottom + 5, 2);
            }
            break;
        case iebsGradient: IEGradientRect(area, Canvas->GetHandle(), Background, true, GradientEndColor); break;
        case iebsSoftShadow:
            if (!Bitmap) break;
            FillSolid(Canvas, area, Background);
            if (imageShown) IEDrawSoftShadow(Bitmap, ImageLeft, ImageTop, ImageRight, ImageBottom);
            break;
        case iebsPhotoLike: {
            IEDrawBackground(State, Canvas, Bitmap, WallPaperStyle, WallPaper, GradientEndColor, ChessboardBrushStyle,
                             ChessboardSize, ImageBottom, ImageRight, ImageTop, ImageLeft, Height, Width, Top, Left,
                             static_cast<cl::TColor>(0xB0B0B0), iebsSolid);
            cl::TPen* pen = Canvas->GetPen();
            pen->SetStyle(cl::psSolid);
            pen->SetMode(cl::pmCopy);
            pen->SetWidth(1);
            pen->SetColor(cl::clBlack);
            Canvas->GetBrush()->SetStyle(cl::bsClear);
            Canvas->Rectangle(ImageLeft - 1, ImageTop - 1, ImageRight + 1, ImageBottom + 1);
            DrawChessboard(Canvas, Bitmap, cl::TRect{ImageLeft, ImageTop, ImageRight, ImageBottom}, ChessboardSize,
                           Background, ChessboardBrushStyle);
            return;  // the solid pass drew the wallpaper
        }
    }
    DrawWallPaper(Canvas, WallPaperStyle, WallPaper, Width, Height);
}

// ---------------------------------------------------------------------------------------
// The view's painting

cl::String TVovozIdView::VersionText() { return cl::String("VovozId ") + IEVovozIdVersion; }

cl::TBitmap* TVovozIdView::GetBackBuffer() const { return FBackBuffer ? FBackBuffer->GetVclBitmap() : nullptr; }

void TVovozIdView::DrawBackgroundTo(cl::TCanvas* Canvas) {
    IEDrawBackground(GetComponentState(), Canvas, nullptr, FWallPaperStyle, FWallPaper.get(), GradientEndColor,
                     FChessboardBrushStyle, FChessboardSize, 0, 0, 0, 0, GetHeight(), GetWidth(), 0, 0, GetBackground(),
                     FBackgroundStyle);
}

void TVovozIdView::PaintBackgroundInto(TIEBitmap* Dest) {
    cl::TCanvas* canvas = Dest->GetCanvas();
    const cl::TRect all{0, 0, Dest->GetWidth(), Dest->GetHeight()};
    bool handled = false;
    if (OnDrawBackground) OnDrawBackground(this, canvas, all, handled);
    if (handled) return;
    IEDrawBackground(GetComponentState(), canvas, Dest->VclBitmap(), FWallPaperStyle, FWallPaper.get(),
                     GradientEndColor, FChessboardBrushStyle, FChessboardSize, FOffsetY + FDisplayHeight,
                     FOffsetX + FDisplayWidth, FOffsetY, FOffsetX, all.bottom, all.right, 0, 0, GetBackground(),
                     FBackgroundStyle);
}

void TVovozIdView::DrawLayers(TIEBitmap* Dest, bool DrawBoxes, bool DrawBackground, const cl::TRect* ClipRect) {
    SyncLayers();
    UpdateVisibleArea();
    UpdateCoordTables();
    if (HasState(cl::csDesigning)) return;
    bool drawable = FIEBitmap->GetWidth() > 0 && FIEBitmap->GetHeight() > 0;
    if (drawable && FIEBitmap->HasAlphaChannel()) {
        TIEBitmap* a = FIEBitmap->GetAlphaChannel();
        drawable = a->GetWidth() == FIEBitmap->GetWidth() && a->GetHeight() == FIEBitmap->GetHeight();
    }
    if (!drawable) {
        // No picture to show: the background still covers the whole buffer, so nothing of
        // an earlier composition stays on the screen.
        if (DrawBackground) PaintBackgroundInto(Dest);
        return;
    }
    if (!LayersAreSimple()) {
        // Placed, sized, rotated and masked layers: the background first (layers may leave
        // any part of the view uncovered), then the layers' own composition.
        if (DrawBackground) PaintBackgroundInto(Dest);
        DrawLayersGeneral(Dest, DrawBoxes, ClipRect);
        if (DrawBoxes) DrawSelectionOverlay(Dest);
        return;
    }
    bool backgroundDrawn = false;
    const int32_t vw = GetViewWidth(), vh = GetViewHeight();
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        TIELayer* layer = GetLayer(i);
        if (!layer->Visible || FVisibleDisplayWidth <= 0 || FVisibleDisplayHeight <= 0) continue;
        TIEBitmap* bmp = layer->GetBitmap();
        if (!bmp || (bmp->GetWidth() < 2 && bmp->GetHeight() < 2)) continue;
        const bool simple = GetLayerCount() == 1 && layer->ShownWidth == 0 && layer->ShownHeight == 0 &&
                            layer->PositionX == 0 && layer->PositionY == 0;
        if (DrawBackground && !backgroundDrawn) {
            // Nothing shows of the background when the image covers the whole view opaquely.
            bool translucent = FEnableAlphaChannel && bmp->HasAlphaChannel() && !bmp->GetAlphaChannel()->Full;
            bool covers = FOffsetX == 0 && FOffsetY == 0 && FVisibleDisplayWidth >= vw && FVisibleDisplayHeight >= vh;
            if (!(covers && !translucent && layer->Opacity == 255)) PaintBackgroundInto(Dest);
            backgroundDrawn = true;
        }
        TResampleFilter filter = rfNone;
        if (FFilterDelayCount < 1 &&
            (layer->ShownWidth != 0 || layer->ShownHeight != 0 || FZoomPercentX != 100 || FZoomPercentY != 100))
            filter = layer->UseOwnFilter ? layer->OwnFilter : FZoomFilter;
        if (simple) {
            // The visible part of the bitmap through the view's coordinate tables.
            const int32_t dx = FOffsetX, dy = FOffsetY, dw = FVisibleDisplayWidth, dh = FVisibleDisplayHeight;
            FRenderXTable.assign(static_cast<size_t>(dx + dw), 0);
            FRenderYTable.assign(static_cast<size_t>(dy + dh), 0);
            for (int32_t c = 0; c < dw; ++c) FRenderXTable[static_cast<size_t>(dx + c)] = ClientToBitmapX(dx + c);
            for (int32_t r = 0; r < dh; ++r) FRenderYTable[static_cast<size_t>(dy + r)] = ClientToBitmapY(dy + r);
            const bool useAlpha = FEnableAlphaChannel && bmp->HasAlphaChannel();
            bmp->RenderToTIEBitmap(Dest, FRenderRows, FRenderXTable, FRenderYTable, ClipRect, dx, dy, dw, dh, FVisibleX,
                                   FVisibleY, FVisibleWidth, FVisibleHeight, useAlpha, false, layer->Opacity, filter,
                                   false, static_cast<TIEBlendOperation>(layer->BlendMode));
            layer->ClientRect = cl::TRect{dx, dy, dx + dw, dy + dh};
            const int32_t info[8] = {dx, dy, dw, dh, FVisibleX, FVisibleY, FVisibleWidth, FVisibleHeight};
            std::copy(std::begin(info), std::end(info), layer->DrawInfo);
        }
    }
    if (DrawBackground && !backgroundDrawn) PaintBackgroundInto(Dest);
    if (DrawBoxes) DrawSelectionOverlay(Dest);
}

void TVovozIdView::DrawSelectionOverlay(TIEBitmap* Dest) {
    const bool filled = FSelectionOptions & IESelOpt(iesoFilled);
    const bool markOuter = FSelectionOptions & IESelOpt(iesoMarkOuter);
    if ((!filled && !markOuter) || !FSelected || !GetSelectionRecord()->OutlineShown || FSelectionMask->IsEmpty())
        return;
    int32_t xd = 0, yd = 0, wd = 0, hd = 0, xs = 0, ys = 0, ws = 0, hs = 0;
    if (!SelectionDrawRects(xd, yd, wd, hd, xs, ys, ws, hs) || wd <= 0 || hd <= 0 || ws <= 0 || hs <= 0) return;
    // The mask shows over the composed picture, stretched from the current layer's source
    // rectangle to where that layer is drawn.
    if (filled) FSelectionMask->DrawXor(Dest->GetCanvas(), xd, yd, wd, hd, xs, ys, ws, hs);
    if (markOuter)
        if (cl::TBitmap* vb = Dest->GetVclBitmap())
            FSelectionMask->PaintUnselected(vb, xd, yd, wd, hd, xs, ys, ws, hs, MarkOuterOpacity, MarkOuterColor);
}

void TVovozIdView::PaintBackBuffer(const cl::TRect& Rect) {
    if (!HasParentForm() || !FBackBuffer) return;
    const int32_t vw = GetViewWidth(), vh = GetViewHeight();
    if (FBackBuffer->GetWidth() != vw || FBackBuffer->GetHeight() != vh || FBackBuffer->GetPixelFormat() != ie24RGB) {
        FBackBuffer->Allocate(vw, vh, ie24RGB);
        FBackBufferDirty = true;
    }
    if (FBackBufferDirty) {
        DrawLayers(FBackBuffer.get(), true, true, &Rect);
        if (OnDrawBackBuffer) OnDrawBackBuffer(this);
        FBackBufferDirty = false;
    }
    cl::TRect r{std::max<int32_t>(Rect.left, 0), std::max<int32_t>(Rect.top, 0), std::min<int32_t>(Rect.right, vw),
                std::min<int32_t>(Rect.bottom, vh)};
    if (r.right <= r.left || r.bottom <= r.top) return;
    win::HDC dst = GetCanvas()->GetHandle();
    win::HDC src = FBackBuffer->GetCanvas()->GetHandle();
    const bool remote = IEIsRemoteSession();
    if (IEScreenBitsPerPixel <= 8 && !remote && DrawDibFromBackBuffer(dst, r)) {
        // Palette displays: the DrawDib context maps the colours.
    } else if (IEScreenBitsPerPixel <= 23 && !remote) {
        // Palette and 16-bit displays: half-tone at 1:1 gives the best colours they can show.
        int old = win::SetStretchBltMode(dst, win::HALFTONE);
        win::StretchBlt(dst, r.left, r.top, r.right - r.left, r.bottom - r.top, src, r.left, r.top, r.right - r.left,
                        r.bottom - r.top, win::SRCCOPY);
        win::SetStretchBltMode(dst, old);
    } else if (FIsOverview && (FOverviewOptions & 2)) {
        // An overview darkens what lies outside the served view's visible part, in a copy.
        if (!FDarkBuffer) {
            FDarkBuffer = std::make_unique<TIEBitmap>();
            FDarkBuffer->SetLocation(ieTBitmap);
        }
        if (FDarkBuffer->GetWidth() != vw || FDarkBuffer->GetHeight() != vh) FDarkBuffer->Allocate(vw, vh, ie24RGB);
        cl::TCanvas* dark = FDarkBuffer->GetCanvas();
        win::BitBlt(dark->GetHandle(), r.left, r.top, r.right - r.left, r.bottom - r.top, src, r.left, r.top,
                    win::SRCCOPY);
        const TIESelectionRecord* rec = GetSelectionRecord();
        cl::TRect inner{0, 0, 0, 0};
        if (rec->OutlineShown)
            inner = cl::TRect{BitmapToClientX(rec->X1), BitmapToClientY(rec->Y1), BitmapToClientX(rec->X2),
                              BitmapToClientY(rec->Y2)};
        IEDarkenOutsideRect(dark, GetCurrentLayerObject()->ClientRect, inner);
        win::BitBlt(dst, r.left, r.top, r.right - r.left, r.bottom - r.top, dark->GetHandle(), r.left, r.top,
                    win::SRCCOPY);
    } else {
        win::BitBlt(dst, r.left, r.top, r.right - r.left, r.bottom - r.top, src, r.left, r.top, win::SRCCOPY);
    }
    // A new window is told to the video glue, which posts its messages there.
    if (FLastPaintHandle && FLastPaintHandle != FHandle) GetIO()->UpdateDirectShowNotifyWindow();
    FLastPaintHandle = FHandle;
}

bool TVovozIdView::DrawDibFromBackBuffer(win::HDC DC, const cl::TRect& R) {
    cl::TBitmap* bb = FBackBuffer->VclBitmap();
    const int32_t w = FBackBuffer->GetWidth(), h = FBackBuffer->GetHeight();
    if (!bb || !FDrawDib || w <= 0 || h <= 0) return false;
    // The rows must lie in one block, one DIB row apart, top-down or bottom-up.
    const int64_t rowBytes = ((int64_t{w} * 24 + 31) / 32) * 4;
    auto* first = static_cast<uint8_t*>(bb->ScanLine(0));
    const int64_t stride = h > 1 ? static_cast<uint8_t*>(bb->ScanLine(1)) - first : rowBytes;
    if (stride != rowBytes && stride != -rowBytes) return false;
    win::BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = w;
    header.biHeight = stride > 0 ? -h : h;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = win::BI_RGB;
    const void* bits = stride > 0 ? first : bb->ScanLine(h - 1);
    const int32_t rw = R.right - R.left, rh = R.bottom - R.top;
    // The source row of a bottom-up picture counts from its bottom.
    const int32_t srcY = stride > 0 ? R.top : h - (R.top + rh);
    return IEDrawDibDraw(FDrawDib, DC, R.left, R.top, rw, rh, &header, bits, R.left, srcY, rw, rh, 0);
}

void TVovozIdView::Paint() {
    if (!HandleAllocated() || !HasParentForm() || GetViewWidth() == 0 || GetViewHeight() == 0) return;
    cl::TCanvas* canvas = GetCanvas();
    try {
        if (HasState(cl::csDesigning)) {
            IEDrawBackground(GetComponentState(), canvas, nullptr, FWallPaperStyle, FWallPaper.get(), GradientEndColor,
                             FChessboardBrushStyle, FChessboardSize, 0, 0, 0, 0, GetHeight(), GetWidth(), 0, 0,
                             GetBackground(), FBackgroundStyle);
        } else {
            if (FPaintLockCount == 0) {
                cl::TRect r{0, 0, GetViewWidth(), GetViewHeight()};
                if (!FFullRepaint) {
                    cl::TRect clip = canvas->GetClipRect();
                    if (clip.right > clip.left && clip.bottom > clip.top) r = clip;
                }
                PaintBackBuffer(r);
                // The picture painted over the rubber band: it shows again, so that the next
                // inverted drawing still erases it.
                if (FRubberShown) InvertRubberBand();
                if (OnDrawCanvas) OnDrawCanvas(this, canvas, cl::TRect{0, 0, GetViewWidth(), GetViewHeight()});
            }
            FFullRepaint = false;
            // A non-rectangular selection being dragged shows as its moving copy only.
            const bool movingShape =
                FMouseCaptured && FHoverSel >= 0 && FGripHeld == 0 && FMoved && !SelectionIsRectangle();
            if (!movingShape) DrawSelectionOutline(this, false);
            if (OnPaint) OnPaint(this);
        }
    } catch (const std::exception&) {
        // A picture that cannot be painted leaves the window as it was; the rest still shows.
    }
    if (FDrawVersion && !HasState(cl::csDesigning)) {
        // The library's name and version in the bottom-right corner, dark on a light box.
        const cl::String text = VersionText();
        canvas->GetFont()->SetColor(cl::clBlack);
        canvas->GetBrush()->SetStyle(cl::bsSolid);
        canvas->GetBrush()->SetColor(cl::clWhite);
        const int32_t tw = canvas->TextWidth(text), th = canvas->TextHeight(text);
        canvas->TextOut(GetViewWidth() - tw - 2, GetViewHeight() - th - 2, text);
    }
    if (!FHintText.empty() && EnableInteractionHints && !HasState(cl::csDesigning)) {
        int32_t hx = FHintPos.x, hy = FHintPos.y;
        IEDrawAlphaHint(canvas, hx, hy, FHintSample, FHintText);
    }
}

bool TVovozIdView::PaletteChanged(bool Foreground) {
    (void)Foreground;
    cl::TCustomForm* main = cl::Application ? cl::Application->GetMainForm() : nullptr;
    if (main && main->GetCanvas()) {
        if (IEDrawDibRealize(FDrawDib, main->GetCanvas()->GetHandle(), false) > 0) Invalidate();
    } else {
        Invalidate();
    }
    return true;
}

void TVovozIdView::InvalidateRectDirty(const cl::TRect& Rect) {
    FBackBufferDirty = true;
    if (HandleAllocated()) win::InvalidateRect(FHandle, &Rect, win::FALSE);
}

void TVovozIdView::SetBackgroundStyle(TIEBackgroundStyle Value) {
    FBackgroundStyle = Value;
    Invalidate();
    FUpdateReason = 4;
    Update();
}

void TVovozIdView::SetWallPaper(cl::TPicture* Value) {
    if (!FWallPaper) FWallPaper = std::make_unique<cl::TPicture>();
    FWallPaper->Assign(Value);
    FUpdateReason = 4;
    Update();
}

void TVovozIdView::SetWallPaperStyle(TIEWallPaperStyle Value) {
    if (Value == FWallPaperStyle) return;
    FWallPaperStyle = Value;
    FUpdateReason = 4;
    Update();
}

void TVovozIdView::SetDrawVersion(bool Value) {
    FDrawVersion = Value;
    Paint();
}

}  // namespace ie
