#include "transitions/teFuse.h"

#include <memory>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "platform/gdi.h"
#include "transitions/teBlndWk.h"
#include "transitions/teEffectProps.h"
#include "transitions/teRender.h"

namespace te {

const uint8_t FuseSpiralOrder[8][8] = {
    {64, 37, 38, 39, 40, 41, 42, 43}, {63, 36, 17, 18, 19, 20, 21, 44}, {62, 35, 16, 5, 6, 7, 22, 45},
    {61, 34, 15, 4, 1, 8, 23, 46},    {60, 33, 14, 3, 2, 9, 24, 47},    {59, 32, 13, 12, 11, 10, 25, 48},
    {58, 31, 30, 29, 28, 27, 26, 49}, {57, 56, 55, 54, 53, 52, 51, 50},
};

TFuseTransition::TFuseTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {}

TFuseTransition::~TFuseTransition() { delete FPattern; }

void TFuseTransition::SetStyle(uint16_t Value) {
    if (Value <= StyleCount) FStyle = Value;
}

uint16_t TFuseTransition::EffectiveStyle() {
    uint16_t s = FStyle;
    if (s == 0) {
        if (FRandomStyle == 0) FRandomStyle = static_cast<uint16_t>(cl::Random(StyleCount) + 1);
        s = FRandomStyle;
    }
    if (Reversed && s >= 2) s = (s % 2 == 0) ? static_cast<uint16_t>(s + 1) : static_cast<uint16_t>(s - 1);
    return s;
}

void TFuseTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TFuseTransition>()) SetStyle(static_cast<TFuseTransition*>(Source)->FStyle);
}

void TFuseTransition::DrawPatternStep(cl::TBitmap* Pattern, uint16_t Style, int S, int N) {
    cl::TCanvas* c = Pattern->GetCanvas();
    c->GetPen()->SetColor(cl::clBlack);
    auto line = [c](int x0, int y0, int x1, int y1) {
        c->MoveTo(x0, y0);
        c->LineTo(x1, y1);
    };
    // The odd styles from 3 on run their even partner backwards.
    if (Style >= 3 && Style % 2 == 1) {
        S = N - S + 2;
        --Style;
    }
    switch (Style) {
        case 1: SetFusePatternPixel(Pattern, S); break;
        case 2: line(0, S - 1, 8, S - 1); break;
        case 4: line(S - 1, 0, S - 1, 8); break;
        case 6:
            if (S == 1) {
                c->SetPixels(0, 0, cl::clBlack);
            } else {
                const int a = S - 1;
                c->MoveTo(a, 0);
                c->LineTo(a, a);
                c->LineTo(-1, a);
            }
            break;
        case 8:
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    if (FuseSpiralOrder[y][x] == S) c->SetPixels(x, y, cl::clBlack);
            break;
        case 10:
            line(S - 8, 0, S, 8);
            line(S, 0, S + 8, 8);
            break;
        case 12:
            line(S + 7, 0, S - 1, 8);
            line(S - 1, 0, S - 9, 8);
            break;
        default: break;
    }
}

void TFuseTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    cl::Randomize();
    delete FPattern;
    FPattern = nullptr;
    auto pattern = std::make_unique<cl::TBitmap>();
    AdjustBitmapFormat(pattern.get(), nullptr, 8, 8, cl::pf1bit);
    pattern->GetCanvas()->GetBrush()->SetColor(cl::clWhite);
    pattern->GetCanvas()->FillRect(cl::Rect(0, 0, 8, 8));
    FPattern = pattern.release();
    const uint16_t s = EffectiveStyle();
    Frames = (s == 1 || s == 8 || s == 9) ? 63 : 7;
}

void TFuseTransition::Finalize(TTETransitionData* Data) {
    delete FPattern;
    FPattern = nullptr;
    if (Data->PassCount == 1 || Data->Pass == 2) FRandomStyle = 0;
    TTimedTransitionEffect::Finalize(Data);
}

void TFuseTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t) {
    Data->UpdateRect = win::RECT{0, 0, Data->Width, Data->Height};
    if (!FPattern) return;
    const uint16_t style = EffectiveStyle();
    for (int s = CurrentFrame - Step + 1; s <= CurrentFrame; ++s) DrawPatternStep(FPattern, style, s, Data->Frames);
    if (!Data->Bitmap || !Data->DstImage) return;
    CopyThroughPattern(Data->Bitmap, Data->DstImage, FPattern, Data->Width, Data->Height);
}

uint16_t TFuseTransition::GetInfo(TTETransitionDevice* ADevice) {
    const uint16_t extra = (ADevice && !ADevice->Threaded) ? 0x1B5 : 0x135;
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | extra);
}

void TFuseTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    const cl::String v = Strings->Values(Prefix + "Style");
    if (!v.empty()) SetStyle(static_cast<uint16_t>(cl::StrToInt(v)));
}

void TFuseTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || FStyle != 1) Strings->SetValue(Prefix + "Style", cl::IntToStr(FStyle));
}

TTransitionEffect* PaletteDisplayFuse(TTransitionEffect* Effect, TTETransitionDevice* ADevice) {
    const uint8_t pf = ADevice ? ADevice->GetPixelFormat() : static_cast<uint8_t>(cl::pf32bit);
    if (pf >= cl::pf15bit && pf <= cl::pf32bit) return nullptr;
    auto fuse = std::make_unique<TFuseTransition>(nullptr);
    fuse->Assign(Effect);
    fuse->SetStyle(1);
    return fuse.release();
}

void StartUpteFuse() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(
            TFuseTransition::StaticClass(),
            {cl::OrdProp("Style", cl::tkInteger, "Word", &TFuseTransition::GetStyle, &TFuseTransition::SetStyle, 1),
             ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TFuseTransition::StaticClass());
}

}  // namespace te
