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
    HGDIOBJ oldFont = SelectObject(dc, font->Handle());
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
    width_ = 65;
    height_ = 17;
    autoSize_ = true;
}

UINT TLabel::DrawTextFlags() const {
    UINT flags = DT_EXPANDTABS;
    if (wordWrap_) flags |= DT_WORDBREAK;
    switch (alignment_) {
    case taRightJustify: flags |= DT_RIGHT; break;
    case taCenter: flags |= DT_CENTER; break;
    default: break;
    }
    if (!showAccelChar_) flags |= DT_NOPREFIX;
    return flags;
}

void TLabel::Paint() {
    TCanvas* canvas = Canvas();
    RECT r = ClientRect();
    if (!transparent_) {
        canvas->Brush()->SetColor(color_);
        canvas->Brush()->SetStyle(bsSolid);
        canvas->FillRect(r);
    }
    UINT flags = DrawTextFlags();
    if (layout_ != tlTop) {
        RECT calc = r;
        String t = text_.empty() ? String(" ") : text_;
        DrawTextWith(canvas->Handle(), font_, 0, t, calc, flags | DT_CALCRECT);
        int h = calc.bottom - calc.top;
        int offset = layout_ == tlBottom ? (r.bottom - r.top) - h : ((r.bottom - r.top) - h) / 2;
        r.top += offset;
    }
    HDC dc = canvas->Handle();
    if (!enabled_) {
        RECT shifted{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
        DrawTextWith(dc, font_, ControlColorToRGB(clBtnHighlight), text_, shifted, flags);
        DrawTextWith(dc, font_, ControlColorToRGB(clBtnShadow), text_, r, flags);
    } else {
        DrawTextWith(dc, font_, ControlColorToRGB(font_->Color()), text_, r, flags);
    }
}

bool TLabel::CanAutoSize(int& NewWidth, int& NewHeight) {
    if (HasState(csLoading)) return true;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return true;
    RECT r{0, 0, wordWrap_ ? NewWidth : 0, 0};
    String t = text_;
    if (t.empty() || (showAccelChar_ && t == "&")) t += ' ';
    DrawTextWith(dc, font_, 0, t, r, DrawTextFlags() | DT_CALCRECT);
    DeleteDC(dc);
    if (!wordWrap_) NewWidth = r.right - r.left;
    NewHeight = r.bottom - r.top;
    return true;
}

void TLabel::AdjustBounds() {
    if (!autoSize_ || HasState(csLoading)) return;
    int w = width_, h = height_;
    CanAutoSize(w, h);
    int x = left_;
    if (alignment_ == taRightJustify && !wordWrap_) x += width_ - w;
    autoSizing_ = true;
    SetBounds(x, top_, w, h);
    autoSizing_ = false;
}

void TLabel::SetAutoSize(bool v) {
    if (autoSize_ == v) return;
    autoSize_ = v;
    AdjustBounds();
}

void TLabel::SetTransparent(bool v) {
    if (transparent_ == v) return;
    transparent_ = v;
    if (v)
        ControlStyle &= ~csOpaque;
    else
        ControlStyle |= csOpaque;
    Invalidate();
}

void TLabel::SetWordWrap(bool v) {
    if (wordWrap_ == v) return;
    wordWrap_ = v;
    AdjustBounds();
    Invalidate();
}

void TLabel::SetAlignment(TAlignment v) {
    if (alignment_ == v) return;
    alignment_ = v;
    Invalidate();
}

void TLabel::SetLayout(TTextLayout v) {
    if (layout_ == v) return;
    layout_ = v;
    Invalidate();
}

void TLabel::SetShowAccelChar(bool v) {
    if (showAccelChar_ == v) return;
    showAccelChar_ = v;
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
    width_ = 75;
    height_ = 25;
    tabStop_ = true;
    parentColor_ = false;
    color_ = clBtnFace;
}

void TButton::SetDefault(bool v) {
    if (default_ == v) return;
    default_ = v;
    Invalidate();
}

bool TButton::ActiveForEnter() const {
    TWinControl* focused = FindControl(GetFocus());
    if (focused == this) return true;
    if (focused && focused->Is<TButton>()) return false;
    return default_;
}

void TButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
    TWinControl::Click();
}

void TButton::PaintWindow(HDC dc) {
    RECT r = ClientRect();
    HBRUSH face = CreateSolidBrush(ControlColorToRGB(color_));
    FillRect(dc, &r, face);
    DeleteObject(face);
    bool strong = default_ || Focused();
    HBRUSH frame = CreateSolidBrush(ControlColorToRGB(strong ? cl3DDkShadow : clBtnShadow));
    FrameRect(dc, &r, frame);
    if (strong && r.right - r.left > 2 && r.bottom - r.top > 2) {
        RECT inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        FrameRect(dc, &inner, frame);
    }
    DeleteObject(frame);
    TColor textColor = enabled_ ? font_->Color() : clGrayText;
    DrawTextWith(dc, font_, ControlColorToRGB(textColor), text_, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void ControlsInternal::RegisterStdCtrls() {
    const TClass& B = TButton::StaticClass();
    RegisterMessageHandler(B, CM_DIALOGKEY, [](TObject* self, TMessage& m) {
        auto* b = static_cast<TButton*>(self);
        bool enter = m.WParam == static_cast<uintptr_t>(VK_RETURN) && b->ActiveForEnter();
        bool escape = m.WParam == static_cast<uintptr_t>(VK_ESCAPE) && b->cancel_;
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

    auto caption = StrProp<TControl>("Caption", &TControl::Caption, &TControl::SetCaption);
    DeclarePublished(B, {caption, BoolProp("Default", &TButton::Default, &TButton::SetDefault),
                         BoolProp("Cancel", &TButton::Cancel, &TButton::SetCancel),
                         OrdProp<TButton, int>("ModalResult", tkInteger, "TModalResult", &TButton::ModalResult,
                                               &TButton::SetModalResult, 0)});

    const TClass& L = TLabel::StaticClass();
    auto lbool = [](const String& name, bool (TLabel::*get)() const, void (TLabel::*set)(bool), bool def) {
        TPropInfo p = OrdProp<TLabel, bool>(name, tkEnumeration, "Boolean", get, set, def ? 1 : 0);
        p.EnumNames = {"False", "True"};
        return p;
    };
    auto alignment = OrdProp<TLabel, TAlignment>("Alignment", tkEnumeration, "TAlignment", &TLabel::Alignment,
                                                 &TLabel::SetAlignment, taLeftJustify);
    alignment.EnumNames = {"taLeftJustify", "taRightJustify", "taCenter"};
    auto layout = OrdProp<TLabel, TTextLayout>("Layout", tkEnumeration, "TTextLayout", &TLabel::Layout,
                                               &TLabel::SetLayout, tlTop);
    layout.EnumNames = {"tlTop", "tlCenter", "tlBottom"};
    TPropInfo autoSize = OrdProp<TControl, bool>("AutoSize", tkEnumeration, "Boolean", &TControl::AutoSize,
                                                 &TControl::SetAutoSize, 1);
    autoSize.EnumNames = {"False", "True"};
    DeclarePublished(L, {caption, alignment, autoSize, layout,
                         lbool("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar, true),
                         lbool("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false),
                         lbool("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap, false)});
    RegisterClasses({&TLabel::StaticClass(), &TButton::StaticClass()});
}

}  // namespace cl
