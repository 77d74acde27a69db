// Forms and controls on the headless screen for the screen device and renderer tests.
#pragma once

#include <memory>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "te_test_device.h"

namespace tetest {

// Screen composite pixels are 0x00RRGGBB; class-library colours 0x00BBGGRR.
inline uint32_t ScreenColor(cl::TColor c) {
    uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

inline uint32_t ScreenAt(int x, int y) { return win::test::ScreenComposite().At(x, y); }

// A bitmap's pixels, row by row, in the composite's form.
inline std::vector<uint32_t> ScreenPixels(cl::TBitmap* b) {
    std::vector<uint32_t> out;
    for (int y = 0; y < b->GetHeight(); ++y)
        for (int x = 0; x < b->GetWidth(); ++x) out.push_back(ScreenColor(b->GetCanvas()->Pixels(x, y)));
    return out;
}

// A windowed control painting a solid colour with a marker square at (5, 5).
class TColorControl : public cl::TCustomControl {
    CL_DECLARE_COMPONENT(TColorControl, cl::TCustomControl)
public:
    explicit TColorControl(cl::TComponent* AOwner) : cl::TCustomControl(AOwner) {}
    cl::TColor Fill = cl::clRed;
    cl::TColor Mark = cl::clYellow;

protected:
    void Paint() override {
        cl::TCanvas* c = GetCanvas();
        c->GetBrush()->SetColor(Fill);
        c->FillRect(GetClientRect());
        c->GetBrush()->SetColor(Mark);
        c->FillRect(cl::Rect(5, 5, 15, 15));
    }
};

// A non-windowed control painted by its parent.
class TColorGraphic : public cl::TGraphicControl {
    CL_DECLARE_COMPONENT(TColorGraphic, cl::TGraphicControl)
public:
    explicit TColorGraphic(cl::TComponent* AOwner) : cl::TGraphicControl(AOwner) {}
    cl::TColor Fill = cl::clGreen;

protected:
    void Paint() override {
        GetCanvas()->GetBrush()->SetColor(Fill);
        GetCanvas()->FillRect(GetClientRect());
    }
};

inline void Pump() { cl::Application->ProcessMessages(); }

// A borderless form at (10, 20), 200 x 150, holding a 120 x 100 colour control at (20, 10).
class ScreenFixture : public VirtualClockTest {
protected:
    void SetUp() override {
        VirtualClockTest::SetUp();
        form = cl::NewForm<cl::TForm>(nullptr);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(10, 20, 200, 150);
        form->SetColor(cl::clBlack);
        pic = new TColorControl(form);
        pic->SetParent(form);
        pic->SetBounds(20, 10, 120, 100);
        form->Show();
        Pump();
    }
    void TearDown() override {
        delete cover;
        delete form;
        Pump();
    }
    // Screen position of a point of the picture control's client area.
    int PicX(int x) const { return 10 + 20 + x; }
    int PicY(int y) const { return 20 + 10 + y; }

    cl::TForm* form = nullptr;
    TColorControl* pic = nullptr;
    cl::TForm* cover = nullptr;
};

}  // namespace tetest
