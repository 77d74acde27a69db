// The class library on the desktop of a private X server for the time of a test, the X
// screen read in the class library's colours, and a small form with two pages.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "../common/sdl_desktop.h"
#include "../common/xvfb_desktop.h"
#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "platform/user_testhooks.h"

namespace desktoptest {

// A class-library colour as the X screen shows it (0xRRGGBB).
inline uint32_t ScreenRgb(cl::TColor c) {
    const uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

// Dispatches what the desktop sends until done() holds (true) or the time is up (false),
// on the real clock.
inline bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        cl::Application->ProcessMessages();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    cl::Application->ProcessMessages();
    return done();
}

// The class library on a desktop (320 x 240 unless told): the SDL backend on the real clock. Afterwards,
// when the class library was running before, it runs again on the headless screen and the
// virtual clock the test program's other tests use.
class ControlsDesktop {
public:
    // False when the X server or the SDL backend does not start.
    bool Start(int width = 320, int height = 240) {
        hadControls_ = cl::Application != nullptr;
        if (hadControls_) cl::ControlsShutDown();
        desk_ = std::make_unique<lumetra_test::SdlDesktop>();
        if (!desk_->Start(width, height)) return false;
        cl::ControlsStartUp();
        cl::Application->Initialize();
        running_ = true;
        return true;
    }
    ~ControlsDesktop() {
        if (running_) cl::ControlsShutDown();
        desk_.reset();
        if (hadControls_) {
            win::SetClockMode(win::ClockMode::Virtual);
            win::test::ResetUser(640, 480);
            cl::ControlsStartUp();
        }
    }
    const std::string& Display() const { return desk_->Display(); }
    // Whether the X screen shows the colour at a screen point now.
    bool Shows(const win::POINT& p, cl::TColor c) {
        lumetra_test::XwdImage img;
        return lumetra_test::Screenshot(Display(), &img) && p.x >= 0 && p.y >= 0 && p.x < img.width &&
               p.y < img.height && img.At(p.x, p.y) == ScreenRgb(c);
    }

private:
    std::unique_ptr<lumetra_test::SdlDesktop> desk_;
    bool hadControls_ = false;
    bool running_ = false;
};

// A borderless white form at (20, 20) holding a page control with a red page "Red" and a
// blue page "Blue", shown.
struct TwoPageForm {
    TwoPageForm() {
        form = cl::NewForm<cl::TForm>(nullptr);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(20, 20, 240, 170);
        form->SetColor(cl::clWhite);
        pages = new cl::TPageControl(form);
        pages->SetParent(form);
        pages->SetBounds(10, 10, 220, 150);
        red = Page("Red", cl::clRed);
        blue = Page("Blue", cl::clBlue);
        form->Show();
    }
    ~TwoPageForm() { delete form; }
    TwoPageForm(const TwoPageForm&) = delete;
    TwoPageForm& operator=(const TwoPageForm&) = delete;
    // Screen point of the middle of the page area.
    win::POINT PageMiddle() const {
        const win::RECT d = pages->GetDisplayRect();
        return pages->ClientToScreen(win::POINT{(d.left + d.right) / 2, (d.top + d.bottom) / 2});
    }

    cl::TForm* form = nullptr;
    cl::TPageControl* pages = nullptr;
    cl::TTabSheet* red = nullptr;
    cl::TTabSheet* blue = nullptr;

private:
    cl::TTabSheet* Page(const char* caption, cl::TColor colour) {
        auto* s = new cl::TTabSheet(form);
        s->SetCaption(caption);
        s->SetColor(colour);
        s->SetPageControl(pages);
        return s;
    }
};

}  // namespace desktoptest
