// The page effect: the plain fold, the curl's geometry, and the same pictures whichever way
// the frames reach the surface.
#include <gtest/gtest.h>

#include "te_frame_driver.h"
#include "transitions/tePage.h"

using namespace te;
using namespace tetest;

namespace {

class PageTest : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUptePage();
        savedMMX = MMXAvailable;
    }
    void TearDown() override { MMXAvailable = savedMMX; }
    bool savedMMX = false;
};

// Position along the travel of a real pixel, and the real pixel of a position, for a
// mapping direction over a W x H area.
struct Mapping {
    TTEEffectDirection dir;
    int W, H;
    bool Horizontal() const { return dir == tedRight || dir == tedLeft; }
    int Pos(int x, int y) const {
        switch (dir) {
            case tedRight: return x;
            case tedLeft: return W - 1 - x;
            case tedDown: return y;
            default: return H - 1 - y;
        }
    }
    // The pixel of picture line p at the same place across.
    uint32_t LineOf(const PixelFn& pic, int p, int x, int y) const {
        int real = dir == tedRight || dir == tedDown ? p : (Horizontal() ? W : H) - 1 - p;
        return Horizontal() ? pic(real, y) : pic(x, real);
    }
};

TTEEffectDirection OppositeOf(TTEEffectDirection d) {
    return d == tedRight ? tedLeft : d == tedLeft ? tedRight : d == tedDown ? tedUp : tedDown;
}

}  // namespace

TEST_F(PageTest, WithoutTheCurlThePageFoldsFlatAcrossTheFoldLine) {
    MMXAvailable = true;
    const int W = 18, H = 14;
    for (TTEEffectDirection dir : {tedRight, tedLeft, tedDown, tedUp}) {
        for (bool uncover : {true, false}) {
            TPageTransition page(nullptr);
            page.SetDirection(dir);
            page.Uncover = uncover;
            page.Use3D = false;
            FrameDriver bench(&page, W, H);
            const int frames = bench.Init();
            Mapping m{uncover ? dir : OppositeOf(dir), W, H};
            ASSERT_EQ(frames, (m.Horizontal() ? W : H) - 1);
            for (int k = 1; k <= frames; k += (k % 3) + 1) {
                bench.Frame(k);
                const int c = uncover ? k : frames - k + 1;
                auto model = [&](int x, int y) -> uint32_t {
                    int Y = m.Pos(x, y);
                    if (uncover) {
                        if (Y < c) return NewColor(x, y);
                        if (Y < 2 * c) return m.LineOf(OldColor, 2 * c - 1 - Y, x, y);
                        return OldColor(x, y);
                    }
                    if (Y < c) return OldColor(x, y);
                    if (Y < 2 * c) return m.LineOf(NewColor, 2 * c - 1 - Y, x, y);
                    return NewColor(x, y);
                };
                ASSERT_EQ(bench.Compare(model), "")
                    << "direction " << int(dir) << " uncover " << uncover << " frame " << k;
            }
        }
    }
}

TEST_F(PageTest, CurlRadiusAndFrameCount) {
    MMXAvailable = true;
    struct Case {
        int W, H;
        TTEEffectDirection dir;
        int R;
    } cases[] = {{640, 8, tedLeft, 150}, {30, 8, tedRight, 10}, {8, 30, tedDown, 10}, {12, 3, tedUp, 1}};
    for (const Case& c : cases) {
        TPageTransition page(nullptr);
        page.SetDirection(c.dir);
        FrameDriver bench(&page, c.W, c.H);
        const int frames = bench.Init();
        auto* pd = static_cast<TPageData*>(bench.data.Custom.get());
        ASSERT_NE(pd, nullptr);
        EXPECT_EQ(pd->R, c.R);
        TPageCurl curl = BuildPageCurl(c.R);
        EXPECT_EQ(pd->Curl.Lines, curl.Lines);
        EXPECT_EQ(frames, pd->L + curl.Lines - 1);
        EXPECT_EQ(page.GetPixelFormat(&bench.device), cl::pf32bit);
    }
    // Without MMX, or on an 8-bit display: no curl, the display's format.
    MMXAvailable = false;
    TPageTransition page(nullptr);
    FrameDriver bench(&page, 30, 8);
    EXPECT_EQ(bench.Init(), 29);
    MMXAvailable = true;
    bench.device.Format = cl::pf8bit;
    EXPECT_EQ(page.GetPixelFormat(&bench.device), cl::pf8bit);
}

TEST_F(PageTest, TheCurlConsumesMorePageLinesThanItHasLinesAndStartsGently) {
    for (int R : {1, 2, 5, 10, 60, 150}) {
        TPageCurl curl = BuildPageCurl(R);
        int source = 0;
        for (int k = 0; k < curl.Lines; ++k) {
            source += curl.Compress[static_cast<size_t>(k)] + 1;
            EXPECT_GT(curl.Shade[static_cast<size_t>(k)], 0) << R << " line " << k;
            EXPECT_LE(curl.Shade[static_cast<size_t>(k)], 200) << R << " line " << k;
        }
        EXPECT_EQ(source, curl.SourceLines) << R;
        EXPECT_GE(curl.SourceLines, curl.Lines) << R;
        EXPECT_LE(curl.Lines, R) << R;
    }
    // A large radius starts with a flat run of shade 1 that becomes a short ramp.
    TPageCurl big = BuildPageCurl(150);
    EXPECT_EQ(big.Shade[0], 1);
    EXPECT_EQ(big.Shade[1], 1);
    EXPECT_GT(big.Shade[2], 1);
    EXPECT_EQ(BuildPageCurl(1).Lines, 1);
    EXPECT_EQ(BuildPageCurl(1).Shade[0], 200);
}

TEST_F(PageTest, WithACompleteCurlTheNewPictureShowsBehindAndTheTurnedPageAhead) {
    MMXAvailable = true;
    const int W = 60, H = 6;
    TPageTransition page(nullptr);
    page.SetDirection(tedRight);
    page.Size = 8;
    FrameDriver bench(&page, W, H);
    bench.Init();
    auto* pd = static_cast<TPageData*>(bench.data.Custom.get());
    const int SL = pd->Curl.SourceLines, lines = pd->Curl.Lines;
    ASSERT_EQ(pd->R, 8);
    for (int k : {5, 2 * SL + 1, 2 * SL + 7, 35}) {
        bench.Frame(k);
        if (k < 2 * SL) continue;
        // Complete curl: bands [c - lines, c), flat turned part [c, 2c - 2 SL).
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                uint32_t got = At(bench.Screen.get(), x, y);
                if (x < k - lines) {
                    EXPECT_EQ(got, NewColor(x, y)) << x << "," << y << " frame " << k;
                } else if (x >= k && x < 2 * k - 2 * SL) {
                    EXPECT_EQ(got, OldColor(2 * k - 2 * SL - 1 - x, y)) << x << "," << y << " frame " << k;
                } else if (x >= 2 * k - 2 * SL) {
                    EXPECT_EQ(got, OldColor(x, y)) << x << "," << y << " frame " << k;
                }
            }
        }
    }
}

TEST_F(PageTest, FramesAreTheSameWithOrWithoutScrollingAndWithSkippedFrames) {
    MMXAvailable = true;
    const int W = 48, H = 40;
    for (TTEEffectDirection dir : {tedLeft, tedDown, tedRight, tedUp}) {
        for (bool uncover : {true, false}) {
            auto make = [&]() {
                auto p = std::make_unique<TPageTransition>(nullptr);
                p->SetDirection(dir);
                p->Uncover = uncover;
                p->Size = 9;
                return p;
            };
            auto scrolled = make(), plain = make(), skipping = make();
            FrameDriver a(scrolled.get(), W, H, OldColor, NewColor, cl::pf32bit);
            a.device.WorkBitmap = true;
            FrameDriver b(plain.get(), W, H);
            b.device.Obscured = true;
            FrameDriver s(skipping.get(), W, H);
            const int frames = a.Init();
            ASSERT_EQ(b.Init(), frames);
            ASSERT_EQ(s.Init(), frames);
            ASSERT_TRUE(static_cast<TPageData*>(a.data.Custom.get())->CanScroll);
            ASSERT_FALSE(static_cast<TPageData*>(b.data.Custom.get())->CanScroll);
            ASSERT_TRUE(static_cast<TPageData*>(s.data.Custom.get())->CanScroll);
            for (int k = 1; k <= frames; ++k) {
                a.Frame(k);
                b.Frame(k);
                std::string ab = a.Compare([&](int x, int y) { return At(b.Screen.get(), x, y); });
                ASSERT_EQ(ab, "") << "direction " << int(dir) << " uncover " << uncover << " frame " << k;
                if (k % 5 == 0 || k == frames) {
                    s.Frame(k);
                    std::string as = a.Compare([&](int x, int y) { return At(s.Screen.get(), x, y); });
                    ASSERT_EQ(as, "") << "skipping, direction " << int(dir) << " uncover " << uncover << " frame " << k;
                }
            }
        }
    }
}

TEST_F(PageTest, DefaultsAndSettings) {
    TPageTransition page(nullptr);
    EXPECT_EQ(page.GetDirection(), tedLeft);
    EXPECT_TRUE(page.IsUncovering());
    page.Reversed = true;
    EXPECT_FALSE(page.IsUncovering());
    EXPECT_EQ(page.EffectiveDirection(), tedRight);
    cl::TStringList out;
    page.SaveToStrings(&out, true, "");
    EXPECT_EQ(out.IndexOfName("Size"), -1);
    EXPECT_EQ(out.IndexOfName("Uncover"), -1);
    page.Uncover = false;
    page.Size = 40;
    page.SaveToStrings(&out, true, "");
    TPageTransition other(nullptr);
    other.LoadFromStrings(&out, "");
    EXPECT_EQ(other.Size, 40);
    EXPECT_FALSE(other.Uncover);
    EXPECT_EQ(cl::GetPropInfo(TPageTransition::StaticClass(), "Size")->Default, 150);
    EXPECT_EQ(cl::GetPropInfo(TPageTransition::StaticClass(), "Direction")->Default, tedLeft);
    EXPECT_EQ(page.Description(), "Page");
}

TEST_F(PageTest, DirectionFreeRectanglesMapToTheRealArea) {
    // W 100, H 60; direction-free (Left 5, Top 10, Right 20, Bottom 30).
    struct Case {
        TTEEffectDirection dir;
        win::RECT real;
    } cases[] = {
        {tedRight, MakeRect(10, 40, 30, 55)},
        {tedLeft, MakeRect(70, 40, 90, 55)},
        {tedDown, MakeRect(5, 10, 20, 30)},
        {tedUp, MakeRect(80, 30, 95, 50)},
    };
    for (const Case& c : cases) {
        TTERects rects(c.dir);
        win::RECT r = rects.Add(100, 60, 5, 10, 20, 30)->Real();
        EXPECT_EQ(r.left, c.real.left) << int(c.dir);
        EXPECT_EQ(r.top, c.real.top) << int(c.dir);
        EXPECT_EQ(r.right, c.real.right) << int(c.dir);
        EXPECT_EQ(r.bottom, c.real.bottom) << int(c.dir);
    }
    // A rectangle given the wrong way round comes out normalised.
    TTERects down(tedDown);
    win::RECT r = down.Add(100, 60, 20, 30, 5, 10)->Real();
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.bottom, 30);
}

TEST_F(PageTest, TheCurlsFrontIsBrightenedAndItsBackDarkenedByTheShades) {
    MMXAvailable = true;
    const int W = 90, H = 4;
    auto grey = [](int, int) { return 0x808080u; };
    TPageTransition page(nullptr);
    page.SetDirection(tedRight);
    page.Size = 12;
    FrameDriver bench(&page, W, H, grey, NewColor);
    bench.Init();
    const TPageCurl curl = BuildPageCurl(12);
    const int lines = curl.Lines, SL = curl.SourceLines;
    const int c = 2 * SL + 10;  // a complete curl: both bands full
    bench.Frame(c);
    // With a complete curl the back band [c - lines, c) covers the whole curl and the visible
    // front band is empty: every curl line shows the back side.
    for (int j = 0; j < lines; ++j) {
        const int shade = curl.Shade[static_cast<size_t>(lines - 1 - j)];
        const uint32_t g = static_cast<uint32_t>(std::max(0x80 - shade, 0));
        EXPECT_EQ(At(bench.Screen.get(), c - lines + j, 1), g * 0x010101u) << "back line " << j;
    }
    // While the curl is still forming, the front band is brightened (at most by 50).
    TPageTransition forming(nullptr);
    forming.SetDirection(tedRight);
    forming.Size = 12;
    FrameDriver b2(&forming, W, H, grey, NewColor);
    b2.Init();
    const int c2 = SL / 2 + 1;
    b2.Frame(c2);
    auto* pd = static_cast<TPageData*>(b2.data.Custom.get());
    int nf = 0;
    while (pd->Cum[static_cast<size_t>(nf)] < c2) ++nf;
    for (int k = 0; k < nf; ++k) {
        const int shade = std::min<int>(curl.Shade[static_cast<size_t>(k)], 50);
        EXPECT_EQ(At(b2.Screen.get(), c2 - 1 - k, 2), static_cast<uint32_t>(0x80 + shade) * 0x010101u) << "front " << k;
    }
}
