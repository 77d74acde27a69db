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

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout v);
    bool ShowAccelChar() const { return showAccelChar_; }
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
    bool transparent_ = false;
    bool wordWrap_ = false;
    TAlignment alignment_ = taLeftJustify;
    TTextLayout layout_ = tlTop;
    bool showAccelChar_ = true;
};

// A push button: OnClick on a click, on Space, and on Enter (Default) or Escape (Cancel)
// anywhere on its form; a click sets the form's ModalResult to its own.
class TButton : public TWinControl {
    CL_DECLARE_COMPONENT(TButton, TWinControl)
public:
    explicit TButton(TComponent* AOwner);

    bool Default() const { return default_; }
    void SetDefault(bool v);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int v) { modalResult_ = v; }
    void Click() override;

protected:
    void PaintWindow(win::HDC dc) override;

private:
    friend struct ControlsInternal;
    // Enter clicks this button: it is the default one and no other button has the focus,
    // or it has the focus itself.
    bool ActiveForEnter() const;
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = 0;
};

}  // namespace cl
