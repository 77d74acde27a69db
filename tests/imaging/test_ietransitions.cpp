// The view's transitions on the headless screen and the virtual clock: the frame step and
// its events, the timing curves, the stop, transitions set up wrongly, the built-in effects
// at steps 0, 512 and 1024, the dispatch to the GDI effects, and pan and zoom. Tests call
// the frame step themselves and move the clock, so nothing waits on wall time.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/ieview.h"
#include "imaging/processing/ietransitions.h"
#include "imaging/processing/iextratransitions.h"
#include "processing_fixture.h"
#include "transitions_testutil.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;
using test::DifferentPixels;
using test::PixelAt;

// A view with the abstract operations answered, counting the update locks.
class TTransitionView : public TIEView {
    CL_DECLARE_COMPONENT(TTransitionView, TIEView)
public:
    explicit TTransitionView(cl::TComponent* AOwner) : TIEView(AOwner) {}
    TIEBitmap* GetAlphaChannel() override { return nullptr; }
    bool GetHasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockUpdate() override { ++Locks; }
    void UnlockUpdate() override { --Locks; }
    void UnlockUpdateEx() override {
        --Locks;
        ++Unlocks;
    }
    int Locks = 0;
    int Unlocks = 0;
};

constexpr int kW = 64, kH = 48;
constexpr cl::TColor kBackground = static_cast<cl::TColor>(0x203040);  // red 0x40, green 0x30, blue 0x20
constexpr uint32_t kBackgroundPixel = 0x403020;  // as PixelAt reads it: blue, green, red in memory

class TransitionTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 200, 150);
        view = new TTransitionView(form);
        view->SetParent(form);
        view->SetBorderStyle(cl::bsNone);
        view->SetBounds(0, 0, kW, kH);
        view->SetBackground(kBackground);
        form->Show();
        cl::Application->ProcessMessages();
        fx = std::make_unique<TIETransitionEffects>(view);
        fx->OnTransitionStop = [this](cl::TObject* Sender) {
            ++stops;
            EXPECT_EQ(Sender, view);
        };
        fx->SetOnTransitionPaint([this](cl::TObject* Sender, cl::TBitmap* Bitmap, TIETransitionEffects* T, int32_t S) {
            EXPECT_EQ(Sender, view);
            EXPECT_EQ(T, fx.get());
            paints.push_back(S);
            lastPainted = Bitmap;
        });
        fx->ViewUpdate = [this] { ++updates; };
        source = test::NoisePicture(kW, kH, 1);
        target = test::NoisePicture(kW, kH, 2);
    }
    void TearDown() override {
        fx.reset();
        delete form;
        ControlsTest::TearDown();
    }

    // What a starting operation does.
    void Start(int Effect, int Duration = 1000, uint8_t Timing = ietLinear) {
        struct Set {
            cl::TBitmap* b;
            cl::TBitmap* from;
            std::vector<uint8_t*>* rows;
        };
        const Set sets[] = {{fx->SourceBitmap.get(), source.get(), &fx->SourceRows},
                            {fx->TargetBitmap.get(), target.get(), &fx->TargetRows},
                            {fx->FrameBitmap.get(), target.get(), &fx->FrameRows}};
        for (const Set& s : sets) {
            s.b->SetSize(kW, kH);
            test::CopyPixels(s.b, s.from);
            s.rows->clear();
            for (int y = 0; y < kH; ++y) s.rows->push_back(static_cast<uint8_t*>(s.b->ScanLine(y)));
        }
        fx->FrameWidth = kW;
        fx->FrameHeight = kH;
        fx->Effect = static_cast<uint8_t>(Effect);
        fx->Duration = Duration;
        fx->Timing = Timing;
        fx->Step = 0;
        fx->LastCount = 0;
        fx->FrameCount = 0;
        fx->StartTick = win::GetTickCount();
        view->LockUpdate();
        fx->Running = true;
        fx->Timer->SetEnabled(true);
    }
    void Advance(int Ms) { win::ClockAdvance(int64_t{Ms} * win::kTicksPerMs); }
    void Tick() { fx->TimerEvent(fx->Timer); }
    // One frame at step S with the clock at the start (the transition goes on).
    void FrameAt(int32_t S) {
        fx->StartTick = win::GetTickCount();
        fx->Step = S;
        Tick();
    }
    cl::TBitmap* Frame() { return fx->FrameBitmap.get(); }
    bool FrameIs(cl::TBitmap* b, int x, int y) { return PixelAt(Frame(), x, y) == PixelAt(b, x, y); }

    cl::TForm* form = nullptr;
    TTransitionView* view = nullptr;
    std::unique_ptr<TIETransitionEffects> fx;
    std::unique_ptr<cl::TBitmap> source, target;
    int stops = 0, updates = 0;
    std::vector<int32_t> paints;
    cl::TBitmap* lastPainted = nullptr;
};

TEST_F(TransitionTest, Defaults) {
    for (cl::TBitmap* b : {fx->SourceBitmap.get(), fx->TargetBitmap.get(), fx->FrameBitmap.get()}) {
        EXPECT_EQ(b->GetWidth(), 1);
        EXPECT_EQ(b->GetHeight(), 1);
        EXPECT_EQ(b->GetPixelFormat(), cl::pf24bit);
    }
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(fx->Effect, 0);
    EXPECT_EQ(fx->Duration, 1000);
    EXPECT_EQ(fx->Timing, ietLinear);
    EXPECT_FALSE(fx->UpdateOnStop);
    EXPECT_EQ(fx->PanZoomImage, nullptr);
    EXPECT_TRUE(fx->SourceRows.empty());
    EXPECT_EQ(fx->View, view);
    ASSERT_NE(fx->Timer, nullptr);
    EXPECT_EQ(fx->Timer->GetOwner(), view);
    EXPECT_FALSE(fx->Timer->GetEnabled());
    EXPECT_EQ(fx->Timer->GetInterval(), 1u);
    fx->Timer->GetOnTimer()(fx->Timer);  // the handler is the frame step: idle, nothing
    EXPECT_TRUE(paints.empty());
    // The timer goes with the object.
    const int before = view->GetComponentCount();
    fx.reset();
    EXPECT_EQ(view->GetComponentCount(), before - 1);
}

TEST_F(TransitionTest, StopOnAnIdleObjectOrEffectZeroDoesNothing) {
    fx->Stop();
    EXPECT_EQ(stops, 0);
    fx->Running = true;  // running, but no effect
    fx->Stop();
    EXPECT_TRUE(fx->Running);
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(view->Unlocks, 0);
    fx->Running = false;
}

TEST_F(TransitionTest, LinearTimingStepsAndStopsAfterTheDuration) {
    std::vector<int32_t> steps;
    fx->OnTransitionStep = [&](cl::TObject* Sender, int32_t S) {
        EXPECT_EQ(Sender, view);
        steps.push_back(S);
    };
    Start(1);
    Tick();  // the first frame at the start's step
    EXPECT_EQ(DifferentPixels(Frame(), source.get()), 0);
    Advance(500);
    Tick();
    EXPECT_EQ(fx->Step, 512);  // the step is computed after the frame, for the next one
    Advance(250);
    Tick();
    EXPECT_EQ(fx->Step, 768);
    EXPECT_TRUE(fx->Running);
    Advance(250);
    Tick();  // 1000 ms: the last frame, then the stop
    EXPECT_EQ(steps, (std::vector<int32_t>{0, 0, 512, 768}));
    EXPECT_EQ(paints, (std::vector<int32_t>{0, 0, 512, 768}));
    EXPECT_EQ(fx->FrameCount, 4);
    EXPECT_FALSE(fx->Running);
    EXPECT_FALSE(fx->Timer->GetEnabled());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(updates, 0);  // no update without UpdateOnStop
    EXPECT_EQ(view->Unlocks, 1);
    EXPECT_EQ(view->Locks, 0);
    for (cl::TBitmap* b : {fx->SourceBitmap.get(), fx->TargetBitmap.get(), fx->FrameBitmap.get()})
        EXPECT_EQ(b->GetWidth() * b->GetHeight(), 1);
    EXPECT_EQ(fx->SourceRows.size(), size_t(kH));  // the row arrays stay
    Tick();                                        // idle again: nothing
    EXPECT_EQ(paints.size(), 4u);
}

TEST_F(TransitionTest, TheViewsTimerRunsTheTransitionToItsEnd) {
    fx->UpdateOnStop = true;
    Start(27, 200);
    RunFor(100);  // the message loop delivers the 1 ms ticks
    EXPECT_TRUE(fx->Running);
    EXPECT_GE(fx->FrameCount, 9);  // window timers tick at 10 ms at the fastest, as the system's do
    EXPECT_GT(fx->Step, 300);
    EXPECT_LT(fx->Step, 724);
    RunFor(150);
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(paints.back(), 1024);
    const int frames = fx->FrameCount;
    RunFor(20);  // stopped: no more frames
    EXPECT_EQ(fx->FrameCount, frames);
}

TEST_F(TransitionTest, StepOfEachTimingCurve) {
    struct Case {
        uint8_t timing;
        int elapsed;
        int32_t step;
    };
    // clang-format off
    const Case cases[] = {
        {ietLinear, 0, 0},          {ietLinear, 250, 256},        {ietLinear, 999, 1022},
        {ietExponential, 0, 6},     {ietExponential, 500, 82},    {ietExponential, 999, 998},
        {ietLogarithmic, 0, 0},     // ln 0 is no number: the step stays 0
        {ietLogarithmic, 5, 0},     // below 0.0066 the curve is negative
        {ietLogarithmic, 7, 12},    {ietLogarithmic, 250, 744},   {ietLogarithmic, 500, 886},
        {ietLogarithmic, 999, 1024},  // 1028 on the curve, limited
    };
    // clang-format on
    for (const Case& c : cases) {
        Start(1, 1000, c.timing);
        fx->StartTick = win::GetTickCount() - uint32_t(c.elapsed);
        Tick();
        EXPECT_EQ(fx->Step, c.step) << int(c.timing) << " at " << c.elapsed;
        fx->Stop();
    }
}

TEST_F(TransitionTest, ExponentialStepNeverPassesTheCurvesEnd) {
    Start(1, 1000, ietExponential);
    int32_t highest = 0;
    while (fx->Running) {
        Tick();
        highest = std::max(highest, fx->Step);
        Advance(1);
    }
    EXPECT_LE(highest, 1003);
    EXPECT_GE(highest, 990);
}

TEST_F(TransitionTest, ZeroDurationEndsAtOnceOnTheNewPicture) {
    bool stepped = false;
    fx->OnTransitionStep = [&](cl::TObject*, int32_t) { stepped = true; };
    fx->UpdateOnStop = true;
    Start(31, 0);
    Tick();
    EXPECT_FALSE(fx->Running);
    EXPECT_FALSE(stepped);
    EXPECT_EQ(fx->FrameCount, 0);
    EXPECT_EQ(paints, (std::vector<int32_t>{1024}));
    EXPECT_EQ(lastPainted, fx->TargetBitmap.get());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(view->Locks, 0);
}

TEST_F(TransitionTest, UpdateOnStopShowsTheNewPictureOnTheView) {
    fx->UpdateOnStop = true;
    Start(5, 100);
    Tick();
    Advance(100);
    Tick();
    EXPECT_EQ(paints, (std::vector<int32_t>{0, 0, 1024}));  // two frames at step 0, then the new picture
    EXPECT_EQ(updates, 1);
    // The last copy went onto the view's window.
    win::HDC dc = view->GetCanvas()->GetHandle();
    for (int y = 0; y < kH; y += 11)
        for (int x = 0; x < kW; x += 13) {
            const win::COLORREF c = win::GetPixel(dc, x, y);
            const uint32_t memory = (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16;
            EXPECT_EQ(memory, PixelAt(target.get(), x, y)) << x << "," << y;
        }
}

TEST_F(TransitionTest, TransitionsSetUpWronglyEndAtTheirFirstTick) {
    struct Case {
        const char* what;
        void (*spoil)(TIETransitionEffects&);
    };
    const Case cases[] = {
        {"effect 0", [](TIETransitionEffects& t) { t.Effect = 0; }},
        {"effect 189", [](TIETransitionEffects& t) { t.Effect = 189; }},
        {"effect 255", [](TIETransitionEffects& t) { t.Effect = 255; }},
        {"pan and zoom without an image", [](TIETransitionEffects& t) { t.Effect = 188; }},
        {"frame size of 0", [](TIETransitionEffects& t) { t.FrameWidth = 0; }},
        {"frame size not the bitmaps'", [](TIETransitionEffects& t) { t.FrameHeight = kH + 1; }},
        {"a row short", [](TIETransitionEffects& t) { t.TargetRows.pop_back(); }},
        {"rows not the bitmap's", [](TIETransitionEffects& t) { t.FrameRows.back() = t.FrameRows.front(); }},
        {"a bitmap of 32 bits", [](TIETransitionEffects& t) { t.SourceBitmap->SetPixelFormat(cl::pf32bit); }},
    };
    for (const Case& c : cases) {
        Start(1);
        c.spoil(*fx);
        const int stopsBefore = stops;
        Tick();
        EXPECT_FALSE(fx->Running) << c.what;
        EXPECT_TRUE(paints.empty()) << c.what;  // nothing drawn
        EXPECT_EQ(stops, stopsBefore + 1) << c.what;
        EXPECT_EQ(view->Locks, 0) << c.what;
    }
}

TEST_F(TransitionTest, EventsMayStopTheTransition) {
    Start(1);
    fx->SetOnTransitionPaint([this](cl::TObject*, cl::TBitmap*, TIETransitionEffects*, int32_t) { fx->Stop(); });
    Tick();
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(stops, 1);
    Start(1);
    fx->OnTransitionStep = [this](cl::TObject*, int32_t) { fx->Stop(); };
    Tick();
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(fx->FrameCount, 0);  // stopped before the frame
    EXPECT_EQ(stops, 2);
}

// ---------------------------------------------------------------------------------------
// The built-in effects

// The frame of the pixel effects worked out byte by byte.
uint8_t Mix(uint32_t a, uint32_t b, uint32_t s) { return uint8_t((a * (1024 - s) + b * s) >> 10); }

TEST_F(TransitionTest, FadesByteByByte) {
    const uint8_t bg[3] = {0x20, 0x30, 0x40};
    struct Case {
        int effect;
        int32_t step;
    };
    const Case cases[] = {{1, 0}, {1, 300}, {1, 1024}, {2, 0},   {2, 700}, {2, 1024},
                          {3, 0}, {3, 300}, {3, 1024}, {4, 200}, {4, 512}, {4, 900}};
    for (const Case& c : cases) {
        Start(c.effect);
        FrameAt(c.step);
        int wrong = 0;
        for (int y = 0; y < kH; ++y) {
            const auto* f = static_cast<const uint8_t*>(Frame()->ScanLine(y));
            const auto* a = static_cast<const uint8_t*>(source->ScanLine(y));
            const auto* b = static_cast<const uint8_t*>(target->ScanLine(y));
            for (int i = 0; i < kW * 3; ++i) {
                uint8_t want = 0;
                switch (c.effect) {
                    case 1: want = Mix(a[i], b[i], uint32_t(c.step)); break;
                    case 2: want = Mix(a[i], bg[i % 3], uint32_t(c.step)); break;
                    case 3: want = Mix(bg[i % 3], b[i], uint32_t(c.step)); break;
                    default:
                        want = c.step < 512 ? Mix(a[i], bg[i % 3], uint32_t(2 * c.step))
                                            : Mix(bg[i % 3], b[i], uint32_t(2 * c.step - 1024));
                }
                wrong += f[i] != want;
            }
        }
        EXPECT_EQ(wrong, 0) << c.effect << " at " << c.step;
    }
    // Fade Out then In at the middle is the plain background.
    Start(4);
    FrameAt(512);
    for (int y = 0; y < kH; y += 5)
        for (int x = 0; x < kW; x += 3) EXPECT_EQ(PixelAt(Frame(), x, y), kBackgroundPixel);
}

TEST_F(TransitionTest, PushesAndSlidesOutRowByRow) {
    // Step 256 of a 64 x 48 frame: c = 16 columns or 12 rows.
    struct Case {
        int effect;
        int x, y;         // frame pixel
        bool fromTarget;  // picture it comes from
        int sx, sy;       // at this pixel of it
    };
    // clang-format off
    const Case cases[] = {
        {17, 0, 5, true, 48, 5},   {17, 16, 5, false, 0, 5},    // Push Left to Right
        {18, 15, 5, true, 15, 5},  {18, 16, 5, false, 0, 5},    // Slide Out Left to Right
        {19, 0, 5, false, 16, 5},  {19, 48, 5, true, 0, 5},     // Push Right to Left (c = 48)
        {20, 47, 5, false, 47, 5}, {20, 48, 5, true, 0, 5},     // Slide Out Right to Left
        {21, 3, 0, true, 3, 36},   {21, 3, 12, false, 3, 0},    // Push Top to Bottom
        {22, 3, 11, true, 3, 11},  {22, 3, 12, false, 3, 0},    // Slide Out Top to Bottom
        {23, 3, 0, false, 3, 12},  {23, 3, 36, true, 3, 0},     // Push Bottom to Top (c = 36)
        {24, 3, 35, false, 3, 47}, {24, 3, 36, true, 3, 36},    // Slide Out Bottom to Top
    };
    // clang-format on
    for (const Case& c : cases) {
        Start(c.effect);
        FrameAt(256);
        EXPECT_EQ(PixelAt(Frame(), c.x, c.y), PixelAt(c.fromTarget ? target.get() : source.get(), c.sx, c.sy))
            << c.effect << " at " << c.x << "," << c.y;
    }
}

TEST_F(TransitionTest, BuiltInEffectsStartOnTheOldAndEndOnTheNewPicture) {
    for (int n = 1; n <= 30; ++n) {
        Start(n);
        FrameAt(0);
        if (n == 3) {  // Fade In starts from the background
            EXPECT_EQ(PixelAt(Frame(), 5, 5), kBackgroundPixel);
        } else if (n == 6 || n == 10) {  // the red edge starts at the left or top border
            EXPECT_EQ(PixelAt(Frame(), 0, 0), 0xFF0000u) << n;
            EXPECT_EQ(DifferentPixels(Frame(), source.get()), n == 6 ? kH : kW) << n;
        } else {
            EXPECT_EQ(DifferentPixels(Frame(), source.get()), 0) << n;
        }
        FrameAt(512);
        EXPECT_GT(DifferentPixels(Frame(), source.get()), 0) << n;
        EXPECT_GT(DifferentPixels(Frame(), target.get()), 0) << n;
        FrameAt(1024);
        const int64_t diff = DifferentPixels(Frame(), target.get());
        switch (n) {
            case 2: EXPECT_EQ(PixelAt(Frame(), 9, 9), kBackgroundPixel); break;  // faded out
            case 8:   // the red edge stands at the left border
            case 12:  // ... at the top border
                EXPECT_EQ(PixelAt(Frame(), 0, 0), 0xFF0000u) << n;
                EXPECT_EQ(diff, n == 8 ? kH : kW) << n;
                break;
            case 25:  // random points and boxes: most of the new picture, the final copy does the rest
            case 26: EXPECT_LT(diff, kW * kH / 10) << n; break;
            default: EXPECT_EQ(diff, 0) << n;
        }
        fx->Stop();
    }
}

TEST_F(TransitionTest, WipesAndCentresHalfWay) {
    struct Probe {
        int effect;
        int x, y;
        bool isNew;
    };
    // clang-format off
    const Probe probes[] = {
        {5, 31, 20, true},  {5, 32, 20, false},                       // Wipe Left to Right
        {7, 32, 20, true},  {7, 31, 20, false},                       // Wipe Right to Left
        {9, 5, 23, true},   {9, 5, 24, false},                        // Wipe Top to Bottom
        {11, 5, 24, true},  {11, 5, 23, false},                       // Wipe Bottom to Top
        {27, 32, 24, true}, {27, 15, 11, false}, {27, 16, 12, true},  // Wipe Out from Center
        {28, 32, 24, false}, {28, 15, 11, true},                      // Wipe In to Center
    };
    // clang-format on
    for (const Probe& p : probes) {
        Start(p.effect);
        FrameAt(0);
        FrameAt(512);
        EXPECT_TRUE(FrameIs(p.isNew ? target.get() : source.get(), p.x, p.y))
            << p.effect << " at " << p.x << "," << p.y;
    }
    // The second forms draw the red edge.
    Start(6);
    FrameAt(0);
    FrameAt(512);
    EXPECT_EQ(PixelAt(Frame(), 32, 10), 0xFF0000u);
    // A slide moves the whole new picture: half way it stands at (32, 24).
    Start(16);
    FrameAt(0);
    FrameAt(512);
    EXPECT_TRUE(FrameIs(source.get(), 31, 23));
    EXPECT_EQ(PixelAt(Frame(), 32, 24), PixelAt(target.get(), 0, 0));
}

TEST_F(TransitionTest, RandomPointsAtStepZeroResetTheFrameButNotTheCount) {
    Start(25);
    FrameAt(400);
    const int32_t count = fx->LastCount;
    EXPECT_EQ(count, int32_t(cl::Round(kW * 400.0 * (400 / 180.0) / 1024)));
    FrameAt(0);
    EXPECT_EQ(DifferentPixels(Frame(), source.get()), 0);
    EXPECT_EQ(fx->LastCount, count);
}

// ---------------------------------------------------------------------------------------
// The GDI effects through the transition

TEST_F(TransitionTest, GdiEffectsGetTheFrameCanvasAndTheRoundedPercent) {
    Start(31);
    FrameAt(0);
    EXPECT_EQ(DifferentPixels(Frame(), source.get()), 0);
    FrameAt(5);  // 0.49 %: rounds to 0, nothing drawn
    EXPECT_EQ(DifferentPixels(Frame(), source.get()), 0);
    FrameAt(512);
    // The same as the effect called on a copy of the old picture at 50 % in halftone mode.
    auto expect = test::NoisePicture(kW, kH, 1);
    win::SetStretchBltMode(expect->GetCanvas()->GetHandle(), win::HALFTONE);
    IEEffectTable[30].Proc(expect->GetCanvas(), source.get(), target.get(), cl::Rect(0, 0, kW, kH), 1, 50);
    EXPECT_EQ(DifferentPixels(Frame(), expect.get()), 0);
    // Every GDI effect ends on the new picture at step 1024 except the two sweeps and the
    // second page flip (checked with the effects).
    for (int n = 31; n <= 187; ++n) {
        Start(n);
        FrameAt(0);
        FrameAt(1024);
        if (n != 139 && n != 140 && n != 187) {
            EXPECT_EQ(DifferentPixels(Frame(), target.get()), 0) << n;
        }
        fx->Stop();
    }
}

// ---------------------------------------------------------------------------------------
// Pan and zoom

TEST_F(TransitionTest, PanAndZoomInsideTheImageNeverPaintsTheBackground) {
    TIEBitmap image(kW * 2, kH * 2, ie24RGB);
    test::FillRandom(image, 9);
    int backgrounds = 0;
    fx->DrawBackgroundTo = [&](cl::TCanvas*) { ++backgrounds; };
    fx->PanZoomImage = &image;
    fx->PanZoomStart = cl::Rect(0, 0, kW, kH);
    fx->PanZoomEnd = cl::Rect(kW, kH, 2 * kW, 2 * kH);
    fx->UpdateOnStop = true;
    Start(188, 100);
    FrameAt(0);  // the image's top-left quarter, 1:1
    for (int y = 0; y < kH; y += 7)
        for (int x = 0; x < kW; x += 5) {
            const TRGB p = image.GetPixel24(x, y);
            EXPECT_EQ(PixelAt(Frame(), x, y), uint32_t(p.b) | uint32_t(p.g) << 8 | uint32_t(p.r) << 16);
        }
    FrameAt(512);  // half way: the rectangle (32, 24, 96, 72)
    const TRGB mid = image.GetPixel24(32 + 10, 24 + 10);
    EXPECT_EQ(PixelAt(Frame(), 10, 10), uint32_t(mid.b) | uint32_t(mid.g) << 8 | uint32_t(mid.r) << 16);
    EXPECT_EQ(backgrounds, 0);
    Advance(100);
    paints.clear();
    fx->StartTick = win::GetTickCount() - 100;
    Tick();  // the end: no copy of the target picture for pan and zoom
    EXPECT_FALSE(fx->Running);
    EXPECT_EQ(paints.size(), 1u);
}

TEST_F(TransitionTest, PanAndZoomOutsideTheImageCentresTheRestOverTheBackground) {
    TIEBitmap image(kW, kH, ie24RGB);
    test::FillRandom(image, 4);
    int backgrounds = 0;
    fx->DrawBackgroundTo = [&](cl::TCanvas* Canvas) {
        ++backgrounds;
        Canvas->GetBrush()->SetColor(cl::clLime);
        Canvas->FillRect(cl::Rect(0, 0, kW, kH));
    };
    fx->PanZoomImage = &image;
    // Half of the rectangle lies left of the image: the right half (32 x 48) is left, and
    // it is fitted by height (factor 1) and centred at x = 16.
    fx->PanZoomStart = cl::Rect(-32, 0, 32, 48);
    fx->PanZoomEnd = fx->PanZoomStart;
    Start(188);
    FrameAt(0);
    EXPECT_EQ(backgrounds, 1);
    EXPECT_EQ(PixelAt(Frame(), 15, 10), 0x00FF00u);
    EXPECT_EQ(PixelAt(Frame(), 48, 10), 0x00FF00u);
    const TRGB p = image.GetPixel24(0, 10);
    EXPECT_EQ(PixelAt(Frame(), 16, 10), uint32_t(p.b) | uint32_t(p.g) << 8 | uint32_t(p.r) << 16);
    // Without the view's background painter the frame is filled with the view's colour.
    fx->DrawBackgroundTo = nullptr;
    FrameAt(0);
    EXPECT_EQ(PixelAt(Frame(), 5, 5), kBackgroundPixel);
    // A rectangle wholly past the image's right edge leaves only the background.
    fx->PanZoomStart = cl::Rect(kW + 10, 0, kW + 40, kH);
    fx->PanZoomEnd = fx->PanZoomStart;
    FrameAt(0);
    EXPECT_EQ(PixelAt(Frame(), 30, 20), kBackgroundPixel);
}

}  // namespace
}  // namespace ie
