// Word tables of the imaging library's dialogs: 146 captions in 23 language slots, and the
// choice of language.
//
// Rows msEnglish .. msHungarian are filled at the library's start-up; the msSystem and
// msUser rows stay empty until a caption is set in them. Every text is UTF-8. A chosen
// language without a text for a word falls back to English; msSystem follows the user's
// locale and has no fallback.
#pragma once

#include <cstdint>

#include "classlib/SysUtils.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

constexpr int IEWordCount = 146;

// Stores Text as the caption WordIndex of Language (replacing the previous one). Indexes
// and languages outside the table are ignored.
void IESetLocalizedWord(TMsgLanguage Language, uint8_t WordIndex, const cl::String& Text);
// The caption WordIndex in Language: the language's own text, or the English one when it
// has none. With msSystem the row is that of the user's locale, without the English
// fallback. Empty for an index outside the table.
cl::String IEGetLocalizedWord(uint8_t WordIndex, TMsgLanguage Language);
// The row msSystem stands for under the user's locale (msEnglish for a locale without a row
// of its own).
TMsgLanguage IESystemLanguage();

// Fills the rows msEnglish .. msHungarian, one language after the other in TMsgLanguage
// order and each in ascending word order (the library's start-up).
void IEFillWordTables();
// Empties every row (the library's shutdown).
void IEFreeWordTables();

// The font character set, face name and code page of each language, in TMsgLanguage order.
extern const TIELANGUAGECHARINFO IELanguageCharInfo[IEMsgLanguageCount];

}  // namespace ie
