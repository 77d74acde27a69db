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

namespace {
// Owns the object Mouse points at (Application and Screen are components: ControlsShutDown deletes them).
std::unique_ptr<TMouse> g_mouse;
}  // namespace

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
    if (FVisible == v) return;
    FVisible = v;
    if (FControl->HandleAllocated()) FControl->RecreateWnd();
}

void TControlScrollBar::SetStyle(TScrollBarStyle v) {
    if (FStyle == v) return;
    FStyle = v;
    ApplyStyle(true);
}

void TControlScrollBar::ApplyStyle(bool Redraw) {
    if (!FControl->HandleAllocated()) return;
    FlatSB_SetScrollProp(FControl->GetHandle(), FKind == sbHorizontal ? WSB_PROP_HSTYLE : WSB_PROP_VSTYLE,
                         FlatMode(FStyle), Redraw ? TRUE : FALSE);
}

bool TControlScrollBar::IsScrollBarVisible() const {
    if (!FVisible || !FControl->HandleAllocated()) return false;
    const DWORD bit = FKind == sbHorizontal ? WS_HSCROLL : WS_VSCROLL;
    return (static_cast<DWORD>(GetWindowLongA(FControl->GetHandle(), GWL_STYLE)) & bit) != 0;
}

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TWinControl(AOwner), FHorz(std::make_unique<TControlScrollBar>(this, sbHorizontal)),
      FVert(std::make_unique<TControlScrollBar>(this, sbVertical)) {}

TScrollingWinControl::~TScrollingWinControl() {
    FHorz.reset();
    FVert.reset();
}

void TScrollingWinControl::CreateWnd() {
    TWinControl::CreateWnd();
    // Bars that may not show leave the window whatever its class asked for.
    const DWORD style = static_cast<DWORD>(GetWindowLongA(FHandle, GWL_STYLE));
    DWORD wanted = style;
    if (!FHorz->FVisible) wanted &= ~WS_HSCROLL;
    if (!FVert->FVisible) wanted &= ~WS_VSCROLL;
    if (wanted != style) {
        SetWindowLongA(FHandle, GWL_STYLE, static_cast<LONG>(wanted));
        FrameChanged();
    }
    InitializeFlatSB(FHandle);
    FHorz->ApplyStyle(false);
    FVert->ApplyStyle(false);
}

// ---- TCustomForm -------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TScrollingWinControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FVisible = false;
    FParentColor = false;
    FParentFont = false;
    FColor = clBtnFace;
    FLeft = 0;
    FTop = 0;
    FWidth = 320;
    FHeight = 240;
    FCanvas = std::make_unique<TControlCanvas>(this);
    FIcon = std::make_unique<TIcon>();
    if (Screen) Screen->AddForm(this);
}

void TCustomForm::BeforeDestruction() {
    SetState(csDestroying, true);
    if (!FBuilt || FDestroyFired) return;
    FDestroyFired = true;
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
    FCanvas.reset();
    FIcon.reset();
}

void TCustomForm::AfterConstruction() {
    if (FBuilt) return;
    FBuilt = true;
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
                    if (!parent) throw EComponentError(Format("Parent %s of %s not found", e.Parent, e.Name));
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
    switch (FBorderStyle) {
        case bsNone:
            caption = false;
            if (!FParentWindow) Style |= WS_POPUP;
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
    if (FBorderStyle == bsToolWindow || FBorderStyle == bsSizeToolWin) ExStyle |= WS_EX_TOOLWINDOW;
    if (caption) {
        if (FBorderIcons & BorderIconBit(biSystemMenu)) Style |= WS_SYSMENU;
        if (FBorderStyle != bsDialog && FBorderStyle != bsToolWindow && FBorderStyle != bsSizeToolWin) {
            if (FBorderIcons & BorderIconBit(biMinimize)) Style |= WS_MINIMIZEBOX;
            if (FBorderIcons & BorderIconBit(biMaximize)) Style |= WS_MAXIMIZEBOX;
        }
    }
    if (FFormStyle == fsStayOnTop && !FParentWindow) ExStyle |= WS_EX_TOPMOST;
    if (FParentWindow) Style |= WS_CHILD;
}

void TCustomForm::CreateParams(TCreateParams& Params) {
    Params.Caption = FText;
    DWORD style, ex;
    FrameStyle(style, ex);
    Params.Style = style | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (!FEnabled) Params.Style |= WS_DISABLED;
    Params.ExStyle = ex;
    Params.X = FLeft;
    Params.Y = FTop;
    Params.Width = FWidth;
    Params.Height = FHeight;
    if (FParentWindow)
        Params.WndParent = FParentWindow;
    else if (Application && Application->GetHandle())
        Params.WndParent = Application->GetHandle();
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
    if (FCanvas) FCanvas->FreeDC();
    TScrollingWinControl::DestroyWnd();
}

void TCustomForm::PaintWindow(HDC dc) {
    if (!OnPaint) return;
    FCanvas->Lock();
    try {
        FCanvas->SetPaintDC(dc);
        OnPaint(this);
    } catch (...) {
        FCanvas->SetPaintDC(nullptr);
        FCanvas->Unlock();
        throw;
    }
    FCanvas->SetPaintDC(nullptr);
    FCanvas->Unlock();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
    if (FBorderStyle == v) return;
    // The client area keeps its size; the window takes the new frame.
    RECT client = GetClientRect();
    FBorderStyle = v;
    RECT now = CalcClientRect(FWidth, FHeight);
    int w = FWidth + (client.right - now.right), h = FHeight + (client.bottom - now.bottom);
    if (FHandle) {
        bool wasVisible = IsWindowVisible(FHandle) != FALSE;
        RecreateWnd();
        SetBounds(FLeft, FTop, w, h);
        if (wasVisible) ShowWindow(FHandle, FWindowState == wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOW);
    } else {
        SetBounds(FLeft, FTop, w, h);
    }
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
    if (FBorderIcons == v) return;
    FBorderIcons = v;
    if (FHandle) RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle v) {
    if (FFormStyle == v) return;
    FFormStyle = v;
    if (FHandle && !FParentWindow)
        SetWindowPos(FHandle, v == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::SetWindowState(TWindowState v) {
    if (FWindowState == v) return;
    FWindowState = v;
    if (FHandle && FVisible && !HasState(csLoading)) {
        switch (v) {
            case wsMaximized: ShowWindow(FHandle, SW_SHOWMAXIMIZED); break;
            case wsMinimized: ShowWindow(FHandle, SW_MINIMIZE); break;
            default: ShowWindow(FHandle, SW_RESTORE); break;
        }
    }
}

void TCustomForm::SetActiveControl(TWinControl* v) {
    if (v && (v == this || !ContainsControl(v)))
        throw EInvalidOperation("Invalid control for the form's active control");
    FActiveControl = v;
    if (v && FActive && v->CanFocus()) v->SetFocus();
}

void TCustomForm::ForgetControl(TWinControl* c) {
    if (FActiveControl == c) FActiveControl = nullptr;
}

void TCustomForm::SetParentWindow(HWND v) {
    if (FParentWindow == v) return;
    bool wasShown = FHandle && IsWindowVisible(FHandle);
    FParentWindow = v;
    if (!FHandle) return;
    RecreateWnd();
    if (wasShown || FVisible) ShowWindow(FHandle, SW_SHOWNA);
}

void TCustomForm::ApplyPosition() {
    if (FParentWindow) return;
    switch (Position) {
        case poScreenCenter:
        case poDesktopCenter: {
            int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
            SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
            break;
        }
        case poMainFormCenter:
        case poOwnerFormCenter: {
            TCustomForm* ref = nullptr;
            if (Position == poOwnerFormCenter && GetOwner() && GetOwner()->Is<TCustomForm>())
                ref = static_cast<TCustomForm*>(GetOwner());
            if (!ref && Application) ref = Application->GetMainForm();
            if (ref && ref != this) {
                SetBounds(ref->GetLeft() + (ref->GetWidth() - FWidth) / 2,
                          ref->GetTop() + (ref->GetHeight() - FHeight) / 2, FWidth, FHeight);
            } else {
                int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
                SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
            }
            break;
        }
        default: break;
    }
}

void TCustomForm::Show() {
    SetVisible(true);
    if (FHandle && !FParentWindow) BringWindowToTop(FHandle);
}

void TCustomForm::SetVisible(bool v) {
    if (HasState(csLoading)) {
        FVisible = v;
        return;
    }
    bool shown = FHandle && IsWindowVisible(FHandle);
    if (FVisible == v && shown == v) return;
    FVisible = v;
    if (v) {
        HandleNeeded();
        ApplyPosition();
        DoShow();
        if (!FVisible) return;  // OnShow hid it again
        int cmd = SW_SHOW;
        if (FWindowState == wsMaximized)
            cmd = SW_SHOWMAXIMIZED;
        else if (FWindowState == wsMinimized)
            cmd = SW_SHOWMINIMIZED;
        if (FParentWindow) cmd = SW_SHOWNA;
        ShowWindow(FHandle, cmd);
    } else {
        DoHide();
        if (FHandle) ShowWindow(FHandle, SW_HIDE);
    }
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
}

bool TCustomForm::CloseQuery() {
    bool can = true;
    if (OnCloseQuery) OnCloseQuery(this, can);
    return can;
}

void TCustomForm::Close() {
    if (FModal) {
        ModalResult = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application && Application->GetMainForm() == this) {
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
        PostMessageA(FHandle, CM_RELEASE, 0, 0);
    else
        PostMessageA(GetHandle(), CM_RELEASE, 0, 0);
}

void TCustomForm::CloseModal() {
    bool can = CloseQuery();
    TCloseAction action = caHide;
    if (can) DoClose(action);
    if (!can || action == caNone) ModalResult = mrNone;
}

TModalResult TCustomForm::ShowModal() {
    if (FVisible || !FEnabled || FModal) throw EInvalidOperation("Cannot make a visible window modal");
    std::vector<HWND> disabled;
    if (Screen)
        for (int i = 0; i < Screen->GetFormCount(); ++i) {
            TCustomForm* f = Screen->Forms(i);
            if (f != this && f->HandleAllocated() && IsWindowVisible(f->FHandle) && IsWindowEnabled(f->FHandle)) {
                EnableWindow(f->FHandle, FALSE);
                disabled.push_back(f->FHandle);
            }
        }
    FModal = true;
    ModalResult = mrNone;
    auto restore = [&] {
        FModal = false;
        for (HWND h : disabled)
            if (IsWindow(h)) EnableWindow(h, TRUE);
        if (FHandle) SetVisible(false);
    };
    try {
        Show();
        while (Application && !Application->GetTerminated()) {
            Application->HandleMessage();
            if (ModalResult != mrNone) {
                CloseModal();
                if (ModalResult != mrNone) break;
            }
        }
        if (ModalResult == mrNone) ModalResult = mrCancel;
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return ModalResult;
}

void TCustomForm::DoActivate(bool Activating) {
    FActive = Activating;
    if (Activating) {
        FocusFirst();
        if (OnActivate) OnActivate(this);
    } else {
        if (OnDeactivate) OnDeactivate(this);
    }
}

void TCustomForm::FocusFirst() {
    if (!FHandle) return;
    if (FActiveControl && FActiveControl->CanFocus()) {
        ::win::SetFocus(FActiveControl->GetHandle());
        return;
    }
    // The first focusable control in tab order, depth first.
    std::function<TWinControl*(TWinControl*)> first = [&](TWinControl* p) -> TWinControl* {
        std::vector<TWinControl*> wins;
        for (int i = 0; i < p->GetControlCount(); ++i)
            if (p->Controls(i)->Is<TWinControl>()) wins.push_back(static_cast<TWinControl*>(p->Controls(i)));
        std::stable_sort(wins.begin(), wins.end(), [](TWinControl* a, TWinControl* b) {
            auto key = [](TWinControl* c) { return c->TabOrder < 0 ? INT32_MAX : c->TabOrder; };
            return key(a) < key(b);
        });
        for (TWinControl* c : wins) {
            if (!c->CanFocus()) continue;
            if (c->TabStop) return c;
            if (TWinControl* inner = first(c)) return inner;
        }
        return nullptr;
    };
    TWinControl* c = first(this);
    ::win::SetFocus(c ? c->GetHandle() : FHandle);
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
    FIcon = std::make_unique<TIcon>();
    String exe = OwnExePath();
    size_t slash = exe.find_last_of('/');
    String base = slash == String::npos ? exe : exe.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    FTitle = dot == String::npos ? base : base.substr(0, dot);
}

TApplication::~TApplication() {
    SetState(csDestroying, true);
    // Forms go first (last created first), while the application window still owns them.
    DestroyComponents();
    FMainForm = nullptr;
    if (FHandle) {
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
    FIcon.reset();
}

void TApplication::Initialize() {
    if (FHandle) return;
    WNDCLASSA existing;
    if (!GetClassInfoA(nullptr, "TApplication", &existing)) {
        WNDCLASSA wc;
        wc.lpfnWndProc = &AppWndProc;
        wc.lpszClassName = "TApplication";
        RegisterClassA(&wc);
    }
    FHandle = CreateWindowExA(0, "TApplication", FTitle.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, nullptr, nullptr);
}

void TApplication::SetTitle(const String& v) {
    FTitle = v;
    if (FHandle) SetWindowTextA(FHandle, v.c_str());
}

String TApplication::GetExeName() const { return OwnExePath(); }

void TApplication::Adopt(TCustomForm* f) {
    if (!FMainForm) {
        f->HandleNeeded();
        FMainForm = f;
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
    if (FMainForm == f) FMainForm = nullptr;
}

void TApplication::Terminate() {
    FTerminated = true;
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
        FTerminated = true;
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
    if (!WaitMessage()) FTerminated = true;
}

void TApplication::Run() {
    if (FMainForm && ShowMainForm) {
        try {
            if (FMainForm->GetWindowState() == wsMinimized) FMainForm->SetWindowState(wsNormal);
            FMainForm->Show();
        } catch (...) {
            HandleException(this);
        }
    }
    while (!FTerminated) {
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
    String text = E.Message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
    MessageBoxA(FHandle, text.c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const String& Text, const String& Caption, unsigned Flags) {
    HWND owner = GetActiveWindow();
    if (!owner) owner = FHandle;
    return MessageBoxA(owner, Text.c_str(), Caption.c_str(), Flags);
}

// ---- TScreen and TMouse -----------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {
    RegisterControlClasses();
    struct Std {
        int id;
        uintptr_t res;
    };
    // clang-format off
    static const Std standard[] = {
        {crDefault, IDC_ARROW},    {crArrow, IDC_ARROW},        {crCross, IDC_CROSS},       {crIBeam, IDC_IBEAM},
        {crSizeNESW, IDC_SIZENESW}, {crSizeNS, IDC_SIZENS},      {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE},
        {crUpArrow, IDC_UPARROW},  {crHourGlass, IDC_WAIT},     {crNo, IDC_NO},             {crAppStart, IDC_APPSTARTING},
        {crHelp, IDC_HELP},        {crHandPoint, IDC_HAND},     {crSizeAll, IDC_SIZEALL},
    };
    // clang-format on
    FCursors.emplace_back(crNone, nullptr);
    for (const Std& s : standard) FCursors.emplace_back(s.id, LoadCursorA(nullptr, MAKEINTRESOURCEA(s.res)));
}

HCURSOR TScreen::Cursors(int id) const {
    for (const auto& [k, h] : FCursors)
        if (k == id) return h;
    for (const auto& [k, h] : FCursors)
        if (k == crDefault) return h;
    return nullptr;
}

void TScreen::SetCursors(int id, HCURSOR c) {
    for (auto& [k, h] : FCursors)
        if (k == id) {
            h = c;
            return;
        }
    FCursors.emplace_back(id, c);
}

void TScreen::SetCursor(TCursor v) {
    if (v == FCursor) return;
    FCursor = v;
    if (v == crDefault) {
        // Let the window under the pointer choose again.
        POINT p;
        win::GetCursorPos(&p);
        HWND h = WindowFromPoint(p);
        if (h) {
            LRESULT code = SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
            SendMessageA(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h),
                         MAKELPARAM(static_cast<int>(code), WM_MOUSEMOVE));
            return;
        }
    }
    ::win::SetCursor(Cursors(v));
}

int TScreen::GetWidth() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::GetHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

TCustomForm* TScreen::Forms(int index) const {
    if (index < 0 || index >= GetFormCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return FForms[static_cast<size_t>(index)];
}

void TScreen::AddForm(TCustomForm* f) {
    if (std::find(FForms.begin(), FForms.end(), f) == FForms.end()) FForms.push_back(f);
}

void TScreen::RemoveForm(TCustomForm* f) { FForms.erase(std::remove(FForms.begin(), FForms.end(), f), FForms.end()); }

TCustomForm* TScreen::GetActiveForm() const {
    for (HWND h = GetActiveWindow(); h; h = win::GetParent(h)) {
        TWinControl* c = FindControl(h);
        if (c && c->Is<TCustomForm>()) return static_cast<TCustomForm*>(c);
    }
    return nullptr;
}

TWinControl* TScreen::GetActiveControl() const { return FindControl(GetFocus()); }

POINT TMouse::GetCursorPos() const {
    POINT p;
    win::GetCursorPos(&p);
    return p;
}

void TMouse::SetCursorPos(POINT p) { ::win::SetCursorPos(p.x, p.y); }

void ControlsStartUp() {
    RegisterControlClasses();
    if (!Application) Application = new TApplication(nullptr);
    if (!Screen) Screen = new TScreen(nullptr);
    if (!Mouse) {
        g_mouse = std::make_unique<TMouse>();
        Mouse = g_mouse.get();
    }
}

void ControlsShutDown() {
    TApplication* app = Application;
    if (app) {
        delete app;
        Application = nullptr;
    }
    delete Screen;
    Screen = nullptr;
    Mouse = nullptr;
    g_mouse.reset();
}

}  // namespace cl
