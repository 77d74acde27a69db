// TControl, TWinControl, TGraphicControl, TCustomControl and the shared window procedure.
#include "classlib/Controls.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "classlib/Controls_internal.h"
#include "classlib/Forms.h"

namespace cl {

using namespace win;

// ---- the window map and the shared window procedure -------------------------------------

namespace {

std::unordered_map<HWND, TWinControl*>& ControlMap() {
    static std::unordered_map<HWND, TWinControl*> map;
    return map;
}

// The control holding the mouse between a press and its release (a graphic control gets
// it through its parent's capture).
TControl* g_captureControl = nullptr;
// The control the pointer was last seen over (mouse enter/leave tracking).
TControl* g_mouseControl = nullptr;

bool IsMouseMsg(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MBUTTONDBLCLK; }

// Reports the exception being handled (called from a catch block).
void ReportCurrentException(TObject* sender) {
    if (Application) Application->HandleException(sender);
}

}  // namespace

LRESULT ControlsInternal::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* c = FindControl(hwnd);
    if (!c && msg == WM_NCCREATE && lParam) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        c = static_cast<TWinControl*>(cs->lpCreateParams);
        if (c) {
            ControlMap()[hwnd] = c;
            c->FHandle = hwnd;
        }
    }
    if (!c) return DefWindowProcA(hwnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    try {
        c->WndProc(m);
    } catch (...) {
        ReportCurrentException(c);
    }
    if (msg == WM_NCDESTROY) {
        ControlMap().erase(hwnd);
        if (c->FHandle == hwnd) c->FHandle = nullptr;
    }
    return m.Result;
}

void ControlsInternal::TrackMouseControl() {
    POINT p;
    TControl* now = nullptr;
    if (win::GetCursorPos(&p)) {
        HWND h = GetCapture();
        if (!h) h = WindowFromPoint(p);
        if (TWinControl* w = FindControl(h)) {
            POINT local = p;
            ::win::ScreenToClient(h, &local);
            now = w->ControlAtPos(local, false);
            if (!now) now = w;
        }
    }
    if (now == g_mouseControl) return;
    TControl* old = g_mouseControl;
    g_mouseControl = now;
    if (old) old->Perform(CM_MOUSELEAVE);
    if (now && g_mouseControl == now) now->Perform(CM_MOUSEENTER);
}

TWinControl* FindControl(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto it = ControlMap().find(hwnd);
    return it == ControlMap().end() ? nullptr : it->second;
}

namespace {

void EnsureWindowClass(const TCreateParams& p) {
    WNDCLASSA existing;
    if (GetClassInfoA(nullptr, p.WinClassName.c_str(), &existing)) return;
    WNDCLASSA wc;
    wc.style = p.WindowClassStyle;
    wc.lpfnWndProc = &ControlsInternal::WndProc;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    wc.lpszClassName = p.WinClassName.c_str();
    RegisterClassA(&wc);
}

// Utility windows: a procedure calling a method.
std::unordered_map<HWND, std::shared_ptr<TWndMethod>>& UtilMap() {
    static std::unordered_map<HWND, std::shared_ptr<TWndMethod>> map;
    return map;
}

LRESULT UtilWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = UtilMap().find(hwnd);
    if (it == UtilMap().end()) return DefWindowProcA(hwnd, msg, wParam, lParam);
    std::shared_ptr<TWndMethod> method = it->second;  // stays alive if the window goes away
    TMessage m{msg, wParam, lParam, 0};
    try {
        (*method)(m);
    } catch (...) {
        ReportCurrentException(nullptr);
    }
    return m.Result;
}

constexpr const char* kUtilClass = "TPUtilWindow";

}  // namespace

HWND AllocateHWnd(TWndMethod Method) {
    WNDCLASSA existing;
    if (!GetClassInfoA(nullptr, kUtilClass, &existing)) {
        WNDCLASSA wc;
        wc.lpfnWndProc = &UtilWndProc;
        wc.lpszClassName = kUtilClass;
        RegisterClassA(&wc);
    }
    HWND h =
        CreateWindowExA(WS_EX_TOOLWINDOW, kUtilClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (h) UtilMap()[h] = std::make_shared<TWndMethod>(std::move(Method));
    return h;
}

void DeallocateHWnd(HWND hwnd) {
    if (!hwnd) return;
    UtilMap().erase(hwnd);
    DestroyWindow(hwnd);
}

COLORREF ControlColorToRGB(TColor c) { return static_cast<COLORREF>(ColorToRGB(c)) & 0x00FFFFFF; }

TShiftState KeysToShiftState(uintptr_t keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TShiftState KeyboardShiftState() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TCustomForm* GetParentForm(const TControl* Control) {
    const TControl* c = Control;
    while (c && c->GetParent()) c = c->GetParent();
    if (c && c->Is<TCustomForm>()) return const_cast<TCustomForm*>(static_cast<const TCustomForm*>(c));
    return nullptr;
}

// ---- TControlCanvas -----------------------------------------------------------------------

TControlCanvas::~TControlCanvas() { FreeDC(); }

void TControlCanvas::FreeDC() {
    if (!FDc) return;
    HDC d = FDc;
    FDc = nullptr;
    SetHandle(nullptr);
    ReleaseDC(FWnd, d);
    FWnd = nullptr;
}

void TControlCanvas::SetPaintDC(HDC dc) {
    FreeDC();
    SetHandle(dc);
}

void TControlCanvas::CreateHandle() {
    if (!FControl) return;
    HWND wnd = nullptr;
    int dx = 0, dy = 0;
    if (FControl->Is<TWinControl>()) {
        wnd = static_cast<TWinControl*>(FControl)->GetHandle();
    } else if (TWinControl* p = FControl->GetParent()) {
        wnd = p->GetHandle();
        dx = FControl->GetLeft();
        dy = FControl->GetTop();
    }
    if (!wnd) return;
    HDC d = GetDC(wnd);
    if (!d) return;
    SetWindowOrgEx(d, -dx, -dy, nullptr);
    IntersectClipRect(d, 0, 0, FControl->GetWidth(), FControl->GetHeight());
    FDc = d;
    FWnd = wnd;
    SetHandle(d);
}

// ---- TSizeConstraints ----------------------------------------------------------------------

void TSizeConstraints::Set(int& field, int v) {
    if (v < 0) v = 0;
    if (field == v) return;
    field = v;
    if (OnChange) OnChange(this);
}

void TSizeConstraints::Apply(int& w, int& h) const {
    if (FMaxWidth > 0 && w > FMaxWidth) w = FMaxWidth;
    if (FMaxHeight > 0 && h > FMaxHeight) h = FMaxHeight;
    if (FMinWidth > 0 && w < FMinWidth) w = FMinWidth;
    if (FMinHeight > 0 && h < FMinHeight) h = FMinHeight;
}

// ---- TControl ------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    RegisterControlClasses();
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FConstraints = std::make_unique<TSizeConstraints>();
    FConstraints->OnChange = [this](TObject*) {
        int w = FWidth, h = FHeight;
        FConstraints->Apply(w, h);
        if (w != FWidth || h != FHeight) SetBounds(FLeft, FTop, w, h);
    };
    FFont = std::make_unique<TFont>();
    FFont->OnChange = [this](TObject*) {
        if (!FSettingParentFont) FParentFont = false;
        Perform(CM_FONTCHANGED);
    };
}

TControl::~TControl() {
    if (g_mouseControl == this) g_mouseControl = nullptr;
    if (g_captureControl == this) {
        g_captureControl = nullptr;
        ReleaseCapture();
    }
    if (FParent) FParent->RemoveControl(this);
    FFont.reset();
    FConstraints.reset();
}

void TControl::AdjustSize(int& w, int& h) {
    if (FAutoSize && !FAutoSizing) CanAutoSize(w, h);
    FConstraints->Apply(w, h);
}

bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, POINT MousePos) {
    bool handled = false;
    if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
    if (!handled) {
        if (WheelDelta < 0 && OnMouseWheelDown)
            OnMouseWheelDown(this, Shift, MousePos, handled);
        else if (WheelDelta > 0 && OnMouseWheelUp)
            OnMouseWheelUp(this, Shift, MousePos, handled);
    }
    return handled;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (AWidth < 0) AWidth = 0;
    if (AHeight < 0) AHeight = 0;
    AdjustSize(AWidth, AHeight);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    bool sized = AWidth != FWidth || AHeight != FHeight;
    InvalidateControl(FVisible, false);
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    if (!FAnchoring) UpdateAnchorRules();
    InvalidateControl(FVisible, false);
    if (FAlign != alNone && !FAnchoring) RequestAlign();
    if (sized) Resize();
}

POINT TControl::GetClientOrigin() const {
    POINT p;
    if (FParent) p = FParent->GetClientOrigin();
    p.x += FLeft;
    p.y += FTop;
    return p;
}

POINT TControl::ClientToScreen(POINT p) const {
    POINT o = GetClientOrigin();
    return POINT{p.x + o.x, p.y + o.y};
}

POINT TControl::ScreenToClient(POINT p) const {
    POINT o = GetClientOrigin();
    return POINT{p.x - o.x, p.y - o.y};
}

void TControl::SetAutoSize(bool v) {
    if (FAutoSize == v) return;
    FAutoSize = v;
    if (v) DoAutoSize();
}

bool TControl::CanAutoSize(int&, int&) { return true; }

void TControl::DoAutoSize() {
    if (!FAutoSize || FAutoSizing) return;
    int w = FWidth, h = FHeight;
    if (!CanAutoSize(w, h)) return;
    FAutoSizing = true;
    try {
        SetBounds(FLeft, FTop, w, h);
    } catch (...) {
        FAutoSizing = false;
        throw;
    }
    FAutoSizing = false;
}

void TControl::SetParent(TWinControl* AParent) {
    if (FParent == AParent) return;
    if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
    if (FParent) FParent->RemoveControl(this);
    if (AParent) AParent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::SetParentComponent(TComponent* Value) {
    if (!Value) {
        SetParent(nullptr);
        return;
    }
    if (!Value->Is<TWinControl>())
        throw EInvalidOperation(Format("%s cannot be the parent of %s", Value->ClassName(), ClassName()));
    SetParent(static_cast<TWinControl*>(Value));
}

void TControl::SetAlign(TAlign v) {
    if (FAlign == v) return;
    TAlign old = FAlign;
    FAlign = v;
    if (v == alNone) UpdateAnchorRules();
    if (FParent && (old != alNone || v != alNone)) FParent->AlignControls();
}

void TControl::SetAnchors(TAnchors v) {
    FAnchors = v & 0x0F;
    UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
    if (!FParent) {
        FAnchorsValid = false;
        return;
    }
    RECT pr = FParent->GetClientRect();
    FAnchorLeft = FLeft;
    FAnchorTop = FTop;
    FAnchorRight = pr.right - (FLeft + FWidth);
    FAnchorBottom = pr.bottom - (FTop + FHeight);
    FAnchorsValid = true;
}

void TControl::RequestAlign() {
    if (FParent) FParent->AlignControls();
}

void TControl::SetVisible(bool v) {
    if (FVisible == v) return;
    if (!v) InvalidateControl(true, false);
    FVisible = v;
    if (v) InvalidateControl(true, false);
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
    if (FAlign != alNone) RequestAlign();
}

void TControl::SetEnabled(bool v) {
    if (FEnabled == v) return;
    FEnabled = v;
    Perform(CM_ENABLEDCHANGED);
    Invalidate();
}

bool TControl::GetShowing() const {
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible) return false;
    return true;
}

void TControl::SetColor(TColor v) {
    FParentColor = false;
    if (FColor == v) return;
    FColor = v;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool v) {
    FParentColor = v;
    if (v && FParent) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::SetFont(TFont* v) { FFont->Assign(v); }

void TControl::SetParentFont(bool v) {
    FParentFont = v;
    if (v && FParent) Perform(CM_PARENTFONTCHANGED);
}

void TControl::SetCursor(TCursor v) {
    if (FCursor == v) return;
    FCursor = v;
    Perform(CM_CURSORCHANGED);
}

void TControl::SetText(const String& v) {
    if (FText == v) return;
    FText = v;
    Perform(CM_TEXTCHANGED);
}

bool TControl::GetMouseCapture() const { return g_captureControl == this; }

void TControl::SetMouseCapture(bool v) {
    if (v == GetMouseCapture()) return;
    if (v) {
        HWND h = nullptr;
        if (Is<TWinControl>())
            h = static_cast<TWinControl*>(this)->GetHandle();
        else if (FParent)
            h = FParent->GetHandle();
        if (!h) return;
        SetCapture(h);
        g_captureControl = this;
    } else {
        g_captureControl = nullptr;
        ReleaseCapture();
    }
}

void TControl::InvalidateControl(bool IsVisible, bool IsOpaque) {
    if (!IsVisible || !FParent || !FParent->HandleAllocated() || Is<TWinControl>()) return;
    RECT r = GetBoundsRect();
    InvalidateRect(FParent->FHandle, &r, IsOpaque ? FALSE : TRUE);
}

void TControl::Invalidate() { Perform(CM_INVALIDATE); }

void TControl::Update() {
    if (FParent) FParent->Update();
}

void TControl::Repaint() {
    Invalidate();
    Update();
}

void TControl::BringToFront() {
    if (FParent) FParent->SetZOrder(this, true);
}

void TControl::SendToBack() {
    if (FParent) FParent->SetZOrder(this, false);
}

intptr_t TControl::Perform(unsigned Msg, uintptr_t WParam, intptr_t LParam) {
    TMessage m{Msg, WParam, LParam, 0};
    WndProc(m);
    return m.Result;
}

void TControl::WndProc(TMessage& Message) {
    // A control that does not take double clicks sees a second press instead.
    if (!(ControlStyle & csDoubleClicks)) {
        switch (Message.Msg) {
            case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDBLCLK:
            case WM_MBUTTONDBLCLK: Message.Msg -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN; break;
            default: break;
        }
    }
    Dispatch(Message);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TControl::Loaded() {
    TComponent::Loaded();
    UpdateAnchorRules();
    DoAutoSize();
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

// ---- TWinControl ----------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TBrush* TWinControl::GetBrush() {
    if (!FBrush) FBrush = std::make_unique<TBrush>();
    if (FBrush->GetColor() != FColor) FBrush->SetColor(FColor);
    return FBrush.get();
}

void TWinControl::SetBevelKind(TBevelKind v) {
    if (FBevelKind == v) return;
    FBevelKind = v;
    FrameChanged();
}

void TWinControl::SetBevelEdges(TBevelEdges v) {
    v &= 0x0F;
    if (FBevelEdges == v) return;
    FBevelEdges = v;
    FrameChanged();
}

void TWinControl::SetBevelInner(TBevelCut v) {
    if (FBevelInner == v) return;
    FBevelInner = v;
    FrameChanged();
}

void TWinControl::SetBevelOuter(TBevelCut v) {
    if (FBevelOuter == v) return;
    FBevelOuter = v;
    FrameChanged();
}

void TWinControl::SetBevelWidth(int v) {
    v = std::clamp(v, 1, kMaxFrameWidth);
    if (FBevelWidth == v) return;
    FBevelWidth = v;
    FrameChanged();
}

// ---- the frame the class library draws: border and bevels -----------------------------------

namespace {

// The edge size of the bevels on each side they are drawn on.
int BevelSize(TBevelKind kind, TBevelCut inner, TBevelCut outer, int width) {
    if (kind == bkNone) return 0;
    return (inner != bvNone ? width : 0) + (outer != bvNone ? width : 0);
}

}  // namespace

RECT ControlsInternal::ClientRectInWindow(HWND h) {
    RECT wr, cr;
    GetWindowRect(h, &wr);
    win::GetClientRect(h, &cr);
    POINT o;
    ::win::ClientToScreen(h, &o);
    return RECT{o.x - wr.left, o.y - wr.top, o.x - wr.left + cr.right, o.y - wr.top + cr.bottom};
}

void TWinControl::AdjustFrameRect(RECT& Rect) const {
    Rect.left += FBorderWidth;
    Rect.top += FBorderWidth;
    Rect.right -= FBorderWidth;
    Rect.bottom -= FBorderWidth;
    const int e = BevelSize(FBevelKind, FBevelInner, FBevelOuter, FBevelWidth);
    if (FBevelEdges & (1u << beLeft)) Rect.left += e;
    if (FBevelEdges & (1u << beTop)) Rect.top += e;
    if (FBevelEdges & (1u << beRight)) Rect.right -= e;
    if (FBevelEdges & (1u << beBottom)) Rect.bottom -= e;
    Rect.right = std::max(Rect.left, Rect.right);
    Rect.bottom = std::max(Rect.top, Rect.bottom);
}

void TWinControl::PaintFrame(HDC DC) {
    if (!FHandle || (FBevelKind == bkNone && FBorderWidth <= 0)) return;
    const int saved = SaveDC(DC);
    RECT client = ControlsInternal::ClientRectInWindow(FHandle);
    ExcludeClipRect(DC, client.left, client.top, client.right, client.bottom);
    // Out from the client: the border, the scroll bars of the window layer, the bevels.
    RECT r{client.left - FBorderWidth, client.top - FBorderWidth, client.right + FBorderWidth,
           client.bottom + FBorderWidth};
    if (FBevelKind != bkNone) {
        const int e = BevelSize(FBevelKind, FBevelInner, FBevelOuter, FBevelWidth);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(FHandle, GWL_STYLE));
        if (FBevelEdges & (1u << beLeft)) r.left -= e;
        if (FBevelEdges & (1u << beTop)) r.top -= e;
        if (FBevelEdges & (1u << beRight)) r.right += e;
        if (style & WS_VSCROLL) r.right += GetSystemMetrics(SM_CYVSCROLL);
        if (FBevelEdges & (1u << beBottom)) r.bottom += e;
        if (style & WS_HSCROLL) r.bottom += GetSystemMetrics(SM_CXHSCROLL);
        static const UINT inner[] = {0, BDR_SUNKENINNER, BDR_RAISEDINNER, 0};
        static const UINT outer[] = {0, BDR_SUNKENOUTER, BDR_RAISEDOUTER, 0};
        static const UINT kind[] = {0, 0, BF_SOFT, BF_FLAT};
        DrawEdge(DC, &r, inner[FBevelInner] | outer[FBevelOuter],
                 FBevelEdges | kind[FBevelKind] | (Ctl3D ? 0u : BF_MONO) | BF_ADJUST);
    }
    IntersectClipRect(DC, r.left, r.top, r.right, r.bottom);
    RECT wr;
    GetWindowRect(FHandle, &wr);
    RECT all{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    FillRect(DC, &all, GetBrush()->GetHandle());
    RestoreDC(DC, saved);
}

void TWinControl::NCCalcSizeHandler(TMessage& Message) {
    DefaultHandler(Message);
    if (!Message.LParam) return;
    RECT* r = Message.WParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(Message.LParam)->rgrc[0]
                             : reinterpret_cast<RECT*>(Message.LParam);
    AdjustFrameRect(*r);
}

void TWinControl::NCPaintHandler(TMessage& Message) {
    if (FHandle) {
        if (HDC dc = GetWindowDC(FHandle)) {
            try {
                PaintFrame(dc);
            } catch (...) {
                ReleaseDC(FHandle, dc);
                throw;
            }
            ReleaseDC(FHandle, dc);
        }
    }
    DefaultHandler(Message);
    // A control that paints its own border draws the sunken client edge over the window
    // layer's flat one.
    if (FHandle && (ControlStyle & csNeedsBorderPaint) &&
        (static_cast<DWORD>(GetWindowLongA(FHandle, GWL_EXSTYLE)) & WS_EX_CLIENTEDGE)) {
        if (HDC dc = GetWindowDC(FHandle)) {
            RECT wr;
            GetWindowRect(FHandle, &wr);
            RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
            const int saved = SaveDC(dc);
            ExcludeClipRect(dc, r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
            DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
            RestoreDC(dc, saved);
            ReleaseDC(FHandle, dc);
        }
    }
}

void TWinControl::FrameChanged() {
    if (FHandle) {
        FCreatingWindow = true;  // the window keeps the model's size: no read-back meanwhile
        SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        FCreatingWindow = false;
        // The client area moved within the window: everything in it is drawn again.
        RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    AlignControls();
}

TWinControl::~TWinControl() {
    SetState(csDestroying, true);
    if (g_captureControl == this) {
        g_captureControl = nullptr;
        ReleaseCapture();
    }
    if (FHandle) DestroyWnd();
    if (FParent) {
        TCustomForm* form = GetParentForm(this);
        if (form && !form->HasState(csDestroying)) form->ForgetControl(this);
    }
    // Child controls go with their parent, whoever owns them.
    while (!FControls.empty()) {
        TControl* c = FControls.back();
        RemoveControl(c);
        c->Free();
    }
    FBrush.reset();
}

TControl* TWinControl::Controls(int index) const {
    if (index < 0 || index >= GetControlCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return FControls[static_cast<size_t>(index)];
}

bool TWinControl::ContainsControl(const TControl* c) const {
    for (const TControl* p = c; p; p = p->FParent)
        if (p == this) return true;
    return false;
}

TControl* TWinControl::ControlAtPos(POINT Pos, bool AllowDisabled, bool AllowWinControls) const {
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        TControl* c = *it;
        if (!AllowWinControls && c->Is<TWinControl>()) continue;
        if (!c->FVisible || (!AllowDisabled && !c->FEnabled)) continue;
        RECT r = c->GetBoundsRect();
        if (Pos.x >= r.left && Pos.x < r.right && Pos.y >= r.top && Pos.y < r.bottom) return c;
    }
    return nullptr;
}

void TWinControl::InsertControl(TControl* c) {
    FControls.push_back(c);
    c->FParent = this;
    if (c->FParentColor) c->Perform(CM_PARENTCOLORCHANGED);
    if (c->FParentFont) c->Perform(CM_PARENTFONTCHANGED);
    c->UpdateAnchorRules();
    if (c->Is<TWinControl>()) {
        auto* w = static_cast<TWinControl*>(c);
        if (FHandle) {
            if (w->FHandle) {
                ::win::SetParent(w->FHandle, FHandle);
                SetWindowPos(w->FHandle, HWND_TOP, w->FLeft, w->FTop, w->FWidth, w->FHeight, SWP_NOACTIVATE);
            } else {
                w->CreateHandle();
            }
        } else if (w->FHandle && !w->FParentWindow) {
            w->DestroyHandle();
        }
    }
    if (c->FAlign != alNone) AlignControls();
    c->InvalidateControl(c->FVisible, false);
}

void TWinControl::RemoveControl(TControl* c) {
    auto it = std::find(FControls.begin(), FControls.end(), c);
    if (it == FControls.end()) return;
    c->InvalidateControl(c->FVisible, false);
    FControls.erase(it);
    c->FParent = nullptr;
    if (c->Is<TWinControl>()) {
        auto* w = static_cast<TWinControl*>(c);
        if (w->FHandle && !HasState(csDestroying) && !w->HasState(csDestroying)) w->DestroyHandle();
    }
    if (c->FAlign != alNone && !HasState(csDestroying)) AlignControls();
}

void TWinControl::SetZOrder(TControl* c, bool Top) {
    auto it = std::find(FControls.begin(), FControls.end(), c);
    if (it == FControls.end()) return;
    FControls.erase(it);
    if (Top)
        FControls.push_back(c);
    else
        FControls.insert(FControls.begin(), c);
    if (c->Is<TWinControl>()) {
        auto* w = static_cast<TWinControl*>(c);
        if (w->FHandle)
            SetWindowPos(w->FHandle, Top ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else {
        c->InvalidateControl(c->FVisible, false);
    }
}

void TWinControl::CreateParams(TCreateParams& Params) {
    Params.Caption = FText;
    Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (ControlStyle & csAcceptsControls) Params.Style |= WS_CLIPCHILDREN;
    if (FVisible) Params.Style |= WS_VISIBLE;
    if (!FEnabled) Params.Style |= WS_DISABLED;
    if (TabStop) Params.Style |= WS_TABSTOP;
    Params.ExStyle = 0;
    Params.X = FLeft;
    Params.Y = FTop;
    Params.Width = FWidth;
    Params.Height = FHeight;
    if (FParent)
        Params.WndParent = FParent->GetHandle();
    else
        Params.WndParent = FParentWindow;
    Params.WindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    Params.WinClassName = ClassName();
}

HWND TWinControl::GetHandle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

void TWinControl::CreateHandle() {
    if (FHandle) return;
    CreateWnd();
}

void TWinControl::CreateWnd() {
    TCreateParams p;
    CreateParams(p);
    if ((p.Style & WS_CHILD) && !p.WndParent)
        throw EInvalidOperation(Format("Control '%s' has no parent window", GetName()));
    EnsureWindowClass(p);
    FCreatingWindow = true;
    HWND h = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                             p.WndParent, nullptr, nullptr, this);
    FCreatingWindow = false;
    if (!h) throw EOSError(Format("Error creating window of class %s", p.WinClassName));
    FHandle = h;
    ControlMap()[h] = this;
    // The window takes the control's place among its siblings: directly below the window
    // of the nearest windowed sibling above it, or on top.
    if (FParent && FParent->FHandle == p.WndParent) {
        HWND above = HWND_TOP;
        auto self = std::find(FParent->FControls.begin(), FParent->FControls.end(), this);
        if (self != FParent->FControls.end())
            for (auto it = self + 1; it != FParent->FControls.end(); ++it)
                if ((*it)->Is<TWinControl>() && static_cast<TWinControl*>(*it)->FHandle) {
                    above = static_cast<TWinControl*>(*it)->FHandle;
                    break;
                }
        FCreatingWindow = true;
        SetWindowPos(h, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        FCreatingWindow = false;
    }
    // The windowed children get their windows now, in z-order.
    for (TControl* c : FControls)
        if (c->Is<TWinControl>()) static_cast<TWinControl*>(c)->CreateHandle();
    UpdateBoundsFromWindow();
}

void TWinControl::DestroyWnd() {
    HWND h = FHandle;
    if (!h) return;
    ControlState |= csDestroyingHandle;
    DestroyWindow(h);
    ControlState &= ~csDestroyingHandle;
    ControlMap().erase(h);
    FHandle = nullptr;
    // The platform destroyed the children's windows with ours.
    for (TControl* c : FControls)
        if (c->Is<TWinControl>()) {
            auto* w = static_cast<TWinControl*>(c);
            if (w->FHandle && !IsWindow(w->FHandle)) {
                ControlMap().erase(w->FHandle);
                w->FHandle = nullptr;
            }
        }
}

void TWinControl::DestroyHandle() {
    if (!FHandle) return;
    for (TControl* c : FControls)
        if (c->Is<TWinControl>()) static_cast<TWinControl*>(c)->DestroyHandle();
    DestroyWnd();
}

void TWinControl::RecreateWnd() {
    if (!FHandle) return;
    DestroyHandle();
    CreateHandle();
}

void TWinControl::SetParentWindow(HWND v) {
    if (FParentWindow == v) return;
    FParentWindow = v;
    if (FParent) return;
    if (FHandle) {
        if (v) {
            RecreateWnd();
        } else {
            DestroyHandle();
        }
    }
}

RECT TWinControl::CalcClientRect(int w, int h) const {
    RECT r{0, 0, w, h};
    AdjustFrameRect(r);
    return RECT{0, 0, r.right - r.left, r.bottom - r.top};
}

RECT TWinControl::GetClientRect() const {
    RECT r;
    if (FHandle && win::GetClientRect(FHandle, &r)) return r;
    return CalcClientRect(FWidth, FHeight);
}

POINT TWinControl::GetClientOrigin() const {
    POINT p;
    if (FHandle) {
        ::win::ClientToScreen(FHandle, &p);
        return p;
    }
    p = FParent ? FParent->GetClientOrigin() : POINT{};
    p.x += FLeft;
    p.y += FTop;
    return p;
}

void TWinControl::AdjustClientRect(RECT&) const {}

void TWinControl::SetBorderWidth(int v) {
    v = std::clamp(v, 0, kMaxFrameWidth);
    if (FBorderWidth == v) return;
    FBorderWidth = v;
    FrameChanged();
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (AWidth < 0) AWidth = 0;
    if (AHeight < 0) AHeight = 0;
    AdjustSize(AWidth, AHeight);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    bool sized = AWidth != FWidth || AHeight != FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    if (!FAnchoring) UpdateAnchorRules();
    if (FHandle) {
        FCreatingWindow = true;  // the window follows the model: no read-back
        SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        FCreatingWindow = false;
    }
    if (FAlign != alNone && !FAnchoring) RequestAlign();
    if (sized) {
        AlignControls();
        Resize();
    }
}

void TWinControl::UpdateBoundsFromWindow() {
    if (!FHandle || FCreatingWindow) return;
    RECT wr;
    if (!GetWindowRect(FHandle, &wr)) return;
    POINT tl{wr.left, wr.top};
    if (GetWindowLongA(FHandle, GWL_STYLE) & WS_CHILD) {
        if (HWND p = win::GetParent(FHandle)) ::win::ScreenToClient(p, &tl);
    }
    int w = wr.right - wr.left, h = wr.bottom - wr.top;
    bool sized = w != FWidth || h != FHeight;
    if (tl.x == FLeft && tl.y == FTop && !sized) {
        return;
    }
    FLeft = tl.x;
    FTop = tl.y;
    FWidth = w;
    FHeight = h;
    if (sized) {
        AlignControls();
        Resize();
    }
}

void TWinControl::AlignControls() {
    if (FAlignDisabled > 0 || HasState(csLoading) || HasState(csDestroying) || FAligning) {
        if (FAlignDisabled > 0 || HasState(csLoading)) ControlState |= csAlignmentNeeded;
        return;
    }
    FAligning = true;
    ControlState &= ~csAlignmentNeeded;
    try {
        RECT area = GetClientRect();
        AdjustClientRect(area);
        static const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
        for (TAlign side : order) {
            for (size_t i = 0; i < FControls.size(); ++i) {
                TControl* c = FControls[i];
                if (!c->FVisible || c->FAlign != side) continue;
                int w = std::max(0, static_cast<int>(area.right - area.left));
                int h = std::max(0, static_cast<int>(area.bottom - area.top));
                c->FAnchoring = true;
                switch (side) {
                    case alTop:
                        c->SetBounds(area.left, area.top, w, c->FHeight);
                        area.top += c->FHeight;
                        break;
                    case alBottom:
                        c->SetBounds(area.left, area.bottom - c->FHeight, w, c->FHeight);
                        area.bottom -= c->FHeight;
                        break;
                    case alLeft:
                        c->SetBounds(area.left, area.top, c->FWidth, h);
                        area.left += c->FWidth;
                        break;
                    case alRight:
                        c->SetBounds(area.right - c->FWidth, area.top, c->FWidth, h);
                        area.right -= c->FWidth;
                        break;
                    default: c->SetBounds(area.left, area.top, w, h); break;
                }
                c->FAnchoring = false;
            }
        }
        // Anchored controls keep their distances to the anchored edges; a control anchored
        // on neither side of an axis keeps its centre at the same relative place.
        RECT pr = GetClientRect();
        for (TControl* c : FControls) {
            if (c->FAlign != alNone || !c->FAnchorsValid) continue;
            TAnchors a = c->FAnchors;
            int l = c->FLeft, t = c->FTop, w = c->FWidth, h = c->FHeight;
            bool ak_l = a & AnchorBit(akLeft), ak_r = a & AnchorBit(akRight);
            bool ak_t = a & AnchorBit(akTop), ak_b = a & AnchorBit(akBottom);
            if (ak_l && ak_r) {
                l = c->FAnchorLeft;
                w = pr.right - c->FAnchorLeft - c->FAnchorRight;
            } else if (ak_r) {
                l = pr.right - c->FAnchorRight - w;
            } else if (!ak_l) {
                int total = c->FAnchorLeft + w + c->FAnchorRight;
                l = c->FAnchorLeft + (pr.right - total) / 2;
            }
            if (ak_t && ak_b) {
                t = c->FAnchorTop;
                h = pr.bottom - c->FAnchorTop - c->FAnchorBottom;
            } else if (ak_b) {
                t = pr.bottom - c->FAnchorBottom - h;
            } else if (!ak_t) {
                int total = c->FAnchorTop + h + c->FAnchorBottom;
                t = c->FAnchorTop + (pr.bottom - total) / 2;
            }
            c->FAnchoring = true;
            c->SetBounds(l, t, std::max(0, w), std::max(0, h));
            c->FAnchoring = false;
        }
    } catch (...) {
        FAligning = false;
        throw;
    }
    FAligning = false;
}

void TWinControl::EnableAlign() {
    if (FAlignDisabled > 0) --FAlignDisabled;
    if (FAlignDisabled == 0 && (ControlState & csAlignmentNeeded)) AlignControls();
}

void TWinControl::Loaded() {
    TControl::Loaded();
    AlignControls();
}

void TWinControl::SetVisible(bool v) {
    if (FVisible == v) return;
    FVisible = v;
    if (FHandle) ShowWindow(FHandle, v ? SW_SHOWNA : SW_HIDE);
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
    if (FAlign != alNone) RequestAlign();
}

void TWinControl::SetEnabled(bool v) {
    if (FEnabled == v) return;
    FEnabled = v;
    if (FHandle) EnableWindow(FHandle, v ? TRUE : FALSE);
    Perform(CM_ENABLEDCHANGED);
    Invalidate();
}

void TWinControl::SetText(const String& v) {
    if (FText == v) return;
    FText = v;
    if (FHandle) SetWindowTextA(FHandle, v.c_str());
    Perform(CM_TEXTCHANGED);
}

bool TWinControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible || !c->FEnabled) return false;
    return true;
}

void TWinControl::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
    ::win::SetFocus(GetHandle());
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

void TWinControl::Invalidate() { Perform(CM_INVALIDATE); }

void TWinControl::Update() {
    if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::PaintTo(HDC dc, int X, int Y) {
    int saved = SaveDC(dc);
    POINT org;
    GetWindowOrgEx(dc, &org);
    SetWindowOrgEx(dc, org.x - X, org.y - Y, nullptr);
    IntersectClipRect(dc, 0, 0, FWidth, FHeight);
    Perform(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(dc));
    Perform(WM_PAINT, reinterpret_cast<uintptr_t>(dc));
    RestoreDC(dc, saved);
    for (TControl* c : FControls)
        if (c->Is<TWinControl>() && c->FVisible) static_cast<TWinControl*>(c)->PaintTo(dc, X + c->FLeft, Y + c->FTop);
}

void TWinControl::WndProc(TMessage& Message) {
    if (IsMouseMsg(Message.Msg)) {
        TControl* target = nullptr;
        if (g_captureControl && g_captureControl->FParent == this && !g_captureControl->Is<TWinControl>())
            target = g_captureControl;
        else
            target = ControlAtPos(POINT{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)}, false);
        if (target) {
            TMessage m = Message;
            m.LParam =
                MAKELPARAM(GET_X_LPARAM(Message.LParam) - target->FLeft, GET_Y_LPARAM(Message.LParam) - target->FTop);
            target->WndProc(m);
            Message.Result = m.Result;
            return;
        }
    }
    TControl::WndProc(Message);
}

void TWinControl::CaptureLost() {
    if (!g_captureControl) return;
    if (g_captureControl == this || (g_captureControl->FParent == this && !g_captureControl->Is<TWinControl>())) {
        g_captureControl->ControlState &= ~(csClicked | csLButtonDown);
        g_captureControl = nullptr;
    }
}

void TWinControl::DefaultHandler(TMessage& Message) {
    if (FHandle) Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintHandler(TMessage& Message) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    PAINTSTRUCT ps;
    bool own = dc == nullptr;
    if (own) {
        if (!FHandle) return;
        dc = BeginPaint(FHandle, &ps);
    }
    // Double buffering paints the whole client off screen, then copies it in one blit.
    HDC memDC = nullptr;
    HBITMAP memBmp = nullptr;
    HGDIOBJ oldBmp = nullptr;
    RECT client = GetClientRect();
    if (own && DoubleBuffered && client.right > 0 && client.bottom > 0) {
        memDC = CreateCompatibleDC(dc);
        memBmp = memDC ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
        if (memBmp) {
            oldBmp = SelectObject(memDC, memBmp);
            FillRect(memDC, &client, GetBrush()->GetHandle());
        } else if (memDC) {
            DeleteDC(memDC);
            memDC = nullptr;
        }
    }
    HDC target = memDC ? memDC : dc;
    auto finish = [&] {
        if (memDC) {
            BitBlt(dc, 0, 0, client.right, client.bottom, memDC, 0, 0, SRCCOPY);
            SelectObject(memDC, oldBmp);
            DeleteObject(memBmp);
            DeleteDC(memDC);
        }
        if (own) EndPaint(FHandle, &ps);
    };
    try {
        PaintWindow(target);
        PaintControls(target, nullptr);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TWinControl::PaintControls(HDC dc, TControl* First) {
    auto it = FControls.begin();
    if (First) it = std::find(FControls.begin(), FControls.end(), First);
    RECT clip;
    GetClipBox(dc, &clip);
    for (; it != FControls.end(); ++it) {
        TControl* c = *it;
        if (c->Is<TWinControl>() || !c->FVisible) continue;
        RECT b = c->GetBoundsRect();
        if (b.left >= clip.right || b.right <= clip.left || b.top >= clip.bottom || b.bottom <= clip.top) continue;
        int saved = SaveDC(dc);
        POINT org;
        GetWindowOrgEx(dc, &org);
        SetWindowOrgEx(dc, org.x - c->FLeft, org.y - c->FTop, nullptr);
        IntersectClipRect(dc, 0, 0, c->FWidth, c->FHeight);
        try {
            c->Perform(WM_PAINT, reinterpret_cast<uintptr_t>(dc));
        } catch (...) {
            RestoreDC(dc, saved);
            throw;
        }
        RestoreDC(dc, saved);
    }
}

bool TWinControl::DoKeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && form->KeyPreview && form->DoKeyDown(Key, Shift)) return true;
    if (!(ControlStyle & csNoStdEvents)) {
        KeyDown(Key, Shift);
        if (Key == 0) return true;
    }
    return false;
}

bool TWinControl::DoKeyUp(uint16_t& Key, TShiftState Shift) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && form->KeyPreview && form->DoKeyUp(Key, Shift)) return true;
    if (!(ControlStyle & csNoStdEvents)) {
        KeyUp(Key, Shift);
        if (Key == 0) return true;
    }
    return false;
}

bool TWinControl::DoKeyPress(char& Key) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && form->KeyPreview && form->DoKeyPress(Key)) return true;
    if (!(ControlStyle & csNoStdEvents)) {
        KeyPress(Key);
        if (Key == 0) return true;
    }
    return false;
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

// ---- TGraphicControl and TCustomControl -------------------------------------------------------

namespace {

// Runs a control's Paint with its canvas locked and drawing into `dc`, leaving the canvas
// without that DC and unlocked again whatever Paint does.
template <class Fn>
void PaintThroughCanvas(TControlCanvas* canvas, HDC dc, Fn paint) {
    struct Guard {
        TControlCanvas* c;
        ~Guard() {
            c->SetPaintDC(nullptr);
            c->Unlock();
        }
    };
    canvas->Lock();
    Guard guard{canvas};
    canvas->SetPaintDC(dc);
    paint();
}

}  // namespace

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), FCanvas(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() { FCanvas.reset(); }

void TGraphicControl::PaintWith(HDC dc) {
    PaintThroughCanvas(FCanvas.get(), dc, [this] { Paint(); });
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() { FCanvas.reset(); }

void TCustomControl::DestroyWnd() {
    if (FCanvas) FCanvas->FreeDC();
    TWinControl::DestroyWnd();
}

void TCustomControl::PaintWindow(HDC dc) {
    PaintThroughCanvas(FCanvas.get(), dc, [this] { Paint(); });
}

}  // namespace cl
