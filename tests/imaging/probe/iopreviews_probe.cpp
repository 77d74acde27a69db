// A program for the parameters preview dialog's test on a real X screen: opens the dialog
// through the input/output component's DoPreviews on the GIF page (the transparent colour
// panel in 0x123456), says "shown" on stdout, and when it closes says "accepted N" with the
// bits per sample written (exit code 0) or "cancelled" (exit code 1).
#include <cstdio>

#include "classlib/Forms.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/io/vovozidio_startup.h"
#include "platform/signals.h"
#include "platform/user.h"

int main() {
    win::InstallTerminationSignals();
    win::PlatformStartUp();
    cl::ControlsStartUp();
    cl::Application->Initialize();
    // The library's start-up as a program makes it (the word tables with it).
    ie::VovozIdIORegisterHooks();
    ie::IELibraryStaticInit();
    ie::IERegisterFormatsCodecs();
    bool accepted = false;
    {
        ie::TVovozIdIO io(nullptr);
        ie::TIEBitmap* b = io.GetIEBitmap();
        b->Allocate(120, 90, ie::ie24RGB);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x)
                b->SetPixel24(x, y, ie::CreateRGB(static_cast<uint8_t>(x * 2), static_cast<uint8_t>(y * 2), 200));
        io.SimplifiedParamsDialogs = false;
        io.Params().FileType = ie::ioGIF;
        io.Params().BitsPerSample = 8;
        io.Params().SamplesPerPixel = 1;
        io.Params().GIFTranspColor = ie::CreateRGB(0x12, 0x34, 0x56);
        io.OnIOPreview = [](cl::TObject*, cl::TComponent*) {
            std::printf("shown\n");
            std::fflush(stdout);
        };
        accepted = io.DoPreviews(ie::ppGIF);
        if (accepted)
            std::printf("accepted %d\n", io.Params().BitsPerSample);
        else
            std::printf("cancelled\n");
        std::fflush(stdout);
    }
    ie::IELibraryStaticFinal();
    cl::ControlsShutDown();
    win::PlatformShutDown();
    return accepted ? 0 : 1;
}
