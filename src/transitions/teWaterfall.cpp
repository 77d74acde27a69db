#include "transitions/teWaterfall.h"

#include "classlib/TypInfo.h"
#include "transitions/teEffectProps.h"

#include <algorithm>

#include "classlib/SysUtils.h"

namespace te {

int32_t TWaterfallGeometry::FrameCount(TTEEffectDirection Direction, int32_t Width, int32_t Height) {
    switch (Direction) {
        case tedRight:
        case tedLeft: return Width * 80 / 100;
        case tedDown:
        case tedUp: return Height * 80 / 100;
        default: return 0;
    }
}

void TWaterfallGeometry::Setup(TTEEffectDirection ADirection, int32_t Width, int32_t Height) {
    Direction = ADirection;
    const bool vertical = Direction == tedDown || Direction == tedUp;
    Progress.assign(static_cast<size_t>(std::max(0, vertical ? Width : Height)), 0);
}

void TWaterfallGeometry::DrawFrame(cl::TCanvas* Canvas, int32_t Step, bool Draw, TTETransitionData* Data) {
    const int32_t W = Data->Width, H = Data->Height;
    const bool vertical = Direction == tedDown || Direction == tedUp;
    const int32_t L = vertical ? H : W;
    const bool draw = Draw && Canvas != nullptr;
    int32_t lo = L, hi = 0;
    for (size_t n = 0; n < Progress.size(); ++n) {
        const int32_t i = static_cast<int32_t>(n);
        const int32_t r = cl::Random(4);
        if (r == 0) continue;
        const int32_t f = Progress[n];
        lo = std::min(lo, f);
        if (f >= L) continue;
        const int32_t e = f + Step * r;
        // The progress is 16 bits wide; a line never needs to go past its length.
        Progress[n] = static_cast<uint16_t>(std::min<int32_t>(e, 0xFFFF));
        hi = std::max(hi, e);
        if (!draw) continue;
        // A piece from f to e, both ends included.
        switch (Direction) {
            case tedDown:
                Canvas->MoveTo(i, f);
                Canvas->LineTo(i, e + 1);
                break;
            case tedUp:
                Canvas->MoveTo(i, H - e);
                Canvas->LineTo(i, H - f + 1);
                break;
            case tedRight:
                Canvas->MoveTo(f, i);
                Canvas->LineTo(e + 1, i);
                break;
            case tedLeft:
                Canvas->MoveTo(W - e, i);
                Canvas->LineTo(W - f + 1, i);
                break;
            default: break;
        }
    }
    if (hi < lo) {
        hi = Progress.empty() ? 0 : Progress[0];
        lo = lo - 1;
    }
    switch (Direction) {
        case tedDown: Data->UpdateRect = MakeRect(0, lo, W, hi); break;
        case tedUp: Data->UpdateRect = MakeRect(0, H - hi, W, H - lo); break;
        case tedRight: Data->UpdateRect = MakeRect(lo, 0, hi, H); break;
        case tedLeft: Data->UpdateRect = MakeRect(W - hi, 0, W - lo, H); break;
        default: Data->UpdateRect = MakeRect(0, 0, 0, 0); break;
    }
}

TWaterfallTransition::TWaterfallTransition(cl::TComponent* AOwner) : TMaskedTransition(AOwner) {
    AllowedDirections = DirectionBit(tedRight) | DirectionBit(tedLeft) | DirectionBit(tedDown) | DirectionBit(tedUp) |
                        DirectionBit(tedRandom);
    FDirection = tedDown;
    FExtraInfo = tetiThreadSafe;
}

void TWaterfallTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TMaskedTransition::Initialize(Data, Frames);
    FGeometry.Setup(EffectiveDirection(), Data->Width, Data->Height);
}

void TWaterfallTransition::Finalize(TTETransitionData* Data) {
    FGeometry.Progress.clear();
    FGeometry.Progress.shrink_to_fit();
    TMaskedTransition::Finalize(Data);
}

int32_t TWaterfallTransition::CalcFrameCount(TTETransitionData* Data) {
    return TWaterfallGeometry::FrameCount(EffectiveDirection(), Data->Width, Data->Height);
}

void TWaterfallTransition::DrawMaskFrame(cl::TBitmap* Mask, int32_t, bool, bool Draw, TTETransitionData* Data, int32_t,
                                         int32_t Step) {
    FGeometry.DrawFrame(Mask ? Mask->GetCanvas() : nullptr, Step, Draw, Data);
}

void StartUpteWaterfall() {
    static bool done = false;
    if (done) return;
    done = true;
    StartUpteMasked();
    cl::DeclarePublished(TWaterfallTransition::StaticClass(), {DirectionPropInfo(tedDown), ReversedPropInfo()});
    RegisterTransitionClass(TWaterfallTransition::StaticClass());
}

}  // namespace te
