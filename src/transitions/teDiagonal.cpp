#include "transitions/teDiagonal.h"

#include "classlib/TypInfo.h"
#include "transitions/teEffectProps.h"

#include <algorithm>

namespace te {

namespace {

// The two ends of diagonal k of a family over a W x H run. Falling: lower-left end and
// upper-right end; rising: upper-left end and lower-right end.
struct Ends {
    win::POINT a, b;
};

Ends Falling(int32_t k, int32_t W, int32_t H) {
    Ends e;
    e.a = k > H ? win::POINT{k - H, H - 1} : win::POINT{0, k - 1};
    e.b = k > W ? win::POINT{W - 1, k - W} : win::POINT{k - 1, 0};
    return e;
}

Ends Rising(int32_t k, int32_t W, int32_t H) {
    Ends e;
    e.a = k > H ? win::POINT{k - H, 0} : win::POINT{0, H - k};
    e.b = k > W ? win::POINT{W - 1, H - k + W - 1} : win::POINT{k - 1, H - 1};
    return e;
}

}  // namespace

struct TDiagonalGeometry::Ctx {
    cl::TCanvas* Canvas;
    TTETransitionData* Data;
    bool Report;
    bool Draw;
};

int DiagonalSubStyleCount(int Style) {
    if (Style == 0) return 0;
    if (Style == 1 || Style == 2) return 4;
    return 1;
}

int DiagonalReversedSubStyle(int Style, int SubStyle) {
    if (SubStyle < 1 || SubStyle > 4) return SubStyle;
    if (Style == 1) return (SubStyle & 1) ? SubStyle + 1 : SubStyle - 1;
    if (Style == 2) return SubStyle <= 2 ? SubStyle + 2 : SubStyle - 2;
    return SubStyle;
}

// A band of N diagonals ending at diagonal D.
void TDiagonalGeometry::Band(const Ctx& ctx, bool Rising_, int32_t N, int32_t D) const {
    if (N < 1) return;
    const int32_t W = ctx.Data->Width;
    const int32_t H = ctx.Data->Height;
    const int32_t first = D - N + 1;
    if (ctx.Draw) {
        for (int32_t k = first; k <= D; ++k) {
            if (Rising_) {
                Ends e = Rising(k, W, H);
                ctx.Canvas->MoveTo(e.a.x, e.a.y);
                ctx.Canvas->LineTo(e.b.x + 1, e.b.y + 1);
            } else {
                Ends e = Falling(k, W, H);
                ctx.Canvas->MoveTo(e.a.x, e.a.y);
                ctx.Canvas->LineTo(e.b.x + 1, e.b.y - 1);
            }
        }
    }
    if (!Rising_) {
        const Ends f = Falling(first, W, H);
        const Ends l = Falling(D, W, H);
        UniteRect(ctx.Data->UpdateRect, MakeRect(f.a.x, f.b.y, l.b.x + 1, l.a.y + 1));
        if (ctx.Report && ctx.Data->DirtyRects) {
            const int32_t x = l.a.x, y = l.a.y;
            win::RECT tile = MakeRect(x - N + 1, y - 15, x + 16, y + 1);
            ctx.Data->DirtyRects->AddRect(tile);
            for (;;) {
                tile = MakeRect(tile.left + 16, tile.top - 16, tile.right + 16, tile.bottom - 16);
                if (!(l.b.x >= tile.left && f.b.y < tile.bottom)) break;
                ctx.Data->DirtyRects->AddRect(tile);
            }
        }
    } else {
        const Ends f = Rising(first, W, H);
        const Ends l = Rising(D, W, H);
        UniteRect(ctx.Data->UpdateRect, MakeRect(f.a.x, l.a.y, l.b.x + 1, f.b.y + 1));
        if (ctx.Report && ctx.Data->DirtyRects) {
            const int32_t x = f.b.x, y = f.b.y;
            win::RECT tile = N == 1 ? MakeRect(x - 16, y - 16, x + 1, y + 1) : MakeRect(x - 15, y - 15, x + N, y + 1);
            ctx.Data->DirtyRects->AddRect(tile);
            for (;;) {
                tile = MakeRect(tile.left - 16, tile.top - 16, tile.right - 16, tile.bottom - 16);
                if (!(f.a.x < tile.right && l.a.y < tile.bottom)) break;
                ctx.Data->DirtyRects->AddRect(tile);
            }
        }
    }
}

// A front of style 1 at frame K over C frames.
void TDiagonalGeometry::Front(const Ctx& ctx, int Sub, int32_t k, int32_t c) const {
    const int32_t K = ctx.Data->Width + ctx.Data->Height + c - k - 1;
    switch (Sub) {
        case 1: Band(ctx, false, c, k); break;
        case 2: Band(ctx, false, c, K); break;
        case 3: Band(ctx, true, c, k); break;
        case 4: Band(ctx, true, c, K); break;
        default: break;
    }
}

void TDiagonalGeometry::DrawFrame(cl::TCanvas* Canvas, int32_t k, int32_t c, bool Report, bool Draw,
                                  TTETransitionData* Data) const {
    Data->UpdateRect = MakeRect(0, 0, 0, 0);
    const Ctx ctx{Canvas, Data, Report, Draw && Canvas != nullptr};
    if (Style == 1) {
        Front(ctx, SubStyle, k, c);
        return;
    }
    if (Style != 2 || SubStyle < 1 || SubStyle > 4) return;
    // Sub-styles 3 and 4 are 1 and 2 evaluated at the reversed frame.
    if (SubStyle >= 3) k = Data->Width + Data->Height + c - k - 1;
    const int first = SubStyle == 1 || SubStyle == 3 ? 1 : 3;
    const int second = first + 1;
    const int32_t e = k - c + 1;
    const int32_t n1 = c - c / 2;
    const int32_t n2 = c / 2;
    if (e & 1) {
        Front(ctx, first, (k + 1) / 2, n1);
        if (c > 1) Front(ctx, second, k / 2, n2);
    } else {
        Front(ctx, second, k / 2, n1);
        if (c > 1) Front(ctx, first, (k + 1) / 2, n2);
    }
}

TDiagonalTransition::TDiagonalTransition(cl::TComponent* AOwner) : TMaskedTransition(AOwner) {
    FStyleCount = 2;
    FExtraInfo = tetiUseDirtyRects | tetiThreadSafe;
}

uint16_t TDiagonalTransition::ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) {
    return static_cast<uint16_t>(DiagonalReversedSubStyle(AStyle, ASubStyle));
}

bool TDiagonalTransition::SmoothingActive(TTETransitionDevice* ADevice) {
    return EffectiveStyle() == 1 && TMaskedTransition::SmoothingActive(ADevice);
}

int32_t TDiagonalTransition::CalcFrameCount(TTETransitionData* Data) {
    return TDiagonalGeometry::FrameCount(Data->Width, Data->Height);
}

void TDiagonalTransition::DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw,
                                        TTETransitionData* Data, int32_t, int32_t Step) {
    TDiagonalGeometry g{EffectiveStyle(), EffectiveSubStyle()};
    g.DrawFrame(Mask ? Mask->GetCanvas() : nullptr, Frame, Step, Report, Draw, Data);
}

void StartUpteDiagonal() {
    static bool done = false;
    if (done) return;
    done = true;
    StartUpteMasked();
    cl::DeclarePublished(TDiagonalTransition::StaticClass(), {MaskedStylePropInfo(), MaskedSubStylePropInfo(),
                                                              MaskedSmoothingLevelPropInfo(), ReversedPropInfo()});
    RegisterTransitionClass(TDiagonalTransition::StaticClass());
}

}  // namespace te
