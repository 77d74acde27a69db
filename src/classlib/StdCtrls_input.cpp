// TEdit, TCheckBox, TComboBox and TGroupBox.
#include <algorithm>

#include "classlib/StdCtrls.h"

namespace cl {

using namespace win;

namespace {

void DrawCaption(HDC dc, TFont* font, TColor color, const String& text, RECT r, UINT flags) {
    HGDIOBJ oldFont = SelectObject(dc, font->GetHandle());
    COLORREF oldColor = SetTextColor(dc, ControlColorToRGB(color));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
    SelectObject(dc, oldFont);
}

void Fill(HDC dc, const RECT& r, TColor c) {
    HBRUSH b = CreateSolidBrush(ControlColorToRGB(c));
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void Frame(HDC dc, const RECT& r, TColor c) {
    HBRUSH b = CreateSolidBrush(ControlColorToRGB(c));
    FrameRect(dc, &r, b);
    DeleteObject(b);
}

// The sunken frame of text boxes and list boxes.
void SunkenFrame(HDC dc, const RECT& r) {
    Frame(dc, r, clBtnShadow);
    if (r.right - r.left > 2 && r.bottom - r.top > 2)
        Frame(dc, RECT{r.left + 1, r.top + 1, r.right, r.bottom}, clBtnFace);
}

void AnswerDialogCode(TMessage& Message, LRESULT Code) { Message.Result = Code; }

}  // namespace

// ---- TEdit ------------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FWidth = 121;
    FHeight = 21;
    TabStop = true;
    FParentColor = false;
    FColor = clWindow;
}

void TEdit::WndProc(TMessage& Message) {
    if (Message.Msg == WM_GETDLGCODE) return AnswerDialogCode(Message, DLGC_WANTARROWS | DLGC_WANTCHARS);
    TWinControl::WndProc(Message);
}

void TEdit::TextChanged() {
    TWinControl::TextChanged();
    if (OnChange) OnChange(this);
}

void TEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    if (Key == VK_BACK && !ReadOnly) {
        Key = 0;
        if (!FText.empty()) {
            // Takes off one whole UTF-8 character.
            size_t n = FText.size() - 1;
            while (n > 0 && (static_cast<unsigned char>(FText[n]) & 0xC0) == 0x80) --n;
            SetText(FText.substr(0, n));
        }
    }
}

void TEdit::KeyPress(char& Key) {
    TWinControl::KeyPress(Key);
    if (ReadOnly || static_cast<unsigned char>(Key) < 0x20 || Key == 0x7F) return;
    if (MaxLength > 0 && static_cast<int>(FText.size()) >= MaxLength) return;
    SetText(FText + Key);
    Key = 0;
}

void TEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft && CanFocus() && HandleAllocated() && !Focused()) SetFocus();
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TEdit::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    Fill(dc, r, FEnabled ? FColor : clBtnFace);
    if (Border) SunkenFrame(dc, r);
    RECT t = Border ? RECT{r.left + 3, r.top + 1, r.right - 2, r.bottom - 1} : r;
    DrawCaption(dc, FFont.get(), FEnabled ? FFont->GetColor() : clGrayText, FText, t,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// ---- TCheckBox --------------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FWidth = 97;
    FHeight = 17;
    TabStop = true;
}

void TCheckBox::SetChecked(bool v) {
    if (FChecked == v) return;
    FChecked = v;
    Invalidate();
    TWinControl::Click();
}

void TCheckBox::Click() { Toggle(); }

void TCheckBox::KeyUp(uint16_t& Key, TShiftState Shift) {
    TWinControl::KeyUp(Key, Shift);
    if (Key == VK_SPACE) {
        Key = 0;
        Toggle();
    }
}

void TCheckBox::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    Fill(dc, r, FColor);
    const int box = 13;
    const int top = std::max(0, (static_cast<int>(r.bottom) - box) / 2);
    RECT b{0, top, box, top + box};
    Fill(dc, b, FEnabled ? clWindow : clBtnFace);
    Frame(dc, b, clBtnShadow);
    if (FChecked) {
        // A tick of three short strokes.
        HPEN pen = CreatePen(PS_SOLID, 1, ControlColorToRGB(FEnabled ? clWindowText : clGrayText));
        HGDIOBJ old = SelectObject(dc, pen);
        for (int d = 0; d < 3; ++d) {
            MoveToEx(dc, 3, top + 5 + d, nullptr);
            LineTo(dc, 5, top + 7 + d);
            LineTo(dc, 10, top + 2 + d);
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    RECT t{box + 4, r.top, r.right, r.bottom};
    DrawCaption(dc, FFont.get(), FEnabled ? FFont->GetColor() : clGrayText, FText, t,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (Focused()) Frame(dc, RECT{box + 2, r.top, r.right, r.bottom}, clBtnShadow);
}

// ---- TComboBox --------------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner), FItems(std::make_unique<TStringList>()) {
    ControlStyle = csCaptureMouse | csSetCaption | csDoubleClicks;
    FWidth = 145;
    FHeight = 21;
    TabStop = true;
    FParentColor = false;
    FColor = clWindow;
}

TComboBox::~TComboBox() = default;

void TComboBox::SetItemIndex(int v) {
    if (v < -1 || v >= FItems->GetCount()) v = -1;
    if (v == FItemIndex) return;
    FItemIndex = v;
    Invalidate();
}

String TComboBox::GetSelectedText() const {
    return FItemIndex >= 0 && FItemIndex < FItems->GetCount() ? FItems->Strings(FItemIndex) : String();
}

void TComboBox::SelectAsUser(int Index) {
    if (Index < 0 || Index >= FItems->GetCount()) return;
    const bool changed = Index != FItemIndex;
    SetItemIndex(Index);
    TWinControl::Click();
    if (changed && OnChange) OnChange(this);
}

void TComboBox::WndProc(TMessage& Message) {
    if (Message.Msg == WM_GETDLGCODE) return AnswerDialogCode(Message, DLGC_WANTARROWS);
    TWinControl::WndProc(Message);
}

void TComboBox::KeyDown(uint16_t& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    const int count = FItems->GetCount();
    if (count == 0) return;
    int to = -1;
    switch (Key) {
        case VK_UP:
        case VK_LEFT: to = std::max(0, FItemIndex - 1); break;
        case VK_DOWN:
        case VK_RIGHT: to = std::min(count - 1, FItemIndex + 1); break;
        case VK_HOME: to = 0; break;
        case VK_END: to = count - 1; break;
        default: return;
    }
    Key = 0;
    if (to != FItemIndex) SelectAsUser(to);
}

void TComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        if (CanFocus() && HandleAllocated() && !Focused()) SetFocus();
        const int count = FItems->GetCount();
        if (count > 0) SelectAsUser(FItemIndex + 1 >= count ? 0 : FItemIndex + 1);
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TComboBox::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    Fill(dc, r, FEnabled ? FColor : clBtnFace);
    SunkenFrame(dc, r);
    const int button = std::min<int>(17, r.right - r.left);
    RECT b{r.right - button, r.top + 2, r.right - 2, r.bottom - 2};
    Fill(dc, b, clBtnFace);
    Frame(dc, b, clBtnShadow);
    // The arrow of the drop-down button.
    const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
    POINT arrow[3] = {{cx - 3, cy - 1}, {cx + 4, cy - 1}, {cx, cy + 3}};
    HBRUSH ab = CreateSolidBrush(ControlColorToRGB(FEnabled ? clWindowText : clGrayText));
    HPEN ap = CreatePen(PS_SOLID, 1, ControlColorToRGB(FEnabled ? clWindowText : clGrayText));
    HGDIOBJ ob = SelectObject(dc, ab), op = SelectObject(dc, ap);
    Polygon(dc, arrow, 3);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(ab);
    DeleteObject(ap);
    RECT t{r.left + 3, r.top + 1, b.left - 1, r.bottom - 1};
    if (Focused()) {
        Fill(dc, t, clHighlight);
        DrawCaption(dc, FFont.get(), clHighlightText, GetSelectedText(), t,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else {
        DrawCaption(dc, FFont.get(), FEnabled ? FFont->GetColor() : clGrayText, GetSelectedText(), t,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

// ---- TGroupBox --------------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FWidth = 185;
    FHeight = 105;
}

void TGroupBox::AdjustClientRect(RECT& Rect) const {
    TCustomControl::AdjustClientRect(Rect);
    Rect.left += 2;
    Rect.top += 15;
    Rect.right -= 2;
    Rect.bottom -= 2;
    if (Rect.right < Rect.left) Rect.right = Rect.left;
    if (Rect.bottom < Rect.top) Rect.bottom = Rect.top;
}

void TGroupBox::Paint() {
    TCanvas* c = GetCanvas();
    HDC dc = c->GetHandle();
    RECT r = GetClientRect();
    Fill(dc, r, FColor);
    const int textTop = 6;
    RECT f{r.left, r.top + textTop, r.right, r.bottom};
    Frame(dc, f, clBtnShadow);
    if (f.right - f.left > 2 && f.bottom - f.top > 2)
        Frame(dc, RECT{f.left + 1, f.top + 1, f.right, f.bottom}, clBtnHighlight);
    if (!FText.empty()) {
        HGDIOBJ oldFont = SelectObject(dc, FFont->GetHandle());
        SIZE sz{};
        GetTextExtentPoint32A(dc, FText.c_str(), static_cast<int>(FText.size()), &sz);
        SelectObject(dc, oldFont);
        RECT t{r.left + 8, r.top, std::min<int>(r.right, r.left + 8 + sz.cx), r.top + sz.cy};
        Fill(dc, t, FColor);
        DrawCaption(dc, FFont.get(), FEnabled ? FFont->GetColor() : clGrayText, FText, t,
                    DT_LEFT | DT_TOP | DT_SINGLELINE);
    }
}

}  // namespace cl
