// The micro-tile repaint optimiser: a reset covers the whole buffer, reported areas and the old
// and new extents of changed layers become the rectangle list, the coarser levels, and a paint
// box in rmOptimizer repainting only what its bitmap reported.
#include <gtest/gtest.h>

#include "platform/clock.h"

#include <vector>

#include "pix32/Pix32_Image.h"
#include "pix32/Pix32_MicroTiles.h"
#include "platform/user_testhooks.h"
#include "test_MicroTiles_Rect.h"
#include "test_RangeBars_fixture.h"

namespace pix32 {
namespace {

// A layer that covers a rectangle of the buffer.
class RectLayer : public TCustomLayer {
public:
    explicit RectLayer(TLayerCollection* c) : TCustomLayer(c) {}
    TRect Where{0, 0, 0, 0};
    void MoveTo(const TRect& R) {
        Where = R;
        Changed();
    }

protected:
    void Paint(TBitmap32* Buffer) override { Buffer->FillRectClipped(Where, 0xFFFF0000u); }
};

class Optimizer : public TMicroTilesRepaintOptimizer {
public:
    using TMicroTilesRepaintOptimizer::MeasurePaintTime;
    using TMicroTilesRepaintOptimizer::TMicroTilesRepaintOptimizer;
};

class OptimizerTest : public ::testing::Test {
protected:
    // The optimiser times its paints: on the virtual clock those times are exact, so the
    // adaptive level does not depend on how busy the machine is.
    struct VirtualClock {
        VirtualClock() { win::SetClockMode(win::ClockMode::Virtual); }
        ~VirtualClock() { win::SetClockMode(win::ClockMode::Real); }
    } clock;
    OptimizerTest() : layers(nullptr), opt(&buffer, &rects) {
        buffer.SetSize(100, 80);
        buffer.ClearToColor(0xFF000000u);
    }

    std::vector<TRect> Optimize() {
        rects.Clear();
        opt.PerformOptimization();
        std::vector<TRect> out;
        for (int i = 0; i < rects.Count(); ++i) out.push_back(*rects.Items(i));
        opt.BeginPaintBuffer();
        opt.EndPaintBuffer();
        return out;
    }

    TBitmap32 buffer;
    TRectList rects;
    TLayerCollection layers;
    Optimizer opt;
};

TEST_F(OptimizerTest, ResetCoversTheWholeBuffer) {
    opt.SetEnabled(true);
    EXPECT_TRUE(opt.UpdatesAvailable());
    EXPECT_EQ((std::vector<TRect>{{0, 0, 100, 80}}), Optimize());
    EXPECT_FALSE(opt.UpdatesAvailable());
    EXPECT_TRUE(Optimize().empty());
    opt.Reset();
    EXPECT_EQ((std::vector<TRect>{{0, 0, 100, 80}}), Optimize());
    opt.BufferResizedHandler(40, 30);
    EXPECT_EQ((std::vector<TRect>{{0, 0, 40, 30}}), Optimize());
}

TEST_F(OptimizerTest, ReportedAreasBecomeTheRectangles) {
    opt.SetEnabled(true);
    Optimize();
    opt.AreaUpdateHandler(nullptr, TRect{10, 10, 20, 20}, AreaInfoRect);
    opt.AreaUpdateHandler(nullptr, TRect{60, 40, 90, 70}, AreaInfoRect);
    EXPECT_TRUE(opt.UpdatesAvailable());
    EXPECT_EQ((std::vector<TRect>{{10, 10, 20, 20}, {60, 40, 90, 70}}), Optimize());
    EXPECT_TRUE(Optimize().empty());
}

TEST_F(OptimizerTest, ChangedLayerInvalidatesItsOldAndNewPlace) {
    auto* layer = layers.Add<RectLayer>();
    layer->Where = TRect{10, 10, 20, 20};
    opt.RegisterLayerCollection(&layers);
    opt.SetEnabled(true);
    Optimize();  // the reset's full paint; the layer's extent is measured
    layer->MoveTo(TRect{50, 50, 60, 60});
    EXPECT_TRUE(layer->Invalid());
    EXPECT_EQ((std::vector<TRect>{{10, 10, 20, 20}, {50, 50, 60, 60}}), Optimize());
    EXPECT_FALSE(layer->Invalid());
    EXPECT_EQ(0xFF000000u, buffer.Pixel(15, 15));  // measuring the layer wrote no pixel
    EXPECT_EQ(0xFF000000u, buffer.Pixel(55, 55));

    // A deleted layer leaves its last place to be repainted.
    delete layer;
    EXPECT_EQ((std::vector<TRect>{{50, 50, 60, 60}}), Optimize());
    EXPECT_TRUE(Optimize().empty());
}

TEST_F(OptimizerTest, ClearingTheCollectionRepaintsEveryLayersPlace) {
    auto* a = layers.Add<RectLayer>();
    a->Where = TRect{0, 0, 10, 10};
    auto* b = layers.Add<RectLayer>();
    b->Where = TRect{70, 60, 80, 70};
    opt.RegisterLayerCollection(&layers);
    opt.SetEnabled(true);
    Optimize();
    layers.Clear();
    EXPECT_EQ((std::vector<TRect>{{0, 0, 10, 10}, {70, 60, 80, 70}}), Optimize());
}

TEST_F(OptimizerTest, DisabledOptimizerLeavesTheCollectionAlone) {
    auto* layer = layers.Add<RectLayer>();
    opt.RegisterLayerCollection(&layers);
    opt.SetEnabled(true);
    EXPECT_TRUE(static_cast<bool>(layers.OnLayerUpdated));
    opt.SetEnabled(false);
    EXPECT_FALSE(static_cast<bool>(layers.OnLayerUpdated));
    EXPECT_FALSE(static_cast<bool>(layers.OnListNotify));
    layer->MoveTo(TRect{1, 1, 2, 2});
    EXPECT_FALSE(layer->Invalid());
    opt.UnregisterLayerCollection(&layers);
    EXPECT_EQ(0, opt.LayerCollectionCount());
}

TEST_F(OptimizerTest, SlowPartialPaintsCoarsenToWholeTiles) {
    win::SetClockMode(win::ClockMode::Virtual);  // the timed checks see a clock that stands still
    opt.SetEnabled(true);
    rects.Clear();
    opt.PerformOptimization();
    rects.Clear();
    opt.MeasurePaintTime(1000);  // no rectangles: a full paint took 1000 us
    rects.Clear();
    rects.Add(TRect{1, 1, 2, 2});
    opt.MeasurePaintTime(2000);  // a partial paint cost more: whole tiles
    EXPECT_EQ(1, opt.PerformanceLevel());
    rects.Clear();
    opt.PerformOptimization();  // the first timed check is due at once: back to exact
    EXPECT_EQ(0, opt.PerformanceLevel());
    rects.Add(TRect{1, 1, 2, 2});
    opt.MeasurePaintTime(2000);  // slower again: level 1, the next check 1250 ms away
    EXPECT_EQ(1, opt.PerformanceLevel());
    EXPECT_EQ(1250, opt.TimeDelta());
    opt.AreaUpdateHandler(nullptr, TRect{10, 10, 20, 20}, AreaInfoRect);
    rects.Clear();
    opt.PerformOptimization();
    EXPECT_EQ(1, opt.PerformanceLevel());
    ASSERT_EQ(1, rects.Count());
    EXPECT_EQ((TRect{0, 0, 32, 32}), *rects.Items(0));  // snapped to the tile
    rects.Add(TRect{1, 1, 2, 2});
    opt.MeasurePaintTime(3000);  // slower still: tracking is given up
    EXPECT_EQ(2, opt.PerformanceLevel());
    opt.AreaUpdateHandler(nullptr, TRect{10, 10, 20, 20}, AreaInfoRect);
    rects.Clear();
    opt.PerformOptimization();
    EXPECT_EQ(0, rects.Count());  // no rectangles: the whole viewport is repainted
    opt.ResetAdaptiveMode();
    EXPECT_EQ(0, opt.PerformanceLevel());
    EXPECT_EQ(1000, opt.TimeDelta());
    win::SetClockMode(win::ClockMode::Real);
}

class OptimizedImageTest : public testing::ControlTest {};

TEST_F(OptimizedImageTest, BitmapAreaChangeRepaintsOnlyThatArea) {
    auto* img = new TImage32(form);
    img->SetParent(form);
    img->SetBounds(0, 0, 100, 80);
    img->Bitmap()->SetSize(100, 80);
    img->Bitmap()->ClearToColor(0xFF0000FFu);
    img->PaintStages()->Add()->Kind = psCustom;
    std::vector<TRect> clips;
    img->OnPaintStage = [&](cl::TObject*, TBitmap32* Dest, uint32_t) { clips.push_back(Dest->ClipRect()); };
    img->SetRepaintMode(rmOptimizer);
    EXPECT_TRUE(img->RepaintOptimizer()->Enabled());
    form->Show();
    RunFor(50);
    ASSERT_FALSE(clips.empty());
    // The first change after the reset of enabling still brings the reset's whole buffer (the
    // first paint was forced full and did not consume it).
    clips.clear();
    img->Bitmap()->FillRectClipped(70, 50, 75, 55, 0xFF0000FFu);
    RunFor(50);
    ASSERT_EQ(1u, clips.size());
    EXPECT_EQ((TRect{0, 0, 100, 80}), clips[0]);
    clips.clear();
    img->Bitmap()->FillRectClipped(10, 10, 20, 20, 0xFFFF0000u);
    RunFor(50);
    // The area, enlarged by the resampler's width plus one, is all that is produced again.
    const int grow = static_cast<int>(img->Bitmap()->Resampler()->GetWidth()) + 1;
    ASSERT_EQ(1u, clips.size());
    EXPECT_EQ((TRect{10 - grow, 10 - grow, 20 + grow, 20 + grow}), clips[0]);
    const win::test::Screen s = win::test::ScreenComposite();
    const win::POINT o = img->GetClientOrigin();
    EXPECT_EQ(0xFF0000u, s.At(o.x + 15, o.y + 15) & 0xFFFFFF);
    EXPECT_EQ(0x0000FFu, s.At(o.x + 50, o.y + 50) & 0xFFFFFF);
}

}  // namespace
}  // namespace pix32
