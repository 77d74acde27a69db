#include "transitions/tePush.h"

#include "classlib/Graphics.h"
#include "classlib/TypInfo.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"

namespace te {

TPushTransition::TPushTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {
    AllowedDirections = DirectionBit(tedRight) | DirectionBit(tedLeft) | DirectionBit(tedDown) | DirectionBit(tedUp) |
                        DirectionBit(tedRandom);
    FDirection = tedDown;
}

uint8_t TPushTransition::GetPixelFormat(TTETransitionDevice* ADevice) { return ADevice->GetPixelFormat(); }

void TPushTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    FUseWorkBitmap = Data->Bitmap != nullptr;
    TTEEffectDirection d = EffectiveDirection();
    Frames = (d == tedRight || d == tedLeft) ? Data->Width - 1 : Data->Height - 1;
}

void TPushTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    const int W = Data->Width, H = Data->Height, k = CurrentFrame;
    cl::TCanvas* canvas = FUseWorkBitmap && Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    Data->UpdateRect = MakeRect(0, 0, W, H);
    if (!canvas || !Data->SrcImage || !Data->DstImage) return;
    win::HDC dc = canvas->GetHandle();
    win::HDC src = Data->SrcImage->GetCanvas()->GetHandle();
    win::HDC dst = Data->DstImage->GetCanvas()->GetHandle();
    switch (EffectiveDirection()) {
        case tedRight:
            win::BitBlt(dc, k, 0, W - k, H, src, 0, 0, win::SRCCOPY);
            win::BitBlt(dc, 0, 0, k, H, dst, W - k, 0, win::SRCCOPY);
            break;
        case tedLeft:
            win::BitBlt(dc, 0, 0, W - k, H, src, k, 0, win::SRCCOPY);
            win::BitBlt(dc, W - k, 0, k, H, dst, 0, 0, win::SRCCOPY);
            break;
        case tedDown:
            win::BitBlt(dc, 0, k, W, H - k, src, 0, 0, win::SRCCOPY);
            win::BitBlt(dc, 0, 0, W, k, dst, 0, H - k, win::SRCCOPY);
            break;
        case tedUp:
            win::BitBlt(dc, 0, 0, W, H - k, src, 0, k, win::SRCCOPY);
            win::BitBlt(dc, 0, H - k, W, k, dst, 0, 0, win::SRCCOPY);
            break;
        default: break;
    }
    Data->UpdateRect = MakeRect(0, 0, W, H);
}

uint16_t TPushTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | tetiMillisecondsCapable |
                                 tetiOffScreenBmpCapable | tetiThreadSafe);
}

void StartUptePush() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(TPushTransition::StaticClass(), {DirectionPropInfo(tedDown), ReversedPropInfo(),
                                                              PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TPushTransition::StaticClass());
}

}  // namespace te
