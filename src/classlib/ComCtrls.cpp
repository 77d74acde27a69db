// TToolWindow, TTabSheet and TPageControl.
#include "classlib/ComCtrls.h"

#include <algorithm>

#include "classlib/Controls_internal.h"
#include "classlib/TypInfo.h"

namespace cl {

using namespace win;

namespace {

// The size of a one-line caption in a font ("&" marks an accelerator).
SIZE CaptionSize(TFont* font, const String& text) {
    SIZE size{0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return size;
    HGDIOBJ old = SelectObject(dc, font->GetHandle());
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    DeleteDC(dc);
    size.cx = r.right - r.left;
    size.cy = r.bottom - r.top;
    return size;
}

void FillWith(HDC dc, const RECT& r, TColor colour) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    HBRUSH b = CreateSolidBrush(ControlColorToRGB(colour));
    FillRect(dc, &r, b);
    DeleteObject(b);
}

int EdgeCount(TEdgeStyle inner, TEdgeStyle outer) { return (inner != esNone ? 1 : 0) + (outer != esNone ? 1 : 0); }

}  // namespace

// ---- TToolWindow ------------------------------------------------------------------------------

TToolWindow::TToolWindow(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks;
    FWidth = 150;
    FHeight = 29;
}

void TToolWindow::SetEdgeBorders(TEdgeBorders v) {
    v &= AllEdgeBorders;
    if (FEdgeBorders == v) return;
    FEdgeBorders = v;
    FrameChanged();
}

void TToolWindow::SetEdgeInner(TEdgeStyle v) {
    if (FEdgeInner == v) return;
    FEdgeInner = v;
    FrameChanged();
}

void TToolWindow::SetEdgeOuter(TEdgeStyle v) {
    if (FEdgeOuter == v) return;
    FEdgeOuter = v;
    FrameChanged();
}

void TToolWindow::AdjustFrameRect(RECT& Rect) const {
    const int e = EdgeCount(FEdgeInner, FEdgeOuter);
    if (FEdgeBorders & (1u << ebLeft)) Rect.left += e;
    if (FEdgeBorders & (1u << ebTop)) Rect.top += e;
    if (FEdgeBorders & (1u << ebRight)) Rect.right -= e;
    if (FEdgeBorders & (1u << ebBottom)) Rect.bottom -= e;
    TWinControl::AdjustFrameRect(Rect);
}

void TToolWindow::PaintFrame(HDC DC) {
    if (!FHandle) return;
    const int saved = SaveDC(DC);
    RECT client = ControlsInternal::ClientRectInWindow(FHandle);
    ExcludeClipRect(DC, client.left, client.top, client.right, client.bottom);
    RECT wr;
    GetWindowRect(FHandle, &wr);
    RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    static const UINT inner[] = {0, BDR_RAISEDINNER, BDR_SUNKENINNER};
    static const UINT outer[] = {0, BDR_RAISEDOUTER, BDR_SUNKENOUTER};
    DrawEdge(DC, &r, inner[FEdgeInner] | outer[FEdgeOuter], FEdgeBorders | (Ctl3D ? 0u : BF_MONO) | BF_ADJUST);
    IntersectClipRect(DC, r.left, r.top, r.right, r.bottom);
    FillRect(DC, &r, GetBrush()->GetHandle());
    RestoreDC(DC, saved);
}

// ---- TTabSheet ----------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks;
    FVisible = false;  // shown while it is its page control's active page
}

TTabSheet::~TTabSheet() {
    // Leave the page control while still a page, so that it forgets this page.
    if (FParent) SetParent(nullptr);
}

void TTabSheet::SetPageControl(TPageControl* APageControl) { SetParent(APageControl); }

void TTabSheet::SetTabVisible(bool v) {
    if (FTabVisible == v) return;
    FTabVisible = v;
    if (FPageControl) FPageControl->TabVisibilityChanged(this);
}

int TTabSheet::GetPageIndex() const {
    if (!FPageControl) return -1;
    const auto& p = FPageControl->FPages;
    return static_cast<int>(std::find(p.begin(), p.end(), this) - p.begin());
}

void TTabSheet::SetPageIndex(int v) {
    if (FPageControl) FPageControl->MovePage(this, v);
}

int TTabSheet::GetTabIndex() const {
    if (!FPageControl || !FTabVisible) return -1;
    int n = 0;
    for (TTabSheet* p : FPageControl->FPages) {
        if (p == this) return n;
        if (p->FTabVisible) ++n;
    }
    return -1;
}

void TTabSheet::TextChanged() {
    TWinControl::TextChanged();
    if (FPageControl) FPageControl->TabsChanged();
}

// ---- TPageControl -------------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks | csOpaque;
    FWidth = 289;
    FHeight = 193;
    TabStop = true;
    FParentColor = false;
    FColor = clBtnFace;
}

TPageControl::~TPageControl() {
    FDestroying = true;
    for (TTabSheet* p : FPages) p->FPageControl = nullptr;
    FPages.clear();
    FActivePage = nullptr;
}

TTabSheet* TPageControl::Pages(int Index) const {
    if (Index < 0 || Index >= GetPageCount()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FPages[static_cast<size_t>(Index)];
}

void TPageControl::SetActivePage(TTabSheet* Page) {
    if (Page && Page->FPageControl != this) Page = nullptr;
    ShowPage(Page);
}

void TPageControl::SetActivePageIndex(int Index) {
    SetActivePage(Index >= 0 && Index < GetPageCount() ? FPages[static_cast<size_t>(Index)] : nullptr);
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* Current, bool GoForward, bool CheckTabVisible) const {
    const int n = GetPageCount();
    if (n == 0) return nullptr;
    int i = static_cast<int>(std::find(FPages.begin(), FPages.end(), Current) - FPages.begin());
    if (i >= n) i = GoForward ? n - 1 : 0;
    for (int step = 0; step < n; ++step) {
        i = GoForward ? (i + 1) % n : (i + n - 1) % n;
        if (!CheckTabVisible || FPages[static_cast<size_t>(i)]->FTabVisible) return FPages[static_cast<size_t>(i)];
    }
    return nullptr;
}

void TPageControl::SelectNextPage(bool GoForward) {
    TTabSheet* next = FindNextPage(FActivePage, GoForward, true);
    if (next) ChangeActivePage(next);
}

int TPageControl::TabCount() const {
    return static_cast<int>(std::count_if(FPages.begin(), FPages.end(), [](TTabSheet* p) { return p->FTabVisible; }));
}

TTabSheet* TPageControl::TabPage(int TabIndex) const {
    if (TabIndex < 0) return nullptr;
    for (TTabSheet* p : FPages)
        if (p->FTabVisible && TabIndex-- == 0) return p;
    return nullptr;
}

int TPageControl::GetTabHeight() { return CaptionSize(FFont.get(), "Ag").cy + 6; }

int TPageControl::TabWidth(TTabSheet* Page) { return CaptionSize(FFont.get(), Page->GetCaption()).cx + 12; }

RECT TPageControl::TabRect(int TabIndex) {
    const int th = GetTabHeight();
    int x = 2;
    int i = 0;
    for (TTabSheet* p : FPages) {
        if (!p->FTabVisible) continue;
        const int w = TabWidth(p);
        if (i == TabIndex) {
            if (p == FActivePage) return RECT{x - 2, 0, x + w + 2, th + 2};
            return RECT{x, 2, x + w, th + 2};
        }
        x += w;
        ++i;
    }
    return RECT{0, 0, 0, 0};
}

int TPageControl::IndexOfTabAt(int X, int Y) {
    auto inside = [X, Y](const RECT& r) { return X >= r.left && X < r.right && Y >= r.top && Y < r.bottom; };
    // The active tab lies over its neighbours.
    const int active = FActivePage ? FActivePage->GetTabIndex() : -1;
    if (active >= 0 && inside(TabRect(active))) return active;
    for (int i = 0, n = TabCount(); i < n; ++i)
        if (inside(TabRect(i))) return i;
    return -1;
}

RECT TPageControl::GetDisplayRect() {
    RECT c = GetClientRect();
    const int th = GetTabHeight();
    RECT r{4, th + 6, c.right - 4, c.bottom - 4};
    r.right = std::max(r.left, r.right);
    r.bottom = std::max(r.top, r.bottom);
    return r;
}

bool TPageControl::HasFocusInside() const {
    HWND f = GetFocus();
    return FHandle && f && (f == FHandle || IsChild(FHandle, f));
}

void TPageControl::ShowPage(TTabSheet* Page) {
    if (Page == FActivePage) return;
    TTabSheet* old = FActivePage;
    const bool refocus = old && old->HandleAllocated() && HasFocusInside() && GetFocus() != FHandle;
    FActivePage = Page;
    // Only the active page is visible, so the pages keep their order among the windows
    // and a window laid over them stays above.
    if (Page) {
        Page->SetBoundsRect(GetDisplayRect());
        Page->SetVisible(true);
    }
    if (old) old->SetVisible(false);
    if (refocus && CanFocus() && HandleAllocated()) SetFocus();
    Invalidate();
}

bool TPageControl::CanChange() {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    return allow;
}

void TPageControl::Change() {
    if (OnChange) OnChange(this);
}

bool TPageControl::ChangeActivePage(TTabSheet* Page) {
    if (!Page || Page == FActivePage || !CanChange()) return false;
    ShowPage(Page);
    Change();
    return true;
}

void TPageControl::TabsChanged() { Invalidate(); }

void TPageControl::TabVisibilityChanged(TTabSheet* Page) {
    if (!Page->FTabVisible && Page == FActivePage)
        ShowPage(FindNextPage(Page, true, true));
    else if (Page->FTabVisible && !FActivePage)
        ShowPage(Page);
    TabsChanged();
}

void TPageControl::MovePage(TTabSheet* Page, int Index) {
    auto it = std::find(FPages.begin(), FPages.end(), Page);
    if (it == FPages.end()) return;
    FPages.erase(it);
    Index = std::clamp(Index, 0, GetPageCount());
    FPages.insert(FPages.begin() + Index, Page);
    TabsChanged();
}

void TPageControl::AlignControls() {
    TCustomControl::AlignControls();
    if (FAlignDisabled > 0 || HasState(csLoading) || HasState(csDestroying)) return;
    const RECT d = GetDisplayRect();
    for (TTabSheet* p : FPages) p->SetBoundsRect(d);
}

void TPageControl::InsertControl(TControl* c) {
    TCustomControl::InsertControl(c);
    if (!c->Is<TTabSheet>()) return;
    auto* sheet = static_cast<TTabSheet*>(c);
    sheet->FPageControl = this;
    if (std::find(FPages.begin(), FPages.end(), sheet) == FPages.end()) FPages.push_back(sheet);
    sheet->SetBoundsRect(GetDisplayRect());
    if (!FActivePage && sheet->FTabVisible)
        ShowPage(sheet);
    else if (sheet != FActivePage)
        sheet->SetVisible(false);
    TabsChanged();
}

void TPageControl::RemoveControl(TControl* c) {
    TTabSheet* next = nullptr;
    auto it = std::find(FPages.begin(), FPages.end(), c);
    if (it != FPages.end()) {
        auto* sheet = *it;
        const bool wasActive = sheet == FActivePage;
        TTabSheet* after = wasActive ? FindNextPage(sheet, true, true) : nullptr;
        FPages.erase(it);
        sheet->FPageControl = nullptr;
        if (wasActive) {
            FActivePage = nullptr;
            if (after != sheet && !FDestroying && !HasState(csDestroying)) next = after;
        }
    }
    TCustomControl::RemoveControl(c);
    if (next) ShowPage(next);
    if (!FDestroying && !HasState(csDestroying)) TabsChanged();
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        const int tab = IndexOfTabAt(X, Y);
        if (tab >= 0) {
            if (CanFocus() && HandleAllocated() && !Focused()) SetFocus();
            ChangeActivePage(TabPage(tab));
        }
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TPageControl::KeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    const int count = TabCount();
    const int current = FActivePage ? FActivePage->GetTabIndex() : -1;
    int target = -1;
    switch (Key) {
        case VK_LEFT:
        case VK_UP: target = current > 0 ? current - 1 : -1; break;
        case VK_RIGHT:
        case VK_DOWN: target = current + 1 < count ? current + 1 : -1; break;
        case VK_HOME: target = count > 0 ? 0 : -1; break;
        case VK_END: target = count - 1; break;
        default: return;
    }
    if (target >= 0 && target != current) ChangeActivePage(TabPage(target));
    Key = 0;
}

void TPageControl::FontChanged() {
    TCustomControl::FontChanged();
    AlignControls();
}

void TPageControl::Paint() {
    TCanvas* canvas = GetCanvas();
    HDC dc = canvas->GetHandle();
    const RECT c = GetClientRect();
    const int th = GetTabHeight();
    FillWith(dc, RECT{0, 0, c.right, th + 2}, FColor);
    RECT frame{0, th + 2, c.right, c.bottom};
    DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST);
    FillWith(dc, frame, FColor);

    HGDIOBJ oldFont = SelectObject(dc, FFont->GetHandle());
    const COLORREF oldColour = SetTextColor(dc, ControlColorToRGB(FEnabled ? FFont->GetColor() : clGrayText));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    auto drawTab = [&](TTabSheet* page, RECT r) {
        RECT text = r;
        if (page == FActivePage) r.bottom = th + 4;  // the active tab opens into the frame
        DrawEdge(dc, &r, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT | BF_SOFT | BF_ADJUST);
        FillWith(dc, r, FColor);
        const String caption = page->GetCaption();
        DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    };
    const int active = FActivePage ? FActivePage->GetTabIndex() : -1;
    for (int i = 0, n = TabCount(); i < n; ++i)
        if (i != active) drawTab(TabPage(i), TabRect(i));
    if (active >= 0) {
        const RECT r = TabRect(active);
        drawTab(FActivePage, r);
        if (Focused()) {
            // A dotted focus frame inside the active tab.
            const RECT f{r.left + 3, r.top + 3, r.right - 3, r.bottom - 1};
            const COLORREF ink = ControlColorToRGB(clWindowFrame);
            for (int x = f.left; x < f.right; ++x)
                for (int y : {static_cast<int>(f.top), static_cast<int>(f.bottom) - 1})
                    if (((x + y) & 1) == 0) SetPixel(dc, x, y, ink);
            for (int y = f.top; y < f.bottom; ++y)
                for (int x : {static_cast<int>(f.left), static_cast<int>(f.right) - 1})
                    if (((x + y) & 1) == 0) SetPixel(dc, x, y, ink);
        }
    }
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColour);
    SelectObject(dc, oldFont);
}

// ---- registration -------------------------------------------------------------------------------

void ControlsInternal::RegisterComCtrls() {
    const TClass& P = TPageControl::StaticClass();
    RegisterMessageHandler(P, WM_GETDLGCODE, [](TObject*, TMessage& m) { m.Result = DLGC_WANTARROWS; });
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages while the focus is inside the control.
    RegisterMessageHandler(P, CM_DIALOGKEY, [](TObject* self, TMessage& m) {
        auto* pc = static_cast<TPageControl*>(self);
        if (m.WParam == static_cast<uintptr_t>(VK_TAB) && GetKeyState(VK_CONTROL) < 0 && pc->HasFocusInside() &&
            pc->CanFocus()) {
            pc->SelectNextPage(GetKeyState(VK_SHIFT) >= 0);
            m.Result = 1;
            return;
        }
        InheritedDispatch(TPageControl::StaticClass(), self, m);
    });
    auto repaint = [](TObject* self, TMessage& m) {
        InheritedDispatch(TPageControl::StaticClass(), self, m);
        static_cast<TPageControl*>(self)->Invalidate();
    };
    RegisterMessageHandler(P, WM_SETFOCUS, repaint);
    RegisterMessageHandler(P, WM_KILLFOCUS, repaint);

    TPropInfo active;
    active.Name = "ActivePage";
    active.Kind = tkClass;
    active.TypeName = "TTabSheet";
    active.GetObject = [](const TObject* o) -> TObject* {
        return static_cast<const TPageControl*>(o)->GetActivePage();
    };
    active.SetObject = [](TObject* o, TObject* v) {
        if (v && !v->Is<TTabSheet>()) throw EPropertyError("ActivePage must be a tab sheet");
        static_cast<TPageControl*>(o)->SetActivePage(static_cast<TTabSheet*>(v));
    };
    DeclarePublished(P, {active});

    const TClass& S = TTabSheet::StaticClass();
    TPropInfo pageControl;
    pageControl.Name = "PageControl";
    pageControl.Kind = tkClass;
    pageControl.TypeName = "TPageControl";
    pageControl.Stored = false;
    pageControl.GetObject = [](const TObject* o) -> TObject* {
        return static_cast<const TTabSheet*>(o)->GetPageControl();
    };
    pageControl.SetObject = [](TObject* o, TObject* v) {
        if (v && !v->Is<TPageControl>()) throw EPropertyError("PageControl must be a page control");
        static_cast<TTabSheet*>(o)->SetPageControl(static_cast<TPageControl*>(v));
    };
    auto pageIndex =
        OrdProp<TTabSheet, int>("PageIndex", tkInteger, "Integer", &TTabSheet::GetPageIndex, &TTabSheet::SetPageIndex);
    pageIndex.Stored = false;
    DeclarePublished(
        S, {StrProp<TControl>("Caption", &TControl::GetCaption, &TControl::SetCaption), pageControl, pageIndex,
            BoolProp<TTabSheet>("TabVisible", &TTabSheet::GetTabVisible, &TTabSheet::SetTabVisible, true)});

    const TClass& T = TToolWindow::StaticClass();
    auto edgeStyle = [](const char* name, TEdgeStyle (TToolWindow::*get)() const, void (TToolWindow::*set)(TEdgeStyle),
                        TEdgeStyle def) {
        TPropInfo p = OrdProp<TToolWindow, TEdgeStyle>(name, tkEnumeration, "TEdgeStyle", get, set, def);
        p.EnumNames = {"esNone", "esRaised", "esLowered"};
        return p;
    };
    TPropInfo borders =
        OrdProp<TToolWindow, TEdgeBorders>("EdgeBorders", tkSet, "TEdgeBorders", &TToolWindow::GetEdgeBorders,
                                           &TToolWindow::SetEdgeBorders, AllEdgeBorders);
    borders.EnumNames = {"ebLeft", "ebTop", "ebRight", "ebBottom"};
    DeclarePublished(T,
                     {OrdProp<TWinControl, int>("BorderWidth", tkInteger, "TBorderWidth", &TWinControl::GetBorderWidth,
                                                &TWinControl::SetBorderWidth, 0),
                      borders, edgeStyle("EdgeInner", &TToolWindow::GetEdgeInner, &TToolWindow::SetEdgeInner, esRaised),
                      edgeStyle("EdgeOuter", &TToolWindow::GetEdgeOuter, &TToolWindow::SetEdgeOuter, esLowered)});
    RegisterClasses({&TToolWindow::StaticClass(), &TTabSheet::StaticClass(), &TPageControl::StaticClass()});
}

}  // namespace cl
