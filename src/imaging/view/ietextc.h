// The in-place rich-text control: a text in which every character carries its own style
// record (font face, height, style, colour, background, paragraph alignment), with a caret, a
// selection, word and line movement, keyboard shortcuts for styling and a clipboard format of
// its own ("VOVOZID TEXTMEMO"). The vector layer uses it as the visible editor of memo objects
// and as a windowless layout engine that draws a memo's text onto a canvas (LayoutAndDraw).
//
// The text is UTF-8. Every byte has its own entry in the per-character arrays (style index,
// metrics, position), as stored files and the clipboard format count characters by bytes; a
// multi-byte sequence is measured and drawn as one glyph at its first byte, and the caret,
// deletions and word movement never stop inside one.
//
// The vector layer lends the control its text (TextBuffer), its style records (StyleList) and
// the per-character style indexes (CharStyles) by moving them in, calls ResetText, and moves
// them out again when it is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "classlib/StdCtrls.h"

namespace ie {

class TIECanvas;

// One character style, 280 bytes: memo objects store these bytes in their files and the
// control puts them on the clipboard, so the layout is fixed.
struct TIECharStyle {
    int32_t UseCount = 0;        // 0: characters given this style, less deleted ones
    uint8_t FontName[256] = {};  // 4: length byte, then at most 255 characters
    int32_t FontHeight = 0;      // 260: TFont height (negative: character height)
    uint8_t FontStyle = 0;       // 264: bit 0 bold, 1 italic, 2 underline, 3 strike-out
    uint8_t Reserved1[3] = {};   // 265
    int32_t FontColor = 0;       // 268: TColor
    int32_t BackColor = 0;       // 272: TColor
    uint8_t BackStyle = 0;       // 276: TBrushStyle
    uint8_t Alignment = 0;       // 277: 0 left, 1 right, 2 centre, 3 justify
    uint8_t Reserved2[2] = {};   // 278

    cl::String GetFontName() const;
    // Longer names are cut to 255 bytes; the rest of the field is cleared.
    void SetFontName(const cl::String& Name);
    // Equal when everything but the use count is equal byte for byte.
    bool SameAs(const TIECharStyle& Other) const;
};
static_assert(sizeof(TIECharStyle) == 280, "TIECharStyle is stored as 280 bytes");
static_assert(offsetof(TIECharStyle, FontHeight) == 260 && offsetof(TIECharStyle, FontStyle) == 264 &&
                  offsetof(TIECharStyle, FontColor) == 268 && offsetof(TIECharStyle, BackColor) == 272 &&
                  offsetof(TIECharStyle, BackStyle) == 276 && offsetof(TIECharStyle, Alignment) == 277,
              "TIECharStyle field offsets");

using TIECharStyles = std::vector<TIECharStyle>;

// The clipboard format of styled text: n characters, a zero byte, then n style records.
extern win::UINT IETextMemoClipboardFormat;
// Start-up hook: registers "VOVOZID TEXTMEMO" and keeps its id. The final hook does nothing.
void IETextCStaticInit();
void IETextCStaticFinal();
// Registers the two hooks with the library's start-up.
void IETextCRegisterStaticHooks();

// The control's editing shortcuts (Ctrl with a letter), in the order L, E, R, J, C, X, V, F,
// B, I, U, G.
struct TIETextShortCut {
    uint16_t Key;
    cl::TShiftState Shift;
};
extern const TIETextShortCut IETextShortCuts[12];

class TIETextControl : public cl::TCustomControl {
    CL_DECLARE_COMPONENT(TIETextControl, cl::TCustomControl)
public:
    explicit TIETextControl(cl::TComponent* AOwner);
    ~TIETextControl() override;

    // Lent by the vector layer (see above); never freed or replaced by the control except
    // through editing.
    std::string TextBuffer;
    std::unique_ptr<TIECharStyles> StyleList;
    std::vector<int32_t> CharStyles;

    int32_t GetTextLength() const { return FTextLength; }
    int32_t GetCaretIndex() const { return FCaretIndex; }
    // Clamped to the text and moved to the start of a character.
    void SetCaretIndex(int32_t Value);
    // The selection is SelectionStart .. SelectionEnd - 1, empty unless Start < End.
    int32_t SelectionStart = 0;
    int32_t SelectionEnd = 0;
    bool InsertMode = true;
    uint8_t DefaultAlignment = 0;
    double TextZoom = 1.0;
    // The style typed characters receive.
    TIECharStyle* GetCurrentStyle() const { return FCurrentStyle.get(); }
    // Drawing keeps the canvas's font and background colours.
    bool KeepCanvasColors = false;
    // Set together with KeepCanvasColors by the vector layer for its alpha pass; the control
    // does not read it.
    bool AlphaPass = false;
    bool GetSingleStyle() const { return FSingleStyle; }
    void SetSingleStyle(bool Value);
    // The control grows to its text while it is visible and has a parent.
    bool AutoGrow = false;
    int32_t LineSpacing = 0;
    int32_t FixedLineHeight = 0;
    // With CaptureText, LayoutAndDraw copies the text it draws (lines ended by line feeds)
    // into CapturedText.
    bool CaptureText = false;
    cl::String CapturedText;
    cl::TNotifyEvent OnCursorMoved;
    // Shown under a fill brush that is not solid (not owned).
    cl::TBitmap* BackgroundBitmap = nullptr;
    // Left, top, right and bottom margins in percent of the text box.
    double TextMargins[4] = {0.0, 0.0, 0.0, 0.0};

    cl::TFont* GetDefaultFont() const { return FDefaultFont.get(); }
    cl::TBrush* GetCharBackBrush() const { return FCharBackBrush.get(); }
    cl::TPen* GetFramePen() const { return FFramePen.get(); }
    cl::TBrush* GetFillBrush() const { return FFillBrush.get(); }
    cl::TBitmap* GetBackBuffer() const { return FBackBuffer.get(); }

    // The caret as the last layout placed it (client pixels).
    int32_t GetCaretX() const { return FCaretX; }
    int32_t GetCaretY() const { return FCaretY; }
    int32_t GetCaretHeight() const { return FCaretHeight; }
    // The last layout's metrics of character Index (0 .. TextLength; -1 / 0 out of range).
    int32_t GetCharX(int32_t Index) const;
    int32_t GetCharY(int32_t Index) const;
    int32_t GetCharWidth(int32_t Index) const;
    int32_t GetCharHeight(int32_t Index) const;

    // Takes a newly lent text: caret and selection to 0, style indexes and records made whole,
    // metrics cleared, CurrentStyle from the default font and brushes.
    void ResetText();
    // Lays the text out in the box and draws it on Canvas (nothing unless Width and Height
    // are above 1).
    void LayoutAndDraw(TIECanvas* Canvas, int32_t Left, int32_t Top, int32_t Width, int32_t Height);
    // Drops records whose use count is 0 and renumbers the characters' indexes.
    void PackStyles();
    // Clears every metric and invalidates.
    void Update() override;

    // Styles.
    int32_t FindStyle(const TIECharStyle& Style) const;
    void SetCharStyle(int32_t Index, const TIECharStyle& Style);
    // Style becomes a copy of the record of character Index (clamped to the text); false
    // and nothing copied without characters.
    bool StyleAt(int32_t Index, TIECharStyle& Style) const;

    // Editing.
    void InsertChar(char Ch);
    // Inserts Text at the caret, each byte with CurrentStyle.
    void InsertText(const std::string& Text);
    // Deletes the character at Index (all bytes of a multi-byte one); returns Index.
    int32_t DeleteChar(int32_t Index);
    void ClearMetrics(int32_t Index, int32_t Count);
    void DeleteSelection();
    void ExtendSelection(int32_t OldIndex, bool Shift);

    // Caret movement; true when the caret moved (the Line and word moves use the positions
    // of the last layout).
    bool CaretLeft();
    bool CaretRight();
    void WordLeft();
    void WordRight();
    void LineStart();
    void LineEnd();
    void LineUp();
    void LineDown();
    void CaretFromPoint(int32_t X, int32_t Y);

    // Styling the selection (and CurrentStyle).
    void GrowFont();
    void ShrinkFont();
    void SetSelectionFont(cl::TFont* Font);
    void SetSelectionBackColor(cl::TColor Color);
    void ToggleFontStyle(int32_t Bit);
    void SetParagraphAlignment(uint8_t Value);

    void CopyToClipboard();
    void PasteFromClipboard();
    void SelectWordAtCaret();
    void DoCursorMoved();

    void PaintBackground();
    void Paint() override;

    // The control's message handlers (registered once, by the first control).
    static void RegisterHandlers();

protected:
    void CreateParams(cl::TCreateParams& Params) override;
    void KeyDown(uint16_t& Key, cl::TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;

private:
    // One layout pass over the text (ietextc_layout.cpp).
    struct TLayoutState;
    void MeasureChar(TLayoutState& S, int32_t Index);
    void ApplyCharStyle(TIECanvas* Canvas, int32_t Index);
    void WrapLine(TLayoutState& S);
    void EndLine(TLayoutState& S);
    int32_t AlignOffset(TLayoutState& S, int32_t Pos);
    void DrawChar(TLayoutState& S, int32_t X, int32_t Y, const std::string& Glyph);
    bool DrawCharacter(TLayoutState& S, int32_t Index);

    // The character record Index refers to, or null.
    const TIECharStyle* RecordOf(int32_t Index) const;
    TIECharStyle* RecordOf(int32_t Index);
    // The style of CurrentStyle's fields from the default font and brushes.
    void DefaultStyle(TIECharStyle& Style) const;
    // Bytes of the character starting at Index (1 .. 4, not past the text).
    int32_t CharSpan(int32_t Index) const;
    // Index moved back to the first byte of its character.
    int32_t CharStart(int32_t Index) const;
    // Deletes the bytes Index .. Index + Count - 1.
    void DeleteRange(int32_t Index, int32_t Count);
    // Inserts bytes at the caret with their own styles.
    void InsertStyled(const std::string& Text, const std::vector<const TIECharStyle*>& Styles);
    void ResizeMetrics();
    // Applies Change to the record of every selected character, and to CurrentStyle when
    // ChangeCurrent.
    template <class Fn>
    void RestyleSelection(Fn Change, bool ChangeCurrent);
    bool PasteMemo(win::HANDLE Data);
    void PastePlain(win::HANDLE Data);

    int32_t FTextLength = 0;
    int32_t FCaretIndex = 0;
    std::unique_ptr<cl::TBitmap> FBackBuffer;
    int32_t FCaretX = 0;
    int32_t FCaretY = 0;
    int32_t FCaretHeight = 0;
    std::unique_ptr<cl::TFont> FDefaultFont;
    std::unique_ptr<cl::TBrush> FCharBackBrush;
    std::unique_ptr<cl::TPen> FFramePen;
    std::unique_ptr<cl::TBrush> FFillBrush;
    int32_t FMouseAnchorX = 0;
    int32_t FMouseAnchorY = 0;
    std::unique_ptr<TIECharStyle> FCurrentStyle;
    bool FSingleStyle = false;
    // Per character plus one entry for the position after the last.
    std::vector<int16_t> FCharHeights;
    std::vector<int16_t> FCharWidths;
    std::vector<uint8_t> FCharLeadings;
    std::vector<uint8_t> FCharDescents;
    std::vector<int32_t> FCharX;
    std::vector<int32_t> FCharY;
    // The record the last SetCharStyle found (a run of equal styles finds it at once).
    int32_t FLastStyleIndex = -1;
};

// The single-line editor of text objects: a TEdit that keeps Tab and the movement keys to
// itself and undoes its own typing. The undo record is the text as it was before the first
// change typed since the text was last set in code; WM_UNDO (or Undo) puts that text back and
// keeps the typed one, so a second undo brings the typing back.
class TIEEdit : public cl::TEdit {
    CL_DECLARE_COMPONENT(TIEEdit, cl::TEdit)
public:
    explicit TIEEdit(cl::TComponent* AOwner);
    bool CanUndo() const { return FCanUndo; }
    void Undo();
    // The editor's message handlers (registered once, by the first editor).
    static void RegisterHandlers();

protected:
    void KeyDown(uint16_t& Key, cl::TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void TextChanged() override;

private:
    // Remembers Before as the text to go back to, unless a record is kept already.
    void NoteTyping(const cl::String& Before);
    cl::String FUndoText;
    bool FCanUndo = false;
    // Set while the editor changes its own text (typing or undo): the undo record stays.
    bool FOwnChange = false;
};

// Validates a "VOVOZID TEXTMEMO" block: true when it holds a zero-terminated text of n bytes
// followed by n whole style records; Text and Styles then hold them.
bool IEParseTextMemoBlock(const uint8_t* Data, size_t Size, std::string& Text, std::vector<TIECharStyle>& Styles);

// The length of the valid UTF-8 sequence at s[0 .. n), or 0 when there is none.
size_t IEUtf8SequenceLength(const uint8_t* s, size_t n);

}  // namespace ie
