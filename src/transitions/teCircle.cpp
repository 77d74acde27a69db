#include "transitions/teCircle.h"

#include "classlib/TypInfo.h"
#include "transitions/teEffectProps.h"

#include <cmath>

#include "platform/gdi.h"

namespace te {

namespace {

// Nearest integer of the square root of a*a + b*b, halves to even.
int32_t RoundedHypot(int64_t a, int64_t b) {
    return static_cast<int32_t>(std::nearbyint(std::sqrt(static_cast<double>(a * a + b * b))));
}

win::RECT Inflate(win::RECT r, int32_t d) { return MakeRect(r.left - d, r.top - d, r.right + d, r.bottom + d); }

}  // namespace

int CircleSubStyleCount(int Style) {
    switch (Style) {
        case 0: return 0;
        case 1: return 2;
        case 2:
        case 3: return 8;
        default: return 1;
    }
}

int CircleReversedSubStyle(int Style, int SubStyle) {
    if (Style == 1 && (SubStyle == 1 || SubStyle == 2)) return 3 - SubStyle;
    if ((Style == 2 || Style == 3) && SubStyle >= 1 && SubStyle <= 8)
        return SubStyle <= 4 ? SubStyle + 4 : SubStyle - 4;
    return SubStyle;
}

int32_t TCircleGeometry::FrameCount(int Style, int SubStyle, int32_t W, int32_t H) {
    switch (Style) {
        case 1: return RoundedHypot(H / 2, W / 2) + 1;
        case 2: return RoundedHypot(H, W) + 1;
        case 3:
            switch (SubStyle) {
                case 1:
                case 2:
                case 5:
                case 6: return RoundedHypot(H / 2, W) + 1;
                case 3:
                case 4:
                case 7:
                case 8: return RoundedHypot(H, W / 2) + 1;
                default: return 0;
            }
        default: return 0;
    }
}

bool TCircleGeometry::Shrinking(int Style, int SubStyle) {
    if (Style == 1) return SubStyle == 2;
    if (Style == 2 || Style == 3) return SubStyle >= 5 && SubStyle <= 8;
    return false;
}

win::POINT TCircleGeometry::Centre(int Style, int SubStyle, int32_t W, int32_t H) {
    if (Style == 2) {
        switch ((SubStyle - 1) % 4) {
            case 0: return win::POINT{0, 0};
            case 1: return win::POINT{W, H};
            case 2: return win::POINT{0, H};
            default: return win::POINT{W, 0};
        }
    }
    if (Style == 3) {
        switch ((SubStyle - 1) % 4) {
            case 0: return win::POINT{0, H / 2};
            case 1: return win::POINT{W, H / 2};
            case 2: return win::POINT{W / 2, 0};
            default: return win::POINT{W / 2, H};
        }
    }
    return win::POINT{W / 2, H / 2};
}

win::RECT TCircleGeometry::Box(win::POINT c, int32_t r) { return MakeRect(c.x - r, c.y - r, c.x + r, c.y + r); }

win::RECT TCircleGeometry::Inner(win::POINT c, int32_t r) {
    const int32_t half = static_cast<int32_t>(std::nearbyint(std::sqrt(static_cast<double>(int64_t(r) * r / 2))));
    return Inflate(Box(c, r), -(r + 1 - half));
}

void TCircleGeometry::DrawFrame(cl::TCanvas* Canvas, int32_t k, int32_t c, int32_t FC, bool Smooth, bool Draw,
                                TTETransitionData* Data) const {
    if (SubStyle < 1 || SubStyle > CircleSubStyleCount(Style)) {
        Data->UpdateRect = MakeRect(0, 0, 0, 0);
        Data->UnUpdateRect = MakeRect(0, 0, 0, 0);
        return;
    }
    const win::POINT centre = Centre(Style, SubStyle, Data->Width, Data->Height);
    if (!Shrinking(Style, SubStyle)) {
        Data->UpdateRect = Box(centre, k);
        Data->UnUpdateRect = Inner(centre, k - c);
        if (Draw && Canvas) Canvas->Ellipse(Box(centre, k));
        return;
    }
    const win::RECT box = Box(centre, FC - k);
    Data->UnUpdateRect = Inner(centre, FC - k);
    if (Style == 1) {
        Data->UpdateRect = Inflate(box, c);
        if (!Draw || !Canvas) return;
        const win::RECT skip = Data->UnUpdateRect;
        if (Smooth && !RectEmpty(skip)) {
            // The inside of the skip square keeps its grey; only the ring is redrawn.
            win::HDC dc = Canvas->GetHandle();
            win::ExcludeClipRect(dc, skip.left + 1, skip.top + 1, skip.right - 1, skip.bottom - 1);
            Canvas->Ellipse(box);
            win::SelectClipRgn(dc, nullptr);
        } else {
            Canvas->Ellipse(box);
        }
        return;
    }
    Data->UpdateRect = Inflate(Box(centre, FC - k + c), c);
    if (Draw && Canvas) Canvas->Ellipse(box);
}

TCircleTransition::TCircleTransition(cl::TComponent* AOwner) : TMaskedTransition(AOwner) {
    FStyleCount = 3;
    FExtraInfo = tetiThreadSafe;
}

uint16_t TCircleTransition::ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) {
    return static_cast<uint16_t>(CircleReversedSubStyle(AStyle, ASubStyle));
}

bool TCircleTransition::InvertsMask() { return TCircleGeometry::Shrinking(EffectiveStyle(), EffectiveSubStyle()); }

int32_t TCircleTransition::CalcFrameCount(TTETransitionData* Data) {
    return TCircleGeometry::FrameCount(EffectiveStyle(), EffectiveSubStyle(), Data->Width, Data->Height);
}

void TCircleTransition::DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool, bool Draw, TTETransitionData* Data,
                                      int32_t, int32_t Step) {
    TCircleGeometry g{EffectiveStyle(), EffectiveSubStyle()};
    g.DrawFrame(Mask ? Mask->GetCanvas() : nullptr, Frame, Step, Data->Frames, SmoothingOn(), Draw, Data);
}

void StartUpteCircle() {
    static bool done = false;
    if (done) return;
    done = true;
    StartUpteMasked();
    cl::DeclarePublished(TCircleTransition::StaticClass(), {MaskedStylePropInfo(), MaskedSubStylePropInfo(),
                                                            MaskedSmoothingLevelPropInfo(), ReversedPropInfo()});
    RegisterTransitionClass(TCircleTransition::StaticClass());
}

}  // namespace te
