#include "transitions/teBlend.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "classlib/Graphics.h"
#include "classlib/TypInfo.h"
#include "transitions/teBlndWk.h"
#include "transitions/teEffectProps.h"
#include "transitions/teFuse.h"
#include "transitions/teRender.h"

namespace te {

namespace {

bool HighColor(uint8_t pf) { return pf == cl::pf15bit || pf == cl::pf16bit; }

// Words of the pixel memory equal in both pictures, as a percentage of Size div 4 words.
int32_t MeasureEqualPercent(TTETransitionData* Data) {
    if (!Data->Bitmap || !Data->SrcImage || !Data->DstImage || Data->Height <= 0) return 0;
    const auto pf = static_cast<cl::TPixelFormat>(Data->PixelFormat);
    const int h = Data->Height;
    int64_t size = static_cast<int64_t>(GetBytesPerScanline(Data->Bitmap, pf, 32)) * h;
    // Never beyond what the two pictures hold.
    for (cl::TBitmap* b : {Data->SrcImage, Data->DstImage}) {
        if (b->GetHeight() < h) return 0;
        size = std::min(size, static_cast<int64_t>(b->RowBytes()) * h);
    }
    const int64_t n = size / 4;
    if (n <= 0) return 0;
    const auto* a = static_cast<const uint8_t*>(Data->DstImage->ScanLine(h - 1));
    const auto* b = static_cast<const uint8_t*>(Data->SrcImage->ScanLine(h - 1));
    int64_t count = 0;
    for (int64_t i = 0; i < n; ++i)
        if (std::memcmp(a + 4 * i, b + 4 * i, 4) == 0) ++count;
    return static_cast<int32_t>(count * 100 / n);
}

}  // namespace

uint8_t TBlendTransition::GetPixelFormat(TTETransitionDevice* ADevice) {
    uint8_t pf = TTimedTransitionEffect::GetPixelFormat(ADevice);
    if (pf == cl::pf32bit && !MMXAvailable) pf = cl::pf24bit;
    return pf;
}

void TBlendTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    Frames = HighColor(Data->PixelFormat) ? 31 : 254;
    if (HighColor(Data->PixelFormat) || !MMXAvailable) FEqualPercent = MeasureEqualPercent(Data);
}

void TBlendTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    BlendBitmaps(Data->Bitmap, Data->DstImage, Data->SrcImage, nullptr,
                 static_cast<cl::TPixelFormat>(Data->PixelFormat), CurrentFrame, FEqualPercent);
    Data->UpdateRect = win::RECT{0, 0, Data->Width, Data->Height};
}

uint16_t TBlendTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | 0x135);
}

TTransitionEffect* TBlendTransition::TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) {
    if (TTransitionEffect* fuse = PaletteDisplayFuse(this, ADevice)) return fuse;
    return TTimedTransitionEffect::TransitionForDevice(ADevice, MakeCopy);
}

void StartUpteBlend() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(TBlendTransition::StaticClass(), {PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TBlendTransition::StaticClass());
}

}  // namespace te
