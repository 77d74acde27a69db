// The audio library's decoder on any bytes: probing and opening, a stretch of samples, a
// seek back and a little more, and the counting pass.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/bass/bass.h"
#include "platform/bass/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::set<std::string> containers = [] {
        std::set<std::string> c = bass::BaseContainers();
        c.insert(bass::kWmaContainers);
        return c;
    }();
    auto source = bass::SourceData::CopyMemory(data, size);
    bass::DecodeError error;
    auto decoder = bass::Decoder::Open(source, containers, &error);
    if (!decoder) return 0;
    std::vector<float> buffer(bass::Decoder::kSliceFrames * 2);
    // At most ten seconds of output: enough to go through any small input.
    uint64_t frames = 0;
    while (!decoder->AtEnd() && frames < 10 * bass::kOutputRate)
        frames += decoder->Read(buffer.data(), bass::Decoder::kSliceFrames);
    decoder->Seek(frames / 3);
    decoder->Read(buffer.data(), bass::Decoder::kSliceFrames);
    if (decoder->AtEnd()) bass::CountFrames(source, containers);
    return 0;
}
