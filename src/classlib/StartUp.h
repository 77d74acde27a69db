// Start-up and shutdown of the class library, and the program's command line.
#pragma once

#include <cstdint>

#include "classlib/SysUtils.h"

namespace cl {

// Runs first in main: the clock mode (LUMETRA_CLOCK), the platform's window manager and
// display, then the application, screen and mouse objects and the control classes. The
// calling thread becomes the main thread.
void StartUp(int argc, char** argv);
// Runs last: frees the application objects and closes the display.
void ShutDown();

// The command line given to StartUp. ParamStr(0) is the executable's path; an index
// outside 0..ParamCount() gives an empty text.
int ParamCount();
String ParamStr(int index);
// The id of the thread that ran StartUp.
uint32_t MainThreadID();

}  // namespace cl
