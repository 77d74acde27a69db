#include "player/SimploXMLUtils.h"

#include "classlib/SysUtils.h"

namespace player {

namespace {

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view what) {
    if (pos + what.size() > text.size()) return false;
    return cl::SameText(text.substr(pos, what.size()), what);
}

}  // namespace

void AddTagItem(TTagList& Tokens, bool IsTag, const std::string& Text) {
    if (cl::Trim(Text).empty()) return;
    if (Text.compare(0, 4, "?xml") == 0) return;
    Tokens.push_back(TTagRecord{IsTag, Text});
}

void SplitTags(TTagList& Tokens, std::string_view Text) {
    std::string buffer;
    bool inside = false;
    size_t i = 0;
    const size_t n = Text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(Text[i]);
        if (c < 32) {
            ++i;
            continue;
        }
        if (inside) {
            if (c == '>') {
                AddTagItem(Tokens, true, buffer);
                buffer.clear();
                inside = false;
            } else {
                buffer += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        if (c != '<') {
            buffer += static_cast<char>(c);
            ++i;
            continue;
        }
        if (StartsWithNoCase(Text, i, "<![CDATA[")) {
            // The opener holds no "]]>", so the first one found from "<" on ends the section.
            size_t close = Text.find("]]>", i);
            if (close != std::string_view::npos) {
                buffer.append(Text.substr(i + 9, close - (i + 9)));
                i = close + 3;
            } else {
                // No end: the rest of the section is read as ordinary text after "<!".
                i += 2;
            }
            continue;
        }
        AddTagItem(Tokens, false, buffer);
        buffer.clear();
        inside = true;
        ++i;
    }
    // Whatever is left (trailing text or an unclosed tag) is dropped.
}

}  // namespace player
