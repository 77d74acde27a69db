// The slide effect: its modes, frame counts and the pictures each mode draws.
#include <gtest/gtest.h>

#include <cmath>

#include "te_frame_driver.h"
#include "transitions/teSlide.h"

using namespace te;
using namespace tetest;

namespace {

class SlideTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUpteSlide();
    }
};

struct Flags {
    bool src, dst, out, reversed;
};

int ModeOf(TTEEffectDirection d, Flags f) {
    TSlideTransition s(nullptr);
    s.SetDirection(d);
    s.ElasticSrc = f.src;
    s.ElasticDst = f.dst;
    s.SlideOut = f.out;
    s.Reversed = f.reversed;
    return s.SelectMode();
}

}  // namespace

TEST_F(SlideTest, ModesFollowDirectionAndFlags) {
    struct Case {
        TTEEffectDirection dir;
        Flags flags;
        int mode;
        // clang-format off
    } cases[] = {
        {tedDown, {true, false, false, false}, 2},    // the show's slide
        {tedDown, {false, false, false, true}, 29},   // reversed: up and out
        {tedLeft, {true, true, true, false}, 12},     // both elastic ignore SlideOut
        {tedLeft, {true, true, false, false}, 12},
        {tedRight, {false, true, true, false}, 37},
        {tedUp, {true, false, true, false}, 30},
        {tedDownLeft, {false, false, false, false}, 17},
        {tedDownLeft, {true, false, false, false}, 39},
        {tedUpRight, {false, false, true, false}, 44},
        {tedIn, {true, true, true, false}, 46},
        {tedIn, {false, false, false, false}, 46},
        {tedOut, {true, false, true, false}, 25},
        {tedDown, {true, false, false, true}, 31},    // reversed swaps the elastic roles: dst out, up
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(ModeOf(c.dir, c.flags), c.mode) << "direction " << int(c.dir);
}

TEST_F(SlideTest, FrameCountsOfAnEightHundredBySixHundredArea) {
    struct Case {
        TTEEffectDirection dir;
        int frames;
    } cases[] = {{tedDown, 599}, {tedRight, 799}, {tedUpLeft, 799}, {tedIn, 399}, {tedOut, 399}};
    for (const Case& c : cases) {
        TSlideTransition s(nullptr);
        s.SetDirection(c.dir);
        FrameDriver bench(&s, 800, 600);
        EXPECT_EQ(bench.Init(), c.frames) << int(c.dir);
    }
}

TEST_F(SlideTest, RigidSlidesMoveThePicturesByTheFrameIndexAlsoWithSkippedFrames) {
    const int W = 20, H = 12;
    struct Case {
        TTEEffectDirection dir;
        bool out;
        std::function<uint32_t(int k, int x, int y)> model;
    } cases[] = {
        {tedDown, false, [&](int k, int x, int y) { return y < k ? NewColor(x, H - k + y) : OldColor(x, y); }},
        {tedUp, false, [&](int k, int x, int y) { return y >= H - k ? NewColor(x, y - (H - k)) : OldColor(x, y); }},
        {tedLeft, false, [&](int k, int x, int y) { return x >= W - k ? NewColor(x - (W - k), y) : OldColor(x, y); }},
        {tedRight, false, [&](int k, int x, int y) { return x < k ? NewColor(W - k + x, y) : OldColor(x, y); }},
        {tedDown, true, [&](int k, int x, int y) { return y < k ? NewColor(x, y) : OldColor(x, y - k); }},
        {tedUp, true, [&](int k, int x, int y) { return y >= H - k ? NewColor(x, y) : OldColor(x, y + k); }},
        {tedLeft, true, [&](int k, int x, int y) { return x >= W - k ? NewColor(x, y) : OldColor(x + k, y); }},
        {tedRight, true, [&](int k, int x, int y) { return x < k ? NewColor(x, y) : OldColor(x - k, y); }},
    };
    for (const Case& c : cases) {
        TSlideTransition s(nullptr);
        s.SetDirection(c.dir);
        s.SlideOut = c.out;
        FrameDriver bench(&s, W, H);
        int frames = bench.Init();
        for (int k : {1, 2, 5, 9, frames}) {
            bench.Frame(k);
            EXPECT_EQ(bench.Compare([&](int x, int y) { return c.model(k, x, y); }), "")
                << "direction " << int(c.dir) << " out " << c.out << " frame " << k;
        }
    }
}

TEST_F(SlideTest, CornerSlidesMoveDiagonally) {
    const int W = 20, H = 10;
    // F = 19; x = rnd(20 / 20 * k) = k, y = rnd(10 / 20 * k) = k / 2 rounded half to even.
    auto yOf = [](int k) { return static_cast<int>(std::nearbyint(k / 2.0)); };
    struct Case {
        TTEEffectDirection dir;
        bool out;
        std::function<uint32_t(int X, int Y, int x, int y)> model;
    } cases[] = {
        {tedDownRight, false,
         [&](int X, int Y, int x, int y) { return x < X && y < Y ? NewColor(W - X + x, H - Y + y) : OldColor(x, y); }},
        {tedUpLeft, false,
         [&](int X, int Y, int x, int y) {
             return x >= W - X && y >= H - Y ? NewColor(x - (W - X), y - (H - Y)) : OldColor(x, y);
         }},
        {tedDownRight, true,
         [&](int X, int Y, int x, int y) { return x >= X && y >= Y ? OldColor(x - X, y - Y) : NewColor(x, y); }},
        {tedUpRight, true,
         [&](int X, int Y, int x, int y) { return x >= X && y < H - Y ? OldColor(x - X, y + Y) : NewColor(x, y); }},
    };
    for (const Case& c : cases) {
        TSlideTransition s(nullptr);
        s.SetDirection(c.dir);
        s.SlideOut = c.out;
        FrameDriver bench(&s, W, H);
        ASSERT_EQ(bench.Init(), 19);
        for (int k : {1, 3, 4, 11, 19}) {
            bench.Frame(k);
            EXPECT_EQ(bench.Compare([&](int x, int y) { return c.model(k, yOf(k), x, y); }), "")
                << "direction " << int(c.dir) << " out " << c.out << " frame " << k;
        }
    }
}

TEST_F(SlideTest, TheShowsSlideSqueezesTheOldPictureBelowTheEnteringNewOne) {
    const int W = 16, H = 12;
    // Old picture in vertical stripes: a vertical squeeze leaves every row the same.
    auto stripes = [](int x, int) { return 0x300000u + static_cast<uint32_t>(x) * 7; };
    TSlideTransition s(nullptr);
    s.ElasticSrc = true;
    FrameDriver bench(&s, W, H, stripes);
    ASSERT_EQ(s.SelectMode(), 2);
    ASSERT_EQ(bench.Init(), H - 1);
    for (int k : {1, 4, 7, 11}) {
        bench.Frame(k);
        EXPECT_EQ(bench.Compare([&](int x, int y) { return y < k ? NewColor(x, H - k + y) : stripes(x, y); }), "")
            << "frame " << k;
        EXPECT_EQ(bench.data.UpdateRect.top, 0);
        EXPECT_EQ(bench.data.UpdateRect.bottom, H);
    }
}

TEST_F(SlideTest, InAndOutWorkFromTheCentre) {
    const int W = 20, H = 20;
    // In: the old picture (a single colour, so its squeeze is exact) shrinks to the centre.
    auto flat = [](int, int) { return 0x123456u; };
    TSlideTransition in(nullptr);
    in.SetDirection(tedIn);
    FrameDriver b1(&in, W, H, flat);
    ASSERT_EQ(b1.Init(), 9);
    b1.Frame(4);  // x = y = rnd(20 / 10 * 4) = 8: old in (4, 4, 16, 16)
    EXPECT_EQ(
        b1.Compare([&](int x, int y) { return x >= 4 && x < 16 && y >= 4 && y < 16 ? 0x123456u : NewColor(x, y); }),
        "");
    // Out: a single-colour new picture grows from the centre.
    TSlideTransition out(nullptr);
    out.SetDirection(tedOut);
    FrameDriver b2(&out, W, H, OldColor, flat);
    ASSERT_EQ(b2.Init(), 9);
    b2.Frame(3);  // x = y = 6: (7, 7, 13, 13)
    EXPECT_EQ(
        b2.Compare([&](int x, int y) { return x >= 7 && x < 13 && y >= 7 && y < 13 ? 0x123456u : OldColor(x, y); }),
        "");
}

TEST_F(SlideTest, TheStretchModeOfTheCanvasIsRestoredAfterThePass) {
    TSlideTransition s(nullptr);
    FrameDriver bench(&s, 8, 8);
    win::SetStretchBltMode(bench.Screen->GetCanvas()->GetHandle(), win::HALFTONE);
    bench.Init();
    EXPECT_EQ(win::GetStretchBltMode(bench.Screen->GetCanvas()->GetHandle()), win::COLORONCOLOR);
    bench.Frame(1);
    bench.Finish();
    EXPECT_EQ(win::GetStretchBltMode(bench.Screen->GetCanvas()->GetHandle()), win::HALFTONE);
}

TEST_F(SlideTest, SettingsStringsAndPublishedFlags) {
    TSlideTransition s(nullptr);
    s.ElasticSrc = true;
    cl::TStringList out;
    s.SaveToStrings(&out, true, "x.");
    EXPECT_EQ(out.Values("x.ElasticSrc"), "True");
    EXPECT_EQ(out.Values("x.ElasticDst"), "");
    EXPECT_EQ(out.IndexOfName("x.SlideOut"), -1);
    cl::TStringList in;
    in.SetValue("ElasticDst", "tRUE");
    in.SetValue("ElasticSrc", "no");
    s.LoadFromStrings(&in, "");
    EXPECT_TRUE(s.ElasticDst);
    EXPECT_FALSE(s.ElasticSrc);
    EXPECT_EQ(cl::GetPropInfo(TSlideTransition::StaticClass(), "Direction")->Default, tedDown);
    cl::SetOrdProp(&s, "SlideOut", 1);
    EXPECT_TRUE(s.SlideOut);
    TSlideTransition copy(nullptr);
    copy.Assign(&s);
    EXPECT_TRUE(copy.ElasticDst && copy.SlideOut && !copy.ElasticSrc);
    s.SetDirection(tedNone);
    EXPECT_EQ(s.GetDirection(), tedDown);
}

TEST_F(SlideTest, ElasticPicturesFillTheirShareOfTheArea) {
    // The stretched or squeezed picture is a single colour, so where it lands is exact.
    const int W = 20, H = 10;
    const uint32_t flat = 0x123456;
    auto flatPic = [=](int, int) { return flat; };
    struct Case {
        TTEEffectDirection dir;
        bool src, dst, out;
        int mode;
        bool flatIsOld;
        std::function<uint32_t(int k, int X, int Y, int x, int y)> model;
    } cases[] = {
        // Down, out, new stretched into the uncovered top; the old picture moves as a sheet.
        {tedDown, false, true, true, 28, false,
         [=](int k, int, int, int x, int y) { return y < k ? flat : OldColor(x, y - k); }},
        // Down, out, old squeezed below the uncovered strip of the new picture.
        {tedDown, true, false, true, 27, true,
         [=](int k, int, int, int x, int y) { return y < k ? NewColor(x, y) : flat; }},
        // Left, in, new stretched into the entered part; the rest keeps the old picture.
        {tedLeft, false, true, false, 11, false,
         [=](int k, int, int, int x, int y) { return x >= W - k ? flat : OldColor(x, y); }},
        // Down and left, in, the new picture stretched into the top-right corner.
        {tedDownLeft, false, true, false, 18, false,
         [=](int, int X, int Y, int x, int y) { return x >= W - X && y < Y ? flat : OldColor(x, y); }},
        // Down and left, the old picture squeezed towards the bottom-left corner.
        {tedDownLeft, true, false, false, 39, true,
         [=](int, int X, int Y, int x, int y) { return x < W - X && y >= Y ? flat : NewColor(x, y); }},
    };
    for (const Case& c : cases) {
        TSlideTransition s(nullptr);
        s.SetDirection(c.dir);
        s.ElasticSrc = c.src;
        s.ElasticDst = c.dst;
        s.SlideOut = c.out;
        ASSERT_EQ(s.SelectMode(), c.mode);
        FrameDriver bench(&s, W, H, c.flatIsOld ? PixelFn(flatPic) : PixelFn(OldColor),
                          c.flatIsOld ? PixelFn(NewColor) : PixelFn(flatPic));
        const int frames = bench.Init();
        for (int k : {2, 3, 7, frames}) {
            bench.Frame(k);
            const int X = static_cast<int>(std::nearbyint(static_cast<double>(W) / (frames + 1) * k));
            const int Y = static_cast<int>(std::nearbyint(static_cast<double>(H) / (frames + 1) * k));
            EXPECT_EQ(bench.Compare([&](int x, int y) { return c.model(k, X, Y, x, y); }), "")
                << "mode " << c.mode << " frame " << k;
        }
    }
}
