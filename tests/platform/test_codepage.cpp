#include <gtest/gtest.h>

#include "platform/codepage.h"

using namespace win;

TEST(CodePage, Cp1251RoundTripsCyrillic) {
    const std::string utf8 = "Файл проекта ёЁ №";
    bool lossy = false;
    std::string bytes = Utf8ToCodePage(1251, utf8, &lossy);
    EXPECT_FALSE(lossy);
    ASSERT_EQ(bytes.size(), 17u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD4);  // Ф
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
    } cases[] = {
        {1251, "a\xE4\xB8\xAD" "b", "a?b", true},  // CJK character
        {1251, "\xC3\xA9", "?", true},            // é is not in the Cyrillic page
        {1252, "\xC3\xA9", "\xE9", false},        // but is in the Western one
        {1253, "\xCE\xA9", "\xD9", false},        // Greek capital omega
        {1251, "\xFF", "?", true},                // invalid UTF-8
        {1251, "plain", "plain", false},
    };
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
