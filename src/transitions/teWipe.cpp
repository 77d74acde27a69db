#include "transitions/teWipe.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teRender.h"

namespace te {

namespace {

// The nearest integer, halves to even.
int Rnd(double v) { return static_cast<int>(std::nearbyint(v)); }

bool IsSide(TTEEffectDirection d) { return d == tedRight || d == tedLeft || d == tedDown || d == tedUp; }
bool Horizontal(TTEEffectDirection d) { return d == tedRight || d == tedLeft; }

win::RECT Normalized(int l, int t, int r, int b) {
    return win::RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
}

void FreeLocked(cl::TBitmap*& b) {
    if (!b) return;
    b->GetCanvas()->Unlock();
    delete b;
    b = nullptr;
}

cl::TBitmap* NewLocked(int w, int h, cl::TPixelFormat pf, win::HPALETTE pal) {
    auto b = std::make_unique<cl::TBitmap>();
    b->GetCanvas()->Lock();
    try {
        AdjustBitmapFormat(b.get(), pal, w, h, pf);
    } catch (...) {
        b->GetCanvas()->Unlock();
        throw;
    }
    return b.release();
}

// Copies R of the new picture onto the frame canvas.
void CopyNew(TTETransitionData* Data, cl::TCanvas* Canvas, const win::RECT& R) {
    if (RectEmpty(R) || !Data->DstImage || !Canvas) return;
    win::BitBlt(Canvas->GetHandle(), R.left, R.top, R.right - R.left, R.bottom - R.top,
                Data->DstImage->GetCanvas()->GetHandle(), R.left, R.top, win::SRCCOPY);
}

// The four bands between an outer and an inner rectangle.
void CopyBands(TTETransitionData* Data, cl::TCanvas* Canvas, const win::RECT& O, const win::RECT& I) {
    CopyNew(Data, Canvas, win::RECT{O.left, O.top, O.right, I.top});
    CopyNew(Data, Canvas, win::RECT{O.left, I.bottom, O.right, O.bottom});
    CopyNew(Data, Canvas, win::RECT{O.left, I.top, I.left, I.bottom});
    CopyNew(Data, Canvas, win::RECT{I.right, I.top, O.right, I.bottom});
}

// The band next to the edge of the current rectangle.
win::RECT BandNextTo(TTEEffectDirection d, const win::RECT& c, int b, int W, int H) {
    switch (d) {
        case tedRight: return win::RECT{c.right + 1, 0, c.right + b + 1, H};
        case tedLeft: return win::RECT{c.left - b - 1, 0, c.left - 1, H};
        case tedDown: return win::RECT{0, c.bottom + 1, W, c.bottom + b + 1};
        case tedUp: return win::RECT{0, c.top - b - 1, W, c.top - 1};
        default: return win::RECT{0, 0, 0, 0};
    }
}

}  // namespace

TWipeData::~TWipeData() {
    ReleaseMaskRoutine(SmoothRoutine);
    FreeLocked(BandPattern);
    FreeLocked(OldBand);
    FreeLocked(NewBand);
}

TWipeTransition::TWipeTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {
    AllowedDirections = 0;
    for (int d = tedRight; d <= tedRandom; ++d) AllowedDirections |= DirectionBit(static_cast<TTEEffectDirection>(d));
    FDirection = tedRight;
}

int TWipeTransition::GradientValue(int E, int B) { return Rnd(253.0 / (B + 1) * E) + 1; }

bool TWipeTransition::SmoothBandActive(TTETransitionDevice* ADevice) {
    if (!SmoothBand || BandWidth == 0 || !MMXAvailable || !ADevice) return false;
    const uint8_t pf = ADevice->GetPixelFormat();
    return pf >= cl::pf15bit && pf <= cl::pf32bit;
}

bool TWipeTransition::GetBandSize(TTETransitionData* Data, int& Size) {
    const TTEEffectDirection d = EffectiveDirection();
    Size = 0;
    if (IsSide(d)) {
        Size = BandWidth;
        if (Data) Size = std::min<int>(BandWidth, Horizontal(d) ? Data->Width : Data->Height);
        if (Size < 0) Size = 0;
    }
    return Size != 0;
}

void TWipeTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TWipeTransition>()) {
        auto* s = static_cast<TWipeTransition*>(Source);
        BandWidth = s->BandWidth;
        SmoothBand = s->SmoothBand;
    }
}

int TWipeTransition::GetBitmapsWidth(TTETransitionData* Data) {
    if (SmoothBandActive(Data->Device)) return (Data->Width + 7) / 8 * 8;
    return TTimedTransitionEffect::GetBitmapsWidth(Data);
}

uint8_t TWipeTransition::GetPixelFormat(TTETransitionDevice* ADevice) {
    if (SmoothBandActive(ADevice)) return cl::pf32bit;
    return TTimedTransitionEffect::GetPixelFormat(ADevice);
}

uint16_t TWipeTransition::GetInfo(TTETransitionDevice* ADevice) {
    uint16_t info = static_cast<uint16_t>((TTimedTransitionEffect::GetInfo(ADevice) & 0xFEC6) | 0x131);
    int size = 0;
    if (ADevice && GetBandSize(nullptr, size)) info |= 0xC;
    return info;
}

void TWipeTransition::CreateWipeDither(TTETransitionData* Data, TWipeData* W, TTEEffectDirection D) {
    W->Dither = cl::TRandomSequence(DitherSeed);
    const bool horiz = Horizontal(D);
    const int bw = BandWidth;
    const int len = (horiz ? Data->Height : Data->Width) + 75;
    W->BandPattern = NewLocked(horiz ? bw : len, horiz ? len : bw, cl::pf1bit, nullptr);
    cl::TCanvas* c = W->BandPattern->GetCanvas();
    c->GetBrush()->SetColor(cl::clWhite);
    c->FillRect(cl::Rect(0, 0, W->BandPattern->GetWidth(), W->BandPattern->GetHeight()));
    for (int i = 0; i < bw; ++i) {
        const int q = i * 100 / bw;
        int p = (D == tedRight || D == tedDown) ? 100 - q : q;
        if (p == 0) p = 1;
        for (int j = 0; j <= len; ++j) {
            if (p >= W->Dither.Random(100) && j < len) {
                if (horiz)
                    c->SetPixels(i, j, cl::clBlack);
                else
                    c->SetPixels(j, i, cl::clBlack);
            }
        }
    }
    const auto pf = static_cast<cl::TPixelFormat>(GetPixelFormat(Data->Device));
    win::HPALETTE pal = Data->DstImage ? Data->DstImage->GetPalette() : nullptr;
    const int w = horiz ? bw : Data->Width, h = horiz ? Data->Height : bw;
    W->OldBand = NewLocked(w, h, pf, pal);
    W->NewBand = NewLocked(w, h, W->OldBand->GetPixelFormat(), pal);
}

void TWipeTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    auto data = std::make_unique<TWipeData>(Data);
    TWipeData* w = data.get();
    Data->Custom = std::move(data);
    w->Smooth = SmoothBandActive(Data->Device);
    int b = 0;
    GetBandSize(Data, b);
    w->BandSize = static_cast<uint16_t>(b);
    const int W = Data->Width, H = Data->Height;
    const TTEEffectDirection d = EffectiveDirection();

    if (b > 0 && w->Smooth) {
        win::HPALETTE gray = CreateGrayPalette();
        const bool horiz = Horizontal(d);
        try {
            w->BandPattern = NewLocked(horiz ? b : W, horiz ? H : b, cl::pf8bit, gray);
            for (int y = 0; y < w->BandPattern->GetHeight(); ++y) {
                auto* row = static_cast<uint8_t*>(w->BandPattern->ScanLine(y));
                for (int x = 0; x < w->BandPattern->GetWidth(); ++x) {
                    int e = horiz ? x : y;
                    if (d == tedLeft || d == tedUp) e = b - 1 - e;
                    row[x] = static_cast<uint8_t>(GradientValue(e, b));
                }
            }
            w->OldBand = NewLocked(GetBitmapsWidth(Data), H, cl::pf8bit, gray);
        } catch (...) {
            win::DeleteObject(gray);
            throw;
        }
        win::DeleteObject(gray);
        w->SmoothRoutine = CreateSmoothBlendRoutine();
    } else if (b > 0) {
        CreateWipeDither(Data, w, d);
    }

    win::RECT& c = w->Current;
    switch (d) {
        case tedRight:
            Frames = W + b - 1;
            c = win::RECT{-b, 0, -b, H};
            break;
        case tedLeft:
            Frames = W + b - 1;
            c = win::RECT{W + b, 0, W + b, H};
            break;
        case tedDown:
            Frames = H + b - 1;
            c = win::RECT{0, -b, W, -b};
            break;
        case tedUp:
            Frames = H + b - 1;
            c = win::RECT{0, H + b, W, H + b};
            break;
        case tedDownRight:
            Frames = W + H - 1;
            c = win::RECT{0, 0, 0, 0};
            break;
        case tedDownLeft:
            Frames = std::max(W, H) - 1;
            c = win::RECT{W, 0, W, 0};
            break;
        case tedUpRight:
            Frames = std::max(W, H) - 1;
            c = win::RECT{0, H, 0, H};
            break;
        case tedUpLeft:
            Frames = std::max(W, H) - 1;
            c = win::RECT{W, H, W, H};
            break;
        case tedIn:
            Frames = std::max(W, H) / 2 - 1;
            c = win::RECT{0, 0, W, H};
            break;
        case tedOut:
            Frames = std::max(W, H) / 2 - 1;
            c = win::RECT{W / 2, H / 2, W / 2, H / 2};
            break;
        default: Frames = 0; break;
    }
    if (Frames < 0) Frames = 0;
    if (b > 0) w->Band = BandNextTo(d, c, b, W, H);
}

void TWipeTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t) {
    auto* w = dynamic_cast<TWipeData*>(Data->Custom.get());
    if (!w) return;
    const int W = Data->Width, H = Data->Height, F = Data->Frames, k = CurrentFrame, b = w->BandSize;
    const TTEEffectDirection d = EffectiveDirection();
    cl::TCanvas* canvas = Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    win::RECT& c = w->Current;
    const double fx = static_cast<double>(W) / (F + 1) * k, fy = static_cast<double>(H) / (F + 1) * k;

    if (IsSide(d)) {
        switch (d) {
            case tedRight:
                c.left = c.right;
                c.right += Step;
                break;
            case tedLeft:
                c.right = c.left;
                c.left -= Step;
                break;
            case tedDown:
                c.top = c.bottom;
                c.bottom += Step;
                break;
            default:
                c.bottom = c.top;
                c.top -= Step;
                break;
        }
        if (b > 0) {
            w->Band = BandNextTo(d, c, b, W, H);
            if (!w->Smooth) {
                if (Horizontal(d))
                    w->PatternY = static_cast<uint16_t>(w->Dither.Random(75));
                else
                    w->PatternX = static_cast<uint16_t>(w->Dither.Random(75));
            }
            const win::RECT& band = w->Band;
            const int bw = band.right - band.left, bh = band.bottom - band.top;
            if (w->Smooth) {
                if (w->OldBand && w->BandPattern && Data->Bitmap && Data->DstImage && Data->SrcImage) {
                    win::BitBlt(w->OldBand->GetCanvas()->GetHandle(), band.left, band.top, bw, bh,
                                w->BandPattern->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
                    win::RECT area{0, 0, W, H}, cut;
                    if (IntersectRects(cut, band, area))
                        RunSmoothBlend(w->SmoothRoutine, Data->Bitmap, Data->DstImage, win::RECT{0, 0, 0, 0}, cut,
                                       w->OldBand, Data->SrcImage);
                }
            } else if (w->OldBand && w->NewBand && w->BandPattern && Data->SrcImage && Data->DstImage && canvas) {
                win::HDC ob = w->OldBand->GetCanvas()->GetHandle(), nb = w->NewBand->GetCanvas()->GetHandle();
                win::HDC pat = w->BandPattern->GetCanvas()->GetHandle();
                win::BitBlt(ob, 0, 0, bw, bh, Data->SrcImage->GetCanvas()->GetHandle(), band.left, band.top,
                            win::SRCCOPY);
                win::BitBlt(ob, 0, 0, bw, bh, pat, w->PatternX, w->PatternY, win::SRCAND);
                win::BitBlt(nb, 0, 0, bw, bh, Data->DstImage->GetCanvas()->GetHandle(), band.left, band.top,
                            win::SRCCOPY);
                win::BitBlt(nb, 0, 0, bw, bh, pat, w->PatternX, w->PatternY, 0x220326);
                win::BitBlt(nb, 0, 0, bw, bh, ob, 0, 0, win::SRCPAINT);
                win::BitBlt(canvas->GetHandle(), band.left, band.top, bw, bh, nb, 0, 0, win::SRCCOPY);
            }
            UniteRect(Data->UpdateRect, band);
            CopyNew(Data, canvas, win::RECT{c.left, c.top, c.right + 1, c.bottom + 1});
        } else {
            CopyNew(Data, canvas, c);
        }
    } else if (d == tedIn) {
        const int h = Rnd(fx) / 2, v = Rnd(fy) / 2;
        const win::RECT n{h, v, W - h, H - v};
        CopyBands(Data, canvas, c, n);
        Data->UpdateRect = c;
        Data->UnUpdateRect = n;
        c = n;
    } else if (d == tedOut) {
        const int h = (W - Rnd(fx)) / 2, v = (H - Rnd(fy)) / 2;
        const win::RECT n{h, v, W - h, H - v};
        CopyBands(Data, canvas, n, c);
        Data->UnUpdateRect = c;
        c = n;
    } else {
        int x = static_cast<uint16_t>(Rnd(fx)), y = static_cast<uint16_t>(Rnd(fy));
        const bool left = d == tedDownLeft || d == tedUpLeft, up = d == tedUpRight || d == tedUpLeft;
        if (left) x = W - x;
        if (up) y = H - y;
        // The moving edges of the current rectangle.
        const int px = left ? c.left : c.right, py = up ? c.top : c.bottom;
        const int fixedX = left ? W : 0, fixedY = up ? H : 0;
        // The strip between the horizontal edges over the new width, then the strip between
        // the vertical edges over the previous height.
        CopyNew(Data, canvas, Normalized(fixedX, py, x, y));
        CopyNew(Data, canvas, Normalized(px, fixedY, x, py));
        if (left)
            c.left = x;
        else
            c.right = x;
        if (up)
            c.top = y;
        else
            c.bottom = y;
        c = Normalized(c.left, c.top, c.right, c.bottom);
    }
    win::RECT u = Data->UpdateRect, cut;
    UniteRect(u, c);
    IntersectRects(cut, u, win::RECT{0, 0, W, H});
    Data->UpdateRect = cut;
}

void TWipeTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "BandWidth");
    if (!v.empty()) BandWidth = static_cast<uint16_t>(cl::StrToInt(v));
    v = Strings->Values(Prefix + "SmoothBand");
    if (!v.empty()) SmoothBand = cl::SameText(v, "True");
}

void TWipeTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || BandWidth != 50) Strings->SetValue(Prefix + "BandWidth", cl::IntToStr(BandWidth));
    if (!OmitDefaults || SmoothBand) Strings->SetValue(Prefix + "SmoothBand", SmoothBand ? "True" : "False");
}

void StartUpteWipe() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::TPropInfo smooth = cl::OrdProp("SmoothBand", cl::tkEnumeration, "Boolean", &TWipeTransition::GetSmoothBand,
                                           &TWipeTransition::SetSmoothBand, 0);
        smooth.EnumNames = {"False", "True"};
        cl::DeclarePublished(
            TWipeTransition::StaticClass(),
            {cl::OrdProp("BandWidth", cl::tkInteger, "Word", &TWipeTransition::GetBandWidth,
                         &TWipeTransition::SetBandWidth, 50),
             smooth, DirectionPropInfo(tedRight), ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TWipeTransition::StaticClass());
}

}  // namespace te
