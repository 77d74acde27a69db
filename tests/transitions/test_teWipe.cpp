// The wipe: frame counts, the revealed area after each frame, the dithered and the smooth
// band, the dither seed, directions and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "te_frame_driver.h"
#include "transitions/teWipe.h"

namespace {

using te::TTEEffectDirection;

class Wipe : public ::testing::Test {
protected:
    void SetUp() override {
        te::StartUpteWipe();
        saved_ = te::MMXAvailable;
        te::MMXAvailable = true;
    }
    void TearDown() override { te::MMXAvailable = saved_; }
    bool saved_ = false;
};

int Rnd(double v) { return static_cast<int>(std::nearbyint(v)); }

TEST_F(Wipe, FrameCountsByDirection) {
    struct Case {
        TTEEffectDirection d;
        int w, h, band, frames;
        // clang-format off
    } cases[] = {
        {te::tedRight, 23, 17, 5, 27},     {te::tedLeft, 23, 17, 5, 27},      {te::tedDown, 23, 17, 5, 21},
        {te::tedUp, 23, 17, 5, 21},        {te::tedDownRight, 23, 17, 5, 39}, {te::tedDownLeft, 23, 17, 5, 22},
        {te::tedUpRight, 23, 17, 5, 22},   {te::tedUpLeft, 23, 17, 5, 22},    {te::tedIn, 23, 17, 5, 10},
        {te::tedOut, 23, 17, 5, 10},       {te::tedRight, 60, 7, 80, 119},    {te::tedRight, 23, 7, 0, 22},
        {te::tedDownRight, 800, 600, 50, 1399}, {te::tedDownLeft, 800, 600, 50, 799},
    };
    // clang-format on
    for (const Case& c : cases) {
        te::TWipeTransition e(nullptr);
        e.SetDirection(c.d);
        e.BandWidth = static_cast<uint16_t>(c.band);
        tetest::FrameDriver d(&e, c.w, c.h, cl::pf24bit, 1);
        EXPECT_EQ(d.Frames(), c.frames) << "direction " << int(c.d) << " " << c.w << "x" << c.h;
    }
}

TEST_F(Wipe, InfoDependsOnTheBand) {
    te::TWipeTransition e(nullptr);
    tetest::TTestDevice dev;
    EXPECT_EQ(e.GetInfo(&dev), 0x33F);
    EXPECT_EQ(e.GetInfo(nullptr), 0x333);
    e.BandWidth = 0;
    EXPECT_EQ(e.GetInfo(&dev), 0x333);
    e.BandWidth = 50;
    e.SetDirection(te::tedIn);
    EXPECT_EQ(e.GetInfo(&dev), 0x333);
}

TEST_F(Wipe, DirectionsAllowedAndDrawnAtRandom) {
    te::TWipeTransition e(nullptr);
    EXPECT_EQ(e.GetDirection(), te::tedRight);
    e.SetDirection(te::tedNone);
    EXPECT_EQ(e.GetDirection(), te::tedRight);
    e.SetDirection(te::tedRandom);
    ASSERT_EQ(e.GetDirection(), te::tedRandom);
    e.BandWidth = 0;
    tetest::TTestDevice dev;
    dev.SetTransition(&e);
    std::set<int> seen;
    for (int run = 0; run < 60; ++run) {
        dev.CreateRunData();
        const TTEEffectDirection d = dev.WorkingTransition->GetDirection();
        EXPECT_GE(d, te::tedRight);
        EXPECT_LE(d, te::tedOut);
        seen.insert(d);
        dev.FreeRunData();
    }
    EXPECT_GE(seen.size(), 6u);
    EXPECT_EQ(e.GetDirection(), te::tedRandom);
}

// The area revealed after frame k of F by a wipe without a band, from the wipe's geometry.
bool Revealed(TTEEffectDirection d, int W, int H, int F, int k, int x, int y) {
    const int X = Rnd(static_cast<double>(W) / (F + 1) * k), Y = Rnd(static_cast<double>(H) / (F + 1) * k);
    switch (d) {
        case te::tedRight: return x < k;
        case te::tedLeft: return x >= W - k;
        case te::tedDown: return y < k;
        case te::tedUp: return y >= H - k;
        case te::tedDownRight: return x < X && y < Y;
        case te::tedDownLeft: return x >= W - X && y < Y;
        case te::tedUpRight: return x < X && y >= H - Y;
        case te::tedUpLeft: return x >= W - X && y >= H - Y;
        case te::tedIn: {
            const int h = X / 2, v = Y / 2;
            return !(x >= h && x < W - h && y >= v && y < H - v);
        }
        case te::tedOut: {
            const int h = (W - X) / 2, v = (H - Y) / 2;
            return x >= h && x < W - h && y >= v && y < H - v;
        }
        default: return false;
    }
}

TEST_F(Wipe, HardEdgeRevealsItsAreaFrameByFrame) {
    const int W = 29, H = 19;
    for (int dir = te::tedRight; dir <= te::tedOut; ++dir) {
        for (bool reversed : {false, true}) {
            te::TWipeTransition e(nullptr);
            e.SetDirection(static_cast<TTEEffectDirection>(dir));
            e.Reversed = reversed;
            e.BandWidth = 0;
            const TTEEffectDirection eff = e.EffectiveDirection();
            tetest::FrameDriver d(&e, W, H, cl::pf24bit, static_cast<uint32_t>(dir));
            const int F = d.Frames();
            for (int k = 1; k <= F; ++k) {
                d.Frame(k);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        ASSERT_EQ(tetest::RawPixel(d.Work(), x, y),
                                  tetest::RawPixel(Revealed(eff, W, H, F, k, x, y) ? d.New.get() : d.Old.get(), x, y))
                            << "direction " << int(eff) << " frame " << k << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(Wipe, DitherSeedAndPattern) {
    const int W = 21, H = 9, B = 6;
    te::TWipeTransition e(nullptr);
    e.BandWidth = B;
    cl::SetRandSeed(99);
    tetest::FrameDriver d(&e, W, H, cl::pf24bit, 2);
    auto* wd = dynamic_cast<te::TWipeData*>(d.Data()->Custom.get());
    ASSERT_NE(wd, nullptr);
    ASSERT_NE(wd->BandPattern, nullptr);
    ASSERT_EQ(wd->BandPattern->GetWidth(), B);
    ASSERT_EQ(wd->BandPattern->GetHeight(), H + 75);
    // The model: the generator's formula from the fixed seed, one draw per position.
    cl::TRandomSequence model(te::TWipeTransition::DitherSeed);
    for (int i = 0; i < B; ++i) {
        int p = 100 - i * 100 / B;
        for (int j = 0; j <= H + 75; ++j) {
            const bool black = p >= model.Random(100);
            if (j < H + 75) {
                ASSERT_EQ(wd->BandPattern->GetCanvas()->Pixels(i, j) == cl::clBlack, black) << i << "," << j;
            }
        }
    }
    EXPECT_EQ(wd->Dither.Seed, model.Seed) << "the band's generator goes on from where the dots left it";
    // Each frame's window into the pattern comes from the same generator.
    d.Frame(1);
    EXPECT_EQ(wd->PatternY, model.Random(75));
    d.Frame(2);
    EXPECT_EQ(wd->PatternY, model.Random(75));
    EXPECT_EQ(cl::GetRandSeed(), 99u) << "the shared generator is not moved";
}

// FNV-1a over the frame pixels of a dithered run, frame after frame.
uint64_t DitheredRunHash(TTEEffectDirection dir, int W, int H, int B, cl::TPixelFormat pf) {
    te::TWipeTransition e(nullptr);
    e.SetDirection(dir);
    e.BandWidth = static_cast<uint16_t>(B);
    tetest::FrameDriver d(&e, W, H, pf, 11);
    uint64_t h = 14695981039346656037ull;
    for (int k = 1; k <= d.Frames(); ++k) {
        d.Frame(k);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t v = tetest::RawPixel(d.Work(), x, y);
                for (int i = 0; i < 4; ++i) {
                    h ^= (v >> (8 * i)) & 0xFF;
                    h *= 1099511628211ull;
                }
            }
    }
    return h;
}

// The dots and the shimmer of the dithered band, pinned frame by frame; the shared generator
// is left where it was.
TEST_F(Wipe, DitheredBandPixelsArePinnedAndTheSharedGeneratorIsLeftAlone) {
    struct Case {
        TTEEffectDirection dir;
        int w, h, band;
        cl::TPixelFormat pf;
        uint64_t hash;
    } cases[] = {
        {te::tedRight, 37, 13, 9, cl::pf24bit, 0x4874c96240f28d44ull},
        {te::tedLeft, 37, 13, 50, cl::pf24bit, 0x2e37a01c1c7b75a8ull},
        {te::tedDown, 19, 23, 7, cl::pf32bit, 0x951b39e3fc94d443ull},
        {te::tedUp, 19, 23, 12, cl::pf16bit, 0x1923b2b409e50ed3ull},
    };
    for (const Case& c : cases) {
        cl::SetRandSeed(424242);
        const uint64_t h = DitheredRunHash(c.dir, c.w, c.h, c.band, c.pf);
        EXPECT_EQ(h, c.hash) << "direction " << int(c.dir);
        // What the show draws at random after a wipe (the next random effect, directions)
        // goes on from where it was before the wipe.
        EXPECT_EQ(cl::GetRandSeed(), 424242u) << "direction " << int(c.dir);
    }
}

// Pixel colour without the spare fourth byte.
uint32_t Rgb(cl::TBitmap* b, int x, int y) { return tetest::RawPixel(b, x, y) & 0xFFFFFF; }

TEST_F(Wipe, DitheredBandShowsTheNewPictureOnBlackDots) {
    const int W = 31, H = 11, B = 7;
    for (TTEEffectDirection dir : {te::tedRight, te::tedLeft, te::tedDown, te::tedUp}) {
        te::TWipeTransition e(nullptr);
        e.SetDirection(dir);
        e.BandWidth = B;
        tetest::FrameDriver d(&e, W, H, cl::pf24bit, 5);
        auto* wd = dynamic_cast<te::TWipeData*>(d.Data()->Custom.get());
        ASSERT_NE(wd, nullptr);
        for (int k = 1; k <= d.Frames(); k += 3) {
            d.Frame(k);
            const win::RECT band = wd->Band, cur = wd->Current;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const bool inBand = x >= band.left && x < band.right && y >= band.top && y < band.bottom;
                    const bool inStrip = x >= cur.left && x <= cur.right && y >= cur.top && y <= cur.bottom;
                    if (inStrip) {
                        ASSERT_EQ(Rgb(d.Work(), x, y), Rgb(d.New.get(), x, y)) << k;
                    } else if (inBand) {
                        const int px = wd->PatternX + x - band.left, py = wd->PatternY + y - band.top;
                        const bool black = wd->BandPattern->GetCanvas()->Pixels(px, py) == cl::clBlack;
                        ASSERT_EQ(Rgb(d.Work(), x, y), Rgb(black ? d.New.get() : d.Old.get(), x, y))
                            << "direction " << int(dir) << " frame " << k << " at " << x << "," << y;
                    }
                }
        }
    }
}

TEST_F(Wipe, SmoothBandFollowsTheGradient) {
    EXPECT_EQ(te::TWipeTransition::GradientValue(0, 10), 1);
    EXPECT_EQ(te::TWipeTransition::GradientValue(9, 10), Rnd(253.0 / 11 * 9) + 1);
    const int W = 45, H = 6, B = 9;
    te::TWipeTransition e(nullptr);
    e.BandWidth = B;
    e.SmoothBand = true;
    tetest::FrameDriver d(&e, W, H, cl::pf24bit, 6);
    EXPECT_EQ(d.Data()->PixelFormat, cl::pf32bit);
    auto* wd = dynamic_cast<te::TWipeData*>(d.Data()->Custom.get());
    ASSERT_NE(wd, nullptr);
    ASSERT_TRUE(wd->Smooth);
    for (int k = 1; k <= d.Frames(); k += 4) {
        d.Frame(k);
        const win::RECT band = wd->Band;
        for (int x = std::max(0, static_cast<int>(band.left)); x < std::min(W, static_cast<int>(band.right)); ++x) {
            const int m = te::TWipeTransition::GradientValue(x - band.left, B);
            for (int y = 0; y < H; ++y) {
                const uint32_t n = tetest::RawPixel(d.New.get(), x, y), o = tetest::RawPixel(d.Old.get(), x, y);
                uint32_t expect = 0;
                for (int c = 0; c < 4; ++c) {
                    const int nb = (n >> (8 * c)) & 0xFF, ob = (o >> (8 * c)) & 0xFF;
                    expect |= static_cast<uint32_t>(nb + static_cast<int>(std::floor((ob - nb) * (m + 1) / 256.0)))
                              << (8 * c);
                }
                ASSERT_EQ(tetest::RawPixel(d.Work(), x, y), expect) << "frame " << k << " at " << x;
            }
        }
        for (int x = std::max(0, static_cast<int>(wd->Current.left));
             x <= std::min(W - 1, static_cast<int>(wd->Current.right)); ++x)
            EXPECT_EQ(tetest::RawPixel(d.Work(), x, 0), tetest::RawPixel(d.New.get(), x, 0));
    }
    // Without MMX the band is dithered and the display's format stays.
    te::MMXAvailable = false;
    tetest::FrameDriver d2(&e, W, H, cl::pf24bit, 6);
    EXPECT_EQ(d2.Data()->PixelFormat, cl::pf24bit);
    EXPECT_FALSE(dynamic_cast<te::TWipeData*>(d2.Data()->Custom.get())->Smooth);
}

TEST_F(Wipe, SettingsStrings) {
    te::TWipeTransition e(nullptr);
    cl::TStringList s;
    e.SaveToStrings(&s, true, "W");
    EXPECT_EQ(s.GetCount(), 1);
    EXPECT_EQ(s.Values("WTransition"), "TWipeTransition");
    e.BandWidth = 12;
    e.SmoothBand = true;
    e.SetDirection(te::tedUp);
    e.SaveToStrings(&s, true, "W");
    EXPECT_EQ(s.Values("WBandWidth"), "12");
    EXPECT_EQ(s.Values("WSmoothBand"), "True");
    EXPECT_EQ(s.Values("WDirection"), "Up");
    te::TWipeTransition f(nullptr);
    s.SetValue("WSmoothBand", "true");
    f.LoadFromStrings(&s, "W");
    EXPECT_EQ(f.BandWidth, 12);
    EXPECT_TRUE(f.SmoothBand);
    EXPECT_EQ(f.GetDirection(), te::tedUp);
    te::TWipeTransition g(nullptr);
    g.Assign(&f);
    EXPECT_EQ(g.BandWidth, 12);
    EXPECT_TRUE(g.SmoothBand);
    EXPECT_EQ(e.Description(), "Wipe");
    EXPECT_TRUE(cl::IsPublishedProp(&e, "BandWidth"));
}

}  // namespace
