// The main block of the player: picks the mode from the screensaver switch, creates its
// window and runs the message loop.
#pragma once

namespace player {

// Starts the class library and the system's libraries in their fixed order.
void StartUpLibraries(int argc, char** argv);
void ShutDownLibraries();

// The exit status of "/s" and "/p HANDLE" when no display can be opened.
constexpr int kNoDisplayStatus = 2;

// The main block: "/s" plays the show, "/p HANDLE" previews inside that window, "/p"
// alone ends at once, anything else shows the About box. Returns the exit status.
int RunMainBlock();

}  // namespace player
