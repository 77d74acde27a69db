// Helpers of the rich-text control's tests: a headless screen with the fixed-metric test font
// (advance 7, height 13, ascent 10, internal leading 2, descent 3; every glyph a filled 5 x 8
// box from x + 1 and 8 rows above the baseline), the virtual clock, and the control on a form.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "classlib/Forms.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/ietextc.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/gdi_testhooks.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

namespace ie::test {

// A class-library colour as the screen composite holds it (0xRRGGBB).
constexpr uint32_t ScreenRgb(cl::TColor c) {
    const auto v = static_cast<uint32_t>(c);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

class TextControlTest : public ::testing::Test {
protected:
    static constexpr int kScreenW = 640;
    static constexpr int kScreenH = 480;

    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(kScreenW, kScreenH);
        win::test::UseTestFont(true);
        cl::ControlsStartUp();
        cl::Application->Initialize();
        IETextCStaticInit();
    }

    void TearDown() override {
        if (form_) form_->Free();
        form_ = nullptr;
        cl::ControlsShutDown();
        win::test::UseTestFont(false);
        win::test::ResetUser(kScreenW, kScreenH);
        win::SetClockMode(win::ClockMode::Real);
    }

    // Plain colours: black text on white, a black frame, a white fill.
    static void PlainColours(TIETextControl* c) {
        c->GetDefaultFont()->SetColor(cl::clBlack);
        c->GetCharBackBrush()->SetColor(cl::clWhite);
        c->GetCharBackBrush()->SetStyle(cl::bsSolid);
        c->GetFillBrush()->SetColor(cl::clWhite);
        c->GetFillBrush()->SetStyle(cl::bsSolid);
        c->GetFramePen()->SetColor(cl::clBlack);
    }

    // A shown form with a focused control of w x h at (10, 10) of its client area, holding
    // `text` in the default style.
    TIETextControl* MakeControl(int w, int h, const std::string& text) {
        form_ = cl::NewForm<cl::TForm>(cl::Application);
        form_->SetBounds(0, 0, 400, 300);
        auto* c = new TIETextControl(form_);
        c->SetParent(form_);
        c->SetBounds(10, 10, w, h);
        PlainColours(c);
        c->TextBuffer = text;
        c->ResetText();
        form_->Show();
        cl::Application->ProcessMessages();
        c->SetFocus();
        cl::Application->ProcessMessages();
        Repaint(c);
        return c;
    }

    // Lays the control out and paints it now.
    static void Repaint(TIETextControl* c) {
        c->Update();
        win::UpdateWindow(c->GetHandle());
        cl::Application->ProcessMessages();
    }

    // Runs the message loop until the clock has reached `ms` milliseconds since the start.
    static void RunUntil(int64_t ms) {
        const int64_t until = ms * win::kTicksPerMs;
        win::ClockSetHorizon(until);
        while (win::ClockNowTicks() < until) {
            if (!win::WaitMessage()) break;
            cl::Application->ProcessMessages();
        }
        cl::Application->ProcessMessages();
        win::ClockSetHorizon(win::kNoDeadline);
    }

    static void PressKey(int vk) {
        win::test::Key(vk, true);
        win::test::Key(vk, false);
        cl::Application->ProcessMessages();
    }
    static void PressWith(int modifier, int vk) {
        win::test::Key(modifier, true);
        PressKey(vk);
        win::test::Key(modifier, false);
        cl::Application->ProcessMessages();
    }
    static void Type(const std::string& letters) {
        for (char ch : letters) {
            if (ch >= 'a' && ch <= 'z')
                PressKey(ch - 'a' + 'A');
            else if (ch >= 'A' && ch <= 'Z')
                PressWith(win::VK_SHIFT, ch);
            else if (ch == ' ')
                PressKey(win::VK_SPACE);
            else if (ch >= '0' && ch <= '9')
                PressKey(ch);
        }
    }

    // Screen point of a client point of the control.
    static win::POINT ScreenPoint(const TIETextControl* c, int x, int y) { return c->ClientToScreen(win::POINT{x, y}); }
    static uint32_t ScreenAt(const TIETextControl* c, int x, int y) {
        const win::POINT p = ScreenPoint(c, x, y);
        return win::test::ScreenComposite().At(p.x, p.y) & 0xFFFFFF;
    }
    // Pixels of exactly `rgb` in a client rectangle of the control on the screen.
    static int CountOnScreen(const TIETextControl* c, const win::RECT& r, uint32_t rgb) {
        const win::test::Screen s = win::test::ScreenComposite();
        const win::POINT o = ScreenPoint(c, 0, 0);
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if ((s.At(o.x + x, o.y + y) & 0xFFFFFF) == rgb) ++n;
        return n;
    }

    cl::TForm* form_ = nullptr;
};

}  // namespace ie::test
