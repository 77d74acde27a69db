#include "platform/exit_cleanup.h"

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace win {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<ExitCleanupId, std::function<void()>>> work;
    ExitCleanupId next = 1;
};

Registry& R() {
    // Never destroyed: atexit handlers and late signals may still reach it.
    static Registry* r = [] {
        auto* reg = new Registry;
        std::atexit([] { RunExitCleanups(); });
        return reg;
    }();
    return *r;
}

}  // namespace

ExitCleanupId AddExitCleanup(std::function<void()> work) {
    Registry& r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    ExitCleanupId id = r.next++;
    r.work.emplace_back(id, std::move(work));
    return id;
}

void RemoveExitCleanup(ExitCleanupId id) {
    Registry& r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto it = r.work.begin(); it != r.work.end(); ++it)
        if (it->first == id) {
            r.work.erase(it);
            return;
        }
}

void RunExitCleanups() {
    Registry& r = R();
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            if (r.work.empty()) return;
            work = std::move(r.work.back().second);
            r.work.pop_back();
        }
        try {
            if (work) work();
        } catch (...) {
        }
    }
}

}  // namespace win
