// lumetra-image: see lumetra_image.h.
#include <iostream>

#include "imaging/view/ielibrary.h"
#include "lumetra_image.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
    win::InstallTerminationSignals();
    ie::IEStartLibrary();
    const int status = lumetra_image::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    ie::IEStopLibrary();
    return status;
}
