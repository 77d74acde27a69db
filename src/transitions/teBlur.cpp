#include "transitions/teBlur.h"

#include <algorithm>
#include <memory>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teFuse.h"
#include "transitions/teRender.h"

namespace te {

TBlurTransition::TBlurTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {}

void TBlurTransition::SetRadius(uint8_t Value) {
    if (Value >= 1 && Value <= 50) FRadius = Value;
}

void TBlurTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TBlurTransition>()) SetRadius(static_cast<TBlurTransition*>(Source)->FRadius);
}

uint8_t TBlurTransition::GetPixelFormat(TTETransitionDevice*) { return cl::pf24bit; }

void TBlurTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    FRunRadius = FRadius;
    auto bd = std::make_unique<TBlurData>(Data);
    bd->Table.Build(Data->SrcImage, Data->Width, Data->Height, FRunRadius + 1);
    bd->HoldsOld = true;
    Frames = 2 * FRunRadius;
    bd->Half = Frames / 2 + 1;
    Data->Custom = std::move(bd);
}

void TBlurTransition::DrawBlurred(const TSummedAreaTable& Table, cl::TBitmap* Bitmap, int W, int H, int A) {
    if (!Bitmap || W <= 0 || H <= 0) return;
    const int M = Table.Margin;
    if (M < 1 || W > Table.Width || H > Table.Height) return;
    A = std::clamp(A, 0, M - 1);
    const uint32_t f = static_cast<uint32_t>(2 * A + 1);
    const uint32_t n = f * f;
    // Box sums are below 255 * n < 2^22, so sum * ceil(2^44 / n) >> 44 is sum / n exactly.
    const uint64_t recip = (uint64_t{1} << 44) / n + 1;
    // With A <= Margin - 1 every entry of a box lies inside the table.
    for (int y = 0; y < H; ++y) {  // counted from the bottom
        auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(H - 1 - y));
        const uint32_t* top = Table.Row(y + A + M);
        const uint32_t* below = Table.Row(y - A - 1 + M);
        for (int x = 0; x < W; ++x) {
            const size_t i1 = static_cast<size_t>(x + A + M) * 3, i0 = static_cast<size_t>(x - A - 1 + M) * 3;
            for (size_t c = 0; c < 3; ++c) {
                const uint32_t sum = top[i1 + c] - top[i0 + c] - below[i1 + c] + below[i0 + c];
                row[static_cast<size_t>(x) * 3 + c] = static_cast<uint8_t>((sum * recip) >> 44);
            }
        }
    }
}

void TBlurTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    auto* bd = static_cast<TBlurData*>(Data->Custom.get());
    if (!bd || !Data->Bitmap) return;
    int a = CurrentFrame;
    if (CurrentFrame >= bd->Half) {
        if (bd->HoldsOld) {
            bd->Table.Build(Data->DstImage, Data->Width, Data->Height, FRunRadius + 1);
            bd->HoldsOld = false;
        }
        a = Data->Frames - CurrentFrame;
    }
    DrawThrough24Bit(Data, [&](cl::TBitmap* Target) { DrawBlurred(bd->Table, Target, Data->Width, Data->Height, a); });
}

uint16_t TBlurTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | 0x115);
}

TTransitionEffect* TBlurTransition::TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) {
    if (TTransitionEffect* fuse = PaletteDisplayFuse(this, ADevice)) return fuse;
    return TTimedTransitionEffect::TransitionForDevice(ADevice, MakeCopy);
}

void TBlurTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "Radius");
    if (!v.empty()) {
        int r = cl::StrToInt(v);
        if (r >= 1 && r <= 50) SetRadius(static_cast<uint8_t>(r));
    }
}

void TBlurTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    Strings->SetValue(Prefix + "Radius", cl::IntToStr(FRadius));
}

void StartUpteBlur() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(TBlurTransition::StaticClass(),
                             {cl::OrdProp("Radius", cl::tkInteger, "Byte", &TBlurTransition::GetRadius,
                                          &TBlurTransition::SetRadius, 50),
                              ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TBlurTransition::StaticClass());
}

}  // namespace te
