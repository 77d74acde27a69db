// Two metadata carriers of the per-image parameters: the JPEG application and comment
// markers (TIEMarkerList), and the IPTC IIM records (TIEIPTCInfoList) with their bare and
// Photoshop-resource byte blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

// The largest payload a JPEG marker segment can carry: its 16-bit length field counts
// itself as well.
constexpr int32_t IEMaxMarkerPayload = 65533;

// Marker codes (the second byte of the marker).
constexpr uint8_t IEJPEG_APP0 = 0xE0;
constexpr uint8_t IEJPEG_APP1 = 0xE1;
constexpr uint8_t IEJPEG_APP2 = 0xE2;
constexpr uint8_t IEJPEG_APP13 = 0xED;
constexpr uint8_t IEJPEG_APP15 = 0xEF;
constexpr uint8_t IEJPEG_COM = 0xFE;

// ---------------------------------------------------------------------------------------
// TIEMarkerList: the APP0 .. APP15 and COM markers of a JPEG file, each as its code and
// its payload (the bytes after the marker's length field), in the order they were added.

class TIEMarkerList : public cl::TObject {
    CL_DECLARE_CLASS(TIEMarkerList, cl::TObject)
public:
    TIEMarkerList() = default;
    ~TIEMarkerList() override = default;

    int32_t GetCount() const { return static_cast<int32_t>(FCodes.size()); }
    // Index outside 0 .. Count - 1 raises cl::EListError (as the class library's lists do).
    // The payload of an empty marker has no bytes: the pointer is null.
    uint8_t* GetMarkerData(int32_t Index);
    const uint8_t* GetMarkerData(int32_t Index) const;
    uint8_t GetMarkerType(int32_t Index) const;
    int32_t GetMarkerLength(int32_t Index) const;
    // The first marker with that code, -1 when none.
    int32_t IndexOf(uint8_t Code) const;
    // Appends a copy of Length bytes. A payload longer than a JPEG segment can carry
    // (IEMaxMarkerPayload) or a negative length is refused: nothing is added and the result
    // is -1; otherwise the result is the new index.
    int32_t AddMarker(uint8_t Code, const void* Data, int32_t Length);
    // Replaces the code and payload at Index, with the limits of AddMarker (False, and the
    // marker as it was, when refused).
    bool SetMarker(int32_t Index, uint8_t Code, int32_t Length, const void* Data);
    void DeleteMarker(int32_t Index);
    void Clear();
    // Nothing for null; else a copy of Source's markers in order.
    void Assign(const TIEMarkerList* Source);

    // The comparison and the exchange used by SortMarkers.
    int32_t CompareMarkers(int32_t A, int32_t B) const;
    void ExchangeMarkers(int32_t A, int32_t B);
    // Orders the markers by code (split "ICC_PROFILE" APP2 chunks by their sequence byte),
    // then brings an EXIF APP1 in front of the other APP1 markers. The JPEG writer calls it
    // before writing the markers.
    void SortMarkers();

private:
    void Check(int32_t Index) const;
    std::vector<std::vector<uint8_t>> FPayloads;
    std::vector<uint8_t> FCodes;
};

// ---------------------------------------------------------------------------------------
// TIEIPTCInfoList: IPTC IIM records (record number, dataset number, data).

class TIEIPTCInfoList : public cl::TObject {
    CL_DECLARE_CLASS(TIEIPTCInfoList, cl::TObject)
public:
    TIEIPTCInfoList() = default;
    ~TIEIPTCInfoList() override = default;

    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    // Index outside 0 .. Count - 1 raises cl::EListError.
    int32_t GetRecordNumber(int32_t Index) const;
    int32_t GetDataSet(int32_t Index) const;
    int32_t GetItemLength(int32_t Index) const;
    // Null for an item of no bytes.
    const uint8_t* GetItemData(int32_t Index) const;

    // Appends a copy of Length bytes; Changed := True; the new index. A negative length is
    // refused (-1, nothing added).
    int32_t AddBufferItem(int32_t RecordNumber, int32_t DataSet, int32_t Length, const void* Data);
    void Clear();
    // Nothing for null; else a copy of Source's items in order.
    void Assign(const TIEIPTCInfoList* Source);

    // A new block (free it with std::free) holding the items as IIM datasets: bare, after
    // the record-version dataset, or inside a "Photoshop 3.0" "8BIM" resource 0x0404. No
    // items, or a block beyond 2 GiB: Buffer null and Length 0.
    void SaveToBuffer(void*& Buffer, int32_t& Length, bool PhotoshopHeader) const;
    // Replaces the items by the datasets of a block (bare, or inside a Photoshop resource
    // block). Stops at the first inconsistency, keeping the items read so far; True when at
    // least one was read.
    bool LoadFromBuffer(const void* Buffer, int32_t Length);

    // Set by every change through the list's own operations, cleared by LoadFromBuffer; the
    // input/output component rebuilds the APP13 marker when it is set.
    bool Changed = false;

private:
    struct Item {
        int32_t RecordNumber = 0;
        int32_t DataSet = 0;
        std::vector<uint8_t> Data;
    };
    const Item& At(int32_t Index) const;
    std::vector<Item> FItems;
};

}  // namespace ie
