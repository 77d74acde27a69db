#include "platform/handles_internal.h"

namespace win {

uintptr_t NewHandleValue() {
    static std::atomic<uintptr_t> next{0x10000};
    return next.fetch_add(4);
}

uintptr_t HandleTable::Add(std::shared_ptr<HandleObject> obj) {
    uintptr_t h = NewHandleValue();
    std::lock_guard<std::mutex> lock(mutex_);
    map_[h] = std::move(obj);
    return h;
}

std::shared_ptr<HandleObject> HandleTable::Get(uintptr_t h, HandleKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = map_.find(h);
    if (it == map_.end() || it->second->kind != kind) return nullptr;
    return it->second;
}

std::shared_ptr<HandleObject> HandleTable::Remove(uintptr_t h, HandleKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = map_.find(h);
    if (it == map_.end() || it->second->kind != kind) return nullptr;
    auto obj = std::move(it->second);
    map_.erase(it);
    return obj;
}

size_t HandleTable::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return map_.size();
}

}  // namespace win
