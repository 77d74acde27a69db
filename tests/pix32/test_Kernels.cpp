#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "pix32/Pix32_Resamplers.h"

using namespace pix32;

namespace {

struct KernelPoint {
    const char* kernel;
    float x;
    float expected;
};

// Values worked out from the kernels' formulas in double precision.
TEST(Kernels, ValuesAtChosenPoints) {
    // clang-format off
    const KernelPoint points[] = {
        {"TBoxKernel", 0.0f, 1.0f},        {"TBoxKernel", 0.5f, 1.0f},         {"TBoxKernel", -0.5f, 1.0f},
        {"TBoxKernel", 0.5001f, 0.0f},     {"TBoxKernel", -0.75f, 0.0f},
        {"TLinearKernel", 0.0f, 1.0f},     {"TLinearKernel", -1.0f, 0.0f},     {"TLinearKernel", 0.25f, 0.75f},
        {"TLinearKernel", -0.6f, 0.4f},    {"TLinearKernel", 1.5f, 0.0f},
        {"TCosineKernel", 0.0f, 1.0f},     {"TCosineKernel", 0.25f, 0.8535534f}, {"TCosineKernel", -0.5f, 0.5f},
        {"TCosineKernel", 1.0f, 0.0f},     {"TCosineKernel", 1.3f, 0.0f},
        {"TSplineKernel", 0.0f, 0.6666667f}, {"TSplineKernel", 0.25f, 0.6119792f}, {"TSplineKernel", -0.5f, 0.4791667f},
        {"TSplineKernel", 1.3f, 0.0571667f}, {"TSplineKernel", 2.0f, 0.0f},
        {"TMitchellKernel", 0.0f, 0.8888889f}, {"TMitchellKernel", 0.25f, 0.7821181f},
        {"TMitchellKernel", -0.5f, 0.5347222f}, {"TMitchellKernel", 1.3f, -0.0299444f}, {"TMitchellKernel", 2.5f, 0.0f},
        {"TCubicKernel", 0.0f, 1.0f},      {"TCubicKernel", 1.0f, 0.0f},       {"TCubicKernel", 1.5f, -0.0625f},
        {"TCubicKernel", -0.5f, 0.5625f},  {"TCubicKernel", 2.0f, 0.0f},
        {"THermiteKernel", 0.0f, 1.0f},    {"THermiteKernel", 0.5f, 0.5625f},  {"THermiteKernel", -0.5f, 0.5625f},
        {"THermiteKernel", 1.5f, -0.0625f}, {"THermiteKernel", -1.5f, -0.0625f}, {"THermiteKernel", -1.0f, 0.0f},
        {"THermiteKernel", 2.0f, 0.0f},    {"THermiteKernel", -2.5f, 0.0f},
        {"TSinshKernel", 0.0f, 1.0f},      {"TSinshKernel", 0.25f, 0.877586f}, {"TSinshKernel", -0.5f, 0.5755919f},
        {"TSinshKernel", 1.3f, -0.1067796f}, {"TSinshKernel", 2.5f, 0.0197105f},
        {"TLanczosKernel", 0.0f, 1.0f},    {"TLanczosKernel", 0.25f, 0.8900671f}, {"TLanczosKernel", -0.5f, 0.6079271f},
        {"TLanczosKernel", 1.3f, -0.1423301f}, {"TLanczosKernel", 2.5f, 0.0243171f}, {"TLanczosKernel", 3.0f, 0.0f},
        {"TGaussianKernel", 0.0f, 1.0f},   {"TGaussianKernel", 0.25f, 0.871463f}, {"TGaussianKernel", -0.5f, 0.5588504f},
        {"TGaussianKernel", 1.3f, -0.0821018f}, {"TGaussianKernel", 2.5f, 0.0049011f},
        {"TBlackmanKernel", 0.0f, 1.0f},   {"TBlackmanKernel", 0.25f, 0.875328f}, {"TBlackmanKernel", -0.5f, 0.5685095f},
        {"TBlackmanKernel", 1.3f, -0.0893137f}, {"TBlackmanKernel", 2.5f, 0.0034361f},
        {"THannKernel", 0.0f, 1.0f},       {"THannKernel", 0.25f, 0.8849775f}, {"THannKernel", -0.5f, 0.5939743f},
        {"THannKernel", 1.3f, -0.1196381f}, {"THannKernel", 2.5f, 0.0085291f}, {"THannKernel", -3.5f, 0.0f},
        {"THammingKernel", 0.0f, 1.0f},    {"THammingKernel", 0.25f, 0.8862047f}, {"THammingKernel", -0.5f, 0.597386f},
        {"THammingKernel", 1.3f, -0.1259143f}, {"THammingKernel", 2.5f, 0.0180327f},
    };
    // clang-format on
    for (const auto& p : points) {
        const auto k = CreateKernelByName(p.kernel);
        ASSERT_NE(k, nullptr) << p.kernel;
        EXPECT_NEAR(k->Filter(p.x), p.expected, 2e-6f) << p.kernel << " at " << p.x;
    }
}

TEST(Kernels, ExactEdges) {
    TBoxKernel box;
    EXPECT_EQ(box.Filter(0.5f), 1.0f);
    EXPECT_EQ(box.Filter(0.5001f), 0.0f);
    TLinearKernel lin;
    EXPECT_EQ(lin.Filter(-1.0f), 0.0f);
    TCubicKernel cubic;
    EXPECT_EQ(cubic.Filter(0.0f), 1.0f);
    EXPECT_EQ(cubic.Filter(1.0f), 0.0f);
    EXPECT_EQ(cubic.Filter(1.5f), -0.0625f);
}

struct WidthCase {
    const char* kernel;
    float width;
    bool rangeCheck;
};

TEST(Kernels, WidthsAndRangeChecks) {
    const WidthCase cases[] = {
        {"TBoxKernel", 1, false},     {"TLinearKernel", 1, false},  {"TCosineKernel", 1, false},
        {"TSplineKernel", 2, true},   {"TMitchellKernel", 2, true}, {"TCubicKernel", 2, true},
        {"THermiteKernel", 2, true},  {"TSinshKernel", 3, true},    {"TLanczosKernel", 3, true},
        {"TGaussianKernel", 3, true}, {"TBlackmanKernel", 3, true}, {"THannKernel", 3, true},
        {"THammingKernel", 3, true},
    };
    for (const auto& c : cases) {
        const auto k = CreateKernelByName(c.kernel);
        ASSERT_NE(k, nullptr) << c.kernel;
        EXPECT_EQ(k->GetWidth(), c.width) << c.kernel;
        EXPECT_EQ(k->RangeCheck(), c.rangeCheck) << c.kernel;
        EXPECT_STREQ(k->ClassName(), c.kernel);
    }
}

TEST(Kernels, HermiteBiasAndTension) {
    THermiteKernel k;
    k.SetTension(1.0f);  // m = 0: the plain cubic Hermite basis
    EXPECT_NEAR(k.Filter(0.5f), 0.5f, 1e-7f);
    EXPECT_NEAR(k.Filter(1.5f), 0.0f, 1e-7f);
    k.SetTension(0.0f);
    k.SetBias(1.0f);  // Tp = 1, Tn = 0
    EXPECT_NEAR(k.Filter(0.5f), 0.5f + 0.125f + 0.125f, 1e-6f);
    EXPECT_NEAR(k.Filter(1.5f), -0.125f, 1e-6f);
    EXPECT_NEAR(k.Filter(-1.5f), 0.0f, 1e-7f);
}

// Counts the Changed calls a kernel sends to its observer.
class TCountingObserver : public TNotifiablePersistent {
public:
    void Changed() override { ++changes; }
    int changes = 0;
};

TEST(KernelProperties, SettersStoreLimitedValuesAndNotifyOnChange) {
    TCountingObserver obs;
    TLanczosKernel lanczos;
    lanczos.Observer = &obs;
    lanczos.SetWidth(10.0f);
    EXPECT_EQ(lanczos.GetWidth(), 4.0f);
    EXPECT_EQ(obs.changes, 1);
    lanczos.SetWidth(4.0f);  // same value: nothing
    EXPECT_EQ(obs.changes, 1);
    lanczos.SetWidth(2.5f);
    EXPECT_EQ(lanczos.GetWidth(), 2.5f);
    EXPECT_EQ(lanczos.Filter(2.5f), 0.0f);
    EXPECT_EQ(obs.changes, 2);

    TSinshKernel sinsh;
    sinsh.Observer = &obs;
    sinsh.SetWidth(10.0f);
    EXPECT_EQ(sinsh.GetWidth(), 10.0f);
    sinsh.SetCoeff(0.0f);
    EXPECT_EQ(sinsh.Coeff(), 0.5f);
    EXPECT_EQ(obs.changes, 3);

    TGaussianKernel gauss;
    gauss.Observer = &obs;
    gauss.SetSigma(0.0f);
    EXPECT_EQ(gauss.Sigma(), 1.33f);
    gauss.SetSigma(2.0f);
    EXPECT_EQ(gauss.Sigma(), 2.0f);
    EXPECT_EQ(obs.changes, 4);

    TCubicKernel cubic;  // without an observer nothing is told
    cubic.SetCoeff(-1.0f);
    EXPECT_EQ(cubic.Coeff(), -1.0f);
    EXPECT_EQ(cubic.Filter(1.5f), -0.125f);
}

TEST(KernelProperties, AssignCopiesPublishedProperties) {
    TGaussianKernel src;
    src.SetWidth(2.0f);
    src.SetSigma(0.75f);
    TGaussianKernel dst;
    TCountingObserver obs;
    dst.Observer = &obs;
    dst.Assign(&src);
    EXPECT_EQ(dst.GetWidth(), 2.0f);
    EXPECT_EQ(dst.Sigma(), 0.75f);
    EXPECT_EQ(obs.changes, 2);

    // A Lanczos kernel takes the Width of a Hann kernel: both publish it.
    THannKernel hann;
    hann.SetWidth(3.5f);
    TLanczosKernel lanczos;
    lanczos.Assign(&hann);
    EXPECT_EQ(lanczos.GetWidth(), 3.5f);

    // A box kernel has nothing to copy; a kernel lacking a published property fails.
    TBoxKernel box;
    EXPECT_NO_THROW(lanczos.Assign(&box));
    EXPECT_THROW(box.Assign(&src), cl::Exception);

    // Not a kernel: the class library's conversion error.
    cl::TStringList strings;
    EXPECT_THROW(strings.Assign(&src), cl::Exception);
}

TEST(KernelProperties, PublishedThroughTheClassLibrary) {
    TGaussianKernel gauss;
    EXPECT_FLOAT_EQ(static_cast<float>(cl::GetFloatProp(&gauss, "Sigma")), 1.33f);
    EXPECT_EQ(cl::GetFloatProp(&gauss, "Width"), 3.0);  // inherited from the windowed sinc
    cl::SetFloatProp(&gauss, "Width", 7.0);
    EXPECT_EQ(gauss.GetWidth(), 4.0f);  // through the setter
    THermiteKernel hermite;
    EXPECT_TRUE(cl::IsPublishedProp(&hermite, "Bias"));
    EXPECT_TRUE(cl::IsPublishedProp(&hermite, "Tension"));
    TCubicKernel cubic;
    EXPECT_EQ(cl::GetFloatProp(&cubic, "Coeff"), -0.5);
    TSinshKernel sinsh;
    EXPECT_EQ(cl::GetFloatProp(&sinsh, "Coeff"), 0.5);
    TBoxKernel box;
    EXPECT_FALSE(cl::IsPublishedProp(&box, "Width"));
}

TEST(KernelRegistry, RegisteredInOrderAndFoundByExactName) {
    ASSERT_NE(KernelList(), nullptr);
    const char* const expected[] = {"TBoxKernel",      "TLinearKernel",   "TCosineKernel",  "TSplineKernel",
                                    "TCubicKernel",    "TMitchellKernel", "TLanczosKernel", "TGaussianKernel",
                                    "TBlackmanKernel", "THannKernel",     "THammingKernel", "TSinshKernel",
                                    "THermiteKernel"};
    ASSERT_EQ(KernelList()->GetCount(), 13);
    for (int i = 0; i < 13; ++i) EXPECT_STREQ(KernelList()->Items(i)->Name, expected[i]);
    EXPECT_EQ(CreateKernelByName("tlanczoskernel"), nullptr);
    EXPECT_EQ(CreateKernelByName("TNoSuchKernel"), nullptr);
    EXPECT_EQ(CreateKernel(&cl::TPersistent::StaticClass()), nullptr);
}

}  // namespace

namespace {

using Weights = std::vector<int32_t>;

Weights Dynamic(const TCustomKernel& k, float d) {
    const int32_t w = KernelRadius(k);
    Weights out(2 * w + 1);
    KernelWeightsDynamic(k, w, d, out.data());
    return out;
}

Weights FromTable(const TCustomKernel& k, TKernelMode mode, int32_t tableSize, float d) {
    const int32_t w = KernelRadius(k);
    TIntegerMap table;
    BuildWeightTable(table, k, w, tableSize);
    Weights out(2 * w + 1);
    KernelWeightsFromTable(table, mode, tableSize, d, out.data());
    return out;
}

TEST(KernelWeights, WorkedExamples) {
    TLinearKernel lin;
    EXPECT_EQ(Dynamic(lin, 0.25f), (Weights{64, 192, 0}));
    // Nearest row: Round(0.25 x 31) = 8, D = 8/31.
    EXPECT_EQ(FromTable(lin, kmTableNearest, 32, 0.25f), (Weights{66, 190, 0}));
    // Between rows 7 (58, 198, 0) and 8 (66, 190, 0) at f = 0.75, the centre corrected.
    EXPECT_EQ(FromTable(lin, kmTableLinear, 32, 0.25f), (Weights{64, 192, 0}));
    TBoxKernel box;
    EXPECT_EQ(Dynamic(box, 0.0f), (Weights{0, 256, 0}));
    EXPECT_EQ(Dynamic(box, 0.5f), (Weights{256, 0, 0}));  // both taps at +-0.5 count: the centre gives way
}

TEST(KernelWeights, EveryKernelSumsTo256InEveryMode) {
    for (int i = 0; i < KernelList()->GetCount(); ++i) {
        const auto k = CreateKernel(KernelList()->Items(i));
        for (float d : {0.0f, 0.1f, 0.33f, 0.5f, 0.77f, 0.999f}) {
            for (const Weights& w : {Dynamic(*k, d), FromTable(*k, kmTableNearest, 32, d),
                                     FromTable(*k, kmTableLinear, 32, d), FromTable(*k, kmTableLinear, 2, d)}) {
                int64_t sum = 0;
                for (int32_t v : w) sum += v;
                EXPECT_EQ(sum, 256) << k->ClassName() << " at " << d;
                EXPECT_EQ(static_cast<int32_t>(w.size()), 2 * KernelRadius(*k) + 1);
            }
        }
    }
}

TEST(KernelWeights, TableRowsAreTheDynamicWeights) {
    TLanczosKernel k;
    const int32_t w = KernelRadius(k);
    TIntegerMap table;
    BuildWeightTable(table, k, w, 8);
    EXPECT_EQ(table.Width(), 7);
    EXPECT_EQ(table.Height(), 9);
    for (int32_t r = 0; r <= 8; ++r) {
        const Weights expected = Dynamic(k, static_cast<float>(r / 7.0));
        const Weights row(table.ValPtr(0, r), table.ValPtr(0, r) + 7);
        EXPECT_EQ(row, expected) << "row " << r;
    }
    // TableSize below 2 counts as 2.
    BuildWeightTable(table, k, w, 0);
    EXPECT_EQ(table.Height(), 3);
}

TEST(KernelWeights, RadiusIsCutAndMismatchedTablesFail) {
    TSinshKernel sinsh;
    sinsh.SetWidth(1e9f);
    EXPECT_EQ(KernelRadius(sinsh), MaxKernelRadius);
    sinsh.SetWidth(-3.0f);
    EXPECT_EQ(KernelRadius(sinsh), 0);
    sinsh.SetWidth(2.2f);
    EXPECT_EQ(KernelRadius(sinsh), 3);

    TLinearKernel lin;
    TIntegerMap table;
    BuildWeightTable(table, lin, 1, 4);
    int32_t out[3];
    EXPECT_THROW(KernelWeightsFromTable(table, kmTableLinear, 40, 0.9f, out), cl::Exception);
    EXPECT_THROW(KernelWeightsFromTable(table, kmTableNearest, 40, 0.9f, out), cl::Exception);
    EXPECT_NO_THROW(KernelWeightsFromTable(table, kmTableLinear, 4, 1.0f, out));
}

}  // namespace
