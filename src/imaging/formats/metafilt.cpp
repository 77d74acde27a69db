// Content probes of Windows metafiles and enhanced metafiles.
#include "imaging/formats/metafilt.h"

#include <utility>

#include "imaging/formats/iefmtcommon.h"

namespace ie {

namespace {

// Reads exactly Count bytes from the stream's position; False when it has fewer.
bool ReadExactly(cl::TStream* Stream, uint8_t* Buffer, int64_t Count) {
    return IEReadUpTo(Stream, Buffer, Count) == Count;
}

// Puts the stream back at Position when the scope ends, also when a read raised.
struct PositionKeeper {
    cl::TStream* Stream;
    int64_t Position;
    ~PositionKeeper() {
        try {
            Stream->Seek(Position, cl::soBeginning);
        } catch (...) {
            // A stream that cannot seek back has nothing more to lose here.
        }
    }
};

constexpr uint32_t kEMFHeaderType = 1;
constexpr uint32_t kEMFSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int64_t kPlaceableSize = 22;

}  // namespace

bool IEIsEMFStream(cl::TStream* Stream) {
    const PositionKeeper keep{Stream, Stream->GetPosition()};
    uint8_t head[100];
    if (!ReadExactly(Stream, head, sizeof head)) return false;
    return IEGetLE32(head) == kEMFHeaderType && IEGetLE32(head + 40) == kEMFSignature;
}

bool IEIsWMFStream(cl::TStream* Stream) {
    const PositionKeeper keep{Stream, Stream->GetPosition()};
    uint8_t head[20];
    if (!ReadExactly(Stream, head, sizeof head)) return false;
    const int64_t start = keep.Position + (IEGetLE32(head) == kPlaceableKey ? kPlaceableSize : 0);
    Stream->Seek(start, cl::soBeginning);
    uint8_t meta[18];
    if (!ReadExactly(Stream, meta, sizeof meta)) return false;
    return IEGetLE16(meta) == 1 && IEGetLE16(meta + 2) == 9 && IEGetLE16(meta + 16) == 0;
}

void IEMetafileRegisterFormats() {
    // Only the probes: loading a metafile is the engine's own (its metafile hook).
    for (const auto& [type, probe] : {std::pair{ioWMF, &IEIsWMFStream}, std::pair{ioEMF, &IEIsEMFStream}}) {
        TIEFileFormatInfo* e = IEFindFormatInfo(type);
        if (!e) continue;
        TIEFormatOps ops = e->Ops;
        ops.Probe = probe;
        IESetFormatOps(type, ops);
    }
}

}  // namespace ie
