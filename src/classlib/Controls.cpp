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
    if (Application)
        Application->HandleException(sender);
}

}  // namespace

LRESULT ControlsInternal::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* c = FindControl(hwnd);
    if (!c && msg == WM_NCCREATE && lParam) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        c = static_cast<TWinControl*>(cs->lpCreateParams);
        if (c) {
            ControlMap()[hwnd] = c;
            c->handle_ = hwnd;
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
        if (c->handle_ == hwnd) c->handle_ = nullptr;
    }
    return m.Result;
}

void ControlsInternal::TrackMouseControl() {
    POINT p;
    TControl* now = nullptr;
    if (GetCursorPos(&p)) {
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
    HWND h = CreateWindowExA(WS_EX_TOOLWINDOW, kUtilClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                             nullptr);
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
    while (c && c->Parent()) c = c->Parent();
    if (c && c->Is<TCustomForm>()) return const_cast<TCustomForm*>(static_cast<const TCustomForm*>(c));
    return nullptr;
}

// ---- TControlCanvas -----------------------------------------------------------------------

TControlCanvas::~TControlCanvas() { FreeDC(); }

void TControlCanvas::FreeDC() {
    if (!dc_) return;
    HDC d = dc_;
    dc_ = nullptr;
    SetHandle(nullptr);
    ReleaseDC(wnd_, d);
    wnd_ = nullptr;
}

void TControlCanvas::SetPaintDC(HDC dc) {
    FreeDC();
    SetHandle(dc);
}

void TControlCanvas::CreateHandle() {
    if (!control_) return;
    HWND wnd = nullptr;
    int dx = 0, dy = 0;
    if (control_->Is<TWinControl>()) {
        wnd = static_cast<TWinControl*>(control_)->Handle();
    } else if (TWinControl* p = control_->Parent()) {
        wnd = p->Handle();
        dx = control_->Left();
        dy = control_->Top();
    }
    if (!wnd) return;
    HDC d = GetDC(wnd);
    if (!d) return;
    SetWindowOrgEx(d, -dx, -dy, nullptr);
    IntersectClipRect(d, 0, 0, control_->Width(), control_->Height());
    dc_ = d;
    wnd_ = wnd;
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
    if (maxWidth_ > 0 && w > maxWidth_) w = maxWidth_;
    if (maxHeight_ > 0 && h > maxHeight_) h = maxHeight_;
    if (minWidth_ > 0 && w < minWidth_) w = minWidth_;
    if (minHeight_ > 0 && h < minHeight_) h = minHeight_;
}

// ---- TControl ------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    RegisterControlClasses();
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    constraints_ = new TSizeConstraints();
    constraints_->OnChange = [this](TObject*) {
        int w = width_, h = height_;
        constraints_->Apply(w, h);
        if (w != width_ || h != height_) SetBounds(left_, top_, w, h);
    };
    font_ = new TFont();
    font_->OnChange = [this](TObject*) {
        if (!settingParentFont_) parentFont_ = false;
        Perform(CM_FONTCHANGED);
    };
}

TControl::~TControl() {
    if (g_mouseControl == this) g_mouseControl = nullptr;
    if (g_captureControl == this) {
        g_captureControl = nullptr;
        ReleaseCapture();
    }
    if (parent_) parent_->RemoveControl(this);
    delete font_;
    delete constraints_;
}

void TControl::AdjustSize(int& w, int& h) {
    if (autoSize_ && !autoSizing_) CanAutoSize(w, h);
    constraints_->Apply(w, h);
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
    if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
    bool sized = AWidth != width_ || AHeight != height_;
    InvalidateControl(visible_, false);
    left_ = ALeft;
    top_ = ATop;
    width_ = AWidth;
    height_ = AHeight;
    if (!anchoring_) UpdateAnchorRules();
    InvalidateControl(visible_, false);
    if (align_ != alNone && !anchoring_) RequestAlign();
    if (sized) Resize();
}

POINT TControl::ClientOrigin() const {
    POINT p;
    if (parent_) p = parent_->ClientOrigin();
    p.x += left_;
    p.y += top_;
    return p;
}

POINT TControl::ClientToScreen(POINT p) const {
    POINT o = ClientOrigin();
    return POINT{p.x + o.x, p.y + o.y};
}

POINT TControl::ScreenToClient(POINT p) const {
    POINT o = ClientOrigin();
    return POINT{p.x - o.x, p.y - o.y};
}

void TControl::SetAutoSize(bool v) {
    if (autoSize_ == v) return;
    autoSize_ = v;
    if (v) DoAutoSize();
}

bool TControl::CanAutoSize(int&, int&) { return true; }

void TControl::DoAutoSize() {
    if (!autoSize_ || autoSizing_) return;
    int w = width_, h = height_;
    if (!CanAutoSize(w, h)) return;
    autoSizing_ = true;
    try {
        SetBounds(left_, top_, w, h);
    } catch (...) {
        autoSizing_ = false;
        throw;
    }
    autoSizing_ = false;
}

void TControl::SetParent(TWinControl* AParent) {
    if (parent_ == AParent) return;
    if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
    if (parent_) parent_->RemoveControl(this);
    if (AParent) AParent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

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
    if (align_ == v) return;
    TAlign old = align_;
    align_ = v;
    if (v == alNone) UpdateAnchorRules();
    if (parent_ && (old != alNone || v != alNone)) parent_->AlignControls();
}

void TControl::SetAnchors(TAnchors v) {
    anchors_ = v & 0x0F;
    UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
    if (!parent_) {
        anchorsValid_ = false;
        return;
    }
    RECT pr = parent_->ClientRect();
    anchorLeft_ = left_;
    anchorTop_ = top_;
    anchorRight_ = pr.right - (left_ + width_);
    anchorBottom_ = pr.bottom - (top_ + height_);
    anchorsValid_ = true;
}

void TControl::RequestAlign() {
    if (parent_) parent_->AlignControls();
}

void TControl::SetVisible(bool v) {
    if (visible_ == v) return;
    if (!v) InvalidateControl(true, false);
    visible_ = v;
    if (v) InvalidateControl(true, false);
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
    if (align_ != alNone) RequestAlign();
}

void TControl::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    Perform(CM_ENABLEDCHANGED);
    Invalidate();
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void TControl::SetColor(TColor v) {
    parentColor_ = false;
    if (color_ == v) return;
    color_ = v;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool v) {
    parentColor_ = v;
    if (v && parent_) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::SetFont(TFont* v) { font_->Assign(v); }

void TControl::SetParentFont(bool v) {
    parentFont_ = v;
    if (v && parent_) Perform(CM_PARENTFONTCHANGED);
}

void TControl::SetCursor(TCursor v) {
    if (cursor_ == v) return;
    cursor_ = v;
    Perform(CM_CURSORCHANGED);
}

void TControl::SetText(const String& v) {
    if (text_ == v) return;
    text_ = v;
    Perform(CM_TEXTCHANGED);
}

bool TControl::MouseCapture() const { return g_captureControl == this; }

void TControl::SetMouseCapture(bool v) {
    if (v == MouseCapture()) return;
    if (v) {
        HWND h = nullptr;
        if (Is<TWinControl>())
            h = static_cast<TWinControl*>(this)->Handle();
        else if (parent_)
            h = parent_->Handle();
        if (!h) return;
        SetCapture(h);
        g_captureControl = this;
    } else {
        g_captureControl = nullptr;
        ReleaseCapture();
    }
}

void TControl::InvalidateControl(bool IsVisible, bool IsOpaque) {
    if (!IsVisible || !parent_ || !parent_->HandleAllocated() || Is<TWinControl>()) return;
    RECT r = BoundsRect();
    InvalidateRect(parent_->handle_, &r, IsOpaque ? FALSE : TRUE);
}

void TControl::Invalidate() { Perform(CM_INVALIDATE); }

void TControl::Update() {
    if (parent_) parent_->Update();
}

void TControl::Repaint() {
    Invalidate();
    Update();
}

void TControl::BringToFront() {
    if (parent_) parent_->SetZOrder(this, true);
}

void TControl::SendToBack() {
    if (parent_) parent_->SetZOrder(this, false);
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

TBrush* TWinControl::Brush() {
    if (!brush_) brush_ = new TBrush();
    if (brush_->Color() != color_) brush_->SetColor(color_);
    return brush_;
}

void TWinControl::SetBevelKind(TBevelKind v) {
    if (bevelKind_ == v) return;
    bevelKind_ = v;
    FrameChanged();
}

void TWinControl::SetBevelEdges(TBevelEdges v) {
    v &= 0x0F;
    if (bevelEdges_ == v) return;
    bevelEdges_ = v;
    FrameChanged();
}

void TWinControl::SetBevelInner(TBevelCut v) {
    if (bevelInnerW_ == v) return;
    bevelInnerW_ = v;
    FrameChanged();
}

void TWinControl::SetBevelOuter(TBevelCut v) {
    if (bevelOuterW_ == v) return;
    bevelOuterW_ = v;
    FrameChanged();
}

void TWinControl::SetBevelWidth(int v) {
    v = std::clamp(v, 1, kMaxFrameWidth);
    if (bevelWidthW_ == v) return;
    bevelWidthW_ = v;
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
    GetClientRect(h, &cr);
    POINT o;
    ::win::ClientToScreen(h, &o);
    return RECT{o.x - wr.left, o.y - wr.top, o.x - wr.left + cr.right, o.y - wr.top + cr.bottom};
}

void TWinControl::AdjustFrameRect(RECT& Rect) const {
    Rect.left += borderWidth_;
    Rect.top += borderWidth_;
    Rect.right -= borderWidth_;
    Rect.bottom -= borderWidth_;
    const int e = BevelSize(bevelKind_, bevelInnerW_, bevelOuterW_, bevelWidthW_);
    if (bevelEdges_ & (1u << beLeft)) Rect.left += e;
    if (bevelEdges_ & (1u << beTop)) Rect.top += e;
    if (bevelEdges_ & (1u << beRight)) Rect.right -= e;
    if (bevelEdges_ & (1u << beBottom)) Rect.bottom -= e;
    Rect.right = std::max(Rect.left, Rect.right);
    Rect.bottom = std::max(Rect.top, Rect.bottom);
}

void TWinControl::PaintFrame(HDC DC) {
    if (!handle_ || (bevelKind_ == bkNone && borderWidth_ <= 0)) return;
    const int saved = SaveDC(DC);
    RECT client = ControlsInternal::ClientRectInWindow(handle_);
    ExcludeClipRect(DC, client.left, client.top, client.right, client.bottom);
    // Out from the client: the border, the scroll bars of the window layer, the bevels.
    RECT r{client.left - borderWidth_, client.top - borderWidth_, client.right + borderWidth_,
           client.bottom + borderWidth_};
    if (bevelKind_ != bkNone) {
        const int e = BevelSize(bevelKind_, bevelInnerW_, bevelOuterW_, bevelWidthW_);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE));
        if (bevelEdges_ & (1u << beLeft)) r.left -= e;
        if (bevelEdges_ & (1u << beTop)) r.top -= e;
        if (bevelEdges_ & (1u << beRight)) r.right += e;
        if (style & WS_VSCROLL) r.right += GetSystemMetrics(SM_CYVSCROLL);
        if (bevelEdges_ & (1u << beBottom)) r.bottom += e;
        if (style & WS_HSCROLL) r.bottom += GetSystemMetrics(SM_CXHSCROLL);
        static const UINT inner[] = {0, BDR_SUNKENINNER, BDR_RAISEDINNER, 0};
        static const UINT outer[] = {0, BDR_SUNKENOUTER, BDR_RAISEDOUTER, 0};
        static const UINT kind[] = {0, 0, BF_SOFT, BF_FLAT};
        DrawEdge(DC, &r, inner[bevelInnerW_] | outer[bevelOuterW_],
                 bevelEdges_ | kind[bevelKind_] | (Ctl3D ? 0u : BF_MONO) | BF_ADJUST);
    }
    IntersectClipRect(DC, r.left, r.top, r.right, r.bottom);
    RECT wr;
    GetWindowRect(handle_, &wr);
    RECT all{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    FillRect(DC, &all, Brush()->Handle());
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
    if (handle_) {
        if (HDC dc = GetWindowDC(handle_)) {
            try {
                PaintFrame(dc);
            } catch (...) {
                ReleaseDC(handle_, dc);
                throw;
            }
            ReleaseDC(handle_, dc);
        }
    }
    DefaultHandler(Message);
    // A control that paints its own border draws the sunken client edge over the window
    // layer's flat one.
    if (handle_ && (ControlStyle & csNeedsBorderPaint) &&
        (static_cast<DWORD>(GetWindowLongA(handle_, GWL_EXSTYLE)) & WS_EX_CLIENTEDGE)) {
        if (HDC dc = GetWindowDC(handle_)) {
            RECT wr;
            GetWindowRect(handle_, &wr);
            RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
            const int saved = SaveDC(dc);
            ExcludeClipRect(dc, r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
            DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
            RestoreDC(dc, saved);
            ReleaseDC(handle_, dc);
        }
    }
}

void TWinControl::FrameChanged() {
    if (handle_) {
        creatingWindow_ = true;  // the window keeps the model's size: no read-back meanwhile
        SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        creatingWindow_ = false;
        // The client area moved within the window: everything in it is drawn again.
        RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    AlignControls();
}

TWinControl::~TWinControl() {
    SetState(csDestroying, true);
    if (g_captureControl == this) {
        g_captureControl = nullptr;
        ReleaseCapture();
    }
    if (handle_) DestroyWnd();
    if (parent_) {
        TCustomForm* form = GetParentForm(this);
        if (form && !form->HasState(csDestroying)) form->ForgetControl(this);
    }
    // Child controls go with their parent, whoever owns them.
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        RemoveControl(c);
        c->Free();
    }
    delete brush_;
}

TControl* TWinControl::Controls(int index) const {
    if (index < 0 || index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return controls_[static_cast<size_t>(index)];
}

bool TWinControl::ContainsControl(const TControl* c) const {
    for (const TControl* p = c; p; p = p->parent_)
        if (p == this) return true;
    return false;
}

TControl* TWinControl::ControlAtPos(POINT Pos, bool AllowDisabled, bool AllowWinControls) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (!AllowWinControls && c->Is<TWinControl>()) continue;
        if (!c->visible_ || (!AllowDisabled && !c->enabled_)) continue;
        RECT r = c->BoundsRect();
        if (Pos.x >= r.left && Pos.x < r.right && Pos.y >= r.top && Pos.y < r.bottom) return c;
    }
    return nullptr;
}

void TWinControl::InsertControl(TControl* c) {
    controls_.push_back(c);
    c->parent_ = this;
    if (c->parentColor_) c->Perform(CM_PARENTCOLORCHANGED);
    if (c->parentFont_) c->Perform(CM_PARENTFONTCHANGED);
    c->UpdateAnchorRules();
    if (c->Is<TWinControl>()) {
        auto* w = static_cast<TWinControl*>(c);
        if (handle_) {
            if (w->handle_) {
                ::win::SetParent(w->handle_, handle_);
                SetWindowPos(w->handle_, HWND_TOP, w->left_, w->top_, w->width_, w->height_, SWP_NOACTIVATE);
            } else {
                w->CreateHandle();
            }
        } else if (w->handle_ && !w->parentWindow_) {
            w->DestroyHandle();
        }
    }
    if (c->align_ != alNone) AlignControls();
    c->InvalidateControl(c->visible_, false);
}

void TWinControl::RemoveControl(TControl* c) {
    auto it = std::find(controls_.begin(), controls_.end(), c);
    if (it == controls_.end()) return;
    c->InvalidateControl(c->visible_, false);
    controls_.erase(it);
    c->parent_ = nullptr;
    if (c->Is<TWinControl>()) {
        auto* w = static_cast<TWinControl*>(c);
        if (w->handle_ && !HasState(csDestroying) && !w->HasState(csDestroying)) w->DestroyHandle();
    }
    if (c->align_ != alNone && !HasState(csDestroying)) AlignControls();
}

void TWinControl::SetZOrder(TControl* c, bool Top) {
    auto it = std::find(controls_.begin(), controls_.end(), c);
    if (it == controls_.end()) return;
    controls_.erase(it);
    if (Top)
        controls_.push_back(c);
    else
        controls_.insert(controls_.begin(), c);
    if (c->Is<TWinControl>()) {
        auto* w = static_cast<TWinControl*>(c);
        if (w->handle_)
            SetWindowPos(w->handle_, Top ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else {
        c->InvalidateControl(c->visible_, false);
    }
}

void TWinControl::CreateParams(TCreateParams& Params) {
    Params.Caption = text_;
    Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (ControlStyle & csAcceptsControls) Params.Style |= WS_CLIPCHILDREN;
    if (visible_) Params.Style |= WS_VISIBLE;
    if (!enabled_) Params.Style |= WS_DISABLED;
    if (tabStop_) Params.Style |= WS_TABSTOP;
    Params.ExStyle = 0;
    Params.X = left_;
    Params.Y = top_;
    Params.Width = width_;
    Params.Height = height_;
    if (parent_)
        Params.WndParent = parent_->Handle();
    else
        Params.WndParent = parentWindow_;
    Params.WindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    Params.WinClassName = ClassName();
}

HWND TWinControl::Handle() {
    if (!handle_) CreateHandle();
    return handle_;
}

void TWinControl::CreateHandle() {
    if (handle_) return;
    CreateWnd();
}

void TWinControl::CreateWnd() {
    TCreateParams p;
    CreateParams(p);
    if ((p.Style & WS_CHILD) && !p.WndParent)
        throw EInvalidOperation(Format("Control '%s' has no parent window", Name()));
    EnsureWindowClass(p);
    creatingWindow_ = true;
    HWND h = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width,
                             p.Height, p.WndParent, nullptr, nullptr, this);
    creatingWindow_ = false;
    if (!h) throw EOSError(Format("Error creating window of class %s", p.WinClassName));
    handle_ = h;
    ControlMap()[h] = this;
    // The window takes the control's place among its siblings: directly below the window
    // of the nearest windowed sibling above it, or on top.
    if (parent_ && parent_->handle_ == p.WndParent) {
        HWND above = HWND_TOP;
        auto self = std::find(parent_->controls_.begin(), parent_->controls_.end(), this);
        if (self != parent_->controls_.end())
            for (auto it = self + 1; it != parent_->controls_.end(); ++it)
                if ((*it)->Is<TWinControl>() && static_cast<TWinControl*>(*it)->handle_) {
                    above = static_cast<TWinControl*>(*it)->handle_;
                    break;
                }
        creatingWindow_ = true;
        SetWindowPos(h, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        creatingWindow_ = false;
    }
    // The windowed children get their windows now, in z-order.
    for (TControl* c : controls_)
        if (c->Is<TWinControl>()) static_cast<TWinControl*>(c)->CreateHandle();
    UpdateBoundsFromWindow();
}

void TWinControl::DestroyWnd() {
    HWND h = handle_;
    if (!h) return;
    ControlState |= csDestroyingHandle;
    DestroyWindow(h);
    ControlState &= ~csDestroyingHandle;
    ControlMap().erase(h);
    handle_ = nullptr;
    // The platform destroyed the children's windows with ours.
    for (TControl* c : controls_)
        if (c->Is<TWinControl>()) {
            auto* w = static_cast<TWinControl*>(c);
            if (w->handle_ && !IsWindow(w->handle_)) {
                ControlMap().erase(w->handle_);
                w->handle_ = nullptr;
            }
        }
}

void TWinControl::DestroyHandle() {
    if (!handle_) return;
    for (TControl* c : controls_)
        if (c->Is<TWinControl>()) static_cast<TWinControl*>(c)->DestroyHandle();
    DestroyWnd();
}

void TWinControl::RecreateWnd() {
    if (!handle_) return;
    DestroyHandle();
    CreateHandle();
}

void TWinControl::SetParentWindow(HWND v) {
    if (parentWindow_ == v) return;
    parentWindow_ = v;
    if (parent_) return;
    if (handle_) {
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

RECT TWinControl::ClientRect() const {
    RECT r;
    if (handle_ && GetClientRect(handle_, &r)) return r;
    return CalcClientRect(width_, height_);
}

POINT TWinControl::ClientOrigin() const {
    POINT p;
    if (handle_) {
        ::win::ClientToScreen(handle_, &p);
        return p;
    }
    p = parent_ ? parent_->ClientOrigin() : POINT{};
    p.x += left_;
    p.y += top_;
    return p;
}

void TWinControl::AdjustClientRect(RECT&) const {}

void TWinControl::SetBorderWidth(int v) {
    v = std::clamp(v, 0, kMaxFrameWidth);
    if (borderWidth_ == v) return;
    borderWidth_ = v;
    FrameChanged();
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (AWidth < 0) AWidth = 0;
    if (AHeight < 0) AHeight = 0;
    AdjustSize(AWidth, AHeight);
    if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
    bool sized = AWidth != width_ || AHeight != height_;
    left_ = ALeft;
    top_ = ATop;
    width_ = AWidth;
    height_ = AHeight;
    if (!anchoring_) UpdateAnchorRules();
    if (handle_) {
        creatingWindow_ = true;  // the window follows the model: no read-back
        SetWindowPos(handle_, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        creatingWindow_ = false;
    }
    if (align_ != alNone && !anchoring_) RequestAlign();
    if (sized) {
        AlignControls();
        Resize();
    }
}

void TWinControl::UpdateBoundsFromWindow() {
    if (!handle_ || creatingWindow_) return;
    RECT wr;
    if (!GetWindowRect(handle_, &wr)) return;
    POINT tl{wr.left, wr.top};
    if (GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD) {
        if (HWND p = GetParent(handle_)) ::win::ScreenToClient(p, &tl);
    }
    int w = wr.right - wr.left, h = wr.bottom - wr.top;
    bool sized = w != width_ || h != height_;
    if (tl.x == left_ && tl.y == top_ && !sized) {
        return;
    }
    left_ = tl.x;
    top_ = tl.y;
    width_ = w;
    height_ = h;
    if (sized) {
        AlignControls();
        Resize();
    }
}

void TWinControl::AlignControls() {
    if (alignDisabled_ > 0 || HasState(csLoading) || HasState(csDestroying) || aligning_) {
        if (alignDisabled_ > 0 || HasState(csLoading)) ControlState |= csAlignmentNeeded;
        return;
    }
    aligning_ = true;
    ControlState &= ~csAlignmentNeeded;
    try {
        RECT area = ClientRect();
        AdjustClientRect(area);
        static const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
        for (TAlign side : order) {
            for (size_t i = 0; i < controls_.size(); ++i) {
                TControl* c = controls_[i];
                if (!c->visible_ || c->align_ != side) continue;
                int w = std::max(0, static_cast<int>(area.right - area.left));
                int h = std::max(0, static_cast<int>(area.bottom - area.top));
                c->anchoring_ = true;
                switch (side) {
                case alTop:
                    c->SetBounds(area.left, area.top, w, c->height_);
                    area.top += c->height_;
                    break;
                case alBottom:
                    c->SetBounds(area.left, area.bottom - c->height_, w, c->height_);
                    area.bottom -= c->height_;
                    break;
                case alLeft:
                    c->SetBounds(area.left, area.top, c->width_, h);
                    area.left += c->width_;
                    break;
                case alRight:
                    c->SetBounds(area.right - c->width_, area.top, c->width_, h);
                    area.right -= c->width_;
                    break;
                default: c->SetBounds(area.left, area.top, w, h); break;
                }
                c->anchoring_ = false;
            }
        }
        // Anchored controls keep their distances to the anchored edges; a control anchored
        // on neither side of an axis keeps its centre at the same relative place.
        RECT pr = ClientRect();
        for (TControl* c : controls_) {
            if (c->align_ != alNone || !c->anchorsValid_) continue;
            TAnchors a = c->anchors_;
            int l = c->left_, t = c->top_, w = c->width_, h = c->height_;
            bool ak_l = a & AnchorBit(akLeft), ak_r = a & AnchorBit(akRight);
            bool ak_t = a & AnchorBit(akTop), ak_b = a & AnchorBit(akBottom);
            if (ak_l && ak_r) {
                l = c->anchorLeft_;
                w = pr.right - c->anchorLeft_ - c->anchorRight_;
            } else if (ak_r) {
                l = pr.right - c->anchorRight_ - w;
            } else if (!ak_l) {
                int total = c->anchorLeft_ + w + c->anchorRight_;
                l = c->anchorLeft_ + (pr.right - total) / 2;
            }
            if (ak_t && ak_b) {
                t = c->anchorTop_;
                h = pr.bottom - c->anchorTop_ - c->anchorBottom_;
            } else if (ak_b) {
                t = pr.bottom - c->anchorBottom_ - h;
            } else if (!ak_t) {
                int total = c->anchorTop_ + h + c->anchorBottom_;
                t = c->anchorTop_ + (pr.bottom - total) / 2;
            }
            c->anchoring_ = true;
            c->SetBounds(l, t, std::max(0, w), std::max(0, h));
            c->anchoring_ = false;
        }
    } catch (...) {
        aligning_ = false;
        throw;
    }
    aligning_ = false;
}

void TWinControl::EnableAlign() {
    if (alignDisabled_ > 0) --alignDisabled_;
    if (alignDisabled_ == 0 && (ControlState & csAlignmentNeeded)) AlignControls();
}

void TWinControl::Loaded() {
    TControl::Loaded();
    AlignControls();
}

void TWinControl::SetVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    if (handle_) ShowWindow(handle_, v ? SW_SHOWNA : SW_HIDE);
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
    if (align_ != alNone) RequestAlign();
}

void TWinControl::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    if (handle_) EnableWindow(handle_, v ? TRUE : FALSE);
    Perform(CM_ENABLEDCHANGED);
    Invalidate();
}

void TWinControl::SetText(const String& v) {
    if (text_ == v) return;
    text_ = v;
    if (handle_) SetWindowTextA(handle_, v.c_str());
    Perform(CM_TEXTCHANGED);
}

bool TWinControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_ || !c->enabled_) return false;
    return true;
}

void TWinControl::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
    ::win::SetFocus(Handle());
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::Invalidate() { Perform(CM_INVALIDATE); }

void TWinControl::Update() {
    if (handle_) UpdateWindow(handle_);
}

void TWinControl::PaintTo(HDC dc, int X, int Y) {
    int saved = SaveDC(dc);
    POINT org;
    GetWindowOrgEx(dc, &org);
    SetWindowOrgEx(dc, org.x - X, org.y - Y, nullptr);
    IntersectClipRect(dc, 0, 0, width_, height_);
    Perform(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(dc));
    Perform(WM_PAINT, reinterpret_cast<uintptr_t>(dc));
    RestoreDC(dc, saved);
    for (TControl* c : controls_)
        if (c->Is<TWinControl>() && c->visible_)
            static_cast<TWinControl*>(c)->PaintTo(dc, X + c->left_, Y + c->top_);
}

void TWinControl::WndProc(TMessage& Message) {
    if (IsMouseMsg(Message.Msg)) {
        TControl* target = nullptr;
        if (g_captureControl && g_captureControl->parent_ == this && !g_captureControl->Is<TWinControl>())
            target = g_captureControl;
        else
            target = ControlAtPos(POINT{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)}, false);
        if (target) {
            TMessage m = Message;
            m.LParam = MAKELPARAM(GET_X_LPARAM(Message.LParam) - target->left_,
                                  GET_Y_LPARAM(Message.LParam) - target->top_);
            target->WndProc(m);
            Message.Result = m.Result;
            return;
        }
    }
    TControl::WndProc(Message);
}

void TWinControl::CaptureLost() {
    if (!g_captureControl) return;
    if (g_captureControl == this || (g_captureControl->parent_ == this && !g_captureControl->Is<TWinControl>())) {
        g_captureControl->ControlState &= ~(csClicked | csLButtonDown);
        g_captureControl = nullptr;
    }
}

void TWinControl::DefaultHandler(TMessage& Message) {
    if (handle_)
        Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintHandler(TMessage& Message) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    PAINTSTRUCT ps;
    bool own = dc == nullptr;
    if (own) {
        if (!handle_) return;
        dc = BeginPaint(handle_, &ps);
    }
    // Double buffering paints the whole client off screen, then copies it in one blit.
    HDC memDC = nullptr;
    HBITMAP memBmp = nullptr;
    HGDIOBJ oldBmp = nullptr;
    RECT client = ClientRect();
    if (own && DoubleBuffered && client.right > 0 && client.bottom > 0) {
        memDC = CreateCompatibleDC(dc);
        memBmp = memDC ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
        if (memBmp) {
            oldBmp = SelectObject(memDC, memBmp);
            FillRect(memDC, &client, Brush()->Handle());
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
        if (own) EndPaint(handle_, &ps);
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
    auto it = controls_.begin();
    if (First) it = std::find(controls_.begin(), controls_.end(), First);
    RECT clip;
    GetClipBox(dc, &clip);
    for (; it != controls_.end(); ++it) {
        TControl* c = *it;
        if (c->Is<TWinControl>() || !c->visible_) continue;
        RECT b = c->BoundsRect();
        if (b.left >= clip.right || b.right <= clip.left || b.top >= clip.bottom || b.bottom <= clip.top) continue;
        int saved = SaveDC(dc);
        POINT org;
        GetWindowOrgEx(dc, &org);
        SetWindowOrgEx(dc, org.x - c->left_, org.y - c->top_, nullptr);
        IntersectClipRect(dc, 0, 0, c->width_, c->height_);
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

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), canvas_(new TControlCanvas(this)) {}

TGraphicControl::~TGraphicControl() { delete canvas_; }

void TGraphicControl::PaintWith(HDC dc) {
    PaintThroughCanvas(canvas_, dc, [this] { Paint(); });
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), canvas_(new TControlCanvas(this)) {}

TCustomControl::~TCustomControl() {
    delete canvas_;
    canvas_ = nullptr;
}

void TCustomControl::DestroyWnd() {
    if (canvas_) canvas_->FreeDC();
    TWinControl::DestroyWnd();
}

void TCustomControl::PaintWindow(HDC dc) {
    PaintThroughCanvas(canvas_, dc, [this] { Paint(); });
}

}  // namespace cl
