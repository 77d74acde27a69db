// The tokenizer of the player's small XML reader: it splits a document into tag tokens
// (the characters between "<" and ">") and text tokens (the characters between tags).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace player {

struct TTagRecord {
    bool IsTag = false;  // True for a tag token, False for a text token
    std::string Text;    // the token's characters as they stood (control characters removed)
};

using TTagList = std::vector<TTagRecord>;

// Appends a token unless its text is empty after trimming spaces and control characters,
// or it is the XML declaration (its first four characters are "?xml").
void AddTagItem(TTagList& Tokens, bool IsTag, const std::string& Text);

// Tokenizes Text into Tokens (appending). Characters 0..31 are skipped everywhere but inside
// character-data sections; an unclosed tag or trailing text at the end is dropped.
void SplitTags(TTagList& Tokens, std::string_view Text);

}  // namespace player
