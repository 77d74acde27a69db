// Bitwise operations over rows of pixels: exclusive-or, or, and with a 32-bit mask, in place
// or from a source row into a destination row. Reached through routine variables bound at
// start-up (Pix32_Filters_Initialization).
#pragma once

#include <cstdint>

#include "pix32/Pix32.h"

namespace pix32 {

// Dst[i] := Dst[i] op Mask for i = 0 .. Count - 1; nothing for Count <= 0.
using TLogicalOperatorInPlace = void (*)(TColor32* Dst, uint32_t Mask, int32_t Count);
// Dst[i] := Src[i] op Mask for i = 0 .. Count - 1; Src and Dst may be the same row.
using TLogicalOperatorCopy = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask);

extern TLogicalOperatorInPlace XorRow;
extern TLogicalOperatorInPlace OrRow;
extern TLogicalOperatorInPlace AndRow;
extern TLogicalOperatorCopy XorRowCopy;
extern TLogicalOperatorCopy OrRowCopy;
extern TLogicalOperatorCopy AndRowCopy;

// The portable forms.
void XorRow_Pas(TColor32* Dst, uint32_t Mask, int32_t Count);
void OrRow_Pas(TColor32* Dst, uint32_t Mask, int32_t Count);
void AndRow_Pas(TColor32* Dst, uint32_t Mask, int32_t Count);
void XorRowCopy_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask);
void OrRowCopy_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask);
void AndRowCopy_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask);

// Binds the routine variables (the unit's start-up).
void Pix32_Filters_Initialization();

}  // namespace pix32
