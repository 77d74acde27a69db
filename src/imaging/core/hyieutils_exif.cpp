#include "imaging/core/hyieutils_exif.h"

#include <algorithm>
#include <cstring>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_tiff.h"

namespace ie {

bool IEIsEXIFBlock(const void* Data, int32_t Length) {
    return Data && Length >= 6 && std::memcmp(Data, "Exif\0", 5) == 0;
}

int64_t IEFindTIFFHeader(cl::TStream* Stream) {
    constexpr int64_t kWindow = 131072;
    const int64_t start = Stream->GetPosition();
    const int64_t size = Stream->GetSize();
    std::vector<uint8_t> buf(static_cast<size_t>(std::clamp<int64_t>(size - start, 0, kWindow)));
    int64_t got = 0;
    if (!buf.empty()) got = std::max<int64_t>(0, Stream->Read(buf.data(), static_cast<int64_t>(buf.size())));
    Stream->SetPosition(start);
    for (int64_t i = 0; i + 8 <= got; ++i) {
        const uint8_t* p = buf.data() + i;
        const bool ii = p[0] == 'I' && p[1] == 'I';
        const bool mm = p[0] == 'M' && p[1] == 'M';
        if (!ii && !mm) continue;
        const uint16_t version = IEGetU16(p + 2, mm);
        const uint32_t ifd = IEGetU32(p + 4, mm);
        if (version != 42 && version != 0x4F52 && version != 0x5352) continue;
        if (static_cast<int64_t>(ifd) >= size - (start + i)) continue;
        return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// Maker notes

namespace {

TIEEXIFMakerNoteDeviceInfo Row(std::initializer_list<uint8_t> Signature, uint8_t OffsetMode, uint8_t HeaderKind,
                               uint8_t ByteOrder) {
    TIEEXIFMakerNoteDeviceInfo d;
    d.Signature.assign(Signature);
    d.OffsetMode = OffsetMode;
    d.HeaderKind = HeaderKind;
    d.ByteOrder = ByteOrder;
    return d;
}

// Bytes per value of a TIFF field type (type 0 and unknown types count 1), and the size
// of the numbers whose byte order a value has (1 for bytes and texts).
int32_t TypeSize(uint16_t Type) { return IETIFFTypeSize(Type); }
int32_t WordSize(uint16_t Type) {
    switch (Type) {
        case 3:
        case 8: return 2;
        case 4:
        case 9:
        case 11:
        case 5:
        case 10: return 4;
        case 12: return 8;
        default: return 1;
    }
}

// Reverses the byte order of every number of a value of that type in place.
void SwapValue(uint8_t* P, int64_t Length, uint16_t Type) {
    const int32_t w = WordSize(Type);
    if (w == 1) return;
    for (int64_t i = 0; i + w <= Length; i += w) std::reverse(P + i, P + i + w);
}

constexpr int64_t kMaxNoteEntries = 256;
constexpr int32_t kMaxWrittenNote = 65001;

}  // namespace

const std::vector<TIEEXIFMakerNoteDeviceInfo>& IEMakerNoteDevices() {
    static const std::vector<TIEEXIFMakerNoteDeviceInfo> devices = {
        Row({'S', 'O', 'N', 'Y', ' ', 'C', 'A', 'M', ' ', 0, 0, 0}, 0, 0, 0),
        Row({'S', 'O', 'N', 'Y', ' ', 'D', 'S', 'C', ' ', 0, 0, 0}, 0, 0, 0),
        Row({'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0}, 1, 1, 1),
        Row({'Q', 'V', 'C', 0, 0, 0}, 0, 0, 3),
        Row({'E', 'P', 'S', 'O', 'N', 0, 1, 0}, 0, 0, 0),
        Row({'N', 'i', 'k', 'o', 'n', 0, 1, 0}, 0, 0, 0),
        Row({'P', 'a', 'n', 'a', 's', 'o', 'n', 'i', 'c', 0, 0, 0}, 0, 0, 0),
        Row({'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M'}, 1, 2, 2),
    };
    return devices;
}

TIETagsHandler::TIETagsHandler() : FIFD(std::make_unique<cl::TMemoryStream>()) { CurrentStream = FIFD.get(); }

TIETagsHandler::~TIETagsHandler() = default;

void TIETagsHandler::Clear() {
    FEntries.clear();
    FRawData.clear();
    DeviceInfo = TIEEXIFMakerNoteDeviceInfo();
    Flag = 1;
    FIFD->Clear();
    CurrentStream = FIFD.get();
}

void TIETagsHandler::Assign(const TIETagsHandler* Source) {
    if (Source == this) return;
    Clear();
    if (!Source) return;
    if (Source->FIFD->GetSize() > 0) FIFD->Write(Source->FIFD->GetMemory(), Source->FIFD->GetSize());
    FIFD->SetPosition(0);
    LoadEntries();
    FRawData = Source->FRawData;
    DeviceInfo = Source->DeviceInfo;
}

void TIETagsHandler::IdentifyMaker() {
    DeviceInfo = TIEEXIFMakerNoteDeviceInfo();
    for (const auto& d : IEMakerNoteDevices()) {
        if (FRawData.size() < d.Signature.size()) continue;
        if (std::equal(d.Signature.begin(), d.Signature.end(), FRawData.begin())) {
            DeviceInfo = d;
            return;
        }
    }
}

void TIETagsHandler::SetRawData(const void* Data, int32_t Size) {
    FRawData.clear();
    if (Data && Size > 0) {
        const auto* p = static_cast<const uint8_t*>(Data);
        FRawData.assign(p, p + Size);
    }
}

void TIETagsHandler::LoadEntries() {
    FEntries.clear();
    const int64_t size = FIFD->GetSize();
    if (size < 2) return;
    const auto* b = static_cast<const uint8_t*>(FIFD->GetMemory());
    const int64_t count = IEGetU16LE(b);
    if (!IEInside(size, 2, count * 12)) return;
    FEntries.resize(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* e = b + 2 + i * 12;
        FEntries[i] = TIEMakerNoteEntry{IEGetU16LE(e), IEGetU16LE(e + 2), IEGetU32LE(e + 4), IEGetU32LE(e + 8)};
    }
}

const TIEMakerNoteEntry& TIETagsHandler::GetEntry(int32_t Index) const {
    if (Index < 0 || Index >= GetEntryCount()) throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    return FEntries[Index];
}

int32_t TIETagsHandler::IndexOfTag(uint16_t Tag) const {
    for (size_t i = 0; i < FEntries.size(); ++i)
        if (FEntries[i].Tag == Tag) return static_cast<int32_t>(i);
    return -1;
}

std::vector<uint8_t> TIETagsHandler::GetEntryData(int32_t Index) const {
    const TIEMakerNoteEntry& e = GetEntry(Index);
    const int64_t n = static_cast<int64_t>(e.Count) * TypeSize(e.Type);
    std::vector<uint8_t> out;
    if (n <= 4) {
        uint8_t v[4];
        IEPutU32LE(v, e.Value);
        out.assign(v, v + n);
        return out;
    }
    const int64_t size = FIFD->GetSize();
    if (!IEInside(size, e.Value, n)) return out;
    const auto* b = static_cast<const uint8_t*>(FIFD->GetMemory());
    out.assign(b + e.Value, b + e.Value + n);
    return out;
}

void TIETagsHandler::ReadFromStream(cl::TStream* Stream, int32_t Size, bool LittleEndian) {
    Clear();
    if (Size <= 0) return;
    const int64_t P = Stream->GetPosition();
    // Never more than the stream holds: the size comes from the file.
    const int64_t want = std::min<int64_t>(Size, std::max<int64_t>(0, Stream->GetSize() - P));
    FRawData.resize(static_cast<size_t>(want));
    const int64_t got = want > 0 ? std::max<int64_t>(0, Stream->Read(FRawData.data(), want)) : 0;
    FRawData.resize(static_cast<size_t>(got));
    if (got < 2) {
        Clear();
        return;
    }
    const uint8_t* raw = FRawData.data();
    const int64_t rawSize = got;
    IdentifyMaker();
    int64_t pos = static_cast<int64_t>(DeviceInfo.Signature.size());
    int64_t base = 0;
    if (DeviceInfo.HeaderKind == 1) {
        base = pos;
        if (!IEInside(rawSize, pos, 8)) {
            Clear();
            return;
        }
        std::memcpy(DeviceInfo.Header, raw + pos, 8);
        pos += 8;
    } else if (DeviceInfo.HeaderKind == 2) {
        if (!IEInside(rawSize, pos, 4)) {
            Clear();
            return;
        }
        pos += static_cast<int64_t>(IEGetU32LE(raw + pos)) - 8;
    }
    bool big;
    switch (DeviceInfo.ByteOrder) {
        case 1: big = !(DeviceInfo.Header[0] == 'I' && DeviceInfo.Header[1] == 'I'); break;
        case 2: big = false; break;
        case 3: big = true; break;
        default: big = !LittleEndian; break;
    }
    if (!IEInside(rawSize, pos, 2)) {
        Clear();
        return;
    }
    const int64_t count = IEGetU16(raw + pos, big);
    pos += 2;
    if (count > kMaxNoteEntries || count * 12 > Size || !IEInside(rawSize, pos, count * 12)) {
        Clear();
        return;
    }
    std::vector<uint8_t> ifd(static_cast<size_t>(2 + count * 12), 0);
    // Entries may not share bytes: all their values together fit in the note.
    int64_t dataTotal = 0;
    IEPutU16LE(ifd.data(), static_cast<uint16_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* e = raw + pos + i * 12;
        const uint16_t tag = IEGetU16(e, big);
        const uint16_t type = IEGetU16(e + 2, big);
        uint32_t n = IEGetU32(e + 4, big);
        uint32_t value;
        const int64_t length = static_cast<int64_t>(n) * TypeSize(type);
        if (length > 4) {
            const uint32_t stored = IEGetU32(e + 8, big);
            const int64_t offset =
                DeviceInfo.OffsetMode == 0 ? static_cast<int64_t>(stored) - P : static_cast<int64_t>(stored) + base;
            if (!IEInside(rawSize, offset, length) || length > rawSize - dataTotal) {
                n = 0;
                value = 0;
            } else {
                dataTotal += length;
                value = static_cast<uint32_t>(ifd.size());
                ifd.insert(ifd.end(), raw + offset, raw + offset + length);
                if (big) SwapValue(ifd.data() + value, length, type);
            }
        } else {
            uint8_t v[4];
            std::memcpy(v, e + 8, 4);
            if (big) SwapValue(v, length, type);
            value = IEGetU32LE(v);
        }
        uint8_t* out = ifd.data() + 2 + i * 12;
        IEPutU16LE(out, tag);
        IEPutU16LE(out + 2, type);
        IEPutU32LE(out + 4, n);
        IEPutU32LE(out + 8, value);
    }
    FIFD->Write(ifd.data(), static_cast<int64_t>(ifd.size()));
    FIFD->SetPosition(0);
    LoadEntries();
}

int32_t TIETagsHandler::WriteToStream(cl::TStream* Stream) {
    const int64_t S = Stream->GetPosition();
    const auto& sig = DeviceInfo.Signature;
    // The order the maker's layout reads in: its header's, or its own fixed one; notes that
    // follow the file's order are written little-endian, as the TIFF writer writes files.
    const bool headerBig = !(DeviceInfo.Header[0] == 'I' && DeviceInfo.Header[1] == 'I');
    const bool big = (DeviceInfo.HeaderKind == 1 && headerBig) || DeviceInfo.ByteOrder == 3;
    std::vector<uint8_t> out(sig.begin(), sig.end());
    int64_t base = 0;  // what offsets of mode 1 count from, relative to the note's start
    if (DeviceInfo.HeaderKind == 1) {
        base = static_cast<int64_t>(sig.size());
        uint8_t h[8];
        std::memcpy(h, DeviceInfo.Header, 8);
        const uint32_t ifdOffset =
            DeviceInfo.OffsetMode == 0 ? static_cast<uint32_t>(S + static_cast<int64_t>(sig.size()) + 8) : 8u;
        IEPutU32(h + 4, ifdOffset, big);
        out.insert(out.end(), h, h + 8);
    } else if (DeviceInfo.HeaderKind == 2) {
        uint8_t v[4];
        IEPutU32LE(v, static_cast<uint32_t>(sig.size() + 4));
        out.insert(out.end(), v, v + 4);
    }
    const int64_t ifdSize = FIFD->GetSize();
    const auto* ifd = static_cast<const uint8_t*>(FIFD->GetMemory());
    int64_t count = ifdSize >= 2 ? IEGetU16LE(ifd) : 0;
    if (!IEInside(ifdSize, 2, count * 12)) count = 0;
    const int64_t entryStart = static_cast<int64_t>(out.size()) + 2;
    uint8_t c[2];
    IEPutU16(c, static_cast<uint16_t>(count), big);
    out.insert(out.end(), c, c + 2);
    out.resize(static_cast<size_t>(entryStart + count * 12 + 4), 0);
    int64_t dataPos = static_cast<int64_t>(out.size());  // relative to S
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* e = ifd + 2 + i * 12;
        const uint16_t tag = IEGetU16LE(e);
        const uint16_t type = IEGetU16LE(e + 2);
        const uint32_t n = IEGetU32LE(e + 4);
        uint32_t value = IEGetU32LE(e + 8);
        const int64_t length = static_cast<int64_t>(n) * TypeSize(type);
        uint8_t v[4];
        if (length > 4) {
            if (dataPos + length >= kMaxWrittenNote) {
                dataPos += length;  // too long whatever follows
                break;
            }
            const int64_t stored = value;
            value =
                DeviceInfo.OffsetMode == 0 ? static_cast<uint32_t>(S + dataPos) : static_cast<uint32_t>(dataPos - base);
            out.resize(static_cast<size_t>(dataPos + length), 0);
            if (IEInside(ifdSize, stored, length)) {
                std::memcpy(out.data() + dataPos, ifd + stored, static_cast<size_t>(length));
                if (big) SwapValue(out.data() + dataPos, length, type);
            }
            dataPos += length;
            if (dataPos & 1) out.push_back(0), ++dataPos;
            IEPutU32(v, value, big);
        } else {
            IEPutU32LE(v, value);
            if (big) SwapValue(v, length, type);
        }
        uint8_t* o = out.data() + entryStart + i * 12;
        IEPutU16(o, tag, big);
        IEPutU16(o + 2, type, big);
        IEPutU32(o + 4, n, big);
        std::memcpy(o + 8, v, 4);
    }
    if (dataPos >= kMaxWrittenNote) {
        Stream->SetPosition(S);
        return 0;
    }
    Stream->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
    return static_cast<int32_t>(out.size());
}

}  // namespace ie
