// Shared between the kernel's source files; not for users of the layer.
#pragma once

#include <memory>

#include "platform/handles_internal.h"
#include "platform/kernel.h"

namespace win::kernel_detail {

// Files, events, threads, modules, resources and moveable memory blocks.
HandleTable& Handles();

inline HANDLE ToHandle(uintptr_t value) { return reinterpret_cast<HANDLE>(value); }
inline uintptr_t FromHandle(const void* h) { return reinterpret_cast<uintptr_t>(h); }

// Sets the last error from errno (or from `err`).
void SetLastErrorFromErrno(int err);

// An object a wait can be satisfied by (events, threads).
struct Waitable : HandleObject {
    // Takes the signal when set (an auto-reset event resets); true when the wait is over.
    virtual bool TryAcquire() = 0;
};

// Case-insensitive ASCII comparison.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace win::kernel_detail
