// Standard controls: labels, push buttons, edits, check boxes, combo boxes and group boxes.
#pragma once

#include "classlib/Controls.h"

namespace cl {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

// A text drawn by its parent: font, colour (or transparent), word wrap, alignment; with
// AutoSize it takes the size of its text ("&" marks an accelerator unless ShowAccelChar is off).
class TLabel : public TGraphicControl {
    CL_DECLARE_COMPONENT(TLabel, TGraphicControl)
public:
    explicit TLabel(TComponent* AOwner);

    bool GetTransparent() const { return FTransparent; }
    void SetTransparent(bool v);
    bool GetWordWrap() const { return FWordWrap; }
    void SetWordWrap(bool v);
    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment v);
    TTextLayout GetLayout() const { return FLayout; }
    void SetLayout(TTextLayout v);
    bool GetShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool v);
    void SetAutoSize(bool v) override;

    // The DrawText flags the label paints with.
    win::UINT DrawTextFlags() const;

protected:
    void Paint() override;
    bool CanAutoSize(int& NewWidth, int& NewHeight) override;
    void FontChanged() override;
    void TextChanged() override;
    void Loaded() override;

private:
    void AdjustBounds();
    bool FTransparent = false;
    bool FWordWrap = false;
    TAlignment FAlignment = taLeftJustify;
    TTextLayout FLayout = tlTop;
    bool FShowAccelChar = true;
};

// A push button: OnClick on a click, on Space, and on Enter (Default) or Escape (Cancel)
// anywhere on its form; a click sets the form's ModalResult to its own.
class TButton : public TWinControl {
    CL_DECLARE_COMPONENT(TButton, TWinControl)
public:
    explicit TButton(TComponent* AOwner);

    bool GetDefault() const { return FDefault; }
    void SetDefault(bool v);
    bool Cancel = false;
    int ModalResult = 0;
    void Click() override;

protected:
    void PaintWindow(win::HDC dc) override;

private:
    friend struct ControlsInternal;
    // Enter clicks this button: it is the default one and no other button has the focus,
    // or it has the focus itself.
    bool ActiveForEnter() const;
    bool FDefault = false;
};

// ---- input controls (StdCtrls_input.cpp) -----------------------------------------------------

// A one-line text box: typed characters are appended at the end, Backspace takes the last one
// off. Every change of the text, typed or set in code, fires OnChange.
class TEdit : public TWinControl {
    CL_DECLARE_COMPONENT(TEdit, TWinControl)
public:
    explicit TEdit(TComponent* AOwner);
    bool ReadOnly = false;
    // 0: no limit.
    int MaxLength = 0;
    // Off: no sunken frame round the text.
    bool Border = true;
    TNotifyEvent OnChange;
    void WndProc(TMessage& Message) override;

protected:
    void PaintWindow(win::HDC dc) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void TextChanged() override;
};

// A box with a caption beside it: a click or Space toggles Checked; setting Checked to a new
// value, by the user or in code, fires OnClick.
class TCheckBox : public TWinControl {
    CL_DECLARE_COMPONENT(TCheckBox, TWinControl)
public:
    explicit TCheckBox(TComponent* AOwner);
    bool GetChecked() const { return FChecked; }
    void SetChecked(bool v);
    void Click() override;
    void Toggle() { SetChecked(!FChecked); }

protected:
    void PaintWindow(win::HDC dc) override;
    void KeyUp(uint16_t& Key, TShiftState Shift) override;

private:
    bool FChecked = false;
};

// A drop-down list of fixed items (one shown): the arrow keys, Home and End move the choice,
// a click on the control steps to the next item (the last wraps round to the first). A
// user's choice fires OnClick, then OnChange; setting ItemIndex in code fires neither.
class TComboBox : public TWinControl {
    CL_DECLARE_COMPONENT(TComboBox, TWinControl)
public:
    explicit TComboBox(TComponent* AOwner);
    ~TComboBox() override;
    TStringList* GetItems() const { return FItems.get(); }
    // -1: nothing chosen; values outside the items choose nothing.
    int GetItemIndex() const { return FItemIndex; }
    void SetItemIndex(int v);
    // The chosen item's text ("" when nothing is chosen).
    String GetSelectedText() const;
    // Chooses Index as the user does (OnClick, OnChange when it changed).
    void SelectAsUser(int Index);
    TNotifyEvent OnChange;
    void WndProc(TMessage& Message) override;

protected:
    void PaintWindow(win::HDC dc) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
    std::unique_ptr<TStringList> FItems;
    int FItemIndex = -1;
};

// A frame with its caption set into the top edge, holding other controls.
class TGroupBox : public TCustomControl {
    CL_DECLARE_COMPONENT(TGroupBox, TCustomControl)
public:
    explicit TGroupBox(TComponent* AOwner);

protected:
    void Paint() override;
    void AdjustClientRect(win::RECT& Rect) const override;
};

}  // namespace cl
