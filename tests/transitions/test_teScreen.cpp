// The screen device over a real control of the class library on the headless screen.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "platform/display.h"
#include "te_screen_forms.h"
#include "transitions/teVclScr.h"

using namespace te;
using namespace tetest;

namespace {

class ScreenTest : public ScreenFixture {
protected:
    win::RECT PicClient() const { return MakeRect(0, 0, 120, 100); }
    // An effect that wants both looks as bitmaps.
    void UseBitmaps(TTestEffect& e) {
        e.Info = tetiMillisecondsCapable | tetiNeedSrcBmp | tetiNeedDstBmp;
        e.FrameCount = 4;
        e.Milliseconds = 400;
    }
};

}  // namespace

TEST_F(ScreenTest, ThePictureControlShowsOnTheHeadlessScreen) {
    EXPECT_EQ(ScreenAt(PicX(50), PicY(50)), ScreenColor(cl::clRed));
    EXPECT_EQ(ScreenAt(PicX(6), PicY(6)), ScreenColor(cl::clYellow));
    EXPECT_EQ(ScreenAt(12, 22), ScreenColor(cl::clBlack));
}

TEST_F(ScreenTest, AfterPrepareTheScreenKeepsTheOldLookUntilExecute) {
    TTestEffect e(nullptr);
    UseBitmaps(e);
    ASSERT_TRUE(e.Prepare(pic, PicClient()));
    EXPECT_TRUE(TransitionPrepared());
    pic->Fill = cl::clBlue;
    pic->Invalidate();
    Pump();
    pic->Repaint();
    EXPECT_EQ(ScreenAt(PicX(50), PicY(50)), ScreenColor(cl::clRed)) << "the old look is frozen";
    int64_t t0 = NowMs();
    e.Execute();
    EXPECT_EQ(ScreenAt(PicX(50), PicY(50)), ScreenColor(cl::clBlue));
    EXPECT_EQ(ScreenAt(PicX(6), PicY(6)), ScreenColor(cl::clYellow));
    EXPECT_FALSE(TransitionPrepared());
    EXPECT_EQ(e.Log->frames.size(), 4u);
    EXPECT_EQ(NowMs() - t0, 320) << "4 frames in 400 ms: frame time 400 / 5, a wait after each frame";
    EXPECT_EQ(e.Log->srcAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clRed)}));
}

TEST_F(ScreenTest, TheRunCapturesTheFrozenOldLookAndTheNewLookOffScreen) {
    TTestEffect e(nullptr);
    UseBitmaps(e);
    e.SampleX = 50;
    e.SampleY = 50;
    ASSERT_TRUE(e.Prepare(pic, PicClient()));
    pic->Fill = cl::clBlue;
    pic->Invalidate();
    e.Execute();
    EXPECT_EQ(e.Log->srcAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clRed)}));
    EXPECT_EQ(e.Log->dstAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clBlue)}));
}

TEST_F(ScreenTest, OnlyOneTransitionIsPreparedAtATime) {
    TTestEffect a(nullptr), b(nullptr);
    UseBitmaps(a);
    UseBitmaps(b);
    ASSERT_TRUE(a.Prepare(pic, PicClient()));
    EXPECT_FALSE(b.Prepare(pic, PicClient()));
    int befores = 0, afters = 0;
    b.OnBeforeTransition = [&](cl::TObject*) { ++befores; };
    b.OnAfterTransition = [&](cl::TObject*) { ++afters; };
    b.Execute();  // not prepared: nothing runs, both events still fire
    EXPECT_TRUE(b.Log->frames.empty());
    EXPECT_EQ(befores, 1);
    EXPECT_EQ(afters, 1);
    EXPECT_TRUE(TransitionPrepared());
    a.UnPrepare();
    EXPECT_FALSE(TransitionPrepared());
    EXPECT_TRUE(b.Prepare(pic, PicClient()));
    b.UnPrepare();
    b.UnPrepare();  // a second time does nothing
    EXPECT_FALSE(TransitionPrepared());
}

TEST_F(ScreenTest, FailuresBetweenPrepareAndUnPrepareNeverLeaveTheFlagSet) {
    {
        TTestEffect e(nullptr);
        UseBitmaps(e);
        e.ThrowAtFrame = 2;
        ASSERT_TRUE(e.Prepare(pic, PicClient()));
        EXPECT_THROW(e.Execute(), std::runtime_error);
        EXPECT_FALSE(TransitionPrepared());
        EXPECT_FALSE(e.GetDevice()->Prepared);
    }
    {
        TTestEffect e(nullptr);
        UseBitmaps(e);
        e.ThrowInInitialize = true;
        ASSERT_TRUE(e.Prepare(pic, PicClient()));
        EXPECT_NO_THROW(e.Execute());
        EXPECT_FALSE(TransitionPrepared());
    }
    {
        TTestEffect e(nullptr);
        UseBitmaps(e);
        try {
            TTEPreparedScope scope(&e, pic, PicClient());
            ASSERT_TRUE(scope.Prepared());
            EXPECT_TRUE(TransitionPrepared());
            throw std::runtime_error("the caller's slide failed to decode");
        } catch (const std::runtime_error&) {
        }
        EXPECT_FALSE(TransitionPrepared());
    }
    {
        auto* e = new TTestEffect(nullptr);
        UseBitmaps(*e);
        ASSERT_TRUE(e->Prepare(pic, PicClient()));
        delete e;  // destroying a prepared effect unprepares
        EXPECT_FALSE(TransitionPrepared());
    }
    TTestEffect later(nullptr);
    UseBitmaps(later);
    ASSERT_TRUE(later.Prepare(pic, PicClient()));
    later.Execute();
    EXPECT_EQ(later.Log->frames.size(), 4u);
}

TEST_F(ScreenTest, AnObscuredControlTakesItsOldLookFromOffScreenRendering) {
    // A sibling control lies over the picture's lower right part.
    auto* sib = new TColorControl(form);
    sib->Fill = cl::clPurple;
    sib->SetParent(form);
    sib->SetBounds(80, 50, 100, 100);
    win::SetWindowPos(sib->GetHandle(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
    sib->Repaint();
    Pump();
    ASSERT_EQ(ScreenAt(PicX(100), PicY(80)), ScreenColor(cl::clPurple));
    struct Case {
        uint16_t extra;
        uint32_t expected;
    } cases[] = {{0, static_cast<uint32_t>(cl::clRed)}, {tetiStaticSrcPixels, static_cast<uint32_t>(cl::clPurple)}};
    for (const Case& c : cases) {
        TTestEffect e(nullptr);
        UseBitmaps(e);
        e.Info |= c.extra;
        e.SampleX = 100;
        e.SampleY = 80;
        ASSERT_TRUE(e.Prepare(pic, PicClient()));
        EXPECT_TRUE(e.GetDevice()->IsObscured());
        e.Execute();
        EXPECT_EQ(e.Log->srcAtInitialize, (std::vector<uint32_t>{c.expected})) << c.extra;
    }
}

TEST_F(ScreenTest, AnUncoveredControlTakesItsOldLookFromTheScreen) {
    // A top-level window above the form is not looked at: the screen is read.
    cover = cl::NewForm<cl::TForm>(nullptr);
    cover->SetBorderStyle(cl::bsNone);
    cover->SetColor(cl::clPurple);
    cover->SetBounds(PicX(60), PicY(40), 100, 100);
    cover->Show();
    Pump();
    TTestEffect e(nullptr);
    UseBitmaps(e);
    e.SampleX = 70;
    e.SampleY = 50;
    ASSERT_TRUE(e.Prepare(pic, PicClient()));
    EXPECT_FALSE(e.GetDevice()->IsObscured());
    e.Execute();
    EXPECT_EQ(e.Log->srcAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clPurple)}));
}

namespace {

// A display that keeps what the screen shows at one point each time it is asked to present
// (a window system shows nothing else: it presents only when asked).
class RecordingBackend : public win::display::Backend {
public:
    RecordingBackend(int w, int h, int x, int y, std::vector<uint32_t>* presented)
        : w_(w), h_(h), x_(x), y_(y), presented_(presented) {}
    const char* Name() const override { return "recording"; }
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    void Flush() override { presented_->push_back(ScreenAt(x_, y_)); }

private:
    int w_, h_, x_, y_;
    std::vector<uint32_t>* presented_;
};

}  // namespace

// Each frame is presented as the device shows it, not only when messages are next pumped:
// the display receives every frame's picture in turn, then the new look.
TEST_F(ScreenTest, EveryFrameIsPresentedWhenTheDeviceShowsIt) {
    const int w = win::display::ScreenWidth(), h = win::display::ScreenHeight();
    std::vector<uint32_t> presented;
    win::display::SetBackend(std::make_unique<RecordingBackend>(w, h, PicX(50), PicY(50), &presented));
    TTestEffect e(nullptr);
    UseBitmaps(e);
    // Frames drawn into the work bitmap, shown through the device's copy to the screen.
    e.Info |= tetiOffScreenBmpCapable | tetiNeedOffScreenBmp;
    ASSERT_TRUE(e.Prepare(pic, PicClient()));
    pic->Fill = cl::clBlue;
    pic->Invalidate();
    presented.clear();
    e.Execute();
    const std::vector<uint32_t> seen = presented;
    win::display::SetBackend(win::display::MakeHeadlessBackend(w, h));
    ASSERT_EQ(e.Log->frames.size(), 4u);
    // The test effect fills frame N with the grey N.
    std::vector<uint32_t> distinct;
    for (uint32_t c : seen)
        if (distinct.empty() || distinct.back() != c) distinct.push_back(c);
    const std::vector<uint32_t> expected{0x010101, 0x020202, 0x030303, 0x040404, ScreenColor(cl::clBlue)};
    EXPECT_EQ(distinct, expected);
}

TEST_F(ScreenTest, TheCutChangesThePictureInOneFrameWithoutWaiting) {
    TFlickerFreeTransition cut(nullptr);
    cut.Milliseconds = 3000;
    int shown = -1;
    cut.OnEndTransition = [&](cl::TObject* s) { shown = static_cast<TTETransitionDevice*>(s)->Data->FramesShown; };
    ASSERT_TRUE(cut.Prepare(pic, PicClient()));
    pic->Fill = cl::clLime;
    pic->Invalidate();
    Pump();
    EXPECT_EQ(ScreenAt(PicX(30), PicY(30)), ScreenColor(cl::clRed));
    int64_t t0 = NowMs();
    cut.Execute();
    EXPECT_EQ(NowMs(), t0);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(ScreenAt(PicX(30), PicY(30)), ScreenColor(cl::clLime));
}

TEST_F(ScreenTest, DisabledEffects) {
    TTestEffect e(nullptr);
    UseBitmaps(e);
    e.SetEnabled(false);
    EXPECT_FALSE(e.Prepare(pic, PicClient()));
    EXPECT_FALSE(TransitionPrepared());
    e.FlickerFreeWhenDisabled = true;
    ASSERT_TRUE(e.Prepare(pic, PicClient()));
    pic->Fill = cl::clBlue;
    pic->Invalidate();
    int64_t t0 = NowMs();
    e.Execute();
    EXPECT_TRUE(e.Log->frames.empty()) << "a plain cut ran instead";
    EXPECT_EQ(NowMs(), t0);
    EXPECT_EQ(ScreenAt(PicX(50), PicY(50)), ScreenColor(cl::clBlue));
    // Switching an effect off releases its capture.
    TTestEffect f(nullptr);
    UseBitmaps(f);
    ASSERT_TRUE(f.Prepare(pic, PicClient()));
    f.SetEnabled(false);
    EXPECT_FALSE(TransitionPrepared());
}

TEST_F(ScreenTest, TheRenderWindowSitsOverTheAnimatedArea) {
    TTestEffect e(nullptr);
    UseBitmaps(e);
    ASSERT_TRUE(e.Prepare(pic, MakeRect(10, 20, 60, 50)));
    TTEVCLScreenTrDevice* d = e.GetDevice();
    ASSERT_NE(d->RenderWindow, nullptr);
    win::HWND rh = d->RenderWindow->GetHandle();
    char name[64] = {};
    win::GetClassNameA(rh, name, sizeof name);
    EXPECT_STREQ(name, "TTERenderWindow");
    EXPECT_EQ(win::GetParent(rh), pic->GetHandle());
    win::RECT r;
    win::GetWindowRect(rh, &r);
    EXPECT_EQ(r.left, PicX(10));
    EXPECT_EQ(r.top, PicY(20));
    EXPECT_EQ(r.right - r.left, 50);
    EXPECT_EQ(r.bottom - r.top, 30);
    EXPECT_TRUE(win::IsWindowVisible(rh));
    EXPECT_TRUE(win::GetWindowLongA(pic->GetHandle(), win::GWL_STYLE) & static_cast<win::LONG>(win::WS_CLIPCHILDREN));
    e.UnPrepare();
    EXPECT_FALSE(win::GetWindowLongA(pic->GetHandle(), win::GWL_STYLE) & static_cast<win::LONG>(win::WS_CLIPCHILDREN))
        << "the parent's style is restored";
}

TEST_F(ScreenTest, ObscuredAreas) {
    win::HWND h = pic->GetHandle();
    auto screenRect = [&](int l, int t, int r, int b) { return MakeRect(PicX(l), PicY(t), PicX(r), PicY(b)); };
    EXPECT_FALSE(IsWindowAreaObscured(h, nullptr, screenRect(0, 0, 120, 100)));
    EXPECT_TRUE(IsWindowAreaObscured(h, nullptr, screenRect(0, 0, 121, 100))) << "off the window";
    EXPECT_FALSE(IsWindowAreaObscured(nullptr, nullptr, screenRect(0, 0, 10, 10)));
    form->SetLeft(-50);
    EXPECT_TRUE(IsWindowAreaObscured(h, nullptr, MakeRect(-20, 30, 20, 60))) << "off the virtual screen";
    form->SetLeft(10);
    auto* sib = new TColorControl(form);
    sib->SetParent(form);
    sib->SetBounds(100, 80, 30, 30);  // over the picture's bottom-right corner
    win::SetWindowPos(sib->GetHandle(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
    Pump();
    EXPECT_TRUE(IsWindowAreaObscured(h, nullptr, screenRect(0, 0, 120, 100)));
    EXPECT_FALSE(IsWindowAreaObscured(h, nullptr, screenRect(0, 0, 50, 50)));
    EXPECT_FALSE(IsWindowAreaObscured(h, sib->GetHandle(), screenRect(0, 0, 120, 100))) << "the excluded window";
    sib->Hide();
    EXPECT_FALSE(IsWindowAreaObscured(h, nullptr, screenRect(0, 0, 120, 100)));
}

namespace {

class AbortTest : public ScreenFixture {
protected:
    void RunWith(TTestEffect& e) {
        dev.SetTransition(&e);
        dev.PrepareRun(cl::clRed, cl::clLime);
        dev.Data->Window = pic->GetHandle();
        dev.Execute(true);
    }
    TTestDevice dev;
};

int PendingMessages(unsigned int msg) {
    int n = 0;
    win::MSG m;
    while (win::PeekMessageA(&m, nullptr, msg, msg, win::PM_REMOVE)) ++n;
    return n;
}

}  // namespace

TEST_F(AbortTest, EscapeAbortsAtTheFirstPollAndTheKeysTakenOnTheWayAreLost) {
    TTestEffect e(nullptr);
    e.AbortOnEscape = true;
    e.FrameCount = 5;
    int ends = 0;
    e.OnEndTransition = [&](cl::TObject*) { ++ends; };
    win::PostMessageA(form->GetHandle(), win::WM_KEYDOWN, 'A', 0);
    win::PostMessageA(form->GetHandle(), win::WM_KEYDOWN, win::VK_ESCAPE, 0);
    win::PostMessageA(form->GetHandle(), win::WM_KEYDOWN, 'B', 0);
    RunWith(e);
    EXPECT_TRUE(dev.Aborted);
    EXPECT_TRUE(e.Log->frames.empty());
    EXPECT_EQ(e.Log->initializes, 0) << "the pass ends before it starts";
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(PendingMessages(win::WM_KEYDOWN), 1) << "only the key after Escape is left";
}

TEST_F(AbortTest, OtherKeysDoNotAbortButAreTaken) {
    TTestEffect e(nullptr);
    e.AbortOnEscape = true;
    e.FrameCount = 3;
    win::PostMessageA(form->GetHandle(), win::WM_KEYDOWN, 'A', 0);
    RunWith(e);
    EXPECT_FALSE(dev.Aborted);
    EXPECT_EQ(e.Log->frames.size(), 3u);
    EXPECT_EQ(PendingMessages(win::WM_KEYDOWN), 0);
}

TEST_F(AbortTest, AClickInTheAnimationWindowAbortsOnlyWithAbortOnClick) {
    for (bool onClick : {false, true}) {
        TTestEffect e(nullptr);
        e.AbortOnClick = onClick;
        e.AbortOnEscape = !onClick;  // an abort source either way
        e.FrameCount = 3;
        win::PostMessageA(pic->GetHandle(), win::WM_LBUTTONDOWN, 0, 0);
        TTestDevice d;
        d.SetTransition(&e);
        d.PrepareRun(cl::clRed, cl::clLime);
        d.Data->Window = pic->GetHandle();
        d.Execute(true);
        EXPECT_EQ(d.Aborted, onClick);
        EXPECT_EQ(e.Log->frames.size(), onClick ? 0u : 3u);
        EXPECT_EQ(PendingMessages(win::WM_LBUTTONDOWN), onClick ? 0 : 1);
    }
}

TEST_F(AbortTest, BetweenFramesPollsComeOnlyAfterTheInterval) {
    // Plain loop, each frame costs 100 ms; the pass starts with a poll, then a frame polls
    // only when more than 300 ms went by since the last poll.
    TTestEffect e(nullptr);
    e.FrameCount = 9;
    e.CostMs = 100;
    e.AbortCheckInterval = 300;
    std::vector<int64_t> polls;
    int64_t start = NowMs();
    e.OnAbortQuery = [&](cl::TObject*, TTransitionEffect*, bool&) { polls.push_back(NowMs() - start); };
    RunWith(e);
    EXPECT_EQ(polls, (std::vector<int64_t>{0, 400, 800}));
    EXPECT_FALSE(dev.Aborted);
    EXPECT_EQ(e.Log->frames.size(), 9u);
}

namespace {

TTETransitionDevice* gThreadDevice = nullptr;

win::LRESULT ThreadWindowProc(win::HWND h, win::UINT msg, win::WPARAM w, win::LPARAM l) {
    if (msg == TTETransitionDevice::CM_TETHREADENDED && gThreadDevice &&
        reinterpret_cast<TTETransitionDevice*>(l) == gThreadDevice) {
        gThreadDevice->DoThreadEnded();
        return 0;
    }
    return win::DefWindowProcA(h, msg, w, l);
}

win::HWND ThreadWindow() {
    static bool registered = false;
    if (!registered) {
        win::WNDCLASSA wc;
        wc.lpfnWndProc = &ThreadWindowProc;
        wc.lpszClassName = "TETestThreadWindow";
        win::RegisterClassA(&wc);
        registered = true;
    }
    return win::CreateWindowExA(0, "TETestThreadWindow", "", win::WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
}

}  // namespace

TEST_F(ScreenTest, AThreadSafeDeviceRunsAThreadSafeEffectOnItsThread) {
    TTestEffect e(nullptr);
    e.Info = tetiThreadSafe | tetiOffScreenBmpCapable | tetiNeedOffScreenBmp;
    e.FrameCount = 3;
    TTestDevice d;
    d.ThreadSafe = true;
    d.ThreadWindow = ThreadWindow();
    gThreadDevice = &d;
    std::vector<std::string> events;
    win::DWORD mainThread = win::GetCurrentThreadId();
    win::DWORD endThread = 0;
    e.OnBeforeTransition = [&](cl::TObject*) { events.push_back("before"); };
    e.OnEndTransition = [&](cl::TObject*) {
        events.push_back("end");
        endThread = win::GetCurrentThreadId();
    };
    e.OnAfterTransition = [&](cl::TObject*) { events.push_back("after"); };
    d.SetTransition(&e);
    d.PrepareRun(cl::clRed, cl::clLime);
    d.Execute(false);
    EXPECT_TRUE(d.Threaded);
    // The end of the run reaches the thread window as a posted message.
    for (int i = 0; i < 5000 && d.Threaded; ++i) {
        win::MSG m;
        if (win::PeekMessageA(&m, nullptr, 0, 0, win::PM_REMOVE))
            win::DispatchMessageA(&m);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(d.Threaded);
    EXPECT_EQ(d.Thread, nullptr);
    EXPECT_FALSE(d.Executing);
    EXPECT_EQ(d.Runs, 1);
    EXPECT_EQ(e.Log->frames.size(), 3u);
    EXPECT_EQ(events, (std::vector<std::string>{"before", "end", "after"}));
    EXPECT_EQ(endThread, mainThread) << "the end event waits for the thread window";
    EXPECT_EQ(Pixel(d.Screen.get(), 0, 0), static_cast<uint32_t>(cl::clLime));
    gThreadDevice = nullptr;
    win::DestroyWindow(d.ThreadWindow);
}

TEST_F(ScreenTest, AnEffectRunsOverAPictureOfTheClassLibrary) {
    auto* panel = new cl::TPanel(form);
    panel->SetParent(form);
    panel->SetBevelOuter(cl::bvNone);
    panel->SetBounds(150, 20, 45, 120);
    auto* image = new cl::TImage(form);
    image->SetParent(panel);
    image->SetBounds(5, 10, 32, 32);
    image->SetStretch(true);
    auto picture = [](cl::TColor left, cl::TColor right) {
        auto b = SolidBitmap(2, 1, left);
        b->GetCanvas()->SetPixels(1, 0, right);
        return b;
    };
    image->GetPicture()->SetGraphic(picture(cl::clRed, cl::clBlue).get());
    Pump();
    const int ix = 10 + 150 + 5, iy = 20 + 20 + 10;  // the image's screen position
    ASSERT_EQ(ScreenAt(ix + 4, iy + 4), ScreenColor(cl::clRed));
    ASSERT_EQ(ScreenAt(ix + 28, iy + 4), ScreenColor(cl::clBlue));

    TTestEffect e(nullptr);
    e.Info = tetiMillisecondsCapable | tetiNeedSrcBmp | tetiNeedDstBmp;
    e.FrameCount = 5;
    e.Milliseconds = 600;
    e.SampleX = 28;
    e.SampleY = 4;
    ASSERT_TRUE(e.Prepare(image, MakeRect(0, 0, 32, 32)));
    TTEVCLScreenTrDevice* d = e.GetDevice();
    EXPECT_EQ(d->Control, panel) << "a non-windowed control hands over to its parent";
    EXPECT_EQ(d->ControlRect.left, 5);
    EXPECT_EQ(d->ControlRect.top, 10);
    image->GetPicture()->SetGraphic(picture(cl::clLime, cl::clYellow).get());
    Pump();
    EXPECT_EQ(ScreenAt(ix + 4, iy + 4), ScreenColor(cl::clRed)) << "frozen until the run";
    e.Execute();
    EXPECT_EQ(e.Log->frames.size(), 5u);
    EXPECT_EQ(e.Log->srcAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clBlue)}));
    EXPECT_EQ(e.Log->dstAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clYellow)}));
    EXPECT_EQ(ScreenAt(ix + 4, iy + 4), ScreenColor(cl::clLime));
    EXPECT_EQ(ScreenAt(ix + 28, iy + 4), ScreenColor(cl::clYellow));
    EXPECT_FALSE(TransitionPrepared());
}

TEST_F(ScreenTest, RectanglesInWindowCoordinates) {
    // A child control: the render window goes into its parent, right above it.
    auto* sib = new TColorControl(form);
    sib->Fill = cl::clNavy;
    sib->SetParent(form);
    sib->SetBounds(150, 100, 40, 40);
    win::SetWindowPos(sib->GetHandle(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
    Pump();
    TTestEffect e(nullptr);
    e.Info = tetiNeedSrcBmp | tetiNeedDstBmp;
    e.FrameCount = 2;
    e.RectInClientCoords = false;
    e.SampleX = 30;
    e.SampleY = 30;
    ASSERT_TRUE(e.Prepare(pic, MakeRect(10, 10, 60, 60)));
    TTEVCLScreenTrDevice* d = e.GetDevice();
    win::HWND rh = d->RenderWindow->GetHandle();
    EXPECT_EQ(win::GetParent(rh), form->GetHandle());
    EXPECT_EQ(win::GetWindow(rh, win::GW_HWNDNEXT), pic->GetHandle()) << "directly above the control";
    win::RECT r;
    win::GetWindowRect(rh, &r);
    EXPECT_EQ(r.left, PicX(10));
    EXPECT_EQ(r.top, PicY(10));
    pic->Fill = cl::clBlue;
    pic->Invalidate();
    Pump();
    EXPECT_EQ(ScreenAt(PicX(30), PicY(30)), ScreenColor(cl::clRed));
    e.Execute();
    EXPECT_EQ(e.Log->dstAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clBlue)}));
    EXPECT_EQ(ScreenAt(PicX(30), PicY(30)), ScreenColor(cl::clBlue));
    EXPECT_FALSE(win::IsWindow(rh));

    // A form: an owner-less pop-up over the form's window rectangle.
    TTestEffect f(nullptr);
    f.Info = tetiNeedSrcBmp | tetiNeedDstBmp;
    f.FrameCount = 2;
    f.RectInClientCoords = false;
    f.SampleX = 20 + 30;
    f.SampleY = 10 + 30;
    ASSERT_TRUE(f.Prepare(form, MakeRect(0, 0, 200, 150)));
    win::HWND ph = f.GetDevice()->RenderWindow->GetHandle();
    EXPECT_FALSE(win::GetWindowLongA(ph, win::GWL_STYLE) & static_cast<win::LONG>(win::WS_CHILD));
    EXPECT_TRUE(win::IsWindowVisible(ph));
    pic->Fill = cl::clGreen;
    pic->Invalidate();
    Pump();
    EXPECT_EQ(ScreenAt(PicX(30), PicY(30)), ScreenColor(cl::clBlue)) << "frozen under the pop-up";
    f.Execute();
    EXPECT_EQ(f.Log->srcAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clBlue)}));
    EXPECT_EQ(f.Log->dstAtInitialize, (std::vector<uint32_t>{static_cast<uint32_t>(cl::clGreen)}));
    EXPECT_EQ(ScreenAt(PicX(30), PicY(30)), ScreenColor(cl::clGreen));
}

TEST_F(ScreenTest, TwoPassesOnTheScreenGoThroughTheControlsColour) {
    pic->SetColor(cl::clTeal);
    Pump();
    TTestEffect e(nullptr);
    e.Info = tetiMillisecondsCapable | tetiNeedSrcBmp | tetiNeedDstBmp | tetiTwoPassesCapable;
    e.PassSetting = teTwoPasses;
    e.GetPass2Options()->DistributedTime = true;
    e.Milliseconds = 600;
    e.FrameCount = 2;
    e.SampleX = 50;
    e.SampleY = 50;
    ASSERT_TRUE(e.Prepare(pic, PicClient()));
    pic->Fill = cl::clBlue;
    pic->Invalidate();
    int64_t t0 = NowMs();
    e.Execute();
    // Pass 1: old look to the control's colour in 300 ms; pass 2: to the new look in the rest.
    EXPECT_EQ(e.Log->srcAtInitialize,
              (std::vector<uint32_t>{static_cast<uint32_t>(cl::clRed), static_cast<uint32_t>(cl::clTeal)}));
    EXPECT_EQ(e.Log->dstAtInitialize,
              (std::vector<uint32_t>{static_cast<uint32_t>(cl::clTeal), static_cast<uint32_t>(cl::clBlue)}));
    ASSERT_EQ(e.Log->frames.size(), 4u);
    EXPECT_EQ(e.Log->frames[2].atMs - t0, 200) << "pass 1: frame time 300 / 3, two frames";
    EXPECT_EQ(NowMs() - t0, 466) << "pass 2: 400 ms left, two waits of 400 / 3 ms";
    EXPECT_EQ(ScreenAt(PicX(50), PicY(50)), ScreenColor(cl::clBlue));
}
