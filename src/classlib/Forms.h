// Forms, the application object and its message loop, the screen and the mouse, and the
// builder that makes a form from the table describing it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "classlib/Controls.h"

namespace cl {

// ---- scrolling windows ----------------------------------------------------------------------

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollBarStyle { ssRegular, ssFlat, ssHotTrack };

class TScrollingWinControl;

// One scroll bar of a scrolling window. The window shows the bar while its style has
// WS_HSCROLL or WS_VSCROLL (as its class creates it); Visible off keeps it hidden. The
// window hands its bars to the flat scroll bar layer, and Style is the bar's mode there.
class TControlScrollBar : public TPersistent {
    CL_DECLARE_CLASS(TControlScrollBar, TPersistent)
public:
    TControlScrollBar(TScrollingWinControl* Control, TScrollBarKind Kind) : FControl(Control), FKind(Kind) {}
    TScrollBarKind GetKind() const { return FKind; }
    bool GetVisible() const { return FVisible; }
    // Recreates the window when it exists.
    void SetVisible(bool v);
    TScrollBarStyle GetStyle() const { return FStyle; }
    void SetStyle(TScrollBarStyle v);
    // Visible and shown by the window now.
    bool IsScrollBarVisible() const;

private:
    friend class TScrollingWinControl;
    // The bar's mode in the flat scroll bar layer.
    void ApplyStyle(bool Redraw);
    TScrollingWinControl* FControl;
    TScrollBarKind FKind;
    bool FVisible = true;
    TScrollBarStyle FStyle = ssRegular;
};

class TScrollingWinControl : public TWinControl {
    CL_DECLARE_COMPONENT(TScrollingWinControl, TWinControl)
public:
    explicit TScrollingWinControl(TComponent* AOwner);
    ~TScrollingWinControl() override;
    TControlScrollBar* GetHorzScrollBar() const { return FHorz.get(); }
    TControlScrollBar* GetVertScrollBar() const { return FVert.get(); }

protected:
    // Leaves out the bars that are not Visible and hands the others to the flat scroll bar
    // layer in their styles.
    void CreateWnd() override;

private:
    std::unique_ptr<TControlScrollBar> FHorz;
    std::unique_ptr<TControlScrollBar> FVert;
};

// ---- form tables ----------------------------------------------------------------------------

// One property of a table: its name (a dotted path such as "Font.Height" reaches into an
// object property) and its value as text: numbers, identifiers of enumerations, colours
// and cursors ("clBlack", "crHandPoint"), sets ("[akLeft,akTop]"), "True"/"False",
// strings, or for object properties the name of a component of the form.
struct TFormProp {
    String Name;
    String Value;
    TFormProp(String name, String value) : Name(std::move(name)), Value(std::move(value)) {}
    TFormProp(String name, const char* value) : Name(std::move(name)), Value(value) {}
    TFormProp(String name, int64_t value) : Name(std::move(name)), Value(std::to_string(value)) {}
    TFormProp(String name, int value) : Name(std::move(name)), Value(std::to_string(value)) {}
    TFormProp(String name, bool value) : Name(std::move(name)), Value(value ? "True" : "False") {}
};

class TCustomForm;

// One component of a form: its registered class, its name, its parent (a control or a
// component of the form by name; empty: the form itself for controls, none for other
// components), its properties in order, and an optional hook run right after them (the
// form keeps its field and wires its events there).
struct TFormComponent {
    String ClassName;
    String Name;
    String Parent;
    std::vector<TFormProp> Props;
    std::function<void(TCustomForm* Form, TComponent* Component)> Bind;
};

struct TFormTable {
    std::vector<TFormProp> Props;  // the form's own, applied first
    std::vector<TFormComponent> Components;
};

// Sets a published property by name (or dotted path) from its text. EPropertyError when the
// property is missing or read-only, EConvertError when the text does not fit its type.
void SetPropertyText(TObject* Instance, const String& Path, const String& Value, TComponent* Lookup = nullptr);

// ---- forms ----------------------------------------------------------------------------------

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = uint32_t;  // bit (1 << TBorderIcon)
constexpr TBorderIcons BorderIconBit(TBorderIcon b) { return 1u << b; }
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
// clang-format off
enum TPosition {
    poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter,
    poOwnerFormCenter
};
// clang-format on
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TScrollingWinControl {
    CL_DECLARE_COMPONENT(TCustomForm, TScrollingWinControl)
public:
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    // The table the form is built from (null: a form made in code).
    virtual const TFormTable* FormTable() const { return nullptr; }
    // Builds the form from FormTable (components in table order, their parents, their
    // properties; then Loaded in creation order, then the form's), then fires OnCreate
    // (an exception there is reported and construction goes on). Runs once; CreateForm and
    // NewForm call it.
    void AfterConstruction();
    // Fires OnDestroy while the form is whole (Free, Release and owners call it; a form
    // deleted directly fires it from the base destructor instead).
    void BeforeDestruction() override;

    TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v);
    TBorderIcons GetBorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons v);
    TFormStyle GetFormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle v);
    TWindowState GetWindowState() const { return FWindowState; }
    void SetWindowState(TWindowState v);
    TPosition Position = poDesigned;
    bool KeyPreview = false;

    TWinControl* GetActiveControl() const { return FActiveControl; }
    void SetActiveControl(TWinControl* v);
    TModalResult ModalResult = mrNone;
    TCanvas* GetCanvas() const { return FCanvas.get(); }
    TIcon* GetIcon() const { return FIcon.get(); }
    bool GetActive() const { return FActive; }
    int GetMDIChildCount() const { return 0; }
    win::HWND GetClientHandle() const { return nullptr; }
    virtual void PaletteChanged() {}

    void Show();
    void SetVisible(bool v) override;
    void SetParentWindow(win::HWND v) override;
    void Close();
    bool CloseQuery();
    // Frees the form once the messages already queued have been handled.
    void Release();
    // Shows the form, runs the message loop until ModalResult is set, hides it and
    // answers ModalResult.
    TModalResult ShowModal();

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnPaint;
    TNotifyEvent OnDestroy;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    // Used by the message handlers.
    void DoActivate(bool Activating);
    void FocusFirst();
    void ForgetControl(TWinControl* c);

protected:
    void CreateParams(TCreateParams& Params) override;
    win::RECT CalcClientRect(int w, int h) const override;
    void PaintWindow(win::HDC dc) override;
    void DestroyWnd() override;
    virtual void DoCreate();
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& Action);
    virtual void DoDestroy();
    void FrameStyle(win::DWORD& Style, win::DWORD& ExStyle) const;

private:
    friend struct ControlsInternal;
    void ApplyPosition();
    void CloseModal();

    TFormBorderStyle FBorderStyle = bsSizeable;
    TBorderIcons FBorderIcons = BorderIconBit(biSystemMenu) | BorderIconBit(biMinimize) | BorderIconBit(biMaximize);
    TFormStyle FFormStyle = fsNormal;
    TWindowState FWindowState = wsNormal;
    TWinControl* FActiveControl = nullptr;
    std::unique_ptr<TControlCanvas> FCanvas;
    std::unique_ptr<TIcon> FIcon;
    bool FBuilt = false;
    bool FDestroyFired = false;
    bool FModal = false;
    bool FActive = false;
};

class TForm : public TCustomForm {
    CL_DECLARE_COMPONENT(TForm, TCustomForm)
public:
    explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// Constructs a form of class F and builds it (AfterConstruction).
template <class F>
F* NewForm(TComponent* Owner) {
    F* f = new F(Owner);
    try {
        f->AfterConstruction();
    } catch (...) {
        f->Free();  // OnDestroy sees the whole form
        throw;
    }
    return f;
}

// ---- the application ------------------------------------------------------------------------

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

class TApplication : public TComponent {
    CL_DECLARE_COMPONENT(TApplication, TComponent)
public:
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    // Creates the hidden application window (class "TApplication").
    void Initialize();
    win::HWND GetHandle() const { return FHandle; }
    String GetTitle() const { return FTitle; }
    void SetTitle(const String& v);
    TIcon* GetIcon() const { return FIcon.get(); }
    String GetExeName() const;

    TCustomForm* GetMainForm() const { return FMainForm; }
    bool ShowMainForm = true;
    // Creates and builds a form owned by the application; the first becomes MainForm.
    template <class F>
    void CreateForm(F*& Reference) {
        Reference = nullptr;
        F* f = NewForm<F>(this);
        Reference = f;
        Adopt(f);
    }
    // The same by registered class name.
    TCustomForm* CreateForm(const TClass& FormClass);

    // Shows MainForm and handles messages until Terminate, WM_QUIT or the clock's horizon.
    void Run();
    void Terminate();
    bool GetTerminated() const { return FTerminated; }
    // Handles every message retrievable now, without waiting.
    void ProcessMessages();
    // Handles one message, waiting for one when none is there.
    void HandleMessage();

    // To be called while an exception is being handled: OnException when assigned, else the
    // error box (message text, a "." added when its last character sorts after ".",
    // captioned with Title, MB_OK | MB_ICONSTOP); EAbort is silent.
    void HandleException(TObject* Sender);
    void ShowException(const Exception& E);
    TExceptionEvent OnException;
    int MessageBox(const String& Text, const String& Caption, unsigned Flags);

    // Called when a form goes away.
    void FormGone(TCustomForm* f);

private:
    void Adopt(TCustomForm* f);
    // Handles a retrieved message; false for WM_QUIT.
    bool DispatchOne(win::MSG& m);
    bool IsKeyMsg(const win::MSG& m);

    win::HWND FHandle = nullptr;
    String FTitle;
    std::unique_ptr<TIcon> FIcon;
    TCustomForm* FMainForm = nullptr;
    bool FTerminated = false;
};

// ---- the screen and the mouse -----------------------------------------------------------------

class TScreen : public TComponent {
    CL_DECLARE_COMPONENT(TScreen, TComponent)
public:
    explicit TScreen(TComponent* AOwner);
    ~TScreen() override = default;

    // crDefault by default; setting it applies at once (crNone hides the pointer).
    TCursor GetCursor() const { return FCursor; }
    void SetCursor(TCursor v);
    // The cursor registered for an id (standard ids preloaded, crNone = 0); unknown ids
    // answer the arrow.
    win::HCURSOR Cursors(int id) const;
    void SetCursors(int id, win::HCURSOR c);

    int GetWidth() const;
    int GetHeight() const;
    int GetPixelsPerInch() const { return 96; }
    int GetFormCount() const { return static_cast<int>(FForms.size()); }
    TCustomForm* Forms(int index) const;
    TCustomForm* GetActiveForm() const;
    TWinControl* GetActiveControl() const;

    void AddForm(TCustomForm* f);
    void RemoveForm(TCustomForm* f);

private:
    TCursor FCursor = crDefault;
    std::vector<std::pair<int, win::HCURSOR>> FCursors;
    std::vector<TCustomForm*> FForms;
};

class TMouse {
public:
    win::POINT GetCursorPos() const;
    void SetCursorPos(win::POINT p);
};

extern TApplication* Application;
extern TScreen* Screen;
extern TMouse* Mouse;

// Creates Application, Screen and Mouse (after the platform's start-up); ShutDown frees
// them with every form the application owns.
void ControlsStartUp();
void ControlsShutDown();

}  // namespace cl
