// The DICOM tag list fed with the elements a reader finds in any bytes (group, element,
// value representation, a signed length, then the value's bytes as far as they go): every
// value is held with its own length, and copies read no byte beyond it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "imaging/core/hyieutils_dicomtags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ie::TIEDICOMTags tags;
    size_t pos = 0;
    while (pos + 10 <= size) {
        const uint16_t group = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        const uint16_t element = static_cast<uint16_t>(data[pos + 2] | (data[pos + 3] << 8));
        const cl::String vr(reinterpret_cast<const char*>(data + pos + 4), data[pos + 4] == 0 ? 0 : 2);
        int32_t length;
        std::memcpy(&length, data + pos + 6, 4);
        pos += 10;
        std::unique_ptr<uint8_t[]> value;
        if (length > 0) {
            const size_t n = std::min<size_t>(static_cast<size_t>(length), size - pos);
            length = static_cast<int32_t>(n);
            value = std::make_unique<uint8_t[]>(n);
            std::memcpy(value.get(), data + pos, n);
            pos += n;
        }
        tags.AddTag(group, element, length, std::move(value), vr);
    }
    ie::TIEDICOMTags copy;
    copy.Assign(&tags);
    if (copy.GetCount() != tags.GetCount()) __builtin_trap();
    for (int32_t i = 0; i < copy.GetCount(); ++i) {
        const ie::TIEDICOMTag& a = tags.GetTag(i);
        const ie::TIEDICOMTag& b = copy.GetTag(i);
        if (a.Length != b.Length || a.Length < 0) __builtin_trap();
        if (b.Data &&
            (std::memcmp(a.Data.get(), b.Data.get(), static_cast<size_t>(b.Length)) != 0 || b.Data[b.Length] != 0))
            __builtin_trap();
    }
    return 0;
}
