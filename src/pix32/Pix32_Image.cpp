#include "pix32/Pix32_Image.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "classlib/TypInfo.h"
#include "pix32/Pix32_MicroTiles.h"
#include "pix32/Pix32_System.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace pix32 {

using win::RECT;

namespace {

bool RectEmpty(const RECT& R) { return !(R.left < R.right && R.top < R.bottom); }

// Locks a TThreadPersistent for a scope (released on every path).
class ScopedLock {
public:
    explicit ScopedLock(TThreadPersistent* O) : o_(O) { o_->Lock(); }
    ~ScopedLock() { o_->Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    TThreadPersistent* o_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPaintStages

PPaintStage TPaintStages::Add() {
    FItems.push_back(std::make_unique<TPaintStage>());
    return FItems.back().get();
}

void TPaintStages::Delete(int32_t Index) {
    if (Index < 0 || Index >= Count()) throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    FItems.erase(FItems.begin() + Index);
}

PPaintStage TPaintStages::Items(int32_t Index) {
    if (Index < 0 || Index >= Count()) throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    return FItems[static_cast<size_t>(Index)].get();
}

// ---------------------------------------------------------------------------------------------
// TCustomPaintBox32

TCustomPaintBox32::TCustomPaintBox32(cl::TComponent* AOwner)
    : cl::TCustomControl(AOwner), FBuffer(std::make_unique<TBitmap32>()), FInvalidRects(std::make_unique<TRectList>()) {
    StartupPix32Image();
    FRepaintOptimizer.reset(DefaultRepaintOptimizerClass(FBuffer.get(), FInvalidRects.get()));
    SetBounds(FLeft, FTop, 192, 192);
}

TCustomPaintBox32::~TCustomPaintBox32() {
    FRepaintOptimizer.reset();
    FInvalidRects.reset();
    FBuffer.reset();
}

RECT TCustomPaintBox32::GetViewportRect() { return RECT{0, 0, GetWidth(), GetHeight()}; }

bool TCustomPaintBox32::CustomRepaint() {
    return FRepaintOptimizer && FRepaintOptimizer->Enabled() && !FForceFullRepaint &&
           FRepaintOptimizer->UpdatesAvailable();
}

bool TCustomPaintBox32::InvalidRectsAvailable() { return true; }

void TCustomPaintBox32::DoPrepareInvalidRects() {
    if (FRepaintOptimizer && FRepaintOptimizer->Enabled() && !FForceFullRepaint)
        FRepaintOptimizer->PerformOptimization();
}

void TCustomPaintBox32::DoPaintBuffer() {
    if (FForceFullRepaint) {
        FForceFullRepaint = false;
        FInvalidRects->Clear();
    } else {
        DoPrepareInvalidRects();
    }
    FBufferValid = true;
}

void TCustomPaintBox32::DoPaintGDIOverlay() {
    if (OnGDIOverlay) OnGDIOverlay(this);
}

void TCustomPaintBox32::BufferResized(int32_t, int32_t) {
    if (FRepaintOptimizer && FRepaintOptimizer->Enabled())
        FRepaintOptimizer->BufferResizedHandler(FBuffer->Width(), FBuffer->Height());
}

void TCustomPaintBox32::ForceFullInvalidate() {
    if (FRepaintOptimizer && FRepaintOptimizer->Enabled()) FRepaintOptimizer->Reset();
    FForceFullRepaint = true;
    Invalidate();
}

void TCustomPaintBox32::Invalidate() {
    FBufferValid = false;
    cl::TCustomControl::Invalidate();
}

void TCustomPaintBox32::Loaded() {
    FBufferValid = false;
    cl::TCustomControl::Loaded();
}

void TCustomPaintBox32::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    cl::TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (HasState(cl::csDesigning)) ResizeBuffer();
    FBufferValid = false;
}

void TCustomPaintBox32::Resize() {
    ResizeBuffer();
    FBufferValid = false;
    cl::TCustomControl::Resize();
}

void TCustomPaintBox32::ResizeBuffer() {
    if (!FBuffer) return;
    const RECT v = GetViewportRect();
    const int32_t vw = std::max(0, static_cast<int32_t>(v.right - v.left));
    const int32_t vh = std::max(0, static_cast<int32_t>(v.bottom - v.top));
    const int32_t bw = FBuffer->Width(), bh = FBuffer->Height();
    auto fit = [this](int32_t view, int32_t buf) {
        int32_t n = buf;
        if (buf < view)
            n = view + FBufferOversize;
        else if (view < buf - FBufferOversize)
            n = view;
        return std::max(n, 1);
    };
    const int32_t nw = fit(vw, bw), nh = fit(vh, bh);
    if (nw == bw && nh == bh) return;
    {
        ScopedLock lock(FBuffer.get());
        FBuffer->SetSize(nw, nh);
    }
    BufferResized(bw, bh);
    ForceFullInvalidate();
}

void TCustomPaintBox32::SetRepaintMode(TRepaintMode Value) {
    if (!FRepaintOptimizer) return;
    const bool image = Is<TCustomImage32>();
    if (Value == rmOptimizer && !image) {
        TCustomRepaintOptimizer* o = FRepaintOptimizer.get();
        FBuffer->OnAreaChanged = [o](cl::TObject* Sender, const TRect& Area, uint32_t Info) {
            o->AreaUpdateHandler(Sender, Area, Info);
        };
    } else if (Value == rmDirect && !image) {
        FBuffer->OnAreaChanged = [this](cl::TObject* Sender, const TRect& Area, uint32_t Info) {
            DirectAreaUpdateHandler(Sender, Area, Info);
        };
    } else {
        FBuffer->OnAreaChanged = nullptr;
    }
    FRepaintOptimizer->SetEnabled(Value == rmOptimizer);
    FRepaintMode = Value;
    Invalidate();
}

void TCustomPaintBox32::DirectAreaUpdateHandler(cl::TObject*, const TRect& Area, uint32_t) {
    FInvalidRects->Add(Area);
    if (!(ControlState & cl::csCustomPaint)) Repaint();
}

void TCustomPaintBox32::MouseEnter() {
    FMouseInControl = true;
    if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomPaintBox32::MouseLeave() {
    FMouseInControl = false;
    if (OnMouseLeave) OnMouseLeave(this);
}

void TCustomPaintBox32::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    if ((FOptions & pbFocusOnClick) && CanFocus()) SetFocus();
    cl::TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomPaintBox32::Paint() {
    TCustomRepaintOptimizer* o = FRepaintOptimizer.get();
    const bool opt = o && o->Enabled();
    if (opt) o->BeginPaint();
    if (!FBufferValid) DoPaintBuffer();
    {
        ScopedLock lock(FBuffer.get());
        win::HDC dc = GetCanvas()->GetHandle();
        if (FInvalidRects->Count() > 0) {
            for (int32_t i = 0; i < FInvalidRects->Count(); ++i) {
                const TRect& r = *FInvalidRects->Items(i);
                win::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, FBuffer->Handle(), r.left, r.top,
                            win::SRCCOPY);
            }
        } else {
            const RECT r = GetViewportRect();
            win::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, FBuffer->Handle(), r.left, r.top,
                        win::SRCCOPY);
        }
    }
    DoPaintGDIOverlay();
    if (opt) o->EndPaint();
    FInvalidRects->Clear();
    FForceFullRepaint = false;
}

void TCustomPaintBox32::WMPaint(cl::TMessage& Message) {
    if (CustomRepaint()) {
        if (InvalidRectsAvailable())
            Paint();
        else if (HandleAllocated())
            win::InvalidateRect(GetHandle(), nullptr, win::FALSE);
    }
    PaintHandler(Message);
}

void TCustomPaintBox32::WMPrintClient(cl::TMessage& Message) {
    if (!Message.WParam) return;
    cl::TMessage m{win::WM_PAINT, Message.WParam, 0, 0};
    PaintHandler(m);
}

void TCustomPaintBox32::WMGetDlgCode(cl::TMessage& Message) {
    DefaultHandler(Message);
    if (FOptions & pbWantArrowKeys)
        Message.Result |= win::DLGC_WANTARROWS;
    else
        Message.Result &= ~win::DLGC_WANTARROWS;
}

void TCustomPaintBox32::CMInvalidate(cl::TMessage& Message) {
    if (CustomRepaint() && HandleAllocated())
        win::PostMessageA(GetHandle(), win::WM_PAINT, 0, 0);
    else
        cl::InheritedDispatch(TCustomPaintBox32::StaticClass(), this, Message);
}

void TPaintBox32::DoPaintBuffer() {
    TCustomPaintBox32::DoPaintBuffer();
    if (OnPaintBuffer) OnPaintBuffer(this);
}

// ---------------------------------------------------------------------------------------------
// TCustomImage32

TCustomImage32::TCustomImage32(cl::TComponent* AOwner)
    : TCustomPaintBox32(AOwner), FBitmap(std::make_unique<TBitmap32>()),
      FLayers(std::make_unique<TLayerCollection>(this)), FPaintStages(std::make_unique<TPaintStages>()) {
    ControlStyle = cl::csAcceptsControls | cl::csCaptureMouse | cl::csClickEvents | cl::csOpaque | cl::csDoubleClicks |
                   cl::csReplicatable;
    FBitmap->OnResize = [this](cl::TObject*) { BitmapResized(); };
    FLayers->OnChange = [this](cl::TObject*) { Changed(); };
    FLayers->OnGDIUpdate = [this](cl::TObject*) {
        if (HandleAllocated()) Paint();
    };
    FLayers->OnGetViewportScale = [this](cl::TObject*, float& SX, float& SY) {
        UpdateCache();
        SX = static_cast<float>(FCachedScaleX) / 65536.0f;
        SY = static_cast<float>(FCachedScaleY) / 65536.0f;
    };
    FLayers->OnGetViewportShift = [this](cl::TObject*, float& SX, float& SY) {
        UpdateCache();
        SX = static_cast<float>(FCachedShiftX);
        SY = static_cast<float>(FCachedShiftY);
    };
    FRepaintOptimizer->RegisterLayerCollection(FLayers.get());
    SetRepaintMode(rmFull);
    InitDefaultStages();
}

TCustomImage32::~TCustomImage32() {
    BeginUpdate();
    FPaintStages.reset();
    if (FRepaintOptimizer) FRepaintOptimizer->UnregisterLayerCollection(FLayers.get());
    FLayers.reset();
    FBitmap.reset();
}

void TCustomImage32::SetBitmap(TBitmap32* Value) {
    InvalidateCache();
    FBitmap->Assign(Value);
}

void TCustomImage32::BeginUpdate() { ++FUpdateCount; }

void TCustomImage32::EndUpdate() {
    --FUpdateCount;
    cl::Assert(FUpdateCount >= 0, "Unpaired EndUpdate call");
}

void TCustomImage32::Changed() {
    if (FUpdateCount > 0) return;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TCustomImage32::Invalidate() {
    FBufferValid = false;
    FCacheValid = false;
    TCustomPaintBox32::Invalidate();
}

void TCustomImage32::InvalidateCache() {
    if (FRepaintOptimizer && FRepaintOptimizer->Enabled()) FRepaintOptimizer->Reset();
    FCacheValid = false;
}

void TCustomImage32::BitmapChanged(const TRect&) { Changed(); }

void TCustomImage32::DoInitStages() {
    if (OnInitStages) OnInitStages(this);
}

void TCustomImage32::Loaded() {
    TCustomPaintBox32::Loaded();
    DoInitStages();
}

void TCustomImage32::DoScaleChange() {
    if (OnScaleChange) OnScaleChange(this);
}

void TCustomImage32::SetScaleMode(TScaleMode Value) {
    if (Value == FScaleMode) return;
    InvalidateCache();
    FScaleMode = Value;
    Changed();
}

void TCustomImage32::SetBitmapAlign(TBitmapAlign Value) {
    InvalidateCache();
    FBitmapAlign = Value;
    Changed();
}

void TCustomImage32::SetScale(float Value) {
    if (Value < 0.001f) Value = 0.001f;
    if (Value == FScaleX) return;
    InvalidateCache();
    FScaleX = FScaleY = Value;
    DoScaleChange();
    Changed();
}

void TCustomImage32::SetOffsetHorz(float Value) {
    if (Value == FOffsetHorz) return;
    FOffsetHorz = Value;
    InvalidateCache();
    Changed();
}

void TCustomImage32::SetOffsetVert(float Value) {
    if (Value == FOffsetVert) return;
    FOffsetVert = Value;
    InvalidateCache();
    Changed();
}

win::SIZE TCustomImage32::GetBitmapSize() {
    if (FBitmap->Empty() || GetWidth() == 0 || GetHeight() == 0) return win::SIZE{0, 0};
    const RECT v = GetViewportRect();
    const int32_t vw = v.right - v.left, vh = v.bottom - v.top;
    const int32_t bw = FBitmap->Width(), bh = FBitmap->Height();
    auto rnd = [](double x) { return static_cast<int32_t>(cl::Round(x)); };
    TScaleMode mode = FScaleMode;
    if (mode == smOptimal)
        mode = (vw < bw || vh < bh) ? smResize : smNormal;
    else if (mode == smOptimalScaled)
        mode = (vw < rnd(static_cast<double>(bw) * FScaleX) || vh < rnd(static_cast<double>(bh) * FScaleY)) ? smResize
                                                                                                            : smScale;
    win::SIZE s{0, 0};
    switch (mode) {
        case smNormal: s = win::SIZE{bw, bh}; break;
        case smStretch: s = win::SIZE{vw, vh}; break;
        case smScale:
            s = win::SIZE{rnd(static_cast<double>(bw) * FScaleX), rnd(static_cast<double>(bh) * FScaleY)};
            break;
        default: {
            const float rx = static_cast<float>(vw) / static_cast<float>(bw);
            const float ry = static_cast<float>(vh) / static_cast<float>(bh);
            if (rx >= ry)
                s = win::SIZE{rnd(static_cast<double>(bw) * ry), vh};
            else
                s = win::SIZE{vw, rnd(static_cast<double>(bh) * rx)};
            break;
        }
    }
    if (s.cx < 1) s.cx = 0;
    if (s.cy < 1) s.cy = 0;
    return s;
}

RECT TCustomImage32::GetBitmapRect() {
    if (FBitmap->Empty()) return RECT{0, 0, 0, 0};
    const win::SIZE s = GetBitmapSize();
    RECT r{0, 0, s.cx, s.cy};
    int32_t dx = 0, dy = 0;
    if (FBitmapAlign == baCenter) {
        dx = (GetWidth() - s.cx) / 2;
        dy = (GetHeight() - s.cy) / 2;
    } else if (FBitmapAlign == baCustom) {
        dx = static_cast<int32_t>(cl::Round(FOffsetHorz));
        dy = static_cast<int32_t>(cl::Round(FOffsetVert));
    }
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}

void TCustomImage32::SetCacheFor(const RECT& R) {
    FCachedBitmapRect = R;
    if (FBitmap->Empty() || R.right - R.left < 1 || R.bottom - R.top < 1) {
        FCachedScaleX = FCachedScaleY = 0x10000;
        FCachedShiftX = FCachedShiftY = 0;
        FCachedRecScaleX = FCachedRecScaleY = 0x10000;
        return;
    }
    const int32_t bw = FBitmap->Width(), bh = FBitmap->Height();
    FCachedShiftX = R.left;
    FCachedShiftY = R.top;
    FCachedScaleX = win::MulDiv(R.right - R.left, 0x10000, bw);
    FCachedScaleY = win::MulDiv(R.bottom - R.top, 0x10000, bh);
    FCachedRecScaleX = win::MulDiv(bw, 0x10000, R.right - R.left);
    FCachedRecScaleY = win::MulDiv(bh, 0x10000, R.bottom - R.top);
}

void TCustomImage32::UpdateCache() {
    if (FCacheValid) return;
    // An empty bitmap, or a rectangle with a side below 1 (a zero-sized control), gives the
    // neutral values.
    SetCacheFor(GetBitmapRect());
    FCacheValid = true;
}

win::POINT TCustomImage32::BitmapToControl(const win::POINT& P) {
    UpdateCache();
    // 32-bit products, as the original arithmetic wraps; the division truncates toward zero.
    auto map = [](int32_t v, int32_t scale, int32_t shift) {
        const int32_t prod = static_cast<int32_t>(static_cast<uint32_t>(v) * static_cast<uint32_t>(scale));
        return static_cast<int32_t>(static_cast<uint32_t>(prod / 65536) + static_cast<uint32_t>(shift));
    };
    return win::POINT{map(P.x, FCachedScaleX, FCachedShiftX), map(P.y, FCachedScaleY, FCachedShiftY)};
}

bool TCustomImage32::CanAutoSize(int& NewWidth, int& NewHeight) {
    InvalidateCache();
    int32_t w = FBitmap->Width(), h = FBitmap->Height();
    if (FScaleMode == smScale) {
        w = static_cast<int32_t>(cl::Round(static_cast<double>(w) * FScaleX));
        h = static_cast<int32_t>(cl::Round(static_cast<double>(h) * FScaleY));
    }
    if (HasState(cl::csDesigning) && (w <= 0 || h <= 0)) return true;
    if (GetAlign() == cl::alNone || GetAlign() == cl::alLeft || GetAlign() == cl::alRight) NewWidth = w;
    if (GetAlign() == cl::alNone || GetAlign() == cl::alTop || GetAlign() == cl::alBottom) NewHeight = h;
    return true;
}

void TCustomImage32::BitmapResized() {
    if (GetAutoSize()) {
        int32_t w = FBitmap->Width(), h = FBitmap->Height();
        if (FScaleMode == smScale) {
            w = static_cast<int32_t>(cl::Round(static_cast<double>(w) * FScaleX));
            h = static_cast<int32_t>(cl::Round(static_cast<double>(h) * FScaleY));
        }
        if (w > 0 && h > 0) SetBounds(GetLeft(), GetTop(), w, h);
    }
    if (FUpdateCount != 0 && OnBitmapResize) OnBitmapResize(this);
    InvalidateCache();
    ForceFullInvalidate();
}

void TCustomImage32::SetupBitmap(bool DoClear, TColor32 ClearColor) {
    FBitmap->BeginUpdate();
    try {
        const RECT v = GetViewportRect();
        FBitmap->SetSize(std::max<int32_t>(0, v.right - v.left), std::max<int32_t>(0, v.bottom - v.top));
        if (DoClear) FBitmap->ClearToColor(ClearColor);
    } catch (...) {
        FBitmap->EndUpdate();
        throw;
    }
    FBitmap->EndUpdate();
    InvalidateCache();
    Changed();
}

void TCustomImage32::SetRepaintMode(TRepaintMode Value) {
    TCustomPaintBox32::SetRepaintMode(Value);
    if (!FBitmap) return;
    switch (Value) {
        case rmFull:
            FBitmap->OnAreaChanged = nullptr;
            FBitmap->OnChange = [this](cl::TObject* Sender) { BitmapChangeHandler(Sender); };
            break;
        case rmDirect:
            FBitmap->OnChange = nullptr;
            FBitmap->OnAreaChanged = [this](cl::TObject* Sender, const TRect& Area, uint32_t Info) {
                BitmapAreaChangeHandler(Sender, Area, Info, false);
            };
            break;
        case rmOptimizer:
            FBitmap->OnChange = nullptr;
            FBitmap->OnAreaChanged = [this](cl::TObject* Sender, const TRect& Area, uint32_t Info) {
                BitmapAreaChangeHandler(Sender, Area, Info, true);
            };
            break;
    }
}

void TCustomImage32::BitmapChangeHandler(cl::TObject*) {
    if (FRepaintOptimizer) FRepaintOptimizer->Reset();
    BitmapChanged(FBitmap->BoundsRect());
}

void TCustomImage32::BitmapAreaChangeHandler(cl::TObject* Sender, const TRect& Area, uint32_t Info, bool Optimizer) {
    if (Sender != FBitmap.get()) return;
    const int32_t width = (FBitmap->Resampler() ? static_cast<int32_t>(FBitmap->Resampler()->GetWidth()) : 0) + 1;
    TRect a = Area;
    InflateArea(a, width, width);
    const win::POINT tl = BitmapToControl(win::POINT{a.left, a.top});
    const win::POINT br = BitmapToControl(win::POINT{a.right, a.bottom});
    TRect mapped{tl.x, tl.y, br.x, br.y};
    std::vector<TRect> rects;
    if (FBitmapAlign == baTile) {
        const int32_t tw = FCachedBitmapRect.right, th = FCachedBitmapRect.bottom;
        if (tw > 0 && th > 0)
            for (int32_t j = 0; j <= FBuffer->Height() / th; ++j)
                for (int32_t i = 0; i <= FBuffer->Width() / tw; ++i) {
                    TRect r = mapped;
                    OffsetRectBy(r, i * tw, j * th);
                    rects.push_back(r);
                }
    } else {
        rects.push_back(mapped);
    }
    if (Optimizer) {
        for (const TRect& r : rects) FRepaintOptimizer->AreaUpdateHandler(this, r, AreaInfoRect);
        BitmapChanged(Area);
        return;
    }
    (void)Info;
    for (const TRect& r : rects) FInvalidRects->Add(r);
    if (FUpdateCount == 0) {
        if (!(ControlState & cl::csCustomPaint)) Repaint();
        if (OnChange) OnChange(this);
    }
}

void TCustomImage32::InitDefaultStages() {
    struct S {
        uint32_t kind;
        bool design, run;
        uint32_t parameter;
    };
    static const S stages[] = {{PST_CLEAR_BACKGND, true, true, 0},
                               {PST_CONTROL_FRAME, true, false, 0},
                               {PST_DRAW_BITMAP, true, true, 0},
                               {PST_BITMAP_FRAME, true, false, 0},
                               {PST_DRAW_LAYERS, true, true, loVisible}};
    for (const S& s : stages) {
        PPaintStage p = FPaintStages->Add();
        p->Kind = s.kind;
        p->DesignTime = s.design;
        p->RunTime = s.run;
        p->Parameter = s.parameter;
    }
}

namespace {

TPaintStageHandler HandlerOfKind(uint32_t Kind) {
    switch (Kind) {
        case PST_CUSTOM: return &TCustomImage32::ExecCustom;
        case PST_CLEAR_BUFFER: return &TCustomImage32::ExecClearBuffer;
        case PST_CLEAR_BACKGND: return &TCustomImage32::ExecClearBackgnd;
        case PST_DRAW_BITMAP: return &TCustomImage32::ExecDrawBitmap;
        case PST_DRAW_LAYERS: return &TCustomImage32::ExecDrawLayers;
        case PST_CONTROL_FRAME: return &TCustomImage32::ExecControlFrame;
        case PST_BITMAP_FRAME: return &TCustomImage32::ExecBitmapFrame;
        default: return nullptr;
    }
}

}  // namespace

void TCustomImage32::DoPaintBuffer() {
    TCustomRepaintOptimizer* o = FRepaintOptimizer.get();
    const bool opt = o && o->Enabled();
    if (opt) o->BeginPaintBuffer();
    UpdateCache();
    FPaintStageHandlers.clear();
    FPaintStageNum.clear();
    FPaintStageHandlers.reserve(static_cast<size_t>(FPaintStages->Count()));
    const bool designing = HasState(cl::csDesigning);
    for (int32_t i = 0; i < FPaintStages->Count(); ++i) {
        const TPaintStage* s = FPaintStages->Items(i);
        if (!((s->DesignTime && designing) || (s->RunTime && !designing))) continue;
        if (TPaintStageHandler h = HandlerOfKind(s->Kind)) {
            FPaintStageHandlers.push_back(h);
            FPaintStageNum.push_back(i);
        }
    }
    TBitmap32* buf = FBuffer.get();
    const RECT viewport = GetViewportRect();
    buf->BeginUpdate();
    try {
        auto runAll = [&] {
            for (size_t k = 0; k < FPaintStageHandlers.size(); ++k)
                (this->*FPaintStageHandlers[k])(buf, FPaintStageNum[k]);
        };
        if (FInvalidRects->Count() > 0) {
            for (int32_t j = 0; j < FInvalidRects->Count(); ++j) {
                buf->SetClipRect(*FInvalidRects->Items(j));
                runAll();
            }
            buf->SetClipRect(viewport);
        } else {
            buf->SetClipRect(viewport);
            runAll();
        }
    } catch (...) {
        buf->SetClipRect(viewport);
        buf->EndUpdate();
        throw;
    }
    buf->EndUpdate();
    if (opt) o->EndPaintBuffer();
    FBufferValid = true;
}

bool TCustomImage32::InvalidRectsAvailable() {
    DoPrepareInvalidRects();
    return FInvalidRects->Count() > 0;
}

void TCustomImage32::DoPaintGDIOverlay() {
    for (int32_t i = 0; i < FLayers->Count(); ++i) {
        TCustomLayer* l = FLayers->Items(i);
        if (l->LayerOptions() & loGdiOverlay) l->PaintGDI(GetCanvas());
    }
    TCustomPaintBox32::DoPaintGDIOverlay();
}

void TCustomImage32::ExecClearBuffer(TBitmap32* Dest, int32_t) { Dest->ClearToColor(ColorToColor32(GetColor())); }

void TCustomImage32::ExecClearBackgnd(TBitmap32* Dest, int32_t) {
    const TColor32 c = ColorToColor32(GetColor());
    if (FInvalidRects->Count() > 0) {
        for (int32_t i = 0; i < FInvalidRects->Count(); ++i) Dest->FillRectClipped(*FInvalidRects->Items(i), c);
        return;
    }
    if (FBitmap->Empty() || FBitmap->DrawMode() != dmOpaque) {
        Dest->ClearToColor(c);
        return;
    }
    const RECT& b = FCachedBitmapRect;
    const int32_t w = GetWidth(), h = GetHeight();
    if (b.left <= 0 && b.right >= w && b.top <= 0 && (b.bottom >= h || FBitmapAlign == baTile)) return;
    Dest->FillRectClipped(0, 0, w, b.top, c);
    Dest->FillRectClipped(0, b.bottom, w, h, c);
    Dest->FillRectClipped(0, b.top, b.left, b.bottom, c);
    Dest->FillRectClipped(b.right, b.top, w, b.bottom, c);
}

void TCustomImage32::ExecDrawBitmap(TBitmap32* Dest, int32_t) {
    if (FBitmap->Empty() || RectEmpty(FCachedBitmapRect)) return;
    ScopedLock lock(FBitmap.get());
    if (FBitmapAlign == baTile) {
        const int32_t tw = FCachedBitmapRect.right, th = FCachedBitmapRect.bottom;
        if (tw <= 0 || th <= 0) return;
        for (int32_t j = 0; j <= Dest->Height() / th; ++j)
            for (int32_t i = 0; i <= Dest->Width() / tw; ++i) {
                TRect r = FCachedBitmapRect;
                OffsetRectBy(r, i * tw, j * th);
                FBitmap->DrawTo(Dest, r);
            }
    } else {
        FBitmap->DrawTo(Dest, FCachedBitmapRect);
    }
}

void TCustomImage32::ExecDrawLayers(TBitmap32* Dest, int32_t StageNum) {
    const uint32_t mask = FPaintStages->Items(StageNum)->Parameter;
    for (int32_t i = 0; i < FLayers->Count(); ++i) {
        TCustomLayer* l = FLayers->Items(i);
        if (l->LayerOptions() & mask) l->DoPaint(Dest);
    }
}

void TCustomImage32::ExecControlFrame(TBitmap32* Dest, int32_t) {
    ClassicDrawFocusRect(Dest->Handle(), RECT{0, 0, GetWidth(), GetHeight()});
}

void TCustomImage32::ExecBitmapFrame(TBitmap32* Dest, int32_t) {
    ClassicDrawFocusRect(Dest->Canvas()->GetHandle(), FCachedBitmapRect);
}

void TCustomImage32::ExecCustom(TBitmap32* Dest, int32_t StageNum) {
    if (OnPaintStage) OnPaintStage(this, Dest, static_cast<uint32_t>(StageNum));
}

void TCustomImage32::PaintTo(TBitmap32* Dest, const RECT& DestRect) {
    const TRepaintMode old = FRepaintMode;
    SetRepaintMode(rmFull);
    SetCacheFor(DestRect);
    FCacheValid = true;
    FPaintToMode = true;
    try {
        for (int32_t i = 0; i < FPaintStages->Count(); ++i) {
            const TPaintStage* s = FPaintStages->Items(i);
            if (!s->RunTime) continue;
            if (TPaintStageHandler h = HandlerOfKind(s->Kind)) (this->*h)(Dest, i);
        }
    } catch (...) {
        FPaintToMode = false;
        FCacheValid = false;
        SetRepaintMode(old);
        throw;
    }
    FPaintToMode = false;
    FCacheValid = false;
    SetRepaintMode(old);
}

void TCustomImage32::DoMouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y,
                                 TCustomLayer* Layer) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y, Layer);
}

void TCustomImage32::DoMouseMove(cl::TShiftState Shift, int32_t X, int32_t Y, TCustomLayer* Layer) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y, Layer);
}

void TCustomImage32::DoMouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y,
                               TCustomLayer* Layer) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y, Layer);
}

void TCustomImage32::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    // The control's own mouse events (which carry the layer) hide the class library's.
    TCustomPaintBox32::MouseDown(Button, Shift, X, Y);
    if (TabStop && CanFocus()) SetFocus();
    TCustomLayer* layer = FLayers->MouseEvents() ? FLayers->MouseDown(Button, Shift, X, Y) : nullptr;
    if (Button == cl::mbLeft || FLayers->MouseListener()) SetMouseCapture(true);
    DoMouseDown(Button, Shift, X, Y, layer);
}

void TCustomImage32::MouseMove(cl::TShiftState Shift, int X, int Y) {
    TCustomPaintBox32::MouseMove(Shift, X, Y);
    TCustomLayer* layer = FLayers->MouseEvents() ? FLayers->MouseMove(Shift, X, Y) : nullptr;
    DoMouseMove(Shift, X, Y, layer);
}

void TCustomImage32::MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    TCustomPaintBox32::MouseUp(Button, Shift, X, Y);
    TCustomLayer* layer = FLayers->MouseEvents() ? FLayers->MouseUp(Button, Shift, X, Y) : nullptr;
    if (Button == cl::mbLeft && !FLayers->MouseListener()) SetMouseCapture(false);
    DoMouseUp(Button, Shift, X, Y, layer);
}

void TCustomImage32::MouseLeave() {
    if (FLayers->MouseEvents() && !FLayers->MouseListener() && cl::Screen) cl::Screen->SetCursor(cl::crDefault);
    TCustomPaintBox32::MouseLeave();
}

void TCustomImage32::Resize() {
    InvalidateCache();
    TCustomPaintBox32::Resize();
}

// ---------------------------------------------------------------------------------------------
// TIVScrollProperties

int32_t TIVScrollProperties::Increment() const { return ImgView ? ImgView->FHScroll->Increment() : 0; }

void TIVScrollProperties::SetIncrement(int32_t Value) {
    if (!ImgView) return;
    const auto v = static_cast<uint16_t>(std::clamp(Value, 0, 65535));
    ImgView->FHScroll->SetIncrement(v);
    ImgView->FVScroll->SetIncrement(v);
}

int32_t TIVScrollProperties::Size() const { return ImgView ? static_cast<int32_t>(ImgView->FScrollBarSize) : 0; }

void TIVScrollProperties::SetSize(int32_t Value) {
    if (!ImgView) return;
    ImgView->FScrollBarSize = static_cast<uint32_t>(std::max(Value, 0));
    ImgView->AlignAll();
    ImgView->UpdateImage();
}

TScrollBarVisibility TIVScrollProperties::Visibility() const {
    return ImgView ? ImgView->FScrollBarVisibility : svAlways;
}

void TIVScrollProperties::SetVisibility(TScrollBarVisibility Value) {
    if (!ImgView || Value == ImgView->FScrollBarVisibility) return;
    ImgView->FScrollBarVisibility = Value;
    ImgView->Resize();
}

// ---------------------------------------------------------------------------------------------
// TCustomImgView32

TCustomImgView32::TCustomImgView32(cl::TComponent* AOwner) : TCustomImage32(AOwner) {
    FHScroll = new TCustomRangeBar(this);
    FVScroll = new TCustomRangeBar(this);
    for (TCustomRangeBar* b : {FHScroll, FVScroll}) {
        b->SetParent(this);
        b->SetBorderStyle(cl::bsNone);
        b->SetCentered(true);
        b->OnUserChange = [this](cl::TObject* Sender) { ScrollHandler(Sender); };
    }
    FVScroll->SetKind(sbVertical);
    FCentered = true;
    SetScaleMode(smScale);
    SetBitmapAlign(baCustom);
    FScrollBars = std::make_unique<TIVScrollProperties>();
    FScrollBars->ImgView = this;
    FScrollBars->Master = FHScroll;
    FScrollBars->Slave = FVScroll;
    AlignAll();
}

TCustomImgView32::~TCustomImgView32() { FScrollBars.reset(); }

RECT TCustomImgView32::GetViewportRect() {
    const int32_t s = GetScrollBarSize();
    return RECT{0, 0, GetWidth() - s, GetHeight() - s};
}

bool TCustomImgView32::GetScrollBarsVisible() {
    if (!FScrollBars || !FHScroll || !FVScroll) return true;
    switch (FScrollBarVisibility) {
        case svAlways: return true;
        case svHidden: return false;
        default:
            return FHScroll->EffectiveWindow() < FHScroll->Range() || FVScroll->EffectiveWindow() < FVScroll->Range();
    }
}

int32_t TCustomImgView32::GetScrollBarSize() {
    if (!GetScrollBarsVisible()) return 0;
    return FScrollBarSize != 0 ? static_cast<int32_t>(FScrollBarSize) : win::GetSystemMetrics(win::SM_CYHSCROLL);
}

void TCustomImgView32::AlignAll() {
    if (!FHScroll || !FVScroll) return;
    const RECT v = GetViewportRect();
    const bool vis = GetScrollBarsVisible();
    FHScroll->SetBoundsRect(RECT{v.left, v.bottom, v.right, GetHeight()});
    FVScroll->SetBoundsRect(RECT{v.right, v.top, GetWidth(), v.bottom});
    FHScroll->SetVisible(vis);
    FVScroll->SetVisible(vis);
    FHScroll->Repaint();
    FVScroll->Repaint();
}

bool TCustomImgView32::IsSizeGripVisible() {
    switch (FSizeGrip) {
        case sgAlways: return true;
        case sgNone: return false;
        default: {
            if (GetAlign() != cl::alClient) return false;
            for (cl::TWinControl* p = GetParent(); p; p = p->GetParent()) {
                if (p->Is<cl::TCustomForm>()) return true;
                if (p->GetAlign() != cl::alClient) return false;
            }
            return true;
        }
    }
}

RECT TCustomImgView32::GetSizeGripRect() {
    const int32_t s = GetScrollBarSize();
    const RECT c = GetClientRect();
    return RECT{c.right - s, c.bottom - s, c.right, c.bottom};
}

void TCustomImgView32::PaintSizeGrip() {
    if (!HandleAllocated()) return;
    const RECT r = GetSizeGripRect();
    if (RectEmpty(r)) return;
    win::HDC dc = GetCanvas()->GetHandle();
    if (IsSizeGripVisible()) {
        if (UseThemes && DrawThemeBackground) {
            win::HBRUSH b = win::CreateSolidBrush(cl::ControlColorToRGB(cl::clBtnFace));
            win::FillRect(dc, &r, b);
            win::DeleteObject(b);
            DrawThemeBackground(ScrollBarTheme, dc, SBP_SIZEBOX, SZB_RIGHTALIGN, &r, nullptr);
        } else {
            ClassicDrawFrameControl(dc, r, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
        }
    } else {
        win::HBRUSH b = win::CreateSolidBrush(cl::ControlColorToRGB(cl::clBtnFace));
        win::FillRect(dc, &r, b);
        win::DeleteObject(b);
    }
}

void TCustomImgView32::Paint() {
    PaintSizeGrip();
    TCustomImage32::Paint();
}

void TCustomImgView32::ScrollHandler(cl::TObject* Sender) {
    if (FDisableScrollUpdate) return;
    if (Sender && Sender->Is<cl::TControl>()) static_cast<cl::TControl*>(Sender)->Repaint();
    UpdateImage();
    DoScroll();
    Repaint();
}

void TCustomImgView32::DoScroll() {
    if (OnScroll) OnScroll(this);
}

void TCustomImgView32::ScrollToCenter(int32_t X, int32_t Y) {
    FDisableScrollUpdate = true;
    try {
        AlignAll();
        const RECT v = GetViewportRect();
        const float vw = static_cast<float>(v.right - v.left), vh = static_cast<float>(v.bottom - v.top);
        const float so = static_cast<float>(cl::Round(static_cast<double>(FOverSize) * FScaleX));
        FHScroll->SetPosition(static_cast<float>(X) * FScaleX - vw / 2 + so);
        FVScroll->SetPosition(static_cast<float>(Y) * FScaleX - vh / 2 + so);
    } catch (...) {
        FDisableScrollUpdate = false;
        throw;
    }
    FDisableScrollUpdate = false;
    UpdateImage();
}

void TCustomImgView32::UpdateScrollBars() {
    if (!FHScroll || !FVScroll) return;
    const win::SIZE sz = GetBitmapSize();
    const int32_t extra = static_cast<int32_t>(cl::Round(2.0 * FOverSize * FScaleX));
    FHScroll->SetRange(extra + sz.cx);
    FVScroll->SetRange(extra + sz.cy);
    if (FScrollBarVisibility == svAuto) AlignAll();
}

void TCustomImgView32::UpdateImage() {
    if (!FHScroll || !FVScroll) return;
    const win::SIZE sz = GetBitmapSize();
    const RECT v = GetViewportRect();
    const int32_t vw = v.right - v.left, vh = v.bottom - v.top;
    const float so = static_cast<float>(cl::Round(static_cast<double>(FOverSize) * FScaleX));
    BeginUpdate();
    try {
        if (!FCentered) {
            SetOffsetHorz(so - FHScroll->Position());
            SetOffsetVert(so - FVScroll->Position());
        } else {
            if (vw > sz.cx + 2 * so)
                SetOffsetHorz(static_cast<float>(vw - sz.cx) / 2);
            else
                SetOffsetHorz(so - FHScroll->Position());
            if (vh > sz.cy + 2 * so)
                SetOffsetVert(static_cast<float>(vh - sz.cy) / 2);
            else
                SetOffsetVert(so - FVScroll->Position());
        }
        InvalidateCache();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    Changed();
}

void TCustomImgView32::RecenterView() {
    InvalidateCache();
    if (FHScroll) FHScroll->SetCentered(FCentered);
    if (FVScroll) FVScroll->SetCentered(FCentered);
    UpdateScrollBars();
    UpdateImage();
    if (FCentered)
        ScrollToCenter(FBitmap->Width() / 2, FBitmap->Height() / 2);
    else
        ScrollToCenter(0, 0);
}

void TCustomImgView32::SetCentered(bool Value) {
    FCentered = Value;
    RecenterView();
}

void TCustomImgView32::SetOverSize(int32_t Value) {
    if (Value == FOverSize) return;
    FOverSize = Value;
    Invalidate();
}

void TCustomImgView32::SetSizeGrip(TSizeGripStyle Value) {
    if (Value == FSizeGrip) return;
    FSizeGrip = Value;
    Invalidate();
}

void TCustomImgView32::SetScrollBars(TIVScrollProperties* Value) {
    if (!Value || Value == FScrollBars.get()) return;
    FScrollBars->SetColor(Value->Color());
    FScrollBars->SetBackgnd(Value->Backgnd());
    FScrollBars->SetButtonSize(Value->ButtonSize());
    FScrollBars->SetHandleColor(Value->HandleColor());
    FScrollBars->SetButtonColor(Value->ButtonColor());
    FScrollBars->SetHighLightColor(Value->HighLightColor());
    FScrollBars->SetShadowColor(Value->ShadowColor());
    FScrollBars->SetBorderColor(Value->BorderColor());
    FScrollBars->SetShowArrows(Value->ShowArrows());
    FScrollBars->SetShowHandleGrip(Value->ShowHandleGrip());
    FScrollBars->SetStyle(Value->Style());
    FScrollBars->SetIncrement(Value->Increment());
    FScrollBars->SetSize(Value->Size());
    FScrollBars->SetVisibility(Value->Visibility());
}

void TCustomImgView32::SetScaleMode(TScaleMode Value) {
    TCustomImage32::SetScaleMode(Value);
    RecenterView();
}

void TCustomImgView32::BitmapResized() {
    TCustomImage32::BitmapResized();
    UpdateScrollBars();
    if (FCentered) {
        ScrollToCenter(FBitmap->Width() / 2, FBitmap->Height() / 2);
    } else {
        FHScroll->SetPosition(0);
        FVScroll->SetPosition(0);
        UpdateImage();
    }
}

void TCustomImgView32::DoScaleChange() {
    TCustomImage32::DoScaleChange();
    InvalidateCache();
    UpdateScrollBars();
    UpdateImage();
    Invalidate();
}

void TCustomImgView32::Resize() {
    AlignAll();
    PaintSizeGrip();
    InvalidateCache();
    UpdateScrollBars();
    UpdateImage();
    Invalidate();
    TCustomImage32::Resize();
}

void TCustomImgView32::Loaded() {
    AlignAll();
    Invalidate();
    UpdateScrollBars();
    if (FCentered) ScrollToCenter(FBitmap->Width() / 2, FBitmap->Height() / 2);
    TCustomImage32::Loaded();
}

void TCustomImgView32::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    if (IsSizeGripVisible() && GetOwner() && GetOwner()->Is<cl::TCustomForm>()) {
        const RECT g = GetSizeGripRect();
        if (X >= g.left && X < g.right && Y >= g.top && Y < g.bottom) {
            auto* form = static_cast<cl::TCustomForm*>(GetOwner());
            cl::Application->ProcessMessages();
            win::ReleaseCapture();
            win::POINT p = ClientToScreen(win::POINT{X, Y});
            win::SendMessageA(form->GetHandle(), win::WM_NCLBUTTONDOWN, static_cast<uintptr_t>(win::HTBOTTOMRIGHT),
                              static_cast<intptr_t>(win::MAKELPARAM(p.x, p.y)));
            return;
        }
    }
    TCustomImage32::MouseDown(Button, Shift, X, Y);
}

void TCustomImgView32::MouseMove(cl::TShiftState Shift, int X, int Y) {
    TCustomImage32::MouseMove(Shift, X, Y);
    if (IsSizeGripVisible()) {
        const RECT g = GetSizeGripRect();
        if (X >= g.left && X < g.right && Y >= g.top && Y < g.bottom && cl::Screen)
            cl::Screen->SetCursor(cl::crSizeNWSE);
    }
}

// ---------------------------------------------------------------------------------------------
// Start-up: message handlers, published properties, registered classes

namespace {

using cl::BoolProp;
using cl::EnumProp;
using cl::FloatProp;

}  // namespace

void StartupPix32Image() {
    static std::once_flag once;
    std::call_once(once, [] {
        StartupPix32RangeBars();
        const cl::TClass& P = TCustomPaintBox32::StaticClass();
        cl::RegisterMessageHandler(
            P, win::WM_PAINT, [](cl::TObject* s, cl::TMessage& m) { static_cast<TCustomPaintBox32*>(s)->WMPaint(m); });
        cl::RegisterMessageHandler(P, win::WM_PRINTCLIENT, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TCustomPaintBox32*>(s)->WMPrintClient(m);
        });
        cl::RegisterMessageHandler(P, win::WM_ERASEBKGND, [](cl::TObject*, cl::TMessage& m) { m.Result = 1; });
        cl::RegisterMessageHandler(P, win::WM_GETDLGCODE, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TCustomPaintBox32*>(s)->WMGetDlgCode(m);
        });
        cl::RegisterMessageHandler(P, cl::CM_INVALIDATE, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TCustomPaintBox32*>(s)->CMInvalidate(m);
        });
        cl::RegisterMessageHandler(P, cl::CM_MOUSEENTER, [](cl::TObject* s, cl::TMessage&) {
            static_cast<TCustomPaintBox32*>(s)->MouseEnter();
        });
        cl::RegisterMessageHandler(P, cl::CM_MOUSELEAVE, [](cl::TObject* s, cl::TMessage&) {
            static_cast<TCustomPaintBox32*>(s)->MouseLeave();
        });

        const std::vector<cl::String> repaintNames{"rmFull", "rmDirect", "rmOptimizer"};
        cl::DeclarePublished(P, {EnumProp<TCustomPaintBox32, TRepaintMode>(
                                    "RepaintMode", "TRepaintMode", &TCustomPaintBox32::RepaintMode,
                                    &TCustomPaintBox32::SetRepaintMode, rmFull, repaintNames)});

        cl::TPropInfo bitmap;
        bitmap.Name = "Bitmap";
        bitmap.Kind = cl::tkClass;
        bitmap.TypeName = "TBitmap32";
        bitmap.GetObject = [](const cl::TObject* o) -> cl::TObject* {
            return static_cast<const TCustomImage32*>(o)->Bitmap();
        };
        bitmap.SetObject = [](cl::TObject* o, cl::TObject* v) {
            static_cast<TCustomImage32*>(o)->SetBitmap(v && v->Is<TBitmap32>() ? static_cast<TBitmap32*>(v) : nullptr);
        };
        const cl::TClass& I = TCustomImage32::StaticClass();
        cl::DeclarePublished(
            I, {bitmap,
                EnumProp<TCustomImage32, TBitmapAlign>("BitmapAlign", "TBitmapAlign", &TCustomImage32::BitmapAlign,
                                                       &TCustomImage32::SetBitmapAlign, baTopLeft,
                                                       {"baTopLeft", "baCenter", "baTile", "baCustom"}),
                FloatProp<TCustomImage32>("Scale", &TCustomImage32::Scale, &TCustomImage32::SetScale),
                EnumProp<TCustomImage32, TScaleMode>(
                    "ScaleMode", "TScaleMode", &TCustomImage32::ScaleMode, &TCustomImage32::SetScaleMode, smNormal,
                    {"smNormal", "smStretch", "smScale", "smResize", "smOptimal", "smOptimalScaled"})});

        cl::DeclarePublished(
            TIVScrollProperties::StaticClass(),
            {cl::OrdProp<TIVScrollProperties, int32_t>("Increment", cl::tkInteger, "Integer",
                                                       &TIVScrollProperties::Increment,
                                                       &TIVScrollProperties::SetIncrement, 8),
             cl::OrdProp<TIVScrollProperties, int32_t>("Size", cl::tkInteger, "Integer", &TIVScrollProperties::Size,
                                                       &TIVScrollProperties::SetSize, 0),
             EnumProp<TIVScrollProperties, TScrollBarVisibility>(
                 "Visibility", "TScrollBarVisibility", &TIVScrollProperties::Visibility,
                 &TIVScrollProperties::SetVisibility, svAlways, {"svAlways", "svHidden", "svAuto"})});

        cl::TPropInfo scrollBars;
        scrollBars.Name = "ScrollBars";
        scrollBars.Kind = cl::tkClass;
        scrollBars.TypeName = "TIVScrollProperties";
        scrollBars.GetObject = [](const cl::TObject* o) -> cl::TObject* {
            return static_cast<const TCustomImgView32*>(o)->ScrollBars();
        };
        scrollBars.SetObject = [](cl::TObject* o, cl::TObject* v) {
            static_cast<TCustomImgView32*>(o)->SetScrollBars(
                v && v->Is<TIVScrollProperties>() ? static_cast<TIVScrollProperties*>(v) : nullptr);
        };
        cl::DeclarePublished(
            TCustomImgView32::StaticClass(),
            {BoolProp<TCustomImgView32>("Centered", &TCustomImgView32::Centered, &TCustomImgView32::SetCentered, true),
             cl::OrdProp<TCustomImgView32, int32_t>("OverSize", cl::tkInteger, "Integer", &TCustomImgView32::OverSize,
                                                    &TCustomImgView32::SetOverSize, 0),
             scrollBars,
             EnumProp<TCustomImgView32, TSizeGripStyle>("SizeGrip", "TSizeGripStyle", &TCustomImgView32::SizeGrip,
                                                        &TCustomImgView32::SetSizeGrip, sgAuto,
                                                        {"sgAuto", "sgNone", "sgAlways"})});
        cl::RegisterClasses({&TCustomPaintBox32::StaticClass(), &TPaintBox32::StaticClass(),
                             &TCustomImage32::StaticClass(), &TImage32::StaticClass(), &TCustomImgView32::StaticClass(),
                             &TImgView32::StaticClass()});
    });
}

}  // namespace pix32
