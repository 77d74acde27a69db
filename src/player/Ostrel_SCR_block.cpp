#include <cctype>
#include <cstdio>
#include <string>

#include "audio/auStartup.h"
#include "classlib/Forms.h"
#include "classlib/StartUp.h"
#include "pix32/Pix32_Image.h"
#include "pix32/Pix32_RangeBars.h"
#include "pix32/Pix32_Startup.h"
#include "platform/display.h"
#include "platform/user.h"
#include "player/AboutDlg.h"
#include "player/OstrelMain.h"
#include "player/Ostrel_SCR.h"
#include "player/PlayerRes.h"
#include "player/PreviewDlg.h"
#include "player/zb_ImageUtils.h"
#include "png/pngpicture.h"
#include "transitions/teCore.h"

namespace player {

namespace {

// The show and the preview are for a screen: without one they would play unseen.
// False (after a line on stderr) when a display was wanted and none could be opened.
bool ReportMissingDisplay() {
    const std::string& missing = win::display::MissingDisplay();
    if (missing.empty()) return true;
    std::fprintf(stderr, "lumetra: no display: %s\n", missing.c_str());
    return false;
}

}  // namespace

void StartUpLibraries(int argc, char** argv) {
    cl::StartUp(argc, argv);
    pix32::StartupPix32();
    pix32::StartupPix32RangeBars();
    pix32::StartupPix32Image();
    audio::StartupAudio();
    te::StartUp();
    StartUpImagingLibrary();
    png::StartupPngPicture();
}

void ShutDownLibraries() {
    png::ShutdownPngPicture();
    ShutDownImagingLibrary();
    te::ShutDown();
    audio::ShutdownAudio();
    pix32::ShutdownPix32();
    cl::ShutDown();
}

int RunMainBlock() {
    cl::Application->Initialize();
    cl::Application->SetTitle("Lumetra");
    LoadMainIcon(cl::Application->GetIcon());

    char mode = 0;
    if (cl::ParamCount() >= 1 && cl::ParamStr(1).size() >= 2)
        mode = static_cast<char>(std::toupper(static_cast<unsigned char>(cl::ParamStr(1)[1])));

    if (mode == 'P') {
        if (cl::ParamCount() < 2) {
            cl::Application->Terminate();
            return 0;
        }
        if (!ReportMissingDisplay()) return kNoDisplayStatus;
        // A handle that is not a decimal number raises the conversion error.
        win::HWND host = win::HandleFromInt(cl::StrToInt(cl::ParamStr(2)));
        win::RECT r{};
        win::GetWindowRect(host, &r);
        TPreviewForm* preview = nullptr;
        cl::Application->CreateForm(preview);
        preview->SetWidth(r.right - r.left);
        preview->SetHeight(r.bottom - r.top);
        preview->SetParentWindow(host);
        cl::Application->Run();
    } else if (mode == 'S') {
        if (!ReportMissingDisplay()) return kNoDisplayStatus;
        if (TOstrelForm::ShowFile().empty()) TOstrelForm::ShowFile() = cl::ParamStr(0);
        TOstrelForm* show = nullptr;
        cl::Application->CreateForm(show);
        cl::Application->Run();
    } else {
        TAboutForm* about = nullptr;
        cl::Application->CreateForm(about);
        cl::Application->Run();
    }
    return 0;
}

}  // namespace player
