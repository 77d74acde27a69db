#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/kernel.h"

namespace win {

namespace {

// The upper halves (0x80..0xFF) of the three single-byte code pages kept as tables.
// clang-format off
const char16_t kCp1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
// clang-format on
// clang-format off
const char16_t kCp1252[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
// clang-format on
// clang-format off
const char16_t kCp1253[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x008A, 0x2039, 0x008C, 0x008D, 0x008E, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x009A, 0x203A, 0x009C, 0x009D, 0x009E, 0x009F,
    0x00A0, 0x0385, 0x0386, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x2015,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x00B5, 0x00B6, 0x00B7,
    0x0388, 0x0389, 0x038A, 0x00BB, 0x038C, 0x00BD, 0x038E, 0x038F,
    0x0390, 0x0391, 0x0392, 0x0393, 0x0394, 0x0395, 0x0396, 0x0397,
    0x0398, 0x0399, 0x039A, 0x039B, 0x039C, 0x039D, 0x039E, 0x039F,
    0x03A0, 0x03A1, 0x00D2, 0x03A3, 0x03A4, 0x03A5, 0x03A6, 0x03A7,
    0x03A8, 0x03A9, 0x03AA, 0x03AB, 0x03AC, 0x03AD, 0x03AE, 0x03AF,
    0x03B0, 0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7,
    0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BE, 0x03BF,
    0x03C0, 0x03C1, 0x03C2, 0x03C3, 0x03C4, 0x03C5, 0x03C6, 0x03C7,
    0x03C8, 0x03C9, 0x03CA, 0x03CB, 0x03CC, 0x03CD, 0x03CE, 0x00FF,
};
// clang-format on

const char16_t* TableFor(UINT cp) {
    switch (cp) {
        case 1251: return kCp1251;
        case 1252: return kCp1252;
        case 1253: return kCp1253;
        default: return nullptr;
    }
}

std::string IconvName(UINT cp) {
    switch (cp) {
        case 932: return "CP932";
        case 936: return "CP936";
        case 949: return "CP949";
        case 950: return "CP950";
        case 874: return "CP874";
        default: return "CP" + std::to_string(cp);
    }
}

// Converts with iconv; returns false when the conversion is not available.
bool IconvConvert(const std::string& from, const std::string& to, std::string_view in, std::string& out, bool* lossy) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    std::vector<char> buf(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.data(), dst - buf.data());
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL: skip the character (one byte of a byte code page, a whole
            // UTF-8 sequence) and mark it.
            if (lossy) *lossy = true;
            out += (to == "UTF-8") ? "\xEF\xBF\xBD" : "?";
            size_t skip = 1;
            if (from == "UTF-8") {
                std::string_view rest(src, srcLeft);
                size_t pos = 0;
                DecodeUtf8(rest, pos);
                skip = pos;
            }
            src += skip;
            srcLeft -= skip;
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace

UINT GetACP() { return 1251; }

char32_t DecodeUtf8(std::string_view s, size_t& pos) {
    auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = b(pos);
    if (c < 0x80) {
        ++pos;
        return c;
    }
    int len = (c >= 0xF0 && c <= 0xF4) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC2 && c <= 0xDF) ? 2 : 0;
    if (len == 0 || (c >= 0xF5) || pos + len > s.size()) {
        ++pos;
        return 0xFFFD;
    }
    char32_t v = c & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        unsigned char t = b(pos + i);
        if ((t & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        v = (v << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are invalid.
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF)) || (v >= 0xD800 && v <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += len;
    return v;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string CodePageToUtf8(UINT cp, std::string_view bytes) {
    if (cp == CP_ACP) cp = GetACP();
    if (cp == CP_UTF8) return std::string(bytes);
    std::string out;
    if (cp == CP_SYMBOL) {
        for (unsigned char c : bytes) AppendUtf8(out, 0xF000 + c);
        return out;
    }
    if (const char16_t* t = TableFor(cp)) {
        out.reserve(bytes.size() * 2);
        for (unsigned char c : bytes) AppendUtf8(out, c < 0x80 ? char32_t(c) : char32_t(t[c - 0x80]));
        return out;
    }
    if (IconvConvert(IconvName(cp), "UTF-8", bytes, out, nullptr)) return out;
    // Unknown code page: treat it as Latin-1 so that no byte is lost.
    for (unsigned char c : bytes) AppendUtf8(out, c);
    return out;
}

std::string Utf8ToCodePage(UINT cp, std::string_view text, bool* lossy) {
    if (cp == CP_ACP) cp = GetACP();
    if (cp == CP_UTF8) return std::string(text);
    std::string out;
    if (cp == CP_SYMBOL) {
        for (size_t pos = 0; pos < text.size();) {
            char32_t c = DecodeUtf8(text, pos);
            if (c >= 0xF000 && c <= 0xF0FF) {
                out += static_cast<char>(c - 0xF000);
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                if (lossy) *lossy = true;
                out += '?';
            }
        }
        return out;
    }
    if (const char16_t* t = TableFor(cp)) {
        out.reserve(text.size());
        for (size_t pos = 0; pos < text.size();) {
            size_t start = pos;
            char32_t c = DecodeUtf8(text, pos);
            if (c == 0xFFFD && !(pos - start == 3 && text.substr(start, 3) == "\xEF\xBF\xBD")) {
                if (lossy) *lossy = true;
                out += '?';
                continue;
            }
            if (c < 0x80) {
                out += static_cast<char>(c);
                continue;
            }
            int found = -1;
            for (int i = 0; i < 128; ++i)
                if (t[i] == c) {
                    found = i;
                    break;
                }
            if (found < 0) {
                if (lossy) *lossy = true;
                out += '?';
            } else {
                out += static_cast<char>(0x80 + found);
            }
        }
        return out;
    }
    if (IconvConvert("UTF-8", IconvName(cp), text, out, lossy)) return out;
    for (size_t pos = 0; pos < text.size();) {
        char32_t c = DecodeUtf8(text, pos);
        if (c < 0x100) {
            out += static_cast<char>(c);
        } else {
            if (lossy) *lossy = true;
            out += '?';
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        char32_t c = DecodeUtf8(text, pos);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// --- Windows' shapes ---------------------------------------------------------------------

BOOL IsValidCodePage(UINT cp) {
    switch (cp) {
        case CP_ACP:
        case CP_SYMBOL:
        case CP_UTF8:
        case 874:
        case 932:
        case 936:
        case 949:
        case 950: return TRUE;
        default: return cp >= 1250 && cp <= 1258 ? TRUE : FALSE;
    }
}

int MultiByteToWideChar(UINT cp, DWORD /*flags*/, const char* src, int srcLength, WCHAR* dst, int dstLength) {
    if (!IsValidCodePage(cp) || !src || srcLength == 0 || srcLength < -1 || dstLength < 0 || (dstLength > 0 && !dst)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = srcLength == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLength);
    std::u16string wide = Utf8ToUtf16(CodePageToUtf8(cp, std::string_view(src, n)));
    if (wide.size() > static_cast<size_t>(INT32_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = static_cast<int>(wide.size());
    if (dstLength == 0) return needed;
    if (needed > dstLength) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, wide.data(), wide.size() * sizeof(WCHAR));
    return needed;
}

int WideCharToMultiByte(UINT cp, DWORD /*flags*/, const WCHAR* src, int srcLength, char* dst, int dstLength,
                        const char* defaultChar, BOOL* usedDefaultChar) {
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if (!IsValidCodePage(cp) || !src || srcLength == 0 || srcLength < -1 || dstLength < 0 || (dstLength > 0 && !dst)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = 0;
    if (srcLength == -1) {
        while (src[n]) ++n;
        ++n;  // the terminator is converted too
    } else {
        n = static_cast<size_t>(srcLength);
    }
    std::string utf8 = Utf16ToUtf8(std::u16string_view(src, n));
    bool lossy = false;
    std::string bytes;
    if (defaultChar && *defaultChar && cp != CP_UTF8) {
        // Character by character, so that only unmappable characters get the default.
        for (size_t pos = 0; pos < utf8.size();) {
            size_t start = pos;
            DecodeUtf8(utf8, pos);
            bool one = false;
            std::string piece = Utf8ToCodePage(cp, std::string_view(utf8).substr(start, pos - start), &one);
            if (one) {
                lossy = true;
                bytes += defaultChar;
            } else {
                bytes += piece;
            }
        }
    } else {
        bytes = Utf8ToCodePage(cp, utf8, &lossy);
    }
    if (usedDefaultChar && cp != CP_UTF8) *usedDefaultChar = lossy ? TRUE : FALSE;
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = static_cast<int>(bytes.size());
    if (dstLength == 0) return needed;
    if (needed > dstLength) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, bytes.data(), bytes.size());
    return needed;
}

UINT CodePageFromCharset(BYTE charset) {
    switch (charset) {
        case 0: return 1252;      // ANSI
        case 1: return GetACP();  // DEFAULT
        case 2: return CP_SYMBOL;
        case 128: return 932;   // SHIFTJIS
        case 129: return 949;   // HANGEUL
        case 134: return 936;   // GB2312
        case 136: return 950;   // CHINESEBIG5
        case 161: return 1253;  // GREEK
        case 162: return 1254;  // TURKISH
        case 177: return 1255;  // HEBREW
        case 178: return 1256;  // ARABIC
        case 186: return 1257;  // BALTIC
        case 204: return 1251;  // RUSSIAN
        case 222: return 874;   // THAI
        case 238: return 1250;  // EASTEUROPE
        default: return 1252;
    }
}

namespace {

std::atomic<LCID> gLocaleOverride{0};

struct LocaleEntry {
    const char* prefix;  // "ll_CC" or "ll"
    LCID lcid;
};
// Longer prefixes first: a language with its country before the language alone.
// clang-format off
const LocaleEntry kLocales[] = {
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"en_GB", 0x0809},
    {"en_US", 0x0409}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"de_AT", 0x0C07}, {"de_CH", 0x0807},
    {"fr_CA", 0x0C0C}, {"fr_BE", 0x080C}, {"zh", 0x0804},     {"ru", 0x0419},    {"el", 0x0408},
    {"en", 0x0409},    {"de", 0x0407},    {"fr", 0x040C},    {"es", 0x0C0A},    {"it", 0x0410},
    {"ja", 0x0411},    {"ko", 0x0412},    {"pl", 0x0415},    {"pt", 0x0416},    {"uk", 0x0422},
    {"tr", 0x041F},    {"cs", 0x0405},    {"nl", 0x0413},    {"sv", 0x041D},    {"fi", 0x040B},
    {"hu", 0x040E},    {"bg", 0x0402},    {"he", 0x040D},    {"ar", 0x0401},    {"th", 0x041E},
    {"da", 0x0406},    {"fa", 0x0429},
};
// clang-format on

LCID LocaleFromEnvironment() {
    const char* value = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            value = v;
            break;
        }
    }
    if (!value) return 0x0409;
    std::string locale(value);
    locale = locale.substr(0, locale.find_first_of(".@"));
    for (const LocaleEntry& e : kLocales) {
        size_t n = std::strlen(e.prefix);
        if (locale.compare(0, n, e.prefix) == 0 && (locale.size() == n || locale[n] == '_')) return e.lcid;
    }
    return 0x0409;
}

}  // namespace

LCID GetUserDefaultLCID() {
    LCID forced = gLocaleOverride.load();
    return forced ? forced : LocaleFromEnvironment();
}

LANGID GetSystemDefaultLangID() { return LANGIDFROMLCID(GetUserDefaultLCID()); }

void SetDefaultLocaleForTesting(LCID lcid) { gLocaleOverride.store(lcid); }

}  // namespace win
