// The blur effect: box averages with the white margin against averages counted pixel by
// pixel, the frame numbering and the hand-over to a fuse on palette displays.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/teBlur.h"
#include "transitions/teFuse.h"

using namespace te;
using namespace tetest;

namespace {

class BlurTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUpteBlur();
    }
};

uint32_t Noise(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 2654435761u + static_cast<uint32_t>(y) * 40503u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    return (h ^ (h >> 15)) & 0xFFFFFF;
}

// The box of side 2a + 1 around (x, y), white outside the picture.
uint32_t BlurModel(const PixelFn& pic, int W, int H, int a, int x, int y) {
    uint32_t sum[3] = {0, 0, 0};
    for (int v = y - a; v <= y + a; ++v)
        for (int u = x - a; u <= x + a; ++u) {
            uint32_t p = u >= 0 && u < W && v >= 0 && v < H ? pic(u, v) : 0xFFFFFF;
            for (int c = 0; c < 3; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
        }
    uint32_t n = static_cast<uint32_t>((2 * a + 1) * (2 * a + 1)), out = 0;
    for (int c = 0; c < 3; ++c) out |= (sum[c] / n) << (8 * c);
    return out;
}

}  // namespace

TEST_F(BlurTest, EachFrameIsTheBoxAverageWithAWhiteMargin) {
    const int W = 13, H = 9, R = 4;
    auto newPic = [](int x, int y) { return Noise(y, x + 7); };
    TBlurTransition blur(nullptr);
    blur.SetRadius(R);
    FrameDriver bench(&blur, W, H, Noise, newPic, cl::pf24bit);
    ASSERT_EQ(bench.Init(), 2 * R);
    for (int k = 1; k <= 2 * R; ++k) {
        bench.Frame(k);
        const bool isNew = k >= R + 1;
        const int a = isNew ? 2 * R - k : k;
        const PixelFn& pic = isNew ? PixelFn(newPic) : PixelFn(Noise);
        ASSERT_EQ(bench.Compare([&](int x, int y) { return BlurModel(pic, W, H, a, x, y); }), "") << "frame " << k;
    }
    // The last frame is the new picture itself.
    EXPECT_EQ(bench.Compare(newPic), "");
}

TEST_F(BlurTest, ABlackPictureGetsAWhiteTintedBorderAboutTheRadiusWide) {
    const int W = 40, H = 30, R = 6;
    TBlurTransition blur(nullptr);
    blur.SetRadius(R);
    FrameDriver bench(
        &blur, W, H, [](int, int) { return 0u; }, NewColor, cl::pf24bit);
    bench.Init();
    bench.Frame(R);
    EXPECT_EQ(At(bench.Screen.get(), 20, 15), 0u);
    EXPECT_EQ(At(bench.Screen.get(), R, 15), 0u);
    EXPECT_NE(At(bench.Screen.get(), R - 1, 15), 0u);
    EXPECT_EQ(At(bench.Screen.get(), 0, 15), BlurModel([](int, int) { return 0u; }, W, H, R, 0, 15));
    EXPECT_GT(At(bench.Screen.get(), 0, 0) & 0xFF, At(bench.Screen.get(), 0, 15) & 0xFF);
}

TEST_F(BlurTest, RadiusLimitsFramesAndSettings) {
    TBlurTransition blur(nullptr);
    EXPECT_EQ(blur.GetRadius(), 50);
    blur.SetRadius(60);
    blur.SetRadius(0);
    EXPECT_EQ(blur.GetRadius(), 50);
    blur.SetRadius(1);
    {
        FrameDriver bench(&blur, 5, 4, Noise, NewColor, cl::pf24bit);
        ASSERT_EQ(bench.Init(), 2);
        bench.Frame(1);
        EXPECT_EQ(bench.Compare([](int x, int y) { return BlurModel(Noise, 5, 4, 1, x, y); }), "");
        bench.Frame(2);
        EXPECT_EQ(bench.Compare(NewColor), "");
    }
    cl::TStringList out;
    blur.SaveToStrings(&out, true, "p");
    EXPECT_EQ(out.Values("pRadius"), "1");
    TBlurTransition other(nullptr);
    cl::TStringList in;
    in.SetValue("Radius", "300");
    other.LoadFromStrings(&in, "");
    EXPECT_EQ(other.GetRadius(), 50);
    other.LoadFromStrings(&out, "p");
    EXPECT_EQ(other.GetRadius(), 1);
    EXPECT_EQ(cl::GetPropInfo(TBlurTransition::StaticClass(), "Radius")->Default, 50);
}

TEST_F(BlurTest, PaletteDisplaysGetAFuseOfStyleOne) {
    TBlurTransition blur(nullptr);
    blur.Milliseconds = 700;
    TTestDevice dev;
    dev.Format = cl::pf4bit;
    std::unique_ptr<TTransitionEffect> run(blur.TransitionForDevice(&dev, false));
    ASSERT_TRUE(run->Is<TFuseTransition>());
    EXPECT_EQ(static_cast<TFuseTransition*>(run.get())->GetStyle(), 1);
    EXPECT_EQ(run->Milliseconds, 700);
    dev.Format = cl::pf24bit;
    EXPECT_EQ(blur.TransitionForDevice(&dev, false), &blur);
}

// The new picture is copied before the first frame; a run that hands the new picture over
// only after Initialize gets it taken at the first frame of the second half.
TEST_F(BlurTest, TheNewPictureIsTakenAtHalfWhenItCameLate) {
    const int W = 11, H = 7, R = 2;
    auto newPic = [](int x, int y) { return Noise(x + 40, y); };
    for (bool late : {false, true}) {
        TBlurTransition blur(nullptr);
        blur.SetRadius(R);
        FrameDriver bench(&blur, W, H, Noise, newPic, cl::pf24bit);
        cl::TBitmap* dst = bench.data.DstImage;
        if (late) bench.data.DstImage = nullptr;
        ASSERT_EQ(bench.Init(), 2 * R);
        bench.data.DstImage = dst;
        auto* data = static_cast<TBlurData*>(bench.data.Custom.get());
        for (int k = 1; k <= 2 * R; ++k) {
            bench.Frame(k);
            EXPECT_EQ(data->HoldsOld, k < data->Half) << "frame " << k;
            const bool isNew = k >= R + 1;
            const int a = isNew ? 2 * R - k : k;
            const PixelFn pic = isNew ? PixelFn(newPic) : PixelFn(Noise);
            ASSERT_EQ(bench.Compare([&](int x, int y) { return BlurModel(pic, W, H, a, x, y); }), "")
                << "frame " << k << (late ? " (late)" : "");
        }
    }
}
