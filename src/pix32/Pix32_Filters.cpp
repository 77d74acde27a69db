#include "pix32/Pix32_Filters.h"

namespace pix32 {

namespace {

struct XorOp {
    static TColor32 Apply(TColor32 a, uint32_t m) { return a ^ m; }
};
struct OrOp {
    static TColor32 Apply(TColor32 a, uint32_t m) { return a | m; }
};
struct AndOp {
    static TColor32 Apply(TColor32 a, uint32_t m) { return a & m; }
};

// Sixteen pixels per step, then the rest one by one.
template <class Op>
void InPlace(TColor32* Dst, uint32_t Mask, int32_t Count) {
    if (Count <= 0) return;
    int32_t i = 0;
    for (; i + 16 <= Count; i += 16)
        for (int32_t k = 0; k < 16; ++k) Dst[i + k] = Op::Apply(Dst[i + k], Mask);
    for (; i < Count; ++i) Dst[i] = Op::Apply(Dst[i], Mask);
}

template <class Op>
void Copy(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask) {
    if (Count <= 0) return;
    for (int32_t i = 0; i < Count; ++i) Dst[i] = Op::Apply(Src[i], Mask);
}

}  // namespace

void XorRow_Pas(TColor32* Dst, uint32_t Mask, int32_t Count) { InPlace<XorOp>(Dst, Mask, Count); }
void OrRow_Pas(TColor32* Dst, uint32_t Mask, int32_t Count) { InPlace<OrOp>(Dst, Mask, Count); }
void AndRow_Pas(TColor32* Dst, uint32_t Mask, int32_t Count) { InPlace<AndOp>(Dst, Mask, Count); }
void XorRowCopy_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask) {
    Copy<XorOp>(Src, Dst, Count, Mask);
}
void OrRowCopy_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask) {
    Copy<OrOp>(Src, Dst, Count, Mask);
}
void AndRowCopy_Pas(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t Mask) {
    Copy<AndOp>(Src, Dst, Count, Mask);
}

TLogicalOperatorInPlace XorRow = XorRow_Pas;
TLogicalOperatorInPlace OrRow = OrRow_Pas;
TLogicalOperatorInPlace AndRow = AndRow_Pas;
TLogicalOperatorCopy XorRowCopy = XorRowCopy_Pas;
TLogicalOperatorCopy OrRowCopy = OrRowCopy_Pas;
TLogicalOperatorCopy AndRowCopy = AndRowCopy_Pas;

void Pix32_Filters_Initialization() {
    XorRow = XorRow_Pas;
    OrRow = OrRow_Pas;
    AndRow = AndRow_Pas;
    XorRowCopy = XorRowCopy_Pas;
    OrRowCopy = OrRowCopy_Pas;
    AndRowCopy = AndRowCopy_Pas;
}

}  // namespace pix32
