// The picture on a window: painted by a form on the headless screen, and on the X screen of
// a private X server through the SDL backend, with the same pixels as drawn into a bitmap.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "../common/sdl_desktop.h"
#include "../common/xvfb_desktop.h"
#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/user_testhooks.h"
#include "png_testutil.h"

using namespace pngtest;

namespace {

constexpr int kW = 200, kH = 120;

// An opaque picture stretched, a colour-keyed one stretched, and two with alpha at their
// own size, over a coloured background.
struct Scene {
    std::unique_ptr<png::TPNGObject> opaque = Load(ReadFile(kData + "rgb8.png"));
    std::unique_ptr<png::TPNGObject> keyed = Load(ReadFile(kData + "rgbt8.png"));
    std::unique_ptr<png::TPNGObject> alpha = Load(ReadFile(kData + "rgba8.png"));
    std::unique_ptr<png::TPNGObject> palette = Load(ReadFile(kData + "pa2.png"));

    void Paint(cl::TCanvas* c) const {
        c->GetBrush()->SetColor(0x308040);
        c->FillRect(cl::Rect(0, 0, kW, kH));
        c->StretchDraw(cl::Rect(4, 4, 4 + 74, 4 + 46), opaque.get());
        c->StretchDraw(cl::Rect(90, 4, 90 + 74, 4 + 46), keyed.get());
        c->Draw(4, 60, alpha.get());
        c->Draw(90, 60, palette.get());
    }
};

// A borderless form at (20, 20) whose client area shows the scene.
struct SceneForm {
    explicit SceneForm(const Scene& scene) {
        form = cl::NewForm<cl::TForm>(nullptr);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(20, 20, kW, kH);
        form->OnPaint = [this, &scene](cl::TObject*) { scene.Paint(form->GetCanvas()); };
        form->Show();
    }
    ~SceneForm() { delete form; }
    SceneForm(const SceneForm&) = delete;
    SceneForm& operator=(const SceneForm&) = delete;
    win::POINT Origin() const { return form->ClientToScreen(win::POINT{0, 0}); }
    cl::TForm* form = nullptr;
};

// The scene drawn into a bitmap, as 0xRRGGBB.
std::vector<uint32_t> SceneInBitmap(const Scene& scene) {
    cl::TBitmap b;
    b.SetPixelFormat(cl::pf32bit);
    b.SetSize(kW, kH);
    scene.Paint(b.GetCanvas());
    std::vector<uint32_t> out;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const auto c = static_cast<uint32_t>(b.GetCanvas()->Pixels(x, y));
            out.push_back(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
        }
    return out;
}

int Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    return n;
}

}  // namespace

TEST(PngPictureOnScreen, HeadlessScreenShowsWhatTheBitmapHolds) {
    Scene scene;
    const std::vector<uint32_t> want = SceneInBitmap(scene);
    win::SetClockMode(win::ClockMode::Virtual);
    win::test::ResetUser(320, 240);
    cl::ControlsStartUp();
    cl::Application->Initialize();
    {
        SceneForm f(scene);
        cl::Application->ProcessMessages();
        const win::POINT o = f.Origin();
        const win::test::Screen s = win::test::ScreenComposite();
        std::vector<uint32_t> got;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) got.push_back(s.At(o.x + x, o.y + y));
        EXPECT_EQ(Differences(got, want), 0);
        EXPECT_EQ(got[static_cast<size_t>(70 * kW + 10)] & 0xFFFFFF, want[static_cast<size_t>(70 * kW + 10)]);
    }
    cl::ControlsShutDown();
    win::test::ResetUser(320, 240);
    win::SetClockMode(win::ClockMode::Real);
}

TEST(PngPictureOnScreen, SdlWindowOnAnXServerShowsTheSamePixels) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is not installed";
    Scene scene;
    const std::vector<uint32_t> want = SceneInBitmap(scene);
    lumetra_test::SdlDesktop desk;
    ASSERT_TRUE(desk.Start(320, 240));
    cl::ControlsStartUp();
    cl::Application->Initialize();
    {
        SceneForm f(scene);
        const win::POINT o = f.Origin();
        std::vector<uint32_t> got;
        int differences = -1;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            cl::Application->ProcessMessages();
            lumetra_test::XwdImage img;
            if (lumetra_test::Screenshot(desk.Display(), &img) && img.width >= o.x + kW && img.height >= o.y + kH) {
                got.clear();
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) got.push_back(img.At(o.x + x, o.y + y));
                differences = Differences(got, want);
                if (differences == 0) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(differences, 0) << "pixels of the X screen that differ from the bitmap";
    }
    cl::ControlsShutDown();
}
