#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel_internal.h"

namespace win {

using namespace kernel_detail;

namespace {

struct FileObject : HandleObject {
    int fd = -1;
    std::string deletePath;  // non-empty: removed when the handle is closed
    ~FileObject() override {
        if (fd >= 0) ::close(fd);
        if (!deletePath.empty()) ::unlink(deletePath.c_str());
    }
};

std::shared_ptr<FileObject> FileOf(HANDLE h) {
    auto file = Handles().GetAs<FileObject>(FromHandle(h), HandleKind::File);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A missing file in a missing directory is "path not found", as the calling code expects.
void SetPathError(int err, const std::string& path) {
    if (err == ENOENT && !IsDirectory(ParentOf(path))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
        SetLastErrorFromErrno(err);
    }
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof(cwd))) return path;
    return std::string(cwd) + "/" + path;
}

}  // namespace

HANDLE CreateFileA(const char* name, DWORD access, DWORD /*share*/, SECURITY_ATTRIBUTES* /*sa*/, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    if (!name || !*name) {
        SetLastError(name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool wantRead = (access & GENERIC_READ) != 0;
    bool wantWrite = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | (wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY);
    switch (disposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING:
            if (!wantWrite) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            flags |= O_TRUNC;
            break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    std::string path = name;
    struct stat before {};
    bool existed = ::stat(path.c_str(), &before) == 0;
    if (existed && S_ISDIR(before.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        SetPathError(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->kind = HandleKind::File;
    file->fd = fd;
    if (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) file->deletePath = Absolute(path);
    uintptr_t h = Handles().Add(std::move(file));
    bool reportsExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return ToHandle(h);
}

namespace {

// Reads up to toRead bytes into buffer, at the file position (offset < 0) or at offset,
// until the end of the file; a signal does not end the read. On failure *read holds what
// was read before it.
BOOL ReadFully(int fd, int64_t offset, void* buffer, DWORD toRead, DWORD* read) {
    DWORD done = 0;
    while (done < toRead) {
        char* at = static_cast<char*>(buffer) + done;
        ssize_t n = offset < 0 ? ::read(fd, at, toRead - done) : ::pread(fd, at, toRead - done, offset + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            if (read) *read = done;
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    return TRUE;
}

}  // namespace

BOOL ReadFile(HANDLE h, void* buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
    if (read) *read = 0;
    auto file = FileOf(h);
    if (!file) return FALSE;
    if (overlapped || (!buffer && toRead > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ReadFully(file->fd, -1, buffer, toRead, read);
}

BOOL ReadFileAt(HANDLE h, int64_t offset, void* buffer, DWORD toRead, DWORD* read) {
    if (read) *read = 0;
    auto file = FileOf(h);
    if (!file) return FALSE;
    if (offset < 0 || (!buffer && toRead > 0)) {
        SetLastError(offset < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ReadFully(file->fd, offset, buffer, toRead, read);
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
    if (written) *written = 0;
    auto file = FileOf(h);
    if (!file) return FALSE;
    if (overlapped || (!buffer && toWrite > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method) {
    auto file = FileOf(h);
    if (!file) return FALSE;
    int whence;
    switch (method) {
        case FILE_BEGIN: whence = SEEK_SET; break;
        case FILE_CURRENT: whence = SEEK_CUR; break;
        case FILE_END: whence = SEEK_END; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    off_t pos = ::lseek(file->fd, static_cast<off_t>(distance.QuadPart), whence);
    if (pos < 0) {
        // lseek refuses positions before the start with EINVAL.
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
        return FALSE;
    }
    if (newPosition) newPosition->QuadPart = pos;
    return TRUE;
}

BOOL SetEndOfFile(HANDLE h) {
    auto file = FileOf(h);
    if (!file) return FALSE;
    off_t pos = ::lseek(file->fd, 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(file->fd, pos) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE h, LARGE_INTEGER* size) {
    auto file = FileOf(h);
    if (!file) return FALSE;
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size->QuadPart = st.st_size;
    return TRUE;
}

BOOL CloseHandle(HANDLE h) {
    uintptr_t value = FromHandle(h);
    for (HandleKind kind : {HandleKind::File, HandleKind::Event, HandleKind::Thread}) {
        if (Handles().Remove(value, kind)) return TRUE;  // the object closes itself when unused
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL DeleteFileA(const char* name) {
    if (!name || !*name) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat st {};
    if (::lstat(name, &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(name) != 0) {
        SetPathError(errno, name);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(const char* name) {
    struct stat st {};
    if (!name || !*name || ::stat(name, &st) != 0) {
        if (!name || !*name) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetPathError(errno, name);
        }
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryA(const char* name, SECURITY_ATTRIBUTES* /*sa*/) {
    if (!name || !*name) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(name, 0777) != 0) {
        int err = errno;
        if (err == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
        } else if (err == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno(err);
        }
        return FALSE;
    }
    return TRUE;
}

DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
    std::string path = "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env && IsDirectory(env)) path = env;
    if (path.back() != '/') path += '/';
    if (!buffer || bufferLength < path.size() + 1) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

UINT GetTempFileNameA(const char* directory, const char* prefix, UINT unique, char* out) {
    if (!directory || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string base = directory;
    if (base.empty()) base = ".";
    if (base.back() != '/') base += '/';
    if (prefix) base += std::string(prefix).substr(0, 3);
    auto nameFor = [&](UINT n) {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "%X", n);
        return base + hex + ".tmp";
    };
    auto deliver = [&](const std::string& name) {
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return false;
        }
        std::memcpy(out, name.c_str(), name.size() + 1);
        return true;
    };
    if (unique != 0) {
        unique &= 0xFFFF;
        if (unique == 0) unique = 1;
        return deliver(nameFor(unique)) ? unique : 0;
    }
    if (!IsDirectory(directory[0] ? directory : ".")) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    static std::atomic<UINT> counter{0};
    UINT start = (GetTickCount() + counter.fetch_add(1)) & 0xFFFF;
    for (UINT i = 0; i < 0x10000; ++i) {
        UINT n = (start + i) & 0xFFFF;
        if (n == 0) continue;
        std::string name = nameFor(n);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            deliver(name);
            return n;
        }
        if (errno != EEXIST) {
            SetPathError(errno, name);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

}  // namespace win
