// TCustomForm, TApplication, TScreen and TMouse.
#include "classlib/Forms.h"

#include <unistd.h>

#include "classlib/Controls_internal.h"

#include <algorithm>

namespace cl {

using namespace win;

TApplication* Application = nullptr;
TScreen* Screen = nullptr;
TMouse* Mouse = nullptr;

// ---- scrolling windows ------------------------------------------------------------------------

namespace {

INT_PTR FlatMode(TScrollBarStyle s) {
    switch (s) {
    case ssFlat: return FSB_FLAT_MODE;
    case ssHotTrack: return FSB_ENCARTA_MODE;
    default: return FSB_REGULAR_MODE;
    }
}

}  // namespace

void TControlScrollBar::SetVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    if (control_->HandleAllocated()) control_->RecreateWnd();
}

void TControlScrollBar::SetStyle(TScrollBarStyle v) {
    if (style_ == v) return;
    style_ = v;
    ApplyStyle(true);
}

void TControlScrollBar::ApplyStyle(bool Redraw) {
    if (!control_->HandleAllocated()) return;
    FlatSB_SetScrollProp(control_->Handle(), kind_ == sbHorizontal ? WSB_PROP_HSTYLE : WSB_PROP_VSTYLE,
                         FlatMode(style_), Redraw ? TRUE : FALSE);
}

bool TControlScrollBar::IsScrollBarVisible() const {
    if (!visible_ || !control_->HandleAllocated()) return false;
    const DWORD bit = kind_ == sbHorizontal ? WS_HSCROLL : WS_VSCROLL;
    return (static_cast<DWORD>(GetWindowLongA(control_->Handle(), GWL_STYLE)) & bit) != 0;
}

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TWinControl(AOwner),
      horz_(new TControlScrollBar(this, sbHorizontal)),
      vert_(new TControlScrollBar(this, sbVertical)) {}

TScrollingWinControl::~TScrollingWinControl() {
    delete horz_;
    delete vert_;
}

void TScrollingWinControl::CreateWnd() {
    TWinControl::CreateWnd();
    // Bars that may not show leave the window whatever its class asked for.
    const DWORD style = static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE));
    DWORD wanted = style;
    if (!horz_->visible_) wanted &= ~WS_HSCROLL;
    if (!vert_->visible_) wanted &= ~WS_VSCROLL;
    if (wanted != style) {
        SetWindowLongA(handle_, GWL_STYLE, static_cast<LONG>(wanted));
        FrameChanged();
    }
    InitializeFlatSB(handle_);
    horz_->ApplyStyle(false);
    vert_->ApplyStyle(false);
}

// ---- TCustomForm -------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TScrollingWinControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    visible_ = false;
    parentColor_ = false;
    parentFont_ = false;
    color_ = clBtnFace;
    left_ = 0;
    top_ = 0;
    width_ = 320;
    height_ = 240;
    canvas_ = new TControlCanvas(this);
    icon_ = new TIcon();
    if (Screen) Screen->AddForm(this);
}

void TCustomForm::BeforeDestruction() {
    SetState(csDestroying, true);
    if (!built_ || destroyFired_) return;
    destroyFired_ = true;
    try {
        DoDestroy();
    } catch (...) {
        if (Application) Application->HandleException(this);
    }
}

TCustomForm::~TCustomForm() {
    BeforeDestruction();
    if (Application) Application->FormGone(this);
    if (Screen) Screen->RemoveForm(this);
    delete canvas_;
    canvas_ = nullptr;
    delete icon_;
    icon_ = nullptr;
}

void TCustomForm::AfterConstruction() {
    if (built_) return;
    built_ = true;
    std::vector<TComponent*> created;
    SetState(csLoading, true);
    try {
        if (const TFormTable* t = FormTable()) {
            for (const TFormProp& p : t->Props) SetPropertyText(this, p.Name, p.Value, this);
            for (const TFormComponent& e : t->Components) {
                TComponent* c = CreateComponent(e.ClassName, this);
                created.push_back(c);
                c->SetState(csLoading, true);
                if (!e.Name.empty()) c->SetName(e.Name);
                TComponent* parent = nullptr;
                if (!e.Parent.empty()) {
                    parent = FindComponent(e.Parent);
                    if (!parent)
                        throw EComponentError(Format("Parent %s of %s not found", e.Parent, e.Name));
                } else if (c->Is<TControl>()) {
                    parent = this;
                }
                if (parent) c->SetParentComponent(parent);
                for (const TFormProp& p : e.Props) SetPropertyText(c, p.Name, p.Value, this);
                if (e.Bind) e.Bind(this, c);
            }
        }
    } catch (...) {
        SetState(csLoading, false);
        throw;
    }
    for (TComponent* c : created) c->Loaded();
    Loaded();
    DoCreate();
}

void TCustomForm::DoCreate() {
    if (!OnCreate) return;
    try {
        OnCreate(this);
    } catch (...) {
        if (Application)
            Application->HandleException(this);
        else
            throw;
    }
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
    if (OnClose) OnClose(this, Action);
}

void TCustomForm::DoDestroy() {
    if (OnDestroy) OnDestroy(this);
}

void TCustomForm::FrameStyle(DWORD& Style, DWORD& ExStyle) const {
    Style = 0;
    ExStyle = 0;
    bool caption = true;
    switch (borderStyle_) {
    case bsNone:
        caption = false;
        if (!parentWindow_) Style |= WS_POPUP;
        break;
    case bsSingle:
    case bsToolWindow: Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable:
    case bsSizeToolWin: Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
        Style |= WS_POPUP | WS_CAPTION;
        ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        break;
    }
    if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin) ExStyle |= WS_EX_TOOLWINDOW;
    if (caption) {
        if (borderIcons_ & BorderIconBit(biSystemMenu)) Style |= WS_SYSMENU;
        if (borderStyle_ != bsDialog && borderStyle_ != bsToolWindow && borderStyle_ != bsSizeToolWin) {
            if (borderIcons_ & BorderIconBit(biMinimize)) Style |= WS_MINIMIZEBOX;
            if (borderIcons_ & BorderIconBit(biMaximize)) Style |= WS_MAXIMIZEBOX;
        }
    }
    if (formStyle_ == fsStayOnTop && !parentWindow_) ExStyle |= WS_EX_TOPMOST;
    if (parentWindow_) Style |= WS_CHILD;
}

void TCustomForm::CreateParams(TCreateParams& Params) {
    Params.Caption = text_;
    DWORD style, ex;
    FrameStyle(style, ex);
    Params.Style = style | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (!enabled_) Params.Style |= WS_DISABLED;
    Params.ExStyle = ex;
    Params.X = left_;
    Params.Y = top_;
    Params.Width = width_;
    Params.Height = height_;
    if (parentWindow_)
        Params.WndParent = parentWindow_;
    else if (Application && Application->Handle())
        Params.WndParent = Application->Handle();
    else
        Params.WndParent = nullptr;
    Params.WindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    Params.WinClassName = ClassName();
}

RECT TCustomForm::CalcClientRect(int w, int h) const {
    DWORD style, ex;
    FrameStyle(style, ex);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, ex);
    RECT r{0, 0, w - (frame.right - frame.left), h - (frame.bottom - frame.top)};
    r.right = std::max(0, static_cast<int>(r.right));
    r.bottom = std::max(0, static_cast<int>(r.bottom));
    AdjustFrameRect(r);
    return RECT{0, 0, r.right - r.left, r.bottom - r.top};
}

void TCustomForm::DestroyWnd() {
    if (canvas_) canvas_->FreeDC();
    TScrollingWinControl::DestroyWnd();
}

void TCustomForm::PaintWindow(HDC dc) {
    if (!OnPaint) return;
    canvas_->Lock();
    try {
        canvas_->SetPaintDC(dc);
        OnPaint(this);
    } catch (...) {
        canvas_->SetPaintDC(nullptr);
        canvas_->Unlock();
        throw;
    }
    canvas_->SetPaintDC(nullptr);
    canvas_->Unlock();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
    if (borderStyle_ == v) return;
    // The client area keeps its size; the window takes the new frame.
    RECT client = ClientRect();
    borderStyle_ = v;
    RECT now = CalcClientRect(width_, height_);
    int w = width_ + (client.right - now.right), h = height_ + (client.bottom - now.bottom);
    if (handle_) {
        bool wasVisible = IsWindowVisible(handle_) != FALSE;
        RecreateWnd();
        SetBounds(left_, top_, w, h);
        if (wasVisible) ShowWindow(handle_, windowState_ == wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOW);
    } else {
        SetBounds(left_, top_, w, h);
    }
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
    if (borderIcons_ == v) return;
    borderIcons_ = v;
    if (handle_) RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle v) {
    if (formStyle_ == v) return;
    formStyle_ = v;
    if (handle_ && !parentWindow_)
        SetWindowPos(handle_, v == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::SetWindowState(TWindowState v) {
    if (windowState_ == v) return;
    windowState_ = v;
    if (handle_ && visible_ && !HasState(csLoading)) {
        switch (v) {
        case wsMaximized: ShowWindow(handle_, SW_SHOWMAXIMIZED); break;
        case wsMinimized: ShowWindow(handle_, SW_MINIMIZE); break;
        default: ShowWindow(handle_, SW_RESTORE); break;
        }
    }
}

void TCustomForm::SetActiveControl(TWinControl* v) {
    if (v && (v == this || !ContainsControl(v)))
        throw EInvalidOperation("Invalid control for the form's active control");
    activeControl_ = v;
    if (v && active_ && v->CanFocus()) v->SetFocus();
}

void TCustomForm::ForgetControl(TWinControl* c) {
    if (activeControl_ == c) activeControl_ = nullptr;
}

void TCustomForm::SetParentWindow(HWND v) {
    if (parentWindow_ == v) return;
    bool wasShown = handle_ && IsWindowVisible(handle_);
    parentWindow_ = v;
    if (!handle_) return;
    RecreateWnd();
    if (wasShown || visible_) ShowWindow(handle_, SW_SHOWNA);
}

void TCustomForm::ApplyPosition() {
    if (parentWindow_) return;
    switch (position_) {
    case poScreenCenter:
    case poDesktopCenter: {
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        SetBounds((sw - width_) / 2, (sh - height_) / 2, width_, height_);
        break;
    }
    case poMainFormCenter:
    case poOwnerFormCenter: {
        TCustomForm* ref = nullptr;
        if (position_ == poOwnerFormCenter && Owner() && Owner()->Is<TCustomForm>())
            ref = static_cast<TCustomForm*>(Owner());
        if (!ref && Application) ref = Application->MainForm();
        if (ref && ref != this) {
            SetBounds(ref->Left() + (ref->Width() - width_) / 2, ref->Top() + (ref->Height() - height_) / 2, width_,
                      height_);
        } else {
            int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
            SetBounds((sw - width_) / 2, (sh - height_) / 2, width_, height_);
        }
        break;
    }
    default: break;
    }
}

void TCustomForm::Show() {
    SetVisible(true);
    if (handle_ && !parentWindow_) BringWindowToTop(handle_);
}

void TCustomForm::SetVisible(bool v) {
    if (HasState(csLoading)) {
        visible_ = v;
        return;
    }
    bool shown = handle_ && IsWindowVisible(handle_);
    if (visible_ == v && shown == v) return;
    visible_ = v;
    if (v) {
        HandleNeeded();
        ApplyPosition();
        DoShow();
        if (!visible_) return;  // OnShow hid it again
        int cmd = SW_SHOW;
        if (windowState_ == wsMaximized)
            cmd = SW_SHOWMAXIMIZED;
        else if (windowState_ == wsMinimized)
            cmd = SW_SHOWMINIMIZED;
        if (parentWindow_) cmd = SW_SHOWNA;
        ShowWindow(handle_, cmd);
    } else {
        DoHide();
        if (handle_) ShowWindow(handle_, SW_HIDE);
    }
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
}

bool TCustomForm::CloseQuery() {
    bool can = true;
    if (OnCloseQuery) OnCloseQuery(this, can);
    return can;
}

void TCustomForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application && Application->MainForm() == this) {
        Application->Terminate();
    } else if (action == caHide) {
        Hide();
    } else if (action == caMinimize) {
        SetWindowState(wsMinimized);
    } else {
        Release();
    }
}

void TCustomForm::Release() {
    if (HandleAllocated())
        PostMessageA(handle_, CM_RELEASE, 0, 0);
    else
        PostMessageA(Handle(), CM_RELEASE, 0, 0);
}

void TCustomForm::CloseModal() {
    bool can = CloseQuery();
    TCloseAction action = caHide;
    if (can) DoClose(action);
    if (!can || action == caNone) modalResult_ = mrNone;
}

TModalResult TCustomForm::ShowModal() {
    if (visible_ || !enabled_ || modal_) throw EInvalidOperation("Cannot make a visible window modal");
    std::vector<HWND> disabled;
    if (Screen)
        for (int i = 0; i < Screen->FormCount(); ++i) {
            TCustomForm* f = Screen->Forms(i);
            if (f != this && f->HandleAllocated() && IsWindowVisible(f->handle_) && IsWindowEnabled(f->handle_)) {
                EnableWindow(f->handle_, FALSE);
                disabled.push_back(f->handle_);
            }
        }
    modal_ = true;
    modalResult_ = mrNone;
    auto restore = [&] {
        modal_ = false;
        for (HWND h : disabled)
            if (IsWindow(h)) EnableWindow(h, TRUE);
        if (handle_) SetVisible(false);
    };
    try {
        Show();
        while (Application && !Application->Terminated()) {
            Application->HandleMessage();
            if (modalResult_ != mrNone) {
                CloseModal();
                if (modalResult_ != mrNone) break;
            }
        }
        if (modalResult_ == mrNone) modalResult_ = mrCancel;
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return modalResult_;
}

void TCustomForm::DoActivate(bool Activating) {
    active_ = Activating;
    if (Activating) {
        FocusFirst();
        if (OnActivate) OnActivate(this);
    } else {
        if (OnDeactivate) OnDeactivate(this);
    }
}

void TCustomForm::FocusFirst() {
    if (!handle_) return;
    if (activeControl_ && activeControl_->CanFocus()) {
        ::win::SetFocus(activeControl_->Handle());
        return;
    }
    // The first focusable control in tab order, depth first.
    std::function<TWinControl*(TWinControl*)> first = [&](TWinControl* p) -> TWinControl* {
        std::vector<TWinControl*> wins;
        for (int i = 0; i < p->ControlCount(); ++i)
            if (p->Controls(i)->Is<TWinControl>()) wins.push_back(static_cast<TWinControl*>(p->Controls(i)));
        std::stable_sort(wins.begin(), wins.end(), [](TWinControl* a, TWinControl* b) {
            auto key = [](TWinControl* c) { return c->TabOrder() < 0 ? INT32_MAX : c->TabOrder(); };
            return key(a) < key(b);
        });
        for (TWinControl* c : wins) {
            if (!c->CanFocus()) continue;
            if (c->TabStop()) return c;
            if (TWinControl* inner = first(c)) return inner;
        }
        return nullptr;
    };
    TWinControl* c = first(this);
    ::win::SetFocus(c ? c->Handle() : handle_);
}

// ---- TApplication ---------------------------------------------------------------------------

namespace {

LRESULT AppWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

String OwnExePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return String();
    return String(buf, static_cast<size_t>(n));
}

}  // namespace

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
    RegisterControlClasses();
    icon_ = new TIcon();
    String exe = OwnExePath();
    size_t slash = exe.find_last_of('/');
    String base = slash == String::npos ? exe : exe.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    title_ = dot == String::npos ? base : base.substr(0, dot);
}

TApplication::~TApplication() {
    SetState(csDestroying, true);
    // Forms go first (last created first), while the application window still owns them.
    DestroyComponents();
    mainForm_ = nullptr;
    if (handle_) {
        DestroyWindow(handle_);
        handle_ = nullptr;
    }
    delete icon_;
}

void TApplication::Initialize() {
    if (handle_) return;
    WNDCLASSA existing;
    if (!GetClassInfoA(nullptr, "TApplication", &existing)) {
        WNDCLASSA wc;
        wc.lpfnWndProc = &AppWndProc;
        wc.lpszClassName = "TApplication";
        RegisterClassA(&wc);
    }
    handle_ = CreateWindowExA(0, "TApplication", title_.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, nullptr, nullptr);
}

void TApplication::SetTitle(const String& v) {
    title_ = v;
    if (handle_) SetWindowTextA(handle_, v.c_str());
}

String TApplication::ExeName() const { return OwnExePath(); }

void TApplication::Adopt(TCustomForm* f) {
    if (!mainForm_) {
        f->HandleNeeded();
        mainForm_ = f;
    }
}

TCustomForm* TApplication::CreateForm(const TClass& FormClass) {
    if (!FormClass.Create || !FormClass.InheritsFrom(TCustomForm::StaticClass()))
        throw EInvalidOperation(Format("%s is not a form class", FormClass.Name));
    auto* f = static_cast<TCustomForm*>(FormClass.Create(this));
    try {
        f->AfterConstruction();
    } catch (...) {
        delete f;
        throw;
    }
    Adopt(f);
    return f;
}

void TApplication::FormGone(TCustomForm* f) {
    if (mainForm_ == f) mainForm_ = nullptr;
}

void TApplication::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

bool TApplication::IsKeyMsg(const MSG& m) {
    if (m.message < WM_KEYFIRST || m.message > WM_KEYLAST) return false;
    HWND target = GetCapture();
    if (!target) target = m.hwnd;
    if (!target || !FindControl(target)) return false;
    return SendMessageA(target, CN_BASE + m.message, m.wParam, m.lParam) != 0;
}

bool TApplication::DispatchOne(MSG& m) {
    if (m.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    try {
        if (!IsKeyMsg(m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    } catch (...) {
        HandleException(this);
    }
    return true;
}

void TApplication::ProcessMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        if (!DispatchOne(m)) break;
}

void TApplication::HandleMessage() {
    MSG m;
    if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        DispatchOne(m);
        return;
    }
    // Nothing to do: idle processing, then wait. At the clock's horizon the run is over.
    try {
        ControlsInternal::TrackMouseControl();
    } catch (...) {
        HandleException(this);
    }
    if (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) return;
    if (!WaitMessage()) terminated_ = true;
}

void TApplication::Run() {
    if (mainForm_ && ShowMainForm) {
        try {
            if (mainForm_->WindowState() == wsMinimized) mainForm_->SetWindowState(wsNormal);
            mainForm_->Show();
        } catch (...) {
            HandleException(this);
        }
    }
    while (!terminated_) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::HandleException(TObject* Sender) {
    std::exception_ptr ep = std::current_exception();
    if (!ep) return;
    auto report = [&](const Exception& e) {
        try {
            if (OnException)
                OnException(Sender, e);
            else
                ShowException(e);
        } catch (...) {
            // A failing report is dropped: nothing may leave the message loop.
        }
    };
    try {
        std::rethrow_exception(ep);
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        report(e);
    } catch (const std::exception& e) {
        report(Exception(e.what()));
    } catch (...) {
        report(Exception("Unknown exception"));
    }
}

void TApplication::ShowException(const Exception& E) {
    String text = E.Message();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
    MessageBoxA(handle_, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const String& Text, const String& Caption, unsigned Flags) {
    HWND owner = GetActiveWindow();
    if (!owner) owner = handle_;
    return MessageBoxA(owner, Text.c_str(), Caption.c_str(), Flags);
}

// ---- TScreen and TMouse -----------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {
    RegisterControlClasses();
    struct Std {
        int id;
        uintptr_t res;
    };
    static const Std standard[] = {
        {crDefault, IDC_ARROW},    {crArrow, IDC_ARROW},        {crCross, IDC_CROSS},       {crIBeam, IDC_IBEAM},
        {crSizeNESW, IDC_SIZENESW}, {crSizeNS, IDC_SIZENS},      {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE},
        {crUpArrow, IDC_UPARROW},  {crHourGlass, IDC_WAIT},     {crNo, IDC_NO},             {crAppStart, IDC_APPSTARTING},
        {crHelp, IDC_HELP},        {crHandPoint, IDC_HAND},     {crSizeAll, IDC_SIZEALL},
    };
    cursors_.emplace_back(crNone, nullptr);
    for (const Std& s : standard) cursors_.emplace_back(s.id, LoadCursorA(nullptr, MAKEINTRESOURCEA(s.res)));
}

HCURSOR TScreen::Cursors(int id) const {
    for (const auto& [k, h] : cursors_)
        if (k == id) return h;
    for (const auto& [k, h] : cursors_)
        if (k == crDefault) return h;
    return nullptr;
}

void TScreen::SetCursors(int id, HCURSOR c) {
    for (auto& [k, h] : cursors_)
        if (k == id) {
            h = c;
            return;
        }
    cursors_.emplace_back(id, c);
}

void TScreen::SetCursor(TCursor v) {
    if (v == cursor_) return;
    cursor_ = v;
    if (v == crDefault) {
        // Let the window under the pointer choose again.
        POINT p;
        GetCursorPos(&p);
        HWND h = WindowFromPoint(p);
        if (h) {
            LRESULT code = SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
            SendMessageA(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(static_cast<int>(code), WM_MOUSEMOVE));
            return;
        }
    }
    ::win::SetCursor(Cursors(v));
}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

TCustomForm* TScreen::Forms(int index) const {
    if (index < 0 || index >= FormCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return forms_[static_cast<size_t>(index)];
}

void TScreen::AddForm(TCustomForm* f) {
    if (std::find(forms_.begin(), forms_.end(), f) == forms_.end()) forms_.push_back(f);
}

void TScreen::RemoveForm(TCustomForm* f) { forms_.erase(std::remove(forms_.begin(), forms_.end(), f), forms_.end()); }

TCustomForm* TScreen::ActiveForm() const {
    for (HWND h = GetActiveWindow(); h; h = GetParent(h)) {
        TWinControl* c = FindControl(h);
        if (c && c->Is<TCustomForm>()) return static_cast<TCustomForm*>(c);
    }
    return nullptr;
}

TWinControl* TScreen::ActiveControl() const { return FindControl(GetFocus()); }

POINT TMouse::CursorPos() const {
    POINT p;
    GetCursorPos(&p);
    return p;
}

void TMouse::SetCursorPos(POINT p) { ::win::SetCursorPos(p.x, p.y); }

void ControlsStartUp() {
    RegisterControlClasses();
    if (!Application) Application = new TApplication(nullptr);
    if (!Screen) Screen = new TScreen(nullptr);
    if (!Mouse) Mouse = new TMouse();
}

void ControlsShutDown() {
    TApplication* app = Application;
    if (app) {
        delete app;
        Application = nullptr;
    }
    delete Screen;
    Screen = nullptr;
    delete Mouse;
    Mouse = nullptr;
}

}  // namespace cl
