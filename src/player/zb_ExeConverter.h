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

// Copies the piece of the program file from StartPos up to EndPos into Dest: the one way
// every reader of the pieces (slides, masks, music) takes its bytes. The positions come
// from the document and may point anywhere: the range is cut to the file (a start before
// 0 counts from 0, an end past the file stops at its end, an end before the start copies
// nothing), so no piece is ever larger than the file. A file stream is read with
// positioned reads, which other threads may do at the same time; other streams are sought.
// Returns the bytes copied; EReadError when the file gives fewer than it claims to hold.
int64_t CopyShowRange(cl::TStream* Source, int64_t StartPos, int64_t EndPos, cl::TStream* Dest);

}  // namespace player
