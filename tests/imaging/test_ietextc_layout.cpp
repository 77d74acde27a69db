// The rich-text control's layout on the fixed-metric test font: line breaks at spaces and
// inside words too long for the box, the four alignments, line feeds, spacing and fixed line
// heights, margins, captured text, zoom, and what is drawn where (glyph boxes, character
// backgrounds, the inverted selection, the frame).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ietextc_testutil.h"

namespace ie {
namespace {

using test::TextControlTest;

class TextLayoutTest : public TextControlTest {
protected:
    // A windowless control holding `text` in the default style with alignment `align`.
    std::unique_ptr<TIETextControl> Make(const std::string& text, uint8_t align = 0) {
        auto c = std::make_unique<TIETextControl>(nullptr);
        PlainColours(c.get());
        c->DefaultAlignment = align;
        c->TextBuffer = text;
        c->ResetText();
        return c;
    }

    // Lays the control out in a box of w x h at (left, top) of a white bitmap.
    void Layout(TIETextControl* c, int w, int h, int left = 0, int top = 0) {
        bmp_ = std::make_unique<cl::TBitmap>();
        bmp_->SetPixelFormat(cl::pf24bit);
        bmp_->SetSize(2 * (left + w) + 20, 2 * (top + h) + 20);
        bmp_->GetCanvas()->GetBrush()->SetColor(cl::clWhite);
        bmp_->GetCanvas()->FillRect(cl::TRect{0, 0, bmp_->GetWidth(), bmp_->GetHeight()});
        TIECanvas canvas(bmp_->GetCanvas(), false, false);
        c->LayoutAndDraw(&canvas, left, top, w, h);
    }

    cl::TColor At(int x, int y) { return bmp_->GetCanvas()->Pixels(x, y); }

    // Pixels of colour `c` in a rectangle of the bitmap.
    int Count(const cl::TRect& r, cl::TColor c) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) == c) ++n;
        return n;
    }

    static std::vector<int> Xs(const TIETextControl* c) {
        std::vector<int> v;
        for (int i = 0; i < c->GetTextLength(); ++i) v.push_back(c->GetCharX(i));
        return v;
    }
    static std::vector<int> Ys(const TIETextControl* c) {
        std::vector<int> v;
        for (int i = 0; i < c->GetTextLength(); ++i) v.push_back(c->GetCharY(i));
        return v;
    }

    std::unique_ptr<cl::TBitmap> bmp_;
};

// A box of width w has the inner width w - 2 and the left inset 1: a character at x fits when
// x + 7 + 2 is below the inner width. Line tops are 1, 14, 27 (the test font is 13 high).
TEST_F(TextLayoutTest, LineBreaksAndAlignments) {
    struct Case {
        const char* name;
        std::string text;
        uint8_t align;
        int width;
        std::vector<int> x, y;
    };
    // clang-format off
    const Case cases[] = {
        // One word wider than the box is cut where a character no longer fits.
        {"cut word", "abcdefghij", 0, 42, {1, 8, 15, 22, 29, 1, 8, 15, 22, 29}, {1, 1, 1, 1, 1, 14, 14, 14, 14, 14}},
        // Room for "abc", the space and one more letter: the line breaks after the space.
        {"at space", "abc def", 0, 42, {1, 8, 15, 22, 1, 8, 15}, {1, 1, 1, 1, 14, 14, 14}},
        // Right: the first line's right edge is the end of "c", not of the space (40 - 22 - 1).
        {"right", "abc def", 1, 42, {18, 25, 32, 39, 18, 25, 32}, {1, 1, 1, 1, 14, 14, 14}},
        // Centre: (40 - 22) div 2.
        {"centre", "abc def", 2, 42, {10, 17, 24, 31, 10, 17, 24}, {1, 1, 1, 1, 14, 14, 14}},
        // Justify: the first line's x are scaled by 60 / 51, the last line is not.
        {"justify", "abc def ghi", 3, 62, {1, 9, 17, 25, 33, 42, 50, 58, 1, 8, 15}, {1, 1, 1, 1, 1, 1, 1, 1, 14, 14, 14}},
        // A line feed ends the line (it is measured as a space and stays on its line).
        {"line feed", "ab\ncd", 0, 100, {1, 8, 15, 1, 8}, {1, 1, 1, 14, 14}},
        // An empty paragraph is one line high.
        {"empty line", "a\n\nb", 0, 100, {1, 8, 1, 1}, {1, 1, 14, 27}},
        // Justify leaves a paragraph's only line alone.
        {"justify one line", "ab cd", 3, 100, {1, 8, 15, 22, 29}, {1, 1, 1, 1, 1}},
    };
    // clang-format on
    for (const Case& k : cases) {
        auto c = Make(k.text, k.align);
        Layout(c.get(), k.width, 60);
        EXPECT_EQ(Xs(c.get()), k.x) << k.name;
        EXPECT_EQ(Ys(c.get()), k.y) << k.name;
    }
}

TEST_F(TextLayoutTest, SpacingFixedHeightsAndMargins) {
    auto c = Make("ab\ncd");
    c->LineSpacing = 4;
    Layout(c.get(), 100, 60);
    EXPECT_EQ(c->GetCharY(3), 1 + 13 + 4);

    c = Make("ab\ncd");
    c->FixedLineHeight = 20;
    Layout(c.get(), 100, 60);
    EXPECT_EQ(c->GetCharY(3), 21);
    EXPECT_EQ(c->GetCharHeight(0), 20);
    // No internal leading: the baseline is the line's top plus its height (21), so the glyph
    // box of "a" spans rows 13 .. 20.
    EXPECT_EQ(At(3, 13), cl::clBlack);
    EXPECT_EQ(At(3, 20), cl::clBlack);
    EXPECT_EQ(At(3, 21), cl::clWhite);

    // Margins in percent of the box: left 10 % of 100, top 20 % of 50.
    c = Make("abc");
    c->TextMargins[0] = 10;
    c->TextMargins[1] = 20;
    Layout(c.get(), 100, 50);
    EXPECT_EQ(c->GetCharX(0), 11);
    EXPECT_EQ(c->GetCharY(0), 11);
    EXPECT_EQ(c->GetCharX(2), 25);
}

TEST_F(TextLayoutTest, TooNarrowBoxes) {
    // Width 1: no layout and no frame at all.
    auto c = Make("abc");
    Layout(c.get(), 1, 30);
    EXPECT_EQ(c->GetCharX(0), -1);
    EXPECT_EQ(Count(cl::TRect{0, 0, 20, 40}, cl::clBlack), 0);
    // Narrower than one character: the frame, and the walk stops at the first character.
    c = Make("abc");
    Layout(c.get(), 6, 30);
    EXPECT_EQ(c->GetCharX(1), -1);
    EXPECT_EQ(c->GetCharX(2), -1);
    EXPECT_EQ(Count(cl::TRect{1, 1, 5, 29}, cl::clBlack), 0);
    EXPECT_EQ(At(0, 10), cl::clBlack);
    EXPECT_EQ(At(5, 10), cl::clBlack);
}

TEST_F(TextLayoutTest, CaretPlacement) {
    struct Case {
        std::string text;
        int caret;
        int x, y;
    };
    const Case cases[] = {
        {"abc", 0, 1, 1},           {"abc", 2, 15, 1}, {"abc", 3, 22, 1},  // after the last character
        {"ab\ncd", 2, 15, 1},                                              // before the line feed
        {"ab\ncd", 3, 1, 14},        // after the line feed: the start of the next line
        {"ab\n", 3, 1, 14},          // after a final line feed too
        {"\nab", 0, 1, 1},           // on a leading line feed
        {"abc def", 4, 1, 14},       // the first character of a wrapped line
        {"abcdefghij", 10, 36, 14},  // the end of a cut word
    };
    for (const Case& k : cases) {
        auto c = Make(k.text);
        c->SetCaretIndex(k.caret);
        Layout(c.get(), 42, 60);
        EXPECT_EQ(c->GetCaretX(), k.x) << k.text << " @" << k.caret;
        EXPECT_EQ(c->GetCaretY(), k.y) << k.text << " @" << k.caret;
        EXPECT_EQ(c->GetCaretHeight(), 13) << k.text << " @" << k.caret;
        // The entry at the caret is the caret's position.
        EXPECT_EQ(c->GetCharX(k.caret), k.x);
        EXPECT_EQ(c->GetCharY(k.caret), k.y);
    }
    // Without text the caret stands at the insets, as high as the canvas's font.
    auto c = Make("");
    Layout(c.get(), 42, 60);
    EXPECT_EQ(c->GetCaretX(), 1);
    EXPECT_EQ(c->GetCaretY(), 1);
    EXPECT_EQ(c->GetCaretHeight(), 13);
}

TEST_F(TextLayoutTest, CapturedTextStopsBelowTheBox) {
    // Three lines of five; a box 30 high holds two (the inner height is 28: the third
    // baseline, 38, lies below 1 + 28).
    auto c = Make("abcdefghijklmno");
    c->CaptureText = true;
    Layout(c.get(), 42, 30);
    EXPECT_EQ(c->CapturedText, "abcde\nfghij\n");
    c = Make("ab\ncd");
    c->CaptureText = true;
    Layout(c.get(), 42, 60);
    EXPECT_EQ(c->CapturedText, "ab\ncd");
}

TEST_F(TextLayoutTest, GlyphsBackgroundsAndSelection) {
    auto c = Make("ab");
    c->GetCharBackBrush()->SetColor(cl::clRed);
    c->StyleList.reset();  // the records are made anew from the default font and brush
    c->ResetText();
    c->SetCaretIndex(2);
    // Give "b" a blue font.
    TIECharStyle s;
    ASSERT_TRUE(c->StyleAt(1, s));
    s.FontColor = cl::clBlue;
    c->SetCharStyle(1, s);
    Layout(c.get(), 100, 40);
    // Baseline 1 + 13 - 2 = 12; "a" at pen x 1: its box is x 2 .. 6, rows 4 .. 11; its cell
    // (x 1 .. 7, rows 2 .. 14) is filled with the character background.
    EXPECT_EQ(Count(cl::TRect{2, 4, 7, 12}, cl::clBlack), 40);
    EXPECT_EQ(At(1, 3), cl::clRed);
    EXPECT_EQ(At(7, 14), cl::clRed);
    EXPECT_EQ(At(3, 15), cl::clWhite);
    EXPECT_EQ(Count(cl::TRect{9, 4, 14, 12}, cl::clBlue), 40);
    // The frame: black, 100 x 40.
    EXPECT_EQ(At(0, 20), cl::clBlack);
    EXPECT_EQ(At(99, 20), cl::clBlack);
    EXPECT_EQ(At(50, 39), cl::clBlack);
    EXPECT_EQ(At(100, 20), cl::clWhite);

    // Selected: font and background in their complements.
    c->SelectionStart = 0;
    c->SelectionEnd = 1;
    Layout(c.get(), 100, 40);
    EXPECT_EQ(Count(cl::TRect{2, 4, 7, 12}, cl::clWhite), 40);
    EXPECT_EQ(At(1, 3), static_cast<cl::TColor>(0xFFFF00));  // the complement of red
    EXPECT_EQ(Count(cl::TRect{9, 4, 14, 12}, cl::clBlue), 40);
}

TEST_F(TextLayoutTest, BoxOffsetAndClip) {
    // Drawn at (20, 10) in a box 12 high: the text moves with the box and is clipped to the
    // inner box, whose last row (10 + 1 + 10) the glyphs' last row (baseline 22, less 1) would
    // reach; the red frame there stays.
    auto c = Make("abcdefghij");
    c->GetFramePen()->SetColor(cl::clRed);
    Layout(c.get(), 42, 12, 20, 10);
    EXPECT_EQ(c->GetCharX(0), 1);  // positions are relative to the box
    EXPECT_EQ(Count(cl::TRect{22, 14, 27, 21}, cl::clBlack), 35);
    EXPECT_EQ(At(23, 21), cl::clRed);
    EXPECT_EQ(At(20, 15), cl::clRed);
}

TEST_F(TextLayoutTest, ZoomDoublesTheBoxPositionsAndCaret) {
    auto c = Make("ab");
    c->SetCaretIndex(2);
    c->TextZoom = 2.0;
    Layout(c.get(), 42, 30);
    // The frame covers 84 x 60.
    EXPECT_EQ(At(83, 30), cl::clBlack);
    EXPECT_EQ(At(40, 59), cl::clBlack);
    EXPECT_EQ(At(84, 30), cl::clWhite);
    EXPECT_EQ(c->GetCharX(0), 2);
    EXPECT_EQ(c->GetCharX(1), 16);
    EXPECT_EQ(c->GetCharY(0), 2);
    EXPECT_EQ(c->GetCaretX(), 30);
    EXPECT_EQ(c->GetCaretY(), 2);
    EXPECT_EQ(c->GetCaretHeight(), 26);
    // "b" is drawn at x 16 on the baseline 24.
    EXPECT_EQ(Count(cl::TRect{17, 16, 22, 24}, cl::clBlack), 40);
}

TEST_F(TextLayoutTest, SingleStyleUsesTheDefaultFontAndAlignment) {
    auto c = Make("abc def");
    TIECharStyle s;
    ASSERT_TRUE(c->StyleAt(0, s));
    s.FontColor = cl::clRed;
    s.Alignment = 1;
    for (int i = 0; i < 7; ++i) c->SetCharStyle(i, s);
    c->SetSingleStyle(true);
    c->DefaultAlignment = 2;
    Layout(c.get(), 42, 40);
    EXPECT_EQ(c->GetCharX(0), 10);                                      // centred
    EXPECT_EQ(Count(cl::TRect{2 + 9, 4, 7 + 9, 12}, cl::clBlack), 40);  // the default font's colour
}

TEST_F(TextLayoutTest, MultiByteCharactersAreOneGlyph) {
    // "aéb": the two bytes of é are one character seven pixels wide.
    auto c = Make(
        "a\xC3\xA9"
        "b");
    c->CaptureText = true;
    Layout(c.get(), 100, 30);
    EXPECT_EQ(c->GetCharX(1), 8);
    EXPECT_EQ(c->GetCharX(3), 15);
    EXPECT_EQ(c->GetCharWidth(2), 0);
    EXPECT_EQ(c->CapturedText,
              "a\xC3\xA9"
              "b");
    EXPECT_EQ(Count(cl::TRect{9, 4, 14, 12}, cl::clBlack), 40);
    // A broken byte is drawn as one character of its own.
    c = Make(
        "a\xFF"
        "b");
    Layout(c.get(), 100, 30);
    EXPECT_EQ(c->GetCharX(2), 15);
}

}  // namespace
}  // namespace ie
