// The colour and font dialogs on the headless screen: each Execute runs the modal loop while
// scripted input (clicks, keys, values set in the dialog's form) chooses, confirms or cancels;
// OK hands back what was chosen, Cancel, Escape and closing change nothing.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "test_Controls_fixture.h"

namespace cl::testing_controls {
namespace {

class DialogsTest : public ControlsTest {
protected:
    // Runs Act on the dialog's form (the active form) once the modal loop has run for 100 ms.
    template <class F>
    static void WhenShown(const std::function<void(F&)>& Act) {
        const int64_t at = win::ClockNowTicks() / win::kTicksPerMs + 100;
        win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
        win::test::ScheduleInput(at, [Act] {
            auto* f = dynamic_cast<F*>(Screen->GetActiveForm());
            ASSERT_NE(f, nullptr) << "the dialog is not the active form";
            Act(*f);
        });
    }
    static void Click(const TControl* c, int x, int y) {
        const win::POINT p = c->ClientToScreen(win::POINT{x, y});
        win::test::MouseMove(p.x, p.y);
        win::test::MouseButton(win::test::Button::Left, true);
        win::test::MouseButton(win::test::Button::Left, false);
    }
    static void Press(int vk) {
        win::test::Key(vk, true);
        win::test::Key(vk, false);
    }
    void TearDown() override {
        win::ClockSetHorizon(win::kNoDeadline);
        ControlsTest::TearDown();
    }
};

// ---- the colour dialog ------------------------------------------------------------------------

TEST_F(DialogsTest, ColorDialogAnswersTheChosenColourOnlyWhenConfirmed) {
    const TRect cell = TColorDialogForm::CellRect(9);  // the second row's yellow
    // clang-format off
    const struct { const char* Name; std::function<void(TColorDialogForm&)> Act; bool Confirmed; TColor Color; } cases[] = {
        {"a cell, then Enter", [cell](TColorDialogForm& f) { Click(&f, cell.left + 5, cell.top + 5); Press(win::VK_RETURN); },
         true, 0x00FFFF},
        {"values typed, then OK clicked", [](TColorDialogForm& f) {
             f.RedEdit->SetText("12"); f.GreenEdit->SetText("200"); f.BlueEdit->SetText("300");
             Click(f.OKButton, 10, 10); },
         true, static_cast<TColor>(12 | (200 << 8) | (255 << 16))},
        {"a cell, then Escape", [cell](TColorDialogForm& f) { Click(&f, cell.left + 5, cell.top + 5); Press(win::VK_ESCAPE); },
         false, 0x123456},
        {"a cell, then Cancel clicked", [cell](TColorDialogForm& f) {
             Click(&f, cell.left + 5, cell.top + 5); Click(f.CancelButton, 10, 10); },
         false, 0x123456},
        {"a cell, then the form closed", [cell](TColorDialogForm& f) { Click(&f, cell.left + 5, cell.top + 5); f.Close(); },
         false, 0x123456},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TColorDialog dialog(nullptr);
        dialog.SetColor(0x123456);
        WhenShown<TColorDialogForm>(c.Act);
        EXPECT_EQ(dialog.Execute(), c.Confirmed);
        EXPECT_EQ(dialog.GetColor(), c.Color);
        EXPECT_EQ(Screen->GetFormCount(), 0) << "the dialog's form is freed";
    }
}

TEST_F(DialogsTest, ColorDialogShowsTheColourItStartsWith) {
    TColorDialog dialog(nullptr);
    dialog.SetColor(clBtnFace);  // a system colour shows as what it stands for
    const auto face = static_cast<uint32_t>(ColorToRGB(clBtnFace));
    WhenShown<TColorDialogForm>([face](TColorDialogForm& f) {
        EXPECT_EQ(f.GetCaption(), "Color");
        EXPECT_EQ(f.RedEdit->GetText(), IntToStr(face & 0xFF));
        EXPECT_EQ(f.GreenEdit->GetText(), IntToStr((face >> 8) & 0xFF));
        EXPECT_EQ(f.BlueEdit->GetText(), IntToStr((face >> 16) & 0xFF));
        EXPECT_EQ(f.Preview->GetColor(), static_cast<TColor>(face));
        EXPECT_EQ(f.RedEdit->Focused(), true);
        // The preview on the screen, and the chosen cell raised once a basic colour is chosen.
        const win::POINT p = f.Preview->ClientToScreen(win::POINT{40, 24});
        Application->ProcessMessages();
        EXPECT_EQ(At(p.x, p.y), Rgb(static_cast<TColor>(face)));
        f.SetColor(TColorDialogForm::BasicColors[40]);
        EXPECT_EQ(f.GetSelectedCell(), 40);
        EXPECT_EQ(f.Cells[40]->GetBevelOuter(), bvRaised);
        EXPECT_EQ(f.Cells[41]->GetBevelOuter(), bvLowered);
        // The up-down buttons step a value; the colour follows, and no cell is chosen.
        f.RedUpDown->Step(btNext);
        EXPECT_EQ(f.RedEdit->GetText(), "1");
        EXPECT_EQ(f.GetColor(), static_cast<TColor>(1));
        EXPECT_EQ(f.GetSelectedCell(), -1);
        EXPECT_EQ(f.Cells[40]->GetBevelOuter(), bvLowered);
        Press(win::VK_RETURN);
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetColor(), static_cast<TColor>(1));
}

// ---- the font dialog --------------------------------------------------------------------------

TEST_F(DialogsTest, FontFamiliesHoldTheTestFontAndTheInstalledOnes) {
    const std::vector<String> families = InstalledFontFamilies();
    EXPECT_NE(std::find(families.begin(), families.end(), "LumetraTestFont"), families.end());
    // The design's stand-in faces are installed on every machine the tests run on.
    EXPECT_NE(std::find(families.begin(), families.end(), "Liberation Sans"), families.end());
    for (size_t i = 1; i < families.size(); ++i) EXPECT_LT(CompareText(families[i - 1], families[i]), 0);
    // Only the family asked for.
    std::vector<String> one;
    win::LOGFONTA lf;
    std::strcpy(lf.lfFaceName, "lumetratestfont");
    win::EnumFontFamiliesExA(
        nullptr, &lf,
        [](const win::LOGFONTA* f, const win::TEXTMETRICA*, win::DWORD type, win::LPARAM data) {
            EXPECT_EQ(type, win::TRUETYPE_FONTTYPE);
            reinterpret_cast<std::vector<String>*>(data)->emplace_back(f->lfFaceName);
            return 1;
        },
        reinterpret_cast<win::LPARAM>(&one), 0);
    EXPECT_EQ(one, std::vector<String>{"LumetraTestFont"});
}

TEST_F(DialogsTest, FontDialogAnswersTheChosenFontOnlyWhenConfirmed) {
    auto choose = [](TFontDialogForm& f) {
        const TStringList* items = f.FamilyBox->GetItems();
        int test = -1;
        for (int i = 0; i < items->GetCount(); ++i)
            if (items->Strings(i) == "LumetraTestFont") test = i;
        ASSERT_GE(test, 0);
        f.FamilyBox->SelectAsUser(test);
        f.StyleBox->SelectAsUser(3);  // Bold Italic
        f.SizeEdit->SetText("12");
        Click(f.UnderlineCheck, 4, 8);
        f.StrikeOutCheck->SetChecked(true);
        f.ColorBox->SelectAsUser(10);  // Red
        // The sample shows the font chosen so far.
        EXPECT_EQ(f.Sample->GetFont()->GetName(), "LumetraTestFont");
        EXPECT_EQ(f.Sample->GetFont()->GetSize(), 12);
        EXPECT_EQ(f.Sample->GetFont()->GetColor(), clRed);
    };
    const TFontStyles all =
        FontStyleBit(fsBold) | FontStyleBit(fsItalic) | FontStyleBit(fsUnderline) | FontStyleBit(fsStrikeOut);
    // clang-format off
    const struct { const char* Name; int Key; bool Confirmed; } cases[] = {
        {"Enter", win::VK_RETURN, true}, {"Escape", win::VK_ESCAPE, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFontDialog dialog(nullptr);
        TFont start;
        start.SetName("Liberation Serif");
        start.SetHeight(-15);
        start.SetColor(clNavy);
        dialog.SetFont(&start);
        const int key = c.Key;
        WhenShown<TFontDialogForm>([&](TFontDialogForm& f) {
            EXPECT_EQ(f.GetCaption(), "Font");
            EXPECT_EQ(f.FamilyBox->GetSelectedText(), "Liberation Serif");
            EXPECT_EQ(f.ColorBox->GetSelectedText(), "Navy");
            choose(f);
            Press(key);
        });
        EXPECT_EQ(dialog.Execute(), c.Confirmed);
        const TFont* got = dialog.GetFont();
        EXPECT_EQ(got->GetName(), c.Confirmed ? "LumetraTestFont" : "Liberation Serif");
        EXPECT_EQ(got->GetHeight(), c.Confirmed ? -16 : -15);
        EXPECT_EQ(got->GetStyle(), c.Confirmed ? all : 0);
        EXPECT_EQ(got->GetColor(), c.Confirmed ? clRed : clNavy);
        EXPECT_EQ(Screen->GetFormCount(), 0);
    }
}

// A face that is not installed stays in the list and in the font; an untouched size keeps the
// font's own height; a colour that is none of the named ones is kept as "Custom".
TEST_F(DialogsTest, FontDialogKeepsWhatTheUserDidNotChange) {
    TFontDialog dialog(nullptr);
    TFont start;
    start.SetName("No Such Face");
    start.SetHeight(-11);
    start.SetStyle(FontStyleBit(fsItalic));
    start.SetColor(0x123456);
    dialog.SetFont(&start);
    WhenShown<TFontDialogForm>([](TFontDialogForm& f) {
        EXPECT_EQ(f.FamilyBox->GetSelectedText(), "No Such Face");
        EXPECT_EQ(f.StyleBox->GetSelectedText(), "Italic");
        EXPECT_EQ(f.SizeEdit->GetText(), "8");
        EXPECT_EQ(f.ColorBox->GetSelectedText(), "Custom");
        f.StyleBox->SelectAsUser(0);
        Click(f.OKButton, 10, 10);
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetFont()->GetName(), "No Such Face");
    EXPECT_EQ(dialog.GetFont()->GetHeight(), -11);
    EXPECT_EQ(dialog.GetFont()->GetStyle(), 0);
    EXPECT_EQ(dialog.GetFont()->GetColor(), static_cast<TColor>(0x123456));

    // A size typed past the range is taken at the range's end.
    WhenShown<TFontDialogForm>([](TFontDialogForm& f) {
        f.SizeEdit->SetText("5000");
        Press(win::VK_RETURN);
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetFont()->GetSize(), TFontDialogForm::MaxSize);
}

TEST_F(DialogsTest, DialogsAreRegisteredWithTheirProperties) {
    std::unique_ptr<TComponent> c(CreateComponent("TColorDialog", nullptr));
    ASSERT_NE(dynamic_cast<TColorDialog*>(c.get()), nullptr);
    SetPropertyText(c.get(), "Color", "clRed");
    EXPECT_EQ(static_cast<TColorDialog*>(c.get())->GetColor(), clRed);
    std::unique_ptr<TComponent> d(CreateComponent("TFontDialog", nullptr));
    ASSERT_NE(dynamic_cast<TFontDialog*>(d.get()), nullptr);
    SetPropertyText(d.get(), "Font.Height", "-20");
    EXPECT_EQ(static_cast<TFontDialog*>(d.get())->GetFont()->GetHeight(), -20);
}

}  // namespace
}  // namespace cl::testing_controls
