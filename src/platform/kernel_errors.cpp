#include <cerrno>
#include <cstring>

#include "platform/kernel_internal.h"

namespace win {

namespace {
thread_local DWORD tLastError = 0;
}

namespace kernel_detail {

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;  // lives until the process ends
    return *table;
}

void SetLastErrorFromErrno(int err) { tLastError = ErrorFromErrno(err); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace kernel_detail

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }

DWORD ErrorFromErrno(int err) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
        case ETXTBSY: return ERROR_SHARING_VIOLATION;
        case EEXIST: return ERROR_FILE_EXISTS;
        case ENOSPC:
        case EFBIG: return ERROR_DISK_FULL;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case EPIPE: return ERROR_BROKEN_PIPE;
        case EIO: return ERROR_IO_DEVICE;
        default: return ERROR_GEN_FAILURE;
    }
}

int ErrnoFromError(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS: return 0;
        case ERROR_FILE_NOT_FOUND: return ENOENT;
        case ERROR_PATH_NOT_FOUND: return ENOTDIR;
        case ERROR_ACCESS_DENIED: return EACCES;
        case ERROR_INVALID_HANDLE: return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
        case ERROR_SHARING_VIOLATION: return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL: return ENOSPC;
        case ERROR_INVALID_PARAMETER: return EINVAL;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_BROKEN_PIPE: return EPIPE;
        case ERROR_IO_DEVICE: return EIO;
        default: return 0;
    }
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return TRUE;
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = p / c;
    int64_t r = p % c;
    // |r| < |c| <= 2^31, so doubling cannot overflow.
    int64_t twiceR = r < 0 ? -2 * r : 2 * r;
    int64_t absC = c < 0 ? -static_cast<int64_t>(c) : c;
    if (twiceR >= absC) q += ((p < 0) != (c < 0)) ? -1 : 1;
    if (q > INT32_MAX || q < INT32_MIN) return -1;
    return static_cast<int>(q);
}

}  // namespace win
