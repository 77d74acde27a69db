#include "imaging/core/hyieutils_dicomtags.h"

#include <cstring>

#include "classlib/SysUtils.h"

namespace ie {

void TIEDICOMTags::Clear() { FTags.clear(); }

int32_t TIEDICOMTags::AddTag(uint16_t Group, uint16_t Element, int32_t Length, std::unique_ptr<uint8_t[]> Data,
                             const cl::String& VR) {
    TIEDICOMTag t;
    t.Group = Group;
    t.Element = Element;
    if (VR.size() == 2) {
        t.VR[0] = VR[0];
        t.VR[1] = VR[1];
    }
    if (Length >= 0) {
        t.Data = std::move(Data);
        t.Length = Length;
    }
    FTags.push_back(std::move(t));
    return GetCount() - 1;
}

void TIEDICOMTags::Assign(const TIEDICOMTags* Source) {
    if (Source == this) return;
    Clear();
    if (!Source) return;
    FTags.reserve(Source->FTags.size());
    for (const TIEDICOMTag& s : Source->FTags) {
        TIEDICOMTag t;
        t.Group = s.Group;
        t.Element = s.Element;
        t.VR[0] = s.VR[0];
        t.VR[1] = s.VR[1];
        t.Length = s.Length;
        if (s.Length > 0 && s.Data) {
            t.Data = std::make_unique<uint8_t[]>(static_cast<size_t>(s.Length) + 1);
            std::memcpy(t.Data.get(), s.Data.get(), static_cast<size_t>(s.Length));
            t.Data[s.Length] = 0;
        }
        FTags.push_back(std::move(t));
    }
}

const TIEDICOMTag& TIEDICOMTags::GetTag(int32_t Index) const {
    if (Index < 0 || Index >= GetCount()) throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    return FTags[Index];
}

int32_t TIEDICOMTags::IndexOf(uint16_t Group, uint16_t Element) const {
    for (size_t i = 0; i < FTags.size(); ++i)
        if (FTags[i].Group == Group && FTags[i].Element == Element) return static_cast<int32_t>(i);
    return -1;
}

}  // namespace ie
