// Ctrl+F and Ctrl+G of the rich-text control: the font dialog starts at the typing style and
// the font chosen goes to the selection, the colour dialog starts at the typing style's
// background and the colour chosen becomes the selection's background; Escape changes nothing;
// in SingleStyle mode neither dialog opens.
#include <functional>
#include <string>

#include "classlib/Dialogs.h"
#include "ietextc_testutil.h"

namespace ie::test {
namespace {

class TextControlDialogsTest : public TextControlTest {
protected:
    // Runs Act on the active form (a dialog, when one is open) once 100 ms have passed; the
    // modal loop may run for 5 s.
    static void WhenShown(const std::function<void(cl::TCustomForm*)>& Act) {
        const int64_t at = win::ClockNowTicks() / win::kTicksPerMs + 100;
        win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
        win::test::ScheduleInput(at, [Act] { Act(cl::Screen->GetActiveForm()); });
    }
    // Ctrl released, then a key pressed in the dialog.
    static void Answer(int Key) {
        win::test::Key(win::VK_CONTROL, false);
        win::test::Key(Key, true);
        win::test::Key(Key, false);
    }
    void TearDown() override {
        win::ClockSetHorizon(win::kNoDeadline);
        TextControlTest::TearDown();
    }
};

TEST_F(TextControlDialogsTest, CtrlFGivesTheChosenFontToTheSelection) {
    for (const int key : {win::VK_ESCAPE, win::VK_RETURN}) {
        const bool ok = key == win::VK_RETURN;
        SCOPED_TRACE(ok ? "Enter" : "Escape");
        TIETextControl* c = MakeControl(200, 60, "abcd");
        TIECharStyle typing = *c->GetCurrentStyle();
        typing.SetFontName("Liberation Serif");
        typing.FontHeight = -15;
        typing.FontStyle = 2;  // italic
        typing.FontColor = cl::clNavy;
        *c->GetCurrentStyle() = typing;
        c->SelectionStart = 1;
        c->SelectionEnd = 3;
        bool opened = false;
        WhenShown([&](cl::TCustomForm* Form) {
            auto* f = dynamic_cast<cl::TFontDialogForm*>(Form);
            ASSERT_NE(f, nullptr);
            opened = true;
            // The dialog starts at the typing style.
            EXPECT_EQ(f->FamilyBox->GetSelectedText(), "Liberation Serif");
            EXPECT_EQ(f->SizeEdit->GetText(), "11");
            EXPECT_EQ(f->StyleBox->GetSelectedText(), "Italic");
            EXPECT_EQ(f->ColorBox->GetSelectedText(), "Navy");
            const int family = f->FamilyBox->GetItems()->IndexOf("LumetraTestFont");
            ASSERT_GE(family, 0);
            f->FamilyBox->SelectAsUser(family);
            f->StyleBox->SelectAsUser(2);  // Bold
            f->SizeEdit->SetText("15");
            f->UnderlineCheck->SetChecked(true);
            f->ColorBox->SelectAsUser(3);  // Green
            Answer(key);
        });
        PressWith(win::VK_CONTROL, 'F');
        EXPECT_TRUE(opened);
        TIECharStyle s;
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const bool chosen = ok && (i == 1 || i == 2);
            ASSERT_TRUE(c->StyleAt(i, s));
            EXPECT_EQ(s.GetFontName(), chosen ? "LumetraTestFont" : c->GetDefaultFont()->GetName());
            EXPECT_EQ(s.FontHeight, chosen ? -20 : c->GetDefaultFont()->GetHeight());
            EXPECT_EQ(s.FontStyle, chosen ? 1 | 4 : 0);
            EXPECT_EQ(s.FontColor, chosen ? cl::clGreen : cl::clBlack);
        }
        EXPECT_EQ(c->GetCurrentStyle()->GetFontName(), ok ? "LumetraTestFont" : "Liberation Serif");
        EXPECT_EQ(cl::Screen->GetFormCount(), 1) << "the dialog is freed";
        form_->Free();
        form_ = nullptr;
    }
}

TEST_F(TextControlDialogsTest, CtrlGGivesTheChosenBackgroundToTheSelection) {
    for (const int key : {win::VK_ESCAPE, win::VK_RETURN}) {
        const bool ok = key == win::VK_RETURN;
        SCOPED_TRACE(ok ? "Enter" : "Escape");
        TIETextControl* c = MakeControl(200, 60, "abcd");
        c->GetCurrentStyle()->BackColor = cl::clAqua;
        c->SelectionStart = 2;
        c->SelectionEnd = 4;
        bool opened = false;
        WhenShown([&](cl::TCustomForm* Form) {
            auto* f = dynamic_cast<cl::TColorDialogForm*>(Form);
            ASSERT_NE(f, nullptr);
            opened = true;
            EXPECT_EQ(f->GetColor(), cl::clAqua);
            f->RedEdit->SetText("255");
            f->GreenEdit->SetText("128");
            f->BlueEdit->SetText("0");
            Answer(key);
        });
        PressWith(win::VK_CONTROL, 'G');
        EXPECT_TRUE(opened);
        TIECharStyle s;
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(c->StyleAt(i, s));
            EXPECT_EQ(s.BackColor, ok && i >= 2 ? static_cast<cl::TColor>(0x0080FF) : cl::clWhite) << i;
        }
        if (ok) {
            // Drawn: the restyled characters on the chosen background once the selection is gone.
            c->SelectionStart = c->SelectionEnd = 0;
            Repaint(c);
            EXPECT_EQ(ScreenAt(c, 15, 3), 0xFF8000u);
            EXPECT_EQ(ScreenAt(c, 1, 3), 0xFFFFFFu);
        }
        form_->Free();
        form_ = nullptr;
    }
}

TEST_F(TextControlDialogsTest, SingleStyleOpensNeitherDialog) {
    TIETextControl* c = MakeControl(200, 60, "abcd");
    c->SetSingleStyle(true);
    c->SelectionStart = 0;
    c->SelectionEnd = 4;
    for (const int key : {'F', 'G'}) {
        SCOPED_TRACE(static_cast<char>(key));
        bool opened = false;
        WhenShown([&](cl::TCustomForm* Form) {
            if (dynamic_cast<cl::TFontDialogForm*>(Form) || dynamic_cast<cl::TColorDialogForm*>(Form)) {
                opened = true;
                Answer(win::VK_RETURN);
            }
        });
        PressWith(win::VK_CONTROL, key);
        RunUntil(win::ClockNowTicks() / win::kTicksPerMs + 200);
        EXPECT_FALSE(opened);
    }
    TIECharStyle s;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(c->StyleAt(i, s));
        EXPECT_EQ(s.GetFontName(), c->GetDefaultFont()->GetName());
        EXPECT_EQ(s.BackColor, cl::clWhite);
    }
}

}  // namespace
}  // namespace ie::test
