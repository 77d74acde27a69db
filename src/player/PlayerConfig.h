// Configuration values of the player that are ours to choose: the addresses the About
// box opens, and the names of the player's own resources.
#pragma once

namespace player {

inline constexpr const char* kProductSiteURL = "https://www.lumetra.example/";
inline constexpr const char* kSupportURL = "https://www.lumetra.example/support/";

// Resources compiled into the player (see src/player/CMakeLists.txt).
inline constexpr const char* kResMainIcon = "MAINICON";           // RT_GROUP_ICON: the application icon
inline constexpr const char* kResAboutPicture = "ABOUTPICTURE";   // RT_RCDATA: the About box background
inline constexpr const char* kResPreviewPicture = "PREVIEWPICTURE";  // RT_RCDATA: the preview picture
inline constexpr const char* kResLoadingPicture = "LOADINGPICTURE";  // RT_RCDATA: the loading window's picture

}  // namespace player
