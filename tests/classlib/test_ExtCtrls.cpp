// Timers on the virtual clock, pictures and shapes.
#include <vector>

#include "platform/user_testhooks.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

using win::RECT;

int64_t NowMs() { return win::ClockNowTicks() / win::kTicksPerMs; }

TEST_F(ControlsTest, TimerFiresAtItsIntervalAndRestartsWhenReenabled) {
    auto* t = new TTimer(Application);
    std::vector<int64_t> ticks;
    t->SetInterval(100);
    t->SetOnTimer([&](TObject*) { ticks.push_back(NowMs()); });
    RunFor(350);
    EXPECT_EQ(ticks, (std::vector<int64_t>{100, 200, 300}));
    // Off and on again at 350: the interval starts over.
    t->SetEnabled(false);
    RunFor(20);
    t->SetEnabled(true);
    RunFor(240);
    EXPECT_EQ(ticks, (std::vector<int64_t>{100, 200, 300, 470, 570}));
    // Disabled, it stays quiet; an interval change restarts it too.
    t->SetEnabled(false);
    RunFor(300);
    EXPECT_EQ(ticks.size(), 5u);
    t->SetEnabled(true);
    RunFor(50);
    t->SetInterval(30);
    RunFor(70);
    EXPECT_EQ(ticks, (std::vector<int64_t>{100, 200, 300, 470, 570, 990, 1020}));
    delete t;
}

TEST_F(ControlsTest, TimerNeedsAHandlerAndReportsItsExceptions) {
    auto* t = new TTimer(Application);
    t->SetInterval(10);
    RunFor(50);  // nothing to call: it does not run
    int n = 0;
    t->SetOnTimer([&](TObject* s) {
        ++n;
        if (n == 2) static_cast<TTimer*>(s)->SetEnabled(false);
        throw Exception("tick failed");
    });
    RunFor(100);
    EXPECT_EQ(n, 2);
    auto boxes = win::test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "tick failed.");
    delete t;
}

class PictureTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = NewForm<TForm>(Application);
        form->SetBorderStyle(bsNone);
        form->SetBounds(0, 0, 200, 200);
        form->SetColor(clWhite);
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    TForm* form = nullptr;
};

TEST_F(PictureTest, ImageDrawsItsPictureStretchedCentredOrPlain) {
    auto* bmp = new TBitmap();
    bmp->SetPixelFormat(pf24bit);
    bmp->SetSize(4, 2);
    bmp->GetCanvas()->GetBrush()->SetColor(clRed);
    bmp->GetCanvas()->FillRect(RECT{0, 0, 4, 2});
    struct Case {
        bool stretch, center;
        RECT where;  // the red area in the image's client
    } cases[] = {
        {false, false, {0, 0, 4, 2}},
        {false, true, {23, 24, 27, 26}},
        {true, false, {0, 0, 50, 50}},
    };
    for (const Case& c : cases) {
        auto* img = new TImage(form);
        img->SetParent(form);
        img->SetBounds(20, 20, 50, 50);
        img->SetStretch(c.stretch);
        img->SetCenter(c.center);
        img->GetPicture()->SetGraphic(bmp);
        form->Show();
        Application->ProcessMessages();
        win::POINT o = img->GetClientOrigin();
        RECT r{o.x + c.where.left, o.y + c.where.top, o.x + c.where.right, o.y + c.where.bottom};
        int area = (r.right - r.left) * (r.bottom - r.top);
        EXPECT_EQ(CountPixels(r, 0xFF0000), area) << c.stretch << c.center;
        EXPECT_EQ(CountPixels(RECT{0, 0, 200, 200}, 0xFF0000), area) << c.stretch << c.center;
        delete img;
        Application->ProcessMessages();
    }
    delete bmp;
}

TEST_F(PictureTest, AutoSizedImageTakesThePicturesSize) {
    auto* img = new TImage(form);
    img->SetParent(form);
    img->SetAutoSize(true);
    TBitmap* b = img->GetPicture()->GetBitmap();
    b->SetSize(48, 32);
    img->GetPicture()->SetGraphic(b);
    EXPECT_EQ(img->GetWidth(), 48);
    EXPECT_EQ(img->GetHeight(), 32);
}

TEST_F(PictureTest, DrawingOnTheImagesCanvasMakesABitmapOfItsSizeAndRepaints) {
    auto* img = new TImage(form);
    img->SetParent(form);
    img->SetBounds(10, 10, 30, 20);
    form->Show();
    Application->ProcessMessages();
    img->GetCanvas()->GetBrush()->SetColor(clRed);
    img->GetCanvas()->FillRect(RECT{0, 0, 30, 20});
    ASSERT_NE(img->GetPicture()->GetGraphic(), nullptr);
    EXPECT_EQ(img->GetPicture()->GetWidth(), 30);
    EXPECT_EQ(img->GetPicture()->GetHeight(), 20);
    Application->ProcessMessages();
    EXPECT_EQ(CountPixels(RECT{0, 0, 200, 200}, 0xFF0000), 30 * 20);
}

TEST_F(PictureTest, ShapeFillsWithItsBrushInsideItsPen) {
    auto* s = new TShape(form);
    s->SetParent(form);
    s->SetBounds(10, 10, 40, 20);
    s->GetBrush()->SetColor(clBlue);
    s->GetPen()->SetColor(clLime);
    form->Show();
    Application->ProcessMessages();
    win::POINT o = s->GetClientOrigin();
    EXPECT_EQ(CountPixels(RECT{o.x + 1, o.y + 1, o.x + 39, o.y + 19}, 0x0000FF), 38 * 18);
    EXPECT_EQ(CountPixels(RECT{o.x, o.y, o.x + 40, o.y + 20}, 0x00FF00), 2 * 40 + 2 * 18);
}

}  // namespace
}  // namespace cl::testing_controls
