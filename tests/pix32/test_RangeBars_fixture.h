// A headless screen, the virtual clock and a shown form for the tests of the bitmap library's
// windowed controls.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

namespace pix32::testing {

class ControlTest : public ::testing::Test {
protected:
    static constexpr int kScreenW = 1024;
    static constexpr int kScreenH = 768;

    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(kScreenW, kScreenH);
        cl::ControlsStartUp();
        cl::Application->Initialize();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 400, 300);
    }

    void TearDown() override {
        cl::ControlsShutDown();
        win::test::ResetUser(kScreenW, kScreenH);
        win::SetClockMode(win::ClockMode::Real);
    }

    // Runs the message loop until `ms` milliseconds of virtual time have passed.
    static void RunFor(int ms) {
        const int64_t until = win::ClockNowTicks() + int64_t{ms} * win::kTicksPerMs;
        win::ClockSetHorizon(until);
        while (win::ClockNowTicks() < until) {
            if (!win::WaitMessage()) break;
            cl::Application->ProcessMessages();
        }
        cl::Application->ProcessMessages();
        win::ClockSetHorizon(win::kNoDeadline);
    }

    static int64_t NowMs() { return win::ClockNowTicks() / win::kTicksPerMs; }

    static win::POINT ScreenPoint(const cl::TControl* c, int x, int y) { return c->ClientToScreen(win::POINT{x, y}); }

    static void MoveTo(const cl::TControl* c, int x, int y) {
        const win::POINT p = ScreenPoint(c, x, y);
        win::test::MouseMove(p.x, p.y);
        cl::Application->ProcessMessages();
    }

    static void Press(bool down) {
        win::test::MouseButton(win::test::Button::Left, down);
        cl::Application->ProcessMessages();
    }

    cl::TForm* form = nullptr;
};

}  // namespace pix32::testing
