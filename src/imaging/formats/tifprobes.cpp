// TIFF-structure probes and the EXIF tag copy.
#include "imaging/formats/tifprobes.h"

#include <cstdlib>
#include <exception>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/hyieutils_tiff.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/tiffilt.h"

namespace ie {

namespace {

// The EXIF-related tags copied into a written file, in copy order.
constexpr uint16_t kCopiedTags[] = {271, 272, 306,   274,   282,   283,   296,   305,   315,   318,   531,  319,
                                    529, 532, 33432, 18246, 40091, 40092, 40093, 40094, 40095, 34665, 34853};

// Restores a stream's position when it goes out of scope.
struct TPositionKeeper {
    cl::TStream* Stream;
    int64_t At;
    explicit TPositionKeeper(cl::TStream* S) : Stream(S), At(S->GetPosition()) {}
    ~TPositionKeeper() {
        try {
            Stream->SetPosition(At);
        } catch (const std::exception&) {
        }
    }
};

// Loads directory 0 of the TIFF whose header stands at position 0 of Stream (offsets absolute).
// False when the byte order is unknown or the directory cannot be loaded.
bool LoadFirstIFD(cl::TStream* Stream, TTIFFDirectory& Dir, uint8_t* Head) {
    Dir.Stream = Stream;
    Dir.Base = 0;
    Stream->Seek(0, cl::soBeginning);
    if (IEReadUpTo(Stream, Head, 8) != 8) return false;
    if (!((Head[0] == 'I' && Head[1] == 'I') || (Head[0] == 'M' && Head[1] == 'M'))) return false;
    Dir.LittleEndian = Head[0] == 'I';
    int32_t pages = 0;
    return IETIFFReadIFD(0, Dir.Get32(Head + 4), Dir, pages);
}

}  // namespace

bool IEIsTIFFCameraRaw(cl::TStream* Stream) {
    try {
        TPositionKeeper keep(Stream);
        TIEBufferedReadStream view(Stream, 1024, true);
        TTIFFDirectory dir;
        uint8_t head[8];
        if (!LoadFirstIFD(&view, dir, head)) return false;
        auto entry = [&](uint16_t Tag) -> const TTIFFEntry* {
            const int32_t i = IETIFFFindTag(dir, Tag);
            return i < 0 ? nullptr : &dir.Entries[static_cast<size_t>(i)];
        };
        if (const TTIFFEntry* dng = entry(50706); dng && dng->Type == 1 && dng->Count == 4) return true;
        if (const TTIFFEntry* ph = entry(262); ph && ph->Type == 3 && ph->Count == 1) {
            const int64_t v = IETIFFGetTagValue(dir, 262, 0);
            if (v == 32803 || v == 34892) return true;
        }
        return IETIFFFindTag(dir, 330) >= 0 && IETIFFFindTag(dir, 37398) >= 0 && IETIFFGetTagValue(dir, 256, 0) < 200 &&
               IETIFFGetTagValue(dir, 257, 0) < 200;
    } catch (const std::exception&) {
        return false;
    }
}

bool IEIsTIFFStream(cl::TStream* Stream) {
    try {
        TPositionKeeper keep(Stream);
        TIEBufferedReadStream view(Stream, 1024, true);
        const int64_t size = view.GetSize();
        if (size <= 8) return false;
        uint8_t head[9];
        if (IEReadUpTo(&view, head, 9) != 9) return false;
        TTIFFDirectory dir;
        dir.Stream = &view;
        bool result = false;
        if (head[0] == 'I' && head[1] == 'I') {
            dir.LittleEndian = true;
            result = dir.Get32(head + 4) < size;
        } else if (head[0] == 'M' && head[1] == 'M') {
            dir.LittleEndian = false;
            // Another big-endian format carries 0xBA at its ninth byte.
            result = dir.Get32(head + 4) < size && head[8] != 0xBA;
        } else {
            return false;
        }
        int32_t pages = 0;
        if (!IETIFFReadIFD(0, dir.Get32(head + 4), dir, pages)) return false;
        if (IETIFFFindTag(dir, 256) < 0 || IETIFFFindTag(dir, 257) < 0) return false;
        return result;
    } catch (const std::exception&) {
        return false;
    }
}

bool IEIsHDPhotoStream(cl::TStream* Stream) {
    try {
        TPositionKeeper keep(Stream);
        const int64_t start = keep.At;
        const int64_t size = Stream->GetSize() - start;
        if (size <= 8) return false;
        uint8_t head[8];
        if (IEReadUpTo(Stream, head, 8) != 8 || head[0] != 'I' || head[1] != 'I') return false;
        const int64_t ifd = IEGetLE32(head + 4);
        if (ifd < 8 || ifd + 2 > size) return false;
        Stream->SetPosition(start + ifd);
        uint8_t countBytes[2];
        if (IEReadUpTo(Stream, countBytes, 2) != 2) return false;
        const int64_t count = IEGetLE16(countBytes);
        if (count == 0 || ifd + 2 + count * 12 > size) return false;
        std::vector<uint8_t> entries(static_cast<size_t>(count * 12));
        if (IEReadUpTo(Stream, entries.data(), count * 12) != count * 12) return false;
        static constexpr uint16_t kWanted[] = {48256, 48257, 48129, 48320, 48321};
        int found = 0;
        for (uint16_t tag : kWanted)
            for (int64_t i = 0; i < count; ++i)
                if (IEGetLE16(entries.data() + i * 12) == tag) {
                    ++found;
                    break;
                }
        return found == 5;
    } catch (const std::exception&) {
        return false;
    }
}

bool IECopyEXIFTagsToTIFF(cl::TStream* TargetStream, cl::TStream* OutputStream, const cl::String& TargetFileName,
                          TIOParamsVals& Params, int32_t PageIndex, const cl::String& OutputFileName) {
    void* block = nullptr;
    int32_t length = 0;
    if (!IEMakeEXIFBlock(Params, block, length, false) || !block) return true;
    std::unique_ptr<void, decltype(&std::free)> holder(block, &std::free);
    cl::TMemoryStream exifStream;
    exifStream.Write(block, length);
    TIETIFFHandler exif;
    if (!exif.ReadStream(&exifStream)) return true;

    // The target from where it begins: its offsets count from there.
    TIETIFFHandler target;
    int64_t targetAt = 0;
    cl::TMemoryStream targetBytes;
    if (TargetStream) {
        targetAt = TargetStream->GetPosition();
        const int64_t n = TargetStream->GetSize() - targetAt;
        if (n <= 0) return false;
        targetBytes.SetSize(n);
        if (IEReadUpTo(TargetStream, targetBytes.GetMemory(), n) != n) return false;
        if (!target.ReadStream(&targetBytes)) return false;
    } else if (!target.ReadFile(TargetFileName)) {
        return false;
    }
    if (PageIndex < 0 || PageIndex >= target.GetPagesCount()) return false;
    for (uint16_t tag : kCopiedTags) target.CopyTag(0, exif.FindTag(0, tag), PageIndex, &exif);

    if (!OutputStream) return target.WriteFile(OutputFileName, -1);
    cl::TMemoryStream result;
    if (!target.WriteStream(&result, -1)) return false;
    if (OutputStream == TargetStream) OutputStream->SetPosition(targetAt);
    const int64_t at = OutputStream->GetPosition();
    if (OutputStream->Write(result.GetMemory(), result.GetSize()) != result.GetSize()) return false;
    // The old structure may have been longer.
    if (OutputStream == TargetStream && OutputStream->GetSize() > at + result.GetSize())
        OutputStream->SetSize(at + result.GetSize());
    return true;
}

}  // namespace ie
