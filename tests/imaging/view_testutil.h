// Shared pieces of the view control's tests: a headless screen with a borderless form, a view
// filling it, pictures whose every pixel tells its own coordinates, and the screen under a
// control.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "classlib/Forms.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidview.h"
#include "platform/clock.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

namespace ie::test {

// The colour of pixel (X, Y) of a coordinate picture: red the low byte of X, green the low
// byte of Y, blue the high nibbles of both.
inline uint32_t CoordColor(int32_t X, int32_t Y) {
    return (static_cast<uint32_t>(X & 255) << 16) | (static_cast<uint32_t>(Y & 255) << 8) |
           static_cast<uint32_t>(((X >> 8) & 15) | (((Y >> 8) & 15) << 4));
}
inline int32_t CoordX(uint32_t Rgb) { return static_cast<int32_t>(((Rgb >> 16) & 255) | ((Rgb & 15) << 8)); }
inline int32_t CoordY(uint32_t Rgb) { return static_cast<int32_t>(((Rgb >> 8) & 255) | (((Rgb >> 4) & 15) << 8)); }

// Fills an ie24RGB bitmap with the coordinate picture (rows written whole).
inline void FillCoordPicture(TIEBitmap* B, int32_t W, int32_t H) {
    B->Allocate(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y) {
        auto* p = static_cast<uint8_t*>(B->GetScanline(y));
        for (int32_t x = 0; x < W; ++x) {
            const uint32_t c = CoordColor(x, y);
            p[3 * x] = static_cast<uint8_t>(c);
            p[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            p[3 * x + 2] = static_cast<uint8_t>(c >> 16);
        }
    }
}

// An input script of "ms word args" items separated by ';' with the times moved to start at
// NowMs + 10, for win::test::SetInputScript; Last gets the largest time the script gave.
inline std::string TimedInputScript(const std::string& Script, int64_t NowMs, long long& Last) {
    std::string timed;
    Last = 0;
    size_t start = 0;
    while (start < Script.size()) {
        size_t end = Script.find(';', start);
        if (end == std::string::npos) end = Script.size();
        std::string item = Script.substr(start, end - start);
        const size_t sp = item.find_first_not_of(' ');
        if (sp != std::string::npos) {
            item = item.substr(sp);
            const size_t gap = item.find(' ');
            const long long at = std::stoll(item.substr(0, gap));
            Last = std::max(Last, at);
            timed += std::to_string(NowMs + 10 + at) + item.substr(gap) + ";";
        }
        start = end + 1;
    }
    return timed;
}

// A TColor (0x00BBGGRR) as a screen pixel (0x00RRGGBB).
inline uint32_t ScreenRGB(cl::TColor C) {
    const auto v = static_cast<uint32_t>(cl::ColorToRGB(C));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

// A headless screen, the virtual clock and a borderless form of FormW x FormH.
class ViewScreenTest : public ::testing::Test {
protected:
    static constexpr int kScreenW = 1280;
    static constexpr int kScreenH = 1024;

    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(kScreenW, kScreenH);
        cl::ControlsStartUp();
        cl::Application->Initialize();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 1024, 768);
    }

    void TearDown() override {
        cl::ControlsShutDown();
        win::test::ResetUser(kScreenW, kScreenH);
        win::SetClockMode(win::ClockMode::Real);
    }

    // A borderless view filling the form, shown.
    TVovozIdView* MakeView(int FormW = 1024, int FormH = 768) {
        form->SetBounds(0, 0, FormW, FormH);
        auto* v = new TVovozIdView(form);  // owned by the form
        v->SetBorderStyle(cl::bsNone);
        v->SetParent(form);
        v->SetAlign(cl::alClient);
        form->Show();
        Pump();
        return v;
    }

    static void Pump() { cl::Application->ProcessMessages(); }

    // Runs the message loop until Ms milliseconds of virtual time have passed.
    static void RunFor(int Ms) { cl::testing_controls::RunMessagesFor(Ms); }

    // Repaints the view now and reads its client area from the screen.
    static win::test::Screen Shot(TVovozIdView* V) {
        V->Invalidate();
        Pump();
        return win::test::ScreenComposite();
    }

    static uint32_t At(const win::test::Screen& S, TVovozIdView* V, int X, int Y) {
        const win::POINT o = V->GetClientOrigin();
        return S.At(o.x + X, o.y + Y) & 0xFFFFFF;
    }

    cl::TForm* form = nullptr;
};

}  // namespace ie::test
