// The component's side of acquisition and dialogs: the image acquisition and video glue
// made on first use, the mono-conversion and preview settings, and the entry of the
// parameters dialog.
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/ieds.h"
#include "imaging/io/iewia.h"
#include "imaging/io/vovozidio.h"

namespace ie {

void TVovozIdIO::SetMonoConversion(uint8_t Value) {
    if (FIEBitmap) FIEBitmap->MonoConversion = Value;
    MonoConversion = Value;
}

void TVovozIdIO::SetPreviewFont(cl::TFont* Value) {
    if (Value) FPreviewFont->Assign(Value);
}

TIEWia* TVovozIdIO::GetWIA() {
    if (!FWia) {
        FWia = std::make_unique<TIEWia>(this);
        FWia->OnProgress = [this](int32_t Percent) { return WIAProgress(Percent); };
    }
    return FWia.get();
}

bool TVovozIdIO::WIAProgress(int32_t Percent) {
    if (ProgressHookFnc) ProgressHookFnc(ProgressHookData, this, Percent);
    return !Aborting;
}

TIEDirectShow* TVovozIdIO::GetDirectShow() {
    if (!FDirectShow) {
        FDirectShow = std::make_unique<TIEDirectShow>();
        if (FAttachedVovozId) FDirectShow->SetNotifyWindow(FAttachedVovozId->ViewHandle(), IEM_NEWFRAME, IEM_EVENT);
    }
    return FDirectShow.get();
}

void TVovozIdIO::UpdateDirectShowNotifyWindow() {
    if (!FAttachedVovozId || !FDirectShow) return;
    const win::HWND wnd = FAttachedVovozId->ViewHandle();
    if (wnd != FDirectShow->GetNotifyWindow()) FDirectShow->SetNotifyWindow(wnd, IEM_NEWFRAME, IEM_EVENT);
}

void TVovozIdIO::ReleaseSpareDirectShow() {
    if (!FSpareDirectShow) return;
    FSpareDirectShow->Disconnect();
    FSpareDirectShow.reset();
}

bool TVovozIdIO::DoPreviews(uint16_t Pages) {
    bool handled = false;
    if (OnDoPreviews) OnDoPreviews(this, handled);
    if (handled) return true;
    if (!MakeConsistentBitmap()) return false;
    // The dialog works on 24-bit (or 1-bit) pictures: it gets a converted copy, so the
    // caller's picture keeps its own format.
    std::unique_ptr<TIEBitmap> converted;
    TIEBitmap* shown = FIEBitmap;
    const TIEPixelFormat f = FIEBitmap->GetPixelFormat();
    if (f != ie24RGB && f != ie1g) {
        converted = std::make_unique<TIEBitmap>();
        converted->Assign(FIEBitmap);
        converted->SetPixelFormat(ie24RGB);
        shown = converted.get();
    }
    auto& dialog = IEIOExtensionHooks().DoPreviews;
    const bool result = dialog ? dialog(this, Pages, shown) : false;
    Update();
    return result;
}

}  // namespace ie
