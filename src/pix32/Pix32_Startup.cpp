#include "pix32/Pix32_Startup.h"

#include <cstdlib>

#include "pix32/Pix32.h"
#include "pix32/Pix32_Blend.h"
#include "pix32/Pix32_Filters.h"
#include "pix32/Pix32_LowLevel.h"
#include "pix32/Pix32_Resamplers.h"
#include "pix32/Pix32_System.h"

namespace pix32 {

void StartupPix32() {
    Pix32_System_Initialization();
    Pix32_LowLevel_Initialization();
    Pix32_Blend_Initialization();
    Pix32_Initialization();
    Pix32_Resamplers_Initialization();
    Pix32_Filters_Initialization();
    // A program that ends without ShutdownPix32 still closes the library's window before
    // the platform's own objects are destroyed (the shutdown may run twice: it is idempotent).
    static const bool registered = std::atexit(ShutdownPix32) == 0;
    (void)registered;
}

void ShutdownPix32() {
    Pix32_Resamplers_Finalization();
    Pix32_System_Finalization();
}

}  // namespace pix32
