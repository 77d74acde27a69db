// The radial, circle, diagonal, block, interlaced and waterfall effects over a real control
// on the headless screen: prepared, executed with their duration, ending on the new look.
#include <gtest/gtest.h>

#include <functional>

#include "te_frame_driver.h"
#include "te_screen_forms.h"
#include "transitions/teBlock.h"
#include "transitions/teCircle.h"
#include "transitions/teDiagonal.h"
#include "transitions/teInterlaced.h"
#include "transitions/teRadial.h"
#include "transitions/teRender.h"
#include "transitions/teVclScr.h"
#include "transitions/teWaterfall.h"

using namespace tetest;

namespace {

struct ScreenCase {
    const char* name;
    std::function<te::TTransitionEffect*()> make;
};

te::TMaskedTransition* Styled(te::TMaskedTransition* e, int style, int sub, int level) {
    e->SetStyle(static_cast<uint16_t>(style));
    e->SetSubStyle(static_cast<uint16_t>(sub));
    e->SetSmoothingLevel(static_cast<uint16_t>(level));
    return e;
}

class MaskedOnScreen : public ScreenFixture, public ::testing::WithParamInterface<ScreenCase> {
protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        te::StartUpteRadial();
        te::StartUpteCircle();
        te::StartUpteDiagonal();
        te::StartUpteBlock();
        te::StartUpteInterlaced();
        te::StartUpteWaterfall();
    }
};

TEST_P(MaskedOnScreen, RunEndsOnTheNewLook) {
    std::unique_ptr<te::TTransitionEffect> e(GetParam().make());
    e->Milliseconds = 300;
    int frames = 0;
    e->OnStartTransition = [&](cl::TObject*) { ++frames; };
    ASSERT_TRUE(e->Prepare(pic, te::MakeRect(0, 0, 120, 100)));
    pic->Fill = cl::clBlue;
    pic->Mark = cl::clLime;
    pic->Invalidate();
    e->Execute();
    EXPECT_EQ(frames, 1);
    for (auto [x, y] : {std::pair{50, 50}, std::pair{0, 0}, std::pair{119, 99}, std::pair{0, 99}, std::pair{119, 0}})
        EXPECT_EQ(ScreenAt(PicX(x), PicY(y)), ScreenColor(cl::clBlue)) << x << "," << y;
    EXPECT_EQ(ScreenAt(PicX(6), PicY(6)), ScreenColor(cl::clLime));
    EXPECT_FALSE(te::TransitionPrepared());
}

const ScreenCase kCases[] = {
    {"Radial", [] { return Styled(new te::TRadialTransition(nullptr), 2, 1, 5); }},
    {"RadialCorners", [] { return Styled(new te::TRadialTransition(nullptr), 7, 9, 0); }},
    {"Circle", [] { return Styled(new te::TCircleTransition(nullptr), 1, 1, 0); }},
    {"CircleShrinking", [] { return Styled(new te::TCircleTransition(nullptr), 3, 6, 5); }},
    {"Diagonal", [] { return Styled(new te::TDiagonalTransition(nullptr), 2, 1, 5); }},
    {"Blocks", [] { return Styled(new te::TBlockTransition(nullptr), 1, 1, 0); }},
    {"Jigsaw",
     [] {
         auto* b = new te::TBlockTransition(nullptr);
         b->SetPuzzle(true);
         b->SetBlockWidth(30);
         b->SetBlockHeight(30);
         return Styled(b, 4, 3, 0);
     }},
    {"Interlaced", [] { return Styled(new te::TInterlacedTransition(nullptr), 2, 1, 2); }},
    {"Waterfall",
     [] {
         auto* w = new te::TWaterfallTransition(nullptr);
         w->SetDirection(te::tedRandom);
         return w;
     }},
};

INSTANTIATE_TEST_SUITE_P(Effects, MaskedOnScreen, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ScreenCase>& i) { return std::string(i.param.name); });

}  // namespace

namespace {

// Every style and sub-style of every effect on tiny and thin runs, smoothed or not, frame by
// frame, every fourth frame and in one jump: the pictures are left alone; runs that skip
// compose what the frame-by-frame run composed, except the radial effect's (its hands are
// polygons, and a polygon over an area one pixel wide or high covers pixels by where its
// edges fall) and the waterfall's (one random draw per line and frame shown); the last frame
// of a hard edge shows the new picture where the effect draws its last step itself (not the
// block effect, not the waterfall whose slowest line may still run, not where a single pixel
// is one ellipse or line that covers nothing).
TEST(MaskedTinyRuns, EveryStyleRunsOnTinyPictures) {
    const bool savedMMX = te::MMXAvailable;
    te::MMXAvailable = true;
    struct Effect {
        std::function<te::TMaskedTransition*()> make;
        bool sameWhenSkipping, endsOnNew;
    };
    const Effect effects[] = {
        {[] { return new te::TRadialTransition(nullptr); }, false, false},
        {[] { return new te::TCircleTransition(nullptr); }, true, false},
        {[] { return new te::TDiagonalTransition(nullptr); }, true, true},
        {[] { return new te::TBlockTransition(nullptr); }, true, false},
        {[] { return new te::TInterlacedTransition(nullptr); }, true, false},
    };
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 7}, {9, 1}, {2, 3}};
    for (const Effect& fx : effects)
        for (int level : {0, 3}) {
            std::unique_ptr<te::TMaskedTransition> probe(fx.make());
            for (int style = 1; style <= probe->StyleCount(); ++style)
                for (int sub = 1; sub <= probe->SubStyleCount(static_cast<uint16_t>(style)); ++sub) {
                    auto styled = [&] {
                        std::unique_ptr<te::TTransitionEffect> e(fx.make());
                        auto* m = static_cast<te::TMaskedTransition*>(e.get());
                        Styled(m, style, sub, level);
                        if (auto* b = dynamic_cast<te::TBlockTransition*>(m)) b->SetPuzzle(sub % 2 == 0);
                        return e;
                    };
                    EXPECT_TRUE(RunsOverTinyAreas(styled, cl::pf32bit, fx.sameWhenSkipping, fx.endsOnNew && level == 0,
                                                  sizes, {4, 0}))
                        << probe->ClassName() << " style " << style << "/" << sub << " level " << level;
                }
        }
    for (auto dir : {te::tedDown, te::tedUp, te::tedLeft, te::tedRight}) {
        auto make = [dir] {
            auto e = std::make_unique<te::TWaterfallTransition>(nullptr);
            e->SetDirection(dir);
            return std::unique_ptr<te::TTransitionEffect>(std::move(e));
        };
        EXPECT_TRUE(RunsOverTinyAreas(make, cl::pf32bit, false, false, {{1, 1}, {1, 7}, {9, 1}}, {4, 0})) << int(dir);
    }
    te::MMXAvailable = savedMMX;
}

}  // namespace
