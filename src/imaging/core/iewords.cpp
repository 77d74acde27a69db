#include "imaging/core/iewords.h"

#include <array>

#include "imaging/core/iewords_tables.h"
#include "platform/codepage.h"

namespace ie {

namespace {

using Table = std::array<std::array<cl::String, IEWordCount>, IEMsgLanguageCount>;

// Made on first use and kept for the life of the process, so that no order of static
// construction or destruction can reach it half made.
Table& Words() {
    static Table* table = new Table;
    return *table;
}

bool InTable(TMsgLanguage Language, uint8_t WordIndex) {
    return static_cast<int>(Language) < IEMsgLanguageCount && WordIndex < IEWordCount;
}

}  // namespace

// clang-format off
const TIELANGUAGECHARINFO IELanguageCharInfo[IEMsgLanguageCount] = {
    {1, "", 0},           // msSystem
    {1, "", 1252},        // msEnglish
    {1, "", 1252},        // msItalian
    {1, "", 1252},        // msGerman
    {1, "", 1252},        // msSpanish
    {1, "", 1252},        // msFrench
    {1, "", 1252},        // msPortuguese
    {161, "", 1253},      // msGreek
    {204, "", 1251},      // msRussian
    {1, "", 1252},        // msDutch
    {1, "", 1252},        // msSwedish
    {1, "", 1250},        // msPolish
    {1, "", 932},         // msJapanese
    {1, "", 1250},        // msCzech
    {1, "", 1252},        // msFinnish
    {178, "Tahoma", 1256},  // msFarsi
    {1, "", 936},         // msChinese
    {1, "", 950},         // msChineseTraditional
    {1, "", 1252},        // msDanish
    {1, "", 1254},        // msTurkish
    {1, "", 949},         // msKorean
    {1, "", 1250},        // msHungarian
    {1, "", 1252},        // msUser
};
// clang-format on

void IESetLocalizedWord(TMsgLanguage Language, uint8_t WordIndex, const cl::String& Text) {
    if (!InTable(Language, WordIndex)) return;
    Words()[Language][WordIndex] = Text;
}

TMsgLanguage IESystemLanguage() {
    const win::LANGID lang = win::LANGIDFROMLCID(win::GetUserDefaultLCID());
    switch (win::PRIMARYLANGID(lang)) {
        case 4:
            switch (win::SUBLANGID(lang)) {
                case 1: return msChineseTraditional;
                case 2: return msChinese;
                default: return msEnglish;
            }
        case 5: return msCzech;
        case 6: return msDanish;
        case 7: return msGerman;
        case 8: return msGreek;
        case 10: return msSpanish;
        case 11: return msFinnish;
        case 12: return msFrench;
        case 14: return msHungarian;
        case 16: return msItalian;
        case 17: return msJapanese;
        case 18: return msKorean;
        case 19: return msDutch;
        case 21: return msPolish;
        case 22: return msPortuguese;
        case 25: return msRussian;
        case 29: return msSwedish;
        case 31: return msTurkish;
        case 41: return msFarsi;
        default: return msEnglish;
    }
}

cl::String IEGetLocalizedWord(uint8_t WordIndex, TMsgLanguage Language) {
    if (!InTable(Language, WordIndex)) return {};
    const Table& words = Words();
    if (Language == msSystem) return words[IESystemLanguage()][WordIndex];
    const cl::String& text = words[Language][WordIndex];
    return text.empty() ? words[msEnglish][WordIndex] : text;
}

void IEFillWordTables() {
    for (const TIEWordRow& row : IEWordRows) {
        for (int w = 0; w < IEWordCount; ++w)
            if (const char* text = row.Words[w]) IESetLocalizedWord(row.Language, static_cast<uint8_t>(w), text);
    }
}

void IEFreeWordTables() {
    for (auto& row : Words())
        for (cl::String& text : row) cl::String().swap(text);
}

}  // namespace ie
