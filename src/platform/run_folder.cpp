#include "platform/run_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

namespace win {

namespace {

constexpr char kPrefix[] = "lumetra-";
constexpr size_t kRandomPart = 6;  // the characters mkdtemp fills in

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsRandomChar(char c) { return IsDigit(c) || IsLower(c) || (c >= 'A' && c <= 'Z'); }

// Reads the decimal number at `at` up to the next "-"; false for no digits, a leading zero,
// a value above Max or no "-" after it.
bool ReadNumber(const std::string& s, size_t& at, uint64_t max, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < s.size() && IsDigit(s[at])) {
        const uint64_t digit = static_cast<uint64_t>(s[at] - '0');
        if (value > (max - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    if (at == start || (s[start] == '0' && at - start > 1)) return false;
    if (at >= s.size() || s[at] != '-') return false;
    ++at;
    return true;
}

struct ProcStat {
    bool Exists = false;
    char State = 0;
    uint64_t StartTime = 0;
};

ProcStat ReadProcStat(pid_t pid) {
    ProcStat r;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    if (!in) return r;
    std::string line;
    if (!std::getline(in, line)) return r;
    // The command name stands in parentheses and may itself hold spaces and parentheses:
    // the fields go on after the last ")".
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return r;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // Field 3 is the state, field 22 the start time.
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 3) r.State = field.empty() ? 0 : field[0];
        if (index == 22) {
            char* end = nullptr;
            errno = 0;
            const unsigned long long v = std::strtoull(field.c_str(), &end, 10);
            if (errno != 0 || !end || *end != '\0') return r;
            r.StartTime = v;
            r.Exists = true;
        }
    }
    return r;
}

// Whether this process can read the process table at all; without it no owner can be
// told dead by its start time.
bool ProcessTableReadable() { return ReadProcStat(::getpid()).Exists; }

bool AnyProcessHasPid(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

bool ParseRunFolderName(const std::string& Name, RunFolderOwner& Owner) {
    Owner = RunFolderOwner{};
    const size_t prefix = sizeof kPrefix - 1;
    if (Name.compare(0, prefix, kPrefix) != 0) return false;
    size_t at = prefix;
    if (at < Name.size() && IsLower(Name[at])) {
        const size_t start = at;
        while (at < Name.size() && IsLower(Name[at])) ++at;
        if (at >= Name.size() || Name[at] != '-') return false;
        Owner.Tag = Name.substr(start, at - start);
        ++at;
    }
    uint64_t pid = 0, startTime = 0;
    if (!ReadNumber(Name, at, static_cast<uint64_t>(std::numeric_limits<pid_t>::max()), pid) || pid == 0)
        return false;
    // A start time of 0 stands for an unknown one.
    if (!ReadNumber(Name, at, std::numeric_limits<uint64_t>::max(), startTime)) return false;
    if (Name.size() - at != kRandomPart) return false;
    for (size_t i = at; i < Name.size(); ++i)
        if (!IsRandomChar(Name[i])) return false;
    Owner.Pid = static_cast<pid_t>(pid);
    Owner.StartTime = startTime;
    return true;
}

uint64_t ProcessStartTime(pid_t Pid) {
    if (Pid <= 0) return 0;
    const ProcStat s = ReadProcStat(Pid);
    if (!s.Exists || s.State == 'Z' || s.State == 'X') return 0;
    return s.StartTime;
}

bool RunFolderOwnerAlive(const RunFolderOwner& Owner) {
    if (Owner.Pid <= 0) return false;
    if (Owner.StartTime == 0 || !ProcessTableReadable()) return AnyProcessHasPid(Owner.Pid);
    return ProcessStartTime(Owner.Pid) == Owner.StartTime;
}

std::string MakeRunFolder(const std::string& Base, const std::string& Tag) {
    if (Base.empty()) return std::string();
    for (char c : Tag)
        if (!IsLower(c)) return std::string();
    std::string folder = Base;
    if (folder.back() != '/') folder += '/';
    folder += kPrefix;
    if (!Tag.empty()) folder += Tag + "-";
    const pid_t self = ::getpid();
    folder += std::to_string(self) + "-" + std::to_string(ProcessStartTime(self)) + "-XXXXXX";
    if (!::mkdtemp(folder.data())) return std::string();
    return folder + "/";
}

int RemoveStaleRunFolders(const std::string& Base) {
    if (Base.empty() || !ProcessTableReadable()) return 0;
    const int dirFd = ::open(Base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    std::vector<std::string> stale;
    const uid_t self = ::geteuid();
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        RunFolderOwner owner;
        if (!ParseRunFolderName(name, owner)) continue;
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode) || st.st_uid != self) continue;
        if (owner.Pid == ::getpid() || RunFolderOwnerAlive(owner)) continue;
        stale.push_back(name);
    }
    ::closedir(dir);
    std::string base = Base;
    if (base.back() != '/') base += '/';
    int removed = 0;
    for (const std::string& name : stale) {
        // remove_all takes symbolic links inside the folder away as links and never
        // follows them.
        std::error_code ec;
        std::filesystem::remove_all(base + name, ec);
        if (!std::filesystem::exists(std::filesystem::symlink_status(base + name, ec))) ++removed;
    }
    return removed;
}

}  // namespace win
