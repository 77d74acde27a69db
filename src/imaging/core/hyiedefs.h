// Shared definitions of the imaging library: the message languages of the dialog word
// tables and the font information of each.
#pragma once

#include <cstdint>

namespace ie {

// ---------------------------------------------------------------------------------------
// Languages of the dialog word tables, and the font information of each.

enum TMsgLanguage : uint8_t {
    msSystem,
    msEnglish,
    msItalian,
    msGerman,
    msSpanish,
    msFrench,
    msPortuguese,
    msGreek,
    msRussian,
    msDutch,
    msSwedish,
    msPolish,
    msJapanese,
    msCzech,
    msFinnish,
    msFarsi,
    msChinese,
    msChineseTraditional,
    msDanish,
    msTurkish,
    msKorean,
    msHungarian,
    msUser,
};
constexpr int IEMsgLanguageCount = 23;

struct TIELANGUAGECHARINFO {
    uint8_t Charset = 1;
    const char* FontName = "";  // empty: the dialog keeps its own font
    int32_t CodePage = 0;
};

}  // namespace ie
