// The handle table: every kernel, USER and GDI object of the layer is reached through
// a handle value that is non-zero, at least 0x10000 and never reused within a run, so
// that a stale or wrong-type handle is found out instead of touching freed memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace win {

// The kinds of object a handle can name; a lookup of the wrong kind fails.
// clang-format off
enum class HandleKind : uint8_t {
    File, Event, Thread, Module, Resource, Global, Window, DC, Bitmap, Region, Pen, Brush, Font, Palette,
    Icon, Cursor, Timer, Internet, Other
};
// clang-format on

// Base class of every object kept in the handle table.
struct HandleObject {
    virtual ~HandleObject() = default;
    HandleKind kind = HandleKind::Other;
};

// Allocates a fresh handle value (shared counter for all kinds, starting at 0x10000).
uintptr_t NewHandleValue();

// A thread-safe table from handle values to owned objects of one family.
class HandleTable {
public:
    uintptr_t Add(std::shared_ptr<HandleObject> obj);
    // The object, or null when the handle is stale or of another kind.
    std::shared_ptr<HandleObject> Get(uintptr_t h, HandleKind kind) const;
    template <class T>
    std::shared_ptr<T> GetAs(uintptr_t h, HandleKind kind) const {
        return std::static_pointer_cast<T>(Get(h, kind));
    }
    // Removes the entry; returns the object (null when the handle was not there).
    std::shared_ptr<HandleObject> Remove(uintptr_t h, HandleKind kind);
    size_t Count() const;

private:
    mutable std::mutex mutex_;
    std::unordered_map<uintptr_t, std::shared_ptr<HandleObject>> map_;
};

}  // namespace win
