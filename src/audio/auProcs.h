// Processor-specific routines of the audio suite, bound once at start-up from the
// processor's feature flags.
#pragma once

#include <cstddef>

namespace audio {

using TMemoryCopyProc = void (*)(void* Dest, const void* Source, size_t Count);

// The suite's memory copy (non-overlapping blocks), bound by auProcs_Initialization.
extern TMemoryCopyProc auMemoryCopy;

// The platform's plain copy.
void auMemoryCopyPlain(void* Dest, const void* Source, size_t Count);
// The SSE form: aligns the destination to 16 bytes with single bytes, 16-bit and 32-bit
// words, moves 16-byte blocks, then the remaining bytes; when source and destination
// differ in their alignment within 16 bytes it leaves the whole copy to the plain form.
void auMemoryCopySSE(void* Dest, const void* Source, size_t Count);

// Asks the processor (CPUID function 1, bit 25 of EDX: SSE) and binds auMemoryCopy.
void auProcs_Initialization();

}  // namespace audio
