// The zlib stream classes and the one-shot inflater, checked against zlib's own
// compress/uncompress so that every stream we write is a valid zlib stream and every
// valid stream reads back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/formats/iezlib.h"

namespace ie {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1) {
    // Half predictable text, half noise, so that the data compresses but not to nothing.
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < n; ++i)
        v[i] = (i / 64) % 2 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>('a' + i % 7);
    return v;
}

std::vector<uint8_t> ZCompress(const std::vector<uint8_t>& in) {
    uLongf len = compressBound(in.size());
    std::vector<uint8_t> out(len);
    EXPECT_EQ(compress2(out.data(), &len, in.data(), in.size(), 6), Z_OK);
    out.resize(len);
    return out;
}

std::vector<uint8_t> ZUncompress(const uint8_t* data, size_t size, size_t expected) {
    std::vector<uint8_t> out(expected + 1);
    uLongf len = out.size();
    EXPECT_EQ(uncompress(out.data(), &len, data, size), Z_OK);
    out.resize(len);
    return out;
}

std::vector<uint8_t> StreamBytes(cl::TMemoryStream& s) {
    auto* p = static_cast<uint8_t*>(s.GetMemory());
    return std::vector<uint8_t>(p, p + s.GetSize());
}

TEST(IEZlib, CompressionStreamWritesValidZlibAtEveryLevel) {
    for (TZCompressionLevel level : {zlevStore, zlevFastest, zlevDefault, zlevBest}) {
        SCOPED_TRACE(static_cast<int>(level));
        const auto data = Pattern(200000);
        cl::TMemoryStream dest;
        {
            TZCompressionStream z(&dest, level);
            // Uneven pieces cross the 64 KB buffer boundary several times.
            size_t done = 0, piece = 1;
            while (done < data.size()) {
                const size_t n = std::min(piece, data.size() - done);
                EXPECT_EQ(z.Write(data.data() + done, static_cast<int64_t>(n)), static_cast<int64_t>(n));
                done += n;
                piece = piece * 3 + 1;
            }
            EXPECT_EQ(z.GetPosition(), static_cast<int64_t>(data.size()));
            z.Finish();
        }
        const auto bytes = StreamBytes(dest);
        EXPECT_EQ(ZUncompress(bytes.data(), bytes.size(), data.size()), data);
        if (level == zlevStore) {
            EXPECT_GT(bytes.size(), data.size());
        }
        if (level == zlevBest) {
            EXPECT_LT(bytes.size(), data.size());
        }
    }
}

TEST(IEZlib, EmptyCompressionStreamIsACompleteStream) {
    cl::TMemoryStream dest;
    { TZCompressionStream z(&dest, zlevDefault); }  // the destructor finishes
    const auto bytes = StreamBytes(dest);
    ASSERT_GE(bytes.size(), 8u);  // header, empty block, checksum
    EXPECT_TRUE(ZUncompress(bytes.data(), bytes.size(), 0).empty());
}

TEST(IEZlib, WrongDirectionRaises) {
    cl::TMemoryStream dest;
    TZCompressionStream c(&dest, zlevDefault);
    uint8_t b[4];
    EXPECT_THROW(c.Read(b, 4), EZCompressionError);
    const auto z = ZCompress(Pattern(10));
    cl::TMemoryStream src;
    src.Write(z.data(), static_cast<int64_t>(z.size()));
    src.Seek(0, cl::soBeginning);
    TZDecompressionStream d(&src);
    EXPECT_THROW(d.Write(b, 4), EZDecompressionError);
    try {
        d.Write(b, 1);
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
    }
    c.Finish();
    EXPECT_THROW(c.Write(b, 1), EZCompressionError);  // after the end
}

TEST(IEZlib, DecompressionReadsToTheEndAndLeavesTheSourceAfterTheData) {
    const auto data = Pattern(150000, 7);
    const auto z = ZCompress(data);
    cl::TMemoryStream src;
    src.Write("head", 4);
    src.Write(z.data(), static_cast<int64_t>(z.size()));
    src.Write("TAIL", 4);
    src.Seek(4, cl::soBeginning);
    TZDecompressionStream d(&src);
    std::vector<uint8_t> out(data.size() + 100);
    EXPECT_EQ(d.Read(out.data(), static_cast<int64_t>(out.size())), static_cast<int64_t>(data.size()));
    out.resize(data.size());
    EXPECT_EQ(out, data);
    EXPECT_EQ(d.GetPosition(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(d.Read(out.data(), 10), 0);
    char tail[4];
    ASSERT_EQ(src.Read(tail, 4), 4);
    EXPECT_EQ(std::memcmp(tail, "TAIL", 4), 0);
}

TEST(IEZlib, TwoBlocksInOneStreamReadBackOneAfterTheOther) {
    const auto a = Pattern(70000, 2), b = Pattern(333, 3);
    cl::TMemoryStream s;
    {
        TZCompressionStream z(&s, zlevFastest);
        z.Write(a.data(), static_cast<int64_t>(a.size()));
    }
    {
        TZCompressionStream z(&s, zlevBest);
        z.Write(b.data(), static_cast<int64_t>(b.size()));
    }
    s.Seek(0, cl::soBeginning);
    std::vector<uint8_t> ra(a.size()), rb(b.size());
    {
        TZDecompressionStream d(&s);
        d.ReadBuffer(ra.data(), static_cast<int64_t>(ra.size()));
        uint8_t extra;
        EXPECT_EQ(d.Read(&extra, 1), 0);
    }
    {
        TZDecompressionStream d(&s);
        d.ReadBuffer(rb.data(), static_cast<int64_t>(rb.size()));
    }
    EXPECT_EQ(ra, a);
    EXPECT_EQ(rb, b);
    EXPECT_EQ(s.GetPosition(), s.GetSize());
}

TEST(IEZlib, StreamsPutTheUnderlyingStreamBackWhenTheCallerMovedIt) {
    const auto data = Pattern(300000, 4);
    cl::TMemoryStream s;
    {
        TZCompressionStream z(&s, zlevStore);  // stored data fills the buffer quickly
        z.Write(data.data(), 100000);
        s.Seek(0, cl::soBeginning);  // the caller looks elsewhere
        z.Write(data.data() + 100000, 200000);
        s.Seek(3, cl::soBeginning);
    }
    const auto bytes = StreamBytes(s);
    EXPECT_EQ(ZUncompress(bytes.data(), bytes.size(), data.size()), data);

    s.Seek(0, cl::soBeginning);
    TZDecompressionStream d(&s);
    std::vector<uint8_t> out(data.size());
    d.ReadBuffer(out.data(), 1000);
    s.Seek(0, cl::soEnd);
    d.ReadBuffer(out.data() + 1000, static_cast<int64_t>(data.size() - 1000));
    EXPECT_EQ(out, data);
}

TEST(IEZlib, DecompressionSeeks) {
    const auto data = Pattern(50000, 5);
    const auto z = ZCompress(data);
    cl::TMemoryStream src;
    src.Write("xyz", 3);
    src.Write(z.data(), static_cast<int64_t>(z.size()));
    src.Seek(3, cl::soBeginning);
    TZDecompressionStream d(&src);
    uint8_t b = 0;
    // Forward by 20,000 from the current position: two chunks of 8192 and 3616 bytes.
    EXPECT_EQ(d.Seek(20000, cl::soCurrent), 20000);
    ASSERT_EQ(d.Read(&b, 1), 1);
    EXPECT_EQ(b, data[20000]);
    EXPECT_EQ(d.Seek(30000, cl::soBeginning), 30000);
    ASSERT_EQ(d.Read(&b, 1), 1);
    EXPECT_EQ(b, data[30000]);
    // The current position again is a no-op; backwards and from the end raise.
    EXPECT_EQ(d.Seek(30001, cl::soBeginning), 30001);
    EXPECT_EQ(d.Seek(0, cl::soCurrent), 30001);
    EXPECT_THROW(d.Seek(100, cl::soBeginning), EZDecompressionError);
    EXPECT_THROW(d.Seek(-1, cl::soCurrent), EZDecompressionError);
    EXPECT_THROW(d.Seek(-5, cl::soEnd), EZDecompressionError);
    // A restart goes back to where the data began (after "xyz"), not to byte 0.
    EXPECT_EQ(d.Seek(0, cl::soBeginning), 0);
    std::vector<uint8_t> again(data.size());
    d.ReadBuffer(again.data(), static_cast<int64_t>(again.size()));
    EXPECT_EQ(again, data);
    EXPECT_EQ(d.Seek(0, cl::soBeginning), 0);
    EXPECT_EQ(d.Seek(0, cl::soEnd), static_cast<int64_t>(data.size()));
    // Past the end: the skip reads short and raises the stream's read error.
    d.Seek(0, cl::soBeginning);
    EXPECT_THROW(d.Seek(60000, cl::soBeginning), cl::EReadError);
}

TEST(IEZlib, DamagedDataRaisesAndEnds) {
    const auto data = Pattern(20000, 6);
    auto z = ZCompress(data);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;  // null: a short read, no exception
    };
    auto corrupt = z;
    corrupt[0] = 0x79;  // bad header check
    auto body = z;
    for (size_t i = 10; i < 40 && i < body.size(); ++i) body[i] ^= 0x5A;
    auto checksum = z;
    checksum.back() ^= 1;
    // A header asking for a preset dictionary (FDICT set, check bits fixed up).
    std::vector<uint8_t> dict = {0x78, 0x20, 0, 0, 0, 0, 0, 0};
    dict[1] = static_cast<uint8_t>(dict[1] + (31 - ((dict[0] * 256 + dict[1]) % 31)) % 31);
    const std::vector<Case> cases = {
        {"header", corrupt, "data error"},
        {"body", body, "data error"},
        {"checksum", checksum, "data error"},
        {"dictionary", dict, "need dictionary"},
        {"cut", std::vector<uint8_t>(z.begin(), z.begin() + z.size() / 2), nullptr},
        {"empty", {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cl::TMemoryStream src;
        if (!c.bytes.empty()) src.Write(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
        src.Seek(0, cl::soBeginning);
        TZDecompressionStream d(&src);
        std::vector<uint8_t> out(data.size());
        if (c.message) {
            try {
                d.Read(out.data(), static_cast<int64_t>(out.size()));
                ADD_FAILURE() << "no exception";
            } catch (const EZDecompressionError& e) {
                EXPECT_STREQ(e.what(), c.message);
            }
        } else {
            EXPECT_LT(d.Read(out.data(), static_cast<int64_t>(out.size())), static_cast<int64_t>(data.size()));
        }
        // The one-shot routine fails on every one of them and hands back nothing.
        std::vector<uint8_t> buf{1, 2, 3};
        int64_t size = 7;
        EXPECT_THROW(IEZDecompressBuffer(c.bytes.data(), static_cast<int64_t>(c.bytes.size()), buf, size, 0),
                     EZDecompressionError);
        EXPECT_TRUE(buf.empty());
        EXPECT_EQ(size, 0);
    }
}

TEST(IEZlib, OneShotGrowsPastAPoorEstimateAndHonoursItsLimit) {
    const auto data = Pattern(500000, 8);
    const auto z = ZCompress(data);
    for (int64_t estimate :
         {int64_t{0}, int64_t{1}, int64_t{1000}, static_cast<int64_t>(data.size()), int64_t{4000000}}) {
        SCOPED_TRACE(estimate);
        std::vector<uint8_t> out;
        int64_t size = -1;
        IEZDecompressBuffer(z.data(), static_cast<int64_t>(z.size()), out, size, estimate);
        EXPECT_EQ(size, static_cast<int64_t>(data.size()));
        EXPECT_EQ(out, data);
    }
    // A zlib bomb: 64 MB of zeros in a few KB stops at the caller's limit.
    std::vector<uint8_t> zeros(64 << 20);
    const auto bomb = ZCompress(zeros);
    std::vector<uint8_t> out;
    int64_t size = 0;
    try {
        IEZDecompressBuffer(bomb.data(), static_cast<int64_t>(bomb.size()), out, size, 0, 1 << 20);
        ADD_FAILURE() << "no exception";
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "insufficient memory");
    }
    EXPECT_TRUE(out.empty());
    IEZDecompressBuffer(bomb.data(), static_cast<int64_t>(bomb.size()), out, size, 0, 64 << 20);
    EXPECT_EQ(size, 64 << 20);
}

TEST(IEZlib, ProgressAfterEveryBlock) {
    const auto data = Pattern(300000, 9);
    cl::TMemoryStream s;
    int calls = 0;
    {
        TZCompressionStream z(&s, zlevStore);
        z.OnProgress = [&](cl::TObject* Sender) {
            EXPECT_EQ(Sender, &z);
            ++calls;
        };
        z.Write(data.data(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(calls, 4);  // 300,000 stored bytes fill four 64 KB blocks
    }
    s.Seek(0, cl::soBeginning);
    TZDecompressionStream d(&s);
    calls = 0;
    d.OnProgress = [&](cl::TObject*) { ++calls; };
    std::vector<uint8_t> out(data.size());
    d.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
    EXPECT_EQ(calls, 5);  // 300,000 + framing bytes read in five blocks
}

TEST(IEZlib, FailedDestinationRaisesFromFinishOnly) {
    // A stream that takes nothing.
    class Full : public cl::TStream {
    public:
        int64_t Read(void*, int64_t) override { return 0; }
        int64_t Write(const void*, int64_t) override { return 0; }
        int64_t Seek(int64_t, cl::TSeekOrigin) override { return 0; }
    } full;
    const auto data = Pattern(1000);
    {
        TZCompressionStream z(&full, zlevDefault);
        z.Write(data.data(), 1000);
        EXPECT_THROW(z.Finish(), cl::EWriteError);
    }
    {
        TZCompressionStream z(&full, zlevDefault);
        z.Write(data.data(), 1000);
    }  // the destructor swallows the same failure
    EXPECT_STREQ(IEZErrorText(-3), "data error");
    EXPECT_STREQ(IEZErrorText(2), "need dictionary");
    EXPECT_STREQ(IEZErrorText(-9), "");
}

}  // namespace
}  // namespace ie
