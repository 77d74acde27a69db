#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/codepage.h"
#include "platform/kernel.h"

using namespace win;

TEST(CodePage, Cp1251RoundTripsCyrillic) {
    const std::string utf8 = "Файл проекта ёЁ №";
    bool lossy = false;
    std::string bytes = Utf8ToCodePage(1251, utf8, &lossy);
    EXPECT_FALSE(lossy);
    ASSERT_EQ(bytes.size(), 17u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD4);   // Ф
    EXPECT_EQ(static_cast<unsigned char>(bytes[13]), 0xB8);  // ё
    EXPECT_EQ(static_cast<unsigned char>(bytes[14]), 0xA8);  // Ё
    EXPECT_EQ(static_cast<unsigned char>(bytes[16]), 0xB9);  // №
    EXPECT_EQ(CodePageToUtf8(1251, bytes), utf8);
    EXPECT_EQ(CodePageToUtf8(CP_ACP, bytes), utf8);
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
    struct Case {
        UINT cp;
        std::string text;
        std::string bytes;
        bool lossy;
        // clang-format off
    } cases[] = {
        {1251, "a\xE4\xB8\xAD" "b", "a?b", true},  // CJK character
        {1251, "\xC3\xA9", "?", true},            // é is not in the Cyrillic page
        {1252, "\xC3\xA9", "\xE9", false},        // but is in the Western one
        {1253, "\xCE\xA9", "\xD9", false},        // Greek capital omega
        {1251, "\xFF", "?", true},                // invalid UTF-8
        {1251, "plain", "plain", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        bool lossy = false;
        EXPECT_EQ(Utf8ToCodePage(c.cp, c.text, &lossy), c.bytes) << c.text;
        EXPECT_EQ(lossy, c.lossy) << c.text;
    }
}

TEST(CodePage, EveryByteOfTheTablePagesRoundTrips) {
    for (UINT cp : {1251u, 1252u, 1253u}) {
        std::string all;
        for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
        bool lossy = false;
        EXPECT_EQ(Utf8ToCodePage(cp, CodePageToUtf8(cp, all), &lossy), all) << cp;
        EXPECT_FALSE(lossy);
    }
}

TEST(CodePage, OtherPagesGoThroughIconv) {
    // Shift-JIS "日本" round trip.
    std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC";
    std::string sjis = Utf8ToCodePage(932, utf8);
    EXPECT_EQ(sjis, "\x93\xFA\x96\x7B");
    EXPECT_EQ(CodePageToUtf8(932, sjis), utf8);
}

TEST(CodePage, Utf16Conversions) {
    std::string utf8 = "A\xD0\x96\xF0\x9F\x98\x80";  // A, Ж, an emoji outside the BMP
    std::u16string w = Utf8ToUtf16(utf8);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[1], u'\u0416');
    EXPECT_EQ(Utf16ToUtf8(w), utf8);
}

TEST(CodePage, IconvPagesReplaceAWholeUnmappableCharacterOnce) {
    bool lossy = false;
    EXPECT_EQ(Utf8ToCodePage(1250,
                             "a\xE6\x97\xA5"
                             "b\xC5\x99",
                             &lossy),
              "a?b\xF8");  // 日 is not Central European, ř is
    EXPECT_TRUE(lossy);
}

TEST(CodePage, SymbolPageMapsToThePrivateUseArea) {
    std::string bytes = "\x41\xB7\xFF";
    std::string utf8 = CodePageToUtf8(CP_SYMBOL, bytes);
    EXPECT_EQ(Utf8ToUtf16(utf8), (std::u16string{0xF041, 0xF0B7, 0xF0FF}));
    EXPECT_EQ(Utf8ToCodePage(CP_SYMBOL, utf8), bytes);
}

TEST(CodePage, MultiByteToWideCharShapes) {
    const char* text = "\xCF\xF0\xE8\xE2\xE5\xF2";                     // "Привет" in 1251
    EXPECT_EQ(MultiByteToWideChar(1251, 0, text, -1, nullptr, 0), 7);  // with the terminator
    EXPECT_EQ(MultiByteToWideChar(1251, 0, text, 6, nullptr, 0), 6);
    WCHAR out[8] = {};
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, out, 8), 7);
    EXPECT_EQ(std::u16string(out), u"Привет");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1251, 0, text, -1, out, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(12345, 0, text, -1, out, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(1251, 0, text, 0, out, 8), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, out, 8), 2);  // a surrogate pair
}

TEST(CodePage, WideCharToMultiByteShapes) {
    const WCHAR* text = u"Ωmega ж";
    char out[16] = {};
    BOOL used = TRUE;
    ASSERT_EQ(WideCharToMultiByte(1253, 0, text, -1, out, sizeof(out), nullptr, &used), 8);
    EXPECT_EQ(std::string(out), "\xD9mega ?");  // ж is not Greek
    EXPECT_TRUE(used);
    ASSERT_EQ(WideCharToMultiByte(1253, 0, text, 7, out, sizeof(out), "#", &used), 7);
    EXPECT_EQ(std::string(out, 7), "\xD9mega #");
    ASSERT_EQ(WideCharToMultiByte(1251, 0, u"жук", 3, out, sizeof(out), nullptr, &used), 3);
    EXPECT_FALSE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), 10);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(1251, 0, text, -1, out, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, CharsetsChooseCodePages) {
    struct Case {
        BYTE charset;
        UINT cp;
    } cases[] = {{0, 1252},   {1, 1251},   {2, CP_SYMBOL}, {128, 932},  {129, 949},  {134, 936},
                 {136, 950},  {161, 1253}, {162, 1254},    {177, 1255}, {178, 1256}, {186, 1257},
                 {204, 1251}, {222, 874},  {238, 1250},    {77, 1252}};
    for (const Case& c : cases) {
        EXPECT_EQ(CodePageFromCharset(c.charset), c.cp) << int(c.charset);
        EXPECT_TRUE(IsValidCodePage(c.cp));
    }
    EXPECT_FALSE(IsValidCodePage(437));
}

TEST(Locale, FromTheEnvironmentOrTheHook) {
    const char* savedAll = std::getenv("LC_ALL");
    const char* savedMessages = std::getenv("LC_MESSAGES");
    const char* savedLang = std::getenv("LANG");
    std::string all = savedAll ? savedAll : "", messages = savedMessages ? savedMessages : "",
                lang = savedLang ? savedLang : "";
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    struct Case {
        const char* lang;
        LCID lcid;
    } cases[] = {{"ru_RU.UTF-8", 0x0419}, {"el_GR", 0x0408}, {"zh_TW.Big5", 0x0404}, {"zh_CN.UTF-8", 0x0804},
                 {"en_GB", 0x0809},       {"C", 0x0409},     {"xx_YY", 0x0409},      {"de_DE@euro", 0x0407},
                 {"da_DK.UTF-8", 0x0406}, {"fa_IR", 0x0429}};
    for (const Case& c : cases) {
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(GetUserDefaultLCID(), c.lcid) << c.lang;
    }
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LC_MESSAGES", "el_GR.UTF-8", 1);
    EXPECT_EQ(PRIMARYLANGID(GetSystemDefaultLangID()), LANG_GREEK);
    SetDefaultLocaleForTesting(0x0419);
    EXPECT_EQ(PRIMARYLANGID(GetSystemDefaultLangID()), LANG_RUSSIAN);
    EXPECT_EQ(SUBLANGID(GetSystemDefaultLangID()), 1);
    EXPECT_EQ(MAKELANGID(LANG_RUSSIAN, 1), 0x0419);
    SetDefaultLocaleForTesting(0);
    EXPECT_EQ(GetUserDefaultLCID(), 0x0408u);

    auto restore = [](const char* name, const char* saved, const std::string& value) {
        if (saved) {
            setenv(name, value.c_str(), 1);
        } else {
            unsetenv(name);
        }
    };
    restore("LC_ALL", savedAll, all);
    restore("LC_MESSAGES", savedMessages, messages);
    restore("LANG", savedLang, lang);
}
