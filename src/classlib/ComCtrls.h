// Common controls: the tool window with its edges, the page control with its tab sheets, track
// bars, up-down buttons and progress bars.
#pragma once

#include <algorithm>
#include <vector>

#include "classlib/Controls.h"

namespace cl {

// ---- tool windows ---------------------------------------------------------------------------

enum TEdgeBorder { ebLeft, ebTop, ebRight, ebBottom };
using TEdgeBorders = uint32_t;  // bit (1 << TEdgeBorder)
constexpr TEdgeBorders AllEdgeBorders = 0x0F;
enum TEdgeStyle { esNone, esRaised, esLowered };

// A windowed control framed by edges at its window's border: on the sides EdgeBorders names,
// an outer and an inner edge of one pixel each (esNone: none); inside them the border and
// the rest of the frame are filled with the brush. Ctl3D off draws the edges flat.
class TToolWindow : public TWinControl {
    CL_DECLARE_COMPONENT(TToolWindow, TWinControl)
public:
    explicit TToolWindow(TComponent* AOwner);

    TEdgeBorders GetEdgeBorders() const { return FEdgeBorders; }
    void SetEdgeBorders(TEdgeBorders v);
    TEdgeStyle GetEdgeInner() const { return FEdgeInner; }
    void SetEdgeInner(TEdgeStyle v);
    TEdgeStyle GetEdgeOuter() const { return FEdgeOuter; }
    void SetEdgeOuter(TEdgeStyle v);

protected:
    void AdjustFrameRect(win::RECT& Rect) const override;
    void PaintFrame(win::HDC DC) override;

private:
    TEdgeBorders FEdgeBorders = AllEdgeBorders;
    TEdgeStyle FEdgeInner = esRaised;
    TEdgeStyle FEdgeOuter = esLowered;
};

// ---- page controls ------------------------------------------------------------------------------

class TPageControl;

// One page of a page control: a container shown while it is the active page. A page whose
// tab is hidden (TabVisible off) keeps its place among the pages.
class TTabSheet : public TWinControl {
    CL_DECLARE_COMPONENT(TTabSheet, TWinControl)
public:
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;

    TPageControl* GetPageControl() const { return FPageControl; }
    // Makes the sheet a page of APageControl (its parent), at the end; null: no page control.
    void SetPageControl(TPageControl* APageControl);
    bool GetTabVisible() const { return FTabVisible; }
    void SetTabVisible(bool v);
    // The place among all pages (-1 without a page control); setting it moves the page.
    int GetPageIndex() const;
    void SetPageIndex(int v);
    // The place among the visible tabs, -1 when the tab is hidden.
    int GetTabIndex() const;

protected:
    void TextChanged() override;

private:
    friend class TPageControl;
    TPageControl* FPageControl = nullptr;
    bool FTabVisible = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// Tabs along the top in the classic look, one per page whose tab is visible, over a raised
// frame holding the active page. The user switches pages by clicking a tab, with the arrow
// keys (and Home, End) while the control has the focus, and with Ctrl+Tab / Ctrl+Shift+Tab
// while the focus is anywhere inside it; OnChanging may refuse such a switch, OnChange follows
// it. Setting ActivePage in code fires neither. The first page inserted becomes active.
class TPageControl : public TCustomControl {
    CL_DECLARE_COMPONENT(TPageControl, TCustomControl)
public:
    explicit TPageControl(TComponent* AOwner);
    ~TPageControl() override;

    int GetPageCount() const { return static_cast<int>(FPages.size()); }
    // EListError outside 0 .. PageCount - 1.
    TTabSheet* Pages(int Index) const;
    TTabSheet* GetActivePage() const { return FActivePage; }
    // A page of another control (or null) shows no page.
    void SetActivePage(TTabSheet* Page);
    int GetActivePageIndex() const { return FActivePage ? FActivePage->GetPageIndex() : -1; }
    void SetActivePageIndex(int Index);

    // The page after (GoForward) or before Current, wrapping round; with CheckTabVisible
    // only pages whose tab is visible. Current null starts from the end before the first
    // (or after the last) page. Null when there is none.
    TTabSheet* FindNextPage(TTabSheet* Current, bool GoForward, bool CheckTabVisible) const;
    // Switches to the next page as the user does (OnChanging, OnChange).
    void SelectNextPage(bool GoForward);

    // The visible tabs: their number, the page of each, and where each lies (client
    // coordinates; the active one is drawn larger).
    int TabCount() const;
    TTabSheet* TabPage(int TabIndex) const;
    win::RECT TabRect(int TabIndex);
    // The tab at a client point, -1 for none.
    int IndexOfTabAt(int X, int Y);
    // The height of the tab row and the area the pages fill.
    int GetTabHeight();
    win::RECT GetDisplayRect();

    TTabChangingEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    void Paint() override;
    void AlignControls() override;
    void InsertControl(TControl* c) override;
    void RemoveControl(TControl* c) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void FontChanged() override;
    virtual bool CanChange();
    virtual void Change();

private:
    friend class TTabSheet;
    friend struct ControlsInternal;
    // Shows Page and hides the page shown before (no events).
    void ShowPage(TTabSheet* Page);
    // A user's switch: OnChanging, the switch, OnChange. False when refused or unchanged.
    bool ChangeActivePage(TTabSheet* Page);
    void TabsChanged();
    // A hidden tab's page gives way to the next visible one; a shown tab fills an empty control.
    void TabVisibilityChanged(TTabSheet* Page);
    void MovePage(TTabSheet* Page, int Index);
    // Tab widths follow the captions; the row height the font.
    int TabWidth(TTabSheet* Page);
    // Whether the focus is on this control or on a window inside it.
    bool HasFocusInside() const;

    std::vector<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
    bool FDestroying = false;
};

// ---- ranges (ComCtrls_range.cpp) -------------------------------------------------------------

// A slider over Min .. Max: the arrow keys move it by one, Page Up and Page Down by PageSize,
// Home and End to the ends, and a click puts the thumb under the pointer. Every change of
// Position, by the user or in code, fires OnChange.
class TTrackBar : public TWinControl {
    CL_DECLARE_COMPONENT(TTrackBar, TWinControl)
public:
    explicit TTrackBar(TComponent* AOwner);
    int GetMin() const { return FMin; }
    int GetMax() const { return FMax; }
    // Max below Min is raised to it; Position is kept inside.
    void SetRange(int AMin, int AMax);
    void SetMin(int v) { SetRange(v, std::max(v, FMax)); }
    void SetMax(int v) { SetRange(std::min(FMin, v), v); }
    int GetPosition() const { return FPosition; }
    // Cut to Min .. Max.
    void SetPosition(int v);
    int PageSize = 2;
    int GetThumbLength() const { return FThumbLength; }
    void SetThumbLength(int v);
    // The client x of a position's thumb centre, and the position nearest a client x.
    int PositionToX(int Position) const;
    int XToPosition(int X) const;
    TNotifyEvent OnChange;
    void WndProc(TMessage& Message) override;

protected:
    void PaintWindow(win::HDC dc) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;

private:
    int FMin = 0, FMax = 10, FPosition = 0;
    int FThumbLength = 20;
};

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;

// A pair of arrow buttons stepping Position by Increment within Min .. Max (the upper half
// steps up, the lower half down, and so do the Up and Down keys). With an Associate, the
// associate's text shows the position (after a step the position is first read back from
// the text, so a typed number is stepped from); Wrap goes round at the ends.
class TUpDown : public TWinControl {
    CL_DECLARE_COMPONENT(TUpDown, TWinControl)
public:
    explicit TUpDown(TComponent* AOwner);
    int Min = 0;
    int Max = 100;
    int Increment = 1;
    bool Wrap = false;
    int GetPosition() const { return FPosition; }
    // Cut to Min .. Max; shown in the associate.
    void SetPosition(int v);
    TWinControl* GetAssociate() const { return FAssociate; }
    // The associate is placed beside the buttons' left and shows Position.
    void SetAssociate(TWinControl* v);
    // One step as a click on a button does: OnClick(Button) after the position moved.
    void Step(TUDBtnType Button);
    TUDClickEvent OnClick;
    void WndProc(TMessage& Message) override;

protected:
    void PaintWindow(win::HDC dc) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void ShowInAssociate();
    int FPosition = 0;
    TWinControl* FAssociate = nullptr;
};

// A bar filled in proportion to Position within Min .. Max.
class TProgressBar : public TWinControl {
    CL_DECLARE_COMPONENT(TProgressBar, TWinControl)
public:
    explicit TProgressBar(TComponent* AOwner);
    int Min = 0;
    int Max = 100;
    int GetPosition() const { return FPosition; }
    // Cut to Min .. Max.
    void SetPosition(int v);
    // The filled width in client pixels.
    int FilledWidth() const;

protected:
    void PaintWindow(win::HDC dc) override;

private:
    int FPosition = 0;
};

}  // namespace cl
