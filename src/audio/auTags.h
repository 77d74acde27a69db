// String tables of audio tags: the ID3v1 genre names, the ID3v2 frame ids the suite reads
// (version 2.2 and their 2.3 counterparts, in the same order), and the comment keys of
// Vorbis-style tags.
#pragma once

#include <array>

namespace audio {

inline constexpr int kID3GenreCount = 148;
extern const std::array<const char*, kID3GenreCount> ID3Genres;

inline constexpr int kID3v2FrameCount = 12;
// [0]: ID3v2.2 ids ("TAL" …), [1]: the ID3v2.3 ids of the same frames ("TALB" …).
extern const std::array<std::array<const char*, kID3v2FrameCount>, 2> ID3v2Frames;

inline constexpr int kCommentKeyCount = 12;
extern const std::array<const char*, kCommentKeyCount> CommentKeys;

}  // namespace audio
