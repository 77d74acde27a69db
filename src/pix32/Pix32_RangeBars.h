// The scroll bars of the picture view: TArrowBar (two arrow buttons, a track and a handle, with
// auto-repeat by timer and hot tracking), TCustomRangeBar (a floating-point position inside an
// integer range with a visible window) and TArrowBarAccess (the look of one bar, copied to a
// second). The bars draw themed when the theme library is active, else the classic look, or a
// flat style of their own.
#pragma once

#include <cstdint>

#include "classlib/Controls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "pix32/Pix32.h"

namespace pix32 {

enum TRBStyle : uint8_t { rbsDefault = 0, rbsMac = 1 };
enum TRBBackgnd : uint8_t { bgPattern = 0, bgSolid = 1 };
enum TRBDirection : uint8_t { drLeft = 0, drUp = 1, drRight = 2, drDown = 3 };
enum TRBZone : uint8_t {
    rzNone = 0,
    rzPrevButton = 1,
    rzPrevTrack = 2,
    rzHandle = 3,
    rzNextTrack = 4,
    rzNextButton = 5
};
enum TScrollBarKind : uint8_t { sbHorizontal = 0, sbVertical = 1 };

// Only bsNone and bsSingle are meaningful for a bar.
using TBorderStyle = cl::TFormBorderStyle;

class TArrowBar : public cl::TCustomControl {
    CL_DECLARE_COMPONENT(TArrowBar, cl::TCustomControl)
public:
    explicit TArrowBar(cl::TComponent* AOwner);
    ~TArrowBar() override;

    TRBBackgnd Backgnd() const { return FBackgnd; }
    void SetBackgnd(TRBBackgnd Value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle Value);
    int32_t ButtonSize() const { return FButtonSize; }
    void SetButtonSize(int32_t Value);
    cl::TColor HandleColor() const { return FHandleColor; }
    void SetHandleColor(cl::TColor Value);
    cl::TColor ButtonColor() const { return FButtonColor; }
    void SetButtonColor(cl::TColor Value);
    cl::TColor HighLightColor() const { return FHighLightColor; }
    void SetHighLightColor(cl::TColor Value);
    cl::TColor ShadowColor() const { return FShadowColor; }
    void SetShadowColor(cl::TColor Value);
    cl::TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(cl::TColor Value);
    TScrollBarKind Kind() const { return FKind; }
    void SetKind(TScrollBarKind Value);
    bool ShowArrows() const { return FShowArrows; }
    void SetShowArrows(bool Value);
    bool ShowHandleGrip() const { return FShowHandleGrip; }
    void SetShowHandleGrip(bool Value);
    TRBStyle Style() const { return FStyle; }
    void SetStyle(TRBStyle Value);

    // The button length along the bar (0 without arrows).
    int32_t GetButtonSize();
    // The part of the bar under a client point.
    TRBZone GetZone(int32_t X, int32_t Y);

    TRBZone DragZone() const { return FDragZone; }
    TRBZone HotZone() const { return FHotZone; }
    int32_t TimerMode() const { return FTimerMode; }
    cl::TTimer* Timer() const { return FTimer; }

    cl::TNotifyEvent OnChange;
    cl::TNotifyEvent OnUserChange;

    // Used by the bar's message handlers.
    void NCCalcSize(cl::TMessage& Message);
    void NCPaint(cl::TMessage& Message);
    void EnabledChanged() { Invalidate(); }
    // The cursor left the bar: hot tracking ends.
    virtual void MouseLeft();

protected:
    void Paint() override;
    win::RECT CalcClientRect(int w, int h) const override;
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;
    void MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;

    virtual void DoChange();
    virtual void DoDrawButton(win::RECT R, TRBDirection Direction, bool Pushed, bool Enabled, bool Hot);
    virtual void DoDrawHandle(win::RECT R, bool Horizontal, bool Pushed, bool Hot);
    virtual void DoDrawTrack(win::RECT R, TRBDirection Direction, bool Pushed, bool Enabled, bool Hot);
    virtual bool DrawEnabled();
    virtual win::RECT GetHandleRect();
    virtual void TimerHandler(cl::TObject* Sender);

    void StartDragTracking();
    void StartHotTracking();
    void StopHotTracking();
    // The client length along the bar and its thickness.
    int32_t ClientLength() const;
    int32_t ClientThickness() const;

    TRBBackgnd FBackgnd = bgPattern;
    TBorderStyle FBorderStyle = cl::bsSingle;
    int32_t FButtonSize = 0;
    cl::TColor FHandleColor = cl::clBtnShadow;
    cl::TColor FButtonColor = cl::clBtnFace;
    cl::TColor FHighLightColor = cl::clBtnHighlight;
    cl::TColor FShadowColor = cl::clBtnShadow;
    cl::TColor FBorderColor = cl::clWindowFrame;
    TScrollBarKind FKind = sbHorizontal;
    bool FShowArrows = true;
    bool FShowHandleGrip = true;
    TRBStyle FStyle = rbsDefault;
    bool FGenChange = false;
    TRBZone FDragZone = rzNone;
    TRBZone FHotZone = rzNone;
    cl::TTimer* FTimer = nullptr;
    int32_t FTimerMode = 0;
    int32_t FStoredX = 0;
    int32_t FStoredY = 0;
    float FPosBeforeDrag = 0;
};

class TCustomRangeBar : public TArrowBar {
    CL_DECLARE_COMPONENT(TCustomRangeBar, TArrowBar)
public:
    explicit TCustomRangeBar(cl::TComponent* AOwner);

    bool Centered() const { return FCentered; }
    void SetCentered(bool Value) { FCentered = Value; }
    int32_t EffectiveWindow() const { return FEffectiveWindow; }
    uint16_t Increment() const { return FIncrement; }
    void SetIncrement(uint16_t Value) { FIncrement = Value; }
    float Position() const { return FPosition; }
    // Clamped to 0 .. Range - EffectiveWindow; repaints and fires OnChange when it changed.
    void SetPosition(float Value);
    int32_t Range() const { return FRange; }
    void SetRange(int32_t Value) { SetParams(Value, FWindow); }
    int32_t Window() const { return FWindow; }
    void SetWindow(int32_t Value) { SetParams(FRange, Value); }
    // Negative values become 0; a centred bar keeps the middle of its window at the same
    // relative place.
    void SetParams(int32_t NewRange, int32_t NewWindow);

protected:
    bool DrawEnabled() override;
    win::RECT GetHandleRect() override;
    void TimerHandler(cl::TObject* Sender) override;
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;
    bool DoMouseWheel(cl::TShiftState Shift, int WheelDelta, win::POINT MousePos) override;
    void Resize() override;
    void AdjustPosition();
    void UpdateEffectiveWindow();

    bool FCentered = false;
    int32_t FEffectiveWindow = 0;
    uint16_t FIncrement = 8;
    float FPosition = 0;
    int32_t FRange = 0;
    int32_t FWindow = 0;
};

class TRangeBar : public TCustomRangeBar {
    CL_DECLARE_COMPONENT(TRangeBar, TCustomRangeBar)
public:
    explicit TRangeBar(cl::TComponent* AOwner) : TCustomRangeBar(AOwner) {}
};

// The look of one bar (the master), every change copied to a second one (the slave).
class TArrowBarAccess : public cl::TPersistent {
    CL_DECLARE_CLASS(TArrowBarAccess, cl::TPersistent)
public:
    TArrowBar* Master = nullptr;
    TArrowBar* Slave = nullptr;

    cl::TColor Color() const { return Master->GetColor(); }
    void SetColor(cl::TColor Value);
    TRBBackgnd Backgnd() const { return Master->Backgnd(); }
    void SetBackgnd(TRBBackgnd Value);
    int32_t ButtonSize() const { return Master->ButtonSize(); }
    void SetButtonSize(int32_t Value);
    cl::TColor HandleColor() const { return Master->HandleColor(); }
    void SetHandleColor(cl::TColor Value);
    cl::TColor ButtonColor() const { return Master->ButtonColor(); }
    void SetButtonColor(cl::TColor Value);
    cl::TColor HighLightColor() const { return Master->HighLightColor(); }
    void SetHighLightColor(cl::TColor Value);
    cl::TColor ShadowColor() const { return Master->ShadowColor(); }
    void SetShadowColor(cl::TColor Value);
    cl::TColor BorderColor() const { return Master->BorderColor(); }
    void SetBorderColor(cl::TColor Value);
    bool ShowArrows() const { return Master->ShowArrows(); }
    void SetShowArrows(bool Value);
    bool ShowHandleGrip() const { return Master->ShowHandleGrip(); }
    void SetShowHandleGrip(bool Value);
    TRBStyle Style() const { return Master->Style(); }
    void SetStyle(TRBStyle Value);
};

// ---------------------------------------------------------------------------------------------
// The classic look, drawn with plain GDI fills in the system colours.

constexpr unsigned BDR_RAISEDOUTER = 0x0001;
constexpr unsigned BDR_SUNKENOUTER = 0x0002;
constexpr unsigned BDR_RAISEDINNER = 0x0004;
constexpr unsigned BDR_SUNKENINNER = 0x0008;
constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr unsigned BF_LEFT = 0x0001;
constexpr unsigned BF_TOP = 0x0002;
constexpr unsigned BF_RIGHT = 0x0004;
constexpr unsigned BF_BOTTOM = 0x0008;
constexpr unsigned BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr unsigned BF_MIDDLE = 0x0800;
constexpr unsigned DFC_SCROLL = 3;
constexpr unsigned DFCS_SCROLLUP = 0x0000;
constexpr unsigned DFCS_SCROLLDOWN = 0x0001;
constexpr unsigned DFCS_SCROLLLEFT = 0x0002;
constexpr unsigned DFCS_SCROLLRIGHT = 0x0003;
constexpr unsigned DFCS_SCROLLSIZEGRIP = 0x0008;
constexpr unsigned DFCS_INACTIVE = 0x0100;
constexpr unsigned DFCS_PUSHED = 0x0200;
constexpr unsigned DFCS_FLAT = 0x4000;
// Scroll-bar theme parts.
constexpr int SBP_ARROWBTN = 1;
constexpr int SBP_THUMBBTNHORZ = 2;
constexpr int SBP_THUMBBTNVERT = 3;
constexpr int SBP_LOWERTRACKHORZ = 4;
constexpr int SBP_UPPERTRACKHORZ = 5;
constexpr int SBP_LOWERTRACKVERT = 6;
constexpr int SBP_UPPERTRACKVERT = 7;
constexpr int SBP_GRIPPERHORZ = 8;
constexpr int SBP_GRIPPERVERT = 9;
constexpr int SBP_SIZEBOX = 10;
constexpr int SZB_RIGHTALIGN = 1;

// Edges of the given BDR_* kinds on the BF_* sides; BF_MIDDLE fills the inside with the
// button face. R is shrunk by the edges drawn.
void ClassicDrawEdge(win::HDC DC, win::RECT& R, unsigned Edge, unsigned Flags);
// DFC_SCROLL parts: arrow buttons (DFCS_SCROLLUP ... DFCS_SCROLLRIGHT with DFCS_INACTIVE,
// DFCS_PUSHED, DFCS_FLAT) and the size grip (DFCS_SCROLLSIZEGRIP).
void ClassicDrawFrameControl(win::HDC DC, win::RECT R, unsigned Type, unsigned State);
// A dotted frame that inverts every other pixel of the rectangle's edge.
void ClassicDrawFocusRect(win::HDC DC, const win::RECT& R);
// Fills R with a brush of two alternating colours (a solid brush when they are equal).
void FillPatternRect(win::HDC DC, const win::RECT& R, cl::TColor C1, cl::TColor C2);

// Declares the bars' message handlers and published properties, and registers their classes
// (idempotent; the bars' constructors call it too).
void StartupPix32RangeBars();

}  // namespace pix32
