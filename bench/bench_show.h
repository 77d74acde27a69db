// The show window's screen for the benchmarks: the libraries started as the player starts
// them, on the headless screen of 1920 x 1080 with the real clock, and a full-screen form
// holding the slide control with the player's settings (centred, resized to fit, linear
// resampler, black, no scroll bars).
#pragma once

#include <cstdio>
#include <cstdlib>

#include "classlib/Forms.h"
#include "classlib/StartUp.h"
#include "pix32/Pix32_Image.h"
#include "pix32/Pix32_RangeBars.h"
#include "pix32/Pix32_Startup.h"
#include "transitions/teCore.h"

namespace bench {

constexpr int kScreenW = 1920, kScreenH = 1080;

inline void StartPlayerLibraries(const char* program) {
    setenv("LUMETRA_DISPLAY", "headless", 1);
    setenv("LUMETRA_SCREEN", "1920x1080", 1);
    setenv("LUMETRA_CLOCK", "real", 1);
    static char name[64];
    snprintf(name, sizeof name, "%s", program);
    char* argv[] = {name, nullptr};
    cl::StartUp(1, argv);
    pix32::StartupPix32();
    pix32::StartupPix32RangeBars();
    pix32::StartupPix32Image();
    te::StartUp();
    cl::Application->Initialize();
}

// The form is owned by the application; the control by the form.
inline pix32::TImgView32* NewSlideScreen() {
    auto* form = cl::NewForm<cl::TForm>(cl::Application);
    form->SetBorderStyle(cl::bsNone);
    form->SetColor(cl::clBlack);
    form->SetBounds(0, 0, kScreenW, kScreenH);
    auto* view = new pix32::TImgView32(form);
    view->SetParent(form);
    view->SetAlign(cl::alClient);
    view->ScrollBars()->SetVisibility(pix32::svHidden);
    view->SetBitmapAlign(pix32::baCenter);
    view->SetScaleMode(pix32::smResize);
    view->SetScale(1.0f);
    view->SetOverSize(0);
    view->SetColor(cl::clBlack);
    view->Bitmap()->SetResamplerClassName("TLinearResampler");
    form->Show();
    cl::Application->ProcessMessages();
    return view;
}

}  // namespace bench
