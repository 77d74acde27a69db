// The resampler classes: registration, properties, sampling by access mode, and the kernel
// sampler against the sum of its taps read through the bitmap's own readers.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "classlib/TypInfo.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_Resamplers.h"

using namespace pix32;

namespace {

// A 4 x 3 bitmap with distinct opaque pixels 0xFF0000ii.
std::unique_ptr<TBitmap32> Numbered() {
    auto b = std::make_unique<TBitmap32>();
    b->SetSize(4, 3);
    for (int i = 0; i < 12; ++i) b->Bits()[i] = 0xFF000000u | static_cast<TColor32>(0x10 * i + 1);
    return b;
}

TEST(Resamplers, RegisteredInOrder) {
    ASSERT_NE(ResamplerList(), nullptr);
    const char* names[] = {"TNearestResampler", "TLinearResampler", "TDraftResampler", "TKernelResampler"};
    ASSERT_EQ(ResamplerList()->GetCount(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_STREQ(ResamplerList()->Items(i)->Name, names[i]);
    TBitmap32 b;
    for (const char* n : names) {
        b.SetResamplerClassName(n);
        EXPECT_EQ(b.ResamplerClassName(), n);
        auto* r = dynamic_cast<TBitmap32Resampler*>(b.Resampler());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Bitmap(), &b);
        EXPECT_EQ(r->PixelAccessMode(), pamSafe);
    }
    EXPECT_STREQ(TNearestResampler().TransformerClass()->Name, "TNearestTransformer");
    EXPECT_STREQ(TLinearResampler().TransformerClass()->Name, "TTransformer");
    EXPECT_STREQ(TKernelResampler().TransformerClass()->Name, "TTransformer");
}

TEST(Resamplers, WidthsAndKernelChoice) {
    EXPECT_EQ(TNearestResampler().GetWidth(), 1.0f);
    EXPECT_EQ(TLinearResampler().GetWidth(), 1.0f);
    TKernelResampler k;
    EXPECT_EQ(k.KernelClassName(), "TBoxKernel");
    EXPECT_EQ(k.TableSize(), 32);
    EXPECT_EQ(k.KernelMode(), kmDynamic);
    k.SetKernelClassName("TLanczosKernel");
    EXPECT_EQ(k.GetWidth(), 3.0f);
    k.SetKernelClassName("TUnknownKernel");
    EXPECT_EQ(k.KernelClassName(), "TLanczosKernel");
    TCustomKernel* current = k.Kernel();
    k.SetKernel(nullptr);
    EXPECT_EQ(k.Kernel(), current);
    k.SetKernel(new TCubicKernel());
    EXPECT_EQ(k.KernelClassName(), "TCubicKernel");
    for (int v : {0, 1}) {
        k.SetTableSize(v);
        EXPECT_EQ(k.TableSize(), 2);
    }
}

TEST(Resamplers, PropertyChangesSignalTheBitmap) {
    TBitmap32 b;
    b.SetResamplerClassName("TKernelResampler");
    auto* r = static_cast<TKernelResampler*>(b.Resampler());
    int changes = 0;
    b.OnChange = [&](cl::TObject*) { ++changes; };
    r->SetPixelAccessMode(pamWrap);
    r->SetKernelMode(kmTableLinear);
    r->SetTableSize(64);
    r->SetKernelClassName("THannKernel");
    EXPECT_EQ(changes, 4);
    r->SetPixelAccessMode(pamWrap);
    r->SetTableSize(64);
    EXPECT_EQ(changes, 4);
}

TEST(Resamplers, AssignCopiesPublishedProperties) {
    TKernelResampler a, b;
    a.SetPixelAccessMode(pamTransparentEdge);
    a.SetKernelClassName("TGaussianKernel");
    static_cast<TGaussianKernel*>(a.Kernel())->SetSigma(2.5f);
    a.SetKernelMode(kmTableNearest);
    a.SetTableSize(8);
    b.Assign(&a);
    EXPECT_EQ(b.PixelAccessMode(), pamTransparentEdge);
    ASSERT_EQ(b.KernelClassName(), "TGaussianKernel");
    EXPECT_EQ(static_cast<TGaussianKernel*>(b.Kernel())->Sigma(), 2.5f);
    EXPECT_EQ(b.KernelMode(), kmTableNearest);
    EXPECT_EQ(b.TableSize(), 8);
    EXPECT_EQ(cl::GetStrProp(&b, "KernelClassName"), "TGaussianKernel");
    EXPECT_EQ(cl::GetEnumProp(&b, "PixelAccessMode"), "pamTransparentEdge");
}

TEST(Resamplers, BitmapPublishesItsSettings) {
    TBitmap32 b;
    cl::SetStrProp(&b, "ResamplerClassName", "TLinearResampler");
    EXPECT_EQ(b.ResamplerClassName(), "TLinearResampler");
    cl::SetEnumProp(&b, "DrawMode", "dmBlend");
    EXPECT_EQ(b.DrawMode(), dmBlend);
    cl::SetOrdProp(&b, "MasterAlpha", 128);
    EXPECT_EQ(b.MasterAlpha(), 128u);
    EXPECT_EQ(cl::GetEnumProp(&b, "WrapMode"), "wmClamp");
    EXPECT_EQ(cl::GetObjectProp(&b, "Resampler"), b.Resampler());
    EXPECT_EQ(cl::GetEnumProp(cl::GetObjectProp(&b, "Resampler"), "PixelAccessMode"), "pamSafe");
}

TEST(Resamplers, SampleBounds) {
    auto b = Numbered();
    b->SetClipRect(TRect{1, 0, 3, 2});
    auto* r = new TNearestResampler(b.get());
    EXPECT_TRUE(r->HasBounds());
    EXPECT_TRUE(RectsEqual(r->GetSampleBounds(), TRect{1, 0, 3, 2}));
    r->SetPixelAccessMode(pamTransparentEdge);
    EXPECT_TRUE(RectsEqual(r->GetSampleBounds(), TRect{0, -1, 4, 3}));
}

TEST(NearestSampling, ReadersByAccessMode) {
    auto b = Numbered();
    b->SetOuterColor(0x00ABCDEFu);
    b->SetClipRect(TRect{1, 0, 3, 2});
    auto* r = new TNearestResampler(b.get());
    struct Case {
        TPixelAccessMode mode;
        int x, y;
        TColor32 expect;
    };
    // clang-format off
    const Case cases[] = {
        {pamSafe, 2, 1, 0xFF000061u},          {pamSafe, 3, 1, 0x00ABCDEFu},
        {pamUnsafe, 3, 2, 0xFF0000B1u},        {pamWrap, 3, 1, 0xFF000061u},
        {pamTransparentEdge, 2, 1, 0xFF000061u}, {pamTransparentEdge, 5, 1, 0x00000061u},
        {pamTransparentEdge, 0, -4, 0x00000011u},
    };
    // clang-format on
    for (const Case& c : cases) {
        r->SetPixelAccessMode(c.mode);
        r->PrepareSampling();
        EXPECT_EQ(r->GetSampleInt(c.x, c.y), c.expect) << int(c.mode) << " " << c.x << "," << c.y;
        r->FinalizeSampling();
    }
    r->SetPixelAccessMode(pamSafe);
    r->PrepareSampling();
    // Fixed: (v + 0x7FFF) shr 16; float: halves to even.
    EXPECT_EQ(r->GetSampleFixed(0x17FFF, 0), 0xFF000011u);
    EXPECT_EQ(r->GetSampleFixed(0x18001, 0), 0xFF000021u);
    EXPECT_EQ(r->GetSampleFloat(1.5f, 0.0f), 0xFF000021u);
    EXPECT_EQ(r->GetSampleFloat(2.5f, 0.5f), 0xFF000021u);
}

TEST(LinearSampling, ReadersByAccessMode) {
    auto b = Numbered();
    auto* r = new TLinearResampler(b.get());
    r->PrepareSampling();
    EXPECT_EQ(r->GetSampleFixed(0x10000, 0x10000), b->PixelBilinearFixedClipped(0x10000, 0x10000));
    EXPECT_EQ(r->GetSampleFloat(1.25f, 0.5f), b->PixelBilinearFixedClipped(0x14000, 0x8000));
    EXPECT_EQ(r->GetSampleInt(1, 2), b->PixelBilinearFixedClipped(0x10000, 0x20000));
    r->SetPixelAccessMode(pamWrap);
    r->PrepareSampling();
    EXPECT_EQ(r->GetSampleFixed(-0x8000, 0x4000), b->PixelBilinearFixedWrapped(-0x8000, 0x4000));
}

TEST(LinearSampling, TransparentEdge) {
    auto b = Numbered();
    auto* r = new TLinearResampler(b.get());
    r->SetPixelAccessMode(pamTransparentEdge);
    r->PrepareSampling();
    // Inside: the plain gamma-weighted read.
    EXPECT_EQ(r->GetSampleFixed(0x18000, 0x8000), b->PixelBilinear256(0x180, 0x80));
    // On the left edge of the last row: the left pixels lose their alpha (and so do the
    // lower ones); the weights put everything on the left, upper pixel.
    EXPECT_EQ(r->GetSampleFixed(0, 0x20000), b->Pixel(0, 2) & 0x00FFFFFFu);
    // Just outside the left edge the weight moves to the right pixel, which keeps its alpha:
    // the picture fades out over the pixel beyond the edge.
    const TColor32 c1 = b->Pixel(0, 1) & 0x00FFFFFFu, c3 = b->Pixel(0, 2) & 0x00FFFFFFu;
    const TColor32 c2 = b->Pixel(0, 1), c4 = b->Pixel(0, 2);
    const TFixed x = -0x4000, y = 0x18000;
    const uint32_t wx = GammaTable[((x >> 8) & 255) ^ 255], wy = GammaTable[((y >> 8) & 255) ^ 255];
    EXPECT_EQ(r->GetSampleFixed(x, y), WeightedMix(WeightedMix(c1, c2, wx), WeightedMix(c3, c4, wx), wy));
    EXPECT_GT(AlphaOf(r->GetSampleFixed(x, y)), 0u);
    EXPECT_LT(AlphaOf(r->GetSampleFixed(x, y)), 255u);
    // More than one pixel outside: transparent black.
    EXPECT_EQ(r->GetSampleFixed(-0x20000, 0x10000), 0u);
    EXPECT_EQ(r->GetSampleFixed(0x10000, 0x40000), 0u);
}

TEST(KernelSampling, CentreOutsideTheClipRect) {
    auto b = Numbered();
    b->SetOuterColor(0x12345678u);
    b->SetClipRect(TRect{1, 0, 3, 2});
    auto* r = new TKernelResampler(b.get());
    r->PrepareSampling();
    EXPECT_EQ(r->GetSampleFloat(3.5f, 1.0f), 0x12345678u);  // Ceil(3.5) = 4 > Right
    r->SetPixelAccessMode(pamTransparentEdge);
    r->PrepareSampling();
    EXPECT_EQ(r->GetSampleFloat(3.5f, 1.0f), 0u);
    EXPECT_EQ(r->GetSampleFloat(1.0f, -1.5f), 0u);
    // Coordinates beyond any bitmap, or not numbers, are outside too.
    EXPECT_EQ(r->GetSampleFloat(3e30f, 1.0f), 0u);
    EXPECT_EQ(r->GetSampleFloat(1.0f, -INFINITY), 0u);
    r->SetPixelAccessMode(pamWrap);
    r->PrepareSampling();
    EXPECT_EQ(r->GetSampleFloat(3e30f, -3e30f), b->PixelWrapped(1073741824, -1073741824));
}

// The kernel sample as the plain weighted sum of all 2W + 1 x 2W + 1 taps, each read through
// a reader: under pamSafe every tap outside the clip rectangle counts as OuterColor.
TColor32 TapSum(const TKernelResampler& r, float X, float Y, const std::function<TColor32(int, int)>& read,
                bool alphaOfOutside, const TRect& clip) {
    const TCustomKernel& k = *r.Kernel();
    const int w = static_cast<int>(std::ceil(k.GetWidth()));
    const int cx = static_cast<int>(std::ceil(X)), cy = static_cast<int>(std::ceil(Y));
    std::vector<int> wx(2 * w + 1), wy(2 * w + 1);
    KernelWeightsDynamic(k, w, static_cast<float>(cx - X), wx.data());
    KernelWeightsDynamic(k, w, static_cast<float>(cy - Y), wy.data());
    long long s[4] = {0, 0, 0, 0};
    for (int j = -w; j <= w; ++j)
        for (int i = -w; i <= w; ++i) {
            const TColor32 c = read(cx + i, cy + j);
            const bool outside = !PointInRect(clip, TPoint{cx + i, cy + j});
            for (int ch = 0; ch < 4; ++ch) {
                if (ch == 3 && outside && !alphaOfOutside) continue;
                s[ch] += static_cast<long long>(wx[i + w]) * wy[j + w] * ((c >> (8 * ch)) & 0xFF);
            }
        }
    TColor32 out = 0;
    for (int ch = 0; ch < 4; ++ch) {
        long long v = static_cast<int32_t>(static_cast<uint32_t>(s[ch])) >> 16;
        v = k.RangeCheck() ? std::clamp<long long>(v, 0, 255) : (v & 0xFF);
        out |= static_cast<TColor32>(v) << (8 * ch);
    }
    return out;
}

TEST(KernelSampling, EqualsTheSumOfItsTapsInEveryAccessMode) {
    std::mt19937 rng(3);
    TBitmap32 b;
    b.SetSize(9, 7);
    for (int i = 0; i < 63; ++i) b.Bits()[i] = rng();
    b.SetOuterColor(0x80402010u);
    b.SetWrapMode(wmMirror);
    auto* r = new TKernelResampler(&b);
    std::uniform_real_distribution<float> ux(-1.0f, 10.0f), uy(-1.0f, 8.0f);
    for (const char* kernel : {"TBoxKernel", "TLinearKernel", "TCubicKernel", "TLanczosKernel", "TSplineKernel"}) {
        r->SetKernelClassName(kernel);
        for (TPixelAccessMode mode : {pamSafe, pamWrap, pamTransparentEdge}) {
            r->SetPixelAccessMode(mode);
            r->PrepareSampling();
            const TRect clip = b.ClipRect();
            for (int n = 0; n < 200; ++n) {
                const float x = ux(rng), y = uy(rng);
                const int cx = static_cast<int>(std::ceil(x)), cy = static_cast<int>(std::ceil(y));
                if (mode != pamWrap && (cx < clip.left || cx > clip.right || cy < clip.top || cy > clip.bottom))
                    continue;
                TColor32 expect = 0;
                if (mode == pamSafe)
                    expect = TapSum(
                        *r, x, y, [&](int px, int py) { return b.PixelClipped(px, py); }, true, clip);
                else if (mode == pamWrap)
                    expect = TapSum(
                        *r, x, y, [&](int px, int py) { return b.PixelWrapped(px, py); }, true,
                        TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
                else
                    expect = TapSum(
                        *r, x, y, [&](int px, int py) { return b.Pixel(std::clamp(px, 0, 8), std::clamp(py, 0, 6)); },
                        false, clip);
                ASSERT_EQ(r->GetSampleFloat(x, y), expect)
                    << kernel << " mode " << int(mode) << " at " << x << "," << y;
            }
            r->FinalizeSampling();
        }
    }
}

TEST(KernelSampling, TableModesFollowTheirTables) {
    std::mt19937 rng(11);
    TBitmap32 b;
    b.SetSize(6, 6);
    for (int i = 0; i < 36; ++i) b.Bits()[i] = rng();
    auto* r = new TKernelResampler(&b);
    r->SetKernelClassName("TCubicKernel");
    // At whole pixels every mode gives the pixel itself (the cubic kernel is 1 at 0 and 0 at
    // the other integers).
    for (TKernelMode m : {kmDynamic, kmTableNearest, kmTableLinear}) {
        r->SetKernelMode(m);
        r->PrepareSampling();
        for (int y = 1; y < 5; ++y)
            for (int x = 1; x < 5; ++x)
                EXPECT_EQ(r->GetSampleFloat(static_cast<float>(x), static_cast<float>(y)), b.Pixel(x, y));
        r->FinalizeSampling();
    }
    // With a table as fine as the sample offsets, the nearest row is the dynamic weight.
    r->SetKernelMode(kmTableNearest);
    r->SetTableSize(5);  // rows for offsets 0, 1/4, 2/4, 3/4, 1
    r->PrepareSampling();
    TBitmap32 same;
    same.Assign(&b);
    auto* d = static_cast<TKernelResampler*>(same.Resampler());
    d->SetKernelMode(kmDynamic);
    d->PrepareSampling();
    for (float off : {0.25f, 0.5f, 0.75f})
        EXPECT_EQ(r->GetSampleFloat(2.0f - off, 3.0f - off), d->GetSampleFloat(2.0f - off, 3.0f - off)) << off;
    r->FinalizeSampling();
}

}  // namespace
