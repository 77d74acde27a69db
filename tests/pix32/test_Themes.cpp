#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pix32/Pix32_System.h"
#include "platform/kernel.h"
#include "platform/user.h"

using namespace pix32;

namespace {

// A stand-in theme library whose answers the tests choose.
struct FakeThemes {
    static inline win::BOOL active = 1;
    static inline win::BOOL appThemed = 1;
    static inline std::vector<std::u16string> opened;
    static inline std::vector<HTHEME> closed;
    static inline int next = 0x100;

    static HTHEME Open(win::HWND, const char16_t* classList) {
        opened.emplace_back(classList);
        return reinterpret_cast<HTHEME>(static_cast<uintptr_t>(next++));
    }
    static int32_t Close(HTHEME theme) {
        closed.push_back(theme);
        return 0;
    }
    static win::BOOL IsActive() { return active; }
    static win::BOOL IsAppThemed() { return appThemed; }
    static int32_t Enable(win::BOOL) { return 0; }
};

class Themes : public ::testing::Test {
protected:
    void SetUp() override {
        FakeThemes::active = 1;
        FakeThemes::appThemed = 1;
        FakeThemes::opened.clear();
        FakeThemes::closed.clear();
        win::RestoreBuiltinModules();
        win::RegisterBuiltinModule("uxtheme.dll",
                                   {
                                       {"OpenThemeData", reinterpret_cast<void*>(&FakeThemes::Open)},
                                       {"CloseThemeData", reinterpret_cast<void*>(&FakeThemes::Close)},
                                       {"IsThemeActive", reinterpret_cast<void*>(&FakeThemes::IsActive)},
                                       {"IsAppThemed", reinterpret_cast<void*>(&FakeThemes::IsAppThemed)},
                                       {"EnableTheming", reinterpret_cast<void*>(&FakeThemes::Enable)},
                                   });
    }
    void TearDown() override {
        CloseVisuals();
        win::RemoveBuiltinModule("uxtheme.dll");
    }
};

TEST_F(Themes, ThePlatformHasNoThemeLibrary) {
    CloseVisuals();
    win::RemoveBuiltinModule("uxtheme.dll");
    EXPECT_FALSE(LoadThemeLibrary());
    EXPECT_FALSE(ThemesUsable());
    OpenVisuals(nullptr);
    EXPECT_FALSE(UseThemes);
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_EQ(GlobalsTheme, nullptr);
    EXPECT_EQ(OpenThemeData, nullptr);
}

TEST_F(Themes, ActiveThemesOpenBothHandles) {
    OpenVisuals(nullptr);
    EXPECT_TRUE(UseThemes);
    EXPECT_NE(ScrollBarTheme, nullptr);
    EXPECT_NE(GlobalsTheme, nullptr);
    EXPECT_EQ(FakeThemes::opened, (std::vector<std::u16string>{u"SCROLLBAR", u"GLOBALS"}));
    EXPECT_NE(OpenThemeData, nullptr);
    EXPECT_EQ(DrawThemeBackground, nullptr);  // optional entry points may be missing
    const HTHEME sb = ScrollBarTheme, gl = GlobalsTheme;
    CloseVisuals();
    EXPECT_EQ(FakeThemes::closed, (std::vector<HTHEME>{sb, gl}));
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_EQ(GlobalsTheme, nullptr);
    EXPECT_EQ(OpenThemeData, nullptr);
    EXPECT_FALSE(ThemesUsable());
}

TEST_F(Themes, InactiveThemesLeaveTheClassicLook) {
    FakeThemes::active = 0;
    OpenVisuals(nullptr);
    EXPECT_FALSE(UseThemes);
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_TRUE(FakeThemes::opened.empty());
}

TEST_F(Themes, SwitchedOffWhileOpenLeavesNoHandles) {
    OpenVisuals(nullptr);
    ASSERT_TRUE(UseThemes);
    FakeThemes::appThemed = 0;
    CloseVisuals();  // what a theme change does first
    OpenVisuals(nullptr);
    EXPECT_FALSE(UseThemes);
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_EQ(GlobalsTheme, nullptr);
}

TEST_F(Themes, MissingRequiredEntryPointUnloads) {
    for (const char* entry : {"OpenThemeData", "CloseThemeData", "IsThemeActive", "IsAppThemed", "EnableTheming"}) {
        win::RestoreBuiltinModules();
        win::RemoveBuiltinExport("uxtheme.dll", entry);
        EXPECT_FALSE(LoadThemeLibrary()) << entry;
        EXPECT_EQ(OpenThemeData, nullptr) << entry;
        EXPECT_EQ(IsAppThemed, nullptr) << entry;
        OpenVisuals(nullptr);
        EXPECT_FALSE(UseThemes) << entry;
    }
    win::RestoreBuiltinModules();
    EXPECT_TRUE(LoadThemeLibrary());
    EXPECT_TRUE(LoadThemeLibrary());  // at once when loaded
}

TEST_F(Themes, NexusReopensTheVisualsWhenThemesChange) {
    auto nexus = std::make_unique<TThemeNexus>();
    const win::HWND wnd = nexus->WindowHandle();
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(win::IsWindow(wnd));
    EXPECT_TRUE(UseThemes);
    EXPECT_EQ(FakeThemes::opened.size(), 2u);

    FakeThemes::active = 0;  // the user switches themes off
    win::SendMessageA(wnd, win::WM_THEMECHANGED, 0, 0);
    EXPECT_FALSE(UseThemes);
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_EQ(GlobalsTheme, nullptr);

    FakeThemes::active = 1;  // and on again
    win::SendMessageA(wnd, win::WM_THEMECHANGED, 0, 0);
    EXPECT_TRUE(UseThemes);
    EXPECT_NE(ScrollBarTheme, nullptr);
    EXPECT_EQ(FakeThemes::opened.size(), 4u);

    const HTHEME sb = ScrollBarTheme, gl = GlobalsTheme;
    FakeThemes::closed.clear();
    nexus.reset();  // closes the handles and releases the window
    EXPECT_EQ(FakeThemes::closed, (std::vector<HTHEME>{sb, gl}));
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_FALSE(win::IsWindow(wnd));
}

TEST_F(Themes, NexusWithoutThemeLibraryStaysClassic) {
    CloseVisuals();
    win::RemoveBuiltinModule("uxtheme.dll");
    TThemeNexus nexus;
    EXPECT_FALSE(UseThemes);
    win::SendMessageA(nexus.WindowHandle(), win::WM_THEMECHANGED, 0, 0);
    EXPECT_FALSE(UseThemes);
    EXPECT_EQ(ScrollBarTheme, nullptr);
    EXPECT_EQ(GlobalsTheme, nullptr);
}

TEST(ThemeNexus, StartupCreatesOne) {
    ASSERT_NE(GlobalThemeNexus(), nullptr);
    EXPECT_FALSE(UseThemes);  // the platform has no theme library
}

}  // namespace
