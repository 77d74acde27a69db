// The rich-text control: text and style model, editing, keys, mouse and clipboard. The
// layout and painting are in ietextc_layout.cpp.
#include "imaging/view/ietextc.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "classlib/Dialogs.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_startup.h"
#include "platform/codepage.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// The style record

cl::String TIECharStyle::GetFontName() const {
    return cl::String(reinterpret_cast<const char*>(FontName + 1), FontName[0]);
}

void TIECharStyle::SetFontName(const cl::String& Name) {
    const size_t n = std::min<size_t>(Name.size(), 255);
    std::memset(FontName, 0, sizeof FontName);
    FontName[0] = static_cast<uint8_t>(n);
    std::memcpy(FontName + 1, Name.data(), n);
}

bool TIECharStyle::SameAs(const TIECharStyle& Other) const {
    // Everything after the use count, the padding of the record included.
    const auto* a = reinterpret_cast<const uint8_t*>(this) + sizeof(int32_t);
    const auto* b = reinterpret_cast<const uint8_t*>(&Other) + sizeof(int32_t);
    return std::memcmp(a, b, sizeof(TIECharStyle) - sizeof(int32_t)) == 0;
}

size_t IEUtf8SequenceLength(const uint8_t* s, size_t n) {
    const uint8_t c = s[0];
    size_t len;
    uint32_t min;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n < len) return 0;
    uint32_t cp = c & (0x7F >> len);
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// ---------------------------------------------------------------------------------------
// Start-up

win::UINT IETextMemoClipboardFormat = 0;

void IETextCStaticInit() { IETextMemoClipboardFormat = win::RegisterClipboardFormatA("VOVOZID TEXTMEMO"); }

void IETextCStaticFinal() {}

void IETextCRegisterStaticHooks() { IERegisterStaticHooks(iesuTextC, IETextCStaticInit, IETextCStaticFinal); }

// clang-format off
const TIETextShortCut IETextShortCuts[12] = {
    {'L', cl::ssCtrl}, {'E', cl::ssCtrl}, {'R', cl::ssCtrl}, {'J', cl::ssCtrl}, {'C', cl::ssCtrl}, {'X', cl::ssCtrl},
    {'V', cl::ssCtrl}, {'F', cl::ssCtrl}, {'B', cl::ssCtrl}, {'I', cl::ssCtrl}, {'U', cl::ssCtrl}, {'G', cl::ssCtrl},
};
// clang-format on

namespace {

enum TShortCutIndex {
    scLeft,
    scCenter,
    scRight,
    scJustify,
    scCopy,
    scCut,
    scPaste,
    scFont,
    scBold,
    scItalic,
    scUnderline,
    scBack
};

// The shortcut a key with a shift state stands for, or -1 (only Shift, Ctrl and Alt count).
int ShortCutOf(uint16_t Key, cl::TShiftState Shift) {
    const cl::TShiftState keys = Shift & (cl::ssShift | cl::ssCtrl | cl::ssAlt);
    for (int i = 0; i < 12; ++i)
        if (IETextShortCuts[i].Key == Key && IETextShortCuts[i].Shift == keys) return i;
    return -1;
}

// FNV-1a over everything but the use count (what SameAs compares).
uint64_t StyleHash(const TIECharStyle& Style) {
    const auto* p = reinterpret_cast<const uint8_t*>(&Style) + sizeof(int32_t);
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < sizeof(TIECharStyle) - sizeof(int32_t); ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

bool IsContinuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

// Text from outside made valid UTF-8: every byte of a broken sequence becomes '?'.
std::string ValidUtf8(const uint8_t* s, size_t n) {
    std::string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        const size_t len = IEUtf8SequenceLength(s + i, n - i);
        if (len == 0) {
            out.push_back('?');
            ++i;
        } else {
            out.append(reinterpret_cast<const char*>(s + i), len);
            i += len;
        }
    }
    return out;
}

// Holds the clipboard open until the end of the scope.
struct ClipboardCloser {
    ~ClipboardCloser() { win::CloseClipboard(); }
};

win::UINT MemoFormat() {
    if (IETextMemoClipboardFormat == 0) IETextMemoClipboardFormat = win::RegisterClipboardFormatA("VOVOZID TEXTMEMO");
    return IETextMemoClipboardFormat;
}

}  // namespace

bool IEParseTextMemoBlock(const uint8_t* Data, size_t Size, std::string& Text, std::vector<TIECharStyle>& Styles) {
    Text.clear();
    Styles.clear();
    if (!Data || Size == 0) return false;
    const void* zero = std::memchr(Data, 0, Size);
    if (!zero) return false;
    const size_t n = static_cast<size_t>(static_cast<const uint8_t*>(zero) - Data);
    // The block must hold the text, its zero and one record per character.
    if ((Size - n - 1) / sizeof(TIECharStyle) < n) return false;
    Text.assign(reinterpret_cast<const char*>(Data), n);
    Styles.resize(n);
    if (n) std::memcpy(Styles.data(), Data + n + 1, n * sizeof(TIECharStyle));
    return true;
}

// ---------------------------------------------------------------------------------------
// Construction

TIETextControl::TIETextControl(cl::TComponent* AOwner) : cl::TCustomControl(AOwner) {
    RegisterHandlers();
    ControlStyle |= cl::csOpaque;
    if (AOwner) SetCursor(cl::crIBeam);
    FBackBuffer = std::make_unique<cl::TBitmap>();
    FBackBuffer->SetPixelFormat(cl::pf24bit);
    FDefaultFont = std::make_unique<cl::TFont>();
    FCharBackBrush = std::make_unique<cl::TBrush>();
    FFramePen = std::make_unique<cl::TPen>();
    FFillBrush = std::make_unique<cl::TBrush>();
    FCurrentStyle = std::make_unique<TIECharStyle>();
    ResizeMetrics();
}

TIETextControl::~TIETextControl() = default;

void TIETextControl::CreateParams(cl::TCreateParams& Params) {
    cl::TCustomControl::CreateParams(Params);
    Params.WindowClassStyle &= ~(win::CS_HREDRAW | win::CS_VREDRAW);
}

void TIETextControl::SetSingleStyle(bool Value) {
    FSingleStyle = Value;
    Update();
}

void TIETextControl::Update() {
    ClearMetrics(0, FTextLength);
    Invalidate();
}

int32_t TIETextControl::GetCharX(int32_t Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FCharX.size() ? FCharX[Index] : -1;
}
int32_t TIETextControl::GetCharY(int32_t Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FCharY.size() ? FCharY[Index] : -1;
}
int32_t TIETextControl::GetCharWidth(int32_t Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FCharWidths.size() ? FCharWidths[Index] : 0;
}
int32_t TIETextControl::GetCharHeight(int32_t Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FCharHeights.size() ? FCharHeights[Index] : 0;
}

void TIETextControl::SetCaretIndex(int32_t Value) { FCaretIndex = CharStart(std::clamp(Value, 0, FTextLength)); }

// ---------------------------------------------------------------------------------------
// Styles

void TIETextControl::DefaultStyle(TIECharStyle& Style) const {
    Style.SetFontName(FDefaultFont->GetName());
    Style.FontHeight = FDefaultFont->GetHeight();
    Style.FontStyle = FDefaultFont->GetStyle();
    Style.FontColor = FDefaultFont->GetColor();
    Style.BackColor = FCharBackBrush->GetColor();
    Style.BackStyle = static_cast<uint8_t>(FCharBackBrush->GetStyle());
    Style.Alignment = DefaultAlignment;
}

const TIECharStyle* TIETextControl::RecordOf(int32_t Index) const {
    if (!StyleList || Index < 0 || Index >= FTextLength || static_cast<size_t>(Index) >= CharStyles.size())
        return nullptr;
    const int32_t r = CharStyles[Index];
    if (r < 0 || static_cast<size_t>(r) >= StyleList->size()) return nullptr;
    return &(*StyleList)[r];
}

TIECharStyle* TIETextControl::RecordOf(int32_t Index) {
    return const_cast<TIECharStyle*>(static_cast<const TIETextControl*>(this)->RecordOf(Index));
}

int32_t TIETextControl::FindStyle(const TIECharStyle& Style) const {
    if (!StyleList) return -1;
    for (size_t i = 0; i < StyleList->size(); ++i)
        if ((*StyleList)[i].SameAs(Style)) return static_cast<int32_t>(i);
    return -1;
}

void TIETextControl::SetCharStyle(int32_t Index, const TIECharStyle& Style) {
    if (Index < 0 || Index >= FTextLength || static_cast<size_t>(Index) >= CharStyles.size()) return;
    if (!StyleList) StyleList = std::make_unique<TIECharStyles>();
    int32_t r = -1;
    if (FLastStyleIndex >= 0 && static_cast<size_t>(FLastStyleIndex) < StyleList->size() &&
        (*StyleList)[FLastStyleIndex].SameAs(Style))
        r = FLastStyleIndex;
    else
        r = FindStyle(Style);
    if (r < 0) {
        TIECharStyle copy = Style;
        copy.UseCount = 0;
        StyleList->push_back(copy);
        r = static_cast<int32_t>(StyleList->size()) - 1;
    }
    // The record the character had gives up its use.
    if (TIECharStyle* old = RecordOf(Index); old && old->UseCount > 0) --old->UseCount;
    CharStyles[Index] = r;
    ++(*StyleList)[r].UseCount;
    FLastStyleIndex = r;
}

bool TIETextControl::StyleAt(int32_t Index, TIECharStyle& Style) const {
    Index = std::min(Index, FTextLength - 1);
    if (Index < 0) Index = 0;
    if (FTextLength == 0) return false;
    const TIECharStyle* rec = RecordOf(Index);
    if (!rec) return false;
    Style = *rec;
    return true;
}

void TIETextControl::PackStyles() {
    if (!StyleList) return;
    for (int32_t i = static_cast<int32_t>(StyleList->size()) - 1; i >= 0; --i) {
        if ((*StyleList)[i].UseCount != 0) continue;
        for (int32_t& c : CharStyles)
            if (c > i) --c;
        StyleList->erase(StyleList->begin() + i);
    }
    FLastStyleIndex = -1;
}

void TIETextControl::ResetText() {
    SelectionStart = SelectionEnd = 0;
    FCaretIndex = 0;
    // A lent text ends at its first zero byte.
    const size_t zero = TextBuffer.find('\0');
    if (zero != std::string::npos) TextBuffer.resize(zero);
    FTextLength = static_cast<int32_t>(std::min<size_t>(TextBuffer.size(), INT32_MAX - 1));
    TextBuffer.resize(static_cast<size_t>(FTextLength));
    if (!StyleList) StyleList = std::make_unique<TIECharStyles>();
    if (FTextLength > 0 && StyleList->empty()) {
        // A text without records: every character takes the default style.
        TIECharStyle style;
        DefaultStyle(style);
        style.UseCount = FTextLength;
        StyleList->push_back(style);
        CharStyles.assign(static_cast<size_t>(FTextLength) + 1, 0);
    }
    // One index per character plus one; indexes that name no record are taken as the first.
    CharStyles.resize(static_cast<size_t>(FTextLength) + 1, 0);
    const int32_t records = static_cast<int32_t>(StyleList->size());
    for (int32_t& c : CharStyles)
        if (c < 0 || c >= records) c = 0;
    FLastStyleIndex = -1;
    FCharHeights.clear();
    FCharWidths.clear();
    FCharLeadings.clear();
    FCharDescents.clear();
    FCharX.clear();
    FCharY.clear();
    ResizeMetrics();
    DefaultStyle(*FCurrentStyle);
    PaintBackground();
}

void TIETextControl::ResizeMetrics() {
    const size_t n = static_cast<size_t>(FTextLength) + 1;
    FCharHeights.resize(n, 0);
    FCharWidths.resize(n, 0);
    FCharLeadings.resize(n, 0);
    FCharDescents.resize(n, 0);
    FCharX.resize(n, -1);
    FCharY.resize(n, -1);
    if (CharStyles.size() < n) CharStyles.resize(n, 0);
}

// ---------------------------------------------------------------------------------------
// Editing

int32_t TIETextControl::CharSpan(int32_t Index) const {
    if (Index < 0 || Index >= FTextLength) return 1;
    int32_t n = 1;
    while (n < 4 && Index + n < FTextLength && IsContinuation(TextBuffer[Index + n])) ++n;
    return n;
}

int32_t TIETextControl::CharStart(int32_t Index) const {
    int32_t steps = 0;
    while (Index > 0 && Index < FTextLength && steps < 3 && IsContinuation(TextBuffer[Index])) {
        --Index;
        ++steps;
    }
    return Index;
}

void TIETextControl::ClearMetrics(int32_t Index, int32_t Count) {
    ResizeMetrics();
    const int32_t n = static_cast<int32_t>(FCharWidths.size());
    const int32_t from = std::clamp(Index, 0, n);
    const int32_t to = std::clamp(Index + std::max(Count, 0) + 1, from, n);  // the entry after the last too
    for (int32_t i = from; i < to; ++i) {
        FCharHeights[i] = 0;
        FCharWidths[i] = 0;
        FCharLeadings[i] = 0;
        FCharDescents[i] = 0;
        FCharX[i] = -1;
        FCharY[i] = -1;
    }
}

void TIETextControl::InsertStyled(const std::string& Text, const std::vector<const TIECharStyle*>& Styles) {
    if (Text.empty()) return;
    const size_t n = Text.size();
    if (static_cast<size_t>(FTextLength) + n >= static_cast<size_t>(INT32_MAX - 1)) return;
    if (!StyleList) StyleList = std::make_unique<TIECharStyles>();
    const auto at = static_cast<size_t>(FCaretIndex);
    TextBuffer.insert(at, Text);
    CharStyles.insert(CharStyles.begin() + static_cast<std::ptrdiff_t>(at), n, -1);
    auto grow = [at, n](auto& v, auto fill) { v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), n, fill); };
    grow(FCharHeights, int16_t{0});
    grow(FCharWidths, int16_t{0});
    grow(FCharLeadings, uint8_t{0});
    grow(FCharDescents, uint8_t{0});
    grow(FCharX, int32_t{-1});
    grow(FCharY, int32_t{-1});
    FTextLength += static_cast<int32_t>(n);
    if (Styles.size() != n) {
        for (size_t i = 0; i < n; ++i) SetCharStyle(static_cast<int32_t>(at + i), *FCurrentStyle);
    } else {
        // Each character with its own record: the records are found through a hash of their
        // bytes, as a pasted block may bring a different one for every character.
        std::unordered_multimap<uint64_t, int32_t> index;
        for (size_t r = 0; r < StyleList->size(); ++r)
            index.emplace(StyleHash((*StyleList)[r]), static_cast<int32_t>(r));
        for (size_t i = 0; i < n; ++i) {
            *FCurrentStyle = *Styles[i];
            const uint64_t h = StyleHash(*FCurrentStyle);
            int32_t r = -1;
            for (auto [it, end] = index.equal_range(h); it != end; ++it)
                if ((*StyleList)[it->second].SameAs(*FCurrentStyle)) {
                    r = it->second;
                    break;
                }
            if (r < 0) {
                TIECharStyle copy = *FCurrentStyle;
                copy.UseCount = 0;
                StyleList->push_back(copy);
                r = static_cast<int32_t>(StyleList->size()) - 1;
                index.emplace(h, r);
            }
            CharStyles[at + i] = r;
            ++(*StyleList)[r].UseCount;
        }
        FLastStyleIndex = -1;
    }
    ClearMetrics(static_cast<int32_t>(at), FTextLength - static_cast<int32_t>(at));
    FCaretIndex += static_cast<int32_t>(n);
}

void TIETextControl::InsertChar(char Ch) { InsertStyled(std::string(1, Ch), {}); }

void TIETextControl::InsertText(const std::string& Text) { InsertStyled(Text, {}); }

void TIETextControl::DeleteRange(int32_t Index, int32_t Count) {
    if (Index < 0 || Index >= FTextLength || Count <= 0) return;
    Count = std::min(Count, FTextLength - Index);
    for (int32_t i = Index; i < Index + Count; ++i)
        if (TIECharStyle* rec = RecordOf(i); rec && rec->UseCount > 0) --rec->UseCount;
    const auto at = static_cast<std::ptrdiff_t>(Index);
    TextBuffer.erase(static_cast<size_t>(Index), static_cast<size_t>(Count));
    CharStyles.erase(CharStyles.begin() + at, CharStyles.begin() + at + Count);
    auto cut = [at, Count](auto& v) { v.erase(v.begin() + at, v.begin() + at + Count); };
    cut(FCharHeights);
    cut(FCharWidths);
    cut(FCharLeadings);
    cut(FCharDescents);
    cut(FCharX);
    cut(FCharY);
    FTextLength -= Count;
    ClearMetrics(Index, FTextLength - Index);
}

int32_t TIETextControl::DeleteChar(int32_t Index) {
    if (Index >= 0 && Index < FTextLength) DeleteRange(Index, CharSpan(Index));
    return Index;
}

void TIETextControl::DeleteSelection() {
    if (SelectionStart < SelectionEnd) {
        const int32_t from = std::clamp(SelectionStart, 0, FTextLength);
        const int32_t to = std::clamp(SelectionEnd, from, FTextLength);
        DeleteRange(from, to - from);
        FCaretIndex = std::min(from, FTextLength);
    }
    SelectionStart = SelectionEnd = 0;
}

void TIETextControl::ExtendSelection(int32_t OldIndex, bool Shift) {
    if (!Shift) {
        SelectionStart = SelectionEnd = 0;
    } else if (SelectionEnd == 0) {
        SelectionStart = OldIndex;
        SelectionEnd = FCaretIndex;
    } else if (OldIndex < FCaretIndex) {
        if (SelectionEnd < FCaretIndex)
            SelectionEnd = FCaretIndex;
        else
            SelectionStart = FCaretIndex;
    } else {
        if (FCaretIndex < SelectionStart)
            SelectionStart = FCaretIndex;
        else
            SelectionEnd = FCaretIndex;
    }
    if (SelectionEnd < SelectionStart) std::swap(SelectionStart, SelectionEnd);
}

// ---------------------------------------------------------------------------------------
// Caret movement

bool TIETextControl::CaretLeft() {
    if (FCaretIndex <= 0) return false;
    FCaretIndex = CharStart(FCaretIndex - 1);
    return true;
}

bool TIETextControl::CaretRight() {
    if (FCaretIndex >= FTextLength) return false;
    FCaretIndex = std::min(FCaretIndex + CharSpan(FCaretIndex), FTextLength);
    return true;
}

namespace {
inline uint8_t Byte(const std::string& s, int32_t i) { return static_cast<uint8_t>(s[static_cast<size_t>(i)]); }
}  // namespace

void TIETextControl::WordLeft() {
    if (FTextLength == 0) return;
    int32_t i = std::min(FCaretIndex, FTextLength);
    do {
        --i;
    } while (i >= 1 && Byte(TextBuffer, std::min(i, FTextLength - 1)) < 33);
    while (i > 0 && Byte(TextBuffer, std::min(i, FTextLength - 1)) > 32) --i;
    if (i >= 0 && i < FTextLength && Byte(TextBuffer, i) <= 32) ++i;
    FCaretIndex = CharStart(std::clamp(i, 0, FTextLength - 1));
}

void TIETextControl::WordRight() {
    if (FTextLength == 0) return;
    int32_t i = FCaretIndex;
    do {
        ++i;
    } while (i < FTextLength && Byte(TextBuffer, i) < 33);
    while (i < FTextLength && Byte(TextBuffer, i) > 32) ++i;
    FCaretIndex = CharStart(std::clamp(i, 0, FTextLength - 1));
}

void TIETextControl::LineStart() {
    ResizeMetrics();
    int32_t i = FCaretIndex;
    while (i > 0 && FCharY[i] >= FCaretY) --i;
    if (i > 0) ++i;
    FCaretIndex = CharStart(std::min(i, FTextLength));
}

void TIETextControl::LineEnd() {
    ResizeMetrics();
    int32_t i = FCaretIndex;
    while (i < FTextLength && FCharY[i] == FCaretY) ++i;
    if (i < FTextLength) --i;
    FCaretIndex = CharStart(std::max(i, 0));
}

void TIETextControl::LineUp() {
    ResizeMetrics();
    int32_t i = std::min(FCaretIndex, FTextLength);
    while (i >= 0 && !(FCharY[i] >= 0 && FCharY[i] < FCaretY)) --i;
    if (i < 0) return;
    const int32_t row = FCharY[i];
    int32_t c = i;
    while (c > 0 && FCharX[c] > FCaretX) --c;
    if (c + 1 <= FTextLength && FCharY[c + 1] == FCharY[c] &&
        std::abs(FCharX[c + 1] - FCaretX) < std::abs(FCharX[c] - FCaretX))
        ++c;
    if (FCharY[c] != row) c = i;
    FCaretIndex = CharStart(c);
}

void TIETextControl::LineDown() {
    ResizeMetrics();
    int32_t i = FCaretIndex;
    while (i <= FTextLength && FCharY[i] == FCaretY) ++i;
    if (i > FTextLength || FCharY[i] < 0) return;
    const int32_t row = FCharY[i];
    int32_t c = i;
    while (c < FTextLength && FCharX[c] < FCaretX) ++c;
    if (c - 1 >= 0 && FCharY[c - 1] == FCharY[c] && std::abs(FCharX[c - 1] - FCaretX) < std::abs(FCharX[c] - FCaretX))
        --c;
    if (FCharY[c] != row) c = i;
    FCaretIndex = CharStart(c);
}

void TIETextControl::CaretFromPoint(int32_t X, int32_t Y) {
    ResizeMetrics();
    int32_t i = 0;
    while (i < FTextLength && FCharY[i] < Y) ++i;
    if (i > 0 && FCharY[i] >= Y) --i;
    while (i >= 0 && X < FCharX[i] - 1) --i;
    if (i < 0) i = 0;
    FCaretIndex = CharStart(i);
    StyleAt(FCaretIndex - 1, *FCurrentStyle);
}

// ---------------------------------------------------------------------------------------
// Styling

template <class Fn>
void TIETextControl::RestyleSelection(Fn Change, bool ChangeCurrent) {
    const int32_t from = std::clamp(SelectionStart, 0, FTextLength);
    const int32_t to = std::clamp(SelectionEnd, from, FTextLength);
    for (int32_t i = from; i < to; ++i) {
        const TIECharStyle* rec = RecordOf(i);
        if (!rec) continue;
        TIECharStyle s = *rec;
        Change(s);
        SetCharStyle(i, s);
    }
    if (from < to) ClearMetrics(from, FTextLength - from);
    if (ChangeCurrent) Change(*FCurrentStyle);
}

void TIETextControl::GrowFont() {
    RestyleSelection(
        [](TIECharStyle& s) {
            s.FontHeight = s.FontHeight < 0 ? s.FontHeight - 1 : s.FontHeight + 1;
            if (s.FontHeight == 0) s.FontHeight = 1;
        },
        true);
}

void TIETextControl::ShrinkFont() {
    RestyleSelection(
        [](TIECharStyle& s) {
            s.FontHeight = s.FontHeight < 0 ? s.FontHeight + 1 : s.FontHeight - 1;
            if (s.FontHeight == 0) s.FontHeight = 1;
        },
        true);
}

void TIETextControl::SetSelectionFont(cl::TFont* Font) {
    if (!Font) return;
    RestyleSelection(
        [Font](TIECharStyle& s) {
            s.SetFontName(Font->GetName());
            s.FontHeight = Font->GetHeight();
            s.FontStyle = Font->GetStyle();
            s.FontColor = Font->GetColor();
        },
        true);
}

void TIETextControl::SetSelectionBackColor(cl::TColor Color) {
    RestyleSelection([Color](TIECharStyle& s) { s.BackColor = Color; }, true);
}

void TIETextControl::ToggleFontStyle(int32_t Bit) {
    const auto mask = static_cast<uint8_t>(1u << (Bit & 7));
    const int32_t from = std::clamp(SelectionStart, 0, FTextLength);
    const int32_t to = std::clamp(SelectionEnd, from, FTextLength);
    if (from < to) {
        // The first selected character decides for all of them.
        const TIECharStyle* first = RecordOf(from);
        const uint8_t base = first ? first->FontStyle : FCurrentStyle->FontStyle;
        const uint8_t styles = (base & mask) ? static_cast<uint8_t>(base & ~mask) : static_cast<uint8_t>(base | mask);
        RestyleSelection([styles](TIECharStyle& s) { s.FontStyle = styles; }, false);
    } else {
        FCurrentStyle->FontStyle ^= mask;
    }
}

void TIETextControl::SetParagraphAlignment(uint8_t Value) {
    int32_t from = std::min(FCaretIndex, FTextLength);
    while (from > 0 && TextBuffer[static_cast<size_t>(from - 1)] != '\n') --from;
    // The line feed that ends the paragraph too: a line takes the alignment of its last
    // character, which for a paragraph's last line is that line feed.
    int32_t to = std::min(FCaretIndex, FTextLength);
    while (to < FTextLength && TextBuffer[static_cast<size_t>(to)] != '\n') ++to;
    if (to < FTextLength) ++to;
    for (int32_t i = from; i < to; ++i) {
        const TIECharStyle* rec = RecordOf(i);
        if (!rec) continue;
        TIECharStyle s = *rec;
        s.Alignment = Value;
        SetCharStyle(i, s);
    }
    if (from < to) ClearMetrics(from, FTextLength - from);
    FCurrentStyle->Alignment = Value;
}

// ---------------------------------------------------------------------------------------
// Keys

void TIETextControl::KeyDown(uint16_t& Key, cl::TShiftState Shift) {
    const bool shift = (Shift & cl::ssShift) != 0;
    const bool ctrl = (Shift & cl::ssCtrl) != 0;
    const int32_t oldCaret = FCaretIndex;
    bool moveKey = false;
    switch (Key) {
        case win::VK_BACK:
            if (SelectionStart < SelectionEnd)
                DeleteSelection();
            else if (CaretLeft())
                DeleteChar(FCaretIndex);
            Update();
            break;
        case win::VK_RETURN:
            InsertChar('\n');
            Update();
            break;
        case win::VK_END:
            if (ctrl)
                FCaretIndex = FTextLength;
            else
                LineEnd();
            moveKey = true;
            break;
        case win::VK_HOME:
            if (ctrl)
                FCaretIndex = 0;
            else
                LineStart();
            moveKey = true;
            break;
        case win::VK_LEFT:
            if (ctrl)
                WordLeft();
            else
                CaretLeft();
            moveKey = true;
            break;
        case win::VK_RIGHT:
            if (ctrl)
                WordRight();
            else
                CaretRight();
            moveKey = true;
            break;
        case win::VK_UP:
            LineUp();
            moveKey = true;
            break;
        case win::VK_DOWN:
            LineDown();
            moveKey = true;
            break;
        case win::VK_INSERT: InsertMode = !InsertMode; break;
        case win::VK_DELETE:
            if (SelectionStart < SelectionEnd)
                DeleteSelection();
            else
                DeleteChar(FCaretIndex);
            Update();
            break;
        case win::VK_F1:
            if (shift) {
                ShrinkFont();
                Update();
            }
            break;
        case win::VK_F2:
            if (shift) {
                GrowFont();
                Update();
            }
            break;
        default: break;
    }
    if (moveKey && FCaretIndex != oldCaret) {
        StyleAt(FCaretIndex - 1, *FCurrentStyle);
        ExtendSelection(oldCaret, shift);
        Update();
    }
    switch (ShortCutOf(Key, Shift)) {
        case scLeft:
            SetParagraphAlignment(0);
            Update();
            break;
        case scCenter:
            SetParagraphAlignment(2);
            Update();
            break;
        case scRight:
            SetParagraphAlignment(1);
            Update();
            break;
        case scJustify:
            SetParagraphAlignment(3);
            Update();
            break;
        case scCopy: CopyToClipboard(); break;
        case scCut:
            CopyToClipboard();
            DeleteSelection();
            Update();
            break;
        case scPaste:
            DeleteSelection();
            PasteFromClipboard();
            Update();
            break;
        case scBold:
            ToggleFontStyle(0);
            Update();
            break;
        case scItalic:
            ToggleFontStyle(1);
            Update();
            break;
        case scUnderline:
            ToggleFontStyle(2);
            Update();
            break;
        case scFont:
            if (FSingleStyle) break;
            {
                cl::TFontDialog dialog(nullptr);
                cl::TFont* font = dialog.GetFont();
                font->SetName(FCurrentStyle->GetFontName());
                font->SetHeight(FCurrentStyle->FontHeight);
                font->SetStyle(FCurrentStyle->FontStyle);
                font->SetColor(FCurrentStyle->FontColor);
                if (dialog.Execute()) SetSelectionFont(dialog.GetFont());
            }
            Update();
            break;
        case scBack:
            if (FSingleStyle) break;
            {
                cl::TColorDialog dialog(nullptr);
                dialog.SetColor(FCurrentStyle->BackColor);
                if (dialog.Execute()) SetSelectionBackColor(dialog.GetColor());
            }
            Update();
            break;
        default: break;
    }
    cl::TCustomControl::KeyDown(Key, Shift);
}

void TIETextControl::KeyPress(char& Key) {
    const auto code = static_cast<uint8_t>(Key);
    if (code >= 32 && code != 127) {
        DeleteSelection();
        if (!InsertMode) DeleteChar(FCaretIndex);
        if (code < 0x80)
            InsertChar(Key);
        else  // a character of the single-byte code page
            InsertText(win::CodePageToUtf8(1252, std::string(1, Key)));
    }
    Paint();
}

// ---------------------------------------------------------------------------------------
// Mouse

void TIETextControl::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    cl::TCustomControl::MouseDown(Button, Shift, X, Y);
    if (!Focused() && CanFocus()) SetFocus();
    if (Shift & cl::ssShift) {
        CaretFromPoint(FMouseAnchorX, FMouseAnchorY);
        const int32_t remembered = FCaretIndex;
        CaretFromPoint(X, Y);
        if (FCaretIndex != remembered) {
            ExtendSelection(remembered, true);
            Update();
        }
        FMouseAnchorX = X;
        FMouseAnchorY = Y;
    } else {
        FMouseAnchorX = X;
        FMouseAnchorY = Y;
        SelectionStart = SelectionEnd = 0;
        CaretFromPoint(X, Y);
    }
    Update();
    DoCursorMoved();
}

void TIETextControl::MouseMove(cl::TShiftState Shift, int X, int Y) {
    cl::TCustomControl::MouseMove(Shift, X, Y);
    if (!GetMouseCapture()) return;
    SelectionStart = SelectionEnd = 0;
    CaretFromPoint(FMouseAnchorX, FMouseAnchorY);
    const int32_t remembered = FCaretIndex;
    CaretFromPoint(X, Y);
    if (FCaretIndex != remembered) {
        ExtendSelection(remembered, true);
        Update();
    }
    DoCursorMoved();
}

void TIETextControl::SelectWordAtCaret() {
    if (FTextLength == 0) return;
    SelectionStart = SelectionEnd = 0;
    // From inside the word: a caret on a word's first character would otherwise find the
    // start of the word before it.
    if (FCaretIndex < FTextLength && Byte(TextBuffer, FCaretIndex) > 32) FCaretIndex += CharSpan(FCaretIndex);
    WordLeft();
    const int32_t start = FCaretIndex;
    WordRight();
    int32_t i = FCaretIndex;
    while (i > 0 && Byte(TextBuffer, std::min(i, FTextLength - 1)) <= 32) --i;
    ++i;
    FCaretIndex = std::min(i, FTextLength);
    StyleAt(FCaretIndex - 1, *FCurrentStyle);
    SelectionStart = start;
    SelectionEnd = FCaretIndex;
    if (SelectionEnd < SelectionStart) std::swap(SelectionStart, SelectionEnd);
    Update();
}

void TIETextControl::DoCursorMoved() {
    if (OnCursorMoved) OnCursorMoved(this);
}

// ---------------------------------------------------------------------------------------
// Clipboard

void TIETextControl::CopyToClipboard() {
    const int32_t from = std::clamp(SelectionStart, 0, FTextLength);
    const int32_t to = std::clamp(SelectionEnd, from, FTextLength);
    if (from >= to) return;
    if (!IEOpenClipboard()) return;
    ClipboardCloser closer;
    win::EmptyClipboard();
    const auto n = static_cast<size_t>(to - from);
    // The plain text, line feeds as carriage return and line feed.
    if (win::HGLOBAL h = win::GlobalAlloc(win::GMEM_MOVEABLE | win::GMEM_DDESHARE, 2 * n + 1)) {
        auto* p = static_cast<char*>(win::GlobalLock(h));
        std::memset(p, 0, 2 * n + 1);
        size_t k = 0;
        for (int32_t i = from; i < to; ++i) {
            const char c = TextBuffer[static_cast<size_t>(i)];
            if (c == '\n') p[k++] = '\r';
            p[k++] = c;
        }
        p[k] = 0;
        win::GlobalUnlock(h);
        if (!win::SetClipboardData(win::CF_TEXT, h)) win::GlobalFree(h);
    }
    // The styled text: the characters, a zero, then each character's record.
    if (win::HGLOBAL h = win::GlobalAlloc(win::GMEM_MOVEABLE | win::GMEM_DDESHARE, n * 281 + 1)) {
        auto* p = static_cast<uint8_t*>(win::GlobalLock(h));
        std::memcpy(p, TextBuffer.data() + from, n);
        p[n] = 0;
        for (size_t i = 0; i < n; ++i) {
            TIECharStyle rec;
            if (const TIECharStyle* r = RecordOf(from + static_cast<int32_t>(i)))
                rec = *r;
            else
                rec = *FCurrentStyle;
            std::memcpy(p + n + 1 + i * sizeof(TIECharStyle), &rec, sizeof rec);
        }
        win::GlobalUnlock(h);
        if (!win::SetClipboardData(MemoFormat(), h)) win::GlobalFree(h);
    }
}

bool TIETextControl::PasteMemo(win::HANDLE Data) {
    if (!Data) return false;
    const size_t size = win::GlobalSize(Data);
    const auto* p = static_cast<const uint8_t*>(win::GlobalLock(Data));
    if (!p) return false;
    std::string text;
    std::vector<TIECharStyle> styles;
    const bool ok = IEParseTextMemoBlock(p, size, text, styles);
    win::GlobalUnlock(Data);
    if (!ok) return false;
    // Broken UTF-8 sequences are replaced byte for byte, so the records stay in step.
    text = ValidUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<const TIECharStyle*> refs(styles.size());
    for (size_t i = 0; i < styles.size(); ++i) {
        // A record from outside with a background style this system does not have draws solid.
        if (styles[i].BackStyle > cl::bsDiagCross) styles[i].BackStyle = cl::bsSolid;
        refs[i] = &styles[i];
    }
    InsertStyled(text, refs);
    return true;
}

void TIETextControl::PastePlain(win::HANDLE Data) {
    if (!Data) return;
    const size_t size = win::GlobalSize(Data);
    const auto* p = static_cast<const uint8_t*>(win::GlobalLock(Data));
    if (!p) return;
    const void* zero = std::memchr(p, 0, size);
    const size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : size;
    std::string bytes;
    bytes.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (p[i] != '\r') bytes.push_back(static_cast<char>(p[i]));
    win::GlobalUnlock(Data);
    InsertText(ValidUtf8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void TIETextControl::PasteFromClipboard() {
    if (!IEOpenClipboard()) return;
    ClipboardCloser closer;
    const win::UINT memo = MemoFormat();
    if (memo && win::IsClipboardFormatAvailable(memo) && PasteMemo(win::GetClipboardData(memo))) return;
    // A memo block smaller than its own text and records say is not used: the plain text is.
    if (win::IsClipboardFormatAvailable(win::CF_TEXT)) PastePlain(win::GetClipboardData(win::CF_TEXT));
}

// ---------------------------------------------------------------------------------------
// Message handlers

void TIETextControl::RegisterHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        const cl::TClass& C = StaticClass();
        cl::RegisterMessageHandler(C, win::WM_SIZE, [](cl::TObject* s, cl::TMessage& m) {
            cl::InheritedDispatch(StaticClass(), s, m);
            static_cast<TIETextControl*>(s)->Update();
        });
        cl::RegisterMessageHandler(C, win::WM_ERASEBKGND, [](cl::TObject*, cl::TMessage& m) { m.Result = 0; });
        cl::RegisterMessageHandler(C, win::WM_KILLFOCUS, [](cl::TObject* s, cl::TMessage& m) {
            cl::InheritedDispatch(StaticClass(), s, m);
            win::HideCaret(static_cast<TIETextControl*>(s)->GetHandle());
            win::DestroyCaret();
        });
        cl::RegisterMessageHandler(C, win::WM_LBUTTONDBLCLK, [](cl::TObject* s, cl::TMessage& m) {
            cl::InheritedDispatch(StaticClass(), s, m);
            static_cast<TIETextControl*>(s)->SelectWordAtCaret();
        });
        // Cut, copy and paste messages act as their shortcuts.
        cl::RegisterMessageHandler(C, win::WM_CUT, [](cl::TObject* s, cl::TMessage&) {
            uint16_t key = 'X';
            static_cast<TIETextControl*>(s)->KeyDown(key, cl::ssCtrl);
        });
        cl::RegisterMessageHandler(C, win::WM_COPY, [](cl::TObject* s, cl::TMessage&) {
            uint16_t key = 'C';
            static_cast<TIETextControl*>(s)->KeyDown(key, cl::ssCtrl);
        });
        cl::RegisterMessageHandler(C, win::WM_PASTE, [](cl::TObject* s, cl::TMessage&) {
            uint16_t key = 'V';
            static_cast<TIETextControl*>(s)->KeyDown(key, cl::ssCtrl);
        });
        cl::RegisterMessageHandler(C, cl::CM_WANTSPECIALKEY, [](cl::TObject* s, cl::TMessage& m) {
            cl::InheritedDispatch(StaticClass(), s, m);
            const auto key = static_cast<uint16_t>(m.WParam);
            if (key == win::VK_TAB || (key >= 33 && key <= 40)) {
                m.Result = 1;
                uint16_t k = key;
                static_cast<TIETextControl*>(s)->KeyUp(k, cl::KeyboardShiftState());
            }
        });
        cl::RegisterMessageHandler(C, cl::CN_CHAR, [](cl::TObject* s, cl::TMessage& m) {
            char ch = static_cast<char>(m.WParam);
            static_cast<TIETextControl*>(s)->KeyPress(ch);
            m.Result = 1;
        });
    });
}

// ---------------------------------------------------------------------------------------
// The single-line editor

TIEEdit::TIEEdit(cl::TComponent* AOwner) : cl::TEdit(AOwner) { RegisterHandlers(); }

void TIEEdit::NoteTyping(const cl::String& Before) {
    if (FCanUndo || Before == GetText()) return;
    FUndoText = Before;
    FCanUndo = true;
}

void TIEEdit::KeyDown(uint16_t& Key, cl::TShiftState Shift) {
    const cl::String before = GetText();
    FOwnChange = true;
    cl::TEdit::KeyDown(Key, Shift);
    FOwnChange = false;
    NoteTyping(before);
}

void TIEEdit::KeyPress(char& Key) {
    if (Key == '\t') {
        Key = 0;
        return;
    }
    const cl::String before = GetText();
    FOwnChange = true;
    cl::TEdit::KeyPress(Key);
    FOwnChange = false;
    NoteTyping(before);
}

void TIEEdit::TextChanged() {
    // A text set in code starts a new history.
    if (!FOwnChange) {
        FCanUndo = false;
        FUndoText.clear();
    }
    cl::TEdit::TextChanged();
}

void TIEEdit::Undo() {
    if (!FCanUndo) return;
    cl::String typed = GetText();
    FOwnChange = true;
    SetText(FUndoText);
    FOwnChange = false;
    FUndoText = std::move(typed);
}

void TIEEdit::RegisterHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        const cl::TClass& C = StaticClass();
        cl::RegisterMessageHandler(C, win::WM_UNDO, [](cl::TObject* s, cl::TMessage& m) {
            auto* e = static_cast<TIEEdit*>(s);
            m.Result = e->CanUndo() ? 1 : 0;
            e->Undo();
        });
        // Tab and the movement keys stay in the editor.
        cl::RegisterMessageHandler(C, cl::CM_WANTSPECIALKEY, [](cl::TObject* s, cl::TMessage& m) {
            cl::InheritedDispatch(StaticClass(), s, m);
            const auto key = static_cast<uint16_t>(m.WParam);
            if (key == win::VK_TAB || (key >= 33 && key <= 40)) {
                m.Result = 1;
                uint16_t k = key;
                static_cast<TIEEdit*>(s)->KeyUp(k, cl::KeyboardShiftState());
            }
        });
    });
}

}  // namespace ie
