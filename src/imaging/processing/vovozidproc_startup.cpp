// Start-up of the processing unit and the dialog parameter set of each component.
#include "imaging/core/hyieutils_render.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/processing/ieblur.h"
#include "imaging/processing/ieresample.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/processing/vovozidproc_utils.h"
#include "platform/user.h"

namespace ie {

uint32_t IEClipboardRawFormat = 0;

void VovozIdProcStaticInit() {
    IEBuild1BitExpansion();
    IEBuildFilterPresets();
    IEClipboardRawFormat = win::RegisterClipboardFormat("VOVOZID RAW FORMAT");
    // The core draws filtered pictures and soft shadows through this unit's resamplers.
    IERenderResamplers.ResampleFiltered = [](TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
        IEResampleFiltered(Source, Dest, Filter, nullptr, nullptr);
    };
    IERenderResamplers.Resample1Bit = &IEResample1Bit;
    IERenderResamplers.ResampleGray8 = &IEResampleGray8;
    IERenderResamplers.BoxResample1BitTo24 = &IEBoxResample1BitTo24;
    IERenderResamplers.GaussianBlurGray = &IEGaussianBlurGray;
}

void VovozIdProcStaticFinal() {
    IERenderResamplers = TIERenderResamplers{};
    IEFreeFilterPresets();
}

void VovozIdProcRegisterStaticHooks() {
    IERegisterStaticHooks(iesuVovozIdProc, VovozIdProcStaticInit, VovozIdProcStaticFinal);
}

// ---------------------------------------------------------------------------------------
// The dialog parameters

TIPDialogParams::TIPDialogParams() { Reset(); }

void TIPDialogParams::SetTracked(int Index, int32_t Value) {
    FTracked[Index & 3] = Value;
    PreviewCache.Clear();
}

void TIPDialogParams::Reset() {
    for (int i = 0; i < 4; ++i) SetTracked(i, -1);
    for (int32_t& v : Values) v = 0;
    for (int32_t& v : Matrix) v = 0;
    Matrix[4] = 1;
    Divisor = 0;
    Colors[0] = Colors[2] = TRGB{0, 0, 0};
    Colors[1] = Colors[3] = TRGB{255, 255, 255};
    for (int32_t& v : Values2) v = 0;
    Size1[0] = Size1[1] = 150;
    Color = TRGB{255, 255, 255};
    Values3[0] = 0;
    Values3[1] = 1;
    Values3[2] = Values3[3] = 0;
    Size2[0] = Size2[1] = 150;
    Factor1 = 1.7;
    Values4[0] = 1;
    Values4[1] = 10;
    Values4[2] = 10;
    Values4[3] = Values4[4] = 0;
    Values5[0] = 0;
    Values5[1] = 1;
    Value = 0;
    Factor2 = 1.0;
    Values6[0] = 1;
    Values6[1] = 4;
    Flag = true;
    PreviewCache.Clear();
}

}  // namespace ie
