#include "audio/auStartup.h"

#include "audio/auClasses.h"
#include "audio/auProcs.h"

namespace audio {

void StartupAudio() {
    auProcs_Initialization();
    auClasses_Initialization();
}

void ShutdownAudio() { auClasses_Finalization(); }

}  // namespace audio
