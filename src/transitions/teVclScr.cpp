#include "transitions/teVclScr.h"

#include <memory>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"

namespace te {

namespace {

// The device holding the program's one prepared transition.
TTEVCLScreenTrDevice* gPreparedDevice = nullptr;
bool gRenderWindowHandlers = false;

void RenderWindowEraseBackground(cl::TObject* Self, cl::TMessage& Message) {
    auto* rw = static_cast<TTERenderWindow*>(Self);
    if (rw->BackgroundBitmap && Message.WParam) {
        auto dc = reinterpret_cast<win::HDC>(Message.WParam);
        win::BitBlt(dc, 0, 0, rw->BackgroundBitmap->GetWidth(), rw->BackgroundBitmap->GetHeight(),
                    rw->BackgroundBitmap->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
    }
    // The background counts as erased: the window never paints over what the screen shows.
    Message.Result = 1;
}

win::RECT OffsetRectBy(const win::RECT& r, int dx, int dy) {
    return MakeRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy);
}

}  // namespace

bool TransitionPrepared() { return gPreparedDevice != nullptr; }

// ---- the render window ---------------------------------------------------------------------------------

TTERenderWindow::TTERenderWindow(cl::TComponent* AOwner) : cl::TCustomControl(AOwner) {
    if (!gRenderWindowHandlers) {
        cl::RegisterMessageHandler(StaticClass(), win::WM_ERASEBKGND, &RenderWindowEraseBackground);
        gRenderWindowHandlers = true;
    }
    SetVisible(false);
    SetCaption("teRenderWindow");
    SetColor(0x800080);
}

TTERenderWindow::~TTERenderWindow() { delete BackgroundBitmap; }

void TTERenderWindow::CreateParams(cl::TCreateParams& Params) {
    cl::TCustomControl::CreateParams(Params);
    if (!GetParent()) {
        Params.Style = (Params.Style & ~win::WS_CHILD) | win::WS_POPUP;
        Params.WndParent = cl::Application ? cl::Application->GetHandle() : nullptr;
        if (OwnerControl && OwnerControl->HandleAllocated()) {
            win::HWND top = win::GetAncestor(OwnerControl->GetHandle(), win::GA_ROOT);
            if (top && (static_cast<win::DWORD>(win::GetWindowLongA(top, win::GWL_EXSTYLE)) & win::WS_EX_TOPMOST))
                Params.ExStyle |= win::WS_EX_TOPMOST;
        }
    }
}

// ---- the device ------------------------------------------------------------------------------------------

TTEVCLScreenTrDevice::TTEVCLScreenTrDevice() {}

TTEVCLScreenTrDevice::~TTEVCLScreenTrDevice() {
    try {
        UnPrepare();
    } catch (...) {
    }
}

bool TTEVCLScreenTrDevice::IsTransitionDisabled(TTransitionEffect* Transition, bool ForRun) const {
    return !Transition->GetEnabled() && (ForRun || !Transition->FlickerFreeWhenDisabled);
}

TTransitionEffect* TTEVCLScreenTrDevice::TransitionToRun(TTransitionEffect* Transition, bool MakeCopy) {
    return TTETransitionDevice::TransitionToRun(Transition, MakeCopy);
}

win::HWND TTEVCLScreenTrDevice::GetThreadWindow() { return RenderWindow ? RenderWindow->GetHandle() : nullptr; }

bool TTEVCLScreenTrDevice::HasWindowRegion() {
    return RenderWindow && RenderWindow->HandleAllocated() && te::HasWindowRegion(RenderWindow->GetHandle());
}

win::RECT TTEVCLScreenTrDevice::OnScreen(cl::TWinControl* wc, const win::RECT& r) const {
    win::POINT tl{r.left, r.top};
    if (ClientCoordsNow) {
        tl = ControlClientToScreen(wc, tl);
    } else {
        win::RECT wr;
        win::GetWindowRect(wc->GetHandle(), &wr);
        tl = win::POINT{wr.left + r.left, wr.top + r.top};
    }
    return MakeRect(tl.x, tl.y, tl.x + (r.right - r.left), tl.y + (r.bottom - r.top));
}

bool TTEVCLScreenTrDevice::IsObscured() {
    if (!Control) return false;
    cl::TWinControl* wc =
        Control->Is<cl::TWinControl>() ? static_cast<cl::TWinControl*>(Control) : Control->GetParent();
    if (!wc) return false;
    return IsWindowAreaObscured(wc->GetHandle(), RenderWindow ? RenderWindow->GetHandle() : nullptr,
                                OnScreen(wc, ControlRect));
}

bool TTEVCLScreenTrDevice::IsPaletteDisplay() { return te::IsPaletteDisplay(false); }

uint8_t TTEVCLScreenTrDevice::GetPixelFormat() { return static_cast<uint8_t>(GetDisplayPixelFormat(false)); }

int32_t TTEVCLScreenTrDevice::BackgroundColor() { return Control ? cl::ColorToRGB(Control->GetColor()) : 0; }

win::RECT TTEVCLScreenTrDevice::CaptureRect(const win::RECT& Base) {
    int w = GetTransition()->GetBitmapsWidth(Data.get());
    return MakeRect(Base.left, Base.top, Base.left + w, Base.bottom);
}

win::HWND TTEVCLScreenTrDevice::ParentWindowOfRender() const {
    return RenderParent && RenderParent->HandleAllocated() ? RenderParent->GetHandle() : nullptr;
}

bool TTEVCLScreenTrDevice::SetUpWindow(cl::TControl* AControl, const win::RECT& R) {
    if (!FTransition) throw ETransitionEffectError("Device's transition is not assigned");
    if (!CanRun() || (gPreparedDevice && gPreparedDevice != this)) return false;
    // The animated window: a non-windowed or invisible control hands over to its first
    // visible windowed ancestor, the rectangle following along; so does a page of a page
    // control, so that the render window stays above the page control while the caller
    // switches pages underneath.
    cl::TControl* c = AControl;
    win::RECT r = R;
    while (c && (!c->Is<cl::TWinControl>() || !c->GetVisible() ||
                 (c->GetParent() && c->GetParent()->Is<cl::TPageControl>()))) {
        if (!c->GetParent()) return false;
        r = OffsetRectBy(r, c->GetLeft(), c->GetTop());
        c = c->GetParent();
    }
    if (!c) return false;
    auto* wc = static_cast<cl::TWinControl*>(c);
    if (!wc->GetParent() && !wc->GetParentWindow() && !wc->Is<cl::TCustomForm>()) return false;
    if (!win::IsWindowVisible(wc->GetHandle())) return false;
    Control = wc;
    ControlRect = r;
    ClientCoordsNow = RectInClientCoords;
    wc->Repaint();

    auto rw = std::make_unique<TTERenderWindow>(wc);
    rw->OwnerControl = wc;
    rw->SetCursor(wc->GetCursor());
    cl::TWinControl* parent = RectInClientCoords ? wc : wc->GetParent();
    win::RECT place = r;
    RenderParent = parent;
    if (!parent) {
        // A control without a parent (a form) in window coordinates: an owner-less pop-up
        // over its window rectangle, owned by the application window.
        win::RECT wr;
        win::GetWindowRect(wc->GetHandle(), &wr);
        place = OffsetRectBy(r, wr.left, wr.top);
        if (cl::Application) rw->SetParentWindow(cl::Application->GetHandle());
    } else {
        if (!RectInClientCoords) place = OffsetRectBy(r, wc->GetLeft(), wc->GetTop());
        rw->SetParent(parent);
        win::HWND ph = parent->GetHandle();
        win::DWORD style = static_cast<win::DWORD>(win::GetWindowLongA(ph, win::GWL_STYLE));
        if (!(style & win::WS_CLIPCHILDREN)) {
            SavedParentStyle = style;
            win::SetWindowLongA(ph, win::GWL_STYLE, static_cast<win::LONG>(style | win::WS_CLIPCHILDREN));
        }
    }
    rw->SetBounds(place.left, place.top, place.right - place.left, place.bottom - place.top);
    win::HWND rh = rw->GetHandle();
    if (parent && !RectInClientCoords) {
        win::HWND above = win::GetWindow(wc->GetHandle(), win::GW_HWNDPREV);
        win::SetWindowPos(rh, above ? above : win::HWND_TOP, 0, 0, 0, 0,
                          win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE | win::SWP_NOREDRAW);
    }
    ScreenRect = place;
    RenderWindow = rw.release();
    Data->Width = RenderWindow->GetWidth();
    Data->Height = RenderWindow->GetHeight();
    Data->Canvas = RenderWindow->GetCanvas();
    win::SetWindowPos(
        rh, nullptr, 0, 0, 0, 0,
        win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_SHOWWINDOW);
    // A child keeps the class library's visibility in step; a pop-up is shown only through
    // the window layer, which leaves activation alone.
    if (parent) RenderWindow->SetVisible(true);
    Data->Window = rh;
    win::ValidateRect(rh, nullptr);
    WindowReady = true;
    return true;
}

bool TTEVCLScreenTrDevice::Prepare(cl::TControl* AControl, const win::RECT& R) {
    if (!FTransition) throw ETransitionEffectError("Device's transition is not assigned");
    if (Prepared) UnPrepare();
    if (!CanRun()) return false;
    try {
        if (!Data) CreateRunData();
        Data->Width = R.right - R.left;
        Data->Height = R.bottom - R.top;
        uint16_t flags = GetTransition()->GetInfo(this);
        if (!SetUpWindow(AControl, R)) {
            UnPrepare();
            return false;
        }
        Prepared = true;
        gPreparedDevice = this;
        if ((flags & tetiNeedSrcBmp) && !OldImage && !(flags & tetiStaticSrcPixels) && IsObscured())
            OldImage =
                RenderControlToBitmap(Control, RenderWindow->GetHandle(), CaptureRect(ControlRect),
                                      static_cast<cl::TPixelFormat>(Data->PixelFormat), false, false, ClientCoordsNow);
    } catch (...) {
        UnPrepare();
        throw;
    }
    return Prepared;
}

void TTEVCLScreenTrDevice::ReleaseWindow() {
    if (WindowRegion) {
        win::DeleteObject(WindowRegion);
        WindowRegion = nullptr;
    }
    if (SavedParentStyle && RenderParent && RenderParent->HandleAllocated()) {
        RenderParent->DisableAlign();
        win::SetWindowLongA(RenderParent->GetHandle(), win::GWL_STYLE, static_cast<win::LONG>(SavedParentStyle));
        RenderParent->EnableAlign();
    }
    SavedParentStyle = 0;
    if (RenderWindow) {
        if (Data) {
            Data->Canvas = nullptr;
            Data->Window = nullptr;
        }
        TTERenderWindow* rw = RenderWindow;
        RenderWindow = nullptr;
        delete rw;
    }
    RenderParent = nullptr;
    Control = nullptr;
    WindowReady = false;
    FreeRunData();
}

void TTEVCLScreenTrDevice::UnPrepare() {
    FreeRunData();
    FreeImages();
    Prepared = false;
    if (gPreparedDevice == this) gPreparedDevice = nullptr;
    ReleaseWindow();
}

void TTEVCLScreenTrDevice::Execute(bool Synchronous) {
    if (WindowRegion && RenderWindow) {
        win::SetWindowRgn(RenderWindow->GetHandle(), WindowRegion, win::TRUE);
        WindowRegion = nullptr;
    }
    TTETransitionDevice::Execute(Synchronous);
}

void TTEVCLScreenTrDevice::PrepareWorkBitmap(win::HPALETTE& OldPalette) {
    uint16_t flags = GetTransition()->GetInfo(this);
    if (!Data->SrcImage && (flags & tetiNeedSrcBmp) && Control) {
        const win::RECT screen = OnScreen(static_cast<cl::TWinControl*>(Control), CaptureRect(ControlRect));
        delete OldImage;
        OldImage = CaptureScreenRect(screen, static_cast<cl::TPixelFormat>(Data->PixelFormat), false);
        Data->SrcImage = OldImage;
    }
    TTETransitionDevice::PrepareWorkBitmap(OldPalette);
}

void TTEVCLScreenTrDevice::CaptureNewLook() {
    if (!Control) return;
    RealizeControlPalettes(Control, false);
    if (!NewImage && (GetTransition()->GetInfo(this) & tetiNeedDstBmp))
        NewImage =
            RenderControlToBitmap(Control, RenderWindow ? RenderWindow->GetHandle() : nullptr, CaptureRect(ControlRect),
                                  static_cast<cl::TPixelFormat>(Data->PixelFormat), false, false, ClientCoordsNow);
}

void TTEVCLScreenTrDevice::DoExecute() {
    if (!Prepared) {
        ReleaseWindow();
        return;
    }
    win::HideCaret(nullptr);
    try {
        RunPasses();
        bool forRender = false;
        win::HWND rh = RenderWindow ? RenderWindow->GetHandle() : nullptr;
        win::MSG msg;
        // Bounded: a window that never validates would otherwise be painted forever.
        for (int n = 0; n < 4096 && win::PeekMessageA(&msg, nullptr, win::WM_PAINT, win::WM_PAINT, win::PM_REMOVE);
             ++n) {
            if (msg.hwnd == rh) forRender = true;
            win::DispatchMessageA(&msg);
        }
        if (forRender && NewImage) ShowImage(NewImage);
        if (rh)
            win::SetWindowPos(rh, nullptr, 0, 0, 0, 0,
                              win::SWP_HIDEWINDOW | win::SWP_NOREDRAW | win::SWP_NOMOVE | win::SWP_NOSIZE |
                                  win::SWP_NOZORDER | win::SWP_NOACTIVATE);
        if (Control && Control->Is<cl::TWinControl>())
            RefreshAfterTransition(static_cast<cl::TWinControl*>(Control)->GetHandle());
    } catch (...) {
        win::ShowCaret(nullptr);
        UnPrepare();
        throw;
    }
    win::ShowCaret(nullptr);
    UnPrepare();
}

// ---- scope guard -------------------------------------------------------------------------------------------

TTEPreparedScope::TTEPreparedScope(TTransitionEffect* Effect, cl::TControl* Control, const win::RECT& R)
    : effect_(Effect) {
    prepared_ = effect_ && effect_->Prepare(Control, R);
}

TTEPreparedScope::~TTEPreparedScope() {
    try {
        if (effect_) effect_->UnPrepare();
    } catch (...) {
    }
}

}  // namespace te
