// The pixelate effect: block averages from the summed-area table against averages counted
// pixel by pixel, the frame numbering and the hand-over to a fuse on palette displays.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/teFuse.h"
#include "transitions/tePixelt.h"

using namespace te;
using namespace tetest;

namespace {

class PixelateTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUptePixelt();
    }
};

uint32_t Noise(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return (h ^ (h >> 15)) & 0xFFFFFF;
}

// The average of the box of columns [x0, x1) and rows [y0, y1) (rows from the top).
uint32_t BoxAverage(const PixelFn& pic, int x0, int y0, int x1, int y1, bool shift2) {
    uint32_t sum[3] = {0, 0, 0};
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c) sum[c] += (pic(x, y) >> (8 * c)) & 0xFF;
    uint32_t n = static_cast<uint32_t>((x1 - x0) * (y1 - y0)), out = 0;
    for (int c = 0; c < 3; ++c) out |= (shift2 ? sum[c] >> 2 : sum[c] / n) << (8 * c);
    return out;
}

// What a pixel shows in blocks of side s: blocks anchored at the bottom-left corner; strips
// at the right and top averaged over the last s columns or rows; sides 1 and 2 in 2 x 2
// blocks whose odd last column and top line repeat their neighbour, or over the pixels that
// exist in a run one pixel wide or high.
uint32_t BlockModel(const PixelFn& pic, int W, int H, int s, int x, int y) {
    const int r = H - 1 - y;  // row from the bottom
    int bw = s, bh = s;
    if (s <= 2) {
        bw = W < 2 ? 1 : 2;
        bh = H < 2 ? 1 : 2;
    }
    int c0 = (x / bw) * bw, r0 = (r / bh) * bh;
    if (c0 + bw > W) c0 = s <= 2 ? c0 - bw : W - bw;
    if (r0 + bh > H) r0 = s <= 2 ? r0 - bh : H - bh;
    // rows [r0, r0 + bh) from the bottom are rows [H - r0 - bh, H - r0) from the top
    return BoxAverage(pic, c0, H - r0 - bh, c0 + bw, H - r0, s <= 2 && bw * bh == 4);
}

}  // namespace

TEST_F(PixelateTest, BlocksAreTheAveragesOfTheirPixelsWithStripsAtTheRightAndTop) {
    struct Size {
        int W, H;
    } sizes[] = {{23, 17}, {24, 18}, {101, 12}, {1, 9}, {9, 1}, {1, 1}, {2, 3}};
    for (const Size& z : sizes) {
        auto pic = MakePicture(z.W, z.H, Noise, cl::pf24bit);
        TSummedAreaTable table;
        table.Build(pic.get(), z.W, z.H, 0);
        auto out = MakePicture(
            z.W, z.H, [](int, int) { return 0u; }, cl::pf24bit);
        for (int s : {1, 2, 3, 5, 10, 12}) {
            if (s > 2 && (s > z.W || s > z.H)) continue;
            TPixelateTransition::DrawBlocks(table, out.get(), z.W, z.H, s);
            for (int y = 0; y < z.H; ++y)
                for (int x = 0; x < z.W; ++x)
                    ASSERT_EQ(At(out.get(), x, y), BlockModel(Noise, z.W, z.H, s, x, y))
                        << z.W << "x" << z.H << " side " << s << " at " << x << "," << y;
        }
    }
}

TEST_F(PixelateTest, AOneWideStripOfAHundredAndOnePixelsTakesTheLastTenColumns) {
    auto pic = MakePicture(101, 10, Noise, cl::pf24bit);
    TSummedAreaTable table;
    table.Build(pic.get(), 101, 10, 0);
    auto out = MakePicture(
        101, 10, [](int, int) { return 0u; }, cl::pf24bit);
    TPixelateTransition::DrawBlocks(table, out.get(), 101, 10, 10);
    EXPECT_EQ(At(out.get(), 100, 4), BoxAverage(Noise, 91, 0, 101, 10, false));
    EXPECT_EQ(At(out.get(), 99, 4), BoxAverage(Noise, 90, 0, 100, 10, false));
}

TEST_F(PixelateTest, FramesCoarsenTheOldPictureThenRefineTheNewOne) {
    const int W = 20, H = 15;
    auto newPic = [](int x, int y) { return Noise(x + 100, y); };
    TPixelateTransition px(nullptr);
    px.SetBoxSize(50);
    FrameDriver bench(&px, W, H, Noise, newPic, cl::pf24bit);
    ASSERT_EQ(bench.Init(), 29);  // B = min(50, 20, 15) = 15
    struct Step {
        int frame, side;
        bool isNew;
    } steps[] = {{1, 2, false}, {4, 5, false}, {14, 15, false}, {15, 15, true}, {20, 10, true}, {29, 1, true}};
    for (const Step& s : steps) {
        bench.Frame(s.frame);
        const PixelFn& pic = s.isNew ? PixelFn(newPic) : PixelFn(Noise);
        EXPECT_EQ(bench.Compare([&](int x, int y) { return BlockModel(pic, W, H, s.side, x, y); }), "")
            << "frame " << s.frame;
    }
}

TEST_F(PixelateTest, ASingleColourPictureStaysUnchangedThroughTheFirstHalf) {
    TPixelateTransition px(nullptr);
    FrameDriver bench(
        &px, 30, 30, [](int, int) { return 0x4080C0u; }, NewColor, cl::pf24bit);
    ASSERT_EQ(bench.Init(), 59);
    for (int k = 1; k < 30; k += 3) {
        bench.Frame(k);
        EXPECT_EQ(bench.Compare([](int, int) { return 0x4080C0u; }), "") << k;
    }
}

TEST_F(PixelateTest, BoxSizeFramesAndSettings) {
    TPixelateTransition px(nullptr);
    EXPECT_EQ(px.GetBoxSize(), 50);
    px.SetBoxSize(0);
    EXPECT_EQ(px.GetBoxSize(), 50);
    {
        FrameDriver bench(&px, 80, 30, Noise, NewColor, cl::pf24bit);
        EXPECT_EQ(bench.Init(), 59);
    }
    px.SetBoxSize(7);
    cl::TStringList out;
    px.SaveToStrings(&out, true, "");
    EXPECT_EQ(out.Values("BoxSize"), "7");
    TPixelateTransition other(nullptr);
    cl::TStringList in;
    in.SetValue("BoxSize", "0");
    other.LoadFromStrings(&in, "");
    EXPECT_EQ(other.GetBoxSize(), 50);
    other.LoadFromStrings(&out, "");
    EXPECT_EQ(other.GetBoxSize(), 7);
    EXPECT_EQ(px.GetInfo(nullptr) & 0x115, 0x115);
    EXPECT_EQ(px.GetPixelFormat(nullptr), cl::pf24bit);
    EXPECT_EQ(cl::GetPropInfo(TPixelateTransition::StaticClass(), "BoxSize")->Default, 50);
}

TEST_F(PixelateTest, PaletteDisplaysGetAFuseOfStyleOne) {
    TPixelateTransition px(nullptr);
    px.Milliseconds = 1234;
    px.Reversed = true;
    TTestDevice dev;
    dev.Format = cl::pf8bit;
    std::unique_ptr<TTransitionEffect> run(px.TransitionForDevice(&dev, true));
    ASSERT_TRUE(run->Is<TFuseTransition>());
    auto* fuse = static_cast<TFuseTransition*>(run.get());
    EXPECT_EQ(fuse->GetStyle(), 1);
    EXPECT_EQ(fuse->Milliseconds, 1234);
    EXPECT_TRUE(fuse->Reversed);
    dev.Format = cl::pf16bit;
    EXPECT_EQ(px.TransitionForDevice(&dev, false), &px);
}
