// Pixel arithmetic: weighted mixing, alpha blending, merging of two pixels that both carry
// alpha, the same over rows, and per-channel colour arithmetic. Every operation is reached
// through a routine variable bound once at start-up (Pix32_Blend_Initialization); the
// variables start out bound to the portable forms, which define the results.
#pragma once

#include <array>
#include <cstdint>

#include "pix32/Pix32.h"

namespace pix32 {

// Routine shapes. F is the foreground (source) pixel, B the background (destination) pixel,
// W a weight and M a master alpha, both 0..255 (larger values are taken as 255).
using TCombineReg = TColor32 (*)(TColor32 X, TColor32 Y, uint32_t W);
using TCombineMem = void (*)(TColor32 X, TColor32& Y, uint32_t W);
using TCombineLine = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W);
using TBlendReg = TColor32 (*)(TColor32 F, TColor32 B);
using TBlendMem = void (*)(TColor32 F, TColor32& B);
using TBlendRegEx = TColor32 (*)(TColor32 F, TColor32 B, uint32_t M);
using TBlendMemEx = void (*)(TColor32 F, TColor32& B, uint32_t M);
using TBlendLine = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count);
using TBlendLineEx = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
using TColorOp = TColor32 (*)(TColor32 C1, TColor32 C2);
using TScaleColorProc = TColor32 (*)(TColor32 C, uint32_t W);

// Bound routines.
extern TCombineReg WeightedMix;      // X and Y mixed with weight W on X
extern TCombineMem WeightedMixTo;    // Y := WeightedMix(X, Y, W)
extern TCombineLine WeightedMixRow;  // each Dst pixel mixed with its Src pixel
extern TBlendReg AlphaBlend;         // F over B by F's alpha
extern TBlendMem AlphaBlendTo;
extern TBlendRegEx AlphaBlendMaster;  // F over B by F's alpha scaled by M
extern TBlendMemEx AlphaBlendMasterTo;
extern TBlendLine AlphaBlendRow;
extern TBlendLineEx AlphaBlendMasterRow;
extern TBlendReg AlphaMerge;  // F merged over B, both carrying alpha
extern TBlendMem AlphaMergeTo;
extern TBlendRegEx AlphaMergeMaster;
extern TBlendMemEx AlphaMergeMasterTo;
extern TBlendLine AlphaMergeRow;
extern TBlendLineEx AlphaMergeMasterRow;

extern TColorOp AddColors;
extern TColorOp SubtractColors;
extern TColorOp DivideColors;
extern TColorOp ModulateColors;
extern TColorOp MaxColors;
extern TColorOp MinColors;
extern TColorOp DifferenceColors;
extern TColorOp AverageColors;
extern TColorOp ExcludeColors;
extern TScaleColorProc ScaleColor;

// Mode tables indexed by TCombineMode: the cmBlend entry holds the bound alpha-blend
// routine of that shape, the cmMerge entry the merge routine.
extern TBlendReg ModeBlend[2];
extern TBlendMem ModeBlendTo[2];
extern TBlendRegEx ModeBlendMaster[2];
extern TBlendMemEx ModeBlendMasterTo[2];
extern TBlendLine ModeBlendRow[2];
extern TBlendLineEx ModeBlendMasterRow[2];

// ProductTable[i][j] = round(i x j / 255); QuotientTable[d][n] = round(n x 255 / d) as a
// byte (row 0 all 0). Rounding half to even.
using TByteTable = std::array<std::array<uint8_t, 256>, 256>;
extern const TByteTable ProductTable;
extern const TByteTable QuotientTable;

// Nothing to clear: no routine bound here leaves processor state behind. Kept for the
// callers that end a series of pixel operations with it.
void ClearMultimediaState();

// The portable forms.
TColor32 WeightedMix_Pas(TColor32 X, TColor32 Y, uint32_t W);
void WeightedMixTo_Pas(TColor32 X, TColor32& Y, uint32_t W);
void WeightedMixRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W);
TColor32 AlphaBlend_Pas(TColor32 F, TColor32 B);
void AlphaBlendTo_Pas(TColor32 F, TColor32& B);
TColor32 AlphaBlendMaster_Pas(TColor32 F, TColor32 B, uint32_t M);
void AlphaBlendMasterTo_Pas(TColor32 F, TColor32& B, uint32_t M);
void AlphaBlendRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count);
void AlphaBlendMasterRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
TColor32 AlphaMerge_Pas(TColor32 F, TColor32 B);
void AlphaMergeTo_Pas(TColor32 F, TColor32& B);
TColor32 AlphaMergeMaster_Pas(TColor32 F, TColor32 B, uint32_t M);
void AlphaMergeMasterTo_Pas(TColor32 F, TColor32& B, uint32_t M);
void AlphaMergeRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count);
void AlphaMergeMasterRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
TColor32 AddColors_Pas(TColor32 C1, TColor32 C2);
TColor32 SubtractColors_Pas(TColor32 C1, TColor32 C2);
TColor32 DivideColors_Pas(TColor32 C1, TColor32 C2);
TColor32 ModulateColors_Pas(TColor32 C1, TColor32 C2);
TColor32 MaxColors_Pas(TColor32 C1, TColor32 C2);
TColor32 MinColors_Pas(TColor32 C1, TColor32 C2);
TColor32 DifferenceColors_Pas(TColor32 C1, TColor32 C2);
TColor32 AverageColors_Pas(TColor32 C1, TColor32 C2);
TColor32 ExcludeColors_Pas(TColor32 C1, TColor32 C2);
TColor32 ScaleColor_Pas(TColor32 C, uint32_t W);

#if defined(__SSE2__)
#define PIX32_HAS_SSE2_FORMS 1
// SSE2 forms of the row routines: four pixels per step, the portable forms' results.
void WeightedMixRow_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W);
void AlphaBlendRow_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count);
void AlphaBlendMasterRow_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
#endif

// Binds the routine variables and fills the mode tables (the unit's start-up).
void Pix32_Blend_Initialization();

}  // namespace pix32
