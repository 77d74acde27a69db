// Single-byte and multi-byte code pages to and from UTF-8.
//
// The system's own byte formats (the project document, track file names, layer and
// vector streams) carry text in a Windows code page; everything else in this program
// is UTF-8. These are the conversions used at those boundaries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace win {

using UINT = unsigned int;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// The ANSI code page of this system: Windows Cyrillic.
UINT GetACP();

// Bytes in code page `cp` to UTF-8. Bytes the code page does not define map to the
// character of the same value. CP_ACP means GetACP().
std::string CodePageToUtf8(UINT cp, std::string_view bytes);

// UTF-8 to code page `cp`. A character the code page cannot hold becomes '?', and
// *lossy (when given) is set to true. Invalid UTF-8 sequences count as unmappable.
std::string Utf8ToCodePage(UINT cp, std::string_view text, bool* lossy = nullptr);

// UTF-8 <-> UTF-16 helpers (invalid sequences become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Decodes one UTF-8 sequence at text[pos]; advances pos. Returns U+FFFD for an invalid
// sequence (consuming one byte).
char32_t DecodeUtf8(std::string_view text, size_t& pos);
void AppendUtf8(std::string& out, char32_t c);

}  // namespace win
