#include "pix32/Pix32_Resamplers.h"

#include <cmath>
#include <map>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"

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
// Registries

namespace {
std::unique_ptr<TClassList> g_KernelList;
std::unique_ptr<TClassList> g_ResamplerList;
std::map<const cl::TClass*, TKernelFactory> g_KernelFactories;
}  // namespace

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

// A published single-precision property over a getter and a setter of class C.
template <class C>
cl::TPropInfo SingleProp(const char* Name, float (C::*Get)() const, void (C::*Set)(float)) {
    cl::TPropInfo p;
    p.Name = Name;
    p.Kind = cl::tkFloat;
    p.TypeName = "Single";
    p.GetFloat = [Get](const cl::TObject* o) { return static_cast<double>((static_cast<const C*>(o)->*Get)()); };
    p.SetFloat = [Set](cl::TObject* o, double v) { (static_cast<C*>(o)->*Set)(static_cast<float>(v)); };
    return p;
}

void DeclareKernelProperties() {
    static bool declared = false;  // the class library keeps declarations for the whole run
    if (declared) return;
    declared = true;
    cl::DeclarePublished(TCubicKernel::StaticClass(), {SingleProp("Coeff", &TCubicKernel::Coeff, &TCubicKernel::SetCoeff)});
    cl::DeclarePublished(THermiteKernel::StaticClass(),
                         {SingleProp("Bias", &THermiteKernel::Bias, &THermiteKernel::SetBias),
                          SingleProp("Tension", &THermiteKernel::Tension, &THermiteKernel::SetTension)});
    cl::DeclarePublished(TSinshKernel::StaticClass(),
                         {SingleProp("Width", &TSinshKernel::Width, &TSinshKernel::SetWidth),
                          SingleProp("Coeff", &TSinshKernel::Coeff, &TSinshKernel::SetCoeff)});
    cl::DeclarePublished(TWindowedSincKernel::StaticClass(),
                         {SingleProp("Width", &TWindowedSincKernel::Width, &TWindowedSincKernel::SetWidth)});
    cl::DeclarePublished(TGaussianKernel::StaticClass(),
                         {SingleProp("Sigma", &TGaussianKernel::Sigma, &TGaussianKernel::SetSigma)});
}

}  // namespace

void Pix32_Resamplers_Initialization() {
    DeclareKernelProperties();
    if (g_KernelList && g_KernelList->Count() > 0) return;  // once
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
}

}  // namespace pix32
