// Filter kernels of the resamplers and the class registries by which resamplers and kernels
// are chosen by name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/Classes.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Containers.h"
#include "pix32/Pix32_OrdinalMaps.h"

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

// Registers the kernel classes and declares the kernels' published properties (the unit's
// start-up); frees the registries (shutdown).
void Pix32_Resamplers_Initialization();
void Pix32_Resamplers_Finalization();

}  // namespace pix32
