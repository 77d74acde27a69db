#include "platform/clock.h"

#include <chrono>

namespace win {

uint32_t ClockSeed() {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<uint32_t>(ticks);
}

}  // namespace win
