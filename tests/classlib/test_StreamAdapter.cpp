// TStreamAdapter: an IStream over a class-library stream, not owning it.
#include <gtest/gtest.h>

#include "classlib/StreamAdapter.h"

namespace cl {
namespace {

// A stream that takes only Room bytes and raises on reading.
class TShortStream final : public TStream {
public:
    int64_t Room = 3;
    int64_t Read(void*, int64_t) override { throw EReadError("no reading"); }
    int64_t Write(const void*, int64_t Count) override {
        const int64_t n = std::min(Count, Room);
        Room -= n;
        return n;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

TEST(StreamAdapter, ReadWriteSeekAndStat) {
    TMemoryStream m;
    m.Write("abcdef", 6);
    m.SetPosition(2);
    auto a = TStreamAdapter::Create(&m);
    win::STATSTG st;
    ASSERT_EQ(a->Stat(&st, win::STATFLAG_NONAME), win::S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 6u);
    char buf[8] = {};
    win::ULONG n = 0;
    EXPECT_EQ(a->Read(buf, 3, &n), win::S_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_STREQ(buf, "cde");
    // Fewer bytes than asked: S_FALSE.
    EXPECT_EQ(a->Read(buf, 4, &n), win::S_FALSE);
    EXPECT_EQ(n, 1u);
    win::LARGE_INTEGER to{};
    to.QuadPart = -2;
    win::ULARGE_INTEGER pos{};
    EXPECT_EQ(a->Seek(to, win::STREAM_SEEK_END, &pos), win::S_OK);
    EXPECT_EQ(pos.QuadPart, 4u);
    EXPECT_EQ(m.GetPosition(), 4);
    EXPECT_EQ(a->Seek(to, 7, &pos), win::STG_E_INVALIDFUNCTION);
    EXPECT_EQ(a->Write("XY", 2, &n), win::S_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(m.GetMemory()), 6), "abcdXY");
    // The stream outlives the adapter.
    void* p = nullptr;
    EXPECT_EQ(a->QueryInterface(win::IID_IStream, &p), win::S_OK);
    EXPECT_EQ(static_cast<win::IStream*>(p)->Release(), 1u);
    a.Reset();
    EXPECT_EQ(m.GetSize(), 6);
}

TEST(StreamAdapter, FailuresOfTheStreamAreResults) {
    TShortStream s;
    auto a = TStreamAdapter::Create(&s);
    win::ULONG n = 9;
    EXPECT_EQ(a->Write("abcde", 5, &n), win::STG_E_WRITEFAULT);
    EXPECT_EQ(n, 3u);
    char buf[4];
    EXPECT_EQ(a->Read(buf, 4, &n), win::STG_E_READFAULT);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(a->Read(nullptr, 4, &n), win::E_POINTER);
}

}  // namespace
}  // namespace cl
