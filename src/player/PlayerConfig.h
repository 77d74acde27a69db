// Configuration values of the player that are ours to choose: the addresses the About
// box opens, the run's folder for music, how often a transition looks for exit inputs,
// and the names of the player's own resources.
#pragma once

#include <cstdint>

namespace player {

inline constexpr const char* kProductSiteURL = "https://www.lumetra.example/";
inline constexpr const char* kSupportURL = "https://www.lumetra.example/support/";

// The folder of a run's music tracks, inside the run's private folder.
inline constexpr const char* kTrackSubfolder = "music";
// How often (ms of clock) a running transition looks for the show's exit inputs while it
// draws frames; while it waits between frames it looks on every slice of the wait.
inline constexpr int32_t kExitPollMs = 50;

// Resources compiled into the player (see src/player/CMakeLists.txt).
inline constexpr const char* kResMainIcon = "MAINICON";              // RT_GROUP_ICON: the application icon
inline constexpr const char* kResAboutPicture = "ABOUTPICTURE";      // RT_RCDATA: the About box background
inline constexpr const char* kResPreviewPicture = "PREVIEWPICTURE";  // RT_RCDATA: the preview picture
inline constexpr const char* kResLoadingPicture = "LOADINGPICTURE";  // RT_RCDATA: the loading window's picture

}  // namespace player
