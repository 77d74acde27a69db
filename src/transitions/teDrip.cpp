#include "transitions/teDrip.h"

#include <algorithm>
#include <cstring>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "transitions/teEffectProps.h"

namespace te {

TDripTransition::TDripTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {
    AllowedDirections = DirectionBit(tedRight) | DirectionBit(tedLeft) | DirectionBit(tedDown) | DirectionBit(tedUp) |
                        DirectionBit(tedRandom);
    FDirection = tedLeft;
}

cl::TCanvas* TDripTransition::Surface(TTETransitionData* Data) const {
    return Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
}

void TDripTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    if (cl::TCanvas* s = Surface(Data)) FOldStretchMode = win::SetStretchBltMode(s->GetHandle(), win::COLORONCOLOR);
    const int W = Data->Width, H = Data->Height;
    switch (EffectiveDirection()) {
        case tedRight:
            Frames = W - 1;
            FBand = MakeRect(W, 0, W, H);
            break;
        case tedLeft:
            Frames = W - 1;
            FBand = MakeRect(0, 0, 0, H);
            break;
        case tedDown:
            Frames = H - 1;
            FBand = MakeRect(0, H, W, H);
            break;
        default:
            Frames = H - 1;
            FBand = MakeRect(0, 0, W, 0);
            break;
    }
    FRest = MakeRect(0, 0, W, H);
}

void TDripTransition::Finalize(TTETransitionData* Data) {
    cl::TCanvas* s = Surface(Data);
    if (s && FOldStretchMode) win::SetStretchBltMode(s->GetHandle(), FOldStretchMode);
    FOldStretchMode = 0;
    TTimedTransitionEffect::Finalize(Data);
}

void TDripTransition::ExecuteFrame(TTETransitionData* Data, int32_t, int32_t Step, int32_t) {
    const int c = Step, W = Data->Width, H = Data->Height;
    const TTEEffectDirection d = EffectiveDirection();
    const bool horizontal = d == tedRight || d == tedLeft;
    win::RECT& b = FBand;
    switch (d) {
        case tedRight: b = MakeRect(b.left - c, b.top, b.left, b.bottom); break;
        case tedLeft: b = MakeRect(b.right, b.top, b.right + c, b.bottom); break;
        case tedDown: b = MakeRect(b.left, b.top - c, b.right, b.top); break;
        default: b = MakeRect(b.left, b.bottom, b.right, b.bottom + c); break;
    }
    win::RECT rest;
    win::SubtractRect(&rest, &FRest, &b);
    FRest = rest;
    cl::TCanvas* surface = Surface(Data);
    if (!surface || !Data->DstImage) return;
    win::HDC dc = surface->GetHandle();
    win::HDC src = Data->DstImage->GetCanvas()->GetHandle();
    const win::RECT area = MakeRect(0, 0, W, H);
    win::RECT band;
    if (IntersectRects(band, b, area)) {
        win::BitBlt(dc, band.left, band.top, band.right - band.left, band.bottom - band.top, src, band.left, band.top,
                    win::SRCCOPY);
        win::UnionRect(&Data->UpdateRect, &Data->UpdateRect, &band);
    }
    win::RECT r;
    if (!IntersectRects(r, FRest, area)) return;
    if (horizontal) {
        if (b.left < 0 || b.left >= W) return;
        win::StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, src, b.left, 0, 1, H, win::SRCCOPY);
    } else {
        if (b.top < 0 || b.top >= H || !Data->Bitmap) return;
        const auto* line = static_cast<const uint8_t*>(Data->DstImage->ScanLine(b.top));
        const size_t bytes = static_cast<size_t>(std::min(Data->DstImage->RowBytes(), Data->Bitmap->RowBytes()));
        for (int y = r.top; y < r.bottom; ++y) std::memcpy(Data->Bitmap->ScanLine(y), line, bytes);
    }
    win::UnionRect(&Data->UpdateRect, &Data->UpdateRect, &r);
}

uint16_t TDripTransition::GetInfo(TTETransitionDevice* ADevice) {
    uint16_t flags = static_cast<uint16_t>((TTimedTransitionEffect::GetInfo(ADevice) | 0x131) & ~tetiNeedSrcBmp);
    TTEEffectDirection d = EffectiveDirection();
    if (d == tedDown || d == tedUp) flags |= tetiNeedOffScreenBmp;
    return flags;
}

void StartUpteDrip() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(TDripTransition::StaticClass(), {DirectionPropInfo(tedLeft), ReversedPropInfo(),
                                                              PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TDripTransition::StaticClass());
}

}  // namespace te
