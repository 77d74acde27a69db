// 32-bit fill and move routines and the integer clamp, wrap and mirror mappings.
#pragma once

#include <cstdint>

#include "pix32/Pix32.h"

namespace pix32 {

// Writes Count copies of Value from Dest; nothing for Count <= 0. Bound at start-up.
using TFillDWordsProc = void (*)(void* Dest, int32_t Count, uint32_t Value);
extern TFillDWordsProc FillDWords;

// The portable form (always available; defines the behaviour).
void FillDWords_Pas(void* Dest, int32_t Count, uint32_t Value);

// Copies Count 32-bit values; overlapping areas are handled; nothing when Src = Dest or
// Count <= 0.
void MoveDWords(const void* Src, void* Dest, int32_t Count);

// V within 0..255.
constexpr int32_t ClampToByte(int32_t V) { return V < 0 ? 0 : (V > 255 ? 255 : V); }
// Max when V > Max; 0 when V < 0; else V.
constexpr int32_t ClampToMax(int32_t V, int32_t Max) { return V > Max ? Max : (V < 0 ? 0 : V); }
// Lo when V < Lo; then Hi when the result is above Hi.
constexpr int32_t ClampToRange(int32_t V, int32_t Lo, int32_t Hi) {
    if (V < Lo) V = Lo;
    if (V > Hi) V = Hi;
    return V;
}
// Maps V into Lo..Hi by repetition. An empty range (Hi < Lo) gives Lo.
int32_t WrapToRange(int32_t V, int32_t Lo, int32_t Hi);
// Maps V into Lo..Hi by reflection at the ends. An empty range (Hi < Lo) gives Lo.
int32_t MirrorToRange(int32_t V, int32_t Lo, int32_t Hi);
// Truncating division: returns the quotient, R receives the remainder. B must not be 0
// (a division-by-zero error is raised).
int32_t DivModInt(int32_t A, int32_t B, int32_t& R);

constexpr void SwapInts(int32_t& A, int32_t& B) {
    const int32_t t = A;
    A = B;
    B = t;
}
constexpr void OrderInts(int32_t& A, int32_t& B) {
    if (A > B) SwapInts(A, B);
}

// Binds FillDWords (the unit's start-up).
void Pix32_LowLevel_Initialization();

}  // namespace pix32
