// What every effect owes, as tables over the effect makers: it is registered with its
// description, flags and published properties; a run through the device ends on the new
// picture; and frames over tiny areas (one pixel wide or high included) leave the pictures
// alone and, for the effects that draw their own last step, end on the new picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classlib/TypInfo.h"
#include "te_frame_driver.h"
#include "te_mask_geometry.h"
#include "transitions/teBlend.h"
#include "transitions/teBlock.h"
#include "transitions/teBlur.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teCircle.h"
#include "transitions/teDiagonal.h"
#include "transitions/teDrip.h"
#include "transitions/teEffects.h"
#include "transitions/teFuse.h"
#include "transitions/teInterlaced.h"
#include "transitions/tePage.h"
#include "transitions/tePixelt.h"
#include "transitions/tePush.h"
#include "transitions/teRadial.h"
#include "transitions/teRoll.h"
#include "transitions/teSlide.h"
#include "transitions/teWaterfall.h"
#include "transitions/teWipe.h"

using namespace te;
using namespace tetest;

namespace {

using Maker = std::function<std::unique_ptr<TTransitionEffect>()>;

template <class T, class F>
Maker Make(F setUp) {
    return [setUp] {
        auto e = std::make_unique<T>(nullptr);
        setUp(*e);
        return std::unique_ptr<TTransitionEffect>(std::move(e));
    };
}

template <class T>
Maker Make() {
    return Make<T>([](T&) {});
}

void Styled(TMaskedTransition& e, int style, int sub, int level) {
    e.SetStyle(static_cast<uint16_t>(style));
    e.SetSubStyle(static_cast<uint16_t>(sub));
    e.SetSmoothingLevel(static_cast<uint16_t>(level));
}

Maker MaskEffect(int level, TFCPictureMode mode) {
    return Make<TBmpMaskTransition>([level, mode](TBmpMaskTransition& e) {
        e.SetMask(GreyPicture(7, 5, [](int x, int y) { return static_cast<uint8_t>(30 * x + 7 * y); }).get());
        e.SetSmoothingLevel(static_cast<uint16_t>(level));
        e.SetMaskMode(mode);
    });
}

// Smoothing and the shaded bands need MMX: each table sets the probe's flags for its tests.
class EveryEffect : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        StartUpEffectUnits();
        savedMMX_ = MMXAvailable;
        MMXAvailable = true;
    }
    void TearDown() override { MMXAvailable = savedMMX_; }
    bool savedMMX_ = false;
};

// ---- registration ----------------------------------------------------------------------

struct Registration {
    const cl::TClass* cls;
    const char* description;
    uint16_t flags;  // GetInfo with the test device
    std::vector<const char*> published, unpublished;
    const char* editor = nullptr;  // the editor's class name, where the effect names its own
};

// clang-format off
const Registration kRegistrations[] = {
    {&TBlockTransition::StaticClass(), "Blocks", 0x37F,
     {"Style", "SubStyle", "SmoothingLevel", "Reversed", "BlockWidth", "BlockHeight", "Cols", "Rows", "Puzzle", "Dual"},
     {"Direction"}, "TBlockTransitionEditor"},
    {&TCircleTransition::StaticClass(), "Circle", 0x33F,
     {"Style", "SubStyle", "SmoothingLevel", "Reversed", "Milliseconds"}, {"Direction"}},
    {&TDiagonalTransition::StaticClass(), "Diagonal", 0x37F, {"Style", "SubStyle", "SmoothingLevel", "Reversed"},
     {"Direction"}},
    {&TInterlacedTransition::StaticClass(), "Interlaced", 0x33F, {"Style", "SubStyle", "SmoothingLevel", "Reversed"},
     {"Direction"}},
    {&TRadialTransition::StaticClass(), "Radial", 0x37F,
     {"Style", "SubStyle", "SmoothingLevel", "Reversed", "Milliseconds", "PassSetting"}, {"Direction", "Dual"}},
    {&TWaterfallTransition::StaticClass(), "Waterfall", 0x33F, {"Direction", "Reversed", "Milliseconds"},
     {"Style", "SubStyle", "SmoothingLevel"}},
    {&TPushTransition::StaticClass(), "Push", 0x31B, {"Direction", "Pass2Options"}, {"Style"}},
};
// clang-format on

class Registered : public EveryEffect, public ::testing::WithParamInterface<Registration> {};

// The start-up registered the class (creatable by name), which publishes its properties
// (with their declared defaults on a new instance) and not the others, describes itself and
// answers the capability flags. Effects that report rectangle lists have their run's list
// cut every rectangle to the run's area.
TEST_P(Registered, DescribesItselfAndPublishesItsProperties) {
    const Registration& r = GetParam();
    const auto& classes = TransitionClasses();
    EXPECT_NE(std::find(classes.begin(), classes.end(), r.cls), classes.end());
    ASSERT_EQ(cl::GetClass(r.cls->Name), r.cls);
    ASSERT_NE(r.cls->Create, nullptr);
    std::unique_ptr<cl::TComponent> c(r.cls->Create(nullptr));
    auto* e = static_cast<TTransitionEffect*>(c.get());
    EXPECT_EQ(e->Description(), r.description);
    TTestDevice dev;
    EXPECT_EQ(e->GetInfo(&dev), r.flags);
    for (const char* name : r.published) {
        cl::PPropInfo p = cl::GetPropInfo(c.get(), name);
        ASSERT_NE(p, nullptr) << name;
        if (p->Kind != cl::tkClass && p->Default != cl::NoDefault) {
            EXPECT_EQ(p->GetOrd(c.get()), p->Default) << name;
        }
    }
    for (const char* name : r.unpublished) EXPECT_EQ(cl::GetPropInfo(c.get(), name), nullptr) << name;
    if (r.editor) {
        EXPECT_EQ(e->EditorClassName(), r.editor);
    }

    FrameDriver d(e, 13, 7, cl::pf32bit, 1);
    d.Init();
    ASSERT_EQ(d.data.DirtyRects != nullptr, (r.flags & tetiUseDirtyRects) != 0);
    if (d.data.DirtyRects) {
        EXPECT_TRUE(d.data.DirtyRects->Clip);
        const win::RECT& clip = d.data.DirtyRects->ClipRect;
        EXPECT_TRUE(clip.left == 0 && clip.top == 0 && clip.right == 13 && clip.bottom == 7);
    }
}

INSTANTIATE_TEST_SUITE_P(Effects, Registered, ::testing::ValuesIn(kRegistrations),
                         [](const ::testing::TestParamInfo<Registration>& i) {
                             return std::string(i.param.cls->Name);
                         });

// ---- runs through the device ------------------------------------------------------------

struct DeviceRun {
    std::string name;
    Maker make;
    int w, h;
    cl::TPixelFormat display;
};

std::vector<DeviceRun> DeviceRuns() {
    std::vector<DeviceRun> runs;
    auto add = [&](std::string name, Maker make, int w, int h, cl::TPixelFormat display = cl::pf32bit) {
        runs.push_back({std::move(name), std::move(make), w, h, display});
    };
    for (int level : {0, 5}) {
        add("Circle" + std::to_string(level), Make<TCircleTransition>([level](auto& e) { Styled(e, 3, 7, level); }), 33,
            18);
        add("Diagonal" + std::to_string(level), Make<TDiagonalTransition>([level](auto& e) { Styled(e, 1, 4, level); }),
            40, 21);
        add("Radial" + std::to_string(level), Make<TRadialTransition>([level](auto& e) { Styled(e, 3, 4, level); }), 31,
            17);
    }
    for (int level : {0, 2})
        add("Interlaced" + std::to_string(level),
            Make<TInterlacedTransition>([level](auto& e) { Styled(e, 2, 1, level); }), 27, 15);
    for (bool puzzle : {false, true})
        for (int style : {1, 3})
            add(std::string(puzzle ? "Jigsaw" : "Blocks") + std::to_string(style),
                Make<TBlockTransition>([puzzle, style](auto& e) {
                    Styled(e, style, 1, 0);
                    e.SetPuzzle(puzzle);
                    e.SetBlockWidth(10);
                    e.SetBlockHeight(10);
                }),
                45, 32);
    for (auto dir : {tedUp, tedLeft})
        add("Waterfall" + std::to_string(dir), Make<TWaterfallTransition>([dir](auto& e) { e.SetDirection(dir); }), 29,
            23, cl::pf24bit);
    for (auto display : {cl::pf32bit, cl::pf16bit, cl::pf8bit}) {
        add("Blend" + std::to_string(display), Make<TBlendTransition>(), 23, 9, display);
        add("Fuse" + std::to_string(display), Make<TFuseTransition>([](auto& e) { e.SetStyle(8); }), 27, 10, display);
    }
    for (int dir = tedRight; dir <= tedOut; ++dir)
        for (int band : {0, 8})
            add("Wipe" + std::to_string(dir) + "Band" + std::to_string(band),
                Make<TWipeTransition>([dir, band](auto& e) {
                    e.SetDirection(static_cast<TTEEffectDirection>(dir));
                    e.BandWidth = static_cast<uint16_t>(band);
                }),
                26, 15, cl::pf24bit);
    auto timed = [](Maker make) {
        return [make] {
            auto e = make();
            e->Milliseconds = 100;
            return e;
        };
    };
    add("Blur", timed(Make<TBlurTransition>()), 16, 8, cl::pf24bit);
    add("Pixelate", timed(Make<TPixelateTransition>()), 16, 8, cl::pf24bit);
    add("Push", Make<TPushTransition>([](auto& e) { e.Milliseconds = 200; }), 16, 8);
    for (int level : {0, 3}) add("Mask" + std::to_string(level), timed(MaskEffect(level, fcpmTile)), 16, 8);
    for (auto dir : {tedDown, tedRight})
        add("Drip" + std::to_string(dir), timed(Make<TDripTransition>([dir](auto& e) { e.SetDirection(dir); })), 16, 8);
    for (auto dir : {tedLeft, tedUp})
        add("Page" + std::to_string(dir), timed(Make<TPageTransition>([dir](auto& e) { e.SetDirection(dir); })), 16, 8);
    for (auto dir : {tedDown, tedLeft})
        add("Roll" + std::to_string(dir), timed(Make<TRollTransition>([dir](auto& e) { e.SetDirection(dir); })), 16, 8);
    for (auto dir : {tedDown, tedUpLeft, tedIn, tedOut})
        add("Slide" + std::to_string(dir), timed(Make<TSlideTransition>([dir](auto& e) { e.SetDirection(dir); })), 16,
            8);
    return runs;
}

class ThroughTheDevice : public EveryEffect, public ::testing::WithParamInterface<DeviceRun> {};

TEST_P(ThroughTheDevice, RunEndsOnTheNewPicture) {
    const DeviceRun& r = GetParam();
    auto e = r.make();
    EXPECT_TRUE(DeviceRunEndsOnNew(e.get(), r.w, r.h, r.display));
}

INSTANTIATE_TEST_SUITE_P(Effects, ThroughTheDevice, ::testing::ValuesIn(DeviceRuns()),
                         [](const ::testing::TestParamInfo<DeviceRun>& i) { return i.param.name; });

// ---- tiny areas ---------------------------------------------------------------------------

struct TinyRun {
    std::string name;
    Maker make;
    cl::TPixelFormat display;
    bool mmx;
    // A run that skips frames composes what the frame-by-frame run composed (not the drip:
    // its rest shows the leading line stretched over the rows it moved at once).
    bool sameWhenSkipping;
    // The effect's last frame is the new picture. The moving effects stop one step short
    // (their frames count the positions before the end); the drip leaves the last step to the
    // device's final copy of the new picture.
    bool endsOnNew;
};

std::vector<TinyRun> TinyRuns() {
    std::vector<TinyRun> runs;
    auto add = [&](std::string name, Maker make, cl::TPixelFormat display, bool mmx, bool last = true,
                   bool same = true) {
        runs.push_back({std::move(name), std::move(make), display, mmx, same, last});
    };
    add("Blur", Make<TBlurTransition>(), cl::pf24bit, true);
    add("Pixelate", Make<TPixelateTransition>(), cl::pf24bit, true, false);
    for (int level : {0, 2})
        add("Mask" + std::to_string(level), MaskEffect(level, fcpmZoom), level > 0 ? cl::pf32bit : cl::pf24bit,
            level > 0);
    for (auto dir : {tedDown, tedUp, tedLeft, tedRight}) {
        const std::string d = std::to_string(dir);
        add("Drip" + d, Make<TDripTransition>([dir](auto& e) { e.SetDirection(dir); }), cl::pf32bit, true, false,
            false);
        add("Push" + d, Make<TPushTransition>([dir](auto& e) { e.SetDirection(dir); }), cl::pf32bit, true, false);
        for (bool other : {false, true}) {
            add("Page" + d + (other ? "Uncover" : ""), Make<TPageTransition>([dir, other](auto& e) {
                    e.SetDirection(dir);
                    e.Uncover = other;
                }),
                cl::pf32bit, true, false);
            add("Roll" + d + (other ? "Unroll" : ""), Make<TRollTransition>([dir, other](auto& e) {
                    e.SetDirection(dir);
                    e.Unroll = other;
                    e.Size = 3;
                }),
                cl::pf32bit, true, false);
        }
    }
    for (auto dir : {tedDown, tedUp, tedLeft, tedRight, tedDownLeft, tedUpRight, tedIn, tedOut})
        for (bool out : {false, true})
            add("Slide" + std::to_string(dir) + (out ? "Out" : ""), Make<TSlideTransition>([dir, out](auto& e) {
                    e.SetDirection(dir);
                    e.SlideOut = out;
                    e.ElasticSrc = out;
                }),
                cl::pf32bit, true, false);
    return runs;
}

class TinyAreas : public EveryEffect, public ::testing::WithParamInterface<TinyRun> {};

TEST_P(TinyAreas, FramesStayInsideThePicturesAndEndOnTheNewOne) {
    const TinyRun& r = GetParam();
    MMXAvailable = r.mmx;
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 7}, {9, 4}};
    EXPECT_TRUE(RunsOverTinyAreas(r.make, r.display, r.sameWhenSkipping, r.endsOnNew, sizes, {4, 0}));
}

INSTANTIATE_TEST_SUITE_P(Effects, TinyAreas, ::testing::ValuesIn(TinyRuns()),
                         [](const ::testing::TestParamInfo<TinyRun>& i) { return i.param.name; });

}  // namespace
