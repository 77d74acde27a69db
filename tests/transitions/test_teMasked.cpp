// The masked-effect base with a descendant that reveals one column per frame.
#include <gtest/gtest.h>

#include <map>

#include "classlib/SysUtils.h"
#include "te_frame_driver.h"
#include "transitions/teEffectProps.h"
#include "transitions/teMasked.h"

namespace {

using tetest::FrameDriver;

// Frame k reveals column k - 1 over the whole height; the columns of frames PrevFrame + 1 to
// Frame are drawn with the mask's brush and reported as the update area.
class TColumnsTransition : public te::TMaskedTransition {
    CL_DECLARE_COMPONENT(TColumnsTransition, te::TMaskedTransition)
public:
    explicit TColumnsTransition(cl::TComponent* AOwner) : te::TMaskedTransition(AOwner) { FStyleCount = 3; }
    uint16_t SubStyleCount(uint16_t AStyle) override { return AStyle ? 2 : 0; }
    uint16_t ReversedSubStyle(uint16_t, uint16_t ASubStyle) override { return static_cast<uint16_t>(3 - ASubStyle); }
    int32_t CalcFrameCount(te::TTETransitionData* Data) override { return Data->Width; }
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, te::TTETransitionData* Data,
                       int32_t PrevFrame, int32_t) override {
        const int l = std::clamp(PrevFrame, 0, Data->Width), r = std::clamp(Frame, 0, Data->Width);
        const win::RECT rc{l, 0, r, Data->Height};
        if (Draw && r > l) Mask->GetCanvas()->FillRect(rc);
        if (Report) Data->UpdateRect = rc;
    }
};

// Each frame draws everything revealed so far, columns 0 to Frame - 1, like a growing pie:
// the 1-bit mask is cleared after each frame and the smooth mask accumulates.
class TGrowingTransition : public TColumnsTransition {
    CL_DECLARE_COMPONENT(TGrowingTransition, TColumnsTransition)
public:
    explicit TGrowingTransition(cl::TComponent* AOwner) : TColumnsTransition(AOwner) {}
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, te::TTETransitionData* Data, int32_t,
                       int32_t) override {
        const win::RECT rc{0, 0, std::clamp(Frame, 0, Data->Width), Data->Height};
        if (Draw && rc.right > 0) Mask->GetCanvas()->FillRect(rc);
        if (Report) Data->UpdateRect = rc;
    }
    bool ClearsMaskAfterFrame(te::TTETransitionDevice*) override { return !SmoothingOn(); }
    bool AccumulatesSmoothMask() override { return true; }
};

// Each frame draws the part that still shows the old picture, columns Frame to the right
// edge; the base inverts the 1-bit mask and keeps what earlier frames revealed.
class TShrinkingTransition : public TColumnsTransition {
    CL_DECLARE_COMPONENT(TShrinkingTransition, TColumnsTransition)
public:
    explicit TShrinkingTransition(cl::TComponent* AOwner) : TColumnsTransition(AOwner) {}
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, te::TTETransitionData* Data, int32_t,
                       int32_t) override {
        const win::RECT rc{std::clamp(Frame, 0, Data->Width), 0, Data->Width, Data->Height};
        if (Draw && rc.right > rc.left) Mask->GetCanvas()->FillRect(rc);
        if (Report) Data->UpdateRect = win::RECT{0, 0, Data->Width, Data->Height};
    }
    bool AccumulatesMask() override { return true; }
    bool InvertsMask() override { return true; }
};

void DeclareColumns() {
    static bool done = false;
    if (done) return;
    done = true;
    te::StartUpteMasked();
    cl::DeclarePublished(TColumnsTransition::StaticClass(),
                         {te::MaskedStylePropInfo(), te::MaskedSubStylePropInfo(), te::MaskedSmoothingLevelPropInfo()});
}

class MaskedBase : public ::testing::Test {
protected:
    void SetUp() override {
        DeclareColumns();
        savedMMX_ = te::MMXAvailable;
        te::MMXAvailable = true;
    }
    void TearDown() override { te::MMXAvailable = savedMMX_; }
    bool savedMMX_ = false;
};

TEST_F(MaskedBase, SmoothingTableFollowsItsRule) {
    const int expect[8][4] = {{},
                              {31, 8, 236, 19},
                              {16, 15, 239, 15},
                              {8, 31, 247, 7},
                              {4, 63, 251, 3},
                              {3, 85, 253, 1},
                              {2, 127, 253, 1},
                              {1, 255, 254, 0}};
    for (int level = 1; level <= 7; ++level) {
        int s, n, t, b;
        te::TMaskedTransition::SmoothingParams(level, s, n, t, b);
        EXPECT_EQ(s, expect[level][0]);
        EXPECT_EQ(n, expect[level][1]);
        EXPECT_EQ(t, expect[level][2]);
        EXPECT_EQ(b, expect[level][3]);
    }
}

TEST_F(MaskedBase, SmoothingDecidesFormatWidthAndFrames) {
    TColumnsTransition e(nullptr);
    e.SetSmoothingLevel(3);
    {
        FrameDriver d(&e, 100, 5, cl::pf24bit, 1);
        EXPECT_EQ(d.Data()->PixelFormat, cl::pf32bit);
        EXPECT_EQ(e.GetBitmapsWidth(d.Data()), 104);
        EXPECT_EQ(d.Frames(), 100 + 30);
        EXPECT_TRUE(e.SmoothingOn());
    }
    te::MMXAvailable = false;
    {
        FrameDriver d(&e, 100, 5, cl::pf24bit, 1);
        EXPECT_EQ(d.Data()->PixelFormat, cl::pf24bit);
        EXPECT_EQ(e.GetBitmapsWidth(d.Data()), 128);
        EXPECT_EQ(d.Frames(), 100);
        EXPECT_FALSE(e.SmoothingOn());
        EXPECT_NE(e.MaskBitmap(), nullptr);
    }
    te::MMXAvailable = true;
    {
        FrameDriver d(&e, 100, 5, cl::pf8bit, 1);  // palette display: no smoothing
        EXPECT_EQ(d.Frames(), 100);
        EXPECT_EQ(d.Data()->PixelFormat, cl::pf8bit);
    }
    EXPECT_EQ(e.GetInfo(nullptr), 0x20A | 0x35);
}

TEST_F(MaskedBase, SettersKeepTheirRanges) {
    TColumnsTransition e(nullptr);
    e.SetSmoothingLevel(8);
    EXPECT_EQ(e.GetSmoothingLevel(), 0);
    e.SetSmoothingLevel(7);
    EXPECT_EQ(e.GetSmoothingLevel(), 7);
    e.SetStyle(4);
    EXPECT_EQ(e.GetStyle(), 1);
    e.SetSubStyle(2);
    EXPECT_EQ(e.GetSubStyle(), 2);
    e.SetSubStyle(3);
    EXPECT_EQ(e.GetSubStyle(), 2);
    e.SetStyle(3);
    EXPECT_EQ(e.GetSubStyle(), 1);
    e.SetStyle(0);
    EXPECT_EQ(e.GetSubStyle(), 0);
}

TEST_F(MaskedBase, RandomStyleLastsForTheRun) {
    TColumnsTransition e(nullptr);
    e.SetStyle(0);
    cl::SetRandSeed(5);
    std::map<int, int> seen;
    for (int run = 0; run < 40; ++run) {
        te::TTETransitionData data;
        data.PassCount = 2;
        data.Pass = 1;
        const uint16_t s = e.EffectiveStyle(), ss = e.EffectiveSubStyle();
        EXPECT_GE(s, 1);
        EXPECT_LE(s, 3);
        EXPECT_GE(ss, 1);
        EXPECT_LE(ss, 2);
        e.Finalize(&data);  // end of pass 1: kept
        EXPECT_EQ(e.EffectiveStyle(), s);
        EXPECT_EQ(e.EffectiveSubStyle(), ss);
        data.Pass = 2;
        e.Finalize(&data);  // end of the run: picked again next time
        ++seen[s];
    }
    EXPECT_EQ(seen.size(), 3u);
    // Reversed runs map the sub-style.
    e.SetStyle(1);
    e.SetSubStyle(1);
    e.Reversed = true;
    EXPECT_EQ(e.EffectiveSubStyle(), 2);
}

TEST_F(MaskedBase, SettingsStringsOmitDefaults) {
    TColumnsTransition e(nullptr);
    cl::TStringList s;
    e.SaveToStrings(&s, true, "A.");
    EXPECT_EQ(s.Values("A.Style"), "");
    EXPECT_EQ(s.Values("A.SmoothingLevel"), "");
    e.SetStyle(2);
    e.SetSubStyle(2);
    e.SetSmoothingLevel(4);
    e.SaveToStrings(&s, true, "A.");
    EXPECT_EQ(s.Values("A.Style"), "2");
    EXPECT_EQ(s.Values("A.SubStyle"), "2");
    EXPECT_EQ(s.Values("A.SmoothingLevel"), "4");
    TColumnsTransition f(nullptr);
    f.LoadFromStrings(&s, "A.");
    EXPECT_EQ(f.GetStyle(), 2);
    EXPECT_EQ(f.GetSubStyle(), 2);
    EXPECT_EQ(f.GetSmoothingLevel(), 4);
    TColumnsTransition g(nullptr);
    g.Assign(&f);
    EXPECT_EQ(g.GetSubStyle(), 2);
    EXPECT_EQ(g.GetSmoothingLevel(), 4);
}

// The frames of a run with every frame and of runs that jump end alike, for the hard edge
// and every smoothing level.
class MaskedPaths : public MaskedBase, public ::testing::WithParamInterface<int> {};

TEST_P(MaskedPaths, JumpsEndEachFrameAlike) {
    const int level = GetParam();
    const int w = 37, h = 5;
    TColumnsTransition e(nullptr);
    e.SetSmoothingLevel(static_cast<uint16_t>(level));
    std::map<int, std::unique_ptr<cl::TBitmap>> reference;
    int frames = 0;
    {
        FrameDriver d(&e, w, h, cl::pf32bit, 3);
        frames = d.Frames();
        for (int k = 1; k <= frames; ++k) {
            d.Frame(k);
            reference[k] = tetest::CopyOf(d.Work());
        }
    }
    for (const auto& script : tetest::JumpScripts(frames)) {
        FrameDriver d(&e, w, h, cl::pf32bit, 3);
        for (int k : script) {
            d.Frame(k);
            ASSERT_TRUE(tetest::SamePicture(d.Work(), reference[k].get(), w, h)) << "level " << level << " frame " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, MaskedPaths, ::testing::Range(0, 8));

TEST_F(MaskedBase, HardEdgeRevealsColumnByColumn) {
    TColumnsTransition e(nullptr);
    const int w = 21, h = 3;
    FrameDriver d(&e, w, h, cl::pf24bit, 9);
    ASSERT_EQ(d.Frames(), w);
    for (int k = 1; k <= w; ++k) {
        d.Frame(k);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                ASSERT_EQ(tetest::RawPixel(d.Work(), x, y), tetest::RawPixel(x < k ? d.New.get() : d.Old.get(), x, y))
                    << k << ":" << x;
    }
}

// Column x is revealed at frame x + 1 and, with smoothing, fades over the band.
void CheckColumnFade(te::TMaskedTransition& e) {
    e.SetSmoothingLevel(1);  // step 31, top 236, bottom 19: eight frames per column
    const int w = 16, h = 2;
    FrameDriver d(&e, w, h, cl::pf32bit, 5);
    ASSERT_EQ(d.Frames(), w + 7);
    for (int k = 1; k <= d.Frames(); ++k) {
        d.Frame(k);
        for (int x = 0; x < w; ++x) {
            // Column x is revealed at frame x + 1 with grey 236, then darkens by 31 a frame.
            const int age = k - (x + 1);
            int m = 255;
            if (age >= 0) m = std::max(236 - 31 * age, 0);
            const int wt = m == 255 ? 256 : (m == 0 ? 0 : m + 1);
            const uint32_t n = tetest::RawPixel(d.New.get(), x, 1), o = tetest::RawPixel(d.Old.get(), x, 1);
            uint32_t expect = 0;
            for (int c = 0; c < 4; ++c) {
                const int nb = (n >> (8 * c)) & 0xFF, ob = (o >> (8 * c)) & 0xFF;
                expect |= static_cast<uint32_t>(nb + static_cast<int>(std::floor((ob - nb) * wt / 256.0))) << (8 * c);
            }
            ASSERT_EQ(tetest::RawPixel(d.Work(), x, 1), expect) << "frame " << k << " column " << x;
        }
    }
}

TEST_F(MaskedBase, SmoothEdgeFadesOverTheBand) {
    TColumnsTransition e(nullptr);
    CheckColumnFade(e);
}

TEST_F(MaskedBase, AnAccumulatingSmoothMaskFadesAlike) {
    TGrowingTransition e(nullptr);
    CheckColumnFade(e);
}

TEST_F(MaskedBase, AnInvertedMaskRevealsWhatIsNotDrawn) {
    TShrinkingTransition e(nullptr);
    const int w = 40, h = 3;
    for (int step : {1, 3}) {
        FrameDriver d(&e, w, h, cl::pf16bit, 12);
        for (int k = step; k <= d.Frames(); k += step) {
            d.Frame(k);
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(tetest::RawPixel(d.Work(), x, 1), tetest::RawPixel(x < k ? d.New.get() : d.Old.get(), x, 1))
                    << "frame " << k << " column " << x;
        }
    }
}

TEST_F(MaskedBase, AnAccumulatingEffectEndsFramesAlikeWithJumps) {
    for (int level : {0, 1, 4}) {
        TGrowingTransition e(nullptr);
        e.SetSmoothingLevel(static_cast<uint16_t>(level));
        std::map<int, std::unique_ptr<cl::TBitmap>> reference;
        int frames = 0;
        {
            FrameDriver d(&e, 29, 4, cl::pf32bit, 8);
            frames = d.Frames();
            for (int k = 1; k <= frames; ++k) {
                d.Frame(k);
                reference[k] = tetest::CopyOf(d.Work());
                if (level == 0) {
                    for (int x = 0; x < 29; ++x)
                        ASSERT_EQ(tetest::RawPixel(d.Work(), x, 2),
                                  tetest::RawPixel(x < k ? d.New.get() : d.Old.get(), x, 2));
                }
            }
        }
        for (const auto& script : tetest::JumpScripts(frames)) {
            FrameDriver d(&e, 29, 4, cl::pf32bit, 8);
            for (int k : script) {
                d.Frame(k);
                ASSERT_TRUE(tetest::SamePicture(d.Work(), reference[k].get(), 29, 4))
                    << "level " << level << " frame " << k;
            }
        }
    }
}

TEST_F(MaskedBase, DeviceRunEndsOnTheNewPicture) {
    for (int level : {0, 2}) {
        TColumnsTransition e(nullptr);
        e.SetSmoothingLevel(static_cast<uint16_t>(level));
        tetest::TTestDevice dev;
        dev.Format = cl::pf32bit;
        dev.SetTransition(&e);
        auto oldPic = tetest::RandomPicture(64, 6, cl::pf32bit, 1),
             newPic = tetest::RandomPicture(64, 6, cl::pf32bit, 2);
        dev.PrepareRun(oldPic.get(), newPic.get(), 50, 6);
        dev.Execute(true);
        EXPECT_TRUE(tetest::SamePicture(dev.Screen.get(), newPic.get(), 50, 6)) << level;
    }
}

}  // namespace
