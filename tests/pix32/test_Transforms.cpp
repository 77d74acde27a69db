// Transformations and the samplers that wrap other samplers; the logical row operators.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "pix32/Pix32.h"
#include "pix32/Pix32_Filters.h"
#include "pix32/Pix32_Resamplers.h"
#include "pix32/Pix32_Transforms.h"

using namespace pix32;

namespace {

// A shift by (2.5, -1) in the float forms; counts its preparations.
class TShift : public TTransformation {
public:
    int prepared = 0;
    void PrepareTransform() override {
        ++prepared;
        FTransformValid = true;
    }
    void ReverseTransformFloat(float DstX, float DstY, float& SrcX, float& SrcY) override {
        SrcX = DstX - 2.5f;
        SrcY = DstY + 1.0f;
    }
    void TransformFloat(float SrcX, float SrcY, float& DstX, float& DstY) override {
        DstX = SrcX + 2.5f;
        DstY = SrcY - 1.0f;
    }
};

// Maps everything to one fixed-point source point.
class TToPoint : public TTransformation {
public:
    TFixed x = 0, y = 0;
    void ReverseTransformFixed(TFixed, TFixed, TFixed& SrcX, TFixed& SrcY) override {
        SrcX = x;
        SrcY = y;
    }
};

// Records what it is asked for.
class TProbe : public TCustomSampler {
public:
    std::vector<std::string> calls;
    TColor32 GetSampleInt(int32_t X, int32_t Y) override {
        calls.push_back("int " + std::to_string(X) + " " + std::to_string(Y));
        return 1;
    }
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override {
        calls.push_back("fixed " + std::to_string(X) + " " + std::to_string(Y));
        return 2;
    }
    TColor32 GetSampleFloat(float X, float Y) override {
        calls.push_back("float " + std::to_string(X) + " " + std::to_string(Y));
        return 3;
    }
    void PrepareSampling() override { calls.push_back("prepare"); }
    void FinalizeSampling() override { calls.push_back("finalize"); }
    bool HasBounds() const override { return true; }
    TRect GetSampleBounds() const override { return TRect{1, 2, 3, 4}; }
};

TEST(Transformation, PreparesOnceUntilChanged) {
    TShift t;
    EXPECT_FALSE(t.TransformValid());
    const TFloatPoint p = t.ReverseTransformPoint(TFloatPoint{4.0f, 4.0f});
    EXPECT_EQ(p.X, 1.5f);
    EXPECT_EQ(p.Y, 5.0f);
    EXPECT_EQ(t.prepared, 1);
    t.ReverseTransformPoint(TFloatPoint{0, 0});
    t.TransformPoint(TPoint{1, 1});
    EXPECT_EQ(t.prepared, 1);
    int changes = 0;
    t.OnChange = [&](cl::TObject*) { ++changes; };
    t.Changed();
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(t.TransformValid());
    t.ReverseTransformPoint(TFixedPoint{0, 0});
    EXPECT_EQ(t.prepared, 2);
}

TEST(Transformation, IntegerAndFixedFormsReachTheFloatForms) {
    TShift t;
    // (3, 0) - (2.5, -1) = (0.5, 1): FixedRound takes halves down.
    const TPoint p = t.ReverseTransformPoint(TPoint{3, 0});
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 1);
    const TFixedPoint f = t.ReverseTransformPoint(TFixedPoint{0x40000, 0x8000});
    EXPECT_EQ(f.X, 0x18000);
    EXPECT_EQ(f.Y, 0x18000);
    const TPoint q = t.TransformPoint(TPoint{1, 1});
    EXPECT_EQ(q.x, 3);  // 3.5 rounds down in FixedRound
    EXPECT_EQ(q.y, 0);
}

TEST(Transformation, BaseClassMapsNothing) {
    TTransformation t;
    int32_t x = 0, y = 0;
    try {
        t.ReverseTransformInt(1, 2, x, y);
        FAIL();
    } catch (const ETransformNotImplemented& e) {
        EXPECT_EQ(e.Message, "Reverse transformation is not implemented in TTransformation.");
    }
    try {
        t.TransformPoint(TFixedPoint{});
        FAIL();
    } catch (const ETransformNotImplemented& e) {
        EXPECT_EQ(e.Message, "Forward transformation is not implemented in TTransformation.");
    }
    EXPECT_TRUE(t.HasTransformedBounds());
    EXPECT_TRUE(RectsEqual(t.GetTransformedBounds(TFloatRect{0.5f, 1.5f, 2.5f, 3.5f}), TRect{0, 2, 2, 4}));
}

TEST(NestedSamplers, TransformerForwardsMappedCoordinates) {
    TProbe probe;
    TShift shift;
    TTransformer tr(&probe, &shift);
    tr.PrepareSampling();
    EXPECT_EQ(shift.prepared, 1);
    EXPECT_EQ(tr.GetSampleInt(3, 0), 2u);
    EXPECT_EQ(tr.GetSampleFixed(0x40000, 0), 2u);
    EXPECT_EQ(tr.GetSampleFloat(2.5f, 0.0f), 3u);
    tr.FinalizeSampling();
    const std::vector<std::string> expected{"prepare", "fixed 32768 65536", "fixed 98304 65536",
                                            "float 0.000000 1.000000", "finalize"};
    EXPECT_EQ(probe.calls, expected);
    EXPECT_TRUE(tr.HasBounds());
    // Bounds (1, 2, 3, 4) through the base class's rounding.
    EXPECT_TRUE(RectsEqual(tr.GetSampleBounds(), TRect{1, 2, 3, 4}));
}

TEST(NestedSamplers, NearestTransformerReadsWholePixels) {
    TProbe probe;
    TToPoint to;
    TNearestTransformer tr(&probe, &to);
    to.x = -0x8000;  // -0.5
    to.y = 0x28000;  // 2.5
    EXPECT_EQ(tr.GetSampleFixed(0, 0), 1u);
    EXPECT_EQ(probe.calls.back(), "int 65535 2");
    EXPECT_EQ(tr.GetSampleInt(0, 0), 1u);
    EXPECT_EQ(probe.calls.back(), "int -1 2");  // FixedRound(-0.5) = -1, FixedRound(2.5) = 2
    TShift shift;
    tr.SetTransformation(&shift);
    EXPECT_EQ(tr.GetSampleFloat(3.0f, 1.5f), 1u);
    EXPECT_EQ(probe.calls.back(), "int 0 2");  // (0.5, 2.5): halves to even
}

TEST(NestedSamplers, TransformerOverABitmapResampler) {
    TBitmap32 b;
    b.SetSize(4, 4);
    for (int i = 0; i < 16; ++i) b.Bits()[i] = 0xFF000000u | static_cast<TColor32>(i);
    TShift shift;
    TNearestTransformer tr(b.Resampler(), &shift);
    tr.PrepareSampling();
    EXPECT_EQ(tr.GetSampleInt(3, 1), b.Pixel(0, 2));  // (0.5, 2): FixedRound takes the half down
    EXPECT_EQ(tr.GetSampleInt(9, 1), 0u);             // outside: OuterColor
    tr.FinalizeSampling();
    b.SetResamplerClassName("TLinearResampler");
    TTransformer lt(b.Resampler(), &shift);
    lt.PrepareSampling();
    EXPECT_EQ(lt.GetSampleFixed(0x30000, 0x10000), b.PixelBilinearFixedClipped(0x8000, 0x20000));
    lt.FinalizeSampling();
}

TEST(NestedSamplers, MissingSamplerOrTransformation) {
    TNestedSampler n;
    try {
        n.PrepareSampling();
        FAIL();
    } catch (const ENestedException& e) {
        EXPECT_EQ(e.Message, "Nested sampler is nil");
    }
    EXPECT_THROW(n.GetSampleBounds(), ENestedException);
    TProbe probe;
    TTransformer tr(&probe);
    EXPECT_THROW(tr.GetSampleInt(0, 0), ENestedException);
    TTransformer copy;
    TShift shift;
    tr.SetTransformation(&shift);
    copy.Assign(&tr);
    EXPECT_EQ(copy.Sampler(), &probe);
    EXPECT_EQ(copy.Transformation(), &shift);
}

// ------------------------------------------------------------------ logical row operators

TEST(LogicalRows, EveryOperatorAndCount) {
    std::mt19937 rng(17);
    struct Op {
        TLogicalOperatorInPlace inPlace;
        TLogicalOperatorCopy copy;
        uint32_t (*apply)(uint32_t, uint32_t);
    };
    const Op ops[] = {
        {XorRow, XorRowCopy, [](uint32_t a, uint32_t m) { return a ^ m; }},
        {OrRow, OrRowCopy, [](uint32_t a, uint32_t m) { return a | m; }},
        {AndRow, AndRowCopy, [](uint32_t a, uint32_t m) { return a & m; }},
    };
    for (const Op& op : ops)
        for (int count : {0, 1, 15, 16, 17, 33, 100}) {
            std::vector<TColor32> src(110), dst(110), row(110);
            for (auto& v : src) v = rng();
            for (auto& v : dst) v = rng();
            row = src;
            const uint32_t mask = rng();
            const auto dstBefore = dst;
            op.copy(src.data(), dst.data(), count, mask);
            op.inPlace(row.data(), mask, count);
            for (int i = 0; i < 110; ++i) {
                const uint32_t want = op.apply(src[static_cast<size_t>(i)], mask);
                EXPECT_EQ(dst[static_cast<size_t>(i)], i < count ? want : dstBefore[static_cast<size_t>(i)]);
                EXPECT_EQ(row[static_cast<size_t>(i)], i < count ? want : src[static_cast<size_t>(i)]);
            }
            // Source and destination may be one row.
            auto same = src;
            op.copy(same.data(), same.data(), count, mask);
            EXPECT_EQ(same, row);
        }
}

TEST(LogicalRows, AndRowCopyClearsAlpha) {
    const TColor32 src[3] = {0xFF112233u, 0x80445566u, 0x01778899u};
    TColor32 dst[3] = {};
    AndRowCopy(src, dst, 3, 0x00FFFFFFu);
    EXPECT_EQ(dst[0], 0x00112233u);
    EXPECT_EQ(dst[1], 0x00445566u);
    EXPECT_EQ(dst[2], 0x00778899u);
}

}  // namespace
