// The IPTC reader on any block (bare or in a Photoshop resource): the records read save
// to a block that reads back to the same records; and the marker list sorting any markers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/hyieutils_markers.h"

namespace {

bool SameItems(const ie::TIEIPTCInfoList& A, const ie::TIEIPTCInfoList& B) {
    // B was saved from A without the record version and empty items.
    int32_t j = 0;
    for (int32_t i = 0; i < A.GetCount(); ++i) {
        if ((A.GetRecordNumber(i) == 2 && A.GetDataSet(i) == 0) || A.GetItemLength(i) == 0) continue;
        while (j < B.GetCount() && B.GetRecordNumber(j) == 2 && B.GetDataSet(j) == 0) ++j;
        if (j >= B.GetCount() || B.GetRecordNumber(j) != A.GetRecordNumber(i) || B.GetDataSet(j) != A.GetDataSet(i) ||
            B.GetItemLength(j) != A.GetItemLength(i) ||
            std::memcmp(B.GetItemData(j), A.GetItemData(i), static_cast<size_t>(A.GetItemLength(i))) != 0)
            return false;
        ++j;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    ie::TIEIPTCInfoList list;
    list.LoadFromBuffer(size ? data : nullptr, static_cast<int32_t>(size));
    for (bool photoshop : {false, true}) {
        void* block = nullptr;
        int32_t length = 0;
        list.SaveToBuffer(block, length, photoshop);
        if (block) {
            ie::TIEIPTCInfoList back;
            back.LoadFromBuffer(block, length);
            // Record numbers and datasets are bytes: a block read with a record 0x1C right
            // behind a tag byte may read differently, all else comes back.
            bool tagRecords = false;
            for (int32_t i = 0; i < list.GetCount(); ++i)
                tagRecords |= list.GetRecordNumber(i) == 0x1C || list.GetDataSet(i) == 0x1C;
            if (!tagRecords && !SameItems(list, back)) __builtin_trap();
            std::free(block);
        }
    }
    // The same bytes cut into markers: code, 2-byte length, payload.
    ie::TIEMarkerList markers;
    size_t pos = 0;
    while (pos + 3 <= size) {
        const uint8_t code = data[pos];
        const size_t n = std::min<size_t>((data[pos + 1] << 8) | data[pos + 2], size - pos - 3);
        markers.AddMarker(code, data + pos + 3, static_cast<int32_t>(n));
        pos += 3 + n;
    }
    markers.SortMarkers();
    for (int32_t i = 1; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i - 1) > markers.GetMarkerType(i)) __builtin_trap();
    return 0;
}
