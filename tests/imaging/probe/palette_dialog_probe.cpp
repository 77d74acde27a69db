// A program for the palette dialog's test on a real X screen: shows the dialog with 256
// colours (entry i is red i, green 255 - i, blue i xor 0x55), says "shown" on stdout, and
// when it closes says "chosen RRGGBB" (exit code 0) or "cancelled" (exit code 1).
#include <cstdio>

#include "classlib/Forms.h"
#include "imaging/core/hyieutils_draw.h"
#include "platform/signals.h"
#include "platform/user.h"

int main() {
    win::InstallTerminationSignals();
    win::PlatformStartUp();
    cl::ControlsStartUp();
    cl::Application->Initialize();
    ie::TRGB palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] =
            ie::CreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i ^ 0x55));
    auto* dlg = cl::NewForm<ie::TVovozIdPaletteDialog>(cl::Application);
    dlg->SetPalette(palette, 256);
    dlg->OnShow = [](cl::TObject*) {
        std::printf("shown\n");
        std::fflush(stdout);
    };
    const bool chosen = dlg->Execute();
    if (chosen) {
        const auto c = static_cast<uint32_t>(dlg->Color);
        std::printf("chosen %02X%02X%02X\n", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    } else {
        std::printf("cancelled\n");
    }
    std::fflush(stdout);
    delete dlg;
    cl::ControlsShutDown();
    win::PlatformShutDown();
    return chosen ? 0 : 1;
}
