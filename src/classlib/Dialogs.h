// The common dialogs: a colour dialog (a grid of basic colours, a preview and red, green and
// blue values) and a font dialog (the installed families, style, size, underline, strike-out,
// colour and a sample). Execute shows the dialog's form modally and answers True when the user
// confirmed it with OK; only then does the dialog take the values chosen.
#pragma once

#include <memory>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

namespace cl {

// The families of the installed fonts (and the test font), sorted, each once.
std::vector<String> InstalledFontFamilies();

class TCommonDialog : public TComponent {
    CL_DECLARE_CLASS(TCommonDialog, TComponent)
public:
    explicit TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
    // Shows the dialog modally; True when it was closed with OK.
    virtual bool Execute() = 0;
};

// ---- the colour dialog ----------------------------------------------------------------------

// The form TColorDialog shows: 48 basic colour cells (clicking one chooses it), the chosen
// colour's preview, its red, green and blue values (edits with up-down buttons, 0 .. 255),
// OK and Cancel.
class TColorDialogForm : public TForm {
    CL_DECLARE_COMPONENT(TColorDialogForm, TForm)
public:
    explicit TColorDialogForm(TComponent* AOwner);

    static constexpr int CellCount = 48;
    // The basic colours, row by row (eight to a row).
    static const TColor BasicColors[CellCount];
    // Where cell Index lies in the form's client area.
    static TRect CellRect(int Index);

    // The colour chosen now (an RGB value).
    TColor GetColor() const { return FColor; }
    void SetColor(TColor v);
    // The basic colour cell of the chosen colour, -1 when it is none of them.
    int GetSelectedCell() const;

    TLabel* BasicLabel = nullptr;
    TPanel* Cells[CellCount] = {};
    TPanel* Preview = nullptr;
    TLabel *RedLabel = nullptr, *GreenLabel = nullptr, *BlueLabel = nullptr;
    TEdit *RedEdit = nullptr, *GreenEdit = nullptr, *BlueEdit = nullptr;
    TUpDown *RedUpDown = nullptr, *GreenUpDown = nullptr, *BlueUpDown = nullptr;
    TButton* OKButton = nullptr;
    TButton* CancelButton = nullptr;

private:
    void CellClick(TObject* Sender);
    void ValueChange(TObject* Sender);
    void ShowColor();
    TColor FColor = clBlack;
    bool FFilling = false;
};

class TColorDialog : public TCommonDialog {
    CL_DECLARE_COMPONENT(TColorDialog, TCommonDialog)
public:
    explicit TColorDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
    // The colour shown first and, after a confirmed Execute, the one chosen (an RGB value;
    // system colours are shown as what they stand for now).
    TColor GetColor() const { return FColor; }
    void SetColor(TColor v) { FColor = v; }
    bool Execute() override;

private:
    TColor FColor = clBlack;
};

// ---- the font dialog ------------------------------------------------------------------------

// The form TFontDialog shows: the family list, the style (regular, italic, bold, bold italic),
// the size in points (an edit with up-down buttons), underline and strike-out, the colour (the
// sixteen basic colours by name, and the font's own when it is none of them), a sample of the
// font and OK and Cancel.
class TFontDialogForm : public TForm {
    CL_DECLARE_COMPONENT(TFontDialogForm, TForm)
public:
    explicit TFontDialogForm(TComponent* AOwner);
    ~TFontDialogForm() override;

    static constexpr int MinSize = 1;
    static constexpr int MaxSize = 1638;
    // The colours of ColorBox after the font's own ("Custom"), with their names.
    static const TColor NamedColors[16];
    static const char* const ColorNames[16];

    // The font chosen now.
    TFont* GetChosenFont() const { return FChosen.get(); }
    // Shows Font in the controls.
    void SetChosenFont(TFont* Font);

    TLabel *FamilyLabel = nullptr, *StyleLabel = nullptr, *SizeLabel = nullptr, *ColorLabel = nullptr;
    TComboBox* FamilyBox = nullptr;
    TComboBox* StyleBox = nullptr;  // Regular, Italic, Bold, Bold Italic
    TEdit* SizeEdit = nullptr;
    TUpDown* SizeUpDown = nullptr;
    TGroupBox* EffectsGroup = nullptr;
    TCheckBox* UnderlineCheck = nullptr;
    TCheckBox* StrikeOutCheck = nullptr;
    TComboBox* ColorBox = nullptr;  // "Custom" first, then ColorNames
    TGroupBox* SampleGroup = nullptr;
    TPanel* Sample = nullptr;
    TButton* OKButton = nullptr;
    TButton* CancelButton = nullptr;

private:
    void ValueChange(TObject* Sender);
    void ReadControls();
    std::unique_ptr<TFont> FChosen;
    TColor FCustomColor = clBlack;
    int FShownSize = 0;
    bool FFilling = false;
};

class TFontDialog : public TCommonDialog {
    CL_DECLARE_COMPONENT(TFontDialog, TCommonDialog)
public:
    explicit TFontDialog(TComponent* AOwner);
    ~TFontDialog() override;
    // The font shown first and, after a confirmed Execute, the one chosen (owned by the
    // dialog; SetFont copies).
    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* v);
    bool Execute() override;

private:
    std::unique_ptr<TFont> FFont;
};

}  // namespace cl
