// The one clock behind every time query and every wait of the program.
#pragma once

#include <cstdint>

namespace win {

// A 32-bit value to seed the shared random generator from (cl::Randomize).
uint32_t ClockSeed();

}  // namespace win
