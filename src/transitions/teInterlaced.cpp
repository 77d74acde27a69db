#include "transitions/teInterlaced.h"

#include "classlib/TypInfo.h"
#include "transitions/teEffectProps.h"

#include <algorithm>
#include <vector>

namespace te {

namespace {

int32_t OddDown(int32_t v) { return v % 2 == 0 ? v - 1 : v; }

int32_t RectHeight(const win::RECT& r) { return RectEmpty(r) ? 0 : r.bottom - r.top; }

// Rows and columns share the code: a band of lines across the run, from Lo to Hi.
win::RECT Band(bool Columns, int32_t Lo, int32_t Hi, int32_t W, int32_t H) {
    return Columns ? MakeRect(Lo, 0, Hi, H) : MakeRect(0, Lo, W, Hi);
}

}  // namespace

int InterlacedSubStyleCount(int Style) {
    if (Style == 0) return 0;
    if (Style == 1) return 10;
    return 1;
}

int InterlacedReversedSubStyle(int Style, int SubStyle) {
    if (Style == 1) {
        if (SubStyle >= 3 && SubStyle <= 10) return (SubStyle & 1) ? SubStyle + 1 : SubStyle - 1;
        return SubStyle;
    }
    if (Style == 2) return 1;
    return SubStyle;
}

void TInterlacedGeometry::Setup(int32_t W, int32_t H, int AStyle, int ASubStyle) {
    Width = W;
    Height = H;
    Style = AStyle;
    SubStyle = ASubStyle;
    Last = 0;
    Count = 0;
    if (Style == 1) {
        const int s = SubStyle;
        if (s == 1 || s == 3 || s == 4 || s == 7 || s == 8) Last = OddDown(H - 1);
        if (s == 2 || s == 5 || s == 6 || s == 9 || s == 10) Last = OddDown(W - 1);
        if (s == 3 || s == 4 || s == 7 || s == 8) Count = H / 2 + ((H % 2 != 0 && (s == 3 || s == 7)) ? 1 : 0);
        if (s == 5 || s == 6 || s == 9 || s == 10) Count = W / 2 + ((W % 2 != 0 && (s == 5 || s == 9)) ? 1 : 0);
    } else if (Style == 2) {
        Last = (std::min(W, H) - 1) / 4 * 2 + 2;
    }
}

int32_t TInterlacedGeometry::FrameCount(int Style, int SubStyle, int32_t W, int32_t H, bool Smooth) {
    if (Style == 1) {
        switch (SubStyle) {
            case 1: return Smooth ? H / 2 : H;
            case 2: return Smooth ? W / 2 : W;
            case 3:
            case 4:
            case 7:
            case 8: return H;
            case 5:
            case 6:
            case 9:
            case 10: return W;
            default: return 0;
        }
    }
    if (Style == 2) {
        const int32_t m = std::min(W, H);
        return Smooth ? (m + 3) / 4 : (m + 1) / 2;
    }
    return 0;
}

int32_t TInterlacedGeometry::LineIndex(int32_t i) const {
    const int32_t n = Columns() ? Width : Height;
    const int32_t E = (n - 1) % 2 == 0 ? n - 1 : n - 2;  // the last even line
    switch (SubStyle) {
        case 1:
        case 2: return (i & 1) ? Last - i + 1 : i - 2;
        case 3:
        case 5: return i <= Count ? 2 * (i - 1) : Last + 2 * Count - 2 * i + 2;
        case 4:
        case 6: return i <= Count ? Last - 2 * i + 2 : 2 * i - 2 * Count - 2;
        case 7:
        case 9: return i <= Count ? 2 * (i - 1) : 2 * (i - Count) - 1;
        case 8:
        case 10: return i <= Count ? Last - 2 * i + 2 : E - 2 * (i - Count - 1);
        default: return 0;
    }
}

void TInterlacedGeometry::DrawFrame(cl::TCanvas* Canvas, int32_t Frame, int32_t PrevFrame, bool Smooth, bool Draw,
                                    TTETransitionData* Data) const {
    Data->UpdateRect = MakeRect(0, 0, 0, 0);
    const int32_t W = Width, H = Height;
    const bool draw = Draw && Canvas != nullptr;
    const bool doubled = Smooth && ((Style == 1 && (SubStyle == 1 || SubStyle == 2)) || Style == 2);
    const int32_t from = doubled ? 2 * PrevFrame + 1 : PrevFrame + 1;
    const int32_t to = doubled ? 2 * Frame : Frame;
    const win::RECT whole = MakeRect(0, 0, W, H);
    if (Style == 1) {
        if (SubStyle < 1 || SubStyle > 10) return;
        const bool cols = Columns();
        win::RECT b1 = whole, b2 = whole;
        for (int32_t i = from; i <= to; ++i) {
            const int32_t x = LineIndex(i);
            if (draw) {
                if (cols) {
                    Canvas->MoveTo(x, 0);
                    Canvas->LineTo(x, H);
                } else {
                    Canvas->MoveTo(0, x);
                    Canvas->LineTo(W, x);
                }
            }
            UniteRect(Data->UpdateRect, Band(cols, x, x + 1, W, H));
            if (SubStyle <= 2) {
                if (i % 2 == 0) {
                    IntersectRects(b1, b1, Band(cols, 0, i - 3, W, H));
                    IntersectRects(b2, b2, Band(cols, i - 1, cols ? W : H, W, H));
                } else {
                    IntersectRects(b1, b1, Band(cols, Last - i + 2, cols ? W : H, W, H));
                    IntersectRects(b2, b2, Band(cols, 0, Last - i, W, H));
                }
            }
        }
        if (SubStyle <= 2) {
            // For columns the bands' widths decide, like the rows' heights.
            auto extent = [cols](const win::RECT& r) {
                return cols ? (RectEmpty(r) ? 0 : r.right - r.left) : RectHeight(r);
            };
            IntersectRects(Data->UnUpdateRect, whole, extent(b1) > extent(b2) ? b1 : b2);
        }
        return;
    }
    if (Style != 2) return;
    Data->UnUpdateRect = whole;
    for (int32_t i = from; i <= to; ++i) {
        const int32_t k = (i & 1) ? i - 1 : Last - (i - 1);
        const int32_t right = W - k - 1;
        const int32_t bottom = H - k - 1;
        if (right < k || bottom < k) continue;
        UniteRect(Data->UpdateRect, MakeRect(k, k, W - k, H - k));
        IntersectRects(Data->UnUpdateRect, Data->UnUpdateRect, MakeRect(k + 1, k + 1, right, bottom));
        if (draw) {
            std::vector<cl::TPoint> pts = {{k, k}, {right, k}, {right, bottom}, {k, bottom}, {k, k}};
            Canvas->Polyline(pts);
        }
    }
}

TInterlacedTransition::TInterlacedTransition(cl::TComponent* AOwner) : TMaskedTransition(AOwner) {
    FStyleCount = 2;
    FExtraInfo = tetiThreadSafe;
}

void TInterlacedTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TMaskedTransition::Initialize(Data, Frames);
    FGeometry.Setup(Data->Width, Data->Height, EffectiveStyle(), EffectiveSubStyle());
}

uint16_t TInterlacedTransition::ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) {
    return static_cast<uint16_t>(InterlacedReversedSubStyle(AStyle, ASubStyle));
}

int32_t TInterlacedTransition::CalcFrameCount(TTETransitionData* Data) {
    return TInterlacedGeometry::FrameCount(EffectiveStyle(), EffectiveSubStyle(), Data->Width, Data->Height,
                                           SmoothingOn());
}

void TInterlacedTransition::DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool, bool Draw, TTETransitionData* Data,
                                          int32_t PrevFrame, int32_t) {
    FGeometry.DrawFrame(Mask ? Mask->GetCanvas() : nullptr, Frame, PrevFrame, SmoothingOn(), Draw, Data);
}

void StartUpteInterlaced() {
    static bool done = false;
    if (done) return;
    done = true;
    StartUpteMasked();
    cl::DeclarePublished(TInterlacedTransition::StaticClass(), {MaskedStylePropInfo(), MaskedSubStylePropInfo(),
                                                                MaskedSmoothingLevelPropInfo(), ReversedPropInfo()});
    RegisterTransitionClass(TInterlacedTransition::StaticClass());
}

}  // namespace te
