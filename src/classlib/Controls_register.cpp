// The message handlers and published properties of TControl, TWinControl, TGraphicControl
// and the forms.
#include <mutex>

#include "classlib/Controls_internal.h"
#include "classlib/Forms.h"
#include "classlib/TypInfo.h"

namespace cl {

using namespace win;

namespace {

POINT MousePos(const TMessage& m) { return POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)}; }

}  // namespace

// ---- TControl, TWinControl, TGraphicControl ---------------------------------------------------

void ControlsInternal::RegisterControls() {
    const TClass& C = TControl::StaticClass();
    RegisterMessageHandler(C, WM_LBUTTONDOWN, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        if (c->ControlStyle & csCaptureMouse) c->SetMouseCapture(true);
        if (c->ControlStyle & csClickEvents) c->ControlState |= csClicked;
        c->ControlState |= csLButtonDown;
        POINT p = MousePos(m);
        c->MouseDown(mbLeft, KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_LBUTTONUP, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        if (c->ControlStyle & csCaptureMouse) c->SetMouseCapture(false);
        c->ControlState &= ~csLButtonDown;
        POINT p = MousePos(m);
        if (c->ControlState & csClicked) {
            c->ControlState &= ~csClicked;
            RECT r = c->GetClientRect();
            if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) c->Click();
        }
        c->MouseUp(mbLeft, KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_LBUTTONDBLCLK, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        if (c->ControlStyle & csCaptureMouse) c->SetMouseCapture(true);
        if (c->ControlStyle & csDoubleClicks) c->DblClick();
        POINT p = MousePos(m);
        c->MouseDown(mbLeft, KeysToShiftState(m.WParam) | ssDouble, p.x, p.y);
    });
    RegisterMessageHandler(C, WM_RBUTTONDOWN, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseDown(mbRight, KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_RBUTTONDBLCLK, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseDown(mbRight, KeysToShiftState(m.WParam) | ssDouble, p.x, p.y);
    });
    RegisterMessageHandler(C, WM_RBUTTONUP, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseUp(mbRight, KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_MBUTTONDOWN, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseDown(mbMiddle, KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_MBUTTONDBLCLK, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseDown(mbMiddle, KeysToShiftState(m.WParam) | ssDouble, p.x, p.y);
    });
    RegisterMessageHandler(C, WM_MBUTTONUP, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseUp(mbMiddle, KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_MOUSEMOVE, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        POINT p = MousePos(m);
        c->MouseMove(KeysToShiftState(m.WParam), p.x, p.y);
    });
    RegisterMessageHandler(C, WM_MOUSEWHEEL, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TControl*>(self);
        TShiftState shift = KeysToShiftState(LOWORD(m.WParam));
        int delta = static_cast<SHORT>(HIWORD(m.WParam));
        if (c->DoMouseWheel(shift, delta, MousePos(m))) {
            m.Result = 1;
            return;
        }
        c->DefaultHandler(m);  // windows pass it on to their parent
    });
    RegisterMessageHandler(C, CM_INVALIDATE, [](TObject* self, TMessage&) {
        auto* c = static_cast<TControl*>(self);
        c->InvalidateControl(c->GetVisible(), (c->ControlStyle & csOpaque) != 0);
    });
    RegisterMessageHandler(C, CM_MOUSEENTER, [](TObject* self, TMessage&) {
        auto* c = static_cast<TControl*>(self);
        if (c->OnMouseEnter) c->OnMouseEnter(c);
    });
    RegisterMessageHandler(C, CM_MOUSELEAVE, [](TObject* self, TMessage&) {
        auto* c = static_cast<TControl*>(self);
        if (c->OnMouseLeave) c->OnMouseLeave(c);
    });
    RegisterMessageHandler(C, CM_PARENTCOLORCHANGED, [](TObject* self, TMessage&) {
        auto* c = static_cast<TControl*>(self);
        if (c->FParentColor && c->FParent) {
            c->SetColor(c->FParent->GetColor());
            c->FParentColor = true;
        }
    });
    RegisterMessageHandler(C, CM_PARENTFONTCHANGED, [](TObject* self, TMessage&) {
        auto* c = static_cast<TControl*>(self);
        if (c->FParentFont && c->FParent) {
            c->FSettingParentFont = true;
            c->FFont->Assign(c->FParent->GetFont());
            c->FSettingParentFont = false;
        }
    });
    RegisterMessageHandler(C, CM_COLORCHANGED,
                           [](TObject* self, TMessage&) { static_cast<TControl*>(self)->ColorChanged(); });
    RegisterMessageHandler(C, CM_FONTCHANGED,
                           [](TObject* self, TMessage&) { static_cast<TControl*>(self)->FontChanged(); });
    RegisterMessageHandler(C, CM_TEXTCHANGED,
                           [](TObject* self, TMessage&) { static_cast<TControl*>(self)->TextChanged(); });

    // Windowed controls.
    const TClass& W = TWinControl::StaticClass();
    RegisterMessageHandler(W, WM_PAINT,
                           [](TObject* self, TMessage& m) { static_cast<TWinControl*>(self)->PaintHandler(m); });
    RegisterMessageHandler(W, WM_ERASEBKGND, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        if (c->DoubleBuffered) {
            m.Result = 1;
            return;
        }
        HDC dc = reinterpret_cast<HDC>(m.WParam);
        if (!dc) return;
        RECT r = c->GetClientRect();
        FillRect(dc, &r, c->GetBrush()->GetHandle());
        m.Result = 1;
    });
    RegisterMessageHandler(W, WM_NCPAINT,
                           [](TObject* self, TMessage& m) { static_cast<TWinControl*>(self)->NCPaintHandler(m); });
    RegisterMessageHandler(W, WM_NCCALCSIZE,
                           [](TObject* self, TMessage& m) { static_cast<TWinControl*>(self)->NCCalcSizeHandler(m); });
    auto readBack = [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        c->DefaultHandler(m);
        c->UpdateBoundsFromWindow();
    };
    RegisterMessageHandler(W, WM_SIZE, readBack);
    RegisterMessageHandler(W, WM_MOVE, readBack);
    RegisterMessageHandler(W, WM_WINDOWPOSCHANGED, readBack);
    RegisterMessageHandler(W, WM_SETCURSOR, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        if (reinterpret_cast<HWND>(m.WParam) == c->FHandle &&
            static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(m.LParam))) == HTCLIENT) {
            TCursor cur = Screen ? Screen->GetCursor() : crDefault;
            if (cur == crDefault) {
                POINT p;
                win::GetCursorPos(&p);
                ::win::ScreenToClient(c->FHandle, &p);
                if (TControl* g = c->ControlAtPos(p, false)) cur = g->GetCursor();
                if (cur == crDefault) cur = c->GetCursor();
            }
            if (cur != crDefault && Screen) {
                ::win::SetCursor(Screen->Cursors(cur));
                m.Result = 1;
                return;
            }
        }
        c->DefaultHandler(m);
    });
    auto keyDown = [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        uint16_t key = static_cast<uint16_t>(m.WParam);
        if (c->DoKeyDown(key, KeyboardShiftState())) return;
        m.WParam = key;
        c->DefaultHandler(m);
    };
    RegisterMessageHandler(W, WM_KEYDOWN, keyDown);
    RegisterMessageHandler(W, WM_SYSKEYDOWN, keyDown);
    auto keyUp = [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        uint16_t key = static_cast<uint16_t>(m.WParam);
        if (c->DoKeyUp(key, KeyboardShiftState())) return;
        m.WParam = key;
        c->DefaultHandler(m);
    };
    RegisterMessageHandler(W, WM_KEYUP, keyUp);
    RegisterMessageHandler(W, WM_SYSKEYUP, keyUp);
    RegisterMessageHandler(W, WM_CHAR, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        char ch = static_cast<char>(m.WParam);
        if (c->DoKeyPress(ch)) return;
        c->DefaultHandler(m);
    });
    // Keys before dispatch: Tab, arrows, Enter and Escape go to the form as dialog keys
    // unless the control wants them.
    auto cnKey = [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        m.Result = 1;
        LRESULT mask = 0;
        switch (m.WParam) {
            case VK_TAB: mask = DLGC_WANTTAB; break;
            case VK_LEFT:
            case VK_RIGHT:
            case VK_UP:
            case VK_DOWN: mask = DLGC_WANTARROWS; break;
            case VK_RETURN:
            case VK_ESCAPE: mask = DLGC_WANTALLKEYS; break;
            default: break;
        }
        if (mask && c->Perform(CM_WANTSPECIALKEY, m.WParam, m.LParam) == 0 && (c->Perform(WM_GETDLGCODE) & mask) == 0) {
            TCustomForm* form = GetParentForm(c);
            if (form && form->Perform(CM_DIALOGKEY, m.WParam, m.LParam) != 0) return;
        }
        m.Result = 0;
    };
    RegisterMessageHandler(W, CN_KEYDOWN, cnKey);
    RegisterMessageHandler(W, CN_SYSKEYDOWN, [](TObject*, TMessage& m) { m.Result = 0; });
    RegisterMessageHandler(W, CM_DIALOGKEY, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        std::vector<TControl*> children(c->FControls);
        for (TControl* child : children) {
            if (child->Perform(CM_DIALOGKEY, m.WParam, m.LParam) != 0) {
                m.Result = 1;
                return;
            }
        }
    });
    RegisterMessageHandler(W, CM_INVALIDATE, [](TObject* self, TMessage&) {
        auto* c = static_cast<TWinControl*>(self);
        if (c->FHandle) InvalidateRect(c->FHandle, nullptr, (c->ControlStyle & csOpaque) ? FALSE : TRUE);
    });
    RegisterMessageHandler(W, CM_COLORCHANGED, [](TObject* self, TMessage&) {
        auto* c = static_cast<TWinControl*>(self);
        c->ColorChanged();
        std::vector<TControl*> children(c->FControls);
        for (TControl* child : children) child->Perform(CM_PARENTCOLORCHANGED);
    });
    RegisterMessageHandler(W, CM_FONTCHANGED, [](TObject* self, TMessage&) {
        auto* c = static_cast<TWinControl*>(self);
        c->FontChanged();
        std::vector<TControl*> children(c->FControls);
        for (TControl* child : children) child->Perform(CM_PARENTFONTCHANGED);
    });
    RegisterMessageHandler(W, WM_CAPTURECHANGED, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        c->CaptureLost();
        c->DefaultHandler(m);
    });
    RegisterMessageHandler(W, WM_SETFOCUS, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        c->DefaultHandler(m);
        TCustomForm* form = GetParentForm(c);
        if (form && form != c) form->FActiveControl = c;
        if (c->OnEnter) c->OnEnter(c);
    });
    RegisterMessageHandler(W, WM_KILLFOCUS, [](TObject* self, TMessage& m) {
        auto* c = static_cast<TWinControl*>(self);
        c->DefaultHandler(m);
        if (c->OnExit) c->OnExit(c);
    });

    RegisterMessageHandler(TGraphicControl::StaticClass(), WM_PAINT, [](TObject* self, TMessage& m) {
        if (m.WParam) static_cast<TGraphicControl*>(self)->PaintWith(reinterpret_cast<HDC>(m.WParam));
    });

    // Published properties.
    auto left = OrdProp<TControl, int>("Left", tkInteger, "Integer", &TControl::GetLeft, &TControl::SetLeft);
    auto top = OrdProp<TControl, int>("Top", tkInteger, "Integer", &TControl::GetTop, &TControl::SetTop);
    auto width = OrdProp<TControl, int>("Width", tkInteger, "Integer", &TControl::GetWidth, &TControl::SetWidth);
    auto height = OrdProp<TControl, int>("Height", tkInteger, "Integer", &TControl::GetHeight, &TControl::SetHeight);
    auto align =
        EnumProp<TControl, TAlign>("Align", "TAlign", &TControl::GetAlign, &TControl::SetAlign, alNone,
                                   {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"});
    auto anchors = SetProp<TControl, TAnchors>("Anchors", "TAnchors", &TControl::GetAnchors, &TControl::SetAnchors,
                                               DefaultAnchors, {"akLeft", "akTop", "akRight", "akBottom"});
    auto color = OrdProp<TControl, TColor>("Color", tkInteger, "TColor", &TControl::GetColor, &TControl::SetColor);
    auto cursor = OrdProp<TControl, TCursor>("Cursor", tkInteger, "TCursor", &TControl::GetCursor, &TControl::SetCursor,
                                             crDefault);
    TPropInfo font;
    font.Name = "Font";
    font.Kind = tkClass;
    font.TypeName = "TFont";
    font.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TControl*>(o)->GetFont(); };
    font.SetObject = [](TObject* o, TObject* v) {
        static_cast<TControl*>(o)->SetFont(v && v->Is<TFont>() ? static_cast<TFont*>(v) : nullptr);
    };
    TPropInfo hint;
    hint.Name = "Hint";
    hint.Kind = tkLString;
    hint.TypeName = "string";
    hint.GetStr = [](const TObject* o) { return static_cast<const TControl*>(o)->Hint; };
    hint.SetStr = [](TObject* o, const String& v) { static_cast<TControl*>(o)->Hint = v; };
    TPropInfo constraints;
    constraints.Name = "Constraints";
    constraints.Kind = tkClass;
    constraints.TypeName = "TSizeConstraints";
    constraints.GetObject = [](const TObject* o) -> TObject* {
        return static_cast<const TControl*>(o)->GetConstraints();
    };
    DeclarePublished(
        TSizeConstraints::StaticClass(),
        {OrdProp<TSizeConstraints, int>("MaxHeight", tkInteger, "TConstraintSize", &TSizeConstraints::GetMaxHeight,
                                        &TSizeConstraints::SetMaxHeight, 0),
         OrdProp<TSizeConstraints, int>("MaxWidth", tkInteger, "TConstraintSize", &TSizeConstraints::GetMaxWidth,
                                        &TSizeConstraints::SetMaxWidth, 0),
         OrdProp<TSizeConstraints, int>("MinHeight", tkInteger, "TConstraintSize", &TSizeConstraints::GetMinHeight,
                                        &TSizeConstraints::SetMinHeight, 0),
         OrdProp<TSizeConstraints, int>("MinWidth", tkInteger, "TConstraintSize", &TSizeConstraints::GetMinWidth,
                                        &TSizeConstraints::SetMinWidth, 0)});
    DeclarePublished(C, {left, top, width, height, align, anchors, color, constraints, cursor, font,
                         BoolProp<TControl>("ParentColor", &TControl::GetParentColor, &TControl::SetParentColor, true),
                         BoolProp<TControl>("ParentFont", &TControl::GetParentFont, &TControl::SetParentFont, true),
                         BoolProp<TControl>("Visible", &TControl::GetVisible, &TControl::SetVisible, true),
                         BoolProp<TControl>("Enabled", &TControl::GetEnabled, &TControl::SetEnabled, true), hint,
                         BoolField<TControl>("ShowHint", &TControl::ShowHint, false)});
    DeclarePublished(W, {BoolField<TWinControl>("TabStop", &TWinControl::TabStop, false),
                         OrdField<TWinControl, int>("TabOrder", tkInteger, "TTabOrder", &TWinControl::TabOrder, -1),
                         BoolField<TWinControl>("DoubleBuffered", &TWinControl::DoubleBuffered, false)});
}

// ---- forms ---------------------------------------------------------------------------------------

void ControlsInternal::RegisterForms() {
    const TClass& F = TCustomForm::StaticClass();
    RegisterMessageHandler(F, WM_ACTIVATE, [](TObject* self, TMessage& m) {
        auto* f = static_cast<TCustomForm*>(self);
        f->DoActivate(LOWORD(m.WParam) != WA_INACTIVE);
    });
    // A main form whose window is destroyed from outside (the host of a preview went away)
    // ends the application.
    RegisterMessageHandler(F, WM_DESTROY, [](TObject* self, TMessage& m) {
        auto* f = static_cast<TCustomForm*>(self);
        f->DefaultHandler(m);
        if (!(f->ControlState & csDestroyingHandle) && !f->HasState(csDestroying) && Application &&
            Application->GetMainForm() == f)
            Application->Terminate();
    });
    RegisterMessageHandler(F, WM_CLOSE, [](TObject* self, TMessage&) { static_cast<TCustomForm*>(self)->Close(); });
    RegisterMessageHandler(F, CM_RELEASE, [](TObject* self, TMessage&) { self->Free(); });
    RegisterMessageHandler(F, WM_SETFOCUS, [](TObject* self, TMessage& m) {
        auto* f = static_cast<TCustomForm*>(self);
        f->DefaultHandler(m);
        if (f->OnEnter) f->OnEnter(f);
    });

    auto caption = StrProp<TControl>("Caption", &TControl::GetCaption, &TControl::SetCaption);
    auto cw = OrdProp<TControl, int>("ClientWidth", tkInteger, "Integer", &TControl::GetClientWidth,
                                     &TControl::SetClientWidth);
    auto ch = OrdProp<TControl, int>("ClientHeight", tkInteger, "Integer", &TControl::GetClientHeight,
                                     &TControl::SetClientHeight);
    cw.Stored = ch.Stored = false;
    auto border = EnumProp<TCustomForm, TFormBorderStyle>(
        "BorderStyle", "TFormBorderStyle", &TCustomForm::GetBorderStyle, &TCustomForm::SetBorderStyle, bsSizeable,
        {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"});
    auto icons = SetProp<TCustomForm, TBorderIcons>(
        "BorderIcons", "TBorderIcons", &TCustomForm::GetBorderIcons, &TCustomForm::SetBorderIcons,
        BorderIconBit(biSystemMenu) | BorderIconBit(biMinimize) | BorderIconBit(biMaximize),
        {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"});
    auto style = EnumProp<TCustomForm, TFormStyle>("FormStyle", "TFormStyle", &TCustomForm::GetFormStyle,
                                                   &TCustomForm::SetFormStyle, fsNormal,
                                                   {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"});
    auto state = EnumProp<TCustomForm, TWindowState>("WindowState", "TWindowState", &TCustomForm::GetWindowState,
                                                     &TCustomForm::SetWindowState, wsNormal,
                                                     {"wsNormal", "wsMinimized", "wsMaximized"});
    auto position = EnumField<TCustomForm, TPosition>(
        "Position", "TPosition", &TCustomForm::Position, poDesigned,
        {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter", "poDesktopCenter",
         "poMainFormCenter", "poOwnerFormCenter"});
    TPropInfo active;
    active.Name = "ActiveControl";
    active.Kind = tkClass;
    active.TypeName = "TWinControl";
    active.GetObject = [](const TObject* o) -> TObject* {
        return static_cast<const TCustomForm*>(o)->GetActiveControl();
    };
    active.SetObject = [](TObject* o, TObject* v) {
        if (v && !v->Is<TWinControl>()) throw EPropertyError("ActiveControl must be a windowed control");
        static_cast<TCustomForm*>(o)->SetActiveControl(static_cast<TWinControl*>(v));
    };
    auto barStyle = EnumProp<TControlScrollBar, TScrollBarStyle>(
        "Style", "TScrollBarStyle", &TControlScrollBar::GetStyle, &TControlScrollBar::SetStyle, ssRegular,
        {"ssRegular", "ssFlat", "ssHotTrack"});
    DeclarePublished(TControlScrollBar::StaticClass(),
                     {barStyle, BoolProp<TControlScrollBar>("Visible", &TControlScrollBar::GetVisible,
                                                            &TControlScrollBar::SetVisible, true)});
    auto bar = [](const char* name, TControlScrollBar* (TScrollingWinControl::*get)() const) {
        TPropInfo p;
        p.Name = name;
        p.Kind = tkClass;
        p.TypeName = "TControlScrollBar";
        p.GetObject = [get](const TObject* o) -> TObject* {
            return (static_cast<const TScrollingWinControl*>(o)->*get)();
        };
        return p;
    };
    DeclarePublished(TScrollingWinControl::StaticClass(),
                     {bar("HorzScrollBar", &TScrollingWinControl::GetHorzScrollBar),
                      bar("VertScrollBar", &TScrollingWinControl::GetVertScrollBar)});
    DeclarePublished(F, {caption, cw, ch, border, icons, style, state, position,
                         BoolField<TCustomForm>("KeyPreview", &TCustomForm::KeyPreview, false), active});
}

void RegisterControlClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        ControlsInternal::RegisterControls();
        ControlsInternal::RegisterForms();
        ControlsInternal::RegisterStdCtrls();
        ControlsInternal::RegisterExtCtrls();
        ControlsInternal::RegisterComCtrls();
        ControlsInternal::RegisterOleCtrls();
        ControlsInternal::RegisterDialogs();
        RegisterClasses({&TControl::StaticClass(), &TWinControl::StaticClass(), &TGraphicControl::StaticClass(),
                         &TCustomControl::StaticClass(), &TScrollingWinControl::StaticClass(),
                         &TCustomForm::StaticClass(), &TForm::StaticClass()});
    });
}

}  // namespace cl
