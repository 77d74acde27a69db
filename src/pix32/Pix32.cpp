#include "pix32/Pix32.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "classlib/Jpeg.h"
#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_LowLevel.h"
#include "pix32/Pix32_Math.h"
#include "pix32/Pix32_Resamplers.h"
#include "platform/parallel.h"
#include "platform/user.h"

namespace pix32 {

// ---------------------------------------------------------------------------------------------
// TNotifiablePersistent

void TNotifiablePersistent::Changed() {
    if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TNotifiablePersistent::BeginUpdate() { ++FUpdateCount; }

void TNotifiablePersistent::EndUpdate() {
    cl::Assert(FUpdateCount > 0, "Unpaired TThreadPersistent.EndUpdate");
    --FUpdateCount;
}

// ---------------------------------------------------------------------------------------------
// TThreadPersistent

void TThreadPersistent::Lock() {
    FLockCount.fetch_add(1);
    FLock.lock();
}

void TThreadPersistent::Unlock() {
    FLock.unlock();
    FLockCount.fetch_sub(1);
}

// ---------------------------------------------------------------------------------------------
// TCustomMap

bool TCustomMap::SetSize(int32_t NewWidth, int32_t NewHeight) {
    if (NewWidth < 0) NewWidth = 0;
    if (NewHeight < 0) NewHeight = 0;
    if (NewWidth == FWidth && NewHeight == FHeight) return false;
    ChangeSize(FWidth, FHeight, NewWidth, NewHeight);
    Changed();
    Resized();
    return true;
}

void TCustomMap::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
    Width = NewWidth;
    Height = NewHeight;
}

void TCustomMap::Resized() {
    if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------------------------------
// TCustomSampler

namespace {
TFixed ClampToFixed(double v) {
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<TFixed>(v);
}
}  // namespace

TColor32 TCustomSampler::GetSampleInt(int32_t X, int32_t Y) {
    return GetSampleFixed(ClampToFixed(static_cast<double>(X) * 65536.0),
                          ClampToFixed(static_cast<double>(Y) * 65536.0));
}

TColor32 TCustomSampler::GetSampleFixed(TFixed X, TFixed Y) {
    return GetSampleFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0));
}

TColor32 TCustomSampler::GetSampleFloat(float X, float Y) {
    const double fx = std::nearbyint(static_cast<double>(X) * 65536.0);
    const double fy = std::nearbyint(static_cast<double>(Y) * 65536.0);
    return GetSampleFixed(ClampToFixed(std::isnan(fx) ? 0.0 : fx), ClampToFixed(std::isnan(fy) ? 0.0 : fy));
}

TRect TCustomSampler::GetSampleBounds() const { return TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}; }

// ---------------------------------------------------------------------------------------------
// Geometry and colour helpers

TColor32 ColorToColor32(cl::TColor C) {
    uint32_t c = static_cast<uint32_t>(C);
    if (C < 0) c = win::GetSysColor(static_cast<int>(c & 0xFF));
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TFixed FixedFromFloat(double F) {
    const double v = std::nearbyint(F * 65536.0);
    return std::isnan(v) ? 0 : ClampToFixed(v);
}

namespace {
int32_t RoundToInt(double v) {
    v = std::nearbyint(v);
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}
int32_t FloorToInt(double v) { return RoundToInt(std::floor(v)); }
int32_t CeilToInt(double v) { return RoundToInt(std::ceil(v)); }
}  // namespace

TRect MakeRectFromFloat(const TFloatRect& FR, TRectRounding Rounding) {
    TRect r{};
    switch (Rounding) {
        case rrOutward:
            r = TRect{FloorToInt(FR.Left), FloorToInt(FR.Top), CeilToInt(FR.Right), CeilToInt(FR.Bottom)};
            break;
        case rrInward:
            r = TRect{CeilToInt(FR.Left), CeilToInt(FR.Top), FloorToInt(FR.Right), FloorToInt(FR.Bottom)};
            r.right = std::max(r.right, r.left);
            r.bottom = std::max(r.bottom, r.top);
            break;
        default: r = TRect{RoundToInt(FR.Left), RoundToInt(FR.Top), RoundToInt(FR.Right), RoundToInt(FR.Bottom)};
    }
    return r;
}

TRect MakeRectFromFixed(const TFixedRect& XR, TRectRounding Rounding) {
    TRect r{};
    switch (Rounding) {
        case rrOutward:
            r = TRect{FixedFloor(XR.Left), FixedFloor(XR.Top), FixedCeil(XR.Right), FixedCeil(XR.Bottom)};
            break;
        case rrInward:
            r = TRect{FixedCeil(XR.Left), FixedCeil(XR.Top), FixedFloor(XR.Right), FixedFloor(XR.Bottom)};
            r.right = std::max(r.right, r.left);
            r.bottom = std::max(r.bottom, r.top);
            break;
        default: r = TRect{FixedRound(XR.Left), FixedRound(XR.Top), FixedRound(XR.Right), FixedRound(XR.Bottom)};
    }
    return r;
}

TFixedRect FixedRectFromRect(const TRect& R) {
    return TFixedRect{FixedFromInt(R.left), FixedFromInt(R.top), FixedFromInt(R.right), FixedFromInt(R.bottom)};
}

TFloatRect FloatRectFromRect(const TRect& R) {
    return TFloatRect{static_cast<float>(R.left), static_cast<float>(R.top), static_cast<float>(R.right),
                      static_cast<float>(R.bottom)};
}

bool IntersectRects(TRect& Dst, const TRect& R1, const TRect& R2) {
    TRect r{std::max(R1.left, R2.left), std::max(R1.top, R2.top), std::min(R1.right, R2.right),
            std::min(R1.bottom, R2.bottom)};
    if (r.right >= r.left && r.bottom >= r.top) {
        Dst = r;
        return true;
    }
    Dst = TRect{0, 0, 0, 0};
    return false;
}

bool RectsEqual(const TRect& R1, const TRect& R2) {
    return R1.left == R2.left && R1.top == R2.top && R1.right == R2.right && R1.bottom == R2.bottom;
}

void InflateRectBy(TRect& R, int32_t Dx, int32_t Dy) {
    R.left -= Dx;
    R.top -= Dy;
    R.right += Dx;
    R.bottom += Dy;
}

void OffsetRectBy(TRect& R, int32_t Dx, int32_t Dy) {
    R.left += Dx;
    R.top += Dy;
    R.right += Dx;
    R.bottom += Dy;
}

uint8_t GammaTable[256];

void SetGamma(double Gamma) {
    for (int i = 0; i < 256; ++i) {
        const double v = std::nearbyint(255.0 * std::pow(i / 255.0, Gamma));
        GammaTable[i] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
    }
}

TColor32 BilinearMix_Pas(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q) {
    const uint32_t wx = std::min<uint32_t>(WX, 255);
    const uint32_t wy = std::min<uint32_t>(WY, 255);
    const TColor32 top = WeightedMix(P[0], P[1], wx);
    const TColor32 bottom = WeightedMix(Q[0], Q[1], wx);
    return WeightedMix(top, bottom, wy);
}

TBilinearMixProc BilinearMix = BilinearMix_Pas;

namespace {
win::HGDIOBJ g_StockSystemFont = nullptr;
}  // namespace

// ---------------------------------------------------------------------------------------------
// TBitmap32

TBitmap32::TBitmap32() {
    auto& h = FBitmapInfo.bmiHeader;
    h.biSize = sizeof(win::BITMAPINFOHEADER);
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = win::BI_RGB;
    FFont = std::make_unique<cl::TFont>();
    FFont->OwnerCriticalSection = &CriticalSection();
    FFont->OnChange = [this](cl::TObject* Sender) { FontChanged(Sender); };
    FResampler = new TNearestResampler(this);
}

TBitmap32::~TBitmap32() {
    // A bitmap being destroyed notifies nobody: its owner may be half gone already.
    OnChange = nullptr;
    OnResize = nullptr;
    OnAreaChanged = nullptr;
    OnHandleChanged = nullptr;
    BeginUpdate();
    Lock();
    try {
        DeleteCanvas();
        SetSize(0, 0);
    } catch (...) {
    }
    FFont.reset();
    delete FResampler;
    FResampler = nullptr;
    Unlock();
}

bool TBitmap32::Empty() const { return FHandle == nullptr || FWidth == 0 || FHeight == 0; }

void TBitmap32::FreePixelMemory() {
    if (FDC) win::DeleteDC(FDC);
    FDC = nullptr;
    if (FHandle) win::DeleteObject(FHandle);
    FHandle = nullptr;
    FBits = nullptr;
}

void TBitmap32::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
    try {
        FontChanged(this);
        DeleteCanvas();
        FreePixelMemory();
        Width = 0;
        Height = 0;
        if (NewWidth > 0 && NewHeight > 0) {
            FBitmapInfo.bmiHeader.biWidth = NewWidth;
            FBitmapInfo.bmiHeader.biHeight = -NewHeight;
            void* bits = nullptr;
            FHandle = win::CreateDIBSection(nullptr, &FBitmapInfo, win::DIB_RGB_COLORS, &bits, nullptr, 0);
            FBits = static_cast<PColor32>(bits);
            if (!FBits) {
                FreePixelMemory();
                throw cl::Exception("Can't allocate the DIB handle");
            }
            FDC = win::CreateCompatibleDC(nullptr);
            if (!FDC) {
                FreePixelMemory();
                throw cl::Exception("Can't create compatible DC");
            }
            if (!win::SelectObject(FDC, FHandle)) {
                FreePixelMemory();
                throw cl::Exception("Can't select an object into DC");
            }
        }
        Width = NewWidth;
        Height = NewHeight;
        ResetClipRect();
    } catch (...) {
        // An empty bitmap keeps no clip rectangle over pixels it does not have.
        ResetClipRect();
        HandleChanged();
        throw;
    }
    HandleChanged();
}

void TBitmap32::HandleChanged() {
    if (FCanvas) FCanvas->SetHandle(FDC);
    if (OnHandleChanged) OnHandleChanged(this);
}

void TBitmap32::FontChanged(cl::TObject*) {
    if (FFontHandle) {
        if (FDC && g_StockSystemFont) win::SelectObject(FDC, g_StockSystemFont);
        FFontHandle = nullptr;
    }
}

void TBitmap32::CanvasChanged(cl::TObject*) { Changed(); }

cl::TCanvas* TBitmap32::Canvas() {
    if (!FCanvas) {
        FCanvas = new cl::TCanvas();
        FCanvas->SetHandle(FDC);
        FCanvas->OnChange = [this](cl::TObject* Sender) { CanvasChanged(Sender); };
    }
    return FCanvas;
}

void TBitmap32::DeleteCanvas() {
    if (FCanvas) {
        FCanvas->SetHandle(nullptr);
        delete FCanvas;
        FCanvas = nullptr;
    }
}

void TBitmap32::Changed() {
    if ((FUpdateCount == 0 || FMeasuringMode) && OnAreaChanged) OnAreaChanged(this, BoundsRect(), AreaInfoRect);
    if (!FMeasuringMode) TCustomMap::Changed();
}

void TBitmap32::ChangedArea(const TRect& Area, uint32_t Info) {
    if ((FUpdateCount == 0 || FMeasuringMode) && OnAreaChanged) OnAreaChanged(this, Area, Info);
    if (!FMeasuringMode) TCustomMap::Changed();
}

void TBitmap32::BeginMeasuring(const TAreaChangedEvent& Handler) {
    FMeasuringMode = true;
    FSavedAreaChanged = OnAreaChanged;
    OnAreaChanged = Handler;
}

void TBitmap32::EndMeasuring() {
    FMeasuringMode = false;
    OnAreaChanged = FSavedAreaChanged;
}

// ------------------------------------------------------------------ filling

void TBitmap32::ClearToColor(TColor32 Color) {
    if (Empty()) return;
    if (!FMeasuringMode) {
        if (FClipping)
            FillRect(FClipRect.left, FClipRect.top, FClipRect.right, FClipRect.bottom, Color);
        else
            FillDWords(FBits, FWidth * FHeight, Color);
    }
    Changed();
}

void TBitmap32::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Color) {
    for (int32_t y = Y1; y < Y2; ++y) FillDWords(PixelPtr(X1, y), X2 - X1, Color);
    ChangedArea(TRect{X1, Y1, X2, Y2}, AreaInfoRect);
}

void TBitmap32::FillRectClipped(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 Color) {
    if (!FMeasuringMode && X1 < X2 && Y1 < Y2 && X1 < FClipRect.right && Y1 < FClipRect.bottom && X2 > FClipRect.left &&
        Y2 > FClipRect.top) {
        X1 = std::max(X1, FClipRect.left);
        Y1 = std::max(Y1, FClipRect.top);
        X2 = std::min(X2, FClipRect.right);
        Y2 = std::min(Y2, FClipRect.bottom);
        FillRect(X1, Y1, X2, Y2, Color);
    }
    ChangedArea(TRect{X1, Y1, X2, Y2}, AreaInfoRect);
}

void TBitmap32::SetAlpha(uint8_t A) {
    if (!FMeasuringMode && !Empty()) {
        // Whole pixels, so the loop runs in vector registers; a large picture is split into
        // bands of rows over the processor's cores.
        const TColor32 alpha = static_cast<TColor32>(A) << 24;
        TColor32* bits = FBits;
        const int32_t w = FWidth;
        const auto band = [bits, w, alpha](int first, int last) {
            TColor32* p = bits + static_cast<ptrdiff_t>(first) * w;
            const int64_t n = static_cast<int64_t>(last - first) * w;
            for (int64_t i = 0; i < n; ++i) p[i] = (p[i] & 0x00FFFFFFu) | alpha;
        };
        if (static_cast<int64_t>(FWidth) * FHeight >= kParallelPixels)
            win::ParallelRows(0, FHeight, 16, band);
        else
            band(0, FHeight);
    }
    Changed();
}

// ------------------------------------------------------------------ pixel access

TColor32 TBitmap32::PixelClipped(int32_t X, int32_t Y) const {
    if (X >= FClipRect.left && X < FClipRect.right && Y >= FClipRect.top && Y < FClipRect.bottom) return Pixel(X, Y);
    return FOuterColor;
}

int32_t TBitmap32::WrapX(int32_t X) const {
    switch (FWrapMode) {
        case wmRepeat: return WrapToRange(X, FClipRect.left, FClipRect.right - 1);
        case wmMirror: return MirrorToRange(X, FClipRect.left, FClipRect.right - 1);
        default: return ClampToRange(X, FClipRect.left, FClipRect.right - 1);
    }
}

int32_t TBitmap32::WrapY(int32_t Y) const {
    switch (FWrapMode) {
        case wmRepeat: return WrapToRange(Y, FClipRect.top, FClipRect.bottom - 1);
        case wmMirror: return MirrorToRange(Y, FClipRect.top, FClipRect.bottom - 1);
        default: return ClampToRange(Y, FClipRect.top, FClipRect.bottom - 1);
    }
}

TColor32 TBitmap32::PixelWrapped(int32_t X, int32_t Y) const { return Pixel(WrapX(X), WrapY(Y)); }

TColor32 TBitmap32::PixelBilinear256(uint32_t X, uint32_t Y) const {
    const TColor32* p = PixelPtr(static_cast<int32_t>(X >> 8), static_cast<int32_t>(Y >> 8));
    const TColor32* q = p + FWidth;
    return BilinearMix(GammaTable[255 - (X & 255)], GammaTable[255 - (Y & 255)], p, q);
}

TColor32 TBitmap32::PixelBilinear256Clipped(int32_t X, int32_t Y) const {
    if (X < FClipRect256.left || Y < FClipRect256.top) return FOuterColor;
    const int64_t xr = (static_cast<int64_t>(FClipRect.right) - 1) * 256;
    const int64_t yb = (static_cast<int64_t>(FClipRect.bottom) - 1) * 256;
    if (X < xr && Y < yb) return PixelBilinear256(static_cast<uint32_t>(X), static_cast<uint32_t>(Y));
    if (X == xr && Y <= yb) return Pixel(FClipRect.right - 1, Y >> 8);
    if (X <= xr && Y == yb) return Pixel(X >> 8, FClipRect.bottom - 1);
    return FOuterColor;
}

namespace {
// 16.16 to 24.8, rounding: (v + 0x7F) shr 8.
int32_t FixedTo256(TFixed v) { return static_cast<int32_t>((static_cast<int64_t>(v) + 0x7F) >> 8); }
}  // namespace

TColor32 TBitmap32::PixelBilinearFixed(TFixed X, TFixed Y) const {
    const TColor32 c = PixelBilinear256(static_cast<uint32_t>(FixedTo256(X)), static_cast<uint32_t>(FixedTo256(Y)));
    ClearMultimediaState();
    return c;
}

TColor32 TBitmap32::PixelBilinearFixedClipped(TFixed X, TFixed Y) const {
    const TColor32 c = PixelBilinear256Clipped(FixedTo256(X), FixedTo256(Y));
    ClearMultimediaState();
    return c;
}

TColor32 TBitmap32::PixelBilinearFixedWrapped(TFixed X, TFixed Y) const {
    const int32_t ix = X >> 16, iy = Y >> 16;
    const int32_t x1 = WrapX(ix), x2 = WrapX(ix == INT32_MAX ? ix : ix + 1);
    const int32_t y1 = WrapY(iy), y2 = WrapY(iy == INT32_MAX ? iy : iy + 1);
    const uint32_t wx = static_cast<uint32_t>(X >> 8) & 255;
    const uint32_t wy = static_cast<uint32_t>(Y >> 8) & 255;
    const TColor32 top = WeightedMix(Pixel(x2, y1), Pixel(x1, y1), wx);
    const TColor32 bottom = WeightedMix(Pixel(x2, y2), Pixel(x1, y2), wx);
    const TColor32 c = WeightedMix(bottom, top, wy);
    ClearMultimediaState();
    return c;
}

// ------------------------------------------------------------------ clipping

void TBitmap32::SetClipRect(const TRect& R) {
    IntersectRects(FClipRect, R, BoundsRect());
    FFixedClipRect = FixedRectFromRect(FClipRect);
    // 24.8 reaches 8388607 pixels; wider bitmaps keep their 24.8 edges at the largest value.
    const auto to256 = [](int32_t v) { return static_cast<int32_t>(std::min<int64_t>(int64_t{v} * 256, INT32_MAX)); };
    FClipRect256 = TRect{to256(FClipRect.left), to256(FClipRect.top), to256(FClipRect.right), to256(FClipRect.bottom)};
    FClipping = !RectsEqual(FClipRect, BoundsRect());
}

// ------------------------------------------------------------------ drawing out

void TBitmap32::DrawTo(TBitmap32* Dst, const TRect& DstRect) {
    StretchTransfer(Dst, DstRect, Dst ? Dst->ClipRect() : TRect{}, this, BoundsRect(), FResampler, FDrawMode,
                    OnPixelCombine);
}

void TBitmap32::DrawToDC(win::HDC DC, int32_t X, int32_t Y) {
    if (Empty()) return;
    win::StretchDIBits(DC, X, Y, FWidth, FHeight, 0, 0, FWidth, FHeight, FBits, &FBitmapInfo, win::DIB_RGB_COLORS,
                       win::SRCCOPY);
}

// ------------------------------------------------------------------ settings

void TBitmap32::SetDrawMode(TDrawMode Value) {
    if (Value != FDrawMode) {
        FDrawMode = Value;
        Changed();
    }
}

void TBitmap32::SetCombineMode(TCombineMode Value) {
    if (Value != FCombineMode) {
        FCombineMode = Value;
        Changed();
    }
}

void TBitmap32::SetWrapMode(TWrapMode Value) {
    if (Value != FWrapMode) {
        FWrapMode = Value;
        Changed();
    }
}

void TBitmap32::SetMasterAlpha(uint32_t Value) {
    if (Value != FMasterAlpha) {
        FMasterAlpha = Value;
        Changed();
    }
}

void TBitmap32::SetResampler(TCustomResampler* Value) {
    if (!Value || Value == FResampler) return;
    delete FResampler;
    FResampler = Value;
    if (auto* r = dynamic_cast<TBitmap32Resampler*>(Value)) r->FBitmap = this;
    Changed();
}

cl::String TBitmap32::ResamplerClassName() const { return FResampler ? FResampler->ClassName() : cl::String(); }

void TBitmap32::SetResamplerClassName(const cl::String& Value) {
    if (Value.empty() || (FResampler && Value == FResampler->ClassName())) return;
    const cl::TClass* cls = ResamplerList() ? ResamplerList()->Find(Value) : nullptr;
    if (!cls) return;
    CreateResampler(cls, this);  // becomes this bitmap's resampler
}

// ------------------------------------------------------------------ copying

void TBitmap32::CopyMapContentTo(TBitmap32* Dst) {
    Dst->SetSize(FWidth, FHeight);
    if (!Empty() && !Dst->Empty()) MoveDWords(FBits, Dst->FBits, FWidth * FHeight);
}

void TBitmap32::CopyPropertiesTo(TBitmap32* Dst) {
    Dst->SetDrawMode(FDrawMode);
    Dst->SetCombineMode(FCombineMode);
    Dst->SetWrapMode(FWrapMode);
    Dst->SetMasterAlpha(FMasterAlpha);
    Dst->FOuterColor = FOuterColor;
    Dst->SetResamplerClassName(ResamplerClassName());
    if (Dst->FResampler && FResampler) Dst->FResampler->Assign(FResampler);
    Dst->FFont->Assign(FFont.get());
}

void TBitmap32::Assign(cl::TPersistent* Source) {
    BeginUpdate();
    try {
        if (!Source) {
            SetSize(0, 0);
        } else if (auto* b32 = dynamic_cast<TBitmap32*>(Source)) {
            if (b32 != this) {
                b32->CopyMapContentTo(this);
                b32->CopyPropertiesTo(this);
            }
        } else if (auto* bmp = dynamic_cast<cl::TBitmap*>(Source)) {
            AssignFromGdiBitmap(bmp);
        } else if (auto* graphic = dynamic_cast<cl::TGraphic*>(Source)) {
            AssignFromGraphic(graphic, graphic->GetWidth(), graphic->GetHeight());
        } else if (auto* picture = dynamic_cast<cl::TPicture*>(Source)) {
            cl::TGraphic* g = picture->GetGraphic();
            if (auto* pb = dynamic_cast<cl::TBitmap*>(g))
                AssignFromGdiBitmap(pb);
            else if (dynamic_cast<cl::TIcon*>(g))
                AssignFromIconOrMetafile(g, picture->GetWidth(), picture->GetHeight());
            else
                AssignFromGraphic(g, picture->GetWidth(), picture->GetHeight());
        } else {
            TCustomMap::Assign(Source);
        }
    } catch (...) {
        EndUpdate();
        Changed();
        throw;
    }
    EndUpdate();
    Changed();
}

void TBitmap32::AssignFromGdiBitmap(cl::TBitmap* Source) {
    SetSize(Source->GetWidth(), Source->GetHeight());
    if (Empty()) return;
    cl::TCanvas* src = Source->GetCanvas();
    src->Lock();
    try {
        win::BitBlt(FDC, 0, 0, FWidth, FHeight, src->GetHandle(), 0, 0, win::SRCCOPY);
    } catch (...) {
        src->Unlock();
        throw;
    }
    src->Unlock();
    if (Source->GetPixelFormat() != cl::pf32bit) MakeOpaque();
    if (Source->GetTransparent()) {
        const TColor32 t = ColorToColor32(Source->GetTransparentColor()) & 0x00FFFFFFu;
        const int64_t n = static_cast<int64_t>(FWidth) * FHeight;
        for (int64_t i = 0; i < n; ++i)
            if ((FBits[i] & 0x00FFFFFFu) == t) FBits[i] &= 0x00FFFFFFu;
    }
    FFont->Assign(src->GetFont());
}

void TBitmap32::DrawGraphic(cl::TGraphic* Graphic, TBitmap32* Target, int32_t W, int32_t H) {
    auto canvas = std::make_unique<cl::TCanvas>();
    canvas->SetHandle(Target->FDC);
    try {
        canvas->StretchDraw(TRect{0, 0, W, H}, Graphic);
    } catch (...) {
        canvas->SetHandle(nullptr);
        throw;
    }
    canvas->SetHandle(nullptr);
}

void TBitmap32::AssignFromGraphic(cl::TGraphic* Graphic, int32_t W, int32_t H) {
    SetSize(Graphic ? W : 0, Graphic ? H : 0);
    if (Empty()) return;
    DrawGraphic(Graphic, this, FWidth, FHeight);
    MakeOpaque();
}

void TBitmap32::AssignFromIconOrMetafile(cl::TGraphic* Graphic, int32_t W, int32_t H) {
    SetSize(W, H);
    if (Empty()) return;
    ClearToColor(0xFFFFFFFFu);
    DrawGraphic(Graphic, this, W, H);
    TBitmap32 red;
    red.SetSize(W, H);
    red.ClearToColor(0xFFFF0000u);
    DrawGraphic(Graphic, &red, W, H);
    const int64_t n = static_cast<int64_t>(W) * H;
    const TColor32* r = red.Bits();
    for (int64_t i = 0; i < n; ++i) {
        const TColor32 own = FBits[i] & 0x00FFFFFFu;
        FBits[i] = (r[i] & 0x00FFFFFFu) == own ? (own | 0xFF000000u) : own;
    }
}

void TBitmap32::AssignTo(cl::TPersistent* Dest) {
    if (auto* pic = dynamic_cast<cl::TPicture*>(Dest))
        CopyToGdiBitmap(pic->GetBitmap());
    else if (auto* bmp = dynamic_cast<cl::TBitmap*>(Dest))
        CopyToGdiBitmap(bmp);
    else
        TCustomMap::AssignTo(Dest);
}

void TBitmap32::CopyToGdiBitmap(cl::TBitmap* B) {
    B->SetHandleType(cl::bmDIB);
    B->SetPixelFormat(cl::pf32bit);
    B->GetCanvas()->SetFont(FFont.get());
    B->SetSize(FWidth, FHeight);
    DrawToDC(B->GetCanvas()->GetHandle(), 0, 0);
}

bool TBitmap32::Equal(TBitmap32* Other) {
    if (!Other) return Empty();
    if (Empty() || Other->Empty()) return Empty() && Other->Empty();
    if (&ClassType() != &Other->ClassType()) return false;
    cl::TMemoryStream s1, s2;
    {
        cl::TBitmap b1, b2;
        AssignTo(&b1);
        Other->AssignTo(&b2);
        b1.SaveToStream(&s1);
        b2.SaveToStream(&s2);
    }
    return s1.GetSize() == s2.GetSize() &&
           (s1.GetSize() == 0 || std::memcmp(s1.GetMemory(), s2.GetMemory(), static_cast<size_t>(s1.GetSize())) == 0);
}

// ------------------------------------------------------------------ streaming

void TBitmap32::ReadData(cl::TStream* Stream) {
    try {
        int32_t w = 0, h = 0;
        Stream->ReadBuffer(&w, 4);
        Stream->ReadBuffer(&h, 4);
        // Check the stored size against what the stream still holds before making room.
        const uint64_t pixels = static_cast<uint64_t>(std::max(w, 0)) * static_cast<uint64_t>(std::max(h, 0));
        if (pixels > 0) {
            const int64_t left = Stream->GetSize() - Stream->GetPosition();
            if (left < 0 || pixels > static_cast<uint64_t>(left) / 4) throw cl::EReadError("Stream read error");
        }
        SetSize(w, h);
        if (!Empty()) Stream->ReadBuffer(FBits, static_cast<int64_t>(pixels) * 4);
    } catch (...) {
        Changed();
        throw;
    }
    Changed();
}

void TBitmap32::WriteData(cl::TStream* Stream) {
    const int32_t w = FWidth, h = FHeight;
    Stream->WriteBuffer(&w, 4);
    Stream->WriteBuffer(&h, 4);
    if (!Empty()) Stream->WriteBuffer(FBits, static_cast<int64_t>(w) * h * 4);
}

bool TBitmap32::DataStored(cl::TPersistent* Ancestor) {
    if (Ancestor) {
        auto* a = dynamic_cast<TBitmap32*>(Ancestor);
        return !a || !Equal(a);
    }
    return !Empty();
}

// ---------------------------------------------------------------------------------------------
// Start-up

namespace {

void DeclareBitmapProperties() {
    static bool declared = false;  // the class library keeps declarations for the whole run
    if (declared) return;
    declared = true;
    cl::TPropInfo resampler;
    resampler.Name = "Resampler";
    resampler.Kind = cl::tkClass;
    resampler.TypeName = "TCustomResampler";
    resampler.GetObject = [](const cl::TObject* o) -> cl::TObject* {
        return static_cast<const TBitmap32*>(o)->Resampler();
    };
    resampler.SetObject = [](cl::TObject* o, cl::TObject* v) {
        auto* b = static_cast<TBitmap32*>(o);
        if (auto* r = dynamic_cast<TCustomResampler*>(v); r && b->Resampler()) b->Resampler()->Assign(r);
    };
    cl::DeclarePublished(
        TBitmap32::StaticClass(),
        {cl::EnumProp<TBitmap32, TDrawMode>("DrawMode", "TDrawMode", &TBitmap32::DrawMode, &TBitmap32::SetDrawMode,
                                            dmOpaque, {"dmOpaque", "dmBlend", "dmCustom", "dmTransparent"}),
         cl::EnumProp<TBitmap32, TCombineMode>("CombineMode", "TCombineMode", &TBitmap32::CombineMode,
                                               &TBitmap32::SetCombineMode, cmBlend, {"cmBlend", "cmMerge"}),
         cl::EnumProp<TBitmap32, TWrapMode>("WrapMode", "TWrapMode", &TBitmap32::WrapMode, &TBitmap32::SetWrapMode,
                                            wmClamp, {"wmClamp", "wmRepeat", "wmMirror"}),
         cl::OrdProp<TBitmap32, uint32_t>("MasterAlpha", cl::tkInteger, "Cardinal", &TBitmap32::MasterAlpha,
                                          &TBitmap32::SetMasterAlpha, 255),
         cl::OrdProp<TBitmap32, TColor32>("OuterColor", cl::tkInteger, "TColor32", &TBitmap32::OuterColor,
                                          &TBitmap32::SetOuterColor, 0),
         cl::StrProp<TBitmap32>("ResamplerClassName", &TBitmap32::ResamplerClassName,
                                &TBitmap32::SetResamplerClassName),
         resampler});
}

}  // namespace

void Pix32_Initialization() {
    BilinearMix = BilinearMix_Pas;
    SetGamma(0.7);
    g_StockSystemFont = win::GetStockObject(win::SYSTEM_FONT);
    DeclareBitmapProperties();
}

}  // namespace pix32
