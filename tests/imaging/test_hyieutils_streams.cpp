// The imaging core's streams and stream helpers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../common/private_dir.h"
#include "imaging/core/hyieutils_streams.h"
#include "platform/codepage.h"
#include "platform/kernel.h"

namespace ie {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// A memory stream that counts the calls that reach it and may claim a size larger than
// the bytes it really holds (a file that shrank under its reader).
class CountingStream : public cl::TStream {
public:
    explicit CountingStream(std::vector<uint8_t> data, int64_t claimedSize = -1)
        : data_(std::move(data)), claimed_(claimedSize < 0 ? static_cast<int64_t>(data_.size()) : claimedSize) {}
    int64_t Read(void* buffer, int64_t count) override {
        ++reads;
        const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, static_cast<int64_t>(data_.size()) - pos_));
        if (n > 0) std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, cl::TSeekOrigin origin) override {
        ++seeks;
        const int64_t base = origin == cl::soCurrent ? pos_ : origin == cl::soEnd ? claimed_ : 0;
        pos_ = std::max<int64_t>(0, base + offset);
        return pos_;
    }
    int64_t GetSize() override { return claimed_; }
    int reads = 0, seeks = 0;

private:
    std::vector<uint8_t> data_;
    int64_t claimed_;
    int64_t pos_ = 0;
};

// ---------------------------------------------------------------------------------------
// TNulStream

TEST(NulStream, CountsWithoutStoringAndSeeksByTheOneRule) {
    TNulStream s;
    uint8_t buf[16];
    std::memset(buf, 0x5A, sizeof buf);
    EXPECT_EQ(s.Write(buf, 10), 10);
    EXPECT_EQ(s.Write(buf, 5), 5);
    EXPECT_EQ(s.Seek(3, cl::soBeginning), 3);
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_EQ(s.GetSize(), 15);
    EXPECT_EQ(s.Seek(0, cl::soEnd), 15);
    EXPECT_EQ(s.Seek(-5, cl::soEnd), 10);  // from the end: size + offset
    EXPECT_EQ(s.Seek(-4, cl::soCurrent), 6);
    EXPECT_EQ(s.Read(buf, 4), 4);  // moves, reads nothing into the buffer
    EXPECT_EQ(buf[0], 0x5A);
    EXPECT_EQ(s.GetPosition(), 10);
    EXPECT_EQ(s.Seek(-100, cl::soCurrent), 0);
    EXPECT_EQ(s.Seek(40, cl::soBeginning), 40);  // beyond the size raises it
    EXPECT_EQ(s.GetSize(), 40);
    EXPECT_EQ(s.Seek(7, static_cast<cl::TSeekOrigin>(9)), 40);
    EXPECT_EQ(s.Write(buf, -3), 0);
    EXPECT_EQ(s.GetSize(), 40);
    s.WriteBuffer(buf, 16);  // never short
    EXPECT_EQ(s.GetSize(), 56);
}

// ---------------------------------------------------------------------------------------
// TIEMemStream

TEST(IEMemStream, ReadsTheCallersMemoryAndRefusesWrites) {
    std::vector<uint8_t> mem = Pattern(64);
    const std::vector<uint8_t> original = mem;
    {
        TIEMemStream s(mem.data(), 64);
        EXPECT_EQ(s.GetSize(), 64);
        uint8_t buf[80];
        EXPECT_EQ(s.Read(buf, 80), 64);
        EXPECT_EQ(std::memcmp(buf, mem.data(), 64), 0);
        EXPECT_EQ(s.Seek(-10, cl::soEnd), 54);
        EXPECT_EQ(s.Write(buf, 4), 0);
        EXPECT_THROW(s.WriteBuffer(buf, 4), cl::EWriteError);
        s.SetSize(10);
        EXPECT_EQ(s.GetSize(), 64);
        EXPECT_EQ(s.GetMemory(), mem.data());  // not copied
    }
    EXPECT_EQ(mem, original);  // neither written nor freed
    TIEMemStream empty(nullptr, 100);
    EXPECT_EQ(empty.GetSize(), 0);
}

// ---------------------------------------------------------------------------------------
// TIEBufferedReadStream

// What the wrapper must answer, computed plainly from the source's bytes.
struct BufferedModel {
    int64_t base, size, pos;
    bool pastEnd = false;
    int64_t Read(int64_t count) {
        pastEnd = false;
        const int64_t left = std::max<int64_t>(0, size - pos);
        if (count > left) {
            pastEnd = true;
            count = left;
        }
        if (count < 1) return 0;
        pos += count;
        return count;
    }
    int64_t Seek(int64_t offset, cl::TSeekOrigin origin) {
        pastEnd = false;
        int64_t p = origin == cl::soBeginning ? base + offset : origin == cl::soCurrent ? pos + offset : size + offset;
        if (p < base) p = base;
        if (p >= size) {
            p = std::max(size, base);
            pastEnd = true;
        }
        pos = p;
        return pos - base;
    }
};

TEST(IEBufferedReadStream, AnswersAsAPlainReadOfItsSourceForAnyMixOfReadsAndSeeks) {
    const std::vector<uint8_t> data = Pattern(5000, 7);
    struct Case {
        int32_t buffer;
        bool relative;
        int64_t start;
    };
    const Case cases[] = {{1, false, 0},      {3, false, 17},      {7, true, 100}, {64, true, 0},
                          {8192, true, 4000}, {1024, false, 4999}, {0, true, 5},   {-4, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "buffer " << c.buffer << " relative " << c.relative << " start " << c.start);
        CountingStream src(data);
        src.SetPosition(c.start);
        TIEBufferedReadStream s(&src, c.buffer, c.relative);
        BufferedModel m{c.relative ? c.start : 0, static_cast<int64_t>(data.size()), c.start};
        EXPECT_EQ(s.GetPosition(), m.pos - m.base);
        EXPECT_EQ(s.GetSize(), m.size - m.base);
        std::mt19937 rng(c.buffer * 31 + c.start);
        std::vector<uint8_t> got(3000);
        for (int step = 0; step < 3000; ++step) {
            const int kind = static_cast<int>(rng() % 10);
            if (kind < 6) {
                const int64_t count = kind == 0 ? 1 : kind == 5 ? static_cast<int64_t>(rng() % 3000) : rng() % 40;
                const int64_t from = m.pos;
                const int64_t expected = m.Read(count);
                ASSERT_EQ(s.Read(got.data(), count), expected) << "step " << step;
                ASSERT_EQ(s.ReadPastEnd, m.pastEnd) << "step " << step;
                ASSERT_EQ(std::memcmp(got.data(), data.data() + from, static_cast<size_t>(expected)), 0)
                    << "step " << step;
            } else {
                const auto origin = static_cast<cl::TSeekOrigin>(rng() % 3);
                int64_t offset = static_cast<int64_t>(rng() % 12000) - 6000;
                if (origin == cl::soCurrent) offset /= 40;
                if (origin == cl::soEnd) offset = -std::abs(offset);
                const int64_t expected = m.Seek(offset, origin);
                ASSERT_EQ(s.Seek(offset, origin), expected) << "step " << step;
                ASSERT_EQ(s.ReadPastEnd, m.pastEnd) << "step " << step;
            }
        }
    }
}

TEST(IEBufferedReadStream, RelativePositionsCountFromTheSourcesPosition) {
    const std::vector<uint8_t> data = Pattern(1000);
    CountingStream src(data);
    src.SetPosition(100);
    TIEBufferedReadStream s(&src, 8192, true);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(s.GetSize(), 900);
    std::vector<uint8_t> buf(1000);
    s.Seek(850, cl::soBeginning);
    EXPECT_FALSE(s.ReadPastEnd);
    EXPECT_EQ(s.Read(buf.data(), 100), 50);
    EXPECT_TRUE(s.ReadPastEnd);
    EXPECT_EQ(std::memcmp(buf.data(), data.data() + 950, 50), 0);
    EXPECT_EQ(s.Seek(0, cl::soEnd), 900);
    EXPECT_TRUE(s.ReadPastEnd);
    EXPECT_EQ(s.Seek(-1000, cl::soCurrent), 0);  // never before the relative start
    EXPECT_EQ(s.Read(buf.data(), 1), 1);
    EXPECT_EQ(buf[0], data[100]);

    // A source left beyond its end: nothing to read, and no negative size.
    src.SetPosition(1500);
    TIEBufferedReadStream beyond(&src, 64, true);
    EXPECT_EQ(beyond.GetSize(), 0);
    EXPECT_EQ(beyond.GetPosition(), 0);
    EXPECT_EQ(beyond.Read(buf.data(), 10), 0);
    EXPECT_TRUE(beyond.ReadPastEnd);
}

TEST(IEBufferedReadStream, ServesBytesAndNearSeeksFromItsBuffer) {
    const std::vector<uint8_t> data = Pattern(8192, 3);
    CountingStream src(data);
    {
        TIEBufferedReadStream s(&src, 1024);
        EXPECT_EQ(src.reads, 1);  // the first fill
        uint8_t b = 0;
        for (size_t i = 0; i < data.size(); ++i) {
            ASSERT_EQ(s.Read(&b, 1), 1);
            ASSERT_EQ(b, data[i]);
        }
        EXPECT_EQ(src.reads, 8);  // one read of the source per kilobyte
        s.Seek(8000, cl::soBeginning);
        const int reads = src.reads, seeks = src.seeks;
        s.Seek(-500, cl::soCurrent);
        s.Seek(7500, cl::soBeginning);
        s.Read(&b, 1);
        EXPECT_EQ(b, data[7500]);
        EXPECT_EQ(src.reads, reads);  // inside the buffer: the source is not touched
        EXPECT_EQ(src.seeks, seeks);
        EXPECT_THROW(s.Write(&b, 1), cl::Exception);
        try {
            s.WriteBuffer(&b, 1);
        } catch (const cl::Exception& e) {
            EXPECT_EQ(e.Message, "TIEBufferedReadStream cannot write!");
        }
    }
    uint8_t b;
    src.SetPosition(0);
    EXPECT_EQ(src.Read(&b, 1), 1);  // the source outlives its wrapper
    EXPECT_EQ(b, data[0]);
}

TEST(IEBufferedReadStream, ASourceThatEndsEarlyGivesOnlyItsBytes) {
    const std::vector<uint8_t> data = Pattern(50);
    for (int32_t buffer : {1, 16, 4096}) {
        CountingStream src(data, 100);  // claims 100 bytes, holds 50
        TIEBufferedReadStream s(&src, buffer);
        std::vector<uint8_t> got(100, 0xEE);
        EXPECT_EQ(s.Read(got.data(), 100), 50) << buffer;
        EXPECT_TRUE(s.ReadPastEnd);
        EXPECT_EQ(std::memcmp(got.data(), data.data(), 50), 0);
        EXPECT_EQ(got[50], 0xEE);
        uint8_t b = 0;
        EXPECT_EQ(s.Read(&b, 1), 0);
        EXPECT_TRUE(s.ReadPastEnd);
    }
}

// ---------------------------------------------------------------------------------------
// TIEWideFileStream

class WideFileStream : public ::testing::Test {
protected:
    lumetra_test::PrivateDir dir_{"iewide"};
    static void WriteFile(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
};

TEST_F(WideFileStream, CreatesWritesAndReadsBack) {
    ASSERT_TRUE(dir_.Ok());
    const std::string path = dir_ / "Снимок.raw";
    const cl::WideString wide = win::Utf8ToUtf16(path);
    const std::vector<uint8_t> data = Pattern(100000, 9);
    {
        TIEWideFileStream f(wide, cl::fmCreate);
        f.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(f.GetSize(), 100000);
        EXPECT_EQ(f.Seek(-10, cl::soEnd), 99990);
        f.SetSize(60000);
        EXPECT_EQ(f.GetSize(), 60000);
        EXPECT_EQ(f.GetPosition(), 60000);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);  // the UTF-16 name is the file's UTF-8 name
    EXPECT_EQ(st.st_size, 60000);
    TIEWideFileStream r(wide, cl::fmOpenRead | cl::fmShareDenyWrite);
    std::vector<uint8_t> back(70000);
    EXPECT_EQ(r.Read(back.data(), 70000), 60000);
    EXPECT_EQ(std::memcmp(back.data(), data.data(), 60000), 0);
    EXPECT_EQ(r.Seek(-100, cl::soBeginning), 0);
    EXPECT_EQ(r.Write(back.data(), 10), 0);  // opened for reading only
}

TEST_F(WideFileStream, ModesOutsideTheTableFailWithoutOpening) {
    const std::string path = dir_ / "exists.bin";
    WriteFile(path, "abc");
    // Access 3, or sharing above 0x40.
    const uint16_t bad[] = {0x0003, 0x0050, 0x0073, 0x00F0, 0x0052};
    for (uint16_t mode : bad) {
        try {
            TIEWideFileStream f(path, mode);
            ADD_FAILURE() << "mode " << mode << " opened";
        } catch (const cl::EFOpenError& e) {
            EXPECT_EQ(e.Message, "Cannot open file \"" + path + "\". The parameter is incorrect") << mode;
        }
    }
    // Every valid sharing value opens; two readers with read and write sharing at once.
    for (uint16_t share : {0x00, 0x10, 0x20, 0x30, 0x40}) {
        TIEWideFileStream f(path, static_cast<uint16_t>(cl::fmOpenRead | share));
        EXPECT_EQ(f.GetSize(), 3) << share;
    }
    TIEWideFileStream a(path, 0x40), b(path, 0x42);
    char c = 0;
    EXPECT_EQ(a.Read(&c, 1), 1);
    EXPECT_EQ(c, 'a');
    b.Seek(0, cl::soEnd);
    b.WriteBuffer("d", 1);
    EXPECT_EQ(a.GetSize(), 4);
}

TEST_F(WideFileStream, FailuresNameTheExpandedFile) {
    ASSERT_EQ(::mkdir((dir_ / "sub").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((dir_ / "a").c_str(), 0700), 0);
    // A name with "..": the message carries it expanded.
    auto fails = [](auto expected, const std::string& name, uint16_t mode, const std::string& message) {
        try {
            TIEWideFileStream f(name, mode);
            ADD_FAILURE() << name << " opened";
        } catch (const decltype(expected)& e) {
            EXPECT_EQ(e.Message, message);
        }
    };
    fails(cl::EFOpenError(""), dir_.Path().string() + "/sub/../missing.bin", cl::fmOpenRead,
          "Cannot open file \"" + (dir_ / "missing.bin") + "\". The system cannot find the file specified");
    fails(cl::EFCreateError(""), dir_.Path().string() + "/a/../nofolder/new.bin", cl::fmCreate,
          "Cannot create file \"" + (dir_ / "nofolder/new.bin") + "\". The system cannot find the path specified");
    EXPECT_EQ(IEWideFileOpen(win::Utf8ToUtf16(dir_ / "x"), 3), win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);
    const win::HANDLE h = IEWideFileCreate(win::Utf8ToUtf16(dir_ / "made.bin"));
    ASSERT_NE(h, win::INVALID_HANDLE_VALUE);
    win::CloseHandle(h);
    EXPECT_TRUE(cl::FileExists(dir_ / "made.bin"));
}

// ---------------------------------------------------------------------------------------
// Length-prefixed strings, text lines and stream copies

TEST(StrWithLength, RoundTripsWithALittleEndianLength) {
    const std::string cases[] = {"", "a", "Настройка параметров", std::string("\0x\0", 3),
                                 std::string(70000, 'q') + "end"};
    cl::TMemoryStream m;
    for (const std::string& s : cases) IEWriteStrWithLength(&m, s);
    const auto* bytes = static_cast<const uint8_t*>(m.GetMemory());
    EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24, 0);
    EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24, 1);
    EXPECT_EQ(bytes[8], 'a');
    m.SetPosition(0);
    for (const std::string& s : cases) {
        cl::String back = "old";
        IEReadStrWithLength(&m, back);
        EXPECT_EQ(back, s);
    }
    // The same through the read-ahead stream the readers use.
    m.SetPosition(0);
    TIEBufferedReadStream b(&m, 1024);
    for (const std::string& s : cases) {
        cl::String back;
        IEReadStrWithLength(&b, back);
        EXPECT_EQ(back, s);
    }
    TIEMemStream readOnly(bytes, 8);
    EXPECT_THROW(IEWriteStrWithLength(&readOnly, "x"), cl::EWriteError);
}

TEST(StrWithLength, ALengthTheStreamCannotHoldFailsAndKeepsTheString) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"negative", {0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
        {"one beyond", {4, 0, 0, 0, 'a', 'b', 'c'}},
        {"huge", {0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'}},
        {"short prefix", {3, 0}},
        {"nothing", {}},
    };
    for (const Case& c : cases) {
        TIEMemStream s(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
        cl::String kept = "kept";
        EXPECT_THROW(IEReadStrWithLength(&s, kept), cl::EReadError) << c.what;
        EXPECT_EQ(kept, "kept") << c.what;
    }
}

TEST(TextLineCRLF, WritesTheTextAndALineEnd) {
    cl::TStringStream s;
    IEWriteTextLineCRLF(&s, "%!PS-Adobe-3.0");
    IEWriteTextLineCRLF(&s, "");
    EXPECT_EQ(s.GetDataString(), "%!PS-Adobe-3.0\r\n\r\n");
}

TEST(CopyFromStream, CopiesWhatTheSourceHasLeft) {
    const std::vector<uint8_t> data = Pattern(500000, 11);
    struct Case {
        int64_t start, count, copied, from;
    };
    // clang-format off
    const Case cases[] = {
        {123, 0, 500000, 0},         // 0: the whole source from its start
        {1000, 300000, 300000, 1000},  // several passes of the buffer
        {499990, 100, 10, 499990},   // cut to what is left
        {10, -5, 0, 10},
        {500000, 7, 0, 500000},
    };
    // clang-format on
    for (const Case& c : cases) {
        TIEMemStream src(data.data(), static_cast<int64_t>(data.size()));
        src.SetPosition(c.start);
        cl::TMemoryStream dst;
        EXPECT_EQ(IECopyFromStream(&dst, &src, c.count), c.copied) << c.start << " " << c.count;
        ASSERT_EQ(dst.GetSize(), c.copied);
        if (c.copied) {
            EXPECT_EQ(std::memcmp(dst.GetMemory(), data.data() + c.from, static_cast<size_t>(c.copied)), 0);
        }
    }
    TIEMemStream src(data.data(), 100);
    uint8_t target[8];
    TIEMemStream refusing(target, 8);
    EXPECT_THROW(IECopyFromStream(&refusing, &src, 0), cl::EWriteError);
    CountingStream shorter(Pattern(40), 100);
    cl::TMemoryStream dst;
    EXPECT_THROW(IECopyFromStream(&dst, &shorter, 0), cl::EReadError);
}

}  // namespace
}  // namespace ie
