#include "transitions/teRoll.h"

#include <algorithm>
#include <cmath>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teRender.h"

namespace te {

namespace {

using cl::BoolProp;

}  // namespace

std::vector<int8_t> RollShadeTable(int s) {
    std::vector<int8_t> t(static_cast<size_t>(std::max(s, 0)), 0);
    if (s <= 0) return t;
    if (s == 1) {
        t[0] = 110;
        return t;
    }
    if (s == 2) {
        t[0] = -110;
        t[1] = 110;
        return t;
    }
    const int q = (s - 1) / 4, h = (s - 1) / 2, m = (s + 1) / 2;
    const double x = 220.0 / h;
    auto at = [&](int i) -> int8_t& { return t[static_cast<size_t>(i)]; };
    at(0) = at(s - 1) = -110;
    at(m - 1) = 110;
    if (s % 2 == 0) at(m) = 110;
    for (int i = 1; i <= q; ++i) {
        auto v = static_cast<int8_t>(std::nearbyint(110 - i * x));
        at(i) = at(s - 1 - i) = static_cast<int8_t>(-v);
        if (s > 6) {
            at(m - 1 - i) = v;
            if (s % 2 == 0)
                at(m + i) = v;
            else
                at(m + i - 1) = v;
        }
    }
    return t;
}

TRollData::~TRollData() {
    if (Mirror) Mirror->GetCanvas()->Unlock();
    if (Band) Band->GetCanvas()->Unlock();
}

TRollTransition::TRollTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {
    AllowedDirections = DirectionBit(tedRight) | DirectionBit(tedLeft) | DirectionBit(tedDown) | DirectionBit(tedUp) |
                        DirectionBit(tedRandom);
    FDirection = tedDown;
}

bool TRollTransition::Use3DActive(TTETransitionDevice* ADevice) {
    if (!MMXAvailable || !Use3D || Size <= 0 || !ADevice) return false;
    uint8_t pf = ADevice->GetPixelFormat();
    return pf >= cl::pf15bit && pf <= cl::pf32bit;
}

void TRollTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TRollTransition>()) {
        auto* s = static_cast<TRollTransition*>(Source);
        Use3D = s->Use3D;
        Unroll = s->Unroll;
        Size = s->Size;
    }
}

void TRollTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    const int W = Data->Width, H = Data->Height, S = std::max(Size, 0);
    const bool u = IsUnrolling();
    const TTEEffectDirection d = EffectiveDirection();
    const bool horizontal = d == tedRight || d == tedLeft;
    Frames = horizontal ? W - 1 : H - 1;
    auto rd = std::make_unique<TRollData>(Data);
    switch (d) {
        case tedRight: rd->BandRect = MakeRect(u ? -S : 0, 0, 0, H); break;
        case tedLeft: rd->BandRect = MakeRect(W, 0, u ? W + S : W, H); break;
        case tedDown: rd->BandRect = MakeRect(0, u ? -S : 0, W, 0); break;
        default: rd->BandRect = MakeRect(0, H, W, u ? H + S : H); break;
    }
    rd->Flat = rd->BandRect;
    if (Use3DActive(Data->Device) && u) {
        rd->Shades = RollShadeTable(S);
        rd->ShadeLength = S;
    }
    rd->Band = std::make_unique<cl::TBitmap>();
    rd->Band->GetCanvas()->Lock();
    AdjustBitmapFormat(rd->Band.get(), nullptr, horizontal ? std::max(S, 1) : W, horizontal ? H : std::max(S, 1),
                       cl::pf32bit);
    rd->Mirror = std::make_unique<cl::TBitmap>();
    rd->Mirror->GetCanvas()->Lock();
    AdjustBitmapFormat(rd->Mirror.get(), nullptr, W, H, cl::pf32bit);
    cl::TBitmap* pic = u ? Data->DstImage : Data->SrcImage;
    if (!pic) throw ETransitionEffectError("Roll: the picture to roll is missing");
    win::HDC mdc = rd->Mirror->GetCanvas()->GetHandle();
    int oldMode = win::SetStretchBltMode(mdc, win::COLORONCOLOR);
    if (horizontal)
        win::StretchBlt(mdc, W, 0, -W, H, pic->GetCanvas()->GetHandle(), 0, 0, W, H, win::SRCCOPY);
    else
        win::StretchBlt(mdc, 0, H, W, -H, pic->GetCanvas()->GetHandle(), 0, 0, W, H, win::SRCCOPY);
    win::SetStretchBltMode(mdc, oldMode);
    Data->Custom = std::move(rd);
}

void TRollTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t) {
    auto* rd = static_cast<TRollData*>(Data->Custom.get());
    if (!rd) return;
    const int W = Data->Width, H = Data->Height, S = std::max(Size, 0), k = CurrentFrame, F = Data->Frames;
    const bool u = IsUnrolling();
    win::RECT& b = rd->BandRect;
    win::RECT& f = rd->Flat;
    const int v = u ? std::min(F - k + 1, S) : std::min(k, S);
    int ox = 0, oy = 0;
    switch (EffectiveDirection()) {
        case tedRight:
            if (u) {
                b.right += Step;
                b.left = b.right - v;
                f.left = f.right;
                f.right = b.left;
                ox = W - b.right - v;
            } else {
                f.left = f.right;
                f.right += Step;
                b.left = f.right;
                b.right = f.right + v;
                ox = W - f.right - 1;
            }
            break;
        case tedLeft:
            if (u) {
                b.left -= Step;
                b.right = b.left + v;
                f.right = f.left;
                f.left = b.right;
                ox = W + v - b.right - 1;
            } else {
                f.right = f.left;
                f.left -= Step;
                b.right = f.left;
                b.left = f.left - v;
                ox = W - f.left - v;
            }
            break;
        case tedDown:
            if (u) {
                b.bottom += Step;
                b.top = b.bottom - v;
                f.top = f.bottom;
                f.bottom = b.top;
                oy = H - b.bottom - v;
            } else {
                f.top = f.bottom;
                f.bottom += Step;
                b.top = f.bottom;
                b.bottom = f.bottom + v;
                oy = H - f.bottom - 1;
            }
            break;
        default:
            if (u) {
                b.top -= Step;
                b.bottom = b.top + v;
                f.bottom = f.top;
                f.top = b.bottom;
                oy = H + v - b.bottom - 1;
            } else {
                f.bottom = f.top;
                f.top -= Step;
                b.bottom = f.top;
                b.top = f.top - v;
                oy = H - f.top - v;
            }
            break;
    }
    cl::TCanvas* canvas = Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    if (!canvas || !Data->DstImage) return;
    win::HDC dc = canvas->GetHandle();
    const win::RECT area = MakeRect(0, 0, W, H);
    win::RECT flat;
    bool hasFlat = IntersectRects(flat, f, area);
    if (hasFlat)
        win::BitBlt(dc, flat.left, flat.top, flat.right - flat.left, flat.bottom - flat.top,
                    Data->DstImage->GetCanvas()->GetHandle(), flat.left, flat.top, win::SRCCOPY);
    if (Use3DActive(Data->Device) && S > 0) {
        DrawShadedBand(Data, rd, dc, ox, oy, v);
    } else {
        // The visible part of the band, read from the mirror image at the offsets.
        win::RECT vis;
        if (IntersectRects(vis, b, area))
            win::BitBlt(dc, vis.left, vis.top, vis.right - vis.left, vis.bottom - vis.top,
                        rd->Mirror->GetCanvas()->GetHandle(), ox + (vis.left - b.left), oy + (vis.top - b.top),
                        win::SRCCOPY);
    }
    win::RECT all = hasFlat ? flat : b;
    UniteRect(all, b);
    IntersectRects(Data->UpdateRect, all, area);
}

void TRollTransition::DrawShadedBand(TTETransitionData* Data, TRollData* RD, win::HDC DC, int OffsetX, int OffsetY,
                                     int V) {
    const win::RECT& b = RD->BandRect;
    win::RECT vis;
    if (V <= 0 || !IntersectRects(vis, b, MakeRect(0, 0, Data->Width, Data->Height))) return;
    if (RD->ShadeLength != V) {
        RD->Shades = RollShadeTable(V);
        RD->ShadeLength = V;
    }
    const TTEEffectDirection d = EffectiveDirection();
    const bool horizontal = d == tedRight || d == tedLeft;
    cl::TBitmap* mirror = RD->Mirror.get();
    cl::TBitmap* band = RD->Band.get();
    // Band buffer coordinates: column c of the band for right and left (rows as the area),
    // row r of the band for down and up (columns as the area).
    for (int y = vis.top; y < vis.bottom; ++y) {
        const int r = y - b.top;
        const int my = OffsetY + r;
        if (my < 0 || my >= mirror->GetHeight()) continue;
        const auto* src = static_cast<const uint8_t*>(mirror->ScanLine(my));
        auto* dst = static_cast<uint8_t*>(band->ScanLine(horizontal ? y : r));
        for (int x = vis.left; x < vis.right; ++x) {
            const int c = x - b.left;
            const int mx = OffsetX + c;
            if (mx < 0 || mx >= mirror->GetWidth()) continue;
            const int shade = RD->Shades[static_cast<size_t>(horizontal ? c : V - 1 - r)];
            const uint8_t* s = src + mx * 4;
            uint8_t* o = dst + (horizontal ? c : x) * 4;
            for (int i = 0; i < 3; ++i) o[i] = static_cast<uint8_t>(std::clamp(s[i] + shade, 0, 255));
        }
    }
    const int bx = horizontal ? vis.left - b.left : vis.left;
    const int by = horizontal ? vis.top : vis.top - b.top;
    win::BitBlt(DC, vis.left, vis.top, vis.right - vis.left, vis.bottom - vis.top, band->GetCanvas()->GetHandle(), bx,
                by, win::SRCCOPY);
}

uint16_t TRollTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | tetiMillisecondsCapable |
                                 tetiOffScreenBmpCapable | tetiThreadSafe);
}

void TRollTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "Size");
    if (!v.empty()) Size = cl::StrToInt(v);
    v = Strings->Values(Prefix + "Unroll");
    if (!v.empty()) Unroll = cl::SameText(v, "True");
    v = Strings->Values(Prefix + "Use3D");
    if (!v.empty()) Use3D = cl::SameText(v, "True");
}

void TRollTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || Size != 60) Strings->SetValue(Prefix + "Size", cl::IntToStr(Size));
    if (!OmitDefaults || !Unroll) Strings->SetValue(Prefix + "Unroll", Unroll ? "True" : "False");
    if (!OmitDefaults || !Use3D) Strings->SetValue(Prefix + "Use3D", Use3D ? "True" : "False");
}

void StartUpteRoll() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(
            TRollTransition::StaticClass(),
            {cl::OrdProp("Size", cl::tkInteger, "Integer", &TRollTransition::GetSize, &TRollTransition::SetSize, 60),
             BoolProp("Use3D", &TRollTransition::GetUse3D, &TRollTransition::SetUse3D, true),
             BoolProp("Unroll", &TRollTransition::GetUnroll, &TRollTransition::SetUnroll, true),
             DirectionPropInfo(tedDown), ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TRollTransition::StaticClass());
}

}  // namespace te
