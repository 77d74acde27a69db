#include "player/zb_ExeConverter.h"

namespace player {

void ReadShowFromExe(TSlideShow* Show, cl::TStream* Stream, std::string& Error) {
    if (!Show || !Stream) {
        Error = kBadParameters;
        return;
    }
    const int64_t size = Stream->GetSize();
    int64_t offset = 0;
    // A stream too short to hold the trailer reads as offset 0.
    if (size >= 8) {
        uint8_t trailer[8] = {};
        Stream->Seek(size - 8, cl::soBeginning);
        if (Stream->Read(trailer, 8) == 8) {
            uint64_t v = 0;
            for (int i = 7; i >= 0; --i) v = (v << 8) | trailer[i];
            offset = static_cast<int64_t>(v);
        }
    }
    if (offset > 0 && offset < size) {
        Stream->Seek(offset, cl::soBeginning);
        Show->LoadFromStream(Stream, true);
        return;
    }
    Error = std::string(kBadShowSize) + "\r(" + std::to_string(offset) + ")";
}

}  // namespace player
