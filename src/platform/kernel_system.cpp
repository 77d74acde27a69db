#include <dirent.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>

#include "platform/kernel_internal.h"

namespace win {

using namespace kernel_detail;

// --- global memory -----------------------------------------------------------------------

namespace {

struct GlobalBlock {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    bool moveable = false;
    int locks = 0;
};

struct GlobalHeap {
    std::mutex mutex;
    // Fixed blocks are keyed by their address, moveable ones by a handle value.
    std::unordered_map<uintptr_t, GlobalBlock> blocks;
};

GlobalHeap& Heap() {
    static GlobalHeap* heap = new GlobalHeap;
    return *heap;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
    GlobalBlock block;
    block.data.reset(new (std::nothrow) uint8_t[std::max<size_t>(bytes, 1)]());
    if (!block.data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    block.size = bytes;
    block.moveable = (flags & GMEM_MOVEABLE) != 0;
    uintptr_t key = block.moveable ? NewHandleValue() : reinterpret_cast<uintptr_t>(block.data.get());
    GlobalHeap& heap = Heap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    heap.blocks.emplace(key, std::move(block));
    return ToHandle(key);
}

void* GlobalLock(HGLOBAL memory) {
    GlobalHeap& heap = Heap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(FromHandle(memory));
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (it->second.moveable) ++it->second.locks;
    return it->second.data.get();
}

BOOL GlobalUnlock(HGLOBAL memory) {
    GlobalHeap& heap = Heap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(FromHandle(memory));
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    GlobalBlock& block = it->second;
    if (!block.moveable || block.locks == 0) {
        SetLastError(block.moveable ? ERROR_NOT_LOCKED : NO_ERROR);
        return FALSE;
    }
    if (--block.locks > 0) return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

size_t GlobalSize(HGLOBAL memory) {
    GlobalHeap& heap = Heap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(FromHandle(memory));
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second.size;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    GlobalBlock dropped;  // freed after the lock is released
    GlobalHeap& heap = Heap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(FromHandle(memory));
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    dropped = std::move(it->second);
    heap.blocks.erase(it);
    return nullptr;
}

// --- memory status -----------------------------------------------------------------------

namespace {

std::mutex gMemoryHookMutex;
ULONGLONG gHookTotal = 0;
ULONGLONG gHookAvail = 0;

void ReadMemInfo(ULONGLONG* total, ULONGLONG* avail) {
    {
        std::lock_guard<std::mutex> lock(gMemoryHookMutex);
        if (gHookTotal != 0) {
            *total = gHookTotal;
            *avail = gHookAvail;
            return;
        }
    }
    *total = 0;
    *avail = 0;
    std::ifstream in("/proc/meminfo");
    std::string key;
    unsigned long long value;
    std::string unit;
    bool haveAvail = false;
    ULONGLONG freeBytes = 0;
    while (in >> key >> value) {
        std::getline(in, unit);
        if (key == "MemTotal:") *total = value * 1024ull;
        if (key == "MemAvailable:") {
            *avail = value * 1024ull;
            haveAvail = true;
        }
        if (key == "MemFree:") freeBytes = value * 1024ull;
    }
    if (!haveAvail) *avail = freeBytes;
    if (*total == 0) {
        long pages = sysconf(_SC_PHYS_PAGES);
        long pageSize = sysconf(_SC_PAGESIZE);
        if (pages > 0 && pageSize > 0) *total = static_cast<ULONGLONG>(pages) * static_cast<ULONGLONG>(pageSize);
        if (*avail == 0) *avail = *total / 2;
    }
    if (*avail > *total) *avail = *total;
}

}  // namespace

void SetMemoryStatusForTesting(ULONGLONG totalPhys, ULONGLONG availPhys) {
    std::lock_guard<std::mutex> lock(gMemoryHookMutex);
    gHookTotal = totalPhys;
    gHookAvail = std::min(availPhys, totalPhys);
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (!status || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONGLONG total, avail;
    ReadMemInfo(&total, &avail);
    status->ullTotalPhys = total;
    status->ullAvailPhys = avail;
    status->dwMemoryLoad = total ? static_cast<DWORD>((total - avail) * 100 / total) : 0;
    status->ullTotalPageFile = total;
    status->ullAvailPageFile = avail;
    status->ullTotalVirtual = 1ull << 47;
    status->ullAvailVirtual = 1ull << 47;
    status->ullAvailExtendedVirtual = 0;
    return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
    if (!status) return;
    MEMORYSTATUSEX ex;
    GlobalMemoryStatusEx(&ex);
    auto clamp = [](ULONGLONG v) { return static_cast<DWORD>(std::min<ULONGLONG>(v, 0xFFFFFFFFull)); };
    status->dwLength = sizeof(MEMORYSTATUS);
    status->dwMemoryLoad = ex.dwMemoryLoad;
    status->dwTotalPhys = clamp(ex.ullTotalPhys);
    status->dwAvailPhys = clamp(ex.ullAvailPhys);
    status->dwTotalPageFile = clamp(ex.ullTotalPageFile);
    status->dwAvailPageFile = clamp(ex.ullAvailPageFile);
    status->dwTotalVirtual = clamp(ex.ullTotalVirtual);
    status->dwAvailVirtual = clamp(ex.ullAvailVirtual);
}

// --- CPUID -------------------------------------------------------------------------------

namespace {
std::mutex gCpuidMutex;
std::function<CpuidRegs(uint32_t, uint32_t)> gCpuidHook;
}  // namespace

void SetCpuidHook(std::function<CpuidRegs(uint32_t leaf, uint32_t subleaf)> hook) {
    std::lock_guard<std::mutex> lock(gCpuidMutex);
    gCpuidHook = std::move(hook);
}

CpuidRegs Cpuid(uint32_t leaf, uint32_t subleaf) {
    std::function<CpuidRegs(uint32_t, uint32_t)> hook;
    {
        std::lock_guard<std::mutex> lock(gCpuidMutex);
        hook = gCpuidHook;
    }
    if (hook) return hook(leaf, subleaf);
    CpuidRegs r;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_count(leaf, subleaf, &a, &b, &c, &d)) r = {a, b, c, d};
#else
    (void)leaf;
    (void)subleaf;
#endif
    return r;
}

bool CpuidPresent() {
#if defined(__x86_64__) || defined(__i386__)
    return true;
#else
    return false;
#endif
}

// --- processors --------------------------------------------------------------------------

namespace {

std::mutex gTopologyMutex;
std::string gTopologyRoot;

DWORD OnlineProcessors() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1u : static_cast<DWORD>(n);
}

bool ReadNumber(const std::string& path, long* value) {
    std::ifstream in(path);
    return static_cast<bool>(in >> *value);
}

}  // namespace

void GetSystemInfo(SYSTEM_INFO* info) {
    if (!info) return;
    *info = SYSTEM_INFO{};
    long page = sysconf(_SC_PAGESIZE);
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<void*>(0x10000);
    info->lpMaximumApplicationAddress = reinterpret_cast<void*>(0x7FFFFFFEFFFFull);
    info->dwNumberOfProcessors = OnlineProcessors();
    info->dwActiveProcessorMask =
        info->dwNumberOfProcessors >= 64 ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << info->dwNumberOfProcessors) - 1);
    info->dwProcessorType = 8664;
    info->dwAllocationGranularity = 65536;
    CpuidRegs sig = Cpuid(1);
    info->wProcessorLevel = static_cast<WORD>((sig.eax >> 8) & 0xF);
    info->wProcessorRevision = static_cast<WORD>(((sig.eax >> 4) & 0xF) << 8 | (sig.eax & 0xF));
}

void SetProcessorTopologyRootForTesting(const std::string& directory) {
    std::lock_guard<std::mutex> lock(gTopologyMutex);
    gTopologyRoot = directory;
}

BOOL GetLogicalProcessorInformation(SYSTEM_LOGICAL_PROCESSOR_INFORMATION* buffer, DWORD* length) {
    if (!length) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string root;
    {
        std::lock_guard<std::mutex> lock(gTopologyMutex);
        root = gTopologyRoot.empty() ? "/sys/devices/system/cpu" : gTopologyRoot;
    }
    // (package, core) -> mask of the logical processors on it.
    std::map<std::pair<long, long>, ULONG_PTR> cores;
    if (DIR* dir = ::opendir(root.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strncmp(name, "cpu", 3) != 0 || !name[3]) continue;
            char* end = nullptr;
            long index = std::strtol(name + 3, &end, 10);
            if (*end || index < 0) continue;
            std::string topology = root + "/" + name + "/topology/";
            long package = 0, core = 0;
            if (!ReadNumber(topology + "physical_package_id", &package) || !ReadNumber(topology + "core_id", &core))
                continue;
            ULONG_PTR bit = index < 64 ? (ULONG_PTR{1} << index) : 0;
            cores[{package, core}] |= bit;
        }
        ::closedir(dir);
    }
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> records;
    for (const auto& [key, mask] : cores) {
        SYSTEM_LOGICAL_PROCESSOR_INFORMATION r;
        r.ProcessorMask = mask;
        r.Relationship = RelationProcessorCore;
        records.push_back(r);
    }
    if (records.empty()) {
        DWORD n = OnlineProcessors();
        for (DWORD i = 0; i < n; ++i) {
            SYSTEM_LOGICAL_PROCESSOR_INFORMATION r;
            r.ProcessorMask = i < 64 ? (ULONG_PTR{1} << i) : 0;
            records.push_back(r);
        }
    }
    DWORD needed = static_cast<DWORD>(records.size() * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    if (!buffer || *length < needed) {
        *length = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(static_cast<void*>(buffer), records.data(), needed);
    *length = needed;
    return TRUE;
}

}  // namespace win
