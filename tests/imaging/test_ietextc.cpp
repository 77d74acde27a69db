// The rich-text control on the headless screen: typing, keys and selections through the
// platform's scripted keyboard and mouse, style records per character and their use counts,
// copy and paste through the platform's clipboard (plain text and the styled memo format,
// damaged memo blocks), and what the control paints.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ietextc_testutil.h"
#include "imaging/core/hyieutils_startup.h"
#include "platform/kernel.h"

namespace ie {
namespace {

using test::ScreenRgb;
using test::TextControlTest;

// Puts blocks on the clipboard: format -> bytes.
void PutClipboard(const std::vector<std::pair<win::UINT, std::string>>& blocks) {
    ASSERT_TRUE(win::OpenClipboard(nullptr));
    win::EmptyClipboard();
    for (const auto& [fmt, bytes] : blocks) {
        win::HGLOBAL h = win::GlobalAlloc(win::GMEM_MOVEABLE, bytes.size());
        std::memcpy(win::GlobalLock(h), bytes.data(), bytes.size());
        win::GlobalUnlock(h);
        win::SetClipboardData(fmt, h);
    }
    win::CloseClipboard();
}

// The clipboard's block of a format (empty when absent).
std::string GetClipboard(win::UINT fmt) {
    std::string out;
    if (!win::OpenClipboard(nullptr)) return out;
    if (win::HANDLE h = win::GetClipboardData(fmt)) {
        const auto* p = static_cast<const char*>(win::GlobalLock(h));
        out.assign(p, win::GlobalSize(h));
        win::GlobalUnlock(h);
    }
    win::CloseClipboard();
    return out;
}

TIECharStyle StyleWith(const TIETextControl* c, cl::TColor color, int height) {
    TIECharStyle s = *c->GetCurrentStyle();
    s.FontColor = color;
    s.FontHeight = height;
    return s;
}

TEST_F(TextControlTest, TypingCreatesTheTextWithTheCurrentStyle) {
    TIETextControl* c = MakeControl(200, 60, "");
    ASSERT_EQ(c->GetTextLength(), 0);
    Type("ab");
    EXPECT_EQ(c->TextBuffer, "ab");
    EXPECT_EQ(c->GetCaretIndex(), 2);
    ASSERT_TRUE(c->StyleList);
    ASSERT_EQ(c->StyleList->size(), 1u);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 2);
    EXPECT_TRUE((*c->StyleList)[0].SameAs(*c->GetCurrentStyle()));
    EXPECT_EQ(c->CharStyles[0], 0);
    EXPECT_EQ(c->CharStyles[1], 0);
    // Enter starts a new paragraph.
    PressKey(win::VK_RETURN);
    Type("C");
    EXPECT_EQ(c->TextBuffer, "ab\nC");
}

// The same through an input script (as LUMETRA_INPUT gives one): "Hi", a space, then
// Backspace, Home and a Delete.
TEST_F(TextControlTest, ScriptedKeys) {
    TIETextControl* c = MakeControl(200, 60, "");
    const int64_t t = win::ClockNowTicks() / win::kTicksPerMs;
    auto at = [t](int ms) { return std::to_string(t + ms); };
    ASSERT_TRUE(win::test::SetInputScript(at(100) + " key 0x48; " + at(200) + " key 0x49; " + at(300) + " key 0x20; " +
                                          at(400) + " key 0x08; " + at(500) + " key 0x24; " + at(600) + " key 0x2E"));
    RunUntil(t + 1000);
    EXPECT_EQ(c->TextBuffer, "i");
    EXPECT_EQ(c->GetCaretIndex(), 0);
}

TEST_F(TextControlTest, OverwriteModeReplacesTheCharacterAtTheCaret) {
    TIETextControl* c = MakeControl(200, 60, "abc");
    c->SetCaretIndex(1);
    PressKey(win::VK_INSERT);
    EXPECT_FALSE(c->InsertMode);
    Type("X");
    EXPECT_EQ(c->TextBuffer, "aXc");
    EXPECT_EQ(c->GetCaretIndex(), 2);
    // The replaced character gave up its use of the record.
    EXPECT_EQ((*c->StyleList)[0].UseCount, 3);
}

// Key sequences from a caret, with the text, caret and selection they leave. The text "abc
// def\nghi jk" is laid out in a box wide enough for each paragraph on one line.
TEST_F(TextControlTest, KeysMoveSelectAndDelete) {
    struct Step {
        int modifier;  // 0, VK_SHIFT or VK_CONTROL
        int vk;
    };
    struct Case {
        const char* name;
        int caret;
        std::vector<Step> keys;
        std::string text;
        int caretAfter, selStart, selEnd;
    };
    const int S = win::VK_SHIFT, C = win::VK_CONTROL;
    // clang-format off
    const Case cases[] = {
        {"left", 3, {{0, win::VK_LEFT}}, "abc def\nghi jk", 2, 0, 0},
        {"left at 0", 0, {{0, win::VK_LEFT}}, "abc def\nghi jk", 0, 0, 0},
        {"right", 3, {{0, win::VK_RIGHT}}, "abc def\nghi jk", 4, 0, 0},
        {"right at end", 14, {{0, win::VK_RIGHT}}, "abc def\nghi jk", 14, 0, 0},
        {"home", 5, {{0, win::VK_HOME}}, "abc def\nghi jk", 0, 0, 0},
        {"end", 1, {{0, win::VK_END}}, "abc def\nghi jk", 7, 0, 0},
        {"home second line", 12, {{0, win::VK_HOME}}, "abc def\nghi jk", 8, 0, 0},
        {"ctrl end", 1, {{C, win::VK_END}}, "abc def\nghi jk", 14, 0, 0},
        {"ctrl home", 12, {{C, win::VK_HOME}}, "abc def\nghi jk", 0, 0, 0},
        {"word right", 1, {{C, win::VK_RIGHT}}, "abc def\nghi jk", 3, 0, 0},
        {"word left", 6, {{C, win::VK_LEFT}}, "abc def\nghi jk", 4, 0, 0},
        {"down", 5, {{0, win::VK_DOWN}}, "abc def\nghi jk", 13, 0, 0},
        {"up", 10, {{0, win::VK_UP}}, "abc def\nghi jk", 2, 0, 0},
        {"shift right twice", 1, {{S, win::VK_RIGHT}, {S, win::VK_RIGHT}}, "abc def\nghi jk", 3, 1, 3},
        {"shift left", 4, {{S, win::VK_LEFT}, {S, win::VK_LEFT}}, "abc def\nghi jk", 2, 2, 4},
        {"shift end", 4, {{S, win::VK_END}}, "abc def\nghi jk", 7, 4, 7},
        {"selection dropped", 1, {{S, win::VK_RIGHT}, {0, win::VK_RIGHT}}, "abc def\nghi jk", 3, 0, 0},
        {"backspace", 3, {{0, win::VK_BACK}}, "ab def\nghi jk", 2, 0, 0},
        {"backspace at 0", 0, {{0, win::VK_BACK}}, "abc def\nghi jk", 0, 0, 0},
        {"delete", 3, {{0, win::VK_DELETE}}, "abcdef\nghi jk", 3, 0, 0},
        {"delete line feed", 7, {{0, win::VK_DELETE}}, "abc defghi jk", 7, 0, 0},
        {"backspace selection", 1, {{S, win::VK_RIGHT}, {S, win::VK_RIGHT}, {0, win::VK_BACK}}, "a def\nghi jk", 1, 0, 0},
        {"delete selection", 4, {{S, win::VK_END}, {0, win::VK_DELETE}}, "abc \nghi jk", 4, 0, 0},
    };
    // clang-format on
    for (const Case& k : cases) {
        TIETextControl* c = MakeControl(200, 60, "abc def\nghi jk");
        c->SetCaretIndex(k.caret);
        Repaint(c);
        for (const Step& s : k.keys) {
            if (s.modifier)
                PressWith(s.modifier, s.vk);
            else
                PressKey(s.vk);
            Repaint(c);
        }
        EXPECT_EQ(c->TextBuffer, k.text) << k.name;
        EXPECT_EQ(c->GetCaretIndex(), k.caretAfter) << k.name;
        EXPECT_EQ(c->SelectionStart, k.selStart) << k.name;
        EXPECT_EQ(c->SelectionEnd, k.selEnd) << k.name;
        form_->Free();
        form_ = nullptr;
    }
}

TEST_F(TextControlTest, TypingOverASelectionReplacesIt) {
    TIETextControl* c = MakeControl(200, 60, "abc def");
    c->SetCaretIndex(4);
    PressWith(win::VK_SHIFT, win::VK_END);
    Type("x");
    EXPECT_EQ(c->TextBuffer, "abc x");
}

TEST_F(TextControlTest, MultiByteCharactersMoveAndDeleteWhole) {
    TIETextControl* c = MakeControl(200, 60, "a\xC3\xA9z");
    c->SetCaretIndex(1);
    PressKey(win::VK_RIGHT);
    EXPECT_EQ(c->GetCaretIndex(), 3);
    PressKey(win::VK_LEFT);
    EXPECT_EQ(c->GetCaretIndex(), 1);
    PressKey(win::VK_DELETE);
    EXPECT_EQ(c->TextBuffer, "az");
    // A caret set inside a character moves to its start.
    c->TextBuffer = "\xC3\xA9";
    c->ResetText();
    c->SetCaretIndex(1);
    EXPECT_EQ(c->GetCaretIndex(), 0);
    // A single-byte character from WM_CHAR is taken in the Western code page.
    c->SetCaretIndex(2);
    c->Perform(win::WM_CHAR, 0xE8);
    cl::Application->ProcessMessages();
    EXPECT_EQ(c->TextBuffer, "\xC3\xA9\xC3\xA8");
}

TEST_F(TextControlTest, StyleRecordsAndUseCounts) {
    TIETextControl* c = MakeControl(200, 60, "abcd");
    ASSERT_EQ(c->StyleList->size(), 1u);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 4);
    // Re-styling a character moves its use to the new record.
    const TIECharStyle red = StyleWith(c, cl::clRed, -20);
    c->SetCharStyle(1, red);
    c->SetCharStyle(2, red);
    ASSERT_EQ(c->StyleList->size(), 2u);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 2);
    EXPECT_EQ((*c->StyleList)[1].UseCount, 2);
    EXPECT_EQ(c->FindStyle(red), 1);
    // The same style again changes nothing.
    c->SetCharStyle(1, red);
    EXPECT_EQ((*c->StyleList)[1].UseCount, 2);
    // All characters red: the first record is unused and packing drops it.
    c->SetCharStyle(0, red);
    c->SetCharStyle(3, red);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 0);
    c->PackStyles();
    ASSERT_EQ(c->StyleList->size(), 1u);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 4);
    EXPECT_EQ(c->CharStyles[0], 0);
    EXPECT_EQ(c->CharStyles[3], 0);
    // Deleting releases uses.
    c->DeleteChar(0);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 3);
    // Records compare everything but the use count.
    TIECharStyle a = red, b = red;
    b.UseCount = 99;
    EXPECT_TRUE(a.SameAs(b));
    b.FontName[200] = 1;  // beyond the name's length, still part of the record
    EXPECT_FALSE(a.SameAs(b));
}

TEST_F(TextControlTest, LentTextAndStylesAreMadeWhole) {
    auto c = std::make_unique<TIETextControl>(nullptr);
    c->TextBuffer = std::string("ab\0cd", 5);  // a lent text ends at its first zero
    c->CharStyles = {0, 7, -3};                // indexes naming no record
    c->StyleList = std::make_unique<TIECharStyles>();
    c->ResetText();
    EXPECT_EQ(c->GetTextLength(), 2);
    ASSERT_EQ(c->StyleList->size(), 1u);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 2);
    EXPECT_EQ(c->CharStyles[1], 0);
    TIECharStyle s;
    EXPECT_TRUE(c->StyleAt(1, s));
    EXPECT_TRUE(c->StyleAt(99, s));  // clamped to the last character
    c->TextBuffer.clear();
    c->ResetText();
    EXPECT_FALSE(c->StyleAt(0, s));
}

TEST_F(TextControlTest, StylingShortcutsAndFontSteps) {
    TIETextControl* c = MakeControl(200, 60, "abcd");
    // "b" bold, then Ctrl+B over "bc": the first selected character decides, so the whole
    // selection ends not bold (also "c", which was not bold).
    TIECharStyle bold = *c->GetCurrentStyle();
    bold.FontStyle = 1;
    c->SetCharStyle(1, bold);
    c->SelectionStart = 1;
    c->SelectionEnd = 3;
    PressWith(win::VK_CONTROL, 'B');
    TIECharStyle s;
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(c->StyleAt(i, s));
        EXPECT_EQ(s.FontStyle & 1, 0) << i;
    }
    // Again: now all bold; CurrentStyle is left alone with a selection.
    const uint8_t current = c->GetCurrentStyle()->FontStyle;
    PressWith(win::VK_CONTROL, 'B');
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(c->StyleAt(i, s));
        EXPECT_EQ(s.FontStyle & 1, 1) << i;
    }
    EXPECT_EQ(c->GetCurrentStyle()->FontStyle, current);
    // Without a selection only CurrentStyle changes (italic, underline).
    c->SelectionStart = c->SelectionEnd = 0;
    PressWith(win::VK_CONTROL, 'I');
    PressWith(win::VK_CONTROL, 'U');
    EXPECT_EQ(c->GetCurrentStyle()->FontStyle, current | 2 | 4);
    ASSERT_TRUE(c->StyleAt(0, s));
    EXPECT_EQ(s.FontStyle, 0);

    // Shift+F1 on height 1 stays 1 (0 is skipped); Shift+F2 on -1 gives -2.
    struct FontCase {
        int height, vk, expected;
    };
    const FontCase steps[] = {{1, win::VK_F1, 1},   {2, win::VK_F1, 1},  {-1, win::VK_F2, -2},
                              {-2, win::VK_F1, -1}, {-1, win::VK_F1, 1}, {5, win::VK_F2, 6}};
    for (const FontCase& f : steps) {
        c->SetCharStyle(0, StyleWith(c, cl::clBlack, f.height));
        c->GetCurrentStyle()->FontHeight = f.height;
        c->SelectionStart = 0;
        c->SelectionEnd = 1;
        PressWith(win::VK_SHIFT, f.vk);
        ASSERT_TRUE(c->StyleAt(0, s));
        EXPECT_EQ(s.FontHeight, f.expected) << f.height;
        EXPECT_EQ(c->GetCurrentStyle()->FontHeight, f.expected) << f.height;
    }
}

TEST_F(TextControlTest, SelectionFontAndBackground) {
    TIETextControl* c = MakeControl(200, 60, "abcd");
    c->SelectionStart = 1;
    c->SelectionEnd = 3;
    cl::TFont font;
    font.SetName("Courier New");
    font.SetHeight(-20);
    font.SetStyle(cl::FontStyleBit(cl::fsItalic));
    font.SetColor(cl::clGreen);
    c->SetSelectionFont(&font);
    c->SetSelectionBackColor(cl::clYellow);
    TIECharStyle s;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(c->StyleAt(i, s));
        const bool selected = i == 1 || i == 2;
        EXPECT_EQ(s.GetFontName(), selected ? "Courier New" : c->GetDefaultFont()->GetName()) << i;
        EXPECT_EQ(s.FontHeight, selected ? -20 : c->GetDefaultFont()->GetHeight()) << i;
        EXPECT_EQ(s.FontStyle, selected ? 2 : 0) << i;
        EXPECT_EQ(s.FontColor, selected ? cl::clGreen : cl::clBlack) << i;
        EXPECT_EQ(s.BackColor, selected ? cl::clYellow : cl::clWhite) << i;
    }
    // The typing style follows, and both selected characters share one new record.
    EXPECT_EQ(c->GetCurrentStyle()->GetFontName(), "Courier New");
    EXPECT_EQ(c->GetCurrentStyle()->BackColor, cl::clYellow);
    EXPECT_EQ(c->CharStyles[1], c->CharStyles[2]);
    c->PackStyles();
    EXPECT_EQ(c->StyleList->size(), 2u);
    // Drawn: the selection's characters on yellow once the selection is gone.
    c->SelectionStart = c->SelectionEnd = 0;
    Repaint(c);
    EXPECT_EQ(ScreenAt(c, 8, 3), test::ScreenRgb(cl::clYellow));
    EXPECT_EQ(ScreenAt(c, 1, 3), 0xFFFFFFu);
}

TEST_F(TextControlTest, ParagraphAlignmentShortcuts) {
    TIETextControl* c = MakeControl(200, 60, "ab\ncd\nef");
    c->SetCaretIndex(4);
    struct Case {
        int key;
        uint8_t align;
    };
    for (const Case& k : {Case{'R', 1}, Case{'E', 2}, Case{'J', 3}, Case{'L', 0}}) {
        PressWith(win::VK_CONTROL, k.key);
        TIECharStyle s;
        for (int i = 0; i < 8; ++i) {
            ASSERT_TRUE(c->StyleAt(i, s));
            EXPECT_EQ(s.Alignment, (i >= 3 && i < 6) ? k.align : 0) << char(k.key) << " " << i;
        }
        EXPECT_EQ(c->GetCurrentStyle()->Alignment, k.align);
    }
    // The paragraph's line feed carries the alignment of its line: right-aligned, "cd" ends
    // one pixel short of the inner width 198 (its measured end is 1 + 14).
    PressWith(win::VK_CONTROL, 'R');
    Repaint(c);
    EXPECT_EQ(c->GetCharX(3), 1 + 198 - 15 - 1);
    EXPECT_EQ(c->GetCharX(0), 1);
    EXPECT_EQ(c->GetCharX(6), 1);
}

TEST_F(TextControlTest, CopyPutsPlainAndStyledText) {
    TIETextControl* c = MakeControl(200, 60, "a\nb");
    c->SetCharStyle(2, StyleWith(c, cl::clRed, -20));
    c->SelectionStart = 0;
    c->SelectionEnd = 3;
    PressWith(win::VK_CONTROL, 'C');
    EXPECT_EQ(GetClipboard(win::CF_TEXT), std::string("a\r\nb\0\0", 7));  // 2n + 1 bytes
    const std::string memo = GetClipboard(IETextMemoClipboardFormat);
    ASSERT_EQ(memo.size(), 844u);
    EXPECT_EQ(memo.substr(0, 4), std::string("a\nb\0", 4));
    TIECharStyle rec;
    std::memcpy(&rec, memo.data() + 4 + 2 * 280, sizeof rec);
    EXPECT_EQ(rec.FontColor, cl::clRed);
    EXPECT_EQ(rec.FontHeight, -20);
    EXPECT_EQ(rec.UseCount, 1);

    // Pasted into another control, each character gets its own style back.
    form_->Free();
    form_ = nullptr;
    TIETextControl* d = MakeControl(200, 60, "xy");
    d->SetCaretIndex(1);
    PressWith(win::VK_CONTROL, 'V');
    EXPECT_EQ(d->TextBuffer, "xa\nby");
    EXPECT_EQ(d->GetCaretIndex(), 4);
    TIECharStyle s;
    ASSERT_TRUE(d->StyleAt(3, s));
    EXPECT_EQ(s.FontColor, cl::clRed);
    EXPECT_EQ(s.FontHeight, -20);
    ASSERT_TRUE(d->StyleAt(1, s));
    EXPECT_EQ(s.FontColor, cl::clBlack);
    EXPECT_EQ(d->GetCurrentStyle()->FontColor, cl::clRed);  // the last pasted record's

    // Cut: copied, then gone.
    d->SelectionStart = 0;
    d->SelectionEnd = 2;
    PressWith(win::VK_CONTROL, 'X');
    EXPECT_EQ(d->TextBuffer, "\nby");
    EXPECT_EQ(GetClipboard(win::CF_TEXT), std::string("xa\0\0\0", 5));
    // Nothing selected: copying leaves the clipboard alone.
    PressWith(win::VK_CONTROL, 'C');
    EXPECT_EQ(GetClipboard(win::CF_TEXT), std::string("xa\0\0\0", 5));
}

TEST_F(TextControlTest, PastePlainText) {
    TIETextControl* c = MakeControl(200, 60, "");
    PutClipboard({{win::CF_TEXT, std::string("x\r\ny\0junk", 9)}});
    PressWith(win::VK_CONTROL, 'V');
    EXPECT_EQ(c->TextBuffer, "x\ny");
    // The paste message works like the shortcut; broken UTF-8 becomes '?'; a block without a
    // terminating zero ends with the block.
    PutClipboard({{win::CF_TEXT, std::string("\xC3z\xE2\x82\xAC", 5)}});
    c->Perform(win::WM_PASTE);
    EXPECT_EQ(c->TextBuffer, "x\ny?z\xE2\x82\xAC");
    // A clipboard held open elsewhere: nothing happens.
    ASSERT_TRUE(win::OpenClipboard(form_->GetHandle()));
    c->PasteFromClipboard();
    win::CloseClipboard();
    EXPECT_EQ(c->TextBuffer, "x\ny?z\xE2\x82\xAC");
}

// A memo block smaller than its text and records say is not trusted: the plain text is pasted.
TEST_F(TextControlTest, ShortMemoBlockFallsBackToPlainText) {
    TIETextControl* c = MakeControl(200, 60, "");
    TIECharStyle red = StyleWith(c, cl::clRed, -20);
    std::string memo("ab\0", 3);
    memo.append(reinterpret_cast<const char*>(&red), sizeof red);  // one record for two characters
    PutClipboard({{IETextMemoClipboardFormat, memo}, {win::CF_TEXT, std::string("plain\0", 6)}});
    PressWith(win::VK_CONTROL, 'V');
    EXPECT_EQ(c->TextBuffer, "plain");
    TIECharStyle s;
    ASSERT_TRUE(c->StyleAt(0, s));
    EXPECT_EQ(s.FontColor, cl::clBlack);
    // Without a terminating zero in the block as well.
    PutClipboard({{IETextMemoClipboardFormat, std::string("abc")}, {win::CF_TEXT, std::string("!\0", 2)}});
    PressWith(win::VK_CONTROL, 'V');
    EXPECT_EQ(c->TextBuffer, "plain!");
    // The whole block: taken.
    memo.append(reinterpret_cast<const char*>(&red), sizeof red);
    PutClipboard({{IETextMemoClipboardFormat, memo}, {win::CF_TEXT, std::string("no\0", 3)}});
    PressWith(win::VK_CONTROL, 'V');
    EXPECT_EQ(c->TextBuffer, "plain!ab");
    ASSERT_TRUE(c->StyleAt(7, s));
    EXPECT_EQ(s.FontColor, cl::clRed);
    // The two pasted records are equal: one record used twice.
    ASSERT_EQ(c->StyleList->size(), 2u);
    EXPECT_EQ((*c->StyleList)[1].UseCount, 2);
    EXPECT_EQ((*c->StyleList)[0].UseCount, 6);
}

TEST_F(TextControlTest, MouseClicksPlaceTheCaretAndSelect) {
    TIETextControl* c = MakeControl(200, 60, "abc def");
    // The middle of "e" (x 1 + 35 .. 41), on the first line.
    const win::POINT e = ScreenPoint(c, 38, 6);
    win::test::MouseMove(e.x, e.y);
    win::test::MouseButton(win::test::Button::Left, true);
    win::test::MouseButton(win::test::Button::Left, false);
    cl::Application->ProcessMessages();
    EXPECT_EQ(c->GetCaretIndex(), 5);
    EXPECT_TRUE(c->Focused());
    int moved = 0;
    c->OnCursorMoved = [&](cl::TObject*) { ++moved; };
    // Shift+click at "b": the selection runs from the anchor to there.
    const win::POINT b = ScreenPoint(c, 10, 6);
    win::test::Key(win::VK_SHIFT, true);
    win::test::MouseMove(b.x, b.y);
    win::test::MouseButton(win::test::Button::Left, true);
    win::test::MouseButton(win::test::Button::Left, false);
    win::test::Key(win::VK_SHIFT, false);
    cl::Application->ProcessMessages();
    EXPECT_EQ(c->GetCaretIndex(), 1);
    EXPECT_EQ(c->SelectionStart, 1);
    EXPECT_EQ(c->SelectionEnd, 5);
    EXPECT_EQ(moved, 1);
    // Dragging from "a" to "d" selects the characters between (painted between the moves, as
    // a hand is slower than the screen).
    Repaint(c);
    const win::POINT a = ScreenPoint(c, 3, 6), d = ScreenPoint(c, 31, 6);
    win::test::MouseMove(a.x, a.y);
    win::test::MouseButton(win::test::Button::Left, true);
    cl::Application->ProcessMessages();
    Repaint(c);
    win::test::MouseMove(d.x, d.y);
    cl::Application->ProcessMessages();
    win::test::MouseButton(win::test::Button::Left, false);
    cl::Application->ProcessMessages();
    EXPECT_EQ(c->SelectionStart, 0);
    EXPECT_EQ(c->SelectionEnd, 4);
    // Below the text: the last line.
    Repaint(c);
    c->CaretFromPoint(3, 50);
    EXPECT_EQ(c->GetCaretIndex(), 0);
}

TEST_F(TextControlTest, DoubleClickSelectsAWord) {
    struct Case {
        int x;  // client x of the double click on the first line
        int start, end;
    };
    // "abc def": a click anywhere on "def", its first letter too, selects it without the space.
    const Case cases[] = {{38, 4, 7}, {30, 4, 7}, {45, 4, 7}, {10, 0, 3}};
    for (const Case& k : cases) {
        TIETextControl* c = MakeControl(200, 60, "abc def");
        const win::POINT p = ScreenPoint(c, k.x, 6);
        win::test::MouseMove(p.x, p.y);
        win::test::MouseButton(win::test::Button::Left, true);
        win::test::MouseButton(win::test::Button::Left, false);
        cl::Application->ProcessMessages();
        Repaint(c);
        win::test::MouseButton(win::test::Button::Left, true);
        win::test::MouseButton(win::test::Button::Left, false);
        cl::Application->ProcessMessages();
        EXPECT_EQ(c->SelectionStart, k.start) << k.x;
        EXPECT_EQ(c->SelectionEnd, k.end) << k.x;
        form_->Free();
        form_ = nullptr;
    }
}

TEST_F(TextControlTest, PaintsTextSelectionAndCaretOnTheScreen) {
    TIETextControl* c = MakeControl(120, 40, "");
    Type("hi");
    Repaint(c);
    // "h" at pen x 1: its box x 2 .. 6, rows 4 .. 11 of the client area, in the font colour.
    EXPECT_EQ(CountOnScreen(c, win::RECT{2, 4, 7, 12}, 0x000000), 40);
    EXPECT_EQ(CountOnScreen(c, win::RECT{9, 4, 14, 12}, 0x000000), 40);
    EXPECT_EQ(CountOnScreen(c, win::RECT{16, 2, 100, 30}, 0x000000), 0);
    EXPECT_EQ(ScreenAt(c, 0, 20), 0x000000u);  // the frame
    EXPECT_EQ(ScreenAt(c, 50, 20), 0xFFFFFFu);
    // The caret stands after "i", one line high.
    win::test::CaretState caret;
    ASSERT_TRUE(win::test::GetCaretState(&caret));
    EXPECT_EQ(caret.hwnd, c->GetHandle());
    EXPECT_EQ(caret.pos.x, 15);
    EXPECT_EQ(caret.pos.y, 1);
    EXPECT_EQ(caret.height, 13);
    // Selected "h": inverted.
    PressKey(win::VK_HOME);
    PressWith(win::VK_SHIFT, win::VK_RIGHT);
    Repaint(c);
    EXPECT_EQ(CountOnScreen(c, win::RECT{2, 4, 7, 12}, 0xFFFFFF), 40);
    EXPECT_EQ(ScreenAt(c, 1, 3), 0x000000u);
    // Losing the focus takes the caret away.
    form_->SetFocus();
    cl::Application->ProcessMessages();
    EXPECT_FALSE(win::test::GetCaretState(&caret) && caret.hwnd == c->GetHandle());
}

TEST_F(TextControlTest, FillBrushAndBackgroundBitmap) {
    TIETextControl* c = MakeControl(60, 30, "");
    cl::TBitmap back;
    back.SetPixelFormat(cl::pf24bit);
    back.SetSize(200, 100);
    back.GetCanvas()->GetBrush()->SetColor(cl::clLime);
    back.GetCanvas()->FillRect(cl::TRect{0, 0, 200, 100});
    c->BackgroundBitmap = &back;
    c->GetFillBrush()->SetStyle(cl::bsClear);
    c->GetFramePen()->SetStyle(cl::psClear);
    Repaint(c);
    EXPECT_EQ(ScreenAt(c, 30, 15), ScreenRgb(cl::clLime));
    c->GetFillBrush()->SetStyle(cl::bsSolid);
    c->GetFillBrush()->SetColor(cl::clYellow);
    Repaint(c);
    EXPECT_EQ(ScreenAt(c, 30, 15), ScreenRgb(cl::clYellow));
}

TEST_F(TextControlTest, AutoGrowGrowsAVisibleControlToItsText) {
    TIETextControl* c = MakeControl(42, 20, "");
    c->AutoGrow = true;
    c->TextBuffer = "abcdefghijklmno";  // three lines of five
    c->ResetText();
    for (int i = 0; i < 5; ++i) Repaint(c);
    // The third line's baseline is 38 and its descent 3: 38 + 3 + 13.
    EXPECT_EQ(c->GetHeight(), 54);
    // A windowless control (the vector layer's layout engine) keeps its size.
    TIETextControl free(nullptr);
    free.AutoGrow = true;
    free.SetBounds(0, 0, 42, 20);
    free.TextBuffer = "abcdefghijklmno";
    free.ResetText();
    cl::TBitmap bmp;
    bmp.SetSize(100, 100);
    TIECanvas canvas(bmp.GetCanvas(), false, false);
    free.LayoutAndDraw(&canvas, 0, 0, 42, 20);
    EXPECT_EQ(free.GetHeight(), 20);
}

TEST_F(TextControlTest, StartUpRegistersTheMemoFormat) {
    IETextMemoClipboardFormat = 0;
    IETextCRegisterStaticHooks();
    IETextCStaticInit();
    EXPECT_EQ(IETextMemoClipboardFormat, win::RegisterClipboardFormatA("vovozid textmemo"));
    EXPECT_GE(IETextMemoClipboardFormat, 0xC000u);
}

TEST(TextMemoBlock, Parse) {
    std::string text;
    std::vector<TIECharStyle> styles;
    TIECharStyle r;
    r.FontHeight = -13;
    std::string ok("xy\0", 3);
    ok.append(reinterpret_cast<const char*>(&r), sizeof r);
    ok.append(reinterpret_cast<const char*>(&r), sizeof r);
    const auto* p = reinterpret_cast<const uint8_t*>(ok.data());
    ASSERT_TRUE(IEParseTextMemoBlock(p, ok.size(), text, styles));
    EXPECT_EQ(text, "xy");
    ASSERT_EQ(styles.size(), 2u);
    EXPECT_EQ(styles[1].FontHeight, -13);
    // Every cut of the block is refused, except the empty text with its zero.
    for (size_t n = 0; n < ok.size(); ++n) EXPECT_FALSE(IEParseTextMemoBlock(p, n, text, styles)) << n;
    EXPECT_TRUE(IEParseTextMemoBlock(reinterpret_cast<const uint8_t*>("\0"), 1, text, styles));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(IEParseTextMemoBlock(nullptr, 0, text, styles));
}

}  // namespace
}  // namespace ie
