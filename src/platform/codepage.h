// Single-byte and multi-byte code pages to and from UTF-8.
//
// The system's own byte formats (the project document, track file names, layer and
// vector streams) carry text in a Windows code page; everything else in this program
// is UTF-8. These are the conversions used at those boundaries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/windef.h"

namespace win {

using UINT = unsigned int;
using WCHAR = char16_t;
using LCID = DWORD;
using LANGID = WORD;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_SYMBOL = 42;  // bytes b <-> U+F000 + b
constexpr UINT CP_UTF8 = 65001;

// The ANSI code page of this system: Windows Cyrillic.
UINT GetACP();

// Bytes in code page `cp` to UTF-8. Bytes the code page does not define map to the
// character of the same value. CP_ACP means GetACP().
std::string CodePageToUtf8(UINT cp, std::string_view bytes);

// UTF-8 to code page `cp`. A character the code page cannot hold becomes '?', and
// *lossy (when given) is set to true. Invalid UTF-8 sequences count as unmappable.
std::string Utf8ToCodePage(UINT cp, std::string_view text, bool* lossy = nullptr);

// The code pages this layer converts: CP_ACP, CP_SYMBOL, CP_UTF8, 874, 932, 936, 949,
// 950 and 1250-1258.
BOOL IsValidCodePage(UINT cp);

// Windows' shapes of the two conversions. `srcLength` -1: up to and including the
// terminating NUL. `dstLength` 0: returns the length needed. Returns the number of units
// written, 0 on failure: ERROR_INVALID_PARAMETER (unknown code page, srcLength 0, no
// source) or ERROR_INSUFFICIENT_BUFFER. `flags` are accepted and ignored; characters the
// code page cannot hold become `defaultChar` (when given) or "?", and *usedDefaultChar is
// set.
int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int srcLength, WCHAR* dst, int dstLength);
int WideCharToMultiByte(UINT cp, DWORD flags, const WCHAR* src, int srcLength, char* dst, int dstLength,
                        const char* defaultChar, BOOL* usedDefaultChar);

// The code page of text drawn with a font character set (ANSI_CHARSET 0 -> 1252,
// DEFAULT_CHARSET 1 -> GetACP(), SYMBOL_CHARSET 2 -> CP_SYMBOL, RUSSIAN_CHARSET 204 ->
// 1251...); 1252 for a character set without one.
UINT CodePageFromCharset(BYTE charset);

// Locale identifiers: the language of LC_ALL, LC_MESSAGES or LANG ("ru_RU.UTF-8" ->
// 0x0419); 0x0409 when unknown.
constexpr WORD MAKELANGID(WORD primary, WORD sub) { return static_cast<WORD>((sub << 10) | primary); }
constexpr WORD PRIMARYLANGID(WORD lang) { return static_cast<WORD>(lang & 0x3FF); }
constexpr WORD SUBLANGID(WORD lang) { return static_cast<WORD>(lang >> 10); }
constexpr WORD LANGIDFROMLCID(LCID lcid) { return static_cast<WORD>(lcid & 0xFFFF); }
constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD LANG_CHINESE = 0x04;
constexpr WORD LANG_GERMAN = 0x07;
constexpr WORD LANG_GREEK = 0x08;
constexpr WORD LANG_ENGLISH = 0x09;
constexpr WORD LANG_FRENCH = 0x0C;
constexpr WORD LANG_RUSSIAN = 0x19;
LCID GetUserDefaultLCID();
LANGID GetSystemDefaultLangID();
// Test hook: the locale to report (0: from the environment again).
void SetDefaultLocaleForTesting(LCID lcid);

// UTF-8 <-> UTF-16 helpers (invalid sequences become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Decodes one UTF-8 sequence at text[pos]; advances pos. Returns U+FFFD for an invalid
// sequence (consuming one byte).
char32_t DecodeUtf8(std::string_view text, size_t& pos);
void AppendUtf8(std::string& out, char32_t c);

}  // namespace win
