// The bounded stream reader: every read, count and length is checked against the bytes left
// before the bound, and a failed check raises with the reader's prefix and the field's name.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/iestreamreader.h"

namespace ie {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int32_t> Values) {
    std::vector<uint8_t> v;
    for (int32_t x : Values) {
        const auto* p = reinterpret_cast<const uint8_t*>(&x);
        v.insert(v.end(), p, p + 4);
    }
    return v;
}

// A memory stream whose size says more bytes than it holds (a file that shrank).
class ShrunkStream : public TIEMemStream {
public:
    ShrunkStream(const std::vector<uint8_t>& Data, int64_t Claimed)
        : TIEMemStream(Data.data(), static_cast<int64_t>(Data.size())), FClaimed(Claimed) {}
    int64_t GetSize() override { return FClaimed; }

private:
    int64_t FClaimed;
};

TEST(IEStreamReader, WrittenValuesReadBackAndLeftCountsDown) {
    cl::TMemoryStream s;
    IEPut<int32_t>(&s, -7);
    IEPut<double>(&s, 2.5);
    IEPutBool(&s, true);
    IEPutBool(&s, false);
    IEPutStr(&s, "name");
    IEPutStr(&s, "");
    IEPut<int32_t>(&s, 3);  // a count of three 4-byte items
    IEPut<int32_t>(&s, 10);
    IEPut<int32_t>(&s, 20);
    IEPut<int32_t>(&s, 30);
    ASSERT_EQ(s.GetSize(), 4 + 8 + 1 + 1 + 8 + 4 + 4 + 12);
    s.SetPosition(0);
    TIEStreamReader r(&s, "Damaged test: ");
    EXPECT_EQ(r.GetEnd(), s.GetSize());
    EXPECT_EQ(r.Get<int32_t>("a"), -7);
    EXPECT_EQ(r.Left(), s.GetSize() - 4);
    EXPECT_EQ(r.Get<double>("b"), 2.5);
    EXPECT_TRUE(r.GetBool("c"));
    EXPECT_FALSE(r.GetBool("d"));
    EXPECT_EQ(r.Str("e"), "name");
    EXPECT_EQ(r.Str("f"), "");
    EXPECT_EQ(r.Count(4, "g"), 3);  // exactly what is left
    for (int32_t want : {10, 20, 30}) EXPECT_EQ(r.Get<int32_t>("h"), want);
    EXPECT_EQ(r.Left(), 0);
}

struct BadCase {
    const char* name;
    std::vector<uint8_t> data;
    int64_t end;  // -1: the stream's end
    std::function<void(TIEStreamReader&)> read;
    const char* message;
};

TEST(IEStreamReader, DamagedInputRaisesWithThePrefixAndTheField) {
    const BadCase cases[] = {
        {"a value cut short", {1, 2, 3}, -1, [](TIEStreamReader& r) { r.Get<int32_t>("width"); }, "width"},
        {"a count of more items than the bytes hold", Bytes({5, 0, 0, 0, 0, 0, 0, 0, 0, 0}), -1,
         [](TIEStreamReader& r) { r.Count(8, "points"); }, "points"},
        {"a negative count", Bytes({-1}), -1, [](TIEStreamReader& r) { r.Count(1, "items"); }, "items"},
        {"a negative length", Bytes({-4, 0}), -1, [](TIEStreamReader& r) { r.Length("name length"); }, "name length"},
        {"a string longer than the stream", Bytes({9, 0x41414141}), -1, [](TIEStreamReader& r) { r.Str("text"); },
         "text"},
        {"a huge count", Bytes({0x7FFFFFFF, 0}), -1, [](TIEStreamReader& r) { r.Count(1, "huge"); }, "huge"},
        {"a huge item size", Bytes({1, 0}), -1, [](TIEStreamReader& r) { r.Count(INT64_MAX, "size"); }, "size"},
        {"a negative byte count", Bytes({0}), -1,
         [](TIEStreamReader& r) {
             uint8_t b[4];
             r.Bytes(b, -1, "block");
         },
         "block"},
        {"a read past the bound", Bytes({1, 2}), 6, [](TIEStreamReader& r) { r.Get<int64_t>("offset"); }, "offset"},
        {"a length that fits the stream but not the bound", Bytes({4, 0x42424242}), 6,
         [](TIEStreamReader& r) { r.Str("record"); }, "record"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        TIEMemStream s(c.data.data(), static_cast<int64_t>(c.data.size()));
        TIEStreamReader r =
            c.end < 0 ? TIEStreamReader(&s, "Damaged test: ") : TIEStreamReader(&s, "Damaged test: ", c.end);
        try {
            c.read(r);
            ADD_FAILURE() << "no exception";
        } catch (const cl::EReadError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Damaged test: ") + c.message);
        }
    }
}

TEST(IEStreamReader, AStreamShorterThanItsSizeRaises) {
    const std::vector<uint8_t> data = Bytes({8, 0x43434343});
    ShrunkStream s(data, 100);
    TIEStreamReader r(&s, "Damaged test: ");
    EXPECT_EQ(r.Length("length"), 8);  // the size says it is there
    std::string text(8, '\0');
    EXPECT_THROW(r.Bytes(text.data(), 8, "text"), cl::EReadError);
}

TEST(IEStreamReader, ZeroCountsAndItemSizesBelowOneAreAccepted) {
    const std::vector<uint8_t> data = Bytes({0, 4, 0});
    TIEMemStream s(data.data(), static_cast<int64_t>(data.size()));
    TIEStreamReader r(&s, "Damaged test: ");
    EXPECT_EQ(r.Count(1000, "none"), 0);
    EXPECT_EQ(r.Count(0, "bytes"), 4);  // taken as single bytes: 4 are left
    uint8_t nothing = 0;
    EXPECT_NO_THROW(r.Bytes(&nothing, 0, "empty"));
}

}  // namespace
}  // namespace ie
