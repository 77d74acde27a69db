// The data elements that the DICOM reader finds, kept as a plain list.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

// One data element. The value is held with its length: Data holds Length bytes, or is
// null when the value was not read. Copies made by Assign carry one zero byte behind the
// value, so that a text value can be read as a C string.
struct TIEDICOMTag {
    uint16_t Group = 0;
    uint16_t Element = 0;
    char VR[2] = {0, 0};  // value representation; both zero when none was given
    std::unique_ptr<uint8_t[]> Data;
    int32_t Length = 0;
};

class TIEDICOMTags : public cl::TObject {
    CL_DECLARE_CLASS(TIEDICOMTags, cl::TObject)
public:
    TIEDICOMTags() = default;
    ~TIEDICOMTags() override = default;

    // Frees every value and record.
    void Clear();
    // Appends a record. VR is kept only when it is exactly 2 characters. A negative Length
    // stores no data and length 0; otherwise the record takes over Data, which must hold
    // Length bytes (null: the value was not read). Returns the new index.
    int32_t AddTag(uint16_t Group, uint16_t Element, int32_t Length, std::unique_ptr<uint8_t[]> Data,
                   const cl::String& VR);
    // Clear, then a copy of each of Source's records in order (Clear only for null).
    void Assign(const TIEDICOMTags* Source);

    int32_t GetCount() const { return static_cast<int32_t>(FTags.size()); }
    // Index outside 0 .. Count - 1 raises cl::EListError.
    const TIEDICOMTag& GetTag(int32_t Index) const;
    // The first record of that group and element, -1 when none.
    int32_t IndexOf(uint16_t Group, uint16_t Element) const;

private:
    std::vector<TIEDICOMTag> FTags;
};

}  // namespace ie
