#include "player/zb_ExeConverter.h"

#include <algorithm>
#include <vector>

#include "classlib/SysUtils.h"

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

int64_t CopyShowRange(cl::TStream* Source, int64_t StartPos, int64_t EndPos, cl::TStream* Dest) {
    if (!Source || !Dest) return 0;
    const int64_t size = Source->GetSize();
    const int64_t start = std::clamp<int64_t>(StartPos, 0, size);
    const int64_t end = std::clamp<int64_t>(EndPos, start, size);
    auto* file = dynamic_cast<cl::TFileStream*>(Source);
    if (!file) Source->Seek(start, cl::soBeginning);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(64 * 1024, std::max<int64_t>(end - start, 1))));
    for (int64_t pos = start; pos < end;) {
        const int64_t n = std::min<int64_t>(static_cast<int64_t>(buffer.size()), end - pos);
        const int64_t got = file ? file->ReadAt(pos, buffer.data(), n) : Source->Read(buffer.data(), n);
        if (got != n) throw cl::EReadError("Stream read error");
        Dest->WriteBuffer(buffer.data(), n);
        pos += n;
    }
    return end - start;
}

}  // namespace player
