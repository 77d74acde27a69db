#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel.h"

using namespace win;

TEST(MulDiv, RoundsHalvesAwayFromZeroAndReportsOverflow) {
    struct Case {
        int a, b, c, expected;
        // clang-format off
    } cases[] = {
        {10, 3, 4, 8},        // 7.5
        {-10, 3, 4, -8},      // -7.5
        {10, -3, 4, -8},
        {10, 3, -4, -8},
        {-10, -3, -4, -8},
        {-10, -3, 4, 8},
        {7, 1, 2, 4},         // 3.5
        {5, 1, 3, 2},         // 1.67
        {4, 1, 3, 1},         // 1.33
        {-4, 1, 3, -1},
        {1, 1, 3, 0},
        {0, 12345, 7, 0},
        {65536, 300, 65536, 300},
        {INT_MAX, 2, 2, INT_MAX},    // the product needs 64 bits
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        {INT_MIN, 1, 1, INT_MIN},
        {INT_MAX, 2, 1, -1},         // overflow
        {INT_MIN, -1, 1, -1},        // 2^31 does not fit
        {5, 5, 0, -1},               // division by zero
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
    }
}

TEST(Errors, LastErrorIsPerThreadAndErrnoIsMapped) {
    SetLastError(1234);
    DWORD other = 99;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
    struct Case {
        int err;
        DWORD code;
    } cases[] = {
        {ENOENT, 2}, {ENOTDIR, 3},  {EACCES, 5},  {EPERM, 5},    {EBADF, 6},   {ENOMEM, 8},
        {EBUSY, 32}, {ETXTBSY, 32}, {EEXIST, 80}, {ENOSPC, 112}, {EINVAL, 87},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorFromErrno(c.err), c.code) << c.err;
    }
    EXPECT_EQ(ErrnoFromError(ERROR_ALREADY_EXISTS), EEXIST);
    EXPECT_EQ(ErrnoFromError(ERROR_FILE_NOT_FOUND), ENOENT);
}

TEST(Version, IsSixPointOneBuild7600) {
    OSVERSIONINFOA info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 7600u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_STREQ(info.szCSDVersion, "");
    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST(Cpuid, TheHookReplacesTheProcessorsAnswers) {
    // clang-format off
    std::map<uint32_t, CpuidRegs> leaves = {
        {0, {1, 0x756E6547, 0x6C65746E, 0x49656E69}},  // "GenuineIntel"
        {1, {0x633, 0, 0, (1u << 23) | (1u << 25)}},    // MMX and SSE, no SSE2
        {0x80000000, {0x80000001, 0, 0, 0}},
        {0x80000001, {0, 0, 0, 1u << 31}},
    };
    // clang-format on
    SetCpuidHook([&](uint32_t leaf, uint32_t) {
        auto it = leaves.find(leaf);
        return it == leaves.end() ? CpuidRegs{} : it->second;
    });
    CpuidRegs v = Cpuid(0);
    char vendor[13] = {};
    std::memcpy(vendor, &v.ebx, 4);
    std::memcpy(vendor + 4, &v.edx, 4);
    std::memcpy(vendor + 8, &v.ecx, 4);
    EXPECT_STREQ(vendor, "GenuineIntel");
    EXPECT_TRUE(Cpuid(1).edx & (1u << 25));
    EXPECT_FALSE(Cpuid(1).edx & (1u << 26));
    EXPECT_EQ(Cpuid(0x80000001).edx, 1u << 31);
    EXPECT_EQ(Cpuid(7), CpuidRegs{});
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    EXPECT_EQ(si.wProcessorLevel, 6);  // family from the hooked signature

    SetCpuidHook(nullptr);
    EXPECT_TRUE(CpuidPresent());
    EXPECT_GE(Cpuid(0).eax, 1u);
    EXPECT_TRUE(Cpuid(1).edx & (1u << 26));  // every x86-64 processor has SSE2
}

TEST(Processors, CountAndCoreRecords) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    EXPECT_EQ(si.dwNumberOfProcessors, static_cast<DWORD>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN))));
    EXPECT_EQ(si.dwPageSize, static_cast<DWORD>(sysconf(_SC_PAGESIZE)));

    char tmpl[] = "/tmp/lumetra-cpu-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string root = tmpl;
    auto addCpu = [&](const std::string& name, long package, long core) {
        std::string dir = root + "/" + name;
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((dir + "/topology").c_str(), 0755), 0);
        std::ofstream(dir + "/topology/physical_package_id") << package << "\n";
        std::ofstream(dir + "/topology/core_id") << core << "\n";
    };
    addCpu("cpu0", 0, 0);
    addCpu("cpu1", 0, 0);  // second thread of core 0
    addCpu("cpu2", 0, 1);
    addCpu("cpu3", 1, 0);
    ASSERT_EQ(mkdir((root + "/cpufreq").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/cpu9").c_str(), 0755), 0);  // no topology: ignored
    SetProcessorTopologyRootForTesting(root);

    DWORD length = 0;
    SetLastError(0);
    EXPECT_FALSE(GetLogicalProcessorInformation(nullptr, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_EQ(length, 3 * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION records[3];
    ASSERT_TRUE(GetLogicalProcessorInformation(records, &length));
    EXPECT_EQ(records[0].ProcessorMask, 0b0011u);
    EXPECT_EQ(records[1].ProcessorMask, 0b0100u);
    EXPECT_EQ(records[2].ProcessorMask, 0b1000u);
    for (const auto& r : records) EXPECT_EQ(r.Relationship, RelationProcessorCore);

    SetProcessorTopologyRootForTesting(root + "/cpufreq");  // nothing there: one per processor
    length = 0;
    GetLogicalProcessorInformation(nullptr, &length);
    EXPECT_EQ(length, si.dwNumberOfProcessors * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));

    SetProcessorTopologyRootForTesting("");
    length = 0;
    GetLogicalProcessorInformation(nullptr, &length);
    EXPECT_GE(length, sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    std::string cmd = "rm -rf '" + root + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

TEST(GlobalMemory, MoveableAndFixedBlocks) {
    HGLOBAL m = GlobalAlloc(GHND, 100);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GlobalSize(m), 100u);
    auto* p = static_cast<unsigned char*>(GlobalLock(m));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(static_cast<void*>(p), m);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[99], 0);
    p[99] = 7;
    EXPECT_EQ(GlobalLock(m), p);
    EXPECT_TRUE(GlobalUnlock(m));
    SetLastError(99);
    EXPECT_FALSE(GlobalUnlock(m));
    EXPECT_EQ(GetLastError(), NO_ERROR);
    EXPECT_FALSE(GlobalUnlock(m));
    EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
    EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(m))[99], 7);
    GlobalUnlock(m);

    HGLOBAL f = GlobalAlloc(GPTR, 16);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(GlobalLock(f), f);
    static_cast<char*>(f)[15] = 1;
    EXPECT_EQ(GlobalSize(f), 16u);

    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);

    for (HGLOBAL h : {m, f, empty}) {
        EXPECT_EQ(GlobalFree(h), nullptr);
        EXPECT_EQ(GlobalFree(h), h);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(GlobalSize(h), 0u);
        EXPECT_EQ(GlobalLock(h), nullptr);
    }
}

TEST(GlobalMemory, StatusFromTheSystemOrTheHook) {
    MEMORYSTATUSEX ex;
    ASSERT_TRUE(GlobalMemoryStatusEx(&ex));
    EXPECT_GT(ex.ullTotalPhys, 0u);
    EXPECT_LE(ex.ullAvailPhys, ex.ullTotalPhys);

    SetMemoryStatusForTesting(8ull << 30, 3ull << 30);
    ASSERT_TRUE(GlobalMemoryStatusEx(&ex));
    EXPECT_EQ(ex.ullTotalPhys, 8ull << 30);
    EXPECT_EQ(ex.ullAvailPhys, 3ull << 30);
    EXPECT_EQ(ex.dwMemoryLoad, 62u);
    MEMORYSTATUS small;
    GlobalMemoryStatus(&small);
    EXPECT_EQ(small.dwTotalPhys, 0xFFFFFFFFu);
    EXPECT_EQ(small.dwAvailPhys, 3u << 30);
    SetMemoryStatusForTesting(0, 0);

    ex.dwLength = 32;
    SetLastError(0);
    EXPECT_FALSE(GlobalMemoryStatusEx(&ex));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

#include "platform/exit_cleanup.h"

namespace {

TEST(ExitCleanup, RunsLastRegisteredFirstOnceAndForgetsRemovedWork) {
    std::vector<int> ran;
    win::AddExitCleanup([&] { ran.push_back(1); });
    auto removed = win::AddExitCleanup([&] { ran.push_back(2); });
    win::AddExitCleanup([&] {
        ran.push_back(3);
        throw 7;
    });
    win::AddExitCleanup([&] { ran.push_back(4); });
    win::RemoveExitCleanup(removed);
    win::RemoveExitCleanup(9999);
    win::RunExitCleanups();
    EXPECT_EQ(ran, (std::vector<int>{4, 3, 1}));
    win::RunExitCleanups();
    EXPECT_EQ(ran.size(), 3u);
}

TEST(ExitCleanup, RunsAtNormalExit) {
    char dir[] = "/tmp/lumetra-exit-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    const std::string marker = std::string(dir) + "/ran";
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        win::AddExitCleanup([marker] {
            std::FILE* f = std::fopen(marker.c_str(), "w");
            if (f) std::fclose(f);
        });
        std::exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(::access(marker.c_str(), F_OK), 0);
    ::unlink(marker.c_str());
    ::rmdir(dir);
}

}  // namespace
