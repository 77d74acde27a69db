// The kernel part of the platform layer: errors, files and paths, the own module,
// resources, modules, threads and synchronisation, memory, processor information.
// Text is UTF-8 everywhere ("A" functions); paths use "/".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/windef.h"

namespace win {

// ---------------------------------------------------------------------------------------
// Errors and version

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// Per thread.
DWORD GetLastError();
void SetLastError(DWORD code);
// The error code for an errno value (ENOENT -> 2, EEXIST -> 80, ENOSPC -> 112...), and back
// (for messages: the errno whose text describes the code best; 0 when none).
DWORD ErrorFromErrno(int err);
int ErrnoFromError(DWORD code);

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
static_assert(sizeof(OSVERSIONINFOA) == 148);
// 6.1 build 7600, platform 2, no service pack. FALSE (ERROR_INSUFFICIENT_BUFFER) when the
// size field is not that of the record.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// a * b / c in 64 bits, halves rounded away from zero; -1 when c is 0 or the result does
// not fit 32 bits.
int MulDiv(int a, int b, int c);

// ---------------------------------------------------------------------------------------
// Files and paths

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD FILE_SHARE_DELETE = 4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x100;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD MAX_PATH = 260;

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// Share modes and security attributes are accepted and ignored. Directories cannot be
// opened (ERROR_ACCESS_DENIED). CREATE_ALWAYS / OPEN_ALWAYS on an existing file succeed
// with GetLastError() == ERROR_ALREADY_EXISTS. FILE_FLAG_DELETE_ON_CLOSE removes the file
// when the handle is closed.
HANDLE CreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* sa, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
// A read at the end of the file succeeds with fewer bytes (0 at the end). `overlapped`
// must be null.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped);
// Reads at `offset` without using or moving the file position, so that several threads
// can read one handle at once.
BOOL ReadFileAt(HANDLE file, int64_t offset, void* buffer, DWORD toRead, DWORD* read);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
// Closes files, events and thread handles. FALSE (ERROR_INVALID_HANDLE) for a stale one.
BOOL CloseHandle(HANDLE object);
// FALSE when missing (ERROR_FILE_NOT_FOUND) or a directory (ERROR_ACCESS_DENIED); an open
// file can be deleted.
BOOL DeleteFileA(const char* name);
DWORD GetFileAttributesA(const char* name);
BOOL CreateDirectoryA(const char* name, SECURITY_ATTRIBUTES* sa);
// $TMPDIR when set and a directory, else /tmp, always ending with "/". Returns the length
// without the terminator, or, when `bufferLength` is too small, the size needed including
// the terminator (and writes nothing).
DWORD GetTempPathA(DWORD bufferLength, char* buffer);
// unique 0: creates an empty file dir/<prefix up to 3 characters><hex>.tmp that did not
// exist and returns the number used; otherwise only forms the name. `out` holds MAX_PATH
// characters. 0 on failure.
UINT GetTempFileNameA(const char* directory, const char* prefix, UINT unique, char* out);

// ---------------------------------------------------------------------------------------
// Modules and resources

// void (*)() so that callers can cast it to the entry point's real type without warnings.
using FARPROC = void (*)();

// The executable's own module: resources are looked up in it.
HMODULE HInstance();
// The executable's absolute path (0 or HInstance()), or the file of a loaded module.
// Too small a buffer: truncated to size - 1 characters, returns `size`
// (ERROR_INSUFFICIENT_BUFFER).
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
// null: HInstance(). A built-in module by name (case-insensitive, ".dll" optional) or a
// module already loaded from a file (by its file name); 0 otherwise (ERROR_MOD_NOT_FOUND).
HMODULE GetModuleHandleA(const char* name);

// A bare name is a built-in module; a path is a file: a file starting with the built-in
// marker "LUMMOD\0\0" followed by a module name gives that built-in module, any other file
// is loaded with dlopen. Loading a module again gives the same handle and counts a
// reference. 0 with ERROR_MOD_NOT_FOUND on failure.
HMODULE LoadLibraryA(const char* name);
// 0 with ERROR_PROC_NOT_FOUND for a missing entry point (ordinals are not supported), with
// ERROR_MOD_NOT_FOUND for a stale module handle.
FARPROC GetProcAddress(HMODULE module, const char* name);
// Drops one reference; at zero a loaded file is closed and its handle goes stale.
// Built-in modules stay. FALSE (ERROR_INVALID_HANDLE) for a stale handle.
BOOL FreeLibrary(HMODULE module);

constexpr char kBuiltinModuleMarker[8] = {'L', 'U', 'M', 'M', 'O', 'D', '\0', '\0'};

struct BuiltinExport {
    const char* name;
    void* address;
};
// Adds a built-in module (or more entry points to one). Names as for LoadLibraryA.
void RegisterBuiltinModule(std::string_view name, std::initializer_list<BuiltinExport> exports);
// Test hooks: make a built-in module or one of its entry points missing, and undo that.
void RemoveBuiltinModule(std::string_view name);
void RemoveBuiltinExport(std::string_view module, std::string_view entry);
void RestoreBuiltinModules();

// Resource types and names are strings (compared case-insensitively; "#123" means the
// integer id 123) or integer ids made with MAKEINTRESOURCEA.
inline const char* MAKEINTRESOURCEA(WORD id) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(id)); }
inline bool IS_INTRESOURCE(const char* p) { return reinterpret_cast<uintptr_t>(p) < 0x10000; }
inline const char* const RT_CURSOR = MAKEINTRESOURCEA(1);
inline const char* const RT_BITMAP = MAKEINTRESOURCEA(2);
inline const char* const RT_ICON = MAKEINTRESOURCEA(3);
inline const char* const RT_STRING = MAKEINTRESOURCEA(6);
inline const char* const RT_RCDATA = MAKEINTRESOURCEA(10);
inline const char* const RT_GROUP_CURSOR = MAKEINTRESOURCEA(12);
inline const char* const RT_GROUP_ICON = MAKEINTRESOURCEA(14);

// The executable's resources (module 0 or HInstance()); other modules have none
// (ERROR_RESOURCE_DATA_NOT_FOUND). 0 with ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_NAME_NOT_FOUND when missing.
HRSRC FindResourceA(HMODULE module, const char* name, const char* type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
// Read-only bytes that live as long as the process; null for 0.
void* LockResource(HGLOBAL resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// ---------------------------------------------------------------------------------------
// Threads and synchronisation

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 4;

// Re-entrant for the owning thread. Leaving a section the thread does not hold is a
// programming error (asserted; ignored in release builds).
struct CRITICAL_SECTION {
    std::recursive_mutex mutex;
    std::atomic<std::thread::id> owner{};
    int recursion = 0;  // touched only by the owner
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// Events: auto-reset events release one waiter and reset; manual-reset ones stay set. The
// name is ignored.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* sa, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Events and thread handles (signalled when the thread function has returned). Time-outs
// are measured on the platform clock: in virtual mode a timed wait moves virtual time (and
// ends at the clock's horizon with WAIT_TIMEOUT); an INFINITE wait does not move it.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);
// Runs `start` on a new thread (CREATE_SUSPENDED: once ResumeThread is called). An
// exception escaping `start` is caught and logged; the exit code is then 0xFFFFFFFF.
HANDLE CreateThread(SECURITY_ATTRIBUTES* sa, size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* threadId);
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
// A small, stable, non-zero number per thread.
DWORD GetCurrentThreadId();

// Return the new value (Exchange: the old one).
LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);
LONG InterlockedExchange(LONG volatile* target, LONG value);

// ---------------------------------------------------------------------------------------
// Memory

constexpr UINT GMEM_FIXED = 0;
constexpr UINT GMEM_MOVEABLE = 2;
constexpr UINT GMEM_ZEROINIT = 0x40;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// GMEM_FIXED: the handle is the pointer. GMEM_MOVEABLE: GlobalLock gives the pointer
// (stable; a lock count is kept). Size 0 is allowed. Blocks are always zeroed.
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
void* GlobalLock(HGLOBAL memory);
// TRUE while still locked; FALSE with NO_ERROR when the count reaches zero.
BOOL GlobalUnlock(HGLOBAL memory);
// Exactly the size allocated; 0 for a stale handle.
size_t GlobalSize(HGLOBAL memory);
// 0 on success, the handle on failure.
HGLOBAL GlobalFree(HGLOBAL memory);

struct MEMORYSTATUSEX {
    DWORD dwLength = sizeof(MEMORYSTATUSEX);
    DWORD dwMemoryLoad = 0;
    ULONGLONG ullTotalPhys = 0;
    ULONGLONG ullAvailPhys = 0;
    ULONGLONG ullTotalPageFile = 0;
    ULONGLONG ullAvailPageFile = 0;
    ULONGLONG ullTotalVirtual = 0;
    ULONGLONG ullAvailVirtual = 0;
    ULONGLONG ullAvailExtendedVirtual = 0;
};
static_assert(sizeof(MEMORYSTATUSEX) == 64);
// The 32-bit record: sizes clamped to 0xFFFFFFFF.
struct MEMORYSTATUS {
    DWORD dwLength = sizeof(MEMORYSTATUS);
    DWORD dwMemoryLoad = 0;
    DWORD dwTotalPhys = 0;
    DWORD dwAvailPhys = 0;
    DWORD dwTotalPageFile = 0;
    DWORD dwAvailPageFile = 0;
    DWORD dwTotalVirtual = 0;
    DWORD dwAvailVirtual = 0;
};
static_assert(sizeof(MEMORYSTATUS) == 32);
// Physical memory from /proc/meminfo (MemTotal, MemAvailable). FALSE
// (ERROR_INVALID_PARAMETER) when dwLength is not the record's size.
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);
void GlobalMemoryStatus(MEMORYSTATUS* status);
// Test hook: total and available physical bytes to report (0, 0: read /proc/meminfo).
void SetMemoryStatusForTesting(ULONGLONG totalPhys, ULONGLONG availPhys);

// ---------------------------------------------------------------------------------------
// Processor

struct CpuidRegs {
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
    bool operator==(const CpuidRegs&) const = default;
};
// The processor's answer for a leaf (zeros for leaves it does not have).
CpuidRegs Cpuid(uint32_t leaf, uint32_t subleaf = 0);
// The CPUID instruction exists (EFLAGS bit 21 toggles): always on x86-64.
bool CpuidPresent();
// Test hook: when set, it answers every leaf instead of the processor. Null restores.
void SetCpuidHook(std::function<CpuidRegs(uint32_t leaf, uint32_t subleaf)> hook);

constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
struct SYSTEM_INFO {
    WORD wProcessorArchitecture = 0;
    WORD wReserved = 0;
    DWORD dwPageSize = 0;
    void* lpMinimumApplicationAddress = nullptr;
    void* lpMaximumApplicationAddress = nullptr;
    DWORD_PTR dwActiveProcessorMask = 0;
    DWORD dwNumberOfProcessors = 0;
    DWORD dwProcessorType = 0;
    DWORD dwAllocationGranularity = 0;
    WORD wProcessorLevel = 0;
    WORD wProcessorRevision = 0;
};
// dwNumberOfProcessors: the online processors, at least 1.
void GetSystemInfo(SYSTEM_INFO* info);

enum LOGICAL_PROCESSOR_RELATIONSHIP : int32_t {
    RelationProcessorCore = 0,
    RelationNumaNode = 1,
    RelationCache = 2,
    RelationProcessorPackage = 3,
};
struct SYSTEM_LOGICAL_PROCESSOR_INFORMATION {
    ULONG_PTR ProcessorMask = 0;
    LOGICAL_PROCESSOR_RELATIONSHIP Relationship = RelationProcessorCore;
    ULONGLONG Reserved[2] = {};
};
// One RelationProcessorCore record per distinct (package, core) pair found under
// /sys/devices/system/cpu, else one per processor; never none. `length` is in bytes;
// too small: FALSE, ERROR_INSUFFICIENT_BUFFER and the length needed.
BOOL GetLogicalProcessorInformation(SYSTEM_LOGICAL_PROCESSOR_INFORMATION* buffer, DWORD* length);
// Test hook: the directory read instead of /sys/devices/system/cpu ("" restores).
void SetProcessorTopologyRootForTesting(const std::string& directory);

}  // namespace win
