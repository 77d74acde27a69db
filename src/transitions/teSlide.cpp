#include "transitions/teSlide.h"

#include <algorithm>
#include <cmath>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"

namespace te {

namespace {

using cl::BoolProp;

}  // namespace

namespace {

// Modes by direction (Down, Up, Left, Right, Down and left, Down and right, Up and left,
// Up and right, In, Out) and by column: sliding in with neither picture elastic, the old
// one elastic, the new one elastic, both; then the same sliding out.
constexpr int kModes[10][8] = {{1, 2, 3, 4, 26, 27, 28, 4},      {5, 6, 7, 8, 29, 30, 31, 8},
                               {9, 10, 11, 12, 32, 33, 34, 12},  {13, 14, 15, 16, 35, 36, 37, 16},
                               {17, 39, 18, 18, 38, 39, 18, 18}, {19, 41, 20, 20, 40, 41, 20, 20},
                               {21, 43, 22, 22, 42, 43, 22, 22}, {23, 45, 24, 24, 44, 45, 24, 24},
                               {46, 46, 46, 46, 46, 46, 46, 46}, {25, 25, 25, 25, 25, 25, 25, 25}};

int DirectionRow(TTEEffectDirection d) {
    switch (d) {
        case tedDown: return 0;
        case tedUp: return 1;
        case tedLeft: return 2;
        case tedRight: return 3;
        case tedDownLeft: return 4;
        case tedDownRight: return 5;
        case tedUpLeft: return 6;
        case tedUpRight: return 7;
        case tedIn: return 8;
        case tedOut: return 9;
        default: return -1;
    }
}

bool IsIn(int mode, std::initializer_list<int> set) { return std::find(set.begin(), set.end(), mode) != set.end(); }

// Rounds to the nearest integer, halves to even.
int Rnd(double v) { return static_cast<int>(std::nearbyint(v)); }

class Painter {
public:
    Painter(win::HDC dc, TTETransitionData* data) : dc_(dc), data_(data) {}

    // Copies the part of Image starting at (sx, sy) into R.
    void Shift(cl::TBitmap* image, const win::RECT& r, int sx, int sy) {
        if (RectEmpty(r)) return;
        win::BitBlt(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, image->GetCanvas()->GetHandle(), sx, sy,
                    win::SRCCOPY);
        Add(r);
    }
    // Copies R of Image to the same place.
    void InPlace(cl::TBitmap* image, const win::RECT& r) { Shift(image, r, r.left, r.top); }
    // Stretches or squeezes the whole Image into R.
    void Stretch(cl::TBitmap* image, const win::RECT& r) {
        if (RectEmpty(r)) return;
        win::StretchBlt(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, image->GetCanvas()->GetHandle(), 0, 0,
                        data_->Width, data_->Height, win::SRCCOPY);
        Add(r);
    }
    // Copies from Image in place what lies in Outer but not in Inner (Inner inside Outer).
    void Bands(cl::TBitmap* image, const win::RECT& outer, const win::RECT& inner) {
        InPlace(image, MakeRect(outer.left, outer.top, outer.right, inner.top));
        InPlace(image, MakeRect(outer.left, inner.bottom, outer.right, outer.bottom));
        InPlace(image, MakeRect(outer.left, inner.top, inner.left, inner.bottom));
        InPlace(image, MakeRect(inner.right, inner.top, outer.right, inner.bottom));
    }
    void Add(const win::RECT& r) { UniteRect(data_->UpdateRect, r); }

private:
    win::HDC dc_;
    TTETransitionData* data_;
};

}  // namespace

TSlideTransition::TSlideTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {
    // Every direction from Right to Random.
    AllowedDirections = 0xFFE;
    FDirection = tedDown;
}

int TSlideTransition::SelectMode() const {
    bool src = Reversed ? ElasticDst : ElasticSrc;
    bool dst = Reversed ? ElasticSrc : ElasticDst;
    bool out = SlideOut != Reversed;
    int row = DirectionRow(EffectiveDirection());
    if (row < 0) return 0;
    int col = (out ? 4 : 0) + (src && dst ? 3 : dst ? 2 : src ? 1 : 0);
    return kModes[row][col];
}

void TSlideTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TSlideTransition>()) {
        auto* s = static_cast<TSlideTransition*>(Source);
        ElasticSrc = s->ElasticSrc;
        ElasticDst = s->ElasticDst;
        SlideOut = s->SlideOut;
    }
}

uint8_t TSlideTransition::GetPixelFormat(TTETransitionDevice* ADevice) { return ADevice->GetPixelFormat(); }

void TSlideTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    FMode = SelectMode();
    FUseWorkBitmap = Data->Bitmap != nullptr;
    cl::TCanvas* canvas = FUseWorkBitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    FOldStretchMode = canvas ? win::SetStretchBltMode(canvas->GetHandle(), win::COLORONCOLOR) : 0;
    const int W = Data->Width, H = Data->Height, M = std::max(W, H);
    const int m = FMode;
    if (IsIn(m, {1, 2, 3, 4, 26, 27, 28})) {
        Frames = H - 1;
        FArea = MakeRect(0, 0, W, 0);
    } else if (IsIn(m, {5, 6, 7, 8, 29, 30, 31})) {
        Frames = H - 1;
        FArea = MakeRect(0, H, W, H);
    } else if (IsIn(m, {9, 10, 11, 12, 32, 33, 34})) {
        Frames = W - 1;
        FArea = MakeRect(W, 0, W, H);
    } else if (IsIn(m, {13, 14, 15, 16, 35, 36, 37})) {
        Frames = W - 1;
        FArea = MakeRect(0, 0, 0, H);
    } else if (IsIn(m, {17, 18})) {
        Frames = M - 1;
        FArea = MakeRect(W, 0, W, 0);
    } else if (IsIn(m, {19, 20})) {
        Frames = M - 1;
        FArea = MakeRect(0, 0, 0, 0);
    } else if (IsIn(m, {21, 22})) {
        Frames = M - 1;
        FArea = MakeRect(W, H, W, H);
    } else if (IsIn(m, {23, 24})) {
        Frames = M - 1;
        FArea = MakeRect(0, H, 0, H);
    } else if (m >= 38 && m <= 46) {
        Frames = m == 46 ? M / 2 - 1 : M - 1;
        FArea = MakeRect(0, 0, W, H);
    } else if (m == 25) {
        Frames = M / 2 - 1;
        FArea = MakeRect(W / 2, H / 2, W / 2, H / 2);
    } else {
        Frames = 0;
    }
}

void TSlideTransition::Finalize(TTETransitionData* Data) {
    cl::TCanvas* canvas = FUseWorkBitmap && Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    if (canvas && FOldStretchMode) win::SetStretchBltMode(canvas->GetHandle(), FOldStretchMode);
    TTimedTransitionEffect::Finalize(Data);
}

void TSlideTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t) {
    const int W = Data->Width, H = Data->Height, k = CurrentFrame, F = Data->Frames;
    const int x = Rnd(static_cast<double>(W) / (F + 1) * k);
    const int y = Rnd(static_cast<double>(H) / (F + 1) * k);
    cl::TCanvas* canvas = FUseWorkBitmap && Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    if (!canvas || !Data->SrcImage || !Data->DstImage) return;
    Painter p(canvas->GetHandle(), Data);
    cl::TBitmap* oldPic = Data->SrcImage;
    cl::TBitmap* newPic = Data->DstImage;
    win::RECT& a = FArea;
    const int m = FMode;
    const bool stretchNew = IsIn(m, {3, 4, 7, 8, 11, 12, 15, 16});
    const bool squeezeOld = IsIn(m, {2, 4, 6, 8, 10, 12, 14, 16});
    if (m >= 1 && m <= 16) {
        win::RECT rest;
        if (m <= 4) {
            a.bottom += Step;
            rest = MakeRect(0, a.bottom, W, H);
            if (stretchNew)
                p.Stretch(newPic, a);
            else
                p.Shift(newPic, a, 0, H - a.bottom);
        } else if (m <= 8) {
            a.top -= Step;
            rest = MakeRect(0, 0, W, a.top);
            if (stretchNew)
                p.Stretch(newPic, a);
            else
                p.Shift(newPic, a, 0, 0);
        } else if (m <= 12) {
            a.left -= Step;
            rest = MakeRect(0, 0, a.left, H);
            if (stretchNew)
                p.Stretch(newPic, a);
            else
                p.Shift(newPic, a, 0, 0);
        } else {
            a.right += Step;
            rest = MakeRect(a.right, 0, W, H);
            if (stretchNew)
                p.Stretch(newPic, a);
            else
                p.Shift(newPic, a, W - a.right, 0);
        }
        if (squeezeOld) p.Stretch(oldPic, rest);
    } else if (m >= 26 && m <= 37) {
        // The uncovered area is FArea; the old picture holds the rest.
        const int g = (m - 26) / 3;  // 0 Down, 1 Up, 2 Left, 3 Right
        const int v = (m - 26) % 3;  // 0 plain, 1 old squeezed, 2 new stretched
        win::RECT strip, old;
        int sx = 0, sy = 0;
        switch (g) {
            case 0:
                strip = MakeRect(0, a.bottom, W, a.bottom + Step);
                a.bottom += Step;
                old = MakeRect(0, a.bottom, W, H);
                break;
            case 1:
                strip = MakeRect(0, a.top - Step, W, a.top);
                a.top -= Step;
                old = MakeRect(0, 0, W, a.top);
                sy = H - a.top;
                break;
            case 2:
                strip = MakeRect(a.left - Step, 0, a.left, H);
                a.left -= Step;
                old = MakeRect(0, 0, a.left, H);
                sx = W - a.left;
                break;
            default:
                strip = MakeRect(a.right, 0, a.right + Step, H);
                a.right += Step;
                old = MakeRect(a.right, 0, W, H);
                break;
        }
        if (v == 1)
            p.Stretch(oldPic, old);
        else
            p.Shift(oldPic, old, sx, sy);
        win::RECT all = MakeRect(0, 0, W, H);
        if (v == 2) {
            p.Stretch(newPic, a);
        } else if (IntersectRects(strip, strip, all)) {
            p.InPlace(newPic, strip);
        }
    } else if (m >= 17 && m <= 24) {
        const bool shift = (m % 2) == 1;
        switch ((m - 17) / 2) {
            case 0:
                a = MakeRect(W - x, 0, W, y);
                if (shift) p.Shift(newPic, a, 0, H - y);
                break;
            case 1:
                a = MakeRect(0, 0, x, y);
                if (shift) p.Shift(newPic, a, W - x, H - y);
                break;
            case 2:
                a = MakeRect(W - x, H - y, W, H);
                if (shift) p.Shift(newPic, a, 0, 0);
                break;
            default:
                a = MakeRect(0, H - y, x, H);
                if (shift) p.Shift(newPic, a, W - x, 0);
                break;
        }
        if (!shift) p.Stretch(newPic, a);
    } else if (m >= 38 && m <= 45) {
        const bool shift = (m % 2) == 0;
        win::RECT prev = a;
        int sx = 0, sy = 0;
        switch ((m - 38) / 2) {
            case 0:
                a = MakeRect(0, y, W - x, H);
                sx = x;
                break;
            case 1: a = MakeRect(x, y, W, H); break;
            case 2:
                a = MakeRect(0, 0, W - x, H - y);
                sx = x;
                sy = y;
                break;
            default:
                a = MakeRect(x, 0, W, H - y);
                sy = y;
                break;
        }
        p.Bands(newPic, prev, a);
        if (shift)
            p.Shift(oldPic, a, sx, sy);
        else
            p.Stretch(oldPic, a);
    } else if (m == 46) {
        win::RECT prev = a;
        a = MakeRect(x / 2, y / 2, W - x / 2, H - y / 2);
        p.Bands(newPic, prev, a);
        p.Stretch(oldPic, a);
    } else if (m == 25) {
        a = MakeRect((W - x) / 2, (H - y) / 2, W - (W - x) / 2, H - (H - y) / 2);
        p.Stretch(newPic, a);
    }
}

uint16_t TSlideTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | tetiMillisecondsCapable |
                                 tetiOffScreenBmpCapable | tetiThreadSafe);
}

void TSlideTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    auto read = [&](const char* key, bool& field) {
        cl::String v = Strings->Values(Prefix + key);
        if (!v.empty()) field = cl::SameText(v, "True");
    };
    read("ElasticDst", ElasticDst);
    read("ElasticSrc", ElasticSrc);
    read("SlideOut", SlideOut);
}

void TSlideTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    auto write = [&](const char* key, bool value) {
        if (!OmitDefaults || value) Strings->SetValue(Prefix + key, value ? "True" : "False");
    };
    write("ElasticDst", ElasticDst);
    write("ElasticSrc", ElasticSrc);
    write("SlideOut", SlideOut);
}

void StartUpteSlide() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(
            TSlideTransition::StaticClass(),
            {DirectionPropInfo(tedDown), ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo(),
             BoolProp("ElasticSrc", &TSlideTransition::GetElasticSrc, &TSlideTransition::SetElasticSrc, false),
             BoolProp("ElasticDst", &TSlideTransition::GetElasticDst, &TSlideTransition::SetElasticDst, false),
             BoolProp("SlideOut", &TSlideTransition::GetSlideOut, &TSlideTransition::SetSlideOut, false)});
    }
    RegisterTransitionClass(TSlideTransition::StaticClass());
}

}  // namespace te
