// TLabel and TButton.
#include "classlib/StdCtrls.h"

#include "classlib/Controls_internal.h"
#include "classlib/Forms.h"
#include "classlib/TypInfo.h"

namespace cl {

using namespace win;

namespace {

// Draws text with a font in a colour (transparent background), restoring the DC.
int DrawTextWith(HDC dc, TFont* font, COLORREF color, const String& text, RECT& r, UINT flags) {
    HGDIOBJ oldFont = SelectObject(dc, font->GetHandle());
    COLORREF oldColor = SetTextColor(dc, color);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    int h = DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
    SelectObject(dc, oldFont);
    return h;
}

}  // namespace

// ---- TLabel -----------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    ControlStyle |= csOpaque | csReplicatable;
    FWidth = 65;
    FHeight = 17;
    FAutoSize = true;
}

UINT TLabel::DrawTextFlags() const {
    UINT flags = DT_EXPANDTABS;
    if (FWordWrap) flags |= DT_WORDBREAK;
    switch (FAlignment) {
        case taRightJustify: flags |= DT_RIGHT; break;
        case taCenter: flags |= DT_CENTER; break;
        default: break;
    }
    if (!FShowAccelChar) flags |= DT_NOPREFIX;
    return flags;
}

void TLabel::Paint() {
    TCanvas* canvas = GetCanvas();
    RECT r = GetClientRect();
    if (!FTransparent) {
        canvas->GetBrush()->SetColor(FColor);
        canvas->GetBrush()->SetStyle(bsSolid);
        canvas->FillRect(r);
    }
    UINT flags = DrawTextFlags();
    if (FLayout != tlTop) {
        RECT calc = r;
        String t = FText.empty() ? String(" ") : FText;
        DrawTextWith(canvas->GetHandle(), FFont.get(), 0, t, calc, flags | DT_CALCRECT);
        int h = calc.bottom - calc.top;
        int offset = FLayout == tlBottom ? (r.bottom - r.top) - h : ((r.bottom - r.top) - h) / 2;
        r.top += offset;
    }
    HDC dc = canvas->GetHandle();
    if (!FEnabled) {
        RECT shifted{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
        DrawTextWith(dc, FFont.get(), ControlColorToRGB(clBtnHighlight), FText, shifted, flags);
        DrawTextWith(dc, FFont.get(), ControlColorToRGB(clBtnShadow), FText, r, flags);
    } else {
        DrawTextWith(dc, FFont.get(), ControlColorToRGB(FFont->GetColor()), FText, r, flags);
    }
}

bool TLabel::CanAutoSize(int& NewWidth, int& NewHeight) {
    if (HasState(csLoading)) return true;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return true;
    RECT r{0, 0, FWordWrap ? NewWidth : 0, 0};
    String t = FText;
    if (t.empty() || (FShowAccelChar && t == "&")) t += ' ';
    DrawTextWith(dc, FFont.get(), 0, t, r, DrawTextFlags() | DT_CALCRECT);
    DeleteDC(dc);
    if (!FWordWrap) NewWidth = r.right - r.left;
    NewHeight = r.bottom - r.top;
    return true;
}

void TLabel::AdjustBounds() {
    if (!FAutoSize || HasState(csLoading)) return;
    int w = FWidth, h = FHeight;
    CanAutoSize(w, h);
    int x = FLeft;
    if (FAlignment == taRightJustify && !FWordWrap) x += FWidth - w;
    FAutoSizing = true;
    SetBounds(x, FTop, w, h);
    FAutoSizing = false;
}

void TLabel::SetAutoSize(bool v) {
    if (FAutoSize == v) return;
    FAutoSize = v;
    AdjustBounds();
}

void TLabel::SetTransparent(bool v) {
    if (FTransparent == v) return;
    FTransparent = v;
    if (v)
        ControlStyle &= ~csOpaque;
    else
        ControlStyle |= csOpaque;
    Invalidate();
}

void TLabel::SetWordWrap(bool v) {
    if (FWordWrap == v) return;
    FWordWrap = v;
    AdjustBounds();
    Invalidate();
}

void TLabel::SetAlignment(TAlignment v) {
    if (FAlignment == v) return;
    FAlignment = v;
    Invalidate();
}

void TLabel::SetLayout(TTextLayout v) {
    if (FLayout == v) return;
    FLayout = v;
    Invalidate();
}

void TLabel::SetShowAccelChar(bool v) {
    if (FShowAccelChar == v) return;
    FShowAccelChar = v;
    AdjustBounds();
    Invalidate();
}

void TLabel::FontChanged() {
    AdjustBounds();
    Invalidate();
}

void TLabel::TextChanged() {
    AdjustBounds();
    Invalidate();
}

void TLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

// ---- TButton ----------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csOpaque;
    FWidth = 75;
    FHeight = 25;
    TabStop = true;
    FParentColor = false;
    FColor = clBtnFace;
}

void TButton::SetDefault(bool v) {
    if (FDefault == v) return;
    FDefault = v;
    Invalidate();
}

bool TButton::ActiveForEnter() const {
    TWinControl* focused = FindControl(GetFocus());
    if (focused == this) return true;
    if (focused && focused->Is<TButton>()) return false;
    return FDefault;
}

void TButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->ModalResult = ModalResult;
    TWinControl::Click();
}

void TButton::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    HBRUSH face = CreateSolidBrush(ControlColorToRGB(FColor));
    FillRect(dc, &r, face);
    DeleteObject(face);
    bool strong = FDefault || Focused();
    HBRUSH frame = CreateSolidBrush(ControlColorToRGB(strong ? cl3DDkShadow : clBtnShadow));
    FrameRect(dc, &r, frame);
    if (strong && r.right - r.left > 2 && r.bottom - r.top > 2) {
        RECT inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        FrameRect(dc, &inner, frame);
    }
    DeleteObject(frame);
    TColor textColor = FEnabled ? FFont->GetColor() : clGrayText;
    DrawTextWith(dc, FFont.get(), ControlColorToRGB(textColor), FText, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void ControlsInternal::RegisterStdCtrls() {
    const TClass& B = TButton::StaticClass();
    RegisterMessageHandler(B, CM_DIALOGKEY, [](TObject* self, TMessage& m) {
        auto* b = static_cast<TButton*>(self);
        bool enter = m.WParam == static_cast<uintptr_t>(VK_RETURN) && b->ActiveForEnter();
        bool escape = m.WParam == static_cast<uintptr_t>(VK_ESCAPE) && b->Cancel;
        if ((enter || escape) && (KeyboardShiftState() & (ssAlt | ssCtrl)) == 0 && b->CanFocus()) {
            b->Click();
            m.Result = 1;
            return;
        }
        InheritedDispatch(TButton::StaticClass(), self, m);
    });
    RegisterMessageHandler(B, WM_GETDLGCODE, [](TObject*, TMessage& m) { m.Result = 0; });
    RegisterMessageHandler(B, WM_KEYUP, [](TObject* self, TMessage& m) {
        auto* b = static_cast<TButton*>(self);
        if (m.WParam == static_cast<uintptr_t>(VK_SPACE)) {
            uint16_t key = VK_SPACE;
            if (!b->DoKeyUp(key, KeyboardShiftState()) && key) b->Click();
            return;
        }
        InheritedDispatch(TButton::StaticClass(), self, m);
    });
    auto repaint = [](TObject* self, TMessage& m) {
        auto* b = static_cast<TButton*>(self);
        InheritedDispatch(TButton::StaticClass(), self, m);
        b->Invalidate();
    };
    RegisterMessageHandler(B, WM_SETFOCUS, repaint);
    RegisterMessageHandler(B, WM_KILLFOCUS, repaint);

    auto caption = StrProp<TControl>("Caption", &TControl::GetCaption, &TControl::SetCaption);
    DeclarePublished(B, {caption, BoolProp("Default", &TButton::GetDefault, &TButton::SetDefault),
                         BoolField("Cancel", &TButton::Cancel),
                         OrdField<TButton, int>("ModalResult", tkInteger, "TModalResult", &TButton::ModalResult, 0)});

    const TClass& L = TLabel::StaticClass();
    auto lbool = [](const String& name, bool (TLabel::*get)() const, void (TLabel::*set)(bool), bool def) {
        TPropInfo p = OrdProp<TLabel, bool>(name, tkEnumeration, "Boolean", get, set, def ? 1 : 0);
        p.EnumNames = {"False", "True"};
        return p;
    };
    auto alignment = OrdProp<TLabel, TAlignment>("Alignment", tkEnumeration, "TAlignment", &TLabel::GetAlignment,
                                                 &TLabel::SetAlignment, taLeftJustify);
    alignment.EnumNames = {"taLeftJustify", "taRightJustify", "taCenter"};
    auto layout = OrdProp<TLabel, TTextLayout>("Layout", tkEnumeration, "TTextLayout", &TLabel::GetLayout,
                                               &TLabel::SetLayout, tlTop);
    layout.EnumNames = {"tlTop", "tlCenter", "tlBottom"};
    TPropInfo autoSize = OrdProp<TControl, bool>("AutoSize", tkEnumeration, "Boolean", &TControl::GetAutoSize,
                                                 &TControl::SetAutoSize, 1);
    autoSize.EnumNames = {"False", "True"};
    DeclarePublished(L, {caption, alignment, autoSize, layout,
                         lbool("ShowAccelChar", &TLabel::GetShowAccelChar, &TLabel::SetShowAccelChar, true),
                         lbool("Transparent", &TLabel::GetTransparent, &TLabel::SetTransparent, false),
                         lbool("WordWrap", &TLabel::GetWordWrap, &TLabel::SetWordWrap, false)});
    RegisterClasses({&TLabel::StaticClass(), &TButton::StaticClass()});
}

}  // namespace cl
