#include "pix32/Pix32_LowLevel.h"

#include <algorithm>
#include <cstring>
#include "classlib/SysUtils.h"

namespace pix32 {

void FillDWords_Pas(void* Dest, int32_t Count, uint32_t Value) {
    if (Count <= 0) return;
    std::fill_n(static_cast<uint32_t*>(Dest), Count, Value);
}

TFillDWordsProc FillDWords = FillDWords_Pas;

void MoveDWords(const void* Src, void* Dest, int32_t Count) {
    if (Src == Dest || Count <= 0) return;
    std::memmove(Dest, Src, static_cast<size_t>(Count) * 4);
}

int32_t WrapToRange(int32_t V, int32_t Lo, int32_t Hi) {
    const int64_t n = static_cast<int64_t>(Hi) - Lo + 1;
    if (n <= 0) return Lo;
    if (V < Lo) return static_cast<int32_t>(Hi + (static_cast<int64_t>(V) - Hi) % n);
    return static_cast<int32_t>(Lo + (static_cast<int64_t>(V) - Lo) % n);
}

int32_t MirrorToRange(int32_t V, int32_t Lo, int32_t Hi) {
    const int64_t n = static_cast<int64_t>(Hi) - Lo + 1;
    if (n <= 0) return Lo;
    int64_t q, r;
    if (V < Lo) {
        q = (static_cast<int64_t>(V) - Hi) / n;
        r = (static_cast<int64_t>(V) - Hi) % n + Hi;
    } else {
        q = (static_cast<int64_t>(V) - Lo) / n;
        r = (static_cast<int64_t>(V) - Lo) % n + Lo;
    }
    if (q & 1) r = static_cast<int64_t>(Lo) + Hi - r;
    return static_cast<int32_t>(r);
}

int32_t DivModInt(int32_t A, int32_t B, int32_t& R) {
    if (B == 0) throw cl::Exception("Division by zero");
    if (A == INT32_MIN && B == -1) throw cl::Exception("Integer overflow");
    R = A % B;
    return A / B;
}

void Pix32_LowLevel_Initialization() {
    // The portable fill is what the compiler vectorises best; no other form is bound.
    FillDWords = FillDWords_Pas;
}

}  // namespace pix32
