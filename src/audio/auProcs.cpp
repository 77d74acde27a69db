#include "audio/auProcs.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "platform/kernel.h"

namespace audio {

TMemoryCopyProc auMemoryCopy = &auMemoryCopyPlain;

void auMemoryCopyPlain(void* Dest, const void* Source, size_t Count) {
    if (Count) std::memcpy(Dest, Source, Count);
}

void auMemoryCopySSE(void* Dest, const void* Source, size_t Count) {
    auto* d = static_cast<uint8_t*>(Dest);
    auto* s = static_cast<const uint8_t*>(Source);
    if (((reinterpret_cast<uintptr_t>(d) ^ reinterpret_cast<uintptr_t>(s)) & 15) != 0) {
        auMemoryCopyPlain(Dest, Source, Count);
        return;
    }
    // Align the destination (and with it the source) to 16 bytes.
    if ((reinterpret_cast<uintptr_t>(d) & 1) && Count >= 1) {
        *d++ = *s++;
        Count -= 1;
    }
    if ((reinterpret_cast<uintptr_t>(d) & 2) && Count >= 2) {
        std::memcpy(d, s, 2);
        d += 2;
        s += 2;
        Count -= 2;
    }
    while ((reinterpret_cast<uintptr_t>(d) & 15) && Count >= 4) {
        std::memcpy(d, s, 4);
        d += 4;
        s += 4;
        Count -= 4;
    }
    if ((reinterpret_cast<uintptr_t>(d) & 15) == 0) {
        for (; Count >= 16; Count -= 16, d += 16, s += 16)
            _mm_store_si128(reinterpret_cast<__m128i*>(d), _mm_load_si128(reinterpret_cast<const __m128i*>(s)));
    }
    while (Count--) *d++ = *s++;
}

void auProcs_Initialization() {
    const bool sse = (win::Cpuid(1).edx & (1u << 25)) != 0;
    auMemoryCopy = sse ? &auMemoryCopySSE : &auMemoryCopyPlain;
}

}  // namespace audio
