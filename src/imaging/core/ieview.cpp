// The base view control.
#include "imaging/core/ieview.h"

#include <algorithm>

namespace ie {

TIEView::TIEView(cl::TComponent* AOwner) : cl::TCustomControl(AOwner) {
    // The platform has new-style controls: the border is the client edge, not a frame.
    ControlStyle |= cl::csAcceptsControls | cl::csOpaque | cl::csReplicatable | cl::csNeedsBorderPaint;
    Ctl3D = true;
}

TIEView::~TIEView() {
    // One by one from the front: a component told may remove its own registration (it is
    // no longer in the list then, and the removal is ignored).
    while (!FBitmapChangeEvents.empty()) {
        std::unique_ptr<TIEBitmapChangeRecord> r = std::move(FBitmapChangeEvents.front());
        FBitmapChangeEvents.erase(FBitmapChangeEvents.begin());
        if (r->Event) r->Event(this, true);
    }
}

void TIEView::CreateParams(cl::TCreateParams& Params) {
    cl::TCustomControl::CreateParams(Params);
    if (FBorderStyle != cl::bsNone) {
        if (Ctl3D)
            Params.ExStyle |= win::WS_EX_CLIENTEDGE;
        else
            Params.Style |= win::WS_BORDER;
    }
    // No full repaint on resize.
    Params.WindowClassStyle &= ~(win::CS_HREDRAW | win::CS_VREDRAW);
}

void TIEView::SetBorderStyle(cl::TFormBorderStyle Value) {
    if (Value != cl::bsNone) Value = cl::bsSingle;
    if (Value == FBorderStyle) return;
    FBorderStyle = Value;
    RecreateWnd();
}

void TIEView::SetCtl3D(bool Value) {
    if (Value == Ctl3D) return;
    Ctl3D = Value;
    ParentCtl3D = false;
    RecreateWnd();
}

void TIEView::SetBackground(cl::TColor Value) { FBackground = Value; }

void TIEView::SetDpiX(int32_t Value) {
    if (Value != 0) FDpiX = Value;
}

void TIEView::SetDpiY(int32_t Value) {
    if (Value != 0) FDpiY = Value;
}

void TIEView::SetDpi(int32_t X, int32_t Y) {
    SetDpiX(X);
    SetDpiY(Y);
}

TIEBitmapChangeRecord* TIEView::RegisterBitmapChangeEvent(TIEBitmapChangeEvent Event) {
    FBitmapChangeEvents.push_back(std::make_unique<TIEBitmapChangeRecord>(TIEBitmapChangeRecord{std::move(Event)}));
    return FBitmapChangeEvents.back().get();
}

void TIEView::RemoveBitmapChangeEvent(TIEBitmapChangeRecord* Handle) {
    if (!Handle) return;
    auto it = std::find_if(FBitmapChangeEvents.begin(), FBitmapChangeEvents.end(),
                           [Handle](const auto& r) { return r.get() == Handle; });
    if (it != FBitmapChangeEvents.end()) FBitmapChangeEvents.erase(it);
}

void TIEView::CallBitmapChangeEvents() {
    // A component told may register or remove others: the registrations of the moment are
    // called, each only while it is still in the list.
    std::vector<TIEBitmapChangeRecord*> now;
    now.reserve(FBitmapChangeEvents.size());
    for (const auto& r : FBitmapChangeEvents) now.push_back(r.get());
    for (TIEBitmapChangeRecord* h : now) {
        auto it = std::find_if(FBitmapChangeEvents.begin(), FBitmapChangeEvents.end(),
                               [h](const auto& r) { return r.get() == h; });
        if (it == FBitmapChangeEvents.end()) continue;
        TIEBitmapChangeEvent e = (*it)->Event;  // the record may go while the event runs
        if (e) e(this, false);
    }
}

}  // namespace ie
