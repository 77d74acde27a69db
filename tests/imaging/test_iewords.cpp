// The dialog word tables and the choice of language.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "imaging/core/iewords.h"
#include "platform/codepage.h"

namespace ie {
namespace {

class Words : public ::testing::Test {
protected:
    static void SetUpTestSuite() { IEFillWordTables(); }
    static void TearDownTestSuite() { IEFreeWordTables(); }
    void TearDown() override { win::SetDefaultLocaleForTesting(0); }

    // The raw row of a language, read through msSystem (which has no English fallback)
    // under a locale of that language.
    static cl::String Raw(uint8_t word, win::LCID locale) {
        win::SetDefaultLocaleForTesting(locale);
        cl::String text = IEGetLocalizedWord(word, msSystem);
        win::SetDefaultLocaleForTesting(0);
        return text;
    }
};

// Every filled language, with a locale that chooses it and its own word 0.
struct Language {
    TMsgLanguage language;
    win::LCID locale;
    const char* preview;
    uint32_t scriptFirst, scriptLast;  // the letters of the language's script (0: Latin)
    const char* name;
};
const Language kLanguages[] = {
    {msItalian, 0x0410, "Anteprima", 0, 0, "Italian"},
    {msGerman, 0x0407, "Vorschau", 0, 0, "German"},
    {msSpanish, 0x0C0A, "Vista Previa", 0, 0, "Spanish"},
    {msFrench, 0x040C, "Prévisualisation", 0, 0, "French"},
    {msPortuguese, 0x0416, "Visualizar", 0, 0, "Portuguese"},
    {msGreek, 0x0408, "Προεπισκόπηση", 0x0370, 0x03FF, "Greek"},
    {msRussian, 0x0419, "Просмотр", 0x0400, 0x04FF, "Russian"},
    {msDutch, 0x0413, "Voorbeeld", 0, 0, "Dutch"},
    {msSwedish, 0x041D, "Granska", 0, 0, "Swedish"},
    {msPolish, 0x0415, "Podgląd", 0, 0, "Polish"},
    {msJapanese, 0x0411, "プレビュー", 0x3040, 0x9FFF, "Japanese"},
    {msCzech, 0x0405, "Náhled", 0, 0, "Czech"},
    {msFinnish, 0x040B, "Esikatselu", 0, 0, "Finnish"},
    {msFarsi, 0x0429, "پيش نمايش", 0x0600, 0x06FF, "Farsi"},
    {msChinese, 0x0804, "预览", 0x4E00, 0x9FFF, "Chinese"},
    {msChineseTraditional, 0x0404, "預覽", 0x4E00, 0x9FFF, "Chinese (traditional)"},
    {msDanish, 0x0406, "Visning", 0, 0, "Danish"},
    {msTurkish, 0x041F, "Önizleme", 0, 0, "Turkish"},
    {msKorean, 0x0412, "미리보기", 0xAC00, 0xD7AF, "Korean"},
    {msHungarian, 0x040E, "Előnézet", 0, 0, "Hungarian"},
};

TEST_F(Words, TheEnglishRowHoldsTheCaptions) {
    const std::pair<int, const char*> words[] = {
        {0, "Preview"},
        {3, "OK"},
        {37, "Parameters Preview"},
        {55, "of"},
        {103, "Value"},
        {123, "Rate"},
        {128, "Automatically updates your preview with the changes you have selected"},
        {131, "Common Graphic Files"},
        {144, "KB"},
        {145, "Fit"}};
    for (auto [index, text] : words) EXPECT_EQ(IEGetLocalizedWord(static_cast<uint8_t>(index), msEnglish), text);
    for (int w = 0; w < IEWordCount; ++w) EXPECT_FALSE(Raw(static_cast<uint8_t>(w), 0x0409).empty()) << w;
}

TEST_F(Words, EveryLanguageHasItsOwnTextForEveryWord) {
    int fitInEnglish = 0;
    for (const Language& l : kLanguages) {
        SCOPED_TRACE(l.name);
        EXPECT_EQ(IEGetLocalizedWord(0, l.language), l.preview);
        int ownTexts = 0;
        for (int w = 0; w < IEWordCount; ++w) {
            const cl::String raw = Raw(static_cast<uint8_t>(w), l.locale);
            const cl::String english = IEGetLocalizedWord(static_cast<uint8_t>(w), msEnglish);
            if (l.language == msPolish && w == 123) {
                EXPECT_TRUE(raw.empty());
                continue;
            }
            ASSERT_FALSE(raw.empty()) << "word " << w;
            EXPECT_EQ(IEGetLocalizedWord(static_cast<uint8_t>(w), l.language), raw);
            if (raw != english) ++ownTexts;
        }
        // Not a row left in English: only names and units may stay as they are.
        EXPECT_GE(ownTexts, 120);
        if (Raw(145, l.locale) == "Fit") ++fitInEnglish;
        for (uint8_t technical : {133, 134, 135, 136, 143})  // HSV, HSL, RGB, FFT, dpi
            EXPECT_EQ(Raw(technical, l.locale), IEGetLocalizedWord(technical, msEnglish));
    }
    EXPECT_EQ(fitInEnglish, 15);
    EXPECT_EQ(IEGetLocalizedWord(37, msRussian), "Настройка параметров");
    EXPECT_EQ(IEGetLocalizedWord(37, msGerman), "Parameter-Vorschau");
}

TEST_F(Words, TextsAreInTheirLanguagesScriptAndFitTheirCodePage) {
    for (const Language& l : kLanguages) {
        SCOPED_TRACE(l.name);
        // The code page the language's texts have always been kept in (the traditional
        // Chinese texts in that of simplified Chinese), and the one its fonts use.
        std::vector<win::UINT> pages = {static_cast<win::UINT>(IELanguageCharInfo[l.language].CodePage)};
        if (l.language == msChineseTraditional) pages.push_back(936);
        for (int w = 0; w < IEWordCount; ++w) {
            const cl::String text = IEGetLocalizedWord(static_cast<uint8_t>(w), l.language);
            for (win::UINT page : pages) {
                bool lossy = false;
                const std::string bytes = win::Utf8ToCodePage(page, text, &lossy);
                EXPECT_FALSE(lossy) << "word " << w << " \"" << text << "\" in code page " << page;
                EXPECT_EQ(win::CodePageToUtf8(page, bytes), text) << "word " << w;
            }
            if (!l.scriptFirst || text == IEGetLocalizedWord(static_cast<uint8_t>(w), msEnglish)) continue;
            bool inScript = false, onlySigns = true;
            for (size_t pos = 0; pos < text.size();) {
                const char32_t c = win::DecodeUtf8(text, pos);
                inScript = inScript || (c >= l.scriptFirst && c <= l.scriptLast);
                onlySigns = onlySigns && c < 0x80 && !std::isalnum(static_cast<int>(c));
            }
            EXPECT_TRUE(inScript || onlySigns) << "word " << w << " \"" << text << "\"";
        }
    }
}

TEST_F(Words, TheSystemLanguageFollowsTheLocale) {
    struct Case {
        win::LCID locale;
        uint8_t word;
        const char* expected;
    };
    // clang-format off
    const Case cases[] = {
        {0x0419, 37, "Настройка параметров"},  // Russian
        {0x0415, 123, ""},                     // Polish has no word 123, and no fallback here
        {0x0415, 0, "Podgląd"},
        {0x0401, 0, "Preview"},                // Arabic: no row of its own
        {0x0C04, 0, "Preview"},                // Chinese, sub-language 3
        {0x0404, 0, "預覽"},                   // Chinese, sub-language 1
        {0x0804, 0, "预览"},                   // Chinese, sub-language 2
        {0x0409, 0, "Preview"},
        {0x0809, 145, "Fit"},                  // English of another country
        {0x0816, 0, "Visualizar"},             // Portuguese of another country
        {0x0429, 0, "پيش نمايش"},
    };
    // clang-format on
    for (const Case& c : cases) {
        win::SetDefaultLocaleForTesting(c.locale);
        EXPECT_EQ(IEGetLocalizedWord(c.word, msSystem), c.expected) << std::hex << c.locale;
    }
    win::SetDefaultLocaleForTesting(0x0415);
    EXPECT_EQ(IESystemLanguage(), msPolish);
    EXPECT_EQ(IEGetLocalizedWord(123, msPolish), "Rate");  // a chosen language falls back to English
}

TEST_F(Words, StoredWordsReplaceAndTheUserRowFallsBack) {
    EXPECT_EQ(IEGetLocalizedWord(0, msUser), "Preview");
    IESetLocalizedWord(msUser, 0, "Anteprima utente");
    EXPECT_EQ(IEGetLocalizedWord(0, msUser), "Anteprima utente");
    EXPECT_EQ(IEGetLocalizedWord(1, msUser), "Original");
    IESetLocalizedWord(msUser, 0, "");
    EXPECT_EQ(IEGetLocalizedWord(0, msUser), "Preview");

    IESetLocalizedWord(msGerman, 145, "Anpassen");
    EXPECT_EQ(IEGetLocalizedWord(145, msGerman), "Anpassen");
    IESetLocalizedWord(msGerman, 145, "Einpassen");

    // Words and languages outside the table are ignored.
    IESetLocalizedWord(msEnglish, 146, "beyond");
    IESetLocalizedWord(msEnglish, 255, "beyond");
    IESetLocalizedWord(static_cast<TMsgLanguage>(23), 0, "beyond");
    EXPECT_EQ(IEGetLocalizedWord(146, msEnglish), "");
    EXPECT_EQ(IEGetLocalizedWord(255, msUser), "");
    EXPECT_EQ(IEGetLocalizedWord(0, static_cast<TMsgLanguage>(200)), "");
    EXPECT_EQ(IEGetLocalizedWord(0, msEnglish), "Preview");
}

TEST_F(Words, ShutdownEmptiesTheTablesAndStartUpFillsThemAgain) {
    IEFreeWordTables();
    EXPECT_EQ(IEGetLocalizedWord(0, msEnglish), "");
    EXPECT_EQ(IEGetLocalizedWord(0, msKorean), "");
    IEFillWordTables();
    EXPECT_EQ(IEGetLocalizedWord(0, msKorean), "미리보기");
    EXPECT_EQ(IEGetLocalizedWord(145, msHungarian), "Fit");
}

TEST(WordsCharInfo, FontCharacterSetsAgreeWithTheCodePages) {
    EXPECT_STREQ(IELanguageCharInfo[msFarsi].FontName, "Tahoma");
    for (int l = 0; l < IEMsgLanguageCount; ++l) {
        const TIELANGUAGECHARINFO& info = IELanguageCharInfo[l];
        if (l != msFarsi) {
            EXPECT_STREQ(info.FontName, "") << l;
        }
        if (info.Charset != 1) {
            EXPECT_EQ(win::CodePageFromCharset(info.Charset), static_cast<win::UINT>(info.CodePage)) << l;
        }
        if (l != msSystem) {
            EXPECT_TRUE(win::IsValidCodePage(static_cast<win::UINT>(info.CodePage))) << l;
        }
    }
    EXPECT_EQ(IELanguageCharInfo[msSystem].CodePage, 0);
    EXPECT_EQ(IELanguageCharInfo[msChineseTraditional].CodePage, 950);
}

}  // namespace
}  // namespace ie
