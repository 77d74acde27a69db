// Standard controls: labels and push buttons.
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

}  // namespace cl
