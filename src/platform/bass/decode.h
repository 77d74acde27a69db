// Decoding music with FFmpeg to 44100 Hz interleaved stereo float, a piece at a time.
//
// A stream keeps its encoded bytes open (SourceData) and one Decoder that turns them into
// samples as the output asks for them, so memory does not grow with the length of a track.
// The decoder's own buffers are bounded: one packet, one decoded frame, and at most
// kSliceFrames (plus the resampler's delay) of converted samples.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace bass {

// Where the encoded bytes come from: a window [offset, offset + length) of a file (length
// 0: up to the end of the file), or a private copy of a block of memory. The file stays
// open while any decoder uses it, so it may be deleted meanwhile.
class SourceData {
public:
    // nullptr when the file cannot be opened or the window is empty.
    static std::shared_ptr<const SourceData> OpenFile(const std::string& path, uint64_t offset, uint64_t length);
    // nullptr for an empty block.
    static std::shared_ptr<const SourceData> CopyMemory(const void* data, uint64_t length);
    ~SourceData();
    SourceData(const SourceData&) = delete;
    SourceData& operator=(const SourceData&) = delete;

    uint64_t Size() const { return size_; }
    // Up to n bytes at pos of the window: the count read, 0 at the end, -1 on an error.
    int64_t ReadAt(uint64_t pos, uint8_t* buffer, size_t n) const;

private:
    SourceData() = default;
    int fd_ = -1;
    uint64_t offset_ = 0;
    uint64_t size_ = 0;
    std::vector<uint8_t> memory_;
};

enum class DecodeError { None, Open, Format };

// The containers the library opens by itself (FFmpeg demuxer names). The WMA add-on
// adds kWmaContainers (bass.h).
const std::set<std::string>& BaseContainers();

class Decoder {
public:
    // Converted samples held at most between two reads, besides the resampler's delay.
    static constexpr size_t kSliceFrames = 4096;

    // Probes the container by content, opens its first audio stream and decodes until the
    // first samples are ready. Containers whose demuxer name is not in `containers` are
    // refused (Format), as are files without an audio stream or without a single
    // decodable sample.
    static std::unique_ptr<Decoder> Open(std::shared_ptr<const SourceData> source,
                                         const std::set<std::string>& containers, DecodeError* error);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Up to `frames` frames into `out` (two floats a frame). Fewer, perhaps none, when a
    // stretch of the file gave no samples within one call's share of work, or at the end.
    size_t Read(float* out, size_t frames);
    // Every frame has been delivered.
    bool AtEnd() const;
    // Frames delivered so far (the position of the next frame Read gives).
    uint64_t Position() const;
    // Makes the next Read start at output frame `frame`: near ahead by decoding and
    // dropping, otherwise through the container's seeking (from the start again when the
    // container cannot seek). A frame past the end leaves the decoder at its end. `cancel`
    // (may be null) stops a long seek early; the position is then undefined and the
    // decoder should be sought again or dropped. False only when the file can no longer
    // be read.
    bool Seek(uint64_t frame, const std::atomic<bool>* cancel = nullptr);
    // The exact length in frames when the container states it (uncompressed samples at
    // 44100 Hz whose data lies whole in the file); nullopt otherwise.
    std::optional<uint64_t> StatedLength() const;
    // Whether Position counts every frame from the start. A seek through the container
    // takes the position from the landing frame's timestamp, which is close but not
    // counted; reading to the end then gives a length that is not exact.
    bool PositionCounted() const;

private:
    struct Impl;
    explicit Decoder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The length in frames of what a decoder of `source` delivers, counted by decoding it to
// the end without keeping the samples; nullopt when it cannot be opened or `cancel` was set.
std::optional<uint64_t> CountFrames(std::shared_ptr<const SourceData> source, const std::set<std::string>& containers,
                                    const std::atomic<bool>* cancel = nullptr);

}  // namespace bass
