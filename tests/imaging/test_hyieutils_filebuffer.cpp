// Temporary-file storage: mapped ranges, the file's name, its private folder, and its
// removal at every kind of exit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"
#include "temp_file_probes.h"
#include "platform/kernel.h"
#include "platform/signals.h"

namespace ie {
namespace {

using test::AllTempFiles;
using test::UnnamedTempFiles;

class FileBuffer : public test::ImagingTest {};

TEST_F(FileBuffer, WriteOnlyMapsAreNotReadAndAreWrittenBack) {
    TIEFileBuffer f;
    ASSERT_TRUE(f.AllocateFile("IMG", true, 64));
    ASSERT_TRUE(f.IsAllocated());
    auto* a = static_cast<uint8_t*>(f.Map(ieaRead | ieaWrite, 8, 16));
    std::memset(a, 0x5A, 8);
    f.Unmap(a);
    auto* w = static_cast<uint8_t*>(f.Map(ieaWrite, 8, 16));
    EXPECT_NE(w[0], 0x5A);  // not read
    std::memset(w, 0x11, 4);
    f.Unmap(w);
    auto* r = static_cast<uint8_t*>(f.Map(ieaRead, 8, 16));
    EXPECT_EQ(r[0], 0x11);
    EXPECT_EQ(r[5], 0);  // the whole buffer went back
    std::memset(r, 0x77, 8);
    f.Unmap(r);  // read only: not written back
    auto* again = static_cast<uint8_t*>(f.Map(ieaRead, 8, 16));
    EXPECT_EQ(again[0], 0x11);
    f.Unmap(again);
    EXPECT_EQ(f.MappedCount(), 0);
}

TEST_F(FileBuffer, UnmapIgnoresForeignPointersAndUnmapAllWritesEverything) {
    TIEFileBuffer f;
    ASSERT_TRUE(f.AllocateFile("IMG", true, 32));
    uint8_t foreign[4];
    f.Unmap(foreign);
    f.Unmap(nullptr);
    auto* a = static_cast<uint8_t*>(f.Map(ieaWrite, 4, 0));
    auto* b = static_cast<uint8_t*>(f.Map(ieaWrite, 4, 28));
    std::memset(a, 1, 4);
    std::memset(b, 2, 4);
    EXPECT_EQ(f.MappedCount(), 2);
    f.UnmapAll();
    EXPECT_EQ(f.MappedCount(), 0);
    cl::TStream* s = f.Stream();
    uint8_t bytes[32];
    s->SetPosition(0);
    ASSERT_EQ(s->Read(bytes, 32), 32);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(bytes[28], 2);
    EXPECT_EQ(bytes[10], 0);
}

TEST_F(FileBuffer, MapRefusesImpossibleRanges) {
    TIEFileBuffer f;
    ASSERT_TRUE(f.AllocateFile("IMG", true, 32));
    EXPECT_EQ(f.Map(ieaRead, -1, 0), nullptr);
    EXPECT_EQ(f.Map(ieaRead, 4, -8), nullptr);
    EXPECT_EQ(f.MappedCount(), 0);
}

TEST_F(FileBuffer, CopyToMovesLargeRangesAndNeedsBothFiles) {
    const int64_t size = 2 * 1048576 + 12345;
    TIEFileBuffer a, b, none;
    ASSERT_TRUE(a.AllocateFile("IMG", true, size));
    ASSERT_TRUE(b.AllocateFile("IMG", true, size));
    std::vector<uint8_t> data(static_cast<size_t>(size));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 16));
    a.Stream()->SetPosition(0);
    a.Stream()->WriteBuffer(data.data(), size);
    a.CopyTo(&none, size, 0);  // nothing: the destination is not allocated
    none.CopyTo(&b, size, 0);  // nothing: the source is not allocated
    EXPECT_FALSE(none.IsAllocated());
    auto* mapped = a.Map(ieaRead | ieaWrite, 10, 0);  // released by the copy
    ASSERT_NE(mapped, nullptr);
    a.CopyTo(&b, size - 100, 100);
    EXPECT_EQ(a.MappedCount(), 0);
    std::vector<uint8_t> got(static_cast<size_t>(size));
    b.Stream()->SetPosition(0);
    b.Stream()->ReadBuffer(got.data(), size);
    EXPECT_EQ(got[99], 0);
    EXPECT_TRUE(std::equal(data.begin() + 100, data.end(), got.begin() + 100));
}

TEST_F(FileBuffer, MemoryStreamWhenNoFileIsWanted) {
    TIEFileBuffer f;
    ASSERT_TRUE(f.AllocateFile("IMG", false, 100));
    EXPECT_TRUE(f.IsAllocated());
    EXPECT_EQ(f.Stream()->GetSize(), 100);
    EXPECT_TRUE(AllTempFiles(folder_).empty());
    f.FreeFile();
    EXPECT_FALSE(f.IsAllocated());
}

TEST_F(FileBuffer, TakenNamesAreDrawnAgainFromTheSharedGenerator) {
    const cl::String folder = IERunTempFolder();
    ASSERT_FALSE(folder.empty());
    cl::SetRandSeed(1642000);
    const cl::String first = folder + "IMG-" + cl::IntToHex(static_cast<uint32_t>(cl::Random(2147483647)), 8) + ".tmp";
    const cl::String second = folder + "IMG-" + cl::IntToHex(static_cast<uint32_t>(cl::Random(2147483647)), 8) + ".tmp";
    const uint32_t after = cl::GetRandSeed();
    { std::ofstream(first) << "taken"; }
    cl::SetRandSeed(1642000);
    TIEFileBuffer f;
    ASSERT_TRUE(f.AllocateFile("IMG", true, 10));
    EXPECT_EQ(f.FileName(), second);
    EXPECT_EQ(cl::GetRandSeed(), after);
    EXPECT_EQ(std::filesystem::file_size(first), 5u);  // the other file is left alone
    f.FreeFile();
    EXPECT_FALSE(std::filesystem::exists(second));

    cl::SetRandSeed(1642000);
    cl::String name;
    IEUniqueTempFileName("IMG", folder, name);
    EXPECT_EQ(name, second);
}

TEST_F(FileBuffer, FreeingLeavesAFileThatTookTheNameSince) {
    TIEFileBuffer f;
    ASSERT_TRUE(f.AllocateFile("IMG", true, 10));
    const std::string name = f.FileName();
    // The name is free while the buffer's file is open.
    {
        std::ofstream other(name, std::ios::binary | std::ios::trunc);
        other << "another";
    }
    f.Map(ieaWrite, 4, 0);
    f.FreeFile();
    EXPECT_FALSE(f.IsAllocated());
    ASSERT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(std::filesystem::file_size(name), 7u);
    std::filesystem::remove(name);
}

TEST_F(FileBuffer, AnonymousTemporaryStreamHasNoNameAndRefusesAnExistingFile) {
    const std::string taken = folder_ + "/taken.tmp";
    { std::ofstream(taken) << "x"; }
    EXPECT_THROW(TIETemporaryFileStream(taken, true), cl::EInOutError);
    EXPECT_EQ(std::filesystem::file_size(taken), 1u);
    const std::string name = folder_ + "/anonymous.tmp";
    {
        TIETemporaryFileStream s(name, true);
        EXPECT_FALSE(std::filesystem::exists(name));
        s.WriteBuffer("abcdef", 6);
        s.SetPosition(2);
        char got[4] = {};
        EXPECT_EQ(s.Read(got, 4), 4);
        EXPECT_EQ(std::string(got, 4), "cdef");
        EXPECT_EQ(s.GetSize(), 6);
        EXPECT_EQ(UnnamedTempFiles(folder_).size(), 1u);
    }
    EXPECT_TRUE(UnnamedTempFiles(folder_).empty());
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(FileBuffer, TemporaryStreamRefusesAnExistingFile) {
    const std::string name = folder_ + "/exists.tmp";
    { std::ofstream(name) << "x"; }
    try {
        TIETemporaryFileStream s(name);
        FAIL() << "an existing file was opened";
    } catch (const cl::EInOutError& e) {
        EXPECT_EQ(e.Message, "Unable to create " + name);
    }
    {
        TIETemporaryFileStream s(folder_ + "/new.tmp");
        s.WriteBuffer("abc", 3);
        EXPECT_EQ(s.GetSize(), 3);
        EXPECT_TRUE(std::filesystem::exists(folder_ + "/new.tmp"));
    }
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/new.tmp"));  // deleted on close
}

TEST_F(FileBuffer, NoFileWhenTheFolderCannotBeMade) {
    IETempFolder = folder_ + "/a/b";
    TIEFileBuffer f;
    EXPECT_FALSE(f.AllocateFile("IMG", true, 10));
    EXPECT_FALSE(f.IsAllocated());
    // An image asked for a file then lives in memory.
    TIEBitmap b;
    b.MinFileSize = 0;
    ASSERT_TRUE(b.Allocate(4, 4, ie8g));
    EXPECT_EQ(b.GetLocation(), ieMemory);
}

TEST_F(FileBuffer, PhysicalMemory) {
    EXPECT_GE(IEGetPhysicalMemory(false), IEGetPhysicalMemory(true));
    EXPECT_GT(IEGetPhysicalMemory(true), 0);
    win::SetMemoryStatusForTesting(8000000000ULL, 3000000000ULL);
    EXPECT_EQ(IEGetPhysicalMemory(false), 8000000000LL);
    EXPECT_EQ(IEGetPhysicalMemory(true), 3000000000LL);
    // Without the extended call the 32-bit answer is taken.
    win::RemoveBuiltinExport("kernel32", "GlobalMemoryStatusEx");
    EXPECT_EQ(IEGetPhysicalMemory(false), 0xFFFFFFFFLL);
    win::RestoreBuiltinModules();
}

// A child process that makes a file-located image and ends as told; the parent checks
// that the run's folder is gone.
class FileBufferExit : public test::ImagingTest {
protected:
    // Runs `end` in a child after it has made the image; returns the wait status.
    template <class End>
    int RunChild(End end, bool waitForReady, bool withSignals = false) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            if (withSignals) win::InstallTerminationSignals();
            TIEBitmap* b = new TIEBitmap();  // left to the end of the process
            b->MinFileSize = 0;
            if (!b->Allocate(32, 32, ie24RGB) || b->GetLocation() != ieFile) ::_exit(3);
            const char c = 'r';
            if (::write(ready[1], &c, 1) != 1) ::_exit(4);
            end();
            ::_exit(5);
        }
        ::close(ready[1]);
        char c = 0;
        EXPECT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        int status = 0;
        if (!waitForReady) {
            EXPECT_EQ(::waitpid(pid, &status, 0), pid);
            return status;
        }
        return pid;
    }
    bool RunFolderLeft() const {
        for (const auto& e : std::filesystem::directory_iterator(folder_))
            if (e.path().filename().string().rfind("lumetra-ie-", 0) == 0) return true;
        return false;
    }
    // Everything under the test's folder.
    std::vector<std::string> Left() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(folder_, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            out.push_back(it->path().string());
        return out;
    }
    // The next run: a process that makes a file-located image and ends normally.
    void NextRun() {
        const int status = RunChild([] { std::exit(0); }, false);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
};

// A run that holds a file-located image and is killed or crashes, so that nothing of its
// own can run: the image's file is gone with the process (it never kept a name), and the
// folder the run leaves goes with the next run.
TEST_F(FileBufferExit, KilledOrCrashedRunsLeaveNothingAfterTheNextRun) {
    const struct {
        const char* name;
        int signal;
    } cases[] = {{"SIGKILL", SIGKILL}, {"SIGSEGV", SIGSEGV}, {"abort", SIGABRT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int sig = c.signal;
        const int status = RunChild(
            [sig] {
                // No core file, and no handler of the test's tools between the crash and
                // the end of the process.
                const rlimit none{0, 0};
                ::setrlimit(RLIMIT_CORE, &none);
                if (sig != SIGKILL) ::signal(sig, SIG_DFL);
                if (sig == SIGABRT) std::abort();
                ::raise(sig);
            },
            false);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_TRUE(RunFolderLeft());
        for (const std::string& path : Left())
            EXPECT_TRUE(std::filesystem::is_directory(path)) << path << " outlived its run";
        NextRun();
        EXPECT_EQ(Left(), std::vector<std::string>{});
    }
}

TEST_F(FileBufferExit, ALiveRunsFolderIsNotTouchedByAnother) {
    const pid_t live = RunChild(
        [] {
            for (;;) ::pause();
        },
        true);
    ASSERT_GT(live, 0);
    const std::vector<std::string> before = Left();
    ASSERT_EQ(before.size(), 1u);
    NextRun();
    EXPECT_EQ(Left(), before);
    ::kill(live, SIGKILL);
    ASSERT_EQ(::waitpid(live, nullptr, 0), live);
    EXPECT_EQ(Left(), before);
    NextRun();
    EXPECT_EQ(Left(), std::vector<std::string>{});
}

TEST_F(FileBufferExit, ABitmapFileHasNoNameOnceOpen) {
    TIEBitmap b;
    b.MinFileSize = 0;
    ASSERT_TRUE(b.Allocate(8, 8, ie24RGB));
    ASSERT_EQ(b.GetLocation(), ieFile);
    const auto open = UnnamedTempFiles(folder_);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(open[0].first));
    // Only the run's folder stands in the temporary folder.
    for (const std::string& path : Left()) EXPECT_TRUE(std::filesystem::is_directory(path)) << path;
}

TEST_F(FileBufferExit, NormalExitRemovesTheFolder) {
    const int status = RunChild([] { std::exit(0); }, false);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(RunFolderLeft());
}

TEST_F(FileBufferExit, TerminationSignalsRemoveTheFolder) {
    const pid_t pid = RunChild(
        [] {
            for (;;) ::pause();
        },
        true, true);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(RunFolderLeft());
    ::kill(pid, SIGTERM);
    ::usleep(100000);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(RunFolderLeft());
}

}  // namespace
}  // namespace ie
