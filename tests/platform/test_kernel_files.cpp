#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel.h"

using namespace win;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lumetra-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    HANDLE Open(const std::string& path, DWORD disposition, DWORD access = GENERIC_READ | GENERIC_WRITE,
                DWORD flags = FILE_ATTRIBUTE_NORMAL) {
        return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
    }
    void Put(const std::string& path, const std::string& bytes) {
        HANDLE h = Open(path, CREATE_ALWAYS);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
        ASSERT_EQ(done, bytes.size());
        ASSERT_TRUE(CloseHandle(h));
    }
    int64_t Size(HANDLE h) {
        LARGE_INTEGER size{};
        EXPECT_TRUE(GetFileSizeEx(h, &size));
        return size.QuadPart;
    }
    std::string dir_;
};

LARGE_INTEGER Li(int64_t v) {
    LARGE_INTEGER li;
    li.QuadPart = v;
    return li;
}

}  // namespace

TEST_F(Files, ReadsAreShortAtTheEnd) {
    Put(Path("a"), "0123456789");
    HANDLE h = Open(Path("a"), OPEN_EXISTING, GENERIC_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[100];
    DWORD got = 99;
    // A read at an offset leaves the file position where it was.
    ASSERT_TRUE(ReadFileAt(h, 2, buf, 3, &got));
    EXPECT_EQ(std::string(buf, got), "234");
    ASSERT_TRUE(ReadFile(h, buf, 4, &got, nullptr));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, got), "0123");
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &got, nullptr));
    EXPECT_EQ(got, 6u);
    EXPECT_EQ(std::string(buf, got), "456789");
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(ReadFileAt(h, 8, buf, sizeof(buf), &got));
    EXPECT_EQ(std::string(buf, got), "89");
    EXPECT_TRUE(ReadFileAt(h, 50, buf, sizeof(buf), &got));
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(ReadFileAt(h, -1, buf, 1, &got));
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(Files, DispositionsAndTheirErrors) {
    struct Case {
        DWORD disposition;
        bool existsBefore;
        bool opens;
        DWORD error;
        int64_t sizeAfter;  // -1: does not matter
    } cases[] = {
        {CREATE_NEW, false, true, ERROR_SUCCESS, 0},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, -1},
        {CREATE_ALWAYS, false, true, ERROR_SUCCESS, 0},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, -1},
        {OPEN_EXISTING, true, true, ERROR_SUCCESS, 3},
        {OPEN_ALWAYS, false, true, ERROR_SUCCESS, 0},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 3},
        {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, 0},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, -1},
        {77, true, false, ERROR_INVALID_PARAMETER, -1},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = Path("d" + std::to_string(n++));
        if (c.existsBefore) Put(path, "abc");
        SetLastError(12345);
        HANDLE h = Open(path, c.disposition);
        EXPECT_EQ(GetLastError(), c.error) << "case " << n;
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << "case " << n;
        if (h != INVALID_HANDLE_VALUE) {
            if (c.sizeAfter >= 0) {
                EXPECT_EQ(Size(h), c.sizeAfter) << "case " << n;
            }
            CloseHandle(h);
        }
    }
    SetLastError(0);
    EXPECT_EQ(Open(Path("no/such/dir/file"), CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(dir_, OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(Files, PositionedReadsFromTwoThreadsShareNoPosition) {
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    Put(Path("big"), data);
    HANDLE h = Open(Path("big"), OPEN_EXISTING, GENERIC_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::atomic<int> mismatches{0};
    auto reader = [&](int seed) {
        std::vector<char> buf(4096);
        uint32_t x = static_cast<uint32_t>(seed);
        for (int i = 0; i < 500; ++i) {
            x = x * 1664525u + 1013904223u;
            int64_t offset = x % (data.size() - 100);
            DWORD got = 0;
            if (!ReadFileAt(h, offset, buf.data(), static_cast<DWORD>(buf.size()), &got) ||
                got != std::min<size_t>(buf.size(), data.size() - offset) ||
                std::memcmp(buf.data(), data.data() + offset, got) != 0) {
                ++mismatches;
            }
        }
    };
    std::thread a(reader, 1), b(reader, 2);
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
    // The ordinary position did not move.
    char head[4];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h, head, 4, &got, nullptr));
    EXPECT_EQ(std::string(head, 4), data.substr(0, 4));
    CloseHandle(h);
}

TEST_F(Files, SeekingPastTheEndAndSettingTheEnd) {
    HANDLE h = Open(Path("s"), CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER pos{};
    ASSERT_TRUE(SetFilePointerEx(h, Li(10), &pos, FILE_BEGIN));
    EXPECT_EQ(pos.QuadPart, 10);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(Size(h), 10);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "xy", 2, &done, nullptr));
    EXPECT_EQ(Size(h), 12);
    ASSERT_TRUE(SetFilePointerEx(h, Li(-4), &pos, FILE_END));
    EXPECT_EQ(pos.QuadPart, 8);
    ASSERT_TRUE(SetFilePointerEx(h, Li(1), &pos, FILE_CURRENT));
    EXPECT_EQ(pos.QuadPart, 9);
    char buf[8];
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &done, nullptr));
    EXPECT_EQ(std::string(buf, done), std::string("\0xy", 3));
    ASSERT_TRUE(SetFilePointerEx(h, Li(5), nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(Size(h), 5);
    SetLastError(0);
    EXPECT_FALSE(SetFilePointerEx(h, Li(-6), &pos, FILE_CURRENT));
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_FALSE(SetFilePointerEx(h, Li(0), &pos, 3));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(h);
}

TEST_F(Files, DeleteOnCloseAndDeletingOpenFiles) {
    std::string path = Path("t.tmp");
    HANDLE h =
        Open(path, CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CloseHandle(h));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);

    Put(Path("open"), "still here");
    HANDLE r = Open(Path("open"), OPEN_EXISTING, GENERIC_READ);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileA(Path("open").c_str()));
    char buf[32];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(r, buf, sizeof(buf), &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "still here");
    EXPECT_TRUE(CloseHandle(r));
}

TEST_F(Files, AttributesDeletionAndDirectories) {
    Put(Path("f"), "x");
    EXPECT_EQ(GetFileAttributesA(Path("f").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(dir_.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(Path("none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_FALSE(DeleteFileA(Path("none").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(dir_.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA(Path("f").c_str()));

    EXPECT_TRUE(CreateDirectoryA(Path("sub").c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesA(Path("sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryA(Path("sub").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(Path("none/sub").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, StaleHandlesFailHarmlessly) {
    HANDLE h = Open(Path("x"), CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    char buf[4];
    DWORD got = 7;
    EXPECT_FALSE(ReadFile(h, buf, 4, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, buf, 4, &got, nullptr));
    EXPECT_FALSE(ReadFileAt(nullptr, 0, buf, 4, &got));
    LARGE_INTEGER size;
    EXPECT_FALSE(GetFileSizeEx(h, &size));
}

TEST_F(Files, AFullDiskFailsTheWrite) {
    HANDLE h = CreateFileA("/dev/full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(h, "data", 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    CloseHandle(h);
}

TEST_F(Files, TempPathRules) {
    const char* saved = std::getenv("TMPDIR");
    std::string savedValue = saved ? saved : "";
    struct Case {
        const char* tmpdir;  // null: unset
        std::string expected;
    } cases[] = {
        {nullptr, "/tmp/"},
        {"", "/tmp/"},
        {"/no/such/directory", "/tmp/"},
    };
    for (const Case& c : cases) {
        if (c.tmpdir) {
            setenv("TMPDIR", c.tmpdir, 1);
        } else {
            unsetenv("TMPDIR");
        }
        char buf[300];
        DWORD n = GetTempPathA(sizeof(buf), buf);
        EXPECT_EQ(std::string(buf, n), c.expected) << (c.tmpdir ? c.tmpdir : "(unset)");
    }
    setenv("TMPDIR", dir_.c_str(), 1);
    std::string expected = dir_ + "/";
    char buf[300];
    EXPECT_EQ(GetTempPathA(sizeof(buf), buf), expected.size());
    EXPECT_EQ(std::string(buf), expected);
    setenv("TMPDIR", expected.c_str(), 1);
    EXPECT_EQ(GetTempPathA(sizeof(buf), buf), expected.size());
    EXPECT_EQ(std::string(buf), expected);

    // Too small: the size needed including the terminator, and nothing written.
    std::memset(buf, 'z', sizeof(buf));
    EXPECT_EQ(GetTempPathA(static_cast<DWORD>(expected.size()), buf), expected.size() + 1);
    EXPECT_EQ(buf[0], 'z');
    EXPECT_EQ(GetTempPathA(static_cast<DWORD>(expected.size() + 1), buf), expected.size());
    EXPECT_EQ(std::string(buf), expected);

    if (saved) {
        setenv("TMPDIR", savedValue.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

TEST_F(Files, TempFileNames) {
    char a[MAX_PATH], b[MAX_PATH];
    UINT na = GetTempFileNameA(dir_.c_str(), "imgx", 0, a);
    UINT nb = GetTempFileNameA((dir_ + "/").c_str(), "img", 0, b);
    ASSERT_NE(na, 0u);
    ASSERT_NE(nb, 0u);
    EXPECT_NE(std::string(a), std::string(b));
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%X", na);
    EXPECT_EQ(std::string(a), dir_ + "/img" + hex + ".tmp");
    HANDLE h = Open(a, OPEN_EXISTING, GENERIC_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Size(h), 0);
    CloseHandle(h);

    EXPECT_EQ(GetTempFileNameA(dir_.c_str(), "pre", 0x1234, a), 0x1234u);
    EXPECT_EQ(std::string(a), dir_ + "/pre1234.tmp");
    EXPECT_EQ(GetFileAttributesA(a), INVALID_FILE_ATTRIBUTES);  // only named

    EXPECT_EQ(GetTempFileNameA(Path("missing").c_str(), "x", 0, a), 0u);
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
}
