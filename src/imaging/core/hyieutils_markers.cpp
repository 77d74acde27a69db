#include "imaging/core/hyieutils_markers.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_helpers.h"

namespace ie {

namespace {

[[noreturn]] void IndexError(int32_t Index) {
    throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
}

// A payload of Length bytes at Data, or nothing when refused.
bool TakePayload(const void* Data, int32_t Length, std::vector<uint8_t>& Out) {
    if (Length < 0 || Length > IEMaxMarkerPayload) return false;
    if (Length > 0 && !Data) return false;
    const auto* p = static_cast<const uint8_t*>(Data);
    Out.assign(p, p + Length);
    return true;
}

constexpr char kICCProfile[] = "ICC_PROFILE";  // with its zero: 12 bytes

bool IsICCChunk(uint8_t Code, const std::vector<uint8_t>& Payload) {
    return Code == IEJPEG_APP2 && Payload.size() > 13 && std::memcmp(Payload.data(), kICCProfile, 12) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TIEMarkerList

void TIEMarkerList::Check(int32_t Index) const {
    if (Index < 0 || Index >= GetCount()) IndexError(Index);
}

uint8_t* TIEMarkerList::GetMarkerData(int32_t Index) {
    Check(Index);
    return FPayloads[Index].empty() ? nullptr : FPayloads[Index].data();
}

const uint8_t* TIEMarkerList::GetMarkerData(int32_t Index) const {
    Check(Index);
    return FPayloads[Index].empty() ? nullptr : FPayloads[Index].data();
}

uint8_t TIEMarkerList::GetMarkerType(int32_t Index) const {
    Check(Index);
    return FCodes[Index];
}

int32_t TIEMarkerList::GetMarkerLength(int32_t Index) const {
    Check(Index);
    return static_cast<int32_t>(FPayloads[Index].size());
}

int32_t TIEMarkerList::IndexOf(uint8_t Code) const {
    for (size_t i = 0; i < FCodes.size(); ++i)
        if (FCodes[i] == Code) return static_cast<int32_t>(i);
    return -1;
}

int32_t TIEMarkerList::AddMarker(uint8_t Code, const void* Data, int32_t Length) {
    std::vector<uint8_t> payload;
    if (!TakePayload(Data, Length, payload)) return -1;
    FPayloads.push_back(std::move(payload));
    FCodes.push_back(Code);
    return GetCount() - 1;
}

bool TIEMarkerList::SetMarker(int32_t Index, uint8_t Code, int32_t Length, const void* Data) {
    Check(Index);
    std::vector<uint8_t> payload;
    if (!TakePayload(Data, Length, payload)) return false;
    FPayloads[Index] = std::move(payload);
    FCodes[Index] = Code;
    return true;
}

void TIEMarkerList::DeleteMarker(int32_t Index) {
    Check(Index);
    FPayloads.erase(FPayloads.begin() + Index);
    FCodes.erase(FCodes.begin() + Index);
}

void TIEMarkerList::Clear() {
    FPayloads.clear();
    FCodes.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
    if (!Source || Source == this) return;
    FPayloads = Source->FPayloads;
    FCodes = Source->FCodes;
}

int32_t TIEMarkerList::CompareMarkers(int32_t A, int32_t B) const {
    if (IsICCChunk(FCodes[A], FPayloads[A]) && IsICCChunk(FCodes[B], FPayloads[B]))
        return static_cast<int32_t>(FPayloads[A][12]) - static_cast<int32_t>(FPayloads[B][12]);
    return static_cast<int32_t>(FCodes[A]) - static_cast<int32_t>(FCodes[B]);
}

void TIEMarkerList::ExchangeMarkers(int32_t A, int32_t B) {
    std::swap(FPayloads[A], FPayloads[B]);
    std::swap(FCodes[A], FCodes[B]);
}

void TIEMarkerList::SortMarkers() {
    IEQuickSort(
        GetCount(), [this](int32_t a, int32_t b) { ExchangeMarkers(a, b); },
        [this](int32_t a, int32_t b) { return CompareMarkers(a, b); });
    const int32_t first = IndexOf(IEJPEG_APP1);
    if (first < 0) return;
    for (int32_t i = first + 1; i < GetCount(); ++i) {
        if (FCodes[i] != IEJPEG_APP1) continue;
        const auto& p = FPayloads[i];
        if (IEIsEXIFBlock(p.data(), static_cast<int32_t>(p.size()))) ExchangeMarkers(first, i);
    }
}

// ---------------------------------------------------------------------------------------
// TIEIPTCInfoList

namespace {

constexpr uint8_t kIPTCTag = 0x1C;
// "Photoshop 3.0", 0, "8BIM", resource 0x0404, an empty padded name, then the size.
constexpr uint8_t kPhotoshopPrefix[22] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3',
                                          '.', '0', 0,   '8', 'B', 'I', 'M', 4,   4,   0,   0};
constexpr int32_t kPhotoshopHeaderSize = 26;
// Record 2, dataset 0 (the record version), length 2, value 2.
constexpr uint8_t kRecordVersion[7] = {kIPTCTag, 2, 0, 0, 2, 0, 2};
constexpr uint8_t k8BIMIPTC[6] = {'8', 'B', 'I', 'M', 4, 4};

}  // namespace

const TIEIPTCInfoList::Item& TIEIPTCInfoList::At(int32_t Index) const {
    if (Index < 0 || Index >= GetCount()) IndexError(Index);
    return FItems[Index];
}

int32_t TIEIPTCInfoList::GetRecordNumber(int32_t Index) const { return At(Index).RecordNumber; }
int32_t TIEIPTCInfoList::GetDataSet(int32_t Index) const { return At(Index).DataSet; }
int32_t TIEIPTCInfoList::GetItemLength(int32_t Index) const { return static_cast<int32_t>(At(Index).Data.size()); }
const uint8_t* TIEIPTCInfoList::GetItemData(int32_t Index) const {
    const Item& it = At(Index);
    return it.Data.empty() ? nullptr : it.Data.data();
}

int32_t TIEIPTCInfoList::AddBufferItem(int32_t RecordNumber, int32_t DataSet, int32_t Length, const void* Data) {
    if (Length < 0 || (Length > 0 && !Data)) return -1;
    Item it;
    it.RecordNumber = RecordNumber;
    it.DataSet = DataSet;
    const auto* p = static_cast<const uint8_t*>(Data);
    it.Data.assign(p, p + Length);
    FItems.push_back(std::move(it));
    Changed = true;
    return GetCount() - 1;
}

void TIEIPTCInfoList::Clear() {
    FItems.clear();
    Changed = true;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
    if (!Source || Source == this) return;
    FItems = Source->FItems;
    Changed = true;
}

void TIEIPTCInfoList::SaveToBuffer(void*& Buffer, int32_t& Length, bool PhotoshopHeader) const {
    Buffer = nullptr;
    Length = 0;
    if (FItems.empty()) return;
    std::vector<uint8_t> out;
    if (PhotoshopHeader) {
        out.assign(kPhotoshopPrefix, kPhotoshopPrefix + sizeof(kPhotoshopPrefix));
        out.resize(kPhotoshopHeaderSize, 0);
    } else {
        out.assign(kRecordVersion, kRecordVersion + sizeof(kRecordVersion));
    }
    uint64_t total = 0;
    constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) - 64;
    for (const Item& it : FItems) {
        if ((it.RecordNumber == 2 && it.DataSet == 0) || it.Data.empty()) continue;
        const uint64_t n = it.Data.size();
        const bool extended = n >= 32768;
        const uint64_t header = extended ? 9 : 5;
        total += n + header;
        if (total + out.size() > kLimit) return;  // no block can carry it
        uint8_t h[9] = {kIPTCTag, static_cast<uint8_t>(it.RecordNumber), static_cast<uint8_t>(it.DataSet)};
        if (extended) {
            h[3] = 0x80;
            h[4] = 0x04;
            IEPutU32BE(h + 5, static_cast<uint32_t>(n));
        } else {
            IEPutU16BE(h + 3, static_cast<uint16_t>(n));
        }
        out.insert(out.end(), h, h + header);
        out.insert(out.end(), it.Data.begin(), it.Data.end());
    }
    if (out.size() & 1) out.push_back(0);
    if (PhotoshopHeader) IEPutU32BE(out.data() + 22, static_cast<uint32_t>(total));
    void* block = std::malloc(out.size());
    if (!block) return;
    std::memcpy(block, out.data(), out.size());
    Buffer = block;
    Length = static_cast<int32_t>(out.size());
}

bool TIEIPTCInfoList::LoadFromBuffer(const void* Buffer, int32_t Length) {
    Clear();
    if (Length <= 0 || !Buffer) return false;
    const auto* b = static_cast<const uint8_t*>(Buffer);
    const int64_t len = Length;
    int64_t pos = 0;
    if (len >= 13 && std::memcmp(b, kPhotoshopPrefix, 13) == 0) {
        pos = len;
        for (int64_t i = 0; i + 6 <= len; ++i)
            if (std::memcmp(b + i, k8BIMIPTC, 6) == 0) {
                pos = i + 6;
                // A whole resource header (its name padded to an even length, then its
                // size) is stepped over, so that tag bytes in the size start no dataset.
                if (pos < len) {
                    const int64_t name = (1 + b[pos] + 1) & ~int64_t{1};
                    if (IEInside(len, pos, name + 4)) pos += name + 4;
                }
                break;
            }
    }
    while (pos < len && b[pos] != kIPTCTag) ++pos;
    while (pos + 1 < len && b[pos + 1] == kIPTCTag) ++pos;
    bool result = false;
    while (pos < len && b[pos] == kIPTCTag) {
        ++pos;
        if (!IEInside(len, pos, 5)) break;  // record, dataset, length and a byte at least
        const int32_t record = b[pos];
        const int32_t dataset = b[pos + 1];
        pos += 2;
        uint64_t size;
        if (b[pos] & 0x80) {
            // Extended dataset: the low 15 bits give the bytes of the length field.
            const int32_t lengthBytes = IEGetU16BE(b + pos) & 0x7FFF;
            if (lengthBytes < 1 || lengthBytes > 4 || !IEInside(len, pos + 2, lengthBytes)) break;
            size = 0;
            for (int32_t i = 0; i < lengthBytes; ++i) size = (size << 8) | b[pos + 2 + i];
            pos += 2 + lengthBytes;
        } else {
            size = IEGetU16BE(b + pos);
            pos += 2;
        }
        if (size > static_cast<uint64_t>(len - pos)) break;
        AddBufferItem(record, dataset, static_cast<int32_t>(size), b + pos);
        pos += static_cast<int64_t>(size);
        result = true;
    }
    Changed = false;
    return result;
}

}  // namespace ie
