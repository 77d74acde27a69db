// Pictures kept among the player's resources.
#pragma once

#include "classlib/Graphics.h"

namespace player {

// Loads the RT_RCDATA resource `name` (a JPEG or BMP picture, told apart by its first
// bytes) into `picture`. False, and the picture left as it was, when the resource is
// missing or unreadable.
bool LoadPictureResource(cl::TPicture* picture, const char* name);

// Loads the application's icon (RT_GROUP_ICON "MAINICON") into `icon`; false when missing.
bool LoadMainIcon(cl::TIcon* icon);

}  // namespace player
