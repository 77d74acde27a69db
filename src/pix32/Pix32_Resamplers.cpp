#include "pix32/Pix32_Resamplers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_LowLevel.h"

namespace pix32 {

namespace {
constexpr float kPi = 3.14159265358979323846f;
}  // namespace

float SinC(float X) {
    if (X == 0.0f) return 1.0f;
    const float px = kPi * X;
    return std::sin(px) / px;
}

// ---------------------------------------------------------------------------------------------
// TCustomKernel

void TCustomKernel::Changed() {
    if (Observer) Observer->Changed();
}

void TCustomKernel::AssignTo(cl::TPersistent* Dest) {
    if (dynamic_cast<TCustomKernel*>(Dest))
        CopyPublishedProperties(this, Dest, cl::tkProperties);
    else
        cl::TPersistent::AssignTo(Dest);
}

namespace {
// Stores Value in Field when it differs, then tells the kernel's observer.
void SetAndNotify(TCustomKernel& K, float& Field, float Value) {
    if (Field == Value) return;
    Field = Value;
    K.Changed();
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Kernels

float TBoxKernel::Filter(float X) const { return (X >= -0.5f && X <= 0.5f) ? 1.0f : 0.0f; }

float TLinearKernel::Filter(float X) const {
    const float a = std::fabs(X);
    return a < 1.0f ? 1.0f - a : 0.0f;
}

float TCosineKernel::Filter(float X) const {
    if (std::fabs(X) < 1.0f) return (std::cos(X * kPi) + 1.0f) * 0.5f;
    return 0.0f;
}

float TSplineKernel::Filter(float X) const {
    const float a = std::fabs(X);
    if (a < 1.0f) return a * a * a / 2.0f - a * a + 2.0f / 3.0f;
    if (a < 2.0f) {
        const float t = 2.0f - a;
        return t * t * t / 6.0f;
    }
    return 0.0f;
}

float TMitchellKernel::Filter(float X) const {
    const float a = std::fabs(X);
    if (a < 1.0f) return (7.0f * a * a * a - 12.0f * a * a + 16.0f / 3.0f) / 6.0f;
    if (a < 2.0f) return (-7.0f / 3.0f * a * a * a + 12.0f * a * a - 20.0f * a + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
}

float TCubicKernel::Filter(float X) const {
    const float a = std::fabs(X);
    if (a < 1.0f) return (FCoeff + 2.0f) * a * a * a - (FCoeff + 3.0f) * a * a + 1.0f;
    if (a < 2.0f) return (a * a * a - 5.0f * a * a + 8.0f * a - 4.0f) * FCoeff;
    return 0.0f;
}

void TCubicKernel::SetCoeff(float Value) { SetAndNotify(*this, FCoeff, Value); }

float THermiteKernel::Filter(float X) const {
    const float m = (1.0f - FTension) / 2.0f;
    const float tp = m * (1.0f + FBias);
    const float tn = m * (1.0f - FBias);
    const float n = std::floor(X);
    const float t = X - n;
    const float t2 = t * t, t3 = t2 * t;
    if (n == -2.0f) return tn * (t3 - t2);
    if (n == -1.0f) return (3.0f * t2 - 2.0f * t3) + tn * (t3 - 2.0f * t2 + t) + (tp - tn) * (t3 - t2);
    if (n == 0.0f) return (2.0f * t3 - 3.0f * t2 + 1.0f) + (tp - tn) * (t3 - 2.0f * t2 + t) - tp * (t3 - t2);
    if (n == 1.0f) return -tp * (t3 - 2.0f * t2 + t);
    return 0.0f;
}

void THermiteKernel::SetBias(float Value) { SetAndNotify(*this, FBias, Value); }
void THermiteKernel::SetTension(float Value) { SetAndNotify(*this, FTension, Value); }

float TSinshKernel::Filter(float X) const {
    if (X == 0.0f) return 1.0f;
    return std::sin(kPi * X) * FCoeff / std::sinh(kPi * X * FCoeff);
}

void TSinshKernel::SetWidth(float Value) { SetAndNotify(*this, FWidth, Value); }

void TSinshKernel::SetCoeff(float Value) {
    if (Value == 0.0f) return;
    SetAndNotify(*this, FCoeff, Value);
}

float TWindowedSincKernel::Filter(float X) const {
    const float a = std::fabs(X);
    if (a >= FWidth) return 0.0f;
    return SinC(a) * Window(a);
}

void TWindowedSincKernel::SetWidth(float Value) {
    if (Value > 4.0f) Value = 4.0f;
    SetAndNotify(*this, FWidth, Value);
}

float TLanczosKernel::Window(float X) const { return SinC(X / FWidth); }

float TGaussianKernel::Window(float X) const { return std::exp2(-X * X / FSigma); }

void TGaussianKernel::SetSigma(float Value) {
    if (Value == 0.0f) return;
    SetAndNotify(*this, FSigma, Value);
}

float TBlackmanKernel::Window(float X) const {
    const float r = kPi * X / FWidth;
    return 0.42f + 0.5f * std::cos(r) + 0.08f * std::cos(2.0f * r);
}

float THannKernel::Window(float X) const { return 0.5f + 0.5f * std::cos(kPi * X / FWidth); }

float THammingKernel::Window(float X) const { return 0.54f + 0.46f * std::cos(kPi * X / FWidth); }

// ---------------------------------------------------------------------------------------------
// Tap weights

int32_t KernelRadius(const TCustomKernel& Kernel) {
    const float w = Kernel.GetWidth();
    if (!(w > 0.0f)) return 0;  // also NaN
    if (w >= static_cast<float>(MaxKernelRadius)) return MaxKernelRadius;
    return static_cast<int32_t>(std::ceil(w));
}

namespace {

int32_t WeightOf(const TCustomKernel& Kernel, double X) {
    const float f = Kernel.Filter(static_cast<float>(X));
    if (!std::isfinite(f)) return 0;
    return static_cast<int32_t>(cl::Round(static_cast<double>(f) * 256.0));
}

// Takes the sum's difference from 256 off the centre weight (index W).
void NormaliseCentre(int32_t W, int32_t* Weights) {
    int64_t sum = 0;
    for (int32_t i = 0; i <= 2 * W; ++i) sum += Weights[i];
    Weights[W] -= static_cast<int32_t>(sum - 256);
}

}  // namespace

void KernelWeightsDynamic(const TCustomKernel& Kernel, int32_t W, float D, int32_t* Weights) {
    for (int32_t i = -W; i <= W; ++i) Weights[i + W] = WeightOf(Kernel, i + static_cast<double>(D));
    NormaliseCentre(W, Weights);
}

void BuildWeightTable(TIntegerMap& Table, const TCustomKernel& Kernel, int32_t W, int32_t TableSize) {
    if (TableSize < 2) TableSize = 2;
    Table.SetSize(2 * W + 1, TableSize + 1);
    for (int32_t r = 0; r <= TableSize; ++r) {
        int32_t* row = Table.ValPtr(0, r);
        const double d = static_cast<double>(r) / (TableSize - 1);
        for (int32_t i = -W; i <= W; ++i) row[i + W] = WeightOf(Kernel, i + d);
        NormaliseCentre(W, row);
    }
}

void KernelWeightsFromTable(const TIntegerMap& Table, TKernelMode Mode, int32_t TableSize, float D, int32_t* Weights) {
    if (TableSize < 2) TableSize = 2;
    const int32_t W = (Table.Width() - 1) / 2;
    if (!(D >= 0.0f)) D = 0.0f;
    if (D > 1.0f) D = 1.0f;
    if (Mode == kmTableLinear) {
        const int64_t p = cl::Round(static_cast<double>(D) * (TableSize - 1) * 65536.0);
        const int32_t k = static_cast<int32_t>(p >> 16);
        const int64_t f = p & 0xFFFF;
        const int32_t* r0 = Table.ValPtr(0, k);
        const int32_t* r1 = Table.ValPtr(0, k + 1);
        if (!r0 || !r1) throw cl::Exception("The weight table does not match the table size");
        for (int32_t i = 0; i <= 2 * W; ++i)
            Weights[i] = r0[i] + static_cast<int32_t>(((static_cast<int64_t>(r1[i]) - r0[i]) * f + 0x7FFF) / 65536);
        NormaliseCentre(W, Weights);
    } else {
        const int32_t r = static_cast<int32_t>(cl::Round(static_cast<double>(D) * (TableSize - 1)));
        const int32_t* row = Table.ValPtr(0, r);
        if (!row) throw cl::Exception("The weight table does not match the table size");
        for (int32_t i = 0; i <= 2 * W; ++i) Weights[i] = row[i];
    }
}

// ---------------------------------------------------------------------------------------------
// TBitmap32Resampler

void TBitmap32Resampler::Attach(TBitmap32* Bitmap) {
    if (Bitmap) Bitmap->SetResampler(this);  // sets FBitmap
}

void TBitmap32Resampler::SetPixelAccessMode(TPixelAccessMode Value) {
    if (Value == FPixelAccessMode) return;
    FPixelAccessMode = Value;
    Changed();
}

void TBitmap32Resampler::Changed() {
    if (FBitmap) FBitmap->Changed();
}

void TBitmap32Resampler::PrepareSampling() {
    if (FBitmap) FClipRect = FBitmap->ClipRect();
}

TRect TBitmap32Resampler::GetSampleBounds() const {
    TRect r = FBitmap ? FBitmap->ClipRect() : TRect{};
    if (FPixelAccessMode == pamTransparentEdge) InflateRectBy(r, 1, 1);
    return r;
}

void TBitmap32Resampler::AssignTo(cl::TPersistent* Dest) {
    if (dynamic_cast<TBitmap32Resampler*>(Dest))
        CopyPublishedProperties(this, Dest, cl::tkProperties);
    else
        TCustomResampler::AssignTo(Dest);
}

namespace {
int32_t RoundSample(float V) {
    const double r = std::nearbyint(static_cast<double>(V));
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}
TFixed RoundFixedSample(float V) {
    const double r = std::nearbyint(static_cast<double>(V) * 65536.0);
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<TFixed>(r);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Nested samplers

TCustomSampler& TNestedSampler::Nested() const {
    if (!FSampler) throw ENestedException("Nested sampler is nil");
    return *FSampler;
}

void TNestedSampler::PrepareSampling() { Nested().PrepareSampling(); }
void TNestedSampler::FinalizeSampling() { Nested().FinalizeSampling(); }
bool TNestedSampler::HasBounds() const { return Nested().HasBounds(); }
TRect TNestedSampler::GetSampleBounds() const { return Nested().GetSampleBounds(); }

void TNestedSampler::AssignTo(cl::TPersistent* Dest) {
    if (auto* d = dynamic_cast<TNestedSampler*>(Dest))
        d->SetSampler(FSampler);
    else
        TCustomSampler::AssignTo(Dest);
}

TTransformation& TTransformer::Transform() const {
    if (!FTransformation) throw ENestedException("Transformation is nil");
    return *FTransformation;
}

TColor32 TTransformer::GetSampleInt(int32_t X, int32_t Y) {
    TFixed u = 0, v = 0;
    Transform().ReverseTransformFixed(FixedFromInt(X), FixedFromInt(Y), u, v);
    return Nested().GetSampleFixed(u, v);
}

TColor32 TTransformer::GetSampleFixed(TFixed X, TFixed Y) {
    TFixed u = 0, v = 0;
    Transform().ReverseTransformFixed(X, Y, u, v);
    return Nested().GetSampleFixed(u, v);
}

TColor32 TTransformer::GetSampleFloat(float X, float Y) {
    float u = 0, v = 0;
    Transform().ReverseTransformFloat(X, Y, u, v);
    return Nested().GetSampleFloat(u, v);
}

void TTransformer::PrepareSampling() {
    TNestedSampler::PrepareSampling();
    if (!Transform().TransformValid()) FTransformation->PrepareTransform();
}

bool TTransformer::HasBounds() const { return Transform().HasTransformedBounds() && Nested().HasBounds(); }

TRect TTransformer::GetSampleBounds() const {
    return Transform().GetTransformedBounds(FloatRectFromRect(Nested().GetSampleBounds()));
}

void TTransformer::AssignTo(cl::TPersistent* Dest) {
    if (auto* d = dynamic_cast<TTransformer*>(Dest)) d->SetTransformation(FTransformation);
    TNestedSampler::AssignTo(Dest);
}

TColor32 TNearestTransformer::GetSampleInt(int32_t X, int32_t Y) {
    int32_t u = 0, v = 0;
    Transform().ReverseTransformInt(X, Y, u, v);
    return Nested().GetSampleInt(u, v);
}

TColor32 TNearestTransformer::GetSampleFixed(TFixed X, TFixed Y) {
    TFixed u = 0, v = 0;
    Transform().ReverseTransformFixed(X, Y, u, v);
    return Nested().GetSampleInt(static_cast<int32_t>(static_cast<uint32_t>(u) >> 16),
                                 static_cast<int32_t>(static_cast<uint32_t>(v) >> 16));
}

TColor32 TNearestTransformer::GetSampleFloat(float X, float Y) {
    float u = 0, v = 0;
    Transform().ReverseTransformFloat(X, Y, u, v);
    return Nested().GetSampleInt(RoundSample(u), RoundSample(v));
}

// ---------------------------------------------------------------------------------------------
// TNearestResampler

TNearestResampler::TNearestResampler() { FTransformerClass = &TNearestTransformer::StaticClass(); }

TNearestResampler::TNearestResampler(TBitmap32* Bitmap) : TNearestResampler() { Attach(Bitmap); }

TColor32 TNearestResampler::GetSampleFixed(TFixed X, TFixed Y) {
    return (this->*FGetPixel)(static_cast<int32_t>((static_cast<int64_t>(X) + 0x7FFF) >> 16),
                              static_cast<int32_t>((static_cast<int64_t>(Y) + 0x7FFF) >> 16));
}

TColor32 TNearestResampler::GetSampleFloat(float X, float Y) {
    return (this->*FGetPixel)(RoundSample(X), RoundSample(Y));
}

void TNearestResampler::PrepareSampling() {
    TBitmap32Resampler::PrepareSampling();
    switch (FPixelAccessMode) {
        case pamUnsafe: FGetPixel = &TNearestResampler::ReadUnsafe; break;
        case pamWrap: FGetPixel = &TNearestResampler::ReadWrapped; break;
        case pamTransparentEdge: FGetPixel = &TNearestResampler::ReadTransparentEdge; break;
        default: FGetPixel = &TNearestResampler::ReadClipped; break;
    }
}

TColor32 TNearestResampler::ReadUnsafe(int32_t X, int32_t Y) { return FBitmap->Pixel(X, Y); }
TColor32 TNearestResampler::ReadClipped(int32_t X, int32_t Y) { return FBitmap->PixelClipped(X, Y); }
TColor32 TNearestResampler::ReadWrapped(int32_t X, int32_t Y) { return FBitmap->PixelWrapped(X, Y); }

TColor32 TNearestResampler::ReadTransparentEdge(int32_t X, int32_t Y) {
    const int32_t cx = ClampToRange(X, FClipRect.left, FClipRect.right - 1);
    const int32_t cy = ClampToRange(Y, FClipRect.top, FClipRect.bottom - 1);
    const TColor32 c = FBitmap->Pixel(cx, cy);
    return (cx != X || cy != Y) ? (c & 0x00FFFFFFu) : c;
}

void TNearestResampler::Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src,
                                 const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    StretchNearest(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
}

// ---------------------------------------------------------------------------------------------
// TLinearResampler

TLinearResampler::TLinearResampler() { FTransformerClass = &TTransformer::StaticClass(); }

TLinearResampler::TLinearResampler(TBitmap32* Bitmap) : TLinearResampler() { Attach(Bitmap); }

TColor32 TLinearResampler::GetSampleFloat(float X, float Y) {
    return (this->*FGetPixel)(RoundFixedSample(X), RoundFixedSample(Y));
}

void TLinearResampler::PrepareSampling() {
    TBitmap32Resampler::PrepareSampling();
    switch (FPixelAccessMode) {
        case pamUnsafe: FGetPixel = &TLinearResampler::ReadUnsafe; break;
        case pamWrap: FGetPixel = &TLinearResampler::ReadWrapped; break;
        case pamTransparentEdge: FGetPixel = &TLinearResampler::ReadTransparentEdge; break;
        default: FGetPixel = &TLinearResampler::ReadClipped; break;
    }
}

TColor32 TLinearResampler::ReadUnsafe(TFixed X, TFixed Y) { return FBitmap->PixelBilinearFixed(X, Y); }
TColor32 TLinearResampler::ReadClipped(TFixed X, TFixed Y) { return FBitmap->PixelBilinearFixedClipped(X, Y); }
TColor32 TLinearResampler::ReadWrapped(TFixed X, TFixed Y) { return FBitmap->PixelBilinearFixedWrapped(X, Y); }

TColor32 TLinearResampler::ReadTransparentEdge(TFixed X, TFixed Y) {
    const int32_t i = X >> 16, j = Y >> 16;
    const int32_t r = FClipRect.right - 1, b = FClipRect.bottom - 1;
    TColor32 result = 0;
    if (i >= FClipRect.left && i < r && j >= FClipRect.top && j < b) {
        result = FBitmap->PixelBilinear256(static_cast<uint32_t>(X) >> 8, static_cast<uint32_t>(Y) >> 8);
    } else if (i >= FClipRect.left - 1 && i <= r && j >= FClipRect.top - 1 && j <= b) {
        const auto sign = [](int32_t v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); };
        const int32_t x1 = ClampToMax(i, r), x2 = ClampToMax(i + sign(X), r);
        const int32_t y1 = ClampToMax(j, b), y2 = ClampToMax(j + sign(Y), b);
        TColor32 c1 = FBitmap->Pixel(x1, y1), c2 = FBitmap->Pixel(x2, y1);
        TColor32 c3 = FBitmap->Pixel(x1, y2), c4 = FBitmap->Pixel(x2, y2);
        if (static_cast<int64_t>(X) <= static_cast<int64_t>(FClipRect.left) * 65536) {
            c1 &= 0x00FFFFFFu;
            c3 &= 0x00FFFFFFu;
        } else if (i == r) {
            c2 &= 0x00FFFFFFu;
            c4 &= 0x00FFFFFFu;
        }
        if (static_cast<int64_t>(Y) <= static_cast<int64_t>(FClipRect.top) * 65536) {
            c1 &= 0x00FFFFFFu;
            c2 &= 0x00FFFFFFu;
        } else if (j == b) {
            c3 &= 0x00FFFFFFu;
            c4 &= 0x00FFFFFFu;
        }
        const uint32_t wx = GammaTable[((X >> 8) & 255) ^ 255];
        const uint32_t wy = GammaTable[((Y >> 8) & 255) ^ 255];
        result = WeightedMix(WeightedMix(c1, c2, wx), WeightedMix(c3, c4, wx), wy);
    }
    ClearMultimediaState();
    return result;
}

void TLinearResampler::Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src,
                                const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    const int32_t srcW = SrcRect.right - SrcRect.left, srcH = SrcRect.bottom - SrcRect.top;
    const int32_t dstW = DstRect.right - DstRect.left, dstH = DstRect.bottom - DstRect.top;
    if (dstW > srcW && dstH > srcH && srcW > 1 && srcH > 1)
        StretchLinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
    else
        KernelResample(Dst, DstRect, DstClip, Src, SrcRect, *FLinearKernel, CombineOp, CombineCallBack);
}

void TDraftResampler::Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src,
                               const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    DraftResample(Dst, DstRect, DstClip, Src, SrcRect, *FLinearKernel, CombineOp, CombineCallBack);
}

// ---------------------------------------------------------------------------------------------
// TKernelResampler

TKernelResampler::TKernelResampler() : FKernel(std::make_unique<TBoxKernel>()) {
    FTransformerClass = &TTransformer::StaticClass();
}

TKernelResampler::TKernelResampler(TBitmap32* Bitmap) : TKernelResampler() { Attach(Bitmap); }

TKernelResampler::~TKernelResampler() = default;

void TKernelResampler::SetKernel(TCustomKernel* Value) {
    if (!Value || Value == FKernel.get()) return;
    FKernel.reset(Value);
    Changed();
}

void TKernelResampler::SetKernelClassName(const cl::String& Value) {
    if (Value.empty() || Value == FKernel->ClassName()) return;
    auto k = CreateKernelByName(Value);
    if (!k) return;
    FKernel = std::move(k);
    Changed();
}

void TKernelResampler::SetKernelMode(TKernelMode Value) {
    if (Value == FKernelMode) return;
    FKernelMode = Value;
    Changed();
}

void TKernelResampler::SetTableSize(int32_t Value) {
    if (Value < 2) Value = 2;
    if (Value == FTableSize) return;
    FTableSize = Value;
    Changed();
}

void TKernelResampler::PrepareSampling() {
    TBitmap32Resampler::PrepareSampling();
    if (FBitmap) FOuterColor = FBitmap->OuterColor();
    if (FKernelMode == kmTableNearest || FKernelMode == kmTableLinear) {
        if (!FWeightTable) FWeightTable = std::make_unique<TIntegerMap>();
        BuildWeightTable(*FWeightTable, *FKernel, KernelRadius(*FKernel), FTableSize);
    }
}

void TKernelResampler::FinalizeSampling() {
    if (FKernelMode == kmTableNearest || FKernelMode == kmTableLinear) FWeightTable.reset();
}

TColor32 TKernelResampler::GetSampleFloat(float X, float Y) {
    const int32_t w = KernelRadius(*FKernel);
    // Centres far outside any bitmap are kept where adding a tap offset cannot overflow.
    const auto centre = [](float v) {
        const double c = std::ceil(static_cast<double>(v));
        if (!(c == c)) return 0;
        return static_cast<int32_t>(std::clamp(c, -1073741824.0, 1073741824.0));
    };
    const int32_t cx = centre(X);
    const int32_t cy = centre(Y);
    const TRect& clip = FClipRect;
    int32_t loX = -w, hiX = w, loY = -w, hiY = w;
    bool cut = false;
    if (FPixelAccessMode == pamSafe || FPixelAccessMode == pamTransparentEdge) {
        if (cx < clip.left || cx > clip.right || cy < clip.top || cy > clip.bottom)
            return FPixelAccessMode == pamSafe ? FOuterColor : 0;
        if (cx + loX < clip.left) loX = clip.left - cx, cut = true;
        if (cx + hiX > clip.right - 1) hiX = clip.right - cx - 1, cut = true;
        if (cy + loY < clip.top) loY = clip.top - cy, cut = true;
        if (cy + hiY > clip.bottom - 1) hiY = clip.bottom - cy - 1, cut = true;
    }
    std::array<int32_t, 2 * MaxKernelRadius + 1> wx{}, wy{};  // no allocation per sample
    const float dx = static_cast<float>(cx - static_cast<double>(X));
    const float dy = static_cast<float>(cy - static_cast<double>(Y));
    if (FKernelMode == kmDynamic || !FWeightTable) {
        KernelWeightsDynamic(*FKernel, w, dx, wx.data());
        KernelWeightsDynamic(*FKernel, w, dy, wy.data());
    } else {
        KernelWeightsFromTable(*FWeightTable, FKernelMode, FTableSize, dx, wx.data());
        KernelWeightsFromTable(*FWeightTable, FKernelMode, FTableSize, dy, wy.data());
    }
    int64_t sum[4] = {0, 0, 0, 0};  // blue, green, red, alpha
    const auto tapX = [&](int32_t i) { return FPixelAccessMode == pamWrap ? FBitmap->WrapX(cx + i) : cx + i; };
    const auto tapY = [&](int32_t j) { return FPixelAccessMode == pamWrap ? FBitmap->WrapY(cy + j) : cy + j; };
    for (int32_t j = loY; j <= hiY; ++j) {
        const int64_t wj = wy[j + w];
        if (wj == 0) continue;
        const int32_t y = tapY(j);
        int64_t row[4] = {0, 0, 0, 0};
        for (int32_t i = loX; i <= hiX; ++i) {
            const int64_t wi = wx[i + w];
            const TColor32 c = FBitmap->Pixel(tapX(i), y);
            row[0] += wi * (c & 0xFF);
            row[1] += wi * ((c >> 8) & 0xFF);
            row[2] += wi * ((c >> 16) & 0xFF);
            row[3] += wi * (c >> 24);
        }
        for (int k = 0; k < 4; ++k) sum[k] += row[k] * wj;
    }
    if (cut) {
        for (int32_t j = -w; j <= w; ++j)
            for (int32_t i = -w; i <= w; ++i) {
                if (i >= loX && i <= hiX && j >= loY && j <= hiY) continue;
                const int64_t wp = static_cast<int64_t>(wx[i + w]) * wy[j + w];
                if (wp == 0) continue;
                if (FPixelAccessMode == pamSafe) {
                    sum[0] += wp * (FOuterColor & 0xFF);
                    sum[1] += wp * ((FOuterColor >> 8) & 0xFF);
                    sum[2] += wp * ((FOuterColor >> 16) & 0xFF);
                    sum[3] += wp * (FOuterColor >> 24);
                } else {
                    const TColor32 c = FBitmap->Pixel(ClampToMax(cx + i, FBitmap->Width() - 1),
                                                      ClampToMax(cy + j, FBitmap->Height() - 1));
                    sum[0] += wp * (c & 0xFF);
                    sum[1] += wp * ((c >> 8) & 0xFF);
                    sum[2] += wp * ((c >> 16) & 0xFF);
                }
            }
    }
    TColor32 result = 0;
    const bool rangeCheck = FKernel->RangeCheck();
    for (int k = 0; k < 4; ++k) {
        const int32_t s = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum[k])));
        int32_t v = s >> 16;
        v = rangeCheck ? ClampToByte(v) : (v & 0xFF);
        result |= static_cast<TColor32>(v) << (8 * k);
    }
    return result;
}

void TKernelResampler::Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src,
                                const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    KernelResample(Dst, DstRect, DstClip, Src, SrcRect, *FKernel, CombineOp, CombineCallBack);
}

// ---------------------------------------------------------------------------------------------
// Registries

namespace {
std::unique_ptr<TClassList> g_KernelList;
std::unique_ptr<TClassList> g_ResamplerList;
std::map<const cl::TClass*, TKernelFactory> g_KernelFactories;
std::map<const cl::TClass*, TResamplerFactory> g_ResamplerFactories;
}  // namespace

void RegisterResampler(const cl::TClass* ResamplerClass, TResamplerFactory Factory) {
    if (!g_ResamplerList) g_ResamplerList = std::make_unique<TClassList>();
    g_ResamplerList->Add(ResamplerClass);
    g_ResamplerFactories[ResamplerClass] = Factory;
}

TBitmap32Resampler* CreateResampler(const cl::TClass* ResamplerClass, TBitmap32* Bitmap) {
    const auto it = g_ResamplerFactories.find(ResamplerClass);
    if (it == g_ResamplerFactories.end()) return nullptr;
    return it->second(Bitmap);
}

TClassList* KernelList() { return g_KernelList.get(); }
TClassList* ResamplerList() { return g_ResamplerList.get(); }

void RegisterKernel(const cl::TClass* KernelClass, TKernelFactory Factory) {
    if (!g_KernelList) g_KernelList = std::make_unique<TClassList>();
    g_KernelList->Add(KernelClass);
    g_KernelFactories[KernelClass] = Factory;
}

std::unique_ptr<TCustomKernel> CreateKernel(const cl::TClass* KernelClass) {
    const auto it = g_KernelFactories.find(KernelClass);
    if (it == g_KernelFactories.end()) return nullptr;
    return it->second();
}

std::unique_ptr<TCustomKernel> CreateKernelByName(const cl::String& ClassName) {
    if (!g_KernelList) return nullptr;
    return CreateKernel(g_KernelList->Find(ClassName));
}

namespace {

void DeclareKernelProperties() {
    static bool declared = false;  // the class library keeps declarations for the whole run
    if (declared) return;
    declared = true;
    cl::DeclarePublished(TCubicKernel::StaticClass(),
                         {cl::FloatProp("Coeff", &TCubicKernel::Coeff, &TCubicKernel::SetCoeff)});
    cl::DeclarePublished(THermiteKernel::StaticClass(),
                         {cl::FloatProp("Bias", &THermiteKernel::Bias, &THermiteKernel::SetBias),
                          cl::FloatProp("Tension", &THermiteKernel::Tension, &THermiteKernel::SetTension)});
    cl::DeclarePublished(TSinshKernel::StaticClass(),
                         {cl::FloatProp("Width", &TSinshKernel::Width, &TSinshKernel::SetWidth),
                          cl::FloatProp("Coeff", &TSinshKernel::Coeff, &TSinshKernel::SetCoeff)});
    cl::DeclarePublished(TWindowedSincKernel::StaticClass(),
                         {cl::FloatProp("Width", &TWindowedSincKernel::Width, &TWindowedSincKernel::SetWidth)});
    cl::DeclarePublished(TGaussianKernel::StaticClass(),
                         {cl::FloatProp("Sigma", &TGaussianKernel::Sigma, &TGaussianKernel::SetSigma)});
}

void DeclareResamplerProperties() {
    static bool declared = false;
    if (declared) return;
    declared = true;
    cl::TPropInfo pam = cl::OrdProp<TBitmap32Resampler, TPixelAccessMode>(
        "PixelAccessMode", cl::tkEnumeration, "TPixelAccessMode", &TBitmap32Resampler::PixelAccessMode,
        &TBitmap32Resampler::SetPixelAccessMode, pamSafe);
    pam.EnumNames = {"pamUnsafe", "pamSafe", "pamWrap", "pamTransparentEdge"};
    cl::DeclarePublished(TBitmap32Resampler::StaticClass(), {pam});

    cl::TPropInfo kernel;
    kernel.Name = "Kernel";
    kernel.Kind = cl::tkClass;
    kernel.TypeName = "TCustomKernel";
    kernel.GetObject = [](const cl::TObject* o) -> cl::TObject* {
        return static_cast<const TKernelResampler*>(o)->Kernel();
    };
    kernel.SetObject = [](cl::TObject* o, cl::TObject* v) {
        auto* r = static_cast<TKernelResampler*>(o);
        if (auto* k = dynamic_cast<TCustomKernel*>(v)) r->Kernel()->Assign(k);
    };
    cl::TPropInfo mode = cl::OrdProp<TKernelResampler, TKernelMode>("KernelMode", cl::tkEnumeration, "TKernelMode",
                                                                    &TKernelResampler::KernelMode,
                                                                    &TKernelResampler::SetKernelMode, kmDynamic);
    mode.EnumNames = {"kmDynamic", "kmTableNearest", "kmTableLinear"};
    cl::DeclarePublished(
        TKernelResampler::StaticClass(),
        {cl::StrProp<TKernelResampler>("KernelClassName", &TKernelResampler::KernelClassName,
                                       &TKernelResampler::SetKernelClassName),
         kernel, mode,
         cl::OrdProp<TKernelResampler, int32_t>("TableSize", cl::tkInteger, "Integer", &TKernelResampler::TableSize,
                                                &TKernelResampler::SetTableSize, 32)});
}

}  // namespace

void Pix32_Resamplers_Initialization() {
    BlockAverage = BlockAverage_Pas;
    Interpolator = Interpolator_Pas;
    DeclareKernelProperties();
    DeclareResamplerProperties();
    if (g_KernelList && g_KernelList->GetCount() > 0) return;  // once
    RegisterResampler<TNearestResampler>();
    RegisterResampler<TLinearResampler>();
    RegisterResampler<TDraftResampler>();
    RegisterResampler<TKernelResampler>();
    RegisterKernel<TBoxKernel>();
    RegisterKernel<TLinearKernel>();
    RegisterKernel<TCosineKernel>();
    RegisterKernel<TSplineKernel>();
    RegisterKernel<TCubicKernel>();
    RegisterKernel<TMitchellKernel>();
    RegisterKernel<TLanczosKernel>();
    RegisterKernel<TGaussianKernel>();
    RegisterKernel<TBlackmanKernel>();
    RegisterKernel<THannKernel>();
    RegisterKernel<THammingKernel>();
    RegisterKernel<TSinshKernel>();
    RegisterKernel<THermiteKernel>();
}

void Pix32_Resamplers_Finalization() {
    g_KernelList.reset();
    g_ResamplerList.reset();
    g_KernelFactories.clear();
    g_ResamplerFactories.clear();
}

}  // namespace pix32
