// Decoding a whole music file to 44100 Hz stereo 16-bit samples with FFmpeg.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace bass {

// Where the encoded bytes come from: a window [offset, offset + length) of a file or of
// a block of memory (length 0: up to the end of the file).
struct Source {
    bool fromMemory = false;
    std::string path;
    const uint8_t* memory = nullptr;
    uint64_t offset = 0;
    uint64_t length = 0;
};

enum class DecodeError { None, Open, Format };

struct Decoded {
    DecodeError error = DecodeError::None;
    std::vector<int16_t> samples;  // interleaved left/right at 44100 Hz
    size_t Frames() const { return samples.size() / 2; }
};

// Probes the container by content and decodes its first audio stream. Containers whose
// demuxer name is not in `containers` are refused (DecodeError::Format), as are files
// without an audio stream or without a single decodable sample.
Decoded DecodeAll(const Source& source, const std::set<std::string>& containers);

}  // namespace bass
