// Start-up and shutdown of the audio suite: each unit's initialization in the suite's
// order, and the finalizations in reverse. The program's start-up calls these once.
#pragma once

namespace audio {

void StartupAudio();
void ShutdownAudio();

}  // namespace audio
