// Start-up and shutdown of the bitmap library: each unit's initialization in the library's
// fixed order, and the finalizations in reverse. The program's start-up calls these once;
// the shutdown also runs at process exit and may run more than once.
#pragma once

namespace pix32 {

void StartupPix32();
void ShutdownPix32();

}  // namespace pix32
