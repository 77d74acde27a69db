// A headless screen, the virtual clock and the class library's application objects.
#pragma once

#include <gtest/gtest.h>

#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/gdi_testhooks.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

namespace cl::testing_controls {

// A class-library colour as the screen composite holds it (0xRRGGBB), a system colour's the
// same way, and the composite's pixel at a screen point.
constexpr uint32_t Rgb(TColor c) {
    const uint32_t v = static_cast<uint32_t>(c);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}
inline uint32_t Sys(int index) { return Rgb(static_cast<TColor>(win::GetSysColor(index))); }
inline uint32_t At(int x, int y) { return win::test::ScreenComposite().At(x, y) & 0xFFFFFF; }

// Runs the message loop until `ms` milliseconds of virtual time have passed.
inline void RunMessagesFor(int ms) {
    const int64_t until = win::ClockNowTicks() + int64_t{ms} * win::kTicksPerMs;
    win::ClockSetHorizon(until);
    while (win::ClockNowTicks() < until) {
        if (!win::WaitMessage()) break;
        Application->ProcessMessages();
    }
    Application->ProcessMessages();
    win::ClockSetHorizon(win::kNoDeadline);
}

class ControlsTest : public ::testing::Test {
protected:
    static constexpr int kScreenW = 640;
    static constexpr int kScreenH = 480;

    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(kScreenW, kScreenH);
        win::test::UseTestFont(true);
        ControlsStartUp();
        Application->Initialize();
        Application->SetTitle("Lumetra");
    }

    void TearDown() override {
        ControlsShutDown();
        win::test::UseTestFont(false);
        win::test::ResetUser(kScreenW, kScreenH);
        win::SetClockMode(win::ClockMode::Real);
    }

    static void RunFor(int ms) { RunMessagesFor(ms); }

    // A left click at a screen point, handled at once.
    static void ClickAt(int x, int y) {
        win::test::MouseMove(x, y);
        win::test::MouseButton(win::test::Button::Left, true);
        win::test::MouseButton(win::test::Button::Left, false);
        Application->ProcessMessages();
    }

    static void PressKey(int vk) {
        win::test::Key(vk, true);
        win::test::Key(vk, false);
        Application->ProcessMessages();
    }

    // Screen position of a point of a control's client area.
    static win::POINT ScreenPoint(const TControl* c, int x, int y) { return c->ClientToScreen(win::POINT{x, y}); }

    // Pixels of exactly `rgb` (0xRRGGBB) in a screen rectangle.
    static int CountPixels(const win::RECT& r, uint32_t rgb) {
        win::test::Screen s = win::test::ScreenComposite();
        int n = 0;
        for (int y = std::max<int>(0, r.top); y < std::min<int>(s.height, r.bottom); ++y)
            for (int x = std::max<int>(0, r.left); x < std::min<int>(s.width, r.right); ++x)
                if ((s.At(x, y) & 0xFFFFFF) == rgb) ++n;
        return n;
    }

    static win::RECT ScreenRect(const TControl* c) {
        win::POINT o = c->GetClientOrigin();
        return win::RECT{o.x, o.y, o.x + c->GetClientWidth(), o.y + c->GetClientHeight()};
    }
};

}  // namespace cl::testing_controls
