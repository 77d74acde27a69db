// The texts of the word tables (iewords_tables.cpp): one row per filled language, in
// TMsgLanguage order; a null entry is a word the language has no text for.
#pragma once

#include "imaging/core/iewords.h"

namespace ie {

struct TIEWordRow {
    TMsgLanguage Language;
    const char* const* Words;  // IEWordCount entries
};

// msEnglish .. msHungarian.
constexpr int IEFilledLanguageCount = 21;
extern const TIEWordRow IEWordRows[IEFilledLanguageCount];

}  // namespace ie
