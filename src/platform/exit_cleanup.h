// Work that must run once when the program ends, however it ends: the removal of a run's
// private files. Registered work runs (last registered first) at normal exit (atexit),
// when RunExitCleanups is called (the main block ending by an exception, the signal
// path of the message loop), and never twice.
#pragma once

#include <cstdint>
#include <functional>

namespace win {

using ExitCleanupId = uint64_t;

// Thread-safe. The work must not throw (what it throws is dropped).
ExitCleanupId AddExitCleanup(std::function<void()> work);
// Forgets work that has been done by its owner (an unknown id is ignored).
void RemoveExitCleanup(ExitCleanupId id);
// Runs every registered piece of work now, once, and forgets it.
void RunExitCleanups();

}  // namespace win
