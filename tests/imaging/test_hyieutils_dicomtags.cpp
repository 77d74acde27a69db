// The DICOM tag list: value representations, values held with their length, and copies.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_dicomtags.h"

namespace ie {
namespace {

std::unique_ptr<uint8_t[]> Value(const char* Text, size_t N) {
    auto p = std::make_unique<uint8_t[]>(N);
    std::memcpy(p.get(), Text, N);
    return p;
}

TEST(DICOMTags, AddTagKeepsWhatTheReaderGave) {
    struct Case {
        const char* name;
        const char* vr;
        int32_t length;
        bool withData;
        char vr0, vr1;
        int32_t keptLength;
        bool keptData;
    };
    const Case cases[] = {
        {"two-letter VR", "OB", 3, true, 'O', 'B', 3, true},
        {"three-letter VR", "OBX", 3, true, 0, 0, 3, true},
        {"empty VR", "", 3, true, 0, 0, 3, true},
        {"negative length", "UL", -1, true, 'U', 'L', 0, false},
        {"value not read", "SQ", 10, false, 'S', 'Q', 10, false},
        {"empty value", "LO", 0, false, 'L', 'O', 0, false},
    };
    TIEDICOMTags tags;
    for (const auto& c : cases) {
        const int32_t i = tags.AddTag(0x0010, 0x0010, c.length, c.withData ? Value("abc", 3) : nullptr, c.vr);
        ASSERT_EQ(i, tags.GetCount() - 1) << c.name;
        const TIEDICOMTag& t = tags.GetTag(i);
        EXPECT_EQ(t.VR[0], c.vr0) << c.name;
        EXPECT_EQ(t.VR[1], c.vr1) << c.name;
        EXPECT_EQ(t.Length, c.keptLength) << c.name;
        EXPECT_EQ(t.Data != nullptr, c.keptData) << c.name;
    }
}

TEST(DICOMTags, ValuesNeedNoTerminatorAndCopiesGetOne) {
    TIEDICOMTags tags;
    // A value of exactly its length: no byte behind it is ever read.
    tags.AddTag(0x0008, 0x0060, 2, Value("MR", 2), "CS");
    tags.AddTag(0x7FE0, 0x0010, -1, nullptr, "OW");
    tags.AddTag(0x0028, 0x0010, 0, nullptr, "US");
    TIEDICOMTags copy;
    copy.AddTag(1, 1, 1, Value("z", 1), "XX");
    copy.Assign(&tags);
    ASSERT_EQ(copy.GetCount(), 3);
    const TIEDICOMTag& a = copy.GetTag(0);
    EXPECT_EQ(a.Group, 0x0008);
    EXPECT_EQ(a.Element, 0x0060);
    EXPECT_EQ(a.Length, 2);
    ASSERT_NE(a.Data, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(a.Data.get()), "MR");
    EXPECT_NE(a.Data.get(), tags.GetTag(0).Data.get());
    EXPECT_EQ(copy.GetTag(1).Data, nullptr);
    EXPECT_EQ(copy.GetTag(2).Data, nullptr);
    EXPECT_EQ(copy.IndexOf(0x0028, 0x0010), 2);
    EXPECT_EQ(copy.IndexOf(0x0028, 0x0011), -1);
    copy.Assign(nullptr);
    EXPECT_EQ(copy.GetCount(), 0);
    EXPECT_THROW(copy.GetTag(0), cl::EListError);
    tags.Clear();
    EXPECT_EQ(tags.GetCount(), 0);
}

}  // namespace
}  // namespace ie
