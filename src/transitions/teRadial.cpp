#include "transitions/teRadial.h"

#include "classlib/TypInfo.h"
#include "transitions/teEffectProps.h"

#include <algorithm>
#include <vector>

namespace te {

namespace {

// The hands. Centre hands start at the middle of an edge and turn clockwise (+) or
// counter-clockwise (-); edge hands turn around the middle of an edge, corner hands
// around a corner. Rev marks an edge or corner hand run backwards over the run's frames.
// clang-format off
enum HandId : int {
    hTp, hTm, hRp, hRm, hBp, hBm, hLp, hLm,
    hLe, hRe, hTe, hBe, hK0, hK1, hK3, hK2,
    Rev = 0x100,
};
// clang-format on

}  // namespace

struct TRadialGeometry::Ctx {
    cl::TCanvas* Canvas;
    TTETransitionData* Data;
    int32_t FC;
    bool Smooth;
    bool Report;
    bool Draw;
};

int RadialSubStyleCount(int Style) {
    switch (Style) {
        case 0: return 0;
        case 1:
        case 2:
        case 3:
        case 4:
        case 6: return 8;
        case 5:
        case 7: return 16;
        default: return 1;
    }
}

int RadialReversedSubStyle(int Style, int SubStyle) {
    int count = 0;
    if (Style >= 1 && Style <= 7) count = RadialSubStyleCount(Style);
    if (SubStyle < 1 || SubStyle > count) return SubStyle;
    return (SubStyle & 1) ? SubStyle + 1 : SubStyle - 1;
}

void TRadialGeometry::Setup(int32_t Width, int32_t Height, int AStyle, int ASubStyle) {
    Style = AStyle;
    SubStyle = ASubStyle;
    W1 = Width + ((Width % 2 == 0) ? 1 : 0);
    H1 = Height + ((Height % 2 == 0) ? 1 : 0);
    CX = W1 / 2;
    CY = H1 / 2;
    T = 2 * W1 + 2 * H1 + 4;
    P1 = W1 + 2;
    P2 = W1 + H1 + 3;
    P3 = H1 + 2 * W1 + 4;
    // Corners a style's polygons may not pass (bit i = corner Ci).
    uint8_t cleared = 0;
    const int s = SubStyle;
    switch (Style) {
        case 4:
            if (s <= 2)
                cleared = 0x1 | 0x8;
            else if (s <= 4)
                cleared = 0x2 | 0x4;
            else if (s <= 6)
                cleared = 0x1 | 0x2;
            else
                cleared = 0x4 | 0x8;
            break;
        case 5:
            if (s <= 4)
                cleared = 0x1 | 0x8;
            else if (s <= 8)
                cleared = 0x2 | 0x4;
            else if (s <= 12)
                cleared = 0x1 | 0x2;
            else
                cleared = 0x4 | 0x8;
            break;
        case 6:
            if (s <= 2)
                cleared = 0xF & ~0x4;
            else if (s <= 4)
                cleared = 0xF & ~0x8;
            else if (s <= 6)
                cleared = 0xF & ~0x2;
            else
                cleared = 0xF & ~0x1;
            break;
        case 7:
            if (s <= 4)
                cleared = 0xF & ~0x4;
            else if (s <= 8)
                cleared = 0xF & ~0x8;
            else if (s <= 12)
                cleared = 0xF & ~0x2;
            else
                cleared = 0xF & ~0x1;
            break;
        default: break;
    }
    CornerFlags = static_cast<uint8_t>(0xF & ~cleared);
}

int32_t TRadialGeometry::FrameCount(bool Smooth) const {
    const int s = SubStyle;
    switch (Style) {
        case 1: return T;
        case 2: return Smooth ? T / 2 : T;
        case 3: return T / 4 + ((Smooth && s >= 5 && s <= 8) ? 1 : 0);
        case 4: return s <= 4 ? T - H1 : T - W1;
        case 5: {
            int32_t n = s <= 8 ? T - H1 : T - W1;
            return Smooth ? n / 2 : n;
        }
        case 6: return T / 2;
        case 7: return Smooth ? T / 4 : T / 2;
        default: return 0;
    }
}

win::POINT TRadialGeometry::PerimeterPoint(int32_t P) const {
    if (P < P1) return win::POINT{P - 2, -1};
    if (P < P2) return win::POINT{W1, P - P1 - 1};
    if (P < P3) return win::POINT{P3 - P - 1, H1};
    return win::POINT{-1, P3 + H1 - P};
}

int32_t TRadialGeometry::Corner(int i) const {
    switch (i) {
        case 0: return 1;
        case 1: return P1;
        case 2: return P2;
        default: return P3;
    }
}

win::POINT TRadialGeometry::CornerPoint(int i) const {
    switch (i) {
        case 0: return win::POINT{-1, -1};
        case 1: return win::POINT{W1, -1};
        case 2: return win::POINT{W1, H1};
        default: return win::POINT{-1, H1};
    }
}

void TRadialGeometry::Slice(const Ctx& ctx, win::POINT Pivot, int32_t Count, int32_t P) const {
    if (Count < 1) return;
    std::vector<cl::TPoint> v;
    v.reserve(7);
    v.push_back(Pivot);
    if (Count == 1) {
        v.push_back(PerimeterPoint(P));
        if (ctx.Draw) {
            ctx.Canvas->MoveTo(Pivot.x, Pivot.y);
            ctx.Canvas->LineTo(v[1].x, v[1].y);
        }
    } else {
        int32_t s = P - Count + 1;
        if (s < 1)
            s += T;
        else if (s > T)
            s -= T;
        v.push_back(PerimeterPoint(s));
        if (P < s) {
            for (int i = 0; i < 4; ++i)
                if ((CornerFlags >> i & 1) && Corner(i) > s) v.push_back(CornerPoint(i));
            for (int i = 0; i < 4; ++i)
                if ((CornerFlags >> i & 1) && Corner(i) < P) v.push_back(CornerPoint(i));
        } else {
            for (int i = 0; i < 4; ++i)
                if ((CornerFlags >> i & 1) && Corner(i) > s && Corner(i) < P) v.push_back(CornerPoint(i));
        }
        v.push_back(PerimeterPoint(P));
        if (ctx.Draw) ctx.Canvas->Polygon(v);
    }
    win::RECT bounds = MakeRect(v[0].x, v[0].y, v[0].x + 1, v[0].y + 1);
    for (const auto& pt : v) {
        bounds.left = std::min<int32_t>(bounds.left, pt.x);
        bounds.top = std::min<int32_t>(bounds.top, pt.y);
        bounds.right = std::max<int32_t>(bounds.right, pt.x + 1);
        bounds.bottom = std::max<int32_t>(bounds.bottom, pt.y + 1);
    }
    UniteRect(ctx.Data->UpdateRect, bounds);
    if (ctx.Report && ctx.Data->DirtyRects) ctx.Data->DirtyRects->AddRect(bounds);
}

void TRadialGeometry::Hand(const Ctx& ctx, int Id, int32_t F, int32_t C) const {
    auto wrap = [this](int32_t p) { return p > T ? p - T : p; };
    // Centre hands run counter-clockwise over the whole round, edge and corner hands
    // backwards over the run's frames.
    auto back = [&](int32_t f) {
        int32_t r = T + C - f + 1;
        return r < 1 ? r + T : r;
    };
    if (Id & Rev) {
        Id &= ~Rev;
        F = ctx.FC + C - F + 1;
    }
    const win::POINT M{CX, CY};
    switch (Id) {
        case hTm: F = back(F); [[fallthrough]];
        case hTp: Slice(ctx, M, C, wrap(F + W1 / 2 + 1)); break;
        case hRm: F = back(F); [[fallthrough]];
        case hRp: Slice(ctx, M, C, wrap(F + T / 4 + W1 / 2 + 1)); break;
        case hBm: F = back(F); [[fallthrough]];
        case hBp: Slice(ctx, M, C, wrap(F + W1 + H1 + (W1 - 1) / 2 + 3)); break;
        case hLm: F = back(F); [[fallthrough]];
        case hLp: Slice(ctx, M, C, wrap(F + 2 * W1 + H1 + (H1 - 1) / 2 + 4)); break;
        case hLe: Slice(ctx, win::POINT{-1, CY}, C, F); break;
        case hRe: Slice(ctx, win::POINT{W1, CY}, C, wrap(F + P2 - 1)); break;
        case hTe: {
            int32_t p = F + P1 - 1;
            if (p < 1) p += T;
            Slice(ctx, win::POINT{CX, -1}, C, p);
            break;
        }
        case hBe: Slice(ctx, win::POINT{CX, H1}, C, wrap(F + P3 - 1)); break;
        case hK0: Slice(ctx, CornerPoint(0), C, F + P1 - 1); break;
        case hK1: Slice(ctx, CornerPoint(1), C, wrap(F + P2 - 1)); break;
        case hK3: Slice(ctx, CornerPoint(3), C, F); break;
        case hK2: Slice(ctx, CornerPoint(2), C, wrap(F + P3 - 1)); break;
        default: break;
    }
}

// Two hands sharing the frames of a span without smoothing: hand A advances on the odd
// frames, hand B on the even ones; the hand owning the span's first frame draws first.
void TRadialGeometry::TwoHands(const Ctx& ctx, int HandA, int32_t ArgA, int HandB, int32_t ArgB, int32_t K,
                               int32_t C) const {
    const int32_t e = K - C + 1;
    const int32_t first = C - C / 2;
    const int32_t second = C / 2;
    if (e & 1) {
        Hand(ctx, HandA, ArgA, first);
        if (C >= 2) Hand(ctx, HandB, ArgB, second);
    } else {
        Hand(ctx, HandB, ArgB, first);
        if (C >= 2) Hand(ctx, HandA, ArgA, second);
    }
}

void TRadialGeometry::Frame(const Ctx& ctx, int Sub, int32_t k, int32_t c) const {
    const int32_t FC = ctx.FC;
    const int32_t kp = (k + 1) / 2;
    const int32_t km = k / 2;
    auto backT = [&](int32_t v) { return v <= 0 ? v + T : v; };
    switch (Style) {
        case 1: {
            static const int hands[8] = {hTp, hTm, hRp, hRm, hBp, hBm, hLp, hLm};
            if (Sub >= 1 && Sub <= 8) Hand(ctx, hands[Sub - 1], k, c);
            break;
        }
        case 2:
            if (ctx.Smooth) {
                switch (Sub) {
                    case 1:
                        Hand(ctx, hTp, k, c);
                        Hand(ctx, hBp, k, c);
                        break;
                    case 2:
                        Hand(ctx, hTm, k, c);
                        Hand(ctx, hBm, k, c);
                        break;
                    case 3:
                        Hand(ctx, hRp, k, c);
                        Hand(ctx, hLp, k, c);
                        break;
                    case 4:
                        Hand(ctx, hRm, k, c);
                        Hand(ctx, hLm, k, c);
                        break;
                    case 5:
                        Hand(ctx, hTp, k, c);
                        Hand(ctx, hTm, k + 1, c);
                        break;
                    case 6:
                        Hand(ctx, hBp, k, c);
                        Hand(ctx, hBm, k + 1, c);
                        break;
                    case 7:
                        Hand(ctx, hRp, k, c);
                        Hand(ctx, hRm, k + 1, c);
                        break;
                    case 8:
                        Hand(ctx, hLp, k, c);
                        Hand(ctx, hLm, k + 1, c);
                        break;
                    default: break;
                }
            } else {
                switch (Sub) {
                    case 1: TwoHands(ctx, hTp, kp, hBp, km, k, c); break;
                    case 3: TwoHands(ctx, hRp, kp, hLp, km, k, c); break;
                    case 5: TwoHands(ctx, hTp, kp, hTm, km + 1, k, c); break;
                    case 7: TwoHands(ctx, hRp, kp, hRm, km, k, c); break;
                    case 2:
                    case 4:
                    case 6:
                    case 8: Frame(ctx, Sub - 1, backT(T + c - k + 2), c); break;
                    default: break;
                }
            }
            break;
        case 3:
            switch (Sub) {
                case 1:
                    Hand(ctx, hTp, k, c);
                    Hand(ctx, hRp, k, c);
                    Hand(ctx, hBp, k, c);
                    Hand(ctx, hLp, k, c);
                    break;
                case 2:
                    Hand(ctx, hTm, k, c);
                    Hand(ctx, hRm, k, c);
                    Hand(ctx, hBm, k, c);
                    Hand(ctx, hLm, k, c);
                    break;
                case 3:
                    Hand(ctx, hTp, k, c);
                    Hand(ctx, hTm, k + 1, c);
                    Hand(ctx, hBp, k, c);
                    Hand(ctx, hBm, k + 1, c);
                    break;
                case 4:
                    Hand(ctx, hRp, k, c);
                    Hand(ctx, hRm, k + 1, c);
                    Hand(ctx, hLp, k, c);
                    Hand(ctx, hLm, k + 1, c);
                    break;
                case 5:
                    Hand(ctx, hTp, k, c);
                    Hand(ctx, hBm, k, c);
                    Hand(ctx, hLp, k, c);
                    Hand(ctx, hLm, k, c);
                    break;
                case 6:
                    Hand(ctx, hTm, k, c);
                    Hand(ctx, hRp, k, c);
                    Hand(ctx, hRm, k, c);
                    Hand(ctx, hBp, k, c);
                    break;
                case 7:
                    Hand(ctx, hTp, k, c);
                    Hand(ctx, hTm, k, c);
                    Hand(ctx, hRp, k, c);
                    Hand(ctx, hLm, k, c);
                    break;
                case 8:
                    Hand(ctx, hLp, k, c);
                    Hand(ctx, hRm, k, c);
                    Hand(ctx, hBp, k, c);
                    Hand(ctx, hBm, k, c);
                    break;
                default: break;
            }
            break;
        case 4: {
            static const int hands[8] = {hLe, hLe | Rev, hRe | Rev, hRe, hTe | Rev, hTe, hBe, hBe | Rev};
            if (Sub >= 1 && Sub <= 8) Hand(ctx, hands[Sub - 1], k, c);
            break;
        }
        case 5: {
            const int32_t rk = FC + c - k + 1;  // the reversed frame of the "as n at" entries
            if (ctx.Smooth) {
                switch (Sub) {
                    case 1:
                        Hand(ctx, hLe, k, c);
                        Hand(ctx, hLe, FC + k + 1, c);
                        break;
                    case 2:
                        Hand(ctx, hLe, FC + c - k + 2, c);
                        Hand(ctx, hLe, c + 2 * FC - k + 2, c);
                        break;
                    case 3:
                        Hand(ctx, hLe, k, c);
                        Hand(ctx, hLe, c + 2 * FC - k + 2, c);
                        break;
                    case 5:
                        Hand(ctx, hRe, c + 2 * FC - k + 2, c);
                        Hand(ctx, hRe | Rev, k - 1, c);
                        break;
                    case 7:
                        Hand(ctx, hRe | Rev, FC + c - k + 1, c);
                        Hand(ctx, hRe, c + 2 * FC - k + 2, c);
                        break;
                    case 9:
                        Hand(ctx, hTe | Rev, k - 1, c);
                        Hand(ctx, hTe, 2 * FC - k + 3, c);
                        break;
                    case 10:
                        Hand(ctx, hTe, k, c);
                        Hand(ctx, hTe, FC + k + 1, c);
                        break;
                    case 11:
                        Hand(ctx, hTe, k, c);
                        Hand(ctx, hTe, c + 2 * FC - k + 2, c);
                        break;
                    case 13:
                        Hand(ctx, hBe, k, c);
                        Hand(ctx, hBe, FC + k + 1, c);
                        break;
                    case 15:
                        Hand(ctx, hBe, k, c);
                        Hand(ctx, hBe | Rev, k - FC - 1, c);
                        break;
                    case 14: Frame(ctx, 13, FC + c - k + 2, c); break;
                    case 4:
                    case 6:
                    case 8:
                    case 12:
                    case 16: Frame(ctx, Sub - 1, rk, c); break;
                    default: break;
                }
            } else {
                switch (Sub) {
                    case 1: TwoHands(ctx, hLe, kp, hLe, km + P1 + CY, k, c); break;
                    case 3: TwoHands(ctx, hLe, kp, hLe | Rev, km, k, c); break;
                    case 5: TwoHands(ctx, hRe | Rev, kp, hRe | Rev, km + P1 + CY, k, c); break;
                    case 7: TwoHands(ctx, hRe | Rev, kp, hRe, km, k, c); break;
                    case 9: TwoHands(ctx, hTe | Rev, kp, hTe | Rev, km + H1 + CX + 2, k, c); break;
                    case 11: TwoHands(ctx, hTe | Rev, kp, hTe, km, k, c); break;
                    case 13: TwoHands(ctx, hBe, kp, hBe, km + H1 + CX + 2, k, c); break;
                    case 15: TwoHands(ctx, hBe, kp, hBe | Rev, km, k, c); break;
                    case 14: Frame(ctx, 13, FC + c - k + 2, c); break;
                    case 2:
                    case 4:
                    case 6:
                    case 8:
                    case 10:
                    case 12:
                    case 16: Frame(ctx, Sub - 1, rk, c); break;
                    default: break;
                }
            }
            break;
        }
        case 6: {
            static const int hands[8] = {hK0, hK0 | Rev, hK1 | Rev, hK1, hK3, hK3 | Rev, hK2, hK2 | Rev};
            if (Sub >= 1 && Sub <= 8) Hand(ctx, hands[Sub - 1], k, c);
            break;
        }
        case 7: {
            if (Sub >= 2 && Sub <= 16 && Sub % 2 == 0) {
                Frame(ctx, Sub - 1, FC + c - k + 1, c);
                break;
            }
            const int32_t half = km + (FC + 1) / 2;
            if (ctx.Smooth) {
                switch (Sub) {
                    case 1:
                        Hand(ctx, hK0, k, c);
                        Hand(ctx, hK0, FC + k + 1, c);
                        break;
                    case 3:
                        Hand(ctx, hK0, k, c);
                        Hand(ctx, hK0 | Rev, k - FC - 1, c);
                        break;
                    case 5:
                        Hand(ctx, hK1 | Rev, k, c);
                        Hand(ctx, hK1 | Rev, k - FC - 1, c);
                        break;
                    case 7:
                        Hand(ctx, hK1, k, c);
                        Hand(ctx, hK1 | Rev, k - FC - 1, c);
                        break;
                    case 9:
                        Hand(ctx, hK3, k, c);
                        Hand(ctx, hK3, FC + k + 1, c);
                        break;
                    case 11:
                        Hand(ctx, hK3, k, c);
                        Hand(ctx, hK3 | Rev, k - FC - 1, c);
                        break;
                    case 13:
                        Hand(ctx, hK2, k, c);
                        Hand(ctx, hK2, FC + k + 1, c);
                        break;
                    case 15:
                        Hand(ctx, hK2, k, c);
                        Hand(ctx, hK2 | Rev, k - FC - 1, c);
                        break;
                    default: break;
                }
            } else {
                switch (Sub) {
                    case 1: TwoHands(ctx, hK0, kp, hK0, half, k, c); break;
                    case 3: TwoHands(ctx, hK0, kp, hK0 | Rev, km, k, c); break;
                    case 5: TwoHands(ctx, hK1 | Rev, kp, hK1 | Rev, half, k, c); break;
                    case 7: TwoHands(ctx, hK1 | Rev, kp, hK1, km, k, c); break;
                    case 9: TwoHands(ctx, hK3, kp, hK3, half, k, c); break;
                    case 11: TwoHands(ctx, hK3, kp, hK3 | Rev, km, k, c); break;
                    case 13: TwoHands(ctx, hK2, kp, hK2, half, k, c); break;
                    case 15: TwoHands(ctx, hK2, kp, hK2 | Rev, km, k, c); break;
                    default: break;
                }
            }
            break;
        }
        default: break;
    }
}

void TRadialGeometry::DrawFrame(cl::TCanvas* Canvas, int32_t AFrame, int32_t Step, int32_t FC, bool Smooth, bool Report,
                                bool Draw, TTETransitionData* Data) const {
    Data->UpdateRect = MakeRect(0, 0, 0, 0);
    const Ctx ctx{Canvas, Data, FC, Smooth, Report, Draw && Canvas != nullptr};
    Frame(ctx, SubStyle, AFrame, Step);
}

TRadialTransition::TRadialTransition(cl::TComponent* AOwner) : TMaskedTransition(AOwner) {
    FStyleCount = 7;
    FExtraInfo = tetiUseDirtyRects | tetiThreadSafe;
}

void TRadialTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    FGeometry.Setup(Data->Width, Data->Height, EffectiveStyle(), EffectiveSubStyle());
    TMaskedTransition::Initialize(Data, Frames);
}

uint16_t TRadialTransition::ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) {
    return static_cast<uint16_t>(RadialReversedSubStyle(AStyle, ASubStyle));
}

int32_t TRadialTransition::CalcFrameCount(TTETransitionData*) { return FGeometry.FrameCount(SmoothingOn()); }

void TRadialTransition::DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                                      int32_t, int32_t Step) {
    FGeometry.DrawFrame(Mask ? Mask->GetCanvas() : nullptr, Frame, Step, Data->Frames, SmoothingOn(), Report, Draw,
                        Data);
}

void StartUpteRadial() {
    static bool done = false;
    if (done) return;
    done = true;
    StartUpteMasked();
    cl::DeclarePublished(TRadialTransition::StaticClass(), {MaskedStylePropInfo(), MaskedSubStylePropInfo(),
                                                            MaskedSmoothingLevelPropInfo(), ReversedPropInfo()});
    RegisterTransitionClass(TRadialTransition::StaticClass());
}

}  // namespace te
