// Controls: the base classes of everything on a form. TControl carries geometry, alignment,
// anchors, visibility, colour, cursor and the mouse events; TWinControl owns a window of the
// platform layer (created on first use of Handle); TGraphicControl is painted by its parent
// and gets its mouse messages through it; TCustomControl is a window with a canvas.
//
// Every class-library window belongs to a window class named by its control's ClassName and
// shares one window procedure, which finds the control (FindControl) and calls its WndProc.
// WndProc hands the message to Dispatch: the message handler the nearest class declares,
// else DefaultHandler (for windows: the platform's default window procedure). No exception
// leaves that procedure: it reaches Application->HandleException.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace cl {

class TWinControl;
class TCustomForm;

// ---- class-library notifications (CM_BASE + n, n < 0x100) and reflected keys ----------

constexpr unsigned CM_BASE = 0xB000;
constexpr unsigned CM_ACTIVATE = CM_BASE + 0;
constexpr unsigned CM_DEACTIVATE = CM_BASE + 1;
constexpr unsigned CM_DIALOGKEY = CM_BASE + 5;
constexpr unsigned CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr unsigned CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr unsigned CM_VISIBLECHANGED = CM_BASE + 11;
constexpr unsigned CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr unsigned CM_COLORCHANGED = CM_BASE + 13;
constexpr unsigned CM_FONTCHANGED = CM_BASE + 14;
constexpr unsigned CM_CURSORCHANGED = CM_BASE + 15;
constexpr unsigned CM_TEXTCHANGED = CM_BASE + 18;
constexpr unsigned CM_MOUSEENTER = CM_BASE + 19;
constexpr unsigned CM_MOUSELEAVE = CM_BASE + 20;
constexpr unsigned CM_WANTSPECIALKEY = CM_BASE + 30;
constexpr unsigned CM_RELEASE = CM_BASE + 33;
constexpr unsigned CM_INVALIDATE = CM_BASE + 37;
constexpr unsigned CN_BASE = 0xBC00;
constexpr unsigned CN_KEYDOWN = CN_BASE + win::WM_KEYDOWN;
constexpr unsigned CN_KEYUP = CN_BASE + win::WM_KEYUP;
constexpr unsigned CN_CHAR = CN_BASE + win::WM_CHAR;
constexpr unsigned CN_SYSKEYDOWN = CN_BASE + win::WM_SYSKEYDOWN;

// ---- enumerations and sets --------------------------------------------------------------

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBevelKind { bkNone, bkTile, bkSoft, bkFlat };
enum TBevelEdge { beLeft, beTop, beRight, beBottom };
using TBevelEdges = uint32_t;  // bit (1 << TBevelEdge)

enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = uint32_t;  // bit (1 << TAnchorKind)
constexpr TAnchors AnchorBit(TAnchorKind k) { return 1u << k; }
constexpr TAnchors DefaultAnchors = (1u << akLeft) | (1u << akTop);

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// clang-format off
enum TShiftStateFlag : uint32_t {
    ssShift = 1 << 0, ssAlt = 1 << 1, ssCtrl = 1 << 2, ssLeft = 1 << 3, ssRight = 1 << 4, ssMiddle = 1 << 5,
    ssDouble = 1 << 6
};
// clang-format on
using TShiftState = uint32_t;
enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TControlStyleFlag : uint32_t {
    csAcceptsControls = 1 << 0,
    csCaptureMouse = 1 << 1,
    csDesignInteractive = 1 << 2,
    csClickEvents = 1 << 3,
    csFramed = 1 << 4,
    csSetCaption = 1 << 5,
    csOpaque = 1 << 6,
    csDoubleClicks = 1 << 7,
    csFixedWidth = 1 << 8,
    csFixedHeight = 1 << 9,
    csNoDesignVisible = 1 << 10,
    csReplicatable = 1 << 11,
    csNoStdEvents = 1 << 12,
    csDisplayDragImage = 1 << 13,
    csReflector = 1 << 14,
    csActionClient = 1 << 15,
    csMenuEvents = 1 << 16,
    csNeedsBorderPaint = 1 << 17,
    csParentBackground = 1 << 18
};
using TControlStyle = uint32_t;

// clang-format off
enum TControlStateFlag : uint32_t {
    csLButtonDown = 1 << 0, csClicked = 1 << 1, csPalette = 1 << 2, csReadingState = 1 << 3,
    csAlignmentNeeded = 1 << 4, csFocusing = 1 << 5, csCreating = 1 << 6, csPaintCopy = 1 << 7,
    csCustomPaint = 1 << 8, csDestroyingHandle = 1 << 9, csDocking = 1 << 10
};
// clang-format on
using TControlState = uint32_t;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// The shift state of a mouse message's wParam and of the keyboard now.
TShiftState KeysToShiftState(uintptr_t keys);
TShiftState KeyboardShiftState();

// ---- size constraints ------------------------------------------------------------------

// Limits of a control's size (0: no limit).
class TSizeConstraints : public TPersistent {
    CL_DECLARE_CLASS(TSizeConstraints, TPersistent)
public:
    int GetMinWidth() const { return FMinWidth; }
    void SetMinWidth(int v) { Set(FMinWidth, v); }
    int GetMinHeight() const { return FMinHeight; }
    void SetMinHeight(int v) { Set(FMinHeight, v); }
    int GetMaxWidth() const { return FMaxWidth; }
    void SetMaxWidth(int v) { Set(FMaxWidth, v); }
    int GetMaxHeight() const { return FMaxHeight; }
    void SetMaxHeight(int v) { Set(FMaxHeight, v); }
    // Applies the limits to a proposed size.
    void Apply(int& w, int& h) const;
    TNotifyEvent OnChange;

private:
    void Set(int& field, int v);
    int FMinWidth = 0, FMinHeight = 0, FMaxWidth = 0, FMaxHeight = 0;
};

using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, win::POINT MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, win::POINT MousePos, bool& Handled)>;

// ---- TControl ---------------------------------------------------------------------------

class TControl : public TComponent {
    CL_DECLARE_COMPONENT(TControl, TComponent)
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    // Geometry (in the parent's client coordinates).
    int GetLeft() const { return FLeft; }
    int GetTop() const { return FTop; }
    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    win::RECT GetBoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    void SetBoundsRect(const win::RECT& r) { SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); }
    virtual win::RECT GetClientRect() const { return {0, 0, FWidth, FHeight}; }
    int GetClientWidth() const { return GetClientRect().right; }
    int GetClientHeight() const { return GetClientRect().bottom; }
    virtual void SetClientWidth(int v) { SetWidth(FWidth - GetClientWidth() + v); }
    virtual void SetClientHeight(int v) { SetHeight(FHeight - GetClientHeight() + v); }
    // Screen position of the client origin.
    virtual win::POINT GetClientOrigin() const;
    win::POINT ClientToScreen(win::POINT p) const;
    win::POINT ScreenToClient(win::POINT p) const;

    TSizeConstraints* GetConstraints() const { return FConstraints.get(); }

    bool GetAutoSize() const { return FAutoSize; }
    virtual void SetAutoSize(bool v);
    // Asked on every size change while AutoSize is set; may change the proposed size.
    virtual bool CanAutoSize(int& NewWidth, int& NewHeight);

    TWinControl* GetParent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;

    TAlign GetAlign() const { return FAlign; }
    void SetAlign(TAlign v);
    TAnchors GetAnchors() const { return FAnchors; }
    void SetAnchors(TAnchors v);

    bool GetVisible() const { return FVisible; }
    virtual void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool GetEnabled() const { return FEnabled; }
    virtual void SetEnabled(bool v);
    // Visible here and in every parent.
    bool GetShowing() const;

    TColor GetColor() const { return FColor; }
    void SetColor(TColor v);
    bool GetParentColor() const { return FParentColor; }
    void SetParentColor(bool v);
    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* v);
    bool GetParentFont() const { return FParentFont; }
    void SetParentFont(bool v);

    TCursor GetCursor() const { return FCursor; }
    void SetCursor(TCursor v);
    String Hint;
    bool ShowHint = false;

    String GetCaption() const { return FText; }
    void SetCaption(const String& v) { SetText(v); }
    String GetText() const { return FText; }
    virtual void SetText(const String& v);

    TControlStyle ControlStyle = 0;
    TControlState ControlState = 0;
    bool GetMouseCapture() const;
    void SetMouseCapture(bool v);

    // Painting.
    virtual void Invalidate();
    virtual void Update();
    void Repaint();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();

    // Sends a message to the control's WndProc and returns its result.
    intptr_t Perform(unsigned Msg, uintptr_t WParam = 0, intptr_t LParam = 0);
    virtual void WndProc(TMessage& Message);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TMouseWheelEvent OnMouseWheel;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;

    virtual void Click();
    virtual void DblClick();
    void Loaded() override;

    // Laid out by the parent (alignment and anchors): no change of the anchor distances.
    void UpdateAnchorRules();

protected:
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    // OnMouseWheel, then OnMouseWheelDown/Up; true when handled.
    virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, win::POINT MousePos);
    virtual void Resize();
    // Applies AutoSize and the constraints to a proposed size.
    void AdjustSize(int& w, int& h);
    virtual void ColorChanged() { Invalidate(); }
    virtual void FontChanged() { Invalidate(); }
    virtual void TextChanged() { Invalidate(); }
    // Invalidates the control's rectangle in its parent (opaque: without erasing).
    void InvalidateControl(bool IsVisible, bool IsOpaque);
    void RequestAlign();
    void DoAutoSize();

    TWinControl* FParent = nullptr;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = alNone;
    TAnchors FAnchors = DefaultAnchors;
    bool FVisible = true;
    bool FEnabled = true;
    TColor FColor = clWindow;
    bool FParentColor = true;
    std::unique_ptr<TFont> FFont;
    bool FParentFont = true;
    TCursor FCursor = crDefault;
    String FText;
    bool FAutoSize = false;
    bool FAutoSizing = false;
    bool FSettingParentFont = false;
    std::unique_ptr<TSizeConstraints> FConstraints;

private:
    friend class TWinControl;
    friend struct ControlsInternal;
    // Distances to the parent's edges recorded when the control is placed by its owner.
    int FAnchorLeft = 0, FAnchorTop = 0, FAnchorRight = 0, FAnchorBottom = 0;
    bool FAnchorsValid = false;
    bool FAnchoring = false;
};

// The form a control sits on (the form itself for a form), or null.
TCustomForm* GetParentForm(const TControl* Control);

// ---- TWinControl -------------------------------------------------------------------------

struct TCreateParams {
    String Caption;
    win::DWORD Style = 0;
    win::DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    win::HWND WndParent = nullptr;
    win::UINT WindowClassStyle = 0;
    String WinClassName;
};

class TWinControl : public TControl {
    CL_DECLARE_COMPONENT(TWinControl, TControl)
public:
    // Border and bevel widths are cut to this.
    static constexpr int kMaxFrameWidth = 1000;

    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    // The window, created on first use. EInvalidOperation "Control '%s' has no parent
    // window" when a child control has neither a parent nor a ParentWindow.
    win::HWND GetHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }
    void HandleNeeded() { (void)GetHandle(); }
    void DestroyHandle();
    // Destroys and recreates the window, keeping children and state.
    void RecreateWnd();

    win::HWND GetParentWindow() const { return FParentWindow; }
    virtual void SetParentWindow(win::HWND v);

    int GetControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int index) const;
    // The topmost visible (and, unless AllowDisabled, enabled) child at Pos (client coordinates).
    TControl* ControlAtPos(win::POINT Pos, bool AllowDisabled, bool AllowWinControls = false) const;
    bool ContainsControl(const TControl* c) const;

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    win::RECT GetClientRect() const override;
    win::POINT GetClientOrigin() const override;
    void SetVisible(bool v) override;
    void SetEnabled(bool v) override;
    void SetText(const String& v) override;

    void DisableAlign() { ++FAlignDisabled; }
    void EnableAlign();
    void Realign() { AlignControls(); }

    // Focus.
    bool TabStop = false;
    int TabOrder = -1;
    virtual bool CanFocus() const;
    virtual void SetFocus();
    bool Focused() const;

    bool DoubleBuffered = false;
    // The brush the background is erased with (its colour is the control's Color).
    TBrush* GetBrush();
    // A border of this many pixels around the client area, in the window's frame, painted
    // with the brush.
    int GetBorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int v);
    // Off: bevels are drawn flat in window-frame colour.
    bool Ctl3D = true;
    bool ParentCtl3D = true;
    virtual win::HPALETTE GetPalette() { return nullptr; }
    // Bevels drawn in the frame of a windowed control, outside the border (none while
    // BevelKind is bkNone): on the sides BevelEdges names, an outer and an inner cut of
    // BevelWidth pixels each (bvNone: none), soft or flat as BevelKind says.
    TBevelKind GetBevelKind() const { return FBevelKind; }
    void SetBevelKind(TBevelKind v);
    TBevelEdges GetBevelEdges() const { return FBevelEdges; }
    void SetBevelEdges(TBevelEdges v);
    TBevelCut GetBevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut v);
    TBevelCut GetBevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut v);
    int GetBevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int v);

    void Invalidate() override;
    void Update() override;
    void PaintTo(win::HDC dc, int X, int Y);

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    void WndProc(TMessage& Message) override;
    void DefaultHandler(TMessage& Message) override;

    // Used by the message handlers of this class.
    void PaintHandler(TMessage& Message);
    void NCCalcSizeHandler(TMessage& Message);
    void NCPaintHandler(TMessage& Message);
    // The window lost the mouse capture: forget the control that held it.
    void CaptureLost();
    void PaintControls(win::HDC dc, TControl* First);
    bool DoKeyDown(uint16_t& Key, TShiftState Shift);
    bool DoKeyUp(uint16_t& Key, TShiftState Shift);
    bool DoKeyPress(char& Key);
    void UpdateBoundsFromWindow();
    void Loaded() override;

protected:
    virtual void CreateParams(TCreateParams& Params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    virtual void CreateHandle();
    // Paints the window's own client (the default lets the platform's procedure do it).
    virtual void PaintWindow(win::HDC dc);
    virtual void KeyDown(uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    virtual void AdjustClientRect(win::RECT& Rect) const;
    virtual void AlignControls();
    virtual void InsertControl(TControl* c);
    virtual void RemoveControl(TControl* c);
    void SetZOrder(TControl* c, bool Top);
    // Top-level windows have frames: the client rectangle of a window of this size.
    virtual win::RECT CalcClientRect(int w, int h) const;
    // Shrinks a window rectangle by the frame parts the class library draws itself (the
    // border and the bevels), after the window layer's own frame.
    virtual void AdjustFrameRect(win::RECT& Rect) const;
    // Paints those parts into the window's DC (WM_NCPAINT, before the window layer's frame).
    virtual void PaintFrame(win::HDC DC);
    // The frame's geometry changed: the window recomputes its client area and repaints.
    void FrameChanged();

    win::HWND FHandle = nullptr;
    win::HWND FParentWindow = nullptr;
    std::vector<TControl*> FControls;  // z-order: last on top
    int FAlignDisabled = 0;
    int FBorderWidth = 0;
    bool FCreatingWindow = false;  // also set while the model moves the window (no read-back)
    std::unique_ptr<TBrush> FBrush;
    TBevelKind FBevelKind = bkNone;
    TBevelEdges FBevelEdges = 0x0F;
    TBevelCut FBevelInner = bvRaised;
    TBevelCut FBevelOuter = bvLowered;
    int FBevelWidth = 1;
    bool FAligning = false;

private:
    friend class TControl;
    friend struct ControlsInternal;
};

// ---- TGraphicControl and TCustomControl ----------------------------------------------------

// A canvas over a control: the paint DC while painting, else a DC of the control's window
// (a graphic control's: its parent's, moved to the control and clipped to it).
class TControlCanvas : public TCanvas {
    CL_DECLARE_CLASS(TControlCanvas, TCanvas)
public:
    explicit TControlCanvas(TControl* control) : FControl(control) {}
    ~TControlCanvas() override;
    // Uses dc (null: none) and gives back a DC of our own.
    void SetPaintDC(win::HDC dc);
    void FreeDC();

protected:
    void CreateHandle() override;

private:
    TControl* FControl;
    win::HDC FDc = nullptr;
    win::HWND FWnd = nullptr;
};

class TGraphicControl : public TControl {
    CL_DECLARE_COMPONENT(TGraphicControl, TControl)
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    // A canvas over the parent's paint DC while painting.
    TCanvas* GetCanvas() const { return FCanvas.get(); }
    // Used by the WM_PAINT handler.
    void PaintWith(win::HDC dc);

protected:
    virtual void Paint() {}

private:
    std::unique_ptr<TControlCanvas> FCanvas;
};

class TCustomControl : public TWinControl {
    CL_DECLARE_COMPONENT(TCustomControl, TWinControl)
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    TCanvas* GetCanvas() const { return FCanvas.get(); }

protected:
    void PaintWindow(win::HDC dc) override;
    void DestroyWnd() override;
    virtual void Paint() {}

private:
    std::unique_ptr<TControlCanvas> FCanvas;
};

// ---- windows and utilities ----------------------------------------------------------------

// The class-library control owning a window, or null (foreign and plain windows).
TWinControl* FindControl(win::HWND hwnd);

// A hidden utility window whose procedure calls Method; exceptions reach
// Application->HandleException. Free it with DeallocateHWnd.
using TWndMethod = std::function<void(TMessage& Message)>;
win::HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(win::HWND hwnd);

// Declares the published properties and message handlers of the controls (idempotent).
void RegisterControlClasses();

// The colour a TColor stands for (system colours resolved).
win::COLORREF ControlColorToRGB(TColor c);

}  // namespace cl
