// lumetra-image: see lumetra_image.h.
#include <iostream>

#include "imaging/core/hyieutils_startup.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/processing/vovozidproc.h"
#include "lumetra_image.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
    win::InstallTerminationSignals();
    ie::VovozIdIORegisterHooks();
    ie::VovozIdProcRegisterStaticHooks();
    ie::IELibraryStaticInit();
    const int status = lumetra_image::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    ie::IELibraryStaticFinal();
    return status;
}
