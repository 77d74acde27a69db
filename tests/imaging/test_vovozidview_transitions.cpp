// The view and its transitions' component: the component is made on first need and lives
// with the view, the transition events are kept in it, a change of size or an emptied image
// stops a running transition, and the frames use the view's own background painter.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/processing/ietransitions.h"
#include "transitions_testutil.h"
#include "view_testutil.h"

namespace ie {
namespace {

using test::PixelAt;

class ViewTransitionTest : public test::ViewScreenTest {
protected:
    static constexpr int kW = 64, kH = 48;

    // What a starting operation does: old and new pictures of the view's size, the frame
    // on the new picture, and the timer on.
    void Start(TIETransitionEffects* Fx, TVovozIdView* View, int Effect) {
        source = test::NoisePicture(kW, kH, 1);
        target = test::NoisePicture(kW, kH, 2);
        struct Set {
            cl::TBitmap* b;
            cl::TBitmap* from;
            std::vector<uint8_t*>* rows;
        };
        const Set sets[] = {{Fx->SourceBitmap.get(), source.get(), &Fx->SourceRows},
                            {Fx->TargetBitmap.get(), target.get(), &Fx->TargetRows},
                            {Fx->FrameBitmap.get(), target.get(), &Fx->FrameRows}};
        for (const Set& s : sets) {
            s.b->SetSize(kW, kH);
            test::CopyPixels(s.b, s.from);
            s.rows->clear();
            for (int y = 0; y < kH; ++y) s.rows->push_back(static_cast<uint8_t*>(s.b->ScanLine(y)));
        }
        Fx->FrameWidth = kW;
        Fx->FrameHeight = kH;
        Fx->Effect = static_cast<uint8_t>(Effect);
        Fx->Duration = 1000;
        Fx->Step = 0;
        Fx->StartTick = win::GetTickCount();
        View->LockUpdate();
        Fx->Running = true;
        Fx->Timer->SetEnabled(true);
    }

    std::unique_ptr<cl::TBitmap> source, target;
};

TEST_F(ViewTransitionTest, TheComponentIsMadeBySettingAnEventAndKeepsTheEvents) {
    TVovozIdView* view = MakeView(kW, kH);
    EXPECT_EQ(view->GetTransition(), nullptr);
    // Reading an event does not make the component.
    EXPECT_FALSE(view->GetOnTransitionStop());
    EXPECT_FALSE(view->GetOnTransitionStep());
    EXPECT_FALSE(view->GetOnTransitionPaint());
    EXPECT_EQ(view->GetTransition(), nullptr);

    int steps = 0, stops = 0, paints = 0;
    view->SetOnTransitionStep([&](cl::TObject*, int32_t) { ++steps; });
    TIETransitionEffects* fx = view->GetTransition();
    ASSERT_NE(fx, nullptr);
    view->SetOnTransitionStop([&](cl::TObject*) { ++stops; });
    view->SetOnTransitionPaint([&](cl::TObject*, cl::TBitmap*, TIETransitionEffects*, int32_t) { ++paints; });
    // The same component all along.
    EXPECT_EQ(view->GetTransition(), fx);
    view->CreateTransition();
    EXPECT_EQ(view->GetTransition(), fx);

    Start(fx, view, 1);
    fx->TimerEvent(fx->Timer);
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(paints, 1);
    view->GetOnTransitionStep()(view, 0);
    EXPECT_EQ(steps, 2);
    win::ClockAdvance(int64_t{1000} * win::kTicksPerMs);
    fx->TimerEvent(fx->Timer);
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(stops, 1);
}

TEST_F(ViewTransitionTest, ASizeChangeOrAnEmptiedImageStopsARunningTransition) {
    TVovozIdView* view = MakeView(kW, kH);
    int stops = 0;
    view->SetOnTransitionStop([&](cl::TObject* Sender) {
        ++stops;
        EXPECT_EQ(Sender, view);
    });
    TIETransitionEffects* fx = view->GetTransition();

    Start(fx, view, 1);
    form->SetBounds(0, 0, kW + 10, kH);
    Pump();
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(fx->FrameBitmap->GetWidth(), 1);

    Start(fx, view, 1);
    view->ResetToEmpty();
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(view->GetIEBitmap()->GetWidth(), 1);

    // Neither stops an idle component again.
    view->ResetToEmpty();
    EXPECT_EQ(stops, 2);
}

TEST_F(ViewTransitionTest, PanAndZoomPaintsTheViewsOwnBackgroundAroundTheImage) {
    TVovozIdView* view = MakeView(kW, kH);
    view->SetBackground(cl::clNavy);
    view->SetChessboardStyle(8, cl::bsSolid);
    view->SetBackgroundStyle(iebsChessboard);
    view->CreateTransition();
    TIETransitionEffects* fx = view->GetTransition();

    // The view's background painted on its own, for comparison.
    cl::TBitmap reference;
    reference.SetPixelFormat(cl::pf24bit);
    reference.SetSize(kW, kH);
    view->DrawBackgroundTo(reference.GetCanvas());
    int differing = 0;
    for (int x = 1; x < kW; ++x) differing += PixelAt(&reference, x, 0) != PixelAt(&reference, 0, 0);
    ASSERT_GT(differing, 0) << "the chessboard must not be one colour";

    TIEBitmap image(kW, kH, ie24RGB);
    test::FillCoordPicture(&image, kW, kH);
    fx->PanZoomImage = &image;
    // Wholly left of the image: nothing of it is shown, only the background.
    fx->PanZoomStart = cl::Rect(-kW - 40, 0, -40, kH);
    fx->PanZoomEnd = fx->PanZoomStart;
    Start(fx, view, IEPanZoomEffect);
    fx->TimerEvent(fx->Timer);
    for (int y = 0; y < kH; y += 7)
        for (int x = 0; x < kW; x += 5)
            EXPECT_EQ(PixelAt(fx->FrameBitmap.get(), x, y), PixelAt(&reference, x, y)) << x << "," << y;
}

}  // namespace
}  // namespace ie
