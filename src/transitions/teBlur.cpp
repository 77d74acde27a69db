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
    Frames = 2 * FRunRadius;
    Data->Custom = std::make_unique<TBlurData>(Data, FRunRadius + 1, Frames);
}

void TBlurTransition::DrawBlurred(const TSummedAreaTable& Table, cl::TBitmap* Bitmap, int W, int H, int A) {
    if (!Bitmap || W <= 0 || H <= 0) return;
    const int M = Table.Margin;
    if (M < 1 || W > Table.Width || H > Table.Height) return;
    A = std::clamp(A, 0, M - 1);
    const uint32_t f = static_cast<uint32_t>(2 * A + 1);
    // With A <= Margin - 1 every entry of a box lies inside the table. For the pixel of
    // column x the box's columns end at table column x + A + M and start after x - A - 1 + M.
    const int near = (M - A - 1) * 3, far = (M + A) * 3;
    const TTERowView out(Bitmap);
    // Row y reads table rows y + A + M and y - A - 1 + M; row y + f reads y + A + M again.
    // The rows go in chains y, y + f, y + 2f, ... so that each table row is fetched from
    // memory once and found in the cache the second time. The order changes no byte.
    const int step = static_cast<int>(f);
    ForRowBands(0, H, static_cast<size_t>(Table.TableWidth()) * 12, [&](int a, int b) {
        // The chain and row of position a in that order.
        int chain = 0, pos = 0;
        for (;;) {
            const int rows = (H - chain + step - 1) / step;
            if (pos + rows > a) break;
            pos += rows;
            ++chain;
        }
        int y = chain + (a - pos) * step;  // counted from the bottom
        for (int k = a; k < b; ++k) {
            BoxRow(out[H - 1 - y], Table.Row(y + A + M), Table.Row(y - A - 1 + M), W * 3, near, far, f * f);
            y += step;
            if (y >= H) y = ++chain;
        }
    });
}

void TBlurTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    auto* bd = static_cast<TBlurData*>(Data->Custom.get());
    if (!bd || !Data->Bitmap) return;
    const TSummedAreaTable& table = bd->TableFor(CurrentFrame);
    const int a = CurrentFrame < bd->Half ? CurrentFrame : Data->Frames - CurrentFrame;
    DrawThrough24Bit(Data, [&](cl::TBitmap* Target) { DrawBlurred(table, Target, Data->Width, Data->Height, a); });
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
