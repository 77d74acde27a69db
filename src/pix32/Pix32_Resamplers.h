// The resamplers of TBitmap32 and their filter kernels, the class registries by which
// resamplers and kernels are chosen by name, and the stretch transfer routines that copy a
// rectangle of one bitmap into a rectangle of another.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Containers.h"
#include "pix32/Pix32_OrdinalMaps.h"
#include "pix32/Pix32_Transforms.h"

namespace pix32 {

// How the kernel resampler finds its weights.
enum TKernelMode : uint8_t { kmDynamic = 0, kmTableNearest = 1, kmTableLinear = 2 };

// How samplers read outside the bitmap's clip rectangle.
enum TPixelAccessMode : uint8_t { pamUnsafe = 0, pamSafe = 1, pamWrap = 2, pamTransparentEdge = 3 };

// A filter kernel: its value at a signed distance in source pixels and its radius.
class TCustomKernel : public cl::TPersistent {
    CL_DECLARE_CLASS(TCustomKernel, cl::TPersistent)
public:
    // Told through its Changed when a property of the kernel changes (nil: nobody).
    TNotifiablePersistent* Observer = nullptr;
    void Changed();

    // True makes the resamplers clamp each summed channel to 0..255.
    virtual bool RangeCheck() const { return false; }
    virtual float Filter(float X) const = 0;
    // The kernel's radius in source pixels.
    virtual float GetWidth() const = 0;

protected:
    // To another kernel: copies every published property of this kernel into the property of
    // the same name there (a property the other kernel lacks raises cl::EPropertyError
    // "Property %s does not exist"); to anything else: the inherited behaviour.
    void AssignTo(cl::TPersistent* Dest) override;
};

class TBoxKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TBoxKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 1.0f; }
};

class TLinearKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TLinearKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 1.0f; }
};

class TCosineKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TCosineKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 1.0f; }
};

class TSplineKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TSplineKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 2.0f; }
    bool RangeCheck() const override { return true; }
};

class TMitchellKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TMitchellKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 2.0f; }
    bool RangeCheck() const override { return true; }
};

class TCubicKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TCubicKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 2.0f; }
    bool RangeCheck() const override { return true; }

    float Coeff() const { return FCoeff; }
    void SetCoeff(float Value);

private:
    float FCoeff = -0.5f;
};

class THermiteKernel : public TCustomKernel {
    CL_DECLARE_CLASS(THermiteKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return 2.0f; }
    bool RangeCheck() const override { return true; }

    float Bias() const { return FBias; }
    void SetBias(float Value);
    float Tension() const { return FTension; }
    void SetTension(float Value);

private:
    float FBias = 0.0f;
    float FTension = 0.0f;
};

class TSinshKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TSinshKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return FWidth; }
    bool RangeCheck() const override { return true; }

    // Stored as given.
    void SetWidth(float Value);
    float Width() const { return FWidth; }
    float Coeff() const { return FCoeff; }
    // 0 is refused (the filter divides by it).
    void SetCoeff(float Value);

private:
    float FWidth = 3.0f;
    float FCoeff = 0.5f;
};

// Sinc times a window, cut at Width.
class TWindowedSincKernel : public TCustomKernel {
    CL_DECLARE_CLASS(TWindowedSincKernel, TCustomKernel)
public:
    float Filter(float X) const override;
    float GetWidth() const override { return FWidth; }
    bool RangeCheck() const override { return true; }
    virtual float Window(float X) const = 0;

    // At most 4 (a larger value stores 4).
    void SetWidth(float Value);
    float Width() const { return FWidth; }

protected:
    float FWidth = 3.0f;
};

class TLanczosKernel : public TWindowedSincKernel {
    CL_DECLARE_CLASS(TLanczosKernel, TWindowedSincKernel)
public:
    float Window(float X) const override;
};

class TGaussianKernel : public TWindowedSincKernel {
    CL_DECLARE_CLASS(TGaussianKernel, TWindowedSincKernel)
public:
    float Window(float X) const override;

    float Sigma() const { return FSigma; }
    // 0 is refused (the window divides by it).
    void SetSigma(float Value);

private:
    float FSigma = 1.33f;
};

class TBlackmanKernel : public TWindowedSincKernel {
    CL_DECLARE_CLASS(TBlackmanKernel, TWindowedSincKernel)
public:
    float Window(float X) const override;
};

class THannKernel : public TWindowedSincKernel {
    CL_DECLARE_CLASS(THannKernel, TWindowedSincKernel)
public:
    float Window(float X) const override;
};

class THammingKernel : public TWindowedSincKernel {
    CL_DECLARE_CLASS(THammingKernel, TWindowedSincKernel)
public:
    float Window(float X) const override;
};

// sin(pi x) / (pi x), 1 at 0, in single precision.
float SinC(float X);

// ---------------------------------------------------------------------------------------------
// Integer tap weights of the kernel resampler (scaled by 256, summing to 256).

// The largest tap radius the kernel resampler uses; wider kernels are cut there.
constexpr int32_t MaxKernelRadius = 256;
// W = Ceil(Kernel width), within 0 .. MaxKernelRadius.
int32_t KernelRadius(const TCustomKernel& Kernel);

// Weights of the 2W + 1 taps i = -W..W for the offset D = CX - X (0 <= D < 1) of a sample
// from the pixel CX = Ceil(X) it is centred on: Round(Filter(i + D) x 256), the sum's
// difference from 256 taken off the centre weight.
void KernelWeightsDynamic(const TCustomKernel& Kernel, int32_t W, float D, int32_t* Weights);
// The weight table: 2W + 1 columns and TableSize + 1 rows; row r holds the dynamic weights
// for D = r / (TableSize - 1). TableSize below 2 counts as 2.
void BuildWeightTable(TIntegerMap& Table, const TCustomKernel& Kernel, int32_t W, int32_t TableSize);
// Weights for D from a table built with the same W and TableSize: the nearest row
// (kmTableNearest) or the linear interpolation between two rows with the centre weight
// corrected to a sum of 256 (kmTableLinear). D outside 0..1 is taken as its nearest end; a
// table with fewer rows than TableSize + 1 raises cl::Exception.
void KernelWeightsFromTable(const TIntegerMap& Table, TKernelMode Mode, int32_t TableSize, float D, int32_t* Weights);

// ---------------------------------------------------------------------------------------------
// Registries

using TKernelFactory = std::unique_ptr<TCustomKernel> (*)();

// The kernel classes in registration order (nil before the first registration).
TClassList* KernelList();
// The resampler classes in registration order (nil before the first registration).
TClassList* ResamplerList();

// Adds a kernel class to KernelList together with the way to create one.
void RegisterKernel(const cl::TClass* KernelClass, TKernelFactory Factory);
template <class T>
void RegisterKernel() {
    RegisterKernel(&T::StaticClass(), [] { return std::unique_ptr<TCustomKernel>(std::make_unique<T>()); });
}
// A new kernel of a registered class, or nil for a class that was not registered.
std::unique_ptr<TCustomKernel> CreateKernel(const cl::TClass* KernelClass);
// A new kernel of the registered class of that exact name, or nil.
std::unique_ptr<TCustomKernel> CreateKernelByName(const cl::String& ClassName);

// ---------------------------------------------------------------------------------------------
// Samplers over other samplers

// Raised when a nested sampler is asked for something without a sampler to forward to.
CL_DECLARE_EXCEPTION(ENestedException, Exception);

// Forwards to a nested sampler (not owned).
class TNestedSampler : public TCustomSampler {
    CL_DECLARE_CLASS(TNestedSampler, TCustomSampler)
public:
    explicit TNestedSampler(TCustomSampler* Sampler = nullptr) { SetSampler(Sampler); }
    TCustomSampler* Sampler() const { return FSampler; }
    void SetSampler(TCustomSampler* Value) { FSampler = Value; }

    // Each forwards to the nested sampler; ENestedException "Nested sampler is nil" without one.
    void PrepareSampling() override;
    void FinalizeSampling() override;
    bool HasBounds() const override;
    TRect GetSampleBounds() const override;

protected:
    // To another nested sampler: the nested sampler (and, between transformers, the
    // transformation); otherwise inherited.
    void AssignTo(cl::TPersistent* Dest) override;
    TCustomSampler& Nested() const;

    TCustomSampler* FSampler = nullptr;
};

// Maps every requested coordinate through the transformation's reverse mapping before
// asking the nested sampler. The transformation (not owned) must be set before sampling.
class TTransformer : public TNestedSampler {
    CL_DECLARE_CLASS(TTransformer, TNestedSampler)
public:
    explicit TTransformer(TCustomSampler* Sampler = nullptr, TTransformation* Transformation = nullptr)
        : TNestedSampler(Sampler), FTransformation(Transformation) {}
    TTransformation* Transformation() const { return FTransformation; }
    void SetTransformation(TTransformation* Value) { FTransformation = Value; }

    TColor32 GetSampleInt(int32_t X, int32_t Y) override;
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
    TColor32 GetSampleFloat(float X, float Y) override;
    // The nested sampler's, then PrepareTransform when the transformation is not valid.
    void PrepareSampling() override;
    bool HasBounds() const override;
    // The nested sampler's bounds through GetTransformedBounds.
    TRect GetSampleBounds() const override;

protected:
    void AssignTo(cl::TPersistent* Dest) override;
    // The transformation; ENestedException "Transformation is nil" without one.
    TTransformation& Transform() const;

    TTransformation* FTransformation = nullptr;
};

// Like TTransformer, but always reads whole pixels of the nested sampler.
class TNearestTransformer : public TTransformer {
    CL_DECLARE_CLASS(TNearestTransformer, TTransformer)
public:
    using TTransformer::TTransformer;
    TColor32 GetSampleInt(int32_t X, int32_t Y) override;
    // The mapped coordinates' upper 16 bits read as unsigned numbers.
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
    // The mapped coordinates rounded to the nearest integers.
    TColor32 GetSampleFloat(float X, float Y) override;
};

// ---------------------------------------------------------------------------------------------
// Resamplers

// A resampler that samples one TBitmap32 (not owned).
class TBitmap32Resampler : public TCustomResampler {
    CL_DECLARE_CLASS(TBitmap32Resampler, TCustomResampler)
public:
    TBitmap32Resampler() = default;
    // Becomes the bitmap's resampler (the bitmap owns it from then on).
    explicit TBitmap32Resampler(TBitmap32* Bitmap) { Attach(Bitmap); }

    TBitmap32* Bitmap() const { return FBitmap; }
    TPixelAccessMode PixelAccessMode() const { return FPixelAccessMode; }
    void SetPixelAccessMode(TPixelAccessMode Value);
    // The transformer class that goes with this resampler.
    const cl::TClass* TransformerClass() const { return FTransformerClass; }

    // Signals Changed on the bitmap.
    void Changed() override;
    // Copies the bitmap's clip rectangle.
    void PrepareSampling() override;
    bool HasBounds() const override { return true; }
    // The bitmap's clip rectangle, one pixel larger on every side for pamTransparentEdge.
    TRect GetSampleBounds() const override;

protected:
    // To another TBitmap32Resampler: the published properties; otherwise inherited.
    void AssignTo(cl::TPersistent* Dest) override;
    void Attach(TBitmap32* Bitmap);

    TBitmap32* FBitmap = nullptr;
    TPixelAccessMode FPixelAccessMode = pamSafe;
    const cl::TClass* FTransformerClass = nullptr;
    TRect FClipRect{};

private:
    friend class TBitmap32;
};

// Reads whole pixels; stretches by nearest neighbour.
class TNearestResampler : public TBitmap32Resampler {
    CL_DECLARE_CLASS(TNearestResampler, TBitmap32Resampler)
public:
    TNearestResampler();
    explicit TNearestResampler(TBitmap32* Bitmap);

    TColor32 GetSampleInt(int32_t X, int32_t Y) override { return (this->*FGetPixel)(X, Y); }
    // At ((X + 0x7FFF) shr 16, (Y + 0x7FFF) shr 16).
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
    // At (Round(X), Round(Y)).
    TColor32 GetSampleFloat(float X, float Y) override;
    // Binds the pixel reader by PixelAccessMode.
    void PrepareSampling() override;
    float GetWidth() const override { return 1.0f; }
    void Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

private:
    TColor32 ReadUnsafe(int32_t X, int32_t Y);
    TColor32 ReadClipped(int32_t X, int32_t Y);
    TColor32 ReadWrapped(int32_t X, int32_t Y);
    TColor32 ReadTransparentEdge(int32_t X, int32_t Y);
    TColor32 (TNearestResampler::*FGetPixel)(int32_t, int32_t) = &TNearestResampler::ReadClipped;
};

// Reads bilinearly; stretches bilinearly when enlarging, else by its linear kernel.
class TLinearResampler : public TBitmap32Resampler {
    CL_DECLARE_CLASS(TLinearResampler, TBitmap32Resampler)
public:
    TLinearResampler();
    explicit TLinearResampler(TBitmap32* Bitmap);

    TColor32 GetSampleFixed(TFixed X, TFixed Y) override { return (this->*FGetPixel)(X, Y); }
    // GetSampleFixed(Round(X x 65536), Round(Y x 65536)).
    TColor32 GetSampleFloat(float X, float Y) override;
    void PrepareSampling() override;
    float GetWidth() const override { return 1.0f; }
    void Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

protected:
    std::unique_ptr<TLinearKernel> FLinearKernel = std::make_unique<TLinearKernel>();

private:
    TColor32 ReadUnsafe(TFixed X, TFixed Y);
    TColor32 ReadClipped(TFixed X, TFixed Y);
    TColor32 ReadWrapped(TFixed X, TFixed Y);
    TColor32 ReadTransparentEdge(TFixed X, TFixed Y);
    TColor32 (TLinearResampler::*FGetPixel)(TFixed, TFixed) = &TLinearResampler::ReadClipped;
};

// Averages blocks when reducing; enlarges like the linear resampler.
class TDraftResampler : public TLinearResampler {
    CL_DECLARE_CLASS(TDraftResampler, TLinearResampler)
public:
    TDraftResampler() = default;
    explicit TDraftResampler(TBitmap32* Bitmap) : TLinearResampler(Bitmap) {}
    void Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;
};

// Samples and stretches through a filter kernel (a TBoxKernel at first).
class TKernelResampler : public TBitmap32Resampler {
    CL_DECLARE_CLASS(TKernelResampler, TBitmap32Resampler)
public:
    TKernelResampler();
    explicit TKernelResampler(TBitmap32* Bitmap);
    ~TKernelResampler() override;

    TColor32 GetSampleFloat(float X, float Y) override;
    // Copies OuterColor and, in the table modes, builds the weight table.
    void PrepareSampling() override;
    // Frees the weight table.
    void FinalizeSampling() override;
    float GetWidth() const override { return FKernel->GetWidth(); }
    void Resample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

    TCustomKernel* Kernel() const { return FKernel.get(); }
    // Takes the kernel over (the old one is freed); nil or the current kernel change nothing.
    void SetKernel(TCustomKernel* Value);
    cl::String KernelClassName() const { return FKernel->ClassName(); }
    // A registered kernel class of that name replaces the kernel; unknown names are ignored.
    void SetKernelClassName(const cl::String& Value);
    TKernelMode KernelMode() const { return FKernelMode; }
    void SetKernelMode(TKernelMode Value);
    int32_t TableSize() const { return FTableSize; }
    // At least 2.
    void SetTableSize(int32_t Value);

private:
    std::unique_ptr<TCustomKernel> FKernel;
    TKernelMode FKernelMode = kmDynamic;
    int32_t FTableSize = 32;
    TColor32 FOuterColor = 0;
    std::unique_ptr<TIntegerMap> FWeightTable;
};

// Adds a resampler class to ResamplerList together with the way to create one for a bitmap.
using TResamplerFactory = TBitmap32Resampler* (*)(TBitmap32* Bitmap);
void RegisterResampler(const cl::TClass* ResamplerClass, TResamplerFactory Factory);
template <class T>
void RegisterResampler() {
    RegisterResampler(&T::StaticClass(), [](TBitmap32* Bitmap) -> TBitmap32Resampler* { return new T(Bitmap); });
}
// A new resampler of a registered class that becomes Bitmap's resampler (nil bitmap: a
// free-standing one the caller owns); nil for a class that was not registered.
TBitmap32Resampler* CreateResampler(const cl::TClass* ResamplerClass, TBitmap32* Bitmap);

// ---------------------------------------------------------------------------------------------
// Stretch transfer

// The weight of one source position in a destination pixel; the weights of a cluster sum
// to 256.
struct TClusterEntry {
    int32_t Pos = 0;
    int32_t Weight = 0;
};
using TCluster = std::vector<TClusterEntry>;
using TMappingTable = std::vector<TCluster>;

// Pixel loops over at least this many pixels split their rows into bands over the
// processor's cores (win::ParallelRows); each row is computed as on one thread, so the
// bytes do not depend on the number of threads. Combining through a user callback
// (dmCustom) always stays on the calling thread.
constexpr int64_t kParallelPixels = int64_t{1} << 18;

// Copies the SrcRect of Src into DstRect of Dst, clipped to DstClip, stretching through
// the resampler when the sizes differ, and combines by CombineOp. Nil bitmaps raise
// EBitmapException; a SrcRect outside Src raises ESrcInvalidException; empty bitmaps and
// rectangles do nothing.
void StretchTransfer(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                     TCustomResampler* Resampler, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
// Copies and combines an equal-sized block; DstRect is already clipped.
void BlockTransfer(TBitmap32* Dst, const TRect& DstRect, TBitmap32* Src, int32_t SrcX, int32_t SrcY,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
void StretchNearest(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
// Bilinear stretch in 8-bit weights, for enlargement of a source of at least 2 x 2 pixels.
void StretchLinear(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
// One axis of kernel weights for the clipped destination range; false when there is no
// table (an empty source range).
bool BuildMappingTable(TMappingTable& Table, int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                       int32_t SrcLo, int32_t SrcHi, const TCustomKernel& Kernel);
void KernelResample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                    const TCustomKernel& Kernel, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
// Box averaging when reducing; otherwise the linear stretch or, for a source narrower than
// 2 pixels, the kernel resample.
void DraftResample(TBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32* Src, const TRect& SrcRect,
                   const TCustomKernel& Kernel, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);

// The average colour of a W x H block starting at P, rows Stride pixels apart.
using TBlockAverageProc = TColor32 (*)(int32_t W, int32_t H, const TColor32* P, int32_t Stride);
// The bilinear mix of P[0], P[1], Q[0], Q[1]; WX and WY carry the weight of the left and
// upper pixels (0..256) in their upper 16 bits.
using TInterpolatorProc = TColor32 (*)(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q);
extern TBlockAverageProc BlockAverage;
extern TInterpolatorProc Interpolator;
TColor32 BlockAverage_Pas(int32_t W, int32_t H, const TColor32* P, int32_t Stride);
TColor32 Interpolator_Pas(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q);

// Binds BlockAverage and Interpolator, registers the resampler and kernel classes and
// declares their published properties (the unit's start-up); frees the registries
// (shutdown).
void Pix32_Resamplers_Initialization();
void Pix32_Resamplers_Finalization();

}  // namespace pix32
