#include "pix32/Pix32_Blend.h"

#include <algorithm>
#include <cstring>

#include "pix32/Pix32_System.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pix32 {

// ---------------------------------------------------------------------------------------------
// Tables

namespace {

// n / d rounded to nearest, halves to even.
constexpr uint32_t RoundDiv(uint32_t n, uint32_t d) {
    const uint32_t q = n / d;
    const uint32_t r = n % d;
    if (2 * r > d) return q + 1;
    if (2 * r == d) return q + (q & 1);
    return q;
}

constexpr TByteTable MakeProductTable() {
    TByteTable t{};
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t j = 0; j < 256; ++j) t[i][j] = static_cast<uint8_t>(RoundDiv(i * j, 255));
    return t;
}

constexpr TByteTable MakeQuotientTable() {
    TByteTable t{};
    for (uint32_t d = 1; d < 256; ++d)
        for (uint32_t n = 0; n < 256; ++n) t[d][n] = static_cast<uint8_t>(RoundDiv(n * 255, d));
    return t;
}

}  // namespace

// Both tables are complete before any code runs, so the merge works from the first call.
constinit const TByteTable ProductTable = MakeProductTable();
constinit const TByteTable QuotientTable = MakeQuotientTable();

// ---------------------------------------------------------------------------------------------
// Portable forms

namespace {

constexpr uint32_t Clamp255(uint32_t v) { return v > 255 ? 255 : v; }

// Every channel c of X becomes (c x W + 128) shr 8, two channels per multiply.
inline uint32_t ScaleChannels(uint32_t X, uint32_t W) {
    const uint32_t rb = ((X & 0x00FF00FFu) * W + 0x00800080u) & 0xFF00FF00u;
    const uint32_t ag = (((X >> 8) & 0x00FF00FFu) * W + 0x00800080u) & 0xFF00FF00u;
    return (rb >> 8) | ag;
}

// The mix for 0 < W < 255: the two scaled pixels added channel by channel (no carries:
// every channel sum stays within 255).
inline TColor32 Mix(TColor32 X, TColor32 Y, uint32_t W) { return ScaleChannels(X, W) + ScaleChannels(Y, 255 - W); }

}  // namespace

TColor32 WeightedMix_Pas(TColor32 X, TColor32 Y, uint32_t W) {
    W = Clamp255(W);
    if (W == 0) return Y;
    if (W == 255) return X;
    return Mix(X, Y, W);
}

void WeightedMixTo_Pas(TColor32 X, TColor32& Y, uint32_t W) {
    W = Clamp255(W);
    if (W == 0) return;
    if (W == 255) {
        Y = X;
        return;
    }
    Y = Mix(X, Y, W);
}

void WeightedMixRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W) {
    W = Clamp255(W);
    if (Count <= 0 || W == 0) return;
    if (W == 255) {
        std::memmove(Dst, Src, static_cast<size_t>(Count) * 4);
        return;
    }
    for (int32_t i = 0; i < Count; ++i) Dst[i] = Mix(Src[i], Dst[i], W);
}

TColor32 AlphaBlend_Pas(TColor32 F, TColor32 B) {
    const uint32_t fa = F >> 24;
    if (fa == 255) return F;
    if (fa == 0) return B;
    return Mix(F, B, fa);
}

void AlphaBlendTo_Pas(TColor32 F, TColor32& B) { B = AlphaBlend_Pas(F, B); }

namespace {
// The master-alpha blend: red, green and blue mixed by W = ((M + 1) x Fa) shr 8, alpha 0.
inline TColor32 BlendMaster(TColor32 F, TColor32 B, uint32_t M, bool& unchanged) {
    const uint32_t fa = F >> 24;
    unchanged = true;
    if (fa == 0) return B;
    const uint32_t w = ((Clamp255(M) + 1) * fa) >> 8;
    if (w == 0) return B;
    unchanged = false;
    return Mix(F, B, w) & 0x00FFFFFFu;
}
}  // namespace

TColor32 AlphaBlendMaster_Pas(TColor32 F, TColor32 B, uint32_t M) {
    bool unchanged;
    return BlendMaster(F, B, M, unchanged);
}

void AlphaBlendMasterTo_Pas(TColor32 F, TColor32& B, uint32_t M) {
    bool unchanged;
    const TColor32 r = BlendMaster(F, B, M, unchanged);
    if (!unchanged) B = r;
}

void AlphaBlendRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) AlphaBlendTo_Pas(Src[i], Dst[i]);
}

void AlphaBlendMasterRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
    for (int32_t i = 0; i < Count; ++i) AlphaBlendMasterTo_Pas(Src[i], Dst[i], M);
}

TColor32 AlphaMerge_Pas(TColor32 F, TColor32 B) {
    const uint32_t fa = F >> 24;
    const uint32_t ba = B >> 24;
    if (fa == 0) return B;
    if (ba == 255) return AlphaBlend(F, B) | 0xFF000000u;
    if (fa == 255) return F;
    if (ba == 0) return F;
    const uint32_t ra = fa + ba - ProductTable[ba][fa];
    TColor32 result = ra << 24;
    for (int shift = 16; shift >= 0; shift -= 8) {  // red, then green, then blue
        const uint32_t fc = (F >> shift) & 0xFF;
        const uint32_t bp = ProductTable[ba][(B >> shift) & 0xFF];
        const uint32_t p = fc >= bp ? bp + ProductTable[fa][fc - bp] : bp - ProductTable[fa][bp - fc];
        result |= static_cast<uint32_t>(QuotientTable[ra][p]) << shift;
    }
    return result;
}

void AlphaMergeTo_Pas(TColor32 F, TColor32& B) { B = AlphaMerge_Pas(F, B); }

TColor32 AlphaMergeMaster_Pas(TColor32 F, TColor32 B, uint32_t M) {
    const uint32_t fa = ProductTable[Clamp255(M)][F >> 24];
    return AlphaMerge_Pas((F & 0x00FFFFFFu) | (fa << 24), B);
}

void AlphaMergeMasterTo_Pas(TColor32 F, TColor32& B, uint32_t M) { B = AlphaMergeMaster_Pas(F, B, M); }

void AlphaMergeRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) Dst[i] = AlphaMerge_Pas(Src[i], Dst[i]);
}

void AlphaMergeMasterRow_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
    for (int32_t i = 0; i < Count; ++i) Dst[i] = AlphaMergeMaster_Pas(Src[i], Dst[i], M);
}

namespace {
// Applies Op to the four channels of C1 and C2.
template <typename Op>
inline TColor32 PerChannel(TColor32 C1, TColor32 C2, Op op) {
    TColor32 r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t a = (C1 >> shift) & 0xFF;
        const uint32_t b = (C2 >> shift) & 0xFF;
        r |= (static_cast<uint32_t>(op(a, b)) & 0xFF) << shift;
    }
    return r;
}
}  // namespace

TColor32 AddColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return std::min<uint32_t>(a + b, 255); });
}

TColor32 SubtractColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return a > b ? a - b : 0u; });
}

TColor32 DivideColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2,
                      [](uint32_t a, uint32_t b) { return a == 0 ? 255u : std::min<uint32_t>((b * 256) / a, 255); });
}

TColor32 ModulateColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return (a * b) >> 8; });
}

TColor32 MaxColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return std::max(a, b); });
}

TColor32 MinColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return std::min(a, b); });
}

TColor32 DifferenceColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return a > b ? a - b : b - a; });
}

TColor32 AverageColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return (a + b) >> 1; });
}

TColor32 ExcludeColors_Pas(TColor32 C1, TColor32 C2) {
    return PerChannel(C1, C2, [](uint32_t a, uint32_t b) { return a + b - ((a * b) >> 7); });
}

TColor32 ScaleColor_Pas(TColor32 C, uint32_t W) {
    TColor32 r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint64_t v = (static_cast<uint64_t>((C >> shift) & 0xFF) * W) >> 8;
        r |= static_cast<uint32_t>(std::min<uint64_t>(v, 255)) << shift;
    }
    return r;
}

// ---------------------------------------------------------------------------------------------
// SSE2 forms of the row routines

#if defined(PIX32_HAS_SSE2_FORMS)

namespace {

// Each 32-bit lane of W32 (a weight 0..255 in its low bits) repeated over the four 16-bit
// lanes of the matching pixel: returns the weights for pixels 0-1 and 2-3.
inline void SpreadWeights(__m128i w32, __m128i& lo, __m128i& hi) {
    const __m128i w16 = _mm_or_si128(w32, _mm_slli_epi32(w32, 16));  // W W per pixel
    lo = _mm_unpacklo_epi32(w16, w16);
    hi = _mm_unpackhi_epi32(w16, w16);
}

// (c x w + 128) shr 8 in 16-bit lanes (the product of two bytes plus 128 fits 16 bits).
inline __m128i Scale16(__m128i c, __m128i w) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c, w), _mm_set1_epi16(128)), 8);
}

// The mix of four pixels: per channel ((X x W + 128) shr 8) + ((Y x (255 - W) + 128) shr 8).
inline __m128i Mix4(__m128i x, __m128i y, __m128i w32) {
    const __m128i zero = _mm_setzero_si128();
    __m128i wlo, whi;
    SpreadWeights(w32, wlo, whi);
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i lo = _mm_add_epi16(Scale16(_mm_unpacklo_epi8(x, zero), wlo),
                                     Scale16(_mm_unpacklo_epi8(y, zero), _mm_sub_epi16(c255, wlo)));
    const __m128i hi = _mm_add_epi16(Scale16(_mm_unpackhi_epi8(x, zero), whi),
                                     Scale16(_mm_unpackhi_epi8(y, zero), _mm_sub_epi16(c255, whi)));
    return _mm_packus_epi16(lo, hi);
}

inline __m128i Select(__m128i mask, __m128i a, __m128i b) {  // mask ? a : b
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

inline __m128i Load(const TColor32* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(TColor32* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// A destination less than four pixels after its source would see, pixel by pixel, results
// that a four-pixel step has not written yet: such rows take the portable form.
inline bool CloseOverlap(const TColor32* Src, const TColor32* Dst) {
    const auto s = reinterpret_cast<uintptr_t>(Src);
    const auto d = reinterpret_cast<uintptr_t>(Dst);
    return d > s && d - s < 16;
}

}  // namespace

void WeightedMixRow_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W) {
    W = Clamp255(W);
    if (Count <= 0 || W == 0 || W == 255 || CloseOverlap(Src, Dst)) {
        WeightedMixRow_Pas(Src, Dst, Count, W);
        return;
    }
    const __m128i w32 = _mm_set1_epi32(static_cast<int>(W));
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4) Store(Dst + i, Mix4(Load(Src + i), Load(Dst + i), w32));
    WeightedMixRow_Pas(Src + i, Dst + i, Count - i, W);
}

void AlphaBlendRow_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count) {
    if (Count <= 0) return;
    if (CloseOverlap(Src, Dst)) {
        AlphaBlendRow_Pas(Src, Dst, Count);
        return;
    }
    const __m128i c255 = _mm_set1_epi32(255);
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4) {
        const __m128i f = Load(Src + i);
        const __m128i b = Load(Dst + i);
        const __m128i fa = _mm_srli_epi32(f, 24);
        __m128i r = Mix4(f, b, fa);
        r = Select(_mm_cmpeq_epi32(fa, c255), f, r);
        r = Select(_mm_cmpeq_epi32(fa, zero), b, r);
        Store(Dst + i, r);
    }
    AlphaBlendRow_Pas(Src + i, Dst + i, Count - i);
}

void AlphaBlendMasterRow_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M) {
    if (Count <= 0) return;
    if (CloseOverlap(Src, Dst)) {
        AlphaBlendMasterRow_Pas(Src, Dst, Count, M);
        return;
    }
    M = Clamp255(M);
    const __m128i m1 = _mm_set1_epi32(static_cast<int>(M + 1));
    const __m128i zero = _mm_setzero_si128();
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4) {
        const __m128i f = Load(Src + i);
        const __m128i b = Load(Dst + i);
        const __m128i fa = _mm_srli_epi32(f, 24);
        // (M + 1) x Fa fits 16 bits, and the high halves of both lanes are 0.
        const __m128i w = _mm_srli_epi32(_mm_mullo_epi16(fa, m1), 8);
        const __m128i r = _mm_and_si128(Mix4(f, b, w), rgb);
        Store(Dst + i, Select(_mm_cmpeq_epi32(w, zero), b, r));
    }
    AlphaBlendMasterRow_Pas(Src + i, Dst + i, Count - i, M);
}

#endif

// ---------------------------------------------------------------------------------------------
// Routine variables: bound to the portable forms until start-up binds them.

TCombineReg WeightedMix = WeightedMix_Pas;
TCombineMem WeightedMixTo = WeightedMixTo_Pas;
TCombineLine WeightedMixRow = WeightedMixRow_Pas;
TBlendReg AlphaBlend = AlphaBlend_Pas;
TBlendMem AlphaBlendTo = AlphaBlendTo_Pas;
TBlendRegEx AlphaBlendMaster = AlphaBlendMaster_Pas;
TBlendMemEx AlphaBlendMasterTo = AlphaBlendMasterTo_Pas;
TBlendLine AlphaBlendRow = AlphaBlendRow_Pas;
TBlendLineEx AlphaBlendMasterRow = AlphaBlendMasterRow_Pas;
TBlendReg AlphaMerge = AlphaMerge_Pas;
TBlendMem AlphaMergeTo = AlphaMergeTo_Pas;
TBlendRegEx AlphaMergeMaster = AlphaMergeMaster_Pas;
TBlendMemEx AlphaMergeMasterTo = AlphaMergeMasterTo_Pas;
TBlendLine AlphaMergeRow = AlphaMergeRow_Pas;
TBlendLineEx AlphaMergeMasterRow = AlphaMergeMasterRow_Pas;

TColorOp AddColors = AddColors_Pas;
TColorOp SubtractColors = SubtractColors_Pas;
TColorOp DivideColors = DivideColors_Pas;
TColorOp ModulateColors = ModulateColors_Pas;
TColorOp MaxColors = MaxColors_Pas;
TColorOp MinColors = MinColors_Pas;
TColorOp DifferenceColors = DifferenceColors_Pas;
TColorOp AverageColors = AverageColors_Pas;
TColorOp ExcludeColors = ExcludeColors_Pas;
TScaleColorProc ScaleColor = ScaleColor_Pas;

TBlendReg ModeBlend[2] = {AlphaBlend_Pas, AlphaMerge_Pas};
TBlendMem ModeBlendTo[2] = {AlphaBlendTo_Pas, AlphaMergeTo_Pas};
TBlendRegEx ModeBlendMaster[2] = {AlphaBlendMaster_Pas, AlphaMergeMaster_Pas};
TBlendMemEx ModeBlendMasterTo[2] = {AlphaBlendMasterTo_Pas, AlphaMergeMasterTo_Pas};
TBlendLine ModeBlendRow[2] = {AlphaBlendRow_Pas, AlphaMergeRow_Pas};
TBlendLineEx ModeBlendMasterRow[2] = {AlphaBlendMasterRow_Pas, AlphaMergeMasterRow_Pas};

void ClearMultimediaState() {}

void Pix32_Blend_Initialization() {
    // The merge family: always portable.
    AlphaMerge = AlphaMerge_Pas;
    AlphaMergeTo = AlphaMergeTo_Pas;
    AlphaMergeMaster = AlphaMergeMaster_Pas;
    AlphaMergeMasterTo = AlphaMergeMasterTo_Pas;
    AlphaMergeRow = AlphaMergeRow_Pas;
    AlphaMergeMasterRow = AlphaMergeMasterRow_Pas;

    // Mixing and blending: the portable forms, with the SSE2 row forms where the processor
    // has them (they give the portable results exactly).
    WeightedMix = WeightedMix_Pas;
    WeightedMixTo = WeightedMixTo_Pas;
    WeightedMixRow = WeightedMixRow_Pas;
    AlphaBlend = AlphaBlend_Pas;
    AlphaBlendTo = AlphaBlendTo_Pas;
    AlphaBlendMaster = AlphaBlendMaster_Pas;
    AlphaBlendMasterTo = AlphaBlendMasterTo_Pas;
    AlphaBlendRow = AlphaBlendRow_Pas;
    AlphaBlendMasterRow = AlphaBlendMasterRow_Pas;
#if defined(PIX32_HAS_SSE2_FORMS)
    if (HasSSE2()) {
        WeightedMixRow = WeightedMixRow_SSE2;
        AlphaBlendRow = AlphaBlendRow_SSE2;
        AlphaBlendMasterRow = AlphaBlendMasterRow_SSE2;
    }
#endif

    AddColors = AddColors_Pas;
    SubtractColors = SubtractColors_Pas;
    DivideColors = DivideColors_Pas;
    ModulateColors = ModulateColors_Pas;
    MaxColors = MaxColors_Pas;
    MinColors = MinColors_Pas;
    DifferenceColors = DifferenceColors_Pas;
    AverageColors = AverageColors_Pas;
    ExcludeColors = ExcludeColors_Pas;
    ScaleColor = ScaleColor_Pas;

    ModeBlend[cmBlend] = AlphaBlend;
    ModeBlendTo[cmBlend] = AlphaBlendTo;
    ModeBlendMaster[cmBlend] = AlphaBlendMaster;
    ModeBlendMasterTo[cmBlend] = AlphaBlendMasterTo;
    ModeBlendRow[cmBlend] = AlphaBlendRow;
    ModeBlendMasterRow[cmBlend] = AlphaBlendMasterRow;
    ModeBlend[cmMerge] = AlphaMerge;
    ModeBlendTo[cmMerge] = AlphaMergeTo;
    ModeBlendMaster[cmMerge] = AlphaMergeMaster;
    ModeBlendMasterTo[cmMerge] = AlphaMergeMasterTo;
    ModeBlendRow[cmMerge] = AlphaMergeRow;
    ModeBlendMasterRow[cmMerge] = AlphaMergeMasterRow;
}

}  // namespace pix32
