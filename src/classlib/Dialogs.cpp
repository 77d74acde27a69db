// The colour and font dialogs and the forms they show.
#include "classlib/Dialogs.h"

#include <algorithm>

#include "classlib/Controls_internal.h"
#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"

namespace cl {

using namespace win;

namespace {

int CollectFamily(const LOGFONTA* Font, const TEXTMETRICA*, DWORD, LPARAM Data) {
    reinterpret_cast<std::vector<String>*>(Data)->emplace_back(Font->lfFaceName);
    return 1;
}

// Frees a dialog's form when the dialog is done with it.
template <class F>
struct FormHolder {
    F* Form;
    ~FormHolder() { Form->Free(); }
};

// A dialog's form: a dialog border with the system menu only, centred on the screen.
void SetUpDialogForm(TForm* Form, const char* Caption, int ClientWidth, int ClientHeight) {
    Form->SetCaption(Caption);
    Form->SetBorderStyle(bsDialog);
    Form->SetBorderIcons(BorderIconBit(biSystemMenu));
    Form->Position = poScreenCenter;
    Form->SetClientWidth(ClientWidth);
    Form->SetClientHeight(ClientHeight);
}

// A control owned by the form, placed on Parent (a caption given when not null).
template <class T>
T* Place(TWinControl* Parent, int X, int Y, int W, int H, const char* Caption = nullptr) {
    auto* c = new T(Parent);
    c->SetParent(Parent);
    c->SetBounds(X, Y, W, H);
    if (Caption) c->SetCaption(Caption);
    return c;
}

TLabel* NewLabel(TWinControl* Parent, const char* Caption, int X, int Y) {
    return Place<TLabel>(Parent, X, Y, 60, 13, Caption);
}

// OK (the default button) at (X, Y) and Cancel (the cancel button) beside it.
void NewOKCancel(TWinControl* Parent, int X, int Y, TButton*& OK, TButton*& Cancel) {
    OK = Place<TButton>(Parent, X, Y, 75, 25, "OK");
    OK->ModalResult = mrOk;
    OK->SetDefault(true);
    Cancel = Place<TButton>(Parent, X + 81, Y, 75, 25, "Cancel");
    Cancel->ModalResult = mrCancel;
    Cancel->Cancel = true;
}

// An edit with up-down buttons for Min .. Max.
TEdit* NewNumberEdit(TWinControl* Parent, int X, int Y, int W, int Min, int Max, TUpDown*& UpDown) {
    auto* e = Place<TEdit>(Parent, X, Y, W, 21);
    UpDown = new TUpDown(Parent);
    UpDown->SetParent(Parent);
    UpDown->Min = Min;
    UpDown->Max = Max;
    UpDown->SetAssociate(e);
    return e;
}

// The number an edit holds, Min .. Max (Fallback when it holds none).
int EditValue(TEdit* Edit, int Min, int Max, int Fallback) {
    return std::clamp(StrToIntDef(Trim(Edit->GetText()), Fallback), Min, Max);
}

}  // namespace

std::vector<String> InstalledFontFamilies() {
    std::vector<String> families;
    LOGFONTA all;
    all.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExA(nullptr, &all, &CollectFamily, reinterpret_cast<LPARAM>(&families), 0);
    return families;
}

// ---- TColorDialogForm -------------------------------------------------------------------------

// clang-format off
const TColor TColorDialogForm::BasicColors[CellCount] = {
    0x8080FF, 0x80FFFF, 0x80FF80, 0x80FF00, 0xFFFF80, 0xFF8000, 0xC080FF, 0xFF80FF,
    0x0000FF, 0x00FFFF, 0x00FF80, 0x40FF00, 0xFFFF00, 0xC08000, 0xC08080, 0xFF00FF,
    0x404080, 0x4080FF, 0x00FF00, 0x808000, 0x804000, 0xFF8080, 0x400080, 0x8000FF,
    0x000080, 0x0080FF, 0x008000, 0x408000, 0xFF0000, 0xA00000, 0x800080, 0xFF0080,
    0x000040, 0x004080, 0x004000, 0x404000, 0x800000, 0x400000, 0x400040, 0x800040,
    0x000000, 0x008080, 0x408080, 0x808080, 0x808040, 0xC0C0C0, 0x400040, 0xFFFFFF,
};
// clang-format on

namespace {
constexpr int kCellLeft = 8, kCellTop = 24, kCellWidth = 20, kCellHeight = 16, kCellStepX = 24, kCellStepY = 20;
}  // namespace

TRect TColorDialogForm::CellRect(int Index) {
    const int x = kCellLeft + (Index % 8) * kCellStepX, y = kCellTop + (Index / 8) * kCellStepY;
    return TRect{x, y, x + kCellWidth, y + kCellHeight};
}

TColorDialogForm::TColorDialogForm(TComponent* AOwner) : TForm(AOwner) {
    SetUpDialogForm(this, "Color", 300, 201);
    BasicLabel = NewLabel(this, "&Basic colors:", 8, 6);
    BasicLabel->SetWidth(120);
    for (int i = 0; i < CellCount; ++i) {
        const TRect r = CellRect(i);
        auto* cell = Place<TPanel>(this, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cell->SetParentColor(false);
        cell->SetColor(BasicColors[i]);
        cell->SetBevelOuter(bvLowered);
        cell->OnClick = [this](TObject* s) { CellClick(s); };
        Cells[i] = cell;
    }
    Preview = Place<TPanel>(this, 208, 24, 84, 48);
    Preview->SetParentColor(false);
    Preview->SetBevelOuter(bvLowered);
    RedLabel = NewLabel(this, "&Red:", 208, 88);
    GreenLabel = NewLabel(this, "&Green:", 208, 114);
    BlueLabel = NewLabel(this, "Bl&ue:", 208, 140);
    RedEdit = NewNumberEdit(this, 244, 84, 32, 0, 255, RedUpDown);
    GreenEdit = NewNumberEdit(this, 244, 110, 32, 0, 255, GreenUpDown);
    BlueEdit = NewNumberEdit(this, 244, 136, 32, 0, 255, BlueUpDown);
    for (TEdit* e : {RedEdit, GreenEdit, BlueEdit}) e->OnChange = [this](TObject* s) { ValueChange(s); };
    NewOKCancel(this, 136, 168, OKButton, CancelButton);
    SetActiveControl(RedEdit);
    ShowColor();
}

void TColorDialogForm::SetColor(TColor v) {
    FColor = static_cast<TColor>(ColorToRGB(v) & 0xFFFFFF);
    ShowColor();
}

int TColorDialogForm::GetSelectedCell() const {
    for (int i = 0; i < CellCount; ++i)
        if (BasicColors[i] == FColor) return i;
    return -1;
}

void TColorDialogForm::CellClick(TObject* Sender) {
    for (int i = 0; i < CellCount; ++i)
        if (Cells[i] == Sender) SetColor(BasicColors[i]);
}

void TColorDialogForm::ValueChange(TObject*) {
    if (FFilling) return;
    const int r = EditValue(RedEdit, 0, 255, 0), g = EditValue(GreenEdit, 0, 255, 0),
              b = EditValue(BlueEdit, 0, 255, 0);
    FColor = static_cast<TColor>(r | (g << 8) | (b << 16));
    FFilling = true;
    RedUpDown->SetPosition(r);
    GreenUpDown->SetPosition(g);
    BlueUpDown->SetPosition(b);
    FFilling = false;
    Preview->SetColor(FColor);
    const int selected = GetSelectedCell();
    for (int i = 0; i < CellCount; ++i) Cells[i]->SetBevelOuter(i == selected ? bvRaised : bvLowered);
}

// Shows the chosen colour in the preview, the values and the cells (the chosen cell raised).
void TColorDialogForm::ShowColor() {
    FFilling = true;
    const auto value = static_cast<uint32_t>(FColor);
    RedUpDown->SetPosition(static_cast<int>(value & 0xFF));
    GreenUpDown->SetPosition(static_cast<int>((value >> 8) & 0xFF));
    BlueUpDown->SetPosition(static_cast<int>((value >> 16) & 0xFF));
    FFilling = false;
    Preview->SetColor(FColor);
    const int selected = GetSelectedCell();
    for (int i = 0; i < CellCount; ++i) Cells[i]->SetBevelOuter(i == selected ? bvRaised : bvLowered);
}

// ---- TColorDialog -----------------------------------------------------------------------------

bool TColorDialog::Execute() {
    FormHolder<TColorDialogForm> holder{NewForm<TColorDialogForm>(this)};
    holder.Form->SetColor(FColor);
    if (holder.Form->ShowModal() != mrOk) return false;
    FColor = holder.Form->GetColor();
    return true;
}

// ---- TFontDialogForm --------------------------------------------------------------------------

// clang-format off
const TColor TFontDialogForm::NamedColors[16] = {
    clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray,
    clSilver, clRed, clLime, clYellow, clBlue, clFuchsia, clAqua, clWhite};
const char* const TFontDialogForm::ColorNames[16] = {
    "Black", "Maroon", "Green", "Olive", "Navy", "Purple", "Teal", "Gray",
    "Silver", "Red", "Lime", "Yellow", "Blue", "Fuchsia", "Aqua", "White"};
// clang-format on

namespace {
constexpr const char* kStyleNames[] = {"Regular", "Italic", "Bold", "Bold Italic"};
}  // namespace

TFontDialogForm::TFontDialogForm(TComponent* AOwner) : TForm(AOwner), FChosen(std::make_unique<TFont>()) {
    SetUpDialogForm(this, "Font", 420, 209);
    FamilyLabel = NewLabel(this, "&Font:", 8, 6);
    FamilyBox = Place<TComboBox>(this, 8, 22, 200, 21);
    for (const String& f : InstalledFontFamilies()) FamilyBox->GetItems()->Add(f);
    StyleLabel = NewLabel(this, "Font st&yle:", 216, 6);
    StyleBox = Place<TComboBox>(this, 216, 22, 110, 21);
    for (const char* s : kStyleNames) StyleBox->GetItems()->Add(s);
    SizeLabel = NewLabel(this, "&Size:", 334, 6);
    SizeEdit = NewNumberEdit(this, 334, 22, 50, MinSize, MaxSize, SizeUpDown);
    EffectsGroup = Place<TGroupBox>(this, 8, 52, 140, 66, " Effects ");
    StrikeOutCheck = Place<TCheckBox>(EffectsGroup, 8, 18, 120, 17, "Stri&keout");
    UnderlineCheck = Place<TCheckBox>(EffectsGroup, 8, 40, 120, 17, "&Underline");
    ColorLabel = NewLabel(this, "&Color:", 8, 124);
    ColorBox = Place<TComboBox>(this, 8, 140, 140, 21);
    ColorBox->GetItems()->Add("Custom");
    for (const char* n : ColorNames) ColorBox->GetItems()->Add(n);
    SampleGroup = Place<TGroupBox>(this, 160, 52, 252, 109, " Sample ");
    Sample = Place<TPanel>(SampleGroup, 8, 18, 236, 83, "AaBbYyZz");
    Sample->SetBevelOuter(bvLowered);
    Sample->SetParentFont(false);
    NewOKCancel(this, 256, 176, OKButton, CancelButton);
    auto changed = [this](TObject* s) { ValueChange(s); };
    FamilyBox->OnChange = changed;
    StyleBox->OnChange = changed;
    SizeEdit->OnChange = changed;
    ColorBox->OnChange = changed;
    UnderlineCheck->OnClick = changed;
    StrikeOutCheck->OnClick = changed;
    SetActiveControl(FamilyBox);
    SetChosenFont(FChosen.get());
}

TFontDialogForm::~TFontDialogForm() = default;

void TFontDialogForm::SetChosenFont(TFont* Font) {
    if (Font != FChosen.get()) FChosen->Assign(Font);
    FFilling = true;
    // A face that is not installed is shown (and kept) as it is.
    TStringList* families = FamilyBox->GetItems();
    int family = -1;
    for (int i = 0; i < families->GetCount() && family < 0; ++i)
        if (SameText(families->Strings(i), FChosen->GetName())) family = i;
    if (family < 0) {
        int at = 0;
        while (at < families->GetCount() && CompareText(families->Strings(at), FChosen->GetName()) < 0) ++at;
        families->Insert(at, FChosen->GetName());
        family = at;
    }
    FamilyBox->SetItemIndex(family);
    const TFontStyles st = FChosen->GetStyle();
    StyleBox->SetItemIndex(((st & FontStyleBit(fsBold)) ? 2 : 0) + ((st & FontStyleBit(fsItalic)) ? 1 : 0));
    FShownSize = std::clamp(FChosen->GetSize(), MinSize, MaxSize);
    SizeUpDown->SetPosition(FShownSize);
    SizeEdit->SetText(IntToStr(FShownSize));
    UnderlineCheck->SetChecked((st & FontStyleBit(fsUnderline)) != 0);
    StrikeOutCheck->SetChecked((st & FontStyleBit(fsStrikeOut)) != 0);
    FCustomColor = FChosen->GetColor();
    int color = 0;
    for (int i = 0; i < 16; ++i)
        if (ColorToRGB(NamedColors[i]) == ColorToRGB(FCustomColor)) color = i + 1;
    ColorBox->SetItemIndex(color);
    FFilling = false;
    Sample->GetFont()->Assign(FChosen.get());
    Sample->Invalidate();
}

void TFontDialogForm::ValueChange(TObject*) {
    if (FFilling) return;
    ReadControls();
    Sample->GetFont()->Assign(FChosen.get());
    Sample->Invalidate();
}

// Reads the controls into the chosen font. An untouched size keeps the font's own height (a
// height need not be a whole number of points).
void TFontDialogForm::ReadControls() {
    if (FamilyBox->GetItemIndex() >= 0) FChosen->SetName(FamilyBox->GetSelectedText());
    const int style = std::max(0, StyleBox->GetItemIndex());
    TFontStyles st = 0;
    if (style & 2) st |= FontStyleBit(fsBold);
    if (style & 1) st |= FontStyleBit(fsItalic);
    if (UnderlineCheck->GetChecked()) st |= FontStyleBit(fsUnderline);
    if (StrikeOutCheck->GetChecked()) st |= FontStyleBit(fsStrikeOut);
    FChosen->SetStyle(st);
    const int size = EditValue(SizeEdit, MinSize, MaxSize, FShownSize);
    if (size != FShownSize) {
        FChosen->SetSize(size);
        FShownSize = size;
    }
    const int color = ColorBox->GetItemIndex();
    FChosen->SetColor(color >= 1 && color <= 16 ? NamedColors[color - 1] : FCustomColor);
}

// ---- TFontDialog ------------------------------------------------------------------------------

TFontDialog::TFontDialog(TComponent* AOwner) : TCommonDialog(AOwner), FFont(std::make_unique<TFont>()) {}

TFontDialog::~TFontDialog() = default;

void TFontDialog::SetFont(TFont* v) {
    if (v) FFont->Assign(v);
}

bool TFontDialog::Execute() {
    FormHolder<TFontDialogForm> holder{NewForm<TFontDialogForm>(this)};
    holder.Form->SetChosenFont(FFont.get());
    if (holder.Form->ShowModal() != mrOk) return false;
    FFont->Assign(holder.Form->GetChosenFont());
    return true;
}

// ---- registration -----------------------------------------------------------------------------

void ControlsInternal::RegisterDialogs() {
    auto color = OrdProp<TColorDialog, TColor>("Color", tkInteger, "TColor", &TColorDialog::GetColor,
                                               &TColorDialog::SetColor, clBlack);
    TPropInfo font;
    font.Name = "Font";
    font.Kind = tkClass;
    font.TypeName = "TFont";
    font.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TFontDialog*>(o)->GetFont(); };
    font.SetObject = [](TObject* o, TObject* v) {
        static_cast<TFontDialog*>(o)->SetFont(v && v->Is<TFont>() ? static_cast<TFont*>(v) : nullptr);
    };
    DeclarePublished(TColorDialog::StaticClass(), {color});
    DeclarePublished(TFontDialog::StaticClass(), {font});
    RegisterClasses({&TColorDialog::StaticClass(), &TFontDialog::StaticClass()});
}

}  // namespace cl
