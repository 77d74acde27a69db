// The processor core count, asked of the kernel at run time.
#include <algorithm>
#include <atomic>
#include <vector>

#include "imaging/core/hyieutils_threadpool.h"
#include "platform/kernel.h"

namespace ie {

namespace {

std::atomic<int32_t> gCoreCount{-1};

using GetLogicalProcessorInformationProc = win::BOOL (*)(win::SYSTEM_LOGICAL_PROCESSOR_INFORMATION*, win::DWORD*);

int32_t CountCores() {
    win::HMODULE kernel = win::LoadLibraryA("Kernel32.dll");
    if (!kernel) return 1;
    int32_t cores = 1;
    auto query = reinterpret_cast<GetLogicalProcessorInformationProc>(
        win::GetProcAddress(kernel, "GetLogicalProcessorInformation"));
    if (query) {
        win::DWORD length = 0;
        if (!query(nullptr, &length) && win::GetLastError() == win::ERROR_INSUFFICIENT_BUFFER && length > 0) {
            const size_t records = length / sizeof(win::SYSTEM_LOGICAL_PROCESSOR_INFORMATION);
            std::vector<win::SYSTEM_LOGICAL_PROCESSOR_INFORMATION> info(records + 1);
            if (query(info.data(), &length)) {
                int32_t count = 0;
                const size_t got = std::min<size_t>(length / sizeof(info[0]), info.size());
                for (size_t i = 0; i < got; ++i)
                    if (info[i].Relationship == win::RelationProcessorCore) ++count;
                if (count > 0) cores = count;
            }
        }
    }
    win::FreeLibrary(kernel);
    return cores;
}

}  // namespace

int32_t IEProcessorCoreCount() {
    int32_t cached = gCoreCount.load();
    if (cached != -1) return cached;
    // The count is kept at 1 while it is being asked for, so a failure on the way leaves 1.
    gCoreCount.store(1);
    cached = CountCores();
    gCoreCount.store(cached);
    return cached;
}

void IEResetProcessorCoreCount() { gCoreCount.store(-1); }

}  // namespace ie
