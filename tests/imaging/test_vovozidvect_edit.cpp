// In-place editing of vector texts and memos on the headless screen with scripted keys: F2,
// typing, Enter and Escape (with the editor's own undo), automatic widening, the editor's
// place at several zooms, a memo handed to the rich-text editor and back with its styles,
// the focus, memos painted with their character styles, and the fast drawing that a held
// mouse button switches on until the redraw timer finds it released.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "../classlib/test_Controls_fixture.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidvect.h"
#include "platform/codepage.h"
#include "platform/gdi_testhooks.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

TIEVObjRecord Obj(TIEVObjKind Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const std::string& Text) {
    TIEVObjRecord r;
    r.Kind = Kind;
    r.X1 = X1, r.Y1 = Y1, r.X2 = X2, r.Y2 = Y2;
    r.Text = Text;
    return r;
}

// Draws one object of the view in bitmap coordinates onto a white 120 x 80 bitmap and counts
// the pixels that are not white inside (X1, Y1) - (X2, Y2).
int DrawnInside(TVovozIdVect* V, int32_t h, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    cl::TBitmap b;
    b.SetPixelFormat(cl::pf24bit);
    b.SetSize(120, 80);
    b.GetCanvas()->GetBrush()->SetColor(cl::clWhite);
    b.GetCanvas()->FillRect(cl::TRect{0, 0, 120, 80});
    V->DrawObject(*V->GetObjRecord(h), h, false, 1, nullptr, false, false, &b);
    int n = 0;
    for (int32_t y = Y1; y <= Y2; ++y) {
        const auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
        for (int32_t x = X1; x <= X2; ++x)
            if (row[3 * x] != 255 || row[3 * x + 1] != 255 || row[3 * x + 2] != 255) ++n;
    }
    return n;
}

// A 100 x 80 white picture in a 200 x 150 vector view on a borderless form; the view has the
// focus.
class VectEdit : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        IEGDIPlusEnabled = false;  // exact pixels: the plain rasteriser
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 300, 220);
        view = new TVovozIdVect(form);
        view->SetBorderStyle(cl::bsNone);
        view->SetParent(form);
        view->SetBounds(10, 20, 200, 150);
        view->GetIEBitmap()->Allocate(100, 80, ie24RGB);
        for (int y = 0; y < 80; ++y) std::memset(view->GetIEBitmap()->GetScanline(y), 0xFF, 300);
        view->Update();
        view->OnVectorialChanged = [this](cl::TObject*) { ++changed; };
        view->OnActivateTextEdit = [this](cl::TObject*) { ++activated; };
        view->OnDeactivateTextEdit = [this](cl::TObject*) { ++deactivated; };
        form->Show();
        Pump();
        view->SetFocus();
        Pump();
    }
    void TearDown() override {
        delete form;
        IEGDIPlusEnabled = true;
        ControlsTest::TearDown();
    }
    static void Pump() { cl::Application->ProcessMessages(); }
    static void Press(int Vk) {
        win::test::Key(Vk, true);
        win::test::Key(Vk, false);
        Pump();
    }
    static void Type(const std::string& Letters) {
        for (char c : Letters) Press(c - 'a' + 'A');
    }
    // Adds the object, selects it alone and presses F2 in the view.
    int32_t EditWithF2(const TIEVObjRecord& Rec) {
        const int32_t h = view->AddObjectCopy(Rec);
        view->ClearSelection();
        view->SelectObject(h);
        Press(win::VK_F2);
        return h;
    }

    cl::TForm* form = nullptr;
    TVovozIdVect* view = nullptr;
    int changed = 0, activated = 0, deactivated = 0;
};

TEST_F(VectEdit, F2TypingAndEnterGiveTheObjectTheTypedText) {
    const int32_t h = EditWithF2(Obj(ievkTEXT, 10, 10, 60, 25, "ab"));
    ASSERT_TRUE(view->IsEditingText());
    EXPECT_EQ(view->GetEditing(), h);
    TIEEdit* e = view->GetTextEditor();
    EXPECT_TRUE(e->GetVisible());
    EXPECT_TRUE(e->Focused());
    EXPECT_FALSE(e->Border);
    EXPECT_FALSE(e->Ctl3D);
    EXPECT_EQ(e->GetText(), "ab");
    EXPECT_EQ(activated, 1);
    // The painter leaves the text to the editor and draws only a frame round the box.
    EXPECT_EQ(DrawnInside(view, h, 10, 10, 59, 24), 0);
    EXPECT_EQ(DrawnInside(view, h, 9, 9, 61, 26), 2 * 52 + 2 * 15);
    Type("cd");
    EXPECT_EQ(e->GetText(), "abcd");
    EXPECT_EQ(view->GetObjRecord(h)->Text, "ab");
    Press(win::VK_RETURN);
    EXPECT_EQ(view->GetObjRecord(h)->Text, "abcd");
    EXPECT_FALSE(view->IsEditingText());
    EXPECT_FALSE(e->GetVisible());
    EXPECT_TRUE(view->Focused());
    // Once when the text is given back, once more for Enter.
    EXPECT_EQ(changed, 2);
    EXPECT_EQ(deactivated, 1);
    EXPECT_GT(DrawnInside(view, h, 11, 11, 59, 24), 0);
}

TEST_F(VectEdit, EscapeUndoesTheTypingThenEnds) {
    const int32_t h = EditWithF2(Obj(ievkTEXT, 10, 10, 60, 25, "ab"));
    Type("xy");
    Press(win::VK_BACK);
    EXPECT_EQ(view->GetTextEditor()->GetText(), "abx");
    Press(win::VK_ESCAPE);
    EXPECT_FALSE(view->IsEditingText());
    EXPECT_EQ(view->GetObjRecord(h)->Text, "ab");
    EXPECT_EQ(changed, 1);
}

// The editor's own undo: the text before the typing comes back, a second undo brings the
// typing back, a text set in code starts a new history; Tab never gets into the text.
TEST_F(VectEdit, TheSingleLineEditorUndoesItsTyping) {
    auto* e = new TIEEdit(form);
    e->SetParent(form);
    e->SetBounds(220, 20, 60, 20);
    e->SetText("start");
    EXPECT_FALSE(e->CanUndo());
    EXPECT_EQ(e->Perform(win::WM_UNDO), 0);
    e->SetFocus();
    Pump();
    Type("ab");
    Press(win::VK_TAB);
    EXPECT_EQ(e->GetText(), "startab");
    EXPECT_EQ(e->Perform(win::WM_UNDO), 1);
    EXPECT_EQ(e->GetText(), "start");
    e->Perform(win::WM_UNDO);
    EXPECT_EQ(e->GetText(), "startab");
    e->SetText("new");
    EXPECT_FALSE(e->CanUndo());
    e->Perform(win::WM_UNDO);
    EXPECT_EQ(e->GetText(), "new");
}

TEST_F(VectEdit, F2EditsOnlyEditableTextsAndMemos) {
    struct Case {
        const char* Name;
        TIEVObjKind Kind;
        bool Editable;
        bool Selected;
        bool Edits;
    };
    const Case cases[] = {
        {"box", ievkBOX, true, true, false},           {"text", ievkTEXT, true, true, true},
        {"locked text", ievkTEXT, false, true, false}, {"memo", ievkMEMO, true, true, true},
        {"locked memo", ievkMEMO, false, true, false}, {"nothing selected", ievkTEXT, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TIEVObjRecord r = Obj(c.Kind, 5, 5, 50, 30, "t");
        r.TextEditable = c.Editable;
        const int32_t h = view->AddObjectCopy(r);
        view->ClearSelection();
        if (c.Selected) view->SelectObject(h);
        activated = 0;
        Press(win::VK_F2);
        EXPECT_EQ(view->IsEditingText(), c.Edits);
        EXPECT_EQ(activated, c.Edits ? 1 : 0);
        EXPECT_EQ(view->GetTextEditor()->GetVisible(), c.Edits && c.Kind == ievkTEXT);
        EXPECT_EQ(view->GetMemoEditor()->GetVisible(), c.Edits && c.Kind == ievkMEMO);
        view->CancelInteraction();
        EXPECT_FALSE(view->IsEditingText());
        EXPECT_EQ(view->GetObjRecord(h)->Text, c.Kind == ievkBOX ? "" : "t");  // boxes keep no text
        view->SetFocus();
        Pump();
    }
}

// The test font advances 7 pixels per character, so "M" is 7 wide too.
TEST_F(VectEdit, AutoSizeWidensWhileTypingAndEndsAtTheTextWidth) {
    struct Case {
        double Zoom;
        int32_t Typing2, Typing3, End3;  // X2 with two and three characters, X2 at the end
    };
    const Case cases[] = {
        {100, 10 + 14 + 7, 10 + 21 + 7, 10 + 21},
        {200, 10 + (14 + 7) / 2, 10 + (21 + 7) / 2, 10 + 21 / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Zoom);
        view->SetZoom(c.Zoom);
        Pump();
        TIEVObjRecord r = Obj(ievkTEXT, 10, 10, 40, 20, "ab");
        r.AutoSize = true;
        const int32_t h = EditWithF2(r);
        ASSERT_TRUE(view->IsEditingText());
        EXPECT_EQ(view->GetObjRecord(h)->X2, c.Typing2);
        Type("c");
        EXPECT_EQ(view->GetObjRecord(h)->X2, c.Typing3);
        Press(win::VK_RETURN);
        EXPECT_EQ(view->GetObjRecord(h)->Text, "abc");
        EXPECT_EQ(view->GetObjRecord(h)->X2, c.End3);
    }
}

TEST_F(VectEdit, TheEditorCoversTheObjectAtEveryZoom) {
    for (TIEVObjKind kind : {ievkTEXT, ievkMEMO}) {
        SCOPED_TRACE(kind);
        view->SetZoom(100);
        const int32_t h = EditWithF2(Obj(kind, 12, 8, 47, 30, "text"));
        ASSERT_TRUE(view->IsEditingText());
        cl::TWinControl* e = kind == ievkTEXT ? static_cast<cl::TWinControl*>(view->GetTextEditor())
                                              : static_cast<cl::TWinControl*>(view->GetMemoEditor());
        const int32_t extra = kind == ievkMEMO ? 1 : 0;
        for (double zoom : {100.0, 200.0, 50.0, 300.0}) {
            SCOPED_TRACE(zoom);
            view->SetZoom(zoom);
            Pump();
            const int32_t L = view->BitmapToClientX(12), T = view->BitmapToClientY(8);
            EXPECT_EQ(e->GetLeft(), L);
            EXPECT_EQ(e->GetTop(), T);
            EXPECT_EQ(e->GetWidth(), view->BitmapToClientX(47) - L + extra);
            EXPECT_EQ(e->GetHeight(), view->BitmapToClientY(30) - T + extra);
        }
        EXPECT_EQ(e->GetParent(), view);
        view->CancelInteraction();
        EXPECT_EQ(view->GetObjRecord(h)->Text, "text");
    }
}

TIECharStyle Style(cl::TColor Color, uint8_t FontStyle) {
    TIECharStyle s;
    s.SetFontName("Arial");
    s.FontHeight = -13;
    s.FontColor = Color;
    s.BackColor = 0xFFFFFF;
    s.BackStyle = cl::bsClear;
    s.FontStyle = FontStyle;
    return s;
}

TEST_F(VectEdit, AMemoComesBackFromItsEditorWithItsStyles) {
    TIEVObjRecord r = Obj(ievkMEMO, 5, 5, 90, 60, "xy");
    r.MemoFixedFont = false;
    r.MemoStyles = {Style(0x0000FF, 0), Style(0xFF0000, 1)};
    r.MemoStyles[0].UseCount = 1;
    r.MemoStyles[1].UseCount = 1;
    r.MemoCharStyles = {0, 1};
    r.BrushStyle = cl::bsSolid;
    r.BrushColor = 0x00FF00;
    int moved = 0;
    view->SetOnTextEditCursorMoved([&](cl::TObject*) { ++moved; });
    const int32_t h = EditWithF2(r);
    TIETextControl* m = view->GetMemoEditor();
    ASSERT_TRUE(view->IsEditingText());
    // The view's cursor event is the editor's.
    ASSERT_TRUE(view->GetOnTextEditCursorMoved());
    m->DoCursorMoved();
    EXPECT_EQ(moved, 1);
    // The editor shows the memo: the painter draws nothing of it.
    EXPECT_EQ(DrawnInside(view, h, 0, 0, 119, 79), 0);
    EXPECT_TRUE(m->GetVisible());
    EXPECT_TRUE(m->Focused());
    // The editor holds the text and records while the memo is edited.
    EXPECT_EQ(m->TextBuffer, "xy");
    EXPECT_TRUE(view->GetObjRecord(h)->Text.empty());
    // The focus given to the view goes on to the visible editor.
    view->SetFocus();
    Pump();
    EXPECT_TRUE(m->Focused());
    // A character typed at the start, then a line break (the memo's own), then Escape.
    Type("z");
    Press(win::VK_RETURN);
    EXPECT_TRUE(view->IsEditingText());
    Press(win::VK_ESCAPE);
    EXPECT_FALSE(view->IsEditingText());
    EXPECT_FALSE(m->GetVisible());
    const TIEVObjRecord* o = view->GetObjRecord(h);
    EXPECT_EQ(o->Text, "z\nxy");
    ASSERT_EQ(o->MemoCharStyles.size(), 4u);
    const TIECharStyle& x = o->MemoStyles.at(static_cast<size_t>(o->MemoCharStyles[2]));
    const TIECharStyle& y = o->MemoStyles.at(static_cast<size_t>(o->MemoCharStyles[3]));
    EXPECT_EQ(x.FontColor, 0x0000FF);
    EXPECT_EQ(x.FontStyle, 0);
    EXPECT_EQ(y.FontColor, 0xFF0000);
    EXPECT_EQ(y.FontStyle, 1);
    EXPECT_TRUE(m->TextBuffer.empty());
    EXPECT_EQ(changed, 1);
    // Painted again: the fill inside its white frame, the text on it.
    EXPECT_EQ(DrawnInside(view, h, 5, 5, 90, 60), 84 * 54);
}

// Saving the objects, or removing them with undo on, while a memo is edited keeps the memo's
// text: the edit ends first and gives the text back.
TEST_F(VectEdit, SavingOrRemovingWhileAMemoIsEditedKeepsItsText) {
    for (const bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "remove" : "save");
        view->RemoveAllObjects();
        view->SetObjAutoUndo(remove);
        const int32_t h = EditWithF2(Obj(ievkMEMO, 5, 5, 90, 60, "xy"));
        ASSERT_TRUE(view->IsEditingText());
        ASSERT_TRUE(view->GetObjRecord(h)->Text.empty());
        cl::TMemoryStream saved;
        if (remove) {
            view->RemoveAllObjects();
            ASSERT_EQ(view->GetObjUndoCount(), 1);
            ASSERT_TRUE(view->UndoObjects());
        } else {
            view->SaveObjectsToStream(&saved);
            saved.SetPosition(0);
            ASSERT_TRUE(view->LoadObjectsFromStream(&saved));
        }
        EXPECT_FALSE(view->IsEditingText());
        ASSERT_EQ(view->GetObjectsCount(), 1);
        EXPECT_EQ(view->GetObjRecord(view->GetObjAtDrawPos(0))->Text, "xy");
        view->SetObjAutoUndo(false);
    }
}

// The character set follows the system language: Greek and Russian get their own, others
// leave the fonts alone.
TEST_F(VectEdit, EditingTakesTheCharsetOfTheSystemLanguage) {
    struct Case {
        win::LCID Locale;
        int Charset;  // -1: unchanged
    };
    const Case cases[] = {{0x0408, win::GREEK_CHARSET}, {0x0419, win::RUSSIAN_CHARSET}, {0x0409, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Locale);
        win::SetDefaultLocaleForTesting(c.Locale);
        view->GetFont()->SetCharset(0);
        view->GetTextEditor()->GetFont()->SetCharset(0);
        EditWithF2(Obj(ievkTEXT, 10, 10, 60, 25, "ab"));
        ASSERT_TRUE(view->IsEditingText());
        EXPECT_EQ(view->GetFont()->GetCharset(), c.Charset < 0 ? 0 : c.Charset);
        EXPECT_EQ(view->GetTextEditor()->GetFont()->GetCharset(), c.Charset < 0 ? 0 : c.Charset);
        view->CancelInteraction();
    }
    win::SetDefaultLocaleForTesting(0);
}

TEST_F(VectEdit, TextKeyEventSeesTheEditorsKeysFirst) {
    std::string seen;
    view->OnTextKeyDown = [&](cl::TObject*, uint16_t& Key, cl::TShiftState) {
        seen += std::to_string(Key) + " ";
        if (Key == win::VK_RETURN) Key = 0;  // the application keeps Enter
    };
    const int32_t h = EditWithF2(Obj(ievkTEXT, 10, 10, 60, 25, ""));
    Type("a");
    Press(win::VK_RETURN);
    EXPECT_TRUE(view->IsEditingText());
    Press(win::VK_ESCAPE);
    EXPECT_FALSE(view->IsEditingText());
    EXPECT_EQ(seen, "65 13 27 ");
    EXPECT_EQ(view->GetObjRecord(h)->Text, "");
}

TEST_F(VectEdit, DestroyingTheViewGivesTheTextBack) {
    TVovozIdVect* other = new TVovozIdVect(form);
    other->SetParent(form);
    other->SetBounds(210, 20, 80, 80);
    other->GetIEBitmap()->Allocate(40, 40, ie24RGB);
    TIEVObjRecord r = Obj(ievkMEMO, 2, 2, 30, 30, "kept");
    r.AutoSize = true;
    const int32_t h = other->AddObjectCopy(r);
    other->SelectObject(h);
    other->SetFocus();
    Pump();
    Press(win::VK_F2);
    ASSERT_TRUE(other->IsEditingText());
    std::string atEnd;
    other->OnDeactivateTextEdit = [&](cl::TObject* s) { atEnd = static_cast<TVovozIdVect*>(s)->GetObjRecord(h)->Text; };
    delete other;
    EXPECT_EQ(atEnd, "kept");
}

// ---------------------------------------------------------------------------------------
// Memos painted with their styles

class VectMemoPaint : public ::testing::Test {
protected:
    void SetUp() override { IEGDIPlusEnabled = false; }
    void TearDown() override { IEGDIPlusEnabled = true; }

    // The memo merged into a white 200 x 40 picture.
    static std::unique_ptr<TIEBitmap> Draw(const TIEVObjRecord& Memo) {
        auto v = std::make_unique<TVovozIdVect>(nullptr);
        v->AddObjectCopy(Memo);
        auto b = std::make_unique<TIEBitmap>(200, 40, ie24RGB);
        for (int32_t y = 0; y < 40; ++y) std::memset(b->GetScanline(y), 0xFF, 600);
        v->MergeObjectsInto(b.get(), false, IEV_ALL_OBJECTS);
        return b;
    }
    // Pixels of columns X1 .. X2 - 1 that match.
    template <class Fn>
    static int Count(TIEBitmap& B, int32_t X1, int32_t X2, Fn Match) {
        int n = 0;
        for (int32_t y = 0; y < B.GetHeight(); ++y)
            for (int32_t x = X1; x < X2; ++x)
                if (Match(B.GetPixel24(x, y))) ++n;
        return n;
    }
};

TEST_F(VectMemoPaint, BoldAndColouredRunsShowTheirStyles) {
    // "rrrr" then spaces then "bbbb": the runs lie left and right of column 50.
    const std::string text = "rrrr                bbbb";
    TIEVObjRecord memo = Obj(ievkMEMO, 0, 0, 199, 39, text);
    memo.MemoFixedFont = false;
    memo.BrushStyle = cl::bsClear;
    memo.MemoBorderStyle = cl::psClear;
    win::LOGFONTA lf{};
    lf.lfHeight = -16;
    std::strcpy(lf.lfFaceName, "Arial");
    memo.Font = lf;
    memo.MemoStyles = {Style(cl::clBlack, 0)};
    memo.MemoStyles[0].FontHeight = -16;
    memo.MemoCharStyles.assign(text.size(), 0);
    const std::unique_ptr<TIEBitmap> plain = Draw(memo);

    TIEVObjRecord styled = memo;
    TIECharStyle red = Style(0x0000FF, 0), bold = Style(cl::clBlack, 1);
    red.FontHeight = bold.FontHeight = -16;
    styled.MemoStyles = {memo.MemoStyles[0], red, bold};
    for (size_t i = 0; i < 4; ++i) styled.MemoCharStyles[i] = 1;
    for (size_t i = text.size() - 4; i < text.size(); ++i) styled.MemoCharStyles[i] = 2;
    const std::unique_ptr<TIEBitmap> rich = Draw(styled);

    auto dark = [](const TRGB& p) { return p.r < 100 && p.g < 100 && p.b < 100; };
    auto reddish = [](const TRGB& p) { return p.r > 150 && p.g < 100 && p.b < 100; };
    const int plainLeft = Count(*plain, 0, 50, dark), plainRight = Count(*plain, 50, 200, dark);
    ASSERT_GT(plainLeft, 20);
    ASSERT_GT(plainRight, 20);
    EXPECT_EQ(Count(*plain, 0, 200, reddish), 0);
    // The coloured run: red where the plain memo is dark, nothing dark.
    EXPECT_GT(Count(*rich, 0, 50, reddish), plainLeft / 2);
    EXPECT_EQ(Count(*rich, 0, 50, dark), 0);
    // The bold run: heavier strokes.
    EXPECT_GT(Count(*rich, 50, 200, dark), plainRight + plainRight / 5);
    // The object keeps its text and records.
    EXPECT_EQ(styled.MemoStyles.size(), 3u);
}

TEST_F(VectMemoPaint, AMemoWithoutRecordsDrawsInItsFontColourAndKeepsNone) {
    // Without styles the memo is drawn in its font colour; the object stays without records.
    TIEVObjRecord memo = Obj(ievkMEMO, 0, 0, 199, 39, "memo text");
    memo.PenColor = cl::clBlack;
    memo.BrushStyle = cl::bsClear;
    memo.MemoBorderStyle = cl::psClear;
    auto v = std::make_unique<TVovozIdVect>(nullptr);
    const int32_t h = v->AddObjectCopy(memo);
    TIEBitmap b(200, 40, ie24RGB);
    for (int32_t y = 0; y < 40; ++y) std::memset(b.GetScanline(y), 0xFF, 600);
    v->MergeObjectsInto(&b, false, IEV_ALL_OBJECTS);
    EXPECT_GT(Count(b, 0, 200, [](const TRGB& p) { return p.r < 100; }), 20);
    EXPECT_EQ(v->GetObjRecord(h)->Text, "memo text");
    EXPECT_TRUE(v->GetObjRecord(h)->MemoStyles.empty());
    EXPECT_TRUE(v->GetObjRecord(h)->MemoCharStyles.empty());
}

// ---------------------------------------------------------------------------------------
// Fast drawing while the button is held

TEST_F(VectEdit, FastDrawingLastsWhileThePrimaryButtonIsDown) {
    view->AddObjectCopy(Obj(ievkBOX, 5, 5, 40, 40, ""));
    // The button goes down away from the form: only the view's own painting sees it.
    win::test::MouseMove(600, 400);
    Pump();
    view->Invalidate();
    Pump();
    EXPECT_FALSE(view->FastPending);
    win::test::MouseButton(win::test::Button::Left, true);
    view->Invalidate();
    Pump();
    EXPECT_TRUE(view->FastPending);
    ASSERT_NE(view->GetRedrawTimer(), nullptr);
    EXPECT_TRUE(view->GetRedrawTimer()->GetEnabled());
    EXPECT_EQ(view->GetRedrawTimer()->GetInterval(), 50u);
    RunFor(200);
    EXPECT_TRUE(view->FastPending);
    win::test::MouseButton(win::test::Button::Left, false);
    RunFor(60);
    EXPECT_FALSE(view->FastPending);
    EXPECT_FALSE(view->GetRedrawTimer()->GetEnabled());
    // Without the button a paint stays at full quality.
    view->Invalidate();
    Pump();
    EXPECT_FALSE(view->FastPending);
}

}  // namespace
}  // namespace ie
