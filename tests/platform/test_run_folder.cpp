// Run folders: the owner their names carry, and which folders a later run removes as left
// over (only dead owners' folders of this user, never a live run's, another user's, a
// symbolic link or a folder of another name).
#include "platform/run_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../common/private_dir.h"

namespace fs = std::filesystem;

namespace {

TEST(RunFolderName, OwnerIsReadFromWellFormedNamesOnly) {
    const struct {
        const char* name;
        bool ok;
        const char* tag;
        pid_t pid;
        uint64_t start;
    } cases[] = {
        {"lumetra-1234-98765-aB3xZ9", true, "", 1234, 98765},
        {"lumetra-ie-77-5-000000", true, "ie", 77, 5},
        {"lumetra-12-0-abcdef", true, "", 12, 0},
        {"lumetra-12-18446744073709551615-abcdef", true, "", 12, 18446744073709551615ull},
        {"lumetra-12-18446744073709551616-abcdef", false, "", 0, 0},  // start time beyond 64 bits
        {"lumetra-99999999999-5-abcdef", false, "", 0, 0},            // beyond any pid
        {"lumetra-0-5-abcdef", false, "", 0, 0},
        {"lumetra-012-5-abcdef", false, "", 0, 0},
        {"lumetra-12-5-abcde", false, "", 0, 0},    // five random characters
        {"lumetra-12-5-abcdefg", false, "", 0, 0},  // seven
        {"lumetra-12-5-abc.ef", false, "", 0, 0},
        {"lumetra-abc123", false, "", 0, 0},  // an older run's folder: no owner to tell
        {"lumetra-ietest-123456", false, "", 0, 0},
        {"lumetra-IE-12-5-abcdef", false, "", 0, 0},
        {"lumetra--12-5-abcdef", false, "", 0, 0},
        {"lumetra-12--abcdef", false, "", 0, 0},
        {"Lumetra-12-5-abcdef", false, "", 0, 0},
        {"Bass.dll", false, "", 0, 0},
        {"", false, "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        win::RunFolderOwner owner;
        ASSERT_EQ(win::ParseRunFolderName(c.name, owner), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(owner.Tag, c.tag);
        EXPECT_EQ(owner.Pid, c.pid);
        EXPECT_EQ(owner.StartTime, c.start);
    }
}

// A child that sleeps until it is killed; the test reaps it.
pid_t Sleeper() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (;;) ::pause();
    }
    return pid;
}

void Reap(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

TEST(RunFolderOwner, AliveOnlyWhilePidAndStartTimeBothMatch) {
    const pid_t child = Sleeper();
    ASSERT_GT(child, 0);
    const uint64_t start = win::ProcessStartTime(child);
    ASSERT_GT(start, 0u);
    EXPECT_TRUE(win::RunFolderOwnerAlive({"", child, start}));
    // Another process under the same pid (a pid used again after its owner ended).
    EXPECT_FALSE(win::RunFolderOwnerAlive({"", child, start + 1}));
    EXPECT_FALSE(win::RunFolderOwnerAlive({"", child, start - 1}));
    // Unknown start time: any process of that pid counts.
    EXPECT_TRUE(win::RunFolderOwnerAlive({"", child, 0}));
    ::kill(child, SIGKILL);
    // Killed but not yet reaped: a zombie is no owner any more.
    for (int i = 0; i < 200 && win::ProcessStartTime(child) != 0; ++i) ::usleep(10000);
    EXPECT_EQ(win::ProcessStartTime(child), 0u);
    EXPECT_FALSE(win::RunFolderOwnerAlive({"", child, start}));
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(win::RunFolderOwnerAlive({"", child, start}));
    EXPECT_FALSE(win::RunFolderOwnerAlive({"", child, 0}));
    EXPECT_TRUE(win::RunFolderOwnerAlive({"", ::getpid(), win::ProcessStartTime(::getpid())}));
}

class RunFolders : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(box_.Ok()); }
    std::string Base() const { return box_.Path().string() + "/"; }
    // A folder of this user named for the given owner.
    std::string Folder(pid_t pid, uint64_t start, const std::string& tag = "") {
        const std::string path = Base() + "lumetra-" + (tag.empty() ? "" : tag + "-") + std::to_string(pid) + "-" +
                                 std::to_string(start) + "-Qw3rty";
        fs::create_directory(path);
        std::ofstream(path + "/Bass.dll") << "library";
        return path;
    }
    // The pid and start time of a process that has ended and been reaped.
    std::pair<pid_t, uint64_t> DeadOwner() {
        const pid_t child = Sleeper();
        const uint64_t start = win::ProcessStartTime(child);
        Reap(child);
        return {child, start};
    }
    lumetra_test::PrivateDir box_{"lumetra_runfolders"};
};

TEST_F(RunFolders, MadeFolderNamesItsOwnerAndIsPrivate) {
    const std::string folder = win::MakeRunFolder(Base(), "ie");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    const std::string name = fs::path(folder.substr(0, folder.size() - 1)).filename().string();
    win::RunFolderOwner owner;
    ASSERT_TRUE(win::ParseRunFolderName(name, owner)) << name;
    EXPECT_EQ(owner.Tag, "ie");
    EXPECT_EQ(owner.Pid, ::getpid());
    EXPECT_EQ(owner.StartTime, win::ProcessStartTime(::getpid()));
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Two folders of one process never meet.
    EXPECT_NE(win::MakeRunFolder(Base(), "ie"), folder);
    EXPECT_EQ(win::MakeRunFolder(Base(), "I-E"), "");
    EXPECT_EQ(win::MakeRunFolder(Base() + "missing/", ""), "");
    // This process's own folders are never stale.
    EXPECT_EQ(win::RemoveStaleRunFolders(Base()), 0);
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(RunFolders, OnlyLeftoversOfEndedRunsOfThisUserGo) {
    const auto [deadPid, deadStart] = DeadOwner();
    ASSERT_GT(deadStart, 0u);
    const pid_t live = Sleeper();
    ASSERT_GT(live, 0);
    const uint64_t liveStart = win::ProcessStartTime(live);

    const std::string dead = Folder(deadPid, deadStart);
    const std::string deadImaging = Folder(deadPid, deadStart, "ie");
    const std::string reused = Folder(live, liveStart + 7);  // the pid now belongs to another process
    const std::string alive = Folder(live, liveStart);
    const std::string aliveUnknownStart = Folder(live, 0);
    // A link named like a dead run's folder, pointing at a folder with a file in it.
    fs::create_directory(Base() + "target");
    std::ofstream(Base() + "target/keep") << "keep";
    const std::string link = Base() + "lumetra-" + std::to_string(deadPid) + "-" + std::to_string(deadStart) + "-L1nk00";
    fs::create_directory_symlink(Base() + "target", link);
    // A plain file of that form, and a folder of another name.
    const std::string file = Base() + "lumetra-" + std::to_string(deadPid) + "-" + std::to_string(deadStart) + "-F1le00";
    std::ofstream(file) << "x";
    fs::create_directory(Base() + "lumetra-abc123");
    // Inside a dead run's folder, a link out of it: the link goes, not what it points at.
    fs::create_directory_symlink(Base() + "target", dead + "/out");

    EXPECT_EQ(win::RemoveStaleRunFolders(Base()), 3);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(deadImaging));
    EXPECT_FALSE(fs::exists(reused));
    EXPECT_TRUE(fs::exists(alive + "/Bass.dll"));
    EXPECT_TRUE(fs::exists(aliveUnknownStart + "/Bass.dll"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::exists(Base() + "target/keep"));
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_TRUE(fs::is_directory(Base() + "lumetra-abc123"));

    // Once the live owner has ended, its folders go too.
    Reap(live);
    EXPECT_EQ(win::RemoveStaleRunFolders(Base()), 2);
    EXPECT_FALSE(fs::exists(alive));
    EXPECT_FALSE(fs::exists(aliveUnknownStart));
}

TEST_F(RunFolders, AnotherUsersFolderIsLeftAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    const auto [deadPid, deadStart] = DeadOwner();
    const std::string other = Folder(deadPid, deadStart);
    ASSERT_EQ(::chown(other.c_str(), 65534, 65534), 0);
    EXPECT_EQ(win::RemoveStaleRunFolders(Base()), 0);
    EXPECT_TRUE(fs::exists(other + "/Bass.dll"));
}

}  // namespace
