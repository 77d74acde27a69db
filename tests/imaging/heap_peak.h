// The most heap a piece of work holds at once, for tests that bound what hostile input may
// cost. Under AddressSanitizer every allocation and release of the process is seen through
// the allocator's hooks: the peak is the most bytes live at once among the blocks allocated
// while measuring (blocks from before do not count when they are freed). Without the
// sanitizer the process's peak resident size is reset and read around the work.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define LUMETRA_HEAP_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMETRA_HEAP_HOOKS 1
#endif
#endif

#if LUMETRA_HEAP_HOOKS
// The sanitizer's allocator interface (its header is not installed with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*Malloc)(const volatile void*, size_t),
                                                         void (*Free)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* Ptr);
#endif

namespace lumetra::test {

#if LUMETRA_HEAP_HOOKS

namespace heap_detail {

// The blocks allocated while measuring: an open-addressed table of addresses (no allocation
// inside the hooks). Zero is a free slot, one a removed one.
inline constexpr size_t kSlots = size_t{1} << 20;
inline std::atomic<uintptr_t> gSlots[kSlots];
inline std::atomic<bool> gOn{false};
inline std::atomic<int64_t> gLive{0}, gPeak{0}, gUntracked{0};

inline size_t SlotOf(uintptr_t P) { return (P >> 4) * 0x9E3779B97F4A7C15ull >> 44; }

inline void OnMalloc(const volatile void* Ptr, size_t Size) {
    if (!gOn.load(std::memory_order_relaxed) || !Ptr) return;
    const auto p = reinterpret_cast<uintptr_t>(Ptr);
    size_t i = SlotOf(p) & (kSlots - 1);
    for (size_t n = 0; n < kSlots; ++n, i = (i + 1) & (kSlots - 1)) {
        uintptr_t expected = 0;
        if (gSlots[i].compare_exchange_strong(expected, p)) {
            const int64_t live = gLive.fetch_add(static_cast<int64_t>(Size)) + static_cast<int64_t>(Size);
            int64_t peak = gPeak.load();
            while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
            }
            return;
        }
    }
    gUntracked.fetch_add(1);  // the table is full: the test reports it
}

inline void OnFree(const volatile void* Ptr) {
    if (!gOn.load(std::memory_order_relaxed) || !Ptr) return;
    const auto p = reinterpret_cast<uintptr_t>(Ptr);
    size_t i = SlotOf(p) & (kSlots - 1);
    for (size_t n = 0; n < kSlots; ++n, i = (i + 1) & (kSlots - 1)) {
        const uintptr_t v = gSlots[i].load();
        if (v == 0) return;  // not one of ours
        if (v == p) {
            gSlots[i].store(1);
            gLive.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(Ptr)));
            return;
        }
    }
}

}  // namespace heap_detail

// Runs Work and returns the most bytes its allocations held at once; -1 when too many
// blocks were live to follow.
template <typename F>
int64_t HeapPeakOf(F&& Work) {
    using namespace heap_detail;
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
    if (!installed) return -1;
    for (auto& s : gSlots) s.store(0, std::memory_order_relaxed);
    gLive = 0;
    gPeak = 0;
    gUntracked = 0;
    gOn = true;
    Work();
    gOn = false;
    return gUntracked.load() ? -1 : gPeak.load();
}

#else

namespace heap_detail {

inline int64_t StatusKiB(const char* Field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string key = std::string(Field) + ":";
    while (std::getline(f, line))
        if (line.compare(0, key.size(), key) == 0) return std::stoll(line.substr(key.size()));
    return -1;
}

}  // namespace heap_detail

// Runs Work and returns how far the process's peak resident size rose above its resident
// size before it; -1 when the peak cannot be reset.
template <typename F>
int64_t HeapPeakOf(F&& Work) {
    using namespace heap_detail;
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
        if (!reset.good()) return -1;
    }
    const int64_t before = StatusKiB("VmRSS");
    Work();
    const int64_t peak = StatusKiB("VmHWM");
    if (before < 0 || peak < 0) return -1;
    return std::max<int64_t>(peak - before, 0) * 1024;
}

#endif

}  // namespace lumetra::test
