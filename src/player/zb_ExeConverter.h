// The reader of the slideshow appended to the program file: the last 8 bytes of the file
// hold the offset of the project document (signed 64-bit, little-endian); the document
// runs from there to the end of the file.
#pragma once

#include <string>

#include "classlib/Classes.h"
#include "player/zb_SlideShow.h"

namespace player {

inline constexpr const char* kBadParameters = "Невозможно прочитать, неверные параметры";
inline constexpr const char* kBadShowSize = "Неверный размер слайд-шоу!";

// Loads the slideshow of Stream into Show. On success Error is left as it was; on failure
// it receives one of the two messages above. A broken document raises the model's
// format exception.
void ReadShowFromExe(TSlideShow* Show, cl::TStream* Stream, std::string& Error);

}  // namespace player
